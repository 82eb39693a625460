// Infeasibility repair against penalty models built independently here
// (bounds relaxed by substitution, not by rows as the library does).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "analysis_fixture.h"

namespace {

using testing_analysis::AnalysisTest;

class Repair : public AnalysisTest {
 protected:
  struct Model {
    int m = 0, n = 0;
    std::vector<char> rt, ct;
    std::vector<double> rhs, rng, lb, ub, obj;
    std::vector<std::vector<std::pair<int, double>>> cols;  // (row, value) per column
  };
  Model snapshot() {
    Model d;
    d.m = rows();
    d.n = cols();
    d.rt.resize(d.m);
    d.rhs.resize(d.m);
    d.rng.resize(d.m);
    d.lb.resize(d.n);
    d.ub.resize(d.n);
    d.ct.resize(d.n);
    d.obj.resize(d.n);
    if (d.m) {
      KRVUgetrowtype(p, d.rt.data(), 0, d.m - 1);
      KRVUgetrhs(p, d.rhs.data(), 0, d.m - 1);
      KRVUgetrhsrange(p, d.rng.data(), 0, d.m - 1);
    }
    KRVUgetlb(p, d.lb.data(), 0, d.n - 1);
    KRVUgetub(p, d.ub.data(), 0, d.n - 1);
    KRVUgetcoltype(p, d.ct.data(), 0, d.n - 1);
    KRVUgetobj(p, d.obj.data(), 0, d.n - 1);
    d.cols.resize(d.n);
    for (int j = 0; j < d.n; ++j) {
      int64_t nz = 0;
      KRVUgetcols64(p, nullptr, nullptr, nullptr, 0, &nz, j, j);
      std::vector<int64_t> st(2);
      std::vector<int> ri(nz + 1);
      std::vector<double> v(nz + 1);
      KRVUgetcols64(p, st.data(), ri.data(), v.data(), nz, &nz, j, j);
      for (int64_t e = 0; e < nz; ++e) d.cols[j].emplace_back(ri[e], v[e]);
    }
    return d;
  }
  static bool has_up(const Model &d, int i) {
    return d.rt[i] == 'L' || d.rt[i] == 'E' || d.rt[i] == 'R';
  }
  static bool has_lo(const Model &d, int i) {
    return d.rt[i] == 'G' || d.rt[i] == 'E' || d.rt[i] == 'R';
  }
  // The least weighted violation, from a penalty model where a relaxed
  // bound is a copy of its column (x = x' - q + u with x' in its bounds).
  double independent_penalty(const Model &d, const std::vector<double> &lrp,
                             const std::vector<double> &grp, const std::vector<double> &lbp,
                             const std::vector<double> &ubp, bool integer) {
    KRVUprob q;
    EXPECT_EQ(KRVUcreateprob(&q), 0);
    KRVUsetintcontrol(q, 8030, 0);
    std::vector<double> obj;
    std::vector<int64_t> st{0};
    std::vector<int> ri;
    std::vector<double> v, lb, ub;
    std::vector<char> types;
    auto column = [&](const std::vector<std::pair<int, double>> &c, double sign, double cost,
                      double l, double u, char t) {
      for (auto &e : c) {
        ri.push_back(e.first);
        v.push_back(sign * e.second);
      }
      st.push_back(static_cast<int64_t>(v.size()));
      obj.push_back(cost);
      lb.push_back(l);
      ub.push_back(u);
      types.push_back(t);
    };
    for (int j = 0; j < d.n; ++j) column(d.cols[j], 1, 0, d.lb[j], d.ub[j], integer ? d.ct[j] : 'C');
    for (int i = 0; i < d.m; ++i) {
      if (has_up(d, i) && lrp[i] > 0) column({{i, 1.0}}, -1, 1 / lrp[i], 0, KRVU_INFINITY, 'C');
      if (has_lo(d, i) && grp[i] > 0) column({{i, 1.0}}, 1, 1 / grp[i], 0, KRVU_INFINITY, 'C');
    }
    for (int j = 0; j < d.n; ++j) {
      if (lbp[j] > 0 && d.lb[j] > -KRVU_INFINITY)
        column(d.cols[j], -1, 1 / lbp[j], 0, KRVU_INFINITY, integer ? d.ct[j] : 'C');
      if (ubp[j] > 0 && d.ub[j] < KRVU_INFINITY)
        column(d.cols[j], 1, 1 / ubp[j], 0, KRVU_INFINITY, integer ? d.ct[j] : 'C');
    }
    st.pop_back();
    const int nc = static_cast<int>(obj.size());
    EXPECT_EQ(KRVUloadlp64(q, "pen", nc, d.m, d.rt.data(), d.rhs.data(), d.rng.data(), obj.data(),
                           st.data(), nullptr, ri.data(), v.data(), lb.data(), ub.data()),
              0);
    double val = NAN;
    if (integer) {
      std::vector<int> idx(nc);
      for (int j = 0; j < nc; ++j) idx[j] = j;
      KRVUchgcoltype(q, nc, idx.data(), types.data());
      EXPECT_EQ(KRVUmipoptimize(q, ""), 0);
      KRVUgetdblattrib(q, KRVU_ATTR_MIPBESTOBJVAL, &val);
    } else {
      EXPECT_EQ(KRVUlpoptimize(q, ""), 0);
      KRVUgetdblattrib(q, KRVU_ATTR_LPOBJVAL, &val);
    }
    KRVUdestroyprob(q);
    return val;
  }
  // The solution meets the problem relaxed by the amounts, and their
  // weighted sum is the reported violation.
  void check_relaxed(const Model &d, const std::vector<double> &x, const std::vector<double> &lrp,
                     const std::vector<double> &grp, const std::vector<double> &lbp,
                     const std::vector<double> &ubp, double *weighted, bool first_phase = true) {
    std::vector<double> rl(d.m), ru(d.m), cl(d.n), cu(d.n);
    double viol = 0;
    ASSERT_EQ(KRVUgetrepairamounts(p, &viol, rl.data(), ru.data(), cl.data(), cu.data()), 0)
        << err();
    std::vector<double> act(d.m, 0.0);
    for (int j = 0; j < d.n; ++j)
      for (auto &e : d.cols[j]) act[e.first] += e.second * x[j];
    const double tol = 1e-6;
    double sum = 0;
    for (int i = 0; i < d.m; ++i) {
      if (has_up(d, i)) EXPECT_LE(act[i], d.rhs[i] + ru[i] + tol) << "row " << i;
      if (d.rt[i] == 'R') EXPECT_GE(act[i], d.rhs[i] - d.rng[i] - rl[i] - tol) << "row " << i;
      else if (has_lo(d, i)) EXPECT_GE(act[i], d.rhs[i] - rl[i] - tol) << "row " << i;
      if (lrp[i] == 0) EXPECT_EQ(ru[i], 0);
      if (grp[i] == 0) EXPECT_EQ(rl[i], 0);
      sum += (lrp[i] > 0 ? ru[i] / lrp[i] : 0) + (grp[i] > 0 ? rl[i] / grp[i] : 0);
    }
    for (int j = 0; j < d.n; ++j) {
      EXPECT_GE(x[j], d.lb[j] - cl[j] - tol) << "column " << j;
      EXPECT_LE(x[j], d.ub[j] + cu[j] + tol) << "column " << j;
      sum += (lbp[j] > 0 ? cl[j] / lbp[j] : 0) + (ubp[j] > 0 ? cu[j] / ubp[j] : 0);
    }
    if (first_phase) EXPECT_NEAR(sum, viol, 1e-6 * (1 + viol));
    else EXPECT_GE(sum, viol - 1e-7);  // the second phase may spend up to delta more
    *weighted = sum;
  }
};

TEST_F(Repair, WeightedViolationEqualsTheIndependentPenaltyOptimum) {
  // x + y >= 5, x - y = 0, x <= 2, y <= 1: infeasible.
  load({{1, 1}, {1, -1}}, "GE", {5, 0}, {1, 1}, {}, {2, 1});
  Model d = snapshot();
  const std::vector<double> lrp{1, 0.5}, grp{2, 0.5}, lbp{0, 0}, ubp{1, 4};
  int status = -1;
  ASSERT_EQ(KRVUrepairweightedinfeas(p, &status, lrp.data(), grp.data(), lbp.data(), ubp.data(),
                                     'n', 0, ""),
            0)
      << err();
  ASSERT_EQ(status, 0);
  std::vector<double> x(2);
  ASSERT_EQ(KRVUgetlpsol(p, x.data(), nullptr, nullptr, nullptr), 0) << err();
  double w = 0;
  check_relaxed(d, x, lrp, grp, lbp, ubp, &w);
  EXPECT_NEAR(w, independent_penalty(d, lrp, grp, lbp, ubp, false), 1e-7);
  EXPECT_NEAR(dattr(2310), w, 1e-7);
  // Relaxing only what cannot repair it leaves it infeasible.
  const std::vector<double> zero(2, 0.0), only_lower{0, 0};
  ASSERT_EQ(KRVUrepairweightedinfeas(p, &status, only_lower.data(), zero.data(), nullptr, nullptr,
                                     'n', 0, nullptr),
            0);
  EXPECT_EQ(status, 1);
}

TEST_F(Repair, PublicInstancesAgainstTheIndependentModel) {
  for (const char *name : {"galenet.mps", "box1.mps"}) {
    SCOPED_TRACE(name);
    if (!read(name)) GTEST_SKIP() << "instances not available";
    Model d = snapshot();
    std::vector<double> lrp(d.m), grp(d.m), lbp(d.n, 0.0), ubp(d.n);
    for (int i = 0; i < d.m; ++i) {
      lrp[i] = 1.0 + (i % 3);
      grp[i] = 1.0 / (1 + i % 2);
    }
    for (int j = 0; j < d.n; ++j) ubp[j] = j % 2 ? 0.5 : 2.0;
    int status = -1;
    ASSERT_EQ(KRVUrepairweightedinfeas(p, &status, lrp.data(), grp.data(), lbp.data(),
                                       ubp.data(), 'n', 0, ""),
              0)
        << err();
    ASSERT_EQ(status, 0);
    std::vector<double> x(d.n);
    ASSERT_EQ(KRVUgetlpsol(p, x.data(), nullptr, nullptr, nullptr), 0);
    double w = 0;
    check_relaxed(d, x, lrp, grp, lbp, ubp, &w);
    const double ind = independent_penalty(d, lrp, grp, lbp, ubp, false);
    EXPECT_NEAR(w, ind, 1e-6 * (1 + std::fabs(ind)));
    EXPECT_GT(w, 0);
  }
}

TEST_F(Repair, SecondPhaseOptimizesTheObjectiveWithinDelta) {
  // min x + 3y  s.t. x + y >= 4, x <= 1, y <= 1: the least violation is 2.
  load({{1, 1}}, "G", {4}, {1, 3}, {}, {1, 1});
  Model d = snapshot();
  const std::vector<double> lrp{0}, grp{1}, lbp{0, 0}, ubp{1, 1};
  int status = -1;
  ASSERT_EQ(KRVUrepairweightedinfeas(p, &status, lrp.data(), grp.data(), lbp.data(), ubp.data(),
                                     'o', 0.5, ""),
            0)
      << err();
  ASSERT_EQ(status, 0);
  std::vector<double> x(2);
  KRVUgetlpsol(p, x.data(), nullptr, nullptr, nullptr);
  double w = 0;
  check_relaxed(d, x, lrp, grp, lbp, ubp, &w, false);
  // With a penalty of up to 1.5 * 2 = 3 the row gives way by 3: x = 1, y = 0.
  EXPECT_NEAR(x[0] + 3 * x[1], 1, 1e-7);
  EXPECT_NEAR(w, 3, 1e-7);
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), 1, 1e-7);
  EXPECT_NEAR(dattr(2310), 2, 1e-7);
  // Only the bounds give way, x's by at most 0.5, the penalty at its least
  // (2): x = 1.5, y = 2.5, objective 9 (without the limit x = 3, y = 1: 6).
  const std::vector<double> hard{0}, lrb{0}, grb{0}, lbb{0, 0}, ubb{0.5, KRVU_INFINITY};
  ASSERT_EQ(KRVUrepairweightedinfeasbounds(p, &status, lrp.data(), hard.data(), lbp.data(),
                                           ubp.data(), 'o', 0, lrb.data(), grb.data(), lbb.data(),
                                           ubb.data(), ""),
            0)
      << err();
  ASSERT_EQ(status, 0);
  std::vector<double> cu(2);
  KRVUgetrepairamounts(p, nullptr, nullptr, nullptr, nullptr, cu.data());
  EXPECT_NEAR(cu[0], 0.5, 1e-7);
  EXPECT_NEAR(cu[1], 1.5, 1e-7);
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), 9, 1e-6);
  ASSERT_EQ(KRVUrepairweightedinfeas(p, &status, lrp.data(), hard.data(), lbp.data(), ubp.data(),
                                     'o', 0, ""),
            0);
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), 6, 1e-6);
}

