// The quadratic objective and quadratic rows.
#include <algorithm>
#include <cstdint>
#include <map>

#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

using PairMap = std::map<std::pair<int, int>, double>;  // (col1 <= col2) -> value

PairMap qobj_pairs(const ModelData &m) {
  PairMap p;
  if (m.qstart.empty()) return p;
  for (int j = 0; j < m.ncols(); ++j)
    for (int64_t k = m.qstart[j]; k < m.qstart[j + 1]; ++k) p[{j, m.qrow[k]}] = m.qval[k];
  return p;
}

void set_qobj_pairs(ModelData &m, const PairMap &p) {
  m.qstart.clear();
  m.qrow.clear();
  m.qval.clear();
  if (p.empty()) return;
  m.qstart.assign(m.ncols() + 1, 0);
  for (const auto &e : p) {
    m.qrow.push_back(e.first.second);
    m.qval.push_back(e.second);
    ++m.qstart[e.first.first + 1];
  }
  for (int j = 0; j < m.ncols(); ++j) m.qstart[j + 1] += m.qstart[j];
}

std::pair<int, int> ordered(int a, int b) { return {std::min(a, b), std::max(a, b)}; }

QRow *find_qrow(ModelData &m, int row) {
  auto it = std::lower_bound(m.qrows.begin(), m.qrows.end(), row,
                             [](const QRow &a, int r) { return a.row < r; });
  return it != m.qrows.end() && it->row == row ? &*it : nullptr;
}

PairMap qrow_pairs(const QRow *q) {
  PairMap p;
  if (q)
    for (size_t k = 0; k < q->val.size(); ++k) p[{q->col1[k], q->col2[k]}] = q->val[k];
  return p;
}

void set_qrow_pairs(ModelData &m, int row, const PairMap &p) {
  auto it = std::lower_bound(m.qrows.begin(), m.qrows.end(), row,
                             [](const QRow &a, int r) { return a.row < r; });
  if (it != m.qrows.end() && it->row == row) it = m.qrows.erase(it);
  QRow q;
  q.row = row;
  for (const auto &e : p)
    if (e.second != 0.0) {
      q.col1.push_back(e.first.first);
      q.col2.push_back(e.first.second);
      q.val.push_back(e.second);
    }
  if (!q.val.empty()) m.qrows.insert(it, std::move(q));
}

// Full symmetric listing of columns first..last of a set of pairs, sized by
// two calls like the matrix queries.
template <class Start>
void full_columns(const PairMap &p, int ncols, int first, int last, Start start[], int ind[],
                  double val[], int64_t maxcoefs, int64_t *total) {
  std::vector<std::vector<std::pair<int, double>>> cols(last - first + 1);
  for (const auto &e : p) {
    const int a = e.first.first, b = e.first.second;
    if (a >= first && a <= last) cols[a - first].emplace_back(b, e.second);
    if (a != b && b >= first && b <= last) cols[b - first].emplace_back(a, e.second);
  }
  (void)ncols;
  int64_t n = 0;
  for (auto &c : cols) {
    std::sort(c.begin(), c.end());
    n += static_cast<int64_t>(c.size());
  }
  *total = n;
  if (!start && !ind && !val) return;
  const int64_t cap = std::min(maxcoefs, n);
  int64_t k = 0;
  for (size_t j = 0; j < cols.size(); ++j) {
    if (start) start[j] = static_cast<Start>(std::min(k, cap));
    for (auto &e : cols[j]) {
      if (k < cap) {
        if (ind) ind[k] = e.first;
        if (val) val[k] = e.second;
      }
      ++k;
    }
  }
  if (start) start[cols.size()] = static_cast<Start>(std::min(k, cap));
}

