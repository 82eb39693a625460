// The model store: construction, whole-model replacement, compaction of rows
// added in batches, the row-wise copy and default names.
#include "model/store.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "core/common.h"
#include "core/prob.h"
#include "lp/solver_state.h"

namespace krvu {

ProbData::ProbData() : solver(new SolverState()) {}
ProbData::~ProbData() = default;

void ModelData::append_cols(int n) {
  if (n == 1) {  // a model built column by column: no general resize per call
    obj.push_back(0.0);
    lb.push_back(0.0);
    ub.push_back(KRVU_INFINITY);
    threshold.push_back(0.0);
    coltype.push_back('C');
    colnames.emplace_back();
    mstart.push_back(mstart.back());
    if (!qstart.empty()) qstart.push_back(qstart.back());
    return;
  }
  size_t c = obj.size() + n;
  obj.resize(c, 0.0);
  lb.resize(c, 0.0);
  ub.resize(c, KRVU_INFINITY);
  threshold.resize(c, 0.0);
  coltype.resize(c, 'C');
  colnames.resize(c);
  mstart.resize(c + 1, mstart.back());
  if (!qstart.empty()) qstart.resize(c + 1, qstart.back());
}

void ModelData::append_rows(int n) {
  if (n == 1) {
    rowtype.push_back('N');
    rhs.push_back(0.0);
    range.push_back(0.0);
    rownames.emplace_back();
    indcol.push_back(-1);
    indcomp.push_back(0);
    return;
  }
  size_t r = rowtype.size() + n;
  rowtype.resize(r, 'N');
  rhs.resize(r, 0.0);
  range.resize(r, 0.0);
  rownames.resize(r);
  indcol.resize(r, -1);
  indcomp.resize(r, 0);
}

namespace {
// Sorts (key1, key2, value) triplets into compressed form over key1, adding
// duplicates and dropping zeros.
void compress(int nmajor, int64_t n, const int *major, const int *minor, const double *val,
              std::vector<int64_t> &start, std::vector<int> &ind, std::vector<double> &out) {
  std::vector<int64_t> cnt(nmajor + 1, 0);
  for (int64_t k = 0; k < n; ++k) ++cnt[major[k] + 1];
  for (int j = 0; j < nmajor; ++j) cnt[j + 1] += cnt[j];
  std::vector<int> tind(n);
  std::vector<double> tval(n);
  std::vector<int64_t> pos(cnt.begin(), cnt.end() - 1);
  for (int64_t k = 0; k < n; ++k) {
    int64_t p = pos[major[k]]++;
    tind[p] = minor[k];
    tval[p] = val[k];
  }
  start.assign(nmajor + 1, 0);
  ind.clear();
  out.clear();
  ind.reserve(n);
  out.reserve(n);
  std::vector<int64_t> perm;
  for (int j = 0; j < nmajor; ++j) {
    int64_t b = cnt[j], e = cnt[j + 1];
    perm.resize(e - b);
    std::iota(perm.begin(), perm.end(), b);
    std::stable_sort(perm.begin(), perm.end(),
                     [&](int64_t a, int64_t c) { return tind[a] < tind[c]; });
    for (size_t q = 0; q < perm.size();) {
      int i = tind[perm[q]];
      double v = 0;
      while (q < perm.size() && tind[perm[q]] == i) v += tval[perm[q++]];
      if (v != 0.0) {
        ind.push_back(i);
        out.push_back(v);
      }
    }
    start[j + 1] = static_cast<int64_t>(ind.size());
  }
}
}  // namespace

void ModelData::set_matrix_triplets(int64_t n, const int *row, const int *col,
                                    const double *val) {
  compress(ncols(), n, col, row, val, mstart, mrwind, dmatval);
}

void ModelData::set_qobj_triplets(int64_t n, const int *col1, const int *col2,
                                  const double *val) {
  std::vector<int> lo(n), hi(n);
  for (int64_t k = 0; k < n; ++k) {
    lo[k] = std::min(col1[k], col2[k]);
    hi[k] = std::max(col1[k], col2[k]);
  }
  // Column-wise lower triangle: column = smaller index, row = larger.
  compress(ncols(), n, lo.data(), hi.data(), val, qstart, qrow, qval);
  if (qrow.empty()) {
    qstart.clear();
    qrow.clear();
    qval.clear();
  }
}

void ModelData::add_qrow_triplets(int row, int64_t n, const int *col1, const int *col2,
                                  const double *val) {
  // Sorted pairs rather than a pass over all columns: rows come one at a time.
  struct E {
    int a, b;
    double v;
  };
  auto it = std::lower_bound(qrows.begin(), qrows.end(), row,
                             [](const QRow &q, int r) { return q.row < r; });
  const bool exists = it != qrows.end() && it->row == row;
  std::vector<E> e;
  e.reserve(n + (exists ? it->val.size() : 0));
  if (exists)
    for (size_t k = 0; k < it->val.size(); ++k) e.push_back({it->col1[k], it->col2[k], it->val[k]});
  for (int64_t k = 0; k < n; ++k)
    e.push_back({std::min(col1[k], col2[k]), std::max(col1[k], col2[k]), val[k]});
  std::stable_sort(e.begin(), e.end(),
                   [](const E &x, const E &y) { return x.a != y.a ? x.a < y.a : x.b < y.b; });
  QRow q;
  q.row = row;
  for (size_t k = 0; k < e.size();) {
    const int a = e[k].a, b = e[k].b;
    double v = 0;
    while (k < e.size() && e[k].a == a && e[k].b == b) v += e[k++].v;
    if (v == 0.0) continue;
    q.col1.push_back(a);
    q.col2.push_back(b);
    q.val.push_back(v);
  }
  if (exists) it = qrows.erase(it);
  if (!q.val.empty()) qrows.insert(it, std::move(q));
}

std::string ModelData::validate() const {
  const size_t n = obj.size(), m = rowtype.size();
  auto bad = [](const char *what) { return std::string(what); };
  if (lb.size() != n || ub.size() != n || threshold.size() != n || coltype.size() != n ||
      colnames.size() != n)
    return bad("column arrays differ in length");
  if (rhs.size() != m || range.size() != m || rownames.size() != m || indcol.size() != m ||
      indcomp.size() != m)
    return bad("row arrays differ in length");
  if (mstart.size() != n + 1 || mstart[0] != 0) return bad("column starts have the wrong length");
  for (size_t j = 0; j < n; ++j) {
    if (mstart[j + 1] < mstart[j]) return format("column starts decrease at column %zu", j);
    if (!std::strchr("CBISRP", coltype[j]) || !coltype[j])
      return format("column %zu has type '%c'", j, coltype[j]);
    if (lb[j] >= KRVU_INFINITY || ub[j] <= -KRVU_INFINITY)
      return format("column %zu (%s) has a lower bound of +infinity or an upper bound of -infinity", j,
                    colnames[j].empty() ? ("C" + std::to_string(j + 1)).c_str() : colnames[j].c_str());
    for (int64_t k = mstart[j]; k < mstart[j + 1]; ++k)
      if (mrwind[k] < 0 || static_cast<size_t>(mrwind[k]) >= m)
        return format("row index %d of column %zu is out of range", mrwind[k], j);
  }
  if (mrwind.size() != static_cast<size_t>(mstart[n]) || dmatval.size() != mrwind.size())
    return bad("matrix arrays differ in length");
  for (size_t i = 0; i < m; ++i) {
    if (!rowtype[i] || !std::strchr("LGERN", rowtype[i]))
      return format("row %zu has type '%c'", i, rowtype[i]);
    const char t = rowtype[i];
    const double lo = t == 'G' || t == 'E' ? rhs[i] : t == 'R' ? rhs[i] - range[i] : -KRVU_INFINITY;
    const double up = t == 'L' || t == 'E' || t == 'R' ? rhs[i] : KRVU_INFINITY;
    if (t != 'N' && (lo >= KRVU_INFINITY || up <= -KRVU_INFINITY))
      return format("row %zu (%s) can never hold: its %s limit is %s", i,
                    rownames[i].empty() ? ("R" + std::to_string(i + 1)).c_str() : rownames[i].c_str(),
                    lo >= KRVU_INFINITY ? "lower" : "upper", lo >= KRVU_INFINITY ? "+infinity" : "-infinity");
  }
  if (!qstart.empty()) {
    if (qstart.size() != n + 1) return bad("quadratic objective starts have the wrong length");
    for (size_t j = 0; j < n; ++j)
      for (int64_t k = qstart[j]; k < qstart[j + 1]; ++k)
        if (qrow[k] < static_cast<int>(j) || static_cast<size_t>(qrow[k]) >= n)
          return format("quadratic objective entry of column %zu is out of range", j);
  }
  for (const QRow &q : qrows) {
    if (q.row < 0 || static_cast<size_t>(q.row) >= m) return bad("quadratic row out of range");
    for (size_t k = 0; k < q.col1.size(); ++k)
      if (q.col1[k] < 0 || q.col2[k] < q.col1[k] || static_cast<size_t>(q.col2[k]) >= n)
        return format("quadratic entry of row %d is out of range", q.row);
  }
  size_t ns = settype.size();
  if (setstart.size() != ns + 1 || setnames.size() != ns) return bad("set arrays differ in length");
  for (size_t s = 0; s < ns; ++s)
    if (settype[s] != '1' && settype[s] != '2') return format("set %zu has type '%c'", s, settype[s]);
  for (int c : setcol)
    if (c < 0 || static_cast<size_t>(c) >= n) return format("set member %d is out of range", c);
  if (setcol.size() != static_cast<size_t>(setstart[ns]) || setref.size() != setcol.size())
    return bad("set member arrays differ in length");
  for (size_t i = 0; i < m; ++i)
    if (indcol[i] >= 0 && (static_cast<size_t>(indcol[i]) >= n || (indcomp[i] != 1 && indcomp[i] != -1)))
      return format("indicator of row %zu is invalid", i);
  size_t ng = gentype.size();
  if (genres.size() != ng || gencolstart.size() != ng + 1 || genvalstart.size() != ng + 1)
    return bad("general constraint arrays differ in length");
  size_t np = pwlcol.size();
  if (pwlres.size() != np || pwlstart.size() != np + 1 || pwlx.size() != pwly.size())
    return bad("piecewise-linear arrays differ in length");
  return "";
}

namespace {
std::string default_name(char prefix, int i) { return prefix + std::to_string(i + 1); }
}  // namespace

std::string row_name(const ModelData &m, int i) {
  return m.rownames[i].empty() ? default_name('R', i) : m.rownames[i];
}
std::string col_name(const ModelData &m, int j) {
  return m.colnames[j].empty() ? default_name('C', j) : m.colnames[j];
}
std::string set_name(const ModelData &m, int k) {
  return m.setnames[k].empty() ? default_name('S', k) : m.setnames[k];
}

}  // namespace krvu

