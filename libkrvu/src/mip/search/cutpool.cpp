#include "mip/search/cutpool.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace krvu {
namespace search {

namespace {

uint64_t mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  return h;
}

std::atomic<int64_t> g_next_id{1};

uint64_t bits(double d) {
  uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  return u;
}

bool same(const Cut &a, const Cut &b) {
  return a.ind == b.ind && a.val == b.val && a.lo == b.lo && a.up == b.up && a.origin == b.origin &&
         a.type == b.type;
}

}  // namespace

uint64_t CutPool::key(const Cut &c) const {
  uint64_t h = mix(bits(c.lo), bits(c.up));
  for (size_t k = 0; k < c.ind.size(); ++k) h = mix(mix(h, static_cast<uint64_t>(c.ind[k])), bits(c.val[k]));
  return h;
}

int64_t CutPool::add(Cut c, bool nodupl) {
  // Sorted entries make equal cuts compare equal.
  std::vector<std::pair<int, double>> e;
  for (size_t k = 0; k < c.ind.size(); ++k) e.push_back({c.ind[k], c.val[k]});
  std::sort(e.begin(), e.end());
  for (size_t k = 0; k < e.size(); ++k) {
    c.ind[k] = e[k].first;
    c.val[k] = e[k].second;
  }
  const uint64_t h = key(c);
  if (nodupl) {
    auto r = by_key_.equal_range(h);
    for (auto it = r.first; it != r.second; ++it)
      if (same(cuts_.at(it->second), c)) return it->second;
  }
  c.id = g_next_id.fetch_add(1, std::memory_order_relaxed);
  c.in_lp = false;
  by_key_.emplace(h, c.id);
  const int64_t id = c.id;
  cuts_.emplace(id, std::move(c));
  return id;
}

const Cut *CutPool::find(int64_t id) const {
  auto it = cuts_.find(id);
  return it == cuts_.end() ? nullptr : &it->second;
}

Cut *CutPool::find(int64_t id) {
  auto it = cuts_.find(id);
  return it == cuts_.end() ? nullptr : &it->second;
}

bool CutPool::remove(int64_t id) {
  auto it = cuts_.find(id);
  if (it == cuts_.end() || it->second.in_lp) return false;
  auto r = by_key_.equal_range(key(it->second));
  for (auto k = r.first; k != r.second; ++k)
    if (k->second == id) {
      by_key_.erase(k);
      break;
    }
  cuts_.erase(it);
  return true;
}

void CutPool::renumber(const std::vector<int> &newidx) {
  const int n = static_cast<int>(newidx.size());
  by_key_.clear();
  for (auto it = cuts_.begin(); it != cuts_.end();) {
    Cut &c = it->second;
    bool lost = false;
    for (int &j : c.ind)
      if (j < n) {
        lost = lost || newidx[j] < 0;
        j = newidx[j];
      }
    if (lost) {
      it = cuts_.erase(it);
      continue;
    }
    by_key_.emplace(key(c), it->first);
    ++it;
  }
}

std::vector<int64_t> CutPool::ids() const {
  std::vector<int64_t> v;
  v.reserve(cuts_.size());
  for (const auto &p : cuts_) v.push_back(p.first);
  return v;
}

static double activity(const Cut &c, const double *x) {
  long double a = 0;
  for (size_t k = 0; k < c.ind.size(); ++k) a += static_cast<long double>(c.val[k]) * x[c.ind[k]];
  return static_cast<double>(a);
}

double CutPool::violation(const Cut &c, const double *x) {
  const double a = activity(c, x);
  return std::max({0.0, c.lo - a, a - c.up});
}

double CutPool::efficacy(const Cut &c, const double *x) {
  double n2 = 0;
  for (double v : c.val) n2 += v * v;
  return n2 > 0 ? violation(c, x) / std::sqrt(n2) : 0.0;
}

double CutPool::slack(const Cut &c, const double *x) {
  const double a = activity(c, x);
  return std::min(a - c.lo, c.up - a);
}

}  // namespace search
}  // namespace krvu
