// The one dispatch function of the library-method wrappers, their argument
// parsing, and the help texts made from the rows.
#include "binding/wrap.h"
#include "callbacks/callbacks.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "module/module.h"
#include "problem/bodies.h"
#include "problem/registration.h"

using korvu::PyRef;

namespace korvu {
namespace wrap {

size_t elem_width(int code) {
  switch (code) {
    case CONV_INT64: case CONV_DOUBLE: case CONV_STRING: case CONV_POOLCUT: case CONV_OBJECT:
      return 8;
    case CONV_CHAR: case CONV_BYTE:
      return 1;
    default:
      return 4;
  }
}

Ctx::~Ctx() {
  for (int i = 0; i < kMaxArgs; ++i) {
    if (arr[i] && row && i < row->nargs && row->args[i].code == CONV_STRING) {
      char **s = static_cast<char **>(arr[i]);
      for (int64_t k = 0; k < len[i]; ++k) {
        void *e = s[k];
        ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap, &e);
      }
    }
    ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap, &arr[i]);
    Py_XDECREF(tmp[i]);
  }
}

void *Ctx::alloc(int i, int64_t n, size_t width) {
  ko_MemoryAllocator_Free_Untyped(ko_MemoryAllocator_DefaultHeap, &arr[i]);
  len[i] = n;
  if (n <= 0) return nullptr;
  if (ko_MemoryAllocator_Alloc_Untyped(ko_MemoryAllocator_DefaultHeap, static_cast<size_t>(n) * width,
                                       &arr[i]) != 0) {
    PyErr_NoMemory();
    return nullptr;
  }
  std::memset(arr[i], 0, static_cast<size_t>(n) * width);
  return arr[i];
}

bool Ctx::attr(int id, int64_t *value) { return KRVUgetintattrib64(prob, id, value) == 0; }

int64_t attr_or_fail(Ctx &c, int id) {
  int64_t v = 0;
  if (!c.attr(id, &v)) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(c.p), nullptr);
    return -1;
  }
  return v;
}

namespace {

bool absent(PyObject *o) { return !o || o == Py_None; }

// Positional and keyword arguments onto the row's argument slots, with the
// interpreter's own messages for what does not fit.
int parse(const Row &row, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames, Ctx &c) {
  if (nargs > row.nargs) {
    PyErr_Format(PyExc_TypeError, "%s() takes at most %d argument%s (%zd given)", row.name, row.nargs,
                 row.nargs == 1 ? "" : "s", nargs);
    return -1;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) c.obj[i] = args[i];
  Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject *key = PyTuple_GET_ITEM(kwnames, k);
    int j = 0;
    while (j < row.nargs && PyUnicode_CompareWithASCIIString(key, row.args[j].name) != 0) ++j;
    if (j == row.nargs) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", row.name, key);
      return -1;
    }
    if (c.obj[j]) {
      PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%d)", row.name,
                   row.args[j].name, j + 1);
      return -1;
    }
    c.obj[j] = args[nargs + k];
  }
  for (int j = 0; j < row.nargs; ++j)
    if (!c.obj[j] && !(row.args[j].flags & kOptional)) {
      PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %d)", row.name,
                   row.args[j].name, j + 1);
      return -1;
    }
  return 0;
}

}  // namespace

