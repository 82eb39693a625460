// Library start and stop requests, output routing, message handlers and the
// module-level functions of the library's global environment.
#include <cstring>

#include "binding/handles.h"
#include "module/module.h"
#include "module/numpy_api.h"

using korvu::EnvLock;
using korvu::PyRef;

namespace {

// Starts we made on the library and on its nonlinear solver (the library
// counts them too); a forced stop releases exactly these.
int g_lib_starts = 0;
int g_slp_starts = 0;
bool g_printer_registered = false;

int wrapper_msghandler(void *object, void *entry, void *thread, const char *text, int type,
                       int number);

void release_entry(void *entry) {
  // After the interpreter has gone there is nothing left to release.
  if (!Py_IsInitialized()) return;
  korvu::GilGuard gil;
  Py_DECREF(static_cast<PyObject *>(entry));
}

// Library messages of the global environment.  Problems print their own
// messages through the printer registered when they are created.
int krv_py_print(void *object, void *, void *, const char *text, int, int) {
  const char *name = nullptr;
  if (object && KRVUgetobjecttypename(object, &name) == 0 && name &&
      (std::strcmp(name, "KRVUprob") == 0 || std::strcmp(name, "KSLPprob") == 0))
    return 0;
  krv_py_print_general(text);
  return 0;
}

}  // namespace

void krv_py_print_general(const char *text) {
  int enabled;
  {
    EnvLock lock(KRV_MUTEX_OUTPUT);
    enabled = krv_py_env.output_enabled;
  }
  if (!enabled || !text) return;
  korvu::GilGuard gil;
  // PySys_WriteStdout truncates past 1000 bytes, so long texts go in pieces.
  char piece[1001];
  size_t len = std::strlen(text);
  for (size_t off = 0; off < len; off += 1000) {
    size_t n = len - off < 1000 ? len - off : 1000;
    std::memcpy(piece, text + off, n);
    piece[n] = '\0';
    PySys_WriteStdout("%s", piece);
  }
  PySys_WriteStdout("\n");
}

int turnKRVUon(int force) {
  int count, slp_state;
  {
    EnvLock lock(KRV_MUTEX_LIBSTATE);
    count = ++krv_py_env.start_count;
    slp_state = krv_py_env.slp_state;
  }
  if (!force && count > 1) return 0;

  if (KRVUinit(nullptr) != 0) {
    char buffer[2048];
    buffer[0] = '\0';
    KRVU_ge_getlasterror(nullptr, buffer, sizeof buffer, nullptr);
    {
      EnvLock lock(KRV_MUTEX_LIBSTATE);
      --krv_py_env.start_count;
    }
    PyErr_SetString(korvu_InterfaceError, buffer[0] ? buffer : "Could not start the optimizer library");
    return -1;
  }
  ++g_lib_starts;
  // A forced start registers the printer again; keep one registration.
  if (!g_printer_registered) g_printer_registered = KRVU_ge_addcbmsghandler(krv_py_print, nullptr, 1) == 0;

  if (slp_state != 0) {
    if (KSLPinit() != 0) {
      // The library itself is started; only nonlinear problems are unavailable.
      PyErr_SetString(korvu_InterfaceError, "Error initializing KSLP environment");
      return -1;
    }
    ++g_slp_starts;
    EnvLock lock(KRV_MUTEX_LIBSTATE);
    krv_py_env.slp_state = 1;
  }

  Py_ssize_t filled;
  {
    EnvLock lock(KRV_MUTEX_TABLES);
    filled = krv_py_env.attribute_table ? PyDict_Size(krv_py_env.attribute_table) : 1;
  }
  if (filled == 0 && fill_control_tables(0) != 0) return -1;
  return 0;
}

int turnKRVUoff(int force) {
  int count, slp_state;
  {
    EnvLock lock(KRV_MUTEX_LIBSTATE);
    if (krv_py_env.start_count > 0) --krv_py_env.start_count;
    count = krv_py_env.start_count;
    slp_state = krv_py_env.slp_state;
  }
  if (!force && count != 0) return 0;
  if (force) {
    EnvLock lock(KRV_MUTEX_LIBSTATE);
    krv_py_env.start_count = 0;
  }
  (void)slp_state;
  if (g_lib_starts == 0) return 0;  // not started: nothing to stop
  int stops = force ? g_lib_starts : 1;
  for (; g_slp_starts > 0 && (force || g_slp_starts >= g_lib_starts); --g_slp_starts) {
    if (KSLPfree() != 0) {
      setKrvuErrIfNull(nullptr, nullptr);
      return -1;
    }
  }
  if (g_lib_starts == stops && g_printer_registered) {
    KRVU_ge_removecbmsghandler(krv_py_print, nullptr);
    g_printer_registered = false;
  }
  for (; stops > 0; --stops, --g_lib_starts) {
    if (KRVUfree() != 0) {
      setKrvuErrIfNull(nullptr, nullptr);
      return -1;
    }
  }
  return 0;
}

