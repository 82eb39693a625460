// Nodes whose relaxation is solved by a node solver of the caller's (the
// nonlinear solver of a mixed-integer nonlinear problem) instead of the LP
// engine: no cuts, no LP heuristics, no warm-start basis.
#include "krvu.h"
#include "mip/search/searcher.h"

namespace krvu {
namespace search {

Searcher::NodeEnd Searcher::process_relaxed(Node &nd, std::vector<Node> &kids) {
  NodeRelaxation &relax = *ctl_.relaxation;
  relax.at_node(nd.id, nd.parent);
  switch (relax.solve(lo_, up_)) {
    case NodeRelaxation::kStopped:
      if (!time_up()) stop_ = KRVU_STOP_USER;
      return NodeEnd::kStopped;
    case NodeRelaxation::kInfeasible: return NodeEnd::kInfeasible;
    case NodeRelaxation::kUnbounded:
      if (nd.depth == 0) res_.status = KRVU_MIP_UNBOUNDED;
      return NodeEnd::kInfeasible;
    case NodeRelaxation::kOptimal: break;
    default:
      // As an LP that could not be solved: the node is given up and its
      // bound keeps the search from claiming optimality.
      return give_up(nd);
  }
  const double obj = relax.objective();
  if (nd.info.col >= 0) observe(nd.info, obj - nd.bound);
  if (cut_off(obj)) {
    hooks_.nodecutoff(nd.id);
    return NodeEnd::kPruned;
  }
  Branches stored;
  if (hooks_.active() && hooks_.optnode(view(nd, true), &stored, nullptr)) return NodeEnd::kInfeasible;
  const std::vector<double> x = relax.x();
  if (!violated(x)) {
    accept(x, obj, "the relaxation");
    return NodeEnd::kFeasible;
  }
  const NodeEnd e = branch_node(nd, x, obj, stored, kids);
  // The relaxation's point rounded, its integer part fixed and the rest
  // solved: an early incumbent to prune with.  After branching, since it
  // overwrites the relaxation's solution that the branching callbacks see.
  if (e == NodeEnd::kBranched && !ncols_int_.empty() && (nd.depth == 0 || nodes_ % 50 == 0)) {
    std::vector<double> vals;
    for (int j : ncols_int_) vals.push_back(x[j]);
    fix_and_solve(vals, ncols_int_, "rounding");
  }
  return e;
}

void Searcher::relaxed_view(NodeView &v) const {
  const NodeRelaxation &r = *ctl_.relaxation;
  v.obj = r.objective();
  v.x = &r.x();
  v.ract = &r.row_activity();
  v.rdual = &r.row_dual();
  v.cdual = &r.col_dual();
}

}  // namespace search
}  // namespace krvu
