/*
 * libkrvu's nonlinear solver.  A nonlinear problem (KSLPprob) is created over
 * an existing KRVUprob, which holds its linear part; the conventions of krvu.h
 * hold here too (0 on success, last-error texts, no printing).
 */
#ifndef KSLP_H
#define KSLP_H

#include "krvu.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct kslp_prob_s *KSLPprob;

/* Flags returned by KSLPcontrolcode. */
#define KSLP_CAFLAG_INT 0x1
#define KSLP_CAFLAG_DOUBLE 0x2
#define KSLP_CAFLAG_STRING 0x4
#define KSLP_CAFLAG_CONTROL 0x10
#define KSLP_CAFLAG_SKIP 0x200   /* pointer attributes: not readable as values */

/* Counted start and stop, like KRVUinit/KRVUfree (the library must be started). */
KRVU_API int KSLPinit(void);
KRVU_API int KSLPfree(void);

/* Creates a nonlinear problem over *prob (which must stay alive until the
 * nonlinear problem is destroyed). */
KRVU_API int KSLPcreateprob(KSLPprob *slp, KRVUprob *prob);
KRVU_API int KSLPdestroyprob(KSLPprob slp);
/* Last error: *code and the text into a buffer of 512 bytes. */
KRVU_API int KSLPgetlasterror(KSLPprob slp, int *code, char *errmsg);

/* Lists of the nonlinear solver's controls and attributes (KSLPgetcalist) and
 * of the interior-point solver's controls (KSLPgetIPMcalist).  Entry 0 is
 * unused; the list ends at an entry whose name is null.  Types and kinds come
 * from KSLPcontrolcode. */
typedef struct {
  int id;
  const char *name;
} KSLPcaentry;
KRVU_API int KSLPgetcalist(const KSLPcaentry **list);
KRVU_API int KSLPgetIPMcalist(const KSLPcaentry **list);
/* Identifier and KSLP_CAFLAG_* flags of a name (case-insensitive); an unknown
 * name fails. */
KRVU_API int KSLPcontrolcode(const char *name, int *id, int *flags);

KRVU_API int KSLPgetintcontrol(KSLPprob slp, int id, int *value);
KRVU_API int KSLPsetintcontrol(KSLPprob slp, int id, int value);
KRVU_API int KSLPgetdblcontrol(KSLPprob slp, int id, double *value);
KRVU_API int KSLPsetdblcontrol(KSLPprob slp, int id, double value);
/* value: a buffer of at least 2048 bytes (texts are cut to fit). */
KRVU_API int KSLPgetstrcontrol(KSLPprob slp, int id, char *value);
KRVU_API int KSLPsetstrcontrol(KSLPprob slp, int id, const char *value);
KRVU_API int KSLPsetdefaults(KSLPprob slp);
KRVU_API int KSLPcopycontrols(KSLPprob dest, KSLPprob src);

KRVU_API int KSLPgetintattrib(KSLPprob slp, int id, int *value);
KRVU_API int KSLPgetdblattrib(KSLPprob slp, int id, double *value);
KRVU_API int KSLPgetstrattrib(KSLPprob slp, int id, char *value);
/* 12601: the KRVUprob under this problem; 12602: the problem being evaluated
 * inside a user function (null outside one). */
KRVU_API int KSLPgetptrattrib(KSLPprob slp, int id, void **value);

/* ---------------------------------------------------------------------------
 * The nonlinear model and solving
 * ------------------------------------------------------------------------- */

/* Formula coefficients.  Coefficient k of row rowindex[k] is factor[k] times
 * the formula, times column colindex[k] unless that is the "no column" value
 * (attribute 12013, -1), when the formula stands alone.  The formula of
 * coefficient k is the postfix token stream type/value[formulastart[k] ..
 * formulastart[k+1]), which must end with its end token (type 0); the arrays
 * hold formulastart[ncoefs] tokens and are read no further.  parsed must be 1
 * (token form).  A coefficient at a (row, column) pair that has one already
 * replaces it.  factor may be null (all 1). */
KRVU_API int KSLPaddcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[],
                          const double factor[], const int formulastart[], int parsed,
                          const int type[], const double value[]);
/* The same after deleting every coefficient the problem had. */
KRVU_API int KSLPloadcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[],
                           const double factor[], const int formulastart[], int parsed,
                           const int type[], const double value[]);
/* Two-call sizing: rowindex and colindex null give *ncoefs; otherwise they
 * must hold *ncoefs entries, the value the first call gave. */
KRVU_API int KSLPgetcoefs(KSLPprob slp, int *ncoefs, int rowindex[], int colindex[]);
/* Deletes the coefficients at (rowindex[k], colindex[k]); a pair without one
 * fails (nothing is deleted then). */
KRVU_API int KSLPdelcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[]);
/* Sets the coefficient at (row, col) to the formula of ntokens tokens (type
 * null: removes it); factor null keeps the factor (1 for a new one). */
