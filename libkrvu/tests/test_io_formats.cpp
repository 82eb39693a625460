// The MPS and LP readers on texts, and write-then-read round trips through
// KRVUwriteprob / KRVUreadprob for every file feature.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "core/common.h"
#include "core/prob.h"
#include "io/iobase.h"
#include "krvu.h"
#include "prob_fixture.h"
#include "model/store.h"

using krvu::ModelData;

namespace {

const double inf = KRVU_INFINITY;

ModelData mps(const std::string &text) {
  krvu::io::Source s{"mem.mps", text};
  return krvu::io::read_mps(s, nullptr);
}
ModelData lp(const std::string &text) {
  krvu::io::Source s{"mem.lp", text};
  return krvu::io::read_lp(s, nullptr);
}
// The message of a failing read ("" when it succeeds).
std::string mps_error(const std::string &text) {
  try {
    mps(text);
  } catch (const krvu::Error &e) {
    return e.what();
  }
  return "";
}
std::string lp_error(const std::string &text) {
  try {
    lp(text);
  } catch (const krvu::Error &e) {
    return e.what();
  }
  return "";
}

int col(const ModelData &m, const std::string &name) {
  for (int j = 0; j < m.ncols(); ++j)
    if (m.colnames[j] == name) return j;
  ADD_FAILURE() << "no column " << name;
  return 0;
}
int row(const ModelData &m, const std::string &name) {
  for (int i = 0; i < m.nrows(); ++i)
    if (m.rownames[i] == name) return i;
  ADD_FAILURE() << "no row " << name;
  return 0;
}
double coef(const ModelData &m, int i, int j) {
  for (int64_t k = m.mstart[j]; k < m.mstart[j + 1]; ++k)
    if (m.mrwind[k] == i) return m.dmatval[k];
  return 0;
}
// Q[i][j] of the objective (objective = c'x + 0.5 x'Qx).
double qobj(const ModelData &m, int i, int j) {
  if (m.qstart.empty()) return 0;
  int a = std::min(i, j), b = std::max(i, j);
  for (int64_t k = m.qstart[a]; k < m.qstart[a + 1]; ++k)
    if (m.qrow[k] == b) return m.qval[k];
  return 0;
}

// Exact comparison of two models; default names count as names.
void expect_same(const ModelData &a, const ModelData &b) {
  ASSERT_EQ(a.ncols(), b.ncols());
  ASSERT_EQ(a.nrows(), b.nrows());
  EXPECT_EQ(a.objsense, b.objsense);
  EXPECT_EQ(a.objrhs, b.objrhs);
  for (int j = 0; j < a.ncols(); ++j) {
    SCOPED_TRACE("column " + krvu::col_name(a, j));
    EXPECT_EQ(krvu::col_name(a, j), krvu::col_name(b, j));
    EXPECT_EQ(a.coltype[j], b.coltype[j]);
    EXPECT_EQ(a.obj[j], b.obj[j]);
    EXPECT_EQ(a.lb[j], b.lb[j]);
    EXPECT_EQ(a.ub[j], b.ub[j]);
    if (std::strchr("SRP", a.coltype[j])) EXPECT_EQ(a.threshold[j], b.threshold[j]);
  }
  for (int i = 0; i < a.nrows(); ++i) {
    SCOPED_TRACE("row " + krvu::row_name(a, i));
    EXPECT_EQ(krvu::row_name(a, i), krvu::row_name(b, i));
    EXPECT_EQ(a.rowtype[i], b.rowtype[i]);
    if (a.rowtype[i] != 'N') EXPECT_EQ(a.rhs[i], b.rhs[i]);
    EXPECT_EQ(a.range[i], b.range[i]);
    EXPECT_EQ(a.indcol[i], b.indcol[i]);
    if (a.indcol[i] >= 0) EXPECT_EQ(a.indcomp[i], b.indcomp[i]);
  }
  EXPECT_EQ(a.mstart, b.mstart);
  EXPECT_EQ(a.mrwind, b.mrwind);
  EXPECT_EQ(a.dmatval, b.dmatval);
  EXPECT_EQ(a.qrow, b.qrow);
  EXPECT_EQ(a.qval, b.qval);
  if (!a.qrow.empty()) EXPECT_EQ(a.qstart, b.qstart);
  ASSERT_EQ(a.qrows.size(), b.qrows.size());
  for (size_t k = 0; k < a.qrows.size(); ++k) {
    EXPECT_EQ(a.qrows[k].row, b.qrows[k].row);
    EXPECT_EQ(a.qrows[k].col1, b.qrows[k].col1);
    EXPECT_EQ(a.qrows[k].col2, b.qrows[k].col2);
    EXPECT_EQ(a.qrows[k].val, b.qrows[k].val);
  }
  ASSERT_EQ(a.nsets(), b.nsets());
  EXPECT_EQ(a.settype, b.settype);
  EXPECT_EQ(a.setstart, b.setstart);
  EXPECT_EQ(a.setcol, b.setcol);
  EXPECT_EQ(a.setref, b.setref);
  for (int s = 0; s < a.nsets(); ++s) EXPECT_EQ(krvu::set_name(a, s), krvu::set_name(b, s));
}

// ---------------------------------------------------------------------------

const char *kAllSections = R"(* every section of the format
NAME          every thing
OBJSENSE
    MAX
ROWS
 N  profit
 L  lim
 G  need
 E  bal
 E  up
 E  down
 N  spare
COLUMNS
    x         profit    1.5          lim       2
    x         need      1            spare     4
    MARKER    'MARKER'                 'INTORG'
    n         profit    -1           bal       1
    MARKER    'MARKER'                 'INTEND'
    y         lim       1            up        1
    y         down      1
    u1        profit    0
    u2        profit    0
    u3        profit    0
    u4        profit    0
    u5        profit    0
    u6        profit    0
    u7        profit    0
    u8        profit    0
    u9        profit    0
    u10       profit    0
    u11       profit    0
RHS
    RHS       lim       10           need      -2
    RHS       bal       3            profit    -7.5
    RHS       up        5            down      5
    RHS       spare     99
RANGES
    RNG       lim       4            need      3
    RNG       up        2            down      -2
BOUNDS
 UP BND       x         8
 LO BND       x         -1
 MI BND       y
 UP BND       y         6
 FR BND       u1
 FX BND       u2        3.5
 PL BND       n
 BV BND       u3
 LI BND       u4        -2
 UI BND       u5        7
 SC BND       u6        12
 LO BND       u6        2
 SI BND       u7        9
 LO BND       u7        3
 PI BND       u8        4
 UP BND       u8        20
 UP BND       u9        -3
 SC BND       u10
SOS
 S1 SOS       s1
    x         1
    y         2
 S2 SOS       s2        5
    u4:1
    s2        u5:2.5
QUADOBJ
    x         x         2
    x         y         -1
QCMATRIX      need
    x         x         1
    x         y         0.5
    y         x         0.5
INDICATORS
 IF lim       u3        1
 IF bal       u3        0
ENDATA
)";

