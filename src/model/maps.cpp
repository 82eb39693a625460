// Ordered containers: the flat procedural interface over ChunkMap.
#include "model/maps.h"
#include "model/slab.h"

#include <algorithm>
#include <new>

namespace {

// A cursor encodes a position (chunk, index) in one pointer-sized word; the value 0
// is "not started / finished", so positions are stored plus one.  Nothing is
// allocated for an iteration, so abandoning one leaks nothing.
constexpr unsigned kIdxBits = 11;  // chunks hold at most 513 entries
static_assert((size_t(1) << kIdxBits) > korvu::ChunkMap<int>::kMaxChunk + 1, "cursor width");

template <class M>
typename M::Entry *cursor_step(M *h, krv_cursor *cursor) {
  uintptr_t c = reinterpret_cast<uintptr_t>(*cursor);
  typename M::Pos p{0, 0};
  if (c != 0) {
    --c;
    p.chunk = c >> kIdxBits;
    p.idx = c & ((uintptr_t(1) << kIdxBits) - 1);
  }
  typename M::Entry *e = h ? h->at(p) : nullptr;
  if (!e) {
    *cursor = nullptr;
    return nullptr;
  }
  h->advance(p);
  *cursor = reinterpret_cast<krv_cursor>(((p.chunk << kIdxBits) | p.idx) + 1);
  return e;
}

inline uint64_t signed_key(int64_t k) { return static_cast<uint64_t>(k) ^ (uint64_t(1) << 63); }
inline int64_t from_signed_key(uint64_t k) { return static_cast<int64_t>(k ^ (uint64_t(1) << 63)); }

template <class M>
void plain_free(M **h) {
  if (h && *h) {
    delete *h;
    *h = nullptr;
  }
}

}  // namespace

namespace {
korvu::SlabPool g_linmap_slabs(sizeof(linmap));
}  // namespace

void *linmap::operator new(size_t, const std::nothrow_t &) noexcept {
  return g_linmap_slabs.alloc();  // nothing derives from linmap: the size is the pool's
}
void *linmap::operator new(size_t size) {
  void *p = operator new(size, std::nothrow);
  if (!p) throw std::bad_alloc();
  return p;
}
void linmap::operator delete(void *p) noexcept { g_linmap_slabs.release(p); }

// Freed coefficient maps that never left their inline entries, kept for reuse:
// the algebra makes and drops a short map with every temporary expression, and
// the allocator's round trip was a good part of each operation.  The
// interpreter lock guards the pool, as it guards every map.
namespace {
constexpr int kPooledMaps = 128;
linmap *g_map_pool[kPooledMaps];
int g_pooled = 0;

linmap *pooled_linmap() { return g_pooled ? g_map_pool[--g_pooled] : new (std::nothrow) linmap(); }
}  // namespace

linmap *linmap_new(void) { return pooled_linmap(); }
quadmap *quadmap_new(void) { return new (std::nothrow) quadmap(); }
rowcolmap *rowcolmap_new(void) { return new (std::nothrow) rowcolmap(); }
indexset *indexset_new(void) { return new (std::nothrow) indexset(); }
boundmap *boundmap_new(void) { return new (std::nothrow) boundmap(); }
namemap *namemap_new(void) { return new (std::nothrow) namemap(); }

void linmap_free(linmap **h) {
  if (!h || !*h) return;
  linmap *m = *h;
  *h = nullptr;
  m->for_each([](linmap::Entry &e) { Py_DECREF(e.val.var); });
  if (g_pooled < kPooledMaps && m->inline_only()) {
    m->clear();
    g_map_pool[g_pooled++] = m;
    return;
  }
  delete m;
}

void quadmap_free(quadmap **h) {
  if (!h || !*h) return;
  quadmap *m = *h;
  *h = nullptr;
  m->for_each([](quadmap::Entry &e) {
    linmap_free(&e.val.inner);
    Py_DECREF(e.val.var);
  });
  delete m;
}

void rowcolmap_free(rowcolmap **h) { plain_free(h); }
void indexset_free(indexset **h) { plain_free(h); }
void boundmap_free(boundmap **h) { plain_free(h); }

