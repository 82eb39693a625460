// The nonlinear solves run as the other optimizers do: the interpreter lock
// released, Ctrl-C interrupting them, and an exception raised by a callback or
// a user function during the run is what the member raises.
#include "binding/custom/slp_solve.h"

#include "callbacks/callbacks.h"
#include "module/module.h"
#include "nonlinear/functions.h"
#include "problem/methods.h"
#include "problem/registration.h"

namespace korvu {
namespace wrap {
namespace custom {
namespace {

bool has_slp(Ctx &c, const char *member) {
  if (c.p->slpprob) return true;
  PyErr_Format(korvu_InterfaceError, "%s: the nonlinear solver is not available to this problem", member);
  return false;
}

template <class F>
PyObject *run_solver(Ctx &c, F &&call) {
  int rc;
  {
    BusyScope busy(c.p);
    if (!busy.ok()) return nullptr;
    nonlin_clear_user_error(c.p->slpprob);
    SigIntScope interruptible(c.prob);
    GilRelease unlocked;
    rc = call();
  }
  if (nonlin_restore_user_error(c.p->slpprob)) return nullptr;
  if (PyErr_Occurred() || callbacks_take_error(c.p)) return nullptr;
  if (rc != 0) return nullptr;  // the closing report raises the library's text
  Py_RETURN_NONE;
}

}  // namespace

PyObject *nlpoptimize(const Row &row, Ctx &c) {
  if (!has_slp(c, "nlpoptimize") || convert_value(row, c, 0) < 0) return nullptr;
  const std::string flags = c.text[0] ? c.text[0] : "";
  KSLPprob slp = c.p->slpprob;
  return run_solver(c, [&] { return KSLPnlpoptimize(slp, flags.c_str()); });
}

PyObject *globalsol(const Row &, Ctx &c) {
  if (!has_slp(c, "globalsol")) return nullptr;
  KSLPprob slp = c.p->slpprob;
  return run_solver(c, [&] { return KSLPglobal(slp); });
}

// "iiid": anything but integers and a number is the member's own refusal.
PyObject *validatekkt(const Row &row, Ctx &c) {
  for (int i = 0; i < 4; ++i) {
    PyObject *o = c.obj[i];
    bool ok = i < 3 ? PyLong_Check(o) : (PyLong_Check(o) || PyFloat_Check(o));
    if (!ok) {
      PyErr_SetString(korvu_InterfaceError, "Wrong arguments in validatekkt");
      return nullptr;
    }
  }
  if (!has_slp(c, "validatekkt")) return nullptr;
  for (int i = 0; i < 4; ++i)
    if (convert_value(row, c, i) < 0) return nullptr;
  if (KSLPvalidatekkt(c.p->slpprob, static_cast<int>(c.ival[0]), static_cast<int>(c.ival[1]),
                      static_cast<int>(c.ival[2]), c.dval[3]) != 0)
    return nullptr;
  Py_RETURN_NONE;
}

// The point must have one value per column; anything else is the member's
// own refusal, not the conversion's.
PyObject *validatevector(const Row &row, Ctx &c) {
  const int64_t cols = attr_or_fail(c, KRVU_ATTR_COLS);
  if (cols < 0) return nullptr;
  if (!given(c, 0)) {
    PyErr_SetString(korvu_InterfaceError, "Wrong arguments in validatevector");
    return nullptr;
  }
  if (convert_in(row, c, 0) < 0) {
    if (!PyErr_ExceptionMatches(korvu_ModelError) && !PyErr_ExceptionMatches(PyExc_TypeError)) return nullptr;
    PyErr_Clear();
    PyErr_SetString(korvu_InterfaceError, "Wrong arguments in validatevector");
    return nullptr;
  }
  if (c.len[0] != cols) {
    PyErr_SetString(korvu_InterfaceError, "Wrong vector size in validatevector");
    return nullptr;
  }
  if (!has_slp(c, "validatevector")) return nullptr;
  double suminf = 0, scaled = 0, obj = 0;
  if (KSLPvalidatevector(c.p->slpprob, static_cast<const double *>(c.arr[0]), &suminf, &scaled, &obj) != 0)
    return nullptr;
  return Py_BuildValue("(ddd)", suminf, scaled, obj);
}

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
