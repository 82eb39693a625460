// Whole-problem loading: a complete matrix in one call (loadproblem), and the
// library's row and column adders, each making the model objects of what it
// loads.  Their bodies are in custom/loading.cpp.
#include "binding/custom/custom.h"
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace {

constexpr uint16_t O = kOptional;

WRAP_ARGS(loadproblem, value("probname", kText, "the problem's name"),
          in("qrtypes", CONV_CHAR, 0, "the type of each row ('L', 'G', 'E', 'R', 'N')"),
          in("rhs", CONV_DOUBLE, 0, "the right-hand side of each row"),
          in("range", CONV_DOUBLE, 0, "the range of each row (R rows)"),
          in("obj", CONV_DOUBLE, 1, "the objective coefficient of each column"),
          in("mstart", CONV_INT64, 2, "where each column starts in mrwind and dmatval (columns + 1 entries "
                                      "without mnel, columns with it)"),
          in("mnel", CONV_INT, 1, "the number of coefficients of each column"),
          in("mrwind", CONV_INT, 3, "the row of each coefficient (row indices)"),
          in("dmatval", CONV_DOUBLE, 3, "the coefficients"),
          in("dlb", CONV_DOUBLE, 1, "the lower bound of each column"),
          in("dub", CONV_DOUBLE, 1, "the upper bound of each column"),
          in("mqcol1", CONV_INT, 4, "quadratic objective: first columns", O),
          in("mqcol2", CONV_INT, 4, "quadratic objective: second columns", O),
          in("dqe", CONV_DOUBLE, 4, "quadratic objective: entries of Q (objective c'x + 0.5 x'Qx)", O),
          in("qcrows", CONV_INT, 5, "quadratic rows: the rows", O),
          in("qcnquads", CONV_INT64, 5, "quadratic rows: the number of entries of each", O),
          in("qcmqcol1", CONV_INT, 0, "quadratic rows: first columns", O),
          in("qcmqcol2", CONV_INT, 0, "quadratic rows: second columns", O),
          in("qcdqval", CONV_DOUBLE, 0, "quadratic rows: entries (a row reads a'x + x'Qx)", O),
          in("qgtype", CONV_CHAR, 0, "global entities: their types ('B', 'I', 'S', 'R', 'P')", O),
          in("mgcols", CONV_INT, 0, "global entities: their columns", O),
          in("dlim", CONV_DOUBLE, 0, "global entities: their limits", O),
          in("qstype", CONV_CHAR, 0, "sets: their types ('1' or '2')", O),
          in("msstart", CONV_INT64, 0, "sets: where each starts (sets + 1 entries)", O),
          in("mscols", CONV_INT, 0, "sets: the member columns", O),
          in("dref", CONV_DOUBLE, 0, "sets: the reference weights of the members", O),
          value("colnames", kObject, "a list of column names", O),
          value("rownames", kObject, "a list of row names", O));
constexpr Row loadproblem = WRAP_CUSTOM(loadproblem, custom::loadproblem).flags(kKeepBodies)
    .doc("Replaces the problem by a complete matrix with optional quadratic objective, quadratic rows, "
         "global entities and special ordered sets, and makes a variable for each column and a constraint "
         "for each row.", "addrows, addcols, read",
         "Each optional group (quadratic objective, quadratic rows, entities, sets) is given whole or not at "
         "all; index arrays take integers only. The objects made have default bounds and no bodies: the "
         "data lives in the library, where the queries read it.")
    .example("p.loadproblem('lp', ['L'], [4.0], None, [1.0, 2.0], [0, 1, 2], None, [0, 0], [1.0, 1.0],\n"
             "                [0.0, 0.0], [10.0, 10.0])");

WRAP_ARGS(addrows, in("qrtype", CONV_CHAR, 0, "the type of each new row"),
          in("rhs", CONV_DOUBLE, 0, "the right-hand side of each row"),
          in("mstart", CONV_INT64, 1, "where each row starts in mclind and dmatval (rows + 1 entries)"),
          in("mclind", CONV_COL, 2, "the columns of the coefficients"),
          in("dmatval", CONV_DOUBLE, 2, "the coefficients"), in("range", CONV_DOUBLE, 0, "the ranges", O),
          value("names", kObject, "a list of names", O));
constexpr Row addrows = WRAP_CUSTOM(addrows, custom::addrows)
    .missing("Must provide arguments qrtype, rhs, mstart, mclind, dmatval")
    .doc("Appends rows and makes a constraint object for each.", "addcols, delConstraint, getrows")
    .example("p.addrows(['L'], [4.0], [0, 2], [x, y], [1.0, 2.0])");

WRAP_ARGS(addcols, in("objx", CONV_DOUBLE, 0, "the objective coefficient of each new column"),
          in("mstart", CONV_INT64, 1, "where each column starts in mrwind and dmatval (columns + 1 entries)"),
          in("mrwind", CONV_ROW, 2, "the rows of the coefficients"), in("dmatval", CONV_DOUBLE, 2, "the coefficients"),
          in("bdl", CONV_DOUBLE, 0, "the lower bounds"), in("bdu", CONV_DOUBLE, 0, "the upper bounds"),
          value("names", kObject, "a list of names", O), value("types", kObject, "a list of column types", O));
constexpr Row addcols = WRAP_CUSTOM(addcols, custom::addcols)
    .missing("Must provide arguments objx, mstart, mrwind, dmatval, bdl, bdu")
    .doc("Appends columns and makes a variable object for each.", "addrows, delVariable, getcols")
    .example("p.addcols([1.0], [0, 1], [c1], [2.0], [0.0], [5.0], ['z'])");

#define ROWS(X) X(loadproblem) X(addrows) X(addcols)
WRAP_FAMILY(ROWS)

}  // namespace
}  // namespace wrap
}  // namespace korvu

PyMethodDef *problem_loading_methods(void) { return korvu::wrap::family_methods(); }
