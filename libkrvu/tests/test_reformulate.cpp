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
  m.coltype[1] = 'C';
  m.indcol[0] = 1;
  m.indcomp[0] = 1;
  EXPECT_TRUE(krvu::needs_reformulation(m));
}

TEST(ReformShape, OriginalColumnsAndRowsKeepTheirPlaces) {
  ModelData in = dense_model({{1, 2, 3}, {1, 0, 1}}, "LE", {6, 2}, {-1, -2, -3}, {4, 4, 4});
  in.lb[0] = -1;
  in.objrhs = 5;
  in.colnames = {"x", "y", "z"};
  in.settype = {'1'};
  in.setstart = {0, 3};
  in.setcol = {0, 1, 2};
  in.setref = {1, 2, 3};
  in.setnames = {"s"};
  in.indcol[1] = 1;  // y = 1 -> x + z = 2
  in.indcomp[1] = 1;
  ModelData out;
  std::string why;
  in.coltype[1] = 'B';
  in.ub[1] = 1;
  ASSERT_TRUE(krvu::reformulate_for_engine(in, &out, &why, 1e-6)) << why;
  EXPECT_EQ(out.validate(), "");
  ASSERT_GT(out.ncols(), 3);
  ASSERT_GT(out.nrows(), 2);
  EXPECT_EQ(out.nsets(), 0);
  EXPECT_EQ(out.objrhs, 5);
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(out.obj[j], in.obj[j]);
    EXPECT_EQ(out.lb[j], in.lb[j]);
    EXPECT_EQ(out.ub[j], in.ub[j]);
    EXPECT_EQ(out.colnames[j], in.colnames[j]);
  }
  for (int j = 3; j < out.ncols(); ++j) {
    EXPECT_EQ(out.obj[j], 0);
    EXPECT_EQ(out.coltype[j], 'B');
  }
  // Row 0 untouched; row 1 (x + z = 2 when y = 1, activity in [-1, 8]) keeps
  // its upper side relaxed by 6 (1 - y) and an appended row its lower side,
  // relaxed by 3 (1 - y).
  EXPECT_EQ(out.rowtype[0], 'L');
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
  // Refused: the input is left alone and the output untouched.
  ModelData before = out;
  in.ub[2] = kInf;
  EXPECT_FALSE(krvu::reformulate_for_engine(in, &out, &why, 1e-6));
  EXPECT_EQ(out.ncols(), before.ncols());
  EXPECT_EQ(out.nrows(), before.nrows());
}

TEST(ReformShape, NativeEntitiesStayAsTheyAre) {
  ModelData in = dense_model({{1, 1}}, "G", {1}, {1, 1}, {50, 3e5});
  in.coltype = {'S', 'R'};
  in.threshold = {5, 7};
  in.ub[0] = 50;  // the engine takes this one
  ModelData out;
  std::string why;
  ASSERT_TRUE(krvu::reformulate_for_engine(in, &out, &why, 1e-6)) << why;
  EXPECT_EQ(out.coltype[0], 'S');
  EXPECT_EQ(out.threshold[0], 5);
  EXPECT_EQ(out.coltype[1], 'I');  // semi-integer through a binary switch
  EXPECT_EQ(out.lb[1], 0);
  EXPECT_EQ(out.ncols(), 3);
  EXPECT_EQ(out.coltype[2], 'B');
  EXPECT_FALSE(krvu::needs_reformulation(out));
}

// ---- optima of reformulated models ------------------------------------------

