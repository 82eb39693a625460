// The nonlinear solver's callback kinds (the kinds table in kslp.h): the
// setcb<kind> methods and the trampolines the nonlinear solver calls.
//
// A kind holds one callable in the nonlinear solver (set replaces), while the
// problem's slot list keeps every entry set on it: the solver may still hold
// a pointer to an older entry until the new one is registered, and entries
// are released with the problem.  The trampolines receive the nonlinear
// handle (a multistart job's working copy, perhaps on a worker thread), find
// the library handle under it and give the callable a view of both.
#include <cmath>
#include <cstdint>

#include "callbacks/callbacks.h"
#include "module/module.h"
#include "problem/registration.h"

using korvu::GilGuard;
using korvu::PyRef;

namespace {

constexpr int kStopUser = KRVU_STOP_USER;

const char *const kNames[KSLP_CB_KIND_COUNT] = {
#define KORVU_SLPCB_NAME(slot, kind, ret, params, args, rule) #kind,
    KSLP_CB_KINDS(KORVU_SLPCB_NAME)
#undef KORVU_SLPCB_NAME
};

// How a kind reports a callable that raised: the shared integer trampoline's
// text and an interrupt of the library problem, or its own text and an
// interrupt of the nonlinear problem.
enum class Failure { Shared, Named, Message };

// Runs the callable of entry for the nonlinear problem slp.  body(view,
// callable, data) calls it and applies its result, returning false when the
// call raised (exception set) or the result was refused.
template <class Body>
bool run(int kind, Failure how, KSLPprob slp, void *entry, Body &&body) {
  GilGuard gil;
  PyObject *e = static_cast<PyObject *>(entry);
  problem_s *owner = entry_owner(e);
  void *handle = nullptr;
  if (slp) KSLPgetptrattrib(slp, KSLP_ATTR_KRVUPROB, &handle);
  KRVUprob prob = static_cast<KRVUprob>(handle);
  auto stop = [&](bool raised) {
    if (raised) {
      char text[96];
      if (how == Failure::Named)
        PyOS_snprintf(text, sizeof text, "Problem in %s() callback, stopping optimization\n", kNames[kind]);
      else if (how == Failure::Message)
        PyOS_snprintf(text, sizeof text, "Problem in message callback, stopping optimization\n");
      else
        PyOS_snprintf(text, sizeof text, "Problem in callback, stopping optimization\n");
      PySys_WriteStderr("%s", text);
    }
    if (how == Failure::Shared) {
      if (prob) KRVUinterrupt(prob, kStopUser);
    } else if (slp) {
      KSLPinterrupt(slp, kStopUser);
    }
  };
  if (PyErr_Occurred() || !owner || owner->cb_error || !prob) {
    stop(false);
    return false;
  }
  PyObject *view = view_new(owner, prob);
  if (!view) {
    callback_keep_error(owner);
    stop(false);
    return false;
  }
  reinterpret_cast<problem_s *>(view)->slpprob = slp;
  const problem_s *outer = korvu_callback_problem;
  korvu_callback_problem = owner;
  PyRef callable = PyRef::borrow(PyList_GET_ITEM(e, 1)), data = PyRef::borrow(PyList_GET_ITEM(e, 2));
  const bool ok = body(view, callable.get(), data.get());
  korvu_callback_problem = outer;
  if (!ok) {
    const bool raised = PyErr_Occurred() != nullptr;
    stop(raised);
    if (raised) callback_keep_error(owner);
  }
  view_release(view);
  return ok;
}

PyObject *to_py(int v) { return PyLong_FromLong(v); }
PyObject *to_py(double v) { return PyFloat_FromDouble(v); }
PyObject *to_py(const char *s) { return s ? library_text(s) : PyRef::borrow(Py_None).release(); }
// A multistart job's object is the Python object the job was queued with.
PyObject *to_py(void *job) {
  return PyRef::borrow(job ? static_cast<PyObject *>(job) : Py_None).release();
}

// Calls f(view, data, a...) and returns its result (null with an exception).
template <class... A>
PyRef call_with(PyObject *f, PyObject *view, PyObject *data, A... a) {
  PyRef conv[] = {PyRef::borrow(view), PyRef::borrow(data), PyRef::steal(to_py(a))...};
  for (const PyRef &x : conv)
    if (!x) return PyRef();
  constexpr size_t n = sizeof...(A) + 2;
  PyObject *argv[n];
  for (size_t k = 0; k < n; ++k) argv[k] = conv[k].get();
  return PyRef::steal(PyObject_Vectorcall(f, argv, n, nullptr));
}

// The integer result of a kind, as the shared integer trampoline reads it.
template <int Slot>
struct Rule_INTRET {
  static int call(KSLPprob slp, void *entry) {
    int result = 0;
    run(Slot - KSLP_CB_FIRST_SLOT, Failure::Shared, slp, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef r = call_with(f, v, d);
      if (r) result = callback_int_result(r.get());
      return bool(r);
    });
    return result;
  }
};