KRVU_API int KSLPchgcoef(KSLPprob slp, int row, int col, const double *factor, int parsed,
                         int ntokens, const int type[], const double value[]);
/* The formula at (row, col) into buffers of bufsize tokens; *ntokens its
 * length (the call fails when it does not fit). */
KRVU_API int KSLPgetcoefformula(KSLPprob slp, int row, int col, double *factor, int parsed,
                                int bufsize, int *ntokens, int type[], double value[]);
/* The text form: infix with + - * / ^ (or **), function names (exp, ln or
 * log, log10, sin, ..., min, max, pwl, and user functions by name) and column
 * names. */
KRVU_API int KSLPchgccoef(KSLPprob slp, int row, int col, const double *factor,
                          const char *formula);
/* The text of the formula at (row, col) into a buffer of flen bytes (cut to
 * fit, NUL-terminated). */
KRVU_API int KSLPgetccoef(KSLPprob slp, int row, int col, double *factor, char *formula,
                          int flen);
/* Value of the coefficient at (row, col) (factor, column and formula) at the
 * current point: the last solution, else the columns' initial values, else 0. */
KRVU_API int KSLPevaluatecoef(KSLPprob slp, int row, int col, double *value);
/* Value of a formula of ntokens tokens at the current point. */
KRVU_API int KSLPevaluateformula(KSLPprob slp, int parsed, int ntokens, const int type[],
                                 const double value[], double *result);

/* Strings (user-function names and linkages): *index receives the 1-based
 * index of the stored string. */
KRVU_API int KSLPsetstring(KSLPprob slp, int *index, const char *text);
/* Names of user functions (type 5) first..last: NUL-separated in names. */
KRVU_API int KSLPaddnames(KSLPprob slp, int type, const char *names, int first, int last);

/* User functions.  Each is described by the tokens (5, name string index)
 * (87, returns) (86, arguments: 19 value only, 110611 value and derivatives)
 * (5, linkage string index) (0, 0); ntokens tokens are read.  They are
 * numbered 1, 2, ... in the order added.  The address is called as
 *   double f(const double *values, void *info)                          (19)
 *   double f(const double *values, void *info, const double *deltas,
 *            double *results)                                           (110611)
 * the second writes the value to results[0] and d/dvalues[i] to results[i+1]
 * for each i with deltas[i] != 0 (partials left unwritten are found by
 * central differences).  A function that fails calls KSLPsetfuncerror(info):
 * the solve stops and fails. */
typedef double (*KSLPuserfunc)(const double *values, void *info);
typedef double (*KSLPuserfuncderiv)(const double *values, void *info, const double *deltas,
                                    double *results);
KRVU_API int KSLPadduserfuncs(KSLPprob slp, int nfuncs, int ntokens, const int type[],
                              const double value[]);
KRVU_API int KSLPchguserfuncaddress(KSLPprob slp, int number, void *address);
KRVU_API int KSLPsetuserfuncobject(KSLPprob slp, int number, void *object);
KRVU_API int KSLPgetuserfuncobject(KSLPprob slp, int number, void **object);
/* Inside a user function: the number of input values, of requested outputs
 * and derivatives, and the function's number. */
KRVU_API int KSLPgetfuncinfo(void *info, int *ninput, int *noutput, int *nderiv, int *number);
/* Inside a user function: id 12602 gives the nonlinear problem evaluated. */
KRVU_API int KSLPgetfuncobject(void *info, int id, void **object);
KRVU_API int KSLPsetfuncerror(void *info);

KRVU_API int KSLPgetrowstatus(KSLPprob slp, int row, int *status);
/* status null: back to no status bits. */
KRVU_API int KSLPchgrowstatus(KSLPprob slp, int row, const int *status);
/* Changes properties of a column; a null pointer leaves one unchanged.
 *  detrow         the row that determines the column (-1: none)
 *  initstepbound  step bound at the start of a solve (0: the solver's default)
 *  stepbound      current step bound (the next solve starts from it)
 *  penalty        weight of a proximal term penalty/2 * step^2 on the column
 *  damp           factor (0, 1] applied to its step bound when its step changes sign
 *  initvalue      start value of every solve (NaN: none)
 *  value          current value: the start of the next solve without initvalue
 *  tolset         tolerance set (0: the problem's tolerances; k: set k of KSLPaddtolsets)
 *  history        count of step sign changes seen (may be reset)
 *  converged      1 when the column's step has converged (may be reset)
 *  vartype        bits: 1 the column is held at its start value, 2 no step bound */
KRVU_API int KSLPchgvar(KSLPprob slp, int col, const int *detrow, const double *initstepbound,
                        const double *stepbound, const double *penalty, const double *damp,
                        const double *initvalue, const double *value, const int *tolset,
                        const int *history, const int *converged, const int *vartype);