TEST(IoMps, ReadsEverySection) {
  ModelData m = mps(kAllSections);
  EXPECT_EQ(m.probname, "every");
  EXPECT_EQ(m.objsense, -1);
  EXPECT_EQ(m.objrhs, -7.5);  // objective constant +7.5
  ASSERT_EQ(m.nrows(), 6);    // the objective is not a row, the second N row is
  ASSERT_EQ(m.ncols(), 14);
  int x = col(m, "x"), y = col(m, "y"), n = col(m, "n");
  EXPECT_EQ(m.obj[x], 1.5);
  EXPECT_EQ(m.obj[n], -1);
  EXPECT_EQ(m.coltype[n], 'I');
  EXPECT_EQ(m.lb[n], 0);
  EXPECT_EQ(m.ub[n], inf);
  EXPECT_EQ(m.coltype[y], 'C');
  EXPECT_EQ(coef(m, row(m, "spare"), x), 4);
  EXPECT_EQ(m.nelems(), 7);

  // Ranges: L [10-4, 10], G [-2, -2+3], E+ [5, 7], E- [3, 5].
  int lim = row(m, "lim"), need = row(m, "need"), up = row(m, "up"), down = row(m, "down");
  EXPECT_EQ(m.rowtype[lim], 'R');
  EXPECT_EQ(m.rhs[lim], 10);
  EXPECT_EQ(m.range[lim], 4);
  EXPECT_EQ(m.rowtype[need], 'R');
  EXPECT_EQ(m.rhs[need], 1);
  EXPECT_EQ(m.range[need], 3);
  EXPECT_EQ(m.rowtype[up], 'R');
  EXPECT_EQ(m.rhs[up], 7);
  EXPECT_EQ(m.range[up], 2);
  EXPECT_EQ(m.rowtype[down], 'R');
  EXPECT_EQ(m.rhs[down], 5);
  EXPECT_EQ(m.range[down], 2);
  EXPECT_EQ(m.rowtype[row(m, "bal")], 'E');
  EXPECT_EQ(m.rhs[row(m, "bal")], 3);
  EXPECT_EQ(m.rowtype[row(m, "spare")], 'N');

  struct B {
    const char *name;
    char type;
    double lb, ub, threshold;
  } expect[] = {
      {"x", 'C', -1, 8, 0},       {"y", 'C', -inf, 6, 0},   {"u1", 'C', -inf, inf, 0},
      {"u2", 'C', 3.5, 3.5, 0},   {"n", 'I', 0, inf, 0},    {"u3", 'B', 0, 1, 0},
      {"u4", 'I', -2, inf, 0},    {"u5", 'I', 0, 7, 0},     {"u6", 'S', 0, 12, 2},
      {"u7", 'R', 0, 9, 3},       {"u8", 'P', 0, 20, 4},    {"u9", 'C', -inf, -3, 0},
      {"u10", 'S', 0, inf, 0},    {"u11", 'C', 0, inf, 0},
  };
  for (const B &b : expect) {
    SCOPED_TRACE(b.name);
    int j = col(m, b.name);
    EXPECT_EQ(m.coltype[j], b.type);
    EXPECT_EQ(m.lb[j], b.lb);
    EXPECT_EQ(m.ub[j], b.ub);
    EXPECT_EQ(m.threshold[j], b.threshold);
  }

  ASSERT_EQ(m.nsets(), 2);
  EXPECT_EQ(m.settype[0], '1');
  EXPECT_EQ(m.setnames[1], "s2");
  EXPECT_EQ(m.setcol, (std::vector<int>{x, y, col(m, "u4"), col(m, "u5")}));
  EXPECT_EQ(m.setref, (std::vector<double>{1, 2, 1, 2.5}));

  EXPECT_EQ(qobj(m, x, x), 2);
  EXPECT_EQ(qobj(m, x, y), -1);
  ASSERT_EQ(m.qrows.size(), 1u);
  EXPECT_EQ(m.qrows[0].row, need);
  EXPECT_EQ(m.qrows[0].val, (std::vector<double>{1, 0.5}));  // Q[x][y] of x'Qx

  EXPECT_EQ(m.indcol[lim], col(m, "u3"));
  EXPECT_EQ(m.indcomp[lim], 1);
  EXPECT_EQ(m.indcomp[row(m, "bal")], -1);
  EXPECT_EQ(m.indcol[up], -1);
}