TEST_F(Repair, IntegerColumnsStayIntegerAndArgumentsAreChecked) {
  // 2x = 3 over integer x in [0, 5]: the row must give way by 1 (x = 1 or 2).
  load({{2}}, "E", {3}, {1}, {}, {5});
  const int col = 0;
  const char it = 'I';
  KRVUchgcoltype(p, 1, &col, &it);
  Model d = snapshot();
  int status = -1;
  ASSERT_EQ(KRVUrepairinfeas(p, &status, 'c', 'n', 'n', 1, 1, 0, 0, 0), 0) << err();
  ASSERT_EQ(status, 0);
  double x = NAN;
  ASSERT_EQ(KRVUgetmipsol(p, &x, nullptr), 0) << err();
  EXPECT_NEAR(x, std::round(x), 1e-9);
  const std::vector<double> one{1}, zero{0};
  EXPECT_NEAR(dattr(2310), independent_penalty(d, one, one, zero, zero, true), 1e-7);
  // Relaxed integrality: x = 1.5, no violation at all.
  ASSERT_EQ(KRVUrepairinfeas(p, &status, 'c', 'n', 'r', 1, 1, 0, 0, 0), 0);
  EXPECT_NEAR(dattr(2310), 0, 1e-9);
  // Quadratic penalty of a continuous problem: w v^2.
  const char ct = 'C';
  KRVUchgcoltype(p, 1, &col, &ct);
  const int row = 0;
  const double r = 20;
  KRVUchgrhs(p, 1, &row, &r);  // x = 10 > 5: relax the row or the bound
  ASSERT_EQ(KRVUrepairinfeas(p, &status, 'q', 'n', 'n', 1, 1, 0, 1, 0), 0) << err();
  ASSERT_EQ(status, 0);
  // Minimize v_row^2 + v_ub^2 with 2(5 + v_ub) + v_row = 20: v_ub = 4, v_row = 2.
  double rl[1], ru[1], cl[1], cu[1], viol;
  KRVUgetrepairamounts(p, &viol, rl, ru, cl, cu);
  EXPECT_NEAR(cu[0], 4, 1e-5);
  EXPECT_NEAR(rl[0], 2, 1e-5);
  EXPECT_NEAR(viol, 20, 1e-4);
  // Argument checks name the argument.
  EXPECT_NE(KRVUrepairinfeas(p, &status, 'x', 'n', 'n', 1, 1, 0, 0, 0), 0);
  EXPECT_NE(err().find("'pflags'"), std::string::npos) << err();
  EXPECT_NE(KRVUrepairinfeas(p, &status, 'c', 'n', 'n', -1, 1, 0, 0, 0), 0);
  EXPECT_NE(err().find("'lrp'"), std::string::npos) << err();
  const double bad[1] = {NAN};
  EXPECT_NE(KRVUrepairweightedinfeas(p, &status, bad, nullptr, nullptr, nullptr, 'n', 0, ""), 0);
  EXPECT_NE(err().find("lrp[0]"), std::string::npos) << err();
  EXPECT_NE(KRVUrepairweightedinfeas(p, &status, one.data(), nullptr, nullptr, nullptr, 'z', 0, ""),
            0);
  EXPECT_NE(err().find("'phase2'"), std::string::npos) << err();
  // A change of the model drops the amounts.
  KRVUchgrhs(p, 1, &row, &r);
  EXPECT_NE(KRVUgetrepairamounts(p, &viol, nullptr, nullptr, nullptr, nullptr), 0);
}

}  // namespace