// max 3x0 + 2x1 + 4x2  s.t.  x0 + x1 + x2 <= 5, ub (4, 10, 2), at most one
// non-zero: x0 = 4 gives 12 (x1 = 5: 10, x2 = 2: 8); without the set 16.
TEST_F(Reform, SpecialOrderedSetOnePicksOne) {
  load({{1, 1, 1}}, "L", {5}, {3, 2, 4}, {0, 0, 0}, {4, 10, 2}, -1);
  sets("1", {0}, {2, 0, 1, 0}, {3, 1, 2, 4});  // x0 listed twice counts once
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 12, kTol);
  EXPECT_NEAR(x[0], 4, kTol);
  EXPECT_NEAR(x[1] + x[2], 0, kTol);
  // A member that may be negative is held at 0 from below too: with x1 in
  // [-3, 10] and cost -2, x1 = -3 is worth 6 only alone.
  const int c1 = 1;
  const char l = 'L';
  const double m3 = -3, cost = -2;
  ASSERT_EQ(KRVUchgbounds(p, 1, &c1, &l, &m3), 0);
  ASSERT_EQ(KRVUchgobj(p, 1, &c1, &cost), 0);
  EXPECT_NEAR(optimum(&x), 12, kTol);
  EXPECT_NEAR(x[1], 0, kTol);
}

// Points (0,0), (1,3), (2,1), (3,4) as weights of an SOS2 with x = 1.5: the
// largest y is 2 (between (1,3) and (2,1)); mixing (1,3) and (3,4) would give
// 3.25.  Members are given out of weight order.
TEST_F(Reform, SpecialOrderedSetTwoInterpolates) {
  // columns l0..l3, y
  load({{1, 1, 1, 1, 0}, {0, 1, 2, 3, 0}, {0, 3, 1, 4, -1}}, "EEE", {1, 1.5, 0},
       {0, 0, 0, 0, 1}, {0, 0, 0, 0, -kInf}, {1, 1, 1, 1, kInf}, -1);
  sets("2", {0}, {3, 1, 0, 2}, {3, 1, 0, 2});
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 2, kTol);
  EXPECT_NEAR(x[0] + x[3], 0, kTol);
  EXPECT_NEAR(x[1], 0.5, kTol);
  // Minimising picks the same segment (the only one through x = 1.5).
  ASSERT_EQ(KRVUchgobjsense(p, 1), 0);
  EXPECT_NEAR(optimum(), 2, kTol);
  // x = 2.5 lies between (2,1) and (3,4): y = 2.5.
  const int r1 = 1;
  const double v = 2.5;
  ASSERT_EQ(KRVUchgrhs(p, 1, &r1, &v), 0);
  EXPECT_NEAR(optimum(), 2.5, kTol);
}

// max 2x - c b with x in [0, 100]: x <= 40 while b = 0 (complement -1) and
// x <= 90 while b = 1.  c = 30: b = 1, 150; c = 120: b = 0, 80.
TEST_F(Reform, IndicatorSwitchesCapacity) {
  load({{1, 0}, {1, 0}}, "LL", {40, 90}, {2, -30}, {0, 0}, {100, 1}, -1);
  types("CB");
  const int rows[] = {0, 1}, cols[] = {1, 1}, comp[] = {-1, 1};
  ASSERT_EQ(KRVUsetindicators(p, 2, rows, cols, comp), 0) << err(p);
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 150, kTol);
  EXPECT_NEAR(x[0], 90, kTol);
  EXPECT_NEAR(x[1], 1, kTol);
  const int c1 = 1;
  const double cost = -120;
  ASSERT_EQ(KRVUchgobj(p, 1, &c1, &cost), 0);
  EXPECT_NEAR(optimum(&x), 80, kTol);
  EXPECT_NEAR(x[0], 40, kTol);
  EXPECT_NEAR(x[1], 0, kTol);
}

