// Copies of the nonlinear part of a problem: KSLPcopyprob, and the helpers
// that files and save files use to replace a nonlinear model in one step.
#include "slp/slpcopy.h"

#include "core/common.h"
#include "model/store.h"
#include "params/access.h"

namespace krvu {
namespace slp {

NlModel model_of(const kslp_prob_s &s) {
  NlModel m;
  m.coefs = s.coefs;
  for (auto &c : m.coefs) c.tape.reset();
  m.rowstatus = s.rowstatus;
  m.vars = s.vars;
  m.strings = s.strings;
  m.userfuncs = s.userfuncs;
  m.tolsets = s.tolsets;
  m.dfs = s.dfs;
  m.rowwt = s.rowwt;
  return m;
}

void install_model(KSLPprob slp, NlModel &&m) noexcept {
  slp->coefs = std::move(m.coefs);
  slp->rowstatus = std::move(m.rowstatus);
  slp->vars = std::move(m.vars);
  slp->strings = std::move(m.strings);
  slp->userfuncs = std::move(m.userfuncs);
  slp->tolsets = std::move(m.tolsets);
  slp->dfs = std::move(m.dfs);
  slp->rowwt = std::move(m.rowwt);
  slp->cascade_order.clear();
  slp->rowinfo.clear();
  slp->colinfo.clear();
  slp->x.clear();
  slp->slack.clear();
  slp->dual.clear();
  slp->dj.clear();
  slp->constructed = false;
  slp->stop_reason.clear();
  set_attr_i(slp, KSLP_ATTR_NLPSTATUS, KSLP_NLPSTATUS_UNSTARTED);
  set_attr_d(slp, KSLP_ATTR_OBJVAL, 0.0);
}

void keep_user_addresses(NlModel &m, const kslp_prob_s &old) {
  for (UserFunc &u : m.userfuncs)
    for (const UserFunc &o : old.userfuncs)
      if (o.name == u.name && o.argtype == u.argtype) {
        u.address = o.address;
        u.object = o.object;
        break;
      }
}

void check_model(const NlModel &m, int nrows, int ncols, const char *func) {
  const int nu = static_cast<int>(m.userfuncs.size());
  for (const auto &c : m.coefs) {
    if (c.row < 0 || c.row >= nrows || c.col < -1 || c.col >= ncols)
      raise(KRVU_ERR_ARGUMENT, "%s: a formula at row %d, column %d lies outside the model", func,
            c.row, c.col);
    Tape t;
    std::string err;
    if (!Tape::compile(c.types.data(), c.values.data(), c.types.size(), ncols,
                       [&](int k) { return k >= 1 && k <= nu; }, &t, &err))
      raise(KRVU_ERR_ARGUMENT, "%s: the formula of row %d, column %d: %s", func, c.row, c.col,
            err.c_str());
  }
  for (const auto &[r, st] : m.rowstatus)
    if (r < 0 || r >= nrows) raise(KRVU_ERR_ARGUMENT, "%s: a row status for row %d, outside the model", func, r);
  for (const auto &[j, v] : m.vars) {
    if (j < 0 || j >= ncols)
      raise(KRVU_ERR_ARGUMENT, "%s: column properties for column %d, outside the model", func, j);
    if (v.detrow < -1 || v.detrow >= nrows)
      raise(KRVU_ERR_ARGUMENT, "%s: column %d is determined by row %d, outside the model", func, j,
            v.detrow);
    if (v.deltatype < KSLP_DELTA_DEFAULT || v.deltatype > KSLP_DELTA_NONE || v.cascadelimit < 0 || v.seqnum < 0)
      raise(KRVU_ERR_ARGUMENT, "%s: column %d has a step-bound type or cascade setting out of range", func, j);
  }
  for (const auto &t : m.tolsets)
    for (double d : t.tol)
      if (!(d >= 0 && d < KRVU_INFINITY)) raise(KRVU_ERR_ARGUMENT, "%s: a tolerance set holds %g", func, d);
  for (const auto &[key, f] : m.dfs)
    if (key.first < 0 || key.first >= ncols || key.second < 0 || key.second >= nrows || !std::isfinite(f))
      raise(KRVU_ERR_ARGUMENT, "%s: a distribution factor at column %d, row %d lies outside the model", func,
            key.first, key.second);
  for (const auto &[r, w] : m.rowwt)
    if (r < 0 || r >= nrows || !(w > 0 && w < KRVU_INFINITY))
      raise(KRVU_ERR_ARGUMENT, "%s: a weight of row %d lies outside the model", func, r);
}

}  // namespace slp
}  // namespace krvu

using namespace krvu;

extern "C" {

int KSLPcopyprob(KSLPprob dest, KSLPprob src, const char *probname) {
  const char *F = "KSLPcopyprob";
  return slp_guarded(dest, F, [&] {
    check_slp(src, F);
    if (dest == src) raise(KRVU_ERR_ARGUMENT, "%s: 'dest' and 'src' are the same problem", F);
    const int nrows = slp::model_rows(dest), ncols = slp::model_cols(dest);
    if (nrows != slp::model_rows(src) || ncols != slp::model_cols(src))
      raise(KRVU_ERR_STATE,
            "%s: the linear part of 'dest' (%d rows, %d columns) is not that of 'src' (%d rows, "
            "%d columns): copy it first with KRVUcopyprob",
            F, nrows, ncols, slp::model_rows(src), slp::model_cols(src));
    slp::NlModel m = slp::model_of(*src);
    slp::install_model(dest, std::move(m));
    if (probname && *probname) dest->prob->name = probname;
    return 0;
  });
}

}  // extern "C"
