// The nonlinear solver's callbacks (set semantics, where each kind fires,
// results that steer the solve) and multistart.
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "krvu.h"
#include "kslp.h"
#include "slp_fixture.h"

namespace {

struct Seen {
  std::vector<std::string> events;
  int stop_at_iterend = -1;  // the iterend call that returns 1
  int iterends = 0;
  std::vector<int> itervar_cols;
  std::vector<std::pair<int, int>> evalerrors;
  double drcol_value = NAN;
  std::vector<int> started_jobs, ended_jobs, winners;
  int skip_job = -1;
};

Seen *seen(void *d) { return static_cast<Seen *>(d); }

class SlpCallbacks : public SlpTest {
 protected:
  void build(const Model &md) {
    load_formula_model(md, "cb", &prob, &slp, [](KSLPprob) {});
  }
  int status() {
    int s = -1;
    KSLPgetintattrib(slp, KSLP_ATTR_NLPSTATUS, &s);
    return s;
  }
  double objval() {
    double v = 0;
    KSLPgetdblattrib(slp, KSLP_ATTR_OBJVAL, &v);
    return v;
  }
  Seen s;
};

// (x1 - 1)^2 + (x2 + 2)^2 from (3, 3): a few iterations.
Model bowl() { return Model{2, {3.0, 3.0}, {-10, -10}, {10, 10}, "(x1 - 1)^2 + (x2 + 2)^2", {}}; }

TEST_F(SlpCallbacks, SolveFiresItsKindsInOrderAndASecondSetReplacesTheFirst) {
  build(bowl());
  ASSERT_EQ(KSLPsetcbslpstart(slp, [](KSLPprob, void *d) { seen(d)->events.push_back("slpstart"); return 0; }, &s), 0);
  ASSERT_EQ(KSLPsetcbconstruct(slp, [](KSLPprob, void *d) { seen(d)->events.push_back("construct"); return 0; }, &s), 0);
  ASSERT_EQ(KSLPsetcbiterstart(slp, [](KSLPprob, void *d) { seen(d)->events.push_back("first"); return 0; }, &s), 0);
  ASSERT_EQ(KSLPsetcbiterstart(slp, [](KSLPprob, void *d) { seen(d)->events.push_back("iterstart"); return 0; }, &s), 0);
  ASSERT_EQ(KSLPsetcbiterend(slp, [](KSLPprob, void *d) { seen(d)->events.push_back("iterend"); return 0; }, &s), 0);
  ASSERT_EQ(KSLPsetcbitervar(slp, [](KSLPprob, void *d, int col) { seen(d)->itervar_cols.push_back(col); return 0; }, &s), 0);
  ASSERT_EQ(KSLPsetcbslpend(slp, [](KSLPprob, void *d) { seen(d)->events.push_back("slpend"); return 0; }, &s), 0);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0) << slp_error(slp);
  EXPECT_EQ(status(), KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
  ASSERT_GE(s.events.size(), 5u);
  EXPECT_EQ(s.events[0], "construct");
  EXPECT_EQ(s.events[1], "slpstart");
  EXPECT_EQ(s.events.back(), "slpend");
  int starts = 0, ends = 0;
  for (size_t k = 2; k + 1 < s.events.size(); ++k) {
    EXPECT_NE(s.events[k], "first");
    // iterstart and iterend alternate.
    EXPECT_EQ(s.events[k], (k % 2 == 0) ? "iterstart" : "iterend") << k;
    (s.events[k] == "iterstart" ? starts : ends)++;
  }
  EXPECT_EQ(starts, ends);
  // itervar: each column the user stated, once per iteration (not the
  // objective's transfer column).
  ASSERT_EQ(s.itervar_cols.size(), 2u * ends);
  for (size_t k = 0; k < s.itervar_cols.size(); ++k) EXPECT_EQ(s.itervar_cols[k], static_cast<int>(k % 2));

  // Cleared: nothing fires.
  s.events.clear();
  ASSERT_EQ(KSLPsetcbiterstart(slp, nullptr, nullptr), 0);
  ASSERT_EQ(KSLPsetcbiterend(slp, nullptr, nullptr), 0);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0);
  EXPECT_EQ(s.events, (std::vector<std::string>{"construct", "slpstart", "slpend"}));
  EXPECT_NE(KSLPsetcbiterend(nullptr, nullptr, nullptr), 0);
}

