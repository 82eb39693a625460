// The basis functions of the C API: pivot order, basis solves, the ratio
// test of a pivot, stability measures, and the presolve map (the identity:
// the problem is held in its original form).
#include <algorithm>
#include <cmath>
#include <map>

#include "core/common.h"
#include "core/prob.h"
#include "lp/basis_view.h"
#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

SolverState &state(krvu_prob_s *prob) { return *prob->data->solver; }

double to_api(double v) {
  if (v >= KRVU_INFINITY || std::isinf(v)) return v > 0 ? KRVU_INFINITY : -KRVU_INFINITY;
  if (v <= -KRVU_INFINITY) return -KRVU_INFINITY;
  return v;
}

void require_lp_solution(krvu_prob_s *prob, const char *func) {
  if (!state(prob).has_lpsol)
    raise(KRVU_ERR_STATE,
          "%s: no LP solution is available (solve the problem with KRVUlpoptimize first)", func);
}

double vec_norm(const std::vector<double> &v, int norm) {
  double s = 0;
  for (double e : v) {
    if (norm == 0) s = std::max(s, std::fabs(e));
    else if (norm == 1) s += std::fabs(e);
    else s += e * e;
  }
  return norm == 2 ? std::sqrt(s) : s;
}

// B z for z in position space (rows entries), on B or the engine's scaled B'.
std::vector<double> times_b(const BasisView &b, const std::vector<double> &z, bool scaled) {
  std::vector<double> out(b.rows(), 0.0);
  std::vector<std::pair<int, double>> col;
  for (int p = 0; p < b.rows(); ++p) {
    if (z[p] == 0) continue;
    var_column(b, b.basic[p], scaled, col);
    for (auto &e : col) out[e.first] += e.second * z[p];
  }
  return out;
}

// B' y for y in row space.
std::vector<double> times_bt(const BasisView &b, const std::vector<double> &y, bool scaled) {
  std::vector<double> out(b.rows(), 0.0);
  std::vector<std::pair<int, double>> col;
  for (int p = 0; p < b.rows(); ++p) {
    var_column(b, b.basic[p], scaled, col);
    double s = 0;
    for (auto &e : col) s += e.second * y[e.first];
    out[p] = s;
  }
  return out;
}

// ||B^-1||_1 by Hager's estimator (Higham's variant); transposed gives
// ||B^-T||_1 = ||B^-1||_inf.
double inverse_norm1(const BasisView &b, bool transposed, bool scaled, const char *func) {
  const int r = b.rows();
  auto apply = [&](std::vector<double> &v, bool t) {
    if (t != transposed) btran_raw(b, v, scaled, func);
    else ftran_raw(b, v, scaled, func);
  };
  std::vector<double> x(r, 1.0 / r), y, z;
  double est = 0;
  int last = -1;
  for (int it = 0; it < 6; ++it) {
    y = x;
    apply(y, false);
    est = vec_norm(y, 1);
    z.assign(r, 0.0);
    for (int i = 0; i < r; ++i) z[i] = y[i] >= 0 ? 1.0 : -1.0;
    apply(z, true);
    int jmax = 0;
    for (int i = 1; i < r; ++i)
      if (std::fabs(z[i]) > std::fabs(z[jmax])) jmax = i;
    double ztx = 0;
    for (int i = 0; i < r; ++i) ztx += z[i] * x[i];
    if (std::fabs(z[jmax]) <= ztx || jmax == last) break;
    x.assign(r, 0.0);
    x[jmax] = 1.0;
    last = jmax;
  }
  // Higham's alternating vector guards against the estimator's blind spots.
  std::vector<double> v(r);
  for (int i = 0; i < r; ++i) v[i] = (i % 2 ? -1.0 : 1.0) * (1.0 + static_cast<double>(i) / std::max(1, r - 1));
  apply(v, false);
  return std::max(est, 2.0 * vec_norm(v, 1) / (3.0 * r));
}

double matrix_norm(const BasisView &b, int norm, bool scaled) {
  std::vector<double> rowsum(b.rows(), 0.0);
  std::vector<std::pair<int, double>> col;
  double best = 0;
  for (int p = 0; p < b.rows(); ++p) {
    var_column(b, b.basic[p], scaled, col);
    double s = 0;
    for (auto &e : col) {
      s += std::fabs(e.second);
      rowsum[e.first] += std::fabs(e.second);
    }
    best = std::max(best, s);
  }
  if (norm == 1) return best;
  return *std::max_element(rowsum.begin(), rowsum.end());
}

