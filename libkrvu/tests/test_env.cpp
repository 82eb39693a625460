// The global environment: start count, last errors, message handlers, modes.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <unistd.h>
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

namespace {

std::string write_temp(const std::string &text) {
  char path[] = "/tmp/krvu_defaultsXXXXXX";
  int fd = mkstemp(path);
  FILE *f = fdopen(fd, "w");
  std::fputs(text.c_str(), f);
  std::fclose(f);
  return path;
}

TEST(Env, SiteDefaultsFileAppliesToNewProblems) {
  std::string good = write_temp("# site defaults\ntimelimit = 5\n threads=2 \nlogfile = run.log\n");
  setenv("KRVU_DEFAULTS", good.c_str(), 1);
  ASSERT_EQ(KRVUinit(nullptr), 0);
  KRVUprob p;
  ASSERT_EQ(KRVUcreateprob(&p), 0);
  double t = 0;
  int threads = 0;
  char log[64];
  KRVUgetdblcontrol(p, 7000, &t);
  KRVUgetintcontrol(p, 8020, &threads);
  KRVUgetstringcontrol(p, 6000, log, sizeof log, nullptr);
  EXPECT_EQ(t, 5.0);
  EXPECT_EQ(threads, 2);
  EXPECT_STREQ(log, "run.log");
  // setdefaults goes back to the library's own defaults.
  KRVUsetdefaults(p);
  KRVUgetintcontrol(p, 8020, &threads);
  EXPECT_EQ(threads, 0);
  KRVUdestroyprob(p);
  KRVUfree();
  unsetenv("KRVU_DEFAULTS");
  std::remove(good.c_str());
}

TEST(Env, BadSiteDefaultsFileFailsTheStart) {
  std::string bad = write_temp("timelimit = 5\nthreads = many\n");
  setenv("KRVU_DEFAULTS", bad.c_str(), 1);
  EXPECT_NE(KRVUinit(nullptr), 0);
  std::string err = global_error();
  EXPECT_NE(err.find(bad + ":2:"), std::string::npos) << err;
  EXPECT_NE(err.find("threads"), std::string::npos) << err;
  KRVUprob p = nullptr;
  EXPECT_NE(KRVUcreateprob(&p), 0);  // the failed start did not count
  setenv("KRVU_DEFAULTS", "/nonexistent/defaults", 1);
  EXPECT_NE(KRVUinit(nullptr), 0);
  EXPECT_NE(global_error().find("cannot open"), std::string::npos);
  unsetenv("KRVU_DEFAULTS");
  std::remove(bad.c_str());
}

TEST(Registry, ListsAreConsistentWithLookups) {
  ASSERT_EQ(KRVUinit(nullptr), 0);
  KRVUprob p;
  ASSERT_EQ(KRVUcreateprob(&p), 0);
  const KRVUcaentry *list = nullptr;
  ASSERT_EQ(KRVUgetcalist_c(&list), 0);
  int n = 0;
  for (const KRVUcaentry *e = list; e->id; ++e, ++n) {
    std::string name = e->name;
    for (char c : name) EXPECT_FALSE(std::isupper(static_cast<unsigned char>(c))) << name;
    int id = 0, type = 0;
    bool control = (e->flags & KRVU_CAFLAG_CONTROL) != 0;
    ASSERT_EQ((control ? KRVUgetcontrolinfo : KRVUgetattribinfo)(p, e->name, &id, &type), 0);
    EXPECT_EQ(id, e->id) << name;
    const char *help = nullptr;
    ASSERT_EQ(KRVUgetcahelp(e->id, &help), 0);
    EXPECT_GT(std::strlen(help), 10u) << name;
    if (!control) continue;
    // Every control reads back its default through the typed call of its type.
    if (type == KRVU_TYPE_DOUBLE) {
      double v;
      EXPECT_EQ(KRVUgetdblcontrol(p, id, &v), 0) << name;
    } else if (type == KRVU_TYPE_STRING) {
      int nbytes = 0;
      EXPECT_EQ(KRVUgetstringcontrol(p, id, nullptr, 0, &nbytes), 0) << name;
      EXPECT_GE(nbytes, 1);
    } else {
      int64_t v;
      EXPECT_EQ(KRVUgetintcontrol64(p, id, &v), 0) << name;
    }
  }
  EXPECT_GT(n, 40);
  // The fixed identifiers are there with their types.
  for (auto [name, id, type] : {std::tuple<const char *, int, int>{"rows", 1001, KRVU_TYPE_INT},
                                {"cols", 1018, KRVU_TYPE_INT},
                                {"lpstatus", 1010, KRVU_TYPE_INT},
                                {"mipstatus", 1011, KRVU_TYPE_INT},
                                {"lpobjval", 2001, KRVU_TYPE_DOUBLE},
                                {"mipbestobjval", 2003, KRVU_TYPE_DOUBLE}}) {
    int gid = 0, gtype = 0;
    KRVUgetattribinfo(p, name, &gid, &gtype);
    EXPECT_EQ(gid, id) << name;
    EXPECT_EQ(gtype, type) << name;
  }
  int id = -1, type = -1;
  ASSERT_EQ(KRVUgetcontrolinfo(p, "TimeLimit", &id, &type), 0);  // case-insensitive
  EXPECT_EQ(id, 7000);
  ASSERT_EQ(KRVUgetcontrolinfo(p, "no_such_control", &id, &type), 0);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(type, KRVU_TYPE_NOTDEFINED);
  KRVUdestroyprob(p);
  KRVUfree();
}

TEST(Registry, TypedAccessRefusesWrongTypesAndRanges) {
  ASSERT_EQ(KRVUinit(nullptr), 0);
  KRVUprob p;
  ASSERT_EQ(KRVUcreateprob(&p), 0);
  char err[512];
  EXPECT_NE(KRVUsetintcontrol(p, 7000, 5), 0);  // timelimit is a double
  KRVUgetlasterror(p, err);
  EXPECT_NE(std::string(err).find("timelimit"), std::string::npos) << err;
  EXPECT_NE(KRVUsetdblcontrol(p, 7001, -1.0), 0);  // feastol out of range
  KRVUgetlasterror(p, err);
  EXPECT_NE(std::string(err).find("out of its range"), std::string::npos) << err;
  EXPECT_NE(KRVUsetdblcontrol(p, 7001, std::nan("")), 0);
  EXPECT_NE(KRVUsetintcontrol(p, 8010, 7), 0);      // presolve is 0 or 1
  EXPECT_NE(KRVUsetintcontrol(p, 424242, 1), 0);    // unknown id
  EXPECT_NE(KRVUsetintcontrol(p, 1001, 1), 0);      // an attribute, not a control
  EXPECT_NE(KRVUsetstrcontrol(p, 6000, nullptr), 0);
  double feastol;
  ASSERT_EQ(KRVUgetdblcontrol(p, 7001, &feastol), 0);
  EXPECT_EQ(feastol, 1e-6);  // refused settings left the value alone

  ASSERT_EQ(KRVUsetintcontrol64(p, 8002, int64_t(1) << 40), 0);  // nodelimit is 64-bit
  int narrow;
  EXPECT_NE(KRVUgetintcontrol(p, 8002, &narrow), 0);
  ASSERT_EQ(KRVUsetstrcontrol(p, 6000, "solve.log"), 0);
  char small[4];
  int nbytes = 0;
  ASSERT_EQ(KRVUgetstringcontrol(p, 6000, small, sizeof small, &nbytes), 0);
  EXPECT_STREQ(small, "sol");
  EXPECT_EQ(nbytes, 10);

  // Copying controls, and returning one to its default.
  KRVUprob q;
  ASSERT_EQ(KRVUcreateprob(&q), 0);
  ASSERT_EQ(KRVUsetdblcontrol(p, 7000, 12.5), 0);
  ASSERT_EQ(KRVUcopycontrols(q, p), 0);
  double t;
  KRVUgetdblcontrol(q, 7000, &t);
  EXPECT_EQ(t, 12.5);
  ASSERT_EQ(KRVUsetdefaultcontrol(q, 7000), 0);
  KRVUgetdblcontrol(q, 7000, &t);
  EXPECT_EQ(t, KRVU_INFINITY);
  // Attributes cannot be reached through the nonlinear interface and vice versa.
  KRVUdestroyprob(q);
  KRVUdestroyprob(p);
  KRVUfree();
}

TEST(Registry, NonlinearListsAndCodes) {
  const KSLPcaentry *list = nullptr;
  ASSERT_EQ(KSLPgetcalist(&list), 0);
  int controls = 0, skipped = 0;
  bool saw_postsolve = false;
  for (const KSLPcaentry *e = list + 1; e->name; ++e) {
    int id = 0, flags = 0;
    ASSERT_EQ(KSLPcontrolcode(e->name, &id, &flags), 0) << e->name;
    EXPECT_EQ(id, e->id);
    if (flags & KSLP_CAFLAG_CONTROL) ++controls;
    if (flags & KSLP_CAFLAG_SKIP) ++skipped;
    saw_postsolve |= std::string(e->name) == "kslp_postsolve";
  }
  EXPECT_TRUE(saw_postsolve);
  EXPECT_GT(controls, 3);
  EXPECT_EQ(skipped, 2);  // the two pointer attributes
  ASSERT_EQ(KSLPgetIPMcalist(&list), 0);
  bool saw_22013 = false;
  for (const KSLPcaentry *e = list + 1; e->name; ++e) saw_22013 |= e->id == 22013;
  EXPECT_TRUE(saw_22013);
  EXPECT_NE(KSLPcontrolcode("no_such_name", nullptr, nullptr), 0);

  ASSERT_EQ(KRVUinit(nullptr), 0);
  ASSERT_EQ(KSLPinit(), 0);
  KRVUprob p;
  KSLPprob s;
  ASSERT_EQ(KRVUcreateprob(&p), 0);
  ASSERT_EQ(KSLPcreateprob(&s, &p), 0);
  EXPECT_NE(KSLPsetdblcontrol(s, 7000, 1.0), 0);  // a library control, not a nonlinear one
  int code = 0;
  char err[512];
  ASSERT_EQ(KSLPgetlasterror(s, &code, err), 0);
  EXPECT_NE(code, 0);
  EXPECT_NE(std::string(err).find("7000"), std::string::npos) << err;
  ASSERT_EQ(KSLPsetintcontrol(s, KSLP_CTRL_ECHOLOG, 0), 0);
  int v = -1;
  ASSERT_EQ(KSLPgetintcontrol(s, KSLP_CTRL_ECHOLOG, &v), 0);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(KSLPgetintattrib(s, KSLP_ATTR_NOCOLUMN, &v), 0);
  EXPECT_EQ(v, -1);
  KSLPdestroyprob(s);
  KRVUdestroyprob(p);
  KSLPfree();
  KRVUfree();
}

}  // namespace
