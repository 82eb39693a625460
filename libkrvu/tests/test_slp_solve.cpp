// The nonlinear solver on problems with known optima (Hock-Schittkowski test
// problems with the start points and optimal values of their collection,
// closed-form models), its statuses, and user functions.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "krvu.h"
#include "kslp.h"
#include "slp_fixture.h"

namespace {

class SlpSolve : public SlpTest {
 protected:
  std::string error() { return slp_error(slp); }

  void build(const Model &md) {
    load_formula_model(md, "nl", &prob, &slp, [](KSLPprob s) {
      if (getenv("SLP_DEBUG")) {
        KSLPsetintcontrol(s, KSLP_CTRL_LOG, 3);
        KSLPsetcbmessage(s, [](KSLPprob, void *, const char *msg, int, int) { fprintf(stderr, "%s\n", msg); }, nullptr);
      }
    });
  }
  int solve(int *status) {
    int rc = KSLPnlpoptimize(slp, "");
    KSLPgetintattrib(slp, KSLP_ATTR_NLPSTATUS, status);
    return rc;
  }
  double objval() {
    double v = 0;
    KSLPgetdblattrib(slp, KSLP_ATTR_OBJVAL, &v);
    return v;
  }
};

constexpr double kI = KRVU_INFINITY;

struct Known {
  const char *name;
  Model model;
  double optimum;
};

std::vector<Known> collection() {
  return {
      // A nearly flat objective: its quasi-Newton matrix shrinks to 1e-5.
      {"hs003", {2, {10, 1}, {-kI, 0}, {kI, kI}, "x2 + 0.00001*(x2 - x1)^2", {}}, 0.0},
      {"hs007",
       {2, {2, 2}, {}, {}, "ln(1 + x1^2) - x2", {{"(1 + x1^2)^2 + x2^2", 'E', 4}}},
       -std::sqrt(3.0)},
      {"hs010",
       {2, {-10, 10}, {}, {}, "x1 - x2", {{"-3*x1^2 + 2*x1*x2 - x2^2", 'G', -1}}},
       -1.0},
      {"hs014",
       {2,
        {2, 2},
        {},
        {},
        "(x1 - 2)^2 + (x2 - 1)^2",
        {{"x1 - 2*x2", 'E', -1}, {"-x1^2/4 - x2^2", 'G', -1}}},
       9 - 2.875 * std::sqrt(7.0)},
      {"hs035",
       {3,
        {0.5, 0.5, 0.5},
        {0, 0, 0},
        {kI, kI, kI},
        "9 - 8*x1 - 6*x2 - 4*x3 + 2*x1^2 + 2*x2^2 + x3^2 + 2*x1*x2 + 2*x1*x3",
        {{"x1 + x2 + 2*x3", 'L', 3}}},
       1.0 / 9},
      {"hs071",
       {4,
        {1, 5, 5, 1},
        {1, 1, 1, 1},
        {5, 5, 5, 5},
        "x1*x4*(x1 + x2 + x3) + x3",
        {{"x1*x2*x3*x4", 'G', 25}, {"x1^2 + x2^2 + x3^2 + x4^2", 'E', 40}}},
       17.0140173},
      // From a feasible start the first step trades the product row for
      // objective at too small a penalty and lands where the row's gradient
      // vanishes: the run starts again from the feasible iterate.
      {"hs093",
       {6,
        {5.54, 4.4, 12.02, 11.82, 0.702, 0.852},
        {0, 0, 0, 0, 0, 0},
        {kI, kI, kI, kI, kI, kI},
        "0.0204*x1*x4*(x1 + x2 + x3) + 0.0187*x2*x3*(x1 + 1.57*x2 + x4) + "
        "0.0607*x1*x4*x5^2*(x1 + x2 + x3) + 0.0437*x2*x3*x6^2*(x1 + 1.57*x2 + x4)",
        {{"0.001*x1*x2*x3*x4*x5*x6", 'G', 2.07},
         {"0.00062*x1*x4*x5^2*(x1 + x2 + x3) + 0.00058*x2*x3*x6^2*(x1 + 1.57*x2 + x4)", 'L', 1}}},
       135.0759613},
      {"hs039",
       {4,
        {2, 2, 2, 2},
        {},
        {},
        "-x1",
        {{"x2 - x1^3 - x3^2", 'E', 0}, {"x1^2 - x2 - x4^2", 'E', 0}}},
       -1.0},
  };
}

// With the quasi-Newton matrix and with the exact Hessian of the Lagrangian
// (shifted where the problem is not convex).
TEST_F(SlpSolve, HockSchittkowskiProblemsReachTheirOptimaFromTheBookStart) {
  for (int hessian : {1, 2})
  for (const Known &k : collection()) {
    SCOPED_TRACE(std::string(k.name) + (hessian == 2 ? " exact" : " quasi-Newton"));
    build(k.model);
    ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_HESSIAN, hessian), 0);
    int status = -1;
    ASSERT_EQ(solve(&status), 0) << error();
    EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
    EXPECT_NEAR(objval(), k.optimum, 1e-5 * (1 + std::fabs(k.optimum)));
    double viol = 1;
    KSLPgetdblattrib(slp, KSLP_ATTR_VALIDATION, &viol);
    EXPECT_LE(viol, 1e-6);
    KSLPdestroyprob(slp);
    KRVUdestroyprob(prob);
    slp = nullptr;
    prob = nullptr;
  }
}

