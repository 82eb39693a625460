// Branching objects: branches of bound changes (and rows) built by a caller
// and handed to the search for the current node.
#include "core/branchobj.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/common.h"
#include "core/prob.h"
#include "mip/search/nodemembers.h"
#include "model/store.h"

namespace krvu {
namespace {

void check_bo(KRVUbranchobject bo, const char *func) {
  if (!bo) raise(KRVU_ERR_ARGUMENT, "%s: argument 'bo' must not be null", func);
  if (bo->magic != kMagicBo) raise(KRVU_ERR_ARGUMENT, "%s: argument 'bo' is not a valid branching object", func);
}

// The barrier of the branching-object functions: the text goes to the
// object (when it is one) and to the global last error.
template <class F>
int bo_guarded(KRVUbranchobject bo, const char *func, F &&body) noexcept {
  int code = 0;
  std::string msg;
  try {
    check_bo(bo, func);
    bo->lasterr_code = 0;
    bo->lasterr.clear();
    return body();
  } catch (const Error &e) {
    code = e.code;
    msg = e.what();
  } catch (const std::bad_alloc &) {
    code = KRVU_ERR_NOMEMORY;
    msg = std::string(func) + ": out of memory";
  } catch (const std::exception &e) {
    code = KRVU_ERR_INTERNAL;
    msg = std::string(func) + ": internal error: " + e.what();
  }
  if (bo && bo->magic == kMagicBo) {
    bo->lasterr_code = code;
    bo->lasterr = msg;
  }
  set_global_error(code, msg);
  return code;
}

BoBranch &branch_of(KRVUbranchobject bo, int ibranch, const char *func) {
  require_index(ibranch, static_cast<long long>(bo->branches.size()), func, "ibranch");
  return bo->branches[ibranch];
}

int ncols_of(KRVUbranchobject bo) {
  if (!bo->prob || bo->prob->magic != kMagicProb) return 0;
  return bo->prob->data->m.ncols();
}

}  // namespace

std::string bo_unusable(const krvu_bo_s *bo) {
  if (bo->branches.empty()) return "the branching object has no branches";
  for (size_t i = 0; i < bo->branches.size(); ++i) {
    const BoBranch &b = bo->branches[i];
    if (!b.rowtype.empty())
      return format("branch %zu holds rows, which the library's search does not take as a branching", i);
    // A cut deleted from the pool since it was added has nothing to load.
    for (int64_t id : b.cuts) {
      const search::Cut *c = bo->prob && bo->prob->userpool ? bo->prob->userpool->cuts.find(id) : nullptr;
      if (!c || c->origin != 'U') return format("branch %zu holds a cut that is no longer in the cut pool", i);
    }
  }
  return std::string();
}

}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVU_bo_create(KRVUbranchobject *p_bo, KRVUprob prob, int isoriginal) {
  return guarded_global("KRVU_bo_create", [&] {
    require_ptr(p_bo, "KRVU_bo_create", "p_bo");
    *p_bo = nullptr;
    check_prob(prob, "KRVU_bo_create");
    auto *bo = new krvu_bo_s();
    bo->prob = prob;
    bo->isoriginal = isoriginal ? 1 : 0;
    bo->id = static_cast<int>(attr_int(prob, KRVU_ATTR_CURRENTNODE));
    *p_bo = bo;
    return 0;
  });
}

int KRVU_bo_destroy(KRVUbranchobject bo) {
  return guarded_global("KRVU_bo_destroy", [&] {
    check_bo(bo, "KRVU_bo_destroy");
    bo->magic = kMagicDead;
    delete bo;
    return 0;
  });
}

int KRVU_bo_addbranches(KRVUbranchobject bo, int nbranches) {
  return bo_guarded(bo, "KRVU_bo_addbranches", [&] {
    if (nbranches < 0)
      raise(KRVU_ERR_ARGUMENT, "KRVU_bo_addbranches: 'nbranches' must not be negative (%d)", nbranches);
    bo->branches.resize(bo->branches.size() + nbranches);
    return 0;
  });
}

int KRVU_bo_getbranches(KRVUbranchobject bo, int *p_nbranches) {
  return bo_guarded(bo, "KRVU_bo_getbranches", [&] {
    require_ptr(p_nbranches, "KRVU_bo_getbranches", "p_nbranches");
    *p_nbranches = static_cast<int>(bo->branches.size());
    return 0;
  });
}

int KRVU_bo_setpriority(KRVUbranchobject bo, int priority) {
  return bo_guarded(bo, "KRVU_bo_setpriority", [&] {
    bo->priority = priority;
    return 0;
  });
}

int KRVU_bo_setpreferredbranch(KRVUbranchobject bo, int ibranch) {
  return bo_guarded(bo, "KRVU_bo_setpreferredbranch", [&] {
    branch_of(bo, ibranch, "KRVU_bo_setpreferredbranch");
    bo->preferred = ibranch;
    return 0;
  });
}

