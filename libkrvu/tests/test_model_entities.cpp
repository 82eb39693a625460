// Sets, indicators, general and piecewise-linear constraints, copies: stored,
// queried with two-call sizing, and renumbered by deletions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "krvu.h"
#include "prob_fixture.h"

namespace {

class Entities : public ProbTest {
 protected:
  void SetUp() override {
    ProbTest::SetUp();
    if (HasFatalFailure()) return;
    // 4 columns, 2 rows, no coefficients.
    const char rt[] = {'L', 'G'};
    const double rhs[] = {1, 0};
    ASSERT_EQ(KRVUloadlp64(p, "e", 4, 2, rt, rhs, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr),
              0);
  }
};

TEST_F(Entities, SetsAndGlobalQuery) {
  const char st[] = {'1', '2'};
  const int64_t start[] = {0, 2};
  const int cols[] = {0, 1, 1, 2, 3};
  const double ref[] = {1, 2, 1, 2, 3};
  ASSERT_EQ(KRVUaddsets64(p, 2, 5, st, start, cols, ref), 0) << err();
  ASSERT_EQ(KRVUaddsetnames(p, "s1\0s2", 0, 1), 0);
  const int c[] = {3};
  const char t[] = {'I'};
  ASSERT_EQ(KRVUchgcoltype(p, 1, c, t), 0);
  EXPECT_EQ(attr(KRVU_ATTR_SETS), 2);
  EXPECT_EQ(attr(KRVU_ATTR_SETMEMBERS), 5);
  int ne = -1, ns = -1;
  ASSERT_EQ(KRVUgetglobal64(p, &ne, &ns, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr),
            0);
  EXPECT_EQ(ne, 1);
  EXPECT_EQ(ns, 2);
  // Deleting column 1 drops it from both sets and renumbers the rest.
  const int d[] = {1};
  ASSERT_EQ(KRVUdelcols(p, 1, d), 0) << err();
  char gt[1], stype[2];
  int gc[1], sc[3];
  double lim[1], sr[3];
  int64_t ss[3];
  ASSERT_EQ(KRVUgetglobal64(p, &ne, &ns, gt, gc, lim, stype, ss, sc, sr), 0);
  EXPECT_EQ(gc[0], 2);
  EXPECT_EQ(std::vector<int64_t>(ss, ss + 3), (std::vector<int64_t>{0, 1, 3}));
  EXPECT_EQ(std::vector<int>(sc, sc + 3), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(sr[1], 2);
  const int s0[] = {0};
  ASSERT_EQ(KRVUdelsets(p, 1, s0), 0);
  int idx = -1;
  ASSERT_EQ(KRVUgetindex(p, 3, "s2", &idx), 0);
  EXPECT_EQ(idx, 0);
  const char bad[] = {'3'};
  EXPECT_NE(KRVUaddsets64(p, 1, 0, bad, start, nullptr, nullptr), 0);
  EXPECT_NE(err().find("settype[0]"), std::string::npos) << err();
}

TEST_F(Entities, Indicators) {
  const int rows[] = {0, 1}, cols[] = {2, 3}, comp[] = {1, -1};
  ASSERT_EQ(KRVUsetindicators(p, 2, rows, cols, comp), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_INDICATORS), 2);
  int inds[2], comps[2];
  ASSERT_EQ(KRVUgetindicators(p, inds, comps, 0, 1), 0);
  EXPECT_EQ(inds[1], 3);
  EXPECT_EQ(comps[1], -1);
  // Deleting the indicator column of row 0 leaves a plain row; row 1's
  // column is renumbered.
  const int d[] = {2};
  ASSERT_EQ(KRVUdelcols(p, 1, d), 0);
  ASSERT_EQ(KRVUgetindicators(p, inds, comps, 0, 1), 0);
  EXPECT_EQ(inds[0], -1);
  EXPECT_EQ(comps[0], 0);
  EXPECT_EQ(inds[1], 2);
  ASSERT_EQ(KRVUdelindicators(p, 0, 1), 0);
  EXPECT_EQ(attr(KRVU_ATTR_INDICATORS), 0);
  const int badcomp[] = {2};
  EXPECT_NE(KRVUsetindicators(p, 1, rows, cols, badcomp), 0);
  EXPECT_NE(err().find("complement[0]"), std::string::npos);
}

TEST_F(Entities, GeneralAndPiecewiseLinearConstraints) {
  // y3 = max(x0, x1, 2.5), y2 = abs(x0)
  const int type[] = {KRVU_GENCONS_MAX, KRVU_GENCONS_ABS}, res[] = {3, 2};
  const int64_t cs[] = {0, 2}, vs[] = {0, 1};
  const int col[] = {0, 1, 0};
  const double val[] = {2.5};
  ASSERT_EQ(KRVUaddgencons64(p, 2, 3, 1, type, res, cs, col, vs, val), 0) << err();
  const int pc[] = {0}, pr[] = {1};
  const int64_t ps[] = {0};
  const double px[] = {0, 1, 2}, py[] = {0, 1, 4};
  ASSERT_EQ(KRVUaddpwlcons64(p, 1, 3, pc, pr, ps, px, py), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_GENCONS), 3);
  int64_t nc = 0, nv = 0;
  ASSERT_EQ(KRVUgetgencons64(p, nullptr, nullptr, nullptr, nullptr, 0, &nc, nullptr, nullptr, 0,
                             &nv, 1, 1),
            0);
  EXPECT_EQ(nc, 1);
  EXPECT_EQ(nv, 0);
  int gt[2], gr[2], gcol[3];
  int64_t gcs[3], gvs[3];
  double gv[1];
  ASSERT_EQ(KRVUgetgencons64(p, gt, gr, gcs, gcol, 3, &nc, gvs, gv, 1, &nv, 0, 1), 0);
  EXPECT_EQ(std::vector<int64_t>(gcs, gcs + 3), (std::vector<int64_t>{0, 2, 3}));
  EXPECT_EQ(gv[0], 2.5);
  // Deleting column 1 removes it from the max; the pwl loses its resultant.
  const int d[] = {1};
  ASSERT_EQ(KRVUdelcols(p, 1, d), 0);
  ASSERT_EQ(KRVUgetgencons64(p, gt, gr, gcs, gcol, 3, &nc, gvs, gv, 1, &nv, 0, 1), 0);
  EXPECT_EQ(nc, 2);
  EXPECT_EQ(gr[0], 2);
  EXPECT_EQ(attr(KRVU_ATTR_GENCONS), 2);
  const int g0[] = {0};
  ASSERT_EQ(KRVUdelgencons(p, 1, g0), 0);
  ASSERT_EQ(KRVUgetgencons64(p, gt, gr, nullptr, nullptr, 0, &nc, nullptr, nullptr, 0, &nv, 0, 0),
            0);
  EXPECT_EQ(gt[0], KRVU_GENCONS_ABS);
  const double unsorted[] = {1, 0};
  EXPECT_NE(KRVUaddpwlcons64(p, 1, 2, pc, pc, ps, unsorted, py), 0);
  EXPECT_NE(err().find("sorted"), std::string::npos) << err();
  EXPECT_NE(KRVUgetpwlcons64(p, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &nc, 0, 0), 0);
}

