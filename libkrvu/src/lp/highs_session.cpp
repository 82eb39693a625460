#include "lp/highs_session.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "core/common.h"
#include "core/prob.h"
#include "interfaces/highs_c_api.h"
#include "lp/solver_state.h"
#include "model/store.h"

namespace krvu {
namespace {

// The LP, barrier and time-check callbacks at the engine's interrupt checks:
// true when one of them asks the run to stop.
bool user_callbacks_stop(krvu_prob_s *prob, int type) {
  bool stop = false;
  if (type == kHighsCallbackSimplexInterrupt) stop = fire_int<kCb_lplog>(prob) != 0;
  if (type == kHighsCallbackIpmInterrupt) {
    int action = 0;
    fire<kCb_bariteration>(prob, &action);
    stop = action != 0 || fire_int<kCb_barlog>(prob) != 0;
  }
  return fire_int<kCb_checktime>(prob) != 0 || stop;
}

void on_engine_event(int type, const char *message, const HighsCallbackDataOut *out,
                     HighsCallbackDataIn *in, void *user) {
  HighsSession *session = static_cast<HighsSession *>(user);
  if (session->abandoned()) {
    // The owner may be gone: stop where the engine lets us, say nothing.
    if (in && (type == kHighsCallbackSimplexInterrupt || type == kHighsCallbackIpmInterrupt ||
               type == kHighsCallbackMipInterrupt))
      in->user_interrupt = 1;
    return;
  }
  krvu_prob_s *prob = session->owner();
  SolverState &s = *prob->data->solver;
  switch (type) {
    case kHighsCallbackLogging: {
      if (!message) return;
      // The engine hands over text with line ends; our callbacks take lines.
      const bool error = out && out->log_type >= 4;
      const char *p = message;
      while (*p) {
        const char *e = std::strchr(p, '\n');
        size_t n = e ? static_cast<size_t>(e - p) : std::strlen(p);
        if (n > 0 || e) session->on_log_line(std::string(p, n), error);
        p += n + (e ? 1 : 0);
      }
      return;
    }
    case kHighsCallbackSimplexInterrupt:
    case kHighsCallbackIpmInterrupt:
    case kHighsCallbackMipInterrupt:
      if (user_callbacks_stop(prob, type)) {
        s.interrupt_reason = KRVU_STOP_USER;
        s.interrupt.store(true);
      }
      if (s.interrupt.load(std::memory_order_relaxed) && in) in->user_interrupt = 1;
      return;
    case kHighsCallbackMipImprovingSolution:
      if (out && out->mip_solution && s.on_incumbent) s.on_incumbent(prob, out);
      return;
    default:
      return;
  }
}

}  // namespace

HighsSession::HighsSession(krvu_prob_s *owner) : h_(Highs_create()), owner_(owner) {
  if (!h_) throw std::bad_alloc();
  Highs_setBoolOptionValue(h_, "log_to_console", 0);
  Highs_setBoolOptionValue(h_, "output_flag", 0);
  Highs_setCallback(h_, on_engine_event, this);
  Highs_startCallback(h_, kHighsCallbackLogging);
  Highs_startCallback(h_, kHighsCallbackSimplexInterrupt);
  Highs_startCallback(h_, kHighsCallbackIpmInterrupt);
  Highs_startCallback(h_, kHighsCallbackMipInterrupt);
  Highs_startCallback(h_, kHighsCallbackMipImprovingSolution);
}

HighsSession::~HighsSession() { Highs_destroy(h_); }

void HighsSession::set_opt(const char *name, bool v) {
  Highs_setBoolOptionValue(h_, name, v ? 1 : 0);
}
void HighsSession::set_opt(const char *name, int v) { Highs_setIntOptionValue(h_, name, v); }
void HighsSession::set_opt(const char *name, double v) {
  Highs_setDoubleOptionValue(h_, name, v);
}
void HighsSession::set_opt(const char *name, const char *v) {
  Highs_setStringOptionValue(h_, name, v);
}

int engine_threads(const krvu_prob_s *p) {
  const int64_t threads = std::min<int64_t>(ctl_int(p, 8020), 1024);
  if (threads > 0) return static_cast<int>(threads);
  // The engine's own automatic choice takes every core, which a long
  // quadratic solve then keeps busy for its whole run.
  const unsigned hw = std::thread::hardware_concurrency();
  return static_cast<int>(hw == 0 ? 1 : hw < 4 ? hw : 4);
}

void HighsSession::apply_controls(char algo, bool mip) {
  krvu_prob_s *p = owner_;
  auto big = [](double v) { return v >= KRVU_INFINITY ? INFINITY : v; };
  auto clamp_int = [](int64_t v) { return static_cast<int>(v > 2147483647 ? 2147483647 : v); };
  // From the engine's defaults each time, so that a control set back to its
  // default really is back.
  Highs_resetOptions(h_);
  // The engine always logs to us: its error lines explain a refusal, and a
  // log file takes every line even while outputlog keeps them from the
  // callbacks; loglevel 0 silences it.
  forward_ = ctl_int(p, 8030) > 0;
  // With outputlog 0 the engine's warnings (tiny Hessian entries, small costs)
  // stay out of the callbacks like its other lines; the log file still has them.
  warn_ = ctl_int(p, KRVU_CTRL_OUTPUTLOG) != 0;
  last_error_.clear();
  set_opt("output_flag", true);
  set_opt("log_to_console", false);
  set_opt("log_dev_level", ctl_int(p, 8030) >= 3 ? 1 : 0);
  set_opt("time_limit", big(ctl_dbl(p, 7000)));
  set_opt("primal_feasibility_tolerance", ctl_dbl(p, 7001));
  set_opt("dual_feasibility_tolerance", ctl_dbl(p, 7002));
  set_opt("mip_rel_gap", ctl_dbl(p, 7003));
  set_opt("mip_abs_gap", ctl_dbl(p, 7004));
  set_opt("mip_feasibility_tolerance", ctl_dbl(p, 7005));
  set_opt("simplex_iteration_limit", clamp_int(ctl_int(p, 8000)));
  set_opt("ipm_iteration_limit", clamp_int(ctl_int(p, 8001)));
  set_opt("mip_max_nodes", clamp_int(ctl_int(p, 8002)));
  set_opt("mip_max_improving_sols", clamp_int(ctl_int(p, 8003)));
  set_opt("presolve", ctl_int(p, 8010) ? "choose" : "off");
  set_opt("random_seed", clamp_int(ctl_int(p, 8040)));
  if (!ctl_int(p, 8013)) set_opt("simplex_scale_strategy", 0);
  set_opt("simplex_dual_edge_weight_strategy", clamp_int(ctl_int(p, 8320)));
  // The primal simplex has no steepest edge of its own: Devex stands in.
  set_opt("simplex_primal_edge_weight_strategy", std::min(clamp_int(ctl_int(p, 8320)), 1));
  set_opt("mip_heuristic_effort", ctl_dbl(p, 7320));
  set_opt("mip_allow_cut_separation_at_nodes", ctl_int(p, 8321) != 0);
  set_opt("mip_detect_symmetry", ctl_int(p, 8322) != 0);
  set_opt("mip_allow_restart", ctl_int(p, 8323) != 0);
  set_opt("mip_pscost_minreliable", clamp_int(ctl_int(p, 8324)));
  set_opt("threads", engine_threads(p));
  set_opt("qp_iteration_limit", clamp_int(ctl_int(p, 8006)));
  // The engine's MIP bound is an upper limit in its minimization form, so a
  // maximization's cutoff goes in negated.
  const double cutoff = ctl_dbl(p, 7006);
  if (mip && std::fabs(cutoff) < KRVU_INFINITY)
    set_opt("objective_bound", p->data->m.objsense < 0 ? -cutoff : cutoff);
  if (!algo) {
    switch (ctl_int(p, 8011)) {
      case 2: algo = 'd'; break;
      case 3: algo = 'p'; break;
      case 4: algo = 'b'; break;
      default: break;
    }
  }
  set_opt("run_crossover", ctl_int(p, 8012) ? "on" : "off");
  switch (algo) {
    case 'd':
      set_opt("solver", "simplex");
      set_opt("simplex_strategy", 1);
      break;
    case 'p':
      set_opt("solver", "simplex");
      set_opt("simplex_strategy", 4);
      break;
    case 'b':
      set_opt("solver", "ipm");
      break;
    default:
      break;
  }
}

int HighsSession::run() {
  Highs_zeroAllClocks(h_);
  return Highs_run(h_);
}

int HighsSession::run_interruptible(std::unique_ptr<HighsSession> &self,
                                    const std::atomic<bool> &interrupt) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false;
    int status = 0;
    std::unique_ptr<HighsSession> orphan;  // set when the owner gave the run up
  };
  auto shared = std::make_shared<Shared>();
  HighsSession *session = self.get();
  std::thread worker([shared, session] {
    int status = session->run();
    std::unique_ptr<HighsSession> orphan;
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->status = status;
      shared->done = true;
      orphan = std::move(shared->orphan);
    }
    shared->done_cv.notify_all();
    // Destroyed here, outside the lock, when nobody waits for the run.
  });
  std::unique_lock<std::mutex> lock(shared->mutex);
  while (!shared->done) {
    shared->done_cv.wait_for(lock, std::chrono::milliseconds(20));
    if (!shared->done && interrupt.load(std::memory_order_relaxed)) {
      session->abandoned_.store(true);
      shared->orphan = std::move(self);
      lock.unlock();
      worker.detach();
      return -1;
    }
  }
  lock.unlock();
  worker.join();
  return shared->status;
}

void HighsSession::on_log_line(const std::string &line, bool error) {
  if (error) {
    // Without the engine's own "ERROR:" or "WARNING:" mark.
    size_t k = 0;
    for (const char *mark : {"ERROR:", "WARNING:"})
      if (line.compare(0, std::strlen(mark), mark) == 0) k = std::strlen(mark);
    k = line.find_first_not_of(' ', k);
    last_error_ = k == std::string::npos ? line : line.substr(k);
  }
  if (forward_) log_text(owner_, error && warn_ ? KRVU_MSG_WARNING : KRVU_MSG_LOG, line);
}

void HighsSession::check(int status, const char *what, const char *func) const {
  if (status != kHighsStatusError) return;
  if (last_error_.empty())
    raise(KRVU_ERR_SOLVER, "%s: the engine refused %s", func, what);
  raise(KRVU_ERR_SOLVER, "%s: the engine refused %s: %s", func, what, last_error_.c_str());
}

}  // namespace krvu
