// Change and setting members with rules of their own: the objective sense of
// nonlinear problems, partial MIP starts, set names, indicator ranges, and the
// members that take a control name or another problem.
#include <string>

#include "binding/custom/custom.h"
#include "module/module.h"
#include "problem/methods.h"

namespace korvu {
namespace wrap {
namespace custom {
namespace {

PyObject *none() { Py_RETURN_NONE; }

bool nonlinear(const problem_s *p) { return (p->nonlin_rows || p->nonlin_obj) && p->slpprob; }

}  // namespace

PyObject *chgobjsense(const Row &row, Ctx &c) {
  if (convert_value(row, c, 0) < 0) return nullptr;
  const int sense = c.ival[0] == 1 ? 1 : -1;
  // A nonlinear problem keeps the sense in both places, so that its files
  // (whose linear part carries the library's sense) agree with its solves.
  if (nonlinear(c.p)) {
    if (KSLPsetdblcontrol(c.p->slpprob, KSLP_CTRL_OBJSENSE, sense) != 0)
      return problem_slp_error(c.p);
    if (KRVUchgobjsense(c.prob, sense) != 0) return nullptr;
    return none();
  }
  if (KRVUchgobjsense(c.prob, sense) != 0) return nullptr;
  return none();
}

// (mipsolval, mipsolcol, solname): a full solution without columns, else a
// partial one whose two arrays agree.
PyObject *addmipsol(const Row &row, Ctx &c) {
  if (!given(c, 0)) {
    PyErr_SetString(korvu_InterfaceError, row.missing_);
    return nullptr;
  }
  if (convert_value(row, c, 2) < 0) return nullptr;
  if (!given(c, 1)) {
    int64_t n = attr_or_fail(c, KRVU_ATTR_ORIGINALCOLS);
    if (n < 0) return nullptr;
    c.count[0] = n;
  }
  if (convert_in(row, c, 0) < 0 || convert_in(row, c, 1) < 0) return nullptr;
  const int n = static_cast<int>(c.count[0] < 0 ? 0 : c.count[0]);
  if (KRVUaddmipsol(c.prob, n, static_cast<const double *>(c.arr[0]), static_cast<const int *>(c.arr[1]),
                    c.text[2]) != 0)
    return nullptr;
  return none();
}

// (names, start, end)
PyObject *addsetnames(const Row &row, Ctx &c) {
  int64_t sets = attr_or_fail(c, KRVU_ATTR_SETS);
  if (sets < 0) return nullptr;
  if (sets == 0) {
    PyErr_SetString(korvu_InterfaceError, "No global sets in problem, cannot use addsetnames()");
    return nullptr;
  }
  if (convert_value(row, c, 1) < 0 || convert_value(row, c, 2) < 0) return nullptr;
  const int64_t start = given(c, 1) ? c.ival[1] : 0, end = given(c, 2) ? c.ival[2] : sets - 1;
  if (start < 0 || end >= sets || end < start) {
    PyErr_SetString(korvu_InterfaceError,
                    "Arguments start and end must be such that 0 <= start <= end <= problem.controls.sets - 1");
    return nullptr;
  }
  PyObject *names = c.obj[0];
  if (!PyList_Check(names)) {
    PyErr_SetString(korvu_InterfaceError, "Argument names must be a list of strings");
    return nullptr;
  }
  if (PyList_GET_SIZE(names) != end - start + 1) {
    PyErr_SetString(korvu_InterfaceError, "Size of list of strings does not match start and end arguments");
    return nullptr;
  }
  std::string buffer;
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(names); ++i) {
    PyObject *name = PyList_GET_ITEM(names, i);
    PyObject *tmp = nullptr;
    const char *text = PyUnicode_Check(name) ? pyStrToStr(name, nullptr, &tmp) : nullptr;
    if (!text) {
      Py_XDECREF(tmp);
      if (!PyErr_Occurred())
        PyErr_Format(korvu_ModelError, "Element %zd of list is not a string: %S", i, name);
      return nullptr;
    }
    buffer.append(text);
    buffer.push_back('\0');
    Py_XDECREF(tmp);
  }
  if (KRVUaddsetnames(c.prob, buffer.data(), static_cast<int>(start), static_cast<int>(end)) != 0) return nullptr;
  return none();
}

// (start, end)
PyObject *delindicators(const Row &row, Ctx &c) {
  int64_t rows = attr_or_fail(c, KRVU_ATTR_ROWS);
  if (rows < 0) return nullptr;
  if (rows == 0) {
    PyErr_SetString(korvu_InterfaceError, "No rows in problem, cannot use delindicators()");
    return nullptr;
  }
  if (convert_value(row, c, 0) < 0 || convert_value(row, c, 1) < 0) return nullptr;
  const int64_t start = given(c, 0) ? c.ival[0] : 0, end = given(c, 1) ? c.ival[1] : rows - 1;
  if (start < 0 || end >= rows || end < start) {
    PyErr_SetString(korvu_InterfaceError,
                    "Arguments start and end must be such that start <= end and must be within the range of rows");
    return nullptr;
  }
  if (KRVUdelindicators(c.prob, static_cast<int>(start), static_cast<int>(end)) != 0) return nullptr;
  return none();
}

PyObject *setdefaultcontrol(const Row &, Ctx &c) {
  int id = -1;
  {
    EnvLock lock(KRV_MUTEX_TABLES);
    PyObject *entry = PyUnicode_Check(c.obj[0]) && krv_py_env.control_table
                          ? PyDict_GetItemWithError(krv_py_env.control_table, c.obj[0])
                          : nullptr;
    if (entry && PyTuple_Check(entry) && PyTuple_GET_SIZE(entry) > 0)
      id = static_cast<int>(PyLong_AsLong(PyTuple_GET_ITEM(entry, 0)));
  }
  if (PyErr_Occurred()) return nullptr;
  if (id < 0) {
    PyErr_SetString(korvu_InterfaceError, "Incorrect control name");
    return nullptr;
  }
  if (KRVUsetdefaultcontrol(c.prob, id) != 0) return nullptr;
  return none();
}

PyObject *copycontrols(const Row &, Ctx &c) {
  if (!korvu_is_problem(c.obj[0])) {
    PyErr_SetString(korvu_ModelError, "A problem must be passed for copying controls");
    return nullptr;
  }
  problem_s *src = reinterpret_cast<problem_s *>(c.obj[0]);
  if (!src->prob) {
    PyErr_SetString(korvu_ModelError, "The problem is not initialised");
    return nullptr;
  }
  if (KRVUcopycontrols(c.prob, src->prob) != 0) return nullptr;
  if (c.p->slpprob && src->slpprob && KSLPcopycontrols(c.p->slpprob, src->slpprob) != 0) {
    char buf[512];
    int code = 0;
    KSLPgetlasterror(c.p->slpprob, &code, buf);
    PyErr_SetString(korvu_SolverError, buf);
    return nullptr;
  }
  return none();
}

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
