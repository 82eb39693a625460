// Registration of callbacks of every kind (generated from the kinds table),
// the stage of a problem, and the node context callbacks see.
#include "core/callbacks.h"

#include <algorithm>

#include "core/common.h"
#include "core/prob.h"

namespace krvu {

namespace {
thread_local const char *t_api = "the library";

const char *stage_text(int s) {
  return s == kStageCallback ? "from inside one of its callbacks" : "while it is being solved";
}

void add_entry(krvu_prob_s *prob, int slot, const char *func, void (*f)(), void *data,
               int priority) {
  require_ptr(reinterpret_cast<void *>(f), func, "f");
  auto &v = prob->cbs[slot];
  auto pos = std::find_if(v.begin(), v.end(), [&](const CbEntry &c) { return c.priority < priority; });
  v.insert(pos, CbEntry{f, data, priority});
}

void remove_entries(krvu_prob_s *prob, int slot, void (*f)(), void *data) {
  auto &v = prob->cbs[slot];
  v.erase(std::remove_if(v.begin(), v.end(),
                         [&](const CbEntry &c) { return (!f || c.f == f) && (!data || c.data == data); }),
          v.end());
}
}  // namespace

const char *current_api() { return t_api; }
void set_current_api(const char *func) { t_api = func; }

void require_idle(const krvu_prob_s *prob) {
  const int s = prob->stage.load(std::memory_order_relaxed);
  if (s != kStageIdle)
    raise(KRVU_ERR_STATE, "%s: the problem cannot be changed or solved %s", t_api, stage_text(s));
}

StageScope::StageScope(krvu_prob_s *prob, Stage s) : prob_(prob), old_(prob->stage.exchange(s)) {}
StageScope::~StageScope() { prob_->stage.store(old_); }

NodeScope::NodeScope(krvu_prob_s *prob, const NodeContext *ctx) : prob_(prob), old_(prob->node) {
  prob->node = ctx;
}
NodeScope::~NodeScope() { prob_->node = old_; }

bool has_callbacks(const krvu_prob_s *prob, int slot) { return !prob->cbs[slot].empty(); }

std::vector<CbEntry> callbacks_of(const krvu_prob_s *prob, int slot) { return prob->cbs[slot]; }

bool needs_own_search(const krvu_prob_s *prob) {
  // The engine's MIP solver serves log lines, incumbents, its LP and barrier
  // iterations and time checks; every node-level kind needs the search.
  for (int k : {kCb_chgbranchobject, kCb_cutlog, kCb_destroymt, kCb_gapnotify, kCb_globallog,
                kCb_infnode, kCb_mipthread, kCb_newnode, kCb_nodecutoff, kCb_optnode,
                kCb_preintsol, kCb_prenode, kCb_usersolnotify})
    if (has_callbacks(prob, k)) return true;
  return false;
}

}  // namespace krvu

using namespace krvu;

extern "C" {

#define KRVU_CB_DEFINE(slot, kind, ret, params, args, rule)                                    \
  int KRVUaddcb##kind(KRVUprob prob, KRVU_cb##kind f, void *data, int priority) {              \
    return guarded(prob, "KRVUaddcb" #kind, [&] {                                              \
      add_entry(prob, slot, "KRVUaddcb" #kind, reinterpret_cast<void (*)()>(f), data, priority); \
      return 0;                                                                                \
    });                                                                                        \
  }                                                                                            \
  int KRVUremovecb##kind(KRVUprob prob, KRVU_cb##kind f, void *data) {                         \
    return guarded(prob, "KRVUremovecb" #kind, [&] {                                           \
      remove_entries(prob, slot, reinterpret_cast<void (*)()>(f), data);                       \
      return 0;                                                                                \
    });                                                                                        \
  }
KRVU_CB_KINDS(KRVU_CB_DEFINE)
#undef KRVU_CB_DEFINE

}  // extern "C"
