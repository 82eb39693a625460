// Irreducible infeasible sets: on the public infeasible instances and small
// constructed cases every set is infeasible, dropping any member makes it
// feasible (checked by re-solving), and the Farkas certificate holds.
#include <algorithm>
#include <cstdio>
#include <map>

#include "analysis_fixture.h"

namespace {

using testing_analysis::AnalysisTest;

struct SetData {
  std::vector<int> rows, cols;
  std::vector<char> rtype, btype, riso, ciso;
  std::vector<double> duals, rdcs;
};

class Iis : public AnalysisTest {
 protected:
  SetData data(int num) {
    int nr = -1, nc = -1;
    EXPECT_EQ(KRVUgetiisdata(p, num, &nr, &nc, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr),
              0)
        << err();
    SetData d;
    d.rows.resize(nr);
    d.cols.resize(nc);
    d.rtype.resize(nr);
    d.btype.resize(nc);
    d.riso.resize(nr);
    d.ciso.resize(nc);
    d.duals.resize(nr);
    d.rdcs.resize(nc);
    EXPECT_EQ(KRVUgetiisdata(p, num, &nr, &nc, d.rows.data(), d.cols.data(), d.rtype.data(),
                             d.btype.data(), d.duals.data(), d.rdcs.data(), d.riso.data(),
                             d.ciso.data()),
              0)
        << err();
    return d;
  }

  // The subsystem of a set (skip: one member left out, -1 none) as a
  // problem of its own: its rows, and its bounds on otherwise free columns.
  // Returns the LP status of solving it.
  int solve_subsystem(const SetData &d, int skip, bool integer = false) {
    const int m = rows(), n = cols();
    std::vector<char> rt(m);
    std::vector<double> rhs(m), rng(m), lb(n), ub(n);
    std::vector<char> ct(n);
    KRVUgetrowtype(p, rt.data(), 0, m - 1);
    KRVUgetrhs(p, rhs.data(), 0, m - 1);
    KRVUgetrhsrange(p, rng.data(), 0, m - 1);
    KRVUgetlb(p, lb.data(), 0, n - 1);
    KRVUgetub(p, ub.data(), 0, n - 1);
    KRVUgetcoltype(p, ct.data(), 0, n - 1);
    KRVUprob q;
    EXPECT_EQ(KRVUcreateprob(&q), 0);
    KRVUsetintcontrol(q, 8030, 0);
    EXPECT_EQ(KRVUcopyprob(q, p, "sub"), 0);
    // Feasibility only.
    std::vector<int> all(n);
    for (int j = 0; j < n; ++j) all[j] = j;
    std::vector<double> zero(n, 0.0);
    KRVUchgobj(q, n, all.data(), zero.data());
    std::vector<char> keep_row(m, 0);
    for (size_t k = 0; k < d.rows.size(); ++k)
      if (static_cast<int>(k) != skip) keep_row[d.rows[k]] = 1;
    for (int i = 0; i < m; ++i)
      if (!keep_row[i]) {
        const char nt = 'N';
        KRVUchgrowtype(q, 1, &i, &nt);
      }
    std::vector<double> nlb(n, -KRVU_INFINITY), nub(n, KRVU_INFINITY);
    for (int j = 0; j < n; ++j)
      if (integer && ct[j] != 'C' && ct[j] != 'I') {
        nlb[j] = lb[j];
        nub[j] = ub[j];
      }
    for (size_t k = 0; k < d.cols.size(); ++k) {
      if (static_cast<int>(k + d.rows.size()) == skip) continue;
      const int j = d.cols[k];
      double l = lb[j], u = ub[j];
      if (ct[j] == 'B') {
        l = std::max(l, 0.0);
        u = std::min(u, 1.0);
      }
      if (d.btype[k] == 'L' || d.btype[k] == 'F') nlb[j] = l;
      if (d.btype[k] == 'U' || d.btype[k] == 'F') nub[j] = d.btype[k] == 'F' ? l : u;
    }
    for (int j = 0; j < n; ++j) {
      if (!integer && ct[j] != 'C') {
        const char c = 'C';
        KRVUchgcoltype(q, 1, &j, &c);
      }
      const char bt[2] = {'L', 'U'};
      const int idx[2] = {j, j};
      const double bv[2] = {nlb[j], nub[j]};
      KRVUchgbounds(q, 2, idx, bt, bv);
    }
    int status = -1;
    if (integer) {
      EXPECT_EQ(KRVUmipoptimize(q, ""), 0);
      KRVUgetintattrib(q, KRVU_ATTR_MIPSTATUS, &status);
    } else {
      char msg[512];
      EXPECT_EQ(KRVUlpoptimize(q, ""), 0) << (KRVUgetlasterror(q, msg), msg);
      KRVUgetintattrib(q, KRVU_ATTR_LPSTATUS, &status);
    }
    KRVUdestroyprob(q);
    return status;
  }

