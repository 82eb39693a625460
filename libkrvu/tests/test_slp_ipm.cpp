// Second derivatives of tapes against differences of their gradients, the
// Hessian of the Lagrangian the interior-point solver is given, and solves
// through that solver (skipped when the library is built without it).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "krvu.h"
#include "kslp.h"
#include "slp_fixture.h"
#include "slp/ipm_model.h"
#include "slp/nlp.h"
#include "slp/tape.h"

using krvu::slp::Tape;
using krvu::slp::TapeHessian;

namespace {

constexpr double kI = KRVU_INFINITY;

Tape compile(const std::string &text, int ncols) {
  std::vector<int> type;
  std::vector<double> value;
  std::string err;
  auto column = [&](const std::string &s) { return s[0] == 'x' ? std::stoi(s.substr(1)) : -1; };
  auto user = [](const std::string &s) { return s == "u" ? 1 : -1; };
  EXPECT_TRUE(krvu::slp::parse_formula(text, column, user, &type, &value, &err)) << text << ": " << err;
  Tape t;
  EXPECT_TRUE(Tape::compile(type.data(), value.data(), type.size(), ncols,
                            [](int n) { return n == 1; }, &t, &err))
      << text << ": " << err;
  return t;
}

// Random smooth formulas over x0..x3, defined everywhere.
std::string random_formula(std::mt19937 &rng, int depth) {
  std::uniform_int_distribution<int> pick(0, depth <= 0 ? 1 : 14);
  auto sub = [&] { return random_formula(rng, depth - 1); };
  switch (pick(rng)) {
    case 0: return "x" + std::to_string(rng() % 4);
    case 1: return std::to_string(0.5 + (rng() % 7) / 4.0);
    case 2: return "(" + sub() + " + " + sub() + ")";
    case 3: return "(" + sub() + " - " + sub() + ")";
    case 4: case 5: return "(" + sub() + " * " + sub() + ")";
    case 6: return "(" + sub() + " / (2 + cos(" + sub() + ")))";
    case 7: return "sin(" + sub() + ")";
    case 8: return "exp(sin(" + sub() + "))";
    case 9: return "ln(1 + (" + sub() + ")^2)";
    case 10: return "sqrt(1 + (" + sub() + ")^2)";
    case 11: return "(" + sub() + ")^3";
    case 12: return "(1.5 + sin(" + sub() + "))^(cos(" + sub() + "))";
    case 13: return "atan(" + sub() + ") + erf(" + sub() + ")";
    default: return "max(" + sub() + ", " + sub() + ")";
  }
}

// The dense Hessian by central differences of the tape's gradient.
std::vector<double> fd_hessian(const Tape &t, std::vector<double> x, int n) {
  std::vector<double> H(n * n), gp(n), gm(n), work, adj;
  bool ok;
  for (int j = 0; j < n; ++j) {
    double h = 1e-5 * std::max(1.0, std::fabs(x[j])), xj = x[j];
    std::fill(gp.begin(), gp.end(), 0.0);
    std::fill(gm.begin(), gm.end(), 0.0);
    x[j] = xj + h;
    t.gradient(x.data(), 1.0, gp.data(), work, adj, nullptr, &ok);
    x[j] = xj - h;
    t.gradient(x.data(), 1.0, gm.data(), work, adj, nullptr, &ok);
    x[j] = xj;
    for (int i = 0; i < n; ++i) H[i * n + j] = (gp[i] - gm[i]) / (2 * h);
  }
  return H;
}

// Checks the tape's exact Hessian (on and off its pattern) and gradient at x.
void expect_hessian(const Tape &t, const std::vector<double> &x, const std::string &what) {
  const int n = static_cast<int>(x.size());
  TapeHessian th(t);
  ASSERT_TRUE(th.exact());
  std::vector<double> hess(th.pattern().size(), 0.0), grad(t.columns.size(), 0.0);
  const double scale = 0.75;
  double value = th.eval(x.data(), scale, grad.data(), hess.data());
  std::vector<double> g(n, 0.0), work, adj;
  bool ok;
  EXPECT_DOUBLE_EQ(value, t.gradient(x.data(), scale, g.data(), work, adj, nullptr, &ok)) << what;
  for (size_t k = 0; k < t.columns.size(); ++k)
    EXPECT_NEAR(grad[k], g[t.columns[k]], 1e-12 * (1 + std::fabs(g[t.columns[k]]))) << what;
  std::vector<double> H = fd_hessian(t, x, n);
  std::vector<double> exact(n * n, 0.0);
  for (size_t e = 0; e < hess.size(); ++e) {
    auto [i, j] = th.pattern()[e];
    ASSERT_GE(i, j);
    exact[i * n + j] = exact[j * n + i] = hess[e] / scale;
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      EXPECT_NEAR(exact[i * n + j], H[i * n + j], 1e-5 * (1 + std::fabs(H[i * n + j])))
          << what << " at (" << i << ", " << j << ")";
}

TEST(TapeHessian, RandomFormulasAgreeWithDifferencesOfTheirGradients) {
  std::mt19937 rng(20261209);
  std::uniform_real_distribution<double> u(-1.5, 1.5);
  int checked = 0;
  while (checked < 60) {
    std::string text = random_formula(rng, 4);
    Tape t = compile(text, 4);
    std::vector<double> x = {u(rng), u(rng), u(rng), u(rng)};
    expect_hessian(t, x, text);
    ++checked;
  }
}

TEST(TapeHessian, EveryFunctionAndOperatorOnItsOwn) {
  const char *cases[] = {
      "x0 * x1",        "x0 / x1",       "x0 ^ x1",       "x0 ^ 2.5",       "x0 ^ 2",
      "log10(x0)",      "ln(x0 * x1)",   "exp(x0 - x1)",  "sqrt(x0 + x1)",  "sin(x0 * x1)",
      "cos(x0 * x1)",   "tan(x0 / 3)",   "arcsin(x0 / 3)", "arccos(x1 / 3)", "arctan(x0 * x1)",
      "erf(x0 - x1)",   "erfc(x0 * x1)", "-x0 * x1 ^ 3",  "abs(x0 - 3) * x1", "sign(x0) * x1 ^ 2",
      "min(x0 * x1, 9) + max(x0 ^ 2, x1)", "pwl(x0 * x1, 0, 0, 1, 2, 4, 3)",
  };
  for (const char *c : cases) expect_hessian(compile(c, 2), {1.3, 0.7}, c);
}

TEST(TapeHessian, PatternsAndSweepsFollowTheStructure) {
  // Linear and piecewise-linear formulas have no second derivatives.
  EXPECT_TRUE(TapeHessian(compile("2 * x0 - x1 + abs(x2) + max(x0, x1)", 3)).pattern().empty());
  // A product couples its two columns only.
  TapeHessian prod(compile("x0 * x2", 3));
  ASSERT_EQ(prod.pattern().size(), 1u);
  EXPECT_EQ(prod.pattern()[0], std::make_pair(2, 0));
  // A separable sum costs one sweep whatever its length.
  std::string sum = "x0 ^ 2";
  for (int j = 1; j < 40; ++j) sum += " + sin(x" + std::to_string(j) + ")";
  TapeHessian sep(compile(sum, 40));
  EXPECT_EQ(sep.pattern().size(), 40u);
  EXPECT_EQ(sep.sweeps(), 1);
  // A user function has no second derivatives.
  EXPECT_FALSE(TapeHessian(compile("u(x0, x1) + x0 ^ 2", 2)).exact());
}

// ---- problems through the C API

class Ipm : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(KRVUinit(nullptr), 0);
    ASSERT_EQ(KSLPinit(), 0);
    int a = 0;
    ASSERT_EQ(KSLPipmavailable(&a), 0);
    available = a != 0;
  }
  void TearDown() override {
    drop();
    KSLPfree();
    KRVUfree();
  }
  void drop() {
    if (slp) KSLPdestroyprob(slp);
    if (prob) KRVUdestroyprob(prob);
    slp = nullptr;
    prob = nullptr;
  }
  std::string error() { return slp_error(slp); }
  void build(const Model &md, int algorithm = KSLP_ALGORITHM_IPM) {
    drop();
    load_formula_model(md, "ipm", &prob, &slp, [&](KSLPprob s) {
      ASSERT_EQ(KSLPsetintcontrol(s, KSLP_CTRL_ALGORITHM, algorithm), 0);
      KSLPsetcbmessage(s, [](KSLPprob, void *d, const char *msg, int, int) {
        static_cast<std::vector<std::string> *>(d)->push_back(msg);
      }, &log);
    });
  }
  int solve() {
    int status = -1;
    log.clear();
    EXPECT_EQ(KSLPnlpoptimize(slp, ""), 0) << error();
    KSLPgetintattrib(slp, KSLP_ATTR_NLPSTATUS, &status);
    return status;
  }
  double dattr(int id) {
    double v = NAN;
    KSLPgetdblattrib(slp, id, &v);
    return v;
  }
  bool logged(const std::string &what) {
    for (auto &l : log)
      if (l.find(what) != std::string::npos) return true;
    return false;
  }

