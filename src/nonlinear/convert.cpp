#include "nonlinear/convert.h"

#include <algorithm>
#include <cmath>

#include "model/maps.h"
#include "module/module.h"
#include "nonlinear/functions.h"
#include "nonlinear/nonlin.h"

using korvu::PyRef;

void converted_expr::clear() {
  constant = 0.0;
  lin_cols.clear();
  lin_coefs.clear();
  quad_cols1.clear();
  quad_cols2.clear();
  quad_coefs.clear();
  formula_cols.clear();
  formula_mult.clear();
  formula_starts.assign(1, 0);
  token_types.clear();
  token_values.clear();
}

namespace {

constexpr int kFormulaDepth = 64;

// Token types and values of the nonlinear solver, by node operator.
struct TokenCode {
  int type, value;
};
constexpr TokenCode kOpTokens[NL_NUM_OPS] = {
    {31, 5},  {31, 6},  {31, 1},  {31, 3},  {31, 4},  {31, 2},  {12, 16}, {12, 15}, {12, 14},
    {12, 27}, {12, 28}, {12, 29}, {12, 30}, {12, 31}, {12, 32}, {12, 34}, {12, 33}, {12, 17},
    {12, 46}, {12, 49}, {12, 50}, {12, 18}, {12, 33}, {12, 34}, {12, 35}, {11, 0},  {11, 0},
};

PyObject *fail(const char *msg) {
  PyErr_SetString(korvu_ModelError, msg);
  return nullptr;
}

struct Converter {
  problem_s *p;
  converted_expr &out;
  int objective;

  // Column of a variable, or -1 when it is not in the problem.
  int column(PyObject *var) {
    int64_t col;
    if (rowcolmap_get(p->varmap, var_id(var), &col) != 0) return -1;
    return static_cast<int>(col);
  }

  int add_lin(PyObject *var, double c, const char *missing) {
    if (c == 0.0) return 0;
    int col = column(var);
    if (col < 0) return fail(missing) ? 0 : -1;
    out.lin_cols.push_back(col);
    out.lin_coefs.push_back(c);
    return 0;
  }

  // c * x * y: the library reads a'x + x'Qx in rows and 0.5 x'Qx in the
  // objective, with Q symmetric; one triplet sets both triangles.
  int add_quad(PyObject *x, PyObject *y, double c, const char *missing) {
    if (x != y) c *= 0.5;
    if (objective) c *= 2.0;
    if (c == 0.0) return 0;
    int cx = column(x), cy = column(y);
    if (cx < 0 || cy < 0) return fail(missing) ? 0 : -1;
    out.quad_cols1.push_back(cx);
    out.quad_cols2.push_back(cy);
    out.quad_coefs.push_back(c);
    return 0;
  }

  // The linear and quadratic parts of a non-node operand, times f.
  int linear(PyObject *e, double f) {
    if (f == 0.0) return 0;
    switch (expr_kind(e)) {
      case KIND_NUM: {
        double v;
        if (num_value(e, &v) < 0) return -1;
        out.constant += f * v;
        return 0;
      }
      case KIND_VAR:
        return add_lin(e, f,
                       "Variable in linear term defining constraint has not been added to problem yet");
      case KIND_LIN:
        return add_lin(KRV_OBJ(KRV_LT(e)->var), f * KRV_LT(e)->coef,
                       "Variable in linear term defining constraint has not been added to problem yet");
      case KIND_QUAD: {
        quadterm_s *q = reinterpret_cast<quadterm_s *>(e);
        return add_quad(KRV_OBJ(q->var1), KRV_OBJ(q->var2), f * q->coef,
                        "Variable in quadratic term defining constraint has not been added to "
                        "problem yet");
      }
      case KIND_EXPR: {
        expression_s *x = reinterpret_cast<expression_s *>(e);
        out.constant += f * x->constant;
        int rc = 0;
        if (x->lin)
          x->lin->for_each([&](const auto &en) {
            if (rc == 0)
              rc = add_lin(KRV_OBJ(en.val.var), f * en.val.coef,
                           "Variable in linear part of constraint has not been added to problem yet");
          });
        if (rc == 0 && x->quad)
          x->quad->for_each([&](const auto &outer) {
            outer.val.inner->for_each([&](const auto &en) {
              if (rc == 0)
                rc = add_quad(KRV_OBJ(outer.val.var), KRV_OBJ(en.val.var), f * en.val.coef,
                              "Variable in quadratic part of constraint has not been added to "
                              "problem yet");
            });
          });
        if (rc < 0) return -1;
        return 0;
      }
      default:
        PyErr_SetString(korvu_ModelError, "Cannot convert expression");
        return -1;
    }
  }

  // ---- formula emission

