/*
 * libkrvu: linear, mixed-integer and quadratic optimization.
 *
 * Conventions shared by every function below:
 *  - Every function returns an int: 0 on success, non-zero on failure.  After a
 *    failure the text of what went wrong is read with KRVUgetlasterror (functions
 *    taking a problem) or KRVU_ge_getlasterror (functions of the global
 *    environment).  Texts name the offending argument and, where there is one,
 *    the index.
 *  - Handles are opaque.  A problem is created by KRVUcreateprob and released by
 *    KRVUdestroyprob; destroying is allowed even after KRVUfree.
 *  - The library never prints.  Log lines go to the message callbacks of the
 *    problem that logs them (KRVUaddcbmessage) and to the global message
 *    handlers (KRVU_ge_addcbmsghandler).
 *  - Arrays passed in are read only and never kept; arrays passed out are filled
 *    up to the documented size.  Where a query says "two-call sizing", passing a
 *    null array with a non-null count pointer returns the size needed.
 *  - Indices are 0-based.  Functions may be called from any thread; a single
 *    problem must not be used by two threads at once.
 *  - Text buffers: versions need 32 bytes, banners 512, last errors 512, names
 *    the maximum name length attribute times 8 plus 1.
 */
#ifndef KRVU_H
#define KRVU_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KRVU_API __attribute__((visibility("default")))

typedef struct krvu_prob_s *KRVUprob;
typedef struct krvu_bo_s *KRVUbranchobject;

#define KRVU_INFINITY 1.0e20

/* Error codes (the return value of a failing call). */
#define KRVU_ERR_ARGUMENT 1     /* an argument is out of range or null */
#define KRVU_ERR_STATE 2        /* the call is not allowed now */
#define KRVU_ERR_NOMEMORY 3     /* out of memory */
#define KRVU_ERR_FILE 4         /* a file could not be read or written */
#define KRVU_ERR_SOLVER 5       /* the engine failed */
#define KRVU_ERR_INTERNAL 6     /* a fault of the library itself */
#define KRVU_ERR_NOTINIT 7      /* KRVUinit has not been called */

/* Value types of controls and attributes. */
#define KRVU_TYPE_NOTDEFINED 0
#define KRVU_TYPE_INT 1
#define KRVU_TYPE_INT64 2
#define KRVU_TYPE_DOUBLE 3
#define KRVU_TYPE_STRING 4

/* Flags of a KRVUgetcalist_c entry. */
#define KRVU_CAFLAG_INT 0x1
#define KRVU_CAFLAG_DOUBLE 0x2
#define KRVU_CAFLAG_STRING 0x4
#define KRVU_CAFLAG_INT64 0x8
#define KRVU_CAFLAG_CONTROL 0x20

/* Message types passed to message callbacks. */
#define KRVU_MSG_LOG 1
#define KRVU_MSG_WARNING 3
#define KRVU_MSG_ERROR 4

/* ---------------------------------------------------------------------------
 * Global environment
 * ------------------------------------------------------------------------- */

/* Starts the library.  Calls are counted: every KRVUinit needs a KRVUfree.
 * path: reserved, pass null. */
KRVU_API int KRVUinit(const char *path);
/* One stop request; the last one releases the global state (problems that still
 * exist stay valid for destruction and queries). */
KRVU_API int KRVUfree(void);

/* Global message handler.  object: the problem (or other handle) that sent the
 * message, null for the environment itself; thread: reserved (null); msg: the
 * text without newline; msgtype: KRVU_MSG_*; msgcode: a message number (0 when
 * there is none).  Handlers run in decreasing priority, and for equal priority in
 * the order they were added.  The return value is ignored. */
typedef int (*KRVU_ge_msghandler)(void *object, void *userdata, void *thread,
                                  const char *msg, int msgtype, int msgcode);
KRVU_API int KRVU_ge_addcbmsghandler(KRVU_ge_msghandler f, void *userdata, int priority);
/* As KRVU_ge_addcbmsghandler; the library owns userdata from here on:
 * release(userdata) (may be null) runs once the registration is removed and
 * no call of it is in progress, on the thread that finishes last.  Removing a
 * handler while another thread is calling it is therefore safe. */
KRVU_API int KRVU_ge_addcbmsghandler_owned(KRVU_ge_msghandler f, void *userdata, int priority,
                                          void (*release)(void *userdata));
/* Removes every registration of f whose user data matches; userdata null
 * matches any.  Fails when nothing matched. */
KRVU_API int KRVU_ge_removecbmsghandler(KRVU_ge_msghandler f, void *userdata);
/* The last error of the global environment of the calling thread.  msg may be
 * null to learn the length; *msglength (optional) gets the length without the
 * terminating zero.  The text is cut to maxbytes-1 characters. */
KRVU_API int KRVU_ge_getlasterror(int *code, char *msg, int maxbytes, int *msglength);
KRVU_API int KRVU_ge_setarchconsistency(int ifarchconsistent);
KRVU_API int KRVU_ge_getarchconsistency(int *ifarchconsistent);

