// Exact reformulation of sets, indicators, general and piecewise-linear
// constraints, partially integer and large semi-continuous columns: the shape
// of the output, the optima of models built through the C API and solved in
// reformulated form, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "krvu.h"
#include "mip/reformulate.h"
#include "model/store.h"

namespace {

using krvu::ModelData;

constexpr double kTol = 1e-5;  // big-M rows leave the engine's integrality tolerance times M

// A model of n columns (bounds [0, ub]) and the given rows (dense).
ModelData dense_model(const std::vector<std::vector<double>> &a, const std::string &rowtypes,
                      const std::vector<double> &rhs, const std::vector<double> &obj,
                      const std::vector<double> &ub) {
  ModelData m;
  m.append_cols(static_cast<int>(obj.size()));
  m.append_rows(static_cast<int>(rhs.size()));
  m.obj = obj;
  m.ub = ub;
  std::vector<int> r, c;
  std::vector<double> v;
  for (size_t i = 0; i < a.size(); ++i) {
    m.rowtype[i] = rowtypes[i];
    m.rhs[i] = rhs[i];
    for (size_t j = 0; j < a[i].size(); ++j)
      if (a[i][j] != 0) {
        r.push_back(static_cast<int>(i));
        c.push_back(static_cast<int>(j));
        v.push_back(a[i][j]);
      }
  }
  m.set_matrix_triplets(static_cast<int64_t>(v.size()), r.data(), c.data(), v.data());
  return m;
}

double coef(const ModelData &m, int row, int col) {
  for (int64_t k = m.mstart[col]; k < m.mstart[col + 1]; ++k)
    if (m.mrwind[k] == row) return m.dmatval[k];
  return 0.0;
}

class Reform : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_EQ(KRVUinit(nullptr), 0);
    ASSERT_EQ(KRVUcreateprob(&p), 0);
    ASSERT_EQ(KRVUcreateprob(&q), 0);
    KRVUsetintcontrol(p, 8030, 0);
    KRVUsetintcontrol(q, 8030, 0);
  }
  void TearDown() override {
    KRVUdestroyprob(p);
    KRVUdestroyprob(q);
    KRVUfree();
  }
  std::string err(KRVUprob prob) {
    char buf[512];
    KRVUgetlasterror(prob, buf);
    return buf;
  }
  // Columns with the given objective and bounds, rows dense.
  void load(const std::vector<std::vector<double>> &a, const std::string &rowtypes,
            const std::vector<double> &rhs, const std::vector<double> &obj,
            const std::vector<double> &lb, const std::vector<double> &ub, int sense = 1) {
    ModelData m = dense_model(a, rowtypes, rhs, obj, ub);
    std::vector<int64_t> st(m.mstart.begin(), m.mstart.end());
    ASSERT_EQ(KRVUloadlp64(p, "t", m.ncols(), m.nrows(), m.rowtype.data(), m.rhs.data(), nullptr,
                           m.obj.data(), st.data(), nullptr, m.mrwind.data(), m.dmatval.data(),
                           lb.data(), ub.data()),
              0)
        << err(p);
    ASSERT_EQ(KRVUchgobjsense(p, sense), 0);
  }
  void types(const std::string &t) {
    std::vector<int> idx;
    for (size_t j = 0; j < t.size(); ++j) idx.push_back(static_cast<int>(j));
    ASSERT_EQ(KRVUchgcoltype(p, static_cast<int>(t.size()), idx.data(), t.data()), 0) << err(p);
  }
  void limit(int col, double v) { ASSERT_EQ(KRVUchgglblimit(p, 1, &col, &v), 0) << err(p); }
  void obj(int col, double v) { ASSERT_EQ(KRVUchgobj(p, 1, &col, &v), 0) << err(p); }
  void bound(int col, char which, double v) {
    ASSERT_EQ(KRVUchgbounds(p, 1, &col, &which, &v), 0) << err(p);
  }
  void rhs(int row, double v) { ASSERT_EQ(KRVUchgrhs(p, 1, &row, &v), 0) << err(p); }
  void sense(int s) { ASSERT_EQ(KRVUchgobjsense(p, s), 0) << err(p); }
  void indicator(int row, int col, int comp) {
    ASSERT_EQ(KRVUsetindicators(p, 1, &row, &col, &comp), 0) << err(p);
  }
  void drop_gencons() { ASSERT_EQ(KRVUdelgencons(p, 1, std::vector<int>{0}.data()), 0); }
  void drop_pwl() { ASSERT_EQ(KRVUdelpwlcons(p, 1, std::vector<int>{0}.data()), 0); }
  void sets(const std::string &types, const std::vector<int64_t> &start,
            const std::vector<int> &cols, const std::vector<double> &ref) {
    ASSERT_EQ(KRVUaddsets64(p, static_cast<int>(types.size()), static_cast<int64_t>(cols.size()),
                            types.data(), start.data(), cols.data(), ref.data()),
              0)
        << err(p);
  }
  void gencons(int type, int res, const std::vector<int> &cols,
               const std::vector<double> &vals = {}) {
    const int64_t zero = 0;
    ASSERT_EQ(KRVUaddgencons64(p, 1, static_cast<int64_t>(cols.size()),
                               static_cast<int64_t>(vals.size()), &type, &res, &zero,
                               cols.data(), &zero, vals.data()),
              0)
        << err(p);
  }
  void pwl(int x, int y, const std::vector<double> &xs, const std::vector<double> &ys) {
    const int64_t zero = 0;
    ASSERT_EQ(KRVUaddpwlcons64(p, 1, static_cast<int64_t>(xs.size()), &x, &y, &zero, xs.data(),
                               ys.data()),
              0)
        << err(p);
  }

  // Reformulates p's model; false (with why) when refused.
  bool reformulate(ModelData *out, std::string *why) {
    return krvu::reformulate_for_engine(krvu::read_model(p), out, why, 1e-6);
  }

  // Reformulates p's model, solves the result in q and returns the MIP status;
  // x gets the values of p's columns, *obj the objective.
  int solve(std::vector<double> *x, double *obj) {
    ModelData m;
    std::string why;
    EXPECT_TRUE(reformulate(&m, &why)) << why;
    EXPECT_FALSE(krvu::needs_reformulation(m));
    std::vector<char> ent;
    std::vector<int> entcol;
    std::vector<double> entlim;
    for (int j = 0; j < m.ncols(); ++j)
      if (m.coltype[j] != 'C') {
        ent.push_back(m.coltype[j]);
        entcol.push_back(j);
        entlim.push_back(m.coltype[j] == 'S' || m.coltype[j] == 'R' ? m.threshold[j] : m.ub[j]);
      }
    EXPECT_EQ(KRVUloadglobal64(q, "r", m.ncols(), m.nrows(), m.rowtype.data(), m.rhs.data(),
                               m.range.data(), m.obj.data(), m.mstart.data(), nullptr,
                               m.mrwind.data(), m.dmatval.data(), m.lb.data(), m.ub.data(),
                               static_cast<int>(ent.size()), 0, ent.data(), entcol.data(),
                               entlim.data(), nullptr, nullptr, nullptr, nullptr),
              0)
        << err(q);
    KRVUchgobjsense(q, m.objsense < 0 ? -1 : 1);
    const int minus1 = -1;
    KRVUchgobj(q, 1, &minus1, &m.objrhs);
    EXPECT_EQ(KRVUmipoptimize(q, ""), 0) << err(q);
    int st = -1;
    KRVUgetintattrib(q, KRVU_ATTR_MIPSTATUS, &st);
    if (st == KRVU_MIP_OPTIMAL) {
      std::vector<double> all(m.ncols());
      EXPECT_EQ(KRVUgetmipsol(q, all.data(), nullptr), 0) << err(q);
      int n = 0;
      KRVUgetintattrib(p, KRVU_ATTR_COLS, &n);
      x->assign(all.begin(), all.begin() + n);
      KRVUgetdblattrib(q, KRVU_ATTR_MIPBESTOBJVAL, obj);
    }
    return st;
  }
  // The optimum of the reformulated model (which must be solved to optimality).
  double optimum(std::vector<double> *x = nullptr) {
    std::vector<double> v;
    double obj = NAN;
    EXPECT_EQ(solve(&v, &obj), KRVU_MIP_OPTIMAL);
    if (x) *x = v;
    return obj;
  }
  std::string refusal() {
    ModelData m;
    std::string why;
    EXPECT_FALSE(reformulate(&m, &why));
    return why;
  }

  KRVUprob p = nullptr, q = nullptr;
};

