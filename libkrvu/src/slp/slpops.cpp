// Operations on a nonlinear problem between solves: bound tightening
// (KSLPpresolve), row scaling (KSLPscaling), forgetting or keeping the
// current point (KSLPreinitialize, KSLPsetcurrentiv), the linearisation at
// the current point, and the reports of evaluations and memory.
#include <algorithm>
#include <cmath>
#include <vector>

#include "kslp.h"
#include "model/store.h"
#include "slp/nlp.h"
#include "slp/slpprob.h"

using namespace krvu;
using namespace krvu::slp;

namespace {

constexpr double kInf = KRVU_INFINITY;

bool bounded(double v) { return std::fabs(v) < kInf; }

// The range of a row's linear activity over the bounds, with the number of
// infinite contributions on each side (so one column's share can be taken out).
struct Activity {
  double lo = 0, up = 0;
  int nlo = 0, nup = 0;
};

Activity activity(const Func &f, const std::vector<double> &lb, const std::vector<double> &ub) {
  Activity a;
  for (size_t k = 0; k < f.lin_col.size(); ++k) {
    int j = f.lin_col[k];
    double c = f.lin_val[k];
    double l = c > 0 ? lb[j] : ub[j], u = c > 0 ? ub[j] : lb[j];
    if (bounded(l)) a.lo += c * l; else ++a.nlo;
    if (bounded(u)) a.up += c * u; else ++a.nup;
  }
  return a;
}

}  // namespace

uint64_t slp::linear_fingerprint(const ModelData &md) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  auto add = [&](const void *p, size_t bytes) {
    const unsigned char *c = static_cast<const unsigned char *>(p);
    for (size_t k = 0; k < bytes; ++k) h = (h ^ c[k]) * 1099511628211ull;
  };
  auto vec = [&](const auto &v) { add(v.data(), v.size() * sizeof(v[0])); };
  vec(md.lb);
  vec(md.ub);
  vec(md.rowtype);
  vec(md.rhs);
  vec(md.range);
  vec(md.mstart);
  vec(md.mrwind);
  vec(md.dmatval);
  vec(md.coltype);
  return h;
}

