// korvu.expression: constant + linear part + quadratic part.
//
// The quadratic part stores each pair once, under its lower-id variable.  Maps are
// created on first use and never hold a coefficient of exactly 0.0 after an update.
#include "model/algebra.h"
#include "model/maps.h"
#include "model/slab.h"
#include "module/env.h"
#include "nonlinear/nonlin.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

using korvu::PyRef;


static inline expression_s *E(PyObject *o) { return KRV_EXPR(o); }
static inline size_t lin_size(expression_s *e) { return e->lin ? e->lin->size() : 0; }
static inline size_t quad_size(expression_s *e) { return quadmap_size(e->quad); }

// Expressions live in the C heap, not the interpreter's object arenas.  Array
// operations make and drop them by the hundred thousand, interleaved with the
// constraints that stay: in the arenas the dropped ones left pools that only
// Python objects could use again (the engine's solve could not), while the C
// heap gives their pages back once the bodies go (see problem_drop_bodies).
// They come from a slab pool (model/slab.h), whose empty slabs go back to the
// heap; a short free list in front keeps the scalar algebra's temporaries off
// even that.
namespace {
constexpr int kPooledExpressions = 128;
void *g_expr_pool[kPooledExpressions];
int g_expr_pooled = 0;
korvu::SlabPool g_expr_slabs(sizeof(expression_s));

void expression_release(void *mem) {
  if (g_expr_pooled < kPooledExpressions)
    g_expr_pool[g_expr_pooled++] = mem;
  else
    g_expr_slabs.release(mem);
}
}  // namespace

PyObject *expression_base(void) {
  void *mem = g_expr_pooled ? g_expr_pool[--g_expr_pooled] : g_expr_slabs.alloc();
  if (!mem) return PyErr_NoMemory();
  expression_s *e = reinterpret_cast<expression_s *>(PyObject_Init(reinterpret_cast<PyObject *>(mem),
                                                                   &korvu_expressionType));
  e->constant = 0.0;
  e->lin = nullptr;
  e->quad = nullptr;
  e->qids = nullptr;
  e->shared = false;
  return KRV_OBJ(e);
}

static void expression_dealloc(PyObject *self) {
  expression_s *e = E(self);
  linmap_free(&e->lin);
  quadmap_free(&e->quad);
  indexset_free(&e->qids);
  expression_release(self);
}

static int ensure_lin(expression_s *e, const char *msg) {
  if (e->lin) return 0;
  e->lin = linmap_new();
  if (e->lin) return 0;
  PyErr_SetString(korvu_ModelError, msg);
  return -1;
}

static int ensure_quad(expression_s *e, const char *msg) {
  if (e->quad) return 0;
  e->quad = quadmap_new();
  if (e->quad) return 0;
  PyErr_SetString(korvu_ModelError, msg);
  return -1;
}

int expression_setLinTerm(PyObject *e, PyObject *x, double c) {
  expression_s *r = E(e);
  if (!r->lin && c == 0.0) return 0;
  if (ensure_lin(r, "Error amending expression") < 0) return -1;
  return linmap_set(r->lin, KRV_VAR(x), c);
}

int expression_addToLinTerm(PyObject *e, PyObject *x, double c) {
  if (c == 0.0) return 0;
  expression_s *r = E(e);
  if (ensure_lin(r, "Error amending linear expression") < 0) return -1;
  linmap_add_fast(r->lin, KRV_VAR(x), c);
  return 0;
}

int expression_setQuadTerm(PyObject *e, PyObject *x, PyObject *y, double c) {
  expression_s *r = E(e);
  if (!r->quad && c == 0.0) return 0;
  if (ensure_quad(r, "Cannot amend quadratic expression") < 0) return -1;
  if (var_id(y) < var_id(x)) std::swap(x, y);
  if (quadmap_add(r->quad, KRV_VAR(x), KRV_VAR(y), c) < 0) {
    PyErr_SetString(korvu_ModelError, "Error setting quadratic expression");
    return -1;
  }
  return 0;
}