const double kInf = KRVU_INFINITY;

// ---- the shape of the output ------------------------------------------------

TEST(ReformShape, WhatNeedsReformulation) {
  ModelData m = dense_model({{1, 1}}, "L", {4}, {1, 1}, {10, 10});
  EXPECT_FALSE(krvu::needs_reformulation(m));
  m.coltype[0] = 'S';
  m.threshold[0] = 2;
  EXPECT_FALSE(krvu::needs_reformulation(m));  // the engine takes it
  m.ub[0] = 2e5;
  EXPECT_TRUE(krvu::needs_reformulation(m));
  m.threshold[0] = 0;  // a plain continuous column for the engine
  EXPECT_FALSE(krvu::needs_reformulation(m));
  m.coltype[1] = 'P';
  EXPECT_TRUE(krvu::needs_reformulation(m));
}

// x, y (binary), z with an SOS1 over all three and row 1: x + z = 2 when y = 1.
TEST(ReformShape, OriginalColumnsAndRowsKeepTheirPlaces) {
  ModelData in = dense_model({{1, 2, 3}, {1, 0, 1}}, "LE", {6, 2}, {-1, -2, -3}, {4, 1, 4});
  in.lb[0] = -1;
  in.objrhs = 5;
  in.coltype[1] = 'B';
  in.colnames = {"x", "y", "z"};
  in.settype = {'1'};
  in.setstart = {0, 3};
  in.setcol = {0, 1, 2};
  in.setref = {1, 2, 3};
  in.setnames = {"s"};
  in.indcol[1] = 1;
  in.indcomp[1] = 1;
  ModelData out;
  std::string why;
  ASSERT_TRUE(krvu::reformulate_for_engine(in, &out, &why, 1e-6)) << why;
  EXPECT_EQ(out.validate(), "");
  EXPECT_EQ(out.nsets(), 0);
  EXPECT_EQ(out.objrhs, 5);
  for (int j = 0; j < out.ncols(); ++j) {
    EXPECT_EQ(out.obj[j], j < 3 ? in.obj[j] : 0);
    if (j >= 3) continue;
    EXPECT_EQ(out.lb[j], in.lb[j]);
    EXPECT_EQ(out.ub[j], in.ub[j]);
    EXPECT_EQ(out.colnames[j], in.colnames[j]);
  }
  // Row 1 (activity in [-1, 8]) keeps its upper side relaxed by 6 (1 - y); an
  // appended row holds its lower side relaxed by 3 (1 - y).
  EXPECT_EQ(coef(out, 0, 2), 3);
  EXPECT_EQ(out.rowtype[1], 'L');
  EXPECT_DOUBLE_EQ(out.rhs[1], 8);
  EXPECT_DOUBLE_EQ(coef(out, 1, 1), 6);
  EXPECT_EQ(out.indcol[1], -1);
  int lower = -1;
  for (int i = 2; i < out.nrows(); ++i)
    if (coef(out, i, 0) == 1 && coef(out, i, 2) == 1) lower = i;
  ASSERT_GE(lower, 0);
  EXPECT_EQ(out.rowtype[lower], 'G');
  EXPECT_DOUBLE_EQ(out.rhs[lower], -1);
  EXPECT_DOUBLE_EQ(coef(out, lower, 1), -3);
  // A refusal leaves the output as it was.
  const int ncols = out.ncols();
  in.ub[2] = kInf;
  EXPECT_FALSE(krvu::reformulate_for_engine(in, &out, &why, 1e-6));
  EXPECT_EQ(out.ncols(), ncols);
}

