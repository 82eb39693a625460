// Evaluation of model objects at a solution, and the shape-preserving walk
// shared with problem.getSolution().
#pragma once
#include "problem/problem.h"

struct eval_context {
  problem_s *problem;  // may be null (dictionary solutions)
  const double *x;     // column values, when use_array
  Py_ssize_t n;        // number of column values
  PyObject *solution;  // dict variable -> value, or null
  int use_array;
};

// No element: null without exception; one element: its value; several: a tuple.
// solution_mode: integers and strings stand for columns (getSolution).
PyObject *scan_args_expressions(PyObject *args, eval_context *ctx, int solution_mode);

