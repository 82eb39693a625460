// Reading the nonlinear sections of a problem file (see slpfile.cpp).
#include <cmath>
#include <cstring>
#include <set>

#include "core/common.h"
#include "params/table.h"
#include "slp/slpfile.h"

namespace krvu {
namespace slp {
namespace {

using sv = std::string_view;

class SectionReader {
 public:
  SectionReader(const ModelData &m, const std::string &path, NlModel *nl, ParamValues *params)
      : m_(m), path_(path), nl_(nl), params_(params) {
    for (int i = 0; i < m.nrows(); ++i) rows_.insert(row_name(m, i), i);
    for (int j = 0; j < m.ncols(); ++j) cols_.insert(col_name(m, j), j);
  }

  void run(const io::MpsExtension &ext) {
    // User functions first: formulas name them wherever their section is.
    for (int pass = 0; pass < 2; ++pass)
      for (const auto &l : ext.lines) {
        if ((l.section == kSecUserFunctions) != (pass == 0)) continue;
        line_ = l.lineno;
        text_ = &l.text;
        pos_ = 0;
        if (l.header) {
          std::string f;
          if (field(&f, false)) fail("unexpected '%s' after %s", io::shown(f).c_str(), kFileSections[l.section]);
          continue;
        }
        switch (l.section) {
          case kSecUserFunctions: user_line(); break;
          case kSecFormulas: formula_line(); break;
          case kSecRows: row_line(); break;
          case kSecColumns: column_line(); break;
          case kSecTolsets: tolset_line(); break;
          case kSecDfs: df_line(); break;
          default: control_line(); break;
        }
      }
  }

 private:
  [[noreturn]] void fail(const char *fmt, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, fmt);
    std::string what = vformat(fmt, ap);
    va_end(ap);
    io::parse_error(path_, line_, "%s", what.c_str());
  }

  // The next field; false at the end of the line unless it is required.
  bool field(std::string *out, bool required, const char *what = "") {
    std::string err;
    if (next_field(*text_, pos_, out, &err)) return true;
    if (!err.empty()) fail("%s", err.c_str());
    if (required) fail("expected %s", what);
    return false;
  }
  std::string need(const char *what) {
    std::string f;
    field(&f, true, what);
    return f;
  }
  void end_of_line() {
    std::string f;
    if (field(&f, false)) fail("unexpected '%s' at the end of the line", io::shown(f).c_str());
  }
  double number(const std::string &s, const char *what) {
    double v;
    if (!io::parse_number(s, v)) fail("expected %s, found '%s'", what, io::shown(s).c_str());
    return v;
  }
  double finite(const char *what) {
    std::string s = need(what);
    double v = number(s, what);
    if (!std::isfinite(v)) fail("expected %s, found '%s'", what, io::shown(s).c_str());
    return v;
  }
  int integer(const char *what) {
    std::string s = need(what);
    double v = number(s, what);
    if (v != std::trunc(v) || std::fabs(v) > 2147483647.0)
      fail("expected %s, found '%s'", what, io::shown(s).c_str());
    return static_cast<int>(v);
  }
  int row(const std::string &s) {
    int i = rows_.find(s);
    if (i < 0) fail("unknown row '%s'", io::shown(s).c_str());
    return i;
  }
  int col(const std::string &s) {
    int j = cols_.find(s);
    if (j < 0) fail("unknown column '%s'", io::shown(s).c_str());
    return j;
  }

  void user_line() {
    UserFunc u;
    u.name = need("a user function name");
    std::string kind = need("VALUES or DERIVATIVES");
    if (kind == "VALUES") u.argtype = 19;
    else if (kind == "DERIVATIVES") u.argtype = 110611;
    else fail("expected VALUES or DERIVATIVES, found '%s'", io::shown(kind).c_str());
    u.rettype = integer("the return description (an integer)");
    std::string link;
    if (field(&link, false)) u.linkage = link;
    end_of_line();
    if (u.name.empty()) fail("a user function needs a name");
    if (!users_.insert(u.name, static_cast<int>(nl_->userfuncs.size()) + 1))
      fail("a second user function '%s'", io::shown(u.name).c_str());
    nl_->strings.push_back(u.name);
    if (!u.linkage.empty()) nl_->strings.push_back(u.linkage);
    nl_->userfuncs.push_back(u);
  }

