// Module initialisation: the environment record, the types, constants,
// exceptions and the module-level controls object.
#define KORVU_NUMPY_OWNER
#include "callbacks/callbacks.h"
#include "module/numpy_api.h"

#include <vector>

#include "binding/handles.h"
#include "model/setup.h"
#include "module/module.h"
#include "problem/problem.h"

using korvu::PyRef;

krv_py_env_s krv_py_env = {};

extern PyMethodDef korvu_error_methods[];
// Module functions of other subsystems; a family missing from a build fails the link.
extern PyMethodDef korvu_aggregate_methods[];  // Sum, Prod, Dot, evaluate
extern PyMethodDef korvu_array_methods[];      // vars
extern PyMethodDef korvu_binding_methods[];    // the wrapper table's description
extern PyMethodDef korvu_function_methods[] __attribute__((weak));   // sin, cos, ..., user, pwl

namespace {

void init_mutexes() {
  for (auto &m : krv_py_env.mutexes) pthread_mutex_init(&m, nullptr);
}

void destroy_mutexes() {
  for (auto &m : krv_py_env.mutexes) pthread_mutex_destroy(&m);
}

// The module's function table, assembled from the subsystems' tables.
std::vector<PyMethodDef> g_functions;

PyModuleDef g_moduledef = {PyModuleDef_HEAD_INIT, "korvulib", nullptr, -1, nullptr,
                           nullptr, nullptr, nullptr, nullptr};

void release_fields() {
  Py_CLEAR(krv_py_env.controls);
  Py_CLEAR(krv_py_env.control_table);
  Py_CLEAR(krv_py_env.attribute_table);
  Py_CLEAR(krv_py_env.default_controls);
  Py_CLEAR(krv_py_env.msghandlers);
}

// NumPy's API tables; the described ImportError texts where a step fails.
int import_numpy() {
  if (_import_array() < 0) {
    if (!PyErr_ExceptionMatches(PyExc_ImportError)) {
      PyErr_Clear();
      PyErr_SetString(PyExc_ImportError, "numpy.core.multiarray failed to import");
    }
    return -1;
  }
  if (_import_umath() < 0) {
    if (!PyErr_ExceptionMatches(PyExc_ImportError)) {
      PyErr_Clear();
      PyErr_SetString(PyExc_ImportError, "numpy.core.umath failed to import");
    }
    return -1;
  }
  return 0;
}

PyObject *fail_cleanup() {
  release_fields();
  destroy_mutexes();
  if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "Error initializing the Korvu module");
  return nullptr;
}

}  // namespace

// Hook for the NumPy data types of the array subsystem (fills npvar, npexpr,
// npconstraint); weak so that the frame builds on its own.
extern "C" int __attribute__((weak)) korvu_numpy_setup(PyObject *module);

extern "C" PyObject *initkorvulib(void) {
  init_mutexes();
  if (import_numpy() < 0) {
    destroy_mutexes();
    return nullptr;
  }

  if (model_ready_types() < 0 || problem_ready_types() < 0 || handles_ready_types() < 0 ||
      branchobj_ready_type() < 0)
    return fail_cleanup();

  g_functions.clear();
  for (PyMethodDef *family : {korvu_aggregate_methods, korvu_array_methods, korvu_binding_methods,
                              korvu_function_methods, korvu_error_methods, korvu_frame_methods})
    if (family)
      for (PyMethodDef *m = family; m->ml_name; ++m) g_functions.push_back(*m);
  g_functions.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});
  g_moduledef.m_methods = g_functions.data();

  PyRef module = PyRef::steal(PyModule_Create(&g_moduledef));
  if (!module) return fail_cleanup();

  krv_py_env.control_table = PyDict_New();
  krv_py_env.attribute_table = PyDict_New();
  krv_py_env.default_controls = PyDict_New();
  krv_py_env.msghandlers = PyList_New(0);
  if (!krv_py_env.control_table || !krv_py_env.attribute_table || !krv_py_env.default_controls ||
      !krv_py_env.msghandlers)
    return fail_cleanup();
  krv_py_env.controls = control_new(nullptr);
  if (!krv_py_env.controls) return fail_cleanup();
  krv_py_env.start_count = 0;
  krv_py_env.slp_state = -1;
  krv_py_env.output_enabled = 1;
  if (model_init_env() < 0) return fail_cleanup();

  if (fill_control_tables(1) < 0) return fail_cleanup();

  korvu_ModelError = PyErr_NewException("korvu.ModelError", nullptr, nullptr);
  korvu_InterfaceError = PyErr_NewException("korvu.InterfaceError", nullptr, nullptr);
  korvu_SolverError = PyErr_NewException("korvu.SolverError", nullptr, nullptr);
  if (!korvu_ModelError || !korvu_InterfaceError || !korvu_SolverError) return fail_cleanup();

  PyObject *m = module.get();
  if (model_add_types(m) < 0 ||
      PyModule_AddObjectRef(m, "problem", reinterpret_cast<PyObject *>(&korvu_problemType)) < 0 ||
      PyModule_AddObjectRef(m, "poolcut", reinterpret_cast<PyObject *>(&korvu_poolcutType)) < 0 ||
      PyModule_AddObjectRef(m, "branchobj", reinterpret_cast<PyObject *>(&korvu_branchobjType)) < 0 ||
      PyModule_AddObjectRef(m, "ModelError", korvu_ModelError) < 0 ||
      PyModule_AddObjectRef(m, "InterfaceError", korvu_InterfaceError) < 0 ||
      PyModule_AddObjectRef(m, "SolverError", korvu_SolverError) < 0)
    return fail_cleanup();
  if (korvu_numpy_setup && korvu_numpy_setup(m) < 0) return fail_cleanup();
  if (init_structures(m) < 0) return fail_cleanup();
  for (auto [name, obj] : {std::pair<const char *, PyObject *>{"npvar", krv_py_env.npvar},
                           {"npexpr", krv_py_env.npexpr},
                           {"npconstraint", krv_py_env.npconstraint}})
    if (obj && PyModule_AddObjectRef(m, name, obj) < 0) return fail_cleanup();

  // Every problem gets the nonlinear solver's postsolve by default.
  PyRef one = PyRef::steal(PyLong_FromLong(1));
  {
    PyObject *dict = PyObject_GetAttrString(krv_py_env.controls, "__dict__");
    if (!dict) return fail_cleanup();
    int rc = PyDict_SetItemString(dict, "kslp_postsolve", one.get());
    Py_DECREF(dict);
    if (rc < 0) return fail_cleanup();
  }
  {
    korvu::EnvLock lock(KRV_MUTEX_DEFAULTS);
    if (PyDict_SetItemString(krv_py_env.default_controls, "kslp_postsolve", one.get()) < 0)
      return fail_cleanup();
  }
  if (PyModule_AddObjectRef(m, "controls", krv_py_env.controls) < 0) return fail_cleanup();
  krv_py_env.module = module.get();
  return module.release();
}

PyMODINIT_FUNC PyInit_korvulib(void) { return initkorvulib(); }

// Module teardown, for embedders that unload the module explicitly.
extern "C" void korvumod_freeModule(void) {
  release_fields();
  model_free_env();
  turnKRVUoff(0);
  destroy_mutexes();
  krv_py_env.module = nullptr;
}
