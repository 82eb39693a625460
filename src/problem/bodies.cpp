// Constraint bodies kept in the library rows (see problem/bodies.h).
//
// A model of a million rows would otherwise hold every row twice: once as the
// Python expressions of its constraints and once in the library.  Only a body
// the row gives back exactly is given up: a linear expression without
// constant whose coefficients all pass the library's matrix tolerance (the
// library drops smaller ones), held by nobody but its constraint.  Rows and
// columns are found by list position, which is the library index unless a
// nonlinear objective's auxiliary row and column are in the library: no body
// is given up then (those given up before lie below the pair).
#include "problem/bodies.h"

#include <algorithm>
#include <cmath>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "model/algebra.h"
#include "model/constraint.h"
#include "model/maps.h"
#include "module/module.h"

using korvu::PyRef;

namespace {

constraint_s *C(PyObject *o) { return reinterpret_cast<constraint_s *>(o); }
problem_s *P(PyObject *o) { return reinterpret_cast<problem_s *>(o); }

// The library's matrix tolerance; 0 when it cannot be read (then no body is
// given up, see droppable).
double matrix_tolerance(problem_s *p) {
  static int id = -1;
  if (id < 0) {
    int type = 0;
    if (KRVUgetcontrolinfo(p->prob, "matrixtol", &id, &type) != 0) id = -1;
    if (id < 0) return -1.0;
  }
  double tol = -1.0;
  if (KRVUgetdblcontrol(p->prob, id, &tol) != 0) return -1.0;
  return tol;
}

bool droppable(const constraint_s *c, double tol) {
  PyObject *b = con_held_body(c);
  if (!b || Py_TYPE(b) != &korvu_expressionType || Py_REFCNT(b) != 1) return false;
  expression_s *e = KRV_EXPR(b);
  // A folded body's constant is in the bounds: the row is the body.
  if ((e->constant != 0.0 && !con_body_folded(c)) || (e->quad && quadmap_size(e->quad) > 0) || !e->lin || e->lin->empty())
    return false;
  bool exact = true;
  e->lin->for_each([&](const auto &en) {
    if (!(std::fabs(en.val.coef) > tol)) exact = false;
  });
  return exact;
}

// The body of a row from its library coefficients.
PyObject *body_from_row(problem_s *home, const int *cols, const double *vals, int64_t n, bool shared) {
  PyRef e = PyRef::steal(expression_base());
  if (!e) return nullptr;
  expression_s *x = KRV_EXPR(e.get());
  x->lin = linmap_new();
  if (!x->lin) return PyErr_NoMemory();
  Py_ssize_t ncols = PyList_GET_SIZE(home->vars);
  for (int64_t k = 0; k < n; ++k) {
    if (cols[k] < 0 || cols[k] >= ncols) {
      PyErr_SetString(korvu_ModelError, "The constraint's row names a column the problem has no variable for");
      return nullptr;
    }
    var_s *v = KRV_VAR(PyList_GET_ITEM(home->vars, cols[k]));
    int64_t at = -1;
    if (rowcolmap_get(home->varmap, var_id(v), &at) != 0 || at != cols[k]) {
      PyErr_SetString(korvu_ModelError, "The constraint's row and the problem's variables disagree");
      return nullptr;
    }
    if (x->lin->insert(var_id(v), LinEntry{v, vals[k]}).second) Py_INCREF(v);
  }
  x->shared = shared;
  return e.release();
}

// Hands body (a new reference) to c, whose body was in home's library.
void take_back(problem_s *home, constraint_s *c, PyObject *body) {
  c->body = body;
  --home->library_bodies;
}

bool shared_tag(const constraint_s *c) {
  return reinterpret_cast<uintptr_t>(c->body) & CON_BODY_SHARED;
}

// Reads back the bodies of the constraints at list positions rows (sorted)
// whose rows are in p's library; `all` false skips those held by nobody but
// the list.
int keep_rows(problem_s *p, const std::vector<int> &rows, bool all) {
  PyObject *list = p->constraints;
  if (!list || !p->prob) return 0;
  std::vector<int64_t> start;
  std::vector<int> cols;
  std::vector<double> vals;
  Py_ssize_t n = PyList_GET_SIZE(list);
  // Rows are read in runs of consecutive positions, a bounded number at a time.
  constexpr size_t kRun = 4096;
  for (size_t a = 0; a < rows.size();) {
    size_t b = a + 1;
    while (b < rows.size() && b - a < kRun && rows[b] == rows[b - 1] + 1) ++b;
    int first = rows[a], last = rows[b - 1];
    bool wanted = false;
    for (int r = first; r <= last && !wanted; ++r) {
      if (r < 0 || r >= n) continue;
      constraint_s *c = C(PyList_GET_ITEM(list, r));
      wanted = con_body_in_library(c) && P(con_body_home(c)) == p && (all || Py_REFCNT(c) > 1);
    }
    if (wanted) {
      int64_t nz = 0;
      if (KRVUgetrows64(p->prob, nullptr, nullptr, nullptr, 0, &nz, first, last) != 0) {
        setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
        return -1;
      }
      start.resize(static_cast<size_t>(last - first) + 2);
      cols.resize(static_cast<size_t>(std::max<int64_t>(nz, 1)));
      vals.resize(cols.size());
      if (KRVUgetrows64(p->prob, start.data(), cols.data(), vals.data(), nz, &nz, first, last) != 0) {
        setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
        return -1;
      }
      for (int r = first; r <= last; ++r) {
        constraint_s *c = C(PyList_GET_ITEM(list, r));
        if (!con_body_in_library(c) || P(con_body_home(c)) != p || !(all || Py_REFCNT(c) > 1)) continue;
        int64_t s = start[r - first], e = start[r - first + 1];
        PyObject *body = body_from_row(p, cols.data() + s, vals.data() + s, e - s, shared_tag(c));
        if (!body) return -1;
        take_back(p, c, body);
      }
    }
    a = b;
  }
  return 0;
}

int keep_all(problem_s *p, bool all) {
  if (!p->constraints || !p->library_bodies) return 0;
  std::vector<int> rows(static_cast<size_t>(PyList_GET_SIZE(p->constraints)));
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
  return keep_rows(p, rows, all);
}

}  // namespace

