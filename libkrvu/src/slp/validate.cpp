// Measuring a point against the model: the violations of rows and bounds
// (KSLPvalidate, KSLPvalidaterow), the optimality conditions with the
// multipliers of the last solve or the best ones for the point
// (KSLPvalidatekkt), and holding the error columns at what the point needs
// (KSLPfixpenalties).
#include <algorithm>
#include <cmath>
#include <vector>

#include "interfaces/highs_c_api.h"
#include "kslp.h"
#include "lp/highs_session.h"
#include "model/store.h"
#include "slp/nlp.h"
#include "slp/slpprob.h"

using namespace krvu;
using namespace krvu::slp;

namespace {

constexpr double kInf = KRVU_INFINITY;

// The model at the current point, determined columns set.
struct AtPoint {
  Nlp P;
  std::vector<double> x;
  std::vector<double> act;  // activity of every row (eliminated rows: their right-hand side)
  // Integer, semi-continuous and set columns: the optimality conditions are
  // those of the problem with them fixed at the point.
  std::vector<char> held;

  AtPoint(KSLPprob slp, const char *func) {
    P.build(slp, func, true);
    x = held_point(slp, P.n);
    const ModelData &md = read_model(slp->prob);
    held.assign(P.n, 0);
    for (int j = 0; j < P.n; ++j) held[j] = md.coltype[j] != 'C';
    for (int k : md.setcol) held[k] = 1;
    if (!P.cascade(x.data())) raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", func);
    act.assign(P.m, 0.0);
    for (int i = 0; i < P.m; ++i) {
      if (P.eliminated_row[i]) {
        act[i] = md.rhs[i];
      } else if (!P.value(P.rows[i], x.data(), &act[i])) {
        raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", func);
      }
    }
  }
};

double scaled(double viol, double limit) { return viol / std::max(1.0, std::fabs(limit)); }

// The limit a violated activity is measured against.
double violated_limit(double v, double lo, double up) { return v < lo ? lo : up; }

void check_row(KSLPprob slp, int row, const char *func) {
  const int m = model_rows(slp);
  if (row < 0 || row >= m)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'row' is %d, outside 0..%d", func, row, m - 1);
}

}  // namespace

int KSLPvalidate(KSLPprob slp) {
  return slp_guarded(slp, "KSLPvalidate", [&] {
    const char *F = "KSLPvalidate";
    AtPoint a(slp, F);
    const Nlp &P = a.P;
    const ModelData &md = read_model(slp->prob);
    const int loglevel = static_cast<int>(ctl_i(slp, KSLP_CTRL_LOG));
    double worst = 0.0, sum = 0.0, worst_row = 0.0, worst_col = 0.0;
    int wrow = -1, wcol = -1, nviol = 0;
    for (int i = 0; i < P.m; ++i) {
      double v = row_violation(a.act[i], P.rlo[i], P.rup[i]);
      if (v <= 0) continue;
      ++nviol;
      sum += v;
      if (v > worst_row) worst_row = v, wrow = i;
      if (loglevel > 1)
        slp_log(slp, KRVU_MSG_LOG, "  row %s: activity %.10g, violation %.3g (relative %.3g)",
                row_name(md, i).c_str(), a.act[i], v,
                scaled(v, violated_limit(a.act[i], P.rlo[i], P.rup[i])));
    }
    for (int j = 0; j < P.n; ++j) {
      const bool semi_zero = (md.coltype[j] == 'S' || md.coltype[j] == 'R') && a.x[j] == 0.0;
      double v = semi_zero ? 0.0 : row_violation(a.x[j], md.lb[j], md.ub[j]);
      if (v <= 0) continue;
      ++nviol;
      sum += v;
      if (v > worst_col) worst_col = v, wcol = j;
      if (loglevel > 1)
        slp_log(slp, KRVU_MSG_LOG, "  column %s: value %.10g, bound violation %.3g",
                col_name(md, j).c_str(), a.x[j], v);
    }
    worst = std::max(worst_row, worst_col);
    const double tol = ctl_d(slp, KSLP_CTRL_FEASTOL);
    set_attr_d(slp, KSLP_ATTR_VALIDATIONMAX, worst);
    set_attr_d(slp, KSLP_ATTR_VALIDATIONSUM, sum);
    set_attr_i(slp, KSLP_ATTR_VALIDATIONROW, wrow);
    set_attr_i(slp, KSLP_ATTR_VALIDATIONCOL, wcol);
    set_attr_i(slp, KSLP_ATTR_VALIDATIONSTATUS, worst <= tol ? 0 : 1);
    std::string where;
    if (wrow >= 0 && worst_row >= worst_col) where = ", largest at row " + row_name(md, wrow);
    else if (wcol >= 0) where = ", largest at column " + col_name(md, wcol);
    slp_log(slp, KRVU_MSG_LOG,
            "Validation of %d rows and %d columns: %d violated, largest violation %.3g%s, sum %.3g: %s",
            P.m, P.n, nviol, worst, where.c_str(), sum, worst <= tol ? "feasible" : "not feasible");
    return 0;
  });
}

