// Reading, loading and checking solutions, bases and rays.
#include <algorithm>
#include <cmath>

#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

SolverState &state(krvu_prob_s *prob) { return *prob->data->solver; }

void require_lpsol(krvu_prob_s *prob, const char *func) {
  if (!state(prob).has_lpsol)
    raise(KRVU_ERR_STATE,
          "%s: no LP solution is available (the problem was not solved to a solution since it "
          "was last changed)",
          func);
}

void require_mipsol(krvu_prob_s *prob, const char *func) {
  if (!state(prob).has_mipsol)
    raise(KRVU_ERR_STATE,
          "%s: no integer solution is available (none was found since the problem was last "
          "changed)",
          func);
}

template <class T>
void out(T *dst, const std::vector<T> &src) {
  if (dst) std::copy(src.begin(), src.end(), dst);
}

// slack = rhs - Ax.
std::vector<double> slacks_of(const ModelData &m, const double *x) {
  std::vector<double> s(m.rhs);
  for (int j = 0; j < m.ncols(); ++j) {
    if (x[j] == 0) continue;
    for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k) s[m.mrwind[k]] -= m.dmatval[k] * x[j];
  }
  return s;
}

// Qx for the symmetric Q held as its lower triangle.
std::vector<double> q_times(const ModelData &m, const double *x) {
  std::vector<double> g(m.ncols(), 0.0);
  if (m.qstart.empty() || !x) return g;
  for (int j = 0; j < m.ncols(); ++j)
    for (int64_t k = m.qstart[j]; k < m.qstart[j + 1]; ++k) {
      int i = m.qrow[k];
      g[i] += m.qval[k] * x[j];
      if (i != j) g[j] += m.qval[k] * x[i];
    }
  return g;
}

double objective_of(const ModelData &m, const double *x) {
  double v = -m.objrhs;
  for (int j = 0; j < m.ncols(); ++j) v += m.obj[j] * x[j];
  if (!m.qstart.empty()) {
    std::vector<double> g = q_times(m, x);
    for (int j = 0; j < m.ncols(); ++j) v += 0.5 * x[j] * g[j];
  }
  return v;
}

// dj = c + Qx - A'y.
std::vector<double> djs_of(const ModelData &m, const double *y, const double *x) {
  std::vector<double> d = q_times(m, x);
  for (int j = 0; j < m.ncols(); ++j) {
    d[j] += m.obj[j];
    for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k) d[j] -= m.dmatval[k] * y[m.mrwind[k]];
  }
  return d;
}

// Violation of row i by its slack (rhs - activity).
double row_violation(const ModelData &m, int i, double slack) {
  switch (m.rowtype[i]) {
    case 'L': return std::max(0.0, -slack);
    case 'G': return std::max(0.0, slack);
    case 'E': return std::fabs(slack);
    case 'R': return std::max(std::max(0.0, -slack), slack - m.range[i]);
    default: return 0.0;
  }
}

double col_violation(const ModelData &m, int j, double x) {
  return std::max(std::max(0.0, m.lb[j] - x), x - m.ub[j]);
}

// Dual infeasibility of a reduced cost for a minimization (sign-adjusted for
// maximization): negative dj needs the column at its upper bound, positive at
// its lower bound.
double dj_violation(const ModelData &m, int j, double x, double dj, double tol) {
  dj *= m.objsense;
  if (dj > 0 && x > m.lb[j] + tol) return dj;
  if (dj < 0 && x < m.ub[j] - tol) return -dj;
  return 0.0;
}

double dual_violation(const ModelData &m, int i, double slack, double y, double tol) {
  y *= m.objsense;
  // For a minimization, a <= row has y <= 0 when active, a >= row y >= 0.
  const char t = m.rowtype[i];
  if (t == 'N') return std::fabs(y);
  if ((t == 'L' || (t == 'R' && slack < m.range[i] / 2)) && y > 0) return y;
  if ((t == 'G' || (t == 'R' && slack >= m.range[i] / 2)) && y < 0) return -y;
  if (t == 'L' && slack > tol) return std::fabs(y);
  if (t == 'G' && slack < -tol) return std::fabs(y);
  return 0.0;
}

