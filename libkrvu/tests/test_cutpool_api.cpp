// The cut pool, stored bounds and strong branching through the C API, outside
// a solve and from the search's node callbacks.
#include <cstring>
#include <vector>

#include "prob_fixture.h"

namespace {

// max x + y, x + y <= 5 (or `cap`), x and y integer in [0, 3].
class CutPoolTest : public ProbTest {
 public:
  void load(double cap, char type = 'I') {
    const int start[] = {0, 1, 2}, rows[] = {0, 0};
    const double obj[] = {1, 1}, val[] = {1, 1}, lb[] = {0, 0}, ub[] = {3, 3};
    const char rt = 'L';
    ASSERT_EQ(KRVUloadlp(p, "two", 2, 1, &rt, &cap, nullptr, obj, start, nullptr, rows, val, lb, ub), 0);
    const int idx[] = {0, 1};
    const char ct[] = {type, type};
    if (type != 'C') ASSERT_EQ(KRVUchgcoltype(p, 2, idx, ct), 0);
    ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
    ASSERT_EQ(KRVUsetintcontrol(p, 8403, 0), 0);  // none of the search's own cuts
  }
  // Stores one cut  sum coef x <= or >= rhs  of a type; its handle.
  void *store(int type, char rt, double rhs, std::vector<int> cols, std::vector<double> coef, int nodupl = 1) {
    const int64_t start[] = {0, static_cast<int64_t>(cols.size())};
    void *h = nullptr;
    EXPECT_EQ(KRVUstorecuts64(p, 1, nodupl, &type, &rt, &rhs, start, &h, cols.data(), coef.data()), 0) << err();
    return h;
  }
  int pool_size(int itype = -1, int interp = -1) {
    int n = -1;
    EXPECT_EQ(KRVUgetcpcutlist(p, itype, interp, &n, 0, nullptr, -1, nullptr), 0) << err();
    return n;
  }
  double best() { return dattr(KRVU_ATTR_MIPBESTOBJVAL); }
};

TEST_F(CutPoolTest, StoredCutsAreListedReadAndDeletedOutsideASolve) {
  load(5);
  void *a = store(1, 'L', 1, {0}, {1});
  void *b = store(2, 'G', 0.5, {1, 0, 1}, {1, 2, 1});  // repeated column adds up
  void *c = store(3, 'E', 2, {0, 1}, {1, 0});          // the zero is left out
  EXPECT_EQ(store(1, 'L', 1, {0}, {1}), a);            // a duplicate gets the stored handle
  void *a2 = store(1, 'L', 1, {0}, {1}, 0);
  EXPECT_NE(a2, a);
  EXPECT_EQ(pool_size(), 4);
  EXPECT_EQ(pool_size(1, 1), 2);
  EXPECT_EQ(pool_size(2, 2), 2);  // types 2 and 3 share bit 2
  EXPECT_EQ(pool_size(3, 3), 1);

  // Fewer handles than cuts: the count is still the total.
  void *h[4] = {};
  double viol[4] = {-1, -1, -1, -1};
  int n = 0;
  ASSERT_EQ(KRVUgetcpcutlist(p, -1, -1, &n, 2, h, -1, viol), 0);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(h[0], a);
  EXPECT_EQ(h[1], b);
  EXPECT_EQ(h[2], nullptr);
  EXPECT_EQ(viol[0], 0.0);
  EXPECT_EQ(viol[2], -1.0);

  void *want[] = {b, c};
  int64_t start[3] = {-1, -1, -1};
  ASSERT_EQ(KRVUgetcpcuts64(p, want, 2, 0, nullptr, nullptr, start, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(start[2], 3);
  int type[2], cols[3];
  char rt[2];
  double val[3], rhs[2];
  ASSERT_EQ(KRVUgetcpcuts64(p, want, 2, 3, type, rt, start, cols, val, rhs), 0);
  EXPECT_EQ(type[0], 2);
  EXPECT_EQ(rt[0], 'G');
  EXPECT_EQ(rhs[0], 0.5);
  EXPECT_EQ(cols[0], 0);
  EXPECT_EQ(val[0], 2);
  EXPECT_EQ(cols[1], 1);
  EXPECT_EQ(val[1], 2);
  EXPECT_EQ(rt[1], 'E');
  EXPECT_EQ(start[1], 2);
  EXPECT_EQ(cols[2], 0);

  ASSERT_EQ(KRVUdelcpcuts(p, 1, 1, -1, nullptr), 0);
  EXPECT_EQ(pool_size(), 2);
  // A deleted cut's handle names nothing any more.
  EXPECT_NE(KRVUgetcpcuts64(p, &a, 1, 0, nullptr, nullptr, start, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(err().find("cutind[0] is not a cut of this problem's pool"), std::string::npos) << err();
  ASSERT_EQ(KRVUdelcpcuts(p, 0, -1, 1, &b), 0);
  EXPECT_EQ(pool_size(), 1);
}

TEST_F(CutPoolTest, BadCutsAreRefusedWholeAndNodeMembersNeedANode) {
  load(5);
  const int type[] = {0, 0};
  const char rt[] = {'L', 'X'};
  const double rhs[] = {1, 1};
  const int64_t start[] = {0, 1, 2};
  const int cols[] = {0, 1}, badcols[] = {0, 7};
  const double val[] = {1, 1};
  void *h[2];
  EXPECT_NE(KRVUstorecuts64(p, 2, 1, type, rt, rhs, start, h, cols, val), 0);
  EXPECT_NE(err().find("rtype[1]"), std::string::npos) << err();
  const char rt2[] = {'L', 'L'};
  EXPECT_NE(KRVUstorecuts64(p, 2, 1, type, rt2, rhs, start, h, badcols, val), 0);
  EXPECT_NE(err().find("mcols[1] = 7"), std::string::npos) << err();
  const double inf[] = {1, KRVU_INFINITY};
  EXPECT_NE(KRVUstorecuts64(p, 2, 1, type, rt2, inf, start, h, cols, val), 0);
  const int64_t back[] = {0, 2, 1};
  EXPECT_NE(KRVUstorecuts64(p, 2, 1, type, rt2, rhs, back, h, cols, val), 0);
  EXPECT_EQ(pool_size(), 0);
  void *junk = reinterpret_cast<void *>(0x1234);
  EXPECT_NE(KRVUdelcpcuts(p, 0, -1, 1, &junk), 0);
  EXPECT_NE(KRVUdelcpcuts(p, 0, 7, -1, nullptr), 0);

  EXPECT_EQ(KRVUaddcuts64(p, 1, type, rt2, rhs, start, cols, val), KRVU_ERR_STATE);
  EXPECT_NE(err().find("node callbacks only"), std::string::npos) << err();
  int n;
  EXPECT_EQ(KRVUgetcutlist(p, -1, -1, &n, 0, nullptr), KRVU_ERR_STATE);
  EXPECT_EQ(KRVUloadcuts(p, 0, -1, -1, nullptr), KRVU_ERR_STATE);
  void *bounds = nullptr;
  const char bt = 'U';
  const double bv = 1;
  ASSERT_EQ(KRVUstorebounds(p, 1, cols, &bt, &bv, &bounds), 0);
  EXPECT_EQ(KRVUsetbranchbounds(p, bounds), KRVU_ERR_STATE);
  const char badt = 'Q';
  EXPECT_NE(KRVUstorebounds(p, 1, cols, &badt, &bv, &bounds), 0);
}

TEST_F(CutPoolTest, AStoredCutHoldsInTheAutomaticallyChosenSearch) {
  load(5);
  // Without the cut the optimum is 5; the cut x <= 1 is not implied.
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_NEAR(best(), 5, 1e-9);
  store(0, 'L', 1, {0}, {1});
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_MIPSTATUS), KRVU_MIP_OPTIMAL);
  EXPECT_NEAR(best(), 4, 1e-9);
  double x[2];
  ASSERT_EQ(KRVUgetmipsol(p, x, nullptr), 0);
  EXPECT_LE(x[0], 1 + 1e-9);
  // The pool holds the user's cut only, out of any relaxation, after the solve.
  EXPECT_EQ(pool_size(), 1);
}

struct NodeLog {
  int calls = 0, listed_before = -1, listed_after = -1, map = -2, after_delete = -1;
  double slack = -1;
  void *cut = nullptr;
  bool remove = false;
  int err = 0;
};

// At the first optnode call the cut x <= 1 is added; at the next one it is in
// the relaxation, where it is listed, mapped and has no slack; with `remove`
// it then leaves the node and the pool.
void add_then_look(KRVUprob prob, void *d, int *) {
  NodeLog &l = *static_cast<NodeLog *>(d);
  ++l.calls;
  int n = -1;
  l.err |= KRVUgetcutlist(prob, -1, -1, &n, 0, nullptr);
  if (l.calls == 1) {
    l.listed_before = n;
    const int type = 5, col = 0;
    const char rt = 'L';
    const double rhs = 1, val = 1;
    const int64_t start[] = {0, 1};
    l.err |= KRVUaddcuts64(prob, 1, &type, &rt, &rhs, start, &col, &val);
    return;
  }
  if (l.calls != 2) return;
  l.listed_after = n;
  l.err |= KRVUgetcutlist(prob, 5, 1, &n, 1, &l.cut);
  l.err |= KRVUgetcutmap(prob, 1, &l.cut, &l.map);
  l.err |= KRVUgetcutslack(prob, l.cut, &l.slack);
  if (!l.remove) return;
  l.err |= KRVUdelcuts(prob, 1, -1, -1, -1.0, -1, nullptr);
  l.err |= KRVUgetcutlist(prob, -1, -1, &l.after_delete, 0, nullptr);
  l.err |= KRVUdelcpcuts(prob, -1, -1, 1, &l.cut);
}

TEST_F(CutPoolTest, CutsAddedAtANodeEnterItsRelaxation) {
  load(5);
  NodeLog l;
  ASSERT_EQ(KRVUaddcboptnode(p, add_then_look, &l, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(l.err, 0);
  EXPECT_EQ(l.listed_before, 0);
  EXPECT_EQ(l.listed_after, 1);
  EXPECT_EQ(l.map, 1);  // the row after the model's one row
  EXPECT_NEAR(l.slack, 0, 1e-7);
  EXPECT_NEAR(best(), 4, 1e-9);
  EXPECT_EQ(pool_size(5, 1), 1);
}

TEST_F(CutPoolTest, CutsDeletedFromNodeAndPoolNoLongerHold) {
  load(5);
  NodeLog l;
  l.remove = true;
  ASSERT_EQ(KRVUaddcboptnode(p, add_then_look, &l, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(l.err, 0);
  EXPECT_EQ(l.listed_after, 1);
  EXPECT_EQ(l.after_delete, 0);
  EXPECT_NEAR(best(), 5, 1e-9);
  EXPECT_EQ(pool_size(), 0);
}

struct Branching {
  void *down = nullptr, *up = nullptr, *cut = nullptr;
  int branched = 0, children = 0, err = 0;
};

// At the root: two children from stored bounds, x <= 1 and x >= 2, the
// second taking on a pool cut y <= 1.5.
void user_branch(KRVUprob prob, void *d, int *) {
  Branching &b = *static_cast<Branching *>(d);
  int node = -1;
  KRVUgetintattrib(prob, KRVU_ATTR_CURRENTNODE, &node);
  if (node != 0 || b.branched) return;
  ++b.branched;
  b.err |= KRVUsetbranchbounds(prob, b.down);
  b.err |= KRVUsetbranchbounds(prob, b.up);
  b.err |= KRVUsetbranchcuts(prob, 1, &b.cut);
}

void count_children(KRVUprob, void *d, int parent, int, int) {
  if (parent == 0) ++static_cast<Branching *>(d)->children;
}

TEST_F(CutPoolTest, StoredBoundsBranchANodeAndBranchCutsHold) {
  load(4.5);
  // An objective that takes fractional values keeps the root from being
  // closed by the rounded incumbent.
  const int ycol = 1;
  const double ycost = 1.1;
  ASSERT_EQ(KRVUchgobj(p, 1, &ycol, &ycost), 0);
  Branching b;
  const int x = 0;
  const char U = 'U', L = 'L';
  const double one = 1, two = 2;
  ASSERT_EQ(KRVUstorebounds(p, 1, &x, &U, &one, &b.down), 0);
  ASSERT_EQ(KRVUstorebounds(p, 1, &x, &L, &two, &b.up), 0);
  ASSERT_EQ(KRVUaddcboptnode(p, user_branch, &b, 0), 0);
  ASSERT_EQ(KRVUaddcbnewnode(p, count_children, &b, 0), 0);
  b.cut = store(0, 'L', 1.5, {1}, {1});  // not broken at the root
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0) << err();
  EXPECT_EQ(b.err, 0);
  EXPECT_EQ(b.branched, 1);
  EXPECT_EQ(b.children, 2);
  EXPECT_NEAR(best(), 4.1, 1e-9);
  double xv[2];
  ASSERT_EQ(KRVUgetmipsol(p, xv, nullptr), 0);
  EXPECT_LE(xv[1], 1 + 1e-9);
}

TEST_F(CutPoolTest, StrongBranchingProbesTheRelaxation) {
  load(4.5, 'C');
  const int cols[] = {1, 1, 0, 0};
  const char type[] = {'U', 'L', 'B', 'L'};
  const double val[] = {1, 2, 5, -1};
  double obj[4];
  int st[4];
  ASSERT_EQ(KRVUstrongbranch(p, 4, cols, type, val, -1, obj, st), 0) << err();
  EXPECT_EQ(st[0], KRVU_LP_OPTIMAL);
  EXPECT_NEAR(obj[0], 4, 1e-7);
  EXPECT_EQ(st[1], KRVU_LP_OPTIMAL);
  EXPECT_NEAR(obj[1], 4.5, 1e-7);
  EXPECT_EQ(st[2], KRVU_LP_INFEAS);  // outside x's bounds
  EXPECT_EQ(st[3], KRVU_LP_OPTIMAL);  // looser than x's bound: no change
  EXPECT_NEAR(obj[3], 4.5, 1e-7);
  const char bad = 'Z';
  EXPECT_NE(KRVUstrongbranch(p, 1, cols, &bad, val, -1, obj, st), 0);
  const int out = 9;
  EXPECT_NE(KRVUstrongbranch(p, 1, &out, type, val, -1, obj, st), 0);
}

struct Probes {
  std::vector<double> x;
  int calls = 0;
};

int read_probe(KRVUprob prob, void *d, int k) {
  Probes &pr = *static_cast<Probes *>(d);
  ++pr.calls;
  double x[2];
  if (KRVUgetlpsol(prob, x, nullptr, nullptr, nullptr) == 0) pr.x.push_back(x[k == 0 ? 1 : 0]);
  return k == 1;  // the third probe is skipped
}

TEST_F(CutPoolTest, StrongBranchingCallsBackPerProbe) {
  load(4.5, 'C');
  const int cols[] = {1, 0, 0};
  const char type[] = {'U', 'U', 'U'};
  const double val[] = {1, 2, 0};
  double obj[3];
  int st[3];
  Probes pr;
  ASSERT_EQ(KRVUstrongbranchcb(p, 3, cols, type, val, -1, obj, st, read_probe, &pr), 0) << err();
  EXPECT_EQ(pr.calls, 2);
  ASSERT_EQ(pr.x.size(), 2u);
  EXPECT_NEAR(pr.x[0], 1, 1e-7);  // y at its probe bound
  EXPECT_NEAR(pr.x[1], 2, 1e-7);
  EXPECT_NEAR(obj[1], 4.5, 1e-7);
  EXPECT_EQ(st[2], KRVU_LP_UNSTARTED);
  EXPECT_NE(KRVUstrongbranchcb(p, 3, cols, type, val, -1, obj, st, nullptr, nullptr), 0);
}

TEST_F(CutPoolTest, DeletingAColumnRenumbersOrDropsItsCuts) {
  load(5);
  const int three[] = {0, 1, 2}, rows[] = {0};
  const double one[] = {1}, lb = 0, ub = 3, c = 0;
  const int64_t start[] = {0, 1};
  ASSERT_EQ(KRVUaddcols64(p, 1, 1, &c, start, rows, one, &lb, &ub), 0) << err();
  void *over0 = store(0, 'L', 1, {0, 2}, {1, 1});
  void *over2 = store(0, 'L', 2, {2}, {1});
  ASSERT_EQ(KRVUdelcols(p, 1, &three[0]), 0);
  EXPECT_EQ(pool_size(), 1);
  int64_t st[2];
  int col = -1;
  ASSERT_EQ(KRVUgetcpcuts64(p, &over2, 1, 1, nullptr, nullptr, st, &col, nullptr, nullptr), 0);
  EXPECT_EQ(col, 1);
  EXPECT_NE(KRVUgetcpcuts64(p, &over0, 1, 0, nullptr, nullptr, st, nullptr, nullptr, nullptr), 0);
  // A new model leaves nothing of the old one's pool.
  void *bounds = nullptr;
  const char bt = 'U';
  const double bv = 1;
  ASSERT_EQ(KRVUstorebounds(p, 1, three, &bt, &bv, &bounds), 0);
  load(5);
  EXPECT_EQ(pool_size(), 0);
  EXPECT_NE(KRVUgetcpcuts64(p, &over2, 1, 0, nullptr, nullptr, st, nullptr, nullptr, nullptr), 0);
}

}  // namespace
