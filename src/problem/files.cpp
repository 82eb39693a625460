// Problem files, copy, reset, name and the look-ups of registered objects:
// read, write, copy, reset, getVariable, getConstraint, getSOS, getIndex and
// name of korvu.problem.  Deletion is in delete.cpp; both share one table.
#include <cstring>
#include <string>
#include <vector>

#include "binding/convert.h"
#include "callbacks/callbacks.h"
#include "model/algebra.h"
#include "model/constraint.h"
#include "model/maps.h"
#include "module/module.h"
#include "problem/bodies.h"
#include "problem/methods.h"
#include "problem/registry.h"
#include "problem/walker.h"

using korvu::EnvLock;
using korvu::PyRef;

// Deletion (delete.cpp).
PyObject *problem_delVariable(PyObject *self, PyObject *args, PyObject *kwargs);
PyObject *problem_delConstraint(PyObject *self, PyObject *args, PyObject *kwargs);
PyObject *problem_delSOS(PyObject *self, PyObject *args, PyObject *kwargs);
extern const char delVariable_doc[];
extern const char delConstraint_doc[];
extern const char delSOS_doc[];

// The problem name; the type's string form.
PyObject *problem_str(PyObject *self);

namespace {

bool slp_started() {
  EnvLock lock(KRV_MUTEX_LIBSTATE);
  return krv_py_env.slp_state == 1;
}

problem_s *P(PyObject *o) { return reinterpret_cast<problem_s *>(o); }

int not_initialised() {
  PyErr_SetString(korvu_ModelError, "The problem is not initialised");
  return -1;
}

// Empties the problem's lists and maps.
int clear_registry(problem_s *p) {
  registry r;
  if (r.create() < 0) return -1;
  r.install(p);
  return 0;
}

int attribute(problem_s *p, int id, int *value) {
  *value = 0;
  if (KRVUgetintattrib(p->prob, id, value) != 0) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  return 0;
}

// Reads names of one kind (1 rows, 2 columns, 3 sets) in blocks of 256.
class name_reader {
 public:
  name_reader(problem_s *p, int type, int namelength)
      : p_(p), type_(type), buffer_(static_cast<size_t>(namelength) * 2048 + 256) {}

  // The name of entry i (entries are asked for in increasing order); null on failure.
  PyObject *name(int i, int n) {
    if (i % 256 == 0) {
      int last = std::min(i + 255, n - 1);
      if (KRVUgetnames(p_->prob, type_, buffer_.data(), i, last) != 0) {
        setKrvuErrIfNull(reinterpret_cast<PyObject *>(p_), nullptr);
        return nullptr;
      }
      cursor_ = 0;
    }
    const char *s = buffer_.data() + cursor_;
    size_t len = strnlen(s, buffer_.size() - cursor_);
    cursor_ += len + 1;
    return PyUnicode_DecodeASCII(s, static_cast<Py_ssize_t>(len), "replace");
  }

