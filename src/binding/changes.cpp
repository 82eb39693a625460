// The members of korvu.problem that change the library's copy of the model in
// place, load starting points and bases, and set problem-wide settings.  They
// act on the library only: the problem's model objects are not changed.
#include "binding/custom/custom.h"
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace {

constexpr int ROWS = KRVU_ATTR_ROWS, COLS = KRVU_ATTR_COLS, OROWS = KRVU_ATTR_ORIGINALROWS,
              OCOLS = KRVU_ATTR_ORIGINALCOLS;

// ---- changes by arrays

WRAP_ARGS(chgobj, in("mindex", CONV_COL, 0, "the columns (-1: the objective's right-hand side)", kRequired),
          in("obj", CONV_DOUBLE, 0, "their new objective coefficients", kRequired));
constexpr Row chgobj = WRAP_ROW(chgobj, KRVUchgobj, P, N<0>, A<0>, A<1>)
    .missing("Must provide arguments mindex, obj").flags(kNlUnconstruct)
    .doc("Changes objective coefficients of columns.", "getobj, chgmqobj, setObjective")
    .example("p.chgobj([x, y], [1.0, -2.0])");

WRAP_ARGS(chgrhs, in("mindex", CONV_ROW, 0, "the rows", kRequired),
          in("rhs", CONV_DOUBLE, 0, "their new right-hand sides", kRequired));
constexpr Row chgrhs = WRAP_ROW(chgrhs, KRVUchgrhs, P, N<0>, A<0>, A<1>)
    .missing("Must provide arguments mindex, rhs")
    .doc("Changes right-hand sides of rows.", "getrhs, chgrhsrange");

WRAP_ARGS(chgrhsrange, in("mindex", CONV_ROW, 0, "the rows", kRequired),
          in("rng", CONV_DOUBLE, 0, "their ranges (>= 0)", kRequired));
constexpr Row chgrhsrange = WRAP_ROW(chgrhsrange, KRVUchgrhsrange, P, N<0>, A<0>, A<1>)
    .missing("Must provide arguments mindex, rng")
    .doc("Makes rows range rows rhs - rng <= a'x <= rhs (a G row keeps rhs as its lower limit).",
         "getrhsrange, chgrhs");

WRAP_ARGS(chgrowtype, in("mindex", CONV_ROW, 0, "the rows", kRequired),
          in("qrtype", CONV_CHAR, 0, "their new types: 'L', 'G', 'E', 'R' or 'N'", kRequired));
constexpr Row chgrowtype = WRAP_ROW(chgrowtype, KRVUchgrowtype, P, N<0>, A<0>, A<1>)
    .missing("Must provide arguments mindex and qrtype")
    .doc("Changes the types of rows.", "getrowtype");

WRAP_ARGS(chgcoltype, in("mindex", CONV_COL, 0, "the columns", kRequired),
          in("qctype", CONV_CHAR, 0, "their new types: 'C', 'B', 'I', 'S', 'R' or 'P'", kRequired));
constexpr Row chgcoltype = WRAP_ROW(chgcoltype, KRVUchgcoltype, P, N<0>, A<0>, A<1>)
    .missing("Must provide arguments mindex, qctype")
    .doc("Changes the types of columns (continuous, binary, integer, semi-continuous, semi-integer, "
         "partially integer).", "getcoltype, chgglblimit");

WRAP_ARGS(chgbounds, in("mindex", CONV_COL, 0, "the columns", kRequired),
          in("qbtype", CONV_CHAR, 0, "'L' lower, 'U' upper or 'B' both bounds", kRequired),
          in("bnd", CONV_DOUBLE, 0, "the new bounds", kRequired));
constexpr Row chgbounds = WRAP_ROW(chgbounds, KRVUchgbounds, P, N<0>, A<0>, A<1>, A<2>)
    .missing("Must provide arguments mindex, qbtype, bnd")
    .doc("Changes bounds of columns.", "getlb, getub")
    .example("p.chgbounds([x, y], ['U', 'L'], [4, 1])");

WRAP_ARGS(chgglblimit, in("mindex", CONV_COL, 0, "semi-continuous, semi-integer or partially integer columns",
                          kRequired),
          in("dlimit", CONV_DOUBLE, 0, "their new limits", kRequired));
constexpr Row chgglblimit = WRAP_ROW(chgglblimit, KRVUchgglblimit, P, N<0>, A<0>, A<1>)
    .missing("Must provide arguments mindex, dlimit")
    .doc("Changes the limits (thresholds) of semi-continuous, semi-integer and partially integer columns.",
         "chgcoltype, getglobal");

WRAP_ARGS(chgmcoef, in("mrow", CONV_ROW, 0, "the rows", kRequired), in("mcol", CONV_COL, 0, "the columns", kRequired),
          in("dval", CONV_DOUBLE, 0, "the new coefficients (0 removes one)", kRequired));
constexpr Row chgmcoef = WRAP_ROW(chgmcoef, KRVUchgmcoef, P, N<0>, A<0>, A<1>, A<2>)
    .missing("Must provide arguments mrow, mcol, dval").flags(kKeepRowBodies)
    .doc("Changes coefficients of the matrix.", "chgcoef, getcoef");

WRAP_ARGS(chgmqobj, in("mqcol1", CONV_COL, 0, "the first columns", kRequired),
          in("mqcol2", CONV_COL, 0, "the second columns", kRequired),
          in("dval", CONV_DOUBLE, 0, "the new entries of Q (0 removes one)", kRequired));
constexpr Row chgmqobj = WRAP_ROW(chgmqobj, KRVUchgmqobj64, P, N64<0>, A<0>, A<1>, A<2>)
    .missing("Must provide arguments mqcol1, mqcol2, dval")
    .doc("Changes entries of the quadratic objective matrix Q (objective c'x + 0.5 x'Qx; a pair sets both "
         "Q[i][j] and Q[j][i]).", "chgqobj, getmqobj");

WRAP_ARGS(setindicators, in("mrows", CONV_ROW, 0, "the rows", kRequired),
          in("inds", CONV_COL, 0, "their indicator columns (binary)", kRequired),
          in("comps", CONV_INT, 0, "1: the row holds when the column is 1; -1: when it is 0; 0: no indicator",
             kRequired));
constexpr Row setindicators = WRAP_ROW(setindicators, KRVUsetindicators, P, N<0>, A<0>, A<1>, A<2>)
    .missing("Must provide arguments mrows, inds, comps")
    .doc("Makes rows indicator constraints.", "getindicators, delindicators, addIndicator");

WRAP_ARGS(delgencons, in("mindex", CONV_ROW, 0, "the general constraints (indices)", kRequired));
constexpr Row delgencons = WRAP_ROW(delgencons, KRVUdelgencons, P, N<0>, A<0>)
    .missing("Must provide argument mindex")
    .doc("Deletes general constraints.", "addgencons, getgencons");

WRAP_ARGS(delpwlcons, in("mindex", CONV_ROW, 0, "the piecewise-linear constraints (indices)", kRequired));
constexpr Row delpwlcons = WRAP_ROW(delpwlcons, KRVUdelpwlcons, P, N<0>, A<0>)
    .missing("Must provide argument mindex")
    .doc("Deletes piecewise-linear constraints.", "addpwlcons, getpwlcons");

WRAP_ARGS(addqmatrix, index("irow", CONV_ROW, "the row"), in("mqc1", CONV_COL, 0, "the first columns", kRequired),
          in("mqc2", CONV_COL, 0, "the second columns", kRequired),
          in("dqe", CONV_DOUBLE, 0, "the entries of the row's Q (a row reads a'x + x'Qx)", kRequired));
constexpr Row addqmatrix = WRAP_ROW(addqmatrix, KRVUaddqmatrix64, P, V<0>, N64<0>, A<1>, A<2>, A<3>)
    .missing("Must provide arguments mqc1, mqc2, dqe")
    .doc("Adds quadratic terms to a row.", "delqmatrix, getqrowqmatrix");

WRAP_ARGS(addgencons, in("type", CONV_INT, 0, "the type of each constraint: 0 max, 1 min, 2 and, 3 or, 4 abs"),
          in("resultant", CONV_COL, 0, "the resultant column of each constraint"),
          in("colstart", CONV_INT64, 0, "where each constraint's columns start in col"),
          in("col", CONV_COL, 1, "the argument columns"),
          in("valstart", CONV_INT64, 0, "where each constraint's values start in val", kOptional),
          in("val", CONV_DOUBLE, 2, "the constant arguments", kOptional));
constexpr Row addgencons =
    WRAP_ROW(addgencons, KRVUaddgencons64, P, N<0>, N64<1>, N64<2>, A<0>, A<1>, A<2>, A<3>, A<4>, A<5>)
        .doc("Adds general constraints resultant = max, min, and, or of columns and values, or abs of a "
             "column.", "getgencons, delgencons")
        .example("p.addgencons([0], [z], [0], [x, y])   # z = max(x, y)");

WRAP_ARGS(addpwlcons, in("col", CONV_COL, 0, "the argument column of each constraint"),
          in("resultant", CONV_COL, 0, "the resultant column of each constraint"),
          in("start", CONV_INT64, 0, "where each constraint's points start"),
          in("xval", CONV_DOUBLE, 1, "the x values of the points, increasing"),
          in("yval", CONV_DOUBLE, 1, "the y values of the points"));
constexpr Row addpwlcons = WRAP_ROW(addpwlcons, KRVUaddpwlcons64, P, N<0>, N64<1>, A<0>, A<1>, A<2>, A<3>, A<4>)
    .doc("Adds piecewise-linear constraints resultant = f(col), f through the points given.",
         "getpwlcons, delpwlcons")
    .example("p.addpwlcons([x], [y], [0], [0.0, 1.0, 2.0], [0.0, 1.0, 4.0])");

// ---- single changes

WRAP_ARGS(chgcoef, index("irow", CONV_ROW, "the row"), index("icol", CONV_COL, "the column"),
          value("dval", kDouble, "the new coefficient"));
constexpr Row chgcoef = WRAP_ROW(chgcoef, KRVUchgcoef, P, V<0>, V<1>, V<2>).flags(kKeepRowBodies)
    .doc("Changes one coefficient of the matrix.", "chgmcoef, getcoef");

WRAP_ARGS(chgqobj, index("icol", CONV_COL, "the first column"), index("jcol", CONV_COL, "the second column"),
          value("dval", kDouble, "the new entry of Q"));
constexpr Row chgqobj = WRAP_ROW(chgqobj, KRVUchgqobj, P, V<0>, V<1>, V<2>)
    .doc("Changes one entry (and its mirror) of the quadratic objective matrix Q.", "chgmqobj, getqobj");

WRAP_ARGS(chgqrowcoeff, index("irow", CONV_ROW, "the row"), index("icol", CONV_COL, "the first column"),
          index("jcol", CONV_COL, "the second column"), value("dval", kDouble, "the new entry"));
constexpr Row chgqrowcoeff = WRAP_ROW(chgqrowcoeff, KRVUchgqrowcoeff, P, V<0>, V<1>, V<2>, V<3>)
    .doc("Changes one entry of the quadratic matrix of a row.", "addqmatrix, getqrowcoeff");

WRAP_ARGS(delqmatrix, index("row", CONV_ROW, "the row, or -1 for every row"));
constexpr Row delqmatrix = WRAP_ROW(delqmatrix, KRVUdelqmatrix, P, V<0>)
    .doc("Removes the quadratic part of a row (-1: of every row).", "addqmatrix");

WRAP_ARGS(chgobjsense, value("sense", kInt, "1 (korvu.minimize) to minimize; any other value maximizes"));
constexpr Row chgobjsense = WRAP_CUSTOM(chgobjsense, custom::chgobjsense)
    .doc("Sets the sense of the objective.", "setObjective, chgobj");

WRAP_ARGS(chgvar, index("colindex", CONV_COL, "the column", kOptional),
          index("detrow", CONV_ROW, "the row that determines the column (-1: none)", kOptional),
          value("initstepbound", kDouble, "the step bound at the start of a solve (0: the default)", kOptional),
          value("stepbound", kDouble, "the current step bound", kOptional),
          value("penalty", kDouble, "the weight of a proximal term on the column's step", kOptional),
          value("damp", kDouble, "the step-bound factor after a change of step sign", kOptional),
          value("initvalue", kDouble, "the start value of every solve (NaN: none)", kOptional),
          value("value", kDouble, "the current value, the start of the next solve without initvalue",
                kOptional),
          value("tolset", kInt, "the tolerance set (0: the problem's tolerances)", kOptional),
          value("history", kInt, "the count of step sign changes", kOptional),
          value("converged", kInt, "1 when the column's step has converged", kOptional),
          value("vartype", kInt, "bits: 1 held at its start value, 2 no step bound", kOptional));
constexpr Row chgvar = WRAP_CUSTOM(chgvar, custom::chgvar)
    .calls("KSLPchgvar")
    .example("p.chgvar(x, initvalue=1.5)")
    .doc("Changes the nonlinear solver's properties of a column; those left out or None stay as they are.",
         "getvar, solve");


WRAP_ARGS(delvars, in("index", CONV_COL, 0, "the columns", kRequired));
constexpr Row delvars = WRAP_ROW(delvars, KSLPdelvars, SLP, N<0>, A<0>)
    .missing("Incorrect arguments to delvars")
    .doc("Forgets the nonlinear solver's properties of columns (they return to the defaults).", "chgvar, getvar");


WRAP_ARGS(delcoefs, in("rowindex", CONV_ROW, 0, "the rows of the coefficients", kRequired),
          in("colindex", CONV_COL, 0, "their columns", kRequired));
constexpr Row delcoefs = WRAP_ROW(delcoefs, KSLPdelcoefs, SLP, N<0>, A<0>, A<1>)
    .missing("Incorrect arguments to delcoefs")
    .doc("Deletes formula coefficients; a pair without one fails and nothing is deleted.", "getccoef, chgccoef");

WRAP_ARGS(chgccoef, index("rowindex", CONV_ROW, "the row"),
          index("colindex", CONV_COL, "the column the formula multiplies (-1: none)"),
          value("factor", kObject, "a number, or None to keep the factor (1 for a new coefficient)"),
          value("formula", kText, "the formula in text form, e.g. \"exp(x) * y ^ 2\""));
constexpr Row chgccoef = WRAP_CUSTOM(chgccoef, custom::chgccoef)
    .calls("KSLPchgccoef")
    .example("p.chgccoef(row, -1, 2.0, 'exp(x)')")
    .doc("Sets a formula coefficient from the text form of its formula.", "getccoef, delcoefs");

// ---- loading

WRAP_ARGS(loadlpsol, in_attr("x", CONV_DOUBLE, 0, OCOLS, "primal values", kOptional),
          in_attr("slack", CONV_DOUBLE, 1, OROWS, "slacks", kOptional),
          in_attr("dual", CONV_DOUBLE, 2, OROWS, "dual values", kOptional),
          in_attr("dj", CONV_DOUBLE, 3, OCOLS, "reduced costs", kOptional));
constexpr Row loadlpsol = WRAP_ROW(loadlpsol, KRVUloadlpsol, P, A<0>, A<1>, A<2>, A<3>, RI<0>).returns(kIntRes)
    .doc("Loads an LP solution, which becomes the problem's solution; returns the library's status.",
         "getlpsol, loadmipsol");

WRAP_ARGS(loadmipsol, in_attr("dsol", CONV_DOUBLE, 0, OCOLS, "a value for every column", kRequired));
constexpr Row loadmipsol = WRAP_ROW(loadmipsol, KRVUloadmipsol, P, A<0>, RI<0>).returns(kIntRes)
    .missing("Must provide argument dsol")
    .doc("Loads a full integer solution that starts the next MIP solve; returns the library's status.",
         "addmipsol, getmipsol");

WRAP_ARGS(addmipsol, in("mipsolval", CONV_DOUBLE, 0, "the values", kRequired),
          in("mipsolcol", CONV_COL, 0, "the columns of the values (all columns when left out)", kOptional),
          value("solname", kText, "a name for the solution in the log", kOptional | kNoneIsUnset));
constexpr Row addmipsol = WRAP_CUSTOM(addmipsol, custom::addmipsol)
    .missing("Must provide argument mipsolval")
    .doc("Gives a full or partial integer solution that starts the next MIP solve.", "loadmipsol");

WRAP_ARGS(loadbasis, in_attr("rstatus", CONV_ROW, 0, OROWS, "the status of every row", kRequired),
          in_attr("cstatus", CONV_COL, 1, OCOLS, "the status of every column", kRequired));
constexpr Row loadbasis = WRAP_ROW(loadbasis, KRVUloadbasis, P, A<0>, A<1>)
    .missing("Must provide argument rstatus, cstatus")
    .doc("Loads a basis that starts the next LP solve: 0 at lower bound, 1 basic, 2 at upper bound, 3 free.",
         "getbasis, readbasis");

WRAP_ARGS(loadpresolvebasis, in_attr("rstatus", CONV_ROW, 0, ROWS, "the status of every row", kRequired),
          in_attr("cstatus", CONV_COL, 1, COLS, "the status of every column", kRequired));
constexpr Row loadpresolvebasis = WRAP_ROW(loadpresolvebasis, KRVUloadpresolvebasis, P, A<0>, A<1>)
    .missing("Must provide argument rstatus, cstatus")
    .doc("Loads a basis of the problem as the library holds it.", "loadbasis, getpresolvebasis");

// ---- names and settings

WRAP_ARGS(addsetnames, value("names", kObject, "a list of names"), value("start", kInt, "the first set (default 0)",
                                                                          kOptional),
          value("end", kInt, "the last set (default the last one)", kOptional));
constexpr Row addsetnames = WRAP_CUSTOM(addsetnames, custom::addsetnames)
    .doc("Names the special ordered sets start..end.", "getnamelist");

WRAP_ARGS(delindicators, value("start", kInt, "the first row (default 0)", kOptional),
          value("end", kInt, "the last row (default the last one)", kOptional));
constexpr Row delindicators = WRAP_CUSTOM(delindicators, custom::delindicators)
    .doc("Makes the rows start..end plain rows again (no indicators).", "setindicators, getindicators");

WRAP_ARGS(setprobname, value("probname", kText, "the new name"));
constexpr Row setprobname = WRAP_ROW(setprobname, KRVUsetprobname, P, V<0>)
    .doc("Renames the problem.", "name");

constexpr Row setdefaults = Row::make("setdefaults", WRAP_CALL(kNo, KRVUsetdefaults, P)).calls("KRVUsetdefaults")
    .doc("Sets every control of the problem back to its default.", "setdefaultcontrol, setControl");

WRAP_ARGS(setdefaultcontrol, value("ipar", kObject, "a control name"));
constexpr Row setdefaultcontrol = WRAP_CUSTOM(setdefaultcontrol, custom::setdefaultcontrol)
    .doc("Sets one control of the problem back to its default.", "setdefaults, setControl");

WRAP_ARGS(copycontrols, value("src", kObject, "the problem to copy from"));
constexpr Row copycontrols = WRAP_CUSTOM(copycontrols, custom::copycontrols)
    .doc("Copies every control of another problem to this one.", "setControl, copy");

WRAP_ARGS(fixglobals, value("options", kInt, "1: round integer kinds to the nearest integer first"));
constexpr Row fixglobals = WRAP_ROW(fixglobals, KRVUfixglobals, P, V<0>)
    .doc("Fixes every non-continuous column at its value in the best integer solution.", "getmipsol");

WRAP_ARGS(scale, in_attr("mrscal", CONV_INT, 0, OROWS, "exponents of two for the rows", kOptional),
          in_attr("mcscal", CONV_INT, 1, OCOLS, "exponents of two for the columns", kOptional));
constexpr Row scale = WRAP_ROW(scale, KRVUscale, P, A<0>, A<1>)
    .doc("Scales the problem as the LP solver sees it (both None: the library's own scaling).",
         "basisstability", "Solutions and every query stay in the problem's own units.");

WRAP_ARGS(setlogfile, value("filename", kText, "the file that receives the log ('' stops)"));
constexpr Row setlogfile = WRAP_ROW(setlogfile, KRVUsetlogfile, P, V<0>)
    .doc("Appends every log line of the problem to a file.", "setmessagestatus");

WRAP_ARGS(setmessagestatus, value("errcode", kInt, "a message number"),
          value("status", kInt, "0 suppresses the messages of that number, anything else shows them"));
constexpr Row setmessagestatus = WRAP_ROW(setmessagestatus, KRVUsetmessagestatus, P, V<0>, V<1>)
    .doc("Suppresses or shows the messages of one number.", "getmessagestatus, setlogfile");

#define ROWS(X)                                                                                      \
  X(chgobj) X(chgrhs) X(chgrhsrange) X(chgrowtype) X(chgcoltype) X(chgbounds) X(chgglblimit)         \
  X(chgmcoef) X(chgmqobj) X(setindicators) X(delgencons) X(delpwlcons) X(addqmatrix) X(addgencons)   \
  X(addpwlcons) X(chgcoef) X(chgqobj) X(chgqrowcoeff) X(delqmatrix) X(chgobjsense) X(loadlpsol)      \
  X(loadmipsol) X(addmipsol) X(loadbasis) X(loadpresolvebasis) X(addsetnames) X(delindicators)       \
  X(setprobname) X(setdefaults) X(setdefaultcontrol) X(copycontrols) X(fixglobals) X(scale)         \
  X(setlogfile) X(setmessagestatus) X(chgvar) X(delvars) X(delcoefs) X(chgccoef)
WRAP_FAMILY(ROWS)

}  // namespace
}  // namespace wrap
}  // namespace korvu

PyMethodDef *problem_change_methods(void) { return korvu::wrap::family_methods(); }