int KSLPvalidaterow(KSLPprob slp, int row) {
  return slp_guarded(slp, "KSLPvalidaterow", [&] {
    const char *F = "KSLPvalidaterow";
    check_row(slp, row, F);
    AtPoint a(slp, F);
    const Nlp &P = a.P;
    const ModelData &md = read_model(slp->prob);
    double lin = 0.0, formulas = 0.0;
    const Func &f = P.rows[row];
    for (size_t k = 0; k < f.lin_col.size(); ++k) lin += f.lin_val[k] * a.x[f.lin_col[k]];
    formulas = a.act[row] - lin;
    const double v = row_violation(a.act[row], P.rlo[row], P.rup[row]);
    const double rel = v > 0 ? scaled(v, violated_limit(a.act[row], P.rlo[row], P.rup[row])) : 0.0;
    set_attr_d(slp, KSLP_ATTR_VALIDATIONMAX, v);
    set_attr_d(slp, KSLP_ATTR_VALIDATIONSUM, v);
    set_attr_i(slp, KSLP_ATTR_VALIDATIONROW, v > 0 ? row : -1);
    set_attr_i(slp, KSLP_ATTR_VALIDATIONCOL, -1);
    set_attr_i(slp, KSLP_ATTR_VALIDATIONSTATUS, v <= ctl_d(slp, KSLP_CTRL_FEASTOL) ? 0 : 1);
    auto lim = [](double b) { return std::fabs(b) >= kInf ? std::string(b < 0 ? "-inf" : "inf") : format("%.10g", b); };
    slp_log(slp, KRVU_MSG_LOG,
            "Row %s: activity %.10g (linear %.10g, nonlinear %.10g), limits [%s, %s], violation %.3g "
            "(relative %.3g)%s",
            row_name(md, row).c_str(), a.act[row], lin, P.eliminated_row[row] ? 0.0 : formulas,
            lim(P.rlo[row]).c_str(), lim(P.rup[row]).c_str(), v, rel,
            P.eliminated_row[row] ? "; the row carries the objective" : "");
    return 0;
  });
}

