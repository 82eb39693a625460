// The tuner's method: which controls it varies, with which values, for LP
// and for MIP solves.  Read and written by io/tuner_method.cpp.
#pragma once
#include "analysis/state.h"

struct krvu_prob_s;

namespace krvu {

AnalysisState &analysis_state(krvu_prob_s *prob);
// The method read from a file, else the built-in one.
const TunerMethod &tuner_method(krvu_prob_s *prob);
TunerMethod builtin_tuner_method();

}  // namespace krvu