int expression_addToQuadTerm(PyObject *e, PyObject *x, PyObject *y, double c) {
  if (c == 0.0) return 0;
  return expression_setQuadTerm(e, x, y, c);
}

PyObject *expression_from_parts(double constant, PyObject *x, double cx, PyObject *y, double cy) {
  PyRef e = PyRef::steal(expression_base());
  if (!e) return nullptr;
  E(e.get())->constant = constant;
  if (x && expression_addToLinTerm(e.get(), x, cx) < 0) return nullptr;
  if (y && expression_addToLinTerm(e.get(), y, cy) < 0) return nullptr;
  return e.release();
}

// ---- copies

// A copy of m with every coefficient times f (zero products dropped).
static linmap *linmap_scaled(linmap *m, double f) {
  linmap *r = linmap_new();
  if (!r) return nullptr;
  m->for_each([&](linmap::Entry &en) {
    double c = en.val.coef * f;
    if (c != 0.0) {
      r->insert(en.key, LinEntry{en.val.var, c});  // keys arrive ascending: appends
      Py_INCREF(en.val.var);
    }
  });
  return r;
}

static quadmap *quadmap_scaled(quadmap *m, double f, bool exact) {
  quadmap *r = quadmap_new();
  if (!r) return nullptr;
  bool ok = true;
  m->for_each([&](quadmap::Entry &en) {
    if (!ok || !en.val.inner) return;
    linmap *inner = nullptr;
    if (exact) {
      if (linmap_copy(&inner, en.val.inner) < 0) inner = nullptr;
    } else {
      inner = linmap_scaled(en.val.inner, f);
    }
    if (!inner) {
      ok = false;
      return;
    }
    if (inner->empty() && !exact) {
      linmap_free(&inner);
      return;
    }
    r->insert(en.key, QuadEntry{en.val.var, inner});
    Py_INCREF(en.val.var);
  });
  if (!ok) quadmap_free(&r);
  return r;
}

PyObject *expression_copy(PyObject *a, double f) {
  int k = getExprType(a);
  if (k == KIND_INVALID) return nullptr;
  if (k == KIND_NL && f != 0.0) return nonlin_copy(a, f);
  PyRef r = PyRef::steal(expression_base());
  if (!r) return nullptr;
  expression_s *e = E(r.get());
  if (f == 0.0) return r.release();
  switch (k) {
    case KIND_NUM: {
      double v;
      if (num_value(a, &v) < 0) return nullptr;
      e->constant = v * f;
      break;
    }
    case KIND_VAR:
      if (expression_addToLinTerm(r.get(), a, f) < 0) return model_error("Cannot copy expression");
      break;
    case KIND_LIN:
      if (expression_addToLinTerm(r.get(), KRV_OBJ(KRV_LT(a)->var), f * KRV_LT(a)->coef) < 0)
        return model_error("Cannot copy linear term into expression");
      break;
    case KIND_QUAD: {
      quadterm_s *q = KRV_QT(a);
      if (expression_addToQuadTerm(r.get(), KRV_OBJ(q->var1), KRV_OBJ(q->var2), f * q->coef) < 0)
        return model_error("Cannot copy quadratic term into expression");
      break;
    }
    case KIND_EXPR: {
      expression_s *s = E(a);
      e->constant = f * s->constant;
      bool exact = std::fabs(f - 1.0) <= 1e-15;
      if (s->lin) {
        if (exact) {
          if (linmap_copy(&e->lin, s->lin) < 0) return model_error("Cannot copy expression");
        } else if (!(e->lin = linmap_scaled(s->lin, f))) {
          return model_error("Cannot copy expression");
        }
      }
      if (s->quad && !(e->quad = quadmap_scaled(s->quad, f, exact))) return model_error("Cannot copy expression");
      break;
    }
  }
  return r.release();
}

// ---- accumulation into an expression

