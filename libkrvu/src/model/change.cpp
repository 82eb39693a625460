// Changing coefficients, bounds, types, right-hand sides and the objective.
#include <algorithm>
#include <cmath>
#include <map>

#include "lp/engine.h"
#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

// Sets matrix entries (value 0 removes one), merging all changes in one pass.
void set_coefs(krvu_prob_s *prob, int n, const int *rows, const int *cols, const double *vals) {
  ProbData &d = *prob->data;
  compact(d);
  ModelData &m = d.m;
  // A few changes, or any number that only replace stored nonzeros, are made
  // where they belong in both copies of the matrix (a move of the entries
  // after one added or removed), in order, so the last of repeated entries
  // wins as below: a model changed a coefficient at a time is not rebuilt for
  // each.
  bool in_place = n <= 64;
  for (int k = 0; k < n && !in_place; ++k) {
    if (vals[k] == 0.0) break;
    const auto b = m.mrwind.begin() + m.mstart[cols[k]], e = m.mrwind.begin() + m.mstart[cols[k] + 1];
    const auto q = std::lower_bound(b, e, rows[k]);
    if (q == e || *q != rows[k]) break;
    in_place = k == n - 1;
  }
  if (in_place) {
    for (int k = 0; k < n; ++k) {
      const int j = cols[k];
      const auto b = m.mrwind.begin() + m.mstart[j], e = m.mrwind.begin() + m.mstart[j + 1];
      const auto q = std::lower_bound(b, e, rows[k]);
      const int64_t at = q - m.mrwind.begin();
      const bool stored = q != e && *q == rows[k];
      if (!stored && vals[k] == 0.0) continue;
      const bool replace = stored && vals[k] != 0.0;
      if (replace) {
        m.dmatval[at] = vals[k];
      } else if (stored) {
        m.mrwind.erase(m.mrwind.begin() + at);
        m.dmatval.erase(m.dmatval.begin() + at);
        for (size_t c = static_cast<size_t>(j) + 1; c < m.mstart.size(); ++c) --m.mstart[c];
      } else {
        m.mrwind.insert(m.mrwind.begin() + at, rows[k]);
        m.dmatval.insert(m.dmatval.begin() + at, vals[k]);
        for (size_t c = static_cast<size_t>(j) + 1; c < m.mstart.size(); ++c) ++m.mstart[c];
      }
      if (!d.rows_valid) continue;
      // The row-wise copy the same way, so that reading a row back does not
      // rebuild it.
      RowMatrix &r = d.rows;
      const int i = rows[k];
      const auto rb = r.colind.begin() + r.start[i], re = r.colind.begin() + r.start[i + 1];
      const auto rq = std::lower_bound(rb, re, j);
      const int64_t rat = rq - r.colind.begin();
      const bool rstored = rq != re && *rq == j;
      if (rstored == stored && replace) {
        r.val[rat] = vals[k];
      } else if (rstored == stored) {
        if (stored) {
          r.colind.erase(r.colind.begin() + rat);
          r.val.erase(r.val.begin() + rat);
        } else {
          r.colind.insert(r.colind.begin() + rat, j);
          r.val.insert(r.val.begin() + rat, vals[k]);
        }
        const int64_t step = stored ? -1 : 1;
        for (size_t t = static_cast<size_t>(i) + 1; t < r.start.size(); ++t) r.start[t] += step;
      } else {
        d.rows_valid = false;  // the two copies disagree: built again when read
      }
    }
    return;
  }
  std::map<std::pair<int, int>, double> ch;  // (col, row) -> value; the last one wins
  for (int k = 0; k < n; ++k) ch[{cols[k], rows[k]}] = vals[k];
  std::vector<int64_t> st(m.ncols() + 1, 0);
  std::vector<int> ri;
  std::vector<double> rv;
  ri.reserve(m.mrwind.size() + ch.size());
  rv.reserve(m.mrwind.size() + ch.size());
  auto it = ch.begin();
  for (int j = 0; j < m.ncols(); ++j) {
    int64_t k = m.mstart[j], e = m.mstart[j + 1];
    while (k < e || (it != ch.end() && it->first.first == j)) {
      const bool take_change =
          it != ch.end() && it->first.first == j && (k >= e || it->first.second <= m.mrwind[k]);
      if (take_change) {
        if (k < e && it->first.second == m.mrwind[k]) ++k;  // replaced
        if (it->second != 0.0) {
          ri.push_back(it->first.second);
          rv.push_back(it->second);
        }
        ++it;
      } else {
        ri.push_back(m.mrwind[k]);
        rv.push_back(m.dmatval[k]);
        ++k;
      }
    }
    st[j + 1] = static_cast<int64_t>(ri.size());
  }
  m.mstart.swap(st);
  m.mrwind.swap(ri);
  m.dmatval.swap(rv);
  d.rows_valid = false;
}

