// Module-level setup of the modelling types and the environment's side maps.
#include "model/setup.h"

#include "model/algebra.h"
#include "model/maps.h"
#include "module/env.h"
#include "nonlinear/nonlin.h"

int model_init_env(void) {
  krv_py_env.var_lb = boundmap_new();
  krv_py_env.var_ub = boundmap_new();
  krv_py_env.var_threshold = boundmap_new();
  krv_py_env.con_lb = boundmap_new();
  krv_py_env.con_ub = boundmap_new();
  krv_py_env.var_names = namemap_new();
  krv_py_env.con_names = namemap_new();
  if (!krv_py_env.var_lb || !krv_py_env.var_ub || !krv_py_env.var_threshold || !krv_py_env.con_lb ||
      !krv_py_env.con_ub || !krv_py_env.var_names || !krv_py_env.con_names) {
    model_free_env();
    PyErr_NoMemory();
    return -1;
  }
  if (krv_py_env.next_var_id == 0) krv_py_env.next_var_id = 1;
  if (krv_py_env.next_con_id == 0) krv_py_env.next_con_id = 1;
  if (krv_py_env.next_set_id == 0) krv_py_env.next_set_id = 1;
  return 0;
}

// Objects that outlive the module find the maps gone and skip them.
void model_free_env(void) {
  boundmap_free(&krv_py_env.var_lb);
  boundmap_free(&krv_py_env.var_ub);
  boundmap_free(&krv_py_env.var_threshold);
  boundmap_free(&krv_py_env.con_lb);
  boundmap_free(&krv_py_env.con_ub);
  namemap_free(&krv_py_env.var_names);
  namemap_free(&krv_py_env.con_names);
}

int model_ready_types(void) {
  if (var_ready_type() < 0 || linterm_ready_type() < 0 || quadterm_ready_type() < 0 ||
      expression_ready_type() < 0 || nonlin_ready_type() < 0 || constraint_ready_type() < 0 ||
      sos_ready_type() < 0)
    return -1;
  return 0;
}

int model_add_types(PyObject *module) {
  struct {
    const char *name;
    PyTypeObject *type;
  } types[] = {
      {"var", &korvu_varType},
      {"sos", &korvu_sosType},
      {"constraint", &korvu_constraintType},
  };
  for (auto &t : types)
    if (PyModule_AddObjectRef(module, t.name, reinterpret_cast<PyObject *>(t.type)) < 0) return -1;
  return 0;
}
