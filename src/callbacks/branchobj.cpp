// korvu.branchobj: a branching object of the library, built from Python or
// lent by the library to a chgbranchobject callback.
#include <vector>

#include "binding/convert.h"
#include "callbacks/callbacks.h"
#include "model/records.h"
#include "module/module.h"

using korvu::KoArray;
using korvu::PyRef;

// The closing report reads branching objects' errors through these.
extern PyTypeObject *korvu_branchobj_type;
extern int (*korvu_branchobj_lasterror)(PyObject *bo, int *code, char *buf, int size);

namespace {

struct branchobj_s {
  PyObject_HEAD
  KRVUbranchobject handle;
  PyObject *problem;
  int32_t isoriginal;
};

branchobj_s *bo_of(PyObject *o) { return reinterpret_cast<branchobj_s *>(o); }
problem_s *prob_of(branchobj_s *b) { return reinterpret_cast<problem_s *>(b->problem); }

PyObject *report(PyObject *self, int rc, PyObject *result) {
  if (rc == 0) return result;
  Py_XDECREF(result);
  return setKrvuErrIfNull(self, nullptr);
}

int lasterror(PyObject *bo, int *code, char *buf, int size) {
  KRVUbranchobject h = bo_of(bo)->handle;
  if (!h) {
    PyOS_snprintf(buf, size, "The branching object is empty (not created, or stored with the solver)");
    return 0;
  }
  return KRVU_bo_getlasterror(h, code, buf, size, nullptr);
}

int column_code(branchobj_s *b) { return b->isoriginal ? CONV_COL : CONV_INT; }

// The linear terms and constant of a branch constraint's body; -1 with
// ModelError for a quadratic or nonlinear body.
int linear_terms(int ibranch, PyObject *body, PyRef &vars, PyRef &coefs, double &constant) {
  constant = 0;
  if (is_var(body)) {
    vars = PyRef::steal(Py_BuildValue("[O]", body));
    coefs = PyRef::steal(Py_BuildValue("[d]", 1.0));
  } else if (is_linterm(body)) {
    linterm_s *t = reinterpret_cast<linterm_s *>(body);
    vars = PyRef::steal(Py_BuildValue("[O]", reinterpret_cast<PyObject *>(t->var)));
    coefs = PyRef::steal(Py_BuildValue("[d]", t->coef));
  } else if (is_expression(body)) {
    PyRef quad = PyRef::steal(PyObject_CallMethod(body, "extractQuadratic", nullptr));
    if (!quad) return -1;
    PyObject *qv = PyTuple_Check(quad.get()) && PyTuple_GET_SIZE(quad.get()) == 3 ? PyTuple_GET_ITEM(quad.get(), 0) : nullptr;
    if (!qv || PyObject_Length(qv) != 0) {
      PyErr_Clear();
      PyErr_Format(korvu_ModelError, "Branch %i contains a quadratic or nonlinear constraint, invalid", ibranch);
      return -1;
    }
    PyRef lin = PyRef::steal(PyObject_CallMethod(body, "extractLinear", nullptr));
    if (!lin || !PyTuple_Check(lin.get()) || PyTuple_GET_SIZE(lin.get()) != 2) return -1;
    vars = PyRef::borrow(PyTuple_GET_ITEM(lin.get(), 0));
    coefs = PyRef::borrow(PyTuple_GET_ITEM(lin.get(), 1));
    constant = reinterpret_cast<expression_s *>(body)->constant;
  } else {
    PyErr_Format(korvu_ModelError, "Branch %i contains a quadratic or nonlinear constraint, invalid", ibranch);
    return -1;
  }
  return vars && coefs ? 0 : -1;
}

// One branch constraint: a bound when its body has one term (the body's
// constant is then not taken into account), else one row or, for a range,
// two.  Library failures return 1.
int add_branch_constraint(branchobj_s *b, int ibranch, PyObject *c) {
  PyRef body = PyRef::steal(PyObject_GetAttrString(c, "body"));
  PyRef lbo = PyRef::steal(PyObject_GetAttrString(c, "lb")), ubo = PyRef::steal(PyObject_GetAttrString(c, "ub"));
  if (!body || !lbo || !ubo) return -1;
  const double l = PyFloat_AsDouble(lbo.get()), u = PyFloat_AsDouble(ubo.get());
  if (PyErr_Occurred()) return -1;
  PyRef vars, coefs;
  double constant = 0;
  if (linear_terms(ibranch, body.get(), vars, coefs, constant) < 0) return -1;
  const Py_ssize_t n = PyList_Size(vars.get());
  if (n < 0) return -1;
  std::vector<int> cols(n);
  std::vector<double> vals(n);
  for (Py_ssize_t k = 0; k < n; ++k) {
    if (ObjInt2int(PyList_GET_ITEM(vars.get(), k), prob_of(b), &cols[k], CONV_COL) < 0) {
      PyErr_Clear();
      PyErr_SetString(korvu_ModelError, "Variable in branching object has not been added to problem yet");
      return -1;
    }
    vals[k] = PyFloat_AsDouble(PyList_GET_ITEM(coefs.get(), k));
    if (PyErr_Occurred()) return -1;
  }
  if (n == 1) {
    const double a = vals[0];
    if (a == 0) {
      PyErr_SetString(korvu_ModelError, "Coefficient zero in branch");
      return -1;
    }
    double lo = -1e20, up = 1e20;
    if (a > 0) {
      if (l > -5e19) lo = l / a;
      if (u < 5e19) up = u / a;
    } else {
      if (u < 5e19) lo = u / a;
      if (l > -5e19) up = l / a;
    }
    char type[2];
    int cs[2] = {cols[0], cols[0]};
    double v[2];
    int m = 0;
    if (lo > -1e20) type[m] = 'L', v[m++] = lo;
    if (up < 1e20) type[m] = 'U', v[m++] = up;
    return KRVU_bo_addbounds(b->handle, ibranch, m, type, cs, v) ? 1 : 0;
  }
  const bool haslo = l > -1e20, hasup = u < 1e20;
  if (!haslo && !hasup) {
    PyErr_SetString(korvu_ModelError, "Branch cannot have a free row");
    return -1;
  }
  int start[2] = {0, static_cast<int>(n)};
  auto row = [&](char t, double rhs) {
    return KRVU_bo_addrows(b->handle, ibranch, 1, static_cast<int>(n), &t, &rhs, start, cols.data(), vals.data());
  };
  int rc = 0;
  if (haslo && hasup && l == u) rc = row('E', l - constant);
  else {
    if (haslo) rc = row('G', l - constant);
    if (!rc && hasup) rc = row('L', u - constant);
  }
  return rc ? 1 : 0;
}

int bo_init(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"prob", "branches", "isoriginal", nullptr};
  PyObject *prob = nullptr, *branches = nullptr, *isorig = nullptr;
  branchobj_s *b = bo_of(self);
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|OO", const_cast<char **>(kwlist), &prob, &branches, &isorig) ||
      !korvu_is_problem(prob)) {
    PyErr_Clear();
    PyErr_SetString(korvu_ModelError,
                    "Incorrect creation of branching object: must provide a problem and, optionally, a list of "
                    "branches and a True/False flag. The flag must be True if the list of branches is provided");
    return -1;
  }
  int64_t v = 0;
  int failed = 0;
  b->isoriginal = !isorig || isorig == Py_True || (isorig != Py_False && conv_int_value(isorig, &v, &failed) && v == 1);
  PyErr_Clear();
  Py_INCREF(prob);
  Py_XSETREF(b->problem, prob);
  if (!b->isoriginal && branches && branches != Py_None) {
    PyErr_SetString(korvu_ModelError, "Cannot define the branches of a branching object if the isoriginal flag is false");
    return -1;
  }
  problem_s *p = reinterpret_cast<problem_s *>(prob);
  if (b->handle) {
    KRVU_bo_destroy(b->handle);
    b->handle = nullptr;
  }
  if (!p->prob || KRVU_bo_create(&b->handle, p->prob, b->isoriginal) != 0) {
    setKrvuErrIfNull(nullptr, nullptr);
    return -1;
  }
  if (!branches || branches == Py_None) return 0;
  if (!PyList_Check(branches) && !PyTuple_Check(branches)) {
    PyErr_SetString(korvu_ModelError,
                    "The branches parameter must be a list or a tuple of elements. Each element of the list/tuple "
                    "must be a constraint, a variable bound, or a list/tuple thereof.");
    return -1;
  }
  const Py_ssize_t nb = PySequence_Fast_GET_SIZE(branches);
  if (KRVU_bo_addbranches(b->handle, static_cast<int>(nb)) != 0) return setKrvuErrIfNull(self, nullptr), -1;
  for (Py_ssize_t i = 0; i < nb; ++i) {
    PyObject *el = PySequence_Fast_GET_ITEM(branches, i);
    PyRef items = PyRef::steal(PyList_Check(el) || PyTuple_Check(el) ? PySequence_Fast(el, "") : Py_BuildValue("(O)", el));
    if (!items) return -1;
    for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(items.get()); ++k) {
      PyObject *c = PySequence_Fast_GET_ITEM(items.get(), k);
      if (!PyObject_TypeCheck(c, &korvu_constraintType)) {
        PyErr_Format(korvu_ModelError, "Branch %i is invalid: %s", static_cast<int>(i),
                     "element of branch not of the valid type (constraint)");
        return -1;
      }
      int rc = add_branch_constraint(b, static_cast<int>(i), c);
      if (rc < 0) return -1;
      if (rc > 0) return setKrvuErrIfNull(self, nullptr), -1;
    }
  }
  return 0;
}