char bound_type(char c, const char *func, int k) {
  if (c != 'L' && c != 'U' && c != 'B')
    raise(KRVU_ERR_ARGUMENT, "%s: qbtype[%d] = '%c' is not a bound type (L, U or B)", func, k,
          c ? c : '?');
  return c;
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUchgobj(KRVUprob prob, int n, const int mindex[], const double obj[]) {
  const char *F = "KRVUchgobj";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    ModelData &m = prob->data->m;
    if (n > 0) {
      require_ptr(mindex, F, "mindex");
      require_ptr(obj, F, "obj");
    }
    for (int k = 0; k < n; ++k) {
      if (mindex[k] < -1 || mindex[k] >= m.ncols())
        raise(KRVU_ERR_ARGUMENT, "%s: mindex[%d] = %d is out of range [-1, %d)", F, k, mindex[k],
              m.ncols());
      require_coef(obj[k], F, "obj", k);
    }
    touch(prob, kChangeObj);
    std::vector<int> cols;
    for (int k = 0; k < n; ++k) {
      if (mindex[k] < 0) {
        m.objrhs = obj[k];
      } else {
        m.obj[mindex[k]] = obj[k];
        cols.push_back(mindex[k]);
      }
    }
    push_costs(prob, static_cast<int>(cols.size()), cols.data());
    push_objective(prob);
    return 0;
  });
}

int KRVUchgobjsense(KRVUprob prob, int objsense) {
  return guarded(prob, "KRVUchgobjsense", [&] {
    touch(prob, kChangeObj);
    prob->data->m.objsense = objsense == 1 ? 1.0 : -1.0;
    push_objective(prob);
    return 0;
  });
}

int KRVUchgrhs(KRVUprob prob, int n, const int mindex[], const double rhs[]) {
  const char *F = "KRVUchgrhs";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    ModelData &m = prob->data->m;
    require_indices(n, mindex, m.nrows(), F, "mindex");
    if (n > 0) require_ptr(rhs, F, "rhs");
    for (int k = 0; k < n; ++k) {
      require_finite(rhs[k], F, "rhs", k);
      require_row_limits(m.rowtype[mindex[k]], rhs[k], m.range[mindex[k]], F, "row", mindex[k]);
    }
    touch(prob, kChangeRhs);
    for (int k = 0; k < n; ++k) m.rhs[mindex[k]] = rhs[k];
    push_row_bounds(prob, n, mindex);
    return 0;
  });
}

int KRVUchgrhsrange(KRVUprob prob, int n, const int mindex[], const double rng[]) {
  const char *F = "KRVUchgrhsrange";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    ModelData &m = prob->data->m;
    require_indices(n, mindex, m.nrows(), F, "mindex");
    if (n > 0) require_ptr(rng, F, "rng");
    for (int k = 0; k < n; ++k)
      if (!(rng[k] >= 0))
        raise(KRVU_ERR_ARGUMENT, "%s: rng[%d] = %g must be >= 0", F, k, rng[k]);
    touch(prob, kChangeRhs);
    // A range makes an L or G row a range row with the same feasible side;
    // an E row keeps its rhs as the upper limit.
    for (int k = 0; k < n; ++k) {
      const int i = mindex[k];
      char &t = m.rowtype[i];
      if (t == 'G') m.rhs[i] += rng[k];
      if (t != 'N') t = 'R';
      m.range[i] = t == 'R' ? rng[k] : 0.0;
    }
    push_row_bounds(prob, n, mindex);
    return 0;
  });
}

