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

// The point the problem holds outside a solve: the last solution when it fits
// the model, otherwise each column's start or current value (0 when neither).
std::vector<double> held_point(KSLPprob slp, int n) {
  if (slp->x.size() == static_cast<size_t>(n)) return slp->x;
  std::vector<double> x(static_cast<size_t>(n), 0.0);
  for (auto &[j, v] : slp->vars) {
    if (j >= n) continue;
    x[j] = std::isfinite(v.initvalue) ? v.initvalue : std::isfinite(v.value) ? v.value : 0.0;
  }
  return x;
}

// The value a determining row asks of its activity: its right-hand side for
// an equality, otherwise the nearest limit when the activity is outside them.
double row_target(const slp::Nlp &P, int r, double v) {
  if (v < P.rlo[r]) return P.rlo[r];
  if (v > P.rup[r]) return P.rup[r];
  return v;
}

// Solves row r for column c by Newton steps from x[c].
void solve_for(slp::Nlp &P, int r, int c, std::vector<double> &x, const char *F) {
  std::vector<double> g(static_cast<size_t>(P.n), 0.0);
  for (int it = 0; it < 50; ++it) {
    std::fill(g.begin(), g.end(), 0.0);
    double v;
    if (!P.gradient(P.rows[r], x.data(), 1.0, g.data(), &v))
      raise(KRVU_ERR_STATE, "%s: a user function failed in row %d", F, r);
    double res = v - row_target(P, r, v);
    if (std::fabs(res) <= 1e-10 * (1.0 + std::fabs(v))) return;
    if (g[c] == 0.0 || !std::isfinite(g[c]))
      raise(KRVU_ERR_STATE, "%s: column %d has no slope in its determining row %d at the point", F, c, r);
    x[c] -= res / g[c];
  }
  raise(KRVU_ERR_STATE, "%s: column %d could not be determined from row %d (no convergence)", F, c, r);
}

}  // namespace

int KSLPcascade(KSLPprob slp) {
  return slp_guarded(slp, "KSLPcascade", [&] {
    const char *F = "KSLPcascade";
    slp::Nlp P;
    P.build(slp, F);
    // The objective's transfer columns are the solver's own (their rows are
    // folded into the objective) and are set from the others at the end.
    auto own = [&](int c, const slp::VarInfo &v) {
      return v.detrow >= 0 && c < P.n && v.detrow < P.m && !P.eliminated_col[c];
    };
    for (auto &[c, v] : slp->vars) {
      if (!own(c, v)) continue;
      const std::vector<int> &reads = P.rows[v.detrow].cols;
      if (!std::binary_search(reads.begin(), reads.end(), c))
        raise(KRVU_ERR_STATE, "%s: column %d does not appear in its determining row %d", F, c, v.detrow);
    }
    std::vector<double> x = held_point(slp, P.n);
    auto stopped = [&](const char *kind) {
      raise(KRVU_ERR_STATE, "%s: the cascade was stopped by the %s callback", F, kind);
    };
    if (slp::slpcb_fire_cascadestart(slp)) stopped("cascadestart");
    // Determined columns may feed each other's rows: sweep in column order
    // until a sweep moves nothing.
    // (The columns are listed first: a callback may change column properties.)
    std::vector<std::pair<int, int>> determined;
    for (auto &[c, v] : slp->vars)
      if (own(c, v)) determined.emplace_back(c, v.detrow);
    for (int sweep = 0; sweep < 20; ++sweep) {
      double moved = 0.0;
      for (auto [c, detrow] : determined) {
        double before = x[c];
        try {
          solve_for(P, detrow, c, x, F);
        } catch (const Error &) {
          // The callback may accept the column as it was; without one the
          // failure is the cascade's.
          if (!slp::slpcb_has(slp, slp::kSlpCb_cascadevarfail)) throw;
          x[c] = before;
          if (slp::slpcb_fire_cascadevarfail(slp, c)) stopped("cascadevarfail");
          continue;
        }
        if (slp::slpcb_has(slp, slp::kSlpCb_drcol)) {
          double nv = x[c];
          if (slp::slpcb_fire_drcol(slp, c, x[c], P.lb[c], P.ub[c], &nv)) stopped("drcol");
          if (!std::isfinite(nv))
            raise(KRVU_ERR_ARGUMENT, "%s: the drcol callback gave column %d a value that is not a finite number", F, c);
          x[c] = nv;
        }
        if (slp::slpcb_fire_cascadevar(slp, c)) stopped("cascadevar");
        moved = std::max(moved, std::fabs(x[c] - before));
      }
      if (moved <= 1e-12) break;
    }
    if (slp::slpcb_fire_cascadeend(slp)) stopped("cascadeend");
    if (!P.cascade(x.data())) raise(KRVU_ERR_STATE, "%s: a user function failed in the objective", F);
    for (auto &[c, v] : slp->vars)
      if (v.detrow >= 0 && c < P.n) v.value = x[c];
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