KRVU_API int KRVUgetversion(char *version);   /* "major.minor.patch", 32 bytes */
KRVU_API int KRVUgetversionnumbers(int *major, int *minor, int *build);
KRVU_API int KRVUgetbanner(char *banner);     /* one line, 512 bytes */
KRVU_API int KRVUgetcheckedmode(int *checkedmode);
KRVU_API int KRVUsetcheckedmode(int checkedmode);
/* Type name of a handle the library gave out: "KRVUprob", "KSLPprob" or
 * "KRVUbranchobject".  Fails for anything else. */
KRVU_API int KRVUgetobjecttypename(const void *object, const char **name);

/* ---------------------------------------------------------------------------
 * Problems
 * ------------------------------------------------------------------------- */

KRVU_API int KRVUcreateprob(KRVUprob *prob);
KRVU_API int KRVUdestroyprob(KRVUprob prob);
KRVU_API int KRVUsetprobname(KRVUprob prob, const char *name);
/* name: at least the problem-name length attribute (1158) plus 1 bytes. */
KRVU_API int KRVUgetprobname(KRVUprob prob, char *name);
/* Last error of a problem into a buffer of 512 bytes ("" when there is none). */
KRVU_API int KRVUgetlasterror(KRVUprob prob, char *errmsg);

/* Problem message callback: msg is the text, len its length, msgtype KRVU_MSG_*.
 * Callbacks run in decreasing priority. */
typedef void (*KRVU_cbmessage)(KRVUprob prob, void *data, const char *msg, int len,
                               int msgtype);
KRVU_API int KRVUaddcbmessage(KRVUprob prob, KRVU_cbmessage f, void *data, int priority);
/* Removes matching registrations (f null: any function; data null: any data). */
KRVU_API int KRVUremovecbmessage(KRVUprob prob, KRVU_cbmessage f, void *data);

/* ---------------------------------------------------------------------------
 * Controls and attributes
 * ------------------------------------------------------------------------- */

/* The list of every control and attribute, ending with an entry whose id is 0.
 * flags: KRVU_CAFLAG_*.  The list is static and lives as long as the process. */
typedef struct {
  int id;
  const char *name;
  int flags;
} KRVUcaentry;
KRVU_API int KRVUgetcalist_c(const KRVUcaentry **list);

/* Look up a control or attribute by its (case-insensitive) name.  *type gets
 * KRVU_TYPE_*; an unknown name gives id 0 and type KRVU_TYPE_NOTDEFINED and
 * succeeds. */
KRVU_API int KRVUgetcontrolinfo(KRVUprob prob, const char *name, int *id, int *type);
KRVU_API int KRVUgetattribinfo(KRVUprob prob, const char *name, int *id, int *type);
/* Help text of a control or attribute (static, never null on success). */
KRVU_API int KRVUgetcahelp(int id, const char **help);
/* The values a numeric control accepts, lo <= value <= hi (fails for
 * attributes and text controls). */
KRVU_API int KRVUgetcarange(int id, double *lo, double *hi);

KRVU_API int KRVUgetintcontrol(KRVUprob prob, int id, int *value);
KRVU_API int KRVUgetintcontrol64(KRVUprob prob, int id, int64_t *value);
KRVU_API int KRVUsetintcontrol(KRVUprob prob, int id, int value);
KRVU_API int KRVUsetintcontrol64(KRVUprob prob, int id, int64_t value);
KRVU_API int KRVUgetdblcontrol(KRVUprob prob, int id, double *value);
KRVU_API int KRVUsetdblcontrol(KRVUprob prob, int id, double value);
/* value may be null to learn *nbytes (the length plus 1). */
KRVU_API int KRVUgetstringcontrol(KRVUprob prob, int id, char *value, int maxbytes,
                                  int *nbytes);
KRVU_API int KRVUsetstrcontrol(KRVUprob prob, int id, const char *value);
KRVU_API int KRVUsetdefaultcontrol(KRVUprob prob, int id);
KRVU_API int KRVUsetdefaults(KRVUprob prob);
KRVU_API int KRVUcopycontrols(KRVUprob dest, KRVUprob src);
/* Logs every control whose value differs from its default. */
KRVU_API int KRVUdumpcontrols(KRVUprob prob);

KRVU_API int KRVUgetintattrib(KRVUprob prob, int id, int *value);
KRVU_API int KRVUgetintattrib64(KRVUprob prob, int id, int64_t *value);
KRVU_API int KRVUgetdblattrib(KRVUprob prob, int id, double *value);
KRVU_API int KRVUgetstringattrib(KRVUprob prob, int id, char *value, int maxbytes,
                                 int *nbytes);

/* Identifiers of the controls and attributes (the full table is in
 * libkrvu/src/params/table.cpp). */
