// Successive linear / quadratic programming in the l1 exact-penalty form.
//
// At each iterate x the solver builds a subproblem over HiGHS: the nonlinear
// rows linearised at x with two error columns each (so that every subproblem
// is feasible), the linear rows as they are, the columns within their bounds
// and a box of step bounds (the trust region), and as objective the
// objective's gradient plus the error columns weighted by the penalty mu;
// with the second-order step on, a damped quasi-Newton approximation B of
// the Lagrangian's Hessian makes it a convex QP.  A step is taken when the
// merit function F + mu * (violation of the nonlinear rows) falls by at least
// a tenth of what the subproblem predicted; when it does not, a second-order
// correction (the rows shifted by their linearisation error) is tried once,
// and else the box shrinks.  The penalty grows when the subproblem settles
// for less feasibility than the box allows.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "core/common.h"
#include "interfaces/highs_c_api.h"
#include "lp/engine.h"
#include "lp/highs_session.h"
#include "lp/solver_state.h"
#include "model/store.h"
#include "slp/ipm.h"
#include "slp/ipm_model.h"
#include "slp/minlp.h"
#include "slp/multistart.h"
#include "slp/nlp.h"
#include "slp/slpprob.h"

using namespace krvu;
using namespace krvu::slp;

namespace {

constexpr double kInf = KRVU_INFINITY;

struct SubResult {
  bool ok = false;
  std::vector<double> y;       // new point
  std::vector<double> rowdual; // by model row (0 for rows not in the subproblem)
  double errsum = 0.0;
  double errw = 0.0;           // errsum with each row's weight
  bool quad = false;           // solved with the quasi-Newton matrix
  bool approx = false;         // the QP solver failed its own check by a hair
  // By nonlinear row: its two error columns' values and reduced costs; by
  // column: its reduced cost and whether the subproblem held it fixed.
  std::vector<double> errplus, errminus, plusdj, minusdj, coldj;
  std::vector<char> held;
};

class Solver {
 public:
  Solver(KSLPprob slp, Nlp &p, const char *flags) : slp_(slp), P(p) {
    n_ = P.n;
    m_ = P.m;
    h_ = Highs_create();
    Highs_setBoolOptionValue(h_, "output_flag", 0);
    Highs_setIntOptionValue(h_, "threads", engine_threads(slp->prob));
    // A subproblem is small; one that runs on is cut off (HiGHS's QP solver
    // can cycle on nearly singular matrices) and counts as failed.
    Highs_setIntOptionValue(h_, "qp_iteration_limit", 20000);
    Highs_setDoubleOptionValue(h_, "time_limit", 20.0);
    hinf_ = Highs_getInfinity(h_);
    use_b_ = ctl_i(slp, KSLP_CTRL_HESSIAN) != 0 && !std::strchr(flags ? flags : "", 'l');
    for (int i = 0; i < m_; ++i) {
      if (P.eliminated_row[i]) continue;
      if (P.rlo[i] <= -kInf && P.rup[i] >= kInf) continue;
      (P.nonlinear_row[i] ? nlrows_ : linrows_).push_back(i);
    }
    k_ = static_cast<int>(P.nl_cols.size());
    nlpos_.assign(n_, -1);
    for (int a = 0; a < k_; ++a) nlpos_[P.nl_cols[a]] = a;
    // Over many columns HiGHS's QPs cost far more than the iterations they
    // save: large models take linear steps, unless exact second derivatives
    // were asked for, which are then kept sparse (and need formulas without
    // user functions).
    const bool exact = ctl_i(slp, KSLP_CTRL_HESSIAN) == 2;
    sparse_ = use_b_ && k_ > kDenseLimit;
    if (sparse_ && !exact) use_b_ = sparse_ = false;
    if (use_b_ && exact) exact_setup();
    if (sparse_ && !hm_) use_b_ = sparse_ = false;
    wt_.assign(m_, 1.0);
    for (auto &[r, w] : slp->rowwt)
      if (r < m_) wt_[r] = w;
    order_ = cascade_order_of(slp, P);
    nobox_.assign(n_, 0);
    for (auto &[j, v] : slp->vars)
      if (j < n_) nobox_[j] = (v.vartype & 2) || v.deltatype == KSLP_DELTA_NONE;
    rinfo_.assign(m_, RowSolveInfo());
    cinfo_.assign(n_, ColSolveInfo());
  }
  ~Solver() { Highs_destroy(h_); }

  int run();

 private:
  KSLPprob slp_;
  Nlp &P;
  void *h_;
  double hinf_;
  int n_, m_, k_;
  bool use_b_;
  static constexpr int kDenseLimit = 300;  // columns a dense matrix is kept for
  bool sparse_ = false;                    // B held as the sparse entries below
  std::vector<int> sa_, scol_;             // per entry its row position; per position its first entry
  std::vector<double> sv_;                 // entry values (lower triangle, by column)
  std::vector<int> sentry_;                // per Hessian entry of hm_: its sparse entry
  std::unique_ptr<IpmModel> hm_;          // the Hessian's pattern and tapes (exact mode)
  std::vector<std::pair<int, int>> hpos_;  // per Hessian entry: its place in B (-1: none)
  std::vector<double> hv_, hx_, hlam_;
  std::vector<int> nlrows_, linrows_, nlpos_;

  // State at the iterate.
  std::vector<double> x_, gf_, gval_;   // gval_: value of every row
  std::vector<std::vector<double>> jac_;  // by nonlinear row, over rows[i].cols
  double F_ = 0, V_ = 0, mu_ = 10;
  std::vector<double> base_, B_;
  double r_ = 1.0;
  std::vector<double> lastdual_;
  std::vector<int> last_sign_;
  int iter_ = 0;
  int started_ = 0;  // iterations begun (their iterstart callbacks called)
  bool first_update_ = true;
  double Vw_ = 0;                 // V_ with each row's weight: the merit's part
  std::vector<double> wt_;        // row weights
  std::vector<int> order_;        // determined columns, in cascade order
  std::vector<char> nobox_;       // columns without a step bound
  // Distribution factors standing in for zero derivatives in the first
  // linearisation (NaN: none), shaped as jac_; emptied after the first step.
  std::vector<std::vector<double>> dfcoef_;
  std::vector<RowSolveInfo> rinfo_;
  std::vector<ColSolveInfo> cinfo_;

  double coef(size_t r, size_t k) const {
    if (!dfcoef_.empty() && jac_[r][k] == 0.0 && !std::isnan(dfcoef_[r][k])) return dfcoef_[r][k];
    return jac_[r][k];
  }
  // The transfer columns and the determined columns set from their rows.
  bool cascade(std::vector<double> &x) {
    return P.cascade(x.data()) && cascade_pass(slp_, P, order_, x.data()) && P.cascade(x.data());
  }
  void set_dfs();
  void record(const SubResult &sub);
  void column_tests(const std::vector<double> &d, const std::vector<double> &gft,
                    const std::vector<std::vector<double>> &jact, const std::vector<double> &rowdual,
                    bool *all_converged, bool *any_set);

  double bnd(double v) const { return v >= kInf ? hinf_ : (v <= -kInf ? -hinf_ : v); }

  bool values(const std::vector<double> &x, double *F, std::vector<double> &g, double *V,
              double *Vw) {
    if (!P.objective(x.data(), F)) return false;
    g.assign(m_, 0.0);
    double v = 0.0, vw = 0.0;
    for (int i = 0; i < m_; ++i) {
      if (P.eliminated_row[i]) continue;
      if (!P.value(P.rows[i], x.data(), &g[i])) return false;
      if (P.nonlinear_row[i]) {
        double e = row_violation(g[i], P.rlo[i], P.rup[i]);
        v += e;
        vw += wt_[i] * e;
      }
    }
    *V = v;
    *Vw = vw;
    return true;
  }

  bool gradients(const std::vector<double> &x, std::vector<double> &gf,
                 std::vector<std::vector<double>> &jac) {
    gf.assign(n_, 0.0);
    double v;
    if (!P.gradient(P.obj, x.data(), P.sense, gf.data(), &v)) return false;
    jac.resize(nlrows_.size());
    std::vector<double> dense(n_, 0.0);
    for (size_t r = 0; r < nlrows_.size(); ++r) {
      const Func &f = P.rows[nlrows_[r]];
      if (!P.gradient(f, x.data(), 1.0, dense.data(), &v)) return false;
      jac[r].resize(f.cols.size());
      for (size_t k = 0; k < f.cols.size(); ++k) {
        jac[r][k] = dense[f.cols[k]];
        dense[f.cols[k]] = 0.0;
      }
    }
    return true;
  }

