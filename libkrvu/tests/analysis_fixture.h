// Shared pieces of the analysis and solution-file tests: small dense models,
// a dense linear solver, and the public instances.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "krvu.h"
#include "prob_fixture.h"

namespace testing_analysis {

inline std::string instance(const std::string &name) {
  return std::string(KRVU_INSTANCES_DIR) + "/" + name;
}
inline bool have_instance(const std::string &name) {
  return std::ifstream(instance(name)).good();
}

// Solves A x = b (A dense, row-major n x n) by Gaussian elimination with
// partial pivoting; false when A is singular.
inline bool dense_solve(std::vector<double> a, std::vector<double> &b, int n) {
  for (int k = 0; k < n; ++k) {
    int piv = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(a[i * n + k]) > std::fabs(a[piv * n + k])) piv = i;
    if (std::fabs(a[piv * n + k]) < 1e-13) return false;
    if (piv != k) {
      for (int j = 0; j < n; ++j) std::swap(a[k * n + j], a[piv * n + j]);
      std::swap(b[k], b[piv]);
    }
    for (int i = k + 1; i < n; ++i) {
      const double f = a[i * n + k] / a[k * n + k];
      if (f == 0) continue;
      for (int j = k; j < n; ++j) a[i * n + j] -= f * a[k * n + j];
      b[i] -= f * b[k];
    }
  }
  for (int k = n - 1; k >= 0; --k) {
    double s = b[k];
    for (int j = k + 1; j < n; ++j) s -= a[k * n + j] * b[j];
    b[k] = s / a[k * n + k];
  }
  return true;
}

class AnalysisTest : public ProbTest {
 protected:
  // Rows given densely; rng gives the ranges of R rows (may be empty).
  void load(const std::vector<std::vector<double>> &a, const std::string &rt,
            const std::vector<double> &rhs, const std::vector<double> &obj,
            const std::vector<double> &lb, const std::vector<double> &ub,
            const std::vector<double> &rng = {}, KRVUprob q = nullptr) {
    if (!q) q = p;
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
    ASSERT_EQ(KRVUloadlp64(q, "t", n, m, rt.data(), rhs.data(), rng.empty() ? nullptr : rng.data(),
                           obj.data(), st.data(), nullptr, ri.data(), v.data(),
                           lb.empty() ? nullptr : lb.data(), ub.empty() ? nullptr : ub.data()),
              0)
        << err();
  }
  bool read(const std::string &name) {
    if (!have_instance(name)) return false;
    EXPECT_EQ(KRVUreadprob(p, instance(name).c_str(), ""), 0) << err();
    return true;
  }
  int rows() { return attr(KRVU_ATTR_ROWS); }
  int cols() { return attr(KRVU_ATTR_COLS); }
  // The dense basis matrix in position order: A's column for a basic column,
  // e_i for the slack of row i.
  std::vector<double> basis_matrix(KRVUprob q = nullptr) {
    if (!q) q = p;
    int m = 0, n = 0;
    KRVUgetintattrib(q, KRVU_ATTR_ROWS, &m);
    KRVUgetintattrib(q, KRVU_ATTR_COLS, &n);
    std::vector<int> piv(m);
    EXPECT_EQ(KRVUgetpivotorder(q, piv.data()), 0) << err();
    std::vector<double> b(static_cast<size_t>(m) * m, 0.0);
    for (int k = 0; k < m; ++k) {
      if (piv[k] < m) {
        b[static_cast<size_t>(piv[k]) * m + k] = 1.0;
        continue;
      }
      const int j = piv[k] - m;
      int64_t nz = 0;
      KRVUgetcols64(q, nullptr, nullptr, nullptr, 0, &nz, j, j);
      std::vector<int64_t> st(2);
      std::vector<int> ri(nz + 1);
      std::vector<double> v(nz + 1);
      KRVUgetcols64(q, st.data(), ri.data(), v.data(), nz, &nz, j, j);
      for (int64_t e = 0; e < nz; ++e) b[static_cast<size_t>(ri[e]) * m + k] = v[e];
    }
    return b;
  }
};

}  // namespace testing_analysis