// A line of fixed MPS: fields at columns 2, 5, 15, 25, 40 and 50.
std::string fx(const std::string &t, const std::string &a, const std::string &b = "",
               const std::string &v = "", const std::string &c = "", const std::string &w = "") {
  std::string s(61, ' ');
  auto put = [&](size_t pos, const std::string &x) { s.replace(pos, x.size(), x); };
  put(1, t);
  put(4, a);
  put(14, b);
  put(24, v);
  put(39, c);
  put(49, w);
  s.erase(s.find_last_not_of(' ') + 1);
  return s + "\n";
}

TEST(IoMps, FixedFormatNamesWithSpaces) {
  std::string text = "NAME          FIXED\nROWS\n" + fx("N", "COST") + fx("L", "LIM 1") +
                     fx("G", "MY ROW") + "COLUMNS\n" + fx("", "X ONE", "COST", "1", "LIM 1", "2") +
                     fx("", "X ONE", "MY ROW", "3") + fx("", "Y 2", "MY ROW", "1.5") + "RHS\n" +
                     fx("", "RHS", "LIM 1", "10", "MY ROW", "1") + "BOUNDS\n" +
                     fx("UP", "BND", "X ONE", "4") + "ENDATA\n";
  ModelData m = mps(text);
  ASSERT_EQ(m.ncols(), 2);
  ASSERT_EQ(m.nrows(), 2);
  EXPECT_EQ(m.colnames[0], "X ONE");
  EXPECT_EQ(m.colnames[1], "Y 2");
  EXPECT_EQ(m.rownames[1], "MY ROW");
  EXPECT_EQ(m.obj[0], 1);
  EXPECT_EQ(coef(m, 0, 0), 2);
  EXPECT_EQ(coef(m, 1, 0), 3);
  EXPECT_EQ(coef(m, 1, 1), 1.5);
  EXPECT_EQ(m.rhs[0], 10);
  EXPECT_EQ(m.rhs[1], 1);
  EXPECT_EQ(m.ub[0], 4);
}