  // Solves the subproblem at x_.  mode 0: the penalty QP/LP; 1: least
  // violation only.  shift (per nonlinear row) moves the linearised rows.
  SubResult solve_sub(int mode, bool quad, const std::vector<double> *shift);
  // The optimality residual at x_ for multipliers by row.
  double kkt(const std::vector<double> &rowdual, std::vector<double> *dj);
  void bfgs(const std::vector<double> &s, const std::vector<double> &yv);
  // Exact second derivatives: the Lagrangian's Hessian at x for the row
  // multipliers (empty: the objective's alone), shifted to be positive
  // definite, becomes B.  False when it could not be evaluated.
  void exact_setup();
  // B's diagonal, B times the model columns x (by position), and d'Bd.
  double b_diag(int a) const {
    return sparse_ ? sv_[scol_[a]] : B_[static_cast<size_t>(a) * k_ + a];
  }
  void b_times(const std::vector<double> &x, const std::vector<char> &skip, std::vector<double> &out) const;
  double b_quad(const std::vector<double> &d) const;
  // Whether a subproblem point keeps its bounds and rows within a small
  // tolerance (rows given row-wise as passed to HiGHS).
  bool near_feasible(const std::vector<double> &cv, const std::vector<double> &clo,
                     const std::vector<double> &cup, const std::vector<HighsInt> &start,
                     const std::vector<HighsInt> &index, const std::vector<double> &val,
                     const std::vector<double> &rlo, const std::vector<double> &rup) const;
  bool exact_b(const std::vector<double> &x, const std::vector<double> &rowdual);
  void reset_b();
  bool lagrangian_grad(const std::vector<double> &gf, const std::vector<std::vector<double>> &jac,
                       const std::vector<double> &rowdual, std::vector<double> &out);
  bool project_start();
  bool interrupted(const std::chrono::steady_clock::time_point &t0);
  // The iteration callbacks: iterend, then itervar for every column; true
  // when one of them asked to stop.
  bool end_iteration();
  void finish(int status, const std::vector<double> &rowdual);
};

SubResult Solver::solve_sub(int mode, bool quad, const std::vector<double> *shift) {
  SubResult res;
  const int ne = static_cast<int>(nlrows_.size());
  const int nc = n_ + 2 * ne;
  std::vector<double> cost(nc, 0.0), clo(nc), cup(nc), fixed(n_, NAN);
  auto is_fixed = [&](int j) { return !std::isnan(fixed[j]); };
  for (int j = 0; j < n_; ++j) {
    double lo = P.lb[j], up = P.ub[j];
    auto it = slp_->vars.find(j);
    int vt = it == slp_->vars.end() ? 0 : it->second.vartype;
    if (P.eliminated_col[j] || (vt & 1)) {
      lo = up = x_[j];
    } else if (!nobox_[j]) {
      double d = r_ * base_[j];
      lo = std::max(lo, x_[j] - d);
      up = std::min(up, x_[j] + d);
    }
    if (lo > up) lo = up = std::min(std::max(x_[j], P.lb[j]), P.ub[j]);
    // A fixed column is taken out: its value moves into the row limits and
    // the column sits at 0 (HiGHS's QP solver can end in error on a column
    // fixed at a value other than 0).
    if (lo == up) {
      fixed[j] = lo;
      clo[j] = cup[j] = 0.0;
      continue;
    }
    clo[j] = bnd(lo);
    cup[j] = bnd(up);
    if (mode == 0) cost[j] = gf_[j];
  }
  for (int e = 0; e < 2 * ne; ++e) {
    clo[n_ + e] = 0.0;
    cup[n_ + e] = hinf_;
    cost[n_ + e] = (mode == 0 ? mu_ : 1.0) * wt_[nlrows_[e / 2]];
  }
  // Errors held by KSLPfixpenalties: + lifts a row to its lower limit, -
  // lowers it to its upper one.
  if (slp_->fixed_err.size() == static_cast<size_t>(m_))
    for (int r = 0; r < ne; ++r) {
      double f = slp_->fixed_err[nlrows_[r]];
      clo[n_ + 2 * r] = cup[n_ + 2 * r] = std::max(0.0, f);
      clo[n_ + 2 * r + 1] = cup[n_ + 2 * r + 1] = std::max(0.0, -f);
    }
  const bool scaled = slp_->rowscale.size() == static_cast<size_t>(m_);
  // Rows, row-wise.
  std::vector<HighsInt> start{0}, index;
  std::vector<double> val, rlo, rup;
  std::vector<int> model_row;
  std::vector<double> row_factor;  // of each subproblem row (KSLPscaling)
  for (size_t r = 0; r < nlrows_.size(); ++r) {
    int i = nlrows_[r];
    const Func &f = P.rows[i];
    const double sc = scaled ? slp_->rowscale[i] : 1.0;
    double lin = gval_[i];
    for (size_t k = 0; k < f.cols.size(); ++k) {
      double a = coef(r, k);
      if (a == 0.0) continue;
      int j = f.cols[k];
      lin -= a * x_[j];
      if (is_fixed(j)) {
        lin += a * fixed[j];
        continue;
      }
      index.push_back(j);
      val.push_back(sc * a);
    }
    index.push_back(n_ + 2 * static_cast<int>(r));
    val.push_back(sc);
    index.push_back(n_ + 2 * static_cast<int>(r) + 1);
    val.push_back(-sc);
    start.push_back(static_cast<HighsInt>(index.size()));
    double s = shift ? (*shift)[r] : 0.0;
    rlo.push_back(P.rlo[i] <= -kInf ? -hinf_ : sc * (P.rlo[i] - lin - s));
    rup.push_back(P.rup[i] >= kInf ? hinf_ : sc * (P.rup[i] - lin - s));
    model_row.push_back(i);
    row_factor.push_back(sc);
  }
  for (int i : linrows_) {
    const Func &f = P.rows[i];
    double moved = 0.0;
    for (size_t k = 0; k < f.lin_col.size(); ++k) {
      if (is_fixed(f.lin_col[k])) {
        moved += f.lin_val[k] * fixed[f.lin_col[k]];
        continue;
      }
      index.push_back(f.lin_col[k]);
      val.push_back(f.lin_val[k]);
    }
    start.push_back(static_cast<HighsInt>(index.size()));
    rlo.push_back(P.rlo[i] <= -kInf ? -hinf_ : P.rlo[i] - moved);
    rup.push_back(P.rup[i] >= kInf ? hinf_ : P.rup[i] - moved);
    model_row.push_back(i);
  }
  const int nr = static_cast<int>(model_row.size());
  start.pop_back();
  // Hessian: lower triangle, column-wise.
  std::vector<HighsInt> qstart, qindex;
  std::vector<double> qval;
  if (quad && mode == 0) {
    qstart.assign(nc, 0);
    for (int j = 0; j < n_; ++j) {
      qstart[j] = static_cast<HighsInt>(qindex.size());
      auto it = slp_->vars.find(j);
      double prox = it == slp_->vars.end() ? 0.0 : it->second.penalty;
      int a = nlpos_[j];
      if (is_fixed(j)) continue;
      if (a >= 0 && sparse_) {
        for (int e = scol_[a]; e < scol_[a + 1]; ++e) {
          double v = sv_[e] + (sa_[e] == a ? prox : 0.0);
          if (v != 0.0 && !is_fixed(P.nl_cols[sa_[e]])) {
            qindex.push_back(P.nl_cols[sa_[e]]);
            qval.push_back(v);
          }
        }
      } else if (a >= 0) {
        for (int b = a; b < k_; ++b) {
          double v = B_[static_cast<size_t>(a) * k_ + b] + (b == a ? prox : 0.0);
          if (v != 0.0 && !is_fixed(P.nl_cols[b])) {
            qindex.push_back(P.nl_cols[b]);
            qval.push_back(v);
          }
        }
      } else if (prox > 0) {
        qindex.push_back(j);
        qval.push_back(prox);
      }
    }
    for (int j = n_; j < nc; ++j) qstart[j] = static_cast<HighsInt>(qindex.size());
    // The linear term of 0.5 (y-x)'B(y-x).
    std::vector<char> skip(k_);
    for (int a = 0; a < k_; ++a) skip[a] = is_fixed(P.nl_cols[a]);
    std::vector<double> bx;
    b_times(x_, skip, bx);
    for (int a = 0; a < k_; ++a)
      if (!skip[a]) cost[P.nl_cols[a]] -= bx[a];
    for (auto &[j, v] : slp_->vars)
      if (j < n_ && v.penalty > 0 && !is_fixed(j)) cost[j] -= v.penalty * x_[j];
  }
  // A quasi-Newton matrix far below unit size (a nearly flat objective) sends
  // HiGHS's QP solver cycling on its absolute tolerances: the QP is solved in
  // units where the matrix's largest diagonal entry is 1, and its duals are
  // brought back.
  double sigma = 1.0;
  if (!qval.empty()) {
    double bmax = 0.0;
    for (int a = 0; a < k_; ++a) bmax = std::max(bmax, b_diag(a));
    double cmax = 0.0;
    for (double v : cost) cmax = std::max(cmax, std::fabs(v));
    // ... as long as the costs stay within what the QP solver resolves.
    if (bmax > 0 && bmax < 1e-2) sigma = std::max(1.0, std::min({1.0 / bmax, 1e6, 1e6 / std::max(cmax, 1.0)}));
    if (sigma != 1.0) {
      for (double &v : cost) v *= sigma;
      for (double &v : qval) v *= sigma;
    }
  }
  HighsInt st;
  if (!qval.empty())
    st = Highs_passModel(h_, nc, nr, static_cast<HighsInt>(index.size()),
                         static_cast<HighsInt>(qval.size()), kHighsMatrixFormatRowwise,
                         kHighsHessianFormatTriangular, kHighsObjSenseMinimize, 0.0, cost.data(),
                         clo.data(), cup.data(), rlo.data(), rup.data(), start.data(), index.data(),
                         val.data(), qstart.data(), qindex.data(), qval.data(), nullptr);
  else
    st = Highs_passLp(h_, nc, nr, static_cast<HighsInt>(index.size()), kHighsMatrixFormatRowwise,
                      kHighsObjSenseMinimize, 0.0, cost.data(), clo.data(), cup.data(), rlo.data(),
                      rup.data(), start.data(), index.data(), val.data());
  if (st == kHighsStatusError) return res;
  st = Highs_run(h_);
  const int ms = Highs_getModelStatus(h_);
  std::vector<double> cv(nc), cd(nc), rv(nr), rd(nr);
  if (st == kHighsStatusError || ms != kHighsModelStatusOptimal) {
    // HiGHS's QP solver can end at its optimum but fail its own check by a
    // few millionths (bounds near zero, a stiff matrix).  Such a point is
    // good enough for a step, which the merit test judges anyway; falling
    // back to linear steps instead crawls.
    if (qval.empty() || ms != kHighsModelStatusSolveError) return res;
    Highs_getSolution(h_, cv.data(), cd.data(), rv.data(), rd.data());
    if (!near_feasible(cv, clo, cup, start, index, val, rlo, rup)) return res;
    res.approx = true;
  } else {
    Highs_getSolution(h_, cv.data(), cd.data(), rv.data(), rd.data());
  }
  res.ok = true;
  res.quad = !qval.empty();
  res.y.assign(cv.begin(), cv.begin() + n_);
  for (int j = 0; j < n_; ++j)
    if (is_fixed(j)) res.y[j] = fixed[j];
  for (int j = 0; j < n_; ++j) res.y[j] = std::min(std::max(res.y[j], P.lb[j]), P.ub[j]);
  for (int e = 0; e < 2 * ne; ++e) {
    res.errsum += std::max(0.0, cv[n_ + e]);
    res.errw += wt_[nlrows_[e / 2]] * std::max(0.0, cv[n_ + e]);
  }
  res.errplus.resize(ne);
  res.errminus.resize(ne);
  res.plusdj.resize(ne);
  res.minusdj.resize(ne);
  for (int r = 0; r < ne; ++r) {
    res.errplus[r] = cv[n_ + 2 * r];
    res.errminus[r] = cv[n_ + 2 * r + 1];
    res.plusdj[r] = cd[n_ + 2 * r];
    res.minusdj[r] = cd[n_ + 2 * r + 1];
  }
  res.coldj.assign(cd.begin(), cd.begin() + n_);
  res.held.assign(n_, 0);
  for (int j = 0; j < n_; ++j) res.held[j] = is_fixed(j);
  res.rowdual.assign(m_, 0.0);
  for (int r = 0; r < nr; ++r)
    res.rowdual[model_row[r]] =
        rd[r] / sigma * (r < static_cast<int>(row_factor.size()) ? row_factor[r] : 1.0);
  return res;
}

bool Solver::lagrangian_grad(const std::vector<double> &gf,
                             const std::vector<std::vector<double>> &jac,
                             const std::vector<double> &rowdual, std::vector<double> &out) {
  out = gf;
  for (size_t r = 0; r < nlrows_.size(); ++r) {
    const Func &f = P.rows[nlrows_[r]];
    double y = rowdual[nlrows_[r]];
    if (y == 0.0) continue;
    for (size_t k = 0; k < f.cols.size(); ++k) out[f.cols[k]] -= y * jac[r][k];
  }
  return true;
}

double Solver::kkt(const std::vector<double> &rowdual, std::vector<double> *dj) {
  std::vector<double> g;
  lagrangian_grad(gf_, jac_, rowdual, g);
  for (int i : linrows_) {
    const Func &f = P.rows[i];
    for (size_t k = 0; k < f.lin_col.size(); ++k) g[f.lin_col[k]] -= rowdual[i] * f.lin_val[k];
  }
  // The residual is measured against the size of the terms that make up the
  // Lagrangian's gradient: the objective's gradient and each row's gradient
  // times its multiplier.  A model multiplied by a constant then stops at the
  // same point.
  double scale = 1.0;
  for (int j = 0; j < n_; ++j) scale = std::max(scale, std::fabs(gf_[j]));
  auto row_scale = [&](int i, const double *gr, size_t cnt) {
    double y = std::fabs(rowdual[i]), big = 0.0;
    if (y == 0.0) return;
    for (size_t k = 0; k < cnt; ++k) big = std::max(big, std::fabs(gr[k]));
    scale = std::max(scale, y * big);
  };
  for (size_t r = 0; r < nlrows_.size(); ++r) row_scale(nlrows_[r], jac_[r].data(), jac_[r].size());
  for (int i : linrows_) row_scale(i, P.rows[i].lin_val.data(), P.rows[i].lin_val.size());
  double worst = 0.0;
  for (int j = 0; j < n_; ++j) {
    if (P.eliminated_col[j]) continue;
    double tl = 1e-7 * (1 + std::fabs(P.lb[j])), tu = 1e-7 * (1 + std::fabs(P.ub[j]));
    bool atl = x_[j] - P.lb[j] <= tl, atu = P.ub[j] - x_[j] <= tu;
    double v;
    if (atl && atu) v = 0.0;
    else if (atl) v = std::max(0.0, -g[j]);
    else if (atu) v = std::max(0.0, g[j]);
    else v = std::fabs(g[j]);
    worst = std::max(worst, v);
  }
  for (int i = 0; i < m_; ++i) {
    double y = rowdual[i];
    if (y == 0.0 || P.eliminated_row[i]) continue;
    double dist = y > 0 ? (P.rlo[i] <= -kInf ? kInf : std::fabs(gval_[i] - P.rlo[i]))
                        : (P.rup[i] >= kInf ? kInf : std::fabs(gval_[i] - P.rup[i]));
    worst = std::max(worst, dist >= kInf ? std::fabs(y) : std::fabs(y) * std::min(dist, 1.0));
  }
  if (dj) *dj = g;
  return worst / scale;
}

void Solver::bfgs(const std::vector<double> &s, const std::vector<double> &yv) {
  const int k = k_;
  std::vector<double> ss(k), yy(k), bs(k, 0.0);
  for (int a = 0; a < k; ++a) {
    ss[a] = s[P.nl_cols[a]];
    yy[a] = yv[P.nl_cols[a]];
  }
  double sy = 0, sbs = 0, snorm = 0;
  for (int a = 0; a < k; ++a) {
    for (int b = 0; b < k; ++b) bs[a] += B_[static_cast<size_t>(a) * k + b] * ss[b];
    sy += ss[a] * yy[a];
    sbs += ss[a] * bs[a];
    snorm += ss[a] * ss[a];
  }
  if (snorm < 1e-30 || sbs <= 0) return;
  if (first_update_) {
    // Scale the identity to the curvature seen before the first update.
    double yy2 = 0;
    for (double v : yy) yy2 += v * v;
    if (sy > 1e-12 * std::sqrt(snorm * yy2)) {
      double sc = yy2 / sy;
      for (double &v : B_) v *= sc;
      for (double &v : bs) v *= sc;
      sbs *= sc;
    }
    first_update_ = false;
  }
  double theta = 1.0;
  if (sy < 0.2 * sbs) theta = 0.8 * sbs / (sbs - sy);  // Powell's damping
  std::vector<double> rr(k);
  double sr = 0;
  for (int a = 0; a < k; ++a) {
    rr[a] = theta * yy[a] + (1 - theta) * bs[a];
    sr += ss[a] * rr[a];
  }
  if (sr <= 1e-16 * sbs) return;
  std::vector<double> saved = B_;
  for (int a = 0; a < k; ++a)
    for (int b = 0; b < k; ++b)
      B_[static_cast<size_t>(a) * k + b] += rr[a] * rr[b] / sr - bs[a] * bs[b] / sbs;
  // Rounding can cost the update its positive definiteness, which the QP
  // needs: such an update is dropped.
  if (k <= 400 && !dense_positive_definite(B_, k, 0.0, 1e-14)) B_.swap(saved);
}

bool Solver::near_feasible(const std::vector<double> &cv, const std::vector<double> &clo,
                           const std::vector<double> &cup, const std::vector<HighsInt> &start,
                           const std::vector<HighsInt> &index, const std::vector<double> &val,
                           const std::vector<double> &rlo, const std::vector<double> &rup) const {
  constexpr double kTol = 1e-5;
  auto off = [&](double v, double lo, double up) {
    return !std::isfinite(v) || v < lo - kTol * (1 + std::fabs(lo)) || v > up + kTol * (1 + std::fabs(up));
  };
  for (size_t j = 0; j < cv.size(); ++j)
    if (off(cv[j], clo[j], cup[j])) return false;
  for (size_t r = 0; r < rlo.size(); ++r) {
    const size_t end = r + 1 < start.size() ? static_cast<size_t>(start[r + 1]) : index.size();
    double act = 0.0;
    for (size_t e = static_cast<size_t>(start[r]); e < end; ++e) act += val[e] * cv[index[e]];
    if (off(act, rlo[r], rup[r])) return false;
  }
  return true;
}

void Solver::exact_setup() {
  auto m = std::make_unique<IpmModel>(P);
  if (!m->exact_hessian()) return;  // user functions: the quasi-Newton matrix stands in
  hpos_.clear();
  for (const auto &e : m->hess()) {
    int a = nlpos_[m->var_col()[e.first]], b = nlpos_[m->var_col()[e.second]];
    hpos_.emplace_back(a, a >= 0 && b >= 0 ? b : -1);
  }
  hv_.assign(m->hess().size(), 0.0);
  hx_.assign(m->nvars(), 0.0);
  hlam_.assign(m->ncons(), 0.0);
  hm_ = std::move(m);
  if (!sparse_) return;
  // The pattern by column (the smaller position), every diagonal included.
  std::vector<std::pair<int, int>> ent;  // (column b, row a), a >= b
  for (int a = 0; a < k_; ++a) ent.emplace_back(a, a);
  for (auto [a, b] : hpos_)
    if (a >= 0 && b >= 0) ent.emplace_back(std::min(a, b), std::max(a, b));
  std::sort(ent.begin(), ent.end());
  ent.erase(std::unique(ent.begin(), ent.end()), ent.end());
  sa_.clear();
  scol_.assign(k_ + 1, 0);
  for (auto [b, a] : ent) {
    sa_.push_back(a);
    ++scol_[b + 1];
  }
  for (int b = 0; b < k_; ++b) scol_[b + 1] += scol_[b];
  sv_.assign(sa_.size(), 0.0);
  sentry_.assign(hpos_.size(), -1);
  for (size_t e = 0; e < hpos_.size(); ++e) {
    auto [a, b] = hpos_[e];
    if (a < 0 || b < 0) continue;
    const int lo = std::min(a, b), hi = std::max(a, b);
    sentry_[e] = static_cast<int>(std::lower_bound(sa_.begin() + scol_[lo], sa_.begin() + scol_[lo + 1], hi) -
                                  sa_.begin());
  }
}

bool Solver::exact_b(const std::vector<double> &x, const std::vector<double> &rowdual) {
  const int k = k_;
  for (int v = 0; v < hm_->nvars(); ++v) hx_[v] = x[hm_->var_col()[v]];
  // The subproblem's Lagrangian is the objective minus y times the rows.
  for (int c = 0; c < hm_->ncons(); ++c)
    hlam_[c] = rowdual.empty() ? 0.0 : -rowdual[hm_->con_row()[c]];
  if (!hm_->hessian(hx_.data(), P.sense, hlam_.data(), hv_.data())) return false;
  if (sparse_) {
    // Each diagonal entry raised to dominate its row (Gershgorin), which
    // makes the matrix positive definite without a factorisation.
    std::vector<double> v(sv_.size(), 0.0), off(k, 0.0);
    double big = 0.0;
    for (size_t e = 0; e < hpos_.size(); ++e)
      if (sentry_[e] >= 0 && std::isfinite(hv_[e])) {
        v[sentry_[e]] += hv_[e];
        big = std::max(big, std::fabs(hv_[e]));
      }
    for (int b = 0; b < k; ++b)
      for (int e = scol_[b] + 1; e < scol_[b + 1]; ++e) {
        off[b] += std::fabs(v[e]);
        off[sa_[e]] += std::fabs(v[e]);
      }
    const double beta = 1e-6 * std::max(1.0, big);
    for (int a = 0; a < k; ++a) v[scol_[a]] = std::max(v[scol_[a]], off[a] + beta);
    sv_.swap(v);
    return true;
  }
  std::vector<double> H(static_cast<size_t>(k) * k, 0.0);
  double big = 0.0;
  for (size_t e = 0; e < hpos_.size(); ++e) {
    auto [a, b] = hpos_[e];
    if (a < 0 || b < 0 || !std::isfinite(hv_[e])) continue;
    H[static_cast<size_t>(a) * k + b] += hv_[e];
    if (a != b) H[static_cast<size_t>(b) * k + a] += hv_[e];
    big = std::max(big, std::fabs(hv_[e]));
  }
  // The smallest shift of the diagonal that makes it positive definite
  // within a factor of two (a convex Hessian is kept as it is).
  const double beta = 1e-6 * std::max(1.0, big);
  double mindiag = INFINITY;
  for (int a = 0; a < k; ++a) mindiag = std::min(mindiag, H[static_cast<size_t>(a) * k + a]);
  double tau = mindiag > 0 ? 0.0 : beta - mindiag;
  std::vector<double> M(H);
  for (int tries = 0; tries < 80; ++tries) {
    for (int a = 0; a < k; ++a) M[static_cast<size_t>(a) * k + a] = H[static_cast<size_t>(a) * k + a] + tau;
    if (dense_positive_definite(M, k, 0.0, 1e-14)) {
      B_.swap(M);
      return true;
    }
    tau = std::max(2.0 * tau, beta);
  }
  return false;
}

void Solver::reset_b() {
  if (!use_b_) return;  // linear steps keep no matrix
  if (sparse_) {
    std::fill(sv_.begin(), sv_.end(), 0.0);
    for (int a = 0; a < k_; ++a) sv_[scol_[a]] = 1.0;
  } else {
    std::fill(B_.begin(), B_.end(), 0.0);
    for (int a = 0; a < k_; ++a) B_[static_cast<size_t>(a) * k_ + a] = 1.0;
  }
  first_update_ = true;
}

void Solver::b_times(const std::vector<double> &x, const std::vector<char> &skip,
                     std::vector<double> &out) const {
  out.assign(k_, 0.0);
  if (sparse_) {
    for (int b = 0; b < k_; ++b) {
      if (skip[b]) continue;
      for (int e = scol_[b]; e < scol_[b + 1]; ++e) {
        const int a = sa_[e];
        if (skip[a]) continue;
        out[a] += sv_[e] * x[P.nl_cols[b]];
        if (a != b) out[b] += sv_[e] * x[P.nl_cols[a]];
      }
    }
    return;
  }
  for (int a = 0; a < k_; ++a) {
    if (skip[a]) continue;
    double v = 0.0;
    for (int b = 0; b < k_; ++b)
      if (!skip[b]) v += B_[static_cast<size_t>(a) * k_ + b] * x[P.nl_cols[b]];
    out[a] = v;
  }
}

double Solver::b_quad(const std::vector<double> &d) const {
  double q = 0.0;
  if (sparse_) {
    for (int b = 0; b < k_; ++b) {
      const double db = d[P.nl_cols[b]];
      if (db == 0.0) continue;
      for (int e = scol_[b]; e < scol_[b + 1]; ++e)
        q += (sa_[e] == b ? 1.0 : 2.0) * sv_[e] * d[P.nl_cols[sa_[e]]] * db;
    }
    return q;
  }
  for (int a = 0; a < k_; ++a) {
    const double da = d[P.nl_cols[a]];
    if (da == 0.0) continue;
    double bd = 0.0;
    for (int b = 0; b < k_; ++b) bd += B_[static_cast<size_t>(a) * k_ + b] * d[P.nl_cols[b]];
    q += da * bd;
  }
  return q;
}

bool Solver::project_start() {
  // Bounds first; then the linear rows, which every later step keeps.
  for (int j = 0; j < n_; ++j) x_[j] = std::min(std::max(x_[j], P.lb[j]), P.ub[j]);
  bool violated = false;
  for (int i : linrows_) {
    double v;
    P.value(P.rows[i], x_.data(), &v);
    if (row_violation(v, P.rlo[i], P.rup[i]) > 1e-9 * (1 + std::fabs(v))) violated = true;
  }
  if (!violated && !linrows_.empty()) return true;
  if (linrows_.empty()) return true;
  // min sum |y - x0| over the linear rows and the bounds.
  const int nc = 3 * n_;
  std::vector<double> cost(nc, 0.0), clo(nc, 0.0), cup(nc, hinf_);
  for (int j = 0; j < n_; ++j) {
    clo[j] = bnd(P.lb[j]);
    cup[j] = bnd(P.ub[j]);
    cost[n_ + j] = cost[2 * n_ + j] = 1.0;
  }
  std::vector<HighsInt> start, index;
  std::vector<double> val, rlo, rup;
  for (int i : linrows_) {
    start.push_back(static_cast<HighsInt>(index.size()));
    const Func &f = P.rows[i];
    for (size_t k = 0; k < f.lin_col.size(); ++k) {
      index.push_back(f.lin_col[k]);
      val.push_back(f.lin_val[k]);
    }
    rlo.push_back(bnd(P.rlo[i]));
    rup.push_back(bnd(P.rup[i]));
  }
  for (int j = 0; j < n_; ++j) {
    start.push_back(static_cast<HighsInt>(index.size()));
    index.insert(index.end(), {j, n_ + j, 2 * n_ + j});
    val.insert(val.end(), {1.0, -1.0, 1.0});
    rlo.push_back(x_[j]);
    rup.push_back(x_[j]);
  }
  Highs_passLp(h_, nc, static_cast<HighsInt>(rlo.size()), static_cast<HighsInt>(index.size()),
               kHighsMatrixFormatRowwise, kHighsObjSenseMinimize, 0.0, cost.data(), clo.data(),
               cup.data(), rlo.data(), rup.data(), start.data(), index.data(), val.data());
  Highs_run(h_);
  if (Highs_getModelStatus(h_) != kHighsModelStatusOptimal) return false;
  std::vector<double> cv(nc);
  Highs_getSolution(h_, cv.data(), nullptr, nullptr, nullptr);
  for (int j = 0; j < n_; ++j) x_[j] = std::min(std::max(cv[j], P.lb[j]), P.ub[j]);
  return true;
}

bool Solver::end_iteration() {
  // Callbacks read the iterations done so far, this one included.
  set_attr_i(slp_, KSLP_ATTR_ITERATIONS, started_);
  bool stop = slpcb_fire_iterend(slp_) != 0;
  if (slpcb_has(slp_, kSlpCb_itervar))
    for (int j = 0; j < n_ && !stop; ++j)
      if (!P.eliminated_col[j]) stop = slpcb_fire_itervar(slp_, j) != 0;
  if (stop) slp_->interrupt.store(true);
  return stop;
}

bool Solver::interrupted(const std::chrono::steady_clock::time_point &t0) {
  if (slp_->interrupt.load()) return true;
  if (slp_->prob->data->solver && slp_->prob->data->solver->interrupt.load()) return true;
  if (slp_->owner && slp_->owner->prob->data->solver && slp_->owner->prob->data->solver->interrupt.load())
    return true;
  double limit = ctl_d(slp_, KSLP_CTRL_TIMELIMIT);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return limit < kInf && secs > limit;
}

void Solver::finish(int status, const std::vector<double> &rowdual) {
  const ModelData &md = read_model(slp_->prob);
  P.cascade(x_.data());
  std::vector<double> act(m_, 0.0);
  double maxviol = 0.0;
  for (int i = 0; i < m_; ++i) {
    if (P.eliminated_row[i]) {
      act[i] = md.rhs[i];
      continue;
    }
    P.value(P.rows[i], x_.data(), &act[i]);
    if (md.rowtype[i] != 'N') maxviol = std::max(maxviol, row_violation(act[i], P.rlo[i], P.rup[i]));
  }
  for (int j = 0; j < n_; ++j)
    maxviol = std::max(maxviol, row_violation(x_[j], P.lb[j], P.ub[j]));
  // Never optimal while a row is violated beyond the tolerance.
  if ((status == KSLP_NLPSTATUS_LOCALLY_OPTIMAL || status == KSLP_NLPSTATUS_OPTIMAL) &&
      maxviol > ctl_d(slp_, KSLP_CTRL_FEASTOL))
    status = KSLP_NLPSTATUS_LOCALLY_INFEASIBLE;
  if (status == KSLP_NLPSTATUS_LOCALLY_OPTIMAL) {
    // Without formulas the problem may be a convex quadratic one, whose
    // local optimum is global; a nonconvex one is said to be solved locally.
    const int convex = P.quadratic_convexity();
    const int loglevel = static_cast<int>(ctl_i(slp_, KSLP_CTRL_LOG));
    if (convex == 1) {
      status = KSLP_NLPSTATUS_OPTIMAL;
      if (loglevel > 0) slp_log(slp_, KRVU_MSG_LOG, "The problem is convex: the solution is globally optimal");
    } else if (convex == 0 && loglevel > 0) {
      slp_log(slp_, KRVU_MSG_LOG,
              "The quadratic parts are not convex: the solution is locally optimal only");
    }
  }
  std::vector<double> dj;
  double kres = 0.0;
  if (!rowdual.empty()) {
    gradients(x_, gf_, jac_);
    gval_ = act;
    kres = kkt(rowdual, &dj);
  }
  slp_->x = x_;
  slp_->slack.assign(m_, 0.0);
  slp_->dual.assign(m_, 0.0);
  slp_->dj.assign(n_, 0.0);
  for (int i = 0; i < m_; ++i) {
    slp_->slack[i] = md.rhs[i] - act[i];
    if (!rowdual.empty()) slp_->dual[i] = P.sense * rowdual[i];
  }
  for (const auto &t : P.transfers) slp_->dual[t.row] = t.cost / t.a;
  for (int j = 0; j < n_; ++j)
    if (!dj.empty() && !P.eliminated_col[j]) slp_->dj[j] = P.sense * dj[j];
  double F;
  P.objective(x_.data(), &F);
  // The objective as the user states it, transfer columns included.
  double obj = -md.objrhs;
  for (int j = 0; j < n_; ++j) obj += md.obj[j] * x_[j];
  if (!md.qstart.empty())
    for (int j = 0; j < n_; ++j)
      for (int64_t k = md.qstart[j]; k < md.qstart[j + 1]; ++k) {
        int i = md.qrow[k];
        obj += (i == j ? 0.5 : 1.0) * md.qval[k] * x_[i] * x_[j];
      }
  for (int j = 0; j < n_; ++j) {
    VarInfo &v = slp_->vars[j];
    v.value = x_[j];
    if (!base_.empty()) v.stepbound = r_ * base_[j];
  }
  slp_->rowinfo = rinfo_;
  slp_->colinfo = cinfo_;
  set_attr_i(slp_, KSLP_ATTR_NLPSTATUS, status);
  // An iteration that ends the solve early (a step refused to nothing) was
  // run all the same: the callbacks saw it.
  const int iterations = std::max(iter_, started_);
  set_attr_i(slp_, KSLP_ATTR_ITERATIONS, iterations);
  set_attr_d(slp_, KSLP_ATTR_OBJVAL, obj);
  set_attr_d(slp_, KSLP_ATTR_VALIDATION, maxviol);
  set_attr_d(slp_, KSLP_ATTR_PENALTYVALUE, mu_);
  set_attr_d(slp_, KSLP_ATTR_KKT, kres);
  static const char *kNames[] = {"unstarted",   "locally optimal", "optimal",   "locally infeasible",
                                 "infeasible", "unbounded",       "unfinished"};
  if (ctl_i(slp_, KSLP_CTRL_LOG) > 0)
    slp_log(slp_, KRVU_MSG_LOG,
            "Nonlinear solve %s after %d iterations: objective %.10g, largest violation %.3g, "
            "optimality residual %.3g",
            kNames[status], iterations, obj, maxviol, kres);
}

void Solver::set_dfs() {
  dfcoef_.clear();
  if (slp_->dfs.empty()) return;
  dfcoef_.resize(nlrows_.size());
  for (size_t r = 0; r < nlrows_.size(); ++r) {
    const Func &f = P.rows[nlrows_[r]];
    dfcoef_[r].assign(f.cols.size(), NAN);
    for (size_t k = 0; k < f.cols.size(); ++k) {
      auto it = slp_->dfs.find({f.cols[k], nlrows_[r]});
      if (it != slp_->dfs.end()) dfcoef_[r][k] = it->second;
    }
  }
}

void Solver::record(const SubResult &sub) {
  for (size_t r = 0; r < nlrows_.size(); ++r) {
    RowSolveInfo &ri = rinfo_[nlrows_[r]];
    double e = std::max(0.0, sub.errplus[r]) + std::max(0.0, sub.errminus[r]);
    if (e > 0.0) {
      ++ri.nerrors;
      ri.maxerror = std::max(ri.maxerror, e);
      ri.totalerror += e;
    }
    ri.error = e;
    ri.factor = mu_ * wt_[nlrows_[r]];
    ri.plus = n_ + 2 * static_cast<int>(r);
    ri.minus = ri.plus + 1;
    ri.plusvalue = sub.errplus[r];
    ri.minusvalue = sub.errminus[r];
    ri.plusdj = sub.plusdj[r];
    ri.minusdj = sub.minusdj[r];
  }
  for (int j = 0; j < n_; ++j) {
    ColSolveInfo &ci = cinfo_[j];
    ci.deltaindex = sub.held[j] ? -1 : j;
    ci.deltadj = sub.coldj[j];
    // A reduced cost with the column at its step bound (not its own bound)
    // is the price of that step bound.
    double d = sub.y[j] - x_[j], bound = r_ * base_[j];
    bool at_step = !sub.held[j] && !nobox_[j] && std::fabs(d) >= 0.999 * bound &&
                   sub.y[j] > P.lb[j] && sub.y[j] < P.ub[j];
    ci.sbdual = at_step ? sub.coldj[j] : 0.0;
  }
}

// The convergence of each column after an accepted step d from x_: by its
// tolerance set when it names one, else by the step tolerance control.  Also
// finds each column's most changed row coefficient.
void Solver::column_tests(const std::vector<double> &d, const std::vector<double> &gft,
                          const std::vector<std::vector<double>> &jact, const std::vector<double> &rowdual,
                          bool *all_converged, bool *any_set) {
  const double steptol = ctl_d(slp_, KSLP_CTRL_STEPTOL);
  std::vector<double> jchange(n_, 0.0), jsize(n_, 0.0);
  std::vector<int> jrow(n_, -1);
  for (size_t r = 0; r < nlrows_.size(); ++r) {
    const Func &f = P.rows[nlrows_[r]];
    for (size_t k = 0; k < f.cols.size(); ++k) {
      int j = f.cols[k];
      double ch = std::fabs(jact[r][k] - jac_[r][k]);
      jsize[j] = std::max(jsize[j], std::fabs(jact[r][k]));
      if (ch > jchange[j]) {
        jchange[j] = ch;
        jrow[j] = nlrows_[r];
      }
    }
  }
  // Reduced costs at the new point with the subproblem's multipliers.
  std::vector<double> rc;
  lagrangian_grad(gft, jact, rowdual, rc);
  for (int i : linrows_) {
    const Func &f = P.rows[i];
    for (size_t k = 0; k < f.lin_col.size(); ++k) rc[f.lin_col[k]] -= rowdual[i] * f.lin_val[k];
  }
  const int nsets = static_cast<int>(slp_->tolsets.size());
  bool all = true, any = false;
  for (int j = 0; j < n_; ++j) {
    cinfo_[j].updaterow = jrow[j];
    VarInfo &v = slp_->vars[j];
    double step = std::fabs(d[j]), xs = std::max(1.0, std::fabs(x_[j]));
    bool ok;
    if (v.tolset >= 1 && v.tolset <= nsets) {
      any = true;
      const TolSet &t = slp_->tolsets[v.tolset - 1];
      double gch = std::fabs(gft[j] - gf_[j]), gs = std::max(1.0, std::fabs(gft[j]));
      const bool pass[9] = {step <= t.tol[0],
                            step <= t.tol[1] * xs,
                            gch <= t.tol[2],
                            gch <= t.tol[3] * gs,
                            jchange[j] <= t.tol[4],
                            jchange[j] <= t.tol[5] * std::max(1.0, jsize[j]),
                            std::fabs(rc[j]) <= t.tol[6],
                            std::fabs(rc[j]) <= t.tol[7] * gs,
                            step <= t.tol[8] * r_ * base_[j]};
      ok = true;
      for (int i = 0; i < 9; ++i)
        if ((t.status >> i) & 1) ok = ok && pass[i];
    } else {
      ok = step <= steptol * xs;
    }
    v.converged = ok;
    all = all && (ok || P.eliminated_col[j]);
  }
  *all_converged = all;
  *any_set = any;
}

int Solver::run() {
  auto t0 = std::chrono::steady_clock::now();
  const double feastol = ctl_d(slp_, KSLP_CTRL_FEASTOL);
  const double steptol = ctl_d(slp_, KSLP_CTRL_STEPTOL);
  const double kkttol = ctl_d(slp_, KSLP_CTRL_KKTTOL);
  const double objtol = ctl_d(slp_, KSLP_CTRL_OBJTOL);
  const double maxpen = ctl_d(slp_, KSLP_CTRL_MAXPENALTY);
  const int maxiter = static_cast<int>(ctl_i(slp_, KSLP_CTRL_MAXITER));
  const int loglevel = static_cast<int>(ctl_i(slp_, KSLP_CTRL_LOG));
  mu_ = ctl_d(slp_, KSLP_CTRL_PENALTY);

  // The start: initial values, else the current values, else 0.
  x_.assign(n_, 0.0);
  bool warm = slp_->x.size() == static_cast<size_t>(n_);
  for (int j = 0; j < n_; ++j) {
    auto it = slp_->vars.find(j);
    if (it != slp_->vars.end() && std::isfinite(it->second.initvalue)) x_[j] = it->second.initvalue;
    else if (warm) x_[j] = slp_->x[j];
    else if (it != slp_->vars.end() && std::isfinite(it->second.value)) x_[j] = it->second.value;
  }
  std::vector<double> nodual;
  if (!project_start()) {
    if (loglevel > 0) slp_log(slp_, KRVU_MSG_LOG, "The linear rows and the bounds admit no point");
    finish(KSLP_NLPSTATUS_INFEASIBLE, nodual);
    return 0;
  }
  const double radius = ctl_d(slp_, KSLP_CTRL_TRUSTRADIUS);
  base_.assign(n_, 0.0);
  for (int j = 0; j < n_; ++j) {
    auto it = slp_->vars.find(j);
    double given = it == slp_->vars.end() ? 0.0 : it->second.initstepbound;
    int dt = it == slp_->vars.end() ? KSLP_DELTA_DEFAULT : it->second.deltatype;
    if (dt == KSLP_DELTA_ABSOLUTE) base_[j] = it->second.deltavalue;
    else if (dt == KSLP_DELTA_RELATIVE) base_[j] = it->second.deltavalue * std::max(1.0, std::fabs(x_[j]));
    else base_[j] = given > 0 ? given : radius * std::max(1.0, std::fabs(x_[j]));
  }
  // No matrix at all for linear steps (k^2 doubles would not fit for large k).
  if (use_b_ && !sparse_) B_.assign(static_cast<size_t>(k_) * k_, 0.0);
  reset_b();
  last_sign_.assign(n_, 0);
  if (hm_ && !exact_b(x_, {}) && !sparse_) hm_.reset();

  if (!cascade(x_) || !values(x_, &F_, gval_, &V_, &Vw_) || !gradients(x_, gf_, jac_))
    return -1;
  set_dfs();
  if (loglevel > 0)
    slp_log(slp_, KRVU_MSG_LOG,
            "Nonlinear solve: %d columns, %d rows (%zu nonlinear), %s subproblems", n_, m_,
            nlrows_.size(), use_b_ ? "quadratic" : "linear");
  if (loglevel > 1)
    slp_log(slp_, KRVU_MSG_LOG, "%6s %18s %11s %11s %11s %8s", "iter", "objective",
            "infeas", "step", "penalty", "ratio");
  int status = KSLP_NLPSTATUS_UNFINISHED;
  // A run that stops because no step makes progress is optimal only if the
  // point is stationary; otherwise it ends unfinished, with the point kept.
  double last_kres = INFINITY;
  auto stalled = [&](bool settled = false) {
    if (last_kres <= kkttol) return KSLP_NLPSTATUS_LOCALLY_OPTIMAL;
    // The quadratic model's own minimiser lies inside the step bounds and
    // gains no more than rounding: an ill-conditioned objective at its
    // minimum, whose gradient rounding keeps a little above the tolerance.
    if (settled && last_kres <= std::sqrt(kkttol)) {
      if (loglevel > 0)
        slp_log(slp_, KRVU_MSG_LOG,
                "stopped at the quadratic model's minimum: optimality residual %.3g", last_kres);
      return KSLP_NLPSTATUS_LOCALLY_OPTIMAL;
    }
    if (loglevel > 0)
      slp_log(slp_, KRVU_MSG_LOG,
              "stopped without progress: the optimality residual %.3g is above its tolerance", last_kres);
    return KSLP_NLPSTATUS_UNFINISHED;
  };
  int small_changes = 0;
  bool b_ok = use_b_;
  bool reset_tried = false;
  bool force_lp = false;  // the next subproblem linear (a QP point that gained nothing)
  // The best feasible iterate: a run that gives feasibility up for a
  // penalty below the multipliers and then ends locally infeasible starts
  // again from it once, with the penalty raised.
  std::vector<double> best_x;
  double best_F = INFINITY;
  auto keep_if_best = [&] {
    if (V_ <= feastol && F_ < best_F) {
      best_F = F_;
      best_x = x_;
    }
  };
  keep_if_best();
  bool restarted = false;
  // An iteration is open from its iterstart callback until the next one
  // starts or the loop ends, whichever way it leaves the loop's body.
  bool open = false;
  iter_ = 0;
  started_ = 0;
  for (;;) {
  for (; iter_ < maxiter; ++iter_) {
    if (open) {
      open = false;
      if (end_iteration()) break;
    }
    if (interrupted(t0)) break;
    open = true;
    set_attr_i(slp_, KSLP_ATTR_ITERATIONS, started_++);
    if (slpcb_fire_iterstart(slp_)) {
      slp_->interrupt.store(true);
      break;
    }
    if (!std::isfinite(F_)) {
      status = KSLP_NLPSTATUS_UNFINISHED;
      break;
    }
    // Unbounded: a feasible point whose objective is beyond any sensible
    // value, or that the steps carry ever further out while it falls.
    double far = 0.0;
    for (int j = 0; j < n_; ++j) far = std::max(far, std::fabs(x_[j]));
    if (V_ <= feastol && (F_ < -1e20 || (far > 1e15 && F_ < -1e10))) {
      status = KSLP_NLPSTATUS_UNBOUNDED;
      break;
    }
    SubResult sub = solve_sub(0, b_ok && !force_lp, nullptr);
    force_lp = false;
    if (!sub.ok && b_ok) {
      // A failed QP: start the quasi-Newton matrix again, then try linear.
      reset_b();
      sub = solve_sub(0, true, nullptr);
      if (!sub.ok) sub = solve_sub(0, false, nullptr);
    }
    if (!sub.ok) break;
    // Steering: more feasibility when the box allows it.
    if (V_ > feastol && sub.errsum > 0.1 * feastol) {
      SubResult feas = solve_sub(1, false, nullptr);
      if (feas.ok) {
        double best = V_ - feas.errsum;
        int raises = 0;
        while (best > 1e-12 * (1 + V_) && V_ - sub.errsum < 0.1 * best && mu_ < maxpen &&
               raises < 6) {
          mu_ = std::min(mu_ * 10, maxpen);
          ++raises;
          SubResult again = solve_sub(0, b_ok, nullptr);
          if (!again.ok) break;
          sub = std::move(again);
        }
      }
    }
    lastdual_ = sub.rowdual;
    record(sub);
    std::vector<double> d(n_);
    double dnorm = 0.0, dscaled = 0.0, xnorm = 1.0;
    for (int j = 0; j < n_; ++j) {
      d[j] = P.eliminated_col[j] ? 0.0 : sub.y[j] - x_[j];
      dnorm = std::max(dnorm, std::fabs(d[j]));
      dscaled = std::max(dscaled, std::fabs(d[j]) / base_[j]);
      xnorm = std::max(xnorm, std::fabs(x_[j]));
    }
    // Convergence at x: feasible and (stationary, or no step left).
    double kres = kkt(sub.rowdual, nullptr);
    last_kres = kres;
    if (V_ <= feastol && (kres <= kkttol || (dnorm <= steptol * xnorm && dscaled < 0.5 * r_))) {
      if (loglevel > 2)
        slp_log(slp_, KRVU_MSG_LOG, "converged: residual %.3g, step %.3g", kres, dnorm);
      status = KSLP_NLPSTATUS_LOCALLY_OPTIMAL;
      break;
    }
    double model = 0.0;
    for (int j = 0; j < n_; ++j) model += gf_[j] * d[j];
    if (sub.quad) model += 0.5 * b_quad(d);
    double pred = mu_ * Vw_ - (model + mu_ * sub.errw);
    double phi = F_ + mu_ * Vw_;
    if (pred < -1e-10 * (1 + std::fabs(phi)) && sub.quad && !reset_tried) {
      // The QP's answer is worse than not moving: its matrix has lost its
      // shape.  Start it again.
      reset_b();
      reset_tried = true;
      continue;
    }
    if (pred <= 1e-13 * (1 + std::fabs(phi)) && sub.approx) {
      // The QP solver's unchecked point gains nothing: a linear step instead.
      force_lp = true;
      continue;
    }
    reset_tried = false;
    if (pred <= 1e-13 * (1 + std::fabs(phi))) {
      if (loglevel > 2)
        slp_log(slp_, KRVU_MSG_LOG,
                "no predicted reduction (%.3g = %.3g - %.3g - %.3g): residual %.3g, step %.3g, b %d",
                pred, mu_ * V_, model, mu_ * sub.errsum, kres, dnorm, b_ok ? 1 : 0);
      if (V_ <= feastol) {
        status = stalled(sub.quad && sub.errsum <= feastol && dscaled < 0.5 * r_);
        break;
      }
      if (mu_ >= maxpen) {
        status = KSLP_NLPSTATUS_LOCALLY_INFEASIBLE;
        break;
      }
      if (r_ < 1e-10) {
        status = KSLP_NLPSTATUS_LOCALLY_INFEASIBLE;
        break;
      }
      r_ *= 0.5;
      continue;
    }
    std::vector<double> xt(n_), gt;
    for (int j = 0; j < n_; ++j) xt[j] = x_[j] + d[j];
    double Ft = 0, Vt = 0, Vwt = 0;
    if (!cascade(xt) || !values(xt, &Ft, gt, &Vt, &Vwt)) return -1;
    double ratio = std::isfinite(Ft) && std::isfinite(Vwt) ? (phi - (Ft + mu_ * Vwt)) / pred : -1.0;
    if (ratio < 0.1 && !nlrows_.empty() && std::isfinite(Vt) && Vt > 0) {
      // Second-order correction: the rows shifted by their linearisation error.
      std::vector<double> shift(nlrows_.size());
      for (size_t r = 0; r < nlrows_.size(); ++r) {
        int i = nlrows_[r];
        const Func &f = P.rows[i];
        double lin = 0.0;
        for (size_t k = 0; k < f.cols.size(); ++k) lin += jac_[r][k] * d[f.cols[k]];
        shift[r] = gt[i] - gval_[i] - lin;
      }
      SubResult soc = solve_sub(0, b_ok, &shift);
      if (soc.ok) {
        std::vector<double> xs(soc.y), gs;
        double Fs = 0, Vs = 0, Vws = 0;
        if (!cascade(xs) || !values(xs, &Fs, gs, &Vs, &Vws)) return -1;
        double rs = std::isfinite(Fs) && std::isfinite(Vws) ? (phi - (Fs + mu_ * Vws)) / pred : -1.0;
        if (rs >= 0.1) {
          ratio = rs;
          for (int j = 0; j < n_; ++j) d[j] = xs[j] - x_[j];
          xt.swap(xs);
          gt.swap(gs);
          Ft = Fs;
          Vt = Vs;
          Vwt = Vws;
        }
      }
    }
    if (loglevel > 1)
      slp_log(slp_, KRVU_MSG_LOG, "%6d %18.10g %11.3e %11.3e %11.3e %8.3f", iter_ + 1, F_ * P.sense,
              V_, dnorm, mu_, ratio);
    if (ratio >= 0.1) {
      // The step as taken: cascading moved the determined columns.
      for (int j = 0; j < n_; ++j)
        if (!P.eliminated_col[j]) d[j] = xt[j] - x_[j];
      std::vector<double> gft;
      std::vector<std::vector<double>> jact;
      if (!gradients(xt, gft, jact)) return -1;
      if (b_ok && hm_) {
        // On with the quasi-Newton matrix, or (sparse) with the last Hessian.
        if (!exact_b(xt, sub.rowdual) && !sparse_) hm_.reset();
      } else if (b_ok) {
        std::vector<double> l0, l1, s(n_), yv(n_);
        lagrangian_grad(gf_, jac_, sub.rowdual, l0);
        lagrangian_grad(gft, jact, sub.rowdual, l1);
        for (int j = 0; j < n_; ++j) {
          s[j] = xt[j] - x_[j];
          yv[j] = l1[j] - l0[j];
        }
        bfgs(s, yv);
      }
      double change = std::fabs(Ft - F_);
      small_changes = change <= objtol * std::max(1.0, std::fabs(F_)) ? small_changes + 1 : 0;
      for (int j = 0; j < n_; ++j) {
        int sg = d[j] > 0 ? 1 : (d[j] < 0 ? -1 : 0);
        VarInfo &v = slp_->vars[j];
        if (sg && last_sign_[j] && sg != last_sign_[j]) {
          ++v.history;
          if (v.damp < 1.0) base_[j] *= v.damp;
        }
        if (sg) last_sign_[j] = sg;
        v.laststep = std::fabs(d[j]);
        if (std::fabs(d[j]) >= 0.99 * r_ * base_[j]) v.lastactive = iter_;
      }
      bool all_converged = false, any_set = false;
      column_tests(d, gft, jact, sub.rowdual, &all_converged, &any_set);
      x_.swap(xt);
      gval_.swap(gt);
      gf_.swap(gft);
      jac_.swap(jact);
      dfcoef_.clear();
      F_ = Ft;
      V_ = Vt;
      Vw_ = Vwt;
      keep_if_best();
      if (any_set && all_converged && V_ <= feastol) {
        if (loglevel > 2) slp_log(slp_, KRVU_MSG_LOG, "every column converged by its tolerances");
        status = KSLP_NLPSTATUS_LOCALLY_OPTIMAL;
        ++iter_;
        break;
      }
      if (ratio > 0.75 && dscaled >= 0.9 * r_) r_ = std::min(r_ * 2.0, 1e30);
      if (V_ <= feastol && small_changes >= 3) {
        if (loglevel > 2) slp_log(slp_, KRVU_MSG_LOG, "objective settled");
        status = KSLP_NLPSTATUS_LOCALLY_OPTIMAL;
        ++iter_;
        break;
      }
    } else {
      r_ = 0.25 * std::min(r_, dscaled);
      if (r_ < 1e-14) {
        status = V_ <= feastol ? stalled() : KSLP_NLPSTATUS_LOCALLY_INFEASIBLE;
        break;
      }
    }
    if (mu_ >= maxpen && V_ > feastol && r_ < 1e-8) {
      status = KSLP_NLPSTATUS_LOCALLY_INFEASIBLE;
      break;
    }
  }
  if (open) end_iteration();
  if (P.user_failed) return -1;
  if (status != KSLP_NLPSTATUS_LOCALLY_INFEASIBLE || best_x.empty() || restarted || iter_ >= maxiter ||
      mu_ >= maxpen)
    break;
  restarted = true;
  mu_ = std::min(mu_ * 100, maxpen);
  if (loglevel > 0)
    slp_log(slp_, KRVU_MSG_LOG,
            "locally infeasible after a feasible iterate: again from it with penalty %.3g", mu_);
  x_ = best_x;
  reset_b();
  r_ = 1.0;
  small_changes = 0;
  reset_tried = false;
  b_ok = use_b_;
  status = KSLP_NLPSTATUS_UNFINISHED;
  if (!cascade(x_) || !values(x_, &F_, gval_, &V_, &Vw_) || !gradients(x_, gf_, jac_)) return -1;
  }
  if (status == KSLP_NLPSTATUS_LOCALLY_OPTIMAL && V_ > feastol) status = KSLP_NLPSTATUS_LOCALLY_INFEASIBLE;
  finish(status, lastdual_.empty() ? std::vector<double>(m_, 0.0) : lastdual_);
  return 0;
}

}  // namespace

