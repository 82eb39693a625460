// The tuner: runs the problem (on a work copy, from a cold start each time)
// with control settings of its method, one control changed at a time from the
// best settings so far, and keeps a change only when a repeated run confirms
// it.  Runs that can no longer win are stopped by their time limit.
#include "analysis/tuner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "core/common.h"
#include "core/prob.h"
#include "lp/solver_state.h"
#include "model/store.h"
#include "params/table.h"

namespace krvu {

TunerMethod builtin_tuner_method() {
  TunerMethod tm;
  auto dim = [](const char *name, std::vector<double> v) {
    const int k = param_index_by_name(name, kLib, kControl);
    TunerDimension d;
    d.id = param_table()[k].id;
    d.name = name;
    d.type = param_table()[k].type;
    d.values = std::move(v);
    return d;
  };
  tm.lp = {dim("lpalgorithm", {2, 3, 4}), dim("presolve", {0, 1}), dim("scaling", {0, 1}),
           dim("pricing", {0, 1, 2})};
  tm.mip = {dim("heureffort", {0, 0.2, 0.5}), dim("presolve", {0, 1}), dim("nodecuts", {0, 1}),
            dim("symmetry", {0, 1}), dim("miprestart", {0, 1}), dim("pscostreliable", {4, 16})};
  return tm;
}

const TunerMethod &tuner_method(krvu_prob_s *prob) {
  AnalysisState &as = analysis_state(prob);
  if (!as.method.set) {
    static const TunerMethod builtin = builtin_tuner_method();
    return builtin;
  }
  return as.method;
}

namespace {

using Clock = std::chrono::steady_clock;
using Setting = std::vector<std::pair<int, double>>;  // control id, value

struct Run {
  bool finished = false;  // solved to a final status (optimal, infeasible, ...)
  bool failed = false;
  double seconds = 0;
  double gap = INFINITY;
  double obj = NAN;
};

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

double get_value(krvu_prob_s *p, int id) {
  const ParamDef &d = param_table()[param_index(id)];
  return d.type == KRVU_TYPE_DOUBLE ? ctl_dbl(p, id) : static_cast<double>(ctl_int(p, id));
}

void set_value(KRVUprob q, int id, double v) {
  const ParamDef &d = param_table()[param_index(id)];
  if (d.type == KRVU_TYPE_DOUBLE) KRVUsetdblcontrol(q, id, v);
  else if (d.type == KRVU_TYPE_INT64) KRVUsetintcontrol64(q, id, static_cast<int64_t>(v));
  else KRVUsetintcontrol(q, id, static_cast<int>(v));
}

std::string describe(const Setting &s) {
  if (s.empty()) return "(starting settings)";
  std::string out;
  for (auto &c : s) {
    if (!out.empty()) out += ", ";
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s=%g", param_table()[param_index(c.first)].name, c.second);
    out += buf;
  }
  return out;
}

class Tuner {
 public:
  Tuner(krvu_prob_s *prob, bool mip, const char *algo, double budget, const char *func)
      : prob_(prob), mip_(mip), algo_(algo), budget_(budget), func_(func), t0_(Clock::now()) {
    if (KRVUcreateprob(&w_)) raise(KRVU_ERR_INTERNAL, "%s: cannot create a work problem", func);
    gap_target_ = ctl_dbl(prob, 7003);
    target_ = static_cast<int>(ctl_int(prob, 8310));
  }
  ~Tuner() { KRVUdestroyprob(w_); }

  double left() const { return budget_ - seconds_since(t0_); }

  // One cold run of the problem with the setting on top of the problem's
  // controls, stopped after limit seconds.
  Run run(const Setting &s, double limit) {
    Run r;
    KRVUcopyprob(w_, prob_, nullptr);
    KRVUcopycontrols(w_, prob_);
    KRVUsetintcontrol(w_, KRVU_CTRL_OUTPUTLOG, 0);
    for (auto &c : s) set_value(w_, c.first, c.second);
    KRVUsetdblcontrol(w_, 7000, std::max(limit, 1e-3));
    const Clock::time_point t = Clock::now();
    const int rc = mip_ ? KRVUmipoptimize(w_, algo_.c_str()) : KRVUlpoptimize(w_, algo_.c_str());
    r.seconds = seconds_since(t);
    ++runs_;
    if (rc) {
      r.failed = true;
      return r;
    }
    int st = 0;
    if (mip_) {
      KRVUgetintattrib(w_, KRVU_ATTR_MIPSTATUS, &st);
      r.finished = st == KRVU_MIP_OPTIMAL || st == KRVU_MIP_INFEAS || st == KRVU_MIP_UNBOUNDED;
      KRVUgetdblattrib(w_, 2004, &r.gap);
      KRVUgetdblattrib(w_, KRVU_ATTR_MIPBESTOBJVAL, &r.obj);
      if (st == KRVU_MIP_OPTIMAL) r.gap = 0;
    } else {
      KRVUgetintattrib(w_, KRVU_ATTR_LPSTATUS, &st);
      r.finished = st == KRVU_LP_OPTIMAL || st == KRVU_LP_INFEAS || st == KRVU_LP_UNBOUNDED;
      KRVUgetdblattrib(w_, KRVU_ATTR_LPOBJVAL, &r.obj);
    }
    return r;
  }

