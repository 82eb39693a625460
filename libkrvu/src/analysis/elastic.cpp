#include "analysis/elastic.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/common.h"
#include "core/prob.h"
#include "interfaces/highs_c_api.h"
#include "lp/engine.h"
#include "lp/highs_session.h"
#include "lp/solver_state.h"

namespace krvu {
namespace {

// One engine instance holding the LP relaxation of the elastic model; the
// states change bounds and costs in place, so each solve starts from the
// basis of the one before.
class LpEngine : public ElasticEngine {
 public:
  LpEngine(krvu_prob_s *prob, const ModelData &em, const char *func) : hs_(prob), em_(em) {
    hs_.apply_controls('d', false);
    void *h = hs_.get();
    Highs_setStringOptionValue(h, "presolve", "off");
    Highs_setBoolOptionValue(h, "output_flag", 0);
    pass_model(hs_, em, kModeRelaxation, nullptr, func);
    x_.assign(em.ncols(), 0.0);
  }
  void set_columns(const std::vector<int> &cols, const std::vector<double> &up,
                   const std::vector<double> &cost) override {
    if (cols.empty()) return;
    const int n = static_cast<int>(cols.size());
    std::vector<double> lo(n, 0.0), u(up);
    for (double &v : u) v = v >= KRVU_INFINITY ? INFINITY : v;
    Highs_changeColsBoundsBySet(hs_.get(), n, cols.data(), lo.data(), u.data());
    Highs_changeColsCostBySet(hs_.get(), n, cols.data(), cost.data());
  }
  ElasticOutcome solve(double seconds) override {
    void *h = hs_.get();
    Highs_setDoubleOptionValue(h, "time_limit", std::max(seconds, 0.0));
    hs_.run();
    ++solves;
    int it = 0;
    Highs_getIntInfoValue(h, "simplex_iteration_count", &it);
    iterations += it;
    const int ms = Highs_getModelStatus(h);
    if (ms == kHighsModelStatusInfeasible) return kInfeasible;
    if (ms != kHighsModelStatusOptimal && ms != kHighsModelStatusModelEmpty) return kStopped;
    Highs_getSolution(h, x_.data(), nullptr, nullptr, nullptr);
    obj_ = Highs_getObjectiveValue(h);
    return kViolated;  // the system decides from the violation
  }
  const std::vector<double> &values() override { return x_; }
  double objective() override { return obj_; }
  bool row_duals(std::vector<double> &y) override {
    y.assign(em_.nrows(), 0.0);
    if (em_.nrows() == 0) return true;
    return Highs_getSolution(hs_.get(), nullptr, nullptr, nullptr, y.data()) != kHighsStatusError;
  }
  bool dual_ray(std::vector<double> &y) override {
    y.assign(em_.nrows(), 0.0);
    int has = 0;
    if (em_.nrows() == 0) return false;
    return Highs_getDualRay(hs_.get(), &has, y.data()) != kHighsStatusError && has;
  }

 private:
  HighsSession hs_;
  const ModelData &em_;
  std::vector<double> x_;
  double obj_ = 0;
};

// A scratch problem holding the elastic model, solved as a MIP.
class MipEngine : public ElasticEngine {
 public:
  MipEngine(krvu_prob_s *prob, const ModelData &em, const char *func) {
    if (KRVUcreateprob(&q_)) raise(KRVU_ERR_INTERNAL, "%s: cannot create a work problem", func);
    KRVUcopycontrols(q_, prob);
    KRVUsetintcontrol(q_, 8030, 0);
    KRVUsetintcontrol(q_, KRVU_CTRL_OUTPUTLOG, 0);
    ModelData copy = em;
    replace_model(q_, std::move(copy), func);
    x_.assign(em.ncols(), 0.0);
  }
  ~MipEngine() override { KRVUdestroyprob(q_); }
  void set_columns(const std::vector<int> &cols, const std::vector<double> &up,
                   const std::vector<double> &cost) override {
    if (cols.empty()) return;
    const int n = static_cast<int>(cols.size());
    std::vector<char> bt(n, 'U');
    KRVUchgbounds(q_, n, cols.data(), bt.data(), up.data());
    KRVUchgobj(q_, n, cols.data(), cost.data());
  }
  ElasticOutcome solve(double seconds) override {
    KRVUsetdblcontrol(q_, 7000, std::min(std::max(seconds, 0.0), KRVU_INFINITY));
    const int rc = KRVUmipoptimize(q_, "");
    ++solves;
    int64_t nodes = 0;
    KRVUgetintattrib64(q_, 1008, &nodes);
    iterations += nodes;
    int st = 0;
    KRVUgetintattrib(q_, KRVU_ATTR_MIPSTATUS, &st);
    if (rc) return kStopped;
    if (st == KRVU_MIP_INFEAS) return kInfeasible;
    if (st != KRVU_MIP_OPTIMAL && st != KRVU_MIP_SOLUTION) return kStopped;
    KRVUgetmipsol(q_, x_.data(), nullptr);
    KRVUgetdblattrib(q_, KRVU_ATTR_MIPBESTOBJVAL, &obj_);
    optimal_ = st == KRVU_MIP_OPTIMAL;
    return kViolated;
  }
  const std::vector<double> &values() override { return x_; }
  double objective() override { return obj_; }

