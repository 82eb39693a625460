// Special ordered sets, indicator constraints, general and piecewise-linear
// constraints, and the global entities query.
#include <algorithm>

#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

// Removes the listed items of a family held as (per-item arrays, start-indexed
// payloads); keep[i] says whether item i stays.
template <class T>
void keep_payload(std::vector<int64_t> &start, std::vector<T> &payload,
                  const std::vector<char> &keep) {
  std::vector<int64_t> ns{0};
  std::vector<T> np;
  for (size_t i = 0; i + 1 < start.size(); ++i) {
    if (!keep[i]) continue;
    np.insert(np.end(), payload.begin() + start[i], payload.begin() + start[i + 1]);
    ns.push_back(static_cast<int64_t>(np.size()));
  }
  start.swap(ns);
  payload.swap(np);
}

template <class T>
void keep_items(std::vector<T> &v, const std::vector<char> &keep) {
  size_t w = 0;
  for (size_t i = 0; i < v.size(); ++i)
    if (keep[i]) v[w++] = v[i];
  v.resize(w);
}

std::vector<char> keep_mask(int total, int n, const int *idx, const char *func, const char *arg) {
  require_count(n, func, "n");
  require_indices(n, idx, total, func, arg);
  std::vector<char> keep(total, 1);
  for (int k = 0; k < n; ++k) keep[idx[k]] = 0;
  return keep;
}

void check_starts64(int n, const int64_t *start, int64_t total, const char *func,
                    const char *arg) {
  if (n > 0 && total > 0) require_ptr(start, func, arg);
  if (!start) return;
  for (int k = 0; k < n; ++k) {
    int64_t e = k + 1 < n ? start[k + 1] : total;
    if (start[k] < 0 || start[k] > e || e > total)
      raise(KRVU_ERR_ARGUMENT, "%s: %s[%d] = %lld does not fit the %lld entries", func, arg, k,
            static_cast<long long>(start[k]), static_cast<long long>(total));
  }
}

int64_t item_end(const int64_t *start, int k, int n, int64_t total) {
  return k + 1 < n ? start[k + 1] : total;
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUaddsets64(KRVUprob prob, int nsets, int64_t nelems, const char settype[],
                  const int64_t start[], const int colind[], const double refval[]) {
  const char *F = "KRVUaddsets64";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_count(nsets, F, "nsets");
    require_count(nelems, F, "nelems");
    if (nsets > 0) require_ptr(settype, F, "settype");
    for (int s = 0; s < nsets; ++s)
      if (settype[s] != '1' && settype[s] != '2')
        raise(KRVU_ERR_ARGUMENT, "%s: settype[%d] = '%c' is not a set type ('1' or '2')", F, s,
              settype[s] ? settype[s] : '?');
    check_starts64(nsets, start, nelems, F, "start");
    if (nsets > 0 && nelems > 0) {
      require_indices(nelems, colind, m.ncols(), F, "colind");
      require_ptr(refval, F, "refval");
    }
    if (nsets == 0) return 0;
    touch(prob, kChangeStructure);
    for (int s = 0; s < nsets; ++s) {
      m.settype.push_back(settype[s]);
      m.setnames.emplace_back();
      if (nelems > 0) {
        int64_t b = start[s], e = item_end(start, s, nsets, nelems);
        m.setcol.insert(m.setcol.end(), colind + b, colind + e);
        m.setref.insert(m.setref.end(), refval + b, refval + e);
      }
      m.setstart.push_back(static_cast<int64_t>(m.setcol.size()));
    }
    return 0;
  });
}

int KRVUdelsets(KRVUprob prob, int nsets, const int sets[]) {
  const char *F = "KRVUdelsets";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    std::vector<char> keep = keep_mask(m.nsets(), nsets, sets, F, "sets");
    if (nsets == 0) return 0;
    touch(prob, kChangeStructure);
    std::vector<int64_t> st = m.setstart;
    keep_payload(m.setstart, m.setcol, keep);
    keep_payload(st, m.setref, keep);
    keep_items(m.settype, keep);
    keep_items(m.setnames, keep);
    return 0;
  });
}

int KRVUgetglobal64(KRVUprob prob, int *nentities, int *nsets, char coltype[], int colind[],
                    double limit[], char settype[], int64_t setstart[], int setcols[],
                    double refval[]) {
  const char *F = "KRVUgetglobal64";
  return guarded(prob, F, [&] {
    const ModelData &m = prob->data->m;
    int ne = 0;
    for (int j = 0; j < m.ncols(); ++j) {
      if (m.coltype[j] == 'C') continue;
      if (coltype) coltype[ne] = m.coltype[j];
      if (colind) colind[ne] = j;
      if (limit) limit[ne] = m.threshold[j];
      ++ne;
    }
    if (nentities) *nentities = ne;
    if (nsets) *nsets = m.nsets();
    if (settype) std::copy(m.settype.begin(), m.settype.end(), settype);
    if (setstart) std::copy(m.setstart.begin(), m.setstart.end(), setstart);
    if (setcols) std::copy(m.setcol.begin(), m.setcol.end(), setcols);
    if (refval) std::copy(m.setref.begin(), m.setref.end(), refval);
    return 0;
  });
}