TEST(IoMps, QuadraticSectionFormsAgree) {
  const std::string head =
      "NAME q\nROWS\n N obj\n L c1\nCOLUMNS\n x1 obj 0 c1 1\n x2 obj -1\n x3 obj -3 c1 1\n"
      "RHS\n rhs c1 2\n";
  ModelData a = mps(head + "QUADOBJ\n x1 x1 2\n x1 x3 -1\n x2 x2 0.2\n x3 x3 2\nENDATA\n");
  ModelData b = mps(head + "QMATRIX\n x1 x1 2\n x1 x3 -1\n x3 x1 -1\n x2 x2 0.2\n x3 x3 2\nENDATA\n");
  ModelData c = mps(head + "QSECTION obj\n x1 x1 2\n x3 x1 -1\n x2 x2 0.2\n x3 x3 2\nENDATA\n");
  ModelData d = mps(head + "QSECTION obj\n x1 x1 2\n x1 x3 -1\n x3 x1 -1\n x2 x2 0.2\n"
                           " x3 x3 2\nENDATA\n");
  for (const ModelData *m : {&a, &b, &c, &d}) {
    EXPECT_EQ(qobj(*m, 0, 0), 2);
    EXPECT_EQ(qobj(*m, 0, 2), -1);
    EXPECT_EQ(qobj(*m, 1, 1), 0.2);
    EXPECT_EQ(qobj(*m, 2, 2), 2);
    EXPECT_EQ(m->qval.size(), 4u);
  }
  // A constraint's QSECTION carries the factor 1/2, QCMATRIX does not.
  ModelData e = mps(head + "QSECTION c1\n x1 x1 2\n x1 x2 3\nENDATA\n");
  ASSERT_EQ(e.qrows.size(), 1u);
  EXPECT_EQ(e.qrows[0].val, (std::vector<double>{1, 1.5}));
  ModelData f = mps(head + "QCMATRIX c1\n x1 x1 2\n x1 x2 3\n x2 x1 3\nENDATA\n");
  EXPECT_EQ(f.qrows[0].val, (std::vector<double>{2, 3}));
}

TEST(IoMps, BoundConventions) {
  const std::string head = "NAME\nROWS\n N obj\n L c\nCOLUMNS\n x obj 1 c 1\n y c 1\n";
  // A negative UP alone frees the lower bound; after LO it does not.
  ModelData a = mps(head + "BOUNDS\n UP B x -4\n LO B y -1\n UP B y -0.5\nENDATA\n");
  EXPECT_EQ(a.lb[0], -inf);
  EXPECT_EQ(a.ub[0], -4);
  EXPECT_EQ(a.lb[1], -1);
  // A bound vector name may be left out; 1e30 is infinite.
  ModelData b = mps(head + "BOUNDS\n UP x 1e30\n LO y -1e+31\nENDATA\n");
  EXPECT_EQ(b.ub[0], inf);
  EXPECT_EQ(b.lb[1], -inf);
  // A semi-continuous column inside integer markers is semi-integer.
  ModelData c = mps("NAME\nROWS\n N obj\nCOLUMNS\n M 'MARKER' 'INTORG'\n z obj 1\n"
                    " M 'MARKER' 'INTEND'\nBOUNDS\n SC BND z 10\n LO BND z 1.1\nENDATA\n");
  EXPECT_EQ(c.coltype[0], 'R');
  EXPECT_EQ(c.threshold[0], 1.1);
  EXPECT_EQ(c.ub[0], 10);
  // Integer columns without any bound entry are binary-bounded; with one, not.
  ModelData f = mps("NAME\nROWS\n N obj\nCOLUMNS\n M 'MARKER' 'INTORG'\n i obj 1\n j obj 1\n"
                    " M 'MARKER' 'INTEND'\nBOUNDS\n LO BND j 2\nENDATA\n");
  EXPECT_EQ(f.coltype[0], 'I');
  EXPECT_EQ(f.ub[0], 1);
  EXPECT_EQ(f.lb[1], 2);
  EXPECT_EQ(f.ub[1], inf);
  // A second RHS vector is ignored, and the objective's right-hand side is the
  // negated constant.
  ModelData d = mps(head + "RHS\n R1 c 4 obj -2.5\n R2 c 9\nENDATA\n");
  EXPECT_EQ(d.rhs[0], 4);
  EXPECT_EQ(d.objrhs, -2.5);
  // OBJSENSE on one line, and comments and blank lines anywhere.
  ModelData e = mps("* c\nNAME\nOBJSENSE MAXIMIZE\n\nROWS\n N obj\n* c\nCOLUMNS\n x obj 1\nENDATA\n");
  EXPECT_EQ(e.objsense, -1);
  // Fortran's exponent letter.
  ModelData g = mps(head + "RHS\n R1 c 1.5D3\nBOUNDS\n UP B x -2.5d-1\nENDATA\n");
  EXPECT_EQ(g.rhs[0], 1500);
  EXPECT_EQ(g.ub[0], -0.25);
}