  bool available = false;
  KRVUprob prob = nullptr;
  KSLPprob slp = nullptr;
  std::vector<std::string> log;
};

#define NEED_IPM() \
  if (!available) GTEST_SKIP() << "the library is built without the interior-point solver (Ipopt)"

TEST_F(Ipm, HessianOfTheLagrangianAgreesWithDifferencesOfItsGradient) {
  // A quadratic row, a formula times a column, and the objective moved in
  // from its transfer row.
  build({3, {}, {}, {}, "x1 * exp(x2) + x3 ^ 2 * x1", {{"sin(x1 * x2) + x3 ^ 3", 'L', 4}}});
  ASSERT_EQ(KSLPchgccoef(slp, 0, 2, nullptr, "x1 ^ 2 + x2"), 0) << error();  // (x1^2 + x2) * x3
  const double qv = 1.5;
  int qr = 0, qc = 1;
  ASSERT_EQ(KRVUchgqrowcoeff(prob, 0, qr, qc, qv), 0);
  krvu::slp::Nlp nlp;
  nlp.build(slp, "test");
  krvu::slp::IpmModel M(nlp);
  ASSERT_TRUE(M.exact_hessian());
  ASSERT_EQ(M.nvars(), 3);  // the transfer column is not a variable
  const int n = M.nvars();
  std::vector<double> v = {0.4, -0.3, 1.1}, lambda(M.ncons(), 0.0);
  for (int c = 0; c < M.ncons(); ++c) lambda[c] = 0.7 + c;
  const double sigma = 1.3;
  std::vector<double> H(M.hess().size());
  ASSERT_TRUE(M.hessian(v.data(), sigma, lambda.data(), H.data()));
  // Gradient of the Lagrangian from the objective gradient and the Jacobian.
  auto lagrangian_grad = [&](std::vector<double> p) {
    std::vector<double> g(n), jac(M.jac_var().size());
    M.objective_gradient(p.data(), g.data());
    for (double &e : g) e *= sigma;
    M.jacobian(p.data(), jac.data());
    for (size_t k = 0; k < jac.size(); ++k) g[M.jac_var()[k]] += lambda[M.jac_con()[k]] * jac[k];
    return g;
  };
  std::vector<double> dense(n * n, 0.0);
  for (size_t e = 0; e < H.size(); ++e) {
    auto [i, j] = M.hess()[e];
    dense[i * n + j] = dense[j * n + i] = H[e];
  }
  for (int j = 0; j < n; ++j) {
    const double h = 1e-6;
    std::vector<double> p = v, q = v;
    p[j] += h;
    q[j] -= h;
    std::vector<double> gp = lagrangian_grad(p), gq = lagrangian_grad(q);
    for (int i = 0; i < n; ++i)
      EXPECT_NEAR(dense[i * n + j], (gp[i] - gq[i]) / (2 * h), 1e-6) << i << ", " << j;
  }
}