#define KRVU_ATTR_ROWS 1001
#define KRVU_ATTR_SETS 1004
#define KRVU_ATTR_SETMEMBERS 1005
#define KRVU_ATTR_LPSTATUS 1010
#define KRVU_ATTR_MIPSTATUS 1011
#define KRVU_ATTR_COLS 1018
#define KRVU_ATTR_SPAREROWS 1019
#define KRVU_ATTR_NAMELENGTH 1028
#define KRVU_ATTR_MIPENTS 1032
#define KRVU_ATTR_ORIGINALROWS 1124
#define KRVU_ATTR_PROBNAMELENGTH 1158
#define KRVU_ATTR_ORIGINALSETS 1194
#define KRVU_ATTR_ORIGINALCOLS 1214
#define KRVU_ATTR_INDICATORS 1325
#define KRVU_ATTR_GENCONS 1327
#define KRVU_ATTR_LPOBJVAL 2001
#define KRVU_ATTR_MIPBESTOBJVAL 2003

#define KRVU_CTRL_OUTPUTLOG 8035

/* ===========================================================================
 * Files (libkrvu/src/io)
 * ========================================================================= */

/* Reads a problem file, replacing the problem's model.  The format comes from
 * flags ("l": LP format, "m": MPS, free or fixed detected) or, without either,
 * from the file name (".lp", ".mps"; a trailing ".gz" is read compressed).
 * A malformed file fails with the file name, line number and what was expected. */
KRVU_API int KRVUreadprob(KRVUprob prob, const char *filename, const char *flags);
/* Writes the problem.  flags: "l" LP format (else MPS), "x" hexadecimal values
 * for an exact round trip, "p" fixed MPS (else free MPS), "n" names the format
 * cannot hold (spaces in free MPS, more than 8 characters in fixed MPS, LP
 * names such as "001", repeated names) are written under default names with
 * a warning; without "n" they fail the write, naming the object.  Without "l"
 * and "m", a ".lp" file name selects the LP format. */
KRVU_API int KRVUwriteprob(KRVUprob prob, const char *filename, const char *flags);

/* ===========================================================================
 * Model and solving (libkrvu/src/model, lp, mip)
 * ========================================================================= */

/* The model.  Columns have an objective coefficient, bounds (+-KRVU_INFINITY
 * for none) and a type: 'C' continuous, 'B' binary, 'I' integer, 'S'
 * semi-continuous (0 or between its limit and its upper bound), 'R'
 * semi-integer (0 or an integer between its limit and its upper bound), 'P'
 * partially integer (integer up to its limit, continuous above).  Rows have a
 * type: 'L' (a'x <= rhs), 'G' (>=), 'E' (=), 'R' (rhs - range <= a'x <= rhs,
 * range >= 0) or 'N' (free), a right-hand side and a range.
 * The objective is obj'x + 0.5 x'Qx - c, where c is the objective's
 * right-hand side, addressed as column -1 by KRVUchgobj.
 * Quadratic objective triplets (col1, col2, value) with col1 != col2 set both
 * Q[col1][col2] and Q[col2][col1]; a quadratic row reads a'x + x'Qx (no 0.5).
 *
 * Matrices are passed column-wise (columns) or row-wise (rows) with 64-bit
 * starts: start[k] is the first coefficient of column (row) k, and the last
 * one ends at start[k+1], or at ncoefs for the last.  Unless said otherwise a
 * null array means: objective 0, right-hand side 0, range 0, lower bound 0,
 * upper bound KRVU_INFINITY, type 'C', no names.  Coefficients below the
 * matrix tolerance (control matrixtol) are dropped; repeated (row, column)
 * pairs are added together.
 *
 * Changing the model after a solve drops the solution: the statuses go back
 * to unstarted and the solution queries fail until the next solve.
 * --------------------------------------------------------------------------- */

/* Replaces the whole model by a linear one.  mnel (optional) gives the count
 * of each column; without it, mstart has ncols+1 entries and column j ends at
 * mstart[j+1].  mstart may be null when the matrix is empty; rowtype and rhs
 * are required when nrows > 0. */
KRVU_API int KRVUloadlp(KRVUprob prob, const char *probname, int ncols, int nrows,
                        const char rowtype[], const double rhs[], const double range[],
                        const double obj[], const int mstart[], const int mnel[],
                        const int mrwind[], const double dmatval[], const double lb[],
                        const double ub[]);
KRVU_API int KRVUloadlp64(KRVUprob prob, const char *probname, int ncols, int nrows,
                          const char rowtype[], const double rhs[], const double range[],
                          const double obj[], const int64_t mstart[], const int mnel[],
                          const int mrwind[], const double dmatval[], const double lb[],
                          const double ub[]);
/* As KRVUloadlp64, with nqobj quadratic objective triplets. */
KRVU_API int KRVUloadqp64(KRVUprob prob, const char *probname, int ncols, int nrows,
                          const char rowtype[], const double rhs[], const double range[],
                          const double obj[], const int64_t mstart[], const int mnel[],
                          const int mrwind[], const double dmatval[], const double lb[],
                          const double ub[], int64_t nqobj, const int qcol1[],
                          const int qcol2[], const double qval[]);
