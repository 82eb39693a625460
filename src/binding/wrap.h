// The library-method wrappers of korvu.problem, described by tables.
//
// Each member is one row (a constexpr Row): its name, its arguments in
// keyword order with what each is (an array converted in or filled out, one
// index, a number, a text), the message for missing arrays, an optional range
// of rows or columns, flags, the library call and the result.  One dispatch
// function runs every row: parsing, the missing-argument refusal, ranges,
// agreed and pre-agreed counts, conversions, the nonlinear check, the call
// (with the interpreter lock released where flagged), filling the output
// lists, the result, and the closing report.  Irregular members keep their row
// (arguments for parsing, help texts and stubs) and supply a body of their own.
//
// The call is written as a list of argument sources for the library function
// (P for the handle, N<g> for the agreed count of group g, A<i> for the array
// of argument i, ...).  A<i> has the element type of argument i's conversion
// code, so a row whose codes do not fit the library function does not compile.
#pragma once
#include <cstdint>
#include <string>
#include <type_traits>

#include "binding/convert.h"
#include "problem/problem.h"

namespace korvu {
namespace wrap {

// ---- what an argument is

enum Kind : uint8_t {
  kIn,      // a sequence converted into a temporary array (conv_obj2arr)
  kOut,     // a list the member fills after the call (conv_arr2obj)
  kInOut,   // a sequence read into an array, then written back into the same list
  kIndex,   // one row, column or set (ObjInt2int)
  kInt,     // an integer, passed as int
  kLong,    // an integer, passed as int64_t
  kDouble,  // a number, passed as double
  kChar,    // a string of length one, passed as char
  kText,    // a string, passed as const char * (ASCII)
  kObject,  // any object, for custom bodies
};

// Flags of an argument.
enum : uint16_t {
  kOptional = 0x1,     // may be left out (arrays: as None; numbers: their default)
  kRequired = 0x2,     // an array that must not be None (the row's missing message)
  kFirst = 0x4,        // the first index of the row's range
  kLast = 0x8,         // the last index of the row's range
  kZeroIfNone = 0x10,  // an index given as None (or left out) means 0
  kNoneIsUnset = 0x20, // an index given as None is not asked for (index -1)
};

// How many elements an output gets, or how many an input must have.
enum Size : uint8_t {
  kSizeFree,       // inputs: as many as given (the group agrees them)
  kSizeAttr,       // the value of an integer attribute of the problem
  kSizeGroup,      // the agreed count of a group
  kSizeRange,      // last - first + 1 of the row's range
  kSizeRangePlus1, // last - first + 2 (starts of a compressed range)
};

struct Arg {
  const char *name;
  Kind kind;
  int8_t code;     // conversion code of arrays and indices (CONV_*)
  int8_t group;    // agreed-count group of inputs; for kSizeGroup outputs the group sizing it
  Size size;       // inputs: pre-agreed (kSizeAttr) or free; outputs: their size
  int16_t attr;    // the attribute of kSizeAttr
  uint16_t flags;
  const char *help;  // what the argument is, for the help text
  double dflt;     // default of an optional number
};

// Result of a member.
enum ResultKind : uint8_t {
  kNone,    // None
  kIntRes,  // int from slot 0 of the integer results
  kDblRes,  // float from slot 0 of the double results
  kBoolRes, // bool from integer slot 0
  kTextRes, // str from the text result
  kTuple,   // a tuple built by `tuple` ("dddd", "ii", "di": d takes the next double slot, i the next int)
};

// Flags of a member.
enum : uint16_t {
  kNlUnconstruct = 0x1,  // bring a nonlinear problem back to its user form first
  kReleaseGil = 0x2,     // release the interpreter lock around the call
  kInterrupt = 0x4,      // Ctrl-C interrupts the call
  kEmptyRangeNone = 0x8, // an empty range returns None without a call
  kRangeDefaults = 0x10, // first and last may be left out: the whole range
  kKeepBodies = 0x20,    // the call may change rows in place: constraints take back the bodies
  kNamedFailure = 0x40,  // a nonlinear-solver failure is an InterfaceError naming the member
  kKeepRowBodies = 0x80, // the call changes the rows of argument 0: their constraints take back their bodies
                         // they left to the rows (problem/bodies.h) first
};

constexpr int kMaxArgs = 28;
constexpr int kGroups = 6;
constexpr int kSlots = 4;

struct Ctx;
struct Row;
typedef int (*CallFn)(Ctx &);
typedef PyObject *(*BodyFn)(const Row &, Ctx &);

// One member.  Rows are constexpr values built by Row::make and the setters
// below, so that a family's table reads as a list of declarations.
struct Row {
  const char *name = nullptr;
  int nargs = 0;
  const Arg *args = nullptr;
  CallFn call = nullptr;      // the library call, or null for a custom body
  BodyFn body = nullptr;      // a custom member's own body, or null
  const char *missing_ = "";  // message when a kRequired array is None
  uint16_t flags_ = 0;
  int8_t range_code = -1;     // CONV_ROW or CONV_COL for a range, -1 without one
  int16_t range_attr = 0;     // the attribute counting what the range runs over
  const char *empty = "";     // message for an empty range ("" with kEmptyRangeNone)
  ResultKind result_ = kNone;
  const char *tuple_ = "";
  const char *purpose = "";
  const char *further = "";
  const char *related = "";
  const char *example_ = "";  // "" gives one made from the arguments
  const char *libcall = "";   // the library function, for the help text

