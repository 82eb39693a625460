// Bodies of the wrapper members that the dispatch pattern does not cover
// (two-call sizing, variable result shapes, nonlinear branches, the loading
// members); each has its row in its family's table.
#pragma once
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace custom {

// Queries (custom/queries.cpp)
PyObject *getlpsolval(const Row &, Ctx &);
PyObject *getmipsolval(const Row &, Ctx &);
PyObject *getinfeas(const Row &, Ctx &);
PyObject *getscaledinfeas(const Row &, Ctx &);
PyObject *getunbvec(const Row &, Ctx &);
PyObject *getprimalray(const Row &, Ctx &);
PyObject *getdualray(const Row &, Ctx &);
PyObject *hasprimalray(const Row &, Ctx &);
PyObject *hasdualray(const Row &, Ctx &);
PyObject *getrows(const Row &, Ctx &);
PyObject *getcols(const Row &, Ctx &);
PyObject *getmqobj(const Row &, Ctx &);
PyObject *getqrowqmatrix(const Row &, Ctx &);
PyObject *getqrowqmatrixtriplets(const Row &, Ctx &);
PyObject *getqrows(const Row &, Ctx &);
PyObject *getglobal(const Row &, Ctx &);
PyObject *getgencons(const Row &, Ctx &);
PyObject *getpwlcons(const Row &, Ctx &);
PyObject *getnamelist(const Row &, Ctx &);
PyObject *getlasterror(const Row &, Ctx &);

// Changes and settings (custom/changes.cpp)
PyObject *chgobjsense(const Row &, Ctx &);
PyObject *addmipsol(const Row &, Ctx &);
PyObject *addsetnames(const Row &, Ctx &);
PyObject *delindicators(const Row &, Ctx &);
PyObject *setdefaultcontrol(const Row &, Ctx &);
PyObject *copycontrols(const Row &, Ctx &);

// Solving, files and infeasibility analysis (custom/solving.cpp)
PyObject *presolverow(const Row &, Ctx &);
PyObject *writeslxsol(const Row &, Ctx &);
PyObject *save(const Row &, Ctx &);
PyObject *restore(const Row &, Ctx &);
PyObject *iisstatus(const Row &, Ctx &);
PyObject *getiisdata(const Row &, Ctx &);
PyObject *getpivots(const Row &, Ctx &);

// Whole-problem loading (custom/loading.cpp)
PyObject *loadproblem(const Row &, Ctx &);
PyObject *addrows(const Row &, Ctx &);
PyObject *addcols(const Row &, Ctx &);

// Nonlinear-solver column properties (custom/nonlinear.cpp)
// False, with an InterfaceError naming member, when the problem has no
// nonlinear solver.
bool has_slp(Ctx &c, const char *member);
PyObject *chgvar(const Row &, Ctx &);
PyObject *getvar(const Row &, Ctx &);
PyObject *chgccoef(const Row &, Ctx &);
PyObject *getccoef(const Row &, Ctx &);

// Cut pool, stored bounds and strong branching (custom/cutpool.cpp)
PyObject *addcuts(const Row &, Ctx &);
PyObject *storecuts(const Row &, Ctx &);
PyObject *loadcuts(const Row &, Ctx &);
PyObject *delcuts(const Row &, Ctx &);
PyObject *delcpcuts(const Row &, Ctx &);
PyObject *setbranchcuts(const Row &, Ctx &);
PyObject *getcutlist(const Row &, Ctx &);
PyObject *getcpcutlist(const Row &, Ctx &);
PyObject *getcpcuts(const Row &, Ctx &);
PyObject *getcutmap(const Row &, Ctx &);
PyObject *getcutslack(const Row &, Ctx &);
PyObject *storebounds(const Row &, Ctx &);
PyObject *setbranchbounds(const Row &, Ctx &);
PyObject *strongbranch(const Row &, Ctx &);
PyObject *strongbranchcb(const Row &, Ctx &);

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