// Largest singular value of B (inverse: of B^-1) by power iterations on B'B
// (on B^-1 B^-T).
double singular_extreme(const BasisView &b, bool inverse, bool scaled, const char *func) {
  const int r = b.rows();
  std::vector<double> v(r);
  for (int i = 0; i < r; ++i) v[i] = 1.0 + 0.01 * (i % 7);
  double lambda = 0;
  for (int it = 0; it < 50; ++it) {
    double nv = vec_norm(v, 2);
    if (nv == 0) return 0;
    for (double &e : v) e /= nv;
    std::vector<double> w;
    if (!inverse) {
      w = times_bt(b, times_b(b, v, scaled), scaled);
    } else {
      w = v;
      btran_raw(b, w, scaled, func);
      ftran_raw(b, w, scaled, func);
    }
    double l = 0;
    for (int i = 0; i < r; ++i) l += w[i] * v[i];
    v.swap(w);
    if (it > 5 && std::fabs(l - lambda) <= 1e-10 * std::fabs(l)) {
      lambda = l;
      break;
    }
    lambda = l;
  }
  return std::sqrt(std::max(lambda, 0.0));
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUgetpivotorder(KRVUprob prob, int mpiv[]) {
  const char *F = "KRVUgetpivotorder";
  return guarded(prob, F, [&] {
    require_ptr(mpiv, F, "mpiv");
    BasisView b = problem_basis(prob, F);
    std::copy(b.basic.begin(), b.basic.end(), mpiv);
    return 0;
  });
}

int KRVUftran(KRVUprob prob, double vec[]) {
  const char *F = "KRVUftran";
  return guarded(prob, F, [&] {
    require_ptr(vec, F, "vec");
    BasisView b = problem_basis(prob, F);
    std::vector<double> v(vec, vec + b.rows());
    for (int i = 0; i < b.rows(); ++i) require_finite(v[i], F, "vec", i);
    ftran(b, v, F);
    std::copy(v.begin(), v.end(), vec);
    return 0;
  });
}

int KRVUbtran(KRVUprob prob, double vec[]) {
  const char *F = "KRVUbtran";
  return guarded(prob, F, [&] {
    require_ptr(vec, F, "vec");
    BasisView b = problem_basis(prob, F);
    std::vector<double> v(vec, vec + b.rows());
    for (int i = 0; i < b.rows(); ++i) require_finite(v[i], F, "vec", i);
    btran(b, v, F);
    std::copy(v.begin(), v.end(), vec);
    return 0;
  });
}

int KRVUgetpivots(KRVUprob prob, int in, int outlist[], double x[], double *dobj, int *npiv,
                  int maxpiv) {
  const char *F = "KRVUgetpivots";
  return guarded(prob, F, [&] {
    require_ptr(dobj, F, "dobj");
    require_ptr(npiv, F, "npiv");
    if (maxpiv < 0) raise(KRVU_ERR_ARGUMENT, "%s: argument 'maxpiv' = %d is negative", F, maxpiv);
    if (maxpiv > 0) require_ptr(outlist, F, "outlist");
    const ModelData &m = read_model(prob);
    const int r = m.nrows();
    require_index(in, r + m.ncols(), F, "in");
    require_lp_solution(prob, F);
    BasisView b = problem_basis(prob, F);
    SolverState &s = state(prob);
    if (b.pos[in] >= 0)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'in' = %d is basic; only a nonbasic variable enters",
            F, in);
    CombinedSolution c = combine(m, s.x, s.slack, s.dual, s.dj, s.rstat, s.cstat);
    double qlo, qup;
    var_bounds(m, in, qlo, qup);
    // Direction: away from the bound it sits at; a free one improving.
    double dir = 1.0;
    const double dmin = m.objsense * c.d[in];
    if (c.stat[in] == 2) dir = -1.0;
    else if (c.stat[in] == 3 && dmin > 0) dir = -1.0;
    if (c.stat[in] != 2 && c.stat[in] != 3 && std::isinf(qlo) && !std::isinf(qup)) dir = -1.0;
    // alpha = B^-1 a_in; the basic variables move by -dir * t * alpha.
    std::vector<double> alpha(r, 0.0);
    std::vector<std::pair<int, double>> col;
    var_column(b, in, false, col);
    for (auto &e : col) alpha[e.first] = e.second;
    ftran(b, alpha, F);
    double tmin = INFINITY;
    std::vector<std::pair<double, int>> ratios;  // (t, combined variable)
    const double ptol = 1e-9;
    double amax = 0;
    for (double a : alpha) amax = std::max(amax, std::fabs(a));
    for (int p = 0; p < r; ++p) {
      const double a = -dir * alpha[p];  // rate of change of the basic variable
      if (std::fabs(a) <= ptol * std::max(1.0, amax)) continue;
      const int k = b.basic[p];
      double lo, up;
      var_bounds(m, k, lo, up);
      double t = INFINITY;
      if (a > 0 && !std::isinf(up)) t = std::max(0.0, up - c.z[k]) / a;
      if (a < 0 && !std::isinf(lo)) t = std::max(0.0, c.z[k] - lo) / -a;
      if (!std::isinf(t)) ratios.emplace_back(t, k);
      tmin = std::min(tmin, t);
    }
    // The entering variable's own other bound.
    double own = INFINITY;
    if (!std::isinf(qlo) && !std::isinf(qup)) own = qup - qlo;
    else if (c.stat[in] == 3) own = dir > 0 ? qup - c.z[in] : c.z[in] - qlo;
    if (own < tmin) tmin = own;
    std::vector<double> z = c.z;
    int count = 0;
    if (std::isinf(tmin)) {
      const double slope = dir * c.d[in];
      *dobj = slope < 0 ? -KRVU_INFINITY : slope > 0 ? KRVU_INFINITY
                                                      : attr_dbl(prob, KRVU_ATTR_LPOBJVAL);
    } else {
      const double tie = 1e-9 * std::max(1.0, tmin);
      std::vector<int> cand;
      std::sort(ratios.begin(), ratios.end());
      for (auto &rt : ratios)
        if (rt.first <= tmin + tie) cand.push_back(rt.second);
      if (own <= tmin + tie) cand.push_back(in);
      count = static_cast<int>(cand.size());
      for (int k = 0; k < std::min(count, maxpiv); ++k) outlist[k] = cand[k];
      z[in] += dir * tmin;
      for (int p = 0; p < r; ++p) z[b.basic[p]] -= dir * tmin * alpha[p];
      double obj = -m.objrhs;
      std::vector<double> xs(z.begin() + r, z.end());
      for (int j = 0; j < m.ncols(); ++j) obj += m.obj[j] * xs[j];
      if (!m.qstart.empty())
        for (int j = 0; j < m.ncols(); ++j)
          for (int64_t e = m.qstart[j]; e < m.qstart[j + 1]; ++e) {
            const int i = m.qrow[e];
            obj += (i == j ? 0.5 : 1.0) * m.qval[e] * xs[i] * xs[j];
          }
      *dobj = obj;
    }
    *npiv = count;
    if (x)
      for (int k = 0; k < r + m.ncols(); ++k) x[k] = to_api(z[k]);
    return 0;
  });
}

