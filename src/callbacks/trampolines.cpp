// The trampolines the library calls, one per kind, generated from the kinds
// table: each takes the interpreter lock, builds a view, calls the Python
// callable and converts its result by the kind's rule.  A callable that
// raises stops the optimization; its exception is raised by the solve.
#include <cmath>

#include "callbacks/callbacks.h"
#include "module/module.h"

using korvu::GilGuard;
using korvu::PyRef;

const char *const korvu_cb_kind_names[KRVU_CB_KIND_COUNT] = {
#define KORVU_CB_NAME(slot, kind, ret, params, args, rule) #kind,
    KRVU_CB_KINDS(KORVU_CB_NAME)
#undef KORVU_CB_NAME
};

// "Integer" results: an integer gives its value, None 0, anything else -1.
int callback_int_result(PyObject *r) {
  if (r == Py_None) return 0;
  if (!PyFloat_Check(r) && PyIndex_Check(r)) {
    PyRef i = PyRef::steal(PyNumber_Index(r));
    if (i) {
      int overflow = 0;
      long v = PyLong_AsLongAndOverflow(i.get(), &overflow);
      if (!overflow && v >= INT32_MIN && v <= INT32_MAX) return static_cast<int>(v);
      return overflow > 0 || v > 0 ? INT32_MAX : INT32_MIN;
    }
    PyErr_Clear();
  }
  return -1;
}

// An exception raised on another thread than the one solving would be lost
// with that thread's state: it is kept with the problem until the solve ends.
void callback_keep_error(problem_s *owner) {
  if (!owner->busy || owner->busy_thread == PyThread_get_thread_ident() || owner->cb_error) return;
  PyObject *t, *v, *tb;
  PyErr_Fetch(&t, &v, &tb);
  owner->cb_error = Py_BuildValue("(NNN)", t ? t : korvu::PyRef::borrow(Py_None).release(),
                                  v ? v : korvu::PyRef::borrow(Py_None).release(),
                                  tb ? tb : korvu::PyRef::borrow(Py_None).release());
}

namespace {

int int_result(PyObject *r) { return callback_int_result(r); }
void keep_error(problem_s *owner) { callback_keep_error(owner); }

// The kinds with a shared integer-style trampoline report failures with one
// generic text; the others name themselves.
#define KORVU_NAMED_INTOUT false
#define KORVU_NAMED_INTRET false
#define KORVU_NAMED_IGNORE false
#define KORVU_NAMED_ARGS true
#define KORVU_NAMED_MESSAGE true
#define KORVU_NAMED_MIPTHREAD true
#define KORVU_NAMED_PREINTSOL true
#define KORVU_NAMED_GAP true
#define KORVU_NAMED_BRANCHOBJ true
constexpr bool kNamedMessage[KRVU_CB_KIND_COUNT] = {
#define KORVU_CB_NAMED(slot, kind, ret, params, args, rule) KORVU_NAMED_##rule,
    KRVU_CB_KINDS(KORVU_CB_NAMED)
#undef KORVU_CB_NAMED
};

bool is_number(PyObject *o) { return !PyBool_Check(o) && (PyFloat_Check(o) || PyIndex_Check(o)); }

PyObject *to_py(int v) { return PyLong_FromLong(v); }
PyObject *to_py(double v) { return PyFloat_FromDouble(v); }
PyObject *to_py(const char *s) { return s ? library_text(s) : korvu::PyRef::borrow(Py_None).release(); }

void stop_optimization(KRVUprob prob, const char *message) {
  PySys_WriteStderr("%s", message);
  KRVUinterrupt(prob, KRVU_STOP_USER);
}

// The shared part of every trampoline.  body(view, callable, data) calls the
// callable and applies the result; it returns false when the call raised
// (exception set) or the result had the wrong form (message written).
template <class Body>
void dispatch(int slot, KRVUprob prob, void *entry, Body &&body) {
  GilGuard gil;
  PyObject *e = static_cast<PyObject *>(entry);
  problem_s *owner = entry_owner(e);
  if (PyErr_Occurred() || !owner || owner->cb_error) {
    KRVUinterrupt(prob, KRVU_STOP_USER);
    return;
  }
  PyObject *view = view_new(owner, prob);
  if (!view) {
    keep_error(owner);
    KRVUinterrupt(prob, KRVU_STOP_USER);
    return;
  }
  const problem_s *outer = korvu_callback_problem;
  korvu_callback_problem = owner;
  PyRef callable = PyRef::borrow(PyList_GET_ITEM(e, 1)), data = PyRef::borrow(PyList_GET_ITEM(e, 2));
  const bool ok = body(view, callable.get(), data.get());
  korvu_callback_problem = outer;
  if (!ok && PyErr_Occurred()) {
    static const char *const generic = "Problem in callback, stopping optimization\n";
    char text[96];
    const bool named = kNamedMessage[slot];
    if (named) PyOS_snprintf(text, sizeof text, "Problem in %s() callback, stopping optimization\n", korvu_cb_kind_names[slot]);
    stop_optimization(prob, named ? text : generic);
    keep_error(owner);
  } else if (!ok) {
    KRVUinterrupt(prob, KRVU_STOP_USER);
  }
  view_release(view);
}

template <class... A>
PyObject *call(PyObject *callable, PyObject *view, PyObject *data, A... a) {
  return PyObject_CallFunctionObjArgs(callable, view, data, a..., nullptr);
}

template <int Slot>
struct Rule_INTOUT {
  static void call(KRVUprob prob, void *entry, int *out) {
    dispatch(Slot, prob, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef r = PyRef::steal(::call(f, v, d));
      if (r && out) *out = int_result(r.get());
      return bool(r);
    });
  }
};