// Bodies given up in one call above which freed memory is handed back.
constexpr Py_ssize_t kTrimAfter = 100000;

void problem_drop_bodies(problem_s *p, Py_ssize_t first) {
  if (p->is_view || p->obj_row >= 0 || p->obj_col >= 0 || !p->constraints) return;
  Py_ssize_t n = PyList_GET_SIZE(p->constraints);
  if (first >= n) return;
  double tol = matrix_tolerance(p);
  if (tol < 0) return;
  Py_ssize_t dropped = 0;
  for (Py_ssize_t i = first; i < n; ++i) {
    constraint_s *c = C(PyList_GET_ITEM(p->constraints, i));
    if (!droppable(c, tol)) continue;
    PyObject *body = con_held_body(c);
    // A folded body reads back as the copy it stands for, which nobody shares.
    bool shared = KRV_EXPR(body)->shared && !con_body_folded(c);
    uintptr_t tags = CON_BODY_IN_LIBRARY | (shared ? CON_BODY_SHARED : 0);
    c->body = reinterpret_cast<PyObject *>(reinterpret_cast<uintptr_t>(p) | tags);
    ++p->library_bodies;
    ++dropped;
    Py_DECREF(body);
  }
#if defined(__GLIBC__)
  // The coefficient maps of many bodies were freed in the middle of the heap,
  // where the allocator keeps them; the solve's large blocks cannot use them,
  // so whole free pages go back to the system now.
  if (dropped >= kTrimAfter) malloc_trim(0);
#endif
}

