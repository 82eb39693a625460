// Tuner method files: sections [lp] and [mip], each a list of lines
// "control = value, value, ...".
#include <cmath>
#include <cstring>

#include "analysis/tuner.h"
#include "core/common.h"
#include "core/prob.h"
#include "io/atomic_write.h"
#include "io/iobase.h"
#include "params/table.h"

namespace krvu {
namespace io {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

TunerMethod parse_method(const Source &src) {
  TunerMethod tm;
  tm.set = true;
  std::vector<TunerDimension> *section = nullptr;
  const std::string &d = src.data;
  size_t pos = 0;
  int line = 0;
  while (pos < d.size()) {
    size_t e = d.find('\n', pos);
    if (e == std::string::npos) e = d.size();
    std::string_view ln(d.data() + pos, e - pos);
    pos = e + 1;
    ++line;
    const size_t hash = ln.find('#');
    if (hash != std::string_view::npos) ln = ln.substr(0, hash);
    ln = trim(ln);
    if (ln.empty()) continue;
    if (ln.front() == '[') {
      if (iequals(ln, "[lp]")) section = &tm.lp;
      else if (iequals(ln, "[mip]")) section = &tm.mip;
      else parse_error(src.path, line, "unknown section '%s' (expected [lp] or [mip])", shown(ln).c_str());
      continue;
    }
    if (!section) parse_error(src.path, line, "expected a section [lp] or [mip] first");
    const size_t eq = ln.find('=');
    if (eq == std::string_view::npos)
      parse_error(src.path, line, "expected 'control = value, value, ...'");
    const std::string name(trim(ln.substr(0, eq)));
    const int k = param_index_by_name(name.c_str(), kLib, kControl);
    if (k < 0) parse_error(src.path, line, "unknown control '%s'", shown(name).c_str());
    const ParamDef &def = param_table()[k];
    if (def.type != KRVU_TYPE_INT && def.type != KRVU_TYPE_INT64 && def.type != KRVU_TYPE_DOUBLE)
      parse_error(src.path, line, "control '%s' is not numeric", def.name);
    for (const TunerDimension &dim : *section)
      if (dim.id == def.id) parse_error(src.path, line, "control '%s' is listed twice", def.name);
    TunerDimension dim;
    dim.id = def.id;
    dim.name = def.name;
    dim.type = def.type;
    std::string_view rest = ln.substr(eq + 1);
    while (!rest.empty()) {
      const size_t comma = rest.find(',');
      std::string_view item = trim(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
      double v;
      if (!parse_number(item, v) || std::isinf(v))
        parse_error(src.path, line, "'%s' is not a number", shown(item).c_str());
      if (def.type != KRVU_TYPE_DOUBLE && v != std::floor(v))
        parse_error(src.path, line, "control '%s' takes integers, not '%s'", def.name,
                    shown(item).c_str());
      if (v < def.lo || v > def.hi)
        parse_error(src.path, line, "%g is out of the range [%g, %g] of '%s'", v, def.lo, def.hi,
                    def.name);
      dim.values.push_back(v);
    }
    if (dim.values.empty()) parse_error(src.path, line, "control '%s' has no values", def.name);
    section->push_back(std::move(dim));
  }
  return tm;
}

void write_section(Out &out, const char *title, const std::vector<TunerDimension> &dims) {
  out.put(title);
  out.nl();
  for (const TunerDimension &d : dims) {
    out.put(d.name);
    out.put(" = ");
    for (size_t k = 0; k < d.values.size(); ++k) {
      if (k) out.put(", ");
      out.num(d.values[k]);
    }
    out.nl();
  }
}

}  // namespace
}  // namespace io
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUtunerreadmethod(KRVUprob prob, const char *methodfile) {
  const char *F = "KRVUtunerreadmethod";
  return guarded(prob, F, [&] {
    require_ptr(methodfile, F, "methodfile");
    if (!*methodfile) raise(KRVU_ERR_ARGUMENT, "%s: 'methodfile' is empty", F);
    io::Source src;
    try {
      io::load_source(methodfile, src);
      analysis_state(prob).method = io::parse_method(src);
    } catch (const Error &e) {
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    return 0;
  });
}

int KRVUtunerwritemethod(KRVUprob prob, const char *methodfile) {
  const char *F = "KRVUtunerwritemethod";
  return guarded(prob, F, [&] {
    require_ptr(methodfile, F, "methodfile");
    if (!*methodfile) raise(KRVU_ERR_ARGUMENT, "%s: 'methodfile' is empty", F);
    const TunerMethod &tm = tuner_method(prob);
    try {
      io::write_atomically(methodfile, false, [&](io::Out &out) {
        out.put("# tuner method: the controls the tuner varies and the values it tries");
        out.nl();
        io::write_section(out, "[lp]", tm.lp);
        io::write_section(out, "[mip]", tm.mip);
      });
    } catch (const Error &e) {
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    return 0;
  });
}

}  // extern "C"