template <int Slot>
struct Rule_INTRET {
  static int call(KRVUprob prob, void *entry) {
    int result = 0;
    dispatch(Slot, prob, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef r = PyRef::steal(::call(f, v, d));
      if (r) result = int_result(r.get());
      return bool(r);
    });
    return result;
  }
};

template <int Slot>
struct Rule_IGNORE {
  static void call(KRVUprob prob, void *entry) {
    dispatch(Slot, prob, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      return bool(PyRef::steal(::call(f, v, d)));
    });
  }
};

template <int Slot>
struct Rule_ARGS {
  template <class... A>
  static void call(KRVUprob prob, void *entry, A... a) {
    dispatch(Slot, prob, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef args[] = {PyRef::steal(to_py(a))...};
      for (const PyRef &x : args)
        if (!x) return false;
      return bool(callv(f, v, d, args, std::index_sequence_for<A...>()));
    });
  }
  template <size_t... I>
  static PyRef callv(PyObject *f, PyObject *v, PyObject *d, PyRef *args, std::index_sequence<I...>) {
    return PyRef::steal(::call(f, v, d, args[I].get()...));
  }
};

template <int Slot>
struct Rule_MESSAGE {
  static void call(KRVUprob prob, void *entry, const char *msg, int len, int msgtype) {
    dispatch(Slot, prob, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef m = PyRef::steal(to_py(msg)), t = PyRef::steal(to_py(msgtype));
      return m && t && bool(PyRef::steal(::call(f, v, d, m.get(), t.get())));
    });
  }
};

template <int Slot>
struct Rule_MIPTHREAD {
  static void call(KRVUprob prob, void *entry, KRVUprob thread) {
    dispatch(Slot, prob, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyObject *tv = view_new(entry_owner(static_cast<PyObject *>(entry)), thread);
      if (!tv) return false;
      PyRef r = PyRef::steal(::call(f, v, d, tv));
      view_release(tv);
      return bool(r);
    });
  }
};

