#include "mip/reformulate.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/common.h"

namespace krvu {
namespace {

constexpr double kInf = KRVU_INFINITY;

bool finite(double v) { return v > -kInf && v < kInf; }

// The reformulation cannot be done; caught in reformulate_for_engine.
struct Refusal {
  std::string why;
};

[[noreturn]] void refuse(std::string why) { throw Refusal{std::move(why)}; }

std::string col_text(const ModelData &m, int j) {
  return format("column %d (%s)", j, col_name(m, j).c_str());
}
std::string row_text(const ModelData &m, int i) {
  return format("row %d (%s)", i, row_name(m, i).c_str());
}

// A semi-continuous or semi-integer column the engine sees as such: 0 or in
// [max(lb, limit), ub] with that interval away from 0.
bool engine_semi(const ModelData &m, int j) {
  const char t = m.coltype[j];
  if (t != 'S' && t != 'R') return false;
  return m.lb[j] <= 0 && m.ub[j] >= 0 && std::max(m.lb[j], m.threshold[j]) > 0;
}

bool big_semi(const ModelData &m, int j) {
  return engine_semi(m, j) && m.ub[j] > kEngineMaxSemiUpper;
}

// The range of column j over every value it may take.
void value_range(const ModelData &m, int j, double &lo, double &up) {
  lo = m.lb[j] <= -kInf ? -kInf : m.lb[j];
  up = m.ub[j] >= kInf ? kInf : m.ub[j];
  const char t = m.coltype[j];
  if (t == 'B') {
    lo = std::max(lo, 0.0);
    up = std::min(up, 1.0);
  } else if (t == 'S' || t == 'R') {
    const double lo1 = std::max(lo, m.threshold[j]);
    lo = lo <= 0 && up >= 0 ? std::min(0.0, lo1) : lo1;
  }
}

const char *gen_kind(int type) {
  switch (type) {
    case KRVU_GENCONS_MAX: return "max";
    case KRVU_GENCONS_MIN: return "min";
    case KRVU_GENCONS_AND: return "and";
    case KRVU_GENCONS_OR: return "or";
    case KRVU_GENCONS_ABS: return "abs";
    default: return "unknown";
  }
}

class Reformulator {
 public:
  Reformulator(const ModelData &in, double feastol) : in_(in), tol_(std::max(feastol, 0.0)) {}

  ModelData run() {
    n0_ = in_.ncols();
    m0_ = in_.nrows();
    o_ = in_;
    lo_.resize(n0_);
    up_.resize(n0_);
    for (int j = 0; j < n0_; ++j) value_range(in_, j, lo_[j], up_[j]);
    // Entries of the original matrix, to which the new ones are added.
    for (int j = 0; j < n0_; ++j)
      for (int64_t k = in_.mstart[j]; k < in_.mstart[j + 1]; ++k)
        entry(in_.mrwind[k], j, in_.dmatval[k]);
    o_.settype.clear();
    o_.setstart.assign(1, 0);
    o_.setcol.clear();
    o_.setref.clear();
    o_.setnames.clear();
    o_.gentype.clear();
    o_.genres.clear();
    o_.gencolstart.assign(1, 0);
    o_.genvalstart.assign(1, 0);
    o_.gencol.clear();
    o_.genval.clear();
    o_.pwlcol.clear();
    o_.pwlres.clear();
    o_.pwlstart.assign(1, 0);
    o_.pwlx.clear();
    o_.pwly.clear();

    columns();
    indicators();
    for (int s = 0; s < in_.nsets(); ++s) set(s);
    for (int g = 0; g < static_cast<int>(in_.gentype.size()); ++g) general(g);
    for (int p = 0; p < static_cast<int>(in_.pwlcol.size()); ++p) pwl(p);

    o_.mstart.assign(o_.ncols() + 1, 0);
    o_.set_matrix_triplets(static_cast<int64_t>(er_.size()), er_.data(), ec_.data(),
                           ev_.data());
    if (!o_.qstart.empty()) o_.qstart.resize(o_.ncols() + 1, o_.qstart.back());
    return std::move(o_);
  }

