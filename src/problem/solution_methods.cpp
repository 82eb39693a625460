// getSolution, getSlack, getDual, getRCost and getObjVal of korvu.problem.
#include <vector>

#include "arrays/evaluate.h"
#include "binding/convert.h"
#include "model/constraint.h"
#include "model/maps.h"
#include "module/module.h"
#include "module/numpy_api.h"
#include "problem/methods.h"
#include "problem/solution.h"
#include "problem/walker.h"

using korvu::PyRef;

namespace {

struct pick_context {
  const std::vector<double> *values;
  bool columns;
  PyObject *out;  // list of floats
};

int out_of_range() {
  PyErr_SetString(korvu_ModelError, "Index out of range");
  return -1;
}

// The vector index addressed by one leaf.
int leaf_index(problem_s *p, PyObject *leaf, bool columns, Py_ssize_t n, int64_t *index) {
  int64_t value = -1;
  int failed = 0;
  if (conv_int_value(leaf, &value, &failed)) {
    if (failed) {
      PyErr_Clear();
      return out_of_range();
    }
  } else if (PyUnicode_Check(leaf) || PyBytes_Check(leaf)) {
    PyObject *temporary = nullptr;
    const char *name = pyStrToStr(leaf, nullptr, &temporary);
    PyRef hold = PyRef::steal(temporary);
    if (!name) return -1;
    int found = -1;
    if (KRVUgetindex(p->prob, columns ? 2 : 1, name, &found) != 0) {
      setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
      return -1;
    }
    value = found;
  } else if (columns && is_var(leaf)) {
    if (rowcolmap_get(p->varmap, var_id(leaf), &value) != 0) return out_of_range();
  } else if (!columns && PyObject_TypeCheck(leaf, &korvu_constraintType)) {
    uint64_t id = reinterpret_cast<constraint_s *>(leaf)->info & CON_ID_MASK;
    if (rowcolmap_get(p->rowmap, id, &value) != 0) return out_of_range();
  } else if (!columns && PyObject_TypeCheck(leaf, &korvu_sosType)) {
    uint64_t id = static_cast<uint64_t>(reinterpret_cast<sos_s *>(leaf)->id);
    if (rowcolmap_get(p->sosmap, id, &value) != 0) return out_of_range();
  } else {
    PyErr_SetString(korvu_ModelError,
                    "Incorrect object(s) passed: need index, variable, constraint, or SOS");
    return -1;
  }
  if (value < 0 || value >= n) return out_of_range();
  *index = value;
  return 0;
}

int pick_leaf(problem_s *p, PyObject *leaf, void *context) {
  pick_context *c = static_cast<pick_context *>(context);
  int64_t index = 0;
  if (leaf_index(p, leaf, c->columns, static_cast<Py_ssize_t>(c->values->size()), &index) < 0)
    return -1;
  PyRef v = PyRef::steal(PyFloat_FromDouble((*c->values)[static_cast<size_t>(index)]));
  if (!v || PyList_Append(c->out, v.get()) < 0) return -1;
  return 0;
}

// Containers whose leaves are addressed one by one; anything else is one leaf.
bool is_container(PyObject *o) {
  if (PyUnicode_Check(o) || PyBytes_Check(o)) return false;
  return PyTuple_Check(o) || PyList_Check(o) || PyDict_Check(o) || PyArray_Check(o) ||
         PyIter_Check(o) || PySequence_Check(o);
}

PyObject *whole_vector(const std::vector<double> &v) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(v.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < v.size(); ++i) {
    PyObject *f = PyFloat_FromDouble(v[i]);
    if (!f) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), f);
  }
  return list.release();
}

