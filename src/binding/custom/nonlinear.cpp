// Members over the nonlinear solver's column properties: every property is a
// pointer the library leaves alone when null, so None (or leaving it out)
// passes null and a value must be of the property's type.
#include <string>

#include "binding/custom/custom.h"
#include "model/algebra.h"
#include "module/module.h"
#include "module/numpy_api.h"

namespace korvu {
namespace wrap {
namespace custom {

bool has_slp(Ctx &c, const char *member) {
  if (c.p->slpprob) return true;
  PyErr_Format(korvu_InterfaceError, "%s: the nonlinear solver is not available to this problem", member);
  return false;
}

// Arguments: colindex, detrow, six numbers, four integers (the library's order).
PyObject *chgvar(const Row &row, Ctx &c) {
  constexpr int kFirstDouble = 2, kFirstInt = 8, kEnd = 12;
  const char *bad = "Incorrect arguments to chgvar";
  if (!given(c, 0)) {
    PyErr_SetString(korvu_InterfaceError, bad);
    return nullptr;
  }
  for (int i = kFirstDouble; i < kEnd; ++i) {
    if (!given(c, i)) continue;
    bool ok = i < kFirstInt ? is_numeric(c.obj[i]) : (PyLong_Check(c.obj[i]) || PyArray_IsScalar(c.obj[i], Integer));
    if (!ok) {
      PyErr_SetString(korvu_InterfaceError, bad);
      return nullptr;
    }
  }
  if (!has_slp(c, "chgvar")) return nullptr;
  for (int i = 0; i < kEnd; ++i)
    if ((i == 0 || given(c, i)) && convert_value(row, c, i) < 0) return nullptr;
  int ints[kEnd];
  for (int i = 0; i < kEnd; ++i) ints[i] = static_cast<int>(c.ival[i]);
  auto ip = [&](int i) -> const int * { return given(c, i) ? &ints[i] : nullptr; };
  auto dp = [&](int i) -> const double * { return given(c, i) ? &c.dval[i] : nullptr; };
  if (KSLPchgvar(c.p->slpprob, ints[0], ip(1), dp(2), dp(3), dp(4), dp(5), dp(6), dp(7), ip(8), ip(9),
                 ip(10), ip(11)) != 0)
    return nullptr;
  Py_RETURN_NONE;
}

PyObject *getvar(const Row &row, Ctx &c) {
  if (!has_slp(c, "getvar") || convert_value(row, c, 0) < 0) return nullptr;
  int detrow, tolset, history, converged, vartype, lastactive, determined, index;
  double initstepbound, stepbound, penalty, damp, initvalue, value, laststep;
  if (KSLPgetvar(c.p->slpprob, static_cast<int>(c.ival[0]), &detrow, &initstepbound, &stepbound, &penalty,
                 &damp, &initvalue, &value, &tolset, &history, &converged, &vartype, &lastactive,
                 &determined, &index, &laststep) != 0)
    return nullptr;
  return Py_BuildValue("(iddddddiiiiiiid)", detrow, initstepbound, stepbound, penalty, damp, initvalue, value,
                       tolset, history, converged, vartype, lastactive, determined, index, laststep);
}


// factor None keeps the coefficient's factor (a null pointer).
PyObject *chgccoef(const Row &row, Ctx &c) {
  const char *bad = "Wrong arguments in chgccoef";
  if (!given(c, 0) || !given(c, 1) || !given(c, 3) || (given(c, 2) && !is_numeric(c.obj[2]))) {
    PyErr_SetString(korvu_InterfaceError, bad);
    return nullptr;
  }
  if (!has_slp(c, "chgccoef")) return nullptr;
  if (convert_value(row, c, 0) < 0 || convert_value(row, c, 1) < 0 || convert_value(row, c, 3) < 0)
    return nullptr;
  double factor = 0.0;
  if (given(c, 2)) {
    factor = PyFloat_AsDouble(c.obj[2]);
    if (factor == -1.0 && PyErr_Occurred()) return nullptr;
  }
  if (KSLPchgccoef(c.p->slpprob, static_cast<int>(c.ival[0]), static_cast<int>(c.ival[1]),
                   given(c, 2) ? &factor : nullptr, c.text[3]) != 0)
    return nullptr;
  Py_RETURN_NONE;
}

PyObject *getccoef(const Row &row, Ctx &c) {
  constexpr int kMaxLen = 10000;
  if (convert_value(row, c, 2) < 0) return nullptr;
  if (c.ival[2] < 1 || c.ival[2] > kMaxLen) {
    PyErr_SetString(korvu_InterfaceError, "Incorrect argument to getccoef or excessive formula length requested");
    return nullptr;
  }
  if (!has_slp(c, "getccoef") || convert_value(row, c, 0) < 0 || convert_value(row, c, 1) < 0) return nullptr;
  std::string text(static_cast<size_t>(c.ival[2]) + 1, '\0');
  double factor = 0.0;
  if (KSLPgetccoef(c.p->slpprob, static_cast<int>(c.ival[0]), static_cast<int>(c.ival[1]), &factor, &text[0],
                   static_cast<int>(c.ival[2])) != 0)
    return nullptr;
  return Py_BuildValue("(ds)", factor, text.c_str());
}

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
