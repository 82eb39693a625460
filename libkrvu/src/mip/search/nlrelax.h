// The node solver of mixed-integer nonlinear problems: the nonlinear solver
// on a working copy of the problem whose integer columns are continuous and
// whose sets are dropped; each node's bounds are set on the copy and solved.
#pragma once
#include <atomic>
#include <map>
#include <cmath>
#include <string>
#include <vector>

#include "kslp.h"
#include "mip/search/search.h"

namespace krvu {

class NlpRelaxation : public NodeRelaxation {
 public:
  // Copies the nonlinear problem user (model, formulas, controls); throws
  // Error naming func.  interrupt stops node solves from outside; flags go to
  // each node's KSLPnlpoptimize.
  NlpRelaxation(KSLPprob user, const std::atomic<bool> &interrupt, std::string flags, const char *func);
  ~NlpRelaxation() override;
  NlpRelaxation(const NlpRelaxation &) = delete;
  NlpRelaxation &operator=(const NlpRelaxation &) = delete;

  // A node's relaxation, with the nonlinear problem's node callbacks
  // (slpnode and prenode before, optnode after).
  Outcome solve(const std::vector<double> &lo, const std::vector<double> &up) override;
  // The same without the node callbacks (a user's start, the solve after
  // the search).
  Outcome solve_quietly(const std::vector<double> &lo, const std::vector<double> &up);
  Outcome solve_point(const std::vector<double> &lo, const std::vector<double> &up) override {
    return solve_quietly(lo, up);
  }
  // Fires the nonlinear problem's intsol callback.
  void incumbent(const std::vector<double> &x, double obj) override;
  // Starts the node's solve from its parent's solution.
  void at_node(int64_t id, int64_t parent) override;
  double objective() const override { return obj_; }
  const std::vector<double> &x() const override { return x_; }
  const std::vector<double> &row_activity() const override { return act_; }
  const std::vector<double> &row_dual() const override { return dual_; }
  const std::vector<double> &col_dual() const override { return dj_; }

  // Why a node solve stopped the search (a user function failed), or "".
  const std::string &failure() const { return failure_; }
  int64_t solves() const { return solves_; }
  // Adds the evaluations of the node solves to the user's counts.
  void count_evaluations() const;
  // The solution and its slacks, as KSLPgetslpsol gives them, of the last
  // optimal solve.
  const std::vector<double> &slack() const { return slack_; }
  double max_violation() const { return maxviol_; }

 private:
  Outcome run(const std::vector<double> &lo, const std::vector<double> &up);
  Outcome stop();

  KSLPprob user_;
  std::string flags_;
  KRVUprob prob_ = nullptr;
  KSLPprob slp_ = nullptr;
  bool stop_ = false;  // a callback asked the search to stop
  const std::atomic<bool> &interrupt_;
  int n_ = 0, m_ = 0;
  double sense_ = 1;
  std::vector<double> rhs_, held_lo_, held_up_;
  std::vector<double> x_, act_, dual_, dj_, slack_;
  double obj_ = 0, maxviol_ = 0;
  std::string failure_;
  int64_t solves_ = 0;
  // Solutions of solved nodes by id, for their children's starts; the
  // oldest go first beyond a budget of values.
  std::map<int64_t, std::vector<double>> starts_;
  int64_t node_ = -1, last_solved_ = -2;
};

// Runs the library's search on work (the problem's model with the rows the
// relaxation alone holds left free) for the problem prob, with relax solving
// the nodes: the problem's MIP callbacks fire and its MIP attributes and
// integer solution are set as by KRVUmipoptimize (mip/mipsolve.cpp).
SearchResult run_problem_search(KRVUprob prob, const ModelData &work, NodeRelaxation &relax,
                                const char *func);

}  // namespace krvu
