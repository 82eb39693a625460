#include "mip/search/nlrelax.h"

#include <algorithm>
#include <cmath>

#include "core/callbacks.h"
#include "core/common.h"
#include "model/store.h"
#include "slp/slpcb.h"
#include "slp/slpprob.h"

namespace krvu {

namespace {

double to_lib(double v) {
  return v >= KRVU_INFINITY ? KRVU_INFINITY : v <= -KRVU_INFINITY ? -KRVU_INFINITY : v;
}

std::string slp_error(KSLPprob slp) {
  int code = 0;
  char buf[512] = "";
  KSLPgetlasterror(slp, &code, buf);
  return buf;
}

}  // namespace

NlpRelaxation::NlpRelaxation(KSLPprob user, const std::atomic<bool> &interrupt, std::string flags,
                             const char *func)
    : user_(user), flags_(std::move(flags)), interrupt_(interrupt) {
  // A constructor that throws runs no destructor: what was made goes first.
  auto fail = [&](const std::string &why) {
    const std::string text = format("%s: the working copy of the node relaxations failed: %s", func, why.c_str());
    if (slp_) KSLPdestroyprob(slp_);
    if (prob_) KRVUdestroyprob(prob_);
    slp_ = nullptr;
    prob_ = nullptr;
    raise(KRVU_ERR_INTERNAL, "%s", text.c_str());
  };
  if (KRVUcreateprob(&prob_)) fail("no problem could be created");
  if (KRVUcopyprob(prob_, user->prob, nullptr)) {
    char buf[512] = "";
    KRVUgetlasterror(prob_, buf);
    fail(buf);
  }
  if (KSLPcreateprob(&slp_, &prob_) || KSLPcopyprob(slp_, user, nullptr) || KSLPcopycontrols(slp_, user))
    fail(slp_ ? slp_error(slp_) : "no nonlinear problem could be created");
  slp_->owner = user;
  slp_->rowscale = user->rowscale;
  // The engine's thread pool is the process's: the copy asks for the size
  // the problem's solves ask for.
  int64_t threads = 0;
  KRVUgetintcontrol64(user->prob, 8020, &threads);
  KRVUsetintcontrol64(prob_, 8020, threads);
  // The copy's log would repeat each node's solve: it is quiet.
  KRVUsetintcontrol(prob_, KRVU_CTRL_OUTPUTLOG, 0);
  KSLPsetintcontrol(slp_, KSLP_CTRL_LOG, 0);
  const ModelData &md = read_model(prob_);
  n_ = md.ncols();
  m_ = md.nrows();
  rhs_ = md.rhs;
  std::vector<int> idx;
  for (int j = 0; j < n_; ++j)
    if (md.coltype[j] != 'C') idx.push_back(j);
  if (!idx.empty()) {
    std::vector<char> types(idx.size(), 'C');
    if (KRVUchgcoltype(prob_, static_cast<int>(idx.size()), idx.data(), types.data())) fail("column types");
  }
  if (md.nsets() > 0) {
    std::vector<int> sets(md.nsets());
    for (int s = 0; s < md.nsets(); ++s) sets[s] = s;
    if (KRVUdelsets(prob_, static_cast<int>(sets.size()), sets.data())) fail("sets");
  }
  held_lo_.assign(n_, NAN);
  held_up_.assign(n_, NAN);
  sense_ = slp::ctl_d(slp_, KSLP_CTRL_OBJSENSE) < 0 ? -1.0 : 1.0;
}

void NlpRelaxation::count_evaluations() const {
  auto &to = user_->evals;
  const auto &from = slp_->evals;
  to.values += from.values;
  to.gradients += from.gradients;
  to.solves += from.solves;
  if (to.user.size() < from.user.size()) to.user.resize(from.user.size(), 0);
  for (size_t k = 0; k < from.user.size(); ++k) to.user[k] += from.user[k];
}

NlpRelaxation::~NlpRelaxation() {
  if (slp_) KSLPdestroyprob(slp_);
  if (prob_) KRVUdestroyprob(prob_);
}

NodeRelaxation::Outcome NlpRelaxation::solve(const std::vector<double> &lo, const std::vector<double> &up) {
  if (stop_) return kStopped;
  const double sense = read_model(user_->prob).objsense < 0 ? -1.0 : 1.0;
  if (slp::slpcb_has(user_, slp::kSlpCb_slpnode) || slp::slpcb_has(user_, slp::kSlpCb_prenode)) {
    NodeContext c;
    c.sense = sense;
    c.lo = &lo;
    c.up = &up;
    NodeScope at(user_->prob, &c);
    int infeasible = 0;
    if (slp::slpcb_fire_slpnode(user_) || slp::slpcb_fire_prenode(user_, &infeasible)) return stop();
    if (infeasible) return kInfeasible;
  }
  const Outcome o = run(lo, up);
  if (node_ >= 0) {
    last_solved_ = node_;
    if (o == kOptimal) {
      const size_t budget = std::max<size_t>(16, 2000000 / std::max(1, n_));
      while (!starts_.empty() && starts_.size() >= budget) starts_.erase(starts_.begin());
      starts_[node_] = x_;
    }
    node_ = -1;
  }
  if (o == kOptimal && slp::slpcb_has(user_, slp::kSlpCb_optnode)) {
    NodeContext c;
    c.sense = sense;
    c.x = &x_;
    c.ract = &act_;
    c.rdual = &dual_;
    c.cdual = &dj_;
    c.lo = &lo;
    c.up = &up;
    NodeScope at(user_->prob, &c);
    int feasible = 1;
    if (slp::slpcb_fire_optnode(user_, &feasible)) return stop();
    if (!feasible) return kInfeasible;
  }
  return o;
}

void NlpRelaxation::at_node(int64_t id, int64_t parent) {
  node_ = id;
  // The copy warm-starts from its last solution: when that is not the
  // parent's, the parent's is put in its place.
  if (parent == last_solved_) return;
  auto it = starts_.find(parent);
  if (it != starts_.end() && it->second.size() == static_cast<size_t>(n_)) slp_->x = it->second;
}

NodeRelaxation::Outcome NlpRelaxation::stop() {
  stop_ = true;
  return kStopped;
}

NodeRelaxation::Outcome NlpRelaxation::solve_quietly(const std::vector<double> &lo,
                                                     const std::vector<double> &up) {
  last_solved_ = -2;  // the copy's last solution is no node's now
  return run(lo, up);
}

void NlpRelaxation::incumbent(const std::vector<double> &x, double obj) {
  if (!slp::slpcb_has(user_, slp::kSlpCb_intsol)) return;
  NodeContext c;
  c.sense = read_model(user_->prob).objsense < 0 ? -1.0 : 1.0;
  c.x = &x;
  NodeScope at(user_->prob, &c);
  if (slp::slpcb_fire_intsol(user_)) stop_ = true;
}

NodeRelaxation::Outcome NlpRelaxation::run(const std::vector<double> &lo, const std::vector<double> &up) {
  if (interrupt_.load(std::memory_order_relaxed)) return kStopped;
  // Only the bounds that differ from what the copy holds are sent.
  std::vector<int> idx;
  std::vector<char> type;
  std::vector<double> val;
  for (int j = 0; j < n_; ++j) {
    const double l = to_lib(lo[j]), u = to_lib(std::max(lo[j], up[j]));
    if (l != held_lo_[j]) {
      idx.push_back(j);
      type.push_back('L');
      val.push_back(l);
      held_lo_[j] = l;
    }
    if (u != held_up_[j]) {
      idx.push_back(j);
      type.push_back('U');
      val.push_back(u);
      held_up_[j] = u;
    }
  }
  if (!idx.empty() && KRVUchgbounds(prob_, static_cast<int>(idx.size()), idx.data(), type.data(), val.data())) {
    failure_ = "the node's bounds were refused";
    return kStopped;
  }
  ++solves_;
  if (KSLPnlpoptimize(slp_, flags_.c_str())) {
    // A user function failed, or the solve broke down: the search stops with
    // the reason (an exception of the user's function is kept for the user).
    failure_ = slp_error(slp_);
    return kStopped;
  }
  int status = 0;
  KSLPgetintattrib(slp_, KSLP_ATTR_NLPSTATUS, &status);
  KSLPgetdblattrib(slp_, KSLP_ATTR_VALIDATION, &maxviol_);
  switch (status) {
    case KSLP_NLPSTATUS_LOCALLY_OPTIMAL:
    case KSLP_NLPSTATUS_OPTIMAL:
      break;
    case KSLP_NLPSTATUS_LOCALLY_INFEASIBLE:
    case KSLP_NLPSTATUS_INFEASIBLE:
      return kInfeasible;
    case KSLP_NLPSTATUS_UNBOUNDED:
      return kUnbounded;
    default:
      if (interrupt_.load(std::memory_order_relaxed)) return kStopped;
      // A run that stopped short at a feasible point still bounds the node
      // well enough to branch on; one that is not feasible tells nothing.
      if (!(maxviol_ <= slp::ctl_d(slp_, KSLP_CTRL_FEASTOL))) return kFailed;
      break;
  }
  x_.assign(n_, 0.0);
  slack_.assign(m_, 0.0);
  dual_.assign(m_, 0.0);
  dj_.assign(n_, 0.0);
  KSLPgetslpsol(slp_, x_.data(), slack_.data(), dual_.data(), dj_.data());
  // The search's views hold multipliers in the minimisation form.
  for (double &v : dual_) v *= sense_;
  for (double &v : dj_) v *= sense_;
  act_.resize(m_);
  for (int i = 0; i < m_; ++i) act_[i] = rhs_[i] - slack_[i];
  double obj = 0;
  KSLPgetdblattrib(slp_, KSLP_ATTR_OBJVAL, &obj);
  obj_ = sense_ * obj;
  return kOptimal;
}

}  // namespace krvu
