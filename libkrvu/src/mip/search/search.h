// The library's own branch-and-bound search.
//
// It runs on a working copy of a problem (built by the caller) and never on
// the user's problem: the caller writes the result back once the search has
// ended, and hears of each new incumbent through the hooks.
//
// Integer, semi-continuous, semi-integer and partially integer columns,
// special ordered sets of type 1 and 2 and indicator rows are branched on
// natively (no big-M for any of them); the node relaxations are LPs (QPs when
// the objective is quadratic) on one persistent engine instance per node
// worker, warm-started from the parent's basis through bound changes only.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "model/store.h"

namespace krvu {

namespace search {
class CutPool;
class Searcher;
}  // namespace search

struct SearchControls {
  double feastol = 1e-6;
  double miptol = 1e-6;
  double relgap = 1e-4;
  double absgap = 1e-6;
  double cutoff = INFINITY;  // in the model's own sense; infinite for none
  double timelimit = INFINITY;
  int64_t nodelimit = INT64_MAX;
  int64_t sollimit = INT64_MAX;
  int reliable = 8;       // observations before a pseudo-cost is trusted
  int sb_iterlimit = 100;  // dual simplex iterations of one strong-branching probe
  int sb_candidates = 8;  // columns probed by strong branching at one node
  double heur_effort = 0.05;
  // The neighbourhood search (a sub-search around the incumbent) may run:
  // off inside such a sub-search.
  bool neighbourhood = true;
  int loglevel = 1;
  // Threads the engine's instance is given: the engine's pool is shared by
  // the process, and an instance must ask for the size it already has.
  int engine_threads = 1;
  // Node workers: each takes open nodes off the shared tree with an engine
  // instance of its own (the root is solved by the first alone).  One only
  // with a node solver below, which is a single instance.
  int workers = 1;
  // The node solver when it is not the LP engine (not owned; below).
  class NodeRelaxation *relaxation = nullptr;
  // Cuts: rounds of separation at the root (0: none), and the number of node
  // relaxations in a row a cut may stay slack before it leaves the relaxation
  // for the pool.
  int cut_rounds = 20;
  int cut_age = 10;
  // For checking the separators: a feasible point every cut must keep
  // (working copy's numbering); cuts it violates are counted.
  const std::vector<double> *check_cuts_at = nullptr;
  // The pool to keep cuts in: the problem's, which holds the user's cuts
  // (null: one of the search's own).  The search's own cuts leave it when
  // the search ends.
  search::CutPool *pool = nullptr;
};

// A starting point: values of the given columns (all columns when cols is
// empty), in the working copy's numbering.
struct SearchStart {
  std::vector<double> x;
  std::vector<int> cols;
};

// The node a callback point is reached at.  Vectors are the working copy's;
// bounds use +-INFINITY; obj is in the minimization form.
struct NodeView {
  int64_t id = 0, parent = -1;
  int depth = 0;
  double obj = 0;
  const std::vector<double> *x = nullptr, *ract = nullptr, *rdual = nullptr, *cdual = nullptr;
  const std::vector<double> *lo = nullptr, *up = nullptr;
  // The search itself, for the node members of the API (mip/search/nodemembers.h).
  search::Searcher *search = nullptr;
};

// One bound change of a branch: type 'L', 'U' or 'B' (both).
struct BoundChange {
  int col;
  char type;
  double val;
};
using Branches = std::vector<std::vector<BoundChange>>;
// Pool cuts (ids) the relaxation of each branch's child takes on.
using BranchCuts = std::vector<std::vector<int64_t>>;

// What the search tells its caller while it runs, and the points where the
// caller may steer it (each default does nothing).
class SearchHooks {
 public:
  virtual ~SearchHooks() = default;
  // A new incumbent (objective in the model's own sense).
  virtual void incumbent(const std::vector<double> &x, double obj) {}
  virtual void log_line(const std::string &line) {}
  // True when any steering point below does something (the search skips
  // building what they need otherwise).
  virtual bool active() const { return false; }
  // Before a node's relaxation is solved: true declares it infeasible.
  virtual bool prenode(const NodeView &) { return false; }
  // After it was solved to optimality and was not cut off: true declares it
  // infeasible; a branching object stored there replaces the branching
  // (with cuts per branch in *cuts, or none).
  virtual bool optnode(const NodeView &, Branches *stored, BranchCuts *cuts) { return false; }
  virtual void infnode(const NodeView &) {}
  virtual void nodecutoff(int64_t id) {}
  // A candidate solution (soltype 0 relaxation, 1 heuristic); true rejects
  // it; cutoff (model's sense) may be tightened.
  virtual bool preintsol(const NodeView *, int soltype, const std::vector<double> &x,
                         double &cutoff) { return false; }
  virtual void newnode(int64_t parent, int64_t id, int branch) {}
  // The search's branching at a node: true when replaced (with cuts per
  // branch in *cuts, or none).
  virtual bool chgbranch(const NodeView &, Branches &branches, BranchCuts *cuts) { return false; }
  // Gaps as they stand (model's sense for obj and bound); called after the
  // root and at each new incumbent.
  virtual void gap(double relgap, double absgap, double obj, double bound) {}
  // Log points (progress lines; the root's end): true stops the search.
  virtual bool globallog() { return false; }
  virtual bool cutlog() { return false; }
  // A time check at each node: true stops the search.
  virtual bool checktime() { return false; }
  // The user's start was tried: 0 accepted, 1 infeasible, 2 not better.
  virtual void start_tried(int status) {}
  // A node worker starts and ends, on its own thread (the first worker on
  // the caller's).
  virtual void worker_start() {}
  virtual void worker_end() {}
};

struct SearchResult {
  int status = 0;  // KRVU_MIP_*
  int stop = 0;    // KRVU_STOP_* (0: the search ended by itself)
  bool has_sol = false;
  std::vector<double> x;
  double obj = 0;    // the model's own sense
  double bound = 0;  // best bound, the model's own sense
  double gap = INFINITY;
  int64_t nodes = 0;
  int64_t active = 0;  // open nodes left
  int sols = 0;
  int max_depth = 0;
  int64_t lp_iterations = 0;
  double seconds = 0;
  int64_t cuts = 0;          // cuts put into the relaxation
  int64_t cuts_invalid = 0;  // of the cuts found, those check_cuts_at violates
  double root_bound = 0;     // root relaxation after the cuts, the model's own sense
};

// A node solver in place of the search's LP engine: the nonlinear solver
// of a mixed-integer nonlinear problem (mip/search/nlrelax.h).  It holds
// every row of the problem; rows the search's working copy leaves free are
// its alone.  With one, the search neither separates cuts nor runs its LP
// heuristics or strong branching.
class NodeRelaxation {
 public:
  enum Outcome { kOptimal, kInfeasible, kUnbounded, kFailed, kStopped };
  virtual ~NodeRelaxation() = default;
  // Solves within column bounds lo, up (+-INFINITY for none).
  virtual Outcome solve(const std::vector<double> &lo, const std::vector<double> &up) = 0;
  // Of the last optimal solve: the objective in the minimisation form and
  // the solution.
  virtual double objective() const = 0;
  virtual const std::vector<double> &x() const = 0;
  virtual const std::vector<double> &row_activity() const = 0;
  virtual const std::vector<double> &row_dual() const = 0;
  virtual const std::vector<double> &col_dual() const = 0;
  // A new incumbent (objective in the model's own sense).
  virtual void incumbent(const std::vector<double> &x, double obj) {}
  // The next solve is of node id, child of parent (-1: the root).
  virtual void at_node(int64_t id, int64_t parent) {}
  // Solves for a point that is not a node (a user's start).
  virtual Outcome solve_point(const std::vector<double> &lo, const std::vector<double> &up) {
    return solve(lo, up);
  }
};

// Hooks may be called from several threads when ctl.workers > 1, but never
// two at a time.
// Fails (krvu::Error) for models the search cannot take: quadratic rows,
// general and piecewise-linear constraints (the caller reformulates those).
SearchResult run_search(const ModelData &work, const SearchControls &ctl,
                        const SearchStart &start, SearchHooks &hooks,
                        const std::atomic<bool> &interrupt);

}  // namespace krvu