// The integer result goes to the kind's output.
template <int Slot>
struct Rule_INTOUT {
  static int call(KSLPprob slp, void *entry, int *out) {
    run(Slot - KSLP_CB_FIRST_SLOT, Failure::Shared, slp, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef r = call_with(f, v, d);
      if (r && out) *out = callback_int_result(r.get());
      return bool(r);
    });
    return 0;
  }
};

// The integer result is returned; -1 after an exception.
template <int Slot>
struct Rule_INTNAMED {
  template <class... A>
  static int call(KSLPprob slp, void *entry, A... a) {
    int result = -1;
    run(Slot - KSLP_CB_FIRST_SLOT, Failure::Named, slp, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef r = call_with(f, v, d, a...);
      if (r) result = callback_int_result(r.get());
      return bool(r);
    });
    return result;
  }
};

// The result is ignored: 0, or -1 after an exception.
template <int Slot>
struct Rule_NAMEDIGNORE {
  template <class... A>
  static int call(KSLPprob slp, void *entry, A... a) {
    const bool ok = run(Slot - KSLP_CB_FIRST_SLOT, Failure::Named, slp, entry,
                        [&](PyObject *v, PyObject *f, PyObject *d) { return bool(call_with(f, v, d, a...)); });
    return ok ? 0 : -1;
  }
};

// The new value of a determined column; None leaves the value as the row gave it.
template <int Slot>
struct Rule_DRCOL {
  static int call(KSLPprob slp, void *entry, int col, double value, double lb, double ub, double *newvalue) {
    const bool ok = run(Slot - KSLP_CB_FIRST_SLOT, Failure::Named, slp, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef r = call_with(f, v, d, col, value, lb, ub);
      if (!r) return false;
      if (r.get() == Py_None) return true;
      const double x = PyFloat_AsDouble(r.get());
      if (x == -1.0 && PyErr_Occurred()) return false;
      if (newvalue) *newvalue = x;
      return true;
    });
    return ok ? 0 : -1;
  }
};

// The job callbacks: the integer result is the job's status output.
template <int Slot>
struct Rule_MSJOB {
  static int call(KSLPprob slp, void *entry, void *job, const char *description, int *status) {
    const bool ok = run(Slot - KSLP_CB_FIRST_SLOT, Failure::Named, slp, entry, [&](PyObject *v, PyObject *f, PyObject *d) {
      PyRef r = call_with(f, v, d, job, description);
      if (r && status) *status = callback_int_result(r.get());
      return bool(r);
    });
    return ok ? 0 : -1;
  }
};

template <int Slot>
struct Rule_MSWINNER {
  static int call(KSLPprob slp, void *entry, void *job, const char *description) {
    return Rule_NAMEDIGNORE<Slot>::call(slp, entry, job, description);
  }
};