void bo_dealloc(PyObject *self) {
  branchobj_s *b = bo_of(self);
  if (b->handle) KRVU_bo_destroy(b->handle);
  Py_CLEAR(b->problem);
  Py_TYPE(self)->tp_free(self);
}

PyObject *m_addbranches(PyObject *self, PyObject *args, PyObject *kw) {
  static const char *kwlist[] = {"nbranches", nullptr};
  long n;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "l", const_cast<char **>(kwlist), &n)) return nullptr;
  return report(self, KRVU_bo_addbranches(bo_of(self)->handle, static_cast<int>(n)), PyRef::borrow(Py_None).release());
}

PyObject *m_addbounds(PyObject *self, PyObject *args, PyObject *kw) {
  static const char *kwlist[] = {"ibranch", "bndtype", "bndcol", "bndval", nullptr};
  long ib;
  PyObject *t, *c, *v;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "lOOO", const_cast<char **>(kwlist), &ib, &t, &c, &v)) return nullptr;
  branchobj_s *b = bo_of(self);
  int64_t n = -1;
  KoArray<char> types;
  KoArray<int> cols;
  KoArray<double> vals;
  if (conv_obj2arr(prob_of(b), &n, t, types.addr(), CONV_CHAR) || conv_obj2arr(prob_of(b), &n, c, cols.addr(), column_code(b)) ||
      conv_obj2arr(prob_of(b), &n, v, vals.addr(), CONV_DOUBLE))
    return nullptr;
  return report(self, KRVU_bo_addbounds(b->handle, static_cast<int>(ib), static_cast<int>(n < 0 ? 0 : n), types.get(), cols.get(), vals.get()),
                PyRef::borrow(Py_None).release());
}

