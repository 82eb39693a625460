#include "lp/lp_worker.h"

#include <chrono>
#include <cmath>
#include <new>
#include <stdexcept>

#include "interfaces/highs_c_api.h"

namespace krvu {
namespace {

void on_event(int type, const char *, const HighsCallbackDataOut *, HighsCallbackDataIn *in,
              void *user) {
  const auto *flag = static_cast<const std::atomic<bool> *>(user);
  if (in && flag && flag->load(std::memory_order_relaxed) &&
      (type == kHighsCallbackSimplexInterrupt || type == kHighsCallbackIpmInterrupt))
    in->user_interrupt = 1;
}

}  // namespace

LpWorker::LpWorker(const LpModel &m, const LpWorkerOptions &opt,
                   const std::atomic<bool> *interrupt)
    : h_(Highs_create()), ncols_(m.ncols), nrows_(m.nrows), quadratic_(!m.qindex.empty()),
      interrupt_(interrupt) {
  if (!h_) throw std::bad_alloc();
  Highs_setBoolOptionValue(h_, "output_flag", 0);
  Highs_setBoolOptionValue(h_, "log_to_console", 0);
  // The node relaxations are re-solved from the parent's basis: presolve
  // would throw the basis away.
  Highs_setStringOptionValue(h_, "presolve", "off");
  if (!quadratic_) {
    Highs_setStringOptionValue(h_, "solver", "simplex");
    Highs_setIntOptionValue(h_, "simplex_strategy", 1);
  }
  Highs_setIntOptionValue(h_, "threads", opt.threads > 0 ? opt.threads : 1);
  Highs_setDoubleOptionValue(h_, "primal_feasibility_tolerance", opt.feastol);
  Highs_setDoubleOptionValue(h_, "dual_feasibility_tolerance", opt.opttol);
  Highs_setIntOptionValue(h_, "qp_iteration_limit", opt.qp_iterlimit);
  if (opt.timelimit > 0 && std::isfinite(opt.timelimit))
    Highs_setDoubleOptionValue(h_, "time_limit", opt.timelimit);
  if (interrupt_) {
    Highs_setCallback(h_, on_event, const_cast<std::atomic<bool> *>(interrupt_));
    Highs_startCallback(h_, kHighsCallbackSimplexInterrupt);
    Highs_startCallback(h_, kHighsCallbackIpmInterrupt);
  }
  const int nz = m.astart.empty() ? 0 : static_cast<int>(m.aindex.size());
  std::vector<int> astart(m.astart.begin(), m.astart.end());
  if (static_cast<int>(astart.size()) > m.ncols) astart.resize(m.ncols > 0 ? m.ncols : 1);
  if (astart.empty()) astart.push_back(0);
  int st;
  if (quadratic_) {
    std::vector<int> qstart(m.qstart.begin(), m.qstart.begin() + m.ncols);
    st = Highs_passModel(h_, m.ncols, m.nrows, nz, static_cast<int>(m.qindex.size()),
                         kHighsMatrixFormatColwise, kHighsHessianFormatTriangular,
                         kHighsObjSenseMinimize, m.offset, m.cost.data(), m.lb.data(), m.ub.data(),
                         m.rlo.data(), m.rup.data(), astart.data(), m.aindex.data(),
                         m.aval.data(), qstart.data(), m.qindex.data(), m.qval.data(), nullptr);
  } else {
    st = Highs_passLp(h_, m.ncols, m.nrows, nz, kHighsMatrixFormatColwise, kHighsObjSenseMinimize,
                      m.offset, m.cost.data(), m.lb.data(), m.ub.data(), m.rlo.data(),
                      m.rup.data(), astart.data(), m.aindex.data(), m.aval.data());
  }
  if (st == kHighsStatusError) {
    Highs_destroy(h_);
    throw std::runtime_error("the engine refused the search's relaxation");
  }
}

LpWorker::~LpWorker() { Highs_destroy(h_); }

void LpWorker::set_col_bounds(int n, const int *cols, const double *lo, const double *up) {
  if (n > 0) Highs_changeColsBoundsBySet(h_, n, cols, lo, up);
}

void LpWorker::set_row_bounds(int n, const int *rows, const double *lo, const double *up) {
  if (n > 0) Highs_changeRowsBoundsBySet(h_, n, rows, lo, up);
}

int LpWorker::add_rows(int n, const double *lo, const double *up,
                       const std::vector<int64_t> &start, const std::vector<int> &ind,
                       const std::vector<double> &val) {
  const int first = nrows_;
  if (n <= 0) return first;
  std::vector<int> s(start.begin(), start.begin() + n);
  Highs_addRows(h_, n, lo, up, static_cast<int>(start[n]), s.data(), ind.data(), val.data());
  nrows_ += n;
  return first;
}

void LpWorker::delete_rows_from(int first) {
  if (first >= nrows_) return;
  Highs_deleteRowsByRange(h_, first, nrows_ - 1);
  nrows_ = first;
}

void LpWorker::delete_rows(const std::vector<int> &rows) {
  if (rows.empty()) return;
  LpBasis b;
  get_basis(b);
  std::vector<int> keep;
  if (!b.empty()) {
    size_t d = 0;
    for (int i = 0; i < nrows_; ++i) {
      if (d < rows.size() && rows[d] == i) {
        ++d;
        continue;
      }
      keep.push_back(b.row[i]);
    }
  }
  auto strip = [&](std::vector<double> &v) {
    if (static_cast<int>(v.size()) != nrows_) return v.clear();
    size_t d = 0, o = 0;
    for (int i = 0; i < nrows_; ++i) {
      if (d < rows.size() && rows[d] == i) {
        ++d;
        continue;
      }
      v[o++] = v[i];
    }
    v.resize(o);
  };
  strip(ract_);
  strip(rdual_);
  std::vector<int> set(rows);
  Highs_deleteRowsBySet(h_, static_cast<int>(set.size()), set.data());
  nrows_ -= static_cast<int>(rows.size());
  if (!b.empty()) {
    b.row = keep;
    set_basis(b);
  }
}

void LpWorker::set_time_left(double seconds) {
  Highs_setDoubleOptionValue(h_, "time_limit", seconds > 0 ? seconds : 1e-3);
}

LpOutcome LpWorker::solve(int iterlimit) {
  if (iterlimit != last_limit_) {
    Highs_setIntOptionValue(h_, "simplex_iteration_limit",
                            iterlimit < 0 ? 2147483647 : iterlimit);
    last_limit_ = iterlimit;
  }
  Highs_zeroAllClocks(h_);
  const int rc = Highs_run(h_);
  int it = 0;
  Highs_getIntInfoValue(h_, quadratic_ ? "qp_iteration_count" : "simplex_iteration_count", &it);
  iters_ += it;
  const int ms = Highs_getModelStatus(h_);
  obj_ = Highs_getObjectiveValue(h_);
  auto fetch = [&] {
    x_.resize(ncols_);
    cdual_.resize(ncols_);
    ract_.resize(nrows_);
    rdual_.resize(nrows_);
    Highs_getSolution(h_, x_.data(), cdual_.data(), ract_.data(), rdual_.data());
  };
  switch (ms) {
    case kHighsModelStatusOptimal:
      fetch();
      return LpOutcome::kOptimal;
    case kHighsModelStatusInfeasible:
      return LpOutcome::kInfeasible;
    case kHighsModelStatusUnbounded:
    case kHighsModelStatusUnboundedOrInfeasible:
      return LpOutcome::kUnbounded;
    case kHighsModelStatusObjectiveBound:
    case kHighsModelStatusIterationLimit:
      return LpOutcome::kLimit;
    case kHighsModelStatusTimeLimit:
    case kHighsModelStatusInterrupt:
      return LpOutcome::kInterrupted;
    default:
      (void)rc;
      return LpOutcome::kError;
  }
}

void LpWorker::get_basis(LpBasis &b) const {
  b.col.resize(ncols_);
  b.row.resize(nrows_);
  if (Highs_getBasis(h_, b.col.data(), b.row.data()) == kHighsStatusError) {
    b.col.clear();
    b.row.clear();
  }
}

bool LpWorker::set_basis(const LpBasis &b) {
  if (static_cast<int>(b.col.size()) != ncols_) return false;
  if (static_cast<int>(b.row.size()) == nrows_)
    return Highs_setBasis(h_, b.col.data(), b.row.data()) != kHighsStatusError;
  // A basis from before rows were added: the new rows' slacks are basic.
  std::vector<int> rows(b.row);
  rows.resize(nrows_, kHighsBasisStatusBasic);
  return Highs_setBasis(h_, b.col.data(), rows.data()) != kHighsStatusError;
}

bool LpWorker::basic_variables(std::vector<int> &basic) const {
  basic.resize(nrows_);
  return Highs_getBasicVariables(h_, basic.data()) != kHighsStatusError;
}

bool LpWorker::tableau_row(int r, std::vector<double> &cols, std::vector<double> &binv) const {
  cols.assign(ncols_, 0.0);
  binv.assign(nrows_, 0.0);
  int nz = 0;
  if (Highs_getBasisInverseRow(h_, r, binv.data(), &nz, nullptr) == kHighsStatusError) return false;
  return Highs_getReducedRow(h_, r, cols.data(), &nz, nullptr) != kHighsStatusError;
}

bool LpWorker::binv_row(int r, std::vector<double> &binv) const {
  binv.assign(nrows_, 0.0);
  int nz = 0;
  return Highs_getBasisInverseRow(h_, r, binv.data(), &nz, nullptr) != kHighsStatusError;
}

}  // namespace krvu