int KRVU_bo_addbounds(KRVUbranchobject bo, int ibranch, int nbounds, const char bndtype[],
                      const int colind[], const double bndval[]) {
  const char *F = "KRVU_bo_addbounds";
  return bo_guarded(bo, F, [&] {
    BoBranch &b = branch_of(bo, ibranch, F);
    if (nbounds < 0) raise(KRVU_ERR_ARGUMENT, "%s: 'nbounds' must not be negative (%d)", F, nbounds);
    if (nbounds == 0) return 0;
    require_ptr(bndtype, F, "bndtype");
    require_ptr(colind, F, "colind");
    require_ptr(bndval, F, "bndval");
    const int n = ncols_of(bo);
    for (int k = 0; k < nbounds; ++k) {
      if (bndtype[k] != 'L' && bndtype[k] != 'U' && bndtype[k] != 'B')
        raise(KRVU_ERR_ARGUMENT, "%s: bndtype[%d] = '%c' is not 'L', 'U' or 'B'", F, k, bndtype[k]);
      require_index(colind[k], n, F, "colind");
      if (std::isnan(bndval[k])) raise(KRVU_ERR_ARGUMENT, "%s: bndval[%d] is not a number", F, k);
    }
    b.bndtype.insert(b.bndtype.end(), bndtype, bndtype + nbounds);
    b.bndcol.insert(b.bndcol.end(), colind, colind + nbounds);
    b.bndval.insert(b.bndval.end(), bndval, bndval + nbounds);
    return 0;
  });
}

int KRVU_bo_getbounds(KRVUbranchobject bo, int ibranch, int *p_nbounds, int maxbounds,
                      char bndtype[], int colind[], double bndval[]) {
  const char *F = "KRVU_bo_getbounds";
  return bo_guarded(bo, F, [&] {
    const BoBranch &b = branch_of(bo, ibranch, F);
    require_ptr(p_nbounds, F, "p_nbounds");
    const int n = static_cast<int>(b.bndtype.size());
    *p_nbounds = n;
    const int k = std::max(0, std::min(n, maxbounds));
    if (bndtype) std::copy(b.bndtype.begin(), b.bndtype.begin() + k, bndtype);
    if (colind) std::copy(b.bndcol.begin(), b.bndcol.begin() + k, colind);
    if (bndval) std::copy(b.bndval.begin(), b.bndval.begin() + k, bndval);
    return 0;
  });
}

int KRVU_bo_addrows(KRVUbranchobject bo, int ibranch, int nrows, int nelems, const char rowtype[],
                    const double rhs[], const int start[], const int colind[], const double rowcoef[]) {
  const char *F = "KRVU_bo_addrows";
  return bo_guarded(bo, F, [&] {
    BoBranch &b = branch_of(bo, ibranch, F);
    if (nrows < 0 || nelems < 0)
      raise(KRVU_ERR_ARGUMENT, "%s: 'nrows' (%d) and 'nelems' (%d) must not be negative", F, nrows, nelems);
    if (nrows == 0) return 0;
    require_ptr(rowtype, F, "rowtype");
    require_ptr(rhs, F, "rhs");
    require_ptr(start, F, "start");
    if (nelems) {
      require_ptr(colind, F, "colind");
      require_ptr(rowcoef, F, "rowcoef");
    }
    const int n = ncols_of(bo);
    for (int i = 0; i < nrows; ++i) {
      if (rowtype[i] != 'L' && rowtype[i] != 'G' && rowtype[i] != 'E')
        raise(KRVU_ERR_ARGUMENT, "%s: rowtype[%d] = '%c' is not 'L', 'G' or 'E'", F, i, rowtype[i]);
      const int e = i + 1 < nrows ? start[i + 1] : nelems;
      if (start[i] < 0 || start[i] > e || e > nelems)
        raise(KRVU_ERR_ARGUMENT, "%s: start[%d] = %d is out of order or beyond nelems = %d", F, i, start[i], nelems);
    }
    for (int k = 0; k < nelems; ++k) require_index(colind[k], n, F, "colind");
    const int base = static_cast<int>(b.colind.size());
    for (int i = 0; i < nrows; ++i) {
      b.rowtype.push_back(rowtype[i]);
      b.rhs.push_back(rhs[i]);
      b.start.push_back(base + (i + 1 < nrows ? start[i + 1] : nelems) - start[0]);
    }
    b.colind.insert(b.colind.end(), colind + start[0], colind + nelems);
    b.rowcoef.insert(b.rowcoef.end(), rowcoef + start[0], rowcoef + nelems);
    return 0;
  });
}

