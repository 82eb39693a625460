// Argument checks shared by the model functions; each throws krvu::Error with
// the function and argument named.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/common.h"
#include "core/prob.h"
#include "model/store.h"

namespace krvu {

inline void require_count(int64_t n, const char *func, const char *arg) {
  if (n < 0) raise(KRVU_ERR_ARGUMENT, "%s: count '%s' is negative (%lld)", func, arg,
                   static_cast<long long>(n));
}

// Every entry of idx[0..n) must lie in [0, limit).
inline void require_indices(int64_t n, const int *idx, int64_t limit, const char *func,
                            const char *arg) {
  if (n > 0) require_ptr(idx, func, arg);
  for (int64_t k = 0; k < n; ++k)
    if (idx[k] < 0 || idx[k] >= limit)
      raise(KRVU_ERR_ARGUMENT, "%s: %s[%lld] = %d is out of range [0, %lld)", func, arg,
            static_cast<long long>(k), idx[k], static_cast<long long>(limit));
}

// An inclusive range first..last inside [0, limit); empty ranges are refused.
inline void require_range(int first, int last, int limit, const char *func, const char *what) {
  if (first < 0 || first >= limit)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'first' = %d is out of range [0, %d) of %s", func,
          first, limit, what);
  if (last < first || last >= limit)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'last' = %d is out of range [%d, %d) of %s", func,
          last, first, limit, what);
}

// Bounds and right-hand sides may be infinite (no limit), never NaN.
inline void require_finite(double v, const char *func, const char *arg, int64_t k) {
  if (std::isnan(v))
    raise(KRVU_ERR_ARGUMENT, "%s: %s[%lld] is not a number", func, arg, static_cast<long long>(k));
}

// A lower bound of +infinity (or an upper bound of -infinity) leaves a column
// no value at all; the engine refuses such a model, so it is refused here,
// where it enters.
inline void require_lower(double v, const char *func, const char *arg, int64_t k) {
  require_finite(v, func, arg, k);
  if (v >= KRVU_INFINITY)
    raise(KRVU_ERR_ARGUMENT, "%s: %s[%lld] is a lower bound of +infinity", func, arg, static_cast<long long>(k));
}
inline void require_upper(double v, const char *func, const char *arg, int64_t k) {
  require_finite(v, func, arg, k);
  if (v <= -KRVU_INFINITY)
    raise(KRVU_ERR_ARGUMENT, "%s: %s[%lld] is an upper bound of -infinity", func, arg, static_cast<long long>(k));
}

// A row whose activity must reach +infinity (a G or E row with a right-hand
// side of +infinity, an L or E row with -infinity, a range row past them) can
// never hold; refused where it enters.
inline void require_row_limits(char type, double rhs, double range, const char *func, const char *what,
                               int64_t k) {
  const double lo = type == 'G' || type == 'E' ? rhs : type == 'R' ? rhs - range : -KRVU_INFINITY;
  const double up = type == 'L' || type == 'E' || type == 'R' ? rhs : KRVU_INFINITY;
  if ((type != 'N' && type != 'L' && lo >= KRVU_INFINITY) || (type != 'N' && type != 'G' && up <= -KRVU_INFINITY))
    raise(KRVU_ERR_ARGUMENT, "%s: %s %lld (type '%c', right-hand side %g) can never hold: its limit is infinite",
          func, what, static_cast<long long>(k), type, rhs);
}

// Coefficients (matrix, objective, quadratic, breakpoints) must be finite.
inline void require_coef(double v, const char *func, const char *arg, int64_t k) {
  require_finite(v, func, arg, k);
  if (std::isinf(v))
    raise(KRVU_ERR_ARGUMENT, "%s: %s[%lld] is infinite; coefficients must be finite", func, arg,
          static_cast<long long>(k));
}

inline void require_rowtype(char c, const char *func, const char *arg, int64_t k) {
  if (!c || !std::strchr("LGERN", c))
    raise(KRVU_ERR_ARGUMENT, "%s: %s[%lld] = '%c' is not a row type (L, G, E, R or N)", func, arg,
          static_cast<long long>(k), c ? c : '?');
}

inline void require_coltype(char c, const char *func, const char *arg, int64_t k) {
  if (!c || !std::strchr("CBISRP", c))
    raise(KRVU_ERR_ARGUMENT, "%s: %s[%lld] = '%c' is not a column type (C, B, I, S, R or P)",
          func, arg, static_cast<long long>(k), c ? c : '?');
}

// Starts of a compressed matrix of n vectors ending at ncoefs: non-decreasing,
// within [0, ncoefs].
inline void require_starts(int n, const int64_t *start, int64_t ncoefs, const char *func,
                           const char *arg) {
  if (n > 0 && ncoefs > 0) require_ptr(start, func, arg);
  if (!start) return;
  for (int k = 0; k < n; ++k) {
    int64_t end = k + 1 < n ? start[k + 1] : ncoefs;
    if (start[k] < 0 || start[k] > end || end > ncoefs)
      raise(KRVU_ERR_ARGUMENT, "%s: %s[%d] = %lld does not fit the %lld coefficients", func, arg,
            k, static_cast<long long>(start[k]), static_cast<long long>(ncoefs));
  }
}

}  // namespace krvu
