// Directives and lazy rows in the search: priorities and directions that
// the branching keeps to, pseudo-costs it starts from, and model cuts and
// delayed rows that the relaxation holds free until a solution violates
// them.  A lazy row is a row of the model, so once added it stays: it holds
// at every node.
#include <algorithm>
#include <climits>
#include <cmath>

#include "mip/search/searcher.h"

namespace krvu {
namespace search {

void Searcher::build_directives(const ModelData &w) {
  prio_.assign(n_, kDefaultPriority);
  pdir_.assign(n_, 'N');
  lazy_.assign(m_, 0);
  const MipDirectives &d = w.dirs;
  secure_rows_ = d.securerows;
  // Columns and rows of the working copy start with the model's, so the
  // indices hold; anything past them (a stale index) is left alone.
  const int seen = std::max(1, ctl_.reliable);
  for (const Directive &x : d.dirs) {
    const int j = x.col;
    if (j < 0 || j >= n_) continue;
    prio_[j] = x.priority;
    pdir_[j] = x.dir;
    if (x.priority != kDefaultPriority) has_prio_ = true;
    // An initial pseudo-cost counts as if the column had been observed
    // often enough to be trusted, so strong branching leaves it alone.
    if (x.upcost >= 0) {
      pc_sum_[1][j] = x.upcost * seen;
      pc_cnt_[1][j] = seen;
    }
    if (x.downcost >= 0) {
      pc_sum_[0][j] = x.downcost * seen;
      pc_cnt_[0][j] = seen;
    }
  }
  auto mark = [&](const std::vector<int> &rows, char kind) {
    for (int i : rows) {
      if (i < 0 || i >= m_ || indcol_[i] >= 0 || w.rowtype[i] == 'N') continue;
      lazy_[i] = kind;
      lazyrows_.push_back(i);
      lpm_.rlo[i] = -INFINITY;
      lpm_.rup[i] = INFINITY;
    }
  };
  mark(d.modelcuts, 1);
  mark(d.delayed, 2);
  std::sort(lazyrows_.begin(), lazyrows_.end());
}

int Searcher::add_violated(const std::vector<double> &x, int kind) {
  std::vector<int> idx;
  std::vector<double> lo, up;
  for (int r : lazyrows_) {
    if (lazy_[r] != kind || rowon_[r]) continue;
    double act = 0;
    for (int64_t k = rows_.start[r]; k < rows_.start[r + 1]; ++k) act += rows_.val[k] * x[rows_.colind[k]];
    const double tol = ctl_.feastol * std::max(1.0, std::fabs(act));
    if (act >= rlo_[r] - tol && act <= rup_[r] + tol) continue;
    rowon_[r] = 1;
    idx.push_back(r);
    lo.push_back(rlo_[r]);
    up.push_back(rup_[r]);
  }
  if (!idx.empty()) lp_->set_row_bounds(static_cast<int>(idx.size()), idx.data(), lo.data(), up.data());
  return static_cast<int>(idx.size());
}

LpOutcome Searcher::lazy_rows(LpOutcome o) {
  if (lazyrows_.empty()) return o;
  while (true) {
    if (o == LpOutcome::kUnbounded) {
      // Unbounded without the rows held out proves nothing: add them all.
      std::vector<int> idx;
      std::vector<double> lo, up;
      for (int r : lazyrows_)
        if (!rowon_[r]) {
          rowon_[r] = 1;
          idx.push_back(r);
          lo.push_back(rlo_[r]);
          up.push_back(rup_[r]);
        }
      if (idx.empty()) return o;
      lp_->set_row_bounds(static_cast<int>(idx.size()), idx.data(), lo.data(), up.data());
      o = solve_lp(nullptr);
      continue;
    }
    if (o != LpOutcome::kOptimal) return o;
    const std::vector<double> x = lp_->x();
    int added = add_violated(x, 1);
    if (!added && !violated(x)) added = add_violated(x, 2);
    if (!added) return o;
    o = solve_lp(nullptr);
  }
}

int Searcher::top_priority(const std::vector<double> &x) const {
  int best = INT_MAX;
  for (int j : ncols_int_) {
    const double f = x[j] - std::floor(x[j]);
    const bool frac = f > ctl_.miptol && f < 1 - ctl_.miptol;
    const double t = thr_[j];
    bool viol = false;
    switch (kind_[j]) {
      case kInt: viol = frac; break;
      case kSemi: viol = x[j] > ctl_.feastol && x[j] < t - ctl_.feastol; break;
      case kSemiInt:
        viol = (x[j] > ctl_.feastol && x[j] < t - ctl_.feastol) || (frac && x[j] >= t - ctl_.miptol);
        break;
      case kPartial: viol = frac && x[j] < t - ctl_.miptol; break;
      default: break;
    }
    if (viol) best = std::min(best, prio_[j]);
  }
  return best == INT_MAX ? kDefaultPriority : best;
}

}  // namespace search
}  // namespace krvu