// Adds s times the quadratic map b into e's quadratic map.
static int merge_quad(expression_s *e, quadmap *b, double s) {
  if (!b || b->empty()) return 0;
  if (ensure_quad(e, "Could not add quadratic part") < 0) return -1;
  quadmap *q = e->quad;
  bool ok = true;
  b->for_each([&](quadmap::Entry &en) {
    if (!ok || !en.val.inner || en.val.inner->empty()) return;
    QuadEntry *mine = q->find(en.key);
    if (!mine) {
      linmap *inner = s == 1.0 ? nullptr : linmap_scaled(en.val.inner, s);
      if (s == 1.0 && linmap_copy(&inner, en.val.inner) < 0) inner = nullptr;
      if (!inner) {
        ok = false;
        return;
      }
      q->insert(en.key, QuadEntry{en.val.var, inner});
      Py_INCREF(en.val.var);
      return;
    }
    if (!mine->inner && !(mine->inner = linmap_new())) {
      ok = false;
      return;
    }
    linmap *inner = mine->inner;
    en.val.inner->for_each([&](linmap::Entry &w) { linmap_add_fast(inner, w.val.var, s * w.val.coef); });
    if (inner->empty()) {
      var_s *u = mine->var;
      q->erase(en.key);
      linmap_free(&inner);
      Py_DECREF(u);
    }
  });
  if (!ok) PyErr_SetString(korvu_ModelError, "Could not add quadratic part");
  return ok ? 0 : -1;
}

// e += s * o for o a number, variable, term or expression (not e itself).
static int add_into(PyObject *e, PyObject *o, int k, double s) {
  expression_s *r = E(e);
  switch (k) {
    case KIND_NUM: {
      double v;
      if (num_value(o, &v) < 0) return -1;
      r->constant += s * v;
      return 0;
    }
    case KIND_VAR:
      return expression_addToLinTerm(e, o, s);
    case KIND_LIN:
      return expression_addToLinTerm(e, KRV_OBJ(KRV_LT(o)->var), s * KRV_LT(o)->coef);
    case KIND_QUAD: {
      quadterm_s *q = KRV_QT(o);
      return expression_addToQuadTerm(e, KRV_OBJ(q->var1), KRV_OBJ(q->var2), s * q->coef);
    }
    case KIND_EXPR: {
      expression_s *b = E(o);
      r->constant += s * b->constant;
      if (b->lin && !b->lin->empty()) {
        if (ensure_lin(r, "Could not add linear part") < 0) return -1;
        linmap *m = r->lin;
        b->lin->for_each([&](linmap::Entry &en) { linmap_add_fast(m, en.val.var, s * en.val.coef); });
      }
      return merge_quad(r, b->quad, s);
    }
    default:
      PyErr_SetString(korvu_ModelError, "Invalid object in operation");
      return -1;
  }
}

PyObject *expression_alg_sum(PyObject *a, PyObject *b, int s) {
  int ka = expr_kind(a), kb = expr_kind(b);
  if (ka == KIND_NL || kb == KIND_NL) return s > 0 ? nonlin_alg_sum(a, b, 1.0) : nonlin_sub(a, b);
  if (ka < 0 || kb < 0) return model_error("Invalid object in operation");
  PyRef r;
  if (ka == KIND_EXPR) {
    r = PyRef::steal(expression_copy(a, 1.0));
    if (!r || add_into(r.get(), b, kb, s) < 0) return nullptr;
  } else {
    r = PyRef::steal(expression_copy(b, s));
    if (!r || add_into(r.get(), a, ka, 1.0) < 0) return nullptr;
  }
  return r.release();
}