/* The same properties (any pointer may be null), then: the last iteration at
 * which the step bound limited the column (-1: never), whether the column is
 * determined by a row (0/1), the column's index, and its last step. */
KRVU_API int KSLPgetvar(KSLPprob slp, int col, int *detrow, double *initstepbound,
                        double *stepbound, double *penalty, double *damp, double *initvalue,
                        double *value, int *tolset, int *history, int *converged, int *vartype,
                        int *lastactive, int *determined, int *index, double *laststep);
/* Forgets the solver properties of columns. */
KRVU_API int KSLPdelvars(KSLPprob slp, int ncols, const int colind[]);
/* The solution of the last nonlinear solve (any array may be null). */
KRVU_API int KSLPgetslpsol(KSLPprob slp, double x[], double slack[], double dual[],
                           double dj[]);
/* Solves the problem.  Flags: "" or "s" successive linear programming with the
 * second-order step; "l" first-order steps only; "g" accepted (a problem with
 * integer columns or sets is always searched: KSLPglobal). */
KRVU_API int KSLPnlpoptimize(KSLPprob slp, const char *flags);
/* Compiles every formula and checks the model (done by each solve). */
KRVU_API int KSLPconstruct(KSLPprob slp);
KRVU_API int KSLPunconstruct(KSLPprob slp);
KRVU_API int KSLPpostsolve(KSLPprob slp);
/* Asks a solve in progress (on another thread) to stop at its next iteration. */
KRVU_API int KSLPinterrupt(KSLPprob slp, int reason);

// ---- columns, determining columns, tolerance sets, coefficients, row and column information
/* Step-bound types, distribution factors, tolerance sets, row weights and
 * the row and column information belong to the SLP solver: the interior-point
 * solver (KSLP_CTRL_ALGORITHM) uses none of them and leaves no information. */
/* Column properties for many columns at once: for column colindex[k] its
 * vartype (KSLPchgvar bits), determining row (-1: none), cascade sequence
 * number (0: none), tolerance set, initial value (NaN: none) and initial step
 * bound (0: the default); any array but colindex may be null (left as it
 * is).  KSLPloadvars first forgets the properties of every column.  Nothing
 * changes when an entry is refused. */
KRVU_API int KSLPaddvars(KSLPprob slp, int ncols, const int colindex[], const int vartype[],
                         const int detrow[], const int seqnum[], const int tolindex[],
                         const double initvalue[], const double stepbound[]);
KRVU_API int KSLPloadvars(KSLPprob slp, int ncols, const int colindex[], const int vartype[],
                          const int detrow[], const int seqnum[], const int tolindex[],
                          const double initvalue[], const double stepbound[]);
/* How the step bound of a column is measured in each solve (values[k] its
 * size; values may be null for type 0 or 3). */
#define KSLP_DELTA_DEFAULT 0   /* the trust radius (control) times max(1, |start|) */
#define KSLP_DELTA_ABSOLUTE 1  /* values[k] */
#define KSLP_DELTA_RELATIVE 2  /* values[k] times max(1, |start|) */
#define KSLP_DELTA_NONE 3      /* no step bound */
KRVU_API int KSLPchgdeltatype(KSLPprob slp, int ncols, const int colindex[], const int deltatypes[],
                              const double values[]);
/* The most Newton steps a cascade takes on column col (0: the default, 50);
 * a column that reaches its own limit keeps the last step's value. */
KRVU_API int KSLPchgcascadenlimit(KSLPprob slp, int col, int limit);
/* Distribution factors: the coefficient of column colindex[k] in row
 * rowindex[k] in the first linearisation of a solve, where the row's
 * derivative with respect to that column is zero at the start (a product
 * of columns that all start at zero, for instance).  The column must appear
 * in the row when the problem is solved.  KSLPloaddfs first forgets them
 * all.  KSLPchgdf sets one (value null: removes it) and gives in *result
 * the factor then in force (0 for none); KSLPgetdf reads one (0 for none). */
KRVU_API int KSLPadddfs(KSLPprob slp, int ndfs, const int colindex[], const int rowindex[],
                        const double value[]);
KRVU_API int KSLPloaddfs(KSLPprob slp, int ndfs, const int colindex[], const int rowindex[],
                         const double value[]);
KRVU_API int KSLPchgdf(KSLPprob slp, int col, int row, const double *value, double *result);
KRVU_API int KSLPgetdf(KSLPprob slp, int col, int row, double *value);
/* Finds the order in which determined columns are cascaded: a column after
 * every determined column its determining row reads; among those free to go,
 * smaller sequence numbers first (columns without one last), then by index.
 * Columns that determine each other in a loop keep that order among
 * themselves (KSLPcascade repeats its passes for them).  Each solve cascades
 * in this order before every linearisation.  KSLPgetcascadeorder reads the
 * order found by the last KSLPcascadeorder (*ncols its length; cols may be
 * null). */
