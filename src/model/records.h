// Records of the modelling types and the few inline helpers every algebra file needs.
#pragma once
#include "module/pyref.h"
#include <cstdint>
#include <string>

struct linmap;
struct quadmap;
struct indexset;

// A decision variable: one packed word (see var.cpp for the bit layout).
struct var_s {
  PyObject_HEAD
  uint64_t info;
};

// c * x
struct linterm_s {
  PyObject_HEAD
  double coef;
  var_s *var;
};

// c * x * y with id(x) <= id(y)
struct quadterm_s {
  PyObject_HEAD
  double coef;
  var_s *var1;
  var_s *var2;
};

// constant + linear part + quadratic part; the maps are created on first use.
// shared: a constraint holds this expression as its body (comparisons with a
// number share it instead of copying), so the in-place operators work on a
// copy and the constraint keeps the body it was made with.
struct expression_s {
  PyObject_HEAD
  double constant;
  linmap *lin;
  quadmap *quad;
  indexset *qids;
  bool shared;
};

extern PyTypeObject korvu_varType;
extern PyTypeObject korvu_lintermType;
extern PyTypeObject korvu_quadtermType;
extern PyTypeObject korvu_expressionType;
extern PyTypeObject korvu_nonlinType;
extern PyTypeObject korvu_constraintType;
extern PyTypeObject korvu_sosType;

constexpr uint64_t VAR_ID_MASK = (uint64_t(1) << 52) - 1;

// Whether a name was given (bit 59 of the word, see var.cpp); without one the
// name is "C" and the id, made only when someone asks for it.
inline bool var_name_stored(uint64_t info) { return (info >> 59) & 1; }

// Appends prefix and the decimal digits of id: the text of a default name.
inline void append_default_name(std::string *out, char prefix, uint64_t id) {
  char buf[24];
  int n = 24;
  do {
    buf[--n] = static_cast<char>('0' + id % 10);
    id /= 10;
  } while (id);
  buf[--n] = prefix;
  out->append(buf + n, static_cast<size_t>(24 - n));
}

inline uint64_t var_id(const var_s *v) { return v->info & VAR_ID_MASK; }
inline uint64_t var_id(PyObject *v) { return reinterpret_cast<var_s *>(v)->info & VAR_ID_MASK; }

inline bool is_var(PyObject *o) { return PyObject_TypeCheck(o, &korvu_varType); }
inline bool is_linterm(PyObject *o) { return PyObject_TypeCheck(o, &korvu_lintermType); }
inline bool is_quadterm(PyObject *o) { return PyObject_TypeCheck(o, &korvu_quadtermType); }
inline bool is_expression(PyObject *o) { return PyObject_TypeCheck(o, &korvu_expressionType); }
inline bool is_nonlin(PyObject *o) { return PyObject_TypeCheck(o, &korvu_nonlinType); }

#define KRV_VAR(o) (reinterpret_cast<var_s *>(o))
#define KRV_LT(o) (reinterpret_cast<linterm_s *>(o))
#define KRV_QT(o) (reinterpret_cast<quadterm_s *>(o))
#define KRV_EXPR(o) (reinterpret_cast<expression_s *>(o))
#define KRV_OBJ(o) (reinterpret_cast<PyObject *>(o))
