// The nonlinear part of a problem: formula coefficients, their text form,
// row and column properties, strings and user functions.
#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "core/common.h"
#include "params/access.h"
#include "model/store.h"
#include "slp/slpprob.h"

using namespace krvu;
using krvu::slp::Tape;

namespace krvu {
namespace slp {

int model_rows(KSLPprob slp) { return read_model(slp->prob).nrows(); }
int model_cols(KSLPprob slp) { return read_model(slp->prob).ncols(); }

const Tape &tape_of(KSLPprob slp, kslp_prob_s::Coef &c, const char *func) {
  if (!c.tape) {
    auto t = std::make_shared<Tape>();
    std::string err;
    int nu = static_cast<int>(slp->userfuncs.size());
    if (!Tape::compile(c.types.data(), c.values.data(), c.types.size(), model_cols(slp),
                       [&](int k) { return k >= 1 && k <= nu; }, t.get(), &err))
      raise(KRVU_ERR_ARGUMENT, "%s: the formula of row %d, column %d: %s", func, c.row, c.col,
            err.c_str());
    c.tape = std::move(t);
  }
  return *c.tape;
}

bool call_user(KSLPprob slp, int number, const double *args, int n, double *value, double *grad) {
  if (number < 1 || number > static_cast<int>(slp->userfuncs.size())) return false;
  const UserFunc &u = slp->userfuncs[number - 1];
  if (!u.address) {
    slp->stop_reason = "user function '" + u.name + "' has no address";
    return false;
  }
  auto &calls = slp->evals.user;
  if (calls.size() < slp->userfuncs.size()) calls.resize(slp->userfuncs.size(), 0);
  ++calls[number - 1];
  FuncInfo info{slp->owner ? slp->owner : slp, number, n, 1, grad ? n : 0, false};
  KSLPprob saved = slp->current;
  slp->current = slp->owner ? slp->owner : slp;
  auto once = [&](const double *a, double *res, const double *deltas) {
    if (u.derivatives()) {
      double r = reinterpret_cast<KSLPuserfuncderiv>(u.address)(a, &info, deltas, res);
      (void)r;
    } else {
      res[0] = reinterpret_cast<KSLPuserfunc>(u.address)(a, &info);
    }
  };
  std::vector<double> res(static_cast<size_t>(n) + 1, NAN);
  std::vector<double> deltas(static_cast<size_t>(n), grad ? 1.0 : 0.0);
  once(args, res.data(), deltas.data());
  bool ok = !info.failed;
  if (ok) *value = res[0];
  if (ok && grad) {
    // Partials the function did not give come from central differences.
    std::vector<double> a(args, args + n), r2(static_cast<size_t>(n) + 1);
    std::vector<double> none(static_cast<size_t>(n), 0.0);
    for (int i = 0; i < n && ok; ++i) {
      if (u.derivatives() && std::isfinite(res[i + 1])) {
        grad[i] = res[i + 1];
        continue;
      }
      double h = 1e-6 * std::max(1.0, std::fabs(args[i]));
      a[i] = args[i] + h;
      once(a.data(), r2.data(), none.data());
      double up = r2[0];
      a[i] = args[i] - h;
      once(a.data(), r2.data(), none.data());
      a[i] = args[i];
      grad[i] = (up - r2[0]) / (2 * h);
      ok = !info.failed;
    }
  }
  slp->current = saved;
  if (!ok && slp->stop_reason.empty()) slp->stop_reason = "user function '" + u.name + "' failed";
  return ok;
}

void slp_log(KSLPprob slp, int msgtype, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string text = vformat(fmt, ap);
  va_end(ap);
  // The log of a solve is the problem's log: the problem's output switch
  // (control outputlog) silences it as it does the linear solvers' lines.
  bool silenced = msgtype == KRVU_MSG_LOG && slp->prob && ctl_int(slp->prob, KRVU_CTRL_OUTPUTLOG) == 0;
  if (!silenced) slpcb_fire_message(slp, text.c_str(), static_cast<int>(text.size()), msgtype);
  log_global(slp, msgtype, text);
}

void renumber_after_delete(KSLPprob slp, bool rows, const std::vector<int> &newidx) {
  const int n = static_cast<int>(newidx.size());
  // What validate.cpp and slpops.cpp held for the old numbering is dropped
  // rather than renumbered: it was measured at a point of the old model.
  slp->fixed_err.clear();
  slp->lin = kslp_prob_s::Linearization();
  if (rows) slp->rowscale.clear();
  auto mapped = [&](int i) { return i >= 0 && i < n ? newidx[i] : i; };
  std::vector<kslp_prob_s::Coef> kept;
  for (kslp_prob_s::Coef &c : slp->coefs) {
    if (rows) {
      if ((c.row = mapped(c.row)) < 0) continue;
    } else {
      if (c.col >= 0 && (c.col = mapped(c.col)) < 0) continue;
      bool lost = false;
      for (size_t k = 0; k < c.types.size() && !lost; ++k)
        if (c.types[k] == kTokColumn) {
          int j = mapped(static_cast<int>(c.values[k]));
          lost = j < 0;
          c.values[k] = j;
        }
      if (lost) continue;
      c.tape.reset();
    }
    kept.push_back(std::move(c));
  }
  slp->coefs.swap(kept);
  if (rows) {
    std::map<int, int> status;
    for (const auto &[r, bits] : slp->rowstatus)
      if (mapped(r) >= 0) status[mapped(r)] = bits;
    slp->rowstatus.swap(status);
    for (auto &[j, v] : slp->vars)
      if (v.detrow >= 0) v.detrow = mapped(v.detrow);
  } else {
    std::map<int, VarInfo> vars;
    for (auto &[j, v] : slp->vars)
      if (mapped(j) >= 0) vars[mapped(j)] = v;
    slp->vars.swap(vars);
  }
  // Distribution factors name a column and a row; weights and the solve's
  // row information a row, the solve's column information a column.
  std::map<std::pair<int, int>, double> dfs;
  for (const auto &[key, f] : slp->dfs) {
    int c = rows ? key.first : mapped(key.first), r = rows ? mapped(key.second) : key.second;
    if (c >= 0 && r >= 0) dfs[{c, r}] = f;
  }
  slp->dfs.swap(dfs);
  if (rows) {
    std::map<int, double> wt;
    for (const auto &[r, w] : slp->rowwt)
      if (mapped(r) >= 0) wt[mapped(r)] = w;
    slp->rowwt.swap(wt);
  }
  // Per-index vectors keep the entries that stay (and are dropped when they
  // do not fit the model).
  auto squeeze = [&](auto &v) {
    if (v.size() != newidx.size()) {
      v.clear();
      return;
    }
    size_t w = 0;
    for (size_t i = 0; i < v.size(); ++i)
      if (newidx[i] >= 0) v[w++] = v[i];
    v.resize(w);
  };
  if (rows) {
    squeeze(slp->rowinfo);
    for (ColSolveInfo &ci : slp->colinfo)
      if (ci.updaterow >= 0) ci.updaterow = mapped(ci.updaterow);
  } else {
    squeeze(slp->colinfo);
  }
  // The order is of columns and follows from rows: it is found again.
  slp->cascade_order.clear();
  // The last solution keeps the entries that stay.
  if (rows) {
    squeeze(slp->slack);
    squeeze(slp->dual);
  } else {
    squeeze(slp->x);
    squeeze(slp->dj);
  }
  slp->constructed = false;
}

int64_t ctl_i(KSLPprob slp, int id) { return slp->params.v[param_index(id)].i; }
double ctl_d(KSLPprob slp, int id) { return slp->params.v[param_index(id)].d; }
void set_attr_i(KSLPprob slp, int id, int64_t v) { slp->params.v[param_index(id)].i = v; }
void set_attr_d(KSLPprob slp, int id, double v) { slp->params.v[param_index(id)].d = v; }

}  // namespace slp
}  // namespace krvu