void namemap_free(namemap **h) {
  if (!h || !*h) return;
  namemap *m = *h;
  *h = nullptr;
  m->for_each([](namemap::Entry &e) { Py_XDECREF(e.val); });
  delete m;
}

int linmap_next(linmap *h, var_s **key, double *value, krv_cursor *cursor) {
  linmap::Entry *e = cursor_step(h, cursor);
  if (!e) return 0;
  if (key) *key = e->val.var;
  if (value) *value = e->val.coef;
  return 1;
}
int quadmap_next(quadmap *h, var_s **key, linmap **value, krv_cursor *cursor) {
  quadmap::Entry *e = cursor_step(h, cursor);
  if (!e) return 0;
  if (key) *key = e->val.var;
  if (value) *value = e->val.inner;
  return 1;
}
int rowcolmap_next(rowcolmap *h, uint64_t *key, int64_t *value, krv_cursor *cursor) {
  // Iterated entry by entry: the runs are spilled when an iteration starts.
  if (h && !*cursor && !h->runs.empty()) h->spill();
  korvu::ChunkMap<int64_t>::Entry *e = cursor_step(h ? &h->rest : nullptr, cursor);
  if (!e) return 0;
  if (key) *key = e->key;
  if (value) *value = e->val;
  return 1;
}
int indexset_next(indexset *h, int64_t *key, krv_cursor *cursor) {
  indexset::Entry *e = cursor_step(h, cursor);
  if (!e) return 0;
  if (key) *key = from_signed_key(e->key);
  return 1;
}
void linmap_iter_free(krv_cursor *cursor) {
  if (cursor) *cursor = nullptr;
}
void quadmap_iter_free(krv_cursor *cursor) {
  if (cursor) *cursor = nullptr;
}
void rowcolmap_iter_free(krv_cursor *cursor) {
  if (cursor) *cursor = nullptr;
}
void indexset_iter_free(krv_cursor *cursor) {
  if (cursor) *cursor = nullptr;
}

size_t linmap_size(const linmap *h) { return h ? h->size() : 0; }

int linmap_get(linmap *h, var_s *var, double *coef) {
  LinEntry *e = h->find(var_id(var));
  if (!e) return -1;
  if (coef) *coef = e->coef;
  return 0;
}

int linmap_has(linmap *h, var_s *var) { return h->find(var_id(var)) ? 1 : 0; }

int linmap_set(linmap *h, var_s *var, double c) {
  uint64_t k = var_id(var);
  if (c == 0.0) {
    LinEntry *e = h->find(k);
    if (e) {
      var_s *old = e->var;
      h->erase(k);
      Py_DECREF(old);
    }
    return 0;
  }
  auto r = h->insert(k, LinEntry{var, c});
  if (r.second)
    Py_INCREF(var);
  else
    r.first->coef = c;
  return 0;
}

int linmap_add(linmap *h, var_s *var, double c) {
  linmap_add_fast(h, var, c);
  return 0;
}

int linmap_del(linmap *h, var_s *var) {
  uint64_t k = var_id(var);
  LinEntry *e = h->find(k);
  if (!e) return -1;
  var_s *old = e->var;
  h->erase(k);
  Py_DECREF(old);
  return 0;
}

int linmap_copy(linmap **out, const linmap *h) {
  linmap *m = h->inline_only() ? pooled_linmap() : new (std::nothrow) linmap(*h);
  if (!m) return -1;
  if (h->inline_only()) *m = *h;
  m->for_each([](linmap::Entry &e) { Py_INCREF(e.val.var); });
  *out = m;
  return 0;
}

size_t quadmap_size(const quadmap *h) {
  if (!h) return 0;
  size_t n = 0;
  h->for_each([&n](const quadmap::Entry &e) { n += e.val.inner ? e.val.inner->size() : 0; });
  return n;
}

int quadmap_get(quadmap *h, var_s *var, linmap **inner) {
  QuadEntry *e = h->find(var_id(var));
  if (!e) return -1;
  if (inner) *inner = e->inner;
  return 0;
}