TEST(IoMps, MalformedFilesNameTheLineAndWhatWasExpected) {
  const std::string rows = "NAME\nROWS\n N obj\n L c\n";  // lines 1-4
  struct Case {
    std::string text;
    const char *where;
    const char *what;
  } cases[] = {
      {"", "mem.mps:1:", "found nothing"},
      {"NAME\nROWS\n N obj\n", "mem.mps:4:", "expected ENDATA"},
      {rows + "COLUMNS\n x c abc\nENDATA\n", "mem.mps:6:", "expected a number"},
      {rows + "COLUMNS\n x d 1\nENDATA\n", "mem.mps:6:", "unknown row 'd'"},
      {rows + " L c\n", "mem.mps:5:", "duplicate row name 'c'"},
      {rows + "COLUMNS\n x c 1\n y c 1\n x obj 2\nENDATA\n", "mem.mps:8:", "column 'x' appears again"},
      {rows + " Q d\n", "mem.mps:5:", "row type"},
      {rows + "COLUMNS\n x c 1\nBOUNDS\n XX B x 1\nENDATA\n", "mem.mps:8:", "bound type"},
      {rows + "COLUMNS\n x c 1\nBOUNDS\n UP B z 1\nENDATA\n", "mem.mps:8:", "unknown column 'z'"},
      {rows + "COLUMNS\n x c 1\nBOUNDS\n UP B x\nENDATA\n", "mem.mps:8:", "expected a value"},
      {rows + "COLUMNS\n x c 1\nFOO\n", "mem.mps:7:", "expected a section name"},
      {rows + "COLUMNS\n x c 1e999999\nENDATA\n", "mem.mps:6:", "finite coefficient"},
      {rows + "COLUMNS\n x c nan\nENDATA\n", "mem.mps:6:", "expected a number"},
      {rows + "COLUMNS\n x c 1\nINDICATORS\n IF c x 2\nENDATA\n", "mem.mps:8:", "0 or 1"},
      {rows + "COLUMNS\n x c 1\nSOS\n x 1\nENDATA\n", "mem.mps:8:", "set header"},
      {" x c 1\n", "mem.mps:1:", "section name"},
  };
  for (const Case &c : cases) {
    std::string err = mps_error(c.text);
    SCOPED_TRACE(c.text);
    EXPECT_NE(err.find(c.where), std::string::npos) << err;
    EXPECT_NE(err.find(c.what), std::string::npos) << err;
  }
  // A line far longer than any buffer is just a long line.
  std::string longname(100000, 'a');
  std::string err = mps_error(rows + "COLUMNS\n " + longname + " c 1 " + longname + " 2\nENDATA\n");
  EXPECT_NE(err.find("unknown row 'aaaa"), std::string::npos) << err.substr(0, 200);
  EXPECT_LT(err.size(), 200u);
}

// ---------------------------------------------------------------------------

TEST(IoLp, ReadsEverySection) {
  const char *text = R"(\ a comment
Maximize
 value: 3 x + 2y - z + 4 + [ 2 x ^ 2 - 2 x * y + 0.2 y^2 ] / 2
Subject To
 c1: x + y <= 10
 c2: -x + z >= -2.5 \ comment after a constraint
 c3: 2 x - y = 3
 r1: -5 <= x - z <= 5
 r2: 8 >= y + z
 q1: x + [ x ^ 2 + 3 x * y ] <= 7
 ind: b = 0 -> x + z <= 4
 x + 2 z
   + y >= 1
Bounds
 x <= 40
 -inf <= y <= 8
 z free
 1 <= s <= 9
 w = 2.5
 i >= -3
General
 i g
Binaries
 b
Semi-continuous
 s g
SOS
 set1: S1:: x:1 y:2
 S2:: i:1.5 z:2 w:3
End
)";
  ModelData m = lp(text);
  EXPECT_EQ(m.objsense, -1);
  EXPECT_EQ(m.objrhs, -4);
  int x = col(m, "x"), y = col(m, "y"), z = col(m, "z"), b = col(m, "b"), s = col(m, "s");
  int g = col(m, "g"), i = col(m, "i"), w = col(m, "w");
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 1);  // numbered in order of appearance
  EXPECT_EQ(m.obj[y], 2);
  EXPECT_EQ(m.obj[z], -1);
  EXPECT_EQ(qobj(m, x, x), 2);
  EXPECT_EQ(qobj(m, x, y), -1);
  EXPECT_EQ(qobj(m, y, y), 0.2);
  ASSERT_EQ(m.nrows(), 8);
  EXPECT_EQ(m.rowtype[row(m, "c1")], 'L');
  EXPECT_EQ(m.rowtype[row(m, "c2")], 'G');
  EXPECT_EQ(m.rhs[row(m, "c2")], -2.5);
  EXPECT_EQ(m.rowtype[row(m, "c3")], 'E');
  int r1 = row(m, "r1");
  EXPECT_EQ(m.rowtype[r1], 'R');
  EXPECT_EQ(m.rhs[r1], 5);
  EXPECT_EQ(m.range[r1], 10);
  EXPECT_EQ(m.rowtype[row(m, "r2")], 'L');
  EXPECT_EQ(m.rhs[row(m, "r2")], 8);
  int q1 = row(m, "q1");
  ASSERT_EQ(m.qrows.size(), 1u);
  EXPECT_EQ(m.qrows[0].row, q1);
  EXPECT_EQ(m.qrows[0].val, (std::vector<double>{1, 1.5}));
  int ind = row(m, "ind");
  EXPECT_EQ(m.indcol[ind], b);
  EXPECT_EQ(m.indcomp[ind], -1);
  EXPECT_EQ(coef(m, ind, z), 1);
  EXPECT_EQ(m.rownames[7], "");
  EXPECT_EQ(coef(m, 7, y), 1);
  EXPECT_EQ(coef(m, 7, z), 2);
  EXPECT_EQ(m.rowtype[7], 'G');

  EXPECT_EQ(m.ub[x], 40);
  EXPECT_EQ(m.lb[y], -inf);
  EXPECT_EQ(m.ub[y], 8);
  EXPECT_EQ(m.lb[z], -inf);
  EXPECT_EQ(m.ub[z], inf);
  EXPECT_EQ(m.coltype[s], 'S');
  EXPECT_EQ(m.threshold[s], 1);
  EXPECT_EQ(m.lb[s], 0);
  EXPECT_EQ(m.ub[s], 9);
  EXPECT_EQ(m.coltype[g], 'R');
  EXPECT_EQ(m.coltype[i], 'I');
  EXPECT_EQ(m.lb[i], -3);
  EXPECT_EQ(m.coltype[b], 'B');
  EXPECT_EQ(m.ub[b], 1);
  EXPECT_EQ(m.lb[w], 2.5);
  EXPECT_EQ(m.ub[w], 2.5);
  ASSERT_EQ(m.nsets(), 2);
  EXPECT_EQ(m.setnames[0], "set1");
  EXPECT_EQ(m.setnames[1], "");
  EXPECT_EQ(m.settype[1], '2');
  EXPECT_EQ(m.setref, (std::vector<double>{1, 2, 1.5, 2, 3}));
}

