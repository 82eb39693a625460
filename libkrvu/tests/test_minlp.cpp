// The mixed-integer search of the nonlinear solver through the C API, and the
// argument and state checks of the validation and state functions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "krvu.h"
#include "kslp.h"
#include "slp_fixture.h"

namespace {

class Minlp : public SlpTest {
 protected:
  void build(const Model &md, std::vector<int> integer = {}) {
    load_formula_model(md, "minlp", &prob, &slp, [](KSLPprob s) { KSLPsetintcontrol(s, KSLP_CTRL_LOG, 0); });
    KRVUsetintcontrol(prob, KRVU_CTRL_OUTPUTLOG, 0);
    std::vector<char> types(integer.size(), 'I');
    if (!integer.empty())
      ASSERT_EQ(KRVUchgcoltype(prob, static_cast<int>(integer.size()), integer.data(), types.data()), 0);
  }
  std::string error() { return slp_error(slp); }
  int iattr(int id) {
    int v = -1;
    EXPECT_EQ(KSLPgetintattrib(slp, id, &v), 0);
    return v;
  }
  double dattr(int id) {
    double v = NAN;
    EXPECT_EQ(KSLPgetdblattrib(slp, id, &v), 0);
    return v;
  }
};

constexpr double kI = KRVU_INFINITY;

// min (x1 - 0.6)^2 + (x2 - 2.7)^2 + x3 over integers x1, x2 with
// x1^2 + x2^2 <= 5 + x3: the nearest integer points by enumeration.
double enumerate_disc() {
  double best = INFINITY;
  for (int a = -3; a <= 3; ++a)
    for (int b = -3; b <= 3; ++b) {
      double over = std::max(0.0, a * a + b * b - 5.0);
      best = std::min(best, (a - 0.6) * (a - 0.6) + (b - 2.7) * (b - 2.7) + over);
    }
  return best;
}

TEST_F(Minlp, SearchReachesTheEnumeratedOptimumAndFiresIntsol) {
  build({3, {}, {-3, -3, 0}, {3, 3, 40}, "(x1 - 0.6)^2 + (x2 - 2.7)^2 + x3",
         {{"x1^2 + x2^2 - x3", 'L', 5}}},
        {0, 1});
  int intsols = 0;
  ASSERT_EQ(KRVUaddcbintsol(prob, [](KRVUprob, void *d) { ++*static_cast<int *>(d); }, &intsols, 0), 0);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0) << error();
  EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), enumerate_disc(), 1e-6);
  EXPECT_EQ(iattr(KSLP_ATTR_NLPSTATUS), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_EQ(iattr(KSLP_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
  EXPECT_GE(intsols, 1);
  int mipstatus = 0;
  double best = 0;
  KRVUgetintattrib(prob, KRVU_ATTR_MIPSTATUS, &mipstatus);
  KRVUgetdblattrib(prob, KRVU_ATTR_MIPBESTOBJVAL, &best);
  EXPECT_EQ(mipstatus, KRVU_MIP_OPTIMAL);
  EXPECT_NEAR(best, enumerate_disc(), 1e-6);
  EXPECT_NEAR(dattr(KSLP_ATTR_BESTBOUND), best, 1e-5);
  // The solution is that of the integer point with its integers fixed.
  std::vector<double> x(4), slack(2), dual(2), dj(4);
  ASSERT_EQ(KSLPgetslpsol(slp, x.data(), slack.data(), dual.data(), dj.data()), 0);
  EXPECT_NEAR(x[0], std::round(x[0]), 1e-9);
  EXPECT_NEAR(x[1], std::round(x[1]), 1e-9);
  // The user's problem keeps its integer columns.
  char type = 'C';
  KRVUgetcoltype(prob, &type, 0, 0);
  EXPECT_EQ(type, 'I');
  // The node solves count among the problem's evaluations.
  std::vector<std::string> lines;
  KRVUsetintcontrol(prob, KRVU_CTRL_OUTPUTLOG, 1);
  KSLPsetcbmessage(slp, [](KSLPprob, void *d, const char *msg, int, int) {
    static_cast<std::vector<std::string> *>(d)->push_back(msg);
  }, &lines);
  ASSERT_EQ(KSLPprintevalinfo(slp), 0);
  ASSERT_FALSE(lines.empty());
  long long values = 0, gradients = 0, solves = 0;
  ASSERT_EQ(std::sscanf(lines[0].c_str(), "Evaluations: %lld function values, %lld gradients, in %lld solves",
                        &values, &gradients, &solves), 3) << lines[0];
  EXPECT_GT(solves, 2);
  EXPECT_GT(gradients, 0);
}

// The nonlinear problem's own node callbacks: slpnode and prenode before
// each node's relaxation, optnode after it (seeing the node's solution),
// intsol at each incumbent; optnode can drop nodes and any can stop.
struct NodeLog {
  int slpnode = 0, prenode = 0, optnode = 0, intsol = 0;
  int drop_after = -1;  // optnode marks nodes infeasible from this call on
  int stop_at_intsol = 0;
  std::vector<double> root_x;
};

TEST_F(Minlp, NonlinearNodeCallbacksFireAndSteerTheSearch) {
  Model disc{3, {}, {-3, -3, 0}, {3, 3, 40}, "(x1 - 0.6)^2 + (x2 - 2.7)^2 + x3", {{"x1^2 + x2^2 - x3", 'L', 5}}};
  build(disc, {0, 1});
  NodeLog log;
  KSLPsetcbslpnode(slp, [](KSLPprob, void *d) { return ++static_cast<NodeLog *>(d)->slpnode, 0; }, &log);
  KSLPsetcbprenode(slp, [](KSLPprob, void *d, int *) { return ++static_cast<NodeLog *>(d)->prenode, 0; }, &log);
  KSLPsetcboptnode(slp, [](KSLPprob s, void *d, int *feasible) {
    auto *l = static_cast<NodeLog *>(d);
    if (l->optnode++ == 0) {
      l->root_x.assign(4, 0.0);
      KSLPgetslpsol(s, l->root_x.data(), nullptr, nullptr, nullptr);
    }
    if (l->drop_after >= 0 && l->optnode > l->drop_after) *feasible = 0;
    return 0;
  }, &log);
  KSLPsetcbintsol(slp, [](KSLPprob, void *d) {
    auto *l = static_cast<NodeLog *>(d);
    return ++l->intsol >= l->stop_at_intsol && l->stop_at_intsol > 0 ? 1 : 0;
  }, &log);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0) << error();
  EXPECT_NEAR(dattr(KSLP_ATTR_OBJVAL), enumerate_disc(), 1e-6);
  const int nodes = iattr(KSLP_ATTR_NODES);
  EXPECT_EQ(log.slpnode, nodes);
  EXPECT_EQ(log.prenode, nodes);
  EXPECT_GE(log.optnode, 1);
  EXPECT_GE(log.intsol, 1);
  // The root's relaxation is continuous: its x2 is not an integer.
  ASSERT_EQ(log.root_x.size(), 4u);
  EXPECT_GT(std::fabs(log.root_x[1] - std::round(log.root_x[1])), 1e-3);

  // Every node after the root dropped: the root's two children end the
  // search (an incumbent can only come from rounding the root's point).
  NodeLog drop;
  drop.drop_after = 1;
  KSLPsetcboptnode(slp, [](KSLPprob, void *d, int *feasible) {
    auto *l = static_cast<NodeLog *>(d);
    if (++l->optnode > l->drop_after) *feasible = 0;
    return 0;
  }, &drop);
  KSLPsetcbintsol(slp, nullptr, nullptr);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0) << error();
  EXPECT_EQ(iattr(KSLP_ATTR_NODES), 3);
  EXPECT_EQ(drop.optnode, 3);

  // intsol asking to stop at the first incumbent: the search ends with it.
  KSLPsetcboptnode(slp, nullptr, nullptr);
  NodeLog first;
  first.stop_at_intsol = 1;
  KSLPsetcbintsol(slp, [](KSLPprob, void *d) { return ++static_cast<NodeLog *>(d)->intsol >= 1 ? 1 : 0; }, &first);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0) << error();
  EXPECT_EQ(first.intsol, 1);
  EXPECT_EQ(iattr(KSLP_ATTR_MIPSTATUS), KRVU_MIP_SOLUTION);
}

