// Loading whole models and appending rows and columns.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

struct LoadArgs {
  const char *probname;
  int ncols, nrows;
  const char *rowtype;
  const double *rhs, *range, *obj;
  const int64_t *mstart;
  const int *mnel, *mrwind;
  const double *dmatval, *lb, *ub;
  int64_t nqobj = 0;
  const int *qcol1 = nullptr, *qcol2 = nullptr;
  const double *qval = nullptr;
  int nqrows = 0;
  const int *qrows = nullptr;
  const int64_t *qcnquads = nullptr;
  const int *qcmqcol1 = nullptr, *qcmqcol2 = nullptr;
  const double *qcdqval = nullptr;
  int nentities = 0, nsets = 0;
  const char *entcoltype = nullptr;
  const int *entcols = nullptr;
  const double *entlim = nullptr;
  const char *settype = nullptr;
  const int64_t *setstart = nullptr;
  const int *setcols = nullptr;
  const double *setref = nullptr;
};

void fill_rows(ModelData &m, int first, int n, const char *rowtype, const double *rhs,
               const double *range, const char *func) {
  if (n > 0) {
    require_ptr(rowtype, func, "rowtype");
    require_ptr(rhs, func, "rhs");
  }
  for (int i = 0; i < n; ++i) {
    require_rowtype(rowtype[i], func, "rowtype", i);
    require_finite(rhs[i], func, "rhs", i);
    m.rowtype[first + i] = rowtype[i];
    m.rhs[first + i] = rhs[i];
    if (rowtype[i] == 'R') {
      double r = range ? range[i] : 0.0;
      if (!(r >= 0))
        raise(KRVU_ERR_ARGUMENT, "%s: range[%d] = %g of a range row must be >= 0", func, i, r);
      m.range[first + i] = r;
    }
  }
}

void fill_cols(ModelData &m, int first, int n, const double *obj, const double *lb,
               const double *ub, const char *func) {
  for (int j = 0; j < n; ++j) {
    if (obj) {
      require_coef(obj[j], func, "obj", j);
      m.obj[first + j] = obj[j];
    }
    if (lb) {
      require_lower(lb[j], func, "lb", j);
      m.lb[first + j] = lb[j];
    }
    if (ub) {
      require_upper(ub[j], func, "ub", j);
      m.ub[first + j] = ub[j];
    }
  }
}

// Sets column j's type, keeping binaries within [0, 1].
void set_type(ModelData &m, int j, char t, double limit) {
  m.coltype[j] = t;
  if (t == 'B') {
    m.lb[j] = std::max(m.lb[j], 0.0);
    m.ub[j] = std::min(m.ub[j], 1.0);
  }
  m.threshold[j] = (t == 'S' || t == 'R' || t == 'P') ? limit : 0.0;
}