// Forms other writers use: names starting with digits after a coefficient,
// "2x" for 2 times x, rows named by numbers, empty rows, signs everywhere.
TEST(IoLp, ReadsOtherWritersForms) {
  ModelData m = lp("min\n obj: +0.5 5C0ST -1 1G0EXP + 2x +3e1 y\nst\n"
                   " 30121: +1 5C0ST +1 1G0EXP = +4\n F1X.0: = +0\n c: - -x >= - 2\n"
                   "bounds\n 5C0ST <= 3\ngen\n 1G0EXP\nsemi\nend\n");
  int a = col(m, "5C0ST"), b = col(m, "1G0EXP"), x = col(m, "x"), y = col(m, "y");
  EXPECT_EQ(m.obj[a], 0.5);
  EXPECT_EQ(m.obj[b], -1);
  EXPECT_EQ(m.obj[x], 2);
  EXPECT_EQ(m.obj[y], 30);
  EXPECT_EQ(m.ncols(), 4);
  EXPECT_EQ(coef(m, row(m, "30121"), a), 1);
  EXPECT_EQ(m.rhs[row(m, "30121")], 4);
  int e = row(m, "F1X.0");
  EXPECT_EQ(m.rowtype[e], 'E');
  EXPECT_EQ(m.mstart.back(), 3);
  EXPECT_EQ(coef(m, row(m, "c"), x), 1);
  EXPECT_EQ(m.rhs[row(m, "c")], -2);
  EXPECT_EQ(m.ub[a], 3);
  EXPECT_EQ(m.coltype[b], 'I');
  // Repeated variables add up; a zero coefficient keeps the column.
  ModelData r = lp("max\n x + 0 z\nst\n c: x + 2 y - x + 3 y <= 1\nend\n");
  EXPECT_EQ(r.ncols(), 3);
  EXPECT_EQ(r.mstart.back(), 1);
  EXPECT_EQ(coef(r, 0, 2), 5);
}

TEST(IoLp, MalformedFilesNameTheLineAndWhatWasExpected) {
  struct Case {
    const char *text, *where, *what;
  } cases[] = {
      {"", "mem.lp:1:", "empty"},
      {"  \n\\ only a comment\n", "mem.lp:3:", "empty"},
      {"hello world\n", "mem.lp:1:", "section keyword"},
      {"min\n x + y\nst\n c1: x + y\nend\n", "mem.lp:5:", "expected <=, >= or ="},
      {"min\n x\nst\n c1: x + y <= \nend\n", "mem.lp:5:", "right-hand side"},
      {"min\n x\nst\n c1: x + y <= 1\n", "mem.lp:5:", "expected End"},
      {"min\n x + [ x y ]\nend\n", "mem.lp:2:", "^2 or *"},
      {"min\n x + [ x ^ 3 ]\nend\n", "mem.lp:2:", "2 after ^"},
      {"min\n x\nst\n c: x <= 1\n c: x >= 0\nend\n", "mem.lp:5:", "duplicate constraint"},
      {"min\n x\nst\n c: y = 2 -> x <= 1\nend\n", "mem.lp:4:", "indicator"},
      {"min\n x\nst\n c: 1 <= x >= 0\nend\n", "mem.lp:4:", "same direction"},
      {"min\n x\nbounds\n x <=\nend\n", "mem.lp:5:", "bound value"},
      {"min\n x\nsos\n s: S3:: x:1\nend\n", "mem.lp:4:", "S1::"},
      // Out-of-range numbers are refused as coefficients, as in MPS files.
      {"min\n x + 1e400 y\nend\n", "mem.lp:2:", "finite coefficient"},
      {"min\n x\nst\n c: 1e400x <= 1\nend\n", "mem.lp:4:", "finite coefficient"},
      {"min\n [ 1e999 x ^ 2 ]\nend\n", "mem.lp:2:", "finite coefficient"},
  };
  for (const Case &c : cases) {
    std::string err = lp_error(c.text);
    SCOPED_TRACE(c.text);
    EXPECT_NE(err.find(c.where), std::string::npos) << err;
    EXPECT_NE(err.find(c.what), std::string::npos) << err;
  }
}

