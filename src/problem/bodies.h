// Constraint bodies kept in the library: a registered constraint that is the
// only holder of a linear body gives the body up, and the library row stands
// in for it until someone asks for it (constraint_body).  Whatever may change
// or drop such rows in the library first gives the bodies back.
#pragma once
#include <Python.h>

#include <vector>

#include "problem/problem.h"

// Gives up the bodies of constraints list positions first.. (just registered
// in one batch) that the library rows can stand for.
void problem_drop_bodies(problem_s *p, Py_ssize_t first);

// Gives back every body the problem's rows stand for (a view: every body its
// lists' constraints have in a library).  0, or -1 with an exception.
int problem_keep_bodies(problem_s *p);

// The same for the constraints of the given rows, or of the rows with a
// coefficient in the given columns, before those are deleted.
int problem_keep_row_bodies(problem_s *p, const std::vector<int> &rows);
// Before a library change to the given rows (indices the library will refuse
// are left to it): their constraints take back their bodies; a view's rows
// are its registering problem's, so there every body comes back.
int problem_keep_changed_rows(problem_s *p, const int *rows, int64_t n);
int problem_keep_column_bodies(problem_s *p, const std::vector<int> &cols);

// The problem goes (or drops its lists): constraints held elsewhere get their
// bodies back, the others just forget the problem.  Never raises.
void problem_release_bodies(problem_s *p);