namespace {

using Coef = kslp_prob_s::Coef;

Coef *find_coef(KSLPprob slp, int row, int col) {
  for (Coef &c : slp->coefs)
    if (c.row == row && c.col == col) return &c;
  return nullptr;
}

void check_row_col(KSLPprob slp, int row, int col, const char *func) {
  require_index(row, slp::model_rows(slp), func, "rowindex");
  if (col != -1) require_index(col, slp::model_cols(slp), func, "colindex");
}

// A coefficient from tokens [b, e), checked by compiling it.
Coef make_coef(KSLPprob slp, int row, int col, double factor, const int *type, const double *value,
               size_t b, size_t e, const char *func) {
  Coef c;
  c.row = row;
  c.col = col;
  c.factor = factor;
  c.types.assign(type + b, type + e);
  c.values.assign(value + b, value + e);
  if (!std::isfinite(factor)) raise(KRVU_ERR_ARGUMENT, "%s: the factor of row %d, column %d is not finite", func, row, col);
  slp::tape_of(slp, c, func);
  return c;
}

void add_coefs(KSLPprob slp, bool replace_all, int ncoefs, const int rowindex[],
               const int colindex[], const double factor[], const int formulastart[], int parsed,
               const int type[], const double value[], const char *func) {
  if (ncoefs < 0) raise(KRVU_ERR_ARGUMENT, "%s: 'ncoefs' must not be negative", func);
  if (parsed != 1) raise(KRVU_ERR_ARGUMENT, "%s: 'parsed' must be 1 (formulas in token form)", func);
  std::vector<Coef> added;
  if (ncoefs > 0) {
    require_ptr(rowindex, func, "rowindex");
    require_ptr(colindex, func, "colindex");
    require_ptr(formulastart, func, "formulastart");
    require_ptr(type, func, "type");
    require_ptr(value, func, "value");
    if (formulastart[0] < 0) raise(KRVU_ERR_ARGUMENT, "%s: formulastart[0] is negative", func);
    for (int k = 0; k < ncoefs; ++k) {
      if (formulastart[k + 1] <= formulastart[k])
        raise(KRVU_ERR_ARGUMENT, "%s: formula %d is empty (formulastart must increase)", func, k);
      check_row_col(slp, rowindex[k], colindex[k], func);
    }
    for (int k = 0; k < ncoefs; ++k)
      added.push_back(make_coef(slp, rowindex[k], colindex[k], factor ? factor[k] : 1.0, type, value,
                                static_cast<size_t>(formulastart[k]),
                                static_cast<size_t>(formulastart[k + 1]), func));
  }
  if (replace_all) slp->coefs.clear();
  for (Coef &c : added) {
    Coef *old = find_coef(slp, c.row, c.col);
    if (old) *old = std::move(c);
    else slp->coefs.push_back(std::move(c));
  }
  slp->constructed = false;
}

// The point at which coefficients are evaluated outside a solve.
std::vector<double> current_point(KSLPprob slp) {
  const ModelData &m = read_model(slp->prob);
  std::vector<double> x(static_cast<size_t>(m.ncols()), 0.0);
  if (slp->x.size() == x.size()) return slp->x;
  for (auto &[j, v] : slp->vars)
    if (j < m.ncols()) {
      if (std::isfinite(v.initvalue)) x[j] = v.initvalue;
      else if (std::isfinite(v.value)) x[j] = v.value;
    }
  return x;
}

double eval_tape(KSLPprob slp, const Tape &t, const double *x, const char *func) {
  std::vector<double> work;
  slp::UserEval ue = [&](int num, const double *a, int n, double *v, double *g) {
    return slp::call_user(slp, num, a, n, v, g);
  };
  bool ok = true;
  slp->stop_reason.clear();
  double r = t.eval(x, work, &ue, &ok);
  if (!ok) raise(KRVU_ERR_SOLVER, "%s: %s", func, slp->stop_reason.c_str());
  return r;
}

std::string col_text(KSLPprob slp, int j) { return col_name(read_model(slp->prob), j); }
std::string user_text(KSLPprob slp, int k) {
  if (k >= 1 && k <= static_cast<int>(slp->userfuncs.size()) && !slp->userfuncs[k - 1].name.empty())
    return slp->userfuncs[k - 1].name;
  return "user" + std::to_string(k);
}

}  // namespace

