// Solving problems with integer columns through the engine's MIP solver, MIP
// starts and the integer-solution callback.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>

#include "core/common.h"
#include "core/branchobj.h"
#include "core/prob.h"
#include "interfaces/highs_c_api.h"
#include "lp/engine.h"
#include "lp/highs_session.h"
#include "lp/run.h"
#include "lp/solver_state.h"
#include "mip/reformulate.h"
#include "mip/search/nodemembers.h"
#include "mip/search/search.h"
#include "model/args.h"
#include "model/store.h"
#include "mip/search/nlrelax.h"

namespace krvu {
namespace {

// What neither the engine nor an exact reformulation for it can take (the
// reformulation says itself what it cannot do).
void refuse_unsupported(const ModelData &m, bool integer, const char *func) {
  if (integer && !m.qstart.empty())
    raise(KRVU_ERR_STATE,
          "%s: the problem has a quadratic objective with integer columns, which the integer "
          "search cannot take yet; solve its relaxation with KRVUlpoptimize",
          func);
}

// While the engine solves the reformulation of a problem, the problem's store
// holds the reformulated model and this registry the user's, which is swapped
// back in for the integer-solution callbacks (they query the problem as the
// user built it) and when the solve ends.
std::mutex g_user_models_mutex;
std::map<const krvu_prob_s *, ModelData *> g_user_models;

void swap_store(krvu_prob_s *prob, ModelData &other) {
  std::swap(prob->data->m, other);
  prob->data->rows_valid = false;
  for (bool &v : prob->data->names_valid) v = false;
  prob->data->solver->synced = false;
}

ModelData *user_model(const krvu_prob_s *prob) {
  std::lock_guard<std::mutex> lock(g_user_models_mutex);
  auto it = g_user_models.find(prob);
  return it == g_user_models.end() ? nullptr : it->second;
}

class ReformulatedStore {
 public:
  ReformulatedStore(krvu_prob_s *prob, ModelData &&reformulated)
      : prob_(prob), other_(std::move(reformulated)) {
    swap_store(prob_, other_);
    std::lock_guard<std::mutex> lock(g_user_models_mutex);
    g_user_models[prob_] = &other_;
  }
  ~ReformulatedStore() {
    {
      std::lock_guard<std::mutex> lock(g_user_models_mutex);
      g_user_models.erase(prob_);
    }
    swap_store(prob_, other_);
  }
  ReformulatedStore(const ReformulatedStore &) = delete;
  ReformulatedStore &operator=(const ReformulatedStore &) = delete;

