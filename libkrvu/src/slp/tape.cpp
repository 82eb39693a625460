#include "slp/tape.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace krvu {
namespace slp {

namespace {

const FunctionInfo kFunctions[] = {
    {kFnLog10, "log10", 1}, {kFnLn, "ln", 1},     {kFnExp, "exp", 1},   {kFnAbs, "abs", 1},
    {kFnSqrt, "sqrt", 1},   {kFnSin, "sin", 1},   {kFnCos, "cos", 1},   {kFnTan, "tan", 1},
    {kFnAsin, "arcsin", 1}, {kFnAcos, "arccos", 1}, {kFnAtan, "arctan", 1}, {kFnMin, "min", -1},
    {kFnMax, "max", -1},    {kFnPwl, "pwl", -1},  {kFnSign, "sign", 1}, {kFnErf, "erf", 1},
    {kFnErfc, "erfc", 1},
};

TapeOp op_of_function(int code) {
  switch (code) {
    case kFnLog10: return T_LOG10;
    case kFnLn: return T_LN;
    case kFnExp: return T_EXP;
    case kFnAbs: return T_ABS;
    case kFnSqrt: return T_SQRT;
    case kFnSin: return T_SIN;
    case kFnCos: return T_COS;
    case kFnTan: return T_TAN;
    case kFnAsin: return T_ASIN;
    case kFnAcos: return T_ACOS;
    case kFnAtan: return T_ATAN;
    case kFnMin: return T_MIN;
    case kFnMax: return T_MAX;
    case kFnPwl: return T_PWL;
    case kFnSign: return T_SIGN;
    case kFnErf: return T_ERF;
    default: return T_ERFC;
  }
}

constexpr double kLn10 = 2.302585092994045684;
constexpr double kTwoOverSqrtPi = 1.128379167095512574;

// Piecewise linear through (X0, Y0), (X1, Y1), ... read from v at p[0..2k);
// the end segments extend beyond the first and last abscissae.  At an
// abscissa shared by two points (a jump) the later segment holds.
double pwl_eval(double t, const int32_t *p, int npts, const double *v, double *slope) {
  auto X = [&](int i) { return v[p[2 * i]]; };
  auto Y = [&](int i) { return v[p[2 * i + 1]]; };
  if (npts == 1) {
    *slope = 0.0;
    return Y(0);
  }
  int seg = 0;  // segment [i, i+1]
  for (int i = 0; i + 1 < npts; ++i) {
    if (X(i + 1) <= X(i)) continue;  // a jump: no segment of its own
    seg = i;
    if (t < X(i + 1)) break;
  }
  double dx = X(seg + 1) - X(seg);
  *slope = dx > 0 ? (Y(seg + 1) - Y(seg)) / dx : 0.0;
  return Y(seg) + *slope * (t - X(seg));
}

inline double sign_of(double a) { return a > 0 ? 1.0 : (a < 0 ? -1.0 : 0.0); }

// The value of instruction k from the values before it.
inline double apply(const Instr &in, const double *v, const int32_t *args, const double *x) {
  const double a = in.op >= T_NEG ? v[in.a] : 0.0;
  switch (in.op) {
    case T_CONST: return in.c;
    case T_VAR: return x[in.a];
    case T_NEG: return -a;
    case T_ADD: return a + v[in.b];
    case T_SUB: return a - v[in.b];
    case T_MUL: return a * v[in.b];
    case T_DIV: return a / v[in.b];
    case T_POW: return std::pow(a, v[in.b]);
    case T_POWK: return std::pow(a, in.c);
    case T_SQR: return a * a;
    case T_LOG10: return std::log10(a);
    case T_LN: return std::log(a);
    case T_EXP: return std::exp(a);
    case T_ABS: return std::fabs(a);
    case T_SQRT: return std::sqrt(a);
    case T_SIN: return std::sin(a);
    case T_COS: return std::cos(a);
    case T_TAN: return std::tan(a);
    case T_ASIN: return std::asin(a);
    case T_ACOS: return std::acos(a);
    case T_ATAN: return std::atan(a);
    case T_SIGN: return sign_of(a);
    case T_ERF: return std::erf(a);
    case T_ERFC: return std::erfc(a);
    default: break;
  }
  return 0.0;
}

// The reverse sweep of a tape (see RevStep): a reader always comes after
// what it reads, so walking back from the result fixes each value's adjoint
// position before its own step is written.
void build_reverse(Tape &t) {
  const int32_t n = static_cast<int32_t>(t.code.size());
  std::vector<int32_t> at(n);
  for (int32_t k = 0; k < n; ++k) at[k] = k;
  t.rev.clear();
  t.column_adj.clear();
  for (int32_t k = n - 1; k >= 0; --k) {
    const Instr &in = t.code[k];
    switch (in.op) {
      case T_CONST: break;
      case T_VAR: t.column_adj.emplace_back(at[k], in.a); break;
      case T_ADD:
        at[in.a] = at[in.b] = at[k];
        break;
      case T_SUB:
        at[in.a] = at[k];
        t.rev.push_back(RevStep{T_SUB, at[k], in.a, in.b});
        break;
      default: t.rev.push_back(RevStep{in.op, at[k], in.a, in.b}); break;
    }
  }
}

}  // namespace

const FunctionInfo *function_info(int code) {
  for (const FunctionInfo &f : kFunctions)
    if (f.code == code) return &f;
  return nullptr;
}

const FunctionInfo *function_by_name(const std::string &n) {
  for (const FunctionInfo &f : kFunctions)
    if (n == f.name) return &f;
  // Names the modelling layer uses for the same functions.
  static const std::pair<const char *, int> kAliases[] = {
      {"log", kFnLn}, {"asin", kFnAsin}, {"acos", kFnAcos}, {"atan", kFnAtan}};
  for (auto &a : kAliases)
    if (n == a.first) return function_info(a.second);
  return nullptr;
}

bool Tape::compile(const int *type, const double *value, size_t n, int ncols,
                   const std::function<bool(int)> &user_exists, Tape *out, std::string *err) {
  Tape t;
  t.tokens = n;
  std::vector<int32_t> stack;  // instruction indices; -1 marks an argument list
  auto fail = [&](size_t i, const char *what) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "token %zu: %s", i, what);
    *err = buf;
    return false;
  };
  auto is_const = [&](int32_t k) { return t.code[k].op == T_CONST; };
  // Replaces an instruction whose arguments are all constants (a contiguous
  // run of constants ending the tape) by its value.
  auto push = [&](Instr in, const std::vector<int32_t> &argv) {
    bool all_const = in.op != T_USER && in.op != T_CONST && in.op != T_VAR && !argv.empty();
    for (int32_t k : argv) all_const = all_const && is_const(k);
    if (all_const) {
      std::vector<double> v(t.code.size());
      for (size_t k = 0; k < t.code.size(); ++k) v[k] = t.code[k].c;
      double r;
      if (in.op == T_MIN || in.op == T_MAX || in.op == T_PWL) {
        std::vector<double> vals;
        for (int32_t k : argv) vals.push_back(v[k]);
        if (in.op == T_MIN) r = *std::min_element(vals.begin(), vals.end());
        else if (in.op == T_MAX) r = *std::max_element(vals.begin(), vals.end());
        else {
          double s;
          r = pwl_eval(vals[0], &t.args[in.a + 1], (in.b - 1) / 2, v.data(), &s);
        }
        t.args.resize(in.a);
      } else {
        r = apply(in, v.data(), t.args.data(), nullptr);
      }
      int32_t lowest = *std::min_element(argv.begin(), argv.end());
      t.code.resize(lowest);
      t.code.push_back(Instr{T_CONST, 0, 0, r});
    } else {
      t.code.push_back(in);
    }
    stack.push_back(static_cast<int32_t>(t.code.size() - 1));
  };
  auto pop = [&](size_t i, int32_t *k) {
    if (stack.empty() || stack.back() < 0) return fail(i, "an operator or function lacks an argument");
    *k = stack.back();
    stack.pop_back();
    return true;
  };
  // The arguments above the topmost argument-list mark, in stack order.
  auto pop_list = [&](size_t i, std::vector<int32_t> *argv) {
    auto mark = std::find(stack.rbegin(), stack.rend(), -1);
    if (mark == stack.rend()) return fail(i, "a function has no argument list");
    size_t pos = stack.size() - 1 - static_cast<size_t>(mark - stack.rbegin());
    argv->assign(stack.begin() + pos + 1, stack.end());
    stack.resize(pos);
    if (argv->empty()) return fail(i, "a function has an empty argument list");
    return true;
  };

  for (size_t i = 0; i < n; ++i) {
    int ty = type[i];
    double val = value[i];
    switch (ty) {
      case kTokEnd:
        if (i + 1 != n) return fail(i, "end token before the end of the formula");
        if (stack.size() != 1 || stack[0] < 0)
          return fail(i, "the formula does not reduce to one value");
        t.columns.clear();
        for (const Instr &in : t.code)
          if (in.op == T_VAR) t.columns.push_back(in.a);
        std::sort(t.columns.begin(), t.columns.end());
        t.columns.erase(std::unique(t.columns.begin(), t.columns.end()), t.columns.end());
        for (const Instr &in : t.code)
          if (in.op == T_USER) t.users.push_back(static_cast<int32_t>(in.c));
        build_reverse(t);
        *out = std::move(t);
        return true;
      case kTokConst:
        if (!std::isfinite(val)) return fail(i, "a constant is not finite");
        push(Instr{T_CONST, 0, 0, val}, {});
        break;
      case kTokColumn: {
        if (val != std::floor(val) || val < 0 || val >= ncols)
          return fail(i, "a column index is out of range");
        push(Instr{T_VAR, static_cast<int32_t>(val), 0, 0.0}, {});
        break;
      }
      case kTokArgList:
        stack.push_back(-1);
        break;
      case kTokOperator: {
        int op = static_cast<int>(val);
        if (op != val || op < kOpNeg || op > kOpSub) return fail(i, "unknown operator");
        int32_t a, b;
        if (op == kOpNeg) {
          if (!pop(i, &a)) return false;
          push(Instr{T_NEG, a, 0, 0.0}, {a});
          break;
        }
        if (!pop(i, &b) || !pop(i, &a)) return false;
        if (op == kOpPow && is_const(b)) {
          double k = t.code[b].c;
          if (!is_const(a)) {
            // The exponent folds into the instruction; it is the tape's last.
            t.code.pop_back();
            push(k == 2.0 ? Instr{T_SQR, a, 0, 0.0} : Instr{T_POWK, a, 0, k}, {a});
            break;
          }
        }
        static const TapeOp kBinary[] = {T_NEG, T_NEG, T_POW, T_MUL, T_DIV, T_ADD, T_SUB};
        push(Instr{static_cast<uint8_t>(kBinary[op]), a, b, 0.0}, {a, b});
        break;
      }
      case kTokFunction: {
        const FunctionInfo *f = function_info(static_cast<int>(val));
        if (!f || f->code != val) return fail(i, "unknown function");
        std::vector<int32_t> argv;
        if (f->arity == 1) {
          int32_t a;
          if (!pop(i, &a)) return false;
          if (!stack.empty() && stack.back() == -1) stack.pop_back();
          push(Instr{static_cast<uint8_t>(op_of_function(f->code)), a, 0, 0.0}, {a});
          break;
        }
        if (!pop_list(i, &argv)) return false;
        TapeOp op = op_of_function(f->code);
        if (op == T_PWL) {
          // Written last breakpoint first and the argument last.
          std::reverse(argv.begin(), argv.end());
          if (argv.size() < 3 || argv.size() % 2 == 0)
            return fail(i, "pwl needs an argument and at least one (x, y) breakpoint");
          for (size_t k = 1; k < argv.size(); ++k)
            if (!is_const(argv[k])) return fail(i, "pwl breakpoints must be constants");
          for (size_t k = 3; k < argv.size(); k += 2)
            if (t.code[argv[k]].c < t.code[argv[k - 2]].c)
              return fail(i, "pwl breakpoints must have non-decreasing abscissae");
        }
        int32_t start = static_cast<int32_t>(t.args.size());
        t.args.insert(t.args.end(), argv.begin(), argv.end());
        push(Instr{static_cast<uint8_t>(op), start, static_cast<int32_t>(argv.size()), 0.0}, argv);
        break;
      }
      case kTokUser: {
        int num = static_cast<int>(val);
        if (num != val || !user_exists(num)) return fail(i, "unknown user function");
        std::vector<int32_t> argv;
        if (!pop_list(i, &argv)) return false;
        std::reverse(argv.begin(), argv.end());  // written last argument first
        int32_t start = static_cast<int32_t>(t.args.size());
        t.args.insert(t.args.end(), argv.begin(), argv.end());
        push(Instr{T_USER, start, static_cast<int32_t>(argv.size()), static_cast<double>(num)}, argv);
        break;
      }
      default:
        return fail(i, "token type not allowed in a formula");
    }
  }
  return fail(n, "the formula has no end token");
}

