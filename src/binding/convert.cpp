// Conversion of Python arguments to library arrays and back, and the module
// allocator.
#include "binding/convert.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "binding/handles.h"
#include "model/constraint.h"
#include "model/maps.h"
#include "model/records.h"
#include "module/numpy_api.h"

using korvu::PyRef;

// ---- module allocator

namespace {

int heap_allocate(void *, size_t size, void **result) {
  *result = size ? std::malloc(size) : nullptr;
  return (!*result && size) ? -1 : 0;
}

int heap_resize(void *, void **ptr, size_t size) {
  if (!size) {
    std::free(*ptr);
    *ptr = nullptr;
    return 0;
  }
  void *block = std::realloc(*ptr, size);
  if (!block) return -1;
  *ptr = block;
  return 0;
}

int heap_release(void *, void **ptr) {
  std::free(*ptr);
  *ptr = nullptr;
  return 0;
}

const ko_MemoryAllocator_Ops default_ops = {heap_allocate, heap_resize, heap_release};
ko_MemoryAllocator_DefaultHeap_s default_heap = {&default_ops, nullptr};

}  // namespace

ko_MemoryAllocator_DefaultHeap_s *ko_MemoryAllocator_DefaultHeap = &default_heap;

int ko_MemoryAllocator_Alloc_Untyped(ko_MemoryAllocator_DefaultHeap_s *heap, size_t size,
                                     void **ptr) {
  return heap->ops->allocate(heap->context, size, ptr);
}

int ko_MemoryAllocator_Realloc_Untyped(ko_MemoryAllocator_DefaultHeap_s *heap, void **ptr,
                                       size_t size) {
  return heap->ops->resize(heap->context, ptr, size);
}

int ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap_s *heap, void **ptr) {
  if (!*ptr) return 0;
  return heap->ops->release(heap->context, ptr);
}

void korvu::StringArray::reset() {
  if (p_) {
    for (int64_t i = 0; i < n_; ++i) {
      void *s = p_[i];
      ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap, &s);
    }
    void *p = p_;
    ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap, &p);
  }
  p_ = nullptr;
  n_ = 0;
}

// ---- text

const char *pyStrToStr(PyObject *object, char **copy, PyObject **temporary) {
  const char *text = nullptr;
  Py_ssize_t len = 0;
  if (PyUnicode_Check(object)) {
    PyObject *encoded = PyUnicode_AsASCIIString(object);
    if (!encoded) return nullptr;
    if (temporary) {
      Py_XDECREF(*temporary);
      *temporary = encoded;
    } else {
      // Without a holder the text must outlive the encoded object: only the copy is usable.
      if (!copy) {
        Py_DECREF(encoded);
        return nullptr;
      }
    }
    text = PyBytes_AS_STRING(encoded);
    len = PyBytes_GET_SIZE(encoded);
    if (copy) {
      void *block = *copy;
      if (ko_MemoryAllocator_Realloc_Untyped(ko_MemoryAllocator_DefaultHeap, &block,
                                             static_cast<size_t>(len) + 1) != 0) {
        if (!temporary) Py_DECREF(encoded);
        PyErr_NoMemory();
        return nullptr;
      }
      std::memcpy(block, text, static_cast<size_t>(len) + 1);
      *copy = static_cast<char *>(block);
      if (!temporary) {
        Py_DECREF(encoded);
        return *copy;
      }
    }
    return text;
  }
  if (PyBytes_Check(object)) {
    text = PyBytes_AS_STRING(object);
    len = PyBytes_GET_SIZE(object);
    if (copy) {
      void *block = *copy;
      if (ko_MemoryAllocator_Realloc_Untyped(ko_MemoryAllocator_DefaultHeap, &block,
                                             static_cast<size_t>(len) + 1) != 0) {
        PyErr_NoMemory();
        return nullptr;
      }
      std::memcpy(block, text, static_cast<size_t>(len) + 1);
      *copy = static_cast<char *>(block);
    }
    return text;
  }
  return nullptr;
}