// ---- optima of reformulated models ------------------------------------------

// max 3x0 + 2x1 + 4x2  s.t.  x0 + x1 + x2 <= 5, ub (4, 10, 2), one non-zero:
// x0 = 4 gives 12 (without the set 16).  With x1 in [-3, 10] at cost -2,
// x1 = -3 alone is worth 6 only (without the set 26).
TEST_F(Reform, SpecialOrderedSetOnePicksOne) {
  load({{1, 1, 1}}, "L", {5}, {3, 2, 4}, {0, 0, 0}, {4, 10, 2}, -1);
  sets("1", {0}, {2, 0, 1, 0}, {3, 1, 2, 4});  // x0 listed twice counts once
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 12, kTol);
  EXPECT_NEAR(x[0], 4, kTol);
  bound(1, 'L', -3);
  obj(1, -2);
  EXPECT_NEAR(optimum(&x), 12, kTol);
  EXPECT_NEAR(x[1], 0, kTol);
}

// Weights l0..l3 of the points (0,0), (1,3), (2,1), (3,4) in an SOS2 (members
// given out of order) with x = 1.5: y = 2 between (1,3) and (2,1), where
// mixing (1,3) and (3,4) would give 3.25.  At x = 2.5, y = 2.5.
TEST_F(Reform, SpecialOrderedSetTwoInterpolates) {
  load({{1, 1, 1, 1, 0}, {0, 1, 2, 3, 0}, {0, 3, 1, 4, -1}}, "EEE", {1, 1.5, 0},
       {0, 0, 0, 0, 1}, {0, 0, 0, 0, -kInf}, {1, 1, 1, 1, kInf}, -1);
  sets("2", {0}, {3, 1, 0, 2}, {3, 1, 0, 2});
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 2, kTol);
  EXPECT_NEAR(x[1], 0.5, kTol);
  rhs(1, 2.5);
  EXPECT_NEAR(optimum(), 2.5, kTol);
}

