// Solve times through libkrvu (driven by engine_solve.py, which builds this
// program against a build folder's libkrvu.a).
//
//   engine_solve <model file> <lp|mip>
//
// Reads the model, optimizes, and prints "<objective> <read seconds> <solve seconds>".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "krvu.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: engine_solve <model> <lp|mip>\n");
    return 2;
  }
  const bool mip = std::strcmp(argv[2], "mip") == 0;
  KRVUprob prob = nullptr;
  if (KRVUinit(nullptr) || KRVUcreateprob(&prob)) return 1;
  KRVUsetintcontrol(prob, KRVU_CTRL_OUTPUTLOG, 0);
  char err[512];
  auto t0 = std::chrono::steady_clock::now();
  if (KRVUreadprob(prob, argv[1], "")) {
    KRVUgetlasterror(prob, err);
    std::fprintf(stderr, "read failed: %s\n", err);
    return 1;
  }
  auto t1 = std::chrono::steady_clock::now();
  if (mip ? KRVUmipoptimize(prob, "") : KRVUlpoptimize(prob, "")) {
    KRVUgetlasterror(prob, err);
    std::fprintf(stderr, "optimize failed: %s\n", err);
    return 1;
  }
  auto t2 = std::chrono::steady_clock::now();
  double obj = 0;
  KRVUgetdblattrib(prob, mip ? KRVU_ATTR_MIPBESTOBJVAL : KRVU_ATTR_LPOBJVAL, &obj);
  std::printf("%.12g %.4f %.4f\n", obj, std::chrono::duration<double>(t1 - t0).count(),
              std::chrono::duration<double>(t2 - t1).count());
  KRVUdestroyprob(prob);
  KRVUfree();
  return 0;
}