int convert_value(const Row &row, Ctx &c, int i) {
  const Arg &a = row.args[i];
  PyObject *o = c.obj[i];
  switch (a.kind) {
    case kInt:
    case kLong: {
      if (!o) {
        c.ival[i] = static_cast<int64_t>(a.dflt);
        return 0;
      }
      int overflow = 0;
      long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
      if (v == -1 && PyErr_Occurred()) return -1;
      if (overflow || (a.kind == kInt && (v < INT_MIN || v > INT_MAX))) {
        PyErr_Format(PyExc_OverflowError, "%s(): argument '%s' is out of range", row.name, a.name);
        return -1;
      }
      c.ival[i] = v;
      return 0;
    }
    case kDouble: {
      if (!o) {
        c.dval[i] = a.dflt;
        return 0;
      }
      double v = PyFloat_AsDouble(o);
      if (v == -1.0 && PyErr_Occurred()) return -1;
      c.dval[i] = v;
      return 0;
    }
    case kChar: {
      if (!o) {
        c.ival[i] = static_cast<int64_t>(a.dflt);
        return 0;
      }
      if (!PyUnicode_Check(o) || PyUnicode_GET_LENGTH(o) != 1 || PyUnicode_READ_CHAR(o, 0) > 127) {
        PyErr_Format(PyExc_TypeError, "%s(): argument '%s' must be a string of one ASCII character, not %R",
                     row.name, a.name, o);
        return -1;
      }
      c.ival[i] = static_cast<int64_t>(PyUnicode_READ_CHAR(o, 0));
      return 0;
    }
    case kText: {
      if (absent(o)) {
        c.text[i] = (a.flags & kNoneIsUnset) ? nullptr : "";
        return 0;
      }
      const char *t = pyStrToStr(o, nullptr, &c.tmp[i]);
      if (!t) {
        if (!PyErr_Occurred())
          PyErr_Format(PyExc_TypeError, "%s(): argument '%s' must be a string, not %R", row.name, a.name, o);
        return -1;
      }
      c.text[i] = t;
      return 0;
    }
    case kIndex: {
      if (absent(o)) {
        if (a.flags & kZeroIfNone) {
          c.ival[i] = 0;
          return 0;
        }
        if (a.flags & (kNoneIsUnset | kFirst | kLast)) {
          c.ival[i] = -1;
          return 0;
        }
      }
      int idx = 0;
      if (ObjInt2int(o, c.p, &idx, a.code) != 0) return -1;
      c.ival[i] = idx;
      return 0;
    }
    default:
      return 0;
  }
}

namespace {

int64_t out_size(const Row &row, Ctx &c, const Arg &a) {
  switch (a.size) {
    case kSizeAttr: return attr_or_fail(c, a.attr);
    case kSizeGroup: return c.count[a.group] < 0 ? 0 : c.count[a.group];
    case kSizeRange: return static_cast<int64_t>(c.last) - c.first + 1;
    case kSizeRangePlus1: return static_cast<int64_t>(c.last) - c.first + 2;
    default: return 0;
  }
}

PyObject *result(const Row &row, Ctx &c) {
  switch (row.result_) {
    case kIntRes: return PyLong_FromLong(c.ires[0]);
    case kDblRes: return PyFloat_FromDouble(c.dres[0]);
    case kBoolRes: return PyBool_FromLong(c.ires[0]);
    case kTextRes: return library_text(c.sres.c_str());
    case kTuple: {
      size_t n = std::strlen(row.tuple_);
      PyRef t = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(n)));
      if (!t) return nullptr;
      int ni = 0, nd = 0, nl = 0;
      for (size_t k = 0; k < n; ++k) {
        PyObject *v = row.tuple_[k] == 'd' ? PyFloat_FromDouble(c.dres[nd++])
                      : row.tuple_[k] == 'L' ? PyLong_FromLongLong(c.lres[nl++])
                                             : PyLong_FromLong(c.ires[ni++]);
        if (!v) return nullptr;
        PyTuple_SET_ITEM(t.get(), static_cast<Py_ssize_t>(k), v);
      }
      return t.release();
    }
    default: Py_RETURN_NONE;
  }
}

