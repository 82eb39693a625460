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

void problem_release_callbacks(problem_s *self) {
  for (PyObject *&slot : self->callbacks) Py_CLEAR(slot);
}
