// Cuts in the search: rounds of separation at the root, the relaxation's
// cut rows and the pool.  Cuts are selected by efficacy (the distance by
// which they cut the relaxation's solution off) and kept apart by their
// angle to each other; a cut slack for cut_age node relaxations in a row
// leaves the relaxation for the pool, and pool cuts a node's solution
// violates come back.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "mip/search/searcher.h"

namespace krvu {
namespace search {

namespace {

constexpr double kMinEfficacy = 1e-4;
constexpr double kMaxParallel = 0.98;

double dot(const Cut &a, const std::vector<double> &dense) {
  double s = 0;
  for (size_t k = 0; k < a.ind.size(); ++k) s += a.val[k] * dense[a.ind[k]];
  return s;
}

double norm(const Cut &a) {
  double s = 0;
  for (double v : a.val) s += v * v;
  return std::sqrt(s);
}

// The most efficacious cuts, no two nearly parallel, at most limit of them.
std::vector<Cut> select(std::vector<Cut> &cands, const std::vector<double> &x, int n, size_t limit) {
  std::vector<std::pair<double, size_t>> order;
  for (size_t k = 0; k < cands.size(); ++k) {
    const double e = CutPool::efficacy(cands[k], x.data());
    if (e >= kMinEfficacy) order.push_back({-e, k});
  }
  std::sort(order.begin(), order.end());
  std::vector<Cut> chosen;
  std::vector<double> dense(n, 0.0);
  for (const auto &p : order) {
    if (chosen.size() >= limit) break;
    Cut &c = cands[p.second];
    const double nc = norm(c);
    for (size_t k = 0; k < c.ind.size(); ++k) dense[c.ind[k]] = c.val[k] / nc;
    bool apart = true;
    for (const Cut &d : chosen)
      if (std::fabs(dot(d, dense)) / norm(d) > kMaxParallel) {
        apart = false;
        break;
      }
    for (int j : c.ind) dense[j] = 0;
    if (apart) chosen.push_back(std::move(c));
  }
  return chosen;
}

}  // namespace

bool Searcher::set_node_basis(const LpBasis &b) {
  if (b.cuts == lp_cuts_ || static_cast<int>(b.row.size()) < m_) return lp_->set_basis(b);
  std::unordered_map<int64_t, int> st;
  for (size_t k = 0; k < b.cuts.size() && m_ + k < b.row.size(); ++k) st[b.cuts[k]] = b.row[m_ + k];
  LpBasis mapped;
  mapped.col = b.col;
  mapped.row.assign(b.row.begin(), b.row.begin() + m_);
  for (int64_t id : lp_cuts_) {
    auto it = st.find(id);
    mapped.row.push_back(it == st.end() ? 1 : it->second);  // new rows: slack basic
  }
  mapped.cuts = lp_cuts_;
  return lp_->set_basis(mapped);
}

void Searcher::add_cuts(std::vector<Cut> &cuts) {
  std::vector<double> lo, up, val;
  std::vector<int64_t> start{0};
  std::vector<int> ind;
  for (Cut &c : cuts) {
    const int64_t id = pool_->add(c);
    Cut *p = pool_->find(id);
    if (p->in_lp) continue;
    p->in_lp = true;
    p->age = 0;
    lp_cuts_.push_back(id);
    lo.push_back(p->lo);
    up.push_back(p->up);
    ind.insert(ind.end(), p->ind.begin(), p->ind.end());
    val.insert(val.end(), p->val.begin(), p->val.end());
    start.push_back(static_cast<int64_t>(ind.size()));
    ++res_.cuts;
  }
  lp_->add_rows(static_cast<int>(lo.size()), lo.data(), up.data(), start, ind, val);
}

// Cut rows slack at the relaxation's solution age; those aged enough and
// basic leave the relaxation (taking out basic rows keeps the basis).
void Searcher::age_cuts() {
  if (lp_cuts_.empty()) return;
  const std::vector<double> &act = lp_->row_activity();
  if (static_cast<int>(act.size()) != lp_->nrows()) return;
  LpBasis b;
  lp_->get_basis(b);
  std::vector<int> drop;
  std::vector<int64_t> kept;
  for (size_t k = 0; k < lp_cuts_.size(); ++k) {
    Cut *c = pool_->find(lp_cuts_[k]);
    const int row = m_ + static_cast<int>(k);
    const double s = std::min(act[row] - c->lo, c->up - act[row]);
    const double scale = std::max(1.0, std::min(std::fabs(c->lo), std::fabs(c->up)));
    c->age = s > 1e-6 * scale ? c->age + 1 : 0;
    if (!c->keep && c->age >= ctl_.cut_age && !b.empty() && b.row[row] == 1) {
      drop.push_back(row);
      c->in_lp = false;
    } else {
      kept.push_back(lp_cuts_[k]);
    }
  }
  if (drop.empty()) return;
  lp_->delete_rows(drop);
  lp_cuts_.swap(kept);
}

LpOutcome Searcher::root_rounds() {
  if (row_int_.empty()) {
    row_int_.assign(m_, 1);
    for (int k = 0; k < m_; ++k)
      for (int64_t q = rows_.start[k]; q < rows_.start[k + 1] && row_int_[k]; ++q)
        if (kind_[rows_.colind[q]] != kInt || rows_.val[q] != std::round(rows_.val[q])) row_int_[k] = 0;
    find_var_bounds();
  }
  LpOutcome o = LpOutcome::kOptimal;
  double last = lp_->objective();
  int stall = 0;
  const size_t per_round = static_cast<size_t>(std::max(10, std::min(200, n_ / 2 + m_ / 4)));
  std::vector<Cut> cands;
  for (int round = 0; round < ctl_.cut_rounds; ++round) {
    const std::vector<double> x = lp_->x();
    if (time_up() || !violated(x) || cut_off(lp_->objective())) break;
    cands.clear();
    separate(x, cands);
    if (ctl_.check_cuts_at)
      for (const Cut &c : cands)
        if (CutPool::violation(c, ctl_.check_cuts_at->data()) > 1e-6 * std::max(1.0, std::fabs(c.lo)))
          ++res_.cuts_invalid;
    std::vector<Cut> chosen = select(cands, x, n_, per_round);
    if (chosen.empty()) break;
    add_cuts(chosen);
    o = solve_lp(nullptr);
    if (o != LpOutcome::kOptimal) return o;
    const double obj = lp_->objective();
    stall = obj - last <= 1e-6 * std::max(1.0, std::fabs(obj)) ? stall + 1 : 0;
    last = obj;
    if (stall >= 3) break;
    // Cuts the later rounds made slack leave at once.
    const int age = ctl_.cut_age;
    ctl_.cut_age = 1;
    age_cuts();
    ctl_.cut_age = age;
  }
  return o;
}

LpOutcome Searcher::pool_rounds() {
  LpOutcome o = LpOutcome::kOptimal;
  for (int round = 0; round < 2 && pool_->size() > lp_cuts_.size(); ++round) {
    const std::vector<double> &x = lp_->x();
    std::vector<Cut> cands;
    for (auto &p : *pool_)
      if (!p.second.in_lp && CutPool::efficacy(p.second, x.data()) >= kMinEfficacy) cands.push_back(p.second);
    std::vector<Cut> chosen = select(cands, x, n_, 20);
    if (chosen.empty()) break;
    add_cuts(chosen);
    o = solve_lp(nullptr);
    if (o != LpOutcome::kOptimal) break;
  }
  return o;
}

LpOutcome Searcher::cut_loop(const Node &nd, LpOutcome o) {
  if (o != LpOutcome::kOptimal || quadratic_) return o;
  if (nd.depth == 0 && !root_cuts_done_) {
    root_cuts_done_ = true;
    if (ctl_.cut_rounds > 0) o = root_rounds();
    if (o == LpOutcome::kOptimal) res_.root_bound = sense_ * lp_->objective();
    return o;
  }
  o = pool_rounds();
  if (o == LpOutcome::kOptimal) age_cuts();
  return o;
}

}  // namespace search
}  // namespace krvu
