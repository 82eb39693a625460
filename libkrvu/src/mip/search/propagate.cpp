// Bound propagation over the rows: activity bounds of a row tighten the
// bounds of its integer columns (continuous ones are left as they are, which
// keeps the relaxations' numerics as the user gave them) and prove a node
// infeasible before its relaxation is solved.
#include <algorithm>
#include <cmath>

#include "core/common.h"
#include "mip/search/searcher.h"

namespace krvu {
namespace search {

bool Searcher::propagate_all() {
  std::vector<int> rows(m_);
  for (int i = 0; i < m_; ++i) rows[i] = i;
  return propagate(rows);
}

bool Searcher::propagate(std::vector<int> &queue) {
  const double tol = ctl_.feastol;
  std::vector<char> queued(m_, 0);
  std::vector<int> next;
  for (int pass = 0; pass < 20 && !queue.empty(); ++pass) {
    next.clear();
    for (int r : queue) queued[r] = 0;
    for (int r : queue) {
      if (indcol_[r] >= 0 && !indicator_active(r)) continue;
      const bool hasup = std::isfinite(rup_[r]), haslo = std::isfinite(rlo_[r]);
      if (!hasup && !haslo) continue;
      // Finite parts of the smallest and largest activity, and how many
      // infinite contributions each has.
      double minf = 0, maxf = 0;
      int mininf = 0, maxinf = 0;
      const int64_t b = rows_.start[r], e = rows_.start[r + 1];
      for (int64_t k = b; k < e; ++k) {
        const int j = rows_.colind[k];
        const double a = rows_.val[k];
        const double l = a > 0 ? lo_[j] : up_[j], u = a > 0 ? up_[j] : lo_[j];
        if (std::isfinite(l)) minf += a * l; else ++mininf;
        if (std::isfinite(u)) maxf += a * u; else ++maxinf;
      }
      const double scale = std::max(1.0, std::max(std::fabs(rlo_[r]), std::fabs(rup_[r])));
      if (hasup && mininf == 0 && minf > rup_[r] + tol * scale) return false;
      if (haslo && maxinf == 0 && maxf < rlo_[r] - tol * scale) return false;
      for (int64_t k = b; k < e; ++k) {
        const int j = rows_.colind[k];
        if (kind_[j] != kInt) continue;
        const double a = rows_.val[k];
        if (std::fabs(a) < 1e-9) continue;
        const double l = a > 0 ? lo_[j] : up_[j], u = a > 0 ? up_[j] : lo_[j];
        double nlo = lo_[j], nup = up_[j];
        // a x_j <= rup - (min activity of the rest)
        if (hasup && (mininf == 0 || (mininf == 1 && !std::isfinite(l)))) {
          const double rest = mininf == 0 ? minf - a * l : minf;
          const double v = (rup_[r] - rest) / a;
          if (a > 0) nup = std::min(nup, std::floor(v + 1e-6));
          else nlo = std::max(nlo, std::ceil(v - 1e-6));
        }
        if (haslo && (maxinf == 0 || (maxinf == 1 && !std::isfinite(u)))) {
          const double rest = maxinf == 0 ? maxf - a * u : maxf;
          const double v = (rlo_[r] - rest) / a;
          if (a > 0) nlo = std::max(nlo, std::ceil(v - 1e-6));
          else nup = std::min(nup, std::floor(v + 1e-6));
        }
        if (nlo <= lo_[j] && nup >= up_[j]) continue;
        if (nlo > nup + 0.5) return false;
        if (nlo > nup) nlo = nup;
        lo_[j] = std::max(lo_[j], nlo);
        up_[j] = std::min(up_[j], nup);
        for (int64_t q = lpm_.astart[j]; q < lpm_.astart[j + 1]; ++q) {
          const int i = lpm_.aindex[q];
          if (i != r && !queued[i]) {
            queued[i] = 1;
            next.push_back(i);
          }
        }
      }
    }
    queue.swap(next);
  }
  return true;
}

// Coefficient tightening at the root, from the root's bounds: in a row
// sum a_k x_k <= b that cannot bind while a binary x_j sits at the value
// that keeps its term smallest, a_j is moved towards zero (and b with it
// for a_j > 0) until the row just binds there.  Every point with x_j at 0
// or 1 keeps or breaks the row as before, whatever the other columns hold,
// but the relaxation loses the fractional points in between.  Rows the
// search holds out or the caller asked to keep as they are stay.
void Searcher::tighten_rows() {
  std::vector<char> skip(m_, 0);
  for (int r : secure_rows_)
    if (r >= 0 && r < m_) skip[r] = 1;
  int changed = 0;
  for (int r = 0; r < m_; ++r) {
    const bool hasup = std::isfinite(rup_[r]), haslo = std::isfinite(rlo_[r]);
    if (skip[r] || indcol_[r] >= 0 || lazy_[r] || hasup == haslo) continue;
    const double s = hasup ? 1.0 : -1.0;  // the row as s*a x <= s*bound
    double b = s * (hasup ? rup_[r] : rlo_[r]);
    const int64_t beg = rows_.start[r], end = rows_.start[r + 1];
    double maxact = 0;
    bool finite = true;
    for (int64_t k = beg; k < end && finite; ++k) {
      const int j = rows_.colind[k];
      const double c = s * rows_.val[k];
      const double v = c > 0 ? up_[j] : lo_[j];
      if (!std::isfinite(v)) finite = false;
      else maxact += c * v;
    }
    const double scale = std::max(1.0, std::fabs(b));
    if (!finite || maxact <= b + 1e-9 * scale) continue;  // redundant or unbounded
    std::vector<std::pair<int, double>> delta;  // (column, original minus new)
    for (int64_t k = beg; k < end; ++k) {
      const int j = rows_.colind[k];
      if (kind_[j] != kInt || lo_[j] != 0 || up_[j] != 1) continue;
      const double c = s * rows_.val[k];
      double nc = c;
      if (c > 0 && maxact - c < b - 1e-7 * scale) {
        const double d = b - (maxact - c);
        nc = c - d;
        b -= d;
        maxact -= d;
      } else if (c < 0 && maxact + c < b - 1e-7 * scale) {
        nc = b - maxact;
      }
      if (nc == c) continue;
      rows_.val[k] = s * nc;
      delta.push_back({j, s * (c - nc)});
      for (int64_t q = lpm_.astart[j]; q < lpm_.astart[j + 1]; ++q)
        if (lpm_.aindex[q] == r) lpm_.aval[q] = s * nc;
    }
    if (delta.empty()) continue;
    ++changed;
    if (hasup) rup_[r] = lpm_.rup[r] = b;
    else rlo_[r] = lpm_.rlo[r] = -b;
    tightened_.push_back({r, std::move(delta)});
  }
  // The tightened rows rest on the root's bounds, which the rows may no
  // longer imply: they become the model's.
  if (changed) {
    lpm_.lb = lo_;
    lpm_.ub = up_;
  }
  if (changed && ctl_.loglevel >= 1)
    hooks_.log_line(format("Coefficients tightened in %d rows", changed));
}

// Reduced-cost fixing: with the relaxation's optimum obj and reduced costs
// dj, an integer column at its lower bound cannot move up by more than
// (cutoff - obj) / dj in any solution better than the cutoff (and the same
// downwards at its upper bound).  Tightens lo/up; true when a bound moved.
bool Searcher::reduced_cost_bounds(const std::vector<double> &x, double obj, const std::vector<double> &dj,
                                   std::vector<double> &lo, std::vector<double> &up,
                                   std::vector<Change> *changes) const {
  const double cutoff = cutoff_value();
  if (quadratic_ || !std::isfinite(cutoff) || static_cast<int>(dj.size()) != n_) return false;
  const double room = cutoff - obj;
  if (!(room > 0)) return false;
  const double tol = ctl_.feastol;
  bool moved = false;
  for (int j : ncols_int_) {
    if (kind_[j] != kInt || lo[j] == up[j]) continue;
    const double d = dj[j];
    double nlo = lo[j], nup = up[j];
    if (d > tol && std::isfinite(lo[j]) && x[j] <= lo[j] + tol)
      nup = std::min(nup, lo[j] + std::floor(room / d + 1e-6));
    else if (d < -tol && std::isfinite(up[j]) && x[j] >= up[j] - tol)
      nlo = std::max(nlo, up[j] - std::floor(room / -d + 1e-6));
    else
      continue;
    if (nlo <= lo[j] && nup >= up[j]) continue;
    lo[j] = nlo;
    up[j] = nup;
    moved = true;
    if (changes) changes->push_back({j, nlo, nup});
  }
  return moved;
}

// At a node: its bounds and its children's.  At the root: the root's, and
// the root's relaxation is kept to tighten them again whenever a better
// solution lowers the cutoff.
bool Searcher::reduced_cost_fix(Node &nd, const std::vector<double> &x, double obj,
                                const std::vector<double> &dj) {
  if (nd.depth > 0) return reduced_cost_bounds(x, obj, dj, lo_, up_, &nd.changes);
  root_x_ = x;
  root_obj_ = obj;
  root_dj_ = dj;
  root_fixed_at_ = cutoff_value();
  const bool moved = reduced_cost_bounds(x, obj, dj, lo_, up_, nullptr);
  if (moved) {
    root_lo_ = lo_;
    root_up_ = up_;
  }
  return moved;
}

void Searcher::refix_root() {
  if (root_dj_.empty() || !(cutoff_value() < root_fixed_at_)) return;
  root_fixed_at_ = cutoff_value();
  reduced_cost_bounds(root_x_, root_obj_, root_dj_, root_lo_, root_up_, nullptr);
}

// What the model's own rows hold at x, where the relaxation's rows were
// tightened: act is the relaxation's activity of each row.
void Searcher::untighten_activity(const std::vector<double> &x, std::vector<double> &act) const {
  for (const auto &t : tightened_) {
    if (t.first >= static_cast<int>(act.size())) continue;
    for (const auto &d : t.second) act[t.first] += d.second * x[d.first];
  }
}

}  // namespace search
}  // namespace krvu
