// Include this instead of NumPy's headers: one translation unit (module/init.cpp)
// owns the API table, every other one refers to it.
#pragma once
#include "module/pyref.h"
#define PY_ARRAY_UNIQUE_SYMBOL korvu_ARRAY_API
#define PY_UFUNC_UNIQUE_SYMBOL korvu_UFUNC_API
#ifndef KORVU_NUMPY_OWNER
#define NO_IMPORT_ARRAY
#define NO_IMPORT_UFUNC
#endif
#include <numpy/arrayobject.h>
#include <numpy/ufuncobject.h>
#include <numpy/arrayscalars.h>
