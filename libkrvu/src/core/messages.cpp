// Message codes that a problem suppresses, and its log file.
#include "core/messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/common.h"
#include "core/prob.h"

namespace krvu {

bool message_shown(KRVUprob prob, int code) {
  if (code == 0 || !prob || !prob->messages) return true;
  MessageSettings &ms = *prob->messages;
  std::lock_guard<std::mutex> lock(ms.mu);
  auto it = ms.status.find(code);
  return it == ms.status.end() || it->second != 0;
}

}  // namespace krvu

using namespace krvu;

namespace {
MessageSettings &settings(KRVUprob prob) {
  if (!prob->messages) prob->messages.reset(new MessageSettings());
  return *prob->messages;
}
}  // namespace

extern "C" {

int KRVUsetmessagestatus(KRVUprob prob, int errcode, int status) {
  const char *F = "KRVUsetmessagestatus";
  return guarded(prob, F, [&] {
    if (errcode <= 0)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'errcode' = %d is not a message code (codes are positive)",
            F, errcode);
    MessageSettings &ms = settings(prob);
    std::lock_guard<std::mutex> lock(ms.mu);
    if (status) ms.status.erase(errcode);
    else ms.status[errcode] = 0;
    return 0;
  });
}

int KRVUgetmessagestatus(KRVUprob prob, int errcode, int *status) {
  const char *F = "KRVUgetmessagestatus";
  return guarded(prob, F, [&] {
    require_ptr(status, F, "status");
    if (errcode <= 0)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'errcode' = %d is not a message code (codes are positive)",
            F, errcode);
    *status = message_shown(prob, errcode) ? 1 : 0;
    return 0;
  });
}

int KRVUsetlogfile(KRVUprob prob, const char *filename) {
  const char *F = "KRVUsetlogfile";
  return guarded(prob, F, [&] {
    // The log file is the logfile control; this checks at once that the
    // file can be appended to, so that a bad name fails here.
    std::string path = filename ? filename : "";
    if (!path.empty()) {
      std::FILE *f = std::fopen(path.c_str(), "a");
      if (!f)
        raise(KRVU_ERR_FILE, "%s: cannot open '%s' for appending: %s", F, path.c_str(),
              std::strerror(errno));
      std::fclose(f);
    }
    if (KRVUsetstrcontrol(prob, 6000, path.c_str()))
      raise(prob->lasterr_code, "%s", prob->lasterr.c_str());
    return 0;
  });
}

}  // extern "C"
