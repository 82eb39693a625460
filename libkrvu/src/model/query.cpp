// Reading the model: per-row and per-column data and the matrix.
#include <algorithm>

#include "core/prob.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

// Copies v[first..last] of a row or column array out, after checking the range.
template <class T>
int get_range(krvu_prob_s *prob, const char *func, const char *arg, T *out, int first, int last,
              bool rows, const std::vector<T> &(*pick)(const ModelData &)) {
  const ModelData &m = prob->data->m;
  require_range(first, last, rows ? m.nrows() : m.ncols(), func, rows ? "the rows" : "the columns");
  require_ptr(out, func, arg);
  const std::vector<T> &v = pick(m);
  std::copy(v.begin() + first, v.begin() + last + 1, out);
  return 0;
}

// The matrix over a range of rows (row-wise) or columns (column-wise).
void get_vectors(const char *func, const std::vector<int64_t> &st, const std::vector<int> &ind,
                 const std::vector<double> &val, int n, const char *what, int64_t start[],
                 int index[], double coef[], int64_t maxcoefs, int64_t *ncoefs, int first,
                 int last) {
  require_range(first, last, n, func, what);
  require_ptr(ncoefs, func, "ncoefs");
  const int64_t b = st[first], total = st[last + 1] - b;
  *ncoefs = total;
  if (!start && !index && !coef) return;
  require_count(maxcoefs, func, "maxcoefs");
  const int64_t cap = std::min(maxcoefs, total);
  if (start)
    for (int k = first; k <= last + 1; ++k) start[k - first] = std::min(st[k] - b, cap);
  if (index) std::copy(ind.begin() + b, ind.begin() + b + cap, index);
  if (coef) std::copy(val.begin() + b, val.begin() + b + cap, coef);
}

}  // namespace
}  // namespace krvu

using namespace krvu;

#define RANGE_GETTER(NAME, ARG, T, ROWS, MEMBER)                                                \
  int NAME(KRVUprob prob, T out[], int first, int last) {                                      \
    return guarded(prob, #NAME, [&] {                                                          \
      return get_range<T>(prob, #NAME, ARG, out, first, last, ROWS,                            \
                          [](const ModelData &m) -> const std::vector<T> & { return m.MEMBER; }); \
    });                                                                                        \
  }

extern "C" {

RANGE_GETTER(KRVUgetobj, "obj", double, false, obj)
// Inside a callback of the search the bounds are the current node's.
#define BOUND_GETTER(NAME, ARG, MEMBER, NODE)                                                          \
  int NAME(KRVUprob prob, double out[], int first, int last) {                                 \
    return guarded(prob, #NAME, [&] {                                                          \
      if (prob->node && prob->node->NODE) {                                                  \
        require_range(first, last, prob->data->m.ncols(), #NAME, "the columns");               \
        require_ptr(out, #NAME, ARG);                                                          \
        for (int j = first; j <= last; ++j)                                                    \
          out[j - first] = std::max(-KRVU_INFINITY, std::min(KRVU_INFINITY, (*prob->node->NODE)[j])); \
        return 0;                                                                              \
      }                                                                                        \
      return get_range<double>(prob, #NAME, ARG, out, first, last, false,                      \
                               [](const ModelData &m) -> const std::vector<double> & { return m.MEMBER; }); \
    });                                                                                        \
  }
BOUND_GETTER(KRVUgetlb, "lb", lb, lo)
BOUND_GETTER(KRVUgetub, "ub", ub, up)
RANGE_GETTER(KRVUgetcoltype, "coltype", char, false, coltype)
RANGE_GETTER(KRVUgetrhs, "rhs", double, true, rhs)
RANGE_GETTER(KRVUgetrhsrange, "range", double, true, range)
RANGE_GETTER(KRVUgetrowtype, "rowtype", char, true, rowtype)

int KRVUgetrows64(KRVUprob prob, int64_t start[], int colind[], double rowcoef[],
                  int64_t maxcoefs, int64_t *ncoefs, int first, int last) {
  return guarded(prob, "KRVUgetrows64", [&] {
    const RowMatrix &r = read_rows(prob);
    get_vectors("KRVUgetrows64", r.start, r.colind, r.val, prob->data->m.nrows(), "the rows",
                start, colind, rowcoef, maxcoefs, ncoefs, first, last);
    return 0;
  });
}

int KRVUgetcols64(KRVUprob prob, int64_t start[], int rowind[], double colcoef[],
                  int64_t maxcoefs, int64_t *ncoefs, int first, int last) {
  return guarded(prob, "KRVUgetcols64", [&] {
    const ModelData &m = read_model(prob);
    get_vectors("KRVUgetcols64", m.mstart, m.mrwind, m.dmatval, m.ncols(), "the columns", start,
                rowind, colcoef, maxcoefs, ncoefs, first, last);
    return 0;
  });
}

int KRVUgetcoef(KRVUprob prob, int row, int col, double *coef) {
  return guarded(prob, "KRVUgetcoef", [&] {
    const ModelData &m = read_model(prob);
    require_index(row, m.nrows(), "KRVUgetcoef", "row");
    require_index(col, m.ncols(), "KRVUgetcoef", "col");
    require_ptr(coef, "KRVUgetcoef", "coef");
    auto b = m.mrwind.begin() + m.mstart[col], e = m.mrwind.begin() + m.mstart[col + 1];
    auto it = std::lower_bound(b, e, row);
    *coef = (it != e && *it == row) ? m.dmatval[it - m.mrwind.begin()] : 0.0;
    return 0;
  });
}

}  // extern "C"
