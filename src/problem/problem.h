// The problem record and its type.
#pragma once
#include "module/env.h"
#include "krvu.h"
#include "kslp.h"

struct rowcolmap;  // src/model

constexpr int KORVU_CALLBACK_SLOTS = 40;

struct problem_s {
  PyObject_HEAD
  KRVUprob prob;            // library handle; null until initialised
  KSLPprob slpprob;         // nonlinear handle when the nonlinear solver is started
  PyObject *vars;           // list of registered korvu.var
  PyObject *constraints;    // list of registered korvu.constraint
  PyObject *sos;            // list of registered korvu.sos
  PyObject *controls;       // korvu.control bound to this problem
  PyObject *attributes;     // korvu.attribute bound to this problem
  rowcolmap *varmap;        // variable id -> column
  rowcolmap *rowmap;        // constraint id -> row
  rowcolmap *sosmap;        // set id -> set index
  PyObject *callbacks[KORVU_CALLBACK_SLOTS];
  int32_t nonlin_rows;      // non-zero: the problem has nonlinear rows
  int32_t nonlin_obj;       // non-zero: the objective is nonlinear
  PyObject *userfuncs;      // dict of user functions, or null
  int32_t obj_col;          // auxiliary objective column, -1 when none
  int32_t obj_row;          // auxiliary objective row, -1 when none
  // A long library run (solve, tune, file read or write) in progress with the
  // interpreter lock released, and the thread running it; both only change
  // under the lock.
  int32_t busy;
  unsigned long busy_thread;
  // A callback view (src/callbacks/view.cpp): borrows every field above from
  // the registering problem and answers solution queries for the current node.
  int32_t is_view;
  // An exception raised by a callback on a thread other than the solving one,
  // kept as (type, value, traceback) until the solve returns.
  PyObject *cb_error;
  // How many registered constraints gave their bodies up to this problem's
  // library rows (problem/bodies.h).
  int64_t library_bodies;
};

// Marks a problem busy for the scope of a long library run.  Another thread
// may then read the problem's attributes and controls and call interrupt,
// and nothing else: the run owns the problem.  A second run is refused.
class BusyScope {
 public:
  explicit BusyScope(problem_s *p);
  ~BusyScope();
  BusyScope(const BusyScope &) = delete;
  BusyScope &operator=(const BusyScope &) = delete;
  // False (with InterfaceError set) when the problem was busy already.
  bool ok() const { return p_ != nullptr; }

 private:
  problem_s *p_;
};

// Python callbacks running inside a problem's run mark their thread, so that
// they may use the problem while it is busy.
extern thread_local const problem_s *korvu_callback_problem;

extern PyTypeObject korvu_problemType;

inline bool korvu_is_problem(PyObject *o) {
  return PyObject_TypeCheck(o, &korvu_problemType);
}

// Readies the problem type (and the control and attribute types).
int problem_ready_types(void);

// Control and attribute objects (problem/controls.cpp).
extern PyTypeObject korvu_controlType;
extern PyTypeObject korvu_attributeType;
// A control or attribute object bound to `problem` (null: the module-level one).
PyObject *control_new(PyObject *problem);
PyObject *attribute_new(PyObject *problem);
// Unbinds a control or attribute object from its problem, which is going away.
void control_detach(PyObject *obj);
// Reads one control or attribute of a problem given its table entry.
PyObject *problem_read_value(problem_s *p, PyObject *entry, int is_control);
// Type-checks and sets one control of a problem; 0 or -1 with an exception.
int problem_set_control(problem_s *p, PyObject *entry, PyObject *value);
// Every value of a control or attribute object as a dict.
PyObject *control_all_values(PyObject *obj, int is_control);
// Type-checks a value for a control's table entry without setting it.
int check_control_value(PyObject *entry, PyObject *value);