 private:
  const ModelData &in_;
  double tol_;
  int n0_ = 0, m0_ = 0;
  ModelData o_;
  std::vector<double> lo_, up_;  // value ranges of the original columns
  std::vector<int> er_, ec_;     // matrix triplets of the output
  std::vector<double> ev_;
  RowMatrix rows_;
  bool rows_built_ = false;
  std::vector<int> seen_;  // the last SOS1 in which a column was met

  void entry(int row, int col, double v) {
    if (v == 0) return;
    er_.push_back(row);
    ec_.push_back(col);
    ev_.push_back(v);
  }

  int add_col(char type, double lb, double ub) {
    const int j = o_.ncols();
    o_.obj.push_back(0.0);
    o_.lb.push_back(lb);
    o_.ub.push_back(ub);
    o_.threshold.push_back(0.0);
    o_.coltype.push_back(type);
    o_.colnames.emplace_back();
    return j;
  }
  int add_binary() { return add_col('B', 0.0, 1.0); }

  // A row sum_k coef[k] x[cols[k]] (type) rhs.
  int add_row(char type, double rhs, std::initializer_list<std::pair<int, double>> terms) {
    const int i = new_row(type, rhs);
    for (const auto &t : terms) entry(i, t.first, t.second);
    return i;
  }
  int new_row(char type, double rhs) {
    const int i = o_.nrows();
    o_.rowtype.push_back(type);
    o_.rhs.push_back(rhs);
    o_.range.push_back(0.0);
    o_.rownames.emplace_back();
    o_.indcol.push_back(-1);
    o_.indcomp.push_back(0);
    return i;
  }

  bool binary_valued(int j) const {
    const char t = in_.coltype[j];
    if (t == 'B') return true;
    return t == 'I' && in_.lb[j] >= -tol_ && in_.ub[j] <= 1 + tol_;
  }

  // ---- columns the engine does not take ----------------------------------

  void columns() {
    for (int j = 0; j < n0_; ++j) {
      if (big_semi(in_, j)) semi(j);
      else if (in_.coltype[j] == 'P') partial(j);
    }
  }

  // x = 0 or lo1 <= x <= ub:  lo1 z <= x <= ub z, z binary.
  void semi(int j) {
    const double ub = in_.ub[j];
    if (!finite(ub))
      refuse(format("%s is %s without a finite upper bound, which no exact formulation takes",
                    col_text(in_, j).c_str(),
                    in_.coltype[j] == 'S' ? "semi-continuous" : "semi-integer"));
    const double lo1 = std::max(in_.lb[j], in_.threshold[j]);
    o_.coltype[j] = in_.coltype[j] == 'S' ? 'C' : 'I';
    o_.lb[j] = 0.0;
    o_.threshold[j] = 0.0;
    const int z = add_binary();
    add_row('L', 0.0, {{j, 1.0}, {z, -ub}});
    add_row('G', 0.0, {{j, 1.0}, {z, -lo1}});
  }

  // Integer in [lb, t], continuous in [t, ub]: x = w + c with w integer in
  // [ceil lb, floor t], c in [0, ub - floor t]; z = 0 gives c = 0, z = 1 gives
  // w = floor t and c >= t - floor t.
  void partial(int j) {
    const double lb = in_.lb[j], ub = in_.ub[j], t = in_.threshold[j];
    o_.threshold[j] = 0.0;
    if (ub <= t) {
      o_.coltype[j] = 'I';
      return;
    }
    if (t <= lb) {
      o_.coltype[j] = 'C';
      return;
    }
    if (!finite(lb) || !finite(ub))
      refuse(format("%s is partially integer with limit %g and bounds [%g, %g]; it needs finite "
                    "bounds to be reformulated exactly",
                    col_text(in_, j).c_str(), t, lb, ub));
    const double ft = std::floor(t), clb = std::ceil(lb);
    o_.coltype[j] = 'C';
    if (clb > ft) {
      // No integer value below the limit.
      o_.lb[j] = std::max(lb, t);
      return;
    }
    const int w = add_col('I', clb, ft);
    const int c = add_col('C', 0.0, ub - ft);
    const int z = add_binary();
    add_row('E', 0.0, {{j, 1.0}, {w, -1.0}, {c, -1.0}});
    add_row('L', 0.0, {{c, 1.0}, {z, -(ub - ft)}});
    if (t > ft) add_row('G', 0.0, {{c, 1.0}, {z, -(t - ft)}});
    if (ft > clb) add_row('G', clb, {{w, 1.0}, {z, -(ft - clb)}});
  }