namespace {

PyObject *none() { Py_RETURN_NONE; }

PyObject *korvumod_init(PyObject *, PyObject *) {
  if (turnKRVUon(1) != 0) return setKrvuErrIfNull(nullptr, nullptr);
  return none();
}

PyObject *korvumod_free(PyObject *, PyObject *) {
  if (turnKRVUoff(1) != 0) return setKrvuErrIfNull(nullptr, nullptr);
  return none();
}

PyObject *korvumod_getversion(PyObject *, PyObject *) {
  char buffer[32];
  if (turnKRVUon(0) != 0 || KRVUgetversion(buffer) != 0) return setKrvuErrIfNull(nullptr, nullptr);
  return PyUnicode_FromString(buffer);
}

PyObject *korvumod_getbanner(PyObject *, PyObject *) {
  char buffer[512];
  if (turnKRVUon(0) != 0 || KRVUgetbanner(buffer) != 0) return setKrvuErrIfNull(nullptr, nullptr);
  return PyUnicode_FromString(buffer);
}

PyObject *korvumod_getcheckedmode(PyObject *, PyObject *) {
  int flag = 0;
  if (turnKRVUon(0) != 0 || KRVUgetcheckedmode(&flag) != 0)
    return setKrvuErrIfNull(nullptr, nullptr);
  return PyBool_FromLong(flag);
}

PyObject *korvumod_setcheckedmode(PyObject *, PyObject *arg) {
  if (turnKRVUon(0) != 0 || KRVUsetcheckedmode(arg == Py_True ? 1 : 0) != 0)
    return setKrvuErrIfNull(nullptr, nullptr);
  return none();
}

PyObject *korvumod_setarchconsistency(PyObject *, PyObject *arg) {
  int flag = (arg == Py_None || arg == Py_False) ? 0 : 1;
  if (KRVU_ge_setarchconsistency(flag) != 0) return setKrvuErrIfNull(nullptr, nullptr);
  return none();
}

PyObject *korvumod_setdefaultcontrol(PyObject *, PyObject *arg) {
  EnvLock lock(KRV_MUTEX_DEFAULTS);
  if (PyDict_Contains(krv_py_env.default_controls, arg) == 1 &&
      PyDict_DelItem(krv_py_env.default_controls, arg) < 0)
    return nullptr;
  PyErr_Clear();  // an unhashable name simply names no control
  return none();
}

PyObject *korvumod_setdefaults(PyObject *, PyObject *) {
  EnvLock lock(KRV_MUTEX_DEFAULTS);
  PyDict_Clear(krv_py_env.default_controls);
  return none();
}

PyObject *korvumod_getOutputEnabled(PyObject *, PyObject *) {
  EnvLock lock(KRV_MUTEX_OUTPUT);
  return PyBool_FromLong(krv_py_env.output_enabled);
}

bool is_integer_like(PyObject *o) {
  return PyLong_Check(o) || PyArray_IsScalar(o, Integer) || PyArray_IsScalar(o, Bool);
}

PyObject *korvumod_setOutputEnabled(PyObject *, PyObject *arg) {
  if (!is_integer_like(arg)) {
    PyErr_SetString(korvu_ModelError,
                    "Incorrect argument in setOutputEnabled: should be True or False");
    return nullptr;
  }
  int truth = PyObject_IsTrue(arg);
  if (truth < 0) return nullptr;
  EnvLock lock(KRV_MUTEX_OUTPUT);
  krv_py_env.output_enabled = truth ? 1 : 0;
  return none();
}

int wrapper_msghandler(void *object, void *entry_ptr, void *thread, const char *text, int type,
                       int number) {
  korvu::GilGuard gil;
  if (PyErr_Occurred()) return 0;
  PyObject *entry = static_cast<PyObject *>(entry_ptr);
  if (!PyList_Check(entry) || PyList_GET_SIZE(entry) != 2) {
    PyErr_SetString(korvu_InterfaceError, "Incorrect general environment message handler detected");
    return -1;
  }
  PyObject *fn = PyList_GET_ITEM(entry, 0);
  PyObject *data = PyList_GET_ITEM(entry, 1);
  PyRef obj = PyRef::steal(krvuobject_create(object));
  PyRef thr = PyRef::steal(voidstar_create(thread));
  if (!obj || !thr) return -1;
  PyRef res = PyRef::steal(PyObject_CallFunction(fn, "OOOsii", obj.get(), data, thr.get(),
                                                 text ? text : "", type, number));
  // An exception raised by the handler stays pending for the caller to see.
  return 0;
}

PyObject *korvumod_addcbmsghandler(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"msghandler", "data", "priority", nullptr};
  PyObject *fn, *data;
  int priority;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOi", const_cast<char **>(kwlist), &fn, &data,
                                   &priority)) {
    PyErr_Clear();
    PyErr_SetString(korvu_InterfaceError,
                    "Incorrect arguments in addcbmsghandler. Must provide correct list of three "
                    "arguments");
    return nullptr;
  }
  if (!PyCallable_Check(fn)) {
    PyErr_SetString(korvu_InterfaceError, "The message handler passed to addcbmsghandler must be callable");
    return nullptr;
  }
  PyRef entry = PyRef::steal(PyList_New(2));
  if (!entry) return nullptr;
  Py_INCREF(fn);
  Py_INCREF(data);
  PyList_SET_ITEM(entry.get(), 0, fn);
  PyList_SET_ITEM(entry.get(), 1, data);
  {
    EnvLock lock(KRV_MUTEX_MSGHANDLERS);
    if (PyList_Append(krv_py_env.msghandlers, entry.get()) < 0) return nullptr;
  }
  // The library holds a reference of its own, released when the last call of
  // the handler in progress (on any thread) has returned after its removal.
  bool added = false;
  if (turnKRVUon(0) == 0) {
    Py_INCREF(entry.get());
    added = KRVU_ge_addcbmsghandler_owned(wrapper_msghandler, entry.get(), priority, release_entry) == 0;
    if (!added) Py_DECREF(entry.get());
  }
  if (!added) {
    EnvLock lock(KRV_MUTEX_MSGHANDLERS);
    Py_ssize_t n = PyList_GET_SIZE(krv_py_env.msghandlers);
    PyList_SetSlice(krv_py_env.msghandlers, n - 1, n, nullptr);
    return setKrvuErrIfNull(nullptr, nullptr);
  }
  return none();
}

