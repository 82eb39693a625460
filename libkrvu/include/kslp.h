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

typedef void (*KSLP_cbmessage)(KSLPprob slp, void *data, const char *msg, int len,
                               int msgtype);
/* Sets (f non-null) or clears (f null) the message callback. */
KRVU_API int KSLPsetcbmessage(KSLPprob slp, KSLP_cbmessage f, void *data);

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

/* Adds formula coefficients: coefficient k multiplies column colindex[k] (or
 * stands alone when it is the "no column" attribute 12013) by factor[k] times
 * the formula whose tokens start at formulastart[k] in type/value (postfix,
 * each formula ending with an end token).  parsed must be 1. */
KRVU_API int KSLPaddcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[],
                          const double factor[], const int formulastart[], int parsed,
                          const int type[], const double value[]);
/* Two-call sizing: rowindex and colindex null give *ncoefs. */
KRVU_API int KSLPgetcoefs(KSLPprob slp, int *ncoefs, int rowindex[], int colindex[]);
/* Deletes the coefficients at (rowindex[k], colindex[k]). */
KRVU_API int KSLPdelcoefs(KSLPprob slp, int ncoefs, const int rowindex[], const int colindex[]);
KRVU_API int KSLPgetrowstatus(KSLPprob slp, int row, int *status);
KRVU_API int KSLPchgrowstatus(KSLPprob slp, int row, const int *status);
/* Changes properties of a column; null leaves one unchanged.  detrow: the row
 * that determines the column (-1: none). */
KRVU_API int KSLPchgvar(KSLPprob slp, int col, const int *detrow, const double *initstepbound,
                        const double *stepbound, const double *penaltydelta,
                        const double *damp, const double *initvalue, const double *scale,
                        const int *limit, const int *threshold, const int *history,
                        const int *status);
KRVU_API int KSLPdelvars(KSLPprob slp, int ncols, const int colind[]);
/* The solution of the last nonlinear solve (any array may be null). */
KRVU_API int KSLPgetslpsol(KSLPprob slp, double x[], double slack[], double dual[],
                           double dj[]);
KRVU_API int KSLPnlpoptimize(KSLPprob slp, const char *flags);
KRVU_API int KSLPunconstruct(KSLPprob slp);
KRVU_API int KSLPpostsolve(KSLPprob slp);

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

#ifdef __cplusplus
}
#endif

#endif /* KSLP_H */
