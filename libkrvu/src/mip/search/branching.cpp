// What a relaxation's solution violates and how the node is split: integer
// columns by reliability branching (pseudo-costs, initialised by strong
// branching with an iteration limit); semi-continuous columns, special
// ordered sets and indicator rows by their own dichotomies.
#include <algorithm>
#include <cmath>

#include "core/common.h"
#include "mip/search/searcher.h"

namespace krvu {
namespace search {

namespace {

double frac_of(double v) { return v - std::floor(v); }

}  // namespace

// Integrality is what the integer kinds need at x (semi-integer columns
// above their threshold, partially integer ones below it).
static bool int_violated(char kind, double thr, double v, double tol) {
  const double f = frac_of(v);
  const bool frac = f > tol && f < 1 - tol;
  switch (kind) {
    case kInt: return frac;
    case kSemiInt: return frac && v >= thr - tol;
    case kPartial: return frac && v < thr - tol;
    default: return false;
  }
}

static bool semi_violated(char kind, double thr, double v, double tol) {
  return (kind == kSemi || kind == kSemiInt) && v > tol && v < thr - tol;
}

// An indicator row left out of the relaxation whose column enforces it at x
// while x breaks it.
bool Searcher::indicator_violated(int r, const std::vector<double> &x) const {
  const double v = indcomp_[r] > 0 ? 1.0 : 0.0;
  if (std::fabs(x[indcol_[r]] - v) > 0.5) return false;
  double act = 0;
  for (int64_t k = rows_.start[r]; k < rows_.start[r + 1]; ++k) act += rows_.val[k] * x[rows_.colind[k]];
  const double tol = ctl_.feastol * std::max(1.0, std::fabs(act));
  return act < rlo_[r] - tol || act > rup_[r] + tol;
}

static bool sos_violated(const Sos &s, const std::vector<double> &x, double tol, int &first,
                         int &last) {
  first = last = -1;
  int count = 0;
  for (int k = 0; k < static_cast<int>(s.cols.size()); ++k)
    if (std::fabs(x[s.cols[k]]) > tol) {
      if (first < 0) first = k;
      last = k;
      ++count;
    }
  if (s.type == '1') return count > 1;
  return count > 2 || (count == 2 && last - first > 1);
}

bool Searcher::violated(const std::vector<double> &x) const {
  for (int j : ncols_int_) {
    if (int_violated(kind_[j], thr_[j], x[j], ctl_.miptol)) return true;
    if (semi_violated(kind_[j], thr_[j], x[j], ctl_.feastol)) return true;
  }
  int f, l;
  for (const Sos &s : sets_)
    if (sos_violated(s, x, ctl_.feastol, f, l)) return true;
  for (int r : indrows_) {
    if (!rowon_[r] && indicator_violated(r, x)) return true;
  }
  return false;
}

double Searcher::pscost(int j, int dir) const {
  std::lock_guard<std::mutex> lk(sh_->pc_mu);
  if (pc_cnt_[dir][j] > 0) return pc_sum_[dir][j] / pc_cnt_[dir][j];
  if (pc_all_cnt_[dir] > 0) return pc_all_sum_[dir] / pc_all_cnt_[dir];
  return 1.0;
}

void Searcher::observe(const BranchInfo &info, double gain) {
  if (info.col < 0 || info.dist <= 0 || !std::isfinite(gain)) return;
  const double unit = std::max(gain, 0.0) / info.dist;
  std::lock_guard<std::mutex> lk(sh_->pc_mu);
  pc_sum_[info.dir][info.col] += unit;
  ++pc_cnt_[info.dir][info.col];
  pc_all_sum_[info.dir] += unit;
  ++pc_all_cnt_[info.dir];
}

Node Searcher::child(const Node &nd, double obj) const {
  Node c;
  c.changes = nd.changes;
  c.basis = nd.basis;
  c.bound = obj;
  c.estimate = obj;
  c.depth = nd.depth + 1;
  c.parent = nd.id;
  return c;
}

bool Searcher::branch(const Node &nd, const std::vector<double> &x, double obj,
                      std::vector<Node> &kids, bool &prune) {
  branch_pri_ = has_prio_ ? top_priority(x) : kDefaultPriority;
  if (branch_integer(nd, x, obj, kids, prune)) return true;
  if (prune) return false;
  return branch_entity(nd, x, obj, kids);
}

bool Searcher::branch_integer(const Node &nd, const std::vector<double> &x, double obj,
                              std::vector<Node> &kids, bool &prune) {
  struct Cand {
    int j;
    double v, f, score;
    double gain[2];
  };
  std::vector<Cand> cands;
  for (int j : ncols_int_)
    if (int_violated(kind_[j], thr_[j], x[j], ctl_.miptol) && at_priority(j)) {
      Cand c{j, x[j], frac_of(x[j]), 0, {0, 0}};
      c.gain[0] = pscost(j, 0) * c.f;
      c.gain[1] = pscost(j, 1) * (1 - c.f);
      c.score = std::max(c.gain[0], 1e-6) * std::max(c.gain[1], 1e-6);
      cands.push_back(c);
    }
  if (cands.empty()) return false;
  std::sort(cands.begin(), cands.end(), [](const Cand &a, const Cand &b) { return a.score > b.score; });
  // Strong branching on the unreliable candidates, within a budget of
  // iterations that grows with the work on the nodes themselves.
  const int64_t spent = lp_->iterations() - sb_iters_;
  const bool sb_ok = !quadratic_ && ctl_.sb_candidates > 0 && ctl_.reliable > 0 &&
                     sb_iters_ <= spent + 20000 + 100 * static_cast<int64_t>(n_);
  int forced = -1, forced_dir = -1;  // a candidate with one infeasible side
  if (sb_ok) {
    // Unreliable candidates first by fractionality (their scores are guesses).
    std::vector<int> order;
    std::unique_lock<std::mutex> pc(sh_->pc_mu);
    for (int k = 0; k < static_cast<int>(cands.size()); ++k) {
      const int j = cands[k].j;
      if (std::min(pc_cnt_[0][j], pc_cnt_[1][j]) < ctl_.reliable) order.push_back(k);
    }
    pc.unlock();
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      const double fa = std::min(cands[a].f, 1 - cands[a].f), fb = std::min(cands[b].f, 1 - cands[b].f);
      return fa > fb;
    });
    if (static_cast<int>(order.size()) > ctl_.sb_candidates) order.resize(ctl_.sb_candidates);
    // A probe ends on a basis that stays dual feasible once the bound is
    // put back, so the next probe (and the child dived into) starts from
    // it: putting the node's basis back would refactorise every time.  Only
    // a callback that looks at the node after the branching (chgbranch)
    // needs the node's own solution back.
    const bool restore = hooks_.active();
    LpBasis saved;
    if (!order.empty() && restore) lp_->get_basis(saved);
    for (int k : order) {
      Cand &c = cands[k];
      bool infeas[2] = {false, false};
      for (int dir = 0; dir < 2; ++dir) {
        double lo = lplo_[c.j], up = lpup_[c.j];
        if (dir == 0) up = std::floor(c.v);
        else lo = kind_[c.j] == kPartial ? std::min(std::ceil(c.v), thr_[c.j]) : std::ceil(c.v);
        lp_->set_col_bounds(1, &c.j, &lo, &up);
        const int64_t before = lp_->iterations();
        const LpOutcome o = lp_->solve(ctl_.sb_iterlimit);
        sb_iters_ += lp_->iterations() - before;
        double gain;
        if (o == LpOutcome::kInfeasible) {
          infeas[dir] = true;
          gain = INFINITY;
        } else if (o == LpOutcome::kOptimal || o == LpOutcome::kLimit) {
          gain = std::max(lp_->objective() - obj, 0.0);
          if (o == LpOutcome::kOptimal && cut_off(lp_->objective())) infeas[dir] = true;
          BranchInfo bi{c.j, dir, dir == 0 ? c.f : 1 - c.f};
          observe(bi, gain);
        } else {
          gain = 0;
        }
        c.gain[dir] = gain;
        lp_->set_col_bounds(1, &c.j, &lplo_[c.j], &lpup_[c.j]);
        if (restore) lp_->set_basis(saved);
      }
      if (infeas[0] && infeas[1]) {
        prune = true;
        return false;
      }
      if (infeas[0] || infeas[1]) {
        forced = k;
        forced_dir = infeas[0] ? 1 : 0;
        break;
      }
      c.score = std::max(std::min(c.gain[0], 1e12), 1e-6) * std::max(std::min(c.gain[1], 1e12), 1e-6);
    }
  }
  const Cand *best = nullptr;
  if (forced >= 0) {
    best = &cands[forced];
  } else {
    for (const Cand &c : cands)
      if (!best || c.score > best->score) best = &c;
  }
  const int j = best->j;
  Node down = child(nd, obj), up = child(nd, obj);
  down.changes.push_back({j, -INFINITY, std::floor(best->v)});
  up.changes.push_back({j, kind_[j] == kPartial ? std::min(std::ceil(best->v), thr_[j]) : std::ceil(best->v),
                        INFINITY});
  down.info = {j, 0, best->f};
  up.info = {j, 1, 1 - best->f};
  const double gd = std::isfinite(best->gain[0]) ? best->gain[0] : 0;
  const double gu = std::isfinite(best->gain[1]) ? best->gain[1] : 0;
  down.estimate = obj + gd;
  up.estimate = obj + gu;
  if (forced >= 0) {
    down.id = up.id = next_id_++;
    kids.push_back(forced_dir == 0 ? std::move(down) : std::move(up));
    return true;
  }
  down.id = next_id_++;
  up.id = next_id_++;
  // The child that looks cheaper is dived into first, ties going up, unless
  // a directive prefers a direction.
  const bool down_first = pdir_[j] == 'D' || (pdir_[j] != 'U' && gd < gu);
  if (down_first) {
    kids.push_back(std::move(down));
    kids.push_back(std::move(up));
  } else {
    kids.push_back(std::move(up));
    kids.push_back(std::move(down));
  }
  return true;
}