extern "C" {

int KSLPaddcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[],
                 const double factor[], const int formulastart[], int parsed, const int type[],
                 const double value[]) {
  return slp_guarded(slp, "KSLPaddcoefs", [&] {
    add_coefs(slp, false, ncoefs, rowindex, colindex, factor, formulastart, parsed, type, value,
              "KSLPaddcoefs");
    return 0;
  });
}

int KSLPloadcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[],
                  const double factor[], const int formulastart[], int parsed, const int type[],
                  const double value[]) {
  return slp_guarded(slp, "KSLPloadcoefs", [&] {
    add_coefs(slp, true, ncoefs, rowindex, colindex, factor, formulastart, parsed, type, value,
              "KSLPloadcoefs");
    return 0;
  });
}

int KSLPgetcoefs(KSLPprob slp, int *ncoefs, int rowindex[], int colindex[]) {
  return slp_guarded(slp, "KSLPgetcoefs", [&] {
    require_ptr(ncoefs, "KSLPgetcoefs", "ncoefs");
    int have = static_cast<int>(slp->coefs.size());
    if ((rowindex || colindex) && *ncoefs < have)
      raise(KRVU_ERR_ARGUMENT, "KSLPgetcoefs: the arrays hold %d entries but there are %d coefficients",
            *ncoefs, have);
    *ncoefs = have;
    for (size_t k = 0; k < slp->coefs.size(); ++k) {
      if (rowindex) rowindex[k] = slp->coefs[k].row;
      if (colindex) colindex[k] = slp->coefs[k].col;
    }
    return 0;
  });
}

int KSLPdelcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[]) {
  return slp_guarded(slp, "KSLPdelcoefs", [&] {
    if (ncoefs < 0) raise(KRVU_ERR_ARGUMENT, "KSLPdelcoefs: 'ncoefs' must not be negative");
    if (ncoefs > 0) {
      require_ptr(rowindex, "KSLPdelcoefs", "rowindex");
      require_ptr(colindex, "KSLPdelcoefs", "colindex");
    }
    for (int k = 0; k < ncoefs; ++k)
      if (!find_coef(slp, rowindex[k], colindex[k]))
        raise(KRVU_ERR_ARGUMENT, "KSLPdelcoefs: row %d, column %d has no nonlinear coefficient",
              rowindex[k], colindex[k]);
    auto &v = slp->coefs;
    for (int k = 0; k < ncoefs; ++k)
      v.erase(std::remove_if(v.begin(), v.end(),
                             [&](const Coef &c) { return c.row == rowindex[k] && c.col == colindex[k]; }),
              v.end());
    slp->constructed = false;
    return 0;
  });
}

int KSLPchgcoef(KSLPprob slp, int row, int col, const double *factor, int parsed, int ntokens,
                const int type[], const double value[]) {
  return slp_guarded(slp, "KSLPchgcoef", [&] {
    const char *F = "KSLPchgcoef";
    check_row_col(slp, row, col, F);
    if (parsed != 1) raise(KRVU_ERR_ARGUMENT, "%s: 'parsed' must be 1 (formulas in token form)", F);
    Coef *old = find_coef(slp, row, col);
    if (!type) {
      if (!old) raise(KRVU_ERR_ARGUMENT, "%s: row %d, column %d has no nonlinear coefficient", F, row, col);
      slp->coefs.erase(slp->coefs.begin() + (old - slp->coefs.data()));
      return 0;
    }
    require_ptr(value, F, "value");
    if (ntokens <= 0) raise(KRVU_ERR_ARGUMENT, "%s: 'ntokens' must be positive", F);
    double f = factor ? *factor : (old ? old->factor : 1.0);
    Coef c = make_coef(slp, row, col, f, type, value, 0, static_cast<size_t>(ntokens), F);
    if (old) *old = std::move(c);
    else slp->coefs.push_back(std::move(c));
    slp->constructed = false;
    return 0;
  });
}

int KSLPgetcoefformula(KSLPprob slp, int row, int col, double *factor, int parsed, int bufsize,
                       int *ntokens, int type[], double value[]) {
  return slp_guarded(slp, "KSLPgetcoefformula", [&] {
    const char *F = "KSLPgetcoefformula";
    check_row_col(slp, row, col, F);
    if (parsed != 1) raise(KRVU_ERR_ARGUMENT, "%s: 'parsed' must be 1 (formulas in token form)", F);
    Coef *c = find_coef(slp, row, col);
    if (!c) raise(KRVU_ERR_ARGUMENT, "%s: row %d, column %d has no nonlinear coefficient", F, row, col);
    int n = static_cast<int>(c->types.size());
    if (ntokens) *ntokens = n;
    if (factor) *factor = c->factor;
    if (type || value) {
      if (bufsize < n)
        raise(KRVU_ERR_ARGUMENT, "%s: the formula has %d tokens, more than 'bufsize' (%d)", F, n, bufsize);
      if (type) std::copy(c->types.begin(), c->types.end(), type);
      if (value) std::copy(c->values.begin(), c->values.end(), value);
    }
    return 0;
  });
}