struct Known {
  const char *name;
  Model model;
  double optimum;
};

TEST_F(Ipm, HockSchittkowskiProblemsReachTheirOptima) {
  NEED_IPM();
  const std::vector<Known> set = {
      {"hs001", {2, {-2, 1}, {-kI, -1.5}, {kI, kI}, "100*(x2 - x1^2)^2 + (1 - x1)^2", {}}, 0.0},
      {"hs006", {2, {-1.2, 1}, {}, {}, "(1 - x1)^2", {{"10*(x2 - x1^2)", 'E', 0}}}, 0.0},
      {"hs007", {2, {2, 2}, {}, {}, "ln(1 + x1^2) - x2", {{"(1 + x1^2)^2 + x2^2", 'E', 4}}},
       -std::sqrt(3.0)},
      {"hs010", {2, {-10, 10}, {}, {}, "x1 - x2", {{"-3*x1^2 + 2*x1*x2 - x2^2", 'G', -1}}}, -1.0},
      {"hs014", {2, {2, 2}, {}, {}, "(x1 - 2)^2 + (x2 - 1)^2",
                 {{"x1 - 2*x2", 'E', -1}, {"-x1^2/4 - x2^2", 'G', -1}}},
       9 - 2.875 * std::sqrt(7.0)},
      {"hs035", {3, {0.5, 0.5, 0.5}, {0, 0, 0}, {kI, kI, kI},
                 "9 - 8*x1 - 6*x2 - 4*x3 + 2*x1^2 + 2*x2^2 + x3^2 + 2*x1*x2 + 2*x1*x3",
                 {{"x1 + x2 + 2*x3", 'L', 3}}},
       1.0 / 9},
      {"hs039", {4, {2, 2, 2, 2}, {}, {}, "-x1",
                 {{"x2 - x1^3 - x3^2", 'E', 0}, {"x1^2 - x2 - x4^2", 'E', 0}}},
       -1.0},
      {"hs071", {4, {1, 5, 5, 1}, {1, 1, 1, 1}, {5, 5, 5, 5}, "x1*x4*(x1 + x2 + x3) + x3",
                 {{"x1*x2*x3*x4", 'G', 25}, {"x1^2 + x2^2 + x3^2 + x4^2", 'E', 40}}},
       17.0140173},
  };
  for (const Known &k : set) {
    SCOPED_TRACE(k.name);
    build(k.model);
    EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
    EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), k.optimum, 1e-6 * (1 + std::fabs(k.optimum)));
    EXPECT_LE(dattr(KSLP_ATTR_VALIDATION), 1e-6);
    EXPECT_LE(dattr(KSLP_ATTR_KKT), 1e-5);
    int it = 0;
    KSLPgetintattrib(slp, KSLP_ATTR_ITERATIONS, &it);
    EXPECT_GT(it, 0);
    EXPECT_TRUE(logged("Interior-point solve"));
  }
}

