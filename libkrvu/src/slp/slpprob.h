// The record behind a KSLPprob handle.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/prob.h"
#include "kslp.h"

struct kslp_prob_s {
  uint32_t magic = krvu::kMagicSlp;
  KRVUprob prob = nullptr;  // the linear part; not owned
  int lasterr_code = 0;
  std::string lasterr;
  krvu::ParamValues params;
  KSLP_cbmessage msgcb = nullptr;
  void *msgdata = nullptr;
  KRVUprob current = nullptr;  // problem under evaluation in a user function

  struct Coef {
    int row, col;
    double factor;
    std::vector<int> types;
    std::vector<double> values;
  };
  std::vector<Coef> coefs;        // formula coefficients, in the order added
  std::map<int, int> rowstatus;   // row -> status bits
  std::map<int, int> detrow;      // column -> the row that determines it
};

namespace krvu {

inline void check_slp(KSLPprob slp, const char *func) {
  if (!slp) raise(KRVU_ERR_ARGUMENT, "%s: argument 'slp' must not be null", func);
  if (slp->magic != kMagicSlp)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'slp' is not a valid nonlinear problem handle", func);
}

// The barrier of the KSLP calls: like the problem barrier, keeping the text of
// a failure as the nonlinear problem's last error.
template <class F>
int slp_guarded(KSLPprob slp, const char *func, F &&body) noexcept {
  int rc = guarded_global(func, [&] {
    check_slp(slp, func);
    slp->lasterr_code = 0;
    slp->lasterr.clear();
    return body();
  });
  if (rc && slp && slp->magic == kMagicSlp) {
    int code = 0;
    char buf[512];
    KRVU_ge_getlasterror(&code, buf, sizeof buf, nullptr);
    slp->lasterr_code = code;
    slp->lasterr = buf;
  }
  return rc;
}

}  // namespace krvu
