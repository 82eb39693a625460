// The mixed-integer search of the nonlinear solver (minlp.cpp).
#pragma once
#include "slp/slpprob.h"

namespace krvu {
namespace slp {

// Integer, binary, semi-continuous, semi-integer or partially integer
// columns, or sets.
bool has_entities(KSLPprob slp);
// Runs the search and sets the problem's solution and attributes; flags are
// KSLPnlpoptimize's; throws Error naming func.
void run_minlp(KSLPprob slp, const char *flags, const char *func);

}  // namespace slp
}  // namespace krvu
