// The record behind a KSLPprob handle.
#pragma once
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/prob.h"
#include "kslp.h"
#include "slp/slpcb.h"
#include "slp/tape.h"

namespace krvu {
namespace slp {

// Properties of one column for the nonlinear solver (KSLPchgvar/KSLPgetvar).
struct VarInfo {
  int detrow = -1;             // the row that determines the column, -1 none
  double initstepbound = 0.0;  // initial step bound; 0: the solver's default
  double stepbound = 0.0;      // step bound reached by the last solve (0: none yet)
  double penalty = 0.0;        // proximal weight on the column's step
  double damp = 1.0;           // step-bound factor after a change of step sign
  double initvalue = NAN;      // start of each solve (NaN: not given)
  double value = NAN;          // current value (the last solution, or set)
  int tolset = 0;
  int history = 0;             // changes of step sign seen
  int converged = 0;           // 1 when the column's step had converged
  int vartype = 0;             // bits: 1 held at its start, 2 no step bound
  int lastactive = -1;         // last iteration its step bound was active
  double laststep = 0.0;       // |step| of the last accepted iteration
  int seqnum = 0;              // place asked for in the cascade order (0: none)
  int cascadelimit = 0;        // Newton steps of its cascade (0: the default)
  int deltatype = 0;           // how its step bound is measured (KSLP_DELTA_*)
  double deltavalue = 0.0;     // the size that deltatype reads
};

// A tolerance set: nine tolerances and the bits saying which are tested.
struct TolSet {
  double tol[9] = {};
  int status = 0;
};

// What the last solve left for one row (KSLPgetrowinfo): its error columns
// in the last subproblem and the errors seen over the solve.
struct RowSolveInfo {
  int nerrors = 0;          // iterations that ended with a nonzero error
  double maxerror = 0.0, totalerror = 0.0, error = 0.0;
  double factor = 0.0;      // penalty on its error columns (mu times weight)
  int plus = -1, minus = -1;  // their subproblem columns (-1: linear row)
  double plusvalue = 0.0, plusdj = 0.0, minusvalue = 0.0, minusdj = 0.0;
};

// The same for a column (KSLPgetcolinfo).
struct ColSolveInfo {
  int deltaindex = -1;      // its column in the last subproblem (-1: held)
  double deltadj = 0.0;     // its reduced cost there
  double sbdual = 0.0;      // that reduced cost when a step bound held it
  int updaterow = -1;       // the row whose coefficient of it changed most
};

// A user function: its name, how it is called, and what the caller keeps.
struct UserFunc {
  std::string name;
  std::string linkage;
  int argtype = 0;      // description of arguments and returns (86)
  int rettype = 0;      // (87)
  void *address = nullptr;
  void *object = nullptr;
  bool derivatives() const { return argtype == 110611; }
};

// What a user function is given to find its problem and its call.
struct FuncInfo {
  KSLPprob slp;
  int number;
  int ninput;
  int noutput;
  int nderiv;
  bool failed;
};

}  // namespace slp
}  // namespace krvu

struct kslp_prob_s {
  uint32_t magic = krvu::kMagicSlp;
  KRVUprob prob = nullptr;  // the linear part; not owned
  int lasterr_code = 0;
  std::string lasterr;
  krvu::ParamValues params;
  krvu::slp::SlpCb cbs[KSLP_CB_KIND_COUNT];  // by kind (slpcb.h)
  KSLPprob current = nullptr;  // problem under evaluation in a user function
  // Set on a working copy (the mixed-integer search's node problem): the
  // user's problem, whose user functions it calls and whose interrupt stops it.
  KSLPprob owner = nullptr;

  struct Coef {
    int row, col;
    double factor;
    std::vector<int> types;
    std::vector<double> values;
    std::shared_ptr<krvu::slp::Tape> tape;  // compiled on first use
  };
  std::vector<Coef> coefs;        // formula coefficients, in the order added
  std::map<int, int> rowstatus;   // row -> status bits
  std::map<int, krvu::slp::VarInfo> vars;  // column -> properties set or solved
  std::vector<std::string> strings;        // string index k+1 -> text
  std::vector<krvu::slp::UserFunc> userfuncs;  // number k+1
  // Tolerance sets, distribution factors, row weights and the cascade order.
  std::vector<krvu::slp::TolSet> tolsets;           // set k+1
  std::map<std::pair<int, int>, double> dfs;        // (column, row) -> factor
  std::map<int, double> rowwt;                      // row -> penalty weight (1 absent)
  std::vector<int> cascade_order;                   // as KSLPcascadeorder left it
  std::vector<krvu::slp::RowSolveInfo> rowinfo;     // of the last solve
  std::vector<krvu::slp::ColSolveInfo> colinfo;

