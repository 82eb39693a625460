// The MPS writer.  Free and fixed MPS share one layout: fields start at the
// fixed-format columns (2, 5, 15, 25, 40) and a longer field pushes the next
// one right by at least one blank.  Values are written so that they read back
// to the same double (see format_number).
//
// Range rows are written as L rows with their range, so that the right-hand
// side and range read back unchanged.  Columns without any coefficient appear
// with a zero objective entry.  Semi-continuous and semi-integer columns are
// written as SC / SI with the upper bound and a LO bound holding the threshold;
// partially integer columns as PI with the threshold.
#include <cmath>
#include <cstring>

#include "core/common.h"
#include "io/iobase.h"

namespace krvu {
namespace io {
namespace {

bool free_name_ok(std::string_view s) {
  if (s.size() > 255) return false;
  for (char c : s)
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0)
      return false;
  return true;
}

bool fixed_name_ok(std::string_view s) {
  if (s.size() <= 8) {
    if (s.front() == ' ' || s.back() == ' ') return false;
    for (char c : s)
      if (c == '\t' || c == '\n' || c == '\r' || c == 0) return false;
    return true;
  }
  // Longer names push the fields right; they cannot hold blanks then.
  return free_name_ok(s);
}

class MpsWriter {
 public:
  MpsWriter(const ModelData &m, const std::string &probname, Out &out, bool fixed,
            KRVUprob prob, const MpsBeforeEnd *before_end = nullptr)
      : m_(m), probname_(probname), o_(out), fixed_(fixed), prob_(prob), before_end_(before_end) {}
  void run();

 private:
  // One data line: a type in field 1 (may be empty) and up to five fields.
  void field(size_t col, std::string_view s) {
    o_.pad(col);
    o_.put(s);
  }
  void numfield(size_t col, double v) {
    o_.pad(col);
    o_.num(v);
  }
  void bound(const char *type, int j, double v, bool withvalue = true) {
    o_.put(' ');
    o_.put(type);
    field(4, "BND");
    field(14, cn_[j]);
    if (withvalue) numfield(24, v);
    o_.nl();
  }

