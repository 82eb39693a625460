// Solving continuous problems (and the relaxation of integer ones).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "core/common.h"
#include "core/prob.h"
#include "interfaces/highs_c_api.h"
#include "lp/engine.h"
#include "lp/highs_session.h"
#include "lp/run.h"
#include "lp/solver_state.h"
#include "model/store.h"

namespace krvu {

RunResult run_engine(krvu_prob_s *prob, int mode, char algo, const char *func) {
  const ModelData &m = read_model(prob);
  if (!m.qrows.empty())
    raise(KRVU_ERR_STATE,
          "%s: the problem has %zu quadratic rows; they are solved by the nonlinear solver", func,
          m.qrows.size());
  SolverState &s = *prob->data->solver;
  HighsSession &hs = session(prob);
  hs.apply_controls(algo, mode == kModeInteger);
  sync_engine(prob, mode, func);
  if (mode == kModeRelaxation && !s.lp_start.empty()) {
    // A start point read from a file: the engine builds its first basis
    // from it (when it holds no basis of its own).
    std::vector<double> x(s.lp_start);
    if (static_cast<int>(x.size()) == m.ncols()) {
      if (s.engine_scaled)
        for (int j = 0; j < m.ncols(); ++j) x[j] /= s.scaling.col[j];
      int bvalid = 0;
      Highs_getIntInfoValue(hs.get(), "basis_validity", &bvalid);
      if (!bvalid) Highs_setSolution(hs.get(), x.data(), nullptr, nullptr, nullptr);
    }
    s.lp_start.clear();
  }
  RunResult r;
  StageScope solving(prob, kStageSolving);
  auto t0 = std::chrono::steady_clock::now();
  // The engine's quadratic solver does not look for interrupts: it runs on a
  // thread of its own while this one does.
  const bool quadratic = !m.qstart.empty() && m.qstart.back() > 0 && mode == kModeRelaxation;
  r.run_status = quadratic ? HighsSession::run_interruptible(s.hs, s.interrupt) : hs.run();
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!s.hs) {
    s.synced = false;  // the next session starts empty
    r.abandoned = true;
    r.model_status = kHighsModelStatusInterrupt;
    attr_set_dbl(prob, 2005, r.seconds);
    attr_set_int(prob, 1009, stop_status(prob, r.model_status));
    log(prob, KRVU_MSG_LOG, "Interrupted after %.2f s; the quadratic solver finishes in the background", r.seconds);
    return r;
  }
  r.model_status = Highs_getModelStatus(hs.get());
  attr_set_dbl(prob, 2005, r.seconds);
  int it = 0;
  Highs_getIntInfoValue(hs.get(), "simplex_iteration_count", &it);
  attr_set_int(prob, 1006, it);
  it = 0;
  Highs_getIntInfoValue(hs.get(), "ipm_iteration_count", &it);
  attr_set_int(prob, 1007, it);
  attr_set_int(prob, 1009, stop_status(prob, r.model_status));
  return r;
}

void begin_solve(krvu_prob_s *prob) {
  SolverState &s = *prob->data->solver;
  s.interrupt.store(false);
  s.interrupt_reason = 0;
}

int stop_status(krvu_prob_s *prob, int ms) {
  switch (ms) {
    case kHighsModelStatusTimeLimit: return 1;
    case kHighsModelStatusInterrupt: {
      int why = prob->data->solver->interrupt_reason;
      return why > 0 ? why : 2;
    }
    case kHighsModelStatusIterationLimit: return 4;
    case kHighsModelStatusSolutionLimit: {
      int64_t nodes = 0;
      Highs_getInt64InfoValue(prob->data->solver->hs->get(), "mip_node_count", &nodes);
      return nodes >= ctl_int(prob, 8002) ? 3 : 6;
    }
    default: return 0;
  }
}

