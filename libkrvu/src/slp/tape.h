// A formula compiled once from its postfix token stream into an
// index-resolved tape: one instruction per node, arguments named by their
// position on the tape.  Values come from one forward sweep; the exact
// gradient from one reverse sweep over the values the forward sweep left.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace krvu {
namespace slp {

// Token types of formulas.
enum TokenType : int {
  kTokEnd = 0,
  kTokConst = 1,
  kTokString = 5,
  kTokColumn = 10,
  kTokUser = 11,
  kTokFunction = 12,
  kTokArgList = 22,
  kTokOperator = 31,
  kTokArgDesc = 86,
  kTokRetDesc = 87,
};

// Operator values (token type 31).
enum OperatorCode : int { kOpNeg = 1, kOpPow = 2, kOpMul = 3, kOpDiv = 4, kOpAdd = 5, kOpSub = 6 };

// Built-in function values (token type 12).
enum FunctionCode : int {
  kFnLog10 = 14, kFnLn = 15, kFnExp = 16, kFnAbs = 17, kFnSqrt = 18, kFnSin = 27, kFnCos = 28,
  kFnTan = 29, kFnAsin = 30, kFnAcos = 31, kFnAtan = 32, kFnMin = 33, kFnMax = 34, kFnPwl = 35,
  kFnSign = 46, kFnErf = 49, kFnErfc = 50,
};

// Name and arity (-1: any number of arguments) of a built-in function code;
// null name for an unknown code.
struct FunctionInfo {
  int code;
  const char *name;
  int arity;
};
const FunctionInfo *function_info(int code);
const FunctionInfo *function_by_name(const std::string &lower_name);

// Tape instructions.
enum TapeOp : uint8_t {
  T_CONST, T_VAR, T_NEG, T_ADD, T_SUB, T_MUL, T_DIV, T_POW, T_POWK, T_SQR,
  T_LOG10, T_LN, T_EXP, T_ABS, T_SQRT, T_SIN, T_COS, T_TAN, T_ASIN, T_ACOS, T_ATAN,
  T_SIGN, T_ERF, T_ERFC, T_MIN, T_MAX, T_PWL, T_USER,
};

struct Instr {
  uint8_t op;
  int32_t a;  // first argument (T_VAR: the column; n-ary: start in args)
  int32_t b;  // second argument (n-ary: count)
  double c;   // T_CONST value, T_POWK exponent, T_USER function number
};

// One step of the reverse sweep.  Formulas are trees, so every value has
// one reader: the adjoint of an argument of a sum (or the first argument of
// a difference) is its reader's, and such arguments share their reader's
// adjoint instead of copying it.  Constants, columns and sums whose arguments
// all share need no step; columns take their adjoint in a pass of their own.
// A difference's step only hands its negated adjoint to its second argument.
struct RevStep {
  uint8_t op;
  int32_t g;  // where this step's adjoint is
  int32_t a;  // arguments as in the instruction (n-ary: start and count in args)
  int32_t b;
};

// Evaluates a user function: n argument values in, the value out and, when
// grad is not null, the n partial derivatives (the evaluator may fill them by
// differences).  Returns false when the function failed; the solve stops.
typedef std::function<bool(int number, const double *args, int n, double *value, double *grad)>
    UserEval;

struct Tape {
  std::vector<Instr> code;
  std::vector<int32_t> args;      // arguments of n-ary instructions, in order
  std::vector<int32_t> columns;   // distinct columns read, increasing
  std::vector<int32_t> users;     // user-function numbers called
  size_t tokens = 0;              // length of the token stream it came from
  std::vector<RevStep> rev;       // the reverse sweep, last instruction first
  std::vector<std::pair<int32_t, int32_t>> column_adj;  // (adjoint position, column) per column read

  bool empty() const { return code.empty(); }

  // Compiles tokens[0 .. n) (which must end with an end token and hold no
  // other) for a model of ncols columns; user functions must satisfy
  // user_exists.  Fails with a text naming the token position.
  static bool compile(const int *type, const double *value, size_t n, int ncols,
                      const std::function<bool(int)> &user_exists, Tape *out, std::string *err);

  // Value at x; work holds one value per instruction.  user may be null when
  // the tape calls no user function.
  double eval(const double *x, std::vector<double> &work, const UserEval *user,
              bool *ok) const;
  // Value and gradient: grad[col] += scale * d/dx_col for every column read
  // (grad is dense over the model's columns).  Uses the work of eval.
  double gradient(const double *x, double scale, double *grad, std::vector<double> &work,
                  std::vector<double> &adj, const UserEval *user, bool *ok) const;

 private:
  mutable std::vector<double> user_partials_;  // per user call, in tape order
  mutable std::vector<double> partials_;       // packed partials left by gradient's forward sweep
};

// Prints a token stream in the text form of formulas (infix, with the
// function names); column names come from colname.
std::string print_formula(const int *type, const double *value, size_t n,
                          const std::function<std::string(int)> &colname,
                          const std::function<std::string(int)> &username, std::string *err);
// Parses the text form back into tokens (the end token included).
bool parse_formula(const std::string &text, const std::function<int(const std::string &)> &column,
                   const std::function<int(const std::string &)> &userfunc,
                   std::vector<int> *type, std::vector<double> *value, std::string *err);

}  // namespace slp
}  // namespace krvu

// ---- second derivatives (tape_hessian.cpp) --------------------------------
#include <utility>

namespace krvu {
namespace slp {

// The Hessian of one tape by forward-over-reverse sweeps.  Its structural
// nonzeros are found once, from the nonlinear operations and the columns
// each depends on; columns that share no row of that pattern are seeded in
// one sweep, so that a separable formula costs one sweep whatever its size.
// Tapes that call user functions have no second derivatives (exact() false).
class TapeHessian {
 public:
  explicit TapeHessian(const Tape &t);
  bool exact() const { return exact_; }
  // The lower triangle of the pattern as pairs of model columns (first >= second).
  const std::vector<std::pair<int, int>> &pattern() const { return pattern_; }
  int sweeps() const { return ncolors_; }
  // At x: returns the value; grad[k] += scale * d/dx of column t.columns[k]
  // (grad may be null) and hess[e] += scale * entry e of the pattern.
  double eval(const double *x, double scale, double *grad, double *hess);

  // First and second partial derivatives of an instruction with respect to
  // its (at most two) arguments a and b.
  struct Partials {
    double pa = 0, pb = 0, paa = 0, pab = 0, pbb = 0;
  };

 private:
  const Tape *t_;
  bool exact_ = true;
  std::vector<int32_t> local_;                 // per instruction: T_VAR's position in columns, else -1
  std::vector<std::pair<int, int>> pattern_;  // model columns
  std::vector<std::pair<int, int>> entries_;  // the same, as positions in columns
  std::vector<int> color_;                     // per column position
  int ncolors_ = 0;
  std::vector<double> v_, w_, dv_, dw_, hv_, slope_;
  std::vector<Partials> part_;
  std::vector<int32_t> sel_;  // per instruction: the argument min, max or pwl passes on, else -1
};

}  // namespace slp
}  // namespace krvu