  void token(int type, double value) {
    out.token_types.push_back(type);
    out.token_values.push_back(value);
  }

  int term_tokens(double c, PyObject *x, PyObject *y) {
    bool unit = c == 1.0 || c == -1.0;
    if (!unit) token(1, c);
    int cx = column(x);
    if (cx < 0) return fail("Variable in nonlinear expression has not been added to problem yet") ? 0 : -1;
    token(10, cx);
    if (y) {
      int cy = column(y);
      if (cy < 0) return fail("Variable in nonlinear expression has not been added to problem yet") ? 0 : -1;
      token(10, cy);
      token(31, 3);
    }
    if (!unit) token(31, 3);
    else if (c == -1.0) token(31, 1);
    return 0;
  }

  // Writes the operator tokens that join n operands as a balanced tree: after
  // operand k (1-based) as many as k has trailing zero bits, while k < n is even.
  void join(int k, int n, int op_value) {
    if (k < n) {
      if (k % 2 == 0)
        for (int t = k; (t & 1) == 0; t >>= 1) token(31, op_value);
    } else {
      // After the last operand: the joins still owed make n - 1 in all.
      int written = 0;
      for (int j = 2; j < n; j += 2)
        for (int t = j; (t & 1) == 0; t >>= 1) ++written;
      for (int r = written; r < n - 1; ++r) token(31, op_value);
    }
  }

  int expression_tokens(PyObject *e) {
    expression_s *x = reinterpret_cast<expression_s *>(e);
    int n = (x->constant != 0.0) + static_cast<int>(x->lin ? linmap_size(x->lin) : 0);
    if (x->quad) x->quad->for_each([&](const auto &o) { n += static_cast<int>(linmap_size(o.val.inner)); });
    if (n == 0) {
      token(1, 0.0);
      return 0;
    }
    int k = 0, rc = 0;
    if (x->constant != 0.0) {
      token(1, x->constant);
      join(++k, n, 5);
    }
    if (x->lin)
      x->lin->for_each([&](const auto &en) {
        if (rc == 0 && (rc = term_tokens(en.val.coef, KRV_OBJ(en.val.var), nullptr)) == 0)
          join(++k, n, 5);
      });
    if (x->quad)
      x->quad->for_each([&](const auto &o) {
        o.val.inner->for_each([&](const auto &en) {
          if (rc == 0 && (rc = term_tokens(en.val.coef, KRV_OBJ(o.val.var), KRV_OBJ(en.val.var))) == 0)
            join(++k, n, 5);
        });
      });
    return rc;
  }

  int operand(PyObject *o, int depth) {
    if (depth <= 0) {
      PyErr_SetString(korvu_ModelError,
                      "The expression tree depth reached the maximum limit, please reformulate or "
                      "simplify the expression");
      return -1;
    }
    switch (expr_kind(o)) {
      case KIND_NUM: {
        double v;
        if (num_value(o, &v) < 0) return -1;
        token(1, v);
        return 0;
      }
      case KIND_VAR: {
        int c = column(o);
        if (c < 0) return fail("Variable in nonlinear part of constraint has not been added to problem yet") ? 0 : -1;
        token(10, c);
        return 0;
      }
      case KIND_LIN:
        return term_tokens(KRV_LT(o)->coef, KRV_OBJ(KRV_LT(o)->var), nullptr);
      case KIND_QUAD: {
        quadterm_s *q = reinterpret_cast<quadterm_s *>(o);
        return term_tokens(q->coef, KRV_OBJ(q->var1), KRV_OBJ(q->var2));
      }
      case KIND_EXPR:
        return expression_tokens(o);
      case KIND_NL:
        return node(o, depth - 1, nullptr, nullptr);
      default:
        PyErr_SetString(korvu_ModelError, "Incorrect argument of nonlinear function");
        return -1;
    }
  }

