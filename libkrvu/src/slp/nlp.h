// The working copy of a nonlinear problem the solver iterates on: objective
// and rows as functions of the columns, with values and sparse gradients.
#pragma once
#include <vector>

#include "model/store.h"
#include "slp/slpprob.h"

namespace krvu {
namespace slp {

struct FormulaTerm {
  const Tape *tape;
  int col;        // multiplying column or -1
  double factor;
};

// One function of the columns: linear, quadratic (x'Qx as triplets c1 <= c2
// holding Q[c1][c2]) and formula terms.
struct Func {
  std::vector<int> lin_col;
  std::vector<double> lin_val;
  std::vector<int> q1, q2;
  std::vector<double> qv;
  std::vector<FormulaTerm> terms;
  std::vector<int> cols;  // every column it reads, increasing
  bool nonlinear() const { return !qv.empty() || !terms.empty(); }
};

struct Nlp {
  KSLPprob slp = nullptr;
  int n = 0, m = 0;
  double sense = 1.0;       // the objective minimized is sense * (user objective)
  double obj_const = 0.0;   // of the user objective
  Func obj;                 // the user objective (linear, quadratic, eliminated rows)
  std::vector<double> lb, ub;
  std::vector<double> rlo, rup;  // row limits (+-inf for none)
  std::vector<Func> rows;
  std::vector<char> nonlinear_row;
  // Objective transfer rows eliminated: column t = (b - rest_r(x)) / a.
  struct Transfer {
    int row, col;
    double a, b, cost;
    Func rest;  // the row without the column
  };
  std::vector<Transfer> transfers;
  std::vector<char> eliminated_col, eliminated_row;
  std::vector<int> nl_cols;   // columns that appear nonlinearly
  UserEval user;
  bool user_failed = false;

  // Builds the copy from the problem; throws Error naming func.  Integer
  // columns and sets are refused unless relaxed (then they are continuous).
  void build(KSLPprob s, const char *func, bool relaxed = false);
  // Value of a function, and value plus gradient into the dense g (added,
  // times scale).  False when a user function failed.
  bool value(const Func &f, const double *x, double *v);
  bool gradient(const Func &f, const double *x, double scale, double *g, double *v);
  // Sets the eliminated columns from the others.
  bool cascade(double *x);
  // Whether the problem is a convex quadratic one (no formulas; the
  // minimized objective and every quadratic row convex for its limits): 1
  // convex, 0 not, -1 when it has formulas or a quadratic part too large to
  // examine.
  int quadratic_convexity() const;
  // The objective sense * (user objective) at x.
  bool objective(const double *x, double *v) {
    double r;
    if (!value(obj, x, &r)) return false;
    *v = sense * (r + obj_const);
    return true;
  }

 private:
  std::vector<double> work_, adj_;
};

double row_violation(double v, double lo, double up);
// A hash of the linear model's bounds, column types, rows and matrix
// (slpops.cpp): what KSLPpresolve's bounds were derived from.
uint64_t linear_fingerprint(const ModelData &md);

// The order in which the determined columns of P are cascaded (as
// KSLPcascadeorder describes it), and one pass of the cascade in that order
// over x: each column solved from its row within its step limit and kept in
// its bounds.  False when a user function failed.
std::vector<int> cascade_order_of(KSLPprob slp, const Nlp &P);
bool cascade_pass(KSLPprob slp, Nlp &P, const std::vector<int> &order, double *x);

}  // namespace slp
}  // namespace krvu