namespace {

// One forward sweep; with partials, user calls also leave their derivatives.
// Sine and cosine of one argument in one call where the compiler offers it.
inline void sin_cos(double a, double *sn, double *cs) {
#if defined(__GNUC__)
  __builtin_sincos(a, sn, cs);
#else
  *sn = std::sin(a);
  *cs = std::cos(a);
#endif
}

// The value of instruction k and its partial derivatives with respect to
// its arguments a and b (operations of one or two arguments only).
inline double apply_d(const Instr &in, const double *v, double *pa, double *pb) {
  const double a = v[in.a];
  *pb = 0.0;
  switch (in.op) {
    case T_NEG: *pa = -1.0; return -a;
    case T_ADD: *pa = 1.0; *pb = 1.0; return a + v[in.b];
    case T_SUB: *pa = 1.0; *pb = -1.0; return a - v[in.b];
    case T_MUL: *pa = v[in.b]; *pb = a; return a * v[in.b];
    case T_DIV: {
      double q = 1.0 / v[in.b], r = a / v[in.b];
      *pa = q;
      *pb = -r * q;
      return r;
    }
    case T_POW: {
      double b = v[in.b], r = std::pow(a, b);
      *pa = b == 0.0 ? 0.0 : b * std::pow(a, b - 1.0);
      *pb = a > 0 ? r * std::log(a) : 0.0;
      return r;
    }
    case T_POWK: *pa = in.c == 0.0 ? 0.0 : in.c * std::pow(a, in.c - 1.0); return std::pow(a, in.c);
    case T_SQR: *pa = 2.0 * a; return a * a;
    case T_LOG10: *pa = 1.0 / (a * kLn10); return std::log10(a);
    case T_LN: *pa = 1.0 / a; return std::log(a);
    case T_EXP: {
      double r = std::exp(a);
      *pa = r;
      return r;
    }
    case T_ABS: *pa = sign_of(a); return std::fabs(a);
    case T_SQRT: {
      double r = std::sqrt(a);
      *pa = 0.5 / r;
      return r;
    }
    case T_SIN:
    case T_COS: {
      double sn, cs;
      sin_cos(a, &sn, &cs);
      *pa = in.op == T_SIN ? cs : -sn;
      return in.op == T_SIN ? sn : cs;
    }
    case T_TAN: {
      double r = std::tan(a);
      *pa = 1.0 + r * r;
      return r;
    }
    case T_ASIN: *pa = 1.0 / std::sqrt(1.0 - a * a); return std::asin(a);
    case T_ACOS: *pa = -1.0 / std::sqrt(1.0 - a * a); return std::acos(a);
    case T_ATAN: *pa = 1.0 / (1.0 + a * a); return std::atan(a);
    case T_SIGN: *pa = 0.0; return sign_of(a);
    case T_ERF: *pa = kTwoOverSqrtPi * std::exp(-a * a); return std::erf(a);
    case T_ERFC: *pa = -kTwoOverSqrtPi * std::exp(-a * a); return std::erfc(a);
    default: break;
  }
  *pa = 0.0;
  return 0.0;
}

// One forward sweep; with partials, every instruction whose partials are not
// plain values also leaves them, packed in tape order from *pd on (two for
// quotients and powers, one for functions; *pd ends past the last), and
// user calls leave theirs.
template <bool kPartials>
double forward(const Tape &t, const double *x, std::vector<double> &work, const UserEval *user,
               std::vector<double> &partials, bool *ok, double **pd = nullptr) {
  const size_t n = t.code.size();
  if (work.size() < n) work.resize(n);
  double *v = work.data();
  const Instr *code = t.code.data();
  const int32_t *args = t.args.data();
  size_t up = 0;
  double buf[16];
  std::vector<double> heap;
  for (size_t k = 0; k < n; ++k) {
    const Instr &in = code[k];
    // Sums, products and squares take their partials from the values in the
    // reverse sweep; storing them would only add memory traffic.
    if (kPartials && in.op >= T_DIV && in.op <= T_ERFC && in.op != T_SQR) {
      double *slot = *pd;
      v[k] = apply_d(in, v, slot, slot + 1);
      *pd = slot + (in.op <= T_POW ? 2 : 1);
      continue;
    }
    switch (in.op) {
      case T_CONST: v[k] = in.c; break;
      case T_VAR: v[k] = x[in.a]; break;
      case T_ADD: v[k] = v[in.a] + v[in.b]; break;
      case T_SUB: v[k] = v[in.a] - v[in.b]; break;
      case T_MUL: v[k] = v[in.a] * v[in.b]; break;
      case T_DIV: v[k] = v[in.a] / v[in.b]; break;
      case T_NEG: v[k] = -v[in.a]; break;
      case T_SQR: v[k] = v[in.a] * v[in.a]; break;
      case T_MIN:
      case T_MAX: {
        double r = v[args[in.a]];
        for (int32_t j = 1; j < in.b; ++j) {
          double w = v[args[in.a + j]];
          r = in.op == T_MIN ? std::min(r, w) : std::max(r, w);
        }
        v[k] = r;
        break;
      }
      case T_PWL: {
        double s;
        v[k] = pwl_eval(v[args[in.a]], args + in.a + 1, (in.b - 1) / 2, v, &s);
        break;
      }
      case T_USER: {
        int na = in.b;
        double *av = buf;
        if (na > 16) {
          heap.resize(na);
          av = heap.data();
        }
        for (int j = 0; j < na; ++j) av[j] = v[args[in.a + j]];
        double r = 0.0;
        double *g = nullptr;
        if (kPartials) {
          if (partials.size() < up + na) partials.resize(up + na);
          g = partials.data() + up;
          up += na;
        }
        if (!user || !(*user)(static_cast<int>(in.c), av, na, &r, g)) {
          *ok = false;
          return NAN;
        }
        v[k] = r;
        break;
      }
      default: v[k] = apply(in, v, args, x); break;
    }
  }
  return n ? v[n - 1] : 0.0;
}

}  // namespace

