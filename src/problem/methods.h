// The problem type's method families and the helpers they share.
#pragma once
#include <vector>

#include "problem/problem.h"

// Method tables contributed by each family (each ends with a null entry); the
// library-method wrappers' families are declared in binding/wrap.h.
extern PyMethodDef problem_control_methods[];
extern PyMethodDef problem_model_methods[];     // registration, objective, solve
extern PyMethodDef problem_solution_methods[];  // solution queries
extern PyMethodDef problem_file_methods[];      // files, copy, reset, deletion, look-ups

// Every family, in the order their methods appear in the type.
std::vector<PyMethodDef *> problem_method_families(void);

// Takes the positional elements of korvu.problem(...): a name, variables,
// constraints, sets and an objective.  0 or -1 with an exception set.
int problem_add_elements(problem_s *self, PyObject *elements, int sense);

// Sets every module-level default control on the problem.  0 or -1.
int problem_apply_default_controls(problem_s *self);

// Drops every registered callback without calling the library (the problem
// is going away).
void problem_release_callbacks(problem_s *self);

// After the library's model changed wholesale (a file read, a restore): the
// problem's nonlinear counts and the auxiliary pair of a nonlinear objective
// as the nonlinear problem holds them.  0 or -1 with an exception set.
int problem_sync_nonlinear(problem_s *self);
// Raises the nonlinear problem's last error as korvu.SolverError (unless an
// exception is pending) and returns null.
PyObject *problem_slp_error(problem_s *self);
