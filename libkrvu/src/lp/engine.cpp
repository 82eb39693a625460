#include "lp/engine.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "core/common.h"
#include "core/prob.h"
#include "interfaces/highs_c_api.h"
#include "lp/highs_session.h"
#include "lp/solver_state.h"

namespace krvu {
namespace {

double to_engine(double v) {
  if (v >= KRVU_INFINITY) return INFINITY;
  if (v <= -KRVU_INFINITY) return -INFINITY;
  return v;
}

// The engine accepts semi-continuous columns only with an upper bound up to
// this value; we refuse larger ones instead of capping them.
constexpr double kMaxSemiUpper = 1e5;

}  // namespace

HighsSession &session(krvu_prob_s *prob) {
  SolverState &s = *prob->data->solver;
  if (!s.hs) s.hs.reset(new HighsSession(prob));
  return *s.hs;
}

namespace {
// Integer columns reach the engine with their bounds rounded inward: the
// engine's presolve takes fractional bounds of integer columns at face value
// and can return wrong optima.  A bound within 1e-9 of an integer is that
// integer.
double round_up(double v) { return std::isfinite(v) ? std::ceil(v - 1e-9) : v; }
double round_down(double v) { return std::isfinite(v) ? std::floor(v + 1e-9) : v; }
}  // namespace

void col_bounds(const ModelData &m, int j, int mode, double &lo, double &up, int &type) {
  lo = to_engine(m.lb[j]);
  up = to_engine(m.ub[j]);
  type = kHighsVarTypeContinuous;
  const char t = m.coltype[j];
  if (t == 'B') {
    lo = std::max(lo, 0.0);
    up = std::min(up, 1.0);
  }
  if (mode == kModeInteger && (t == 'B' || t == 'I')) {
    lo = round_up(lo);
    up = round_down(up);
  }
  if (t == 'S' || t == 'R') {
    // The column is 0 or in [max(lb, limit), ub], and never outside [lb, ub].
    double lo1 = std::max(lo, m.threshold[j]);
    if (mode == kModeInteger && t == 'R') {
      lo1 = round_up(lo1);
      up = round_down(up);
    }
    const bool zero_ok = lo <= 0 && up >= 0;
    if (mode == kModeInteger) {
      if (zero_ok && lo1 > up) {
        lo = up = 0.0;  // no value but 0 left
      } else if (zero_ok && lo1 > 0) {
        lo = lo1;
        type = t == 'S' ? kHighsVarTypeSemiContinuous : kHighsVarTypeSemiInteger;
      } else {
        lo = lo1;
        type = t == 'S' ? kHighsVarTypeContinuous : kHighsVarTypeInteger;
      }
    } else {
      lo = zero_ok ? std::min(0.0, lo1) : lo1;
    }
    return;
  }
  if (mode == kModeInteger && (t == 'B' || t == 'I')) type = kHighsVarTypeInteger;
}

void row_bounds(const ModelData &m, int i, double &lo, double &up) {
  const double r = m.rhs[i];
  lo = -INFINITY;
  up = INFINITY;
  switch (m.rowtype[i]) {
    case 'L': up = to_engine(r); break;
    case 'G': lo = to_engine(r); break;
    case 'E': lo = up = to_engine(r); break;
    case 'R':
      up = to_engine(r);
      lo = to_engine(r - m.range[i]);
      break;
    default: break;
  }
}

bool objective_convex(const ModelData &m) {
  if (m.qstart.empty()) return true;
  const int n = m.ncols();
  const double sense = m.objsense;
  // The columns that have quadratic entries.
  std::vector<int> pos(n, -1), cols;
  for (int j = 0; j < n; ++j)
    for (int64_t k = m.qstart[j]; k < m.qstart[j + 1]; ++k) {
      for (int c : {j, m.qrow[k]})
        if (pos[c] < 0) {
          pos[c] = static_cast<int>(cols.size());
          cols.push_back(c);
        }
    }
  const size_t d = cols.size();
  if (d > 1000) {
    // Too large for the dense test: a negative diagonal still proves it.
    for (int j = 0; j < n; ++j)
      for (int64_t k = m.qstart[j]; k < m.qstart[j + 1]; ++k)
        if (m.qrow[k] == j && sense * m.qval[k] < 0) return false;
    return true;
  }
  std::vector<double> a(d * d, 0.0);
  double scale = 0;
  for (int j = 0; j < n; ++j)
    for (int64_t k = m.qstart[j]; k < m.qstart[j + 1]; ++k) {
      size_t r = pos[m.qrow[k]], c = pos[j];
      a[r * d + c] = a[c * d + r] = sense * m.qval[k];
      scale = std::max(scale, std::fabs(m.qval[k]));
    }
  return dense_semidefinite(a, d, 1e-9 * std::max(1.0, scale));
}

bool dense_semidefinite(std::vector<double> &a, size_t d, double tol) {
  // Dense LDL' with a tolerance: a clearly negative pivot, or a zero pivot
  // with a non-zero below it, means the matrix is not positive semidefinite.
  for (size_t k = 0; k < d; ++k) {
    const double p = a[k * d + k];
    if (p < -tol) return false;
    if (p <= tol) {
      for (size_t i = k + 1; i < d; ++i)
        if (std::fabs(a[i * d + k]) > tol) return false;
      continue;
    }
    for (size_t i = k + 1; i < d; ++i) {
      const double f = a[i * d + k] / p;
      if (f == 0) continue;
      for (size_t j = k + 1; j <= i; ++j) a[i * d + j] -= f * a[j * d + k];
    }
  }
  return true;
}

bool dense_positive_definite(std::vector<double> a, size_t d, double shift, double rel) {
  for (size_t i = 0; i < d; ++i) a[i * d + i] -= shift;
  for (size_t k = 0; k < d; ++k) {
    const double diag = a[k * d + k];
    double p = diag;
    for (size_t j = 0; j < k; ++j) p -= a[k * d + j] * a[k * d + j];
    if (!(p > rel * std::fabs(diag))) return false;
    p = std::sqrt(p);
    a[k * d + k] = p;
    for (size_t i = k + 1; i < d; ++i) {
      double v = a[i * d + k];
      for (size_t j = 0; j < k; ++j) v -= a[i * d + j] * a[k * d + j];
      a[i * d + k] = v / p;
    }
  }
  return true;
}

// Rows plus columns from which the hand-over returns freed memory.
constexpr int64_t kTrimAfterHandOver = 100000;

void pass_model(HighsSession &hs, const ModelData &m, int mode, const EngineScaling *scale,
                const char *func) {
  void *h = hs.get();
  const int n = m.ncols(), r = m.nrows();
  const int64_t nz = m.nelems(), qnz = static_cast<int64_t>(m.qrow.size());
  constexpr int64_t kMaxEngine = std::numeric_limits<int>::max();
  if (nz > kMaxEngine || qnz > kMaxEngine)
    raise(KRVU_ERR_SOLVER, "%s: the engine takes at most %lld coefficients (the model has %lld)",
          func, static_cast<long long>(kMaxEngine), static_cast<long long>(nz));
  std::vector<double> clo(n), cup(n), rlo(r), rup(r);
  std::vector<int> integ(n);
  bool any_int = false;
  for (int j = 0; j < n; ++j) {
    col_bounds(m, j, mode, clo[j], cup[j], integ[j]);
    if (integ[j] == kHighsVarTypeSemiContinuous || integ[j] == kHighsVarTypeSemiInteger) {
      if (cup[j] > kMaxSemiUpper)
        raise(KRVU_ERR_SOLVER,
              "%s: column %d (%s) is semi-continuous with upper bound %g; the engine takes such "
              "columns only with an upper bound of at most %g",
              func, j, col_name(m, j).c_str(), cup[j], kMaxSemiUpper);
    }
    any_int = any_int || integ[j] != kHighsVarTypeContinuous;
  }
  for (int i = 0; i < r; ++i) row_bounds(m, i, rlo[i], rup[i]);
  std::vector<int> astart(m.mstart.begin(), m.mstart.end() - 1);
  std::vector<int> qstart;
  if (qnz > 0) qstart.assign(m.qstart.begin(), m.qstart.end() - 1);
  if (astart.empty()) astart.push_back(0);
  const double *cost = m.obj.data(), *aval = m.dmatval.data(), *qval = m.qval.data();
  std::vector<double> scost, saval, sqval;
  if (scale && scale->active()) {
    // x = C x', rows multiplied by R: the engine sees R A C, costs c C,
    // bounds divided by C and row limits multiplied by R (powers of two, so
    // nothing is rounded).
    const std::vector<double> &R = scale->row, &C = scale->col;
    scost.resize(n);
    saval.assign(m.dmatval.begin(), m.dmatval.end());
    for (int j = 0; j < n; ++j) {
      scost[j] = m.obj[j] * C[j];
      clo[j] /= C[j];
      cup[j] /= C[j];
      for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k) saval[k] *= R[m.mrwind[k]] * C[j];
    }
    for (int i = 0; i < r; ++i) {
      rlo[i] *= R[i];
      rup[i] *= R[i];
    }
    if (qnz > 0) {
      sqval.assign(m.qval.begin(), m.qval.end());
      for (int j = 0; j < n; ++j)
        for (int64_t k = m.qstart[j]; k < m.qstart[j + 1]; ++k) sqval[k] *= C[j] * C[m.qrow[k]];
    }
    cost = scost.data();
    aval = saval.data();
    if (qnz > 0) qval = sqval.data();
  }
  int st = Highs_passModel(h, n, r, static_cast<int>(nz), static_cast<int>(qnz),
                           kHighsMatrixFormatColwise, kHighsHessianFormatTriangular,
                           m.objsense < 0 ? kHighsObjSenseMaximize : kHighsObjSenseMinimize,
                           -m.objrhs, cost, clo.data(), cup.data(), rlo.data(), rup.data(),
                           astart.data(), m.mrwind.data(), aval, qnz > 0 ? qstart.data() : nullptr,
                           qnz > 0 ? m.qrow.data() : nullptr, qnz > 0 ? qval : nullptr,
                           any_int ? integ.data() : nullptr);
  hs.check(st, "the model", func);
#if defined(__GLIBC__)
  // The arrays above were only for the hand-over.  Freed in the middle of the
  // heap they would stay resident under the engine's run, which allocates
  // large blocks of its own: a large model gives the free pages back first.
  if (static_cast<int64_t>(n) + r >= kTrimAfterHandOver) {
    std::vector<double>().swap(clo), std::vector<double>().swap(cup);
    std::vector<double>().swap(rlo), std::vector<double>().swap(rup);
    std::vector<int>().swap(integ), std::vector<int>().swap(astart), std::vector<int>().swap(qstart);
    std::vector<double>().swap(scost), std::vector<double>().swap(saval), std::vector<double>().swap(sqval);
    malloc_trim(0);
  }
#endif
}

