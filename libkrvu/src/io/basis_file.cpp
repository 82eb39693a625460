// Basis files in the MPS basis format: XU/XL pair a basic column with a row
// nonbasic at its upper/lower limit, UL/LL give a nonbasic column at its
// upper/lower bound.
#include <cmath>
#include <cstring>

#include "core/common.h"
#include "core/prob.h"
#include "io/atomic_write.h"
#include "io/iobase.h"
#include "lp/solver_state.h"
#include "model/store.h"

using namespace krvu;
using namespace krvu::io;

namespace {

struct Names {
  std::vector<std::string> rows, cols;
};

Names basis_names(const ModelData &m, KRVUprob prob) {
  return {file_names(m.rownames, 'R', text_name_ok, "row", "a basis file", true, prob),
          file_names(m.colnames, 'C', text_name_ok, "column", "a basis file", true, prob)};
}

// Where a nonbasic column sits when the file does not say: at a finite bound.
int default_status(const ModelData &m, int j) {
  if (m.lb[j] > -KRVU_INFINITY) return 0;
  return m.ub[j] < KRVU_INFINITY ? 2 : 3;
}

}  // namespace

extern "C" {

int KRVUwritebasis(KRVUprob prob, const char *filename, const char *flags) {
  const char *F = "KRVUwritebasis";
  return guarded(prob, F, [&] {
    check_file_flags(flags, "", F);
    SolverState &s = *prob->data->solver;
    const ModelData &m = read_model(prob);
    if (!s.has_basis || static_cast<int>(s.rstat.size()) != m.nrows() ||
        static_cast<int>(s.cstat.size()) != m.ncols())
      raise(KRVU_ERR_STATE, "%s: no basis is available (solve the problem first)", F);
    const std::string path = file_or_default(prob, filename, ".bss");
    Names nm = basis_names(m, prob);
    std::vector<int> basic_cols, nonbasic_rows;
    for (int j = 0; j < m.ncols(); ++j)
      if (s.cstat[j] == 1) basic_cols.push_back(j);
    for (int i = 0; i < m.nrows(); ++i)
      if (s.rstat[i] != 1) nonbasic_rows.push_back(i);
    if (basic_cols.size() != nonbasic_rows.size())
      raise(KRVU_ERR_STATE, "%s: the basis has %zu basic columns but %zu nonbasic rows", F,
            basic_cols.size(), nonbasic_rows.size());
    try {
      write_atomically(path, ends_with(path, ".gz"), [&](Out &out) {
        out.put("NAME          ");
        out.put(prob->name.empty() ? std::string("problem") : prob->name);
        out.nl();
        for (size_t k = 0; k < basic_cols.size(); ++k) {
          const int i = nonbasic_rows[k];
          out.put(s.rstat[i] == 2 ? " XU " : " XL ");
          out.put(nm.cols[basic_cols[k]]);
          out.put(' ');
          out.put(nm.rows[i]);
          out.nl();
        }
        for (int j = 0; j < m.ncols(); ++j) {
          if (s.cstat[j] == 1) continue;
          // Unlisted columns sit at their default bound; others are written.
          if (s.cstat[j] == default_status(m, j)) continue;
          out.put(s.cstat[j] == 2 ? " UL " : " LL ");
          out.put(nm.cols[j]);
          out.nl();
        }
        out.put("ENDATA");
        out.nl();
      });
    } catch (const Error &e) {
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_FILE, "wrote %s", path.c_str());
    return 0;
  });
}

int KRVUreadbasis(KRVUprob prob, const char *filename, const char *flags) {
  const char *F = "KRVUreadbasis";
  return guarded(prob, F, [&] {
    check_file_flags(flags, "", F);
    const std::string path = file_or_default(prob, filename, ".bss");
    const ModelData &m = read_model(prob);
    io::Source src;
    std::vector<int> rstat(m.nrows(), 1), cstat(m.ncols());
    try {
      load_source(path, src);
      Names nm = basis_names(m, prob);
      NameMap rows(nm.rows.size()), cols(nm.cols.size());
      for (size_t i = 0; i < nm.rows.size(); ++i) rows.insert(nm.rows[i], static_cast<int>(i));
      for (size_t j = 0; j < nm.cols.size(); ++j) cols.insert(nm.cols[j], static_cast<int>(j));
      for (int j = 0; j < m.ncols(); ++j) cstat[j] = default_status(m, j);
      TokenLines lines(src.data);
      std::string_view ln;
      std::vector<std::string_view> tok;
      int line = 0;
      bool ended = false;
      while (!ended && lines.next(ln, tok)) {
        line = lines.line();
        if (tok.empty() || ln[0] == '*') continue;
        if (ln[0] != ' ' && ln[0] != '\t') {
          if (tok[0] == "NAME") continue;
          if (tok[0] == "ENDATA") {
            ended = true;
            continue;
          }
          parse_error(src.path, line, "expected NAME, a basis record or ENDATA, found '%s'",
                      shown(tok[0]).c_str());
        }
        const std::string_view code = tok[0];
        const bool pair = code == "XU" || code == "XL";
        if (!pair && code != "UL" && code != "LL")
          parse_error(src.path, line, "unknown basis record '%s' (XU, XL, UL or LL)",
                      shown(code).c_str());
        if (tok.size() != (pair ? 3u : 2u))
          parse_error(src.path, line, "record %s takes %s", std::string(code).c_str(),
                      pair ? "a column and a row" : "one column");
        const int j = cols.find(tok[1]);
        if (j < 0) parse_error(src.path, line, "unknown column '%s'", shown(tok[1]).c_str());
        if (pair) {
          const int i = rows.find(tok[2]);
          if (i < 0) parse_error(src.path, line, "unknown row '%s'", shown(tok[2]).c_str());
          if (cstat[j] == 1 || rstat[i] != 1)
            parse_error(src.path, line, "column '%s' or row '%s' is named twice",
                        shown(tok[1]).c_str(), shown(tok[2]).c_str());
          cstat[j] = 1;
          rstat[i] = code == "XU" ? 2 : 0;
        } else {
          if (cstat[j] == 1)
            parse_error(src.path, line, "column '%s' is basic already", shown(tok[1]).c_str());
          cstat[j] = code == "UL" ? 2 : 0;
        }
      }
      if (!ended) parse_error(src.path, line, "the file ends without ENDATA");
    } catch (const Error &e) {
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    // A row "at its lower limit" that has none sits at the other one.
    for (int i = 0; i < m.nrows(); ++i) {
      if (rstat[i] == 0 && m.rowtype[i] == 'L') rstat[i] = 2;
      if (rstat[i] == 2 && m.rowtype[i] == 'G') rstat[i] = 0;
    }
    if (KRVUloadbasis(prob, rstat.data(), cstat.data()))
      raise(prob->lasterr_code, "%s: %s: %s", F, path.c_str(), prob->lasterr.c_str());
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_FILE, "read %s", path.c_str());
    return 0;
  });
}

}  // extern "C"
