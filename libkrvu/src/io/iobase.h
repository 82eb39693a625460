// Shared pieces of the problem file readers and writers: loading a file
// (compressed or not) into memory, a buffered output sink, number parsing and
// printing, and a hash map from names to indices over the loaded text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "krvu.h"
#include "model/store.h"

namespace krvu {
namespace io {

// The whole content of a file, read at once: parsers keep string_views into it.
struct Source {
  std::string path;     // as given, for messages
  std::string data;
};

bool ends_with(const std::string &s, const char *suffix);  // case-insensitive

// Reads the file; gzip content (by its magic bytes) is decompressed.  Throws
// Error(KRVU_ERR_FILE) when the file cannot be read.
void load_source(const std::string &path, Source &src);

// Fails the current read with "<file>:<line>: <what>".
[[noreturn]] void parse_error(const std::string &path, int line, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

// A token for messages: cut and made printable.
std::string shown(std::string_view s);

// Buffered writer to a plain or (for names ending in ".gz") compressed file.
class Out {
 public:
  // gz: compress.  A file written under a temporary name gives its final
  // name (shown) for messages.
  Out(const std::string &path, bool gz, const std::string &shown = "");
  ~Out();
  Out(const Out &) = delete;
  Out &operator=(const Out &) = delete;

  void put(char c) {
    if (n_ == kSize) flush();
    buf_[n_++] = c;
  }
  void put(std::string_view s) {
    if (s.size() > kSize - n_) {
      flush();
      if (s.size() > kSize) return write_raw(s.data(), s.size());
    }
    for (char c : s) buf_[n_++] = c;
  }
  void num(double v);           // shortest exact decimal, or hexadecimal in hex mode
  void pad(size_t col);         // spaces up to the given column of the current line
  void nl() { put('\n'); col0_ = pos(); }
  size_t column() const { return pos() - col0_; }
  void set_hex(bool hex) { hex_ = hex; }
  // Names the format cannot hold: written under default names (true, with a
  // warning), or refused (false, the default).
  void set_rename(bool rename) { rename_ = rename; }
  bool rename() const { return rename_; }
  // Writes out what is buffered and closes; throws on a write failure.
  void close();

 private:
  static constexpr size_t kSize = 1 << 20;
  size_t pos() const { return written_ + n_; }
  void flush();
  void write_raw(const char *p, size_t n);
  std::string path_;   // for messages
  std::FILE *fp_ = nullptr;
  void *gz_ = nullptr;
  char *buf_;
  size_t n_ = 0, written_ = 0, col0_ = 0;
  bool hex_ = false, failed_ = false, rename_ = false;
};

// Formats v into buf (at least 40 bytes): the shortest decimal that reads back
// to the same double, or in hex mode a C99 hexadecimal float (integers stay
// decimal).  Returns the length.
size_t format_number(char *buf, double v, bool hex);

// Parses a whole token as a number (decimal, hexadecimal "0x..", "inf",
// "infinity"); overflow gives +-infinity.  False for anything else and NaN.
bool parse_number(std::string_view s, double &v);

// Values at or beyond this magnitude are infinite bounds and right-hand sides.
inline double clamp_inf(double v) {
  if (v >= KRVU_INFINITY) return KRVU_INFINITY;
  if (v <= -KRVU_INFINITY) return -KRVU_INFINITY;
  return v;
}

bool iequals(std::string_view a, std::string_view b);

// Open-addressing map from names to indices.  The names are copied into one
// arena, and a slot holds 32 bits of the hash beside the entry number, so
// that a look-up touches little memory.
class NameMap {
 public:
  explicit NameMap(size_t expected = 64) {
    rehash(expected * 2 + 16);
    arena_.reserve(expected * 8);
  }
  // The index of the name, or -1.
  int find(std::string_view s) const {
    uint64_t h = hash(s);
    uint64_t tag = h >> 32;
    size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      uint64_t e = slots_[i];
      if (!e) return -1;
      if ((e >> 32) == tag) {
        const Entry &x = ents_[(e & 0xffffffffu) - 1];
        if (x.len == s.size() && std::memcmp(arena_.data() + x.off, s.data(), s.size()) == 0)
          return x.val;
      }
    }
  }
  // Adds the name; false (and nothing changed) when it is already there.
  bool insert(std::string_view s, int v) {
    if ((ents_.size() + 1) * 2 > slots_.size()) rehash(slots_.size() * 2);
    uint64_t h = hash(s);
    uint64_t tag = h >> 32;
    size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      uint64_t e = slots_[i];
      if (!e) {
        ents_.push_back({arena_.size(), s.size(), v});
        arena_.append(s.data(), s.size());
        slots_[i] = (tag << 32) | ents_.size();
        return true;
      }
      if ((e >> 32) == tag) {
        const Entry &x = ents_[(e & 0xffffffffu) - 1];
        if (x.len == s.size() && std::memcmp(arena_.data() + x.off, s.data(), s.size()) == 0)
          return false;
      }
    }
  }
  size_t size() const { return ents_.size(); }