/* As KRVUloadqp64, with nqrows quadratic rows: qrows[k] is the row, qcnquads[k]
 * the number of its triplets, which follow one another in qcmqcol1, qcmqcol2,
 * qcdqval. */
KRVU_API int KRVUloadqcqp64(KRVUprob prob, const char *probname, int ncols, int nrows,
                            const char rowtype[], const double rhs[], const double range[],
                            const double obj[], const int64_t mstart[], const int mnel[],
                            const int mrwind[], const double dmatval[], const double lb[],
                            const double ub[], int64_t nqobj, const int qcol1[],
                            const int qcol2[], const double qval[], int nqrows,
                            const int qrows[], const int64_t qcnquads[], const int qcmqcol1[],
                            const int qcmqcol2[], const double qcdqval[]);
/* As KRVUloadlp64, with nentities global entities (entity k makes column
 * entcols[k]'s type entcoltype[k], one of B I S R P, with limit entlim[k] for
 * S R P; entlim may be null: limit 0 for S and R, the upper bound for P) and
 * nsets special ordered sets (settype '1' or '2', setstart nsets+1 starts into
 * setcols and setref, the members and their reference weights). */
KRVU_API int KRVUloadglobal64(KRVUprob prob, const char *probname, int ncols, int nrows,
                              const char rowtype[], const double rhs[], const double range[],
                              const double obj[], const int64_t mstart[], const int mnel[],
                              const int mrwind[], const double dmatval[], const double lb[],
                              const double ub[], int nentities, int nsets,
                              const char entcoltype[], const int entcols[], const double entlim[],
                              const char settype[], const int64_t setstart[],
                              const int setcols[], const double setref[]);
KRVU_API int KRVUloadqglobal64(KRVUprob prob, const char *probname, int ncols, int nrows,
                               const char rowtype[], const double rhs[], const double range[],
                               const double obj[], const int64_t mstart[], const int mnel[],
                               const int mrwind[], const double dmatval[], const double lb[],
                               const double ub[], int64_t nqobj, const int qcol1[],
                               const int qcol2[], const double qval[], int nentities, int nsets,
                               const char entcoltype[], const int entcols[],
                               const double entlim[], const char settype[],
                               const int64_t setstart[], const int setcols[],
                               const double setref[]);
KRVU_API int KRVUloadqcqpglobal64(
    KRVUprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
    const double rhs[], const double range[], const double obj[], const int64_t mstart[],
    const int mnel[], const int mrwind[], const double dmatval[], const double lb[],
    const double ub[], int64_t nqobj, const int qcol1[], const int qcol2[], const double qval[],
    int nqrows, const int qrows[], const int64_t qcnquads[], const int qcmqcol1[],
    const int qcmqcol2[], const double qcdqval[], int nentities, int nsets,
    const char entcoltype[], const int entcols[], const double entlim[], const char settype[],
    const int64_t setstart[], const int setcols[], const double setref[]);

/* Appends rows (row-wise coefficients) / columns (column-wise).  rowtype and
 * rhs are required when nrows > 0. */
KRVU_API int KRVUaddrows64(KRVUprob prob, int nrows, int64_t ncoefs, const char rowtype[],
                           const double rhs[], const double range[], const int64_t start[],
                           const int colind[], const double rowcoef[]);
KRVU_API int KRVUaddcols64(KRVUprob prob, int ncols, int64_t ncoefs, const double obj[],
                           const int64_t start[], const int rowind[], const double colcoef[],
                           const double lb[], const double ub[]);
/* Deletes rows / columns (any order, repeats allowed); the others keep their
 * order and are renumbered. */
KRVU_API int KRVUdelrows(KRVUprob prob, int nrows, const int rowind[]);
KRVU_API int KRVUdelcols(KRVUprob prob, int ncols, const int colind[]);

/* Names.  type: 1 rows, 2 columns, 3 sets.  names holds last-first+1 names one
 * after the other, each zero-terminated.  An unnamed row, column or set reads
 * as R1, C1, S1 ... (1-based). */
KRVU_API int KRVUaddnames(KRVUprob prob, int type, const char names[], int first, int last);
KRVU_API int KRVUaddsetnames(KRVUprob prob, const char names[], int first, int last);
/* names: room for the names (KRVUgetnamelist gives the exact size). */
KRVU_API int KRVUgetnames(KRVUprob prob, int type, char names[], int first, int last);
/* Two-call sizing: names null gives *nbytes, the bytes needed; otherwise
 * maxbytes is the buffer's size and must be at least that. */
KRVU_API int KRVUgetnamelist(KRVUprob prob, int type, char names[], int maxbytes, int *nbytes,
                             int first, int last);
/* *index gets the row/column/set with that name, or -1 when there is none
 * (not a failure). */
KRVU_API int KRVUgetindex(KRVUprob prob, int type, const char *name, int *index);

/* Replaces dest's model by a copy of src's (controls, callbacks and solution
 * are not copied); probname null keeps src's name. */
