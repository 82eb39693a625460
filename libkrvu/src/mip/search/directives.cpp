// Loading and reading the directives of the search, the model cuts, the
// delayed rows and the secure vectors; keeping them aligned with deletions.
#include "mip/search/directives.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>

#include "core/callbacks.h"
#include "core/common.h"
#include "core/prob.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {

namespace {

// Adds the entries of idx to the increasing set s.
void merge_into(std::vector<int> &s, int n, const int *idx) {
  s.insert(s.end(), idx, idx + n);
  std::sort(s.begin(), s.end());
  s.erase(std::unique(s.begin(), s.end()), s.end());
}

void drop(std::vector<int> &s, const std::vector<int> &gone) {
  std::vector<int> out;
  std::set_difference(s.begin(), s.end(), gone.begin(), gone.end(), std::back_inserter(out));
  s.swap(out);
}

// Renumbers an increasing set, dropping deleted entries (the order stays).
void renumber(std::vector<int> &s, const std::vector<int> &map) {
  size_t w = 0;
  for (int i : s)
    if (i >= 0 && i < static_cast<int>(map.size()) && map[i] >= 0) s[w++] = map[i];
  s.resize(w);
}

}  // namespace

void MipDirectives::set_directives(std::vector<Directive> d, bool replace) {
  std::map<int, Directive> by_col;
  if (!replace)
    for (const Directive &x : dirs) by_col[x.col] = x;
  for (const Directive &x : d) by_col[x.col] = x;
  dirs.clear();
  for (const auto &e : by_col) dirs.push_back(e.second);
}

void MipDirectives::mark_lazy(int n, const int *rows, int lazy) {
  std::vector<int> add(rows, rows + n);
  std::sort(add.begin(), add.end());
  add.erase(std::unique(add.begin(), add.end()), add.end());
  std::vector<int> &mine = lazy == 1 ? modelcuts : delayed;
  std::vector<int> &other = lazy == 1 ? delayed : modelcuts;
  drop(other, add);
  merge_into(mine, static_cast<int>(add.size()), add.data());
}

void MipDirectives::mark_secure(int nrows, const int *rows, int ncols, const int *cols) {
  merge_into(securerows, nrows, rows);
  merge_into(securecols, ncols, cols);
}

void MipDirectives::renumber_rows(const std::vector<int> &map) {
  renumber(modelcuts, map);
  renumber(delayed, map);
  renumber(securerows, map);
}

void MipDirectives::renumber_cols(const std::vector<int> &map) {
  size_t w = 0;
  for (Directive &d : dirs)
    if (d.col >= 0 && d.col < static_cast<int>(map.size()) && map[d.col] >= 0) {
      d.col = map[d.col];
      dirs[w++] = d;
    }
  dirs.resize(w);
  renumber(securecols, map);
}