PyObject *m_addrows(PyObject *self, PyObject *args, PyObject *kw) {
  static const char *kwlist[] = {"ibranch", "rtype", "rhs", "beg", "mcol", "val", nullptr};
  long ib;
  PyObject *t, *r, *beg, *c, *v;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "lOOOOO", const_cast<char **>(kwlist), &ib, &t, &r, &beg, &c, &v))
    return nullptr;
  branchobj_s *b = bo_of(self);
  int64_t nr = -1, ne = -1;
  KoArray<char> types;
  KoArray<double> rhs, vals;
  KoArray<int> start, cols;
  if (conv_obj2arr(prob_of(b), &nr, t, types.addr(), CONV_CHAR) || conv_obj2arr(prob_of(b), &nr, r, rhs.addr(), CONV_DOUBLE))
    return nullptr;
  if (nr > 0 && conv_obj2arr(prob_of(b), &nr, beg, start.addr(), CONV_INT)) return nullptr;
  if (conv_obj2arr(prob_of(b), &ne, c, cols.addr(), column_code(b)) || conv_obj2arr(prob_of(b), &ne, v, vals.addr(), CONV_DOUBLE))
    return nullptr;
  return report(self,
                KRVU_bo_addrows(b->handle, static_cast<int>(ib), static_cast<int>(nr < 0 ? 0 : nr), static_cast<int>(ne < 0 ? 0 : ne),
                                types.get(), rhs.get(), start.get(), cols.get(), vals.get()),
                PyRef::borrow(Py_None).release());
}