  // ---- indicator rows -------------------------------------------------------

  const RowMatrix &rows() {
    if (rows_built_) return rows_;
    std::vector<int64_t> cnt(m0_ + 1, 0);
    for (int j = 0; j < n0_; ++j)
      for (int64_t k = in_.mstart[j]; k < in_.mstart[j + 1]; ++k) ++cnt[in_.mrwind[k] + 1];
    for (int i = 0; i < m0_; ++i) cnt[i + 1] += cnt[i];
    rows_.start = cnt;
    rows_.colind.resize(cnt[m0_]);
    rows_.val.resize(cnt[m0_]);
    for (int j = 0; j < n0_; ++j)
      for (int64_t k = in_.mstart[j]; k < in_.mstart[j + 1]; ++k) {
        const int64_t p = cnt[in_.mrwind[k]]++;
        rows_.colind[p] = j;
        rows_.val[p] = in_.dmatval[k];
      }
    rows_built_ = true;
    return rows_;
  }

  // The largest (upper) or smallest activity of row i; when it is infinite,
  // *cause gets the column responsible and *cause_up whether its upper bound
  // is the infinite one.
  double activity_bound(int i, bool upper, int *cause, bool *cause_up) {
    const RowMatrix &r = rows();
    double s = 0;
    for (int64_t k = r.start[i]; k < r.start[i + 1]; ++k) {
      const int j = r.colind[k];
      const bool use_up = (r.val[k] > 0) == upper;
      const double b = use_up ? up_[j] : lo_[j];
      if (!finite(b)) {
        *cause = j;
        *cause_up = use_up;
        return upper ? kInf : -kInf;
      }
      s += r.val[k] * b;
    }
    return s;
  }

  void indicators() {
    std::vector<int> qrows;
    for (const QRow &q : in_.qrows) qrows.push_back(q.row);
    std::sort(qrows.begin(), qrows.end());
    for (int i = 0; i < m0_; ++i) {
      if (in_.indcol[i] < 0) continue;
      o_.indcol[i] = -1;
      o_.indcomp[i] = 0;
      const int b = in_.indcol[i];
      const bool on_one = in_.indcomp[i] > 0;
      const char t = in_.rowtype[i];
      if (t == 'N') continue;
      if (!binary_valued(b))
        refuse(format("the indicator of %s is %s, which is not binary", row_text(in_, i).c_str(),
                      col_text(in_, b).c_str()));
      if (std::binary_search(qrows.begin(), qrows.end(), i))
        refuse(format("%s has an indicator and quadratic terms; only linear rows can be relaxed",
                      row_text(in_, i).c_str()));
      const bool has_up = t == 'L' || t == 'E' || t == 'R';
      const bool has_lo = t == 'G' || t == 'E' || t == 'R';
      const double upv = in_.rhs[i];
      const double lov = t == 'R' ? in_.rhs[i] - in_.range[i] : in_.rhs[i];
      double mu = 0, ml = 0;
      if (has_up) mu = relax_size(i, true, upv);
      if (has_lo) ml = relax_size(i, false, lov);
      // Upper side in row i; with two sides the lower one gets a new row.
      // Enforced when b = 1: a'x <= u + M (1 - b); when b = 0: a'x <= u + M b.
      if (has_up) {
        o_.rowtype[i] = 'L';
        o_.range[i] = 0.0;
        o_.rhs[i] = on_one ? upv + mu : upv;
        entry(i, b, on_one ? mu : -mu);
      }
      if (has_lo) {
        int r = i;
        if (has_up) {
          if (ml == 0) continue;  // the lower side always holds
          r = new_row('G', 0.0);
          const RowMatrix &rm = rows();
          for (int64_t k = rm.start[i]; k < rm.start[i + 1]; ++k) entry(r, rm.colind[k], rm.val[k]);
        }
        o_.rowtype[r] = 'G';
        o_.range[r] = 0.0;
        o_.rhs[r] = on_one ? lov - ml : lov;
        entry(r, b, on_one ? -ml : ml);
      }
    }
  }