void load(krvu_prob_s *prob, const char *func, const LoadArgs &a) {
  require_count(a.ncols, func, "ncols");
  require_count(a.nrows, func, "nrows");
  const double tol = ctl_dbl(prob, 7007);
  ModelData m;
  m.probname = a.probname ? a.probname : "";
  m.append_cols(a.ncols);
  m.append_rows(a.nrows);
  fill_rows(m, 0, a.nrows, a.rowtype, a.rhs, a.range, func);
  fill_cols(m, 0, a.ncols, a.obj, a.lb, a.ub, func);

  // Matrix: count, check, then compress.
  int64_t nz = 0;
  if (a.mstart && a.ncols > 0) {
    if (a.mnel) {
      for (int j = 0; j < a.ncols; ++j) {
        if (a.mnel[j] < 0 || a.mstart[j] < 0)
          raise(KRVU_ERR_ARGUMENT, "%s: column %d has a negative start or count", func, j);
        nz = std::max(nz, a.mstart[j] + a.mnel[j]);
      }
    } else {
      for (int j = 0; j < a.ncols; ++j)
        if (a.mstart[j] < 0 || a.mstart[j + 1] < a.mstart[j])
          raise(KRVU_ERR_ARGUMENT, "%s: mstart[%d] = %lld is negative or exceeds mstart[%d]",
                func, j, static_cast<long long>(a.mstart[j]), j + 1);
      nz = a.mstart[a.ncols];
    }
  } else if (a.mnel) {
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'mnel' is given without 'mstart'", func);
  }
  if (nz > 0) {
    require_ptr(a.mrwind, func, "mrwind");
    require_ptr(a.dmatval, func, "dmatval");
    std::vector<int> ri, ci;
    std::vector<double> v;
    ri.reserve(nz);
    ci.reserve(nz);
    v.reserve(nz);
    for (int j = 0; j < a.ncols; ++j) {
      int64_t b = a.mstart[j], e = a.mnel ? b + a.mnel[j] : a.mstart[j + 1];
      for (int64_t k = b; k < e; ++k) {
        if (a.mrwind[k] < 0 || a.mrwind[k] >= a.nrows)
          raise(KRVU_ERR_ARGUMENT, "%s: mrwind[%lld] = %d is out of range [0, %d)", func,
                static_cast<long long>(k), a.mrwind[k], a.nrows);
        require_coef(a.dmatval[k], func, "dmatval", k);
        if (std::fabs(a.dmatval[k]) <= tol) continue;
        ri.push_back(a.mrwind[k]);
        ci.push_back(j);
        v.push_back(a.dmatval[k]);
      }
    }
    m.set_matrix_triplets(static_cast<int64_t>(v.size()), ri.data(), ci.data(), v.data());
  }

  require_count(a.nqobj, func, "nqobj");
  if (a.nqobj > 0) {
    require_indices(a.nqobj, a.qcol1, a.ncols, func, "qcol1");
    require_indices(a.nqobj, a.qcol2, a.ncols, func, "qcol2");
    require_ptr(a.qval, func, "qval");
    m.set_qobj_triplets(a.nqobj, a.qcol1, a.qcol2, a.qval);
  }

  require_count(a.nqrows, func, "nqrows");
  if (a.nqrows > 0) {
    require_indices(a.nqrows, a.qrows, a.nrows, func, "qrows");
    require_ptr(a.qcnquads, func, "qcnquads");
    int64_t off = 0;
    for (int k = 0; k < a.nqrows; ++k) {
      int64_t c = a.qcnquads[k];
      require_count(c, func, "qcnquads");
      if (c == 0) continue;
      require_indices(c, a.qcmqcol1 ? a.qcmqcol1 + off : nullptr, a.ncols, func, "qcmqcol1");
      require_indices(c, a.qcmqcol2 ? a.qcmqcol2 + off : nullptr, a.ncols, func, "qcmqcol2");
      require_ptr(a.qcdqval, func, "qcdqval");
      m.add_qrow_triplets(a.qrows[k], c, a.qcmqcol1 + off, a.qcmqcol2 + off, a.qcdqval + off);
      off += c;
    }
  }

  require_count(a.nentities, func, "nentities");
  if (a.nentities > 0) {
    require_ptr(a.entcoltype, func, "entcoltype");
    require_indices(a.nentities, a.entcols, a.ncols, func, "entcols");
    for (int k = 0; k < a.nentities; ++k) {
      char t = a.entcoltype[k];
      require_coltype(t, func, "entcoltype", k);
      int j = a.entcols[k];
      double lim = a.entlim ? a.entlim[k] : (t == 'P' ? m.ub[j] : 0.0);
      set_type(m, j, t, lim);
    }
  }

  require_count(a.nsets, func, "nsets");
  if (a.nsets > 0) {
    require_ptr(a.settype, func, "settype");
    require_ptr(a.setstart, func, "setstart");
    for (int s = 0; s < a.nsets; ++s) {
      if (a.settype[s] != '1' && a.settype[s] != '2')
        raise(KRVU_ERR_ARGUMENT, "%s: settype[%d] = '%c' is not a set type ('1' or '2')", func, s,
              a.settype[s] ? a.settype[s] : '?');
      if (a.setstart[s] < 0 || a.setstart[s + 1] < a.setstart[s])
        raise(KRVU_ERR_ARGUMENT, "%s: setstart[%d] is negative or exceeds the next start", func, s);
    }
    int64_t b = a.setstart[0], nm = a.setstart[a.nsets] - b;
    require_indices(nm, a.setcols ? a.setcols + b : nullptr, a.ncols, func, "setcols");
    if (nm > 0) require_ptr(a.setref, func, "setref");
    m.settype.assign(a.settype, a.settype + a.nsets);
    m.setstart.resize(a.nsets + 1);
    for (int s = 0; s <= a.nsets; ++s) m.setstart[s] = a.setstart[s] - b;
    m.setcol.assign(a.setcols + b, a.setcols + b + nm);
    m.setref.assign(a.setref + b, a.setref + b + nm);
    m.setnames.resize(a.nsets);
  }
  replace_model(prob, std::move(m), func);
  if (!a.probname) prob->name.clear();
}