  void formula_line() {
    std::string kind = need("C or F");
    if (kind != "C" && kind != "F") fail("expected C or F, found '%s'", io::shown(kind).c_str());
    kslp_prob_s::Coef c;
    c.row = row(need("a row name"));
    c.col = kind == "C" ? col(need("a column name")) : -1;
    c.factor = finite("a factor");
    for (const auto &o : nl_->coefs)
      if (o.row == c.row && o.col == c.col)
        fail("a second formula for row '%s'%s", row_name(m_, c.row).c_str(),
             c.col >= 0 ? (", column '" + col_name(m_, c.col) + "'").c_str() : "");
    parse(text_->substr(std::min(pos_, text_->size())), &c);
    nl_->coefs.push_back(std::move(c));
  }

  // A formula: quoted names are replaced by placeholders that no name of the
  // model starts with, so that the formula parser sees identifiers only.
  void parse(const std::string &text, kslp_prob_s::Coef *c) {
    if (prefix_.empty()) {
      prefix_ = "_q";
      auto clash = [&]() {
        for (int j = 0; j < m_.ncols(); ++j)
          if (col_name(m_, j).compare(0, prefix_.size(), prefix_) == 0) return true;
        for (const auto &u : nl_->userfuncs)
          if (u.name.compare(0, prefix_.size(), prefix_) == 0) return true;
        return false;
      };
      while (clash()) prefix_ = "_" + prefix_;
    }
    std::string s;
    std::vector<std::string> names;
    for (size_t i = 0; i < text.size();) {
      if (text[i] != '"') {
        s += text[i++];
        continue;
      }
      std::string name, err;
      if (!next_field(text, i, &name, &err)) fail("%s", err.c_str());
      s += prefix_ + std::to_string(names.size()) + " ";
      names.push_back(name);
    }
    auto real = [&](const std::string &n) -> std::string {
      if (n.compare(0, prefix_.size(), prefix_) == 0) {
        size_t k = std::strtoul(n.c_str() + prefix_.size(), nullptr, 10);
        if (k < names.size()) return names[k];
      }
      return n;
    };
    std::string unknown;
    auto column = [&](const std::string &n) {
      int j = cols_.find(real(n));
      if (j < 0 && unknown.empty()) unknown = "unknown column '" + real(n) + "'";
      return j;
    };
    auto user = [&](const std::string &n) {
      int k = users_.find(real(n));
      if (k < 0 && unknown.empty()) unknown = "unknown function '" + real(n) + "'";
      return k;
    };
    std::string err;
    if (!parse_formula(s, column, user, &c->types, &c->values, &err))
      fail("%s", io::shown(unknown.empty() ? "the formula: " + err : unknown).c_str());
    Tape t;
    const int nu = static_cast<int>(nl_->userfuncs.size());
    if (!Tape::compile(c->types.data(), c->values.data(), c->types.size(), m_.ncols(),
                       [&](int k) { return k >= 1 && k <= nu; }, &t, &err))
      fail("the formula: %s", err.c_str());
  }

  void row_line() {
    int r = row(need("a row name"));
    int st = integer("a row status (an integer)");
    std::string key;
    double w = 1.0;
    if (field(&key, false)) {
      if (key != "WEIGHT") fail("expected WEIGHT, found '%s'", io::shown(key).c_str());
      w = finite("a number");
      if (!(w > 0)) fail("WEIGHT must be positive");
      end_of_line();
    }
    if (nl_->rowstatus.count(r) || nl_->rowwt.count(r))
      fail("a second line for row '%s'", row_name(m_, r).c_str());
    if (st) nl_->rowstatus[r] = st;
    if (w != 1.0) nl_->rowwt[r] = w;
  }

  void tolset_line() {
    TolSet t;
    t.status = integer("the tested bits (an integer)");
    if (t.status & ~0x1ff) fail("the tested bits go beyond the nine tolerances");
    for (double &x : t.tol) {
      x = finite("a tolerance");
      if (x < 0) fail("a tolerance must not be negative");
    }
    end_of_line();
    nl_->tolsets.push_back(t);
  }

  void df_line() {
    int j = col(need("a column name"));
    int r = row(need("a row name"));
    double f = finite("a number");
    end_of_line();
    if (!nl_->dfs.emplace(std::make_pair(j, r), f).second)
      fail("a second factor for column '%s' in row '%s'", col_name(m_, j).c_str(), row_name(m_, r).c_str());
  }

