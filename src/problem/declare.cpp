// The positional elements of a problem declaration.
#include "module/module.h"
#include "problem/methods.h"

std::vector<PyMethodDef *> problem_method_families(void) {
  std::vector<PyMethodDef *> families;
  for (PyMethodDef *f : {problem_model_methods, problem_solution_methods, problem_file_methods,
                         problem_control_methods, problem_library_methods})
    if (f) families.push_back(f);
  return families;
}

int problem_add_elements(problem_s *self, PyObject *elements, int) {
  bool named = false;
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(elements); ++i) {
    PyObject *e = PyTuple_GET_ITEM(elements, i);
    if (PyUnicode_Check(e)) {
      if (named) {
        PyErr_SetString(korvu_ModelError, "More than one string passed in problem declaration");
        return -1;
      }
      named = true;
      korvu::PyRef ascii = korvu::PyRef::steal(PyUnicode_AsASCIIString(e));
      if (!ascii) return -1;
      if (KRVUsetprobname(self->prob, PyBytes_AS_STRING(ascii.get())) != 0) {
        setKrvuErrIfNull(reinterpret_cast<PyObject *>(self), nullptr);
        return -1;
      }
      continue;
    }
    // Model objects in the declaration are registered once the model
    // registration methods exist.
    PyErr_SetString(korvu_ModelError,
                    "Erroneous problem declaration; argument contained object that was not a "
                    "variable, constraint, or expression");
    return -1;
  }
  return 0;
}

void problem_release_callbacks(problem_s *self) {
  for (PyObject *&slot : self->callbacks) Py_CLEAR(slot);
}
