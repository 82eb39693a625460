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

// ---- directives, model cuts, delayed rows
/* What the library's search (KRVUmipoptimize) is told beyond the model.
 *  - Directives, per column: a priority (lower values are branched on first;
 *    a column without a directive has KRVU_DIR_DEFAULTPRIORITY), a preferred
 *    direction ('U' the up branch first, 'D' the down branch first, 'N' the
 *    search chooses) and initial pseudo-costs up and down (the objective's
 *    degradation per unit of change that reliability branching starts from,
 *    instead of probing the column; negative: none).  They act on the
 *    integer kinds (B, I, S, R, P); on a continuous column they are kept
 *    and unused.
 *  - Model cuts: rows the node relaxations leave out until a relaxation
 *    solution violates them.  Delayed rows: rows left out until a candidate
 *    solution (integer feasible) violates them.  Either way every solution
 *    the search accepts satisfies them; once added, a row stays in.
 *  - Secure rows and columns: presolve must not remove them.  The library
 *    holds the problem in its original form and maps every presolve of the
 *    engine back to it, so they are always kept; they are recorded with the
 *    problem like the rest.
 * Directives, model cuts or delayed rows make the automatic choice of
 * KRVUmipoptimize (control mipsolver 0) the library's search; the engine's
 * MIP solver (mipsolver 2) enforces model cuts and delayed rows as ordinary
 * rows and has no use for directives.  Deleting columns or rows drops what
 * referred to them and renumbers the rest.  The presolved problem is the
 * original one, so the presolve variants are the plain functions. */
#define KRVU_DIR_DEFAULTPRIORITY 500
/* Replaces every directive by ndirs new ones for columns mcols (a column
 * given twice: the later entry).  mpri (priorities >= 0), qbr, dupc and
 * ddpc may each be null: default priority, 'N', no pseudo-costs. */
KRVU_API int KRVUloaddirs(KRVUprob prob, int ndirs, const int mcols[], const int mpri[],
                          const char qbr[], const double dupc[], const double ddpc[]);
KRVU_API int KRVUloadpresolvedirs(KRVUprob prob, int ndirs, const int mcols[], const int mpri[],
                                  const char qbr[], const double dupc[], const double ddpc[]);
/* The directives by increasing column.  Two-call sizing: with every array
 * null *ndirs gets their number; otherwise each non-null array gets *ndirs
 * entries (its size must be at least the number). */
KRVU_API int KRVUgetdirs(KRVUprob prob, int *ndirs, int mcols[], int mpri[], char qbr[],
                         double dupc[], double ddpc[]);
/* The columns to branch on first: each gets priority 0 (a column that has a
 * directive keeps its priority) and the direction mbranch[k] (> 0 up first,
 * < 0 down first, 0 the search chooses; mbranch null: 0 for all).  Other
 * directives stay. */
KRVU_API int KRVUloadbranchdirs(KRVUprob prob, int ncols, const int mcols[], const int mbranch[]);
/* Marks rows and columns as secure (added to those marked before). */
KRVU_API int KRVUloadsecurevecs(KRVUprob prob, int nrows, int ncols, const int mrow[],
                                const int mcol[]);
/* Marks rows as model cuts / delayed rows (added to those marked before; a
 * row marked the other way changes kind).  Indicator rows and free (N) rows
 * cannot be either. */
KRVU_API int KRVUloadmodelcuts(KRVUprob prob, int nmodcuts, const int mrows[]);
KRVU_API int KRVUloaddelayedrows(KRVUprob prob, int nrows, const int mrows[]);
/* Directives files (format in libkrvu/src/io/README.md); an empty filename
 * means the problem's name with ".dir".  Reading replaces every directive
 * and fails, leaving them as they were, on a malformed line or an unknown
 * column (file, line and name in the text). */
KRVU_API int KRVUreaddirs(KRVUprob prob, const char *filename);
KRVU_API int KRVUwritedirs(KRVUprob prob, const char *filename);

/* ===========================================================================
 * Messages (libkrvu/src/core/messages.cpp)
 * ========================================================================= */

/* Numbered messages.  Log lines of the library that carry a number reach the
 * global handlers with it as msgcode; a problem can suppress them by number.
 * Engine log lines and lines without a number (msgcode 0) are not affected. */
#define KRVU_MSGCODE_LPSUMMARY 101   /* the closing line of an LP solve */
#define KRVU_MSGCODE_IIS 201         /* progress of the infeasibility analysis */
#define KRVU_MSGCODE_IISSUMMARY 202  /* a set found */
#define KRVU_MSGCODE_REPAIR 301      /* phases of an infeasibility repair */
#define KRVU_MSGCODE_TUNER 401       /* a line of the tuner's table */
#define KRVU_MSGCODE_TUNERSUMMARY 402 /* the tuner's result */
#define KRVU_MSGCODE_CROSSOVER 501   /* result of a crossover or refinement */
#define KRVU_MSGCODE_FILE 601        /* a solution, basis or save file read or written */

/* status 0 suppresses the messages numbered errcode on this problem (they reach
 * neither its callbacks, nor the global handlers, nor its log file); any
 * other status shows them again.  errcode must be positive. */
KRVU_API int KRVUsetmessagestatus(KRVUprob prob, int errcode, int status);
/* *status gets 0 when messages numbered errcode are suppressed, else 1. */
KRVU_API int KRVUgetmessagestatus(KRVUprob prob, int errcode, int *status);
/* Appends every log line of the problem to the file (one per line, flushed
 * each time), whether or not the outputlog control passes it on to the
 * callbacks; suppressed numbers are not written.  This sets the logfile
 * control, after checking that the file can be opened for appending (a file
 * that cannot fails here, naming it).  A null or empty filename stops. */