// The Rosenbrock-type starts of HS1 and HS6, and HS28 (whose objective row
// is carried by a fixed transfer column: its quadratic steps failed in the
// QP solver and fell back to linear steps judged by the quadratic model),
// reach their optima.
TEST_F(SlpSolve, RosenbrockValleysAndFixedTransferColumnsReachTheirOptima) {
  const std::vector<Known> hard = {
      {"hs001", {2, {-2, 1}, {-kI, -1.5}, {kI, kI}, "100*(x2 - x1^2)^2 + (1 - x1)^2", {}}, 0.0},
      {"hs006", {2, {-1.2, 1}, {}, {}, "(1 - x1)^2", {{"10*(x2 - x1^2)", 'E', 0}}}, 0.0},
      {"hs028", {3, {-4, 1, 1}, {}, {}, "(x1 + x2)^2 + (x2 + x3)^2", {{"x1 + 2*x2 + 3*x3", 'E', 1}}},
       0.0},
      // Ill-conditioned at its minimum: the gradient rounding leaves stays
      // a little above the optimality tolerance.
      {"hs038",
       {4,
        {-3, -1, -3, -1},
        {-10, -10, -10, -10},
        {10, 10, 10, 10},
        "100*(x2 - x1^2)^2 + (1 - x1)^2 + 90*(x4 - x3^2)^2 + (1 - x3)^2 + "
        "10.1*((x2 - 1)^2 + (x4 - 1)^2) + 19.8*(x2 - 1)*(x4 - 1)",
        {}},
       0.0},
  };
  for (const Known &k : hard) {
    SCOPED_TRACE(k.name);
    build(k.model);
    int status = -1;
    ASSERT_EQ(solve(&status), 0) << error();
    EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
    EXPECT_NEAR(objval(), k.optimum, 1e-5);
    KSLPdestroyprob(slp);
    KRVUdestroyprob(prob);
    slp = nullptr;
    prob = nullptr;
  }
}

// The optimality test is relative to the objective's gradient and the
// multiplied row gradients: the same model multiplied by a large constant
// stops at the same point, locally optimal (it stalled as unfinished when the
// residual was judged against an absolute tolerance).
TEST_F(SlpSolve, ScaledModelsStopAtTheSamePoint) {
  for (const Known &k : collection()) {
    if (std::string(k.name) != "hs071" && std::string(k.name) != "hs014") continue;
    for (double s : {10.0, 1000.0}) {
      SCOPED_TRACE(std::string(k.name) + " times " + std::to_string(s));
      Model md = k.model;
      std::string f = std::to_string(s) + "*";
      md.objective = f + "(" + md.objective + ")";
      for (Row &r : md.rows) {
        r.formula = f + "(" + r.formula + ")";
        r.rhs *= s;
      }
      build(md);
      int status = -1;
      ASSERT_EQ(solve(&status), 0) << error();
      EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
      EXPECT_NEAR(objval(), s * k.optimum, 1e-5 * s * (1 + std::fabs(k.optimum)));
      double viol = 1;
      KSLPgetdblattrib(slp, KSLP_ATTR_VALIDATION, &viol);
      EXPECT_LE(viol, 1e-6 * s);
      KSLPdestroyprob(slp);
      KRVUdestroyprob(prob);
      slp = nullptr;
      prob = nullptr;
    }
  }
}

