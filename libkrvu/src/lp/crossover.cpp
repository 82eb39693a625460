// A basic solution from an interior one: the engine's crossover started from
// the problem's LP solution.
#include <algorithm>
#include <cmath>

#include "core/common.h"
#include "core/prob.h"
#include "interfaces/highs_c_api.h"
#include "lp/engine.h"
#include "lp/highs_session.h"
#include "lp/run.h"
#include "lp/solver_state.h"
#include "model/store.h"

using namespace krvu;

extern "C" {

int KRVUcrossoverlpsol(KRVUprob prob, int *status) {
  const char *F = "KRVUcrossoverlpsol";
  return guarded(prob, F, [&] {
    require_ptr(status, F, "status");
    SolverState &s = *prob->data->solver;
    const ModelData &m = read_model(prob);
    if (!s.has_lpsol)
      raise(KRVU_ERR_STATE,
            "%s: no LP solution to start from (solve with KRVUlpoptimize, for instance with flag "
            "'b' and control crossover 0, or load one with KRVUloadlpsol)",
            F);
    if (!m.qstart.empty())
      raise(KRVU_ERR_STATE, "%s: crossover needs a linear objective", F);
    if (!m.qrows.empty())
      raise(KRVU_ERR_STATE, "%s: the problem has quadratic rows", F);
    HighsSession &hs = session(prob);
    hs.apply_controls(0, false);
    sync_engine(prob, kModeRelaxation, F);
    void *h = hs.get();
    const int n = m.ncols(), r = m.nrows();
    std::vector<double> x(s.x), dj(s.dj), dual(s.dual);
    // The crossover takes a start that is complementary: a column strictly
    // between its bounds has reduced cost 0, and one with a reduced cost sits
    // at the bound it points to; the same for rows and their duals.  An
    // interior solution is so only up to its tolerances, so it is made so
    // here: a value near the bound its reduced cost points to moves onto it,
    // any other reduced cost becomes 0.
    const double tol = std::max(ctl_dbl(prob, 7001), 1e-9);
    auto near = [&](double v, double b) {
      return !std::isinf(b) && std::fabs(v - b) <= tol * (1 + std::fabs(b)) * 10;
    };
    for (int j = 0; j < n; ++j) {
      double lo, up;
      int type;
      col_bounds(m, j, kModeRelaxation, lo, up, type);
      x[j] = std::min(std::max(x[j], lo), up);
      const double d = m.objsense * dj[j];
      if (d > 0 && near(x[j], lo)) x[j] = lo;
      else if (d < 0 && near(x[j], up)) x[j] = up;
      else dj[j] = 0;
    }
    std::vector<double> act(r, 0.0);
    for (int j = 0; j < n; ++j)
      for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k) act[m.mrwind[k]] += m.dmatval[k] * x[j];
    for (int i = 0; i < r; ++i) {
      double lo, up;
      row_bounds(m, i, lo, up);
      const double y = m.objsense * dual[i];
      if (!((y > 0 && near(act[i], lo)) || (y < 0 && near(act[i], up)))) dual[i] = 0;
    }
    if (s.engine_scaled)
      for (int j = 0; j < n; ++j) {
        x[j] /= s.scaling.col[j];
        dj[j] *= s.scaling.col[j];
      }
    if (s.engine_scaled)
      for (int i = 0; i < r; ++i) dual[i] /= s.scaling.row[i];
    // What we have stays if the crossover does not give an optimal basis.
    const std::vector<double> keep_x(s.x), keep_slack(s.slack), keep_dual(s.dual), keep_dj(s.dj);
    const bool had_basis = s.has_basis;
    const std::vector<int> keep_c(s.cstat), keep_r(s.rstat);
    // The engine's crossover hands the start to its interior-point code,
    // which works on the dual of a problem with more rows than columns and
    // then reads the given arrays with the dual's lengths (past their ends).
    // Such a problem gets its basis from the simplex method instead.
    const bool by_simplex = r > n;
    int rc = by_simplex ? kHighsStatusOk : Highs_crossover(h, n, r, x.data(), dj.data(), dual.data());
    // A dual start the crossover refuses (row activities cannot sit exactly
    // on their limits in floating point) is dropped: from the primal values
    // alone the crossover finds the duals itself.
    if (!by_simplex && (rc == kHighsStatusError || Highs_getModelStatus(h) != kHighsModelStatusOptimal))
      rc = Highs_crossover(h, n, r, x.data(), nullptr, nullptr);
    // The basis the crossover ends with may still need simplex iterations to
    // be optimal (always so from a primal start); they start from it.
    int cleanup = 0;
    if (rc != kHighsStatusError && (by_simplex || Highs_getModelStatus(h) != kHighsModelStatusOptimal)) {
      Highs_setStringOptionValue(h, "presolve", "off");
      Highs_setStringOptionValue(h, "solver", "simplex");
      hs.run();
      Highs_getIntInfoValue(h, "simplex_iteration_count", &cleanup);
    }
    int bvalid = 0;
    const int ms = Highs_getModelStatus(h);
    Highs_getIntInfoValue(h, "basis_validity", &bvalid);
    if (rc != kHighsStatusError && ms == kHighsModelStatusOptimal && bvalid) {
      capture_lp(prob);
      attr_set_int(prob, KRVU_ATTR_LPSTATUS, KRVU_LP_OPTIMAL);
      attr_set_dbl(prob, KRVU_ATTR_LPOBJVAL, Highs_getObjectiveValue(h));
      *status = 0;
    } else {
      s.x = keep_x;
      s.slack = keep_slack;
      s.dual = keep_dual;
      s.dj = keep_dj;
      s.has_lpsol = true;
      s.has_basis = had_basis;
      s.cstat = keep_c;
      s.rstat = keep_r;
      // The engine's basis no longer matches ours.
      s.synced = false;
      *status = 1;
    }
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_CROSSOVER,
             "crossover %s (engine status %d, %d simplex iterations after it)",
             *status == 0 ? "gave an optimal basis" : "ended without an optimal basis", ms, cleanup);
    return 0;
  });
}

}  // extern "C"
