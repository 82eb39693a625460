// Problem files of nonlinear problems: KSLPwriteprob and KSLPreadprob.
//
// The linear part is an ordinary MPS file; the nonlinear model follows in
// sections of its own before ENDATA, so that a reader that does not know
// them refuses the file rather than silently dropping the formulas.  The
// layout is described in io/README.md.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "core/common.h"
#include "io/iobase.h"
#include "model/store.h"
#include "params/table.h"
#include "slp/slpcopy.h"
#include "slp/slpfile.h"

namespace krvu {
namespace slp {

const char *const kFileSections[kNumFileSections] = {"USERFUNCTIONS", "FORMULAS", "NLROWS",
                                                     "NLCOLUMNS", "NLTOLSETS", "NLDFS", "NLCONTROLS"};

bool file_control(size_t k) {
  const ParamDef &d = param_table()[k];
  return d.kind == kControl && (d.source == kSlp || d.source == kIpm) && !(d.flags & kParamHidden);
}

std::string field_text(std::string_view s) {
  bool plain = !s.empty() && s[0] != '"';
  for (char c : s)
    if (c == ' ' || c == '\t' || static_cast<unsigned char>(c) < 32) plain = false;
  return plain ? std::string(s) : quoted(s);
}

std::string quoted(std::string_view s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

bool next_field(const std::string &line, size_t &i, std::string *out, std::string *err) {
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i >= line.size()) return false;
  out->clear();
  if (line[i] != '"') {
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') *out += line[i++];
    return true;
  }
  for (++i;; ++i) {
    if (i >= line.size()) {
      *err = "a quoted name lacks its closing '\"'";
      return false;
    }
    if (line[i] == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        *out += '"';
        ++i;
        continue;
      }
      ++i;
      return true;
    }
    *out += line[i];
  }
}

}  // namespace slp
}  // namespace krvu

namespace {

using namespace krvu;
using namespace krvu::slp;
using sv = std::string_view;

// Names in formula text: what the formula parser takes as an identifier is
// written as it is, anything else in double quotes.
bool formula_identifier(sv s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '[' || c == ']'))
      return false;
  return true;
}

std::string formula_name(sv s) { return formula_identifier(s) ? std::string(s) : quoted(s); }

// A user function named like a built-in one is quoted, so that it is not
// read back as the built-in.
std::string user_formula_name(const std::string &s) {
  std::string lower = s;
  for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return function_by_name(lower) ? quoted(s) : formula_name(s);
}

std::string number_field(double v) {
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char buf[48];
  return std::string(buf, io::format_number(buf, v, false));
}

// The names user functions have in a file: their own when given and
// unique, else user<k> (made unique).
std::vector<std::string> user_file_names(const std::vector<UserFunc> &u) {
  std::vector<std::string> names(u.size());
  std::set<std::string> taken, repeated;
  for (const UserFunc &f : u)
    if (!taken.insert(f.name).second) repeated.insert(f.name);
  for (size_t k = 0; k < u.size(); ++k) {
    if (!u[k].name.empty() && !repeated.count(u[k].name)) {
      names[k] = u[k].name;
      continue;
    }
    std::string n = "user" + std::to_string(k + 1);
    while (taken.count(n)) n += "_";
    taken.insert(n);
    names[k] = n;
  }
  return names;
}

bool default_var(const VarInfo &v) {
  const VarInfo d;
  return v.detrow == d.detrow && v.initstepbound == d.initstepbound && v.stepbound == d.stepbound &&
         v.penalty == d.penalty && v.damp == d.damp && std::isnan(v.initvalue) &&
         std::isnan(v.value) && v.tolset == d.tolset && v.vartype == d.vartype && v.seqnum == d.seqnum &&
         v.cascadelimit == d.cascadelimit && v.deltatype == d.deltatype && v.deltavalue == d.deltavalue;
}

bool has_nonlinear_content(KSLPprob slp) {
  if (!slp->coefs.empty() || !slp->userfuncs.empty() || !slp->rowstatus.empty()) return true;
  if (!slp->tolsets.empty() || !slp->dfs.empty() || !slp->rowwt.empty()) return true;
  for (const auto &[j, v] : slp->vars)
    if (!default_var(v)) return true;
  // Controls alone do not make the file nonlinear: a linear problem is
  // solved without the nonlinear solver.
  return false;
}