// Two-sided indicator rows: 3 <= x + y <= 5 (range) and x - y = 1 when b = 1;
// min x + 2y + 1.5(1 - b) ... written as max of -(x + 2y) + 1.5b.  With b = 1:
// x = 2, y = 1 gives -4 + 1.5; with b = 0 everything 0 gives 0, the better.
// Making b cost less flips it.
TEST_F(Reform, TwoSidedIndicatorRows) {
  load({{1, 1, 0}, {1, -1, 0}}, "LE", {5, 1}, {-1, -2, 1.5}, {0, 0, 0}, {10, 10, 1}, -1);
  const int r0 = 0;
  const double rng = 2;
  ASSERT_EQ(KRVUchgrhsrange(p, 1, &r0, &rng), 0) << err(p);
  types("CCB");
  const int rows[] = {0, 1}, cols[] = {2, 2}, comp[] = {1, 1};
  ASSERT_EQ(KRVUsetindicators(p, 2, rows, cols, comp), 0) << err(p);
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 0, kTol);
  EXPECT_NEAR(x[2], 0, kTol);
  const int c2 = 2;
  const double gain = 5;
  ASSERT_EQ(KRVUchgobj(p, 1, &c2, &gain), 0);
  EXPECT_NEAR(optimum(&x), 1, kTol);
  EXPECT_NEAR(x[0], 2, kTol);
  EXPECT_NEAR(x[1], 1, kTol);
  // Enforced when b = 0 instead: b = 1 frees the rows and gives 5.
  const int comp0[] = {-1, -1};
  ASSERT_EQ(KRVUsetindicators(p, 2, rows, cols, comp0), 0) << err(p);
  EXPECT_NEAR(optimum(&x), 5, kTol);
}

// Columns x0 in [0, 4], x1 in [-3, 6] (row x0 + x1 <= 5), r.
TEST_F(Reform, MaximumAndMinimum) {
  load({{1, 1, 0}}, "L", {5}, {0, 0, 1}, {0, -3, -kInf}, {4, 6, kInf}, -1);
  gencons(KRVU_GENCONS_MAX, 2, {0, 1}, {-1, 2.5});
  // max r = max(x0, x1, 2.5): x1 = 5 (x0 = 0).
  EXPECT_NEAR(optimum(), 5, kTol);
  // min r: both at most 2.5 -> 2.5.
  ASSERT_EQ(KRVUchgobjsense(p, 1), 0);
  EXPECT_NEAR(optimum(), 2.5, kTol);
  ASSERT_EQ(KRVUdelgencons(p, 1, std::vector<int>{0}.data()), 0);
  gencons(KRVU_GENCONS_MIN, 2, {0, 1});
  // min r = min(x0, x1): x1 = -3.
  EXPECT_NEAR(optimum(), -3, kTol);
  // max r: x0 = x1 = 2.5.
  ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 2.5, kTol);
  EXPECT_NEAR(x[0], 2.5, kTol);
  EXPECT_NEAR(x[1], 2.5, kTol);
}

// r = |x| with x in [-5, 3]: max r - 0.5x is 7.5 at x = -5; max r + x is 6 at
// x = 3; min r with x <= -2 is 2.
TEST_F(Reform, AbsoluteValue) {
  load({{1, 0}}, "L", {10}, {-0.5, 1}, {-5, -kInf}, {3, kInf}, -1);
  gencons(KRVU_GENCONS_ABS, 1, {0});
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 7.5, kTol);
  EXPECT_NEAR(x[0], -5, kTol);
  const int c0 = 0;
  const double one = 1;
  ASSERT_EQ(KRVUchgobj(p, 1, &c0, &one), 0);
  EXPECT_NEAR(optimum(&x), 6, kTol);
  EXPECT_NEAR(x[1], 3, kTol);
  const double zero = 0, m2 = -2;
  const int r0 = 0;
  ASSERT_EQ(KRVUchgobj(p, 1, &c0, &zero), 0);
  ASSERT_EQ(KRVUchgrhs(p, 1, &r0, &m2), 0);
  ASSERT_EQ(KRVUchgobjsense(p, 1), 0);
  EXPECT_NEAR(optimum(), 2, kTol);
}

