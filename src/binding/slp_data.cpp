// The members of korvu.problem over the nonlinear solver's model data:
// column properties by the array, step-bound types and cascading, distribution
// factors, tolerance sets, formula coefficients in token form, row statuses
// and weights, and what the last solve left for each row and column.
#include "binding/custom/slp_data.h"
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace {

// ---- columns

#define VARS_ARGS                                                                                     \
  in("colindex", CONV_COL, 0, "the columns", kRequired),                                              \
      in("vartype", CONV_INT, 0, "bits: 1 held at its start value, 2 no step bound (None: unchanged)"), \
      in("detrow", CONV_ROW, 0, "the row that determines each column, -1 for none"),                  \
      in("seqnum", CONV_INT, 0, "the place asked for in the cascade order (0: none)"),                \
      in("tolindex", CONV_INT, 0, "the tolerance set of each column (0: the problem's tolerances)"),   \
      in("initvalue", CONV_DOUBLE, 0, "the start value of every solve (NaN: none)"),                  \
      in("stepbound", CONV_DOUBLE, 0, "the step bound at the start of a solve (0: the default)")
WRAP_ARGS(addvars, VARS_ARGS);
WRAP_ARGS(loadvars, VARS_ARGS);
#undef VARS_ARGS
constexpr Row addvars =
    WRAP_ROW(addvars, KSLPaddvars, SLP, N<0>, A<0>, A<1>, A<2>, A<3>, A<4>, A<5>, A<6>)
        .missing("Wrong arguments in addvars")
        .example("p.addvars([x, y], [0, 0], [c, -1], [1, 0], [0, 0], [1.0, 2.0], [0.5, 0.0])")
        .doc("Sets the nonlinear solver's properties of columns; arrays given as None leave that property "
             "as it is.",
             "loadvars, chgvar, getvar", "A refused entry changes nothing.");
constexpr Row loadvars =
    WRAP_ROW(loadvars, KSLPloadvars, SLP, N<0>, A<0>, A<1>, A<2>, A<3>, A<4>, A<5>, A<6>)
        .missing("Wrong arguments in loadvars")
        .example("p.loadvars([x], [0], [c], [0], [0], [1.0], [0.0])")
        .doc("As addvars, after forgetting the nonlinear solver's properties of every column.",
             "addvars, chgvar, delvars");

WRAP_ARGS(chgdeltatype, in("vars", CONV_COL, 0, "the columns", kRequired),
          in("deltatypes", CONV_INT, 0,
             "how each step bound is measured: 0 the default, 1 absolute, 2 relative to the start value, "
             "3 no step bound",
             kRequired),
          in("values", CONV_DOUBLE, 0, "the sizes types 1 and 2 read"));
constexpr Row chgdeltatype = WRAP_ROW(chgdeltatype, KSLPchgdeltatype, SLP, N<0>, A<0>, A<1>, A<2>)
    .missing("Wrong arguments in chgdeltatypes")
    .example("p.chgdeltatype([x, y], [1, 2], [0.5, 0.1])")
    .doc("Chooses how the step bounds of columns are measured in each solve.", "chgvar, getcolinfo");

WRAP_ARGS(chgcascadenlimit, index("icol", CONV_COL, "the column"),
          value("cascadenlimit", kInt, "the most Newton steps of its cascade (0: the default, 50)"));
constexpr Row chgcascadenlimit = WRAP_CUSTOM(chgcascadenlimit, custom::chgcascadenlimit)
    .calls("KSLPchgcascadenlimit")
    .doc("Limits the Newton steps that cascading takes on a determined column; a column that reaches its "
         "limit keeps the last step's value.",
         "cascade, cascadeorder, chgvar");

constexpr Row cascadeorder = Row::make("cascadeorder", &invoke<kNo_args, &KSLPcascadeorder, SLP>)
    .calls("KSLPcascadeorder")
    .doc("Finds the order in which determined columns are cascaded: after the determined columns their "
         "rows read, then by sequence number (addvars seqnum), then by index.",
         "cascade, addvars, chgcascadenlimit",
         "Solves cascade in this order before every linearisation.");

// ---- distribution factors

#define DFS_ARGS                                                                  \
  in("colindex", CONV_COL, 0, "the columns", kRequired),                          \
      in("rowindex", CONV_ROW, 0, "the rows", kRequired),                         \
      in("value", CONV_DOUBLE, 0, "the factors", kRequired)
WRAP_ARGS(adddfs, DFS_ARGS);
WRAP_ARGS(loaddfs, DFS_ARGS);
#undef DFS_ARGS
constexpr Row adddfs = WRAP_ROW(adddfs, KSLPadddfs, SLP, N<0>, A<0>, A<1>, A<2>)
    .missing("Wrong arguments in adddfs")
    .doc("Sets distribution factors: the coefficient of a column in a row in the first linearisation of a "
         "solve, where the row's derivative in that column is zero at the start.",
         "loaddfs, chgdf, getdf", "The column must appear in the row when the problem is solved.");
constexpr Row loaddfs = WRAP_ROW(loaddfs, KSLPloaddfs, SLP, N<0>, A<0>, A<1>, A<2>)
    .missing("Wrong arguments in loaddfs")
    .doc("As adddfs, after forgetting every distribution factor.", "adddfs, getdf");

WRAP_ARGS(chgdf, index("colindex", CONV_COL, "the column"), index("rowindex", CONV_ROW, "the row"),
          value("value", kObject, "the factor, or None to remove it"));
constexpr Row chgdf = WRAP_CUSTOM(chgdf, custom::chgdf)
    .returns(kDblRes)
    .calls("KSLPchgdf")
    .example("p.chgdf(x, c, 0.5)")
    .doc("Sets or removes one distribution factor; returns the factor then in force (0.0 for none).",
         "adddfs, getdf");

WRAP_ARGS(getdf, index("colindex", CONV_COL, "the column"), index("rowindex", CONV_ROW, "the row"));
constexpr Row getdf = WRAP_ROW(getdf, KSLPgetdf, SLP, V<0>, V<1>, RD<0>)
    .returns(kDblRes)
    .doc("Returns the distribution factor of a column in a row (0.0 for none).", "adddfs, chgdf");

// ---- tolerance sets

WRAP_ARGS(addtolsets, in("tol", CONV_DOUBLE, 0, "nine tolerances for each set, one set after another", kRequired));
constexpr Row addtolsets = WRAP_CUSTOM(addtolsets, custom::addtolsets)
    .calls("KSLPaddtolsets")
    .example("p.addtolsets([1e-6, 0, 0, 0, 0, 0, 0, 0, 0])")
    .doc("Adds tolerance sets, numbered 1, 2, ... in the order added; each tests the tolerances it gives "
         "(the nonzero ones).",
         "chgtolset, gettolset, deltolsets, chgvar",
         "Tolerances: 0 absolute and 1 relative step, 2 absolute and 3 relative change of the objective "
         "gradient, 4 absolute and 5 relative change of the column's row coefficients, 6 absolute and 7 "
         "relative reduced cost, 8 step against the step bound. A column naming a set (chgvar tolset) has "
         "converged when the set's tests pass; once every column has, a feasible solve stops.");
WRAP_ARGS(loadtolsets, in("tol", CONV_DOUBLE, 0, "nine tolerances for each set, one set after another", kRequired));
constexpr Row loadtolsets = WRAP_CUSTOM(loadtolsets, custom::loadtolsets)
    .calls("KSLPloadtolsets")
    .example("p.loadtolsets([1e-6, 0, 0, 0, 0, 0, 0, 0, 0])")
    .doc("As addtolsets, after deleting every tolerance set (columns naming a set gone use the problem's "
         "tolerances).",
         "addtolsets, gettolset");

WRAP_ARGS(deltolsets, in("index", CONV_INT, 0, "the numbers of the sets", kRequired));
constexpr Row deltolsets = WRAP_ROW(deltolsets, KSLPdeltolsets, SLP, N<0>, A<0>)
    .missing("Incorrect arguments to deltolsets")
    .doc("Deletes tolerance sets; later sets are renumbered and columns naming a deleted set use the "
         "problem's tolerances.",
         "addtolsets, chgvar");

WRAP_ARGS(chgtolset, value("ntol", kInt, "the set's number"),
          value("status", kObject, "the bits of the tolerances tested, or None to keep them"),
          in("tols", CONV_DOUBLE, 0, "the nine tolerances"));
constexpr Row chgtolset = WRAP_CUSTOM(chgtolset, custom::chgtolset)
    .calls("KSLPchgtolset")
    .example("p.chgtolset(1, 1, [1e-5, 0, 0, 0, 0, 0, 0, 0, 0])")
    .doc("Changes the tolerances and the tested bits of a tolerance set.", "gettolset, addtolsets");

WRAP_ARGS(gettolset, value("nslptol", kInt, "the set's number"),
          out("tols", CONV_DOUBLE, kSizeFree, 0, "the nine tolerances"));
constexpr Row gettolset = WRAP_CUSTOM(gettolset, custom::gettolset)
    .returns(kIntRes)
    .calls("KSLPgettolset")
    .example("tols = []; status = p.gettolset(1, tols)")
    .doc("Fills tols with the nine tolerances of a set and returns the bits of those tested.",
         "chgtolset, addtolsets");

// ---- formula coefficients in token form

#define COEFS_ARGS                                                                                    \
  in("rowindex", CONV_ROW, 0, "the rows of the coefficients", kRequired),                             \
      in("colindex", CONV_COL, 0, "the column each formula multiplies (-1: none)", kRequired),        \
      in("factor", CONV_DOUBLE, 0, "their factors (None: all 1)"),                                    \
      in("fstart", CONV_INT, 1, "the start of each formula in type and value, and one past the last", \
         kRequired),                                                                                  \
      value("parsed", kInt, "1: the tokens are in reverse Polish form"),                              \
      in("type", CONV_INT, 2, "the token types", kRequired),                                          \
      in("value", CONV_DOUBLE, 2, "the token values", kRequired)
WRAP_ARGS(addcoefs, COEFS_ARGS);
WRAP_ARGS(loadcoefs, COEFS_ARGS);
#undef COEFS_ARGS
constexpr Row addcoefs = WRAP_CUSTOM(addcoefs, custom::addcoefs)
    .calls("KSLPaddcoefs")
    .example("p.addcoefs([c], [-1], [2.0], [0, 4], 1, [22, 10, 12, 0], [0, 1, 16, 0])")
    .doc("Adds formula coefficients given as tokens; one at a (row, column) pair that has one replaces it.",
         "loadcoefs, chgnlcoef, getcoefformula, delcoefs",
         "fstart has one entry more than rowindex: formula k is tokens fstart[k] to fstart[k+1].");
constexpr Row loadcoefs = WRAP_CUSTOM(loadcoefs, custom::loadcoefs)
    .calls("KSLPloadcoefs")
    .example("p.loadcoefs([c], [-1], [2.0], [0, 4], 1, [22, 10, 12, 0], [0, 1, 16, 0])")
    .doc("As addcoefs, after deleting every formula coefficient.", "addcoefs, getcoefs");

WRAP_ARGS(chgnlcoef, index("rowindex", CONV_ROW, "the row"),
          index("colindex", CONV_COL, "the column the formula multiplies (-1: none)"),
          value("factor", kObject, "a number, or None to keep the factor (1 for a new coefficient)"),
          value("parsed", kInt, "1: the tokens are in reverse Polish form"),
          in("type", CONV_INT, 0, "the token types (None: remove the coefficient)"),
          in("value", CONV_DOUBLE, 0, "the token values"));
constexpr Row chgnlcoef = WRAP_CUSTOM(chgnlcoef, custom::chgnlcoef)
    .calls("KSLPchgcoef")
    .example("p.chgnlcoef(c, -1, None, 1, [10, 12, 0], [1, 16, 0])")
    .doc("Sets the formula coefficient at a row and column from tokens, or removes it (type None).",
         "addcoefs, getcoefformula");

WRAP_ARGS(getcoefformula, index("rowindex", CONV_ROW, "the row"),
          index("colindex", CONV_COL, "the column the formula multiplies (-1: none)"),
          value("parsed", kInt, "1: tokens in reverse Polish form"),
          value("bufsize", kInt, "the most tokens to return, 1 to 10000"));
constexpr Row getcoefformula = WRAP_CUSTOM(getcoefformula, custom::getcoefformula)
    .returns(kTuple, "diOO")
    .calls("KSLPgetcoefformula")
    .example("factor, n, types, values = p.getcoefformula(c, -1, 1, 100)")
    .doc("Returns (factor, token count, token types, token values) of a formula coefficient.",
         "chgnlcoef, getccoef");

WRAP_ARGS(getcoefs, out("rowindex", CONV_INT, kSizeFree, 0, "the row of each coefficient", kOptional),
          out("colindex", CONV_INT, kSizeFree, 0, "the column each multiplies (-1: none)", kOptional));
constexpr Row getcoefs = WRAP_CUSTOM(getcoefs, custom::getcoefs)
    .calls("KSLPgetcoefs")
    .example("rows, cols = [], []; p.getcoefs(rows, cols)")
    .doc("Fills the lists given with the row and column indices of every formula coefficient, in the order "
         "added.",
         "getcoefformula, addcoefs");

// ---- rows

WRAP_ARGS(chgrowstatus, index("rowindex", CONV_ROW, "the row"),
          value("status", kObject, "the status bits, or None for none"));
constexpr Row chgrowstatus = WRAP_CUSTOM(chgrowstatus, custom::chgrowstatus)
    .calls("KSLPchgrowstatus")
    .example("p.chgrowstatus(c, 0)")
    .doc("Sets the nonlinear solver's status bits of a row (None: back to none).", "getrowstatus");

WRAP_ARGS(chgrowwt, index("rowindex", CONV_ROW, "the row"),
          value("value", kObject, "a positive weight, or None for the default 1"));
constexpr Row chgrowwt = WRAP_CUSTOM(chgrowwt, custom::chgrowwt)
    .calls("KSLPchgrowwt")
    .example("p.chgrowwt(c, 10.0)")
    .doc("Sets the weight of a row: the penalty on its errors is the penalty control times its weight.",
         "getrowwt, getrowinfo");

WRAP_ARGS(getrowwt, index("rowindex", CONV_ROW, "the row"));
constexpr Row getrowwt = WRAP_CUSTOM(getrowwt, custom::getrowwt)
    .returns(kDblRes)
    .calls("KSLPgetrowwt")
    .doc("Returns the weight of a row's penalty (1.0 by default).", "chgrowwt");

// ---- what the last solve left

WRAP_ARGS(getrowinfo, value("infotype", kInt, "what to read: one of the korvu.rowinfo_* constants"),
          index("rowindex", CONV_ROW, "the row"));
constexpr Row getrowinfo = WRAP_CUSTOM(getrowinfo, custom::getrowinfo)
    .returns(kDblRes)
    .calls("KSLPgetrowinfo")
    .example("err = p.getrowinfo(korvu.rowinfo_currentpenaltyerror, c)")
    .doc("Returns what the last nonlinear solve left for a row: slack, dual, and its penalty errors, factor "
         "and error columns.",
         "getcolinfo, chgrowwt, getslpsol",
         "Integer information (counts, indices) comes back as an int.");

WRAP_ARGS(getcolinfo, value("infotype", kInt, "what to read: one of the korvu.colinfo_* constants"),
          index("colindex", CONV_COL, "the column"));
constexpr Row getcolinfo = WRAP_CUSTOM(getcolinfo, custom::getcolinfo)
    .returns(kDblRes)
    .calls("KSLPgetcolinfo")
    .example("step = p.getcolinfo(korvu.colinfo_delta, x)")
    .doc("Returns what the last nonlinear solve left for a column: value, reduced cost, its step, the "
         "step's subproblem column and reduced cost, the row whose coefficient changed most, its step bound "
         "and that bound's price.",
         "getrowinfo, chgdeltatype, getvar",
         "Integer information (counts, indices) comes back as an int.");

#define ROWS(X)                                                                                    \
  X(addvars) X(loadvars) X(chgdeltatype) X(chgcascadenlimit) X(cascadeorder) X(adddfs) X(loaddfs)  \
  X(chgdf) X(getdf) X(addtolsets) X(loadtolsets) X(deltolsets) X(chgtolset) X(gettolset)           \
  X(addcoefs) X(loadcoefs) X(chgnlcoef) X(getcoefformula) X(getcoefs) X(chgrowstatus) X(chgrowwt) \
  X(getrowwt) X(getrowinfo) X(getcolinfo)
WRAP_FAMILY(ROWS)

}  // namespace
}  // namespace wrap
}  // namespace korvu

PyMethodDef *problem_slpdata_methods(void) { return korvu::wrap::family_methods(); }
