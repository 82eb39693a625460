// The nonlinear solver driven through libkrvu's C API (built and fed by
// nonlinear.py against a build folder's libkrvu.a).
//
//   nonlinear solve [log level]   problems on stdin, one result line each:
//                                 "<name> <status> <objective> <iterations> <seconds> <violation>"
//   nonlinear speed               figures of the formula tapes: evaluation rate and the
//                                 cost of a gradient against one evaluation
//
// A problem on stdin reads
//   problem <name> <columns>
//   x0 <values> / lb <values> / ub <values>   (inf, -inf allowed)
//   obj <formula>
//   row <E|G|L> <rhs> <formula>               (any number)
//   end
// with the columns named x1 .. xn in the formulas.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "krvu.h"
#include "kslp.h"
#include "slp/tape.h"

namespace {

struct Row {
  char type;
  double rhs;
  std::string formula;
};

struct Model {
  std::string name;
  int n = 0;
  std::vector<double> x0, lb, ub;
  std::string objective;
  std::vector<Row> rows;
};

double number(const std::string &s) {
  if (s == "inf") return KRVU_INFINITY;
  if (s == "-inf") return -KRVU_INFINITY;
  return std::strtod(s.c_str(), nullptr);
}

std::vector<double> numbers(std::istringstream &in) {
  std::vector<double> v;
  std::string s;
  while (in >> s) v.push_back(number(s));
  return v;
}

bool read_model(std::istream &in, Model *m) {
  std::string line;
  *m = Model();
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string key;
    ls >> key;
    if (key == "problem") {
      ls >> m->name >> m->n;
    } else if (key == "x0") {
      m->x0 = numbers(ls);
    } else if (key == "lb") {
      m->lb = numbers(ls);
    } else if (key == "ub") {
      m->ub = numbers(ls);
    } else if (key == "obj") {
      std::getline(ls >> std::ws, m->objective);
    } else if (key == "row") {
      Row r;
      std::string rhs;
      ls >> r.type >> rhs;
      r.rhs = number(rhs);
      std::getline(ls >> std::ws, r.formula);
      m->rows.push_back(r);
    } else if (key == "end") {
      return true;
    }
  }
  return false;
}

void on_message(KSLPprob, void *, const char *msg, int, int) { std::fprintf(stderr, "%s\n", msg); }

// Builds the model as the modelling layer does (the objective carried by a
// transfer row and column), solves it and prints one line.
int solve(const Model &md, int log, int algorithm, int hessian) {
  const int n = md.n, m = static_cast<int>(md.rows.size());
  std::vector<char> types;
  std::vector<double> rhs;
  for (const Row &r : md.rows) {
    types.push_back(r.type);
    rhs.push_back(r.rhs);
  }
  types.push_back('E');
  rhs.push_back(0.0);
  std::vector<double> obj(n + 1, 0.0), lb = md.lb, ub = md.ub;
  obj[n] = 1.0;
  lb.resize(n, -KRVU_INFINITY);
  ub.resize(n, KRVU_INFINITY);
  lb.push_back(-KRVU_INFINITY);
  ub.push_back(KRVU_INFINITY);
  std::vector<int> start(n + 2, 0), rowind = {m};
  std::vector<double> val = {-1.0};
  start[n + 1] = 1;
  KRVUprob prob = nullptr;
  KSLPprob slp = nullptr;
  char err[512] = "";
  int code = 0;
  if (KRVUcreateprob(&prob) ||
      KRVUloadlp(prob, md.name.c_str(), n + 1, m + 1, types.data(), rhs.data(), nullptr,
                 obj.data(), start.data(), nullptr, rowind.data(), val.data(), lb.data(),
                 ub.data()))
    return 1;
  std::string names;
  for (int j = 1; j <= n; ++j) names += "x" + std::to_string(j) + '\0';
  KRVUaddnames(prob, 2, names.data(), 0, n - 1);
  KSLPcreateprob(&slp, &prob);
  KSLPsetintcontrol(slp, KSLP_CTRL_LOG, log);
  if (algorithm >= 0) KSLPsetintcontrol(slp, KSLP_CTRL_ALGORITHM, algorithm);
  if (hessian >= 0) KSLPsetintcontrol(slp, KSLP_CTRL_HESSIAN, hessian);
  KSLPsetdblcontrol(slp, KSLP_CTRL_TIMELIMIT, 60.0);
  if (log > 0) KSLPsetcbmessage(slp, on_message, nullptr);
  bool ok = true;
  for (int i = 0; i < m && ok; ++i)
    ok = KSLPchgccoef(slp, i, -1, nullptr, md.rows[i].formula.c_str()) == 0;
  if (ok) ok = KSLPchgccoef(slp, m, -1, nullptr, md.objective.c_str()) == 0;
  int status = 0x800, row = m;
  if (ok) ok = KSLPchgrowstatus(slp, m, &status) == 0;
  if (ok)
    ok = KSLPchgvar(slp, n, &row, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr) == 0;
  for (int j = 0; j < n && ok && j < static_cast<int>(md.x0.size()); ++j)
    ok = KSLPchgvar(slp, j, nullptr, nullptr, nullptr, nullptr, nullptr, &md.x0[j], nullptr,
                    nullptr, nullptr, nullptr, nullptr) == 0;
  if (!ok) {
    KSLPgetlasterror(slp, &code, err);
    std::printf("%s error 0 0 0 0 # %s\n", md.name.c_str(), err);
    std::fflush(stdout);
    KSLPdestroyprob(slp);
    KRVUdestroyprob(prob);
    return 0;
  }
  auto t0 = std::chrono::steady_clock::now();
  int rc = KSLPnlpoptimize(slp, "");
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  int nlpstatus = -1, iters = 0;
  double objval = NAN, viol = NAN;
  KSLPgetintattrib(slp, KSLP_ATTR_NLPSTATUS, &nlpstatus);
  KSLPgetintattrib(slp, KSLP_ATTR_ITERATIONS, &iters);
  KSLPgetdblattrib(slp, KSLP_ATTR_OBJVAL, &objval);
  KSLPgetdblattrib(slp, KSLP_ATTR_VALIDATION, &viol);
  if (rc) KSLPgetlasterror(slp, &code, err);
  std::printf("%s %d %.12g %d %.6f %.3g%s%s\n", md.name.c_str(), rc ? -1 : nlpstatus, objval,
              iters, secs, viol, rc ? " # " : "", rc ? err : "");
  std::fflush(stdout);
  KSLPdestroyprob(slp);
  KRVUdestroyprob(prob);
  return 0;
}

