// The global environment: start count, last errors, message handlers, modes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "krvu.h"
#include "kslp.h"

namespace {

std::string global_error() {
  char buf[512];
  int code = 0;
  KRVU_ge_getlasterror(&code, buf, sizeof buf, nullptr);
  return buf;
}

TEST(Env, ProblemsNeedAStartedLibrary) {
  KRVUprob p = nullptr;
  ASSERT_NE(KRVUcreateprob(&p), 0);
  EXPECT_EQ(p, nullptr);
  EXPECT_NE(global_error().find("not started"), std::string::npos);

  ASSERT_EQ(KRVUinit(nullptr), 0);
  ASSERT_EQ(KRVUinit(nullptr), 0);
  ASSERT_EQ(KRVUfree(), 0);
  ASSERT_EQ(KRVUcreateprob(&p), 0);  // still one start outstanding
  ASSERT_EQ(KRVUfree(), 0);
  EXPECT_NE(KRVUfree(), 0);          // unbalanced stop is refused
  // A problem outlives the library's stop and can still be destroyed.
  EXPECT_EQ(KRVUdestroyprob(p), 0);
}

TEST(Env, LastErrorIsCutToTheBuffer) {
  KRVUfree();  // fails: not started
  char small[8];
  int code = 0, len = 0;
  ASSERT_EQ(KRVU_ge_getlasterror(&code, small, sizeof small, &len), 0);
  EXPECT_EQ(code, KRVU_ERR_NOTINIT);
  EXPECT_EQ(std::strlen(small), 7u);
  EXPECT_GT(len, 7);
}

TEST(Env, LastErrorIsPerThread) {
  KRVUfree();  // an error on this thread
  std::string other;
  std::thread t([&] { other = global_error(); });
  t.join();
  EXPECT_EQ(other, "");
  EXPECT_NE(global_error(), "");
}

TEST(Env, VersionBannerModes) {
  char version[32], banner[512];
  ASSERT_EQ(KRVUgetversion(version), 0);
  EXPECT_STREQ(version, "0.1.0");
  ASSERT_EQ(KRVUgetbanner(banner), 0);
  EXPECT_NE(std::string(banner).find("libkrvu"), std::string::npos);
  int flag = -1;
  KRVUsetcheckedmode(0);
  KRVUgetcheckedmode(&flag);
  EXPECT_EQ(flag, 0);
  KRVUsetcheckedmode(1);
  KRVUgetcheckedmode(&flag);
  EXPECT_EQ(flag, 1);
  EXPECT_NE(KRVUgetversion(nullptr), 0);
  EXPECT_NE(global_error().find("'version'"), std::string::npos);
}

struct Seen {
  std::atomic<int> count{0};
};

int count_handler(void *, void *data, void *, const char *, int, int) {
  static_cast<Seen *>(data)->count++;
  return 0;
}

TEST(Env, MessageHandlersFromSeveralThreads) {
  ASSERT_EQ(KRVUinit(nullptr), 0);
  Seen seen;
  ASSERT_EQ(KRVU_ge_addcbmsghandler(count_handler, &seen, 0), 0);
  // Problems on four threads each log; every line reaches the global handler.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 50; ++i) {
        KRVUprob p;
        ASSERT_EQ(KRVUcreateprob(&p), 0);
        ASSERT_EQ(KRVUsetintcontrol(p, 7000 + 30, 2) != 0, true);  // a double control
        ASSERT_EQ(KRVUsetdblcontrol(p, 7000, 5.0), 0);
        ASSERT_EQ(KRVUdumpcontrols(p), 0);                         // logs one line
        KRVUdestroyprob(p);
      }
    });
  for (auto &t : threads) t.join();
  EXPECT_EQ(seen.count.load(), 200);
  ASSERT_EQ(KRVU_ge_removecbmsghandler(count_handler, &seen), 0);
  EXPECT_NE(KRVU_ge_removecbmsghandler(count_handler, &seen), 0);
  KRVUfree();
}

TEST(Env, ObjectTypeNames) {
  ASSERT_EQ(KRVUinit(nullptr), 0);
  ASSERT_EQ(KSLPinit(), 0);
  KRVUprob p;
  KSLPprob s;
  ASSERT_EQ(KRVUcreateprob(&p), 0);
  ASSERT_EQ(KSLPcreateprob(&s, &p), 0);
  const char *name = nullptr;
  ASSERT_EQ(KRVUgetobjecttypename(p, &name), 0);
  EXPECT_STREQ(name, "KRVUprob");
  ASSERT_EQ(KRVUgetobjecttypename(s, &name), 0);
  EXPECT_STREQ(name, "KSLPprob");
  int junk = 42;
  EXPECT_NE(KRVUgetobjecttypename(&junk, &name), 0);
  // The linear problem cannot go while the nonlinear one uses it.
  EXPECT_NE(KRVUdestroyprob(p), 0);
  void *under = nullptr;
  ASSERT_EQ(KSLPgetptrattrib(s, KSLP_ATTR_KRVUPROB, &under), 0);
  EXPECT_EQ(under, p);
  ASSERT_EQ(KSLPdestroyprob(s), 0);
  ASSERT_EQ(KRVUdestroyprob(p), 0);
  KSLPfree();
  KRVUfree();
}

}  // namespace