void put_line(io::Out &o, const std::string &s) {
  o.put(s);
  o.nl();
}

void write_sections(KSLPprob slp, io::Out &o, const std::vector<std::string> &rn,
                    const std::vector<std::string> &cn) {
  const std::vector<std::string> un = user_file_names(slp->userfuncs);
  auto col = [&](int j) { return j >= 0 && j < static_cast<int>(cn.size()) ? cn[j] : "C" + std::to_string(j + 1); };
  if (!slp->userfuncs.empty()) {
    put_line(o, kFileSections[kSecUserFunctions]);
    for (size_t k = 0; k < un.size(); ++k) {
      const UserFunc &u = slp->userfuncs[k];
      std::string s = " " + field_text(un[k]) + (u.derivatives() ? " DERIVATIVES " : " VALUES ") +
                      std::to_string(u.rettype);
      if (!u.linkage.empty()) s += " " + field_text(u.linkage);
      put_line(o, s);
    }
  }
  if (!slp->coefs.empty()) {
    put_line(o, kFileSections[kSecFormulas]);
    for (const auto &c : slp->coefs) {
      for (size_t k = 0; k < c.types.size(); ++k)
        if (c.types[k] == kTokConst && !std::isfinite(c.values[k]))
          raise(KRVU_ERR_ARGUMENT,
                "the formula of row '%s', column '%s' holds the constant %g, which a file "
                "cannot hold",
                rn[c.row].c_str(), c.col >= 0 ? col(c.col).c_str() : "-", c.values[k]);
      std::string err;
      std::string text = print_formula(
          c.types.data(), c.values.data(), c.types.size(),
          [&](int j) { return formula_name(col(j)); },
          [&](int k) {
            return k >= 1 && k <= static_cast<int>(un.size()) ? user_formula_name(un[k - 1])
                                                              : "user" + std::to_string(k);
          },
          &err);
      if (!err.empty())
        raise(KRVU_ERR_ARGUMENT, "the formula of row '%s': %s", rn[c.row].c_str(), err.c_str());
      std::string s = c.col >= 0 ? " C " + field_text(rn[c.row]) + " " + field_text(col(c.col))
                                 : " F " + field_text(rn[c.row]);
      put_line(o, s + " " + number_field(c.factor) + " " + text);
    }
  }
  if (!slp->rowstatus.empty() || !slp->rowwt.empty()) {
    put_line(o, kFileSections[kSecRows]);
    std::set<int> rows;
    for (const auto &[r, st] : slp->rowstatus) rows.insert(r);
    for (const auto &[r, w] : slp->rowwt) rows.insert(r);
    for (int r : rows) {
      auto st = slp->rowstatus.find(r);
      auto w = slp->rowwt.find(r);
      std::string s = " " + field_text(rn[r]) + " " + std::to_string(st == slp->rowstatus.end() ? 0 : st->second);
      if (w != slp->rowwt.end()) s += " WEIGHT " + number_field(w->second);
      put_line(o, s);
    }
  }
  bool header = false;
  const VarInfo d;
  for (const auto &[j, v] : slp->vars) {
    if (default_var(v)) continue;
    if (!header) put_line(o, kFileSections[kSecColumns]);
    header = true;
    std::string s = " " + field_text(col(j));
    if (v.detrow != d.detrow) s += " DETROW " + field_text(rn[v.detrow]);
    if (!std::isnan(v.initvalue)) s += " INITVALUE " + number_field(v.initvalue);
    if (!std::isnan(v.value)) s += " VALUE " + number_field(v.value);
    if (v.initstepbound != d.initstepbound) s += " INITSTEPBOUND " + number_field(v.initstepbound);
    if (v.stepbound != d.stepbound) s += " STEPBOUND " + number_field(v.stepbound);
    if (v.penalty != d.penalty) s += " PENALTY " + number_field(v.penalty);
    if (v.damp != d.damp) s += " DAMP " + number_field(v.damp);
    if (v.tolset != d.tolset) s += " TOLSET " + std::to_string(v.tolset);
    if (v.vartype != d.vartype) s += " VARTYPE " + std::to_string(v.vartype);
    if (v.seqnum != d.seqnum) s += " SEQNUM " + std::to_string(v.seqnum);
    if (v.cascadelimit != d.cascadelimit) s += " CASCADELIMIT " + std::to_string(v.cascadelimit);
    if (v.deltatype != d.deltatype) s += " DELTATYPE " + std::to_string(v.deltatype);
    if (v.deltavalue != d.deltavalue) s += " DELTAVALUE " + number_field(v.deltavalue);
    put_line(o, s);
  }
  if (!slp->tolsets.empty()) {
    put_line(o, kFileSections[kSecTolsets]);
    for (const auto &t : slp->tolsets) {
      std::string s = " " + std::to_string(t.status);
      for (double x : t.tol) s += " " + number_field(x);
      put_line(o, s);
    }
  }
  if (!slp->dfs.empty()) {
    put_line(o, kFileSections[kSecDfs]);
    for (const auto &[key, f] : slp->dfs)
      put_line(o, " " + field_text(col(key.first)) + " " + field_text(rn[key.second]) + " " + number_field(f));
  }
  put_line(o, kFileSections[kSecControls]);
  const auto &t = param_table();
  for (size_t k = 0; k < t.size(); ++k) {
    if (!file_control(k)) continue;
    const Value &v = slp->params.v[k];
    std::string val = t[k].type == KRVU_TYPE_DOUBLE   ? number_field(v.d)
                      : t[k].type == KRVU_TYPE_STRING ? quoted(v.s)
                                                      : std::to_string(v.i);
    put_line(o, std::string(" ") + t[k].name + " " + val);
  }
}

}  // namespace

