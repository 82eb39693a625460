// Column properties by the array, cascading order and limits, distribution
// factors, tolerance sets, row weights and the solve's row and column
// information, each seen in what the solver does with it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "krvu.h"
#include "kslp.h"
#include "slp_fixture.h"

namespace {

constexpr double kI = KRVU_INFINITY;

class SlpData : public SlpTest {
 protected:
  void build(const Model &md) {
    load_formula_model(md, "data", &prob, &slp, [](KSLPprob) {});
  }
  std::string error() { return slp_error(slp); }
  int solve() {
    EXPECT_EQ(KSLPnlpoptimize(slp, ""), 0) << error();
    int status = -1;
    KSLPgetintattrib(slp, KSLP_ATTR_NLPSTATUS, &status);
    return status;
  }
  double x(int j) {
    std::vector<double> v(static_cast<size_t>(ncols()));
    EXPECT_EQ(KSLPgetslpsol(slp, v.data(), nullptr, nullptr, nullptr), 0) << error();
    return v[j];
  }
  int ncols() {
    int n = 0;
    KRVUgetintattrib(prob, KRVU_ATTR_COLS, &n);
    return n;
  }
  struct Var {
    int detrow, tolset, converged;
    double value, laststep;
  };
  Var var(int col) {
    Var v{};
    EXPECT_EQ(KSLPgetvar(slp, col, &v.detrow, nullptr, nullptr, nullptr, nullptr, nullptr, &v.value,
                         &v.tolset, nullptr, &v.converged, nullptr, nullptr, nullptr, nullptr, &v.laststep),
              0);
    return v;
  }
  void set_value(int col, double value) {
    ASSERT_EQ(KSLPchgvar(slp, col, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &value, nullptr,
                         nullptr, nullptr, nullptr),
              0);
  }
  // The info value of a row or column as (type, int, double).
  struct Info {
    int type;
    int64_t i;
    double d;
  };
  Info info(bool row, int type, int index, int *rc) {
    unsigned char buf[16] = {};
    *rc = row ? KSLPgetrowinfo(slp, type, index, buf) : KSLPgetcolinfo(slp, type, index, buf);
    Info r{};
    std::memcpy(&r.type, buf + 8, sizeof r.type);
    std::memcpy(&r.i, buf, 8);
    std::memcpy(&r.d, buf, 8);
    return r;
  }
};

TEST_F(SlpData, DistributionFactorsStartARowWhoseDerivativesVanish) {
  // x1 * x2 >= 1 from (0, 0): both derivatives are zero there, so the first
  // linearisation sees no way to the row.
  Model md{2, {0, 0}, {0, 0}, {10, 10}, "x1 + x2", {{"x1 * x2", 'G', 1}}};
  build(md);
  EXPECT_NE(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);

  KSLPdestroyprob(slp);
  KRVUdestroyprob(prob);
  build(md);
  int cols[] = {0, 1}, rows[] = {0, 0};
  double dfs[] = {1.0, 1.0};
  ASSERT_EQ(KSLPadddfs(slp, 2, cols, rows, dfs), 0) << error();
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_NEAR(x(0), 1.0, 1e-5);
  EXPECT_NEAR(x(1), 1.0, 1e-5);

  // Changing, reading and removing one; loading replaces them all.
  double v = 2.5, r = 0;
  ASSERT_EQ(KSLPchgdf(slp, 0, 0, &v, &r), 0);
  EXPECT_EQ(r, 2.5);
  ASSERT_EQ(KSLPgetdf(slp, 0, 0, &r), 0);
  EXPECT_EQ(r, 2.5);
  ASSERT_EQ(KSLPchgdf(slp, 0, 0, nullptr, &r), 0);
  ASSERT_EQ(KSLPgetdf(slp, 0, 0, &r), 0);
  EXPECT_EQ(r, 0.0);
  ASSERT_EQ(KSLPloaddfs(slp, 1, cols, rows, dfs), 0);
  ASSERT_EQ(KSLPgetdf(slp, 1, 0, &r), 0);
  EXPECT_EQ(r, 0.0);
  // A bad entry changes nothing; a factor on a column its row does not read
  // fails the solve.
  int badrows[] = {0, 7};
  EXPECT_NE(KSLPadddfs(slp, 2, cols, badrows, dfs), 0);
  EXPECT_NE(error().find("rowindex"), std::string::npos);
  ASSERT_EQ(KSLPgetdf(slp, 1, 0, &r), 0);
  EXPECT_EQ(r, 0.0);
  int objcol = 2;
  ASSERT_EQ(KSLPadddfs(slp, 1, &objcol, rows, dfs), 0);
  EXPECT_NE(KSLPnlpoptimize(slp, ""), 0);
  EXPECT_NE(error().find("does not read it"), std::string::npos) << error();
}

TEST_F(SlpData, RowWeightsDecideBetweenRowsThatCannotBothHold) {
  // x1^2 >= 4 and x1^2 <= 1 conflict: the weighted errors are least at
  // x1 = 2 when the first row weighs more, at x1 = 1 when the second does.
  Model md{1, {1.5}, {0}, {10}, "", {{"x1^2", 'G', 4}, {"x1^2", 'L', 1}}};
  for (int heavy = 0; heavy < 2; ++heavy) {
    if (slp) {
      KSLPdestroyprob(slp);
      KRVUdestroyprob(prob);
    }
    build(md);
    double w = 10.0, back = 0;
    ASSERT_EQ(KSLPchgrowwt(slp, heavy, &w), 0);
    ASSERT_EQ(KSLPgetrowwt(slp, heavy, &back), 0);
    EXPECT_EQ(back, 10.0);
    ASSERT_EQ(KSLPgetrowwt(slp, 1 - heavy, &back), 0);
    EXPECT_EQ(back, 1.0);
    EXPECT_NE(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
    EXPECT_NEAR(x(0), heavy == 0 ? 2.0 : 1.0, 1e-4);
    // The light row keeps the error; the heavy row's factor is ten times.
    int rc;
    Info light = info(true, KSLP_ROWINFO_CURRENTPENALTYERROR, 1 - heavy, &rc);
    ASSERT_EQ(rc, 0) << error();
    EXPECT_EQ(light.type, 2);
    EXPECT_NEAR(light.d, 3.0, 1e-3);
    Info fh = info(true, KSLP_ROWINFO_CURRENTPENALTYFACTOR, heavy, &rc);
    Info fl = info(true, KSLP_ROWINFO_CURRENTPENALTYFACTOR, 1 - heavy, &rc);
    EXPECT_NEAR(fh.d, 10.0 * fl.d, 1e-9 * fh.d);
    Info count = info(true, KSLP_ROWINFO_NUMPENALTYERRORS, 1 - heavy, &rc);
    EXPECT_EQ(count.type, 1);
    EXPECT_GT(count.i, 0);
    Info plus = info(true, KSLP_ROWINFO_PENALTYCOLUMNPLUS, 0, &rc);
    Info minus = info(true, KSLP_ROWINFO_PENALTYCOLUMNMINUS, 0, &rc);
    EXPECT_EQ(plus.type, 1);
    EXPECT_EQ(minus.i, plus.i + 1);
  }
  // Null goes back to 1; weights must be positive.
  ASSERT_EQ(KSLPchgrowwt(slp, 1, nullptr), 0);
  double back = 0, zero = 0.0;
  ASSERT_EQ(KSLPgetrowwt(slp, 1, &back), 0);
  EXPECT_EQ(back, 1.0);
  EXPECT_NE(KSLPchgrowwt(slp, 1, &zero), 0);
  EXPECT_NE(KSLPchgrowwt(slp, 5, nullptr), 0);
}

TEST_F(SlpData, ToleranceSetsDecideWhenTheirColumnsHaveConverged) {
  Model md{2, {0, 0}, {-10, -10}, {10, 10}, "(x1 - 3)^2 + (x2 - 1)^2 + x1*x2", {}};
  build(md);
  // Set 1 passes any step of the first iteration; set 2 asks for a reduced
  // cost of 1e-7.
  double tols[18] = {100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1e-7, 0, 0};
  ASSERT_EQ(KSLPaddtolsets(slp, 2, tols), 0) << error();
  int status = 0;
  double back[9];
  ASSERT_EQ(KSLPgettolset(slp, 2, &status, back), 0);
  EXPECT_EQ(status, 1 << 6);
  EXPECT_EQ(back[6], 1e-7);
  int one = 1, two = 2;
  for (int j = 0; j < 2; ++j)
    ASSERT_EQ(KSLPchgvar(slp, j, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &one, nullptr,
                         nullptr, nullptr),
              0);
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  int iters = 0;
  KSLPgetintattrib(slp, KSLP_ATTR_ITERATIONS, &iters);
  EXPECT_EQ(iters, 1);
  EXPECT_EQ(var(0).converged, 1);
  // The optimum: 2(x1 - 3) + x2 = 0, 2(x2 - 1) + x1 = 0.
  const double o1 = 10.0 / 3, o2 = -2.0 / 3;
  EXPECT_GT(std::fabs(x(0) - o1), 1e-3);

  for (int j = 0; j < 2; ++j) {
    set_value(j, 0.0);
    ASSERT_EQ(KSLPchgvar(slp, j, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &two, nullptr,
                         nullptr, nullptr),
              0);
  }
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_NEAR(x(0), o1, 1e-5);
  EXPECT_NEAR(x(1), o2, 1e-5);

  // Deleting set 1 renumbers set 2 and its columns; a column of a deleted
  // set goes back to 0.
  ASSERT_EQ(KSLPchgvar(slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &one, nullptr,
                       nullptr, nullptr),
            0);
  int del = 1;
  ASSERT_EQ(KSLPdeltolsets(slp, 1, &del), 0);
  EXPECT_EQ(var(0).tolset, 0);
  EXPECT_EQ(var(1).tolset, 1);
  ASSERT_EQ(KSLPgettolset(slp, 1, &status, back), 0);
  EXPECT_EQ(back[6], 1e-7);
  EXPECT_NE(KSLPgettolset(slp, 2, &status, back), 0);
  // Changes are checked whole: a negative tolerance, status bits beyond 9.
  double neg[9] = {0, 0, 0, 0, 0, 0, 0, 0, -1};
  int wide = 0x200;
  EXPECT_NE(KSLPchgtolset(slp, 1, nullptr, neg), 0);
  EXPECT_NE(KSLPchgtolset(slp, 1, &wide, nullptr), 0);
  int bits = 3;
  ASSERT_EQ(KSLPchgtolset(slp, 1, &bits, nullptr), 0);
  ASSERT_EQ(KSLPgettolset(slp, 1, &status, back), 0);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(back[6], 1e-7);
  // Loading fewer sets sends columns of the sets gone back to 0.
  ASSERT_EQ(KSLPloadtolsets(slp, 0, nullptr), 0);
  EXPECT_EQ(var(1).tolset, 0);
  EXPECT_NE(KSLPchgvar(slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &one, nullptr,
                       nullptr, nullptr),
            0);
}

TEST_F(SlpData, CascadeOrderFollowsTheRowsThenTheSequenceNumbers) {
  // x1 from row 0 reads x2, which row 1 determines from x3; x4 from row 2
  // reads nothing determined.
  Model md{4, {}, {}, {}, "", {{"x1 - x2", 'E', 0}, {"x2 - exp(x3)", 'E', 0}, {"x4^2", 'E', 4}}};
  build(md);
  int cols[] = {0, 1, 3}, det[] = {0, 1, 2}, seq[] = {1, 2, 0};
  ASSERT_EQ(KSLPaddvars(slp, 3, cols, nullptr, det, seq, nullptr, nullptr, nullptr), 0) << error();
  ASSERT_EQ(KSLPcascadeorder(slp), 0) << error();
  int n = 0, order[4];
  ASSERT_EQ(KSLPgetcascadeorder(slp, &n, order), 0);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(order[0], 1);  // x2 before x1 although x1 asks to go first
  EXPECT_EQ(order[1], 0);
  EXPECT_EQ(order[2], 3);  // no sequence number: last
  set_value(2, 0.5);
  set_value(3, 1.0);
  ASSERT_EQ(KSLPcascade(slp), 0) << error();
  EXPECT_NEAR(var(0).value, std::exp(0.5), 1e-9);
  EXPECT_NEAR(var(3).value, 2.0, 1e-9);

  // One Newton step for x4 from 1: 1 - (1 - 4) / 2.
  set_value(3, 1.0);
  ASSERT_EQ(KSLPchgcascadenlimit(slp, 3, 1), 0);
  ASSERT_EQ(KSLPcascade(slp), 0) << error();
  EXPECT_DOUBLE_EQ(var(3).value, 2.5);
  EXPECT_NE(KSLPchgcascadenlimit(slp, 3, -1), 0);
}

TEST_F(SlpData, SolvesCascadeDeterminedColumnsBeforeEachLinearisation) {
  // min (x1 - 2)^2 + x2^2 with x1 = x2^3 + 1: x1 determined by its row.
  Model md{2, {0, 0}, {-10, -10}, {10, 10}, "(x1 - 2)^2 + x2^2", {{"x1 - x2^3", 'E', 1}}};
  build(md);
  int col = 0, row = 0;
  ASSERT_EQ(KSLPaddvars(slp, 1, &col, nullptr, &row, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  EXPECT_NEAR(x(0), std::pow(x(1), 3) + 1, 1e-9);
  // Stationary: 2(x2^3 - 1) 3 x2^2 + 2 x2 = 0.
  double t = x(1);
  EXPECT_NEAR(6 * (t * t * t - 1) * t * t + 2 * t, 0.0, 1e-4);
}

TEST_F(SlpData, VarsByTheArrayAreCheckedWholeAndLoadingForgetsTheRest) {
  Model md{3, {}, {}, {}, "", {{"x1 * x2", 'L', 4}}};
  build(md);
  int cols[] = {0, 1}, vt[] = {1, 2}, det[] = {-1, 0};
  double iv[] = {1.5, NAN}, sb[] = {0.25, 0};
  ASSERT_EQ(KSLPaddvars(slp, 2, cols, vt, det, nullptr, nullptr, iv, sb), 0) << error();
  double init = 0, step = 0;
  int vartype = 0, detrow = 5;
  ASSERT_EQ(KSLPgetvar(slp, 0, &detrow, &step, nullptr, nullptr, nullptr, &init, nullptr, nullptr, nullptr,
                       nullptr, &vartype, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(detrow, -1);
  EXPECT_EQ(step, 0.25);
  EXPECT_EQ(init, 1.5);
  EXPECT_EQ(vartype, 1);
  EXPECT_EQ(var(1).detrow, 0);
  // A tolerance set that does not exist, a bad vartype, a repeated column.
  int one[] = {1, 1}, three[] = {0, 4}, same[] = {2, 2};
  EXPECT_NE(KSLPaddvars(slp, 2, cols, nullptr, nullptr, nullptr, one, nullptr, nullptr), 0);
  EXPECT_NE(error().find("tolerance set"), std::string::npos);
  EXPECT_NE(KSLPaddvars(slp, 2, cols, three, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(KSLPaddvars(slp, 2, same, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(var(0).tolset, 0);
  // Loading one column forgets the other's row.
  int c2 = 2;
  ASSERT_EQ(KSLPloadvars(slp, 1, &c2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(var(1).detrow, -1);
}

TEST_F(SlpData, StepBoundTypesMeasureTheFirstStep) {
  // First-order steps: without a step bound the first goes to the bound.
  Model md{1, {0}, {-100}, {100}, "-x1", {}};
  int col = 0;
  for (int type : {KSLP_DELTA_ABSOLUTE, KSLP_DELTA_NONE}) {
    if (slp) {
      KSLPdestroyprob(slp);
      KRVUdestroyprob(prob);
    }
    build(md);
    ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_MAXITER, 1), 0);
    double v = 0.1;
    ASSERT_EQ(KSLPchgdeltatype(slp, 1, &col, &type, &v), 0) << error();
    KSLPnlpoptimize(slp, "l");
    double step = var(0).laststep;
    EXPECT_NEAR(step, type == KSLP_DELTA_ABSOLUTE ? 0.1 : 100.0, 1e-9);
    int rc;
    Info sb = info(false, KSLP_COLINFO_DELTAINDEX, 0, &rc);
    ASSERT_EQ(rc, 0) << error();
    EXPECT_EQ(sb.type, 1);
    EXPECT_EQ(sb.i, 0);
  }
  int bad = 4;
  double v = 1;
  EXPECT_NE(KSLPchgdeltatype(slp, 1, &col, &bad, &v), 0);
  int abs = KSLP_DELTA_ABSOLUTE;
  EXPECT_NE(KSLPchgdeltatype(slp, 1, &col, &abs, nullptr), 0);
}

TEST_F(SlpData, RowAndColumnInformationOfTheLastSolve) {
  Model md{2, {1, 1}, {0, 0}, {10, 10}, "x1 + x2", {{"x1 * x2", 'G', 4}}};
  build(md);
  int rc;
  info(true, KSLP_ROWINFO_SLACK, 0, &rc);
  EXPECT_NE(rc, 0);  // no solve yet
  EXPECT_EQ(solve(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  std::vector<double> slack(2), dual(2), dj(3);
  ASSERT_EQ(KSLPgetslpsol(slp, nullptr, slack.data(), dual.data(), dj.data()), 0);
  Info s = info(true, KSLP_ROWINFO_SLACK, 0, &rc);
  EXPECT_EQ(s.type, 2);
  EXPECT_EQ(s.d, slack[0]);
  EXPECT_EQ(info(true, KSLP_ROWINFO_DUAL, 0, &rc).d, dual[0]);
  EXPECT_EQ(info(false, KSLP_COLINFO_RDJ, 1, &rc).d, dj[1]);
  EXPECT_NEAR(info(false, KSLP_COLINFO_VALUE, 0, &rc).d, 2.0, 1e-6);
  Info up = info(false, KSLP_COLINFO_UPDATEROW, 0, &rc);
  EXPECT_EQ(up.type, 1);
  EXPECT_GE(up.i, -1);
  info(true, 14, 0, &rc);
  EXPECT_NE(rc, 0);
  info(false, 0, 0, &rc);
  EXPECT_NE(rc, 0);
  info(false, KSLP_COLINFO_SB, 9, &rc);
  EXPECT_NE(rc, 0);
}

TEST_F(SlpData, DeletingRowsAndColumnsKeepsFactorsWeightsAndOrderInStep) {
  Model md{3, {}, {}, {}, "", {{"x1 * x3", 'L', 4}, {"x2 * x3", 'L', 4}}};
  build(md);
  int cols[] = {0, 1, 2}, rows[] = {0, 1, 1};
  double f[] = {1, 2, 3}, w = 5;
  ASSERT_EQ(KSLPadddfs(slp, 3, cols, rows, f), 0);
  ASSERT_EQ(KSLPchgrowwt(slp, 1, &w), 0);
  int r0 = 0;
  ASSERT_EQ(KRVUdelrows(prob, 1, &r0), 0);
  double v = 0;
  ASSERT_EQ(KSLPgetrowwt(slp, 0, &v), 0);
  EXPECT_EQ(v, 5.0);
  ASSERT_EQ(KSLPgetdf(slp, 1, 0, &v), 0);
  EXPECT_EQ(v, 2.0);
  ASSERT_EQ(KSLPgetdf(slp, 0, 0, &v), 0);
  EXPECT_EQ(v, 0.0);  // its row went
  int c0 = 0;
  ASSERT_EQ(KRVUdelcols(prob, 1, &c0), 0);
  ASSERT_EQ(KSLPgetdf(slp, 0, 0, &v), 0);
  EXPECT_EQ(v, 2.0);
  ASSERT_EQ(KSLPgetdf(slp, 1, 0, &v), 0);
  EXPECT_EQ(v, 3.0);
}

}  // namespace

namespace {

TEST_F(SlpData, CascadeLeavesTheObjectiveTransferToTheObjective) {
  // The objective's row is moved into the objective, so its column is set
  // from it there rather than cascaded (and does not make the cascade fail).
  Model md{2, {1, 0.5}, {}, {}, "x1^2 + x2", {{"x1 - exp(x2)", 'E', 0}}};
  build(md);
  int col = 0, row = 0;
  ASSERT_EQ(KSLPaddvars(slp, 1, &col, nullptr, &row, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KSLPcascade(slp), 0) << error();
  EXPECT_NEAR(var(0).value, std::exp(0.5), 1e-9);
  EXPECT_NEAR(var(2).value, std::exp(1.0) + 0.5, 1e-9);
}

}  // namespace

namespace {

TEST_F(SlpData, SaveFilesAndCopiesKeepTheModelData) {
  Model md{2, {}, {}, {}, "", {{"x1 * x2", 'L', 4}}};
  build(md);
  double tols[9] = {1e-4, 0, 0, 0, 0, 0, 0, 0, 0.5}, f = 2.0, w = 3.0;
  ASSERT_EQ(KSLPaddtolsets(slp, 1, tols), 0);
  int col = 1, row = 0, one = 1, seq = 4, rel = KSLP_DELTA_RELATIVE;
  double size = 0.25;
  ASSERT_EQ(KSLPaddvars(slp, 1, &col, nullptr, nullptr, &seq, &one, nullptr, nullptr), 0);
  ASSERT_EQ(KSLPchgdeltatype(slp, 1, &col, &rel, &size), 0);
  ASSERT_EQ(KSLPchgcascadenlimit(slp, col, 7), 0);
  ASSERT_EQ(KSLPadddfs(slp, 1, &col, &row, &f), 0);
  ASSERT_EQ(KSLPchgrowwt(slp, row, &w), 0);
  const std::string path = ::testing::TempDir() + "slpdata_save.svf";
  ASSERT_EQ(KSLPsaveas(slp, path.c_str()), 0) << error();
  // Forget it all, then restore.
  ASSERT_EQ(KSLPloadtolsets(slp, 0, nullptr), 0);
  ASSERT_EQ(KSLPloaddfs(slp, 0, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KSLPchgrowwt(slp, row, nullptr), 0);
  ASSERT_EQ(KSLPloadvars(slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  const std::string stem = path.substr(0, path.size() - 4);
  ASSERT_EQ(KSLPrestore(slp, stem.c_str()), 0) << error();
  auto check = [&](KSLPprob s) {
    double back[9], v = 0;
    int status = 0;
    ASSERT_EQ(KSLPgettolset(s, 1, &status, back), 0) << slp_error(s);
    EXPECT_EQ(status, 0x101);
    EXPECT_EQ(back[8], 0.5);
    ASSERT_EQ(KSLPgetdf(s, col, row, &v), 0);
    EXPECT_EQ(v, 2.0);
    ASSERT_EQ(KSLPgetrowwt(s, row, &v), 0);
    EXPECT_EQ(v, 3.0);
    int tolset = 0;
    ASSERT_EQ(KSLPgetvar(s, col, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &tolset, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(tolset, 1);
  };
  check(slp);
  std::remove(path.c_str());
  // So does a problem file.
  const std::string mps = ::testing::TempDir() + "slpdata_file.mps";
  ASSERT_EQ(KSLPwriteprob(slp, mps.c_str(), ""), 0) << error();
  ASSERT_EQ(KSLPloadtolsets(slp, 0, nullptr), 0);
  ASSERT_EQ(KSLPloaddfs(slp, 0, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KSLPchgrowwt(slp, row, nullptr), 0);
  ASSERT_EQ(KSLPreadprob(slp, mps.c_str(), ""), 0) << error();
  check(slp);
  std::remove(mps.c_str());
  // A copy carries the same.
  KRVUprob prob2 = nullptr;
  KSLPprob slp2 = nullptr;
  ASSERT_EQ(KRVUcreateprob(&prob2), 0);
  ASSERT_EQ(KRVUcopyprob(prob2, prob, "copy"), 0);
  ASSERT_EQ(KSLPcreateprob(&slp2, &prob2), 0);
  ASSERT_EQ(KSLPcopyprob(slp2, slp, nullptr), 0) << slp_error(slp2);
  check(slp2);
  KSLPdestroyprob(slp2);
  KRVUdestroyprob(prob2);
}

}  // namespace
