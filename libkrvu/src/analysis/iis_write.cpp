// An infeasible set written as a problem of its own.
#include <algorithm>
#include <cstring>

#include "analysis/state.h"
#include "core/common.h"
#include "core/prob.h"
#include "model/store.h"

namespace krvu {
const IisSet &iis_set(krvu_prob_s *prob, int num, const char *func);
bool iis_is_integer(krvu_prob_s *prob);
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUiiswrite(KRVUprob prob, int num, const char *filename, int type, const char *typeflags) {
  const char *F = "KRVUiiswrite";
  return guarded(prob, F, [&] {
    require_ptr(filename, F, "filename");
    if (type != 0 && type != 1)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'type' = %d is not 0 (LP format) or 1 (MPS)", F, type);
    std::string flags = typeflags ? typeflags : "";
    if (flags.find('l') != std::string::npos || flags.find('m') != std::string::npos)
      raise(KRVU_ERR_ARGUMENT,
            "%s: argument 'typeflags' must not choose the format ('l', 'm'); 'type' does", F);
    const IisSet &s = iis_set(prob, num, F);
    if (s.rows.empty() && s.cols.empty())
      raise(KRVU_ERR_STATE, "%s: set %d is empty (no analysis has found it)", F, num);
    const bool integer = iis_is_integer(prob);
    const ModelData &m = read_model(prob);
    // The columns the set involves, in their order in the problem.
    std::vector<int> newcol(m.ncols(), -1);
    std::vector<char> inrow(m.nrows(), 0);
    for (int i : s.rows) inrow[i] = 1;
    for (int j = 0; j < m.ncols(); ++j)
      for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k)
        if (inrow[m.mrwind[k]]) newcol[j] = 1;
    for (int j : s.cols) newcol[j] = 1;
    if (integer)
      for (int i : s.rows)
        if (m.indcol[i] >= 0) newcol[m.indcol[i]] = 1;
    std::vector<int> cols;
    for (int j = 0; j < m.ncols(); ++j)
      if (newcol[j] > 0) {
        newcol[j] = static_cast<int>(cols.size());
        cols.push_back(j);
      }
    std::vector<int> rows(s.rows);
    std::sort(rows.begin(), rows.end());
    std::vector<int> newrow(m.nrows(), -1);
    for (size_t k = 0; k < rows.size(); ++k) newrow[rows[k]] = static_cast<int>(k);

    ModelData w;
    w.probname = prob->name + "_iis" + std::to_string(num);
    w.append_cols(static_cast<int>(cols.size()));
    w.append_rows(static_cast<int>(rows.size()));
    for (size_t c = 0; c < cols.size(); ++c) {
      const int j = cols[c];
      w.colnames[c] = col_name(m, j);
      w.lb[c] = -KRVU_INFINITY;
      w.ub[c] = KRVU_INFINITY;
      const char t = m.coltype[j];
      if (integer && t != 'C' && t != 'I') {
        // Bounds that belong to the column's type stay with it.
        w.coltype[c] = t;
        w.lb[c] = m.lb[j];
        w.ub[c] = m.ub[j];
        w.threshold[c] = m.threshold[j];
      } else if (integer) {
        w.coltype[c] = t;
      }
    }
    for (size_t k = 0; k < s.cols.size(); ++k) {
      const int c = newcol[s.cols[k]];
      const int j = s.cols[k];
      // The set's bounds as the analysis saw them (a binary's relaxation is [0, 1]).
      double lo = m.lb[j], up = m.ub[j];
      if (m.coltype[j] == 'B') {
        lo = std::max(lo, 0.0);
        up = std::min(up, 1.0);
      }
      if (s.bndtype[k] == 'L' || s.bndtype[k] == 'F') w.lb[c] = lo;
      if (s.bndtype[k] == 'U' || s.bndtype[k] == 'F') w.ub[c] = s.bndtype[k] == 'F' ? lo : up;
    }
    for (size_t k = 0; k < rows.size(); ++k) {
      const int i = rows[k];
      w.rowtype[k] = m.rowtype[i];
      w.rhs[k] = m.rhs[i];
      w.range[k] = m.range[i];
      w.rownames[k] = row_name(m, i);
      if (integer && m.indcol[i] >= 0) {
        w.indcol[k] = newcol[m.indcol[i]];
        w.indcomp[k] = m.indcomp[i];
      }
    }
    std::vector<int> ti, tj;
    std::vector<double> tv;
    for (size_t c = 0; c < cols.size(); ++c) {
      const int j = cols[c];
      for (int64_t e = m.mstart[j]; e < m.mstart[j + 1]; ++e)
        if (newrow[m.mrwind[e]] >= 0) {
          ti.push_back(newrow[m.mrwind[e]]);
          tj.push_back(static_cast<int>(c));
          tv.push_back(m.dmatval[e]);
        }
    }
    w.set_matrix_triplets(static_cast<int64_t>(ti.size()), ti.data(), tj.data(), tv.data());
    WorkProb work(F);
    KRVUprob q = work.q;
    KRVUsetintcontrol(q, KRVU_CTRL_OUTPUTLOG, 0);
    replace_model(q, std::move(w), F);
    flags += type == 0 ? "l" : "m";
    if (KRVUwriteprob(q, filename, flags.c_str())) {
      char msg[512];
      KRVUgetlasterror(q, msg);
      raise(q->lasterr_code, "%s: %s", F, msg);
    }
    log_code(prob, KRVU_MSG_LOG, KRVU_MSGCODE_FILE, "wrote infeasible set %d to %s", num, filename);
    return 0;
  });
}

}  // extern "C"
