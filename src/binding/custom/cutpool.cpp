// Bodies of the cut-pool and node members: cuts given as compressed rows
// whose sizes follow from each other, handle lists sized by a first call,
// and strong branching with a Python callable per probe.
#include <algorithm>
#include <vector>

#include "binding/custom/custom.h"
#include "binding/handles.h"
#include "module/module.h"

namespace korvu {
namespace wrap {
namespace custom {
namespace {

PyObject *none() { Py_RETURN_NONE; }

int convert_values(const Row &row, Ctx &c) {
  for (int i = 0; i < row.nargs; ++i)
    if (row.args[i].kind != kIn && row.args[i].kind != kOut && row.args[i].kind != kObject &&
        convert_value(row, c, i) < 0)
      return -1;
  return 0;
}

// Argument i with exactly n entries (a count the other arguments fixed).
int convert_counted(const Row &row, Ctx &c, int i, int64_t n) {
  if (!given(c, i)) return 0;
  int64_t count = n;
  const int rc = conv_obj2arr(c.p, &count, c.obj[i], &c.arr[i], row.args[i].code);
  c.len[i] = count < 0 ? 0 : count;
  return rc;
}

// A list of cuts (argument i): its count, or -1 with a null array for None.
int convert_cut_list(const Row &row, Ctx &c, int i, int *n) {
  *n = -1;
  if (!given(c, i)) return 0;
  int64_t count = -1;
  if (conv_obj2arr(c.p, &count, c.obj[i], &c.arr[i], CONV_POOLCUT) < 0) return -1;
  c.len[i] = count < 0 ? 0 : count;
  *n = static_cast<int>(c.len[i]);
  (void)row;
  return 0;
}

// The cuts of addcuts and storecuts: (mtype, rtype, rhs, mstart, mcols,
// dmatval) at positions a..a+5 of the row, with mindex between mstart and
// mcols for storecuts.
struct Cuts {
  int n = 0;
  const int *mtype = nullptr;
  const char *rtype = nullptr;
  const double *rhs = nullptr;
  const int64_t *mstart = nullptr;
  const int *mcols = nullptr;
  const double *dmatval = nullptr;
};

int convert_cuts(const Row &row, Ctx &c, int imtype, int irtype, int irhs, int imstart, int imcols, int idmat,
                 Cuts &out) {
  // rtype fixes the number of cuts, and the starts the number of entries.
  if (convert_in(row, c, irtype) < 0) return -1;
  const int64_t n = c.count[row.args[irtype].group] < 0 ? 0 : c.count[row.args[irtype].group];
  if (n > 0 && convert_counted(row, c, imstart, n + 1) < 0) return -1;
  if (convert_counted(row, c, irhs, n) < 0) return -1;
  const int64_t *mstart = static_cast<const int64_t *>(c.arr[imstart]);
  const int64_t nz = n > 0 && mstart ? mstart[n] : 0;
  if (nz > 0 && (convert_counted(row, c, imcols, nz) < 0 || convert_counted(row, c, idmat, nz) < 0)) return -1;
  if (convert_counted(row, c, imtype, n) < 0) return -1;
  out.n = static_cast<int>(n);
  out.mtype = static_cast<const int *>(c.arr[imtype]);
  out.rtype = static_cast<const char *>(c.arr[irtype]);
  out.rhs = static_cast<const double *>(c.arr[irhs]);
  out.mstart = mstart;
  out.mcols = static_cast<const int *>(c.arr[imcols]);
  out.dmatval = static_cast<const double *>(c.arr[idmat]);
  return 0;
}

// The strong-branching data: [problem, sbsolvecb, vContext], owned by the
// member for the whole library call.
int solvecb(KRVUprob prob, void *data, int ibnd) {
  GilGuard gil;
  if (PyErr_Occurred()) {
    KRVUinterrupt(prob, KRVU_STOP_USER);
    return 1;
  }
  PyObject *list = static_cast<PyObject *>(data);
  PyRef index = PyRef::steal(PyLong_FromLong(ibnd));
  PyRef r = index ? PyRef::steal(PyObject_CallFunctionObjArgs(PyList_GET_ITEM(list, 1), PyList_GET_ITEM(list, 0),
                                                              PyList_GET_ITEM(list, 2), index.get(), nullptr))
                  : PyRef();
  if (!r) {
    PySys_WriteStderr("Problem in solvecb() callback function, stopping optimization");
    KRVUinterrupt(prob, KRVU_STOP_USER);
    return 1;
  }
  // Integer results as the callbacks read them: None 0, anything else -1.
  if (r.get() == Py_None) return 0;
  if (!PyFloat_Check(r.get()) && PyIndex_Check(r.get())) {
    const long v = PyLong_AsLong(r.get());
    if (!(v == -1 && PyErr_Occurred())) return static_cast<int>(std::max<long>(INT32_MIN, std::min<long>(v, INT32_MAX)));
    PyErr_Clear();
    return 1;
  }
  return -1;
}

// (bndind, bndtype, bndval, itrlimit, objval, status[, sbsolvecb, vContext])
PyObject *strong(const Row &row, Ctx &c, bool with_cb) {
  if (convert_values(row, c) < 0) return nullptr;
  for (int i : {0, 1, 2})
    if (convert_in(row, c, i) < 0) return nullptr;
  const int n = static_cast<int>(c.count[0] < 0 ? 0 : c.count[0]);
  std::vector<double> obj(n);
  std::vector<int> status(n);
  int rc;
  if (with_cb) {
    PyObject *f = c.obj[6];
    if (!PyCallable_Check(f)) {
      PyErr_SetString(korvu_InterfaceError, "sbsolvecb must be callable");
      return nullptr;
    }
    PyRef data = PyRef::steal(PyList_New(3));
    if (!data) return nullptr;
    // The list holds the problem, the callable and the context for the call.
    PyObject *items[3] = {reinterpret_cast<PyObject *>(c.p), f, c.obj[7] ? c.obj[7] : Py_None};
    for (int k = 0; k < 3; ++k) PyList_SET_ITEM(data.get(), k, PyRef::borrow(items[k]).release());
    rc = KRVUstrongbranchcb(c.prob, n, static_cast<const int *>(c.arr[0]), static_cast<const char *>(c.arr[1]),
                            static_cast<const double *>(c.arr[2]), static_cast<int>(c.ival[3]), obj.data(),
                            status.data(), &solvecb, data.get());
  } else {
    rc = KRVUstrongbranch(c.prob, n, static_cast<const int *>(c.arr[0]), static_cast<const char *>(c.arr[1]),
                          static_cast<const double *>(c.arr[2]), static_cast<int>(c.ival[3]), obj.data(),
                          status.data());
  }
  // An exception of the callable wins over the library's result.
  if (PyErr_Occurred() || rc != 0) return nullptr;
  if (fill_list(c, 4, obj.data(), n, CONV_DOUBLE) < 0 || fill_list(c, 5, status.data(), n, CONV_INT) < 0)
    return nullptr;
  return none();
}

}  // namespace

// (mtype, rtype, rhs, mstart, mcols, dmatval)
PyObject *addcuts(const Row &row, Ctx &c) {
  Cuts k;
  if (convert_cuts(row, c, 0, 1, 2, 3, 4, 5, k) < 0) return nullptr;
  if (KRVUaddcuts64(c.prob, k.n, k.mtype, k.rtype, k.rhs, k.mstart, k.mcols, k.dmatval) != 0) return nullptr;
  return none();
}

// (nodupl, mtype, rtype, rhs, mstart, mindex, mcols, dmatval)
PyObject *storecuts(const Row &row, Ctx &c) {
  if (convert_value(row, c, 0) < 0) return nullptr;
  Cuts k;
  if (convert_cuts(row, c, 1, 2, 3, 4, 6, 7, k) < 0) return nullptr;
  std::vector<void *> handles(k.n);
  if (KRVUstorecuts64(c.prob, k.n, static_cast<int>(c.ival[0]), k.mtype, k.rtype, k.rhs, k.mstart,
                      handles.data(), k.mcols, k.dmatval) != 0)
    return nullptr;
  if (fill_list(c, 5, handles.data(), k.n, CONV_POOLCUT) < 0) return nullptr;
  return none();
}

// (itype, interp, cutind)
PyObject *loadcuts(const Row &row, Ctx &c) {
  int n;
  if (convert_values(row, c) < 0 || convert_cut_list(row, c, 2, &n) < 0) return nullptr;
  if (KRVUloadcuts(c.prob, static_cast<int>(c.ival[0]), static_cast<int>(c.ival[1]), n,
                   static_cast<void *const *>(c.arr[2])) != 0)
    return nullptr;
  return none();
}

// (ibasis, itype, interp, delta, cutind)
PyObject *delcuts(const Row &row, Ctx &c) {
  int n;
  if (convert_values(row, c) < 0 || convert_cut_list(row, c, 4, &n) < 0) return nullptr;
  if (KRVUdelcuts(c.prob, static_cast<int>(c.ival[0]), static_cast<int>(c.ival[1]), static_cast<int>(c.ival[2]),
                  c.dval[3], n, static_cast<void *const *>(c.arr[4])) != 0)
    return nullptr;
  return none();
}

// (itype, interp, cutind)
PyObject *delcpcuts(const Row &row, Ctx &c) {
  int n;
  if (convert_values(row, c) < 0 || convert_cut_list(row, c, 2, &n) < 0) return nullptr;
  if (KRVUdelcpcuts(c.prob, static_cast<int>(c.ival[0]), static_cast<int>(c.ival[1]), n,
                    static_cast<void *const *>(c.arr[2])) != 0)
    return nullptr;
  return none();
}

// (mindex): None is no cuts.
PyObject *setbranchcuts(const Row &row, Ctx &c) {
  int n;
  if (convert_cut_list(row, c, 0, &n) < 0) return nullptr;
  if (KRVUsetbranchcuts(c.prob, std::max(n, 0), static_cast<void *const *>(c.arr[0])) != 0) return nullptr;
  return none();
}

// (itype, interp, size, cutind)
PyObject *getcutlist(const Row &row, Ctx &c) {
  if (convert_values(row, c) < 0) return nullptr;
  const int itype = static_cast<int>(c.ival[0]), interp = static_cast<int>(c.ival[1]);
  int ncuts = 0;
  if (KRVUgetcutlist(c.prob, itype, interp, &ncuts, 0, nullptr) != 0) return nullptr;
  const int m = std::max(0, std::min(static_cast<int>(c.ival[2]), ncuts));
  std::vector<void *> cuts(std::max(ncuts, 1));
  if (KRVUgetcutlist(c.prob, itype, interp, &ncuts, m, cuts.data()) != 0) return nullptr;
  if (fill_list(c, 3, cuts.data(), m, CONV_POOLCUT) < 0) return nullptr;
  return none();
}

// (itype, interp, delta, size, cutind, viol): returns the number of cuts.
PyObject *getcpcutlist(const Row &row, Ctx &c) {
  if (convert_values(row, c) < 0) return nullptr;
  const int itype = static_cast<int>(c.ival[0]), interp = static_cast<int>(c.ival[1]);
  int ncuts = 0;
  if (KRVUgetcpcutlist(c.prob, itype, interp, &ncuts, 0, nullptr, c.dval[2], nullptr) != 0) return nullptr;
  const int m = std::max(0, std::min(static_cast<int>(c.ival[3]), ncuts));
  std::vector<void *> cuts(m);
  std::vector<double> viol(m);
  if (KRVUgetcpcutlist(c.prob, itype, interp, &ncuts, m, given(c, 4) ? cuts.data() : nullptr, c.dval[2],
                       given(c, 5) ? viol.data() : nullptr) != 0)
    return nullptr;
  if (fill_list(c, 4, cuts.data(), m, CONV_POOLCUT) < 0 || fill_list(c, 5, viol.data(), m, CONV_DOUBLE) < 0)
    return nullptr;
  return PyLong_FromLong(ncuts);
}

// (index, size, type, rtype, mstart, mcols, dmatval, drhs)
PyObject *getcpcuts(const Row &row, Ctx &c) {
  int n;
  if (convert_values(row, c) < 0 || convert_cut_list(row, c, 0, &n) < 0) return nullptr;
  n = std::max(n, 0);
  void *const *cuts = static_cast<void *const *>(c.arr[0]);
  std::vector<int64_t> start(n + 1);
  if (KRVUgetcpcuts64(c.prob, cuts, n, 0, nullptr, nullptr, start.data(), nullptr, nullptr, nullptr) != 0)
    return nullptr;
  const int64_t e = start[n];
  const int64_t m = std::max<int64_t>(0, std::min<int64_t>(c.ival[1], e));
  std::vector<int> type(n), cols(m);
  std::vector<char> rtype(n);
  std::vector<double> val(m), rhs(n);
  if (KRVUgetcpcuts64(c.prob, cuts, n, m, type.data(), rtype.data(), start.data(), cols.data(), val.data(),
                      rhs.data()) != 0)
    return nullptr;
  if (fill_list(c, 2, type.data(), n, CONV_INT) < 0 || fill_list(c, 3, rtype.data(), n, CONV_CHAR) < 0 ||
      fill_list(c, 4, start.data(), n + 1, CONV_INT64) < 0 || fill_list(c, 5, cols.data(), m, CONV_COL) < 0 ||
      fill_list(c, 6, val.data(), m, CONV_DOUBLE) < 0 || fill_list(c, 7, rhs.data(), n, CONV_DOUBLE) < 0)
    return nullptr;
  return none();
}

// (cuts, cutmap)
PyObject *getcutmap(const Row &row, Ctx &c) {
  int n;
  if (convert_cut_list(row, c, 0, &n) < 0) return nullptr;
  n = std::max(n, 0);
  std::vector<int> map(n);
  if (KRVUgetcutmap(c.prob, n, static_cast<void *const *>(c.arr[0]), map.data()) != 0) return nullptr;
  if (fill_list(c, 1, map.data(), n, CONV_INT) < 0) return nullptr;
  return none();
}

// (cut): one korvu.poolcut.
PyObject *getcutslack(const Row &row, Ctx &c) {
  PyObject *cut = c.obj[0];
  if (!cut || !PyObject_TypeCheck(cut, &korvu_poolcutType)) {
    PyErr_SetString(korvu_InterfaceError, "getcutslack must be provided a single cut as the only argument");
    return nullptr;
  }
  double slack = 0;
  if (KRVUgetcutslack(c.prob, handle_get(cut), &slack) != 0) return nullptr;
  return PyFloat_FromDouble(slack);
}

// (mcols, type, bds): a korvu.generic holding the stored set.
PyObject *storebounds(const Row &row, Ctx &c) {
  for (int i : {0, 1, 2})
    if (convert_in(row, c, i) < 0) return nullptr;
  const int n = static_cast<int>(c.count[0] < 0 ? 0 : c.count[0]);
  void *stored = nullptr;
  if (KRVUstorebounds(c.prob, n, static_cast<const int *>(c.arr[0]), static_cast<const char *>(c.arr[1]),
                      static_cast<const double *>(c.arr[2]), &stored) != 0)
    return nullptr;
  return voidstar_create(stored);
}

// (mindex): what storebounds returned.  Only a korvu.generic is read, as
// the pointer of any other object would be meaningless to the library.
PyObject *setbranchbounds(const Row &row, Ctx &c) {
  PyObject *o = c.obj[0];
  if (!o || !PyObject_TypeCheck(o, &korvu_genericType)) {
    PyErr_SetString(korvu_InterfaceError, "setbranchbounds must be given the object storebounds returned");
    return nullptr;
  }
  if (KRVUsetbranchbounds(c.prob, handle_get(o)) != 0) return nullptr;
  return none();
}

PyObject *strongbranch(const Row &row, Ctx &c) { return strong(row, c, false); }
PyObject *strongbranchcb(const Row &row, Ctx &c) { return strong(row, c, true); }

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
