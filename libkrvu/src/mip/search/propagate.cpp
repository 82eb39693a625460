// Bound propagation over the rows: activity bounds of a row tighten the
// bounds of its integer columns (continuous ones are left as they are, which
// keeps the relaxations' numerics as the user gave them) and prove a node
// infeasible before its relaxation is solved.
#include <algorithm>
#include <cmath>

#include "mip/search/searcher.h"

namespace krvu {
namespace search {

bool Searcher::propagate_all() {
  std::vector<int> rows(m_);
  for (int i = 0; i < m_; ++i) rows[i] = i;
  return propagate(rows);
}

bool Searcher::propagate(std::vector<int> &queue) {
  const double tol = ctl_.feastol;
  std::vector<char> queued(m_, 0);
  std::vector<int> next;
  for (int pass = 0; pass < 20 && !queue.empty(); ++pass) {
    next.clear();
    for (int r : queue) queued[r] = 0;
    for (int r : queue) {
      if (indcol_[r] >= 0 && !indicator_active(r)) continue;
      const bool hasup = std::isfinite(rup_[r]), haslo = std::isfinite(rlo_[r]);
      if (!hasup && !haslo) continue;
      // Finite parts of the smallest and largest activity, and how many
      // infinite contributions each has.
      double minf = 0, maxf = 0;
      int mininf = 0, maxinf = 0;
      const int64_t b = rows_.start[r], e = rows_.start[r + 1];
      for (int64_t k = b; k < e; ++k) {
        const int j = rows_.colind[k];
        const double a = rows_.val[k];
        const double l = a > 0 ? lo_[j] : up_[j], u = a > 0 ? up_[j] : lo_[j];
        if (std::isfinite(l)) minf += a * l; else ++mininf;
        if (std::isfinite(u)) maxf += a * u; else ++maxinf;
      }
      const double scale = std::max(1.0, std::max(std::fabs(rlo_[r]), std::fabs(rup_[r])));
      if (hasup && mininf == 0 && minf > rup_[r] + tol * scale) return false;
      if (haslo && maxinf == 0 && maxf < rlo_[r] - tol * scale) return false;
      for (int64_t k = b; k < e; ++k) {
        const int j = rows_.colind[k];
        if (kind_[j] != kInt) continue;
        const double a = rows_.val[k];
        if (std::fabs(a) < 1e-9) continue;
        const double l = a > 0 ? lo_[j] : up_[j], u = a > 0 ? up_[j] : lo_[j];
        double nlo = lo_[j], nup = up_[j];
        // a x_j <= rup - (min activity of the rest)
        if (hasup && (mininf == 0 || (mininf == 1 && !std::isfinite(l)))) {
          const double rest = mininf == 0 ? minf - a * l : minf;
          const double v = (rup_[r] - rest) / a;
          if (a > 0) nup = std::min(nup, std::floor(v + 1e-6));
          else nlo = std::max(nlo, std::ceil(v - 1e-6));
        }
        if (haslo && (maxinf == 0 || (maxinf == 1 && !std::isfinite(u)))) {
          const double rest = maxinf == 0 ? maxf - a * u : maxf;
          const double v = (rlo_[r] - rest) / a;
          if (a > 0) nlo = std::max(nlo, std::ceil(v - 1e-6));
          else nup = std::min(nup, std::floor(v + 1e-6));
        }
        if (nlo <= lo_[j] && nup >= up_[j]) continue;
        if (nlo > nup + 0.5) return false;
        if (nlo > nup) nlo = nup;
        lo_[j] = std::max(lo_[j], nlo);
        up_[j] = std::min(up_[j], nup);
        for (int64_t q = lpm_.astart[j]; q < lpm_.astart[j + 1]; ++q) {
          const int i = lpm_.aindex[q];
          if (i != r && !queued[i]) {
            queued[i] = 1;
            next.push_back(i);
          }
        }
      }
    }
    queue.swap(next);
  }
  return true;
}

}  // namespace search
}  // namespace krvu