PyObject *expression_iscale(PyObject *self, double c, bool divide) {
  if (E(self)->shared) {
    PyRef copy = PyRef::steal(expression_copy(self, 1.0));
    return copy ? expression_iscale(copy.get(), c, divide) : nullptr;
  }
  expression_s *e = E(self);
  double f = divide ? 1.0 / c : c;
  e->constant *= f;
  std::vector<var_s *> dead;
  if (e->lin) {
    e->lin->for_each([&](linmap::Entry &en) {
      en.val.coef *= f;
      if (en.val.coef == 0.0) dead.push_back(en.val.var);
    });
    for (var_s *v : dead) linmap_del(e->lin, v);
    dead.clear();
  }
  if (e->quad) {
    std::vector<std::pair<var_s *, var_s *>> qdead;
    e->quad->for_each([&](quadmap::Entry &en) {
      if (!en.val.inner) return;
      en.val.inner->for_each([&](linmap::Entry &w) {
        w.val.coef *= f;
        if (w.val.coef == 0.0) qdead.emplace_back(en.val.var, w.val.var);
      });
    });
    for (auto &p : qdead) quadmap_del(e->quad, p.first, p.second);
  }
  return Py_NewRef(self);
}

PyObject *expression_incremental_alg_sum(PyObject *a, PyObject *b, double s) {
  if (a == Py_None) return expression_copy(b, s);
  int ka = expr_kind(a);
  int kb = expr_kind(b);
  if (ka == KIND_EXPR) {
    if (kb == KIND_NL) return nonlin_alg_sum(a, b, s);
    if (kb < 0) return model_error("Invalid object in operation");
    if (E(a)->shared) {
      PyRef copy = PyRef::steal(expression_copy(a, 1.0));
      return copy ? expression_incremental_alg_sum(copy.get(), b, s) : nullptr;
    }
    if (a == b) {
      // e += e doubles e and e -= e empties it; the maps are read while written otherwise.
      if (1.0 + s != 0.0) return expression_iscale(a, 1.0 + s, false);
      expression_s *e = E(a);
      e->constant = 0.0;
      if (e->lin) e->lin->for_each([](linmap::Entry &en) { Py_DECREF(en.val.var); }), e->lin->clear();
      quadmap_free(&e->quad);
      e->quad = quadmap_new();
      return Py_NewRef(a);
    }
    if (add_into(a, b, kb, s) < 0) return nullptr;
    return Py_NewRef(a);
  }
  if (ka == KIND_NL) return nonlin_incremental_alg_sum(a, b, s);
  if (ka < 0 || kb < 0) {
    getExprType(ka < 0 ? a : b);
    return nullptr;
  }
  if (kb == KIND_NL) return nonlin_incremental_alg_sum(a, b, s);
  if (ka == KIND_NUM) {
    if (kb == KIND_NUM) {
      double x, y;
      if (num_value(a, &x) < 0 || num_value(b, &y) < 0) return nullptr;
      return new_float(x + s * y);
    }
    PyRef r = PyRef::steal(expression_copy(b, s));
    if (!r || add_into(r.get(), a, ka, 1.0) < 0) return nullptr;
    return r.release();
  }
  double v;
  if (isObjectConst(b, nullptr, &v)) {
    PyRef num = PyRef::steal(new_float(s * v));
    if (!num) return nullptr;
    return general_add(a, num.get());
  }
  PyRef r = PyRef::steal(expression_copy(b, s));
  if (!r || add_into(r.get(), a, ka, 1.0) < 0) return nullptr;
  return r.release();
}

// ---- products

static PyObject *nl_product(PyObject *a, PyObject *b) { return nonlin_instantiate_binary(NL_PROD, a, b); }

// (k v) * E for an expression E without quadratic entries.
static PyObject *lin_times_expr(PyObject *v, double k, expression_s *E_) {
  PyRef r = PyRef::steal(expression_base());
  if (!r) return nullptr;
  if (expression_setLinTerm(r.get(), v, k * E_->constant) < 0) return nullptr;
  if (ensure_quad(E(r.get()), "Error multiplying expressions") < 0) return nullptr;
  if (E_->lin) {
    int rc = 0;
    E_->lin->for_each([&](linmap::Entry &en) {
      if (rc == 0) rc = expression_addToQuadTerm(r.get(), v, KRV_OBJ(en.val.var), k * en.val.coef);
    });
    if (rc < 0) return nullptr;
  }
  return r.release();
}