int KSLPchgccoef(KSLPprob slp, int row, int col, const double *factor, const char *formula) {
  return slp_guarded(slp, "KSLPchgccoef", [&] {
    const char *F = "KSLPchgccoef";
    check_row_col(slp, row, col, F);
    require_ptr(formula, F, "formula");
    const ModelData &m = read_model(slp->prob);
    std::vector<int> t;
    std::vector<double> v;
    std::string err;
    auto column = [&](const std::string &name) {
      int idx = -1;
      if (KRVUgetindex(slp->prob, 2, name.c_str(), &idx) == 0 && idx >= 0) return idx;
      for (int j = 0; j < m.ncols(); ++j)
        if (col_name(m, j) == name) return j;
      return -1;
    };
    auto user = [&](const std::string &name) {
      for (size_t k = 0; k < slp->userfuncs.size(); ++k)
        if (slp->userfuncs[k].name == name) return static_cast<int>(k + 1);
      return -1;
    };
    if (!slp::parse_formula(formula, column, user, &t, &v, &err))
      raise(KRVU_ERR_ARGUMENT, "%s: %s", F, err.c_str());
    Coef *old = find_coef(slp, row, col);
    double f = factor ? *factor : (old ? old->factor : 1.0);
    Coef c = make_coef(slp, row, col, f, t.data(), v.data(), 0, t.size(), F);
    if (old) *old = std::move(c);
    else slp->coefs.push_back(std::move(c));
    slp->constructed = false;
    return 0;
  });
}

int KSLPgetccoef(KSLPprob slp, int row, int col, double *factor, char *formula, int flen) {
  return slp_guarded(slp, "KSLPgetccoef", [&] {
    const char *F = "KSLPgetccoef";
    check_row_col(slp, row, col, F);
    Coef *c = find_coef(slp, row, col);
    if (!c) raise(KRVU_ERR_ARGUMENT, "%s: row %d, column %d has no nonlinear coefficient", F, row, col);
    if (factor) *factor = c->factor;
    if (formula) {
      if (flen < 1) raise(KRVU_ERR_ARGUMENT, "%s: 'flen' must be positive", F);
      std::string err;
      std::string text = slp::print_formula(
          c->types.data(), c->values.data(), c->types.size(),
          [&](int j) { return col_text(slp, j); }, [&](int k) { return user_text(slp, k); }, &err);
      if (!err.empty()) raise(KRVU_ERR_ARGUMENT, "%s: %s", F, err.c_str());
      size_t n = std::min(text.size(), static_cast<size_t>(flen - 1));
      std::memcpy(formula, text.data(), n);
      formula[n] = '\0';
    }
    return 0;
  });
}

int KSLPevaluatecoef(KSLPprob slp, int row, int col, double *value) {
  return slp_guarded(slp, "KSLPevaluatecoef", [&] {
    const char *F = "KSLPevaluatecoef";
    check_row_col(slp, row, col, F);
    require_ptr(value, F, "value");
    Coef *c = find_coef(slp, row, col);
    if (!c) raise(KRVU_ERR_ARGUMENT, "%s: row %d, column %d has no nonlinear coefficient", F, row, col);
    std::vector<double> x = current_point(slp);
    double r = eval_tape(slp, slp::tape_of(slp, *c, F), x.data(), F);
    *value = c->factor * (col >= 0 ? x[col] : 1.0) * r;
    return 0;
  });
}

int KSLPevaluateformula(KSLPprob slp, int parsed, int ntokens, const int type[],
                        const double value[], double *result) {
  return slp_guarded(slp, "KSLPevaluateformula", [&] {
    const char *F = "KSLPevaluateformula";
    if (parsed != 1) raise(KRVU_ERR_ARGUMENT, "%s: 'parsed' must be 1 (formulas in token form)", F);
    require_ptr(type, F, "type");
    require_ptr(value, F, "value");
    require_ptr(result, F, "result");
    if (ntokens <= 0) raise(KRVU_ERR_ARGUMENT, "%s: 'ntokens' must be positive", F);
    Tape t;
    std::string err;
    int nu = static_cast<int>(slp->userfuncs.size());
    if (!Tape::compile(type, value, static_cast<size_t>(ntokens), slp::model_cols(slp),
                       [&](int k) { return k >= 1 && k <= nu; }, &t, &err))
      raise(KRVU_ERR_ARGUMENT, "%s: %s", F, err.c_str());
    std::vector<double> x = current_point(slp);
    *result = eval_tape(slp, t, x.data(), F);
    return 0;
  });
}

int KSLPsetstring(KSLPprob slp, int *index, const char *text) {
  return slp_guarded(slp, "KSLPsetstring", [&] {
    require_ptr(index, "KSLPsetstring", "index");
    require_ptr(text, "KSLPsetstring", "text");
    slp->strings.emplace_back(text);
    *index = static_cast<int>(slp->strings.size());
    return 0;
  });
}

