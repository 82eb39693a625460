// Little-endian binary records with a running FNV-1a checksum, for the
// binary solution and save files.  Doubles are stored as their bit patterns,
// so values come back exactly.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/common.h"
#include "io/iobase.h"

namespace krvu {
namespace io {

class BinWriter {
 public:
  explicit BinWriter(Out &out) : out_(out) {}
  void bytes(const void *p, size_t n) {
    const unsigned char *b = static_cast<const unsigned char *>(p);
    for (size_t k = 0; k < n; ++k) {
      hash_ = (hash_ ^ b[k]) * 0x100000001b3ull;
      out_.put(static_cast<char>(b[k]));
    }
  }
  void u64(uint64_t v) {
    unsigned char b[8];
    for (int k = 0; k < 8; ++k) b[k] = static_cast<unsigned char>(v >> (8 * k));
    bytes(b, 8);
  }
  void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
  void u32(uint32_t v) { u64(v); }
  void f64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    u64(u);
  }
  void str(const std::string &s) {
    u64(s.size());
    bytes(s.data(), s.size());
  }
  void doubles(const std::vector<double> &v) {
    u64(v.size());
    for (double d : v) f64(d);
  }
  template <class T>
  void ints(const std::vector<T> &v) {
    u64(v.size());
    for (T x : v) i64(static_cast<int64_t>(x));
  }
  void chars(const std::vector<char> &v) {
    u64(v.size());
    bytes(v.data(), v.size());
  }
  void strings(const std::vector<std::string> &v) {
    u64(v.size());
    for (const std::string &s : v) str(s);
  }
  // The checksum of everything written so far, written last.
  void finish() {
    const uint64_t h = hash_;
    unsigned char b[8];
    for (int k = 0; k < 8; ++k) b[k] = static_cast<unsigned char>(h >> (8 * k));
    for (unsigned char c : b) out_.put(static_cast<char>(c));
  }

 private:
  Out &out_;
  uint64_t hash_ = 0xcbf29ce484222325ull;
};

// Reads what BinWriter wrote; any fault (truncation, sizes that do not fit)
// fails with "<file>: <what>" and KRVU_ERR_FILE.
class BinReader {
 public:
  BinReader(const std::string &data, const std::string &path) : d_(data), path_(path) {}
  // The format the file was written in, when the reader was told.
  uint32_t version() const { return version_; }
  void set_version(uint32_t v) { version_ = v; }
  // Checks the trailing checksum; call before reading.
  void verify(const char *kind) {
    if (d_.size() < 8) fail("the file is too short to be a %s", kind);
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t k = 0; k < d_.size() - 8; ++k)
      h = (h ^ static_cast<unsigned char>(d_[k])) * 0x100000001b3ull;
    uint64_t stored = 0;
    for (int k = 0; k < 8; ++k)
      stored |= static_cast<uint64_t>(static_cast<unsigned char>(d_[d_.size() - 8 + k])) << (8 * k);
    if (h != stored) fail("the %s is damaged (its checksum does not match)", kind);
    end_ = d_.size() - 8;
  }
  void bytes(void *p, size_t n) {
    if (n > end_ - pos_) fail("the file ends early (damaged)");
    std::memcpy(p, d_.data() + pos_, n);
    pos_ += n;
  }
  uint64_t u64() {
    unsigned char b[8];
    bytes(b, 8);
    uint64_t v = 0;
    for (int k = 0; k < 8; ++k) v |= static_cast<uint64_t>(b[k]) << (8 * k);
    return v;
  }
  int64_t i64() { return static_cast<int64_t>(u64()); }
  uint32_t u32() {
    const uint64_t v = u64();
    if (v > 0xffffffffull) fail("a count is out of range (damaged)");
    return static_cast<uint32_t>(v);
  }
  double f64() {
    const uint64_t u = u64();
    double v;
    std::memcpy(&v, &u, 8);
    return v;
  }
  size_t count(size_t elem) {
    const uint64_t n = u64();
    if (elem && n > (end_ - pos_) / elem) fail("a count does not fit the file (damaged)");
    return static_cast<size_t>(n);
  }
  std::string str() {
    const size_t n = count(1);
    std::string s(n, '\0');
    bytes(&s[0], n);
    return s;
  }
  std::vector<double> doubles() {
    std::vector<double> v(count(8));
    for (double &d : v) d = f64();
    return v;
  }
  template <class T>
  std::vector<T> ints() {
    std::vector<T> v(count(8));
    for (T &x : v) x = static_cast<T>(i64());
    return v;
  }
  std::vector<char> chars() {
    std::vector<char> v(count(1));
    if (!v.empty()) bytes(v.data(), v.size());
    return v;
  }
  std::vector<std::string> strings() {
    std::vector<std::string> v(count(8));
    for (std::string &s : v) s = str();
    return v;
  }
  bool at_end() const { return pos_ == end_; }
  [[noreturn]] void fail(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

 private:
  const std::string &d_;
  std::string path_;
  size_t pos_ = 0, end_ = 0;
  uint32_t version_ = 0;
};

inline void BinReader::fail(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = vformat(fmt, ap);
  va_end(ap);
  raise(KRVU_ERR_FILE, "%s: %s", path_.c_str(), s.c_str());
}

}  // namespace io
}  // namespace krvu
