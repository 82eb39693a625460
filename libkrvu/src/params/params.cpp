// The KRVU control and attribute calls.
#include <climits>
#include <cstring>

#include "core/common.h"
#include "core/prob.h"
#include "params/access.h"

using namespace krvu;

namespace {
ParamHost host(KRVUprob prob) { return ParamHost{&prob->params, kLib, kLib, prob}; }

const KRVUcaentry *build_calist() {
  static std::vector<KRVUcaentry> list;
  static std::vector<std::string> names;
  const auto &t = param_table();
  names.reserve(t.size());
  for (const ParamDef &d : t) {
    if (d.source != kLib || (d.flags & kParamHidden)) continue;
    int flags = d.kind == kControl ? KRVU_CAFLAG_CONTROL : 0;
    switch (d.type) {
      case KRVU_TYPE_INT: flags |= KRVU_CAFLAG_INT; break;
      case KRVU_TYPE_INT64: flags |= KRVU_CAFLAG_INT | KRVU_CAFLAG_INT64; break;
      case KRVU_TYPE_DOUBLE: flags |= KRVU_CAFLAG_DOUBLE; break;
      case KRVU_TYPE_STRING: flags |= KRVU_CAFLAG_STRING; break;
    }
    names.push_back(d.name);
    list.push_back(KRVUcaentry{d.id, d.name, flags});
  }
  list.push_back(KRVUcaentry{0, nullptr, 0});
  return list.data();
}

int info(KRVUprob prob, const char *func, const char *name, int *id, int *type, int kind) {
  return guarded(prob, func, [&] {
    require_ptr(name, func, "name");
    require_ptr(id, func, "id");
    require_ptr(type, func, "type");
    int k = param_index_by_name(name, kLib, kind);
    *id = k < 0 ? 0 : param_table()[k].id;
    *type = k < 0 ? KRVU_TYPE_NOTDEFINED : param_table()[k].type;
    return 0;
  });
}
}  // namespace

