// Error reporting: the module's exceptions and the closing report of every
// entry point.
#include <cstring>

#include "module/module.h"
#include "problem/problem.h"

PyObject *korvu_ModelError = nullptr;
PyObject *korvu_InterfaceError = nullptr;
PyObject *korvu_SolverError = nullptr;

// Branching objects register their type and last-error reader here.
PyTypeObject *korvu_branchobj_type = nullptr;
int (*korvu_branchobj_lasterror)(PyObject *bo, int *code, char *buf, int size) = nullptr;

PyObject *library_text(const char *text) {
  return PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)), "replace");
}

// Library texts start with the name of the C function that failed
// ("KRVUaddrows64: ..."), which means nothing to a Python caller.
const char *without_function_name(const char *text) {
  if (std::strncmp(text, "KRVU", 4) != 0 && std::strncmp(text, "KSLP", 4) != 0) return text;
  const char *p = text + 4;
  while (*p == '_' || (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9')) ++p;
  return p[0] == ':' && p[1] == ' ' ? p + 2 : text;
}

PyObject *setKrvuErrIfNull(PyObject *object, PyObject *result) {
  // A callback (a message handler, say) that raised during a call that
  // succeeded makes the call fail with its exception.
  if (PyErr_Occurred()) {
    Py_XDECREF(result);
    return nullptr;
  }
  if (result) return result;

  char buffer[512];
  std::memset(buffer, 0, sizeof buffer);
  int code = 0;
  PyObject *cls = korvu_InterfaceError;

  if (!object) {
    KRVU_ge_getlasterror(&code, buffer, sizeof buffer, nullptr);
    if (code == 0 && buffer[0] == '\0')
      std::strcpy(buffer, "Unidentified error associated with the global environment");
  } else if (korvu_is_problem(object)) {
    problem_s *p = reinterpret_cast<problem_s *>(object);
    cls = korvu_SolverError;
    if (p->prob) KRVUgetlasterror(p->prob, buffer);
    if (buffer[0] == '\0') {
      int started;
      {
        korvu::EnvLock lock(KRV_MUTEX_LIBSTATE);
        started = krv_py_env.slp_state;
      }
      if (started != 0 && p->slpprob) KSLPgetlasterror(p->slpprob, &code, buffer);
    }
    if (code == 0 && buffer[0] == '\0')
      std::strcpy(buffer, "Unidentified error associated with optimization problem");
  } else if (korvu_branchobj_type && PyObject_TypeCheck(object, korvu_branchobj_type)) {
    cls = korvu_SolverError;
    if (korvu_branchobj_lasterror) korvu_branchobj_lasterror(object, &code, buffer, sizeof buffer);
    if (code == 0 && buffer[0] == '\0')
      std::strcpy(buffer, "Unidentified error associated with a branching object");
  }
  korvu::PyRef text = korvu::PyRef::steal(library_text(without_function_name(buffer)));
  if (text) PyErr_SetObject(cls, text.get());
  return nullptr;
}

static PyObject *korvumod_getlasterror(PyObject *, PyObject *) {
  if (turnKRVUon(0) != 0) return setKrvuErrIfNull(nullptr, nullptr);
  char buffer[1024];
  buffer[0] = '\0';
  int code = 0;
  KRVU_ge_getlasterror(&code, buffer, sizeof buffer, nullptr);
  korvu::PyRef text = korvu::PyRef::steal(library_text(buffer));
  if (!text) return nullptr;
  return setKrvuErrIfNull(nullptr, Py_BuildValue("(iO)", code, text.get()));
}

PyMethodDef korvu_error_methods[] = {
    {"getlasterror", korvumod_getlasterror, METH_NOARGS,
     "getlasterror()\n--\n\n"
     "Purpose:\n  Returns the last error of the library's global environment.\n\n"
     "Synopsis:\n  (code, text) = korvu.getlasterror()\n\n"
     "Example:\n  code, text = korvu.getlasterror()\n\n"
     "Further information:\n  The result is (0, '') when there has been no error. Errors of a\n"
     "  problem are raised as korvu.SolverError with the problem's own text.\n\n"
     "Related topics:\n  korvu.SolverError, korvu.InterfaceError\n"},
    {nullptr, nullptr, 0, nullptr},
};