bool Searcher::branch_entity(const Node &nd, const std::vector<double> &x, double obj,
                             std::vector<Node> &kids) {
  auto two = [&](Node &&a, Node &&b) {
    a.id = next_id_++;
    b.id = next_id_++;
    kids.push_back(std::move(a));
    kids.push_back(std::move(b));
    return true;
  };
  // Semi-continuous columns: zero, or at least the threshold.
  int bestj = -1;
  double bestv = 0;
  for (int j : ncols_int_)
    if (semi_violated(kind_[j], thr_[j], x[j], ctl_.feastol) && at_priority(j)) {
      const double v = std::min(x[j], thr_[j] - x[j]) / thr_[j];
      if (v > bestv) {
        bestv = v;
        bestj = j;
      }
    }
  if (bestj >= 0) {
    Node zero = child(nd, obj), on = child(nd, obj);
    zero.changes.push_back({bestj, -INFINITY, 0.0});
    on.changes.push_back({bestj, thr_[bestj], INFINITY});
    const bool zero_first = pdir_[bestj] == 'D' || (pdir_[bestj] != 'U' && x[bestj] < 0.5 * thr_[bestj]);
    return zero_first ? two(std::move(zero), std::move(on)) : two(std::move(on), std::move(zero));
  }
  // Sets: members on one side of a split position are set to 0.
  for (const Sos &s : sets_) {
    int f, l;
    if (!sos_violated(s, x, ctl_.feastol, f, l)) continue;
    double sw = 0, sx = 0;
    for (int k = f; k <= l; ++k) {
      const double a = std::fabs(x[s.cols[k]]);
      sw += a * s.w[k];
      sx += a;
    }
    const double centre = sw / sx;
    Node left = child(nd, obj), right = child(nd, obj);
    if (s.type == '1') {
      // left keeps members 0..r, right r+1..end; f <= r < l
      int r = f;
      while (r + 1 < l && s.w[r + 1] < centre) ++r;
      for (int k = r + 1; k < static_cast<int>(s.cols.size()); ++k) left.changes.push_back({s.cols[k], 0.0, 0.0});
      for (int k = 0; k <= r; ++k) right.changes.push_back({s.cols[k], 0.0, 0.0});
    } else {
      // left keeps 0..r, right r..end; f < r < l so both cut x off
      int r = f + 1;
      while (r + 1 < l && s.w[r + 1] <= centre) ++r;
      for (int k = r + 1; k < static_cast<int>(s.cols.size()); ++k) left.changes.push_back({s.cols[k], 0.0, 0.0});
      for (int k = 0; k < r; ++k) right.changes.push_back({s.cols[k], 0.0, 0.0});
    }
    return two(std::move(left), std::move(right));
  }
  // Indicator rows: the column at the value that does not enforce the row,
  // or at the one that does (the row then enters the relaxation).
  for (int r : indrows_) {
    if (rowon_[r] || !indicator_violated(r, x)) continue;
    const int b = indcol_[r];
    const double v = indcomp_[r] > 0 ? 1.0 : 0.0;
    Node off = child(nd, obj), on = child(nd, obj);
    off.changes.push_back({b, 1 - v, 1 - v});
    on.changes.push_back({b, v, v});
    return two(std::move(on), std::move(off));
  }
  return false;
}

}  // namespace search
}  // namespace krvu
