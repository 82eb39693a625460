// Controls and attributes: the tables filled from the library, the
// korvu.control and korvu.attribute types, and typed reads and writes.
#include <string>
#include <cstring>

#include "module/module.h"
#include "module/numpy_api.h"
#include "problem/problem.h"

using korvu::EnvLock;
using korvu::PyRef;

namespace {

struct control_s {
  PyObject_HEAD
  // The korvu.problem it belongs to, null for the module-level object.  Not
  // owned: the problem owns this object and detaches it when it goes, so that
  // dropping the last reference to a problem frees it at once.
  PyObject *problem;
  PyObject *dict;     // problem-bound: the control table (shared); module-level: defaults read at start
  int bound;          // 1 while bound to a live problem, 0 for the module level, -1 once detached
};

bool detached(control_s *self) {
  if (self->bound >= 0) return false;
  PyErr_SetString(korvu_ModelError, "The problem of this object no longer exists");
  return true;
}

enum { kTypeInt = 1, kTypeDouble = 2, kTypeString = 3 };
enum { kSourceLib = 0, kSourceSlp = 1, kSourceIpm = 2 };

// Adds one table entry; for a control also reads its value from the temporary
// problem into the module-level defaults.  Returns 0, 1 (left out) or -1.
int enter(const char *name, int id, int type, int source, bool is_control, KRVUprob prob,
          KSLPprob slp) {
  char lname[129];
  size_t n = std::strlen(name);
  if (n > 128) n = 128;
  for (size_t i = 0; i < n; ++i) lname[i] = static_cast<char>(tolower(name[i]));
  lname[n] = '\0';
  PyRef entry = PyRef::steal(Py_BuildValue("(iii)", id, type, source));
  if (!entry) return -1;
  if (!is_control)
    return PyDict_SetItemString(krv_py_env.attribute_table, lname, entry.get()) < 0 ? -1 : 0;

  PyRef value;
  if (source == kSourceLib) {
    if (type == kTypeInt) {
      int64_t v;
      if (KRVUgetintcontrol64(prob, id, &v) == 0) value = PyRef::steal(PyLong_FromLongLong(v));
    } else if (type == kTypeDouble) {
      double v;
      if (KRVUgetdblcontrol(prob, id, &v) == 0) value = PyRef::steal(PyFloat_FromDouble(v));
    } else {
      char buf[2048];
      if (KRVUgetstringcontrol(prob, id, buf, sizeof buf, nullptr) == 0)
        value = PyRef::steal(PyUnicode_FromString(buf));
    }
  } else if (slp) {
    if (type == kTypeInt) {
      int v;
      if (KSLPgetintcontrol(slp, id, &v) == 0) value = PyRef::steal(PyLong_FromLong(v));
    } else if (type == kTypeDouble) {
      double v;
      if (KSLPgetdblcontrol(slp, id, &v) == 0) value = PyRef::steal(PyFloat_FromDouble(v));
    } else {
      char buf[2048];
      if (KSLPgetstrcontrol(slp, id, buf) == 0) value = PyRef::steal(PyUnicode_FromString(buf));
    }
  }
  if (!value) {
    if (PyErr_Occurred()) return -1;
    return 1;  // unreadable: left out of both tables
  }
  control_s *ctl = reinterpret_cast<control_s *>(krv_py_env.controls);
  if (PyDict_SetItemString(krv_py_env.control_table, lname, entry.get()) < 0 ||
      PyDict_SetItemString(ctl->dict, lname, value.get()) < 0)
    return -1;
  return 0;
}

int enter_lists(KRVUprob prob, KSLPprob slp) {
  const KRVUcaentry *list;
  if (KRVUgetcalist_c(&list) != 0) {
    PyErr_SetString(PyExc_RuntimeError, "Could not get control/attribute list from Korvu");
    return -1;
  }
  for (; list->id != 0; ++list) {
    bool is_control = (list->flags & 0x20) != 0;
    int type = (list->flags & 1) ? kTypeInt : (list->flags & 2) ? kTypeDouble
             : (list->flags & 4) ? kTypeString : 0;
    if (!type) {
      PyErr_SetString(PyExc_RuntimeError, is_control
                                              ? "Erroneous control value/type in initialization"
                                              : "Erroneous attribute value/type in initialization");
      return -1;
    }
    if (enter(list->name, list->id, type, kSourceLib, is_control, prob, slp) < 0) return -1;
  }
  if (!slp) return 0;
  for (int source : {kSourceSlp, kSourceIpm}) {
    const KSLPcaentry *sl;
    if ((source == kSourceSlp ? KSLPgetcalist(&sl) : KSLPgetIPMcalist(&sl)) != 0) {
      PyErr_SetString(PyExc_RuntimeError, "Could not get control/attribute list from Korvu");
      return -1;
    }
    for (++sl; sl->name; ++sl) {
      int id, flags;
      if (KSLPcontrolcode(sl->name, &id, &flags) != 0) continue;
      if (flags & 0x200) continue;
      bool is_control = (flags & 0x10) != 0;
      int type = (flags & 1) ? kTypeInt : (flags & 2) ? kTypeDouble : (flags & 4) ? kTypeString : 0;
      if (!type) continue;
      if (enter(sl->name, sl->id, type, source, is_control, prob, slp) < 0) return -1;
    }
  }
  return 0;
}

// One line per control for help(korvu.controls) and the command line: name,
// default, accepted values and meaning, all from the library's registry.
int build_control_doc(KRVUprob prob, KSLPprob slp) {
  PyObject *table = krv_py_env.control_table;
  PyRef names = PyRef::steal(PyDict_Keys(table));
  if (!names || PyList_Sort(names.get()) < 0) return -1;
  std::string doc =
      "The controls of a problem (or, as korvu.controls, the defaults of new problems).\n\n"
      "Read and set them as attributes: p.controls.timelimit = 10.\n\n"
      "Controls (name, default, accepted values, meaning):\n";
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(names.get()); ++i) {
    PyObject *name = PyList_GET_ITEM(names.get(), i);
    PyObject *entry = PyDict_GetItem(table, name);
    if (!entry || !PyTuple_Check(entry) || PyTuple_GET_SIZE(entry) != 3) continue;
    int id = static_cast<int>(PyLong_AsLong(PyTuple_GET_ITEM(entry, 0)));
    int type = static_cast<int>(PyLong_AsLong(PyTuple_GET_ITEM(entry, 1)));
    int source = static_cast<int>(PyLong_AsLong(PyTuple_GET_ITEM(entry, 2)));
    std::string def;
    char buf[2048];
    if (type == kTypeInt) {
      int64_t v = 0;
      int iv = 0;
      if (source == kSourceLib ? KRVUgetintcontrol64(prob, id, &v) == 0
                               : slp && KSLPgetintcontrol(slp, id, &iv) == 0)
        def = std::to_string(source == kSourceLib ? v : iv);
    } else if (type == kTypeDouble) {
      double v = 0;
      if (source == kSourceLib ? KRVUgetdblcontrol(prob, id, &v) == 0
                               : slp && KSLPgetdblcontrol(slp, id, &v) == 0) {
        std::snprintf(buf, sizeof buf, "%g", v);
        def = buf;
      }
    } else {
      int n = 0;
      buf[0] = '\0';
      if (source == kSourceLib ? KRVUgetstringcontrol(prob, id, buf, sizeof buf, &n) == 0
                               : slp && KSLPgetstrcontrol(slp, id, buf) == 0)
        def = std::string("'") + buf + "'";
    }
    double lo, hi;
    std::string range;
    if (type != kTypeString && KRVUgetcarange(id, &lo, &hi) == 0) {
      std::snprintf(buf, sizeof buf, "[%.10g, %.10g]", lo, hi);
      range = buf;
    }
    const char *help = nullptr;
    if (KRVUgetcahelp(id, &help) != 0) help = nullptr;
    const char *text = PyUnicode_AsUTF8(name);
    if (!text) return -1;
    std::snprintf(buf, sizeof buf, "  %-24s %-10s %-18s %s\n", text, def.c_str(), range.c_str(),
                  help ? help : "");
    doc += buf;
  }
  // The type's __doc__ is read from tp_doc, an instance's from the type's
  // dictionary; both get the text, which lives as long as the module.
  static std::string kept;
  kept = doc;
  PyRef value = PyRef::steal(PyUnicode_FromString(kept.c_str()));
  if (!value || PyDict_SetItemString(korvu_controlType.tp_dict, "__doc__", value.get()) < 0)
    return -1;
  korvu_controlType.tp_doc = kept.c_str();
  PyType_Modified(&korvu_controlType);
  return 0;
}

}  // namespace