// Steps after parsing, for rows with a library call.
PyObject *run(const Row &row, Ctx &c) {
  // Missing arrays are refused before anything is converted.
  for (int i = 0; i < row.nargs; ++i)
    if ((row.args[i].flags & kRequired) && absent(c.obj[i])) {
      PyErr_SetString(korvu_InterfaceError, row.missing_);
      return nullptr;
    }
  for (int i = 0; i < row.nargs; ++i)
    if (convert_value(row, c, i) < 0) return nullptr;
  if (row.range_code >= 0) {
    int fi = -1, la = -1;
    for (int i = 0; i < row.nargs; ++i) {
      if (row.args[i].flags & kFirst) fi = i;
      if (row.args[i].flags & kLast) la = i;
    }
    c.first = fi >= 0 ? static_cast<int>(c.ival[fi]) : 0;
    c.last = la >= 0 ? static_cast<int>(c.ival[la]) : -1;
    if (row.flags_ & kRangeDefaults) {
      if (fi < 0 || absent(c.obj[fi])) c.first = 0;
      if (la < 0 || absent(c.obj[la])) {
        int64_t n = attr_or_fail(c, row.range_attr);
        if (n < 0) return nullptr;
        c.last = static_cast<int>(n) - 1;
      }
    }
    if (static_cast<int64_t>(c.last) - c.first + 1 <= 0) {
      if (row.flags_ & kEmptyRangeNone) Py_RETURN_NONE;
      PyErr_SetString(korvu_InterfaceError, row.empty);
      return nullptr;
    }
  }
  for (int i = 0; i < row.nargs; ++i) {
    const Arg &a = row.args[i];
    if (a.kind == kIn || a.kind == kInOut) {
      if (convert_in(row, c, i) < 0) return nullptr;
    } else if (a.kind == kOut && !absent(c.obj[i])) {
      int64_t n = out_size(row, c, a);
      if (n < 0) return nullptr;
      if (n > 0 && !c.alloc(i, n, elem_width(a.code))) return nullptr;
      c.len[i] = n;
    }
  }
  if ((row.flags_ & kNlUnconstruct) && check_nl_unconstruct(c.p) < 0) return nullptr;
  for (int g = 0; g < kGroups; ++g)
    if (c.count[g] > INT_MAX) {
      PyErr_Format(korvu_ModelError, "%s(): %lld elements are more than the library takes in one call",
                   row.name, static_cast<long long>(c.count[g]));
      return nullptr;
    }
  if (row.flags_ & kKeepRowBodies) {
    // Only the rows the call changes are read back into their constraints.
    const Arg &a = row.args[0];
    const int one = c.ival[0] >= 0 && c.ival[0] <= INT_MAX ? static_cast<int>(c.ival[0]) : -1;
    const bool array = a.kind == kIn;
    if (problem_keep_changed_rows(c.p, array ? static_cast<const int *>(c.arr[0]) : &one,
                                  array ? std::max<int64_t>(c.count[a.group], 0) : 1) < 0)
      return nullptr;
  }
  int rc;
  if (row.flags_ & kReleaseGil) {
    BusyScope busy(c.p);
    if (!busy.ok()) return nullptr;
    std::optional<SigIntScope> interruptible;
    if (row.flags_ & kInterrupt) interruptible.emplace(c.prob);
    {
      GilRelease unlocked;
      rc = row.call(c);
    }
    // A callback that raised on one of the library's own threads left its
    // exception with the problem: it is the call's, and the next run must
    // not start with it.
    if (PyErr_Occurred()) Py_CLEAR(c.p->cb_error);
    else callbacks_take_error(c.p);
  } else {
    rc = row.call(c);
  }
  if (rc != 0 && !PyErr_Occurred() && (row.flags_ & kNamedFailure) && c.p->slpprob) {
    char buf[512] = {0};
    int code = 0;
    KSLPgetlasterror(c.p->slpprob, &code, buf);
    PyErr_Format(korvu_InterfaceError, "%s: %s", row.name, buf[0] ? without_function_name(buf) : "refused");
  }
  if (PyErr_Occurred() || rc != 0) return nullptr;
  for (int i = 0; i < row.nargs; ++i) {
    const Arg &a = row.args[i];
    if ((a.kind == kOut || a.kind == kInOut) && !absent(c.obj[i]) && fill_out(row, c, i, c.len[i]) < 0)
      return nullptr;
  }
  return result(row, c);
}

}  // namespace

int convert_in(const Row &row, Ctx &c, int i) {
  const Arg &a = row.args[i];
  if (absent(c.obj[i])) return 0;
  int64_t *count = &c.count[a.group];
  int64_t own = -1;
  if (a.size == kSizeAttr) {
    // Pre-agreed: exactly the attribute's number of entries, whatever the
    // other arrays of the call have.
    own = attr_or_fail(c, a.attr);
    if (own < 0) return -1;
    count = &own;
  }
  int rc = conv_obj2arr(c.p, count, c.obj[i], &c.arr[i], a.code);
  c.len[i] = *count < 0 ? 0 : *count;
  return rc;
}

int fill_list(Ctx &c, int i, const void *array, int64_t n, int code) {
  if (!given(c, i)) return 0;
  if (n <= 0 || !array) {
    // Nothing came back: the list is emptied.
    if (!PyList_Check(c.obj[i])) {
      PyErr_SetString(korvu_ModelError, "Unexpected argument to conv_arr2obj");
      return -1;
    }
    return PyList_SetSlice(c.obj[i], 0, PyList_GET_SIZE(c.obj[i]), nullptr);
  }
  PyObject *list = c.obj[i];
  return conv_arr2obj(c.p, n, array, &list, code);
}

int fill_out(const Row &row, Ctx &c, int i, int64_t n) {
  return fill_list(c, i, c.arr[i], n, row.args[i].code);
}

