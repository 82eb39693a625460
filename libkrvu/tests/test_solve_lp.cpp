// Solving continuous problems: statuses, solutions, rays, bases, invalidation.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "krvu.h"
#include "prob_fixture.h"

namespace {

class SolveLp : public ProbTest {
 protected:
  // Rows given densely, for small textbook models.
  void load(const std::vector<std::vector<double>> &a, const std::string &rt,
            const std::vector<double> &rhs, const std::vector<double> &obj,
            const std::vector<double> &lb, const std::vector<double> &ub) {
    const int m = static_cast<int>(a.size()), n = static_cast<int>(obj.size());
    std::vector<int64_t> st{0};
    std::vector<int> ri;
    std::vector<double> v;
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < m; ++i)
        if (a[i][j] != 0) {
          ri.push_back(i);
          v.push_back(a[i][j]);
        }
      st.push_back(static_cast<int64_t>(v.size()));
    }
    ASSERT_EQ(KRVUloadlp64(p, "t", n, m, rt.data(), rhs.data(), nullptr, obj.data(), st.data(),
                           nullptr, ri.data(), v.data(), lb.empty() ? nullptr : lb.data(),
                           ub.empty() ? nullptr : ub.data()),
              0)
        << err();
  }
};


// max 3x + 2y  s.t.  x + y <= 4,  x + 3y <= 7,  x <= 3: x = 3, y = 1, objective 11.
TEST_F(SolveLp, TextbookSolutionDualsAndBasis) {
  load({{1, 1}, {1, 3}}, "LL", {4, 7}, {3, 2}, {}, {3, KRVU_INFINITY});
  ASSERT_EQ(KRVUchgobjsense(p, -1), 0) << err();
  for (const char *flags : {"", "d", "p", "b"}) {
    ASSERT_EQ(KRVUlpoptimize(p, flags), 0) << err();
    EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_OPTIMAL) << flags;
    EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), 11.0, 1e-9) << flags;
    double x[2], slack[2], dual[2], dj[2];
    ASSERT_EQ(KRVUgetlpsol(p, x, slack, dual, dj), 0);
    EXPECT_NEAR(x[0], 3, 1e-9);
    EXPECT_NEAR(x[1], 1, 1e-9);
    EXPECT_NEAR(slack[0], 0, 1e-9);
    EXPECT_NEAR(slack[1], 1, 1e-9);
    // The objective rises by 2 per unit of the first row's rhs.
    EXPECT_NEAR(dual[0], 2, 1e-9);
    EXPECT_NEAR(dual[1], 0, 1e-9);
    EXPECT_NEAR(dj[0], 1, 1e-9);
    double djc[2];
    ASSERT_EQ(KRVUcalcreducedcosts(p, dual, x, djc), 0);
    EXPECT_NEAR(djc[0], dj[0], 1e-9);
    EXPECT_NEAR(djc[1], dj[1], 1e-9);
  }
  int rs[2], cs[2];
  ASSERT_EQ(KRVUgetbasis(p, rs, cs), 0);
  EXPECT_EQ(cs[0], 2);  // at its upper bound
  EXPECT_EQ(cs[1], 1);
  EXPECT_EQ(rs[1], 1);
  double x, s, d, dj;
  ASSERT_EQ(KRVUgetlpsolval(p, 1, -1, &x, &s, &d, &dj), 0);
  EXPECT_NEAR(x, 1, 1e-9);
  EXPECT_EQ(s, -KRVU_INFINITY);
  EXPECT_NE(KRVUgetlpsolval(p, 2, -1, &x, &s, &d, &dj), 0);
  // A warm start from the last basis needs no iterations.
  ASSERT_EQ(KRVUlpoptimize(p, "d"), 0);
  EXPECT_EQ(attr(1006), 0);
}

TEST_F(SolveLp, ChangesDropTheSolution) {
  load({{1, 1}}, "L", {4}, {-1, -1}, {}, {});
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_OPTIMAL);
  const char rt[] = {'L'};
  const double rhs[] = {1};
  const int64_t st[] = {0};
  const int ci[] = {0};
  const double v[] = {1};
  ASSERT_EQ(KRVUaddrows64(p, 1, 1, rt, rhs, nullptr, st, ci, v), 0);
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_UNSTARTED);
  double x[2];
  EXPECT_NE(KRVUgetlpsol(p, x, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(err().find("no LP solution"), std::string::npos) << err();
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), -4, 1e-9);
}

