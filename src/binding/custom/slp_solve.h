// Bodies of the nonlinear solving and validation members that the dispatch
// does not cover (binding/slp_solve.cpp holds their rows).
#pragma once
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace custom {

PyObject *nlpoptimize(const Row &, Ctx &);
PyObject *globalsol(const Row &, Ctx &);
PyObject *validatekkt(const Row &, Ctx &);
PyObject *validatevector(const Row &, Ctx &);

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
