// Registration of variables and special ordered sets, and the elements of a
// problem declaration.
#include "problem/registration.h"

#include <vector>

#include "model/algebra.h"
#include "model/constraint.h"
#include "model/maps.h"
#include "module/module.h"
#include "module/numpy_api.h"
#include "problem/batch_lease.h"
#include "problem/methods.h"
#include "problem/walker.h"

using korvu::PyRef;

bool name_text(PyObject *name, std::string *out) {
  if (!PyUnicode_Check(name)) return false;
  Py_ssize_t n;
  const char *s = PyUnicode_AsUTF8AndSize(name, &n);
  if (!s) return false;
  for (Py_ssize_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(s[i]) > 127) {
      // The library takes ASCII names; raise the interpreter's own encoding error.
      PyRef enc = PyRef::steal(PyUnicode_AsASCIIString(name));
      return false;
    }
  out->assign(s, static_cast<size_t>(n));
  return true;
}

namespace {

// Takes out of the list and map the objects a failed call appended, so that
// list positions stay equal to library indices.
void rollback(PyObject *list, rowcolmap *map, Py_ssize_t first, int64_t (*key)(PyObject *)) {
  Py_ssize_t n = PyList_GET_SIZE(list);
  for (Py_ssize_t i = first; i < n; ++i) rowcolmap_del(map, key(PyList_GET_ITEM(list, i)));
  PyObject *etype, *evalue, *etb;
  PyErr_Fetch(&etype, &evalue, &etb);
  PyList_SetSlice(list, first, n, nullptr);
  PyErr_Restore(etype, evalue, etb);
}

int64_t var_key(PyObject *v) { return static_cast<int64_t>(var_id(v)); }

struct VarBatch {
  int first = 0;
  std::vector<double> lb, ub;
  std::vector<int> typed_cols, limit_cols;
  std::vector<char> types;
  std::vector<double> limits;
  std::string names;
  std::vector<int64_t> starts;  // all zero: new columns come without coefficients

  void reset(int f) {
    first = f;
    lb.clear();
    ub.clear();
    typed_cols.clear();
    limit_cols.clear();
    types.clear();
    limits.clear();
    names.clear();
  }
  bool large() const { return lb.capacity() > 4096 || starts.capacity() > 4096 || names.capacity() > 65536; }
  void reserve(size_t cols) {
    lb.reserve(cols);
    ub.reserve(cols);
    names.reserve(cols * 10);
  }
};

// How many variables a call may bring, from the sizes of the arrays, tuples
// and lists it passes (nothing else is looked into, and no element is
// touched): the batch is sized once rather than grown by doubling, which
// copied a large call's bounds and names and touched twice their pages.
size_t count_leaves(PyObject *o, int depth) {
  if (depth < 0) return 0;
  if (PyTuple_Check(o) || PyList_Check(o)) {
    size_t n = 0;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(o); ++i)
      n += count_leaves(PySequence_Fast_GET_ITEM(o, i), depth - 1);
    return n;
  }
  if (PyArray_Check(o)) return static_cast<size_t>(PyArray_SIZE(reinterpret_cast<PyArrayObject *>(o)));
  return 1;
}

int add_var_leaf(problem_s *p, PyObject *leaf, void *ctx) {
  VarBatch &b = *static_cast<VarBatch *>(ctx);
  if (!is_var(leaf)) {
    PyErr_SetString(korvu_ModelError, "Incorrect objects added as variables to problem");
    return -1;
  }
  uint64_t info = KRV_VAR(leaf)->info;
  if (rowcolmap_has(p->varmap, info & VAR_ID_MASK)) {
    PyErr_SetString(korvu_ModelError, "Variable already added to problem");
    return -1;
  }
  static const char kTypes[] = {'C', 'B', 'I', 'S', 'R', 'P'};
  int type = get_var_type(info);
  if (type < 0 || type > 5) {
    PyErr_SetString(korvu_ModelError, "Incorrect variable type passed to addVariable()");
    return -1;
  }
  double lb = get_var_lbound(info), ub = get_var_ubound(info);
  int col = b.first + static_cast<int>(b.lb.size());
  if (type >= 3) {
    double t = get_var_thold(info);
    if (!(lb <= t && t <= ub)) {
      PyErr_SetString(korvu_ModelError,
                      "Incorrect semi-continuous, semi-integer, or partially integer variable; "
                      "check that its threshold is between its lower and upper bounds");
      return -1;
    }
    b.limit_cols.push_back(col);
    b.limits.push_back(t);
  }
  std::string text;
  if (var_name_stored(info)) {
    PyRef name = PyRef::steal(get_var_name(info));
    if (!name) return -1;
    if (!name_text(name.get(), &text)) {
      if (!PyErr_Occurred())
        PyErr_SetString(korvu_ModelError, "Invalid variable name (must be a string)");
      return -1;
    }
    if (text.size() > 150) text.resize(150);
  }
  if (PyList_Append(p->vars, leaf) < 0) return -1;
  if (rowcolmap_set(p->varmap, info & VAR_ID_MASK, col) != 0) {
    PyErr_SetString(korvu_ModelError, "Could not amend variable map");
    return -1;
  }
  if (type != 0) {
    b.typed_cols.push_back(col);
    b.types.push_back(kTypes[type]);
  }
  b.lb.push_back(lb);
  b.ub.push_back(ub);
  if (var_name_stored(info))
    b.names.append(text);
  else
    append_default_name(&b.names, 'C', info & VAR_ID_MASK);
  b.names.push_back('\0');
  return 0;
}

