// Save files and text solutions of nonlinear problems: KSLPsave,
// KSLPsaveas, KSLPrestore and KSLPwriteslxsol.
//
// A nonlinear save file is the library's save file of the linear part with
// the nonlinear record after it, under the magic bytes KSLPSAVE: formulas as
// their token streams (exactly), user functions, row and column properties,
// the nonlinear solver's controls and its last solution.
#include <cmath>
#include <cstring>

#include "core/common.h"
#include "io/atomic_write.h"
#include "io/save_file.h"
#include "model/store.h"
#include "params/table.h"
#include "slp/slpcopy.h"
#include "slp/slpfile.h"

namespace krvu {
namespace slp {
namespace {

constexpr char kSlpMagic[8] = {'K', 'S', 'L', 'P', 'S', 'A', 'V', 'E'};
constexpr char kLinearMagic[8] = {'K', 'R', 'V', 'U', 'S', 'A', 'V', 'E'};
// Raised with any change of this record or of the library's save record.
constexpr uint32_t kSlpVersion = 2;
// Format 1 had no tolerance sets, distribution factors, row weights or the
// later column settings: such files restore without them.
constexpr uint32_t kSlpOldestVersion = 1;
constexpr uint32_t kLinearVersion = 1;

// Attributes of the last solve kept with its solution.
constexpr int kSolveAttributes[] = {KSLP_ATTR_NLPSTATUS, KSLP_ATTR_ITERATIONS, KSLP_ATTR_OBJVAL,
                                    KSLP_ATTR_VALIDATION, KSLP_ATTR_PENALTYVALUE, KSLP_ATTR_KKT};

struct SavedSolve {
  std::vector<double> x, slack, dual, dj;
  std::vector<std::pair<size_t, Value>> attributes;
  std::vector<std::pair<size_t, Value>> controls;
};

void write_value(io::BinWriter &w, const ParamDef &d, const Value &v) {
  w.i64(d.id);
  w.i64(d.type);
  if (d.type == KRVU_TYPE_DOUBLE) w.f64(v.d);
  else if (d.type == KRVU_TYPE_STRING) w.str(v.s);
  else w.i64(v.i);
}

std::pair<size_t, Value> read_value(io::BinReader &r, bool control) {
  const int id = static_cast<int>(r.i64());
  const int type = static_cast<int>(r.i64());
  const int k = param_index(id);
  const auto &t = param_table();
  if (k < 0 || t[k].type != type || (control ? !file_control(static_cast<size_t>(k)) : t[k].kind != kAttribute))
    r.fail("%d is not a %s of the nonlinear solver (written by another version?)", id,
           control ? "control" : "attribute");
  Value v;
  if (type == KRVU_TYPE_DOUBLE) v.d = r.f64();
  else if (type == KRVU_TYPE_STRING) v.s = r.str();
  else v.i = r.i64();
  if (control && type != KRVU_TYPE_STRING) {
    const double x = type == KRVU_TYPE_DOUBLE ? v.d : static_cast<double>(v.i);
    if (!(x >= t[k].lo && x <= t[k].hi)) r.fail("control %s has the value %g (damaged)", t[k].name, x);
  }
  return {static_cast<size_t>(k), v};
}

void write_record(io::BinWriter &w, KSLPprob slp) {
  w.u64(slp->coefs.size());
  for (const auto &c : slp->coefs) {
    w.i64(c.row);
    w.i64(c.col);
    w.f64(c.factor);
    w.ints(c.types);
    w.doubles(c.values);
  }
  w.u64(slp->rowstatus.size());
  for (const auto &[r, st] : slp->rowstatus) {
    w.i64(r);
    w.i64(st);
  }
  w.u64(slp->vars.size());
  for (const auto &[j, v] : slp->vars) {
    w.i64(j);
    w.i64(v.detrow);
    for (double d : {v.initstepbound, v.stepbound, v.penalty, v.damp, v.initvalue, v.value, v.laststep})
      w.f64(d);
    for (int i : {v.tolset, v.history, v.converged, v.vartype, v.lastactive, v.seqnum, v.cascadelimit,
                  v.deltatype})
      w.i64(i);
    w.f64(v.deltavalue);
  }
  w.u64(slp->tolsets.size());
  for (const auto &t : slp->tolsets) {
    for (double d : t.tol) w.f64(d);
    w.i64(t.status);
  }
  w.u64(slp->dfs.size());
  for (const auto &[key, f] : slp->dfs) {
    w.i64(key.first);
    w.i64(key.second);
    w.f64(f);
  }
  w.u64(slp->rowwt.size());
  for (const auto &[r, wt] : slp->rowwt) {
    w.i64(r);
    w.f64(wt);
  }
  w.strings(slp->strings);
  w.u64(slp->userfuncs.size());
  for (const auto &u : slp->userfuncs) {
    w.str(u.name);
    w.str(u.linkage);
    w.i64(u.argtype);
    w.i64(u.rettype);
  }
  const auto &t = param_table();
  size_t n = 0;
  for (size_t k = 0; k < t.size(); ++k) n += file_control(k);
  w.u64(n);
  for (size_t k = 0; k < t.size(); ++k)
    if (file_control(k)) write_value(w, t[k], slp->params.v[k]);
  w.doubles(slp->x);
  w.doubles(slp->slack);
  w.doubles(slp->dual);
  w.doubles(slp->dj);
  w.u64(std::size(kSolveAttributes));
  for (int id : kSolveAttributes) write_value(w, t[param_index(id)], slp->params.v[param_index(id)]);
}

// Tolerance sets, distribution factors and row weights (format 2 on).
void read_v2_sets(io::BinReader &r, NlModel *m) {
  m->tolsets.resize(r.count(80));
  for (auto &t : m->tolsets) {
    for (double &d : t.tol) d = r.f64();
    t.status = static_cast<int>(r.i64());
  }
  for (size_t n = r.count(24); n-- > 0;) {
    int col = static_cast<int>(r.i64()), row = static_cast<int>(r.i64());
    m->dfs[{col, row}] = r.f64();
  }
  for (size_t n = r.count(16); n-- > 0;) {
    int row = static_cast<int>(r.i64());
    m->rowwt[row] = r.f64();
  }
}

void read_record(io::BinReader &r, int rows, int cols, NlModel *m, SavedSolve *s, const char *F) {
  m->coefs.resize(r.count(40));
  for (auto &c : m->coefs) {
    c.row = static_cast<int>(r.i64());
    c.col = static_cast<int>(r.i64());
    c.factor = r.f64();
    c.types = r.ints<int>();
    c.values = r.doubles();
    if (c.types.size() != c.values.size() || !std::isfinite(c.factor)) r.fail("a formula is damaged");
  }
  for (size_t n = r.count(16); n-- > 0;) {
    int row = static_cast<int>(r.i64());
    m->rowstatus[row] = static_cast<int>(r.i64());
  }
  const bool v1 = r.version() == 1;
  for (size_t n = r.count(v1 ? 104 : 136); n-- > 0;) {
    int j = static_cast<int>(r.i64());
    VarInfo v;
    v.detrow = static_cast<int>(r.i64());
    for (double *d : {&v.initstepbound, &v.stepbound, &v.penalty, &v.damp, &v.initvalue, &v.value, &v.laststep})
      *d = r.f64();
    for (int *i : {&v.tolset, &v.history, &v.converged, &v.vartype, &v.lastactive})
      *i = static_cast<int>(r.i64());
    if (!v1) {
      for (int *i : {&v.seqnum, &v.cascadelimit, &v.deltatype}) *i = static_cast<int>(r.i64());
      v.deltavalue = r.f64();
    }
    m->vars[j] = v;
  }
  if (!v1) read_v2_sets(r, m);
  m->strings = r.strings();
  m->userfuncs.resize(r.count(32));
  for (auto &u : m->userfuncs) {
    u.name = r.str();
    u.linkage = r.str();
    u.argtype = static_cast<int>(r.i64());
    u.rettype = static_cast<int>(r.i64());
    if (u.argtype != 19 && u.argtype != 110611) r.fail("a user function is damaged");
  }
  for (size_t n = r.count(24); n-- > 0;) s->controls.push_back(read_value(r, true));
  s->x = r.doubles();
  s->slack = r.doubles();
  s->dual = r.doubles();
  s->dj = r.doubles();
  auto sized = [](const std::vector<double> &v, int n) { return v.empty() || static_cast<int>(v.size()) == n; };
  if (!sized(s->x, cols) || !sized(s->dj, cols) || !sized(s->slack, rows) || !sized(s->dual, rows))
    r.fail("the nonlinear solution does not fit the model (damaged)");
  for (size_t n = r.count(24); n-- > 0;) s->attributes.push_back(read_value(r, false));
  try {
    check_model(*m, rows, cols, F);
  } catch (const Error &e) {
    r.fail("the nonlinear model is damaged: %s", e.what());
  }
}

void saveas(KSLPprob slp, const std::string &path, const char *F) {
  io::save_file(slp->prob, path, kSlpMagic, kSlpVersion, [&](io::BinWriter &w) { write_record(w, slp); }, F);
}

}  // namespace
}  // namespace slp
}  // namespace krvu

