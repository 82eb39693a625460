// One engine instance with its own copy of a model, for a search thread:
// options are set once, bounds and rows are edited in place, the basis is read
// and set explicitly, and the factorisation is kept from one solve to the
// next while only bounds change.  Results stay in the worker; nothing here
// touches a user's problem.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>


namespace krvu {

struct LpBasis {
  std::vector<int> col, row;  // engine status codes
  // Ids of the cuts the rows past the model's were, when the owner adds and
  // removes cut rows (the basis is then mapped onto the rows there are).
  std::vector<int64_t> cuts;
  bool empty() const { return col.empty(); }
};

enum class LpOutcome { kOptimal, kInfeasible, kUnbounded, kLimit, kInterrupted, kError };

// A model in the engine's terms: minimization, +-inf for infinite limits,
// the matrix column-wise, the quadratic objective (0.5 x'Qx) as its lower
// triangle column-wise (empty when there is none).
struct LpModel {
  int ncols = 0, nrows = 0;
  std::vector<double> cost, lb, ub, rlo, rup;
  std::vector<int> astart{0}, aindex;
  std::vector<double> aval;
  std::vector<int> qstart, qindex;
  std::vector<double> qval;
  double offset = 0;
};

struct LpWorkerOptions {
  double feastol = 1e-6;
  double opttol = 1e-7;
  double timelimit = 0;  // seconds; <= 0 or infinite: none
  int threads = 1;
  int qp_iterlimit = 1000000;
};

class LpWorker {
 public:
  // The model is taken as a continuous relaxation.  interrupt, when set,
  // stops a solve under way.
  LpWorker(const LpModel &m, const LpWorkerOptions &opt, const std::atomic<bool> *interrupt);
  ~LpWorker();
  LpWorker(const LpWorker &) = delete;
  LpWorker &operator=(const LpWorker &) = delete;

  int ncols() const { return ncols_; }
  int nrows() const { return nrows_; }
  bool quadratic() const { return quadratic_; }

  void set_col_bounds(int n, const int *cols, const double *lo, const double *up);
  void set_row_bounds(int n, const int *rows, const double *lo, const double *up);
  // Appends rows given row-wise; returns the index of the first.
  int add_rows(int n, const double *lo, const double *up, const std::vector<int64_t> &start,
               const std::vector<int> &ind, const std::vector<double> &val);
  void delete_rows_from(int first);
  // Deletes the given rows (increasing); the basis the engine holds keeps
  // the statuses of the other rows.
  void delete_rows(const std::vector<int> &rows);

  // Solves from the basis the engine holds; iterlimit < 0 means none.
  // Deadline: seconds on the worker's clock after which a solve stops.
  LpOutcome solve(int iterlimit = -1);
  double objective() const { return obj_; }
  int64_t iterations() const { return iters_; }
  const std::vector<double> &x() const { return x_; }
  const std::vector<double> &row_activity() const { return ract_; }
  const std::vector<double> &row_dual() const { return rdual_; }
  const std::vector<double> &col_dual() const { return cdual_; }

  void get_basis(LpBasis &b) const;
  // False when the engine refused the basis (it then starts from its own).
  bool set_basis(const LpBasis &b);
  void set_time_left(double seconds);

  // Tableau access for cut generation (after an optimal solve).
  bool basic_variables(std::vector<int> &basic) const;
  // Row r of B^-1 A over the columns (dense, ncols) and of B^-1 (dense, nrows).
  bool tableau_row(int r, std::vector<double> &cols, std::vector<double> &binv) const;
  // Row r of B^-1 only (dense, nrows).
  bool binv_row(int r, std::vector<double> &binv) const;

  void *engine() const { return h_; }

 private:
  void *h_;
  int ncols_, nrows_;
  bool quadratic_;
  double obj_ = 0;
  int64_t iters_ = 0;
  int last_limit_ = -2;
  std::vector<double> x_, cdual_, ract_, rdual_;
  const std::atomic<bool> *interrupt_;
};

}  // namespace krvu