PyObject *dispatch(const Row &row, PyObject *self, PyObject *const *args, Py_ssize_t nargs,
                   PyObject *kwnames) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  Ctx c;
  c.p = p;
  c.row = &row;
  if (parse(row, args, nargs, kwnames, c) < 0) return nullptr;
  if (!problem_ready(p)) return nullptr;
  c.prob = p->prob;
  if ((row.flags_ & kKeepBodies) && problem_keep_bodies(p) < 0) return setKrvuErrIfNull(self, nullptr);
  PyObject *r = row.body ? row.body(row, c) : run(row, c);
  return setKrvuErrIfNull(self, r);
}

// ---- help texts

namespace {

// Attribute names by identifier, for "problem.attributes.cols entries".
const char *attr_name(int id) {
  static std::map<int, const char *> names;
  if (names.empty()) {
    const KRVUcaentry *list = nullptr;
    if (KRVUgetcalist_c(&list) == 0)
      for (; list && list->id; ++list) names[list->id] = list->name;
  }
  auto it = names.find(id);
  return it == names.end() ? "?" : it->second;
}

const char *code_words(int code) {
  switch (code) {
    case CONV_ROW: return "rows (constraints, row names or indices)";
    case CONV_COL: return "columns (variables, column names or indices)";
    case CONV_SET: return "sets (sets, set names or indices)";
    case CONV_INT: return "integers";
    case CONV_INT64: return "integers";
    case CONV_DOUBLE: return "numbers";
    case CONV_CHAR: return "one-character strings";
    case CONV_BYTE: return "small integers";
    case CONV_STRING: return "strings";
    case CONV_POOLCUT: return "korvu.poolcut objects";
    case CONV_OBJECT: return "korvu.krvuobject objects";
    case CONV_ROWCOL: return "constraints and variables";
    default: return "objects";
  }
}

const char *out_words(int code) {
  switch (code) {
    case CONV_ROW: return "constraints (korvu.constraint, -1 for none)";
    case CONV_COL: return "variables (korvu.var, -1 for none)";
    default: return code_words(code);
  }
}

std::string length_words(const Row &row, const Arg &a) {
  switch (a.size) {
    case kSizeAttr: return std::string("problem.attributes.") + attr_name(a.attr) + " entries";
    case kSizeRange: return "last - first + 1 entries";
    case kSizeRangePlus1: return "last - first + 2 entries";
    case kSizeGroup:
    case kSizeFree: {
      for (int j = 0; j < row.nargs; ++j)
        if (row.args[j].kind == kIn && row.args[j].group == a.group && &row.args[j] != &a)
          return std::string("as many entries as ") + row.args[j].name;
      return a.kind == kOut ? "the entries the library returns" : "";
    }
  }
  return "";
}

std::string example_value(const Arg &a) {
  switch (a.kind) {
    case kIn:
    case kInOut:
      switch (a.code) {
        case CONV_ROW: return "[c1, c2]";
        case CONV_COL: return "[x, y]";
        case CONV_DOUBLE: return "[1.0, 2.5]";
        case CONV_CHAR: return "['L', 'G']";
        case CONV_STRING: return "['a', 'b']";
        default: return "[0, 1]";
      }
    case kOut: return a.name;
    case kIndex: return (a.flags & kFirst) ? "0" : (a.flags & kLast) ? "1" : a.code == CONV_ROW ? "c1" : "x";
    case kInt:
    case kLong: return "0";
    case kDouble: return "1.0";
    case kChar: return "'L'";
    case kText: return "'name'";
    default: return "None";
  }
}

std::string call_text(const Row &row, bool with_values) {
  std::string s = "p." + std::string(row.name) + "(";
  for (int i = 0; i < row.nargs; ++i) {
    if (i) s += ", ";
    s += with_values ? example_value(row.args[i]) : row.args[i].name;
  }
  return s + ")";
}

std::string result_words(const Row &row) {
  switch (row.result_) {
    case kIntRes: return "an int";
    case kDblRes: return "a float";
    case kBoolRes: return "True or False";
    case kTextRes: return "a string";
    case kTuple: return std::string("a tuple of ") + std::to_string(std::strlen(row.tuple_)) + " numbers";
    default: return "None";
  }
}

std::string make_doc(const Row &row) {
  std::string sig = std::string(row.name) + "($self";
  for (int i = 0; i < row.nargs; ++i)
    sig += std::string(", ") + row.args[i].name + ((row.args[i].flags & kOptional) ? "=None" : "");
  sig += ")\n--\n\n";
  std::string d = sig + "Purpose:\n  " + row.purpose + "\n\n";
  std::string call = call_text(row, false);
  d += "Synopsis:\n  " + (row.result_ == kNone ? call : "r = " + call) + "\n\n";
  if (row.nargs > 0) {
    d += "Arguments:\n";
    for (int i = 0; i < row.nargs; ++i) {
      const Arg &a = row.args[i];
      d += std::string("  ") + a.name + ": " + a.help;
      std::string extra;
      if (a.kind == kIn) extra = std::string("a sequence of ") + code_words(a.code);
      if (a.kind == kInOut) extra = std::string("a list of ") + code_words(a.code) + ", overwritten";
      if (a.kind == kOut) extra = std::string("a list that receives ") + out_words(a.code);
      if (a.kind == kIndex) extra = std::string("one of the ") + code_words(a.code);
      std::string len = (a.kind == kIn || a.kind == kOut || a.kind == kInOut) ? length_words(row, a) : "";
      if (!extra.empty()) d += "; " + extra;
      if (!len.empty()) d += ", " + len;
      if (!(a.flags & kRequired) && (a.kind == kIn || a.kind == kOut)) d += "; may be None";
      if (a.flags & kRequired) d += "; required";
      d += "\n";
    }
    d += "\n";
  }
  d += "Example:\n  ";
  if (*row.example_) {
    d += row.example_;
  } else {
    for (int i = 0; i < row.nargs; ++i)
      if (row.args[i].kind == kOut) d += std::string(row.args[i].name) + " = []\n  ";
    d += (row.result_ == kNone ? "" : "r = ") + call_text(row, true);
  }
  d += "\n\nFurther information:\n  Returns " + result_words(row) + ".";
  if (*row.further) d += std::string(" ") + row.further;
  if (*row.libcall) d += std::string("\n  Calls the library function ") + row.libcall + ".";
  d += "\n";
  if (*row.related) d += std::string("\nRelated topics:\n  ") + row.related + "\n";
  return d;
}

std::deque<std::string> &doc_store() {
  static std::deque<std::string> docs;
  return docs;
}

std::vector<std::pair<const Row *const *, int>> &all_rows() {
  static std::vector<std::pair<const Row *const *, int>> v;
  return v;
}

}  // namespace