extern "C" {

int KRVUgetcalist_c(const KRVUcaentry **list) {
  return guarded_global("KRVUgetcalist_c", [&] {
    require_ptr(list, "KRVUgetcalist_c", "list");
    static const KRVUcaentry *cached = build_calist();
    *list = cached;
    return 0;
  });
}

int KRVUgetcontrolinfo(KRVUprob prob, const char *name, int *id, int *type) {
  return info(prob, "KRVUgetcontrolinfo", name, id, type, kControl);
}

int KRVUgetattribinfo(KRVUprob prob, const char *name, int *id, int *type) {
  return info(prob, "KRVUgetattribinfo", name, id, type, kAttribute);
}

int KRVUgetcahelp(int id, const char **help) {
  return guarded_global("KRVUgetcahelp", [&] {
    require_ptr(help, "KRVUgetcahelp", "help");
    int k = param_index(id);
    if (k < 0) raise(KRVU_ERR_ARGUMENT, "KRVUgetcahelp: unknown identifier %d", id);
    *help = param_table()[k].help;
    return 0;
  });
}

int KRVUgetcarange(int id, double *lo, double *hi) {
  return guarded_global("KRVUgetcarange", [&] {
    require_ptr(lo, "KRVUgetcarange", "lo");
    require_ptr(hi, "KRVUgetcarange", "hi");
    int k = param_index(id);
    if (k < 0) raise(KRVU_ERR_ARGUMENT, "KRVUgetcarange: unknown identifier %d", id);
    const ParamDef &d = param_table()[k];
    if (d.kind != kControl || (d.type != KRVU_TYPE_INT && d.type != KRVU_TYPE_INT64 &&
                               d.type != KRVU_TYPE_DOUBLE))
      raise(KRVU_ERR_ARGUMENT, "KRVUgetcarange: %d (%s) is not a numeric control", id, d.name);
    *lo = d.lo;
    *hi = d.hi;
    return 0;
  });
}

int KRVUgetintcontrol(KRVUprob prob, int id, int *value) {
  return guarded_read(prob, "KRVUgetintcontrol", [&] {
    require_ptr(value, "KRVUgetintcontrol", "value");
    int64_t v = get_int_control(host(prob), id, "KRVUgetintcontrol");
    if (v > INT_MAX || v < INT_MIN)
      raise(KRVU_ERR_ARGUMENT,
            "KRVUgetintcontrol: the value of control %d does not fit 32 bits (use "
            "KRVUgetintcontrol64)", id);
    *value = static_cast<int>(v);
    return 0;
  });
}

int KRVUgetintcontrol64(KRVUprob prob, int id, int64_t *value) {
  return guarded_read(prob, "KRVUgetintcontrol64", [&] {
    require_ptr(value, "KRVUgetintcontrol64", "value");
    *value = get_int_control(host(prob), id, "KRVUgetintcontrol64");
    return 0;
  });
}

int KRVUsetintcontrol(KRVUprob prob, int id, int value) {
  return guarded(prob, "KRVUsetintcontrol", [&] {
    set_int_control(host(prob), id, value, "KRVUsetintcontrol");
    return 0;
  });
}

int KRVUsetintcontrol64(KRVUprob prob, int id, int64_t value) {
  return guarded(prob, "KRVUsetintcontrol64", [&] {
    set_int_control(host(prob), id, value, "KRVUsetintcontrol64");
    return 0;
  });
}

int KRVUgetdblcontrol(KRVUprob prob, int id, double *value) {
  return guarded_read(prob, "KRVUgetdblcontrol", [&] {
    require_ptr(value, "KRVUgetdblcontrol", "value");
    *value = get_dbl_control(host(prob), id, "KRVUgetdblcontrol");
    return 0;
  });
}

int KRVUsetdblcontrol(KRVUprob prob, int id, double value) {
  return guarded(prob, "KRVUsetdblcontrol", [&] {
    set_dbl_control(host(prob), id, value, "KRVUsetdblcontrol");
    return 0;
  });
}

int KRVUgetstringcontrol(KRVUprob prob, int id, char *value, int maxbytes, int *nbytes) {
  return guarded_read(prob, "KRVUgetstringcontrol", [&] {
    copy_out(get_str_control(host(prob), id, "KRVUgetstringcontrol"), value, maxbytes, nbytes,
             "KRVUgetstringcontrol");
    return 0;
  });
}

int KRVUsetstrcontrol(KRVUprob prob, int id, const char *value) {
  return guarded(prob, "KRVUsetstrcontrol", [&] {
    set_str_control(host(prob), id, value, "KRVUsetstrcontrol");
    return 0;
  });
}

int KRVUsetdefaultcontrol(KRVUprob prob, int id) {
  return guarded(prob, "KRVUsetdefaultcontrol", [&] {
    set_default_control(host(prob), id, "KRVUsetdefaultcontrol");
    return 0;
  });
}

int KRVUsetdefaults(KRVUprob prob) {
  return guarded(prob, "KRVUsetdefaults", [&] {
    prob->params.reset_controls(kLib);
    return 0;
  });
}

int KRVUcopycontrols(KRVUprob dest, KRVUprob src) {
  return guarded(dest, "KRVUcopycontrols", [&] {
    check_prob(src, "KRVUcopycontrols");
    const auto &t = param_table();
    for (size_t k = 0; k < t.size(); ++k)
      if (t[k].kind == kControl && t[k].source == kLib) dest->params.v[k] = src->params.v[k];
    return 0;
  });
}

int KRVUdumpcontrols(KRVUprob prob) {
  return guarded(prob, "KRVUdumpcontrols", [&] {
    const auto &t = param_table();
    for (size_t k = 0; k < t.size(); ++k) {
      const ParamDef &d = t[k];
      if (d.kind != kControl || d.source != kLib) continue;
      const Value &v = prob->params.v[k];
      if (d.type == KRVU_TYPE_DOUBLE && v.d != d.ddef)
        log(prob, KRVU_MSG_LOG, "%s = %.17g", d.name, v.d);
      else if ((d.type == KRVU_TYPE_INT || d.type == KRVU_TYPE_INT64) && v.i != d.idef)
        log(prob, KRVU_MSG_LOG, "%s = %lld", d.name, static_cast<long long>(v.i));
      else if (d.type == KRVU_TYPE_STRING && v.s != (d.sdef ? d.sdef : ""))
        log(prob, KRVU_MSG_LOG, "%s = %s", d.name, v.s.c_str());
    }
    return 0;
  });
}

int KRVUgetintattrib(KRVUprob prob, int id, int *value) {
  return guarded_read(prob, "KRVUgetintattrib", [&] {
    require_ptr(value, "KRVUgetintattrib", "value");
    int64_t v = get_int_attrib(host(prob), id, "KRVUgetintattrib");
    if (v > INT_MAX || v < INT_MIN)
      raise(KRVU_ERR_ARGUMENT,
            "KRVUgetintattrib: the value of attribute %d does not fit 32 bits (use "
            "KRVUgetintattrib64)", id);
    *value = static_cast<int>(v);
    return 0;
  });
}

int KRVUgetintattrib64(KRVUprob prob, int id, int64_t *value) {
  return guarded_read(prob, "KRVUgetintattrib64", [&] {
    require_ptr(value, "KRVUgetintattrib64", "value");
    *value = get_int_attrib(host(prob), id, "KRVUgetintattrib64");
    return 0;
  });
}

int KRVUgetdblattrib(KRVUprob prob, int id, double *value) {
  return guarded_read(prob, "KRVUgetdblattrib", [&] {
    require_ptr(value, "KRVUgetdblattrib", "value");
    *value = get_dbl_attrib(host(prob), id, "KRVUgetdblattrib");
    return 0;
  });
}

int KRVUgetstringattrib(KRVUprob prob, int id, char *value, int maxbytes, int *nbytes) {
  return guarded_read(prob, "KRVUgetstringattrib", [&] {
    copy_out(get_str_attrib(host(prob), id, "KRVUgetstringattrib"), value, maxbytes, nbytes,
             "KRVUgetstringattrib");
    return 0;
  });
}

}  // extern "C"
