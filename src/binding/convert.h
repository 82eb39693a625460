// Conversion between Python arguments and the library's plain arrays and
// indices, and the module allocator through which every temporary array of
// the binding is obtained and released.
#pragma once
#include <cstddef>
#include <cstdint>

#include "problem/problem.h"

// Element kinds of a conversion; the same codes serve both directions.
enum conv_code {
  CONV_ROW = 0,      // int32 row index; constraint objects, row names
  CONV_COL = 1,      // int32 column index; variable objects, column names
  CONV_SET = 2,      // set index (single objects only)
  CONV_INT = 3,      // int32
  CONV_INT64 = 4,    // int64
  CONV_DOUBLE = 5,   // double
  CONV_CHAR = 6,     // char: first character of a string
  CONV_BYTE = 7,     // char: low 8 bits of an integer
  CONV_STRING = 8,   // char*: one heap copy per element
  CONV_POOLCUT = 9,  // void*: handle of a korvu.poolcut
  CONV_OBJECT = 10,  // void*: handle of a korvu.krvuobject
  CONV_ROWCOL = 11,  // combined row/column index (library to Python only)
};

// ---- module allocator

struct ko_MemoryAllocator_Ops {
  int (*allocate)(void *context, size_t size, void **result);
  int (*resize)(void *context, void **ptr, size_t size);
  int (*release)(void *context, void **ptr);
};

struct ko_MemoryAllocator_DefaultHeap_s {
  const ko_MemoryAllocator_Ops *ops;
  void *context;  // null for the default heap
};

extern ko_MemoryAllocator_DefaultHeap_s *ko_MemoryAllocator_DefaultHeap;

// 0, or -1 when a non-empty block could not be obtained (*ptr is then null).
int ko_MemoryAllocator_Alloc_Untyped(ko_MemoryAllocator_DefaultHeap_s *heap, size_t size,
                                     void **ptr);
// 0, or -1 when a non-empty block could not be obtained (*ptr is unchanged).
int ko_MemoryAllocator_Realloc_Untyped(ko_MemoryAllocator_DefaultHeap_s *heap, void **ptr,
                                       size_t size);
// Releases *ptr and nulls it; a null *ptr is left alone, so releasing twice is harmless.
int ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap_s *heap, void **ptr);

namespace korvu {

// A temporary array owned by one wrapper, released through the default heap
// on every path.  For CONV_STRING arrays use StringArray.
template <class T>
class KoArray {
 public:
  KoArray() = default;
  ~KoArray() { reset(); }
  KoArray(const KoArray &) = delete;
  KoArray &operator=(const KoArray &) = delete;

  T *get() const { return p_; }
  T &operator[](size_t i) const { return p_[i]; }
  explicit operator bool() const { return p_ != nullptr; }
  // The address handed to conv_obj2arr and the allocator.
  void **addr() { return reinterpret_cast<void **>(&p_); }
  void reset() {
    void *p = p_;
    ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap, &p);
    p_ = nullptr;
  }

 private:
  T *p_ = nullptr;
};

// An array of CONV_STRING elements: each element is its own block.
class StringArray {
 public:
  StringArray() = default;
  ~StringArray() { reset(); }
  StringArray(const StringArray &) = delete;
  StringArray &operator=(const StringArray &) = delete;

  char **get() const { return p_; }
  void **addr() { return reinterpret_cast<void **>(&p_); }
  // Number of elements to release (set after the conversion, from the count).
  void set_size(int64_t n) { n_ = n; }
  void reset();

 private:
  char **p_ = nullptr;
  int64_t n_ = 0;
};

}  // namespace korvu

// ---- Python to library

// Converts one Python argument (list, tuple, iterator or other sequence) into a
// new temporary array of the element kind `code`, agreeing its length with
// *count (-1: not agreed yet).  None or null gives a null array and leaves
// *count alone.  0, or -1 with an exception pending.  *array is null after a
// failure.
int conv_obj2arr(problem_s *problem, int64_t *count, PyObject *object, void **array, int code);

// One object to one index: an integer, a name (row names for CONV_ROW, column
// names otherwise, set names for CONV_SET), or a variable, constraint or set of
// the problem.  An unknown name and an integer outside 32 bits are refused.
// 0, or -1 with an exception pending.
int ObjInt2int(PyObject *object, problem_s *problem, int *index, int code);

// True for an int (or bool) or a NumPy intc/int_ scalar; *value gets its value,
// or *failed is set with an OverflowError pending when it exceeds 64 bits.
bool conv_int_value(PyObject *object, int64_t *value, int *failed);

// ---- library to Python

// Writes n elements of `array` into the caller's list *list (resized in place).
// Null array or absent/None list: nothing.  0, or -1 with an exception.
int conv_arr2obj(problem_s *problem, int64_t n, const void *array, PyObject **list, int code);

// The constraint or variable at a combined library index; new reference, or
// null (exception pending, or a library failure for the closing report).
PyObject *convSeqToRowCol(problem_s *problem, int index);

// ---- text

// The text of a str (ASCII-encoded into *temporary, which the caller releases)
// or bytes object; null without an exception for anything else, null with the
// encoding error for non-ASCII text.  With `copy`, *copy is resized on the
// default heap and receives the text with its terminating zero.
const char *pyStrToStr(PyObject *object, char **copy, PyObject **temporary);