TEST_F(SolveLp, InfeasibleGivesDualRay) {
  // x + y <= 1, x + y >= 2
  load({{1, 1}, {1, 1}}, "LG", {1, 2}, {1, 1}, {}, {});
  KRVUsetintcontrol(p, 8010, 0);
  ASSERT_EQ(KRVUlpoptimize(p, "d"), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_INFEAS);
  int has = 0;
  ASSERT_EQ(KRVUgetdualray(p, nullptr, &has), 0);
  ASSERT_EQ(has, 1);
  double ray[2];
  ASSERT_EQ(KRVUgetdualray(p, ray, &has), 0);
  // A Farkas certificate: both rows used, with opposite signs.
  EXPECT_NE(ray[0], 0);
  EXPECT_LT(ray[0] * ray[1], 0);
  ASSERT_EQ(KRVUgetprimalray(p, nullptr, &has), 0);
  EXPECT_EQ(has, 0);
}

TEST_F(SolveLp, UnboundedGivesPrimalRay) {
  // min -x - y  s.t.  x - y <= 1
  load({{1, -1}}, "L", {1}, {-1, -1}, {}, {});
  KRVUsetintcontrol(p, 8010, 0);
  ASSERT_EQ(KRVUlpoptimize(p, "p"), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_UNBOUNDED);
  int has = 0;
  double ray[2];
  ASSERT_EQ(KRVUgetprimalray(p, ray, &has), 0);
  ASSERT_EQ(has, 1);
  EXPECT_LT(-ray[0] - ray[1], 0);   // improving
  EXPECT_LE(ray[0] - ray[1], 1e-9);  // stays feasible
  int seq = -1;
  ASSERT_EQ(KRVUgetunbvec(p, &seq), 0);
  EXPECT_GE(seq, 1);  // a column: after the one row
}

TEST_F(SolveLp, EmptyProblemSolves) {
  ASSERT_EQ(KRVUloadlp(p, "noname", 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr),
            0);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_OPTIMAL);
  EXPECT_EQ(dattr(KRVU_ATTR_LPOBJVAL), 0);
}

void on_message(KRVUprob, void *data, const char *msg, int len, int) {
  static_cast<std::vector<std::string> *>(data)->emplace_back(msg, len);
}

TEST_F(SolveLp, EngineLogReachesMessageCallbacks) {
  load({{1, 1}}, "L", {4}, {-1, -1}, {}, {});
  std::vector<std::string> lines;
  ASSERT_EQ(KRVUaddcbmessage(p, on_message, &lines, 0), 0);
  KRVUsetintcontrol(p, 8030, 1);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  ASSERT_FALSE(lines.empty());
  for (const std::string &l : lines) EXPECT_EQ(l.find('\n'), std::string::npos);
  lines.clear();
  KRVUsetintcontrol(p, KRVU_CTRL_OUTPUTLOG, 0);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  EXPECT_TRUE(lines.empty());
}

