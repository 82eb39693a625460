// The search's state and its parts (driver.cpp: the tree and the node loop;
// branching.cpp: candidates, pseudo-costs and strong branching;
// propagate.cpp: bound propagation; heuristics.cpp: rounding, diving and
// starts).
#pragma once
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "lp/lp_worker.h"
#include "mip/search/cutpool.h"
#include "mip/search/nodemembers.h"
#include "mip/search/search.h"

namespace krvu {
namespace search {

// Column kinds as the search sees them.
enum Kind : char {
  kCont = 'C',
  kInt = 'I',
  kSemi = 'S',      // 0 or in [thr, ub]
  kSemiInt = 'R',   // 0 or an integer in [thr, ub]
  kPartial = 'P',   // an integer below thr, anything in [thr, ub]
};

struct Sos {
  char type;  // '1' or '2'
  std::vector<int> cols;  // by increasing reference weight
  std::vector<double> w;
};

struct Change {
  int col;
  double lo, up;
};

// What made a node: the branching step from its parent, for pseudo-costs.
struct BranchInfo {
  int col = -1;  // -1: not a branching on one integer column
  int dir = 0;   // 0 down, 1 up
  double dist = 0;
};

struct Node {
  std::vector<Change> changes;  // bound changes from the root, in order
  std::shared_ptr<const LpBasis> basis;  // the parent's final basis
  std::vector<int64_t> load;  // pool cuts its relaxation takes on (a user's branching)
  double bound = -INFINITY;  // the parent's relaxation value
  double estimate = -INFINITY;
  int depth = 0;
  int64_t id = 0, parent = -1;
  BranchInfo info;
};

class Searcher {
 public:
  Searcher(const ModelData &w, const SearchControls &ctl, SearchHooks &hooks,
           const std::atomic<bool> &interrupt);
  ~Searcher();
  SearchResult run(const SearchStart &start);

  // ---- the node members of the API, from inside a callback (nodemembers.cpp) ----
  CutPool &pool() { return pool_; }
  int model_rows() const { return m_; }
  int model_cols() const { return n_; }
  double sense() const { return sense_; }
  // The cut of each relaxation row past the model's.
  const std::vector<int64_t> &node_cuts() const { return lp_cuts_; }
  // Puts pool cuts into the node's relaxation (those in it stay).  The node
  // is solved again, and its optnode callbacks called again, when the
  // callback that changed its relaxation returns.
  void load_cuts(const std::vector<int64_t> &ids);
  // Takes cuts out of the node's relaxation (they stay in the pool); with
  // keep_basis only those whose rows are basic.  Returns how many left.
  int unload_cuts(const std::vector<int64_t> &ids, bool keep_basis);
  // The user's branching of the node an optnode callback is called for: one
  // child per branch, with its bounds and pool cuts its relaxation takes on.
  bool in_optnode() const { return in_optnode_; }
  void add_branch(const StoredBounds &b);
  bool add_branch_cuts(const std::vector<int64_t> &ids);  // false without a branch
  // Strong branching: each bound change (type 'L', 'U' or 'B', tightening
  // the node's bounds only) is tried on the node's relaxation alone, with at
  // most itrlimit dual simplex iterations.  obj gets the objective (the
  // model's sense; infinite for an infeasible one), status a KRVU_LP_*
  // status.  each(k, solved, lo, up), when given, is called after probe k
  // was solved, with the bounds of the probe; non-zero skips the rest
  // (status KRVU_LP_UNSTARTED).  The node's relaxation is left as it was.
  typedef int (*ProbeFn)(void *data, int k, bool solved, const std::vector<double> &lo,
                         const std::vector<double> &up);
  void probe(int n, const int *cols, const char *type, const double *val, int itrlimit, double *obj,
             int *status, ProbeFn each, void *data);
  // The same on the root relaxation, for a searcher that is not running.
  void probe_root(int n, const int *cols, const char *type, const double *val, int itrlimit,
                  double *obj, int *status, ProbeFn each, void *data);
  const LpWorker &lp() const { return *lp_; }

 private:
  // ---- model (driver.cpp) ----
  void build(const ModelData &w);
  bool indicator_active(int r) const;
  bool indicator_violated(int r, const std::vector<double> &x) const;  // branching.cpp

