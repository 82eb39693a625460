// The query members of korvu.problem: solutions, bases, rays and the
// evaluation of given vectors; the matrix, bounds, types, names and other
// information of the model.  Irregular members are in custom/queries.cpp.
#include "binding/custom/custom.h"
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace {

constexpr int ROWS = KRVU_ATTR_ROWS, COLS = KRVU_ATTR_COLS, OROWS = KRVU_ATTR_ORIGINALROWS,
              OCOLS = KRVU_ATTR_ORIGINALCOLS;

// ---- solutions

WRAP_ARGS(getlpsol, out("x", CONV_DOUBLE, kSizeAttr, OCOLS, "primal values", kOptional),
          out("slack", CONV_DOUBLE, kSizeAttr, OROWS, "slacks (right-hand side minus activity)", kOptional),
          out("dual", CONV_DOUBLE, kSizeAttr, OROWS, "dual values of the rows", kOptional),
          out("dj", CONV_DOUBLE, kSizeAttr, OCOLS, "reduced costs", kOptional));
constexpr Row getlpsol = WRAP_ROW(getlpsol, KRVUgetlpsol, P, A<0>, A<1>, A<2>, A<3>)
    .doc("Reads the solution of the last LP solve into the lists given.", "getmipsol, getlpsolval, getSolution");

WRAP_ARGS(getpresolvesol, out("x", CONV_DOUBLE, kSizeAttr, COLS, "primal values", kOptional),
          out("slack", CONV_DOUBLE, kSizeAttr, ROWS, "slacks", kOptional),
          out("dual", CONV_DOUBLE, kSizeAttr, ROWS, "dual values", kOptional),
          out("dj", CONV_DOUBLE, kSizeAttr, COLS, "reduced costs", kOptional));
constexpr Row getpresolvesol = WRAP_ROW(getpresolvesol, KRVUgetpresolvesol, P, A<0>, A<1>, A<2>, A<3>)
    .doc("Reads the LP solution of the problem as the library holds it (presolved while presolved).",
         "getlpsol",
         "The library keeps problems in their original form, so this is the solution of getlpsol.");

WRAP_ARGS(getlastbarsol, out("x", CONV_DOUBLE, kSizeAttr, OCOLS, "primal values", kOptional),
          out("slack", CONV_DOUBLE, kSizeAttr, OROWS, "slacks", kOptional),
          out("dual", CONV_DOUBLE, kSizeAttr, OROWS, "dual values", kOptional),
          out("dj", CONV_DOUBLE, kSizeAttr, OCOLS, "reduced costs", kOptional));
constexpr Row getlastbarsol = WRAP_ROW(getlastbarsol, KRVUgetlastbarsol, P, A<0>, A<1>, A<2>, A<3>, RI<0>)
    .returns(kIntRes)
    .doc("Reads the last solution of the LP solver and returns the LP status it had.", "getlpsol");

WRAP_ARGS(getmipsol, out("x", CONV_DOUBLE, kSizeAttr, OCOLS, "values of the best integer solution", kOptional),
          out("slack", CONV_DOUBLE, kSizeAttr, OROWS, "its slacks", kOptional));
constexpr Row getmipsol = WRAP_ROW(getmipsol, KRVUgetmipsol, P, A<0>, A<1>)
    .doc("Reads the best integer solution found.", "getlpsol, getmipsolval, addmipsol");

WRAP_ARGS(getbasis, out("rstatus", CONV_INT, kSizeAttr, OROWS, "basis status of each row"),
          out("cstatus", CONV_INT, kSizeAttr, OCOLS, "basis status of each column"));
constexpr Row getbasis = WRAP_ROW(getbasis, KRVUgetbasis, P, A<0>, A<1>)
    .doc("Reads the basis of the last LP solve: 0 at lower bound, 1 basic, 2 at upper bound, 3 free.",
         "loadbasis, getbasisval, writebasis");

WRAP_ARGS(getpresolvebasis, out("rstatus", CONV_INT, kSizeAttr, ROWS, "basis status of each row"),
          out("cstatus", CONV_INT, kSizeAttr, COLS, "basis status of each column"));
constexpr Row getpresolvebasis = WRAP_ROW(getpresolvebasis, KRVUgetpresolvebasis, P, A<0>, A<1>)
    .doc("Reads the basis of the problem as the library holds it.", "getbasis, loadpresolvebasis");

WRAP_ARGS(getbasisval, index("row", CONV_ROW, "a row (None: row 0)", kZeroIfNone),
          index("column", CONV_COL, "a column (None: column 0)", kZeroIfNone));
constexpr Row getbasisval = WRAP_ROW(getbasisval, KRVUgetbasisval, P, V<0>, V<1>, RI<0>, RI<1>)
    .returns(kTuple, "ii")
    .doc("Returns the basis statuses (row status, column status) of one row and one column.", "getbasis");

// ---- evaluation of given vectors

WRAP_ARGS(calcslacks, in_attr("solution", CONV_DOUBLE, 0, OCOLS, "a value for every column", kRequired),
          out("calculatedslacks", CONV_DOUBLE, kSizeAttr, OROWS, "the slack of every row"));
constexpr Row calcslacks = WRAP_ROW(calcslacks, KRVUcalcslacks, P, A<0>, A<1>)
    .missing("Must provide arguments solution and calculatedslacks")
    .doc("Computes the slacks of the rows at a given solution.", "calcobjective, calcreducedcosts");

WRAP_ARGS(calcreducedcosts,
          in_attr("duals", CONV_DOUBLE, 0, OROWS, "a dual value for every row", kRequired),
          in_attr("solution", CONV_DOUBLE, 1, OCOLS, "a value for every column (needed with a quadratic objective)"),
          out("calculateddjs", CONV_DOUBLE, kSizeAttr, OCOLS, "the reduced cost of every column", kRequired));
constexpr Row calcreducedcosts = WRAP_ROW(calcreducedcosts, KRVUcalcreducedcosts, P, A<0>, A<1>, A<2>)
    .missing("Must provide arguments duals and calculateddjs")
    .doc("Computes reduced costs from given duals (and a solution for a quadratic objective).",
         "calcslacks, calcobjective");

WRAP_ARGS(calcobjective, in_attr("solution", CONV_DOUBLE, 0, OCOLS, "a value for every column", kRequired));
constexpr Row calcobjective = WRAP_ROW(calcobjective, KRVUcalcobjective, P, A<0>, RD<0>)
    .missing("Must provide argument solution").returns(kDblRes)
    .doc("Returns the objective value of a given solution.", "calcslacks, getObjVal");

WRAP_ARGS(calcsolinfo, in_attr("solution", CONV_DOUBLE, 0, OCOLS, "a value for every column", kRequired),
          in_attr("dual", CONV_DOUBLE, 1, OROWS, "a dual value for every row", kRequired),
          value("property", kInt, "what to compute: korvu.solinfo_absprimalinfeas, ... (0 to 4)"));
constexpr Row calcsolinfo = WRAP_ROW(calcsolinfo, KRVUcalcsolinfo, P, A<0>, A<1>, V<2>, RD<0>)
    .missing("Must provide arguments solution and dual").returns(kDblRes)
    .doc("Returns the largest violation of one kind (primal or dual, absolute or relative, or the largest "
         "fractionality) of a given solution and duals.",
         "calcslacks, calcreducedcosts");

// ---- the matrix and the model

WRAP_ARGS(getobj, out("obj", CONV_DOUBLE, kSizeRange, 0, "the objective coefficients", kRequired),
          first(CONV_COL, "the first column"), last(CONV_COL, "the last column"));
constexpr Row getobj = WRAP_ROW(getobj, KRVUgetobj, P, A<0>, First, Last)
    .missing("Must provide argument obj").range(CONV_COL, COLS, "Empty range of columns requested")
    .doc("Reads the objective coefficients of the columns first..last.", "chgobj, getmqobj");

WRAP_ARGS(getrhs, out("rhs", CONV_DOUBLE, kSizeRange, 0, "the right-hand sides", kRequired),
          first(CONV_ROW, "the first row"), last(CONV_ROW, "the last row"));
constexpr Row getrhs = WRAP_ROW(getrhs, KRVUgetrhs, P, A<0>, First, Last)
    .missing("Must provide argument: rhs or range").range(CONV_ROW, ROWS, "Empty range of rows requested")
    .doc("Reads the right-hand sides of the rows first..last.", "chgrhs, getrhsrange");

WRAP_ARGS(getrhsrange, out("range", CONV_DOUBLE, kSizeRange, 0, "the ranges", kRequired),
          first(CONV_ROW, "the first row"), last(CONV_ROW, "the last row"));
constexpr Row getrhsrange = WRAP_ROW(getrhsrange, KRVUgetrhsrange, P, A<0>, First, Last)
    .missing("Must provide argument: rhs or range").range(CONV_ROW, ROWS, "Empty range of rows requested")
    .doc("Reads the ranges of the rows first..last (0 for rows that are not range rows).",
         "chgrhsrange, getrhs");

WRAP_ARGS(getlb, out("lb", CONV_DOUBLE, kSizeRange, 0, "the lower bounds"),
          first(CONV_COL, "the first column (default 0)", kOptional),
          last(CONV_COL, "the last column (default the last one)", kOptional));
constexpr Row getlb = WRAP_ROW(getlb, KRVUgetlb, P, A<0>, First, Last)
    .range(CONV_COL, COLS, "").flags(kRangeDefaults | kEmptyRangeNone)
    .doc("Reads the lower bounds of the columns first..last.", "getub, chgbounds");

WRAP_ARGS(getub, out("ub", CONV_DOUBLE, kSizeRange, 0, "the upper bounds"),
          first(CONV_COL, "the first column (default 0)", kOptional),
          last(CONV_COL, "the last column (default the last one)", kOptional));
constexpr Row getub = WRAP_ROW(getub, KRVUgetub, P, A<0>, First, Last)
    .range(CONV_COL, COLS, "").flags(kRangeDefaults | kEmptyRangeNone)
    .doc("Reads the upper bounds of the columns first..last.", "getlb, chgbounds");

WRAP_ARGS(getrowtype, out("qrtype", CONV_CHAR, kSizeRange, 0, "the row types ('L', 'G', 'E', 'R', 'N')", kRequired),
          first(CONV_ROW, "the first row"), last(CONV_ROW, "the last row"));
constexpr Row getrowtype = WRAP_ROW(getrowtype, KRVUgetrowtype, P, A<0>, First, Last)
    .missing("Must provide argument qrtype").range(CONV_ROW, ROWS, "Empty range of rows requested")
    .doc("Reads the types of the rows first..last.", "chgrowtype");

WRAP_ARGS(getcoltype,
          out("coltype", CONV_CHAR, kSizeRange, 0, "the column types ('C', 'B', 'I', 'S', 'R', 'P')", kRequired),
          first(CONV_COL, "the first column"), last(CONV_COL, "the last column"));
constexpr Row getcoltype = WRAP_ROW(getcoltype, KRVUgetcoltype, P, A<0>, First, Last)
    .missing("Must provide argument coltype").range(CONV_COL, COLS, "Empty or invalid range of columns requested")
    .doc("Reads the types of the columns first..last.", "chgcoltype");

WRAP_ARGS(getcoef, index("irow", CONV_ROW, "the row"), index("icol", CONV_COL, "the column"));
constexpr Row getcoef = WRAP_ROW(getcoef, KRVUgetcoef, P, V<0>, V<1>, RD<0>).returns(kDblRes)
    .doc("Returns one coefficient of the matrix.", "chgcoef, getrows, getcols");

WRAP_ARGS(getqobj, index("icol", CONV_COL, "the first column"), index("jcol", CONV_COL, "the second column"));
constexpr Row getqobj = WRAP_ROW(getqobj, KRVUgetqobj, P, V<0>, V<1>, RD<0>).returns(kDblRes)
    .doc("Returns one coefficient of the quadratic objective matrix Q (objective c'x + 0.5 x'Qx).",
         "chgqobj, getmqobj");

WRAP_ARGS(getqrowcoeff, index("irow", CONV_ROW, "the row"), index("icol", CONV_COL, "the first column"),
          index("jcol", CONV_COL, "the second column"));
constexpr Row getqrowcoeff = WRAP_ROW(getqrowcoeff, KRVUgetqrowcoeff, P, V<0>, V<1>, V<2>, RD<0>)
    .returns(kDblRes)
    .doc("Returns one coefficient of the quadratic part x'Qx of a row.", "chgqrowcoeff, getqrowqmatrix");

WRAP_ARGS(getindicators, out("inds", CONV_COL, kSizeRange, 0, "the indicator column of each row"),
          out("comps", CONV_INT, kSizeRange, 0, "1 (row holds when the column is 1), -1 (when 0) or 0"),
          first(CONV_ROW, "the first row"), last(CONV_ROW, "the last row"));
constexpr Row getindicators = WRAP_ROW(getindicators, KRVUgetindicators, P, A<0>, A<1>, First, Last)
    .range(CONV_ROW, ROWS, "").flags(kEmptyRangeNone)
    .doc("Reads the indicator columns and complements of the rows first..last.",
         "setindicators, delindicators, addIndicator");

WRAP_ARGS(getIndexFromName, value("type", kInt, "1 for rows, 2 for columns, 3 for sets"),
          value("name", kText, "the name"));
constexpr Row getIndexFromName = WRAP_ROW(getIndexFromName, KRVUgetindex, P, V<0>, V<1>, RI<0>)
    .returns(kIntRes)
    .doc("Returns the index of the row, column or set of that name, or -1 when there is none.",
         "getnamelist, getIndex");

WRAP_ARGS(getcontrolinfo, value("name", kText, "a control name"));
constexpr Row getcontrolinfo = WRAP_ROW(getcontrolinfo, KRVUgetcontrolinfo, P, V<0>, RI<0>, RI<1>)
    .returns(kTuple, "ii")
    .doc("Returns (identifier, type) of a control; (0, 0) for an unknown name.", "getattribinfo, getControl");

WRAP_ARGS(getattribinfo, value("name", kText, "an attribute name"));
constexpr Row getattribinfo = WRAP_ROW(getattribinfo, KRVUgetattribinfo, P, V<0>, RI<0>, RI<1>)
    .returns(kTuple, "ii")
    .doc("Returns (identifier, type) of an attribute; (0, 0) for an unknown name.", "getcontrolinfo, getAttrib");

// ---- members with bodies of their own

WRAP_ARGS(getlpsolval, index("column", CONV_COL, "a column, or None", kNoneIsUnset),
          index("row", CONV_ROW, "a row, or None", kNoneIsUnset));
constexpr Row getlpsolval = WRAP_CUSTOM(getlpsolval, custom::getlpsolval).returns(kTuple, "dddd")
    .doc("Returns (x, slack, dual, dj) of one column and one row of the LP solution; values of an "
         "index given as None are -1e20.", "getlpsol",
         "The column gives x and dj, the row slack and dual.");

WRAP_ARGS(getmipsolval, index("column", CONV_COL, "a column, or None", kNoneIsUnset),
          index("row", CONV_ROW, "a row, or None", kNoneIsUnset));
constexpr Row getmipsolval = WRAP_CUSTOM(getmipsolval, custom::getmipsolval).returns(kTuple, "dd")
    .doc("Returns (x, slack) of one column and one row of the best integer solution.", "getmipsol");

WRAP_ARGS(getinfeas, out("mx", CONV_COL, kSizeFree, 0, "the primal infeasible columns"),
          out("mslack", CONV_ROW, kSizeFree, 0, "the primal infeasible rows"),
          out("mdual", CONV_ROW, kSizeFree, 0, "the dual infeasible rows"),
          out("mdj", CONV_COL, kSizeFree, 0, "the dual infeasible columns"));
constexpr Row getinfeas = WRAP_CUSTOM(getinfeas, custom::getinfeas)
    .doc("Lists the rows and columns where the LP solution is primal or dual infeasible.", "getscaledinfeas");

WRAP_ARGS(getscaledinfeas, out("mx", CONV_COL, kSizeFree, 0, "the primal infeasible columns"),
          out("mslack", CONV_ROW, kSizeFree, 0, "the primal infeasible rows"),
          out("mdual", CONV_ROW, kSizeFree, 0, "the dual infeasible rows"),
          out("mdj", CONV_COL, kSizeFree, 0, "the dual infeasible columns"));
constexpr Row getscaledinfeas = WRAP_CUSTOM(getscaledinfeas, custom::getscaledinfeas)
    .doc("Lists the infeasibilities of the scaled problem (solutions are held unscaled, so these are "
         "those of getinfeas).", "getinfeas");

WRAP_ARGS(getvar, index("colindex", CONV_COL, "the column"));
constexpr Row getvar = WRAP_CUSTOM(getvar, custom::getvar)
    .returns(kTuple, "iddddddiiiiiiid")
    .calls("KSLPgetvar")
    .doc("Reads the nonlinear solver's properties of a column: (detrow, initstepbound, stepbound, penalty, "
         "damp, initvalue, value, tolset, history, converged, vartype, last iteration its step bound was "
         "active, determined by a row (0/1), index, last step).",
         "chgvar, solve");

constexpr Row getunbvec = Row::make("getunbvec", nullptr).custom(custom::getunbvec)
    .doc("Returns the column or row (as its object) that enters along the unbounded direction after a "
         "primal simplex solve that ended unbounded.", "getprimalray, solve");

WRAP_ARGS(getprimalray, out("ray", CONV_DOUBLE, kSizeAttr, COLS, "the ray"));
constexpr Row getprimalray = WRAP_CUSTOM(getprimalray, custom::getprimalray)
    .doc("Reads an unbounded ray of an LP that ended unbounded; leaves the list alone when there is none.",
         "hasprimalray, getdualray");

WRAP_ARGS(getdualray, out("dray", CONV_DOUBLE, kSizeAttr, ROWS, "the ray"));
constexpr Row getdualray = WRAP_CUSTOM(getdualray, custom::getdualray)
    .doc("Reads a dual ray (a certificate of infeasibility) of an LP that ended infeasible; leaves the list "
         "alone when there is none.", "hasdualray, getprimalray");

constexpr Row hasprimalray = Row::make("hasprimalray", nullptr).custom(custom::hasprimalray).returns(kBoolRes)
    .doc("True when an unbounded ray is available.", "getprimalray");
constexpr Row hasdualray = Row::make("hasdualray", nullptr).custom(custom::hasdualray).returns(kBoolRes)
    .doc("True when a dual ray is available.", "getdualray");

WRAP_ARGS(getrows, out("mstart", CONV_INT64, kSizeRangePlus1, 0, "where each row starts in mclind and dmatval"),
          out("mclind", CONV_COL, kSizeFree, 0, "the columns of the coefficients (at most size)"),
          out("dmatval", CONV_DOUBLE, kSizeFree, 0, "the coefficients (at most size)"),
          value("size", kLong, "room for coefficients"), first(CONV_ROW, "the first row"),
          last(CONV_ROW, "the last row"));
constexpr Row getrows = WRAP_CUSTOM(getrows, custom::getrows)
    .doc("Reads the coefficients of the rows first..last, row by row.", "getcols, getcoef");

WRAP_ARGS(getcols, out("mstart", CONV_INT64, kSizeRangePlus1, 0, "where each column starts in mrwind and dmatval"),
          out("mrwind", CONV_ROW, kSizeFree, 0, "the rows of the coefficients (at most size)"),
          out("dmatval", CONV_DOUBLE, kSizeFree, 0, "the coefficients (at most size)"),
          value("size", kLong, "room for coefficients"), first(CONV_COL, "the first column"),
          last(CONV_COL, "the last column"));
constexpr Row getcols = WRAP_CUSTOM(getcols, custom::getcols)
    .doc("Reads the coefficients of the columns first..last, column by column.", "getrows, getcoef");

WRAP_ARGS(getmqobj, out("mstart", CONV_INT64, kSizeRangePlus1, 0, "where each column starts"),
          out("mclind", CONV_COL, kSizeFree, 0, "the other columns of the entries (at most size)"),
          out("dobjval", CONV_DOUBLE, kSizeFree, 0, "the entries (at most size)"),
          value("size", kLong, "room for entries"), first(CONV_COL, "the first column"),
          last(CONV_COL, "the last column"));
constexpr Row getmqobj = WRAP_CUSTOM(getmqobj, custom::getmqobj).returns(kIntRes)
    .doc("Reads the quadratic objective matrix Q of the columns first..last (both triangles) and returns "
         "its number of entries.", "getqobj, chgmqobj");

WRAP_ARGS(getqrowqmatrix, index("irow", CONV_ROW, "the row"),
          out("mstart", CONV_INT, kSizeRangePlus1, 0, "where each column starts"),
          out("mclind", CONV_COL, kSizeFree, 0, "the other columns of the entries (at most size)"),
          out("dqe", CONV_DOUBLE, kSizeFree, 0, "the entries (at most size)"),
          value("size", kInt, "room for entries"), first(CONV_COL, "the first column"),
          last(CONV_COL, "the last column"));
constexpr Row getqrowqmatrix = WRAP_CUSTOM(getqrowqmatrix, custom::getqrowqmatrix).returns(kIntRes)
    .doc("Reads the quadratic matrix of a row for the columns first..last and returns its number of "
         "entries.", "getqrowqmatrixtriplets, addqmatrix");

WRAP_ARGS(getqrowqmatrixtriplets, index("irow", CONV_ROW, "the row"),
          out("mqcol1", CONV_COL, kSizeFree, 0, "the first columns", kOptional),
          out("mqcol2", CONV_COL, kSizeFree, 0, "the second columns", kOptional),
          out("dqe", CONV_DOUBLE, kSizeFree, 0, "the entries", kOptional));
constexpr Row getqrowqmatrixtriplets = WRAP_CUSTOM(getqrowqmatrixtriplets, custom::getqrowqmatrixtriplets)
    .doc("Reads the quadratic matrix of a row as upper-triangle triplets.", "getqrowqmatrix, getqrows");

WRAP_ARGS(getqrows, out("qcrows", CONV_ROW, kSizeFree, 0, "the rows with quadratic parts", kRequired));
constexpr Row getqrows = WRAP_CUSTOM(getqrows, custom::getqrows)
    .doc("Lists the rows that have a quadratic part.", "getqrowqmatrix");

WRAP_ARGS(getglobal, out("qgtype", CONV_CHAR, kSizeFree, 0, "the type of each entity", kOptional),
          out("mgcols", CONV_INT, kSizeFree, 0, "the column of each entity", kOptional),
          out("dlim", CONV_DOUBLE, kSizeFree, 0, "the limit of each entity", kOptional),
          out("qstype", CONV_CHAR, kSizeFree, 0, "the type of each set ('1' or '2')", kOptional),
          out("msstart", CONV_INT64, kSizeFree, 0, "where each set starts (sets + 1 entries)", kOptional),
          out("mscols", CONV_COL, kSizeFree, 0, "the members of the sets", kOptional),
          out("dref", CONV_DOUBLE, kSizeFree, 0, "the reference weights of the members", kOptional));
constexpr Row getglobal = WRAP_CUSTOM(getglobal, custom::getglobal)
    .doc("Reads the global entities (integer, binary, semi-continuous, semi-integer and partially integer "
         "columns) and the special ordered sets.", "chgcoltype, addSOS");

WRAP_ARGS(getgencons, out("type", CONV_INT, kSizeRange, 0, "the type of each constraint"),
          out("resultant", CONV_COL, kSizeRange, 0, "the resultant column of each constraint"),
          out("colstart", CONV_INT64, kSizeRangePlus1, 0, "where each constraint's columns start"),
          out("col", CONV_COL, kSizeFree, 0, "the argument columns (at most colsize)"),
          value("colsize", kLong, "room for columns"),
          out("valstart", CONV_INT64, kSizeRangePlus1, 0, "where each constraint's values start"),
          out("val", CONV_DOUBLE, kSizeFree, 0, "the constant arguments (at most valsize)"),
          value("valsize", kLong, "room for values"), first(CONV_ROW, "the first general constraint"),
          last(CONV_ROW, "the last general constraint"));
constexpr Row getgencons = WRAP_CUSTOM(getgencons, custom::getgencons).returns(kTuple, "LL")
    .doc("Reads the general constraints first..last and returns (column count, value count).",
         "addgencons, delgencons");

WRAP_ARGS(getpwlcons, out("col", CONV_COL, kSizeRange, 0, "the argument column of each constraint"),
          out("resultant", CONV_COL, kSizeRange, 0, "the resultant column of each constraint"),
          out("start", CONV_INT64, kSizeRangePlus1, 0, "where each constraint's points start"),
          out("xval", CONV_DOUBLE, kSizeFree, 0, "the x values of the points (at most size)"),
          out("yval", CONV_DOUBLE, kSizeFree, 0, "the y values of the points (at most size)"),
          value("size", kLong, "room for points"), first(CONV_ROW, "the first constraint"),
          last(CONV_ROW, "the last constraint"));
constexpr Row getpwlcons = WRAP_CUSTOM(getpwlcons, custom::getpwlcons).returns(kIntRes)
    .doc("Reads the piecewise-linear constraints first..last and returns the number of points.",
         "addpwlcons, delpwlcons");

WRAP_ARGS(getnamelist, value("type", kInt, "1 for rows, 2 for columns, 3 for sets"),
          value("start", kInt, "the first (default 0)", kOptional),
          value("end", kInt, "the last (default the last one)", kOptional));
constexpr Row getnamelist = WRAP_CUSTOM(getnamelist, custom::getnamelist)
    .doc("Returns the names of rows, columns or sets start..end as a list of strings.",
         "getIndexFromName, addnames");

constexpr Row getlasterror = Row::make("getlasterror", nullptr).custom(custom::getlasterror).returns(kTextRes)
    .doc("Returns the library's last error text for this problem ('' when the last call succeeded).",
         "korvu.getlasterror");

// ---- basis, factorisation and sensitivity

WRAP_ARGS(getpivotorder, out("mpiv", CONV_ROWCOL, kSizeAttr, ROWS, "the basic constraint or variable of each "
                                                                 "position of the basis", kRequired));
constexpr Row getpivotorder = WRAP_ROW(getpivotorder, KRVUgetpivotorder, P, A<0>)
    .missing("Must provide argument mpiv")
    .doc("Reads the basic variables in the order of the basis matrix's positions.", "ftran, btran, getbasis");

// The entering variable's keyword is in_: "in" is a reserved word, which no
// Python call can pass by name and no signature can show.
WRAP_ARGS(getpivots, index("in_", CONV_ROWCOL, "the entering constraint (its slack) or variable"),
          out("outlist", CONV_ROWCOL, kSizeFree, 0, "the blocking constraints and variables (at most maxpiv)"),
          out("x", CONV_DOUBLE, kSizeFree, 0, "the slacks and then the columns after the step"),
          value("maxpiv", kInt, "room in outlist"));
constexpr Row getpivots = WRAP_CUSTOM(getpivots, custom::getpivots).returns(kTuple, "di")
    .calls("KRVUgetpivots")
    .doc("Runs the ratio test of the primal simplex for an entering nonbasic variable and returns "
         "(objective after the step, number of candidates).", "getpivotorder, ftran",
         "An integer in_ is taken in the combined form: rows first, then spare rows, then columns.");

WRAP_ARGS(getpresolvemap, out("rowmap", CONV_INT, kSizeAttr, ROWS, "the original row of each row", kRequired),
          out("colmap", CONV_INT, kSizeAttr, COLS, "the original column of each column", kRequired));
constexpr Row getpresolvemap = WRAP_ROW(getpresolvemap, KRVUgetpresolvemap, P, A<0>, A<1>)
    .missing("Must provide argument rowmap and colmap")
    .doc("Reads where each row and column of the problem as the library holds it comes from.",
         "getpresolvesol",
         "The library holds problems in their original form: each row and column maps to itself.");

WRAP_ARGS(ftran, inout_attr("vec", CONV_DOUBLE, ROWS, "a vector over the rows, replaced by B^-1 vec"));
constexpr Row ftran = WRAP_ROW(ftran, KRVUftran, P, A<0>)
    .missing("Must provide argument vec")
    .doc("Solves with the basis matrix: vec becomes B^-1 vec, in the order of getpivotorder.",
         "btran, getpivotorder");
WRAP_ARGS(btran, inout_attr("vec", CONV_DOUBLE, ROWS, "a vector over the positions, replaced by B^-T vec"));
constexpr Row btran = WRAP_ROW(btran, KRVUbtran, P, A<0>)
    .missing("Must provide argument vec")
    .doc("Solves with the transposed basis matrix: vec becomes B^-T vec.", "ftran, getpivotorder");

WRAP_ARGS(objsa, in("mindex", CONV_COL, 0, "the columns", kRequired),
          out("lower", CONV_DOUBLE, kSizeGroup, 0, "the lowest cost keeping the basis optimal", kRequired),
          out("upper", CONV_DOUBLE, kSizeGroup, 0, "the highest", kRequired));
constexpr Row objsa = WRAP_ROW(objsa, KRVUobjsa, P, N<0>, A<0>, A<1>, A<2>)
    .missing("Must provide arguments mindex, lower, and upper")
    .doc("Ranging of objective coefficients for the optimal basis of the last LP solve.", "rhssa");
WRAP_ARGS(rhssa, in("mindex", CONV_ROW, 0, "the rows", kRequired),
          out("lower", CONV_DOUBLE, kSizeGroup, 0, "the lowest right-hand side keeping the basis optimal",
              kRequired),
          out("upper", CONV_DOUBLE, kSizeGroup, 0, "the highest", kRequired));
constexpr Row rhssa = WRAP_ROW(rhssa, KRVUrhssa, P, N<0>, A<0>, A<1>, A<2>)
    .missing("Must provide arguments mindex, lower, and upper")
    .doc("Ranging of right-hand sides for the optimal basis of the last LP solve.", "objsa");

WRAP_ARGS(estimaterowdualranges, in("rowIndices", CONV_ROW, 0, "the rows"),
          value("iterationLimit", kInt, "simplex iterations of each re-solve"),
          out("minDualActivity", CONV_DOUBLE, kSizeGroup, 0, "the least dual of each row", kRequired),
          out("maxDualActivity", CONV_DOUBLE, kSizeGroup, 0, "the greatest", kRequired));
constexpr Row estimaterowdualranges =
    WRAP_ROW(estimaterowdualranges, KRVUestimaterowdualranges, P, N<0>, A<0>, V<1>, A<2>, A<3>)
        .missing("Must provide arguments minDualActivity, maxDualActivity")
        .doc("Estimates the range of each row's dual over the optimal dual solutions.", "rhssa, getlpsol");

WRAP_ARGS(basisstability, value("type", kInt, "0 condition of the basis, 1 primal residual, 2 dual residual"),
          value("norm", kInt, "0 infinity, 1 one, 2 Euclidean norm"),
          value("ifscaled", kInt, "1: of the problem as scaled by scale"));
constexpr Row basisstability = WRAP_ROW(basisstability, KRVUbasisstability, P, V<0>, V<1>, V<2>, RD<0>)
    .returns(kDblRes)
    .doc("Returns a stability measure of the basis.", "ftran, scale");

WRAP_ARGS(getmessagestatus, value("errcode", kInt, "a message number"));
constexpr Row getmessagestatus = WRAP_ROW(getmessagestatus, KRVUgetmessagestatus, P, V<0>, RI<0>)
    .returns(kIntRes)
    .doc("Returns 0 when messages of that number are suppressed, else 1.", "setmessagestatus");


WRAP_ARGS(getslpsol, out("x", CONV_DOUBLE, kSizeAttr, COLS, "primal values", kOptional),
          out("slack", CONV_DOUBLE, kSizeAttr, ROWS, "slacks", kOptional),
          out("dual", CONV_DOUBLE, kSizeAttr, ROWS, "dual values", kOptional),
          out("dj", CONV_DOUBLE, kSizeAttr, COLS, "reduced costs", kOptional));
constexpr Row getslpsol = WRAP_ROW(getslpsol, KSLPgetslpsol, SLP, A<0>, A<1>, A<2>, A<3>)
    .example("x = []; p.getslpsol(x)")
    .doc("Fills the lists given with the last solution of the nonlinear solver.", "validatevector, getvar");

WRAP_ARGS(getrowstatus, index("rowindex", CONV_ROW, "the row"));
constexpr Row getrowstatus = WRAP_ROW(getrowstatus, KSLPgetrowstatus, SLP, V<0>, RI<0>).returns(kIntRes)
    .flags(kNamedFailure)
    .doc("Returns the nonlinear solver's status bits of a row.", "getvar");

WRAP_ARGS(evaluatecoef, index("rowindex", CONV_ROW, "the row"),
          index("colindex", CONV_COL, "the column the formula multiplies (-1: none)"));
constexpr Row evaluatecoef = WRAP_ROW(evaluatecoef, KSLPevaluatecoef, SLP, V<0>, V<1>, RD<0>).returns(kDblRes)
    .flags(kNamedFailure)
    .doc("Returns the value of a formula coefficient at the current point.", "addcoefs, validatevector");


WRAP_ARGS(evaluateformula, value("parsed", kInt, "1: the tokens are in reverse Polish form"),
          in("type", CONV_INT, 0, "the token types", kRequired),
          in("value", CONV_DOUBLE, 0, "the token values", kRequired));
constexpr Row evaluateformula =
    WRAP_ROW(evaluateformula, KSLPevaluateformula, SLP, V<0>, N<0>, A<1>, A<2>, RD<0>)
        .missing("Incorrect arguments to evaluateformula").returns(kDblRes).flags(kNamedFailure)
        .doc("Returns the value of a formula given as tokens at the current point.", "evaluatecoef");

WRAP_ARGS(getccoef, index("rowindex", CONV_ROW, "the row"),
          index("colindex", CONV_COL, "the column the formula multiplies (-1: none)"),
          value("flen", kInt, "the longest text to return, 1 to 10000"));
constexpr Row getccoef = WRAP_CUSTOM(getccoef, custom::getccoef)
    .calls("KSLPgetccoef")
    .example("factor, text = p.getccoef(row, -1, 200)")
    .doc("Returns (factor, text of the formula) of a formula coefficient.", "chgccoef, evaluatecoef");

#define ROWS(X)                                                                                     \
  X(getlpsol) X(getpresolvesol) X(getlastbarsol) X(getmipsol) X(getbasis) X(getpresolvebasis)       \
  X(getbasisval) X(calcslacks) X(calcreducedcosts) X(calcobjective) X(calcsolinfo) X(getobj)         \
  X(getrhs) X(getrhsrange) X(getlb) X(getub) X(getrowtype) X(getcoltype) X(getcoef) X(getqobj)       \
  X(getqrowcoeff) X(getindicators) X(getIndexFromName) X(getcontrolinfo) X(getattribinfo)          \
  X(getlpsolval) X(getmipsolval) X(getinfeas) X(getscaledinfeas) X(getunbvec) X(getprimalray)        \
  X(getdualray) X(hasprimalray) X(hasdualray) X(getrows) X(getcols) X(getmqobj) X(getqrowqmatrix)    \
  X(getqrowqmatrixtriplets) X(getqrows) X(getglobal) X(getgencons) X(getpwlcons) X(getnamelist)     \
  X(getlasterror) X(getpivotorder) X(getpivots) X(getpresolvemap) X(ftran) X(btran) X(objsa)        \
  X(rhssa) X(estimaterowdualranges) X(basisstability) X(getmessagestatus) X(getvar) X(getslpsol) \
  X(getrowstatus) X(evaluatecoef) X(evaluateformula) X(getccoef)
WRAP_FAMILY(ROWS)

}  // namespace
}  // namespace wrap
}  // namespace korvu

PyMethodDef *problem_query_methods(void) { return korvu::wrap::family_methods(); }
