// An ordered map keyed by unsigned 64-bit integers, kept as a sequence of sorted chunks.
//
// Models are usually built with keys that rise (variables are numbered as they are
// made), so inserting a key above every stored key is a push onto the last chunk:
// O(1) amortised.  Any other insertion or erasure finds its chunk by binary search
// over the chunk boundaries and moves at most one chunk's entries: O(log n) plus a
// bounded constant.  Entries sit contiguously (no node per entry), which keeps an
// entry of a coefficient map at 24 bytes plus chunk slack.
//
// Most maps are short (the linear part of a row, a term's temporaries), so the
// first kSmall entries live inside the map itself, sorted, with no chunk at all:
// a short map costs no allocation beyond its own.  The map moves to chunks when
// it outgrows that and stays there.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace korvu {

template <class V>
class ChunkMap {
 public:
  struct Entry {
    uint64_t key;
    V val;
  };
  using Chunk = std::vector<Entry>;
  // Largest chunk; a chunk that grows past it is split in two halves.
  static constexpr size_t kMaxChunk = 256;
  // Entries held inline before the first chunk is made.
  static constexpr size_t kSmall = 6;

  // A position: chunk index and index within the chunk.
  struct Pos {
    size_t chunk;
    size_t idx;
  };

  ChunkMap() = default;
  ChunkMap(const ChunkMap &o) : size_(o.size_), big_(o.big_) {
    std::copy(o.small_, o.small_ + (o.big_ ? 0 : o.size_), small_);
    if (o.ext_) ext_ = new Ext(*o.ext_);
  }
  ChunkMap(ChunkMap &&o) noexcept : ext_(o.ext_), size_(o.size_), big_(o.big_) {
    std::copy(o.small_, o.small_ + (o.big_ ? 0 : o.size_), small_);
    o.ext_ = nullptr;
    o.size_ = 0;
    o.big_ = false;
  }
  ChunkMap &operator=(const ChunkMap &o) {
    if (this == &o) return *this;
    if (!ext_ && !o.ext_) {  // short maps: the inline entries in use, nothing else
      std::copy(o.small_, o.small_ + o.size_, small_);
      size_ = o.size_;
      big_ = false;
      return *this;
    }
    ChunkMap copy(o);
    return *this = std::move(copy);
  }
  ChunkMap &operator=(ChunkMap &&o) noexcept {
    if (this != &o) {
      delete ext_;
      ext_ = o.ext_;
      size_ = o.size_;
      big_ = o.big_;
      std::copy(o.small_, o.small_ + (o.big_ ? 0 : o.size_), small_);
      o.ext_ = nullptr;
      o.size_ = 0;
      o.big_ = false;
    }
    return *this;
  }
  ~ChunkMap() { delete ext_; }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  V *find(uint64_t key) {
    if (size_ == 0) return nullptr;
    if (!big_) {
      for (size_t i = 0; i < size_; ++i)
        if (small_[i].key >= key) return small_[i].key == key ? &small_[i].val : nullptr;
      return nullptr;
    }
    if (Entry *e = dense_find(key)) return &e->val;
    Chunk &c = ext_->chunks[chunk_for(key)];
    // A chunk of consecutive keys (columns made together, even when they were
    // interleaved with others on the way in) holds the key at its offset.
    if (!c.empty() && key >= c.front().key) {
      const uint64_t off = key - c.front().key;
      if (off < c.size() && c[off].key == key) return &c[off].val;
    }
    auto it = lower(c, key);
    return (it != c.end() && it->key == key) ? &it->val : nullptr;
  }
  const V *find(uint64_t key) const { return const_cast<ChunkMap *>(this)->find(key); }

  // Inserts key with value v unless present. Returns the stored value and whether
  // it was inserted.
  std::pair<V *, bool> insert(uint64_t key, const V &v) {
    if (!big_) {
      size_t i = size_;
      if (i > 0 && small_[i - 1].key >= key) {
        i = 0;
        while (small_[i].key < key) ++i;
        if (small_[i].key == key) return {&small_[i].val, false};
      }
      if (size_ < kSmall) {
        for (size_t k = size_; k > i; --k) small_[k] = small_[k - 1];
        small_[i] = Entry{key, v};
        ++size_;
        return {&small_[i].val, true};
      }
      // Full: the inline entries become the first chunk.
      if (!ext_) ext_ = new Ext();
      ext_->chunks.emplace_back();
      ext_->chunks.back().reserve(2 * kSmall);
      ext_->chunks.back().assign(small_, small_ + size_);
      ext_->last.push_back(small_[size_ - 1].key);
      big_ = true;
    }
    if (ext_->chunks.empty()) {
      ext_->chunks.emplace_back();
      ext_->chunks.back().reserve(4);
      ext_->chunks.back().push_back(Entry{key, v});
      ext_->last.push_back(key);
      size_ = 1;
      return {&ext_->chunks.back().back().val, true};
    }
    if (ext_->last.back() < key) {
      if (ext_->chunks.back().size() >= kMaxChunk) {
        ext_->chunks.emplace_back();
        ext_->chunks.back().reserve(kMaxChunk);
        ext_->last.push_back(key);
      }
      ext_->chunks.back().push_back(Entry{key, v});
      ext_->last.back() = key;
      ++size_;
      return {&ext_->chunks.back().back().val, true};
    }
    size_t ci = chunk_for(key);
    Chunk &c = ext_->chunks[ci];
    auto it = lower(c, key);
    if (it != c.end() && it->key == key) return {&it->val, false};
    size_t p = static_cast<size_t>(it - c.begin());
    c.insert(it, Entry{key, v});
    ++size_;
    if (c.size() > kMaxChunk) {
      size_t half = c.size() / 2;
      Chunk upper(c.begin() + half, c.end());
      c.resize(half);
      c.shrink_to_fit();  // bounds the slack of maps filled in random order
      ext_->last.insert(ext_->last.begin() + ci, c.back().key);
      ext_->chunks.insert(ext_->chunks.begin() + ci + 1, std::move(upper));
      if (p >= half) return {&ext_->chunks[ci + 1][p - half].val, true};
    }
    return {&ext_->chunks[ci][p].val, true};
  }