  // ---- node processing (driver.cpp) ----
  enum class NodeEnd { kPruned, kInfeasible, kFeasible, kBranched, kStopped };
  NodeEnd process(Node &nd, std::vector<Node> &kids);
  void start_engine();
  // Where a relaxation's outcome ends the node; false when it was solved.
  bool ends_node(const Node &nd, LpOutcome o, NodeEnd &end);
  bool load_bounds(const Node &nd);
  void push_bounds();
  LpOutcome solve_lp(const Node *nd, int iterlimit = -1);
  bool time_up();
  double cutoff_value() const;
  bool cut_off(double bound) const;
  double effective(double bound) const;
  void log_progress(bool force);
  void accept(const std::vector<double> &x, double obj, const char *source);
  double objective_of(const std::vector<double> &x) const;

  // ---- callback points (steer.cpp) ----
  NodeView view(const Node &nd, bool solved);
  // Children of nd, one per branch of bound changes.
  void make_children(const Node &nd, double obj, const Branches &branches, std::vector<Node> &kids,
                     const BranchCuts *cuts = nullptr);
  // Offers the branching in kids to the caller; true when it replaced it.
  bool steer_branching(const Node &nd, double obj, std::vector<Node> &kids);
  void report_gap();

  // ---- nodes solved by the caller's node solver (relaxed.cpp) ----
  NodeEnd process_relaxed(Node &nd, std::vector<Node> &kids);
  void relaxed_view(NodeView &v) const;
  // The children of a solved node that its solution does not satisfy
  // (driver.cpp).
  NodeEnd branch_node(Node &nd, const std::vector<double> &x, double obj, const Branches &stored,
                      std::vector<Node> &kids, const BranchCuts *stored_cuts = nullptr);

  // ---- branching (branching.cpp) ----
  // Finds what the relaxation's solution x violates; false when nothing
  // (x is feasible).  Fills kids with the children.
  bool violated(const std::vector<double> &x) const;
  bool branch(const Node &nd, const std::vector<double> &x, double obj,
              std::vector<Node> &kids, bool &prune);
  bool branch_integer(const Node &nd, const std::vector<double> &x, double obj,
                      std::vector<Node> &kids, bool &prune);
  bool branch_entity(const Node &nd, const std::vector<double> &x, double obj,
                     std::vector<Node> &kids);
  double pscost(int j, int dir) const;
  void observe(const BranchInfo &info, double gain);
  Node child(const Node &nd, double obj) const;

  // ---- propagation (propagate.cpp) ----
  bool propagate(std::vector<int> &rows);
  bool propagate_all();

  // ---- heuristics (heuristics.cpp) ----
  void simple_rounding(const std::vector<double> &x);
  void dive(double obj);
  bool fix_and_solve(const std::vector<double> &vals, const std::vector<int> &cols,
                     const char *source = "the starting point");
  bool check_point(const std::vector<double> &x) const;
  void try_start(const SearchStart &start);

  // ---- cuts (cuts.cpp: rounds, the relaxation's cut rows and the pool;
  // separate.cpp: the separators) ----
  LpOutcome cut_loop(const Node &nd, LpOutcome o);
  LpOutcome root_rounds();
  LpOutcome pool_rounds();
  void age_cuts();
  void add_cuts(std::vector<Cut> &cuts);
  bool set_node_basis(const LpBasis &b);
  void lp_row(int k, const int *&ind, const double *&val, int &len) const;
  void separate(const std::vector<double> &x, std::vector<Cut> &out);
  void gomory(const std::vector<double> &xv, std::vector<Cut> &out);
  void row_mir(const std::vector<double> &xv, std::vector<Cut> &out);
  void covers(const std::vector<double> &x, std::vector<Cut> &out);
  bool mir_cut(std::vector<double> &c, double rhs, const std::vector<double> &xv, Cut &out) const;
  bool finish_cut(std::vector<long double> &pi, long double pi0, const std::vector<double> &x,
                  Cut &out) const;
  void var_bounds(int v, double &lo, double &up, bool &integral) const;
  // User cuts of the pool that x breaks enter the relaxation until it keeps
  // them all (nodemembers.cpp).
  LpOutcome enforce_user_cuts(LpOutcome o, bool *added);
  // Lazy rows and user cuts, until the relaxation's solution keeps both.
  LpOutcome held_rows(LpOutcome o);
  bool breaks_user_cut(const std::vector<double> &x, double scale) const;

