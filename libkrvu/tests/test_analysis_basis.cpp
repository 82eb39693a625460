// Basis solves, pivots, ranging, stability, scaling, crossover and message
// settings, checked against independent dense computations and re-solves.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "analysis_fixture.h"

namespace {

using testing_analysis::AnalysisTest;
using testing_analysis::dense_solve;

class Basis : public AnalysisTest {
 protected:
  // max 5x1 + 4x2 + 3x3 + x5 over six rows of every type; the optimum
  // (13.5 at x = (1, 0, 2.5, 1.5, 1)) is not degenerate, and its basis mixes
  // columns and slacks, with x5 nonbasic at its upper bound.
  static constexpr int kM = 6, kN = 5;
  const std::vector<std::vector<double>> A{{2, 3, 1, 0, 0.5}, {4, 1, 2, 0, 0}, {3, 4, 2, 0, 0},
                                           {1, 1, 1, 0, 0},   {1, 0, -1, 0, 0}, {0, 1, 0, 1, 0}};
  const std::vector<double> c0{5, 4, 3, 0, 1}, b0{5, 11, 8, 1, 10, 1.5};
  void small_lp() {
    load(A, "LLLGRE", b0, c0, {}, {KRVU_INFINITY, KRVU_INFINITY, KRVU_INFINITY, 3, 1},
         {0, 0, 0, 0, 20, 0});
    ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  }
  double solve_obj() {
    EXPECT_EQ(KRVUlpoptimize(p, ""), 0) << err();
    return attr(KRVU_ATTR_LPSTATUS) == KRVU_LP_OPTIMAL ? dattr(KRVU_ATTR_LPOBJVAL) : NAN;
  }
  // B z = v and B' y = c checked with the dense basis matrix.
  void check_solves() {
    const int m = rows();
    std::vector<double> B = basis_matrix();
    for (int trial = 0; trial < 3; ++trial) {
      std::vector<double> v(m), z;
      for (int i = 0; i < m; ++i) v[i] = std::sin(1.0 + i * (trial + 1)) * (i % 3 + 1);
      z = v;
      ASSERT_EQ(KRVUftran(p, z.data()), 0) << err();
      for (int i = 0; i < m; ++i) {
        double s = 0;
        for (int k = 0; k < m; ++k) s += B[static_cast<size_t>(i) * m + k] * z[k];
        EXPECT_NEAR(s, v[i], 1e-8 * (1 + std::fabs(v[i]))) << "ftran row " << i;
      }
      std::vector<double> y = v;
      ASSERT_EQ(KRVUbtran(p, y.data()), 0) << err();
      for (int k = 0; k < m; ++k) {
        double s = 0;
        for (int i = 0; i < m; ++i) s += B[static_cast<size_t>(i) * m + k] * y[i];
        EXPECT_NEAR(s, v[k], 1e-8 * (1 + std::fabs(v[k]))) << "btran position " << k;
      }
    }
  }
};

TEST_F(Basis, CallsBeforeASolveFailNamingWhatIsMissing) {
  small_lp();
  std::vector<double> v(kM, 1.0), lo(kN), up(kN);
  std::vector<int> piv(kM), idx{0, 1, 2, 3, 4};
  EXPECT_NE(KRVUftran(p, v.data()), 0);
  EXPECT_NE(err().find("no basis"), std::string::npos) << err();
  EXPECT_NE(KRVUgetpivotorder(p, piv.data()), 0);
  EXPECT_NE(KRVUobjsa(p, kN, idx.data(), lo.data(), up.data()), 0);
  EXPECT_NE(err().find("KRVUlpoptimize"), std::string::npos) << err();
  double obj;
  int npiv;
  EXPECT_NE(KRVUgetpivots(p, 0, nullptr, nullptr, &obj, &npiv, 0), 0);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  EXPECT_NE(KRVUftran(p, nullptr), 0);
  EXPECT_NE(err().find("'vec'"), std::string::npos) << err();
  idx[2] = 9;
  EXPECT_NE(KRVUobjsa(p, kN, idx.data(), lo.data(), up.data()), 0);
  EXPECT_NE(err().find("mindex[2]"), std::string::npos) << err();
  double val;
  EXPECT_NE(KRVUbasisstability(p, 7, 0, 0, &val), 0);
  EXPECT_NE(err().find("'type'"), std::string::npos) << err();
  // A change of the model drops the solution the ranging needs.
  const int col = 0;
  const double cost = 6;
  KRVUchgobj(p, 1, &col, &cost);
  idx[2] = 2;
  EXPECT_NE(KRVUobjsa(p, kN, idx.data(), lo.data(), up.data()), 0);
}

TEST_F(Basis, FtranAndBtranInvertTheBasisMatrix) {
  small_lp();
  solve_obj();
  check_solves();
  // The pivot order lists exactly the basic variables of KRVUgetbasis.
  std::vector<int> rs(kM), cs(kN), piv(kM);
  ASSERT_EQ(KRVUgetbasis(p, rs.data(), cs.data()), 0);
  ASSERT_EQ(KRVUgetpivotorder(p, piv.data()), 0);
  std::vector<int> basic;
  for (int i = 0; i < kM; ++i)
    if (rs[i] == 1) basic.push_back(i);
  for (int j = 0; j < kN; ++j)
    if (cs[j] == 1) basic.push_back(kM + j);
  std::sort(piv.begin(), piv.end());
  EXPECT_EQ(piv, basic);
}

TEST_F(Basis, SolvesStayInTheProblemsUnitsUnderScaling) {
  if (!read("afiro.mps")) GTEST_SKIP() << "instances not available";
  const double obj0 = solve_obj();
  check_solves();
  std::vector<int> rexp(rows()), cexp(cols());
  for (int i = 0; i < rows(); ++i) rexp[i] = (i % 5) - 2;
  for (int j = 0; j < cols(); ++j) cexp[j] = 3 - (j % 7);
  ASSERT_EQ(KRVUscale(p, rexp.data(), cexp.data()), 0) << err();
  EXPECT_NEAR(solve_obj(), obj0, 1e-7 * std::fabs(obj0));
  check_solves();
  // The library's own scaling, then none.
  ASSERT_EQ(KRVUscale(p, nullptr, nullptr), 0) << err();
  EXPECT_NEAR(solve_obj(), obj0, 1e-7 * std::fabs(obj0));
  double ray_free_x[64];
  ASSERT_LE(cols(), 64);
  ASSERT_EQ(KRVUgetlpsol(p, ray_free_x, nullptr, nullptr, nullptr), 0);
  double calc;
  ASSERT_EQ(KRVUcalcobjective(p, ray_free_x, &calc), 0);
  EXPECT_NEAR(calc, obj0, 1e-7 * std::fabs(obj0));
  std::vector<int> zero_r(rows(), 0), zero_c(cols(), 0);
  ASSERT_EQ(KRVUscale(p, zero_r.data(), zero_c.data()), 0);
  EXPECT_NEAR(solve_obj(), obj0, 1e-7 * std::fabs(obj0));
  rexp[0] = 99;
  EXPECT_NE(KRVUscale(p, rexp.data(), nullptr), 0);
  EXPECT_NE(err().find("mrscal[0]"), std::string::npos) << err();
}

// The ratio test recomputed densely for every nonbasic variable.
TEST_F(Basis, PivotsAgreeWithADenseRatioTest) {
  small_lp();
  solve_obj();
  const int m = kM, n = kN;
  std::vector<double> B = basis_matrix(), x(n), slack(m), dual(m), dj(n);
  std::vector<int> rs(m), cs(n), piv(m);
  KRVUgetbasis(p, rs.data(), cs.data());
  KRVUgetpivotorder(p, piv.data());
  KRVUgetlpsol(p, x.data(), slack.data(), dual.data(), dj.data());
  const double inf = INFINITY;
  // Bounds of the combined variables: slacks of L L L G R(20) E, then columns.
  std::vector<double> lo{0, 0, 0, -inf, 0, 0, 0, 0, 0, 0, 0},
      up{inf, inf, inf, 0, 20, 0, inf, inf, inf, 3, 1};
  std::vector<double> z(slack);
  z.insert(z.end(), x.begin(), x.end());
  int tested = 0;
  for (int q = 0; q < m + n; ++q) {
    const int st = q < m ? rs[q] : cs[q - m];
    if (st == 1) continue;
    std::vector<double> a(m, 0.0);
    if (q < m) a[q] = 1;
    else
      for (int i = 0; i < m; ++i) a[i] = A[i][q - m];
    ASSERT_TRUE(dense_solve(B, a, m));
    // Slack statuses refer to the activity: at its upper limit the slack is at 0 (its lower).
    bool at_upper = q < m ? st == 0 : st == 2;
    if (q < m && lo[q] == -inf) at_upper = true;
    const double dir = at_upper ? -1 : 1;
    double tmin = up[q] - lo[q];
    for (int k = 0; k < m; ++k) {
      const double rate = -dir * a[k];
      const int v = piv[k];
      if (rate > 1e-9 && up[v] < inf) tmin = std::min(tmin, (up[v] - z[v]) / rate);
      if (rate < -1e-9 && lo[v] > -inf) tmin = std::min(tmin, (z[v] - lo[v]) / -rate);
    }
    double obj;
    int npiv = -1;
    std::vector<int> out(m + 1);
    std::vector<double> xnew(m + n);
    ASSERT_EQ(KRVUgetpivots(p, q, out.data(), xnew.data(), &obj, &npiv, m + 1), 0) << err();
    if (std::isinf(tmin)) {
      EXPECT_EQ(npiv, 0) << q;
      continue;
    }
    ++tested;
    ASSERT_GE(npiv, 1) << q;
    EXPECT_NEAR(xnew[q], z[q] + dir * tmin, 1e-9) << q;
    for (int k = 0; k < m; ++k)
      EXPECT_NEAR(xnew[piv[k]], z[piv[k]] - dir * tmin * a[k], 1e-9) << q << " " << k;
    // Each candidate sits at a bound after the step.
    for (int c = 0; c < std::min(npiv, m + 1); ++c) {
      const int v = out[c];
      EXPECT_TRUE(std::fabs(xnew[v] - lo[v]) < 1e-9 || std::fabs(xnew[v] - up[v]) < 1e-9)
          << q << " candidate " << v;
    }
    double expect_obj = 0;
    for (int j = 0; j < n; ++j) expect_obj += c0[j] * xnew[m + j];
    EXPECT_NEAR(obj, expect_obj, 1e-9);
  }
  EXPECT_GT(tested, 0);
  // A basic variable cannot enter.
  double obj;
  int npiv;
  EXPECT_NE(KRVUgetpivots(p, piv[0], nullptr, nullptr, &obj, &npiv, 0), 0);
  EXPECT_NE(err().find("basic"), std::string::npos) << err();
}

// Every finite end of a range is checked by re-solving just inside (the
// objective follows the linear prediction of the basis) and just outside (it
// does not).
TEST_F(Basis, RangesAgreeWithResolvesInsideAndOutside) {
  small_lp();
  const double obj0 = solve_obj();
  const int m = kM, n = kN;
  std::vector<double> x(n), dual(m), clo(n), cup(n), rlo(m), rup(m);
  KRVUgetlpsol(p, x.data(), nullptr, dual.data(), nullptr);
  std::vector<int> ci{0, 1, 2, 3, 4}, ri{0, 1, 2, 3, 4, 5};
  ASSERT_EQ(KRVUobjsa(p, n, ci.data(), clo.data(), cup.data()), 0) << err();
  ASSERT_EQ(KRVUrhssa(p, m, ri.data(), rlo.data(), rup.data()), 0) << err();
  // Maximizing: the optimum is convex in a cost and concave in a
  // right-hand side, so outside a range it beats (cost) or falls short of
  // (rhs) the basis's linear prediction.
  int ends = 0;
  for (int j = 0; j < n; ++j) {
    EXPECT_LE(clo[j], c0[j]);
    EXPECT_GE(cup[j], c0[j]);
    for (double end : {clo[j], cup[j]}) {
      if (std::fabs(end) >= KRVU_INFINITY) continue;
      ++ends;
      const double out_dir = end < c0[j] ? -1 : 1;
      const double d = 1e-4 * std::max(1.0, std::fabs(end));
      for (double side : {-1.0, 1.0}) {
        const double c = end + side * out_dir * d;
        KRVUchgobj(p, 1, &j, &c);
        const double v = solve_obj();
        const double pred = obj0 + (c - c0[j]) * x[j];
        if (side < 0) EXPECT_NEAR(v, pred, 1e-7) << "cost " << j << " inside " << end;
        else EXPECT_GT(v, pred + 1e-9) << "cost " << j << " outside " << end;
      }
      KRVUchgobj(p, 1, &j, &c0[j]);
    }
  }
  for (int i = 0; i < m; ++i) {
    EXPECT_LE(rlo[i], b0[i]);
    EXPECT_GE(rup[i], b0[i]);
    for (double end : {rlo[i], rup[i]}) {
      if (std::fabs(end) >= KRVU_INFINITY) continue;
      ++ends;
      const double out_dir = end < b0[i] ? -1 : 1;
      const double d = 1e-4 * std::max(1.0, std::fabs(end));
      for (double side : {-1.0, 1.0}) {
        const double b = end + side * out_dir * d;
        KRVUchgrhs(p, 1, &i, &b);
        const double v = solve_obj();
        const double pred = obj0 + (b - b0[i]) * dual[i];
        if (side < 0) EXPECT_NEAR(v, pred, 1e-7) << "rhs " << i << " inside " << end;
        else EXPECT_TRUE(std::isnan(v) || v < pred - 1e-9) << "rhs " << i << " outside " << end;
      }
      KRVUchgrhs(p, 1, &i, &b0[i]);
    }
  }
  EXPECT_GE(ends, 12);
}

// x + y >= 2 twice (degenerate at the optimum x = 2, y = 0 of min x + 2y with
// x <= 2 also binding through a third row): the dual of a duplicated row is
// not unique.
TEST_F(Basis, RowDualRangesCoverTheOptimalDuals) {
  // min x + 2y  s.t. r0: x + y >= 2, r1: x + y >= 2, r2: x <= 5.
  load({{1, 1}, {1, 1}, {1, 0}}, "GGL", {2, 2, 5}, {1, 2}, {}, {});
  solve_obj();
  std::vector<int> ri{0, 1, 2};
  std::vector<double> lo(3), hi(3), dual(3);
  KRVUgetlpsol(p, nullptr, nullptr, dual.data(), nullptr);
  ASSERT_EQ(KRVUestimaterowdualranges(p, 3, ri.data(), 100, lo.data(), hi.data()), 0) << err();
  // Together the two rows carry a dual of 1; each alone anything in [0, 1].
  EXPECT_NEAR(lo[0], 0, 1e-9);
  EXPECT_NEAR(hi[0], 1, 1e-9);
  EXPECT_NEAR(lo[1], 0, 1e-9);
  EXPECT_NEAR(hi[1], 1, 1e-9);
  EXPECT_NEAR(lo[2], 0, 1e-9);
  EXPECT_NEAR(hi[2], 0, 1e-9);
  for (int i = 0; i < 3; ++i) {
    EXPECT_LE(lo[i], dual[i] + 1e-9);
    EXPECT_GE(hi[i], dual[i] - 1e-9);
  }
}

TEST_F(Basis, StabilityOfAKnownBasis) {
  // min -2x - 3y s.t. x + 2y <= 4, 3x + 4y <= 10: optimal at (2, 1) with the
  // basis [[1,2],[3,4]].
  load({{1, 2}, {3, 4}}, "LL", {4, 10}, {-2, -3}, {}, {});
  solve_obj();
  double v;
  // ||B||_1 = 6, ||B^-1||_1 = 3.5 (B^-1 = [[-2, 1], [1.5, -0.5]]).
  ASSERT_EQ(KRVUbasisstability(p, 0, 1, 0, &v), 0) << err();
  EXPECT_NEAR(v, 21, 1e-9);
  // ||B||_inf = 7, ||B^-1||_inf = 3.
  ASSERT_EQ(KRVUbasisstability(p, 0, 0, 0, &v), 0);
  EXPECT_NEAR(v, 21, 1e-9);
  // 2-norm condition of [[1,2],[3,4]]: sigma ratio 14.933034...
  ASSERT_EQ(KRVUbasisstability(p, 0, 2, 0, &v), 0);
  EXPECT_NEAR(v, 14.933034373659268, 1e-6);
  ASSERT_EQ(KRVUbasisstability(p, 1, 0, 0, &v), 0);
  EXPECT_LT(v, 1e-12);
  ASSERT_EQ(KRVUbasisstability(p, 2, 2, 0, &v), 0);
  EXPECT_LT(v, 1e-12);
}

TEST_F(Basis, CrossoverTurnsAnInteriorSolutionIntoABasis) {
  if (!read("afiro.mps")) GTEST_SKIP() << "instances not available";
  ASSERT_EQ(KRVUsetintcontrol(p, 8012, 0), 0);
  ASSERT_EQ(KRVUlpoptimize(p, "b"), 0) << err();
  const double obj0 = dattr(KRVU_ATTR_LPOBJVAL);
  std::vector<int> rs(rows()), cs(cols());
  EXPECT_NE(KRVUgetbasis(p, rs.data(), cs.data()), 0);
  int status = -1;
  ASSERT_EQ(KRVUcrossoverlpsol(p, &status), 0) << err();
  EXPECT_EQ(status, 0);
  ASSERT_EQ(KRVUgetbasis(p, rs.data(), cs.data()), 0) << err();
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), obj0, 1e-6 * std::fabs(obj0));
  // The basis is optimal: a warm re-solve needs no iterations.
  ASSERT_EQ(KRVUsetintcontrol(p, 8012, 1), 0);
  ASSERT_EQ(KRVUlpoptimize(p, "d"), 0);
  EXPECT_EQ(attr(1006), 0);
}