KRVU_API int KRVUsetlogfile(KRVUprob prob, const char *filename);

/* ===========================================================================
 * Basis, factorisation and sensitivity (libkrvu/src/lp, libkrvu/src/analysis)
 *
 * The basis matrix B has one column per row: for a basic column j its matrix
 * column, for a basic row i the unit vector e_i of its slack (the slack of
 * row i is rhs - activity, so the rows read A x + s = rhs).  Variables are
 * numbered in the combined form: row i (its slack) is i, then the spare rows
 * (there are none), then column j is rows + j.  These functions use the basis
 * of the last solve (or the one loaded with KRVUloadbasis) and fail with
 * KRVU_ERR_STATE when there is none.  They leave the solution as it is.
 * ========================================================================= */

/* mpiv (rows entries) gets the basic variable of each position of B, in the
 * combined form: position k of KRVUftran's result belongs to mpiv[k]. */
KRVU_API int KRVUgetpivotorder(KRVUprob prob, int mpiv[]);
/* vec (rows entries) is replaced by B^-1 vec: in the order of the positions
 * (KRVUgetpivotorder). */
KRVU_API int KRVUftran(KRVUprob prob, double vec[]);
/* vec (rows entries, in position order) is replaced by B^-T vec (one entry
 * per row). */
KRVU_API int KRVUbtran(KRVUprob prob, double vec[]);
/* The ratio test of the primal simplex for the nonbasic variable in (combined
 * form) entering the basis from the last LP solution: it moves away from its
 * bound (a free one in the direction that improves the objective, or upwards
 * when its reduced cost is 0) until a basic variable reaches a bound or it
 * reaches its own other bound.  *npiv gets the number of variables that block
 * first (ties within a relative 1e-9), of which the first maxpiv are written
 * to outlist (may be null) in the combined form; when the entering variable
 * reaches its other bound first it is the candidate itself.  x (may be null;
 * rows + columns entries: the slacks, then the columns) gets the point after
 * the step and *dobj its objective.  When nothing blocks, *npiv is 0, x the
 * current point and *dobj +-KRVU_INFINITY in the direction the objective
 * moves (or the current objective when it does not change).  Needs an LP
 * solution with its basis; in must be nonbasic. */
KRVU_API int KRVUgetpivots(KRVUprob prob, int in, int outlist[], double x[], double *dobj,
                           int *npiv, int maxpiv);
/* Stability measures of the basis, into *value:
 *   type 0: condition estimate ||B|| ||B^-1|| (norm 0: infinity norm, 1: 1-norm,
 *           both with Hager's estimator for ||B^-1||; 2: 2-norm, from power
 *           iterations for the largest and smallest singular values);
 *   type 1: relative primal residual ||b - A x - s|| / (1 + ||b||) of the LP
 *           solution (norm 0: infinity, 1: 1-norm, 2: Euclidean);
 *   type 2: relative dual residual ||c_B - B'y|| / (1 + ||c_B||) of the basic
 *           variables (norm as for type 1).
 * ifscaled 1 measures the matrix as the engine sees it after KRVUscale's
 * scaling (the same as 0 when no scaling is set).  Types 1 and 2 need an LP
 * solution. */
KRVU_API int KRVUbasisstability(KRVUprob prob, int type, int norm, int ifscaled, double *value);
/* The library always holds the problem in its original form (the engine
 * presolves a copy and undoes it itself), so the presolved problem is the
 * original one: rowmap[i] = i for every row, colmap[j] = j for every column.
 * Either array may be null. */
KRVU_API int KRVUgetpresolvemap(KRVUprob prob, int rowmap[], int colmap[]);
/* Maps a row over original columns (nzo entries mcolso, dvalo; right-hand
 * side drhso; qrtype 'L', 'G' or 'E') into the problem as the library holds
 * it.  Since that is the original problem, the mapped row is the same row
 * with repeated columns added together and coefficients below matrixtol
 * dropped, columns in increasing order; *nzp gets its number of entries, of
 * which the first maxcoeffs go to mcolsp and dvalp (may be null when maxcoeffs
 * is 0), *drhsp the right-hand side, *status 0. */
KRVU_API int KRVUpresolverow(KRVUprob prob, char qrtype, int nzo, const int mcolso[],
                             const double dvalo[], double drhso, int maxcoeffs, int *nzp,
                             int mcolsp[], double dvalp[], double *drhsp, int *status);
/* Ranging of the optimal basis of the last LP solve (linear objective only).
 * KRVUobjsa: for columns mindex[0..n), the range [lower, upper] of the
 * objective coefficient over which the basis stays optimal; KRVUrhssa: for
 * rows mindex[0..n), the range of the right-hand side over which it stays
 * feasible (and so optimal), the range of a range row moving with it.
 * Unbounded ends are +-KRVU_INFINITY.  Fails unless the last LP solve ended
 * optimal with a basis. */
KRVU_API int KRVUobjsa(KRVUprob prob, int n, const int mindex[], double lower[], double upper[]);
KRVU_API int KRVUrhssa(KRVUprob prob, int n, const int mindex[], double lower[], double upper[]);
/* For rows rowind[0..n), the least and greatest dual value of the row over
 * the optimal dual solutions: the one-sided rates of change of the optimal
 * objective as the row's right-hand side moves down and up (equal to the
 * dual when the solution is not degenerate in that row).  Where the basis
 * ranges of KRVUrhssa leave no room, the rate is found by re-solving a copy
 * with the right-hand side moved a little, warm-started from the optimal
 * basis and limited to iterlim simplex iterations per re-solve (the dual is
 * kept as the estimate when a re-solve does not finish).  A side on which the
 * problem becomes infeasible gives +-KRVU_INFINITY.  Needs an optimal LP
 * solution with its basis. */
