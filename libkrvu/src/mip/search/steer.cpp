// The callback points of the search: what a node looks like to its caller,
// and branchings handed in from outside replacing the search's own.
#include <cmath>

#include "mip/search/searcher.h"

namespace krvu {
namespace search {

NodeView Searcher::view(const Node &nd, bool solved) {
  NodeView v;
  v.id = nd.id;
  v.parent = nd.parent;
  v.depth = nd.depth;
  v.lo = &lo_;
  v.up = &up_;
  // The node members work on the LP relaxation only.
  v.search = ctl_.relaxation ? nullptr : this;
  if (solved) {
    v.obj = lp_->objective();
    v.x = &lp_->x();
    v.ract = &lp_->row_activity();
    if (!tightened_.empty() && lp_->x().size() == static_cast<size_t>(n_)) {
      view_act_ = lp_->row_activity();
      untighten_activity(lp_->x(), view_act_);
      v.ract = &view_act_;
    }
    v.rdual = &lp_->row_dual();
    v.cdual = &lp_->col_dual();
  }
  // The nonlinear node solver's solution, not the idle LP engine's.
  if (solved && ctl_.relaxation) relaxed_view(v);
  return v;
}

void Searcher::make_children(const Node &nd, double obj, const Branches &branches,
                             std::vector<Node> &kids, const BranchCuts *cuts) {
  kids.clear();
  for (size_t i = 0; i < branches.size(); ++i) {
    const auto &b = branches[i];
    Node c = child(nd, obj);
    if (cuts && i < cuts->size()) c.load = (*cuts)[i];
    c.id = next_id_++;
    for (const BoundChange &bc : b) {
      Change ch{bc.col, -INFINITY, INFINITY};
      if (bc.type != 'U') ch.lo = bc.val;
      if (bc.type != 'L') ch.up = bc.val;
      c.changes.push_back(ch);
    }
    kids.push_back(std::move(c));
  }
}

bool Searcher::steer_branching(const Node &nd, double obj, std::vector<Node> &kids) {
  Branches b;
  for (const Node &k : kids) {
    b.emplace_back();
    for (size_t i = nd.changes.size(); i < k.changes.size(); ++i) {
      const Change &c = k.changes[i];
      if (std::isfinite(c.lo)) b.back().push_back({c.col, 'L', c.lo});
      if (std::isfinite(c.up)) b.back().push_back({c.col, 'U', c.up});
    }
  }
  BranchCuts bc;
  if (!hooks_.chgbranch(view(nd, true), b, &bc)) return false;
  make_children(nd, obj, b, kids, &bc);
  return true;
}

void Searcher::report_gap() {
  if (!hooks_.active()) return;
  double bound;
  {
    std::lock_guard<std::mutex> lk(sh_->mu);
    bound = tree_bound();
  }
  const double inc = inc_obj_;
  const bool has = has_inc_;
  const double abs = has ? inc - effective(bound) : INFINITY;
  const double rel = has && inc != 0 ? abs / std::fabs(inc) : INFINITY;
  hooks_.gap(rel, abs, has ? sense_ * inc : sense_ * INFINITY, sense_ * bound);
}

}  // namespace search
}  // namespace krvu