namespace {

std::vector<Directive> checked_directives(const ModelData &m, int n, const int *mcols, const int *mpri,
                                          const char *qbr, const double *dupc, const double *ddpc,
                                          const char *F) {
  require_count(n, F, "ndirs");
  require_indices(n, mcols, m.ncols(), F, "mcols");
  std::vector<Directive> out(n);
  for (int k = 0; k < n; ++k) {
    Directive &d = out[k];
    d.col = mcols[k];
    if (mpri) {
      if (mpri[k] < 0)
        raise(KRVU_ERR_ARGUMENT, "%s: mpri[%d] = %d is negative; priorities are 0 or more", F, k, mpri[k]);
      d.priority = mpri[k];
    }
    if (qbr) {
      if (qbr[k] != 'U' && qbr[k] != 'D' && qbr[k] != 'N')
        raise(KRVU_ERR_ARGUMENT,
              "%s: qbr[%d] = '%c' is not a branching direction ('U' up first, 'D' down first, 'N' none)", F,
              k, qbr[k] > ' ' && qbr[k] < 127 ? qbr[k] : '?');
      d.dir = qbr[k];
    }
    if (dupc) {
      if (!std::isfinite(dupc[k]))
        raise(KRVU_ERR_ARGUMENT, "%s: dupc[%d] is not a finite pseudo-cost", F, k);
      d.upcost = dupc[k] < 0 ? -1.0 : dupc[k];
    }
    if (ddpc) {
      if (!std::isfinite(ddpc[k]))
        raise(KRVU_ERR_ARGUMENT, "%s: ddpc[%d] is not a finite pseudo-cost", F, k);
      d.downcost = ddpc[k] < 0 ? -1.0 : ddpc[k];
    }
  }
  return out;
}

int load_dirs(KRVUprob prob, int n, const int *mcols, const int *mpri, const char *qbr, const double *dupc,
              const double *ddpc, const char *F) {
  return guarded(prob, F, [&] {
    require_idle(prob);
    ModelData &m = prob->data->m;
    m.dirs.set_directives(checked_directives(m, n, mcols, mpri, qbr, dupc, ddpc, F), true);
    return 0;
  });
}

int load_lazy(KRVUprob prob, int n, const int *rows, int lazy, const char *F) {
  return guarded(prob, F, [&] {
    require_idle(prob);
    ModelData &m = prob->data->m;
    require_count(n, F, lazy == 1 ? "nmodcuts" : "nrows");
    require_indices(n, rows, m.nrows(), F, "mrows");
    for (int k = 0; k < n; ++k) {
      const int i = rows[k];
      if (m.rowtype[i] == 'N')
        raise(KRVU_ERR_ARGUMENT, "%s: mrows[%d] = %d (%s) is a free row, which constrains nothing", F, k, i,
              row_name(m, i).c_str());
      if (i < static_cast<int>(m.indcol.size()) && m.indcol[i] >= 0)
        raise(KRVU_ERR_ARGUMENT, "%s: mrows[%d] = %d (%s) is an indicator row, which the search adds itself", F,
              k, i, row_name(m, i).c_str());
    }
    m.dirs.mark_lazy(n, rows, lazy);
    return 0;
  });
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUloaddirs(KRVUprob prob, int ndirs, const int mcols[], const int mpri[], const char qbr[],
                 const double dupc[], const double ddpc[]) {
  return load_dirs(prob, ndirs, mcols, mpri, qbr, dupc, ddpc, "KRVUloaddirs");
}

int KRVUloadpresolvedirs(KRVUprob prob, int ndirs, const int mcols[], const int mpri[], const char qbr[],
                         const double dupc[], const double ddpc[]) {
  return load_dirs(prob, ndirs, mcols, mpri, qbr, dupc, ddpc, "KRVUloadpresolvedirs");
}

int KRVUgetdirs(KRVUprob prob, int *ndirs, int mcols[], int mpri[], char qbr[], double dupc[], double ddpc[]) {
  const char *F = "KRVUgetdirs";
  return guarded(prob, F, [&] {
    require_ptr(ndirs, F, "ndirs");
    const std::vector<Directive> &d = prob->data->m.dirs.dirs;
    *ndirs = static_cast<int>(d.size());
    for (size_t k = 0; k < d.size(); ++k) {
      if (mcols) mcols[k] = d[k].col;
      if (mpri) mpri[k] = d[k].priority;
      if (qbr) qbr[k] = d[k].dir;
      if (dupc) dupc[k] = d[k].upcost;
      if (ddpc) ddpc[k] = d[k].downcost;
    }
    return 0;
  });
}

int KRVUloadbranchdirs(KRVUprob prob, int ncols, const int mcols[], const int mbranch[]) {
  const char *F = "KRVUloadbranchdirs";
  return guarded(prob, F, [&] {
    require_idle(prob);
    ModelData &m = prob->data->m;
    require_count(ncols, F, "ncols");
    require_indices(ncols, mcols, m.ncols(), F, "mcols");
    std::map<int, const Directive *> had;
    for (const Directive &d : m.dirs.dirs) had[d.col] = &d;
    std::vector<Directive> upd(ncols);
    for (int k = 0; k < ncols; ++k) {
      auto it = had.find(mcols[k]);
      if (it != had.end()) upd[k] = *it->second;
      else upd[k].priority = 0;
      upd[k].col = mcols[k];
      const int b = mbranch ? mbranch[k] : 0;
      upd[k].dir = b > 0 ? 'U' : b < 0 ? 'D' : 'N';
    }
    m.dirs.set_directives(std::move(upd), false);
    return 0;
  });
}

int KRVUloadsecurevecs(KRVUprob prob, int nrows, int ncols, const int mrow[], const int mcol[]) {
  const char *F = "KRVUloadsecurevecs";
  return guarded(prob, F, [&] {
    require_idle(prob);
    ModelData &m = prob->data->m;
    require_count(nrows, F, "nrows");
    require_count(ncols, F, "ncols");
    require_indices(nrows, mrow, m.nrows(), F, "mrow");
    require_indices(ncols, mcol, m.ncols(), F, "mcol");
    m.dirs.mark_secure(nrows, mrow, ncols, mcol);
    return 0;
  });
}

int KRVUloadmodelcuts(KRVUprob prob, int nmodcuts, const int mrows[]) {
  return load_lazy(prob, nmodcuts, mrows, 1, "KRVUloadmodelcuts");
}

int KRVUloaddelayedrows(KRVUprob prob, int nrows, const int mrows[]) {
  return load_lazy(prob, nrows, mrows, 2, "KRVUloaddelayedrows");
}

}  // extern "C"
