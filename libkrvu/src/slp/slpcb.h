// Firing the nonlinear solver's callbacks (the kinds table in kslp.h) from
// inside the library.
//
// slpcb_fire_<kind>(slp, ...) calls the kind's callback, if one is set, with
// the kind's arguments after (slp, data), and returns 1 when the solve
// should stop: the callback returned non-zero (kinds with an int result; for
// drcol, msjobstart, msjobend, optnode and prenode the result is the
// output argument and only a non-zero return stops), or it asked for an
// interrupt (KSLPinterrupt) while it ran.  Without a callback a kind returns
// 0 and leaves its outputs as they were.  The problem is in the callback
// stage while the callback runs.  slpcb_fire_message never stops anything.
//
//   int slpcb_fire_cascadeend(KSLPprob slp);
//   int slpcb_fire_cascadestart(KSLPprob slp);
//   int slpcb_fire_cascadevar(KSLPprob slp, int col);
//   int slpcb_fire_cascadevarfail(KSLPprob slp, int col);
//   int slpcb_fire_coefevalerror(KSLPprob slp, int row, int col);
//   int slpcb_fire_construct(KSLPprob slp);
//   int slpcb_fire_destroy(KSLPprob slp);
//   int slpcb_fire_drcol(KSLPprob slp, int col, double value, double lb, double ub,
//                        double *newvalue);
//   int slpcb_fire_iterend(KSLPprob slp);
//   int slpcb_fire_iterstart(KSLPprob slp);
//   int slpcb_fire_itervar(KSLPprob slp, int col);
//   int slpcb_fire_msjobend(KSLPprob slp, void *job, const char *description, int *status);
//   int slpcb_fire_msjobstart(KSLPprob slp, void *job, const char *description, int *status);
//   int slpcb_fire_mswinner(KSLPprob slp, void *job, const char *description);
//   int slpcb_fire_slpend(KSLPprob slp);
//   int slpcb_fire_slpnode(KSLPprob slp);
//   int slpcb_fire_slpstart(KSLPprob slp);
//   void slpcb_fire_message(KSLPprob slp, const char *msg, int len, int msgtype);
//   int slpcb_fire_intsol(KSLPprob slp);
//   int slpcb_fire_optnode(KSLPprob slp, int *feasible);
//   int slpcb_fire_prenode(KSLPprob slp, int *infeasible);
#pragma once
#include "kslp.h"

namespace krvu {
namespace slp {

// Index of a kind in the problem's callback table (slot - KSLP_CB_FIRST_SLOT).
enum SlpCbKind : int {
#define KSLP_CB_INDEX(slot, kind, ret, params, args, rule) kSlpCb_##kind = slot - KSLP_CB_FIRST_SLOT,
  KSLP_CB_KINDS(KSLP_CB_INDEX)
#undef KSLP_CB_INDEX
};

// One set callback; f is cast back to its kind's type when called.
struct SlpCb {
  void (*f)() = nullptr;
  void *data = nullptr;
};

// Whether a kind has a callback set (lets a caller skip preparing arguments).
bool slpcb_has(KSLPprob slp, int kind);

// Copies every set callback of src to dst (a working copy solves with the
// callbacks of the problem it was made from).
void slpcb_copy(KSLPprob dst, KSLPprob src);

#define KSLP_CB_FIRE_DECL(slot, kind, ret, params, args, rule) \
  ret slpcb_fire_##kind(KSLPprob slp KSLP_CB_EXPAND params);
KSLP_CB_KINDS(KSLP_CB_FIRE_DECL)
#undef KSLP_CB_FIRE_DECL

}  // namespace slp
}  // namespace krvu