  template <size_t K>
  static constexpr Row make(const char *name, const Arg (&args)[K], CallFn call) {
    Row r;
    r.name = name;
    r.nargs = static_cast<int>(K);
    r.args = args;
    r.call = call;
    return r;
  }
  static constexpr Row make(const char *name, CallFn call) {
    Row r;
    r.name = name;
    r.call = call;
    return r;
  }
  constexpr Row custom(BodyFn f) const { Row r = *this; r.body = f; return r; }
  constexpr Row missing(const char *m) const { Row r = *this; r.missing_ = m; return r; }
  constexpr Row flags(uint16_t f) const { Row r = *this; r.flags_ = f; return r; }
  constexpr Row range(int code, int attr, const char *empty_message) const {
    Row r = *this;
    r.range_code = static_cast<int8_t>(code);
    r.range_attr = static_cast<int16_t>(attr);
    r.empty = empty_message;
    return r;
  }
  constexpr Row returns(ResultKind k, const char *tuple = "") const {
    Row r = *this;
    r.result_ = k;
    r.tuple_ = tuple;
    return r;
  }
  constexpr Row example(const char *e) const { Row r = *this; r.example_ = e; return r; }
  constexpr Row calls(const char *f) const { Row r = *this; r.libcall = f; return r; }
  constexpr Row doc(const char *purpose_text, const char *related_topics,
                    const char *further_text = "") const {
    Row r = *this;
    r.purpose = purpose_text;
    r.related = related_topics;
    r.further = further_text;
    return r;
  }
};

// Argument builders for the tables.
constexpr Arg in(const char *name, int code, int group, const char *help, uint16_t flags = 0) {
  return Arg{name, kIn, static_cast<int8_t>(code), static_cast<int8_t>(group), kSizeFree, 0, flags, help, 0};
}
// An input whose length must be the value of attribute `attr`.
constexpr Arg in_attr(const char *name, int code, int group, int attr, const char *help,
                      uint16_t flags = 0) {
  return Arg{name, kIn, static_cast<int8_t>(code), static_cast<int8_t>(group), kSizeAttr,
             static_cast<int16_t>(attr), flags, help, 0};
}
constexpr Arg out(const char *name, int code, Size size, int attr_or_group, const char *help,
                  uint16_t flags = 0) {
  return Arg{name, kOut, static_cast<int8_t>(code),
             static_cast<int8_t>(size == kSizeGroup ? attr_or_group : 0), size,
             static_cast<int16_t>(size == kSizeAttr ? attr_or_group : 0), flags, help, 0};
}
constexpr Arg inout_attr(const char *name, int code, int attr, const char *help) {
  return Arg{name, kInOut, static_cast<int8_t>(code), 0, kSizeAttr, static_cast<int16_t>(attr),
             kRequired, help, 0};
}
constexpr Arg index(const char *name, int code, const char *help, uint16_t flags = 0) {
  return Arg{name, kIndex, static_cast<int8_t>(code), 0, kSizeFree, 0, flags, help, 0};
}
constexpr Arg first(int code, const char *help, uint16_t flags = 0) {
  return Arg{"first", kIndex, static_cast<int8_t>(code), 0, kSizeFree, 0,
             static_cast<uint16_t>(flags | kFirst), help, 0};
}
constexpr Arg last(int code, const char *help, uint16_t flags = 0) {
  return Arg{"last", kIndex, static_cast<int8_t>(code), 0, kSizeFree, 0,
             static_cast<uint16_t>(flags | kLast), help, 0};
}
constexpr Arg value(const char *name, Kind kind, const char *help, uint16_t flags = 0,
                    double dflt = 0) {
  return Arg{name, kind, -1, 0, kSizeFree, 0, flags, help, dflt};
}

// ---- the call context

struct Ctx {
  problem_s *p = nullptr;
  KRVUprob prob = nullptr;
  PyObject *obj[kMaxArgs] = {};     // the arguments as given (borrowed; null when left out)
  void *arr[kMaxArgs] = {};         // temporary arrays, owned
  int64_t len[kMaxArgs] = {};       // elements of each array
  int64_t ival[kMaxArgs] = {};      // integers and indices
  double dval[kMaxArgs] = {};       // numbers
  const char *text[kMaxArgs] = {};  // texts (owned by tmp)
  PyObject *tmp[kMaxArgs] = {};     // encoded texts, owned
  int64_t count[kGroups];           // agreed counts, -1 until agreed
  int first = 0, last = -1;         // the range
  int ires[kSlots] = {};            // integer results
  int64_t lres[kSlots] = {};
  double dres[kSlots] = {};
  std::string sres;                 // text result
  const Row *row = nullptr;