// Flat addressing shared by all four readers.
PyObject *pick(problem_s *p, PyObject *args, const std::vector<double> &v, bool columns) {
  Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (nargs == 0) return whole_vector(v);
  if (nargs == 1 && !is_container(PyTuple_GET_ITEM(args, 0))) {
    int64_t index = 0;
    if (leaf_index(p, PyTuple_GET_ITEM(args, 0), columns, static_cast<Py_ssize_t>(v.size()),
                   &index) < 0)
      return nullptr;
    return PyFloat_FromDouble(v[static_cast<size_t>(index)]);
  }
  // The leaf walker reads numeric arrays as floats; arrays of integers given
  // as arguments are index lists here.
  PyRef walked = PyRef::borrow(args);
  for (Py_ssize_t i = 0; i < nargs; ++i) {
    PyObject *a = PyTuple_GET_ITEM(args, i);
    if (!PyArray_Check(a) || !PyArray_ISINTEGER(reinterpret_cast<PyArrayObject *>(a))) continue;
    if (walked.get() == args) {
      walked = PyRef::steal(PyTuple_GetSlice(args, 0, nargs));
      if (!walked) return nullptr;
    }
    PyObject *items = PyArray_ToList(reinterpret_cast<PyArrayObject *>(a));
    if (!items) return nullptr;
    PyObject *old = PyTuple_GET_ITEM(walked.get(), i);
    PyTuple_SET_ITEM(walked.get(), i, items);
    Py_DECREF(old);
  }
  PyRef out = PyRef::steal(PyList_New(0));
  if (!out) return nullptr;
  pick_context c{&v, columns, out.get()};
  if (!walk_leaves(p, walked.get(), pick_leaf, &c)) return nullptr;
  return out.release();
}

PyObject *read_and_pick(PyObject *self, PyObject *args, int which) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  std::vector<double> v;
  if (problem_read_vector(p, which, v) < 0) return setKrvuErrIfNull(self, nullptr);
  return setKrvuErrIfNull(self, pick(p, args, v, which == KORVU_PRIMAL || which == KORVU_RCOST));
}

PyObject *problem_getSolution(PyObject *self, PyObject *args, PyObject *kwargs) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  bool flatten = false;
  if (kwargs) {
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!PyUnicode_Check(key) || PyUnicode_CompareWithASCIIString(key, "flatten") != 0) {
        PyErr_Format(PyExc_TypeError, "getSolution() got an unexpected keyword argument '%S'",
                     key);
        return nullptr;
      }
      flatten = value == Py_True;
    }
  }
  std::vector<double> v;
  if (problem_read_vector(p, KORVU_PRIMAL, v) < 0) return setKrvuErrIfNull(self, nullptr);
  if (flatten || PyTuple_GET_SIZE(args) == 0) return setKrvuErrIfNull(self, pick(p, args, v, true));
  // Column indices as a NumPy integer array: the values in the array's shape.
  bool index_arrays = false;
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(args); ++i) {
    PyObject *a = PyTuple_GET_ITEM(args, i);
    index_arrays = index_arrays || (PyArray_Check(a) && PyArray_ISINTEGER(reinterpret_cast<PyArrayObject *>(a)));
  }
  if (index_arrays && PyTuple_GET_SIZE(args) == 1) {
    PyArrayObject *a = reinterpret_cast<PyArrayObject *>(PyTuple_GET_ITEM(args, 0));
    PyRef flat = PyRef::steal(pick(p, args, v, true));
    if (!flat) return setKrvuErrIfNull(self, nullptr);
    PyRef values = PyRef::steal(PyArray_FROM_OTF(flat.get(), NPY_DOUBLE, NPY_ARRAY_DEFAULT));
    if (!values) return nullptr;
    PyArray_Dims shape{PyArray_DIMS(a), PyArray_NDIM(a)};
    return PyArray_Newshape(reinterpret_cast<PyArrayObject *>(values.get()), &shape, NPY_CORDER);
  }
  if (index_arrays) return setKrvuErrIfNull(self, pick(p, args, v, true));
  eval_context ctx{p, v.data(), static_cast<Py_ssize_t>(v.size()), nullptr, 1};
  PyObject *result = scan_args_expressions(args, &ctx, 1);
  if (!result && !PyErr_Occurred()) Py_RETURN_NONE;
  return setKrvuErrIfNull(self, result);
}

PyObject *problem_getSlack(PyObject *self, PyObject *args) {
  return read_and_pick(self, args, KORVU_SLACK);
}
PyObject *problem_getDual(PyObject *self, PyObject *args) {
  return read_and_pick(self, args, KORVU_DUAL);
}
PyObject *problem_getRCost(PyObject *self, PyObject *args) {
  return read_and_pick(self, args, KORVU_RCOST);
}

PyObject *problem_getObjVal(PyObject *self, PyObject *) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!p->prob) {
    PyErr_SetString(korvu_ModelError, "The problem is not initialised");
    return nullptr;
  }
  double value = 0.0;
  int rc;
  if (p->slpprob && (p->nonlin_rows || p->nonlin_obj) && problem_solution_is_nonlinear(p)) {
    rc = KSLPgetdblattrib(p->slpprob, KSLP_ATTR_OBJVAL, &value);
  } else {
    int mip = problem_is_mip(p);
    if (mip < 0) return setKrvuErrIfNull(self, nullptr);
    rc = KRVUgetdblattrib(p->prob, mip ? KRVU_ATTR_MIPBESTOBJVAL : KRVU_ATTR_LPOBJVAL, &value);
  }
  if (rc != 0) return setKrvuErrIfNull(self, nullptr);
  return setKrvuErrIfNull(self, PyFloat_FromDouble(value));
}

