// What the infeasibility analysis, the repair and the tuner keep on a problem
// between calls.  Held by the problem's solver state; model changes drop the
// sets and the repair amounts (they describe the model as it was).
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace krvu {

class ElasticSystem;  // analysis/elastic.h

// One infeasible set: rows and column bounds with their Farkas multipliers.
struct IisSet {
  std::vector<int> rows;
  std::vector<char> rowtype;    // 'L' upper limit, 'G' lower limit, 'E' equality row
  std::vector<double> rowdual;  // Farkas multiplier of each row
  std::vector<int> cols;
  std::vector<char> bndtype;    // 'U' upper bound, 'L' lower bound, 'F' fixed column
  std::vector<double> coldual;  // Farkas multiplier of each bound
  std::vector<signed char> rowiso, coliso;  // -1 not computed, 0 no, 1 isolation
  double suminfeas = 0;         // least sum of violations of the set's members
  int numinfeas = 0;            // members violated at that point
  std::vector<int> member_ids;  // the members in the elastic system
};

struct IisState {
  bool started = false;
  bool mip = false;        // the sets are for the integer problem
  int mode = 1;            // KRVUiisfirst's iismode
  IisSet initial;          // the infeasible subsystem the elastic filter found
  std::vector<IisSet> sets;
  bool exhausted = false;  // no further set exists (or none can be found)
  // The elastic form the sets were found on, kept for the next calls, and
  // the sets of removed members found to leave the problem feasible.
  std::shared_ptr<ElasticSystem> system;
  std::vector<std::vector<int>> dead;
  // Work of the whole analysis, for benchmarks and logs.
  int lp_solves = 0;
  long long iterations = 0;
  double seconds = 0;
};

// Amounts by which the last repair relaxed each row side and bound.
struct RepairState {
  bool valid = false;
  std::vector<double> row_lower, row_upper;  // lower limit decreased, upper limit increased
  std::vector<double> col_lower, col_upper;  // lower bound decreased, upper bound increased
  double violation = 0;                      // weighted violation of the first phase
};

// One control the tuner varies, with the values it tries.
struct TunerDimension {
  int id = 0;
  std::string name;
  int type = 0;  // KRVU_TYPE_INT or KRVU_TYPE_DOUBLE
  std::vector<double> values;
};

struct TunerMethod {
  bool set = false;  // read from a file (else the built-in method is used)
  std::vector<TunerDimension> lp, mip;
};

struct AnalysisState {
  IisState iis;
  RepairState repair;
  TunerMethod method;
  // Called by touch() for every model change.
  void on_change() {
    iis = IisState();
    repair = RepairState();
  }
};

}  // namespace krvu
