// Solves one MIP file with the chosen search (argv[2]: 1 the library's
// branch-and-bound, 2 the engine's MIP solver) and prints
// "status objective nodes seconds".
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "krvu.h"

int main(int argc, char **argv) {
  if (argc < 3) return 2;
  KRVUinit(nullptr);
  KRVUprob p = nullptr;
  KRVUcreateprob(&p);
  KRVUsetintcontrol(p, 8030, 0);
  KRVUsetintcontrol(p, 8400, std::atoi(argv[2]));
  if (argc > 3) KRVUsetdblcontrol(p, 7000, std::atof(argv[3]));
  if (argc > 4) KRVUsetintcontrol(p, 8020, std::atoi(argv[4]));  // node workers of our search
  if (KRVUreadprob(p, argv[1], "")) return 3;
  const auto t0 = std::chrono::steady_clock::now();
  const int rc = KRVUmipoptimize(p, "");
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  int status = 0;
  int64_t nodes = 0;
  double obj = 0;
  KRVUgetintattrib(p, KRVU_ATTR_MIPSTATUS, &status);
  KRVUgetintattrib64(p, 1008, &nodes);
  KRVUgetdblattrib(p, KRVU_ATTR_MIPBESTOBJVAL, &obj);
  std::printf("%d %.10g %lld %.4f\n", rc ? -1 : status, obj, static_cast<long long>(nodes), secs);
  KRVUdestroyprob(p);
  KRVUfree();
  return 0;
}
