#include "slp/nlp.h"

#include <algorithm>
#include <cmath>

#include "lp/engine.h"

namespace krvu {
namespace slp {

double row_violation(double v, double lo, double up) {
  if (v < lo) return lo - v;
  if (v > up) return v - up;
  return 0.0;
}

namespace {

void finish_cols(Func &f) {
  std::vector<int> &c = f.cols;
  c.assign(f.lin_col.begin(), f.lin_col.end());
  c.insert(c.end(), f.q1.begin(), f.q1.end());
  c.insert(c.end(), f.q2.begin(), f.q2.end());
  for (const FormulaTerm &t : f.terms) {
    c.insert(c.end(), t.tape->columns.begin(), t.tape->columns.end());
    if (t.col >= 0) c.push_back(t.col);
  }
  std::sort(c.begin(), c.end());
  c.erase(std::unique(c.begin(), c.end()), c.end());
}

}  // namespace

void Nlp::build(KSLPprob s, const char *func, bool relaxed) {
  slp = s;
  const ModelData &md = read_model(s->prob);
  const RowMatrix &rm = read_rows(s->prob);
  n = md.ncols();
  m = md.nrows();
  for (int j = 0; j < n && !relaxed; ++j)
    if (md.coltype[j] != 'C')
      raise(KRVU_ERR_STATE,
            "%s: column %d (%s) is of type '%c'; the nonlinear solver takes continuous columns "
            "only (mixed-integer nonlinear problems are not solved by this version)",
            func, j, col_name(md, j).c_str(), md.coltype[j]);
  if (md.nsets() > 0 && !relaxed)
    raise(KRVU_ERR_STATE, "%s: the problem has special ordered sets, which the nonlinear solver does not take", func);
  for (int r = 0; r < m; ++r)
    if (!md.indcol.empty() && md.indcol[r] >= 0)
      raise(KRVU_ERR_STATE, "%s: the problem has indicator constraints, which the nonlinear solver does not take", func);
  if (!md.gentype.empty() || !md.pwlcol.empty())
    raise(KRVU_ERR_STATE, "%s: the problem has general or piecewise-linear constraints, which the nonlinear solver does not take", func);

  sense = ctl_d(s, KSLP_CTRL_OBJSENSE) < 0 ? -1.0 : 1.0;
  obj_const = -md.objrhs;
  lb = md.lb;
  ub = md.ub;
  // Bounds tightened by KSLPpresolve, while the linear model is still the
  // one they came from.
  if (s->pre_lb.size() == static_cast<size_t>(n) && s->pre_from == linear_fingerprint(md)) {
    lb = s->pre_lb;
    ub = s->pre_ub;
  }
  // A semi-continuous column relaxed runs from 0.
  if (relaxed)
    for (int j = 0; j < n; ++j)
      if (md.coltype[j] == 'S' || md.coltype[j] == 'R') lb[j] = std::min(lb[j], 0.0);
  rlo.assign(m, -KRVU_INFINITY);
  rup.assign(m, KRVU_INFINITY);
  for (int i = 0; i < m; ++i) {
    double b = md.rhs[i];
    switch (md.rowtype[i]) {
      case 'L': rup[i] = b; break;
      case 'G': rlo[i] = b; break;
      case 'E': rlo[i] = rup[i] = b; break;
      case 'R': rlo[i] = b - md.range[i]; rup[i] = b; break;
      default: break;
    }
  }
  rows.assign(m, Func());
  for (int i = 0; i < m; ++i)
    for (int64_t k = rm.start[i]; k < rm.start[i + 1]; ++k) {
      rows[i].lin_col.push_back(rm.colind[k]);
      rows[i].lin_val.push_back(rm.val[k]);
    }
  for (const QRow &q : md.qrows) {
    rows[q.row].q1 = q.col1;
    rows[q.row].q2 = q.col2;
    rows[q.row].qv = q.val;
  }
  for (auto &c : s->coefs) {
    const Tape &t = tape_of(s, c, func);
    if (c.col >= n) raise(KRVU_ERR_STATE, "%s: a formula of row %d multiplies column %d, which does not exist", func, c.row, c.col);
    rows[c.row].terms.push_back(FormulaTerm{&t, c.col, c.factor, c.row});
  }

  // The objective: c'x + 0.5 x'Qx, Q held as its lower triangle.
  for (int j = 0; j < n; ++j)
    if (md.obj[j] != 0.0) {
      obj.lin_col.push_back(j);
      obj.lin_val.push_back(md.obj[j]);
    }
  if (!md.qstart.empty())
    for (int j = 0; j < n; ++j)
      for (int64_t k = md.qstart[j]; k < md.qstart[j + 1]; ++k) {
        int i = md.qrow[k];
        obj.q1.push_back(j);
        obj.q2.push_back(i);
        obj.qv.push_back(i == j ? 0.5 * md.qval[k] : 0.5 * md.qval[k]);
      }

  // Rows that carry a nonlinear objective move into the objective.
  eliminated_col.assign(n, 0);
  eliminated_row.assign(m, 0);
  std::vector<int> col_rows(n, 0);
  for (int i = 0; i < m; ++i)
    for (int j : rows[i].lin_col) ++col_rows[j];
  for (auto &[r, st] : s->rowstatus) {
    if (!(st & 0x800) || r >= m || md.rowtype[r] != 'E') continue;
    for (auto &[j, v] : s->vars) {
      if (v.detrow != r || j >= n || md.obj[j] == 0.0 || col_rows[j] != 1 || eliminated_col[j]) continue;
      Func &f = rows[r];
      auto it = std::find(f.lin_col.begin(), f.lin_col.end(), j);
      if (it == f.lin_col.end()) continue;
      bool elsewhere = std::count(f.q1.begin(), f.q1.end(), j) || std::count(f.q2.begin(), f.q2.end(), j);
      for (auto &t : f.terms)
        elsewhere = elsewhere || t.col == j || std::binary_search(t.tape->columns.begin(), t.tape->columns.end(), j);
      for (auto &g : rows)
        for (auto &t : g.terms)
          elsewhere = elsewhere || t.col == j || std::binary_search(t.tape->columns.begin(), t.tape->columns.end(), j);
      if (elsewhere) continue;
      size_t pos = static_cast<size_t>(it - f.lin_col.begin());
      double a = f.lin_val[pos];
      f.lin_col.erase(f.lin_col.begin() + pos);
      f.lin_val.erase(f.lin_val.begin() + pos);
      double cost = md.obj[j];
      transfers.push_back(Transfer{r, j, a, rlo[r], cost, f});
      finish_cols(transfers.back().rest);
      eliminated_col[j] = 1;
      eliminated_row[r] = 1;
      // cost * t = cost * (b - rest) / a
      double w = -cost / a;
      obj_const += cost * rlo[r] / a;
      auto oit = std::find(obj.lin_col.begin(), obj.lin_col.end(), j);
      if (oit != obj.lin_col.end()) {
        obj.lin_val.erase(obj.lin_val.begin() + (oit - obj.lin_col.begin()));
        obj.lin_col.erase(oit);
      }
      for (size_t k = 0; k < f.lin_col.size(); ++k) {
        obj.lin_col.push_back(f.lin_col[k]);
        obj.lin_val.push_back(w * f.lin_val[k]);
      }
      for (size_t k = 0; k < f.qv.size(); ++k) {
        obj.q1.push_back(f.q1[k]);
        obj.q2.push_back(f.q2[k]);
        obj.qv.push_back(w * f.qv[k]);
      }
      for (auto &t : f.terms) obj.terms.push_back(FormulaTerm{t.tape, t.col, w * t.factor, t.row});
      f = Func();
      break;
    }
  }
  nonlinear_row.assign(m, 0);
  std::vector<char> nlc(n, 0);
  auto mark = [&](const Func &f) {
    for (size_t k = 0; k < f.qv.size(); ++k) nlc[f.q1[k]] = nlc[f.q2[k]] = 1;
    for (auto &t : f.terms) {
      for (int j : t.tape->columns) nlc[j] = 1;
      if (t.col >= 0) nlc[t.col] = 1;
    }
  };
  finish_cols(obj);
  mark(obj);
  for (int i = 0; i < m; ++i) {
    finish_cols(rows[i]);
    nonlinear_row[i] = rows[i].nonlinear();
    mark(rows[i]);
  }
  for (int j = 0; j < n; ++j)
    if (nlc[j]) nl_cols.push_back(j);
  user = [this](int num, const double *a, int k, double *v, double *g) {
    bool ok = call_user(slp, num, a, k, v, g);
    if (!ok) user_failed = true;
    return ok;
  };
}

bool Nlp::value(const Func &f, const double *x, double *v) {
  ++slp->evals.values;
  double r = 0.0;
  for (size_t k = 0; k < f.lin_col.size(); ++k) r += f.lin_val[k] * x[f.lin_col[k]];
  for (size_t k = 0; k < f.qv.size(); ++k)
    r += (f.q1[k] == f.q2[k] ? 1.0 : 2.0) * f.qv[k] * x[f.q1[k]] * x[f.q2[k]];
  for (const FormulaTerm &t : f.terms) {
    bool ok;
    double e = t.tape->eval(x, work_, &user, &ok);
    if (!ok || !std::isfinite(e)) eval_error(t);
    if (!ok) return false;
    r += t.factor * (t.col >= 0 ? x[t.col] : 1.0) * e;
  }
  *v = r;
  return true;
}

bool Nlp::gradient(const Func &f, const double *x, double scale, double *g, double *v) {
  ++slp->evals.gradients;
  double r = 0.0;
  for (size_t k = 0; k < f.lin_col.size(); ++k) {
    r += f.lin_val[k] * x[f.lin_col[k]];
    g[f.lin_col[k]] += scale * f.lin_val[k];
  }
  for (size_t k = 0; k < f.qv.size(); ++k) {
    int a = f.q1[k], b = f.q2[k];
    if (a == b) {
      r += f.qv[k] * x[a] * x[a];
      g[a] += scale * 2.0 * f.qv[k] * x[a];
    } else {
      r += 2.0 * f.qv[k] * x[a] * x[b];
      g[a] += scale * 2.0 * f.qv[k] * x[b];
      g[b] += scale * 2.0 * f.qv[k] * x[a];
    }
  }
  for (const FormulaTerm &t : f.terms) {
    bool ok;
    double mult = t.factor * (t.col >= 0 ? x[t.col] : 1.0);
    double e = t.tape->gradient(x, scale * mult, g, work_, adj_, &user, &ok);
    if (!ok || !std::isfinite(e)) eval_error(t);
    if (!ok) return false;
    if (t.col >= 0) g[t.col] += scale * t.factor * e;
    r += mult * e;
  }
  *v = r;
  return true;
}

namespace {

// Whether sign * Q of f (its quadratic triplets) is positive semidefinite:
// 1 yes, 0 no, -1 too large to examine.
int quadratic_psd(const Func &f, double sign) {
  if (f.qv.empty()) return 1;
  std::vector<int> cols;
  for (size_t k = 0; k < f.qv.size(); ++k) {
    cols.push_back(f.q1[k]);
    cols.push_back(f.q2[k]);
  }
  std::sort(cols.begin(), cols.end());
  cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
  const size_t d = cols.size();
  if (d > 1000) return -1;
  std::vector<double> a(d * d, 0.0);
  double scale = 0.0;
  for (size_t k = 0; k < f.qv.size(); ++k) {
    size_t r = std::lower_bound(cols.begin(), cols.end(), f.q1[k]) - cols.begin();
    size_t c = std::lower_bound(cols.begin(), cols.end(), f.q2[k]) - cols.begin();
    a[r * d + c] += sign * f.qv[k];
    if (r != c) a[c * d + r] += sign * f.qv[k];
    scale = std::max(scale, std::fabs(f.qv[k]));
  }
  return dense_semidefinite(a, d, 1e-9 * std::max(1.0, scale)) ? 1 : 0;
}

}  // namespace

int Nlp::quadratic_convexity() const {
  if (!obj.terms.empty()) return -1;
  for (const Func &f : rows)
    if (!f.terms.empty()) return -1;
  int verdict = quadratic_psd(obj, sense);
  if (verdict <= 0) return verdict;
  for (int i = 0; i < m; ++i) {
    if (eliminated_row[i] || rows[i].qv.empty()) continue;
    const bool below = rup[i] < KRVU_INFINITY, above = rlo[i] > -KRVU_INFINITY;
    // Both limits: only a linear row keeps a convex set.
    if (below && above) return 0;
    int r = quadratic_psd(rows[i], below ? 1.0 : -1.0);
    if (r <= 0) return r;
  }
  return 1;
}

void Nlp::eval_error(const FormulaTerm &t) {
  if (slp && slpcb_has(slp, kSlpCb_coefevalerror) && slpcb_fire_coefevalerror(slp, t.row, t.col))
    slp->interrupt.store(true);
}

bool Nlp::cascade(double *x) {
  for (const Transfer &t : transfers) {
    x[t.col] = 0.0;
    double rest;
    if (!value(t.rest, x, &rest)) return false;
    x[t.col] = (t.b - rest) / t.a;
  }
  return true;
}

}  // namespace slp
}  // namespace krvu
