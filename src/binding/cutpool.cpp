// The cut-pool and node members of korvu.problem, used mostly from inside
// the search's callbacks: cuts added to the node or stored in the pool,
// pool cuts loaded, listed, mapped and deleted, stored bounds for a user's
// branching, and strong branching.  Their bodies are in custom/cutpool.cpp.
#include "binding/custom/custom.h"
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace {

constexpr const char *kTypes =
    "Cut types select cuts: interp -1 every cut, 1 those of type itype, 2 those whose type shares a bit with "
    "itype, 3 those whose type has every bit of itype.";

// ---- cuts into the node and the pool

WRAP_ARGS(addcuts, in("mtype", CONV_INT, 0, "the user's type of each cut"),
          in("rtype", CONV_CHAR, 0, "'L', 'G' or 'E' per cut"), in("rhs", CONV_DOUBLE, 0, "right-hand sides"),
          in("mstart", CONV_INT64, 1, "start of each cut's coefficients, and their end (one more entry)"),
          in("mcols", CONV_COL, 2, "the coefficients' columns"), in("dmatval", CONV_DOUBLE, 2, "the coefficients"));
constexpr Row addcuts = WRAP_CUSTOM(addcuts, custom::addcuts).calls("KRVUaddcuts64")
    .example("p.addcuts([1], ['L'], [1.0], [0, 1], [x], [1.0])")
    .doc("Adds cuts to the pool and into the relaxation of the node a callback of the search is called for.",
         "storecuts, loadcuts, delcuts, getcutlist",
         "A user cut is taken to hold for the whole problem: the search puts it into any node whose solution "
         "breaks it and accepts no solution that breaks it.  Added from an optnode callback, the node is solved "
         "again and the callback called again.");

WRAP_ARGS(storecuts, value("nodupl", kLong, "non-zero: a cut equal to one in the pool gets that one's handle"),
          in("mtype", CONV_INT, 0, "the user's type of each cut"),
          in("rtype", CONV_CHAR, 0, "'L', 'G' or 'E' per cut"), in("rhs", CONV_DOUBLE, 0, "right-hand sides"),
          in("mstart", CONV_INT64, 1, "start of each cut's coefficients, and their end (one more entry)"),
          out("mindex", CONV_POOLCUT, kSizeGroup, 0, "receives the cuts' korvu.poolcut handles"),
          in("mcols", CONV_COL, 2, "the coefficients' columns"), in("dmatval", CONV_DOUBLE, 2, "the coefficients"));
constexpr Row storecuts = WRAP_CUSTOM(storecuts, custom::storecuts).calls("KRVUstorecuts64")
    .example("cuts = []\np.storecuts(1, [1], ['L'], [1.0], [0, 1], cuts, [x], [1.0])")
    .doc("Stores cuts in the problem's cut pool, which the search uses; also outside a solve.",
         "addcuts, loadcuts, getcpcutlist, delcpcuts",
         "Storing cuts makes mipoptimize run the library's own search.  A pool cut enters a node's relaxation "
         "when the node's solution breaks it, or when loaded.");

WRAP_ARGS(loadcuts, value("itype", kLong, "the cut type to select"),
          value("interp", kLong, "how itype selects (-1: every cut)"),
          in("cutind", CONV_POOLCUT, 0, "the cuts (None: every pool cut the type selects)"));
constexpr Row loadcuts = WRAP_CUSTOM(loadcuts, custom::loadcuts).calls("KRVUloadcuts")
    .example("p.loadcuts(0, -1, None)")
    .doc("Puts pool cuts into the current node's relaxation.", "storecuts, delcuts", kTypes);

WRAP_ARGS(delcuts, value("ibasis", kLong, "0: only cuts whose rows are basic (the basis stays valid), 1: any"),
          value("itype", kLong, "the cut type to select"),
          value("interp", kLong, "how itype selects (-1: every cut)"),
          value("delta", kDouble, "only cuts whose slack is greater (negative: any)"),
          in("cutind", CONV_POOLCUT, 0, "the cuts (None: every cut of the node the type selects)"));
constexpr Row delcuts = WRAP_CUSTOM(delcuts, custom::delcuts).calls("KRVUdelcuts")
    .example("p.delcuts(0, 0, -1, -1.0, None)")
    .doc("Takes cuts out of the current node's relaxation; they stay in the pool.", "delcpcuts, getcutlist",
         "A pool cut the node's solution breaks comes back into the relaxation: delete it from the pool too to "
         "drop it.");

WRAP_ARGS(delcpcuts, value("itype", kLong, "the cut type to select"),
          value("interp", kLong, "how itype selects (-1: every cut)"),
          in("cutind", CONV_POOLCUT, 0, "the cuts (None: every pool cut the type selects)"));
constexpr Row delcpcuts = WRAP_CUSTOM(delcpcuts, custom::delcpcuts).calls("KRVUdelcpcuts")
    .example("p.delcpcuts(0, -1, None)")
    .doc("Deletes cuts from the cut pool; one in the current node's relaxation stays until delcuts takes it out.",
         "storecuts, delcuts", kTypes);

WRAP_ARGS(setbranchcuts, in("mindex", CONV_POOLCUT, 0, "the pool cuts"));
constexpr Row setbranchcuts = WRAP_CUSTOM(setbranchcuts, custom::setbranchcuts).calls("KRVUsetbranchcuts")
    .example("p.setbranchcuts(cuts)")
    .doc("From an optnode callback: pool cuts the child last set with setbranchbounds takes into its relaxation.",
         "setbranchbounds, storecuts");

// ---- lists and data of cuts

WRAP_ARGS(getcutlist, value("itype", kLong, "the cut type to select"),
          value("interp", kLong, "how itype selects (-1: every cut)"),
          value("size", kLong, "the most handles to return"),
          out("cutind", CONV_POOLCUT, kSizeFree, 0, "receives the cuts' korvu.poolcut handles"));
constexpr Row getcutlist = WRAP_CUSTOM(getcutlist, custom::getcutlist).calls("KRVUgetcutlist")
    .example("cuts = []\np.getcutlist(-1, -1, 10, cuts)")
    .doc("Lists the user cuts in the current node's relaxation.", "getcpcutlist, getcutmap", kTypes);

WRAP_ARGS(getcpcutlist, value("itype", kLong, "the cut type to select"),
          value("interp", kLong, "how itype selects (-1: every cut)"),
          value("delta", kDouble, "only cuts the node's solution breaks by more (negative: every cut)"),
          value("size", kLong, "the most cuts to return"),
          out("cutind", CONV_POOLCUT, kSizeFree, 0, "receives the cuts' korvu.poolcut handles"),
          out("viol", CONV_DOUBLE, kSizeFree, 0, "receives how much the node's solution breaks each"));
constexpr Row getcpcutlist = WRAP_CUSTOM(getcpcutlist, custom::getcpcutlist).calls("KRVUgetcpcutlist")
    .returns(kIntRes)
    .example("cuts, viol = [], []\nn = p.getcpcutlist(-1, -1, -1.0, 10, cuts, viol)")
    .doc("Lists the cuts of the cut pool and returns how many the type and delta select.",
         "getcutlist, getcpcuts, storecuts",
         "Outside a node every violation counts 0, so a negative delta lists every cut.");

WRAP_ARGS(getcpcuts, in("index", CONV_POOLCUT, 0, "the cuts"),
          value("size", kLong, "the most coefficients to return"),
          out("type", CONV_INT, kSizeFree, 0, "receives each cut's type"),
          out("rtype", CONV_CHAR, kSizeFree, 0, "receives 'L', 'G' or 'E' per cut"),
          out("mstart", CONV_INT64, kSizeFree, 0, "receives the starts of the coefficients (one more entry)"),
          out("mcols", CONV_COL, kSizeFree, 0, "receives the coefficients' variables"),
          out("dmatval", CONV_DOUBLE, kSizeFree, 0, "receives the coefficients"),
          out("drhs", CONV_DOUBLE, kSizeFree, 0, "receives the right-hand sides"));
constexpr Row getcpcuts = WRAP_CUSTOM(getcpcuts, custom::getcpcuts).calls("KRVUgetcpcuts64")
    .example("t, r, s, c, v, b = [], [], [], [], [], []\np.getcpcuts(cuts, 100, t, r, s, c, v, b)")
    .doc("Reads the rows of pool cuts.", "getcpcutlist, storecuts");

WRAP_ARGS(getcutmap, in("cuts", CONV_POOLCUT, 0, "the cuts"),
          out("cutmap", CONV_INT, kSizeGroup, 0, "receives each cut's row in the node's relaxation (-1: not in it)"));
constexpr Row getcutmap = WRAP_CUSTOM(getcutmap, custom::getcutmap).calls("KRVUgetcutmap")
    .example("rows = []\np.getcutmap(cuts, rows)")
    .doc("Gives the row of the current node's relaxation each cut is.", "getcutlist, getcutslack");

WRAP_ARGS(getcutslack, value("cut", kObject, "a korvu.poolcut"));
constexpr Row getcutslack = WRAP_CUSTOM(getcutslack, custom::getcutslack).calls("KRVUgetcutslack")
    .returns(kDblRes)
    .example("s = p.getcutslack(cuts[0])")
    .doc("Returns the slack of a pool cut at the current node's solution (negative when broken).",
         "getcutmap, getcpcutlist");

// ---- stored bounds and strong branching

WRAP_ARGS(storebounds, in("mcols", CONV_COL, 0, "the variables"),
          in("type", CONV_CHAR, 0, "'L', 'U' or 'B' per bound"), in("bds", CONV_DOUBLE, 0, "the bounds"));
constexpr Row storebounds = WRAP_CUSTOM(storebounds, custom::storebounds).calls("KRVUstorebounds")
    .example("b = p.storebounds([x], ['U'], [3.0])")
    .doc("Stores a set of bounds with the problem for a user's branching and returns it as a korvu.generic.",
         "setbranchbounds",
         "The set lives as long as the problem.  Storing bounds makes mipoptimize run the library's own search.");

WRAP_ARGS(setbranchbounds, value("mindex", kObject, "what storebounds returned"));
constexpr Row setbranchbounds = WRAP_CUSTOM(setbranchbounds, custom::setbranchbounds).calls("KRVUsetbranchbounds")
    .example("p.setbranchbounds(b)")
    .doc("From an optnode callback: adds a child with stored bounds to the node's branching.",
         "storebounds, setbranchcuts",
         "Once the callbacks return, the node branches into one child per call; a branching object stored at the "
         "node wins.");

WRAP_ARGS(strongbranch, in("mbndind", CONV_COL, 0, "the variable of each bound change"),
          in("cbndtype", CONV_CHAR, 0, "'L', 'U' or 'B' per change"),
          in("dbndval", CONV_DOUBLE, 0, "the bounds"),
          value("itrlimit", kInt, "the most dual simplex iterations of each probe (negative: none)"),
          out("dsbobjval", CONV_DOUBLE, kSizeGroup, 0, "receives each probe's objective"),
          out("msbstatus", CONV_INT, kSizeGroup, 0, "receives each probe's LP status"));
constexpr Row strongbranch = WRAP_CUSTOM(strongbranch, custom::strongbranch).calls("KRVUstrongbranch")
    .example("obj, st = [], []\np.strongbranch([x, x], ['U', 'L'], [0, 1], 100, obj, st)")
    .doc("Tries bound changes one at a time on the relaxation and reports each one's objective and LP status.",
         "strongbranchcb, lpoptimize",
         "In an optnode callback the relaxation is the node's, otherwise the problem's with integrality relaxed.  A "
         "change looser than the bound in place changes nothing; the relaxation is left as it was.");

WRAP_ARGS(strongbranchcb, in("bndind", CONV_COL, 0, "the variable of each bound change"),
          in("bndtype", CONV_CHAR, 0, "'L', 'U' or 'B' per change"), in("bndval", CONV_DOUBLE, 0, "the bounds"),
          value("itrlimit", kLong, "the most dual simplex iterations of each probe (negative: none)"),
          out("objval", CONV_DOUBLE, kSizeGroup, 0, "receives each probe's objective"),
          out("status", CONV_INT, kSizeGroup, 0, "receives each probe's LP status"),
          value("sbsolvecb", kObject, "called as sbsolvecb(problem, vContext, index) after each probe"),
          value("vContext", kObject, "passed to sbsolvecb"));
constexpr Row strongbranchcb = WRAP_CUSTOM(strongbranchcb, custom::strongbranchcb).calls("KRVUstrongbranchcb")
    .example("obj, st = [], []\np.strongbranchcb([x], ['U'], [0], 100, obj, st, f, None)")
    .doc("Strong branching as strongbranch, calling a Python function after each probe is solved.",
         "strongbranch",
         "While sbsolvecb runs, getlpsol gives the probe's solution; a non-zero result skips the probes left "
         "(status 0).");

#define ROWS(X)                                                                                      \
  X(addcuts) X(storecuts) X(loadcuts) X(delcuts) X(delcpcuts) X(setbranchcuts) X(getcutlist)         \
  X(getcpcutlist) X(getcpcuts) X(getcutmap) X(getcutslack) X(storebounds) X(setbranchbounds)         \
  X(strongbranch) X(strongbranchcb)
WRAP_FAMILY(ROWS)

}  // namespace
}  // namespace wrap
}  // namespace korvu

PyMethodDef *problem_cutpool_methods(void) { return korvu::wrap::family_methods(); }
