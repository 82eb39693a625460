// korvu.var: a decision variable held in one packed word.
//
// Bits of info (bit 0 least significant):
//   0-51 id, 52-53 lower-bound code, 54 lower bound stored, 55-56 upper-bound code,
//   57 upper bound stored, 58 threshold stored, 59 name stored, 60-62 type, 63 zero.
// Uncommon bounds, thresholds and names live in the environment's side maps keyed
// by id, so a variable with default attributes owns nothing beyond its word.
#include "model/algebra.h"
#include "model/maps.h"
#include "model/setup.h"
#include "module/env.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int kLbShift = 52, kUbShift = 55, kTypeShift = 60;
constexpr uint64_t kLbCode = uint64_t(3) << kLbShift;
constexpr uint64_t kLbStored = uint64_t(1) << 54;
constexpr uint64_t kUbCode = uint64_t(3) << kUbShift;
constexpr uint64_t kUbStored = uint64_t(1) << 57;
constexpr uint64_t kThrStored = uint64_t(1) << 58;
constexpr uint64_t kNameStored = uint64_t(1) << 59;
constexpr uint64_t kType = uint64_t(7) << kTypeShift;
constexpr uint64_t kAnyStored = kLbStored | kUbStored | kThrStored | kNameStored;
constexpr double kInf = 1e20;

uint64_t take_var_id() {
  // Every caller is making a Python object and so holds the interpreter lock,
  // which serialises the counter (korvu.vars takes the mutex for its range).
  uint64_t id = krv_py_env.next_var_id++ & VAR_ID_MASK;
  if (id == 0) id = krv_py_env.next_var_id++ & VAR_ID_MASK;  // 0 marks "no id yet"
  return id;
}

// Drops every side-map entry of a variable and returns its word to the defaults.
void var_clear_side(uint64_t *info) {
  uint64_t id = *info & VAR_ID_MASK;
  if ((*info & kLbStored) && krv_py_env.var_lb) boundmap_del(krv_py_env.var_lb, id);
  if ((*info & kUbStored) && krv_py_env.var_ub) boundmap_del(krv_py_env.var_ub, id);
  if ((*info & kThrStored) && krv_py_env.var_threshold) boundmap_del(krv_py_env.var_threshold, id);
  if ((*info & kNameStored) && krv_py_env.var_names) namemap_del(krv_py_env.var_names, id);
  *info = id;
}

}  // namespace

// ---- codecs

double get_var_lbound(uint64_t info) {
  switch ((info & kLbCode) >> kLbShift) {
    case 0: return 0.0;
    case 1: return -kInf;
    case 2: return 1.0;
    default: return boundmap_get(krv_py_env.var_lb, info & VAR_ID_MASK);
  }
}

double get_var_ubound(uint64_t info) {
  switch ((info & kUbCode) >> kUbShift) {
    case 0: return kInf;
    case 1: return 0.0;
    case 2: return 1.0;
    default: return boundmap_get(krv_py_env.var_ub, info & VAR_ID_MASK);
  }
}

double get_var_thold(uint64_t info) {
  if (info & kThrStored) return boundmap_get(krv_py_env.var_threshold, info & VAR_ID_MASK);
  return -kInf;
}

int get_var_type(uint64_t info) { return static_cast<int>((info & kType) >> kTypeShift); }

PyObject *get_var_name(uint64_t info) {
  if (info & kNameStored) {
    PyObject *n = namemap_get(krv_py_env.var_names, info & VAR_ID_MASK);
    if (n) return Py_NewRef(n);
  }
  return PyUnicode_FromFormat("C%llu", static_cast<unsigned long long>(info & VAR_ID_MASK));
}

void set_var_lbound(uint64_t *info, double v) {
  uint64_t code;
  if (v == 0.0)
    code = 0;
  else if (v <= -kInf)
    code = 1;
  else if (v == 1.0)
    code = 2;
  else
    code = 3;
  uint64_t id = *info & VAR_ID_MASK;
  if (code != 3) {
    if (*info & kLbStored) boundmap_del(krv_py_env.var_lb, id);
    *info = (*info & ~(kLbCode | kLbStored)) | (code << kLbShift);
  } else {
    boundmap_set(krv_py_env.var_lb, id, v);
    *info = (*info & ~kLbCode) | (code << kLbShift) | kLbStored;
  }
}

