// The LP format reader.
//
// Sections (keywords are case-insensitive and start a line): Minimize /
// Maximize (objective, optionally "name:", with a quadratic part "[ ... ] / 2"
// and a constant), Subject To (constraints "name: expr op value",
// ranges "name: lo <= expr <= hi", indicators "name: z = 1 -> expr op value",
// quadratic terms "[ ... ]" without the factor), Bounds ("x >= l", "x <= u",
// "l <= x <= u", "x = v", "x free", infinities as inf / infinity / 1e20 and
// beyond), General (Integers), Binary, Semi-continuous, SOS
// ("name: S1:: x:1 y:2"), End.  "\" starts a comment.
//
// Columns are numbered in order of first appearance.  Binary columns have
// bounds [0, 1] (bounds given in Bounds are clipped to it); a semi-continuous
// column is 0 or between its lower bound (the threshold) and its upper bound,
// and is semi-integer when also listed as General.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>

#include "core/common.h"
#include "io/iobase.h"

namespace krvu {
namespace io {
namespace {

using sv = std::string_view;

enum T {
  T_EOF, T_NAME, T_NUM, T_MIXED, T_PLUS, T_MINUS, T_STAR, T_CARET, T_LBR, T_RBR, T_SLASH, T_COLON,
  T_DCOLON, T_LE, T_GE, T_EQ, T_ARROW, T_SEC
};
enum Sec { S_OBJMIN, S_OBJMAX, S_CONS, S_BOUNDS, S_GEN, S_BIN, S_SEMI, S_SOS, S_END };

// T_MIXED: a word that starts like a number and goes on like a name ("2x",
// "5C0ST"): a coefficient and a variable when it opens a term, a name where
// a name is expected (some writers keep names that start with digits, and
// always put a coefficient before them).  v is the number at its start (NaN
// when there is none) and sec its length.
struct Tok {
  T t = T_EOF;
  sv s;
  double v = 0;
  int line = 0;
  int sec = 0;
};

struct Keyword {
  const char *text;
  Sec sec;
};
// Longer spellings first, so that a prefix does not match a longer keyword.
const Keyword kKeywords[] = {
    {"minimize", S_OBJMIN},     {"minimise", S_OBJMIN},       {"minimum", S_OBJMIN},
    {"min", S_OBJMIN},          {"maximize", S_OBJMAX},       {"maximise", S_OBJMAX},
    {"maximum", S_OBJMAX},      {"max", S_OBJMAX},            {"subject to", S_CONS},
    {"such that", S_CONS},      {"s.t.", S_CONS},             {"st.", S_CONS},
    {"st", S_CONS},             {"bounds", S_BOUNDS},         {"bound", S_BOUNDS},
    {"generals", S_GEN},        {"general", S_GEN},           {"gen", S_GEN},
    {"integers", S_GEN},        {"integer", S_GEN},           {"binaries", S_BIN},
    {"binary", S_BIN},          {"bin", S_BIN},               {"semi-continuous", S_SEMI},
    {"semicontinuous", S_SEMI}, {"semis", S_SEMI},           {"semi", S_SEMI},
    {"sos", S_SOS},             {"end", S_END},
};

inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
inline bool is_delim(char c) {
  return is_space(c) || c == '\n' || c == '+' || c == '-' || c == '*' || c == '^' || c == '<' ||
         c == '>' || c == '=' || c == ':' || c == '[' || c == ']' || c == '\\';
}
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

class Lexer {
 public:
  Lexer(const Source &src) : src_(src), p_(src.data.data()), e_(p_ + src.data.size()) {}
  const Tok &peek(int k = 0) {
    while (n_ <= k) buf_[n_++] = lex();
    return buf_[k];
  }
  Tok next() {
    Tok t = peek(0);
    for (int i = 1; i < n_; ++i) buf_[i - 1] = buf_[i];
    --n_;
    return t;
  }
  [[noreturn]] void fail(int line, const char *fmt, ...) __attribute__((format(printf, 3, 4)));

