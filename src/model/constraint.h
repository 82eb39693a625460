// korvu.constraint: a body between two bounds, held as one packed word plus the body.
#pragma once
#include "model/records.h"

struct constraint_s {
  PyObject_HEAD
  uint64_t info;
  PyObject *body;  // owned; null only before initialisation
};

constexpr uint64_t CON_ID_MASK = (uint64_t(1) << 57) - 1;

// Whether a name was given (bit 63, see constraint.cpp); else the name is "R" and the id.
inline bool con_name_stored(uint64_t info) { return info >> 63; }

double get_con_lbound(uint64_t info);
double get_con_ubound(uint64_t info);
PyObject *get_con_name(uint64_t info);
void set_con_lbound(uint64_t *info, double v);
void set_con_ubound(uint64_t *info, double v);
void set_con_name(uint64_t *info, PyObject *obj);

// A special ordered set.
struct sos_s {
  PyObject_HEAD
  int64_t id;
  PyObject *name;
  uint8_t type;
  PyObject *indices;
  PyObject *weights;
};