KRVU_API int KRVUcopyprob(KRVUprob dest, KRVUprob src, const char *probname);

/* Queries over an inclusive range first..last. */
KRVU_API int KRVUgetobj(KRVUprob prob, double obj[], int first, int last);
KRVU_API int KRVUgetrhs(KRVUprob prob, double rhs[], int first, int last);
KRVU_API int KRVUgetrhsrange(KRVUprob prob, double range[], int first, int last);
KRVU_API int KRVUgetlb(KRVUprob prob, double lb[], int first, int last);
KRVU_API int KRVUgetub(KRVUprob prob, double ub[], int first, int last);
KRVU_API int KRVUgetrowtype(KRVUprob prob, char rowtype[], int first, int last);
KRVU_API int KRVUgetcoltype(KRVUprob prob, char coltype[], int first, int last);
/* Rows (columns) first..last.  Two-call sizing: with start, ind and val all
 * null, *ncoefs gets the number of coefficients.  Otherwise start (if not
 * null) gets last-first+2 entries and at most maxcoefs coefficients are
 * written to ind and val; *ncoefs gets the total. */
KRVU_API int KRVUgetrows64(KRVUprob prob, int64_t start[], int colind[], double rowcoef[],
                           int64_t maxcoefs, int64_t *ncoefs, int first, int last);
KRVU_API int KRVUgetcols64(KRVUprob prob, int64_t start[], int rowind[], double colcoef[],
                           int64_t maxcoefs, int64_t *ncoefs, int first, int last);
KRVU_API int KRVUgetcoef(KRVUprob prob, int row, int col, double *coef);

/* Changes.  Index arrays address columns (mindex of chgobj, chgbounds,
 * chgcoltype, chgglblimit) or rows (chgrhs, chgrhsrange, chgrowtype). */
/* mindex -1 sets the objective's right-hand side (the constant is its
 * negation). */
KRVU_API int KRVUchgobj(KRVUprob prob, int n, const int mindex[], const double obj[]);
/* objsense 1 minimizes; any other value maximizes. */
KRVU_API int KRVUchgobjsense(KRVUprob prob, int objsense);
KRVU_API int KRVUchgrhs(KRVUprob prob, int n, const int mindex[], const double rhs[]);
/* Makes the rows range rows: an L row keeps rhs as its upper limit, a G row
 * its rhs as the lower limit (rhs becomes rhs + rng), an E row becomes
 * rhs - rng <= a'x <= rhs.  rng >= 0. */
KRVU_API int KRVUchgrhsrange(KRVUprob prob, int n, const int mindex[], const double rng[]);
KRVU_API int KRVUchgrowtype(KRVUprob prob, int n, const int mindex[], const char qrtype[]);
/* qbtype: 'L' lower, 'U' upper, 'B' both bounds. */
KRVU_API int KRVUchgbounds(KRVUprob prob, int n, const int mindex[], const char qbtype[],
                           const double bnd[]);
/* 'B' also brings the bounds into [0, 1]; a column made S or R gets limit 0,
 * one made P its upper bound, until KRVUchgglblimit sets it. */
KRVU_API int KRVUchgcoltype(KRVUprob prob, int n, const int mindex[], const char qctype[]);
KRVU_API int KRVUchgglblimit(KRVUprob prob, int n, const int mindex[], const double dlimit[]);
/* Sets coefficients (0 removes one; for a repeated pair the last value wins). */
KRVU_API int KRVUchgmcoef(KRVUprob prob, int n, const int mrow[], const int mcol[],
                          const double dval[]);
KRVU_API int KRVUchgcoef(KRVUprob prob, int row, int col, double value);

/* Quadratic objective (0.5 x'Qx): chgmqobj64 sets Q[col1][col2] = Q[col2][col1]
 * (a value of 0 removes the pair; for a repeated pair the last value wins). */
KRVU_API int KRVUchgmqobj64(KRVUprob prob, int64_t n, const int mqcol1[], const int mqcol2[],
                            const double dval[]);
KRVU_API int KRVUchgmqobj(KRVUprob prob, int n, const int mqcol1[], const int mqcol2[],
                          const double dval[]);
KRVU_API int KRVUchgqobj(KRVUprob prob, int col1, int col2, double value);
KRVU_API int KRVUgetqobj(KRVUprob prob, int col1, int col2, double *value);
/* The columns first..last of the whole symmetric Q (both triangles), sized
 * like KRVUgetcols64. */
KRVU_API int KRVUgetmqobj64(KRVUprob prob, int64_t start[], int colind[], double objqcoef[],
                            int64_t maxcoefs, int64_t *ncoefs, int first, int last);
/* The same with 32-bit starts and counts.  Both take the empty range
 * first = 0, last = -1 of a problem without columns (no entries). */
KRVU_API int KRVUgetmqobj(KRVUprob prob, int start[], int colind[], double objqcoef[],
                          int maxcoefs, int *ncoefs, int first, int last);

