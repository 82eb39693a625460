// The module functions that build nonlinear nodes, and user functions: their
// registration with the nonlinear solver and the solver's call back into Python.
#pragma once
#include "problem/problem.h"

// Applies fn(self, element) to every element of a copy of the array `a` (same
// shape and dtype) and returns the copy.
PyObject *vector_compose_op(PyObject *self, PyObject *a, PyCFunction fn);

// Registers the user function args[0] (args: the tuple of a user-function node)
// with the problem's nonlinear solver once; *number receives its number.
// Returns 0, -1 with a Python exception set, or the library's nonzero code.
int createUserFunction(problem_s *p, PyObject *args, int *number, int derivatives);

// Raises (as the pending Python exception) the first exception a user function
// raised inside the nonlinear solver `slp` since the last call, and forgets it.
// Returns true when there was one.  Needs the interpreter lock.
bool nonlin_restore_user_error(KSLPprob slp);
// Forgets such an exception without raising it.
void nonlin_clear_user_error(KSLPprob slp);
