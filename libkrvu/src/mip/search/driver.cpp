// The tree and the node loop: depth-first dives from each node taken off the
// open list, which is ordered by bound (and by estimate while there is no
// incumbent, and every few picks after).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>
#include <unordered_map>

#include "core/common.h"
#include "lp/engine.h"
#include "mip/search/searcher.h"

namespace krvu {

namespace search {

namespace {
double secs_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}
}  // namespace

Searcher::Searcher(const ModelData &w, const SearchControls &ctl, SearchHooks &hooks,
                   const std::atomic<bool> &interrupt)
    : ctl_(ctl), hooks_(hooks), interrupt_(interrupt), pool_(ctl.pool ? *ctl.pool : own_pool_) {
  build(w);
}

// A pool the caller keeps gets back its user cuts as they were, out of any
// relaxation, and loses the search's own cuts.
Searcher::~Searcher() {
  std::vector<int64_t> own;
  for (auto &p : pool_) {
    p.second.in_lp = false;
    p.second.age = 0;
    if (p.second.origin != 'U') own.push_back(p.first);
  }
  for (int64_t id : own) pool_.remove(id);
}

void Searcher::build(const ModelData &w) {
  if (!w.qrows.empty())
    raise(KRVU_ERR_STATE, "the search cannot take rows with quadratic coefficients");
  if (!w.gentype.empty() || !w.pwlcol.empty())
    raise(KRVU_ERR_STATE, "general constraints must be reformulated before the search");
  n_ = w.ncols();
  m_ = w.nrows();
  sense_ = w.objsense < 0 ? -1.0 : 1.0;
  offset_ = sense_ * -w.objrhs;
  kind_.assign(n_, kCont);
  thr_.assign(n_, 0.0);
  cost_.resize(n_);
  LpModel &lp = lpm_;
  lp.ncols = n_;
  lp.nrows = m_;
  lp.cost.resize(n_);
  lp.lb.resize(n_);
  lp.ub.resize(n_);
  lp.offset = offset_;
  auto fin = [](double v) { return v >= KRVU_INFINITY ? INFINITY : v <= -KRVU_INFINITY ? -INFINITY : v; };
  auto rup = [](double v) { return std::isfinite(v) ? std::ceil(v - 1e-9) : v; };
  auto rdn = [](double v) { return std::isfinite(v) ? std::floor(v + 1e-9) : v; };
  for (int j = 0; j < n_; ++j) {
    double lo = fin(w.lb[j]), up = fin(w.ub[j]);
    const char t = w.coltype[j];
    cost_[j] = sense_ * w.obj[j];
    switch (t) {
      case 'B':
        lo = rup(std::max(lo, 0.0));
        up = rdn(std::min(up, 1.0));
        kind_[j] = kInt;
        break;
      case 'I':
        lo = rup(lo);
        up = rdn(up);
        kind_[j] = kInt;
        break;
      case 'S':
      case 'R': {
        double lo1 = std::max(lo, w.threshold[j]);
        if (t == 'R') {
          lo1 = rup(lo1);
          up = rdn(up);
        }
        const bool zero_ok = lo <= 0 && up >= 0;
        if (zero_ok && lo1 > up) {
          lo = up = 0.0;
        } else if (zero_ok && lo1 > 0) {
          lo = 0.0;
          thr_[j] = lo1;
          kind_[j] = t == 'S' ? kSemi : kSemiInt;
        } else {
          lo = lo1;
          kind_[j] = t == 'S' ? kCont : kInt;
          if (t == 'R') lo = rup(lo);
        }
        break;
      }
      case 'P': {
        const double th = w.threshold[j];
        if (up <= th) {
          lo = rup(lo);
          up = rdn(up);
          kind_[j] = kInt;
        } else if (th > lo) {
          kind_[j] = kPartial;
          thr_[j] = th;
          lo = rup(lo);
        }
        break;
      }
      default:
        break;
    }
    lp.lb[j] = lo;
    lp.ub[j] = up;
    lp.cost[j] = cost_[j];
  }
  // The matrix, column-wise for the engine and row-wise for propagation.
  lp.astart.assign(w.mstart.begin(), w.mstart.end());
  lp.aindex = w.mrwind;
  lp.aval = w.dmatval;
  std::vector<int64_t> cnt(m_ + 1, 0);
  for (int k = 0; k < static_cast<int>(w.mrwind.size()); ++k) ++cnt[w.mrwind[k] + 1];
  for (int i = 0; i < m_; ++i) cnt[i + 1] += cnt[i];
  rows_.start = cnt;
  rows_.colind.resize(cnt[m_]);
  rows_.val.resize(cnt[m_]);
  for (int j = 0; j < n_; ++j)
    for (int64_t k = w.mstart[j]; k < w.mstart[j + 1]; ++k) {
      const int64_t p = cnt[w.mrwind[k]]++;
      rows_.colind[p] = j;
      rows_.val[p] = w.dmatval[k];
    }
  rlo_.resize(m_);
  rup_.resize(m_);
  for (int i = 0; i < m_; ++i) row_bounds(w, i, rlo_[i], rup_[i]);
  lp.rlo = rlo_;
  lp.rup = rup_;
  // Indicator rows are left out of the relaxation (free) until their column
  // is fixed at the value that enforces them.
  indcol_.assign(m_, -1);
  indcomp_.assign(m_, 0);
  for (int i = 0; i < m_ && i < static_cast<int>(w.indcol.size()); ++i) {
    const int b = w.indcol[i];
    if (b < 0 || w.rowtype[i] == 'N') continue;
    if (kind_[b] != kInt || lp.lb[b] < 0 || lp.ub[b] > 1)
      raise(KRVU_ERR_STATE, "the indicator of row %d (%s) is column %d (%s), which is not binary", i,
            row_name(w, i).c_str(), b, col_name(w, b).c_str());
    indcol_[i] = b;
    indcomp_[i] = w.indcomp[i];
    indrows_.push_back(i);
    lp.rlo[i] = -INFINITY;
    lp.rup[i] = INFINITY;
  }
  // Sets, members ordered by reference weight.
  for (int s = 0; s < w.nsets(); ++s) {
    Sos set;
    set.type = w.settype[s];
    std::vector<std::pair<double, int>> mem;
    for (int64_t k = w.setstart[s]; k < w.setstart[s + 1]; ++k) mem.push_back({w.setref[k], w.setcol[k]});
    std::stable_sort(mem.begin(), mem.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (auto &p : mem) {
      if (set.type == '1' && std::find(set.cols.begin(), set.cols.end(), p.second) != set.cols.end())
        continue;
      set.w.push_back(p.first);
      set.cols.push_back(p.second);
    }
    if (set.cols.size() > (set.type == '2' ? 2u : 1u)) sets_.push_back(std::move(set));
  }
  // Quadratic objective, in the minimization form.
  if (!w.qstart.empty() && !w.qrow.empty()) {
    // Rebuilt as the engine wants it: lower triangle, rows increasing
    // within each column, no zeros and no repeated entries.
    std::vector<std::tuple<int, int, double>> t;
    for (int j = 0; j < n_; ++j)
      for (int64_t k = w.qstart[j]; k < w.qstart[j + 1]; ++k)
        if (w.qval[k] != 0)
          t.emplace_back(std::min(j, w.qrow[k]), std::max(j, w.qrow[k]), sense_ * w.qval[k]);
    std::sort(t.begin(), t.end());
    lp.qstart.assign(n_ + 1, 0);
    for (size_t k = 0; k < t.size(); ++k) {
      const auto [c, r, v] = t[k];
      if (!lp.qindex.empty() && k > 0 && std::get<0>(t[k - 1]) == c && std::get<1>(t[k - 1]) == r) {
        lp.qval.back() += v;
        continue;
      }
      lp.qindex.push_back(r);
      lp.qval.push_back(v);
      ++lp.qstart[c + 1];
    }
    for (int j = 0; j < n_; ++j) lp.qstart[j + 1] += lp.qstart[j];
    quadratic_ = !lp.qindex.empty();
  }
  // Locks: rows a move of the column down (up) can violate.
  uplocks_.assign(n_, 0);
  downlocks_.assign(n_, 0);
  for (int j = 0; j < n_; ++j) {
    if (kind_[j] != kCont) ncols_int_.push_back(j);
    for (int64_t k = w.mstart[j]; k < w.mstart[j + 1]; ++k) {
      const int i = w.mrwind[k];
      const double a = w.dmatval[k];
      const bool hasup = std::isfinite(rup_[i]), haslo = std::isfinite(rlo_[i]);
      if ((a > 0 && hasup) || (a < 0 && haslo)) ++uplocks_[j];
      if ((a > 0 && haslo) || (a < 0 && hasup)) ++downlocks_[j];
    }
  }
  // An objective that takes only integer values on integer points lets a
  // node be cut off one unit before the incumbent.
  obj_integral_ = !quadratic_ && !ctl_.relaxation;
  for (int j = 0; j < n_ && obj_integral_; ++j)
    if (cost_[j] != 0 && (kind_[j] != kInt || cost_[j] != std::round(cost_[j])))
      obj_integral_ = false;
  for (int k = 0; k < 2; ++k) {
    pc_sum_[k].assign(n_, 0.0);
    pc_cnt_[k].assign(n_, 0);
  }
  build_directives(w);
}

bool Searcher::indicator_active(int r) const {
  const int b = indcol_[r];
  const double v = indcomp_[r] > 0 ? 1.0 : 0.0;
  return lo_[b] > v - 0.5 && up_[b] < v + 0.5;
}

bool Searcher::time_up() {
  if (interrupt_.load(std::memory_order_relaxed)) {
    stop_ = KRVU_STOP_CTRLC;
    return true;
  }
  if (std::isfinite(ctl_.timelimit) && secs_since(t0_) >= ctl_.timelimit) {
    stop_ = KRVU_STOP_TIMELIMIT;
    return true;
  }
  return false;
}

double Searcher::cutoff_value() const { return std::min(inc_obj_, user_cutoff_); }

double Searcher::effective(double bound) const {
  if (!obj_integral_ || !std::isfinite(bound)) return bound;
  return offset_ + std::ceil(bound - offset_ - 1e-6);
}

bool Searcher::cut_off(double bound) const {
  const double b = effective(bound);
  if (b >= user_cutoff_) return true;
  if (!has_inc_) return false;
  return b >= inc_obj_ - std::max(ctl_.absgap, 1e-9 * std::fabs(inc_obj_));
}

double Searcher::objective_of(const std::vector<double> &x) const {
  double v = offset_;
  for (int j = 0; j < n_; ++j) v += cost_[j] * x[j];
  if (quadratic_)
    for (int j = 0; j < n_; ++j)
      for (int64_t k = lpm_.qstart[j]; k < lpm_.qstart[j + 1]; ++k) {
        const int i = lpm_.qindex[k];
        v += (i == j ? 0.5 : 1.0) * lpm_.qval[k] * x[i] * x[j];
      }
  return v;
}

void Searcher::accept(const std::vector<double> &x, double obj, const char *source) {
  if (obj >= user_cutoff_) return;
  if (has_inc_ && obj >= inc_obj_ - 1e-9 * std::max(1.0, std::fabs(inc_obj_))) return;
  // A candidate that breaks rows the relaxation held out is no solution;
  // the rows it breaks enter the relaxation.
  if (!lazyrows_.empty() && add_violated(x, 1) + add_violated(x, 2) > 0) return;
  if (breaks_user_cut(x, 10)) return;
  if (hooks_.active()) {
    double cutoff = sense_ * user_cutoff_;
    const bool reject = hooks_.preintsol(nullptr, std::strcmp(source, "the relaxation") ? 1 : 0, x, cutoff);
    if (std::isfinite(cutoff) && std::fabs(cutoff) < KRVU_INFINITY)
      user_cutoff_ = std::min(user_cutoff_, sense_ * cutoff);
    if (reject || obj >= user_cutoff_) return;
  }
  has_inc_ = true;
  inc_obj_ = obj;
  inc_x_ = x;
  ++res_.sols;
  if (ctl_.loglevel >= 1)
    hooks_.log_line(format("Solution found by %s at node %lld: objective %.12g", source,
                           static_cast<long long>(nodes_), sense_ * obj));
  hooks_.incumbent(x, sense_ * obj);
  if (ctl_.relaxation) ctl_.relaxation->incumbent(x, sense_ * obj);
  report_gap();
}

bool Searcher::load_bounds(const Node &nd) {
  lo_ = root_lo_;
  up_ = root_up_;
  std::vector<int> dirty;
  for (const Change &c : nd.changes) {
    lo_[c.col] = std::max(lo_[c.col], c.lo);
    up_[c.col] = std::min(up_[c.col], c.up);
    if (lo_[c.col] > up_[c.col] + ctl_.feastol) return false;
    for (int64_t k = lpm_.astart[c.col]; k < lpm_.astart[c.col + 1]; ++k)
      dirty.push_back(lpm_.aindex[k]);
  }
  for (int r : indrows_)
    if (indicator_active(r)) dirty.push_back(r);
  return propagate(dirty);
}

void Searcher::push_bounds() {
  std::vector<int> idx;
  std::vector<double> lo, up;
  for (int j = 0; j < n_; ++j)
    if (lo_[j] != lplo_[j] || up_[j] != lpup_[j]) {
      idx.push_back(j);
      // Crossed bounds within the tolerance reach the engine as a point.
      const double l = lo_[j], u = std::max(lo_[j], up_[j]);
      lo.push_back(l);
      up.push_back(u);
      lplo_[j] = lo_[j];
      lpup_[j] = up_[j];
    }
  lp_->set_col_bounds(static_cast<int>(idx.size()), idx.data(), lo.data(), up.data());
  idx.clear();
  lo.clear();
  up.clear();
  for (int r : indrows_) {
    const char on = indicator_active(r) ? 1 : 0;
    if (on == rowon_[r]) continue;
    rowon_[r] = on;
    idx.push_back(r);
    lo.push_back(on ? rlo_[r] : -INFINITY);
    up.push_back(on ? rup_[r] : INFINITY);
  }
  lp_->set_row_bounds(static_cast<int>(idx.size()), idx.data(), lo.data(), up.data());
}

LpOutcome Searcher::solve_lp(const Node *nd, int iterlimit) {
  if (nd && nd->basis && nd->parent != lp_holds_) set_node_basis(*nd->basis);
  if (std::isfinite(ctl_.timelimit)) lp_->set_time_left(ctl_.timelimit - secs_since(t0_));
  LpOutcome o = lp_->solve(iterlimit);
  if (o == LpOutcome::kError || (o == LpOutcome::kLimit && iterlimit < 0)) {
    // Numerical trouble from the warm start: once more from a slack basis.
    LpBasis none;
    none.col.assign(n_, 0);  // at lower bound
    none.row.assign(lp_->nrows(), 1);  // basic
    for (int j = 0; j < n_; ++j)
      if (!std::isfinite(lplo_[j])) none.col[j] = std::isfinite(lpup_[j]) ? 2 : 3;
    lp_->set_basis(none);
    o = lp_->solve(iterlimit);
  }
  if (o == LpOutcome::kInterrupted && !time_up()) stop_ = KRVU_STOP_TIMELIMIT;
  return o;
}

bool Searcher::ends_node(const Node &nd, LpOutcome o, NodeEnd &end) {
  switch (o) {
    case LpOutcome::kInterrupted: end = NodeEnd::kStopped; return true;
    case LpOutcome::kInfeasible: end = NodeEnd::kInfeasible; return true;
    case LpOutcome::kUnbounded:
      if (nd.depth == 0) res_.status = KRVU_MIP_UNBOUNDED;
      end = NodeEnd::kInfeasible;
      return true;
    case LpOutcome::kOptimal: return false;
    default:
      // The relaxation could not be solved: the node is given up, and its
      // bound keeps the search from claiming optimality.
      res_.bound = std::min(res_.bound, nd.bound);
      ++dropped_;
      end = NodeEnd::kPruned;
      return true;
  }
}

Searcher::NodeEnd Searcher::process(Node &nd, std::vector<Node> &kids) {
  if (!load_bounds(nd)) return NodeEnd::kInfeasible;
  if (hooks_.active() && hooks_.prenode(view(nd, false))) return NodeEnd::kInfeasible;
  if (ctl_.relaxation) return process_relaxed(nd, kids);
  push_bounds();
  if (!nd.load.empty()) load_cuts(nd.load);
  LpOutcome o = held_rows(cut_loop(nd, solve_lp(&nd)));
  lp_holds_ = nd.id;
  // Cuts the optnode callbacks put into the relaxation (or took out) have
  // the node solved again and the callbacks called again, a bounded number
  // of times.
  constexpr int kMaxUserRounds = 50;
  Branches stored;
  BranchCuts stored_cuts;
  NodeEnd end;
  double obj = 0;
  for (int round = 0;; ++round) {
    if (ends_node(nd, o, end)) return end;
    obj = lp_->objective();
    if (round == 0 && nd.info.col >= 0) observe(nd.info, obj - nd.bound);
    if (cut_off(obj)) {
      hooks_.nodecutoff(nd.id);
      return NodeEnd::kPruned;
    }
    if (!hooks_.active() || round >= kMaxUserRounds) break;
    stored.clear();
    stored_cuts.clear();
    user_branches_.clear();
    user_branch_cuts_.clear();
    dirty_ = false;
    in_optnode_ = true;
    const bool infeasible = hooks_.optnode(view(nd, true), &stored, &stored_cuts);
    in_optnode_ = false;
    if (infeasible) return NodeEnd::kInfeasible;
    if (!dirty_) break;
    o = held_rows(solve_lp(nullptr));
  }
  std::vector<double> x = lp_->x();
  if (!violated(x)) {
    accept(x, obj, "the relaxation");
    return NodeEnd::kFeasible;
  }
  auto basis = std::make_shared<LpBasis>();
  lp_->get_basis(*basis);
  basis->cuts = lp_cuts_;
  simple_rounding(x);
  const int every = ctl_.heur_effort > 0 ? std::max(10, static_cast<int>(5 / ctl_.heur_effort)) : 0;
  if (every && (nd.depth == 0 || (nodes_ % every == 0 && !quadratic_))) {
    dive(obj);
    lp_->set_basis(*basis);
    lp_holds_ = nd.id;
    if (cut_off(obj)) return NodeEnd::kPruned;
  }
  nd.basis = basis;
  return branch_node(nd, x, obj, stored, kids, &stored_cuts);
}

Searcher::NodeEnd Searcher::branch_node(Node &nd, const std::vector<double> &x, double obj,
                                        const Branches &stored, std::vector<Node> &kids,
                                        const BranchCuts *stored_cuts) {
  if (!stored.empty()) {
    make_children(nd, obj, stored, kids, stored_cuts);
    return NodeEnd::kBranched;
  }
  if (!user_branches_.empty()) {
    make_children(nd, obj, user_branches_, kids, &user_branch_cuts_);
    user_branches_.clear();
    user_branch_cuts_.clear();
    return NodeEnd::kBranched;
  }
  bool prune = false;
  if (!branch(nd, x, obj, kids, prune) || prune) {
    if (!prune) ++dropped_;
    return NodeEnd::kPruned;
  }
  if (hooks_.active()) steer_branching(nd, obj, kids);
  return kids.empty() ? NodeEnd::kPruned : NodeEnd::kBranched;
}

void Searcher::log_progress(bool force) {
  if (ctl_.loglevel < 1) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && std::chrono::duration<double>(now - last_log_).count() < 2.0) return;
  last_log_ = now;
  const double bound = by_bound_.empty() ? (has_inc_ ? inc_obj_ : -INFINITY) : by_bound_.begin()->first;
  hooks_.log_line(format("Nodes %lld, open %lld, best solution %.10g, best bound %.10g, %.1f s",
                         static_cast<long long>(nodes_), static_cast<long long>(open_.size()),
                         has_inc_ ? sense_ * inc_obj_ : sense_ * INFINITY, sense_ * bound,
                         secs_since(t0_)));
  if (hooks_.globallog()) stop_ = KRVU_STOP_USER;
}

void Searcher::start_engine() {
  LpWorkerOptions opt;
  opt.feastol = ctl_.feastol;
  opt.threads = ctl_.engine_threads;
  lp_.reset(new LpWorker(lpm_, opt, &interrupt_));
  lo_ = lplo_ = root_lo_ = lpm_.lb;
  up_ = lpup_ = root_up_ = lpm_.ub;
  rowon_.assign(m_, 0);
}

SearchResult Searcher::run(const SearchStart &start) {
  t0_ = last_log_ = std::chrono::steady_clock::now();
  res_ = SearchResult();
  res_.bound = INFINITY;
  user_cutoff_ = std::isfinite(ctl_.cutoff) && std::fabs(ctl_.cutoff) < KRVU_INFINITY
                     ? sense_ * ctl_.cutoff
                     : INFINITY;
  start_engine();
  bool infeasible = !propagate_all();
  root_lo_ = lo_;
  root_up_ = up_;
  if (!infeasible) try_start(start);
  if (!start.x.empty()) hooks_.start_tried(res_.sols > 0 ? 0 : 1);

  Node cur;
  cur.id = next_id_++;
  bool have = !infeasible;
  int picks = 0;
  std::vector<Node> kids;
  auto push = [&](Node &&n) {
    by_bound_.insert({n.bound, n.id});
    by_estimate_.insert({n.estimate, n.id});
    open_.emplace(n.id, std::move(n));
  };
  auto take = [&](int64_t id) {
    auto it = open_.find(id);
    Node n = std::move(it->second);
    by_bound_.erase({n.bound, n.id});
    by_estimate_.erase({n.estimate, n.id});
    open_.erase(it);
    return n;
  };
  while (true) {
    if (!have) {
      // Nodes the incumbent has made useless.
      while (!by_bound_.empty() && cut_off(std::prev(by_bound_.end())->first))
        hooks_.nodecutoff(take(std::prev(by_bound_.end())->second).id);
      if (open_.empty()) break;
      ++picks;
      const bool by_est = !has_inc_ || picks % 5 == 0;
      cur = take(by_est ? by_estimate_.begin()->second : by_bound_.begin()->second);
      if (cut_off(cur.bound)) {
        hooks_.nodecutoff(cur.id);
        continue;
      }
      have = true;
    }
    if (has_inc_) {
      // The gap closes when the best open bound comes near enough.
      const double bound = std::min(cur.bound, by_bound_.empty() ? INFINITY : by_bound_.begin()->first);
      const double gap = inc_obj_ - effective(bound);
      if (gap <= ctl_.absgap || gap <= ctl_.relgap * std::fabs(inc_obj_)) {
        push(std::move(cur));
        have = false;
        break;
      }
    }
    if (time_up()) break;
    if (stop_ || hooks_.checktime()) {
      if (!stop_) stop_ = KRVU_STOP_USER;
      break;
    }
    if (nodes_ >= ctl_.nodelimit) {
      stop_ = KRVU_STOP_NODELIMIT;
      break;
    }
    if (res_.sols >= ctl_.sollimit) {
      stop_ = KRVU_STOP_SOLLIMIT;
      break;
    }
    kids.clear();
    const NodeEnd e = process(cur, kids);
    if (e == NodeEnd::kStopped) break;
    ++nodes_;
    res_.max_depth = std::max(res_.max_depth, cur.depth);
    if (res_.status == KRVU_MIP_UNBOUNDED) {
      have = false;
      break;
    }
    log_progress(nodes_ == 1);
    if (nodes_ == 1 && (report_gap(), hooks_.cutlog())) stop_ = KRVU_STOP_USER;
    have = false;
    if (e == NodeEnd::kInfeasible) hooks_.infnode(view(cur, false));
    if (e != NodeEnd::kBranched) continue;
    for (size_t k = 0; k < kids.size(); ++k) hooks_.newnode(cur.id, kids[k].id, static_cast<int>(k));
    // Dive into the preferred child unless its bound is far behind the
    // best open one.
    const double best = by_bound_.empty() ? kids[0].bound : by_bound_.begin()->first;
    const bool dive_on = !has_inc_ || kids[0].bound <= best + 0.5 * (inc_obj_ - best);
    for (size_t k = dive_on ? 1 : 0; k < kids.size(); ++k) push(std::move(kids[k]));
    if (dive_on) {
      cur = std::move(kids[0]);
      have = true;
    }
  }
  if (have) push(std::move(cur));
  // Best bound over what is left open.
  double bound = res_.bound;
  for (const auto &p : by_bound_)
    if (!cut_off(p.first)) {
      bound = std::min(bound, p.first);
      break;
    }
  if (has_inc_) bound = std::min(bound, inc_obj_);
  const bool finished = stop_ == 0 && res_.status != KRVU_MIP_UNBOUNDED;
  if (finished && open_.empty() && dropped_ == 0) bound = has_inc_ ? inc_obj_ : bound;
  res_.nodes = nodes_;
  res_.active = static_cast<int64_t>(open_.size());
  res_.has_sol = has_inc_;
  res_.lp_iterations = lp_->iterations();
  res_.seconds = secs_since(t0_);
  res_.stop = stop_;
  if (has_inc_) {
    res_.x = inc_x_;
    res_.obj = sense_ * inc_obj_;
  }
  if (res_.status != KRVU_MIP_UNBOUNDED) {
    if (finished && dropped_ == 0)
      res_.status = has_inc_ ? KRVU_MIP_OPTIMAL : KRVU_MIP_INFEAS;
    else
      res_.status = has_inc_ ? KRVU_MIP_SOLUTION : KRVU_MIP_NO_SOL_FOUND;
  }
  if (!std::isfinite(bound) && res_.status == KRVU_MIP_INFEAS) bound = INFINITY;
  res_.bound = sense_ * bound;
  if (has_inc_) {
    const double g = inc_obj_ - bound;
    res_.gap = g <= 0 ? 0.0 : std::fabs(inc_obj_) > 0 ? g / std::fabs(inc_obj_) : INFINITY;
  }
  return res_;
}

}  // namespace search

SearchResult run_search(const ModelData &work, const SearchControls &ctl,
                        const SearchStart &start, SearchHooks &hooks,
                        const std::atomic<bool> &interrupt) {
  search::Searcher s(work, ctl, hooks, interrupt);
  return s.run(start);
}

}  // namespace krvu