TEST_F(SlpCallbacks, NonZeroResultsStopTheSolveUnfinishedAndEvaluationErrorsAreReported) {
  Model far{2, {30.0, -30.0}, {-100, -100}, {100, 100}, "(x1 - 1)^4 + (x2 + 2)^4", {}};
  build(far);
  s.stop_at_iterend = 2;
  ASSERT_EQ(KSLPsetcbiterend(slp, [](KSLPprob, void *d) {
              return ++seen(d)->iterends == seen(d)->stop_at_iterend ? 1 : 0;
            }, &s), 0);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0) << slp_error(slp);
  EXPECT_EQ(s.iterends, 2);
  EXPECT_EQ(status(), KSLP_NLPSTATUS_UNFINISHED);

  // slpstart refusing: no iteration at all.
  s.iterends = 0;
  ASSERT_EQ(KSLPsetcbslpstart(slp, [](KSLPprob, void *) { return 1; }, nullptr), 0);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0);
  EXPECT_EQ(s.iterends, 0);
  EXPECT_EQ(status(), KSLP_NLPSTATUS_UNFINISHED);
  KRVUdestroyprob(prob);
  KSLPdestroyprob(slp);
  prob = nullptr;
  slp = nullptr;

  // log(x1) at -1: NaN in row 0, which has no multiplying column.
  Model bad{1, {-1.0}, {-5}, {5}, "x1^2", {{"log(x1)", 'L', 3.0}}};
  build(bad);
  ASSERT_EQ(KSLPsetcbcoefevalerror(slp, [](KSLPprob, void *d, int row, int col) {
              seen(d)->evalerrors.emplace_back(row, col);
              return 1;
            }, &s), 0);
  KSLPnlpoptimize(slp, "");
  ASSERT_FALSE(s.evalerrors.empty());
  EXPECT_EQ(s.evalerrors[0], std::make_pair(0, -1));
  EXPECT_EQ(status(), KSLP_NLPSTATUS_UNFINISHED);
}