// LPs built around a known primal-dual pair: x* and y* satisfy complementary
// slackness by construction, so c'x* is the optimum.
TEST_F(SolveLp, RandomLpsWithKnownOptimum) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> u(-10, 10), pos(0.5, 5);
  for (int trial = 0; trial < 20; ++trial) {
    const int n = 30 + trial * 5, m = 20 + trial * 4;
    std::vector<std::vector<double>> a(m, std::vector<double>(n, 0.0));
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < n; ++j)
        if (rng() % 4 == 0) a[i][j] = std::round(u(rng) * 100) / 100;
    std::vector<double> lb(n), ub(n), x(n), y(m, 0.0), obj(n), rhs(m);
    std::string rt(m, 'L');
    for (int j = 0; j < n; ++j) {
      lb[j] = -pos(rng);
      ub[j] = pos(rng);
      int k = rng() % 3;
      x[j] = k == 0 ? lb[j] : k == 1 ? ub[j] : 0.5 * (lb[j] + ub[j]);
    }
    for (int i = 0; i < m; ++i) {
      double act = 0;
      for (int j = 0; j < n; ++j) act += a[i][j] * x[j];
      int k = rng() % 4;
      rt[i] = "LGEL"[k];
      bool active = rng() % 2 == 0 || rt[i] == 'E';
      rhs[i] = active ? act : (rt[i] == 'L' ? act + pos(rng) : act - pos(rng));
      if (active) y[i] = rt[i] == 'L' ? -pos(rng) : rt[i] == 'G' ? pos(rng) : u(rng);
    }
    double opt = 0;
    for (int j = 0; j < n; ++j) {
      double aty = 0;
      for (int i = 0; i < m; ++i) aty += a[i][j] * y[i];
      double dj = x[j] == lb[j] ? pos(rng) : x[j] == ub[j] ? -pos(rng) : 0.0;
      obj[j] = aty + dj;
      opt += obj[j] * x[j];
    }
    load(a, rt, rhs, obj, lb, ub);
    ASSERT_EQ(KRVUlpoptimize(p, trial % 2 ? "p" : ""), 0) << err();
    ASSERT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_OPTIMAL) << trial;
    EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), opt, 1e-7 * std::max(1.0, std::fabs(opt))) << trial;
    std::vector<double> xs(n), ys(m);
    ASSERT_EQ(KRVUgetlpsol(p, xs.data(), nullptr, ys.data(), nullptr), 0);
    double pinf = 1, dinf = 1;
    ASSERT_EQ(KRVUcalcsolinfo(p, xs.data(), ys.data(), KRVU_SOLINFO_ABSPRIMALINFEAS, &pinf), 0);
    ASSERT_EQ(KRVUcalcsolinfo(p, xs.data(), ys.data(), KRVU_SOLINFO_ABSDUALINFEAS, &dinf), 0);
    EXPECT_LT(pinf, 1e-6) << trial;
    EXPECT_LT(dinf, 1e-6) << trial;
  }
}

}  // namespace

namespace {

// Changes passed to the engine in place must give what a fresh pass of the
// changed model gives.
TEST_F(SolveLp, InPlaceChangesAgreeWithAFreshModel) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> u(-5, 5), pos(1, 5);
  const int n = 40, m = 30;
  std::vector<std::vector<double>> a(m, std::vector<double>(n, 0.0));
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j)
      if (rng() % 3 == 0) a[i][j] = u(rng);
  std::vector<double> obj(n), lb(n, -10), ub(n, 10), rhs(m);
  for (double &c : obj) c = u(rng);
  for (double &r : rhs) r = pos(rng);
  load(a, std::string(m, 'L'), rhs, obj, lb, ub);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  for (int round = 0; round < 5; ++round) {
    std::vector<int> cols{int(rng() % n), int(rng() % n)}, rows{int(rng() % m)};
    std::vector<double> b{u(rng) - 6, u(rng) + 6}, c{u(rng), u(rng)}, r{pos(rng) * 2};
    ASSERT_EQ(KRVUchgbounds(p, 2, cols.data(), "LU", b.data()), 0);
    ASSERT_EQ(KRVUchgobj(p, 2, cols.data(), c.data()), 0);
    ASSERT_EQ(KRVUchgrhs(p, 1, rows.data(), r.data()), 0);
    ASSERT_EQ(KRVUchgcoef(p, rows[0], cols[0], u(rng)), 0);
    if (round == 3) ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
    ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
    KRVUprob fresh = nullptr;
    ASSERT_EQ(KRVUcreateprob(&fresh), 0);
    KRVUsetintcontrol(fresh, 8030, 0);
    ASSERT_EQ(KRVUcopyprob(fresh, p, "fresh"), 0);
    ASSERT_EQ(KRVUlpoptimize(fresh, ""), 0);
    int s1 = 0, s2 = 0;
    KRVUgetintattrib(p, KRVU_ATTR_LPSTATUS, &s1);
    KRVUgetintattrib(fresh, KRVU_ATTR_LPSTATUS, &s2);
    EXPECT_EQ(s1, s2) << round;
    if (s1 == KRVU_LP_OPTIMAL) {
      double o1 = 0, o2 = 0;
      KRVUgetdblattrib(p, KRVU_ATTR_LPOBJVAL, &o1);
      KRVUgetdblattrib(fresh, KRVU_ATTR_LPOBJVAL, &o2);
      EXPECT_NEAR(o1, o2, 1e-7 * std::max(1.0, std::fabs(o2))) << round;
    }
    KRVUdestroyprob(fresh);
  }
}

}  // namespace

