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
// set) and, when its output cells are not also its inputs, stores its results
// only once every element has succeeded, so a refused operation (e += bad)
// leaves the output array as it was.  Reductions and accumulations (x.sum(),
// np.cumsum) read each output cell as the next input, so there every result
// goes in at once.
class Pending {
 public:
  Pending(char **args, npy_intp const *dims, npy_intp const *steps, int nin)
      : out_(args[nin]), step_(steps[nin]), direct_(aliased(args, dims[0], steps, nin)) {
    if (!direct_) v_.reserve(static_cast<size_t>(dims[0]));
  }
  ~Pending() {
    for (PyObject *o : v_) Py_XDECREF(o);
  }
  bool add(PyObject *r) {
    if (!r) return false;
    if (direct_) {
      store(out_, r);
      out_ += step_;
    } else {
      v_.push_back(r);
    }
    return true;
  }
  void store_all() {
    for (PyObject *&r : v_) {
      store(out_, r);
      r = nullptr;
      out_ += step_;
    }
  }

 private:
  // Whether an output cell is read by a later element: the cells the output
  // runs over meet those of an input other than cell for cell (x += y on the
  // same array keeps the all-or-nothing store).
  static bool aliased(char **args, npy_intp n, npy_intp const *steps, int nin) {
    if (n <= 1) return false;
    auto span = [&](int k, char *&lo, char *&hi) {
      char *first = args[k], *last = args[k] + (n - 1) * steps[k];
      lo = first < last ? first : last;
      hi = (first < last ? last : first) + sizeof(PyObject *);
    };
    char *olo, *ohi;
    span(nin, olo, ohi);
    for (int k = 0; k < nin; ++k) {
      if (args[k] == args[nin] && steps[k] == steps[nin] && steps[k] != 0) continue;
      char *lo, *hi;
      span(k, lo, hi);
      if (lo < ohi && olo < hi) return true;
    }
    return false;
  }

  char *out_;
  npy_intp step_;
  bool direct_;
  std::vector<PyObject *> v_;
};

// a + s * b where both are numbers, variables, terms or expressions and one is
// not a number: the operation of the kind that leads, as the general sum
// reaches it, without the general sum's look for None, arrays and nonlinear
// nodes (every element of X - Y paid for it).  Everything else goes the
// general way.
template <int S>
PyObject *linear_sum(PyObject *a, PyObject *b) {
  const int ka = expr_kind(a), kb = expr_kind(b);
  const int k = ka > kb ? ka : kb;
  if (ka >= 0 && kb >= 0 && k > KIND_NUM) {
    switch (k) {
      case KIND_VAR: return var_alg_sum(a, b, S, ka, kb);
      case KIND_LIN: return linterm_alg_sum(a, b, S, ka, kb);
      case KIND_QUAD: return quadterm_alg_sum(a, b, S, ka, kb);
      case KIND_EXPR: return expression_alg_sum(a, b, S);
      default: break;
    }
  }
  return S > 0 ? general_add(a, b) : general_sub(a, b);
}

// Whether a loop's operation is the product, told apart at compile time by
// specialisation (comparing function addresses is not a constant expression
// in every build, the sanitizer builds among them).
template <BinaryOp OP>
constexpr bool is_product = false;
template <>
constexpr bool is_product<general_mul> = true;

template <BinaryOp OP, Layout L>
void binary_loop(char **args, npy_intp const *dims, npy_intp const *steps, void *) {
  char *a = args[0], *b = args[1];
  FloatBox box;
  Pending out(args, dims, steps, 2);
  for (npy_intp i = 0; i < dims[0]; ++i, a += steps[0], b += steps[1]) {
    if constexpr (is_product<OP> && L != OO) {
      PyObject *obj = L == FO ? cell_object(b) : cell_object(a);
      if (!obj) return;
      if (Py_TYPE(obj) == &korvu_varType) {
        if (!out.add(scaled_var(obj, L == FO ? a : b))) return;
        continue;
      }
      if (Py_TYPE(obj) == &korvu_expressionType) {  // number * expression, as the algebra scales it
        double v;
        std::memcpy(&v, L == FO ? a : b, sizeof v);
        if (!out.add(expression_copy(obj, v))) return;
        continue;
      }
    }
    PyObject *x = L == FO ? box.get(a) : cell_object(a);
    PyObject *y = L == OF ? box.get(b) : cell_object(b);
    if (!x || !y || !out.add(OP(x, y))) return;
  }
  out.store_all();
}

template <UnaryOp OP>
void unary_loop(char **args, npy_intp const *dims, npy_intp const *steps, void *) {
  char *a = args[0];
  Pending out(args, dims, steps, 1);
  for (npy_intp i = 0; i < dims[0]; ++i, a += steps[0]) {
    PyObject *x = cell_object(a);
    if (!x || !out.add(OP(x))) return;
  }
  out.store_all();
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
    {"add", T_EXPR, false, variants<linear_sum<1>>()},
    {"subtract", T_EXPR, false, variants<linear_sum<-1>>()},
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
      // Two model arrays meet in the expression loop only: NumPy casts a
      // variable side to expressions, which copies references (an expression
      // cell may hold a variable).  With (variable, variable) or mixed loops,
      // accumulate and reduceat over arrays of variables would resolve to loops
      // whose operands differ, which NumPy refuses.
      if (register_loop(ufunc.get(), num[f], row.loops.oo, {num[T_EXPR], num[T_EXPR], out}) < 0)
        return -1;
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
