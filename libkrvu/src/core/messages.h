// Per-problem message settings: codes whose messages are suppressed
// (KRVUsetmessagestatus) and the file that receives a copy of the log
// (KRVUsetlogfile).
#pragma once
#include <cstdio>
#include <mutex>
#include <string>
#include <unordered_map>

#include "krvu.h"

namespace krvu {

struct MessageSettings {
  std::mutex mu;                        // log lines may come from engine threads
  std::unordered_map<int, int> status;  // message code -> status (0: suppressed)
  std::FILE *file = nullptr;
  std::string path;
  ~MessageSettings();
};

// False when the problem suppresses messages of this code (0: no code).
bool message_shown(KRVUprob prob, int code);
// Appends a line to the problem's log file, if it has one.
void copy_to_logfile(KRVUprob prob, int msgtype, const std::string &text);

}  // namespace krvu