// Product of two expressions without quadratic entries.
static PyObject *expr_times_expr(expression_s *a, expression_s *b) {
  PyRef rr = PyRef::steal(expression_base());
  if (!rr) return nullptr;
  expression_s *r = E(rr.get());
  r->constant = a->constant * b->constant;
  size_t na = lin_size(a), nb = lin_size(b);
  if ((b->constant != 0.0 && na) || (a->constant != 0.0 && nb)) {
    if (ensure_lin(r, "Cannot create linear term for expression") < 0) return nullptr;
    linmap *m = r->lin;
    // The larger map first: its entries arrive in order and append.
    expression_s *big = na >= nb ? a : b, *small = na >= nb ? b : a;
    if (big->lin) big->lin->for_each([&](linmap::Entry &en) { linmap_add_fast(m, en.val.var, small->constant * en.val.coef); });
    if (small->lin) small->lin->for_each([&](linmap::Entry &en) { linmap_add_fast(m, en.val.var, big->constant * en.val.coef); });
  }
  if (na && nb) {
    if (ensure_quad(r, "Cannot create quadratic term in expression") < 0) return nullptr;
    quadmap *q = r->quad;
    // Pass 1: pairs u*w with id(w) >= id(u), built in ascending order.  A square
    // meets each mixed pair twice, so it enters 2*p*q at once and skips pass 2.
    bool ok = true;
    bool square = a->lin == b->lin;
    a->lin->for_each([&](linmap::Entry &u) {
      if (!ok) return;
      linmap *inner = nullptr;
      b->lin->for_each([&](linmap::Entry &w) {
        if (w.key < u.key || !ok) return;
        double c = u.val.coef * w.val.coef * (square && w.key != u.key ? 2.0 : 1.0);
        if (c == 0.0) return;
        if (!inner && !(inner = linmap_new())) {
          ok = false;
          return;
        }
        inner->insert(w.key, LinEntry{w.val.var, c});
        Py_INCREF(w.val.var);
      });
      if (inner) {
        q->insert(u.key, QuadEntry{u.val.var, inner});
        Py_INCREF(u.val.var);
      }
    });
    // Pass 2: pairs w*u with id(u) > id(w), stored under w.
    if (!square) b->lin->for_each([&](linmap::Entry &w) {
      if (!ok) return;
      a->lin->for_each([&](linmap::Entry &u) {
        if (u.key <= w.key || !ok) return;
        if (quadmap_add(q, w.val.var, u.val.var, u.val.coef * w.val.coef) < 0) ok = false;
      });
    });
    if (!ok) return model_error("Cannot create quadratic term in expression");
  }
  return rr.release();
}

PyObject *expression_mul(PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(OP_MUL, a, b, false);
  int ka = expr_kind(a), kb = expr_kind(b);
  if (ka < 0 || kb < 0) return model_error("Invalid object in operation");
  double v;
  if (ka == KIND_NUM) {
    if (num_value(a, &v) < 0) return nullptr;
    return expression_copy(b, v);
  }
  if (kb == KIND_NUM) {
    if (num_value(b, &v) < 0) return nullptr;
    return expression_copy(a, v);
  }
  if (ka == KIND_EXPR && isObjectConst(a, nullptr, &v)) return general_copy(b, v);
  if (kb == KIND_EXPR && isObjectConst(b, nullptr, &v)) return general_copy(a, v);
  if (ka == KIND_NL || kb == KIND_NL) return nonlin_mul(a, b);
  if ((ka == KIND_VAR || ka == KIND_LIN) && kb == KIND_EXPR) {
    if (quad_size(E(b))) return nl_product(a, b);
    return ka == KIND_VAR ? lin_times_expr(a, 1.0, E(b))
                          : lin_times_expr(KRV_OBJ(KRV_LT(a)->var), KRV_LT(a)->coef, E(b));
  }
  if ((kb == KIND_VAR || kb == KIND_LIN) && ka == KIND_EXPR) {
    if (quad_size(E(a))) return nl_product(a, b);
    return kb == KIND_VAR ? lin_times_expr(b, 1.0, E(a))
                          : lin_times_expr(KRV_OBJ(KRV_LT(b)->var), KRV_LT(b)->coef, E(a));
  }
  if (ka == KIND_EXPR && kb == KIND_EXPR) {
    expression_s *x = E(a), *y = E(b);
    size_t qx = quad_size(x), qy = quad_size(y);
    if (!qx && !qy) return expr_times_expr(x, y);
    if (qx && !lin_size(y) && !qy) return expression_copy(a, y->constant);
    if (qy && !lin_size(x) && !qx) return expression_copy(b, x->constant);
  }
  return nl_product(a, b);
}

