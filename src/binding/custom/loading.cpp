// Whole-problem loading (loadproblem) and the library's row and column adders
// (addrows, addcols).  Besides giving the library the matrix, each makes the
// model objects of what it loaded, so that every other member can answer with
// and take them: one korvu.var per new column, one korvu.constraint per new
// row.  Objects are made aside and joined to the problem only when the library
// took the data; a refusal leaves the problem as it was.
#include <cstring>
#include <vector>

#include "binding/custom/custom.h"
#include "model/algebra.h"
#include "model/constraint.h"
#include "model/maps.h"
#include "model/records.h"
#include "module/module.h"
#include "problem/bodies.h"
#include "problem/registration.h"
#include "problem/registry.h"

namespace korvu {
namespace wrap {
namespace custom {
namespace {

PyObject *none() { Py_RETURN_NONE; }

int var_type_code(char t) {
  static const char letters[] = "CBISRP";
  const char *q = t ? std::strchr(letters, t) : nullptr;
  if (!q) {
    PyErr_SetString(korvu_ModelError, "Incorrect variable type");
    return -1;
  }
  return static_cast<int>(q - letters);
}

// New objects waiting to join the problem's lists and maps.
struct NewObjects {
  PyRef vars = PyRef::steal(PyList_New(0));
  PyRef rows = PyRef::steal(PyList_New(0));
  std::vector<char> types;  // the column types to give the library afterwards ('\0': leave)
  bool ok() const { return vars && rows; }
};

// The variables of `count` new columns: names and types from the lists (or
// the types from the entities), thresholds from the entities' limits.
int make_columns(NewObjects &o, PyObject *names, PyObject *types, int nent, const int *entcols,
                 const char *enttypes, const double *limits, int count) {
  if (names && names != Py_None && (!PyList_Check(names) || PyList_GET_SIZE(names) != count)) {
    PyErr_SetString(korvu_ModelError, "Incorrect length of variable name list");
    return -1;
  }
  if (types && types != Py_None && (!PyList_Check(types) || PyList_GET_SIZE(types) != count)) {
    PyErr_SetString(korvu_ModelError, "Incorrect length of variable type list");
    return -1;
  }
  const bool have_names = names && names != Py_None, have_types = types && types != Py_None;
  std::vector<char> table;
  std::vector<double> limit;
  if (!have_types && enttypes) {
    table.assign(static_cast<size_t>(count), 'C');
    for (int j = 0; j < nent; ++j)
      if (entcols[j] >= 0 && entcols[j] < count) table[static_cast<size_t>(entcols[j])] = enttypes[j];
  }
  if (limits) {
    limit.assign(static_cast<size_t>(count), -KRVU_INFINITY * 10);
    for (int j = 0; j < nent; ++j)
      if (entcols[j] >= 0 && entcols[j] < count) limit[static_cast<size_t>(entcols[j])] = limits[j];
  }
  o.types.assign(static_cast<size_t>(count), '\0');
  for (int i = 0; i < count; ++i) {
    PyRef v = PyRef::steal(var_base());
    if (!v) return -1;
    uint64_t *info = &reinterpret_cast<var_s *>(v.get())->info;
    if (have_names) {
      PyObject *name = PyList_GET_ITEM(names, i);
      if (!PyUnicode_Check(name)) {
        PyErr_Format(korvu_ModelError, "Erroneous name for variable %d", i);
        return -1;
      }
      set_var_name(info, name);
    }
    char t = 0;
    if (have_types) {
      PyObject *item = PyList_GET_ITEM(types, i);
      if (!PyUnicode_Check(item) || PyUnicode_GET_LENGTH(item) < 1) {
        PyErr_Format(korvu_ModelError, "Cannot get variable type with index %d", i);
        return -1;
      }
      t = static_cast<char>(PyUnicode_READ_CHAR(item, 0));
      o.types[static_cast<size_t>(i)] = t;
    } else if (!table.empty()) {
      t = table[static_cast<size_t>(i)];
    }
    if (t) {
      int code = var_type_code(t);
      if (code < 0) return -1;
      set_var_type(info, code);
    }
    if (!limit.empty() && limit[static_cast<size_t>(i)] >= -KRVU_INFINITY)
      set_var_thold(info, limit[static_cast<size_t>(i)]);
    if (PyList_Append(o.vars.get(), v.get()) < 0) return -1;
  }
  return 0;
}

int make_rows(NewObjects &o, PyObject *names, int count) {
  const bool have_names = names && names != Py_None;
  if (have_names && (!PyList_Check(names) || PyList_GET_SIZE(names) != count)) {
    PyErr_SetString(korvu_ModelError, "Incorrect length of constraint name list");
    return -1;
  }
  for (int i = 0; i < count; ++i) {
    PyRef c = PyRef::steal(constraint_base());
    if (!c) return -1;
    if (have_names) {
      PyObject *name = PyList_GET_ITEM(names, i);
      if (!PyUnicode_Check(name)) {
        PyErr_Format(korvu_ModelError, "Erroneous name for constraint %d", i);
        return -1;
      }
      set_con_name(&reinterpret_cast<constraint_s *>(c.get())->info, name);
    }
    if (PyList_Append(o.rows.get(), c.get()) < 0) return -1;
  }
  return 0;
}

// Gives the library the names of the objects from their first index on
// (type 1 rows, 2 columns): one call per kind.
int send_names(problem_s *p, PyObject *list, int type, int first, PyObject *given_names) {
  const Py_ssize_t n = PyList_GET_SIZE(list);
  if (n == 0 || !given_names || given_names == Py_None) return 0;
  std::string buffer;
  for (Py_ssize_t i = 0; i < n; ++i) {
    std::string text;
    PyRef name = PyRef::steal(PyObject_Str(PyList_GET_ITEM(given_names, i)));
    if (!name || !name_text(name.get(), &text)) return -1;
    buffer += text;
    buffer.push_back('\0');
  }
  if (KRVUaddnames(p->prob, type, buffer.data(), first, first + static_cast<int>(n) - 1) != 0) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  return 0;
}

// Joins new objects to lists and maps from index `first`.
int join(PyObject *target, rowcolmap *map, PyObject *objs, int first, bool vars) {
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(objs); ++i) {
    PyObject *o = PyList_GET_ITEM(objs, i);
    uint64_t key = vars ? var_id(o) : (reinterpret_cast<constraint_s *>(o)->info & CON_ID_MASK);
    if (rowcolmap_set(map, key, first + i) != 0) {
      PyErr_SetString(vars ? korvu_ModelError : korvu_InterfaceError,
                      vars ? "Could not amend variable map" : "Internal error -- Could not amend constraint map");
      return -1;
    }
  }
  return PyList_SetSlice(target, PyList_GET_SIZE(target), PyList_GET_SIZE(target), objs);
}

// Converts argument i with code and count as dispatch would.
int conv(Ctx &c, int i, int code, int64_t *count) {
  int rc = conv_obj2arr(c.p, count, c.obj[i], &c.arr[i], code);
  c.len[i] = *count < 0 ? 0 : *count;
  return rc;
}

template <class T>
const T *arr(Ctx &c, int i) {
  return static_cast<const T *>(c.arr[i]);
}

bool missing_group(Ctx &c, std::initializer_list<int> args, const char *message) {
  int present = 0;
  for (int i : args) present += given(c, i);
  if (present != 0 && present != static_cast<int>(args.size())) {
    PyErr_SetString(korvu_InterfaceError, message);
    return true;
  }
  return false;
}

// Argument positions of loadproblem.
enum {
  PROBNAME, QRTYPES, RHS, RANGE, OBJ, MSTART, MNEL, MRWIND, DMATVAL, DLB, DUB, MQCOL1, MQCOL2, DQE, QCROWS,
  QCNQUADS, QCMQCOL1, QCMQCOL2, QCDQVAL, QGTYPE, MGCOLS, DLIM, QSTYPE, MSSTART, MSCOLS, DREF, COLNAMES, ROWNAMES
};

}  // namespace

PyObject *loadproblem(const Row &row, Ctx &c) {
  if (convert_value(row, c, PROBNAME) < 0) return nullptr;
  if (missing_group(c, {MQCOL1, MQCOL2, DQE},
                    "Incomplete list of parameters specified for the quadratic objective component") ||
      missing_group(c, {QCROWS, QCNQUADS, QCMQCOL1, QCMQCOL2, QCDQVAL},
                    "Incomplete list of parameters specified for the quadratic rows component") ||
      missing_group(c, {QGTYPE, MGCOLS}, "Incomplete list of parameters specified for the global entities") ||
      (given(c, DLIM) && !given(c, QGTYPE) &&
       (PyErr_SetString(korvu_InterfaceError, "Incomplete list of parameters specified for the global entities"),
        true)) ||
      missing_group(c, {QSTYPE, MSSTART, MSCOLS, DREF}, "Incomplete list of parameters specified for the SOS"))
    return nullptr;
  const bool q = given(c, MQCOL1), qc = given(c, QCROWS), global = given(c, QGTYPE) || given(c, QSTYPE);
  int64_t m = -1, n = -1;
  if (conv(c, QRTYPES, CONV_CHAR, &m) < 0 || conv(c, RHS, CONV_DOUBLE, &m) < 0 ||
      conv(c, RANGE, CONV_DOUBLE, &m) < 0 || conv(c, OBJ, CONV_DOUBLE, &n) < 0)
    return nullptr;
  if (n < 0 && (conv(c, MNEL, CONV_INT, &n) < 0 || conv(c, DLB, CONV_DOUBLE, &n) < 0 ||
                conv(c, DUB, CONV_DOUBLE, &n) < 0))
    return nullptr;
  if (n < 0) n = 0;
  if (m < 0) m = 0;
  const bool mnel = given(c, MNEL);
  int64_t nstart = mnel ? n : n + 1;
  if (nstart > 0 && conv(c, MSTART, CONV_INT64, &nstart) < 0) return nullptr;
  if (!c.arr[MNEL] && conv(c, MNEL, CONV_INT, &n) < 0) return nullptr;
  int64_t nz = 0;
  if (c.arr[MSTART] && n > 0)
    nz = mnel ? arr<int64_t>(c, MSTART)[n - 1] + (c.arr[MNEL] ? arr<int>(c, MNEL)[n - 1] : 0)
              : arr<int64_t>(c, MSTART)[n];
  if (nz < 0) {
    PyErr_SetString(korvu_ModelError, "Invalid column starts in mstart");
    return nullptr;
  }
  if ((nz > 0 && conv(c, MRWIND, CONV_INT, &nz) < 0) || conv(c, DMATVAL, CONV_DOUBLE, &nz) < 0) return nullptr;
  if ((!c.arr[DLB] && conv(c, DLB, CONV_DOUBLE, &n) < 0) || (!c.arr[DUB] && conv(c, DUB, CONV_DOUBLE, &n) < 0))
    return nullptr;
  int64_t nq = -1, nqr = -1, nqe = -1, ne = -1, ns = -1, nsm = -1;
  if (conv(c, MQCOL1, CONV_INT, &nq) < 0 || conv(c, MQCOL2, CONV_INT, &nq) < 0 || conv(c, DQE, CONV_DOUBLE, &nq) < 0)
    return nullptr;
  if (conv(c, QCROWS, CONV_INT, &nqr) < 0 || conv(c, QCNQUADS, CONV_INT64, &nqr) < 0) return nullptr;
  if (qc) {
    nqe = 0;
    for (int64_t k = 0; k < nqr; ++k) nqe += arr<int64_t>(c, QCNQUADS)[k];
  }
  if (conv(c, QCMQCOL1, CONV_INT, &nqe) < 0 || conv(c, QCMQCOL2, CONV_INT, &nqe) < 0 ||
      conv(c, QCDQVAL, CONV_DOUBLE, &nqe) < 0 || conv(c, QGTYPE, CONV_CHAR, &ne) < 0 ||
      conv(c, MGCOLS, CONV_INT, &ne) < 0 || conv(c, DLIM, CONV_DOUBLE, &ne) < 0 ||
      conv(c, QSTYPE, CONV_CHAR, &ns) < 0)
    return nullptr;
  if (given(c, QSTYPE)) {
    int64_t s1 = ns + 1;
    if (conv(c, MSSTART, CONV_INT64, &s1) < 0) return nullptr;
    nsm = arr<int64_t>(c, MSSTART)[ns];
    if (conv(c, MSCOLS, CONV_INT, &nsm) < 0 || conv(c, DREF, CONV_DOUBLE, &nsm) < 0) return nullptr;
  }
  auto cnt = [](int64_t k) { return k < 0 ? 0 : k; };
  if (n > INT32_MAX || m > INT32_MAX) {
    PyErr_SetString(korvu_ModelError, "loadproblem(): more rows or columns than the library takes");
    return nullptr;
  }
  // The objects, made aside.
  NewObjects o;
  if (!o.ok() ||
      make_columns(o, given(c, COLNAMES) ? c.obj[COLNAMES] : nullptr, nullptr, static_cast<int>(cnt(ne)),
                   arr<int>(c, MGCOLS), arr<char>(c, QGTYPE), arr<double>(c, DLIM), static_cast<int>(n)) < 0 ||
      make_rows(o, c.obj[ROWNAMES], static_cast<int>(m)) < 0)
    return nullptr;
  const int N_ = static_cast<int>(n), M_ = static_cast<int>(m);
  const char *name = c.text[PROBNAME];
  int rc;
  const char *rt = arr<char>(c, QRTYPES);
  const double *rhs = arr<double>(c, RHS), *rng = arr<double>(c, RANGE), *obj = arr<double>(c, OBJ),
               *val = arr<double>(c, DMATVAL), *lb = arr<double>(c, DLB), *ub = arr<double>(c, DUB);
  const int64_t *start = arr<int64_t>(c, MSTART);
  const int *mn = arr<int>(c, MNEL), *ri = arr<int>(c, MRWIND);
  if (!global && !qc && !q)
    rc = KRVUloadlp64(c.prob, name, N_, M_, rt, rhs, rng, obj, start, mn, ri, val, lb, ub);
  else if (!global && !qc)
    rc = KRVUloadqp64(c.prob, name, N_, M_, rt, rhs, rng, obj, start, mn, ri, val, lb, ub, cnt(nq),
                      arr<int>(c, MQCOL1), arr<int>(c, MQCOL2), arr<double>(c, DQE));
  else if (!global)
    rc = KRVUloadqcqp64(c.prob, name, N_, M_, rt, rhs, rng, obj, start, mn, ri, val, lb, ub, cnt(nq),
                        arr<int>(c, MQCOL1), arr<int>(c, MQCOL2), arr<double>(c, DQE), static_cast<int>(cnt(nqr)),
                        arr<int>(c, QCROWS), arr<int64_t>(c, QCNQUADS), arr<int>(c, QCMQCOL1),
                        arr<int>(c, QCMQCOL2), arr<double>(c, QCDQVAL));
  else if (!qc && !q)
    rc = KRVUloadglobal64(c.prob, name, N_, M_, rt, rhs, rng, obj, start, mn, ri, val, lb, ub,
                          static_cast<int>(cnt(ne)), static_cast<int>(cnt(ns)), arr<char>(c, QGTYPE),
                          arr<int>(c, MGCOLS), arr<double>(c, DLIM), arr<char>(c, QSTYPE),
                          arr<int64_t>(c, MSSTART), arr<int>(c, MSCOLS), arr<double>(c, DREF));
  else if (!qc)
    rc = KRVUloadqglobal64(c.prob, name, N_, M_, rt, rhs, rng, obj, start, mn, ri, val, lb, ub, cnt(nq),
                           arr<int>(c, MQCOL1), arr<int>(c, MQCOL2), arr<double>(c, DQE), static_cast<int>(cnt(ne)),
                           static_cast<int>(cnt(ns)), arr<char>(c, QGTYPE), arr<int>(c, MGCOLS),
                           arr<double>(c, DLIM), arr<char>(c, QSTYPE), arr<int64_t>(c, MSSTART),
                           arr<int>(c, MSCOLS), arr<double>(c, DREF));
  else
    rc = KRVUloadqcqpglobal64(c.prob, name, N_, M_, rt, rhs, rng, obj, start, mn, ri, val, lb, ub, cnt(nq),
                              arr<int>(c, MQCOL1), arr<int>(c, MQCOL2), arr<double>(c, DQE),
                              static_cast<int>(cnt(nqr)), arr<int>(c, QCROWS), arr<int64_t>(c, QCNQUADS),
                              arr<int>(c, QCMQCOL1), arr<int>(c, QCMQCOL2), arr<double>(c, QCDQVAL),
                              static_cast<int>(cnt(ne)), static_cast<int>(cnt(ns)), arr<char>(c, QGTYPE),
                              arr<int>(c, MGCOLS), arr<double>(c, DLIM), arr<char>(c, QSTYPE),
                              arr<int64_t>(c, MSSTART), arr<int>(c, MSCOLS), arr<double>(c, DREF));
  if (rc != 0) return nullptr;
  // The library holds a new model: the old objects go, the new ones join.
  registry r;
  if (r.create() < 0 || join(r.vars.get(), r.varmap, o.vars.get(), 0, true) < 0 ||
      join(r.constraints.get(), r.rowmap, o.rows.get(), 0, false) < 0)
    return nullptr;
  r.install(c.p);
  if (send_names(c.p, c.p->vars, 2, 0, c.obj[COLNAMES]) < 0 || send_names(c.p, c.p->constraints, 1, 0, c.obj[ROWNAMES]) < 0)
    return nullptr;
  return none();
}

// (qrtype, rhs, mstart, mclind, dmatval, range, names)
PyObject *addrows(const Row &row, Ctx &c) {
  for (int i = 0; i < 5; ++i)
    if (!given(c, i)) {
      PyErr_SetString(korvu_InterfaceError, row.missing_);
      return nullptr;
    }
  int64_t r = -1;
  if (conv(c, 0, CONV_CHAR, &r) < 0) return nullptr;
  int64_t ns = r + 1;
  if (conv(c, 2, CONV_INT64, &ns) < 0 || conv(c, 1, CONV_DOUBLE, &r) < 0 || conv(c, 5, CONV_DOUBLE, &r) < 0)
    return nullptr;
  int64_t nz = arr<int64_t>(c, 2)[r];
  if (conv(c, 3, CONV_COL, &nz) < 0 || conv(c, 4, CONV_DOUBLE, &nz) < 0) return nullptr;
  int64_t first = attr_or_fail(c, KRVU_ATTR_ORIGINALROWS);
  if (first < 0) return nullptr;
  NewObjects o;
  if (!o.ok() || make_rows(o, c.obj[6], static_cast<int>(r)) < 0) return nullptr;
  if (KRVUaddrows64(c.prob, static_cast<int>(r), nz, arr<char>(c, 0), arr<double>(c, 1), arr<double>(c, 5),
                    arr<int64_t>(c, 2), arr<int>(c, 3), arr<double>(c, 4)) != 0)
    return nullptr;
  if (join(c.p->constraints, c.p->rowmap, o.rows.get(), static_cast<int>(first), false) < 0 ||
      send_names(c.p, o.rows.get(), 1, static_cast<int>(first), c.obj[6]) < 0)
    return nullptr;
  return none();
}

// (objx, mstart, mrwind, dmatval, bdl, bdu, names, types)
PyObject *addcols(const Row &row, Ctx &c) {
  int64_t n = -1, nz = -1;
  if (conv(c, 0, CONV_DOUBLE, &n) < 0) return nullptr;
  int64_t ns = n + 1;
  if ((n > 0 && conv(c, 1, CONV_INT64, &ns) < 0) || conv(c, 2, CONV_ROW, &nz) < 0 ||
      conv(c, 3, CONV_DOUBLE, &nz) < 0 || conv(c, 4, CONV_DOUBLE, &n) < 0 || conv(c, 5, CONV_DOUBLE, &n) < 0)
    return nullptr;
  int64_t nt = n;
  if (given(c, 7) && conv(c, 7, CONV_CHAR, &nt) < 0) return nullptr;
  int64_t first = attr_or_fail(c, KRVU_ATTR_ORIGINALCOLS);
  if (first < 0) return nullptr;
  for (int i = 0; i < 6; ++i)
    if (!given(c, i)) {
      PyErr_SetString(korvu_InterfaceError, row.missing_);
      return nullptr;
    }
  NewObjects o;
  if (!o.ok() || make_columns(o, c.obj[6], c.obj[7], 0, nullptr, nullptr, nullptr, static_cast<int>(n)) < 0)
    return nullptr;
  // The rows that gain coefficients take their bodies back first; the others
  // stay in the library.
  if (problem_keep_changed_rows(c.p, arr<int>(c, 2), nz < 0 ? 0 : nz) < 0) return nullptr;
  if (n > 0 && KRVUaddcols64(c.prob, static_cast<int>(n), nz < 0 ? 0 : nz, arr<double>(c, 0), arr<int64_t>(c, 1),
                             arr<int>(c, 2), arr<double>(c, 3), arr<double>(c, 4), arr<double>(c, 5)) != 0)
    return nullptr;
  if (join(c.p->vars, c.p->varmap, o.vars.get(), static_cast<int>(first), true) < 0 ||
      send_names(c.p, o.vars.get(), 2, static_cast<int>(first), c.obj[6]) < 0)
    return nullptr;
  if (given(c, 7) && n > 0) {
    std::vector<int> idx(static_cast<size_t>(n));
    for (int64_t j = 0; j < n; ++j) idx[static_cast<size_t>(j)] = static_cast<int>(first + j);
    if (KRVUchgcoltype(c.prob, static_cast<int>(n), idx.data(), o.types.data()) != 0) return nullptr;
  }
  return none();
}

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
