// Mixed-integer nonlinear problems: the library's branch-and-bound with the
// nonlinear solver on each node's relaxation (mip/search/nlrelax.h).  The
// search sees the linear rows (for its propagation) and the integer
// columns, sets and semi-continuous columns; the rows with formulas or
// quadratic terms, and the rows that carry the objective, are the
// relaxation's alone.  When the search has ended, the best integer point is
// solved once more with its integer columns fixed, which gives the
// solution its multipliers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "core/common.h"
#include "core/prob.h"
#include "lp/solver_state.h"
#include "mip/search/nlrelax.h"
#include "model/store.h"
#include "slp/minlp.h"
#include "slp/nlp.h"
#include "slp/slpprob.h"

using namespace krvu;
using namespace krvu::slp;

namespace {

// The status of the nonlinear problem from the search's.
int nlp_status_of(const SearchResult &r) {
  if (r.has_sol) return KSLP_NLPSTATUS_LOCALLY_OPTIMAL;
  if (r.status == KRVU_MIP_INFEAS) return KSLP_NLPSTATUS_INFEASIBLE;
  if (r.status == KRVU_MIP_UNBOUNDED) return KSLP_NLPSTATUS_UNBOUNDED;
  return KSLP_NLPSTATUS_UNFINISHED;
}

// Bounds that hold the integer part of x: integer columns at their values,
// semi-continuous ones and set members at 0 where x has them at 0.
void fixing_bounds(const ModelData &md, const std::vector<double> &x, std::vector<double> &lo,
                   std::vector<double> &up) {
  const int n = md.ncols();
  lo = md.lb;
  up = md.ub;
  std::vector<char> in_set(n, 0);
  for (int k : md.setcol) in_set[k] = 1;
  for (int j = 0; j < n; ++j) {
    const char t = md.coltype[j];
    const double v = x[j];
    if (t == 'I' || t == 'B' || (t == 'P' && v < md.threshold[j])) {
      lo[j] = up[j] = std::round(v);
    } else if (t == 'S' || t == 'R' || in_set[j]) {
      if (std::fabs(v) <= 1e-9) {
        lo[j] = up[j] = 0.0;
      } else if (t == 'R') {
        lo[j] = up[j] = std::round(v);
      } else if (t == 'S') {
        lo[j] = std::max(lo[j], md.threshold[j]);
      }
    }
    if (t == 'S' || t == 'R') lo[j] = std::min(lo[j], up[j]);
  }
}

}  // namespace

bool krvu::slp::has_entities(KSLPprob slp) {
  const ModelData &md = read_model(slp->prob);
  if (md.nsets() > 0) return true;
  return std::any_of(md.coltype.begin(), md.coltype.end(), [](char t) { return t != 'C'; });
}

