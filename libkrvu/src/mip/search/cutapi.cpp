// The cut-pool, stored-bounds and strong-branching functions of the API.
// Outside a solve they work on the problem's pool; inside a node callback of
// the search on the node, whose search keeps the same pool.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>

#include "core/callbacks.h"
#include "core/common.h"
#include "core/prob.h"
#include "mip/search/nodemembers.h"
#include "mip/search/searcher.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

using search::Cut;
using search::CutPool;
using search::Searcher;

Searcher *node_search(const krvu_prob_s *prob) {
  if (prob->stage.load() != kStageCallback || !prob->node) return nullptr;
  return prob->node->search;
}

Searcher &require_node(krvu_prob_s *prob, const char *func) {
  Searcher *s = node_search(prob);
  if (!s) raise(KRVU_ERR_STATE, "%s: works on a node of the search, from inside one of its node callbacks only", func);
  return *s;
}

// The pool is the search's while it runs: reached from its node callbacks,
// or when the problem is idle.
UserPool &require_pool(krvu_prob_s *prob, const char *func) {
  const int st = prob->stage.load();
  if (st == kStageIdle || node_search(prob)) return user_pool(prob);
  raise(KRVU_ERR_STATE, "%s: the cut pool is in use by the solve; it is reached from the search's node callbacks "
        "or while the problem is idle", func);
}

int problem_cols(krvu_prob_s *prob) { return static_cast<int>(prob->data->m.ncols()); }

void require_interp(int interp, const char *func) {
  if (interp != -1 && (interp < 1 || interp > 3))
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'interp' = %d is not -1, 1, 2 or 3", func, interp);
}

// Cuts as given to KRVUaddcuts64 and KRVUstorecuts64, every one checked
// before any is used.
std::vector<Cut> read_cuts(krvu_prob_s *prob, int n, const int *mtype, const char *rtype, const double *rhs,
                           const int64_t *mstart, const int *mcols, const double *dmatval, const char *F) {
  require_count(n, F, "ncuts");
  std::vector<Cut> cuts;
  if (n == 0) return cuts;
  require_ptr(mtype, F, "mtype");
  require_ptr(rtype, F, "rtype");
  require_ptr(rhs, F, "rhs");
  require_ptr(mstart, F, "mstart");
  if (mstart[0] < 0) raise(KRVU_ERR_ARGUMENT, "%s: mstart[0] = %lld is negative", F, static_cast<long long>(mstart[0]));
  for (int k = 0; k < n; ++k)
    if (mstart[k + 1] < mstart[k])
      raise(KRVU_ERR_ARGUMENT, "%s: mstart[%d] = %lld is less than mstart[%d] = %lld", F, k + 1,
            static_cast<long long>(mstart[k + 1]), k, static_cast<long long>(mstart[k]));
  if (mstart[n] > 0) {
    require_ptr(mcols, F, "mcols");
    require_ptr(dmatval, F, "dmatval");
  }
  const int ncols = problem_cols(prob);
  cuts.resize(n);
  for (int k = 0; k < n; ++k) {
    Cut &c = cuts[k];
    const char t = rtype[k];
    if (t != 'L' && t != 'G' && t != 'E')
      raise(KRVU_ERR_ARGUMENT, "%s: rtype[%d] = '%c' is not 'L', 'G' or 'E'", F, k, t ? t : '?');
    if (std::isnan(rhs[k]) || std::fabs(rhs[k]) >= KRVU_INFINITY)
      raise(KRVU_ERR_ARGUMENT, "%s: rhs[%d] = %g is not a finite right-hand side", F, k, rhs[k]);
    c.origin = 'U';
    c.type = mtype[k];
    c.lo = t == 'L' ? -INFINITY : rhs[k];
    c.up = t == 'G' ? INFINITY : rhs[k];
    // Repeated columns add up; zeros are left out.
    std::map<int, double> e;
    for (int64_t q = mstart[k]; q < mstart[k + 1]; ++q) {
      if (mcols[q] < 0 || mcols[q] >= ncols)
        raise(KRVU_ERR_ARGUMENT, "%s: mcols[%lld] = %d is out of range [0, %d)", F, static_cast<long long>(q),
              mcols[q], ncols);
      require_coef(dmatval[q], F, "dmatval", q);
      e[mcols[q]] += dmatval[q];
    }
    for (const auto &p : e)
      if (p.second != 0) {
        c.ind.push_back(p.first);
        c.val.push_back(p.second);
      }
  }
  return cuts;
}

