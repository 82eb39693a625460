// The array product of Dot.
#include "arrays/arrays.h"
#include "model/algebra.h"

PyObject *tensor_mult(PyObject *a, PyObject *b, PyObject *) {
  if (is_array(a) || is_array(b)) {
    PyErr_SetString(korvu_ModelError, "Dot product of NumPy arrays is not available in this build");
    return nullptr;
  }
  return general_mul(a, b);
}
