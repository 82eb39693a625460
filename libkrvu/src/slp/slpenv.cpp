// The nonlinear solver's environment, handles and parameters.
#include <climits>
#include <cstring>
#include <mutex>
#include <set>

#include "core/common.h"
#include "params/access.h"
#include "slp/slpprob.h"

using namespace krvu;

namespace {

std::mutex g_slp_mutex;
int g_slp_count = 0;

ParamHost host(KSLPprob slp) { return ParamHost{&slp->params, kSlp, kIpm, slp}; }

const KSLPcaentry *build_list(int source) {
  auto *list = new std::vector<KSLPcaentry>();  // lives as long as the process
  list->push_back(KSLPcaentry{0, ""});
  for (const ParamDef &d : param_table())
    if (d.source == source && !(d.flags & kParamHidden)) list->push_back(KSLPcaentry{d.id, d.name});
  list->push_back(KSLPcaentry{0, nullptr});
  return list->data();
}

}  // namespace

extern "C" {

int KSLPinit(void) {
  return guarded_global("KSLPinit", [&] {
    if (!is_initialized())
      raise(KRVU_ERR_NOTINIT, "KSLPinit: the library is not started (call KRVUinit first)");
    std::lock_guard<std::mutex> lock(g_slp_mutex);
    ++g_slp_count;
    return 0;
  });
}

int KSLPfree(void) {
  return guarded_global("KSLPfree", [&] {
    std::lock_guard<std::mutex> lock(g_slp_mutex);
    if (g_slp_count == 0) raise(KRVU_ERR_NOTINIT, "KSLPfree: the nonlinear solver is not started");
    --g_slp_count;
    return 0;
  });
}

int KSLPcreateprob(KSLPprob *slp, KRVUprob *prob) {
  return guarded_global("KSLPcreateprob", [&] {
    require_ptr(slp, "KSLPcreateprob", "slp");
    require_ptr(prob, "KSLPcreateprob", "prob");
    *slp = nullptr;
    check_prob(*prob, "KSLPcreateprob");
    {
      std::lock_guard<std::mutex> lock(g_slp_mutex);
      if (g_slp_count == 0)
        raise(KRVU_ERR_NOTINIT, "KSLPcreateprob: the nonlinear solver is not started (call KSLPinit)");
    }
    if ((*prob)->slp)
      raise(KRVU_ERR_STATE, "KSLPcreateprob: the problem already has a nonlinear problem");
    auto *s = new kslp_prob_s();
    s->prob = *prob;
    (*prob)->slp = s;
    *slp = s;
    return 0;
  });
}

int KSLPdestroyprob(KSLPprob slp) {
  return guarded_global("KSLPdestroyprob", [&] {
    check_slp(slp, "KSLPdestroyprob");
    if (slp->prob && slp->prob->magic == kMagicProb) slp->prob->slp = nullptr;
    slp->magic = kMagicDead;
    delete slp;
    return 0;
  });
}

int KSLPgetlasterror(KSLPprob slp, int *code, char *errmsg) {
  return guarded_global("KSLPgetlasterror", [&] {
    check_slp(slp, "KSLPgetlasterror");
    if (code) *code = slp->lasterr_code;
    if (errmsg) copy_out(slp->lasterr, errmsg, 512, nullptr, "KSLPgetlasterror");
    return 0;
  });
}

int KSLPgetcalist(const KSLPcaentry **list) {
  return guarded_global("KSLPgetcalist", [&] {
    require_ptr(list, "KSLPgetcalist", "list");
    static const KSLPcaentry *cached = build_list(kSlp);
    *list = cached;
    return 0;
  });
}

int KSLPgetIPMcalist(const KSLPcaentry **list) {
  return guarded_global("KSLPgetIPMcalist", [&] {
    require_ptr(list, "KSLPgetIPMcalist", "list");
    static const KSLPcaentry *cached = build_list(kIpm);
    *list = cached;
    return 0;
  });
}

int KSLPcontrolcode(const char *name, int *id, int *flags) {
  return guarded_global("KSLPcontrolcode", [&] {
    require_ptr(name, "KSLPcontrolcode", "name");
    int k = -1;
    for (int src : {kSlp, kIpm})
      for (int kind : {kControl, kAttribute})
        if (k < 0) k = param_index_by_name(name, src, kind);
    if (k < 0) raise(KRVU_ERR_ARGUMENT, "KSLPcontrolcode: unknown name '%s'", name);
    const ParamDef &d = param_table()[k];
    int f = d.kind == kControl ? KSLP_CAFLAG_CONTROL : 0;
    if (d.flags & kParamPointer) f |= KSLP_CAFLAG_SKIP;
    else if (d.type == KRVU_TYPE_INT || d.type == KRVU_TYPE_INT64) f |= KSLP_CAFLAG_INT;
    else if (d.type == KRVU_TYPE_DOUBLE) f |= KSLP_CAFLAG_DOUBLE;
    else if (d.type == KRVU_TYPE_STRING) f |= KSLP_CAFLAG_STRING;
    if (id) *id = d.id;
    if (flags) *flags = f;
    return 0;
  });
}

int KSLPgetintcontrol(KSLPprob slp, int id, int *value) {
  return slp_guarded_read(slp, "KSLPgetintcontrol", [&] {
    require_ptr(value, "KSLPgetintcontrol", "value");
    *value = static_cast<int>(get_int_control(host(slp), id, "KSLPgetintcontrol"));
    return 0;
  });
}

int KSLPsetintcontrol(KSLPprob slp, int id, int value) {
  return slp_guarded(slp, "KSLPsetintcontrol", [&] {
    set_int_control(host(slp), id, value, "KSLPsetintcontrol");
    return 0;
  });
}

int KSLPgetdblcontrol(KSLPprob slp, int id, double *value) {
  return slp_guarded_read(slp, "KSLPgetdblcontrol", [&] {
    require_ptr(value, "KSLPgetdblcontrol", "value");
    *value = get_dbl_control(host(slp), id, "KSLPgetdblcontrol");
    return 0;
  });
}

int KSLPsetdblcontrol(KSLPprob slp, int id, double value) {
  return slp_guarded(slp, "KSLPsetdblcontrol", [&] {
    set_dbl_control(host(slp), id, value, "KSLPsetdblcontrol");
    return 0;
  });
}

int KSLPgetstrcontrol(KSLPprob slp, int id, char *value) {
  return slp_guarded_read(slp, "KSLPgetstrcontrol", [&] {
    require_ptr(value, "KSLPgetstrcontrol", "value");
    copy_out(get_str_control(host(slp), id, "KSLPgetstrcontrol"), value, 2048, nullptr,
             "KSLPgetstrcontrol");
    return 0;
  });
}

int KSLPsetstrcontrol(KSLPprob slp, int id, const char *value) {
  return slp_guarded(slp, "KSLPsetstrcontrol", [&] {
    set_str_control(host(slp), id, value, "KSLPsetstrcontrol");
    return 0;
  });
}

int KSLPsetdefaults(KSLPprob slp) {
  return slp_guarded(slp, "KSLPsetdefaults", [&] {
    slp->params.reset_controls(kSlp);
    slp->params.reset_controls(kIpm);
    return 0;
  });
}

int KSLPcopycontrols(KSLPprob dest, KSLPprob src) {
  return slp_guarded(dest, "KSLPcopycontrols", [&] {
    check_slp(src, "KSLPcopycontrols");
    const auto &t = param_table();
    for (size_t k = 0; k < t.size(); ++k)
      if (t[k].kind == kControl && t[k].source != kLib) dest->params.v[k] = src->params.v[k];
    return 0;
  });
}

int KSLPgetintattrib(KSLPprob slp, int id, int *value) {
  return slp_guarded_read(slp, "KSLPgetintattrib", [&] {
    require_ptr(value, "KSLPgetintattrib", "value");
    *value = static_cast<int>(get_int_attrib(host(slp), id, "KSLPgetintattrib"));
    // Counts that follow the model are computed here rather than stored.
    switch (id) {
      case KSLP_ATTR_ROWS:
        return KRVUgetintattrib(slp->prob, KRVU_ATTR_ORIGINALROWS, value) ? KRVU_ERR_INTERNAL : 0;
      case KSLP_ATTR_COLS:
        return KRVUgetintattrib(slp->prob, KRVU_ATTR_ORIGINALCOLS, value) ? KRVU_ERR_INTERNAL : 0;
      case KSLP_ATTR_COEFFICIENTS:
        *value = static_cast<int>(slp->coefs.size());
        break;
      case KSLP_ATTR_STATUS:
        *value = (slp->constructed ? 1 : 0) | (slp->pre_lb.empty() ? 0 : 0x20000000);
        break;
      case KSLP_ATTR_NONLINEARROWS: {
        std::set<int> rows;
        for (const auto &c : slp->coefs) rows.insert(c.row);
        *value = static_cast<int>(rows.size());
        break;
      }
    }
    return 0;
  });
}

int KSLPgetdblattrib(KSLPprob slp, int id, double *value) {
  return slp_guarded_read(slp, "KSLPgetdblattrib", [&] {
    require_ptr(value, "KSLPgetdblattrib", "value");
    *value = get_dbl_attrib(host(slp), id, "KSLPgetdblattrib");
    return 0;
  });
}

int KSLPgetstrattrib(KSLPprob slp, int id, char *value) {
  return slp_guarded_read(slp, "KSLPgetstrattrib", [&] {
    require_ptr(value, "KSLPgetstrattrib", "value");
    copy_out(get_str_attrib(host(slp), id, "KSLPgetstrattrib"), value, 2048, nullptr,
             "KSLPgetstrattrib");
    return 0;
  });
}

int KSLPgetptrattrib(KSLPprob slp, int id, void **value) {
  return slp_guarded_read(slp, "KSLPgetptrattrib", [&] {
    require_ptr(value, "KSLPgetptrattrib", "value");
    if (id == KSLP_ATTR_KRVUPROB)
      *value = slp->prob;
    else if (id == KSLP_ATTR_CURRENTPROB)
      *value = slp->current;
    else
      raise(KRVU_ERR_ARGUMENT, "KSLPgetptrattrib: %d is not a pointer attribute", id);
    return 0;
  });
}

}  // extern "C"
