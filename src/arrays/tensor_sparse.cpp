// Dot with a scipy.sparse matrix on either side of an array of model objects.
//
// The product is made in one pass over the stored entries: a sparse left operand
// is read by rows (CSR), a sparse right operand by columns (CSC), and each entry
// adds its multiple of one operand element into the result element it belongs
// to.  Entries that are zero, and rows or columns without entries, cost nothing;
// a result element that receives nothing is 0.0, as in the dense product.
// Products of a sparse matrix with numbers (or with another sparse matrix) are
// numbers: they go through the dense path with the matrix expanded.
#include <vector>

#include "arrays/dot.h"
#include "model/algebra.h"

using korvu::PyRef;
using namespace korvu_dot;

bool is_sparse_matrix(PyObject *o) {
  if (!o || is_array(o) || PyUnicode_Check(o) || PyTuple_Check(o) || PyList_Check(o)) return false;
  return PyObject_HasAttrString(o, "tocsr") && PyObject_HasAttrString(o, "tocsc") &&
         PyObject_HasAttrString(o, "toarray") && PyObject_HasAttrString(o, "nnz");
}

namespace {

// The compressed form of a sparse matrix: outer index i (a row of CSR, a column
// of CSC) holds inner indices idx[ptr[i] .. ptr[i+1]) with values val[...].
struct Compressed {
  PyRef ptr_arr, idx_arr, val_arr;
  const int64_t *ptr = nullptr, *idx = nullptr;
  const double *val = nullptr;
};

PyRef as_contiguous(PyObject *o, int typenum, bool force) {
  PyArray_Descr *d = PyArray_DescrFromType(typenum);
  if (!d) return PyRef();
  int flags = NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED | (force ? NPY_ARRAY_FORCECAST : 0);
  return PyRef::steal(PyArray_FromAny(o, d, 1, 1, flags, nullptr));
}

// The matrix's shape as (rows, columns); false with an exception otherwise.
bool sparse_shape(PyObject *m, npy_intp *rows, npy_intp *cols, int *ndim) {
  PyRef shape = PyRef::steal(PyObject_GetAttrString(m, "shape"));
  if (!shape) return false;
  if (!PyTuple_Check(shape.get())) {
    dot_error("Dot product with a sparse matrix of unknown shape");
    return false;
  }
  *ndim = static_cast<int>(PyTuple_GET_SIZE(shape.get()));
  if (*ndim != 2) return true;
  *rows = PyLong_AsSsize_t(PyTuple_GET_ITEM(shape.get(), 0));
  *cols = PyLong_AsSsize_t(PyTuple_GET_ITEM(shape.get(), 1));
  return !PyErr_Occurred();
}

// Reads m.<method>() (tocsr or tocsc) with nouter outer and ninner inner indices,
// checking the structure: a malformed matrix is refused, never read out of bounds.
int read_compressed(PyObject *m, const char *method, npy_intp nouter, npy_intp ninner, Compressed &c) {
  PyRef conv = PyRef::steal(PyObject_CallMethod(m, method, nullptr));
  if (!conv) return -1;
  PyRef ptr = PyRef::steal(PyObject_GetAttrString(conv.get(), "indptr"));
  PyRef idx = ptr ? PyRef::steal(PyObject_GetAttrString(conv.get(), "indices")) : PyRef();
  PyRef val = idx ? PyRef::steal(PyObject_GetAttrString(conv.get(), "data")) : PyRef();
  if (!val) return -1;
  if (is_array(val.get()) && PyArray_ISCOMPLEX(reinterpret_cast<PyArrayObject *>(val.get()))) {
    dot_error("Dot product must be between long, double, and expressions/variables");
    return -1;
  }
  c.ptr_arr = as_contiguous(ptr.get(), NPY_INT64, false);
  c.idx_arr = c.ptr_arr ? as_contiguous(idx.get(), NPY_INT64, false) : PyRef();
  c.val_arr = c.idx_arr ? as_contiguous(val.get(), NPY_DOUBLE, true) : PyRef();
  if (!c.val_arr) return -1;
  auto arr = [](const PyRef &r) { return reinterpret_cast<PyArrayObject *>(r.get()); };
  npy_intp nnz = PyArray_SIZE(arr(c.idx_arr));
  c.ptr = static_cast<const int64_t *>(PyArray_DATA(arr(c.ptr_arr)));
  c.idx = static_cast<const int64_t *>(PyArray_DATA(arr(c.idx_arr)));
  c.val = static_cast<const double *>(PyArray_DATA(arr(c.val_arr)));
  bool ok = PyArray_SIZE(arr(c.ptr_arr)) == nouter + 1 && PyArray_SIZE(arr(c.val_arr)) == nnz && c.ptr[0] == 0 &&
            c.ptr[nouter] <= nnz;
  for (npy_intp i = 0; ok && i < nouter; ++i) ok = c.ptr[i] <= c.ptr[i + 1];
  for (int64_t k = 0; ok && k < (nouter >= 0 ? c.ptr[nouter] : 0); ++k) ok = c.idx[k] >= 0 && c.idx[k] < ninner;
  if (!ok) {
    dot_error("Dot product with a malformed sparse matrix (index pointers or indices out of range)");
    return -1;
  }
  return 0;
}

PyObject *densified(PyObject *m) { return PyObject_CallMethod(m, "toarray", nullptr); }

// W += v * q, with an empty expression as the start of a result element.
inline int acc(PyObject **W, double v, PyObject *q) {
  if (v == 0.0) return 0;
  if (!*W && !(*W = expression_base())) return -1;
  return acc_scaled(W, v, q);
}

}  // namespace

