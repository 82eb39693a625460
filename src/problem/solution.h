// Reading the problem's solution vectors, shared by the solution queries and
// the evaluation of expressions at the solution.
#pragma once
#include <vector>

#include "problem/problem.h"

enum korvu_vector { KORVU_PRIMAL = 0, KORVU_SLACK = 1, KORVU_DUAL = 2, KORVU_RCOST = 3 };

// True when the solution is held by the nonlinear solver.
bool problem_solution_is_nonlinear(problem_s *p);
// True when the problem is mixed integer (integer entities, sets, general or
// indicator constraints).  -1 with an exception when an attribute read fails.
int problem_is_mip(problem_s *p);
// Reads a whole vector of the current solution (columns for primal and reduced
// costs, rows for slacks and duals).  0, or -1 with an exception set.
int problem_read_vector(problem_s *p, int which, std::vector<double> &out);
