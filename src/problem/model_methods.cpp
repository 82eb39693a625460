// The method table of model registration, objective and solving.
#include "problem/methods.h"
#include "problem/registration.h"

#define DOC(sig, purpose, synopsis, args, example, further, related)                          \
  sig "\n--\n\nPurpose:\n  " purpose "\n\nSynopsis:\n  " synopsis "\n\n" args "Example:\n  " \
      example "\n\n" further "Related topics:\n  " related "\n"

PyMethodDef problem_model_methods[] = {
    {"addVariable", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_addVariable_fast)), METH_FASTCALL,
     DOC("addVariable($self, *args)", "Adds variables to the problem as columns.",
         "p.addVariable(x, y, [z1, z2], {'a': w})",
         "Arguments:\n  args: variables, or any nesting of lists, tuples, dicts, iterators\n"
         "    and NumPy arrays of variables.\n\n",
         "x = korvu.var(lb=0, ub=10); p.addVariable(x)",
         "Further information:\n  A variable can be added to a problem once; a failed call adds "
         "nothing.\n\n",
         "addConstraint, addSOS, delVariable")},
    {"addConstraint", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(problem_addConstraint_fast)), METH_FASTCALL,
     DOC("addConstraint($self, *args)", "Adds constraints to the problem as rows, in one batch.",
         "p.addConstraint(c1, [c2, c3], (x + y <= 1 for x, y in pairs))",
         "Arguments:\n  args: constraints, or any nesting of them.\n\n",
         "p.addConstraint(x + 2 * y <= 5, x - y >= -1)",
         "Further information:\n  Every variable of a constraint must have been added first. A "
         "failed call adds nothing.\n\n",
         "addVariable, addIndicator, delConstraint")},
    {"addSOS", problem_addSOS, METH_VARARGS,
     DOC("addSOS($self, *args)", "Adds special ordered sets to the problem.", "p.addSOS(s1, [s2, s3])",
         "Arguments:\n  args: korvu.sos objects, or any nesting of them.\n\n",
         "p.addSOS(korvu.sos([x, y, z], [1, 2, 3], type=2))", "", "korvu.sos, delSOS")},
    {"addIndicator", problem_addIndicator, METH_VARARGS,
     DOC("addIndicator($self, condition, constraint) or addIndicator((c1, k1), (c2, k2), ...)",
         "Adds indicator constraints: a constraint that holds when a binary variable is 1 (or 0).",
         "p.addIndicator(b == 1, x + y <= 4)",
         "Arguments:\n  condition: b == 1 or b == 0 for a binary variable b of the problem.\n"
         "  constraint: the constraint that holds under the condition.\n\n",
         "p.addIndicator((b1 == 1, x <= 3), (b2 == 0, y >= 2))", "", "addConstraint")},
    {"setObjective", reinterpret_cast<PyCFunction>(problem_setObjective),
     METH_VARARGS | METH_KEYWORDS,
     DOC("setObjective($self, objective, sense=korvu.minimize)",
         "Replaces the objective function and sets the optimization sense.",
         "p.setObjective(expr, sense=korvu.maximize)",
         "Arguments:\n  objective: a number, variable, linear or quadratic expression, or a\n"
         "    nonlinear expression.\n  sense: korvu.minimize (1) or korvu.maximize (-1).\n\n",
         "p.setObjective(3 * x + 2 * y, sense=korvu.maximize)", "", "solve, getObjVal")},
    {"solve", reinterpret_cast<PyCFunction>(problem_solve), METH_VARARGS | METH_KEYWORDS,
     DOC("solve($self, flags=None)",
         "Solves the problem with the optimizer that fits it: linear or quadratic, mixed\n"
         "  integer, or nonlinear.",
         "p.solve()\n  p.solve('d')",
         "Arguments:\n  flags: optimizer flags ('d' dual simplex, 'p' primal simplex, 'b'\n"
         "    interior point).\n\n",
         "p.solve(); print(p.getProbStatusString(), p.getObjVal())",
         "Further information:\n  Ctrl-C stops the solve and solve() returns. The status is then "
         "the last LP or\n  MIP status reached (for example lp_unfinished or mip_solution); "
         "the attribute\n  p.attributes.stopstatus says why the run stopped: korvu.stop_ctrlc "
         "after Ctrl-C,\n  korvu.stop_timelimit, korvu.stop_nodelimit, ... (0 when it ran to the "
         "end).\n\n",
         "getProbStatus, getSolution, controls")},
    {"getProbStatus", problem_getProbStatus, METH_NOARGS,
     DOC("getProbStatus($self)", "Returns the status of the last solve as an integer.",
         "status = p.getProbStatus()", "", "p.getProbStatus() == korvu.lp_optimal", "",
         "getProbStatusString")},
    {"getProbStatusString", problem_getProbStatusString, METH_NOARGS,
     DOC("getProbStatusString($self)", "Returns the status of the last solve as a name.",
         "text = p.getProbStatusString()", "", "print(p.getProbStatusString())",
         "Further information:\n  The names are those of the module's status constants, e.g. "
         "'lp_optimal'.\n\n",
         "getProbStatus")},
    {nullptr, nullptr, 0, nullptr},
};