 private:
  Tok lex();
  bool keyword(Tok &t);
  const Source &src_;
  const char *p_, *e_;
  int line_ = 1;
  bool bol_ = true;
  Tok buf_[6];
  int n_ = 0;
};

void Lexer::fail(int line, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string what = vformat(fmt, ap);
  va_end(ap);
  parse_error(src_.path, line, "%s", what.c_str());
}

bool Lexer::keyword(Tok &t) {
  for (const Keyword &k : kKeywords) {
    const char *q = p_;
    const char *w = k.text;
    bool ok = true;
    while (*w && ok) {
      if (*w == ' ') {
        if (q == e_ || !is_space(*q)) ok = false;
        while (q < e_ && is_space(*q)) ++q;
        ++w;
      } else if (q < e_ && lower(*q) == *w) {
        ++q;
        ++w;
      } else {
        ok = false;
      }
    }
    if (!ok || (q < e_ && !is_space(*q) && *q != '\n' && *q != '\\')) continue;
    t.t = T_SEC;
    t.sec = k.sec;
    t.s = sv(p_, q - p_);
    p_ = q;
    return true;
  }
  return false;
}

Tok Lexer::lex() {
  Tok t;
  for (;;) {
    while (p_ < e_ && is_space(*p_)) ++p_;
    if (p_ == e_) {
      t.line = line_;
      return t;
    }
    if (*p_ == '\n') {
      ++line_;
      ++p_;
      bol_ = true;
      continue;
    }
    if (*p_ == '\\') {
      const char *nl = static_cast<const char *>(std::memchr(p_, '\n', e_ - p_));
      p_ = nl ? nl : e_;
      continue;
    }
    break;
  }
  t.line = line_;
  bool bol = bol_;
  bol_ = false;
  if (bol && keyword(t)) return t;
  const char *b = p_;
  char c = *p_;
  switch (c) {
    case '+': ++p_; t.t = T_PLUS; return t;
    case '*': ++p_; t.t = T_STAR; return t;
    case '^': ++p_; t.t = T_CARET; return t;
    case '[': ++p_; t.t = T_LBR; return t;
    case ']': ++p_; t.t = T_RBR; return t;
    case '/': ++p_; t.t = T_SLASH; return t;
    case '-':
      ++p_;
      if (p_ < e_ && *p_ == '>') {
        ++p_;
        t.t = T_ARROW;
      } else {
        t.t = T_MINUS;
      }
      return t;
    case ':':
      ++p_;
      if (p_ < e_ && *p_ == ':') {
        ++p_;
        t.t = T_DCOLON;
      } else {
        t.t = T_COLON;
      }
      return t;
    case '<':
      ++p_;
      if (p_ < e_ && *p_ == '=') ++p_;
      t.t = T_LE;
      return t;
    case '>':
      ++p_;
      if (p_ < e_ && *p_ == '=') ++p_;
      t.t = T_GE;
      return t;
    case '=':
      ++p_;
      if (p_ < e_ && *p_ == '<') {
        ++p_;
        t.t = T_LE;
      } else if (p_ < e_ && *p_ == '>') {
        ++p_;
        t.t = T_GE;
      } else {
        t.t = T_EQ;
      }
      return t;
    default:
      break;
  }
  if (is_digit(c) || (c == '.' && p_ + 1 < e_ && is_digit(p_[1]))) {
    const char *q = p_;
    if (c == '0' && q + 1 < e_ && (q[1] == 'x' || q[1] == 'X')) {
      q += 2;
      while (q < e_ && (std::isxdigit(static_cast<unsigned char>(*q)) || *q == '.')) ++q;
      if (q < e_ && (*q == 'p' || *q == 'P')) {
        ++q;
        if (q < e_ && (*q == '+' || *q == '-')) ++q;
        while (q < e_ && is_digit(*q)) ++q;
      }
    } else {
      while (q < e_ && (is_digit(*q) || *q == '.')) ++q;
      if (q < e_ && (*q == 'e' || *q == 'E')) {
        const char *r = q + 1;
        if (r < e_ && (*r == '+' || *r == '-')) ++r;
        if (r < e_ && is_digit(*r)) {
          while (r < e_ && is_digit(*r)) ++r;
          q = r;
        }
      }
    }
    t.s = sv(b, q - b);
    bool num = parse_number(t.s, t.v);
    if (q < e_ && !is_delim(*q)) {
      t.t = T_MIXED;
      t.sec = static_cast<int>(q - b);
      if (!num) t.v = std::numeric_limits<double>::quiet_NaN();
      while (q < e_ && !is_delim(*q)) ++q;
      t.s = sv(b, q - b);
      p_ = q;
      return t;
    }
    if (!num) fail(line_, "expected a number, found '%s'", shown(t.s).c_str());
    p_ = q;
    t.t = T_NUM;
    return t;
  }
  const char *q = p_;
  while (q < e_ && !is_delim(*q)) ++q;
  t.t = T_NAME;
  t.s = sv(b, q - b);
  p_ = q;
  return t;
}

bool is_inf_name(sv s) { return iequals(s, "inf") || iequals(s, "infinity"); }
// A token that can be a variable's (or a constraint's) name.
bool is_name(const Tok &t) { return (t.t == T_NAME && !is_inf_name(t.s)) || t.t == T_MIXED; }

struct QTerm {
  int a, b;
  double v;
};

struct Expr {
  std::vector<std::pair<int, double>> lin;
  std::vector<QTerm> quad;   // monomial coefficients
  double constant = 0;
  bool any = false;
  bool vars() const { return !lin.empty() || !quad.empty(); }
};

class LpReader {
 public:
  LpReader(const Source &src, KRVUprob prob)
      : src_(src), lx_(src), prob_(prob), cols_(src.data.size() / 64 + 16),
        rows_(src.data.size() / 256 + 16) {}
  ModelData run();