using namespace krvu;
using namespace krvu::slp;

extern "C" {

int KSLPsave(KSLPprob slp) {
  return slp_guarded(slp, "KSLPsave", [&] {
    saveas(slp, io::save_file_name(slp->prob, nullptr), "KSLPsave");
    return 0;
  });
}

int KSLPsaveas(KSLPprob slp, const char *filename) {
  const char *F = "KSLPsaveas";
  return slp_guarded(slp, F, [&] {
    require_ptr(filename, F, "filename");
    if (!*filename) raise(KRVU_ERR_ARGUMENT, "%s: 'filename' is empty", F);
    saveas(slp, filename, F);
    return 0;
  });
}

int KSLPrestore(KSLPprob slp, const char *probname) {
  const char *F = "KSLPrestore";
  return slp_guarded(slp, F, [&] {
    const std::string path = io::save_file_name(slp->prob, probname);
    io::Source src;
    NlModel m;
    SavedSolve s;
    try {
      io::load_source(path, src);
      if (src.data.size() >= 8 && std::memcmp(src.data.data(), kLinearMagic, 8) == 0)
        io::restore_source(slp->prob, src, kLinearMagic, kLinearVersion, nullptr, F);
      else
        io::restore_source(slp->prob, src, kSlpMagic, kSlpVersion,
                           [&](io::BinReader &r, int rows, int cols) { read_record(r, rows, cols, &m, &s, F); },
                           F, kSlpOldestVersion);
    } catch (const Error &e) {
      if (std::strncmp(e.what(), F, std::strlen(F)) == 0) throw;
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    keep_user_addresses(m, *slp);
    install_model(slp, std::move(m));
    for (auto &[k, v] : s.controls) slp->params.v[k] = v;
    for (auto &[k, v] : s.attributes) slp->params.v[k] = v;
    slp->x = std::move(s.x);
    slp->slack = std::move(s.slack);
    slp->dual = std::move(s.dual);
    slp->dj = std::move(s.dj);
    return 0;
  });
}

int KSLPwriteslxsol(KSLPprob slp, const char *filename, const char *flags) {
  const char *F = "KSLPwriteslxsol";
  return slp_guarded(slp, F, [&] {
    require_ptr(filename, F, "filename");
    io::check_file_flags(flags, "", F);
    const ModelData &m = read_model(slp->prob);
    if (slp->x.size() != static_cast<size_t>(m.ncols()))
      raise(KRVU_ERR_STATE, "%s: there is no nonlinear solution of the problem as it is (solve it first)", F);
    const std::string path = io::file_or_default(slp->prob, filename, ".slx");
    std::vector<std::string> names = io::file_names(m.colnames, 'C', io::text_name_ok, "column",
                                                    "a solution file", true, slp->prob);
    try {
      io::write_atomically(path, io::ends_with(path, ".gz"), [&](io::Out &out) {
        out.put("NAME ");
        out.put(slp->prob->name.empty() ? std::string("problem") : slp->prob->name);
        out.nl();
        for (int j = 0; j < m.ncols(); ++j) {
          if (slp->x[j] == 0) continue;
          out.put(" C ");
          out.put(names[j]);
          out.put(' ');
          out.num(slp->x[j]);
          out.nl();
        }
        out.put("ENDATA");
        out.nl();
      });
    } catch (const Error &e) {
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    slp_log(slp, KRVU_MSG_LOG, "wrote %s", path.c_str());
    return 0;
  });
}

}  // extern "C"