 private:
  problem_s *p_;
  int type_;
  std::vector<char> buffer_;
  size_t cursor_ = 0;
};

int fail_read(const char *message) {
  if (!PyErr_Occurred()) PyErr_SetString(korvu_ModelError, message);
  return -1;
}

// The row and column of a nonlinear objective's auxiliary pair in the
// library's model: a row with the objective status and the column it
// determines; -1 each when there is none.
constexpr int kObjectiveRowStatus = 0x800;

int find_transfer_pair(problem_s *p, int *row, int *col) {
  *row = *col = -1;
  int nrows = 0, ncols = 0;
  if (KSLPgetintattrib(p->slpprob, KSLP_ATTR_ROWS, &nrows) != 0 ||
      KSLPgetintattrib(p->slpprob, KSLP_ATTR_COLS, &ncols) != 0)
    return -1;
  for (int i = 0; i < nrows && *row < 0; ++i) {
    int status = 0;
    if (KSLPgetrowstatus(p->slpprob, i, &status) != 0) return -1;
    if (status & kObjectiveRowStatus) *row = i;
  }
  for (int j = 0; j < ncols && *row >= 0 && *col < 0; ++j) {
    int detrow = -1;
    if (KSLPgetvar(p->slpprob, j, &detrow, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != 0)
      return -1;
    if (detrow == *row) *col = j;
  }
  if (*col < 0) *row = -1;
  return 0;
}

int read_columns(problem_s *p, registry &r, int namelength) {
  const char *msg = "Could not read problem";
  int n = 0;
  if (attribute(p, KRVU_ATTR_ORIGINALCOLS, &n) < 0) return -1;
  if (n == 0) return 0;
  std::vector<double> lb(static_cast<size_t>(n)), ub(static_cast<size_t>(n));
  std::vector<char> types(static_cast<size_t>(n));
  if (KRVUgetlb(p->prob, lb.data(), 0, n - 1) != 0 || KRVUgetub(p->prob, ub.data(), 0, n - 1) != 0 ||
      KRVUgetcoltype(p->prob, types.data(), 0, n - 1) != 0) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  name_reader names(p, 2, namelength);
  for (int j = 0; j < n; ++j) {
    PyRef name = PyRef::steal(names.name(j, n));
    if (!name) return fail_read(msg);
    if (j == p->obj_col) continue;  // the objective's auxiliary column is no variable
    PyRef v = PyRef::steal(var_base());
    if (!v) return fail_read(msg);
    uint64_t *info = &reinterpret_cast<var_s *>(v.get())->info;
    set_var_lbound(info, lb[static_cast<size_t>(j)]);
    set_var_ubound(info, ub[static_cast<size_t>(j)]);
    static const char letters[] = "CBISRP";
    const char *t = types[static_cast<size_t>(j)] ? std::strchr(letters, types[static_cast<size_t>(j)])
                                                  : nullptr;
    if (t) set_var_type(info, static_cast<int>(t - letters));
    set_var_name(info, name.get());
    if (PyList_Append(r.vars.get(), v.get()) < 0 || rowcolmap_set(r.varmap, var_id(v.get()), j) != 0)
      return fail_read(msg);
  }
  return 0;
}

int read_rows(problem_s *p, registry &r, int namelength) {
  const char *msg = "Cannot read constraint from problem";
  int n = 0;
  if (attribute(p, KRVU_ATTR_ORIGINALROWS, &n) < 0) return -1;
  if (n == 0) return 0;
  std::vector<double> rhs(static_cast<size_t>(n)), range(static_cast<size_t>(n));
  std::vector<char> types(static_cast<size_t>(n));
  if (KRVUgetrhs(p->prob, rhs.data(), 0, n - 1) != 0 ||
      KRVUgetrhsrange(p->prob, range.data(), 0, n - 1) != 0 ||
      KRVUgetrowtype(p->prob, types.data(), 0, n - 1) != 0) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  name_reader names(p, 1, namelength);
  for (int i = 0; i < n; ++i) {
    PyRef name = PyRef::steal(names.name(i, n));
    if (!name) return fail_read(msg);
    if (i == p->obj_row) continue;  // nor its row a constraint
    PyRef c = PyRef::steal(constraint_base());
    if (!c) return fail_read(msg);
    uint64_t *info = &reinterpret_cast<constraint_s *>(c.get())->info;
    double b = rhs[static_cast<size_t>(i)];
    switch (types[static_cast<size_t>(i)]) {
      case 'E':
        set_con_equal(info, b);
        break;
      case 'L':
        set_con_ubound(info, b);
        break;
      case 'G':
        set_con_lbound(info, b);
        break;
      case 'R':
        set_con_lbound(info, b - range[static_cast<size_t>(i)]);
        set_con_ubound(info, b);
        break;
      default:
        break;
    }
    set_con_name(info, name.get());
    uint64_t id = *info & CON_ID_MASK;
    if (PyList_Append(r.constraints.get(), c.get()) < 0 || rowcolmap_set(r.rowmap, id, i) != 0)
      return fail_read(msg);
  }
  return 0;
}

int read_sets(problem_s *p, registry &r, int namelength) {
  const char *msg = "Cannot read SOS from problem";
  int n = 0;
  if (attribute(p, KRVU_ATTR_ORIGINALSETS, &n) < 0) return -1;
  name_reader names(p, 3, namelength);
  for (int k = 0; k < n; ++k) {
    PyRef name = PyRef::steal(names.name(k, n));
    if (!name) return fail_read(msg);
    PyRef args = PyRef::steal(Py_BuildValue("([][])"));
    PyRef kwargs = PyRef::steal(Py_BuildValue("{sO}", "name", name.get()));
    if (!args || !kwargs) return fail_read(msg);
    PyRef s = PyRef::steal(
        PyObject_Call(reinterpret_cast<PyObject *>(&korvu_sosType), args.get(), kwargs.get()));
    if (!s) return fail_read(msg);
    uint64_t id = static_cast<uint64_t>(reinterpret_cast<sos_s *>(s.get())->id);
    if (PyList_Append(r.sos.get(), s.get()) < 0 || rowcolmap_set(r.sosmap, id, k) != 0)
      return fail_read(msg);
  }
  return 0;
}

// A file name: str, bytes or a path object, as ASCII text held by `hold`.
const char *file_text(PyObject *object, PyRef &hold, const char *what) {
  PyRef path = PyRef::steal(PyOS_FSPath(object));
  if (!path) {
    PyErr_Clear();
    PyErr_Format(korvu_ModelError, "The %s must be a string", what);
    return nullptr;
  }
  PyObject *temporary = nullptr;
  const char *text = pyStrToStr(path.get(), nullptr, &temporary);
  if (temporary) {
    hold = PyRef::steal(temporary);
  } else if (text) {
    hold = path;
  }
  if (!text && !PyErr_Occurred()) PyErr_Format(korvu_ModelError, "The %s must be a string", what);
  return text;
}

const char *flags_text(PyObject *object, PyRef &hold, const char *what) {
  if (!object || object == Py_None) return "";
  PyObject *temporary = nullptr;
  const char *text = pyStrToStr(object, nullptr, &temporary);
  hold = PyRef::steal(temporary);
  if (!text && !PyErr_Occurred()) PyErr_Format(korvu_ModelError, "The %s must be a string", what);
  return text;
}

PyObject *problem_read(PyObject *self, PyObject *args, PyObject *kwargs) {
  problem_s *p = P(self);
  static const char *kwlist[] = {"filename", "options", nullptr};
  PyObject *fileobj = nullptr, *optobj = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O", const_cast<char **>(kwlist), &fileobj,
                                   &optobj))
    return nullptr;
  if (!p->prob) return not_initialised(), nullptr;
  PyRef holdf, holdo;
  const char *filename = file_text(fileobj, holdf, "file name");
  if (!filename) return nullptr;
  const char *options = flags_text(optobj, holdo, "read options");
  if (!options) return nullptr;

