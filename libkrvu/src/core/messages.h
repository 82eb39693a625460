// Per-problem message settings: codes whose messages are suppressed
// (KRVUsetmessagestatus).
#pragma once
#include <mutex>
#include <string>
#include <unordered_map>

#include "krvu.h"

namespace krvu {

struct MessageSettings {
  std::mutex mu;                        // log lines may come from engine threads
  std::unordered_map<int, int> status;  // message code -> status (0: suppressed)
};

// False when the problem suppresses messages of this code (0: no code).
bool message_shown(KRVUprob prob, int code);

}  // namespace krvu