int fill_control_tables(int at_import) {
  if (KRVUinit(nullptr) != 0) {
    if (at_import) return 0;
    return setKrvuErrIfNull(nullptr, nullptr) ? 0 : -1;
  }
  bool slp_started = KSLPinit() == 0;
  if (slp_started) {
    EnvLock lock(KRV_MUTEX_LIBSTATE);
    krv_py_env.slp_state = 1;
  }
  KRVUprob prob = nullptr;
  KSLPprob slp = nullptr;
  int rc = 0;
  if (KRVUcreateprob(&prob) != 0 || (slp_started && KSLPcreateprob(&slp, &prob) != 0)) {
    PyErr_SetString(PyExc_RuntimeError, "Could not create temporary problem");
    rc = -1;
  } else {
    EnvLock lock(KRV_MUTEX_TABLES);
    rc = enter_lists(prob, slp);
    if (rc == 0) rc = build_control_doc(prob, slp);
  }
  if (slp) KSLPdestroyprob(slp);
  if (prob) KRVUdestroyprob(prob);
  bool stop_failed = (slp_started && KSLPfree() != 0);
  stop_failed = KRVUfree() != 0 || stop_failed;
  if (stop_failed && rc == 0) {
    PyErr_SetString(PyExc_RuntimeError, "Error initializing optimization environment");
    rc = -1;
  }
  return rc;
}

