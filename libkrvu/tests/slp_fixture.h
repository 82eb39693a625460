// Nonlinear models stated by formulas over columns x1..xn, loaded the way the
// modelling layer loads them: the objective formula sits on a transfer row
// whose column carries the objective.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "krvu.h"
#include "kslp.h"

struct Row {
  std::string formula;
  char type;
  double rhs;
};

struct Model {
  int n;
  std::vector<double> x0, lb, ub;
  std::string objective;
  std::vector<Row> rows;
};

// The library and the nonlinear solver started for each test, with the
// problem pair a test builds released after it.
class SlpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(KRVUinit(nullptr), 0);
    ASSERT_EQ(KSLPinit(), 0);
  }
  void TearDown() override {
    if (slp) KSLPdestroyprob(slp);
    if (prob) KRVUdestroyprob(prob);
    KSLPfree();
    KRVUfree();
  }

  KRVUprob prob = nullptr;
  KSLPprob slp = nullptr;
};

inline std::string slp_error(KSLPprob slp) {
  int code = 0;
  char buf[512] = "";
  KSLPgetlasterror(slp, &code, buf);
  return buf;
}

// Creates *prob and *slp holding md; `configure` runs on the new nonlinear
// problem before the formulas go in (controls, message callbacks).
template <class Configure>
void load_formula_model(const Model &md, const char *name, KRVUprob *prob, KSLPprob *slp,
                        Configure configure) {
  const int n = md.n, m = static_cast<int>(md.rows.size());
  std::string types;
  std::vector<double> rhs, obj(n + 1, 0.0), lb(md.lb), ub(md.ub);
  for (const Row &r : md.rows) {
    types += r.type;
    rhs.push_back(r.rhs);
  }
  types += 'E';
  rhs.push_back(0.0);
  obj[n] = 1.0;
  lb.resize(n, -KRVU_INFINITY);
  ub.resize(n, KRVU_INFINITY);
  lb.push_back(-KRVU_INFINITY);
  ub.push_back(KRVU_INFINITY);
  std::vector<int> start(n + 2, 0), rowind = {m};
  std::vector<double> val = {-1.0};
  start[n + 1] = 1;
  ASSERT_EQ(KRVUcreateprob(prob), 0);
  ASSERT_EQ(KRVUloadlp(*prob, name, n + 1, m + 1, types.data(), rhs.data(), nullptr, obj.data(),
                       start.data(), nullptr, rowind.data(), val.data(), lb.data(), ub.data()),
            0);
  std::string names;
  for (int j = 1; j <= n; ++j) names += "x" + std::to_string(j) + '\0';
  ASSERT_EQ(KRVUaddnames(*prob, 2, names.data(), 0, n - 1), 0);
  ASSERT_EQ(KSLPcreateprob(slp, prob), 0);
  configure(*slp);
  for (int i = 0; i < m; ++i)
    ASSERT_EQ(KSLPchgccoef(*slp, i, -1, nullptr, md.rows[i].formula.c_str()), 0) << slp_error(*slp);
  if (!md.objective.empty())
    ASSERT_EQ(KSLPchgccoef(*slp, m, -1, nullptr, md.objective.c_str()), 0) << slp_error(*slp);
  int status = 0x800, row = m;
  ASSERT_EQ(KSLPchgrowstatus(*slp, m, &status), 0);
  ASSERT_EQ(KSLPchgvar(*slp, n, &row, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr),
            0);
  for (int j = 0; j < n && j < static_cast<int>(md.x0.size()); ++j)
    ASSERT_EQ(KSLPchgvar(*slp, j, nullptr, nullptr, nullptr, nullptr, nullptr, &md.x0[j], nullptr,
                         nullptr, nullptr, nullptr, nullptr),
              0);
}