double Tape::eval(const double *x, std::vector<double> &work, const UserEval *user, bool *ok) const {
  *ok = true;
  return forward<false>(*this, x, work, user, user_partials_, ok);
}

double Tape::gradient(const double *x, double scale, double *grad, std::vector<double> &work,
                      std::vector<double> &adj, const UserEval *user, bool *ok) const {
  *ok = true;
  const size_t n = code.size();
  if (partials_.size() < 2 * n) partials_.resize(2 * n);
  double *pd = partials_.data();
  double f = forward<true>(*this, x, work, user, user_partials_, ok, &pd);
  if (!*ok || n == 0) return f;
  // Every adjoint is written by its one reader before it is read, so the
  // array needs no clearing.  A zero adjoint must not meet an infinite
  // partial (sqrt at 0 under a zero factor): such products are zero.
  if (adj.size() < n) adj.resize(n);
  double *w = adj.data();
  w[n - 1] = scale;
  const double *v = work.data();
  const int32_t *ar = args.data();
  size_t up = 0;
  if (!users.empty())
    for (const Instr &in : code)
      if (in.op == T_USER) up += in.b;
  auto times = [](double g, double p) { return g != 0.0 ? g * p : 0.0; };
  for (const RevStep &s : rev) {
    const double g = w[s.g];
    switch (s.op) {
      case T_NEG: w[s.a] = -g; break;
      case T_SUB: w[s.b] = -g; break;
      case T_MUL:
        w[s.a] = g * v[s.b];
        w[s.b] = g * v[s.a];
        break;
      case T_SQR: w[s.a] = 2.0 * g * v[s.a]; break;
      case T_DIV:
      case T_POW:
        pd -= 2;
        w[s.a] = times(g, pd[0]);
        w[s.b] = times(g, pd[1]);
        break;
      case T_MIN:
      case T_MAX: {
        // The first argument that attains the extreme carries the derivative.
        double r = v[ar[s.a]];
        for (int32_t j = 1; j < s.b; ++j)
          r = s.op == T_MIN ? std::min(r, v[ar[s.a + j]]) : std::max(r, v[ar[s.a + j]]);
        bool given = false;
        for (int32_t j = 0; j < s.b; ++j) {
          const bool here = !given && v[ar[s.a + j]] == r;
          w[ar[s.a + j]] = here ? g : 0.0;
          given = given || here;
        }
        break;
      }
      case T_PWL: {
        // The breakpoints are constants: only the argument has an adjoint.
        double slope;
        pwl_eval(v[ar[s.a]], ar + s.a + 1, (s.b - 1) / 2, v, &slope);
        w[ar[s.a]] = times(g, slope);
        break;
      }
      case T_USER:
        up -= s.b;
        for (int32_t j = 0; j < s.b; ++j) w[ar[s.a + j]] = times(g, user_partials_[up + j]);
        break;
      case T_CONST:
      case T_VAR:
      case T_ADD: break;  // never steps
      default:  // one argument, one stored partial
        pd -= 1;
        w[s.a] = times(g, pd[0]);
        break;
    }
  }
  for (const auto &c : column_adj) grad[c.second] += w[c.first];
  return f;
}

