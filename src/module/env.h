// The process-wide environment record shared by every part of the extension.
#pragma once
#include "module/pyref.h"
#include <cstdint>

struct boundmap;  // src/model/maps.h
struct namemap;

struct krv_py_env_s {
  PyObject *module;               // korvulib, set last on successful import
  uint64_t next_var_id;           // mutex 0
  uint64_t next_con_id;           // mutex 1
  uint64_t next_set_id;           // mutex 2
  PyObject *controls;             // module-level korvu.control; mutex 4 for writes
  PyObject *control_table;        // dict name -> (id, type, source); mutex 3
  PyObject *attribute_table;      // dict name -> (id, type, source); mutex 3
  PyObject *default_controls;     // dict name -> value for new problems; mutex 4
  PyObject *msghandlers;          // list of [callable, data]; mutex 5
  int32_t slp_state;              // -1 not started, 1 started; mutex 6
  int32_t start_count;            // outstanding library start requests; mutex 6
  int32_t output_enabled;         // mutex 7
  boundmap *con_lb;               // the side maps below are guarded by the GIL
  boundmap *con_ub;
  boundmap *var_lb;
  boundmap *var_ub;
  boundmap *var_threshold;
  namemap *con_names;
  namemap *var_names;
  PyObject *npvar;                // NumPy dtypes, set by the array subsystem
  PyObject *npexpr;
  PyObject *npconstraint;
  pthread_mutex_t mutexes[8];
};

extern krv_py_env_s krv_py_env;

// Mutex indices of krv_py_env.mutexes; lock order 3, 4, 6 where two are held.
enum {
  KRV_MUTEX_VARID = 0,
  KRV_MUTEX_CONID = 1,
  KRV_MUTEX_SETID = 2,
  KRV_MUTEX_TABLES = 3,
  KRV_MUTEX_DEFAULTS = 4,
  KRV_MUTEX_MSGHANDLERS = 5,
  KRV_MUTEX_LIBSTATE = 6,
  KRV_MUTEX_OUTPUT = 7,
};

namespace korvu {
// Holds one of the environment's mutexes for a scope.
class EnvLock {
 public:
  explicit EnvLock(int index) : m_(&krv_py_env.mutexes[index]) { pthread_mutex_lock(m_); }
  ~EnvLock() { pthread_mutex_unlock(m_); }
  EnvLock(const EnvLock &) = delete;
  EnvLock &operator=(const EnvLock &) = delete;

 private:
  pthread_mutex_t *m_;
};
}  // namespace korvu

// The module's exception classes (created at import).
extern PyObject *korvu_ModelError;
extern PyObject *korvu_InterfaceError;
extern PyObject *korvu_SolverError;

// Closing error report of every entry point: when result is null and no Python
// exception is pending, raises the library's last error for `object` (a problem,
// a branching object, or null for the global environment).
PyObject *setKrvuErrIfNull(PyObject *object, PyObject *result);
// A text of the library as a str; bytes that are not UTF-8 are replaced.
PyObject *library_text(const char *text);
// A library error text without the leading "KRVUname: " or "KSLPname: ".
const char *without_function_name(const char *text);
