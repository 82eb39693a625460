// The elastic form of a problem that the infeasibility analysis works on:
// every row and every bound that may take part in an infeasible set (a
// member) gets elastic columns that let it be violated.  A member is
//  - elastic: its violation is allowed at a cost of 1 per unit,
//  - hard: not violated,
//  - removed: violated freely (as if the row or bound were not there).
// Bounds become rows of their own ("x >= lb", "x <= ub", "x = v" for a
// fixed column) over free columns, so that rows and bounds are treated alike.
//
// Two engines solve it: the LP engine (one warm-started engine instance; the
// states are bound and cost changes of the elastic columns) and the MIP
// engine (a scratch problem solved with KRVUmipoptimize).
#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "model/store.h"

struct krvu_prob_s;

namespace krvu {

struct Member {
  int row = -1;     // original row, or -1 for a bound
  int col = -1;     // column of a bound
  char kind = 'R';  // 'R' row, 'L' lower bound, 'U' upper bound, 'F' fixed column
  int erow = -1;    // its row in the elastic model
  int eup = -1;     // elastic column relaxing its upper limit (-1: none)
  int elo = -1;     // elastic column relaxing its lower limit (-1: none)
};

enum MemberState : char { kElastic = 0, kHard = 1, kRemoved = 2 };

// Outcome of a solve of the elastic model in its current states.
enum ElasticOutcome : int {
  kFeasible = 0,    // no member needs to be violated
  kViolated = 1,    // the elastic members must be violated (by violation())
  kInfeasible = 2,  // the hard members conflict among themselves
  kStopped = 3,     // a limit or an interrupt stopped the solve
};

class ElasticEngine {
 public:
  virtual ~ElasticEngine() = default;
  // Sets bounds and costs of elastic columns.
  virtual void set_columns(const std::vector<int> &cols, const std::vector<double> &up,
                           const std::vector<double> &cost) = 0;
  // Solves within seconds; for kViolated and kFeasible the column values
  // are then available.
  virtual ElasticOutcome solve(double seconds) = 0;
  virtual const std::vector<double> &values() = 0;
  virtual double objective() = 0;
  // Row duals of the last optimal solve (LP engine only; false otherwise).
  virtual bool row_duals(std::vector<double> &y) { return false; }
  // The dual ray of the last infeasible solve (LP engine only).
  virtual bool dual_ray(std::vector<double> &y) { return false; }
  int solves = 0;
  long long iterations = 0;
};

class ElasticSystem {
 public:
  // integer: the sets of the integer problem (else of the LP relaxation).
  ElasticSystem(krvu_prob_s *prob, bool integer, const char *func);
  ~ElasticSystem();

  int members() const { return static_cast<int>(members_.size()); }
  const Member &member(int k) const { return members_[k]; }
  bool integer() const { return integer_; }
  const ModelData &model() const { return em_; }

  // Sets the states of all members (pushing only what changed).
  void set_states(const std::vector<char> &states);
  const std::vector<char> &states() const { return state_; }
  ElasticOutcome solve();
  // Members violated (by more than a tolerance) in the last solution, and
  // the total violation.
  std::vector<int> violated();
  double violation();
  // Multipliers of the members for the last optimal solve of the LP engine
  // (the rows' duals), false when not available.
  bool member_duals(std::vector<double> &y);
  // After an infeasible solve of the LP engine: the members the engine's
  // Farkas ray uses (support[k] = 1), when the ray checks out as a proof
  // that they alone conflict; false when there is no such proof.
  bool ray_support(std::vector<char> &support);
  // Solves the LP relaxation in the given states (the main engine for
  // continuous systems); on an optimal solve *violation gets the least sum
  // of violations and y the members' multipliers (their rows' duals).
  ElasticOutcome solve_relaxation(const std::vector<char> &states, double *violation,
                                  std::vector<double> *y);

  // Time left before the analysis' deadline (seconds).
  double time_left() const;
  bool out_of_time() const { return time_left() <= 0; }
  int solves() const;
  long long iterations() const;

 private:
  krvu_prob_s *prob_;
  bool integer_;
  const char *func_;
  ModelData em_;
  std::vector<Member> members_;
  std::vector<char> state_;
  std::unique_ptr<ElasticEngine> main_, lp_;
  std::vector<double> pushed_up_, pushed_cost_;  // per elastic column, as the main engine has it
  int first_ecol_ = 0;
  std::chrono::steady_clock::time_point deadline_;
  bool has_deadline_ = false;
  double feastol_;
  ElasticEngine &lp();
  void push(ElasticEngine &e, const std::vector<char> &states, std::vector<double> *up_cache,
            std::vector<double> *cost_cache);
};

}  // namespace krvu