  // True when a is better than b by a clear margin.
  bool better(const Run &a, const Run &b) const {
    if (a.failed) return false;
    if (b.failed) return true;
    const bool by_gap = target_ == 2;
    if (!by_gap) {
      if (a.finished != b.finished) return a.finished;
      if (a.finished) return a.seconds < 0.9 * b.seconds - 1e-3;
      if (!mip_) return false;
    }
    // Unfinished MIP runs (or the gap target): smaller gap, then a better objective.
    if (std::isfinite(a.gap) && (!std::isfinite(b.gap) || a.gap < 0.97 * b.gap - 1e-9))
      return true;
    if (a.gap == b.gap && std::isfinite(a.obj) && std::isfinite(b.obj)) {
      const double sense = prob_->data->m.objsense;
      return sense * (a.obj - b.obj) < -1e-9 * (1 + std::fabs(b.obj));
    }
    if (by_gap && a.gap == b.gap && a.finished && b.finished)
      return a.seconds < 0.9 * b.seconds - 1e-3;
    return false;
  }

  // The time limit of a candidate: it cannot win by running longer than
  // the best run (a little more, so a tie can show).
  double limit_for(const Run &best) const {
    double l = best.finished && target_ != 2 ? best.seconds * 1.1 + 0.005 : run_limit_;
    return std::min(l, left());
  }

  void log_run(const Setting &s, const Run &r, const char *verdict) {
    char stat[32];
    std::snprintf(stat, sizeof stat, "%s", r.failed ? "failed" : r.finished ? "solved" : "stopped");
    char gap[32] = "";
    if (mip_) std::snprintf(gap, sizeof gap, "%10.3g", r.gap);
    log_code(prob_, KRVU_MSG_LOG, KRVU_MSGCODE_TUNER, "%4d  %-8s %9.3f s %s %16.10g  %-10s %s",
             runs_, stat, r.seconds, gap, r.obj, verdict, describe(s).c_str());
  }