void require_col_or_none(int col, const ModelData &m, const char *func) {
  if (col < -1 || col >= m.ncols())
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'col' = %d is out of range [-1, %d)", func, col,
          m.ncols());
}
void require_row_or_none(int row, const ModelData &m, const char *func) {
  if (row < -1 || row >= m.nrows())
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'row' = %d is out of range [-1, %d)", func, row,
          m.nrows());
}

// The problem is always held in its original form, so the LP solution, the
// presolved one and the last barrier one are the same vectors.
// Inside a callback of the search: the node's relaxation (the problem's rows
// and columns are the first of the working copy's).
void copy_node_lpsol(krvu_prob_s *prob, const NodeContext &c, double x[], double slack[],
                     double dual[], double dj[]) {
  const ModelData &m = prob->data->m;
  const int n = m.ncols(), r = m.nrows();
  if (x) std::copy(c.x->begin(), c.x->begin() + n, x);
  if (slack) {
    if (c.ract)
      for (int i = 0; i < r; ++i) slack[i] = m.rhs[i] - (*c.ract)[i];
    else
      std::fill(slack, slack + r, 0.0);
  }
  if (dual) {
    if (c.rdual) for (int i = 0; i < r; ++i) dual[i] = c.sense * (*c.rdual)[i];
    else std::fill(dual, dual + r, 0.0);
  }
  if (dj) {
    if (c.cdual) for (int j = 0; j < n; ++j) dj[j] = c.sense * (*c.cdual)[j];
    else std::fill(dj, dj + n, 0.0);
  }
}

