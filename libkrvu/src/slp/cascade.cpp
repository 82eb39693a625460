// Determined columns and the measurement of a point: KSLPcascade sets every
// column that has a determining row from that row, KSLPvalidatevector
// measures how far a point is from satisfying the model.
#include <algorithm>
#include <cmath>
#include <vector>

#include "kslp.h"
#include "model/store.h"
#include "slp/nlp.h"
#include "slp/slpprob.h"

using namespace krvu;

namespace {

// The value a determining row asks of its activity: its right-hand side for
// an equality, otherwise the nearest limit when the activity is outside them.
double row_target(const slp::Nlp &P, int r, double v) {
  if (v < P.rlo[r]) return P.rlo[r];
  if (v > P.rup[r]) return P.rup[r];
  return v;
}

// Solves row r for column c by Newton steps from x[c], at most `limit` of
// them.  False when the row has no slope in c or the steps did not settle.
bool solve_for(slp::Nlp &P, int r, int c, int limit, std::vector<double> &x, std::vector<double> &g,
               bool *user_failed) {
  for (int it = 0; it < limit; ++it) {
    std::fill(g.begin(), g.end(), 0.0);
    double v;
    if (!P.gradient(P.rows[r], x.data(), 1.0, g.data(), &v)) {
      *user_failed = true;
      return false;
    }
    double res = v - row_target(P, r, v);
    if (std::fabs(res) <= 1e-10 * (1.0 + std::fabs(v))) return true;
    if (g[c] == 0.0 || !std::isfinite(g[c])) return false;
    x[c] -= res / g[c];
  }
  return false;
}

constexpr int kDefaultCascadeSteps = 50;

// Whether column c is cascaded: it has a determining row that the solver
// keeps (rows moved into the objective set their column by themselves).
bool cascaded(const slp::Nlp &P, int c, const slp::VarInfo &v) {
  return v.detrow >= 0 && c < P.n && v.detrow < P.m && !P.eliminated_col[c] &&
         !P.eliminated_row[v.detrow];
}

}  // namespace

namespace krvu {
namespace slp {

std::vector<int> cascade_order_of(KSLPprob slp, const Nlp &P) {
  std::vector<int> cols;
  std::vector<int> pos(static_cast<size_t>(P.n), -1);
  for (auto &[c, v] : slp->vars)
    if (cascaded(P, c, v)) {
      pos[c] = static_cast<int>(cols.size());
      cols.push_back(c);
    }
  const size_t k = cols.size();
  // Column a waits for every other determined column its row reads.
  std::vector<std::vector<int>> after(k);
  std::vector<int> waiting(k, 0);
  for (size_t a = 0; a < k; ++a)
    for (int d : P.rows[slp->vars.at(cols[a]).detrow].cols)
      if (d != cols[a] && pos[d] >= 0) {
        after[pos[d]].push_back(static_cast<int>(a));
        ++waiting[a];
      }
  auto before = [&](int a, int b) {
    int sa = slp->vars.at(cols[a]).seqnum, sb = slp->vars.at(cols[b]).seqnum;
    if ((sa > 0) != (sb > 0)) return sa > 0;
    if (sa != sb) return sa < sb;
    return cols[a] < cols[b];
  };
  std::vector<int> order;
  std::vector<char> done(k, 0);
  while (order.size() < k) {
    int pick = -1;
    for (size_t a = 0; a < k; ++a)
      if (!done[a] && waiting[a] == 0 && (pick < 0 || before(static_cast<int>(a), pick))) pick = static_cast<int>(a);
    // A loop of columns determining each other: it is broken at its first
    // column by sequence number.
    if (pick < 0)
      for (size_t a = 0; a < k; ++a)
        if (!done[a] && (pick < 0 || before(static_cast<int>(a), pick))) pick = static_cast<int>(a);
    done[pick] = 1;
    order.push_back(cols[pick]);
    for (int b : after[pick]) --waiting[b];
  }
  return order;
}

bool cascade_pass(KSLPprob slp, Nlp &P, const std::vector<int> &order, double *x) {
  if (order.empty()) return true;
  std::vector<double> xv(x, x + P.n), g(static_cast<size_t>(P.n), 0.0);
  bool failed = false;
  for (int c : order) {
    const VarInfo &v = slp->vars.at(c);
    double keep = xv[c];
    int limit = v.cascadelimit > 0 ? v.cascadelimit : kDefaultCascadeSteps;
    // A row that cannot be solved for its column leaves the column where the
    // step put it; the next subproblem works on the row's error instead.
    if (!solve_for(P, v.detrow, c, limit, xv, g, &failed) && v.cascadelimit == 0) xv[c] = keep;
    if (failed) return false;
    if (!std::isfinite(xv[c])) xv[c] = keep;
    xv[c] = std::min(std::max(xv[c], P.lb[c]), P.ub[c]);
  }
  std::copy(xv.begin(), xv.end(), x);
  return true;
}

}  // namespace slp
}  // namespace krvu

std::vector<double> slp::held_point(KSLPprob slp, int n) {
  if (slp->x.size() == static_cast<size_t>(n)) return slp->x;
  std::vector<double> x(static_cast<size_t>(n), 0.0);
  for (auto &[j, v] : slp->vars) {
    if (j >= n) continue;
    x[j] = std::isfinite(v.initvalue) ? v.initvalue : std::isfinite(v.value) ? v.value : 0.0;
  }
  return x;
}

