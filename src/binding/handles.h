// Thin handle types through which library objects travel to Python:
// korvu.poolcut (a cut of the cut pool), korvu.krvuobject (any library object)
// and korvu.generic (an opaque pointer).  The library owns what they point at.
#pragma once
#include "module/env.h"

struct handle_s {
  PyObject_HEAD
  void *ptr;
};

extern PyTypeObject korvu_poolcutType;
extern PyTypeObject korvu_krvuobjectType;
extern PyTypeObject korvu_genericType;

PyObject *poolcut_create(void *cut);
PyObject *krvuobject_create(void *handle);
PyObject *voidstar_create(void *pointer);
// The pointer held; the caller checks the type first.
inline void *handle_get(PyObject *o) { return reinterpret_cast<handle_s *>(o)->ptr; }

int handles_ready_types(void);
