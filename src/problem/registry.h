// The problem's registry of model objects: its three lists and maps, built
// aside and handed over whole, so that a failure leaves the problem as it was.
#pragma once
#include <utility>

#include "model/maps.h"
#include "problem/problem.h"

struct registry {
  korvu::PyRef vars, constraints, sos;
  rowcolmap *varmap = nullptr, *rowmap = nullptr, *sosmap = nullptr;
  registry() = default;
  registry(const registry &) = delete;
  registry &operator=(const registry &) = delete;
  ~registry() {
    rowcolmap_free(&varmap);
    rowcolmap_free(&rowmap);
    rowcolmap_free(&sosmap);
  }
  int create() {
    vars = korvu::PyRef::steal(PyList_New(0));
    constraints = korvu::PyRef::steal(PyList_New(0));
    sos = korvu::PyRef::steal(PyList_New(0));
    varmap = rowcolmap_new();
    rowmap = rowcolmap_new();
    sosmap = rowcolmap_new();
    if (!vars || !constraints || !sos || !varmap || !rowmap || !sosmap) {
      if (!PyErr_Occurred()) PyErr_NoMemory();
      return -1;
    }
    return 0;
  }
  // Hands everything to the problem, dropping what it held.
  void install(problem_s *p) {
    PyObject *old[3] = {p->vars, p->constraints, p->sos};
    p->vars = vars.release();
    p->constraints = constraints.release();
    p->sos = sos.release();
    std::swap(p->varmap, varmap);
    std::swap(p->rowmap, rowmap);
    std::swap(p->sosmap, sosmap);
    for (PyObject *o : old) Py_XDECREF(o);
  }
};

