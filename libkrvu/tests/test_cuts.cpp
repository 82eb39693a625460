// Cuts of the library's search: every cut found at the root keeps the
// feasible points (an optimum of each public MIP, every feasible point of
// small random models), the searches still reach the optima, and the pool
// keeps its cuts under stable ids.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "interfaces/highs_c_api.h"
#include "krvu.h"
#include "mip/search/cutpool.h"
#include "mip/search/search.h"
#include "model/store.h"

namespace {

using krvu::SearchControls;
using krvu::SearchResult;

SearchResult search(const krvu::ModelData &m, SearchControls c) {
  krvu::SearchHooks hooks;
  std::atomic<bool> stop(false);
  c.loglevel = 0;
  return krvu::run_search(m, c, krvu::SearchStart(), hooks, stop);
}

TEST(Cuts, KeepAnOptimumOfEachPublicMip) {
  int tried = 0;
  for (const char *f : {"flugpl.mps", "lseu.mps", "egout.mps", "rgn.mps", "p0548.mps", "bell5.mps"}) {
    const std::string path = std::string(KRVU_INSTANCES_DIR) + "/" + f;
    if (!std::ifstream(path).good()) continue;
    ++tried;
    // An optimum from the engine's own MIP solver, in the file's column order.
    void *h = Highs_create();
    Highs_setBoolOptionValue(h, "output_flag", 0);
    ASSERT_NE(Highs_readModel(h, path.c_str()), kHighsStatusError);
    Highs_run(h);
    std::vector<double> x(Highs_getNumCol(h));
    Highs_getSolution(h, x.data(), nullptr, nullptr, nullptr);
    Highs_destroy(h);

    KRVUinit(nullptr);
    KRVUprob p = nullptr;
    KRVUcreateprob(&p);
    ASSERT_EQ(KRVUreadprob(p, path.c_str(), ""), 0);
    const krvu::ModelData &m = krvu::read_model(p);
    ASSERT_EQ(m.ncols(), static_cast<int>(x.size()));
    SearchControls c;
    c.nodelimit = 1;
    c.check_cuts_at = &x;
    const SearchResult r = search(m, c);
    EXPECT_EQ(r.cuts_invalid, 0) << f;
    KRVUdestroyprob(p);
    KRVUfree();
  }
  if (!tried) GTEST_SKIP() << "instances not available";
}

// Pure integer models small enough to list every point.
struct Small {
  krvu::ModelData m;
  std::vector<std::vector<double>> feasible;
  double best = INFINITY;
};

Small random_small(std::mt19937 &rng) {
  Small s;
  const int n = 3 + rng() % 4, mrows = 2 + rng() % 3;
  s.m.append_cols(n);
  s.m.append_rows(mrows);
  std::vector<int> ri, ci;
  std::vector<double> v;
  std::vector<std::vector<double>> a(mrows, std::vector<double>(n, 0));
  for (int j = 0; j < n; ++j) {
    s.m.coltype[j] = 'I';
    s.m.lb[j] = 0;
    s.m.ub[j] = 1 + rng() % 3;
    s.m.obj[j] = -static_cast<double>(1 + rng() % 9);
    for (int i = 0; i < mrows; ++i)
      if (rng() % 4) {
        a[i][j] = static_cast<double>(1 + rng() % 13) * (rng() % 5 ? 1 : -1) / (rng() % 3 ? 1 : 2);
        ri.push_back(i);
        ci.push_back(j);
        v.push_back(a[i][j]);
      }
  }
  for (int i = 0; i < mrows; ++i) {
    s.m.rowtype[i] = 'L';
    s.m.rhs[i] = 3 + rng() % 15 + 0.5 * (rng() % 2);
  }
  s.m.set_matrix_triplets(static_cast<int64_t>(v.size()), ri.data(), ci.data(), v.data());
  std::vector<double> x(n, 0);
  while (true) {
    bool ok = true;
    for (int i = 0; i < mrows && ok; ++i) {
      double act = 0;
      for (int j = 0; j < n; ++j) act += a[i][j] * x[j];
      ok = act <= s.m.rhs[i] + 1e-9;
    }
    if (ok) {
      s.feasible.push_back(x);
      double obj = 0;
      for (int j = 0; j < n; ++j) obj += s.m.obj[j] * x[j];
      s.best = std::min(s.best, obj);
    }
    int j = 0;
    while (j < n && x[j] == s.m.ub[j]) x[j++] = 0;
    if (j == n) break;
    ++x[j];
  }
  return s;
}

TEST(Cuts, KeepEveryFeasiblePointOfRandomModels) {
  std::mt19937 rng(11);
  int64_t cuts = 0;
  for (int t = 0; t < 60; ++t) {
    Small s = random_small(rng);
    SearchControls c;
    const SearchResult full = search(s.m, c);
    if (s.feasible.empty()) {
      EXPECT_EQ(full.status, KRVU_MIP_INFEAS) << t;
      continue;
    }
    ASSERT_EQ(full.status, KRVU_MIP_OPTIMAL) << t;
    EXPECT_NEAR(full.obj, s.best, 1e-6) << t;
    c.nodelimit = 1;
    for (size_t k = 0; k < s.feasible.size(); k += 1 + s.feasible.size() / 15) {
      c.check_cuts_at = &s.feasible[k];
      const SearchResult r = search(s.m, c);
      EXPECT_EQ(r.cuts_invalid, 0) << "model " << t << ", point " << k;
      cuts += r.cuts;
    }
  }
  EXPECT_GT(cuts, 0);  // the separators did find something to check
}

// Facility models: binaries open facilities, continuous flows serve the
// demands and are held by variable upper bounds x <= u y (the rounding cuts
// move their weight onto the binaries).  The engine's MIP solver gives an
// optimum that every root cut must keep, and our search must reach its value.
TEST(Cuts, KeepTheOptimumOfRandomFacilityModels) {
  std::mt19937 rng(23);
  int64_t cuts = 0;
  for (int t = 0; t < 25; ++t) {
    const int nf = 2 + rng() % 4, nc = 2 + rng() % 5;
    krvu::ModelData m;
    m.append_cols(nf + nf * nc);
    std::vector<int> ri, ci;
    std::vector<double> v;
    std::vector<double> cap(nf), dem(nc);
    for (int c = 0; c < nc; ++c) dem[c] = 1 + rng() % 9;
    double total = 0;
    for (double d : dem) total += d;
    for (int f = 0; f < nf; ++f) {
      cap[f] = 2 + rng() % 10 + std::ceil(total / nf);  // all open serve every demand
      m.coltype[f] = 'B';
      m.lb[f] = 0;
      m.ub[f] = 1;
      m.obj[f] = 10 + rng() % 40;
    }
    int row = 0;
    for (int c = 0; c < nc; ++c, ++row) {  // demand rows
      m.append_rows(1);
      m.rowtype[row] = 'E';
      m.rhs[row] = dem[c];
      for (int f = 0; f < nf; ++f) {
        const int x = nf + f * nc + c;
        m.coltype[x] = 'C';
        m.lb[x] = 0;
        m.ub[x] = KRVU_INFINITY;
        m.obj[x] = 1 + rng() % 7;
        ri.push_back(row), ci.push_back(x), v.push_back(1.0);
      }
    }
    for (int f = 0; f < nf; ++f) {
      m.append_rows(1);  // capacity: sum x <= cap y
      m.rowtype[row] = 'L';
      m.rhs[row] = 0;
      ri.push_back(row), ci.push_back(f), v.push_back(-cap[f]);
      for (int c = 0; c < nc; ++c) ri.push_back(row), ci.push_back(nf + f * nc + c), v.push_back(1.0);
      ++row;
      for (int c = 0; c < nc; ++c, ++row) {  // x <= min(d, cap) y
        m.append_rows(1);
        m.rowtype[row] = 'L';
        m.rhs[row] = 0;
        ri.push_back(row), ci.push_back(nf + f * nc + c), v.push_back(1.0);
        ri.push_back(row), ci.push_back(f), v.push_back(-std::min(dem[c], cap[f]));
      }
    }
    m.set_matrix_triplets(static_cast<int64_t>(v.size()), ri.data(), ci.data(), v.data());

    const int n = m.ncols(), nr = m.nrows();
    std::vector<double> rlo(nr), rup(nr), ub(m.ub);
    for (int i = 0; i < nr; ++i) {
      rlo[i] = m.rowtype[i] == 'E' ? m.rhs[i] : -INFINITY;
      rup[i] = m.rhs[i];
    }
    for (double &u : ub)
      if (u >= KRVU_INFINITY) u = INFINITY;
    std::vector<HighsInt> st(m.mstart.begin(), m.mstart.end()), ix(m.mrwind.begin(), m.mrwind.end()), in(n);
    for (int j = 0; j < n; ++j) in[j] = m.coltype[j] == 'B' ? kHighsVarTypeInteger : kHighsVarTypeContinuous;
    void *h = Highs_create();
    Highs_setBoolOptionValue(h, "output_flag", 0);
    Highs_setDoubleOptionValue(h, "mip_rel_gap", 0);
    ASSERT_EQ(Highs_passMip(h, n, nr, static_cast<HighsInt>(ix.size()), kHighsMatrixFormatColwise,
                            kHighsObjSenseMinimize, 0, m.obj.data(), m.lb.data(), ub.data(), rlo.data(),
                            rup.data(), st.data(), ix.data(), m.dmatval.data(), in.data()),
              kHighsStatusOk);
    Highs_run(h);
    ASSERT_EQ(Highs_getModelStatus(h), kHighsModelStatusOptimal) << t;
    std::vector<double> x(n);
    Highs_getSolution(h, x.data(), nullptr, nullptr, nullptr);
    double best = 0;
    Highs_getDoubleInfoValue(h, "objective_function_value", &best);
    Highs_destroy(h);
    for (int f = 0; f < nf; ++f) x[f] = std::round(x[f]);

    SearchControls c;
    const SearchResult full = search(m, c);
    ASSERT_EQ(full.status, KRVU_MIP_OPTIMAL) << t;
    EXPECT_NEAR(full.obj, best, 1e-6 * std::max(1.0, std::fabs(best))) << t;
    c.nodelimit = 1;
    c.check_cuts_at = &x;
    const SearchResult r = search(m, c);
    EXPECT_EQ(r.cuts_invalid, 0) << t;
    cuts += r.cuts;
  }
  EXPECT_GT(cuts, 0);
}

TEST(CutPool, KeepsCutsUnderStableIdsWithoutDuplicates) {
  using krvu::search::Cut;
  krvu::search::CutPool pool;
  Cut a;
  a.ind = {2, 0};
  a.val = {1.0, 2.0};
  a.lo = 1;
  Cut b = a;
  b.ind = {0, 2};
  b.val = {2.0, 1.0};  // the same cut, entries in another order
  const int64_t ia = pool.add(a);
  EXPECT_EQ(pool.add(b), ia);
  EXPECT_NE(pool.add(b, false), ia);
  Cut c = a;
  c.lo = 2;
  const int64_t ic = pool.add(c);
  EXPECT_EQ(pool.size(), 3u);
  const double x[3] = {0.25, 0, 0.25};  // 2*0.25 + 0.25 = 0.75
  EXPECT_NEAR(krvu::search::CutPool::violation(*pool.find(ia), x), 0.25, 1e-12);
  EXPECT_NEAR(krvu::search::CutPool::slack(*pool.find(ic), x), -1.25, 1e-12);
  pool.find(ic)->in_lp = true;
  EXPECT_FALSE(pool.remove(ic));  // still a row of the relaxation
  pool.find(ic)->in_lp = false;
  EXPECT_TRUE(pool.remove(ic));
  EXPECT_EQ(pool.find(ic), nullptr);
  EXPECT_EQ(pool.ids().front(), ia);
  EXPECT_EQ(pool.add(c), ic + 1);  // ids are never reused
}

// Aging: with cuts leaving the relaxation after one slack node, the search
// still ends at the optimum (pool cuts come back where they are violated).
TEST(CutPool, AgingKeepsTheSearchExact) {
  std::mt19937 rng(5);
  for (int t = 0; t < 30; ++t) {
    Small s = random_small(rng);
    if (s.feasible.empty()) continue;
    SearchControls c;
    c.cut_age = 1;
    c.sb_candidates = 0;
    const SearchResult r = search(s.m, c);
    ASSERT_EQ(r.status, KRVU_MIP_OPTIMAL) << t;
    EXPECT_NEAR(r.obj, s.best, 1e-6) << t;
  }
}

}  // namespace
