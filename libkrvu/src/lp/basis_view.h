// A basic solution held by an engine instance, seen in the problem's own
// units: the basis solves, the ratio test and the ranging work on it.
//
// Variables are numbered in the combined form: slack i (rhs - activity of row
// i) is i, column j is rows + j.  The rows read A x + s = rhs, so the basis
// matrix B holds A's column for a basic column and e_i for a basic slack.
#pragma once
#include <vector>

#include "lp/engine.h"
#include "model/store.h"

struct krvu_prob_s;

namespace krvu {

struct BasisView {
  void *h = nullptr;                      // engine instance holding the model and a basis
  const ModelData *m = nullptr;
  const EngineScaling *scale = nullptr;   // the engine's copy is scaled by this (or null)
  std::vector<int> basic;                 // combined variable at each position
  std::vector<int> pos;                   // position of each combined variable, -1 nonbasic

  int rows() const { return m->nrows(); }
  int vars() const { return m->nrows() + m->ncols(); }
  // Scale of a combined variable in the engine's copy (z = s * z'), and of a row.
  double var_scale(int k) const;
  double row_scale(int i) const;
};

// The problem's basis on its own engine session: the session is brought to the
// relaxation with the problem's basis.  Fails (KRVU_ERR_STATE) without a basis.
BasisView problem_basis(krvu_prob_s *prob, const char *func);
// The basis an engine instance holds for the unscaled model m.
BasisView engine_basis(void *h, const ModelData &m, const char *func);

// v (one entry per row) becomes B^-1 v (one entry per position).
void ftran(const BasisView &b, std::vector<double> &v, const char *func);
// v (one entry per position) becomes B^-T v (one entry per row).
void btran(const BasisView &b, std::vector<double> &v, const char *func);
// The same on the engine's own (scaled) copy of B, when scaled is true.
void ftran_raw(const BasisView &b, std::vector<double> &v, bool scaled, const char *func);
void btran_raw(const BasisView &b, std::vector<double> &v, bool scaled, const char *func);

// Column of the combined variable k in [A I], as (row, value) pairs, times
// the engine's scale when scaled is true.
void var_column(const BasisView &b, int k, bool scaled, std::vector<std::pair<int, double>> &col);
// Bounds of a combined variable in the problem's units (+-inf for none), as
// the relaxation sees them.
void var_bounds(const ModelData &m, int k, double &lo, double &up);

// A solution in the combined form.
struct CombinedSolution {
  std::vector<double> z;   // slacks, then columns
  std::vector<double> d;   // reduced costs: -dual for slacks, dj for columns
  std::vector<int> stat;   // 0 at lower, 1 basic, 2 at upper, 3 free, of z (slacks: of s, not
                           // of the activity)
};
CombinedSolution combine(const ModelData &m, const std::vector<double> &x,
                         const std::vector<double> &slack, const std::vector<double> &dual,
                         const std::vector<double> &dj, const std::vector<int> &rstat,
                         const std::vector<int> &cstat);

// Intervals [lo, hi] of a change of the cost of column j (obj) or of the
// right-hand side of row i (rhs) over which the basis stays optimal, in
// changes from the current value; the problem's objective sense applies.
void cost_range(const BasisView &b, const CombinedSolution &s, int j, double &lo, double &hi,
                const char *func);
void rhs_range(const BasisView &b, const CombinedSolution &s, int i, double &lo, double &hi,
               const char *func);

}  // namespace krvu