  // A file that cannot be read leaves the library's model as it was, so the
  // objects of the old model keep addressing it; only a successful read
  // replaces them.
  // With the nonlinear solver the nonlinear solver's reader reads the file: it
  // reads every file the library's reader does, the nonlinear sections too,
  // and replaces the formulas of the old model, which would otherwise be left
  // over the new one.
  const bool nonlinear = p->slpprob && slp_started();
  // A successful read replaces the rows: constraints held elsewhere take
  // their bodies back now (a failed one leaves the rows as they were).
  problem_release_bodies(p);
  int rc;
  {
    // The interpreter lock is released around the file's I/O: the file may be
    // a pipe that another thread of this process writes.
    BusyScope busy(p);
    if (!busy.ok()) return nullptr;
    korvu::GilRelease unlocked;
    rc = nonlinear ? KSLPreadprob(p->slpprob, filename, options)
                   : KRVUreadprob(p->prob, filename, options);
  }
  if (rc != 0) return nonlinear ? problem_slp_error(p) : setKrvuErrIfNull(self, nullptr);
  // A message handler that raised while the file was read: the library holds
  // the new model now, so the objects are made for it first and the
  // exception is raised afterwards.
  PyObject *etype = nullptr, *evalue = nullptr, *etb = nullptr;
  PyErr_Fetch(&etype, &evalue, &etb);
  struct Restore {
    PyObject **t, **v, **b;
    ~Restore() {
      if (*t) PyErr_Restore(*t, *v, *b);
    }
  } restore{&etype, &evalue, &etb};
  if (clear_registry(p) < 0) return nullptr;
  p->nonlin_rows = p->nonlin_obj = 0;
  p->obj_col = p->obj_row = -1;
  if (nonlinear && problem_sync_nonlinear(p) < 0) return nullptr;