// --- typed access ----------------------------------------------------------

static bool entry_parts(PyObject *entry, int *id, int *type, int *source) {
  if (!PyTuple_Check(entry) || PyTuple_GET_SIZE(entry) != 3) {
    PyErr_SetString(korvu_InterfaceError, "Invalid entry of the control and attribute table");
    return false;
  }
  *id = static_cast<int>(PyLong_AsLong(PyTuple_GET_ITEM(entry, 0)));
  *type = static_cast<int>(PyLong_AsLong(PyTuple_GET_ITEM(entry, 1)));
  *source = static_cast<int>(PyLong_AsLong(PyTuple_GET_ITEM(entry, 2)));
  return !PyErr_Occurred();
}

PyObject *problem_read_value(problem_s *p, PyObject *entry, int is_control) {
  int id, type, source;
  if (!entry_parts(entry, &id, &type, &source)) return nullptr;
  PyObject *self = reinterpret_cast<PyObject *>(p);
  int rc = 0;
  bool slp = source != kSourceLib;
  if (slp && !p->slpprob) {
    PyErr_SetString(korvu_InterfaceError, "The nonlinear solver is not started");
    return nullptr;
  }
  switch (type) {
    case kTypeInt: {
      if (slp) {
        int v = 0;
        rc = is_control ? KSLPgetintcontrol(p->slpprob, id, &v) : KSLPgetintattrib(p->slpprob, id, &v);
        if (!rc) return PyLong_FromLong(v);
      } else {
        int64_t v = 0;
        rc = is_control ? KRVUgetintcontrol64(p->prob, id, &v) : KRVUgetintattrib64(p->prob, id, &v);
        if (!rc) return PyLong_FromLongLong(v);
      }
      break;
    }
    case kTypeDouble: {
      double v = 0;
      if (slp)
        rc = is_control ? KSLPgetdblcontrol(p->slpprob, id, &v) : KSLPgetdblattrib(p->slpprob, id, &v);
      else
        rc = is_control ? KRVUgetdblcontrol(p->prob, id, &v) : KRVUgetdblattrib(p->prob, id, &v);
      if (!rc) return PyFloat_FromDouble(v);
      break;
    }
    case kTypeString: {
      char buf[2048];
      buf[0] = '\0';
      if (slp)
        rc = is_control ? KSLPgetstrcontrol(p->slpprob, id, buf) : KSLPgetstrattrib(p->slpprob, id, buf);
      else
        rc = is_control ? KRVUgetstringcontrol(p->prob, id, buf, sizeof buf, nullptr)
                        : KRVUgetstringattrib(p->prob, id, buf, sizeof buf, nullptr);
      if (!rc) return PyUnicode_FromString(buf);
      break;
    }
    default:
      PyErr_SetString(korvu_ModelError, is_control ? "getControl() called with unknown ID"
                                                   : "getAttrib() called with unknown ID");
      return nullptr;
  }
  return setKrvuErrIfNull(self, nullptr);
}

