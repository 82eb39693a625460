// Directives files: one record per line, a keyword and a column (or a
// pattern with * and ?), then a priority or a pseudo-cost.  An optional
// bound-set name before the column is read and ignored, as is a NAME line
// at the start and ENDATA at the end.
#include <cmath>
#include <map>

#include "core/callbacks.h"
#include "core/common.h"
#include "core/prob.h"
#include "io/atomic_write.h"
#include "io/iobase.h"
#include "model/store.h"

using namespace krvu;
using namespace krvu::io;

namespace {

// Names in a directives file: what the other text files take, without the
// pattern characters.
bool dir_name_ok(std::string_view s) {
  return text_name_ok(s) && s.find('*') == std::string_view::npos && s.find('?') == std::string_view::npos;
}

std::vector<std::string> dir_names(const ModelData &m, KRVUprob prob) {
  return file_names(m.colnames, 'C', dir_name_ok, "column", "a directives file", true, prob);
}

bool has_pattern(std::string_view s) {
  return s.find('*') != std::string_view::npos || s.find('?') != std::string_view::npos;
}

// Glob match: * any run of characters, ? any one character.
bool matches(std::string_view pat, std::string_view s) {
  size_t p = 0, i = 0, star = std::string_view::npos, mark = 0;
  while (i < s.size()) {
    if (p < pat.size() && (pat[p] == '?' || pat[p] == s[i])) {
      ++p;
      ++i;
    } else if (p < pat.size() && pat[p] == '*') {
      star = p++;
      mark = i;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

enum Rec { kUp, kDown, kPri, kUpCost, kDownCost };

bool record_of(std::string_view t, Rec &r) {
  static const struct {
    const char *word;
    Rec rec;
  } kWords[] = {{"UP", kUp}, {"DN", kDown}, {"PR", kPri}, {"UC", kUpCost}, {"DC", kDownCost}};
  for (const auto &w : kWords)
    if (iequals(t, w.word)) {
      r = w.rec;
      return true;
    }
  return false;
}

}  // namespace

extern "C" {

int KRVUwritedirs(KRVUprob prob, const char *filename) {
  const char *F = "KRVUwritedirs";
  return guarded(prob, F, [&] {
    const std::string path = file_or_default(prob, filename, ".dir");
    const ModelData &m = read_model(prob);
    const std::vector<std::string> names = dir_names(m, prob);
    try {
      write_atomically(path, ends_with(path, ".gz"), [&](Out &out) {
        auto record = [&](const char *word, int col, double v) {
          out.put(word);
          out.put(names[col]);
          out.put(' ');
          out.num(v);
          out.nl();
        };
        for (const Directive &d : m.dirs.dirs) {
          record(d.dir == 'U' ? " UP " : d.dir == 'D' ? " DN " : " PR ", d.col, d.priority);
          if (d.upcost >= 0) record(" UC ", d.col, d.upcost);
          if (d.downcost >= 0) record(" DC ", d.col, d.downcost);
        }
      });
    } catch (const Error &e) {
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_FILE, "wrote %s (%zu directives)", path.c_str(), m.dirs.dirs.size());
    return 0;
  });
}

int KRVUreaddirs(KRVUprob prob, const char *filename) {
  const char *F = "KRVUreaddirs";
  return guarded(prob, F, [&] {
    require_idle(prob);
    const std::string path = file_or_default(prob, filename, ".dir");
    const ModelData &m = read_model(prob);
    std::map<int, Directive> got;
    try {
      io::Source src;
      load_source(path, src);
      const std::vector<std::string> names = dir_names(m, prob);
      NameMap cols(names.size());
      for (size_t j = 0; j < names.size(); ++j) cols.insert(names[j], static_cast<int>(j));
      TokenLines lines(src.data);
      std::string_view ln;
      std::vector<std::string_view> tok;
      bool started = false, ended = false;
      std::vector<int> targets;
      while (lines.next(ln, tok)) {
        const int line = lines.line();
        if (tok.empty() || ln[0] == '*') continue;
        if (ended) parse_error(src.path, line, "a record after ENDATA");
        if (iequals(tok[0], "ENDATA") && tok.size() == 1) {
          ended = true;
          continue;
        }
        if (iequals(tok[0], "NAME") && ln[0] != ' ' && ln[0] != '\t') {
          if (started) parse_error(src.path, line, "NAME must come before the first record");
          started = true;
          continue;
        }
        started = true;
        Rec rec;
        if (!record_of(tok[0], rec))
          parse_error(src.path, line, "unknown directive '%s' (UP, DN, PR, UC or DC)", shown(tok[0]).c_str());
        // Fields after the keyword: [bound set] column [value].
        const bool cost = rec == kUpCost || rec == kDownCost;
        double v = 0;
        std::string_view col, num;
        const size_t nf = tok.size() - 1;
        if (nf == 3) {
          col = tok[2];
          num = tok[3];
        } else if (nf == 2) {
          if (cost || parse_number(tok[2], v)) {
            col = tok[1];
            num = tok[2];
          } else {
            col = tok[2];
          }
        } else if (nf == 1 && !cost) {
          col = tok[1];
        } else {
          parse_error(src.path, line, cost ? "%s takes a column and a pseudo-cost"
                                           : "%s takes a column and an optional priority",
                      std::string(tok[0]).c_str());
        }
        const bool has_num = !num.empty();
        if (has_num) {
          if (!parse_number(num, v) || !std::isfinite(v))
            parse_error(src.path, line, "'%s' is not a number", shown(num).c_str());
          if (cost && v < 0)
            parse_error(src.path, line, "pseudo-cost %s is negative", shown(num).c_str());
          if (!cost && (v < 0 || v > 2147483647.0 || v != std::floor(v)))
            parse_error(src.path, line, "priority %s is not a whole number of 0 or more", shown(num).c_str());
        }
        targets.clear();
        if (has_pattern(col)) {
          for (size_t j = 0; j < names.size(); ++j)
            if (matches(col, names[j])) targets.push_back(static_cast<int>(j));
          if (targets.empty())
            log(prob, KRVU_MSG_WARNING, "%s: %s:%d: no column matches '%s'", F, src.path.c_str(), line,
                shown(col).c_str());
        } else {
          const int j = cols.find(col);
          if (j < 0) parse_error(src.path, line, "unknown column '%s'", shown(col).c_str());
          targets.push_back(j);
        }
        for (int j : targets) {
          Directive &d = got[j];
          d.col = j;
          switch (rec) {
            case kUp: d.dir = 'U'; break;
            case kDown: d.dir = 'D'; break;
            case kUpCost: d.upcost = v; break;
            case kDownCost: d.downcost = v; break;
            default: break;
          }
          if (has_num && !cost) d.priority = static_cast<int>(v);
        }
      }
    } catch (const Error &e) {
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    std::vector<Directive> all;
    for (const auto &e : got) all.push_back(e.second);
    prob->data->m.dirs.set_directives(std::move(all), true);
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_FILE, "read %s (%zu directives)", path.c_str(), got.size());
    return 0;
  });
}

}  // extern "C"