// Random SOS1/SOS2 models against enumeration of the allowed supports, each
// solved as an LP with the other members fixed at 0.
TEST_F(Reform, SetsAgainstEnumeration) {
  std::mt19937 rng(11);
  const int n = 4;
  for (int trial = 0; trial < 12; ++trial) {
    const bool two = trial % 2 == 1;
    std::vector<double> c(n), lb(n), ub(n);
    std::vector<std::vector<double>> a(2, std::vector<double>(n));
    for (int j = 0; j < n; ++j) {
      c[j] = static_cast<int>(rng() % 11) - 5;
      lb[j] = rng() % 3 == 0 ? -static_cast<double>(rng() % 3 + 1) : 0;
      ub[j] = rng() % 4 + 1;
      for (auto &row : a) row[j] = static_cast<int>(rng() % 7) - 2;
    }
    double best = -kInf;
    for (int s = 0; s < n; ++s)
      for (int t = s; t < (two ? std::min(n, s + 2) : s + 1); ++t) {
        std::vector<double> l = lb, u = ub;
        for (int j = 0; j < n; ++j)
          if (j != s && j != t) l[j] = u[j] = 0;
        load(a, "LL", {4, 3}, c, l, u, -1);
        ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err(p);
        double v = 0;
        KRVUgetdblattrib(p, KRVU_ATTR_LPOBJVAL, &v);
        best = std::max(best, v);  // x = 0 is always feasible
      }
    load(a, "LL", {4, 3}, c, lb, ub, -1);
    sets(two ? "2" : "1", {0}, {3, 2, 1, 0}, {4, 3, 2, 1});
    std::vector<double> x;
    EXPECT_NEAR(optimum(&x), best, kTol) << "trial " << trial;
    std::vector<int> nz;
    for (int j = 0; j < n; ++j)
      if (std::fabs(x[j]) > kTol) nz.push_back(j);
    EXPECT_LE(nz.size(), two ? 2u : 1u);
    if (nz.size() == 2) {
      EXPECT_EQ(nz[1] - nz[0], 1);
    }
  }
}

// max 2x - c b, x in [0, 100]: x <= 40 while b = 0 and x <= 90 while b = 1.
// c = 30: b = 1, 150; c = 120: b = 0, 80.
TEST_F(Reform, IndicatorSwitchesCapacity) {
  load({{1, 0}, {1, 0}}, "LL", {40, 90}, {2, -30}, {0, 0}, {100, 1}, -1);
  types("CB");
  indicator(0, 1, -1);
  indicator(1, 1, 1);
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 150, kTol);
  EXPECT_NEAR(x[0], 90, kTol);
  obj(1, -120);
  EXPECT_NEAR(optimum(&x), 80, kTol);
  EXPECT_NEAR(x[1], 0, kTol);
}

// 3 <= x + y <= 5 and x - y = 1 when b = 1; max -x - 2y + g b.  b = 1 costs 4
// (x = 2, y = 1): g = 1.5 leaves b = 0 (0), g = 5 takes it (1).  Enforced when
// b = 0 instead, b = 1 frees the rows: 5.
TEST_F(Reform, TwoSidedIndicatorRows) {
  load({{1, 1, 0}, {1, -1, 0}}, "LE", {5, 1}, {-1, -2, 1.5}, {0, 0, 0}, {10, 10, 1}, -1);
  const int r0 = 0;
  const double rng = 2;
  ASSERT_EQ(KRVUchgrhsrange(p, 1, &r0, &rng), 0) << err(p);
  types("CCB");
  indicator(0, 2, 1);
  indicator(1, 2, 1);
  EXPECT_NEAR(optimum(), 0, kTol);
  obj(2, 5);
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 1, kTol);
  EXPECT_NEAR(x[0], 2, kTol);
  EXPECT_NEAR(x[1], 1, kTol);
  indicator(0, 2, -1);
  indicator(1, 2, -1);
  EXPECT_NEAR(optimum(), 5, kTol);
}

