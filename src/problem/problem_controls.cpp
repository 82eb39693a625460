// getControl, setControl and getAttrib of korvu.problem.
#include "module/module.h"
#include "problem/methods.h"

using korvu::EnvLock;
using korvu::PyRef;

namespace {

// Reads the values of `names` (a tuple of names or of one sequence of names)
// into a dict, or one value for a single string.
PyObject *get_values(PyObject *self, PyObject *args, bool is_control) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  PyObject *obj = is_control ? p->controls : p->attributes;
  PyObject *table = is_control ? krv_py_env.control_table : krv_py_env.attribute_table;
  const char *unknown = is_control ? "Requested value of an unknown control"
                                   : "Requested value of an unknown attribute";
  if (!obj) {
    PyErr_SetString(korvu_ModelError, "The problem is not initialised");
    return nullptr;
  }
  Py_ssize_t n = PyTuple_GET_SIZE(args);
  if (n == 0) {
    return setKrvuErrIfNull(self, control_all_values(obj, is_control));
  }
  auto one = [&](PyObject *name) -> PyObject * {
    PyObject *entry;
    {
      EnvLock lock(KRV_MUTEX_TABLES);
      entry = PyUnicode_Check(name) ? PyDict_GetItemWithError(table, name) : nullptr;
    }
    if (!entry) {
      if (!PyErr_Occurred()) PyErr_SetString(korvu_InterfaceError, unknown);
      return nullptr;
    }
    PyRef hold = PyRef::borrow(entry);
    return problem_read_value(p, entry, is_control);
  };
  PyObject *names = args;
  if (n == 1) {
    PyObject *a = PyTuple_GET_ITEM(args, 0);
    if (PyUnicode_Check(a)) return setKrvuErrIfNull(self, one(a));
    names = a;
  }
  PyRef seq = PyRef::steal(PySequence_Fast(names, "getControl/getAttrib: names must be strings"));
  if (!seq) {
    PyErr_Clear();
    PyErr_SetString(korvu_InterfaceError, unknown);
    return nullptr;
  }
  PyRef result = PyRef::steal(PyDict_New());
  if (!result) return nullptr;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i) {
    PyObject *name = PySequence_Fast_GET_ITEM(seq.get(), i);
    PyRef v = PyRef::steal(one(name));
    if (!v || PyDict_SetItem(result.get(), name, v.get()) < 0)
      return setKrvuErrIfNull(self, nullptr);
  }
  return result.release();
}

}  // namespace

namespace {

PyObject *problem_getControl(PyObject *self, PyObject *args) { return get_values(self, args, true); }
PyObject *problem_getAttrib(PyObject *self, PyObject *args) { return get_values(self, args, false); }

int set_one(problem_s *p, PyObject *name, PyObject *value, const char *unknown) {
  PyObject *entry;
  {
    EnvLock lock(KRV_MUTEX_TABLES);
    entry = PyUnicode_Check(name) ? PyDict_GetItemWithError(krv_py_env.control_table, name) : nullptr;
  }
  if (!entry) {
    if (!PyErr_Occurred()) PyErr_SetString(korvu_InterfaceError, unknown);
    return -1;
  }
  PyRef hold = PyRef::borrow(entry);
  return problem_set_control(p, entry, value);
}

PyObject *problem_setControl(PyObject *self, PyObject *args) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!p->prob) {
    PyErr_SetString(korvu_ModelError, "The problem is not initialised");
    return nullptr;
  }
  Py_ssize_t n = PyTuple_GET_SIZE(args);
  if (n == 0) {
    PyErr_SetString(korvu_ModelError,
                    "setControl requires at least one argument of type dictionary or two "
                    "elements: parameter, value");
    return nullptr;
  }
  if (n > 2) {
    PyErr_SetString(korvu_ModelError, "setControl: arguments mismatch");
    return nullptr;
  }
  if (n == 2) {
    if (set_one(p, PyTuple_GET_ITEM(args, 0), PyTuple_GET_ITEM(args, 1),
                "Incorrect control name") < 0)
      return setKrvuErrIfNull(self, nullptr);
    Py_RETURN_NONE;
  }
  PyObject *d = PyTuple_GET_ITEM(args, 0);
  if (!PyDict_Check(d)) {
    PyErr_SetString(korvu_ModelError, "Single argument to setControl must be a dictionary");
    return nullptr;
  }
  PyRef items = PyRef::steal(PyDict_Items(d));
  if (!items) return nullptr;
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
    PyObject *item = PyList_GET_ITEM(items.get(), i);
    if (set_one(p, PyTuple_GET_ITEM(item, 0), PyTuple_GET_ITEM(item, 1),
                "Incorrect control name in dictionary passed to setControl") < 0)
      return setKrvuErrIfNull(self, nullptr);
  }
  Py_RETURN_NONE;
}

PyObject *problem_dumpcontrols(PyObject *self, PyObject *) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  // A message handler may have raised while the library logged.
  if (!p->prob || KRVUdumpcontrols(p->prob) != 0 || PyErr_Occurred())
    return setKrvuErrIfNull(self, nullptr);
  Py_RETURN_NONE;
}

}  // namespace

PyMethodDef problem_control_methods[] = {
    {"getControl", problem_getControl, METH_VARARGS,
     "getControl($self, *names)\n--\n\n"
     "Purpose:\n  Reads controls of the problem.\n\n"
     "Synopsis:\n  value = p.getControl(name)\n  values = p.getControl(name1, name2, ...)\n"
     "  values = p.getControl([name1, name2])\n  values = p.getControl()\n\n"
     "Arguments:\n  names: control names in lower case; none for every control.\n\n"
     "Example:\n  p.getControl('timelimit')\n\n"
     "Further information:\n  Several names give a dictionary of name to value.\n\n"
     "Related topics:\n  setControl, getAttrib, controls\n"},
    {"setControl", problem_setControl, METH_VARARGS,
     "setControl($self, name, value) or setControl({name: value, ...})\n--\n\n"
     "Purpose:\n  Sets controls of the problem.\n\n"
     "Synopsis:\n  p.setControl(name, value)\n  p.setControl({name1: value1, ...})\n\n"
     "Arguments:\n  name: a control name in lower case.\n  value: its new value, of the "
     "control's type.\n\n"
     "Example:\n  p.setControl('timelimit', 60)\n  p.setControl({'presolve': 0, 'threads': 1})\n\n"
     "Further information:\n  Dictionary entries are set in order; setting stops at the first "
     "failure.\n\n"
     "Related topics:\n  getControl, controls, korvu.controls\n"},
    {"getAttrib", problem_getAttrib, METH_VARARGS,
     "getAttrib($self, *names)\n--\n\n"
     "Purpose:\n  Reads attributes of the problem (results and statistics).\n\n"
     "Synopsis:\n  value = p.getAttrib(name)\n  values = p.getAttrib(name1, name2, ...)\n"
     "  values = p.getAttrib()\n\n"
     "Arguments:\n  names: attribute names in lower case; none for every attribute.\n\n"
     "Example:\n  p.getAttrib('cols')\n\n"
     "Related topics:\n  getControl, attributes\n"},
    {"dumpcontrols", problem_dumpcontrols, METH_NOARGS,
     "dumpcontrols($self)\n--\n\n"
     "Purpose:\n  Prints every control of the problem whose value is not its default.\n\n"
     "Synopsis:\n  p.dumpcontrols()\n\n"
     "Example:\n  p.controls.timelimit = 5; p.dumpcontrols()\n\n"
     "Related topics:\n  getControl, setControl\n"},
    {nullptr, nullptr, 0, nullptr},
};
