// korvu.vars(): many variables at once over the product of index sets.
//
// Identifiers of one call are consecutive: the objects are allocated and
// numbered under one hold of the identifier lock, without the constructor.
#include <charconv>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "arrays/arrays.h"
#include "model/algebra.h"

using korvu::EnvLock;
using korvu::PyRef;

namespace {

constexpr double kInf = 1e20;
constexpr size_t kMaxPrefix = 2500;

struct Dimension {
  bool count;          // 0 .. size-1
  Py_ssize_t size;
  PyRef items;         // a list of the index objects (counts: only for dict results)
};

PyObject *invalid_index() {
  PyErr_SetString(korvu_ModelError,
                  "Invalid index: a call to korvu.vars() must have a tuple of lists, sets, iterable objects, or "
                  "integer numbers as its arguments");
  return nullptr;
}

// Reads one positional argument into a dimension.  0, or -1 with an exception.
int read_dimension(PyObject *arg, Dimension *d) {
  d->count = false;
  if (PyList_Check(arg)) {
    d->items = PyRef::steal(PyList_GetSlice(arg, 0, PY_SSIZE_T_MAX));
  } else if (PyAnySet_Check(arg)) {
    d->items = PyRef::steal(PySequence_List(arg));
  } else if (PyLong_Check(arg) || PyArray_IsScalar(arg, Int32) || PyArray_IsScalar(arg, Int64)) {
    int overflow = 0;
    PyRef as_int = PyRef::steal(PyNumber_Index(arg));
    if (!as_int) return -1;
    long long k = PyLong_AsLongLongAndOverflow(as_int.get(), &overflow);
    if (k == -1 && PyErr_Occurred()) return -1;
    if (overflow > 0 || k > PY_SSIZE_T_MAX / 16) {
      PyErr_SetString(korvu_ModelError,
                      "No memory to create variables. Consider restricting one or more index sets/lists/ranges in "
                      "the index argument to korvu.vars()");
      return -1;
    }
    if (overflow < 0 || k <= 0) {
      PyErr_SetString(korvu_ModelError,
                      "Invalid index: integer argument to korvu.vars() must be positive (it is equivalent to "
                      "range(k))");
      return -1;
    }
    d->count = true;
    d->size = static_cast<Py_ssize_t>(k);
    return 0;
  } else if (PySequence_Check(arg) && !PyDict_Check(arg)) {
    d->items = PyRef::steal(PySequence_List(arg));
  } else {
    invalid_index();
    return -1;
  }
  if (!d->items) return -1;
  d->size = PyList_GET_SIZE(d->items.get());
  if (d->size == 0) {
    PyErr_SetString(korvu_ModelError, "Invalid index: empty dimension in creation of variables");
    return -1;
  }
  return 0;
}

// Appends the text of one index to a name.  0, or -1 with an exception.
int append_index(std::string *s, PyObject *o) {
  char buf[64];
  if (PyLong_Check(o) || PyArray_IsScalar(o, Integer)) {
    long v = PyLong_AsLong(o);
    if (v == -1 && PyErr_Occurred()) {
      PyErr_Clear();
      PyErr_SetString(korvu_ModelError, "Element of index tuple in vars() cannot be represented");
      return -1;
    }
    s->append(buf, static_cast<size_t>(snprintf(buf, sizeof buf, "%ld", v)));
    return 0;
  }
  if (PyFloat_Check(o)) {
    s->append(buf, static_cast<size_t>(snprintf(buf, sizeof buf, "%g", PyFloat_AS_DOUBLE(o))));
    return 0;
  }
  if (PyUnicode_Check(o)) {
    Py_ssize_t n;
    const char *u = PyUnicode_AsUTF8AndSize(o, &n);
    if (!u) {
      PyErr_Clear();
      PyErr_SetString(korvu_ModelError, "Bad index tuple in vars()");
      return -1;
    }
    s->append(u, static_cast<size_t>(n));
    return 0;
  }
  PyRef text = PyRef::steal(PyObject_Str(o));
  PyRef ascii = text ? PyRef::steal(PyUnicode_AsEncodedString(text.get(), "ascii", "backslashreplace")) : PyRef();
  if (!ascii) {
    PyErr_Clear();
    PyErr_SetString(korvu_ModelError, "Element of index tuple in vars() cannot be represented");
    return -1;
  }
  for (const char *c = PyBytes_AS_STRING(ascii.get()); *c; ++c)
    if (*c != ' ') s->push_back(*c);
  return 0;
}

PyObject *index_object(const Dimension &d, Py_ssize_t pos) {
  if (d.count) return PyLong_FromSsize_t(pos);
  return Py_NewRef(PyList_GET_ITEM(d.items.get(), pos));
}

PyObject *no_memory(const char *msg) {
  PyErr_SetString(korvu_ModelError, msg);
  return nullptr;
}

// Allocates n variables with consecutive identifiers into dst[0 .. n).  The
// objects carry their identifier only; 0, or -1 with an exception (dst is then
// all null again).
int allocate_vars(PyObject **dst, Py_ssize_t n) {
  EnvLock lock(KRV_MUTEX_VARID);
  uint64_t first = krv_py_env.next_var_id & VAR_ID_MASK;
  if (first == 0) first = 1;  // 0 marks a variable without identifier
  if (first + static_cast<uint64_t>(n) > VAR_ID_MASK) {
    PyErr_SetString(korvu_ModelError, "Not enough memory to create variables with korvu.vars()");
    return -1;
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    var_s *v = PyObject_New(var_s, &korvu_varType);
    if (!v) {
      for (Py_ssize_t j = 0; j < i; ++j) Py_CLEAR(dst[j]);
      PyErr_Clear();
      PyErr_SetString(korvu_ModelError, "Not enough memory to create variables with korvu.vars()");
      return -1;
    }
    v->info = first + static_cast<uint64_t>(i);
    dst[i] = KRV_OBJ(v);
  }
  krv_py_env.next_var_id = first + static_cast<uint64_t>(n);
  return 0;
}

// Drops the references not handed to a result.
struct VarBatch {
  std::vector<PyObject *> v;
  ~VarBatch() {
    for (PyObject *o : v) Py_XDECREF(o);
  }
};

}  // namespace

