// Solution files: the printed report, the CSV table, the binary file and the
// text format of names and values.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/common.h"
#include "core/prob.h"
#include "io/atomic_write.h"
#include "io/binary_io.h"
#include "io/iobase.h"
#include "io/solution_state.h"
#include "lp/solver_state.h"
#include "model/store.h"

namespace krvu {
namespace io {
namespace {

constexpr char kBinMagic[8] = {'K', 'R', 'V', 'U', 'B', 'S', 'O', 'L'};
constexpr uint32_t kBinVersion = 1;

// The solution a writer reports.
struct Chosen {
  bool mip = false;
  const std::vector<double> *x = nullptr, *dual = nullptr, *dj = nullptr;
  std::vector<double> slack;
  bool basis = false;
  int status = 0;
  double obj = 0;
};

Chosen choose(krvu_prob_s *prob, const std::string &flags, const char *func) {
  SolverState &s = *prob->data->solver;
  const ModelData &m = read_model(prob);
  const bool want_lp = flags.find('l') != std::string::npos;
  const bool want_mip = flags.find('m') != std::string::npos;
  if (want_lp && want_mip)
    raise(KRVU_ERR_ARGUMENT, "%s: flags 'l' (LP solution) and 'm' (integer solution) exclude each other",
          func);
  Chosen c;
  c.mip = want_mip || (!want_lp && s.has_mipsol);
  if (c.mip && !s.has_mipsol)
    raise(KRVU_ERR_STATE, "%s: no integer solution is available", func);
  if (!c.mip && !s.has_lpsol)
    raise(KRVU_ERR_STATE, "%s: no solution is available (solve the problem first)", func);
  if (c.mip) {
    c.x = &s.mipx;
    c.slack = m.rhs;
    for (int j = 0; j < m.ncols(); ++j)
      for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k)
        c.slack[m.mrwind[k]] -= m.dmatval[k] * s.mipx[j];
    c.status = static_cast<int>(attr_int(prob, KRVU_ATTR_MIPSTATUS));
    c.obj = attr_dbl(prob, KRVU_ATTR_MIPBESTOBJVAL);
  } else {
    c.x = &s.x;
    c.slack = s.slack;
    c.dual = &s.dual;
    c.dj = &s.dj;
    c.basis = s.has_basis && static_cast<int>(s.cstat.size()) == m.ncols() &&
              static_cast<int>(s.rstat.size()) == m.nrows();
    c.status = static_cast<int>(attr_int(prob, KRVU_ATTR_LPSTATUS));
    c.obj = attr_dbl(prob, KRVU_ATTR_LPOBJVAL);
  }
  return c;
}

const char *status_text(bool mip, int st) {
  static const char *lp[] = {"unstarted", "optimal", "infeasible", "cut off", "unfinished",
                             "unbounded", "cut off in dual", "unsolved", "nonconvex"};
  static const char *ip[] = {"not loaded", "LP not optimal", "LP optimal", "no solution found",
                             "solution found", "infeasible", "optimal", "unbounded"};
  if (mip) return st >= 0 && st <= 7 ? ip[st] : "?";
  return st >= 0 && st <= 8 ? lp[st] : "?";
}

const char *basis_code(int st) {
  switch (st) {
    case 0: return "LL";
    case 1: return "BS";
    case 2: return "UL";
    case 3: return "SB";
    default: return "";
  }
}

void put_number(Out &out, double v) {
  if (v >= KRVU_INFINITY) return out.put("inf");
  if (v <= -KRVU_INFINITY) return out.put("-inf");
  out.num(v);
}

// A number in a column of the given width, right-aligned.
void put_cell(Out &out, double v, int width, bool blank = false) {
  char buf[64];
  if (blank) buf[0] = '\0';
  else if (v >= KRVU_INFINITY) std::snprintf(buf, sizeof buf, "inf");
  else if (v <= -KRVU_INFINITY) std::snprintf(buf, sizeof buf, "-inf");
  else std::snprintf(buf, sizeof buf, "%.10g", v);
  const int len = static_cast<int>(std::strlen(buf));
  for (int k = len; k < width; ++k) out.put(' ');
  out.put(std::string_view(buf, len));
}

void put_text(Out &out, const std::string &s, int width) {
  out.put(s);
  for (int k = static_cast<int>(s.size()); k < width; ++k) out.put(' ');
}

void row_limits(const ModelData &m, int i, double &lo, double &up) {
  lo = -KRVU_INFINITY;
  up = KRVU_INFINITY;
  const double r = m.rhs[i];
  switch (m.rowtype[i]) {
    case 'L': up = r; break;
    case 'G': lo = r; break;
    case 'E': lo = up = r; break;
    case 'R': up = r; lo = r - m.range[i]; break;
    default: break;
  }
}

void write_prt(Out &out, krvu_prob_s *prob, const ModelData &m, const Chosen &c) {
  SolverState &s = *prob->data->solver;
  out.put("Problem:   ");
  out.put(prob->name);
  out.nl();
  out.put(c.mip ? "Solution:  integer" : "Solution:  LP");
  out.nl();
  out.put("Status:    ");
  out.put(status_text(c.mip, c.status));
  out.nl();
  out.put("Objective: ");
  put_number(out, c.obj);
  out.nl();
  out.put(m.objsense < 0 ? "Sense:     maximize" : "Sense:     minimize");
  out.nl();
  out.nl();
  size_t w = 8;
  for (int i = 0; i < m.nrows(); ++i) w = std::max(w, row_name(m, i).size());
  for (int j = 0; j < m.ncols(); ++j) w = std::max(w, col_name(m, j).size());
  const int nw = static_cast<int>(w) + 2;
  out.put("Rows");
  out.nl();
  put_text(out, "  Number  ", 0);
  put_text(out, "Name", nw);
  out.put("Type      Activity         Slack         Lower         Upper          Dual  Basis");
  out.nl();
  for (int i = 0; i < m.nrows(); ++i) {
    char num[32];
    std::snprintf(num, sizeof num, "%8d  ", i);
    out.put(num);
    put_text(out, row_name(m, i), nw);
    out.put("   ");
    out.put(m.rowtype[i]);
    double lo, up;
    row_limits(m, i, lo, up);
    put_cell(out, m.rhs[i] - c.slack[i], 14);
    put_cell(out, c.slack[i], 14);
    put_cell(out, lo, 14);
    put_cell(out, up, 14);
    put_cell(out, c.dual ? (*c.dual)[i] : 0, 14, !c.dual);
    out.put("  ");
    out.put(c.basis ? basis_code(s.rstat[i]) : "");
    out.nl();
  }
  out.nl();
  out.put("Columns");
  out.nl();
  put_text(out, "  Number  ", 0);
  put_text(out, "Name", nw);
  out.put("Type         Value          Cost         Lower         Upper  Reduced cost  Basis");
  out.nl();
  for (int j = 0; j < m.ncols(); ++j) {
    char num[32];
    std::snprintf(num, sizeof num, "%8d  ", j);
    out.put(num);
    put_text(out, col_name(m, j), nw);
    out.put("   ");
    out.put(m.coltype[j]);
    put_cell(out, (*c.x)[j], 14);
    put_cell(out, m.obj[j], 14);
    put_cell(out, m.lb[j], 14);
    put_cell(out, m.ub[j], 14);
    put_cell(out, c.dj ? (*c.dj)[j] : 0, 14, !c.dj);
    out.put("  ");
    out.put(c.basis ? basis_code(s.cstat[j]) : "");
    out.nl();
  }
}

void put_csv_name(Out &out, const std::string &s) {
  out.put('"');
  for (char ch : s) {
    if (ch == '"') out.put('"');
    out.put(ch);
  }
  out.put('"');
}

void write_csv(Out &out, krvu_prob_s *prob, const ModelData &m, const Chosen &c) {
  SolverState &s = *prob->data->solver;
  out.put("kind,index,name,value,slack,dual,reduced_cost,basis");
  out.nl();
  char buf[32];
  for (int i = 0; i < m.nrows(); ++i) {
    out.put("row,");
    std::snprintf(buf, sizeof buf, "%d,", i);
    out.put(buf);
    put_csv_name(out, row_name(m, i));
    out.put(',');
    put_number(out, m.rhs[i] - c.slack[i]);
    out.put(',');
    put_number(out, c.slack[i]);
    out.put(',');
    if (c.dual) put_number(out, (*c.dual)[i]);
    out.put(",,");
    if (c.basis) out.put(basis_code(s.rstat[i]));
    out.nl();
  }
  for (int j = 0; j < m.ncols(); ++j) {
    out.put("column,");
    std::snprintf(buf, sizeof buf, "%d,", j);
    out.put(buf);
    put_csv_name(out, col_name(m, j));
    out.put(',');
    put_number(out, (*c.x)[j]);
    out.put(",,,");
    if (c.dj) put_number(out, (*c.dj)[j]);
    out.put(',');
    if (c.basis) out.put(basis_code(s.cstat[j]));
    out.nl();
  }
}

template <class F>
int writer(krvu_prob_s *prob, const char *filename, const char *flags, const char *allowed,
           const char *ext, const char *func, F &&body) {
  std::string f = check_file_flags(flags, allowed, func);
  const std::string path = file_or_default(prob, filename, ext);
  try {
    write_atomically(path, ends_with(path, ".gz"), [&](Out &out) { body(out, f); });
  } catch (const Error &e) {
    if (std::strncmp(e.what(), func, std::strlen(func)) == 0) throw;
    throw Error(e.code, std::string(func) + ": " + e.what());
  }
  log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_FILE, "wrote %s", path.c_str());
  return 0;
}

template <class F>
int reader(krvu_prob_s *prob, const char *filename, const char *ext, const char *func, F &&body) {
  const std::string path = file_or_default(prob, filename, ext);
  Source src;
  try {
    load_source(path, src);
    body(src);
  } catch (const Error &e) {
    if (std::strncmp(e.what(), func, std::strlen(func)) == 0) throw;
    throw Error(e.code, std::string(func) + ": " + e.what());
  }
  log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_FILE, "read %s", path.c_str());
  return 0;
}

