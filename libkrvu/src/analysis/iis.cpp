// Irreducible infeasible sets: an elastic filter finds an infeasible
// subsystem, a deletion filter makes it irreducible, and further sets are
// found by removing a member of each set found so far (a hitting set).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>

#include "analysis/elastic.h"
#include "analysis/state.h"
#include "core/common.h"
#include "core/prob.h"
#include "lp/solver_state.h"
#include "model/store.h"

namespace krvu {

AnalysisState &analysis_state(krvu_prob_s *prob) {
  SolverState &s = *prob->data->solver;
  if (!s.analysis) s.analysis.reset(new AnalysisState());
  return *s.analysis;
}

namespace {

enum SetStatus { kFound = 0, kNone = 1, kEarly = 2 };

// The data of a set of members: rows and bounds with their multipliers and
// the least violation when the set alone is elastic.
void describe(ElasticSystem &es, const std::vector<int> &ids, const ModelData &m, IisSet &out) {
  std::vector<char> st(es.members(), kRemoved);
  for (int k : ids) st[k] = kElastic;
  double v = 0;
  std::vector<double> y;
  ElasticOutcome o = es.solve_relaxation(st, &v, &y);
  const bool certified = o == kViolated;
  if (!certified) y.assign(es.members(), 0.0);
  out = IisSet();
  out.member_ids = ids;
  for (int k : ids) {
    const Member &mb = es.member(k);
    if (mb.row >= 0) {
      const char t = m.rowtype[mb.row];
      out.rows.push_back(mb.row);
      out.rowtype.push_back(t == 'R' ? (y[k] > 0 ? 'G' : 'L') : t);
      out.rowdual.push_back(y[k]);
      out.rowiso.push_back(-1);
    } else {
      out.cols.push_back(mb.col);
      out.bndtype.push_back(mb.kind);
      out.coldual.push_back(y[k]);
      out.coliso.push_back(-1);
    }
  }
  out.suminfeas = certified ? v : 0.0;
  out.numinfeas = 0;
  if (es.integer()) {
    // The least violation of the integer problem.
    es.set_states(st);
    ElasticOutcome oi = es.solve();
    if (oi == kViolated || oi == kFeasible) {
      out.suminfeas = es.violation();
      out.numinfeas = static_cast<int>(es.violated().size());
    }
  } else if (certified) {
    out.numinfeas = static_cast<int>(es.violated().size());
  }
}

// Finds a set among the allowed members (the others removed): the elastic
// filter hardens the members an elastic solve violates until the hard ones
// conflict; the deletion filter then drops every member without which the
// rest still conflicts.  Each solve starts from the last one's basis.
SetStatus find_set(krvu_prob_s *prob, ElasticSystem &es, const std::vector<char> &allowed,
                   bool irreducible, std::vector<int> &initial, std::vector<int> &result) {
  const int nm = es.members();
  std::vector<char> st(nm, kRemoved);
  for (int k = 0; k < nm; ++k)
    if (allowed[k]) st[k] = kElastic;
  std::vector<int> hardened;
  for (int round = 0;; ++round) {
    es.set_states(st);
    ElasticOutcome o = es.solve();
    if (o == kStopped) return kEarly;
    if (o == kFeasible) {
      if (round == 0) return kNone;
      // The hard members and the rest elastic at no violation: the allowed
      // members were feasible after all (within tolerances).
      log_code(prob, KRVU_MSG_WARNING, KRVU_MSGCODE_IIS,
               "infeasibility analysis: the elastic filter lost the conflict (tolerances); "
               "stopping");
      return kEarly;
    }
    if (o == kInfeasible) break;
    std::vector<int> v = es.violated();
    if (v.empty()) return round == 0 ? kNone : kEarly;
    for (int k : v) {
      st[k] = kHard;
      hardened.push_back(k);
    }
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_IIS,
             "elastic filter round %d: %zu members hardened, violation %.6g", round + 1, v.size(),
             es.violation());
  }
  initial = hardened;
  std::sort(initial.begin(), initial.end());
  if (!irreducible) {
    result = initial;
    return kFound;
  }
  // Deletion filter over the infeasible subsystem.
  for (int k = 0; k < nm; ++k)
    if (st[k] != kHard) st[k] = kRemoved;
  for (int k : hardened) {
    if (st[k] != kHard) continue;  // dropped with a ray already
    st[k] = kRemoved;
    es.set_states(st);
    ElasticOutcome o = es.solve();
    if (o == kStopped) {
      st[k] = kHard;
      result.clear();
      for (int j = 0; j < nm; ++j)
        if (st[j] == kHard) result.push_back(j);
      return kEarly;
    }
    if (o != kInfeasible) {
      st[k] = kHard;  // needed: without it the rest is feasible
      continue;
    }
    // Still infeasible: a checked Farkas ray of this solve proves that its
    // members alone conflict, so every other hard member goes at once.
    std::vector<char> support;
    if (es.ray_support(support))
      for (int j = 0; j < nm; ++j)
        if (st[j] == kHard && !support[j]) st[j] = kRemoved;
  }
  result.clear();
  for (int j = 0; j < nm; ++j)
    if (st[j] == kHard) result.push_back(j);
  return kFound;
}

ElasticSystem &system_of(krvu_prob_s *prob, IisState &iis, bool integer, const char *func) {
  if (!iis.system || iis.system->integer() != integer)
    iis.system = std::make_shared<ElasticSystem>(prob, integer, func);
  return *iis.system;
}

void record_work(krvu_prob_s *prob, IisState &iis, std::chrono::steady_clock::time_point t0) {
  iis.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (iis.system) {
    iis.lp_solves = iis.system->solves();
    iis.iterations = iis.system->iterations();
  }
  attr_set_int(prob, 1301, iis.lp_solves);
  attr_set_dbl(prob, 2301, iis.seconds);
}

void log_set(krvu_prob_s *prob, const IisSet &s, int num) {
  log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_IISSUMMARY,
           "infeasible set %d: %zu rows, %zu bounds, least violation %.6g", num, s.rows.size(),
           s.cols.size(), s.suminfeas);
}