int KSLPaddnames(KSLPprob slp, int type, const char *names, int first, int last) {
  return slp_guarded(slp, "KSLPaddnames", [&] {
    const char *F = "KSLPaddnames";
    if (type != 5) raise(KRVU_ERR_ARGUMENT, "%s: 'type' must be 5 (user functions)", F);
    require_ptr(names, F, "names");
    int n = static_cast<int>(slp->userfuncs.size());
    if (first < 1 || last > n || first > last)
      raise(KRVU_ERR_ARGUMENT, "%s: the range %d..%d is not within the user functions 1..%d", F,
            first, last, n);
    const char *s = names;
    for (int k = first; k <= last; ++k) {
      slp->userfuncs[k - 1].name = s;
      s += std::strlen(s) + 1;
    }
    return 0;
  });
}

int KSLPadduserfuncs(KSLPprob slp, int nfuncs, int ntokens, const int type[], const double value[]) {
  return slp_guarded(slp, "KSLPadduserfuncs", [&] {
    const char *F = "KSLPadduserfuncs";
    if (nfuncs < 0 || ntokens < 0) raise(KRVU_ERR_ARGUMENT, "%s: counts must not be negative", F);
    if (nfuncs == 0) return 0;
    require_ptr(type, F, "type");
    require_ptr(value, F, "value");
    std::vector<slp::UserFunc> added;
    int k = 0;
    auto str = [&](double v) -> std::string {
      int i = static_cast<int>(v);
      if (i != v || i < 1 || i > static_cast<int>(slp->strings.size()))
        raise(KRVU_ERR_ARGUMENT, "%s: string index %g is not a stored string", F, v);
      return slp->strings[i - 1];
    };
    for (int f = 0; f < nfuncs; ++f) {
      slp::UserFunc u;
      int strings = 0;
      for (;; ++k) {
        if (k >= ntokens) raise(KRVU_ERR_ARGUMENT, "%s: function %d has no end token within 'ntokens'", F, f);
        if (type[k] == 0) {
          ++k;
          break;
        }
        switch (type[k]) {
          case slp::kTokString:
            (strings++ == 0 ? u.name : u.linkage) = str(value[k]);
            break;
          case slp::kTokRetDesc: u.rettype = static_cast<int>(value[k]); break;
          case slp::kTokArgDesc:
            u.argtype = static_cast<int>(value[k]);
            if (u.argtype != 19 && u.argtype != 110611)
              raise(KRVU_ERR_ARGUMENT, "%s: argument description %g is not 19 or 110611", F, value[k]);
            break;
          default:
            raise(KRVU_ERR_ARGUMENT, "%s: token %d of type %d is not part of a user function", F, k, type[k]);
        }
      }
      if (u.argtype == 0) raise(KRVU_ERR_ARGUMENT, "%s: function %d has no argument description", F, f);
      added.push_back(u);
    }
    for (auto &u : added) slp->userfuncs.push_back(u);
    return 0;
  });
}

int KSLPchguserfuncaddress(KSLPprob slp, int number, void *address) {
  return slp_guarded(slp, "KSLPchguserfuncaddress", [&] {
    require_index(number - 1, static_cast<long long>(slp->userfuncs.size()), "KSLPchguserfuncaddress", "number");
    slp->userfuncs[number - 1].address = address;
    return 0;
  });
}

int KSLPsetuserfuncobject(KSLPprob slp, int number, void *object) {
  return slp_guarded(slp, "KSLPsetuserfuncobject", [&] {
    require_index(number - 1, static_cast<long long>(slp->userfuncs.size()), "KSLPsetuserfuncobject", "number");
    slp->userfuncs[number - 1].object = object;
    return 0;
  });
}

int KSLPgetuserfuncobject(KSLPprob slp, int number, void **object) {
  return slp_guarded(slp, "KSLPgetuserfuncobject", [&] {
    require_ptr(object, "KSLPgetuserfuncobject", "object");
    require_index(number - 1, static_cast<long long>(slp->userfuncs.size()), "KSLPgetuserfuncobject", "number");
    *object = slp->userfuncs[number - 1].object;
    return 0;
  });
}

int KSLPgetfuncinfo(void *info, int *ninput, int *noutput, int *nderiv, int *number) {
  return guarded_global("KSLPgetfuncinfo", [&] {
    require_ptr(info, "KSLPgetfuncinfo", "info");
    auto *fi = static_cast<slp::FuncInfo *>(info);
    if (ninput) *ninput = fi->ninput;
    if (noutput) *noutput = fi->noutput;
    if (nderiv) *nderiv = fi->nderiv;
    if (number) *number = fi->number;
    return 0;
  });
}

