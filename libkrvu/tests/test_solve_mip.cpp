// Integer and quadratic solving: statuses, MIP starts, incumbents, interrupts,
// what is refused, and nonconvex objectives.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "krvu.h"
#include "prob_fixture.h"

namespace {

class SolveMip : public ProbTest {
 public:
  void load_dense(const std::vector<std::vector<double>> &a, const std::string &rt,
                  const std::vector<double> &rhs, const std::vector<double> &obj,
                  const std::vector<double> &ub = {}) {
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
                           nullptr, ri.data(), v.data(), nullptr, ub.empty() ? nullptr : ub.data()),
              0)
        << err();
  }
  void set_types(const std::string &types) {
    std::vector<int> idx;
    for (int j = 0; j < static_cast<int>(types.size()); ++j) idx.push_back(j);
    ASSERT_EQ(KRVUchgcoltype(p, static_cast<int>(idx.size()), idx.data(), types.data()), 0)
        << err();
  }
};

// max 5x + 4y  s.t.  6x + 4y <= 24,  x + 2y <= 6,  x, y integer: (4, 0), 20;
// the relaxation gives 21 at (3, 1.5).
TEST_F(SolveMip, TextbookIntegerProgram) {
  load_dense({{6, 4}, {1, 2}}, "LL", {24, 6}, {5, 4});
  KRVUchgobjsense(p, -1);
  set_types("II");
  EXPECT_EQ(attr(KRVU_ATTR_MIPENTS), 2);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), 21, 1e-9);
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_LP_OPTIMAL);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 20, 1e-9);
  double x[2], slack[2];
  ASSERT_EQ(KRVUgetmipsol(p, x, slack), 0);
  EXPECT_NEAR(x[0], 4, 1e-9);
  EXPECT_NEAR(x[1], 0, 1e-9);
  EXPECT_NEAR(slack[1], 2, 1e-9);
  double v = 0, s = 0;
  ASSERT_EQ(KRVUgetmipsolval(p, 0, 1, &v, &s), 0);
  EXPECT_NEAR(v, 4, 1e-9);
  // Fixed at the integer solution, the relaxation gives the same objective.
  KRVUprob fixed = nullptr;
  ASSERT_EQ(KRVUcreateprob(&fixed), 0);
  ASSERT_EQ(KRVUfixglobals(p, 1), 0) << err();
  ASSERT_EQ(KRVUcopyprob(fixed, p, nullptr), 0);
  ASSERT_EQ(KRVUlpoptimize(fixed, ""), 0);
  double lpobj = 0;
  KRVUgetdblattrib(fixed, KRVU_ATTR_LPOBJVAL, &lpobj);
  EXPECT_NEAR(lpobj, 20, 1e-9);
  KRVUdestroyprob(fixed);
  const int both[] = {0, 1};
  const double free_lb[] = {0, 0}, free_ub[] = {KRVU_INFINITY, KRVU_INFINITY};
  ASSERT_EQ(KRVUchgbounds(p, 2, both, "LL", free_lb), 0);
  ASSERT_EQ(KRVUchgbounds(p, 2, both, "UU", free_ub), 0);
  // A change drops the integer solution too.
  ASSERT_EQ(KRVUchgobj(p, 1, std::vector<int>{1}.data(), std::vector<double>{10}.data()), 0);
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_NOT_LOADED);
  EXPECT_NE(KRVUgetmipsol(p, x, nullptr), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 30, 1e-9);  // (0, 3)
}

TEST_F(SolveMip, CutoffDiscardsSolutionsNoBetter) {
  load_dense({{6, 4}, {1, 2}}, "LL", {24, 6}, {5, 4});
  set_types("II");
  for (int sense : {-1, 1}) {
    ASSERT_EQ(KRVUchgobjsense(p, sense), 0);
    const int flip[] = {0, 1};
    const double c[] = {-5.0 * sense, -4.0 * sense};  // the optimum is 20 or -20
    ASSERT_EQ(KRVUchgobj(p, 2, flip, c), 0);
    const double best = sense < 0 ? 20 : -20;
    KRVUsetdblcontrol(p, 7006, best + sense * 1);  // worse than the optimum: kept
    ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
    EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL) << sense;
    EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), best, 1e-9) << sense;
    KRVUsetdblcontrol(p, 7006, best - sense * 1);  // better than the optimum: nothing left
    ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
    EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_INFEAS) << sense;
  }
}

