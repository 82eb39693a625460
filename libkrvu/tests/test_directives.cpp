// Directives, model cuts and delayed rows through the C API: what the
// search does with them, how deletions keep them aligned, and the files.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "prob_fixture.h"

namespace {

// max x + y - 10u - 10v,  2x - u <= 3,  2y - v <= 3,  x, y integer in
// [0, 10], u, v >= 0: the root relaxation has x = y = 1.5 and no bound of
// a single row fixes either, so the root branches on one of them.
class DirTest : public ProbTest {
 public:
  void SetUp() override {
    ProbTest::SetUp();
    const double obj[4] = {1, 1, -10, -10}, lb[4] = {0, 0, 0, 0}, ub[4] = {10, 10, KRVU_INFINITY, KRVU_INFINITY};
    const int start[5] = {0, 1, 2, 3, 4}, rows[4] = {0, 1, 0, 1};
    const double val[4] = {2, 2, -1, -1}, rhs[2] = {3, 3};
    const char rt[2] = {'L', 'L'};
    ASSERT_EQ(KRVUloadlp(p, "dirs", 4, 2, rt, rhs, nullptr, obj, start, nullptr, rows, val, lb, ub), 0);
    const int ints[2] = {0, 1};
    const char it[2] = {'I', 'I'};
    ASSERT_EQ(KRVUchgcoltype(p, 2, ints, it), 0);
    ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
    // No cuts, no diving and no strong branching: the root's choice is the
    // branching rule's alone.
    KRVUsetintcontrol(p, 8403, 0);
    KRVUsetdblcontrol(p, 7320, 0.0);
    KRVUsetintcontrol(p, 8402, 0);
  }
  // The bound changes of the root's first (preferred) branch.
  struct Root {
    int col = -1;
    char type = 0;
    double val = 0;
  };
  Root root_branch() {
    static Root seen;
    seen = Root();
    auto chg = [](KRVUprob prob, void *, KRVUbranchobject bo, KRVUbranchobject *) {
      int node = -1;
      KRVUgetintattrib(prob, KRVU_ATTR_CURRENTNODE, &node);
      if (node != 0) return;
      int n = 0;
      char t[4];
      int c[4];
      double v[4];
      if (KRVU_bo_getbounds(bo, 0, &n, 4, t, c, v) == 0 && n == 1) seen = Root{c[0], t[0], v[0]};
    };
    EXPECT_EQ(KRVUaddcbchgbranchobject(p, chg, nullptr, 0), 0);
    EXPECT_EQ(KRVUmipoptimize(p, ""), 0) << err();
    KRVUremovecbchgbranchobject(p, nullptr, nullptr);
    EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
    EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 2.0, 1e-9);
    return seen;
  }
  std::vector<double> mipsol() {
    std::vector<double> x(attr(KRVU_ATTR_COLS));
    EXPECT_EQ(KRVUgetmipsol(p, x.data(), nullptr), 0);
    return x;
  }
};

