// The nonlinear solver's callbacks: KSLPsetcb<kind> and the firing functions,
// both generated from the kinds table in kslp.h.
#include "slp/slpcb.h"

#include "core/callbacks.h"
#include "core/common.h"
#include "lp/solver_state.h"
#include "model/store.h"
#include "slp/slpprob.h"

using namespace krvu;
using namespace krvu::slp;

namespace {

template <int Kind>
struct SlpCbFn;
#define KSLP_CB_FN(slot, kind, ret, params, args, rule) \
  template <>                                           \
  struct SlpCbFn<kSlpCb_##kind> {                       \
    using type = KSLP_cb##kind;                         \
  };
KSLP_CB_KINDS(KSLP_CB_FN)
#undef KSLP_CB_FN

bool stop_asked(KSLPprob slp) {
  if (slp->interrupt.load()) return true;
  return slp->prob && slp->prob->data->solver && slp->prob->data->solver->interrupt.load();
}

template <int Kind, class... A>
int fire_kind(KSLPprob slp, A... a) {
  const SlpCb c = slp->cbs[Kind];  // a copy: the callback may set another
  if (!c.f) return 0;
  StageScope in(slp->prob, kStageCallback);
  const int r = reinterpret_cast<typename SlpCbFn<Kind>::type>(c.f)(slp, c.data, a...);
  return r != 0 || stop_asked(slp) ? 1 : 0;
}

template <int Kind, class... A>
void fire_kind_void(KSLPprob slp, A... a) {
  const SlpCb c = slp->cbs[Kind];
  if (!c.f) return;
  reinterpret_cast<typename SlpCbFn<Kind>::type>(c.f)(slp, c.data, a...);
}

}  // namespace

namespace krvu {
namespace slp {

bool slpcb_has(KSLPprob slp, int kind) {
  return kind >= 0 && kind < KSLP_CB_KIND_COUNT && slp->cbs[kind].f != nullptr;
}

void slpcb_copy(KSLPprob dst, KSLPprob src) {
  for (int k = 0; k < KSLP_CB_KIND_COUNT; ++k) dst->cbs[k] = src->cbs[k];
}

// Message lines are sent from inside other calls (and may arrive while the
// problem is already in a callback): no stage change.
void slpcb_fire_message(KSLPprob slp, const char *msg, int len, int msgtype) {
  fire_kind_void<kSlpCb_message>(slp, msg, len, msgtype);
}

#define KSLP_CB_FIRE_DEF(slot, kind, ret, params, args, rule)           \
  ret slpcb_fire_##kind(KSLPprob slp KSLP_CB_EXPAND params) {          \
    return fire_kind<kSlpCb_##kind>(slp KSLP_CB_EXPAND args);               \
  }
#define KSLP_CB_FIRE_PICK(slot, kind, ret, params, args, rule) \
  KSLP_CB_FIRE_IF_##ret(slot, kind, ret, params, args, rule)
#define KSLP_CB_FIRE_IF_int KSLP_CB_FIRE_DEF
#define KSLP_CB_FIRE_IF_void(...)
KSLP_CB_KINDS(KSLP_CB_FIRE_PICK)
#undef KSLP_CB_FIRE_PICK
#undef KSLP_CB_FIRE_IF_int
#undef KSLP_CB_FIRE_IF_void
#undef KSLP_CB_FIRE_DEF

}  // namespace slp
}  // namespace krvu

extern "C" {

#define KSLP_CB_SET(slot, kind, ret, params, args, rule)                  \
  int KSLPsetcb##kind(KSLPprob slp, KSLP_cb##kind f, void *data) {        \
    return slp_guarded(slp, "KSLPsetcb" #kind, [&] {                      \
      slp->cbs[kSlpCb_##kind] = SlpCb{reinterpret_cast<void (*)()>(f), f ? data : nullptr}; \
      return 0;                                                           \
    });                                                                   \
  }
KSLP_CB_KINDS(KSLP_CB_SET)
#undef KSLP_CB_SET

}  // extern "C"