 private:
  KRVUprob q_ = nullptr;
  std::vector<double> x_;
  double obj_ = 0;
  bool optimal_ = false;
};

bool finite(double v) { return !std::isinf(v) && std::fabs(v) < KRVU_INFINITY; }

}  // namespace

ElasticSystem::ElasticSystem(krvu_prob_s *prob, bool integer, const char *func)
    : prob_(prob), func_(func) {
  const ModelData &m = read_model(prob);
  if (!m.qrows.empty())
    raise(KRVU_ERR_STATE, "%s: the problem has quadratic rows; the analysis takes linear rows only",
          func);
  const bool entities =
      std::any_of(m.coltype.begin(), m.coltype.end(), [](char c) { return c != 'C'; }) ||
      m.nsets() > 0 || std::any_of(m.indcol.begin(), m.indcol.end(), [](int c) { return c >= 0; }) ||
      !m.gentype.empty() || !m.pwlcol.empty();
  integer_ = integer && entities;
  if (integer_ && (m.nsets() > 0 || !m.gentype.empty() || !m.pwlcol.empty()))
    raise(KRVU_ERR_STATE,
          "%s: infeasible sets of integer problems with special ordered sets, general or "
          "piecewise-linear constraints are not supported; analyse the LP relaxation (mode 2)",
          func);
  feastol_ = ctl_dbl(prob, 7001);
  const double limit = ctl_dbl(prob, 7301);
  if (limit < KRVU_INFINITY) {
    has_deadline_ = true;
    deadline_ = std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(limit));
  }

