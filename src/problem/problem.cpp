// The korvu.problem type: creation, initialisation, destruction and the
// assembly of its method table from the method families.
#include <cstring>
#include <vector>

#include "model/maps.h"
#include "module/module.h"
#include "problem/bodies.h"
#include "problem/methods.h"
#include "problem/problem.h"

using korvu::EnvLock;
using korvu::PyRef;

namespace {

void print_prob(KRVUprob, void *, const char *msg, int, int) { krv_py_print_general(msg); }
void print_probNL(KSLPprob, void *, const char *msg, int, int) { krv_py_print_general(msg); }

PyObject *problem_new(PyTypeObject *type, PyObject *, PyObject *) {
  problem_s *self = reinterpret_cast<problem_s *>(type->tp_alloc(type, 0));
  if (!self) return nullptr;
  self->obj_col = -1;
  self->obj_row = -1;
  Py_XINCREF(krv_py_env.module);
  return reinterpret_cast<PyObject *>(self);
}

}  // namespace

int problem_apply_default_controls(problem_s *self) {
  EnvLock tables(KRV_MUTEX_TABLES);
  EnvLock defaults(KRV_MUTEX_DEFAULTS);
  PyObject *name, *value;
  Py_ssize_t pos = 0;
  while (PyDict_Next(krv_py_env.default_controls, &pos, &name, &value)) {
    PyObject *entry = PyDict_GetItemWithError(krv_py_env.control_table, name);
    if (!entry) {
      if (!PyErr_Occurred())
        PyErr_SetString(korvu_InterfaceError, "Incorrect control name in initialization");
      return -1;
    }
    // Nonlinear controls cannot be set where the nonlinear solver is not started.
    long source = PyLong_AsLong(PyTuple_GET_ITEM(entry, 2));
    if (source != 0 && !self->slpprob) continue;
    if (problem_set_control(self, entry, value) < 0) return -1;
  }
  return 0;
}