// An entry matches when each named part is the stored one (None names anything).
bool entry_matches(PyObject *entry, PyObject *fn, PyObject *data) {
  PyObject *efn = PyList_GET_ITEM(entry, 0), *edata = PyList_GET_ITEM(entry, 1);
  auto same = [](PyObject *a, PyObject *b) {
    if (a == b) return true;
    int eq = PyObject_RichCompareBool(a, b, Py_EQ);
    if (eq < 0) PyErr_Clear();
    return eq == 1;
  };
  return (fn == Py_None || same(efn, fn)) && (data == Py_None || same(edata, data));
}

PyObject *korvumod_removecbmsghandler(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"msghandler", "data", nullptr};
  PyObject *fn, *data;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO", const_cast<char **>(kwlist), &fn, &data)) {
    PyErr_Clear();
    PyErr_SetString(korvu_InterfaceError,
                    "Incorrect arguments in removecbmsghandler. Must provide correct list of two "
                    "arguments");
    return nullptr;
  }
  bool found = false;
  EnvLock lock(KRV_MUTEX_MSGHANDLERS);
  PyObject *list = krv_py_env.msghandlers;
  for (Py_ssize_t i = PyList_GET_SIZE(list) - 1; i >= 0; --i) {
    PyObject *entry = PyList_GET_ITEM(list, i);
    if (!PyList_Check(entry) || PyList_GET_SIZE(entry) != 2) {
      PyErr_SetString(korvu_InterfaceError, "Incorrect data stored in callback");
      return nullptr;
    }
    if (!entry_matches(entry, fn, data)) continue;
    if (turnKRVUon(0) != 0) return setKrvuErrIfNull(nullptr, nullptr);
    if (KRVU_ge_removecbmsghandler(wrapper_msghandler, entry) != 0)
      return setKrvuErrIfNull(nullptr, nullptr);
    if (PyList_SetSlice(list, i, i + 1, nullptr) < 0) return nullptr;
    found = true;
  }
  if (!found) {
    PyErr_SetString(korvu_InterfaceError, "Callback not found");
    return nullptr;
  }
  return none();
}

}  // namespace

#define KORVU_DOC(sig, purpose, synopsis, args, example, further, related) \
  sig "\n--\n\nPurpose:\n  " purpose "\n\nSynopsis:\n  " synopsis "\n\n" args    \
  "Example:\n  " example "\n\n" further "Related topics:\n  " related "\n"