void capture_lp(krvu_prob_s *prob) {
  SolverState &s = *prob->data->solver;
  const ModelData &m = prob->data->m;
  void *h = s.hs->get();
  const int n = m.ncols(), r = m.nrows();
  int pstat = 0, dstat = 0, bvalid = 0;
  Highs_getIntInfoValue(h, "primal_solution_status", &pstat);
  Highs_getIntInfoValue(h, "dual_solution_status", &dstat);
  Highs_getIntInfoValue(h, "basis_validity", &bvalid);
  s.x.assign(n, 0.0);
  s.dj.assign(n, 0.0);
  s.slack.assign(r, 0.0);
  s.dual.assign(r, 0.0);
  std::vector<double> act(r, 0.0);
  if (pstat > 0 || dstat > 0)
    Highs_getSolution(h, s.x.data(), s.dj.data(), act.data(), s.dual.data());
  if (s.engine_scaled) unscale_solution(s.scaling, s.x, s.dj, act, s.dual);
  for (int i = 0; i < r; ++i) s.slack[i] = m.rhs[i] - act[i];
  s.has_lpsol = pstat > 0 || n + r == 0;
  if (bvalid) {
    s.cstat.assign(n, 0);
    s.rstat.assign(r, 0);
    Highs_getBasis(h, s.cstat.data(), s.rstat.data());
    for (int &c : s.cstat) c = c == kHighsBasisStatusNonbasic ? 0 : c;
    for (int &c : s.rstat) c = c == kHighsBasisStatusNonbasic ? 0 : c;
    s.has_basis = true;
  }
}

}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUlpoptimize(KRVUprob prob, const char *flags) {
  const char *F = "KRVUlpoptimize";
  return guarded(prob, F, [&] {
    char algo = 0;
    for (const char *c = flags ? flags : ""; *c; ++c)
      if (*c == 'd' || *c == 'p' || *c == 'b') algo = *c;
    touch(prob, 0);
    SolverState &s = *prob->data->solver;
    begin_solve(prob);
    const ModelData &m = read_model(prob);
    if (!objective_convex(m)) {
      attr_set_int(prob, KRVU_ATTR_LPSTATUS, 8);
      raise(KRVU_ERR_SOLVER, "%s: the quadratic objective is not %s; the problem is nonconvex", F,
            m.objsense < 0 ? "concave (maximizing)" : "convex");
    }
    RunResult r = run_engine(prob, kModeRelaxation, algo, F);
    if (r.abandoned) {
      attr_set_dbl(prob, KRVU_ATTR_LPOBJVAL, 0.0);
      attr_set_int(prob, KRVU_ATTR_LPSTATUS, KRVU_LP_UNFINISHED);
      return 0;
    }
    void *h = s.hs->get();
    if (r.model_status == kHighsModelStatusUnknown || r.model_status == kHighsModelStatusSolveError) {
      // The engine can lose its way from an earlier run's basis (an unbounded
      // column after a row was added): once more from nothing.
      Highs_clearSolver(h);
      s.has_basis = false;
      r.run_status = session(prob).run();
      r.model_status = Highs_getModelStatus(h);
    }
    int status = 7;
    switch (r.model_status) {
      case kHighsModelStatusOptimal:
      case kHighsModelStatusModelEmpty: status = 1; break;
      case kHighsModelStatusInfeasible: status = 2; break;
      case kHighsModelStatusUnbounded: status = 5; break;
      case kHighsModelStatusUnboundedOrInfeasible: status = 2; break;
      case kHighsModelStatusObjectiveBound: status = 3; break;
      case kHighsModelStatusObjectiveTarget:
      case kHighsModelStatusTimeLimit:
      case kHighsModelStatusIterationLimit:
      case kHighsModelStatusSolutionLimit:
      case kHighsModelStatusInterrupt: status = 4; break;
      default: status = 7; break;
    }
    if (r.model_status == kHighsModelStatusUnboundedOrInfeasible) {
      // Tell the two apart without presolve.
      Highs_setStringOptionValue(h, "presolve", "off");
      r.run_status = session(prob).run();
      r.model_status = Highs_getModelStatus(h);
      status = r.model_status == kHighsModelStatusUnbounded ? 5 : 2;
    }
    capture_lp(prob);
    if (status == 5) {
      int has = 0;
      s.pray.assign(m.ncols(), 0.0);
      if (Highs_getPrimalRay(h, &has, s.pray.data()) != kHighsStatusError && has) s.has_pray = true;
      if (s.has_pray && s.engine_scaled)
        for (int j = 0; j < m.ncols(); ++j) s.pray[j] *= s.scaling.col[j];
      // The direction's entering column: the nonbasic one moving furthest.
      if (s.has_pray && s.has_basis && algo == 'p') {
        double best = 0;
        for (int j = 0; j < m.ncols(); ++j)
          if (s.cstat[j] != kHighsBasisStatusBasic && std::fabs(s.pray[j]) > best) {
            best = std::fabs(s.pray[j]);
            s.unbvec = m.nrows() + j;
          }
      }
    } else if (status == 2) {
      int has = 0;
      s.dray.assign(m.nrows(), 0.0);
      if (Highs_getDualRay(h, &has, s.dray.data()) != kHighsStatusError && has) s.has_dray = true;
      if (s.has_dray && s.engine_scaled)
        for (int i = 0; i < m.nrows(); ++i) s.dray[i] *= s.scaling.row[i];
    }
    double obj = status == 1 || s.has_lpsol ? Highs_getObjectiveValue(h) : 0.0;
    if (m.ncols() == 0) obj = -m.objrhs;
    attr_set_dbl(prob, KRVU_ATTR_LPOBJVAL, obj);
    attr_set_int(prob, KRVU_ATTR_LPSTATUS, status);
    if (std::any_of(m.coltype.begin(), m.coltype.end(), [](char c) { return c != 'C'; }))
      attr_set_int(prob, KRVU_ATTR_MIPSTATUS, status == 1 ? 2 : 1);
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_LPSUMMARY, "LP status %d, objective %.12g, %.2f s",
             status, obj, r.seconds);
    if (status == 7)
      raise(KRVU_ERR_SOLVER, "%s: the engine could not solve the problem (engine status %d)", F,
            r.model_status);
    return 0;
  });
}

int KRVUinterrupt(KRVUprob prob, int reason) {
  // Called from other threads and signal handlers while the problem solves:
  // leaves the last error alone.
  return guarded_read(prob, "KRVUinterrupt", [&] {
    SolverState &s = *prob->data->solver;
    s.interrupt_reason = reason;
    s.interrupt.store(true);
    return 0;
  });
}

}  // extern "C"
