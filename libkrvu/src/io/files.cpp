// KRVUreadprob and KRVUwriteprob: choosing the format and replacing or
// reading the problem's model.
#include <cstdio>
#include <cstring>

#include "core/common.h"
#include "core/prob.h"
#include "io/atomic_write.h"
#include "io/iobase.h"

namespace krvu {
namespace io {
namespace {

std::string check_flags(const char *flags, const char *allowed, const char *func) {
  std::string f = flags ? flags : "";
  for (char c : f)
    if (!std::strchr(allowed, c) || c == 0)
      raise(KRVU_ERR_ARGUMENT, "%s: unknown flag '%c' in 'flags' (allowed: %s)", func, c, allowed);
  if (f.find('l') != std::string::npos && f.find('m') != std::string::npos)
    raise(KRVU_ERR_ARGUMENT, "%s: flags 'l' (LP format) and 'm' (MPS) exclude each other", func);
  return f;
}

std::string stem(const std::string &path) {
  std::string s = path;
  size_t slash = s.find_last_of('/');
  if (slash != std::string::npos) s = s.substr(slash + 1);
  if (ends_with(s, ".gz")) s.resize(s.size() - 3);
  size_t dot = s.find_last_of('.');
  if (dot != std::string::npos && dot > 0) s.resize(dot);
  return s;
}

// An LP file starts (after comments) with a section keyword; MPS with NAME,
// ROWS or another section in capitals.
bool looks_like_lp(const std::string &data) {
  size_t i = 0, n = data.size();
  for (;;) {
    while (i < n && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) ++i;
    if (i == n) return false;
    if (data[i] == '\\' || data[i] == '*') {
      bool lp = data[i] == '\\';
      size_t e = data.find('\n', i);
      if (e == std::string::npos) return lp;
      i = e;
      continue;
    }
    break;
  }
  static const char *const words[] = {"min", "max", "subject", "st", "s.t.", "such"};
  for (const char *w : words) {
    size_t k = std::strlen(w);
    if (i + k <= n && iequals(std::string_view(data).substr(i, k), w)) return true;
  }
  return false;
}

}  // namespace

ModelData read_problem_file(const std::string &path, const char *flags, const char *allowed,
                            KRVUprob prob, MpsExtension *ext, const char *func) {
  std::string f = check_flags(flags, allowed, func);
  if (path.empty()) raise(KRVU_ERR_ARGUMENT, "%s: 'filename' is empty", func);
  Source src;
  try {
    load_source(path, src);
    bool lp;
    if (f.find('l') != std::string::npos) {
      lp = true;
    } else if (f.find('m') != std::string::npos) {
      lp = false;
    } else {
      std::string base = ends_with(path, ".gz") ? path.substr(0, path.size() - 3) : path;
      if (ends_with(base, ".lp"))
        lp = true;
      else if (ends_with(base, ".mps"))
        lp = false;
      else
        lp = looks_like_lp(src.data);
    }
    if (lp && ext) ext->lines.clear();
    ModelData m = lp ? read_lp(src, prob) : read_mps(src, prob, ext);
    if (m.probname.empty()) m.probname = stem(path);
    return m;
  } catch (const Error &e) {
    if (std::strncmp(e.what(), func, std::strlen(func)) == 0) throw;
    throw Error(e.code, std::string(func) + ": " + e.what());
  }
}

bool writes_lp_format(const std::string &path, const char *flags) {
  std::string f = flags ? flags : "";
  std::string base = ends_with(path, ".gz") ? path.substr(0, path.size() - 3) : path;
  return f.find('l') != std::string::npos ||
         (f.find('m') == std::string::npos && ends_with(base, ".lp"));
}

void write_problem_file(KRVUprob prob, const std::string &path, const char *flags,
                        const char *allowed, const MpsBeforeEnd &before_end, const char *func) {
  std::string f = check_flags(flags, allowed, func);
  if (path.empty()) raise(KRVU_ERR_ARGUMENT, "%s: 'filename' is empty", func);
  const bool gz = ends_with(path, ".gz");
  const bool lp = writes_lp_format(path, flags);
  const ModelData &m = read_model(prob);
  try {
    write_atomically(path, gz, [&](Out &out) {
      out.set_hex(f.find('x') != std::string::npos);
      out.set_rename(f.find('n') != std::string::npos);
      if (lp)
        write_lp(m, read_rows(prob), prob->name, out, prob);
      else
        write_mps(m, prob->name, out, f.find('p') != std::string::npos, prob, before_end);
    });
  } catch (const Error &e) {
    throw Error(e.code, std::string(func) + ": " + e.what());
  }
}

}  // namespace io
}  // namespace krvu

using namespace krvu;

int KRVUreadprob(KRVUprob prob, const char *filename, const char *flags) {
  return guarded(prob, "KRVUreadprob", [&] {
    require_ptr(filename, "KRVUreadprob", "filename");
    std::string path = filename;
    ModelData m = io::read_problem_file(path, flags, "lm", prob, nullptr, "KRVUreadprob");
    const int nr = m.nrows(), nc = m.ncols();
    const long long nz = static_cast<long long>(m.nelems());
    replace_model(prob, std::move(m), "KRVUreadprob");
    log(prob, KRVU_MSG_LOG, "read %s: %d rows, %d columns, %lld nonzeros", path.c_str(), nr, nc,
        nz);
    return 0;
  });
}

int KRVUwriteprob(KRVUprob prob, const char *filename, const char *flags) {
  return guarded(prob, "KRVUwriteprob", [&] {
    require_ptr(filename, "KRVUwriteprob", "filename");
    std::string path = filename;
    io::write_problem_file(prob, path, flags, "lmxpn", io::MpsBeforeEnd(), "KRVUwriteprob");
    log(prob, KRVU_MSG_LOG, "wrote %s", path.c_str());
    return 0;
  });
}
