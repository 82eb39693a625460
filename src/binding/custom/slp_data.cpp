// Nonlinear-solver data members with bodies of their own: a value given as
// None passes a null pointer to the library, token arrays agree their counts
// across groups, and info results take the type the library reports.
#include <cstring>
#include <vector>

#include "binding/custom/custom.h"
#include "binding/custom/slp_data.h"
#include "model/algebra.h"
#include "module/env.h"
#include "module/module.h"
#include "module/numpy_api.h"
#include "problem/methods.h"

namespace korvu {
namespace wrap {
namespace custom {
namespace {

PyObject *refuse(const char *message) {
  PyErr_SetString(korvu_InterfaceError, message);
  return nullptr;
}

// A library failure of a member without a message of its own: an
// InterfaceError naming the member, with the library's text.
PyObject *refused_by_library(Ctx &c, const char *member) {
  if (PyErr_Occurred()) return nullptr;
  char buf[512] = {0};
  int code = 0;
  KSLPgetlasterror(c.p->slpprob, &code, buf);
  PyErr_Format(korvu_InterfaceError, "%s: %s", member, buf[0] ? without_function_name(buf) : "refused");
  return nullptr;
}

bool is_integer(PyObject *o) { return PyLong_Check(o) || PyArray_IsScalar(o, Integer); }

// Argument i as an optional number: false (with the member's message) when it
// is neither None nor a number.
bool optional_double(Ctx &c, int i, double *v, bool *present, const char *bad) {
  *present = given(c, i);
  if (!*present) return true;
  if (!is_numeric(c.obj[i])) {
    refuse(bad);
    return false;
  }
  *v = PyFloat_AsDouble(c.obj[i]);
  return !(*v == -1.0 && PyErr_Occurred());
}

bool optional_int(Ctx &c, int i, int *v, bool *present, const char *bad) {
  *present = given(c, i);
  if (!*present) return true;
  if (!is_integer(c.obj[i])) {
    refuse(bad);
    return false;
  }
  int overflow = 0;
  long long x = PyLong_AsLongLongAndOverflow(c.obj[i], &overflow);
  if (x == -1 && PyErr_Occurred()) return false;
  if (overflow || x < INT_MIN || x > INT_MAX) {
    PyErr_SetString(PyExc_OverflowError, "value does not fit in a C int");
    return false;
  }
  *v = static_cast<int>(x);
  return true;
}

// Integer argument i ("i" in the member's argument format): anything but an
// integer is refused with the member's message, as a failed parse is.
bool int_arg(const Row &row, Ctx &c, int i, const char *bad) {
  if (!is_integer(c.obj[i])) {
    refuse(bad);
    return false;
  }
  return convert_value(row, c, i) == 0;
}

bool indices(const Row &row, Ctx &c, int a, int b) {
  return convert_value(row, c, a) == 0 && convert_value(row, c, b) == 0;
}

int ival(const Ctx &c, int i) { return static_cast<int>(c.ival[i]); }

typedef int (*TolsetsFn)(KSLPprob, int, const double *);

PyObject *tolsets(const Row &row, Ctx &c, TolsetsFn fn, const char *bad) {
  if (!given(c, 0)) return refuse(bad);
  if (!has_slp(c, row.name) || convert_in(row, c, 0) < 0) return nullptr;
  if (c.len[0] % 9 != 0) return refuse("The \"tol\" argument should have a multiple of 9 elements");
  if (fn(c.p->slpprob, static_cast<int>(c.len[0] / 9), static_cast<const double *>(c.arr[0])) != 0)
    return nullptr;
  Py_RETURN_NONE;
}

typedef int (*CoefsFn)(KSLPprob, int, const int *, const int *, const double *, const int *, int,
                       const int *, const double *);

// Arguments: rowindex, colindex, factor (group 0), fstart (group 1, one
// more than group 0), parsed, type and value (group 2).
PyObject *coefs(const Row &row, Ctx &c, CoefsFn fn, const char *bad) {
  for (int i : {0, 1, 3, 5, 6})
    if (!given(c, i)) return refuse(bad);
  if (!int_arg(row, c, 4, bad) || !has_slp(c, row.name)) return nullptr;
  for (int i : {0, 1, 2})
    if (convert_in(row, c, i) < 0) return nullptr;
  c.count[1] = c.count[0] + 1;
  for (int i : {3, 5, 6})
    if (convert_in(row, c, i) < 0) return nullptr;
  const int n = static_cast<int>(c.count[0]);
  const int64_t m = c.count[2] < 0 ? 0 : c.count[2];
  // The library reads tokens up to fstart[n]: starts beyond the token arrays
  // would read past them.
  const int *fstart = static_cast<const int *>(c.arr[3]);
  for (int k = 0; k <= n; ++k)
    if (fstart[k] < 0 || fstart[k] > m) {
      PyErr_Format(korvu_InterfaceError, "%s: fstart[%d] = %d lies outside the %lld tokens given", row.name, k,
                   fstart[k], static_cast<long long>(m));
      return nullptr;
    }
  if (fn(c.p->slpprob, n, static_cast<const int *>(c.arr[0]), static_cast<const int *>(c.arr[1]),
         static_cast<const double *>(c.arr[2]), fstart, c.ival[4] != 0 ? 1 : 0,
         static_cast<const int *>(c.arr[5]), static_cast<const double *>(c.arr[6])) != 0)
    return nullptr;
  // Formulas make the problem one for the nonlinear solver.
  if (problem_sync_nonlinear(c.p) < 0) return nullptr;
  Py_RETURN_NONE;
}

// The 16 bytes of an info call: an 8-byte value and its type code.
PyObject *info_result(const unsigned char *buf, const char *bad) {
  int type = 0;
  std::memcpy(&type, buf + 8, sizeof type);
  if (type == 1) {
    int64_t v;
    std::memcpy(&v, buf, 8);
    return PyLong_FromLongLong(v);
  }
  if (type == 2) {
    double v;
    std::memcpy(&v, buf, 8);
    return PyFloat_FromDouble(v);
  }
  return refuse(bad);
}

}  // namespace

PyObject *chgdf(const Row &row, Ctx &c) {
  double v = 0, r = 0;
  bool present;
  if (!optional_double(c, 2, &v, &present, "Wrong arguments in chgdf")) return nullptr;
  if (!has_slp(c, "chgdf") || !indices(row, c, 0, 1)) return nullptr;
  if (KSLPchgdf(c.p->slpprob, ival(c, 0), ival(c, 1), present ? &v : nullptr, &r) != 0) return nullptr;
  return PyFloat_FromDouble(r);
}

PyObject *addtolsets(const Row &row, Ctx &c) {
  return tolsets(row, c, KSLPaddtolsets, "Wrong arguments in addtolsets");
}

PyObject *loadtolsets(const Row &row, Ctx &c) {
  return tolsets(row, c, KSLPloadtolsets, "Wrong arguments in loadtolsets");
}

PyObject *chgtolset(const Row &row, Ctx &c) {
  int status = 0;
  bool present;
  if (!optional_int(c, 1, &status, &present, "Wrong arguments in chgtolset")) return nullptr;
  if (!int_arg(row, c, 0, "Wrong arguments in chgtolset") || !has_slp(c, "chgtolset") || convert_in(row, c, 2) < 0)
    return nullptr;
  if (!given(c, 2) || c.len[2] != 9) return refuse("Wrong number of elements in tols (should be 9)");
  if (KSLPchgtolset(c.p->slpprob, ival(c, 0), present ? &status : nullptr,
                    static_cast<const double *>(c.arr[2])) != 0)
    return refused_by_library(c, "chgtolset");
  Py_RETURN_NONE;
}

PyObject *gettolset(const Row &row, Ctx &c) {
  if (!given(c, 1) || !PyList_Check(c.obj[1])) return refuse("Incorrect arguments in gettolset");
  if (!int_arg(row, c, 0, "Incorrect arguments in gettolset") || !has_slp(c, "gettolset")) return nullptr;
  int status = 0;
  double tols[9];
  if (KSLPgettolset(c.p->slpprob, ival(c, 0), &status, tols) != 0) return nullptr;
  if (fill_list(c, 1, tols, 9, CONV_DOUBLE) < 0) return nullptr;
  return PyLong_FromLong(status);
}

PyObject *addcoefs(const Row &row, Ctx &c) { return coefs(row, c, KSLPaddcoefs, "Wrong arguments in addcoefs"); }

PyObject *loadcoefs(const Row &row, Ctx &c) {
  return coefs(row, c, KSLPloadcoefs, "Wrong arguments in loadcoefs");
}

PyObject *chgnlcoef(const Row &row, Ctx &c) {
  const char *bad = "Wrong arguments in chgnlcoef";
  double factor = 0;
  bool present;
  if (!optional_double(c, 2, &factor, &present, bad)) return nullptr;
  if (given(c, 4) != given(c, 5)) return refuse(bad);
  if (!int_arg(row, c, 3, bad) || !has_slp(c, "chgnlcoef") || !indices(row, c, 0, 1) ||
      convert_in(row, c, 4) < 0 || convert_in(row, c, 5) < 0)
    return nullptr;
  // No tokens would pass a null array, which removes the coefficient.
  if (given(c, 4) && c.len[4] == 0) return refuse(bad);
  if (KSLPchgcoef(c.p->slpprob, ival(c, 0), ival(c, 1), present ? &factor : nullptr, c.ival[3] != 0 ? 1 : 0,
                  static_cast<int>(c.len[4]), static_cast<const int *>(c.arr[4]),
                  static_cast<const double *>(c.arr[5])) != 0)
    return refused_by_library(c, "chgnlcoef");
  if (problem_sync_nonlinear(c.p) < 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *getcoefformula(const Row &row, Ctx &c) {
  constexpr int kMaxTokens = 10000;
  const char *bad = "Incorrect argument to getcoefformula or excessive buffersize";
  if (!int_arg(row, c, 2, bad) || !int_arg(row, c, 3, bad)) return nullptr;
  if (c.ival[3] < 1 || c.ival[3] > kMaxTokens) return refuse(bad);
  if (!has_slp(c, "getcoefformula") || !indices(row, c, 0, 1)) return nullptr;
  const int bufsize = ival(c, 3);
  std::vector<int> types(static_cast<size_t>(bufsize));
  std::vector<double> values(static_cast<size_t>(bufsize));
  double factor = 0;
  int n = 0;
  if (KSLPgetcoefformula(c.p->slpprob, ival(c, 0), ival(c, 1), &factor, c.ival[2] != 0 ? 1 : 0, bufsize, &n,
                         types.data(), values.data()) != 0)
    return nullptr;
  PyRef t = PyRef::steal(PyList_New(n)), v = PyRef::steal(PyList_New(n));
  if (!t || !v) return nullptr;
  for (int k = 0; k < n; ++k) {
    PyObject *a = PyLong_FromLong(types[k]), *b = PyFloat_FromDouble(values[k]);
    if (!a || !b) {
      Py_XDECREF(a);
      Py_XDECREF(b);
      return nullptr;
    }
    PyList_SET_ITEM(t.get(), k, a);
    PyList_SET_ITEM(v.get(), k, b);
  }
  return Py_BuildValue("(diOO)", factor, n, t.get(), v.get());
}

PyObject *getcoefs(const Row &, Ctx &c) {
  if (!has_slp(c, "getcoefs")) return nullptr;
  int n = 0;
  if (KSLPgetcoefs(c.p->slpprob, &n, nullptr, nullptr) != 0) return refused_by_library(c, "getcoefs");
  std::vector<int> rows(static_cast<size_t>(n) + 1), cols(static_cast<size_t>(n) + 1);
  if (KSLPgetcoefs(c.p->slpprob, &n, rows.data(), cols.data()) != 0) return refused_by_library(c, "getcoefs");
  if (fill_list(c, 0, rows.data(), n, CONV_INT) < 0 || fill_list(c, 1, cols.data(), n, CONV_INT) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

PyObject *chgrowstatus(const Row &row, Ctx &c) {
  int status = 0;
  bool present;
  if (!optional_int(c, 1, &status, &present, "Incorrect call to chgrowstatus")) return nullptr;
  if (!has_slp(c, "chgrowstatus") || convert_value(row, c, 0) < 0) return nullptr;
  if (KSLPchgrowstatus(c.p->slpprob, ival(c, 0), present ? &status : nullptr) != 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *chgrowwt(const Row &row, Ctx &c) {
  double v = 0;
  bool present;
  if (!optional_double(c, 1, &v, &present, "Incorrect call to chgrowwt")) return nullptr;
  if (!has_slp(c, "chgrowwt") || convert_value(row, c, 0) < 0) return nullptr;
  if (KSLPchgrowwt(c.p->slpprob, ival(c, 0), present ? &v : nullptr) != 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *chgcascadenlimit(const Row &row, Ctx &c) {
  if (!int_arg(row, c, 1, "Wrong arguments in chgcascadenlimit") || !has_slp(c, "chgcascadenlimit") ||
      convert_value(row, c, 0) < 0)
    return nullptr;
  if (KSLPchgcascadenlimit(c.p->slpprob, ival(c, 0), ival(c, 1)) != 0) return nullptr;
  Py_RETURN_NONE;
}

PyObject *getrowwt(const Row &row, Ctx &c) {
  if (!has_slp(c, "getrowwt") || convert_value(row, c, 0) < 0) return nullptr;
  double v = 0;
  if (KSLPgetrowwt(c.p->slpprob, ival(c, 0), &v) != 0) return refused_by_library(c, "getrowwt");
  return PyFloat_FromDouble(v);
}

PyObject *getrowinfo(const Row &row, Ctx &c) {
  if (!int_arg(row, c, 0, "Incorrect argument to getrowinfo") || !has_slp(c, "getrowinfo") ||
      convert_value(row, c, 1) < 0)
    return nullptr;
  unsigned char buf[16] = {0};
  if (KSLPgetrowinfo(c.p->slpprob, ival(c, 0), ival(c, 1), buf) != 0) return nullptr;
  return info_result(buf, "Incorrect argument to getrowinfo");
}

PyObject *getcolinfo(const Row &row, Ctx &c) {
  if (!int_arg(row, c, 0, "Incorrect argument to getcolinfo") || !has_slp(c, "getcolinfo") ||
      convert_value(row, c, 1) < 0)
    return nullptr;
  unsigned char buf[16] = {0};
  if (KSLPgetcolinfo(c.p->slpprob, ival(c, 0), ival(c, 1), buf) != 0) return nullptr;
  return info_result(buf, "Incorrect argument to getcolinfo");
}

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
