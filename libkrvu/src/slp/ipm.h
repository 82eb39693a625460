// The interior-point local solver: the choice of local solver, the solve
// over Ipopt, and the results written back as the SLP solver writes them.
#pragma once
#include <vector>

#include "slp/ipm_model.h"
#include "slp/nlp.h"
#include "slp/slpprob.h"

namespace krvu {
namespace slp {

bool ipm_available();
// Whether kslp_algorithm gives this solve to the interior-point solver;
// asking for it in a build without it fails, naming func and the control.
bool ipm_chosen(KSLPprob slp, const char *func);
// Solves from the start of the SLP solver; 0, or -1 when a user function
// failed (the solve then stops).
int ipm_solve(KSLPprob slp, Nlp &nlp);

// What one run of the interior-point solver leaves.
struct IpmRun {
  std::vector<double> x;       // by model column
  std::vector<double> lambda;  // by constraint of the model: the multipliers of its rows
  int status = KSLP_NLPSTATUS_UNFINISHED;
  int iterations = 0;
  int offset = 0;              // iterations of the earlier runs of the same solve
  double mu = 0.0;             // the last barrier parameter
  double seconds = 0.0;        // spent in Ipopt by this solve (the time limit covers every run)
};
// Runs Ipopt from run->x over the model, adding its time to run->seconds;
// false when a user function failed.
bool ipopt_run(KSLPprob slp, IpmModel &model, IpmRun *run);

}  // namespace slp
}  // namespace krvu
