#include "lp/solver_state.h"

#include "analysis/state.h"
#include "core/prob.h"
#include "lp/highs_session.h"
#include "model/store.h"
#include "params/table.h"

namespace krvu {

SolverState::SolverState() = default;
SolverState::~SolverState() = default;

void touch(krvu_prob_s *prob, int change) {
  require_idle(prob);
  SolverState &s = *prob->data->solver;
  s.has_lpsol = s.has_mipsol = s.has_pray = s.has_dray = false;
  s.unbvec = -1;
  if (s.analysis) s.analysis->on_change();
  // Our basis copy survives structural changes: the functions that add or
  // delete rows and columns keep it aligned, and the engine checks it.
  if (change & kChangeStructure) {
    s.synced = false;
    s.start_x.clear();  // a MIP start no longer fits a changed set of columns
    s.start_cols.clear();
    s.lp_start.clear();
  }
  // Every model change passes here: the statuses' places are looked up once.
  static const int lp = param_index(KRVU_ATTR_LPSTATUS), mip = param_index(KRVU_ATTR_MIPSTATUS),
                   other = param_index(1009);
  prob->params.v[lp].i = prob->params.v[mip].i = prob->params.v[other].i = 0;
  if (change & kChangeStructure) {
    prob->data->rows_valid = false;
    for (bool &v : prob->data->names_valid) v = false;
  }
}

}  // namespace krvu