// r = and(b0, b1, b2) and r = or(...), checked against enumeration of every
// cost vector sign pattern: max w'b + c r.
TEST_F(Reform, LogicalAndOr) {
  for (int kind : {KRVU_GENCONS_AND, KRVU_GENCONS_OR}) {
    std::mt19937 rng(kind + 3);
    for (int trial = 0; trial < 6; ++trial) {
      std::vector<double> obj(4);
      for (double &c : obj) c = static_cast<int>(rng() % 9) - 4 + 0.25;
      load({{1, 1, 1, 0}}, "L", {3}, obj, {0, 0, 0, -kInf}, {1, 1, 1, kInf}, -1);
      types("BBBC");
      gencons(kind, 3, {0, 1, 2});
      double best = -kInf;
      for (int s = 0; s < 8; ++s) {
        int n = __builtin_popcount(s);
        double r = kind == KRVU_GENCONS_AND ? (n == 3) : (n > 0);
        double v = obj[3] * r;
        for (int j = 0; j < 3; ++j) v += obj[j] * ((s >> j) & 1);
        best = std::max(best, v);
      }
      std::vector<double> x;
      EXPECT_NEAR(optimum(&x), best, kTol) << "kind " << kind << " trial " << trial;
      const int n = (x[0] > 0.5) + (x[1] > 0.5) + (x[2] > 0.5);
      EXPECT_NEAR(x[3], kind == KRVU_GENCONS_AND ? n == 3 : n > 0, kTol);
    }
  }
  // A zero constant decides and(); a non-zero one or().
  load({}, "", {}, {0, 0, 1}, {0, 0, -kInf}, {1, 1, kInf}, -1);
  types("BBC");
  gencons(KRVU_GENCONS_AND, 2, {0, 1}, {0});
  EXPECT_NEAR(optimum(), 0, kTol);
  ASSERT_EQ(KRVUdelgencons(p, 1, std::vector<int>{0}.data()), 0);
  gencons(KRVU_GENCONS_OR, 2, {0, 1}, {2});
  ASSERT_EQ(KRVUchgobjsense(p, 1), 0);
  EXPECT_NEAR(optimum(), 1, kTol);
}

// Cost y = f(x) through (0,0), (2,4), (4,5), (6,9), continued by slope 2 on
// both sides.  min y - 1.2x: 0 at x = 0 within [0, 6]; with x in [-2, 8] the
// continuation gives -1.6 at x = -2.
TEST_F(Reform, PiecewiseLinearCost) {
  load({}, "", {}, {-1.2, 1}, {0, -kInf}, {6, kInf});
  pwl(0, 1, {0, 2, 4, 6}, {0, 4, 5, 9});
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 0, kTol);
  // With cost y - 1.9x the breakpoint x = 4 wins: -2.6 (x = 6 gives -2.4).
  const int c0 = 0;
  const double m19 = -1.9;
  ASSERT_EQ(KRVUchgobj(p, 1, &c0, &m19), 0);
  EXPECT_NEAR(optimum(&x), -2.6, kTol);
  EXPECT_NEAR(x[0], 4, kTol);
  EXPECT_NEAR(x[1], 5, kTol);
  // Beyond the breakpoints.
  const double m12 = -1.2;
  ASSERT_EQ(KRVUchgobj(p, 1, &c0, &m12), 0);
  const int cols[] = {0, 0};
  const char lu[] = {'L', 'U'};
  const double bnd[] = {-2, 8};
  ASSERT_EQ(KRVUchgbounds(p, 2, cols, lu, bnd), 0);
  EXPECT_NEAR(optimum(&x), -1.6, kTol);
  EXPECT_NEAR(x[1], -4, kTol);
  // Maximising y - 1.2x reaches the right end: f(8) = 13.
  ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  EXPECT_NEAR(optimum(&x), 13 - 9.6, kTol);
  // A free x with a bounded y: the continuation stops where y does (y >= -6
  // -> x >= -3).
  const double free_lo = -kInf, ylo = -6;
  const char l = 'L';
  const int c1 = 1;
  ASSERT_EQ(KRVUchgbounds(p, 1, &c0, &l, &free_lo), 0);
  ASSERT_EQ(KRVUchgbounds(p, 1, &c1, &l, &ylo), 0);
  ASSERT_EQ(KRVUchgobjsense(p, 1), 0);
  EXPECT_NEAR(optimum(&x), -6 + 3.6, kTol);
  EXPECT_NEAR(x[0], -3, kTol);
}