// ---- single objects

bool conv_int_value(PyObject *object, int64_t *value, int *failed) {
  *failed = 0;
  if (PyLong_Check(object)) {
    long long v = PyLong_AsLongLong(object);
    if (v == -1 && PyErr_Occurred()) {
      *failed = 1;
      return true;
    }
    *value = v;
    return true;
  }
  if (PyArray_IsScalar(object, Int)) {
    *value = PyArrayScalar_VAL(object, Int);
    return true;
  }
  if (PyArray_IsScalar(object, Long)) {
    *value = PyArrayScalar_VAL(object, Long);
    return true;
  }
  return false;
}

int ObjInt2int(PyObject *object, problem_s *problem, int *index, int code) {
  int64_t value = 0;
  int failed = 0;
  if (conv_int_value(object, &value, &failed)) {
    if (failed) return -1;
    // Truncating to 32 bits would address another index without a word.
    if (value < INT32_MIN || value > INT32_MAX) {
      PyErr_Format(PyExc_OverflowError, "index %lld does not fit in a C int",
                   static_cast<long long>(value));
      return -1;
    }
    *index = static_cast<int>(value);
    return 0;
  }
  if (PyUnicode_Check(object) || PyBytes_Check(object)) {
    PyObject *temporary = nullptr;
    const char *name = pyStrToStr(object, nullptr, &temporary);
    PyRef hold = PyRef::steal(temporary);
    if (!name) return -1;
    if (!problem->prob) {
      PyErr_SetString(korvu_ModelError, "The problem is not initialised");
      return -1;
    }
    int kind = code == CONV_ROW ? 1 : code == CONV_SET ? 3 : 2;
    int found = -1;
    if (KRVUgetindex(problem->prob, kind, name, &found) != 0) {
      setKrvuErrIfNull(reinterpret_cast<PyObject *>(problem), nullptr);
      return -1;
    }
    // The library answers -1 for an unknown name; passed on, -1 would address
    // the objective in some calls, so it is refused here.
    if (found < 0) {
      PyErr_Format(korvu_ModelError, "No %s named '%s' in problem",
                   kind == 1 ? "constraint" : kind == 3 ? "SOS" : "variable", name);
      return -1;
    }
    *index = found;
    return 0;
  }
  PyTypeObject *type = Py_TYPE(object);
  if (!problem->varmap || !problem->rowmap || !problem->sosmap) {
    PyErr_SetString(korvu_ModelError, "The problem is not initialised");
    return -1;
  }
  if (type == &korvu_varType && (code == CONV_COL || code == CONV_ROWCOL)) {
    int64_t col = 0;
    if (rowcolmap_get(problem->varmap, var_id(object), &col) != 0) {
      PyErr_Format(korvu_ModelError, "Variable %S not in problem", object);
      return -1;
    }
    if (code == CONV_COL) {
      *index = static_cast<int>(col);
      return 0;
    }
    int rows = 0, spare = 0;
    if (KRVUgetintattrib(problem->prob, KRVU_ATTR_ROWS, &rows) != 0 ||
        KRVUgetintattrib(problem->prob, KRVU_ATTR_SPAREROWS, &spare) != 0)
      return -1;
    *index = static_cast<int>(rows + spare + col);
    return 0;
  }
  if (type == &korvu_constraintType && (code == CONV_ROW || code == CONV_ROWCOL)) {
    int64_t row = 0;
    uint64_t id = reinterpret_cast<constraint_s *>(object)->info & CON_ID_MASK;
    if (rowcolmap_get(problem->rowmap, id, &row) != 0) {
      PyErr_Format(korvu_ModelError, "Constraint %S not in problem", object);
      return -1;
    }
    *index = static_cast<int>(row);
    return 0;
  }
  if (type == &korvu_sosType && code == CONV_SET) {
    int64_t set = 0;
    if (rowcolmap_get(problem->sosmap, static_cast<uint64_t>(reinterpret_cast<sos_s *>(object)->id),
                      &set) != 0) {
      PyErr_Format(korvu_ModelError, "SOS %S not in problem", object);
      return -1;
    }
    *index = static_cast<int>(set);
    return 0;
  }
  const char *what = code == CONV_COL   ? "Invalid variable object %S"
                     : code == CONV_ROW ? "Invalid constraint object %S"
                     : code == CONV_SET ? "Invalid SOS object %S"
                                        : "Invalid object %S";
  PyErr_Format(korvu_ModelError, what, object);
  return -1;
}

