// Callbacks of the library's search and branching objects, through the C API.
#include <vector>

#include "prob_fixture.h"

namespace {

// max sum v x, sum w x <= 31.5, x binary (a knapsack that needs branching).
class CallbackTest : public ProbTest {
 public:
  void SetUp() override {
    ProbTest::SetUp();
    const int n = 8;
    const double w[n] = {12, 7, 11, 8, 9, 6, 13, 5}, v[n] = {24, 13, 23, 15, 16, 11, 25, 9};
    std::vector<int> start(n + 1), rows(n, 0);
    for (int j = 0; j <= n; ++j) start[j] = j;
    std::vector<double> lb(n, 0), ub(n, 1);
    const char rt = 'L';
    const double rhs = 31.5;
    ASSERT_EQ(KRVUloadlp(p, "knap", n, 1, &rt, &rhs, nullptr, v, start.data(), nullptr, rows.data(), w,
                         lb.data(), ub.data()), 0);
    std::vector<int> idx(n);
    std::vector<char> type(n, 'B');
    for (int j = 0; j < n; ++j) idx[j] = j;
    ASSERT_EQ(KRVUchgcoltype(p, n, idx.data(), type.data()), 0);
    ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
    ASSERT_EQ(KRVUsetintcontrol(p, 8400, 1), 0);
    ASSERT_EQ(KRVUsetdblcontrol(p, 7320, 0.0), 0);
  }
};

struct Seen {
  int prenode = 0, optnode = 0, refused = 0, newnode = 0;
  std::vector<double> x7lo, x7up;
  std::string text;
};

void count_prenode(KRVUprob prob, void *d, int *) { ++static_cast<Seen *>(d)->prenode; }

TEST_F(CallbackTest, PrioritiesOrderCallsAndRemovalMatches) {
  static std::vector<int> order;
  order.clear();
  auto a = [](KRVUprob, void *, int *) { order.push_back(1); };
  auto b = [](KRVUprob, void *, int *) { order.push_back(2); };
  ASSERT_EQ(KRVUaddcbprenode(p, a, nullptr, 1), 0);
  ASSERT_EQ(KRVUaddcbprenode(p, b, nullptr, 5), 0);
  ASSERT_EQ(KRVUsetintcontrol(p, 8002, 1), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  ASSERT_GE(order.size(), 2u);
  EXPECT_EQ(order[0], 2);
  EXPECT_EQ(order[1], 1);
  ASSERT_EQ(KRVUremovecbprenode(p, nullptr, nullptr), 0);
  order.clear();
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_TRUE(order.empty());
  EXPECT_NE(KRVUaddcboptnode(p, nullptr, nullptr, 0), 0);
  EXPECT_NE(err().find("'f'"), std::string::npos);
}

TEST_F(CallbackTest, ModelChangesAndSolvesAreRefusedInsideCallbacks) {
  Seen s;
  auto opt = [](KRVUprob prob, void *d, int *) {
    Seen *s = static_cast<Seen *>(d);
    const int col = 0;
    const char bt = 'U';
    const double bv = 0;
    if (KRVUchgbounds(prob, 1, &col, &bt, &bv) != 0) {
      ++s->refused;
      char buf[512];
      KRVUgetlasterror(prob, buf);
      s->text = buf;
    }
    if (KRVUmipoptimize(prob, "") != 0) ++s->refused;
    if (KRVUdestroyprob(prob) != 0) ++s->refused;
  };
  ASSERT_EQ(KRVUaddcboptnode(p, opt, &s, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_GT(s.refused, 0);
  EXPECT_EQ(s.refused % 3, 0);
  EXPECT_NE(s.text.find("KRVUchgbounds"), std::string::npos);
  EXPECT_NE(s.text.find("callbacks"), std::string::npos);
  EXPECT_DOUBLE_EQ(dattr(KRVU_ATTR_MIPBESTOBJVAL), 62);
  // Idle again afterwards.
  const int col = 0;
  const char bt = 'U';
  const double bv = 1;
  EXPECT_EQ(KRVUchgbounds(p, 1, &col, &bt, &bv), 0);
}

TEST_F(CallbackTest, PreintsolRejectsAndTightensCutoff) {
  auto reject = [](KRVUprob, void *, int, int *r, double *) { *r = 1; };
  ASSERT_EQ(KRVUaddcbpreintsol(p, reject, nullptr, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_EQ(attr(1012), 0);
  ASSERT_EQ(KRVUremovecbpreintsol(p, nullptr, nullptr), 0);
  // A cutoff above the optimum (maximizing) leaves nothing to find.
  auto cut = [](KRVUprob, void *, int, int *, double *c) { *c = 100; };
  ASSERT_EQ(KRVUaddcbpreintsol(p, cut, nullptr, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_EQ(attr(1012), 0);
}

TEST_F(CallbackTest, ChgbranchobjectReplacesTheBranching) {
  Seen s;
  auto chg = [](KRVUprob prob, void *, KRVUbranchobject bo, KRVUbranchobject *out) {
    int node = -1;
    KRVUgetintattrib(prob, KRVU_ATTR_CURRENTNODE, &node);
    ASSERT_NE(bo, nullptr);
    if (node != 0) return;
    KRVUbranchobject mine = nullptr;
    ASSERT_EQ(KRVU_bo_create(&mine, prob, 1), 0);
    ASSERT_EQ(KRVU_bo_addbranches(mine, 2), 0);
    const int col = 7;
    const char u = 'U', l = 'L';
    const double zero = 0, one = 1;
    ASSERT_EQ(KRVU_bo_addbounds(mine, 0, 1, &u, &col, &zero), 0);
    ASSERT_EQ(KRVU_bo_addbounds(mine, 1, 1, &l, &col, &one), 0);
    int status = -1;
    ASSERT_EQ(KRVU_bo_validate(mine, &status), 0);
    EXPECT_EQ(status, 0);
    *out = mine;
  };
  auto pre = [](KRVUprob prob, void *d, int *) {
    Seen *s = static_cast<Seen *>(d);
    int depth = 0;
    KRVUgetintattrib(prob, KRVU_ATTR_NODEDEPTH, &depth);
    if (depth != 1) return;
    double lo, up;
    KRVUgetlb(prob, &lo, 7, 7);
    KRVUgetub(prob, &up, 7, 7);
    s->x7lo.push_back(lo);
    s->x7up.push_back(up);
  };
  ASSERT_EQ(KRVUaddcbchgbranchobject(p, chg, nullptr, 0), 0);
  ASSERT_EQ(KRVUaddcbprenode(p, pre, &s, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  ASSERT_EQ(s.x7lo.size(), 2u);
  EXPECT_EQ(s.x7up[0] + s.x7up[1], 1.0);  // one child fixes x7 at 0 ...
  EXPECT_EQ(s.x7lo[0] + s.x7lo[1], 1.0);  // ... the other at 1
  EXPECT_DOUBLE_EQ(dattr(KRVU_ATTR_MIPBESTOBJVAL), 62);
}

TEST_F(CallbackTest, NodeContextAnswersQueries) {
  static std::vector<double> root;
  root.clear();
  auto opt = [](KRVUprob prob, void *, int *) {
    int node = -1;
    KRVUgetintattrib(prob, KRVU_ATTR_CURRENTNODE, &node);
    if (node != 0) return;
    root.assign(8, -1);
    std::vector<double> slack(1);
    ASSERT_EQ(KRVUgetlpsol(prob, root.data(), slack.data(), nullptr, nullptr), 0);
    EXPECT_NEAR(slack[0], 0.0, 1e-9);  // the knapsack row is tight at the root
  };
  ASSERT_EQ(KRVUaddcboptnode(p, opt, nullptr, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  ASSERT_EQ(root.size(), 8u);
  int fractional = 0;
  for (double v : root) fractional += v > 1e-6 && v < 1 - 1e-6;
  EXPECT_EQ(fractional, 1);
  EXPECT_EQ(attr(KRVU_ATTR_CURRENTNODE), 0);  // cleared after the search
}

TEST_F(CallbackTest, NodeCallbacksChooseTheSearchAutomatically) {
  Seen s;
  ASSERT_EQ(KRVUsetintcontrol(p, 8400, 0), 0);
  ASSERT_EQ(KRVUaddcbprenode(p, count_prenode, &s, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  EXPECT_GT(s.prenode, 0);
}

TEST(BranchObject, ArgumentsAreChecked) {
  ASSERT_EQ(KRVUinit(nullptr), 0);
  KRVUprob p = nullptr;
  ASSERT_EQ(KRVUcreateprob(&p), 0);
  const double obj[2] = {1, 1}, lb[2] = {0, 0}, ub[2] = {1, 1};
  ASSERT_EQ(KRVUloadlp(p, "two", 2, 0, nullptr, nullptr, nullptr, obj, nullptr, nullptr, nullptr, nullptr, lb, ub), 0);
  KRVUbranchobject bo = nullptr;
  ASSERT_EQ(KRVU_bo_create(&bo, p, 1), 0);
  const int bad = 5;
  const char u = 'U', x = 'X';
  const double v = 0;
  EXPECT_NE(KRVU_bo_addbounds(bo, 0, 1, &u, &bad, &v), 0);  // no branch 0 yet
  ASSERT_EQ(KRVU_bo_addbranches(bo, 1), 0);
  EXPECT_NE(KRVU_bo_addbounds(bo, 0, 1, &u, &bad, &v), 0);
  char text[512];
  int code = 0;
  KRVU_bo_getlasterror(bo, &code, text, sizeof text, nullptr);
  EXPECT_NE(std::string(text).find("colind"), std::string::npos);
  const int col = 1;
  EXPECT_NE(KRVU_bo_addbounds(bo, 0, 1, &x, &col, &v), 0);
  EXPECT_EQ(KRVU_bo_addbounds(bo, 0, 1, &u, &col, &v), 0);
  int n = 0;
  EXPECT_EQ(KRVU_bo_getbounds(bo, 0, &n, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(n, 1);
  int status = 0;
  EXPECT_NE(KRVU_bo_store(bo, &status), 0);  // not inside a node callback
  EXPECT_EQ(KRVU_bo_destroy(bo), 0);
  EXPECT_NE(KRVU_bo_addbranches(nullptr, 1), 0);
  KRVUdestroyprob(p);
  KRVUfree();
}

}  // namespace