  // Emits a node; at the top of a formula (mult non-null) a product's constant
  // factors go to the multiplier and its first variable to the column.
  int node(PyObject *o, int depth, double *mult, int *col) {
    if (depth <= 0) {
      PyErr_SetString(korvu_ModelError,
                      "The expression tree depth reached the maximum limit, please reformulate or "
                      "simplify the expression");
      return -1;
    }
    nonlin_s *n = KRV_NL(o);
    int op = n->op;
    if (op < 0 || op >= NL_NUM_OPS) {
      PyErr_SetString(korvu_ModelError, "Unknown nonlinear type");
      return -1;
    }
    std::vector<PyObject *> args;
    PyObject *a = n->args;
    if (a && (PyTuple_Check(a) || PyList_Check(a))) {
      for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(a); ++i)
        args.push_back(PySequence_Fast_GET_ITEM(a, i));
    } else if (a) {
      args.push_back(a);
    }
    if (mult && op == NL_PROD) {
      std::vector<PyObject *> kept;
      for (PyObject *f : args) {
        double v;
        if (expr_kind(f) == KIND_NUM) {
          if (num_value(f, &v) < 0) return -1;
          *mult *= v;
        } else if (*col < 0 && expr_kind(f) == KIND_VAR) {
          *col = column(f);
          if (*col < 0) return fail("Variable in nonlinear term not added to problem yet") ? 0 : -1;
        } else {
          kept.push_back(f);
        }
      }
      args.swap(kept);
      if (args.empty()) {
        token(1, 1.0);
        return 0;
      }
      if (args.size() == 1) return operand(args[0], depth);
    }
    bool nary_join = op == NL_SUM || op == NL_PROD;
    bool user = op == NL_USER || op == NL_USER_DERIV;
    bool open = !(nary_join || op == NL_NEG ||
                  (args.size() == 2 && op != NL_MAX && op != NL_MIN && op != NL_AND && op != NL_OR && !user));
    if (open) token(22, 0);
    int count = static_cast<int>(args.size());
    if (user) {
      // The function is registered, not emitted; its arguments go last first.
      if (args.empty() || !PyCallable_Check(args[0]))
        return fail("First argument of a user() operator must be the function itself") ? 0 : -1;
      int number = 0;
      int rc = createUserFunction(p, n->args, &number, op == NL_USER_DERIV);
      if (rc != 0) {
        if (!PyErr_Occurred()) setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
        return -1;
      }
      for (int i = count - 1; i >= 1; --i)
        if (operand(args[i], depth) < 0) return -1;
      token(11, number);
      return 0;
    }
    if (op == NL_PWL) {
      for (int i = count - 1; i >= 0; --i)
        if (operand(args[i], depth) < 0) return -1;
    } else {
      for (int i = 0; i < count; ++i) {
        if (operand(args[i], depth) < 0) return -1;
        if (nary_join) join(i + 1, count, op == NL_SUM ? 5 : 3);
      }
    }
    if (!nary_join) token(kOpTokens[op].type, kOpTokens[op].value);
    return 0;
  }

  int no_column() {
    static int cached = -2;
    if (cached != -2) return cached;
    int v = -1;
    if (p->slpprob && KSLPgetintattrib(p->slpprob, KSLP_ATTR_NOCOLUMN, &v) != 0) {
      setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
      return -2;
    }
    cached = v;
    return v;
  }

  int formula(PyObject *o, double sign) {
    double mult = 1.0;
    int col = -1;
    if (node(o, kFormulaDepth, &mult, &col) < 0) return -1;
    if (col < 0) {
      col = no_column();
      if (col == -2) return -1;
    }
    token(0, 0.0);
    out.formula_cols.push_back(col);
    out.formula_mult.push_back(sign * mult);
    out.formula_starts.push_back(static_cast<int>(out.token_types.size()));
    return 0;
  }

  int top(PyObject *e) {
    if (!e) {
      PyErr_SetString(korvu_ModelError, "Cannot convert expression");
      return -1;
    }
    if (!is_nonlin(e)) return linear(e, 1.0);
    nonlin_s *n = KRV_NL(e);
    if (n->op == NL_SUM) {
      if (!PyList_Check(n->args)) return fail("Erroneous type for argument of sum") ? 0 : -1;
      PyRef args = PyRef::borrow(n->args);
      for (Py_ssize_t i = 0; i < PyList_GET_SIZE(args.get()); ++i) {
        PyObject *el = PyList_GET_ITEM(args.get(), i);
        int kind = expr_kind(el);
        if (kind == KIND_NL) {
          if (formula(el, 1.0) < 0) return -1;
        } else if (kind >= KIND_NUM) {
          if (linear(el, 1.0) < 0) return -1;
        } else {
          return fail("Invalid expression in nonlinear sum") ? 0 : -1;
        }
      }
      return 0;
    }
    if (n->op == NL_MINUS) {
      if (!PyTuple_Check(n->args) || PyTuple_GET_SIZE(n->args) != 2)
        return fail("Erroneous type for argument of difference expression") ? 0 : -1;
      PyObject *a = PyTuple_GET_ITEM(n->args, 0), *b = PyTuple_GET_ITEM(n->args, 1);
      if ((is_nonlin(a) ? formula(a, 1.0) : linear(a, 1.0)) < 0) return -1;
      return is_nonlin(b) ? formula(b, -1.0) : linear(b, -1.0);
    }
    return formula(e, 1.0);
  }
};

bool contains_node(PyObject *e) { return e && is_nonlin(e); }

}  // namespace

