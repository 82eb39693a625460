// Infeasibility analysis and tuner figures through libkrvu (driven by
// analysis.py, which builds this program against a build folder's libkrvu.a).
//
//   analysis iis <model> <maxsets>
//     prints "lp <s> | first <s> <solves> <iterations> <initial rows> <initial bounds>
//             <rows> <bounds> | all <s> <solves> <sets>"
//   analysis tune <model> <lp|mip> <budget s> <repeats>
//     prints "default <median s> <min s> | tune <s> | tuned <median s> <min s> | <changed controls>"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "krvu.h"

namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

KRVUprob load(const char *file) {
  KRVUprob p = nullptr;
  if (KRVUcreateprob(&p)) std::exit(1);
  KRVUsetintcontrol(p, KRVU_CTRL_OUTPUTLOG, 0);
  KRVUsetintcontrol(p, 8030, 0);
  if (KRVUreadprob(p, file, "")) {
    char err[512];
    KRVUgetlasterror(p, err);
    std::fprintf(stderr, "read failed: %s\n", err);
    std::exit(1);
  }
  return p;
}

// A cold solve of a copy with src's controls.
double cold_solve(KRVUprob src, bool mip) {
  KRVUprob q = nullptr;
  KRVUcreateprob(&q);
  KRVUcopyprob(q, src, nullptr);
  KRVUcopycontrols(q, src);
  auto t = Clock::now();
  if (mip) KRVUmipoptimize(q, "");
  else KRVUlpoptimize(q, "");
  const double s = since(t);
  KRVUdestroyprob(q);
  return s;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void collect(KRVUprob, void *data, const char *msg, int, int) {
  static_cast<std::string *>(data)->append(msg).append("; ");
}

int iis(const char *file, int maxsets) {
  KRVUprob p = load(file);
  const double lp = cold_solve(p, false);
  int status = -1;
  auto t = Clock::now();
  if (KRVUiisfirst(p, 1, &status) || status != 0) {
    std::fprintf(stderr, "iisfirst failed (status %d)\n", status);
    return 1;
  }
  const double first = since(t);
  int solves = 0, n = 0;
  KRVUgetintattrib(p, 1301, &solves);
  int rs[2], cs[2];
  KRVUiisstatus(p, &n, rs, cs, nullptr, nullptr);
  // Iterations are counted by the engine per solve; the analysis keeps them
  // as work, readable through the log's summary only, so count solves here.
  std::printf("lp %.4f | first %.4f %d %d %d %d %d", lp, first, solves, rs[0], cs[0], rs[1], cs[1]);
  KRVUsetintcontrol(p, 8301, maxsets);
  KRVUsetdblcontrol(p, 7301, 60);
  t = Clock::now();
  KRVUiisall(p);
  const double all = since(t);
  KRVUgetintattrib(p, 1301, &solves);
  KRVUiisstatus(p, &n, nullptr, nullptr, nullptr, nullptr);
  std::printf(" | all %.4f %d %d\n", all + first, solves, n);
  KRVUdestroyprob(p);
  return 0;
}

int tune(const char *file, bool mip, double budget, int repeats) {
  KRVUprob p = load(file);
  KRVUprob defaults = load(file);
  KRVUsetdblcontrol(p, 7310, budget);
  auto t = Clock::now();
  if (KRVUtune(p, mip ? "g" : "l")) {
    char err[512];
    KRVUgetlasterror(p, err);
    std::fprintf(stderr, "tune failed: %s\n", err);
    return 1;
  }
  const double took = since(t);
  // Default and tuned solves alternate, so that a change of the machine's
  // load falls on both.
  std::vector<double> d, b;
  for (int k = 0; k < repeats; ++k) {
    d.push_back(cold_solve(defaults, mip));
    b.push_back(cold_solve(p, mip));
  }
  // The controls the tuner left changed (tunermaxtime aside).
  std::string changed;
  KRVUaddcbmessage(p, collect, &changed, 0);
  KRVUsetintcontrol(p, KRVU_CTRL_OUTPUTLOG, 1);
  KRVUdumpcontrols(p);
  std::printf("default %.4f %.4f | tune %.4f | tuned %.4f %.4f | %s\n", median(d),
              *std::min_element(d.begin(), d.end()), took, median(b),
              *std::min_element(b.begin(), b.end()), changed.c_str());
  KRVUdestroyprob(defaults);
  KRVUdestroyprob(p);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (KRVUinit(nullptr)) return 1;
  if (argc == 4 && std::strcmp(argv[1], "iis") == 0) return iis(argv[2], std::atoi(argv[3]));
  if (argc == 6 && std::strcmp(argv[1], "tune") == 0)
    return tune(argv[2], std::strcmp(argv[3], "mip") == 0, std::atof(argv[4]), std::atoi(argv[5]));
  std::fprintf(stderr, "usage: analysis iis <model> <maxsets> | tune <model> <lp|mip> <budget> <repeats>\n");
  return 2;
}
