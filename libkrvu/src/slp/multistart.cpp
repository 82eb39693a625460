// Multistart: the queue of jobs (KSLPmsaddjob and the presets) and the run
// that solves each job on a working copy of the problem, on worker threads,
// and keeps the best result.
#include "slp/multistart.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>

#include "core/common.h"
#include "lp/solver_state.h"
#include "model/store.h"
#include "params/table.h"
#include "slp/ipm.h"
#include "slp/slpcb.h"
#include "slp/slpprob.h"

using namespace krvu;
using krvu::slp::MsJob;

namespace {

constexpr double kInf = KRVU_INFINITY;

void release_all(KSLPprob slp) {
  std::vector<MsJob> jobs;
  jobs.swap(slp->msjobs);
  if (slp->msrelease)
    for (MsJob &j : jobs)
      if (j.job) slp->msrelease(j.job);
}

// A job from the caller's arrays, each checked against the problem.
MsJob make_job(KSLPprob slp, const char *F, const char *description, int ninitial,
               const int colind[], const double initval[], int nint, const int intid[],
               const int intval[], int ndbl, const int dblid[], const double dblval[], void *job) {
  const int ncols = slp::model_cols(slp);
  if (ninitial < 0) raise(KRVU_ERR_ARGUMENT, "%s: argument 'ninitial' must not be negative", F);
  if (nint < 0) raise(KRVU_ERR_ARGUMENT, "%s: argument 'nint' must not be negative", F);
  if (ndbl < 0) raise(KRVU_ERR_ARGUMENT, "%s: argument 'ndbl' must not be negative", F);
  if (ninitial > 0) {
    require_ptr(colind, F, "colind");
    require_ptr(initval, F, "initval");
  }
  if (nint > 0) {
    require_ptr(intid, F, "intid");
    require_ptr(intval, F, "intval");
  }
  if (ndbl > 0) {
    require_ptr(dblid, F, "dblid");
    require_ptr(dblval, F, "dblval");
  }
  MsJob j;
  j.description = description ? description : "";
  for (int k = 0; k < ninitial; ++k) {
    if (colind[k] < 0 || colind[k] >= ncols)
      raise(KRVU_ERR_ARGUMENT, "%s: colind[%d] = %d is not a column (the problem has %d)", F, k,
            colind[k], ncols);
    if (!std::isfinite(initval[k]))
      raise(KRVU_ERR_ARGUMENT, "%s: initval[%d] is not a finite number", F, k);
    j.cols.push_back(colind[k]);
    j.vals.push_back(initval[k]);
  }
  auto check_control = [&](int id, bool integer, const char *arg, int k) {
    const int at = param_index(id);
    const bool ok = at >= 0 && param_table()[at].kind == kControl &&
                    (integer ? (param_table()[at].type == KRVU_TYPE_INT ||
                                param_table()[at].type == KRVU_TYPE_INT64)
                             : param_table()[at].type == KRVU_TYPE_DOUBLE);
    if (!ok)
      raise(KRVU_ERR_ARGUMENT, "%s: %s[%d] = %d is not %s control", F, arg, k, id,
            integer ? "an integer" : "a double");
  };
  for (int k = 0; k < nint; ++k) {
    check_control(intid[k], true, "intid", k);
    j.ictl.emplace_back(intid[k], intval[k]);
  }
  for (int k = 0; k < ndbl; ++k) {
    check_control(dblid[k], false, "dblid", k);
    j.dctl.emplace_back(dblid[k], dblval[k]);
  }
  j.job = job;
  return j;
}

// Random start points within the bounds (or around the start where a bound
// is infinite).
std::vector<std::vector<double>> random_points(KSLPprob slp, int count, std::mt19937_64 &gen) {
  const ModelData &md = read_model(slp->prob);
  const int n = md.ncols();
  std::vector<std::vector<double>> pts;
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int k = 0; k < count; ++k) {
    std::vector<double> x(n);
    for (int j = 0; j < n; ++j) {
      auto it = slp->vars.find(j);
      double start = it != slp->vars.end() && std::isfinite(it->second.initvalue) ? it->second.initvalue : 0.0;
      double span = 10.0 * std::max(1.0, std::fabs(start));
      double lo = md.lb[j] > -kInf ? md.lb[j] : std::min(start, md.ub[j]) - span;
      double up = md.ub[j] < kInf ? md.ub[j] : std::max(start, lo) + span;
      if (md.lb[j] <= -kInf && md.ub[j] >= kInf) {
        lo = start - span;
        up = start + span;
      }
      x[j] = lo + (up - lo) * u(gen);
    }
    pts.push_back(std::move(x));
  }
  return pts;
}