TEST_F(Minlp, GlobalOfAContinuousProblemIsASolve) {
  build({1, {}, {-3}, {3}, "exp(x1) - 2*x1", {}});
  ASSERT_EQ(KSLPglobal(slp), 0) << error();
  std::vector<double> x(2);
  ASSERT_EQ(KSLPgetslpsol(slp, x.data(), nullptr, nullptr, nullptr), 0);
  EXPECT_NEAR(x[0], std::log(2.0), 1e-6);
}

TEST_F(Minlp, ValidationFunctionsCheckTheirArguments) {
  build({2, {3, 0}, {0, 0}, {10, 10}, "x1 + 2*x2", {{"x1 - 2*exp(x2)", 'E', 0}}});
  EXPECT_NE(KSLPvalidaterow(slp, 7), 0);
  EXPECT_NE(error().find("'row'"), std::string::npos) << error();
  EXPECT_NE(KSLPfixpenalties(slp, nullptr), 0);
  EXPECT_NE(error().find("'status'"), std::string::npos) << error();
  EXPECT_NE(KSLPvalidatekkt(slp, 0, 0, 0, -1.0), 0);
  EXPECT_NE(error().find("'kktviolationtarget'"), std::string::npos) << error();
  EXPECT_NE(KSLPvalidate(nullptr), 0);
  // From the start values (3, 0): row 0 is off by 1.
  ASSERT_EQ(KSLPvalidate(slp), 0) << error();
  EXPECT_NEAR(dattr(KSLP_ATTR_VALIDATIONMAX), 1.0, 1e-12);
  EXPECT_EQ(iattr(KSLP_ATTR_VALIDATIONROW), 0);
  int status = -1;
  ASSERT_EQ(KSLPfixpenalties(slp, &status), 0);
  EXPECT_EQ(status, 1);
}

TEST_F(Minlp, PresolveRefusesRowsTheBoundsCannotMeetAndKeepsNothing) {
  build({2, {}, {0, 0}, {1, 1}, "x1 + x2", {{"x1 + x2", 'G', 5}}});
  // The row holds a formula, so presolve does not read it: add a linear one.
  int col[] = {0, 1};
  double val[] = {1, 1};
  int64_t start[] = {0, 2};
  char type = 'G';
  double rhs = 3;
  ASSERT_EQ(KRVUaddrows64(prob, 1, 2, &type, &rhs, nullptr, start, col, val), 0);
  EXPECT_NE(KSLPpresolve(slp), 0);
  EXPECT_NE(error().find("cannot be met"), std::string::npos) << error();
  EXPECT_EQ(iattr(KSLP_ATTR_STATUS) & 0x20000000, 0);
}

}  // namespace
