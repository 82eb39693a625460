// Column properties by the array, step-bound types, distribution factors,
// tolerance sets, row weights, and what a solve leaves for each row and
// column.  Every function checks all its entries before it changes anything.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "core/common.h"
#include "model/store.h"
#include "slp/slpprob.h"

using namespace krvu;

namespace {

void check_count(int n, const char *func, const char *name) {
  if (n < 0) raise(KRVU_ERR_ARGUMENT, "%s: '%s' must not be negative", func, name);
}

void check_tolerances(const double *t, int n, const char *func) {
  for (int i = 0; i < n; ++i)
    if (!(t[i] >= 0 && t[i] < KRVU_INFINITY))
      raise(KRVU_ERR_ARGUMENT, "%s: tols[%d] must be finite and not negative", func, i);
}

int ntolsets(KSLPprob slp) { return static_cast<int>(slp->tolsets.size()); }

void set_vars(KSLPprob slp, bool replace_all, int ncols, const int colindex[], const int vartype[],
              const int detrow[], const int seqnum[], const int tolindex[], const double initvalue[],
              const double stepbound[], const char *F) {
  check_count(ncols, F, "ncols");
  if (ncols > 0) require_ptr(colindex, F, "colindex");
  const int n = slp::model_cols(slp), m = slp::model_rows(slp);
  std::set<int> seen;
  for (int k = 0; k < ncols; ++k) {
    require_index(colindex[k], n, F, "colindex");
    if (!seen.insert(colindex[k]).second)
      raise(KRVU_ERR_ARGUMENT, "%s: column %d is given twice", F, colindex[k]);
    if (vartype && (vartype[k] & ~3))
      raise(KRVU_ERR_ARGUMENT, "%s: vartype[%d] has bits other than 1 and 2", F, k);
    if (detrow && detrow[k] != -1) require_index(detrow[k], m, F, "detrow");
    if (seqnum && seqnum[k] < 0) raise(KRVU_ERR_ARGUMENT, "%s: seqnum[%d] must not be negative", F, k);
    if (tolindex && (tolindex[k] < 0 || tolindex[k] > ntolsets(slp)))
      raise(KRVU_ERR_ARGUMENT, "%s: tolindex[%d] names tolerance set %d, which does not exist (0..%d)", F, k,
            tolindex[k], ntolsets(slp));
    if (initvalue && std::isinf(initvalue[k]))
      raise(KRVU_ERR_ARGUMENT, "%s: initvalue[%d] must be finite (NaN: none)", F, k);
    if (stepbound && !(stepbound[k] >= 0 && stepbound[k] < KRVU_INFINITY))
      raise(KRVU_ERR_ARGUMENT, "%s: stepbound[%d] must be finite and not negative", F, k);
  }
  if (replace_all) {
    slp->vars.clear();
    slp->x.clear();
  }
  for (int k = 0; k < ncols; ++k) {
    slp::VarInfo &v = slp->vars[colindex[k]];
    if (vartype) v.vartype = vartype[k];
    if (detrow) v.detrow = detrow[k];
    if (seqnum) v.seqnum = seqnum[k];
    if (tolindex) v.tolset = tolindex[k];
    if (initvalue) v.initvalue = initvalue[k];
    if (stepbound) v.initstepbound = stepbound[k];
  }
  slp->constructed = false;
}

void set_dfs(KSLPprob slp, bool replace_all, int n, const int colindex[], const int rowindex[],
             const double value[], const char *F) {
  check_count(n, F, "ndfs");
  if (n > 0) {
    require_ptr(colindex, F, "colindex");
    require_ptr(rowindex, F, "rowindex");
    require_ptr(value, F, "value");
  }
  const int nc = slp::model_cols(slp), nr = slp::model_rows(slp);
  for (int k = 0; k < n; ++k) {
    require_index(colindex[k], nc, F, "colindex");
    require_index(rowindex[k], nr, F, "rowindex");
    if (!std::isfinite(value[k])) raise(KRVU_ERR_ARGUMENT, "%s: value[%d] must be finite", F, k);
  }
  if (replace_all) slp->dfs.clear();
  for (int k = 0; k < n; ++k) slp->dfs[{colindex[k], rowindex[k]}] = value[k];
}

// New sets test the tolerances they give (the nonzero ones).
void add_tolsets(KSLPprob slp, bool replace_all, int n, const double tols[], const char *F) {
  check_count(n, F, "ntolsets");
  if (n > 0) require_ptr(tols, F, "tols");
  check_tolerances(tols, 9 * n, F);
  std::vector<slp::TolSet> sets(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < 9; ++i) {
      sets[k].tol[i] = tols[9 * k + i];
      if (sets[k].tol[i] > 0) sets[k].status |= 1 << i;
    }
  if (replace_all) {
    slp->tolsets.clear();
    for (auto &[j, v] : slp->vars)
      if (v.tolset > n) v.tolset = 0;
  }
  slp->tolsets.insert(slp->tolsets.end(), sets.begin(), sets.end());
}

void check_set(KSLPprob slp, int set, const char *F) {
  if (set < 1 || set > ntolsets(slp))
    raise(KRVU_ERR_ARGUMENT, "%s: tolerance set %d does not exist (1..%d)", F, set, ntolsets(slp));
}

void put_info(void *info, int type, int64_t i, double d) {
  unsigned char *b = static_cast<unsigned char *>(info);
  if (type == 1) std::memcpy(b, &i, 8);
  else std::memcpy(b, &d, 8);
  std::memcpy(b + 8, &type, sizeof type);
}

bool have_solution(KSLPprob slp) {
  return slp->x.size() == static_cast<size_t>(slp::model_cols(slp)) &&
         slp->slack.size() == static_cast<size_t>(slp::model_rows(slp));
}

}  // namespace