const char korvumod_vars_doc[] =
    "vars(*indices, name='x', lb=0, ub=1e20, threshold=-1e20, vartype=korvu.continuous)\n--\n\n"
    "Purpose:\n  Creates variables indexed by the product of index sets.\n\n"
    "Synopsis:\n  x = korvu.vars(3, 4)                   # a 3 x 4 NumPy array of variables\n"
    "  y = korvu.vars(['a', 'b'], range(3))   # a dict keyed by ('a', 0) ... ('b', 2)\n"
    "  z = korvu.vars(1000, 1000, name='')    # fast: no names\n\n"
    "Arguments:\n  indices: each is one dimension: a list, a set, any other sequence (tuple,\n"
    "    range, string, ...) or a positive integer k standing for 0 ... k-1.\n"
    "  name: prefix of the names, 'x' by default; x(1,a) is the name of the variable\n"
    "    of indices (1, 'a').  The empty string gives no names (the fast way).\n"
    "  lb, ub: bounds of every variable.\n"
    "  threshold: the threshold of semi-continuous and partially integer variables.\n"
    "  vartype: korvu.continuous, binary, integer, semicontinuous, semiinteger or\n"
    "    partiallyinteger.  Binaries get their bounds clipped to [0, 1].\n\n"
    "Example:\n  x = korvu.vars(['a', 'b'], [1, 2], vartype=korvu.integer, ub=10)\n"
    "  p.addVariable(x)\n\n"
    "Further information:\n  When every index is an integer the result is a NumPy array of dtype\n"
    "  korvu.npvar filled in row-major order; otherwise a dict keyed by the index\n"
    "  itself for one dimension and by tuples of indices for several.  With no\n"
    "  index a single variable is returned.  Identifiers of one call are\n"
    "  consecutive.\n\n"
    "Related topics:\n  var, Sum, Dot, npvar\n";