int KSLPgetfuncobject(void *info, int id, void **object) {
  return guarded_global("KSLPgetfuncobject", [&] {
    require_ptr(info, "KSLPgetfuncobject", "info");
    require_ptr(object, "KSLPgetfuncobject", "object");
    if (id != KSLP_ATTR_CURRENTPROB)
      raise(KRVU_ERR_ARGUMENT, "KSLPgetfuncobject: %d is not an object of a function call (12602)", id);
    *object = static_cast<slp::FuncInfo *>(info)->slp;
    return 0;
  });
}

int KSLPsetfuncerror(void *info) {
  return guarded_global("KSLPsetfuncerror", [&] {
    require_ptr(info, "KSLPsetfuncerror", "info");
    static_cast<slp::FuncInfo *>(info)->failed = true;
    return 0;
  });
}

int KSLPgetrowstatus(KSLPprob slp, int row, int *status) {
  return slp_guarded(slp, "KSLPgetrowstatus", [&] {
    require_ptr(status, "KSLPgetrowstatus", "status");
    require_index(row, slp::model_rows(slp), "KSLPgetrowstatus", "row");
    auto it = slp->rowstatus.find(row);
    *status = it == slp->rowstatus.end() ? 0 : it->second;
    return 0;
  });
}

int KSLPchgrowstatus(KSLPprob slp, int row, const int *status) {
  return slp_guarded(slp, "KSLPchgrowstatus", [&] {
    require_index(row, slp::model_rows(slp), "KSLPchgrowstatus", "row");
    // A null status puts the row back to the default (no status bits).
    if (status && *status) slp->rowstatus[row] = *status;
    else slp->rowstatus.erase(row);
    return 0;
  });
}

int KSLPchgvar(KSLPprob slp, int col, const int *detrow, const double *initstepbound,
               const double *stepbound, const double *penalty, const double *damp,
               const double *initvalue, const double *value, const int *tolset, const int *history,
               const int *converged, const int *vartype) {
  return slp_guarded(slp, "KSLPchgvar", [&] {
    const char *F = "KSLPchgvar";
    require_index(col, slp::model_cols(slp), F, "col");
    // Everything is checked before anything changes.
    if (detrow && *detrow != -1) require_index(*detrow, slp::model_rows(slp), F, "detrow");
    auto nonneg = [&](const double *v, const char *name) {
      if (v && !(*v >= 0 && *v < KRVU_INFINITY))
        raise(KRVU_ERR_ARGUMENT, "%s: '%s' must be finite and not negative", F, name);
    };
    nonneg(initstepbound, "initstepbound");
    nonneg(stepbound, "stepbound");
    nonneg(penalty, "penalty");
    if (damp && !(*damp > 0 && *damp <= 1)) raise(KRVU_ERR_ARGUMENT, "%s: 'damp' must be in (0, 1]", F);
    if (value && !std::isfinite(*value)) raise(KRVU_ERR_ARGUMENT, "%s: 'value' must be finite", F);
    if (initvalue && std::isinf(*initvalue)) raise(KRVU_ERR_ARGUMENT, "%s: 'initvalue' must be finite (NaN: none)", F);
    if (tolset && (*tolset < 0 || *tolset > static_cast<int>(slp->tolsets.size())))
      raise(KRVU_ERR_ARGUMENT, "%s: tolerance set %d does not exist (0: the problem's tolerances, 1..%zu)", F,
            *tolset, slp->tolsets.size());
    if (history && *history < 0) raise(KRVU_ERR_ARGUMENT, "%s: 'history' must not be negative", F);
    if (converged && *converged != 0 && *converged != 1) raise(KRVU_ERR_ARGUMENT, "%s: 'converged' must be 0 or 1", F);
    if (vartype && (*vartype & ~3)) raise(KRVU_ERR_ARGUMENT, "%s: 'vartype' has bits other than 1 and 2", F);
    slp::VarInfo &v = slp->vars[col];
    if (detrow) v.detrow = *detrow;
    if (initstepbound) v.initstepbound = *initstepbound;
    if (stepbound) v.stepbound = *stepbound;
    if (penalty) v.penalty = *penalty;
    if (damp) v.damp = *damp;
    if (initvalue) v.initvalue = *initvalue;
    if (value) {
      v.value = *value;
      slp->x.clear();  // the next solve starts from the values set
    }
    if (tolset) v.tolset = *tolset;
    if (history) v.history = *history;
    if (converged) v.converged = *converged;
    if (vartype) v.vartype = *vartype;
    return 0;
  });
}

