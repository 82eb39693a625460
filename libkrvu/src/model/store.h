// The model store of a problem: what the user built, held in our own arrays
// (the engine gets a copy in one bulk call when a solve needs it), and the
// state of the last solve.
//
// Layout (every array indexed by column or row; all indices 0-based):
//  - columns: obj, lb, ub, coltype ('C' continuous, 'B' binary, 'I' integer,
//    'S' semi-continuous, 'R' semi-integer, 'P' partially integer) and
//    threshold (S, R: the column is 0 or in [threshold, ub]; P: integer up to
//    threshold, continuous above; unused for C, B, I).  Infinite bounds are
//    +-KRVU_INFINITY.
//  - rows: rowtype ('L' <=, 'G' >=, 'E' =, 'R' range, 'N' free), rhs, range
//    (R rows: rhs - range <= a'x <= rhs, range >= 0; 0 for other types).
//  - matrix: column-wise (CSC): mstart has ncols+1 entries, rows of column j are
//    mrwind[mstart[j] .. mstart[j+1]), values dmatval; no explicit zeros, no
//    duplicate (row, column) pairs, rows within a column in increasing order.
//  - quadratic objective: objective = obj'x + 0.5 x'Qx - objrhs, Q symmetric;
//    held as the lower triangle column-wise: qstart (ncols+1 entries, or empty
//    when there is no quadratic objective), row indices qrow[k] >= column,
//    increasing within a column, values qval = Q[i][j] = Q[j][i].
//  - quadratic rows: row r reads a'x + x'Qx (no factor 0.5), Q symmetric, held
//    as triplets col1 <= col2 with value Q[col1][col2] (= Q[col2][col1]),
//    sorted by (col1, col2), no duplicates and no zeros.  qrows is sorted by row.
//  - sets: settype '1' or '2', setstart (nsets+1 entries), setcol, setref
//    (reference weights), setnames.
//  - indicators: indcol[r] is the indicator column of row r or -1, indcomp[r]
//    1 (row enforced when the column is 1) or -1 (when it is 0); both arrays
//    have one entry per row.
//  - general constraints: gentype (KRVU_GENCONS_*), genres (resultant column),
//    gencolstart/gencol (argument columns, ngencons+1 starts), genvalstart/genval
//    (constant arguments).  Piecewise-linear: pwlcol, pwlres, pwlstart (npwl+1),
//    pwlx, pwly (breakpoints).
//  - names: rownames/colnames hold one string per row/column, "" for an unnamed
//    one (queries then give a default name); setnames likewise.
//  - dirs: what the search is told beyond the model (mip/search/directives.h),
//    by column and row index.
//  - objsense 1 minimize, -1 maximize; objrhs as above (the objective constant is
//    -objrhs); probname.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "mip/search/directives.h"

struct krvu_prob_s;

namespace krvu {

struct QRow {
  int row = 0;
  std::vector<int> col1, col2;
  std::vector<double> val;
};

struct ModelData {
  std::string probname;
  double objsense = 1.0;
  double objrhs = 0.0;

  // columns
  std::vector<double> obj, lb, ub, threshold;
  std::vector<char> coltype;
  std::vector<std::string> colnames;

  // rows
  std::vector<char> rowtype;
  std::vector<double> rhs, range;
  std::vector<std::string> rownames;

  // linear matrix, column-wise
  std::vector<int64_t> mstart{0};
  std::vector<int> mrwind;
  std::vector<double> dmatval;

  // quadratic objective, lower triangle column-wise
  std::vector<int64_t> qstart;
  std::vector<int> qrow;
  std::vector<double> qval;

  std::vector<QRow> qrows;

  // special ordered sets
  std::vector<char> settype;
  std::vector<int64_t> setstart{0};
  std::vector<int> setcol;
  std::vector<double> setref;
  std::vector<std::string> setnames;

  // indicator constraints, one entry per row
  std::vector<int> indcol;
  std::vector<int> indcomp;