TEST_F(Ipm, SolutionDualsAndReducedCostsMatchTheSlpSolver) {
  NEED_IPM();
  // min (x1-1)^2 + (x2-2)^2 with x1 + x2 <= 1 (a formula) and x1 >= 0.25
  // both binding, x1 - x2 >= -3 not; and maximized as its negative.
  for (double sense : {1.0, -1.0}) {
    SCOPED_TRACE(sense);
    std::vector<std::vector<double>> got;
    for (int alg : {KSLP_ALGORITHM_SLP, KSLP_ALGORITHM_IPM}) {
      build({2, {0, 0}, {0.25, -kI}, {kI, kI},
             sense > 0 ? "(x1 - 1)^2 + (x2 - 2)^2" : "-(x1 - 1)^2 - (x2 - 2)^2",
             {{"x1 + x2", 'L', 1}, {"x1 - x2", 'G', -3}}},
            alg);
      ASSERT_EQ(KSLPsetdblcontrol(slp, KSLP_CTRL_OBJSENSE, sense), 0);
      ASSERT_EQ(KRVUchgobjsense(prob, sense > 0 ? 1 : -1), 0);
      ASSERT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
      std::vector<double> x(3), slack(3), dual(3), dj(3);
      ASSERT_EQ(KSLPgetslpsol(slp, x.data(), slack.data(), dual.data(), dj.data()), 0);
      std::vector<double> all = x;
      all.insert(all.end(), slack.begin(), slack.end());
      all.insert(all.end(), dual.begin(), dual.end());
      all.insert(all.end(), dj.begin(), dj.end() - 1);
      all.push_back(dattr(KSLP_ATTR_OBJVAL));
      got.push_back(all);
    }
    ASSERT_EQ(got[0].size(), got[1].size());
    for (size_t k = 0; k < got[0].size(); ++k) EXPECT_NEAR(got[1][k], got[0][k], 1e-5) << k;
  }
}