int KSLPgetvar(KSLPprob slp, int col, int *detrow, double *initstepbound, double *stepbound,
               double *penalty, double *damp, double *initvalue, double *value, int *tolset,
               int *history, int *converged, int *vartype, int *lastactive, int *determined,
               int *index, double *laststep) {
  return slp_guarded(slp, "KSLPgetvar", [&] {
    require_index(col, slp::model_cols(slp), "KSLPgetvar", "col");
    slp::VarInfo v;
    auto it = slp->vars.find(col);
    if (it != slp->vars.end()) v = it->second;
    if (detrow) *detrow = v.detrow;
    if (initstepbound) *initstepbound = v.initstepbound;
    if (stepbound) *stepbound = v.stepbound;
    if (penalty) *penalty = v.penalty;
    if (damp) *damp = v.damp;
    if (initvalue) *initvalue = v.initvalue;
    if (value) {
      if (slp->x.size() > static_cast<size_t>(col)) *value = slp->x[col];
      else *value = std::isfinite(v.value) ? v.value : 0.0;
    }
    if (tolset) *tolset = v.tolset;
    if (history) *history = v.history;
    if (converged) *converged = v.converged;
    if (vartype) *vartype = v.vartype;
    if (lastactive) *lastactive = v.lastactive;
    if (determined) *determined = v.detrow >= 0;
    if (index) *index = col;
    if (laststep) *laststep = v.laststep;
    return 0;
  });
}

int KSLPdelvars(KSLPprob slp, int ncols, const int colind[]) {
  return slp_guarded(slp, "KSLPdelvars", [&] {
    if (ncols < 0) raise(KRVU_ERR_ARGUMENT, "KSLPdelvars: 'ncols' must not be negative");
    if (ncols > 0) require_ptr(colind, "KSLPdelvars", "colind");
    int n = slp::model_cols(slp);
    for (int k = 0; k < ncols; ++k) require_index(colind[k], n, "KSLPdelvars", "colind");
    for (int k = 0; k < ncols; ++k) slp->vars.erase(colind[k]);
    return 0;
  });
}

int KSLPgetslpsol(KSLPprob slp, double x[], double slack[], double dual[], double dj[]) {
  return slp_guarded(slp, "KSLPgetslpsol", [&] {
    // Inside a callback of the mixed-integer search: the node's relaxation.
    if (slp->prob->node && slp->prob->node->x) {
      if (KRVUgetlpsol(slp->prob, x, slack, dual, dj)) raise(KRVU_ERR_INTERNAL, "KSLPgetslpsol: the node's solution");
      return 0;
    }
    const ModelData &m = read_model(slp->prob);
    if (slp->x.size() != static_cast<size_t>(m.ncols()) ||
        slp->slack.size() != static_cast<size_t>(m.nrows()))
      raise(KRVU_ERR_STATE, "KSLPgetslpsol: there is no nonlinear solution of the problem as it is");
    if (x) std::copy(slp->x.begin(), slp->x.end(), x);
    if (slack) std::copy(slp->slack.begin(), slp->slack.end(), slack);
    if (dual) std::copy(slp->dual.begin(), slp->dual.end(), dual);
    if (dj) std::copy(slp->dj.begin(), slp->dj.end(), dj);
    return 0;
  });
}

int KSLPconstruct(KSLPprob slp) {
  return slp_guarded(slp, "KSLPconstruct", [&] {
    for (Coef &c : slp->coefs) slp::tape_of(slp, c, "KSLPconstruct");
    slp->constructed = true;
    if (slp::slpcb_fire_construct(slp))
      raise(KRVU_ERR_STATE, "KSLPconstruct: stopped by the construct callback");
    return 0;
  });
}

int KSLPunconstruct(KSLPprob slp) {
  return slp_guarded(slp, "KSLPunconstruct", [&] {
    for (Coef &c : slp->coefs) c.tape.reset();
    slp->constructed = false;
    return 0;
  });
}

int KSLPpostsolve(KSLPprob slp) {
  // KSLPpresolve keeps its tightened bounds beside the user's problem, which
  // it never changes: postsolving forgets them.
  return slp_guarded(slp, "KSLPpostsolve", [&] {
    slp->pre_lb.clear();
    slp->pre_ub.clear();
    return 0;
  });
}

int KSLPinterrupt(KSLPprob slp, int reason) {
  return guarded_global("KSLPinterrupt", [&] {
    check_slp(slp, "KSLPinterrupt");
    (void)reason;
    slp->interrupt.store(true);
    return 0;
  });
}

}  // extern "C"