// x0 in [0, 4], x1 in [-3, 6], x0 + x1 <= 5; r = max(x0, x1, -1, 2.5) is at
// most 5 and at least 2.5; r = min(x0, x1) at least -3 and at most 2.5.
TEST_F(Reform, MaximumAndMinimum) {
  load({{1, 1, 0}}, "L", {5}, {0, 0, 1}, {0, -3, -kInf}, {4, 6, kInf}, -1);
  gencons(KRVU_GENCONS_MAX, 2, {0, 1}, {-1, 2.5});
  EXPECT_NEAR(optimum(), 5, kTol);
  sense(1);
  EXPECT_NEAR(optimum(), 2.5, kTol);
  drop_gencons();
  gencons(KRVU_GENCONS_MIN, 2, {0, 1});
  EXPECT_NEAR(optimum(), -3, kTol);
  sense(-1);
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 2.5, kTol);
  EXPECT_NEAR(x[0], 2.5, kTol);
}

// r = |x|, x in [-5, 3]: max r - 0.5x = 7.5 (x = -5); max r + x = 6 (x = 3);
// min r with x <= -2 is 2; with r <= -1 infeasible.
TEST_F(Reform, AbsoluteValue) {
  load({{1, 0}}, "L", {10}, {-0.5, 1}, {-5, -kInf}, {3, kInf}, -1);
  gencons(KRVU_GENCONS_ABS, 1, {0});
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 7.5, kTol);
  EXPECT_NEAR(x[0], -5, kTol);
  obj(0, 1);
  EXPECT_NEAR(optimum(&x), 6, kTol);
  obj(0, 0);
  rhs(0, -2);
  sense(1);
  EXPECT_NEAR(optimum(), 2, kTol);
  // A negative upper bound on r leaves nothing feasible (it must not make
  // x's lower bound look non-negative).
  bound(1, 'U', -1);
  double v = 0;
  EXPECT_EQ(solve(&x, &v), KRVU_MIP_INFEAS);
}

// r = and(b0, b1, b2) and r = or(...) with random costs, against enumeration;
// then constants that decide the result.
TEST_F(Reform, LogicalAndOr) {
  for (int kind : {KRVU_GENCONS_AND, KRVU_GENCONS_OR}) {
    std::mt19937 rng(kind + 3);
    for (int trial = 0; trial < 6; ++trial) {
      std::vector<double> c(4);
      for (double &v : c) v = static_cast<int>(rng() % 9) - 4 + 0.25;
      load({}, "", {}, c, {0, 0, 0, -kInf}, {1, 1, 1, kInf}, -1);
      types("BBBC");
      gencons(kind, 3, {0, 1, 2});
      double best = -kInf;
      for (int s = 0; s < 8; ++s) {
        const int k = __builtin_popcount(s);
        double v = c[3] * (kind == KRVU_GENCONS_AND ? k == 3 : k > 0);
        for (int j = 0; j < 3; ++j) v += c[j] * ((s >> j) & 1);
        best = std::max(best, v);
      }
      std::vector<double> x;
      EXPECT_NEAR(optimum(&x), best, kTol) << "kind " << kind << " trial " << trial;
      const int k = (x[0] > 0.5) + (x[1] > 0.5) + (x[2] > 0.5);
      EXPECT_NEAR(x[3], kind == KRVU_GENCONS_AND ? k == 3 : k > 0, kTol);
    }
  }
  load({}, "", {}, {0, 0, 1}, {0, 0, -kInf}, {1, 1, kInf}, -1);
  types("BBC");
  gencons(KRVU_GENCONS_AND, 2, {0, 1}, {0});
  EXPECT_NEAR(optimum(), 0, kTol);
  drop_gencons();
  gencons(KRVU_GENCONS_OR, 2, {0, 1}, {2});
  sense(1);
  EXPECT_NEAR(optimum(), 1, kTol);
}

