#include "slp/ipm_model.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace krvu {
namespace slp {

TapeHessian *IpmModel::tape_hessian(const Tape *t) {
  TapeHessian *&th = tape_of_[t];
  if (!th) {
    tapes_.push_back(std::make_unique<TapeHessian>(*t));
    th = tapes_.back().get();
  }
  return th;
}

bool IpmModel::is_linear(const Func &f) {
  if (!f.qv.empty()) return false;
  for (const FormulaTerm &t : f.terms) {
    const TapeHessian *th = tape_hessian(t.tape);
    if (t.col >= 0 || !th->exact() || !th->pattern().empty()) return false;
    // Piecewise-linear functions have no second derivatives either.
    for (const Instr &in : t.tape->code)
      if (in.op == T_ABS || in.op == T_MIN || in.op == T_MAX || in.op == T_PWL || in.op == T_SIGN)
        return false;
  }
  return true;
}

void IpmModel::implied_equalities(const std::vector<int> &rows, const std::vector<double> *fixed,
                                  std::vector<char> *drop) {
  std::vector<int> eq;
  for (int i : rows)
    if (P.rlo[i] == P.rup[i] && is_linear(P.rows[i])) eq.push_back(i);
  if (eq.size() < 2) return;
  // The free columns these rows read, numbered densely.
  auto is_fixed = [&](int j) {
    return P.lb[j] == P.ub[j] || (fixed && !std::isnan((*fixed)[j]));
  };
  auto fixed_value = [&](int j) { return fixed && !std::isnan((*fixed)[j]) ? (*fixed)[j] : P.lb[j]; };
  std::vector<int> dense_of(P.n, -1);
  int k = 0;
  for (int i : eq)
    for (int j : P.rows[i].cols)
      if (col_var_[j] >= 0 && !is_fixed(j) && dense_of[j] < 0) dense_of[j] = k++;
  // Dense elimination, row by row: only while it costs little (at most
  // some 30 MB and 1e8 operations).
  const double ne = static_cast<double>(eq.size());
  if (k == 0 || ne * k > 4e6 || ne * k * std::min<double>(ne, k) > 1e8) return;
  std::vector<double> zero(P.n, 0.0), g(P.n, 0.0);
  std::vector<std::vector<double>> basis;  // each scaled to 1 at its pivot, rhs last
  std::vector<int> pivot;
  std::vector<double> r(k + 1);
  for (int i : eq) {
    const Func &f = P.rows[i];
    double c = 0.0;
    for (int j : f.cols) g[j] = 0.0;
    if (!P.gradient(f, zero.data(), 1.0, g.data(), &c)) return;
    std::fill(r.begin(), r.end(), 0.0);
    double rhs = P.rlo[i] - c;
    for (int j : f.cols) {
      if (dense_of[j] >= 0) r[dense_of[j]] += g[j];
      else if (col_var_[j] >= 0) rhs -= g[j] * fixed_value(j);
    }
    double scale = 0.0;
    for (int e = 0; e < k; ++e) scale = std::max(scale, std::fabs(r[e]));
    if (scale == 0.0) continue;  // reads fixed columns only: Ipopt judges it
    for (double &e : r) e /= scale;
    r[k] = rhs / scale;
    for (size_t b = 0; b < basis.size(); ++b) {
      const double t = r[pivot[b]];
      if (t != 0.0)
        for (int e = 0; e <= k; ++e) r[e] -= t * basis[b][e];
    }
    int best = 0;
    for (int e = 1; e < k; ++e)
      if (std::fabs(r[e]) > std::fabs(r[best])) best = e;
    if (std::fabs(r[best]) <= 1e-9) {
      // Implied when its limit agrees; a contradicting row stays for Ipopt
      // to find the problem infeasible.
      if (std::fabs(r[k]) <= 1e-9 * (1.0 + std::fabs(rhs / scale))) (*drop)[i] = 1;
      continue;
    }
    const double p = r[best];
    for (double &e : r) e /= p;
    basis.push_back(r);
    pivot.push_back(best);
  }
}

IpmModel::IpmModel(Nlp &p, const std::vector<double> *fixed) : P(p) {
  col_var_.assign(P.n, -1);
  for (int j = 0; j < P.n; ++j)
    if (!P.eliminated_col[j]) {
      col_var_[j] = nvars();
      var_col_.push_back(j);
    }
  std::vector<int> limited;
  for (int i = 0; i < P.m; ++i)
    if (!P.eliminated_row[i] && (P.rlo[i] > -KRVU_INFINITY || P.rup[i] < KRVU_INFINITY))
      limited.push_back(i);
  std::vector<char> drop(P.m, 0);
  implied_equalities(limited, fixed, &drop);
  for (int i : limited) {
    if (drop[i]) {
      dropped_.push_back(i);
      continue;
    }
    int c = ncons();
    con_row_.push_back(i);
    jac_start_.push_back(static_cast<int>(jac_var_.size()));
    for (int j : P.rows[i].cols)
      if (col_var_[j] >= 0) {
        jac_con_.push_back(c);
        jac_var_.push_back(col_var_[j]);
      }
  }
  jac_start_.push_back(static_cast<int>(jac_var_.size()));

  // The Hessian: one pattern over every function, each entry's place found
  // once.
  std::vector<const Func *> funcs{&P.obj};
  for (int i : con_row_) funcs.push_back(&P.rows[i]);
  for (const Func *f : funcs) {
    FuncHessian h{f, {}, {}};
    for (const FormulaTerm &t : f->terms) {
      TapeHessian *th = tape_hessian(t.tape);
      exact_ = exact_ && th->exact();
      h.terms.push_back(Term{&t, th, {}, {}});
    }
    fh_.push_back(std::move(h));
  }
  if (!exact_) {
    fh_.clear();
    return;
  }
  auto var_pair = [&](int a, int b, std::pair<int, int> *out) {
    int va = col_var_[a], vb = col_var_[b];
    if (va < 0 || vb < 0) return false;
    *out = {std::max(va, vb), std::min(va, vb)};
    return true;
  };
  std::pair<int, int> vp;
  for (FuncHessian &h : fh_) {
    const Func &f = *h.f;
    for (size_t k = 0; k < f.qv.size(); ++k)
      if (var_pair(f.q1[k], f.q2[k], &vp)) hess_.push_back(vp);
    for (Term &t : h.terms) {
      for (auto &e : t.th->pattern())
        if (var_pair(e.first, e.second, &vp)) hess_.push_back(vp);
      if (t.term->col >= 0)
        for (int j : t.term->tape->columns)
          if (var_pair(t.term->col, j, &vp)) hess_.push_back(vp);
    }
  }
  std::sort(hess_.begin(), hess_.end());
  hess_.erase(std::unique(hess_.begin(), hess_.end()), hess_.end());
  auto slot = [&](int a, int b) {
    if (!var_pair(a, b, &vp)) return -1;
    return static_cast<int>(std::lower_bound(hess_.begin(), hess_.end(), vp) - hess_.begin());
  };
  for (FuncHessian &h : fh_) {
    const Func &f = *h.f;
    for (size_t k = 0; k < f.qv.size(); ++k) h.qslot.push_back(slot(f.q1[k], f.q2[k]));
    for (Term &t : h.terms) {
      for (auto &e : t.th->pattern()) t.slots.push_back(slot(e.first, e.second));
      if (t.term->col >= 0)
        for (int j : t.term->tape->columns) t.cross.push_back(slot(t.term->col, j));
    }
  }
}

const std::vector<double> &IpmModel::expand(const double *v) {
  x_.assign(P.n, 0.0);
  for (size_t k = 0; k < var_col_.size(); ++k) x_[var_col_[k]] = v[k];
  return x_;
}

bool IpmModel::objective(const double *v, double *f) { return P.objective(expand(v).data(), f); }

bool IpmModel::objective_gradient(const double *v, double *g) {
  expand(v);
  dense_.assign(P.n, 0.0);
  double f;
  if (!P.gradient(P.obj, x_.data(), P.sense, dense_.data(), &f)) return false;
  for (size_t k = 0; k < var_col_.size(); ++k) g[k] = dense_[var_col_[k]];
  return true;
}

bool IpmModel::constraints(const double *v, double *g) {
  expand(v);
  for (size_t c = 0; c < con_row_.size(); ++c)
    if (!P.value(P.rows[con_row_[c]], x_.data(), &g[c])) return false;
  return true;
}

bool IpmModel::jacobian(const double *v, double *values) {
  expand(v);
  dense_.assign(P.n, 0.0);
  for (size_t c = 0; c < con_row_.size(); ++c) {
    const Func &f = P.rows[con_row_[c]];
    double r;
    if (!P.gradient(f, x_.data(), 1.0, dense_.data(), &r)) return false;
    for (int k = jac_start_[c]; k < jac_start_[c + 1]; ++k) values[k] = dense_[var_col_[jac_var_[k]]];
    for (int j : f.cols) dense_[j] = 0.0;
  }
  return true;
}

void IpmModel::add_function(double weight, FuncHessian &h, double *values) {
  if (weight == 0.0) return;
  const Func &f = *h.f;
  for (size_t k = 0; k < f.qv.size(); ++k)
    if (h.qslot[k] >= 0) values[h.qslot[k]] += weight * 2.0 * f.qv[k];
  for (Term &t : h.terms) {
    const FormulaTerm &ft = *t.term;
    const double s = weight * ft.factor;
    // factor * x_c * e(x): x_c times the Hessian of e, plus the gradient of
    // e in the row and column of c.
    const double mult = ft.col >= 0 ? x_[ft.col] : 1.0;
    hbuf_.assign(t.slots.size(), 0.0);
    grad_.assign(ft.tape->columns.size(), 0.0);
    t.th->eval(x_.data(), s, grad_.data(), hbuf_.data());
    for (size_t e = 0; e < t.slots.size(); ++e)
      if (t.slots[e] >= 0) values[t.slots[e]] += mult * hbuf_[e];
    for (size_t k = 0; k < t.cross.size(); ++k)
      if (t.cross[k] >= 0) values[t.cross[k]] += (ft.tape->columns[k] == ft.col ? 2.0 : 1.0) * grad_[k];
  }
}

bool IpmModel::hessian(const double *v, double objfactor, const double *lambda, double *values) {
  expand(v);
  std::fill(values, values + hess_.size(), 0.0);
  add_function(objfactor * P.sense, fh_[0], values);
  for (size_t c = 0; c < con_row_.size(); ++c) add_function(lambda[c], fh_[c + 1], values);
  for (size_t e = 0; e < hess_.size(); ++e)
    if (!std::isfinite(values[e])) return false;
  return true;
}

}  // namespace slp
}  // namespace krvu
