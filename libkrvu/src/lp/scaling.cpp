// Scaling of the model the engine sees for LP solves (KRVUscale): factors
// that are powers of two, set by the user or computed by geometric-mean
// passes over the matrix.
#include <algorithm>
#include <cmath>

#include "core/common.h"
#include "core/prob.h"
#include "lp/engine.h"
#include "lp/solver_state.h"
#include "model/store.h"

namespace krvu {

void unscale_solution(const EngineScaling &sc, std::vector<double> &x, std::vector<double> &dj,
                      std::vector<double> &act, std::vector<double> &dual) {
  for (size_t j = 0; j < x.size(); ++j) {
    x[j] *= sc.col[j];
    dj[j] /= sc.col[j];
  }
  for (size_t i = 0; i < act.size(); ++i) {
    act[i] /= sc.row[i];
    dual[i] *= sc.row[i];
  }
}

namespace {

constexpr int kMaxExponent = 60;

// Alternating geometric-mean passes: each row, then each column, is divided
// by the geometric mean of its largest and smallest magnitude; the result is
// rounded to powers of two.
void geometric_scaling(const ModelData &m, std::vector<int> &rexp, std::vector<int> &cexp) {
  const int nr = m.nrows(), nc = m.ncols();
  std::vector<double> R(nr, 1.0), C(nc, 1.0);
  for (int pass = 0; pass < 6; ++pass) {
    std::vector<double> rmax(nr, 0.0), rmin(nr, INFINITY);
    for (int j = 0; j < nc; ++j)
      for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k) {
        const double v = std::fabs(m.dmatval[k]) * R[m.mrwind[k]] * C[j];
        rmax[m.mrwind[k]] = std::max(rmax[m.mrwind[k]], v);
        rmin[m.mrwind[k]] = std::min(rmin[m.mrwind[k]], v);
      }
    for (int i = 0; i < nr; ++i)
      if (rmax[i] > 0) R[i] /= std::sqrt(rmax[i] * rmin[i]);
    for (int j = 0; j < nc; ++j) {
      double cmax = 0, cmin = INFINITY;
      for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k) {
        const double v = std::fabs(m.dmatval[k]) * R[m.mrwind[k]] * C[j];
        cmax = std::max(cmax, v);
        cmin = std::min(cmin, v);
      }
      if (cmax > 0) C[j] /= std::sqrt(cmax * cmin);
    }
  }
  auto expo = [](double f) {
    int e = static_cast<int>(std::lround(std::log2(f)));
    return std::max(-kMaxExponent, std::min(kMaxExponent, e));
  };
  rexp.resize(nr);
  cexp.resize(nc);
  for (int i = 0; i < nr; ++i) rexp[i] = expo(R[i]);
  for (int j = 0; j < nc; ++j) cexp[j] = expo(C[j]);
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUscale(KRVUprob prob, const int mrscal[], const int mcscal[]) {
  const char *F = "KRVUscale";
  return guarded(prob, F, [&] {
    const ModelData &m = read_model(prob);
    const int nr = m.nrows(), nc = m.ncols();
    std::vector<int> rexp(nr, 0), cexp(nc, 0);
    if (!mrscal && !mcscal) {
      geometric_scaling(m, rexp, cexp);
    } else {
      for (int i = 0; mrscal && i < nr; ++i) {
        if (mrscal[i] < -kMaxExponent || mrscal[i] > kMaxExponent)
          raise(KRVU_ERR_ARGUMENT, "%s: mrscal[%d] = %d is out of range [-%d, %d]", F, i,
                mrscal[i], kMaxExponent, kMaxExponent);
        rexp[i] = mrscal[i];
      }
      for (int j = 0; mcscal && j < nc; ++j) {
        if (mcscal[j] < -kMaxExponent || mcscal[j] > kMaxExponent)
          raise(KRVU_ERR_ARGUMENT, "%s: mcscal[%d] = %d is out of range [-%d, %d]", F, j,
                mcscal[j], kMaxExponent, kMaxExponent);
        cexp[j] = mcscal[j];
      }
    }
    SolverState &s = *prob->data->solver;
    const bool identity = std::all_of(rexp.begin(), rexp.end(), [](int e) { return e == 0; }) &&
                          std::all_of(cexp.begin(), cexp.end(), [](int e) { return e == 0; });
    s.scaling = EngineScaling();
    if (!identity) {
      s.scaling.row.resize(nr);
      s.scaling.col.resize(nc);
      for (int i = 0; i < nr; ++i) s.scaling.row[i] = std::ldexp(1.0, rexp[i]);
      for (int j = 0; j < nc; ++j) s.scaling.col[j] = std::ldexp(1.0, cexp[j]);
    }
    // The engine takes the (un)scaled copy with the next solve; the solution
    // is in the problem's units and stays.
    s.synced = false;
    return 0;
  });
}

}  // extern "C"