KRVU_API int KSLPcascadeorder(KSLPprob slp);
KRVU_API int KSLPgetcascadeorder(KSLPprob slp, int *ncols, int cols[]);
/* Tolerance sets: nine tolerances each, numbered 1, 2, ... in the order
 * added; a column naming set k (KSLPchgvar tolset) has converged when every
 * test whose status bit (1 << i) is set passes:
 *   0 |step| <= tol          1 |step| <= tol * max(1, |x|)
 *   2 change of the column's objective gradient <= tol
 *   3 the same <= tol * max(1, |gradient|)
 *   4 largest change of its coefficients in nonlinear rows <= tol
 *   5 the same <= tol * max(1, |coefficient|)
 *   6 |reduced cost| <= tol  7 |reduced cost| <= tol * max(1, |gradient|)
 *   8 |step| <= tol * its step bound
 * Sets added get the bits of their nonzero tolerances.  When every column of
 * a feasible iterate has converged (those without a set by the step
 * tolerance control) and one column at least names a set, the solve stops
 * locally optimal.  Deleting sets renumbers the later ones; columns naming
 * a deleted set go back to 0. */
KRVU_API int KSLPaddtolsets(KSLPprob slp, int ntolsets, const double tols[]);
KRVU_API int KSLPloadtolsets(KSLPprob slp, int ntolsets, const double tols[]);
KRVU_API int KSLPdeltolsets(KSLPprob slp, int ntolsets, const int index[]);
/* status or tols null: left as they are. */
KRVU_API int KSLPchgtolset(KSLPprob slp, int set, const int *status, const double tols[9]);
KRVU_API int KSLPgettolset(KSLPprob slp, int set, int *status, double tols[9]);
/* Row weights: the penalty on a row's errors is the penalty control times
 * its weight (positive; 1 by default; value null: back to 1). */
KRVU_API int KSLPchgrowwt(KSLPprob slp, int row, const double *value);
KRVU_API int KSLPgetrowwt(KSLPprob slp, int row, double *value);
/* What the last solve left for a row or a column.  info receives 16 bytes:
 * an 8-byte value (int64_t for type 1, double for type 2) followed by the
 * int type code.  Row types 1..13 and column types 1..8 (below). */
#define KSLP_ROWINFO_SLACK 1
#define KSLP_ROWINFO_DUAL 2
#define KSLP_ROWINFO_NUMPENALTYERRORS 3   /* iterations with a nonzero error */
#define KSLP_ROWINFO_MAXPENALTYERROR 4
#define KSLP_ROWINFO_TOTALPENALTYERROR 5
#define KSLP_ROWINFO_CURRENTPENALTYERROR 6
#define KSLP_ROWINFO_CURRENTPENALTYFACTOR 7
#define KSLP_ROWINFO_PENALTYCOLUMNPLUS 8  /* subproblem column, -1 none */
#define KSLP_ROWINFO_PENALTYCOLUMNPLUSVALUE 9
#define KSLP_ROWINFO_PENALTYCOLUMNPLUSDJ 10
#define KSLP_ROWINFO_PENALTYCOLUMNMINUS 11
#define KSLP_ROWINFO_PENALTYCOLUMNMINUSVALUE 12
#define KSLP_ROWINFO_PENALTYCOLUMNMINUSDJ 13
#define KSLP_COLINFO_VALUE 1
#define KSLP_COLINFO_RDJ 2
#define KSLP_COLINFO_DELTAINDEX 3  /* subproblem column, -1 held */
#define KSLP_COLINFO_DELTA 4       /* the last step */
#define KSLP_COLINFO_DELTADJ 5
#define KSLP_COLINFO_UPDATEROW 6   /* row whose coefficient changed most, -1 none */
#define KSLP_COLINFO_SB 7          /* step bound */
#define KSLP_COLINFO_SBDUAL 8
KRVU_API int KSLPgetrowinfo(KSLPprob slp, int infotype, int row, void *info);
KRVU_API int KSLPgetcolinfo(KSLPprob slp, int infotype, int col, void *info);
// ---- end of columns, determining columns, tolerance sets, coefficients, row and column information