TEST_F(SlpCallbacks, CascadeTellsItsColumnsAndDrcolSetsTheValue) {
  // x2 is determined by x2 - x1^2 = 0, from x1 = 2.
  Model md{2, {2.0, 0.0}, {-10, -10}, {10, 10}, "x1^2 + x2^2", {{"x2 - x1^2", 'E', 0.0}}};
  build(md);
  const int row = 0;
  ASSERT_EQ(KSLPchgvar(slp, 1, &row, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KSLPsetcbcascadestart(slp, [](KSLPprob, void *d) { seen(d)->events.push_back("start"); return 0; }, &s), 0);
  ASSERT_EQ(KSLPsetcbcascadevar(slp, [](KSLPprob, void *d, int col) {
              seen(d)->events.push_back("var" + std::to_string(col));
              return 0;
            }, &s), 0);
  ASSERT_EQ(KSLPsetcbcascadeend(slp, [](KSLPprob, void *d) { seen(d)->events.push_back("end"); return 0; }, &s), 0);
  ASSERT_EQ(KSLPcascade(slp), 0) << slp_error(slp);
  ASSERT_GE(s.events.size(), 3u);
  EXPECT_EQ(s.events.front(), "start");
  EXPECT_EQ(s.events[1], "var1");
  EXPECT_EQ(s.events.back(), "end");
  double value = 0;
  KSLPgetvar(slp, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &value, nullptr, nullptr,
             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NEAR(value, 4.0, 1e-8);

  // drcol sees the row's value and the bounds, and its output wins.
  ASSERT_EQ(KSLPsetcbdrcol(slp, [](KSLPprob, void *d, int, double v, double lb, double ub, double *nv) {
              seen(d)->drcol_value = v;
              EXPECT_EQ(lb, -10.0);
              EXPECT_EQ(ub, 10.0);
              *nv = 2.5;
              return 0;
            }, &s), 0);
  ASSERT_EQ(KSLPcascade(slp), 0) << slp_error(slp);
  EXPECT_NEAR(s.drcol_value, 4.0, 1e-8);
  KSLPgetvar(slp, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &value, nullptr, nullptr,
             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(value, 2.5);

  // A stop from cascadevar fails the cascade and keeps the old value.
  ASSERT_EQ(KSLPsetcbcascadevar(slp, [](KSLPprob, void *, int) { return 1; }, nullptr), 0);
  EXPECT_NE(KSLPcascade(slp), 0);
  EXPECT_NE(slp_error(slp).find("cascadevar"), std::string::npos) << slp_error(slp);
}

// Many local minima on [-5, 5]; the global one is near -0.5, and a single
// run from 4 stops in the valley near 3.7.
Model wavy() { return Model{1, {4.0}, {-5}, {5}, "0.1 * x1^2 + sin(3 * x1)", {}}; }

double wavy_global() {
  double best = INFINITY;
  for (int k = 0; k <= 200000; ++k) {
    double x = -5 + 10.0 * k / 200000;
    best = std::min(best, 0.1 * x * x + std::sin(3 * x));
  }
  return best;
}

TEST_F(SlpCallbacks, MultistartFindsTheGlobalMinimumASingleRunMisses) {
  build(wavy());
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0) << slp_error(slp);
  const double single = objval(), global = wavy_global();
  ASSERT_GT(single, global + 0.5);

  int jobs[20];
  for (int k = 0; k < 20; ++k) {
    jobs[k] = k;
    const double x = -5 + 10.0 * (k + 0.5) / 20;
    const int col = 0;
    ASSERT_EQ(KSLPmsaddjob(slp, ("start " + std::to_string(k)).c_str(), 1, &col, &x, 0, nullptr,
                           nullptr, 0, nullptr, nullptr, &jobs[k]), 0) << slp_error(slp);
  }
  int count = 0;
  KSLPmsjobs(slp, &count);
  EXPECT_EQ(count, 20);
  ASSERT_EQ(KRVUsetintcontrol(prob, 8020, 2), 0);
  s.skip_job = 7;
  ASSERT_EQ(KSLPsetcbmsjobstart(slp, [](KSLPprob, void *d, void *job, const char *, int *skip) {
              static std::mutex m;
              std::lock_guard<std::mutex> lock(m);
              int k = *static_cast<int *>(job);
              seen(d)->started_jobs.push_back(k);
              *skip = k == seen(d)->skip_job;
              return 0;
            }, &s), 0);
  ASSERT_EQ(KSLPsetcbmsjobend(slp, [](KSLPprob, void *d, void *job, const char *, int *) {
              static std::mutex m;
              std::lock_guard<std::mutex> lock(m);
              seen(d)->ended_jobs.push_back(*static_cast<int *>(job));
              return 0;
            }, &s), 0);
  ASSERT_EQ(KSLPsetcbmswinner(slp, [](KSLPprob, void *d, void *job, const char *desc) {
              seen(d)->winners.push_back(*static_cast<int *>(job));
              EXPECT_EQ(std::string(desc), "start " + std::to_string(*static_cast<int *>(job)));
              return 0;
            }, &s), 0);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0) << slp_error(slp);
  EXPECT_NEAR(objval(), global, 1e-6);
  EXPECT_EQ(s.started_jobs.size(), 20u);
  EXPECT_EQ(s.ended_jobs.size(), 19u);  // the skipped job never ran
  ASSERT_EQ(s.winners.size(), 1u);
  EXPECT_NE(s.winners[0], 7);
  // Every column's value, the objective's transfer column included.
  int ncols = 0;
  ASSERT_EQ(KRVUgetintattrib(prob, KRVU_ATTR_COLS, &ncols), 0);
  std::vector<double> xs(static_cast<size_t>(ncols));
  ASSERT_EQ(KSLPgetslpsol(slp, xs.data(), nullptr, nullptr, nullptr), 0);
  const double x = xs[0];
  EXPECT_NEAR(0.1 * x * x + std::sin(3 * x), global, 1e-6);

  // Presets queue their count; clearing hands every object to the release
  // function.
  static int released = 0;
  ASSERT_EQ(KSLPmssetjobrelease(slp, [](void *) { ++released; }), 0);
  ASSERT_EQ(KSLPmsaddpreset(slp, "random", KSLP_MSSET_INITIALVALUES, 5, &jobs[0]), 0);
  ASSERT_EQ(KSLPmsaddpreset(slp, "slp", KSLP_MSSET_SLP_BASIC, 3, &jobs[1]), 0);
  KSLPmsjobs(slp, &count);
  EXPECT_EQ(count, 28);
  ASSERT_EQ(KSLPmsclear(slp), 0);
  EXPECT_EQ(released, 28);
  KSLPmsjobs(slp, &count);
  EXPECT_EQ(count, 0);
}

TEST_F(SlpCallbacks, MultistartRefusesBadJobsAndAStopEndsTheRun) {
  build(wavy());
  const int col = 0, badcol = 5, tr = KSLP_CTRL_TRUSTRADIUS, objtol = KSLP_CTRL_OBJTOL;
  const double x = 1.0, r = 0.5;
  EXPECT_NE(KSLPmsaddjob(slp, "bad", 1, &badcol, &x, 0, nullptr, nullptr, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(slp_error(slp).find("colind[0]"), std::string::npos) << slp_error(slp);
  const int one = 1;
  // A double control given as an integer one.
  EXPECT_NE(KSLPmsaddjob(slp, "bad", 0, nullptr, nullptr, 1, &tr, &one, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(KSLPmsaddpreset(slp, "bad", 9, 3, nullptr), 0);
  int count = -1;
  KSLPmsjobs(slp, &count);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(KSLPmsaddjob(slp, "ok", 1, &col, &x, 0, nullptr, nullptr, 1, &tr, &r, nullptr), 0);
  ASSERT_EQ(KSLPmsaddcustompreset(slp, "custom", KSLP_MSSET_INITIALVALUES, 4, 0, nullptr, nullptr, 0,
                                  nullptr, nullptr, 1, &objtol, &r, nullptr), 0);
  // A job's iteration callback that stops ends the whole run unfinished.
  ASSERT_EQ(KSLPsetcbiterstart(slp, [](KSLPprob, void *) { return 1; }, nullptr), 0);
  ASSERT_EQ(KSLPnlpoptimize(slp, ""), 0) << slp_error(slp);
  EXPECT_EQ(status(), KSLP_NLPSTATUS_UNFINISHED);
}

}  // namespace