void check_pairs(const ModelData &m, int64_t n, const int *c1, const int *c2, const double *v,
                 const char *func, const char *a1, const char *a2, const char *av) {
  require_count(n, func, "n");
  require_indices(n, c1, m.ncols(), func, a1);
  require_indices(n, c2, m.ncols(), func, a2);
  if (n > 0) require_ptr(v, func, av);
  for (int64_t k = 0; k < n; ++k) require_coef(v[k], func, av, k);
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUchgmqobj64(KRVUprob prob, int64_t n, const int mqcol1[], const int mqcol2[],
                   const double dval[]) {
  const char *F = "KRVUchgmqobj64";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    check_pairs(m, n, mqcol1, mqcol2, dval, F, "mqcol1", "mqcol2", "dval");
    if (n == 0) return 0;
    touch(prob, kChangeStructure);  // the engine has no per-entry Hessian change
    PairMap p = qobj_pairs(m);
    for (int64_t k = 0; k < n; ++k) {
      auto key = ordered(mqcol1[k], mqcol2[k]);
      if (dval[k] == 0.0) p.erase(key);
      else p[key] = dval[k];
    }
    set_qobj_pairs(m, p);
    return 0;
  });
}

int KRVUchgmqobj(KRVUprob prob, int n, const int mqcol1[], const int mqcol2[],
                 const double dval[]) {
  return KRVUchgmqobj64(prob, n, mqcol1, mqcol2, dval);
}

int KRVUchgqobj(KRVUprob prob, int col1, int col2, double value) {
  return KRVUchgmqobj64(prob, 1, &col1, &col2, &value);
}

int KRVUgetqobj(KRVUprob prob, int col1, int col2, double *value) {
  const char *F = "KRVUgetqobj";
  return guarded(prob, F, [&] {
    const ModelData &m = prob->data->m;
    require_index(col1, m.ncols(), F, "col1");
    require_index(col2, m.ncols(), F, "col2");
    require_ptr(value, F, "value");
    *value = 0;
    if (m.qstart.empty()) return 0;
    const int j = std::min(col1, col2), i = std::max(col1, col2);
    auto b = m.qrow.begin() + m.qstart[j], e = m.qrow.begin() + m.qstart[j + 1];
    auto it = std::lower_bound(b, e, i);
    if (it != e && *it == i) *value = m.qval[it - m.qrow.begin()];
    return 0;
  });
}

int KRVUgetmqobj64(KRVUprob prob, int64_t start[], int colind[], double objqcoef[],
                   int64_t maxcoefs, int64_t *ncoefs, int first, int last) {
  const char *F = "KRVUgetmqobj64";
  return guarded(prob, F, [&] {
    const ModelData &m = prob->data->m;
    require_ptr(ncoefs, F, "ncoefs");
    // An empty range (last = first - 1, as for a problem without columns)
    // holds nothing.
    if (last == first - 1 && first >= 0 && first <= m.ncols()) {
      *ncoefs = 0;
      if (start) start[0] = 0;
      return 0;
    }
    require_range(first, last, m.ncols(), F, "the columns");
    if (start || colind || objqcoef) require_count(maxcoefs, F, "maxcoefs");
    full_columns(qobj_pairs(m), m.ncols(), first, last, start, colind, objqcoef, maxcoefs, ncoefs);
    return 0;
  });
}

int KRVUgetmqobj(KRVUprob prob, int start[], int colind[], double objqcoef[], int maxcoefs,
                 int *ncoefs, int first, int last) {
  return guarded(prob, "KRVUgetmqobj", [&] {
    require_ptr(ncoefs, "KRVUgetmqobj", "ncoefs");
    const int n = first >= 0 && last >= first ? last - first + 2 : 1;
    std::vector<int64_t> st(start ? n : 0);
    int64_t total = 0;
    if (KRVUgetmqobj64(prob, start ? st.data() : nullptr, colind, objqcoef, maxcoefs, &total,
                       first, last))
      raise(prob->lasterr_code, "%s", prob->lasterr.c_str());
    if (total > INT32_MAX)
      raise(KRVU_ERR_ARGUMENT, "KRVUgetmqobj: %lld coefficients need KRVUgetmqobj64",
            static_cast<long long>(total));
    *ncoefs = static_cast<int>(total);
    for (size_t k = 0; k < st.size(); ++k) start[k] = static_cast<int>(st[k]);
    return 0;
  });
}

