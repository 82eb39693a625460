// User functions: registration with a problem's nonlinear solver, and the
// entry points the solver calls, which run the Python function.
#include <map>
#include <string>

#include "binding/convert.h"
#include "module/module.h"
#include "nonlinear/functions.h"

using korvu::PyRef;

namespace {

// The first exception raised by a user function of each nonlinear problem,
// kept until the solve that ran it returns (the solver may call from a thread
// other than the one that waits for it).  Guarded by the interpreter lock.
struct SavedError {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
};
std::map<KSLPprob, SavedError> g_errors;

void save_error(KSLPprob slp) {
  SavedError e;
  PyErr_Fetch(&e.type, &e.value, &e.traceback);
  auto it = g_errors.find(slp);
  if (it != g_errors.end()) {  // the first one explains the stop
    Py_XDECREF(e.type);
    Py_XDECREF(e.value);
    Py_XDECREF(e.traceback);
    return;
  }
  g_errors[slp] = e;
}

int fail(const char *msg) {
  PyErr_SetString(korvu_ModelError, msg);
  return -1;
}

// Runs the function of a call and writes what the solver asked for.
double run(const double *values, void *info, const double *deltas, double *results) {
  void *object = nullptr, *current = nullptr;
  int n = 0, noutput = 0, nderiv = 0, number = 0;
  if (KSLPgetfuncobject(info, KSLP_ATTR_CURRENTPROB, &current) != 0 ||
      KSLPgetfuncinfo(info, &n, &noutput, &nderiv, &number) != 0 ||
      KSLPgetuserfuncobject(static_cast<KSLPprob>(current), number, &object) != 0 || !object) {
    KSLPsetfuncerror(info);
    return -1.0;
  }
  KSLPprob slp = static_cast<KSLPprob>(current);
  auto failed = [&]() {
    save_error(slp);
    KSLPsetfuncerror(info);
    return -1.0;
  };
  PyObject *f = PyTuple_GET_ITEM(static_cast<PyObject *>(object), 0);
  PyRef args = PyRef::steal(PyTuple_New(n));
  if (!args) return failed();
  for (int i = 0; i < n; ++i) {
    PyObject *v = PyFloat_FromDouble(values[i]);
    if (!v) return failed();
    PyTuple_SET_ITEM(args.get(), i, v);
  }
  PyRef r = PyRef::steal(PyObject_Call(f, args.get(), nullptr));
  if (!r) return failed();
  bool tuple = PyTuple_Check(r.get());
  if (tuple && PyTuple_GET_SIZE(r.get()) == 0) {
    fail("A user function returned an empty tuple");
    return failed();
  }
  double value = PyFloat_AsDouble(tuple ? PyTuple_GET_ITEM(r.get(), 0) : r.get());
  if (value == -1.0 && PyErr_Occurred()) return failed();
  if (results && noutput > 0) results[0] = value;
  if (deltas && results && n > 0 && nderiv > 0 && tuple) {
    Py_ssize_t len = PyTuple_GET_SIZE(r.get());
    for (Py_ssize_t i = 1; i < len && i <= n; ++i) {
      if (deltas[i - 1] == 0.0) continue;
      double d = PyFloat_AsDouble(PyTuple_GET_ITEM(r.get(), i));
      if (d == -1.0 && PyErr_Occurred()) return failed();
      results[i] = d;
    }
  }
  // Without a results array the value is what the solver reads.
  return tuple && results ? 0.0 : value;
}

}  // namespace

extern "C" double kpy_generic_user_function(const double *values, void *info, const double *deltas,
                                            double *results) {
  PyGILState_STATE gil = PyGILState_Ensure();
  double r = run(values, info, deltas, results);
  PyGILState_Release(gil);
  return r;
}

extern "C" double kpy_generic_user_function_no_derivative(const double *values, void *info) {
  return kpy_generic_user_function(values, info, nullptr, nullptr);
}