  void tune(const std::vector<TunerDimension> &dims) {
    log_code(prob_, KRVU_MSG_LOG, KRVU_MSGCODE_TUNER,
             "tuning the %s solve for %.3g s; run, result, time,%s objective, verdict, setting",
             mip_ ? "MIP" : "LP", budget_, mip_ ? " gap," : "");
    // The starting settings: their run sets the limit of the others.
    run_limit_ = mip_ ? std::max(budget_ / 4, 1e-3) : left();
    Setting best_s;
    Run best = run(best_s, std::min(run_limit_, left()));
    // Timed again: the fastest of its runs is what a change must beat.
    for (int k = 0; k < repeats() && best.finished && left() > best.seconds; ++k) {
      Run again = run(best_s, std::min(run_limit_, left()));
      if (again.finished && again.seconds < best.seconds) best.seconds = again.seconds;
    }
    log_run(best_s, best, "start");
    start_seconds_ = best.seconds;
    // Unfinished starting runs leave the limit where it was.
    for (bool improved = true; improved && left() > 0 && !interrupted();) {
      improved = false;
      for (const TunerDimension &d : dims) {
        for (double v : d.values) {
          if (left() <= 1e-3 || interrupted()) break;
          // The best settings with this control at v (unless it is there already).
          double current = get_value(prob_, d.id);
          for (auto &c : best_s)
            if (c.first == d.id) current = c.second;
          if (current == v) continue;
          Setting s = best_s;
          auto at = std::find_if(s.begin(), s.end(), [&](auto &c) { return c.first == d.id; });
          if (at != s.end()) at->second = v;
          else s.emplace_back(d.id, v);
          const std::string key = describe(s);
          if (std::find(tried_.begin(), tried_.end(), key) != tried_.end()) continue;
          tried_.push_back(key);
          Run r = run(s, limit_for(best));
          if (!better(r, best)) {
            log_run(s, r, "");
            continue;
          }
          // Confirm: the slowest of the repeated runs must still win; the
          // fastest is what later changes must beat.
          Run worst = r;
          double fastest = r.seconds;
          bool confirmed = true;
          for (int k = 0; k < repeats(); ++k) {
            if (left() <= 1e-3) {
              confirmed = false;
              break;
            }
            Run again = run(s, limit_for(best));
            if (!better(again, best)) {
              confirmed = false;
              break;
            }
            if (better(worst, again) || again.seconds > worst.seconds) worst = again;
            fastest = std::min(fastest, again.seconds);
          }
          log_run(s, worst, confirmed ? "best" : "unconfirmed");
          if (confirmed) {
            best = worst;
            if (best.finished) best.seconds = fastest;
            best_s = s;
            improved = true;
          }
        }
      }
    }
    if (!best_s.empty() && best.finished && !interrupted()) {
      // The final word: the starting and the best settings timed in turn,
      // the best kept only when its median is clearly the faster one.
      std::vector<double> a, b;
      for (int k = 0; k <= repeats() && left() > 2.2 * (best.seconds + start_seconds_); ++k) {
        Run ra = run({}, std::min(run_limit_, left()));
        Run rb = run(best_s, std::min(run_limit_, left()));
        if (!ra.finished || !rb.finished) break;
        a.push_back(ra.seconds);
        b.push_back(rb.seconds);
      }
      if (!a.empty()) {
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        const double ma = a[a.size() / 2], mb = b[b.size() / 2];
        const bool keep = mb < 0.97 * ma;
        log_code(prob_, KRVU_MSG_LOG, KRVU_MSGCODE_TUNER,
                 "      check    starting settings %.4g s, best %.4g s (medians of %zu): %s", ma, mb,
                 a.size(), keep ? "best kept" : "starting settings kept");
        if (!keep) best_s.clear();
      }
    }
    best_ = best_s;
    log_code(prob_, KRVU_MSG_LOG, KRVU_MSGCODE_TUNERSUMMARY,
             "tuner: %d runs in %.3f s; best %s: %.4g s%s", runs_, seconds_since(t0_),
             describe(best_s).c_str(), best.seconds, best.finished ? "" : " (unfinished)");
  }

  const Setting &best() const { return best_; }
  // An interrupt of the problem stops the tuner after the run under way.
  bool interrupted() const { return prob_->data->solver->interrupt.load(); }
  int repeats() const { return static_cast<int>(ctl_int(prob_, 8311)); }

 private:
  krvu_prob_s *prob_;
  bool mip_;
  std::string algo_;
  double budget_;
  const char *func_;
  Clock::time_point t0_;
  KRVUprob w_ = nullptr;
  double run_limit_ = 0;
  double start_seconds_ = 0;
  double gap_target_ = 0;
  int target_ = 0;
  int runs_ = 0;
  std::vector<std::string> tried_;
  Setting best_;
};

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUtune(KRVUprob prob, const char *flags) {
  const char *F = "KRVUtune";
  return guarded(prob, F, [&] {
    std::string f = flags ? flags : "";
    std::string algo;
    bool want_lp = false, want_mip = false;
    for (char c : f) {
      if (c == 'l') want_lp = true;
      else if (c == 'g') want_mip = true;
      else if (c == 'd' || c == 'p' || c == 'b') algo = std::string(1, c);
      else raise(KRVU_ERR_ARGUMENT, "%s: unknown flag '%c' in 'flags' (allowed: l g d p b)", F, c);
    }
    if (want_lp && want_mip)
      raise(KRVU_ERR_ARGUMENT, "%s: flags 'l' (LP) and 'g' (MIP) exclude each other", F);
    const ModelData &m = read_model(prob);
    const bool entities =
        std::any_of(m.coltype.begin(), m.coltype.end(), [](char c) { return c != 'C'; }) ||
        m.nsets() > 0 || !m.gentype.empty() || !m.pwlcol.empty() ||
        std::any_of(m.indcol.begin(), m.indcol.end(), [](int c) { return c >= 0; });
    const bool mip = want_mip || (!want_lp && entities);
    const double budget = ctl_dbl(prob, 7310);
    if (budget <= 0) raise(KRVU_ERR_STATE, "%s: the tuner's time (control tunermaxtime) is 0", F);
    prob->data->solver->interrupt.store(false);
    const TunerMethod &tm = tuner_method(prob);
    Tuner t(prob, mip, algo.c_str(), std::min(budget, 1e9), F);
    t.tune(mip ? tm.mip : tm.lp);
    for (auto &c : t.best()) set_value(prob, c.first, c.second);
    return 0;
  });
}

}  // extern "C"