namespace {

using Refine = testing_analysis::AnalysisTest;

TEST_F(Refine, FixesTheIntegersAndPolishesTheRest) {
  // min x + 2y + z  s.t. x + y + z >= 2.5, y - z >= -1, x integer in [0, 10],
  // y semi-continuous (0 or in [1, 4]); row 2 (z <= 0.2) holds only when b = 1.
  load({{1, 1, 1, 0}, {0, 1, -1, 0}, {0, 0, 1, 0}}, "GGL", {2.5, -1, 0.2}, {1, 2, 1, 0}, {},
       {10, 4, KRVU_INFINITY, 1});
  const int ci[3] = {0, 1, 3};
  const char ct[3] = {'I', 'S', 'B'};
  ASSERT_EQ(KRVUchgcoltype(p, 3, ci, ct), 0);
  const int yc = 1;
  const double lim = 1;
  ASSERT_EQ(KRVUchgglblimit(p, 1, &yc, &lim), 0);
  const int row = 2, ind = 3, comp = 1;
  ASSERT_EQ(KRVUsetindicators(p, 1, &row, &ind, &comp), 0) << err();
  struct Case {
    std::vector<double> given;
    int status;
    std::vector<double> expect;
  };
  const std::vector<Case> cases{
      // b = 0 drops row 2; y off: z = 0.5 makes row 0 hold.
      {{2.0000003, 0.01, 0.7, 0}, 0, {2, 0, 0.5, 0}},
      // b = 1 keeps z <= 0.2, and with y off row 0 cannot hold.
      {{2, 0.01, 0.7, 1}, 1, {2, 0.01, 0.7, 1}},
      // y on: it takes its limit 1, z = 0.
      {{2, 1.3, 0.1, 1}, 0, {2, 1, 0, 1}},
  };
  for (const Case &c : cases) {
    std::vector<double> out(4, NAN);
    int status = -1;
    ASSERT_EQ(KRVUrefinemipsol(p, 0, "", c.given.data(), out.data(), &status), 0) << err();
    EXPECT_EQ(status, c.status);
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(out[j], c.expect[j], 1e-9) << j;
  }
  // Integer values come back exact.
  std::vector<double> out(4);
  int status = -1;
  KRVUrefinemipsol(p, 0, "", cases[0].given.data(), out.data(), &status);
  EXPECT_EQ(out[0], 2.0);
  EXPECT_NE(KRVUrefinemipsol(p, 1, "", cases[0].given.data(), out.data(), &status), 0);
  EXPECT_NE(err().find("'options'"), std::string::npos) << err();
  EXPECT_NE(KRVUrefinemipsol(p, 0, "", nullptr, out.data(), &status), 0);
  EXPECT_NE(err().find("'solution'"), std::string::npos) << err();
}

}  // namespace

