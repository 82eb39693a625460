// What a problem tells the integer search beyond its model: directives per
// column (priority, preferred direction, initial pseudo-costs), rows the
// relaxation may leave out until they are violated (model cuts and delayed
// rows), and the rows and columns presolve must keep (secure vectors).
//
// They live in the model (ModelData::dirs), so that copies of a problem and
// the search's working copy carry them, and a model read from a file starts
// without any.
#pragma once
#include <vector>

#include "krvu.h"

namespace krvu {

// The priority of a column that has no directive; lower values are branched
// on first.
constexpr int kDefaultPriority = KRVU_DIR_DEFAULTPRIORITY;

struct Directive {
  int col = -1;
  int priority = kDefaultPriority;
  char dir = 'N';         // 'U' up branch first, 'D' down branch first, 'N' the search chooses
  double upcost = -1.0;   // initial pseudo-costs per unit of change; negative: none
  double downcost = -1.0;
};

struct MipDirectives {
  std::vector<Directive> dirs;          // by increasing column, at most one per column
  std::vector<int> modelcuts, delayed;  // rows, increasing; a row is in one of them at most
  std::vector<int> securerows, securecols;  // increasing

  // Whether the search has to serve any of them (secure vectors need no
  // search of ours: nothing removes rows or columns from the held problem).
  bool steers_search() const { return !dirs.empty() || !modelcuts.empty() || !delayed.empty(); }

  // Sets or updates the directives of the columns in d (later entries for
  // the same column win); with replace, the others are dropped first.
  void set_directives(std::vector<Directive> d, bool replace);
  // Marks rows as model cuts (lazy 1) or delayed rows (lazy 2); a row marked
  // the other way before changes kind.
  void mark_lazy(int n, const int *rows, int lazy);
  void mark_secure(int nrows, const int *rows, int ncols, const int *cols);

  // After a deletion: map[old] is the new index or -1 for a deleted one.
  void renumber_rows(const std::vector<int> &map);
  void renumber_cols(const std::vector<int> &map);
};

}  // namespace krvu