 private:
  struct Entry {
    size_t off, len;
    int val;
  };
  static uint64_t hash(std::string_view s) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
    size_t n = s.size();
    uint64_t h = 0x9e3779b97f4a7c15ull ^ n;
    while (n >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      h = (h ^ w) * 0xff51afd7ed558ccdull;
      h ^= h >> 32;
      p += 8;
      n -= 8;
    }
    uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w) * 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 29;
    h *= 0x9e3779b97f4a7c15ull;
    return h ^ (h >> 32);
  }
  void rehash(size_t n) {
    size_t cap = 16;
    while (cap < n) cap <<= 1;
    slots_.assign(cap, 0);
    for (size_t k = 0; k < ents_.size(); ++k) {
      uint64_t h = hash(std::string_view(arena_.data() + ents_[k].off, ents_[k].len));
      for (size_t i = h & (cap - 1);; i = (i + 1) & (cap - 1))
        if (!slots_[i]) {
          slots_[i] = ((h >> 32) << 32) | (k + 1);
          break;
        }
    }
  }
  std::vector<uint64_t> slots_;
  std::vector<Entry> ents_;
  std::string arena_;
};

// The lines of a text source, each split into the tokens between blanks and
// tabs (a carriage return before the line end is dropped), counted from 1.
class TokenLines {
 public:
  explicit TokenLines(const std::string &data) : d_(data) {}
  // The next line and its tokens; false when the source is used up.
  bool next(std::string_view &line, std::vector<std::string_view> &tokens);
  int line() const { return line_; }

 private:
  const std::string &d_;
  size_t pos_ = 0;
  int line_ = 0;
};

// The readers and writers of each format.  Readers fill a whole model from
// the source and throw Error(KRVU_ERR_FILE) with file and line on a fault;
// prob only receives log lines.
ModelData read_mps(const Source &src, KRVUprob prob);
ModelData read_lp(const Source &src, KRVUprob prob);
void write_mps(const ModelData &m, const std::string &probname, Out &out, bool fixed,
               KRVUprob prob);
void write_lp(const ModelData &m, const RowMatrix &rows, const std::string &probname, Out &out,
              KRVUprob prob);

// Sections a caller reads itself (the nonlinear solver's, see slp/slpfile.cpp):
// read_mps hands their header and data lines over untouched, in file order.
struct MpsExtension {
  std::vector<std::string> sections;  // header keywords taken
  struct Line {
    int section;      // index into sections
    int lineno;
    bool header;
    std::string text; // the whole line (a header: what follows the keyword)
  };
  std::vector<Line> lines;
};
ModelData read_mps(const Source &src, KRVUprob prob, MpsExtension *ext);
// Sections a caller writes before ENDATA, given the row and column names the
// writer used.
typedef std::function<void(Out &, const std::vector<std::string> &rows,
                           const std::vector<std::string> &cols)>
    MpsBeforeEnd;
void write_mps(const ModelData &m, const std::string &probname, Out &out, bool fixed,
               KRVUprob prob, const MpsBeforeEnd &before_end);

// The whole reading and writing of KRVUreadprob and KRVUwriteprob, shared
// with the nonlinear solver's files.  flags are checked against allowed;
// ext and before_end apply to MPS files only (may be null / empty).  func
// prefixes the errors.
ModelData read_problem_file(const std::string &path, const char *flags, const char *allowed,
                            KRVUprob prob, MpsExtension *ext, const char *func);
void write_problem_file(KRVUprob prob, const std::string &path, const char *flags,
                        const char *allowed, const MpsBeforeEnd &before_end, const char *func);
// Whether a write of path with flags makes an LP file.
bool writes_lp_format(const std::string &path, const char *flags);

// Names as a writer puts them in a file: every name usable in the format
// (valid(name) true) and unique.  A name that is not is refused, naming it
// and the format, unless `rename`: it is then replaced by a default name,
// with a warning logged.  Unnamed entries get their default names.
std::vector<std::string> file_names(const std::vector<std::string> &given, char prefix,
                                    bool (*valid)(std::string_view), const char *what,
                                    const char *format, bool rename, KRVUprob prob);

}  // namespace io
}  // namespace krvu
