// The tree and the node loop: depth-first dives from each node taken off the
// open list, which is ordered by bound (and by estimate while there is no
// incumbent, and every few picks after).  With several workers each runs the
// loop on its own thread over the shared open list; the root is solved (and
// its cuts found) by the first worker before the others start from it.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
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
    : sh_(std::make_shared<Shared>(hooks)),
      ctl_(ctl),
      hooks_(sh_->hooks),
      interrupt_(interrupt),
      has_inc_(sh_->has_inc),
      inc_obj_(sh_->inc_obj),
      inc_x_(sh_->inc_x),
      user_cutoff_(sh_->user_cutoff),
      pc_sum_(sh_->pc_sum),
      pc_cnt_(sh_->pc_cnt),
      pc_all_sum_(sh_->pc_all_sum),
      pc_all_cnt_(sh_->pc_all_cnt),
      open_(sh_->open),
      by_bound_(sh_->by_bound),
      by_estimate_(sh_->by_estimate),
      nodes_(sh_->nodes),
      next_id_(sh_->next_id),
      stop_(sh_->stop),
      dropped_(sh_->dropped) {
  pool_ = ctl.pool ? ctl.pool : &own_pool_;
  build(w);
}

// A pool the caller keeps gets back its user cuts as they were, out of any
// relaxation, and loses the search's own cuts.
Searcher::~Searcher() {
  std::vector<int64_t> own;
  for (auto &p : *pool_) {
    p.second.in_lp = false;
    p.second.age = 0;
    if (p.second.origin != 'U') own.push_back(p.first);
  }
  for (int64_t id : own) pool_->remove(id);
}

