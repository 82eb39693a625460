// The nonlinear part of a problem: formula coefficients, row and column
// properties.  Solving arrives with the successive linear programming solver;
// until then the solving calls fail with a clear text.
#include <algorithm>

#include "core/common.h"
#include "slp/slpprob.h"

using namespace krvu;

namespace {

void check_slp(KSLPprob slp, const char *func) {
  if (!slp) raise(KRVU_ERR_ARGUMENT, "%s: argument 'slp' must not be null", func);
  if (slp->magic != kMagicSlp)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'slp' is not a valid nonlinear problem handle", func);
}

template <class F>
int run(KSLPprob slp, const char *func, F &&body) noexcept {
  int rc = guarded_global(func, [&] {
    check_slp(slp, func);
    return body();
  });
  if (rc && slp && slp->magic == kMagicSlp) {
    char buf[512];
    int code = 0;
    KRVU_ge_getlasterror(&code, buf, sizeof buf, nullptr);
    slp->lasterr_code = code;
    slp->lasterr = buf;
  }
  return rc;
}

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
  return run(slp, "KSLPaddcoefs", [&] {
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
  return run(slp, "KSLPgetcoefs", [&] {
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
  return run(slp, "KSLPdelcoefs", [&] {
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
  return run(slp, "KSLPgetrowstatus", [&] {
    require_ptr(status, "KSLPgetrowstatus", "status");
    require_index(row, rows_of(slp), "KSLPgetrowstatus", "row");
    auto it = slp->rowstatus.find(row);
    *status = it == slp->rowstatus.end() ? 0 : it->second;
    return 0;
  });
}

int KSLPchgrowstatus(KSLPprob slp, int row, const int *status) {
  return run(slp, "KSLPchgrowstatus", [&] {
    require_ptr(status, "KSLPchgrowstatus", "status");
    require_index(row, rows_of(slp), "KSLPchgrowstatus", "row");
    slp->rowstatus[row] = *status;
    return 0;
  });
}

int KSLPchgvar(KSLPprob slp, int col, const int *detrow, const double *, const double *,
               const double *, const double *, const double *, const double *, const int *,
               const int *, const int *, const int *) {
  return run(slp, "KSLPchgvar", [&] {
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
  return run(slp, "KSLPdelvars", [&] {
    if (ncols < 0) raise(KRVU_ERR_ARGUMENT, "KSLPdelvars: 'ncols' must not be negative");
    for (int k = 0; k < ncols; ++k) slp->detrow.erase(colind[k]);
    return 0;
  });
}

int KSLPgetslpsol(KSLPprob slp, double *, double *, double *, double *) {
  return run(slp, "KSLPgetslpsol", [&]() -> int {
    raise(KRVU_ERR_STATE, "KSLPgetslpsol: there is no nonlinear solution");
  });
}

int KSLPnlpoptimize(KSLPprob slp, const char *) {
  return run(slp, "KSLPnlpoptimize", [&]() -> int {
    raise(KRVU_ERR_STATE,
          "KSLPnlpoptimize: this build of the library has no nonlinear solver; problems with "
          "nonlinear constraints or objectives cannot be solved yet");
  });
}

int KSLPunconstruct(KSLPprob slp) {
  return run(slp, "KSLPunconstruct", [&] { return 0; });
}

int KSLPpostsolve(KSLPprob slp) {
  return run(slp, "KSLPpostsolve", [&] { return 0; });
}

}  // extern "C"
