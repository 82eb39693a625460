// The model store: loading, appending, deleting, names and queries.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "krvu.h"
#include "prob_fixture.h"

namespace {

class Model : public ProbTest {
 protected:
  // 3 columns, 2 rows:
  //   r0: x0 + 2 x1        <= 4
  //   r1:      3 x1 + 4 x2 >= 1
  void load_small() {
    const char rt[] = {'L', 'G'};
    const double rhs[] = {4, 1}, obj[] = {1, 2, 3};
    const int64_t st[] = {0, 1, 3, 4};
    const int ri[] = {0, 0, 1, 1};
    const double v[] = {1, 2, 3, 4};
    ASSERT_EQ(KRVUloadlp64(p, "small", 3, 2, rt, rhs, nullptr, obj, st, nullptr, ri, v, nullptr,
                           nullptr),
              0)
        << err();
  }
  std::vector<std::string> names(int type, int first, int last) {
    int bytes = 0;
    EXPECT_EQ(KRVUgetnamelist(p, type, nullptr, 0, &bytes, first, last), 0) << err();
    std::vector<char> buf(bytes);
    EXPECT_EQ(KRVUgetnamelist(p, type, buf.data(), bytes, &bytes, first, last), 0) << err();
    std::vector<std::string> out;
    for (const char *q = buf.data(); q < buf.data() + bytes; q += std::strlen(q) + 1)
      out.emplace_back(q);
    return out;
  }
};

TEST_F(Model, EmptyLoadAndCounts) {
  ASSERT_EQ(KRVUloadlp(p, "noname", 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr),
            0)
      << err();
  EXPECT_EQ(attr(KRVU_ATTR_ROWS), 0);
  EXPECT_EQ(attr(KRVU_ATTR_COLS), 0);
  EXPECT_EQ(attr(KRVU_ATTR_ORIGINALCOLS), 0);
  // Clearing the quadratic objective of a problem without columns asks for
  // the empty range 0..-1.
  int nq = -1;
  ASSERT_EQ(KRVUgetmqobj(p, nullptr, nullptr, nullptr, 0, &nq, 0, -1), 0) << err();
  EXPECT_EQ(nq, 0);
  char name[64];
  KRVUgetprobname(p, name);
  EXPECT_STREQ(name, "noname");
  load_small();
  EXPECT_EQ(attr(KRVU_ATTR_ROWS), 2);
  EXPECT_EQ(attr(KRVU_ATTR_COLS), 3);
  EXPECT_EQ(attr(KRVU_ATTR_MIPENTS), 0);
  int64_t elems = 0;
  EXPECT_EQ(KRVUgetintattrib64(p, 1002, &elems), 0);
  EXPECT_EQ(elems, 4);
  EXPECT_EQ(attr(KRVU_ATTR_NAMELENGTH), 1);
}

TEST_F(Model, MatrixQueriesWithTwoCallSizing) {
  load_small();
  int64_t n = -1;
  ASSERT_EQ(KRVUgetrows64(p, nullptr, nullptr, nullptr, 0, &n, 0, 1), 0);
  EXPECT_EQ(n, 4);
  std::vector<int64_t> st(3);
  std::vector<int> ind(4);
  std::vector<double> val(4);
  ASSERT_EQ(KRVUgetrows64(p, st.data(), ind.data(), val.data(), 4, &n, 0, 1), 0);
  EXPECT_EQ(st, (std::vector<int64_t>{0, 2, 4}));
  EXPECT_EQ(ind, (std::vector<int>{0, 1, 1, 2}));
  EXPECT_EQ(val, (std::vector<double>{1, 2, 3, 4}));
  // A smaller capacity fills only that many coefficients.
  std::vector<int> ind2(2, -7);
  ASSERT_EQ(KRVUgetcols64(p, nullptr, ind2.data(), nullptr, 1, &n, 1, 2), 0);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(ind2, (std::vector<int>{0, -7}));
  double c = -1;
  ASSERT_EQ(KRVUgetcoef(p, 1, 2, &c), 0);
  EXPECT_EQ(c, 4);
  ASSERT_EQ(KRVUgetcoef(p, 1, 0, &c), 0);
  EXPECT_EQ(c, 0);
  char rt[2];
  ASSERT_EQ(KRVUgetrowtype(p, rt, 0, 1), 0);
  EXPECT_EQ(rt[1], 'G');
  double ub[3];
  ASSERT_EQ(KRVUgetub(p, ub, 0, 2), 0);
  EXPECT_EQ(ub[2], KRVU_INFINITY);
}

// Coefficient changes read back the same by rows and by columns whichever
// way they are made: replacing stored values (in place, also in the row-wise
// copy a query made), a repeated entry (the last wins), removing and adding.
TEST_F(Model, CoefficientChangesReadTheSameByRowsAndColumns) {
  load_small();
  // The 2 x 3 matrix, dense and row by row, read by rows or by columns.
  auto read = [&](bool by_rows) {
    const int outer = by_rows ? 2 : 3;
    int64_t n = 0;
    std::vector<int64_t> st(outer + 1);
    std::vector<int> ind(8);
    std::vector<double> val(8);
    EXPECT_EQ(by_rows ? KRVUgetrows64(p, st.data(), ind.data(), val.data(), 8, &n, 0, outer - 1)
                      : KRVUgetcols64(p, st.data(), ind.data(), val.data(), 8, &n, 0, outer - 1),
              0)
        << err();
    std::vector<double> dense(6, 0.0);
    for (int a = 0; a < outer; ++a)
      for (int64_t k = st[a]; k < st[a + 1]; ++k) dense[by_rows ? a * 3 + ind[k] : ind[k] * 3 + a] = val[k];
    return dense;
  };
  auto rows = [&] { return read(true); };
  auto cols = [&] { return read(false); };
  EXPECT_EQ(rows(), (std::vector<double>{1, 2, 0, 0, 3, 4}));
  {
    const int r[] = {0, 1, 0}, c[] = {1, 2, 1};
    const double v[] = {5, 6, 7};
    ASSERT_EQ(KRVUchgmcoef(p, 3, r, c, v), 0) << err();
  }
  EXPECT_EQ(rows(), (std::vector<double>{1, 7, 0, 0, 3, 6}));
  EXPECT_EQ(cols(), rows());
  ASSERT_EQ(KRVUchgcoef(p, 1, 1, 0.0), 0) << err();  // removed
  ASSERT_EQ(KRVUchgcoef(p, 1, 0, 8.0), 0) << err();  // added
  EXPECT_EQ(rows(), (std::vector<double>{1, 7, 0, 8, 0, 6}));
  EXPECT_EQ(cols(), rows());
  ASSERT_EQ(KRVUchgcoef(p, 1, 0, 9.0), 0) << err();  // the added one, replaced
  EXPECT_EQ(cols(), (std::vector<double>{1, 7, 0, 9, 0, 6}));
  EXPECT_EQ(rows(), cols());
}

TEST_F(Model, RowsAddedInBatchesMergeWithColumns) {
  load_small();
  // Two batches; the second repeats a column (added together) and holds a
  // coefficient below the matrix tolerance (dropped).
  const char rt[] = {'E'};
  const double rhs[] = {2};
  const int64_t st[] = {0};
  const int c1[] = {2, 0};
  const double v1[] = {5, 6};
  ASSERT_EQ(KRVUaddrows64(p, 1, 2, rt, rhs, nullptr, st, c1, v1), 0) << err();
  const char rt2[] = {'R', 'N'};
  const double rhs2[] = {9, 0}, rng2[] = {3, 0};
  const int64_t st2[] = {0, 3};
  const int c2[] = {1, 1, 0, 2};
  const double v2[] = {1, 1, 1e-12, 7};
  ASSERT_EQ(KRVUaddrows64(p, 2, 4, rt2, rhs2, rng2, st2, c2, v2), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_ROWS), 5);
  int64_t n = 0;
  std::vector<int64_t> st3(4);
  std::vector<int> ri(9);
  std::vector<double> val(9);
  ASSERT_EQ(KRVUgetcols64(p, st3.data(), ri.data(), val.data(), 9, &n, 0, 2), 0);
  ASSERT_EQ(n, 8);
  EXPECT_EQ(st3, (std::vector<int64_t>{0, 2, 5, 8}));
  EXPECT_EQ(std::vector<int>(ri.begin(), ri.begin() + 8), (std::vector<int>{0, 2, 0, 1, 3, 1, 2, 4}));
  EXPECT_EQ(val[4], 2.0);
  double rng[5];
  ASSERT_EQ(KRVUgetrhsrange(p, rng, 0, 4), 0);
  EXPECT_EQ(rng[3], 3.0);
  // Columns added after pending rows see every row.
  const double obj[] = {1};
  const int64_t cst[] = {0};
  const int crow[] = {4};
  const double cval[] = {8};
  ASSERT_EQ(KRVUaddcols64(p, 1, 1, obj, cst, crow, cval, nullptr, nullptr), 0) << err();
  int64_t elems = 0;
  KRVUgetintattrib64(p, 1002, &elems);
  EXPECT_EQ(elems, 9);
  ASSERT_EQ(KRVUaddrows64(p, 1, 2, rt, rhs, nullptr, st, c1, v1), 0) << err();
  double c = 0;
  ASSERT_EQ(KRVUgetcoef(p, 5, 0, &c), 0);
  EXPECT_EQ(c, 6);
  ASSERT_EQ(KRVUgetcoef(p, 4, 3, &c), 0);
  EXPECT_EQ(c, 8);
  ASSERT_EQ(KRVUgetcoef(p, 4, 2, &c), 0);
  EXPECT_EQ(c, 7);
}