namespace krvu {

void compact(ProbData &d) {
  if (d.pend_first < 0) return;
  ModelData &m = d.m;
  const int n = m.ncols();
  const int64_t add = d.pend.start.back();
  std::vector<int64_t> cnt(n + 1, 0);
  for (int64_t k = 0; k < add; ++k) ++cnt[d.pend.colind[k] + 1];
  for (int c : d.pcol_col) ++cnt[c + 1];
  std::vector<int64_t> st(n + 1, 0);
  for (int j = 0; j < n; ++j) st[j + 1] = st[j] + (m.mstart[j + 1] - m.mstart[j]) + cnt[j + 1];
  std::vector<int> ri(st[n]);
  std::vector<double> rv(st[n]);
  std::vector<int64_t> pos(n);
  for (int j = 0; j < n; ++j) {
    int64_t p = st[j];
    for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k, ++p) {
      ri[p] = m.mrwind[k];
      rv[p] = m.dmatval[k];
    }
    pos[j] = p;
  }
  // Pending rows have higher indices than every row already in the columns,
  // so appending them row by row keeps each column sorted.
  const int npend = static_cast<int>(d.pend.start.size()) - 1;
  for (int r = 0; r < npend; ++r)
    for (int64_t k = d.pend.start[r]; k < d.pend.start[r + 1]; ++k) {
      int j = d.pend.colind[k];
      ri[pos[j]] = d.pend_first + r;
      rv[pos[j]++] = d.pend.val[k];
    }
  for (size_t k = 0; k < d.pcol_col.size(); ++k) {
    int j = d.pcol_col[k];
    ri[pos[j]] = d.pcol_row[k];
    rv[pos[j]++] = d.pcol_val[k];
  }
  m.mstart.swap(st);
  m.mrwind.swap(ri);
  m.dmatval.swap(rv);
  d.pend_first = -1;
  d.pend = RowMatrix();
  d.pcol_col.clear();
  d.pcol_row.clear();
  d.pcol_val.clear();
}