#define KSLP_ATTR_ROWS 11999
#define KSLP_ATTR_COLS 12000
#define KSLP_ATTR_NOCOLUMN 12013
#define KSLP_ATTR_COEFFICIENTS 12016
#define KSLP_ATTR_NONLINEARROWS 12026
#define KSLP_ATTR_NLPSTATUS 12044
#define KSLP_ATTR_STATUS 12062
#define KSLP_ATTR_OBJVAL 12179
#define KSLP_ATTR_KRVUPROB 12601
#define KSLP_ATTR_CURRENTPROB 12602
#define KSLP_CTRL_ECHOLOG 12415
#define KSLP_CTRL_OBJSENSE 12146
#define KSLP_CTRL_ALGORITHM 12400
#define KSLP_CTRL_MAXITER 12401
#define KSLP_CTRL_LOG 12404
#define KSLP_CTRL_FEASTOL 12147
#define KSLP_CTRL_OBJTOL 12148
#define KSLP_CTRL_TIMELIMIT 12149
#define KSLP_CTRL_PENALTY 12150
#define KSLP_CTRL_STEPTOL 12500
#define KSLP_CTRL_KKTTOL 12501
#define KSLP_CTRL_TRUSTRADIUS 12502
#define KSLP_CTRL_HESSIAN 12503
#define KSLP_CTRL_MAXPENALTY 12504
#define KSLP_ATTR_ITERATIONS 12045
#define KSLP_ATTR_VALIDATION 12046
#define KSLP_ATTR_PENALTYVALUE 12047
#define KSLP_ATTR_KKT 12048

/* Values of the nonlinear status (attribute 12044). */
#define KSLP_NLPSTATUS_UNSTARTED 0
#define KSLP_NLPSTATUS_LOCALLY_OPTIMAL 1
#define KSLP_NLPSTATUS_OPTIMAL 2
#define KSLP_NLPSTATUS_LOCALLY_INFEASIBLE 3
#define KSLP_NLPSTATUS_INFEASIBLE 4
#define KSLP_NLPSTATUS_UNBOUNDED 5
#define KSLP_NLPSTATUS_UNFINISHED 6

/* ---------------------------------------------------------------------------
 * Files and copies of nonlinear problems
 * ------------------------------------------------------------------------- */

/* Writes the problem, its formulas, user-function names, column and row
 * properties and the nonlinear solver's controls to an MPS file with the
 * sections USERFUNCTIONS, FORMULAS, NLROWS, NLCOLUMNS, NLTOLSETS, NLDFS and
 * NLCONTROLS before
 * ENDATA (described in the library's io/README.md).  Flags as KRVUwriteprob
 * ('l' LP, 'm' MPS, 'p' fixed MPS, 'x' hexadecimal values, 'n' default names
 * for names the format cannot hold), and 'g', accepted and without effect.
 * A problem without nonlinear content (formulas, user functions, row or
 * column properties) gives a plain MPS (or LP) file without the sections; the
 * LP format cannot hold formulas, so writing one of a nonlinear problem
 * fails. */
KRVU_API int KSLPwriteprob(KSLPprob slp, const char *filename, const char *flags);
/* Reads an MPS or LP file (flags 'l' and 'm' as KRVUreadprob) into the
 * problem: the linear part into the problem under it and the nonlinear
 * sections (if any) into this one, replacing the whole nonlinear model.  A
 * file that fails leaves both as they were; errors name the file and line.
 * User functions read have names but no addresses
 * (KSLPchguserfuncaddress). */
KRVU_API int KSLPreadprob(KSLPprob slp, const char *filename, const char *flags);
/* Copies the nonlinear model of src (formulas, user functions with their
 * addresses and objects, row and column properties) into dest, whose linear
 * part must already be a copy of src's (KRVUcopyprob).  Controls are copied
 * by KSLPcopycontrols.  probname: null or empty keeps dest's name. */
KRVU_API int KSLPcopyprob(KSLPprob dest, KSLPprob src, const char *probname);
/* Save files of nonlinear problems: the library's save file of the linear
 * part (KRVUsaveas) together with the nonlinear model, the nonlinear
 * solver's controls and its last solution, in one file.  KSLPsave uses the
 * problem's name with ".svf".  KSLPrestore reads such a file (probname as
 * KRVUrestore), or a save file of a linear problem (the nonlinear model is
 * then emptied and the nonlinear controls kept). */
KRVU_API int KSLPsave(KSLPprob slp);
KRVU_API int KSLPsaveas(KSLPprob slp, const char *filename);
KRVU_API int KSLPrestore(KSLPprob slp, const char *probname);
/* The last nonlinear solution as a text solution file (".slx", the format of
 * KRVUwriteslxsol); flags must be empty. */
KRVU_API int KSLPwriteslxsol(KSLPprob slp, const char *filename, const char *flags);


/* ---- Determined columns and validation of points ---------------------- */
/* Sets every column that has a determining row (KSLPchgvar detrow) from that
 * row at the point the problem holds (the last solution, otherwise the
 * columns' start or current values): Newton steps on the column until the
 * row's activity meets its right-hand side (for an inequality row, until it
 * is within its limits).  Columns determined by rows reading other
 * determined columns are repeated until nothing moves.  The results become
 * the columns' current values (KSLPgetvar 'value').  Fails, changing
 * nothing, when a column does not appear in its row or cannot be solved. */