KRVU_API int KRVUestimaterowdualranges(KRVUprob prob, int n, const int rowind[], int iterlim,
                                       double mindual[], double maxdual[]);
/* Scales the problem as the engine sees it for LP solves: row i by
 * 2^mrscal[i], column j by 2^mcscal[j] (exponents in [-60, 60]; one entry per
 * row and per column).  Both null: the library computes a scaling itself
 * (geometric-mean passes rounded to powers of two); one null: exponents 0 for
 * it.  All exponents 0 remove the scaling.  Solutions, bases, rays and every
 * query stay in the problem's own units; the engine's own scaling (control
 * scaling) still applies on top.  Integer solves pass the model unscaled. */
KRVU_API int KRVUscale(KRVUprob prob, const int mrscal[], const int mcscal[]);
/* Turns the LP solution (of the interior-point solver without crossover, or
 * one loaded with KRVUloadlpsol) into a basic one with the engine's
 * crossover, which becomes the problem's LP solution and basis.  *status
 * gets 0 when the result is an optimal basic solution, 1 when the crossover
 * ended without one (the problem's solution is then left as it was). */
KRVU_API int KRVUcrossoverlpsol(KRVUprob prob, int *status);
/* Refines an integer solution: every non-continuous column is fixed at its
 * value in solution (ncols entries) rounded to the nearest integer
 * (semi-continuous columns: at 0 when below half their limit, else kept in
 * [limit, upper bound]; partially integer columns: fixed when below their
 * limit); special ordered sets keep their members that are 0 at 0 and
 * indicator rows are enforced or dropped by their fixed indicator column.
 * The LP that remains is solved with tolerances 1e-9 (flags: 'd', 'p', 'b' as
 * for KRVUlpoptimize) on a copy of the problem; refined (ncols entries) gets
 * its solution.  *status: 0 refined (an optimal LP solution), 1 the fixed
 * integers leave no feasible point (refined gets solution unchanged), 2 the
 * LP did not finish (refined gets solution unchanged).  options must be 0
 * (reserved).  Problems with general or piecewise-linear constraints are
 * refused.  The problem itself is not changed. */
KRVU_API int KRVUrefinemipsol(KRVUprob prob, int options, const char *flags,
                              const double solution[], double refined[], int *status);

/* ===========================================================================
 * Irreducible infeasible sets (libkrvu/src/analysis/iis*.cpp)
 *
 * A set is a subsystem of rows and column bounds that has no solution while
 * every proper subset has one.  For problems with integer columns the sets
 * are those of the integer problem, checked with the MIP solver (unless
 * KRVUiisfirst's mode 2 asks for the LP relaxation); the integrality of
 * columns, sets and indicators always stays, and the bounds of binary
 * columns are part of their type, not members.
 *
 * Sets are numbered from 1; number 0 stands for the infeasible subsystem the
 * elastic filter found before it was made irreducible.  A solve or a change of
 * the model drops the sets.
 *
 * Farkas certificate (LP sets): with duals y for the rows and rdcs d for the
 * bounds, sum_i y_i a_i + sum_j d_j e_j = 0 (the combination of the set's
 * rows and bounds cancels every column) while
 *   sum_i y_i * (lower limit if y_i > 0, else upper limit)
 *   + sum_j d_j * (lower bound if d_j > 0, else upper bound)  > 0,
 * which no point satisfying the set can meet.  For integer sets whose LP
 * relaxation is feasible there is no such certificate: duals and rdcs are 0.
 * ========================================================================= */

/* Starts the analysis (dropping sets found before) and finds the first set.
 * iismode: 0 only the infeasible subsystem of the elastic filter (set 1 is
 * then that subsystem, infeasible but not necessarily irreducible), 1 an
 * irreducible set of the problem, 2 an irreducible set of the LP relaxation
 * (integrality dropped).  *status: 0 a set was found, 1 the
 * problem is feasible (no set), 2 the analysis stopped early (time limit
 * iistimelimit or an interrupt; set 1, if any, is infeasible but may not be
 * irreducible). */
KRVU_API int KRVUiisfirst(KRVUprob prob, int iismode, int *status);
/* Finds a set different from all found so far (one that leaves out at least
 * one member of each of them).  *status: 0 found, 1 there is no further set,
 * 2 stopped early.  Fails when KRVUiisfirst has not run. */
KRVU_API int KRVUiisnext(KRVUprob prob, int *status);
/* KRVUiisfirst (mode 1) when it has not run, then KRVUiisnext until there is no further set, iismaxsets sets
 * exist or iistimelimit passes. */
KRVU_API int KRVUiisall(KRVUprob prob);
/* *niis gets the number of sets found; each array that is not null gets
 * niis+1 entries (entry 0: the subsystem of the elastic filter, entry k: set
 * k): rows, bounds, the least sum of violations of the set's members when
 * they may all be violated, and the number of members violated then. */
KRVU_API int KRVUiisstatus(KRVUprob prob, int *niis, int rowsizes[], int colsizes[],
                           double suminfeas[], int numinfeas[]);
/* Set num (0 to niis): *nrows and *ncols get its numbers of rows and bounds;
 * each array that is not null gets them: miisrow the rows, miiscol the
 * columns of the bounds, constrainttype 'L' (the row's upper limit takes
 * part), 'G' (its lower limit) or 'E' (an equality row), colbndtype 'U'
 * (upper bound), 'L' (lower bound) or 'F' (a fixed column), duals and rdcs
 * the Farkas multipliers, isolationrows and isolationcols -1 (not computed,
 * see KRVUiisisolations), 0 or 1. */