// ---- arrays

namespace {

size_t element_width(int code) {
  switch (code) {
    case CONV_ROW:
    case CONV_COL:
    case CONV_SET:
    case CONV_INT:
      return 4;
    case CONV_CHAR:
    case CONV_BYTE:
      return 1;
    default:
      return 8;
  }
}

// Converts one item into element i of `array`.  0 or -1.
int convert_item(problem_s *problem, PyObject *item, void *array, int64_t i, int code) {
  switch (code) {
    case CONV_ROW:
    case CONV_COL:
    case CONV_SET:
      return ObjInt2int(item, problem, static_cast<int *>(array) + i, code);
    case CONV_INT:
    case CONV_INT64: {
      int64_t v = 0;
      int failed = 0;
      if (!conv_int_value(item, &v, &failed)) {
        // Said here: left to the closing report, an older library text would show.
        PyErr_Format(korvu_ModelError, "Invalid integer %R: an int is required", item);
        return -1;
      }
      if (failed) return -1;
      if (code == CONV_INT && (v < INT32_MIN || v > INT32_MAX)) {
        PyErr_Format(PyExc_OverflowError, "value %lld does not fit in a C int",
                     static_cast<long long>(v));
        return -1;
      }
      if (code == CONV_INT)
        static_cast<int32_t *>(array)[i] = static_cast<int32_t>(v);
      else
        static_cast<int64_t *>(array)[i] = v;
      return 0;
    }
    case CONV_DOUBLE: {
      double v = PyFloat_AsDouble(item);
      if (v == -1.0 && PyErr_Occurred()) return -1;
      static_cast<double *>(array)[i] = v;
      return 0;
    }
    case CONV_CHAR: {
      PyObject *temporary = nullptr;
      const char *text = pyStrToStr(item, nullptr, &temporary);
      char c = text ? text[0] : 0;
      Py_XDECREF(temporary);
      if (!text) {
        if (!PyErr_Occurred())
          PyErr_Format(korvu_ModelError, "Invalid character %R: a string is required", item);
        return -1;
      }
      static_cast<char *>(array)[i] = c;
      return 0;
    }
    case CONV_BYTE: {
      long v = PyLong_AsLong(item);
      if (v == -1 && PyErr_Occurred()) return -1;
      static_cast<char *>(array)[i] = static_cast<char>(v & 0xff);
      return 0;
    }
    case CONV_STRING: {
      char **slot = static_cast<char **>(array) + i;
      *slot = nullptr;
      PyObject *temporary = nullptr;
      const char *text = pyStrToStr(item, slot, &temporary);
      Py_XDECREF(temporary);
      if (!text) {
        if (!PyErr_Occurred())
          PyErr_Format(korvu_ModelError, "Invalid string %S", item);
        return -1;
      }
      return 0;
    }
    case CONV_POOLCUT:
    case CONV_OBJECT: {
      PyTypeObject *want = code == CONV_POOLCUT ? &korvu_poolcutType : &korvu_krvuobjectType;
      if (!PyObject_TypeCheck(item, want)) {
        PyErr_Format(korvu_ModelError, "Invalid object %S: a %s is required", item,
                     code == CONV_POOLCUT ? "korvu.poolcut" : "korvu.krvuobject");
        return -1;
      }
      static_cast<void **>(array)[i] = handle_get(item);
      return 0;
    }
    default:
      PyErr_SetString(korvu_ModelError, "Invalid sequence of objects");
      return -1;
  }
}

// Releases the elements of a string array converted so far, then the array.
void drop_array(void **array, int64_t converted, int code) {
  if (*array && code == CONV_STRING) {
    char **strings = static_cast<char **>(*array);
    for (int64_t i = 0; i < converted; ++i) {
      void *s = strings[i];
      ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap, &s);
    }
  }
  ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap, array);
}