  int namelength = 0;
  if (attribute(p, KRVU_ATTR_NAMELENGTH, &namelength) < 0) return nullptr;
  registry r;
  if (r.create() < 0 || read_columns(p, r, namelength) < 0 || read_rows(p, r, namelength) < 0 ||
      read_sets(p, r, namelength) < 0)
    return setKrvuErrIfNull(self, nullptr);
  r.install(p);
  if (etype) return nullptr;  // restored on the way out
  Py_RETURN_NONE;
}

PyObject *problem_write(PyObject *self, PyObject *args, PyObject *kwargs) {
  problem_s *p = P(self);
  static const char *kwlist[] = {"filename", "flags", nullptr};
  PyObject *fileobj = nullptr, *flagobj = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O", const_cast<char **>(kwlist), &fileobj,
                                   &flagobj))
    return nullptr;
  if (!p->prob) return not_initialised(), nullptr;
  PyRef holdf, holdo;
  const char *filename = file_text(fileobj, holdf, "file name");
  if (!filename) return nullptr;
  const char *flags = flags_text(flagobj, holdo, "write flags");
  if (!flags) return nullptr;
  // Nonlinear problems and flag 'g' are written by the nonlinear solver.
  const bool nonlinear = p->nonlin_rows || p->nonlin_obj || std::strchr(flags, 'g');
  if (nonlinear && (!p->slpprob || !slp_started())) {
    PyErr_SetString(korvu_SolverError,
                    "Writing nonlinear problems (and flag 'g') needs the nonlinear solver, "
                    "which is not started");
    return nullptr;
  }
  int rc;
  {
    BusyScope busy(p);
    if (!busy.ok()) return nullptr;
    korvu::GilRelease unlocked;
    rc = nonlinear ? KSLPwriteprob(p->slpprob, filename, flags)
                   : KRVUwriteprob(p->prob, filename, flags);
  }
  if (rc != 0 && nonlinear) return problem_slp_error(p);
  return setKrvuErrIfNull(self, rc != 0 ? nullptr : Py_NewRef(Py_None));
}

void print_prob(KRVUprob, void *, const char *msg, int, int) { krv_py_print_general(msg); }

PyObject *problem_reset(PyObject *self, PyObject *) {
  problem_s *p = P(self);
  if (!p->vars) return not_initialised(), nullptr;
  problem_release_bodies(p);
  if (clear_registry(p) < 0) return nullptr;
  p->nonlin_rows = p->nonlin_obj = 0;
  p->obj_col = p->obj_row = -1;
  if (!p->prob) Py_RETURN_NONE;

  if (p->slpprob) {
    KSLPdestroyprob(p->slpprob);
    p->slpprob = nullptr;
  }
  KRVUdestroyprob(p->prob);
  p->prob = nullptr;
  if (KRVUcreateprob(&p->prob) != 0) {
    p->prob = nullptr;
    return setKrvuErrIfNull(nullptr, nullptr);
  }
  if (slp_started() && (KSLPcreateprob(&p->slpprob, &p->prob) != 0 ||
                        KSLPsetintcontrol(p->slpprob, KSLP_CTRL_ECHOLOG, 0) != 0))
    return setKrvuErrIfNull(self, nullptr);
  // The empty problem is loaded silently, as at creation; the new handles get
  // the printer and the module's default controls again.
  int outputlog = 1;
  if (KRVUsetprobname(p->prob, "") != 0 ||
      KRVUgetintcontrol(p->prob, KRVU_CTRL_OUTPUTLOG, &outputlog) != 0 ||
      KRVUsetintcontrol(p->prob, KRVU_CTRL_OUTPUTLOG, 0) != 0 ||
      KRVUloadlp(p->prob, "", 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr) != 0 ||
      KRVUsetintcontrol(p->prob, KRVU_CTRL_OUTPUTLOG, outputlog) != 0 ||
      KRVUaddcbmessage(p->prob, print_prob, nullptr, 1) != 0)
    return setKrvuErrIfNull(self, nullptr);
  if (problem_apply_default_controls(p) < 0) return setKrvuErrIfNull(self, nullptr);
  Py_RETURN_NONE;
}

