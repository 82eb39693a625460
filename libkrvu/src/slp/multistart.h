// Multistart runs inside KSLPnlpoptimize (multistart.cpp).
#pragma once
#include "kslp.h"

namespace krvu {
namespace slp {

// Whether jobs are queued on the problem.
bool multistart_pending(KSLPprob slp);
// Runs the queued jobs and writes the best result back; false when no job
// left a result and nothing stopped the run (the caller then solves the
// problem itself).  Throws Error naming F when a job cannot be set up.
bool multistart_run(KSLPprob slp, const char *flags, const char *F);
// Empties the queue, handing each job's object to the release function.
void multistart_release(KSLPprob slp) noexcept;
// The minimizing sign of the objective (1, or -1 when maximizing).
double ctl_d_sense(KSLPprob slp);

}  // namespace slp
}  // namespace krvu