  const int n = m.ncols(), r = m.nrows();
  ModelData &e = em_;
  e.probname = m.probname;
  e.objsense = 1.0;
  e.append_cols(n);
  e.append_rows(r);
  e.colnames = m.colnames;
  e.rownames = m.rownames;
  for (int i = 0; i < r; ++i) {
    e.rowtype[i] = m.rowtype[i];
    e.rhs[i] = m.rhs[i];
    e.range[i] = m.range[i];
    if (integer_) {
      e.indcol[i] = m.indcol[i];
      e.indcomp[i] = m.indcomp[i];
    }
  }
  std::vector<int> ti, tj;
  std::vector<double> tv;
  for (int j = 0; j < n; ++j)
    for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k) {
      ti.push_back(m.mrwind[k]);
      tj.push_back(j);
      tv.push_back(m.dmatval[k]);
    }
  // Rows are members with elastic columns on their finite sides.
  for (int i = 0; i < r; ++i) {
    double lo, up;
    row_bounds(m, i, lo, up);
    if (!finite(lo) && !finite(up)) continue;
    Member mb;
    mb.row = i;
    mb.erow = i;
    mb.kind = 'R';
    mb.eup = finite(up) ? 1 : -1;
    mb.elo = finite(lo) ? 1 : -1;
    members_.push_back(mb);
  }
  // Bounds: the column becomes free and each finite bound a row.
  struct BoundRow {
    char type;
    double rhs;
  };
  std::vector<BoundRow> brows;
  for (int j = 0; j < n; ++j) {
    const char t = m.coltype[j];
    double lo, up;
    if (!integer_) {
      int type;
      col_bounds(m, j, kModeRelaxation, lo, up, type);
      e.coltype[j] = 'C';
    } else {
      e.coltype[j] = t;
      e.threshold[j] = m.threshold[j];
      if (t != 'C' && t != 'I') {
        // Binary, semi-continuous, semi-integer and partially integer
        // columns keep their bounds: they are part of the type.
        e.lb[j] = m.lb[j];
        e.ub[j] = m.ub[j];
        continue;
      }
      lo = m.lb[j] <= -KRVU_INFINITY ? -INFINITY : m.lb[j];
      up = m.ub[j] >= KRVU_INFINITY ? INFINITY : m.ub[j];
    }
    e.lb[j] = -KRVU_INFINITY;
    e.ub[j] = KRVU_INFINITY;
    auto add = [&](char kind, char type, double rhs) {
      Member mb;
      mb.col = j;
      mb.kind = kind;
      mb.erow = r + static_cast<int>(brows.size());
      mb.eup = type != 'G' ? 1 : -1;
      mb.elo = type != 'L' ? 1 : -1;
      members_.push_back(mb);
      brows.push_back({type, rhs});
      ti.push_back(mb.erow);
      tj.push_back(j);
      tv.push_back(1.0);
    };
    if (finite(lo) && finite(up) && lo == up) {
      add('F', 'E', lo);
    } else {
      if (finite(lo)) add('L', 'G', lo);
      if (finite(up)) add('U', 'L', up);
    }
  }
  e.append_rows(static_cast<int>(brows.size()));
  for (size_t k = 0; k < brows.size(); ++k) {
    e.rowtype[r + k] = brows[k].type;
    e.rhs[r + k] = brows[k].rhs;
  }
  // Elastic columns: +1 relaxes a lower limit, -1 an upper one.
  first_ecol_ = n;
  int ec = n;
  for (Member &mb : members_) {
    if (mb.eup > 0) {
      mb.eup = ec++;
      ti.push_back(mb.erow);
      tj.push_back(mb.eup);
      tv.push_back(-1.0);
    }
    if (mb.elo > 0) {
      mb.elo = ec++;
      ti.push_back(mb.erow);
      tj.push_back(mb.elo);
      tv.push_back(1.0);
    }
  }
  e.append_cols(ec - n);
  e.set_matrix_triplets(static_cast<int64_t>(ti.size()), ti.data(), tj.data(), tv.data());
  const std::string why = e.validate();
  if (!why.empty()) raise(KRVU_ERR_INTERNAL, "%s: elastic model: %s", func, why.c_str());

  if (integer_) main_.reset(new MipEngine(prob, em_, func));
  else main_.reset(new LpEngine(prob, em_, func));
  // Every elastic column starts at bounds [0, inf) and cost 0 (removed).
  pushed_up_.assign(ec - n, KRVU_INFINITY);
  pushed_cost_.assign(ec - n, 0.0);
  state_.assign(members_.size(), kRemoved);
}

ElasticSystem::~ElasticSystem() = default;

ElasticEngine &ElasticSystem::lp() {
  if (!integer_) return *main_;
  if (!lp_) lp_.reset(new LpEngine(prob_, em_, func_));
  return *lp_;
}

void ElasticSystem::push(ElasticEngine &eng, const std::vector<char> &states,
                         std::vector<double> *up_cache, std::vector<double> *cost_cache) {
  std::vector<int> cols;
  std::vector<double> up, cost;
  for (size_t k = 0; k < members_.size(); ++k) {
    const char s = states[k];
    const double u = s == kHard ? 0.0 : KRVU_INFINITY;
    const double c = s == kElastic ? 1.0 : 0.0;
    for (int col : {members_[k].eup, members_[k].elo}) {
      if (col < 0) continue;
      const int e = col - first_ecol_;
      if (up_cache && (*up_cache)[e] == u && (*cost_cache)[e] == c) continue;
      cols.push_back(col);
      up.push_back(u);
      cost.push_back(c);
      if (up_cache) {
        (*up_cache)[e] = u;
        (*cost_cache)[e] = c;
      }
    }
  }
  eng.set_columns(cols, up, cost);
}

void ElasticSystem::set_states(const std::vector<char> &states) {
  push(*main_, states, &pushed_up_, &pushed_cost_);
  state_ = states;
}

ElasticOutcome ElasticSystem::solve() {
  if (out_of_time()) return kStopped;
  if (prob_->data->solver->interrupt.load()) return kStopped;
  ElasticOutcome o = main_->solve(std::min(time_left(), 1e30));
  if (o != kViolated) return o;
  return violation() <= feastol_ ? kFeasible : kViolated;
}

