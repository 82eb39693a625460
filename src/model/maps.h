// The ordered containers of the modelling layer: coefficient maps keyed by
// variable, a problem's id -> index lookups, integer sets and the side maps of
// bounds and names.  All iterate in ascending key order.
//
// Status returns: 0 success, -1 key absent or failure, unless noted.
#pragma once
#include "model/chunkmap.h"
#include "model/records.h"

#include <new>
#include <vector>

struct LinEntry {
  var_s *var;  // owned reference
  double coef;
};
struct QuadEntry {
  var_s *var;     // owned reference
  linmap *inner;  // owned
};
struct NoValue {};

// Coefficient maps come from a slab pool (model/slab.h): every temporary
// expression of an array operation has one.
struct linmap : korvu::ChunkMap<LinEntry> {
  static void *operator new(size_t size);
  static void *operator new(size_t size, const std::nothrow_t &) noexcept;
  static void operator delete(void *p) noexcept;
};
struct quadmap : korvu::ChunkMap<QuadEntry> {};
// A problem's id -> index lookup.  Objects registered in the order they were
// made (a model built in a loop, or arrays of variables and constraints) have
// consecutive ids at evenly spaced indices: consecutive ones, or every k-th
// when k arrays made one after the other are registered interleaved (a stack
// along the last axis).  Such runs are held as four numbers each, up to
// kMaxRuns of them; every other id is an entry of `rest`.  No id is in two
// places.
struct rowcolmap {
  struct Run {
    uint64_t key;    // first id
    uint64_t len;    // ids key .. key + len - 1
    int64_t index;   // the index of key
    int64_t stride;  // index step per id; 0 while the run has one id
    int64_t at(uint64_t k) const { return index + static_cast<int64_t>(k - key) * stride; }
  };
  static constexpr size_t kMaxRuns = 64;
  std::vector<Run> runs;  // ascending, disjoint key ranges
  size_t last = 0;        // the run extended last: registration cycles through a few
  korvu::ChunkMap<int64_t> rest;
  // The run holding key, or null.
  const Run *run_of(uint64_t key) const;
  // Moves every run into rest (when an id of one leaves or changes index).
  void spill();
};
struct indexset : korvu::ChunkMap<NoValue> {};
struct boundmap : korvu::ChunkMap<double> {};
struct namemap : korvu::ChunkMap<PyObject *> {};

// An iteration cursor: null before the first call and after the last.
typedef void *krv_cursor;

linmap *linmap_new(void);
quadmap *quadmap_new(void);
rowcolmap *rowcolmap_new(void);
indexset *indexset_new(void);
boundmap *boundmap_new(void);
namemap *namemap_new(void);

void linmap_free(linmap **h);
void quadmap_free(quadmap **h);
void rowcolmap_free(rowcolmap **h);
void indexset_free(indexset **h);
void boundmap_free(boundmap **h);
void namemap_free(namemap **h);

int linmap_next(linmap *h, var_s **key, double *value, krv_cursor *cursor);
int quadmap_next(quadmap *h, var_s **key, linmap **value, krv_cursor *cursor);
int rowcolmap_next(rowcolmap *h, uint64_t *key, int64_t *value, krv_cursor *cursor);
int indexset_next(indexset *h, int64_t *key, krv_cursor *cursor);
void linmap_iter_free(krv_cursor *cursor);
void quadmap_iter_free(krv_cursor *cursor);
void rowcolmap_iter_free(krv_cursor *cursor);
void indexset_iter_free(krv_cursor *cursor);

size_t linmap_size(const linmap *h);
int linmap_get(linmap *h, var_s *var, double *coef);
int linmap_has(linmap *h, var_s *var);
int linmap_set(linmap *h, var_s *var, double c);
int linmap_add(linmap *h, var_s *var, double c);
int linmap_del(linmap *h, var_s *var);
int linmap_copy(linmap **out, const linmap *h);

size_t quadmap_size(const quadmap *h);
int quadmap_get(quadmap *h, var_s *var, linmap **inner);
int quadmap_set(quadmap *h, var_s *var, linmap *inner);
int quadmap_add(quadmap *h, var_s *u, var_s *v, double c);
int quadmap_del(quadmap *h, var_s *u, var_s *v);

int rowcolmap_get(rowcolmap *h, uint64_t key, int64_t *index);
int rowcolmap_has(rowcolmap *h, uint64_t key);
int rowcolmap_set(rowcolmap *h, uint64_t key, int64_t index);
int rowcolmap_del(rowcolmap *h, uint64_t key);
int rowcolmap_clear(rowcolmap *h);
int rowcolmap_copy(rowcolmap **out, const rowcolmap *h);

int indexset_add(indexset *h, int64_t k);
int indexset_has(indexset *h, int64_t k);
int indexset_del(indexset *h, int64_t k);
int indexset_copy(indexset **out, const indexset *h);

double boundmap_get(boundmap *h, uint64_t key);
int boundmap_has(boundmap *h, uint64_t key);
int boundmap_set(boundmap *h, uint64_t key, double value);
int boundmap_del(boundmap *h, uint64_t key);

PyObject *namemap_get(namemap *h, uint64_t key);
int namemap_has(namemap *h, uint64_t key);
int namemap_set(namemap *h, uint64_t key, PyObject *obj);
int namemap_del(namemap *h, uint64_t key);

// Hot-path form of linmap_add for the algebra: no status, the caller holds the GIL.
inline void linmap_add_fast(linmap *h, var_s *var, double c) {
  if (c == 0.0) return;
  auto r = h->insert(var_id(var), LinEntry{var, c});
  if (r.second) {
    Py_INCREF(var);
    return;
  }
  double s = r.first->coef + c;
  if (s == 0.0) {
    var_s *old = r.first->var;
    h->erase(var_id(var));
    Py_DECREF(old);
  } else {
    r.first->coef = s;
  }
}