PyObject *prob_name(problem_s *p) {
  PyObject *self = reinterpret_cast<PyObject *>(p);
  if (!p->prob) return not_initialised(), nullptr;
  int len = 0;
  if (attribute(p, KRVU_ATTR_PROBNAMELENGTH, &len) < 0) return nullptr;
  std::vector<char> buffer(static_cast<size_t>(len) + 1, 0);
  if (KRVUgetprobname(p->prob, buffer.data()) != 0) return setKrvuErrIfNull(self, nullptr);
  return setKrvuErrIfNull(self, PyUnicode_DecodeASCII(buffer.data(),
                                                      static_cast<Py_ssize_t>(strnlen(buffer.data(), buffer.size())),
                                                      "replace"));
}

PyObject *problem_name(PyObject *self, PyObject *) { return prob_name(P(self)); }

// ---- look-ups

// The list and map of one kind: 0 variables, 1 constraints, 2 sets.
PyObject *kind_list(problem_s *p, int kind) {
  return kind == 0 ? p->vars : kind == 1 ? p->constraints : p->sos;
}

int range_check(PyObject *index, Py_ssize_t first, Py_ssize_t last, Py_ssize_t size,
                const char *out_of_range) {
  if (index && index != Py_None) {
    PyErr_SetString(korvu_ModelError,
                    "Parameters 'first' and 'last' cannot be specified if 'index' is also specified");
    return -1;
  }
  if (first < 0 || last < 0) {
    PyErr_SetString(korvu_ModelError,
                    "Parameters 'first' and 'last' must be both nonnegative when specified");
    return -1;
  }
  if (first >= size || last >= size) {
    PyErr_SetString(korvu_ModelError, out_of_range);
    return -1;
  }
  if (last < first) {
    PyErr_SetString(korvu_ModelError, "Parameter 'first' must be less than, or equal to, 'last'");
    return -1;
  }
  return 0;
}

struct pick_objects {
  PyObject *list;
  PyObject *out;
};

int pick_object(problem_s *, PyObject *leaf, void *context) {
  pick_objects *c = static_cast<pick_objects *>(context);
  int64_t i = 0;
  int failed = 0;
  if (!conv_int_value(leaf, &i, &failed) || failed) {
    PyErr_Clear();
    PyErr_SetString(korvu_ModelError, "Error in index list(s): must contain only integers");
    return -1;
  }
  if (i < 0 || i >= PyList_GET_SIZE(c->list)) {
    PyErr_SetString(PyExc_IndexError, "list index out of range");
    return -1;
  }
  return PyList_Append(c->out, PyList_GET_ITEM(c->list, static_cast<Py_ssize_t>(i)));
}

PyObject *get_objects(PyObject *self, PyObject *args, PyObject *kwargs, int kind) {
  problem_s *p = P(self);
  static const char *kwlist[] = {"index", "first", "last", nullptr};
  PyObject *index = nullptr;
  Py_ssize_t first = -1, last = -1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|Onn", const_cast<char **>(kwlist), &index,
                                   &first, &last))
    return nullptr;
  PyObject *list = kind_list(p, kind);
  if (!list) return not_initialised(), nullptr;
  PyRef hold = PyRef::borrow(list);
  if (first >= 0 || last >= 0) {
    if (range_check(index, first, last, PyList_GET_SIZE(list),
                    "Parameters 'first' and 'last' are out of range") < 0)
      return nullptr;
    return PyList_GetSlice(list, first, last + 1);
  }
  if (!index || index == Py_None) return PyList_GetSlice(list, 0, PyList_GET_SIZE(list));
  int64_t i = 0;
  int failed = 0;
  if (conv_int_value(index, &i, &failed)) {
    if (failed) return nullptr;
    if (i < 0 || i >= PyList_GET_SIZE(list)) {
      PyErr_SetString(PyExc_IndexError, "list index out of range");
      return nullptr;
    }
    PyObject *o = PyList_GET_ITEM(list, static_cast<Py_ssize_t>(i));
    Py_INCREF(o);
    return o;
  }
  PyRef out = PyRef::steal(PyList_New(0));
  if (!out) return nullptr;
  pick_objects c{list, out.get()};
  if (!walk_leaves(p, index, pick_object, &c)) return nullptr;
  return out.release();
}