namespace {

// Gradients at the point in the minimisation form: the objective's, and
// each (kept) row's over the columns it reads.
struct Gradients {
  std::vector<double> gf;
  std::vector<std::vector<std::pair<int, double>>> rows;
};

Gradients gradients_at(AtPoint &a, const char *func) {
  Nlp &P = a.P;
  Gradients g;
  g.gf.assign(P.n, 0.0);
  double v;
  if (!P.gradient(P.obj, a.x.data(), P.sense, g.gf.data(), &v))
    raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", func);
  g.rows.resize(P.m);
  std::vector<double> dense(P.n, 0.0);
  for (int i = 0; i < P.m; ++i) {
    if (P.eliminated_row[i]) continue;
    const Func &f = P.rows[i];
    if (!P.gradient(f, a.x.data(), 1.0, dense.data(), &v))
      raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", func);
    for (int j : f.cols) {
      if (dense[j] != 0.0) g.rows[i].push_back({j, dense[j]});
      dense[j] = 0.0;
    }
  }
  return g;
}

// Which way a column may still move, for the sign its residual may take.
struct ColSide {
  bool atl, atu;
};

ColSide side(const AtPoint &a, int j) {
  const Nlp &P = a.P;
  if (a.held[j]) return ColSide{true, true};
  double tl = 1e-7 * (1 + std::fabs(P.lb[j])), tu = 1e-7 * (1 + std::fabs(P.ub[j]));
  return ColSide{a.x[j] - P.lb[j] <= tl, P.ub[j] - a.x[j] <= tu};
}

// The relative residual of the optimality conditions for multipliers y (by
// row, minimisation form), as the solver measures it; r receives the
// reduced costs.
double residual(const AtPoint &a, const Gradients &g, const std::vector<double> &y, std::vector<double> &r) {
  const Nlp &P = a.P;
  r = g.gf;
  double scale = 1.0;
  for (double v : g.gf) scale = std::max(scale, std::fabs(v));
  for (int i = 0; i < P.m; ++i) {
    if (y[i] == 0.0) continue;
    double big = 0.0;
    for (auto &[j, d] : g.rows[i]) {
      r[j] -= y[i] * d;
      big = std::max(big, std::fabs(d));
    }
    scale = std::max(scale, std::fabs(y[i]) * big);
  }
  double worst = 0.0;
  for (int j = 0; j < P.n; ++j) {
    if (P.eliminated_col[j]) continue;
    ColSide s = side(a, j);
    double v = s.atl && s.atu ? 0.0 : s.atl ? std::max(0.0, -r[j]) : s.atu ? std::max(0.0, r[j]) : std::fabs(r[j]);
    worst = std::max(worst, v);
  }
  // Multipliers of the wrong sign, or on rows away from their limits.
  for (int i = 0; i < P.m; ++i) {
    double yi = y[i];
    if (yi == 0.0 || P.eliminated_row[i]) continue;
    double dist = yi > 0 ? (P.rlo[i] <= -kInf ? kInf : std::fabs(a.act[i] - P.rlo[i]))
                         : (P.rup[i] >= kInf ? kInf : std::fabs(a.act[i] - P.rup[i]));
    worst = std::max(worst, dist >= kInf ? std::fabs(yi) : std::fabs(yi) * std::min(dist, 1.0));
  }
  return worst / scale;
}

// The multipliers of the active rows that minimise the largest residual of
// the columns: min t with -t <= gf_j - sum_i y_i J_ij <= t (one side only at
// a bound), each y_i of the sign its active limit allows.
std::vector<double> best_multipliers(const AtPoint &a, const Gradients &g, const std::vector<char> &active,
                                     const char *func) {
  const Nlp &P = a.P;
  std::vector<int> var_of(P.m, -1), rows;
  for (int i = 0; i < P.m; ++i)
    if (active[i]) {
      var_of[i] = static_cast<int>(rows.size());
      rows.push_back(i);
    }
  const int ny = static_cast<int>(rows.size()), nc = ny + 1;
  void *h = Highs_create();
  Highs_setBoolOptionValue(h, "output_flag", 0);
  Highs_setIntOptionValue(h, "threads", engine_threads(a.P.slp->prob));
  const double hinf = Highs_getInfinity(h);
  std::vector<double> cost(nc, 0.0), clo(nc), cup(nc);
  for (int k = 0; k < ny; ++k) {
    int i = rows[k];
    double v = a.act[i];
    bool at_lo = P.rlo[i] > -kInf && std::fabs(v - P.rlo[i]) <= std::fabs(v - P.rup[i]);
    bool eq = P.rlo[i] == P.rup[i];
    clo[k] = eq || !at_lo ? -hinf : 0.0;
    cup[k] = eq || at_lo ? hinf : 0.0;
  }
  clo[ny] = 0.0;
  cup[ny] = hinf;
  cost[ny] = 1.0;
  // Column j's row of the LP: sum_i J_ij y_i, with t added (+) or taken (-).
  std::vector<std::vector<std::pair<int, double>>> colrows(P.n);
  for (int k = 0; k < ny; ++k)
    for (auto &[j, d] : g.rows[rows[k]]) colrows[j].push_back({k, d});
  std::vector<HighsInt> start, index;
  std::vector<double> val, rlo, rup;
  for (int j = 0; j < P.n; ++j) {
    if (P.eliminated_col[j]) continue;
    ColSide s = side(a, j);
    if (s.atl && s.atu) continue;
    // r = gf - yJ >= -t unless at the upper bound; r <= t unless at the lower.
    for (int pass = 0; pass < 2; ++pass) {
      bool lower_side = pass == 0;  // yJ - t <= gf
      if (lower_side && s.atu) continue;
      if (!lower_side && s.atl) continue;
      start.push_back(static_cast<HighsInt>(index.size()));
      for (auto &[k, d] : colrows[j]) {
        index.push_back(k);
        val.push_back(d);
      }
      index.push_back(ny);
      val.push_back(lower_side ? -1.0 : 1.0);
      rlo.push_back(lower_side ? -hinf : g.gf[j]);
      rup.push_back(lower_side ? g.gf[j] : hinf);
    }
  }
  std::vector<double> y(P.m, 0.0);
  const HighsInt nr = static_cast<HighsInt>(rlo.size());
  bool ok = true;
  if (nr > 0) {
    ok = Highs_passLp(h, nc, nr, static_cast<HighsInt>(index.size()), kHighsMatrixFormatRowwise,
                      kHighsObjSenseMinimize, 0.0, cost.data(), clo.data(), cup.data(), rlo.data(),
                      rup.data(), start.data(), index.data(), val.data()) != kHighsStatusError &&
         Highs_run(h) != kHighsStatusError && Highs_getModelStatus(h) == kHighsModelStatusOptimal;
    if (ok) {
      std::vector<double> cv(nc);
      Highs_getSolution(h, cv.data(), nullptr, nullptr, nullptr);
      for (int k = 0; k < ny; ++k) y[rows[k]] = cv[k];
    }
  }
  Highs_destroy(h);
  if (!ok) raise(KRVU_ERR_SOLVER, "%s: the multipliers could not be computed (the LP failed)", func);
  return y;
}

}  // namespace

