// Problem handles: creation, destruction, names, last errors, message callbacks.
#include <algorithm>
#include <cstring>

#include "core/common.h"
#include "core/messages.h"
#include "core/prob.h"
#include "model/store.h"

krvu_prob_s::krvu_prob_s() : data(new krvu::ProbData()) {}
krvu_prob_s::~krvu_prob_s() {
  if (logfile) std::fclose(logfile);
}

namespace krvu {
namespace {
const ParamDef &def_of(int id, const char *what) {
  int k = param_index(id);
  if (k < 0) raise(KRVU_ERR_INTERNAL, "%s: unknown identifier %d", what, id);
  return param_table()[k];
}
}  // namespace

int64_t ctl_int(const krvu_prob_s *p, int id) { return p->params.v[param_index(id)].i; }
double ctl_dbl(const krvu_prob_s *p, int id) { return p->params.v[param_index(id)].d; }
const std::string &ctl_str(const krvu_prob_s *p, int id) {
  return p->params.v[param_index(id)].s;
}
void attr_set_int(krvu_prob_s *p, int id, int64_t v) {
  const int k = param_index(id);
  if (k < 0) def_of(id, "attr_set_int");
  p->params.v[k].i = v;
}
void attr_set_dbl(krvu_prob_s *p, int id, double v) {
  const int k = param_index(id);
  if (k < 0) def_of(id, "attr_set_dbl");
  p->params.v[k].d = v;
}
int64_t attr_int(const krvu_prob_s *p, int id) { return p->params.v[param_index(id)].i; }
double attr_dbl(const krvu_prob_s *p, int id) { return p->params.v[param_index(id)].d; }
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUcreateprob(KRVUprob *prob) {
  return guarded_global("KRVUcreateprob", [&] {
    require_ptr(prob, "KRVUcreateprob", "prob");
    *prob = nullptr;
    if (!is_initialized())
      raise(KRVU_ERR_NOTINIT, "KRVUcreateprob: the library is not started (call KRVUinit)");
    *prob = new krvu_prob_s();
    apply_site_defaults(*prob);
    return 0;
  });
}

int KRVUdestroyprob(KRVUprob prob) {
  return guarded_global("KRVUdestroyprob", [&] {
    check_prob(prob, "KRVUdestroyprob");
    if (prob->stage.load() != kStageIdle)
      raise(KRVU_ERR_STATE, "KRVUdestroyprob: the problem is being solved or is inside one of its callbacks");
    if (prob->slp)
      raise(KRVU_ERR_STATE,
            "KRVUdestroyprob: a nonlinear problem still uses this problem (KSLPdestroyprob first)");
    prob->magic = kMagicDead;
    delete prob;
    return 0;
  });
}

int KRVUsetprobname(KRVUprob prob, const char *name) {
  return guarded(prob, "KRVUsetprobname", [&] {
    require_ptr(name, "KRVUsetprobname", "name");
    prob->name = name;
    return 0;
  });
}

int KRVUgetprobname(KRVUprob prob, char *name) {
  return guarded(prob, "KRVUgetprobname", [&] {
    require_ptr(name, "KRVUgetprobname", "name");
    std::memcpy(name, prob->name.c_str(), prob->name.size() + 1);
    return 0;
  });
}

int KRVUgetlasterror(KRVUprob prob, char *errmsg) {
  return guarded_read(prob, "KRVUgetlasterror", [&] {
    require_ptr(errmsg, "KRVUgetlasterror", "errmsg");
    size_t n = std::min<size_t>(prob->lasterr.size(), 511);
    std::memcpy(errmsg, prob->lasterr.data(), n);
    errmsg[n] = '\0';
    return 0;
  });
}

}  // extern "C"