int KRVUbasisstability(KRVUprob prob, int type, int norm, int ifscaled, double *value) {
  const char *F = "KRVUbasisstability";
  return guarded(prob, F, [&] {
    require_ptr(value, F, "value");
    if (type < 0 || type > 2)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'type' = %d is not 0, 1 or 2", F, type);
    if (norm < 0 || norm > 2)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'norm' = %d is not 0, 1 or 2", F, norm);
    if (ifscaled != 0 && ifscaled != 1)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'ifscaled' = %d is not 0 or 1", F, ifscaled);
    const ModelData &m = read_model(prob);
    const bool scaled = ifscaled == 1;
    if (type > 0) require_lp_solution(prob, F);
    BasisView b = problem_basis(prob, F);
    const int r = b.rows();
    SolverState &s = state(prob);
    if (r == 0) {
      *value = type == 0 ? 1.0 : 0.0;
      return 0;
    }
    const double sc_on = scaled && b.scale;
    if (type == 0) {
      if (norm == 2) {
        const double smax = singular_extreme(b, false, scaled, F);
        const double inv = singular_extreme(b, true, scaled, F);
        *value = smax * inv;
      } else {
        *value = matrix_norm(b, norm, scaled) * inverse_norm1(b, norm == 0, scaled, F);
      }
      return 0;
    }
    if (type == 1) {
      // b - A x - s, row by row (in the engine's row scale when scaled).
      std::vector<double> res(r), rhs(r);
      for (int i = 0; i < r; ++i) res[i] = m.rhs[i] - s.slack[i];
      for (int j = 0; j < m.ncols(); ++j)
        for (int64_t e = m.mstart[j]; e < m.mstart[j + 1]; ++e)
          res[m.mrwind[e]] -= m.dmatval[e] * s.x[j];
      for (int i = 0; i < r; ++i) {
        const double f = sc_on ? b.row_scale(i) : 1.0;
        res[i] *= f;
        rhs[i] = std::fabs(m.rhs[i]) >= KRVU_INFINITY ? 0.0 : m.rhs[i] * f;
        if (std::fabs(m.rhs[i]) >= KRVU_INFINITY) res[i] = 0;
      }
      *value = vec_norm(res, norm) / (1.0 + vec_norm(rhs, norm));
      return 0;
    }
    // type 2: c_B - B'y over the positions.
    std::vector<double> y(s.dual), cb(r, 0.0);
    if (sc_on)
      for (int i = 0; i < r; ++i) y[i] /= b.row_scale(i);
    std::vector<double> bty = times_bt(b, y, scaled);
    std::vector<double> qx(m.ncols(), 0.0);
    if (!m.qstart.empty())
      for (int j = 0; j < m.ncols(); ++j)
        for (int64_t e = m.qstart[j]; e < m.qstart[j + 1]; ++e) {
          const int i = m.qrow[e];
          qx[i] += m.qval[e] * s.x[j];
          if (i != j) qx[j] += m.qval[e] * s.x[i];
        }
    std::vector<double> res(r);
    for (int p = 0; p < r; ++p) {
      const int k = b.basic[p];
      if (k >= r) cb[p] = (m.obj[k - r] + qx[k - r]) * (sc_on ? b.var_scale(k) : 1.0);
      res[p] = cb[p] - bty[p];
    }
    *value = vec_norm(res, norm) / (1.0 + vec_norm(cb, norm));
    return 0;
  });
}

