// Universal-function loops of the model data types: element-wise arithmetic and
// comparisons on arrays of variables and expressions, with float64 operands on
// either side.  Loops are templates over the operation and the operand layout;
// one table says which loop serves which universal function and types.
#include <cstring>
#include <vector>

#include "arrays/arrays.h"
#include "model/algebra.h"

using korvu::PyRef;

namespace {

// Which operand is float64: none, the first or the second.
enum Layout { OO, FO, OF };

// Boxes float64 values, reusing the last box while the value (bit for bit)
// does not change: rows of a constant and broadcast scalars cost one box.
class FloatBox {
 public:
  ~FloatBox() { Py_XDECREF(obj_); }
  PyObject *get(const char *cell) {
    double v;
    std::memcpy(&v, cell, sizeof v);
    if (obj_ && std::memcmp(&v, &last_, sizeof v) == 0) return obj_;
    Py_XDECREF(obj_);
    obj_ = PyFloat_FromDouble(v);
    last_ = v;
    return obj_;
  }

 private:
  PyObject *obj_ = nullptr;
  double last_ = 0.0;
};

// The object in an operand cell.  An empty cell (or None) is refused: the
// generic operations read None as "no operand", which would make 2 * empty
// silently 2.0.
inline PyObject *cell_object(const char *cell) {
  PyObject *o = *reinterpret_cast<PyObject *const *>(cell);
  if (o && o != Py_None) return o;
  PyErr_SetString(korvu_ModelError, "Invalid object in operation: <None>");
  return nullptr;
}

inline void store(char *cell, PyObject *r) {
  PyObject **slot = reinterpret_cast<PyObject **>(cell);
  PyObject *old = *slot;
  *slot = r;
  Py_XDECREF(old);
}

typedef PyObject *(*BinaryOp)(PyObject *, PyObject *);
typedef PyObject *(*UnaryOp)(PyObject *);

// number * variable as the algebra makes it (0.0, the variable itself, or a
// linear term), without boxing the number: the common case of A * X.
inline PyObject *scaled_var(PyObject *x, const char *cell) {
  double v;
  std::memcpy(&v, cell, sizeof v);
  if (v == 0.0) return PyFloat_FromDouble(0.0);
  if (v == 1.0) return Py_NewRef(x);
  return linterm_fill(x, v);
}

// Results of one loop call.  A loop stops at its first failure (NumPy raises the
// pending exception when the loop returns; nothing may run with an exception
// set) and stores its results only once every element has succeeded, so a
// refused operation (e += bad) leaves the output array as it was.
class Pending {
 public:
  explicit Pending(npy_intp n) { v_.reserve(static_cast<size_t>(n)); }
  ~Pending() {
    for (PyObject *o : v_) Py_XDECREF(o);
  }
  bool add(PyObject *r) {
    if (!r) return false;
    v_.push_back(r);
    return true;
  }
  void store_all(char *o, npy_intp step) {
    for (PyObject *&r : v_) {
      store(o, r);
      r = nullptr;
      o += step;
    }
  }