// Jumps: (0,0), (1,1), (1,3), (2,4) has both 1 and 3 at x = 1; a jump at the
// first breakpoint stops x there.
TEST_F(Reform, PiecewiseLinearJumps) {
  load({}, "", {}, {-2, 1}, {-5, -kInf}, {2, kInf});
  pwl(0, 1, {0, 1, 1, 2}, {0, 1, 3, 4});
  std::vector<double> x;
  // min y - 2x: -1 at x = 1 (lower branch); x = -5 on the continuation gives
  // y = -5, -5 + 10 = 5.
  EXPECT_NEAR(optimum(&x), -1, kTol);
  EXPECT_NEAR(x[0], 1, kTol);
  // max y with x <= 1 (upper bound): 3 at the jump.
  const int c0 = 0;
  const char u = 'U';
  const double one = 1, zero = 0;
  ASSERT_EQ(KRVUchgbounds(p, 1, &c0, &u, &one), 0);
  ASSERT_EQ(KRVUchgobj(p, 1, &c0, &zero), 0);
  ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  EXPECT_NEAR(optimum(&x), 3, kTol);
  // A jump at the first breakpoint: nothing left of it.
  ASSERT_EQ(KRVUdelpwlcons(p, 1, std::vector<int>{0}.data()), 0);
  pwl(0, 1, {0, 0, 1}, {2, 5, 6});
  const double m2 = -2;
  ASSERT_EQ(KRVUchgobj(p, 1, &c0, &m2), 0);  // max y - 2x: 5 at x = 0 (x = 1 gives 4)
  EXPECT_NEAR(optimum(&x), 5, kTol);
  EXPECT_NEAR(x[0], 0, kTol);
  ASSERT_EQ(KRVUchgobjsense(p, 1), 0);  // min y - 2x: 2 at x = 0 (x < 0 not reachable)
  EXPECT_NEAR(optimum(&x), 2, kTol);
  EXPECT_NEAR(x[0], 0, kTol);
  // A single point fixes both.
  ASSERT_EQ(KRVUdelpwlcons(p, 1, std::vector<int>{0}.data()), 0);
  pwl(0, 1, {0.5}, {7});
  EXPECT_NEAR(optimum(&x), 6, kTol);
  EXPECT_NEAR(x[0], 0.5, kTol);
}

// x partially integer with limit 3.5 in [0, 10]: integer up to 3.5,
// continuous from 3.5.  max x s.t. 2x <= b.
TEST_F(Reform, PartiallyIntegerColumn) {
  load({{2}}, "L", {0}, {1}, {0}, {10}, -1);
  types("P");
  limit(0, 3.5);
  const int r0 = 0;
  const std::vector<std::pair<double, double>> cases = {
      {5, 2}, {6.8, 3}, {7.4, 3.7}, {9, 4.5}, {30, 10}, {1.9, 0}};
  for (const auto &c : cases) {
    ASSERT_EQ(KRVUchgrhs(p, 1, &r0, &c.first), 0);
    EXPECT_NEAR(optimum(), c.second, kTol) << "2x <= " << c.first;
  }
  // min x s.t. 2x >= b.
  const char g = 'G';
  ASSERT_EQ(KRVUchgrowtype(p, 1, &r0, &g), 0);
  ASSERT_EQ(KRVUchgobjsense(p, 1), 0);
  for (const auto &c : std::vector<std::pair<double, double>>{{2.2, 2}, {6.2, 3.5}, {7.4, 3.7}}) {
    ASSERT_EQ(KRVUchgrhs(p, 1, &r0, &c.first), 0);
    EXPECT_NEAR(optimum(), c.second, kTol) << "2x >= " << c.first;
  }
  // An integer limit, lb above 0: integer in [1.5, 4], continuous above 4.
  limit(0, 4);
  const int c0 = 0;
  const char l = 'L';
  const double lb = 1.5;
  ASSERT_EQ(KRVUchgbounds(p, 1, &c0, &l, &lb), 0);
  for (const auto &c : std::vector<std::pair<double, double>>{{1, 2}, {5, 3}, {8.4, 4.2}}) {
    ASSERT_EQ(KRVUchgrhs(p, 1, &r0, &c.first), 0);
    EXPECT_NEAR(optimum(), c.second, kTol) << "2x >= " << c.first;
  }
}