void krvu::slp::run_minlp(KSLPprob slp, const char *flags, const char *F) {
  const ModelData &md = read_model(slp->prob);
  for (int r = 0; r < md.nrows(); ++r)
    if (!md.indcol.empty() && md.indcol[r] >= 0)
      raise(KRVU_ERR_STATE, "%s: the problem has indicator constraints, which the nonlinear search does not take", F);
  if (!md.gentype.empty() || !md.pwlcol.empty())
    raise(KRVU_ERR_STATE, "%s: the problem has general or piecewise-linear constraints, which the nonlinear "
                          "search does not take", F);
  set_attr_i(slp, KSLP_ATTR_NLPSTATUS, KSLP_NLPSTATUS_UNSTARTED);
  Nlp probe;
  probe.build(slp, F, true);
  ModelData work = md;
  for (int i = 0; i < work.nrows(); ++i)
    if (probe.nonlinear_row[i] || probe.eliminated_row[i]) {
      work.rowtype[i] = 'N';
      work.range[i] = 0.0;
    }
  work.qrows.clear();
  work.qstart.clear();
  work.qrow.clear();
  work.qval.clear();
  work.objsense = probe.sense;
  SolverState &state = *slp->prob->data->solver;
  state.interrupt.store(false);
  // The node solves take the flags of the local solver ('g' is this search).
  std::string node_flags;
  for (const char *f = flags ? flags : ""; *f; ++f)
    if (*f != 'g') node_flags += *f;
  NlpRelaxation relax(slp, state.interrupt, node_flags, F);
  SearchResult r = run_problem_search(slp->prob, work, relax, F);
  if (!relax.failure().empty()) {
    relax.count_evaluations();
    set_attr_i(slp, KSLP_ATTR_NLPSTATUS, KSLP_NLPSTATUS_UNFINISHED);
    raise(KRVU_ERR_SOLVER, "%s: the solve stopped: %s", F, relax.failure().c_str());
  }
  int status = nlp_status_of(r);
  double obj = r.has_sol ? r.obj : 0.0, maxviol = 0.0;
  if (r.has_sol) {
    std::vector<double> lo, up;
    fixing_bounds(md, r.x, lo, up);
    std::vector<double> x = r.x, slack, dual, dj;
    // The solution of the final solve when it is as good as the search's.
    bool polished = relax.solve_quietly(lo, up) == NodeRelaxation::kOptimal &&
                    relax.objective() <= probe.sense * r.obj + 1e-7 * std::max(1.0, std::fabs(r.obj));
    if (polished) {
      x = relax.x();
      slack = relax.slack();
      dual = relax.row_dual();
      dj = relax.col_dual();
      for (double &v : dual) v *= probe.sense;
      for (double &v : dj) v *= probe.sense;
      obj = probe.sense * relax.objective();
      maxviol = relax.max_violation();
    } else {
      // The search's point with its slacks; no multipliers.
      slack.assign(md.nrows(), 0.0);
      for (int i = 0; i < md.nrows(); ++i) {
        double a = md.rhs[i];
        if (!probe.eliminated_row[i]) probe.value(probe.rows[i], x.data(), &a);
        slack[i] = md.rhs[i] - a;
        maxviol = std::max(maxviol, md.rowtype[i] == 'N' ? 0.0 : row_violation(a, probe.rlo[i], probe.rup[i]));
      }
      dual.assign(md.nrows(), 0.0);
      dj.assign(md.ncols(), 0.0);
    }
    slp->x = x;
    slp->slack = slack;
    slp->dual = dual;
    slp->dj = dj;
    for (int j = 0; j < md.ncols(); ++j) slp->vars[j].value = x[j];
  } else {
    // No integer point: an earlier solution must not answer for this solve.
    slp->x.clear();
    slp->slack.clear();
    slp->dual.clear();
    slp->dj.clear();
  }
  relax.count_evaluations();
  set_attr_i(slp, KSLP_ATTR_NLPSTATUS, status);
  set_attr_i(slp, KSLP_ATTR_MIPSTATUS, r.status);
  set_attr_i(slp, KSLP_ATTR_NODES, r.nodes);
  set_attr_i(slp, KSLP_ATTR_ITERATIONS, relax.solves());
  set_attr_d(slp, KSLP_ATTR_BESTBOUND, std::isfinite(r.bound) ? r.bound : (r.bound > 0 ? KRVU_INFINITY : -KRVU_INFINITY));
  set_attr_d(slp, KSLP_ATTR_OBJVAL, obj);
  set_attr_d(slp, KSLP_ATTR_VALIDATION, maxviol);
  if (ctl_i(slp, KSLP_CTRL_LOG) > 0)
    slp_log(slp, KRVU_MSG_LOG, "Nonlinear search: MIP status %d after %lld nodes (%lld nonlinear solves), "
                               "objective %.10g, bound %.10g",
            r.status, static_cast<long long>(r.nodes), static_cast<long long>(relax.solves()), obj, r.bound);
}

extern "C" int KSLPglobal(KSLPprob slp) {
  return slp_guarded(slp, "KSLPglobal", [&] {
    if (!has_entities(slp)) {
      if (KSLPnlpoptimize(slp, ""))
        raise(slp->lasterr_code ? slp->lasterr_code : KRVU_ERR_SOLVER, "%s", slp->lasterr.c_str());
      return 0;
    }
    run_minlp(slp, "", "KSLPglobal");
    return 0;
  });
}