// The user cut a handle names; refused when the pool holds no such cut.
Cut &cut_of(CutPool &pool, const void *h, const char *F, const char *arg, int k) {
  Cut *c = pool.find(cut_id(h));
  if (!c || c->origin != 'U') raise(KRVU_ERR_ARGUMENT, "%s: %s[%d] is not a cut of this problem's pool", F, arg, k);
  return *c;
}

// The user cuts ncuts and cutind select (ncuts -1: every cut of the pool)
// that match the type.
std::vector<int64_t> selected(CutPool &pool, int itype, int interp, int ncuts, void *const cutind[], const char *F,
                              const char *arg) {
  require_interp(interp, F);
  if (ncuts < -1) raise(KRVU_ERR_ARGUMENT, "%s: argument 'ncuts' = %d is less than -1", F, ncuts);
  std::vector<int64_t> ids;
  if (ncuts == -1) {
    for (const auto &p : pool)
      if (p.second.origin == 'U' && cut_type_matches(p.second.type, itype, interp)) ids.push_back(p.first);
    return ids;
  }
  if (ncuts > 0) require_ptr(cutind, F, arg);
  for (int k = 0; k < ncuts; ++k) {
    const Cut &c = cut_of(pool, cutind[k], F, arg, k);
    if (cut_type_matches(c.type, itype, interp)) ids.push_back(c.id);
  }
  return ids;
}

const std::vector<double> *node_x(const krvu_prob_s *prob) {
  return prob->stage.load() == kStageCallback && prob->node ? prob->node->x : nullptr;
}

// Strong branching, with or without a callback per probe.
struct ProbeCall {
  krvu_prob_s *prob;
  KRVU_cbstrongbranch cb;
  void *data;
  const Searcher *s;
};

int each_probe(void *d, int k, bool solved, const std::vector<double> &lo, const std::vector<double> &up) {
  ProbeCall &pc = *static_cast<ProbeCall *>(d);
  // The probe's solution is what the callback's queries see; node members
  // are not reached from here, the node being in the middle of a probe.
  NodeContext c;
  c.sense = pc.s->sense();
  c.lo = &lo;
  c.up = &up;
  if (solved) {
    c.x = &pc.s->lp().x();
    c.ract = &pc.s->lp().row_activity();
    c.rdual = &pc.s->lp().row_dual();
    c.cdual = &pc.s->lp().col_dual();
  }
  NodeScope scope(pc.prob, &c);
  StageScope in(pc.prob, kStageCallback);
  return pc.cb(pc.prob, pc.data, k);
}