int KRVU_bo_getrows(KRVUbranchobject bo, int ibranch, int *p_nrows, int maxrows, int *p_nelems,
                    int maxelems, char rowtype[], double rhs[], int start[], int colind[],
                    double rowcoef[]) {
  const char *F = "KRVU_bo_getrows";
  return bo_guarded(bo, F, [&] {
    const BoBranch &b = branch_of(bo, ibranch, F);
    const int nr = static_cast<int>(b.rowtype.size()), ne = static_cast<int>(b.colind.size());
    if (p_nrows) *p_nrows = nr;
    if (p_nelems) *p_nelems = ne;
    const int kr = std::max(0, std::min(nr, maxrows)), ke = std::max(0, std::min(ne, maxelems));
    if (rowtype) std::copy(b.rowtype.begin(), b.rowtype.begin() + kr, rowtype);
    if (rhs) std::copy(b.rhs.begin(), b.rhs.begin() + kr, rhs);
    if (start)
      for (int i = 0; i <= kr; ++i) start[i] = std::min(b.start[i], ke);
    if (colind) std::copy(b.colind.begin(), b.colind.begin() + ke, colind);
    if (rowcoef) std::copy(b.rowcoef.begin(), b.rowcoef.begin() + ke, rowcoef);
    return 0;
  });
}

int KRVU_bo_addcuts(KRVUbranchobject bo, int ibranch, int ncuts, void *const cutind[]) {
  const char *F = "KRVU_bo_addcuts";
  return bo_guarded(bo, F, [&] {
    BoBranch &b = branch_of(bo, ibranch, F);
    if (ncuts < 0) raise(KRVU_ERR_ARGUMENT, "%s: 'ncuts' must not be negative (%d)", F, ncuts);
    if (ncuts) require_ptr(cutind, F, "cutind");
    if (ncuts && (!bo->prob || bo->prob->magic != kMagicProb))
      raise(KRVU_ERR_STATE, "%s: the branching object has no problem whose cut pool holds the cuts", F);
    std::vector<int64_t> ids;
    for (int k = 0; k < ncuts; ++k) {
      const int64_t id = cut_id(cutind[k]);
      const search::Cut *c = user_pool(bo->prob).cuts.find(id);
      if (!c || c->origin != 'U')
        raise(KRVU_ERR_ARGUMENT, "%s: cutind[%d] is not a cut of the problem's pool", F, k);
      ids.push_back(id);
    }
    b.cuts.insert(b.cuts.end(), ids.begin(), ids.end());
    return 0;
  });
}

int KRVU_bo_getid(KRVUbranchobject bo, int *p_id) {
  return bo_guarded(bo, "KRVU_bo_getid", [&] {
    require_ptr(p_id, "KRVU_bo_getid", "p_id");
    *p_id = bo->id;
    return 0;
  });
}

int KRVU_bo_validate(KRVUbranchobject bo, int *p_status) {
  const char *F = "KRVU_bo_validate";
  return bo_guarded(bo, F, [&] {
    require_ptr(p_status, F, "p_status");
    std::string why = bo_unusable(bo);
    if (why.empty() && (!bo->prob || bo->prob->magic != kMagicProb || !bo->prob->node))
      why = "there is no current node (the object is used from inside a node callback)";
    *p_status = why.empty() ? 0 : 1;
    if (!why.empty()) {
      bo->lasterr_code = 0;
      bo->lasterr = why;
    }
    return 0;
  });
}

int KRVU_bo_store(KRVUbranchobject bo, int *p_status) {
  const char *F = "KRVU_bo_store";
  return bo_guarded(bo, F, [&] {
    require_ptr(p_status, F, "p_status");
    *p_status = 1;
    KRVUprob prob = bo->prob;
    if (!prob || prob->magic != kMagicProb || !prob->node || !prob->node->bo_target)
      raise(KRVU_ERR_STATE, "%s: a branching object is stored from inside an optnode callback only", F);
    std::string why = bo_unusable(bo);
    if (!why.empty()) raise(KRVU_ERR_ARGUMENT, "%s: %s", F, why.c_str());
    auto *slot = static_cast<KRVUbranchobject *>(prob->node->bo_target);
    if (*slot) KRVU_bo_destroy(*slot);
    *slot = bo;
    *p_status = 0;
    return 0;
  });
}

int KRVU_bo_getlasterror(KRVUbranchobject bo, int *p_code, char *msg, int maxbytes, int *p_length) {
  if (!bo || bo->magic != kMagicBo) return KRVU_ERR_ARGUMENT;
  if (p_code) *p_code = bo->lasterr_code;
  if (p_length) *p_length = static_cast<int>(bo->lasterr.size());
  if (msg && maxbytes > 0) {
    const size_t n = std::min(bo->lasterr.size(), static_cast<size_t>(maxbytes - 1));
    std::memcpy(msg, bo->lasterr.data(), n);
    msg[n] = '\0';
  }
  return 0;
}

}  // extern "C"