TEST_F(SlpSolve, SolutionSlacksDualsAndTheTransferColumn) {
  // min (x1-1)^2 + (x2-2)^2 s.t. x1 + x2 <= 1 as a formula: x = (0, 1),
  // multiplier 2 at the optimum.
  build({2, {0, 0}, {}, {}, "(x1 - 1)^2 + (x2 - 2)^2", {{"x1 + x2", 'L', 1}}});
  int status;
  ASSERT_EQ(solve(&status), 0) << error();
  ASSERT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  std::vector<double> x(3), slack(2), dual(2), dj(3);
  ASSERT_EQ(KSLPgetslpsol(slp, x.data(), slack.data(), dual.data(), dj.data()), 0);
  EXPECT_NEAR(x[0], 0, 1e-6);
  EXPECT_NEAR(x[1], 1, 1e-6);
  EXPECT_NEAR(x[2], 2, 1e-6);  // the transfer column holds the objective
  EXPECT_NEAR(slack[0], 0, 1e-6);
  EXPECT_NEAR(std::fabs(dual[0]), 2, 1e-4);
  EXPECT_NEAR(objval(), 2, 1e-6);
  double kkt = 1;
  KSLPgetdblattrib(slp, KSLP_ATTR_KKT, &kkt);
  EXPECT_LE(kkt, 1e-5);
}

TEST_F(SlpSolve, MaximizingFlipsTheObjective) {
  // max -(x1-3)^2 + 1 within x1 <= 2: x1 = 2, value 0.
  build({1, {0}, {-kI}, {2}, "-(x1 - 3)^2 + 1", {}});
  ASSERT_EQ(KSLPsetdblcontrol(slp, KSLP_CTRL_OBJSENSE, -1.0), 0);
  ASSERT_EQ(KRVUchgobjsense(prob, -1), 0);
  int status;
  ASSERT_EQ(solve(&status), 0) << error();
  EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_NEAR(objval(), 0, 1e-6);
}

TEST_F(SlpSolve, InfeasibleModelsGetTheirStatuses) {
  // Linear rows that admit no point.
  build({2, {}, {}, {}, "x1^2 + x2^2", {{"x1", 'G', 2}}});
  {
    int row = 0;
    char t = 'L';
    double r = 1;
    int c = 0;
    double v = 1;
    int64_t s = 0;
    ASSERT_EQ(KRVUaddrows64(prob, 1, 1, &t, &r, nullptr, &s, &c, &v), 0);
    (void)row;
  }
  // ... now x1 >= 2 (nonlinear form) and x1 <= 1 (linear): no point.
  int status;
  ASSERT_EQ(solve(&status), 0) << error();
  EXPECT_TRUE(status == KSLP_NLPSTATUS_LOCALLY_INFEASIBLE || status == KSLP_NLPSTATUS_INFEASIBLE)
      << status;
  KSLPdestroyprob(slp);
  KRVUdestroyprob(prob);

  // A circle that cannot be reached: x1^2 + x2^2 <= -1.
  build({2, {1, 1}, {}, {}, "x1 + x2", {{"x1^2 + x2^2", 'L', -1}}});
  ASSERT_EQ(solve(&status), 0) << error();
  EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_INFEASIBLE);
  double viol = 0;
  KSLPgetdblattrib(slp, KSLP_ATTR_VALIDATION, &viol);
  EXPECT_GT(viol, 0.5);
}