TEST_F(Model, RowEntriesInAnyOrderAreSortedAndMerged) {
  load_small();
  // One row in order, one with a repeat that is not adjacent, one whose
  // repeats cancel out.
  const char rt[] = {'L', 'L', 'L'};
  const double rhs[] = {1, 1, 1};
  const int64_t st[] = {0, 3, 6};
  const int c[] = {0, 1, 2, 2, 0, 2, 1, 0, 1};
  const double v[] = {1, 2, 3, 4, 5, 6, 7, 8, -7};
  ASSERT_EQ(KRVUaddrows64(p, 3, 9, rt, rhs, nullptr, st, c, v), 0) << err();
  const int r0 = attr(KRVU_ATTR_ROWS) - 3;
  std::vector<int64_t> rs(4);
  std::vector<int> ci(9);
  std::vector<double> val(9);
  int64_t n = 0;
  ASSERT_EQ(KRVUgetrows64(p, rs.data(), ci.data(), val.data(), 9, &n, r0, r0 + 2), 0) << err();
  ASSERT_EQ(n, 6);
  EXPECT_EQ(rs, (std::vector<int64_t>{0, 3, 5, 6}));
  EXPECT_EQ(std::vector<int>(ci.begin(), ci.begin() + 6), (std::vector<int>{0, 1, 2, 0, 2, 0}));
  EXPECT_EQ(std::vector<double>(val.begin(), val.begin() + 6),
            (std::vector<double>{1, 2, 3, 5, 10, 8}));
}