int strong_branch(krvu_prob_s *prob, const char *F, int n, const int *cols, const char *type, const double *val,
                  int itrlimit, double *obj, int *status, KRVU_cbstrongbranch cb, void *data) {
  require_count(n, F, "nbnds");
  const int ncols = problem_cols(prob);
  require_indices(n, cols, ncols, F, "mbndind");
  if (n > 0) {
    require_ptr(type, F, "cbndtype");
    require_ptr(val, F, "dbndval");
    require_ptr(obj, F, "objvals");
    require_ptr(status, F, "statuses");
  }
  for (int k = 0; k < n; ++k) {
    if (type[k] != 'L' && type[k] != 'U' && type[k] != 'B')
      raise(KRVU_ERR_ARGUMENT, "%s: cbndtype[%d] = '%c' is not 'L', 'U' or 'B'", F, k, type[k] ? type[k] : '?');
    if (std::isnan(val[k])) raise(KRVU_ERR_ARGUMENT, "%s: dbndval[%d] is not a number", F, k);
  }
  ProbeCall pc{prob, cb, data, nullptr};
  Searcher::ProbeFn fn = cb ? &each_probe : nullptr;
  if (Searcher *s = node_search(prob)) {
    // Only there does the engine hold the node's solved relaxation.
    if (!s->in_optnode())
      raise(KRVU_ERR_STATE, "%s: strong branching at a node works from its optnode callbacks only", F);
    pc.s = s;
    s->probe(n, cols, type, val, itrlimit, obj, status, fn, &pc);
    return 0;
  }
  if (prob->stage.load() != kStageIdle)
    raise(KRVU_ERR_STATE, "%s: strong branching works on a node of the search from its node callbacks, or on "
          "the problem while it is idle", F);
  // Outside a solve: the root relaxation of a search that never runs.
  const ModelData &work = read_model(prob);
  SearchControls ctl;
  ctl.feastol = ctl_dbl(prob, 7001);
  ctl.cut_rounds = 0;
  SearchHooks hooks;
  std::atomic<bool> never{false};
  std::unique_ptr<Searcher> made;
  try {
    made.reset(new Searcher(work, ctl, hooks, never));
  } catch (const Error &e) {
    raise(e.code, "%s: %s", F, e.what());
  }
  Searcher &s = *made;
  pc.s = &s;
  s.probe_root(n, cols, type, val, itrlimit, obj, status, fn, &pc);
  return 0;
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUaddcuts64(KRVUprob prob, int ncuts, const int mtype[], const char rtype[], const double rhs[],
                  const int64_t mstart[], const int mcols[], const double dmatval[]) {
  const char *F = "KRVUaddcuts64";
  return guarded(prob, F, [&] {
    Searcher &s = require_node(prob, F);
    std::vector<Cut> cuts = read_cuts(prob, ncuts, mtype, rtype, rhs, mstart, mcols, dmatval, F);
    std::vector<int64_t> ids;
    for (Cut &c : cuts) ids.push_back(s.pool().add(std::move(c), true));
    s.load_cuts(ids);
    return 0;
  });
}

int KRVUstorecuts64(KRVUprob prob, int ncuts, int nodupl, const int mtype[], const char rtype[],
                    const double rhs[], const int64_t mstart[], void *mindex[], const int mcols[],
                    const double dmatval[]) {
  const char *F = "KRVUstorecuts64";
  return guarded(prob, F, [&] {
    UserPool &up = require_pool(prob, F);
    std::vector<Cut> cuts = read_cuts(prob, ncuts, mtype, rtype, rhs, mstart, mcols, dmatval, F);
    if (ncuts > 0) require_ptr(mindex, F, "mindex");
    for (int k = 0; k < ncuts; ++k) mindex[k] = cut_handle(up.cuts.add(std::move(cuts[k]), nodupl != 0));
    return 0;
  });
}

int KRVUloadcuts(KRVUprob prob, int itype, int interp, int ncuts, void *const cutind[]) {
  const char *F = "KRVUloadcuts";
  return guarded(prob, F, [&] {
    Searcher &s = require_node(prob, F);
    s.load_cuts(selected(s.pool(), itype, interp, ncuts, cutind, F, "cutind"));
    return 0;
  });
}

int KRVUdelcuts(KRVUprob prob, int ibasis, int itype, int interp, double delta, int ncuts, void *const cutind[]) {
  const char *F = "KRVUdelcuts";
  return guarded(prob, F, [&] {
    Searcher &s = require_node(prob, F);
    if (ibasis != 0 && ibasis != 1) raise(KRVU_ERR_ARGUMENT, "%s: argument 'ibasis' = %d is not 0 or 1", F, ibasis);
    if (std::isnan(delta)) raise(KRVU_ERR_ARGUMENT, "%s: argument 'delta' is not a number", F);
    std::vector<int64_t> ids = selected(s.pool(), itype, interp, ncuts, cutind, F, "cutind");
    // Without a solved relaxation (a prenode callback) slacks are unknown,
    // and delta selects nothing out.
    if (const std::vector<double> *x = node_x(prob)) {
      std::vector<int64_t> keep;
      for (int64_t id : ids)
        if (CutPool::slack(*s.pool().find(id), x->data()) > delta) keep.push_back(id);
      ids.swap(keep);
    }
    s.unload_cuts(ids, ibasis == 0);
    return 0;
  });
}

int KRVUdelcpcuts(KRVUprob prob, int itype, int interp, int ncuts, void *const cutind[]) {
  const char *F = "KRVUdelcpcuts";
  return guarded(prob, F, [&] {
    UserPool &up = require_pool(prob, F);
    for (int64_t id : selected(up.cuts, itype, interp, ncuts, cutind, F, "cutind")) up.cuts.remove(id);
    return 0;
  });
}

int KRVUsetbranchcuts(KRVUprob prob, int ncuts, void *const mindex[]) {
  const char *F = "KRVUsetbranchcuts";
  return guarded(prob, F, [&] {
    Searcher &s = require_node(prob, F);
    if (!s.in_optnode()) raise(KRVU_ERR_STATE, "%s: a node's branching is set from an optnode callback only", F);
    require_count(ncuts, F, "ncuts");
    if (ncuts > 0) require_ptr(mindex, F, "mindex");
    std::vector<int64_t> ids;
    for (int k = 0; k < ncuts; ++k) ids.push_back(cut_of(s.pool(), mindex[k], F, "mindex", k).id);
    if (!s.add_branch_cuts(ids))
      raise(KRVU_ERR_STATE, "%s: the node has no branch yet: set one with KRVUsetbranchbounds first", F);
    return 0;
  });
}

int KRVUgetcutlist(KRVUprob prob, int itype, int interp, int *p_ncuts, int size, void *cutind[]) {
  const char *F = "KRVUgetcutlist";
  return guarded(prob, F, [&] {
    Searcher &s = require_node(prob, F);
    require_interp(interp, F);
    require_ptr(p_ncuts, F, "p_ncuts");
    if (size < 0) raise(KRVU_ERR_ARGUMENT, "%s: argument 'size' = %d is negative", F, size);
    int n = 0;
    for (int64_t id : s.node_cuts()) {
      const Cut *c = s.pool().find(id);
      if (!c || c->origin != 'U' || !cut_type_matches(c->type, itype, interp)) continue;
      if (cutind && n < size) cutind[n] = cut_handle(id);
      ++n;
    }
    *p_ncuts = n;
    return 0;
  });
}

int KRVUgetcpcutlist(KRVUprob prob, int itype, int interp, int *p_ncuts, int size, void *cutind[], double delta,
                     double viol[]) {
  const char *F = "KRVUgetcpcutlist";
  return guarded(prob, F, [&] {
    UserPool &up = require_pool(prob, F);
    require_interp(interp, F);
    require_ptr(p_ncuts, F, "p_ncuts");
    if (size < 0) raise(KRVU_ERR_ARGUMENT, "%s: argument 'size' = %d is negative", F, size);
    if (std::isnan(delta)) raise(KRVU_ERR_ARGUMENT, "%s: argument 'delta' is not a number", F);
    const std::vector<double> *x = node_x(prob);
    int n = 0;
    for (const auto &p : up.cuts) {
      const Cut &c = p.second;
      if (c.origin != 'U' || !cut_type_matches(c.type, itype, interp)) continue;
      const double v = x ? CutPool::violation(c, x->data()) : 0.0;
      if (!(v > delta)) continue;
      if (n < size) {
        if (cutind) cutind[n] = cut_handle(p.first);
        if (viol) viol[n] = v;
      }
      ++n;
    }
    *p_ncuts = n;
    return 0;
  });
}

int KRVUgetcpcuts64(KRVUprob prob, void *const cutind[], int ncuts, int64_t size, int mtype[], char rtype[],
                    int64_t mstart[], int mcols[], double dmatval[], double rhs[]) {
  const char *F = "KRVUgetcpcuts64";
  return guarded(prob, F, [&] {
    UserPool &up = require_pool(prob, F);
    require_count(ncuts, F, "ncuts");
    if (size < 0) raise(KRVU_ERR_ARGUMENT, "%s: argument 'size' = %lld is negative", F, static_cast<long long>(size));
    if (ncuts > 0) require_ptr(cutind, F, "cutind");
    std::vector<const Cut *> cuts;
    for (int k = 0; k < ncuts; ++k) cuts.push_back(&cut_of(up.cuts, cutind[k], F, "cutind", k));
    int64_t e = 0;
    for (int k = 0; k < ncuts; ++k) {
      const Cut &c = *cuts[k];
      if (mtype) mtype[k] = c.type;
      const char t = !std::isfinite(c.lo) ? 'L' : !std::isfinite(c.up) ? 'G' : 'E';
      if (rtype) rtype[k] = t;
      if (rhs) rhs[k] = t == 'L' ? c.up : c.lo;
      if (mstart) mstart[k] = e;
      for (size_t q = 0; q < c.ind.size(); ++q, ++e)
        if (e < size) {
          if (mcols) mcols[e] = c.ind[q];
          if (dmatval) dmatval[e] = c.val[q];
        }
    }
    if (mstart) mstart[ncuts] = e;
    return 0;
  });
}

int KRVUgetcutmap(KRVUprob prob, int ncuts, void *const cuts[], int cutmap[]) {
  const char *F = "KRVUgetcutmap";
  return guarded(prob, F, [&] {
    Searcher &s = require_node(prob, F);
    require_count(ncuts, F, "ncuts");
    if (ncuts > 0) {
      require_ptr(cuts, F, "cuts");
      require_ptr(cutmap, F, "cutmap");
    }
    std::vector<int> row(ncuts, -1);
    const std::vector<int64_t> &lp = s.node_cuts();
    for (int k = 0; k < ncuts; ++k) {
      const int64_t id = cut_of(s.pool(), cuts[k], F, "cuts", k).id;
      auto it = std::find(lp.begin(), lp.end(), id);
      if (it != lp.end()) row[k] = s.model_rows() + static_cast<int>(it - lp.begin());
    }
    std::copy(row.begin(), row.end(), cutmap);
    return 0;
  });
}

int KRVUgetcutslack(KRVUprob prob, void *cut, double *p_slack) {
  const char *F = "KRVUgetcutslack";
  return guarded(prob, F, [&] {
    Searcher &s = require_node(prob, F);
    require_ptr(p_slack, F, "p_slack");
    const Cut &c = cut_of(s.pool(), cut, F, "cut", 0);
    const std::vector<double> *x = node_x(prob);
    if (!x) raise(KRVU_ERR_STATE, "%s: the node's relaxation is not solved yet", F);
    *p_slack = CutPool::slack(c, x->data());
    return 0;
  });
}

int KRVUstorebounds(KRVUprob prob, int nbnds, const int mcols[], const char bndtype[], const double bnds[],
                    void **p_bounds) {
  const char *F = "KRVUstorebounds";
  return guarded(prob, F, [&] {
    UserPool &up = require_pool(prob, F);
    require_ptr(p_bounds, F, "p_bounds");
    require_count(nbnds, F, "nbnds");
    require_indices(nbnds, mcols, problem_cols(prob), F, "mcols");
    if (nbnds > 0) {
      require_ptr(bndtype, F, "bndtype");
      require_ptr(bnds, F, "bnds");
    }
    StoredBounds b;
    for (int k = 0; k < nbnds; ++k) {
      const char t = bndtype[k];
      if (t != 'L' && t != 'U' && t != 'B')
        raise(KRVU_ERR_ARGUMENT, "%s: bndtype[%d] = '%c' is not 'L', 'U' or 'B'", F, k, t ? t : '?');
      if (t != 'U') require_lower(bnds[k], F, "bnds", k);
      if (t != 'L') require_upper(bnds[k], F, "bnds", k);
      b.cols.push_back(mcols[k]);
      b.type.push_back(t);
      b.val.push_back(bnds[k]);
    }
    up.bounds.push_back(std::move(b));
    *p_bounds = &up.bounds.back();
    return 0;
  });
}

int KRVUsetbranchbounds(KRVUprob prob, void *bounds) {
  const char *F = "KRVUsetbranchbounds";
  return guarded(prob, F, [&] {
    Searcher &s = require_node(prob, F);
    if (!s.in_optnode()) raise(KRVU_ERR_STATE, "%s: a node's branching is set from an optnode callback only", F);
    require_ptr(bounds, F, "bounds");
    const UserPool &up = user_pool(prob);
    auto it = std::find_if(up.bounds.begin(), up.bounds.end(), [&](const StoredBounds &b) { return &b == bounds; });
    if (it == up.bounds.end())
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'bounds' is not a bound set stored with KRVUstorebounds on this problem",
            F);
    s.add_branch(*it);
    return 0;
  });
}

int KRVUstrongbranch(KRVUprob prob, int nbnds, const int mbndind[], const char cbndtype[], const double dbndval[],
                     int itrlimit, double objvals[], int statuses[]) {
  const char *F = "KRVUstrongbranch";
  return guarded(prob, F, [&] {
    return strong_branch(prob, F, nbnds, mbndind, cbndtype, dbndval, itrlimit, objvals, statuses, nullptr, nullptr);
  });
}

int KRVUstrongbranchcb(KRVUprob prob, int nbnds, const int mbndind[], const char cbndtype[], const double dbndval[],
                       int itrlimit, double objvals[], int statuses[], KRVU_cbstrongbranch solvecb, void *data) {
  const char *F = "KRVUstrongbranchcb";
  return guarded(prob, F, [&] {
    require_ptr(reinterpret_cast<void *>(solvecb), F, "solvecb");
    return strong_branch(prob, F, nbnds, mbndind, cbndtype, dbndval, itrlimit, objvals, statuses, solvecb, data);
  });
}

}  // extern "C"