TEST_F(Ipm, InfeasibleAndIterationLimitedRunsGetTheirStatuses) {
  NEED_IPM();
  build({2, {1, 1}, {}, {}, "x1 + x2", {{"x1^2 + x2^2", 'L', -1}}});
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_INFEASIBLE);
  EXPECT_GT(dattr(KSLP_ATTR_VALIDATION), 0.5);

  build({2, {-2, 1}, {}, {}, "100*(x2 - x1^2)^2 + (1 - x1)^2", {}});
  ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_IPM_MAXITER, 2), 0);
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_UNFINISHED);

  // Every column held at its start: no run, the start judged by its rows.
  build({2, {1, 2}, {}, {}, "x1 * x2", {{"x1 + x2", 'L', 3}}});
  for (int j = 0; j < 2; ++j) {
    int held = 1;
    ASSERT_EQ(KSLPchgvar(slp, j, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, &held), 0) << error();
  }
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), 2.0, 1e-12);
}

TEST_F(Ipm, ARunEndingAtASaddlePointGoesOnToAMinimum) {
  NEED_IPM();
  // Started where the gradient vanishes (or is normal to the row) along a
  // direction of negative curvature: Ipopt stops at once, the check moves on.
  struct Case {
    const char *name;
    Model model;
    double optimum;
  };
  const std::vector<Case> cases = {
      {"free", {2, {1, 0}, {}, {}, "x1^2 - x2^2 + x2^4", {}}, -0.25},
      // On the circle x2^2 - x1^2 is largest at (0, 1).
      {"on a row", {2, {0, 1}, {}, {}, "x2^2 - x1^2", {{"x1^2 + x2^2", 'E', 1}}}, -1.0},
      // A bound held, the saddle in the other column.
      {"at a bound", {3, {1, 0, 2}, {-kI, -kI, 2}, {kI, kI, kI}, "x1^2 - x2^2 + x2^4 + x3", {}}, 1.75},
      // Outside the unit circle, least at the box's ends of the x1 axis.
      {"on an inequality", {2, {0, 1}, {-2, -kI}, {2, kI}, "x2^2 - x1^2", {{"x1^2 + x2^2", 'G', 1}}},
       -4.0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    build(c.model);
    EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
    EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), c.optimum, 1e-6);
    EXPECT_LE(dattr(KSLP_ATTR_VALIDATION), 1e-6);
    EXPECT_TRUE(logged("saddle point"));
  }
  // The direction of negative curvature is a held column: nowhere to go.
  build({2, {1, 0}, {}, {}, "x1^2 - x2^2 + x2^4", {}});
  int held = 1;
  ASSERT_EQ(KSLPchgvar(slp, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, &held), 0) << error();
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), 0.0, 1e-8);
  EXPECT_FALSE(logged("saddle point"));
  // A valley of minima is flat along its floor, no saddle: one run.
  build({2, {3, 0}, {}, {}, "(x1 + x2 - 1)^2", {}});
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), 0.0, 1e-8);
  EXPECT_FALSE(logged("saddle point"));
}