PyObject *m_addcuts(PyObject *self, PyObject *args, PyObject *kw) {
  static const char *kwlist[] = {"ibranch", "cutind", nullptr};
  long ib;
  PyObject *c;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "lO", const_cast<char **>(kwlist), &ib, &c)) return nullptr;
  branchobj_s *b = bo_of(self);
  int64_t n = -1;
  KoArray<void *> cuts;
  if (conv_obj2arr(prob_of(b), &n, c, cuts.addr(), CONV_POOLCUT)) return nullptr;
  return report(self, KRVU_bo_addcuts(b->handle, static_cast<int>(ib), static_cast<int>(n < 0 ? 0 : n), cuts.get()),
                PyRef::borrow(Py_None).release());
}

PyObject *m_getbounds(PyObject *self, PyObject *args, PyObject *kw) {
  static const char *kwlist[] = {"ibranch", "nbounds_size", "bndtype", "bndcol", "bndval", nullptr};
  long ib, size;
  PyObject *t, *c, *v;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "llOOO", const_cast<char **>(kwlist), &ib, &size, &t, &c, &v)) return nullptr;
  branchobj_s *b = bo_of(self);
  if (size <= 0) Py_RETURN_NONE;
  int n = 0;
  if (KRVU_bo_getbounds(b->handle, static_cast<int>(ib), &n, 0, nullptr, nullptr, nullptr)) return setKrvuErrIfNull(self, nullptr);
  if (n == 0) Py_RETURN_NONE;
  const int k = n < size ? n : static_cast<int>(size);
  std::vector<char> types(n);
  std::vector<int> cols(n);
  std::vector<double> vals(n);
  if (KRVU_bo_getbounds(b->handle, static_cast<int>(ib), &n, k, types.data(), cols.data(), vals.data()))
    return setKrvuErrIfNull(self, nullptr);
  if (conv_arr2obj(prob_of(b), k, types.data(), &t, CONV_CHAR) || conv_arr2obj(prob_of(b), k, cols.data(), &c, column_code(b)) ||
      conv_arr2obj(prob_of(b), k, vals.data(), &v, CONV_DOUBLE))
    return nullptr;
  return PyLong_FromLong(n);
}

PyObject *m_getrows(PyObject *self, PyObject *args, PyObject *kw) {
  static const char *kwlist[] = {"ibranch", "nrows_size", "nelems_size", "rtype", "rrhs", "rbeg", "mcol", "dval", nullptr};
  long ib, rs, es;
  PyObject *t = nullptr, *r = nullptr, *beg = nullptr, *c = nullptr, *v = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "lllOOOOO", const_cast<char **>(kwlist), &ib, &rs, &es, &t, &r, &beg, &c, &v))
    return nullptr;
  branchobj_s *b = bo_of(self);
  if (!b->handle) Py_RETURN_NONE;
  int nr = 0, ne = 0;
  if (KRVU_bo_getrows(b->handle, static_cast<int>(ib), &nr, 0, &ne, 0, nullptr, nullptr, nullptr, nullptr, nullptr))
    return setKrvuErrIfNull(self, nullptr);
  nr = nr < rs ? nr : static_cast<int>(rs);
  ne = ne < es ? ne : static_cast<int>(es);
  if (nr <= 0 || ne <= 0) Py_RETURN_NONE;
  std::vector<char> types(nr);
  std::vector<double> rhs(nr), vals(ne);
  std::vector<int> start(nr + 1), cols(ne);
  if (KRVU_bo_getrows(b->handle, static_cast<int>(ib), nullptr, nr, nullptr, ne, types.data(), rhs.data(), start.data(),
                      cols.data(), vals.data()))
    return setKrvuErrIfNull(self, nullptr);
  if (conv_arr2obj(prob_of(b), nr, types.data(), &t, CONV_CHAR) || conv_arr2obj(prob_of(b), nr, rhs.data(), &r, CONV_DOUBLE) ||
      conv_arr2obj(prob_of(b), nr, start.data(), &beg, CONV_INT) || conv_arr2obj(prob_of(b), ne, cols.data(), &c, column_code(b)) ||
      conv_arr2obj(prob_of(b), ne, vals.data(), &v, CONV_DOUBLE))
    return nullptr;
  Py_RETURN_NONE;
}

