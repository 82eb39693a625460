// The multistart members of korvu.problem: jobs queued on the nonlinear
// solver, run by the next nonlinear solve (bodies in custom/slp_multistart.cpp).
#include "binding/custom/slp_multistart.h"
#include "binding/wrap.h"

namespace korvu {
namespace wrap {
namespace {

constexpr const char *kJobRun =
    "Queued jobs stay until msclear; every nonlinear solve runs them, each on its own copy of the problem, on "
    "problem.controls.threads workers, and keeps the best result (feasible first, then by objective).  The "
    "job object is handed to the msjobstart, msjobend and mswinner callbacks.";

WRAP_ARGS(msaddjob, value("description", kText, "a text naming the job"),
          in("ivcols", CONV_COL, 0, "the columns given start values (None: none)"),
          in("ivvalues", CONV_DOUBLE, 0, "their start values"),
          value("control", kObject, "a dict of control names (integer and double controls) and values"),
          value("job_object", kObject, "any object, handed to the multistart callbacks"));
constexpr Row msaddjob = WRAP_CUSTOM(msaddjob, custom::msaddjob)
    .calls("KSLPmsaddjob")
    .example("p.msaddjob('from 2', [x], [2.0], {'kslp_trustradius': 0.5}, None)")
    .doc("Queues a multistart job with its own start values and control settings.",
         "msaddpreset, msaddcustompreset, msclear, setcbmsjobend", kJobRun);

WRAP_ARGS(msaddpreset, value("description", kText, "a text naming the jobs (each gets its number)"),
          value("preset", kInt, "a korvu.msset_* constant"),
          value("count", kInt, "the number of jobs"),
          value("job_object", kObject, "any object, handed to the multistart callbacks"));
constexpr Row msaddpreset = WRAP_CUSTOM(msaddpreset, custom::msaddpreset)
    .calls("KSLPmsaddpreset")
    .example("p.msaddpreset('random', korvu.msset_initialvalues, 20, None)")
    .doc("Queues count jobs of a preset: random start points (msset_initialvalues, msset_initialfiltered), "
         "each local solver (msset_solvers) or variations of a local solver's controls (msset_slp_*, "
         "msset_ipm_*).",
         "msaddjob, msaddcustompreset, msclear", kJobRun);

WRAP_ARGS(msaddcustompreset, value("description", kText, "a text naming the jobs"),
          value("preset", kInt, "a korvu.msset_* constant"),
          value("count", kInt, "the number of jobs"),
          in("ivcols", CONV_COL, 0, "columns given start values in every job (None: none)"),
          in("ivvalues", CONV_DOUBLE, 0, "their start values"),
          value("control", kObject, "a dict of control names and values set in every job"),
          value("job_object", kObject, "any object, handed to the multistart callbacks"));
constexpr Row msaddcustompreset = WRAP_CUSTOM(msaddcustompreset, custom::msaddcustompreset)
    .calls("KSLPmsaddcustompreset")
    .example("p.msaddcustompreset('slp', korvu.msset_slp_basic, 4, None, None, {'kslp_maxiter': 50}, None)")
    .doc("Queues the jobs of a preset with further start values and controls applied to each (these win "
         "over the preset's own).",
         "msaddpreset, msaddjob, msclear", kJobRun);

constexpr Row msclear = Row::make("msclear", &invoke<kNo_args, &KSLPmsclear, SLP>)
    .custom(custom::msclear)
    .calls("KSLPmsclear")
    .doc("Empties the queue of multistart jobs.", "msaddjob, msaddpreset");

#define ROWS(X) X(msaddjob) X(msaddpreset) X(msaddcustompreset) X(msclear)
WRAP_FAMILY(ROWS)

}  // namespace
}  // namespace wrap
}  // namespace korvu

PyMethodDef *problem_slp_multistart_methods(void) { return korvu::wrap::family_methods(); }