TEST_F(SolveMip, InfeasibleIntegerProgram) {
  // 2x = 1 with x integer.
  load_dense({{2}}, "E", {1}, {1});
  set_types("I");
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_INFEAS);
  double x;
  EXPECT_NE(KRVUgetmipsol(p, &x, nullptr), 0);
}

TEST_F(SolveMip, ContinuousProblemThroughMipoptimize) {
  load_dense({{1, 1}}, "L", {4}, {-1, -2});
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), -8, 1e-9);
}

TEST_F(SolveMip, SemiContinuousColumns) {
  // min x + y  s.t.  x + y >= 0.5;  x semi-continuous in {0} u [2, 10],
  // y semi-integer in {0} u {3, ..., 10} with cost 0.1 more: x = 2.
  load_dense({{1, 1}}, "G", {0.5}, {1, 1.1}, {10, 10});
  set_types("SR");
  const int cols[] = {0, 1};
  const double lim[] = {2, 3};
  ASSERT_EQ(KRVUchgglblimit(p, 2, cols, lim), 0) << err();
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 2, 1e-6);
  // The relaxation lets x go down to 0.5.
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), 0.5, 1e-9);
  // An upper bound the engine cannot take is neither refused nor capped: the
  // column is reformulated exactly and the optimum is the same.
  const char u[] = {'U'};
  const double big[] = {1e6};
  ASSERT_EQ(KRVUchgbounds(p, 1, cols, u, big), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 2, 1e-6);
}

TEST_F(SolveMip, EntitiesTheEngineLacksAreSolvedThroughReformulation) {
  load_dense({{1, 1}}, "L", {1}, {-1, -1}, {1, 1});
  const char st[] = {'1'};
  const int64_t ss[] = {0};
  const int sc[] = {0, 1};
  const double sr[] = {1, 2};
  ASSERT_EQ(KRVUaddsets64(p, 1, 2, st, ss, sc, sr), 0) << err();
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), -1, 1e-6);
  double x[2];
  ASSERT_EQ(KRVUgetmipsol(p, x, nullptr), 0);
  EXPECT_LT(std::min(std::abs(x[0]), std::abs(x[1])), 1e-6);  // one member only
  EXPECT_EQ(KRVUlpoptimize(p, ""), 0) << err();  // the relaxation drops the set
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), -1, 1e-9);
  const int s0[] = {0};
  ASSERT_EQ(KRVUdelsets(p, 1, s0), 0);
  set_types("PC");
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), -1, 1e-6);
}

struct Incumbents {
  KRVUprob prob;
  int calls = 0;
  std::vector<double> objs;
  bool stop = false;
};

void on_intsol(KRVUprob prob, void *data) {
  Incumbents *inc = static_cast<Incumbents *>(data);
  ++inc->calls;
  int n = 0;
  KRVUgetintattrib(prob, KRVU_ATTR_COLS, &n);
  std::vector<double> x(n);
  double obj = 0;
  if (KRVUgetmipsol(prob, x.data(), nullptr) == 0 &&
      KRVUcalcobjective(prob, x.data(), &obj) == 0)
    inc->objs.push_back(obj);
  if (inc->stop) KRVUinterrupt(prob, KRVU_STOP_USER);
}

// A knapsack with enough items that the search finds several incumbents.
void knapsack(SolveMip *t, KRVUprob p, int n) {
  std::mt19937 rng(7);
  std::vector<std::vector<double>> a(1, std::vector<double>(n));
  std::vector<double> obj(n), ub(n, 1);
  double cap = 0;
  for (int j = 0; j < n; ++j) {
    a[0][j] = 10 + rng() % 90;
    obj[j] = -(a[0][j] + rng() % 20);
    cap += a[0][j];
  }
  t->load_dense(a, "L", {std::floor(cap / 3)}, obj, ub);
  t->set_types(std::string(n, 'B'));
  KRVUsetintcontrol(p, 8010, 0);
}