// x semi-continuous in {0} u [1000, 1e6] and y semi-integer in {0} u
// {3, ..., 2e5}: min x + 1.5y with x + y >= 10 takes y = 10 (15); with y
// costing 2000, x = 1000.
TEST_F(Reform, LargeSemiContinuousColumns) {
  load({{1, 1}}, "G", {10}, {1, 1.5}, {0, 0}, {1e6, 2e5});
  types("SR");
  limit(0, 1000);
  limit(1, 2.5);
  std::vector<double> x;
  EXPECT_NEAR(optimum(&x), 15, kTol);
  EXPECT_NEAR(x[0], 0, kTol);
  const int c1 = 1, r0 = 0;
  const double big = 2000, two = 2;
  ASSERT_EQ(KRVUchgobj(p, 1, &c1, &big), 0);
  EXPECT_NEAR(optimum(&x), 1000, kTol);
  // y >= 2 alone: the smallest semi-integer value is 3.
  ASSERT_EQ(KRVUchgrhs(p, 1, &r0, &two), 0);
  const double one = 1;
  ASSERT_EQ(KRVUchgobj(p, 1, &c1, &one), 0);
  EXPECT_NEAR(optimum(&x), 3, kTol);
  EXPECT_NEAR(x[1], 3, kTol);
  // x <= 500 (a row) with max x: 0.
  load({{1}}, "L", {500}, {1}, {0}, {1e6}, -1);
  types("S");
  limit(0, 1000);
  EXPECT_NEAR(optimum(), 0, kTol);
}

// Random SOS1/SOS2 models against enumeration of the allowed supports (each
// solved as an LP with the other members fixed at 0).
TEST_F(Reform, SetsAgainstEnumeration) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 12; ++trial) {
    const int n = 4;
    const bool two = trial % 2 == 1;
    std::vector<double> obj(n), lb(n), ub(n);
    std::vector<std::vector<double>> a(2, std::vector<double>(n));
    for (int j = 0; j < n; ++j) {
      obj[j] = static_cast<int>(rng() % 11) - 5;
      lb[j] = rng() % 3 == 0 ? -static_cast<double>(rng() % 3 + 1) : 0;
      ub[j] = rng() % 4 + 1;
      for (int i = 0; i < 2; ++i) a[i][j] = static_cast<int>(rng() % 7) - 2;
    }
    const std::vector<double> rhs = {4, 3};
    // Best over the supports the set allows.
    double best = -kInf;
    for (int s = 0; s < n; ++s)
      for (int t = s; t < (two ? std::min(n, s + 2) : s + 1); ++t) {
        std::vector<double> l = lb, u = ub;
        for (int j = 0; j < n; ++j)
          if (j != s && j != t) l[j] = u[j] = 0;
        load(a, "LL", rhs, obj, l, u, -1);
        ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err(p);
        int st = 0;
        KRVUgetintattrib(p, KRVU_ATTR_LPSTATUS, &st);
        double v = 0;
        KRVUgetdblattrib(p, KRVU_ATTR_LPOBJVAL, &v);
        if (st == KRVU_LP_OPTIMAL) best = std::max(best, v);
      }
    load(a, "LL", rhs, obj, lb, ub, -1);
    // Members in reverse order, weights giving the column order.
    sets(two ? "2" : "1", {0}, {3, 2, 1, 0}, {4, 3, 2, 1});
    std::vector<double> x;
    double obj_value = NAN;
    const int st = solve(&x, &obj_value);
    if (best == -kInf) {
      EXPECT_EQ(st, KRVU_MIP_INFEAS) << "trial " << trial;
      continue;
    }
    ASSERT_EQ(st, KRVU_MIP_OPTIMAL) << "trial " << trial;
    EXPECT_NEAR(obj_value, best, kTol) << "trial " << trial;
    std::vector<int> nz;
    for (int j = 0; j < n; ++j)
      if (std::fabs(x[j]) > kTol) nz.push_back(j);
    EXPECT_LE(nz.size(), two ? 2u : 1u);
    if (nz.size() == 2) {
      EXPECT_EQ(nz[1] - nz[0], 1);
    }
  }
}