  // The last solve.
  std::vector<double> x, slack, dual, dj;
  // Set by the operations of validate.cpp and slpops.cpp, read by the solver.
  std::vector<double> fixed_err;  // by row: error held by KSLPfixpenalties (+ below lo, - above up)
  std::vector<double> rowscale;   // by row: factor of the linearised row (KSLPscaling)
  // Bounds tightened by KSLPpresolve, valid while the linear model (bounds,
  // rows, matrix) is the one they were derived from: pre_from is its
  // fingerprint (slp::linear_fingerprint).
  std::vector<double> pre_lb, pre_ub;
  uint64_t pre_from = 0;
  // The linearisation at a point (KSLPupdatelinearization).
  struct Linearization {
    std::vector<double> x, rowvalue, objgrad;
    std::vector<std::vector<std::pair<int, double>>> rowgrad;  // by row, nonlinear rows only
  } lin;
  // Evaluation counts since the problem was created (KSLPprintevalinfo).
  struct EvalCounts {
    int64_t values = 0, gradients = 0, solves = 0;
    std::vector<int64_t> user;  // by user function
  } evals;
  bool constructed = false;
  std::atomic<bool> interrupt{false};
  std::string stop_reason;  // a user function's failure, for the last error
};

namespace krvu {

inline void check_slp(KSLPprob slp, const char *func) {
  if (!slp) raise(KRVU_ERR_ARGUMENT, "%s: argument 'slp' must not be null", func);
  if (slp->magic != kMagicSlp)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'slp' is not a valid nonlinear problem handle", func);
}

// The barrier of the KSLP calls: like the problem barrier, keeping the text of
// a failure as the nonlinear problem's last error.
// Reads of controls and attributes keep the text (slp_guarded_read), so that
// a caller may look at a status before it reads why a call failed.
template <bool kClear = true, class F>
int slp_guarded(KSLPprob slp, const char *func, F &&body) noexcept {
  int rc = guarded_global(func, [&] {
    check_slp(slp, func);
    if (kClear) {
      slp->lasterr_code = 0;
      slp->lasterr.clear();
    }
    return body();
  });
  if (rc && slp && slp->magic == kMagicSlp) {
    int code = 0;
    char buf[512];
    KRVU_ge_getlasterror(&code, buf, sizeof buf, nullptr);
    slp->lasterr_code = code;
    slp->lasterr = buf;
  }
  return rc;
}

template <class F>
int slp_guarded_read(KSLPprob slp, const char *func, F &&body) noexcept {
  return slp_guarded<false>(slp, func, std::forward<F>(body));
}

namespace slp {
// Compiles (once) and returns the tape of a coefficient; throws Error naming
// func on a malformed formula.
const Tape &tape_of(KSLPprob slp, kslp_prob_s::Coef &c, const char *func);
// Evaluates user function `number` (1-based) through its registered address;
// grad may be null.  False when the function failed (recorded in stop_reason).
bool call_user(KSLPprob slp, int number, const double *args, int n, double *value, double *grad);
// After rows (rows true) or columns of the problem under `slp` were deleted:
// newidx[old] is the new index or -1.  Coefficients naming a deleted row or
// column (as the coefficient's column or inside its formula) are dropped, the
// rest renumbered, and so are row statuses, column properties and the last
// solution.
void renumber_after_delete(KSLPprob slp, bool rows, const std::vector<int> &newidx);
// The point the problem holds outside a solve: the last solution when it fits
// the model, otherwise each column's start or current value (0 when neither).
std::vector<double> held_point(KSLPprob slp, int n);
int model_rows(KSLPprob slp);
int model_cols(KSLPprob slp);
// Sends a line to the nonlinear problem's message callback and the global handlers.
void slp_log(KSLPprob slp, int msgtype, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
// Parameter access of the handle.
int64_t ctl_i(KSLPprob slp, int id);
double ctl_d(KSLPprob slp, int id);
void set_attr_i(KSLPprob slp, int id, int64_t v);
void set_attr_d(KSLPprob slp, int id, double v);
}  // namespace slp

}  // namespace krvu
