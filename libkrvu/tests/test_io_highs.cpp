// Differential checks of the file formats against HiGHS called directly:
// HiGHS reads the files we write as we hold them, and we read the files HiGHS
// writes as HiGHS holds them.  Models are compared by names (HiGHS's LP files
// number columns by first appearance).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

#include "core/prob.h"
#include "interfaces/highs_c_api.h"
#include "krvu.h"
#include "model/store.h"

namespace {

const std::string kDir = KRVU_INSTANCES_DIR;

struct Flat {
  struct Col {
    double cost, lo, up;
    int integrality;
  };
  std::map<std::string, Col> cols;
  std::map<std::string, std::pair<double, double>> rows;
  std::map<std::pair<std::string, std::string>, double> nz;
  int sense = 1;
  double offset = 0;
};

double cut(double v) { return std::max(-KRVU_INFINITY, std::min(KRVU_INFINITY, v)); }

Flat from_highs(void *h) {
  Flat f;
  const int nc = static_cast<int>(Highs_getNumCol(h)), nr = static_cast<int>(Highs_getNumRow(h));
  const int nnz = static_cast<int>(Highs_getNumNz(h));
  std::vector<double> cost(nc), lo(nc), up(nc), val(nnz + 1), rlo(nr), rup(nr);
  std::vector<HighsInt> start(nc + 1), index(nnz + 1);
  HighsInt n = 0, got = 0;
  if (nc) Highs_getColsByRange(h, 0, nc - 1, &n, cost.data(), lo.data(), up.data(), &got,
                               start.data(), index.data(), val.data());
  start[nc] = got;
  if (nr) Highs_getRowsByRange(h, 0, nr - 1, &n, rlo.data(), rup.data(), &got, nullptr, nullptr,
                               nullptr);
  std::vector<std::string> cn(nc), rn(nr);
  char buf[kHighsMaximumStringLength];
  for (int j = 0; j < nc; ++j) {
    Highs_getColName(h, j, buf);
    cn[j] = buf;
    HighsInt integ = 0;
    Highs_getColIntegrality(h, j, &integ);
    f.cols[cn[j]] = {cost[j], cut(lo[j]), cut(up[j]), static_cast<int>(integ)};
  }
  for (int i = 0; i < nr; ++i) {
    Highs_getRowName(h, i, buf);
    rn[i] = buf;
    f.rows[rn[i]] = {cut(rlo[i]), cut(rup[i])};
  }
  for (int j = 0; j < nc; ++j)
    for (HighsInt k = start[j]; k < start[j + 1]; ++k) f.nz[{rn[index[k]], cn[j]}] = val[k];
  HighsInt sense = 1;
  Highs_getObjectiveSense(h, &sense);
  f.sense = static_cast<int>(sense);
  Highs_getObjectiveOffset(h, &f.offset);
  return f;
}

Flat from_store(const krvu::ModelData &m) {
  Flat f;
  for (int j = 0; j < m.ncols(); ++j) {
    char t = m.coltype[j];
    double lo = m.lb[j];
    if ((t == 'S' || t == 'R') && m.threshold[j] > 0) lo = m.threshold[j];
    int integ = t == 'B' || t == 'I' ? 1 : t == 'S' ? 2 : t == 'R' ? 3 : 0;
    f.cols[krvu::col_name(m, j)] = {m.obj[j], lo, m.ub[j], integ};
  }
  for (int i = 0; i < m.nrows(); ++i) {
    double r = m.rhs[i], inf = KRVU_INFINITY;
    std::pair<double, double> b;
    switch (m.rowtype[i]) {
      case 'L': b = {-inf, r}; break;
      case 'G': b = {r, inf}; break;
      case 'E': b = {r, r}; break;
      case 'R': b = {r - m.range[i], r}; break;
      default: b = {-inf, inf}; break;
    }
    f.rows[krvu::row_name(m, i)] = b;
  }
  for (int j = 0; j < m.ncols(); ++j)
    for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k)
      f.nz[{krvu::row_name(m, m.mrwind[k]), krvu::col_name(m, j)}] = m.dmatval[k];
  f.sense = m.objsense < 0 ? -1 : 1;
  f.offset = -m.objrhs;
  return f;
}

