// korvu.sos: a special ordered set of type 1 or 2.
#include "model/algebra.h"
#include "model/constraint.h"
#include "module/env.h"

#include <structmember.h>

using korvu::PyRef;

static sos_s *S(PyObject *o) { return reinterpret_cast<sos_s *>(o); }

static int64_t take_set_id() {
  korvu::EnvLock lock(KRV_MUTEX_SETID);
  int64_t id = static_cast<int64_t>(krv_py_env.next_set_id++);
  if (id == 0) id = static_cast<int64_t>(krv_py_env.next_set_id++);
  return id;
}

static int sos_traverse(PyObject *self, visitproc visit, void *arg) {
  Py_VISIT(S(self)->name);
  Py_VISIT(S(self)->indices);
  Py_VISIT(S(self)->weights);
  return 0;
}

static int sos_clear(PyObject *self) {
  Py_CLEAR(S(self)->name);
  Py_CLEAR(S(self)->indices);
  Py_CLEAR(S(self)->weights);
  return 0;
}

static void sos_dealloc(PyObject *self) {
  PyObject_GC_UnTrack(self);
  sos_clear(self);
  Py_TYPE(self)->tp_free(self);
}

static int sos_init(PyObject *self, PyObject *args, PyObject *kwds) {
  sos_s *s = S(self);
  if (s->id == 0) s->id = take_set_id();  // re-initialising keeps the id
  s->type = 1;
  sos_clear(self);
  static const char *kwlist[] = {"indices", "weights", "type", "name", nullptr};
  PyObject *indices, *weights, *type = nullptr, *name = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwds, "OO|OO", const_cast<char **>(kwlist), &indices, &weights, &type,
                                   &name))
    return -1;
  s->name = (name && name != Py_None) ? Py_NewRef(name) : PyUnicode_FromFormat("sos%lld", (long long)s->id);
  if (!s->name) return -1;
  if (type && type != Py_None) {
    long t = PyLong_AsLong(type);
    if (t == -1 && PyErr_Occurred()) return -1;
    // The whole value is checked: 257 is not type 1.
    if (t != 1 && t != 2) {
      PyErr_SetString(korvu_ModelError, "SOS type must be 1 or 2");
      return -1;
    }
    s->type = static_cast<uint8_t>(t);
  }
  if (!PyList_Check(weights)) {
    PyErr_SetString(korvu_ModelError, "SOS weights must be passed as a list");
    return -1;
  }
  if (!PyList_Check(indices)) {
    PyErr_SetString(korvu_ModelError, "SOS indices must be passed as a list");
    return -1;
  }
  if (PyList_GET_SIZE(indices) != PyList_GET_SIZE(weights)) {
    PyErr_SetString(korvu_ModelError, "SOS indices and weights must have the same length");
    return -1;
  }
  s->indices = Py_NewRef(indices);
  s->weights = Py_NewRef(weights);
  return 0;
}

static PyObject *sos_str(PyObject *self) {
  PyObject *n = S(self)->name;
  if (!n) return PyUnicode_FromFormat("sos%lld", (long long)S(self)->id);
  return PyObject_Str(n);
}

static PyObject *sos_copy(PyObject *self, PyObject *) {
  sos_s *src = S(self);
  PyRef r = PyRef::steal(PyType_GenericAlloc(&korvu_sosType, 0));
  if (!r) return nullptr;
  sos_s *dst = S(r.get());
  dst->id = take_set_id();
  dst->type = src->type;
  Py_ssize_t n = src->indices ? PyList_GET_SIZE(src->indices) : 0;
  Py_ssize_t nw = src->weights ? PyList_GET_SIZE(src->weights) : 0;
  dst->indices = PyList_New(n);
  dst->weights = PyList_New(n);
  if (!dst->indices || !dst->weights) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyList_SET_ITEM(dst->indices, i, Py_NewRef(PyList_GET_ITEM(src->indices, i)));
    // The lists were equally long when made; a list shortened since then pads with None.
    PyList_SET_ITEM(dst->weights, i, Py_NewRef(i < nw ? PyList_GET_ITEM(src->weights, i) : Py_None));
  }
  dst->name = PyUnicode_FromFormat("sos%lld_copy_%S", (long long)src->id, src->name ? src->name : Py_None);
  if (!dst->name) return nullptr;
  return r.release();
}

static PyObject *sos_get_name(PyObject *self, void *) {
  return S(self)->name ? Py_NewRef(S(self)->name) : sos_str(self);
}

static int sos_set_name(PyObject *self, PyObject *value, void *) {
  if (!value) {
    PyErr_SetString(korvu_InterfaceError, "The name of a korvu.sos cannot be deleted");
    return -1;
  }
  Py_XSETREF(S(self)->name, Py_NewRef(value));
  return 0;
}

static PyGetSetDef sos_getset[] = {
    {"name", sos_get_name, sos_set_name, "The name of the set.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyDoc_STRVAR(sos_copy_doc,
             "copy($self, /)\n--\n\n"
             "Purpose:\n  Return a copy of the SOS as a new object\n\n"
             "Synopsis:\n  s2 = s.copy()\n\n"
             "Further information:\n  The copy has a new number, new lists holding the same members and "
             "weights, and\n  the name sos<number>_copy_<name>.\n");

static PyMethodDef sos_methods[] = {
    {"copy", sos_copy, METH_NOARGS, sos_copy_doc},
    {nullptr, nullptr, 0, nullptr},
};

PyDoc_STRVAR(sos_doc,
             "sos(indices, weights, type=1, name=None)\n--\n\n"
             "Purpose:\n  A special ordered set: at most one (type 1) or two adjacent (type 2) of its\n"
             "  members may be non-zero.\n\n"
             "Synopsis:\n  s = korvu.sos(indices, weights, type=1, name=None)\n\n"
             "Arguments:\n"
             "  indices  a list of variables (or column numbers)\n"
             "  weights  a list of distinct weights, one per member, that order the set\n"
             "  type     1 or 2\n"
             "  name     the set's name (default sos followed by its number)\n\n"
             "Example:\n  s = korvu.sos([x, y, z], [1, 2, 3], type=2)\n\n"
             "Related topics:\n  var, constraint, problem.addSOS\n");

PyTypeObject korvu_sosType = {
    PyVarObject_HEAD_INIT(nullptr, 0) "korvu.SOS",
    sizeof(sos_s),
};

int sos_ready_type(void) {
  PyTypeObject *t = &korvu_sosType;
  t->tp_dealloc = sos_dealloc;
  t->tp_repr = sos_str;
  t->tp_str = sos_str;
  t->tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
  t->tp_doc = sos_doc;
  t->tp_traverse = sos_traverse;
  t->tp_clear = sos_clear;
  t->tp_methods = sos_methods;
  t->tp_getset = sos_getset;
  t->tp_init = sos_init;
  t->tp_new = PyType_GenericNew;
  return PyType_Ready(t);
}