KRVU_API int KSLPcascade(KSLPprob slp);
/* Measures the point vector (one value per column): suminf is the sum of the
 * violations of column bounds and row limits (formulas evaluated at the
 * point), sumscaledinf the same with each violation divided by
 * max(1, |violated limit|), objval the objective as stated.  Any output may
 * be null. */
KRVU_API int KSLPvalidatevector(KSLPprob slp, const double vector[], double *suminf,
                                double *sumscaledinf, double *objval);
/* ---- end of determined columns and validation ------------------------- */

/* ---- validation and solving ---------------------------------------------
 * "The current point" below is the last solution when it fits the model,
 * otherwise each column's start or current value (KSLPchgvar), else 0.
 * Results are attributes (12110..12118) and lines sent to the message
 * callbacks; the functions that print only send such lines. */
/* Measures the current point: every row (formulas evaluated) and bound, the
 * largest and summed violation, the row and column of the largest
 * (attributes 12110..12113) and 12115: 0 when within kslp_feastol. */
KRVU_API int KSLPvalidate(KSLPprob slp);
/* The same for one row, with its activity, limits and terms in the log. */
KRVU_API int KSLPvalidaterow(KSLPprob slp, int row);
/* The optimality conditions at the current point.  calculationmode 0 uses
 * the multipliers of the last solve, 1 computes the multipliers that
 * minimise the largest residual (an LP).  respectbasisstatus 1 counts a row
 * active only where the last solve's multiplier is non-zero, 0 where the row
 * is within kslp_feastol of a limit.  updatemultipliers 1 keeps computed
 * multipliers as the solution's duals and reduced costs.  The relative
 * residual goes to attribute 12114; 12115 is 0 when it is at most
 * kktviolationtarget. */
KRVU_API int KSLPvalidatekkt(KSLPprob slp, int calculationmode, int respectbasisstatus,
                             int updatemultipliers, double kktviolationtarget);
/* Holds the error columns of the nonlinear rows at the errors the current
 * point needs (0 for a row it satisfies) in every later subproblem, until
 * KSLPreinitialize.  *status: 0 all errors held at 0, 1 some rows are
 * violated and keep their error. */
KRVU_API int KSLPfixpenalties(KSLPprob slp, int *status);
/* Tightens column bounds through the linear rows (activity bounds, repeated
 * until nothing moves); later solves use them while the model's bounds stay
 * as they were.  Bit 29 of attribute 12062 is set until KSLPpostsolve.
 * Linear rows and bounds that admit no point fail, changing nothing. */
KRVU_API int KSLPpresolve(KSLPprob slp);
/* Scale factors (powers of 2) of the nonlinear rows from their gradients at
 * the current point; the subproblems of later solves are scaled by them. */
KRVU_API int KSLPscaling(KSLPprob slp);
/* Forgets the last solve: solution, current values, step bounds, histories,
 * convergence flags, held errors and the linearisation; the next solve starts
 * from the initial values. */
KRVU_API int KSLPreinitialize(KSLPprob slp);
/* Makes the current point every column's initial value. */
KRVU_API int KSLPsetcurrentiv(KSLPprob slp);
/* Rebuilds the linearisation (values and gradients of the nonlinear rows and
 * the objective) at the current point. */
KRVU_API int KSLPupdatelinearization(KSLPprob slp);
/* Log lines: evaluation counts (formula values, gradients, user-function
 * calls, solves) and the linearisation held. */
KRVU_API int KSLPprintevalinfo(KSLPprob slp);
/* Log lines: memory held by the nonlinear problem, by part. */
KRVU_API int KSLPprintmemory(KSLPprob slp);
/* Mixed-integer nonlinear problems (integer, binary, semi-continuous,
 * semi-integer or partially integer columns, special ordered sets):
 * KSLPnlpoptimize (any flags) and KSLPglobal run the library's
 * branch-and-bound with a nonlinear solve of each node's relaxation (on a
 * working copy), firing the problem's MIP callbacks (intsol, prenode,
 * optnode, newnode, ...).  The MIP attributes of the problem under it
 * (1011 status, 2003 best objective, 2002 best bound, 1008 nodes) and
 * 12116..12118 hold the result; the nonlinear solution is that of the best
 * integer point with its integer columns fixed.  Bounds are valid for
 * convex problems only.  KSLPglobal of a continuous problem is a solve. */
KRVU_API int KSLPglobal(KSLPprob slp);
#define KSLP_ATTR_VALIDATIONMAX 12110
#define KSLP_ATTR_VALIDATIONSUM 12111
#define KSLP_ATTR_VALIDATIONROW 12112
#define KSLP_ATTR_VALIDATIONCOL 12113
#define KSLP_ATTR_VALIDATIONKKT 12114
#define KSLP_ATTR_VALIDATIONSTATUS 12115
#define KSLP_ATTR_NODES 12116
#define KSLP_ATTR_MIPSTATUS 12117
#define KSLP_ATTR_BESTBOUND 12118
/* ---- end of validation and solving ------------------------------------ */