PyObject *m_getbranches(PyObject *self, PyObject *) {
  int n = 0;
  if (bo_of(self)->handle && KRVU_bo_getbranches(bo_of(self)->handle, &n)) return setKrvuErrIfNull(self, nullptr);
  return PyLong_FromLong(n);
}

PyObject *m_getid(PyObject *self, PyObject *) {
  int id = 0;
  const int rc = KRVU_bo_getid(bo_of(self)->handle, &id);
  return report(self, rc, rc ? nullptr : PyLong_FromLong(id));
}

PyObject *m_getlasterror(PyObject *self, PyObject *) {
  char buf[2048] = {0};
  int code = 0;
  lasterror(self, &code, buf, 2047);
  return Py_BuildValue("(is)", code, buf);
}

PyObject *m_setpriority(PyObject *self, PyObject *args, PyObject *kw) {
  static const char *kwlist[] = {"priority", nullptr};
  long v;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "l", const_cast<char **>(kwlist), &v)) return nullptr;
  return report(self, KRVU_bo_setpriority(bo_of(self)->handle, static_cast<int>(v)), PyRef::borrow(Py_None).release());
}

PyObject *m_setpreferredbranch(PyObject *self, PyObject *args, PyObject *kw) {
  static const char *kwlist[] = {"ibranch", nullptr};
  long v;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "l", const_cast<char **>(kwlist), &v)) return nullptr;
  return report(self, KRVU_bo_setpreferredbranch(bo_of(self)->handle, static_cast<int>(v)), PyRef::borrow(Py_None).release());
}

PyObject *m_store(PyObject *self, PyObject *) {
  branchobj_s *b = bo_of(self);
  int status = 0;
  if (KRVU_bo_store(b->handle, &status) != 0) {
    // Reported against the problem, with the object's text.
    char buf[512] = {0};
    int code = 0;
    lasterror(self, &code, buf, sizeof buf);
    PyErr_SetString(korvu_SolverError, buf);
    return nullptr;
  }
  b->handle = nullptr;
  return PyLong_FromLong(status);
}

PyObject *m_validate(PyObject *self, PyObject *) {
  int status = 0;
  const int rc = KRVU_bo_validate(bo_of(self)->handle, &status);
  return report(self, rc, rc ? nullptr : PyLong_FromLong(status));
}

#define BO_TEXT(sig, synopsis, purpose, example, related)                                                  \
  sig "\n--\n\nPurpose:\n  " purpose "\n\nSynopsis:\n  " synopsis "\n\nExample:\n  " example "\n\nRelated " \
      "topics:\n  " related "\n"
#define BO_DOC(name, params, ...) BO_TEXT(name "($self, " params ")", "bo." name "(" params ")", __VA_ARGS__)
#define BO_DOC0(name, ...) BO_TEXT(name "($self)", "bo." name "()", __VA_ARGS__)
#define KW METH_VARARGS | METH_KEYWORDS
#define FN(f) reinterpret_cast<PyCFunction>(f)

