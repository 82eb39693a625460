// The MPS reader, free and fixed format.
//
// The file is first read as free MPS (fields separated by blanks); when that
// fails it is read again as fixed MPS (fields at fixed columns, so names may
// hold spaces), and the failure of the attempt that got further is reported.
//
// Conventions, as other solvers read MPS:
//  - The first N row is the objective (or the one OBJNAME names); further N
//    rows are kept as free rows.  A right-hand side v on the objective row
//    gives the objective constant -v.
//  - Only the first RHS, RANGES and BOUNDS vector names are used; entries of
//    other vectors are ignored with a warning.
//  - Columns between INTORG and INTEND markers are integer; one that has no
//    entry at all in BOUNDS has bounds [0, 1] (the classic convention, which
//    the engine's own reader follows), else [0, inf] changed by its entries.
//  - UP with a negative value on a column whose lower bound was not given sets
//    the lower bound to -inf (with a warning).
//  - SC v: semi-continuous with upper bound v (no value: infinite), SI v:
//    semi-integer; a semi-continuous column inside integer markers is
//    semi-integer.  The column is then 0 or between its LO bound (the
//    threshold) and its upper bound.  PI v: partially integer, integer up to v
//    and continuous from v to the upper bound.
//  - QUADOBJ lists the upper triangle of Q (objective + 0.5 x'Qx), QMATRIX the
//    whole matrix; QSECTION obj is read as QUADOBJ, or as QMATRIX when every
//    off-diagonal entry comes with its mirror.  QCMATRIX r lists the whole Q of
//    a row r reading a'x + x'Qx; QSECTION r for a constraint row lists a
//    triangle of a row reading a'x + 0.5 x'Qx.
//  - SOS: a header " S1 SOS name priority" (or " S1 name", "SOS" and the rest
//    optional), then members "column weight", "column:weight",
//    "set column:weight" or "set column weight".  INDICATORS: " IF row column 0|1".
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <string_view>

#include "core/common.h"
#include "io/iobase.h"

namespace krvu {
namespace io {
namespace {

using sv = std::string_view;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

enum class Sec {
  None, Objsense, Objname, Rows, Columns, Rhs, Ranges, Bounds, Sos, Quadobj, Qmatrix,
  Qsection, Qcmatrix, Indicators, Skip, Extension, End
};

constexpr int kObjRow = -2;   // the objective in the row map

struct QEntry {
  int c1, c2;
  double v;
};

class MpsReader {
 public:
  MpsReader(const Source &src, bool fixed, KRVUprob prob, MpsExtension *ext = nullptr)
      : src_(src), fixed_(fixed), prob_(prob), ext_(ext),
        rows_(src.data.size() / 200 + 16), cols_(src.data.size() / 200 + 16) {}

  ModelData run();
  int line() const { return lineno_; }