// ---------------------------------------------------------------------------
// Round trips through the C API.

class IoRoundTrip : public ProbTest {
 protected:
  void SetUp() override {
    ProbTest::SetUp();
    dir_ = ::testing::TempDir() + "krvu_io_" + std::to_string(getpid()) + "_";
  }
  std::string error() { return err(); }
  // Writes m with flags, reads it back and compares.
  void round_trip(const ModelData &m, const std::string &file, const char *flags) {
    SCOPED_TRACE(file + " flags '" + flags + "'");
    ModelData copy = m;
    krvu::replace_model(p_, std::move(copy), "test");
    std::string path = dir_ + file;
    ASSERT_EQ(KRVUwriteprob(p_, path.c_str(), flags), 0) << error();
    ASSERT_EQ(KRVUreadprob(p_, path.c_str(), ""), 0) << error();
    expect_same(m, krvu::read_model(p_));
    std::remove(path.c_str());
  }
  KRVUprob &p_ = p;
  std::string dir_;
};

// A model with every feature and values that need all 17 digits.
ModelData rich(bool partial) {
  ModelData m;
  m.probname = "rich";
  m.objsense = -1;
  m.objrhs = -1.0 / 3;
  m.append_cols(9);
  const char *names[] = {"x", "y", "", "b1", "i1", "s1", "r1", "p1", "last"};
  const char types[] = {'C', 'C', 'C', 'B', 'I', 'S', 'R', 'P', 'I'};
  for (int j = 0; j < 9; ++j) {
    m.colnames[j] = names[j];
    m.coltype[j] = types[j];
  }
  if (!partial) m.coltype[7] = 'C';
  m.obj = {1.0 / 3, -2.5e17, 0, 1, 0.1, 0, 0, 1e-300, 0};
  m.lb = {-inf, -5, 0, 0, -3, 0, 0, 0, 0};
  m.ub = {inf, 0.1, 7, 1, inf, 100.0 / 3, 9, 20, -2};
  m.threshold = {0, 0, 0, 0, 0, 2.5, 3, partial ? 4.0 : 0.0, 0};
  m.append_rows(7);
  m.rownames = {"le", "ge", "", "rng", "free", "ind", "eq"};
  m.rowtype = {'L', 'G', 'E', 'R', 'N', 'L', 'E'};
  m.rhs = {10, -1.0 / 7, 3, 10.5, 0, 4, 0};
  m.range = {0, 0, 0, 0.25, 0, 0, 0};
  m.indcol[5] = 3;
  m.indcomp[5] = -1;
  std::vector<int> r = {0, 0, 1, 1, 2, 3, 3, 4, 5, 5, 6, 6, 0};
  std::vector<int> c = {0, 1, 0, 4, 5, 1, 6, 7, 0, 8, 2, 4, 8};
  std::vector<double> v = {1, 2.0 / 3, -1, 1e-5, 3, 1, -1.5, 4, 1, 1, 1, -1, 5};
  m.set_matrix_triplets(static_cast<int64_t>(v.size()), r.data(), c.data(), v.data());
  std::vector<int> q1 = {0, 0, 2}, q2 = {0, 1, 2};
  std::vector<double> qv = {2, -0.7, 1.0 / 7};
  m.set_qobj_triplets(3, q1.data(), q2.data(), qv.data());
  std::vector<int> a = {0, 0}, b = {0, 1};
  std::vector<double> av = {1, 0.5 / 3};
  m.add_qrow_triplets(1, 2, a.data(), b.data(), av.data());
  m.settype = {'1', '2'};
  m.setstart = {0, 2, 5};
  m.setcol = {0, 1, 4, 5, 6};
  m.setref = {1, 2, 1.5, 2.5, 3.5};
  m.setnames = {"sa", ""};
  return m;
}