double sq(const double *v, void *) { return (v[0] - 3) * (v[0] - 3) + v[1] * v[1]; }
double failing(const double *, void *info) {
  KSLPsetfuncerror(info);
  return 0;
}

TEST_F(Ipm, LinearEqualityRowsImpliedByTheOthersStayOutAndStillHold) {
  NEED_IPM();
  // min (x1 - 1)^4 + (x2 - 2)^2 + (x3 - 3)^2 on x1 + x2 = 1, x2 + x3 = 2,
  // that is x = (1 - t, t, 2 - t): t^4 + 2t^2 - 2t + 5, least where
  // t^3 + t = 1/2.  The added rows are combinations of those two: as many
  // rows as columns made Ipopt take the system for a square one and ignore
  // the objective, more made it refuse.
  const std::string f = "(x1 - 1)^4 + (x2 - 2)^2 + (x3 - 3)^2";
  double t = 0.5;
  for (int k = 0; k < 50; ++k) t -= (t * t * t + t - 0.5) / (3 * t * t + 1);
  const double want = t * t * t * t + 2 * t * t - 2 * t + 5;
  for (int extra : {1, 2}) {
    SCOPED_TRACE(extra);
    Model md{3, {0, 0, 0}, {}, {}, f, {{"x1 + x2", 'E', 1}, {"x2 + x3", 'E', 2}}};
    md.rows.push_back({"x1 + 2*x2 + x3", 'E', 3});
    if (extra == 2) md.rows.push_back({"2*x1 + 3*x2 + x3 - 1", 'E', 3});
    build(md);
    krvu::slp::Nlp nlp;
    nlp.build(slp, "test");
    EXPECT_EQ(krvu::slp::IpmModel(nlp).dropped_rows().size(), static_cast<size_t>(extra));
    EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
    EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), want, 1e-7);
    EXPECT_LE(dattr(KSLP_ATTR_VALIDATION), 1e-8);
    EXPECT_LE(dattr(KSLP_ATTR_KKT), 1e-6);
    EXPECT_TRUE(logged("left out, implied by the others"));
  }
  // A piecewise-linear row is no linear one, even where it looks like one.
  build({3, {0, 0, 0}, {}, {}, f,
         {{"x1 + x2", 'E', 1}, {"x2 + x3", 'E', 2}, {"abs(x1 + 5) + 2*x2 + x3", 'E', 8}}});
  {
    krvu::slp::Nlp nlp;
    nlp.build(slp, "test");
    EXPECT_TRUE(krvu::slp::IpmModel(nlp).dropped_rows().empty());
  }
  // A dependent row whose limit contradicts the others stays: infeasible.
  build({3, {0, 0, 0}, {}, {}, f, {{"x1 + x2", 'E', 1}, {"x2 + x3", 'E', 2}, {"x1 + 2*x2 + x3", 'E', 4}}});
  {
    krvu::slp::Nlp nlp;
    nlp.build(slp, "test");
    EXPECT_TRUE(krvu::slp::IpmModel(nlp).dropped_rows().empty());
  }
  EXPECT_NE(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_GT(dattr(KSLP_ATTR_VALIDATION), 0.1);
  // Rows dependent only once held columns are taken as constants:
  // x1 + x2 = 1 and x1 + x3 = 1 with x2 = x3 = 0.5 held, x1 free.
  for (double x3 : {0.5, 0.25}) {
    SCOPED_TRACE(x3);
    build({3, {0, 0.5, x3}, {}, {}, "(x1 - 2)^2", {{"x1 + x2", 'E', 1}, {"x1 + x3", 'E', 1}}});
    std::vector<double> fixed = {NAN, 0.5, x3, NAN};
    for (int j = 1; j <= 2; ++j) {
      int held = 1;
      ASSERT_EQ(KSLPchgvar(slp, j, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, &held), 0) << error();
    }
    krvu::slp::Nlp nlp;
    nlp.build(slp, "test");
    fixed.resize(nlp.n, NAN);
    EXPECT_EQ(krvu::slp::IpmModel(nlp, &fixed).dropped_rows().size(), x3 == 0.5 ? 1u : 0u);
    int status = solve();
    if (x3 == 0.5) {
      EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
      EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), 2.25, 1e-7);
    } else {
      EXPECT_NE(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
    }
  }
}