 private:
  krvu_prob_s *prob_;
  ModelData other_;
};

// Swaps the user's model in for the scope of a callback.
struct UserModelScope {
  krvu_prob_s *prob;
  ModelData *user;
  UserModelScope(krvu_prob_s *p) : prob(p), user(user_model(p)) {
    if (user) swap_store(prob, *user);
  }
  ~UserModelScope() {
    if (user) swap_store(prob, *user);
  }
};

void on_incumbent(krvu_prob_s *prob, const HighsCallbackDataOut *out) {
  SolverState &s = *prob->data->solver;
  ++s.mipsols;
  if (!has_callbacks(prob, kCb_intsol)) return;
  UserModelScope scope(prob);
  const int n = prob->data->m.ncols();
  const int engine_n = scope.user ? scope.user->ncols() : n;
  if (out->mip_solution_size != engine_n) return;
  s.mipx.assign(out->mip_solution, out->mip_solution + n);
  s.has_mipsol = true;
  attr_set_dbl(prob, KRVU_ATTR_MIPBESTOBJVAL, out->objective_function_value);
  fire<kCb_intsol>(prob);
}

// The working copy the library's search runs on: general and
// piecewise-linear constraints are reformulated; special ordered sets,
// indicators, semi-continuous, semi-integer and partially integer columns
// and the quadratic objective stay as they are (the search branches on them).
ModelData search_copy(const ModelData &m, double feastol, const char *func) {
  if (m.gentype.empty() && m.pwlcol.empty()) return m;
  ModelData base = m;
  const int n = m.ncols();
  for (int j = 0; j < n; ++j) {
    const char t = m.coltype[j];
    if (t == 'S' || t == 'R') base.lb[j] = std::min(base.lb[j], 0.0);
    if (t == 'S' || t == 'R' || t == 'P') base.coltype[j] = 'C';
  }
  base.settype.clear();
  base.setstart.assign(1, 0);
  base.setcol.clear();
  base.setref.clear();
  base.setnames.clear();
  std::fill(base.indcol.begin(), base.indcol.end(), -1);
  std::fill(base.indcomp.begin(), base.indcomp.end(), 0);
  base.qstart.clear();
  base.qrow.clear();
  base.qval.clear();
  ModelData out;
  std::string why;
  if (!reformulate_for_engine(base, &out, &why, feastol))
    raise(KRVU_ERR_STATE, "%s: %s", func, why.c_str());
  for (int j = 0; j < n; ++j) {
    out.coltype[j] = m.coltype[j];
    out.threshold[j] = m.threshold[j];
    out.lb[j] = std::max(out.lb[j], m.lb[j]);
  }
  out.settype = m.settype;
  out.setstart = m.setstart;
  out.setcol = m.setcol;
  out.setref = m.setref;
  out.setnames = m.setnames;
  out.indcol = m.indcol;
  out.indcomp = m.indcomp;
  out.indcol.resize(out.nrows(), -1);
  out.indcomp.resize(out.nrows(), 0);
  out.dirs = m.dirs;  // the model's columns and rows come first in the copy
  if (!m.qstart.empty()) {
    out.qstart = m.qstart;
    out.qstart.resize(out.ncols() + 1, m.qstart.back());
    out.qrow = m.qrow;
    out.qval = m.qval;
  }
  return out;
}

// Incumbents and log lines of the library's search reach the user's problem,
// and its callback points the problem's callbacks.
class ProblemHooks : public SearchHooks {
 public:
  ProblemHooks(krvu_prob_s *prob, int ncols) : prob_(prob), ncols_(ncols), sense_(prob->data->m.objsense < 0 ? -1 : 1) {
    active_ = needs_own_search(prob) || has_callbacks(prob, kCb_intsol);
  }
  ~ProblemHooks() override {
    for (int id : {KRVU_ATTR_CURRENTNODE, KRVU_ATTR_PARENTNODE, KRVU_ATTR_NODEDEPTH}) attr_set_int(prob_, id, 0);
  }
  void incumbent(const std::vector<double> &x, double obj) override {
    SolverState &s = *prob_->data->solver;
    ++s.mipsols;
    s.mipx.assign(x.begin(), x.begin() + ncols_);
    s.has_mipsol = true;
    attr_set_dbl(prob_, KRVU_ATTR_MIPBESTOBJVAL, obj);
    at(nullptr, &x, [&] { fire<kCb_intsol>(prob_); });
  }
  void log_line(const std::string &line) override { log_text(prob_, KRVU_MSG_LOG, line); }
  bool active() const override { return active_; }
  bool prenode(const NodeView &v) override {
    int infeas = 0;
    at(&v, nullptr, [&] { fire<kCb_prenode>(prob_, &infeas); });
    return infeas != 0;
  }
  bool optnode(const NodeView &v, Branches *stored, BranchCuts *cuts) override {
    int infeas = 0;
    KRVUbranchobject bo = nullptr;
    at(&v, nullptr, [&] { fire<kCb_optnode>(prob_, &infeas); }, &bo);
    if (bo) {
      to_branches(bo, *stored, cuts);
      KRVU_bo_destroy(bo);
    }
    return infeas != 0;
  }
  void infnode(const NodeView &v) override { at(&v, nullptr, [&] { fire<kCb_infnode>(prob_); }); }
  void nodecutoff(int64_t id) override { fire<kCb_nodecutoff>(prob_, static_cast<int>(id)); }
  bool preintsol(const NodeView *v, int soltype, const std::vector<double> &x, double &cutoff) override {
    int reject = 0;
    at(v, &x, [&] { fire<kCb_preintsol>(prob_, soltype, &reject, &cutoff); });
    return reject != 0;
  }
  void newnode(int64_t parent, int64_t id, int branch) override {
    fire<kCb_newnode>(prob_, static_cast<int>(parent), static_cast<int>(id), branch);
  }
  bool chgbranch(const NodeView &v, Branches &branches, BranchCuts *cuts) override {
    if (!has_callbacks(prob_, kCb_chgbranchobject)) return false;
    KRVUbranchobject bo = nullptr;
    if (KRVU_bo_create(&bo, prob_, 1)) return false;
    bo->id = static_cast<int>(v.id);
    bo->branches.resize(branches.size());
    for (size_t i = 0; i < branches.size(); ++i)
      for (const BoundChange &c : branches[i]) {
        bo->branches[i].bndtype.push_back(c.type);
        bo->branches[i].bndcol.push_back(c.col);
        bo->branches[i].bndval.push_back(c.val);
      }
    KRVUbranchobject next = bo;
    at(&v, nullptr, [&] { fire<kCb_chgbranchobject>(prob_, bo, &next); });
    bool replaced = false;
    if (next && next != bo) {
      const std::string why = bo_unusable(next);
      if (why.empty()) {
        to_branches(next, branches, cuts);
        replaced = true;
      } else {
        log(prob_, KRVU_MSG_WARNING, "The branching object given for node %lld is not used: %s",
            static_cast<long long>(v.id), why.c_str());
      }
      KRVU_bo_destroy(next);
    }
    KRVU_bo_destroy(bo);
    return replaced;
  }
  void gap(double relgap, double absgap, double obj, double bound) override {
    if (!has_callbacks(prob_, kCb_gapnotify)) return;
    const bool reached = first_gap_ || relgap <= target_[0] || absgap <= target_[1] ||
                         (std::fabs(target_[2]) < KRVU_INFINITY && sense_ * obj <= sense_ * target_[2]) ||
                         (std::fabs(target_[3]) < KRVU_INFINITY && sense_ * bound >= sense_ * target_[3]);
    if (!reached) return;
    if (first_gap_) target_[0] = target_[1] = -1, target_[2] = target_[3] = KRVU_INFINITY;
    first_gap_ = false;
    fire<kCb_gapnotify>(prob_, &target_[0], &target_[1], &target_[2], &target_[3]);
  }
  bool globallog() override { return fire_int<kCb_globallog>(prob_) != 0; }
  bool cutlog() override { return fire_int<kCb_cutlog>(prob_) != 0; }
  bool checktime() override { return fire_int<kCb_checktime>(prob_) != 0; }
  void worker_start() override { fire<kCb_mipthread>(prob_, prob_); }
  void worker_end() override { fire<kCb_destroymt>(prob_); }
  void start_tried(int status) override {
    const std::string &name = prob_->data->solver->start_name;
    fire<kCb_usersolnotify>(prob_, name.c_str(), status);
  }