int64_t total_elems(const ProbData &d) {
  return d.m.nelems() + (d.pend_first >= 0 ? d.pend.start.back() : 0) +
         static_cast<int64_t>(d.pcol_col.size());
}

void replace_model(krvu_prob_s *prob, ModelData &&model, const char *func) {
  std::string err = model.validate();
  if (!err.empty()) raise(KRVU_ERR_ARGUMENT, "%s: inconsistent model: %s", func, err.c_str());
  ProbData &d = *prob->data;
  if (!model.probname.empty()) prob->name = model.probname;
  d.m = std::move(model);
  d.pend_first = -1;
  d.pend = RowMatrix();
  d.pcol_col.clear();
  d.pcol_row.clear();
  d.pcol_val.clear();
  d.rows_valid = false;
  d.rows = RowMatrix();
  touch(prob, kChangeStructure);
  d.solver.reset(new SolverState());
  // Stored cuts and bound sets name the old model's columns.
  prob->userpool.reset();
  // Nothing of the last solve describes the new model: its results read as
  // those of a new problem.
  for (int id : {KRVU_ATTR_LPOBJVAL, KRVU_ATTR_MIPBESTOBJVAL, 2002 /* best bound */, 2004 /* gap */})
    attr_set_dbl(prob, id, 0.0);
  for (int id : {1008 /* nodes */, 1012 /* integer solutions */}) attr_set_int(prob, id, 0);
}

const ModelData &read_model(krvu_prob_s *prob) {
  compact(*prob->data);
  return prob->data->m;
}

const RowMatrix &read_rows(krvu_prob_s *prob) {
  ProbData &d = *prob->data;
  if (d.rows_valid) return d.rows;
  compact(d);
  const ModelData &m = d.m;
  const int nr = m.nrows(), nc = m.ncols();
  RowMatrix &r = d.rows;
  r.start.assign(nr + 1, 0);
  for (int64_t k = 0; k < m.nelems(); ++k) ++r.start[m.mrwind[k] + 1];
  for (int i = 0; i < nr; ++i) r.start[i + 1] += r.start[i];
  r.colind.resize(m.nelems());
  r.val.resize(m.nelems());
  std::vector<int64_t> pos(r.start.begin(), r.start.end() - 1);
  for (int j = 0; j < nc; ++j)
    for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k) {
      int64_t p = pos[m.mrwind[k]]++;
      r.colind[p] = j;
      r.val[p] = m.dmatval[k];
    }
  d.rows_valid = true;
  return r;
}

}  // namespace krvu