  // sum y_i a_i + sum d_j e_j = 0 and the combined limit is positive.
  void check_certificate(const SetData &d) {
    const int m = rows(), n = cols();
    std::vector<double> comb(n, 0.0), rhs(m), rng(m), lb(n), ub(n);
    std::vector<char> rt(m), ct(n);
    KRVUgetrowtype(p, rt.data(), 0, m - 1);
    KRVUgetrhs(p, rhs.data(), 0, m - 1);
    KRVUgetrhsrange(p, rng.data(), 0, m - 1);
    KRVUgetlb(p, lb.data(), 0, n - 1);
    KRVUgetub(p, ub.data(), 0, n - 1);
    KRVUgetcoltype(p, ct.data(), 0, n - 1);
    double limit = 0, scale = 0;
    for (size_t k = 0; k < d.rows.size(); ++k) {
      const int i = d.rows[k];
      const double y = d.duals[k];
      int64_t nz = 0;
      KRVUgetrows64(p, nullptr, nullptr, nullptr, 0, &nz, i, i);
      std::vector<int64_t> st(2);
      std::vector<int> ci(nz + 1);
      std::vector<double> v(nz + 1);
      KRVUgetrows64(p, st.data(), ci.data(), v.data(), nz, &nz, i, i);
      for (int64_t e = 0; e < nz; ++e) comb[ci[e]] += y * v[e];
      // The row's activity limits.
      double lo = -INFINITY, up = INFINITY;
      if (rt[i] == 'L' || rt[i] == 'E' || rt[i] == 'R') up = rhs[i];
      if (rt[i] == 'G' || rt[i] == 'E') lo = rhs[i];
      if (rt[i] == 'R') lo = rhs[i] - rng[i];
      if (y > 0) {
        ASSERT_FALSE(std::isinf(lo)) << "row " << i << " has no lower limit for y > 0";
        limit += y * lo;
      } else if (y < 0) {
        ASSERT_FALSE(std::isinf(up)) << "row " << i << " has no upper limit for y < 0";
        limit += y * up;
      }
      scale = std::max(scale, std::fabs(y));
    }
    for (size_t k = 0; k < d.cols.size(); ++k) {
      const int j = d.cols[k];
      const double dj = d.rdcs[k];
      comb[j] += dj;
      double l = lb[j], u = ub[j];
      if (ct[j] == 'B') {
        l = std::max(l, 0.0);
        u = std::min(u, 1.0);
      }
      if (dj > 0) limit += dj * l;
      else if (dj < 0) limit += dj * u;
      scale = std::max(scale, std::fabs(dj));
    }
    ASSERT_GT(scale, 0) << "no certificate";
    for (int j = 0; j < n; ++j) EXPECT_NEAR(comb[j], 0, 1e-7 * scale) << "column " << j;
    EXPECT_GT(limit, 1e-9 * scale);
  }