 private:
  [[noreturn]] void fail(const Tok &t, const char *what) {
    lx_.fail(t.line, "expected %s, found %s", what, describe(t).c_str());
  }
  static std::string describe(const Tok &t) {
    switch (t.t) {
      case T_EOF: return "the end of the file";
      case T_SEC: return "the section keyword '" + shown(t.s) + "'";
      case T_NAME:
      case T_MIXED:
      case T_NUM: return "'" + shown(t.s) + "'";
      default: return "'" + std::string(token_text(t.t)) + "'";
    }
  }
  static const char *token_text(T t) {
    switch (t) {
      case T_PLUS: return "+";
      case T_MINUS: return "-";
      case T_STAR: return "*";
      case T_CARET: return "^";
      case T_LBR: return "[";
      case T_RBR: return "]";
      case T_SLASH: return "/";
      case T_COLON: return ":";
      case T_DCOLON: return "::";
      case T_LE: return "<=";
      case T_GE: return ">=";
      case T_EQ: return "=";
      case T_ARROW: return "->";
      default: return "?";
    }
  }
  int col(sv name);
  bool at_end() { T t = lx_.peek().t; return t == T_SEC || t == T_EOF; }
  static bool relop(T t) { return t == T_LE || t == T_GE || t == T_EQ; }
  void expr(Expr &e);
  void quad(Expr &e, double sign);
  double constant(const char *what);
  void objective();
  void constraint();
  void bound();
  void sos();
  void add_row(sv name, const Expr &e, double lo, double hi, int line, int indcol, int indcomp);

