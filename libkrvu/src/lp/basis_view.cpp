#include "lp/basis_view.h"

#include <algorithm>
#include <cmath>

#include "core/common.h"
#include "core/prob.h"
#include "interfaces/highs_c_api.h"
#include "lp/highs_session.h"
#include "lp/solver_state.h"

namespace krvu {

double BasisView::var_scale(int k) const {
  if (!scale) return 1.0;
  const int r = rows();
  return k < r ? 1.0 / scale->row[k] : scale->col[k - r];
}

double BasisView::row_scale(int i) const { return scale ? scale->row[i] : 1.0; }

namespace {

// Reads the engine's basic variables into the combined form and checks that
// they are the basis we hold (the engine replaces the columns of a singular
// basis by slacks, which would silently change the answer).
void read_basic(BasisView &b, const std::vector<int> *rstat, const std::vector<int> *cstat,
                const char *func) {
  const int r = b.rows();
  std::vector<int> bv(std::max(r, 1));
  if (r > 0 && Highs_getBasicVariables(b.h, bv.data()) == kHighsStatusError)
    raise(KRVU_ERR_SOLVER, "%s: the engine could not factorize the basis", func);
  b.basic.assign(r, 0);
  b.pos.assign(b.vars(), -1);
  for (int p = 0; p < r; ++p) {
    const int k = bv[p] >= 0 ? r + bv[p] : -bv[p] - 1;
    b.basic[p] = k;
    b.pos[k] = p;
  }
  if (!rstat || !cstat) return;
  for (int i = 0; i < r; ++i)
    if (((*rstat)[i] == 1) != (b.pos[i] >= 0))
      raise(KRVU_ERR_STATE,
            "%s: the basis is singular: the engine could not factorize it as given (row %d)", func,
            i);
  for (int j = 0; j < b.m->ncols(); ++j)
    if (((*cstat)[j] == 1) != (b.pos[r + j] >= 0))
      raise(KRVU_ERR_STATE,
            "%s: the basis is singular: the engine could not factorize it as given (column %d)",
            func, j);
}

void solve(const BasisView &b, std::vector<double> &v, bool transpose, const char *func) {
  const int r = b.rows();
  if (r == 0) return;
  std::vector<double> out(r, 0.0);
  std::vector<int> idx(r);
  int nz = 0;
  int st = transpose ? Highs_getBasisTransposeSolve(b.h, v.data(), out.data(), &nz, idx.data())
                     : Highs_getBasisSolve(b.h, v.data(), out.data(), &nz, idx.data());
  if (st == kHighsStatusError)
    raise(KRVU_ERR_SOLVER, "%s: the engine's basis solve failed", func);
  v.swap(out);
}

}  // namespace

BasisView problem_basis(krvu_prob_s *prob, const char *func) {
  SolverState &s = *prob->data->solver;
  const ModelData &m = read_model(prob);
  if (!s.has_basis || static_cast<int>(s.rstat.size()) != m.nrows() ||
      static_cast<int>(s.cstat.size()) != m.ncols())
    raise(KRVU_ERR_STATE,
          "%s: no basis is available (solve the problem with KRVUlpoptimize or load a basis "
          "first)",
          func);
  if (!s.synced || s.mode != kModeRelaxation) sync_engine(prob, kModeRelaxation, func);
  BasisView b;
  b.h = s.hs->get();
  b.m = &m;
  b.scale = s.engine_scaled ? &s.scaling : nullptr;
  if (Highs_getNumRow(b.h) != m.nrows())
    raise(KRVU_ERR_INTERNAL, "%s: the engine does not hold the problem", func);
  read_basic(b, &s.rstat, &s.cstat, func);
  return b;
}

BasisView engine_basis(void *h, const ModelData &m, const char *func) {
  BasisView b;
  b.h = h;
  b.m = &m;
  read_basic(b, nullptr, nullptr, func);
  return b;
}

void ftran_raw(const BasisView &b, std::vector<double> &v, bool scaled, const char *func) {
  const int r = b.rows();
  // B' = R B D (D: the scales of the basic variables), so B^-1 = D B'^-1 R.
  if (b.scale && !scaled)
    for (int i = 0; i < r; ++i) v[i] *= b.row_scale(i);
  solve(b, v, false, func);
  if (b.scale && !scaled)
    for (int p = 0; p < r; ++p) v[p] *= b.var_scale(b.basic[p]);
}

void btran_raw(const BasisView &b, std::vector<double> &v, bool scaled, const char *func) {
  const int r = b.rows();
  // B^-T = R B'^-T D.
  if (b.scale && !scaled)
    for (int p = 0; p < r; ++p) v[p] *= b.var_scale(b.basic[p]);
  solve(b, v, true, func);
  if (b.scale && !scaled)
    for (int i = 0; i < r; ++i) v[i] *= b.row_scale(i);
}

void ftran(const BasisView &b, std::vector<double> &v, const char *func) {
  ftran_raw(b, v, false, func);
}
void btran(const BasisView &b, std::vector<double> &v, const char *func) {
  btran_raw(b, v, false, func);
}

void var_column(const BasisView &b, int k, bool scaled,
                std::vector<std::pair<int, double>> &col) {
  col.clear();
  const ModelData &m = *b.m;
  const int r = m.nrows();
  const bool sc = scaled && b.scale;
  if (k < r) {
    col.emplace_back(k, sc ? b.row_scale(k) * b.var_scale(k) : 1.0);
    return;
  }
  const int j = k - r;
  for (int64_t e = m.mstart[j]; e < m.mstart[j + 1]; ++e) {
    const int i = m.mrwind[e];
    col.emplace_back(i, sc ? m.dmatval[e] * b.row_scale(i) * b.var_scale(k) : m.dmatval[e]);
  }
}

void var_bounds(const ModelData &m, int k, double &lo, double &up) {
  const int r = m.nrows();
  if (k < r) {
    double alo, aup;
    row_bounds(m, k, alo, aup);
    lo = std::isinf(aup) ? -INFINITY : m.rhs[k] - aup;
    up = std::isinf(alo) ? INFINITY : m.rhs[k] - alo;
    if (m.rowtype[k] == 'E' || m.rowtype[k] == 'L' || m.rowtype[k] == 'R') lo = std::max(lo, 0.0);
    if (m.rowtype[k] == 'E' || m.rowtype[k] == 'G') up = std::min(up, 0.0);
    if (m.rowtype[k] == 'R') up = m.range[k];
    return;
  }
  int type;
  col_bounds(m, k - r, kModeRelaxation, lo, up, type);
}

CombinedSolution combine(const ModelData &m, const std::vector<double> &x,
                         const std::vector<double> &slack, const std::vector<double> &dual,
                         const std::vector<double> &dj, const std::vector<int> &rstat,
                         const std::vector<int> &cstat) {
  const int r = m.nrows(), n = m.ncols();
  CombinedSolution c;
  c.z.resize(r + n);
  c.d.resize(r + n);
  c.stat.resize(r + n);
  for (int i = 0; i < r; ++i) {
    c.z[i] = slack[i];
    c.d[i] = -dual[i];
    // A row at the lower limit of its activity has its slack at the upper
    // bound, and the other way round.
    const int st = rstat[i];
    c.stat[i] = st == 0 ? 2 : st == 2 ? 0 : st;
  }
  for (int j = 0; j < n; ++j) {
    c.z[r + j] = x[j];
    c.d[r + j] = dj[j];
    c.stat[r + j] = cstat[j];
  }
  return c;
}

namespace {

// Which signs of the (minimization) reduced cost keep a nonbasic variable
// optimal: at its lower bound d >= 0, at its upper bound d <= 0, free d = 0,
// fixed any.
void allowed_sign(const ModelData &m, int k, int stat, bool &need_nonneg, bool &need_nonpos) {
  double lo, up;
  var_bounds(m, k, lo, up);
  need_nonneg = need_nonpos = false;
  if (lo == up) return;
  if (stat == 0) need_nonneg = true;
  else if (stat == 2) need_nonpos = true;
  else need_nonneg = need_nonpos = true;  // free (or superbasic) at 0
}

// Narrows [lo, hi] so that d - t * a keeps its allowed sign for every t in it.
void narrow_for_sign(double d, double a, bool nonneg, bool nonpos, double tol, double &lo,
                     double &hi) {
  if (std::fabs(a) <= 1e-12) return;
  if (nonneg) {
    const double dd = std::max(d, 0.0) + (d > -tol ? 0.0 : 0.0);
    if (a > 0) hi = std::min(hi, dd / a);
    else lo = std::max(lo, dd / a);
  }
  if (nonpos) {
    const double dd = std::min(d, 0.0);
    if (a > 0) lo = std::max(lo, dd / a);
    else hi = std::min(hi, dd / a);
  }
}

}  // namespace

void cost_range(const BasisView &b, const CombinedSolution &s, int j, double &lo, double &hi,
                const char *func) {
  const ModelData &m = *b.m;
  const int r = m.nrows(), k = r + j;
  const double sense = m.objsense;
  const double tol = 1e-9;
  lo = -INFINITY;
  hi = INFINITY;
  if (b.pos[k] < 0) {
    // Nonbasic: only its own reduced cost moves, by the change of the cost.
    bool nn, np;
    allowed_sign(m, k, s.stat[k], nn, np);
    const double d = sense * s.d[k];
    if (nn) lo = std::max(lo, -std::max(d, 0.0));
    if (np) hi = std::min(hi, -std::min(d, 0.0));
  } else {
    // Basic at position p: the duals move by t * B^-T e_p and every nonbasic
    // reduced cost by -t * (row p of B^-1 N).
    std::vector<double> rho(r, 0.0);
    rho[b.pos[k]] = 1.0;
    btran(b, rho, func);
    std::vector<std::pair<int, double>> col;
    for (int q = 0; q < b.vars(); ++q) {
      if (b.pos[q] >= 0) continue;
      var_column(b, q, false, col);
      double a = 0;
      for (auto &e : col) a += rho[e.first] * e.second;
      bool nn, np;
      allowed_sign(m, q, s.stat[q], nn, np);
      narrow_for_sign(sense * s.d[q], a, nn, np, tol, lo, hi);
    }
  }
  // The intervals above are for the minimization form (cost times sense).
  if (sense < 0) {
    double l = -hi, h = -lo;
    lo = l;
    hi = h;
  }
}

void rhs_range(const BasisView &b, const CombinedSolution &s, int i, double &lo, double &hi,
               const char *func) {
  const ModelData &m = *b.m;
  const int r = m.nrows();
  lo = -INFINITY;
  hi = INFINITY;
  // Moving rhs_i by t moves the basic variables by t * B^-1 e_i.
  std::vector<double> beta(r, 0.0);
  beta[i] = 1.0;
  ftran(b, beta, func);
  for (int p = 0; p < r; ++p) {
    const double a = beta[p];
    if (std::fabs(a) <= 1e-12) continue;
    const int k = b.basic[p];
    double vlo, vup;
    var_bounds(m, k, vlo, vup);
    const double z = s.z[k];
    // vlo <= z + t a <= vup
    if (a > 0) {
      if (!std::isinf(vup)) hi = std::min(hi, std::max(0.0, vup - z) / a);
      if (!std::isinf(vlo)) lo = std::max(lo, std::min(0.0, vlo - z) / a);
    } else {
      if (!std::isinf(vup)) lo = std::max(lo, std::max(0.0, vup - z) / a);
      if (!std::isinf(vlo)) hi = std::min(hi, std::min(0.0, vlo - z) / a);
    }
  }
}

}  // namespace krvu
