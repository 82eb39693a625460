#include "io/solution_state.h"

#include "core/prob.h"
#include "lp/solver_state.h"
#include "model/store.h"

namespace krvu {
namespace io {
namespace {

enum : uint32_t { kHasLp = 1, kHasBasis = 2, kHasMip = 4 };

// Attributes that describe the solution and travel with it.
const int kIntAttrs[] = {KRVU_ATTR_LPSTATUS, KRVU_ATTR_MIPSTATUS, 1009, 1006, 1007, 1008, 1012};
const int kDblAttrs[] = {KRVU_ATTR_LPOBJVAL, KRVU_ATTR_MIPBESTOBJVAL, 2002, 2004, 2005};

}  // namespace

void write_solution_state(BinWriter &w, krvu_prob_s *prob) {
  SolverState &s = *prob->data->solver;
  const ModelData &m = read_model(prob);
  const bool basis = s.has_basis && static_cast<int>(s.rstat.size()) == m.nrows() &&
                     static_cast<int>(s.cstat.size()) == m.ncols();
  const uint32_t flags = (s.has_lpsol ? kHasLp : 0) | (basis ? kHasBasis : 0) |
                         (s.has_mipsol ? kHasMip : 0);
  w.u32(flags);
  if (flags & kHasLp) {
    w.doubles(s.x);
    w.doubles(s.slack);
    w.doubles(s.dual);
    w.doubles(s.dj);
  }
  if (flags & kHasBasis) {
    w.ints(s.rstat);
    w.ints(s.cstat);
  }
  if (flags & kHasMip) w.doubles(s.mipx);
  for (int id : kIntAttrs) w.i64(attr_int(prob, id));
  for (int id : kDblAttrs) w.f64(attr_dbl(prob, id));
}

void read_solution_state(BinReader &r, krvu_prob_s *prob, int rows, int cols) {
  const uint32_t flags = r.u32();
  if (flags & ~static_cast<uint32_t>(kHasLp | kHasBasis | kHasMip))
    r.fail("unknown solution contents (flags %u)", flags);
  auto sized = [&](std::vector<double> v, int n, const char *what) {
    if (static_cast<int>(v.size()) != n)
      r.fail("the %s has %zu entries; the problem needs %d", what, v.size(), n);
    return v;
  };
  std::vector<double> x, slack, dual, dj, mipx;
  std::vector<int> rstat, cstat;
  if (flags & kHasLp) {
    x = sized(r.doubles(), cols, "solution");
    slack = sized(r.doubles(), rows, "slack vector");
    dual = sized(r.doubles(), rows, "dual vector");
    dj = sized(r.doubles(), cols, "reduced cost vector");
  }
  if (flags & kHasBasis) {
    rstat = r.ints<int>();
    cstat = r.ints<int>();
    if (static_cast<int>(rstat.size()) != rows || static_cast<int>(cstat.size()) != cols)
      r.fail("the basis has %zu rows and %zu columns; the problem has %d and %d", rstat.size(),
             cstat.size(), rows, cols);
    for (int v : rstat)
      if (v < 0 || v > 3) r.fail("a row basis status is %d (damaged)", v);
    for (int v : cstat)
      if (v < 0 || v > 3) r.fail("a column basis status is %d (damaged)", v);
  }
  if (flags & kHasMip) mipx = sized(r.doubles(), cols, "integer solution");
  int64_t iv[sizeof kIntAttrs / sizeof kIntAttrs[0]];
  double dv[sizeof kDblAttrs / sizeof kDblAttrs[0]];
  for (int64_t &v : iv) v = r.i64();
  for (double &v : dv) v = r.f64();
  // Everything is read: now the problem changes.
  touch(prob, 0);
  SolverState &s = *prob->data->solver;
  s.synced = false;
  if (flags & kHasLp) {
    s.x = std::move(x);
    s.slack = std::move(slack);
    s.dual = std::move(dual);
    s.dj = std::move(dj);
    s.has_lpsol = true;
  }
  if (flags & kHasBasis) {
    s.rstat = std::move(rstat);
    s.cstat = std::move(cstat);
    s.has_basis = true;
  }
  if (flags & kHasMip) {
    s.mipx = std::move(mipx);
    s.has_mipsol = true;
  }
  for (size_t k = 0; k < sizeof kIntAttrs / sizeof kIntAttrs[0]; ++k)
    attr_set_int(prob, kIntAttrs[k], iv[k]);
  for (size_t k = 0; k < sizeof kDblAttrs / sizeof kDblAttrs[0]; ++k)
    attr_set_dbl(prob, kDblAttrs[k], dv[k]);
}

}  // namespace io
}  // namespace krvu