// ---- the text form

namespace {

enum Prec { kPrecAdd = 1, kPrecMul = 2, kPrecUnary = 3, kPrecPow = 4, kPrecAtom = 5 };

std::string number_text(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  // The shortest text that reads back to the same double.
  for (int p = 1; p < 17; ++p) {
    char t[40];
    std::snprintf(t, sizeof t, "%.*g", p, v);
    if (std::strtod(t, nullptr) == v) return t;
  }
  return buf;
}

}  // namespace

std::string print_formula(const int *type, const double *value, size_t n,
                          const std::function<std::string(int)> &colname,
                          const std::function<std::string(int)> &username, std::string *err) {
  struct Item {
    std::string s;
    int prec;
    bool mark;
  };
  std::vector<Item> st;
  auto paren = [](const Item &it, int need) { return it.prec < need ? "(" + it.s + ")" : it.s; };
  auto take_list = [&](std::vector<Item> *out) {
    while (!st.empty() && !st.back().mark) {
      out->push_back(st.back());
      st.pop_back();
    }
    if (st.empty()) return false;
    st.pop_back();
    std::reverse(out->begin(), out->end());
    return !out->empty();
  };
  auto join = [](const std::vector<Item> &v) {
    std::string s;
    for (size_t k = 0; k < v.size(); ++k) s += (k ? ", " : "") + v[k].s;
    return s;
  };
  for (size_t i = 0; i < n; ++i) {
    switch (type[i]) {
      case kTokEnd:
        if (st.size() != 1 || st[0].mark) {
          *err = "the formula does not reduce to one value";
          return "";
        }
        return st[0].s;
      case kTokConst: {
        std::string s = number_text(value[i]);
        st.push_back({s, value[i] < 0 ? kPrecUnary : kPrecAtom, false});
        break;
      }
      case kTokColumn: st.push_back({colname(static_cast<int>(value[i])), kPrecAtom, false}); break;
      case kTokArgList: st.push_back({"", 0, true}); break;
      case kTokOperator: {
        int op = static_cast<int>(value[i]);
        if (st.empty() || st.back().mark) break;
        if (op == kOpNeg) {
          Item a = st.back();
          st.pop_back();
          st.push_back({"-" + paren(a, kPrecPow), kPrecUnary, false});
          break;
        }
        if (st.size() < 2 || st[st.size() - 2].mark) {
          *err = "an operator lacks an argument";
          return "";
        }
        Item b = st.back();
        st.pop_back();
        Item a = st.back();
        st.pop_back();
        switch (op) {
          case kOpAdd: st.push_back({a.s + " + " + paren(b, kPrecAdd + (b.prec == kPrecUnary)), kPrecAdd, false}); break;
          case kOpSub: st.push_back({a.s + " - " + paren(b, kPrecMul), kPrecAdd, false}); break;
          case kOpMul: st.push_back({paren(a, kPrecMul) + " * " + paren(b, kPrecPow), kPrecMul, false}); break;
          case kOpDiv: st.push_back({paren(a, kPrecMul) + " / " + paren(b, kPrecPow), kPrecMul, false}); break;
          default: st.push_back({paren(a, kPrecAtom) + " ^ " + paren(b, kPrecAtom), kPrecPow, false}); break;
        }
        break;
      }
      case kTokFunction: {
        const FunctionInfo *f = function_info(static_cast<int>(value[i]));
        if (!f) {
          *err = "unknown function";
          return "";
        }
        std::vector<Item> a;
        if (f->arity == 1 && !st.empty() && !st.back().mark &&
            !(st.size() >= 2 && st[st.size() - 2].mark)) {
          a.push_back(st.back());
          st.pop_back();
        } else if (!take_list(&a)) {
          *err = "a function lacks its arguments";
          return "";
        }
        if (f->code == kFnPwl) std::reverse(a.begin(), a.end());
        st.push_back({std::string(f->name) + "(" + join(a) + ")", kPrecAtom, false});
        break;
      }
      case kTokUser: {
        std::vector<Item> a;
        if (!take_list(&a)) {
          *err = "a user function lacks its arguments";
          return "";
        }
        std::reverse(a.begin(), a.end());
        st.push_back({username(static_cast<int>(value[i])) + "(" + join(a) + ")", kPrecAtom, false});
        break;
      }
      default:
        *err = "token type not allowed in a formula";
        return "";
    }
  }
  *err = "the formula has no end token";
  return "";
}