int KSLPpresolve(KSLPprob slp) {
  return slp_guarded(slp, "KSLPpresolve", [&] {
    const char *F = "KSLPpresolve";
    const ModelData &md = read_model(slp->prob);
    Nlp P;
    P.build(slp, F, true);
    std::vector<double> lb = md.lb, ub = md.ub;
    const double tol = ctl_d(slp, KSLP_CTRL_FEASTOL);
    auto integral = [&](int j) { return md.coltype[j] == 'I' || md.coltype[j] == 'B'; };
    // Semi-continuous and partially integer columns keep their bounds: their
    // domain is not an interval.
    auto tightenable = [&](int j) { return md.coltype[j] == 'C' || integral(j); };
    for (int j = 0; j < P.n; ++j)
      if (md.coltype[j] == 'S' || md.coltype[j] == 'R') lb[j] = std::min(lb[j], 0.0);
    int tightened = 0;
    for (int round = 0; round < 20; ++round) {
      int changed = 0;
      for (int i = 0; i < P.m; ++i) {
        if (P.nonlinear_row[i] || P.eliminated_row[i]) continue;
        const Func &f = P.rows[i];
        if (f.lin_col.empty() || (P.rlo[i] <= -kInf && P.rup[i] >= kInf)) continue;
        Activity a = activity(f, lb, ub);
        if ((a.nup == 0 && P.rlo[i] > -kInf && a.up < P.rlo[i] - tol * (1 + std::fabs(P.rlo[i]))) ||
            (a.nlo == 0 && P.rup[i] < kInf && a.lo > P.rup[i] + tol * (1 + std::fabs(P.rup[i]))))
          raise(KRVU_ERR_STATE, "%s: row %s cannot be met within the bounds of its columns", F,
                row_name(md, i).c_str());
        for (size_t k = 0; k < f.lin_col.size(); ++k) {
          int j = f.lin_col[k];
          double c = f.lin_val[k];
          if (!tightenable(j) || c == 0.0) continue;
          double l = c > 0 ? lb[j] : ub[j], u = c > 0 ? ub[j] : lb[j];
          // The rest of the row's activity without column j.
          bool rest_lo_ok = a.nlo - (bounded(l) ? 0 : 1) == 0;
          bool rest_up_ok = a.nup - (bounded(u) ? 0 : 1) == 0;
          double rest_lo = a.lo - (bounded(l) ? c * l : 0.0), rest_up = a.up - (bounded(u) ? c * u : 0.0);
          double nl = -kInf, nu = kInf;  // bounds on c * x_j
          if (P.rup[i] < kInf && rest_lo_ok) nu = P.rup[i] - rest_lo;
          if (P.rlo[i] > -kInf && rest_up_ok) nl = P.rlo[i] - rest_up;
          double newlo = lb[j], newup = ub[j];
          if (c > 0) {
            if (bounded(nu)) newup = std::min(newup, nu / c);
            if (bounded(nl)) newlo = std::max(newlo, nl / c);
          } else {
            if (bounded(nu)) newlo = std::max(newlo, nu / c);
            if (bounded(nl)) newup = std::min(newup, nl / c);
          }
          // A little room against rounding; integers to the integers inside.
          if (newlo > lb[j]) newlo -= 1e-9 * std::max(1.0, std::fabs(newlo));
          if (newup < ub[j]) newup += 1e-9 * std::max(1.0, std::fabs(newup));
          if (integral(j)) {
            if (bounded(newlo)) newlo = std::ceil(newlo - 1e-6);
            if (bounded(newup)) newup = std::floor(newup + 1e-6);
          }
          bool moved = false;
          if (newlo > lb[j] + 1e-7 * std::max(1.0, std::fabs(lb[j]))) lb[j] = newlo, moved = true;
          if (newup < ub[j] - 1e-7 * std::max(1.0, std::fabs(ub[j]))) ub[j] = newup, moved = true;
          if (lb[j] > ub[j] + tol * (1 + std::fabs(ub[j])))
            raise(KRVU_ERR_STATE, "%s: the rows leave column %s no value within its bounds", F,
                  col_name(md, j).c_str());
          if (lb[j] > ub[j]) lb[j] = ub[j];
          if (moved) {
            ++changed;
            a = activity(f, lb, ub);
          }
        }
      }
      tightened += changed;
      if (!changed) break;
    }
    int fixed = 0;
    for (int j = 0; j < P.n; ++j) {
      if (md.coltype[j] == 'S' || md.coltype[j] == 'R') lb[j] = md.lb[j];
      if (lb[j] == ub[j] && md.lb[j] != md.ub[j]) ++fixed;
    }
    slp->pre_lb = lb;
    slp->pre_ub = ub;
    slp->pre_from = linear_fingerprint(md);
    slp_log(slp, KRVU_MSG_LOG, "Nonlinear presolve: %d bound changes, %d columns fixed", tightened, fixed);
    return 0;
  });
}

