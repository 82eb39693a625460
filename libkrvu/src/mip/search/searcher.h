// The search's state and its parts (driver.cpp: the tree and the node loop;
// branching.cpp: candidates, pseudo-costs and strong branching;
// propagate.cpp: bound propagation; heuristics.cpp: rounding, diving and
// starts).
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
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

// The caller's hooks, one call at a time whichever worker makes it: the
// caller's callbacks set the problem's stage and node context for the
// duration of a call.  lock() is held across a sequence of calls that must
// not interleave with another worker's (a candidate's check and its report).
class SerialHooks : public SearchHooks {
 public:
  explicit SerialHooks(SearchHooks &h) : h_(h) {}
  std::recursive_mutex &lock() { return mu_; }
  void incumbent(const std::vector<double> &x, double obj) override { G g(mu_); h_.incumbent(x, obj); }
  void log_line(const std::string &line) override { G g(mu_); h_.log_line(line); }
  bool active() const override { return h_.active(); }
  bool prenode(const NodeView &v) override { G g(mu_); return h_.prenode(v); }
  bool optnode(const NodeView &v, Branches *stored, BranchCuts *cuts) override {
    G g(mu_);
    return h_.optnode(v, stored, cuts);
  }
  void infnode(const NodeView &v) override { G g(mu_); h_.infnode(v); }
  void nodecutoff(int64_t id) override { G g(mu_); h_.nodecutoff(id); }
  bool preintsol(const NodeView *v, int soltype, const std::vector<double> &x, double &cutoff) override {
    G g(mu_);
    return h_.preintsol(v, soltype, x, cutoff);
  }
  void newnode(int64_t parent, int64_t id, int branch) override { G g(mu_); h_.newnode(parent, id, branch); }
  bool chgbranch(const NodeView &v, Branches &b, BranchCuts *cuts) override {
    G g(mu_);
    return h_.chgbranch(v, b, cuts);
  }
  void gap(double relgap, double absgap, double obj, double bound) override {
    G g(mu_);
    h_.gap(relgap, absgap, obj, bound);
  }
  bool globallog() override { G g(mu_); return h_.globallog(); }
  bool cutlog() override { G g(mu_); return h_.cutlog(); }
  bool checktime() override { G g(mu_); return h_.checktime(); }
  void start_tried(int status) override { G g(mu_); h_.start_tried(status); }
  void worker_start() override { G g(mu_); h_.worker_start(); }
  void worker_end() override { G g(mu_); h_.worker_end(); }

 private:
  using G = std::lock_guard<std::recursive_mutex>;
  SearchHooks &h_;
  std::recursive_mutex mu_;
};

// What the node workers of one search share: the tree, the incumbent, the
// pseudo-costs and the counters.  Each worker has its own engine instance,
// relaxation rows, bounds and copy of the cut pool.  Lock order: the hooks'
// lock before mu; no hook is called with mu held.
struct Shared {
  explicit Shared(SearchHooks &h) : hooks(h) {}
  SerialHooks hooks;
  std::mutex mu;                 // the tree, running, inc_x, lost, picks, last_log
  std::condition_variable wake;  // nodes were pushed, or the search is over
  std::mutex pc_mu;              // the pseudo-costs
  std::map<int64_t, Node> open;
  std::set<std::pair<double, int64_t>> by_bound, by_estimate;
  std::multiset<double> running;  // bounds of the nodes the workers hold
  bool done = false;  // nothing is left to take, or the gap has closed
  int64_t picks = 0;
  std::atomic<bool> has_inc{false};
  std::atomic<double> inc_obj{INFINITY}, user_cutoff{INFINITY};  // written under the hooks' lock
  std::vector<double> inc_x;
  std::atomic<int> sols{0}, stop{0};
  double lost = INFINITY;  // least bound of the nodes given up on
  std::vector<double> pc_sum[2];
  std::vector<int> pc_cnt[2];
  double pc_all_sum[2] = {0, 0};
  int64_t pc_all_cnt[2] = {0, 0};
  std::atomic<int64_t> next_id{0}, nodes{0}, dropped{0};
  std::chrono::steady_clock::time_point last_log;
  std::exception_ptr failure;  // what a worker thread threw
  // Every worker, for the user cuts in their pools: those change only in
  // callbacks, so they are read under the hooks' lock.
  std::vector<const class Searcher *> workers;
  // The neighbourhood search: the node count it runs at next (a worker
  // claims a run by moving it on) and its runs in a row that found nothing.
  std::atomic<int64_t> nbh_next{0};
  std::atomic<int> nbh_fails{0};
};

class Searcher {
 public:
  Searcher(const ModelData &w, const SearchControls &ctl, SearchHooks &hooks,
           const std::atomic<bool> &interrupt);
  ~Searcher();
  // A further worker: the first one's model, root bounds and cut rows, an
  // engine instance of its own.  Copying shares what Shared holds.
  Searcher(const Searcher &) = default;
  SearchResult run(const SearchStart &start);

  // ---- the node members of the API, from inside a callback (nodemembers.cpp) ----
  CutPool &pool() { return *pool_; }
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
  // ---- workers (driver.cpp) ----
  // Takes open nodes and dives from them until the search is over.
  void work();
  void work_guarded();
  std::unique_ptr<Searcher> clone() const;
  // The best bound among open and running nodes (under mu).
  double tree_bound() const;

