// Registration of Python callbacks on a problem: addcb<kind>, removecb<kind>
// and copycallbacks, generated for every library kind from the kinds table.
#include "callbacks/callbacks.h"
#include "module/module.h"

using korvu::PyRef;

namespace {

// The library's registration and removal of each kind's trampoline.
struct KindOps {
  int (*add)(KRVUprob, void *entry, int priority);
  int (*remove)(KRVUprob, void *entry);
};
const KindOps kOps[KRVU_CB_KIND_COUNT] = {
#define KORVU_CB_OPS(slot, kind, ret, params, args, rule)                                          \
  {[](KRVUprob p, void *e, int pr) { return KRVUaddcb##kind(p, wrapper_##kind, e, pr); },          \
   [](KRVUprob p, void *e) { return KRVUremovecb##kind(p, wrapper_##kind, e); }},
    KRVU_CB_KINDS(KORVU_CB_OPS)
#undef KORVU_CB_OPS
};

void discard(PyObject *entry) { PyList_SetItem(entry, 0, PyRef::borrow(Py_None).release()); }

}  // namespace

PyObject *callback_entry_new(problem_s *p, PyObject *callable, PyObject *data, PyObject *priority) {
  PyRef owner = PyRef::steal(PyCapsule_New(p, nullptr, nullptr));
  if (!owner) return nullptr;
  PyRef entry = PyRef::steal(PyList_New(4));
  if (!entry) return nullptr;
  PyList_SET_ITEM(entry.get(), 0, owner.release());
  PyList_SET_ITEM(entry.get(), 1, PyRef::borrow(callable).release());
  PyList_SET_ITEM(entry.get(), 2, PyRef::borrow(data).release());
  PyList_SET_ITEM(entry.get(), 3, PyRef::borrow(priority).release());
  return entry.release();
}

// Registers one entry [problem, callable, data, priority] in a slot.
int callbackInList(problem_s *p, PyObject **slots, int slot, PyObject *callable, PyObject *data,
                   PyObject *priority) {
  if (slot < 0 || slot >= KRVU_CB_KIND_COUNT) {
    PyErr_SetString(korvu_InterfaceError, "Incorrect callback function");
    return -1;
  }
  int prio = static_cast<int>(PyLong_AsLong(priority));
  if (prio == -1 && PyErr_Occurred()) return -1;
  PyRef entry = PyRef::steal(callback_entry_new(p, callable, data, priority));
  if (!entry) return -1;
  PyRef list = PyRef::borrow(slots[slot]);
  if (!list && !(list = PyRef::steal(PyList_New(0)))) return -1;
  // Appended first, so that a refusal by the library leaves nothing behind.
  if (PyList_Append(list.get(), entry.get()) < 0) return -1;
  if (kOps[slot].add(p->prob, entry.get(), prio) != 0) {
    PySequence_DelItem(list.get(), PyList_GET_SIZE(list.get()) - 1);
    discard(entry.get());
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  if (!slots[slot]) slots[slot] = list.release();
  return 0;
}

// Removes the entries of a slot matching callable and data (null: any).
int removeCallback(problem_s *p, PyObject **slots, PyObject *callable, PyObject *data, int slot,
                   int unregister) {
  PyObject *list = slots[slot];
  if (!list) {
    if (!callable) return 0;
    PyErr_SetString(korvu_InterfaceError, "Cannot remove callback from an empty set");
    return -1;
  }
  bool found = false;
  for (Py_ssize_t i = PyList_GET_SIZE(list) - 1; i >= 0; --i) {
    PyObject *e = PyList_GET_ITEM(list, i);
    if (!PyList_Check(e) || PyList_GET_SIZE(e) != 4) {
      PyErr_SetString(korvu_InterfaceError, "Incorrect data stored in callback");
      return -1;
    }
    if ((callable && PyList_GET_ITEM(e, 1) != callable) || (data && PyList_GET_ITEM(e, 2) != data)) continue;
    found = true;
    PyRef keep = PyRef::borrow(e);
    if (unregister && p->prob && kOps[slot].remove(p->prob, e) != 0) {
      setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
      return -1;
    }
    discard(e);
    if (PySequence_DelItem(list, i) < 0) return -1;
  }
  if ((!callable && !data) || PyList_GET_SIZE(list) == 0) Py_CLEAR(slots[slot]);
  if (!found && (callable || data)) {
    PyErr_SetString(korvu_InterfaceError, "Callback not found");
    return -1;
  }
  return 0;
}

int callbacks_copy(problem_s *dst, problem_s *src) {
  for (int slot = 0; slot < KRVU_CB_KIND_COUNT; ++slot) {
    PyObject *list = src->callbacks[slot];
    if (!list) continue;
    // A copy of the list: a registration may run Python code.
    PyRef items = PyRef::steal(PyList_GetSlice(list, 0, PyList_GET_SIZE(list)));
    if (!items) return -1;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
      PyObject *e = PyList_GET_ITEM(items.get(), i);
      if (!PyList_Check(e) || PyList_GET_SIZE(e) != 4) {
        PyErr_SetString(korvu_InterfaceError, "Invalid callback to be copied");
        return -1;
      }
      if (callbackInList(dst, dst->callbacks, slot, PyList_GET_ITEM(e, 1), PyList_GET_ITEM(e, 2),
                         PyList_GET_ITEM(e, 3)) < 0)
        return -1;
    }
  }
  return 0;
}

bool parse_callback_args(PyObject *args, PyObject *kwargs, PyObject **callback, PyObject **data,
                         PyObject **priority) {
  static const char *kwlist[] = {"callback", "data", "priority", nullptr};
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|OO", const_cast<char **>(kwlist), callback, data,
                                   priority) ||
      !PyCallable_Check(*callback) || (*priority && (PyBool_Check(*priority) || !PyLong_Check(*priority)))) {
    PyErr_Clear();
    PyErr_SetString(korvu_InterfaceError, "Cannot add callback");
    return false;
  }
  return true;
}

namespace {

bool ready(problem_s *p) {
  if (p->prob) return true;
  PyErr_SetString(korvu_InterfaceError, "The problem is not initialised");
  return false;
}

template <int Slot>
PyObject *addcb(PyObject *self, PyObject *args, PyObject *kwargs) {
  PyObject *callback = nullptr, *data = Py_None, *priority = nullptr;
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!parse_callback_args(args, kwargs, &callback, &data, &priority)) return nullptr;
  if (!ready(p)) return nullptr;
  PyRef prio = priority ? PyRef::borrow(priority) : PyRef::steal(PyLong_FromLong(0));
  if (!prio || callbackInList(p, p->callbacks, Slot, callback, data, prio.get()) < 0) return nullptr;
  Py_RETURN_NONE;
}

template <int Slot>
PyObject *removecb(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"callback", "data", nullptr};
  PyObject *callback = Py_None, *data = Py_None;
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO", const_cast<char **>(kwlist), &callback, &data) ||
      (callback != Py_None && !PyCallable_Check(callback))) {
    PyErr_Clear();
    PyErr_SetString(korvu_InterfaceError, "Cannot remove callback");
    return nullptr;
  }
  if (!ready(p)) return nullptr;
  if (removeCallback(p, p->callbacks, callback == Py_None ? nullptr : callback, data == Py_None ? nullptr : data,
                     Slot, 1) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

PyObject *copycallbacks(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"src", nullptr};
  PyObject *src = nullptr;
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O", const_cast<char **>(kwlist), &src) ||
      !korvu_is_problem(src) || !p->prob || !reinterpret_cast<problem_s *>(src)->prob) {
    PyErr_Clear();
    PyErr_SetString(korvu_InterfaceError, "copycallbacks() must be called with the source problem as argument");
    return nullptr;
  }
  if (callbacks_copy(p, reinterpret_cast<problem_s *>(src)) < 0) return nullptr;
  Py_RETURN_NONE;
}