namespace {
// Numeric values within the control's range: a module-level default that no
// problem would take is refused where it is set (a problem's own control is
// refused by the library, with its text).
int check_range(PyObject *entry, PyObject *value) {
  int id, type, source;
  if (!entry_parts(entry, &id, &type, &source)) return -1;
  if (type == kTypeString) return 0;
  double lo, hi;
  if (KRVUgetcarange(id, &lo, &hi) != 0) return 0;  // the library keeps no range for it
  double v = PyFloat_AsDouble(value);
  if (v == -1.0 && PyErr_Occurred()) return -1;
  if (!(v >= lo && v <= hi)) {
    PyRef shown = PyRef::steal(PyObject_Repr(value));
    if (!shown) return -1;
    char range[96];
    std::snprintf(range, sizeof range, "[%.10g, %.10g]", lo, hi);
    PyErr_Format(korvu_ModelError, "Value %U is outside the range %s of the control", shown.get(), range);
    return -1;
  }
  return 0;
}
}  // namespace

int check_control_value(PyObject *entry, PyObject *value) {
  int id, type, source;
  if (!entry_parts(entry, &id, &type, &source)) return -1;
  bool is_int = PyLong_Check(value) || PyArray_IsScalar(value, Integer);
  switch (type) {
    case kTypeDouble:
      if (is_int || PyFloat_Check(value) || PyArray_IsScalar(value, Floating)) return 0;
      PyErr_SetString(korvu_ModelError, "Cannot set non-numerical value to a floating-point control");
      return -1;
    case kTypeString:
      if (PyUnicode_Check(value)) return 0;
      PyErr_SetString(korvu_ModelError, "Cannot set non-string value to a string control");
      return -1;
    case kTypeInt:
      if (is_int) return 0;
      PyErr_SetString(korvu_ModelError, "Cannot set non-integer value to an integer control");
      return -1;
    default:
      PyErr_SetString(korvu_ModelError, "setControl called with unknown ID");
      return -1;
  }
}

int problem_set_control(problem_s *p, PyObject *entry, PyObject *value) {
  if (check_control_value(entry, value) < 0) return -1;
  int id, type, source;
  if (!entry_parts(entry, &id, &type, &source)) return -1;
  bool slp = source != kSourceLib;
  if (slp && !p->slpprob) {
    PyErr_SetString(korvu_InterfaceError, "The nonlinear solver is not started");
    return -1;
  }
  int rc;
  if (type == kTypeDouble) {
    double v = PyFloat_AsDouble(value);
    if (v == -1.0 && PyErr_Occurred()) return -1;
    rc = slp ? KSLPsetdblcontrol(p->slpprob, id, v) : KRVUsetdblcontrol(p->prob, id, v);
  } else if (type == kTypeString) {
    PyRef ascii = PyRef::steal(PyUnicode_AsASCIIString(value));
    if (!ascii) return -1;
    const char *s = PyBytes_AS_STRING(ascii.get());
    rc = slp ? KSLPsetstrcontrol(p->slpprob, id, s) : KRVUsetstrcontrol(p->prob, id, s);
  } else {
    PyRef asint = PyRef::steal(PyNumber_Index(value));
    if (!asint) return -1;
    long long v = PyLong_AsLongLong(asint.get());
    if (v == -1 && PyErr_Occurred()) return -1;
    if (slp) {
      if (v > INT32_MAX || v < INT32_MIN) {
        PyErr_SetString(korvu_ModelError, "Value out of range for an integer control");
        return -1;
      }
      rc = KSLPsetintcontrol(p->slpprob, id, static_cast<int>(v));
    } else {
      rc = KRVUsetintcontrol64(p->prob, id, v);
    }
  }
  if (rc) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  return 0;
}

// --- the control and attribute types ---------------------------------------