  // ---- model (driver.cpp) ----
  void build(const ModelData &w);
  bool indicator_active(int r) const;
  bool indicator_violated(int r, const std::vector<double> &x) const;  // branching.cpp

  // ---- node processing (driver.cpp) ----
  enum class NodeEnd { kPruned, kInfeasible, kFeasible, kBranched, kStopped };
  NodeEnd process(Node &nd, std::vector<Node> &kids);
  // A node whose relaxation could not be solved: its bound keeps the
  // search from claiming optimality.
  NodeEnd give_up(const Node &nd);
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
  void tighten_rows();
  bool reduced_cost_bounds(const std::vector<double> &x, double obj, const std::vector<double> &dj,
                           std::vector<double> &lo, std::vector<double> &up, std::vector<Change> *changes) const;
  bool reduced_cost_fix(Node &nd, const std::vector<double> &x, double obj, const std::vector<double> &dj);
  void refix_root();
  void untighten_activity(const std::vector<double> &x, std::vector<double> &act) const;

  // ---- heuristics (heuristics.cpp) ----
  void simple_rounding(const std::vector<double> &x);
  void dive(double obj);
  bool fix_and_solve(const std::vector<double> &vals, const std::vector<int> &cols,
                     const char *source = "the starting point");
  bool check_point(const std::vector<double> &x) const;
  void try_start(const SearchStart &start);
  // A sub-search of the model with the integer columns fixed where the
  // node's relaxation x agrees with the incumbent, when its turn has come.
  void neighbourhood(const std::vector<double> &x);

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
  void find_var_bounds();
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

  std::shared_ptr<Shared> sh_;
  // model
  const ModelData *model_ = nullptr;  // the working copy (outlives the search)
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
  // Variable upper bounds x <= u y of continuous columns (y integer from 0
  // with a finite upper bound; -1 for none), from two-entry rows, for the
  // rounding cuts.
  std::vector<int> vub_col_;
  std::vector<double> vub_u_;
  std::vector<double> row_amax_;  // largest coefficient of each model row
  bool quadratic_ = false;
  // directives: priority and preferred direction per column
  bool has_prio_ = false;
  std::vector<int> prio_;
  std::vector<char> pdir_;
  int branch_pri_ = 0;
  // lazy rows: 0 an ordinary row, 1 a model cut, 2 a delayed row
  std::vector<char> lazy_;
  std::vector<int> lazyrows_;
  std::vector<int> secure_rows_;  // rows to keep as the model has them
  // Rows whose coefficients the root tightened: (row, [(column, original
  // minus tightened coefficient)]).
  std::vector<std::pair<int, std::vector<std::pair<int, double>>>> tightened_;
  std::vector<double> view_act_;  // the model rows' activities shown to callbacks

  // state
  std::shared_ptr<LpWorker> lp_;
  std::vector<double> root_lo_, root_up_;  // after root propagation
  // The root's relaxation (solution, objective, reduced costs) and the
  // cutoff its reduced-cost fixing last used.
  std::vector<double> root_x_, root_dj_;
  double root_obj_ = 0, root_fixed_at_ = INFINITY;
  std::vector<double> lo_, up_;            // the node being processed
  std::vector<double> lplo_, lpup_;        // what the relaxation holds
  std::vector<char> rowon_;                // indicator rows the relaxation enforces
  int64_t lp_holds_ = -2;  // node whose final basis the engine holds

  // cuts
  CutPool own_pool_;
  CutPool *pool_ = nullptr;  // own_pool_ or the caller's
  std::vector<int64_t> lp_cuts_;  // the cut of each relaxation row past the model's
  bool root_cuts_done_ = false;

  // what the node members did inside the callback under way
  bool in_optnode_ = false;
  bool dirty_ = false;  // the node's relaxation changed
  Branches user_branches_;
  std::vector<std::vector<int64_t>> user_branch_cuts_;

  // incumbent, in the minimization form (shared)
  std::atomic<bool> &has_inc_;
  std::atomic<double> &inc_obj_;
  std::vector<double> &inc_x_;
  std::atomic<double> &user_cutoff_;

  // pseudo-costs per column and direction (shared, under sh_->pc_mu)
  std::vector<double> (&pc_sum_)[2];
  std::vector<int> (&pc_cnt_)[2];
  double (&pc_all_sum_)[2];
  int64_t (&pc_all_cnt_)[2];
  int64_t sb_iters_ = 0;

  // tree (shared, under sh_->mu)
  std::map<int64_t, Node> &open_;
  std::set<std::pair<double, int64_t>> &by_bound_, &by_estimate_;
  std::multiset<double>::iterator running_;  // this worker's entry
  bool has_running_ = false;

  // counters: this worker's, and the shared ones
  SearchResult res_;
  std::chrono::steady_clock::time_point t0_;
  std::atomic<int64_t> &nodes_;
  std::atomic<int64_t> &next_id_;
  std::atomic<int> &stop_;
  std::atomic<int64_t> &dropped_;  // nodes given up on (their relaxation failed)
};

}  // namespace search
}  // namespace krvu
