// Solving, the interrupt key during a solve, and the status queries.
#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

#include "callbacks/callbacks.h"
#include "module/module.h"
#include "nonlinear/functions.h"
#include "problem/methods.h"
#include "problem/registration.h"
#include "problem/solution.h"

namespace {

bool slp_started() {
  korvu::EnvLock lock(KRV_MUTEX_LIBSTATE);
  return krv_py_env.slp_state == 1;
}

// Problems being solved, one slot per run in progress on any thread.  A
// Ctrl-C asks each of them to stop through the library's interrupt, which only
// sets a flag the solver polls; the signal handler reads the slots without a
// lock (they are atomic), registration takes one.
constexpr int kMaxRuns = 256;
std::atomic<KRVUprob> g_solving[kMaxRuns];
std::mutex g_registry_mutex;
int g_runs = 0;  // registrations, under the mutex
struct sigaction g_saved;

extern "C" void on_sigint(int) {
  for (auto &slot : g_solving) {
    KRVUprob prob = slot.load();
    if (prob) KRVUinterrupt(prob, 2);
  }
}

}  // namespace

int setSigIntHandler(KRVUprob prob) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  if (g_runs++ == 0) {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_sigint;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &g_saved);
  }
  for (int i = 0; i < kMaxRuns; ++i) {
    KRVUprob empty = nullptr;
    if (g_solving[i].compare_exchange_strong(empty, prob)) return i;
  }
  return -1;  // more runs than slots: this one is not interrupted by the key
}

void resetSigIntHandler(int registration) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  if (registration >= 0 && registration < kMaxRuns) g_solving[registration].store(nullptr);
  if (--g_runs == 0) sigaction(SIGINT, &g_saved, nullptr);
}

int check_nl_unconstruct(problem_s *p) {
  if (!(p->nonlin_rows || p->nonlin_obj) || !p->slpprob || !slp_started()) return 0;
  int status = 0;
  if (KSLPgetintattrib(p->slpprob, KSLP_ATTR_STATUS, &status) != 0 ||
      ((status & 1) && KSLPunconstruct(p->slpprob) != 0) ||
      ((status & 0x20000000) && KSLPpostsolve(p->slpprob) != 0)) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  return 0;
}

PyObject *problem_solve(PyObject *self, PyObject *args, PyObject *kwargs) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  static const char *kwlist[] = {"flags", nullptr};
  PyObject *flags_obj = Py_None;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O", const_cast<char **>(kwlist), &flags_obj))
    return nullptr;
  if (flags_obj != Py_None && !PyUnicode_Check(flags_obj)) {
    PyErr_SetString(korvu_InterfaceError, "The optional 'flags' parameter should be a string");
    return nullptr;
  }
  if (!problem_ready(p)) return nullptr;
  std::string flags;
  if (flags_obj != Py_None && !name_text(flags_obj, &flags)) return nullptr;

  int mip = problem_is_mip(p);
  if (mip < 0) return nullptr;
  bool nonlinear = (p->nonlin_rows || p->nonlin_obj) && p->slpprob && slp_started();
  int rc;
  if (nonlinear) {
    char buffer[512];
    std::strncpy(buffer, flags.c_str(), 511);
    buffer[511] = '\0';
    if (mip && !std::strchr(buffer, 'g')) {
      size_t len = std::strlen(buffer);
      if (len >= 511) {
        PyErr_SetString(korvu_SolverError,
                        "Problem is mixed integer but the flag string is full; cannot add 'g' to "
                        "the flags");
        return nullptr;
      }
      buffer[len] = 'g';
      buffer[len + 1] = '\0';
    }
    BusyScope busy(p);
    if (!busy.ok()) return nullptr;
    nonlin_clear_user_error(p->slpprob);
    SigIntScope interruptible(p->prob);
    korvu::GilRelease unlocked;
    rc = KSLPnlpoptimize(p->slpprob, buffer);
  } else {
    const char *f = flags_obj == Py_None ? nullptr : flags.c_str();
    BusyScope busy(p);
    if (!busy.ok()) return nullptr;
    SigIntScope interruptible(p->prob);
    korvu::GilRelease unlocked;
    rc = mip ? KRVUmipoptimize(p->prob, f) : KRVUlpoptimize(p->prob, f);
  }
  // An exception raised by a user function is what stopped the solve.
  if (nonlinear && nonlin_restore_user_error(p->slpprob)) return nullptr;
  if (PyErr_Occurred()) {
    Py_CLEAR(p->cb_error);  // one exception per solve; the next starts clean
    return nullptr;
  }
  if (callbacks_take_error(p)) return nullptr;
  if (rc == 0) Py_RETURN_NONE;
  if (!nonlinear) {
    int status = 0;
    if (KRVUgetintattrib(p->prob, mip ? KRVU_ATTR_MIPSTATUS : KRVU_ATTR_LPSTATUS, &status) == 0 &&
        status == 8) {
      PyErr_SetString(korvu_SolverError,
                      "The quadratic objective is not convex (not concave when maximizing), so "
                      "the problem cannot be solved to a global optimum");
      return nullptr;
    }
  }
  return setKrvuErrIfNull(self, nullptr);
}

namespace {

// The status of the last solve and which table names it (0 nonlinear, 1 MIP, 2 LP).
int read_status(problem_s *p, int *status, int *table) {
  bool nonlinear = (p->nonlin_rows || p->nonlin_obj) && p->slpprob && slp_started();
  if (nonlinear) {
    *table = 0;
    return KSLPgetintattrib(p->slpprob, KSLP_ATTR_NLPSTATUS, status);
  }
  int mip = problem_is_mip(p);
  if (mip < 0) return -1;
  *table = mip ? 1 : 2;
  return KRVUgetintattrib(p->prob, mip ? KRVU_ATTR_MIPSTATUS : KRVU_ATTR_LPSTATUS, status);
}

}  // namespace

PyObject *problem_getProbStatus(PyObject *self, PyObject *) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!problem_ready(p)) return nullptr;
  int status = 0, table = 0;
  if (read_status(p, &status, &table) != 0) return setKrvuErrIfNull(self, nullptr);
  return PyLong_FromLong(status);
}

PyObject *problem_getProbStatusString(PyObject *self, PyObject *) {
  static const char *kNames[3][10] = {
      {"nlp_unstarted", "nlp_solution", "nlp_globally_optimal", "nlp_locally_infeasible",
       "nlp_infeasible", "nlp_unbounded", "nlp_unfinished", "nlp_unknown", "nlp_unknown",
       "nlp_unknown"},
      {"mip_not_loaded", "mip_lp_not_optimal", "mip_lp_optimal", "mip_no_sol_found",
       "mip_solution", "mip_infeas", "mip_optimal", "mip_unbounded", "mip_unknown", "mip_unknown"},
      {"lp_unstarted", "lp_optimal", "lp_infeas", "lp_cutoff", "lp_unfinished", "lp_unbounded",
       "lp_cutoff_in_dual", "lp_unsolved", "lp_nonconvex", "lp_unknown"},
  };
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!problem_ready(p)) return nullptr;
  int status = 0, table = 0;
  if (read_status(p, &status, &table) != 0) return setKrvuErrIfNull(self, nullptr);
  if (p->nonlin_rows || p->nonlin_obj) table = 0;
  int k = status >= 0 && status <= 8 ? status : 9;
  return PyUnicode_FromString(kNames[table][k]);
}
