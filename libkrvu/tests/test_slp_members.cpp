// Determined columns recomputed from their rows, and points measured against
// the model.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "krvu.h"
#include "kslp.h"

namespace {

// Row 0: x0 + x1 <= 4.  Row 1: -x0 + 2 exp(x2) = 0.  Objective x0 + 2 x1.
class SlpMembers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(KRVUinit(nullptr), 0);
    ASSERT_EQ(KSLPinit(), 0);
    ASSERT_EQ(KRVUcreateprob(&prob), 0);
    char types[] = {'L', 'E'};
    double rhs[] = {4.0, 0.0};
    ASSERT_EQ(KRVUloadlp(prob, "nl", 3, 2, types, rhs, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr),
              0);
    ASSERT_EQ(KRVUchgcoef(prob, 0, 0, 1.0), 0);
    ASSERT_EQ(KRVUchgcoef(prob, 0, 1, 1.0), 0);
    ASSERT_EQ(KRVUchgcoef(prob, 1, 0, -1.0), 0);
    int cols[] = {0, 1};
    double obj[] = {1.0, 2.0};
    ASSERT_EQ(KRVUchgobj(prob, 2, cols, obj), 0);
    ASSERT_EQ(KSLPcreateprob(&slp, &prob), 0);
    int row = 1, col = -1, starts[] = {0, 4};
    double factor = 2.0;
    int t[] = {22, 10, 12, 0};
    double v[] = {0, 2, 16, 0};  // exp(x2)
    ASSERT_EQ(KSLPaddcoefs(slp, 1, &row, &col, &factor, starts, 1, t, v), 0);
  }
  void TearDown() override {
    KSLPdestroyprob(slp);
    KRVUdestroyprob(prob);
    KSLPfree();
    KRVUfree();
  }
  std::string error() {
    int code = 0;
    char buf[512];
    KSLPgetlasterror(slp, &code, buf);
    return buf;
  }
  double value_of(int col) {
    double v = NAN;
    EXPECT_EQ(KSLPgetvar(slp, col, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &v, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
    return v;
  }
  KRVUprob prob = nullptr;
  KSLPprob slp = nullptr;
};

TEST_F(SlpMembers, CascadeSolvesLinearAndNonlinearDeterminedColumns) {
  // x0 from row 1 is linear in x0: x0 = 2 exp(x2).
  int r1 = 1;
  double half = 0.5;
  ASSERT_EQ(KSLPchgvar(slp, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &half, nullptr,
                       nullptr, nullptr, nullptr),
            0);
  ASSERT_EQ(KSLPchgvar(slp, 0, &r1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr),
            0);
  ASSERT_EQ(KSLPcascade(slp), 0) << error();
  EXPECT_NEAR(value_of(0), 2.0 * std::exp(0.5), 1e-9);
  EXPECT_DOUBLE_EQ(value_of(2), 0.5);  // the determining column is left alone

  // The other way round: x2 enters through the formula, found by Newton steps.
  int none = -1;
  double six = 6.0;
  ASSERT_EQ(KSLPchgvar(slp, 0, &none, nullptr, nullptr, nullptr, nullptr, nullptr, &six, nullptr,
                       nullptr, nullptr, nullptr),
            0);
  ASSERT_EQ(KSLPchgvar(slp, 2, &r1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr),
            0);
  ASSERT_EQ(KSLPcascade(slp), 0) << error();
  EXPECT_NEAR(value_of(2), std::log(3.0), 1e-9);
}

TEST_F(SlpMembers, CascadeRefusesAColumnAbsentFromItsRowAndChangesNothing) {
  int r0 = 0, r1 = 1;
  double seven = 7.0;
  // x2 is determined by row 0, where it does not appear.
  ASSERT_EQ(KSLPchgvar(slp, 0, &r1, nullptr, nullptr, nullptr, nullptr, nullptr, &seven, nullptr,
                       nullptr, nullptr, nullptr),
            0);
  ASSERT_EQ(KSLPchgvar(slp, 2, &r0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr),
            0);
  EXPECT_NE(KSLPcascade(slp), 0);
  EXPECT_NE(error().find("column 2"), std::string::npos) << error();
  EXPECT_DOUBLE_EQ(value_of(0), 7.0);
}

TEST_F(SlpMembers, ValidateVectorMeasuresBoundsRowsAndObjective) {
  // x = (3, 2, -0.5): row 0 is 5 > 4 (1, scaled 1/4); row 1 is
  // -3 + 2 exp(-0.5) (scaled by 1); x2 is 0.5 below its bound 0.
  double x[] = {3.0, 2.0, -0.5};
  double inf = 0, scaled = 0, obj = 0;
  ASSERT_EQ(KSLPvalidatevector(slp, x, &inf, &scaled, &obj), 0) << error();
  double r1 = std::fabs(-3.0 + 2.0 * std::exp(-0.5));
  EXPECT_NEAR(inf, 1.0 + r1 + 0.5, 1e-12);
  EXPECT_NEAR(scaled, 0.25 + r1 + 0.5, 1e-12);
  EXPECT_DOUBLE_EQ(obj, 7.0);

  // A feasible point measures zero; null outputs are allowed.
  double y[] = {2.0 * std::exp(0.1), 0.0, 0.1};
  ASSERT_EQ(KSLPvalidatevector(slp, y, &inf, nullptr, nullptr), 0);
  EXPECT_NEAR(inf, 0.0, 1e-12);

  EXPECT_NE(KSLPvalidatevector(slp, nullptr, &inf, nullptr, nullptr), 0);
  EXPECT_NE(error().find("'vector'"), std::string::npos) << error();
  double bad[] = {0.0, NAN, 0.0};
  EXPECT_NE(KSLPvalidatevector(slp, bad, &inf, nullptr, nullptr), 0);
  EXPECT_NE(error().find("vector[1]"), std::string::npos) << error();
}

}  // namespace
