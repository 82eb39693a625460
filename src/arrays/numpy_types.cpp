// NumPy data types of model objects: npvar, npexpr and npconstraint.
//
// Each is a copy of NumPy's object data type (cells hold object references)
// with its own scalar type and type character.  NumPy 2 keeps the reference
// semantics of a legacy user type (cells are zeroed when an array is made and
// released when it goes) only when the type is registered as a structure with
// one object field, fixed at registration: hence the field dictionary
// {name: (object, 0)} and the names tuple of each prototype.
#include <cstring>

#include "arrays/arrays.h"
#include "model/algebra.h"
#include "model/maps.h"

using korvu::PyRef;

namespace {

inline PyObject *&cell_ref(void *cell) { return *reinterpret_cast<PyObject **>(cell); }

// ---- element functions (the same for the three types, as for NumPy's object type)

PyObject *npy_model_getitem(void *cell, void *) {
  PyObject *o = cell_ref(cell);
  return Py_NewRef(o ? o : Py_None);
}

// Any object is accepted; the cell's previous object is released.
int npy_model_setitem(PyObject *value, void *cell, void *) {
  PyObject *old = cell_ref(cell);
  cell_ref(cell) = Py_NewRef(value);
  Py_XDECREF(old);
  return 0;
}

// Byte swapping has no meaning for a reference (reversing its bytes would make a
// wild pointer), so swap is ignored as NumPy does for its object type.
void npy_copyswapn(void *dst, npy_intp dstride, void *src, npy_intp sstride, npy_intp n, int, void *) {
  if (!src || n <= 0) return;
  char *d = static_cast<char *>(dst);
  char *s = static_cast<char *>(src);
  for (npy_intp i = 0; i < n; ++i, d += dstride, s += sstride) {
    PyObject *o = cell_ref(s);
    PyObject *old = cell_ref(d);
    Py_XINCREF(o);
    cell_ref(d) = o;
    Py_XDECREF(old);
  }
}

void npy_copyswap(void *dst, void *src, int swap, void *arr) {
  if (src) npy_copyswapn(dst, 0, src, 0, 1, swap, arr);
}

npy_bool npy_true_nonzero(void *, void *) { return 1; }

npy_bool npy_expression_nonzero(void *cell, void *) {
  PyObject *o = cell_ref(cell);
  if (!o) return 0;
  if (!is_expression(o)) return 1;
  expression_s *e = KRV_EXPR(o);
  // NaN compares unequal to 0 and so counts as non-zero.
  return e->constant != 0.0 || (e->lin && !e->lin->empty()) || quadmap_size(e->quad) > 0;
}

// Copies references between the model types and NumPy's object type.
void npy_cast_refs(void *from, void *to, npy_intp n, void *, void *) {
  PyObject **s = static_cast<PyObject **>(from);
  PyObject **d = static_cast<PyObject **>(to);
  for (npy_intp i = 0; i < n; ++i) {
    PyObject *old = d[i];
    Py_XINCREF(s[i]);
    d[i] = s[i];
    Py_XDECREF(old);
  }
}

struct TypeSpec {
  const char *field;
  char type_char;
  PyTypeObject *scalar;
  PyArray_NonzeroFunc *nonzero;
  PyObject **slot;  // environment field
};

const TypeSpec kTypes[3] = {
    {"variable", 'v', &korvu_varType, npy_true_nonzero, &krv_py_env.npvar},
    {"expression", 'e', &korvu_expressionType, npy_expression_nonzero, &krv_py_env.npexpr},
    {"constraint", 'c', &korvu_constraintType, npy_true_nonzero, &krv_py_env.npconstraint},
};

// NumPy keeps pointers to the function tables (and, before NumPy 2, to the
// prototypes themselves) for the life of the process.
PyArray_ArrFuncs g_funcs[3];
PyArray_DescrProto g_protos[3];

int register_type(int i) {
  const TypeSpec &t = kTypes[i];
  PyArray_Descr *object = PyArray_DescrFromType(NPY_OBJECT);
  if (!object) return -1;
  PyRef object_ref = PyRef::steal(reinterpret_cast<PyObject *>(object));
  PyRef offset = PyRef::steal(PyLong_FromLong(0));
  PyRef entry = offset ? PyRef::steal(PyTuple_Pack(2, object_ref.get(), offset.get())) : PyRef();
  PyRef fields = PyRef::steal(PyDict_New());
  PyRef names = PyRef::steal(Py_BuildValue("(s)", t.field));
  if (!entry || !fields || !names || PyDict_SetItemString(fields.get(), t.field, entry.get()) < 0) return -1;

  PyArray_ArrFuncs *f = &g_funcs[i];
  PyArray_InitArrFuncs(f);
  f->getitem = npy_model_getitem;
  f->setitem = npy_model_setitem;
  f->copyswap = npy_copyswap;
  f->copyswapn = npy_copyswapn;
  f->nonzero = t.nonzero;

  PyArray_DescrProto *p = &g_protos[i];
  std::memset(p, 0, sizeof *p);
  Py_SET_REFCNT(reinterpret_cast<PyObject *>(p), 1);
  Py_SET_TYPE(reinterpret_cast<PyObject *>(p), &PyArrayDescr_Type);
  p->typeobj = t.scalar;
  Py_INCREF(t.scalar);
  p->kind = 'O';
  p->type = t.type_char;
  p->byteorder = '|';
  p->flags = static_cast<char>(NPY_OBJECT_DTYPE_FLAGS);
  p->elsize = static_cast<int>(sizeof(PyObject *));
  p->alignment = static_cast<int>(alignof(PyObject *));
  p->fields = fields.release();
  p->names = names.release();
  p->f = f;
  int typenum = PyArray_RegisterDataType(p);
  if (typenum < 0) return -1;
  PyArray_Descr *d = PyArray_DescrFromType(typenum);
  if (!d) return -1;
  *t.slot = reinterpret_cast<PyObject *>(d);
  return 0;
}

int type_num_of(PyObject *dt) { return reinterpret_cast<PyArray_Descr *>(dt)->type_num; }

// Casts between every ordered pair of npvar, npexpr and NumPy's object type.
int register_casts() {
  int nums[3] = {type_num_of(krv_py_env.npvar), type_num_of(krv_py_env.npexpr), NPY_OBJECT};
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) {
      if (a == b) continue;
      PyRef from = PyRef::steal(reinterpret_cast<PyObject *>(PyArray_DescrFromType(nums[a])));
      if (!from) return -1;
      PyArray_Descr *fd = reinterpret_cast<PyArray_Descr *>(from.get());
      if (PyArray_RegisterCastFunc(fd, nums[b], npy_cast_refs) < 0 ||
          PyArray_RegisterCanCast(fd, nums[b], NPY_NOSCALAR) < 0)
        return -1;
    }
  return 0;
}

}  // namespace

int krv_register_loops(void);

extern "C" int korvu_numpy_setup(PyObject *) {
  for (int i = 0; i < 3; ++i)
    if (register_type(i) < 0) goto fail;
  if (register_casts() < 0 || krv_register_loops() < 0) goto fail;
  return 0;
fail:
  if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, "Could not register the NumPy data types of korvu");
  {
    // The import fails: report NumPy's own reason as an ImportError.
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    if (!PyErr_GivenExceptionMatches(type, PyExc_ImportError)) {
      PyErr_Format(PyExc_ImportError, "Could not register the NumPy data types of korvu: %S", value ? value : Py_None);
      Py_XDECREF(type);
      Py_XDECREF(value);
      Py_XDECREF(tb);
    } else {
      PyErr_Restore(type, value, tb);
    }
  }
  for (const TypeSpec &t : kTypes) Py_CLEAR(*t.slot);
  return -1;
}