  // The whole check of set num: infeasible, irreducible, certified.
  void check_set(int num, bool integer = false) {
    SetData d = data(num);
    const int size = static_cast<int>(d.rows.size() + d.cols.size());
    ASSERT_GT(size, 0);
    const int infeasible = integer ? KRVU_MIP_INFEAS : KRVU_LP_INFEAS;
    EXPECT_EQ(solve_subsystem(d, -1, integer), infeasible) << "set " << num;
    for (int k = 0; k < size; ++k)
      EXPECT_NE(solve_subsystem(d, k, integer), infeasible)
          << "set " << num << " stays infeasible without member " << k;
    if (!integer) check_certificate(d);
  }
};

TEST_F(Iis, PublicInfeasibleInstances) {
  for (const char *name : {"galenet.mps", "box1.mps", "forest6.mps", "bgetam.mps"}) {
    SCOPED_TRACE(name);
    if (!read(name)) GTEST_SKIP() << "instances not available";
    int status = -1;
    ASSERT_EQ(KRVUiisfirst(p, 1, &status), 0) << err();
    ASSERT_EQ(status, 0);
    int n = 0;
    ASSERT_EQ(KRVUiisstatus(p, &n, nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(n, 1);
    std::vector<int> rs(2), cs(2), ni(2);
    std::vector<double> si(2);
    ASSERT_EQ(KRVUiisstatus(p, &n, rs.data(), cs.data(), si.data(), ni.data()), 0);
    // The initial subsystem holds the set.
    EXPECT_GE(rs[0] + cs[0], rs[1] + cs[1]);
    EXPECT_GT(si[1], 0);
    check_set(1);
    int solves = 0;
    KRVUgetintattrib(p, 1301, &solves);
    EXPECT_GT(solves, 0);
  }
}

// Three rows on one column: x <= 1, x >= 2, x >= 3 give the sets {r0, r1}
// and {r0, r2}; r0 is the isolation of both.
TEST_F(Iis, NextFindsEverySetAndIsolations) {
  load({{1}, {1}, {1}}, "LGG", {1, 2, 3}, {0}, {-KRVU_INFINITY}, {});
  int status = -1;
  ASSERT_EQ(KRVUiisfirst(p, 1, &status), 0) << err();
  ASSERT_EQ(status, 0);
  ASSERT_EQ(KRVUiisnext(p, &status), 0) << err();
  EXPECT_EQ(status, 0);
  ASSERT_EQ(KRVUiisnext(p, &status), 0);
  EXPECT_EQ(status, 1);
  int n = 0;
  KRVUiisstatus(p, &n, nullptr, nullptr, nullptr, nullptr);
  ASSERT_EQ(n, 2);
  std::vector<std::vector<int>> sets;
  for (int k = 1; k <= 2; ++k) {
    check_set(k);
    SetData d = data(k);
    EXPECT_TRUE(d.cols.empty());
    std::vector<int> r = d.rows;
    std::sort(r.begin(), r.end());
    sets.push_back(r);
    EXPECT_EQ(d.riso, std::vector<char>(d.rows.size(), -1));
    ASSERT_EQ(KRVUiisisolations(p, k), 0) << err();
    d = data(k);
    for (size_t m = 0; m < d.rows.size(); ++m)
      EXPECT_EQ(d.riso[m], d.rows[m] == 0 ? 1 : 0) << "set " << k << " row " << d.rows[m];
  }
  std::sort(sets.begin(), sets.end());
  EXPECT_EQ(sets, (std::vector<std::vector<int>>{{0, 1}, {0, 2}}));
  // iisall starts over only when nothing was found; it finds nothing new.
  ASSERT_EQ(KRVUiisall(p), 0);
  KRVUiisstatus(p, &n, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(n, 2);
}

TEST_F(Iis, BoundsAsMembersAndFeasibleProblems) {
  // x + y >= 5 with x <= 2 and y <= 1: the set is the row and both bounds.
  load({{1, 1}}, "G", {5}, {1, 1}, {}, {2, 1});
  int status = -1;
  ASSERT_EQ(KRVUiisfirst(p, 1, &status), 0);
  ASSERT_EQ(status, 0);
  SetData d = data(1);
  EXPECT_EQ(d.rows, std::vector<int>{0});
  EXPECT_EQ(d.rtype, std::vector<char>{'G'});
  std::vector<int> c = d.cols;
  std::sort(c.begin(), c.end());
  EXPECT_EQ(c, (std::vector<int>{0, 1}));
  EXPECT_EQ(d.btype, (std::vector<char>{'U', 'U'}));
  check_set(1);
  // Feasible: status 1 and no set.
  const int row = 0;
  const double r = 3;
  KRVUchgrhs(p, 1, &row, &r);
  ASSERT_EQ(KRVUiisfirst(p, 1, &status), 0);
  EXPECT_EQ(status, 1);
  int n = -1;
  KRVUiisstatus(p, &n, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(n, 0);
  EXPECT_NE(KRVUgetiisdata(p, 1, &n, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr),
            0);
  EXPECT_NE(err().find("'num'"), std::string::npos) << err();
  EXPECT_NE(KRVUiisfirst(p, 3, &status), 0);
  KRVUiisclear(p);
  EXPECT_NE(KRVUiisnext(p, &status), 0);
  EXPECT_NE(err().find("KRVUiisfirst"), std::string::npos) << err();
}

// Integer infeasibility the LP relaxation does not see: 2x + 2y = 3 over
// integers in [0, 5], with z <= 4 as a row that has no part in it.
TEST_F(Iis, IntegerSetsUseTheMipSolver) {
  load({{2, 2, 0}, {0, 0, 1}}, "EL", {3, 4}, {0, 0, 1}, {}, {5, 5, 10});
  const int cols_i[2] = {0, 1};
  const char types[2] = {'I', 'I'};
  ASSERT_EQ(KRVUchgcoltype(p, 2, cols_i, types), 0);
  int status = -1;
  ASSERT_EQ(KRVUiisfirst(p, 2, &status), 0);
  EXPECT_EQ(status, 1);  // the relaxation is feasible
  ASSERT_EQ(KRVUiisfirst(p, 1, &status), 0) << err();
  ASSERT_EQ(status, 0);
  SetData d = data(1);
  EXPECT_EQ(d.rows, std::vector<int>{0});
  EXPECT_TRUE(d.cols.empty());  // no bound is needed: the parity alone conflicts
  check_set(1, true);
}

TEST_F(Iis, WrittenSetsReadBackInfeasible) {
  if (!read("galenet.mps")) GTEST_SKIP() << "instances not available";
  int status = -1;
  ASSERT_EQ(KRVUiisfirst(p, 1, &status), 0);
  ASSERT_EQ(status, 0);
  for (int type : {0, 1}) {
    const std::string path = ::testing::TempDir() + (type ? "krvu_iis.mps" : "krvu_iis.lp");
    ASSERT_EQ(KRVUiiswrite(p, 1, path.c_str(), type, ""), 0) << err();
    KRVUprob q;
    ASSERT_EQ(KRVUcreateprob(&q), 0);
    KRVUsetintcontrol(q, 8030, 0);
    ASSERT_EQ(KRVUreadprob(q, path.c_str(), ""), 0);
    ASSERT_EQ(KRVUlpoptimize(q, ""), 0);
    int lp = -1, r = 0;
    KRVUgetintattrib(q, KRVU_ATTR_LPSTATUS, &lp);
    KRVUgetintattrib(q, KRVU_ATTR_ROWS, &r);
    EXPECT_EQ(lp, KRVU_LP_INFEAS);
    SetData d = data(1);
    EXPECT_EQ(r, static_cast<int>(d.rows.size()));
    KRVUdestroyprob(q);
    std::remove(path.c_str());
  }
  EXPECT_NE(KRVUiiswrite(p, 1, "x.lp", 5, ""), 0);
  EXPECT_NE(err().find("'type'"), std::string::npos);
}

}  // namespace
