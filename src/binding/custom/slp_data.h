// Bodies of the nonlinear-solver data members that the dispatch pattern does
// not cover (optional values passed as null pointers, counts agreed across
// groups, results typed by the library); each has its row in slp_data.cpp.
#pragma once
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace custom {

PyObject *chgcascadenlimit(const Row &, Ctx &);
PyObject *chgdf(const Row &, Ctx &);
PyObject *addtolsets(const Row &, Ctx &);
PyObject *loadtolsets(const Row &, Ctx &);
PyObject *chgtolset(const Row &, Ctx &);
PyObject *gettolset(const Row &, Ctx &);
PyObject *addcoefs(const Row &, Ctx &);
PyObject *loadcoefs(const Row &, Ctx &);
PyObject *chgnlcoef(const Row &, Ctx &);
PyObject *getcoefformula(const Row &, Ctx &);
PyObject *getcoefs(const Row &, Ctx &);
PyObject *chgrowstatus(const Row &, Ctx &);
PyObject *chgrowwt(const Row &, Ctx &);
PyObject *getrowwt(const Row &, Ctx &);
PyObject *getrowinfo(const Row &, Ctx &);
PyObject *getcolinfo(const Row &, Ctx &);

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
