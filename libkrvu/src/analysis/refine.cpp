// Refining an integer solution: the integer part is fixed and the LP that
// remains is solved with tight tolerances.
#include <algorithm>
#include <cmath>

#include "core/common.h"
#include "core/prob.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

enum RefineStatus { kRefined = 0, kNoPoint = 1, kUnfinished = 2 };

// The LP left when the non-continuous part is fixed at x; false when x's
// integer part breaks a special ordered set.
bool fixed_lp(const ModelData &m, const double *x, double tol, ModelData &lp) {
  lp = m;
  const int n = m.ncols();
  for (int j = 0; j < n; ++j) {
    const char t = m.coltype[j];
    const double v = x[j], thr = m.threshold[j];
    switch (t) {
      case 'B':
      case 'I':
        lp.lb[j] = lp.ub[j] = std::round(v);
        break;
      case 'S':
        if (std::fabs(v) <= tol || v < 0.5 * thr) lp.lb[j] = lp.ub[j] = 0;
        else lp.lb[j] = std::max(m.lb[j], thr);
        break;
      case 'R':
        if (std::fabs(v) <= tol || v < 0.5 * thr) lp.lb[j] = lp.ub[j] = 0;
        else lp.lb[j] = lp.ub[j] = std::round(v);
        break;
      case 'P':
        if (v < thr) lp.lb[j] = lp.ub[j] = std::round(v);
        else lp.lb[j] = std::max(m.lb[j], thr);
        break;
      default:
        break;
    }
    lp.coltype[j] = 'C';
    lp.threshold[j] = 0;
  }
  // Sets: members at 0 stay there; what is left must fit the set.
  for (int s = 0; s < m.nsets(); ++s) {
    std::vector<int64_t> nz;
    for (int64_t k = m.setstart[s]; k < m.setstart[s + 1]; ++k) {
      const int j = m.setcol[k];
      if (std::fabs(x[j]) <= tol) lp.lb[j] = lp.ub[j] = 0;
      else nz.push_back(k - m.setstart[s]);
    }
    if (m.settype[s] == '1' && nz.size() > 1) return false;
    if (m.settype[s] == '2' && (nz.size() > 2 || (nz.size() == 2 && nz[1] != nz[0] + 1)))
      return false;
  }
  lp.settype.clear();
  lp.setstart.assign(1, 0);
  lp.setcol.clear();
  lp.setref.clear();
  lp.setnames.clear();
  // Indicator rows hold or vanish with their (fixed) indicator column.
  for (int i = 0; i < m.nrows(); ++i) {
    if (m.indcol[i] < 0) continue;
    const double f = std::round(x[m.indcol[i]]);
    const bool active = (m.indcomp[i] == 1 && f == 1) || (m.indcomp[i] == -1 && f == 0);
    if (!active) {
      lp.rowtype[i] = 'N';
      lp.range[i] = 0;
    }
    lp.indcol[i] = -1;
    lp.indcomp[i] = 0;
  }
  return true;
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUrefinemipsol(KRVUprob prob, int options, const char *flags, const double solution[],
                     double refined[], int *status) {
  const char *F = "KRVUrefinemipsol";
  return guarded(prob, F, [&] {
    if (options != 0)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'options' = %d is reserved and must be 0", F, options);
    require_ptr(solution, F, "solution");
    require_ptr(refined, F, "refined");
    require_ptr(status, F, "status");
    const ModelData &m = read_model(prob);
    const int n = m.ncols();
    for (int j = 0; j < n; ++j) require_finite(solution[j], F, "solution", j);
    if (!m.gentype.empty() || !m.pwlcol.empty())
      raise(KRVU_ERR_STATE,
            "%s: problems with general or piecewise-linear constraints are not refined", F);
    if (!m.qrows.empty()) raise(KRVU_ERR_STATE, "%s: the problem has quadratic rows", F);
    ModelData lp;
    const double tol = ctl_dbl(prob, 7005);
    std::vector<double> given(solution, solution + n);
    if (!fixed_lp(m, solution, tol, lp)) {
      std::copy(given.begin(), given.end(), refined);
      *status = kNoPoint;
      return 0;
    }
    WorkProb work(F);
    KRVUprob q = work.q;
    KRVUcopycontrols(q, prob);
    KRVUsetintcontrol(q, KRVU_CTRL_OUTPUTLOG, 0);
    KRVUsetdblcontrol(q, 7001, 1e-9);
    KRVUsetdblcontrol(q, 7002, 1e-9);
    replace_model(q, std::move(lp), F);
    if (KRVUlpoptimize(q, flags ? flags : "")) {
      char msg[512];
      KRVUgetlasterror(q, msg);
      raise(KRVU_ERR_SOLVER, "%s: %s", F, msg);
    }
    int lpst = 0;
    KRVUgetintattrib(q, KRVU_ATTR_LPSTATUS, &lpst);
    if (lpst == KRVU_LP_OPTIMAL) {
      KRVUgetlpsol(q, refined, nullptr, nullptr, nullptr);
      // Integer values exactly.
      for (int j = 0; j < n; ++j)
        if (m.coltype[j] == 'B' || m.coltype[j] == 'I') refined[j] = std::round(refined[j]);
      *status = kRefined;
    } else {
      std::copy(given.begin(), given.end(), refined);
      *status = lpst == KRVU_LP_INFEAS ? kNoPoint : kUnfinished;
    }
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_CROSSOVER, "refined integer solution: status %d",
             *status);
    return 0;
  });
}

}  // extern "C"