void sync_engine(krvu_prob_s *prob, int mode, const char *func) {
  SolverState &s = *prob->data->solver;
  HighsSession &hs = session(prob);
  if (s.synced && s.mode == mode) return;
  const ModelData &m = read_model(prob);
  const int n = m.ncols(), r = m.nrows();
  const bool scaled = mode == kModeRelaxation && s.scaling.active() &&
                      static_cast<int>(s.scaling.row.size()) == r &&
                      static_cast<int>(s.scaling.col.size()) == n;
  pass_model(hs, m, mode, scaled ? &s.scaling : nullptr, func);
  s.synced = true;
  s.mode = mode;
  s.engine_scaled = scaled;
  if (s.has_basis && static_cast<int>(s.cstat.size()) == n &&
      static_cast<int>(s.rstat.size()) == r && mode == kModeRelaxation) {
    // A basis that no longer fits (after deletions) is refused by the engine;
    // the solve then starts cold.
    std::vector<int> cs(s.cstat), rs(s.rstat);
    Highs_setBasis(hs.get(), cs.data(), rs.data());
  }
}

}  // namespace krvu

namespace krvu {
namespace {
bool engine_holds(krvu_prob_s *prob) {
  SolverState &s = *prob->data->solver;
  // A scaled copy is passed whole again rather than edited in place.
  if (s.synced && s.engine_scaled) s.synced = false;
  return s.synced && s.hs;
}
void refused(krvu_prob_s *prob, int st) {
  if (st == kHighsStatusError) prob->data->solver->synced = false;
}
}  // namespace

void push_col_bounds(krvu_prob_s *prob, int n, const int *cols) {
  if (!engine_holds(prob) || n == 0) return;
  SolverState &s = *prob->data->solver;
  const ModelData &m = prob->data->m;
  std::vector<double> lo(n), up(n);
  for (int k = 0; k < n; ++k) {
    int type;
    col_bounds(m, cols[k], s.mode, lo[k], up[k], type);
    if (type == kHighsVarTypeSemiContinuous || type == kHighsVarTypeSemiInteger) {
      s.synced = false;  // re-checked and passed whole at the next solve
      return;
    }
  }
  refused(prob, Highs_changeColsBoundsBySet(s.hs->get(), n, cols, lo.data(), up.data()));
}

void push_row_bounds(krvu_prob_s *prob, int n, const int *rows) {
  if (!engine_holds(prob) || n == 0) return;
  const ModelData &m = prob->data->m;
  std::vector<double> lo(n), up(n);
  for (int k = 0; k < n; ++k) row_bounds(m, rows[k], lo[k], up[k]);
  refused(prob, Highs_changeRowsBoundsBySet(prob->data->solver->hs->get(), n, rows, lo.data(),
                                            up.data()));
}

void push_costs(krvu_prob_s *prob, int n, const int *cols) {
  if (!engine_holds(prob) || n == 0) return;
  const ModelData &m = prob->data->m;
  std::vector<double> c(n);
  for (int k = 0; k < n; ++k) c[k] = m.obj[cols[k]];
  refused(prob, Highs_changeColsCostBySet(prob->data->solver->hs->get(), n, cols, c.data()));
}

void push_objective(krvu_prob_s *prob) {
  if (!engine_holds(prob)) return;
  const ModelData &m = prob->data->m;
  void *h = prob->data->solver->hs->get();
  refused(prob, Highs_changeObjectiveSense(
                    h, m.objsense < 0 ? kHighsObjSenseMaximize : kHighsObjSenseMinimize));
  refused(prob, Highs_changeObjectiveOffset(h, -m.objrhs));
}

void push_coef(krvu_prob_s *prob, int row, int col, double value) {
  if (!engine_holds(prob)) return;
  refused(prob, Highs_changeCoeff(prob->data->solver->hs->get(), row, col, value));
}

}  // namespace krvu