MsJob point_job(const std::string &desc, const std::vector<double> &x, void *job) {
  MsJob j;
  j.description = desc;
  for (size_t c = 0; c < x.size(); ++c) {
    j.cols.push_back(static_cast<int>(c));
    j.vals.push_back(x[c]);
  }
  j.job = job;
  return j;
}

// The jobs of a preset.
std::vector<MsJob> preset_jobs(KSLPprob slp, const char *F, const char *description, int preset,
                               int count, void *job) {
  if (count < 0) raise(KRVU_ERR_ARGUMENT, "%s: argument 'count' must not be negative", F);
  const std::string base = description ? description : "";
  std::mt19937_64 gen(0x5eedULL + slp->msadded * 7919ULL);
  std::vector<MsJob> jobs;
  auto named = [&](int k) { return base + " " + std::to_string(k + 1); };
  int available = 0;
  KSLPipmavailable(&available);
  switch (preset) {
    case KSLP_MSSET_INITIALVALUES: {
      auto pts = random_points(slp, count, gen);
      for (int k = 0; k < count; ++k) jobs.push_back(point_job(named(k), pts[k], job));
      break;
    }
    case KSLP_MSSET_INITIALFILTERED: {
      auto pts = random_points(slp, 4 * count, gen);
      struct Scored {
        double inf, obj;
        size_t at;
      };
      std::vector<Scored> sc;
      for (size_t k = 0; k < pts.size(); ++k) {
        double inf = kInf, obj = kInf;
        if (KSLPvalidatevector(slp, pts[k].data(), &inf, nullptr, &obj) != 0)
          raise(KRVU_ERR_STATE, "%s: the preset's points cannot be measured: %s", F, slp->lasterr.c_str());
        sc.push_back({inf, obj * slp::ctl_d_sense(slp), k});
      }
      std::stable_sort(sc.begin(), sc.end(), [](const Scored &a, const Scored &b) {
        return a.inf != b.inf ? a.inf < b.inf : a.obj < b.obj;
      });
      for (int k = 0; k < count; ++k) jobs.push_back(point_job(named(k), pts[sc[k].at], job));
      break;
    }
    case KSLP_MSSET_SOLVERS: {
      const int solvers[] = {KSLP_ALGORITHM_SLP, KSLP_ALGORITHM_IPM};
      const int n = std::min(count, available ? 2 : 1);
      for (int k = 0; k < n; ++k) {
        MsJob j;
        j.description = base + (solvers[k] == KSLP_ALGORITHM_SLP ? " slp" : " ipm");
        j.ictl.emplace_back(KSLP_CTRL_ALGORITHM, solvers[k]);
        j.job = job;
        jobs.push_back(std::move(j));
      }
      break;
    }
    case KSLP_MSSET_SLP_BASIC:
    case KSLP_MSSET_SLP_EXTENDED: {
      const bool extended = preset == KSLP_MSSET_SLP_EXTENDED;
      const double radius[] = {1.0, 0.1, 10.0, 0.01};
      const double penalty[] = {10.0, 1000.0, 1.0};
      auto pts = random_points(slp, count, gen);
      for (int k = 0; k < count; ++k) {
        MsJob j;
        if (extended && k >= 4) j = point_job("", pts[k], job);
        j.description = named(k);
        j.ictl.emplace_back(KSLP_CTRL_ALGORITHM, KSLP_ALGORITHM_SLP);
        j.ictl.emplace_back(KSLP_CTRL_HESSIAN, (k / 4) % 2 == 0 ? 1 : 0);
        j.dctl.emplace_back(KSLP_CTRL_TRUSTRADIUS, radius[k % 4]);
        if (extended) j.dctl.emplace_back(KSLP_CTRL_PENALTY, penalty[k % 3]);
        j.job = job;
        jobs.push_back(std::move(j));
      }
      break;
    }
    case KSLP_MSSET_IPM_BASIC:
    case KSLP_MSSET_IPM_EXTENDED: {
      if (!available)
        raise(KRVU_ERR_STATE, "%s: preset %d uses the interior-point solver, which this build does not have", F, preset);
      const bool extended = preset == KSLP_MSSET_IPM_EXTENDED;
      const double tol[] = {1e-8, 1e-6, 1e-10};
      auto pts = random_points(slp, count, gen);
      for (int k = 0; k < count; ++k) {
        MsJob j;
        if (extended && k >= 3) j = point_job("", pts[k], job);
        j.description = named(k);
        j.ictl.emplace_back(KSLP_CTRL_ALGORITHM, KSLP_ALGORITHM_IPM);
        j.dctl.emplace_back(KSLP_CTRL_IPM_TOL, tol[k % 3]);
        j.job = job;
        jobs.push_back(std::move(j));
      }
      break;
    }
    default:
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'preset' = %d is not a multistart preset (0 to 6)", F, preset);
  }
  return jobs;
}

