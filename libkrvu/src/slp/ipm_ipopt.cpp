// The model handed to Ipopt as its TNLP, its log sent to the problem's
// message callback, and the run's outcome in our statuses.
#ifdef KRVU_HAVE_IPOPT
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "IpIpoptApplication.hpp"
#include "IpIpoptData.hpp"
#include "IpSolveStatistics.hpp"
#include "IpTNLP.hpp"
#include "core/common.h"
#include "lp/solver_state.h"
#include "slp/ipm.h"

namespace krvu {
namespace slp {

namespace {

using Ipopt::Index;
using Ipopt::Number;

// Ipopt's log, line by line, to the message callbacks.
class LogJournal : public Ipopt::Journal {
 public:
  LogJournal(KSLPprob slp, Ipopt::EJournalLevel level) : Journal("korvu", level), slp_(slp) {}
  ~LogJournal() override { flush_all(); }

 protected:
  void PrintImpl(Ipopt::EJournalCategory, Ipopt::EJournalLevel, const char *str) override {
    take(str);
  }
  void PrintfImpl(Ipopt::EJournalCategory, Ipopt::EJournalLevel, const char *fmt,
                  va_list ap) override {
    char buf[2048];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    take(buf);
  }
  void FlushBufferImpl() override {}

 private:
  KSLPprob slp_;
  std::string pending_;
  void take(const char *s) {
    pending_ += s;
    size_t nl;
    while ((nl = pending_.find('\n')) != std::string::npos) {
      slp_log(slp_, KRVU_MSG_LOG, "%s", pending_.substr(0, nl).c_str());
      pending_.erase(0, nl + 1);
    }
  }
  void flush_all() {
    if (!pending_.empty()) slp_log(slp_, KRVU_MSG_LOG, "%s", pending_.c_str());
    pending_.clear();
  }
};

class Adapter : public Ipopt::TNLP {
 public:
  Adapter(KSLPprob slp, IpmModel &m, IpmRun *run) : slp_(slp), M(m), run_(run) {
    t0_ = std::chrono::steady_clock::now();
  }
  bool failed = false;

  bool get_nlp_info(Index &n, Index &m, Index &nnz_jac, Index &nnz_h,
                    IndexStyleEnum &style) override {
    n = M.nvars();
    m = M.ncons();
    nnz_jac = static_cast<Index>(M.jac_var().size());
    nnz_h = static_cast<Index>(M.hess().size());
    style = C_STYLE;
    return true;
  }

  bool get_bounds_info(Index n, Number *xl, Number *xu, Index m, Number *gl,
                       Number *gu) override {
    const Nlp &P = nlp();
    for (Index k = 0; k < n; ++k) {
      int j = M.var_col()[k];
      auto it = slp_->vars.find(j);
      bool held = it != slp_->vars.end() && (it->second.vartype & 1);
      xl[k] = held ? run_->x[j] : bound(P.lb[j]);
      xu[k] = held ? run_->x[j] : bound(P.ub[j]);
    }
    for (Index c = 0; c < m; ++c) {
      int i = M.con_row()[c];
      gl[c] = bound(P.rlo[i]);
      gu[c] = bound(P.rup[i]);
    }
    return true;
  }

  bool get_starting_point(Index n, bool init_x, Number *x, bool, Number *, Number *, Index,
                          bool, Number *) override {
    if (init_x)
      for (Index k = 0; k < n; ++k) x[k] = run_->x[M.var_col()[k]];
    return true;
  }

  bool eval_f(Index, const Number *x, bool, Number &f) override { return ok(M.objective(x, &f)); }
  bool eval_grad_f(Index, const Number *x, bool, Number *g) override {
    return ok(M.objective_gradient(x, g));
  }
  bool eval_g(Index, const Number *x, bool, Index, Number *g) override {
    return ok(M.constraints(x, g));
  }
  bool eval_jac_g(Index, const Number *x, bool, Index, Index nele, Index *irow, Index *jcol,
                  Number *values) override {
    if (!values) {
      for (Index k = 0; k < nele; ++k) {
        irow[k] = M.jac_con()[k];
        jcol[k] = M.jac_var()[k];
      }
      return true;
    }
    return ok(M.jacobian(x, values));
  }
  bool eval_h(Index, const Number *x, bool, Number objfactor, Index, const Number *lambda, bool,
              Index nele, Index *irow, Index *jcol, Number *values) override {
    if (!values) {
      for (Index k = 0; k < nele; ++k) {
        irow[k] = M.hess()[k].first;
        jcol[k] = M.hess()[k].second;
      }
      return true;
    }
    return ok(M.hessian(x, objfactor, lambda, values));
  }

  void finalize_solution(Ipopt::SolverReturn status, Index n, const Number *x, const Number *,
                         const Number *, Index m, const Number *, const Number *lambda, Number,
                         const Ipopt::IpoptData *data, Ipopt::IpoptCalculatedQuantities *) override {
    if (x)
      for (Index k = 0; k < n; ++k) run_->x[M.var_col()[k]] = x[k];
    run_->lambda.assign(lambda ? lambda : nullptr, lambda ? lambda + m : nullptr);
    if (data) {
      run_->iterations = data->iter_count();
      run_->mu = data->curr_mu();
    }
    run_->status = our_status(status);
  }