// A formula of about the given number of tokens over 100 columns: a sum of
// terms c * x_i * x_j + sin(x_k) / (1 + x_l^2).
void speed() {
  using namespace krvu::slp;
  const int ncols = 100;
  std::vector<int> type;
  std::vector<double> value;
  auto push = [&](int t, double v) {
    type.push_back(t);
    value.push_back(v);
  };
  int terms = 0;
  while (type.size() < 100000) {
    int i = terms % ncols, j = (terms * 7 + 3) % ncols, k = (terms * 13 + 5) % ncols;
    push(kTokConst, 0.5 + terms % 5);
    push(kTokColumn, i);
    push(kTokOperator, kOpMul);
    push(kTokColumn, j);
    push(kTokOperator, kOpMul);
    push(kTokColumn, k);
    push(kTokFunction, kFnSin);
    push(kTokConst, 1.0);
    push(kTokColumn, (i + k) % ncols);
    push(kTokConst, 2.0);
    push(kTokOperator, kOpPow);
    push(kTokOperator, kOpAdd);
    push(kTokOperator, kOpDiv);
    push(kTokOperator, kOpAdd);
    if (terms > 0) push(kTokOperator, kOpAdd);
    ++terms;
  }
  push(kTokEnd, 0);
  Tape tape;
  std::string err;
  if (!Tape::compile(type.data(), value.data(), type.size(), ncols, [](int) { return false; },
                     &tape, &err)) {
    std::fprintf(stderr, "compile failed: %s\n", err.c_str());
    return;
  }
  std::vector<double> x(ncols), grad(ncols, 0.0), work, adj;
  for (int j = 0; j < ncols; ++j) x[j] = 0.1 + 0.01 * j;
  bool ok = true;
  double sink = 0;
  // The thread's own processor time: the ratio holds on a busy machine too.
  auto cpu_now = [] {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + 1e-9 * ts.tv_nsec;
  };
  auto batch = [&](auto &&f) {
    int reps = 0;
    double t0 = cpu_now(), secs = 0;
    do {
      f();
      ++reps;
      secs = cpu_now() - t0;
    } while (secs < 0.1);
    return secs / reps;
  };
  // Batches of the two taken in turn, the fastest of each kept: what other
  // work on the machine adds falls on single batches.
  double te = INFINITY, tg = INFINITY;
  for (int round = 0; round < 7; ++round) {
    te = std::min(te, batch([&] { sink += tape.eval(x.data(), work, nullptr, &ok); }));
    tg = std::min(tg, batch([&] { sink += tape.gradient(x.data(), 1.0, grad.data(), work, adj, nullptr, &ok); }));
  }
  std::printf("tokens %zu\n", type.size());
  std::printf("eval_seconds %.6g\n", te);
  std::printf("tokens_per_second %.4g\n", type.size() / te);
  std::printf("gradient_seconds %.6g\n", tg);
  std::printf("gradient_over_eval %.3f\n", tg / te);
  if (sink == 42.0) std::printf("\n");  // keeps the loops
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: nonlinear solve [log [algorithm [hessian]]] | nonlinear speed\n");
    return 2;
  }
  std::string mode = argv[1];
  if (mode == "speed") {
    speed();
    return 0;
  }
  int log = argc > 2 ? std::atoi(argv[2]) : 0;
  int algorithm = argc > 3 ? std::atoi(argv[3]) : -1;  // the local solver (kslp_algorithm)
  int hessian = argc > 4 ? std::atoi(argv[4]) : -1;    // the second-order step (kslp_hessian)
  if (KRVUinit(nullptr) || KSLPinit()) return 1;
  Model md;
  while (read_model(std::cin, &md))
    if (solve(md, log, algorithm, hessian)) return 1;
  KSLPfree();
  KRVUfree();
  return 0;
}