extern "C" {

int KSLPwriteprob(KSLPprob slp, const char *filename, const char *flags) {
  const char *F = "KSLPwriteprob";
  return slp_guarded(slp, F, [&] {
    require_ptr(filename, F, "filename");
    const std::string path = filename;
    io::MpsBeforeEnd sections;
    if (has_nonlinear_content(slp)) {
      if (io::writes_lp_format(path, flags))
        raise(KRVU_ERR_ARGUMENT,
              "%s: %s: the LP format cannot hold formulas; "
              "write MPS (flag 'm' or a name ending in .mps)",
              F, path.c_str());
      sections = [&](io::Out &o, const std::vector<std::string> &rn,
                     const std::vector<std::string> &cn) { write_sections(slp, o, rn, cn); };
    }
    io::write_problem_file(slp->prob, path, flags, "lmxpng", sections, F);
    slp_log(slp, KRVU_MSG_LOG, "wrote %s", path.c_str());
    return 0;
  });
}

int KSLPreadprob(KSLPprob slp, const char *filename, const char *flags) {
  const char *F = "KSLPreadprob";
  return slp_guarded(slp, F, [&] {
    require_ptr(filename, F, "filename");
    const std::string path = filename;
    io::MpsExtension ext;
    ext.sections.assign(kFileSections, kFileSections + kNumFileSections);
    ModelData m = io::read_problem_file(path, flags, "lm", slp->prob, &ext, F);
    NlModel nl;
    ParamValues params = slp->params;
    try {
      read_sections(ext, m, path, &nl, &params);
    } catch (const Error &e) {
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    const int nr = m.nrows(), nc = m.ncols();
    const size_t ncoefs = nl.coefs.size();
    // Everything is read: the problem takes it.
    replace_model(slp->prob, std::move(m), F);
    keep_user_addresses(nl, *slp);
    install_model(slp, std::move(nl));
    for (size_t k = 0; k < params.v.size(); ++k)
      if (file_control(k)) slp->params.v[k] = params.v[k];
    slp_log(slp, KRVU_MSG_LOG, "read %s: %d rows, %d columns, %zu formula coefficients", path.c_str(), nr, nc,
            ncoefs);
    return 0;
  });
}

}  // extern "C"