int mismatch(int64_t expected, int64_t found) {
  PyErr_Format(korvu_ModelError, "Mismatched lengths in arguments: expected %lld, found %lld",
               static_cast<long long>(expected), static_cast<long long>(found));
  return -1;
}

int allocate(void **array, size_t bytes) {
  if (ko_MemoryAllocator_Alloc_Untyped(ko_MemoryAllocator_DefaultHeap, bytes, array) != 0) {
    PyErr_NoMemory();
    return -1;
  }
  return 0;
}

// Converts the items of a list or tuple (or the fast form of a sequence).
int convert_fast(problem_s *problem, PyObject *fast, void **array, int code) {
  Py_ssize_t n = PySequence_Fast_GET_SIZE(fast);
  size_t width = element_width(code);
  if (allocate(array, static_cast<size_t>(n) * width) < 0) return -1;
  for (Py_ssize_t i = 0; i < n; ++i) {
    // A user's float conversion may change a list under us: re-read its size.
    if (i >= PySequence_Fast_GET_SIZE(fast)) {
      PyErr_SetString(korvu_ModelError, "Invalid sequence of objects");
      drop_array(array, i, code);
      return -1;
    }
    PyObject *item = PySequence_Fast_GET_ITEM(fast, i);
    Py_INCREF(item);
    int rc = convert_item(problem, item, *array, i, code);
    Py_DECREF(item);
    if (rc < 0) {
      drop_array(array, i, code);
      return -1;
    }
  }
  return 0;
}

int convert_iterator(problem_s *problem, int64_t *count, PyObject *iter, void **array,
                     int code) {
  size_t width = element_width(code);
  int64_t capacity = 256;
  if (allocate(array, static_cast<size_t>(capacity) * width) < 0) return -1;
  int64_t n = 0;
  for (;;) {
    PyObject *item = PyIter_Next(iter);
    if (!item) break;
    if (n == capacity) {
      capacity *= 2;
      if (ko_MemoryAllocator_Realloc_Untyped(ko_MemoryAllocator_DefaultHeap, array,
                                             static_cast<size_t>(capacity) * width) != 0) {
        Py_DECREF(item);
        PyErr_NoMemory();
        drop_array(array, n, code);
        return -1;
      }
    }
    int rc = convert_item(problem, item, *array, n, code);
    Py_DECREF(item);
    if (rc < 0) {
      drop_array(array, n, code);
      return -1;
    }
    ++n;
  }
  if (PyErr_Occurred()) {
    drop_array(array, n, code);
    return -1;
  }
  // The agreed count binds iterators too: a shorter array would be read past its end.
  if (*count >= 0 && *count != n) {
    drop_array(array, n, code);
    return mismatch(*count, n);
  }
  if (n >= 1) {
    double l = std::log2(static_cast<double>(n) + 1.0);
    if (std::ceil(l) < l + 0.5)
      ko_MemoryAllocator_Realloc_Untyped(ko_MemoryAllocator_DefaultHeap, array,
                                         static_cast<size_t>(n) * width);
  }
  *count = n;
  return 0;
}