namespace {

// Looks a name up in a table under mutex 3; a borrowed entry or null.
PyObject *lookup(PyObject *table, PyObject *name) {
  EnvLock lock(KRV_MUTEX_TABLES);
  return PyDict_GetItemWithError(table, name);
}

PyObject *all_values(control_s *self, bool is_control);

PyObject *common_getattr(PyObject *obj, PyObject *name, bool is_control) {
  control_s *self = reinterpret_cast<control_s *>(obj);
  if (!PyUnicode_Check(name)) {
    PyErr_SetString(korvu_ModelError, is_control ? "Bad control request" : "Bad attribute request");
    return nullptr;
  }
  if (PyUnicode_CompareWithASCIIString(name, "__dict__") == 0) {
    Py_INCREF(self->dict);
    return self->dict;
  }
  if (PyUnicode_CompareWithASCIIString(name, "__class__") == 0) {
    Py_INCREF(Py_TYPE(obj));
    return reinterpret_cast<PyObject *>(Py_TYPE(obj));
  }
  // No control is named like a special attribute; leave those to Python's own
  // lookup so that hasattr(), copy and introspection keep working.
  Py_ssize_t len = PyUnicode_GET_LENGTH(name);
  if (len > 4 && PyUnicode_READ_CHAR(name, 0) == '_' && PyUnicode_READ_CHAR(name, 1) == '_' &&
      PyUnicode_READ_CHAR(name, len - 1) == '_' && PyUnicode_READ_CHAR(name, len - 2) == '_')
    return PyObject_GenericGetAttr(obj, name);
  if (detached(self)) return nullptr;
  if (!self->problem) {
    // Module level: a default set by the user wins over the value read at start.
    {
      EnvLock lock(KRV_MUTEX_DEFAULTS);
      PyObject *v = PyDict_GetItemWithError(krv_py_env.default_controls, name);
      if (v) {
        Py_INCREF(v);
        return v;
      }
    }
    if (PyErr_Occurred()) return nullptr;
    PyObject *v = PyDict_GetItemWithError(self->dict, name);
    if (v) {
      Py_INCREF(v);
      return v;
    }
    if (!PyErr_Occurred()) PyErr_SetString(korvu_InterfaceError, "Incorrect control name");
    return nullptr;
  }
  PyObject *entry = lookup(self->dict, name);
  if (!entry) {
    if (!PyErr_Occurred())
      PyErr_SetString(korvu_InterfaceError,
                      is_control ? "Incorrect control name" : "Incorrect attribute name");
    return nullptr;
  }
  PyRef hold = PyRef::borrow(entry);
  return problem_read_value(reinterpret_cast<problem_s *>(self->problem), entry, is_control);
}

PyObject *control_getattro(PyObject *obj, PyObject *name) { return common_getattr(obj, name, true); }
PyObject *attribute_getattro(PyObject *obj, PyObject *name) {
  return common_getattr(obj, name, false);
}

int control_setattro(PyObject *obj, PyObject *name, PyObject *value) {
  control_s *self = reinterpret_cast<control_s *>(obj);
  if (!PyUnicode_Check(name)) {
    PyErr_SetString(korvu_ModelError, "Bad control request");
    return -1;
  }
  if (!value) {
    PyErr_SetString(korvu_ModelError, "A control cannot be deleted");
    return -1;
  }
  PyObject *entry = lookup(krv_py_env.control_table, name);
  if (!entry) {
    if (!PyErr_Occurred()) PyErr_SetString(korvu_InterfaceError, "Incorrect control name");
    return -1;
  }
  PyRef hold = PyRef::borrow(entry);
  if (detached(self)) return -1;
  if (self->problem)
    return problem_set_control(reinterpret_cast<problem_s *>(self->problem), entry, value);
  if (check_control_value(entry, value) < 0 || check_range(entry, value) < 0) return -1;
  EnvLock lock(KRV_MUTEX_DEFAULTS);
  return PyDict_SetItem(krv_py_env.default_controls, name, value);
}

int attribute_setattro(PyObject *, PyObject *, PyObject *) {
  PyErr_SetString(korvu_ModelError, "A problem's attribute cannot be set");
  return -1;
}

PyObject *all_values(control_s *self, bool is_control) {
  if (detached(self)) return nullptr;
  if (!self->problem) {
    PyRef d = PyRef::steal(PyDict_Copy(self->dict));
    if (!d) return nullptr;
    EnvLock lock(KRV_MUTEX_DEFAULTS);
    if (PyDict_Update(d.get(), krv_py_env.default_controls) < 0) return nullptr;
    return d.release();
  }
  PyRef result = PyRef::steal(PyDict_New());
  if (!result) return nullptr;
  PyRef items;
  {
    EnvLock lock(KRV_MUTEX_TABLES);
    items = PyRef::steal(PyDict_Items(self->dict));
  }
  if (!items) return nullptr;
  problem_s *p = reinterpret_cast<problem_s *>(self->problem);
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
    PyObject *item = PyList_GET_ITEM(items.get(), i);
    PyObject *name = PyTuple_GET_ITEM(item, 0), *entry = PyTuple_GET_ITEM(item, 1);
    long id = PyLong_AsLong(PyTuple_GET_ITEM(entry, 0));
    PyRef v;
    if (id == 12013 || id == 22013) {
      v = PyRef::steal(PyLong_FromLong(-1));
    } else {
      long source = PyLong_AsLong(PyTuple_GET_ITEM(entry, 2));
      if (source != kSourceLib && !p->slpprob) continue;
      v = PyRef::steal(problem_read_value(p, entry, is_control));
    }
    if (!v || PyDict_SetItem(result.get(), name, v.get()) < 0) return nullptr;
  }
  return result.release();
}