void copy_lpsol(krvu_prob_s *prob, const char *func, double x[], double slack[], double dual[],
                double dj[]) {
  if (prob->node && prob->node->x) return copy_node_lpsol(prob, *prob->node, x, slack, dual, dj);
  require_lpsol(prob, func);
  SolverState &s = state(prob);
  out(x, s.x);
  out(slack, s.slack);
  out(dual, s.dual);
  out(dj, s.dj);
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUgetlpsol(KRVUprob prob, double x[], double slack[], double dual[], double dj[]) {
  return guarded(prob, "KRVUgetlpsol", [&] {
    copy_lpsol(prob, "KRVUgetlpsol", x, slack, dual, dj);
    return 0;
  });
}

int KRVUgetpresolvesol(KRVUprob prob, double x[], double slack[], double dual[], double dj[]) {
  return guarded(prob, "KRVUgetpresolvesol", [&] {
    copy_lpsol(prob, "KRVUgetpresolvesol", x, slack, dual, dj);
    return 0;
  });
}

int KRVUgetlastbarsol(KRVUprob prob, double x[], double slack[], double dual[], double dj[],
                      int *barsolstatus) {
  return guarded(prob, "KRVUgetlastbarsol", [&] {
    require_ptr(barsolstatus, "KRVUgetlastbarsol", "barsolstatus");
    copy_lpsol(prob, "KRVUgetlastbarsol", x, slack, dual, dj);
    *barsolstatus = static_cast<int>(attr_int(prob, KRVU_ATTR_LPSTATUS));
    return 0;
  });
}

int KRVUgetlpsolval(KRVUprob prob, int col, int row, double *x, double *slack, double *dual,
                    double *dj) {
  const char *F = "KRVUgetlpsolval";
  return guarded(prob, F, [&] {
    const ModelData &m = prob->data->m;
    require_col_or_none(col, m, F);
    require_row_or_none(row, m, F);
    require_lpsol(prob, F);
    SolverState &s = state(prob);
    if (x) *x = col >= 0 ? s.x[col] : -KRVU_INFINITY;
    if (dj) *dj = col >= 0 ? s.dj[col] : -KRVU_INFINITY;
    if (slack) *slack = row >= 0 ? s.slack[row] : -KRVU_INFINITY;
    if (dual) *dual = row >= 0 ? s.dual[row] : -KRVU_INFINITY;
    return 0;
  });
}

int KRVUgetmipsol(KRVUprob prob, double x[], double slack[]) {
  return guarded(prob, "KRVUgetmipsol", [&] {
    require_mipsol(prob, "KRVUgetmipsol");
    SolverState &s = state(prob);
    out(x, s.mipx);
    if (slack) out(slack, slacks_of(read_model(prob), s.mipx.data()));
    return 0;
  });
}

int KRVUgetmipsolval(KRVUprob prob, int col, int row, double *x, double *slack) {
  const char *F = "KRVUgetmipsolval";
  return guarded(prob, F, [&] {
    const ModelData &m = read_model(prob);
    require_col_or_none(col, m, F);
    require_row_or_none(row, m, F);
    require_mipsol(prob, F);
    SolverState &s = state(prob);
    if (x) *x = col >= 0 ? s.mipx[col] : -KRVU_INFINITY;
    if (slack) {
      *slack = -KRVU_INFINITY;
      if (row >= 0) *slack = slacks_of(m, s.mipx.data())[row];
    }
    return 0;
  });
}

int KRVUgetbasis(KRVUprob prob, int rstatus[], int cstatus[]) {
  return guarded(prob, "KRVUgetbasis", [&] {
    SolverState &s = state(prob);
    const ModelData &m = prob->data->m;
    if (!s.has_basis || static_cast<int>(s.cstat.size()) != m.ncols() ||
        static_cast<int>(s.rstat.size()) != m.nrows())
      raise(KRVU_ERR_STATE, "KRVUgetbasis: no basis is available (solve the problem first)");
    out(rstatus, s.rstat);
    out(cstatus, s.cstat);
    return 0;
  });
}

int KRVUgetbasisval(KRVUprob prob, int row, int col, int *rstatus, int *cstatus) {
  const char *F = "KRVUgetbasisval";
  return guarded(prob, F, [&] {
    SolverState &s = state(prob);
    const ModelData &m = prob->data->m;
    if (!s.has_basis || static_cast<int>(s.cstat.size()) != m.ncols() ||
        static_cast<int>(s.rstat.size()) != m.nrows())
      raise(KRVU_ERR_STATE, "%s: no basis is available (solve the problem first)", F);
    if (rstatus) {
      require_index(row, m.nrows(), F, "row");
      *rstatus = s.rstat[row];
    }
    if (cstatus) {
      require_index(col, m.ncols(), F, "col");
      *cstatus = s.cstat[col];
    }
    return 0;
  });
}

int KRVUloadbasis(KRVUprob prob, const int rstatus[], const int cstatus[]) {
  const char *F = "KRVUloadbasis";
  return guarded(prob, F, [&] {
    require_ptr(rstatus, F, "rstatus");
    require_ptr(cstatus, F, "cstatus");
    const ModelData &m = prob->data->m;
    int basic = 0;
    for (int i = 0; i < m.nrows(); ++i) {
      if (rstatus[i] < 0 || rstatus[i] > 3)
        raise(KRVU_ERR_ARGUMENT, "%s: rstatus[%d] = %d is not a basis status (0 to 3)", F, i,
              rstatus[i]);
      basic += rstatus[i] == 1;
    }
    for (int j = 0; j < m.ncols(); ++j) {
      if (cstatus[j] < 0 || cstatus[j] > 3)
        raise(KRVU_ERR_ARGUMENT, "%s: cstatus[%d] = %d is not a basis status (0 to 3)", F, j,
              cstatus[j]);
      basic += cstatus[j] == 1;
    }
    if (basic != m.nrows())
      raise(KRVU_ERR_ARGUMENT, "%s: the basis has %d basic entries; it needs one per row (%d)", F,
            basic, m.nrows());
    touch(prob, 0);
    SolverState &s = state(prob);
    s.synced = false;  // the engine takes the basis with the next pass of the model
    s.rstat.assign(rstatus, rstatus + m.nrows());
    s.cstat.assign(cstatus, cstatus + m.ncols());
    s.has_basis = true;
    return 0;
  });
}

int KRVUgetpresolvebasis(KRVUprob prob, int rstatus[], int cstatus[]) {
  return KRVUgetbasis(prob, rstatus, cstatus);
}

int KRVUloadpresolvebasis(KRVUprob prob, const int rstatus[], const int cstatus[]) {
  return KRVUloadbasis(prob, rstatus, cstatus);
}

int KRVUpostsolve(KRVUprob prob) {
  return guarded(prob, "KRVUpostsolve", [&] { return 0; });
}

int KRVUgetprimalray(KRVUprob prob, double ray[], int *hasray) {
  return guarded(prob, "KRVUgetprimalray", [&] {
    require_ptr(hasray, "KRVUgetprimalray", "hasray");
    SolverState &s = state(prob);
    *hasray = s.has_pray ? 1 : 0;
    if (ray && s.has_pray) out(ray, s.pray);
    return 0;
  });
}

int KRVUgetdualray(KRVUprob prob, double ray[], int *hasray) {
  return guarded(prob, "KRVUgetdualray", [&] {
    require_ptr(hasray, "KRVUgetdualray", "hasray");
    SolverState &s = state(prob);
    *hasray = s.has_dray ? 1 : 0;
    if (ray && s.has_dray) out(ray, s.dray);
    return 0;
  });
}

int KRVUgetunbvec(KRVUprob prob, int *seq) {
  return guarded(prob, "KRVUgetunbvec", [&] {
    require_ptr(seq, "KRVUgetunbvec", "seq");
    *seq = state(prob).unbvec;
    return 0;
  });
}

int KRVUcalcslacks(KRVUprob prob, const double solution[], double slacks[]) {
  return guarded(prob, "KRVUcalcslacks", [&] {
    require_ptr(solution, "KRVUcalcslacks", "solution");
    require_ptr(slacks, "KRVUcalcslacks", "slacks");
    out(slacks, slacks_of(read_model(prob), solution));
    return 0;
  });
}

int KRVUcalcreducedcosts(KRVUprob prob, const double duals[], const double solution[],
                         double djs[]) {
  return guarded(prob, "KRVUcalcreducedcosts", [&] {
    require_ptr(duals, "KRVUcalcreducedcosts", "duals");
    require_ptr(djs, "KRVUcalcreducedcosts", "djs");
    const ModelData &m = read_model(prob);
    if (!solution && !m.qstart.empty())
      raise(KRVU_ERR_ARGUMENT,
            "KRVUcalcreducedcosts: argument 'solution' is needed for a quadratic objective");
    out(djs, djs_of(m, duals, solution));
    return 0;
  });
}

int KRVUcalcobjective(KRVUprob prob, const double solution[], double *objval) {
  return guarded(prob, "KRVUcalcobjective", [&] {
    require_ptr(solution, "KRVUcalcobjective", "solution");
    require_ptr(objval, "KRVUcalcobjective", "objval");
    *objval = objective_of(read_model(prob), solution);
    return 0;
  });
}

int KRVUcalcsolinfo(KRVUprob prob, const double solution[], const double dual[], int property,
                    double *value) {
  const char *F = "KRVUcalcsolinfo";
  return guarded(prob, F, [&] {
    require_ptr(solution, F, "solution");
    require_ptr(dual, F, "dual");
    require_ptr(value, F, "value");
    const ModelData &m = read_model(prob);
    const double tol = ctl_dbl(prob, 7001);
    std::vector<double> sl = slacks_of(m, solution);
    double v = 0;
    switch (property) {
      case KRVU_SOLINFO_ABSPRIMALINFEAS:
      case KRVU_SOLINFO_RELPRIMALINFEAS:
        for (int i = 0; i < m.nrows(); ++i) {
          double e = row_violation(m, i, sl[i]);
          if (property == KRVU_SOLINFO_RELPRIMALINFEAS) e /= 1 + std::fabs(m.rhs[i]);
          v = std::max(v, e);
        }
        for (int j = 0; j < m.ncols(); ++j) v = std::max(v, col_violation(m, j, solution[j]));
        break;
      case KRVU_SOLINFO_ABSDUALINFEAS:
      case KRVU_SOLINFO_RELDUALINFEAS: {
        std::vector<double> d = djs_of(m, dual, solution);
        for (int j = 0; j < m.ncols(); ++j) {
          double e = dj_violation(m, j, solution[j], d[j], tol);
          if (property == KRVU_SOLINFO_RELDUALINFEAS) e /= 1 + std::fabs(m.obj[j]);
          v = std::max(v, e);
        }
        for (int i = 0; i < m.nrows(); ++i) v = std::max(v, dual_violation(m, i, sl[i], dual[i], tol));
        break;
      }
      case KRVU_SOLINFO_MAXMIPFRACTIONAL:
        for (int j = 0; j < m.ncols(); ++j)
          if (m.coltype[j] == 'B' || m.coltype[j] == 'I')
            v = std::max(v, std::fabs(solution[j] - std::round(solution[j])));
        break;
      default:
        raise(KRVU_ERR_ARGUMENT, "%s: argument 'property' = %d is not a KRVU_SOLINFO_* value", F,
              property);
    }
    *value = v;
    return 0;
  });
}

int KRVUgetinfeas(KRVUprob prob, int *npv, int *nps, int *nds, int *ndv, int mx[], int mslack[],
                  int mdual[], int mdj[]) {
  const char *F = "KRVUgetinfeas";
  return guarded(prob, F, [&] {
    require_lpsol(prob, F);
    const ModelData &m = read_model(prob);
    SolverState &s = state(prob);
    const double ptol = ctl_dbl(prob, 7001), dtol = ctl_dbl(prob, 7002);
    std::vector<int> a, b, c, d;
    for (int j = 0; j < m.ncols(); ++j) {
      if (col_violation(m, j, s.x[j]) > ptol) a.push_back(j);
      if (dj_violation(m, j, s.x[j], s.dj[j], ptol) > dtol) d.push_back(j);
    }
    for (int i = 0; i < m.nrows(); ++i) {
      if (row_violation(m, i, s.slack[i]) > ptol) b.push_back(i);
      if (dual_violation(m, i, s.slack[i], s.dual[i], ptol) > dtol) c.push_back(i);
    }
    if (npv) *npv = static_cast<int>(a.size());
    if (nps) *nps = static_cast<int>(b.size());
    if (nds) *nds = static_cast<int>(c.size());
    if (ndv) *ndv = static_cast<int>(d.size());
    out(mx, a);
    out(mslack, b);
    out(mdual, c);
    out(mdj, d);
    return 0;
  });
}

int KRVUgetscaledinfeas(KRVUprob prob, int *npv, int *nps, int *nds, int *ndv, int mx[],
                        int mslack[], int mdual[], int mdj[]) {
  return KRVUgetinfeas(prob, npv, nps, nds, ndv, mx, mslack, mdual, mdj);
}

int KRVUloadlpsol(KRVUprob prob, const double x[], const double slack[], const double dual[],
                  const double dj[], int *status) {
  const char *F = "KRVUloadlpsol";
  return guarded(prob, F, [&] {
    const ModelData &m = read_model(prob);
    touch(prob, 0);
    SolverState &s = state(prob);
    const int n = m.ncols(), r = m.nrows();
    s.x.assign(n, 0.0);
    if (x) std::copy(x, x + n, s.x.begin());
    s.slack = slack ? std::vector<double>(slack, slack + r) : slacks_of(m, s.x.data());
    s.dual.assign(r, 0.0);
    if (dual) std::copy(dual, dual + r, s.dual.begin());
    s.dj = dj ? std::vector<double>(dj, dj + n) : djs_of(m, s.dual.data(), s.x.data());
    s.has_lpsol = true;
    if (status) *status = 0;
    return 0;
  });
}

}  // extern "C"