PyMethodDef g_methods[] = {
    {"addbranches", FN(m_addbranches), KW, BO_DOC("addbranches", "nbranches", "Adds empty branches.", "bo.addbranches(2)", "addbounds, addrows")},
    {"addbounds", FN(m_addbounds), KW,
     BO_DOC("addbounds", "ibranch, bndtype, bndcol, bndval", "Adds bound changes ('L', 'U', 'B') to a branch.",
            "bo.addbounds(0, ['U'], [x], [3])", "getbounds, addrows")},
    {"addrows", FN(m_addrows), KW,
     BO_DOC("addrows", "ibranch, rtype, rhs, beg, mcol, val", "Adds rows to a branch.",
            "bo.addrows(0, ['L'], [1], [0], [x, y], [1, 1])", "getrows, addbounds")},
    {"addcuts", FN(m_addcuts), KW, BO_DOC("addcuts", "ibranch, cutind", "Adds cuts of the cut pool to a branch.", "bo.addcuts(0, cuts)", "addrows")},
    {"getbounds", FN(m_getbounds), KW,
     BO_DOC("getbounds", "ibranch, nbounds_size, bndtype, bndcol, bndval",
            "Fills the lists with a branch's bound changes and returns their number.",
            "t, c, v = [], [], []; n = bo.getbounds(0, 10, t, c, v)", "addbounds")},
    {"getrows", FN(m_getrows), KW,
     BO_DOC("getrows", "ibranch, nrows_size, nelems_size, rtype, rrhs, rbeg, mcol, dval", "Fills the lists with a branch's rows.",
            "bo.getrows(0, 5, 20, t, r, b, c, v)", "addrows")},
    {"getbranches", FN(m_getbranches), METH_NOARGS, BO_DOC0("getbranches", "The number of branches (0 for an empty object).", "bo.getbranches()", "addbranches")},
    {"getid", FN(m_getid), METH_NOARGS, BO_DOC0("getid", "The node the object was made at.", "bo.getid()", "store")},
    {"getlasterror", FN(m_getlasterror), METH_NOARGS, BO_DOC0("getlasterror", "The last error (code, text) of the object.", "bo.getlasterror()", "validate")},
    {"setpriority", FN(m_setpriority), KW, BO_DOC("setpriority", "priority", "Sets the object's priority.", "bo.setpriority(1)", "setpreferredbranch")},
    {"setpreferredbranch", FN(m_setpreferredbranch), KW,
     BO_DOC("setpreferredbranch", "ibranch", "Makes a branch the one the search explores first.", "bo.setpreferredbranch(1)", "setpriority")},
    {"store", FN(m_store), METH_NOARGS,
     BO_DOC0("store", "Hands the object to the search for the current node (inside an optnode callback); the object is empty afterwards.",
            "bo.store()", "validate")},
    {"validate", FN(m_validate), METH_NOARGS, BO_DOC0("validate", "0 when the search can take the object at the current node, else 1.", "bo.validate()", "store")},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyTypeObject korvu_branchobjType = [] {
  PyTypeObject t = {PyVarObject_HEAD_INIT(nullptr, 0)};
  t.tp_name = "korvu.branchobj";
  t.tp_basicsize = sizeof(branchobj_s);
  t.tp_dealloc = bo_dealloc;
  t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  t.tp_doc =
      "branchobj(prob, branches=None, isoriginal=True)\n--\n\nPurpose:\n  A branching object: branches of bound changes "
      "and rows that replace the search's branching at a node.\n\nSynopsis:\n  bo = korvu.branchobj(prob, branches, "
      "isoriginal)\n\nArguments:\n  prob: the korvu.problem.\n  branches: a list of branches, each a constraint on one "
      "variable or a list of them.\n  isoriginal: True for the problem's columns.\n\nExample:\n  bo = korvu.branchobj(p, "
      "[x <= 3, x >= 4])\n\nRelated topics:\n  problem.addcbchgbranchobject\n";
  t.tp_methods = g_methods;
  t.tp_init = bo_init;
  t.tp_new = PyType_GenericNew;
  return t;
}();

int branchobj_ready_type(void) {
  korvu_branchobj_type = &korvu_branchobjType;
  korvu_branchobj_lasterror = lasterror;
  return PyType_Ready(&korvu_branchobjType);
}

PyObject *branchobj_lend(KRVUbranchobject bo, PyObject *problem) {
  PyObject *o = PyType_GenericAlloc(&korvu_branchobjType, 0);
  if (!o) return nullptr;
  bo_of(o)->handle = bo;
  bo_of(o)->problem = korvu::PyRef::borrow(problem).release();
  bo_of(o)->isoriginal = 1;
  return o;
}

void branchobj_unlend(PyObject *o) {
  bo_of(o)->handle = nullptr;
  Py_CLEAR(bo_of(o)->problem);
}

KRVUbranchobject branchobj_take(PyObject *o) {
  KRVUbranchobject h = bo_of(o)->handle;
  bo_of(o)->handle = nullptr;
  Py_CLEAR(bo_of(o)->problem);
  return h;
}
