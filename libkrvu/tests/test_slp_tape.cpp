// Formula tapes: values and reverse-sweep gradients against finite
// differences over every function and operator, the text form, and the
// refusal of malformed token streams.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "slp/tape.h"

using namespace krvu::slp;

namespace {

struct Gen {
  std::mt19937 rng{12345};
  std::vector<int> t;
  std::vector<double> v;
  int ncols = 4;
  int used[64] = {};

  void tok(int a, double b) {
    t.push_back(a);
    v.push_back(b);
  }
  double uni(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  void fn(int code) { tok(kTokFunction, code); }
  void op(int code) { tok(kTokOperator, code); }

  // Emits a random expression whose value stays in the domain of every
  // function applied to it; `kind` selects the top node so that every kind
  // is generated.
  void expr(int depth, int kind = -1) {
    if (depth == 0) {
      if (pick(3) == 0) tok(kTokConst, uni(-2, 2));
      else tok(kTokColumn, pick(ncols));
      return;
    }
    if (kind < 0) kind = pick(24);
    used[kind]++;
    auto one = [&](int code) {
      tok(kTokArgList, 0);
      expr(depth - 1);
      fn(code);
    };
    auto positive = [&]() {  // 1 + e^2 > 0
      tok(kTokConst, 1.0);
      expr(depth - 1);
      tok(kTokConst, 2.0);
      op(kOpPow);
      op(kOpAdd);
    };
    auto bounded = [&](double s) {  // s * sin(e) in [-s, s]
      tok(kTokConst, s);
      tok(kTokArgList, 0);
      expr(depth - 1);
      fn(kFnSin);
      op(kOpMul);
    };
    switch (kind) {
      case 0: expr(depth - 1); expr(depth - 1); op(kOpAdd); break;
      case 1: expr(depth - 1); expr(depth - 1); op(kOpSub); break;
      case 2: expr(depth - 1); expr(depth - 1); op(kOpMul); break;
      case 3: expr(depth - 1); positive(); op(kOpDiv); break;
      case 4: expr(depth - 1); op(kOpNeg); break;
      case 5: positive(); tok(kTokConst, uni(-2.5, 2.5)); op(kOpPow); break;
      case 6: positive(); bounded(1.5); op(kOpPow); break;  // variable exponent
      case 7: tok(kTokArgList, 0); positive(); fn(kFnLog10); break;
      case 8: tok(kTokArgList, 0); positive(); fn(kFnLn); break;
      case 9: tok(kTokArgList, 0); bounded(2.0); fn(kFnExp); break;
      case 10: one(kFnAbs); break;
      case 11: tok(kTokArgList, 0); positive(); fn(kFnSqrt); break;
      case 12: one(kFnSin); break;
      case 13: one(kFnCos); break;
      case 14: tok(kTokArgList, 0); bounded(1.2); fn(kFnTan); break;
      case 15: tok(kTokArgList, 0); bounded(0.9); fn(kFnAsin); break;
      case 16: tok(kTokArgList, 0); bounded(0.9); fn(kFnAcos); break;
      case 17: one(kFnAtan); break;
      case 18: one(kFnErf); break;
      case 19: one(kFnErfc); break;
      case 20: case 21: {  // min, max of three
        tok(kTokArgList, 0);
        for (int k = 0; k < 3; ++k) expr(depth - 1);
        fn(kind == 20 ? kFnMin : kFnMax);
        break;
      }
      case 22: {  // pwl over breakpoints (-3, 1) (0, -1) (2, 4), argument last
        tok(kTokArgList, 0);
        const double pts[] = {-3, 1, 0, -1, 2, 4};
        for (int k = 5; k >= 0; --k) tok(kTokConst, pts[k]);
        expr(depth - 1);
        fn(kFnPwl);
        break;
      }
      default: {  // sign(e) * e: piecewise smooth
        tok(kTokArgList, 0);
        expr(depth - 1);
        fn(kFnSign);
        expr(depth - 1);
        op(kOpMul);
        break;
      }
    }
  }
};

bool no_users(int) { return false; }

TEST(SlpTape, GradientsOfRandomFormulasMatchCentralDifferences) {
  Gen g;
  std::vector<double> work, adj;
  int checked = 0;
  for (int trial = 0; trial < 600; ++trial) {
    g.t.clear();
    g.v.clear();
    g.expr(3, trial % 24);
    g.tok(kTokEnd, 0);
    Tape tape;
    std::string err;
    ASSERT_TRUE(Tape::compile(g.t.data(), g.v.data(), g.t.size(), g.ncols, no_users, &tape, &err))
        << err;
    std::vector<double> x(g.ncols);
    for (double &xi : x) xi = g.uni(-1.5, 1.5);
    std::vector<double> grad(g.ncols, 0.0);
    bool ok;
    // The sweep must not read an adjoint it has not written: leftovers are NaN.
    adj.assign(std::max<size_t>(adj.size(), 256), NAN);
    double f = tape.gradient(x.data(), 1.0, grad.data(), work, adj, nullptr, &ok);
    ASSERT_TRUE(ok);
    double f2 = tape.eval(x.data(), work, nullptr, &ok);
    ASSERT_EQ(f, f2);
    if (!std::isfinite(f)) continue;
    for (int j = 0; j < g.ncols; ++j) {
      double h = 1e-6;
      std::vector<double> xp = x, xm = x;
      xp[j] += h;
      xm[j] -= h;
      double fd = (tape.eval(xp.data(), work, nullptr, &ok) - tape.eval(xm.data(), work, nullptr, &ok)) / (2 * h);
      // Away from kinks the two agree; a kink within h shows as a jump of
      // the one-sided differences, and such points are skipped.
      double fr = (tape.eval(xp.data(), work, nullptr, &ok) - f) / h;
      double fl = (f - tape.eval(xm.data(), work, nullptr, &ok)) / h;
      if (std::fabs(fr - fl) > 1e-3 * (1 + std::fabs(fd))) continue;
      EXPECT_NEAR(grad[j], fd, 2e-5 * (1 + std::fabs(fd))) << "trial " << trial << " column " << j;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1500);
  for (int k = 0; k < 24; ++k) EXPECT_GT(g.used[k], 0) << "node kind " << k << " never generated";
}

TEST(SlpTape, ConstantSubtreesFoldAndScaledGradientsAccumulate) {
  // 2 * 3 + x0 * sin(0): the constant parts fold away.
  std::vector<int> t = {1, 1, 31, 10, 22, 1, 12, 31, 31, 0};
  std::vector<double> v = {2, 3, 3, 0, 0, 0, 27, 3, 5, 0};
  Tape tape;
  std::string err;
  ASSERT_TRUE(Tape::compile(t.data(), v.data(), t.size(), 1, no_users, &tape, &err)) << err;
  EXPECT_EQ(tape.code.size(), 5u);  // 6, x0, 0, *, +
  EXPECT_EQ(tape.code[0].op, T_CONST);
  std::vector<double> work, adj, grad = {1.0};
  bool ok;
  double x = 5.0;
  EXPECT_DOUBLE_EQ(tape.gradient(&x, 3.0, grad.data(), work, adj, nullptr, &ok), 6.0);
  EXPECT_DOUBLE_EQ(grad[0], 1.0);  // d/dx of x*sin(0) is 0, added to what was there
}

// x1 * sqrt(x0) at the origin: the square root's partial is infinite, but
// its adjoint is zero, so nothing propagates a NaN.
TEST(SlpTape, AZeroAdjointMeetsAnInfinitePartialWithoutNaN) {
  std::vector<int> t = {10, 22, 10, 12, 31, 0};
  std::vector<double> v = {1, 0, 0, 18, 3, 0};
  Tape tape;
  std::string err;
  ASSERT_TRUE(Tape::compile(t.data(), v.data(), t.size(), 2, no_users, &tape, &err)) << err;
  std::vector<double> work, adj, grad = {0.0, 0.0}, x = {0.0, 0.0};
  bool ok;
  EXPECT_EQ(tape.gradient(x.data(), 1.0, grad.data(), work, adj, nullptr, &ok), 0.0);
  EXPECT_EQ(grad[0], 0.0);
  EXPECT_EQ(grad[1], 0.0);
}

TEST(SlpTape, MalformedStreamsAreRefusedNamingTheToken) {
  struct Case {
    std::vector<int> t;
    std::vector<double> v;
    const char *says;
  } cases[] = {
      {{10, 0}, {5, 0}, "column index"},                     // column 5 of 2
      {{10, 10, 0}, {0, 1, 0}, "one value"},                 // two values left
      {{10, 31, 0}, {0, 3, 0}, "lacks an argument"},         // times with one operand
      {{22, 12, 0}, {0, 34, 0}, "empty argument list"},      // max of nothing
      {{10, 12, 0}, {0, 99, 0}, "unknown function"},
      {{10, 0, 10}, {0, 0, 0}, "end token before"},
      {{10}, {0}, "no end token"},
      {{1, 0}, {NAN, 0}, "not finite"},
      {{22, 10, 11, 0}, {0, 0, 3, 0}, "unknown user function"},
      {{22, 1, 10, 12, 0}, {0, 1, 0, 35, 0}, "pwl needs"},
  };
  for (const Case &c : cases) {
    Tape tape;
    std::string err;
    EXPECT_FALSE(Tape::compile(c.t.data(), c.v.data(), c.t.size(), 2, no_users, &tape, &err));
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
  }
}

TEST(SlpTape, TextFormRoundTripsThroughTokens) {
  auto col = [](const std::string &s) { return s == "x" ? 0 : s == "y" ? 1 : -1; };
  auto user = [](const std::string &s) { return s == "f" ? 1 : -1; };
  auto name = [](int j) { return std::string(j == 0 ? "x" : "y"); };
  auto uname = [](int) { return std::string("f"); };
  const char *texts[] = {
      "x + y * 2",          "(x + y) * 2",          "x - (y - 1)",       "-x ^ 2",
      "x ^ y ^ 2",          "exp(sin(x)) / y",      "max(x, y, 3)",      "pwl(x, 0, 1, 2, 5)",
      "f(x, y + 1)",        "ln(x) + log10(y)",     "x / (y * 3)",       "x * -2",
  };
  std::vector<double> work;
  for (const char *text : texts) {
    std::vector<int> t;
    std::vector<double> v;
    std::string err;
    ASSERT_TRUE(parse_formula(text, col, user, &t, &v, &err)) << text << ": " << err;
    std::string back = print_formula(t.data(), v.data(), t.size(), name, uname, &err);
    ASSERT_TRUE(err.empty()) << err;
    std::vector<int> t2;
    std::vector<double> v2;
    ASSERT_TRUE(parse_formula(back, col, user, &t2, &v2, &err)) << back;
    EXPECT_EQ(t, t2) << text << " printed as " << back;
    EXPECT_EQ(v, v2) << text << " printed as " << back;
    if (std::string(text).find("f(") != std::string::npos) continue;
    Tape tape;
    ASSERT_TRUE(Tape::compile(t.data(), v.data(), t.size(), 2, no_users, &tape, &err)) << err;
    double x[2] = {1.7, 0.6};
    bool ok;
    double got = tape.eval(x, work, nullptr, &ok);
    if (std::string(text) == "x ^ y ^ 2") EXPECT_DOUBLE_EQ(got, std::pow(1.7, std::pow(0.6, 2)));
    if (std::string(text) == "-x ^ 2") EXPECT_DOUBLE_EQ(got, -(1.7 * 1.7));
    if (std::string(text) == "pwl(x, 0, 1, 2, 5)") EXPECT_DOUBLE_EQ(got, 1 + 2 * 1.7);
  }
  std::vector<int> t;
  std::vector<double> v;
  std::string err;
  EXPECT_FALSE(parse_formula("x + ", col, user, &t, &v, &err));
  EXPECT_FALSE(parse_formula("z * 2", col, user, &t, &v, &err));
  EXPECT_NE(err.find("unknown column 'z'"), std::string::npos);
  EXPECT_FALSE(parse_formula("sin(x, y)", col, user, &t, &v, &err));
}

TEST(SlpTape, PiecewiseLinearFollowsItsSegmentsAndJumps) {
  // (0,0) (1,2) (1,5) (3,1): a jump at 1, extended beyond both ends.
  std::vector<int> t = {22, 1, 1, 1, 1, 1, 1, 1, 1, 10, 12, 0};
  std::vector<double> v = {0, 1, 3, 5, 1, 2, 1, 0, 0, 0, 35, 0};
  Tape tape;
  std::string err;
  ASSERT_TRUE(Tape::compile(t.data(), v.data(), t.size(), 1, no_users, &tape, &err)) << err;
  std::vector<double> work;
  bool ok;
  auto at = [&](double x) { return tape.eval(&x, work, nullptr, &ok); };
  EXPECT_DOUBLE_EQ(at(-1), -2);
  EXPECT_DOUBLE_EQ(at(0.5), 1);
  EXPECT_DOUBLE_EQ(at(1), 5);
  EXPECT_DOUBLE_EQ(at(2), 3);
  EXPECT_DOUBLE_EQ(at(5), -3);
}

}  // namespace
