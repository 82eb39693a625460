// The LP format writer (read back by lp_read.cpp and by other solvers).
//
// Range rows are written "name: lo <= expr <= hi", free rows "expr >= -inf".
// Columns are numbered by first appearance when an LP file is read, so the
// objective lists, with a zero coefficient where needed, every column that
// would otherwise appear out of order.  Partially integer columns have no LP
// form and make the write fail.
#include <cmath>
#include <cstring>

#include "core/common.h"
#include "io/iobase.h"

namespace krvu {
namespace io {
namespace {

// The lower limit written for a range row: a number the reader turns back
// into exactly this range (upper - lower == range), which upper - range
// alone is not always.
double range_lower(double upper, double range) {
  double lo = upper - range;
  for (int k = 0; k < 8 && upper - lo != range; ++k) lo = std::nextafter(lo, upper - lo > range ? INFINITY : -INFINITY);
  return upper - lo == range ? lo : upper - range;
}


// Row and set names are always followed by ':', so keywords are fine there.
bool lp_row_name_ok(std::string_view s) {
  if (s.size() > 255) return false;
  char c0 = s[0];
  // A leading digit, or '.' and a digit, would read as a number.
  if ((c0 >= '0' && c0 <= '9') || c0 == '/') return false;
  if (c0 == '.' && (s.size() == 1 || (s[1] >= '0' && s[1] <= '9'))) return false;
  for (char c : s) {
    if (static_cast<unsigned char>(c) <= 32 || c == 127) return false;
    if (std::strchr("+-*^<>=:[]\\", c)) return false;
  }
  return true;
}

// Column names also start lines in Bounds and the type sections.
bool lp_name_ok(std::string_view s) {
  if (!lp_row_name_ok(s)) return false;
  static const char *const reserved[] = {
      "minimize", "minimise", "minimum", "min", "maximize", "maximise", "maximum", "max",
      "st", "st.", "s.t.", "subject", "such", "bounds", "bound", "generals", "general", "gen",
      "integers", "integer", "binaries", "binary", "bin", "semi-continuous", "semicontinuous",
      "semis", "semi", "sos", "end", "free", "inf", "infinity"};
  for (const char *r : reserved)
    if (iequals(s, r)) return false;
  return true;
}

class LpWriter {
 public:
  LpWriter(const ModelData &m, const RowMatrix &rows, const std::string &probname, Out &out,
           KRVUprob prob)
      : m_(m), r_(rows), probname_(probname), o_(out), prob_(prob) {}
  void run();

 private:
  void wrap() {
    if (o_.column() > 100) {
      o_.nl();
      o_.put("  ");
    }
  }
  // A term "+ c x" (the first term of an expression without "+").
  void term(double c, int j, bool &first) {
    wrap();
    if (!first) o_.put(' ');
    if (c < 0) {
      o_.put(first ? "-" : "- ");
      c = -c;
    } else if (!first) {
      o_.put("+ ");
    }
    first = false;
    if (c != 1) {
      o_.num(c);
      o_.put(' ');
    }
    o_.put(cn_[j]);
  }
  void qterm(double c, int a, int b, bool &first) {
    wrap();
    if (c < 0) {
      o_.put(first ? " -" : " - ");
      c = -c;
    } else {
      o_.put(first ? " " : " + ");
    }
    first = false;
    if (c != 1) {
      o_.num(c);
      o_.put(' ');
    }
    o_.put(cn_[a]);
    if (a == b) {
      o_.put(" ^ 2");
    } else {
      o_.put(" * ");
      o_.put(cn_[b]);
    }
  }
  void value(double v) {
    if (v >= KRVU_INFINITY)
      o_.put("+inf");
    else if (v <= -KRVU_INFINITY)
      o_.put("-inf");
    else
      o_.num(v);
  }
  bool needs_bounds(int j) const;
  std::vector<char> objective_columns() const;

