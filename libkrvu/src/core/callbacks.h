// Callback lists of a problem, one per kind of the kinds table in krvu.h, and
// the stage of a problem (idle, solving, inside a callback), which every
// function that changes the model checks.
#pragma once
#include "krvu.h"

#include <vector>

struct krvu_prob_s;

namespace krvu {
namespace search {
class Searcher;
}

enum CbSlot : int {
#define KRVU_CB_SLOT(slot, kind, ret, params, args, rule) kCb_##kind = slot,
  KRVU_CB_KINDS(KRVU_CB_SLOT)
#undef KRVU_CB_SLOT
  kCbKinds = KRVU_CB_KIND_COUNT
};

// A registration: the function is stored untyped and cast back to its kind's
// type (CbFn<slot>) when called.
struct CbEntry {
  void (*f)();
  void *data;
  int priority;
};

template <int Slot>
struct CbFn;
#define KRVU_CB_FN(slot, kind, ret, params, args, rule) \
  template <>                                           \
  struct CbFn<slot> {                                   \
    using type = KRVU_cb##kind;                         \
  };
KRVU_CB_KINDS(KRVU_CB_FN)
#undef KRVU_CB_FN

enum Stage : int { kStageIdle = 0, kStageSolving = 1, kStageCallback = 2 };

// Fails (Error, KRVU_ERR_STATE) unless the problem is idle: the model may not
// change, nor a solve start, while a solve runs or from inside a callback.
// The text names the API function being called.
void require_idle(const krvu_prob_s *prob);
// The name of the API function running on this thread (set by the barrier).
const char *current_api();
void set_current_api(const char *func);

// Sets a stage for a scope and puts the previous one back.
class StageScope {
 public:
  StageScope(krvu_prob_s *prob, Stage s);
  ~StageScope();
  StageScope(const StageScope &) = delete;
  StageScope &operator=(const StageScope &) = delete;

 private:
  krvu_prob_s *prob_;
  int old_;
};

bool has_callbacks(const krvu_prob_s *prob, int slot);
// A copy: a callback may remove itself (or others) while the list is walked.
std::vector<CbEntry> callbacks_of(const krvu_prob_s *prob, int slot);

// Calls every callback of a kind, in the callback stage.
template <int Slot, class... A>
void fire(krvu_prob_s *prob, A... a) {
  if (!has_callbacks(prob, Slot)) return;
  StageScope in(prob, kStageCallback);
  for (const CbEntry &e : callbacks_of(prob, Slot))
    reinterpret_cast<typename CbFn<Slot>::type>(e.f)(prob, e.data, a...);
}

// The same for kinds that return an int: the first non-zero result ends the
// walk and is returned.
template <int Slot, class... A>
int fire_int(krvu_prob_s *prob, A... a) {
  if (!has_callbacks(prob, Slot)) return 0;
  StageScope in(prob, kStageCallback);
  for (const CbEntry &e : callbacks_of(prob, Slot))
    if (int r = reinterpret_cast<typename CbFn<Slot>::type>(e.f)(prob, e.data, a...)) return r;
  return 0;
}

// Kinds the engine's own MIP solver cannot serve: registering one of them
// makes the automatic choice of mipoptimize run the library's search.
bool needs_own_search(const krvu_prob_s *prob);

// What a callback of the search sees of its node; queries of the problem
// answer from it while it is set (KRVUgetlpsol, the node's bounds and
// attributes).  Vectors are in the working copy's numbering, whose first
// columns and rows are the problem's.
struct NodeContext {
  const std::vector<double> *x = nullptr;      // relaxation solution (or the candidate)
  const std::vector<double> *ract = nullptr;   // row activities (may be null)
  const std::vector<double> *rdual = nullptr;  // row duals, minimization form (may be null)
  const std::vector<double> *cdual = nullptr;  // reduced costs, minimization form (may be null)
  const std::vector<double> *lo = nullptr, *up = nullptr;  // the node's column bounds
  double sense = 1;
  void *bo_target = nullptr;  // the search's slot for a stored branching object
  search::Searcher *search = nullptr;  // the search the node is in (null for a candidate)
};

// Sets the problem's node context for a scope.
class NodeScope {
 public:
  NodeScope(krvu_prob_s *prob, const NodeContext *ctx);
  ~NodeScope();
  NodeScope(const NodeScope &) = delete;
  NodeScope &operator=(const NodeScope &) = delete;

 private:
  krvu_prob_s *prob_;
  const NodeContext *old_;
};

}  // namespace krvu