TEST_F(SolveMip, IncumbentCallbackSeesEachSolution) {
  knapsack(this, p, 60);
  Incumbents inc{p};
  ASSERT_EQ(KRVUaddcbintsol(p, on_intsol, &inc, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
  ASSERT_GE(inc.calls, 1);
  ASSERT_EQ(static_cast<int>(inc.objs.size()), inc.calls);
  EXPECT_NEAR(inc.objs.back(), dattr(KRVU_ATTR_MIPBESTOBJVAL), 1e-6);
  for (size_t k = 1; k < inc.objs.size(); ++k) EXPECT_LE(inc.objs[k], inc.objs[k - 1] + 1e-9);
  ASSERT_EQ(KRVUremovecbintsol(p, nullptr, nullptr), 0);
  int before = inc.calls;
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_EQ(inc.calls, before);
}

TEST_F(SolveMip, InterruptFromCallbackStopsTheSearch) {
  knapsack(this, p, 200);
  Incumbents inc{p};
  inc.stop = true;
  ASSERT_EQ(KRVUaddcbintsol(p, on_intsol, &inc, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  if (attr(KRVU_ATTR_MIPSTATUS) != KRVU_MIP_OPTIMAL) {
    EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_SOLUTION);
    EXPECT_EQ(attr(1009), KRVU_STOP_USER);
  }
  double x[200];
  EXPECT_EQ(KRVUgetmipsol(p, x, nullptr), 0);
}

TEST_F(SolveMip, MipStartIsUsed) {
  load_dense({{6, 4}, {1, 2}}, "LL", {24, 6}, {5, 4});
  KRVUchgobjsense(p, -1);
  set_types("II");
  const double start[] = {4, 0};
  ASSERT_EQ(KRVUloadmipsol(p, start, nullptr), 0);
  const double part[] = {4};
  const int pcol[] = {0};
  ASSERT_EQ(KRVUaddmipsol(p, 1, part, pcol, "partial"), 0);
  EXPECT_NE(KRVUaddmipsol(p, 1, part, nullptr, nullptr), 0);  // a full one needs every column
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 20, 1e-9);
}

// min x^2 + y^2 - 2x - 4y  s.t.  x + y <= 2: (0.5, 1.5), -4.5.
TEST_F(SolveMip, ConvexAndNonconvexQuadraticObjectives) {
  const char rt[] = {'L'};
  const double rhs[] = {2}, obj[] = {-2, -4};
  const int64_t st[] = {0, 1, 2};
  const int ri[] = {0, 0};
  const double v[] = {1, 1};
  const int q1[] = {0, 1}, q2[] = {0, 1};
  const double qv[] = {2, 2};
  const double lb[] = {-KRVU_INFINITY, -KRVU_INFINITY};
  ASSERT_EQ(KRVUloadqp64(p, "qp", 2, 1, rt, rhs, nullptr, obj, st, nullptr, ri, v, lb, nullptr, 2,
                         q1, q2, qv),
            0)
      << err();
  int64_t qe = 0;
  KRVUgetintattrib64(p, 1003, &qe);
  EXPECT_EQ(qe, 2);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_OPTIMAL);
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), -4.5, 1e-6);
  double x[2];
  ASSERT_EQ(KRVUgetlpsol(p, x, nullptr, nullptr, nullptr), 0);
  EXPECT_NEAR(x[0], 0.5, 1e-5);
  double calc = 0;
  ASSERT_EQ(KRVUcalcobjective(p, x, &calc), 0);
  EXPECT_NEAR(calc, -4.5, 1e-6);
  // An off-diagonal entry of 3 makes Q indefinite (eigenvalues -1 and 5).
  ASSERT_EQ(KRVUchgqobj(p, 1, 0, 3), 0);
  double q = 0;
  ASSERT_EQ(KRVUgetqobj(p, 0, 1, &q), 0);
  EXPECT_EQ(q, 3);
  EXPECT_NE(KRVUlpoptimize(p, ""), 0);
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_NONCONVEX);
  EXPECT_NE(err().find("nonconvex"), std::string::npos);
  // The same matrix negated is concave, which a maximization takes.
  const int a[] = {0, 1, 0}, b[] = {0, 1, 1};
  const double nv[] = {-2, -2, -1};
  ASSERT_EQ(KRVUchgmqobj64(p, 3, a, b, nv), 0);
  ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_OPTIMAL);
  // Reading the whole Q back, two calls, both triangles.
  int64_t n = 0;
  ASSERT_EQ(KRVUgetmqobj64(p, nullptr, nullptr, nullptr, 0, &n, 0, 1), 0);
  ASSERT_EQ(n, 4);
  int64_t qs[3];
  int qc[4];
  double qvals[4];
  ASSERT_EQ(KRVUgetmqobj64(p, qs, qc, qvals, n, &n, 0, 1), 0);
  EXPECT_EQ(qs[1], 2);
  EXPECT_EQ(qc[1], 1);
  EXPECT_EQ(qvals[1], -1);
}