TEST_F(Entities, CopyIsIndependent) {
  const int64_t st[] = {0};
  const int ci[] = {0};
  const double v[] = {3};
  const char rt[] = {'E'};
  const double rhs[] = {6};
  ASSERT_EQ(KRVUaddrows64(p, 1, 1, rt, rhs, nullptr, st, ci, v), 0);
  ASSERT_EQ(KRVUaddnames(p, 2, "a", 0, 0), 0);
  KRVUprob q = nullptr;
  ASSERT_EQ(KRVUcreateprob(&q), 0);
  ASSERT_EQ(KRVUcopyprob(q, p, "copy"), 0) << err();
  const int d[] = {0};
  ASSERT_EQ(KRVUdelcols(p, 1, d), 0);
  double c = 0;
  ASSERT_EQ(KRVUgetcoef(q, 2, 0, &c), 0);
  EXPECT_EQ(c, 3);
  int idx = -1;
  ASSERT_EQ(KRVUgetindex(q, 2, "a", &idx), 0);
  EXPECT_EQ(idx, 0);
  char name[16];
  KRVUgetprobname(q, name);
  EXPECT_STREQ(name, "copy");
  EXPECT_NE(KRVUcopyprob(q, q, nullptr), 0);
  KRVUdestroyprob(q);
}

}  // namespace
