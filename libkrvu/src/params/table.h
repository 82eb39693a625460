// The registry of controls and attributes: one table from which the name
// look-ups, the type checks, the lists handed out and the documentation come.
#pragma once
#include "krvu.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krvu {

// One value of any type; the table's `type` says which member is meaningful.
struct Value {
  int64_t i = 0;
  double d = 0.0;
  std::string s;
};

enum Kind : int { kControl = 1, kAttribute = 0 };
// Which interface a parameter belongs to.
enum Source : int { kLib = 0, kSlp = 1, kIpm = 2 };

struct ParamDef {
  int id;
  const char *name;  // lower case
  int type;          // KRVU_TYPE_INT, _INT64, _DOUBLE, _STRING
  int kind;          // kControl or kAttribute
  int source;
  int64_t idef;      // default (controls) for integer types
  double ddef;       // default for doubles
  const char *sdef;  // default for strings
  double lo, hi;     // accepted range of numeric controls
  const char *help;  // one line
  // Attributes computed on demand; null means the value stored by the
  // component that produces it (see attr_set_*).
  Value (*get)(const void *handle);
  int flags;         // kParamPointer: a pointer attribute, kParamHidden: not listed
};

enum { kParamPointer = 0x1, kParamHidden = 0x2 };

const std::vector<ParamDef> &param_table();
// Position of an id in param_table(), or -1.
int param_index(int id);
// Position of a (case-insensitive) name of the given source and kind, or -1.
int param_index_by_name(const char *name, int source, int kind);

// Per-object values: controls, and attributes that components store.
struct ParamValues {
  std::vector<Value> v;  // indexed like param_table()
  ParamValues();
  void reset_controls(int source);
};

}  // namespace krvu