PyObject *problem_getVariable(PyObject *self, PyObject *args, PyObject *kwargs) {
  return setKrvuErrIfNull(self, get_objects(self, args, kwargs, 0));
}
PyObject *problem_getConstraint(PyObject *self, PyObject *args, PyObject *kwargs) {
  return setKrvuErrIfNull(self, get_objects(self, args, kwargs, 1));
}
PyObject *problem_getSOS(PyObject *self, PyObject *args, PyObject *kwargs) {
  return setKrvuErrIfNull(self, get_objects(self, args, kwargs, 2));
}

PyObject *problem_getIndex(PyObject *self, PyObject *object) {
  problem_s *p = P(self);
  int64_t index = -1;
  int found = -1;
  if (p->varmap && Py_TYPE(object) == &korvu_varType) {
    found = rowcolmap_get(p->varmap, var_id(object), &index);
  } else if (p->rowmap && Py_TYPE(object) == &korvu_constraintType) {
    found = rowcolmap_get(p->rowmap, reinterpret_cast<constraint_s *>(object)->info & CON_ID_MASK,
                          &index);
  } else if (p->sosmap && Py_TYPE(object) == &korvu_sosType) {
    found = rowcolmap_get(p->sosmap, static_cast<uint64_t>(reinterpret_cast<sos_s *>(object)->id),
                          &index);
  }
  if (found != 0) {
    PyErr_SetString(korvu_ModelError,
                    "Incorrect object(s) passed: need variable, constraint, or SOS");
    return setKrvuErrIfNull(self, nullptr);
  }
  return setKrvuErrIfNull(self, PyLong_FromLongLong(index));
}

// ---- copy

PyObject *problem_copy(PyObject *self, PyObject *) {
  problem_s *src = P(self);
  if (!src->prob || !src->vars) return not_initialised(), nullptr;
  const bool nonlinear = (src->nonlin_rows || src->nonlin_obj) && src->slpprob;
  // A new problem as the constructor makes it: library handles, lists, maps,
  // controls and attributes objects, printers and the module's default controls.
  PyRef made = PyRef::steal(PyObject_CallNoArgs(reinterpret_cast<PyObject *>(&korvu_problemType)));
  if (!made) return setKrvuErrIfNull(self, nullptr);
  problem_s *dst = P(made.get());
  // Library failures here are the new problem's: its text is read before it goes.
  if (KRVUcopyprob(dst->prob, src->prob, "") != 0 || KRVUcopycontrols(dst->prob, src->prob) != 0)
    return setKrvuErrIfNull(made.get(), nullptr);
  if (nonlinear && !dst->slpprob) {
    PyErr_SetString(korvu_SolverError,
                    "Copying nonlinear problems needs the nonlinear solver, which is not started");
    return nullptr;
  }
  // The nonlinear model is copied whole (formulas, user functions, column and
  // row properties), so the copy solves as the source does.
  if (dst->slpprob && src->slpprob &&
      (KSLPcopyprob(dst->slpprob, src->slpprob, "") != 0 ||
       KSLPcopycontrols(dst->slpprob, src->slpprob) != 0))
    return problem_slp_error(dst);
  dst->nonlin_rows = src->nonlin_rows;
  dst->nonlin_obj = src->nonlin_obj;
  dst->obj_row = src->obj_row;
  dst->obj_col = src->obj_col;
  // The user functions' objects that the nonlinear problem points to are
  // held by this dict: the copy holds them too, so that they outlive the
  // source problem.
  if (src->userfuncs) {
    PyObject *funcs = PyDict_Check(src->userfuncs) ? PyDict_Copy(src->userfuncs)
                                                   : Py_NewRef(src->userfuncs);
    if (!funcs) return nullptr;
    Py_XSETREF(dst->userfuncs, funcs);
  }
  if (callbacks_copy(dst, src) < 0) return nullptr;
  registry r;
  r.vars = PyRef::steal(PyList_GetSlice(src->vars, 0, PyList_GET_SIZE(src->vars)));
  r.constraints =
      PyRef::steal(PyList_GetSlice(src->constraints, 0, PyList_GET_SIZE(src->constraints)));
  r.sos = PyRef::steal(PyList_GetSlice(src->sos, 0, PyList_GET_SIZE(src->sos)));
  if (!r.vars || !r.constraints || !r.sos) return setKrvuErrIfNull(self, nullptr);
  if (rowcolmap_copy(&r.varmap, src->varmap) != 0 || rowcolmap_copy(&r.rowmap, src->rowmap) != 0 ||
      rowcolmap_copy(&r.sosmap, src->sosmap) != 0) {
    PyErr_SetString(korvu_ModelError, "Could not copy problem maps");
    return setKrvuErrIfNull(self, nullptr);
  }
  r.install(dst);
  return made.release();
}