  Ctx() {
    for (int64_t &c : count) c = -1;
  }
  ~Ctx();
  Ctx(const Ctx &) = delete;
  Ctx &operator=(const Ctx &) = delete;

  // An array of argument i, made by the member itself (released with the rest).
  void *alloc(int i, int64_t n, size_t width);
  // Reads an integer attribute of the library problem; false with the closing
  // report's text when the library fails.
  bool attr(int id, int64_t *value);
};

// Element types of the conversion codes.
template <int C> struct Elem;
template <> struct Elem<CONV_ROW> { typedef int type; };
template <> struct Elem<CONV_COL> { typedef int type; };
template <> struct Elem<CONV_INT> { typedef int type; };
template <> struct Elem<CONV_INT64> { typedef int64_t type; };
template <> struct Elem<CONV_DOUBLE> { typedef double type; };
template <> struct Elem<CONV_CHAR> { typedef char type; };
template <> struct Elem<CONV_BYTE> { typedef char type; };
template <> struct Elem<CONV_STRING> { typedef char *type; };
template <> struct Elem<CONV_POOLCUT> { typedef void *type; };
template <> struct Elem<CONV_OBJECT> { typedef void *type; };
template <> struct Elem<CONV_ROWCOL> { typedef int type; };
size_t elem_width(int code);

// ---- argument sources of a library call

// The library problem.
struct P {
  template <const auto &AR> static KRVUprob get(Ctx &c) { return c.prob; }
};
// The nonlinear problem.
struct SLP {
  template <const auto &AR> static KSLPprob get(Ctx &c) { return c.p->slpprob; }
};
// The agreed count of group G as int (N) or int64_t (N64); an unagreed group
// (only absent arrays) counts 0.
template <int G> struct N {
  template <const auto &AR> static int get(Ctx &c) { return c.count[G] < 0 ? 0 : static_cast<int>(c.count[G]); }
};
template <int G> struct N64 {
  template <const auto &AR> static int64_t get(Ctx &c) { return c.count[G] < 0 ? 0 : c.count[G]; }
};
// The array of argument I: const for inputs, writable for outputs.
template <int I> struct A {
  template <const auto &AR> static auto get(Ctx &c) {
    static_assert(I < sizeof(AR) / sizeof(AR[0]), "no such argument");
    constexpr Arg a = AR[I];
    static_assert(a.kind == kIn || a.kind == kOut || a.kind == kInOut, "not an array argument");
    typedef typename Elem<a.code>::type T;
    if constexpr (a.kind == kIn)
      return static_cast<const T *>(c.arr[I]);
    else
      return static_cast<T *>(c.arr[I]);
  }
};
// Argument I as a value: an index or int (int), a long (int64_t), a number, a
// character or a text.
template <int I> struct V {
  template <const auto &AR> static auto get(Ctx &c) {
    static_assert(I < sizeof(AR) / sizeof(AR[0]), "no such argument");
    constexpr Kind k = AR[I].kind;
    if constexpr (k == kIndex || k == kInt)
      return static_cast<int>(c.ival[I]);
    else if constexpr (k == kLong)
      return static_cast<int64_t>(c.ival[I]);
    else if constexpr (k == kDouble)
      return c.dval[I];
    else if constexpr (k == kChar)
      return static_cast<char>(c.ival[I]);
    else if constexpr (k == kText)
      return c.text[I];
    else
      static_assert(k == kIndex, "not a value argument");
  }
};
// The row's range.
struct First {
  template <const auto &AR> static int get(Ctx &c) { return c.first; }
};
struct Last {
  template <const auto &AR> static int get(Ctx &c) { return c.last; }
};
// Result slots.
template <int K> struct RI {
  template <const auto &AR> static int *get(Ctx &c) { return &c.ires[K]; }
};
template <int K> struct RL {
  template <const auto &AR> static int64_t *get(Ctx &c) { return &c.lres[K]; }
};
template <int K> struct RD {
  template <const auto &AR> static double *get(Ctx &c) { return &c.dres[K]; }
};
// A constant, and a null pointer.
template <int K> struct K_ {
  template <const auto &AR> static int get(Ctx &) { return K; }
};
struct Null {
  template <const auto &AR> static std::nullptr_t get(Ctx &) { return nullptr; }
};

template <const auto &AR, auto Fn, class... S>
int invoke(Ctx &c) {
  return Fn(S::template get<AR>(c)...);
}
// The argument list of members without arguments.
inline constexpr Arg kNo_args[1] = {Arg{"", kObject, -1, 0, kSizeFree, 0, kOptional, "", 0}};

// Runs a row for a Python call (METH_FASTCALL | METH_KEYWORDS).
PyObject *dispatch(const Row &row, PyObject *self, PyObject *const *args, Py_ssize_t nargs,
                   PyObject *kwnames);

template <const Row &R>
PyObject *method(PyObject *self, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
  return dispatch(R, self, args, nargs, kwnames);
}

// ---- helpers for custom bodies

inline bool given(const Ctx &c, int i) { return c.obj[i] && c.obj[i] != Py_None; }
// Converts argument i of the row as dispatch does: a kIn or kInOut array
// (convert_in), or a value or index into ival/dval/text (convert_value).
int convert_in(const Row &row, Ctx &c, int i);
int convert_value(const Row &row, Ctx &c, int i);
// Fills output argument i (when given) from n elements of its array.
int fill_out(const Row &row, Ctx &c, int i, int64_t n);
// Fills the caller's list of argument i (when given) from n elements of
// `array` of conversion code `code`.
int fill_list(Ctx &c, int i, const void *array, int64_t n, int code);
// The attribute's value or -1 with the library's text raised.
int64_t attr_or_fail(Ctx &c, int id);

// A method table (ending with a null entry) for the rows, with the help texts
// made from them; entries are made by WRAP_ENTRY.
PyMethodDef *finish_methods(PyMethodDef *methods, const Row *const *rows, int n);
// Every row of every family, for the signature test and the stub generator.
PyObject *table_description(void);

}  // namespace wrap
}  // namespace korvu

