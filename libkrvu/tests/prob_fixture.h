// A test fixture holding one problem of a started library, with the small
// readers the library's tests share.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "krvu.h"

class ProbTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_EQ(KRVUinit(nullptr), 0);
    ASSERT_EQ(KRVUcreateprob(&p), 0);
    KRVUsetintcontrol(p, 8030, 0);  // no engine log
  }
  void TearDown() override {
    KRVUdestroyprob(p);
    KRVUfree();
  }
  int attr(int id) {
    int v = -1;
    EXPECT_EQ(KRVUgetintattrib(p, id, &v), 0);
    return v;
  }
  double dattr(int id) {
    double v = NAN;
    EXPECT_EQ(KRVUgetdblattrib(p, id, &v), 0);
    return v;
  }
  std::string err() {
    char buf[512];
    KRVUgetlasterror(p, buf);
    return buf;
  }
  KRVUprob p = nullptr;
};
