// Query members whose sizes the caller cannot know (two calls to the library:
// one for the counts, one for the data) or whose results take other shapes.
#include <climits>
#include <cstring>
#include <vector>

#include "binding/custom/custom.h"
#include "module/module.h"

namespace korvu {
namespace wrap {
namespace custom {
namespace {

PyObject *none() { Py_RETURN_NONE; }

// A temporary array sized for n elements, or none when the output is not
// wanted; released with the body.
template <class T>
struct Buf {
  std::vector<T> v;
  T *ptr(bool wanted, int64_t n) {
    if (!wanted || n <= 0) return nullptr;
    v.assign(static_cast<size_t>(n), T());
    return v.data();
  }
};

int index_of(const Row &row, Ctx &c, int i) { return convert_value(row, c, i); }

// getlpsolval and getmipsolval: optional row and column, checked against the
// original problem's size.
int solval_indices(const Row &row, Ctx &c, int *col, int *rowi) {
  *col = *rowi = -1;
  int64_t ncols = attr_or_fail(c, KRVU_ATTR_ORIGINALCOLS), nrows = attr_or_fail(c, KRVU_ATTR_ORIGINALROWS);
  if (ncols < 0 || nrows < 0) return -1;
  if (given(c, 0)) {
    if (index_of(row, c, 0) < 0) return -1;
    *col = static_cast<int>(c.ival[0]);
    if (*col < 0 || *col >= ncols) return -2;
  }
  if (given(c, 1)) {
    if (index_of(row, c, 1) < 0) return -1;
    *rowi = static_cast<int>(c.ival[1]);
    if (*rowi < 0 || *rowi >= nrows) return -2;
  }
  return 0;
}

PyObject *solval(const Row &row, Ctx &c, bool mip) {
  int col, r;
  int rc = solval_indices(row, c, &col, &r);
  if (rc == -2) {
    PyErr_SetString(korvu_InterfaceError, "Invalid row or column index");
    return nullptr;
  }
  if (rc < 0) return nullptr;
  double x = -KRVU_INFINITY, slack = -KRVU_INFINITY, dual = -KRVU_INFINITY, dj = -KRVU_INFINITY;
  if (mip) {
    if (KRVUgetmipsolval(c.prob, col, r, &x, &slack) != 0) return nullptr;
    return Py_BuildValue("(dd)", x, slack);
  }
  if (KRVUgetlpsolval(c.prob, col, r, &x, &slack, &dual, &dj) != 0) return nullptr;
  return Py_BuildValue("(dddd)", x, slack, dual, dj);
}

PyObject *infeas(const Row &, Ctx &c, int (*fn)(KRVUprob, int *, int *, int *, int *, int *, int *, int *, int *)) {
  int n[4] = {0, 0, 0, 0};
  if (KRVUgetinfeas(c.prob, &n[0], &n[1], &n[2], &n[3], nullptr, nullptr, nullptr, nullptr) != 0) return nullptr;
  Buf<int> b[4];
  int *p[4];
  for (int k = 0; k < 4; ++k) p[k] = b[k].ptr(given(c, k), n[k]);
  if (fn(c.prob, &n[0], &n[1], &n[2], &n[3], p[0], p[1], p[2], p[3]) != 0) return nullptr;
  static const int codes[4] = {CONV_COL, CONV_ROW, CONV_ROW, CONV_COL};
  for (int k = 0; k < 4; ++k)
    if (fill_list(c, k, p[k], n[k], codes[k]) < 0) return nullptr;
  return none();
}

PyObject *ray(Ctx &c, bool primal) {
  int64_t n = attr_or_fail(c, primal ? KRVU_ATTR_COLS : KRVU_ATTR_ROWS);
  if (n < 0) return nullptr;
  if (n == 0) return none();
  if (!given(c, 0)) {
    PyErr_SetString(korvu_InterfaceError, "Must provide argument to retrieve (primal or dual) ray");
    return nullptr;
  }
  int has = 0;
  auto fn = primal ? KRVUgetprimalray : KRVUgetdualray;
  if (fn(c.prob, nullptr, &has) != 0) return nullptr;
  if (!has) return none();
  std::vector<double> v(static_cast<size_t>(n));
  if (fn(c.prob, v.data(), &has) != 0) return nullptr;
  if (fill_list(c, 0, v.data(), n, CONV_DOUBLE) < 0) return nullptr;
  return none();
}

PyObject *has_ray(Ctx &c, bool primal) {
  int has = 0;
  if ((primal ? KRVUgetprimalray : KRVUgetdualray)(c.prob, nullptr, &has) != 0) return nullptr;
  return PyBool_FromLong(has);
}

// getrows, getcols and getmqobj: (mstart, indices, values, size, first, last).
typedef int (*MatrixFn)(KRVUprob, int64_t *, int *, double *, int64_t, int64_t *, int, int);
PyObject *matrix(const Row &row, Ctx &c, MatrixFn fn, int index_code, bool count_result) {
  if (index_of(row, c, 4) < 0 || index_of(row, c, 5) < 0) return nullptr;
  const int first = static_cast<int>(c.ival[4]), last = static_cast<int>(c.ival[5]);
  if (static_cast<int64_t>(last) - first + 1 <= 0) {
    PyErr_SetString(korvu_InterfaceError, "Empty range of columns requested");
    return nullptr;
  }
  if (convert_value(row, c, 3) < 0) return nullptr;
  const int64_t size = c.ival[3] < 0 ? 0 : c.ival[3];
  int64_t nels = 0;
  if (fn(c.prob, nullptr, nullptr, nullptr, 0, &nels, first, last) != 0) return nullptr;
  if (nels == 0 && (count_result || index_code == CONV_ROW)) {
    // Nothing to read: getcols returns at once, getmqobj says 0.
    return count_result ? PyLong_FromLong(0) : none();
  }
  const int64_t m = nels < size ? nels : size;
  Buf<int64_t> start;
  Buf<int> ind;
  Buf<double> val;
  int64_t *s = start.ptr(given(c, 0), static_cast<int64_t>(last) - first + 2);
  int *ix = ind.ptr(given(c, 1), nels);
  double *vx = val.ptr(given(c, 2), nels);
  if (fn(c.prob, s, ix, vx, size, &nels, first, last) != 0) return nullptr;
  if (fill_list(c, 0, s, static_cast<int64_t>(last) - first + 2, CONV_INT64) < 0 ||
      fill_list(c, 1, ix, m, index_code) < 0 || fill_list(c, 2, vx, m, CONV_DOUBLE) < 0)
    return nullptr;
  return count_result ? PyLong_FromLongLong(nels) : none();
}

}  // namespace

PyObject *getlpsolval(const Row &row, Ctx &c) { return solval(row, c, false); }
PyObject *getmipsolval(const Row &row, Ctx &c) { return solval(row, c, true); }
PyObject *getinfeas(const Row &row, Ctx &c) { return infeas(row, c, KRVUgetinfeas); }
PyObject *getscaledinfeas(const Row &row, Ctx &c) { return infeas(row, c, KRVUgetscaledinfeas); }

PyObject *getunbvec(const Row &, Ctx &c) {
  int seq = -1;
  if (KRVUgetunbvec(c.prob, &seq) != 0) return nullptr;
  if (seq < 0) {
    PyErr_SetString(korvu_SolverError,
                    "getunbvec returns a valid object only if the problem is found unbounded within the primal "
                    "simplex. Call solve('p') to use the primal simplex.");
    return nullptr;
  }
  return convSeqToRowCol(c.p, seq);
}

PyObject *getprimalray(const Row &, Ctx &c) { return ray(c, true); }
PyObject *getdualray(const Row &, Ctx &c) { return ray(c, false); }
PyObject *hasprimalray(const Row &, Ctx &c) { return has_ray(c, true); }
PyObject *hasdualray(const Row &, Ctx &c) { return has_ray(c, false); }

PyObject *getrows(const Row &row, Ctx &c) { return matrix(row, c, KRVUgetrows64, CONV_COL, false); }

PyObject *getcols(const Row &row, Ctx &c) {
  if (!given(c, 0) && !given(c, 1) && !given(c, 2)) {
    PyErr_SetString(korvu_InterfaceError, "Must provide at least one of arguments mstart, mrwind, dmatval");
    return nullptr;
  }
  return matrix(row, c, KRVUgetcols64, CONV_ROW, false);
}

PyObject *getmqobj(const Row &row, Ctx &c) { return matrix(row, c, KRVUgetmqobj64, CONV_COL, true); }

// (irow, mstart, mclind, dqe, size, first, last)
PyObject *getqrowqmatrix(const Row &row, Ctx &c) {
  if (index_of(row, c, 0) < 0 || index_of(row, c, 5) < 0 || index_of(row, c, 6) < 0 ||
      convert_value(row, c, 4) < 0)
    return nullptr;
  const int irow = static_cast<int>(c.ival[0]), first = static_cast<int>(c.ival[5]),
            last = static_cast<int>(c.ival[6]);
  if (static_cast<int64_t>(last) - first + 1 <= 0) {
    PyErr_SetString(korvu_InterfaceError, "Empty range of columns requested");
    return nullptr;
  }
  const int size = static_cast<int>(c.ival[4] < 0 ? 0 : c.ival[4]);
  int nels = 0;
  if (KRVUgetqrowqmatrix(c.prob, irow, nullptr, nullptr, nullptr, 0, &nels, first, last) != 0) return nullptr;
  if (nels == 0) return PyLong_FromLong(0);
  Buf<int> start, ind;
  Buf<double> val;
  int *s = start.ptr(given(c, 1), last - first + 2);
  int *ix = ind.ptr(given(c, 2), nels);
  double *vx = val.ptr(given(c, 3), nels);
  if (KRVUgetqrowqmatrix(c.prob, irow, s, ix, vx, size, &nels, first, last) != 0) return nullptr;
  const int m = nels < size ? nels : size;
  if (fill_list(c, 1, s, last - first + 2, CONV_INT) < 0 || fill_list(c, 2, ix, m, CONV_COL) < 0 ||
      fill_list(c, 3, vx, m, CONV_DOUBLE) < 0)
    return nullptr;
  return PyLong_FromLong(nels);
}

// (irow, mqcol1, mqcol2, dqe)
PyObject *getqrowqmatrixtriplets(const Row &row, Ctx &c) {
  if (index_of(row, c, 0) < 0) return nullptr;
  const int irow = static_cast<int>(c.ival[0]);
  int n = 0;
  if (KRVUgetqrowqmatrixtriplets(c.prob, irow, &n, nullptr, nullptr, nullptr) != 0) return nullptr;
  Buf<int> c1, c2;
  Buf<double> v;
  int *a = c1.ptr(given(c, 1), n), *b = c2.ptr(given(c, 2), n);
  double *d = v.ptr(given(c, 3), n);
  if (n > 0 && KRVUgetqrowqmatrixtriplets(c.prob, irow, &n, a, b, d) != 0) return nullptr;
  if (fill_list(c, 1, a, n, CONV_COL) < 0 || fill_list(c, 2, b, n, CONV_COL) < 0 ||
      fill_list(c, 3, d, n, CONV_DOUBLE) < 0)
    return nullptr;
  return none();
}

PyObject *getqrows(const Row &, Ctx &c) {
  if (!given(c, 0)) {
    PyErr_SetString(korvu_InterfaceError, "Must provide argument qcrows");
    return nullptr;
  }
  int n = 0;
  if (KRVUgetqrows(c.prob, &n, nullptr) != 0) return nullptr;
  std::vector<int> rows(static_cast<size_t>(n > 0 ? n : 1));
  if (n > 0 && KRVUgetqrows(c.prob, &n, rows.data()) != 0) return nullptr;
  if (fill_list(c, 0, rows.data(), n, CONV_ROW) < 0) return nullptr;
  return none();
}

// (qgtype, mgcols, dlim, qstype, msstart, mscols, dref)
PyObject *getglobal(const Row &, Ctx &c) {
  int nent = 0, nsets = 0;
  if (KRVUgetglobal64(c.prob, &nent, &nsets, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr) != 0)
    return nullptr;
  if (nent == 0 && nsets == 0) return none();
  int64_t members = attr_or_fail(c, KRVU_ATTR_SETMEMBERS);
  if (members < 0) return nullptr;
  Buf<char> gtype, stype;
  Buf<int> gcols, scols;
  Buf<double> lim, ref;
  Buf<int64_t> sstart;
  char *gt = gtype.ptr(given(c, 0), nent), *st = stype.ptr(given(c, 3), nsets);
  int *gc = gcols.ptr(given(c, 1), nent), *sc = scols.ptr(given(c, 5), members);
  double *gl = lim.ptr(given(c, 2), nent), *sr = ref.ptr(given(c, 6), members);
  int64_t *ss = sstart.ptr(given(c, 4), nsets + 1);
  if (KRVUgetglobal64(c.prob, &nent, &nsets, gt, gc, gl, st, ss, sc, sr) != 0) return nullptr;
  if (fill_list(c, 0, gt, nent, CONV_CHAR) < 0 || fill_list(c, 1, gc, nent, CONV_INT) < 0 ||
      fill_list(c, 2, gl, nent, CONV_DOUBLE) < 0 || fill_list(c, 3, st, nsets, CONV_CHAR) < 0 ||
      fill_list(c, 4, ss, nsets + 1, CONV_INT64) < 0 || fill_list(c, 5, sc, members, CONV_COL) < 0 ||
      fill_list(c, 6, sr, members, CONV_DOUBLE) < 0)
    return nullptr;
  return none();
}

// (type, resultant, colstart, col, colsize, valstart, val, valsize, first, last)
PyObject *getgencons(const Row &row, Ctx &c) {
  if (index_of(row, c, 8) < 0 || index_of(row, c, 9) < 0 || convert_value(row, c, 4) < 0 ||
      convert_value(row, c, 7) < 0)
    return nullptr;
  const int first = static_cast<int>(c.ival[8]), last = static_cast<int>(c.ival[9]);
  if (static_cast<int64_t>(last) - first + 1 <= 0) {
    PyErr_SetString(korvu_InterfaceError, "Empty range of general constraints requested");
    return nullptr;
  }
  const int64_t colsize = c.ival[4] < 0 ? 0 : c.ival[4], valsize = c.ival[7] < 0 ? 0 : c.ival[7];
  int64_t ncols = 0, nvals = 0;
  if (KRVUgetgencons64(c.prob, nullptr, nullptr, nullptr, nullptr, 0, &ncols, nullptr, nullptr, 0, &nvals,
                       first, last) != 0)
    return nullptr;
  const int64_t n = static_cast<int64_t>(last) - first + 1;
  Buf<int> type, res, col;
  Buf<int64_t> cstart, vstart;
  Buf<double> val;
  int *t = type.ptr(given(c, 0), n), *r = res.ptr(given(c, 1), n), *cl = col.ptr(given(c, 3), ncols);
  int64_t *cs = cstart.ptr(given(c, 2), n + 1), *vs = vstart.ptr(given(c, 5), n + 1);
  double *v = val.ptr(given(c, 6), nvals);
  if (KRVUgetgencons64(c.prob, t, r, cs, cl, colsize, &ncols, vs, v, valsize, &nvals, first, last) != 0)
    return nullptr;
  const int64_t mc = ncols < colsize ? ncols : colsize, mv = nvals < valsize ? nvals : valsize;
  if (fill_list(c, 0, t, n, CONV_INT) < 0 || fill_list(c, 1, r, n, CONV_COL) < 0 ||
      fill_list(c, 2, cs, n + 1, CONV_INT64) < 0 || fill_list(c, 3, cl, mc, CONV_COL) < 0 ||
      fill_list(c, 5, vs, n + 1, CONV_INT64) < 0 || fill_list(c, 6, v, mv, CONV_DOUBLE) < 0)
    return nullptr;
  return Py_BuildValue("(LL)", static_cast<long long>(ncols), static_cast<long long>(nvals));
}

// (col, resultant, start, xval, yval, size, first, last)
PyObject *getpwlcons(const Row &row, Ctx &c) {
  if (index_of(row, c, 6) < 0 || index_of(row, c, 7) < 0 || convert_value(row, c, 5) < 0) return nullptr;
  const int first = static_cast<int>(c.ival[6]), last = static_cast<int>(c.ival[7]);
  if (static_cast<int64_t>(last) - first + 1 <= 0) {
    PyErr_SetString(korvu_InterfaceError, "Empty range of piecewise linear constraints requested");
    return nullptr;
  }
  const int64_t size = c.ival[5] < 0 ? 0 : c.ival[5];
  int64_t npoints = 0;
  if (KRVUgetpwlcons64(c.prob, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &npoints, first, last) != 0)
    return nullptr;
  const int64_t n = static_cast<int64_t>(last) - first + 1;
  Buf<int> col, res;
  Buf<int64_t> start;
  Buf<double> xv, yv;
  int *cl = col.ptr(given(c, 0), n), *r = res.ptr(given(c, 1), n);
  int64_t *s = start.ptr(given(c, 2), n + 1);
  double *x = xv.ptr(given(c, 3), npoints), *y = yv.ptr(given(c, 4), npoints);
  if (KRVUgetpwlcons64(c.prob, cl, r, s, x, y, size, &npoints, first, last) != 0) return nullptr;
  const int64_t m = npoints < size ? npoints : size;
  if (fill_list(c, 0, cl, n, CONV_COL) < 0 || fill_list(c, 1, r, n, CONV_COL) < 0 ||
      fill_list(c, 2, s, n + 1, CONV_INT64) < 0 || fill_list(c, 3, x, m, CONV_DOUBLE) < 0 ||
      fill_list(c, 4, y, m, CONV_DOUBLE) < 0)
    return nullptr;
  return PyLong_FromLongLong(npoints);
}

// (type, start, end)
PyObject *getnamelist(const Row &row, Ctx &c) {
  if (convert_value(row, c, 0) < 0) return nullptr;
  const int64_t type = c.ival[0];
  if (type < 1 || type > 3) {
    PyErr_SetString(korvu_InterfaceError, "Argument type must be 1 (rows), 2 (columns), or 3 (sets)");
    return nullptr;
  }
  int64_t n = attr_or_fail(c, type == 1 ? KRVU_ATTR_ROWS : type == 2 ? KRVU_ATTR_COLS : KRVU_ATTR_SETS);
  if (n < 0) return nullptr;
  int64_t start = 0, end = n - 1;
  for (int i : {1, 2}) {
    if (!given(c, i)) continue;
    if (convert_value(row, c, i) < 0) return nullptr;
    (i == 1 ? start : end) = c.ival[i];
  }
  if (n == 0 && end >= 0) {
    PyErr_SetString(korvu_InterfaceError, "No names for type chosen");
    return nullptr;
  }
  if (start < 0 || end >= n || end < start) {
    PyErr_SetString(korvu_InterfaceError,
                    "Arguments start and end must be such that 0 <= start <= end and both must be within the "
                    "number of rows, columns, or sets");
    return nullptr;
  }
  int bytes = 0;
  if (KRVUgetnamelist(c.prob, static_cast<int>(type), nullptr, 0, &bytes, static_cast<int>(start),
                      static_cast<int>(end)) != 0)
    return nullptr;
  std::vector<char> buf;
  try {
    buf.resize(static_cast<size_t>(bytes > 0 ? bytes : 1));
  } catch (const std::bad_alloc &) {
    PyErr_SetString(korvu_InterfaceError,
                    "Could not allocate enough memory for reading all names; please try with a smaller range");
    return nullptr;
  }
  if (KRVUgetnamelist(c.prob, static_cast<int>(type), buf.data(), bytes, &bytes, static_cast<int>(start),
                      static_cast<int>(end)) != 0)
    return nullptr;
  PyRef list = PyRef::steal(PyList_New(end - start + 1));
  if (!list) return nullptr;
  const char *q = buf.data();
  for (int64_t k = 0; k <= end - start; ++k) {
    PyObject *s = library_text(q);
    if (!s) return nullptr;
    PyList_SET_ITEM(list.get(), k, s);
    q += std::strlen(q) + 1;
  }
  return list.release();
}

PyObject *getlasterror(const Row &, Ctx &c) {
  char buf[512];
  buf[0] = '\0';
  if (KRVUgetlasterror(c.prob, buf) != 0) return nullptr;
  return library_text(buf);
}

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