TEST_F(SlpSolve, IntegerColumnsAreSearchedAndTheMixedIntegerFlagIsAccepted) {
  build({2, {}, {0, 0}, {5, 5}, "(x1 - 1.5)^2 + x2", {}});
  int status;
  ASSERT_EQ(KSLPnlpoptimize(slp, "g"), 0) << error();
  KSLPgetintattrib(slp, KSLP_ATTR_NLPSTATUS, &status);
  EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  int col = 0;
  char type = 'I';
  ASSERT_EQ(KRVUchgcoltype(prob, 1, &col, &type), 0);
  ASSERT_EQ(solve(&status), 0) << error();
  EXPECT_NEAR(objval(), 0.25, 1e-6);
}

// HS112, a chemical equilibrium: its logarithms make the QPs stiff next to
// the columns' bounds at 1e-6, where HiGHS's QP solver can miss its own
// check by a hair.  Those points still make steps; linear steps instead
// took some 600 iterations.
TEST_F(SlpSolve, StiffQuadraticSubproblemsStillGiveSecondOrderSteps) {
  const double c[] = {-6.089, -17.164, -34.054, -5.914, -24.721, -14.986, -24.1, -10.708, -26.662, -22.179};
  std::string total = "(x1", f;
  for (int j = 2; j <= 10; ++j) total += " + x" + std::to_string(j);
  total += ")";
  for (int j = 1; j <= 10; ++j)
    f += (j > 1 ? " + x" : "x") + std::to_string(j) + "*(" + std::to_string(c[j - 1]) + " + ln(x" +
         std::to_string(j) + "/" + total + "))";
  build({10, std::vector<double>(10, 0.1), std::vector<double>(10, 1e-6), std::vector<double>(10, kI), f,
         {{"x1 + 2*x2 + 2*x3 + x6 + x10", 'E', 2}, {"x4 + 2*x5 + x6 + x7", 'E', 1},
          {"x3 + x7 + x8 + 2*x9 + x10", 'E', 1}}});
  ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_MAXITER, 200), 0);
  int status;
  ASSERT_EQ(solve(&status), 0) << error();
  EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_NEAR(objval(), -47.76109026, 1e-4);
}

// Over a few hundred nonlinear columns the solver takes linear steps (a
// dense matrix would cost more than it saves), or, asked for exact second
// derivatives, a sparse shifted Hessian; both reach the interior optimum of
// a chain whose columns are pulled towards 1 (all equal at the optimum: the
// couplings vanish there, and e^x pulls each a little below 1).
TEST_F(SlpSolve, LargeModelsTakeLinearStepsOrASparseExactHessian) {
  const int n = 320;
  std::string f;
  for (int j = 1; j <= n; ++j) {
    const std::string x = "x" + std::to_string(j);
    f += (j > 1 ? " + " : "") + std::string("(") + x + " - 1)^2 + 0.1*exp(0.5*" + x + ")";
    if (j < n) f += " + (" + x + " - x" + std::to_string(j + 1) + ")^2";
  }
  // Each column solves 2 (x - 1) + 0.05 e^(x/2) = 0.
  double t = 1.0;
  for (int it = 0; it < 50; ++it) t -= (2 * (t - 1) + 0.05 * std::exp(0.5 * t)) / (2 + 0.025 * std::exp(0.5 * t));
  const double optimum = n * ((t - 1) * (t - 1) + 0.1 * std::exp(0.5 * t));
  for (int hessian : {1, 2}) {
    SCOPED_TRACE(hessian);
    build({n, std::vector<double>(n, 0.0), std::vector<double>(n, -5), std::vector<double>(n, 5), f, {}});
    ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_HESSIAN, hessian), 0);
    int status;
    ASSERT_EQ(solve(&status), 0) << error();
    EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
    EXPECT_NEAR(objval(), optimum, 1e-5 * optimum);
    KSLPdestroyprob(slp);
    KRVUdestroyprob(prob);
    slp = nullptr;
    prob = nullptr;
  }
}