// A new set: iisfirst's search.
int first(krvu_prob_s *prob, int mode, const char *func) {
  auto t0 = std::chrono::steady_clock::now();
  AnalysisState &as = analysis_state(prob);
  as.iis = IisState();
  IisState &iis = as.iis;
  const ModelData &m = read_model(prob);
  ElasticSystem &es = system_of(prob, iis, mode != 2, func);
  iis.started = true;
  iis.mip = es.integer();
  iis.mode = mode;
  std::vector<char> allowed(es.members(), 1);
  std::vector<int> initial, result;
  SetStatus st = find_set(prob, es, allowed, mode != 0, initial, result);
  if (st == kNone) {
    iis.exhausted = true;
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_IIS, "infeasibility analysis: the problem is feasible");
  }
  if (!initial.empty()) describe(es, initial, m, iis.initial);
  if (!result.empty()) {
    IisSet s;
    describe(es, result, m, s);
    iis.sets.push_back(std::move(s));
    log_set(prob, iis.sets.back(), 1);
  }
  record_work(prob, iis, t0);
  return st;
}

bool contains_all(const std::vector<int> &big, const std::vector<int> &small) {
  return std::includes(big.begin(), big.end(), small.begin(), small.end());
}

// Whether the problem is still infeasible with the members of h removed.
ElasticOutcome check_removed(ElasticSystem &es, const std::vector<int> &h) {
  std::vector<char> st(es.members(), kHard);
  for (int k : h) st[k] = kRemoved;
  es.set_states(st);
  return es.solve();
}

// Depth-first search for a set of removed members that meets every set
// found (so whatever set it leaves is new) and leaves the problem
// infeasible.
struct HittingSearch {
  krvu_prob_s *prob;
  ElasticSystem &es;
  IisState &iis;
  std::set<std::vector<int>> visited;
  int checks = 0;
  bool stopped = false;
  std::vector<int> found;  // the hitting set that leaves a conflict