  bool intermediate_callback(Ipopt::AlgorithmMode, Index iter, Number, Number, Number, Number,
                             Number, Number, Number, Number, Index, const Ipopt::IpoptData *,
                             Ipopt::IpoptCalculatedQuantities *) override {
    run_->iterations = iter;
    if (failed || nlp_failed()) return false;
    // Called after each iteration (iteration 0: the start): the previous
    // iteration ends here and the next begins.
    bool stop = false;
    // Callbacks read the iterations done so far, counted across the runs of
    // one solve.
    set_attr_i(slp_, KSLP_ATTR_ITERATIONS, run_->offset + iter);
    if (iter > 0) {
      stop = slpcb_fire_iterend(slp_) != 0;
      if (slpcb_has(slp_, kSlpCb_itervar))
        for (int j = 0; j < nlp().n && !stop; ++j)
          if (!nlp().eliminated_col[j]) stop = slpcb_fire_itervar(slp_, j) != 0;
    }
    if (stop || slpcb_fire_iterstart(slp_)) slp_->interrupt.store(true);
    if (slp_->interrupt.load()) return false;
    if (slp_->prob->data->solver && slp_->prob->data->solver->interrupt.load()) return false;
    double limit = ctl_d(slp_, KSLP_CTRL_TIMELIMIT);
    double secs = run_->seconds + std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count();
    return !(limit < KRVU_INFINITY && secs > limit);
  }

 private:
  KSLPprob slp_;
  IpmModel &M;
  IpmRun *run_;
  std::chrono::steady_clock::time_point t0_;

  const Nlp &nlp() const { return M.nlp(); }
  bool nlp_failed() const { return M.nlp().user_failed; }
  bool ok(bool r) {
    if (!r && nlp_failed()) failed = true;
    return r;
  }
  static double bound(double v) { return v >= KRVU_INFINITY ? 2e19 : (v <= -KRVU_INFINITY ? -2e19 : v); }

  static int our_status(Ipopt::SolverReturn s) {
    switch (s) {
      case Ipopt::SUCCESS:
      case Ipopt::STOP_AT_ACCEPTABLE_POINT: return KSLP_NLPSTATUS_LOCALLY_OPTIMAL;
      case Ipopt::LOCAL_INFEASIBILITY: return KSLP_NLPSTATUS_LOCALLY_INFEASIBLE;
      case Ipopt::DIVERGING_ITERATES: return KSLP_NLPSTATUS_UNBOUNDED;
      default: return KSLP_NLPSTATUS_UNFINISHED;
    }
  }
};

// Ipopt's sparse solver (MUMPS, sequential build) keeps global state: one
// run at a time.
std::mutex g_ipopt_mutex;

}  // namespace

bool ipopt_run(KSLPprob slp, IpmModel &model, IpmRun *run) {
  const ParamValues &pv = slp->params;
  Ipopt::SmartPtr<Ipopt::IpoptApplication> app = new Ipopt::IpoptApplication(false);
  int level = static_cast<int>(ctl_i(slp, KSLP_CTRL_IPM_PRINTLEVEL));
  Ipopt::SmartPtr<Ipopt::Journal> journal =
      new LogJournal(slp, static_cast<Ipopt::EJournalLevel>(std::min(level, 12)));
  app->Jnlst()->AddJournal(journal);
  Ipopt::OptionsList &o = *app->Options();
  o.SetStringValue("sb", "yes");
  o.SetIntegerValue("print_level", level);
  o.SetIntegerValue("max_iter", static_cast<Index>(ctl_i(slp, KSLP_CTRL_IPM_MAXITER)));
  o.SetNumericValue("tol", ctl_d(slp, KSLP_CTRL_IPM_TOL));
  o.SetNumericValue("acceptable_tol", ctl_d(slp, KSLP_CTRL_IPM_ACCEPTABLETOL));
  o.SetNumericValue("constr_viol_tol", ctl_d(slp, KSLP_CTRL_FEASTOL));
  o.SetStringValue("linear_solver", "mumps");
  // The adaptive barrier update: on the Hock-Schittkowski set it ends in
  // the book's optimum on two problems more than the monotone one (hs044,
  // hs055) for as many iterations in all.
  o.SetStringValue("mu_strategy", ctl_i(slp, KSLP_CTRL_IPM_MUSTRATEGY) == 1 ? "adaptive" : "monotone");
  if (!model.exact_hessian() || ctl_i(slp, KSLP_CTRL_IPM_HESSIAN) == 1)
    o.SetStringValue("hessian_approximation", "limited-memory");
  const std::string &file = pv.v[param_index(KSLP_CTRL_IPM_OUTPUTFILE)].s;
  if (!file.empty()) {
    o.SetStringValue("output_file", file);
    o.SetIntegerValue("file_print_level", level > 0 ? level : 5);
  }
  Adapter *raw = new Adapter(slp, model, run);
  Ipopt::SmartPtr<Ipopt::TNLP> nlp = raw;
  std::lock_guard<std::mutex> lock(g_ipopt_mutex);
  // No options file: a stray ipopt.opt in the working directory would
  // otherwise change every solve.
  Ipopt::ApplicationReturnStatus st = app->Initialize("");
  if (st != Ipopt::Solve_Succeeded)
    raise(KRVU_ERR_SOLVER, "KSLPnlpoptimize: the interior-point solver could not start (code %d)",
          static_cast<int>(st));
  const auto t0 = std::chrono::steady_clock::now();
  st = app->OptimizeTNLP(nlp);
  run->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (st == Ipopt::Not_Enough_Degrees_Of_Freedom && ctl_i(slp, KSLP_CTRL_LOG) > 0)
    slp_log(slp, KRVU_MSG_LOG,
            "The interior-point solver needs at least as many free columns as equality rows");
  if (st == Ipopt::Invalid_Option || st == Ipopt::Invalid_Problem_Definition)
    raise(KRVU_ERR_SOLVER, "KSLPnlpoptimize: the interior-point solver refused the problem (code %d)",
          static_cast<int>(st));
  return !raw->failed;
}

}  // namespace slp
}  // namespace krvu
#endif