template <int Slot>
struct Rule_PREINTSOL {
  static void call(KRVUprob prob, void *entry, int soltype, int *reject, double *cutoff) {
    dispatch(Slot, prob, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef t = PyRef::steal(to_py(soltype)), c = PyRef::steal(to_py(cutoff ? *cutoff : 0.0));
      if (!t || !c) return false;
      PyRef r = PyRef::steal(::call(f, v, d, t.get(), c.get()));
      if (!r) return false;
      PyObject *a = nullptr, *b = nullptr;
      bool good = PyTuple_Check(r.get()) && PyTuple_GET_SIZE(r.get()) == 2;
      if (good) {
        a = PyTuple_GET_ITEM(r.get(), 0);
        b = PyTuple_GET_ITEM(r.get(), 1);
        good = (a == Py_None || (!PyFloat_Check(a) && PyIndex_Check(a))) && (b == Py_None || is_number(b));
      }
      if (!good) {
        PySys_WriteStderr("Problem in PreIntSol callback: must return tuple of two elements, both being a number or None.\n");
        return false;
      }
      if (a != Py_None && reject) *reject = int_result(a);
      if (b != Py_None && cutoff) {
        const double x = PyFloat_AsDouble(b);
        if (x == -1.0 && PyErr_Occurred()) return false;
        *cutoff = x;
      }
      return true;
    });
  }
};

template <int Slot>
struct Rule_GAP {
  static void call(KRVUprob prob, void *entry, double *t0, double *t1, double *t2, double *t3) {
    dispatch(Slot, prob, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef r = PyRef::steal(::call(f, v, d));
      if (!r) return false;
      bool good = PyTuple_Check(r.get()) && PyTuple_GET_SIZE(r.get()) == 4;
      for (Py_ssize_t k = 0; good && k < 4; ++k) {
        PyObject *o = PyTuple_GET_ITEM(r.get(), k);
        good = o == Py_None || is_number(o);
      }
      if (!good) {
        // None (nothing to change) is allowed as well as the tuple.
        if (r.get() == Py_None) return true;
        PySys_WriteStderr("Problem in GapNotify callback: must return tuple of four elements, each being a number or None.\n");
        return false;
      }
      double *out[4] = {t0, t1, t2, t3};
      for (Py_ssize_t k = 0; k < 4; ++k) {
        PyObject *o = PyTuple_GET_ITEM(r.get(), k);
        if (o == Py_None || !out[k]) continue;
        const double x = PyFloat_AsDouble(o);
        if (x == -1.0 && PyErr_Occurred()) return false;
        *out[k] = x;
      }
      return true;
    });
  }
};

template <int Slot>
struct Rule_BRANCHOBJ {
  static void call(KRVUprob prob, void *entry, KRVUbranchobject bo, KRVUbranchobject *newbo) {
    dispatch(Slot, prob, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef lent = PyRef::steal(branchobj_lend(bo, v));
      if (!lent) return false;
      PyRef r = PyRef::steal(::call(f, v, d, lent.get()));
      bool good = bool(r);
      if (r && r.get() != lent.get()) {
        if (PyObject_TypeCheck(r.get(), &korvu_branchobjType)) {
          KRVUbranchobject h = branchobj_take(r.get());
          if (newbo && h) *newbo = h;
        } else if (r.get() != Py_None) {
          PySys_WriteStderr("returned object from chgbranchobject() should be a branching object\n");
          good = false;
        }
      }
      branchobj_unlend(lent.get());
      return good;
    });
  }
};

}  // namespace

#define KORVU_CB_WRAPPER(slot, kind, ret, params, args, rule) \
  ret wrapper_##kind params { return Rule_##rule<slot>::call args; }
KRVU_CB_KINDS(KORVU_CB_WRAPPER)
#undef KORVU_CB_WRAPPER

int callbacks_take_error(problem_s *p) {
  if (!p->cb_error) return 0;
  PyObject *e = p->cb_error;
  p->cb_error = nullptr;
  PyObject *t = PyTuple_GET_ITEM(e, 0), *v = PyTuple_GET_ITEM(e, 1), *tb = PyTuple_GET_ITEM(e, 2);
  Py_INCREF(t);
  Py_INCREF(v);
  Py_INCREF(tb);
  Py_DECREF(e);
  PyErr_Restore(t, v == Py_None ? nullptr : v, tb == Py_None ? nullptr : tb);
  if (v == Py_None) Py_DECREF(v);
  if (tb == Py_None) Py_DECREF(tb);
  return 1;
}
