#include "params/table.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <unordered_map>

#include "core/prob.h"
#include "model/store.h"
#include "slp/slpprob.h"

namespace krvu {
namespace {

constexpr double kInf = KRVU_INFINITY;
constexpr int64_t kIntMax = INT_MAX;

#define CTL_I(id, name, def, lo, hi, help) \
  {id, name, KRVU_TYPE_INT, kControl, kLib, def, 0.0, nullptr, lo, hi, help, nullptr, 0}
#define CTL_I64(id, name, def, lo, hi, help) \
  {id, name, KRVU_TYPE_INT64, kControl, kLib, def, 0.0, nullptr, lo, hi, help, nullptr, 0}
#define CTL_D(id, name, def, lo, hi, help) \
  {id, name, KRVU_TYPE_DOUBLE, kControl, kLib, 0, def, nullptr, lo, hi, help, nullptr, 0}
#define CTL_S(id, name, def, help) \
  {id, name, KRVU_TYPE_STRING, kControl, kLib, 0, 0.0, def, 0, 0, help, nullptr, 0}
#define ATR(id, name, type, get, help) \
  {id, name, type, kAttribute, kLib, 0, 0.0, "", 0, 0, help, get, 0}
#define SCTL_I(id, name, def, lo, hi, help) \
  {id, name, KRVU_TYPE_INT, kControl, kSlp, def, 0.0, nullptr, lo, hi, help, nullptr, 0}
#define SCTL_D(id, name, def, lo, hi, help) \
  {id, name, KRVU_TYPE_DOUBLE, kControl, kSlp, 0, def, nullptr, lo, hi, help, nullptr, 0}
#define SATR(id, name, type, get, help, flags) \
  {id, name, type, kAttribute, kSlp, 0, 0.0, "", 0, 0, help, get, flags}
#define ICTL_I(id, name, def, lo, hi, help) \
  {id, name, KRVU_TYPE_INT, kControl, kIpm, def, 0.0, nullptr, lo, hi, help, nullptr, 0}
#define ICTL_D(id, name, def, lo, hi, help) \
  {id, name, KRVU_TYPE_DOUBLE, kControl, kIpm, 0, def, nullptr, lo, hi, help, nullptr, 0}
#define ICTL_S(id, name, def, help) \
  {id, name, KRVU_TYPE_STRING, kControl, kIpm, 0, 0.0, def, 0, 0, help, nullptr, 0}

Value int_value(int64_t i) {
  Value v;
  v.i = i;
  return v;
}

Value get_probnamelength(const void *h) {
  return int_value(static_cast<const krvu_prob_s *>(h)->name.size());
}
Value get_probname(const void *h) {
  Value v;
  v.s = static_cast<const krvu_prob_s *>(h)->name;
  return v;
}
Value get_nocol(const void *) { return int_value(-1); }

// Counts of the model, answered from the store.
const ModelData &model_of(const void *h) { return static_cast<const krvu_prob_s *>(h)->data->m; }
Value get_rows(const void *h) { return int_value(model_of(h).nrows()); }
Value get_cols(const void *h) { return int_value(model_of(h).ncols()); }
Value get_sets(const void *h) { return int_value(model_of(h).nsets()); }
Value get_elems(const void *h) {
  return int_value(total_elems(*static_cast<const krvu_prob_s *>(h)->data));
}
Value get_qelems(const void *h) { return int_value(model_of(h).qrow.size()); }
Value get_setmembers(const void *h) { return int_value(model_of(h).setcol.size()); }
Value get_qconstraints(const void *h) { return int_value(model_of(h).qrows.size()); }
Value get_mipents(const void *h) {
  const ModelData &m = model_of(h);
  return int_value(std::count_if(m.coltype.begin(), m.coltype.end(), [](char c) { return c != 'C'; }));
}
Value get_indicators(const void *h) {
  const ModelData &m = model_of(h);
  return int_value(std::count_if(m.indcol.begin(), m.indcol.end(), [](int c) { return c >= 0; }));
}
Value get_gencons(const void *h) {
  const ModelData &m = model_of(h);
  return int_value(m.gentype.size() + m.pwlcol.size());
}
Value get_zero(const void *) { return int_value(0); }
Value get_objsense(const void *h) {
  Value v;
  v.d = model_of(h).objsense;
  return v;
}
// The longest name in units of 8 characters, default names included.
Value get_namelength(const void *h) {
  const ModelData &m = model_of(h);
  size_t len = 0;
  auto scan = [&](const std::vector<std::string> &v, size_t deflen) {
    bool unnamed = false;
    for (const std::string &s : v) {
      len = std::max(len, s.size());
      unnamed = unnamed || s.empty();
    }
    if (unnamed) len = std::max(len, deflen);
  };
  scan(m.rownames, 1 + std::to_string(m.nrows()).size());
  scan(m.colnames, 1 + std::to_string(m.ncols()).size());
  scan(m.setnames, 1 + std::to_string(m.nsets()).size());
  return int_value(std::max<int64_t>(1, (len + 7) / 8));
}

std::vector<ParamDef> build_table() {
  return {
      // --- library controls -------------------------------------------------
      CTL_D(7000, "timelimit", kInf, 0, kInf, "Time limit of a solve in seconds"),
      CTL_D(7001, "feastol", 1e-6, 1e-10, 1e-1, "Primal feasibility tolerance"),
      CTL_D(7002, "opttol", 1e-7, 1e-10, 1e-1, "Optimality (dual feasibility) tolerance"),
      CTL_D(7003, "miprelgap", 1e-4, 0, kInf, "Relative MIP gap at which the search stops"),
      CTL_D(7004, "mipabsgap", 1e-6, 0, kInf, "Absolute MIP gap at which the search stops"),
      CTL_D(7005, "miptol", 1e-6, 1e-10, 0.5, "Integrality tolerance of MIP solutions"),
      CTL_D(7006, "mipcutoff", kInf, -kInf, kInf,
            "Objective cutoff: solutions no better than this are discarded"),
      CTL_D(7007, "matrixtol", 1e-9, 0, 1, "Coefficients smaller than this in magnitude are zero"),
      CTL_D(7008, "infinity", kInf, 1e15, kInf, "Bounds at or beyond this value are infinite"),
      CTL_I(8000, "iterlimit", kIntMax, 0, kIntMax, "Simplex iteration limit of an LP solve"),
      CTL_I(8001, "bariterlimit", 1000, 0, kIntMax, "Interior-point iteration limit"),
      CTL_I(8006, "qpiterlimit", 1000000, 0, kIntMax,
            "Iteration limit of a quadratic objective's solve (ends with the iteration limit status)"),
      CTL_I64(8002, "nodelimit", kIntMax, 0, 9.2e18, "Branch-and-bound node limit"),
      CTL_I(8003, "sollimit", kIntMax, 1, kIntMax,
            "Number of MIP solutions after which the search stops"),
      CTL_I(8010, "presolve", 1, 0, 1, "1: presolve the problem before solving; 0: do not"),
      CTL_I(8011, "lpalgorithm", 1, 1, 4,
            "LP algorithm: 1 automatic, 2 dual simplex, 3 primal simplex, 4 interior point"),
      CTL_I(8012, "crossover", 1, 0, 1,
            "1: turn an interior-point solution into a basic one; 0: do not"),
      CTL_I(8013, "scaling", 1, 0, 1, "1: scale the matrix before solving; 0: do not"),
      CTL_I(8020, "threads", 0, 0, 1024, "Worker threads of the engine, and node workers of the library's branch-and-bound; "
            "0 chooses automatically: for the engine as many as the machine has cores, at most 4 (the pool "
            "is shared by the process and sized by its first solve), for the branch-and-bound one worker"),
      CTL_I(8030, "loglevel", 1, 0, 3,
            "Detail of the solve log: 0 none, 1 summary, 2 detailed, 3 everything"),
      CTL_I(KRVU_CTRL_OUTPUTLOG, "outputlog", 1, 0, 1,
            "1: the problem's log lines reach its message callbacks; 0: they are dropped"),
      CTL_I(8040, "randomseed", 0, 0, kIntMax, "Seed of the engine's random choices"),
      CTL_S(6000, "logfile", "", "File to which every log line of the problem is appended, whether or not "
            "outputlog passes it on ('' for none)"),
      // --- infeasibility analysis, repair and tuner -------------------------
      CTL_D(7301, "iistimelimit", kInf, 0, kInf,
            "Seconds the infeasibility analysis may take (one search for KRVUiisall)"),
      CTL_I(8301, "iismaxsets", 50, 1, kIntMax, "Most infeasible sets KRVUiisall looks for"),
      CTL_D(7310, "tunermaxtime", 60, 0, kInf, "Seconds the tuner may take in all"),
      CTL_I(8310, "tunertarget", 0, 0, 2,
            "What the tuner compares: 0 automatic (LP: time; MIP: time when solved, else gap), "
            "1 time, 2 gap"),
      CTL_I(8311, "tunerrepeats", 2, 0, 5,
            "Extra runs that confirm an improvement the tuner found (guards against noise)"),
      CTL_I(8320, "pricing", -1, -1, 2,
            "Simplex pricing: -1 automatic, 0 Dantzig, 1 Devex, 2 steepest edge"),
      CTL_D(7320, "heureffort", 0.05, 0, 1,
            "Share of the MIP search spent in primal heuristics"),
      CTL_I(8321, "nodecuts", 1, 0, 1, "1: separate cuts at search nodes too; 0: at the root only"),
      CTL_I(8322, "symmetry", 1, 0, 1, "1: detect and use symmetry in MIP search; 0: do not"),
      CTL_I(8323, "miprestart", 1, 0, 1, "1: restart the MIP search after root reductions; 0: do not"),
      CTL_I(8324, "pscostreliable", 8, 0, kIntMax,
            "Branchings before a column's pseudocost is trusted (reliability branching)"),
      // --- the library's branch-and-bound search ----------------------------
      CTL_I(8400, "mipsolver", 0, 0, 2,
            "Which search solves problems with integer columns: 0 automatic (the engine's MIP "
            "solver unless the problem needs the library's own search, as a quadratic objective "
            "with integer columns, directives, model cuts or delayed rows do), 1 the library's branch-and-bound, 2 the engine's MIP solver"),
      CTL_I(8401, "sbiterlimit", 100, 0, kIntMax,
            "Dual simplex iterations of one strong-branching probe in the library's search"),
      CTL_I(8402, "sbcandidates", 8, 0, kIntMax,
            "Columns probed by strong branching at one node of the library's search (0: none)"),
      CTL_I(8403, "cutstrategy", -1, -1, 3,
            "Cutting planes at the root of the library's search: -1 automatic, 0 none, "
            "1 conservative, 2 moderate, 3 aggressive (more rounds of separation)"),
      // --- library attributes -----------------------------------------------
      ATR(KRVU_ATTR_ROWS, "rows", KRVU_TYPE_INT, get_rows, "Rows of the problem as it is held"),
      ATR(1002, "elems", KRVU_TYPE_INT64, get_elems, "Nonzero matrix coefficients"),
      ATR(1003, "qelems", KRVU_TYPE_INT64, get_qelems,
          "Nonzero quadratic objective coefficients (upper triangle)"),
      ATR(KRVU_ATTR_SETS, "sets", KRVU_TYPE_INT, get_sets, "Special ordered sets"),
      ATR(KRVU_ATTR_SETMEMBERS, "setmembers", KRVU_TYPE_INT, get_setmembers,
          "Members of all special ordered sets"),
      ATR(1006, "simplexiter", KRVU_TYPE_INT, nullptr, "Simplex iterations of the last solve"),
      ATR(1007, "bariter", KRVU_TYPE_INT, nullptr, "Interior-point iterations of the last solve"),
      ATR(1008, "nodes", KRVU_TYPE_INT64, nullptr, "Branch-and-bound nodes of the last solve"),
      ATR(1009, "stopstatus", KRVU_TYPE_INT, nullptr,
          "Why the last solve stopped early (0: it did not)"),
      ATR(KRVU_ATTR_LPSTATUS, "lpstatus", KRVU_TYPE_INT, nullptr, "Status of the last LP solve"),
      ATR(KRVU_ATTR_MIPSTATUS, "mipstatus", KRVU_TYPE_INT, nullptr,
          "Status of the last MIP solve"),
      ATR(1012, "mipsols", KRVU_TYPE_INT, nullptr, "Integer solutions found by the last search"),
      ATR(1013, "qconstraints", KRVU_TYPE_INT, get_qconstraints, "Rows with quadratic coefficients"),
      ATR(KRVU_ATTR_COLS, "cols", KRVU_TYPE_INT, get_cols, "Columns of the problem as it is held"),
      ATR(KRVU_ATTR_SPAREROWS, "sparerows", KRVU_TYPE_INT, get_zero,
          "Rows allocated beyond those in use"),
      ATR(KRVU_ATTR_NAMELENGTH, "namelength", KRVU_TYPE_INT, get_namelength,
          "Longest row, column or set name, in units of 8 characters"),
      ATR(KRVU_ATTR_MIPENTS, "mipents", KRVU_TYPE_INT, get_mipents,
          "Integer, binary, semi-continuous, semi-integer and partially integer columns"),
      ATR(KRVU_ATTR_ORIGINALROWS, "originalrows", KRVU_TYPE_INT, get_rows,
          "Rows of the problem as the user built it"),
      ATR(KRVU_ATTR_PROBNAMELENGTH, "probnamelength", KRVU_TYPE_INT, get_probnamelength,
          "Length of the problem name"),
      ATR(KRVU_ATTR_ORIGINALSETS, "originalsets", KRVU_TYPE_INT, get_sets,
          "Sets of the problem as the user built it"),
      ATR(KRVU_ATTR_ORIGINALCOLS, "originalcols", KRVU_TYPE_INT, get_cols,
          "Columns of the problem as the user built it"),
      ATR(KRVU_ATTR_INDICATORS, "indicators", KRVU_TYPE_INT, get_indicators, "Indicator constraints"),
      ATR(KRVU_ATTR_GENCONS, "gencons", KRVU_TYPE_INT, get_gencons,
          "General and piecewise-linear constraints"),
      ATR(1400, "activenodes", KRVU_TYPE_INT64, nullptr,
          "Open nodes left when the last search of the library's branch-and-bound ended"),
      ATR(1401, "maxdepth", KRVU_TYPE_INT, nullptr,
          "Deepest node of the last search of the library's branch-and-bound"),
      ATR(KRVU_ATTR_CURRENTNODE, "currentnode", KRVU_TYPE_INT, nullptr,
          "Number of the node a search callback is called for (0 outside)"),
      ATR(KRVU_ATTR_PARENTNODE, "parentnode", KRVU_TYPE_INT, nullptr,
          "Number of the parent of the node a search callback is called for (0 at the root)"),
      ATR(KRVU_ATTR_NODEDEPTH, "nodedepth", KRVU_TYPE_INT, nullptr,
          "Depth of the node a search callback is called for (0 at the root)"),
      ATR(KRVU_ATTR_LPOBJVAL, "lpobjval", KRVU_TYPE_DOUBLE, nullptr,
          "Objective value of the last LP solution"),
      ATR(2002, "bestbound", KRVU_TYPE_DOUBLE, nullptr, "Best bound of the last MIP search"),
      ATR(KRVU_ATTR_MIPBESTOBJVAL, "mipbestobjval", KRVU_TYPE_DOUBLE, nullptr,
          "Objective value of the best integer solution"),
      ATR(2004, "mipgap", KRVU_TYPE_DOUBLE, nullptr, "Relative gap reached by the last search"),
      ATR(2005, "solvetime", KRVU_TYPE_DOUBLE, nullptr, "Seconds spent in the last solve"),
      ATR(2006, "objsense", KRVU_TYPE_DOUBLE, get_objsense, "1 to minimize, -1 to maximize"),
      ATR(3000, "probname", KRVU_TYPE_STRING, get_probname, "Name of the problem"),
      ATR(1301, "iissolves", KRVU_TYPE_INT, nullptr,
          "Solves the infeasibility analysis has done (LP solves, or MIP solves)"),
      ATR(2301, "iistime", KRVU_TYPE_DOUBLE, nullptr, "Seconds the infeasibility analysis took"),
      ATR(2310, "repairviolation", KRVU_TYPE_DOUBLE, nullptr,
          "Weighted violation of the last infeasibility repair's first phase"),
      // --- nonlinear solver controls ----------------------------------------
      SCTL_I(12400, "kslp_algorithm", 0, 0, 2,
             "Nonlinear solver: 0 successive linear programming, 1 interior point, 2 automatic"),
      SCTL_I(12401, "kslp_maxiter", 1000, 0, kIntMax, "Iteration limit of the nonlinear solver"),
      SCTL_I(12402, "kslp_postsolve", 0, 0, 1,
             "1: postsolve the problem after a solve so that queries see the original; 0: do not"),
      SCTL_I(12403, "kslp_multistart_maxsolves", 0, 0, kIntMax,
             "Number of multistart jobs run (0: all)"),
      SCTL_I(12404, "kslp_log", 1, 0, 3, "Detail of the nonlinear solver's log"),
      SCTL_I(12415, "kslp_echolog", 1, 0, 1,
             "1: the nonlinear solver repeats the underlying problem's log lines; 0: it does not"),
      SCTL_D(12146, "kslp_objsense", 1.0, -1.0, 1.0, "1 to minimize, -1 to maximize"),
      SCTL_D(12147, "kslp_feastol", 1e-6, 1e-12, 1.0, "Feasibility tolerance of nonlinear rows"),
      SCTL_D(12148, "kslp_opttol", 1e-9, 0, 1.0,
             "Relative objective change at which the iterations are converged"),
      SCTL_D(12149, "kslp_timelimit", kInf, 0, kInf, "Time limit of the nonlinear solve"),
      SCTL_D(12150, "kslp_penalty", 10.0, 1e-6, kInf,
             "Initial weight of the error columns (the exact penalty); raised during a solve as "
             "the multipliers require"),
      SCTL_D(12500, "kslp_steptol", 1e-8, 0, kInf,
             "Converged when the largest relative step of a column is below this and the rows "
             "are feasible"),
      SCTL_D(12501, "kslp_kkttol", 1e-6, 0, kInf,
             "Converged when the relative residual of the optimality conditions is below this and "
             "the rows are feasible"),
      SCTL_D(12502, "kslp_trustradius", 1.0, 1e-12, kInf,
             "Initial step bound of a column, relative to max(1, |start value|)"),
      SCTL_I(12503, "kslp_hessian", 1, 0, 2,
             "Second-order step: 1 quadratic subproblems with a quasi-Newton Hessian of the "
             "Lagrangian, 2 with its exact Hessian (shifted where it is not positive definite; "
             "the quasi-Newton one where a formula calls a user function), 0 linear "
             "subproblems only"),
      SCTL_D(12504, "kslp_maxpenalty", 1e12, 1.0, kInf,
             "Largest weight of the error columns; beyond it the problem is declared locally "
             "infeasible"),
      // --- nonlinear solver attributes --------------------------------------
      SATR(11999, "kslp_rows", KRVU_TYPE_INT, nullptr, "Rows of the nonlinear problem", 0),
      SATR(12000, "kslp_cols", KRVU_TYPE_INT, nullptr, "Columns of the nonlinear problem", 0),
      SATR(12013, "kslp_nocolumn", KRVU_TYPE_INT, get_nocol,
           "Column index that stands for 'no column' in a formula coefficient", 0),
      SATR(12016, "kslp_coefficients", KRVU_TYPE_INT, nullptr,
           "Nonlinear coefficients of the problem", 0),
      SATR(12026, "kslp_nonlinearrows", KRVU_TYPE_INT, nullptr,
           "Rows with nonlinear coefficients", 0),
      SATR(12044, "kslp_nlpstatus", KRVU_TYPE_INT, nullptr, "Status of the last nonlinear solve",
           0),
      SATR(12045, "kslp_iterations", KRVU_TYPE_INT, nullptr,
           "Iterations of the last nonlinear solve", 0),
      SATR(12046, "kslp_maxviolation", KRVU_TYPE_DOUBLE, nullptr,
           "Largest row or bound violation at the last nonlinear solution", 0),
      SATR(12047, "kslp_penaltyvalue", KRVU_TYPE_DOUBLE, nullptr,
           "Weight of the error columns at the end of the last solve", 0),
      SATR(12048, "kslp_kktresidual", KRVU_TYPE_DOUBLE, nullptr,
           "Relative residual of the optimality conditions at the last nonlinear solution", 0),
      SATR(12062, "kslp_status", KRVU_TYPE_INT, nullptr,
           "Status bits: 1 constructed, 2^29 presolved", 0),
      SATR(12179, "kslp_objval", KRVU_TYPE_DOUBLE, nullptr,
           "Objective value of the last nonlinear solution", 0),
      // validation and the mixed-integer search of the nonlinear solver
      SATR(12110, "kslp_validationmax", KRVU_TYPE_DOUBLE, nullptr,
           "Largest violation the last validation measured (rows and bounds)", 0),
      SATR(12111, "kslp_validationsum", KRVU_TYPE_DOUBLE, nullptr,
           "Sum of the violations the last validation measured", 0),
      SATR(12112, "kslp_validationrow", KRVU_TYPE_INT, nullptr,
           "Row of the largest row violation of the last validation (-1: none)", 0),
      SATR(12113, "kslp_validationcol", KRVU_TYPE_INT, nullptr,
           "Column of the largest bound violation of the last validation (-1: none)", 0),
      SATR(12114, "kslp_validationkkt", KRVU_TYPE_DOUBLE, nullptr,
           "Relative residual of the optimality conditions the last KKT validation measured", 0),
      SATR(12115, "kslp_validationstatus", KRVU_TYPE_INT, nullptr,
           "0 when the last validation met its target (the feasibility tolerance, or the KKT "
           "target), 1 when it did not", 0),
      SATR(12116, "kslp_nodes", KRVU_TYPE_INT, nullptr,
           "Nodes of the last mixed-integer nonlinear search", 0),
      SATR(12117, "kslp_mipstatus", KRVU_TYPE_INT, nullptr,
           "MIP status of the last mixed-integer nonlinear search (the values of attribute 1011)", 0),
      SATR(12118, "kslp_bestbound", KRVU_TYPE_DOUBLE, nullptr,
           "Best bound of the last mixed-integer nonlinear search (valid for convex problems)", 0),
      SATR(12601, "kslp_krvuprob", KRVU_TYPE_NOTDEFINED, nullptr,
           "The library problem under the nonlinear problem", kParamPointer),
      SATR(12602, "kslp_currentprob", KRVU_TYPE_NOTDEFINED, nullptr,
           "The problem being evaluated inside a user function", kParamPointer),
      // --- interior-point solver controls -----------------------------------
      ICTL_I(22001, "kslp_ipm_maxiter", 3000, 0, kIntMax,
             "Iteration limit of the interior-point solver"),
      ICTL_D(22002, "kslp_ipm_tol", 1e-8, 1e-14, 1.0,
             "Convergence tolerance of the interior-point solver"),
      ICTL_I(22003, "kslp_ipm_printlevel", 0, 0, 12, "Log detail of the interior-point solver"),
      ICTL_D(22004, "kslp_ipm_acceptabletol", 1e-6, 1e-14, 1.0,
             "Tolerance at which a stalled interior-point run is accepted"),
      ICTL_I(22005, "kslp_ipm_mustrategy", 1, 0, 1,
             "Barrier update of the interior-point solver: 0 monotone, 1 adaptive"),
      ICTL_I(22006, "kslp_ipm_hessian", 0, 0, 1,
             "Hessian of the interior-point solver: 0 exact (quasi-Newton where a user function "
             "has no second derivatives), 1 quasi-Newton"),
      ICTL_I(22007, "kslp_ipm_secondorder", 1, 0, 1,
             "1: an interior-point run that ends at a saddle point (negative curvature along the "
             "active rows) goes on from a step along that direction; 0: it stops there"),
      ICTL_S(22013, "kslp_ipm_outputfile", "",
             "File that receives the interior-point solver's log ('' for none)"),
  };
}

std::string lower(const char *s) {
  std::string r(s);
  for (char &c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

struct Index {
  // Ids are small positive numbers, so a dense table maps id -> position.
  std::vector<int> by_id;
  std::unordered_map<std::string, int> by_name[3][2];
};

const Index &index() {
  static const Index idx = [] {
    Index i;
    const auto &t = param_table();
    int top = 0;
    for (const auto &d : t) top = std::max(top, d.id);
    i.by_id.assign(static_cast<size_t>(top) + 1, -1);
    for (int k = 0; k < static_cast<int>(t.size()); ++k) {
      if (t[k].id >= 0 && i.by_id[t[k].id] < 0) i.by_id[t[k].id] = k;
      i.by_name[t[k].source][t[k].kind].emplace(t[k].name, k);
    }
    return i;
  }();
  return idx;
}

}  // namespace

const std::vector<ParamDef> &param_table() {
  static const std::vector<ParamDef> table = build_table();
  return table;
}

int param_index(int id) {
  const auto &m = index().by_id;
  return id < 0 || static_cast<size_t>(id) >= m.size() ? -1 : m[static_cast<size_t>(id)];
}

int param_index_by_name(const char *name, int source, int kind) {
  if (!name || source < 0 || source > 2) return -1;
  const auto &m = index().by_name[source][kind ? 1 : 0];
  auto it = m.find(lower(name));
  return it == m.end() ? -1 : it->second;
}

ParamValues::ParamValues() : v(param_table().size()) {
  for (int s = 0; s < 3; ++s) reset_controls(s);
}

void ParamValues::reset_controls(int source) {
  const auto &t = param_table();
  for (size_t k = 0; k < t.size(); ++k) {
    if (t[k].kind != kControl || t[k].source != source) continue;
    v[k].i = t[k].idef;
    v[k].d = t[k].ddef;
    v[k].s = t[k].sdef ? t[k].sdef : "";
  }
}

}  // namespace krvu