void set_var_ubound(uint64_t *info, double v) {
  uint64_t code;
  if (v >= kInf)
    code = 0;
  else if (v == 0.0)
    code = 1;
  else if (v == 1.0)
    code = 2;
  else
    code = 3;
  uint64_t id = *info & VAR_ID_MASK;
  if (code != 3) {
    if (*info & kUbStored) boundmap_del(krv_py_env.var_ub, id);
    *info = (*info & ~(kUbCode | kUbStored)) | (code << kUbShift);
  } else {
    boundmap_set(krv_py_env.var_ub, id, v);
    *info = (*info & ~kUbCode) | (code << kUbShift) | kUbStored;
  }
}

// -1e20 means "no threshold": assigning it removes a stored threshold.
void set_var_thold(uint64_t *info, double v) {
  uint64_t id = *info & VAR_ID_MASK;
  if (v == -kInf) {
    if (*info & kThrStored) boundmap_del(krv_py_env.var_threshold, id);
    *info &= ~kThrStored;
    return;
  }
  boundmap_set(krv_py_env.var_threshold, id, v);
  *info |= kThrStored;
}

void set_var_type(uint64_t *info, int code) {
  *info = (*info & ~kType) | ((static_cast<uint64_t>(code) & 7) << kTypeShift);
}

void set_var_name(uint64_t *info, PyObject *obj) {
  uint64_t id = *info & VAR_ID_MASK;
  Py_INCREF(obj);
  PyObject *old = nullptr;
  if (*info & kNameStored) old = namemap_get(krv_py_env.var_names, id);
  if (namemap_set(krv_py_env.var_names, id, obj) < 0) {
    Py_DECREF(obj);
    return;
  }
  *info |= kNameStored;
  Py_XDECREF(old);
}

int var_name_utf8(PyObject *x, std::string *out) {
  uint64_t info = KRV_VAR(x)->info;
  if (!(info & kNameStored)) {
    char buf[32];
    int n = snprintf(buf, sizeof buf, "C%llu", static_cast<unsigned long long>(info & VAR_ID_MASK));
    out->append(buf, static_cast<size_t>(n));
    return 0;
  }
  PyObject *name = namemap_get(krv_py_env.var_names, info & VAR_ID_MASK);
  korvu::PyRef s = korvu::PyRef::steal(name ? PyObject_Str(name) : PyUnicode_FromString(""));
  if (!s) return -1;
  Py_ssize_t len;
  const char *u = PyUnicode_AsUTF8AndSize(s.get(), &len);
  if (!u) return -1;
  out->append(u, static_cast<size_t>(len));
  return 0;
}

static bool valid_vartype(long t) { return t >= 0 && t <= 5; }

// ---- allocation

PyObject *var_base(void) {
  var_s *v = PyObject_New(var_s, &korvu_varType);
  if (!v) return nullptr;
  v->info = take_var_id();
  return KRV_OBJ(v);
}

static void var_dealloc(PyObject *self) {
  var_s *v = KRV_VAR(self);
  if (v->info & kAnyStored) var_clear_side(&v->info);
  Py_TYPE(self)->tp_free(self);
}

