// What the cut-pool and node members of the API work on: the problem's pool
// of user cuts and its stored bound sets, kept with the problem between
// solves, and the search's node while one of its callbacks runs.
//
// User cuts are taken as valid for the whole problem: once in the pool, the
// search may put one into the relaxation of any node, and no solution that
// breaks one is accepted.  A cut's handle is its pool id in pointer form; it
// is looked up, never dereferenced.
#pragma once
#include <cstdint>
#include <list>
#include <vector>

#include "mip/search/cutpool.h"

struct krvu_prob_s;

namespace krvu {

struct StoredBounds {
  std::vector<int> cols;
  std::vector<char> type;  // 'L', 'U' or 'B'
  std::vector<double> val;
};

struct UserPool {
  // The user's cuts; while a search runs it keeps its own cuts here too (and
  // takes them out when it ends).
  search::CutPool cuts;
  std::list<StoredBounds> bounds;  // a list, so that their addresses stay
};

// The problem's pool, made on first use.
UserPool &user_pool(krvu_prob_s *prob);
// True when cuts or bound sets are stored: the automatic choice of
// mipoptimize then runs the library's search, which uses them.
bool user_pool_in_use(const krvu_prob_s *prob);
// After columns were deleted (newidx[j] the new index of column j, -1 for a
// deleted one): cuts over a deleted column leave the pool and stored bounds
// of one are dropped; the rest are renumbered.
void user_pool_renumber(krvu_prob_s *prob, const std::vector<int> &newidx);

inline void *cut_handle(int64_t id) { return reinterpret_cast<void *>(static_cast<uintptr_t>(id)); }
inline int64_t cut_id(const void *h) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(h)); }

// Cut types: interp -1 takes every cut, 1 the cuts of type itype, 2 those
// whose type shares a bit with itype, 3 those whose type has every bit of
// itype.
bool cut_type_matches(int type, int itype, int interp);

}  // namespace krvu
