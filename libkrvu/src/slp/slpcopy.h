// The nonlinear part of a problem as one value: what copies, files and save
// files take from a nonlinear problem and give to another.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "slp/slpprob.h"

namespace krvu {
namespace slp {

struct NlModel {
  std::vector<kslp_prob_s::Coef> coefs;
  std::map<int, int> rowstatus;
  std::map<int, VarInfo> vars;
  std::vector<std::string> strings;
  std::vector<UserFunc> userfuncs;
  std::vector<TolSet> tolsets;
  std::map<std::pair<int, int>, double> dfs;
  std::map<int, double> rowwt;
};

// A deep copy of the nonlinear model of s (compiled formulas are not shared:
// each problem compiles its own).
NlModel model_of(const kslp_prob_s &s);
// Replaces the nonlinear model of slp; the last solve is forgotten.  Does not
// throw.
void install_model(KSLPprob slp, NlModel &&m) noexcept;
// User functions of m that the problem old has too (same name and kind)
// keep old's addresses and objects: reading a file or a save file back into
// the problem that wrote it leaves its user functions callable.
void keep_user_addresses(NlModel &m, const kslp_prob_s &old);
// Checks every formula of m against a model of ncols columns and nrows rows
// and m's user functions; throws naming func and, through where, the place
// of the faulty entry.
void check_model(const NlModel &m, int nrows, int ncols, const char *func);

}  // namespace slp
}  // namespace krvu
