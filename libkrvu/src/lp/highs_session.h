// A HiGHS instance owned by one problem, driven through the engine's C API
// only (its C++ interface is built with another string ABI).  The session
// routes the engine's log lines, interrupt polls and incumbents to the problem
// that owns it.
#pragma once
#include <atomic>
#include <memory>
#include <string>
#include <vector>

struct krvu_prob_s;

namespace krvu {

// The engine's thread count for the problem's solves (control threads; 0
// chooses).  The engine's thread pool is one per process and a run that asks
// for another size fails, so every engine instance asks for this one.
int engine_threads(const krvu_prob_s *p);

class HighsSession {
 public:
  explicit HighsSession(krvu_prob_s *owner);
  ~HighsSession();
  HighsSession(const HighsSession &) = delete;
  HighsSession &operator=(const HighsSession &) = delete;
  void *get() const { return h_; }
  krvu_prob_s *owner() const { return owner_; }

  // Sets the engine's options from the problem's controls; algo: 0 from the
  // controls, else 'd' dual simplex, 'p' primal simplex, 'b' interior point.
  void apply_controls(char algo, bool mip);
  // Runs the engine with a fresh clock; returns the engine's status code.
  int run();
  // Fails with KRVU_ERR_SOLVER when an engine call returned an error; the
  // text carries the engine's own last error line.
  void check(int status, const char *what, const char *func) const;

  // Called with each line the engine logs.
  void on_log_line(const std::string &line, bool error);

  // Runs the engine on a thread of its own, looking at `interrupt` meanwhile;
  // for the engine's solvers that do not poll interrupts themselves.  When
  // the interrupt comes first the run is left to finish on that thread, which
  // then destroys the session: `self` (the owner's pointer) gives it up and
  // the result is -1.
  static int run_interruptible(std::unique_ptr<HighsSession> &self, const std::atomic<bool> &interrupt);
  bool abandoned() const { return abandoned_.load(std::memory_order_relaxed); }

 private:
  void set_opt(const char *name, bool v);
  void set_opt(const char *name, int v);
  void set_opt(const char *name, double v);
  void set_opt(const char *name, const char *v);

  void *h_;
  krvu_prob_s *owner_;
  std::atomic<bool> abandoned_{false};  // left to finish alone: no callbacks to the owner
  bool forward_ = false;    // whether engine lines go to the problem's log
  bool warn_ = true;        // whether engine warnings reach the callbacks as warnings
  std::string last_error_;  // the engine's last error line since apply_controls
};

}  // namespace krvu