namespace {

TEST_F(SolveLp, IterationLimitLeavesTheSolveUnfinished) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(1, 9);
  const int n = 60, m = 40;
  std::vector<std::vector<double>> a(m, std::vector<double>(n));
  for (auto &row : a)
    for (double &v : row) v = u(rng);
  load(a, std::string(m, 'L'), std::vector<double>(m, 100), std::vector<double>(n, -1), {}, {});
  KRVUsetintcontrol(p, 8010, 0);
  KRVUsetintcontrol(p, 8000, 2);
  ASSERT_EQ(KRVUlpoptimize(p, "p"), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_UNFINISHED);
  EXPECT_EQ(attr(1009), KRVU_STOP_ITERLIMIT);
  // Back to the default limit: the next solve finishes from where it stopped.
  KRVUsetdefaultcontrol(p, 8000);
  ASSERT_EQ(KRVUlpoptimize(p, "p"), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_OPTIMAL);
  EXPECT_EQ(attr(1009), KRVU_STOP_NONE);
}

}  // namespace

namespace {

// Rows and columns added after a solve keep the old basis as a start; the
// result must still be that of the whole model.
TEST_F(SolveLp, AddingRowsAndColumnsAfterASolve) {
  load({{1, 1}, {1, 3}}, "LL", {4, 7}, {3, 2}, {}, {3, KRVU_INFINITY});
  ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  const char rt[] = {'L'};
  const double rhs[] = {2.5};
  const int64_t st[] = {0};
  const int ci[] = {0};
  const double v[] = {1};
  ASSERT_EQ(KRVUaddrows64(p, 1, 1, rt, rhs, nullptr, st, ci, v), 0);  // x <= 2.5
  const double obj[] = {1}, lb[] = {-KRVU_INFINITY}, ub[] = {1};
  const int ri[] = {0};
  const double cv[] = {1};
  ASSERT_EQ(KRVUaddcols64(p, 1, 1, obj, st, ri, cv, lb, ub), 0);  // z <= 1 in row 0
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
  KRVUprob fresh = nullptr;
  ASSERT_EQ(KRVUcreateprob(&fresh), 0);
  KRVUsetintcontrol(fresh, 8030, 0);
  ASSERT_EQ(KRVUcopyprob(fresh, p, nullptr), 0);
  ASSERT_EQ(KRVUlpoptimize(fresh, ""), 0);
  double a = 0, b = 0;
  KRVUgetdblattrib(p, KRVU_ATTR_LPOBJVAL, &a);
  KRVUgetdblattrib(fresh, KRVU_ATTR_LPOBJVAL, &b);
  EXPECT_NEAR(a, b, 1e-9);
  EXPECT_NEAR(a, 3 * 2.5 + 2 * 1.5, 1e-9);  // y is worth more than z in row 0
  KRVUdestroyprob(fresh);
}

}  // namespace

