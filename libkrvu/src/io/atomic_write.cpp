#include "io/atomic_write.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "core/common.h"
#include "core/prob.h"

namespace krvu {
namespace io {

void write_atomically(const std::string &path, bool gz, const std::function<void(Out &)> &write) {
  static std::atomic<unsigned> serial{0};
  struct stat st;
  std::string tmp;
  if (!(::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))) {
    tmp = path + ".tmp" + std::to_string(static_cast<long>(getpid())) + "_" +
          std::to_string(serial++);
    std::FILE *probe = std::fopen(tmp.c_str(), "wb");
    if (probe)
      std::fclose(probe);
    else
      tmp.clear();
  }
  try {
    Out out(tmp.empty() ? path : tmp, gz, path);
    write(out);
    out.close();
    if (!tmp.empty() && std::rename(tmp.c_str(), path.c_str()) != 0)
      raise(KRVU_ERR_FILE, "cannot write '%s': %s", path.c_str(), std::strerror(errno));
  } catch (...) {
    if (!tmp.empty()) std::remove(tmp.c_str());
    throw;
  }
}

std::string file_or_default(KRVUprob prob, const char *filename, const char *ext) {
  if (filename && *filename) return filename;
  return (prob->name.empty() ? std::string("problem") : prob->name) + ext;
}

bool text_name_ok(std::string_view s) {
  for (char c : s)
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return false;
  return true;
}

std::string check_file_flags(const char *flags, const char *allowed, const char *func) {
  std::string f = flags ? flags : "";
  for (char c : f)
    if (!std::strchr(allowed, c))
      raise(KRVU_ERR_ARGUMENT, "%s: unknown flag '%c' in 'flags' (allowed: %s)", func, c,
            *allowed ? allowed : "none");
  return f;
}

}  // namespace io
}  // namespace krvu