PyObject *common_str(PyObject *obj, bool is_control) {
  PyRef d = PyRef::steal(all_values(reinterpret_cast<control_s *>(obj), is_control));
  return d ? PyObject_Str(d.get()) : nullptr;
}
PyObject *control_str(PyObject *obj) { return common_str(obj, true); }
PyObject *attribute_str(PyObject *obj) { return common_str(obj, false); }

int control_traverse(PyObject *obj, visitproc visit, void *arg) {
  control_s *self = reinterpret_cast<control_s *>(obj);
  Py_VISIT(self->dict);
  return 0;
}

int control_clear(PyObject *obj) {
  control_s *self = reinterpret_cast<control_s *>(obj);
  self->problem = nullptr;
  Py_CLEAR(self->dict);
  return 0;
}

void control_dealloc(PyObject *obj) {
  PyObject_GC_UnTrack(obj);
  control_clear(obj);
  Py_TYPE(obj)->tp_free(obj);
}

PyTypeObject make_type(const char *name, const char *doc, getattrofunc get, setattrofunc set,
                       reprfunc str) {
  PyTypeObject t = {PyVarObject_HEAD_INIT(nullptr, 0)};
  t.tp_name = name;
  t.tp_basicsize = sizeof(control_s);
  t.tp_dealloc = control_dealloc;
  t.tp_getattro = get;
  t.tp_setattro = set;
  t.tp_str = str;
  t.tp_repr = str;
  t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
  t.tp_doc = doc;
  t.tp_traverse = control_traverse;
  t.tp_clear = control_clear;
  t.tp_alloc = PyType_GenericAlloc;
  return t;
}

PyObject *new_bound(PyTypeObject *type, PyObject *problem, PyObject *table) {
  control_s *self = PyObject_GC_New(control_s, type);
  if (!self) return nullptr;
  self->problem = problem;
  self->bound = problem ? 1 : 0;
  Py_INCREF(table);
  self->dict = table;
  PyObject_GC_Track(self);
  return reinterpret_cast<PyObject *>(self);
}

}  // namespace

PyTypeObject korvu_controlType = make_type(
    "korvu.control",
    "The controls of a problem (or, as korvu.controls, the defaults of new problems).\n\n"
    "Read and set them as attributes: p.controls.timelimit = 10.",
    control_getattro, control_setattro, control_str);
PyTypeObject korvu_attributeType = make_type(
    "korvu.attribute", "The attributes of a problem, read as attributes: p.attributes.cols.",
    attribute_getattro, attribute_setattro, attribute_str);

PyObject *control_new(PyObject *problem) {
  if (!problem) {
    PyRef dict = PyRef::steal(PyDict_New());
    return dict ? new_bound(&korvu_controlType, nullptr, dict.get()) : nullptr;
  }
  return new_bound(&korvu_controlType, problem, krv_py_env.control_table);
}

PyObject *control_all_values(PyObject *obj, int is_control) {
  return all_values(reinterpret_cast<control_s *>(obj), is_control != 0);
}

PyObject *attribute_new(PyObject *problem) {
  return new_bound(&korvu_attributeType, problem, krv_py_env.attribute_table);
}

void control_detach(PyObject *obj) {
  if (!obj) return;
  control_s *self = reinterpret_cast<control_s *>(obj);
  self->problem = nullptr;
  self->bound = -1;
}