// ---- text form

static void fmt_g(std::string *s, const char *fmt, double v) {
  char buf[64];
  int n = snprintf(buf, sizeof buf, fmt, v);
  s->append(buf, static_cast<size_t>(n));
}

int expression_str_utf8(PyObject *self, std::string *out) {
  expression_s *e = E(self);
  // The entries are copied out first: printing a name may run user code that
  // edits this expression.
  struct Item {
    PyRef u, w;  // w null for a linear entry
    double c;
  };
  std::vector<Item> items;
  items.reserve(lin_size(e) + quad_size(e));
  if (e->lin)
    e->lin->for_each([&](linmap::Entry &en) { items.push_back({PyRef::borrow(KRV_OBJ(en.val.var)), PyRef(), en.val.coef}); });
  if (e->quad)
    e->quad->for_each([&](quadmap::Entry &u) {
      if (u.val.inner)
        u.val.inner->for_each([&](linmap::Entry &w) {
          items.push_back({PyRef::borrow(KRV_OBJ(u.val.var)), PyRef::borrow(KRV_OBJ(w.val.var)), w.val.coef});
        });
    });
  bool first = true;
  if (e->constant != 0.0 || items.empty()) {
    fmt_g(out, "%g", e->constant);
    first = false;
  }
  for (Item &it : items) {
    if (it.c == 1.0) {
      *out += first ? "  " : " + ";
    } else if (it.c == -1.0) {
      *out += " - ";
    } else {
      fmt_g(out, first ? " %g " : " %+g ", it.c);
    }
    first = false;
    if (var_name_utf8(it.u.get(), out) < 0) return -1;
    if (!it.w) continue;
    if (var_id(it.u.get()) == var_id(it.w.get())) {
      *out += "**2";
    } else {
      *out += '*';
      if (var_name_utf8(it.w.get(), out) < 0) return -1;
    }
  }
  return 0;
}

static PyObject *expression_str(PyObject *self) {
  std::string s;
  if (expression_str_utf8(self, &s) < 0) return nullptr;
  return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace");
}

// ---- extraction

PyObject *linmap_to_lists(linmap *m) {
  Py_ssize_t n = static_cast<Py_ssize_t>(linmap_size(m));
  PyRef vars = PyRef::steal(PyList_New(n));
  PyRef coefs = PyRef::steal(PyList_New(n));
  if (!vars || !coefs) return nullptr;
  Py_ssize_t i = 0;
  bool ok = true;
  if (m)
    m->for_each([&](linmap::Entry &en) {
      PyObject *c = PyFloat_FromDouble(en.val.coef);
      if (!c) ok = false;
      PyList_SET_ITEM(vars.get(), i, Py_NewRef(KRV_OBJ(en.val.var)));
      PyList_SET_ITEM(coefs.get(), i, c ? c : Py_NewRef(Py_None));
      ++i;
    });
  if (!ok) return nullptr;
  return PyTuple_Pack(2, vars.get(), coefs.get());
}