TEST_F(Ipm, UserFunctionsTakeTheQuasiNewtonHessianAndAFailureStopsTheSolve) {
  NEED_IPM();
  for (bool fail : {false, true}) {
    build({2, {0, 1}, {}, {}, "", {}});
    int i1, i2;
    ASSERT_EQ(KSLPsetstring(slp, &i1, "sq"), 0);
    ASSERT_EQ(KSLPsetstring(slp, &i2, "DirectC"), 0);
    int t[] = {5, 87, 86, 5, 0};
    double v[] = {double(i1), 1.0, 19.0, double(i2), 0.0};
    ASSERT_EQ(KSLPadduserfuncs(slp, 1, 5, t, v), 0) << error();
    ASSERT_EQ(KSLPaddnames(slp, 5, "sq", 1, 1), 0);
    ASSERT_EQ(KSLPchguserfuncaddress(slp, 1, fail ? reinterpret_cast<void *>(&failing)
                                                  : reinterpret_cast<void *>(&sq)), 0);
    ASSERT_EQ(KSLPchgccoef(slp, 0, -1, nullptr, "sq(x1, x2) + 1"), 0) << error();
    int status = -1;
    int rc = KSLPnlpoptimize(slp, "");
    KSLPgetintattrib(slp, KSLP_ATTR_NLPSTATUS, &status);
    if (fail) {
      EXPECT_NE(rc, 0);
      EXPECT_NE(error().find("failed"), std::string::npos) << error();
      EXPECT_EQ(status, KSLP_NLPSTATUS_UNFINISHED);
    } else {
      ASSERT_EQ(rc, 0) << error();
      EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
      EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), 1.0, 1e-6);
      EXPECT_TRUE(logged("quasi-Newton"));
    }
  }
}

TEST_F(Ipm, TheLogGoesToTheMessageCallbackAtTheChosenDetail) {
  NEED_IPM();
  build({2, {2, 2}, {}, {}, "(x1 - 2)^2 + (x2 - 1)^2", {{"-x1^2/4 - x2^2", 'G', -1}}});
  ASSERT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_FALSE(logged("iter    objective"));
  ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_IPM_PRINTLEVEL, 5), 0);
  ASSERT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_TRUE(logged("iter    objective"));
  EXPECT_FALSE(logged("\n"));
}

TEST_F(Ipm, TheControlChoosesTheSolverAndSaysWhenItIsMissing) {
  Model md{2, {0, 0}, {}, {}, "(x1 - 1)^2 + (x2 - 2)^2", {{"x1 + x2", 'L', 1}}};
  build(md, KSLP_ALGORITHM_AUTO);
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_EQ(logged("Interior-point solve"), available);
  build(md, KSLP_ALGORITHM_SLP);
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_FALSE(logged("Interior-point solve"));
  build(md, KSLP_ALGORITHM_IPM);
  if (available) {
    EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  } else {
    EXPECT_NE(KSLPnlpoptimize(slp, ""), 0);
    EXPECT_NE(error().find("kslp_algorithm"), std::string::npos) << error();
    EXPECT_NE(error().find("without the interior-point solver"), std::string::npos) << error();
  }
}

}  // namespace