std::vector<int> ElasticSystem::violated() {
  const std::vector<double> &x = main_->values();
  std::vector<int> out;
  const double tol = std::min(feastol_, 1e-7);
  for (int k = 0; k < members(); ++k) {
    if (state_[k] != kElastic) continue;
    double v = 0;
    if (members_[k].eup >= 0) v += x[members_[k].eup];
    if (members_[k].elo >= 0) v += x[members_[k].elo];
    if (v > tol) out.push_back(k);
  }
  return out;
}

double ElasticSystem::violation() { return main_->objective(); }

ElasticOutcome ElasticSystem::solve_relaxation(const std::vector<char> &states, double *violation,
                                               std::vector<double> *y) {
  if (!integer_) {
    set_states(states);
    ElasticOutcome o = solve();
    if (o == kFeasible || o == kViolated) {
      *violation = main_->objective();
      if (y) member_duals(*y);
    }
    return o;
  }
  ElasticEngine &eng = lp();
  push(eng, states, nullptr, nullptr);
  if (out_of_time()) return kStopped;
  ElasticOutcome o = eng.solve(std::min(time_left(), 1e30));
  if (o != kViolated) return o;
  *violation = eng.objective();
  if (y) {
    std::vector<double> rows;
    eng.row_duals(rows);
    y->resize(members_.size());
    for (size_t k = 0; k < members_.size(); ++k) (*y)[k] = rows[members_[k].erow];
  }
  return *violation <= feastol_ ? kFeasible : kViolated;
}

bool ElasticSystem::member_duals(std::vector<double> &y) {
  std::vector<double> rows;
  if (!main_->row_duals(rows)) return false;
  y.resize(members_.size());
  for (size_t k = 0; k < members_.size(); ++k) y[k] = rows[members_[k].erow];
  return true;
}

bool ElasticSystem::ray_support(std::vector<char> &support) {
  if (integer_) return false;
  std::vector<double> ray;
  if (!main_->dual_ray(ray)) return false;
  const int nr = em_.nrows();
  // Which rows are hard members (their limits hold), with their limits.
  std::vector<int> member_of(nr, -1);
  for (int k = 0; k < members(); ++k)
    if (state_[k] == kHard) member_of[members_[k].erow] = k;
  double scale = 0;
  for (double v : ray) scale = std::max(scale, std::fabs(v));
  if (scale == 0) return false;
  const double tol = 1e-9 * scale;
  for (double sign : {1.0, -1.0}) {
    bool ok = true;
    double limit = 0;
    for (int i = 0; i < nr && ok; ++i) {
      const double y = sign * ray[i];
      if (std::fabs(y) <= tol) continue;
      if (member_of[i] < 0) {
        ok = false;  // a row that is free (removed or not a member) cannot take part
        break;
      }
      double lo, up;
      row_bounds(em_, i, lo, up);
      // y > 0 uses the lower limit, y < 0 the upper one.
      const double b = y > 0 ? lo : up;
      if (std::isinf(b)) ok = false;
      else limit += y * b;
    }
    if (!ok) continue;
    // The combination must cancel every original column (they are free).
    double worst = 0;
    for (int j = 0; j < first_ecol_ && ok; ++j) {
      double c = 0, mag = 0;
      for (int64_t k = em_.mstart[j]; k < em_.mstart[j + 1]; ++k) {
        c += sign * ray[em_.mrwind[k]] * em_.dmatval[k];
        mag += std::fabs(ray[em_.mrwind[k]] * em_.dmatval[k]);
      }
      worst = std::max(worst, std::fabs(c) / std::max(mag, 1e-300));
      if (std::fabs(c) > 1e-9 * std::max(1.0, mag)) ok = false;
    }
    if (!ok || limit <= 1e-9 * std::max(1.0, scale)) continue;
    support.assign(members(), 0);
    for (int i = 0; i < nr; ++i)
      if (member_of[i] >= 0 && std::fabs(ray[i]) > tol) support[member_of[i]] = 1;
    return true;
  }
  return false;
}

double ElasticSystem::time_left() const {
  if (!has_deadline_) return 1e30;
  return std::chrono::duration<double>(deadline_ - std::chrono::steady_clock::now()).count();
}

int ElasticSystem::solves() const { return main_->solves + (lp_ ? lp_->solves : 0); }
long long ElasticSystem::iterations() const {
  return main_->iterations + (lp_ ? lp_->iterations : 0);
}

}  // namespace krvu
