// The second-order check after an interior-point run: a point satisfying
// the first-order conditions may still be a saddle of the Lagrangian on the
// constraints active there. The interior-point method cannot tell (its
// Hessian is regularized until the step is a descent direction), so we look
// at the curvature ourselves and, when it is negative along the active
// constraints, offer a start one step along that direction.
#include "slp/ipm_second.h"

#include <algorithm>
#include <cmath>

#include "lp/engine.h"

namespace krvu {
namespace slp {

namespace {

constexpr double kInf = KRVU_INFINITY;
// Dense linear algebra below: only models this small are checked.
constexpr int kMaxFree = 150;

bool near(double v, double limit) {
  return std::fabs(limit) < kInf && std::fabs(v - limit) <= 1e-6 * (1.0 + std::fabs(limit));
}

// Eigenvalues and vectors of the symmetric a (n x n, row-major) by cyclic
// Jacobi rotations; a is destroyed, the vectors are the columns of v.
void jacobi_eigen(int n, std::vector<double> &a, std::vector<double> *w, std::vector<double> *v) {
  v->assign(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) (*v)[i * n + i] = 1.0;
  for (int sweep = 0; sweep < 60; ++sweep) {
    double off = 0.0, diag = 0.0;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) (i == j ? diag : off) += a[i * n + j] * a[i * n + j];
    if (off <= 1e-30 * std::max(diag, 1e-300)) break;
    for (int p = 0; p < n; ++p)
      for (int q = p + 1; q < n; ++q) {
        double apq = a[p * n + q];
        if (apq == 0.0) continue;
        double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
        double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int k = 0; k < n; ++k) {
          double akp = a[k * n + p], akq = a[k * n + q];
          a[k * n + p] = c * akp - s * akq;
          a[k * n + q] = s * akp + c * akq;
        }
        for (int k = 0; k < n; ++k) {
          double apk = a[p * n + k], aqk = a[q * n + k];
          a[p * n + k] = c * apk - s * aqk;
          a[q * n + k] = s * apk + c * aqk;
        }
        for (int k = 0; k < n; ++k) {
          double vkp = (*v)[k * n + p], vkq = (*v)[k * n + q];
          (*v)[k * n + p] = c * vkp - s * vkq;
          (*v)[k * n + q] = s * vkp + c * vkq;
        }
      }
  }
  w->resize(n);
  for (int i = 0; i < n; ++i) (*w)[i] = a[i * n + i];
}

// An orthonormal basis (columns of z, nf x r) of the vectors orthogonal to
// the rows of a (each of length nf): Gram-Schmidt over the rows, then over
// the unit vectors.
int null_space(int nf, const std::vector<std::vector<double>> &rows, std::vector<std::vector<double>> *z) {
  std::vector<std::vector<double>> q;
  auto orth = [&](std::vector<double> r) {
    double n0 = 0.0;
    for (double e : r) n0 += e * e;
    n0 = std::sqrt(n0);
    if (n0 == 0.0) return false;
    for (int pass = 0; pass < 2; ++pass)
      for (const auto &b : q) {
        double d = 0.0;
        for (int k = 0; k < nf; ++k) d += r[k] * b[k];
        for (int k = 0; k < nf; ++k) r[k] -= d * b[k];
      }
    double n1 = 0.0;
    for (double e : r) n1 += e * e;
    n1 = std::sqrt(n1);
    if (n1 <= 1e-8 * n0) return false;
    for (double &e : r) e /= n1;
    q.push_back(std::move(r));
    return true;
  };
  for (const auto &r : rows) orth(r);
  size_t ranked = q.size();
  for (int k = 0; k < nf && static_cast<int>(q.size()) < nf; ++k) {
    std::vector<double> e(nf, 0.0);
    e[k] = 1.0;
    orth(e);
  }
  z->assign(q.begin() + ranked, q.end());
  return static_cast<int>(z->size());
}

}  // namespace