// ---- refusals -----------------------------------------------------------------

TEST_F(Reform, RefusesWhatNeedsAMissingBound) {
  // An indicator row over a column without an upper bound.
  load({{1, 0}}, "L", {5}, {1, 0}, {0, 0}, {kInf, 1});
  types("CB");
  const int r0 = 0, c1 = 1, one = 1;
  ASSERT_EQ(KRVUsetindicators(p, 1, &r0, &c1, &one), 0);
  std::string why = refusal();
  EXPECT_NE(why.find("row 0 (R1)"), std::string::npos) << why;
  EXPECT_NE(why.find("column 0 (C1) has no upper bound"), std::string::npos) << why;
  // A >= row would only need the lower bound, which is finite.
  const char g = 'G';
  ASSERT_EQ(KRVUchgrowtype(p, 1, &r0, &g), 0);
  ModelData out;
  EXPECT_TRUE(reformulate(&out, &why)) << why;
  // A continuous indicator column is refused.
  types("CC");
  why = refusal();
  EXPECT_NE(why.find("not binary"), std::string::npos) << why;

  // Set members, max arguments, abs, pwl ends, partially integer and
  // semi-continuous columns without the bound they need.
  load({}, "", {}, {1, 1, 1}, {0, 0, 0}, {kInf, 2, kInf});
  sets("1", {0}, {0, 1}, {1, 2});
  why = refusal();
  EXPECT_NE(why.find("set 0 (S1)"), std::string::npos) << why;
  EXPECT_NE(why.find("column 0 (C1) has no finite upper bound"), std::string::npos) << why;

  load({}, "", {}, {1, 1, 1}, {-kInf, 0, -kInf}, {4, 2, kInf});
  gencons(KRVU_GENCONS_MAX, 2, {0, 1});
  why = refusal();
  EXPECT_NE(why.find("general constraint 0 (max)"), std::string::npos) << why;
  EXPECT_NE(why.find("column 0 (C1) has no finite lower bound"), std::string::npos) << why;

  load({}, "", {}, {1, 1}, {-kInf, 0}, {3, kInf});
  gencons(KRVU_GENCONS_ABS, 1, {0});
  why = refusal();
  EXPECT_NE(why.find("(abs)"), std::string::npos) << why;
  // The resultant's upper bound bounds the argument: accepted.
  const double ten = 10;
  const char u = 'U';
  ASSERT_EQ(KRVUchgbounds(p, 1, &c1, &u, &ten), 0);
  ModelData out2;
  EXPECT_TRUE(reformulate(&out2, &why)) << why;

  load({}, "", {}, {1, 1}, {0, -kInf}, {kInf, kInf});
  pwl(0, 1, {0, 1}, {0, 2});
  why = refusal();
  EXPECT_NE(why.find("piecewise-linear constraint 0"), std::string::npos) << why;
  EXPECT_NE(why.find("right"), std::string::npos) << why;

  load({}, "", {}, {1}, {0}, {kInf});
  types("P");
  limit(0, 3);
  why = refusal();
  EXPECT_NE(why.find("partially integer"), std::string::npos) << why;

  types("S");
  limit(0, 3);
  why = refusal();
  EXPECT_NE(why.find("semi-continuous without a finite upper bound"), std::string::npos) << why;

  // A quadratic objective: the binaries the reformulation adds would need
  // the integer search.
  const int c0 = 0;
  const double big = 1e6;
  ASSERT_EQ(KRVUchgbounds(p, 1, &c0, &u, &big), 0);
  ASSERT_EQ(KRVUchgqobj(p, 0, 0, 1.0), 0);
  why = refusal();
  EXPECT_NE(why.find("quadratic objective"), std::string::npos) << why;
}

}  // namespace