// y = f(x) through (0,0), (2,4), (4,5), (6,9), continued with slope 2 on both
// sides.  x in [0, 6]: min y - 1.2x = 0 (x = 0), min y - 1.9x = -2.6 (x = 4).
// x in [-2, 8]: min y - 1.2x = -1.6 (x = -2), max 13 - 9.6 (x = 8).  A free x
// with y >= -6 stops the left continuation at x = -3.
TEST_F(Reform, PiecewiseLinearCost) {
  load({}, "", {}, {-1.2, 1}, {0, -kInf}, {6, kInf});
  pwl(0, 1, {0, 2, 4, 6}, {0, 4, 5, 9});
  std::vector<double> x;
  EXPECT_NEAR(optimum(), 0, kTol);
  obj(0, -1.9);
  EXPECT_NEAR(optimum(&x), -2.6, kTol);
  EXPECT_NEAR(x[1], 5, kTol);
  obj(0, -1.2);
  bound(0, 'L', -2);
  bound(0, 'U', 8);
  EXPECT_NEAR(optimum(&x), -1.6, kTol);
  EXPECT_NEAR(x[1], -4, kTol);
  sense(-1);
  EXPECT_NEAR(optimum(), 13 - 9.6, kTol);
  bound(0, 'L', -kInf);
  bound(1, 'L', -6);
  sense(1);
  EXPECT_NEAR(optimum(&x), -6 + 3.6, kTol);
  EXPECT_NEAR(x[0], -3, kTol);
}

// (0,0), (1,1), (1,3), (2,4) takes 1 and 3 at x = 1; a jump at the first
// breakpoint stops x there; a single point fixes both columns.
TEST_F(Reform, PiecewiseLinearJumps) {
  load({}, "", {}, {-2, 1}, {-5, -kInf}, {2, kInf});
  pwl(0, 1, {0, 1, 1, 2}, {0, 1, 3, 4});
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), -1, kTol);  // min y - 2x at x = 1 (x = -5 gives 5)
  EXPECT_NEAR(x[0], 1, kTol);
  bound(0, 'U', 1);
  obj(0, 0);
  sense(-1);
  EXPECT_NEAR(optimum(), 3, kTol);  // max y, x <= 1
  drop_pwl();
  pwl(0, 1, {0, 0, 1}, {2, 5, 6});
  obj(0, -2);
  EXPECT_NEAR(optimum(&x), 5, kTol);  // max y - 2x: x = 0, y = 5
  sense(1);
  EXPECT_NEAR(optimum(&x), 2, kTol);  // min y - 2x: x = 0, y = 2 (x < 0 not reachable)
  EXPECT_NEAR(x[0], 0, kTol);
  drop_pwl();
  pwl(0, 1, {0.5}, {7});
  EXPECT_NEAR(optimum(&x), 6, kTol);
  EXPECT_NEAR(x[0], 0.5, kTol);
}

// x partially integer in [0, 10] with limit 3.5: max x s.t. 2x <= b, then
// min x s.t. 2x >= b; with limit 4 and lb 1.5: integers 2..4, then [4, 10].
TEST_F(Reform, PartiallyIntegerColumn) {
  load({{2}}, "L", {0}, {1}, {0}, {10}, -1);
  types("P");
  limit(0, 3.5);
  for (auto c : std::vector<std::pair<double, double>>{
           {5, 2}, {6.8, 3}, {7.4, 3.7}, {9, 4.5}, {30, 10}, {1.9, 0}}) {
    rhs(0, c.first);
    EXPECT_NEAR(optimum(), c.second, kTol) << "2x <= " << c.first;
  }
  const int r0 = 0;
  const char g = 'G';
  ASSERT_EQ(KRVUchgrowtype(p, 1, &r0, &g), 0);
  sense(1);
  for (auto c : std::vector<std::pair<double, double>>{{2.2, 2}, {6.2, 3.5}, {7.4, 3.7}}) {
    rhs(0, c.first);
    EXPECT_NEAR(optimum(), c.second, kTol) << "2x >= " << c.first;
  }
  limit(0, 4);
  bound(0, 'L', 1.5);
  for (auto c : std::vector<std::pair<double, double>>{{1, 2}, {5, 3}, {8.4, 4.2}}) {
    rhs(0, c.first);
    EXPECT_NEAR(optimum(), c.second, kTol) << "2x >= " << c.first;
  }
}

