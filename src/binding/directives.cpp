// The members of korvu.problem that tell the library's search more than the
// model says: branching directives (and their files), secure vectors, model
// cuts and delayed rows.
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace custom {
// custom/directives.cpp
PyObject *getdirs(const Row &, Ctx &);
}  // namespace custom

namespace {

constexpr uint16_t O = kOptional;

WRAP_ARGS(getdirs, out("mcols", CONV_COL, kSizeFree, 0, "receives the variables that have directives"),
          out("mpri", CONV_INT, kSizeFree, 0, "receives their priorities (lower values are branched on first)"),
          out("qbr", CONV_CHAR, kSizeFree, 0,
              "receives their preferred directions: 'U' up first, 'D' down first, 'N' none"),
          out("dupc", CONV_DOUBLE, kSizeFree, 0, "receives their initial up pseudo-costs (-1: none)"),
          out("ddpc", CONV_DOUBLE, kSizeFree, 0, "receives their initial down pseudo-costs (-1: none)"));
constexpr Row getdirs = WRAP_CUSTOM(getdirs, custom::getdirs)
    .missing("Must provide arguments (as lists) to getdirs")
    .calls("KRVUgetdirs")
    .doc("Reads the branching directives of the problem, one entry per variable that has one, in column "
         "order.", "loaddirs, readdirs, writedirs",
         "Returns None, leaving the lists alone, when the problem has no directives; otherwise every "
         "argument must be a list, and each receives as many entries as there are directives.")
    .example("cols, pri, br, up, dn = [], [], [], [], []\np.getdirs(cols, pri, br, up, dn)");

#define DIRS_ARGS(fn)                                                                                   \
  WRAP_ARGS(fn, in("mcols", CONV_COL, 0, "the variables the directives are for", kRequired),            \
            in("mpri", CONV_INT, 0, "their priorities, 0 or more (lower values are branched on first; "     \
                                    "default 500)", O),                                                   \
            in("qbr", CONV_CHAR, 0, "their preferred directions: 'U' up first, 'D' down first, 'N' none", O), \
            in("dupc", CONV_DOUBLE, 0, "initial up pseudo-costs: objective change per unit up (< 0: none)", O), \
            in("ddpc", CONV_DOUBLE, 0, "initial down pseudo-costs: objective change per unit down (< 0: none)", \
               O))

DIRS_ARGS(loaddirs);
constexpr Row loaddirs = WRAP_ROW(loaddirs, KRVUloaddirs, P, N<0>, A<0>, A<1>, A<2>, A<3>, A<4>)
    .missing("Must provide argument mcols")
    .doc("Replaces the branching directives of the problem: a priority, a preferred direction and initial "
         "pseudo-costs for each variable given.", "getdirs, loadbranchdirs, readdirs, writedirs",
         "The library's search branches first on the fractional variables of the least priority value, in "
         "their preferred direction, and starts reliability branching from the pseudo-costs given. "
         "Directives make mipoptimize choose the library's search. Variables without a directive have "
         "priority 500; an empty mcols removes every directive.")
    .example("p.loaddirs([x, y], [1, 2], ['U', 'D'])");

DIRS_ARGS(loadpresolvedirs);
constexpr Row loadpresolvedirs =
    WRAP_ROW(loadpresolvedirs, KRVUloadpresolvedirs, P, N<0>, A<0>, A<1>, A<2>, A<3>, A<4>)
        .missing("Must provide argument mcols")
        .doc("Replaces the branching directives of the presolved problem.", "loaddirs, getdirs",
             "The library holds problems in their original form, so this is loaddirs.")
        .example("p.loadpresolvedirs([x], [1])");

WRAP_ARGS(loadbranchdirs, in("mcols", CONV_COL, 0, "the variables to branch on first", kRequired),
          in("mbranch", CONV_INT, 0, "the preferred direction of each: > 0 up first, < 0 down first, 0 none",
             O));
constexpr Row loadbranchdirs = WRAP_ROW(loadbranchdirs, KRVUloadbranchdirs, P, N<0>, A<0>, A<1>)
    .missing("Must provide argument mcols")
    .doc("Gives variables priority 0, so that the search branches on them first, and their preferred "
         "directions.", "loaddirs, getdirs",
         "A variable that has a directive keeps its priority and takes the new direction; the directives "
         "of other variables stay.")
    .example("p.loadbranchdirs([x, y], [1, -1])");

WRAP_ARGS(loadsecurevecs, in("mrow", CONV_ROW, 0, "the constraints presolve must keep", O),
          in("mcol", CONV_COL, 1, "the variables presolve must keep", O));
constexpr Row loadsecurevecs = WRAP_ROW(loadsecurevecs, KRVUloadsecurevecs, P, N<0>, N<1>, A<0>, A<1>)
    .doc("Marks constraints and variables that presolve must not remove.", "loadmodelcuts",
         "Marks add to those made before. The library holds problems in their original form and maps "
         "every presolve back to it, so marked rows and columns are always kept.")
    .example("p.loadsecurevecs([c1], [x])");

// Model cuts and delayed rows: the same marking of rows, of two kinds.
#define LAZY_ROW(fn, kind, other, related, what)                                                         \
  WRAP_ARGS(fn, in("mrows", CONV_ROW, 0, "the constraints to treat as " kind "s", kRequired));           \
  constexpr Row fn = WRAP_ROW(fn, KRVU##fn, P, N<0>, A<0>)                                             \
      .missing("Must provide argument mrows")                                                            \
      .doc("Marks constraints as " kind "s: " what, related,                                               \
           "Every solution found satisfies them. Marks add to those made before; a constraint marked as " \
           other " before becomes a " kind ". They make mipoptimize choose the library's search.")        \
      .example("p." #fn "([c1, c2])")

LAZY_ROW(loadmodelcuts, "model cut", "a delayed row", "loaddelayedrows, loadsecurevecs",
         "the search leaves them out of its relaxations until a relaxation solution violates them.");
LAZY_ROW(loaddelayedrows, "delayed row", "a model cut", "loadmodelcuts, loadsecurevecs",
         "the search checks them only at integer feasible candidates and adds those a candidate violates.");

WRAP_ARGS(readdirs, value("filename", kText, "the directives file (empty: the problem's name with .dir)"));
constexpr Row readdirs = WRAP_ROW(readdirs, KRVUreaddirs, P, V<0>)
    .doc("Reads a directives file, which replaces every directive of the problem.", "writedirs, loaddirs",
         "Lines such as ' UP x1 10' (up first, priority 10), ' DN x2' (down first), ' PR x3 5' (priority "
         "only), ' UC x1 2.5' and ' DC x1 1.5' (initial pseudo-costs). A bound-set name may stand before the "
         "variable, which may be a pattern with * and ?. A malformed line or an unknown variable fails the "
         "read and leaves the directives as they were.")
    .example("p.readdirs('model.dir')");

WRAP_ARGS(writedirs, value("filename", kText, "the directives file (empty: the problem's name with .dir)"));
constexpr Row writedirs = WRAP_ROW(writedirs, KRVUwritedirs, P, V<0>)
    .doc("Writes the directives of the problem in the directives file format that readdirs reads.",
         "readdirs, getdirs")
    .example("p.writedirs('model.dir')");

#define ROWS(X)                                                                                           \
  X(getdirs) X(loaddirs) X(loadpresolvedirs) X(loadbranchdirs) X(loadsecurevecs) X(loadmodelcuts)         \
  X(loaddelayedrows) X(readdirs) X(writedirs)
WRAP_FAMILY(ROWS)

}  // namespace
}  // namespace wrap
}  // namespace korvu

PyMethodDef *problem_directive_methods(void) { return korvu::wrap::family_methods(); }