TEST_F(Model, DeletionRenumbersEverything) {
  load_small();
  ASSERT_EQ(KRVUaddnames(p, 2, "a\0b\0c", 0, 2), 0);
  ASSERT_EQ(KRVUaddnames(p, 1, "r0\0r1", 0, 1), 0);
  const int dc[] = {1, 1};
  ASSERT_EQ(KRVUdelcols(p, 2, dc), 0) << err();
  EXPECT_EQ(names(2, 0, 1), (std::vector<std::string>{"a", "c"}));
  int idx = 7;
  ASSERT_EQ(KRVUgetindex(p, 2, "c", &idx), 0);
  EXPECT_EQ(idx, 1);
  ASSERT_EQ(KRVUgetindex(p, 2, "b", &idx), 0);
  EXPECT_EQ(idx, -1);
  const int dr[] = {0};
  ASSERT_EQ(KRVUdelrows(p, 1, dr), 0) << err();
  EXPECT_EQ(names(1, 0, 0), (std::vector<std::string>{"r1"}));
  double c = 0;
  ASSERT_EQ(KRVUgetcoef(p, 0, 1, &c), 0);
  EXPECT_EQ(c, 4);
  int64_t n = 0;
  ASSERT_EQ(KRVUgetrows64(p, nullptr, nullptr, nullptr, 0, &n, 0, 0), 0);
  EXPECT_EQ(n, 1);
  double obj[2];
  ASSERT_EQ(KRVUgetobj(p, obj, 0, 1), 0);
  EXPECT_EQ(obj[1], 3);
}