// Sends a batch of columns; on a failure the columns sent are deleted again.
int send_columns(problem_s *p, VarBatch &b) {
  int n = static_cast<int>(b.lb.size());
  if (n == 0) return 0;
  b.starts.resize(static_cast<size_t>(n), 0);
  if (KRVUaddcols64(p->prob, n, 0, nullptr, b.starts.data(), nullptr, nullptr, b.lb.data(),
                    b.ub.data()) != 0)
    return -1;
  if (KRVUaddnames(p->prob, 2, b.names.data(), b.first, b.first + n - 1) == 0 &&
      (b.types.empty() || KRVUchgcoltype(p->prob, static_cast<int>(b.types.size()),
                                         b.typed_cols.data(), b.types.data()) == 0) &&
      (b.limits.empty() || KRVUchgglblimit(p->prob, static_cast<int>(b.limits.size()),
                                           b.limit_cols.data(), b.limits.data()) == 0))
    return 0;
  std::vector<int> added(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) added[i] = b.first + i;
  // Raised now: taking the columns back clears the library's text.
  setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
  KRVUdelcols(p->prob, n, added.data());
  return -1;
}

}  // namespace

namespace {

// Registers the variables of `what` (the call's argument tuple, or its one
// argument walked at the depth the tuple's items would have).
PyObject *add_variables(PyObject *self, PyObject *what, int depth) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!problem_ready(p)) return nullptr;
  int first_col = 0;
  if (KRVUgetintattrib(p->prob, KRVU_ATTR_ORIGINALCOLS, &first_col) != 0)
    return setKrvuErrIfNull(self, nullptr);
  korvu::BatchLease<VarBatch> lease(first_col);
  VarBatch &b = *lease;
  if (Py_TYPE(what) != &korvu_varType) {
    size_t n = count_leaves(what, depth);
    if (n > 1) b.reserve(n);
  }
  Py_ssize_t first = PyList_GET_SIZE(p->vars);
  if (!walk_leaves(p, what, add_var_leaf, &b, depth) || send_columns(p, b) != 0) {
    rollback(p->vars, p->varmap, first, var_key);
    return setKrvuErrIfNull(self, nullptr);
  }
  Py_RETURN_NONE;
}

}  // namespace

PyObject *problem_addVariable(PyObject *self, PyObject *args) {
  return add_variables(self, args, KORVU_WALK_DEPTH);
}

PyObject *problem_addVariable_fast(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
  // One variable per call, as a model built in a loop passes them: no argument tuple.
  if (nargs == 1 && Py_TYPE(args[0]) == &korvu_varType) return add_variables(self, args[0], KORVU_WALK_DEPTH - 1);
  PyRef tuple = PyRef::steal(PyTuple_New(nargs));
  if (!tuple) return nullptr;
  for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(tuple.get(), i, Py_NewRef(args[i]));
  return problem_addVariable(self, tuple.get());
}

namespace {

int add_sos_leaf(problem_s *p, PyObject *leaf, void *) {
  if (!PyObject_TypeCheck(leaf, &korvu_sosType)) {
    PyErr_SetString(korvu_ModelError, "Object added is not a SOS");
    return -1;
  }
  sos_s *s = reinterpret_cast<sos_s *>(leaf);
  if (rowcolmap_has(p->sosmap, static_cast<uint64_t>(s->id))) {
    PyErr_SetString(korvu_ModelError, "SOS already added to problem");
    return -1;
  }
  if (!s->indices || !PyList_Check(s->indices) || !s->weights || !PyList_Check(s->weights) ||
      PyList_GET_SIZE(s->indices) != PyList_GET_SIZE(s->weights)) {
    PyErr_SetString(korvu_ModelError, "SOS indices must be passed as a list");
    return -1;
  }
  Py_ssize_t n = PyList_GET_SIZE(s->indices);
  std::vector<int> cols(static_cast<size_t>(n));
  std::vector<double> weights(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *m = PyList_GET_ITEM(s->indices, i);
    if (is_var(m)) {
      int64_t col;
      if (rowcolmap_get(p->varmap, var_id(m), &col) != 0) {
        PyErr_SetString(korvu_ModelError, "SOS contains variable that was not added to the problem");
        return -1;
      }
      cols[i] = static_cast<int>(col);
    } else if (PyLong_Check(m) || PyArray_IsScalar(m, Integer)) {
      long v = PyLong_AsLong(m);
      if (v == -1 && PyErr_Occurred()) return -1;
      cols[i] = static_cast<int>(v);
    } else {
      PyErr_SetString(korvu_ModelError, "SOS indices must be passed as a list");
      return -1;
    }
    weights[i] = PyFloat_AsDouble(PyList_GET_ITEM(s->weights, i));
    if (weights[i] == -1.0 && PyErr_Occurred()) return -1;
  }
  char type = s->type == 2 ? '2' : '1';
  int64_t start = 0;
  if (KRVUaddsets64(p->prob, 1, n, &type, &start, cols.data(), weights.data()) != 0) return -1;
  int nsets = 0;
  if (KRVUgetintattrib(p->prob, KRVU_ATTR_ORIGINALSETS, &nsets) != 0) return -1;
  std::string name;
  if (s->name && name_text(s->name, &name)) {
    name.push_back('\0');
    if (KRVUaddsetnames(p->prob, name.data(), nsets - 1, nsets - 1) != 0) return -1;
  }
  PyErr_Clear();
  if (PyList_Append(p->sos, leaf) < 0) return -1;
  if (rowcolmap_set(p->sosmap, static_cast<uint64_t>(s->id), nsets - 1) != 0) {
    PyErr_SetString(korvu_ModelError, "Could not amend SOS map");
    return -1;
  }
  return 0;
}

}  // namespace

