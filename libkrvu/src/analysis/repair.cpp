// Infeasibility repair: a penalty problem whose relaxation columns let rows
// and bounds be violated at a cost, solved on a work problem; optionally a
// second phase with the original objective and the penalty held near its
// minimum.  The relaxed solution becomes the problem's solution.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/state.h"
#include "core/common.h"
#include "core/prob.h"
#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
AnalysisState &analysis_state(krvu_prob_s *prob);

namespace {

struct Preferences {
  const double *lrp, *grp, *lbp, *ubp;  // per row / column, null for 0
  const double *lrb, *grb, *lbb, *ubb;  // largest amounts, null for none
};

struct Relaxation {
  int col;     // column in the penalty model
  int kind;    // 0 row upper, 1 row lower, 2 column lower, 3 column upper
  int index;   // row or column
  double weight;
};

void check_array(const double *a, int n, const char *func, const char *arg, bool allow_inf) {
  if (!a) return;
  for (int k = 0; k < n; ++k) {
    if (std::isnan(a[k]) || a[k] < 0 || (!allow_inf && a[k] >= KRVU_INFINITY))
      raise(KRVU_ERR_ARGUMENT, "%s: %s[%d] = %g must be %s", func, arg, k, a[k],
            allow_inf ? "a non-negative amount (KRVU_INFINITY for no limit)"
                      : "a finite non-negative preference");
  }
}

class WorkProblem {
 public:
  explicit WorkProblem(krvu_prob_s *prob, const char *func) : func_(func) {
    if (KRVUcreateprob(&q)) raise(KRVU_ERR_INTERNAL, "%s: cannot create a work problem", func);
    KRVUcopycontrols(q, prob);
    KRVUsetintcontrol(q, KRVU_CTRL_OUTPUTLOG, 0);
  }
  ~WorkProblem() { KRVUdestroyprob(q); }
  void fail_if(int rc) {
    if (!rc) return;
    char msg[512];
    KRVUgetlasterror(q, msg);
    raise(q->lasterr_code ? q->lasterr_code : KRVU_ERR_SOLVER, "%s: %s", func_, msg);
  }
  KRVUprob q = nullptr;
  const char *func_;
};

int repair(krvu_prob_s *prob, const Preferences &pr, char penalty, char phase2, double delta,
           bool keep_integers, const char *optflags, const char *func) {
  const ModelData &m = read_model(prob);
  const int n = m.ncols(), r = m.nrows();
  if (!m.qrows.empty())
    raise(KRVU_ERR_STATE, "%s: the problem has quadratic rows; the repair takes linear rows only",
          func);
  if (penalty == 'q' && phase2 == 'o')
    raise(KRVU_ERR_ARGUMENT,
          "%s: the second phase needs the linear penalty ('c'): it bounds the penalty by a row",
          func);
  const bool entities =
      std::any_of(m.coltype.begin(), m.coltype.end(), [](char c) { return c != 'C'; }) ||
      m.nsets() > 0 || std::any_of(m.indcol.begin(), m.indcol.end(), [](int c) { return c >= 0; }) ||
      !m.gentype.empty() || !m.pwlcol.empty();
  const bool integer = entities && keep_integers;
  if (integer && penalty == 'q')
    raise(KRVU_ERR_ARGUMENT,
          "%s: the quadratic penalty is for continuous problems (or with integrality relaxed, 'r')",
          func);

  // The penalty model: the problem with relaxation columns and bound rows.
  ModelData pm = m;
  pm.objsense = 1.0;
  pm.objrhs = 0.0;
  std::fill(pm.obj.begin(), pm.obj.end(), 0.0);
  pm.qstart.clear();
  pm.qrow.clear();
  pm.qval.clear();
  if (!integer) {
    for (int j = 0; j < n; ++j) {
      const char t = pm.coltype[j];
      if (t == 'B') {
        pm.lb[j] = std::max(pm.lb[j], 0.0);
        pm.ub[j] = std::min(pm.ub[j], 1.0);
      } else if (t == 'S' || t == 'R') {
        pm.lb[j] = std::min(0.0, std::max(pm.lb[j], pm.threshold[j]));
      }
      pm.coltype[j] = 'C';
    }
    std::fill(pm.indcol.begin(), pm.indcol.end(), -1);
    std::fill(pm.indcomp.begin(), pm.indcomp.end(), 0);
    pm.settype.clear();
    pm.setstart.assign(1, 0);
    pm.setcol.clear();
    pm.setref.clear();
    pm.setnames.clear();
    pm.gentype.clear();
    pm.genres.clear();
    pm.gencolstart.assign(1, 0);
    pm.genvalstart.assign(1, 0);
    pm.gencol.clear();
    pm.genval.clear();
    pm.pwlcol.clear();
    pm.pwlres.clear();
    pm.pwlstart.assign(1, 0);
    pm.pwlx.clear();
    pm.pwly.clear();
  }
  std::vector<int> ti, tj;
  std::vector<double> tv;
  for (int j = 0; j < n; ++j)
    for (int64_t k = pm.mstart[j]; k < pm.mstart[j + 1]; ++k) {
      ti.push_back(pm.mrwind[k]);
      tj.push_back(j);
      tv.push_back(pm.dmatval[k]);
    }
  std::vector<Relaxation> rel;
  std::vector<double> relub;
  int ncol = n;
  auto add_col = [&](int kind, int index, double pref, const double *limit) {
    Relaxation x{ncol++, kind, index, 1.0 / pref};
    rel.push_back(x);
    relub.push_back(limit ? limit[index] : KRVU_INFINITY);
    return x.col;
  };
  for (int i = 0; i < r; ++i) {
    const char t = m.rowtype[i];
    const bool has_up = (t == 'L' || t == 'E' || t == 'R') && std::fabs(m.rhs[i]) < KRVU_INFINITY;
    const bool has_lo = (t == 'G' || t == 'E' || t == 'R') && std::fabs(m.rhs[i]) < KRVU_INFINITY;
    if (has_up && pr.lrp && pr.lrp[i] > 0) {
      ti.push_back(i);
      tj.push_back(add_col(0, i, pr.lrp[i], pr.lrb));
      tv.push_back(-1.0);
    }
    if (has_lo && pr.grp && pr.grp[i] > 0) {
      ti.push_back(i);
      tj.push_back(add_col(1, i, pr.grp[i], pr.grb));
      tv.push_back(1.0);
    }
  }
  // Relaxed bounds become rows x + q >= lb and x - u <= ub over the column
  // with that bound dropped (bounds of a column's type stay).
  struct BoundRow {
    char type;
    double rhs;
  };
  std::vector<BoundRow> brows;
  for (int j = 0; j < n; ++j) {
    const char t = m.coltype[j];
    if (t != 'C' && t != 'I') continue;
    if (pr.lbp && pr.lbp[j] > 0 && m.lb[j] > -KRVU_INFINITY) {
      const int row = r + static_cast<int>(brows.size());
      brows.push_back({'G', m.lb[j]});
      ti.push_back(row);
      tj.push_back(j);
      tv.push_back(1.0);
      ti.push_back(row);
      tj.push_back(add_col(2, j, pr.lbp[j], pr.lbb));
      tv.push_back(1.0);
      pm.lb[j] = -KRVU_INFINITY;
    }
    if (pr.ubp && pr.ubp[j] > 0 && m.ub[j] < KRVU_INFINITY) {
      const int row = r + static_cast<int>(brows.size());
      brows.push_back({'L', m.ub[j]});
      ti.push_back(row);
      tj.push_back(j);
      tv.push_back(1.0);
      ti.push_back(row);
      tj.push_back(add_col(3, j, pr.ubp[j], pr.ubb));
      tv.push_back(-1.0);
      pm.ub[j] = KRVU_INFINITY;
    }
  }
  pm.append_rows(static_cast<int>(brows.size()));
  for (size_t k = 0; k < brows.size(); ++k) {
    pm.rowtype[r + k] = brows[k].type;
    pm.rhs[r + k] = brows[k].rhs;
  }
  pm.append_cols(ncol - n);
  for (const Relaxation &x : rel) {
    pm.ub[x.col] = relub[x.col - n];
    if (penalty == 'c') pm.obj[x.col] = x.weight;
  }
  pm.mstart.assign(ncol + 1, 0);
  pm.mrwind.clear();
  pm.dmatval.clear();
  pm.set_matrix_triplets(static_cast<int64_t>(ti.size()), ti.data(), tj.data(), tv.data());
  if (penalty == 'q') {
    // 0.5 x'Qx with Q_jj = 2 w gives w x^2.
    std::vector<int> qc;
    std::vector<double> qv;
    for (const Relaxation &x : rel) {
      qc.push_back(x.col);
      qv.push_back(2.0 * x.weight);
    }
    pm.set_qobj_triplets(static_cast<int64_t>(qc.size()), qc.data(), qc.data(), qv.data());
  }

  WorkProblem w(prob, func);
  replace_model(w.q, std::move(pm), func);
  auto solve = [&](int *status, double *obj) {
    if (integer) {
      w.fail_if(KRVUmipoptimize(w.q, optflags));
      KRVUgetintattrib(w.q, KRVU_ATTR_MIPSTATUS, status);
      KRVUgetdblattrib(w.q, KRVU_ATTR_MIPBESTOBJVAL, obj);
      return *status == KRVU_MIP_OPTIMAL ? 0 : *status == KRVU_MIP_INFEAS ? 1
                                              : *status == KRVU_MIP_SOLUTION ? 2 : 3;
    }
    w.fail_if(KRVUlpoptimize(w.q, optflags));
    KRVUgetintattrib(w.q, KRVU_ATTR_LPSTATUS, status);
    KRVUgetdblattrib(w.q, KRVU_ATTR_LPOBJVAL, obj);
    return *status == KRVU_LP_OPTIMAL ? 0 : *status == KRVU_LP_INFEAS ? 1 : 3;
  };
  int st = 0;
  double v1 = 0;
  const int p1 = solve(&st, &v1);
  log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_REPAIR,
           "repair: %zu relaxation columns, first phase status %d, penalty %.10g", rel.size(), st,
           v1);
  if (p1 == 1) return 1;
  if (p1 == 3) return 2;
  const int wn = n + static_cast<int>(rel.size());
  std::vector<double> x(wn), dual, dj;
  auto read_solution = [&] {
    if (integer) {
      KRVUgetmipsol(w.q, x.data(), nullptr);
    } else {
      int wr = 0;
      KRVUgetintattrib(w.q, KRVU_ATTR_ROWS, &wr);
      dual.assign(wr, 0.0);
      dj.assign(wn, 0.0);
      KRVUgetlpsol(w.q, x.data(), nullptr, dual.data(), dj.data());
    }
  };
  read_solution();
  int result = p1 == 2 ? 2 : 0;
  if (phase2 == 'o') {
    // The penalty as a row, at most (1 + delta) times its minimum, and the
    // original objective.
    std::vector<int> cols;
    std::vector<double> vals;
    for (const Relaxation &x1 : rel) {
      cols.push_back(x1.col);
      vals.push_back(x1.weight);
    }
    const char lt = 'L';
    const double cap = v1 * (1 + delta) + 1e-9 * std::max(1.0, std::fabs(v1));
    const int64_t start = 0;
    w.fail_if(KRVUaddrows64(w.q, 1, static_cast<int64_t>(cols.size()), &lt, &cap, nullptr, &start,
                            cols.data(), vals.data()));
    std::vector<int> all(wn);
    std::vector<double> obj(wn, 0.0);
    for (int j = 0; j < wn; ++j) all[j] = j;
    for (int j = 0; j < n; ++j) obj[j] = m.obj[j];
    w.fail_if(KRVUchgobj(w.q, wn, all.data(), obj.data()));
    const int minus_one = -1;
    const double constant = m.objrhs;
    w.fail_if(KRVUchgobj(w.q, 1, &minus_one, &constant));
    if (!m.qstart.empty()) {
      std::vector<int> c1, c2;
      std::vector<double> qv;
      for (int j = 0; j < n; ++j)
        for (int64_t k = m.qstart[j]; k < m.qstart[j + 1]; ++k) {
          c1.push_back(m.qrow[k]);
          c2.push_back(j);
          qv.push_back(m.qval[k]);
        }
      w.fail_if(KRVUchgmqobj64(w.q, static_cast<int64_t>(c1.size()), c1.data(), c2.data(),
                               qv.data()));
    }
    w.fail_if(KRVUchgobjsense(w.q, m.objsense < 0 ? -1 : 1));
    double v2 = 0;
    const int p2 = solve(&st, &v2);
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_REPAIR,
             "repair: second phase status %d, objective %.10g", st, v2);
    if (p2 == 0 || p2 == 2) {
      read_solution();
      if (p2 == 2) result = 2;
    } else {
      result = 3;
    }
  }

  // The relaxed solution becomes the problem's solution.
  touch(prob, 0);
  SolverState &s = *prob->data->solver;
  std::vector<double> xs(x.begin(), x.begin() + n);
  double objval = -m.objrhs;
  for (int j = 0; j < n; ++j) objval += m.obj[j] * xs[j];
  if (!m.qstart.empty())
    for (int j = 0; j < n; ++j)
      for (int64_t k = m.qstart[j]; k < m.qstart[j + 1]; ++k)
        objval += (m.qrow[k] == j ? 0.5 : 1.0) * m.qval[k] * xs[j] * xs[m.qrow[k]];
  if (integer) {
    s.mipx = xs;
    s.has_mipsol = true;
    attr_set_int(prob, KRVU_ATTR_MIPSTATUS, result == 0 ? KRVU_MIP_OPTIMAL : KRVU_MIP_SOLUTION);
    attr_set_dbl(prob, KRVU_ATTR_MIPBESTOBJVAL, objval);
  } else {
    s.x = xs;
    s.slack = m.rhs;
    for (int j = 0; j < n; ++j)
      for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k)
        s.slack[m.mrwind[k]] -= m.dmatval[k] * xs[j];
    s.dual.assign(dual.begin(), dual.begin() + r);
    s.dj.assign(dj.begin(), dj.begin() + n);
    s.has_lpsol = true;
    attr_set_int(prob, KRVU_ATTR_LPSTATUS, result == 0 ? KRVU_LP_OPTIMAL : KRVU_LP_UNFINISHED);
    attr_set_dbl(prob, KRVU_ATTR_LPOBJVAL, objval);
  }
  RepairState &rs = analysis_state(prob).repair;
  rs = RepairState();
  rs.valid = true;
  rs.row_lower.assign(r, 0.0);
  rs.row_upper.assign(r, 0.0);
  rs.col_lower.assign(n, 0.0);
  rs.col_upper.assign(n, 0.0);
  double viol = 0;
  for (const Relaxation &x1 : rel) {
    const double a = std::max(0.0, x[x1.col]);
    viol += penalty == 'q' ? x1.weight * a * a : x1.weight * a;
    switch (x1.kind) {
      case 0: rs.row_upper[x1.index] = a; break;
      case 1: rs.row_lower[x1.index] = a; break;
      case 2: rs.col_lower[x1.index] = a; break;
      default: rs.col_upper[x1.index] = a; break;
    }
  }
  rs.violation = v1;
  attr_set_dbl(prob, 2310, v1);
  log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_REPAIR,
           "repair: status %d, penalty of the solution %.10g, objective %.10g", result, viol,
           objval);
  return result;
}