/* Quadratic rows (a'x + x'Qx): addqmatrix64 adds to row's Q (entries of one
 * pair are added together), delqmatrix removes row's Q (-1: every row's),
 * chgqrowcoeff sets one pair. */
KRVU_API int KRVUaddqmatrix64(KRVUprob prob, int row, int64_t n, const int mqc1[],
                              const int mqc2[], const double dqe[]);
KRVU_API int KRVUdelqmatrix(KRVUprob prob, int row);
KRVU_API int KRVUchgqrowcoeff(KRVUprob prob, int row, int col1, int col2, double value);
KRVU_API int KRVUgetqrowcoeff(KRVUprob prob, int row, int col1, int col2, double *value);
/* Columns first..last of row's symmetric Q (both triangles), sized like
 * KRVUgetcols64 with 32-bit starts. */
KRVU_API int KRVUgetqrowqmatrix(KRVUprob prob, int row, int start[], int colind[], double dqe[],
                                int maxcoefs, int *ncoefs, int first, int last);
/* Row's Q as upper-triangle triplets (col1 <= col2); null arrays to size. */
KRVU_API int KRVUgetqrowqmatrixtriplets(KRVUprob prob, int row, int *nqelem, int mqcol1[],
                                        int mqcol2[], double dqe[]);
/* The rows with quadratic parts, in increasing order; qcrows may be null. */
KRVU_API int KRVUgetqrows(KRVUprob prob, int *nrows, int qcrows[]);

/* Special ordered sets: settype '1' or '2'; start (nsets entries, the last set
 * ends at nelems) into colind and refval (reference weights).  Members are
 * ordered by reference weight.  KRVUmipoptimize solves them through an exact
 * binary reformulation, which needs finite bounds on the members. */
KRVU_API int KRVUaddsets64(KRVUprob prob, int nsets, int64_t nelems, const char settype[],
                           const int64_t start[], const int colind[], const double refval[]);
KRVU_API int KRVUdelsets(KRVUprob prob, int nsets, const int sets[]);
/* Global entities (non-continuous columns, in column order: type, column,
 * limit) and sets (type, nsets+1 starts, members, weights).  Null arrays are
 * skipped; call with all null to learn *nentities and *nsets (the members
 * count is attribute setmembers). */
KRVU_API int KRVUgetglobal64(KRVUprob prob, int *nentities, int *nsets, char coltype[],
                             int colind[], double limit[], char settype[], int64_t setstart[],
                             int setcols[], double refval[]);

/* Indicator constraints: row rowind[k] holds only when column colind[k] is 1
 * (complement 1) or 0 (complement -1); complement 0 makes it a plain row. */
KRVU_API int KRVUsetindicators(KRVUprob prob, int n, const int rowind[], const int colind[],
                               const int complement[]);
/* For rows first..last: the indicator column (-1 for none) and complement (0
 * for none); either array may be null. */
KRVU_API int KRVUgetindicators(KRVUprob prob, int inds[], int comps[], int first, int last);
KRVU_API int KRVUdelindicators(KRVUprob prob, int first, int last);

/* General constraints: resultant = max/min/and/or of the argument columns and
 * constant values, or abs of its one argument column. */
#define KRVU_GENCONS_MAX 0
#define KRVU_GENCONS_MIN 1
#define KRVU_GENCONS_AND 2
#define KRVU_GENCONS_OR 3
#define KRVU_GENCONS_ABS 4
/* colstart and valstart have n entries; the last constraint's arguments end at
 * ncols and nvals.  KRVUmipoptimize solves them through an exact reformulation
 * (big-M values from the bounds of the columns involved, which must be finite). */
KRVU_API int KRVUaddgencons64(KRVUprob prob, int n, int64_t ncols, int64_t nvals,
                              const int type[], const int resultant[], const int64_t colstart[],
                              const int col[], const int64_t valstart[], const double val[]);
/* Constraints first..last, sized by two calls: *ncols and *nvals get the
 * totals; colstart and valstart get last-first+2 entries; at most colsize
 * columns and valsize values are written.  Null arrays are skipped. */
KRVU_API int KRVUgetgencons64(KRVUprob prob, int type[], int resultant[], int64_t colstart[],
                              int col[], int64_t colsize, int64_t *ncols, int64_t valstart[],
                              double val[], int64_t valsize, int64_t *nvals, int first, int last);
KRVU_API int KRVUdelgencons(KRVUprob prob, int n, const int gencons[]);
/* Piecewise-linear constraints resultant = f(col), f through the points
 * (xval, yval) sorted by x; start has n entries, the last ends at npoints.
 * Beyond the first and last points f continues along the first and last
 * segments; with no segment there (a single point, or a jump at the end) col
 * cannot go beyond that point.  At a jump (two points with the same x) both
 * values are allowed. */
KRVU_API int KRVUaddpwlcons64(KRVUprob prob, int n, int64_t npoints, const int col[],
                              const int resultant[], const int64_t start[], const double xval[],
                              const double yval[]);
/* Constraints first..last: start gets last-first+2 entries, at most size
 * points are written, *npoints gets the total. */