 private:
  // Runs f with the node (or the candidate x) as the problem's node context.
  template <class F>
  void at(const NodeView *v, const std::vector<double> *x, F &&f, KRVUbranchobject *bo_target = nullptr) {
    NodeContext c;
    c.sense = sense_;
    c.bo_target = bo_target;
    if (v) {
      c.x = v->x;
      c.ract = v->ract;
      c.rdual = v->rdual;
      c.cdual = v->cdual;
      c.lo = v->lo;
      c.up = v->up;
      c.search = v->search;
      attr_set_int(prob_, KRVU_ATTR_CURRENTNODE, static_cast<int>(v->id));
      attr_set_int(prob_, KRVU_ATTR_PARENTNODE, static_cast<int>(std::max<int64_t>(v->parent, 0)));
      attr_set_int(prob_, KRVU_ATTR_NODEDEPTH, v->depth);
      if (v->x) attr_set_dbl(prob_, KRVU_ATTR_LPOBJVAL, sense_ * v->obj);
    }
    if (x) c.x = x, c.ract = nullptr, c.rdual = c.cdual = nullptr;
    NodeScope scope(prob_, &c);
    f();
  }
  static void to_branches(KRVUbranchobject bo, Branches &out, BranchCuts *cuts) {
    out.assign(bo->branches.size(), {});
    if (cuts) cuts->assign(bo->branches.size(), {});
    for (size_t i = 0; i < bo->branches.size(); ++i) {
      const BoBranch &b = bo->branches[i];
      for (size_t k = 0; k < b.bndtype.size(); ++k) out[i].push_back({b.bndcol[k], b.bndtype[k], b.bndval[k]});
      if (cuts) (*cuts)[i] = b.cuts;
    }
    if (bo->preferred > 0 && bo->preferred < static_cast<int>(out.size())) {
      std::swap(out[0], out[bo->preferred]);
      if (cuts) std::swap((*cuts)[0], (*cuts)[bo->preferred]);
    }
  }