void collect(KRVUprob, void *data, const char *msg, int, int) {
  static_cast<std::vector<std::string> *>(data)->push_back(msg);
}

TEST_F(Basis, SuppressedCodesAndTheLogFile) {
  small_lp();
  std::vector<std::string> lines;
  KRVUaddcbmessage(p, collect, &lines, 0);
  const std::string path = ::testing::TempDir() + "krvu_logfile.txt";
  std::remove(path.c_str());
  ASSERT_EQ(KRVUsetlogfile(p, path.c_str()), 0) << err();
  solve_obj();
  auto has_summary = [&] {
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::string &s) { return s.rfind("LP status", 0) == 0; });
  };
  EXPECT_TRUE(has_summary());
  int st = -1;
  ASSERT_EQ(KRVUgetmessagestatus(p, KRVU_MSGCODE_LPSUMMARY, &st), 0);
  EXPECT_EQ(st, 1);
  ASSERT_EQ(KRVUsetmessagestatus(p, KRVU_MSGCODE_LPSUMMARY, 0), 0);
  KRVUgetmessagestatus(p, KRVU_MSGCODE_LPSUMMARY, &st);
  EXPECT_EQ(st, 0);
  lines.clear();
  solve_obj();
  EXPECT_FALSE(has_summary());
  ASSERT_EQ(KRVUsetlogfile(p, nullptr), 0);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  // One summary line: the first solve's (the second was suppressed).
  size_t count = 0;
  for (size_t at = text.str().find("LP status"); at != std::string::npos;
       at = text.str().find("LP status", at + 1))
    ++count;
  EXPECT_EQ(count, 1u);
  EXPECT_NE(KRVUsetmessagestatus(p, 0, 0), 0);
  EXPECT_NE(err().find("'errcode'"), std::string::npos);
  EXPECT_NE(KRVUsetlogfile(p, "/nonexistent-dir/x/log.txt"), 0);
  EXPECT_NE(err().find("/nonexistent-dir/x/log.txt"), std::string::npos);
}

