// Python callbacks of every library kind: registration on a problem, the
// trampolines the library calls, the problem views callables receive, and
// the branching-object type.
#pragma once
#include "problem/problem.h"

// The trampoline of each kind (trampolines.cpp), registered with the library
// with the callback entry as its data.
#define KORVU_CB_WRAPPER_DECL(slot, kind, ret, params, args, rule) ret wrapper_##kind params;
KRVU_CB_KINDS(KORVU_CB_WRAPPER_DECL)
#undef KORVU_CB_WRAPPER_DECL

// The kind names by slot.
extern const char *const korvu_cb_kind_names[KRVU_CB_KIND_COUNT];

// A callback entry is a list [owner, callable, data, priority]; the owner,
// the registering problem, is held as a capsule of a pointer without a
// reference (None once the entry is discarded).
inline problem_s *entry_owner(PyObject *entry) {
  PyObject *o = PyList_GET_ITEM(entry, 0);
  return PyCapsule_CheckExact(o) ? static_cast<problem_s *>(PyCapsule_GetPointer(o, nullptr)) : nullptr;
}

// A new entry [owner, callable, data, priority] (null with an exception).
PyObject *callback_entry_new(problem_s *p, PyObject *callable, PyObject *data, PyObject *priority);

// Parses (callback, data=None, priority=0) of addcb<kind> and setcb<kind>:
// a callable, anything, an integer.  False with "Cannot add callback".
// priority stays null when it is left out.
bool parse_callback_args(PyObject *args, PyObject *kwargs, PyObject **callback, PyObject **data,
                         PyObject **priority);

// The addcb<kind>/removecb<kind> and copycallbacks methods of korvu.problem.
PyMethodDef *problem_callback_methods(void);

// Registers on dst every callback of src's library kinds, slot by slot and
// in registration order.  0, or -1 with an exception.
int callbacks_copy(problem_s *dst, problem_s *src);

// What every trampoline shares (trampolines.cpp): the integer reading of a
// callable's result (an integer its value, None 0, anything else -1), and
// keeping an exception raised on a worker thread with the problem.
int callback_int_result(PyObject *r);
void callback_keep_error(problem_s *owner);

// The setcb<kind> methods of the nonlinear solver's kinds (slp_kinds.cpp).
PyMethodDef *problem_slp_callback_methods(void);

// Raises (returns 1) the exception a callback of this problem left on another
// thread, if any; 0 otherwise.
int callbacks_take_error(problem_s *p);

// A view of owner around the library handle prob (views.cpp); released with
// view_release.
PyObject *view_new(problem_s *owner, KRVUprob prob);
void view_release(PyObject *view);

// korvu.branchobj (branchobj.cpp).
extern PyTypeObject korvu_branchobjType;
int branchobj_ready_type(void);
// A branching object lent by the library for one callback, and taking it
// back (its handle and problem cleared); the handle of a returned object.
PyObject *branchobj_lend(KRVUbranchobject bo, PyObject *problem);
void branchobj_unlend(PyObject *bo);
KRVUbranchobject branchobj_take(PyObject *bo);