  krvu_prob_s *prob_;
  int ncols_;
  double sense_;
  bool active_ = false;
  bool first_gap_ = true;
  double target_[4] = {-1, -1, KRVU_INFINITY, KRVU_INFINITY};
};

int run_own_search(krvu_prob_s *prob, const ModelData &m, const char *func, NodeRelaxation *relax = nullptr,
                   SearchResult *out = nullptr) {
  ModelData work = search_copy(m, ctl_dbl(prob, 7001), func);
  if (!work.qrows.empty())
    raise(KRVU_ERR_STATE, "%s: the library's search cannot take rows with quadratic coefficients", func);
  if (!objective_convex(work))
    raise(KRVU_ERR_STATE, "%s: the quadratic objective is not convex; the search needs convex node relaxations",
          func);
  SolverState &s = *prob->data->solver;
  SearchStart start;
  start.x = s.start_x;
  start.cols = s.start_cols;
  const int ncols = m.ncols();
  if (start.cols.empty() && static_cast<int>(start.x.size()) == ncols && work.ncols() != ncols) {
    start.cols.resize(ncols);
    std::iota(start.cols.begin(), start.cols.end(), 0);
  }
  SearchControls c;
  c.feastol = ctl_dbl(prob, 7001);
  c.relgap = ctl_dbl(prob, 7003);
  c.absgap = ctl_dbl(prob, 7004);
  c.miptol = ctl_dbl(prob, 7005);
  c.cutoff = ctl_dbl(prob, 7006);
  c.timelimit = ctl_dbl(prob, 7000) >= KRVU_INFINITY ? INFINITY : ctl_dbl(prob, 7000);
  c.nodelimit = ctl_int(prob, 8002);
  c.sollimit = ctl_int(prob, 8003);
  c.reliable = static_cast<int>(std::min<int64_t>(ctl_int(prob, 8324), 1000));
  c.sb_iterlimit = static_cast<int>(ctl_int(prob, 8401));
  c.sb_candidates = static_cast<int>(ctl_int(prob, 8402));
  {
    // Rounds of root separation by strategy; automatic is the moderate default.
    static const int kRounds[] = {20, 0, 5, 20, 40};
    c.cut_rounds = kRounds[std::clamp<int64_t>(ctl_int(prob, 8403), -1, 3) + 1];
  }
  c.heur_effort = ctl_dbl(prob, 7320);
  c.loglevel = static_cast<int>(ctl_int(prob, 8030));
  if (relax) {
    // Nonlinear node relaxations: no LP cuts, LP heuristics or strong branching.
    c.relaxation = relax;
    c.cut_rounds = 0;
    c.heur_effort = 0;
    c.sb_candidates = 0;
  }
  // As the problem's own engine session counts them (lp/highs_session.cpp).
  c.pool = &user_pool(prob).cuts;
  c.engine_threads = static_cast<int>(std::min<int64_t>(ctl_int(prob, 8020), 1024));
  if (c.engine_threads == 0) {
    const unsigned hw = std::thread::hardware_concurrency();
    c.engine_threads = static_cast<int>(hw == 0 ? 1 : hw < 4 ? hw : 4);
  }
  // Node workers: as many as the control asks for; automatic is one, so
  // that the tree (and what callbacks see of it) repeats from run to run.
  c.workers = static_cast<int>(std::clamp<int64_t>(ctl_int(prob, 8020), 1, 64));
  touch(prob, 0);
  begin_solve(prob);
  s.mipsols = 0;
  s.has_mipsol = false;
  ProblemHooks hooks(prob, ncols);
  log(prob, KRVU_MSG_LOG, "Branch-and-bound of the library: %d columns, %d rows, %d entities",
      work.ncols(), work.nrows(),
      static_cast<int>(std::count_if(work.coltype.begin(), work.coltype.end(), [](char t) { return t != 'C'; })));
  SearchResult r;
  {
    StageScope solving(prob, kStageSolving);
    r = run_search(work, c, start, hooks, s.interrupt);
  }
  if (r.stop == KRVU_STOP_CTRLC && s.interrupt_reason > 0) r.stop = s.interrupt_reason;
  s.has_mipsol = r.has_sol;
  if (r.has_sol) s.mipx.assign(r.x.begin(), r.x.begin() + ncols);
  attr_set_dbl(prob, KRVU_ATTR_MIPBESTOBJVAL, r.has_sol ? r.obj : m.objsense * KRVU_INFINITY);
  attr_set_dbl(prob, 2002, std::isfinite(r.bound) ? r.bound : (r.bound > 0 ? KRVU_INFINITY : -KRVU_INFINITY));
  attr_set_dbl(prob, 2004, r.has_sol ? r.gap : KRVU_INFINITY);
  attr_set_dbl(prob, 2005, r.seconds);
  attr_set_int(prob, 1006, static_cast<int>(std::min<int64_t>(r.lp_iterations, 2147483647)));
  attr_set_int(prob, 1008, r.nodes);
  attr_set_int(prob, 1009, r.stop);
  attr_set_int(prob, 1012, s.mipsols);
  attr_set_int(prob, 1400, r.active);
  attr_set_int(prob, 1401, r.max_depth);
  attr_set_int(prob, KRVU_ATTR_MIPSTATUS, r.status);
  log(prob, KRVU_MSG_LOG, "MIP status %d, best objective %.12g, bound %.12g, %lld nodes, %.2f s",
      r.status, r.has_sol ? r.obj : 0.0, r.bound, static_cast<long long>(r.nodes), r.seconds);
  if (out) *out = std::move(r);
  return 0;
}

}  // namespace

SearchResult run_problem_search(KRVUprob prob, const ModelData &work, NodeRelaxation &relax,
                                const char *func) {
  SearchResult r;
  run_own_search(prob, work, func, &relax, &r);
  return r;
}
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUmipoptimize(KRVUprob prob, const char *flags) {
  const char *F = "KRVUmipoptimize";
  return guarded(prob, F, [&] {
    const ModelData &m = read_model(prob);
    const bool integer = std::any_of(m.coltype.begin(), m.coltype.end(),
                                     [](char c) { return c != 'C'; });
    const int ncols = m.ncols();
    const bool reformulate = needs_reformulation(m);
    const int64_t choice = ctl_int(prob, 8400);
    const bool entities = integer || reformulate;
    // Automatic: the engine's MIP solver unless the problem needs ours (a
    // quadratic objective with integer columns, or a model whose exact
    // reformulation for the engine needs big-M values it does not have).
    // Stored cuts and bounds are the search's too.
    if (entities && (choice == 1 || (choice == 0 && (needs_own_search(prob) || user_pool_in_use(prob)))))
      return run_own_search(prob, m, F);
    // Directives, model cuts and delayed rows are served by our search only.
    if (entities && choice == 0 && m.dirs.steers_search() && m.qrows.empty()) return run_own_search(prob, m, F);
    if (entities && choice == 0 && integer && !m.qstart.empty() && m.qrows.empty())
      return run_own_search(prob, m, F);
    if (entities && user_pool_in_use(prob))
      log(prob, KRVU_MSG_WARNING, "%s: the engine's MIP solver does not use the stored cuts and bounds", F);
    refuse_unsupported(m, integer, F);
    ModelData engine_model;
    if (reformulate) {
      std::string why;
      if (!reformulate_for_engine(m, &engine_model, &why, ctl_dbl(prob, 7001))) {
        if (choice == 0 && m.qrows.empty()) return run_own_search(prob, m, F);
        raise(KRVU_ERR_STATE, "%s: %s; solve its relaxation with KRVUlpoptimize", F, why.c_str());
      }
    }
    if (!integer && !reformulate) {
      // Nothing integer: the LP solution is the answer.
      int rc = KRVUlpoptimize(prob, flags);
      SolverState &s = *prob->data->solver;
      int lp = static_cast<int>(attr_int(prob, KRVU_ATTR_LPSTATUS));
      int st = lp == 1 ? 6 : lp == 2 ? 5 : lp == 5 ? 7 : s.has_lpsol ? 4 : 3;
      attr_set_int(prob, KRVU_ATTR_MIPSTATUS, st);
      if (s.has_lpsol) {
        s.mipx = s.x;
        s.has_mipsol = st == 6 || st == 4;
        attr_set_dbl(prob, KRVU_ATTR_MIPBESTOBJVAL, attr_dbl(prob, KRVU_ATTR_LPOBJVAL));
      }
      if (rc) raise(prob->lasterr_code, "%s", prob->lasterr.c_str());
      return 0;
    }
    char algo = 0;
    for (const char *c = flags ? flags : ""; *c; ++c)
      if (*c == 'd' || *c == 'p' || *c == 'b') algo = *c;
    std::vector<double> start = prob->data->solver->start_x;
    std::vector<int> start_cols = prob->data->solver->start_cols;
    touch(prob, 0);
    SolverState &s = *prob->data->solver;
    begin_solve(prob);
    // From here until the solution is read, the store holds the reformulated
    // model (its first columns and rows are the user's).
    std::optional<ReformulatedStore> held;
    if (reformulate) {
      log(prob, KRVU_MSG_LOG, "Reformulated for the engine: %d columns and %d rows added",
          engine_model.ncols() - ncols, engine_model.nrows() - m.nrows());
      held.emplace(prob, std::move(engine_model));
      if (start_cols.empty() && static_cast<int>(start.size()) == ncols) {
        start_cols.resize(start.size());
        std::iota(start_cols.begin(), start_cols.end(), 0);
      }
    }
    // An integer column whose rounded bounds cross has no value: the problem
    // is infeasible, and the log says which column makes it so.
    for (int j = 0; j < ncols; ++j) {
      double lo, up;
      int type;
      col_bounds(m, j, kModeInteger, lo, up, type);
      if (type != kHighsVarTypeContinuous && lo > up) {
        log(prob, KRVU_MSG_WARNING,
            "Column %d (%s) is integer and has no integer value between its bounds %.15g and %.15g: "
            "the problem is infeasible",
            j, col_name(m, j).c_str(), m.lb[j], m.ub[j]);
        attr_set_int(prob, KRVU_ATTR_MIPSTATUS, KRVU_MIP_INFEAS);
        attr_set_dbl(prob, KRVU_ATTR_MIPBESTOBJVAL, m.objsense * KRVU_INFINITY);
        return 0;
      }
    }
    sync_engine(prob, kModeInteger, F);
    void *h = session(prob).get();
    // The engine would take its last solution as an incumbent regardless of
    // a new cutoff; only the user's start carries over.
    Highs_clearSolver(h);
    const int n = m.ncols();
    bool start_fits = start_cols.empty() ? static_cast<int>(start.size()) == n
                                         : start_cols.size() == start.size();
    for (int c : start_cols) start_fits = start_fits && c >= 0 && c < n;
    if (!start.empty() && start_fits) {
      if (start_cols.empty())
        Highs_setSolution(h, start.data(), nullptr, nullptr, nullptr);
      else
        Highs_setSparseSolution(h, static_cast<int>(start_cols.size()), start_cols.data(),
                                start.data());
    }
    s.on_incumbent = on_incumbent;
    s.mipsols = 0;
    RunResult r = run_engine(prob, kModeInteger, algo, F);
    s.on_incumbent = nullptr;
    int pstat = 0;
    Highs_getIntInfoValue(h, "primal_solution_status", &pstat);
    const bool found = pstat == 2;
    int st;
    switch (r.model_status) {
      // Optimal only with a solution to show for it.
      case kHighsModelStatusOptimal: st = found ? 6 : 3; break;
      case kHighsModelStatusInfeasible:
      case kHighsModelStatusUnboundedOrInfeasible: st = 5; break;
      case kHighsModelStatusUnbounded: st = 7; break;
      case kHighsModelStatusModelEmpty: st = 6; break;
      default: st = found ? 4 : 3; break;
    }
    s.has_mipsol = false;
    if (found) {
      s.mipx.assign(m.ncols(), 0.0);
      Highs_getSolution(h, s.mipx.data(), nullptr, nullptr, nullptr);
      s.mipx.resize(ncols);
      s.has_mipsol = true;
    }
    double obj = 0, bound = 0, gap = 0;
    int64_t nodes = 0;
    Highs_getDoubleInfoValue(h, "objective_function_value", &obj);
    Highs_getDoubleInfoValue(h, "mip_dual_bound", &bound);
    Highs_getDoubleInfoValue(h, "mip_gap", &gap);
    Highs_getInt64InfoValue(h, "mip_node_count", &nodes);
    attr_set_dbl(prob, KRVU_ATTR_MIPBESTOBJVAL, found ? obj : m.objsense * KRVU_INFINITY);
    attr_set_dbl(prob, 2002, bound);
    attr_set_dbl(prob, 2004, found ? gap : KRVU_INFINITY);
    attr_set_int(prob, 1008, nodes);
    attr_set_int(prob, 1012, s.mipsols);
    attr_set_int(prob, KRVU_ATTR_MIPSTATUS, st);
    log(prob, KRVU_MSG_LOG, "MIP status %d, best objective %.12g, bound %.12g, %lld nodes, %.2f s",
        st, found ? obj : 0.0, bound, static_cast<long long>(nodes), r.seconds);
    if (r.model_status == kHighsModelStatusModelError || r.model_status == kHighsModelStatusSolveError ||
        r.model_status == kHighsModelStatusLoadError || r.model_status == kHighsModelStatusPresolveError ||
        r.model_status == kHighsModelStatusPostsolveError)
      raise(KRVU_ERR_SOLVER, "%s: the engine could not solve the problem (engine status %d)", F,
            r.model_status);
    return 0;
  });
}

int KRVUloadmipsol(KRVUprob prob, const double dsol[], int *status) {
  return guarded(prob, "KRVUloadmipsol", [&] {
    require_ptr(dsol, "KRVUloadmipsol", "dsol");
    const ModelData &m = prob->data->m;
    for (int j = 0; j < m.ncols(); ++j) require_finite(dsol[j], "KRVUloadmipsol", "dsol", j);
    SolverState &s = *prob->data->solver;
    s.start_x.assign(dsol, dsol + m.ncols());
    s.start_cols.clear();
    if (status) *status = 0;
    return 0;
  });
}

int KRVUaddmipsol(KRVUprob prob, int n, const double mipsolval[], const int mipsolcol[],
                  const char *solname) {
  const char *F = "KRVUaddmipsol";
  return guarded(prob, F, [&] {
    const ModelData &m = prob->data->m;
    require_count(n, F, "n");
    require_ptr(mipsolval, F, "mipsolval");
    if (mipsolcol) require_indices(n, mipsolcol, m.ncols(), F, "mipsolcol");
    else if (n != m.ncols())
      raise(KRVU_ERR_ARGUMENT, "%s: without 'mipsolcol', n = %d must be the number of columns (%d)",
            F, n, m.ncols());
    for (int k = 0; k < n; ++k) require_finite(mipsolval[k], F, "mipsolval", k);
    SolverState &s = *prob->data->solver;
    s.start_x.assign(mipsolval, mipsolval + n);
    if (mipsolcol) s.start_cols.assign(mipsolcol, mipsolcol + n);
    else s.start_cols.clear();
    s.start_name = solname ? solname : "";
    return 0;
  });
}

int KRVUfixglobals(KRVUprob prob, int options) {
  const char *F = "KRVUfixglobals";
  return guarded(prob, F, [&] {
    SolverState &s = *prob->data->solver;
    if (!s.has_mipsol)
      raise(KRVU_ERR_STATE, "%s: there is no integer solution to fix the columns at", F);
    const std::vector<double> x = s.mipx;
    ModelData &m = prob->data->m;
    std::vector<int> cols;
    std::vector<char> bt;
    std::vector<double> bv;
    for (int j = 0; j < m.ncols(); ++j) {
      const char t = m.coltype[j];
      if (t == 'C') continue;
      // options 1: round the values of integer kinds to the nearest integer.
      double v = x[j];
      if (options == 1 && (t == 'B' || t == 'I' || t == 'R')) v = std::round(v);
      cols.push_back(j);
      bt.push_back('B');
      bv.push_back(v);
    }
    if (KRVUchgbounds(prob, static_cast<int>(cols.size()), cols.data(), bt.data(), bv.data()))
      raise(prob->lasterr_code, "%s", prob->lasterr.c_str());
    return 0;
  });
}

}  // extern "C"
