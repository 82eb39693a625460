// The engine session of a problem and the results of its last solve.
#pragma once
#include <cstdint>
#include <vector>

namespace krvu {

struct SolverState {
  int dummy = 0;
};

}  // namespace krvu