PyObject *sparse_tensor_mult(PyObject *a_obj, PyObject *b_obj, PyObject *out_obj) {
  bool sa = is_sparse_matrix(a_obj), sb = is_sparse_matrix(b_obj);
  PyObject *sparse = sa ? a_obj : b_obj;
  PyObject *other = sa ? b_obj : a_obj;
  npy_intp rows = 0, cols = 0;
  int sdim = 0;
  if (!sparse_shape(sparse, &rows, &cols, &sdim)) return nullptr;
  bool numbers_only = sa && sb;
  if (!numbers_only) {
    if (!is_array(other)) return dot_error("Dot product can only occur between NumPy arrays");
    int co = elem_class(reinterpret_cast<PyArrayObject *>(other));
    if (co == EC_INVALID) return dot_error("Dot product must be between long, double, and expressions/variables");
    numbers_only = co != EC_OBJECT;
  }
  if (numbers_only || sdim != 2) {
    // A numeric result (or a matrix that is not two-dimensional): the dense product.
    PyRef da = PyRef::steal(sa ? densified(a_obj) : Py_NewRef(a_obj));
    PyRef db = da ? PyRef::steal(sb ? densified(b_obj) : Py_NewRef(b_obj)) : PyRef();
    if (!db) return nullptr;
    return tensor_mult(da.get(), db.get(), out_obj);
  }
  PyArrayObject *o = reinterpret_cast<PyArrayObject *>(other);
  int od = PyArray_NDIM(o);
  if (od == 0)
    return dot_error(sa ? "Dot product between incompatible objects: second one is a scalar"
                        : "Dot product between incompatible objects: first one is a scalar");
  PyArrayObject *out = nullptr;
  if (out_obj && out_obj != Py_None) {
    if (!is_array(out_obj) || !out_accepts(reinterpret_cast<PyArrayObject *>(out_obj), EC_OBJECT))
      return dot_error(
          "Output argument set with wrong type: must be float/int for products of floats/ints and "
          "expression/nonlin for products of variables/expressions/nonlinear");
    out = reinterpret_cast<PyArrayObject *>(out_obj);
  }
  const char *mismatch = "Dot product must occur between NumPy vectors with matching sizes in the multiplying dimension";
  std::vector<npy_intp> shape;
  npy_intp H, I = 1, J = 1, Q = 1;
  if (sa) {
    // (rows, H) by o of shape (J..., H, Q) or (H,): result (rows, J..., Q).
    H = cols;
    int mb = od >= 2 ? od - 2 : 0;
    if (PyArray_DIM(o, mb) != H) return dot_error(mismatch);
    shape.push_back(rows);
    for (int k = 0; k < od; ++k) {
      if (k == mb) continue;
      shape.push_back(PyArray_DIM(o, k));
      if (k == od - 1 && od >= 2)
        Q = PyArray_DIM(o, k);
      else
        J *= PyArray_DIM(o, k);
    }
  } else {
    // o of shape (I..., H) by (H, Q): result (I..., Q).
    H = rows;
    Q = cols;
    if (PyArray_DIM(o, od - 1) != H) return dot_error(mismatch);
    for (int k = 0; k < od - 1; ++k) {
      shape.push_back(PyArray_DIM(o, k));
      I *= PyArray_DIM(o, k);
    }
    shape.push_back(Q);
  }
  PyRef oc = PyRef::steal(reinterpret_cast<PyObject *>(contiguous_as(o, PyArray_DESCR(o)->type_num)));
  if (!oc) return nullptr;
  PyArrayObject *e = reinterpret_cast<PyArrayObject *>(oc.get());
  for (npy_intp k = 0; k < PyArray_SIZE(e); ++k)
    if (check_operand(object_at(e, k)) < 0) return nullptr;
  Compressed c;
  if (read_compressed(sparse, sa ? "tocsr" : "tocsc", sa ? rows : cols, sa ? cols : rows, c) < 0) return nullptr;

  PyArray_Descr *descr = reinterpret_cast<PyArray_Descr *>(krv_py_env.npexpr);
  Py_INCREF(descr);
  PyRef result = PyRef::steal(PyArray_NewFromDescr(&PyArray_Type, descr, static_cast<int>(shape.size()),
                                                   shape.data(), nullptr, nullptr, 0, nullptr));
  if (!result) return nullptr;
  PyArrayObject *ra = reinterpret_cast<PyArrayObject *>(result.get());
  PyObject **R = reinterpret_cast<PyObject **>(PyArray_DATA(ra));
  if (sa) {
    for (npy_intp i = 0; i < rows; ++i)
      for (int64_t k = c.ptr[i]; k < c.ptr[i + 1]; ++k) {
        npy_intp h = static_cast<npy_intp>(c.idx[k]);
        for (npy_intp j = 0; j < J; ++j)
          for (npy_intp q = 0; q < Q; ++q)
            if (acc(&R[(i * J + j) * Q + q], c.val[k], object_at(e, (j * H + h) * Q + q)) < 0) return nullptr;
      }
  } else {
    for (npy_intp q = 0; q < Q; ++q)
      for (int64_t k = c.ptr[q]; k < c.ptr[q + 1]; ++k) {
        npy_intp h = static_cast<npy_intp>(c.idx[k]);
        for (npy_intp i = 0; i < I; ++i)
          if (acc(&R[i * Q + q], c.val[k], object_at(e, i * H + h)) < 0) return nullptr;
      }
  }
  for (npy_intp k = 0; k < PyArray_SIZE(ra); ++k)
    if (!R[k] && !(R[k] = PyFloat_FromDouble(0.0))) return nullptr;
  if (out) return into_out(ra, out);
  return result.release();
}