  void column_line() {
    int j = col(need("a column name"));
    if (nl_->vars.count(j)) fail("a second line for column '%s'", col_name(m_, j).c_str());
    VarInfo v;
    std::string key;
    std::set<std::string> seen;
    while (field(&key, false)) {
      if (!seen.insert(key).second) fail("a second %s", io::shown(key).c_str());
      if (key == "DETROW") {
        v.detrow = row(need("a row name"));
      } else if (key == "INITVALUE") {
        v.initvalue = finite("a number");
      } else if (key == "VALUE") {
        v.value = finite("a number");
      } else if (key == "INITSTEPBOUND" || key == "STEPBOUND" || key == "PENALTY") {
        double x = finite("a number");
        if (x < 0) fail("%s must not be negative", key.c_str());
        (key == "INITSTEPBOUND" ? v.initstepbound : key == "STEPBOUND" ? v.stepbound : v.penalty) = x;
      } else if (key == "DAMP") {
        v.damp = finite("a number");
        if (!(v.damp > 0 && v.damp <= 1)) fail("DAMP must be in (0, 1]");
      } else if (key == "TOLSET") {
        v.tolset = integer("an integer");
        if (v.tolset < 0) fail("TOLSET must not be negative");
      } else if (key == "VARTYPE") {
        v.vartype = integer("an integer");
        if (v.vartype & ~3) fail("VARTYPE has bits other than 1 and 2");
      } else if (key == "SEQNUM" || key == "CASCADELIMIT") {
        int x = integer("an integer");
        if (x < 0) fail("%s must not be negative", key.c_str());
        (key == "SEQNUM" ? v.seqnum : v.cascadelimit) = x;
      } else if (key == "DELTATYPE") {
        v.deltatype = integer("an integer");
        if (v.deltatype < KSLP_DELTA_DEFAULT || v.deltatype > KSLP_DELTA_NONE) fail("DELTATYPE must be 0 to 3");
      } else if (key == "DELTAVALUE") {
        v.deltavalue = finite("a number");
        if (v.deltavalue < 0) fail("DELTAVALUE must not be negative");
      } else {
        fail("expected DETROW, INITVALUE, VALUE, INITSTEPBOUND, STEPBOUND, PENALTY, DAMP, "
             "TOLSET, VARTYPE, SEQNUM, CASCADELIMIT, DELTATYPE or DELTAVALUE, found '%s'",
             io::shown(key).c_str());
      }
    }
    nl_->vars[j] = v;
  }

  void control_line() {
    std::string name = need("a control name");
    int k = param_index_by_name(name.c_str(), kSlp, kControl);
    if (k < 0) k = param_index_by_name(name.c_str(), kIpm, kControl);
    if (k < 0 || !file_control(static_cast<size_t>(k)))
      fail("unknown control '%s' of the nonlinear solver", io::shown(name).c_str());
    const ParamDef &d = param_table()[k];
    Value &v = params_->v[k];
    if (d.type == KRVU_TYPE_STRING) {
      v.s = need("a text");
    } else {
      std::string s = need("a number");
      double x = number(s, "a number");
      if (d.type != KRVU_TYPE_DOUBLE && x != std::trunc(x))
        fail("control %s takes integers, found '%s'", d.name, io::shown(s).c_str());
      if (!(x >= d.lo && x <= d.hi))
        fail("control %s takes values in [%g, %g], found '%s'", d.name, d.lo, d.hi, io::shown(s).c_str());
      if (d.type == KRVU_TYPE_DOUBLE) v.d = x;
      else v.i = static_cast<int64_t>(x);
    }
    end_of_line();
  }

  const ModelData &m_;
  const std::string &path_;
  NlModel *nl_;
  ParamValues *params_;
  io::NameMap rows_, cols_, users_;
  int line_ = 0;
  const std::string *text_ = nullptr;
  size_t pos_ = 0;
  std::string prefix_;
};

}  // namespace

void read_sections(const io::MpsExtension &ext, const ModelData &m, const std::string &path,
                   NlModel *nl, ParamValues *params) {
  SectionReader(m, path, nl, params).run(ext);
}

}  // namespace slp
}  // namespace krvu
