// Internal interface of the array subsystem: aggregates, evaluation, the NumPy
// data types of model objects, variable arrays and array products.
#pragma once
#include "module/env.h"
#include "module/numpy_api.h"

// One step of an aggregate: acc = op(acc, item, out).  acc is Py_None at the
// start of a fold; out is null except for the last item of the fold.
typedef PyObject *(*fold_fn)(PyObject *acc, PyObject *item, PyObject *out);

// The binary step of Dot: NumPy's dot convention over numbers and model objects.
PyObject *tensor_mult(PyObject *a, PyObject *b, PyObject *out);

// evaluate(*expressions, problem=None, solution=None) (evaluate.cpp).
PyObject *korvumod_evaluate(PyObject *self, PyObject *args, PyObject *kwargs);
extern const char korvumod_evaluate_doc[];

// vars(*indices, ...) (vars.cpp).
PyObject *korvumod_vars(PyObject *self, PyObject *args, PyObject *kwargs);
extern const char korvumod_vars_doc[];

// True when the array's elements are object references: NumPy's object type or
// one of the model data types (npvar, npexpr, npconstraint).
inline bool krv_model_dtype(PyArray_Descr *descr) {
  for (PyObject *dt : {krv_py_env.npvar, krv_py_env.npexpr, krv_py_env.npconstraint})
    if (dt && reinterpret_cast<PyArray_Descr *>(dt)->typeobj == descr->typeobj &&
        reinterpret_cast<PyArray_Descr *>(dt)->type_num == descr->type_num)
      return true;
  return false;
}
inline bool krv_object_like(PyArray_Descr *descr) {
  return descr->type_num == NPY_OBJECT || krv_model_dtype(descr);
}