  // How far side 'upper' of row i (limit v) must move to hold for every
  // activity; 0 when it always holds.
  double relax_size(int i, bool upper, double v) {
    int cause = -1;
    bool cause_up = false;
    const double act = activity_bound(i, upper, &cause, &cause_up);
    if (!finite(act))
      refuse(format("the activity of indicator %s has no finite %s bound (%s has no %s bound), "
                    "so the row cannot be relaxed when its indicator is off",
                    row_text(in_, i).c_str(), upper ? "upper" : "lower",
                    col_text(in_, cause).c_str(), cause_up ? "upper" : "lower"));
    const double m = upper ? act - v : v - act;
    return m > tol_ ? m : 0.0;
  }

  // ---- special ordered sets -------------------------------------------------

  // Binary z with x = 0 when z = 0: x <= up z, x >= lo z.  -1 when x is
  // always 0.
  int nonzero_switch(int x, const std::string &where) {
    const double lo = lo_[x], up = up_[x];
    if (lo >= 0 && up <= 0) return -1;
    if ((up > 0 && !finite(up)) || (lo < 0 && !finite(lo)))
      refuse(format("%s: member %s has no finite %s bound", where.c_str(), col_text(in_, x).c_str(),
                    up > 0 && !finite(up) ? "upper" : "lower"));
    const int z = add_binary();
    if (up > 0) add_row('L', 0.0, {{x, 1.0}, {z, -up}});
    if (lo < 0) add_row('G', 0.0, {{x, 1.0}, {z, -lo}});
    return z;
  }

  void set(int s) {
    const std::string where = format("set %d (%s)", s, set_name(in_, s).c_str());
    std::vector<int64_t> order;
    for (int64_t k = in_.setstart[s]; k < in_.setstart[s + 1]; ++k) order.push_back(k);
    std::stable_sort(order.begin(), order.end(),
                     [&](int64_t a, int64_t b) { return in_.setref[a] < in_.setref[b]; });
    std::vector<int> cols;
    for (int64_t k : order) cols.push_back(in_.setcol[k]);
    if (in_.settype[s] == '1') {
      if (seen_.empty()) seen_.assign(n0_, -1);
      const int cr = new_row('L', 1.0);
      for (int c : cols) {
        if (seen_[c] == s) continue;
        seen_[c] = s;
        const int z = nonzero_switch(c, where);
        if (z >= 0) entry(cr, z, 1.0);
      }
      return;
    }
    const int n = static_cast<int>(cols.size());
    if (n <= 2) return;
    // Segment q covers members q and q+1; member k may be non-zero only when
    // segment k-1 or k is chosen.
    const int first = o_.ncols();
    for (int q = 0; q + 1 < n; ++q) add_binary();
    const int cr = new_row('L', 1.0);
    for (int q = 0; q + 1 < n; ++q) entry(cr, first + q, 1.0);
    for (int k = 0; k < n; ++k) {
      const int x = cols[k];
      const double lo = lo_[x], up = up_[x];
      if (lo >= 0 && up <= 0) continue;
      if ((up > 0 && !finite(up)) || (lo < 0 && !finite(lo)))
        refuse(format("%s: member %s has no finite %s bound", where.c_str(),
                      col_text(in_, x).c_str(), up > 0 && !finite(up) ? "upper" : "lower"));
      for (int side = 0; side < 2; ++side) {
        const double bnd = side == 0 ? up : lo;
        if (side == 0 ? bnd <= 0 : bnd >= 0) continue;
        const int r = new_row(side == 0 ? 'L' : 'G', 0.0);
        entry(r, x, 1.0);
        if (k > 0) entry(r, first + k - 1, -bnd);
        if (k + 1 < n) entry(r, first + k, -bnd);
      }
    }
  }