// ---- help texts

const char read_doc[] =
    "read($self, filename, options='')\n--\n\n"
    "Purpose:\n  Reads a problem file into the problem, replacing its model.\n\n"
    "Synopsis:\n  p.read(filename, options='')\n\n"
    "Arguments:\n"
    "  filename: the file (MPS or LP format; a '.gz' file is read compressed).\n"
    "  options: 'l' to read LP format, 'm' MPS; by default the format is taken\n"
    "    from the file name.\n\n"
    "Example:\n  p = korvu.problem(); p.read('afiro.mps'); x = p.getVariable()\n\n"
    "Further information:\n"
    "  Every column, row and set read becomes a new variable, constraint or set\n"
    "  object of the problem, named and bounded as in the file; constraints read\n"
    "  have no body and serve to address rows.  Objects registered before are\n"
    "  dropped from the problem, also when reading fails.\n\n"
    "Related topics:\n  write, getVariable, getConstraint\n";

const char write_doc[] =
    "write($self, filename, flags='')\n--\n\n"
    "Purpose:\n  Writes the problem to a file.\n\n"
    "Synopsis:\n  p.write(filename, flags='')\n\n"
    "Arguments:\n"
    "  filename: the file to write.\n"
    "  flags: 'l' LP format (else MPS), 'p' fixed MPS, 'x' hexadecimal values for\n"
    "    an exact round trip, 'n' names the format cannot hold are written under\n"
    "    default names (without it such a name fails the write, naming it); a '.lp'\n"
    "    file name selects LP format; 'g' writes through the nonlinear solver.\n\n"
    "Further information:\n"
    "  A nonlinear problem is written in MPS with sections of its own for the\n"
    "  formulas, user-function names, column and row properties and controls of\n"
    "  the nonlinear solver; read() reads it back.  The LP format cannot hold\n"
    "  formulas.\n\n"
    "Example:\n  p.write('model.lp')\n\n"
    "Related topics:\n  read\n";

const char copy_doc[] =
    "copy($self)\n--\n\n"
    "Purpose:\n  A new problem holding a copy of this problem's model and controls.\n\n"
    "Synopsis:\n  q = p.copy()\n\n"
    "Example:\n  q = p.copy(); q.solve()\n\n"
    "Further information:\n"
    "  The copy shares the variables, constraints and sets of this problem: the\n"
    "  same objects address the same columns, rows and sets in both.\n\n"
    "Related topics:\n  reset\n";

const char reset_doc[] =
    "reset($self)\n--\n\n"
    "Purpose:\n  Empties the problem: no variables, constraints or sets, no name, and the\n"
    "  module's default controls.\n\n"
    "Synopsis:\n  p.reset()\n\n"
    "Example:\n  p.reset(); p.getVariable()  # []\n\n"
    "Related topics:\n  copy, read\n";

const char name_doc[] =
    "name($self)\n--\n\n"
    "Purpose:\n  The problem's name.\n\n"
    "Synopsis:\n  s = p.name()\n\n"
    "Example:\n  korvu.problem(name='diet').name()  # 'diet'\n\n"
    "Related topics:\n  read\n";