// One-dimensional NumPy arrays whose elements convert without Python objects
// are copied in one pass; *done is false when the item-wise path must be taken.
int convert_numpy(PyArrayObject *a, int64_t *count, void **array, int code, bool *done) {
  *done = false;
  if (PyArray_NDIM(a) != 1) return 0;
  int type = PyArray_TYPE(a);
  bool index_like = code == CONV_ROW || code == CONV_COL || code == CONV_SET || code == CONV_INT ||
                    code == CONV_INT64;
  if (code == CONV_DOUBLE) {
    if (!PyArray_ISINTEGER(a) && !PyArray_ISFLOAT(a) && !PyArray_ISBOOL(a)) return 0;
  } else if (!index_like || (type != NPY_INT && type != NPY_LONG)) {
    // Only intc and int_ elements are integers here, as for single items.
    return 0;
  }
  *done = true;
  npy_intp n = PyArray_DIM(a, 0);
  if (*count >= 0 && *count != n) return mismatch(*count, n);
  int target = code == CONV_DOUBLE ? NPY_DOUBLE : NPY_INT64;
  PyRef cast = PyRef::steal(PyArray_FROMANY(reinterpret_cast<PyObject *>(a), target, 1, 1,
                                            NPY_ARRAY_CARRAY_RO));
  if (!cast) return -1;
  const void *src = PyArray_DATA(reinterpret_cast<PyArrayObject *>(cast.get()));
  if (allocate(array, static_cast<size_t>(n) * element_width(code)) < 0) return -1;
  if (code == CONV_DOUBLE || code == CONV_INT64) {
    if (n) std::memcpy(*array, src, static_cast<size_t>(n) * 8);
  } else {
    const int64_t *v = static_cast<const int64_t *>(src);
    int32_t *out = static_cast<int32_t *>(*array);
    for (npy_intp i = 0; i < n; ++i) {
      if (v[i] < INT32_MIN || v[i] > INT32_MAX) {
        PyErr_Format(PyExc_OverflowError, "index %lld does not fit in a C int",
                     static_cast<long long>(v[i]));
        ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap, array);
        return -1;
      }
      out[i] = static_cast<int32_t>(v[i]);
    }
  }
  *count = n;
  return 0;
}

}  // namespace

int conv_obj2arr(problem_s *problem, int64_t *count, PyObject *object, void **array, int code) {
  *array = nullptr;
  if (!object || object == Py_None) return 0;
  PyRef hold = PyRef::borrow(object);
  if (code == CONV_ROWCOL || code < 0 || code > CONV_ROWCOL) {
    PyErr_SetString(korvu_ModelError, "Invalid sequence of objects");
    return -1;
  }
  if (PyList_Check(object) || PyTuple_Check(object)) {
    Py_ssize_t n = PySequence_Fast_GET_SIZE(object);
    if (*count >= 0 && *count != n) return mismatch(*count, n);
    if (convert_fast(problem, object, array, code) < 0) return -1;
    *count = n;
    return 0;
  }
  if (PyArray_Check(object)) {
    bool done = false;
    int rc = convert_numpy(reinterpret_cast<PyArrayObject *>(object), count, array, code, &done);
    if (done || rc < 0) return rc;
  }
  if (PyIter_Check(object)) return convert_iterator(problem, count, object, array, code);
  if (PySequence_Check(object) && !PyDict_Check(object)) {
    Py_ssize_t n = PySequence_Size(object);
    if (n < 0) {
      PyErr_Clear();
      PyErr_SetString(korvu_ModelError, "Invalid sequence of objects");
      return -1;
    }
    if (*count >= 0 && *count != n) return mismatch(*count, n);
    PyRef fast = PyRef::steal(PySequence_Fast(object, "Unable to scan sequence"));
    if (!fast) return -1;
    if (PySequence_Fast_GET_SIZE(fast.get()) != n)
      return mismatch(n, PySequence_Fast_GET_SIZE(fast.get()));
    if (convert_fast(problem, fast.get(), array, code) < 0) return -1;
    *count = n;
    return 0;
  }
  PyErr_SetString(korvu_ModelError, "Invalid sequence of objects");
  return -1;
}

// ---- library to Python