int KRVUsetindicators(KRVUprob prob, int n, const int rowind[], const int colind[],
                      const int complement[]) {
  const char *F = "KRVUsetindicators";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_count(n, F, "n");
    require_indices(n, rowind, m.nrows(), F, "rowind");
    if (n > 0) require_ptr(complement, F, "complement");
    for (int k = 0; k < n; ++k) {
      if (complement[k] < -1 || complement[k] > 1)
        raise(KRVU_ERR_ARGUMENT, "%s: complement[%d] = %d must be -1, 0 or 1", F, k,
              complement[k]);
      if (complement[k] != 0) {
        require_ptr(colind, F, "colind");
        require_index(colind[k], m.ncols(), F, "colind");
      }
    }
    touch(prob, kChangeStructure);
    for (int k = 0; k < n; ++k) {
      const int i = rowind[k];
      m.indcomp[i] = complement[k];
      m.indcol[i] = complement[k] ? colind[k] : -1;
    }
    return 0;
  });
}

int KRVUgetindicators(KRVUprob prob, int inds[], int comps[], int first, int last) {
  const char *F = "KRVUgetindicators";
  return guarded(prob, F, [&] {
    const ModelData &m = prob->data->m;
    require_range(first, last, m.nrows(), F, "the rows");
    for (int i = first; i <= last; ++i) {
      if (inds) inds[i - first] = m.indcol[i];
      if (comps) comps[i - first] = m.indcol[i] >= 0 ? m.indcomp[i] : 0;
    }
    return 0;
  });
}

int KRVUdelindicators(KRVUprob prob, int first, int last) {
  const char *F = "KRVUdelindicators";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_range(first, last, m.nrows(), F, "the rows");
    touch(prob, kChangeStructure);
    for (int i = first; i <= last; ++i) {
      m.indcol[i] = -1;
      m.indcomp[i] = 0;
    }
    return 0;
  });
}

int KRVUaddgencons64(KRVUprob prob, int n, int64_t ncols, int64_t nvals, const int type[],
                     const int resultant[], const int64_t colstart[], const int col[],
                     const int64_t valstart[], const double val[]) {
  const char *F = "KRVUaddgencons64";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_count(n, F, "n");
    require_count(ncols, F, "ncols");
    require_count(nvals, F, "nvals");
    if (n > 0) require_ptr(type, F, "type");
    require_indices(n, resultant, m.ncols(), F, "resultant");
    for (int k = 0; k < n; ++k)
      if (type[k] < KRVU_GENCONS_MAX || type[k] > KRVU_GENCONS_ABS)
        raise(KRVU_ERR_ARGUMENT, "%s: type[%d] = %d is not a KRVU_GENCONS_* value", F, k,
              type[k]);
    check_starts64(n, colstart, ncols, F, "colstart");
    check_starts64(n, valstart, nvals, F, "valstart");
    if (n > 0) require_indices(ncols, col, m.ncols(), F, "col");
    if (n > 0 && nvals > 0) require_ptr(val, F, "val");
    for (int64_t k = 0; k < nvals; ++k) require_coef(val[k], F, "val", k);
    if (n == 0) return 0;
    touch(prob, kChangeStructure);
    for (int k = 0; k < n; ++k) {
      m.gentype.push_back(type[k]);
      m.genres.push_back(resultant[k]);
      if (ncols > 0 && colstart)
        m.gencol.insert(m.gencol.end(), col + colstart[k], col + item_end(colstart, k, n, ncols));
      if (nvals > 0 && valstart)
        m.genval.insert(m.genval.end(), val + valstart[k], val + item_end(valstart, k, n, nvals));
      m.gencolstart.push_back(static_cast<int64_t>(m.gencol.size()));
      m.genvalstart.push_back(static_cast<int64_t>(m.genval.size()));
    }
    return 0;
  });
}

int KRVUgetgencons64(KRVUprob prob, int type[], int resultant[], int64_t colstart[], int col[],
                     int64_t colsize, int64_t *ncols, int64_t valstart[], double val[],
                     int64_t valsize, int64_t *nvals, int first, int last) {
  const char *F = "KRVUgetgencons64";
  return guarded(prob, F, [&] {
    const ModelData &m = prob->data->m;
    require_range(first, last, static_cast<int>(m.gentype.size()), F,
                  "the general constraints");
    const int64_t cb = m.gencolstart[first], ce = m.gencolstart[last + 1];
    const int64_t vb = m.genvalstart[first], ve = m.genvalstart[last + 1];
    if (ncols) *ncols = ce - cb;
    if (nvals) *nvals = ve - vb;
    for (int g = first; g <= last; ++g) {
      if (type) type[g - first] = m.gentype[g];
      if (resultant) resultant[g - first] = m.genres[g];
    }
    const int64_t ccap = std::max<int64_t>(0, std::min(colsize, ce - cb));
    const int64_t vcap = std::max<int64_t>(0, std::min(valsize, ve - vb));
    for (int g = first; g <= last + 1; ++g) {
      if (colstart) colstart[g - first] = std::min(m.gencolstart[g] - cb, ccap);
      if (valstart) valstart[g - first] = std::min(m.genvalstart[g] - vb, vcap);
    }
    if (col) std::copy(m.gencol.begin() + cb, m.gencol.begin() + cb + ccap, col);
    if (val) std::copy(m.genval.begin() + vb, m.genval.begin() + vb + vcap, val);
    return 0;
  });
}