// x semi-continuous in {0} u [1000, 1e6], y semi-integer in {0} u {3, ..,
// 2e5}: min x + 1.5y with x + y >= 10 takes y = 10; with y at 2000 a unit,
// x = 1000; y >= 2 alone at cost 1 gives y = 3.
TEST_F(Reform, LargeSemiContinuousColumns) {
  load({{1, 1}}, "G", {10}, {1, 1.5}, {0, 0}, {1e6, 2e5});
  types("SR");
  limit(0, 1000);
  limit(1, 2.5);
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 15, kTol);
  EXPECT_NEAR(x[0], 0, kTol);
  obj(1, 2000);
  EXPECT_NEAR(optimum(), 1000, kTol);
  rhs(0, 2);
  obj(1, 1);
  EXPECT_NEAR(optimum(&x), 3, kTol);
  EXPECT_NEAR(x[1], 3, kTol);
}

// ---- refusals -----------------------------------------------------------------

TEST_F(Reform, RefusesWhatNeedsAMissingBound) {
  ModelData out;
  std::string why;
  // An indicator row over a column without an upper bound; as a >= row it
  // needs only the lower bound.
  load({{1, 0}}, "L", {5}, {1, 0}, {0, 0}, {kInf, 1});
  types("CB");
  indicator(0, 1, 1);
  why = refusal();
  EXPECT_NE(why.find("indicator row 0 (R1)"), std::string::npos) << why;
  EXPECT_NE(why.find("column 0 (C1) has no upper bound"), std::string::npos) << why;
  const int r0 = 0;
  const char g = 'G';
  ASSERT_EQ(KRVUchgrowtype(p, 1, &r0, &g), 0);
  EXPECT_TRUE(reformulate(&out, &why)) << why;
  types("CC");
  EXPECT_NE(refusal().find("column 1 (C2), which is not binary"), std::string::npos);

  load({}, "", {}, {1, 1, 1}, {0, 0, 0}, {kInf, 2, kInf});
  sets("1", {0}, {0, 1}, {1, 2});
  EXPECT_NE(refusal().find("set 0 (S1): member column 0 (C1) has no finite upper bound"),
            std::string::npos);

  load({}, "", {}, {1, 1, 1}, {-kInf, 0, -kInf}, {4, 2, kInf});
  gencons(KRVU_GENCONS_MAX, 2, {0, 1});
  why = refusal();
  EXPECT_NE(why.find("general constraint 0 (max)"), std::string::npos) << why;
  EXPECT_NE(why.find("column 0 (C1) has no finite lower bound"), std::string::npos) << why;

  // |x| with x unbounded below, until the resultant's upper bound bounds it.
  load({}, "", {}, {1, 1}, {-kInf, 0}, {3, kInf});
  gencons(KRVU_GENCONS_ABS, 1, {0});
  EXPECT_NE(refusal().find("(abs)"), std::string::npos);
  bound(1, 'U', 10);
  EXPECT_TRUE(reformulate(&out, &why)) << why;

  load({}, "", {}, {1, 1}, {0, -kInf}, {kInf, kInf});
  pwl(0, 1, {0, 1}, {0, 2});
  why = refusal();
  EXPECT_NE(why.find("piecewise-linear constraint 0"), std::string::npos) << why;
  EXPECT_NE(why.find("continues right"), std::string::npos) << why;

  load({}, "", {}, {1}, {0}, {kInf});
  types("P");
  limit(0, 3);
  EXPECT_NE(refusal().find("partially integer"), std::string::npos);
  types("S");
  limit(0, 3);
  EXPECT_NE(refusal().find("semi-continuous without a finite upper bound"), std::string::npos);
  // The binaries of a reformulation would meet a quadratic objective.
  bound(0, 'U', 1e6);
  ASSERT_EQ(KRVUchgqobj(p, 0, 0, 1.0), 0);
  EXPECT_NE(refusal().find("quadratic objective"), std::string::npos);
}

// ---- through KRVUmipoptimize --------------------------------------------------

struct Seen {
  int calls = 0, cols = -1, rows = -1;
  std::vector<double> x, slack;
};

void on_solution(KRVUprob prob, void *data) {
  Seen *seen = static_cast<Seen *>(data);
  ++seen->calls;
  KRVUgetintattrib(prob, KRVU_ATTR_COLS, &seen->cols);
  KRVUgetintattrib(prob, KRVU_ATTR_ROWS, &seen->rows);
  seen->x.assign(seen->cols, NAN);
  seen->slack.assign(seen->rows, NAN);
  KRVUgetmipsol(prob, seen->x.data(), seen->slack.data());
}