KRVU_API int KRVUgetiisdata(KRVUprob prob, int num, int *nrows, int *ncols, int miisrow[],
                            int miiscol[], char constrainttype[], char colbndtype[],
                            double duals[], double rdcs[], char isolationrows[],
                            char isolationcols[]);
/* Computes the isolations of set num (1 to niis): a member is an isolation
 * when the problem without that member alone is no more infeasible (least
 * sum of violations, all rows and bounds elastic) than the problem without
 * the whole set: removing it repairs the set without leaving another
 * conflict behind. */
KRVU_API int KRVUiisisolations(KRVUprob prob, int num);
/* Writes set num (0 to niis) as a problem of its own: its rows, the columns
 * they or its bounds involve with only the set's bounds (other bounds free,
 * binary columns kept binary), objective 0.  type 0 LP format, 1 MPS;
 * typeflags as for KRVUwriteprob (may be null).  The file reads back as an
 * infeasible problem. */
KRVU_API int KRVUiiswrite(KRVUprob prob, int num, const char *filename, int type,
                          const char *typeflags);
/* Drops every set found. */
KRVU_API int KRVUiisclear(KRVUprob prob);

/* ===========================================================================
 * Infeasibility repair (libkrvu/src/analysis/repair.cpp)
 *
 * The repair solves a penalty problem on a copy of the problem: each row side
 * and bound with a positive preference p may be relaxed by an amount v >= 0
 * at a cost of v / p (linear penalty) or v^2 / p (quadratic penalty); a
 * preference of 0 keeps it hard.  lrp applies to the upper limit of a row
 * (its <= side: L, E and R rows), grp to its lower limit (G, E and R rows),
 * lbp to lower bounds and ubp to upper bounds.  Bounds that belong to a
 * column's type (binary, semi-continuous, semi-integer, partially integer)
 * are not relaxed.  Integer columns stay integer.
 *
 * The first phase minimizes the penalty.  A second phase ('o') then
 * minimizes the original objective over the relaxed problem with the penalty
 * held at most (1 + delta) times its minimum.  The solution of the last phase
 * becomes the problem's solution (LP solution, or integer solution for a
 * problem with integer columns) and KRVUgetrepairamounts reads the amounts.
 *
 * *status: 0 repaired, 1 the relaxed problem is still infeasible (the hard
 * rows and bounds conflict), 2 a solve stopped early (a limit), 3 the second
 * phase failed (the first phase's solution is kept).
 * ========================================================================= */

/* The same preference for every row side and bound of a kind.  pflags: 'c'
 * linear penalty, 'q' quadratic (continuous problems only); oflags: 'n' no
 * second phase, 'o' second phase within delta; gflags: 'n' keep integer
 * columns integer, 'r' solve the relaxation with integrality dropped. */
KRVU_API int KRVUrepairinfeas(KRVUprob prob, int *status, char pflags, char oflags, char gflags,
                              double lrp, double grp, double lbp, double ubp, double delta);
/* Preferences per row (lrp, grp: rows entries) and per column (lbp, ubp:
 * columns entries); a null array gives preference 0 to all.  phase2 'n' or
 * 'o' as oflags above; optflags: the flags of the solves ('d', 'p', 'b' as for
 * KRVUlpoptimize; may be null). */
KRVU_API int KRVUrepairweightedinfeas(KRVUprob prob, int *status, const double lrp[],
                                      const double grp[], const double lbp[], const double ubp[],
                                      char phase2, double delta, const char *optflags);
/* As KRVUrepairweightedinfeas, with the largest amount each row side (lrb,
 * grb) and bound (lbb, ubb) may be relaxed by; null arrays or entries of
 * KRVU_INFINITY leave no limit. */
KRVU_API int KRVUrepairweightedinfeasbounds(KRVUprob prob, int *status, const double lrp[],
                                            const double grp[], const double lbp[],
                                            const double ubp[], char phase2, double delta,
                                            const double lrb[], const double grb[],
                                            const double lbb[], const double ubb[],
                                            const char *optflags);
/* The amounts of the last repair (null arrays are skipped): row_lower[i] by
 * how much row i's lower limit was lowered, row_upper[i] its upper limit
 * raised, col_lower[j] and col_upper[j] the same for column j's bounds;
 * *violation (may be null) the first phase's penalty.  Fails when no repair
 * has run since the problem last changed. */
KRVU_API int KRVUgetrepairamounts(KRVUprob prob, double *violation, double row_lower[],
                                  double row_upper[], double col_lower[], double col_upper[]);

/* ===========================================================================
 * Tuner (libkrvu/src/analysis/tuner.cpp)
 * ========================================================================= */

/* Tries control settings on copies of the problem within tunermaxtime
 * seconds and leaves the best one on the problem.  flags: 'l' tune the LP
 * solve, 'g' the MIP solve (default: MIP when the problem has integer
 * columns, else LP); 'd', 'p', 'b' are passed to the solves.  The tuner first
 * times the problem's own settings, then changes one control at a time (the
 * values of the method: KRVUtunerreadmethod, else the built-in one) and
 * combines improvements greedily.  LP runs are compared by time; MIP runs by
 * time when they finish, else by gap, then objective.  A run is stopped when
 * it can no longer win; an improvement counts only when repeated runs
 * confirm it (control tunerrepeats), and at the end the starting and the best
 * settings are timed in turn: the best stays only when its median is the
 * faster one.
 * Each run is logged as a row of a table (message KRVU_MSGCODE_TUNER).  The
 * budget holds within the time of stopping a run; KRVUinterrupt stops the
 * tuner after the run under way (the best settings so far are kept). */