// Checks the arguments of korvu.var and sets the variable up; a refused call
// leaves a variable that is re-initialised as it was.
static int var_setup(var_s *v, PyObject *name, double lb, double ub, double threshold, long vartype) {
  if (std::isnan(lb) || std::isnan(ub) || std::isnan(threshold)) {
    PyErr_SetString(korvu_ModelError, "Variable bounds and threshold must not be NaN");
    return -1;
  }
  if (lb > ub + 1e-6) {
    PyErr_SetString(korvu_ModelError, "Variable has empty feasible set: lower bound > upper bound");
    return -1;
  }
  if (!valid_vartype(vartype)) {
    PyErr_Format(korvu_ModelError, "Invalid variable type %ld: must be one of korvu.continuous, "
                 "korvu.binary, korvu.integer, korvu.semicontinuous, korvu.semiinteger, "
                 "korvu.partiallyinteger", vartype);
    return -1;
  }
  if (name == Py_None) name = nullptr;
  if (name && !PyUnicode_Check(name)) {
    PyErr_SetString(korvu_ModelError, "Invalid variable name (must be a string)");
    return -1;
  }
  if (vartype == 1) {
    if (lb < 0.0) lb = 0.0;
    if (ub > 1.0) ub = 1.0;
  }
  // Re-initialising keeps the id: maps and problems that hold the variable are
  // keyed by it.
  if (v->info & VAR_ID_MASK)
    var_clear_side(&v->info);
  else
    v->info = take_var_id();
  if (lb != 0.0) set_var_lbound(&v->info, lb);
  if (ub != kInf) set_var_ubound(&v->info, ub);
  if (threshold != -kInf) set_var_thold(&v->info, threshold);
  if (vartype != 0) set_var_type(&v->info, static_cast<int>(vartype));
  if (name) set_var_name(&v->info, name);
  return 0;
}

static const char *const kVarKeywords[] = {"name", "lb", "ub", "threshold", "vartype", nullptr};

static int var_init(PyObject *self, PyObject *args, PyObject *kwds) {
  PyObject *name = nullptr;
  double lb = 0.0, ub = kInf, threshold = -kInf;
  long vartype = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwds, "|Odddl", const_cast<char **>(kVarKeywords), &name, &lb,
                                   &ub, &threshold, &vartype))
    return -1;
  return var_setup(KRV_VAR(self), name, lb, ub, threshold, vartype);
}