#define KORVU_CB_ARGDOC_INTOUT "the problem view and data; an integer result (None 0, anything else -1) is the kind's output"
#define KORVU_CB_ARGDOC_INTRET "the problem view and data; a non-zero integer result stops the solve"
#define KORVU_CB_ARGDOC_IGNORE "the problem view and data; the result is ignored"
#define KORVU_CB_ARGDOC_ARGS "the problem view, data and the kind's values; the result is ignored"
#define KORVU_CB_ARGDOC_MESSAGE "the problem view, data, the message text and its type; the result is ignored"
#define KORVU_CB_ARGDOC_MIPTHREAD "the problem view, data and a view of the worker's problem"
#define KORVU_CB_ARGDOC_PREINTSOL "the problem view, data, the solution type and the cutoff; returns (reject, new cutoff), each a number or None"
#define KORVU_CB_ARGDOC_GAP "the problem view and data; returns four new gap targets (relative gap, absolute gap, objective, bound), each a number or None"
#define KORVU_CB_ARGDOC_BRANCHOBJ "the problem view, data and the search's korvu.branchobj for the node; returns a korvu.branchobj to branch by instead, or None"

#define KORVU_CB_DOCS(slot, kind, ret, params, args, rule)                                                  \
  const char add_##kind##_doc[] =                                                                           \
      "addcb" #kind "($self, callback, data=None, priority=0)\n--\n\nPurpose:\n  Registers a " #kind                 \
      " callback: the solver calls it with " KORVU_CB_ARGDOC_##rule ".\n\nSynopsis:\n  p.addcb" #kind         \
      "(callback, data=None, priority=0)\n\nArguments:\n  callback: a callable.\n  data: any object, passed " \
      "back to the callable.\n  priority: an integer; higher priorities are called first.\n\nExample:\n  "   \
      "p.addcb" #kind "(lambda prob, data, *args: None)\n\nFurther information:\n  A callable that raises "    \
      "stops the optimization; solve() raises its exception.\n\nRelated topics:\n  removecb" #kind           \
      ", copycallbacks\n";                                                                                    \
  const char remove_##kind##_doc[] =                                                                        \
      "removecb" #kind "($self, callback=None, data=None)\n--\n\nPurpose:\n  Removes " #kind                          \
      " callbacks registered with the given callable and data (None: any).\n\nSynopsis:\n  p.removecb" #kind \
      "(callback=None, data=None)\n\nArguments:\n  callback: the callable given to addcb" #kind                \
      ", or None.\n  data: the data given with it, or None.\n\nExample:\n  p.removecb" #kind                  \
      "()\n\nRelated topics:\n  addcb" #kind "\n";