  // ---- general constraints --------------------------------------------------

  void general(int g) {
    const int type = in_.gentype[g], r = in_.genres[g];
    const std::string where =
        format("general constraint %d (%s) on resultant %s", g, gen_kind(type),
               col_text(in_, r).c_str());
    std::vector<int> cols(in_.gencol.begin() + in_.gencolstart[g],
                          in_.gencol.begin() + in_.gencolstart[g + 1]);
    std::vector<double> vals(in_.genval.begin() + in_.genvalstart[g],
                             in_.genval.begin() + in_.genvalstart[g + 1]);
    switch (type) {
      case KRVU_GENCONS_MAX:
      case KRVU_GENCONS_MIN: extremum(type == KRVU_GENCONS_MAX, r, cols, vals, where); break;
      case KRVU_GENCONS_AND:
      case KRVU_GENCONS_OR: logical(type == KRVU_GENCONS_AND, r, cols, vals, where); break;
      case KRVU_GENCONS_ABS: absolute(r, cols, vals, where); break;
      default: refuse(format("%s: unknown type %d", where.c_str(), type));
    }
  }

  // r = max (min) of the columns and the largest (smallest) value: r >= t_i
  // (<=) for every argument, and r <= t_i + M_i (1 - z_i) (>=) for the one
  // argument z picks.
  void extremum(bool is_max, int r, const std::vector<int> &cols, const std::vector<double> &vals,
                const std::string &where) {
    struct Arg {
      int col;  // -1: a constant
      double v, lo, up;
    };
    std::vector<Arg> args;
    for (int c : cols) args.push_back({c, 0.0, lo_[c], up_[c]});
    if (!vals.empty()) {
      const double v = is_max ? *std::max_element(vals.begin(), vals.end())
                              : *std::min_element(vals.begin(), vals.end());
      args.push_back({-1, v, v, v});
    }
    if (args.empty()) refuse(where + " has no arguments");
    const double sgn = is_max ? 1.0 : -1.0;
    // In the max form: r - t_i >= 0 always; the min form negates t and r.
    auto dominance_row = [&](const Arg &a, char type, double shift, int z, double zc) {
      const int i = new_row(type, 0.0);
      entry(i, r, 1.0);
      if (a.col >= 0) entry(i, a.col, -1.0);
      else o_.rhs[i] += a.v;
      o_.rhs[i] += shift;
      if (z >= 0) entry(i, z, zc);
    };
    if (args.size() == 1) {
      dominance_row(args[0], 'E', 0.0, -1, 0.0);
      return;
    }
    // The extremum is bounded by the best bound over the arguments and by r's
    // own bounds.
    double ext = is_max ? -kInf : kInf;
    for (const Arg &a : args) ext = is_max ? std::max(ext, a.up) : std::min(ext, a.lo);
    ext = is_max ? std::min(ext, up_[r]) : std::max(ext, lo_[r]);
    const char *near = is_max ? "upper" : "lower", *far_side = is_max ? "lower" : "upper";
    if (!finite(ext))
      for (const Arg &a : args)
        if (!finite(is_max ? a.up : a.lo))
          refuse(format("%s: argument %s has no finite %s bound, nor has the resultant",
                        where.c_str(), col_text(in_, a.col).c_str(), near));
    const int cr = new_row('E', 1.0);
    for (const Arg &a : args) {
      dominance_row(a, is_max ? 'G' : 'L', 0.0, -1, 0.0);
      const double far = is_max ? a.lo : a.up;
      if (!finite(far))
        refuse(format("%s: argument %s has no finite %s bound", where.c_str(),
                      col_text(in_, a.col).c_str(), far_side));
      const double m = std::max(0.0, sgn * (ext - far));
      const int z = add_binary();
      entry(cr, z, 1.0);
      // max: r - t <= M (1 - z)  ->  r - t + M z <= M;  min: r - t - M z >= -M.
      dominance_row(a, is_max ? 'L' : 'G', sgn * m, z, sgn * m);
    }
  }