namespace {

// The library keeps one formula per (row, column): formulas of one
// expression that multiply the same column (or stand alone) become one
// formula, the sum of each times its multiplier.
void merge_shared_columns(converted_expr &out, size_t first) {
  size_t n = out.formulas();
  if (n - first < 2) return;
  std::vector<int> order;  // distinct columns, in the order met
  std::vector<std::vector<size_t>> members;
  for (size_t k = first; k < n; ++k) {
    auto at = std::find(order.begin(), order.end(), out.formula_cols[k]);
    if (at == order.end()) {
      order.push_back(out.formula_cols[k]);
      members.push_back({k});
    } else {
      members[static_cast<size_t>(at - order.begin())].push_back(k);
    }
  }
  if (order.size() == n - first) return;
  const size_t base = static_cast<size_t>(out.formula_starts[first]);
  std::vector<int> cols, starts, types;
  std::vector<double> mult, values;
  auto token = [&](int t, double v) {
    types.push_back(t);
    values.push_back(v);
  };
  for (size_t g = 0; g < order.size(); ++g) {
    const std::vector<size_t> &ks = members[g];
    for (size_t j = 0; j < ks.size(); ++j) {
      size_t k = ks[j];
      // Every formula ends with its end token, left out while joining.
      size_t from = static_cast<size_t>(out.formula_starts[k]), to = static_cast<size_t>(out.formula_starts[k + 1]) - 1;
      for (size_t t = from; t < to; ++t) token(out.token_types[t], out.token_values[t]);
      if (ks.size() > 1 && out.formula_mult[k] != 1.0) {
        token(1, out.formula_mult[k]);
        token(31, 3);
      }
      if (j > 0) token(31, 5);
    }
    token(0, 0.0);
    cols.push_back(order[g]);
    mult.push_back(ks.size() > 1 ? 1.0 : out.formula_mult[ks[0]]);
    starts.push_back(static_cast<int>(base + types.size()));
  }
  out.formula_cols.resize(first);
  out.formula_mult.resize(first);
  out.formula_starts.resize(first + 1);
  out.token_types.resize(base);
  out.token_values.resize(base);
  out.formula_cols.insert(out.formula_cols.end(), cols.begin(), cols.end());
  out.formula_mult.insert(out.formula_mult.end(), mult.begin(), mult.end());
  out.formula_starts.insert(out.formula_starts.end(), starts.begin(), starts.end());
  out.token_types.insert(out.token_types.end(), types.begin(), types.end());
  out.token_values.insert(out.token_values.end(), values.begin(), values.end());
}

}  // namespace

int convertExpr(problem_s *p, PyObject *expr, converted_expr &out, int objective) {
  Converter c{p, out, objective};
  size_t first = out.formulas();
  if (c.top(expr) < 0) return -1;
  merge_shared_columns(out, first);
  return 0;
}

bool expr_is_nonlinear(PyObject *expr) { return contains_node(expr); }

int check_finite_coefs(problem_s *p, const converted_expr &out, const converted_sizes &from,
                       double constant, PyObject *owner) {
  auto refuse = [&](const char *what, double v, int col) {
    PyRef on = owner ? PyRef::steal(PyObject_Str(owner)) : PyRef::steal(PyUnicode_FromString("the objective"));
    PyRef num = PyRef::steal(PyFloat_FromDouble(v));
    if (!on || !num) return -1;
    const char *kind = owner ? "constraint " : "";
    PyObject *var = col >= 0 && col < PyList_GET_SIZE(p->vars) ? PyList_GET_ITEM(p->vars, col) : nullptr;
    if (var)
      PyErr_Format(korvu_ModelError, "%s %S of variable %S in %s%S is not finite", what, num.get(), var,
                   kind, on.get());
    else
      PyErr_Format(korvu_ModelError, "%s %S in %s%S is not finite", what, num.get(), kind, on.get());
    return -1;
  };
  if (!std::isfinite(constant)) return refuse("The constant", constant, -1);
  for (size_t k = from.lin; k < out.lin_coefs.size(); ++k)
    if (!std::isfinite(out.lin_coefs[k])) return refuse("The coefficient", out.lin_coefs[k], out.lin_cols[k]);
  for (size_t k = from.quad; k < out.quad_coefs.size(); ++k)
    if (!std::isfinite(out.quad_coefs[k]))
      return refuse("The quadratic coefficient", out.quad_coefs[k], out.quad_cols1[k]);
  for (size_t k = from.formula; k < out.formulas(); ++k)
    if (!std::isfinite(out.formula_mult[k])) return refuse("The coefficient", out.formula_mult[k], out.formula_cols[k]);
  for (size_t k = from.tokens; k < out.token_values.size(); ++k)
    if (out.token_types[k] == 1 && !std::isfinite(out.token_values[k]))
      return refuse("The constant", out.token_values[k], -1);
  return 0;
}