TEST_F(Model, DefaultNamesAndLookup) {
  load_small();
  EXPECT_EQ(names(1, 0, 1), (std::vector<std::string>{"R1", "R2"}));
  ASSERT_EQ(KRVUaddnames(p, 2, "a_long_column_name", 1, 1), 0);
  EXPECT_EQ(names(2, 0, 2), (std::vector<std::string>{"C1", "a_long_column_name", "C3"}));
  EXPECT_EQ(attr(KRVU_ATTR_NAMELENGTH), 3);
  int idx = -1;
  ASSERT_EQ(KRVUgetindex(p, 2, "C3", &idx), 0);
  EXPECT_EQ(idx, 2);
  ASSERT_EQ(KRVUgetindex(p, 2, "C2", &idx), 0);  // column 1 has a name of its own
  EXPECT_EQ(idx, -1);
  char buf[8];
  int bytes = 0;
  EXPECT_NE(KRVUgetnamelist(p, 2, buf, sizeof buf, &bytes, 0, 2), 0);
  EXPECT_NE(err().find("maxbytes"), std::string::npos);
}

TEST_F(Model, RefusalsNameTheArgumentAndLeaveTheModel) {
  load_small();
  const char rt[] = {'L', 'X'};
  const double rhs[] = {1, 1};
  EXPECT_NE(KRVUaddrows64(p, 2, 0, rt, rhs, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(err().find("rowtype[1]"), std::string::npos) << err();
  const int64_t st[] = {0};
  const int bad[] = {3};
  const double v[] = {1};
  EXPECT_NE(KRVUaddrows64(p, 1, 1, rt, rhs, nullptr, st, bad, v), 0);
  EXPECT_NE(err().find("colind[0] = 3"), std::string::npos) << err();
  EXPECT_EQ(attr(KRVU_ATTR_ROWS), 2);
  double x[3];
  EXPECT_NE(KRVUgetobj(p, x, 2, 1), 0);
  EXPECT_NE(err().find("'last'"), std::string::npos) << err();
  EXPECT_NE(KRVUgetlb(p, x, 0, 3), 0);
  const int dr[] = {-1};
  EXPECT_NE(KRVUdelrows(p, 1, dr), 0);
  EXPECT_NE(err().find("rowind[0] = -1"), std::string::npos) << err();
  EXPECT_NE(KRVUaddnames(p, 4, "x", 0, 0), 0);
  const int64_t st2[] = {0, 1};
  EXPECT_NE(KRVUloadlp64(p, "x", 1, 0, nullptr, nullptr, nullptr, nullptr, st2, nullptr, bad, v,
                         nullptr, nullptr),
            0);
  EXPECT_NE(err().find("mrwind[0] = 3"), std::string::npos) << err();
  EXPECT_EQ(attr(KRVU_ATTR_COLS), 3);  // the failed load left the model alone
}

}  // namespace
