// The nonlinear problem in the form an interior-point solver takes: the
// columns it moves (the transfer columns stay out: the objective carries
// their rows), the rows with a limit, the sparse Jacobian of those rows and
// the sparse Hessian of the Lagrangian
//   objfactor * (objective) + sum_i lambda_i * row_i.
// Linear equality rows implied by the other linear equality rows stay out
// too: Ipopt takes a problem with as many equality rows as free columns for
// a square system (it then ignores the objective), and refuses one with
// more, whatever the rank.
#pragma once
#include <map>
#include <memory>
#include <vector>

#include "slp/nlp.h"
#include "slp/tape.h"

namespace krvu {
namespace slp {

class IpmModel {
 public:
  // fixed: by model column, the value of a column the solve may not move
  // (NaN for the others); null when every column with room is free.
  explicit IpmModel(Nlp &p, const std::vector<double> *fixed = nullptr);

  int nvars() const { return static_cast<int>(var_col_.size()); }
  int ncons() const { return static_cast<int>(con_row_.size()); }
  const std::vector<int> &var_col() const { return var_col_; }
  const std::vector<int> &con_row() const { return con_row_; }
  // Rows with a limit left out as implied by the rows kept.
  const std::vector<int> &dropped_rows() const { return dropped_; }
  // Jacobian nonzeros (constraint, variable), constraint by constraint.
  const std::vector<int> &jac_con() const { return jac_con_; }
  const std::vector<int> &jac_var() const { return jac_var_; }
  // Lower triangle of the Hessian (first >= second), as variables.
  const std::vector<std::pair<int, int>> &hess() const { return hess_; }
  // False when a formula calls a user function: its second derivatives are
  // then left to a quasi-Newton approximation.
  bool exact_hessian() const { return exact_; }
  const Nlp &nlp() const { return P; }

  // The model columns for the variables v (the others 0).
  const std::vector<double> &expand(const double *v);
  bool objective(const double *v, double *f);
  bool objective_gradient(const double *v, double *g);
  bool constraints(const double *v, double *g);
  bool jacobian(const double *v, double *values);
  bool hessian(const double *v, double objfactor, const double *lambda, double *values);

 private:
  // The Hessian of one function: its quadratic entries and formula terms,
  // each entry mapped to its place in hess_ (-1: a column outside).
  struct Term {
    const FormulaTerm *term;
    TapeHessian *th;
    std::vector<int> slots;  // per pattern entry of th
    std::vector<int> cross;  // with a multiplying column: per tape column, its pair with it
  };
  struct FuncHessian {
    const Func *f;
    std::vector<int> qslot;
    std::vector<Term> terms;
  };
  Nlp &P;
  std::vector<int> var_col_, col_var_, con_row_, dropped_, jac_con_, jac_var_, jac_start_;
  std::vector<std::pair<int, int>> hess_;
  std::vector<std::unique_ptr<TapeHessian>> tapes_;
  std::map<const Tape *, TapeHessian *> tape_of_;
  std::vector<FuncHessian> fh_;  // the objective, then each constraint
  bool exact_ = true;
  std::vector<double> x_, dense_, grad_, hbuf_;

  TapeHessian *tape_hessian(const Tape *t);
  bool is_linear(const Func &f);
  // Marks in *drop the linear equality rows among rows that the others
  // imply (their limits consistent with them).
  void implied_equalities(const std::vector<int> &rows, const std::vector<double> *fixed,
                          std::vector<char> *drop);
  void add_function(double weight, FuncHessian &h, double *values);
};

}  // namespace slp
}  // namespace krvu