PyObject *convSeqToRowCol(problem_s *problem, int index) {
  if (!problem->prob || !problem->vars || !problem->constraints) {
    PyErr_SetString(korvu_ModelError, "The problem is not initialised");
    return nullptr;
  }
  int rows = 0, spare = 0;
  if (KRVUgetintattrib(problem->prob, KRVU_ATTR_ROWS, &rows) != 0 ||
      KRVUgetintattrib(problem->prob, KRVU_ATTR_SPAREROWS, &spare) != 0)
    return nullptr;
  PyObject *list = problem->constraints;
  Py_ssize_t pos = index;
  if (index >= rows + spare) {
    list = problem->vars;
    pos = index - rows - spare;
  }
  if (pos < 0 || pos >= PyList_GET_SIZE(list)) {
    PyErr_SetString(PyExc_IndexError, "list index out of range");
    return nullptr;
  }
  PyObject *item = PyList_GET_ITEM(list, pos);
  Py_INCREF(item);
  return item;
}

namespace {

PyObject *element_value(problem_s *problem, const void *array, int64_t i, int code) {
  switch (code) {
    case CONV_ROW:
    case CONV_COL: {
      int idx = static_cast<const int *>(array)[i];
      if (idx < 0) return PyLong_FromLong(-1);
      PyObject *list = code == CONV_ROW ? problem->constraints : problem->vars;
      if (idx >= PyList_GET_SIZE(list)) {
        PyErr_SetString(PyExc_IndexError, "list index out of range");
        return nullptr;
      }
      PyObject *item = PyList_GET_ITEM(list, idx);
      Py_INCREF(item);
      return item;
    }
    case CONV_INT:
      return PyLong_FromLong(static_cast<const int32_t *>(array)[i]);
    case CONV_INT64:
      return PyLong_FromLongLong(static_cast<const int64_t *>(array)[i]);
    case CONV_DOUBLE:
      return PyFloat_FromDouble(static_cast<const double *>(array)[i]);
    case CONV_CHAR: {
      char c = static_cast<const char *>(array)[i];
      return PyUnicode_FromFormat("%c", static_cast<int>(static_cast<unsigned char>(c)));
    }
    case CONV_BYTE:
      return PyUnicode_FromFormat("%d", static_cast<int>(static_cast<const signed char *>(array)[i]));
    case CONV_STRING: {
      const char *s = static_cast<char *const *>(array)[i];
      return s ? PyUnicode_DecodeASCII(s, static_cast<Py_ssize_t>(std::strlen(s)), "replace")
               : nullptr;
    }
    case CONV_POOLCUT:
      return poolcut_create(static_cast<void *const *>(array)[i]);
    case CONV_OBJECT:
      return krvuobject_create(static_cast<void *const *>(array)[i]);
    case CONV_ROWCOL: {
      int idx = static_cast<const int *>(array)[i];
      if (idx < 0) return PyLong_FromLong(-1);
      return convSeqToRowCol(problem, idx);
    }
    default:
      return nullptr;
  }
}

}  // namespace

int conv_arr2obj(problem_s *problem, int64_t n, const void *array, PyObject **list, int code) {
  if (!array || !list || !*list || *list == Py_None) return 0;
  PyObject *out = *list;
  if (!PyList_Check(out)) {
    PyErr_SetString(korvu_ModelError, "Unexpected argument to conv_arr2obj");
    return -1;
  }
  if ((code == CONV_ROW || code == CONV_COL) && (!problem->vars || !problem->constraints)) {
    PyErr_SetString(korvu_ModelError, "The problem is not initialised");
    return -1;
  }
  if (PyList_GET_SIZE(out) > n && PyList_SetSlice(out, n, PyList_GET_SIZE(out), nullptr) < 0)
    return -1;
  for (int64_t i = 0; i < n; ++i) {
    PyObject *value = element_value(problem, array, i, code);
    if (!value) {
      if (!PyErr_Occurred())
        PyErr_Format(korvu_InterfaceError, "Wrong item returned from API call, type %d", code);
      return -1;
    }
    if (i < PyList_GET_SIZE(out)) {
      PyList_SetItem(out, i, value);  // steals value
    } else {
      int rc = PyList_Append(out, value);
      Py_DECREF(value);
      if (rc < 0) return -1;
    }
  }
  return 0;
}