void queue(KSLPprob slp, std::vector<MsJob> &&jobs) {
  for (MsJob &j : jobs) slp->msjobs.push_back(std::move(j));
  slp->msadded += jobs.size();
}

// Settings later in a list win: the custom part is appended after the preset's.
void merge(MsJob &into, const MsJob &extra) {
  into.cols.insert(into.cols.end(), extra.cols.begin(), extra.cols.end());
  into.vals.insert(into.vals.end(), extra.vals.begin(), extra.vals.end());
  into.ictl.insert(into.ictl.end(), extra.ictl.begin(), extra.ictl.end());
  into.dctl.insert(into.dctl.end(), extra.dctl.begin(), extra.dctl.end());
}

// ---- the run

struct Result {
  bool have = false;
  int status = 0, iterations = 0;
  double obj = 0, viol = kInf, penalty = 0, kkt = 0;
  std::vector<double> x, slack, dual, dj;
};

// A working copy: the problem under the nonlinear one and the nonlinear
// problem, with the callbacks of the original except destroy (the copy's end
// is no event of the caller's problem).
struct Copy {
  KRVUprob prob = nullptr;
  KSLPprob slp = nullptr;
  ~Copy() {
    if (slp) KSLPdestroyprob(slp);
    if (prob) KRVUdestroyprob(prob);
  }
};

std::string last_error(KRVUprob p, KSLPprob s) {
  char buf[512] = "";
  int code = 0;
  if (s) KSLPgetlasterror(s, &code, buf);
  if (!buf[0] && p) KRVUgetlasterror(p, buf);
  return buf;
}

bool make_copy(KSLPprob src, Copy &c, std::string *err) {
  if (KRVUcreateprob(&c.prob) != 0 || KRVUcopyprob(c.prob, src->prob, "") != 0 ||
      KRVUcopycontrols(c.prob, src->prob) != 0 || KSLPcreateprob(&c.slp, &c.prob) != 0 ||
      KSLPcopyprob(c.slp, src, "") != 0 || KSLPcopycontrols(c.slp, src) != 0) {
    *err = last_error(c.prob, c.slp);
    return false;
  }
  slp::slpcb_copy(c.slp, src);
  c.slp->cbs[slp::kSlpCb_destroy] = slp::SlpCb{};
  return true;
}

bool apply_job(Copy &c, const MsJob &j, std::string *err) {
  for (size_t k = 0; k < j.cols.size(); ++k) {
    const double v = j.vals[k];
    if (KSLPchgvar(c.slp, j.cols[k], nullptr, nullptr, nullptr, nullptr, nullptr, &v, nullptr, nullptr,
                   nullptr, nullptr, nullptr) != 0) {
      *err = last_error(c.prob, c.slp);
      return false;
    }
  }
  for (auto [id, v] : j.ictl) {
    const bool nl = param_table()[param_index(id)].source != kLib;
    if ((nl ? KSLPsetintcontrol(c.slp, id, v) : KRVUsetintcontrol(c.prob, id, v)) != 0) {
      *err = last_error(c.prob, c.slp);
      return false;
    }
  }
  for (auto [id, v] : j.dctl) {
    const bool nl = param_table()[param_index(id)].source != kLib;
    if ((nl ? KSLPsetdblcontrol(c.slp, id, v) : KRVUsetdblcontrol(c.prob, id, v)) != 0) {
      *err = last_error(c.prob, c.slp);
      return false;
    }
  }
  return true;
}

bool interrupted(KSLPprob s) {
  if (s->interrupt.load()) return true;
  return s->prob && s->prob->data->solver && s->prob->data->solver->interrupt.load();
}

// True when a beats b: within the feasibility tolerance first, then the
// objective (minimized form), then the violation.
bool better(const Result &a, const Result &b, double feastol, double sense) {
  if (!b.have) return a.have;
  if (!a.have) return false;
  const bool fa = a.viol <= feastol, fb = b.viol <= feastol;
  if (fa != fb) return fa;
  if (!fa) return a.viol < b.viol;
  return sense * a.obj < sense * b.obj;
}

}  // namespace

