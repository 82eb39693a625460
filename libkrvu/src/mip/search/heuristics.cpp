// Primal heuristics: rounding in the direction no row objects to, diving on
// the relaxation (fix the least fractional column, propagate, re-solve), a
// neighbourhood sub-search around the incumbent, and the user's starting
// points.
#include <algorithm>
#include <chrono>
#include <cmath>

#include "core/common.h"
#include "mip/search/searcher.h"

namespace krvu {
namespace search {

bool Searcher::check_point(const std::vector<double> &x) const {
  if (static_cast<int>(x.size()) != n_) return false;
  const double tol = ctl_.feastol;
  for (int j = 0; j < n_; ++j) {
    const double v = x[j];
    if (!std::isfinite(v)) return false;
    if (v < lpm_.lb[j] - tol * std::max(1.0, std::fabs(v)) ||
        v > lpm_.ub[j] + tol * std::max(1.0, std::fabs(v)))
      return false;
  }
  // Integrality, sets and unenforced indicator rows as the node check does.
  std::vector<double> act(m_, 0.0);
  for (int j = 0; j < n_; ++j)
    if (x[j] != 0)
      for (int64_t k = lpm_.astart[j]; k < lpm_.astart[j + 1]; ++k) act[lpm_.aindex[k]] += lpm_.aval[k] * x[j];
  for (int i = 0; i < m_; ++i) {
    if (indcol_[i] >= 0) {
      const double v = indcomp_[i] > 0 ? 1.0 : 0.0;
      if (std::fabs(x[indcol_[i]] - v) > 0.5) continue;
    }
    const double t = tol * std::max(1.0, std::max(std::fabs(rlo_[i]) < INFINITY ? std::fabs(rlo_[i]) : 0.0,
                                                 std::fabs(rup_[i]) < INFINITY ? std::fabs(rup_[i]) : 0.0));
    if (act[i] < rlo_[i] - t || act[i] > rup_[i] + t) return false;
  }
  for (int j : ncols_int_) {
    const double v = x[j], f = v - std::floor(v);
    const bool frac = f > ctl_.miptol && f < 1 - ctl_.miptol;
    const double th = thr_[j];
    switch (kind_[j]) {
      case kInt: if (frac) return false; break;
      case kSemi: if (v > tol && v < th - tol) return false; break;
      case kSemiInt: if ((v > tol && v < th - tol) || (v >= th - tol && frac)) return false; break;
      case kPartial: if (v < th - tol && frac) return false; break;
      default: break;
    }
  }
  for (const Sos &s : sets_) {
    int first = -1, last = -1, count = 0;
    for (int k = 0; k < static_cast<int>(s.cols.size()); ++k)
      if (std::fabs(x[s.cols[k]]) > tol) {
        if (first < 0) first = k;
        last = k;
        ++count;
      }
    if (s.type == '1' ? count > 1 : (count > 2 || (count == 2 && last - first > 1))) return false;
  }
  return true;
}

void Searcher::simple_rounding(const std::vector<double> &x) {
  std::vector<double> xr = x;
  for (int j : ncols_int_) {
    if (kind_[j] != kInt) {
      const double f = x[j] - std::floor(x[j]);
      if (f > ctl_.miptol && f < 1 - ctl_.miptol) return;
      continue;
    }
    const double f = x[j] - std::floor(x[j]);
    if (f <= ctl_.miptol || f >= 1 - ctl_.miptol) {
      xr[j] = std::round(x[j]);
      continue;
    }
    if (downlocks_[j] == 0 && std::floor(x[j]) >= lo_[j]) xr[j] = std::floor(x[j]);
    else if (uplocks_[j] == 0 && std::ceil(x[j]) <= up_[j]) xr[j] = std::ceil(x[j]);
    else return;
  }
  if (check_point(xr)) accept(xr, objective_of(xr), "rounding");
}

void Searcher::dive(double obj) {
  const std::vector<double> slo = lo_, sup = up_;
  const int max_lps = std::min<int>(200, static_cast<int>(ncols_int_.size()) + 10);
  for (int d = 0; d < max_lps; ++d) {
    if (time_up()) break;
    const std::vector<double> &x = lp_->x();
    int pick = -1;
    double best = 2;
    for (int j : ncols_int_) {
      if (kind_[j] != kInt) continue;
      const double f = x[j] - std::floor(x[j]);
      const double dist = std::min(f, 1 - f);
      if (dist <= ctl_.miptol) continue;
      // Least fractional first; a column no row locks in a direction goes
      // that way at no risk.
      if (dist < best) {
        best = dist;
        pick = j;
      }
    }
    if (pick < 0) {
      if (!violated(x)) accept(x, lp_->objective(), "diving");
      break;
    }
    simple_rounding(x);
    const double v = x[pick];
    double target = std::round(v);
    if (downlocks_[pick] == 0) target = std::floor(v);
    else if (uplocks_[pick] == 0) target = std::ceil(v);
    if (target <= v) up_[pick] = std::min(up_[pick], target);
    else lo_[pick] = std::max(lo_[pick], target);
    std::vector<int> dirty;
    for (int64_t k = lpm_.astart[pick]; k < lpm_.astart[pick + 1]; ++k) dirty.push_back(lpm_.aindex[k]);
    if (!propagate(dirty)) break;
    push_bounds();
    const LpOutcome o = lp_->solve(std::max<int>(1000, 2 * m_));
    if (o != LpOutcome::kOptimal || cut_off(lp_->objective())) break;
  }
  (void)obj;
  lo_ = slo;
  up_ = sup;
  push_bounds();
  lp_holds_ = -1;
}

bool Searcher::fix_and_solve(const std::vector<double> &vals, const std::vector<int> &cols,
                             const char *source) {
  const std::vector<double> slo = lo_, sup = up_;
  std::vector<int> dirty;
  for (size_t k = 0; k < cols.size(); ++k) {
    const int j = cols[k];
    const double v = vals[k];
    switch (kind_[j]) {
      case kInt:
        lo_[j] = up_[j] = std::round(v);
        break;
      case kSemi:
      case kSemiInt:
        if (std::fabs(v) <= ctl_.feastol) lo_[j] = up_[j] = 0;
        else if (kind_[j] == kSemiInt) lo_[j] = up_[j] = std::round(v);
        else lo_[j] = std::max(lo_[j], thr_[j]);
        break;
      case kPartial:
        if (v < thr_[j]) lo_[j] = up_[j] = std::round(v);
        else lo_[j] = std::max(lo_[j], thr_[j]);
        break;
      default:
        continue;
    }
    for (int64_t q = lpm_.astart[j]; q < lpm_.astart[j + 1]; ++q) dirty.push_back(lpm_.aindex[q]);
  }
  for (int r : indrows_)
    if (indicator_active(r)) dirty.push_back(r);
  bool found = false;
  bool ok = true;
  for (int j = 0; j < n_ && ok; ++j) ok = lo_[j] <= up_[j] + ctl_.feastol;
  NodeRelaxation *relax = ctl_.relaxation;
  if (ok && propagate(dirty)) {
    if (relax) {
      if (relax->solve_point(lo_, up_) == NodeRelaxation::kOptimal && !violated(relax->x())) {
        accept(relax->x(), relax->objective(), source);
        found = true;
      }
    } else {
      push_bounds();
      if (lp_->solve() == LpOutcome::kOptimal && !violated(lp_->x())) {
        accept(lp_->x(), lp_->objective(), source);
        found = true;
      }
    }
  }
  lo_ = slo;
  up_ = sup;
  if (!relax) {
    push_bounds();
    lp_holds_ = -1;
  }
  return found;
}

void Searcher::try_start(const SearchStart &start) {
  if (start.x.empty()) return;
  std::vector<double> vals;
  std::vector<int> cols;
  if (start.cols.empty()) {
    if (static_cast<int>(start.x.size()) != n_) return;
    // A point is checked against the rows the search holds: with a
    // relaxation of its own, some rows are the relaxation's alone.
    if (!ctl_.relaxation && check_point(start.x)) accept(start.x, objective_of(start.x), "the starting point");
    for (int j : ncols_int_) {
      cols.push_back(j);
      vals.push_back(start.x[j]);
    }
  } else {
    for (size_t k = 0; k < start.cols.size() && k < start.x.size(); ++k) {
      const int j = start.cols[k];
      if (j < 0 || j >= n_ || kind_[j] == kCont) continue;
      cols.push_back(j);
      vals.push_back(start.x[k]);
    }
  }
  if (!cols.empty()) fix_and_solve(vals, cols);
}

// Relaxation-induced neighbourhood search: the integer columns on which the
// node's relaxation and the incumbent agree are fixed there, and a small
// search of its own (no callbacks, no further neighbourhoods) looks for a
// better point among the rest.  Runs come every few hundred nodes, further
// apart while they find nothing; one worker at a time claims a run.
void Searcher::neighbourhood(const std::vector<double> &x) {
  const int64_t at = nodes_.load();
  int64_t next = sh_->nbh_next.load();
  if (at < next) return;
  const int fails = sh_->nbh_fails.load();
  const int64_t gap = 200 * (int64_t{1} << std::min(fails, 6));
  if (!sh_->nbh_next.compare_exchange_strong(next, at + gap)) return;
  std::vector<double> inc;
  {
    std::lock_guard<std::mutex> lk(sh_->mu);
    inc = inc_x_;
  }
  if (static_cast<int>(inc.size()) != n_) return;
  ModelData sub;
  const ModelData &w = *model_;
  int fixed = 0, ints = 0;
  sub.objsense = w.objsense;
  sub.objrhs = w.objrhs;
  sub.obj = w.obj;
  sub.lb = w.lb;
  sub.ub = w.ub;
  sub.threshold = w.threshold;
  sub.coltype = w.coltype;
  for (int j : ncols_int_) {
    if (kind_[j] != kInt) continue;
    ++ints;
    const double v = std::round(inc[j]);
    if (std::fabs(x[j] - v) > ctl_.miptol || v < lo_[j] || v > up_[j]) continue;
    sub.lb[j] = sub.ub[j] = v;
    ++fixed;
  }
  // Too few fixings make the sub-search as hard as the search.
  if (ints == 0 || fixed < 0.3 * ints || fixed == ints) {
    sh_->nbh_fails.fetch_add(1);
    return;
  }
  sub.rowtype = w.rowtype;
  sub.rhs = w.rhs;
  sub.range = w.range;
  sub.mstart = w.mstart;
  sub.mrwind = w.mrwind;
  sub.dmatval = w.dmatval;
  sub.qstart = w.qstart;
  sub.qrow = w.qrow;
  sub.qval = w.qval;
  sub.settype = w.settype;
  sub.setstart = w.setstart;
  sub.setcol = w.setcol;
  sub.setref = w.setref;
  sub.indcol = w.indcol;
  sub.indcomp = w.indcomp;
  sub.dirs = w.dirs;
  SearchControls c;
  c.feastol = ctl_.feastol;
  c.miptol = ctl_.miptol;
  c.relgap = ctl_.relgap;
  c.absgap = ctl_.absgap;
  c.cutoff = sense_ * cutoff_value();
  if (std::isfinite(ctl_.timelimit)) {
    const double used = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count();
    c.timelimit = std::max(0.0, ctl_.timelimit - used);
  }
  // Early on the sub-search is kept smaller than the work done so far.
  c.nodelimit = std::clamp<int64_t>(at / 2, 100, 500);
  c.reliable = ctl_.reliable;
  c.sb_iterlimit = ctl_.sb_iterlimit;
  c.sb_candidates = ctl_.sb_candidates;
  c.cut_rounds = std::min(ctl_.cut_rounds, 5);
  c.heur_effort = ctl_.heur_effort;
  c.neighbourhood = false;
  c.engine_threads = ctl_.engine_threads;
  c.loglevel = 0;
  SearchHooks quiet;
  bool found = false;
  try {
    const SearchResult r = run_search(sub, c, SearchStart(), quiet, interrupt_);
    if (r.has_sol && static_cast<int>(r.x.size()) == n_) {
      const int before = sh_->sols.load();
      accept(r.x, objective_of(r.x), "the neighbourhood search");
      found = sh_->sols.load() > before;
    }
  } catch (const Error &) {
    // A sub-model the search cannot take is no solution; the search goes on.
  }
  if (found) sh_->nbh_fails.store(0);
  else sh_->nbh_fails.fetch_add(1);
}

}  // namespace search
}  // namespace krvu
