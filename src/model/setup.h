// Entry points the module initialiser calls for the modelling types.
#pragma once
#include "module/pyref.h"

// Creates the side maps of the environment record (bounds, thresholds, names).
int model_init_env(void);
// Releases them (module teardown).
void model_free_env(void);
// Readies var, sos, expression, constraint, linterm, quadterm, nonlinear.
int model_ready_types(void);
// Adds var, sos and constraint to the module.
int model_add_types(PyObject *module);