int KRVUdelgencons(KRVUprob prob, int n, const int gencons[]) {
  const char *F = "KRVUdelgencons";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    std::vector<char> keep =
        keep_mask(static_cast<int>(m.gentype.size()), n, gencons, F, "gencons");
    if (n == 0) return 0;
    touch(prob, kChangeStructure);
    keep_payload(m.gencolstart, m.gencol, keep);
    keep_payload(m.genvalstart, m.genval, keep);
    keep_items(m.gentype, keep);
    keep_items(m.genres, keep);
    return 0;
  });
}

int KRVUaddpwlcons64(KRVUprob prob, int n, int64_t npoints, const int col[],
                     const int resultant[], const int64_t start[], const double xval[],
                     const double yval[]) {
  const char *F = "KRVUaddpwlcons64";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    require_count(n, F, "n");
    require_count(npoints, F, "npoints");
    require_indices(n, col, m.ncols(), F, "col");
    require_indices(n, resultant, m.ncols(), F, "resultant");
    check_starts64(n, start, npoints, F, "start");
    if (n > 0 && npoints > 0) {
      require_ptr(xval, F, "xval");
      require_ptr(yval, F, "yval");
    }
    for (int k = 0; k < n; ++k) {
      const int64_t b = npoints > 0 ? start[k] : 0, e = npoints > 0 ? item_end(start, k, n, npoints) : 0;
      if (e - b < 1)
        raise(KRVU_ERR_ARGUMENT, "%s: piecewise-linear constraint %d has no points", F, k);
      for (int64_t q = b; q < e; ++q) {
        require_coef(xval[q], F, "xval", q);
        require_coef(yval[q], F, "yval", q);
        if (q > b && xval[q] < xval[q - 1])
          raise(KRVU_ERR_ARGUMENT, "%s: xval[%lld] decreases; the points must be sorted by x", F,
                static_cast<long long>(q));
      }
    }
    if (n == 0) return 0;
    touch(prob, kChangeStructure);
    for (int k = 0; k < n; ++k) {
      m.pwlcol.push_back(col[k]);
      m.pwlres.push_back(resultant[k]);
      const int64_t b = start[k], e = item_end(start, k, n, npoints);
      m.pwlx.insert(m.pwlx.end(), xval + b, xval + e);
      m.pwly.insert(m.pwly.end(), yval + b, yval + e);
      m.pwlstart.push_back(static_cast<int64_t>(m.pwlx.size()));
    }
    return 0;
  });
}

int KRVUgetpwlcons64(KRVUprob prob, int col[], int resultant[], int64_t start[], double xval[],
                     double yval[], int64_t size, int64_t *npoints, int first, int last) {
  const char *F = "KRVUgetpwlcons64";
  return guarded(prob, F, [&] {
    const ModelData &m = prob->data->m;
    require_range(first, last, static_cast<int>(m.pwlcol.size()), F,
                  "the piecewise-linear constraints");
    const int64_t b = m.pwlstart[first], e = m.pwlstart[last + 1];
    if (npoints) *npoints = e - b;
    const int64_t cap = std::max<int64_t>(0, std::min(size, e - b));
    for (int p = first; p <= last; ++p) {
      if (col) col[p - first] = m.pwlcol[p];
      if (resultant) resultant[p - first] = m.pwlres[p];
    }
    if (start)
      for (int p = first; p <= last + 1; ++p) start[p - first] = std::min(m.pwlstart[p] - b, cap);
    if (xval) std::copy(m.pwlx.begin() + b, m.pwlx.begin() + b + cap, xval);
    if (yval) std::copy(m.pwly.begin() + b, m.pwly.begin() + b + cap, yval);
    return 0;
  });
}

int KRVUdelpwlcons(KRVUprob prob, int n, const int pwlcons[]) {
  const char *F = "KRVUdelpwlcons";
  return guarded(prob, F, [&] {
    ModelData &m = prob->data->m;
    std::vector<char> keep =
        keep_mask(static_cast<int>(m.pwlcol.size()), n, pwlcons, F, "pwlcons");
    if (n == 0) return 0;
    touch(prob, kChangeStructure);
    std::vector<int64_t> st = m.pwlstart;
    keep_payload(m.pwlstart, m.pwlx, keep);
    keep_payload(st, m.pwly, keep);
    keep_items(m.pwlcol, keep);
    keep_items(m.pwlres, keep);
    return 0;
  });
}

}  // extern "C"
