// Handing the model to the engine and reading results back.
#pragma once
#include <string>

#include "model/store.h"

struct krvu_prob_s;

namespace krvu {

class HighsSession;

enum EngineMode : int { kModeRelaxation = 1, kModeInteger = 2 };

// The problem's engine session, created on first use.
HighsSession &session(krvu_prob_s *prob);
// Makes the engine hold the model in the given mode: nothing when it already
// does, else one bulk pass of the whole model (then our basis, if any).
void sync_engine(krvu_prob_s *prob, int mode, const char *func);
// False when the quadratic objective is not convex for the objective sense
// (not concave when maximizing).
bool objective_convex(const ModelData &m);

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