int KSLPscaling(KSLPprob slp) {
  return slp_guarded(slp, "KSLPscaling", [&] {
    const char *F = "KSLPscaling";
    Nlp P;
    P.build(slp, F, true);
    std::vector<double> x = held_point(slp, P.n);
    if (!P.cascade(x.data())) raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", F);
    std::vector<double> scale(P.m, 1.0), dense(P.n, 0.0);
    int scaled = 0, lo_exp = 0, hi_exp = 0;
    for (int i = 0; i < P.m; ++i) {
      if (!P.nonlinear_row[i] || P.eliminated_row[i]) continue;
      const Func &f = P.rows[i];
      double v;
      if (!P.gradient(f, x.data(), 1.0, dense.data(), &v))
        raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", F);
      double big = 0.0;
      for (int j : f.cols) {
        big = std::max(big, std::fabs(dense[j]));
        dense[j] = 0.0;
      }
      if (!(big > 0) || !std::isfinite(big)) continue;
      int e = std::clamp(static_cast<int>(std::lround(-std::log2(big))), -20, 20);
      if (e == 0) continue;
      scale[i] = std::ldexp(1.0, e);
      lo_exp = scaled ? std::min(lo_exp, e) : e;
      hi_exp = scaled ? std::max(hi_exp, e) : e;
      ++scaled;
    }
    slp->rowscale.swap(scale);
    if (scaled)
      slp_log(slp, KRVU_MSG_LOG, "Scaling: %d nonlinear rows scaled by 2^%d to 2^%d", scaled, lo_exp, hi_exp);
    else
      slp_log(slp, KRVU_MSG_LOG, "Scaling: no nonlinear row needs a factor");
    return 0;
  });
}

int KSLPreinitialize(KSLPprob slp) {
  return slp_guarded(slp, "KSLPreinitialize", [&] {
    slp->x.clear();
    slp->slack.clear();
    slp->dual.clear();
    slp->dj.clear();
    slp->fixed_err.clear();
    slp->lin = kslp_prob_s::Linearization();
    for (auto &[j, v] : slp->vars) {
      v.value = NAN;
      v.stepbound = 0.0;
      v.history = 0;
      v.converged = 0;
      v.lastactive = -1;
      v.laststep = 0.0;
    }
    set_attr_i(slp, KSLP_ATTR_NLPSTATUS, KSLP_NLPSTATUS_UNSTARTED);
    return 0;
  });
}

int KSLPsetcurrentiv(KSLPprob slp) {
  return slp_guarded(slp, "KSLPsetcurrentiv", [&] {
    const int n = static_cast<int>(read_model(slp->prob).ncols());
    std::vector<double> x = held_point(slp, n);
    for (int j = 0; j < n; ++j) slp->vars[j].initvalue = x[j];
    return 0;
  });
}

int KSLPupdatelinearization(KSLPprob slp) {
  return slp_guarded(slp, "KSLPupdatelinearization", [&] {
    const char *F = "KSLPupdatelinearization";
    Nlp P;
    P.build(slp, F, true);
    kslp_prob_s::Linearization lin;
    lin.x = held_point(slp, P.n);
    if (!P.cascade(lin.x.data())) raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", F);
    lin.rowvalue.assign(P.m, 0.0);
    lin.rowgrad.resize(P.m);
    lin.objgrad.assign(P.n, 0.0);
    double v;
    // The objective's gradient as the user states it (not the minimised form).
    if (!P.gradient(P.obj, lin.x.data(), 1.0, lin.objgrad.data(), &v))
      raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", F);
    std::vector<double> dense(P.n, 0.0);
    int rows = 0;
    size_t nnz = 0;
    for (int i = 0; i < P.m; ++i) {
      if (P.eliminated_row[i]) continue;
      const Func &f = P.rows[i];
      if (!f.nonlinear()) {
        if (!P.value(f, lin.x.data(), &lin.rowvalue[i]))
          raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", F);
        continue;
      }
      if (!P.gradient(f, lin.x.data(), 1.0, dense.data(), &lin.rowvalue[i]))
        raise(KRVU_ERR_SOLVER, "%s: a user function failed at the point", F);
      for (int j : f.cols) {
        lin.rowgrad[i].push_back({j, dense[j]});
        dense[j] = 0.0;
      }
      ++rows;
      nnz += lin.rowgrad[i].size();
    }
    slp->lin = std::move(lin);
    slp_log(slp, KRVU_MSG_LOG, "Linearisation at the current point: %d nonlinear rows, %zu partial derivatives",
            rows, nnz);
    return 0;
  });
}