namespace {

struct Parser {
  const std::string &s;
  size_t i = 0;
  const std::function<int(const std::string &)> &column;
  const std::function<int(const std::string &)> &userfunc;
  std::vector<int> *type;
  std::vector<double> *value;
  std::string err;

  void emit(int t, double v) {
    type->push_back(t);
    value->push_back(v);
  }
  void skip() {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  }
  bool eat(char c) {
    skip();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  bool error(const std::string &what) {
    if (err.empty()) err = what + " at position " + std::to_string(i);
    return false;
  }
  bool expr() {
    if (!term()) return false;
    for (;;) {
      skip();
      if (eat('+')) {
        if (!term()) return false;
        emit(kTokOperator, kOpAdd);
      } else if (i < s.size() && s[i] == '-') {
        ++i;
        if (!term()) return false;
        emit(kTokOperator, kOpSub);
      } else {
        return true;
      }
    }
  }
  bool term() {
    if (!unary()) return false;
    for (;;) {
      skip();
      if (i + 1 < s.size() && s[i] == '*' && s[i + 1] == '*') return true;
      if (eat('*')) {
        if (!unary()) return false;
        emit(kTokOperator, kOpMul);
      } else if (eat('/')) {
        if (!unary()) return false;
        emit(kTokOperator, kOpDiv);
      } else {
        return true;
      }
    }
  }
  bool unary() {
    skip();
    if (eat('-')) {
      if (!unary()) return false;
      emit(kTokOperator, kOpNeg);
      return true;
    }
    if (eat('+')) return unary();
    return power();
  }
  bool power() {
    if (!primary()) return false;
    skip();
    bool pow2 = i + 1 < s.size() && s[i] == '*' && s[i + 1] == '*';
    if (pow2 || (i < s.size() && s[i] == '^')) {
      i += pow2 ? 2 : 1;
      if (!unary()) return false;  // right associative: a^b^c = a^(b^c)
      emit(kTokOperator, kOpPow);
    }
    return true;
  }
  bool primary() {
    skip();
    if (i >= s.size()) return error("unexpected end of the formula");
    char c = s[i];
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      const char *b = s.c_str() + i;
      char *e;
      double v = std::strtod(b, &e);
      if (e == b) return error("bad number");
      i += static_cast<size_t>(e - b);
      emit(kTokConst, v);
      return true;
    }
    if (c == '(') {
      ++i;
      if (!expr()) return false;
      if (!eat(')')) return error("missing ')'");
      return true;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t b = i;
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' ||
                              s[i] == '.' || s[i] == '[' || s[i] == ']'))
        ++i;
      std::string name = s.substr(b, i - b);
      skip();
      if (i < s.size() && s[i] == '(') {
        ++i;
        std::string lower = name;
        for (char &ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        const FunctionInfo *f = function_by_name(lower);
        int user = f ? -1 : userfunc(name);
        if (!f && user < 0) return error("unknown function '" + name + "'");
        size_t first_arg = type->size() + 1;
        emit(kTokArgList, 0);
        int nargs = 0;
        if (!eat(')')) {
          for (;;) {
            if (!expr()) return false;
            ++nargs;
            if (eat(')')) break;
            if (!eat(',')) return error("expected ',' or ')'");
          }
        }
        if (nargs == 0) return error("function '" + name + "' without arguments");
        if (f && f->arity == 1 && nargs != 1) return error("function '" + name + "' takes one argument");
        if (!f || f->code == kFnPwl) reverse_args(first_arg);
        if (f) emit(kTokFunction, f->code);
        else emit(kTokUser, user);
        return true;
      }
      int col = column(name);
      if (col < 0) return error("unknown column '" + name + "'");
      emit(kTokColumn, col);
      return true;
    }
    return error(std::string("unexpected '") + c + "'");
  }
  // Reorders the argument token runs written since `from` last-first, the
  // order user functions and pwl take their arguments in.
  void reverse_args(size_t from) {
    std::vector<std::pair<size_t, size_t>> runs;  // [b, e)
    // The start of each value on the stack; marks are flagged in the top bit.
    std::vector<size_t> starts;
    for (size_t k = from; k < type->size(); ++k) {
      int t = (*type)[k];
      int v = static_cast<int>((*value)[k]);
      if (t == kTokConst || t == kTokColumn) {
        starts.push_back(k);
      } else if (t == kTokArgList) {
        starts.push_back(k | (size_t(1) << 62));
      } else if (t == kTokOperator) {
        if (v != kOpNeg) starts.pop_back();
      } else if (t == kTokFunction || t == kTokUser) {
        // pop down to the mark; the mark's position starts the value
        size_t s0 = 0;
        while (!starts.empty() && !(starts.back() >> 62)) {
          s0 = starts.back();
          starts.pop_back();
        }
        if (!starts.empty()) {
          s0 = starts.back() & ~(size_t(1) << 62);
          starts.pop_back();
        }
        // a unary function written without its mark keeps its argument's start
        starts.push_back(s0);
      }
    }
    for (size_t k = 0; k < starts.size(); ++k) {
      size_t e = k + 1 < starts.size() ? starts[k + 1] : type->size();
      runs.push_back({starts[k], e});
    }
    std::vector<int> nt;
    std::vector<double> nv;
    for (size_t k = runs.size(); k-- > 0;)
      for (size_t j = runs[k].first; j < runs[k].second; ++j) {
        nt.push_back((*type)[j]);
        nv.push_back((*value)[j]);
      }
    std::copy(nt.begin(), nt.end(), type->begin() + from);
    std::copy(nv.begin(), nv.end(), value->begin() + from);
  }
};

}  // namespace

bool parse_formula(const std::string &text, const std::function<int(const std::string &)> &column,
                   const std::function<int(const std::string &)> &userfunc,
                   std::vector<int> *type, std::vector<double> *value, std::string *err) {
  type->clear();
  value->clear();
  Parser p{text, 0, column, userfunc, type, value, ""};
  if (!p.expr()) {
    *err = p.err;
    return false;
  }
  p.skip();
  if (p.i != text.size()) {
    p.error("unexpected text");
    *err = p.err;
    return false;
  }
  p.emit(kTokEnd, 0);
  return true;
}

}  // namespace slp
}  // namespace krvu
