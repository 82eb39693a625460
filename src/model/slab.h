// Fixed-size blocks carved from 64 KB slabs, for the objects the algebra makes
// and drops by the hundred thousand (expressions and their coefficient maps).
//
// The general allocator spent a good part of every array operation on them:
// maps of ~200 bytes miss its small-object caches, so each free merged
// neighbours and each allocation split them again.  Here a block is a pop
// from its slab's free list, and a free is a push.  A slab that empties is
// given back to the allocator (a few empty slabs are kept against loops that
// make and drop objects in turn), so the heap still shrinks when the
// temporaries of an array operation go.
//
// Every block is preceded by a pointer to its slab.  Not thread-safe: the
// interpreter lock guards each pool, as it guards the objects.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Under AddressSanitizer a free block is poisoned (but for the free-list link
// it holds), so that a use after free of a pooled object is still reported.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define KORVU_SLAB_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define KORVU_SLAB_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define KORVU_SLAB_POISON(p, n) ((void)(p), (void)(n))
#define KORVU_SLAB_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace korvu {

class SlabPool {
 public:
  explicit constexpr SlabPool(size_t size)
      : stride_(sizeof(Slab *) + ((size + 7) & ~size_t(7))),
        per_slab_((kSlabBytes - sizeof(Slab)) / stride_) {}
  SlabPool(const SlabPool &) = delete;
  SlabPool &operator=(const SlabPool &) = delete;

  // A block of the pool's size, or null when memory runs out.
  void *alloc() {
    Slab *s = partial_;
    if (!s) {
      s = static_cast<Slab *>(std::malloc(kSlabBytes));
      if (!s) return nullptr;
      s->prev = s->next = nullptr;
      s->free = nullptr;
      s->used = 0;
      s->fresh = 0;
      partial_ = s;
    } else if (s->used == 0) {
      --empty_;  // a kept empty slab comes back into use
    }
    char *slot;
    if (s->free) {
      slot = static_cast<char *>(s->free);
      s->free = *reinterpret_cast<void **>(slot + sizeof(Slab *));
    } else {
      slot = reinterpret_cast<char *>(s + 1) + s->fresh * stride_;
      ++s->fresh;
      *reinterpret_cast<Slab **>(slot) = s;
    }
    ++s->used;
    if (!s->free && s->fresh == per_slab_) unlink(s);  // full: off the list
    KORVU_SLAB_UNPOISON(slot + sizeof(Slab *), stride_ - sizeof(Slab *));
    return slot + sizeof(Slab *);
  }

  void release(void *p) {
    if (!p) return;
    char *slot = static_cast<char *>(p) - sizeof(Slab *);
    Slab *s = *reinterpret_cast<Slab **>(slot);
    bool was_full = !s->free && s->fresh == per_slab_;
    *reinterpret_cast<void **>(p) = s->free;
    KORVU_SLAB_POISON(static_cast<char *>(p) + sizeof(void *), stride_ - sizeof(Slab *) - sizeof(void *));
    s->free = slot;
    --s->used;
    if (was_full) push(s);
    if (s->used) return;
    if (empty_ < kKeptEmpty) {
      ++empty_;
      return;
    }
    unlink(s);
    KORVU_SLAB_UNPOISON(s, kSlabBytes);
    std::free(s);
  }

 private:
  static constexpr size_t kSlabBytes = 64 * 1024;
  // Empty slabs kept on the list (512 KB): freed at once, slabs that were the
  // top of the heap went back to the system, and the next few thousand objects
  // faulted their pages in again.
  static constexpr int kKeptEmpty = 8;
  struct Slab {
    Slab *prev, *next;  // the list of slabs with room
    void *free;         // freed slots, linked through their payload
    uint32_t used;      // blocks handed out
    uint32_t fresh;     // slots handed out at least once (the rest never touched)
  };

  void unlink(Slab *s) {
    if (s->prev) s->prev->next = s->next;
    else if (partial_ == s) partial_ = s->next;
    if (s->next) s->next->prev = s->prev;
    s->prev = s->next = nullptr;
  }
  void push(Slab *s) {
    s->prev = nullptr;
    s->next = partial_;
    if (partial_) partial_->prev = s;
    partial_ = s;
  }

  size_t stride_;
  size_t per_slab_;
  Slab *partial_ = nullptr;
  int empty_ = 0;  // empty slabs on the list
};

}  // namespace korvu
