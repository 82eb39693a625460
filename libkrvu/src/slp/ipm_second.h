// The second-order check of an interior-point run's end (ipm_second.cpp).
#pragma once
#include <vector>

#include "slp/ipm.h"

namespace krvu {
namespace slp {

// When the Hessian of the Lagrangian at run's point has negative curvature
// along the rows and bounds active there (the point is then no minimum),
// *start receives a point along that direction with a lower penalty merit
// (by model column) and the result is true. fixed: by model column, the
// value of a held column (NaN for the others). Only small models with an
// exact Hessian are checked.
bool saddle_escape(IpmModel &M, const std::vector<double> &fixed, const IpmRun &run,
                   std::vector<double> *start);

}  // namespace slp
}  // namespace krvu
