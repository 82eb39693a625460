// Last errors belong to the call that failed; the engine's own reason reaches
// the text; the log file takes every line; non-finite coefficients are refused.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "krvu.h"
#include "prob_fixture.h"

namespace {

class Errors : public ProbTest {
 protected:
  void load_one_row(double coef) {
    const char rt[] = {'L'};
    const double rhs[] = {4}, obj[] = {-1};
    const int64_t st[] = {0, 1};
    const int ri[] = {0};
    const double v[] = {coef};
    last_rc = KRVUloadlp64(p, "one", 1, 1, rt, rhs, nullptr, obj, st, nullptr, ri, v, nullptr, nullptr);
  }
  int last_rc = 0;
};

TEST_F(Errors, EachCallClearsTheTextAndReadsKeepIt) {
  const int bad[] = {7};
  const double val[] = {1};
  EXPECT_NE(KRVUchgobj(p, 1, bad, val), 0);
  const std::string text = err();
  EXPECT_NE(text.find("mindex[0] = 7"), std::string::npos) << text;
  // Reading a status keeps the text for the caller who looks at it next.
  attr(KRVU_ATTR_LPSTATUS);
  EXPECT_EQ(err(), text);
  // A later call that succeeds leaves no stale text behind.
  load_one_row(1);
  ASSERT_EQ(last_rc, 0) << err();
  EXPECT_EQ(err(), "");
}

TEST_F(Errors, NonFiniteCoefficientsAreRefusedInfiniteBoundsKept) {
  load_one_row(INFINITY);
  EXPECT_NE(last_rc, 0);
  EXPECT_NE(err().find("dmatval[0] is infinite"), std::string::npos) << err();
  load_one_row(NAN);
  EXPECT_NE(err().find("not a number"), std::string::npos) << err();
  load_one_row(2);
  ASSERT_EQ(last_rc, 0);
  const int r[] = {0}, c[] = {0};
  const double inf[] = {INFINITY};
  EXPECT_NE(KRVUchgmcoef(p, 1, r, c, inf), 0);
  EXPECT_NE(KRVUchgobj(p, 1, c, inf), 0);
  EXPECT_NE(KRVUchgqobj(p, 0, 0, INFINITY), 0);
  const char u[] = {'U'};
  EXPECT_EQ(KRVUchgbounds(p, 1, c, u, inf), 0) << err();  // an infinite bound is no bound
  EXPECT_EQ(KRVUlpoptimize(p, ""), 0) << err();
  EXPECT_EQ(attr(KRVU_ATTR_LPSTATUS), KRVU_LP_OPTIMAL);
  EXPECT_NEAR(dattr(KRVU_ATTR_LPOBJVAL), -2, 1e-9);
}

TEST_F(Errors, TheLogFileTakesEveryLineWithoutTheCallbacks) {
  char name[] = "/tmp/krvu_logXXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  int calls = 0;
  auto cb = [](KRVUprob, void *data, const char *, int, int) { ++*static_cast<int *>(data); };
  ASSERT_EQ(KRVUaddcbmessage(p, cb, &calls, 0), 0);
  ASSERT_EQ(KRVUsetintcontrol(p, 8030, 1), 0);
  ASSERT_EQ(KRVUsetintcontrol(p, KRVU_CTRL_OUTPUTLOG, 0), 0);
  int id = 0, type = 0;
  ASSERT_EQ(KRVUgetcontrolinfo(p, "logfile", &id, &type), 0);
  ASSERT_EQ(KRVUsetstrcontrol(p, id, name), 0);
  load_one_row(1);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0) << err();
  ASSERT_EQ(KRVUsetstrcontrol(p, id, ""), 0);
  std::ifstream in(name);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(name);
  EXPECT_EQ(calls, 0);
  EXPECT_GT(text.str().size(), 20u) << "log file: " << text.str();
}

TEST_F(Errors, BoundsAndRowsThatLeaveNoValueAreRefused) {
  load_one_row(1);
  ASSERT_EQ(last_rc, 0);
  const int c[] = {0};
  const char lower[] = {'L'}, upper[] = {'U'};
  const double pinf[] = {INFINITY}, minf[] = {-INFINITY};
  EXPECT_NE(KRVUchgbounds(p, 1, c, lower, pinf), 0);
  EXPECT_NE(err().find("lower bound of +infinity"), std::string::npos) << err();
  EXPECT_NE(KRVUchgbounds(p, 1, c, upper, minf), 0);
  EXPECT_EQ(KRVUchgbounds(p, 1, c, lower, minf), 0) << err();  // no lower bound at all is fine
  const char g[] = {'G'};
  ASSERT_EQ(KRVUchgrowtype(p, 1, c, g), 0);
  EXPECT_NE(KRVUchgrhs(p, 1, c, pinf), 0);  // activity >= +infinity never holds
  EXPECT_NE(err().find("can never hold"), std::string::npos) << err();
  EXPECT_EQ(KRVUchgrhs(p, 1, c, minf), 0) << err();  // >= -infinity: a free row
}

TEST(Registry, NumericControlsTellTheirRange) {
  double lo, hi;
  ASSERT_EQ(KRVUgetcarange(7000, &lo, &hi), 0);
  EXPECT_EQ(lo, 0);
  EXPECT_NE(KRVUgetcarange(KRVU_ATTR_ROWS, &lo, &hi), 0);  // an attribute has no range
}

TEST_F(Errors, IdentifiersOutsideTheTableAreRefusedByNumber) {
  int v = 0;
  for (int id : {-1, 0, 1 << 30}) {
    EXPECT_NE(KRVUgetintattrib(p, id, &v), 0);
    EXPECT_NE(err().find(std::to_string(id)), std::string::npos) << err();
    EXPECT_NE(KRVUsetintcontrol(p, id, 1), 0);
  }
  EXPECT_EQ(KRVUgetintattrib(p, KRVU_ATTR_ROWS, &v), 0);
  EXPECT_EQ(v, 0);
}

}  // namespace