namespace krvu {
namespace slp {

double ctl_d_sense(KSLPprob slp) { return ctl_d(slp, KSLP_CTRL_OBJSENSE) < 0 ? -1.0 : 1.0; }

bool multistart_pending(KSLPprob slp) { return !slp->msjobs.empty(); }

bool multistart_run(KSLPprob slp, const char *flags, const char *F) {
  const std::vector<MsJob> &jobs = slp->msjobs;
  // kslp_multistart_maxsolves: only the first jobs of the queue run.
  const int64_t most = ctl_i(slp, 12403);
  const int njobs = static_cast<int>(most > 0 ? std::min<int64_t>(most, jobs.size()) : jobs.size());
  int threads = static_cast<int>(ctl_int(slp->prob, 8020));
  if (threads <= 0) threads = std::max(1u, std::thread::hardware_concurrency());
  const int workers = std::max(1, std::min(threads, njobs));
  const double feastol = ctl_d(slp, KSLP_CTRL_FEASTOL);
  const double sense = ctl_d_sense(slp);
  if (ctl_i(slp, KSLP_CTRL_LOG) > 0)
    slp_log(slp, KRVU_MSG_LOG, "Multistart: %d jobs on %d worker%s", njobs, workers, workers == 1 ? "" : "s");

  std::vector<Result> results(njobs);
  std::atomic<int> next{0};
  std::atomic<bool> stop{false};
  std::atomic<int> running{workers};
  std::mutex copy_mutex;  // copies read the caller's problem one at a time
  std::mutex live_mutex;
  std::vector<KSLPprob> live;  // copies solving now, for interrupts
  std::string failure;

  auto work = [&] {
    for (;;) {
      const int k = next.fetch_add(1);
      if (k >= njobs || stop.load()) break;
      const MsJob &job = jobs[k];
      Copy c;
      std::string err;
      bool ok;
      {
        std::lock_guard<std::mutex> lock(copy_mutex);
        ok = make_copy(slp, c, &err);
      }
      ok = ok && apply_job(c, job, &err);
      if (!ok) {
        std::lock_guard<std::mutex> lock(live_mutex);
        if (failure.empty()) failure = "job '" + job.description + "': " + err;
        stop.store(true);
        break;
      }
      int skip = 0;
      if (slpcb_fire_msjobstart(c.slp, job.job, job.description.c_str(), &skip)) {
        stop.store(true);
        break;
      }
      if (skip) continue;
      {
        std::lock_guard<std::mutex> lock(live_mutex);
        live.push_back(c.slp);
      }
      const int rc = KSLPnlpoptimize(c.slp, flags);
      {
        std::lock_guard<std::mutex> lock(live_mutex);
        live.erase(std::find(live.begin(), live.end(), c.slp));
      }
      // A stop asked inside the job (a callback, the caller) ends the run.
      if (interrupted(c.slp) || stop.load()) {
        stop.store(true);
        break;
      }
      int discard = 0;
      if (slpcb_fire_msjobend(c.slp, job.job, job.description.c_str(), &discard)) {
        stop.store(true);
        break;
      }
      if (rc != 0 || discard) continue;  // a job that fails leaves no result
      Result &r = results[k];
      r.have = true;
      r.x = c.slp->x;
      r.slack = c.slp->slack;
      r.dual = c.slp->dual;
      r.dj = c.slp->dj;
      KSLPgetintattrib(c.slp, KSLP_ATTR_NLPSTATUS, &r.status);
      KSLPgetintattrib(c.slp, KSLP_ATTR_ITERATIONS, &r.iterations);
      KSLPgetdblattrib(c.slp, KSLP_ATTR_OBJVAL, &r.obj);
      KSLPgetdblattrib(c.slp, KSLP_ATTR_VALIDATION, &r.viol);
      KSLPgetdblattrib(c.slp, KSLP_ATTR_PENALTYVALUE, &r.penalty);
      KSLPgetdblattrib(c.slp, KSLP_ATTR_KKT, &r.kkt);
    }
    running.fetch_sub(1);
  };
  std::vector<std::thread> pool;
  for (int w = 0; w < workers; ++w) pool.emplace_back(work);
  // This thread passes the caller's interrupts (and a stop of the run) on to
  // the jobs solving.
  while (running.load() > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (interrupted(slp)) stop.store(true);
    if (stop.load()) {
      std::lock_guard<std::mutex> lock(live_mutex);
      for (KSLPprob s : live) KSLPinterrupt(s, KRVU_STOP_USER);
    }
  }
  for (std::thread &t : pool) t.join();
  if (!failure.empty()) raise(KRVU_ERR_STATE, "%s: multistart %s", F, failure.c_str());

  int best = -1;
  for (int k = 0; k < njobs; ++k)
    if (better(results[k], best < 0 ? Result() : results[best], feastol, sense)) best = k;
  if (stop.load() && !interrupted(slp)) slp->interrupt.store(true);
  if (best < 0) {
    if (stop.load()) {
      set_attr_i(slp, KSLP_ATTR_NLPSTATUS, KSLP_NLPSTATUS_UNFINISHED);
      return true;
    }
    if (ctl_i(slp, KSLP_CTRL_LOG) > 0)
      slp_log(slp, KRVU_MSG_LOG, "Multistart: no job left a result; solving from the problem's own start");
    return false;
  }
  const Result &r = results[best];
  slp->x = r.x;
  slp->slack = r.slack;
  slp->dual = r.dual;
  slp->dj = r.dj;
  for (size_t j = 0; j < r.x.size(); ++j) slp->vars[static_cast<int>(j)].value = r.x[j];
  set_attr_i(slp, KSLP_ATTR_NLPSTATUS, stop.load() ? KSLP_NLPSTATUS_UNFINISHED : r.status);
  set_attr_i(slp, KSLP_ATTR_ITERATIONS, r.iterations);
  set_attr_d(slp, KSLP_ATTR_OBJVAL, r.obj);
  set_attr_d(slp, KSLP_ATTR_VALIDATION, r.viol);
  set_attr_d(slp, KSLP_ATTR_PENALTYVALUE, r.penalty);
  set_attr_d(slp, KSLP_ATTR_KKT, r.kkt);
  slp->constructed = true;
  if (ctl_i(slp, KSLP_CTRL_LOG) > 0)
    slp_log(slp, KRVU_MSG_LOG, "Multistart: best job '%s': objective %.10g, largest violation %.3g",
            jobs[best].description.c_str(), r.obj, r.viol);
  slpcb_fire_mswinner(slp, jobs[best].job, jobs[best].description.c_str());
  return true;
}

}  // namespace slp
}  // namespace krvu