extern "C" double kpy_generic_user_function_with_derivative(const double *values, void *info,
                                                            const double *deltas, double *results) {
  return kpy_generic_user_function(values, info, deltas, results);
}

bool nonlin_restore_user_error(KSLPprob slp) {
  auto it = g_errors.find(slp);
  if (it == g_errors.end()) return false;
  SavedError e = it->second;
  g_errors.erase(it);
  PyErr_Restore(e.type, e.value, e.traceback);
  return true;
}

void nonlin_clear_user_error(KSLPprob slp) {
  if (nonlin_restore_user_error(slp)) PyErr_Clear();
}

int createUserFunction(problem_s *p, PyObject *args, int *number, int derivatives) {
  if (!PyTuple_Check(args) || PyTuple_GET_SIZE(args) < 1 || !PyCallable_Check(PyTuple_GET_ITEM(args, 0)))
    return fail("Invalid user function, must specify at least one argument (the user function itself)");
  if (!p->slpprob) return fail("The nonlinear solver is not available to this problem");
  PyObject *f = PyTuple_GET_ITEM(args, 0);
  if (!p->userfuncs && !(p->userfuncs = PyDict_New())) return -1;
  // Entries map the function to (function, number), the object the solver
  // hands back to the entry points (owned here while the problem lives).
  PyObject *known = PyDict_GetItemWithError(p->userfuncs, f);
  if (!known && PyErr_Occurred()) return -1;
  if (known) {
    long num = PyLong_AsLong(PyTuple_GET_ITEM(known, 1));
    void *held = nullptr;
    if (KSLPgetuserfuncobject(p->slpprob, static_cast<int>(num), &held) == 0 && held == known) {
      *number = static_cast<int>(num);
      return 0;
    }
    // The nonlinear problem was made anew (a reset): every entry is stale.
    PyDict_Clear(p->userfuncs);
  }

  PyObject *tmp = nullptr;
  PyRef name_obj = PyRef::steal(PyObject_GetAttrString(f, "__name__"));
  if (!name_obj) PyErr_Clear();
  const char *name = name_obj && PyUnicode_Check(name_obj.get()) ? pyStrToStr(name_obj.get(), nullptr, &tmp) : nullptr;
  std::string text = name ? name : "user_function";
  if (!name) PyErr_Clear();
  Py_XDECREF(tmp);

  int i1 = 0, i2 = 0;
  int rc = KSLPsetstring(p->slpprob, &i1, text.c_str());
  if (rc == 0) rc = KSLPsetstring(p->slpprob, &i2, "DirectC");
  if (rc) return rc;
  // The library numbers its functions in the order added; one added by a
  // registration that failed half-way keeps its number.
  int num = static_cast<int>(PyDict_Size(p->userfuncs)) + 1;
  for (void *held = nullptr; KSLPgetuserfuncobject(p->slpprob, num, &held) == 0;) ++num;
  PyRef entry = PyRef::steal(Py_BuildValue("(Oi)", f, num));
  if (!entry) return -1;
  const int types[5] = {5, 87, 86, 5, 0};
  const double values[5] = {static_cast<double>(i1), 1.0, derivatives ? 110611.0 : 19.0,
                            static_cast<double>(i2), 0.0};
  void *address = derivatives ? reinterpret_cast<void *>(kpy_generic_user_function_with_derivative)
                              : reinterpret_cast<void *>(kpy_generic_user_function_no_derivative);
  if ((rc = KSLPadduserfuncs(p->slpprob, 1, 5, types, values)) != 0 ||
      (rc = KSLPaddnames(p->slpprob, 5, text.c_str(), num, num)) != 0 ||
      (rc = KSLPchguserfuncaddress(p->slpprob, num, address)) != 0 ||
      (rc = KSLPsetuserfuncobject(p->slpprob, num, entry.get())) != 0)
    return rc;
  if (PyDict_SetItem(p->userfuncs, f, entry.get()) < 0) return -1;
  *number = num;
  return 0;
}
