// The nonlinear solver's solving, validation and state members of
// korvu.problem: the solves (nlpoptimize, globalsol) run with the interpreter
// lock released and Ctrl-C interrupting them; the others measure or change
// what the solver holds between solves.  Irregular bodies are in
// custom/slp_solve.cpp.
#include "binding/custom/slp_solve.h"
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace {

#define SLP_NOARGS(fn, lib, purpose, related, further)                                   \
  constexpr Row fn = Row::make(#fn, &invoke<kNo_args, &lib, SLP>).calls(#lib).doc(purpose, related, further)

WRAP_ARGS(nlpoptimize, value("flags", kText, "'' or 's' SLP with the second-order step, 'l' first-order steps "
                                             "only, 'g' the mixed-integer search", kOptional));
constexpr Row nlpoptimize = WRAP_CUSTOM(nlpoptimize, custom::nlpoptimize).calls("KSLPnlpoptimize")
    .example("p.nlpoptimize('')")
    .doc("Solves the nonlinear problem; one with integer columns or sets by branch-and-bound over nonlinear "
         "node relaxations.", "globalsol, solve, getslpsol",
         "The interpreter lock is released during the solve and Ctrl-C stops it; an exception raised by a "
         "callback or a user function during the solve is raised here.");

constexpr Row globalsol = Row::make("globalsol", nullptr).custom(custom::globalsol).calls("KSLPglobal")
    .doc("Runs the mixed-integer search of a nonlinear problem (a continuous one is solved).",
         "nlpoptimize, solve, getProbStatus",
         "Node relaxations are nonlinear solves on a working copy; the MIP callbacks (intsol, prenode, optnode, "
         "newnode, ...) fire as for MIPs, and the MIP attributes hold the result.  Bounds are valid for convex "
         "problems only.");

WRAP_ARGS(validatevector, in("vector", CONV_DOUBLE, 0, "a value for every column"));
constexpr Row validatevector = WRAP_CUSTOM(validatevector, custom::validatevector).returns(kTuple, "ddd")
    .calls("KSLPvalidatevector")
    .example("suminf, scaled, obj = p.validatevector([1.0, 2.0])")
    .doc("Measures a point: the sum of its violations of bounds and rows (formulas evaluated at it), the same "
         "with each violation divided by max(1, |limit|), and the objective.",
         "validate, getslpsol, calcobjective");

SLP_NOARGS(validate, KSLPvalidate, "Measures the rows and bounds at the current point and reports the violations.",
           "validaterow, validatekkt, validatevector",
           "The current point is the last solution, else the columns' initial or current values.  The results "
           "are the attributes kslp_validationmax, kslp_validationsum, kslp_validationrow, kslp_validationcol "
           "and kslp_validationstatus, and log lines.");

WRAP_ARGS(validaterow, index("row", CONV_ROW, "the row to measure"));
constexpr Row validaterow = WRAP_ROW(validaterow, KSLPvalidaterow, SLP, V<0>)
    .doc("Measures one row at the current point: activity, its linear and nonlinear parts, limits, violation.",
         "validate, validatekkt", "The result is a log line and the validation attributes.");

WRAP_ARGS(validatekkt, value("calculationmode", kInt, "0 the last solve's multipliers, 1 the best ones for the point"),
          value("respectbasisstatus", kInt, "1 rows with a non-zero multiplier are active, 0 rows at a limit"),
          value("updatemultipliers", kInt, "1 keeps the computed multipliers as the solution's"),
          value("kktviolationtarget", kDouble, "the relative residual that passes"));
constexpr Row validatekkt = WRAP_CUSTOM(validatekkt, custom::validatekkt).calls("KSLPvalidatekkt")
    .example("p.validatekkt(1, 0, 0, 1e-6)")
    .doc("Measures the optimality conditions at the current point.", "validate, getslpsol",
         "The relative residual is the attribute kslp_validationkkt; kslp_validationstatus is 0 when it meets "
         "the target.");

constexpr Row fixpenalties = Row::make("fixpenalties", &invoke<kNo_args, &KSLPfixpenalties, SLP, RI<0>>)
    .calls("KSLPfixpenalties").returns(kIntRes)
    .doc("Holds the error columns of the nonlinear rows at what the current point needs in later solves.",
         "reinitialize, nlpoptimize",
         "The status is 0 when every error is held at 0, 1 when some rows are violated and keep their error.  "
         "reinitialize releases them.");

SLP_NOARGS(presolve, KSLPpresolve, "Tightens column bounds through the linear rows for later nonlinear solves.",
           "nlpoptimize", "The problem's own bounds are not changed; postsolving forgets the tightened ones.");
SLP_NOARGS(scaling, KSLPscaling, "Scales the nonlinear rows by their gradients at the current point.",
           "nlpoptimize", "The factors are powers of 2 and apply to the subproblems of later solves.");
SLP_NOARGS(reinitialize, KSLPreinitialize, "Forgets the last solve so that the next one starts from the initial values.",
           "setcurrentiv, fixpenalties",
           "Solution, current values, step bounds, histories, held errors and the linearisation are dropped.");
SLP_NOARGS(setcurrentiv, KSLPsetcurrentiv, "Makes the current point every column's initial value.",
           "reinitialize, chgvar", "");
SLP_NOARGS(updatelinearization, KSLPupdatelinearization,
           "Rebuilds the linearisation of the nonlinear rows and the objective at the current point.",
           "printevalinfo, validatekkt", "");
SLP_NOARGS(printevalinfo, KSLPprintevalinfo,
           "Reports the evaluation counts (values, gradients, user-function calls, solves) as log lines.",
           "printmemory", "The lines go to the problem's message callbacks.");
SLP_NOARGS(printmemory, KSLPprintmemory, "Reports the memory the nonlinear problem holds, by part, as log lines.",
           "printevalinfo", "The lines go to the problem's message callbacks.");

#define ROWS(X)                                                                                     \
  X(nlpoptimize) X(globalsol) X(validatevector) X(validate) X(validaterow) X(validatekkt) X(fixpenalties) X(presolve) \
  X(scaling) X(reinitialize) X(setcurrentiv) X(updatelinearization) X(printevalinfo) X(printmemory)
WRAP_FAMILY(ROWS)

}  // namespace
}  // namespace wrap
}  // namespace korvu

PyMethodDef *problem_slp_solve_methods(void) { return korvu::wrap::family_methods(); }
