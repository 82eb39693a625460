// Read and write times of libkrvu's problem files (driven by engine_files.py,
// which builds this program against a build folder's libkrvu.a).
//
//   engine_files <model.mps> <work folder> <repeat>
//
// Prints one line per case: "<case> <median seconds> <min seconds>".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "krvu.h"

namespace {

KRVUprob prob;

void check(int rc, const char *what) {
  if (rc == 0) return;
  char buf[512];
  KRVUgetlasterror(prob, buf);
  std::fprintf(stderr, "%s failed: %s\n", what, buf);
  std::exit(1);
}

template <class F>
void timed(const char *name, int repeat, F &&f) {
  std::vector<double> t;
  for (int k = 0; k < repeat; ++k) {
    auto a = std::chrono::steady_clock::now();
    f();
    t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
  }
  std::sort(t.begin(), t.end());
  std::printf("%-22s %.3f %.3f\n", name, t[t.size() / 2], t[0]);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: engine_files model.mps workdir repeat\n");
    return 2;
  }
  const std::string model = argv[1], dir = argv[2];
  const int repeat = std::max(1, std::atoi(argv[3]));
  check(KRVUinit(nullptr), "init");
  check(KRVUcreateprob(&prob), "createprob");
  const std::string mps = dir + "/ours.mps", hex = dir + "/ours_x.mps", lp = dir + "/ours.lp",
                    gz = dir + "/ours.mps.gz";
  timed("read-mps", repeat, [&] { check(KRVUreadprob(prob, model.c_str(), ""), "read"); });
  timed("write-mps", repeat, [&] { check(KRVUwriteprob(prob, mps.c_str(), ""), "write mps"); });
  timed("write-mps-hex", repeat, [&] { check(KRVUwriteprob(prob, hex.c_str(), "x"), "write x"); });
  timed("write-lp", repeat, [&] { check(KRVUwriteprob(prob, lp.c_str(), ""), "write lp"); });
  timed("write-mps-gz", 1, [&] { check(KRVUwriteprob(prob, gz.c_str(), ""), "write gz"); });
  timed("read-own-mps", repeat, [&] { check(KRVUreadprob(prob, mps.c_str(), ""), "read mps"); });
  timed("read-own-mps-hex", repeat, [&] { check(KRVUreadprob(prob, hex.c_str(), ""), "read x"); });
  timed("read-own-lp", repeat, [&] { check(KRVUreadprob(prob, lp.c_str(), ""), "read lp"); });
  timed("read-mps-gz", repeat, [&] { check(KRVUreadprob(prob, gz.c_str(), ""), "read gz"); });
  KRVUdestroyprob(prob);
  KRVUfree();
  return 0;
}