void check_phase(char phase2, double delta, const char *func) {
  if (phase2 != 'n' && phase2 != 'o')
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'phase2' = '%c' is not 'n' or 'o'", func,
          phase2 ? phase2 : '?');
  if (std::isnan(delta) || delta < 0)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'delta' = %g must be non-negative", func, delta);
}

int weighted(krvu_prob_s *prob, const Preferences &pr, char phase2, double delta,
             const char *optflags, const char *func) {
  check_phase(phase2, delta, func);
  const ModelData &m = read_model(prob);
  check_array(pr.lrp, m.nrows(), func, "lrp", false);
  check_array(pr.grp, m.nrows(), func, "grp", false);
  check_array(pr.lbp, m.ncols(), func, "lbp", false);
  check_array(pr.ubp, m.ncols(), func, "ubp", false);
  check_array(pr.lrb, m.nrows(), func, "lrb", true);
  check_array(pr.grb, m.nrows(), func, "grb", true);
  check_array(pr.lbb, m.ncols(), func, "lbb", true);
  check_array(pr.ubb, m.ncols(), func, "ubb", true);
  return repair(prob, pr, 'c', phase2, delta, true, optflags, func);
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUrepairinfeas(KRVUprob prob, int *status, char pflags, char oflags, char gflags,
                     double lrp, double grp, double lbp, double ubp, double delta) {
  const char *F = "KRVUrepairinfeas";
  return guarded(prob, F, [&] {
    require_ptr(status, F, "status");
    if (pflags != 'c' && pflags != 'q')
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'pflags' = '%c' is not 'c' or 'q'", F,
            pflags ? pflags : '?');
    if (gflags != 'n' && gflags != 'r')
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'gflags' = '%c' is not 'n' or 'r'", F,
            gflags ? gflags : '?');
    check_phase(oflags, delta, F);
    const double prefs[4] = {lrp, grp, lbp, ubp};
    const char *names[4] = {"lrp", "grp", "lbp", "ubp"};
    for (int k = 0; k < 4; ++k)
      if (std::isnan(prefs[k]) || prefs[k] < 0 || prefs[k] >= KRVU_INFINITY)
        raise(KRVU_ERR_ARGUMENT, "%s: argument '%s' = %g must be a finite non-negative preference",
              F, names[k], prefs[k]);
    const ModelData &m = read_model(prob);
    std::vector<double> lr(m.nrows(), lrp), gr(m.nrows(), grp), lb(m.ncols(), lbp),
        ub(m.ncols(), ubp);
    Preferences pr{lr.data(), gr.data(), lb.data(), ub.data(), nullptr, nullptr, nullptr, nullptr};
    *status = repair(prob, pr, pflags, oflags, delta, gflags == 'n', "", F);
    return 0;
  });
}

