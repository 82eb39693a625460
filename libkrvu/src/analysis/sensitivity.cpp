// Ranging of the optimal basis (objective coefficients and right-hand
// sides) and the ranges of row duals over the optimal dual solutions.
#include <algorithm>
#include <cmath>

#include "core/common.h"
#include "core/prob.h"
#include "interfaces/highs_c_api.h"
#include "lp/basis_view.h"
#include "lp/highs_session.h"
#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

double to_api(double v) {
  if (v >= KRVU_INFINITY) return KRVU_INFINITY;
  if (v <= -KRVU_INFINITY) return -KRVU_INFINITY;
  return v;
}

// The last LP solve must have ended optimal with a basis, on a linear objective.
void require_optimal_basis(krvu_prob_s *prob, const char *func) {
  SolverState &s = *prob->data->solver;
  const ModelData &m = read_model(prob);
  if (!m.qstart.empty())
    raise(KRVU_ERR_STATE, "%s: ranging needs a linear objective (the problem has a quadratic one)",
          func);
  if (!s.has_lpsol || attr_int(prob, KRVU_ATTR_LPSTATUS) != KRVU_LP_OPTIMAL || !s.has_basis)
    raise(KRVU_ERR_STATE,
          "%s: needs an optimal basic LP solution (solve the problem with KRVUlpoptimize first)",
          func);
}

CombinedSolution current(krvu_prob_s *prob) {
  SolverState &s = *prob->data->solver;
  return combine(prob->data->m, s.x, s.slack, s.dual, s.dj, s.rstat, s.cstat);
}

// Re-solves of a copy of the relaxation with one right-hand side moved,
// warm-started from the problem's optimal basis.
class RhsProbe {
 public:
  RhsProbe(krvu_prob_s *prob, int iterlim, const char *func)
      : prob_(prob), m_(prob->data->m), hs_(prob), func_(func) {
    hs_.apply_controls('d', false);
    void *h = hs_.get();
    Highs_setStringOptionValue(h, "presolve", "off");
    Highs_setBoolOptionValue(h, "output_flag", 0);
    Highs_setIntOptionValue(h, "simplex_iteration_limit", std::max(iterlim, 0));
    pass_model(hs_, m_, kModeRelaxation, nullptr, func);
    SolverState &s = *prob->data->solver;
    cstat_ = s.cstat;
    rstat_ = s.rstat;
  }

  enum Result { kOptimal, kInfeasible, kUnfinished };

  // Solves with row i's right-hand side at rhs + t; on success *dual is the
  // row's dual and [*lo, *hi] the new basis's range of changes of it.
  Result solve(int i, double t, double *dual, double *lo, double *hi) {
    void *h = hs_.get();
    double alo, aup;
    row_bounds(m_, i, alo, aup);
    Highs_changeRowBounds(h, i, alo + t, aup + t);
    Highs_setBasis(h, cstat_.data(), rstat_.data());
    hs_.run();
    const int ms = Highs_getModelStatus(h);
    Result r = kUnfinished;
    if (ms == kHighsModelStatusOptimal) {
      const int n = m_.ncols(), nr = m_.nrows();
      std::vector<double> x(n), dj(n), act(nr), y(nr), slack(nr);
      std::vector<int> cs(n), rs(nr);
      Highs_getSolution(h, x.data(), dj.data(), act.data(), y.data());
      Highs_getBasis(h, cs.data(), rs.data());
      ModelData shifted = m_;  // the ranging reads the moved right-hand side
      shifted.rhs[i] += t;
      for (int k = 0; k < nr; ++k) slack[k] = shifted.rhs[k] - act[k];
      BasisView b = engine_basis(h, shifted, func_);
      CombinedSolution c = combine(shifted, x, slack, y, dj, rs, cs);
      *dual = y[i];
      rhs_range(b, c, i, *lo, *hi, func_);
      r = kOptimal;
    } else if (ms == kHighsModelStatusInfeasible) {
      r = kInfeasible;
    }
    Highs_changeRowBounds(h, i, alo, aup);
    return r;
  }

 private:
  krvu_prob_s *prob_;
  const ModelData &m_;
  HighsSession hs_;
  const char *func_;
  std::vector<int> cstat_, rstat_;
};