  bool dead(const std::vector<int> &h) const {
    for (const auto &d : iis.dead)
      if (contains_all(h, d)) return true;
    return false;
  }
  bool run(std::vector<int> h, size_t depth) {
    std::sort(h.begin(), h.end());
    if (!visited.insert(h).second || dead(h)) return false;
    const IisSet *unhit = nullptr;
    for (const IisSet &s : iis.sets) {
      bool hit = false;
      for (int k : s.member_ids)
        if (std::binary_search(h.begin(), h.end(), k)) {
          hit = true;
          break;
        }
      if (!hit) {
        unhit = &s;
        break;
      }
    }
    if (!unhit) {
      if (es.out_of_time() || prob->data->solver->interrupt.load()) {
        stopped = true;
        return false;
      }
      ++checks;
      ElasticOutcome o = check_removed(es, h);
      if (o == kStopped) {
        stopped = true;
        return false;
      }
      if (o == kInfeasible) {
        found = h;
        return true;
      }
      iis.dead.push_back(h);
      return false;
    }
    if (h.size() >= depth) return false;
    for (int k : unhit->member_ids) {
      std::vector<int> g = h;
      g.push_back(k);
      if (run(g, depth)) return true;
      if (stopped) return false;
    }
    return false;
  }
};

int next(krvu_prob_s *prob, const char *func) {
  auto t0 = std::chrono::steady_clock::now();
  IisState &iis = analysis_state(prob).iis;
  if (!iis.started)
    raise(KRVU_ERR_STATE, "%s: no infeasibility analysis has started (call KRVUiisfirst first)",
          func);
  if (iis.exhausted || iis.sets.empty() || !iis.system) return kNone;
  ElasticSystem &es = *iis.system;
  const ModelData &m = read_model(prob);
  HittingSearch hs{prob, es, iis, {}, 0, false, {}};
  bool found = false;
  for (size_t depth = 1; depth <= iis.sets.size() && !found && !hs.stopped; ++depth) {
    hs.visited.clear();
    found = hs.run({}, depth);
  }
  int status = kNone;
  if (found) {
    std::vector<char> allowed(es.members(), 1);
    for (int k : hs.found) allowed[k] = 0;
    std::vector<int> initial, result;
    SetStatus st = find_set(prob, es, allowed, iis.mode != 0, initial, result);
    if (!result.empty()) {
      IisSet s;
      describe(es, result, m, s);
      iis.sets.push_back(std::move(s));
      log_set(prob, iis.sets.back(), static_cast<int>(iis.sets.size()));
    }
    status = st == kFound ? kFound : kEarly;
  } else if (hs.stopped) {
    status = kEarly;
  } else {
    iis.exhausted = true;
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_IIS,
             "infeasibility analysis: no further infeasible set (%zu found)", iis.sets.size());
  }
  record_work(prob, iis, t0);
  return status;
}

const IisSet &set_of(krvu_prob_s *prob, int num, bool allow_initial, const char *func) {
  IisState &iis = analysis_state(prob).iis;
  const int n = static_cast<int>(iis.sets.size());
  if (num < (allow_initial ? 0 : 1) || num > n)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'num' = %d is not a set number (%s%d sets found)", func,
          num, allow_initial ? "0 for the initial subsystem, or 1 to " : "1 to ", n);
  if (num == 0) return iis.initial;
  return iis.sets[num - 1];
}

}  // namespace

// Used by the set writer.
const IisSet &iis_set(krvu_prob_s *prob, int num, const char *func) {
  return set_of(prob, num, true, func);
}
bool iis_is_integer(krvu_prob_s *prob) { return analysis_state(prob).iis.mip; }

}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUiisfirst(KRVUprob prob, int iismode, int *status) {
  const char *F = "KRVUiisfirst";
  return guarded(prob, F, [&] {
    require_ptr(status, F, "status");
    if (iismode < 0 || iismode > 2)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'iismode' = %d is not 0, 1 or 2", F, iismode);
    prob->data->solver->interrupt.store(false);
    *status = first(prob, iismode, F);
    return 0;
  });
}

int KRVUiisnext(KRVUprob prob, int *status) {
  const char *F = "KRVUiisnext";
  return guarded(prob, F, [&] {
    require_ptr(status, F, "status");
    prob->data->solver->interrupt.store(false);
    *status = next(prob, F);
    return 0;
  });
}

int KRVUiisall(KRVUprob prob) {
  const char *F = "KRVUiisall";
  return guarded(prob, F, [&] {
    prob->data->solver->interrupt.store(false);
    IisState &iis = analysis_state(prob).iis;
    if (!iis.started && first(prob, 1, F) != kFound) return 0;
    const int64_t most = ctl_int(prob, 8301);
    while (static_cast<int64_t>(analysis_state(prob).iis.sets.size()) < most)
      if (next(prob, F) != kFound) break;
    return 0;
  });
}