int KSLPprintevalinfo(KSLPprob slp) {
  return slp_guarded(slp, "KSLPprintevalinfo", [&] {
    const auto &e = slp->evals;
    slp_log(slp, KRVU_MSG_LOG, "Evaluations: %lld function values, %lld gradients, in %lld solves",
            static_cast<long long>(e.values), static_cast<long long>(e.gradients),
            static_cast<long long>(e.solves));
    for (size_t k = 0; k < slp->userfuncs.size(); ++k) {
      const int64_t calls = k < e.user.size() ? e.user[k] : 0;
      slp_log(slp, KRVU_MSG_LOG, "  user function %s: %lld calls",
              slp->userfuncs[k].name.empty() ? format("%zu", k + 1).c_str() : slp->userfuncs[k].name.c_str(),
              static_cast<long long>(calls));
    }
    const auto &lin = slp->lin;
    if (lin.x.empty()) {
      slp_log(slp, KRVU_MSG_LOG, "No linearisation held");
    } else {
      size_t rows = 0, nnz = 0;
      for (const auto &g : lin.rowgrad)
        if (!g.empty()) ++rows, nnz += g.size();
      slp_log(slp, KRVU_MSG_LOG, "Linearisation held at a point of %zu columns: %zu nonlinear rows, %zu "
                                 "partial derivatives", lin.x.size(), rows, nnz);
    }
    return 0;
  });
}

int KSLPprintmemory(KSLPprob slp) {
  return slp_guarded(slp, "KSLPprintmemory", [&] {
    auto vec = [](const auto &v) { return v.capacity() * sizeof(v[0]); };
    size_t formulas = 0, tapes = 0;
    int compiled = 0;
    for (const auto &c : slp->coefs) {
      formulas += sizeof(c) + vec(c.types) + vec(c.values);
      if (c.tape) {
        ++compiled;
        tapes += sizeof(Tape) + vec(c.tape->code) + vec(c.tape->args) + vec(c.tape->columns) + vec(c.tape->users);
      }
    }
    size_t strings = 0, funcs = 0;
    for (const auto &s : slp->strings) strings += sizeof(s) + s.capacity();
    for (const auto &u : slp->userfuncs) funcs += sizeof(u) + u.name.capacity() + u.linkage.capacity();
    const size_t vars = slp->vars.size() * (sizeof(VarInfo) + 4 * sizeof(void *));
    const size_t rows = slp->rowstatus.size() * (2 * sizeof(int) + 4 * sizeof(void *));
    const size_t sol = vec(slp->x) + vec(slp->slack) + vec(slp->dual) + vec(slp->dj);
    size_t held = vec(slp->fixed_err) + vec(slp->rowscale) + vec(slp->pre_lb) + vec(slp->pre_ub) +
                  vec(slp->lin.x) + vec(slp->lin.rowvalue) + vec(slp->lin.objgrad);
    for (const auto &g : slp->lin.rowgrad) held += vec(g);
    const size_t total = formulas + tapes + strings + funcs + vars + rows + sol + held;
    slp_log(slp, KRVU_MSG_LOG, "Memory of the nonlinear problem: %zu bytes", total);
    slp_log(slp, KRVU_MSG_LOG, "  formulas: %zu coefficients, %zu bytes", slp->coefs.size(), formulas);
    slp_log(slp, KRVU_MSG_LOG, "  compiled formulas: %d, %zu bytes", compiled, tapes);
    slp_log(slp, KRVU_MSG_LOG, "  strings and user functions: %zu bytes", strings + funcs);
    slp_log(slp, KRVU_MSG_LOG, "  column and row properties: %zu bytes", vars + rows);
    slp_log(slp, KRVU_MSG_LOG, "  last solution: %zu bytes", sol);
    slp_log(slp, KRVU_MSG_LOG, "  presolve, scaling, held errors and linearisation: %zu bytes", held);
    return 0;
  });
}
