// The search's cut pool: globally valid rows  lo <= a x <= up  over the
// working copy's columns, each under an id that stays the same for the whole
// search.  A cut is either also a row of the node relaxation (past the
// model's rows) or only in the pool.  Cuts that stay slack in a number of
// node relaxations are taken out of the relaxation and kept; pool cuts that a
// relaxation's solution violates are put back.
#pragma once
#include <cmath>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

namespace krvu {
namespace search {

struct Cut {
  int64_t id = -1;
  std::vector<int> ind;
  std::vector<double> val;
  double lo = -INFINITY, up = INFINITY;
  char origin = 'G';  // G Gomory, M rounding of a row, K knapsack cover, U user
  int type = 0;       // the user's type of a user cut
  int age = 0;        // node relaxations in a row in which it was slack
  bool in_lp = false;
  bool keep = false;  // never taken out of the relaxation
};

class CutPool {
 public:
  // Takes c (its id is assigned); with nodupl, a cut equal to one already
  // stored is not added again and the id of the stored one is returned.
  // Ids are unique in the process, so that the id of a deleted cut, or of
  // another problem's, never names a cut of this pool.
  int64_t add(Cut c, bool nodupl = true);
  const Cut *find(int64_t id) const;
  Cut *find(int64_t id);
  // Removes a cut that is not in the relaxation; false when there is none
  // such.
  bool remove(int64_t id);
  // Ids in the order the cuts were added.
  std::vector<int64_t> ids() const;
  std::map<int64_t, Cut>::iterator begin() { return cuts_.begin(); }
  std::map<int64_t, Cut>::iterator end() { return cuts_.end(); }
  std::map<int64_t, Cut>::const_iterator begin() const { return cuts_.begin(); }
  std::map<int64_t, Cut>::const_iterator end() const { return cuts_.end(); }
  // After columns were deleted (newidx[j] the new index of column j, -1 for
  // a deleted one): cuts over a deleted column leave, the rest are
  // renumbered.
  void renumber(const std::vector<int> &newidx);
  size_t size() const { return cuts_.size(); }

  // How far x is outside the cut (0 when it holds), and the same divided by
  // the norm of the cut's coefficients.
  static double violation(const Cut &c, const double *x);
  static double efficacy(const Cut &c, const double *x);
  // Activity minus the nearer finite limit's value, signed so that a
  // negative slack means violation.
  static double slack(const Cut &c, const double *x);

 private:
  uint64_t key(const Cut &c) const;
  std::map<int64_t, Cut> cuts_;  // by id, so in the order added
  std::unordered_multimap<uint64_t, int64_t> by_key_;
};

}  // namespace search
}  // namespace krvu