int KRVUchgrowtype(KRVUprob prob, int n, const int mindex[], const char qrtype[]) {
  const char *F = "KRVUchgrowtype";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    ModelData &m = prob->data->m;
    require_indices(n, mindex, m.nrows(), F, "mindex");
    if (n > 0) require_ptr(qrtype, F, "qrtype");
    for (int k = 0; k < n; ++k) require_rowtype(qrtype[k], F, "qrtype", k);
    touch(prob, kChangeRhs);
    for (int k = 0; k < n; ++k) {
      m.rowtype[mindex[k]] = qrtype[k];
      if (qrtype[k] != 'R') m.range[mindex[k]] = 0.0;
    }
    push_row_bounds(prob, n, mindex);
    return 0;
  });
}

int KRVUchgbounds(KRVUprob prob, int n, const int mindex[], const char qbtype[],
                  const double bnd[]) {
  const char *F = "KRVUchgbounds";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    ModelData &m = prob->data->m;
    require_indices(n, mindex, m.ncols(), F, "mindex");
    if (n > 0) {
      require_ptr(qbtype, F, "qbtype");
      require_ptr(bnd, F, "bnd");
    }
    for (int k = 0; k < n; ++k) {
      bound_type(qbtype[k], F, k);
      if (qbtype[k] != 'U') require_lower(bnd[k], F, "bnd", k);
      if (qbtype[k] != 'L') require_upper(bnd[k], F, "bnd", k);
    }
    touch(prob, kChangeBounds);
    for (int k = 0; k < n; ++k) {
      const int j = mindex[k];
      if (qbtype[k] != 'U') m.lb[j] = bnd[k];
      if (qbtype[k] != 'L') m.ub[j] = bnd[k];
    }
    push_col_bounds(prob, n, mindex);
    return 0;
  });
}

int KRVUchgcoltype(KRVUprob prob, int n, const int mindex[], const char qctype[]) {
  const char *F = "KRVUchgcoltype";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    ModelData &m = prob->data->m;
    require_indices(n, mindex, m.ncols(), F, "mindex");
    if (n > 0) require_ptr(qctype, F, "qctype");
    for (int k = 0; k < n; ++k) require_coltype(qctype[k], F, "qctype", k);
    touch(prob, kChangeStructure);
    for (int k = 0; k < n; ++k) {
      const int j = mindex[k];
      const char t = qctype[k];
      if (t == 'B') {
        m.lb[j] = std::max(m.lb[j], 0.0);
        m.ub[j] = std::min(m.ub[j], 1.0);
      }
      if ((t == 'S' || t == 'R' || t == 'P') && m.coltype[j] != t)
        m.threshold[j] = t == 'P' ? m.ub[j] : 0.0;
      m.coltype[j] = t;
    }
    return 0;
  });
}

int KRVUchgglblimit(KRVUprob prob, int n, const int mindex[], const double dlimit[]) {
  const char *F = "KRVUchgglblimit";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    ModelData &m = prob->data->m;
    require_indices(n, mindex, m.ncols(), F, "mindex");
    if (n > 0) require_ptr(dlimit, F, "dlimit");
    for (int k = 0; k < n; ++k) {
      const char t = m.coltype[mindex[k]];
      if (t != 'S' && t != 'R' && t != 'P')
        raise(KRVU_ERR_ARGUMENT,
              "%s: column mindex[%d] = %d is of type '%c'; only S, R and P columns have a limit",
              F, k, mindex[k], t);
      require_finite(dlimit[k], F, "dlimit", k);
    }
    touch(prob, kChangeStructure);
    for (int k = 0; k < n; ++k) m.threshold[mindex[k]] = dlimit[k];
    return 0;
  });
}

int KRVUchgmcoef(KRVUprob prob, int n, const int mrow[], const int mcol[], const double dval[]) {
  const char *F = "KRVUchgmcoef";
  return guarded(prob, F, [&] {
    require_count(n, F, "n");
    ModelData &m = prob->data->m;
    require_indices(n, mrow, m.nrows(), F, "mrow");
    require_indices(n, mcol, m.ncols(), F, "mcol");
    if (n > 0) require_ptr(dval, F, "dval");
    for (int k = 0; k < n; ++k) require_coef(dval[k], F, "dval", k);
    if (n == 0) return 0;
    touch(prob, 0);  // the engine takes coefficients in place
    set_coefs(prob, n, mrow, mcol, dval);
    for (int k = 0; k < n; ++k) push_coef(prob, mrow[k], mcol[k], dval[k]);
    return 0;
  });
}

int KRVUchgcoef(KRVUprob prob, int row, int col, double value) {
  return KRVUchgmcoef(prob, 1, &row, &col, &value);
}

}  // extern "C"