int KSLPcascade(KSLPprob slp) {
  return slp_guarded(slp, "KSLPcascade", [&] {
    const char *F = "KSLPcascade";
    slp::Nlp P;
    P.build(slp, F);
    for (auto &[c, v] : slp->vars) {
      if (!cascaded(P, c, v)) continue;
      const std::vector<int> &reads = P.rows[v.detrow].cols;
      if (!std::binary_search(reads.begin(), reads.end(), c))
        raise(KRVU_ERR_STATE, "%s: column %d does not appear in its determining row %d", F, c, v.detrow);
    }
    std::vector<double> x = slp::held_point(slp, P.n), g(static_cast<size_t>(P.n), 0.0);
    std::vector<int> order = slp::cascade_order_of(slp, P);
    // In dependency order one pass settles every column; columns that
    // determine each other in a loop need passes until nothing moves.
    std::vector<int> place(static_cast<size_t>(P.n), -1);
    for (size_t k = 0; k < order.size(); ++k) place[order[k]] = static_cast<int>(k);
    bool loop = false;
    for (size_t k = 0; k < order.size(); ++k)
      for (int d : P.rows[slp->vars.at(order[k]).detrow].cols)
        loop = loop || place[d] > static_cast<int>(k);
    for (int sweep = 0; sweep < (loop ? 20 : 1); ++sweep) {
      double moved = 0.0;
      for (int c : order) {
        const slp::VarInfo &v = slp->vars.at(c);
        double before = x[c];
        bool failed = false;
        bool ok = solve_for(P, v.detrow, c, v.cascadelimit > 0 ? v.cascadelimit : kDefaultCascadeSteps, x, g,
                            &failed);
        if (failed) raise(KRVU_ERR_STATE, "%s: a user function failed in row %d", F, v.detrow);
        if (!ok && v.cascadelimit == 0) {
          if (!std::isfinite(g[c]) || g[c] == 0.0)
            raise(KRVU_ERR_STATE, "%s: column %d has no slope in its determining row %d at the point", F, c,
                  v.detrow);
          raise(KRVU_ERR_STATE, "%s: column %d could not be determined from row %d (no convergence)", F, c,
                v.detrow);
        }
        moved = std::max(moved, std::fabs(x[c] - before));
      }
      if (moved <= 1e-12) break;
    }
    if (!P.cascade(x.data())) raise(KRVU_ERR_STATE, "%s: a user function failed in the objective", F);
    for (int c : order) slp->vars[c].value = x[c];
    for (const auto &t : P.transfers) slp->vars[t.col].value = x[t.col];
    return 0;
  });
}

int KSLPcascadeorder(KSLPprob slp) {
  return slp_guarded(slp, "KSLPcascadeorder", [&] {
    slp::Nlp P;
    P.build(slp, "KSLPcascadeorder");
    slp->cascade_order = slp::cascade_order_of(slp, P);
    return 0;
  });
}

int KSLPgetcascadeorder(KSLPprob slp, int *ncols, int cols[]) {
  return slp_guarded(slp, "KSLPgetcascadeorder", [&] {
    require_ptr(ncols, "KSLPgetcascadeorder", "ncols");
    *ncols = static_cast<int>(slp->cascade_order.size());
    if (cols) std::copy(slp->cascade_order.begin(), slp->cascade_order.end(), cols);
    return 0;
  });
}

int KSLPvalidatevector(KSLPprob slp, const double vector[], double *suminf, double *sumscaledinf,
                       double *objval) {
  return slp_guarded(slp, "KSLPvalidatevector", [&] {
    const char *F = "KSLPvalidatevector";
    require_ptr(vector, F, "vector");
    slp::Nlp P;
    P.build(slp, F);
    const int n = P.n;
    for (int j = 0; j < n; ++j)
      if (!std::isfinite(vector[j])) raise(KRVU_ERR_ARGUMENT, "%s: vector[%d] is not a finite number", F, j);
    double inf = 0.0, scaled = 0.0;
    for (int j = 0; j < n; ++j) {
      double d = slp::row_violation(vector[j], P.lb[j], P.ub[j]);
      if (d == 0.0) continue;
      inf += d;
      scaled += d / std::max(1.0, std::fabs(vector[j] < P.lb[j] ? P.lb[j] : P.ub[j]));
    }
    for (int r = 0; r < P.m; ++r) {
      double v;
      if (!P.value(P.rows[r], vector, &v)) raise(KRVU_ERR_STATE, "%s: a user function failed in row %d", F, r);
      double d = slp::row_violation(v, P.rlo[r], P.rup[r]);
      if (d == 0.0) continue;
      inf += d;
      scaled += d / std::max(1.0, std::fabs(v < P.rlo[r] ? P.rlo[r] : P.rup[r]));
    }
    // The objective as stated, whatever rows the solver would eliminate.
    const ModelData &md = read_model(slp->prob);
    double obj = -md.objrhs;
    for (int j = 0; j < n; ++j) obj += md.obj[j] * vector[j];
    if (!md.qstart.empty())
      for (int j = 0; j < n; ++j)
        for (int64_t k = md.qstart[j]; k < md.qstart[j + 1]; ++k) {
          int i = md.qrow[k];
          obj += (i == j ? 0.5 : 1.0) * md.qval[k] * vector[i] * vector[j];
        }
    if (suminf) *suminf = inf;
    if (sumscaledinf) *sumscaledinf = scaled;
    if (objval) *objval = obj;
    return 0;
  });
}