void Searcher::build(const ModelData &w) {
  model_ = &w;
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

double Searcher::cutoff_value() const { return std::min(inc_obj_.load(), user_cutoff_.load()); }

double Searcher::effective(double bound) const {
  if (!obj_integral_ || !std::isfinite(bound)) return bound;
  return offset_ + std::ceil(bound - offset_ - 1e-6);
}

bool Searcher::cut_off(double bound) const {
  const double b = effective(bound);
  if (b >= user_cutoff_) return true;
  if (!has_inc_) return false;
  const double inc = inc_obj_;
  return b >= inc - std::max(ctl_.absgap, 1e-9 * std::fabs(inc));
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
  if (has_inc_ && obj >= inc_obj_ - 1e-9 * std::max(1.0, std::fabs(inc_obj_.load()))) return;
  // A candidate that breaks rows the relaxation held out is no solution;
  // the rows it breaks enter the relaxation.
  if (!lazyrows_.empty() && add_violated(x, 1) + add_violated(x, 2) > 0) return;
  if (breaks_user_cut(x, 10)) return;
  // One candidate at a time, from its check to the report of the new
  // incumbent, so that incumbents are reported in order of improvement.
  std::lock_guard<std::recursive_mutex> one(sh_->hooks.lock());
  // User cuts another worker's callbacks added are binding too.
  for (const Searcher *w : sh_->workers)
    if (w != this && w->breaks_user_cut(x, 10)) return;
  if (hooks_.active()) {
    double cutoff = sense_ * user_cutoff_;
    const bool reject = hooks_.preintsol(nullptr, std::strcmp(source, "the relaxation") ? 1 : 0, x, cutoff);
    if (std::isfinite(cutoff) && std::fabs(cutoff) < KRVU_INFINITY)
      user_cutoff_ = std::min(user_cutoff_.load(), sense_ * cutoff);
    if (reject || obj >= user_cutoff_) return;
  }
  // Another worker may have found a better one meanwhile.
  if (has_inc_ && obj >= inc_obj_ - 1e-9 * std::max(1.0, std::fabs(inc_obj_.load()))) return;
  {
    std::lock_guard<std::mutex> lk(sh_->mu);
    inc_x_ = x;
    inc_obj_ = obj;
    has_inc_ = true;
  }
  ++sh_->sols;
  if (ctl_.loglevel >= 1)
    hooks_.log_line(format("Solution found by %s at node %lld: objective %.12g", source,
                           static_cast<long long>(nodes_.load()), sense_ * obj));
  hooks_.incumbent(x, sense_ * obj);
  if (ctl_.relaxation) ctl_.relaxation->incumbent(x, sense_ * obj);
  report_gap();
}

bool Searcher::load_bounds(const Node &nd) {
  refix_root();
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

Searcher::NodeEnd Searcher::give_up(const Node &nd) {
  std::lock_guard<std::mutex> lk(sh_->mu);
  sh_->lost = std::min(sh_->lost, nd.bound);
  ++dropped_;
  return NodeEnd::kPruned;
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
      end = give_up(nd);
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
  const std::vector<double> dj = lp_->col_dual();  // the dive replaces the engine's
  simple_rounding(x);
  const int every = ctl_.heur_effort > 0 ? std::max(10, static_cast<int>(5 / ctl_.heur_effort)) : 0;
  if (every && (nd.depth == 0 || (nodes_ % every == 0 && !quadratic_))) {
    dive(obj);
    lp_->set_basis(*basis);
    lp_holds_ = nd.id;
    if (cut_off(obj)) return NodeEnd::kPruned;
  }
  if (every && ctl_.neighbourhood && has_inc_ && !quadratic_) {
    // Its sub-search has an engine of its own: this relaxation is untouched.
    neighbourhood(x);
    if (cut_off(obj)) return NodeEnd::kPruned;
  }
  nd.basis = basis;
  if (reduced_cost_fix(nd, x, obj, dj)) push_bounds();
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

double Searcher::tree_bound() const {
  double b = by_bound_.empty() ? INFINITY : by_bound_.begin()->first;
  if (!sh_->running.empty()) b = std::min(b, *sh_->running.begin());
  if (std::isinf(b) && b > 0) return has_inc_ ? inc_obj_.load() : -INFINITY;
  return b;
}

void Searcher::log_progress(bool force) {
  if (ctl_.loglevel < 1) return;
  std::string line;
  {
    std::lock_guard<std::mutex> lk(sh_->mu);
    const auto now = std::chrono::steady_clock::now();
    if (!force && std::chrono::duration<double>(now - sh_->last_log).count() < 2.0) return;
    sh_->last_log = now;
    line = format("Nodes %lld, open %lld, best solution %.10g, best bound %.10g, %.1f s",
                  static_cast<long long>(nodes_.load()), static_cast<long long>(open_.size()),
                  has_inc_ ? sense_ * inc_obj_ : sense_ * INFINITY, sense_ * tree_bound(), secs_since(t0_));
  }
  hooks_.log_line(line);
  if (hooks_.globallog()) stop_ = KRVU_STOP_USER;
}

void Searcher::start_engine() {
  LpWorkerOptions opt;
  opt.feastol = ctl_.feastol;
  opt.threads = ctl_.engine_threads;
  lp_ = std::make_shared<LpWorker>(lpm_, opt, &interrupt_);
  lo_ = lplo_ = root_lo_ = lpm_.lb;
  up_ = lpup_ = root_up_ = lpm_.ub;
  rowon_.assign(m_, 0);
}

std::unique_ptr<Searcher> Searcher::clone() const {
  std::unique_ptr<Searcher> w(new Searcher(*this));
  LpWorkerOptions opt;
  opt.feastol = ctl_.feastol;
  opt.threads = ctl_.engine_threads;
  w->lp_ = std::make_shared<LpWorker>(lpm_, opt, &interrupt_);
  w->lplo_ = lpm_.lb;
  w->lpup_ = lpm_.ub;
  w->lp_holds_ = -2;
  w->has_running_ = false;
  w->res_ = SearchResult();
  w->sb_iters_ = 0;
  // A copy of the pool of its own: which cuts a relaxation holds is the
  // worker's (user cuts it is given come back to the first's at the end).
  w->own_pool_ = *pool_;
  w->pool_ = &w->own_pool_;
  // The first worker's cut rows, in its order (the bases stored with the
  // nodes name their rows by it), and the lazy rows it has enforced: those
  // hold everywhere.  Indicator rows start free, as in a new relaxation.
  std::vector<double> lo, up, val;
  std::vector<int64_t> start{0};
  std::vector<int> ind;
  for (int64_t id : lp_cuts_) {
    const Cut *c = pool_->find(id);
    lo.push_back(c->lo);
    up.push_back(c->up);
    ind.insert(ind.end(), c->ind.begin(), c->ind.end());
    val.insert(val.end(), c->val.begin(), c->val.end());
    start.push_back(static_cast<int64_t>(ind.size()));
  }
  if (!lo.empty()) w->lp_->add_rows(static_cast<int>(lo.size()), lo.data(), up.data(), start, ind, val);
  std::vector<int> rows;
  lo.clear();
  up.clear();
  for (int r = 0; r < m_; ++r) {
    if (indcol_[r] >= 0) w->rowon_[r] = 0;
    if (lazy_[r] && rowon_[r]) {
      rows.push_back(r);
      lo.push_back(rlo_[r]);
      up.push_back(rup_[r]);
    }
  }
  if (!rows.empty()) w->lp_->set_row_bounds(static_cast<int>(rows.size()), rows.data(), lo.data(), up.data());
  return w;
}

void Searcher::work() {
  Node cur;
  bool have = false;
  std::vector<Node> kids;
  std::vector<int64_t> cutoffs;  // reported once the lock is given back
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
  auto unrun = [&] {
    if (has_running_) sh_->running.erase(running_);
    has_running_ = false;
  };
  auto run_as = [&](double bound) {
    unrun();
    running_ = sh_->running.insert(bound);
    has_running_ = true;
  };
  auto tell_cutoffs = [&] {
    for (int64_t id : cutoffs) hooks_.nodecutoff(id);
    cutoffs.clear();
  };
  auto finish = [&] {
    // Ends this worker's part: what it held goes back, the others wake.
    std::lock_guard<std::mutex> lk(sh_->mu);
    unrun();
    if (have) push(std::move(cur));
    have = false;
    sh_->wake.notify_all();
  };
  while (true) {
    if (!have) {
      std::unique_lock<std::mutex> lk(sh_->mu);
      unrun();
      while (true) {
        // Nodes the incumbent has made useless.
        while (!by_bound_.empty() && cut_off(std::prev(by_bound_.end())->first))
          cutoffs.push_back(take(std::prev(by_bound_.end())->second).id);
        if (sh_->done || stop_) break;
        if (!open_.empty()) {
          ++sh_->picks;
          const bool by_est = !has_inc_ || sh_->picks % 5 == 0;
          cur = take(by_est ? by_estimate_.begin()->second : by_bound_.begin()->second);
          if (cut_off(cur.bound)) {
            cutoffs.push_back(cur.id);
            continue;
          }
          have = true;
          run_as(cur.bound);
          break;
        }
        // Nothing open: the search is over unless a worker may still
        // branch.
        if (sh_->running.empty()) {
          sh_->done = true;
          sh_->wake.notify_all();
          break;
        }
        if (!cutoffs.empty()) {
          lk.unlock();
          tell_cutoffs();
          lk.lock();
          continue;
        }
        sh_->wake.wait(lk);
      }
      lk.unlock();
      tell_cutoffs();
      if (!have) break;
    }
    if (has_inc_) {
      // The gap closes when the best open or running bound comes near
      // enough.
      bool closed;
      {
        std::lock_guard<std::mutex> lk(sh_->mu);
        const double gap = inc_obj_ - effective(tree_bound());
        closed = gap <= ctl_.absgap || gap <= ctl_.relgap * std::fabs(inc_obj_.load());
        if (closed) sh_->done = true;
      }
      if (closed) break;
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
    if (sh_->sols >= ctl_.sollimit) {
      stop_ = KRVU_STOP_SOLLIMIT;
      break;
    }
    kids.clear();
    const NodeEnd e = process(cur, kids);
    if (e == NodeEnd::kStopped) break;
    const int64_t done_nodes = ++nodes_;
    res_.max_depth = std::max(res_.max_depth, cur.depth);
    if (res_.status == KRVU_MIP_UNBOUNDED) {
      have = false;
      std::lock_guard<std::mutex> lk(sh_->mu);
      sh_->done = true;
      break;
    }
    if (e == NodeEnd::kBranched && !kids.empty() && cur.depth == 0) {
      // The worker holds the root's children until they are pushed: their
      // bound, not the root's minus infinity, is what the log line and the
      // gap report after the root must show.  (Any other node's bound is its
      // parent's value, a valid one.)
      double least = kids[0].bound;
      for (const Node &k : kids) least = std::min(least, k.bound);
      std::lock_guard<std::mutex> lk(sh_->mu);
      run_as(least);
    }
    log_progress(done_nodes == 1);
    if (done_nodes == 1 && (report_gap(), hooks_.cutlog())) stop_ = KRVU_STOP_USER;
    have = false;
    if (e == NodeEnd::kInfeasible) hooks_.infnode(view(cur, false));
    if (e != NodeEnd::kBranched) continue;
    for (size_t k = 0; k < kids.size(); ++k) hooks_.newnode(cur.id, kids[k].id, static_cast<int>(k));
    std::lock_guard<std::mutex> lk(sh_->mu);
    // Dive into the preferred child unless its bound is far behind the
    // best open one.
    const double best = by_bound_.empty() ? kids[0].bound : by_bound_.begin()->first;
    const double inc = inc_obj_;
    const bool dive_on = !has_inc_ || kids[0].bound <= best + 0.5 * (inc - best);
    for (size_t k = dive_on ? 1 : 0; k < kids.size(); ++k) push(std::move(kids[k]));
    if (dive_on) {
      cur = std::move(kids[0]);
      have = true;
      run_as(cur.bound);
    }
    if (kids.size() > (dive_on ? 1u : 0u)) sh_->wake.notify_all();
  }
  finish();
}

void Searcher::work_guarded() {
  hooks_.worker_start();
  try {
    work();
  } catch (...) {
    std::lock_guard<std::mutex> lk(sh_->mu);
    if (!sh_->failure) sh_->failure = std::current_exception();
    if (!stop_) stop_ = KRVU_STOP_USER;
    sh_->done = true;
    if (has_running_) sh_->running.erase(running_);
    has_running_ = false;
    sh_->wake.notify_all();
  }
  hooks_.worker_end();
}

SearchResult Searcher::run(const SearchStart &start) {
  if (ctl_.relaxation) ctl_.workers = 1;  // one node solver, not to be shared
  t0_ = sh_->last_log = std::chrono::steady_clock::now();
  res_ = SearchResult();
  user_cutoff_ = std::isfinite(ctl_.cutoff) && std::fabs(ctl_.cutoff) < KRVU_INFINITY
                     ? sense_ * ctl_.cutoff
                     : INFINITY;
  hooks_.worker_start();
  // Coefficients are tightened from the root's bounds before the engine
  // takes the rows.
  lo_ = lpm_.lb;
  up_ = lpm_.ub;
  if (!ctl_.relaxation && propagate_all()) tighten_rows();
  start_engine();
  bool infeasible = !propagate_all();
  root_lo_ = lo_;
  root_up_ = up_;
  if (!infeasible) try_start(start);
  if (!start.x.empty()) hooks_.start_tried(sh_->sols > 0 ? 0 : 1);

  // The root alone, then every worker from the open nodes it left.  The
  // root's pick is not counted (picks by estimate come every fifth pick
  // off the open list).
  sh_->picks = -1;
  std::vector<std::unique_ptr<Searcher>> others;
  std::vector<std::thread> threads;
  try {
    if (!infeasible) {
      Node root;
      root.id = next_id_++;
      std::lock_guard<std::mutex> lk(sh_->mu);
      by_bound_.insert({root.bound, root.id});
      by_estimate_.insert({root.estimate, root.id});
      open_.emplace(root.id, std::move(root));
    }
    const int64_t limit = ctl_.nodelimit;
    if (ctl_.workers > 1) ctl_.nodelimit = std::min<int64_t>(limit, 1);
    work();
    ctl_.nodelimit = limit;
    if (ctl_.workers > 1 && stop_ == KRVU_STOP_NODELIMIT && nodes_ < limit && !open_.empty()) {
      stop_ = 0;
      for (int k = 1; k < ctl_.workers; ++k) others.push_back(clone());
      {
        std::lock_guard<std::recursive_mutex> lk(sh_->hooks.lock());
        sh_->workers.push_back(this);
        for (auto &w : others) sh_->workers.push_back(w.get());
      }
      for (auto &w : others) threads.emplace_back([p = w.get()] { p->work_guarded(); });
      work();
    }
  } catch (...) {
    {
      std::lock_guard<std::mutex> lk(sh_->mu);
      if (!stop_) stop_ = KRVU_STOP_USER;
      sh_->done = true;
      sh_->wake.notify_all();
    }
    for (auto &t : threads) t.join();
    hooks_.worker_end();
    throw;
  }
  for (auto &t : threads) t.join();
  sh_->workers.clear();
  hooks_.worker_end();
  // User cuts the other workers' callbacks added go to the first's pool
  // (equal ones are not added twice).
  for (const auto &w : others)
    for (const auto &p : *w->pool_)
      if (p.second.origin == 'U') {
        Cut c = p.second;
        c.in_lp = false;
        c.age = 0;
        pool_->add(std::move(c));
      }
  if (sh_->failure) std::rethrow_exception(sh_->failure);
  // Best bound over what is left open.
  double bound = sh_->lost;
  for (const auto &p : by_bound_)
    if (!cut_off(p.first)) {
      bound = std::min(bound, p.first);
      break;
    }
  if (has_inc_) bound = std::min(bound, inc_obj_.load());
  const bool finished = stop_ == 0 && res_.status != KRVU_MIP_UNBOUNDED;
  if (finished && open_.empty() && dropped_ == 0) bound = has_inc_ ? inc_obj_.load() : bound;
  res_.nodes = nodes_;
  res_.active = static_cast<int64_t>(open_.size());
  res_.has_sol = has_inc_;
  res_.lp_iterations = lp_->iterations();
  for (const auto &w : others) {
    res_.lp_iterations += w->lp_->iterations();
    res_.cuts += w->res_.cuts;
    res_.max_depth = std::max(res_.max_depth, w->res_.max_depth);
  }
  res_.sols = sh_->sols;
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
    res_.gap = g <= 0 ? 0.0 : std::fabs(inc_obj_.load()) > 0 ? g / std::fabs(inc_obj_.load()) : INFINITY;
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