int KRVUaddqmatrix64(KRVUprob prob, int row, int64_t n, const int mqc1[], const int mqc2[],
                     const double dqe[]) {
  const char *F = "KRVUaddqmatrix64";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_index(row, m.nrows(), F, "row");
    check_pairs(m, n, mqc1, mqc2, dqe, F, "mqc1", "mqc2", "dqe");
    if (n == 0) return 0;
    touch(prob, kChangeStructure);
    m.add_qrow_triplets(row, n, mqc1, mqc2, dqe);
    return 0;
  });
}

int KRVUdelqmatrix(KRVUprob prob, int row) {
  const char *F = "KRVUdelqmatrix";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    if (row != -1) require_index(row, m.nrows(), F, "row");
    touch(prob, kChangeStructure);
    if (row == -1) m.qrows.clear();
    else set_qrow_pairs(m, row, PairMap());
    return 0;
  });
}

int KRVUchgqrowcoeff(KRVUprob prob, int row, int col1, int col2, double value) {
  const char *F = "KRVUchgqrowcoeff";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_index(row, m.nrows(), F, "row");
    require_index(col1, m.ncols(), F, "col1");
    require_index(col2, m.ncols(), F, "col2");
    require_coef(value, F, "value", 0);
    touch(prob, kChangeStructure);
    PairMap p = qrow_pairs(find_qrow(m, row));
    p[ordered(col1, col2)] = value;
    set_qrow_pairs(m, row, p);
    return 0;
  });
}

int KRVUgetqrowcoeff(KRVUprob prob, int row, int col1, int col2, double *value) {
  const char *F = "KRVUgetqrowcoeff";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_index(row, m.nrows(), F, "row");
    require_index(col1, m.ncols(), F, "col1");
    require_index(col2, m.ncols(), F, "col2");
    require_ptr(value, F, "value");
    PairMap p = qrow_pairs(find_qrow(m, row));
    auto it = p.find(ordered(col1, col2));
    *value = it == p.end() ? 0.0 : it->second;
    return 0;
  });
}

int KRVUgetqrowqmatrix(KRVUprob prob, int row, int start[], int colind[], double dqe[],
                       int maxcoefs, int *ncoefs, int first, int last) {
  const char *F = "KRVUgetqrowqmatrix";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_index(row, m.nrows(), F, "row");
    require_range(first, last, m.ncols(), F, "the columns");
    require_ptr(ncoefs, F, "ncoefs");
    if (start || colind || dqe) require_count(maxcoefs, F, "maxcoefs");
    int64_t total = 0;
    full_columns(qrow_pairs(find_qrow(m, row)), m.ncols(), first, last, start, colind, dqe,
                 maxcoefs, &total);
    *ncoefs = static_cast<int>(total);
    return 0;
  });
}

int KRVUgetqrowqmatrixtriplets(KRVUprob prob, int row, int *nqelem, int mqcol1[], int mqcol2[],
                               double dqe[]) {
  const char *F = "KRVUgetqrowqmatrixtriplets";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_index(row, m.nrows(), F, "row");
    require_ptr(nqelem, F, "nqelem");
    const QRow *q = find_qrow(m, row);
    *nqelem = q ? static_cast<int>(q->val.size()) : 0;
    if (!q) return 0;
    if (mqcol1) std::copy(q->col1.begin(), q->col1.end(), mqcol1);
    if (mqcol2) std::copy(q->col2.begin(), q->col2.end(), mqcol2);
    if (dqe) std::copy(q->val.begin(), q->val.end(), dqe);
    return 0;
  });
}

int KRVUgetqrows(KRVUprob prob, int *nrows, int qcrows[]) {
  return guarded(prob, "KRVUgetqrows", [&] {
    require_ptr(nrows, "KRVUgetqrows", "nrows");
    const ModelData &m = prob->data->m;
    *nrows = static_cast<int>(m.qrows.size());
    if (qcrows)
      for (size_t k = 0; k < m.qrows.size(); ++k) qcrows[k] = m.qrows[k].row;
    return 0;
  });
}

}  // extern "C"