KRVU_API int KRVUgetpwlcons64(KRVUprob prob, int col[], int resultant[], int64_t start[],
                              double xval[], double yval[], int64_t size, int64_t *npoints,
                              int first, int last);
KRVU_API int KRVUdelpwlcons(KRVUprob prob, int n, const int pwlcons[]);

/* ---------------------------------------------------------------------------
 * Solving
 *
 * Status attribute KRVU_ATTR_LPSTATUS takes KRVU_LP_*, KRVU_ATTR_MIPSTATUS
 * KRVU_MIP_* and attribute 1009 (stopstatus) KRVU_STOP_*.  Solves that end
 * infeasible, unbounded or early succeed (return 0); the statuses tell.  A
 * nonconvex quadratic objective fails with LP status KRVU_LP_NONCONVEX.
 * ------------------------------------------------------------------------- */
#define KRVU_LP_UNSTARTED 0
#define KRVU_LP_OPTIMAL 1
#define KRVU_LP_INFEAS 2
#define KRVU_LP_CUTOFF 3
#define KRVU_LP_UNFINISHED 4
#define KRVU_LP_UNBOUNDED 5
#define KRVU_LP_CUTOFF_IN_DUAL 6
#define KRVU_LP_UNSOLVED 7
#define KRVU_LP_NONCONVEX 8

#define KRVU_MIP_NOT_LOADED 0
#define KRVU_MIP_LP_NOT_OPTIMAL 1
#define KRVU_MIP_LP_OPTIMAL 2
#define KRVU_MIP_NO_SOL_FOUND 3
#define KRVU_MIP_SOLUTION 4
#define KRVU_MIP_INFEAS 5
#define KRVU_MIP_OPTIMAL 6
#define KRVU_MIP_UNBOUNDED 7

#define KRVU_STOP_NONE 0
#define KRVU_STOP_TIMELIMIT 1
#define KRVU_STOP_CTRLC 2
#define KRVU_STOP_NODELIMIT 3
#define KRVU_STOP_ITERLIMIT 4
#define KRVU_STOP_MIPGAP 5
#define KRVU_STOP_SOLLIMIT 6
#define KRVU_STOP_USER 9

/* Solves the problem as continuous (integer restrictions, sets and indicators
 * relaxed; general and piecewise-linear constraints dropped).  flags: 'd' dual
 * simplex, 'p' primal simplex, 'b' interior point; otherwise the lpalgorithm
 * control chooses.  Other characters are ignored.  Quadratic rows are refused
 * (the nonlinear solver takes them).  The last basis starts the next solve. */
KRVU_API int KRVUlpoptimize(KRVUprob prob, const char *flags);
/* Solves with every integer restriction: columns B, I, S, R and P, sets,
 * indicators, general and piecewise-linear constraints.  What the engine does
 * not take itself (sets, indicators, general and piecewise-linear constraints,
 * partially integer columns, semi-continuous or semi-integer columns above its
 * 1e5 upper-bound limit) is solved through an exact reformulation with extra
 * binaries and rows; one that would need an infinite bound is refused, naming
 * the row, column or set.  A quadratic objective with integer columns is
 * refused for now.  flags as for KRVUlpoptimize (for the relaxations). */
KRVU_API int KRVUmipoptimize(KRVUprob prob, const char *flags);
/* Asks a running solve to stop at its next check; reason becomes the stop
 * status (KRVU_STOP_*; 0 counts as KRVU_STOP_CTRLC).  May be called from any
 * thread, including from callbacks. */
KRVU_API int KRVUinterrupt(KRVUprob prob, int reason);
/* The problem is always held in its original form; nothing to undo. */
KRVU_API int KRVUpostsolve(KRVUprob prob);
/* Fixes every non-continuous column at its value in the best integer
 * solution (options 1: integer kinds rounded to the nearest integer). */
KRVU_API int KRVUfixglobals(KRVUprob prob, int options);

/* Solutions.  Output arrays may be null when not wanted; x and dj have one
 * entry per column, slack and dual one per row.  slack = rhs - activity.  The
 * duals and reduced costs are the objective's rates of change (dj = c + Qx -
 * A'dual).  The calls fail when no solution is available (nothing solved since
 * the last change). */
KRVU_API int KRVUgetlpsol(KRVUprob prob, double x[], double slack[], double dual[], double dj[]);
/* The problem is always held in its original form, so this is KRVUgetlpsol. */
KRVU_API int KRVUgetpresolvesol(KRVUprob prob, double x[], double slack[], double dual[],
                                double dj[]);
/* The last solution (of whichever algorithm ran) and the LP status it had. */
KRVU_API int KRVUgetlastbarsol(KRVUprob prob, double x[], double slack[], double dual[],
                               double dj[], int *barsolstatus);
/* One entry: col (or -1 for none) gives x and dj, row (or -1) slack and dual;
 * values of an index given as -1 are -KRVU_INFINITY. */