int quadmap_set(quadmap *h, var_s *var, linmap *inner) {
  auto r = h->insert(var_id(var), QuadEntry{var, inner});
  if (r.second)
    Py_INCREF(var);
  else
    r.first->inner = inner;
  return 0;
}

int quadmap_add(quadmap *h, var_s *u, var_s *v, double c) {
  if (c == 0.0) return 0;
  uint64_t k = var_id(u);
  QuadEntry *e = h->find(k);
  if (!e) {
    linmap *inner = linmap_new();
    if (!inner) return -1;
    linmap_add_fast(inner, v, c);
    h->insert(k, QuadEntry{u, inner});
    Py_INCREF(u);
    return 0;
  }
  if (!e->inner && !(e->inner = linmap_new())) return -1;
  linmap_add_fast(e->inner, v, c);
  if (e->inner->empty()) {
    linmap *inner = e->inner;
    h->erase(k);
    linmap_free(&inner);
    Py_DECREF(u);
  }
  return 0;
}

int quadmap_del(quadmap *h, var_s *u, var_s *v) {
  uint64_t k = var_id(u);
  QuadEntry *e = h->find(k);
  if (!e || !e->inner) return 0;
  if (linmap_has(e->inner, v)) linmap_del(e->inner, v);
  if (e->inner->empty()) {
    linmap *inner = e->inner;
    var_s *outer = e->var;
    h->erase(k);
    linmap_free(&inner);
    Py_DECREF(outer);
  }
  return 0;
}

const rowcolmap::Run *rowcolmap::run_of(uint64_t key) const {
  if (runs.empty()) return nullptr;
  const Run *r = &runs[last < runs.size() ? last : 0];
  if (key - r->key < r->len) return r;
  auto it = std::upper_bound(runs.begin(), runs.end(), key, [](uint64_t k, const Run &x) { return k < x.key; });
  if (it == runs.begin()) return nullptr;
  --it;
  return key - it->key < it->len ? &*it : nullptr;
}

void rowcolmap::spill() {
  if (runs.empty()) return;
  // Runs and rest are each in key order: merged into a new map by appends only.
  korvu::ChunkMap<int64_t> merged;
  size_t ri = 0;
  uint64_t k = 0;  // position within runs[ri]
  auto run_until = [&](uint64_t stop) {
    while (ri < runs.size() && runs[ri].key + k < stop) {
      merged.insert(runs[ri].key + k, runs[ri].at(runs[ri].key + k));
      if (++k == runs[ri].len) ++ri, k = 0;
    }
  };
  rest.for_each([&](const korvu::ChunkMap<int64_t>::Entry &e) {
    run_until(e.key);
    merged.insert(e.key, e.val);
  });
  run_until(UINT64_MAX);  // no run holds UINT64_MAX (see extend_run)
  rest = std::move(merged);
  runs.clear();
  last = 0;
}

int rowcolmap_get(rowcolmap *h, uint64_t key, int64_t *index) {
  if (const rowcolmap::Run *r = h->run_of(key)) {
    if (index) *index = r->at(key);
    return 0;
  }
  int64_t *v = h->rest.find(key);
  if (!v) return -1;
  if (index) *index = *v;
  return 0;
}
int rowcolmap_has(rowcolmap *h, uint64_t key) { return h->run_of(key) || h->rest.find(key) ? 1 : 0; }

namespace {
// Extends the run ending just below key when index continues it.
bool extend_run(rowcolmap *h, uint64_t key, int64_t index) {
  if (key == 0 || key == UINT64_MAX) return false;
  size_t n = h->runs.size();
  // Registration of k interleaved arrays extends their runs in turn.
  size_t tries[2] = {h->last + 1 < n ? h->last + 1 : 0, h->last < n ? h->last : 0};
  rowcolmap::Run *r = nullptr;
  for (size_t t : tries) {
    rowcolmap::Run &c = h->runs[t];
    if (c.key + c.len == key) {
      r = &c;
      break;
    }
  }
  if (!r) {
    const rowcolmap::Run *c = h->run_of(key - 1);
    if (!c || c->key + c->len != key) return false;
    r = const_cast<rowcolmap::Run *>(c);
  }
  if (r->len == 1) {
    if (index == r->index) return false;
    r->stride = index - r->index;
  } else if (index != r->at(key)) {
    return false;
  }
  ++r->len;
  h->last = static_cast<size_t>(r - h->runs.data());
  return true;
}
}  // namespace