TEST_F(Basis, PresolveMapAndRowAreTheIdentityOnTheHeldProblem) {
  small_lp();
  std::vector<int> rm(kM, -1), cm(kN, -1);
  ASSERT_EQ(KRVUgetpresolvemap(p, rm.data(), cm.data()), 0);
  for (int i = 0; i < kM; ++i) EXPECT_EQ(rm[i], i);
  for (int j = 0; j < kN; ++j) EXPECT_EQ(cm[j], j);
  const int cols_in[] = {3, 1, 3, 2};
  const double vals_in[] = {1.0, 2.0, -1.0, 0.5};
  int nz = -1, status = -1, cols_out[4];
  double vals_out[4], rhs = 0;
  ASSERT_EQ(KRVUpresolverow(p, 'L', 4, cols_in, vals_in, 7.0, 4, &nz, cols_out, vals_out, &rhs,
                            &status),
            0)
      << err();
  // Column 3's two entries cancel; the rest come sorted.
  EXPECT_EQ(nz, 2);
  EXPECT_EQ(cols_out[0], 1);
  EXPECT_EQ(cols_out[1], 2);
  EXPECT_EQ(vals_out[0], 2.0);
  EXPECT_EQ(rhs, 7.0);
  EXPECT_EQ(status, 0);
  EXPECT_NE(KRVUpresolverow(p, 'X', 4, cols_in, vals_in, 7.0, 4, &nz, cols_out, vals_out, &rhs,
                            &status),
            0);
  EXPECT_NE(err().find("'qrtype'"), std::string::npos);
}

}  // namespace
