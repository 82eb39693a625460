// Pieces of the array product shared by the dense (tensor.cpp) and the sparse
// (tensor_sparse.cpp) forms of Dot.
#pragma once
#include "arrays/arrays.h"

namespace korvu_dot {

// Element classes of an operand, in the order of numeric widening.
enum ElemClass { EC_INVALID = -1, EC_INT32, EC_INT64, EC_FLOAT32, EC_FLOAT64, EC_OBJECT };

PyObject *dot_error(const char *msg);  // ModelError, returns null
int elem_class(PyArrayObject *a);
// Whether out may receive a result of the given class.
bool out_accepts(PyArrayObject *out, int result_class);
// A C-contiguous array of the given type holding a's elements (a itself when it is one).
PyArrayObject *contiguous_as(PyArrayObject *a, int typenum);
// W += X * q for a number X and a model object q; W may be null (nothing yet).
int acc_scaled(PyObject **W, double X, PyObject *q);
// 0, or -1 with ModelError when o is no operand of the algebra.
int check_operand(PyObject *o);
// Copies a finished result into the caller's output array; a new reference to out.
PyObject *into_out(PyArrayObject *result, PyArrayObject *out);

// An element of a contiguous object array (borrowed; an empty cell reads as None).
inline PyObject *object_at(PyArrayObject *a, npy_intp i) {
  PyObject *o = reinterpret_cast<PyObject **>(PyArray_DATA(a))[i];
  return o ? o : Py_None;
}

}  // namespace korvu_dot

// A scipy.sparse matrix or array (recognised by its interface; scipy is not imported).
bool is_sparse_matrix(PyObject *o);
// The binary step of Dot when a or b is sparse.
PyObject *sparse_tensor_mult(PyObject *a, PyObject *b, PyObject *out);