int rowcolmap_set(rowcolmap *h, uint64_t key, int64_t index) {
  if (const rowcolmap::Run *r = h->run_of(key)) {
    if (r->at(key) == index) return 0;
    h->spill();
  } else if (!h->rest.find(key)) {
    if (!h->runs.empty() && extend_run(h, key, index)) return 0;
    if (h->runs.size() < rowcolmap::kMaxRuns && key != UINT64_MAX) {
      auto it = std::upper_bound(h->runs.begin(), h->runs.end(), key,
                                 [](uint64_t k, const rowcolmap::Run &x) { return k < x.key; });
      it = h->runs.insert(it, rowcolmap::Run{key, 1, index, 0});
      h->last = static_cast<size_t>(it - h->runs.begin());
      return 0;
    }
  }
  *h->rest.insert(key, index).first = index;
  return 0;
}
int rowcolmap_del(rowcolmap *h, uint64_t key) {
  const rowcolmap::Run *c = h->run_of(key);
  if (!c) {
    h->rest.erase(key);
    return 0;
  }
  size_t i = static_cast<size_t>(c - h->runs.data());
  rowcolmap::Run &r = h->runs[i];
  if (r.len == 1) {
    h->runs.erase(h->runs.begin() + static_cast<std::ptrdiff_t>(i));
    h->last = 0;
  } else if (key == r.key + r.len - 1) {
    --r.len;
  } else if (key == r.key) {
    r.index += r.stride;
    ++r.key;
    --r.len;
  } else {
    h->spill();
    h->rest.erase(key);
  }
  return 0;
}
int rowcolmap_clear(rowcolmap *h) {
  h->runs.clear();
  h->last = 0;
  h->rest.clear();
  return 0;
}
int rowcolmap_copy(rowcolmap **out, const rowcolmap *h) {
  rowcolmap *m = new (std::nothrow) rowcolmap(*h);
  if (!m) return -1;
  *out = m;
  return 0;
}

int indexset_add(indexset *h, int64_t k) {
  h->insert(signed_key(k), NoValue{});
  return 0;
}
int indexset_has(indexset *h, int64_t k) { return h->find(signed_key(k)) ? 1 : 0; }
int indexset_del(indexset *h, int64_t k) {
  h->erase(signed_key(k));
  return 0;
}
int indexset_copy(indexset **out, const indexset *h) {
  indexset *m = new (std::nothrow) indexset(*h);
  if (!m) return -1;
  *out = m;
  return 0;
}

double boundmap_get(boundmap *h, uint64_t key) {
  double *v = h ? h->find(key) : nullptr;
  return v ? *v : 0.0;
}
// The side maps are gone after module teardown; objects that outlive it must not crash.
int boundmap_has(boundmap *h, uint64_t key) { return h && h->find(key) ? 1 : 0; }
int boundmap_set(boundmap *h, uint64_t key, double value) {
  if (!h) return -1;
  *h->insert(key, value).first = value;
  return 0;
}
int boundmap_del(boundmap *h, uint64_t key) {
  if (h) h->erase(key);
  return 0;
}

PyObject *namemap_get(namemap *h, uint64_t key) {
  PyObject **v = h ? h->find(key) : nullptr;
  return v ? *v : nullptr;
}
int namemap_has(namemap *h, uint64_t key) { return h && h->find(key) ? 1 : 0; }
int namemap_set(namemap *h, uint64_t key, PyObject *obj) {
  if (!h) return -1;
  *h->insert(key, obj).first = obj;
  return 0;
}
int namemap_del(namemap *h, uint64_t key) {
  PyObject **v = h ? h->find(key) : nullptr;
  if (!v) return -1;
  PyObject *old = *v;
  h->erase(key);
  Py_XDECREF(old);
  return 0;
}