KRVU_CB_KINDS(KORVU_CB_DOCS)
#undef KORVU_CB_DOCS

const char copycallbacks_doc[] =
    "copycallbacks($self, src)\n--\n\nPurpose:\n  Registers on this problem every callback registered on src, kind by "
    "kind and in registration order, with the same callable, data and priority.\n\nSynopsis:\n  "
    "p.copycallbacks(src)\n\nArguments:\n  src: a korvu.problem.\n\nExample:\n  q.copycallbacks(p)\n\n"
    "Related topics:\n  copy, addcbintsol\n";

PyMethodDef g_methods[] = {
#define KORVU_CB_METHODS(slot, kind, ret, params, args, rule)                                            \
  {"addcb" #kind, reinterpret_cast<PyCFunction>(addcb<slot>), METH_VARARGS | METH_KEYWORDS, add_##kind##_doc}, \
  {"removecb" #kind, reinterpret_cast<PyCFunction>(removecb<slot>), METH_VARARGS | METH_KEYWORDS,           \
   remove_##kind##_doc},
    KRVU_CB_KINDS(KORVU_CB_METHODS)
#undef KORVU_CB_METHODS
    {"copycallbacks", reinterpret_cast<PyCFunction>(copycallbacks), METH_VARARGS | METH_KEYWORDS, copycallbacks_doc},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef *problem_callback_methods(void) { return g_methods; }