  void logical(bool is_and, int r, const std::vector<int> &cols, const std::vector<double> &vals,
               const std::string &where) {
    const char t = in_.coltype[r];
    if (t != 'C' && t != 'I' && t != 'B')
      refuse(format("%s: the resultant must be a binary, integer or continuous column", where.c_str()));
    for (int c : cols)
      if (!binary_valued(c))
        refuse(format("%s: argument %s is not binary", where.c_str(), col_text(in_, c).c_str()));
    o_.lb[r] = std::max(o_.lb[r], 0.0);
    o_.ub[r] = std::min(o_.ub[r], 1.0);
    // A constant that decides the result.
    for (double v : vals)
      if ((v != 0) != is_and) {
        add_row('E', is_and ? 0.0 : 1.0, {{r, 1.0}});
        return;
      }
    const double n = static_cast<double>(cols.size());
    if (cols.empty()) {
      add_row('E', is_and ? 1.0 : 0.0, {{r, 1.0}});
      return;
    }
    // and: r <= x_i, r >= sum x - (n - 1);  or: r >= x_i, r <= sum x.
    for (int c : cols) add_row(is_and ? 'L' : 'G', 0.0, {{r, 1.0}, {c, -1.0}});
    const int i = new_row(is_and ? 'G' : 'L', is_and ? -(n - 1) : 0.0);
    entry(i, r, 1.0);
    for (int c : cols) entry(i, c, -1.0);
  }

  // r = |x|: r >= x, r >= -x, and z picks the sign: z = 1 gives r <= x, z = 0
  // r <= -x.
  void absolute(int r, const std::vector<int> &cols, const std::vector<double> &vals,
                const std::string &where) {
    if (cols.size() + vals.size() != 1) refuse(where + " needs exactly one argument");
    if (!vals.empty()) {
      add_row('E', std::fabs(vals[0]), {{r, 1.0}});
      return;
    }
    const int x = cols[0];
    if (lo_[x] >= 0) {
      add_row('E', 0.0, {{r, 1.0}, {x, -1.0}});
      return;
    }
    if (up_[x] <= 0) {
      add_row('E', 0.0, {{r, 1.0}, {x, 1.0}});
      return;
    }
    // |x| <= ub(r) bounds x too.
    const double lo = std::max(lo_[x], -up_[r]), up = std::min(up_[x], up_[r]);
    if (!finite(lo) || !finite(up))
      refuse(format("%s: %s has no finite %s bound (nor has the resultant an upper bound)",
                    where.c_str(), col_text(in_, x).c_str(), finite(lo) ? "upper" : "lower"));
    add_row('G', 0.0, {{r, 1.0}, {x, -1.0}});
    add_row('G', 0.0, {{r, 1.0}, {x, 1.0}});
    const int z = add_binary();
    const double m1 = std::max(0.0, -2 * lo), m2 = std::max(0.0, 2 * up);
    add_row('L', m1, {{r, 1.0}, {x, -1.0}, {z, m1}});
    add_row('L', 0.0, {{r, 1.0}, {x, 1.0}, {z, -m2}});
  }

  // ---- piecewise-linear constraints -----------------------------------------

