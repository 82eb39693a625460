// The library's own branch-and-bound, forced by its control: public MIPs to
// their known optima, and small random models with entities against
// enumeration, with one node worker and with two.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "krvu.h"

namespace {

struct Env {
  Env() { KRVUinit(nullptr); }
  ~Env() { KRVUfree(); }
};

KRVUprob own_search_problem(int threads = 1) {
  KRVUprob p = nullptr;
  KRVUcreateprob(&p);
  KRVUsetintcontrol(p, 8030, 0);
  KRVUsetintcontrol(p, 8400, getenv("KRVU_T_ENGINE") ? 2 : 1);
  KRVUsetintcontrol(p, 8020, threads);
  return p;
}

struct Known {
  const char *file;
  double obj;
};

class SearchInstances : public ::testing::TestWithParam<std::tuple<Known, int>> {};

TEST_P(SearchInstances, ReachTheKnownOptimum) {
  const Known k = std::get<0>(GetParam());
  const std::string path = std::string(KRVU_INSTANCES_DIR) + "/" + k.file;
  if (!std::ifstream(path).good()) GTEST_SKIP() << "instances not available";
  Env env;
  KRVUprob p = own_search_problem(std::get<1>(GetParam()));
  ASSERT_EQ(KRVUreadprob(p, path.c_str(), ""), 0);
  KRVUsetdblcontrol(p, 7000, 300);
  char err[512] = "";
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << (KRVUgetlasterror(p, err), err);
  int status = -1;
  double obj = 0;
  KRVUgetintattrib(p, KRVU_ATTR_MIPSTATUS, &status);
  KRVUgetdblattrib(p, KRVU_ATTR_MIPBESTOBJVAL, &obj);
  EXPECT_EQ(status, KRVU_MIP_OPTIMAL);
  EXPECT_NEAR(obj, k.obj, 1e-4 * std::max(1.0, std::fabs(k.obj)));
  KRVUdestroyprob(p);
}

INSTANTIATE_TEST_SUITE_P(Public, SearchInstances,
                         ::testing::Combine(::testing::Values(Known{"small_mip.mps", 3.2368421},
                                                              Known{"flugpl.mps", 1201500},
                                                              Known{"lseu.mps", 1120}, Known{"egout.mps", 568.1007},
                                                              Known{"rgn.mps", 82.2}, Known{"p0548.mps", 8691},
                                                              Known{"bell5.mps", 8966406.49152}),
                                            ::testing::Values(1, 2)),
                         [](const ::testing::TestParamInfo<std::tuple<Known, int>> &info) {
                           std::string n = std::get<0>(info.param).file;
                           n = n.substr(0, n.find('.'));
                           for (char &c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n + (std::get<1>(info.param) > 1 ? "_threads2" : "");
                         });

void collect_lines(KRVUprob, void *data, const char *msg, int, int) {
  if (msg) static_cast<std::vector<std::string> *>(data)->push_back(msg);
}

// The neighbourhood search improves bell5's first solutions within a few
// hundred nodes on one worker and on two (its sub-search must run on a
// worker's thread with the engine's thread count, or it finds nothing).
TEST(SearchNeighbourhood, ImprovesTheIncumbentOnOneWorkerAndOnTwo) {
  const std::string path = std::string(KRVU_INSTANCES_DIR) + "/bell5.mps";
  if (!std::ifstream(path).good()) GTEST_SKIP() << "instances not available";
  Env env;
  for (int threads : {1, 2}) {
    KRVUprob p = own_search_problem(threads);
    std::vector<std::string> lines;
    ASSERT_EQ(KRVUaddcbmessage(p, collect_lines, &lines, 0), 0);
    KRVUsetintcontrol(p, 8030, 1);
    KRVUsetintcontrol(p, 8002, 1500);  // node limit
    ASSERT_EQ(KRVUreadprob(p, path.c_str(), ""), 0);
    ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
    int found = 0;
    for (const std::string &l : lines)
      if (l.find("Solution found by the neighbourhood search") != std::string::npos) ++found;
    EXPECT_GE(found, 1) << threads << " workers";
    double obj = 0;
    KRVUgetdblattrib(p, KRVU_ATTR_MIPBESTOBJVAL, &obj);
    EXPECT_LT(obj, 8.99e6) << threads << " workers";
    KRVUdestroyprob(p);
  }
}

// A random model over columns with small integer domains (or the listed
// entity kinds), enumerated point by point; continuous columns are absent so
// that enumeration is exact.
struct Random {
  int n, m;
  std::vector<double> c, lb, ub, thr, rhs, a;  // a row-major m x n
  std::vector<char> type, rtype;
  std::vector<int> set;  // columns of one SOS (empty for none)
  char settype = '1';
  int indrow = -1, indcol = -1;
  double q = 0;  // weight of a diagonal quadratic objective
};

bool feasible(const Random &r, const std::vector<double> &x) {
  for (int j = 0; j < r.n; ++j) {
    if (r.type[j] == 'S' && x[j] != 0 && x[j] < r.thr[j]) return false;
  }
  for (int i = 0; i < r.m; ++i) {
    if (i == r.indrow && x[r.indcol] < 0.5) continue;
    double act = 0;
    for (int j = 0; j < r.n; ++j) act += r.a[i * r.n + j] * x[j];
    if (r.rtype[i] == 'L' ? act > r.rhs[i] + 1e-9 : act < r.rhs[i] - 1e-9) return false;
  }
  if (!r.set.empty()) {
    int first = -1, last = -1, cnt = 0;
    for (int k = 0; k < static_cast<int>(r.set.size()); ++k)
      if (x[r.set[k]] != 0) {
        if (first < 0) first = k;
        last = k;
        ++cnt;
      }
    if (r.settype == '1' ? cnt > 1 : (cnt > 2 || (cnt == 2 && last - first > 1))) return false;
  }
  return true;
}

double value(const Random &r, const std::vector<double> &x) {
  double v = 0;
  for (int j = 0; j < r.n; ++j) v += r.c[j] * x[j] + 0.5 * r.q * x[j] * x[j];
  return v;
}

// Best objective by enumeration (semi-integer domains are integers), or NAN.
double enumerate(const Random &r) {
  std::vector<double> x(r.lb);
  double best = NAN;
  while (true) {
    if (feasible(r, x)) {
      const double v = value(r, x);
      if (std::isnan(best) || v < best) best = v;
    }
    int j = 0;
    while (j < r.n) {
      x[j] += 1;
      if (x[j] <= r.ub[j]) break;
      x[j] = r.lb[j];
      ++j;
    }
    if (j == r.n) break;
  }
  return best;
}

void agrees_with_enumeration(int threads) {
  Env env;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coef(-5, 5), bnd(1, 3);
  int solved = 0;
  for (int trial = 0; trial < 120; ++trial) {
    Random r;
    r.n = 5;
    r.m = 3;
    const int flavour = trial % 5;  // 0 plain, 1 SOS1, 2 SOS2, 3 semi-integer + indicator, 4 quadratic
    for (int j = 0; j < r.n; ++j) {
      r.c.push_back(coef(rng));
      r.lb.push_back(0);
      r.ub.push_back(bnd(rng));
      r.type.push_back('I');
      r.thr.push_back(0);
    }
    for (int i = 0; i < r.m; ++i) {
      for (int j = 0; j < r.n; ++j) r.a.push_back(coef(rng));
      r.rtype.push_back(i % 2 ? 'G' : 'L');
      r.rhs.push_back(i % 2 ? -coef(rng) - 3 : coef(rng) + 4);
    }
    if (flavour == 1 || flavour == 2) {
      r.settype = flavour == 1 ? '1' : '2';
      r.set = {0, 1, 2, 3};
    }
    if (flavour == 3) {
      r.type[1] = 'S';
      r.ub[1] = 4;
      r.thr[1] = 2;
      r.type[4] = 'B';
      r.ub[4] = 1;
      r.indcol = 4;
      r.indrow = 0;
    }
    if (flavour == 4) r.q = 1.5;
    const double expect = enumerate(r);

    KRVUprob p = own_search_problem(threads);
    std::vector<int> start(r.n + 1), idx;
    std::vector<double> val;
    std::vector<char> cbt(r.n);
    for (int j = 0; j < r.n; ++j) {
      start[j] = static_cast<int>(idx.size());
      for (int i = 0; i < r.m; ++i)
        if (r.a[i * r.n + j] != 0) {
          idx.push_back(i);
          val.push_back(r.a[i * r.n + j]);
        }
    }
    start[r.n] = static_cast<int>(idx.size());
    std::vector<double> range(r.m, 0);
    ASSERT_EQ(KRVUloadlp(p, "r", r.n, r.m, r.rtype.data(), r.rhs.data(), range.data(), r.c.data(),
                         start.data(), nullptr, idx.data(), val.data(), r.lb.data(), r.ub.data()),
              0);
    std::vector<int> cols(r.n);
    for (int j = 0; j < r.n; ++j) cols[j] = j;
    // Semi-continuous columns here take integer values (semi-integer).
    for (char &t : r.type)
      if (t == 'S') t = 'R';
    ASSERT_EQ(KRVUchgcoltype(p, r.n, cols.data(), r.type.data()), 0);
    for (int j = 0; j < r.n; ++j)
      if (r.type[j] == 'R') {
        char bt = 'U';
        double lim = r.thr[j];
        (void)bt;
        ASSERT_EQ(KRVUchgglblimit(p, 1, &j, &lim), 0);
      }
    if (!r.set.empty()) {
      const int64_t sstart[2] = {0, static_cast<int64_t>(r.set.size())};
      std::vector<double> w = {1, 2, 3, 4};
      ASSERT_EQ(KRVUaddsets64(p, 1, static_cast<int64_t>(r.set.size()), &r.settype, sstart, r.set.data(),
                              w.data()),
                0);
    }
    if (r.indrow >= 0) {
      int comp = 1;
      ASSERT_EQ(KRVUsetindicators(p, 1, &r.indrow, &r.indcol, &comp), 0);
    }
    if (r.q != 0) {
      std::vector<double> qv(r.n, r.q);
      ASSERT_EQ(KRVUchgmqobj(p, r.n, cols.data(), cols.data(), qv.data()), 0);
    }
    char err[512] = "";
    ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << (KRVUgetlasterror(p, err), err);
    int status = -1;
    KRVUgetintattrib(p, KRVU_ATTR_MIPSTATUS, &status);
    if (std::isnan(expect)) {
      EXPECT_EQ(status, KRVU_MIP_INFEAS) << "trial " << trial;
    } else {
      double obj = 0;
      KRVUgetdblattrib(p, KRVU_ATTR_MIPBESTOBJVAL, &obj);
      EXPECT_EQ(status, KRVU_MIP_OPTIMAL) << "trial " << trial;
      EXPECT_NEAR(obj, expect, 1e-5) << "trial " << trial << " flavour " << flavour;
      ++solved;
    }
    KRVUdestroyprob(p);
  }
  EXPECT_GT(solved, 30);
}

TEST(SearchRandom, AgreesWithEnumeration) { agrees_with_enumeration(1); }
TEST(SearchRandom, AgreesWithEnumerationOnTwoWorkers) { agrees_with_enumeration(2); }

}  // namespace
