// The positional elements of a problem declaration.
#include "callbacks/callbacks.h"
#include "module/module.h"
#include "binding/wrap.h"
#include "problem/methods.h"

std::vector<PyMethodDef *> problem_method_families(void) {
  // The wrapper families are called, not looked up: one missing from a build
  // fails the link.
  std::vector<PyMethodDef *> families = {problem_model_methods, problem_solution_methods,
                                         problem_file_methods, problem_control_methods,
                                         problem_query_methods(), problem_change_methods(),
                                         problem_loading_methods(), problem_solving_methods(),
                                         problem_cutpool_methods(),
                                         problem_slpdata_methods(),
                                         problem_slp_solve_methods(),
                                         problem_directive_methods(),
                                         problem_callback_methods()};
  return families;
}

void problem_release_callbacks(problem_s *self) {
  for (PyObject *&slot : self->callbacks) Py_CLEAR(slot);
}