// Table helpers: the arguments of a row, its library call, its method entry.
#define WRAP_ARGS(name, ...) inline constexpr ::korvu::wrap::Arg name##_args[] = {__VA_ARGS__}
#define WRAP_CALL(name, fn, ...) \
  (&::korvu::wrap::invoke<name##_args, &fn, __VA_ARGS__>)
#define WRAP_ROW(name, fn, ...) \
  ::korvu::wrap::Row::make(#name, name##_args, WRAP_CALL(name, fn, __VA_ARGS__)).calls(#fn)
#define WRAP_CUSTOM(name, body) \
  ::korvu::wrap::Row::make(#name, name##_args, nullptr).custom(body)
#define WRAP_ENTRY(name)                                                                   \
  {#name,                                                                                  \
   reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(&::korvu::wrap::method<name>)), \
   METH_FASTCALL | METH_KEYWORDS, nullptr},
#define WRAP_ROW_PTR(name) &name,
// A family from one list of its rows, X(row) X(row) ...: the rows in order and
// their method entries, so that the two cannot disagree; family_methods()
// gives the method table with its help texts.
#define WRAP_FAMILY(LIST)                                                        \
  constexpr const ::korvu::wrap::Row *kRows[] = {LIST(WRAP_ROW_PTR)};            \
  PyMethodDef kMethods[] = {LIST(WRAP_ENTRY){nullptr, nullptr, 0, nullptr}};     \
  PyMethodDef *family_methods() {                                                \
    return ::korvu::wrap::finish_methods(kMethods, kRows, sizeof kRows / sizeof kRows[0]); \
  }

// The wrapper families of korvu.problem; each is defined by its table.
PyMethodDef *problem_query_methods(void);
PyMethodDef *problem_change_methods(void);
PyMethodDef *problem_loading_methods(void);
PyMethodDef *problem_solving_methods(void);
PyMethodDef *problem_cutpool_methods(void);
PyMethodDef *problem_slpdata_methods(void);
PyMethodDef *problem_slp_solve_methods(void);
PyMethodDef *problem_directive_methods(void);
PyMethodDef *problem_slp_multistart_methods(void);
