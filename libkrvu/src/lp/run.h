// One run of the engine, shared by the LP and MIP solves.
#pragma once

struct krvu_prob_s;

namespace krvu {

struct RunResult {
  int model_status = 0;  // the engine's model status
  int run_status = 0;    // the engine's return code
  double seconds = 0;
  // The run was interrupted where the engine does not look for interrupts
  // (its quadratic solver): the problem left it to finish on its own and holds
  // no engine session, and so no results, any more.
  bool abandoned = false;
};

// Checks what the engine cannot take for this kind of solve (fails clearly),
// passes the model, applies the controls and runs.
RunResult run_engine(krvu_prob_s *prob, int mode, char algo, const char *func);
// Clears an interrupt left from before; interrupts from here on stop the run.
void begin_solve(krvu_prob_s *prob);
// Reads the engine's LP solution, basis and rays into the problem's copy (in
// the problem's units when the engine's copy is scaled).
void capture_lp(krvu_prob_s *prob);
// Stop status (1009) for an engine status that ended a run early.
int stop_status(krvu_prob_s *prob, int model_status);

}  // namespace krvu