  // Erases key if present; returns whether it was.
  bool erase(uint64_t key) {
    if (size_ == 0) return false;
    if (!big_) {
      size_t i = 0;
      while (i < size_ && small_[i].key < key) ++i;
      if (i == size_ || small_[i].key != key) return false;
      for (; i + 1 < size_; ++i) small_[i] = small_[i + 1];
      --size_;
      return true;
    }
    size_t ci = chunk_for(key);
    Chunk &c = ext_->chunks[ci];
    auto it = lower(c, key);
    if (it == c.end() || it->key != key) return false;
    c.erase(it);
    --size_;
    if (c.empty()) {
      ext_->chunks.erase(ext_->chunks.begin() + ci);
      ext_->last.erase(ext_->last.begin() + ci);
    } else {
      ext_->last[ci] = c.back().key;
    }
    return true;
  }

  void clear() {
    if (ext_) {
      ext_->chunks.clear();
      ext_->last.clear();
    }
    size_ = 0;
    big_ = false;
  }

  // Visits entries in ascending key order.
  template <class F>
  void for_each(F &&f) {
    if (!big_) {
      for (size_t i = 0; i < size_; ++i) f(small_[i]);
      return;
    }
    for (Chunk &c : ext_->chunks)
      for (Entry &e : c) f(e);
  }
  template <class F>
  void for_each(F &&f) const {
    if (!big_) {
      for (size_t i = 0; i < size_; ++i) f(small_[i]);
      return;
    }
    for (const Chunk &c : ext_->chunks)
      for (const Entry &e : c) f(e);
  }

  // Position-based iteration for the cursor interface.
  Entry *at(const Pos &p) {
    if (!big_) return p.chunk == 0 && p.idx < size_ ? &small_[p.idx] : nullptr;
    if (p.chunk >= ext_->chunks.size() || p.idx >= ext_->chunks[p.chunk].size()) return nullptr;
    return &ext_->chunks[p.chunk][p.idx];
  }
  void advance(Pos &p) const {
    if (++p.idx >= (big_ ? ext_->chunks[p.chunk].size() : size_)) {
      ++p.chunk;
      p.idx = 0;
    }
  }

  // Whether the map holds nothing outside itself (it never outgrew its inline entries).
  bool inline_only() const { return !ext_; }

  // Approximate heap bytes held (for memory reports).
  size_t heap_bytes() const {
    if (!ext_) return 0;
    size_t n = sizeof(Ext) + ext_->chunks.capacity() * sizeof(Chunk) + ext_->last.capacity() * sizeof(uint64_t);
    for (const Chunk &c : ext_->chunks) n += c.capacity() * sizeof(Entry);
    return n;
  }

 private:
  // A map filled with consecutive keys in ascending order (a problem's columns
  // and rows, numbered as they were made) has full chunks of consecutive keys:
  // there the chunk and the position follow from the key with no search.  Null
  // when the guess misses (then the key may still be stored elsewhere).
  Entry *dense_find(uint64_t key) {
    const uint64_t k0 = ext_->chunks.front().front().key;
    if (key < k0) return nullptr;
    const uint64_t off = key - k0;
    const uint64_t ci = off / kMaxChunk;
    if (ci >= ext_->chunks.size()) return nullptr;
    Chunk &c = ext_->chunks[ci];
    const size_t i = static_cast<size_t>(off % kMaxChunk);
    return i < c.size() && c[i].key == key ? &c[i] : nullptr;
  }

  // The chunk that holds key or would hold it: the first whose last key is not
  // below key, or the last chunk.  The search runs over ext_->last, a contiguous copy of
  // the chunks' last keys, so it touches no chunk but the one it finds.
  size_t chunk_for(uint64_t key) const {
    size_t n = ext_->last.size();
    if (n <= 1) return 0;
    // Keys made last (the object just built, about to be registered) are in
    // the last chunk: no search over the boundaries.
    if (key > ext_->last[n - 2]) return n - 1;
    size_t i = static_cast<size_t>(std::lower_bound(ext_->last.begin(), ext_->last.end(), key) - ext_->last.begin());
    return i < n ? i : n - 1;
  }
  static typename Chunk::iterator lower(Chunk &c, uint64_t key) {
    // Short chunks are scanned; binary search pays off above a few entries.
    if (c.size() <= 8) {
      auto it = c.begin();
      while (it != c.end() && it->key < key) ++it;
      return it;
    }
    return std::lower_bound(c.begin(), c.end(), key,
                            [](const Entry &e, uint64_t k) { return e.key < k; });
  }

  // The chunks, made when the map first outgrows its inline entries and kept
  // from then on; held apart so that a short map is its inline entries and
  // two words (the algebra copies and frees short maps by the hundred thousand).
  struct Ext {
    std::vector<Chunk> chunks;
    std::vector<uint64_t> last;  // last key of each chunk
  };
  Entry small_[kSmall];
  Ext *ext_ = nullptr;
  uint32_t size_ = 0;
  bool big_ = false;  // entries in ext_->chunks, else in small_
};

}  // namespace korvu
