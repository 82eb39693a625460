// Internal interface of the module frame: initialisation, lifecycle, output.
#pragma once
#include "module/env.h"
#include "krvu.h"
#include "kslp.h"

// Registers the identifier counters and the module constants.
int init_structures(PyObject *module);
int module_constant_count(void);

// Counted start and stop requests on the library; 0 or -1 with an exception set.
int turnKRVUon(int force);
int turnKRVUoff(int force);

// Writes library text to Python's standard output (any thread).
void krv_py_print_general(const char *text);

// Fills the control and attribute tables from the library (at import, or at
// the first later start).  at_import: a library that cannot start is not an error.
int fill_control_tables(int at_import);

// Module functions of the frame, appended to the module's method table.
extern PyMethodDef korvu_frame_methods[];