KRVU_API int KRVUtune(KRVUprob prob, const char *flags);
/* Reads the tuner method from a file (format in libkrvu/src/io/README.md);
 * a file naming an unknown control or a value out of its range fails with
 * the file and line.  The method stays until the problem's whole model is
 * replaced (KRVUreadprob, KRVUloadlp, ...). */
KRVU_API int KRVUtunerreadmethod(KRVUprob prob, const char *methodfile);
/* Writes the method the tuner would use (the one read, else the built-in). */
KRVU_API int KRVUtunerwritemethod(KRVUprob prob, const char *methodfile);

/* ===========================================================================
 * Basis, solution and save files (libkrvu/src/io)
 *
 * An empty filename means the problem's name with the file kind's extension
 * (.bss basis, .prt printed solution, .csv solution table, .sol binary
 * solution, .slx text solution, .svf save file).  Writes go to a temporary
 * file renamed at the end, so a failed write leaves any existing file as it
 * was.  A malformed file fails with the file name, line and what was
 * expected, and leaves the problem as it was.
 * ========================================================================= */

/* The basis in the MPS basis format (NAME, then XU, XL, UL, LL records, then
 * ENDATA): XU col row / XL col row make col basic and row nonbasic at its
 * upper / lower limit, UL col / LL col make col nonbasic at its upper / lower
 * bound; unlisted columns are nonbasic at their lower bound (free ones at 0)
 * and unlisted rows basic.  Reading loads the basis for the next solve as
 * KRVUloadbasis does.  flags: none (must be empty or null). */
KRVU_API int KRVUreadbasis(KRVUprob prob, const char *filename, const char *flags);
KRVU_API int KRVUwritebasis(KRVUprob prob, const char *filename, const char *flags);
/* A printed report of the solution: problem, status and objective, then a
 * table of rows and a table of columns.  flags: 'l' the LP solution, 'm' the
 * integer solution; default: the integer solution when there is one, else
 * the LP solution. */
KRVU_API int KRVUwriteprtsol(KRVUprob prob, const char *filename, const char *flags);
/* The solution as a CSV table with the header
 *   kind,index,name,value,slack,dual,reduced_cost,basis
 * and one line per row (kind "row": value is the activity) and per column
 * (kind "column"); fields that do not apply are empty.  flags as for
 * KRVUwriteprtsol. */
KRVU_API int KRVUwritesol(KRVUprob prob, const char *filename, const char *flags);
/* The LP solution, basis and integer solution (what there is) in a binary
 * file that keeps every double exactly; reading requires the same numbers of
 * rows and columns and makes what the file holds the problem's solution.
 * flags: none. */
KRVU_API int KRVUreadbinsol(KRVUprob prob, const char *filename, const char *flags);
KRVU_API int KRVUwritebinsol(KRVUprob prob, const char *filename, const char *flags);
/* The text solution format: a line "NAME name", then " C column value" for
 * each column (writing: those that are not 0), then "ENDATA".  Reading: the
 * values become a MIP start (flag 'm', the default for problems with integer
 * columns; columns left out are free in the start) or the LP solution that
 * starts the next LP solve (flag 'l', the default otherwise; columns left out
 * are 0).  Writing: flags as for KRVUwriteprtsol. */
KRVU_API int KRVUreadslxsol(KRVUprob prob, const char *filename, const char *flags);
KRVU_API int KRVUwriteslxsol(KRVUprob prob, const char *filename, const char *flags);
/* The whole problem (model, names, controls, solutions, basis and scaling)
 * in one binary file with a format version and a checksum.  KRVUsave writes
 * under the default name, KRVUsaveas under filename.  KRVUrestore reads
 * probname + ".svf" (or probname itself when it ends in ".svf") and replaces
 * the problem's content; a file of another format version, or a damaged one,
 * is refused with a message saying so.  flags: none. */
KRVU_API int KRVUsave(KRVUprob prob);
KRVU_API int KRVUsaveas(KRVUprob prob, const char *filename);
KRVU_API int KRVUrestore(KRVUprob prob, const char *probname, const char *flags);

