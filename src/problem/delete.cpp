// delVariable, delConstraint and delSOS of korvu.problem: deletion in the
// library and renumbering of the problem's lists and maps.
#include <algorithm>
#include <vector>

#include "binding/convert.h"
#include "model/algebra.h"
#include "model/constraint.h"
#include "model/maps.h"
#include "module/module.h"
#include "problem/bodies.h"
#include "problem/methods.h"

using korvu::PyRef;

namespace {

enum { KIND_VARS = 0, KIND_ROWS = 1, KIND_SETS = 2 };

struct kind_info {
  const char *noun;
  int code;
  PyTypeObject *type;
  int (*remove)(KRVUprob, int, const int *);
};

const kind_info kinds[3] = {
    {"variable", CONV_COL, &korvu_varType, KRVUdelcols},
    {"constraint", CONV_ROW, &korvu_constraintType, KRVUdelrows},
    {"SOS", CONV_SET, &korvu_sosType, KRVUdelsets},
};

PyObject **list_of(problem_s *p, int kind) {
  return kind == KIND_VARS ? &p->vars : kind == KIND_ROWS ? &p->constraints : &p->sos;
}

rowcolmap *map_of(problem_s *p, int kind) {
  return kind == KIND_VARS ? p->varmap : kind == KIND_ROWS ? p->rowmap : p->sosmap;
}

uint64_t key_of(PyObject *o, int kind) {
  if (kind == KIND_VARS) return var_id(o);
  if (kind == KIND_ROWS) return reinterpret_cast<constraint_s *>(o)->info & CON_ID_MASK;
  return static_cast<uint64_t>(reinterpret_cast<sos_s *>(o)->id);
}

bool is_model_object(PyObject *o) {
  PyTypeObject *t = Py_TYPE(o);
  return t == &korvu_varType || t == &korvu_constraintType || t == &korvu_sosType;
}

int refuse(const char *message) {
  PyErr_SetString(korvu_ModelError, message);
  return -1;
}

// The library indices addressed by the arguments.  0 or -1 with an exception.
int deletion_indices(problem_s *p, int kind, PyObject *index, Py_ssize_t first, Py_ssize_t last,
                     std::vector<int> &out) {
  int code = kinds[kind].code;
  if (first < 0 && last < 0) {
    if (!index || index == Py_None) return refuse("At least one parameter must be specified");
    int64_t value = 0;
    int failed = 0;
    // A name is one name, not a sequence of one-letter names.
    if (conv_int_value(index, &value, &failed) || is_model_object(index) ||
        PyUnicode_Check(index) || PyBytes_Check(index)) {
      int i = 0;
      if (ObjInt2int(index, p, &i, code) < 0) return -1;
      out.push_back(i);
      return 0;
    }
    int64_t count = -1;
    korvu::KoArray<int> array;
    if (conv_obj2arr(p, &count, index, array.addr(), code) < 0) return -1;
    out.assign(array.get(), array.get() + (count > 0 ? count : 0));
    return 0;
  }
  if (index && index != Py_None)
    return refuse(
        "Parameters 'first' and 'last' cannot be specified if 'index' is also specified");
  if (first < 0 || last < 0)
    return refuse("Parameters 'first' and 'last' must be both nonnegative when specified");
  PyObject *list = *list_of(p, kind);
  if (first >= PyList_GET_SIZE(list) || last >= PyList_GET_SIZE(list))
    return refuse("Parameters 'first' or 'last' are out of range");
  if (last < first) return refuse("Parameter 'first' must be less than, or equal to, 'last'");
  for (Py_ssize_t pos = first; pos <= last; ++pos) {
    int64_t i = 0;
    if (rowcolmap_get(map_of(p, kind), key_of(PyList_GET_ITEM(list, pos), kind), &i) != 0)
      return refuse("Index out of bounds");
    out.push_back(static_cast<int>(i));
  }
  return 0;
}

// Removes the deleted positions from the list and renumbers the map.  The
// library has already deleted them, so this step must not stop half-way
// unless memory runs out.
int renumber(problem_s *p, int kind, std::vector<int> indices) {
  std::sort(indices.begin(), indices.end());
  // The library takes repeated indices; each position is deleted once.
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  PyObject **slot = list_of(p, kind);
  PyObject *old = *slot;
  Py_ssize_t n = PyList_GET_SIZE(old);
  PyRef kept = PyRef::steal(PyList_New(0));
  if (!kept) return -1;
  rowcolmap *map = map_of(p, kind);
  int failed = 0;
  size_t d = 0;
  for (Py_ssize_t pos = 0; pos < n; ++pos) {
    PyObject *o = PyList_GET_ITEM(old, pos);
    uint64_t key = key_of(o, kind);
    if (d < indices.size() && indices[d] == pos) {
      ++d;
      if (rowcolmap_del(map, key) != 0) failed = 1;
      continue;
    }
    // d is the number of deleted positions below pos.
    if (rowcolmap_set(map, key, pos - static_cast<Py_ssize_t>(d)) != 0) failed = 1;
    if (PyList_Append(kept.get(), o) < 0) return -1;
  }
  *slot = kept.release();
  Py_DECREF(old);
  if (failed) {
    PyErr_SetString(korvu_ModelError, "Cannot delete item from problem");
    return -1;
  }
  return 0;
}

// The library renumbers the nonlinear coefficients itself; the problem's own
// indices of the objective's auxiliary pair and its count of nonlinear rows
// follow the same deletion.  `deleted` is sorted.
int after_nonlinear_delete(problem_s *p, int kind, const std::vector<int> &deleted) {
  if (!p->slpprob || kind == KIND_SETS) return 0;
  auto shift = [&](int32_t *index) {
    if (*index < 0) return;
    auto at = std::lower_bound(deleted.begin(), deleted.end(), *index);
    if (at != deleted.end() && *at == *index) *index = -1;
    else *index -= static_cast<int32_t>(at - deleted.begin());
  };
  shift(kind == KIND_VARS ? &p->obj_col : &p->obj_row);
  if (p->obj_col < 0 || p->obj_row < 0) p->nonlin_obj = 0;
  if (kind != KIND_ROWS || !p->nonlin_rows) return 0;
  int n = 0;
  if (KSLPgetcoefs(p->slpprob, &n, nullptr, nullptr) != 0) return -1;
  std::vector<int> rows(static_cast<size_t>(n)), cols(static_cast<size_t>(n));
  if (n > 0 && KSLPgetcoefs(p->slpprob, &n, rows.data(), cols.data()) != 0) return -1;
  // Quadratic rows are the nonlinear solver's too: a problem left with only
  // those must not go back to the LP engine, which refuses them.
  int nq = 0;
  if (KRVUgetqrows(p->prob, &nq, nullptr) != 0) return -1;
  if (nq > 0) {
    std::vector<int> qrows(static_cast<size_t>(nq));
    if (KRVUgetqrows(p->prob, &nq, qrows.data()) != 0) return -1;
    rows.insert(rows.end(), qrows.begin(), qrows.begin() + nq);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  p->nonlin_rows = static_cast<int32_t>(rows.size()) -
                   (p->obj_row >= 0 && std::binary_search(rows.begin(), rows.end(), p->obj_row) ? 1 : 0);
  return 0;
}

PyObject *del_objects(PyObject *self, PyObject *args, PyObject *kwargs, int kind) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  static const char *kwlist[] = {"index", "first", "last", nullptr};
  PyObject *index = nullptr;
  Py_ssize_t first = -1, last = -1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|Onn", const_cast<char **>(kwlist), &index,
                                   &first, &last))
    return nullptr;
  if (!p->prob || !*list_of(p, kind)) {
    PyErr_SetString(korvu_ModelError, "The problem is not initialised");
    return nullptr;
  }
  std::vector<int> indices;
  if (deletion_indices(p, kind, index, first, last, indices) < 0)
    return setKrvuErrIfNull(self, nullptr);
  // Constraints whose bodies the deleted rows (or rows losing a column) stand
  // for take them back first.
  if ((kind == KIND_ROWS ? problem_keep_row_bodies(p, indices)
                         : kind == KIND_VARS ? problem_keep_column_bodies(p, indices) : 0) < 0)
    return setKrvuErrIfNull(self, nullptr);
  // The library checks every index before it deletes anything; a refusal
  // leaves the lists and maps as they were.
  if (kinds[kind].remove(p->prob, static_cast<int>(indices.size()), indices.data()) != 0)
    return setKrvuErrIfNull(self, nullptr);
  if (indices.empty()) Py_RETURN_NONE;
  std::vector<int> deleted = indices;
  std::sort(deleted.begin(), deleted.end());
  deleted.erase(std::unique(deleted.begin(), deleted.end()), deleted.end());
  if (after_nonlinear_delete(p, kind, deleted) < 0) return setKrvuErrIfNull(self, nullptr);
  if (renumber(p, kind, indices) < 0) return setKrvuErrIfNull(self, nullptr);
  Py_RETURN_NONE;
}

}  // namespace