PyObject *problem_addSOS(PyObject *self, PyObject *args) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!problem_ready(p)) return nullptr;
  if (!walk_leaves(p, args, add_sos_leaf, nullptr)) return setKrvuErrIfNull(self, nullptr);
  Py_RETURN_NONE;
}

// ---- the elements of korvu.problem(...)

namespace {

struct FirstLeaf {
  PyObject *leaf = nullptr;  // borrowed while the walk holds it; we take a reference
};

int first_leaf(problem_s *, PyObject *leaf, void *ctx) {
  FirstLeaf &f = *static_cast<FirstLeaf *>(ctx);
  Py_INCREF(leaf);
  f.leaf = leaf;
  return -1;  // stop the walk; no exception set
}

bool is_objective_kind(PyObject *o) {
  int k = expr_kind(o);
  return k >= KIND_VAR && k <= KIND_NL;
}

}  // namespace

int problem_add_elements(problem_s *self, PyObject *elements, int sense) {
  PyObject *obj = reinterpret_cast<PyObject *>(self);
  bool named = false, has_objective = false;
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(elements); ++i) {
    PyObject *e = PyTuple_GET_ITEM(elements, i);
    if (PyUnicode_Check(e)) {
      if (named) {
        PyErr_SetString(korvu_ModelError, "More than one string passed in problem declaration");
        return -1;
      }
      named = true;
      std::string text;
      if (!name_text(e, &text)) {
        if (!PyErr_Occurred()) PyErr_SetString(korvu_ModelError, "Invalid problem name");
        return -1;
      }
      if (KRVUsetprobname(self->prob, text.c_str()) != 0) {
        setKrvuErrIfNull(obj, nullptr);
        return -1;
      }
      continue;
    }
    FirstLeaf found;
    if (!walk_leaves(self, e, first_leaf, &found) && PyErr_Occurred()) return -1;
    PyRef leaf = PyRef::steal(found.leaf);
    if (!leaf) continue;  // an empty container
    // With a generator the walk has taken the first leaf: pass both on.
    PyRef target;
    if (PyIter_Check(e) && !PyTuple_Check(e) && !PyList_Check(e))
      target = PyRef::steal(PyTuple_Pack(2, leaf.get(), e));
    else
      target = PyRef::steal(PyTuple_Pack(1, e));
    if (!target) return -1;

    bool objective = is_objective_kind(leaf.get()) && !is_var(leaf.get());
    if (is_var(e) && rowcolmap_has(self->varmap, var_id(e))) objective = true;
    PyRef r;
    if (objective) {
      if (PyArray_Check(e) && PyArray_SIZE(reinterpret_cast<PyArrayObject *>(e)) > 1) {
        PyErr_SetString(korvu_ModelError,
                        "Only one objective can be set, but a sequence or NumPy array of "
                        "expressions was passed");
        return -1;
      }
      if (!PyArray_Check(e) && !is_objective_kind(e)) {
        PyErr_SetString(korvu_ModelError,
                        "Incorrect way of defining an objective function (it should not be in an "
                        "aggregate structure)");
        return -1;
      }
      if (has_objective) {
        PyErr_SetString(korvu_ModelError,
                        "At most one expression can be used as an objective function");
        return -1;
      }
      has_objective = true;
      if (problem_set_objective(self, PyArray_Check(e) ? leaf.get() : e, sense) < 0) return -1;
      continue;
    }
    if (is_var(leaf.get()))
      r = PyRef::steal(problem_addVariable(obj, target.get()));
    else if (PyObject_TypeCheck(leaf.get(), &korvu_constraintType))
      r = PyRef::steal(problem_addConstraint(obj, target.get()));
    else if (PyObject_TypeCheck(leaf.get(), &korvu_sosType))
      r = PyRef::steal(problem_addSOS(obj, target.get()));
    else {
      PyErr_SetString(korvu_ModelError,
                      "Erroneous problem declaration; argument contained object that was not a "
                      "variable, constraint, or expression");
      return -1;
    }
    if (!r) return -1;
  }
  return 0;
}
