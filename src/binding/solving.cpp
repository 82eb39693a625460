// The solving, file, infeasibility-analysis, repair and tuning members of
// korvu.problem.  The optimizers and the tuner run with the interpreter lock
// released and Ctrl-C interrupting them; irregular members are in
// custom/solving.cpp.
#include "binding/custom/custom.h"
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace {

constexpr int COLS = KRVU_ATTR_COLS, OROWS = KRVU_ATTR_ORIGINALROWS, OCOLS = KRVU_ATTR_ORIGINALCOLS;
constexpr uint16_t kRun = kReleaseGil | kInterrupt;

// ---- solving and tuning

WRAP_ARGS(lpoptimize, value("flags", kText, "'d' dual simplex, 'p' primal simplex, 'b' interior point "
                                            "(default: the lpalgorithm control)", kOptional));
constexpr Row lpoptimize = WRAP_ROW(lpoptimize, KRVUlpoptimize, P, V<0>).flags(kRun)
    .doc("Solves the problem as continuous (integer restrictions relaxed).",
         "mipoptimize, solve, getlpsol")
    .example("p.lpoptimize('d')");

WRAP_ARGS(mipoptimize, value("flags", kText, "flags of the LP solves, as for lpoptimize", kOptional));
constexpr Row mipoptimize = WRAP_ROW(mipoptimize, KRVUmipoptimize, P, V<0>).flags(kRun)
    .doc("Solves the problem with every integer restriction.", "lpoptimize, solve, getmipsol");

WRAP_ARGS(tune, value("flags", kText, "'l' tune the LP solve, 'g' the MIP solve (default: by the problem); "
                                      "'d', 'p', 'b' pass to the solves", kOptional));
constexpr Row tune = WRAP_ROW(tune, KRVUtune, P, V<0>).flags(kRun)
    .doc("Tries control settings within problem.controls.tunermaxtime seconds and leaves the best on "
         "the problem.", "tunerreadmethod, tunerwritemethod",
         "Each run is a line of the log's table; a setting counts only when a repeated run confirms it.");

constexpr Row postsolve = Row::make("postsolve", &invoke<kNo_args, &KRVUpostsolve, P>)
    .calls("KRVUpostsolve")
    .doc("Brings a presolved problem back to its original form.", "lpoptimize",
         "The library keeps problems in their original form, so there is nothing to undo.");

constexpr Row crossoverlpsol =
    Row::make("crossoverlpsol", &invoke<kNo_args, &KRVUcrossoverlpsol, P, RI<0>>)
        .calls("KRVUcrossoverlpsol").returns(kIntRes)
        .doc("Turns the LP solution (of the interior-point solver) into a basic one.",
             "lpoptimize, getbasis",
             "The status is 0 when the result is an optimal basis, 1 when the solution stayed as it was.");

WRAP_ARGS(interrupt, value("reason", kLong, "the stop status the solve reports (0: Ctrl-C)"));
constexpr Row interrupt = WRAP_ROW(interrupt, KRVUinterrupt, P, V<0>)
    .doc("Asks a running solve of this problem to stop.", "lpoptimize, mipoptimize");

WRAP_ARGS(refinemipsol, value("options", kInt, "0 (reserved)"),
          value("flags", kText, "flags of the LP solve"),
          in_attr("solution", CONV_DOUBLE, 0, OCOLS, "an integer solution", kRequired),
          out("refined_solution", CONV_DOUBLE, kSizeAttr, OCOLS, "the refined solution", kRequired));
constexpr Row refinemipsol = WRAP_ROW(refinemipsol, KRVUrefinemipsol, P, V<0>, V<1>, A<2>, A<3>, RI<0>)
    .missing("Must provide arguments solution and refined_solution").returns(kIntRes)
    .doc("Fixes the integer part of a solution and solves the LP that remains with tight tolerances.",
         "getmipsol, loadmipsol",
         "The status is 0 when refined, 1 when the fixed integers leave no feasible point, 2 when the LP did "
         "not finish.");

WRAP_ARGS(presolverow, value("qrtype", kChar, "'L', 'G' or 'E'"),
          in("mcolso", CONV_COL, 0, "the row's columns in the original problem", kRequired),
          in("dvalo", CONV_DOUBLE, 0, "its coefficients", kRequired),
          value("drhso", kDouble, "its right-hand side"),
          value("maxcoeffs", kInt, "room for the mapped row's coefficients"),
          out("mcolsp", CONV_INT, kSizeAttr, COLS, "the mapped row's columns", kRequired),
          out("dvalp", CONV_DOUBLE, kSizeAttr, COLS, "its coefficients", kRequired));
constexpr Row presolverow = WRAP_CUSTOM(presolverow, custom::presolverow).returns(kTuple, "di")
    .missing("Must provide arguments mcolso, dvalo, mcolsp, dvalp")
    .calls("KRVUpresolverow")
    .doc("Maps a row over the original columns into the problem as the library holds it.",
         "getpresolvemap",
         "Returns (right-hand side, status).  The problem is held in its original form, so the row comes "
         "back with repeated columns added together and zeros dropped.");

// ---- files

#define FILE_ROW(fn, what, related)                                                               \
  WRAP_ARGS(fn, value("filename", kText, "the file (empty: the problem's name with the kind's "     \
                                         "extension)"),                                            \
            value("flags", kText, "flags of the file kind", kOptional));                           \
  constexpr Row fn = WRAP_ROW(fn, KRVU##fn, P, V<0>, V<1>).doc(what, related)

FILE_ROW(readbasis, "Reads a basis file (MPS basis format) that starts the next solve.",
         "writebasis, loadbasis");
WRAP_ARGS(writebasis, value("filename", kText, "the file (default: the problem's name with .bss)", kOptional),
          value("flags", kText, "none", kOptional));
constexpr Row writebasis = WRAP_ROW(writebasis, KRVUwritebasis, P, V<0>, V<1>)
    .doc("Writes the basis in the MPS basis format.", "readbasis, getbasis");
FILE_ROW(readbinsol, "Reads a binary solution file of this problem.", "writebinsol");
FILE_ROW(writebinsol, "Writes the solution, basis and integer solution in a binary file (exact).",
         "readbinsol");
FILE_ROW(readslxsol, "Reads a text solution (names and values) as a MIP start ('m') or LP start ('l').",
         "writeslxsol, addmipsol");
FILE_ROW(writeprtsol, "Writes a printed report of the solution ('l' LP, 'm' integer solution).",
         "writesol");
FILE_ROW(writesol, "Writes the solution as a CSV table of rows and columns.", "writeprtsol");

WRAP_ARGS(writeslxsol, value("filename", kText, "the file"),
          value("flags", kText, "'l' the LP solution, 'm' the integer solution", kOptional));
constexpr Row writeslxsol = WRAP_CUSTOM(writeslxsol, custom::writeslxsol).calls("KRVUwriteslxsol")
    .doc("Writes the solution as text (names and values).", "readslxsol");

WRAP_ARGS(save, value("filename", kText, "the file (default: the problem's name with .svf)", kOptional));
constexpr Row save = WRAP_CUSTOM(save, custom::save).calls("KRVUsave, KRVUsaveas")
    .doc("Saves the whole problem (model, controls, solution, basis) in one file.", "restore");

WRAP_ARGS(restore, value("probname", kText, "the file, or its name without .svf"),
          value("flags", kText, "none", kOptional));
constexpr Row restore = WRAP_CUSTOM(restore, custom::restore).calls("KRVUrestore").flags(kKeepBodies)
    .doc("Replaces the problem by one saved with save.", "save",
         "A file of another format version, or a damaged one, is refused.  Like the other library "
         "members this acts on the library's view: the problem's model objects are not rebuilt.");

WRAP_ARGS(tunerreadmethod, value("methodfile", kText, "the method file"));
constexpr Row tunerreadmethod = WRAP_ROW(tunerreadmethod, KRVUtunerreadmethod, P, V<0>)
    .doc("Reads the controls and values the tuner tries.", "tune, tunerwritemethod");
WRAP_ARGS(tunerwritemethod, value("methodfile", kText, "the method file"));
constexpr Row tunerwritemethod = WRAP_ROW(tunerwritemethod, KRVUtunerwritemethod, P, V<0>)
    .doc("Writes the tuner's method (the one read, else the built-in one).", "tune, tunerreadmethod");

// ---- irreducible infeasible sets

constexpr Row iisall = Row::make("iisall", &invoke<kNo_args, &KRVUiisall, P>).calls("KRVUiisall")
    .doc("Finds as many irreducible infeasible sets as the limits allow.", "iisfirst, iisnext, iisstatus");
constexpr Row iisclear = Row::make("iisclear", &invoke<kNo_args, &KRVUiisclear, P>).calls("KRVUiisclear")
    .doc("Drops the infeasible sets found.", "iisfirst");
WRAP_ARGS(iisfirst, value("iismode", kInt, "0 the elastic filter's subsystem, 1 an irreducible set, "
                                           "2 one of the LP relaxation"));
constexpr Row iisfirst = WRAP_ROW(iisfirst, KRVUiisfirst, P, V<0>, RI<0>).returns(kIntRes)
    .doc("Finds a first irreducible infeasible set.", "iisnext, iisall, getiisdata",
         "The status is 0 when a set was found, 1 when the problem is feasible, 2 when the analysis stopped "
         "early.");
constexpr Row iisnext = Row::make("iisnext", &invoke<kNo_args, &KRVUiisnext, P, RI<0>>)
    .calls("KRVUiisnext").returns(kIntRes)
    .doc("Finds an infeasible set different from those found.", "iisfirst, iisall",
         "The status is 0 when a set was found, 1 when there is no further set, 2 when it stopped early.");
WRAP_ARGS(iisisolations, value("num", kInt, "the set (from 1)"));
constexpr Row iisisolations = WRAP_ROW(iisisolations, KRVUiisisolations, P, V<0>)
    .doc("Finds the members of a set whose removal alone repairs it.", "getiisdata");
WRAP_ARGS(iiswrite, value("num", kInt, "the set (0: the elastic filter's subsystem)"),
          value("fn", kText, "the file"), value("type", kInt, "0 LP format, 1 MPS"),
          value("typeflags", kText, "flags of the writer, as for write"));
constexpr Row iiswrite = WRAP_ROW(iiswrite, KRVUiiswrite, P, V<0>, V<1>, V<2>, V<3>)
    .doc("Writes a set as a problem of its own, which reads back infeasible.", "getiisdata, write");
WRAP_ARGS(iisstatus, out("rowsizes", CONV_INT, kSizeFree, 0, "rows of each set (entry 0: the subsystem)"),
          out("colsizes", CONV_INT, kSizeFree, 0, "bounds of each set"),
          out("suminfeas", CONV_DOUBLE, kSizeFree, 0, "least sum of violations of each set"),
          out("numinfeas", CONV_INT, kSizeFree, 0, "members violated then"));
constexpr Row iisstatus = WRAP_CUSTOM(iisstatus, custom::iisstatus).returns(kIntRes).calls("KRVUiisstatus")
    .doc("Returns the number of sets found and fills their sizes (number of sets + 1 entries).",
         "getiisdata");
WRAP_ARGS(getiisdata, value("num", kInt, "the set (0: the elastic filter's subsystem)"),
          out("miisrow", CONV_ROW, kSizeFree, 0, "its rows", kOptional),
          out("miiscol", CONV_COL, kSizeFree, 0, "the columns of its bounds", kOptional),
          out("constrainttype", CONV_CHAR, kSizeFree, 0, "'L', 'G' or 'E' per row", kOptional),
          out("colbndtype", CONV_CHAR, kSizeFree, 0, "'U', 'L' or 'F' per bound", kOptional),
          out("duals", CONV_DOUBLE, kSizeFree, 0, "Farkas multipliers of the rows", kOptional),
          out("rdcs", CONV_DOUBLE, kSizeFree, 0, "Farkas multipliers of the bounds", kOptional),
          out("isolationrows", CONV_BYTE, kSizeFree, 0, "'-1' not computed, '0' or '1' per row", kOptional),
          out("isolationcols", CONV_BYTE, kSizeFree, 0, "the same per bound", kOptional));
constexpr Row getiisdata = WRAP_CUSTOM(getiisdata, custom::getiisdata).calls("KRVUgetiisdata")
    .doc("Reads the rows and bounds of an infeasible set with their Farkas multipliers.",
         "iisstatus, iisisolations");

// ---- infeasibility repair

WRAP_ARGS(repairinfeas, value("pflags", kChar, "'c' linear penalty, 'q' quadratic"),
          value("oflags", kChar, "'n' no second phase, 'o' optimize the objective within delta"),
          value("gflags", kChar, "'n' keep integer columns, 'r' relax them"),
          value("lrp", kDouble, "preference for relaxing the <= side of rows"),
          value("grp", kDouble, "preference for relaxing the >= side of rows"),
          value("lbp", kDouble, "preference for relaxing lower bounds"),
          value("ubp", kDouble, "preference for relaxing upper bounds"),
          value("delta", kDouble, "relative room of the second phase"));
constexpr Row repairinfeas =
    WRAP_ROW(repairinfeas, KRVUrepairinfeas, P, RI<0>, V<0>, V<1>, V<2>, V<3>, V<4>, V<5>, V<6>, V<7>)
        .returns(kIntRes)
        .doc("Repairs an infeasible problem by relaxing rows and bounds at the least penalty.",
             "repairweightedinfeas, iisfirst",
             "The relaxed solution becomes the problem's solution.  The status is 0 when repaired, 1 when still "
             "infeasible, 2 when a limit stopped it, 3 when the second phase failed.");

WRAP_ARGS(repairweightedinfeas,
          in_attr("lrp_array", CONV_DOUBLE, 0, OROWS, "preferences for the <= side of each row"),
          in_attr("grp_array", CONV_DOUBLE, 1, OROWS, "preferences for the >= side of each row"),
          in_attr("lbp_array", CONV_DOUBLE, 2, OCOLS, "preferences for each lower bound"),
          in_attr("ubp_array", CONV_DOUBLE, 3, OCOLS, "preferences for each upper bound"),
          value("phase2", kChar, "'n' or 'o'"), value("delta", kDouble, "relative room of the second phase"),
          value("optflags", kText, "flags of the solves"));
constexpr Row repairweightedinfeas =
    WRAP_ROW(repairweightedinfeas, KRVUrepairweightedinfeas, P, RI<0>, A<0>, A<1>, A<2>, A<3>, V<4>, V<5>,
             V<6>)
        .returns(kIntRes)
        .doc("Repairs an infeasible problem with a preference per row side and bound (0: keep it).",
             "repairinfeas, repairweightedinfeasbounds");

WRAP_ARGS(repairweightedinfeasbounds,
          in_attr("lrp_array", CONV_DOUBLE, 0, OROWS, "preferences for the <= side of each row"),
          in_attr("grp_array", CONV_DOUBLE, 1, OROWS, "preferences for the >= side of each row"),
          in_attr("lbp_array", CONV_DOUBLE, 2, OCOLS, "preferences for each lower bound"),
          in_attr("ubp_array", CONV_DOUBLE, 3, OCOLS, "preferences for each upper bound"),
          in_attr("lrb_array", CONV_DOUBLE, 4, OROWS, "the most each <= side may be relaxed"),
          in_attr("grb_array", CONV_DOUBLE, 5, OROWS, "the most each >= side may be relaxed"),
          in_attr("lbb_array", CONV_DOUBLE, 0, OCOLS, "the most each lower bound may be relaxed"),
          in_attr("ubb_array", CONV_DOUBLE, 1, OCOLS, "the most each upper bound may be relaxed"),
          value("phase2", kChar, "'n' or 'o'"), value("delta", kDouble, "relative room of the second phase"),
          value("optflags", kText, "flags of the solves"));
constexpr Row repairweightedinfeasbounds =
    WRAP_ROW(repairweightedinfeasbounds, KRVUrepairweightedinfeasbounds, P, RI<0>, A<0>, A<1>, A<2>, A<3>,
             V<8>, V<9>, A<4>, A<5>, A<6>, A<7>, V<10>)
        .returns(kIntRes)
        .doc("As repairweightedinfeas, with the most each row side and bound may be relaxed.",
             "repairweightedinfeas");


// ---- nonlinear solver members without a result list

constexpr Row cascade = Row::make("cascade", &invoke<kNo_args, &KSLPcascade, SLP>)
    .calls("KSLPcascade")
    .doc("Sets every column that has a determining row (chgvar detrow) from that row at the current point.",
         "chgvar, getvar",
         "The results become the columns' current values (getvar); a column that does not appear in its row "
         "fails and changes nothing.");

constexpr Row construct = Row::make("construct", &invoke<kNo_args, &KSLPconstruct, SLP>)
    .calls("KSLPconstruct")
    .doc("Compiles every formula coefficient and checks it against the model.", "unconstruct, addcoefs");

constexpr Row unconstruct = Row::make("unconstruct", &invoke<kNo_args, &KSLPunconstruct, SLP>)
    .calls("KSLPunconstruct")
    .doc("Forgets what construct compiled; the next solve compiles again.", "construct");

#define ROWS(X)                                                                                    \
  X(lpoptimize) X(mipoptimize) X(tune) X(postsolve) X(crossoverlpsol) X(interrupt) X(refinemipsol)  \
  X(presolverow) X(readbasis) X(writebasis) X(readbinsol) X(writebinsol) X(readslxsol)             \
  X(writeslxsol) X(writeprtsol) X(writesol) X(save) X(restore) X(tunerreadmethod)                  \
  X(tunerwritemethod) X(iisall) X(iisclear) X(iisfirst) X(iisnext) X(iisisolations) X(iiswrite)     \
  X(iisstatus) X(getiisdata) X(repairinfeas) X(repairweightedinfeas) X(repairweightedinfeasbounds) \
  X(cascade) X(construct) X(unconstruct)
WRAP_FAMILY(ROWS)

}  // namespace
}  // namespace wrap
}  // namespace korvu

PyMethodDef *problem_solving_methods(void) { return korvu::wrap::family_methods(); }
