// Deleting rows and columns: every part of the model that refers to them is
// renumbered or dropped.
#include <algorithm>

#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"
#include "mip/search/nodemembers.h"
#include "slp/slpprob.h"

namespace krvu {
namespace {

// newidx[old] = new index, or -1 for a deleted one.  Returns the new count.
int make_map(int n, int ndel, const int *del, std::vector<int> &newidx) {
  newidx.assign(n, 0);
  for (int k = 0; k < ndel; ++k) newidx[del[k]] = -1;
  int c = 0;
  for (int i = 0; i < n; ++i)
    if (newidx[i] == 0) newidx[i] = c++;
    else newidx[i] = -1;
  return c;
}

template <class T>
void keep(std::vector<T> &v, const std::vector<int> &newidx) {
  size_t w = 0;
  for (size_t i = 0; i < newidx.size(); ++i)
    if (newidx[i] >= 0) {
      if (w != i) v[w] = std::move(v[i]);
      ++w;
    }
  v.resize(w);
}

void filter_qrows(ModelData &m, const std::vector<int> *rowmap, const std::vector<int> *colmap) {
  std::vector<QRow> out;
  for (QRow &q : m.qrows) {
    if (rowmap) {
      if ((*rowmap)[q.row] < 0) continue;
      q.row = (*rowmap)[q.row];
    }
    if (colmap) {
      size_t w = 0;
      for (size_t k = 0; k < q.val.size(); ++k) {
        int a = (*colmap)[q.col1[k]], b = (*colmap)[q.col2[k]];
        if (a < 0 || b < 0) continue;
        q.col1[w] = a;
        q.col2[w] = b;
        q.val[w++] = q.val[k];
      }
      q.col1.resize(w);
      q.col2.resize(w);
      q.val.resize(w);
    }
    if (!q.val.empty()) out.push_back(std::move(q));
  }
  m.qrows.swap(out);
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUdelrows(KRVUprob prob, int nrows, const int rowind[]) {
  const char *F = "KRVUdelrows";
  return guarded(prob, F, [&] {
    require_count(nrows, F, "nrows");
    ProbData &d = *prob->data;
    ModelData &m = d.m;
    require_indices(nrows, rowind, m.nrows(), F, "rowind");
    if (nrows == 0) return 0;
    touch(prob, kChangeStructure);
    compact(d);
    std::vector<int> map;
    make_map(m.nrows(), nrows, rowind, map);
    keep(m.rowtype, map);
    keep(m.rhs, map);
    keep(m.range, map);
    keep(m.rownames, map);
    keep(m.indcol, map);
    keep(m.indcomp, map);
    int64_t w = 0;
    for (int j = 0; j < m.ncols(); ++j) {
      int64_t b = m.mstart[j], e = m.mstart[j + 1];
      m.mstart[j] = w;
      for (int64_t k = b; k < e; ++k)
        if (map[m.mrwind[k]] >= 0) {
          m.mrwind[w] = map[m.mrwind[k]];
          m.dmatval[w++] = m.dmatval[k];
        }
    }
    m.mstart[m.ncols()] = w;
    m.mrwind.resize(w);
    m.dmatval.resize(w);
    filter_qrows(m, &map, nullptr);
    m.dirs.renumber_rows(map);
    if (prob->slp) slp::renumber_after_delete(static_cast<KSLPprob>(prob->slp), true, map);
    SolverState &s = *d.solver;
    if (s.has_basis) keep(s.rstat, map);
    if (!s.scaling.row.empty()) keep(s.scaling.row, map);
    return 0;
  });
}

int KRVUdelcols(KRVUprob prob, int ncols, const int colind[]) {
  const char *F = "KRVUdelcols";
  return guarded(prob, F, [&] {
    require_count(ncols, F, "ncols");
    ProbData &d = *prob->data;
    ModelData &m = d.m;
    require_indices(ncols, colind, m.ncols(), F, "colind");
    if (ncols == 0) return 0;
    touch(prob, kChangeStructure);
    compact(d);
    std::vector<int> map;
    const int n = m.ncols();
    make_map(n, ncols, colind, map);
    // Matrix and quadratic objective, column by column.
    auto squeeze = [&](std::vector<int64_t> &st, std::vector<int> &ind, std::vector<double> &val,
                       bool renumber) {
      int64_t w = 0;
      int c = 0;
      for (int j = 0; j < n; ++j) {
        int64_t b = st[j], e = st[j + 1];
        if (map[j] < 0) continue;
        st[c++] = w;
        for (int64_t k = b; k < e; ++k) {
          int i = renumber ? map[ind[k]] : ind[k];
          if (i < 0) continue;
          ind[w] = i;
          val[w++] = val[k];
        }
      }
      st[c] = w;
      st.resize(c + 1);
      ind.resize(w);
      val.resize(w);
    };
    squeeze(m.mstart, m.mrwind, m.dmatval, false);
    if (!m.qstart.empty()) {
      squeeze(m.qstart, m.qrow, m.qval, true);
      if (m.qrow.empty()) m.qstart.clear();
    }
    keep(m.obj, map);
    keep(m.lb, map);
    keep(m.ub, map);
    keep(m.threshold, map);
    keep(m.coltype, map);
    keep(m.colnames, map);
    filter_qrows(m, nullptr, &map);
    m.dirs.renumber_cols(map);
    // Sets lose the deleted members.
    {
      int64_t w = 0;
      for (int s = 0; s < m.nsets(); ++s) {
        int64_t b = m.setstart[s], e = m.setstart[s + 1];
        m.setstart[s] = w;
        for (int64_t k = b; k < e; ++k)
          if (map[m.setcol[k]] >= 0) {
            m.setcol[w] = map[m.setcol[k]];
            m.setref[w++] = m.setref[k];
          }
      }
      m.setstart[m.nsets()] = w;
      m.setcol.resize(w);
      m.setref.resize(w);
    }
    // An indicator whose column goes is dropped; its row stays as a plain row.
    for (int i = 0; i < m.nrows(); ++i)
      if (m.indcol[i] >= 0) {
        m.indcol[i] = map[m.indcol[i]];
        if (m.indcol[i] < 0) m.indcomp[i] = 0;
      }
    // General constraints lose deleted arguments; one whose resultant goes is dropped.
    {
      ModelData o;
      o.gencolstart.assign(1, 0);
      o.genvalstart.assign(1, 0);
      for (size_t g = 0; g < m.gentype.size(); ++g) {
        if (map[m.genres[g]] < 0) continue;
        o.gentype.push_back(m.gentype[g]);
        o.genres.push_back(map[m.genres[g]]);
        for (int64_t k = m.gencolstart[g]; k < m.gencolstart[g + 1]; ++k)
          if (map[m.gencol[k]] >= 0) o.gencol.push_back(map[m.gencol[k]]);
        for (int64_t k = m.genvalstart[g]; k < m.genvalstart[g + 1]; ++k)
          o.genval.push_back(m.genval[k]);
        o.gencolstart.push_back(static_cast<int64_t>(o.gencol.size()));
        o.genvalstart.push_back(static_cast<int64_t>(o.genval.size()));
      }
      m.gentype.swap(o.gentype);
      m.genres.swap(o.genres);
      m.gencolstart.swap(o.gencolstart);
      m.gencol.swap(o.gencol);
      m.genvalstart.swap(o.genvalstart);
      m.genval.swap(o.genval);
      // A piecewise-linear constraint needs both of its columns.
      for (size_t p = 0; p < m.pwlcol.size(); ++p) {
        if (map[m.pwlcol[p]] < 0 || map[m.pwlres[p]] < 0) continue;
        o.pwlcol.push_back(map[m.pwlcol[p]]);
        o.pwlres.push_back(map[m.pwlres[p]]);
        for (int64_t k = m.pwlstart[p]; k < m.pwlstart[p + 1]; ++k) {
          o.pwlx.push_back(m.pwlx[k]);
          o.pwly.push_back(m.pwly[k]);
        }
        o.pwlstart.push_back(static_cast<int64_t>(o.pwlx.size()));
      }
      m.pwlcol.swap(o.pwlcol);
      m.pwlres.swap(o.pwlres);
      m.pwlstart.swap(o.pwlstart);
      m.pwlx.swap(o.pwlx);
      m.pwly.swap(o.pwly);
    }
    if (prob->slp) slp::renumber_after_delete(static_cast<KSLPprob>(prob->slp), false, map);
    user_pool_renumber(prob, map);
    SolverState &s = *d.solver;
    if (s.has_basis) keep(s.cstat, map);
    if (!s.scaling.col.empty()) keep(s.scaling.col, map);
    return 0;
  });
}

}  // extern "C"