 private:
  std::vector<PyObject *> v_;
};

template <BinaryOp OP, Layout L>
void binary_loop(char **args, npy_intp const *dims, npy_intp const *steps, void *) {
  char *a = args[0], *b = args[1];
  FloatBox box;
  Pending out(dims[0]);
  for (npy_intp i = 0; i < dims[0]; ++i, a += steps[0], b += steps[1]) {
    if constexpr (OP == general_mul && L != OO) {
      PyObject *obj = L == FO ? cell_object(b) : cell_object(a);
      if (!obj) return;
      if (Py_TYPE(obj) == &korvu_varType) {
        if (!out.add(scaled_var(obj, L == FO ? a : b))) return;
        continue;
      }
    }
    PyObject *x = L == FO ? box.get(a) : cell_object(a);
    PyObject *y = L == OF ? box.get(b) : cell_object(b);
    if (!x || !y || !out.add(OP(x, y))) return;
  }
  out.store_all(args[2], steps[2]);
}

template <UnaryOp OP>
void unary_loop(char **args, npy_intp const *dims, npy_intp const *steps, void *) {
  char *a = args[0];
  Pending out(dims[0]);
  for (npy_intp i = 0; i < dims[0]; ++i, a += steps[0]) {
    PyObject *x = cell_object(a);
    if (!x || !out.add(OP(x))) return;
  }
  out.store_all(args[1], steps[1]);
}

template <int CMP>
PyObject *compare(PyObject *a, PyObject *b) {
  return make_constraint(a, b, CMP);
}

// A loop for each layout of one binary operation.
struct Variants {
  PyUFuncGenericFunction oo, fo, of;
};
template <BinaryOp OP>
constexpr Variants variants() {
  return {binary_loop<OP, OO>, binary_loop<OP, FO>, binary_loop<OP, OF>};
}

// Type indices of the table: 0 float64, 1 npvar, 2 npexpr, 3 npconstraint.
enum { T_F64, T_VAR, T_EXPR, T_CON };

struct LoopRow {
  const char *ufunc;
  int out;
  bool unary;
  Variants loops;  // unary rows use loops.oo
};

const LoopRow kLoops[] = {
    {"less_equal", T_CON, false, variants<compare<Py_LE>>()},
    {"equal", T_CON, false, variants<compare<Py_EQ>>()},
    {"greater_equal", T_CON, false, variants<compare<Py_GE>>()},
    {"add", T_EXPR, false, variants<general_add>()},
    {"subtract", T_EXPR, false, variants<general_sub>()},
    {"multiply", T_EXPR, false, variants<general_mul>()},
    {"divide", T_EXPR, false, variants<general_div>()},
    {"true_divide", T_EXPR, false, variants<general_div>()},
    {"power", T_EXPR, false, variants<general_pow>()},
    {"bitwise_and", T_EXPR, false, variants<general_and>()},
    {"bitwise_or", T_EXPR, false, variants<general_or>()},
    {"negative", T_EXPR, true, {unary_loop<general_neg>, nullptr, nullptr}},
    {"square", T_EXPR, true, {unary_loop<general_sqr>, nullptr, nullptr}},
};

int register_loop(PyObject *ufunc, int usertype, PyUFuncGenericFunction fn, std::vector<int> types) {
  PyUFuncObject *u = reinterpret_cast<PyUFuncObject *>(ufunc);
  if (u->nargs != static_cast<int>(types.size())) {
    PyErr_Format(PyExc_ImportError, "numpy.%s takes %d operands, not %d", u->name, u->nargs,
                 static_cast<int>(types.size()));
    return -1;
  }
  return PyUFunc_RegisterLoopForType(u, usertype, fn, types.data(), nullptr);
}

}  // namespace

int krv_register_loops(void) {
  int num[4] = {NPY_DOUBLE, reinterpret_cast<PyArray_Descr *>(krv_py_env.npvar)->type_num,
                reinterpret_cast<PyArray_Descr *>(krv_py_env.npexpr)->type_num,
                reinterpret_cast<PyArray_Descr *>(krv_py_env.npconstraint)->type_num};
  PyRef numpy = PyRef::steal(PyImport_ImportModule("numpy"));
  if (!numpy) return -1;
  std::vector<PyObject *> done;  // divide and true_divide may be one object
  std::vector<PyRef> keep;
  for (const LoopRow &row : kLoops) {
    PyRef ufunc = PyRef::steal(PyObject_GetAttrString(numpy.get(), row.ufunc));
    if (!ufunc) return -1;
    if (!PyObject_TypeCheck(ufunc.get(), &PyUFunc_Type)) {
      PyErr_Format(PyExc_ImportError, "numpy.%s is not a universal function", row.ufunc);
      return -1;
    }
    bool seen = false;
    for (PyObject *d : done) seen = seen || d == ufunc.get();
    if (seen) continue;
    done.push_back(ufunc.get());
    keep.push_back(ufunc);
    int out = num[row.out];
    for (int f = T_VAR; f <= T_EXPR; ++f) {
      if (row.unary) {
        if (register_loop(ufunc.get(), num[f], row.loops.oo, {num[f], out}) < 0) return -1;
        continue;
      }
      for (int s = T_VAR; s <= T_EXPR; ++s)
        if (register_loop(ufunc.get(), num[f > s ? f : s], row.loops.oo, {num[f], num[s], out}) < 0) return -1;
      if (register_loop(ufunc.get(), num[f], row.loops.of, {num[f], NPY_DOUBLE, out}) < 0 ||
          register_loop(ufunc.get(), num[f], row.loops.fo, {NPY_DOUBLE, num[f], out}) < 0)
        return -1;
      // With NumPy's object type on the other side (a single variable or
      // expression is broadcast as an object array) the model loop is chosen
      // too; otherwise NumPy's object comparisons would turn X <= y into booleans.
      if (register_loop(ufunc.get(), num[f], row.loops.oo, {num[f], NPY_OBJECT, out}) < 0 ||
          register_loop(ufunc.get(), num[f], row.loops.oo, {NPY_OBJECT, num[f], out}) < 0)
        return -1;
    }
  }
  return 0;
}