extern "C" {

int KSLPmsaddjob(KSLPprob slp, const char *description, int ninitial, const int colind[],
                 const double initval[], int nint, const int intid[], const int intval[], int ndbl,
                 const int dblid[], const double dblval[], void *job) {
  const char *F = "KSLPmsaddjob";
  return slp_guarded(slp, F, [&] {
    require_idle(slp->prob);
    std::vector<MsJob> one;
    one.push_back(make_job(slp, F, description, ninitial, colind, initval, nint, intid, intval, ndbl,
                           dblid, dblval, job));
    queue(slp, std::move(one));
    return 0;
  });
}

int KSLPmsaddpreset(KSLPprob slp, const char *description, int preset, int count, void *job) {
  const char *F = "KSLPmsaddpreset";
  return slp_guarded(slp, F, [&] {
    require_idle(slp->prob);
    queue(slp, preset_jobs(slp, F, description, preset, count, job));
    return 0;
  });
}

int KSLPmsaddcustompreset(KSLPprob slp, const char *description, int preset, int count,
                          int ninitial, const int colind[], const double initval[], int nint,
                          const int intid[], const int intval[], int ndbl, const int dblid[],
                          const double dblval[], void *job) {
  const char *F = "KSLPmsaddcustompreset";
  return slp_guarded(slp, F, [&] {
    require_idle(slp->prob);
    MsJob extra = make_job(slp, F, description, ninitial, colind, initval, nint, intid, intval, ndbl,
                           dblid, dblval, job);
    std::vector<MsJob> jobs = preset_jobs(slp, F, description, preset, count, job);
    for (MsJob &j : jobs) merge(j, extra);
    queue(slp, std::move(jobs));
    return 0;
  });
}

int KSLPmsclear(KSLPprob slp) {
  return slp_guarded(slp, "KSLPmsclear", [&] {
    require_idle(slp->prob);
    release_all(slp);
    return 0;
  });
}

int KSLPmssetjobrelease(KSLPprob slp, void (*release)(void *job)) {
  return slp_guarded(slp, "KSLPmssetjobrelease", [&] {
    slp->msrelease = release;
    return 0;
  });
}

int KSLPmsjobs(KSLPprob slp, int *count) {
  return slp_guarded_read(slp, "KSLPmsjobs", [&] {
    require_ptr(count, "KSLPmsjobs", "count");
    *count = static_cast<int>(slp->msjobs.size());
    return 0;
  });
}

}  // extern "C"

namespace krvu {
namespace slp {
void multistart_release(KSLPprob slp) noexcept { release_all(slp); }
}  // namespace slp
}  // namespace krvu