  // y = f(x) through the points: x and y are convex combinations of the points
  // (weights lambda) of one piece (a segment, or an isolated point) that a
  // binary picks.
  void pwl(int p) {
    const int x = in_.pwlcol[p], y = in_.pwlres[p];
    const std::string where = format("piecewise-linear constraint %d (%s = f(%s))", p,
                                     col_text(in_, y).c_str(), col_text(in_, x).c_str());
    std::vector<double> px(in_.pwlx.begin() + in_.pwlstart[p],
                           in_.pwlx.begin() + in_.pwlstart[p + 1]);
    std::vector<double> py(in_.pwly.begin() + in_.pwlstart[p],
                           in_.pwly.begin() + in_.pwlstart[p + 1]);
    if (px.empty()) refuse(where + " has no points");
    // Continuation beyond the ends, to where x (or y) can reach.
    for (int side = 0; side < 2; ++side) {
      const bool left = side == 0;
      const size_t n = px.size();
      const size_t e = left ? 0 : n - 1, f = left ? 1 : n - 2;
      const double xlim = left ? lo_[x] : up_[x];
      if (left ? xlim >= px[e] : xlim <= px[e]) continue;
      if (n < 2 || px[f] == px[e]) continue;  // no segment to continue: x stops here
      const double slope = (py[f] - py[e]) / (px[f] - px[e]);
      double lim = xlim;
      if (!finite(lim) && slope != 0) {
        // Where the continued line leaves y's bounds.
        const double ylim = (slope > 0) == left ? lo_[y] : up_[y];
        if (finite(ylim)) lim = px[e] + (ylim - py[e]) / slope;
      }
      if (!finite(lim))
        refuse(format("%s: %s has no finite %s bound, and the function continues %s of its "
                      "%s breakpoint",
                      where.c_str(), col_text(in_, x).c_str(), left ? "lower" : "upper",
                      left ? "left" : "right", left ? "first" : "last"));
      if (left ? lim >= px[e] : lim <= px[e]) continue;
      const double ylim = py[e] + slope * (lim - px[e]);
      if (left) {
        px.insert(px.begin(), lim);
        py.insert(py.begin(), ylim);
      } else {
        px.push_back(lim);
        py.push_back(ylim);
      }
    }
    const int n = static_cast<int>(px.size());
    const int lam = o_.ncols();
    for (int k = 0; k < n; ++k) add_col('C', 0.0, 1.0);
    add_row('E', 1.0, {});
    const int rsum = o_.nrows() - 1;
    const int rx = add_row('E', 0.0, {{x, 1.0}});
    const int ry = add_row('E', 0.0, {{y, 1.0}});
    for (int k = 0; k < n; ++k) {
      entry(rsum, lam + k, 1.0);
      entry(rx, lam + k, -px[k]);
      entry(ry, lam + k, -py[k]);
    }
    // Pieces: segments of positive length, and points that touch none.
    std::vector<std::vector<int>> cover(n);
    const int cr = new_row('E', 1.0);
    for (int k = 0; k + 1 < n; ++k)
      if (px[k + 1] > px[k]) {
        const int z = add_binary();
        entry(cr, z, 1.0);
        cover[k].push_back(z);
        cover[k + 1].push_back(z);
      }
    for (int k = 0; k < n; ++k) {
      if (cover[k].empty()) {
        const int z = add_binary();
        entry(cr, z, 1.0);
        cover[k].push_back(z);
      }
      const int i = new_row('L', 0.0);
      entry(i, lam + k, 1.0);
      for (int z : cover[k]) entry(i, z, -1.0);
    }
  }
};

}  // namespace

bool needs_reformulation(const ModelData &m) {
  if (m.nsets() > 0 || !m.gentype.empty() || !m.pwlcol.empty()) return true;
  if (std::any_of(m.indcol.begin(), m.indcol.end(), [](int c) { return c >= 0; })) return true;
  for (int j = 0; j < m.ncols(); ++j)
    if (m.coltype[j] == 'P' || big_semi(m, j)) return true;
  return false;
}

bool reformulate_for_engine(const ModelData &in, ModelData *out, std::string *why,
                            double feastol) {
  try {
    if (!in.qrow.empty() && needs_reformulation(in))
      throw Refusal{"a quadratic objective with integer columns: the exact reformulation of the "
                    "model adds binary columns, and such an objective needs the integer search"};
    ModelData result = Reformulator(in, feastol).run();
    *out = std::move(result);
    if (why) why->clear();
    return true;
  } catch (const Refusal &r) {
    if (why) *why = r.why;
    return false;
  }
}

}  // namespace krvu