// korvu.var(...) called directly: the arguments are read from the call's own
// array, with no argument tuple or keyword dictionary.  Anything but plain
// floats and ints (and a name) takes the general path, which gives the usual
// conversions and messages.
static PyObject *var_vectorcall(PyObject *type, PyObject *const *args, size_t nargsf, PyObject *kwnames) {
  const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  PyObject *slot[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
  bool fast = nargs <= 5;
  for (Py_ssize_t i = 0; fast && i < nargs; ++i) slot[i] = args[i];
  // Keyword names written in the source are interned: compared by address
  // first, by text only when that misses.
  static PyObject *interned[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
  if (nkw && !interned[0]) {
    for (int s = 0; s < 5; ++s)
      if (!(interned[s] = PyUnicode_InternFromString(kVarKeywords[s]))) return nullptr;
  }
  for (Py_ssize_t k = 0; fast && k < nkw; ++k) {
    PyObject *key = PyTuple_GET_ITEM(kwnames, k);
    int at = -1;
    for (int s = 0; s < 5 && at < 0; ++s)
      if (key == interned[s]) at = s;
    for (int s = 0; s < 5 && at < 0; ++s)
      if (PyUnicode_CompareWithASCIIString(key, kVarKeywords[s]) == 0) at = s;
    if (at < 0 || slot[at]) fast = false;
    else slot[at] = args[nargs + k];
  }
  double num[3] = {0.0, kInf, -kInf};
  long vartype = 0;
  for (int s = 1; fast && s < 4; ++s) {
    PyObject *o = slot[s];
    if (!o) continue;
    if (PyFloat_CheckExact(o)) num[s - 1] = PyFloat_AS_DOUBLE(o);
    else if (PyLong_CheckExact(o)) {
      num[s - 1] = PyLong_AsDouble(o);
      if (num[s - 1] == -1.0 && PyErr_Occurred()) return nullptr;
    } else fast = false;
  }
  if (fast && slot[4]) {
    if (!PyLong_CheckExact(slot[4])) fast = false;
    else if ((vartype = PyLong_AsLong(slot[4])) == -1 && PyErr_Occurred()) return nullptr;
  }
  if (!fast) {
    korvu::PyRef targs = korvu::PyRef::steal(PyTuple_New(nargs));
    korvu::PyRef kwds = korvu::PyRef::steal(nkw ? PyDict_New() : nullptr);
    if (!targs || (nkw && !kwds)) return nullptr;
    for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(targs.get(), i, Py_NewRef(args[i]));
    for (Py_ssize_t k = 0; k < nkw; ++k)
      if (PyDict_SetItem(kwds.get(), PyTuple_GET_ITEM(kwnames, k), args[nargs + k]) < 0) return nullptr;
    korvu::PyRef self = korvu::PyRef::steal(
        PyType_GenericNew(reinterpret_cast<PyTypeObject *>(type), targs.get(), kwds.get()));
    if (!self || var_init(self.get(), targs.get(), kwds.get()) < 0) return nullptr;
    return self.release();
  }
  korvu::PyRef self = korvu::PyRef::steal(PyType_GenericAlloc(reinterpret_cast<PyTypeObject *>(type), 0));
  if (!self || var_setup(KRV_VAR(self.get()), slot[0], num[0], num[1], num[2], vartype) < 0) return nullptr;
  return self.release();
}

// ---- attributes

static bool name_is(PyObject *name, const char *s) {
  return PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, s) == 0;
}

static PyObject *var_getattro(PyObject *self, PyObject *name) {
  uint64_t info = KRV_VAR(self)->info;
  if (PyUnicode_Check(name)) {
    if (name_is(name, "lb")) return PyFloat_FromDouble(get_var_lbound(info));
    if (name_is(name, "ub")) return PyFloat_FromDouble(get_var_ubound(info));
    if (name_is(name, "threshold")) return PyFloat_FromDouble(get_var_thold(info));
    if (name_is(name, "vartype")) return PyLong_FromLong(get_var_type(info));
    if (name_is(name, "name")) {
      PyObject *n = get_var_name(info);
      if (!n) PyErr_SetString(korvu_InterfaceError, "Internal error in variable name");
      return n;
    }
    if (name_is(name, "__dict__")) {
      korvu::PyRef d = korvu::PyRef::steal(PyDict_New());
      if (!d) return nullptr;
      for (const char *k : {"lb", "ub", "threshold", "vartype", "name"})
        if (PyDict_SetItemString(d.get(), k, Py_None) < 0) return nullptr;
      return d.release();
    }
  }
  return PyObject_GenericGetAttr(self, name);
}

static int var_setattro(PyObject *self, PyObject *name, PyObject *value) {
  var_s *v = KRV_VAR(self);
  bool known = name_is(name, "lb") || name_is(name, "ub") || name_is(name, "threshold") ||
               name_is(name, "vartype") || name_is(name, "name");
  if (!known) {
    PyErr_SetString(korvu_InterfaceError, "Incorrect member name of type korvu.var");
    return -1;
  }
  if (!value) {
    PyErr_SetString(korvu_InterfaceError, "Attributes of korvu.var cannot be deleted");
    return -1;
  }
  if (name_is(name, "name")) {
    // Any object: its str() is the name where one is needed.
    set_var_name(&v->info, value);
    return 0;
  }
  if (name_is(name, "vartype")) {
    long t = PyLong_AsLong(value);
    if (t == -1 && PyErr_Occurred()) return -1;
    if (!valid_vartype(t)) {
      PyErr_Format(korvu_ModelError, "Invalid variable type %ld", t);
      return -1;
    }
    set_var_type(&v->info, static_cast<int>(t));
    return 0;
  }
  double d = PyFloat_AsDouble(value);
  if (d == -1.0 && PyErr_Occurred()) return -1;
  if (std::isnan(d)) {
    PyErr_SetString(korvu_ModelError, "Variable bounds and threshold must not be NaN");
    return -1;
  }
  if (name_is(name, "lb"))
    set_var_lbound(&v->info, d);
  else if (name_is(name, "ub"))
    set_var_ubound(&v->info, d);
  else
    set_var_thold(&v->info, d);
  return 0;
}

static PyObject *var_str(PyObject *self) {
  PyObject *n = get_var_name(KRV_VAR(self)->info);
  if (!n) return nullptr;
  if (PyUnicode_Check(n)) return n;
  PyObject *s = PyObject_Str(n);
  Py_DECREF(n);
  return s;
}

static Py_hash_t var_hash(PyObject *self) { return static_cast<Py_hash_t>(var_id(self)); }

// ---- arithmetic whose highest operand kind is a variable

PyObject *var_copy(PyObject *x, double c) {
  if (c == 1.0) return Py_NewRef(x);
  if (c == 0.0) return new_float(0.0);
  return linterm_fill(x, c);
}

PyObject *var_alg_sum(PyObject *a, PyObject *b, int s, int ka, int kb) {
  if (ka == KIND_VAR && kb == KIND_VAR) {
    if (var_id(a) == var_id(b)) return s > 0 ? linterm_fill(a, 2.0) : new_float(0.0);
    return expression_from_parts(0.0, a, 1.0, b, s);
  }
  double n;
  if (ka == KIND_NUM) {
    if (num_value(a, &n) < 0) return nullptr;
    return expression_from_parts(n, b, s, nullptr, 0.0);
  }
  if (num_value(b, &n) < 0) return nullptr;
  if (n == 0.0) return Py_NewRef(a);
  return expression_from_parts(s * n, a, 1.0, nullptr, 0.0);
}

PyObject *var_mul(PyObject *a, PyObject *b, int ka, int kb) {
  if (ka == KIND_VAR && kb == KIND_VAR) return quadterm_fill(a, b, 1.0);
  PyObject *num = ka == KIND_NUM ? a : b;
  PyObject *x = ka == KIND_NUM ? b : a;
  double n;
  if (num_value(num, &n) < 0) return nullptr;
  if (n == 0.0) return new_float(0.0);
  if (n == 1.0) return Py_NewRef(x);
  return linterm_fill(x, n);
}


PyDoc_STRVAR(var_doc,
             "var(name=None, lb=0, ub=1e20, threshold=-1e20, vartype=0)\n--\n\n"
             "Purpose:\n  A decision variable of an optimization model.\n\n"
             "Synopsis:\n  x = korvu.var(name=None, lb=0, ub=korvu.infinity, threshold=-1e20,\n"
             "                vartype=korvu.continuous)\n\n"
             "Arguments:\n"
             "  name       a string; by default C followed by the variable's number\n"
             "  lb, ub     bounds; values at or beyond 1e20 in size are infinite\n"
             "  threshold  the threshold of a semi-continuous, semi-integer or partially\n"
             "             integer variable; -1e20 means none\n"
             "  vartype    korvu.continuous, binary, integer, semicontinuous, semiinteger or\n"
             "             partiallyinteger; a binary variable's bounds are clipped to [0, 1]\n\n"
             "Example:\n  x = korvu.var(name='x', ub=10, vartype=korvu.integer)\n  y = korvu.var()\n"
             "  e = 2 * x + 3 * y ** 2\n  c = x + y <= 4\n\n"
             "Further information:\n  Variables exist independently of problems; arithmetic on them "
             "builds terms,\n  expressions and nonlinear expressions, comparisons build "
             "constraints.\n  The attributes lb, ub, threshold, vartype and name can be read "
             "and assigned.\n\n"
             "Related topics:\n  constraint, sos, problem.addVariable\n");

PyObject *model_richcompare(PyObject *a, PyObject *b, int op);

PyTypeObject korvu_varType = {
    PyVarObject_HEAD_INIT(nullptr, 0) "korvu.var",  // tp_name
    sizeof(var_s),                                   // tp_basicsize
};

int var_ready_type(void) {
  PyTypeObject *t = &korvu_varType;
  t->tp_dealloc = var_dealloc;
  t->tp_repr = var_str;
  t->tp_str = var_str;
  t->tp_hash = var_hash;
  t->tp_as_number = &korvu_term_number_methods;
  t->tp_getattro = var_getattro;
  t->tp_setattro = var_setattro;
  t->tp_flags = Py_TPFLAGS_DEFAULT;
  t->tp_doc = var_doc;
  t->tp_richcompare = model_richcompare;
  t->tp_methods = korvu_term_methods;
  t->tp_init = var_init;
  t->tp_vectorcall = var_vectorcall;
  t->tp_new = PyType_GenericNew;
  return PyType_Ready(t);
}