extern "C" int KSLPnlpoptimize(KSLPprob slp, const char *flags) {
  return slp_guarded(slp, "KSLPnlpoptimize", [&] {
    const char *F = "KSLPnlpoptimize";
    if (has_entities(slp)) {
      run_minlp(slp, flags, F);
      return 0;
    }
    slp->interrupt.store(false);
    if (slp->prob->data->solver) slp->prob->data->solver->interrupt.store(false);
    slp->stop_reason.clear();
    set_attr_i(slp, KSLP_ATTR_NLPSTATUS, KSLP_NLPSTATUS_UNSTARTED);
    if (multistart_pending(slp) && multistart_run(slp, flags, F)) return 0;
    Nlp nlp;
    nlp.build(slp, F);
    // A distribution factor stands for a derivative: its column must be one
    // the row reads.
    for (const auto &[key, f] : slp->dfs) {
      const std::vector<int> &reads = nlp.rows[key.second].cols;
      if (!std::binary_search(reads.begin(), reads.end(), key.first))
        raise(KRVU_ERR_STATE, "%s: column %d has a distribution factor in row %d, which does not read it", F,
              key.first, key.second);
    }
    slp->rowinfo.clear();
    slp->colinfo.clear();
    ++slp->evals.solves;
    slp->constructed = true;
    int rc = 0;
    if (slpcb_fire_construct(slp) || slpcb_fire_slpstart(slp)) {
      // Stopped before the first iteration: the solve is unfinished, not failed.
      set_attr_i(slp, KSLP_ATTR_NLPSTATUS, KSLP_NLPSTATUS_UNFINISHED);
    } else if (ipm_chosen(slp, F)) {
      rc = ipm_solve(slp, nlp);
    } else {
      Solver s(slp, nlp, flags);
      rc = s.run();
    }
    if (rc == 0 && !nlp.user_failed) slpcb_fire_slpend(slp);
    if (rc != 0 || nlp.user_failed) {
      set_attr_i(slp, KSLP_ATTR_NLPSTATUS, KSLP_NLPSTATUS_UNFINISHED);
      raise(KRVU_ERR_SOLVER, "%s: the solve stopped: %s", F,
            slp->stop_reason.empty() ? "a user function failed" : slp->stop_reason.c_str());
    }
    return 0;
  });
}
