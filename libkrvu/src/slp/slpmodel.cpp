// The nonlinear part of a problem: formula coefficients, row and column
// properties.  Solving arrives with the successive linear programming solver;
// until then the solving calls fail with a clear text.
#include <algorithm>

#include "core/common.h"
#include "slp/slpprob.h"

using namespace krvu;

namespace {

int rows_of(KSLPprob slp) {
  int n = 0;
  KRVUgetintattrib(slp->prob, KRVU_ATTR_ORIGINALROWS, &n);
  return n;
}
int cols_of(KSLPprob slp) {
  int n = 0;
  KRVUgetintattrib(slp->prob, KRVU_ATTR_ORIGINALCOLS, &n);
  return n;
}

}  // namespace

extern "C" {

int KSLPaddcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[],
                 const double factor[], const int formulastart[], int parsed, const int type[],
                 const double value[]) {
  return slp_guarded(slp, "KSLPaddcoefs", [&] {
    if (ncoefs < 0) raise(KRVU_ERR_ARGUMENT, "KSLPaddcoefs: 'ncoefs' must not be negative");
    if (ncoefs == 0) return 0;
    require_ptr(rowindex, "KSLPaddcoefs", "rowindex");
    require_ptr(colindex, "KSLPaddcoefs", "colindex");
    require_ptr(formulastart, "KSLPaddcoefs", "formulastart");
    require_ptr(type, "KSLPaddcoefs", "type");
    require_ptr(value, "KSLPaddcoefs", "value");
    if (parsed != 1) raise(KRVU_ERR_ARGUMENT, "KSLPaddcoefs: only parsed formulas are accepted");
    int nrows = rows_of(slp), ncols = cols_of(slp);
    std::vector<kslp_prob_s::Coef> added;
    for (int k = 0; k < ncoefs; ++k) {
      require_index(rowindex[k], nrows, "KSLPaddcoefs", "rowindex");
      if (colindex[k] != -1) require_index(colindex[k], ncols, "KSLPaddcoefs", "colindex");
      kslp_prob_s::Coef c;
      c.row = rowindex[k];
      c.col = colindex[k];
      c.factor = factor ? factor[k] : 1.0;
      for (int t = formulastart[k];; ++t) {
        c.types.push_back(type[t]);
        c.values.push_back(value[t]);
        if (type[t] == 0) break;
        if (t - formulastart[k] > 1 << 24)
          raise(KRVU_ERR_ARGUMENT, "KSLPaddcoefs: formula %d has no end token", k);
      }
      added.push_back(std::move(c));
    }
    for (auto &c : added) slp->coefs.push_back(std::move(c));
    return 0;
  });
}

int KSLPgetcoefs(KSLPprob slp, int *ncoefs, int rowindex[], int colindex[]) {
  return slp_guarded(slp, "KSLPgetcoefs", [&] {
    require_ptr(ncoefs, "KSLPgetcoefs", "ncoefs");
    *ncoefs = static_cast<int>(slp->coefs.size());
    for (size_t k = 0; k < slp->coefs.size(); ++k) {
      if (rowindex) rowindex[k] = slp->coefs[k].row;
      if (colindex) colindex[k] = slp->coefs[k].col;
    }
    return 0;
  });
}

int KSLPdelcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[]) {
  return slp_guarded(slp, "KSLPdelcoefs", [&] {
    if (ncoefs < 0) raise(KRVU_ERR_ARGUMENT, "KSLPdelcoefs: 'ncoefs' must not be negative");
    if (ncoefs > 0) {
      require_ptr(rowindex, "KSLPdelcoefs", "rowindex");
      require_ptr(colindex, "KSLPdelcoefs", "colindex");
    }
    for (int k = 0; k < ncoefs; ++k) {
      auto &v = slp->coefs;
      v.erase(std::remove_if(v.begin(), v.end(),
                             [&](const kslp_prob_s::Coef &c) {
                               return c.row == rowindex[k] && c.col == colindex[k];
                             }),
              v.end());
    }
    return 0;
  });
}

int KSLPgetrowstatus(KSLPprob slp, int row, int *status) {
  return slp_guarded(slp, "KSLPgetrowstatus", [&] {
    require_ptr(status, "KSLPgetrowstatus", "status");
    require_index(row, rows_of(slp), "KSLPgetrowstatus", "row");
    auto it = slp->rowstatus.find(row);
    *status = it == slp->rowstatus.end() ? 0 : it->second;
    return 0;
  });
}

int KSLPchgrowstatus(KSLPprob slp, int row, const int *status) {
  return slp_guarded(slp, "KSLPchgrowstatus", [&] {
    require_ptr(status, "KSLPchgrowstatus", "status");
    require_index(row, rows_of(slp), "KSLPchgrowstatus", "row");
    slp->rowstatus[row] = *status;
    return 0;
  });
}

int KSLPchgvar(KSLPprob slp, int col, const int *detrow, const double *, const double *,
               const double *, const double *, const double *, const double *, const int *,
               const int *, const int *, const int *) {
  return slp_guarded(slp, "KSLPchgvar", [&] {
    require_index(col, cols_of(slp), "KSLPchgvar", "col");
    if (detrow) {
      if (*detrow != -1) require_index(*detrow, rows_of(slp), "KSLPchgvar", "detrow");
      if (*detrow == -1)
        slp->detrow.erase(col);
      else
        slp->detrow[col] = *detrow;
    }
    return 0;
  });
}

int KSLPdelvars(KSLPprob slp, int ncols, const int colind[]) {
  return slp_guarded(slp, "KSLPdelvars", [&] {
    if (ncols < 0) raise(KRVU_ERR_ARGUMENT, "KSLPdelvars: 'ncols' must not be negative");
    for (int k = 0; k < ncols; ++k) slp->detrow.erase(colind[k]);
    return 0;
  });
}

int KSLPgetslpsol(KSLPprob slp, double *, double *, double *, double *) {
  return slp_guarded(slp, "KSLPgetslpsol", [&]() -> int {
    raise(KRVU_ERR_STATE, "KSLPgetslpsol: there is no nonlinear solution");
  });
}

int KSLPnlpoptimize(KSLPprob slp, const char *) {
  return slp_guarded(slp, "KSLPnlpoptimize", [&]() -> int {
    raise(KRVU_ERR_STATE,
          "KSLPnlpoptimize: this build of the library has no nonlinear solver; problems with "
          "nonlinear constraints or objectives cannot be solved yet");
  });
}

int KSLPunconstruct(KSLPprob slp) {
  return slp_guarded(slp, "KSLPunconstruct", [&] { return 0; });
}

int KSLPpostsolve(KSLPprob slp) {
  return slp_guarded(slp, "KSLPpostsolve", [&] { return 0; });
}

}  // extern "C"