  const Source &src_;
  Lexer lx_;
  KRVUprob prob_;
  ModelData m_;
  NameMap cols_, rows_;
  std::vector<int> trow_, tcol_;
  std::vector<double> tval_;
  std::vector<int> qa_, qb_;
  std::vector<double> qv_;
  std::vector<char> isint_, isbin_, issemi_;
};

int LpReader::col(sv name) {
  int j = cols_.find(name);
  if (j >= 0) return j;
  j = m_.ncols();
  cols_.insert(name, j);
  m_.obj.push_back(0.0);
  m_.lb.push_back(0.0);
  m_.ub.push_back(KRVU_INFINITY);
  m_.threshold.push_back(0.0);
  m_.coltype.push_back('C');
  m_.colnames.emplace_back(name);
  isint_.push_back(0);
  isbin_.push_back(0);
  issemi_.push_back(0);
  return j;
}

void LpReader::expr(Expr &e) {
  for (bool first = true;; first = false) {
    const T t0 = lx_.peek().t;
    const bool signed_term = t0 == T_PLUS || t0 == T_MINUS;
    double sign = 1;
    if (signed_term) {
      while (lx_.peek().t == T_PLUS || lx_.peek().t == T_MINUS)
        if (lx_.next().t == T_MINUS) sign = -sign;
    } else if (!first && t0 != T_LBR) {
      return;
    }
    const Tok &u = lx_.peek();
    if (u.t == T_LBR) {
      quad(e, sign);
    } else if (u.t == T_NUM) {
      // Out-of-range numbers (1e400) are refused as coefficients and constants,
      // as the MPS reader refuses them.
      if (!std::isfinite(u.v)) fail(u, "a finite coefficient");
      double c = sign * lx_.next().v;
      if (is_name(lx_.peek())) {
        e.lin.emplace_back(col(lx_.next().s), c);
      } else {
        e.constant += c;
      }
    } else if (u.t == T_MIXED) {
      Tok m = lx_.next();
      if (std::isnan(m.v)) fail(m, "a term (a number or a variable)");
      if (!std::isfinite(m.v)) fail(m, "a finite coefficient");
      e.lin.emplace_back(col(m.s.substr(m.sec)), sign * m.v);
    } else if (u.t == T_NAME && !is_inf_name(u.s)) {
      e.lin.emplace_back(col(lx_.next().s), sign);
    } else if (first && !signed_term) {
      return;  // an empty expression: the caller decides
    } else {
      fail(u, "a term (a number or a variable)");
    }
    e.any = true;
    const Tok &v = lx_.peek();
    if (v.t == T_CARET || v.t == T_STAR) fail(v, "quadratic terms inside [ ]");
  }
}

void LpReader::quad(Expr &e, double outer) {
  Tok open = lx_.next();  // [
  size_t from = e.quad.size();
  for (bool first = true;; first = false) {
    if (lx_.peek().t == T_RBR) {
      lx_.next();
      break;
    }
    double sign = outer;
    if (lx_.peek().t == T_PLUS || lx_.peek().t == T_MINUS) {
      while (lx_.peek().t == T_PLUS || lx_.peek().t == T_MINUS)
        if (lx_.next().t == T_MINUS) sign = -sign;
    } else if (!first) {
      fail(lx_.peek(), "+, - or ] in a quadratic expression");
    }
    double c = sign;
    int ia;
    if (lx_.peek().t == T_MIXED) {
      Tok m = lx_.next();
      if (std::isnan(m.v)) fail(m, "a quadratic term");
      if (!std::isfinite(m.v)) fail(m, "a finite coefficient");
      c *= m.v;
      ia = col(m.s.substr(m.sec));
    } else {
      if (lx_.peek().t == T_NUM) {
        if (!std::isfinite(lx_.peek().v)) fail(lx_.peek(), "a finite coefficient");
        c *= lx_.next().v;
      }
      const Tok &a = lx_.peek();
      if (!is_name(a)) fail(a, "a variable in a quadratic term");
      ia = col(lx_.next().s);
    }
    const Tok &op = lx_.peek();
    if (op.t == T_CARET) {
      lx_.next();
      const Tok &two = lx_.peek();
      if (two.t != T_NUM || two.v != 2) fail(two, "2 after ^");
      lx_.next();
      e.quad.push_back({ia, ia, c});
    } else if (op.t == T_STAR) {
      lx_.next();
      const Tok &b = lx_.peek();
      if (!is_name(b)) fail(b, "a variable after *");
      e.quad.push_back({ia, col(lx_.next().s), c});
    } else {
      fail(op, "^2 or * and a variable in a quadratic term");
    }
  }
  if (lx_.peek().t == T_SLASH) {
    lx_.next();
    const Tok &d = lx_.peek();
    if (d.t != T_NUM || d.v == 0 || !std::isfinite(d.v)) fail(d, "a non-zero divisor after /");
    double div = lx_.next().v;
    for (size_t k = from; k < e.quad.size(); ++k) e.quad[k].v /= div;
  }
  (void)open;
}

double LpReader::constant(const char *what) {
  double sign = 1;
  while (lx_.peek().t == T_PLUS || lx_.peek().t == T_MINUS)
    if (lx_.next().t == T_MINUS) sign = -sign;
  const Tok &t = lx_.peek();
  if (t.t == T_NUM) return sign * lx_.next().v;
  if (t.t == T_NAME && is_inf_name(t.s)) {
    lx_.next();
    return sign * KRVU_INFINITY;
  }
  fail(t, what);
}

void LpReader::objective() {
  if ((is_name(lx_.peek()) || lx_.peek().t == T_NUM) && lx_.peek(1).t == T_COLON) {
    lx_.next();
    lx_.next();
  }
  Expr e;
  expr(e);
  if (!at_end()) fail(lx_.peek(), "a term of the objective or a section keyword");
  for (auto &t : e.lin) m_.obj[t.first] += t.second;
  // objective = c'x + 0.5 x'Qx: a monomial v x_i^2 is Q_ii = 2v, v x_i x_j is Q_ij = v.
  for (const QTerm &q : e.quad) {
    qa_.push_back(q.a);
    qb_.push_back(q.b);
    qv_.push_back(q.a == q.b ? 2 * q.v : q.v);
  }
  m_.objrhs = e.constant == 0 ? 0.0 : -e.constant;
}

void LpReader::add_row(sv name, const Expr &e, double lo, double hi, int line, int indcol,
                       int indcomp) {
  int i = m_.nrows();
  if (!name.empty() && !rows_.insert(name, i))
    lx_.fail(line, "duplicate constraint name '%s'", shown(name).c_str());
  lo = clamp_inf(lo);
  hi = clamp_inf(hi);
  if (lo > hi) lx_.fail(line, "the constraint's lower limit is above its upper limit");
  char type;
  double rhs = 0, range = 0;
  if (lo == hi) {
    type = 'E';
    rhs = lo;
  } else if (lo <= -KRVU_INFINITY && hi >= KRVU_INFINITY) {
    type = 'N';
  } else if (lo <= -KRVU_INFINITY) {
    type = 'L';
    rhs = hi;
  } else if (hi >= KRVU_INFINITY) {
    type = 'G';
    rhs = lo;
  } else {
    type = 'R';
    rhs = hi;
    range = hi - lo;
  }
  m_.rowtype.push_back(type);
  m_.rhs.push_back(rhs);
  m_.range.push_back(range);
  m_.rownames.emplace_back(name);
  m_.indcol.push_back(indcol);
  m_.indcomp.push_back(indcol >= 0 ? indcomp : 0);
  for (auto &t : e.lin) {
    trow_.push_back(i);
    tcol_.push_back(t.first);
    tval_.push_back(t.second);
  }
  if (!e.quad.empty()) {
    // a row reads a'x + x'Qx: v x_i^2 is Q_ii = v, v x_i x_j is Q_ij = v / 2.
    std::vector<int> a, b;
    std::vector<double> v;
    for (const QTerm &q : e.quad) {
      a.push_back(q.a);
      b.push_back(q.b);
      v.push_back(q.a == q.b ? q.v : 0.5 * q.v);
    }
    m_.add_qrow_triplets(i, static_cast<int64_t>(a.size()), a.data(), b.data(), v.data());
  }
}

void LpReader::constraint() {
  const int line = lx_.peek().line;
  sv name;
  if ((is_name(lx_.peek()) || lx_.peek().t == T_NUM) && lx_.peek(1).t == T_COLON) {
    name = lx_.next().s;
    lx_.next();
  }
  int indcol = -1, indcomp = 0;
  for (;;) {
    Expr lhs;
    expr(lhs);
    const Tok op = lx_.peek();
    if (!lhs.any && !relop(op.t)) fail(op, "a constraint");
    if (!relop(op.t)) fail(op, "<=, >= or =");
    lx_.next();
    double lo = -KRVU_INFINITY, hi = KRVU_INFINITY;
    if (!lhs.any) {
      // An empty row, as some writers put it: "name: = 0".
      double v = constant("a number on the right-hand side");
      if (op.t != T_GE) hi = v;
      if (op.t != T_LE) lo = v;
      add_row(name, lhs, lo, hi, line, indcol, indcomp);
      return;
    }
    if (!lhs.vars()) {
      // "value op expr [op value]"
      Expr mid;
      expr(mid);
      if (!mid.vars()) fail(lx_.peek(), "an expression with variables");
      double c = lhs.constant - mid.constant;
      if (op.t == T_LE) lo = c;
      else if (op.t == T_GE) hi = c;
      else lo = hi = c;
      if (relop(lx_.peek().t)) {
        const Tok op2 = lx_.next();
        double v = constant("a number after the comparison") - mid.constant;
        if (op2.t == T_EQ || op.t == T_EQ || (op2.t == T_LE) != (op.t == T_LE))
          lx_.fail(op2.line, "a range needs two comparisons in the same direction");
        if (op2.t == T_LE) hi = v;
        else lo = v;
      }
      add_row(name, mid, lo, hi, line, indcol, indcomp);
      return;
    }
    double v = constant("a number on the right-hand side");
    if (lx_.peek().t == T_ARROW) {
      // An indicator: "z = 1 -> constraint".
      if (indcol >= 0 || lhs.lin.size() != 1 || !lhs.quad.empty() || lhs.constant != 0 ||
          lhs.lin[0].second != 1 || op.t != T_EQ || (v != 0 && v != 1))
        lx_.fail(op.line, "an indicator reads 'variable = 0 ->' or 'variable = 1 ->'");
      lx_.next();
      indcol = lhs.lin[0].first;
      indcomp = v == 1 ? 1 : -1;
      continue;
    }
    v -= lhs.constant;
    if (op.t == T_LE) hi = v;
    else if (op.t == T_GE) lo = v;
    else lo = hi = v;
    add_row(name, lhs, lo, hi, line, indcol, indcomp);
    return;
  }
}

void LpReader::bound() {
  const Tok &t = lx_.peek();
  if (is_name(t)) {
    int j = col(lx_.next().s);
    const Tok &op = lx_.peek();
    if (op.t == T_NAME && iequals(op.s, "free")) {
      lx_.next();
      m_.lb[j] = -KRVU_INFINITY;
      m_.ub[j] = KRVU_INFINITY;
      return;
    }
    if (!relop(op.t)) fail(op, "<=, >=, = or free after a variable in Bounds");
    T o = lx_.next().t;
    double v = clamp_inf(constant("a bound value"));
    if (o != T_LE) m_.lb[j] = v;
    if (o != T_GE) m_.ub[j] = v;
    return;
  }
  double v = clamp_inf(constant("a bound: a variable or a value"));
  const Tok &op = lx_.peek();
  if (!relop(op.t)) fail(op, "<=, >= or = after a bound value");
  T o = lx_.next().t;
  const Tok &c = lx_.peek();
  if (!is_name(c)) fail(c, "a variable in a bound");
  int j = col(lx_.next().s);
  if (o != T_GE) m_.lb[j] = v;
  if (o != T_LE) m_.ub[j] = v;
  if (relop(lx_.peek().t)) {
    T o2 = lx_.next().t;
    double w = clamp_inf(constant("a bound value"));
    if (o2 != T_LE) m_.lb[j] = w;
    if (o2 != T_GE) m_.ub[j] = w;
  }
}

void LpReader::sos() {
  sv name;
  if (is_name(lx_.peek()) && lx_.peek(1).t == T_COLON && lx_.peek(2).t == T_NAME &&
      lx_.peek(3).t == T_DCOLON) {
    name = lx_.next().s;
    lx_.next();
  }
  const Tok &t = lx_.peek();
  if (t.t != T_NAME || lx_.peek(1).t != T_DCOLON || !(iequals(t.s, "S1") || iequals(t.s, "S2")))
    fail(t, "a set: 'name: S1::' or 'name: S2::' and its members");
  char type = lx_.next().s[1];
  lx_.next();
  m_.settype.push_back(type);
  m_.setnames.emplace_back(name);
  int64_t n = 0;
  while (is_name(lx_.peek()) && lx_.peek(1).t == T_COLON &&
         (lx_.peek(2).t == T_NUM || lx_.peek(2).t == T_MINUS || lx_.peek(2).t == T_PLUS)) {
    int j = col(lx_.next().s);
    lx_.next();
    double w = constant("a weight");
    if (!std::isfinite(w) || std::fabs(w) >= KRVU_INFINITY) fail(lx_.peek(), "a finite weight");
    m_.setcol.push_back(j);
    m_.setref.push_back(w);
    ++n;
  }
  m_.setstart.push_back(m_.setstart.back() + n);
}

ModelData LpReader::run() {
  const Tok &first = lx_.peek();
  if (first.t == T_EOF) lx_.fail(first.line, "the file is empty: expected an LP problem");
  if (first.t != T_SEC)
    fail(first, "a section keyword (Minimize, Maximize, Subject To, ...)");
  bool objseen = false, ended = false;
  while (!ended) {
    const Tok s = lx_.next();
    if (s.t == T_EOF) lx_.fail(s.line, "unexpected end of file: expected End");
    if (s.t != T_SEC) fail(s, "a section keyword");
    switch (s.sec) {
      case S_OBJMIN:
      case S_OBJMAX:
        if (objseen) lx_.fail(s.line, "a second objective section");
        objseen = true;
        m_.objsense = s.sec == S_OBJMAX ? -1 : 1;
        objective();
        break;
      case S_CONS:
        while (!at_end()) constraint();
        break;
      case S_BOUNDS:
        while (!at_end()) bound();
        break;
      case S_GEN:
      case S_BIN:
      case S_SEMI:
        while (!at_end()) {
          const Tok &t = lx_.peek();
          if (!is_name(t)) fail(t, "a variable name");
          int j = col(lx_.next().s);
          (s.sec == S_GEN ? isint_ : s.sec == S_BIN ? isbin_ : issemi_)[j] = 1;
        }
        break;
      case S_SOS:
        while (!at_end()) sos();
        break;
      case S_END:
        ended = true;
        break;
    }
  }
  const int nc = m_.ncols();
  for (int j = 0; j < nc; ++j) {
    if (issemi_[j]) {
      m_.coltype[j] = (isint_[j] || isbin_[j]) ? 'R' : 'S';
      if (isbin_[j] && m_.ub[j] > 1) m_.ub[j] = 1;
      if (m_.lb[j] > 0) {
        m_.threshold[j] = m_.lb[j];
        m_.lb[j] = 0;
      }
    } else if (isbin_[j]) {
      m_.coltype[j] = 'B';
      m_.lb[j] = std::max(m_.lb[j], 0.0);
      m_.ub[j] = std::min(m_.ub[j], 1.0);
    } else if (isint_[j]) {
      m_.coltype[j] = 'I';
    }
  }
  m_.append_cols(0);
  m_.set_matrix_triplets(static_cast<int64_t>(tval_.size()), trow_.data(), tcol_.data(),
                         tval_.data());
  if (!qv_.empty())
    m_.set_qobj_triplets(static_cast<int64_t>(qv_.size()), qa_.data(), qb_.data(), qv_.data());
  return std::move(m_);
}

}  // namespace

ModelData read_lp(const Source &src, KRVUprob prob) { return LpReader(src, prob).run(); }

}  // namespace io
}  // namespace krvu
