// Conversion of one model expression into the arrays the library takes: a
// constant, linear coefficients by column, quadratic coefficients by column
// pair, and formula coefficients written as postfix token streams for the
// nonlinear solver.
#pragma once
#include <vector>

#include "problem/problem.h"

struct converted_expr {
  double constant = 0.0;
  std::vector<int> lin_cols;
  std::vector<double> lin_coefs;
  std::vector<int> quad_cols1, quad_cols2;
  std::vector<double> quad_coefs;
  // Formula k multiplies column formula_cols[k] (or stands alone when it is
  // the nonlinear solver's "no column") by formula_mult[k]; its tokens are
  // token_types/values[formula_starts[k] .. formula_starts[k+1]).
  std::vector<int> formula_cols;
  std::vector<double> formula_mult;
  std::vector<int> formula_starts{0};
  std::vector<int> token_types;
  std::vector<double> token_values;

  size_t formulas() const { return formula_cols.size(); }
  void clear();
};

// Appends the conversion of `expr` to `out` (several expressions may share one
// output, as the rows of a constraint batch do; the caller records where each
// starts).  objective: quadratic coefficients are doubled for the library's
// 0.5 x'Qx objective.  Returns 0, or -1 with a Python exception set.
int convertExpr(problem_s *p, PyObject *expr, converted_expr &out, int objective);

// Where an output stood before a conversion appended to it.
struct converted_sizes {
  size_t lin, quad, formula, tokens;
  explicit converted_sizes(const converted_expr &c)
      : lin(c.lin_coefs.size()), quad(c.quad_coefs.size()), formula(c.formulas()),
        tokens(c.token_values.size()) {}
};

// Refuses (ModelError, naming the variable and `owner`, a constraint, or the
// objective when null) a coefficient or constant that is not finite among
// what `out` gained since `from`; constant is the expression's own constant.
int check_finite_coefs(problem_s *p, const converted_expr &out, const converted_sizes &from,
                       double constant, PyObject *owner);

// True when `expr` contains a nonlinear node.
bool expr_is_nonlinear(PyObject *expr);
