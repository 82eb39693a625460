// Bodies of the multistart members (custom/slp_multistart.cpp).
#pragma once
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace custom {

PyObject *msaddjob(const Row &, Ctx &);
PyObject *msaddpreset(const Row &, Ctx &);
PyObject *msaddcustompreset(const Row &, Ctx &);
PyObject *msclear(const Row &, Ctx &);

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
