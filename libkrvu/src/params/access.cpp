#include "params/access.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "core/common.h"

namespace krvu {
namespace {

const char *type_name(int type) {
  switch (type) {
    case KRVU_TYPE_INT: return "integer";
    case KRVU_TYPE_INT64: return "64-bit integer";
    case KRVU_TYPE_DOUBLE: return "double";
    case KRVU_TYPE_STRING: return "string";
    default: return "pointer";
  }
}

// Finds the entry of `id`, checking that it belongs to this interface, is of
// the wanted kind, and has one of the accepted types.
int find(const ParamHost &h, int id, int kind, int type_a, int type_b, const char *func) {
  int k = param_index(id);
  const char *what = kind == kControl ? "control" : "attribute";
  if (k < 0) raise(KRVU_ERR_ARGUMENT, "%s: unknown %s identifier %d", func, what, id);
  const ParamDef &d = param_table()[k];
  if (d.source < h.source_lo || d.source > h.source_hi || d.kind != kind)
    raise(KRVU_ERR_ARGUMENT, "%s: identifier %d (%s) is not a %s of this interface", func, id,
          d.name, what);
  if (d.type != type_a && d.type != type_b)
    raise(KRVU_ERR_ARGUMENT, "%s: %s %d (%s) is of type %s", func, what, id, d.name,
          type_name(d.type));
  return k;
}

Value read(const ParamHost &h, int k) {
  const ParamDef &d = param_table()[k];
  if (d.get) return d.get(h.handle);
  return h.values->v[k];
}

}  // namespace

int64_t get_int_control(const ParamHost &h, int id, const char *func) {
  return h.values->v[find(h, id, kControl, KRVU_TYPE_INT, KRVU_TYPE_INT64, func)].i;
}

void set_int_control(const ParamHost &h, int id, int64_t value, const char *func) {
  int k = find(h, id, kControl, KRVU_TYPE_INT, KRVU_TYPE_INT64, func);
  const ParamDef &d = param_table()[k];
  if (static_cast<double>(value) < d.lo || static_cast<double>(value) > d.hi)
    raise(KRVU_ERR_ARGUMENT, "%s: value %lld of control %d (%s) is out of its range [%.17g, %.17g]",
          func, static_cast<long long>(value), id, d.name, d.lo, d.hi);
  h.values->v[k].i = value;
}

double get_dbl_control(const ParamHost &h, int id, const char *func) {
  return h.values->v[find(h, id, kControl, KRVU_TYPE_DOUBLE, KRVU_TYPE_DOUBLE, func)].d;
}

void set_dbl_control(const ParamHost &h, int id, double value, const char *func) {
  int k = find(h, id, kControl, KRVU_TYPE_DOUBLE, KRVU_TYPE_DOUBLE, func);
  const ParamDef &d = param_table()[k];
  if (std::isnan(value) || value < d.lo || value > d.hi)
    raise(KRVU_ERR_ARGUMENT, "%s: value %.17g of control %d (%s) is out of its range [%.17g, %.17g]",
          func, value, id, d.name, d.lo, d.hi);
  h.values->v[k].d = value;
}

std::string get_str_control(const ParamHost &h, int id, const char *func) {
  return h.values->v[find(h, id, kControl, KRVU_TYPE_STRING, KRVU_TYPE_STRING, func)].s;
}

void set_str_control(const ParamHost &h, int id, const char *value, const char *func) {
  require_ptr(value, func, "value");
  h.values->v[find(h, id, kControl, KRVU_TYPE_STRING, KRVU_TYPE_STRING, func)].s = value;
}

void set_default_control(const ParamHost &h, int id, const char *func) {
  int k = param_index(id);
  if (k < 0) raise(KRVU_ERR_ARGUMENT, "%s: unknown control identifier %d", func, id);
  const ParamDef &d = param_table()[k];
  find(h, id, kControl, d.type, d.type, func);
  h.values->v[k].i = d.idef;
  h.values->v[k].d = d.ddef;
  h.values->v[k].s = d.sdef ? d.sdef : "";
}

// Numeric attributes read the stored value in place: no copy of a whole Value.
int64_t get_int_attrib(const ParamHost &h, int id, const char *func) {
  int k = find(h, id, kAttribute, KRVU_TYPE_INT, KRVU_TYPE_INT64, func);
  const ParamDef &d = param_table()[k];
  return d.get ? d.get(h.handle).i : h.values->v[k].i;
}

double get_dbl_attrib(const ParamHost &h, int id, const char *func) {
  int k = find(h, id, kAttribute, KRVU_TYPE_DOUBLE, KRVU_TYPE_DOUBLE, func);
  const ParamDef &d = param_table()[k];
  return d.get ? d.get(h.handle).d : h.values->v[k].d;
}

std::string get_str_attrib(const ParamHost &h, int id, const char *func) {
  return read(h, find(h, id, kAttribute, KRVU_TYPE_STRING, KRVU_TYPE_STRING, func)).s;
}

void copy_out(const std::string &s, char *buf, int maxbytes, int *nbytes, const char *func) {
  if (nbytes) *nbytes = static_cast<int>(s.size()) + 1;
  if (!buf) {
    if (!nbytes) raise(KRVU_ERR_ARGUMENT, "%s: 'value' and 'nbytes' are both null", func);
    return;
  }
  if (maxbytes <= 0) raise(KRVU_ERR_ARGUMENT, "%s: 'maxbytes' must be positive", func);
  size_t n = std::min(s.size(), static_cast<size_t>(maxbytes - 1));
  std::memcpy(buf, s.data(), n);
  buf[n] = '\0';
}

}  // namespace krvu
