// Loading files, the output sink, numbers and names for the file formats.
#include "io/iobase.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#if defined(KRVU_HAVE_ZLIB)
#include <zlib.h>
#endif

#include "core/common.h"

namespace krvu {
namespace io {

void parse_error(const std::string &path, int line, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string what = vformat(fmt, ap);
  va_end(ap);
  throw Error(KRVU_ERR_FILE, format("%s:%d: %s", path.c_str(), line, what.c_str()));
}

std::string shown(std::string_view s) {
  std::string r;
  for (char c : s.substr(0, 40)) r += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
  if (s.size() > 40) r += "...";
  return r;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

void load_source(const std::string &path, Source &src) {
  src.path = path;
  src.data.clear();
  std::FILE *fp = std::fopen(path.c_str(), "rb");
  if (!fp) raise(KRVU_ERR_FILE, "cannot open '%s' for reading: %s", path.c_str(), std::strerror(errno));
  struct stat st;
  const bool known = fstat(fileno(fp), &st) == 0, regular = known && S_ISREG(st.st_mode);
  if (known && S_ISDIR(st.st_mode)) {
    std::fclose(fp);
    raise(KRVU_ERR_FILE, "cannot read '%s': it is a directory", path.c_str());
  }
  unsigned char magic[2] = {0, 0};
  size_t got = std::fread(magic, 1, 2, fp);
  bool gz = got == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
  if (gz) {
    std::fclose(fp);
#if defined(KRVU_HAVE_ZLIB)
    gzFile g = gzopen(path.c_str(), "rb");
    if (!g) raise(KRVU_ERR_FILE, "cannot open '%s' for reading", path.c_str());
    gzbuffer(g, 1 << 18);
    std::vector<char> chunk(1 << 20);
    for (;;) {
      int n = gzread(g, chunk.data(), static_cast<unsigned>(chunk.size()));
      if (n < 0) {
        int errnum = 0;
        std::string msg = gzerror(g, &errnum);
        gzclose(g);
        raise(KRVU_ERR_FILE, "'%s' is not a valid compressed file: %s", path.c_str(), msg.c_str());
      }
      if (n == 0) break;
      src.data.append(chunk.data(), n);
    }
    gzclose(g);
    return;
#else
    raise(KRVU_ERR_FILE, "'%s' is compressed, and this library was built without zlib",
          path.c_str());
#endif
  }
  src.data.assign(reinterpret_cast<char *>(magic), got);
  // Only a regular file has a size to reserve for (pipes and devices do not).
  if (regular && st.st_size > 0) src.data.reserve(static_cast<size_t>(st.st_size));
  char chunk[1 << 16];
  for (;;) {
    size_t n = std::fread(chunk, 1, sizeof chunk, fp);
    if (n) src.data.append(chunk, n);
    if (n < sizeof chunk) break;
  }
  bool bad = std::ferror(fp);
  std::fclose(fp);
  if (bad) raise(KRVU_ERR_FILE, "error while reading '%s'", path.c_str());
}

bool TokenLines::next(std::string_view &ln, std::vector<std::string_view> &tok) {
  if (pos_ >= d_.size()) return false;
  size_t e = d_.find('\n', pos_);
  if (e == std::string::npos) e = d_.size();
  ln = std::string_view(d_.data() + pos_, e - pos_);
  pos_ = e + 1;
  ++line_;
  if (!ln.empty() && ln.back() == '\r') ln.remove_suffix(1);
  tok.clear();
  for (size_t k = 0; k < ln.size();) {
    while (k < ln.size() && (ln[k] == ' ' || ln[k] == '\t')) ++k;
    const size_t b = k;
    while (k < ln.size() && ln[k] != ' ' && ln[k] != '\t') ++k;
    if (k > b) tok.push_back(ln.substr(b, k - b));
  }
  return true;
}

// ---------------------------------------------------------------------------

bool ends_with(const std::string &s, const char *suffix) {
  size_t n = std::strlen(suffix);
  return s.size() >= n && iequals(std::string_view(s).substr(s.size() - n), suffix);
}

Out::Out(const std::string &path, bool gz, const std::string &shown)
    : path_(shown.empty() ? path : shown), buf_(new char[kSize]) {
  if (gz) {
#if defined(KRVU_HAVE_ZLIB)
    gz_ = gzopen(path.c_str(), "wb6");
    if (!gz_) {
      delete[] buf_;
      raise(KRVU_ERR_FILE, "cannot open '%s' for writing", path_.c_str());
    }
    return;
#else
    delete[] buf_;
    raise(KRVU_ERR_FILE, "cannot write '%s': this library was built without zlib", path_.c_str());
#endif
  }
  fp_ = std::fopen(path.c_str(), "wb");
  if (!fp_) {
    int e = errno;
    delete[] buf_;
    raise(KRVU_ERR_FILE, "cannot open '%s' for writing: %s", path_.c_str(), std::strerror(e));
  }
}

Out::~Out() {
  if (fp_) std::fclose(fp_);
#if defined(KRVU_HAVE_ZLIB)
  if (gz_) gzclose(static_cast<gzFile>(gz_));
#endif
  delete[] buf_;
}

void Out::write_raw(const char *p, size_t n) {
  if (!n || failed_) return;
  const size_t total = n;
  if (fp_) {
    failed_ = std::fwrite(p, 1, n, fp_) != n;
  } else {
#if defined(KRVU_HAVE_ZLIB)
    while (n && !failed_) {
      unsigned part = n > (1u << 30) ? (1u << 30) : static_cast<unsigned>(n);
      failed_ = gzwrite(static_cast<gzFile>(gz_), p, part) != static_cast<int>(part);
      p += part;
      n -= part;
    }
#endif
  }
  written_ += total;
  if (failed_) raise(KRVU_ERR_FILE, "error while writing '%s'", path_.c_str());
}

void Out::flush() {
  size_t n = n_;
  n_ = 0;
  write_raw(buf_, n);
}

void Out::num(double v) {
  char b[48];
  put(std::string_view(b, format_number(b, v, hex_)));
}

void Out::pad(size_t col) {
  do put(' ');
  while (column() < col);
}

void Out::close() {
  flush();
  bool bad = false;
  if (fp_) {
    bad = std::fclose(fp_) != 0;
    fp_ = nullptr;
  }
#if defined(KRVU_HAVE_ZLIB)
  if (gz_) {
    bad = gzclose(static_cast<gzFile>(gz_)) != Z_OK;
    gz_ = nullptr;
  }
#endif
  if (bad) raise(KRVU_ERR_FILE, "error while writing '%s'", path_.c_str());
}

// ---------------------------------------------------------------------------

size_t format_number(char *buf, double v, bool hex) {
  if (v == 0) {
    buf[0] = '0';
    return 1;
  }
  if (std::isinf(v)) {
    std::memcpy(buf, v > 0 ? "1e+30" : "-1e+30", v > 0 ? 5 : 6);
    return v > 0 ? 5 : 6;
  }
  if (hex && !(std::fabs(v) < 9007199254740992.0 && v == std::trunc(v))) {
    char *p = buf;
    if (v < 0) *p++ = '-';
    *p++ = '0';
    *p++ = 'x';
    auto r = std::to_chars(p, buf + 47, std::fabs(v), std::chars_format::hex);
    return static_cast<size_t>(r.ptr - buf);
  }
  auto r = std::to_chars(buf, buf + 47, v);
  return static_cast<size_t>(r.ptr - buf);
}

bool parse_number(std::string_view s, double &v) {
  const char *b = s.data(), *e = b + s.size();
  if (b == e) return false;
  bool neg = false;
  if (*b == '+' || *b == '-') {
    neg = *b == '-';
    ++b;
    if (b == e || *b == '+' || *b == '-') return false;
  }
  std::chars_format fmt = std::chars_format::general;
  if (e - b > 2 && b[0] == '0' && (b[1] == 'x' || b[1] == 'X')) {
    b += 2;
    fmt = std::chars_format::hex;
  }
  auto r = std::from_chars(b, e, v, fmt);
  if (r.ec == std::errc::result_out_of_range && r.ptr == e) {
    // Overflow becomes infinite, underflow the nearest representable value.
    std::string t(s);
    errno = 0;
    v = std::strtod(t.c_str(), nullptr);
    return !std::isnan(v);
  }
  if (r.ec != std::errc() || r.ptr != e || std::isnan(v)) return false;
  if (neg) v = -v;
  return true;
}

// ---------------------------------------------------------------------------

std::vector<std::string> file_names(const std::vector<std::string> &given, char prefix,
                                    bool (*valid)(std::string_view), const char *what,
                                    const char *format, bool rename, KRVUprob prob) {
  const size_t n = given.size();
  std::vector<std::string> out(n);
  std::unordered_set<std::string_view> used;
  used.reserve(n * 2);
  std::vector<size_t> redo;
  for (size_t i = 0; i < n; ++i) {
    const std::string &s = given[i];
    if (!s.empty() && valid(s) && used.insert(s).second)
      out[i] = s;
    else
      redo.push_back(i);
  }
  if (!rename)
    for (size_t i : redo)
      if (!given[i].empty())
        raise(KRVU_ERR_FILE,
              "%s name '%s' cannot be written in %s (%s); write with flag 'n' to write such names under "
              "default names",
              what, shown(given[i]).c_str(), format,
              valid(given[i]) ? "another has the same name" : "the format cannot hold it");
  int renamed = 0;
  for (size_t i : redo) {
    std::string base = std::string(1, prefix) + std::to_string(i + 1), s = base;
    for (int k = 1; used.count(s); ++k) s = base + "_" + std::to_string(k);
    out[i] = s;
    // used holds views: keep them pointing into out, which no longer moves.
    used.insert(out[i]);
    if (!given[i].empty()) {
      if (renamed < 5)
        log(prob, KRVU_MSG_WARNING, "%s name '%s' cannot be written in this format, written as '%s'",
            what, shown(given[i]).c_str(), s.c_str());
      ++renamed;
    }
  }
  if (renamed > 5)
    log(prob, KRVU_MSG_WARNING, "%d %s names in all were replaced", renamed, what);
  return out;
}

}  // namespace io
}  // namespace krvu