PyMethodDef korvu_frame_methods[] = {
    {"init", korvumod_init, METH_NOARGS,
     KORVU_DOC("init()", "Starts the optimizer library (it also starts by itself when needed).",
               "korvu.init()", "", "korvu.init()",
               "Further information:\n  Calling it when the library is started registers its "
               "output again.\n\n",
               "korvu.free")},
    {"free", korvumod_free, METH_NOARGS,
     KORVU_DOC("free()", "Stops the optimizer library and its nonlinear solver at once.",
               "korvu.free()", "", "korvu.free()",
               "Further information:\n  The next problem created starts the library again.\n\n",
               "korvu.init")},
    {"getversion", korvumod_getversion, METH_NOARGS,
     KORVU_DOC("getversion()", "Returns the version of the optimizer library.",
               "v = korvu.getversion()", "", "print(korvu.getversion())", "",
               "korvu.getbanner")},
    {"getbanner", korvumod_getbanner, METH_NOARGS,
     KORVU_DOC("getbanner()", "Returns the banner of the optimizer library.",
               "b = korvu.getbanner()", "", "print(korvu.getbanner())", "", "korvu.getversion")},
    {"getcheckedmode", korvumod_getcheckedmode, METH_NOARGS,
     KORVU_DOC("getcheckedmode()",
               "Tells whether the library checks the arguments of its calls in depth.",
               "flag = korvu.getcheckedmode()", "", "korvu.getcheckedmode()", "",
               "korvu.setcheckedmode")},
    {"setcheckedmode", korvumod_setcheckedmode, METH_O,
     KORVU_DOC("setcheckedmode(checked_mode)",
               "Switches the library's in-depth argument checks on or off.",
               "korvu.setcheckedmode(checked_mode)",
               "Arguments:\n  checked_mode: True switches checks on; any other value off.\n\n",
               "korvu.setcheckedmode(True)", "", "korvu.getcheckedmode")},
    {"setarchconsistency", korvumod_setarchconsistency, METH_O,
     KORVU_DOC("setarchconsistency(ifArchConsistent)",
               "Asks for results that do not depend on the processor's instruction set.",
               "korvu.setarchconsistency(ifArchConsistent)",
               "Arguments:\n  ifArchConsistent: None or False switch it off; anything else on.\n\n",
               "korvu.setarchconsistency(True)", "", "korvu.setcheckedmode")},
    {"setdefaultcontrol", korvumod_setdefaultcontrol, METH_O,
     KORVU_DOC("setdefaultcontrol(ipar)",
               "Forgets the module-level default of one control, so that problems created "
               "afterwards get the library's own default.",
               "korvu.setdefaultcontrol(name)",
               "Arguments:\n  ipar: the control's name, e.g. 'timelimit'.\n\n",
               "korvu.controls.timelimit = 10; korvu.setdefaultcontrol('timelimit')", "",
               "korvu.setdefaults, korvu.controls")},
    {"setdefaults", korvumod_setdefaults, METH_NOARGS,
     KORVU_DOC("setdefaults()", "Forgets every module-level control default.",
               "korvu.setdefaults()", "", "korvu.setdefaults()", "",
               "korvu.setdefaultcontrol, korvu.controls")},
    {"getOutputEnabled", korvumod_getOutputEnabled, METH_NOARGS,
     KORVU_DOC("getOutputEnabled()",
               "Tells whether library output is printed to standard output.",
               "flag = korvu.getOutputEnabled()", "", "korvu.getOutputEnabled()", "",
               "korvu.setOutputEnabled")},
    {"setOutputEnabled", korvumod_setOutputEnabled, METH_O,
     KORVU_DOC("setOutputEnabled(flag)",
               "Switches printing of library and problem output to standard output.",
               "korvu.setOutputEnabled(flag)",
               "Arguments:\n  flag: True or False (an integer is accepted).\n\n",
               "korvu.setOutputEnabled(False)", "", "korvu.getOutputEnabled, korvu.addcbmsghandler")},
    {"addcbmsghandler", reinterpret_cast<PyCFunction>(korvumod_addcbmsghandler),
     METH_VARARGS | METH_KEYWORDS,
     KORVU_DOC("addcbmsghandler(msghandler, data, priority)",
               "Adds a handler that receives every message of the optimizer library.",
               "korvu.addcbmsghandler(msghandler, data, priority)",
               "Arguments:\n  msghandler: called as msghandler(object, data, thread, text, "
               "type, number).\n  data: any object, passed back to the handler.\n  priority: "
               "handlers of higher priority are called first.\n\n",
               "korvu.addcbmsghandler(lambda o, d, t, msg, typ, n: print(msg), None, 0)", "",
               "korvu.removecbmsghandler")},
    {"removecbmsghandler", reinterpret_cast<PyCFunction>(korvumod_removecbmsghandler),
     METH_VARARGS | METH_KEYWORDS,
     KORVU_DOC("removecbmsghandler(msghandler, data)",
               "Removes message handlers added with addcbmsghandler.",
               "korvu.removecbmsghandler(msghandler, data)",
               "Arguments:\n  msghandler: the handler, or None for any.\n  data: its data, or "
               "None for any.\n\n",
               "korvu.removecbmsghandler(None, None)", "", "korvu.addcbmsghandler")},
    {nullptr, nullptr, 0, nullptr},
};