#define ADDRESSING_HELP                                                                      \
  "  Without arguments the whole vector is returned as a list of floats.  One\n"            \
  "  argument that is not a container gives one float.  Otherwise every leaf of\n"         \
  "  the arguments (nested lists, tuples, dict values, NumPy arrays) is taken in\n"         \
  "  order and the result is one flat list of floats.  A leaf is a model object\n"         \
  "  of the problem, an integer index or a name.\n"

const char getSolution_doc[] =
    "getSolution($self, *args, flatten=False)\n--\n\n"
    "Purpose:\n  Values of variables and expressions at the current solution.\n\n"
    "Synopsis:\n  v = p.getSolution(*args, flatten=False)\n\n"
    "Arguments:\n"
    "  args: variables, expressions, column indices or column names, in any nesting\n"
    "    of lists, tuples, dicts and NumPy arrays.  The result has the shape of the\n"
    "    arguments: one argument gives its value, several a tuple of values.\n"
    "    Without arguments the whole primal vector is returned as a list.\n"
    "  flatten: if True, the leaves of the arguments are read in order into one\n"
    "    flat list of floats (only variables, indices and names).\n\n"
    "Example:\n  p.solve(); x0, ys = p.getSolution(x, [y, z])\n\n"
    "Related topics:\n  getSlack, getDual, getRCost, getObjVal, solve\n";

const char getSlack_doc[] =
    "getSlack($self, *args)\n--\n\n"
    "Purpose:\n  Slacks of constraints at the current solution.\n\n"
    "Synopsis:\n  s = p.getSlack(*args)\n\n"
    "Arguments:\n  args: constraints, row indices or row names.\n" ADDRESSING_HELP
    "\nExample:\n  p.solve(); s = p.getSlack(c1)\n\n"
    "Related topics:\n  getDual, getSolution\n";

const char getDual_doc[] =
    "getDual($self, *args)\n--\n\n"
    "Purpose:\n  Dual values of constraints at the current solution of a continuous problem.\n\n"
    "Synopsis:\n  d = p.getDual(*args)\n\n"
    "Arguments:\n  args: constraints, row indices or row names.\n" ADDRESSING_HELP
    "\nExample:\n  p.solve(); d = p.getDual([c1, c2])\n\n"
    "Further information:\n  Mixed-integer problems have no dual values; the call fails for them.\n\n"
    "Related topics:\n  getRCost, getSlack\n";

const char getRCost_doc[] =
    "getRCost($self, *args)\n--\n\n"
    "Purpose:\n  Reduced costs of variables at the current solution of a continuous problem.\n\n"
    "Synopsis:\n  r = p.getRCost(*args)\n\n"
    "Arguments:\n  args: variables, column indices or column names.\n" ADDRESSING_HELP
    "\nExample:\n  p.solve(); r = p.getRCost(x)\n\n"
    "Further information:\n  Mixed-integer problems have no reduced costs; the call fails for them.\n\n"
    "Related topics:\n  getDual, getSolution\n";

const char getObjVal_doc[] =
    "getObjVal($self)\n--\n\n"
    "Purpose:\n  The objective value of the current solution.\n\n"
    "Synopsis:\n  v = p.getObjVal()\n\n"
    "Example:\n  p.solve(); print(p.getObjVal())\n\n"
    "Further information:\n  For a mixed-integer problem, the value of the best solution found.\n\n"
    "Related topics:\n  getSolution, solve\n";

}  // namespace

PyMethodDef problem_solution_methods[] = {
    {"getSolution", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(problem_getSolution)),
     METH_VARARGS | METH_KEYWORDS, getSolution_doc},
    {"getSlack", problem_getSlack, METH_VARARGS, getSlack_doc},
    {"getDual", problem_getDual, METH_VARARGS, getDual_doc},
    {"getRCost", problem_getRCost, METH_VARARGS, getRCost_doc},
    {"getObjVal", problem_getObjVal, METH_NOARGS, getObjVal_doc},
    {nullptr, nullptr, 0, nullptr},
};