  const ModelData &m_;
  const std::string &probname_;
  Out &o_;
  bool fixed_;
  KRVUprob prob_;
  const MpsBeforeEnd *before_end_;
  std::vector<std::string> cn_, rn_, sn_;
  std::string objname_;
};

void MpsWriter::run() {
  bool (*ok)(std::string_view) = fixed_ ? fixed_name_ok : free_name_ok;
  const char *format = fixed_ ? "fixed MPS" : "MPS";
  cn_ = file_names(m_.colnames, 'C', ok, "column", format, o_.rename(), prob_);
  rn_ = file_names(m_.rownames, 'R', ok, "row", format, o_.rename(), prob_);
  sn_ = file_names(m_.setnames, 'S', ok, "set", format, o_.rename(), prob_);
  const int nc = m_.ncols(), nr = m_.nrows();
  {
    // An objective name that no row has.
    NameMap names(nr);
    for (int i = 0; i < nr; ++i) names.insert(rn_[i], i);
    objname_ = "OBJ";
    for (int k = 1; names.find(objname_) >= 0; ++k) objname_ = "OBJ_" + std::to_string(k);
  }

  o_.put("NAME");
  if (!probname_.empty()) field(14, probname_);
  o_.nl();
  if (m_.objsense < 0) {
    o_.put("OBJSENSE");
    o_.nl();
    o_.put("    MAX");
    o_.nl();
  }
  o_.put("ROWS");
  o_.nl();
  o_.put(" N");
  field(4, objname_);
  o_.nl();
  for (int i = 0; i < nr; ++i) {
    char t = m_.rowtype[i] == 'R' ? 'L' : m_.rowtype[i];
    o_.put(' ');
    o_.put(t);
    field(4, rn_[i]);
    o_.nl();
  }

  o_.put("COLUMNS");
  o_.nl();
  bool inint = false;
  int marker = 0;
  auto mark = [&](const char *what) {
    char name[32];
    std::snprintf(name, sizeof name, "MARKER%02d", marker++ % 100);
    field(4, name);
    field(14, "'MARKER'");
    field(39, what);
    o_.nl();
  };
  for (int j = 0; j < nc; ++j) {
    bool isint = m_.coltype[j] == 'I' || m_.coltype[j] == 'B';
    if (isint != inint) {
      mark(isint ? "'INTORG'" : "'INTEND'");
      inint = isint;
    }
    const std::string &c = cn_[j];
    bool any = false;
    if (m_.obj[j] != 0 || m_.mstart[j] == m_.mstart[j + 1]) {
      field(4, c);
      field(14, objname_);
      numfield(24, m_.obj[j]);
      o_.nl();
      any = true;
    }
    for (int64_t k = m_.mstart[j]; k < m_.mstart[j + 1]; ++k) {
      field(4, c);
      field(14, rn_[m_.mrwind[k]]);
      numfield(24, m_.dmatval[k]);
      o_.nl();
    }
    (void)any;
  }
  if (inint) mark("'INTEND'");

  o_.put("RHS");
  o_.nl();
  if (m_.objrhs != 0) {
    field(4, "RHS");
    field(14, objname_);
    numfield(24, m_.objrhs);
    o_.nl();
  }
  for (int i = 0; i < nr; ++i)
    if (m_.rhs[i] != 0 && m_.rowtype[i] != 'N') {
      field(4, "RHS");
      field(14, rn_[i]);
      numfield(24, m_.rhs[i]);
      o_.nl();
    }

  bool ranges = false;
  for (int i = 0; i < nr && !ranges; ++i) ranges = m_.rowtype[i] == 'R';
  if (ranges) {
    o_.put("RANGES");
    o_.nl();
    for (int i = 0; i < nr; ++i)
      if (m_.rowtype[i] == 'R') {
        field(4, "RNG");
        field(14, rn_[i]);
        numfield(24, m_.range[i]);
        o_.nl();
      }
  }

  bool header = false;
  auto bounds_header = [&] {
    if (header) return;
    header = true;
    o_.put("BOUNDS");
    o_.nl();
  };
  const double inf = KRVU_INFINITY;
  for (int j = 0; j < nc; ++j) {
    const char t = m_.coltype[j];
    const double lb = m_.lb[j], ub = m_.ub[j];
    if (t == 'C' && lb == 0 && ub >= inf) continue;
    bounds_header();
    if (t == 'B') {
      bound("BV", j, 0, false);
      if (lb != 0) bound("LO", j, lb);
      if (ub != 1) bound("UP", j, ub);
      continue;
    }
    if (t == 'S' || t == 'R') {
      bound(t == 'S' ? "SC" : "SI", j, ub);
      double low = m_.threshold[j] != 0 ? m_.threshold[j] : lb;
      if (low != 0) bound(low <= -inf ? "MI" : "LO", j, low, low > -inf);
      continue;
    }
    if (t == 'P') bound("PI", j, m_.threshold[j]);
    if (lb == ub && std::isfinite(lb) && std::fabs(lb) < inf) {
      bound("FX", j, lb);
    } else if (lb <= -inf && ub >= inf) {
      bound("FR", j, 0, false);
    } else {
      // A negative UP alone would also free the lower bound: write it first.
      bool upfirst = ub < 0;
      if (upfirst) bound("UP", j, ub);
      if (lb <= -inf)
        bound("MI", j, 0, false);
      else if (lb != 0 || upfirst)
        bound("LO", j, lb);
      if (!upfirst) {
        if (ub < inf)
          bound("UP", j, ub);
        else if (t == 'I')
          bound("PL", j, 0, false);  // some readers give integers an upper bound of 1
      }
    }
  }

  if (m_.nsets() > 0) {
    o_.put("SOS");
    o_.nl();
    for (int s = 0; s < m_.nsets(); ++s) {
      o_.put(m_.settype[s] == '2' ? " S2" : " S1");
      field(4, "SOS");
      field(14, sn_[s]);
      o_.nl();
      for (int64_t k = m_.setstart[s]; k < m_.setstart[s + 1]; ++k) {
        field(4, cn_[m_.setcol[k]]);
        numfield(24, m_.setref[k]);
        o_.nl();
      }
    }
  }

  if (!m_.qstart.empty() && !m_.qrow.empty()) {
    o_.put("QUADOBJ");
    o_.nl();
    for (int j = 0; j < nc; ++j)
      for (int64_t k = m_.qstart[j]; k < m_.qstart[j + 1]; ++k) {
        field(4, cn_[j]);
        field(14, cn_[m_.qrow[k]]);
        numfield(24, m_.qval[k]);
        o_.nl();
      }
  }
  for (const QRow &q : m_.qrows) {
    o_.put("QCMATRIX");
    field(14, rn_[q.row]);
    o_.nl();
    for (size_t k = 0; k < q.col1.size(); ++k) {
      field(4, cn_[q.col1[k]]);
      field(14, cn_[q.col2[k]]);
      numfield(24, q.val[k]);
      o_.nl();
      if (q.col1[k] != q.col2[k]) {
        field(4, cn_[q.col2[k]]);
        field(14, cn_[q.col1[k]]);
        numfield(24, q.val[k]);
        o_.nl();
      }
    }
  }

  bool ind = false;
  for (int i = 0; i < nr; ++i)
    if (m_.indcol[i] >= 0) {
      if (!ind) {
        o_.put("INDICATORS");
        o_.nl();
        ind = true;
      }
      o_.put(" IF");
      field(4, rn_[i]);
      field(14, cn_[m_.indcol[i]]);
      numfield(24, m_.indcomp[i] > 0 ? 1 : 0);
      o_.nl();
    }
  if (before_end_ && *before_end_) (*before_end_)(o_, rn_, cn_);
  o_.put("ENDATA");
  o_.nl();
}

}  // namespace

void write_mps(const ModelData &m, const std::string &probname, Out &out, bool fixed,
               KRVUprob prob) {
  MpsWriter(m, probname, out, fixed, prob).run();
}

void write_mps(const ModelData &m, const std::string &probname, Out &out, bool fixed,
               KRVUprob prob, const MpsBeforeEnd &before_end) {
  MpsWriter(m, probname, out, fixed, prob, &before_end).run();
}

}  // namespace io
}  // namespace krvu