// Equal, up to the last bit of a range row's lower limit (which our store
// derives as rhs - range).
void expect_same(const Flat &a, const Flat &b) {
  auto near = [](double x, double y) { return x == y || std::fabs(x - y) <= 4e-16 * std::fabs(x); };
  EXPECT_EQ(a.sense, b.sense);
  EXPECT_EQ(a.offset, b.offset);
  ASSERT_EQ(a.cols.size(), b.cols.size());
  ASSERT_EQ(a.rows.size(), b.rows.size());
  EXPECT_EQ(a.nz.size(), b.nz.size());
  int bad = 0;
  for (const auto &c : a.cols) {
    auto it = b.cols.find(c.first);
    if (it == b.cols.end()) {
      ADD_FAILURE() << "column " << c.first << " missing";
      if (++bad > 5) return;
      continue;
    }
    const Flat::Col &x = c.second, &y = it->second;
    if (x.cost != y.cost || x.lo != y.lo || x.up != y.up || x.integrality != y.integrality) {
      ADD_FAILURE() << "column " << c.first << ": " << x.cost << " [" << x.lo << ", " << x.up
                    << "] " << x.integrality << " vs " << y.cost << " [" << y.lo << ", " << y.up
                    << "] " << y.integrality;
      if (++bad > 5) return;
    }
  }
  for (const auto &r : a.rows) {
    auto it = b.rows.find(r.first);
    if (it == b.rows.end() || !near(r.second.first, it->second.first) ||
        r.second.second != it->second.second) {
      ADD_FAILURE() << "row " << r.first;
      if (++bad > 5) return;
    }
  }
  for (const auto &e : a.nz) {
    auto it = b.nz.find(e.first);
    if (it == b.nz.end() || it->second != e.second) {
      ADD_FAILURE() << "entry " << e.first.first << ", " << e.first.second;
      if (++bad > 5) return;
    }
  }
}

class IoHighs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kDir.c_str(), F_OK) != 0) GTEST_SKIP() << "no instances folder";
    ASSERT_EQ(KRVUinit(nullptr), 0);
    ASSERT_EQ(KRVUcreateprob(&p_), 0);
    h_ = Highs_create();
    Highs_setBoolOptionValue(h_, "output_flag", 0);
    tmp_ = ::testing::TempDir() + "krvu_ioh_" + std::to_string(getpid()) + "_";
  }
  void TearDown() override {
    if (h_) Highs_destroy(h_);
    if (p_) KRVUdestroyprob(p_);
    if (p_) KRVUfree();
    for (const std::string &f : files_) std::remove(f.c_str());
  }
  std::string error() {
    char buf[512];
    KRVUgetlasterror(p_, buf);
    return buf;
  }
  std::string tmp(const std::string &name) {
    files_.push_back(tmp_ + name);
    return files_.back();
  }
  KRVUprob p_ = nullptr;
  void *h_ = nullptr;
  std::string tmp_;
  std::vector<std::string> files_;
};

const char *kModels[] = {"afiro.mps", "adlittle.mps", "25fv47.mps", "stair.mps", "small_mip.mps",
                         "flugpl.mps", "bell5.mps", "p0548.mps", "semi-integer.mps",
                         "semi-continuous.lp", "qjh.mps"};

TEST_F(IoHighs, HighsReadsOurFilesAsWeHoldThem) {
  for (const char *f : kModels) {
    for (const char *ext : {".mps", ".lp"}) {
      SCOPED_TRACE(std::string(f) + " written as " + ext);
      ASSERT_EQ(KRVUreadprob(p_, (kDir + "/" + f).c_str(), ""), 0) << error();
      krvu::ModelData m = krvu::read_model(p_);
      if (std::string(ext) == ".lp") {
        // HiGHS's LP reader takes neither range rows nor names that start
        // like a number ("INFDP1" reads as infinity); our writer replaces
        // names that start with a digit.
        if (std::count(m.rowtype.begin(), m.rowtype.end(), 'R')) continue;
        for (auto *names : {&m.colnames, &m.rownames})
          for (std::string &n : *names)
            if (!n.empty() && ((n[0] >= '0' && n[0] <= '9') || n.rfind("INF", 0) == 0))
              n = "n_" + n;
      }
      krvu::replace_model(p_, krvu::ModelData(m), "test");
      std::string path = tmp(std::string("ours") + ext);
      ASSERT_EQ(KRVUwriteprob(p_, path.c_str(), ""), 0) << error();
      ASSERT_EQ(Highs_readModel(h_, path.c_str()), kHighsStatusOk);
      expect_same(from_store(m), from_highs(h_));
    }
  }
}

TEST_F(IoHighs, WeReadHighsFilesAsHighsHoldsThem) {
  for (const char *f : kModels) {
    if (std::string(f) == "semi-continuous.lp") continue;  // HiGHS writes no semi-continuous LP
    ASSERT_EQ(Highs_readModel(h_, (kDir + "/" + f).c_str()), kHighsStatusOk) << f;
    Flat theirs = from_highs(h_);
    for (const char *ext : {".mps", ".lp"}) {
      SCOPED_TRACE(std::string(f) + " written by HiGHS as " + ext);
      std::string path = tmp(std::string("theirs") + ext);
      ASSERT_EQ(Highs_writeModel(h_, path.c_str()), kHighsStatusOk);
      ASSERT_EQ(KRVUreadprob(p_, path.c_str(), ""), 0) << error();
      Flat ours = from_store(krvu::read_model(p_));
      // HiGHS's LP files split a range row r into r_lo and r_up rows, and
      // lose the integrality of semi-integer columns.
      if (std::string(ext) == ".lp" &&
          (ours.rows.size() != theirs.rows.size() || std::string(f) == "semi-integer.mps"))
        continue;
      expect_same(theirs, ours);
    }
  }
}

}  // namespace