KRVU_API int KRVUgetlpsolval(KRVUprob prob, int col, int row, double *x, double *slack,
                             double *dual, double *dj);
/* The best integer solution (also inside an intsol callback: the new one). */
KRVU_API int KRVUgetmipsol(KRVUprob prob, double x[], double slack[]);
KRVU_API int KRVUgetmipsolval(KRVUprob prob, int col, int row, double *x, double *slack);

/* Basis statuses: 0 nonbasic at the lower bound (rows: at the lower limit of
 * the activity), 1 basic, 2 nonbasic at the upper bound (limit), 3 nonbasic
 * free (superbasic, at zero).  One entry per row and per column. */
KRVU_API int KRVUgetbasis(KRVUprob prob, int rstatus[], int cstatus[]);
KRVU_API int KRVUgetbasisval(KRVUprob prob, int row, int col, int *rstatus, int *cstatus);
/* Loads a basis that starts the next solve; it needs one basic entry per row. */
KRVU_API int KRVUloadbasis(KRVUprob prob, const int rstatus[], const int cstatus[]);
/* The problem is always held in its original form: these are KRVUgetbasis and
 * KRVUloadbasis. */
KRVU_API int KRVUgetpresolvebasis(KRVUprob prob, int rstatus[], int cstatus[]);
KRVU_API int KRVUloadpresolvebasis(KRVUprob prob, const int rstatus[], const int cstatus[]);

/* Rays after an unbounded (primal, one entry per column) or infeasible (dual,
 * one per row) result: *hasray gets 1 when there is one; ray may be null to
 * ask only. */
KRVU_API int KRVUgetprimalray(KRVUprob prob, double ray[], int *hasray);
KRVU_API int KRVUgetdualray(KRVUprob prob, double ray[], int *hasray);
/* *seq gets the column that enters along the unbounded direction (rows first,
 * then columns: column j is rows + j) after an unbounded result of the primal
 * simplex (flag 'p'), else -1. */
KRVU_API int KRVUgetunbvec(KRVUprob prob, int *seq);
/* Infeasibilities of the LP solution: counts of primal infeasible columns and
 * rows, dual infeasible rows and columns; each index array (may be null) gets
 * its count of entries.  The scaled form is the same (solutions are held
 * unscaled). */
KRVU_API int KRVUgetinfeas(KRVUprob prob, int *npv, int *nps, int *nds, int *ndv, int mx[],
                           int mslack[], int mdual[], int mdj[]);
KRVU_API int KRVUgetscaledinfeas(KRVUprob prob, int *npv, int *nps, int *nds, int *ndv, int mx[],
                                 int mslack[], int mdual[], int mdj[]);

/* Evaluation of given vectors against the model. */
KRVU_API int KRVUcalcslacks(KRVUprob prob, const double solution[], double slacks[]);
/* solution may be null without a quadratic objective. */
KRVU_API int KRVUcalcreducedcosts(KRVUprob prob, const double duals[], const double solution[],
                                  double djs[]);
KRVU_API int KRVUcalcobjective(KRVUprob prob, const double solution[], double *objval);
#define KRVU_SOLINFO_ABSPRIMALINFEAS 0
#define KRVU_SOLINFO_RELPRIMALINFEAS 1
#define KRVU_SOLINFO_ABSDUALINFEAS 2
#define KRVU_SOLINFO_RELDUALINFEAS 3
#define KRVU_SOLINFO_MAXMIPFRACTIONAL 4
/* *value gets the largest violation of the kind property (KRVU_SOLINFO_*). */
KRVU_API int KRVUcalcsolinfo(KRVUprob prob, const double solution[], const double dual[],
                             int property, double *value);
/* Loads a solution (null arrays: x 0, slacks and reduced costs computed, duals
 * 0); it becomes the LP solution.  *status (may be null) gets 0. */
KRVU_API int KRVUloadlpsol(KRVUprob prob, const double x[], const double slack[],
                           const double dual[], const double dj[], int *status);
/* MIP starts: a full solution (one value per column) or, with mipsolcol, a
 * partial one; the last one given starts the next KRVUmipoptimize.  solname is
 * kept for logs and may be null.  *status (may be null) gets 0. */
KRVU_API int KRVUloadmipsol(KRVUprob prob, const double dsol[], int *status);
KRVU_API int KRVUaddmipsol(KRVUprob prob, int n, const double mipsolval[], const int mipsolcol[],
                           const char *solname);
/* Called for each improving integer solution during KRVUmipoptimize, possibly
 * on an engine thread; KRVUgetmipsol inside it reads the new solution. */
typedef void (*KRVU_cbintsol)(KRVUprob prob, void *data);
KRVU_API int KRVUaddcbintsol(KRVUprob prob, KRVU_cbintsol f, void *data, int priority);
/* Removes matching registrations (f null: any function; data null: any data). */
KRVU_API int KRVUremovecbintsol(KRVUprob prob, KRVU_cbintsol f, void *data);

#ifdef __cplusplus
}
#endif

#endif /* KRVU_H */
