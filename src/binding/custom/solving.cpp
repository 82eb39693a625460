// Solving and file members whose shape the dispatch does not cover: outputs
// sized by a first call, nonlinear problems, results of variable length.
#include <algorithm>
#include <vector>

#include "binding/custom/custom.h"
#include "module/module.h"
#include "problem/methods.h"

namespace korvu {
namespace wrap {
namespace custom {
namespace {

PyObject *none() { Py_RETURN_NONE; }

bool nonlinear(const problem_s *p) { return (p->nonlin_rows || p->nonlin_obj) && p->slpprob; }

bool slp_started() {
  EnvLock lock(KRV_MUTEX_LIBSTATE);
  return krv_py_env.slp_state == 1;
}

int convert_all_values(const Row &row, Ctx &c) {
  for (int i = 0; i < row.nargs; ++i)
    if (convert_value(row, c, i) < 0) return -1;
  return 0;
}

}  // namespace

// (qrtype, mcolso, dvalo, drhso, maxcoeffs, mcolsp, dvalp): the outputs get
// room for every column and receive min(ncoeffs, maxcoeffs) entries.
PyObject *presolverow(const Row &row, Ctx &c) {
  for (int i : {1, 2, 5, 6})
    if (!given(c, i)) {
      PyErr_SetString(korvu_InterfaceError, row.missing_);
      return nullptr;
    }
  if (convert_all_values(row, c) < 0) return nullptr;
  if (convert_in(row, c, 1) < 0 || convert_in(row, c, 2) < 0) return nullptr;
  const int64_t cols = attr_or_fail(c, KRVU_ATTR_COLS);
  if (cols < 0) return nullptr;
  const int maxcoeffs = static_cast<int>(c.ival[4]);
  const int room = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(cols, maxcoeffs)));
  // The library writes at most maxcoeffs entries: keep it within the room made.
  if ((room > 0 && (!c.alloc(5, room, sizeof(int)) || !c.alloc(6, room, sizeof(double)))))
    return nullptr;
  int ncoeffs = 0, status = 0;
  double drhsp = 0;
  const int n = static_cast<int>(c.count[0] < 0 ? 0 : c.count[0]);
  if (KRVUpresolverow(c.prob, static_cast<char>(c.ival[0]), n, static_cast<const int *>(c.arr[1]),
                      static_cast<const double *>(c.arr[2]), c.dval[3], room, &ncoeffs,
                      static_cast<int *>(c.arr[5]), static_cast<double *>(c.arr[6]), &drhsp, &status) != 0)
    return nullptr;
  const int64_t got = std::min<int64_t>(ncoeffs, room);
  if (fill_out(row, c, 5, got) < 0 || fill_out(row, c, 6, got) < 0) return nullptr;
  return Py_BuildValue("(di)", drhsp, status);
}

PyObject *writeslxsol(const Row &row, Ctx &c) {
  if (convert_all_values(row, c) < 0) return nullptr;
  if (nonlinear(c.p))
    return KSLPwriteslxsol(c.p->slpprob, c.text[0], c.text[1]) == 0 ? none() : problem_slp_error(c.p);
  if (KRVUwriteslxsol(c.prob, c.text[0], c.text[1]) != 0) return nullptr;
  return none();
}

PyObject *save(const Row &row, Ctx &c) {
  if (convert_all_values(row, c) < 0) return nullptr;
  if (nonlinear(c.p)) {
    const int rc = given(c, 0) ? KSLPsaveas(c.p->slpprob, c.text[0]) : KSLPsave(c.p->slpprob);
    return rc == 0 ? none() : problem_slp_error(c.p);
  }
  const int rc = given(c, 0) ? KRVUsaveas(c.prob, c.text[0]) : KRVUsave(c.prob);
  return rc == 0 ? none() : nullptr;
}

PyObject *restore(const Row &row, Ctx &c) {
  if (convert_all_values(row, c) < 0) return nullptr;
  // The nonlinear solver's restore reads save files of linear and nonlinear
  // problems alike, so it restores whenever the solver is started: the
  // problem is nonlinear afterwards exactly when the file was.
  if (c.p->slpprob && slp_started()) {
    if (KSLPrestore(c.p->slpprob, c.text[0]) != 0) return problem_slp_error(c.p);
    return problem_sync_nonlinear(c.p) == 0 ? none() : nullptr;
  }
  if (KRVUrestore(c.prob, c.text[0], c.text[1]) != 0) return nullptr;
  return none();
}

// (rowsizes, colsizes, suminfeas, numinfeas): n sets give n + 1 entries.
PyObject *iisstatus(const Row &row, Ctx &c) {
  int n = 0;
  if (KRVUiisstatus(c.prob, &n, nullptr, nullptr, nullptr, nullptr) != 0) return nullptr;
  if (n == 0) return none();
  std::vector<int> rs(n + 1), cs(n + 1), ni(n + 1);
  std::vector<double> si(n + 1);
  if (KRVUiisstatus(c.prob, &n, rs.data(), cs.data(), si.data(), ni.data()) != 0) return nullptr;
  if (fill_list(c, 0, rs.data(), n + 1, CONV_INT) < 0 || fill_list(c, 1, cs.data(), n + 1, CONV_INT) < 0 ||
      fill_list(c, 2, si.data(), n + 1, CONV_DOUBLE) < 0 || fill_list(c, 3, ni.data(), n + 1, CONV_INT) < 0)
    return nullptr;
  return PyLong_FromLong(n);
}

// (num, miisrow, miiscol, constrainttype, colbndtype, duals, rdcs,
// isolationrows, isolationcols): sized by a first call.
PyObject *getiisdata(const Row &row, Ctx &c) {
  if (convert_value(row, c, 0) < 0) return nullptr;
  const int num = static_cast<int>(c.ival[0]);
  int nr = 0, nc = 0;
  if (KRVUgetiisdata(c.prob, num, &nr, &nc, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr) != 0)
    return nullptr;
  if (nr == 0 && nc == 0) return none();
  std::vector<int> rows(nr), cols(nc);
  std::vector<char> rt(nr), bt(nc), ri(nr), ci(nc);
  std::vector<double> duals(nr), rdcs(nc);
  if (KRVUgetiisdata(c.prob, num, &nr, &nc, rows.data(), cols.data(), rt.data(), bt.data(), duals.data(),
                     rdcs.data(), ri.data(), ci.data()) != 0)
    return nullptr;
  if (fill_list(c, 1, rows.data(), nr, CONV_ROW) < 0 || fill_list(c, 2, cols.data(), nc, CONV_COL) < 0 ||
      fill_list(c, 3, rt.data(), nr, CONV_CHAR) < 0 || fill_list(c, 4, bt.data(), nc, CONV_CHAR) < 0 ||
      fill_list(c, 5, duals.data(), nr, CONV_DOUBLE) < 0 || fill_list(c, 6, rdcs.data(), nc, CONV_DOUBLE) < 0 ||
      fill_list(c, 7, ri.data(), nr, CONV_BYTE) < 0 || fill_list(c, 8, ci.data(), nc, CONV_BYTE) < 0)
    return nullptr;
  return none();
}

// (in_, outlist, x, maxpiv): in_ is a constraint (its row), a variable
// (rows + spare rows + its column) or an integer in that combined form; the
// candidates come back as constraints and variables.
PyObject *getpivots(const Row &row, Ctx &c) {
  if (convert_value(row, c, 3) < 0) return nullptr;
  const int maxpiv = static_cast<int>(c.ival[3]);
  if (maxpiv < 0) {
    PyErr_SetString(korvu_InterfaceError, "Argument maxpiv must not be negative");
    return nullptr;
  }
  int in = -1;
  PyObject *o = c.obj[0];
  if (!o || o == Py_None) {
    PyErr_SetString(korvu_InterfaceError, "Must provide argument in_");
    return nullptr;
  }
  const int64_t rows = attr_or_fail(c, KRVU_ATTR_ROWS), spare = attr_or_fail(c, KRVU_ATTR_SPAREROWS),
                cols = attr_or_fail(c, KRVU_ATTR_COLS);
  if (rows < 0 || spare < 0 || cols < 0) return nullptr;
  if (PyLong_Check(o)) {
    if (ObjInt2int(o, c.p, &in, CONV_INT) != 0) return nullptr;
  } else if (ObjInt2int(o, c.p, &in, CONV_ROW) != 0) {
    // Not a row: a column, numbered after the rows.  The row conversion's
    // error is dropped, so that a success leaves nothing pending.
    PyErr_Clear();
    if (ObjInt2int(o, c.p, &in, CONV_COL) != 0) return nullptr;
    in += static_cast<int>(rows + spare);
  }
  std::vector<int> out(std::max(maxpiv, 1));
  std::vector<double> x(static_cast<size_t>(rows + spare + cols) + 1);
  double dobj = 0;
  int npiv = 0;
  if (KRVUgetpivots(c.prob, in, out.data(), x.data(), &dobj, &npiv, maxpiv) != 0) return nullptr;
  if (fill_list(c, 1, out.data(), std::min(npiv, maxpiv), CONV_ROWCOL) < 0 ||
      fill_list(c, 2, x.data(), rows + spare + cols, CONV_DOUBLE) < 0)
    return nullptr;
  return Py_BuildValue("(di)", dobj, npiv);
}

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
