// Save files: the whole problem (model, names, controls, solution, basis and
// scaling) in one binary file with a format version and a checksum.
//
// Every member of ModelData is written here; a member added to the model
// store must be added to write_model_record and read_model_record below (and the format
// version raised).  The one exception is the search's directives (ModelData::dirs):
// they come last, after every other record, so that files written before the
// library kept them still read, as problems without any.
#include <cstring>

#include "analysis/state.h"
#include "core/common.h"
#include "core/prob.h"
#include "io/atomic_write.h"
#include "io/binary_io.h"
#include "io/save_file.h"
#include "io/solution_state.h"
#include "lp/highs_session.h"
#include "lp/solver_state.h"
#include "model/store.h"
#include "params/table.h"

namespace krvu {
namespace io {
namespace {

constexpr char kMagic[8] = {'K', 'R', 'V', 'U', 'S', 'A', 'V', 'E'};
constexpr uint32_t kVersion = 1;

void write_model_record(BinWriter &w, const ModelData &m) {
  w.str(m.probname);
  w.f64(m.objsense);
  w.f64(m.objrhs);
  w.doubles(m.obj);
  w.doubles(m.lb);
  w.doubles(m.ub);
  w.doubles(m.threshold);
  w.chars(m.coltype);
  w.strings(m.colnames);
  w.chars(m.rowtype);
  w.doubles(m.rhs);
  w.doubles(m.range);
  w.strings(m.rownames);
  w.ints(m.mstart);
  w.ints(m.mrwind);
  w.doubles(m.dmatval);
  w.ints(m.qstart);
  w.ints(m.qrow);
  w.doubles(m.qval);
  w.u64(m.qrows.size());
  for (const QRow &q : m.qrows) {
    w.i64(q.row);
    w.ints(q.col1);
    w.ints(q.col2);
    w.doubles(q.val);
  }
  w.chars(m.settype);
  w.ints(m.setstart);
  w.ints(m.setcol);
  w.doubles(m.setref);
  w.strings(m.setnames);
  w.ints(m.indcol);
  w.ints(m.indcomp);
  w.ints(m.gentype);
  w.ints(m.genres);
  w.ints(m.gencolstart);
  w.ints(m.genvalstart);
  w.ints(m.gencol);
  w.doubles(m.genval);
  w.ints(m.pwlcol);
  w.ints(m.pwlres);
  w.ints(m.pwlstart);
  w.doubles(m.pwlx);
  w.doubles(m.pwly);
}

void read_model_record(BinReader &r, ModelData &m) {
  m.probname = r.str();
  m.objsense = r.f64();
  m.objrhs = r.f64();
  m.obj = r.doubles();
  m.lb = r.doubles();
  m.ub = r.doubles();
  m.threshold = r.doubles();
  m.coltype = r.chars();
  m.colnames = r.strings();
  m.rowtype = r.chars();
  m.rhs = r.doubles();
  m.range = r.doubles();
  m.rownames = r.strings();
  m.mstart = r.ints<int64_t>();
  m.mrwind = r.ints<int>();
  m.dmatval = r.doubles();
  m.qstart = r.ints<int64_t>();
  m.qrow = r.ints<int>();
  m.qval = r.doubles();
  m.qrows.resize(r.count(32));
  for (QRow &q : m.qrows) {
    q.row = static_cast<int>(r.i64());
    q.col1 = r.ints<int>();
    q.col2 = r.ints<int>();
    q.val = r.doubles();
  }
  m.settype = r.chars();
  m.setstart = r.ints<int64_t>();
  m.setcol = r.ints<int>();
  m.setref = r.doubles();
  m.setnames = r.strings();
  m.indcol = r.ints<int>();
  m.indcomp = r.ints<int>();
  m.gentype = r.ints<int>();
  m.genres = r.ints<int>();
  m.gencolstart = r.ints<int64_t>();
  m.genvalstart = r.ints<int64_t>();
  m.gencol = r.ints<int>();
  m.genval = r.doubles();
  m.pwlcol = r.ints<int>();
  m.pwlres = r.ints<int>();
  m.pwlstart = r.ints<int64_t>();
  m.pwlx = r.doubles();
  m.pwly = r.doubles();
}

constexpr uint32_t kDirsTag = 0x53524944;  // "DIRS"

void write_dirs_record(BinWriter &w, const MipDirectives &d) {
  std::vector<int> col, pri;
  std::vector<char> dir;
  std::vector<double> up, down;
  for (const Directive &x : d.dirs) {
    col.push_back(x.col);
    pri.push_back(x.priority);
    dir.push_back(x.dir);
    up.push_back(x.upcost);
    down.push_back(x.downcost);
  }
  w.u32(kDirsTag);
  w.ints(col);
  w.ints(pri);
  w.chars(dir);
  w.doubles(up);
  w.doubles(down);
  w.ints(d.modelcuts);
  w.ints(d.delayed);
  w.ints(d.securerows);
  w.ints(d.securecols);
}

void read_dirs_record(BinReader &r, MipDirectives &d, int rows, int cols) {
  if (r.u32() != kDirsTag) r.fail("unexpected data after the problem (damaged)");
  const std::vector<int> col = r.ints<int>(), pri = r.ints<int>();
  const std::vector<char> dir = r.chars();
  const std::vector<double> up = r.doubles(), down = r.doubles();
  const size_t n = col.size();
  if (pri.size() != n || dir.size() != n || up.size() != n || down.size() != n)
    r.fail("the directives do not fit together (damaged)");
  for (size_t k = 0; k < n; ++k) {
    if (col[k] < 0 || col[k] >= cols || (k > 0 && col[k] <= col[k - 1]) || pri[k] < 0 ||
        (dir[k] != 'U' && dir[k] != 'D' && dir[k] != 'N'))
      r.fail("directive %zu is not one of this model (damaged)", k);
    d.dirs.push_back(Directive{col[k], pri[k], dir[k], up[k], down[k]});
  }
  auto indices = [&](std::vector<int> &v, int limit, const char *what) {
    v = r.ints<int>();
    for (size_t k = 0; k < v.size(); ++k)
      if (v[k] < 0 || v[k] >= limit || (k > 0 && v[k] <= v[k - 1]))
        r.fail("the %s do not fit the model (damaged)", what);
  };
  indices(d.modelcuts, rows, "model cuts");
  indices(d.delayed, rows, "delayed rows");
  indices(d.securerows, rows, "secure rows");
  indices(d.securecols, cols, "secure columns");
}

void write_controls(BinWriter &w, krvu_prob_s *prob) {
  const auto &t = param_table();
  std::vector<size_t> ks;
  for (size_t k = 0; k < t.size(); ++k)
    if (t[k].kind == kControl && t[k].source == kLib) ks.push_back(k);
  w.u64(ks.size());
  for (size_t k : ks) {
    const Value &v = prob->params.v[k];
    w.i64(t[k].id);
    w.i64(t[k].type);
    if (t[k].type == KRVU_TYPE_DOUBLE) w.f64(v.d);
    else if (t[k].type == KRVU_TYPE_STRING) w.str(v.s);
    else w.i64(v.i);
  }
}

std::vector<std::pair<int, Value>> read_controls(BinReader &r) {
  const size_t n = r.count(16);
  std::vector<std::pair<int, Value>> out;
  const auto &t = param_table();
  for (size_t c = 0; c < n; ++c) {
    const int id = static_cast<int>(r.i64());
    const int type = static_cast<int>(r.i64());
    const int k = param_index(id);
    if (k < 0 || t[k].kind != kControl || t[k].source != kLib || t[k].type != type)
      r.fail("control %d is not a control of this library (written by another version?)", id);
    Value v;
    if (type == KRVU_TYPE_DOUBLE) v.d = r.f64();
    else if (type == KRVU_TYPE_STRING) v.s = r.str();
    else v.i = r.i64();
    if (type != KRVU_TYPE_STRING) {
      const double x = type == KRVU_TYPE_DOUBLE ? v.d : static_cast<double>(v.i);
      if (!(x >= t[k].lo && x <= t[k].hi)) r.fail("control %s has the value %g (damaged)", t[k].name, x);
    }
    out.emplace_back(k, v);
  }
  return out;
}

std::string save_name(KRVUprob prob, const char *probname) {
  std::string p = probname && *probname ? probname : (prob->name.empty() ? "problem" : prob->name);
  if (!ends_with(p, ".svf")) p += ".svf";
  return p;
}

void save(KRVUprob prob, const std::string &path, const char *func) {
  save_file(prob, path, kMagic, kVersion, nullptr, func);
}

}  // namespace

void write_save_body(BinWriter &w, KRVUprob prob) {
  const ModelData &m = read_model(prob);
  SolverState &s = *prob->data->solver;
  char version[32];
  KRVUgetversion(version);
  w.str(version);
  w.str(prob->name);
  write_model_record(w, m);
  write_controls(w, prob);
  write_solution_state(w, prob);
  w.doubles(s.scaling.row);
  w.doubles(s.scaling.col);
}

void save_file(KRVUprob prob, const std::string &path, const char magic[8], uint32_t version,
               const std::function<void(BinWriter &)> &more, const char *func) {
  try {
    write_atomically(path, false, [&](Out &out) {
      BinWriter w(out);
      w.bytes(magic, 8);
      w.u32(version);
      write_save_body(w, prob);
      if (more) more(w);
      write_dirs_record(w, read_model(prob).dirs);
      w.finish();
    });
  } catch (const Error &e) {
    throw Error(e.code, std::string(func) + ": " + e.what());
  }
  log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_FILE, "saved the problem to %s", path.c_str());
}

std::string save_file_name(KRVUprob prob, const char *probname) { return save_name(prob, probname); }

void restore_source(KRVUprob prob, const Source &src, const char magic[8], uint32_t version,
                    const std::function<void(BinReader &, int rows, int cols)> &more,
                    const char *F, uint32_t oldest) {
  if (oldest == 0) oldest = version;
  const std::string &path = src.path;
  BinReader r(src.data, src.path);
  if (src.data.size() < 8 || std::memcmp(src.data.data(), magic, 8) != 0)
    r.fail("not a save file of this library");
  char head[8];
  // The version comes before the checksum: a file of another format
  // says so rather than that it is damaged.
  if (src.data.size() >= 16) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
      v |= static_cast<uint32_t>(static_cast<unsigned char>(src.data[8 + k])) << (8 * k);
    if (v < oldest || v > version)
      r.fail("written in save format %u; this library reads format %u", v, version);
    r.set_version(v);
  }
  r.verify("save file");
  r.bytes(head, 8);
  r.u32();
  const std::string written_by = r.str();
  const std::string name = r.str();
  ModelData m;
  read_model_record(r, m);
  const std::string why = m.validate();
  if (!why.empty()) r.fail("the model is inconsistent (damaged): %s", why.c_str());
  std::vector<std::pair<int, Value>> controls = read_controls(r);
  // The solution is read into a scratch problem first, so that a fault
  // found there leaves this problem as it was.
  WorkProb work(F);
  KRVUprob q = work.q;
  const int rows = m.nrows(), cols = m.ncols();
  ModelData copy = m;
  replace_model(q, std::move(copy), F);
  read_solution_state(r, q, rows, cols);
  std::vector<double> rs = r.doubles(), cs = r.doubles();
  if ((!rs.empty() || !cs.empty()) &&
      (static_cast<int>(rs.size()) != rows || static_cast<int>(cs.size()) != cols))
    r.fail("the scaling does not fit the model (damaged)");
  if (more) more(r, rows, cols);
  if (!r.at_end()) read_dirs_record(r, m.dirs, rows, cols);
  if (!r.at_end()) r.fail("unexpected data after the problem (damaged)");
  // Everything is read: the problem takes it.
  replace_model(prob, std::move(m), F);
  prob->name = name;
  for (auto &c : controls) prob->params.v[c.first] = c.second;
  std::swap(prob->data->solver, q->data->solver);
  SolverState &s = *prob->data->solver;
  s.hs.reset();  // the engine session belonged to the scratch problem
  s.synced = false;
  s.scaling.row = rs;
  s.scaling.col = cs;
  s.analysis.reset();
  for (int id : {KRVU_ATTR_LPSTATUS, KRVU_ATTR_MIPSTATUS, 1009, 1006, 1007, 1008, 1012})
    attr_set_int(prob, id, attr_int(q, id));
  for (int id : {KRVU_ATTR_LPOBJVAL, KRVU_ATTR_MIPBESTOBJVAL, 2002, 2004, 2005})
    attr_set_dbl(prob, id, attr_dbl(q, id));
  log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_FILE, "restored %s (saved by version %s)",
           path.c_str(), written_by.c_str());
}
}  // namespace io
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUsave(KRVUprob prob) {
  return guarded(prob, "KRVUsave", [&] {
    io::save(prob, io::save_name(prob, nullptr), "KRVUsave");
    return 0;
  });
}

int KRVUsaveas(KRVUprob prob, const char *filename) {
  const char *F = "KRVUsaveas";
  return guarded(prob, F, [&] {
    require_ptr(filename, F, "filename");
    if (!*filename) raise(KRVU_ERR_ARGUMENT, "%s: 'filename' is empty", F);
    io::save(prob, filename, F);
    return 0;
  });
}

int KRVUrestore(KRVUprob prob, const char *probname, const char *flags) {
  const char *F = "KRVUrestore";
  return guarded(prob, F, [&] {
    io::check_file_flags(flags, "", F);
    const std::string path = io::save_name(prob, probname);
    io::Source src;
    try {
      io::load_source(path, src);
      io::restore_source(prob, src, io::kMagic, io::kVersion, nullptr, F);
    } catch (const Error &e) {
      if (std::strncmp(e.what(), F, std::strlen(F)) == 0) throw;
      throw Error(e.code, std::string(F) + ": " + e.what());
    }
    return 0;
  });
}

}  // extern "C"
