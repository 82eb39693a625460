// Second derivatives of a tape: one forward sweep of values and one reverse
// sweep of adjoints, then per seed a forward sweep of tangents and a reverse
// sweep of the adjoints' tangents (forward over reverse).
#include <algorithm>
#include <cmath>

#include "slp/tape.h"

namespace krvu {
namespace slp {

namespace {

constexpr double kLn10 = 2.302585092994045684;
constexpr double kTwoOverSqrtPi = 1.128379167095512574;

using Partials = TapeHessian::Partials;

// The partials of an instruction of one or two arguments at its argument
// values a, b and its value r.
Partials partials(const Instr &in, double a, double b, double r) {
  Partials p;
  switch (in.op) {
    case T_NEG: p.pa = -1; break;
    case T_ADD: p.pa = p.pb = 1; break;
    case T_SUB: p.pa = 1; p.pb = -1; break;
    case T_MUL: p.pa = b; p.pb = a; p.pab = 1; break;
    case T_DIV: {
      double q = 1.0 / b;
      p.pa = q;
      p.pb = -r * q;
      p.pab = -q * q;
      p.pbb = 2.0 * r * q * q;
      break;
    }
    case T_POW:
      if (b != 0.0) p.pa = b * std::pow(a, b - 1.0);
      if (b != 0.0 && b != 1.0) p.paa = b * (b - 1.0) * std::pow(a, b - 2.0);
      if (a > 0) {
        double la = std::log(a);
        p.pb = r * la;
        p.pab = std::pow(a, b - 1.0) * (1.0 + b * la);
        p.pbb = r * la * la;
      }
      break;
    case T_POWK: {
      double c = in.c;
      if (c != 0.0) p.pa = c * std::pow(a, c - 1.0);
      if (c != 0.0 && c != 1.0) p.paa = c * (c - 1.0) * std::pow(a, c - 2.0);
      break;
    }
    case T_SQR: p.pa = 2.0 * a; p.paa = 2.0; break;
    case T_LOG10: p.pa = 1.0 / (a * kLn10); p.paa = -1.0 / (a * a * kLn10); break;
    case T_LN: p.pa = 1.0 / a; p.paa = -1.0 / (a * a); break;
    case T_EXP: p.pa = p.paa = r; break;
    case T_ABS: p.pa = a > 0 ? 1.0 : (a < 0 ? -1.0 : 0.0); break;
    case T_SQRT: p.pa = 0.5 / r; p.paa = -0.25 / (r * r * r); break;
    case T_SIN: p.pa = std::cos(a); p.paa = -r; break;
    case T_COS: p.pa = -std::sin(a); p.paa = -r; break;
    case T_TAN: p.pa = 1.0 + r * r; p.paa = 2.0 * r * p.pa; break;
    case T_ASIN:
    case T_ACOS: {
      double s = 1.0 / std::sqrt(1.0 - a * a);
      double sign = in.op == T_ASIN ? 1.0 : -1.0;
      p.pa = sign * s;
      p.paa = sign * a * s * s * s;
      break;
    }
    case T_ATAN: {
      double d = 1.0 + a * a;
      p.pa = 1.0 / d;
      p.paa = -2.0 * a / (d * d);
      break;
    }
    case T_ERF:
    case T_ERFC: {
      double e = (in.op == T_ERF ? 1.0 : -1.0) * kTwoOverSqrtPi * std::exp(-a * a);
      p.pa = e;
      p.paa = -2.0 * a * e;
      break;
    }
    default: break;  // T_SIGN: flat
  }
  return p;
}

bool binary(uint8_t op) { return op >= T_ADD && op <= T_POW; }
bool unary(uint8_t op) { return op == T_NEG || (op >= T_POWK && op <= T_ERFC); }

// Whether an instruction's second derivative can be non-zero: the columns
// its arguments depend on then interact.
bool curved(const Instr &in) {
  switch (in.op) {
    case T_CONST: case T_VAR: case T_NEG: case T_ADD: case T_SUB: case T_ABS: case T_SIGN:
    case T_MIN: case T_MAX: case T_PWL:
      return false;
    case T_POWK: return in.c != 0.0 && in.c != 1.0;
    default: return true;
  }
}

void merge(std::vector<int> &into, const std::vector<int> &from) {
  std::vector<int> out;
  out.reserve(into.size() + from.size());
  std::set_union(into.begin(), into.end(), from.begin(), from.end(), std::back_inserter(out));
  into.swap(out);
}

// The argument that min or max takes its value from (the first that attains it).
int32_t selected(const Instr &in, const int32_t *args, const double *v, double r) {
  for (int32_t j = 0; j < in.b; ++j)
    if (v[args[in.a + j]] == r) return args[in.a + j];
  return args[in.a];
}

}  // namespace

TapeHessian::TapeHessian(const Tape &t) : t_(&t) {
  const size_t n = t.code.size();
  const int ncols = static_cast<int>(t.columns.size());
  local_.assign(n, -1);
  std::vector<std::vector<int>> dep(n);
  std::vector<std::pair<int, int>> pairs;
  auto interact = [&](const std::vector<int> &p, const std::vector<int> &q) {
    for (int i : p)
      for (int j : q) pairs.emplace_back(std::max(i, j), std::min(i, j));
  };
  for (size_t k = 0; k < n; ++k) {
    const Instr &in = t.code[k];
    if (in.op == T_USER) exact_ = false;
    if (in.op == T_VAR) {
      local_[k] = static_cast<int>(
          std::lower_bound(t.columns.begin(), t.columns.end(), in.a) - t.columns.begin());
      dep[k] = {local_[k]};
      continue;
    }
    if (in.op == T_CONST || in.op == T_SIGN || (in.op == T_POWK && in.c == 0.0)) continue;
    if (unary(in.op)) {
      dep[k] = dep[in.a];
      if (curved(in)) interact(dep[in.a], dep[in.a]);
    } else if (binary(in.op)) {
      dep[k] = dep[in.a];
      merge(dep[k], dep[in.b]);
      if (in.op == T_MUL) interact(dep[in.a], dep[in.b]);
      if (in.op == T_DIV) {
        interact(dep[in.a], dep[in.b]);
        interact(dep[in.b], dep[in.b]);
      }
      if (in.op == T_POW) interact(dep[k], dep[k]);
    } else {
      // min, max, pwl: piecewise linear in their arguments.
      for (int32_t j = 0; j < in.b; ++j) merge(dep[k], dep[t.args[in.a + j]]);
    }
  }
  if (!exact_) return;
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  entries_ = pairs;
  for (auto &e : entries_) pattern_.emplace_back(t.columns[e.first], t.columns[e.second]);

  // Colouring for direct recovery: two columns share a seed only when no row
  // of the symmetric pattern has a nonzero in both.
  std::vector<std::vector<int>> rows(ncols);
  for (auto &e : entries_) {
    rows[e.second].push_back(e.first);
    if (e.first != e.second) rows[e.first].push_back(e.second);
  }
  color_.assign(ncols, -1);
  std::vector<int> mark;
  for (int j = 0; j < ncols; ++j) {
    if (rows[j].empty()) continue;
    mark.assign(ncolors_ + 1, 0);
    for (int i : rows[j])
      for (int k : rows[i])
        if (color_[k] >= 0) mark[color_[k]] = 1;
    int c = 0;
    while (mark[c]) ++c;
    color_[j] = c;
    ncolors_ = std::max(ncolors_, c + 1);
  }
}

double TapeHessian::eval(const double *x, double scale, double *grad, double *hess) {
  const Tape &t = *t_;
  const size_t n = t.code.size();
  if (n == 0) return 0.0;
  const Instr *code = t.code.data();
  const int32_t *args = t.args.data();
  bool ok = true;
  const double f = t.eval(x, v_, nullptr, &ok);
  const double *v = v_.data();

  w_.assign(n, 0.0);
  double *w = w_.data();
  w[n - 1] = scale;
  part_.resize(n);
  Partials *part = part_.data();
  for (size_t k = 0; k < n; ++k) {
    const Instr &in = code[k];
    if (unary(in.op)) part[k] = partials(in, v[in.a], 0.0, v[k]);
    else if (binary(in.op)) part[k] = partials(in, v[in.a], v[in.b], v[k]);
  }
  auto pwl_slope = [&](const Instr &in) {
    // The segment [X_i, X_i+1] holding the argument; jumps have no segment.
    const int32_t *p = args + in.a + 1;
    int npts = (in.b - 1) / 2;
    if (npts < 2) return 0.0;
    double tt = v[args[in.a]];
    int seg = 0;
    for (int i = 0; i + 1 < npts; ++i) {
      if (v[p[2 * i + 2]] <= v[p[2 * i]]) continue;
      seg = i;
      if (tt < v[p[2 * i + 2]]) break;
    }
    double dx = v[p[2 * seg + 2]] - v[p[2 * seg]];
    return dx > 0 ? (v[p[2 * seg + 3]] - v[p[2 * seg + 1]]) / dx : 0.0;
  };
  slope_.assign(n, 0.0);
  sel_.assign(n, -1);
  double *slope = slope_.data();
  int32_t *sel = sel_.data();
  // The n-ary instructions: the argument min and max take, the pwl slope.
  for (size_t k = 0; k < n; ++k) {
    const Instr &in = code[k];
    if (in.op == T_MIN || in.op == T_MAX) sel[k] = selected(in, args, v, v[k]);
    if (in.op == T_PWL) {
      sel[k] = args[in.a];
      slope[k] = pwl_slope(in);
    }
  }
  // Reverse sweep of adjoints.
  for (size_t k = n; k-- > 0;) {
    const Instr &in = code[k];
    const double g = w[k];
    if (g == 0.0) continue;
    if (in.op == T_VAR) {
      if (grad) grad[local_[k]] += g;
    } else if (unary(in.op)) {
      w[in.a] += g * part[k].pa;
    } else if (binary(in.op)) {
      w[in.a] += g * part[k].pa;
      w[in.b] += g * part[k].pb;
    } else if (sel[k] >= 0) {
      w[sel[k]] += g * (in.op == T_PWL ? slope[k] : 1.0);
    }
  }
  // One tangent sweep per colour.
  const int ncols = static_cast<int>(t.columns.size());
  hv_.resize(static_cast<size_t>(ncolors_) * ncols);
  std::fill(hv_.begin(), hv_.end(), 0.0);
  dv_.resize(n);
  dw_.resize(n);
  double *dv = dv_.data(), *dw = dw_.data();
  for (int c = 0; c < ncolors_; ++c) {
    double *hv = hv_.data() + static_cast<size_t>(c) * ncols;
    for (size_t k = 0; k < n; ++k) {
      const Instr &in = code[k];
      double d = 0.0;
      if (in.op == T_VAR) d = color_[local_[k]] == c ? 1.0 : 0.0;
      else if (unary(in.op)) d = part[k].pa * dv[in.a];
      else if (binary(in.op)) d = part[k].pa * dv[in.a] + part[k].pb * dv[in.b];
      else if (sel[k] >= 0) d = (in.op == T_PWL ? slope[k] : 1.0) * dv[sel[k]];
      dv[k] = d;
    }
    std::fill(dw, dw + n, 0.0);
    for (size_t k = n; k-- > 0;) {
      const Instr &in = code[k];
      const double g = w[k], dg = dw[k];
      if (g == 0.0 && dg == 0.0) continue;
      if (in.op == T_VAR) {
        hv[local_[k]] += dg;
      } else if (unary(in.op)) {
        const Partials &p = part[k];
        dw[in.a] += dg * p.pa + g * p.paa * dv[in.a];
      } else if (binary(in.op)) {
        const Partials &p = part[k];
        dw[in.a] += dg * p.pa + g * (p.paa * dv[in.a] + p.pab * dv[in.b]);
        dw[in.b] += dg * p.pb + g * (p.pab * dv[in.a] + p.pbb * dv[in.b]);
      } else if (sel[k] >= 0) {
        dw[sel[k]] += dg * (in.op == T_PWL ? slope[k] : 1.0);
      }
    }
  }
  for (size_t e = 0; e < entries_.size(); ++e) {
    int i = entries_[e].first, j = entries_[e].second;
    hess[e] += hv_[static_cast<size_t>(color_[j]) * ncols + i];
  }
  return f;
}

}  // namespace slp
}  // namespace krvu
