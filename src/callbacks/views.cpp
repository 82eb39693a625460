// Problem views: what a callable receives as its problem.  A view is a
// korvu.problem that borrows the registering problem's lists, maps, control
// and attribute objects and callback slots (nothing is copied, so a call
// costs the same whatever the model's size) around the library handle the
// library passed.  Solution queries of a view read the current node.
#include "callbacks/callbacks.h"

#include "module/module.h"

namespace {
PyObject *g_no_args = nullptr;
// A released view nobody else holds, kept for the next call (under the
// interpreter lock): a callback at every node then allocates nothing, and so
// never sets off the collector, whose full passes cost the model's size.
PyObject *g_spare = nullptr;
}

PyObject *view_new(problem_s *owner, KRVUprob prob) {
  PyObject *obj = g_spare;
  g_spare = nullptr;
  if (!obj) {
    if (!g_no_args && !(g_no_args = PyTuple_New(0))) return nullptr;
    obj = korvu_problemType.tp_new(&korvu_problemType, g_no_args, nullptr);
    if (!obj) return nullptr;
    // The borrowed references must not be visited by the collector.
    PyObject_GC_UnTrack(obj);
  }
  problem_s *v = reinterpret_cast<problem_s *>(obj);
  v->prob = prob;
  v->slpprob = owner->slpprob;
  v->vars = owner->vars;
  v->constraints = owner->constraints;
  v->sos = owner->sos;
  v->controls = owner->controls;
  v->attributes = owner->attributes;
  v->varmap = owner->varmap;
  v->rowmap = owner->rowmap;
  v->sosmap = owner->sosmap;
  for (int k = 0; k < KORVU_CALLBACK_SLOTS; ++k) v->callbacks[k] = owner->callbacks[k];
  v->nonlin_rows = owner->nonlin_rows;
  v->nonlin_obj = owner->nonlin_obj;
  v->userfuncs = owner->userfuncs;
  v->obj_col = owner->obj_col;
  v->obj_row = owner->obj_row;
  v->is_view = 1;
  return obj;
}

void view_release(PyObject *view) {
  if (!view) return;
  problem_s *v = reinterpret_cast<problem_s *>(view);
  // Everything was borrowed: clear it so that the view's destruction releases
  // nothing of the registering problem and nothing in the library.
  v->prob = nullptr;
  v->slpprob = nullptr;
  v->vars = v->constraints = v->sos = v->controls = v->attributes = v->userfuncs = nullptr;
  v->varmap = v->rowmap = v->sosmap = nullptr;
  for (PyObject *&slot : v->callbacks) slot = nullptr;
  if (Py_REFCNT(view) == 1 && !g_spare && !v->cb_error) {
    v->is_view = 0;
    g_spare = view;
    return;
  }
  Py_DECREF(view);
}