TEST_F(SlpSolve, FirstOrderStepsAloneStillConverge) {
  build({2, {2, 2}, {}, {}, "(x1 - 2)^2 + (x2 - 1)^2",
         {{"x1 - 2*x2", 'E', -1}, {"-x1^2/4 - x2^2", 'G', -1}}});
  ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_HESSIAN, 0), 0);
  int status;
  ASSERT_EQ(solve(&status), 0) << error();
  EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_NEAR(objval(), 9 - 2.875 * std::sqrt(7.0), 1e-5);
}

TEST_F(SlpSolve, IterationLimitLeavesTheSolveUnfinished) {
  build({2, {-2, 1}, {-kI, -1.5}, {kI, kI}, "100*(x2 - x1^2)^2 + (1 - x1)^2", {}});
  ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_MAXITER, 2), 0);
  int status;
  ASSERT_EQ(solve(&status), 0) << error();
  EXPECT_EQ(status, KSLP_NLPSTATUS_UNFINISHED);
  int it = 0;
  KSLPgetintattrib(slp, KSLP_ATTR_ITERATIONS, &it);
  EXPECT_EQ(it, 2);
}

// ---- user functions

int g_calls = 0;
double sq_noderiv(const double *v, void *) {
  ++g_calls;
  return (v[0] - 3) * (v[0] - 3) + v[1] * v[1];
}
double sq_deriv(const double *v, void *info, const double *deltas, double *res) {
  ++g_calls;
  res[0] = (v[0] - 3) * (v[0] - 3) + v[1] * v[1];
  if (deltas && deltas[0]) res[1] = 2 * (v[0] - 3);
  if (deltas && deltas[1]) res[2] = 2 * v[1];
  int n = 0;
  KSLPgetfuncinfo(info, &n, nullptr, nullptr, nullptr);
  return n == 2 ? 0.0 : -1.0;
}
double failing(const double *, void *info) {
  KSLPsetfuncerror(info);
  return -1;
}

TEST_F(SlpSolve, UserFunctionsWithAndWithoutDerivativesAndOneThatFails) {
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind);
    build({2, {0, 1}, {}, {}, "", {}});
    int i1, i2;
    ASSERT_EQ(KSLPsetstring(slp, &i1, "sq"), 0);
    ASSERT_EQ(KSLPsetstring(slp, &i2, "DirectC"), 0);
    int t[] = {5, 87, 86, 5, 0};
    double v[] = {double(i1), 1.0, kind == 1 ? 110611.0 : 19.0, double(i2), 0.0};
    ASSERT_EQ(KSLPadduserfuncs(slp, 1, 5, t, v), 0) << error();
    ASSERT_EQ(KSLPaddnames(slp, 5, "sq", 1, 1), 0);
    void *addr = kind == 0 ? reinterpret_cast<void *>(&sq_noderiv)
                 : kind == 1 ? reinterpret_cast<void *>(&sq_deriv)
                             : reinterpret_cast<void *>(&failing);
    ASSERT_EQ(KSLPchguserfuncaddress(slp, 1, addr), 0);
    // Asked for exact second derivatives, a formula with a user function
    // takes the quasi-Newton matrix.
    if (kind == 1) ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_HESSIAN, 2), 0);
    ASSERT_EQ(KSLPchgccoef(slp, 0, -1, nullptr, "sq(x1, x2) + 1"), 0) << error();
    char text[100];
    ASSERT_EQ(KSLPgetccoef(slp, 0, -1, nullptr, text, sizeof text), 0);
    EXPECT_STREQ(text, "sq(x1, x2) + 1");
    g_calls = 0;
    int status;
    if (kind == 2) {
      EXPECT_NE(solve(&status), 0);
      EXPECT_NE(error().find("failed"), std::string::npos) << error();
      EXPECT_EQ(status, KSLP_NLPSTATUS_UNFINISHED);
    } else {
      ASSERT_EQ(solve(&status), 0) << error();
      EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
      EXPECT_NEAR(objval(), 1.0, 1e-6);
      EXPECT_GT(g_calls, 0);
    }
    KSLPdestroyprob(slp);
    KRVUdestroyprob(prob);
    slp = nullptr;
    prob = nullptr;
  }
}

}  // namespace
