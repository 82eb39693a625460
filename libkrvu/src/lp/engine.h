// Handing the model to the engine and reading results back.
#pragma once
#include <string>
#include <vector>

#include "model/store.h"

struct krvu_prob_s;

namespace krvu {

class HighsSession;

enum EngineMode : int { kModeRelaxation = 1, kModeInteger = 2 };

// Scale factors applied to the model handed to the engine (KRVUscale): the
// engine sees the rows multiplied by row[i] and the columns by col[j]
// (x = col * x'), all powers of two.  Empty when there is no such scaling.
struct EngineScaling {
  std::vector<double> row, col;
  bool active() const { return !row.empty() || !col.empty(); }
};

// Passes a whole model to a session's engine in the given mode, scaled when
// scale is not null (it must then match the model's sizes); a refusal carries
// the engine's reason.
void pass_model(HighsSession &hs, const ModelData &m, int mode, const EngineScaling *scale,
                const char *func);

// Brings a solution of the scaled model back to the problem's units: x and dj
// per column, the row activities and duals per row.
void unscale_solution(const EngineScaling &scale, std::vector<double> &x, std::vector<double> &dj,
                      std::vector<double> &act, std::vector<double> &dual);

// The problem's engine session, created on first use.
HighsSession &session(krvu_prob_s *prob);
// Makes the engine hold the model in the given mode: nothing when it already
// does, else one bulk pass of the whole model (then our basis, if any).
void sync_engine(krvu_prob_s *prob, int mode, const char *func);
// False when the quadratic objective is not convex for the objective sense
// (not concave when maximizing).
bool objective_convex(const ModelData &m);
// Whether the symmetric d x d matrix a (row-major, both triangles; destroyed)
// is positive semidefinite, entries within tol counting as zero.
bool dense_semidefinite(std::vector<double> &a, size_t d, double tol);
// Whether the symmetric d x d matrix a (row-major) less shift on its diagonal
// has a Cholesky factorization whose pivots exceed rel times the diagonal
// entries they come from.
bool dense_positive_definite(std::vector<double> a, size_t d, double shift = 0.0, double rel = 0.0);

// Engine bounds of a column and a row.
void col_bounds(const ModelData &m, int j, int mode, double &lo, double &up, int &type);
void row_bounds(const ModelData &m, int i, double &lo, double &up);

}  // namespace krvu

namespace krvu {
// In-place updates of the engine's copy after a change of bounds, row limits,
// costs or the objective sense/constant; each does nothing when the engine
// does not hold the model, and drops the copy if the engine refuses.
void push_col_bounds(krvu_prob_s *prob, int n, const int *cols);
void push_row_bounds(krvu_prob_s *prob, int n, const int *rows);
void push_costs(krvu_prob_s *prob, int n, const int *cols);
void push_objective(krvu_prob_s *prob);
void push_coef(krvu_prob_s *prob, int row, int col, double value);
}  // namespace krvu