int KRVUrepairweightedinfeas(KRVUprob prob, int *status, const double lrp[], const double grp[],
                             const double lbp[], const double ubp[], char phase2, double delta,
                             const char *optflags) {
  const char *F = "KRVUrepairweightedinfeas";
  return guarded(prob, F, [&] {
    require_ptr(status, F, "status");
    Preferences pr{lrp, grp, lbp, ubp, nullptr, nullptr, nullptr, nullptr};
    *status = weighted(prob, pr, phase2, delta, optflags ? optflags : "", F);
    return 0;
  });
}

int KRVUrepairweightedinfeasbounds(KRVUprob prob, int *status, const double lrp[],
                                   const double grp[], const double lbp[], const double ubp[],
                                   char phase2, double delta, const double lrb[],
                                   const double grb[], const double lbb[], const double ubb[],
                                   const char *optflags) {
  const char *F = "KRVUrepairweightedinfeasbounds";
  return guarded(prob, F, [&] {
    require_ptr(status, F, "status");
    Preferences pr{lrp, grp, lbp, ubp, lrb, grb, lbb, ubb};
    *status = weighted(prob, pr, phase2, delta, optflags ? optflags : "", F);
    return 0;
  });
}

int KRVUgetrepairamounts(KRVUprob prob, double *violation, double row_lower[], double row_upper[],
                         double col_lower[], double col_upper[]) {
  const char *F = "KRVUgetrepairamounts";
  return guarded(prob, F, [&] {
    SolverState &s = *prob->data->solver;
    if (!s.analysis || !s.analysis->repair.valid)
      raise(KRVU_ERR_STATE, "%s: no repair has run since the problem was last changed or solved",
            F);
    const RepairState &rs = s.analysis->repair;
    if (violation) *violation = rs.violation;
    if (row_lower) std::copy(rs.row_lower.begin(), rs.row_lower.end(), row_lower);
    if (row_upper) std::copy(rs.row_upper.begin(), rs.row_upper.end(), row_upper);
    if (col_lower) std::copy(rs.col_lower.begin(), rs.col_lower.end(), col_lower);
    if (col_upper) std::copy(rs.col_upper.begin(), rs.col_upper.end(), col_upper);
    return 0;
  });
}

}  // extern "C"