#define GET_DOC(method, what, many)                                                          \
  method "($self, index=None, first=-1, last=-1)\n--\n\n"                                           \
         "Purpose:\n  The " what " of the problem at given positions.\n\n"                   \
         "Synopsis:\n  o = p." method "(index)\n  l = p." method "(first=f, last=l)\n"       \
         "  l = p." method "()\n\n"                                                          \
         "Arguments:\n"                                                                      \
         "  index: a position, or a nesting of lists of positions (the result is then\n"     \
         "    the flat list of " many ", in order).\n"                                       \
         "  first, last: a range of positions, both included.\n"                             \
         "  Without arguments every " what " is returned, in order.\n\n"                     \
         "Example:\n  first_two = p." method "(first=0, last=1)\n\n"                         \
         "Related topics:\n  getIndex\n"

const char getVariable_doc[] = GET_DOC("getVariable", "variable", "variables");
const char getConstraint_doc[] = GET_DOC("getConstraint", "constraint", "constraints");
const char getSOS_doc[] = GET_DOC("getSOS", "set", "sets");

const char getIndex_doc[] =
    "getIndex($self, object)\n--\n\n"
    "Purpose:\n  The position of a variable (column), constraint (row) or set in the\n"
    "  problem.\n\n"
    "Synopsis:\n  i = p.getIndex(object)\n\n"
    "Example:\n  j = p.getIndex(x)\n\n"
    "Related topics:\n  getVariable, getConstraint, getSOS\n";

PyCFunction kw(PyObject *(*f)(PyObject *, PyObject *, PyObject *)) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
}

}  // namespace

int problem_sync_nonlinear(problem_s *p) {
  p->nonlin_rows = p->nonlin_obj = 0;
  p->obj_col = p->obj_row = -1;
  if (!p->slpprob || !slp_started()) return 0;
  int a = 0, b = 0, row = -1, col = -1;
  if (KSLPgetintattrib(p->slpprob, KSLP_ATTR_NONLINEARROWS, &a) != 0 ||
      KSLPgetintattrib(p->slpprob, KSLP_ATTR_COEFFICIENTS, &b) != 0 ||
      find_transfer_pair(p, &row, &col) < 0) {
    problem_slp_error(p);
    return -1;
  }
  p->nonlin_rows = a + b;
  if (row >= 0) {
    p->obj_row = row;
    p->obj_col = col;
    p->nonlin_obj = 1;
  }
  return 0;
}

PyObject *problem_slp_error(problem_s *p) {
  if (PyErr_Occurred()) return nullptr;
  char buffer[512] = {0};
  int code = 0;
  if (p->slpprob) KSLPgetlasterror(p->slpprob, &code, buffer);
  PyRef text = PyRef::steal(
      library_text(buffer[0] ? without_function_name(buffer) : "Unidentified error in the nonlinear solver"));
  if (text) PyErr_SetObject(korvu_SolverError, text.get());
  return nullptr;
}

PyObject *problem_str(PyObject *self) { return prob_name(P(self)); }

PyMethodDef problem_file_methods[] = {
    {"read", kw(problem_read), METH_VARARGS | METH_KEYWORDS, read_doc},
    {"write", kw(problem_write), METH_VARARGS | METH_KEYWORDS, write_doc},
    {"copy", problem_copy, METH_NOARGS, copy_doc},
    {"reset", problem_reset, METH_NOARGS, reset_doc},
    {"delVariable", kw(problem_delVariable), METH_VARARGS | METH_KEYWORDS, delVariable_doc},
    {"delConstraint", kw(problem_delConstraint), METH_VARARGS | METH_KEYWORDS, delConstraint_doc},
    {"delSOS", kw(problem_delSOS), METH_VARARGS | METH_KEYWORDS, delSOS_doc},
    {"getVariable", kw(problem_getVariable), METH_VARARGS | METH_KEYWORDS, getVariable_doc},
    {"getConstraint", kw(problem_getConstraint), METH_VARARGS | METH_KEYWORDS, getConstraint_doc},
    {"getSOS", kw(problem_getSOS), METH_VARARGS | METH_KEYWORDS, getSOS_doc},
    {"getIndex", problem_getIndex, METH_O, getIndex_doc},
    {"name", problem_name, METH_NOARGS, name_doc},
    {nullptr, nullptr, 0, nullptr},
};
