// Solving, the interrupt key during a solve, and the status queries.
#include <atomic>
#include <csignal>
#include <cstring>

#include "module/module.h"
#include "problem/methods.h"
#include "problem/registration.h"
#include "problem/solution.h"

namespace {

bool slp_started() {
  korvu::EnvLock lock(KRV_MUTEX_LIBSTATE);
  return krv_py_env.slp_state == 1;
}

// Problems being solved, innermost last.  A Ctrl-C asks each of them to stop
// through the library's interrupt, which only sets a flag the solver polls.
constexpr int kMaxDepth = 64;
KRVUprob g_solving[kMaxDepth];
std::atomic<int> g_depth{0};
struct sigaction g_saved;

extern "C" void on_sigint(int) {
  int n = g_depth.load();
  for (int i = 0; i < n && i < kMaxDepth; ++i)
    if (g_solving[i]) KRVUinterrupt(g_solving[i], 2);
}

}  // namespace

// Brackets every long library run (the interpreter lock is held when called).
void setSigIntHandler(KRVUprob prob) {
  int depth = g_depth.load();
  if (depth < kMaxDepth) g_solving[depth] = prob;
  if (depth == 0) {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_sigint;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &g_saved);
  }
  g_depth.store(depth + 1);
}

void resetSigIntHandler(void) {
  int depth = g_depth.load() - 1;
  g_depth.store(depth);
  if (depth < kMaxDepth && depth >= 0) g_solving[depth] = nullptr;
  if (depth == 0) sigaction(SIGINT, &g_saved, nullptr);
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
    setSigIntHandler(p->prob);
    {
      korvu::GilRelease unlocked;
      rc = KSLPnlpoptimize(p->slpprob, buffer);
    }
    resetSigIntHandler();
  } else {
    const char *f = flags_obj == Py_None ? nullptr : flags.c_str();
    setSigIntHandler(p->prob);
    {
      korvu::GilRelease unlocked;
      rc = mip ? KRVUmipoptimize(p->prob, f) : KRVUlpoptimize(p->prob, f);
    }
    resetSigIntHandler();
  }
  if (PyErr_Occurred()) return nullptr;
  if (rc == 0) Py_RETURN_NONE;
  if (!nonlinear) {
    int status = 0;
    if (KRVUgetintattrib(p->prob, mip ? KRVU_ATTR_MIPSTATUS : KRVU_ATTR_LPSTATUS, &status) == 0 &&
        status == 8) {
      PyErr_SetString(korvu_SolverError,
                      "The problem was determined to be nonconvex, and the optimizer cannot solve "
                      "it. Call nlpoptimize() to find a solution using SLP");
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