TEST_F(IoRoundTrip, MpsFreeFixedAndHexKeepEveryFeature) {
  ModelData m = rich(true);
  ASSERT_EQ(m.validate(), "");
  round_trip(m, "rich.mps", "");
  round_trip(m, "rich_x.mps", "x");
  round_trip(m, "rich_p.mps", "p");
  round_trip(m, "rich.dat", "m");
}

TEST_F(IoRoundTrip, LpKeepsEveryFeatureItCanHold) {
  ModelData m = rich(false);
  round_trip(m, "rich.lp", "");
  round_trip(m, "rich_x.lp", "x");
  round_trip(m, "rich_lp.txt", "l");
  // Partially integer columns have no LP form: the write fails and leaves no file.
  ModelData withp = rich(true);
  krvu::replace_model(p_, std::move(withp), "test");
  std::string path = dir_ + "p.lp";
  EXPECT_NE(KRVUwriteprob(p_, path.c_str(), ""), 0);
  EXPECT_NE(error().find("partially integer"), std::string::npos) << error();
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST_F(IoRoundTrip, NamesTheFormatCannotHoldAreRefusedOrReplacedOnRequest) {
  ModelData m;
  m.append_cols(3);
  m.colnames = {"a space", "C1", "3start"};
  m.obj = {1, 2, 3};
  m.append_rows(1);
  m.rowtype[0] = 'L';
  m.rownames[0] = "max";  // a keyword at the start of an LP line
  int r[] = {0, 0, 0}, c[] = {0, 1, 2};
  double v[] = {1, 1, 1};
  m.set_matrix_triplets(3, r, c, v);
  krvu::replace_model(p_, ModelData(m), "test");
  std::string path = dir_ + "names.lp";
  // Refused, naming the column, unless the caller asks for default names.
  ASSERT_NE(KRVUwriteprob(p_, path.c_str(), ""), 0);
  EXPECT_NE(error().find("column name 'a space' cannot be written in the LP format"), std::string::npos)
      << error();
  ASSERT_EQ(KRVUwriteprob(p_, path.c_str(), "n"), 0) << error();
  ASSERT_EQ(KRVUreadprob(p_, path.c_str(), ""), 0) << error();
  const ModelData &back = krvu::read_model(p_);
  ASSERT_EQ(back.ncols(), 3);
  // Unique, readable names, the valid one kept, values unchanged.
  EXPECT_EQ(back.colnames[1], "C1");
  EXPECT_NE(back.colnames[0], back.colnames[1]);
  EXPECT_NE(back.colnames[2], back.colnames[1]);
  EXPECT_EQ(back.obj, m.obj);
  EXPECT_EQ(back.rownames[0], "max");  // followed by ':', not a keyword
  // Fixed MPS keeps the space.
  path = dir_ + "names.mps";
  krvu::replace_model(p_, ModelData(m), "test");
  ASSERT_EQ(KRVUwriteprob(p_, path.c_str(), "p"), 0) << error();
  ASSERT_EQ(KRVUreadprob(p_, path.c_str(), ""), 0) << error();
  EXPECT_EQ(krvu::read_model(p_).colnames[0], "a space");
  std::remove(path.c_str());
}

}  // namespace

// Every shared instance survives MPS (decimal, hexadecimal, fixed) and LP
// round trips unchanged.
TEST_F(IoRoundTrip, SharedInstancesRoundTrip) {
  std::string dir = KRVU_INSTANCES_DIR;
  if (access(dir.c_str(), F_OK) != 0) GTEST_SKIP() << "no instances folder";
  const char *files[] = {"afiro.mps", "adlittle.mps", "25fv47.mps", "bell5.mps", "bgetam.mps",
                         "box1.mps", "egout.mps", "flugpl.mps", "forest6.mps", "galenet.mps",
                         "gas11.mps", "lseu.mps", "p0548.mps", "rgn.mps", "scrs8.mps",
                         "shell.mps", "small_mip.mps", "stair.mps", "standata.mps", "qjh.mps",
                         "semi-integer.mps", "semi-continuous.lp", "qcqp.lp", "qptestnw.lp"};
  for (const char *f : files) {
    SCOPED_TRACE(f);
    std::string path = dir + "/" + f;
    ASSERT_EQ(KRVUreadprob(p_, path.c_str(), ""), 0) << error();
    ModelData m = krvu::read_model(p_);
    round_trip(m, "inst.mps", "");
    round_trip(m, "inst_x.mps", "x");
    // Names starting with a digit would read as numbers in the LP format (the
    // writer replaces them): give them a letter first.
    for (auto *names : {&m.colnames, &m.rownames})
      for (std::string &n : *names)
        if (!n.empty() && n[0] >= '0' && n[0] <= '9') n = "n_" + n;
    round_trip(m, "inst.lp", "");
  }
}