int KRVUgetpresolvemap(KRVUprob prob, int rowmap[], int colmap[]) {
  return guarded(prob, "KRVUgetpresolvemap", [&] {
    const ModelData &m = read_model(prob);
    if (rowmap)
      for (int i = 0; i < m.nrows(); ++i) rowmap[i] = i;
    if (colmap)
      for (int j = 0; j < m.ncols(); ++j) colmap[j] = j;
    return 0;
  });
}

int KRVUpresolverow(KRVUprob prob, char qrtype, int nzo, const int mcolso[], const double dvalo[],
                    double drhso, int maxcoeffs, int *nzp, int mcolsp[], double dvalp[],
                    double *drhsp, int *status) {
  const char *F = "KRVUpresolverow";
  return guarded(prob, F, [&] {
    if (qrtype != 'L' && qrtype != 'G' && qrtype != 'E')
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'qrtype' = '%c' is not L, G or E", F,
            qrtype ? qrtype : '?');
    require_count(nzo, F, "nzo");
    if (maxcoeffs < 0)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'maxcoeffs' = %d is negative", F, maxcoeffs);
    require_ptr(nzp, F, "nzp");
    require_ptr(drhsp, F, "drhsp");
    require_ptr(status, F, "status");
    const ModelData &m = read_model(prob);
    require_indices(nzo, mcolso, m.ncols(), F, "mcolso");
    if (nzo > 0) require_ptr(dvalo, F, "dvalo");
    for (int k = 0; k < nzo; ++k) require_finite(dvalo[k], F, "dvalo", k);
    require_finite(drhso, F, "drhso", 0);
    if (maxcoeffs > 0) {
      require_ptr(mcolsp, F, "mcolsp");
      require_ptr(dvalp, F, "dvalp");
    }
    std::map<int, double> row;
    for (int k = 0; k < nzo; ++k) row[mcolso[k]] += dvalo[k];
    const double tol = ctl_dbl(prob, 7007);
    int n = 0;
    for (auto &e : row) {
      if (std::fabs(e.second) <= tol) continue;
      if (n < maxcoeffs) {
        mcolsp[n] = e.first;
        dvalp[n] = e.second;
      }
      ++n;
    }
    *nzp = n;
    *drhsp = drhso;
    *status = 0;
    return 0;
  });
}

}  // extern "C"
