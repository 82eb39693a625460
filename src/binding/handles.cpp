#include "binding/handles.h"

namespace {

PyObject *handle_create(PyTypeObject *type, void *ptr) {
  handle_s *h = PyObject_New(handle_s, type);
  if (h) h->ptr = ptr;
  return reinterpret_cast<PyObject *>(h);
}

void handle_dealloc(PyObject *self) { Py_TYPE(self)->tp_free(self); }

// korvu.poolcut() can be built by users; it starts empty.
int poolcut_init(PyObject *self, PyObject *, PyObject *) {
  reinterpret_cast<handle_s *>(self)->ptr = nullptr;
  return 0;
}

PyTypeObject make_type(const char *name, const char *doc, initproc init) {
  PyTypeObject t = {PyVarObject_HEAD_INIT(nullptr, 0)};
  t.tp_name = name;
  t.tp_basicsize = sizeof(handle_s);
  t.tp_dealloc = handle_dealloc;
  t.tp_flags = Py_TPFLAGS_DEFAULT;
  t.tp_doc = doc;
  t.tp_init = init;
  t.tp_alloc = PyType_GenericAlloc;
  if (init) t.tp_new = PyType_GenericNew;
  return t;
}

}  // namespace

PyTypeObject korvu_poolcutType =
    make_type("korvu.poolcut", "A cut of a problem's cut pool.", poolcut_init);
PyTypeObject korvu_krvuobjectType =
    make_type("korvu.krvuobject", "An object of the optimizer library.", nullptr);
PyTypeObject korvu_genericType =
    make_type("korvu.generic", "An opaque pointer handed out by the optimizer library.", nullptr);

PyObject *poolcut_create(void *cut) { return handle_create(&korvu_poolcutType, cut); }
PyObject *krvuobject_create(void *handle) { return handle_create(&korvu_krvuobjectType, handle); }
PyObject *voidstar_create(void *pointer) { return handle_create(&korvu_genericType, pointer); }

int handles_ready_types(void) {
  for (PyTypeObject *t : {&korvu_poolcutType, &korvu_krvuobjectType, &korvu_genericType})
    if (PyType_Ready(t) < 0) return -1;
  return 0;
}