  // ---- directives and lazy rows (lazy.cpp) ----
  void build_directives(const ModelData &w);
  // Rows the relaxation holds free: indicator rows not enforced, model cuts
  // and delayed rows not added yet.
  bool held_out(int k) const { return !rowon_[k] && (indcol_[k] >= 0 || lazy_[k] != 0); }
  // Adds the lazy rows of the kind (1 model cuts, 2 delayed rows) that x
  // violates to the relaxation; their number.
  int add_violated(const std::vector<double> &x, int kind);
  // Re-solves the node's relaxation until its solution satisfies the model
  // cuts and, once integer feasible, the delayed rows.
  LpOutcome lazy_rows(LpOutcome o);
  // The least priority among the columns x violates (kDefaultPriority
  // without directives), which the branching keeps to.
  int top_priority(const std::vector<double> &x) const;
  bool at_priority(int j) const { return !has_prio_ || prio_[j] == branch_pri_; }

  // model
  SearchControls ctl_;
  SearchHooks &hooks_;
  const std::atomic<bool> &interrupt_;
  int n_ = 0, m_ = 0;
  double sense_ = 1, offset_ = 0;
  std::vector<char> kind_;
  std::vector<double> thr_;
  std::vector<double> cost_;
  LpModel lpm_;
  RowMatrix rows_;            // row-wise matrix of the model rows
  std::vector<double> rlo_, rup_;
  std::vector<int> indcol_, indcomp_, indrows_;
  std::vector<Sos> sets_;
  std::vector<int> ncols_int_;  // the integer-kind columns
  std::vector<int> uplocks_, downlocks_;
  bool obj_integral_ = false;
  std::vector<char> row_int_;  // model rows whose activity is integral on integer points
  bool quadratic_ = false;
  // directives: priority and preferred direction per column
  bool has_prio_ = false;
  std::vector<int> prio_;
  std::vector<char> pdir_;
  int branch_pri_ = 0;
  // lazy rows: 0 an ordinary row, 1 a model cut, 2 a delayed row
  std::vector<char> lazy_;
  std::vector<int> lazyrows_;

  // state
  std::unique_ptr<LpWorker> lp_;
  std::vector<double> root_lo_, root_up_;  // after root propagation
  std::vector<double> lo_, up_;            // the node being processed
  std::vector<double> lplo_, lpup_;        // what the relaxation holds
  std::vector<char> rowon_;                // indicator rows the relaxation enforces
  int64_t lp_holds_ = -2;  // node whose final basis the engine holds
  int64_t next_id_ = 0;

  // cuts
  CutPool own_pool_;
  CutPool &pool_;
  std::vector<int64_t> lp_cuts_;  // the cut of each relaxation row past the model's
  bool root_cuts_done_ = false;

  // what the node members did inside the callback under way
  bool in_optnode_ = false;
  bool dirty_ = false;  // the node's relaxation changed
  Branches user_branches_;
  std::vector<std::vector<int64_t>> user_branch_cuts_;

  // incumbent, in the minimization form
  bool has_inc_ = false;
  double inc_obj_ = INFINITY;
  std::vector<double> inc_x_;
  double user_cutoff_ = INFINITY;

  // pseudo-costs per column and direction
  std::vector<double> pc_sum_[2];
  std::vector<int> pc_cnt_[2];
  double pc_all_sum_[2] = {0, 0};
  int64_t pc_all_cnt_[2] = {0, 0};
  int64_t sb_iters_ = 0;

  // tree
  std::map<int64_t, Node> open_;
  std::set<std::pair<double, int64_t>> by_bound_, by_estimate_;

  // counters
  SearchResult res_;
  std::chrono::steady_clock::time_point t0_, last_log_;
  int64_t nodes_ = 0;
  int stop_ = 0;
  int64_t dropped_ = 0;  // nodes given up on (their relaxation failed)
};

}  // namespace search
}  // namespace krvu