/* ===========================================================================
 * Callbacks of every kind (libkrvu/src/core/callbacks.cpp)
 *
 * One row per kind: slot number, kind, the callback's return type and
 * parameters, and how its outputs are used.  Every kind has
 *   KRVUaddcb<kind>(prob, f, data, priority)  registers f with data; callbacks
 *       of a kind are called by decreasing priority, equal priorities in the
 *       order of registration;
 *   KRVUremovecb<kind>(prob, f, data)  removes matching registrations (f null:
 *       any function; data null: any data).
 * Callbacks run on the thread that solves, and with the threads control
 * above 1 also on the node workers of the library's search, one callback at
 * a time whichever worker calls: mipthread and destroymt are called once per
 * worker, on its thread, with the problem itself as the thread's problem.
 * Inside a callback the problem is in the
 * callback stage: queries answer for the current node (KRVUgetlpsol gives the
 * node's relaxation solution, KRVUgetlb/KRVUgetub the node's bounds, the
 * attributes currentnode, parentnode, nodedepth, lpobjval, nodes and
 * activenodes describe it), and anything that changes the model or starts a
 * solve fails with KRVU_ERR_STATE.  Use rules of the outputs:
 *   INTOUT     the int output (bariteration: non-zero stops the barrier;
 *              optnode: non-zero declares the node infeasible; prenode:
 *              non-zero declares the node infeasible before it is solved)
 *   INTRET     the return value: non-zero stops the solve (stop status user)
 *   IGNORE, ARGS, MESSAGE, MIPTHREAD  nothing is read back
 *   PREINTSOL  soltype 0: the node's relaxation solution, 1: a heuristic's;
 *              *reject non-zero discards the candidate; *cutoff (the current
 *              cutoff on entry, in the model's sense) may be tightened
 *   GAP        the four targets (relative gap, absolute gap, incumbent
 *              objective, best bound).  The search calls it after the root
 *              with every target unset, then each time one is reached; the
 *              targets it writes are the next ones.  Unset: a negative gap,
 *              an objective or bound target of magnitude KRVU_INFINITY
 *   BRANCHOBJ  obranch is the library's branching object for the node (null
 *              where the search branches on something that is not a column);
 *              setting *p_newobject to another branching object replaces the
 *              branching at this node, and the library then owns that object
 * The integer results of newnode: parentnode, node (the new node's number) and
 * branch (its index among the parent's branches); nodecutoff: the number of a
 * node dropped by the cutoff; usersolnotify: the solution name given to
 * KRVUaddmipsol and status 0 accepted as the incumbent, 1 rejected (infeasible),
 * 2 not better, 3 not tried yet (the solve had not started).
 * ========================================================================= */
#define KRVU_CB_KINDS(X)                                                                       \
  X(0, bariteration, void, (KRVUprob prob, void *data, int *action), (prob, data, action), INTOUT) \
  X(1, barlog, int, (KRVUprob prob, void *data), (prob, data), INTRET)                          \
  X(2, chgbranchobject, void,                                                                  \
    (KRVUprob prob, void *data, KRVUbranchobject obranch, KRVUbranchobject *p_newobject),      \
    (prob, data, obranch, p_newobject), BRANCHOBJ)                                             \
  X(3, cutlog, int, (KRVUprob prob, void *data), (prob, data), INTRET)                          \
  X(4, destroymt, void, (KRVUprob prob, void *data), (prob, data), IGNORE)                      \
  X(5, gapnotify, void,                                                                        \
    (KRVUprob prob, void *data, double *relgapnotifytarget, double *absgapnotifytarget,        \
     double *absgapnotifyobjtarget, double *absgapnotifyboundtarget),                          \
    (prob, data, relgapnotifytarget, absgapnotifytarget, absgapnotifyobjtarget,                \
     absgapnotifyboundtarget), GAP)                                                            \
  X(6, globallog, int, (KRVUprob prob, void *data), (prob, data), INTRET)                       \
  X(7, infnode, void, (KRVUprob prob, void *data), (prob, data), IGNORE)                        \
  X(8, intsol, void, (KRVUprob prob, void *data), (prob, data), IGNORE)                         \
  X(9, lplog, int, (KRVUprob prob, void *data), (prob, data), INTRET)                           \
  X(10, message, void, (KRVUprob prob, void *data, const char *msg, int len, int msgtype),     \
    (prob, data, msg, len, msgtype), MESSAGE)                                                  \
  X(11, mipthread, void, (KRVUprob prob, void *data, KRVUprob threadprob),                     \
    (prob, data, threadprob), MIPTHREAD)                                                       \
  X(12, newnode, void, (KRVUprob prob, void *data, int parentnode, int node, int branch),      \
    (prob, data, parentnode, node, branch), ARGS)                                              \
  X(13, nodecutoff, void, (KRVUprob prob, void *data, int node), (prob, data, node), ARGS)      \
  X(14, optnode, void, (KRVUprob prob, void *data, int *feas), (prob, data, feas), INTOUT)      \
  X(15, preintsol, void, (KRVUprob prob, void *data, int soltype, int *reject, double *cutoff), \
    (prob, data, soltype, reject, cutoff), PREINTSOL)                                          \
  X(16, prenode, void, (KRVUprob prob, void *data, int *nodinfeas), (prob, data, nodinfeas),    \
    INTOUT)                                                                                    \
  X(17, usersolnotify, void, (KRVUprob prob, void *data, const char *solname, int status),     \
    (prob, data, solname, status), ARGS)                                                       \
  X(18, checktime, int, (KRVUprob prob, void *data), (prob, data), INTRET)

#define KRVU_CB_KIND_COUNT 19