bool saddle_escape(IpmModel &M, const std::vector<double> &fixed, const IpmRun &run,
                   std::vector<double> *start) {
  const Nlp &P = M.nlp();
  if (!M.exact_hessian() || run.lambda.size() != static_cast<size_t>(M.ncons())) return false;
  const int nv = M.nvars(), nc = M.ncons();
  std::vector<double> v(nv);
  for (int k = 0; k < nv; ++k) v[k] = run.x[M.var_col()[k]];
  // The variables free to move: off their bounds, not held.
  std::vector<int> free_of(nv, -1), freev;
  for (int k = 0; k < nv; ++k) {
    int j = M.var_col()[k];
    if (!std::isnan(fixed[j]) || near(v[k], P.lb[j]) || near(v[k], P.ub[j])) continue;
    free_of[k] = static_cast<int>(freev.size());
    freev.push_back(k);
  }
  const int nf = static_cast<int>(freev.size());
  if (nf == 0 || nf > kMaxFree) return false;

  std::vector<double> g(nc), jac(M.jac_var().size()), h(M.hess().size());
  if (!M.constraints(v.data(), g.data()) || !M.jacobian(v.data(), jac.data()) ||
      !M.hessian(v.data(), 1.0, run.lambda.data(), h.data()))
    return false;
  // The gradients of the active rows, over the free variables. Weakly active
  // rows count as equalities too: the subspace is then smaller than the
  // critical cone, so negative curvature on it still rules out a minimum.
  std::vector<std::vector<double>> rows;
  std::vector<int> row_of(nc, -1);
  for (int c = 0; c < nc; ++c) {
    int i = M.con_row()[c];
    if (!near(g[c], P.rlo[i]) && !near(g[c], P.rup[i])) continue;
    row_of[c] = static_cast<int>(rows.size());
    rows.emplace_back(nf, 0.0);
  }
  for (size_t e = 0; e < jac.size(); ++e) {
    int c = M.jac_con()[e], a = free_of[M.jac_var()[e]];
    if (row_of[c] >= 0 && a >= 0) rows[row_of[c]][a] = jac[e];
  }
  std::vector<std::vector<double>> z;
  const int r = null_space(nf, rows, &z);
  if (r == 0) return false;

  // The reduced Hessian Z' H Z.
  std::vector<double> hd(static_cast<size_t>(nf) * nf, 0.0);
  double hmax = 0.0;
  for (size_t e = 0; e < h.size(); ++e) {
    int a = free_of[M.hess()[e].first], b = free_of[M.hess()[e].second];
    hmax = std::max(hmax, std::fabs(h[e]));
    if (a < 0 || b < 0) continue;
    hd[a * nf + b] += h[e];
    if (a != b) hd[b * nf + a] += h[e];
  }
  std::vector<double> red(static_cast<size_t>(r) * r, 0.0), hz(nf);
  for (int q = 0; q < r; ++q) {
    for (int a = 0; a < nf; ++a) {
      double s = 0.0;
      for (int b = 0; b < nf; ++b) s += hd[a * nf + b] * z[q][b];
      hz[a] = s;
    }
    for (int p = 0; p < r; ++p) {
      double s = 0.0;
      for (int a = 0; a < nf; ++a) s += z[p][a] * hz[a];
      red[p * r + q] = s;
    }
  }
  // Curvature down to a small negative margin counts as none: a flat
  // direction (a family of minima, say) gives nothing to gain.
  const double margin = -1e-6 * std::max(1.0, hmax);
  if (dense_positive_definite(red, r, margin)) return false;
  std::vector<double> w, vec;
  jacobi_eigen(r, red, &w, &vec);
  int low = static_cast<int>(std::min_element(w.begin(), w.end()) - w.begin());
  if (w[low] >= margin) return false;
  std::vector<double> d(nf, 0.0);
  for (int p = 0; p < r; ++p)
    for (int a = 0; a < nf; ++a) d[a] += vec[p * r + low] * z[p][a];

  // A step along +-d, the longest that lowers the augmented Lagrangian
  // (with the run's multipliers; it falls as the Lagrangian's curvature
  // along d, whereas a penalty on the rows' violation would grow with the
  // curvature of the rows): the run is to leave the saddle's neighbourhood.
  double ymax = 0.0;
  for (double y : run.lambda) ymax = std::max(ymax, std::fabs(y));
  const double rho = 10.0 * (1.0 + ymax);
  auto merit = [&](const std::vector<double> &u, double *m) {
    double f;
    if (!M.objective(u.data(), &f) || !M.constraints(u.data(), g.data())) return false;
    double sum = f, viol = 0.0;
    for (int c = 0; c < nc; ++c) {
      int i = M.con_row()[c];
      double e = std::max(0.0, P.rlo[i] - g[c]) + std::max(0.0, g[c] - P.rup[i]);
      sum += run.lambda[c] * g[c];
      viol += e * e;
    }
    *m = sum + 0.5 * rho * viol;
    return std::isfinite(*m);
  };
  double m0;
  if (!merit(v, &m0)) return false;
  double xnorm = 1.0;
  for (int k : freev) xnorm = std::max(xnorm, std::fabs(v[k]));
  std::vector<double> u(nv);
  for (double len : {1.0, 0.3, 0.1, 0.03, 0.01, 0.003}) {
    double best = m0 - 1e-8 * (1.0 + std::fabs(m0));
    bool found = false;
    std::vector<double> pick;
    for (double sign : {1.0, -1.0}) {
      u = v;
      for (int a = 0; a < nf; ++a) {
        int k = freev[a], j = M.var_col()[k];
        u[k] = std::min(std::max(v[k] + sign * len * xnorm * d[a], P.lb[j]), P.ub[j]);
      }
      double m;
      if (merit(u, &m) && m < best) {
        best = m;
        pick = u;
        found = true;
      }
    }
    if (!found) continue;
    *start = run.x;
    for (int k = 0; k < nv; ++k) (*start)[M.var_col()[k]] = pick[k];
    return true;
  }
  return false;
}

}  // namespace slp
}  // namespace krvu