PyObject *problem_delVariable(PyObject *self, PyObject *args, PyObject *kwargs) {
  return del_objects(self, args, kwargs, KIND_VARS);
}
PyObject *problem_delConstraint(PyObject *self, PyObject *args, PyObject *kwargs) {
  return del_objects(self, args, kwargs, KIND_ROWS);
}
PyObject *problem_delSOS(PyObject *self, PyObject *args, PyObject *kwargs) {
  return del_objects(self, args, kwargs, KIND_SETS);
}

#define DEL_DOC(method, what, many, example)                                                 \
  method "($self, index=None, first=-1, last=-1)\n--\n\n"                                           \
         "Purpose:\n  Deletes " many " from the problem.\n\n"                                \
         "Synopsis:\n  p." method "(index)\n  p." method "(first=f, last=l)\n\n"             \
         "Arguments:\n"                                                                      \
         "  index: a " what ", a position or a name, or a sequence of them.\n"               \
         "  first, last: a range of positions, both included.\n\n"                           \
         "Example:\n  " example "\n\n"                                                       \
         "Further information:\n"                                                            \
         "  The remaining " many " keep their order and are renumbered: positions\n"        \
         "  after a deleted one move down.  Deleted objects no longer address the\n"         \
         "  problem.\n\n"                                                                    \
         "Related topics:\n  getIndex, getVariable, getConstraint, getSOS\n"

extern const char delVariable_doc[] =
    DEL_DOC("delVariable", "variable", "variables", "p.delVariable([x[1], x[3]])");
extern const char delConstraint_doc[] =
    DEL_DOC("delConstraint", "constraint", "constraints", "p.delConstraint(first=0, last=2)");
extern const char delSOS_doc[] = DEL_DOC("delSOS", "set", "sets", "p.delSOS(s1)");