LoadArgs lp_args(const char *probname, int ncols, int nrows, const char *rowtype,
                 const double *rhs, const double *range, const double *obj, const int64_t *mstart,
                 const int *mnel, const int *mrwind, const double *dmatval, const double *lb,
                 const double *ub) {
  LoadArgs a;
  a.probname = probname;
  a.ncols = ncols;
  a.nrows = nrows;
  a.rowtype = rowtype;
  a.rhs = rhs;
  a.range = range;
  a.obj = obj;
  a.mstart = mstart;
  a.mnel = mnel;
  a.mrwind = mrwind;
  a.dmatval = dmatval;
  a.lb = lb;
  a.ub = ub;
  return a;
}

// Sorts one vector's (index, value) pairs, adds repeats and drops tiny values.
void clean_vector(std::vector<std::pair<int, double>> &e, double tol) {
  const auto by_index = [](const std::pair<int, double> &x, const std::pair<int, double> &y) {
    return x.first < y.first;
  };
  // Callers mostly hand over vectors in index order already; sorting those is wasted work.
  if (!std::is_sorted(e.begin(), e.end(), by_index)) std::stable_sort(e.begin(), e.end(), by_index);
  size_t w = 0;
  for (size_t r = 0; r < e.size();) {
    int i = e[r].first;
    double v = 0;
    while (r < e.size() && e[r].first == i) v += e[r++].second;
    if (std::fabs(v) > tol) e[w++] = {i, v};
  }
  e.resize(w);
}

// Whether entries b .. en-1 are what clean_vector would make of them: indices
// strictly rising and every value above tol.
bool clean_already(int64_t b, int64_t en, const int *ind, const double *val, double tol) {
  for (int64_t k = b; k < en; ++k)
    if (!(std::fabs(val[k]) > tol) || (k > b && ind[k] <= ind[k - 1])) return false;
  return true;
}

// Entries b .. en-1 of (index, value) arrays into e, cleaned as above.
void gather_vector(std::vector<std::pair<int, double>> &e, int64_t b, int64_t en,
                   const int *ind, const double *val, double tol) {
  e.reserve(static_cast<size_t>(en - b));
  for (int64_t k = b; k < en; ++k) e.emplace_back(ind[k], val[k]);
  clean_vector(e, tol);
}

}  // namespace
}  // namespace krvu

using namespace krvu;

#define LP_ARGS                                                                           \
  lp_args(probname, ncols, nrows, rowtype, rhs, range, obj, mstart, mnel, mrwind, dmatval, lb, \
          ub)

// The optional parts of the load family, set from the parameters of the same names.
#define SET_QOBJ_ARGS(a) \
  (a).nqobj = nqobj, (a).qcol1 = qcol1, (a).qcol2 = qcol2, (a).qval = qval
#define SET_QROW_ARGS(a)                                                               \
  (a).nqrows = nqrows, (a).qrows = qrows, (a).qcnquads = qcnquads, (a).qcmqcol1 = qcmqcol1, \
  (a).qcmqcol2 = qcmqcol2, (a).qcdqval = qcdqval