// The capacity model of IndicatorSwitchesCapacity plus an SOS1 on (x, y) and
// y semi-continuous up to 1e6, solved by KRVUmipoptimize: the problem keeps
// its columns and rows, slacks are those of the user's rows, callbacks see the
// user's model, and a relaxation afterwards solves the user's model.
TEST_F(Reform, MipoptimizeSolvesTheReformulation) {
  load({{1, 0, 0}, {1, 0, 0}, {1, 0, 1}}, "LLL", {40, 90, 1000}, {2, -30, 0.5}, {0, 0, 0},
       {100, 1, 1e6}, -1);
  types("CBS");
  limit(2, 600);
  indicator(0, 1, -1);
  indicator(1, 1, 1);
  sets("1", {0}, {0, 2}, {1, 2});
  Seen seen;
  ASSERT_EQ(KRVUaddcbintsol(p, on_solution, &seen, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err(p);
  int st = 0, cols = 0, rows = 0;
  KRVUgetintattrib(p, KRVU_ATTR_MIPSTATUS, &st);
  KRVUgetintattrib(p, KRVU_ATTR_COLS, &cols);
  KRVUgetintattrib(p, KRVU_ATTR_ROWS, &rows);
  EXPECT_EQ(st, KRVU_MIP_OPTIMAL);
  EXPECT_EQ(cols, 3);
  EXPECT_EQ(rows, 3);
  // x = 90 with b = 1 (150) beats y = 1000 alone (500 - 30 or 500).
  double objval = 0;
  KRVUgetdblattrib(p, KRVU_ATTR_MIPBESTOBJVAL, &objval);
  EXPECT_NEAR(objval, 500, kTol);
  double x[3], slack[3];
  ASSERT_EQ(KRVUgetmipsol(p, x, slack), 0) << err(p);
  EXPECT_NEAR(x[0], 0, kTol);
  EXPECT_NEAR(x[2], 1000, kTol);
  EXPECT_NEAR(slack[0], 40, kTol);  // the user's row, not its relaxation
  EXPECT_NEAR(slack[2], 0, kTol);
  ASSERT_GE(seen.calls, 1);
  EXPECT_EQ(seen.cols, 3);
  EXPECT_EQ(seen.rows, 3);
  EXPECT_NEAR(seen.x.back(), 1000, kTol);
  // Without y's worth the capacity decides: 150.
  obj(2, 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err(p);
  KRVUgetdblattrib(p, KRVU_ATTR_MIPBESTOBJVAL, &objval);
  EXPECT_NEAR(objval, 150, kTol);
  // The engine holds the user's model again for the relaxation.
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err(p);
  KRVUgetintattrib(p, KRVU_ATTR_LPSTATUS, &st);
  EXPECT_EQ(st, KRVU_LP_OPTIMAL);
  std::vector<double> lpx(3);
  EXPECT_EQ(KRVUgetlpsol(p, lpx.data(), nullptr, nullptr, nullptr), 0) << err(p);
}

TEST_F(Reform, MipoptimizeRefusalsSayWhere) {
  load({{1, 0}}, "L", {5}, {1, 0}, {0, 0}, {kInf, 1});
  types("CB");
  indicator(0, 1, 1);
  // The engine's path refuses; the automatic choice takes the library's
  // search, which branches on the indicator instead.
  KRVUsetintcontrol(p, 8400, 2);
  EXPECT_NE(KRVUmipoptimize(p, ""), 0);
  EXPECT_NE(err(p).find("indicator row 0 (R1)"), std::string::npos) << err(p);
  EXPECT_NE(err(p).find("KRVUlpoptimize"), std::string::npos) << err(p);
  int cols = 0;
  KRVUgetintattrib(p, KRVU_ATTR_COLS, &cols);
  EXPECT_EQ(cols, 2);
  // A quadratic objective with integer columns keeps its refusal.
  bound(0, 'U', 10);
  ASSERT_EQ(KRVUchgqobj(p, 0, 0, 1.0), 0);
  EXPECT_NE(KRVUmipoptimize(p, ""), 0);
  EXPECT_NE(err(p).find("quadratic objective"), std::string::npos) << err(p);
  KRVUsetintcontrol(p, 8400, 0);
  EXPECT_EQ(KRVUmipoptimize(p, ""), 0) << err(p);
  int status = 0;
  KRVUgetintattrib(p, KRVU_ATTR_MIPSTATUS, &status);
  EXPECT_EQ(status, KRVU_MIP_OPTIMAL);
}

}  // namespace