int KSLPvalidatekkt(KSLPprob slp, int calculationmode, int respectbasisstatus, int updatemultipliers,
                    double kktviolationtarget) {
  return slp_guarded(slp, "KSLPvalidatekkt", [&] {
    const char *F = "KSLPvalidatekkt";
    if (calculationmode != 0 && calculationmode != 1)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'calculationmode' is %d; it must be 0 or 1", F, calculationmode);
    if (respectbasisstatus != 0 && respectbasisstatus != 1)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'respectbasisstatus' is %d; it must be 0 or 1", F,
            respectbasisstatus);
    if (updatemultipliers != 0 && updatemultipliers != 1)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'updatemultipliers' is %d; it must be 0 or 1", F,
            updatemultipliers);
    if (!(kktviolationtarget >= 0))
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'kktviolationtarget' must be a number >= 0", F);
    AtPoint a(slp, F);
    const Nlp &P = a.P;
    const bool stored = slp->dual.size() == static_cast<size_t>(P.m);
    if (calculationmode == 0 && !stored)
      raise(KRVU_ERR_STATE, "%s: there are no multipliers of a solve to check (calculationmode 1 computes them)", F);
    Gradients g = gradients_at(a, F);
    std::vector<double> y(P.m, 0.0), r;
    if (calculationmode == 0) {
      for (int i = 0; i < P.m; ++i)
        if (!P.eliminated_row[i]) y[i] = P.sense * slp->dual[i];
    } else {
      const double tol = ctl_d(slp, KSLP_CTRL_FEASTOL);
      std::vector<char> active(P.m, 0);
      for (int i = 0; i < P.m; ++i) {
        if (P.eliminated_row[i] || (P.rlo[i] <= -kInf && P.rup[i] >= kInf)) continue;
        if (respectbasisstatus && stored) {
          active[i] = slp->dual[i] != 0.0;
        } else {
          double v = a.act[i];
          active[i] = (P.rlo[i] > -kInf && std::fabs(v - P.rlo[i]) <= tol * (1 + std::fabs(P.rlo[i]))) ||
                      (P.rup[i] < kInf && std::fabs(v - P.rup[i]) <= tol * (1 + std::fabs(P.rup[i])));
        }
      }
      y = best_multipliers(a, g, active, F);
    }
    const double res = residual(a, g, y, r);
    if (updatemultipliers && calculationmode == 1) {
      // The rows and columns that carry the objective keep what the solve
      // gave them: they are not part of the conditions measured.
      std::vector<double> dual(P.m, 0.0), dj(P.n, 0.0);
      for (int i = 0; i < P.m; ++i)
        dual[i] = P.eliminated_row[i] ? (stored ? slp->dual[i] : 0.0) : P.sense * y[i];
      for (int j = 0; j < P.n; ++j)
        if (!P.eliminated_col[j]) dj[j] = P.sense * r[j];
        else if (slp->dj.size() == static_cast<size_t>(P.n)) dj[j] = slp->dj[j];
      slp->dual.swap(dual);
      slp->dj.swap(dj);
    }
    set_attr_d(slp, KSLP_ATTR_VALIDATIONKKT, res);
    set_attr_i(slp, KSLP_ATTR_VALIDATIONSTATUS, res <= kktviolationtarget ? 0 : 1);
    slp_log(slp, KRVU_MSG_LOG, "KKT validation with %s multipliers: relative residual %.3g, target %.3g: %s",
            calculationmode ? "computed" : "the solve's", res, kktviolationtarget,
            res <= kktviolationtarget ? "met" : "not met");
    return 0;
  });
}

int KSLPfixpenalties(KSLPprob slp, int *status) {
  return slp_guarded(slp, "KSLPfixpenalties", [&] {
    const char *F = "KSLPfixpenalties";
    require_ptr(status, F, "status");
    AtPoint a(slp, F);
    const Nlp &P = a.P;
    std::vector<double> held(P.m, 0.0);
    int violated = 0, nl = 0;
    for (int i = 0; i < P.m; ++i) {
      if (!P.nonlinear_row[i] || P.eliminated_row[i]) continue;
      ++nl;
      double v = a.act[i];
      if (v < P.rlo[i]) held[i] = P.rlo[i] - v;
      else if (v > P.rup[i]) held[i] = -(v - P.rup[i]);
      if (held[i] != 0.0) ++violated;
    }
    slp->fixed_err.swap(held);
    *status = violated ? 1 : 0;
    slp_log(slp, KRVU_MSG_LOG, "Error columns of %d nonlinear rows held: %d at a non-zero error", nl, violated);
    return 0;
  });
}