// The names a text file uses for the columns (as the model writers do).
std::vector<std::string> text_col_names(const ModelData &m, KRVUprob prob) {
  return file_names(m.colnames, 'C', text_name_ok, "column", "a solution file", true, prob);
}

}  // namespace
}  // namespace io
}  // namespace krvu

using namespace krvu;
using namespace krvu::io;

extern "C" {

int KRVUwriteprtsol(KRVUprob prob, const char *filename, const char *flags) {
  const char *F = "KRVUwriteprtsol";
  return guarded(prob, F, [&] {
    return writer(prob, filename, flags, "lm", ".prt", F, [&](Out &out, const std::string &f) {
      const ModelData &m = read_model(prob);
      write_prt(out, prob, m, choose(prob, f, F));
    });
  });
}

int KRVUwritesol(KRVUprob prob, const char *filename, const char *flags) {
  const char *F = "KRVUwritesol";
  return guarded(prob, F, [&] {
    return writer(prob, filename, flags, "lm", ".csv", F, [&](Out &out, const std::string &f) {
      const ModelData &m = read_model(prob);
      write_csv(out, prob, m, choose(prob, f, F));
    });
  });
}

int KRVUwritebinsol(KRVUprob prob, const char *filename, const char *flags) {
  const char *F = "KRVUwritebinsol";
  return guarded(prob, F, [&] {
    SolverState &s = *prob->data->solver;
    if (!s.has_lpsol && !s.has_mipsol && !s.has_basis)
      raise(KRVU_ERR_STATE, "%s: no solution is available (solve the problem first)", F);
    return writer(prob, filename, flags, "", ".sol", F, [&](Out &out, const std::string &) {
      const ModelData &m = read_model(prob);
      BinWriter w(out);
      w.bytes(kBinMagic, 8);
      w.u32(kBinVersion);
      w.u32(static_cast<uint32_t>(m.nrows()));
      w.u32(static_cast<uint32_t>(m.ncols()));
      write_solution_state(w, prob);
      w.finish();
    });
  });
}

int KRVUreadbinsol(KRVUprob prob, const char *filename, const char *flags) {
  const char *F = "KRVUreadbinsol";
  return guarded(prob, F, [&] {
    check_file_flags(flags, "", F);
    return reader(prob, filename, ".sol", F, [&](const io::Source &src) {
      BinReader r(src.data, src.path);
      char magic[8] = {0};
      if (src.data.size() < 8 || std::memcmp(src.data.data(), kBinMagic, 8) != 0)
        r.fail("not a binary solution file");
      r.verify("binary solution file");
      r.bytes(magic, 8);
      const uint32_t version = r.u32();
      if (version != kBinVersion)
        r.fail("written in binary solution format %u; this library reads format %u", version,
               kBinVersion);
      const ModelData &m = read_model(prob);
      const uint32_t rows = r.u32(), cols = r.u32();
      if (static_cast<int>(rows) != m.nrows() || static_cast<int>(cols) != m.ncols())
        r.fail("the solution is for %u rows and %u columns; the problem has %d and %d", rows,
               cols, m.nrows(), m.ncols());
      read_solution_state(r, prob, m.nrows(), m.ncols());
    });
  });
}

int KRVUwriteslxsol(KRVUprob prob, const char *filename, const char *flags) {
  const char *F = "KRVUwriteslxsol";
  return guarded(prob, F, [&] {
    return writer(prob, filename, flags, "lm", ".slx", F, [&](Out &out, const std::string &f) {
      const ModelData &m = read_model(prob);
      Chosen c = choose(prob, f, F);
      std::vector<std::string> names = text_col_names(m, prob);
      out.put("NAME ");
      out.put(prob->name.empty() ? std::string("problem") : prob->name);
      out.nl();
      for (int j = 0; j < m.ncols(); ++j) {
        const double v = (*c.x)[j];
        if (v == 0) continue;
        out.put(" C ");
        out.put(names[j]);
        out.put(' ');
        out.num(v);
        out.nl();
      }
      out.put("ENDATA");
      out.nl();
    });
  });
}

int KRVUreadslxsol(KRVUprob prob, const char *filename, const char *flags) {
  const char *F = "KRVUreadslxsol";
  return guarded(prob, F, [&] {
    std::string f = check_file_flags(flags, "lm", F);
    if (f.find('l') != std::string::npos && f.find('m') != std::string::npos)
      raise(KRVU_ERR_ARGUMENT, "%s: flags 'l' (LP start) and 'm' (MIP start) exclude each other", F);
    return reader(prob, filename, ".slx", F, [&](const io::Source &src) {
      const ModelData &m = read_model(prob);
      std::vector<std::string> names = text_col_names(m, prob);
      NameMap map(names.size());
      for (size_t j = 0; j < names.size(); ++j) map.insert(names[j], static_cast<int>(j));
      std::vector<int> cols;
      std::vector<double> vals;
      std::vector<char> seen(m.ncols(), 0);
      TokenLines lines(src.data);
      std::string_view ln;
      std::vector<std::string_view> tok;
      int line = 0;
      bool ended = false;
      while (!ended && lines.next(ln, tok)) {
        line = lines.line();
        if (tok.empty() || tok[0][0] == '*') continue;
        if (tok[0] == "NAME") continue;
        if (tok[0] == "ENDATA") {
          ended = true;
          continue;
        }
        if (tok[0] != "C")
          parse_error(src.path, line, "expected a record ' C column value', NAME or ENDATA, found '%s'",
                      shown(tok[0]).c_str());
        if (tok.size() != 3)
          parse_error(src.path, line, "expected ' C column value'");
        const int j = map.find(tok[1]);
        if (j < 0) parse_error(src.path, line, "unknown column '%s'", shown(tok[1]).c_str());
        double v;
        if (!parse_number(tok[2], v) || std::isinf(v))
          parse_error(src.path, line, "'%s' is not a finite number", shown(tok[2]).c_str());
        if (seen[j]) parse_error(src.path, line, "column '%s' is given twice", shown(tok[1]).c_str());
        seen[j] = 1;
        cols.push_back(j);
        vals.push_back(v);
      }
      if (!ended) parse_error(src.path, line, "the file ends without ENDATA");
      const bool integer =
          std::any_of(m.coltype.begin(), m.coltype.end(), [](char c) { return c != 'C'; });
      const bool as_mip = f.find('m') != std::string::npos ||
                          (f.find('l') == std::string::npos && integer);
      SolverState &s = *prob->data->solver;
      if (as_mip) {
        // A MIP start: all columns when the file lists all, else partial.
        if (static_cast<int>(cols.size()) == m.ncols()) {
          s.start_x.assign(m.ncols(), 0.0);
          for (size_t k = 0; k < cols.size(); ++k) s.start_x[cols[k]] = vals[k];
          s.start_cols.clear();
        } else {
          s.start_x = vals;
          s.start_cols = cols;
        }
      } else {
        // The LP solution, which also starts the next LP solve.
        std::vector<double> x(m.ncols(), 0.0);
        for (size_t k = 0; k < cols.size(); ++k) x[cols[k]] = vals[k];
        touch(prob, 0);
        s.x = x;
        s.slack = m.rhs;
        for (int j = 0; j < m.ncols(); ++j)
          for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k)
            s.slack[m.mrwind[k]] -= m.dmatval[k] * x[j];
        s.dual.assign(m.nrows(), 0.0);
        s.dj = m.obj;
        s.has_lpsol = true;
        s.lp_start = x;
      }
    });
  });
}

}  // extern "C"
