// The engine session of a problem and the results of its last solve.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lp/engine.h"

struct krvu_prob_s;

namespace krvu {

class HighsSession;

// What a model change touched; the engine copy is updated in place for the
// first three kinds and passed again for any other.
enum Change : int {
  kChangeBounds = 1,
  kChangeObj = 2,
  kChangeRhs = 4,
  kChangeStructure = 8,
};

struct AnalysisState;  // infeasibility analysis, repair and tuner: analysis/state.h

struct SolverState {
  std::unique_ptr<HighsSession> hs;
  // The engine holds our model (in the given mode) and can take changes in place.
  bool synced = false;
  int mode = 0;  // 1 relaxation, 2 integer
  bool warm_basis = false;  // the engine's basis may start the next solve

  bool has_lpsol = false;   // x, slack, dual, dj of the last LP solve
  std::vector<double> x, slack, dual, dj;
  bool has_basis = false;
  std::vector<int> rstat, cstat;  // our basis codes
  bool has_mipsol = false;
  std::vector<double> mipx;
  bool has_pray = false, has_dray = false;
  std::vector<double> pray, dray;
  int unbvec = -1;
  // A starting point given by the user for the next solve (full, or partial
  // entries with their columns).
  std::vector<double> start_x;
  std::vector<int> start_cols;
  std::string start_name;  // as given to KRVUaddmipsol
  // A point that starts the next LP solve when there is no basis (one entry
  // per column; used once).
  std::vector<double> lp_start;

  // Scaling set by KRVUscale (kept aligned by row and column additions and
  // deletions) and whether the engine's copy is scaled by it.
  EngineScaling scaling;
  bool engine_scaled = false;
  // Results of the infeasibility analysis and repair, created on first use.
  std::unique_ptr<AnalysisState> analysis;

  std::atomic<bool> interrupt{false};
  std::atomic<int> interrupt_reason{0};
  int mipsols = 0;
  // Called on an engine thread for each improving MIP solution.
  void (*on_incumbent)(krvu_prob_s *, const struct HighsCallbackDataOut *) = nullptr;

  SolverState();
  ~SolverState();
};

// Records a model change: drops the solution, resets the statuses, and keeps
// or drops the engine's copy.  Call before changing the store.
void touch(krvu_prob_s *prob, int change);

}  // namespace krvu