#define KRVU_CB_DECLARE(slot, kind, ret, params, args, rule)                                 \
  typedef ret(*KRVU_cb##kind) params;                                                        \
  KRVU_API int KRVUaddcb##kind(KRVUprob prob, KRVU_cb##kind f, void *data, int priority);   \
  KRVU_API int KRVUremovecb##kind(KRVUprob prob, KRVU_cb##kind f, void *data);
KRVU_CB_KINDS(KRVU_CB_DECLARE)
#undef KRVU_CB_DECLARE

/* Integer attributes of the node a callback is called for (0 outside). */
#define KRVU_ATTR_CURRENTNODE 1402
#define KRVU_ATTR_PARENTNODE 1403
#define KRVU_ATTR_NODEDEPTH 1404

/* ---------------------------------------------------------------------------
 * Branching objects (libkrvu/src/core/branchobj.cpp)
 *
 * A branching object holds branches, each a set of bound changes ('L' lower,
 * 'U' upper, 'B' both) and rows ('L', 'G', 'E') over the problem's columns
 * (isoriginal 1) or the search's working columns (isoriginal 0; the same
 * numbering in this library, whose search does not presolve).  Handed to the
 * search from a chgbranchobject callback, or stored with KRVU_bo_store from an
 * optnode callback, it replaces the search's own branching at the current
 * node: each branch becomes a child.  The search takes bounds and pool cuts
 * (the child's relaxation takes them on); a branch with rows is refused by
 * KRVU_bo_validate (status 1) and, when handed over, the search keeps its own
 * branching and logs a warning.  Errors of
 * these functions are read with KRVU_bo_getlasterror.
 * ------------------------------------------------------------------------- */
KRVU_API int KRVU_bo_create(KRVUbranchobject *p_bo, KRVUprob prob, int isoriginal);
KRVU_API int KRVU_bo_destroy(KRVUbranchobject bo);
KRVU_API int KRVU_bo_addbranches(KRVUbranchobject bo, int nbranches);
KRVU_API int KRVU_bo_getbranches(KRVUbranchobject bo, int *p_nbranches);
KRVU_API int KRVU_bo_setpriority(KRVUbranchobject bo, int priority);
KRVU_API int KRVU_bo_setpreferredbranch(KRVUbranchobject bo, int ibranch);
KRVU_API int KRVU_bo_addbounds(KRVUbranchobject bo, int ibranch, int nbounds, const char bndtype[],
                               const int colind[], const double bndval[]);
/* *p_nbounds gets the branch's number of bounds; at most maxbounds are written
 * to the arrays (which may be null). */
KRVU_API int KRVU_bo_getbounds(KRVUbranchobject bo, int ibranch, int *p_nbounds, int maxbounds,
                               char bndtype[], int colind[], double bndval[]);
KRVU_API int KRVU_bo_addrows(KRVUbranchobject bo, int ibranch, int nrows, int nelems,
                             const char rowtype[], const double rhs[], const int start[],
                             const int colind[], const double rowcoef[]);
/* Two-call sizing as KRVU_bo_getbounds: start gets nrows+1 entries. */
KRVU_API int KRVU_bo_getrows(KRVUbranchobject bo, int ibranch, int *p_nrows, int maxrows,
                             int *p_nelems, int maxelems, char rowtype[], double rhs[],
                             int start[], int colind[], double rowcoef[]);
/* Cuts of the object's problem's cut pool (handles from KRVUstorecuts64 or
 * the cut lists), each checked against the pool. */
KRVU_API int KRVU_bo_addcuts(KRVUbranchobject bo, int ibranch, int ncuts, void *const cutind[]);
/* The node the object was made at (0 outside a callback). */
KRVU_API int KRVU_bo_getid(KRVUbranchobject bo, int *p_id);
/* *p_status 0: the object can be used at the current node; 1: not (read why
 * with KRVU_bo_getlasterror).  Outside a node callback *p_status is 1. */
KRVU_API int KRVU_bo_validate(KRVUbranchobject bo, int *p_status);
/* Hands the object to the search for the current node (an optnode callback);
 * on success (*p_status 0) the library owns it and the caller must no longer
 * use it.  Outside a node callback the call fails. */
KRVU_API int KRVU_bo_store(KRVUbranchobject bo, int *p_status);
KRVU_API int KRVU_bo_getlasterror(KRVUbranchobject bo, int *p_code, char *msg, int maxbytes,
                                  int *p_length);
// ---- cut pool and node members
/* ---------------------------------------------------------------------------
 * Cut pool and node members (libkrvu/src/mip/search/cutapi.cpp)
 *
 * The problem keeps a pool of user cuts (rows  a x <= rhs, >= rhs or = rhs
 * over the problem's columns, each with a user type) and of stored bound
 * sets, from one solve to the next; the library's search uses them, and
 * mipoptimize runs that search when either is stored.  A user cut is taken
 * to be valid for the whole problem: the search puts a pool cut into the
 * relaxation of any node whose solution breaks it and accepts no solution
 * that breaks one.  Cuts are named by handles (void *) that these functions
 * give out; a handle is checked against the pool and never dereferenced, so
 * one of a deleted cut, or of another problem, is refused.  Deleting a column
 * deletes the cuts over it.  The search's own cuts are not in these lists.
 *
 * Cut types select cuts: interp -1 every cut (itype ignored), 1 the cuts of
 * type itype, 2 those whose type shares a bit with itype, 3 those whose type
 * holds every bit of itype.  ncuts -1 (with a null array) means every cut
 * of the pool (or of the node) that the type selects; otherwise the cuts
 * listed that it selects.
 *
 * Node members work on the node a callback of the search is called for
 * (prenode, optnode, infnode, chgbranchobject, and preintsol for a node's
 * solution), and fail elsewhere: KRVUaddcuts64,
 * KRVUloadcuts, KRVUdelcuts, KRVUgetcutlist, KRVUgetcutmap, KRVUgetcutslack,
 * KRVUsetbranchcuts, KRVUsetbranchbounds.  Cuts that enter or leave the
 * node's relaxation from an optnode callback have the node solved again and
 * its optnode callbacks called again once they return.  KRVUstorecuts64,
 * KRVUgetcpcutlist, KRVUgetcpcuts64, KRVUdelcpcuts, KRVUstorebounds and the
 * strong-branching functions also work outside a solve.
 * ------------------------------------------------------------------------- */
/* Adds ncuts cuts to the pool and into the current node's relaxation.
 * mtype: the user's type of each; rtype 'L', 'G' or 'E'; rhs finite;
 * cut k has the coefficients mstart[k] .. mstart[k+1]-1 of mcols/dmatval
 * (columns of the problem, finite values). */
KRVU_API int KRVUaddcuts64(KRVUprob prob, int ncuts, const int mtype[], const char rtype[],
                           const double rhs[], const int64_t mstart[], const int mcols[],
                           const double dmatval[]);
/* Stores cuts in the pool only (a node's relaxation takes them when its
 * solution breaks them, or when loaded); mindex gets their handles.  With
 * nodupl non-zero a cut equal to one in the pool (same type, coefficients
 * and limits) is not stored again and gets the stored one's handle. */
KRVU_API int KRVUstorecuts64(KRVUprob prob, int ncuts, int nodupl, const int mtype[],
                             const char rtype[], const double rhs[], const int64_t mstart[],
                             void *mindex[], const int mcols[], const double dmatval[]);
/* Puts pool cuts into the current node's relaxation. */
KRVU_API int KRVUloadcuts(KRVUprob prob, int itype, int interp, int ncuts, void *const cutind[]);
/* Takes cuts out of the current node's relaxation (they stay in the pool):
 * those whose slack at the node's solution is greater than delta (a
 * negative delta takes any); ibasis 0 only those whose rows are basic, so
 * that the basis stays valid, 1 any. */
KRVU_API int KRVUdelcuts(KRVUprob prob, int ibasis, int itype, int interp, double delta, int ncuts,
                         void *const cutind[]);
/* Deletes cuts from the pool; a cut in the current node's relaxation stays
 * (take it out with KRVUdelcuts first). */
KRVU_API int KRVUdelcpcuts(KRVUprob prob, int itype, int interp, int ncuts, void *const cutind[]);
/* From an optnode callback: the pool cuts the relaxation of the child made
 * by the last KRVUsetbranchbounds takes on. */
KRVU_API int KRVUsetbranchcuts(KRVUprob prob, int ncuts, void *const mindex[]);
/* The user cuts in the current node's relaxation: *p_ncuts gets how many,
 * cutind (may be null) the first min(size, *p_ncuts) handles. */
KRVU_API int KRVUgetcutlist(KRVUprob prob, int itype, int interp, int *p_ncuts, int size,
                            void *cutind[]);
/* The cuts of the pool whose violation by the current node's solution is
 * greater than delta (outside a node every violation counts 0, so a
 * negative delta lists every cut); *p_ncuts gets how many, cutind and viol
 * (each may be null) the first min(size, *p_ncuts) handles and violations. */
KRVU_API int KRVUgetcpcutlist(KRVUprob prob, int itype, int interp, int *p_ncuts, int size,
                              void *cutind[], double delta, double viol[]);
/* The data of ncuts pool cuts: mtype, rtype ('L', 'G' or 'E') and rhs per
 * cut, mstart ncuts+1 starts into mcols/dmatval, of which at most size
 * coefficients are written.  Every output may be null (mstart alone gives
 * the number of coefficients, mstart[ncuts]). */
KRVU_API int KRVUgetcpcuts64(KRVUprob prob, void *const cutind[], int ncuts, int64_t size, int mtype[],
                             char rtype[], int64_t mstart[], int mcols[], double dmatval[],
                             double rhs[]);
/* The row of the current node's relaxation each cut is (-1: not in it). */
KRVU_API int KRVUgetcutmap(KRVUprob prob, int ncuts, void *const cuts[], int cutmap[]);
/* The slack of a pool cut at the current node's solution (negative when
 * broken): activity minus rhs for 'G', rhs minus activity for 'L', the
 * smaller of the two for 'E'. */
KRVU_API int KRVUgetcutslack(KRVUprob prob, void *cut, double *p_slack);
/* Stores a bound set (bndtype 'L', 'U' or 'B' per column) with the problem
 * and gives its handle, valid while the problem lives. */
KRVU_API int KRVUstorebounds(KRVUprob prob, int nbnds, const int mcols[], const char bndtype[],
                             const double bnds[], void **p_bounds);
/* From an optnode callback: adds a child with a stored bound set to the
 * node's branching.  Once the callbacks return, the node branches into one
 * child per call (a branching object stored with KRVU_bo_store wins). */
KRVU_API int KRVUsetbranchbounds(KRVUprob prob, void *bounds);
/* Strong branching: each of the nbnds bound changes (bndtype 'L', 'U' or
 * 'B'; a change looser than the bound in place changes nothing) is tried on
 * its own on the relaxation, with at most itrlimit dual simplex iterations
 * (negative: no limit).  In an optnode callback the relaxation is the
 * node's, outside a solve the problem's (its columns' integrality relaxed).
 * objvals gets each objective (the model's sense; a bound of it when the
 * limit stopped the probe; infinite when infeasible), statuses a KRVU_LP_*
 * status (KRVU_LP_CUTOFF when no better than the cutoff).  The relaxation
 * is left as it was. */
KRVU_API int KRVUstrongbranch(KRVUprob prob, int nbnds, const int mbndind[], const char cbndtype[],
                              const double dbndval[], int itrlimit, double objvals[], int statuses[]);
/* The same, calling solvecb(prob, data, ibnd) after probe ibnd was solved;
 * meanwhile KRVUgetlpsol and the bounds answer for the probe.  A non-zero
 * result skips the probes left (status KRVU_LP_UNSTARTED, objective that of
 * the relaxation). */
typedef int (*KRVU_cbstrongbranch)(KRVUprob prob, void *data, int ibnd);
KRVU_API int KRVUstrongbranchcb(KRVUprob prob, int nbnds, const int mbndind[], const char cbndtype[],
                                const double dbndval[], int itrlimit, double objvals[],
                                int statuses[], KRVU_cbstrongbranch solvecb, void *data);
/* end of callbacks and branching objects */

#ifdef __cplusplus
}
#endif

#endif /* KRVU_H */
