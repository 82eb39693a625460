// Model registration shared by the problem's model methods.
#pragma once
#include <string>

#include "problem/problem.h"

PyObject *problem_addVariable(PyObject *self, PyObject *args);
// The method forms (METH_FASTCALL): the same registration without an argument tuple.
PyObject *problem_addVariable_fast(PyObject *self, PyObject *const *args, Py_ssize_t nargs);
PyObject *problem_addConstraint_fast(PyObject *self, PyObject *const *args, Py_ssize_t nargs);
PyObject *problem_addSOS(PyObject *self, PyObject *args);
PyObject *problem_addConstraint(PyObject *self, PyObject *args);
PyObject *problem_addIndicator(PyObject *self, PyObject *args);
PyObject *problem_setObjective(PyObject *self, PyObject *args, PyObject *kwargs);
// Sets the objective; 0 or -1 with an exception (the entry points wrap it).
int problem_set_objective(problem_s *p, PyObject *objective, int sense);
PyObject *problem_solve(PyObject *self, PyObject *args, PyObject *kwargs);
PyObject *problem_getProbStatus(PyObject *self, PyObject *);
PyObject *problem_getProbStatusString(PyObject *self, PyObject *);

// Bracket every long library run: a Ctrl-C then interrupts the run instead of
// the interpreter.  setSigIntHandler returns the registration that
// resetSigIntHandler takes back (runs on several threads may end in any
// order).  SigIntScope does both.
int setSigIntHandler(KRVUprob prob);
void resetSigIntHandler(int registration);
class SigIntScope {
 public:
  explicit SigIntScope(KRVUprob prob) : slot_(setSigIntHandler(prob)) {}
  ~SigIntScope() { resetSigIntHandler(slot_); }
  SigIntScope(const SigIntScope &) = delete;
  SigIntScope &operator=(const SigIntScope &) = delete;

 private:
  int slot_;
};

// Brings a nonlinear problem the nonlinear solver has transformed back to its
// user form.  0, or -1 with an exception.
int check_nl_unconstruct(problem_s *p);

// The text of a name object as the library takes it (ASCII); false with an
// exception set when it is not a string.
bool name_text(PyObject *name, std::string *out);

inline bool problem_ready(problem_s *p) {
  if (p->prob) return true;
  PyErr_SetString(korvu_ModelError, "The problem is not initialised");
  return false;
}
