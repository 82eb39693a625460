// The nonlinear part of a problem: formula coefficients and row/column properties.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "krvu.h"
#include "kslp.h"

namespace {

class SlpModel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(KRVUinit(nullptr), 0);
    ASSERT_EQ(KSLPinit(), 0);
    ASSERT_EQ(KRVUcreateprob(&prob), 0);
    char types[] = {'L', 'E'};
    double rhs[] = {4.0, 0.0};
    ASSERT_EQ(KRVUloadlp(prob, "nl", 3, 2, types, rhs, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr),
              0);
    ASSERT_EQ(KSLPcreateprob(&slp, &prob), 0);
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
  KRVUprob prob = nullptr;
  KSLPprob slp = nullptr;
};

TEST_F(SlpModel, CoefficientsAreStoredCountedAndDeleted) {
  // x0 * sin(x1) in row 0 and exp(x2) standing alone in row 1.
  int rows[] = {0, 1}, cols[] = {0, -1}, starts[] = {0, 4, 8};
  double factors[] = {1.0, 2.0};
  int types[] = {22, 10, 12, 0, 22, 10, 12, 0};
  double values[] = {0, 1, 27, 0, 0, 2, 16, 0};
  ASSERT_EQ(KSLPaddcoefs(slp, 2, rows, cols, factors, starts, 1, types, values), 0);
  int n = 0, v = 0;
  ASSERT_EQ(KSLPgetcoefs(slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 2);
  std::vector<int> r(n), c(n);
  ASSERT_EQ(KSLPgetcoefs(slp, &n, r.data(), c.data()), 0);
  EXPECT_EQ(r, (std::vector<int>{0, 1}));
  EXPECT_EQ(c, (std::vector<int>{0, -1}));
  KSLPgetintattrib(slp, KSLP_ATTR_COEFFICIENTS, &v);
  EXPECT_EQ(v, 2);
  KSLPgetintattrib(slp, KSLP_ATTR_NONLINEARROWS, &v);
  EXPECT_EQ(v, 2);
  KSLPgetintattrib(slp, KSLP_ATTR_ROWS, &v);
  EXPECT_EQ(v, 2);
  KSLPgetintattrib(slp, KSLP_ATTR_COLS, &v);
  EXPECT_EQ(v, 3);
  ASSERT_EQ(KSLPdelcoefs(slp, 1, &rows[0], &cols[0]), 0);
  KSLPgetcoefs(slp, &n, nullptr, nullptr);
  EXPECT_EQ(n, 1);
}

TEST_F(SlpModel, DeletingRowsAndColumnsRenumbersCoefficientsWithOneMap) {
  // Row 0: x2 * sin(x1); row 1: exp(x0) alone and x2 * x2 (formula in column 2).
  int rows[] = {0, 1, 1}, cols[] = {2, -1, 2}, starts[] = {0, 4, 8, 10};
  int types[] = {22, 10, 12, 0, 22, 10, 12, 0, 10, 0};
  double values[] = {0, 1, 27, 0, 0, 0, 16, 0, 2, 0};
  ASSERT_EQ(KSLPaddcoefs(slp, 3, rows, cols, nullptr, starts, 1, types, values), 0);
  int detrow = 1;
  ASSERT_EQ(KSLPchgvar(slp, 2, &detrow, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr), 0);
  // Column 0 goes: exp(x0) is dropped, column 2 becomes 1 inside and outside formulas.
  int del = 0;
  ASSERT_EQ(KRVUdelcols(prob, 1, &del), 0);
  int n = 0;
  ASSERT_EQ(KSLPgetcoefs(slp, &n, nullptr, nullptr), 0);
  ASSERT_EQ(n, 2);
  std::vector<int> r(n), c(n);
  ASSERT_EQ(KSLPgetcoefs(slp, &n, r.data(), c.data()), 0);
  EXPECT_EQ(r, (std::vector<int>{0, 1}));
  EXPECT_EQ(c, (std::vector<int>{1, 1}));
  double factor = 0, tv[8];
  int nt = 0, tt[8];
  ASSERT_EQ(KSLPgetcoefformula(slp, 0, 1, &factor, 1, 8, &nt, tt, tv), 0);
  ASSERT_EQ(nt, 4);
  EXPECT_EQ(tv[1], 0.0);  // x1 is column 0 now
  ASSERT_EQ(KSLPgetcoefformula(slp, 1, 1, &factor, 1, 8, &nt, tt, tv), 0);
  EXPECT_EQ(tv[0], 1.0);
  int d = -5;
  ASSERT_EQ(KSLPgetvar(slp, 1, &d, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(d, 1);
  // Row 0 goes: its coefficient with it; row 1 becomes row 0, and so does the determining row.
  del = 0;
  ASSERT_EQ(KRVUdelrows(prob, 1, &del), 0);
  ASSERT_EQ(KSLPgetcoefs(slp, &n, nullptr, nullptr), 0);
  ASSERT_EQ(n, 1);
  ASSERT_EQ(KSLPgetcoefs(slp, &n, r.data(), c.data()), 0);
  EXPECT_EQ(r[0], 0);
  ASSERT_EQ(KSLPgetvar(slp, 1, &d, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(d, 0);
}

TEST_F(SlpModel, BadCoefficientsAreRefusedWhole) {
  int rows[] = {0, 5}, cols[] = {0, 0}, starts[] = {0, 2, 4};
  int types[] = {10, 0, 10, 0};
  double values[] = {0, 0, 1, 0};
  EXPECT_NE(KSLPaddcoefs(slp, 2, rows, cols, nullptr, starts, 1, types, values), 0);
  EXPECT_NE(error().find("rowindex"), std::string::npos) << error();
  int n = -1;
  KSLPgetcoefs(slp, &n, nullptr, nullptr);
  EXPECT_EQ(n, 0);  // the valid first coefficient was not kept either
  EXPECT_NE(KSLPaddcoefs(slp, 1, rows, cols, nullptr, starts, 0, types, values), 0);
  EXPECT_NE(KSLPaddcoefs(slp, 1, nullptr, cols, nullptr, starts, 1, types, values), 0);
}

TEST_F(SlpModel, RowStatusDeterminingRowsAndSolving) {
  int status = 0x800;
  ASSERT_EQ(KSLPchgrowstatus(slp, 1, &status), 0);
  status = 0;
  ASSERT_EQ(KSLPgetrowstatus(slp, 1, &status), 0);
  EXPECT_EQ(status, 0x800);
  EXPECT_NE(KSLPgetrowstatus(slp, 2, &status), 0);
  int det = 1;
  ASSERT_EQ(KSLPchgvar(slp, 2, &det, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr),
            0);
  det = 7;
  EXPECT_NE(KSLPchgvar(slp, 2, &det, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr),
            0);
  // Every property given is kept, the others stay as they were.
  double isb = 0.5, sb = 0.25, pen = 2, damp = 0.5, iv = 3, val = 4;
  int tol = 0, hist = 2, conv = 1, vt = 2;
  ASSERT_EQ(KSLPchgvar(slp, 1, nullptr, &isb, &sb, &pen, &damp, &iv, &val, &tol, &hist, &conv, &vt), 0);
  double stepbound = 9;
  ASSERT_EQ(KSLPchgvar(slp, 1, nullptr, nullptr, &stepbound, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr),
            0);
  int d, t, h, c, v, la, dt, idx;
  double g[7];
  ASSERT_EQ(KSLPgetvar(slp, 1, &d, &g[0], &g[1], &g[2], &g[3], &g[4], &g[5], &t, &h, &c, &v, &la,
                       &dt, &idx, &g[6]),
            0);
  EXPECT_EQ(d, -1);
  EXPECT_EQ(g[0], 0.5);
  EXPECT_EQ(g[1], 9);
  EXPECT_EQ(g[2], 2);
  EXPECT_EQ(g[3], 0.5);
  EXPECT_EQ(g[4], 3);
  EXPECT_EQ(g[5], 4);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(c, 1);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(idx, 1);
  // Refusals leave everything as it was.
  double bad = 2;
  int badtol = 3;
  EXPECT_NE(KSLPchgvar(slp, 1, nullptr, nullptr, &stepbound, nullptr, &bad, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_NE(error().find("damp"), std::string::npos) << error();
  EXPECT_NE(KSLPchgvar(slp, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &badtol, nullptr, nullptr, nullptr),
            0);
  ASSERT_EQ(KSLPgetvar(slp, 1, nullptr, nullptr, nullptr, nullptr, &g[3], nullptr, nullptr, &t,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(g[3], 0.5);
  EXPECT_EQ(t, 0);
  // No solve yet: no solution to read.
  double x[3];
  EXPECT_NE(KSLPgetslpsol(slp, x, nullptr, nullptr, nullptr), 0);
}

}  // namespace