namespace {

int problem_init(PyObject *obj, PyObject *args, PyObject *kwargs) {
  problem_s *self = reinterpret_cast<problem_s *>(obj);
  if (self->prob) {
    PyErr_SetString(korvu_ModelError, "The problem is already initialised");
    return -1;
  }
  PyObject *name = nullptr;
  int sense = 1;
  if (kwargs) {
    static const char *kwlist[] = {"name", "sense", nullptr};
    PyRef empty = PyRef::steal(PyTuple_New(0));
    if (!empty || !PyArg_ParseTupleAndKeywords(empty.get(), kwargs, "|Oi",
                                               const_cast<char **>(kwlist), &name, &sense))
      return -1;
  }
  if (sense != 1 && sense != -1) {
    PyErr_SetString(korvu_ModelError, "Invalid optimization sense");
    return -1;
  }
  if (name && name != Py_None && !PyUnicode_Check(name)) {
    PyErr_SetString(korvu_ModelError, "The problem name must be a string");
    return -1;
  }

  self->vars = PyList_New(0);
  self->constraints = PyList_New(0);
  self->sos = PyList_New(0);
  self->varmap = rowcolmap_new();
  self->rowmap = rowcolmap_new();
  self->sosmap = rowcolmap_new();
  if (!self->vars || !self->constraints || !self->sos || !self->varmap || !self->rowmap ||
      !self->sosmap) {
    PyErr_SetString(korvu_ModelError, "Could not create problem maps");
    return -1;
  }
  if (turnKRVUon(0) != 0) return -1;

  self->nonlin_rows = self->nonlin_obj = 0;
  self->obj_col = self->obj_row = -1;
  if (KRVUcreateprob(&self->prob) != 0) {
    self->prob = nullptr;
    setKrvuErrIfNull(nullptr, nullptr);
    return -1;
  }
  int slp_state;
  {
    EnvLock lock(KRV_MUTEX_LIBSTATE);
    slp_state = krv_py_env.slp_state;
  }
  if (slp_state == 1) {
    if (KSLPcreateprob(&self->slpprob, &self->prob) != 0 ||
        KSLPsetintcontrol(self->slpprob, KSLP_CTRL_ECHOLOG, 0) != 0) {
      setKrvuErrIfNull(obj, nullptr);
      return -1;
    }
  }

  PyRef ascii;
  const char *probname = "noname";
  if (name && name != Py_None) {
    ascii = PyRef::steal(PyUnicode_AsASCIIString(name));
    if (!ascii) return -1;
    probname = PyBytes_AS_STRING(ascii.get());
  }
  // The empty problem is loaded with logging off, so creating a problem is silent.
  int outputlog = 1;
  if (KRVUgetintcontrol(self->prob, KRVU_CTRL_OUTPUTLOG, &outputlog) != 0 ||
      KRVUsetintcontrol(self->prob, KRVU_CTRL_OUTPUTLOG, 0) != 0 ||
      KRVUloadlp(self->prob, probname, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr) != 0 ||
      KRVUsetintcontrol(self->prob, KRVU_CTRL_OUTPUTLOG, outputlog) != 0) {
    setKrvuErrIfNull(obj, nullptr);
    return -1;
  }

  self->controls = control_new(obj);
  self->attributes = attribute_new(obj);
  if (!self->controls || !self->attributes) return -1;

  if (KRVUaddcbmessage(self->prob, print_prob, nullptr, 1) != 0 ||
      (self->slpprob && KSLPsetcbmessage(self->slpprob, print_probNL, nullptr) != 0)) {
    setKrvuErrIfNull(obj, nullptr);
    return -1;
  }
  if (problem_apply_default_controls(self) < 0) return -1;
  return problem_add_elements(self, args, sense);
}

int problem_traverse(PyObject *obj, visitproc visit, void *arg) {
  problem_s *self = reinterpret_cast<problem_s *>(obj);
  Py_VISIT(self->vars);
  Py_VISIT(self->constraints);
  Py_VISIT(self->sos);
  Py_VISIT(self->controls);
  Py_VISIT(self->attributes);
  Py_VISIT(self->userfuncs);
  for (PyObject *slot : self->callbacks) Py_VISIT(slot);
  return 0;
}

int problem_clear(PyObject *obj) {
  problem_s *self = reinterpret_cast<problem_s *>(obj);
  problem_release_bodies(self);
  Py_CLEAR(self->vars);
  Py_CLEAR(self->constraints);
  Py_CLEAR(self->sos);
  control_detach(self->controls);
  control_detach(self->attributes);
  Py_CLEAR(self->controls);
  Py_CLEAR(self->attributes);
  Py_CLEAR(self->userfuncs);
  for (PyObject *&slot : self->callbacks) Py_CLEAR(slot);
  return 0;
}

void problem_dealloc(PyObject *obj) {
  problem_s *self = reinterpret_cast<problem_s *>(obj);
  PyObject_GC_UnTrack(obj);
  // Keep any exception that is propagating while the problem goes.
  PyObject *etype, *evalue, *etb;
  PyErr_Fetch(&etype, &evalue, &etb);
  if (self->prob) KRVUremovecbmessage(self->prob, print_prob, nullptr);
  problem_release_bodies(self);
  if (self->slpprob) {
    KSLPdestroyprob(self->slpprob);
    self->slpprob = nullptr;
  }
  if (self->prob) {
    KRVUdestroyprob(self->prob);
    self->prob = nullptr;
  }
  problem_release_callbacks(self);
  Py_CLEAR(self->cb_error);
  problem_clear(obj);
  rowcolmap_free(&self->varmap);
  rowcolmap_free(&self->rowmap);
  rowcolmap_free(&self->sosmap);
  PyErr_Restore(etype, evalue, etb);
  PyObject *module = krv_py_env.module;
  Py_TYPE(obj)->tp_free(obj);
  Py_XDECREF(module);
}

PyObject *get_controls(PyObject *obj, void *) {
  PyObject *c = reinterpret_cast<problem_s *>(obj)->controls;
  if (!c) Py_RETURN_NONE;
  Py_INCREF(c);
  return c;
}

PyObject *get_attributes(PyObject *obj, void *) {
  PyObject *a = reinterpret_cast<problem_s *>(obj)->attributes;
  if (!a) Py_RETURN_NONE;
  Py_INCREF(a);
  return a;
}

PyGetSetDef problem_getset[] = {
    {"controls", get_controls, nullptr, "The problem's controls (korvu.control).", nullptr},
    {"attributes", get_attributes, nullptr, "The problem's attributes (korvu.attribute).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

std::vector<PyMethodDef> g_methods;

}  // namespace

PyObject *problem_str(PyObject *self);  // files.cpp: the problem's name

PyTypeObject korvu_problemType = [] {
  PyTypeObject t = {PyVarObject_HEAD_INIT(nullptr, 0)};
  t.tp_name = "korvu.problem";
  t.tp_basicsize = sizeof(problem_s);
  t.tp_dealloc = problem_dealloc;
  t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  t.tp_doc =
      "problem(*elements, name='noname', sense=korvu.minimize)\n--\n\n"
      "Purpose:\n  An optimization problem: variables, constraints, sets and an objective,\n"
      "  solved by the optimizer library.\n\n"
      "Synopsis:\n  p = korvu.problem(*elements, name=..., sense=...)\n\n"
      "Arguments:\n  elements: variables, constraints, sets, an objective expression and a\n"
      "    string (the problem name), in any nesting of lists, tuples and dicts.\n"
      "  name: the problem name.\n  sense: korvu.minimize (default) or korvu.maximize.\n\n"
      "Example:\n  x = korvu.var(); p = korvu.problem(x, x >= 1, x, name='tiny')\n\n"
      "Related topics:\n  addVariable, addConstraint, setObjective, solve\n";
  t.tp_traverse = problem_traverse;
  t.tp_clear = problem_clear;
  t.tp_getset = problem_getset;
  t.tp_str = problem_str;
  t.tp_init = problem_init;
  t.tp_new = problem_new;
  return t;
}();

thread_local const problem_s *korvu_callback_problem = nullptr;

namespace {

const char kBusy[] =
    "The problem is being solved, tuned, read or written in another thread; until that returns only its "
    "attributes and controls can be read (and interrupt called)";

// What another thread may use of a busy problem.
bool allowed_while_busy(PyObject *name) {
  static const char *const names[] = {"attributes", "controls", "getAttrib", "getControl", "getProbStatus",
                                      "getProbStatusString", "interrupt", "name", "__class__", "__repr__",
                                      "__str__", "__doc__"};
  for (const char *n : names)
    if (PyUnicode_CompareWithASCIIString(name, n) == 0) return true;
  return false;
}

PyObject *problem_getattro(PyObject *self, PyObject *name) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (p->busy && p->busy_thread != PyThread_get_thread_ident() && korvu_callback_problem != p &&
      PyUnicode_Check(name) && !allowed_while_busy(name)) {
    PyErr_SetString(korvu_InterfaceError, kBusy);
    return nullptr;
  }
  return PyObject_GenericGetAttr(self, name);
}

}  // namespace

BusyScope::BusyScope(problem_s *p) : p_(p) {
  if (p->busy) {
    PyErr_SetString(korvu_InterfaceError, kBusy);
    p_ = nullptr;
    return;
  }
  p->busy = 1;
  p->busy_thread = PyThread_get_thread_ident();
}

BusyScope::~BusyScope() {
  if (p_) p_->busy = 0;
}

int problem_ready_types(void) {
  korvu_problemType.tp_getattro = problem_getattro;
  for (PyMethodDef *family : problem_method_families())
    for (PyMethodDef *m = family; m->ml_name; ++m) g_methods.push_back(*m);
  g_methods.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});
  korvu_problemType.tp_methods = g_methods.data();
  for (PyTypeObject *t : {&korvu_controlType, &korvu_attributeType, &korvu_problemType})
    if (PyType_Ready(t) < 0) return -1;
  return 0;
}