// The one-sided rate of change of the optimal objective when row i's
// right-hand side moves in direction dir (+1 up, -1 down), from a basis
// degenerate on that side.
double one_sided_rate(RhsProbe &probe, const ModelData &m, int i, double dir, double y) {
  double t = 1e-3 * std::max(1.0, std::fabs(m.rhs[i]));
  const double infeasible_rate = dir * m.objsense * KRVU_INFINITY;
  bool seen_feasible = false;
  for (int attempt = 0; attempt < 12; ++attempt) {
    double dual, lo, hi;
    RhsProbe::Result r = probe.solve(i, dir * t, &dual, &lo, &hi);
    if (r == RhsProbe::kUnfinished) return y;
    if (r == RhsProbe::kInfeasible) {
      if (seen_feasible) {
        t /= 4;
        continue;
      }
      t /= 16;
      if (t < 1e-12 * std::max(1.0, std::fabs(m.rhs[i]))) return infeasible_rate;
      continue;
    }
    seen_feasible = true;
    // The new basis is optimal for changes [lo, hi] around rhs + dir t; when
    // that reaches back to rhs, its dual is the rate on the whole step.
    const double back = dir > 0 ? lo : -hi;  // how far towards rhs it stays optimal
    if (t + back <= 1e-9 * std::max(1.0, t)) return dual;
    t = std::max(t * 0.25, (t + back) * 0.5);
  }
  return y;
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUobjsa(KRVUprob prob, int n, const int mindex[], double lower[], double upper[]) {
  const char *F = "KRVUobjsa";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    const ModelData &m = read_model(prob);
    require_indices(n, mindex, m.ncols(), F, "mindex");
    if (n > 0) {
      require_ptr(lower, F, "lower");
      require_ptr(upper, F, "upper");
    }
    if (n == 0) return 0;
    require_optimal_basis(prob, F);
    BasisView b = problem_basis(prob, F);
    CombinedSolution c = current(prob);
    for (int k = 0; k < n; ++k) {
      double lo, hi;
      const int j = mindex[k];
      cost_range(b, c, j, lo, hi, F);
      lower[k] = std::isinf(lo) ? -KRVU_INFINITY : to_api(m.obj[j] + lo);
      upper[k] = std::isinf(hi) ? KRVU_INFINITY : to_api(m.obj[j] + hi);
    }
    return 0;
  });
}

int KRVUrhssa(KRVUprob prob, int n, const int mindex[], double lower[], double upper[]) {
  const char *F = "KRVUrhssa";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    const ModelData &m = read_model(prob);
    require_indices(n, mindex, m.nrows(), F, "mindex");
    if (n > 0) {
      require_ptr(lower, F, "lower");
      require_ptr(upper, F, "upper");
    }
    if (n == 0) return 0;
    require_optimal_basis(prob, F);
    BasisView b = problem_basis(prob, F);
    CombinedSolution c = current(prob);
    for (int k = 0; k < n; ++k) {
      double lo, hi;
      const int i = mindex[k];
      rhs_range(b, c, i, lo, hi, F);
      lower[k] = std::isinf(lo) ? -KRVU_INFINITY : to_api(m.rhs[i] + lo);
      upper[k] = std::isinf(hi) ? KRVU_INFINITY : to_api(m.rhs[i] + hi);
    }
    return 0;
  });
}

int KRVUestimaterowdualranges(KRVUprob prob, int n, const int rowind[], int iterlim,
                              double mindual[], double maxdual[]) {
  const char *F = "KRVUestimaterowdualranges";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    const ModelData &m = read_model(prob);
    require_indices(n, rowind, m.nrows(), F, "rowind");
    if (iterlim < 0)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'iterlim' = %d is negative", F, iterlim);
    if (n > 0) {
      require_ptr(mindual, F, "mindual");
      require_ptr(maxdual, F, "maxdual");
    }
    if (n == 0) return 0;
    require_optimal_basis(prob, F);
    SolverState &s = *prob->data->solver;
    BasisView b = problem_basis(prob, F);
    CombinedSolution c = current(prob);
    std::unique_ptr<RhsProbe> probe;
    for (int k = 0; k < n; ++k) {
      const int i = rowind[k];
      const double y = s.dual[i];
      double up = y, down = y;
      if (m.rowtype[i] != 'N') {
        double lo, hi;
        rhs_range(b, c, i, lo, hi, F);
        const double room = 1e-9 * std::max(1.0, std::fabs(m.rhs[i]));
        if (hi <= room || lo >= -room) {
          if (!probe) probe.reset(new RhsProbe(prob, iterlim, F));
          if (hi <= room) up = one_sided_rate(*probe, m, i, 1.0, y);
          if (lo >= -room) down = one_sided_rate(*probe, m, i, -1.0, y);
        }
      }
      mindual[k] = to_api(std::min(up, down));
      maxdual[k] = to_api(std::max(up, down));
    }
    return 0;
  });
}

}  // extern "C"