TEST_F(DirTest, PrioritiesAndDirectionsChooseTheRootBranching) {
  const int cols[2] = {0, 1};
  int pri[2] = {3, 1};
  char br[2] = {'N', 'D'};
  ASSERT_EQ(KRVUloaddirs(p, 2, cols, pri, br, nullptr, nullptr), 0);
  Root r = root_branch();
  EXPECT_EQ(r.col, 1);
  EXPECT_EQ(r.type, 'U');  // down first: y <= 1
  EXPECT_EQ(r.val, 1.0);
  pri[0] = 0;
  br[0] = 'U';
  ASSERT_EQ(KRVUloaddirs(p, 2, cols, pri, br, nullptr, nullptr), 0);
  r = root_branch();
  EXPECT_EQ(r.col, 0);
  EXPECT_EQ(r.type, 'L');  // up first: x >= 2
  EXPECT_EQ(r.val, 2.0);
  // loadbranchdirs puts a column without a directive first, in its direction.
  ASSERT_EQ(KRVUloaddirs(p, 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  const int one = 1, down = -1;
  ASSERT_EQ(KRVUloadbranchdirs(p, 1, &one, &down), 0);
  r = root_branch();
  EXPECT_EQ(r.col, 1);
  EXPECT_EQ(r.type, 'U');
}

TEST_F(DirTest, InitialPseudoCostsSteerTheChoice) {
  // Equal scores go to the first column; a large pseudo-cost on y wins.
  EXPECT_EQ(root_branch().col, 0);
  const int col = 1;
  const double big = 100;
  ASSERT_EQ(KRVUloaddirs(p, 1, &col, nullptr, nullptr, &big, &big), 0);
  EXPECT_EQ(root_branch().col, 1);
}

TEST_F(DirTest, DirectivesMakeTheAutomaticChoiceOurSearch) {
  static bool ours;
  ours = false;
  auto msg = [](KRVUprob, void *, const char *m, int, int) {
    if (std::string(m).find("Branch-and-bound of the library") != std::string::npos) ours = true;
  };
  KRVUsetintcontrol(p, 8030, 1);
  ASSERT_EQ(KRVUaddcbmessage(p, msg, nullptr, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_FALSE(ours);
  const int col = 0;
  ASSERT_EQ(KRVUloaddirs(p, 1, &col, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_TRUE(ours);
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 2.0, 1e-9);
}

TEST_F(DirTest, RefusalsNameTheArgumentAndChangeNothing) {
  const int cols[2] = {0, 1}, bad[1] = {4};
  const int pri[2] = {1, 2}, neg[2] = {1, -1};
  const char br[2] = {'U', 'X'};
  const double nan[2] = {0, NAN};
  ASSERT_EQ(KRVUloaddirs(p, 2, cols, pri, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(KRVUloaddirs(p, 1, bad, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(err().find("mcols[0] = 4"), std::string::npos) << err();
  EXPECT_NE(KRVUloaddirs(p, 2, cols, neg, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(err().find("mpri[1]"), std::string::npos) << err();
  EXPECT_NE(KRVUloadpresolvedirs(p, 2, cols, nullptr, br, nullptr, nullptr), 0);
  EXPECT_NE(err().find("KRVUloadpresolvedirs: qbr[1] = 'X'"), std::string::npos) << err();
  EXPECT_NE(KRVUloaddirs(p, 2, cols, nullptr, nullptr, nullptr, nan), 0);
  EXPECT_NE(err().find("ddpc[1]"), std::string::npos) << err();
  EXPECT_NE(KRVUgetdirs(p, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  int n = 0, got[2], gp[2];
  ASSERT_EQ(KRVUgetdirs(p, &n, got, gp, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(gp[1], 2);
  const int row = 5;
  EXPECT_NE(KRVUloadmodelcuts(p, 1, &row), 0);
  EXPECT_NE(err().find("mrows[0] = 5"), std::string::npos) << err();
  EXPECT_NE(KRVUloadsecurevecs(p, 0, 1, nullptr, bad), 0);
  EXPECT_NE(err().find("mcol[0]"), std::string::npos) << err();
  // A free row constrains nothing; an indicator row is the search's own.
  const char nt = 'N';
  const int r0 = 0;
  ASSERT_EQ(KRVUchgrowtype(p, 1, &r0, &nt), 0);
  EXPECT_NE(KRVUloaddelayedrows(p, 1, &r0), 0);
  EXPECT_NE(err().find("free row"), std::string::npos) << err();
}

TEST_F(DirTest, DeletingColumnsDropsAndRenumbersDirectives) {
  const int cols[3] = {0, 1, 3}, pri[3] = {7, 8, 9};
  const char br[3] = {'U', 'D', 'N'};
  const double up[3] = {1, -5, 3};
  ASSERT_EQ(KRVUloaddirs(p, 3, cols, pri, br, up, nullptr), 0);
  const int gone = 1;
  ASSERT_EQ(KRVUdelcols(p, 1, &gone), 0);
  int n = 0;
  ASSERT_EQ(KRVUgetdirs(p, &n, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(n, 2);
  int c[2], pr[2];
  char b[2];
  double u[2], d[2];
  ASSERT_EQ(KRVUgetdirs(p, &n, c, pr, b, u, d), 0);
  EXPECT_EQ(c[0], 0);
  EXPECT_EQ(pr[0], 7);
  EXPECT_EQ(b[0], 'U');
  EXPECT_EQ(u[0], 1.0);
  EXPECT_EQ(d[0], -1.0);
  EXPECT_EQ(c[1], 2);  // was column 3
  EXPECT_EQ(pr[1], 9);
  EXPECT_EQ(u[1], 3.0);
}

// max x + y, x, y integer in [0, 3] (or unbounded above), with the row
// x + y <= 4 marked lazily: every way of solving gives 4.
class LazyTest : public ProbTest {
 public:
  void load(double ub) {
    const double obj[2] = {1, 1}, lb[2] = {0, 0}, ubs[2] = {ub, ub};
    const int start[3] = {0, 2, 4}, rows[4] = {0, 1, 0, 1};
    // row 0: x + y <= 4; row 1: x - y <= 10 (never binding)
    const double val[4] = {1, 1, 1, -1}, rhs[2] = {4, 10};
    const char rt[2] = {'L', 'L'};
    ASSERT_EQ(KRVUloadlp(p, "lazy", 2, 2, rt, rhs, nullptr, obj, start, nullptr, rows, val, lb, ubs), 0);
    const int ints[2] = {0, 1};
    const char it[2] = {'I', 'I'};
    ASSERT_EQ(KRVUchgcoltype(p, 2, ints, it), 0);
    ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  }
  void expect_four() {
    ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
    EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
    EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 4.0, 1e-9);
    double x[2];
    ASSERT_EQ(KRVUgetmipsol(p, x, nullptr), 0);
    EXPECT_LE(x[0] + x[1], 4 + 1e-9);
  }
};

TEST_F(LazyTest, DelayedAndModelCutRowsHoldInTheSolution) {
  const int r0 = 0;
  for (double ub : {3.0, KRVU_INFINITY}) {
    for (int solver : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << "ub " << ub << " mipsolver " << solver);
      load(ub);
      KRVUsetintcontrol(p, 8400, solver);
      ASSERT_EQ(KRVUloaddelayedrows(p, 1, &r0), 0);
      expect_four();
      load(ub);
      KRVUsetintcontrol(p, 8400, solver);
      ASSERT_EQ(KRVUloadmodelcuts(p, 1, &r0), 0);
      expect_four();
    }
  }
}

TEST_F(LazyTest, AnUnboundedRelaxationWithoutTheRowsIsNotTheAnswer) {
  // max x, x - w <= 4 (a model cut), w - 0.5x <= 0, x integer, w free: no
  // bound of one row limits x, the relaxation without the cut is unbounded,
  // and the optimum is x = 8.
  const double obj[2] = {1, 0}, lb[2] = {0, -KRVU_INFINITY}, ub[2] = {KRVU_INFINITY, KRVU_INFINITY};
  const int start[3] = {0, 2, 4}, rows[4] = {0, 1, 0, 1};
  const double val[4] = {1, -0.5, -1, 1}, rhs[2] = {4, 0};
  const char rt[2] = {'L', 'L'}, it = 'I';
  ASSERT_EQ(KRVUloadlp(p, "ray", 2, 2, rt, rhs, nullptr, obj, start, nullptr, rows, val, lb, ub), 0);
  const int c0 = 0, r0 = 0;
  ASSERT_EQ(KRVUchgcoltype(p, 1, &c0, &it), 0);
  ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  ASSERT_EQ(KRVUloadmodelcuts(p, 1, &r0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 8.0, 1e-6);
}

TEST_F(LazyTest, DeletingRowsRenumbersTheMarks) {
  load(3);
  const int r0 = 0, r1 = 1;
  // Row 0 is marked, row 1 goes: the marked row is row 0 still and holds.
  ASSERT_EQ(KRVUloaddelayedrows(p, 1, &r0), 0);
  ASSERT_EQ(KRVUloadsecurevecs(p, 1, 0, &r0, nullptr), 0);
  ASSERT_EQ(KRVUdelrows(p, 1, &r1), 0);
  expect_four();
  // Deleting the marked row itself leaves nothing to enforce.
  ASSERT_EQ(KRVUloadmodelcuts(p, 1, &r0), 0);
  ASSERT_EQ(KRVUdelrows(p, 1, &r0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_NEAR(dattr(KRVU_ATTR_MIPBESTOBJVAL), 6.0, 1e-9);
}

class DirFileTest : public DirTest {
 public:
  std::string path(const char *name) { return testing::TempDir() + name; }
  void write(const std::string &f, const char *text) { std::ofstream(f) << text; }
  struct All {
    int n = 0;
    std::vector<int> c, pr;
    std::vector<char> b;
    std::vector<double> u, d;
  };
  All all() {
    All a;
    EXPECT_EQ(KRVUgetdirs(p, &a.n, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    a.c.resize(a.n + 1);
    a.pr.resize(a.n + 1);
    a.b.resize(a.n + 1);
    a.u.resize(a.n + 1);
    a.d.resize(a.n + 1);
    EXPECT_EQ(KRVUgetdirs(p, &a.n, a.c.data(), a.pr.data(), a.b.data(), a.u.data(), a.d.data()), 0);
    return a;
  }
};

TEST_F(DirFileTest, WriteThenReadGivesTheSameDirectives) {
  const char names[] = "x\0y\0u\0v";
  ASSERT_EQ(KRVUaddnames(p, 2, names, 0, 3), 0);
  const int cols[3] = {0, 1, 3}, pri[3] = {0, 12, 500};
  const char br[3] = {'U', 'D', 'N'};
  const double up[3] = {0.1, -1, 2.5}, dn[3] = {-1, 1e-7, 3};
  ASSERT_EQ(KRVUloaddirs(p, 3, cols, pri, br, up, dn), 0);
  const All before = all();
  const std::string f = path("round.dir");
  ASSERT_EQ(KRVUwritedirs(p, f.c_str()), 0) << err();
  ASSERT_EQ(KRVUloaddirs(p, 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KRVUreaddirs(p, f.c_str()), 0) << err();
  const All after = all();
  ASSERT_EQ(after.n, 3);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(after.c[k], before.c[k]);
    EXPECT_EQ(after.pr[k], before.pr[k]);
    EXPECT_EQ(after.b[k], before.b[k]);
    EXPECT_EQ(after.u[k], before.u[k]);
    EXPECT_EQ(after.d[k], before.d[k]);
  }
  std::remove(f.c_str());
}

TEST_F(DirFileTest, SaveFilesKeepDirectivesAndMarks) {
  const int cols[2] = {0, 1}, pri[2] = {4, 2}, r0 = 0;
  const char br[2] = {'D', 'U'};
  ASSERT_EQ(KRVUloaddirs(p, 2, cols, pri, br, nullptr, nullptr), 0);
  ASSERT_EQ(KRVUloadmodelcuts(p, 1, &r0), 0);
  const std::string f = path("dirs.svf");
  ASSERT_EQ(KRVUsaveas(p, f.c_str()), 0) << err();
  KRVUprob q = nullptr;
  ASSERT_EQ(KRVUcreateprob(&q), 0);
  ASSERT_EQ(KRVUrestore(q, f.c_str(), ""), 0);
  std::swap(p, q);
  const All a = all();
  ASSERT_EQ(a.n, 2);
  EXPECT_EQ(a.pr[0], 4);
  EXPECT_EQ(a.b[1], 'U');
  // The restored problem branches as the saved one did.
  EXPECT_EQ(root_branch().col, 1);
  std::swap(p, q);
  KRVUdestroyprob(q);
  std::remove(f.c_str());
}

TEST_F(DirFileTest, ReadsTheFormsOtherFilesUse) {
  const char names[] = "x1\0x2\0slack1\0slack2";
  ASSERT_EQ(KRVUaddnames(p, 2, names, 0, 3), 0);
  const std::string f = path("forms.dir");
  write(f,
        "* a comment\n"
        "NAME          dirs\n"
        " up BND x1 10\n"
        " DN x2\n"
        " PR x2 4\n"
        " PR slack* 900\n"
        " UC x1 2.5\n"
        "ENDATA\n");
  ASSERT_EQ(KRVUreaddirs(p, f.c_str()), 0) << err();
  All a = all();
  ASSERT_EQ(a.n, 4);
  EXPECT_EQ(a.pr[0], 10);
  EXPECT_EQ(a.b[0], 'U');
  EXPECT_EQ(a.u[0], 2.5);
  EXPECT_EQ(a.d[0], -1.0);
  EXPECT_EQ(a.b[1], 'D');  // the second line keeps the direction of the first
  EXPECT_EQ(a.pr[1], 4);
  EXPECT_EQ(a.c[3], 3);
  EXPECT_EQ(a.pr[3], 900);
  // The plain form, without NAME and ENDATA.
  write(f, "PR x2 1\n");
  ASSERT_EQ(KRVUreaddirs(p, f.c_str()), 0) << err();
  EXPECT_EQ(all().n, 1);
  std::remove(f.c_str());
}

TEST_F(DirFileTest, MalformedFilesFailWithTheLineAndChangeNothing) {
  const int col = 0, pri = 3;
  ASSERT_EQ(KRVUloaddirs(p, 1, &col, &pri, nullptr, nullptr, nullptr), 0);
  const std::string f = path("bad.dir");
  const struct {
    const char *text, *expect;
  } cases[] = {
      {" PR C1 1\n UP nosuch 3\n", "bad.dir:2: unknown column 'nosuch'"},
      {" XX C1 1\n", "unknown directive 'XX'"},
      {" UP C1 -2\n", "priority -2"},
      {" UP C1 1.5\n", "priority 1.5"},
      {" UC C1\n", "UC takes a column and a pseudo-cost"},
      {" DC C1 -1\n", "pseudo-cost -1 is negative"},
      {" UP C1 1\nENDATA\n UP C2\n", "after ENDATA"},
  };
  for (const auto &c : cases) {
    write(f, c.text);
    EXPECT_NE(KRVUreaddirs(p, f.c_str()), 0) << c.text;
    EXPECT_NE(err().find(c.expect), std::string::npos) << err();
    All a = all();
    ASSERT_EQ(a.n, 1);
    EXPECT_EQ(a.pr[0], 3);
  }
  EXPECT_NE(KRVUreaddirs(p, path("missing.dir").c_str()), 0);
  std::remove(f.c_str());
}

}  // namespace
