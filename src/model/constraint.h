// korvu.constraint: a body between two bounds, held as one packed word plus the body.
#pragma once
#include "model/records.h"

struct constraint_s {
  PyObject_HEAD
  uint64_t info;
  // The body, owned; null before initialisation and for rows read from a file.
  // Once the row is in a problem's library and nobody else holds the body, the
  // body is given up and this word names that problem instead (borrowed,
  // tagged with CON_BODY_IN_LIBRARY): the body is read back from the row when
  // it is asked for.  Use constraint_body() to get it.
  PyObject *body;
};

// Tags of a body word that names a problem; CON_BODY_SHARED keeps the body's
// shared flag for the expression read back.
constexpr uintptr_t CON_BODY_IN_LIBRARY = 1, CON_BODY_SHARED = 2, CON_BODY_TAGS = 3;
// Tag of a body held: the expression is its maker's (x + 1 == 3 shares x + 1),
// and its constant is already in the bounds.  The body reads as that
// expression without its constant, a copy made when someone asks for it
// (constraint_body); registration reads the shared expression and leaves the
// constant out.
constexpr uintptr_t CON_BODY_FOLDED = 4;

inline bool con_body_in_library(const constraint_s *c) {
  return reinterpret_cast<uintptr_t>(c->body) & CON_BODY_IN_LIBRARY;
}
// The problem holding the row of a body given up (borrowed).
inline PyObject *con_body_home(const constraint_s *c) {
  return reinterpret_cast<PyObject *>(reinterpret_cast<uintptr_t>(c->body) & ~CON_BODY_TAGS);
}
// Whether the constraint has a body, held or in a library.
inline bool con_has_body(const constraint_s *c) { return c->body != nullptr; }
// Whether the body held is a shared expression whose constant is in the bounds.
inline bool con_body_folded(const constraint_s *c) {
  return (reinterpret_cast<uintptr_t>(c->body) & (CON_BODY_IN_LIBRARY | CON_BODY_FOLDED)) == CON_BODY_FOLDED;
}
// The object held as body, without the tag (null for a body in a library).
inline PyObject *con_held_body(const constraint_s *c) {
  if (con_body_in_library(c)) return nullptr;
  return reinterpret_cast<PyObject *>(reinterpret_cast<uintptr_t>(c->body) & ~CON_BODY_FOLDED);
}
// Drops the body held (after constraint_forget_home for one in a library).
inline void con_clear_held_body(constraint_s *c) {
  PyObject *b = con_held_body(c);
  c->body = nullptr;
  Py_XDECREF(b);
}

// The body (borrowed): the one held, or the one read back from the library
// row, which the constraint then holds again.  Null with an exception when it
// cannot be read; null without one when the constraint has no body.
PyObject *constraint_body(constraint_s *c);
// Drops the link of a body given up to a library (before a new body is set,
// or when the constraint goes with its problem's list).
void constraint_forget_home(constraint_s *c);

constexpr uint64_t CON_ID_MASK = (uint64_t(1) << 57) - 1;

// Whether a name was given (bit 63, see constraint.cpp); else the name is "R" and the id.
inline bool con_name_stored(uint64_t info) { return info >> 63; }

double get_con_lbound(uint64_t info);
double get_con_ubound(uint64_t info);
PyObject *get_con_name(uint64_t info);
void set_con_lbound(uint64_t *info, double v);
void set_con_ubound(uint64_t *info, double v);
void set_con_name(uint64_t *info, PyObject *obj);
// Both bounds at once, with one map look-up for an equality's.
void get_con_bounds(uint64_t info, double *lo, double *up);
// lb = ub = v, with one map entry where v needs one.
void set_con_equal(uint64_t *info, double v);

// A special ordered set.
struct sos_s {
  PyObject_HEAD
  int64_t id;
  PyObject *name;
  uint8_t type;
  PyObject *indices;
  PyObject *weights;
};