int KRVUiisstatus(KRVUprob prob, int *niis, int rowsizes[], int colsizes[], double suminfeas[],
                  int numinfeas[]) {
  const char *F = "KRVUiisstatus";
  return guarded(prob, F, [&] {
    require_ptr(niis, F, "niis");
    IisState &iis = analysis_state(prob).iis;
    const int n = static_cast<int>(iis.sets.size());
    *niis = n;
    for (int k = 0; k <= n; ++k) {
      const IisSet &s = k == 0 ? iis.initial : iis.sets[k - 1];
      if (rowsizes) rowsizes[k] = static_cast<int>(s.rows.size());
      if (colsizes) colsizes[k] = static_cast<int>(s.cols.size());
      if (suminfeas) suminfeas[k] = s.suminfeas;
      if (numinfeas) numinfeas[k] = s.numinfeas;
    }
    return 0;
  });
}

int KRVUgetiisdata(KRVUprob prob, int num, int *nrows, int *ncols, int miisrow[], int miiscol[],
                   char constrainttype[], char colbndtype[], double duals[], double rdcs[],
                   char isolationrows[], char isolationcols[]) {
  const char *F = "KRVUgetiisdata";
  return guarded(prob, F, [&] {
    require_ptr(nrows, F, "nrows");
    require_ptr(ncols, F, "ncols");
    const IisSet &s = set_of(prob, num, true, F);
    *nrows = static_cast<int>(s.rows.size());
    *ncols = static_cast<int>(s.cols.size());
    for (int k = 0; k < *nrows; ++k) {
      if (miisrow) miisrow[k] = s.rows[k];
      if (constrainttype) constrainttype[k] = s.rowtype[k];
      if (duals) duals[k] = s.rowdual[k];
      if (isolationrows) isolationrows[k] = static_cast<char>(s.rowiso[k]);
    }
    for (int k = 0; k < *ncols; ++k) {
      if (miiscol) miiscol[k] = s.cols[k];
      if (colbndtype) colbndtype[k] = s.bndtype[k];
      if (rdcs) rdcs[k] = s.coldual[k];
      if (isolationcols) isolationcols[k] = static_cast<char>(s.coliso[k]);
    }
    return 0;
  });
}

int KRVUiisisolations(KRVUprob prob, int num) {
  const char *F = "KRVUiisisolations";
  return guarded(prob, F, [&] {
    set_of(prob, num, false, F);
    IisState &iis = analysis_state(prob).iis;
    IisSet &s = iis.sets[num - 1];
    if (!iis.system)
      raise(KRVU_ERR_STATE, "%s: the analysis no longer holds its work data", F);
    ElasticSystem &es = *iis.system;
    auto t0 = std::chrono::steady_clock::now();
    // Least violation of the problem without the whole set, then without
    // each member alone.
    std::vector<char> st(es.members(), kElastic);
    for (int k : s.member_ids) st[k] = kRemoved;
    es.set_states(st);
    ElasticOutcome o = es.solve();
    if (o == kStopped || o == kInfeasible)
      raise(KRVU_ERR_SOLVER, "%s: the elastic problem without set %d could not be solved", F, num);
    const double base = o == kFeasible ? 0.0 : es.violation();
    const double tol = std::max(ctl_dbl(prob, 7001), 1e-9) * (1 + std::fabs(base));
    size_t ri = 0, ci = 0;
    for (int k : s.member_ids) {
      std::fill(st.begin(), st.end(), static_cast<char>(kElastic));
      st[k] = kRemoved;
      es.set_states(st);
      ElasticOutcome ok = es.solve();
      if (ok == kStopped || ok == kInfeasible)
        raise(KRVU_ERR_SOLVER, "%s: an elastic problem could not be solved", F);
      const double v = ok == kFeasible ? 0.0 : es.violation();
      const signed char iso = v <= base + tol ? 1 : 0;
      if (es.member(k).row >= 0) s.rowiso[ri++] = iso;
      else s.coliso[ci++] = iso;
    }
    record_work(prob, iis, t0);
    return 0;
  });
}

int KRVUiisclear(KRVUprob prob) {
  return guarded(prob, "KRVUiisclear", [&] {
    analysis_state(prob).iis = IisState();
    return 0;
  });
}

}  // extern "C"
