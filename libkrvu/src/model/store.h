// The model store and solver state of a problem.
#pragma once
#include <string>
#include <vector>

namespace krvu {
struct ProbData {};
}  // namespace krvu