namespace {

TEST_F(SolveLp, InfeasibilitiesOfALoadedPoint) {
  // x + y <= 4 (row 0), x - y >= 1 (row 1), 0 <= x <= 3.
  load({{1, 1}, {1, -1}}, "LG", {4, 1}, {1, 1}, {}, {3, KRVU_INFINITY});
  const double x[] = {5, 0.5};  // breaks row 0 and x's upper bound
  int status = -1;
  ASSERT_EQ(KRVUloadlpsol(p, x, nullptr, nullptr, nullptr, &status), 0) << err();
  int npv = -1, nps = -1, nds = -1, ndv = -1;
  ASSERT_EQ(KRVUgetinfeas(p, &npv, &nps, &nds, &ndv, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(npv, 1);
  EXPECT_EQ(nps, 1);
  int mx[1], ms[1];
  ASSERT_EQ(KRVUgetinfeas(p, &npv, &nps, &nds, &ndv, mx, ms, nullptr, nullptr), 0);
  EXPECT_EQ(mx[0], 0);
  EXPECT_EQ(ms[0], 0);
  double slack[2];
  ASSERT_EQ(KRVUgetlpsol(p, nullptr, slack, nullptr, nullptr), 0);
  EXPECT_DOUBLE_EQ(slack[0], -1.5);
  double v = 0;
  ASSERT_EQ(KRVUcalcsolinfo(p, x, std::vector<double>(2, 0.0).data(),
                            KRVU_SOLINFO_ABSPRIMALINFEAS, &v),
            0);
  EXPECT_DOUBLE_EQ(v, 2);  // x above its bound by 2
  // After a solve nothing is infeasible.
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  ASSERT_EQ(KRVUgetinfeas(p, &npv, &nps, &nds, &ndv, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(npv + nps + nds + ndv, 0);
}

}  // namespace

namespace {

// Rebuilds p's model from the queries into a new problem.
KRVUprob rebuilt(KRVUprob p) {
  int n = 0, m = 0;
  KRVUgetintattrib(p, KRVU_ATTR_COLS, &n);
  KRVUgetintattrib(p, KRVU_ATTR_ROWS, &m);
  std::vector<double> obj(n), lb(n), ub(n), rhs(m), rng(m);
  std::vector<char> rt(m);
  int64_t nz = 0;
  if (n > 0) {
    KRVUgetobj(p, obj.data(), 0, n - 1);
    KRVUgetlb(p, lb.data(), 0, n - 1);
    KRVUgetub(p, ub.data(), 0, n - 1);
    KRVUgetcols64(p, nullptr, nullptr, nullptr, 0, &nz, 0, n - 1);
  }
  std::vector<int64_t> st(n + 1, 0);
  std::vector<int> ri(nz);
  std::vector<double> v(nz);
  if (n > 0) KRVUgetcols64(p, st.data(), ri.data(), v.data(), nz, &nz, 0, n - 1);
  if (m > 0) {
    KRVUgetrhs(p, rhs.data(), 0, m - 1);
    KRVUgetrhsrange(p, rng.data(), 0, m - 1);
    KRVUgetrowtype(p, rt.data(), 0, m - 1);
  }
  double sense = 1;
  KRVUgetdblattrib(p, 2006, &sense);
  KRVUprob q = nullptr;
  KRVUcreateprob(&q);
  KRVUsetintcontrol(q, 8030, 0);
  KRVUloadlp64(q, "r", n, m, rt.data(), rhs.data(), rng.data(), obj.data(), st.data(), nullptr,
               ri.data(), v.data(), lb.data(), ub.data());
  KRVUchgobjsense(q, sense < 0 ? -1 : 1);
  return q;
}

// Random edits between solves: each result must match a model rebuilt from
// the queries and solved from scratch.
TEST_F(SolveLp, RandomEditsMatchRebuiltModels) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> u(-5, 5), pos(1, 5);
  load({{1, 2, 0}, {0, 1, 3}}, "LL", {10, 12}, {-1, -2, -1}, {}, {4, 4, 4});
  int optimal = 0;
  for (int step = 0; step < 60; ++step) {
    int n = 0, m = 0;
    KRVUgetintattrib(p, KRVU_ATTR_COLS, &n);
    KRVUgetintattrib(p, KRVU_ATTR_ROWS, &m);
    switch (rng() % 7) {
      case 0: {  // a row over up to three columns
        std::vector<int> c;
        std::vector<double> v;
        for (int k = 0; k < 3 && n > 0; ++k) {
          c.push_back(static_cast<int>(rng() % n));
          v.push_back(u(rng));
        }
        // x = 0 stays feasible for the new row.
        const char t = "LGR"[rng() % 3];
        const double r = t == 'G' ? -pos(rng) : pos(rng) * 3, range = r + pos(rng);
        const int64_t st = 0;
        ASSERT_EQ(KRVUaddrows64(p, 1, static_cast<int64_t>(c.size()), &t, &r, &range, &st,
                                c.data(), v.data()),
                  0)
            << err();
        break;
      }
      case 1: {  // a column in up to two rows
        std::vector<int> r;
        std::vector<double> v;
        for (int k = 0; k < 2 && m > 0; ++k) {
          r.push_back(static_cast<int>(rng() % m));
          v.push_back(u(rng));
        }
        const double o = -pos(rng), lo = 0, hi = pos(rng);
        const int64_t st = 0;
        ASSERT_EQ(KRVUaddcols64(p, 1, static_cast<int64_t>(r.size()), &o, &st, r.data(),
                                v.data(), &lo, &hi),
                  0)
            << err();
        break;
      }
      case 2:
        if (m > 1) {
          const int d = static_cast<int>(rng() % m);
          ASSERT_EQ(KRVUdelrows(p, 1, &d), 0);
        }
        break;
      case 3:
        if (n > 1) {
          const int d = static_cast<int>(rng() % n);
          ASSERT_EQ(KRVUdelcols(p, 1, &d), 0);
        }
        break;
      case 4:
        if (n > 0 && m > 0)
          ASSERT_EQ(KRVUchgcoef(p, static_cast<int>(rng() % m), static_cast<int>(rng() % n),
                                rng() % 4 ? u(rng) : 0.0),
                    0);
        break;
      case 5:
        if (n > 0) {
          const int j = static_cast<int>(rng() % n);
          const double b = pos(rng);
          ASSERT_EQ(KRVUchgbounds(p, 1, &j, "U", &b), 0);
        }
        break;
      default:
        if (m > 0) {
          const int i = static_cast<int>(rng() % m);
          char t = 0;
          KRVUgetrowtype(p, &t, i, i);
          const double r = t == 'G' ? -pos(rng) : pos(rng) * 2;
          if (t != 'R') ASSERT_EQ(KRVUchgrhs(p, 1, &i, &r), 0);
        }
        break;
    }
    ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
    KRVUprob q = rebuilt(p);
    ASSERT_EQ(KRVUlpoptimize(q, ""), 0);
    int s1 = -1, s2 = -2;
    KRVUgetintattrib(p, KRVU_ATTR_LPSTATUS, &s1);
    KRVUgetintattrib(q, KRVU_ATTR_LPSTATUS, &s2);
    ASSERT_EQ(s1, s2) << "step " << step;
    if (s1 == KRVU_LP_OPTIMAL) {
      ++optimal;
      double a = 0, b = 0;
      KRVUgetdblattrib(p, KRVU_ATTR_LPOBJVAL, &a);
      KRVUgetdblattrib(q, KRVU_ATTR_LPOBJVAL, &b);
      EXPECT_NEAR(a, b, 1e-7 * std::max(1.0, std::fabs(b))) << "step " << step;
    }
    KRVUdestroyprob(q);
  }
  EXPECT_GT(optimal, 30);  // most edits keep the models feasible
}

}  // namespace

namespace {

// An interrupt from another thread stops a long simplex run.
TEST_F(SolveLp, InterruptFromAnotherThread) {
  ASSERT_EQ(KRVUloadlp(p, "noname", 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr),
            0);
  // x_k + 2 x_{k-1} + 3 x_{k-2} <= 1, maximize the sum: tens of thousands of
  // iterations.
  const int n = 30000;
  std::vector<double> obj(n, 1);
  ASSERT_EQ(KRVUaddcols64(p, n, 0, obj.data(), nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  std::vector<int64_t> st;
  std::vector<int> ci;
  std::vector<double> v;
  for (int k = 0; k < n; ++k) {
    st.push_back(static_cast<int64_t>(ci.size()));
    for (int d = 0; d < 3 && d <= k; ++d) {
      ci.push_back(k - d);
      v.push_back(d + 1.0);
    }
  }
  const std::string rt(n, 'L');
  const std::vector<double> rhs(n, 1);
  ASSERT_EQ(KRVUaddrows64(p, n, static_cast<int64_t>(ci.size()), rt.data(), rhs.data(), nullptr,
                          st.data(), ci.data(), v.data()),
            0);
  ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  std::thread stopper([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    KRVUinterrupt(p, 0);
  });
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
  stopper.join();
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_UNFINISHED);
  EXPECT_EQ(attr(1009), KRVU_STOP_CTRLC);
  double t = 0;
  KRVUgetdblattrib(p, 2005, &t);
  EXPECT_LT(t, 10.0);
}

}  // namespace