 private:
  [[noreturn]] void fail(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
  bool next_line();
  void split();
  void header();
  void data();
  double number(sv s, const char *what);
  int col_index(sv s);
  int row_index(sv s);  // kObjRow, a row, or fails
  void sense(sv s);
  void rows_line();
  void columns_line();
  void rhs_line(bool ranges);
  void bounds_line();
  void sos_line();
  void quad_line();
  void indicator_line();
  void finish_quad();
  void warn_once(bool &flag, const char *fmt, const char *arg);

  const Source &src_;
  bool fixed_;
  KRVUprob prob_;
  MpsExtension *ext_;
  int ext_section_ = -1;
  const char *p_ = nullptr, *end_ = nullptr;
  const char *lb_ = nullptr, *le_ = nullptr;  // the current line
  int lineno_ = 0;
  sv tok_[8];
  int ntok_ = 0;

  Sec sec_ = Sec::None;
  ModelData m_;
  NameMap rows_, cols_;
  sv objname_wanted_;
  sv objname_;
  bool have_obj_ = false;
  bool seen_header_ = false;
  int cur_col_ = -1;
  sv cur_col_name_;
  bool intmarker_ = false;
  sv rhs_set_, rng_set_, bnd_set_;
  bool rhs_set_seen_ = false, rng_set_seen_ = false, bnd_set_seen_ = false;
  bool warned_rhs_ = false, warned_rng_ = false, warned_bnd_ = false, warned_negup_ = false;
  bool warned_nrhs_ = false;
  std::vector<int> trow_, tcol_;
  std::vector<double> tval_;
  std::vector<double> rawrange_;
  std::vector<char> lbset_, bndset_;
  // quadratic sections: the row they belong to (kObjRow for the objective)
  Sec qkind_ = Sec::None;
  int qrow_ = kObjRow;
  std::vector<QEntry> qent_;
  std::vector<QEntry> qobj_;
  bool qobj_seen_ = false;
  std::vector<std::vector<QEntry>> qrowent_;   // per section, with qrowid_
  std::vector<int> qrowid_;
  // sets
  std::vector<int> setcol_;
  std::vector<double> setref_;
  int cur_set_ = -1;
};

void MpsReader::fail(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string what = vformat(fmt, ap);
  va_end(ap);
  parse_error(src_.path, lineno_, "%s", what.c_str());
}

void MpsReader::warn_once(bool &flag, const char *fmt, const char *arg) {
  if (flag) return;
  flag = true;
  std::string msg = format(fmt, arg);
  log(prob_, KRVU_MSG_WARNING, "%s:%d: %s", src_.path.c_str(), lineno_, msg.c_str());
}

bool MpsReader::next_line() {
  while (p_ < end_) {
    const char *b = p_;
    const char *e = static_cast<const char *>(std::memchr(b, '\n', end_ - b));
    if (!e) e = end_;
    p_ = e < end_ ? e + 1 : end_;
    ++lineno_;
    if (e > b && e[-1] == '\r') --e;
    // Comments and blank lines.
    if (b == e || *b == '*') continue;
    const char *q = b;
    while (q < e && (*q == ' ' || *q == '\t')) ++q;
    if (q == e) continue;
    lb_ = b;
    le_ = e;
    return true;
  }
  return false;
}

static inline bool blank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

void MpsReader::split() {
  ntok_ = 0;
  if (!fixed_) {
    const char *q = lb_;
    while (q < le_) {
      while (q < le_ && blank(*q)) ++q;
      if (q == le_) break;
      const char *b = q;
      while (q < le_ && !blank(*q)) ++q;
      if (ntok_ == 8) fail("too many fields on the line (at most 7 expected)");
      tok_[ntok_++] = sv(b, q - b);
    }
    return;
  }
  // Fixed fields: 2-3, 5-12, 15-22, 25-36, 40-47, 50-61 (1-based columns).
  // Names are taken by position and may hold spaces; numbers end at a blank,
  // so that a long number only moves the fields after it.
  const size_t len = le_ - lb_;
  auto field = [&](size_t from, size_t to) -> sv {
    if (from >= len) return sv();
    size_t t = std::min(to, len);
    const char *b = lb_ + from, *e = lb_ + t;
    while (b < e && blank(*b)) ++b;
    while (e > b && blank(e[-1])) --e;
    return sv(b, e - b);
  };
  auto numfield = [&](size_t from, size_t &stop) -> sv {
    stop = from;
    if (from >= len) return sv();
    const char *b = lb_ + from;
    while (b < le_ && blank(*b)) ++b;
    const char *e = b;
    while (e < le_ && !blank(*e)) ++e;
    stop = e - lb_;
    return sv(b, e - b);
  };
  sv f[6];
  size_t stop = 0;
  f[0] = field(1, 3);
  f[1] = field(4, 12);
  f[2] = field(14, 22);
  f[3] = numfield(24, stop);
  if (stop <= 39) {
    f[4] = field(39, 47);
    f[5] = numfield(49, stop);
  } else {
    f[4] = numfield(stop, stop);
    f[5] = numfield(stop, stop);
  }
  for (sv s : f)
    if (!s.empty()) tok_[ntok_++] = s;
  // Anything past the last field is not part of the line's data.
}

double MpsReader::number(sv s, const char *what) {
  double v;
  if (parse_number(s, v)) return v;
  // Files written by Fortran programs mark the exponent with D (1.5D3).
  size_t d = s.find_first_of("dD");
  if (d != sv::npos && d > 0 && d + 1 < s.size() && s.find_first_of("xX") == sv::npos) {
    std::string t(s);
    t[d] = 'e';
    if (parse_number(t, v)) return v;
  }
  fail("expected %s, found '%s'", what, shown(s).c_str());
}

int MpsReader::col_index(sv s) {
  if (s == cur_col_name_ && cur_col_ >= 0) return cur_col_;
  int j = cols_.find(s);
  if (j < 0) fail("unknown column '%s'", shown(s).c_str());
  return j;
}

int MpsReader::row_index(sv s) {
  int i = rows_.find(s);
  if (i == -1) fail("unknown row '%s'", shown(s).c_str());
  return i;
}

ModelData MpsReader::run() {
  p_ = src_.data.data();
  end_ = p_ + src_.data.size();
  if (ext_) ext_->lines.clear();
  while (next_line()) {
    if (!blank(*lb_)) {
      header();
      if (sec_ == Sec::End) break;
    } else {
      data();
    }
  }
  if (sec_ != Sec::End) {
    ++lineno_;
    if (!seen_header_) fail("expected an MPS problem (NAME, ROWS, COLUMNS, ...), found nothing");
    fail("unexpected end of file: expected ENDATA");
  }
  finish_quad();

  const int nr = m_.nrows(), nc = m_.ncols();
  // Ranges, now that every right-hand side is known.
  for (int i = 0; i < nr; ++i) {
    double r = rawrange_[i];
    if (std::isnan(r)) continue;
    char t = m_.rowtype[i];
    double a = std::fabs(r);
    if (a >= KRVU_INFINITY) {
      if (t == 'E') m_.rowtype[i] = r > 0 ? 'G' : 'L';
      continue;
    }
    if (t == 'L') {
      m_.rowtype[i] = 'R';
      m_.range[i] = a;
    } else if (t == 'G' || (t == 'E' && r > 0)) {
      // [lo, lo + a]: the range is taken as up - lo so that rhs - range gives
      // lo back.
      double lo = m_.rhs[i], up = lo + a;
      m_.rowtype[i] = 'R';
      m_.rhs[i] = up;
      m_.range[i] = up - lo;
    } else if (t == 'E' && r < 0) {
      m_.rowtype[i] = 'R';
      m_.range[i] = a;
    }
  }
  // Semi-continuous columns: the lower bound read is the threshold.
  for (int j = 0; j < nc; ++j) {
    char t = m_.coltype[j];
    if (t == 'I' && !bndset_[j]) m_.ub[j] = 1;
    if ((t == 'S' || t == 'R') && m_.lb[j] > 0) {
      m_.threshold[j] = m_.lb[j];
      m_.lb[j] = 0;
    }
  }
  m_.append_cols(0);
  m_.set_matrix_triplets(static_cast<int64_t>(tval_.size()), trow_.data(), tcol_.data(),
                         tval_.data());
  if (!qobj_.empty()) {
    std::vector<int> a(qobj_.size()), b(qobj_.size());
    std::vector<double> v(qobj_.size());
    for (size_t k = 0; k < qobj_.size(); ++k) {
      a[k] = qobj_[k].c1;
      b[k] = qobj_[k].c2;
      v[k] = qobj_[k].v;
    }
    m_.set_qobj_triplets(static_cast<int64_t>(a.size()), a.data(), b.data(), v.data());
  }
  for (size_t s = 0; s < qrowent_.size(); ++s) {
    const auto &q = qrowent_[s];
    std::vector<int> a(q.size()), b(q.size());
    std::vector<double> v(q.size());
    for (size_t k = 0; k < q.size(); ++k) {
      a[k] = q[k].c1;
      b[k] = q[k].c2;
      v[k] = q[k].v;
    }
    m_.add_qrow_triplets(qrowid_[s], static_cast<int64_t>(a.size()), a.data(), b.data(), v.data());
  }
  m_.setcol = std::move(setcol_);
  m_.setref = std::move(setref_);
  return std::move(m_);
}

void MpsReader::header() {
  seen_header_ = true;
  finish_quad();
  split();
  sv k = tok_[0];
  // The argument of a header: the rest of the line (fixed: names may hold spaces).
  auto rest = [&]() -> sv {
    const char *q = lb_ + k.size();
    while (q < le_ && blank(*q)) ++q;
    const char *e = le_;
    while (e > q && blank(e[-1])) --e;
    return sv(q, e - q);
  };
  if (fixed_) {
    // Fixed fields do not apply to header lines.
    const char *q = lb_;
    while (q < le_ && !blank(*q)) ++q;
    k = sv(lb_, q - lb_);
  }
  if (k == "NAME") {
    // Free MPS: the next word (the rest is commentary some writers add);
    // fixed MPS: columns 15-22, which may hold blanks.
    if (fixed_) {
      m_.probname = le_ - lb_ > 14 ? std::string(sv(lb_ + 14, std::min<size_t>(8, le_ - lb_ - 14)))
                                   : std::string();
      while (!m_.probname.empty() && blank(m_.probname.back())) m_.probname.pop_back();
    } else {
      m_.probname = ntok_ > 1 ? std::string(tok_[1]) : std::string();
    }
    sec_ = Sec::None;
  } else if (k == "ROWS") {
    sec_ = Sec::Rows;
  } else if (k == "COLUMNS") {
    sec_ = Sec::Columns;
  } else if (k == "RHS") {
    sec_ = Sec::Rhs;
  } else if (k == "RANGES") {
    sec_ = Sec::Ranges;
  } else if (k == "BOUNDS") {
    sec_ = Sec::Bounds;
  } else if (k == "SOS" || k == "SETS") {
    sec_ = Sec::Sos;
  } else if (k == "INDICATORS") {
    sec_ = Sec::Indicators;
  } else if (k == "ENDATA") {
    sec_ = Sec::End;
  } else if (k == "OBJSENSE" || k == "OBJSENCE") {
    sec_ = Sec::Objsense;
    sv a = rest();
    if (!a.empty()) sense(a);
  } else if (k == "OBJNAME") {
    sec_ = Sec::Objname;
    sv a = rest();
    if (!a.empty()) {
      objname_wanted_ = a;
      sec_ = Sec::None;
    }
  } else if (k == "QUADOBJ" || k == "QMATRIX" || k == "QSECTION" || k == "QCMATRIX") {
    sec_ = k == "QUADOBJ" ? Sec::Quadobj
           : k == "QMATRIX" ? Sec::Qmatrix
           : k == "QSECTION" ? Sec::Qsection
                             : Sec::Qcmatrix;
    qkind_ = sec_;
    qrow_ = kObjRow;
    if (sec_ == Sec::Qsection || sec_ == Sec::Qcmatrix) {
      sv r = rest();
      if (r.empty()) {
        if (sec_ == Sec::Qcmatrix) fail("expected a row name after QCMATRIX");
      } else {
        int i = rows_.find(r);
        if (i == -1) fail("unknown row '%s'", shown(r).c_str());
        if (i >= 0 && m_.rowtype[i] == 'N' && sec_ == Sec::Qsection) i = kObjRow;
        if (i == kObjRow && sec_ == Sec::Qcmatrix) fail("QCMATRIX needs a constraint row");
        qrow_ = i;
      }
    }
    if (qrow_ == kObjRow) {
      if (qobj_seen_) fail("a second quadratic objective section");
      qobj_seen_ = true;
    }
  } else if (ext_ && std::find(ext_->sections.begin(), ext_->sections.end(), k) !=
                         ext_->sections.end()) {
    sec_ = Sec::Extension;
    ext_section_ = static_cast<int>(
        std::find(ext_->sections.begin(), ext_->sections.end(), k) - ext_->sections.begin());
    ext_->lines.push_back({ext_section_, lineno_, true, std::string(rest())});
  } else if (k == "LAZYCONS" || k == "USERCUTS") {
    fail("section %s is not supported", std::string(k).c_str());
  } else {
    fail("expected a section name (NAME, ROWS, COLUMNS, RHS, RANGES, BOUNDS, SOS, QUADOBJ, "
         "QMATRIX, QSECTION, QCMATRIX, INDICATORS or ENDATA), found '%s'",
         shown(k).c_str());
  }
}

void MpsReader::data() {
  if (sec_ == Sec::Extension) {
    ext_->lines.push_back({ext_section_, lineno_, false, std::string(lb_, le_ - lb_)});
    return;
  }
  split();
  switch (sec_) {
    case Sec::Rows: return rows_line();
    case Sec::Columns: return columns_line();
    case Sec::Rhs: return rhs_line(false);
    case Sec::Ranges: return rhs_line(true);
    case Sec::Bounds: return bounds_line();
    case Sec::Sos: return sos_line();
    case Sec::Quadobj:
    case Sec::Qmatrix:
    case Sec::Qsection:
    case Sec::Qcmatrix: return quad_line();
    case Sec::Indicators: return indicator_line();
    case Sec::Objsense:
      if (ntok_ != 1) fail("expected MIN or MAX after OBJSENSE");
      return sense(tok_[0]);
    case Sec::Objname:
      objname_wanted_ = tok_[0];
      sec_ = Sec::None;
      return;
    default:
      fail("expected a section name, found data");
  }
}

void MpsReader::sense(sv s) {
  if (s == "MAX" || s == "MAXIMIZE" || s == "MAXIMISE")
    m_.objsense = -1;
  else if (s == "MIN" || s == "MINIMIZE" || s == "MINIMISE")
    m_.objsense = 1;
  else
    fail("expected MIN or MAX after OBJSENSE, found '%s'", shown(s).c_str());
  sec_ = Sec::None;
}

void MpsReader::rows_line() {
  if (ntok_ != 2) fail("expected a row type and a row name");
  sv t = tok_[0];
  char c = t.size() == 1 ? t[0] : 0;
  if (c >= 'a' && c <= 'z') c -= 32;
  if (c != 'N' && c != 'L' && c != 'G' && c != 'E')
    fail("expected a row type (N, L, G or E), found '%s'", shown(t).c_str());
  sv name = tok_[1];
  if (c == 'N' && !have_obj_ && (objname_wanted_.empty() || objname_wanted_ == name)) {
    have_obj_ = true;
    objname_ = name;
    if (!rows_.insert(name, kObjRow)) fail("duplicate row name '%s'", shown(name).c_str());
    return;
  }
  int i = m_.nrows();
  if (!rows_.insert(name, i)) fail("duplicate row name '%s'", shown(name).c_str());
  m_.rowtype.push_back(c);
  m_.rhs.push_back(0.0);
  m_.range.push_back(0.0);
  m_.rownames.emplace_back(name);
  m_.indcol.push_back(-1);
  m_.indcomp.push_back(0);
  rawrange_.push_back(kNaN);
}

void MpsReader::columns_line() {
  if (ntok_ >= 3 && tok_[1] == "'MARKER'") {
    sv w = tok_[2];
    if (w == "'INTORG'")
      intmarker_ = true;
    else if (w == "'INTEND'")
      intmarker_ = false;
    else
      fail("expected 'INTORG' or 'INTEND' after 'MARKER', found '%s'", shown(w).c_str());
    return;
  }
  if (ntok_ != 1 && ntok_ != 3 && ntok_ != 5)
    fail("expected a column name followed by one or two (row, value) pairs");
  sv name = tok_[0];
  int j;
  if (cur_col_ >= 0 && name == cur_col_name_) {
    j = cur_col_;
  } else {
    j = m_.ncols();
    if (!cols_.insert(name, j))
      fail("column '%s' appears again after other columns (a duplicate name?)",
           shown(name).c_str());
    m_.obj.push_back(0.0);
    m_.lb.push_back(0.0);
    m_.ub.push_back(KRVU_INFINITY);
    m_.threshold.push_back(0.0);
    m_.coltype.push_back(intmarker_ ? 'I' : 'C');
    m_.colnames.emplace_back(name);
    lbset_.push_back(0);
    bndset_.push_back(0);
    cur_col_ = j;
    cur_col_name_ = name;
  }
  for (int k = 1; k + 1 < ntok_; k += 2) {
    sv rn = tok_[k];
    int i = rows_.find(rn);
    if (i == -1) fail("unknown row '%s'", shown(rn).c_str());
    double v = number(tok_[k + 1], "a number");
    if (!std::isfinite(v)) fail("expected a finite coefficient, found '%s'", shown(tok_[k + 1]).c_str());
    if (i == kObjRow) {
      m_.obj[j] += v;
    } else if (v != 0) {
      trow_.push_back(i);
      tcol_.push_back(j);
      tval_.push_back(v);
    }
  }
}

void MpsReader::rhs_line(bool ranges) {
  int k = 0;
  if (ntok_ % 2 == 1) {
    sv set = tok_[0];
    sv &seen = ranges ? rng_set_ : rhs_set_;
    bool &was = ranges ? rng_set_seen_ : rhs_set_seen_;
    if (!was) {
      was = true;
      seen = set;
    } else if (set != seen) {
      warn_once(ranges ? warned_rng_ : warned_rhs_,
                "entries of a second %s vector are ignored", ranges ? "RANGES" : "RHS");
      return;
    }
    k = 1;
  }
  if (ntok_ - k < 2) fail("expected a row name and a value");
  for (; k + 1 < ntok_; k += 2) {
    int i = row_index(tok_[k]);
    double v = number(tok_[k + 1], "a number");
    if (i == kObjRow) {
      if (ranges) continue;
      if (!std::isfinite(v)) fail("expected a finite objective constant");
      m_.objrhs = v;
      continue;
    }
    if (m_.rowtype[i] == 'N') {
      warn_once(warned_nrhs_, "%s on a free row are ignored", ranges ? "ranges" : "right-hand sides");
      continue;
    }
    if (ranges)
      rawrange_[i] = v;
    else
      m_.rhs[i] = clamp_inf(v);
  }
}

void MpsReader::bounds_line() {
  if (ntok_ < 2) fail("expected a bound type and a column name");
  sv t = tok_[0];
  char ty[3] = {0, 0, 0};
  if (t.size() == 2) {
    ty[0] = t[0] & ~0x20;
    ty[1] = t[1] & ~0x20;
  }
  sv T(ty, t.size() == 2 ? 2 : 0);
  const bool novalue = T == "FR" || T == "MI" || T == "PL" || T == "BV";
  const bool optional = T == "SC";
  if (!novalue && !optional && T != "UP" && T != "LO" && T != "FX" && T != "LI" && T != "UI" &&
      T != "SI" && T != "PI")
    fail("expected a bound type (UP, LO, FX, FR, MI, PL, BV, LI, UI, SC, SI or PI), found '%s'",
         shown(t).c_str());
  // Which tokens are the vector name, the column and the value.
  sv set, colname, val;
  if (ntok_ == 4) {
    set = tok_[1];
    colname = tok_[2];
    val = tok_[3];
  } else if (ntok_ == 3) {
    if (cols_.find(tok_[2]) >= 0 && (novalue || optional || cols_.find(tok_[1]) < 0)) {
      set = tok_[1];
      colname = tok_[2];
    } else {
      colname = tok_[1];
      val = tok_[2];
    }
  } else if (ntok_ == 2) {
    colname = tok_[1];
  } else {
    fail("expected a bound type, a bound vector name, a column name and a value");
  }
  if (val.empty() && !novalue && !optional) fail("expected a value for the %s bound", ty);
  if (!set.empty()) {
    if (!bnd_set_seen_) {
      bnd_set_seen_ = true;
      bnd_set_ = set;
    } else if (set != bnd_set_) {
      warn_once(warned_bnd_, "entries of a second %s vector are ignored", "BOUNDS");
      return;
    }
  }
  int j = col_index(colname);
  double v = 0;
  if (!val.empty() && !novalue) v = clamp_inf(number(val, "a bound value"));
  double &lb = m_.lb[j], &ub = m_.ub[j];
  char &type = m_.coltype[j];
  bndset_[j] = 1;
  switch (ty[0]) {
    case 'U':
      if (ty[1] == 'I' && (type == 'C' || type == 'B')) type = 'I';
      ub = v;
      if (v < 0 && lb == 0 && !lbset_[j]) {
        lb = -KRVU_INFINITY;
        warn_once(warned_negup_, "a negative upper bound on column '%s' with no lower bound "
                  "makes the lower bound -infinity", shown(colname).c_str());
      }
      break;
    case 'L':
      if (ty[1] == 'I' && type == 'C') type = 'I';
      lb = v;
      lbset_[j] = 1;
      break;
    case 'F':
      if (ty[1] == 'X') {
        lb = ub = v;
        lbset_[j] = 1;
      } else {
        lb = -KRVU_INFINITY;
        ub = KRVU_INFINITY;
        lbset_[j] = 1;
      }
      break;
    case 'M':
      lb = -KRVU_INFINITY;
      lbset_[j] = 1;
      break;
    case 'P':
      if (ty[1] == 'L') {
        ub = KRVU_INFINITY;
      } else {
        type = 'P';
        m_.threshold[j] = v;
      }
      break;
    case 'B':
      type = 'B';
      lb = 0;
      ub = 1;
      lbset_[j] = 1;
      break;
    case 'S':
      if (ty[1] == 'C') {
        type = (type == 'I' || type == 'R') ? 'R' : 'S';
        ub = val.empty() ? KRVU_INFINITY : v;
      } else {
        type = 'R';
        ub = v;
      }
      break;
  }
}

void MpsReader::sos_line() {
  sv t0 = tok_[0];
  // A header is "S1 SOS ..." or "S1 name"; "s1 2" is the member s1 with weight 2.
  double w0;
  bool head = (t0 == "S1" || t0 == "S2" || t0 == "s1" || t0 == "s2") &&
              (ntok_ == 1 || tok_[1] == "SOS" ||
               (ntok_ == 2 && !parse_number(tok_[1], w0) && tok_[1].find(':') == sv::npos));
  if (head) {
    int k = 1;
    if (k < ntok_ && tok_[k] == "SOS") ++k;
    m_.settype.push_back(t0[1]);
    m_.setnames.emplace_back(k < ntok_ ? tok_[k] : sv());
    m_.setstart.push_back(m_.setstart.back());
    cur_set_ = m_.nsets() - 1;
    return;
  }
  if (cur_set_ < 0) fail("expected a set header (S1 or S2) before the set's members");
  sv colname, w;
  if (ntok_ == 1) {
    size_t c = t0.rfind(':');
    if (c == sv::npos) {
      colname = t0;
    } else {
      colname = t0.substr(0, c);
      w = t0.substr(c + 1);
    }
  } else if (ntok_ == 2 && tok_[1].find(':') != sv::npos) {
    // "set column:weight"
    size_t c = tok_[1].rfind(':');
    colname = tok_[1].substr(0, c);
    w = tok_[1].substr(c + 1);
  } else if (ntok_ == 2) {
    colname = tok_[0];
    w = tok_[1];
  } else if (ntok_ == 3) {
    // "set column weight" or "column set weight"
    const std::string &sn = m_.setnames[cur_set_];
    if (tok_[0] == sn && cols_.find(tok_[1]) >= 0)
      colname = tok_[1];
    else if (tok_[1] == sn)
      colname = tok_[0];
    else
      fail("expected a set member: a column name and a weight");
    w = tok_[2];
  } else {
    fail("expected a set member: a column name and a weight");
  }
  int j = col_index(colname);
  int64_t pos = m_.setstart.back() - m_.setstart[cur_set_];
  double weight = w.empty() ? static_cast<double>(pos + 1) : number(w, "a set weight");
  if (!std::isfinite(weight)) fail("expected a finite set weight");
  setcol_.push_back(j);
  setref_.push_back(weight);
  ++m_.setstart.back();
}

void MpsReader::quad_line() {
  if (ntok_ != 3) fail("expected two column names and a value");
  int a = col_index(tok_[0]);
  int b = col_index(tok_[1]);
  double v = number(tok_[2], "a number");
  if (!std::isfinite(v)) fail("expected a finite quadratic coefficient");
  qent_.push_back({a, b, v});
}

void MpsReader::finish_quad() {
  if (qkind_ == Sec::None) return;
  Sec kind = qkind_;
  qkind_ = Sec::None;
  std::vector<QEntry> e = std::move(qent_);
  qent_.clear();
  bool full = kind == Sec::Qmatrix || kind == Sec::Qcmatrix;
  if (kind == Sec::Qsection && qrow_ == kObjRow && !e.empty()) {
    // Read as a whole matrix only when every off-diagonal entry has its mirror.
    std::vector<std::pair<int, int>> pairs;
    for (const QEntry &q : e)
      if (q.c1 != q.c2) pairs.emplace_back(q.c1, q.c2);
    std::sort(pairs.begin(), pairs.end());
    full = !pairs.empty();
    for (auto &pr : pairs)
      if (!std::binary_search(pairs.begin(), pairs.end(), std::make_pair(pr.second, pr.first))) {
        full = false;
        break;
      }
  }
  // The store adds the entries of (i, j) and (j, i): halve mirrored ones.
  if (full)
    for (QEntry &q : e)
      if (q.c1 != q.c2) q.v *= 0.5;
  if (qrow_ == kObjRow) {
    qobj_.insert(qobj_.end(), e.begin(), e.end());
    return;
  }
  if (kind == Sec::Qsection)  // a row a'x + 0.5 x'Qx
    for (QEntry &q : e) q.v *= 0.5;
  for (size_t s = 0; s < qrowid_.size(); ++s)
    if (qrowid_[s] == qrow_) fail("a second quadratic section for the same row");
  qrowid_.push_back(qrow_);
  qrowent_.push_back(std::move(e));
}

void MpsReader::indicator_line() {
  if (ntok_ != 4 || !(tok_[0] == "IF" || tok_[0] == "if"))
    fail("expected IF, a row name, a column name and 0 or 1");
  int i = row_index(tok_[1]);
  if (i == kObjRow) fail("an indicator needs a constraint row, not the objective");
  int j = col_index(tok_[2]);
  double v = number(tok_[3], "0 or 1");
  if (v != 0 && v != 1) fail("expected 0 or 1, found '%s'", shown(tok_[3]).c_str());
  if (m_.indcol[i] >= 0) fail("row '%s' has a second indicator", shown(tok_[1]).c_str());
  m_.indcol[i] = j;
  m_.indcomp[i] = v == 1 ? 1 : -1;
}

}  // namespace

ModelData read_mps(const Source &src, KRVUprob prob) { return read_mps(src, prob, nullptr); }

ModelData read_mps(const Source &src, KRVUprob prob, MpsExtension *ext) {
  MpsReader free_reader(src, false, prob, ext);
  try {
    return free_reader.run();
  } catch (const Error &efree) {
    MpsReader fixed_reader(src, true, prob, ext);
    try {
      return fixed_reader.run();
    } catch (const Error &efixed) {
      if (fixed_reader.line() > free_reader.line()) throw;
      throw efree;
    }
  }
}

}  // namespace io
}  // namespace krvu