TEST_F(SolveMip, QuadraticRowsAreStoredButNotSolvedHere) {
  load_dense({{1, 1}, {1, 0}}, "LL", {4, 3}, {-1, -1});
  const int c1[] = {0, 1, 1}, c2[] = {0, 0, 1};
  const double qv[] = {1, 0.5, 2};
  ASSERT_EQ(KRVUaddqmatrix64(p, 1, 3, c1, c2, qv), 0) << err();
  int nq = 0, rows[2];
  ASSERT_EQ(KRVUgetqrows(p, &nq, rows), 0);
  ASSERT_EQ(nq, 1);
  EXPECT_EQ(rows[0], 1);
  double v = 0;
  ASSERT_EQ(KRVUgetqrowcoeff(p, 1, 1, 0, &v), 0);
  EXPECT_EQ(v, 0.5);
  int ne = 0;
  ASSERT_EQ(KRVUgetqrowqmatrixtriplets(p, 1, &ne, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(ne, 3);
  EXPECT_NE(KRVUlpoptimize(p, ""), 0);
  EXPECT_NE(err().find("quadratic rows"), std::string::npos) << err();
  // Deleting row 0 renumbers the quadratic row.
  const int r0[] = {0};
  ASSERT_EQ(KRVUdelrows(p, 1, r0), 0);
  ASSERT_EQ(KRVUgetqrows(p, &nq, rows), 0);
  EXPECT_EQ(rows[0], 0);
  ASSERT_EQ(KRVUdelqmatrix(p, -1), 0);
  ASSERT_EQ(KRVUgetqrows(p, &nq, nullptr), 0);
  EXPECT_EQ(nq, 0);
  EXPECT_EQ(KRVUlpoptimize(p, ""), 0) << err();
}

}  // namespace

namespace {

// Small pure-integer models with binary, integer and semi-integer columns,
// solved and compared with the enumeration of every point.
TEST_F(SolveMip, SmallModelsAgainstEnumeration) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coef(-4, 6), cost(-6, 3);
  int compared = 0;
  for (int trial = 0; trial < 40; ++trial) {
    const int n = 4, m = 3;
    std::vector<std::vector<double>> a(m, std::vector<double>(n));
    for (auto &row : a)
      for (double &v : row) v = coef(rng);
    std::vector<double> obj(n), rhs(m), ub(n);
    for (double &c : obj) c = cost(rng);
    for (double &r : rhs) r = 4 + rng() % 10;
    const std::string types = "BIRI";
    ub = {1, 3, 6, 2};
    const double limit = 3;  // the semi-integer column is 0 or in 3..6
    load_dense(a, std::string(m, 'L'), rhs, obj, ub);
    set_types(types);
    const int rc = 2;
    ASSERT_EQ(KRVUchgglblimit(p, 1, &rc, &limit), 0) << err();
    ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
    // Enumeration.
    double best = INFINITY;
    for (int x0 = 0; x0 <= 1; ++x0)
      for (int x1 = 0; x1 <= 3; ++x1)
        for (int x2 = 0; x2 <= 6; ++x2)
          for (int x3 = 0; x3 <= 2; ++x3) {
            if (x2 > 0 && x2 < limit) continue;
            const double x[] = {double(x0), double(x1), double(x2), double(x3)};
            bool ok = true;
            for (int i = 0; i < m && ok; ++i) {
              double act = 0;
              for (int j = 0; j < n; ++j) act += a[i][j] * x[j];
              ok = act <= rhs[i] + 1e-9;
            }
            if (!ok) continue;
            double v = 0;
            for (int j = 0; j < n; ++j) v += obj[j] * x[j];
            best = std::min(best, v);
          }
    const int st = attr(KRVU_ATTR_MIPSTATUS);
    if (std::isinf(best)) {
      EXPECT_EQ(st, KRVU_MIP_INFEAS) << trial;
    } else {
      ASSERT_EQ(st, KRVU_MIP_OPTIMAL) << trial;
      EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), best, 1e-6) << trial;
      std::vector<double> x(n);
      ASSERT_EQ(KRVUgetmipsol(p, x.data(), nullptr), 0);
      EXPECT_TRUE(x[2] < 1e-6 || x[2] > limit - 1e-6) << trial << ": " << x[2];
      ++compared;
    }
  }
  EXPECT_GT(compared, 20);
}

}  // namespace
