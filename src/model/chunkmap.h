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
    Chunk &c = chunks_[chunk_for(key)];
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
      chunks_.emplace_back();
      chunks_.back().reserve(2 * kSmall);
      chunks_.back().assign(small_, small_ + size_);
      last_.push_back(small_[size_ - 1].key);
      big_ = true;
    }
    if (chunks_.empty()) {
      chunks_.emplace_back();
      chunks_.back().reserve(4);
      chunks_.back().push_back(Entry{key, v});
      last_.push_back(key);
      size_ = 1;
      return {&chunks_.back().back().val, true};
    }
    if (last_.back() < key) {
      if (chunks_.back().size() >= kMaxChunk) {
        chunks_.emplace_back();
        chunks_.back().reserve(kMaxChunk);
        last_.push_back(key);
      }
      chunks_.back().push_back(Entry{key, v});
      last_.back() = key;
      ++size_;
      return {&chunks_.back().back().val, true};
    }
    size_t ci = chunk_for(key);
    Chunk &c = chunks_[ci];
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
      last_.insert(last_.begin() + ci, c.back().key);
      chunks_.insert(chunks_.begin() + ci + 1, std::move(upper));
      if (p >= half) return {&chunks_[ci + 1][p - half].val, true};
    }
    return {&chunks_[ci][p].val, true};
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
    Chunk &c = chunks_[ci];
    auto it = lower(c, key);
    if (it == c.end() || it->key != key) return false;
    c.erase(it);
    --size_;
    if (c.empty()) {
      chunks_.erase(chunks_.begin() + ci);
      last_.erase(last_.begin() + ci);
    } else {
      last_[ci] = c.back().key;
    }
    return true;
  }

  void clear() {
    chunks_.clear();
    last_.clear();
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
    for (Chunk &c : chunks_)
      for (Entry &e : c) f(e);
  }
  template <class F>
  void for_each(F &&f) const {
    if (!big_) {
      for (size_t i = 0; i < size_; ++i) f(small_[i]);
      return;
    }
    for (const Chunk &c : chunks_)
      for (const Entry &e : c) f(e);
  }

  // Position-based iteration for the cursor interface.
  Entry *at(const Pos &p) {
    if (!big_) return p.chunk == 0 && p.idx < size_ ? &small_[p.idx] : nullptr;
    if (p.chunk >= chunks_.size() || p.idx >= chunks_[p.chunk].size()) return nullptr;
    return &chunks_[p.chunk][p.idx];
  }
  void advance(Pos &p) const {
    if (++p.idx >= (big_ ? chunks_[p.chunk].size() : size_)) {
      ++p.chunk;
      p.idx = 0;
    }
  }

  // Whether the map holds nothing outside itself (it never outgrew its inline entries).
  bool inline_only() const { return chunks_.capacity() == 0 && last_.capacity() == 0; }

  // Approximate heap bytes held (for memory reports).
  size_t heap_bytes() const {
    size_t n = chunks_.capacity() * sizeof(Chunk) + last_.capacity() * sizeof(uint64_t);
    for (const Chunk &c : chunks_) n += c.capacity() * sizeof(Entry);
    return n;
  }

 private:
  // A map filled with consecutive keys in ascending order (a problem's columns
  // and rows, numbered as they were made) has full chunks of consecutive keys:
  // there the chunk and the position follow from the key with no search.  Null
  // when the guess misses (then the key may still be stored elsewhere).
  Entry *dense_find(uint64_t key) {
    const uint64_t k0 = chunks_.front().front().key;
    if (key < k0) return nullptr;
    const uint64_t off = key - k0;
    const uint64_t ci = off / kMaxChunk;
    if (ci >= chunks_.size()) return nullptr;
    Chunk &c = chunks_[ci];
    const size_t i = static_cast<size_t>(off % kMaxChunk);
    return i < c.size() && c[i].key == key ? &c[i] : nullptr;
  }

  // The chunk that holds key or would hold it: the first whose last key is not
  // below key, or the last chunk.  The search runs over last_, a contiguous copy of
  // the chunks' last keys, so it touches no chunk but the one it finds.
  size_t chunk_for(uint64_t key) const {
    size_t n = last_.size();
    if (n <= 1) return 0;
    // Keys made last (the object just built, about to be registered) are in
    // the last chunk: no search over the boundaries.
    if (key > last_[n - 2]) return n - 1;
    size_t i = static_cast<size_t>(std::lower_bound(last_.begin(), last_.end(), key) - last_.begin());
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

  std::vector<Chunk> chunks_;
  std::vector<uint64_t> last_;  // last key of each chunk
  size_t size_ = 0;
  bool big_ = false;  // entries in chunks_, else in small_
  Entry small_[kSmall];
};

}  // namespace korvu
