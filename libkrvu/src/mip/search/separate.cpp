// The separators: Gomory mixed-integer cuts from rows of the optimal
// tableau, mixed-integer rounding of single rows (with bound substitution
// and a few divisors), and lifted knapsack covers.  All of them work at the
// root on globally valid bounds, so their cuts hold for every feasible point.
//
// The tableau rows are formed as  lambda' A x - lambda' r = 0  from a row
// lambda of the basis inverse, r being the row activities: this holds for
// any lambda, whatever signs the engine gives its slack columns, so the
// cuts do not rest on its conventions; lambda only makes the row sparse.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "mip/search/searcher.h"

namespace krvu {
namespace search {

namespace {

using Terms = std::vector<std::pair<int, double>>;

double frac_of(double v) { return v - std::floor(v); }

}  // namespace

void Searcher::lp_row(int k, const int *&ind, const double *&val, int &len) const {
  if (k < m_) {
    ind = rows_.colind.data() + rows_.start[k];
    val = rows_.val.data() + rows_.start[k];
    len = static_cast<int>(rows_.start[k + 1] - rows_.start[k]);
    return;
  }
  const Cut *c = pool_->find(lp_cuts_[k - m_]);
  ind = c->ind.data();
  val = c->val.data();
  len = static_cast<int>(c->ind.size());
}

// Variables of the relaxation: columns (v < n) and row activities.
void Searcher::var_bounds(int v, double &lo, double &up, bool &integral) const {
  if (v < n_) {
    lo = root_lo_[v];
    up = root_up_[v];
    integral = kind_[v] == kInt;
    return;
  }
  const int k = v - n_;
  integral = false;
  if (k >= m_) {
    const Cut *c = pool_->find(lp_cuts_[k - m_]);
    lo = c->lo;
    up = c->up;
    return;
  }
  if (held_out(k)) {
    lo = -INFINITY;
    up = INFINITY;
    return;
  }
  lo = rlo_[k];
  up = rup_[k];
  if (row_int_[k]) {
    integral = true;
    if (std::isfinite(lo)) lo = std::ceil(lo - 1e-9);
    if (std::isfinite(up)) up = std::floor(up + 1e-9);
  }
}

void Searcher::find_var_bounds() {
  vub_col_.assign(n_, -1);
  vub_u_.assign(n_, 0.0);
  for (int k = 0; k < m_; ++k) {
    if (held_out(k) || rows_.start[k + 1] - rows_.start[k] != 2) continue;
    const int64_t q = rows_.start[k];
    int x = rows_.colind[q], y = rows_.colind[q + 1];
    double a = rows_.val[q], b = rows_.val[q + 1];
    if (kind_[x] == kInt) {
      std::swap(x, y);
      std::swap(a, b);
    }
    if (kind_[x] != kCont || kind_[y] != kInt || root_lo_[y] != 0 || !std::isfinite(root_up_[y]) ||
        root_lo_[x] != 0)
      continue;
    // a x + b y <= 0 (or >= 0 read with the signs turned): x <= (-b / a) y.
    for (int side = 0; side < 2; ++side) {
      const double s = side == 0 ? 1.0 : -1.0, bound = side == 0 ? rup_[k] : rlo_[k];
      if (bound != 0 || !(s * a > 0) || !(s * b < 0)) continue;
      const double u = -b / a;
      if (vub_col_[x] < 0 || u < vub_u_[x]) {
        vub_col_[x] = y;
        vub_u_[x] = u;
      }
    }
  }
}

bool Searcher::finish_cut(std::vector<long double> &pi, long double pi0, const std::vector<double> &x,
                          Cut &out) const {
  long double mx = 0;
  for (long double v : pi) mx = std::max(mx, std::fabs(v));
  if (!(mx > 1e-12L) || !std::isfinite(static_cast<double>(mx)) || !std::isfinite(static_cast<double>(pi0)))
    return false;
  pi0 /= mx;
  for (long double &v : pi) v /= mx;
  // Tiny coefficients go, their columns at the bound that weakens the cut.
  double mn = INFINITY;
  int nnz = 0;
  for (int j = 0; j < n_; ++j) {
    if (pi[j] == 0) continue;
    if (std::fabs(pi[j]) < 1e-7L) {
      const double b = pi[j] > 0 ? root_up_[j] : root_lo_[j];
      if (!std::isfinite(b)) return false;
      pi0 -= pi[j] * b;
      pi[j] = 0;
      continue;
    }
    mn = std::min(mn, static_cast<double>(std::fabs(pi[j])));
    ++nnz;
  }
  // Dense cuts cost little in a relaxation of a few hundred columns; beyond
  // that they slow every node down.
  const double dense = std::max(0.6 * n_ + 20, std::min(1000.0, 1.0 * n_));
  if (nnz == 0 || 1.0 / mn > 1e6 || nnz > dense || std::fabs(pi0) > 1e9) return false;
  long double act = 0, norm = 0, mag = 0;
  for (int j = 0; j < n_; ++j)
    if (pi[j] != 0) {
      act += pi[j] * x[j];
      norm += pi[j] * pi[j];
      mag += std::fabs(pi[j]) * std::max(1.0, std::fabs(x[j]));
    }
  // Room for the rounding of all the arithmetic above.
  pi0 -= 1e-9L * std::max(1.0L, std::fabs(pi0)) + 1e-11L * mag;
  const double viol = static_cast<double>(pi0 - act);
  if (viol < 1e-6 * std::max(1.0, static_cast<double>(std::fabs(pi0)))) return false;
  if (viol / std::sqrt(static_cast<double>(norm)) < 1e-4) return false;
  out.ind.clear();
  out.val.clear();
  for (int j = 0; j < n_; ++j)
    if (pi[j] != 0) {
      out.ind.push_back(j);
      out.val.push_back(static_cast<double>(pi[j]));
    }
  out.lo = static_cast<double>(pi0);
  out.up = INFINITY;
  return true;
}

// The Gomory mixed-integer cut of  sum c_v z_v = rhs  (z: columns and row
// activities), each variable measured from the bound it is nearer to.  A
// continuous column nearer to its variable upper bound x <= u y than to its
// own bounds is written as u y - s, s >= 0, which moves its weight onto the
// integer y where the rounding can use it.
bool Searcher::mir_cut(std::vector<double> &cv, double rhs, const std::vector<double> &xv, Cut &out) const {
  // cv holds pairs flattened as (v, c) to save allocations: even index v.
  struct T {
    int v;
    double a;
    double b;  // the bound measured from
    bool upper, integral;
    int vx = -1;  // s = u y - x with y = v, x = vx
    double u = 0;
  };
  std::vector<T> ts;
  long double b = rhs;
  std::vector<std::pair<int, double>> moved;  // (y, c u) from substituted columns
  for (size_t q = 0; q + 1 < cv.size(); q += 2) {
    const int v = static_cast<int>(cv[q]);
    const double c = cv[q + 1];
    if (c == 0) continue;
    double lo, up;
    bool integral;
    var_bounds(v, lo, up, integral);
    const bool hl = std::isfinite(lo), hu = std::isfinite(up);
    if (v < n_ && !vub_col_.empty() && vub_col_[v] >= 0) {
      const int y = vub_col_[v];
      const double u = vub_u_[v];
      const double sv = u * xv[y] - xv[v];
      const double near = std::min(hl ? xv[v] - lo : INFINITY, hu ? up - xv[v] : INFINITY);
      if (sv < near - 1e-9) {
        T t{y, -c, 0.0, false, false};
        t.vx = v;
        t.u = u;
        ts.push_back(t);
        moved.push_back({y, c * u});
        continue;
      }
    }
    if (!hl && !hu) {
      if (std::fabs(c) <= 1e-12) continue;  // noise on a basic free row
      return false;
    }
    const bool upper = !hl || (hu && up - xv[v] < xv[v] - lo);
    T t{v, upper ? -c : c, upper ? up : lo, upper, integral};
    b -= static_cast<long double>(c) * t.b;
    ts.push_back(t);
  }
  if (!moved.empty()) {
    // c u y joins y's own term (measured from its bound 0 or 1).
    std::unordered_map<int, size_t> term;  // column -> its term in ts
    for (size_t k = 0; k < ts.size(); ++k)
      if (ts[k].vx < 0 && ts[k].v < n_) term.emplace(ts[k].v, k);
    for (const auto &m : moved) {
      auto it = term.find(m.first);
      if (it == term.end()) {
        double lo, up;
        bool integral;
        var_bounds(m.first, lo, up, integral);
        const bool upper = xv[m.first] > 0.5 * (lo + up);
        ts.push_back(T{m.first, 0.0, upper ? up : lo, upper, integral});
        it = term.emplace(m.first, ts.size() - 1).first;
      }
      T &own = ts[it->second];
      own.a += own.upper ? -m.second : m.second;
      b -= static_cast<long double>(m.second) * own.b;
    }
  }
  const double f0 = static_cast<double>(b - std::floor(b));
  if (f0 < 0.005 || f0 > 0.995) return false;
  std::vector<long double> pi(n_, 0.0L);
  long double pi0 = 1;
  for (const T &t : ts) {
    double g;
    if (t.integral && t.vx < 0) {
      const double f = frac_of(t.a);
      g = f <= f0 ? f / f0 : (1 - f) / (1 - f0);
    } else {
      g = t.a >= 0 ? t.a / f0 : -t.a / (1 - f0);
    }
    if (g == 0) continue;
    // g t >= ..., t = z - b or b - z (or the slack u y - x)
    const long double h = t.upper ? -g : g;
    pi0 += h * t.b;
    if (t.vx >= 0) {
      pi[t.v] += h * t.u;
      pi[t.vx] -= h;
    } else if (t.v < n_) {
      pi[t.v] += h;
    } else {
      const int *ind;
      const double *val;
      int len;
      lp_row(t.v - n_, ind, val, len);
      for (int k = 0; k < len; ++k) pi[ind[k]] += h * val[k];
    }
  }
  return finish_cut(pi, pi0, xv, out);
}

void Searcher::gomory(const std::vector<double> &xv, std::vector<Cut> &out) {
  const int nr = lp_->nrows();
  std::vector<int> basic;
  if (!lp_->basic_variables(basic)) return;
  std::vector<std::pair<double, int>> cand;
  for (int r = 0; r < nr; ++r) {
    const int v = basic[r];
    if (v < 0 || kind_[v] != kInt) continue;
    const double f = frac_of(xv[v]);
    if (f < 0.005 || f > 0.995) continue;
    cand.push_back({std::fabs(f - 0.5), r});
  }
  std::sort(cand.begin(), cand.end());
  if (cand.size() > 100) cand.resize(100);
  std::vector<double> lambda, cv;
  std::vector<long double> alpha(n_);
  for (const auto &p : cand) {
    const int r = p.second, target = basic[r];
    if (!lp_->binv_row(r, lambda)) continue;
    std::fill(alpha.begin(), alpha.end(), 0.0L);
    cv.clear();
    for (int k = 0; k < nr; ++k) {
      if (lambda[k] == 0) continue;
      const int *ind;
      const double *val;
      int len;
      lp_row(k, ind, val, len);
      for (int q = 0; q < len; ++q) alpha[ind[q]] += static_cast<long double>(lambda[k]) * val[q];
    }
    const double t = static_cast<double>(alpha[target]);
    if (std::fabs(t) < 1e-6) continue;
    for (int j = 0; j < n_; ++j)
      if (alpha[j] != 0) {
        cv.push_back(j);
        cv.push_back(static_cast<double>(alpha[j]) / t);
      }
    for (int k = 0; k < nr; ++k)
      if (lambda[k] != 0) {
        cv.push_back(n_ + k);
        cv.push_back(-lambda[k] / t);
      }
    Cut c;
    c.origin = 'G';
    if (mir_cut(cv, 0.0, xv, c)) out.push_back(std::move(c));
  }
}

// Rounding cuts of single rows and of short aggregations of rows: while a
// row gives no cut and holds a continuous column strictly inside its bounds,
// a row through that column is added to cancel it (the path aggregation of
// flow and inventory models), at most kMaxAggr times.
void Searcher::row_mir(const std::vector<double> &xv, std::vector<Cut> &out) {
  constexpr int kMaxAggr = 5;
  std::vector<double> cv, deltas;
  std::vector<double> agg(n_, 0.0);
  std::vector<char> touched(n_, 0);
  std::vector<int> cols;
  std::vector<std::pair<int, double>> used;  // rows in the sum and their multipliers
  std::vector<std::pair<double, int>> conts, at_vub;  // continuous columns that may go, by distance
  auto add_row = [&](int r, double mu) {
    const int *ind;
    const double *val;
    int len;
    lp_row(r, ind, val, len);
    for (int q = 0; q < len; ++q) {
      const int j = ind[q];
      if (!touched[j]) {
        touched[j] = 1;
        cols.push_back(j);
      }
      agg[j] += mu * val[q];
    }
    used.push_back({r, mu});
  };
  auto inside = [&](int j) {  // how far a continuous column is from its nearest bound
    double dist = std::min(xv[j] - root_lo_[j], root_up_[j] - xv[j]);
    if (!vub_col_.empty() && vub_col_[j] >= 0) dist = std::min(dist, vub_u_[j] * xv[vub_col_[j]] - xv[j]);
    return dist;
  };
  if (static_cast<int>(row_amax_.size()) != m_) {
    row_amax_.assign(m_, 0.0);
    for (int k = 0; k < m_; ++k)
      for (int64_t t = rows_.start[k]; t < rows_.start[k + 1]; ++t)
        row_amax_[k] = std::max(row_amax_[k], std::fabs(rows_.val[t]));
  }
  for (int k = 0; k < m_; ++k) {
    if (held_out(k)) continue;
    for (int j : cols) agg[j] = 0, touched[j] = 0;
    cols.clear();
    used.clear();
    add_row(k, 1.0);
    Cut best;
    double beff = 0;
    for (int round = 0; round <= kMaxAggr; ++round) {
      deltas.assign(1, 1.0);
      bool has_int = false;
      for (int j : cols) {
        const double a = std::fabs(agg[j]);
        if (a <= 1e-9) continue;
        if (kind_[j] == kInt) {
          has_int = true;
          if (xv[j] <= root_lo_[j] + 1e-6 || xv[j] >= root_up_[j] - 1e-6) continue;
          if (deltas.size() < 7 && std::find(deltas.begin(), deltas.end(), a) == deltas.end()) deltas.push_back(a);
        } else if (!vub_col_.empty() && vub_col_[j] >= 0) {
          // Weight a continuous column may put on a binary through its
          // variable upper bound.
          const int y = vub_col_[j];
          has_int = true;
          if (xv[y] <= root_lo_[y] + 1e-6 || xv[y] >= root_up_[y] - 1e-6) continue;
          const double d = a * vub_u_[j];
          if (deltas.size() < 7 && d > 1e-6 && std::find(deltas.begin(), deltas.end(), d) == deltas.end())
            deltas.push_back(d);
        }
      }
      if (has_int && (deltas.size() > 1 || (used.size() == 1 && row_int_[k]))) {
        for (double d : deltas) {
          cv.clear();
          for (int j : cols)
            if (std::fabs(agg[j]) > 1e-12) {
              cv.push_back(j);
              cv.push_back(agg[j] / d);
            }
          for (const auto &u : used) {
            cv.push_back(n_ + u.first);
            cv.push_back(-u.second / d);
          }
          Cut c;
          if (!mir_cut(cv, 0.0, xv, c)) continue;
          const double e = CutPool::efficacy(c, xv.data());
          if (e > beff) {
            beff = e;
            best = std::move(c);
          }
        }
      }
      if (beff > 0 || round == kMaxAggr) break;
      // The continuous column farthest inside its bounds goes, through the
      // row that can take it with the least weight (a row in which the
      // column's coefficient is lost among the others would drown the sum
      // under a large multiplier), the shortest of those.  The row must be at
      // one of its bounds (a slack strictly inside would enter the cut as a
      // continuous term and weaken it) and not the column's own variable
      // bound (the rounding substitutes that already).  A column no row can
      // take leaves the next one its turn; columns at their variable upper
      // bound but inside their own come last (a demand row through such a
      // column is what gives a flow row's sum a fractional right-hand side).
      conts.clear();
      at_vub.clear();
      for (int j : cols)
        if (kind_[j] == kCont && std::fabs(agg[j]) > 1e-9) {
          const double dist = inside(j);
          const double own = std::min(xv[j] - root_lo_[j], root_up_[j] - xv[j]);
          if (dist > 1e-6) conts.push_back({-dist, j});
          else if (own > 1e-6) at_vub.push_back({-own, j});
        }
      std::sort(conts.begin(), conts.end());
      std::sort(at_vub.begin(), at_vub.end());
      conts.insert(conts.end(), at_vub.begin(), at_vub.end());
      int pick = -1, row = -1;
      double coef = 0;
      for (const auto &cj : conts) {
        const int j = cj.second;
        double least = INFINITY;
        int64_t shortest = INT64_MAX;
        for (int64_t q = lpm_.astart[j]; q < lpm_.astart[j + 1]; ++q) {
          const int r = lpm_.aindex[q];
          const double a = lpm_.aval[q];
          if (held_out(r) || std::fabs(a) < 1e-9) continue;
          bool in = false;
          for (const auto &u : used) in = in || u.first == r;
          const int64_t len = rows_.start[r + 1] - rows_.start[r];
          if (in || (len == 2 && !vub_col_.empty() && vub_col_[j] >= 0)) continue;
          const double act = xv[n_ + r];
          auto at = [act](double b) { return std::isfinite(b) && std::fabs(act - b) <= 1e-6 * (1 + std::fabs(b)); };
          if (!at(rlo_[r]) && !at(rup_[r])) continue;
          // The largest coefficient the row brings into the sum.
          const double weight = row_amax_[r] * std::fabs(agg[j] / a);
          if (weight < least * (1 - 1e-9) || (weight <= least * (1 + 1e-9) && len < shortest)) {
            least = weight;
            shortest = len;
            row = r;
            coef = a;
          }
        }
        if (row >= 0) {
          pick = j;
          break;
        }
      }
      if (row < 0) break;
      add_row(row, -agg[pick] / coef);
      agg[pick] = 0;  // cancelled exactly, not by rounding
    }
    if (beff > 0) {
      best.origin = 'M';
      out.push_back(std::move(best));
    }
  }
}

// For each side of each row, binary columns (complemented where their
// coefficient is negative), the others at the bound that leaves the most
// room: a greedy cover by the relaxation's values, made minimal, lifted
// over the other binaries.
void Searcher::covers(const std::vector<double> &x, std::vector<Cut> &out) {
  struct Item {
    int j;
    double a, y;
    bool comp;
  };
  std::vector<Item> items;
  for (int k = 0; k < m_; ++k) {
    if (held_out(k)) continue;
    const int *ind;
    const double *val;
    int len;
    lp_row(k, ind, val, len);
    for (int side = 0; side < 2; ++side) {
      // s a x <= s bound
      const double s = side == 0 ? 1.0 : -1.0, bound = side == 0 ? rup_[k] : rlo_[k];
      if (!std::isfinite(bound)) continue;
      long double b = s * bound;
      items.clear();
      bool ok = true;
      for (int q = 0; q < len && ok; ++q) {
        const int j = ind[q];
        const double a = s * val[q];
        const double lo = root_lo_[j], up = root_up_[j];
        if (lo == up) {
          b -= a * lo;
        } else if (kind_[j] == kInt && lo == 0 && up == 1) {
          if (a > 0) items.push_back({j, a, x[j], false});
          else if (a < 0) {
            items.push_back({j, -a, 1 - x[j], true});
            b -= a;
          }
        } else {
          const double bb = a > 0 ? lo : up;
          if (!std::isfinite(bb)) ok = false;
          else b -= a * bb;
        }
      }
      if (!ok || items.size() < 2 || b < 0) continue;
      // The cover from the separation knapsack's greedy order: least
      // (1 - y) per unit of weight first, so the members near 1 and heavy
      // come in before the light ones.  The rest are lifted in order of y.
      std::sort(items.begin(), items.end(), [](const Item &p, const Item &q) {
        const double kp = (1 - p.y) / p.a, kq = (1 - q.y) / q.a;
        return kp != kq ? kp < kq : p.a > q.a;
      });
      const long double margin = 1e-9L * std::max(1.0L, std::fabs(b));
      long double sum = 0;
      size_t nc = 0;
      while (nc < items.size() && sum <= b + margin) sum += items[nc++].a;
      if (sum <= b + margin) continue;
      // Minimal: the lightest-valued members go while the rest still cover.
      for (size_t q = nc; q-- > 0;) {
        if (nc <= 1) break;
        if (sum - items[q].a > b + margin) {
          sum -= items[q].a;
          items.erase(items.begin() + q);
          --nc;
        }
      }
      // Sequential lifting of the cover  sum_C y <= |C| - 1  over the other
      // members, most valued first: alpha_j is what is left of |C| - 1 by
      // the best value the lifted inequality reaches in the knapsack with
      // y_j = 1.  minw[v] is the least weight that reaches value v (values
      // above |C| - 1 never matter), a 0-1 knapsack over values.
      std::sort(items.begin() + nc, items.end(), [](const Item &p, const Item &q) {
        return p.y != q.y ? p.y > q.y : p.a > q.a;
      });
      // An unviolated cover with no valued member left to lift stays unviolated.
      double ysum = 0;
      for (size_t q = 0; q < nc; ++q) ysum += items[q].y;
      if (ysum <= nc - 1 + 1e-4 && (nc == items.size() || items[nc].y <= 1e-9)) continue;
      const int r = static_cast<int>(nc) - 1;
      std::vector<long double> ws;
      for (size_t q = 0; q < nc; ++q) ws.push_back(items[q].a);
      std::sort(ws.begin(), ws.end());
      std::vector<long double> minw(r + 1, 0.0L);
      for (int v = 1; v <= r; ++v) minw[v] = minw[v - 1] + ws[v - 1];
      std::vector<int> alpha(items.size(), 0);
      for (size_t q = 0; q < nc; ++q) alpha[q] = 1;
      for (size_t q = nc; q < items.size(); ++q) {
        const long double cap = b - items[q].a + margin;
        int best = -1;
        while (best < r && minw[best + 1] <= cap) ++best;
        const int al = best < 0 ? r : r - best;
        alpha[q] = al;
        if (al <= 0) continue;
        for (int v = r; v >= 1; --v) minw[v] = std::min(minw[v], minw[std::max(0, v - al)] + items[q].a);
      }
      double lhs = 0;
      for (size_t q = 0; q < items.size(); ++q) lhs += alpha[q] * items[q].y;
      if (lhs <= r + 1e-4) continue;
      // sum alpha y <= |C| - 1, y = x or 1 - x; as  -sum alpha y >= 1 - |C|.
      std::vector<long double> pi(n_, 0.0L);
      long double pi0 = -static_cast<long double>(r);
      for (size_t q = 0; q < items.size(); ++q) {
        if (alpha[q] == 0) continue;
        if (items[q].comp) {
          pi[items[q].j] += alpha[q];
          pi0 += alpha[q];
        } else {
          pi[items[q].j] -= alpha[q];
        }
      }
      Cut c;
      c.origin = 'K';
      if (finish_cut(pi, pi0, x, c)) out.push_back(std::move(c));
    }
  }
}

void Searcher::separate(const std::vector<double> &x, std::vector<Cut> &out) {
  std::vector<double> xv(x);
  const std::vector<double> &act = lp_->row_activity();
  xv.insert(xv.end(), act.begin(), act.end());
  gomory(xv, out);
  row_mir(xv, out);
  covers(x, out);
}

}  // namespace search
}  // namespace krvu