/* ---- the local solver: successive linear programming or interior point ----
 * Control KSLP_CTRL_ALGORITHM (kslp_algorithm) chooses the local solver of
 * KSLPnlpoptimize.  The interior-point solver (Ipopt) is present only when the
 * library was built with it: asking for it otherwise fails with a last-error
 * text that says so, and the automatic choice then takes the SLP solver.  Its
 * controls are the second list (KSLPgetIPMcalist). */
#define KSLP_ALGORITHM_SLP 0
#define KSLP_ALGORITHM_IPM 1
#define KSLP_ALGORITHM_AUTO 2 /* interior point when present, else SLP */
#define KSLP_CTRL_IPM_MAXITER 22001
#define KSLP_CTRL_IPM_TOL 22002
#define KSLP_CTRL_IPM_PRINTLEVEL 22003
#define KSLP_CTRL_IPM_ACCEPTABLETOL 22004
#define KSLP_CTRL_IPM_MUSTRATEGY 22005 /* 0 monotone, 1 adaptive (default) */
#define KSLP_CTRL_IPM_HESSIAN 22006    /* 0 exact (default), 1 quasi-Newton */
#define KSLP_CTRL_IPM_SECONDORDER 22007 /* 1 (default): a run ending at a saddle point goes on */
#define KSLP_CTRL_IPM_OUTPUTFILE 22013
/* *available: 1 when the interior-point solver is built in, else 0. */
KRVU_API int KSLPipmavailable(int *available);


/* ---- callbacks and multistart ------------------------------------------
 * The nonlinear solver's callbacks, one per kind of the table below (slot,
 * kind, return type, the parameters after (slp, data), the same as call
 * arguments, rule).  KSLPsetcb<kind>(slp, f, data) sets the kind's callback
 * (f null clears it); a second call replaces the first.  Each is called as
 * f(slp, data, ...) with the problem being solved (a multistart job's working
 * copy, on a worker thread, when jobs run).  Unless a kind says otherwise, a
 * non-zero int result stops the solve (nonlinear status unfinished).
 *   cascadestart/cascadeend  around each cascade of determined columns
 *   cascadevar      after column col was set from its determining row
 *   cascadevarfail  column col could not be set from its row; 0 keeps going
 *                   with its old value, non-zero stops
 *   coefevalerror   the formula at (row, col) evaluated to NaN or infinity,
 *                   or a user function in it failed
 *   construct       at the end of KSLPconstruct (each solve constructs)
 *   destroy         when the problem is destroyed (result ignored)
 *   drcol           for a determined column col: value as its row gives it,
 *                   and its bounds; *newvalue (set to value on entry)
 *                   becomes the column's value
 *   iterstart/iterend  before and after each iteration of the solver
 *   itervar         after each iteration, for every column
 *   msjobstart      before a multistart job runs; *status non-zero skips it
 *   msjobend        after it ran; *status non-zero discards its result
 *   mswinner        once, for the job whose result was kept
 *   slpstart/slpend at the start and the end of KSLPnlpoptimize
 *   message         log lines (result none); len is strlen(msg)
 *   slpnode/intsol/optnode/prenode  the nodes of a search with integer
 *                   columns: at each node; at each new incumbent; after a
 *                   node's relaxation (*feasible 0 marks it infeasible);
 *                   before it (*infeasible non-zero drops the node)
 * The job object and description are those given to KSLPmsaddjob. */
#define KSLP_CB_EXPAND(...) __VA_ARGS__
#define KSLP_CB_KINDS(X)                                                                      \
  X(19, cascadeend, int, (), (), INTRET)                                                     \
  X(20, cascadestart, int, (), (), INTRET)                                                   \
  X(21, cascadevar, int, (, int col), (, col), INTNAMED)                                     \
  X(22, cascadevarfail, int, (, int col), (, col), INTNAMED)                                 \
  X(23, coefevalerror, int, (, int row, int col), (, row, col), INTNAMED)                    \
  X(24, construct, int, (), (), INTRET)                                                      \
  X(25, destroy, int, (), (), INTRET)                                                        \
  X(26, drcol, int, (, int col, double value, double lb, double ub, double *newvalue),       \
    (, col, value, lb, ub, newvalue), DRCOL)                                                 \
  X(27, iterend, int, (), (), INTRET)                                                        \
  X(28, iterstart, int, (), (), INTRET)                                                      \
  X(29, itervar, int, (, int col), (, col), NAMEDIGNORE)                                     \
  X(30, msjobend, int, (, void *job, const char *description, int *status),                 \
    (, job, description, status), MSJOB)                                                     \
  X(31, msjobstart, int, (, void *job, const char *description, int *status),               \
    (, job, description, status), MSJOB)                                                     \
  X(32, mswinner, int, (, void *job, const char *description), (, job, description),        \
    MSWINNER)                                                                                \
  X(33, slpend, int, (), (), INTRET)                                                         \
  X(34, slpnode, int, (), (), INTRET)                                                        \
  X(35, slpstart, int, (), (), INTRET)                                                       \
  X(36, message, void, (, const char *msg, int len, int msgtype), (, msg, len, msgtype),    \
    MESSAGE)                                                                                 \
  X(37, intsol, int, (), (), INTRET)                                                         \
  X(38, optnode, int, (, int *feasible), (, feasible), INTOUT)                               \
  X(39, prenode, int, (, int *infeasible), (, infeasible), INTOUT)

