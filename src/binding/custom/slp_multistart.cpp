// Multistart jobs: the job's object is held by the library's queue with a
// reference of its own, dropped (under the interpreter lock) when the job
// leaves the queue; the controls of a job come as a dict of control names.
#include <string>
#include <vector>

#include "binding/custom/slp_multistart.h"
#include "module/module.h"

namespace korvu {
namespace wrap {
namespace custom {
namespace {

// Types of the control table's entries (name -> (id, type, source)).
constexpr int kTableInt = 1, kTableDouble = 2;

void release_job(void *job) {
  GilGuard gil;
  Py_DECREF(static_cast<PyObject *>(job));
}

// The integer and double controls of a job, from its dict.
struct Controls {
  std::vector<int> iid, ival, did;
  std::vector<double> dval;
};

bool job_controls(PyObject *dict, Controls *out) {
  const char *const member = "msaddcustompreset/msaddjob";
  if (!PyDict_Check(dict)) {
    PyErr_Format(korvu_InterfaceError, "Incorrect argument 'control' in %s: must be a dictionary", member);
    return false;
  }
  PyObject *key, *value;
  Py_ssize_t pos = 0;
  while (PyDict_Next(dict, &pos, &key, &value)) {
    if (!PyUnicode_Check(key)) {
      PyErr_Format(korvu_InterfaceError,
                   "Incorrect key in parameter 'control' (all keys must be strings) of %s", member);
      return false;
    }
    PyRef lower = PyRef::steal(PyObject_CallMethod(key, "lower", nullptr));
    if (!lower) return false;
    PyObject *entry;
    {
      EnvLock lock(KRV_MUTEX_TABLES);
      entry = PyDict_GetItemWithError(krv_py_env.control_table, lower.get());
    }
    if (!entry) {
      if (!PyErr_Occurred()) PyErr_Format(korvu_InterfaceError, "Unknown control %S in %s", key, member);
      return false;
    }
    const int id = static_cast<int>(PyLong_AsLong(PyTuple_GET_ITEM(entry, 0)));
    const int type = static_cast<int>(PyLong_AsLong(PyTuple_GET_ITEM(entry, 1)));
    if (type == kTableInt) {
      if (!PyLong_Check(value)) {
        PyErr_Format(korvu_InterfaceError, "Control %S of %s takes an integer", key, member);
        return false;
      }
      const long v = PyLong_AsLong(value);
      if (v == -1 && PyErr_Occurred()) return false;
      out->iid.push_back(id);
      out->ival.push_back(static_cast<int>(v));
    } else if (type == kTableDouble) {
      const double v = PyFloat_AsDouble(value);
      if (v == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        PyErr_Format(korvu_InterfaceError, "Control %S of %s takes a number", key, member);
        return false;
      }
      out->did.push_back(id);
      out->dval.push_back(v);
    } else {
      PyErr_Format(korvu_InterfaceError, "Only integer and double controls allowed in %s", member);
      return false;
    }
  }
  return true;
}

bool has_slp(Ctx &c, const char *member) {
  if (c.p->slpprob) return true;
  PyErr_Format(korvu_InterfaceError, "%s: the nonlinear solver is not available to this problem", member);
  return false;
}

bool is_int(PyObject *o) { return PyLong_Check(o); }

// Queues through add (which calls the library) and gives the queue one
// reference to the job object for each job it took.
template <class Add>
PyObject *queue_jobs(Ctx &c, PyObject *job, Add &&add) {
  KSLPprob slp = c.p->slpprob;
  int before = 0, after = 0;
  if (KSLPmssetjobrelease(slp, release_job) != 0 || KSLPmsjobs(slp, &before) != 0) return nullptr;
  if (add(static_cast<void *>(job)) != 0) return nullptr;
  if (KSLPmsjobs(slp, &after) != 0) return nullptr;
  for (int k = before; k < after; ++k) Py_INCREF(job);
  Py_RETURN_NONE;
}

// Arguments description, [preset, count,] ivcols, ivvalues, control, job_object.
PyObject *add_with_values(const Row &row, Ctx &c, int first, const char *bad, bool preset) {
  if (!PyUnicode_Check(c.obj[0]) || (preset && (!is_int(c.obj[1]) || !is_int(c.obj[2])))) {
    PyErr_SetString(korvu_InterfaceError, bad);
    return nullptr;
  }
  if (!has_slp(c, row.name)) return nullptr;
  Controls ctl;
  if (!job_controls(c.obj[first + 2], &ctl)) return nullptr;
  for (int i = 0; i < (preset ? 3 : 1); ++i)
    if (convert_value(row, c, i) < 0) return nullptr;
  if (convert_in(row, c, first) < 0 || convert_in(row, c, first + 1) < 0) return nullptr;
  if (c.len[first] != c.len[first + 1]) {
    PyErr_SetString(korvu_InterfaceError, bad);
    return nullptr;
  }
  const int n = static_cast<int>(c.len[first]);
  const int *cols = static_cast<const int *>(c.arr[first]);
  const double *vals = static_cast<const double *>(c.arr[first + 1]);
  const int ni = static_cast<int>(ctl.iid.size()), nd = static_cast<int>(ctl.did.size());
  return queue_jobs(c, c.obj[first + 3], [&](void *job) {
    if (preset)
      return KSLPmsaddcustompreset(c.p->slpprob, c.text[0], static_cast<int>(c.ival[1]),
                                   static_cast<int>(c.ival[2]), n, cols, vals, ni, ctl.iid.data(),
                                   ctl.ival.data(), nd, ctl.did.data(), ctl.dval.data(), job);
    return KSLPmsaddjob(c.p->slpprob, c.text[0], n, cols, vals, ni, ctl.iid.data(), ctl.ival.data(), nd,
                        ctl.did.data(), ctl.dval.data(), job);
  });
}

}  // namespace

PyObject *msaddjob(const Row &row, Ctx &c) {
  return add_with_values(row, c, 1, "Incorrect arguments in msaddjob", false);
}

PyObject *msaddcustompreset(const Row &row, Ctx &c) {
  return add_with_values(row, c, 3, "Incorrect arguments in msaddcustompreset", true);
}

PyObject *msaddpreset(const Row &row, Ctx &c) {
  if (!PyUnicode_Check(c.obj[0]) || !is_int(c.obj[1]) || !is_int(c.obj[2])) {
    PyErr_SetString(korvu_InterfaceError, "Incorrect arguments in msaddpreset");
    return nullptr;
  }
  if (!has_slp(c, "msaddpreset")) return nullptr;
  for (int i = 0; i < 3; ++i)
    if (convert_value(row, c, i) < 0) return nullptr;
  return queue_jobs(c, c.obj[3], [&](void *job) {
    return KSLPmsaddpreset(c.p->slpprob, c.text[0], static_cast<int>(c.ival[1]), static_cast<int>(c.ival[2]),
                           job);
  });
}

PyObject *msclear(const Row &, Ctx &c) {
  if (!has_slp(c, "msclear")) return nullptr;
  if (KSLPmsclear(c.p->slpprob) != 0) return nullptr;
  Py_RETURN_NONE;
}

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
