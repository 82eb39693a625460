// The problem's pool of user cuts and stored bounds, and what the search does
// for the node members of the API: cuts in and out of a node's relaxation,
// a user's branching of a node, and strong-branching probes.
#include "mip/search/nodemembers.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "core/common.h"
#include "core/prob.h"
#include "mip/search/searcher.h"

namespace krvu {

UserPool &user_pool(krvu_prob_s *prob) {
  if (!prob->userpool) prob->userpool = std::make_shared<UserPool>();
  return *prob->userpool;
}

bool user_pool_in_use(const krvu_prob_s *prob) {
  return prob->userpool && (prob->userpool->cuts.size() > 0 || !prob->userpool->bounds.empty());
}

void user_pool_renumber(krvu_prob_s *prob, const std::vector<int> &newidx) {
  if (!prob->userpool) return;
  UserPool &up = *prob->userpool;
  up.cuts.renumber(newidx);
  for (StoredBounds &b : up.bounds) {
    size_t w = 0;
    for (size_t k = 0; k < b.cols.size(); ++k) {
      const int j = b.cols[k];
      if (j < static_cast<int>(newidx.size()) && newidx[j] < 0) continue;
      b.cols[w] = j < static_cast<int>(newidx.size()) ? newidx[j] : j;
      b.type[w] = b.type[k];
      b.val[w] = b.val[k];
      ++w;
    }
    b.cols.resize(w);
    b.type.resize(w);
    b.val.resize(w);
  }
}

bool cut_type_matches(int type, int itype, int interp) {
  switch (interp) {
    case -1: return true;
    case 1: return type == itype;
    case 2: return (type & itype) != 0;
    case 3: return (type & itype) == itype;
    default: return false;
  }
}

namespace search {

namespace {
double bound_scale(const Cut &c) {
  double s = 1.0;
  if (std::isfinite(c.lo)) s = std::max(s, std::fabs(c.lo));
  if (std::isfinite(c.up)) s = std::max(s, std::fabs(c.up));
  return s;
}
}  // namespace

void Searcher::load_cuts(const std::vector<int64_t> &ids) {
  std::vector<double> lo, up, val;
  std::vector<int64_t> start{0};
  std::vector<int> ind;
  std::unordered_set<int64_t> seen;
  for (int64_t id : ids) {
    Cut *c = pool_->find(id);
    if (!c || c->in_lp || !seen.insert(id).second) continue;
    c->in_lp = true;
    c->age = 0;
    lp_cuts_.push_back(id);
    lo.push_back(c->lo);
    up.push_back(c->up);
    ind.insert(ind.end(), c->ind.begin(), c->ind.end());
    val.insert(val.end(), c->val.begin(), c->val.end());
    start.push_back(static_cast<int64_t>(ind.size()));
    ++res_.cuts;
  }
  if (lo.empty()) return;
  lp_->add_rows(static_cast<int>(lo.size()), lo.data(), up.data(), start, ind, val);
  dirty_ = true;
}

int Searcher::unload_cuts(const std::vector<int64_t> &ids, bool keep_basis) {
  std::unordered_set<int64_t> want(ids.begin(), ids.end());
  LpBasis b;
  if (keep_basis) lp_->get_basis(b);
  std::vector<int> drop;
  std::vector<int64_t> kept;
  for (size_t k = 0; k < lp_cuts_.size(); ++k) {
    const int row = m_ + static_cast<int>(k);
    const bool basic = !b.empty() && row < static_cast<int>(b.row.size()) && b.row[row] == 1;
    if (want.count(lp_cuts_[k]) && (!keep_basis || basic)) {
      drop.push_back(row);
      if (Cut *c = pool_->find(lp_cuts_[k])) c->in_lp = false;
    } else {
      kept.push_back(lp_cuts_[k]);
    }
  }
  if (drop.empty()) return 0;
  lp_->delete_rows(drop);
  lp_cuts_.swap(kept);
  dirty_ = true;
  return static_cast<int>(drop.size());
}

void Searcher::add_branch(const StoredBounds &b) {
  user_branches_.emplace_back();
  for (size_t k = 0; k < b.cols.size(); ++k) user_branches_.back().push_back({b.cols[k], b.type[k], b.val[k]});
  user_branch_cuts_.emplace_back();
}

bool Searcher::add_branch_cuts(const std::vector<int64_t> &ids) {
  if (user_branch_cuts_.empty()) return false;
  auto &v = user_branch_cuts_.back();
  v.insert(v.end(), ids.begin(), ids.end());
  return true;
}

bool Searcher::breaks_user_cut(const std::vector<double> &x, double scale) const {
  // A nonlinear node solver does not take the pool's rows, so no node could
  // be made to keep them: they are not used there at all.
  if (ctl_.relaxation) return false;
  for (const auto &p : static_cast<const CutPool &>(*pool_)) {
    const Cut &c = p.second;
    if (c.origin == 'U' && CutPool::violation(c, x.data()) > scale * ctl_.feastol * bound_scale(c)) return true;
  }
  return false;
}

LpOutcome Searcher::held_rows(LpOutcome o) {
  // Each round past the first took in a user cut, so the rounds end.
  while (true) {
    bool added = false;
    o = enforce_user_cuts(lazy_rows(o), &added);
    if (!added) return o;
  }
}

LpOutcome Searcher::enforce_user_cuts(LpOutcome o, bool *added) {
  // Each round takes in every cut broken, so there are no more rounds than
  // user cuts; the limit guards against a relaxation that keeps breaking
  // one within the engine's tolerance.
  for (int round = 0; round < 1000 && o == LpOutcome::kOptimal; ++round) {
    std::vector<int64_t> ids;
    const std::vector<double> &x = lp_->x();
    for (auto &p : *pool_) {
      const Cut &c = p.second;
      if (c.origin == 'U' && !c.in_lp && CutPool::violation(c, x.data()) > ctl_.feastol * bound_scale(c))
        ids.push_back(p.first);
    }
    if (ids.empty()) break;
    load_cuts(ids);
    *added = true;
    o = solve_lp(nullptr);
  }
  return o;
}

void Searcher::probe(int n, const int *cols, const char *type, const double *val, int itrlimit, double *obj,
                     int *status, ProbeFn each, void *data) {
  if (n <= 0) return;
  LpBasis saved;
  lp_->get_basis(saved);
  const double base = sense_ * lp_->objective();
  std::vector<double> lo = lplo_, up = lpup_;
  bool stop = false;
  for (int k = 0; k < n; ++k) {
    const int j = cols[k];
    obj[k] = base;
    status[k] = KRVU_LP_UNSTARTED;
    if (stop) continue;
    double l = lplo_[j], u = lpup_[j];
    if (type[k] != 'U') l = std::max(l, val[k]);
    if (type[k] != 'L') u = std::min(u, val[k]);
    if (type[k] == 'B' && (val[k] < lplo_[j] - ctl_.feastol || val[k] > lpup_[j] + ctl_.feastol)) l = INFINITY;
    if (l > u + ctl_.feastol) {
      status[k] = KRVU_LP_INFEAS;
      obj[k] = sense_ * KRVU_INFINITY;
      continue;
    }
    u = std::max(l, u);
    lp_->set_col_bounds(1, &j, &l, &u);
    const LpOutcome o = lp_->solve(itrlimit);
    switch (o) {
      case LpOutcome::kOptimal:
        obj[k] = sense_ * lp_->objective();
        status[k] = cut_off(lp_->objective()) ? KRVU_LP_CUTOFF : KRVU_LP_OPTIMAL;
        break;
      case LpOutcome::kInfeasible:
        obj[k] = sense_ * KRVU_INFINITY;
        status[k] = KRVU_LP_INFEAS;
        break;
      case LpOutcome::kUnbounded:
        obj[k] = -sense_ * KRVU_INFINITY;
        status[k] = KRVU_LP_UNBOUNDED;
        break;
      case LpOutcome::kLimit:
      case LpOutcome::kInterrupted:
        // The dual simplex's objective so far bounds the probe's.
        obj[k] = sense_ * std::max(lp_->objective(), sense_ * base);
        status[k] = KRVU_LP_UNFINISHED;
        break;
      default:
        status[k] = KRVU_LP_UNSOLVED;
        break;
    }
    lo[j] = l;
    up[j] = u;
    if (each && each(data, k, o == LpOutcome::kOptimal, lo, up)) stop = true;
    lo[j] = lplo_[j];
    up[j] = lpup_[j];
    lp_->set_col_bounds(1, &j, &lplo_[j], &lpup_[j]);
    lp_->set_basis(saved);
  }
  // What follows the probes reads the node's own solution.
  lp_->solve();
}

void Searcher::probe_root(int n, const int *cols, const char *type, const double *val, int itrlimit,
                          double *obj, int *status, ProbeFn each, void *data) {
  t0_ = sh_->last_log = std::chrono::steady_clock::now();
  start_engine();
  const LpOutcome o = solve_lp(nullptr);
  if (o == LpOutcome::kOptimal) {
    probe(n, cols, type, val, itrlimit, obj, status, each, data);
    return;
  }
  // A root that is not solved leaves every probe as it is.
  for (int k = 0; k < n; ++k) {
    obj[k] = o == LpOutcome::kInfeasible ? sense_ * KRVU_INFINITY : 0.0;
    status[k] = o == LpOutcome::kInfeasible ? KRVU_LP_INFEAS
                : o == LpOutcome::kUnbounded ? KRVU_LP_UNBOUNDED
                                             : KRVU_LP_UNFINISHED;
  }
}

}  // namespace search
}  // namespace krvu