PyMethodDef *finish_methods(PyMethodDef *methods, const Row *const *rows, int n) {
  if (methods[0].ml_doc) return methods;  // done before
  for (int k = 0; k < n; ++k) {
    doc_store().push_back(make_doc(*rows[k]));
    methods[k].ml_doc = doc_store().back().c_str();
  }
  all_rows().emplace_back(rows, n);
  return methods;
}

PyObject *table_description(void) {
  PyRef out = PyRef::steal(PyList_New(0));
  if (!out) return nullptr;
  static const char *kinds[] = {"in", "out", "inout", "index", "int", "long", "double", "char", "text", "object"};
  static const char *results[] = {"none", "int", "float", "bool", "str", "tuple"};
  for (auto &family : all_rows())
    for (int k = 0; k < family.second; ++k) {
      const Row &r = *family.first[k];
      PyRef args = PyRef::steal(PyList_New(0));
      if (!args) return nullptr;
      for (int i = 0; i < r.nargs; ++i) {
        const Arg &a = r.args[i];
        PyRef item = PyRef::steal(Py_BuildValue("(ssiO)", a.name, kinds[a.kind], static_cast<int>(a.code),
                                                (a.flags & kOptional) ? Py_True : Py_False));
        if (!item || PyList_Append(args.get(), item.get()) < 0) return nullptr;
      }
      PyRef row = PyRef::steal(Py_BuildValue("(sOss)", r.name, args.get(), results[r.result_], r.tuple_));
      if (!row || PyList_Append(out.get(), row.get()) < 0) return nullptr;
    }
  return out.release();
}

}  // namespace wrap
}  // namespace korvu

namespace {
PyObject *korvumod_wrapper_table(PyObject *, PyObject *) {
  // The problem type is readied before the module's functions can run, so
  // every family has registered its rows by now.
  return korvu::wrap::table_description();
}
}  // namespace

PyMethodDef korvu_binding_methods[] = {
    {"_wrapper_table", korvumod_wrapper_table, METH_NOARGS,
     "_wrapper_table()\n--\n\n"
     "Purpose:\n  Describes every library-method wrapper of korvu.problem: (name, [(argument, kind, "
     "code, optional)], result, tuple format).\n\n"
     "Synopsis:\n  rows = korvu.korvulib._wrapper_table()\n\n"
     "Further information:\n  Used by the stub generator and the tests of the signatures.\n"},
    {nullptr, nullptr, 0, nullptr},
};