#define SET_GLOBAL_ARGS(a)                                                                \
  (a).nentities = nentities, (a).nsets = nsets, (a).entcoltype = entcoltype,               \
  (a).entcols = entcols, (a).entlim = entlim, (a).settype = settype, (a).setstart = setstart, \
  (a).setcols = setcols, (a).setref = setref

extern "C" {

int KRVUloadlp(KRVUprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
               const double rhs[], const double range[], const double obj[], const int mstart[],
               const int mnel[], const int mrwind[], const double dmatval[], const double lb[],
               const double ub[]) {
  return guarded(prob, "KRVUloadlp", [&] {
    require_count(ncols, "KRVUloadlp", "ncols");
    std::vector<int64_t> st;
    if (mstart && ncols > 0) st.assign(mstart, mstart + ncols + (mnel ? 0 : 1));
    load(prob, "KRVUloadlp",
         lp_args(probname, ncols, nrows, rowtype, rhs, range, obj, st.empty() ? nullptr : st.data(),
                 mnel, mrwind, dmatval, lb, ub));
    return 0;
  });
}

int KRVUloadlp64(KRVUprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                 const double rhs[], const double range[], const double obj[],
                 const int64_t mstart[], const int mnel[], const int mrwind[],
                 const double dmatval[], const double lb[], const double ub[]) {
  return guarded(prob, "KRVUloadlp64", [&] {
    load(prob, "KRVUloadlp64", LP_ARGS);
    return 0;
  });
}

int KRVUloadqp64(KRVUprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                 const double rhs[], const double range[], const double obj[],
                 const int64_t mstart[], const int mnel[], const int mrwind[],
                 const double dmatval[], const double lb[], const double ub[], int64_t nqobj,
                 const int qcol1[], const int qcol2[], const double qval[]) {
  return guarded(prob, "KRVUloadqp64", [&] {
    LoadArgs a = LP_ARGS;
    SET_QOBJ_ARGS(a);
    load(prob, "KRVUloadqp64", a);
    return 0;
  });
}

int KRVUloadqcqp64(KRVUprob prob, const char *probname, int ncols, int nrows,
                   const char rowtype[], const double rhs[], const double range[],
                   const double obj[], const int64_t mstart[], const int mnel[],
                   const int mrwind[], const double dmatval[], const double lb[],
                   const double ub[], int64_t nqobj, const int qcol1[], const int qcol2[],
                   const double qval[], int nqrows, const int qrows[], const int64_t qcnquads[],
                   const int qcmqcol1[], const int qcmqcol2[], const double qcdqval[]) {
  return guarded(prob, "KRVUloadqcqp64", [&] {
    LoadArgs a = LP_ARGS;
    SET_QOBJ_ARGS(a);
    SET_QROW_ARGS(a);
    load(prob, "KRVUloadqcqp64", a);
    return 0;
  });
}

int KRVUloadglobal64(KRVUprob prob, const char *probname, int ncols, int nrows,
                     const char rowtype[], const double rhs[], const double range[],
                     const double obj[], const int64_t mstart[], const int mnel[],
                     const int mrwind[], const double dmatval[], const double lb[],
                     const double ub[], int nentities, int nsets, const char entcoltype[],
                     const int entcols[], const double entlim[], const char settype[],
                     const int64_t setstart[], const int setcols[], const double setref[]) {
  return guarded(prob, "KRVUloadglobal64", [&] {
    LoadArgs a = LP_ARGS;
    SET_GLOBAL_ARGS(a);
    load(prob, "KRVUloadglobal64", a);
    return 0;
  });
}

int KRVUloadqglobal64(KRVUprob prob, const char *probname, int ncols, int nrows,
                      const char rowtype[], const double rhs[], const double range[],
                      const double obj[], const int64_t mstart[], const int mnel[],
                      const int mrwind[], const double dmatval[], const double lb[],
                      const double ub[], int64_t nqobj, const int qcol1[], const int qcol2[],
                      const double qval[], int nentities, int nsets, const char entcoltype[],
                      const int entcols[], const double entlim[], const char settype[],
                      const int64_t setstart[], const int setcols[], const double setref[]) {
  return guarded(prob, "KRVUloadqglobal64", [&] {
    LoadArgs a = LP_ARGS;
    SET_QOBJ_ARGS(a);
    SET_GLOBAL_ARGS(a);
    load(prob, "KRVUloadqglobal64", a);
    return 0;
  });
}

int KRVUloadqcqpglobal64(KRVUprob prob, const char *probname, int ncols, int nrows,
                         const char rowtype[], const double rhs[], const double range[],
                         const double obj[], const int64_t mstart[], const int mnel[],
                         const int mrwind[], const double dmatval[], const double lb[],
                         const double ub[], int64_t nqobj, const int qcol1[], const int qcol2[],
                         const double qval[], int nqrows, const int qrows[],
                         const int64_t qcnquads[], const int qcmqcol1[], const int qcmqcol2[],
                         const double qcdqval[], int nentities, int nsets,
                         const char entcoltype[], const int entcols[], const double entlim[],
                         const char settype[], const int64_t setstart[], const int setcols[],
                         const double setref[]) {
  return guarded(prob, "KRVUloadqcqpglobal64", [&] {
    LoadArgs a = LP_ARGS;
    SET_QOBJ_ARGS(a);
    SET_QROW_ARGS(a);
    SET_GLOBAL_ARGS(a);
    load(prob, "KRVUloadqcqpglobal64", a);
    return 0;
  });
}

int KRVUaddrows64(KRVUprob prob, int nrows, int64_t ncoefs, const char rowtype[],
                  const double rhs[], const double range[], const int64_t start[],
                  const int colind[], const double rowcoef[]) {
  const char *F = "KRVUaddrows64";
  return guarded(prob, F, [&] {
    require_count(nrows, F, "nrows");
    require_count(ncoefs, F, "ncoefs");
    ProbData &d = *prob->data;
    ModelData &m = d.m;
    const int nc = m.ncols(), r0 = m.nrows();
    require_starts(nrows, start, ncoefs, F, "start");
    if (nrows > 0 && ncoefs > 0) {
      require_indices(ncoefs, colind, nc, F, "colind");
      require_ptr(rowcoef, F, "rowcoef");
      for (int64_t k = 0; k < ncoefs; ++k) require_coef(rowcoef[k], F, "rowcoef", k);
    }
    // Check everything before the first change.
    if (nrows > 0) {
      require_ptr(rowtype, F, "rowtype");
      require_ptr(rhs, F, "rhs");
      for (int i = 0; i < nrows; ++i) {
        require_rowtype(rowtype[i], F, "rowtype", i);
        require_finite(rhs[i], F, "rhs", i);
        require_row_limits(rowtype[i], rhs[i], range ? range[i] : 0, F, "new row", i);
        if (rowtype[i] == 'R' && range && !(range[i] >= 0))
          raise(KRVU_ERR_ARGUMENT, "%s: range[%d] = %g of a range row must be >= 0", F, i,
                range[i]);
      }
    }
    if (nrows == 0) return 0;
    touch(prob, kChangeStructure);
    m.append_rows(nrows);
    fill_rows(m, r0, nrows, rowtype, rhs, range, F);
    if (d.pend_first < 0) {
      d.pend_first = r0;
      d.pend = RowMatrix();
      d.pend.start.assign(1, 0);
    }
    const double tol = ctl_dbl(prob, 7007);
    // Sized for the whole call at once: growing by doubling would leave a
    // large call's rows held one and a half times over while they are copied.
    auto room = [](auto &v, size_t more) {
      if (v.size() + more > v.capacity()) v.reserve(std::max(v.size() + more, 2 * v.capacity()));
    };
    room(d.pend.colind, static_cast<size_t>(ncoefs));
    room(d.pend.val, static_cast<size_t>(ncoefs));
    room(d.pend.start, static_cast<size_t>(nrows));
    std::vector<std::pair<int, double>> e;
    for (int i = 0; i < nrows; ++i) {
      e.clear();
      if (ncoefs > 0) {
        int64_t b = start[i], en = i + 1 < nrows ? start[i + 1] : ncoefs;
        if (clean_already(b, en, colind, rowcoef, tol)) {
          // Most rows come sorted, without repeats or tiny values: copied as they are.
          d.pend.colind.insert(d.pend.colind.end(), colind + b, colind + en);
          d.pend.val.insert(d.pend.val.end(), rowcoef + b, rowcoef + en);
        } else {
          gather_vector(e, b, en, colind, rowcoef, tol);
        }
      }
      for (auto &p : e) {
        d.pend.colind.push_back(p.first);
        d.pend.val.push_back(p.second);
      }
      d.pend.start.push_back(static_cast<int64_t>(d.pend.colind.size()));
    }
    SolverState &s = *d.solver;
    if (s.has_basis) s.rstat.resize(m.nrows(), 1);  // new rows basic
    if (s.scaling.active()) s.scaling.row.resize(m.nrows(), 1.0);
    return 0;
  });
}

int KRVUaddcols64(KRVUprob prob, int ncols, int64_t ncoefs, const double obj[],
                  const int64_t start[], const int rowind[], const double colcoef[],
                  const double lb[], const double ub[]) {
  const char *F = "KRVUaddcols64";
  return guarded(prob, F, [&] {
    require_count(ncols, F, "ncols");
    require_count(ncoefs, F, "ncoefs");
    ProbData &d = *prob->data;
    ModelData &m = d.m;
    const int c0 = m.ncols(), nr = m.nrows();
    require_starts(ncols, start, ncoefs, F, "start");
    if (ncols > 0 && ncoefs > 0) {
      require_indices(ncoefs, rowind, nr, F, "rowind");
      require_ptr(colcoef, F, "colcoef");
      for (int64_t k = 0; k < ncoefs; ++k) require_coef(colcoef[k], F, "colcoef", k);
    }
    for (int j = 0; j < ncols; ++j) {
      if (obj) require_coef(obj[j], F, "obj", j);
      if (lb) require_lower(lb[j], F, "lb", j);
      if (ub) require_upper(ub[j], F, "ub", j);
    }
    if (ncols == 0) return 0;
    touch(prob, kChangeStructure);
    m.append_cols(ncols);
    fill_cols(m, c0, ncols, obj, lb, ub, F);
    const double tol = ctl_dbl(prob, 7007);
    std::vector<std::pair<int, double>> e;
    // While rows are pending the new coefficients wait beside them, so that
    // adding rows and columns in turn does not merge the matrix each time.
    const bool pending = d.pend_first >= 0;
    m.mstart.resize(c0 + 1);
    for (int j = 0; j < ncols; ++j) {
      e.clear();
      if (ncoefs > 0) {
        int64_t b = start[j], en = j + 1 < ncols ? start[j + 1] : ncoefs;
        gather_vector(e, b, en, rowind, colcoef, tol);
      }
      for (auto &p : e) {
        if (pending) {
          d.pcol_col.push_back(c0 + j);
          d.pcol_row.push_back(p.first);
          d.pcol_val.push_back(p.second);
        } else {
          m.mrwind.push_back(p.first);
          m.dmatval.push_back(p.second);
        }
      }
      m.mstart.push_back(static_cast<int64_t>(m.mrwind.size()));
    }
    SolverState &s = *d.solver;
    if (s.scaling.active()) s.scaling.col.resize(m.ncols(), 1.0);
    if (s.has_basis) {
      // New columns are nonbasic at a finite bound, or at zero when free.
      s.cstat.resize(m.ncols(), 0);
      for (int j = c0; j < m.ncols(); ++j)
        if (m.lb[j] <= -KRVU_INFINITY) s.cstat[j] = m.ub[j] >= KRVU_INFINITY ? 3 : 2;
    }
    return 0;
  });
}

}  // extern "C"