  // general constraints
  std::vector<int> gentype, genres;
  std::vector<int64_t> gencolstart{0}, genvalstart{0};
  std::vector<int> gencol;
  std::vector<double> genval;

  // piecewise-linear constraints
  std::vector<int> pwlcol, pwlres;
  std::vector<int64_t> pwlstart{0};
  std::vector<double> pwlx, pwly;

  // directives, model cuts, delayed rows and secure vectors
  MipDirectives dirs;

  int ncols() const { return static_cast<int>(obj.size()); }
  int nrows() const { return static_cast<int>(rowtype.size()); }
  int64_t nelems() const { return mstart.back(); }
  int nsets() const { return static_cast<int>(settype.size()); }

  // Adds n columns / rows with default data (bounds [0, inf], type 'C',
  // objective 0; row type 'N', rhs 0), no coefficients and no names.
  void append_cols(int n);
  void append_rows(int n);

  // Fills the matrix from triplets (any order; duplicates are added together,
  // zeros dropped).  The row and column counts must already be set.
  void set_matrix_triplets(int64_t n, const int *row, const int *col, const double *val);
  // Fills the quadratic objective from triplets: each (i, j, v) sets
  // Q[i][j] = Q[j][i] = v, and repeated pairs ((j, i) counts as (i, j)) are
  // added together; zeros dropped.
  void set_qobj_triplets(int64_t n, const int *col1, const int *col2, const double *val);
  // Adds a quadratic row from triplets with the same convention as the
  // quadratic objective (entries of the pair (i, j) added together).
  void add_qrow_triplets(int row, int64_t n, const int *col1, const int *col2,
                         const double *val);

  // Checks sizes, index ranges and type characters; returns "" when the model
  // is consistent, else the first problem found.
  std::string validate() const;
};

// The row-wise copy of the matrix, built on demand.
struct RowMatrix {
  std::vector<int64_t> start;  // nrows+1
  std::vector<int> colind;     // increasing within a row
  std::vector<double> val;
};

struct SolverState;  // engine session and the last solution: lp/solver_state.h

// Everything a problem holds besides its controls.
struct ProbData {
  ModelData m;
  // Rows added since the column-wise matrix was last made whole are kept
  // row-wise here (rows pend_first .. nrows-1), so that adding rows one batch
  // at a time stays linear; compact() merges them.
  int pend_first = -1;
  RowMatrix pend;
  // Coefficients of columns added while rows were pending, column by column
  // with rows increasing (those columns have no other coefficients yet).
  std::vector<int> pcol_col, pcol_row;
  std::vector<double> pcol_val;
  // Row-wise copy of the whole matrix, valid while rows_valid.
  bool rows_valid = false;
  RowMatrix rows;

  // Name look-up tables (type 1 rows, 2 columns, 3 sets), built on demand.
  bool names_valid[3] = {false, false, false};
  std::unordered_map<std::string, int> name_index[3];

  std::unique_ptr<SolverState> solver;

  ProbData();
  ~ProbData();
};

// Replaces the whole model of a problem (a file that was read, a problem that
// was loaded); the model must pass validate() (checked; a failure throws
// krvu::Error with func in the text).  The solution and engine state are
// dropped, and the problem name is set from model.probname when it is not
// empty.
void replace_model(krvu_prob_s *prob, ModelData &&model, const char *func);

// The model for reading (file writers, copies); the matrix is column-wise and
// whole.  Valid until the problem is next changed.
// Merges rows (and columns) added in batches into the column-wise matrix.
void compact(ProbData &d);
// Coefficients, including those not merged yet.
int64_t total_elems(const ProbData &d);

const ModelData &read_model(krvu_prob_s *prob);
// The row-wise copy of the matrix, built when needed.
const RowMatrix &read_rows(krvu_prob_s *prob);

// The name of row i / column j / set k as queries give it (a default name
// when none was given).
std::string row_name(const ModelData &m, int i);
std::string col_name(const ModelData &m, int j);
std::string set_name(const ModelData &m, int k);

}  // namespace krvu