template <int Slot>
struct Rule_MESSAGE {
  static void call(KSLPprob slp, void *entry, const char *msg, int, int msgtype) {
    run(Slot - KSLP_CB_FIRST_SLOT, Failure::Message, slp, entry,
        [&](PyObject *v, PyObject *f, PyObject *d) { return bool(call_with(f, v, d, msg, msgtype)); });
  }
};

#define KORVU_SLPCB_WRAPPER(slot, kind, ret, params, args, rule)       \
  ret wrapper_##kind(KSLPprob slp, void *data KSLP_CB_EXPAND params) { \
    return Rule_##rule<slot>::call(slp, data KSLP_CB_EXPAND args);     \
  }
KSLP_CB_KINDS(KORVU_SLPCB_WRAPPER)
#undef KORVU_SLPCB_WRAPPER

// The library's registration of each kind's trampoline.
using SetFn = int (*)(KSLPprob, void *entry);
const SetFn kSet[KSLP_CB_KIND_COUNT] = {
#define KORVU_SLPCB_SET(slot, kind, ret, params, args, rule) \
  [](KSLPprob s, void *e) { return KSLPsetcb##kind(s, wrapper_##kind, e); },
    KSLP_CB_KINDS(KORVU_SLPCB_SET)
#undef KORVU_SLPCB_SET
};

template <int Slot>
PyObject *setcb(PyObject *self, PyObject *args, PyObject *kwargs) {
  PyObject *callback = nullptr, *data = Py_None, *priority = nullptr;
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!parse_callback_args(args, kwargs, &callback, &data, &priority)) return nullptr;
  if (!problem_ready(p)) return nullptr;
  if (!p->slpprob) {
    PyErr_Format(korvu_InterfaceError,
                 "setcb%s: the problem has no nonlinear solver handle (the nonlinear solver is not started)",
                 kNames[Slot - KSLP_CB_FIRST_SLOT]);
    return nullptr;
  }
  // The priority is kept with the entry; the nonlinear solver has no use for it.
  PyRef prio = priority ? PyRef::borrow(priority) : PyRef::steal(PyLong_FromLong(0));
  if (!prio) return nullptr;
  PyRef entry = PyRef::steal(callback_entry_new(p, callback, data, prio.get()));
  if (!entry) return nullptr;
  PyObject *&list = p->callbacks[Slot];
  PyRef created;
  if (!list) {
    created = PyRef::steal(PyList_New(0));
    if (!created) return nullptr;
  }
  PyObject *target = list ? list : created.get();
  if (PyList_Append(target, entry.get()) < 0) return nullptr;
  if (kSet[Slot - KSLP_CB_FIRST_SLOT](p->slpprob, entry.get()) != 0) {
    PySequence_DelItem(target, PyList_GET_SIZE(target) - 1);
    return setKrvuErrIfNull(self, nullptr);
  }
  if (!list) list = created.release();
  Py_RETURN_NONE;
}