#define KSLP_CB_FIRST_SLOT 19
#define KSLP_CB_KIND_COUNT 21

#define KSLP_CB_DECLARE(slot, kind, ret, params, args, rule)                  \
  typedef ret (*KSLP_cb##kind)(KSLPprob slp, void *data KSLP_CB_EXPAND params); \
  KRVU_API int KSLPsetcb##kind(KSLPprob slp, KSLP_cb##kind f, void *data);
KSLP_CB_KINDS(KSLP_CB_DECLARE)
#undef KSLP_CB_DECLARE

/* Multistart.  Jobs queued on a problem run when KSLPnlpoptimize starts: each
 * on a working copy of the problem (its model, controls and callbacks), with
 * its own start values and controls, on up to `threads` (control 8020 of the
 * problem under it; 0: one per processor) workers.  The best result (one
 * within the feasibility tolerance first, then the better objective, then
 * the smaller violation) becomes the problem's solution and attributes, and
 * the mswinner callback is told of its job.  When no job leaves a result the
 * problem is solved once from its own start.  Jobs stay queued (every solve
 * runs them) until KSLPmsclear.  A callback that stops a job's solve, or an
 * interrupt of the problem, stops the whole run.  A job:
 *   description  a text (copied)
 *   ninitial, colind, initval  start values of columns (as KSLPchgvar initvalue)
 *   nint, intid, intval; ndbl, dblid, dblval  controls of the problem under
 *                the nonlinear one or of the nonlinear solver, set on the copy
 *   job          the caller's object, handed to the msjob callbacks
 * Arrays may be null when their count is 0. */
KRVU_API int KSLPmsaddjob(KSLPprob slp, const char *description, int ninitial,
                          const int colind[], const double initval[], int nint,
                          const int intid[], const int intval[], int ndbl, const int dblid[],
                          const double dblval[], void *job);
/* Presets: count jobs each.
 *   INITIALVALUES  random start points, uniform within the column bounds; where
 *                  a bound is infinite, within 10 * max(1, |start|) of the
 *                  column's start (initial value, else 0)
 *   INITIALFILTERED  the same drawn from four times as many points, keeping
 *                  those of least violation (then best objective)
 *   SOLVERS        each local solver once (SLP, and interior point when built
 *                  in); count caps the number
 *   SLP_BASIC / SLP_EXTENDED  the SLP solver with varied trust radius and
 *                  second-order step (extended: also the penalty, and random
 *                  starts from the fifth job on)
 *   IPM_BASIC / IPM_EXTENDED  the interior-point solver with varied
 *                  tolerances (extended: also random starts); fails when it
 *                  is not built in
 * Random points come from a generator seeded by the problem's count of jobs
 * added so far: the same calls give the same jobs. */
#define KSLP_MSSET_INITIALVALUES 0
#define KSLP_MSSET_SOLVERS 1
#define KSLP_MSSET_SLP_BASIC 2
#define KSLP_MSSET_SLP_EXTENDED 3
#define KSLP_MSSET_IPM_BASIC 4
#define KSLP_MSSET_IPM_EXTENDED 5
#define KSLP_MSSET_INITIALFILTERED 6
KRVU_API int KSLPmsaddpreset(KSLPprob slp, const char *description, int preset, int count,
                             void *job);
/* A preset whose jobs also get the start values and controls given (these
 * win over the preset's own). */
KRVU_API int KSLPmsaddcustompreset(KSLPprob slp, const char *description, int preset, int count,
                                   int ninitial, const int colind[], const double initval[],
                                   int nint, const int intid[], const int intval[], int ndbl,
                                   const int dblid[], const double dblval[], void *job);
/* Empties the queue. */
KRVU_API int KSLPmsclear(KSLPprob slp);
/* The function called with a job's object when the job leaves the queue (by
 * KSLPmsclear or the problem's destruction); null: none. */
KRVU_API int KSLPmssetjobrelease(KSLPprob slp, void (*release)(void *job));
/* Number of jobs queued. */
KRVU_API int KSLPmsjobs(KSLPprob slp, int *count);
/* ---- end of callbacks and multistart ---------------------------------- */

#ifdef __cplusplus
}
#endif

#endif /* KSLP_H */
