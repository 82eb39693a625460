// The interior-point path of KSLPnlpoptimize, up to and after the run of
// Ipopt itself (ipm_ipopt.cpp): the choice, the start, and the results in the
// places the SLP solver leaves them (solution, slacks, duals, reduced costs,
// column values, status and attributes).
#include "slp/ipm.h"
#include "slp/ipm_second.h"

#include <algorithm>
#include <cmath>

#include "core/common.h"
#include "model/store.h"

namespace krvu {
namespace slp {

namespace {

constexpr double kInf = KRVU_INFINITY;

const char *status_name(int status) {
  static const char *kNames[] = {"unstarted",  "locally optimal", "optimal",   "locally infeasible",
                                 "infeasible", "unbounded",       "unfinished"};
  return status >= 0 && status <= 6 ? kNames[status] : "unknown";
}

// The start: initial values, else the last solution, else the columns'
// values, else 0; within the bounds.
std::vector<double> start_point(KSLPprob slp, const Nlp &P) {
  std::vector<double> x(P.n, 0.0);
  bool warm = slp->x.size() == static_cast<size_t>(P.n);
  for (int j = 0; j < P.n; ++j) {
    auto it = slp->vars.find(j);
    bool known = it != slp->vars.end();
    if (known && std::isfinite(it->second.initvalue)) x[j] = it->second.initvalue;
    else if (warm) x[j] = slp->x[j];
    else if (known && std::isfinite(it->second.value)) x[j] = it->second.value;
    x[j] = std::min(std::max(x[j], P.lb[j]), P.ub[j]);
  }
  return x;
}

// The relative residual of the optimality conditions at x for the row
// multipliers y (objective minimized), as the SLP solver measures it; dj
// receives the gradient of the Lagrangian, the reduced costs.
double kkt_residual(Nlp &P, const std::vector<double> &x, const std::vector<double> &act,
                    const std::vector<double> &y, std::vector<double> *dj) {
  std::vector<double> g(P.n, 0.0), gf(P.n, 0.0);
  double v;
  P.gradient(P.obj, x.data(), P.sense, gf.data(), &v);
  g = gf;
  for (int i = 0; i < P.m; ++i)
    if (y[i] != 0.0 && !P.eliminated_row[i]) P.gradient(P.rows[i], x.data(), -y[i], g.data(), &v);
  double scale = 1.0;
  for (int j = 0; j < P.n; ++j) scale = std::max(scale, std::fabs(gf[j]));
  double worst = 0.0;
  for (int j = 0; j < P.n; ++j) {
    if (P.eliminated_col[j]) continue;
    bool atl = x[j] - P.lb[j] <= 1e-7 * (1 + std::fabs(P.lb[j]));
    bool atu = P.ub[j] - x[j] <= 1e-7 * (1 + std::fabs(P.ub[j]));
    double r = atl && atu ? 0.0 : atl ? std::max(0.0, -g[j]) : atu ? std::max(0.0, g[j]) : std::fabs(g[j]);
    worst = std::max(worst, r);
  }
  for (int i = 0; i < P.m; ++i) {
    if (y[i] == 0.0 || P.eliminated_row[i]) continue;
    double limit = y[i] > 0 ? P.rlo[i] : P.rup[i];
    double dist = std::fabs(limit) >= kInf ? kInf : std::fabs(act[i] - limit);
    worst = std::max(worst, dist >= kInf ? std::fabs(y[i]) : std::fabs(y[i]) * std::min(dist, 1.0));
  }
  *dj = g;
  return worst / scale;
}

// The objective minimized and the largest violation of a run's end, as
// Ipopt sees the model; false when a function cannot be evaluated there.
bool judge(IpmModel &M, const std::vector<double> &x, double *f, double *viol) {
  const Nlp &P = M.nlp();
  std::vector<double> v(M.nvars()), g(M.ncons());
  for (int k = 0; k < M.nvars(); ++k) v[k] = x[M.var_col()[k]];
  if (!M.objective(v.data(), f) || !M.constraints(v.data(), g.data())) return false;
  *viol = 0.0;
  for (int c = 0; c < M.ncons(); ++c)
    *viol = std::max(*viol, row_violation(g[c], P.rlo[M.con_row()[c]], P.rup[M.con_row()[c]]));
  return std::isfinite(*f);
}

bool ends_well(const IpmRun &run) {
  return run.status == KSLP_NLPSTATUS_LOCALLY_OPTIMAL || run.status == KSLP_NLPSTATUS_OPTIMAL;
}

// Runs Ipopt again from beyond a saddle point the run ended at, as long as
// that leads to a lower objective (a few times at most); false when a user
// function failed.
bool leave_saddles(KSLPprob slp, Nlp &nlp, IpmModel &model, const std::vector<double> &fixed,
                   IpmRun *run) {
  const double feastol = ctl_d(slp, KSLP_CTRL_FEASTOL);
  const int rounds = ctl_i(slp, KSLP_CTRL_IPM_SECONDORDER) ? 3 : 0;
  for (int round = 0; round < rounds && ends_well(*run); ++round) {
    double f0, v0;
    std::vector<double> start;
    if (!judge(model, run->x, &f0, &v0) || v0 > feastol || !saddle_escape(model, fixed, *run, &start))
      return !nlp.user_failed;
    if (slp->interrupt.load()) return true;
    IpmRun next;
    next.x = start;
    next.seconds = run->seconds;
    next.offset = run->iterations;
    if (!ipopt_run(slp, model, &next) || nlp.user_failed) return false;
    double f1, v1;
    bool better = ends_well(next) && judge(model, next.x, &f1, &v1) && v1 <= feastol &&
                  f1 < f0 - 1e-9 * (1.0 + std::fabs(f0));
    if (ctl_i(slp, KSLP_CTRL_LOG) > 0)
      slp_log(slp, KRVU_MSG_LOG,
              "Interior-point solve ended at a saddle point (objective %.10g); a run from beyond it "
              "%s after %d iterations",
              nlp.sense * f0, better ? "improved it" : "did not improve it",
              next.iterations);
    next.iterations += run->iterations;
    if (!better) {
      run->iterations = next.iterations;
      run->seconds = next.seconds;
      return true;
    }
    *run = std::move(next);
  }
  return !nlp.user_failed;
}

void write_back(KSLPprob slp, Nlp &P, const IpmModel &M, IpmRun &run) {
  const ModelData &md = read_model(slp->prob);
  std::vector<double> &x = run.x;
  P.cascade(x.data());
  std::vector<double> act(P.m, 0.0);
  double maxviol = 0.0;
  for (int i = 0; i < P.m; ++i) {
    if (P.eliminated_row[i]) {
      act[i] = md.rhs[i];
      continue;
    }
    P.value(P.rows[i], x.data(), &act[i]);
    if (md.rowtype[i] != 'N') maxviol = std::max(maxviol, row_violation(act[i], P.rlo[i], P.rup[i]));
  }
  for (int j = 0; j < P.n; ++j) maxviol = std::max(maxviol, row_violation(x[j], P.lb[j], P.ub[j]));
  int status = run.status;
  if ((status == KSLP_NLPSTATUS_LOCALLY_OPTIMAL || status == KSLP_NLPSTATUS_OPTIMAL) &&
      maxviol > ctl_d(slp, KSLP_CTRL_FEASTOL))
    status = KSLP_NLPSTATUS_LOCALLY_INFEASIBLE;
  // Ipopt's multipliers enter its Lagrangian with a plus sign; the SLP
  // solver's (the LP engine's) with a minus.
  std::vector<double> y(P.m, 0.0);
  for (size_t c = 0; c < M.con_row().size() && c < run.lambda.size(); ++c)
    y[M.con_row()[c]] = -run.lambda[c];
  std::vector<double> dj;
  double kres = kkt_residual(P, x, act, y, &dj);

  slp->x = x;
  slp->slack.assign(P.m, 0.0);
  slp->dual.assign(P.m, 0.0);
  slp->dj.assign(P.n, 0.0);
  for (int i = 0; i < P.m; ++i) {
    slp->slack[i] = md.rhs[i] - act[i];
    slp->dual[i] = P.sense * y[i];
  }
  for (const auto &t : P.transfers) slp->dual[t.row] = t.cost / t.a;
  for (int j = 0; j < P.n; ++j)
    if (!P.eliminated_col[j]) slp->dj[j] = P.sense * dj[j];
  // The objective as the user states it, transfer columns included.
  double obj = -md.objrhs;
  for (int j = 0; j < P.n; ++j) obj += md.obj[j] * x[j];
  if (!md.qstart.empty())
    for (int j = 0; j < P.n; ++j)
      for (int64_t k = md.qstart[j]; k < md.qstart[j + 1]; ++k) {
        int i = md.qrow[k];
        obj += (i == j ? 0.5 : 1.0) * md.qval[k] * x[i] * x[j];
      }
  for (int j = 0; j < P.n; ++j) slp->vars[j].value = x[j];
  set_attr_i(slp, KSLP_ATTR_NLPSTATUS, status);
  set_attr_i(slp, KSLP_ATTR_ITERATIONS, run.iterations);
  set_attr_d(slp, KSLP_ATTR_OBJVAL, obj);
  set_attr_d(slp, KSLP_ATTR_VALIDATION, maxviol);
  set_attr_d(slp, KSLP_ATTR_PENALTYVALUE, 0.0);
  set_attr_d(slp, KSLP_ATTR_KKT, kres);
  if (ctl_i(slp, KSLP_CTRL_LOG) > 0)
    slp_log(slp, KRVU_MSG_LOG,
            "Interior-point solve %s after %d iterations: objective %.10g, largest violation "
            "%.3g, optimality residual %.3g",
            status_name(status), run.iterations, obj, maxviol, kres);
}

}  // namespace

bool ipm_available() {
#ifdef KRVU_HAVE_IPOPT
  return true;
#else
  return false;
#endif
}

bool ipm_chosen(KSLPprob slp, const char *func) {
  int64_t alg = ctl_i(slp, KSLP_CTRL_ALGORITHM);
  if (alg == KSLP_ALGORITHM_IPM && !ipm_available())
    raise(KRVU_ERR_STATE,
          "%s: control kslp_algorithm is 1 (interior point), but this library was built without "
          "the interior-point solver (Ipopt); set kslp_algorithm to 0 (SLP) or 2 (automatic)",
          func);
  return alg == KSLP_ALGORITHM_IPM || (alg == KSLP_ALGORITHM_AUTO && ipm_available());
}

int ipm_solve(KSLPprob slp, Nlp &nlp) {
  IpmRun run;
  run.x = start_point(slp, nlp);
  // Held columns stay at their start; Ipopt takes them as fixed.
  std::vector<double> fixed(nlp.n, NAN);
  bool free_var = false;
  for (int j = 0; j < nlp.n; ++j) {
    if (nlp.eliminated_col[j]) continue;
    auto it = slp->vars.find(j);
    bool held = it != slp->vars.end() && (it->second.vartype & 1);
    if (held) fixed[j] = run.x[j];
    free_var = free_var || (!held && nlp.lb[j] < nlp.ub[j]);
  }
  IpmModel model(nlp, &fixed);
  if (ctl_i(slp, KSLP_CTRL_LOG) > 0) {
    slp_log(slp, KRVU_MSG_LOG,
            "Interior-point solve: %d columns, %d rows, %zu Jacobian and %zu Hessian nonzeros%s",
            model.nvars(), model.ncons(), model.jac_var().size(), model.hess().size(),
            model.exact_hessian() ? "" : " (quasi-Newton Hessian: user functions)");
    if (!model.dropped_rows().empty())
      slp_log(slp, KRVU_MSG_LOG, "%zu linear equality rows left out, implied by the others",
              model.dropped_rows().size());
  }
  // Nothing left to move: the start is the answer, optimal if feasible.
  if (!free_var) {
    run.status = KSLP_NLPSTATUS_LOCALLY_OPTIMAL;
    if (!nlp.cascade(run.x.data())) return -1;
  } else if (!ipopt_run(slp, model, &run) || nlp.user_failed ||
             !leave_saddles(slp, nlp, model, fixed, &run)) {
    return -1;
  }
  write_back(slp, nlp, model, run);
  return 0;
}

#ifndef KRVU_HAVE_IPOPT
bool ipopt_run(KSLPprob, IpmModel &, IpmRun *) {
  raise(KRVU_ERR_STATE, "the interior-point solver (Ipopt) is not built into this library");
}
#endif

}  // namespace slp
}  // namespace krvu

extern "C" int KSLPipmavailable(int *available) {
  return krvu::guarded_global("KSLPipmavailable", [&] {
    krvu::require_ptr(available, "KSLPipmavailable", "available");
    *available = krvu::slp::ipm_available() ? 1 : 0;
    return 0;
  });
}