namespace {

class Tuner : public testing_analysis::AnalysisTest {};

void collect_lines(KRVUprob, void *data, const char *msg, int, int) {
  static_cast<std::vector<std::string> *>(data)->push_back(msg);
}

TEST_F(Tuner, MethodFilesRoundTripAndRefuseBadLines) {
  const std::string path = ::testing::TempDir() + "krvu_method.txt";
  ASSERT_EQ(KRVUtunerwritemethod(p, path.c_str()), 0) << err();
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("[lp]\nlpalgorithm = 2, 3, 4\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("[mip]\nheureffort = 0, 0.2, 0.5\n"), std::string::npos);
  struct Case {
    const char *text, *expect;
  };
  const Case cases[] = {
      {"[lp]\nnosuch = 1\n", ":2: unknown control 'nosuch'"},
      {"presolve = 1\n", ":1: expected a section [lp] or [mip] first"},
      {"[lp]\npresolve = 0, 2\n", ":2: 2 is out of the range [0, 1] of 'presolve'"},
      {"[lp]\nlpalgorithm = 2.5\n", ":2: control 'lpalgorithm' takes integers"},
      {"[lp]\npresolve = 0\npresolve = 1\n", ":3: control 'presolve' is listed twice"},
      {"[qp]\n", ":1: unknown section '[qp]'"},
  };
  for (const Case &c : cases) {
    std::ofstream(path) << c.text;
    EXPECT_NE(KRVUtunerreadmethod(p, path.c_str()), 0) << c.text;
    EXPECT_NE(err().find(path + c.expect), std::string::npos) << err();
  }
  std::ofstream(path) << "# mine\n[lp]\npresolve = 0\n[mip]\n";
  ASSERT_EQ(KRVUtunerreadmethod(p, path.c_str()), 0) << err();
  ASSERT_EQ(KRVUtunerwritemethod(p, path.c_str()), 0);
  std::ifstream in2(path);
  std::stringstream t2;
  t2 << in2.rdbuf();
  EXPECT_NE(t2.str().find("[lp]\npresolve = 0\n[mip]\n"), std::string::npos) << t2.str();
  std::remove(path.c_str());
}

TEST_F(Tuner, KeepsTheStartingSettingsUnlessARunBeatsThem) {
  if (!read("25fv47.mps")) GTEST_SKIP() << "instances not available";
  std::vector<std::string> lines;
  KRVUaddcbmessage(p, collect_lines, &lines, 0);
  KRVUsetdblcontrol(p, 7310, 3.0);
  // A method whose only alternative cannot finish: an iteration limit of 5.
  const std::string path = ::testing::TempDir() + "krvu_method2.txt";
  std::ofstream(path) << "[lp]\niterlimit = 5\n";
  ASSERT_EQ(KRVUtunerreadmethod(p, path.c_str()), 0);
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(KRVUtune(p, "l"), 0) << err();
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LE(took, 3.0 * 1.1 + 0.2);
  // The iteration limit stops the run unfinished: never better.
  int it = 0;
  KRVUgetintcontrol(p, 8000, &it);
  EXPECT_NE(it, 5);
  const bool table = std::any_of(lines.begin(), lines.end(), [](const std::string &s) {
    return s.find("start") != std::string::npos;
  });
  EXPECT_TRUE(table);
  EXPECT_NE(KRVUtune(p, "lg"), 0);
  EXPECT_NE(err().find("exclude"), std::string::npos);
  std::remove(path.c_str());
}

}  // namespace
