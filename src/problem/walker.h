// The leaf walker: applies a function to every leaf of a nested argument
// (tuples, lists, NumPy arrays, sequences, dict values, iterators).
#pragma once
#include "problem/problem.h"

// Returns 0 to go on, -1 (with an exception set) to stop the walk.
typedef int (*leaf_fn)(problem_s *problem, PyObject *leaf, void *context);

constexpr int KORVU_WALK_DEPTH = 32;

// Returns a borrowed non-null marker (Py_None) on success, null with an
// exception set on failure.  `problem` may be null for walks that need none.
PyObject *walk_leaves(problem_s *problem, PyObject *obj, leaf_fn fn, void *context,
                      int depth = KORVU_WALK_DEPTH);