  const ModelData &m_;
  const RowMatrix &r_;
  const std::string &probname_;
  Out &o_;
  KRVUprob prob_;
  std::vector<std::string> cn_, rn_, sn_;
};

bool LpWriter::needs_bounds(int j) const {
  char t = m_.coltype[j];
  double lb = m_.lb[j], ub = m_.ub[j];
  if (t == 'B') return !(lb == 0 && ub == 1);
  if (t == 'S' || t == 'R') return m_.threshold[j] != 0 || lb != 0 || ub < KRVU_INFINITY;
  return !(lb == 0 && ub >= KRVU_INFINITY);
}

// Which columns the objective lists: those with a coefficient, and the
// shortest run 0..L of columns that makes every column appear in index order.
std::vector<char> LpWriter::objective_columns() const {
  const int nc = m_.ncols(), nr = m_.nrows();
  const int64_t kNone = INT64_MAX;
  std::vector<int64_t> pos(nc, kNone);
  int64_t step = 0;
  auto see = [&](int j) {
    if (pos[j] == kNone) pos[j] = step++;
  };
  if (!m_.qstart.empty())
    for (int j = 0; j < nc; ++j)
      for (int64_t k = m_.qstart[j]; k < m_.qstart[j + 1]; ++k) {
        see(j);
        see(m_.qrow[k]);
      }
  size_t q = 0;
  for (int i = 0; i < nr; ++i) {
    if (m_.indcol[i] >= 0) see(m_.indcol[i]);
    for (int64_t k = r_.start[i]; k < r_.start[i + 1]; ++k) see(r_.colind[k]);
    bool empty = r_.start[i] == r_.start[i + 1];
    while (q < m_.qrows.size() && m_.qrows[q].row < i) ++q;
    if (q < m_.qrows.size() && m_.qrows[q].row == i)
      for (size_t k = 0; k < m_.qrows[q].col1.size(); ++k) {
        see(m_.qrows[q].col1[k]);
        see(m_.qrows[q].col2[k]);
        empty = false;
      }
    if (empty && nc > 0) see(0);
  }
  for (int j = 0; j < nc; ++j)
    if (needs_bounds(j)) see(j);
  for (char t : {'I', 'B', 'S'})
    for (int j = 0; j < nc; ++j) {
      char c = m_.coltype[j];
      if (c == t || (c == 'R' && (t == 'I' || t == 'S'))) see(j);
    }
  for (int c : m_.setcol) see(c);
  int last = nc - 1;
  while (last >= 0 && pos[last] != kNone && (last == nc - 1 || pos[last] < pos[last + 1])) --last;
  std::vector<char> in(nc, 0);
  for (int j = 0; j < nc; ++j) in[j] = j <= last || m_.obj[j] != 0;
  // Columns with a coefficient beyond the run come first too: extend the run.
  int maxobj = -1;
  for (int j = 0; j < nc; ++j)
    if (m_.obj[j] != 0) maxobj = j;
  for (int j = 0; j <= maxobj; ++j) in[j] = 1;
  return in;
}

void LpWriter::run() {
  const int nc = m_.ncols(), nr = m_.nrows();
  for (int j = 0; j < nc; ++j)
    if (m_.coltype[j] == 'P')
      raise(KRVU_ERR_FILE, "column '%s' is partially integer, which the LP format cannot hold: "
            "write an MPS file", col_name(m_, j).c_str());
  cn_ = file_names(m_.colnames, 'C', lp_name_ok, "column", "the LP format", o_.rename(), prob_);
  rn_ = file_names(m_.rownames, 'R', lp_row_name_ok, "row", "the LP format", o_.rename(), prob_);
  sn_ = file_names(m_.setnames, 'S', lp_row_name_ok, "set", "the LP format", o_.rename(), prob_);

  o_.put("\\ Problem name: ");
  for (char c : probname_) o_.put(c == '\n' || c == '\r' ? ' ' : c);
  o_.nl();
  o_.nl();
  o_.put(m_.objsense < 0 ? "Maximize" : "Minimize");
  o_.nl();
  o_.put(" obj:");
  bool first = true;
  std::vector<char> in = objective_columns();
  o_.put(' ');
  for (int j = 0; j < nc; ++j)
    if (in[j]) term(m_.obj[j], j, first);
  if (m_.objrhs != 0) {
    double c = -m_.objrhs;
    o_.put(first ? (c < 0 ? "-" : "") : (c < 0 ? " - " : " + "));
    o_.num(std::fabs(c));
    first = false;
  }
  if (!m_.qstart.empty() && !m_.qrow.empty()) {
    o_.put(first ? "[" : " + [");
    bool qfirst = true;
    // Inside "[ ] / 2" a monomial c x_i x_j is 2 Q_ij, c x_i^2 is Q_ii.
    for (int j = 0; j < nc; ++j)
      for (int64_t k = m_.qstart[j]; k < m_.qstart[j + 1]; ++k) {
        int i = m_.qrow[k];
        qterm(i == j ? m_.qval[k] : 2 * m_.qval[k], j, i, qfirst);
      }
    o_.put(" ] / 2");
  }
  o_.nl();

  o_.put("Subject To");
  o_.nl();
  size_t q = 0;
  for (int i = 0; i < nr; ++i) {
    const char t = m_.rowtype[i];
    o_.put(' ');
    o_.put(rn_[i]);
    o_.put(": ");
    if (m_.indcol[i] >= 0) {
      o_.put(cn_[m_.indcol[i]]);
      o_.put(m_.indcomp[i] > 0 ? " = 1 -> " : " = 0 -> ");
    }
    if (t == 'R') {
      value(range_lower(m_.rhs[i], m_.range[i]));
      o_.put(" <= ");
    }
    first = true;
    for (int64_t k = r_.start[i]; k < r_.start[i + 1]; ++k) term(r_.val[k], r_.colind[k], first);
    while (q < m_.qrows.size() && m_.qrows[q].row < i) ++q;
    if (q < m_.qrows.size() && m_.qrows[q].row == i) {
      const QRow &qr = m_.qrows[q];
      o_.put(first ? "[" : " + [");
      bool qfirst = true;
      // A row is a'x + x'Qx: c x_i x_j is 2 Q_ij.
      for (size_t k = 0; k < qr.col1.size(); ++k)
        qterm(qr.col1[k] == qr.col2[k] ? qr.val[k] : 2 * qr.val[k], qr.col1[k], qr.col2[k],
              qfirst);
      o_.put(" ]");
      first = false;
    }
    if (first) {
      // An empty row still needs a variable to be a constraint.
      if (nc == 0)
        raise(KRVU_ERR_FILE, "row '%s' has no coefficient and the problem no column: the LP "
              "format cannot hold it", row_name(m_, i).c_str());
      o_.put("0 ");
      o_.put(cn_[0]);
    }
    switch (t) {
      case 'L':
      case 'R': o_.put(" <= "); value(m_.rhs[i]); break;
      case 'G': o_.put(" >= "); value(m_.rhs[i]); break;
      case 'E': o_.put(" = "); value(m_.rhs[i]); break;
      default: o_.put(" >= -inf"); break;
    }
    o_.nl();
  }

  bool header = false;
  for (int j = 0; j < nc; ++j) {
    if (!needs_bounds(j)) continue;
    if (!header) {
      o_.put("Bounds");
      o_.nl();
      header = true;
    }
    const char t = m_.coltype[j];
    double lb = m_.lb[j], ub = m_.ub[j];
    if ((t == 'S' || t == 'R') && m_.threshold[j] != 0) lb = m_.threshold[j];
    const std::string &c = cn_[j];
    o_.put(' ');
    if (lb == ub && std::fabs(lb) < KRVU_INFINITY) {
      o_.put(c);
      o_.put(" = ");
      o_.num(lb);
    } else if (lb <= -KRVU_INFINITY && ub >= KRVU_INFINITY) {
      o_.put(c);
      o_.put(" free");
    } else if (ub >= KRVU_INFINITY) {
      o_.put(c);
      o_.put(" >= ");
      value(lb);
    } else if (lb == 0 && ub >= 0) {
      o_.put(c);
      o_.put(" <= ");
      value(ub);
    } else {
      value(lb);
      o_.put(" <= ");
      o_.put(c);
      o_.put(" <= ");
      value(ub);
    }
    o_.nl();
  }

  auto list = [&](const char *title, bool (*pick)(char)) {
    bool any = false;
    for (int j = 0; j < nc; ++j) {
      if (!pick(m_.coltype[j])) continue;
      if (!any) {
        o_.put(title);
        o_.nl();
        any = true;
      }
      if (o_.column() > 100) o_.nl();
      o_.put(' ');
      o_.put(cn_[j]);
    }
    if (any) o_.nl();
  };
  list("Generals", [](char t) { return t == 'I' || t == 'R'; });
  list("Binaries", [](char t) { return t == 'B'; });
  list("Semi-continuous", [](char t) { return t == 'S' || t == 'R'; });

  if (m_.nsets() > 0) {
    o_.put("SOS");
    o_.nl();
    for (int s = 0; s < m_.nsets(); ++s) {
      o_.put(' ');
      o_.put(sn_[s]);
      o_.put(m_.settype[s] == '2' ? ": S2::" : ": S1::");
      for (int64_t k = m_.setstart[s]; k < m_.setstart[s + 1]; ++k) {
        wrap();
        o_.put(' ');
        o_.put(cn_[m_.setcol[k]]);
        o_.put(':');
        o_.num(m_.setref[k]);
      }
      o_.nl();
    }
  }
  o_.put("End");
  o_.nl();
}

}  // namespace

void write_lp(const ModelData &m, const RowMatrix &rows, const std::string &probname, Out &out,
              KRVUprob prob) {
  LpWriter(m, rows, probname, out, prob).run();
}

}  // namespace io
}  // namespace krvu