PyObject *quadmap_to_lists(quadmap *m) {
  Py_ssize_t n = static_cast<Py_ssize_t>(quadmap_size(m));
  PyRef v1 = PyRef::steal(PyList_New(n));
  PyRef v2 = PyRef::steal(PyList_New(n));
  PyRef coefs = PyRef::steal(PyList_New(n));
  if (!v1 || !v2 || !coefs) return nullptr;
  Py_ssize_t i = 0;
  bool ok = true;
  if (m)
    m->for_each([&](quadmap::Entry &u) {
      if (!u.val.inner) return;
      u.val.inner->for_each([&](linmap::Entry &w) {
        PyObject *c = PyFloat_FromDouble(w.val.coef);
        if (!c) ok = false;
        PyList_SET_ITEM(v1.get(), i, Py_NewRef(KRV_OBJ(u.val.var)));
        PyList_SET_ITEM(v2.get(), i, Py_NewRef(KRV_OBJ(w.val.var)));
        PyList_SET_ITEM(coefs.get(), i, c ? c : Py_NewRef(Py_None));
        ++i;
      });
    });
  if (!ok) return nullptr;
  return PyTuple_Pack(3, v1.get(), v2.get(), coefs.get());
}

PyObject *model_extract_linear(PyObject *obj) {
  if (is_expression(obj)) return linmap_to_lists(E(obj)->lin);
  linmap *m = linmap_new();
  if (!m) return PyErr_NoMemory();
  PyObject *r = nullptr;
  if (nonlin_extract_linear(obj, 1.0, 64, m) == 0) r = linmap_to_lists(m);
  linmap_free(&m);
  return r;
}

PyObject *model_extract_quadratic(PyObject *obj) {
  if (is_expression(obj)) return quadmap_to_lists(E(obj)->quad);
  quadmap *m = quadmap_new();
  if (!m) return PyErr_NoMemory();
  PyObject *r = nullptr;
  if (nonlin_extract_quadratic(obj, 1.0, 64, m) == 0) r = quadmap_to_lists(m);
  quadmap_free(&m);
  return r;
}

// ---- type

PyDoc_STRVAR(expression_doc,
             "korvu.expression\n\n"
             "Purpose:\n  A linear or quadratic function of variables: a constant, a linear part and a "
             "quadratic part.\n\n"
             "Synopsis:\n  e = 3 + 2 * x - y + 4 * x * y\n\n"
             "Further information:\n  Expressions come out of arithmetic on variables and terms and "
             "cannot be\n  created directly.  e += t and e -= t add into e itself, which is the fast "
             "way\n  to build long sums; e + t makes a new expression.\n\n"
             "Related topics:\n  var, linterm, quadterm, constraint\n");

PyTypeObject korvu_expressionType = {
    PyVarObject_HEAD_INIT(nullptr, 0) "korvu.expression",
    sizeof(expression_s),
};

// The type's own allocation slots match expression_base's heap, should anything
// allocate or free an expression through them.
static PyObject *expression_alloc(PyTypeObject *type, Py_ssize_t) {
  void *mem = g_expr_slabs.alloc();
  if (!mem) return PyErr_NoMemory();
  std::memset(mem, 0, sizeof(expression_s));
  return PyObject_Init(reinterpret_cast<PyObject *>(mem), type);
}

int expression_ready_type(void) {
  PyTypeObject *t = &korvu_expressionType;
  t->tp_alloc = expression_alloc;
  t->tp_free = expression_release;
  t->tp_dealloc = expression_dealloc;
  t->tp_repr = expression_str;
  t->tp_str = expression_str;
  t->tp_as_number = &korvu_expression_number_methods;
  t->tp_flags = Py_TPFLAGS_DEFAULT;
  t->tp_doc = expression_doc;
  t->tp_richcompare = model_richcompare;
  t->tp_methods = korvu_term_methods;
  return PyType_Ready(t);
}