extern "C" {

int KSLPaddvars(KSLPprob slp, int ncols, const int colindex[], const int vartype[], const int detrow[],
                const int seqnum[], const int tolindex[], const double initvalue[], const double stepbound[]) {
  return slp_guarded(slp, "KSLPaddvars", [&] {
    set_vars(slp, false, ncols, colindex, vartype, detrow, seqnum, tolindex, initvalue, stepbound,
             "KSLPaddvars");
    return 0;
  });
}

int KSLPloadvars(KSLPprob slp, int ncols, const int colindex[], const int vartype[], const int detrow[],
                 const int seqnum[], const int tolindex[], const double initvalue[], const double stepbound[]) {
  return slp_guarded(slp, "KSLPloadvars", [&] {
    set_vars(slp, true, ncols, colindex, vartype, detrow, seqnum, tolindex, initvalue, stepbound,
             "KSLPloadvars");
    return 0;
  });
}

int KSLPchgdeltatype(KSLPprob slp, int ncols, const int colindex[], const int deltatypes[],
                     const double values[]) {
  return slp_guarded(slp, "KSLPchgdeltatype", [&] {
    const char *F = "KSLPchgdeltatype";
    check_count(ncols, F, "ncols");
    if (ncols > 0) {
      require_ptr(colindex, F, "colindex");
      require_ptr(deltatypes, F, "deltatypes");
    }
    const int n = slp::model_cols(slp);
    for (int k = 0; k < ncols; ++k) {
      require_index(colindex[k], n, F, "colindex");
      int t = deltatypes[k];
      if (t < KSLP_DELTA_DEFAULT || t > KSLP_DELTA_NONE)
        raise(KRVU_ERR_ARGUMENT, "%s: deltatypes[%d] is %d, not a step-bound type (0..3)", F, k, t);
      if (t == KSLP_DELTA_ABSOLUTE || t == KSLP_DELTA_RELATIVE) {
        require_ptr(values, F, "values");
        if (!(values[k] > 0 && values[k] < KRVU_INFINITY))
          raise(KRVU_ERR_ARGUMENT, "%s: values[%d] must be finite and positive for step-bound type %d", F, k, t);
      }
    }
    for (int k = 0; k < ncols; ++k) {
      slp::VarInfo &v = slp->vars[colindex[k]];
      v.deltatype = deltatypes[k];
      v.deltavalue = values ? values[k] : 0.0;
    }
    return 0;
  });
}

int KSLPchgcascadenlimit(KSLPprob slp, int col, int limit) {
  return slp_guarded(slp, "KSLPchgcascadenlimit", [&] {
    const char *F = "KSLPchgcascadenlimit";
    require_index(col, slp::model_cols(slp), F, "col");
    if (limit < 0) raise(KRVU_ERR_ARGUMENT, "%s: 'limit' must not be negative", F);
    slp->vars[col].cascadelimit = limit;
    return 0;
  });
}

int KSLPadddfs(KSLPprob slp, int ndfs, const int colindex[], const int rowindex[], const double value[]) {
  return slp_guarded(slp, "KSLPadddfs", [&] {
    set_dfs(slp, false, ndfs, colindex, rowindex, value, "KSLPadddfs");
    return 0;
  });
}

int KSLPloaddfs(KSLPprob slp, int ndfs, const int colindex[], const int rowindex[], const double value[]) {
  return slp_guarded(slp, "KSLPloaddfs", [&] {
    set_dfs(slp, true, ndfs, colindex, rowindex, value, "KSLPloaddfs");
    return 0;
  });
}

int KSLPchgdf(KSLPprob slp, int col, int row, const double *value, double *result) {
  return slp_guarded(slp, "KSLPchgdf", [&] {
    const char *F = "KSLPchgdf";
    require_index(col, slp::model_cols(slp), F, "col");
    require_index(row, slp::model_rows(slp), F, "row");
    if (value && !std::isfinite(*value)) raise(KRVU_ERR_ARGUMENT, "%s: 'value' must be finite", F);
    if (value) slp->dfs[{col, row}] = *value;
    else slp->dfs.erase({col, row});
    if (result) *result = value ? *value : 0.0;
    return 0;
  });
}

int KSLPgetdf(KSLPprob slp, int col, int row, double *value) {
  return slp_guarded(slp, "KSLPgetdf", [&] {
    const char *F = "KSLPgetdf";
    require_ptr(value, F, "value");
    require_index(col, slp::model_cols(slp), F, "col");
    require_index(row, slp::model_rows(slp), F, "row");
    auto it = slp->dfs.find({col, row});
    *value = it == slp->dfs.end() ? 0.0 : it->second;
    return 0;
  });
}

int KSLPaddtolsets(KSLPprob slp, int ntolsets, const double tols[]) {
  return slp_guarded(slp, "KSLPaddtolsets", [&] {
    add_tolsets(slp, false, ntolsets, tols, "KSLPaddtolsets");
    return 0;
  });
}

int KSLPloadtolsets(KSLPprob slp, int ntolsets, const double tols[]) {
  return slp_guarded(slp, "KSLPloadtolsets", [&] {
    add_tolsets(slp, true, ntolsets, tols, "KSLPloadtolsets");
    return 0;
  });
}

int KSLPdeltolsets(KSLPprob slp, int n, const int index[]) {
  return slp_guarded(slp, "KSLPdeltolsets", [&] {
    const char *F = "KSLPdeltolsets";
    check_count(n, F, "ntolsets");
    if (n > 0) require_ptr(index, F, "index");
    std::vector<char> gone(static_cast<size_t>(ntolsets(slp)) + 1, 0);
    for (int k = 0; k < n; ++k) {
      check_set(slp, index[k], F);
      gone[index[k]] = 1;
    }
    // One map from old set numbers to new ones, for the sets and the columns.
    std::vector<int> newnum(gone.size(), 0);
    std::vector<slp::TolSet> kept;
    for (int s = 1; s < static_cast<int>(gone.size()); ++s)
      if (!gone[s]) {
        kept.push_back(slp->tolsets[s - 1]);
        newnum[s] = static_cast<int>(kept.size());
      }
    slp->tolsets.swap(kept);
    for (auto &[j, v] : slp->vars)
      if (v.tolset > 0) v.tolset = v.tolset < static_cast<int>(newnum.size()) ? newnum[v.tolset] : 0;
    return 0;
  });
}

int KSLPchgtolset(KSLPprob slp, int set, const int *status, const double tols[9]) {
  return slp_guarded(slp, "KSLPchgtolset", [&] {
    const char *F = "KSLPchgtolset";
    check_set(slp, set, F);
    if (status && (*status & ~0x1ff))
      raise(KRVU_ERR_ARGUMENT, "%s: 'status' has bits beyond the nine tolerances (0x1ff)", F);
    if (tols) check_tolerances(tols, 9, F);
    slp::TolSet &t = slp->tolsets[set - 1];
    if (tols) std::copy(tols, tols + 9, t.tol);
    if (status) t.status = *status;
    return 0;
  });
}

int KSLPgettolset(KSLPprob slp, int set, int *status, double tols[9]) {
  return slp_guarded(slp, "KSLPgettolset", [&] {
    check_set(slp, set, "KSLPgettolset");
    const slp::TolSet &t = slp->tolsets[set - 1];
    if (status) *status = t.status;
    if (tols) std::copy(t.tol, t.tol + 9, tols);
    return 0;
  });
}

int KSLPchgrowwt(KSLPprob slp, int row, const double *value) {
  return slp_guarded(slp, "KSLPchgrowwt", [&] {
    const char *F = "KSLPchgrowwt";
    require_index(row, slp::model_rows(slp), F, "row");
    if (value && !(*value > 0 && *value < KRVU_INFINITY))
      raise(KRVU_ERR_ARGUMENT, "%s: 'value' must be finite and positive", F);
    if (value && *value != 1.0) slp->rowwt[row] = *value;
    else slp->rowwt.erase(row);
    return 0;
  });
}

int KSLPgetrowwt(KSLPprob slp, int row, double *value) {
  return slp_guarded(slp, "KSLPgetrowwt", [&] {
    require_ptr(value, "KSLPgetrowwt", "value");
    require_index(row, slp::model_rows(slp), "KSLPgetrowwt", "row");
    auto it = slp->rowwt.find(row);
    *value = it == slp->rowwt.end() ? 1.0 : it->second;
    return 0;
  });
}

int KSLPgetrowinfo(KSLPprob slp, int infotype, int row, void *info) {
  return slp_guarded(slp, "KSLPgetrowinfo", [&] {
    const char *F = "KSLPgetrowinfo";
    require_ptr(info, F, "info");
    require_index(row, slp::model_rows(slp), F, "row");
    if (infotype < KSLP_ROWINFO_SLACK || infotype > KSLP_ROWINFO_PENALTYCOLUMNMINUSDJ)
      raise(KRVU_ERR_ARGUMENT, "%s: %d is not a row information type (1..13)", F, infotype);
    if (!have_solution(slp)) raise(KRVU_ERR_STATE, "%s: there is no nonlinear solution of the problem as it is", F);
    if (infotype == KSLP_ROWINFO_SLACK) return put_info(info, 2, 0, slp->slack[row]), 0;
    if (infotype == KSLP_ROWINFO_DUAL) return put_info(info, 2, 0, slp->dual[row]), 0;
    if (slp->rowinfo.size() != static_cast<size_t>(slp::model_rows(slp)))
      raise(KRVU_ERR_STATE, "%s: the last solve kept no penalty information (it did not use the SLP solver)", F);
    const slp::RowSolveInfo &r = slp->rowinfo[row];
    switch (infotype) {
      case KSLP_ROWINFO_NUMPENALTYERRORS: put_info(info, 1, r.nerrors, 0); break;
      case KSLP_ROWINFO_MAXPENALTYERROR: put_info(info, 2, 0, r.maxerror); break;
      case KSLP_ROWINFO_TOTALPENALTYERROR: put_info(info, 2, 0, r.totalerror); break;
      case KSLP_ROWINFO_CURRENTPENALTYERROR: put_info(info, 2, 0, r.error); break;
      case KSLP_ROWINFO_CURRENTPENALTYFACTOR: put_info(info, 2, 0, r.factor); break;
      case KSLP_ROWINFO_PENALTYCOLUMNPLUS: put_info(info, 1, r.plus, 0); break;
      case KSLP_ROWINFO_PENALTYCOLUMNPLUSVALUE: put_info(info, 2, 0, r.plusvalue); break;
      case KSLP_ROWINFO_PENALTYCOLUMNPLUSDJ: put_info(info, 2, 0, r.plusdj); break;
      case KSLP_ROWINFO_PENALTYCOLUMNMINUS: put_info(info, 1, r.minus, 0); break;
      case KSLP_ROWINFO_PENALTYCOLUMNMINUSVALUE: put_info(info, 2, 0, r.minusvalue); break;
      default: put_info(info, 2, 0, r.minusdj); break;
    }
    return 0;
  });
}

int KSLPgetcolinfo(KSLPprob slp, int infotype, int col, void *info) {
  return slp_guarded(slp, "KSLPgetcolinfo", [&] {
    const char *F = "KSLPgetcolinfo";
    require_ptr(info, F, "info");
    require_index(col, slp::model_cols(slp), F, "col");
    if (infotype < KSLP_COLINFO_VALUE || infotype > KSLP_COLINFO_SBDUAL)
      raise(KRVU_ERR_ARGUMENT, "%s: %d is not a column information type (1..8)", F, infotype);
    slp::VarInfo v;
    auto it = slp->vars.find(col);
    if (it != slp->vars.end()) v = it->second;
    switch (infotype) {
      case KSLP_COLINFO_VALUE: {
        double x = slp->x.size() > static_cast<size_t>(col) ? slp->x[col] : std::isfinite(v.value) ? v.value : 0.0;
        put_info(info, 2, 0, x);
        return 0;
      }
      case KSLP_COLINFO_DELTA: put_info(info, 2, 0, v.laststep); return 0;
      case KSLP_COLINFO_SB: put_info(info, 2, 0, v.stepbound); return 0;
      default: break;
    }
    if (!have_solution(slp)) raise(KRVU_ERR_STATE, "%s: there is no nonlinear solution of the problem as it is", F);
    if (infotype == KSLP_COLINFO_RDJ) return put_info(info, 2, 0, slp->dj[col]), 0;
    if (slp->colinfo.size() != static_cast<size_t>(slp::model_cols(slp)))
      raise(KRVU_ERR_STATE, "%s: the last solve kept no step information (it did not use the SLP solver)", F);
    const slp::ColSolveInfo &c = slp->colinfo[col];
    switch (infotype) {
      case KSLP_COLINFO_DELTAINDEX: put_info(info, 1, c.deltaindex, 0); break;
      case KSLP_COLINFO_DELTADJ: put_info(info, 2, 0, c.deltadj); break;
      case KSLP_COLINFO_UPDATEROW: put_info(info, 1, c.updaterow, 0); break;
      default: put_info(info, 2, 0, c.sbdual); break;
    }
    return 0;
  });
}

}  // extern "C"