// When each kind is called and what its callable receives and returns.
#define KORVU_SLPCB_WHEN_cascadeend "at the end of each cascade of determined columns; receives (problem, data); a non-zero integer stops the cascade"
#define KORVU_SLPCB_WHEN_cascadestart "at the start of each cascade of determined columns; receives (problem, data); a non-zero integer stops the cascade"
#define KORVU_SLPCB_WHEN_cascadevar "after a determined column was set from its row; receives (problem, data, column); a non-zero integer stops the cascade"
#define KORVU_SLPCB_WHEN_cascadevarfail "when a determined column cannot be set from its row; receives (problem, data, column); 0 keeps its old value and goes on, another integer stops"
#define KORVU_SLPCB_WHEN_coefevalerror "when a formula coefficient fails to evaluate or gives NaN or infinity; receives (problem, data, row, column); a non-zero integer stops the solve"
#define KORVU_SLPCB_WHEN_construct "when the nonlinear problem is constructed (each solve constructs it); receives (problem, data); a non-zero integer stops"
#define KORVU_SLPCB_WHEN_destroy "when the nonlinear problem is destroyed; receives (problem, data)"
#define KORVU_SLPCB_WHEN_drcol "for each determined column during a cascade; receives (problem, data, column, value, lower bound, upper bound) and returns the column's new value (a float; None keeps the value)"
#define KORVU_SLPCB_WHEN_iterend "after each iteration of the nonlinear solver; receives (problem, data); a non-zero integer stops the solve"
#define KORVU_SLPCB_WHEN_iterstart "before each iteration of the nonlinear solver; receives (problem, data); a non-zero integer stops the solve"
#define KORVU_SLPCB_WHEN_itervar "after each iteration, once for every column; receives (problem, data, column); the result is ignored"
#define KORVU_SLPCB_WHEN_msjobend "after a multistart job ran; receives (problem, data, job object, job description); a non-zero integer discards the job's result"
#define KORVU_SLPCB_WHEN_msjobstart "before a multistart job runs; receives (problem, data, job object, job description); a non-zero integer skips the job"
#define KORVU_SLPCB_WHEN_mswinner "once multistart is done, for the job whose result was kept; receives (problem, data, job object, job description); the result is ignored"
#define KORVU_SLPCB_WHEN_slpend "at the end of a nonlinear solve; receives (problem, data)"
#define KORVU_SLPCB_WHEN_slpnode "at each node of the nonlinear branch-and-bound; receives (problem, data); a non-zero integer stops the search"
#define KORVU_SLPCB_WHEN_slpstart "at the start of a nonlinear solve; receives (problem, data); a non-zero integer stops before the first iteration"
#define KORVU_SLPCB_WHEN_message "for each line of the nonlinear solver's log; receives (problem, data, message, message type); the result is ignored"
#define KORVU_SLPCB_WHEN_intsol "at each new integer solution of the nonlinear branch-and-bound; receives (problem, data)"
#define KORVU_SLPCB_WHEN_optnode "after a node's relaxation is solved in the nonlinear branch-and-bound; receives (problem, data); 0 marks the node infeasible"
#define KORVU_SLPCB_WHEN_prenode "before a node's relaxation is solved in the nonlinear branch-and-bound; receives (problem, data); a non-zero integer drops the node"

#define KORVU_SLPCB_DOC(slot, kind, ret, params, args, rule)                                                    \
  const char set_##kind##_doc[] =                                                                               \
      "setcb" #kind "($self, callback, data=None, priority=0)\n--\n\nPurpose:\n  Sets the nonlinear solver's " #kind \
      " callback, called " KORVU_SLPCB_WHEN_##kind ".\n\nSynopsis:\n  p.setcb" #kind                              \
      "(callback, data=None, priority=0)\n\nArguments:\n  callback: a callable.\n  data: any object, passed back " \
      "to the callable.\n  priority: an integer, accepted and not used by the nonlinear solver.\n\nExample:\n  "    \
      "p.setcb" #kind "(lambda prob, data, *args: 0)\n\nFurther information:\n  Setting a callback replaces the "  \
      "one set before; there is no removal.  The problem the callable receives is a view of the problem being "  \
      "solved.  A callable that raises stops the optimization; the solve raises its exception.\n\nRelated "        \
      "topics:\n  addcbmessage, msaddjob\n";
KSLP_CB_KINDS(KORVU_SLPCB_DOC)
#undef KORVU_SLPCB_DOC

PyMethodDef g_methods[] = {
#define KORVU_SLPCB_METHOD(slot, kind, ret, params, args, rule) \
  {"setcb" #kind, reinterpret_cast<PyCFunction>(setcb<slot>), METH_VARARGS | METH_KEYWORDS, set_##kind##_doc},
    KSLP_CB_KINDS(KORVU_SLPCB_METHOD)
#undef KORVU_SLPCB_METHOD
    {nullptr, nullptr, 0, nullptr},
};

static_assert(KSLP_CB_FIRST_SLOT + KSLP_CB_KIND_COUNT <= KORVU_CALLBACK_SLOTS,
              "the problem's callback slots hold the nonlinear kinds");

}  // namespace

PyMethodDef *problem_slp_callback_methods(void) { return g_methods; }