int problem_keep_bodies(problem_s *p) {
  if (!p->is_view) return keep_all(p, true);
  // A view's rows are the registering problem's: give back whatever its
  // lists' constraints have in a library, each from its own problem.
  PyObject *list = p->constraints;
  if (!list) return 0;
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
    constraint_s *c = C(PyList_GET_ITEM(list, i));
    if (con_body_in_library(c) && !constraint_body(c)) return -1;
  }
  return 0;
}

int problem_keep_changed_rows(problem_s *p, const int *rows, int64_t n) {
  if (p->is_view) return problem_keep_bodies(p);
  const int64_t have = p->constraints ? PyList_GET_SIZE(p->constraints) : 0;
  std::vector<int> keep;
  for (int64_t k = 0; rows && k < n; ++k)
    if (rows[k] >= 0 && rows[k] < have) keep.push_back(rows[k]);
  return keep.empty() ? 0 : problem_keep_row_bodies(p, keep);
}

int problem_keep_row_bodies(problem_s *p, const std::vector<int> &rows) {
  if (!p->library_bodies) return 0;
  std::vector<int> sorted(rows);
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  return keep_rows(p, sorted, true);
}

int problem_keep_column_bodies(problem_s *p, const std::vector<int> &cols) {
  if (!p->library_bodies || !p->prob) return 0;
  int ncols = 0;
  if (KRVUgetintattrib(p->prob, KRVU_ATTR_ORIGINALCOLS, &ncols) != 0) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  std::vector<int> rows, ind;
  for (int j : cols) {
    if (j < 0 || j >= ncols) continue;  // the library refuses the deletion itself
    int64_t nz = 0;
    if (KRVUgetcols64(p->prob, nullptr, nullptr, nullptr, 0, &nz, j, j) != 0) {
      setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
      return -1;
    }
    if (nz == 0) continue;
    ind.resize(static_cast<size_t>(nz));
    int64_t start[2];
    if (KRVUgetcols64(p->prob, start, ind.data(), nullptr, nz, &nz, j, j) != 0) {
      setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
      return -1;
    }
    rows.insert(rows.end(), ind.begin(), ind.begin() + nz);
  }
  return problem_keep_row_bodies(p, rows);
}

void problem_release_bodies(problem_s *p) {
  if (!p->library_bodies || !p->prob) return;
  if (keep_all(p, false) < 0) PyErr_WriteUnraisable(nullptr);
}

// A constraint whose body is in a library goes with its problem's list, or is
// given a new body: the problem no longer counts it.
void constraint_forget_home(constraint_s *c) {
  if (!con_body_in_library(c)) return;
  --P(con_body_home(c))->library_bodies;
  c->body = nullptr;
}

PyObject *constraint_body(constraint_s *c) {
  if (con_body_folded(c)) {
    // The shared expression without its constant, held from now on.
    PyObject *shared = con_held_body(c);
    PyObject *copy = expression_copy(shared, 1.0);
    if (!copy) return nullptr;
    KRV_EXPR(copy)->constant = 0.0;
    c->body = copy;
    Py_DECREF(shared);
    return copy;
  }
  if (!con_body_in_library(c)) return c->body;
  problem_s *home = P(con_body_home(c));
  // The run owns the library: its rows cannot be read from another thread.
  if (home->busy && home->busy_thread != PyThread_get_thread_ident() && korvu_callback_problem != home) {
    PyErr_SetString(korvu_InterfaceError,
                    "The constraint's body is kept in a problem that is being solved, tuned, read or "
                    "written in another thread; it can be read when that returns");
    return nullptr;
  }
  int64_t row = -1;
  if (rowcolmap_get(home->rowmap, c->info & CON_ID_MASK, &row) != 0) {
    PyErr_SetString(korvu_ModelError, "The constraint's row is no longer in its problem");
    return nullptr;
  }
  std::vector<int> one{static_cast<int>(row)};
  if (keep_rows(home, one, true) < 0) return nullptr;
  if (con_body_in_library(c)) {
    PyErr_SetString(korvu_ModelError, "The constraint's row and its place in the problem disagree");
    return nullptr;
  }
  return c->body;
}