PyObject *korvumod_vars(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"indices", "name", "lb", "ub", "threshold", "vartype", nullptr};
  double placeholder = 0.0, lb = 0.0, ub = kInf, threshold = -kInf;
  const char *name = nullptr;
  long vartype = 0;
  PyRef dummy = PyRef::steal(Py_BuildValue("(d)", 0.0));
  if (!dummy || !PyArg_ParseTupleAndKeywords(dummy.get(), kwargs, "d|sdddl", const_cast<char **>(kwlist),
                                             &placeholder, &name, &lb, &ub, &threshold, &vartype))
    return nullptr;
  if (lb > ub + 1e-6) {
    PyErr_SetString(korvu_ModelError, "Variables have empty feasible set: lower bound > upper bound");
    return nullptr;
  }
  if (vartype < 0 || vartype > 5) {
    PyErr_Format(korvu_ModelError,
                 "Invalid variable type %ld: must be one of korvu.continuous, korvu.binary, korvu.integer, "
                 "korvu.semicontinuous, korvu.semiinteger, korvu.partiallyinteger",
                 vartype);
    return nullptr;
  }
  Py_ssize_t nd = PyTuple_GET_SIZE(args);
  if (nd == 0) {
    PyRef empty = PyRef::steal(PyTuple_New(0));
    if (!empty) return nullptr;
    return setKrvuErrIfNull(nullptr, PyObject_Call(KRV_OBJ(&korvu_varType), empty.get(), kwargs));
  }
  if (vartype == 1) {
    if (lb < 0.0) lb = 0.0;
    if (ub > 1.0) ub = 1.0;
  }
  std::string prefix = name ? std::string(name).substr(0, kMaxPrefix) : std::string("x");
  bool named = !prefix.empty();

  std::vector<Dimension> dims;
  try {
    dims.resize(static_cast<size_t>(nd));
  } catch (const std::bad_alloc &) {
    return no_memory(
        "No memory to create variables. Consider restricting one or more index sets/lists/ranges in the index "
        "argument to korvu.vars()");
  }
  bool all_counts = true;
  Py_ssize_t total = 1;
  for (Py_ssize_t i = 0; i < nd; ++i) {
    if (read_dimension(PyTuple_GET_ITEM(args, i), &dims[static_cast<size_t>(i)]) < 0)
      return setKrvuErrIfNull(nullptr, nullptr);
    Py_ssize_t k = dims[static_cast<size_t>(i)].size;
    all_counts = all_counts && dims[static_cast<size_t>(i)].count;
    if (total > PY_SSIZE_T_MAX / 16 / k)
      return no_memory(
          "No memory to create variables. Consider restricting one or more index sets/lists/ranges in the index "
          "argument to korvu.vars()");
    total *= k;
  }

  // Arrays receive the variables straight into their (zeroed) cells; dicts
  // take them from a batch that drops whatever is not handed over.
  PyRef result;
  VarBatch batch;
  PyObject **dst;
  if (all_counts) {
    std::vector<npy_intp> shape(static_cast<size_t>(nd));
    for (size_t i = 0; i < shape.size(); ++i) shape[i] = dims[i].size;
    PyArray_Descr *descr = reinterpret_cast<PyArray_Descr *>(krv_py_env.npvar);
    if (!descr) return model_error("The NumPy data types of korvu are not registered");
    Py_INCREF(descr);
    result = PyRef::steal(PyArray_NewFromDescr(&PyArray_Type, descr, static_cast<int>(nd), shape.data(), nullptr,
                                               nullptr, 0, nullptr));
    if (!result) return no_memory("Not enough memory to create variables with korvu.vars()");
    dst = reinterpret_cast<PyObject **>(PyArray_DATA(reinterpret_cast<PyArrayObject *>(result.get())));
  } else {
    result = PyRef::steal(PyDict_New());
    if (!result)
      return no_memory(
          "Could not create variables. Consider restricting one or more index sets/lists/ranges in the index "
          "argument to korvu.vars()");
    try {
      batch.v.assign(static_cast<size_t>(total), nullptr);
    } catch (const std::bad_alloc &) {
      return no_memory("Not enough memory to create variables with korvu.vars()");
    }
    dst = batch.v.data();
  }
  if (allocate_vars(dst, total) < 0) return nullptr;

  // Bounds, threshold and type: side-map entries only for values that need one.
  if (lb != 0.0 || ub != kInf || threshold != -kInf || vartype != 0)
    for (Py_ssize_t k = 0; k < total; ++k) {
      uint64_t *info = &KRV_VAR(dst[k])->info;
      if (lb != 0.0) set_var_lbound(info, lb);
      if (ub != kInf) set_var_ubound(info, ub);
      if (threshold != -kInf) set_var_thold(info, threshold);
      if (vartype != 0) set_var_type(info, static_cast<int>(vartype));
    }

  // Walk the product in odometer order (the last dimension fastest).
  std::vector<Py_ssize_t> pos(static_cast<size_t>(nd), 0);
  if (all_counts && !named) return result.release();
  std::string text;
  for (Py_ssize_t k = 0; k < total; ++k) {
    PyObject *v = dst[k];
    if (named) {
      text.assign(prefix);
      for (size_t i = 0; i < pos.size(); ++i) {
        text.push_back(i == 0 ? '(' : ',');
        if (dims[i].count) {
          char buf[32];
          auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long>(pos[i]));
          text.append(buf, static_cast<size_t>(r.ptr - buf));
        } else if (append_index(&text, PyList_GET_ITEM(dims[i].items.get(), pos[i])) < 0) {
          return setKrvuErrIfNull(nullptr, nullptr);
        }
      }
      text.push_back(')');
      PyRef n = PyRef::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
      if (!n) return nullptr;
      set_var_name(&KRV_VAR(v)->info, n.get());
    }
    if (!all_counts) {
      PyRef key;
      if (nd == 1) {
        key = PyRef::steal(index_object(dims[0], pos[0]));
      } else {
        key = PyRef::steal(PyTuple_New(nd));
        for (Py_ssize_t i = 0; key && i < nd; ++i) {
          PyObject *idx = index_object(dims[static_cast<size_t>(i)], pos[static_cast<size_t>(i)]);
          if (!idx) return nullptr;
          PyTuple_SET_ITEM(key.get(), i, idx);
        }
      }
      if (!key) return nullptr;
      PyObject *stored = PyDict_SetDefault(result.get(), key.get(), v);
      if (!stored) return nullptr;
      if (stored != v) {
        PyRef vname = PyRef::steal(PyObject_Str(v));
        PyErr_Format(korvu_ModelError,
                     "Duplicate entry in vars: <%S>. Check arguments for duplicate entries in one or more of the "
                     "lists",
                     vname ? vname.get() : key.get());
        return nullptr;
      }
    }
    for (Py_ssize_t i = nd - 1; i >= 0; --i) {
      size_t u = static_cast<size_t>(i);
      if (++pos[u] < dims[u].size) break;
      pos[u] = 0;
    }
  }
  return result.release();
}

PyMethodDef korvu_array_methods[] = {
    {"vars", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(korvumod_vars)),
     METH_VARARGS | METH_KEYWORDS, korvumod_vars_doc},
    {nullptr, nullptr, 0, nullptr},
};
