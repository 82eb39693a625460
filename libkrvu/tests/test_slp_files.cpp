// Files, save files and copies of nonlinear problems: formulas of every
// function and operator come back as they were written, the read problem
// solves to the same optimum, and malformed files are refused with their line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "krvu.h"
#include "kslp.h"

namespace {

class SlpFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(KRVUinit(nullptr), 0);
    ASSERT_EQ(KSLPinit(), 0);
    make(&prob, &slp);
  }
  void TearDown() override {
    for (KSLPprob s : {slp, slp2})
      if (s) KSLPdestroyprob(s);
    for (KRVUprob p : {prob, prob2})
      if (p) KRVUdestroyprob(p);
    for (const std::string &f : files) std::remove(f.c_str());
    KSLPfree();
    KRVUfree();
  }
  static void make(KRVUprob *p, KSLPprob *s) {
    ASSERT_EQ(KRVUcreateprob(p), 0);
    ASSERT_EQ(KSLPcreateprob(s, p), 0);
  }
  static std::string error(KSLPprob s) {
    int code = 0;
    char buf[512];
    KSLPgetlasterror(s, &code, buf);
    return buf;
  }
  std::string file(const std::string &name) {
    // ctest runs tests in parallel: the test's own name keeps their files apart.
    std::string f = ::testing::TempDir() + "slpfiles_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
    files.push_back(f);
    return f;
  }
  static std::string text_of(KSLPprob s, int row, int col) {
    char buf[4096];
    double factor = 0;
    EXPECT_EQ(KSLPgetccoef(s, row, col, &factor, buf, sizeof buf), 0) << error(s);
    std::ostringstream o;
    o << factor << " * [" << buf << "]";
    return o.str();
  }

  // min (x1 - 1)^2 + (x2 - 2)^2 + f(x1, x2) s.t. x1 + x2 <= 1 as a formula,
  // through a transfer row and column; columns named as given.
  void build_model(KRVUprob p, KSLPprob s, const std::string &obj, const char *n1 = "x1",
                   const char *n2 = "x2") {
    char types[] = {'L', 'E'};
    double rhs[] = {1.0, 0.0}, obj_c[] = {0, 0, 1}, lb[] = {-10, -10, -KRVU_INFINITY},
           ub[] = {10, 10, KRVU_INFINITY}, val[] = {-1.0};
    int start[] = {0, 0, 0, 1}, rowind[] = {1};
    ASSERT_EQ(KRVUloadlp(p, "nlfile", 3, 2, types, rhs, nullptr, obj_c, start, nullptr, rowind,
                         val, lb, ub),
              0);
    std::string names = std::string(n1) + '\0' + n2 + '\0' + "objcol" + '\0';
    ASSERT_EQ(KRVUaddnames(p, 2, names.data(), 0, 2), 0);
    ASSERT_EQ(KRVUaddnames(p, 1, std::string("cap\0objrow\0", 11).data(), 0, 1), 0);
    ASSERT_EQ(KSLPchgccoef(s, 0, -1, nullptr, (std::string(n1) + " + " + n2).c_str()), 0) << error(s);
    ASSERT_EQ(KSLPchgccoef(s, 1, -1, nullptr, obj.c_str()), 0) << error(s);
    int status = 0x800, row = 1;
    ASSERT_EQ(KSLPchgrowstatus(s, 1, &status), 0);
    ASSERT_EQ(KSLPchgvar(s, 2, &row, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr),
              0);
  }

  double solve(KSLPprob s) {
    EXPECT_EQ(KSLPnlpoptimize(s, ""), 0) << error(s);
    int status = -1;
    KSLPgetintattrib(s, KSLP_ATTR_NLPSTATUS, &status);
    EXPECT_EQ(status, KSLP_NLPSTATUS_LOCALLY_OPTIMAL);
    double v = NAN;
    KSLPgetdblattrib(s, KSLP_ATTR_OBJVAL, &v);
    return v;
  }
  int coefs(KSLPprob s) {
    int n = -1;
    KSLPgetcoefs(s, &n, nullptr, nullptr);
    return n;
  }
  void write_text(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
  }

  KRVUprob prob = nullptr, prob2 = nullptr;
  KSLPprob slp = nullptr, slp2 = nullptr;
  std::vector<std::string> files;
};

// Every built-in function and operator, in formulas of the two kinds (times
// a column and standing alone).
const char *const kFormulas[] = {
    "x1 ^ 2 + 3 * x2 - x1 / (x2 + 4) + ((x1 - 1) ^ 2) ^ 0.5 * 0.1",
    "-x1 + -(x2 * 2.5e-7) + 2 ^ 3 ^ 0.5",
    "exp(x1) + ln(x2 + 20) + log10(x1 + 20)",
    "abs(x1) + sqrt(x2 + 11) + sign(x1)",
    "sin(x1) * cos(x2) - tan(x1 / 100)",
    "arcsin(x1 / 20) + arccos(x2 / 20) + arctan(x1)",
    "erf(x1) + erfc(x2) + min(x1, x2, 3) + max(x1, 0.1)",
    "pwl(x1, -10, 5, 0, 0, 10, 7)",
};

TEST_F(SlpFiles, FormulasOfEveryFunctionAndOperatorComeBackFromAFile) {
  build_model(prob, slp, "(x1 - 1)^2 + (x2 - 2)^2");
  std::vector<std::string> before;
  for (size_t k = 0; k < std::size(kFormulas); ++k) {
    // Each at its own (row, column): rows 0 and 1, no column or columns 0 to 2.
    int row = static_cast<int>(k % 2), col = static_cast<int>(k / 2) - 1;
    double f = 0.5 + static_cast<double>(k) / 3;  // not a short decimal
    ASSERT_EQ(KSLPchgccoef(slp, row, col, &f, kFormulas[k]), 0)
        << kFormulas[k] << ": " << error(slp);
  }
  int n = coefs(slp);
  std::vector<int> rows(n), cols(n);
  KSLPgetcoefs(slp, &n, rows.data(), cols.data());
  ASSERT_EQ(n, static_cast<int>(std::size(kFormulas)));
  for (int k = 0; k < n; ++k) before.push_back(text_of(slp, rows[k], cols[k]));
  std::vector<double> values_before(n), values_after(n);
  double x0 = 0.3, x1 = -0.7;
  KSLPchgvar(slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &x0, nullptr, nullptr, nullptr, nullptr, nullptr);
  KSLPchgvar(slp, 1, nullptr, nullptr, nullptr, nullptr, nullptr, &x1, nullptr, nullptr, nullptr, nullptr, nullptr);
  for (int k = 0; k < n; ++k) ASSERT_EQ(KSLPevaluatecoef(slp, rows[k], cols[k], &values_before[k]), 0);

  std::string f = file("all.mps");
  ASSERT_EQ(KSLPwriteprob(slp, f.c_str(), ""), 0) << error(slp);
  make(&prob2, &slp2);
  ASSERT_EQ(KSLPreadprob(slp2, f.c_str(), ""), 0) << error(slp2);
  ASSERT_EQ(coefs(slp2), n);
  std::vector<int> rows2(n), cols2(n);
  KSLPgetcoefs(slp2, &n, rows2.data(), cols2.data());
  EXPECT_EQ(rows2, rows);
  EXPECT_EQ(cols2, cols);
  for (int k = 0; k < n; ++k) {
    EXPECT_EQ(text_of(slp2, rows[k], cols[k]), before[k]);
    ASSERT_EQ(KSLPevaluatecoef(slp2, rows[k], cols[k], &values_after[k]), 0) << error(slp2);
    EXPECT_NEAR(values_after[k], values_before[k], 1e-12 * (1 + std::fabs(values_before[k])));
  }
  // Writing the read problem again gives the same file.
  std::string g = file("again.mps");
  ASSERT_EQ(KSLPwriteprob(slp2, g.c_str(), ""), 0);
  std::ifstream a(f), b(g);
  std::stringstream sa, sb;
  sa << a.rdbuf();
  sb << b.rdbuf();
  EXPECT_EQ(sa.str(), sb.str());
}

TEST_F(SlpFiles, TheReadProblemSolvesToTheSameOptimumWithItsSettings) {
  build_model(prob, slp, "(x1 - 1)^2 + (x2 - 2)^2");
  ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_MAXITER, 321), 0);
  ASSERT_EQ(KSLPsetdblcontrol(slp, KSLP_CTRL_FEASTOL, 1e-7), 0);
  double pen = 0.25, init = 0.5;
  ASSERT_EQ(KSLPchgvar(slp, 0, nullptr, nullptr, nullptr, &pen, nullptr, &init, nullptr, nullptr,
                       nullptr, nullptr, nullptr),
            0);
  std::string f = file("solve.mps.gz");
  ASSERT_EQ(KSLPwriteprob(slp, f.c_str(), "x"), 0) << error(slp);
  make(&prob2, &slp2);
  ASSERT_EQ(KSLPreadprob(slp2, f.c_str(), ""), 0) << error(slp2);
  int it = 0, status = 0, detrow = -1;
  double feastol = 0, pen2 = 0, init2 = 0;
  KSLPgetintcontrol(slp2, KSLP_CTRL_MAXITER, &it);
  KSLPgetdblcontrol(slp2, KSLP_CTRL_FEASTOL, &feastol);
  EXPECT_EQ(it, 321);
  EXPECT_EQ(feastol, 1e-7);
  KSLPgetrowstatus(slp2, 1, &status);
  EXPECT_EQ(status, 0x800);
  KSLPgetvar(slp2, 2, &detrow, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(detrow, 1);
  KSLPgetvar(slp2, 0, nullptr, nullptr, nullptr, &pen2, nullptr, &init2, nullptr, nullptr,
             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(pen2, 0.25);
  EXPECT_EQ(init2, 0.5);
  EXPECT_NEAR(solve(slp2), solve(slp), 1e-7);
  EXPECT_NEAR(solve(slp2), 2.0, 1e-6);
}

TEST_F(SlpFiles, NamesAFormulaCannotHoldAndUserFunctionsSurvive) {
  build_model(prob, slp, "(x1 - 1)^2", "x1", "x2");
  // Names with blanks, quotes and operator characters, in fixed MPS.
  ASSERT_EQ(KRVUaddnames(prob, 2, std::string("a b\0q\"(1)\0", 11).data(), 0, 1), 0);
  int idx = 0;
  ASSERT_EQ(KSLPsetstring(slp, &idx, "sin"), 0);  // named like a built-in
  int ut[] = {5, 86, 87, 0};
  double uv[] = {static_cast<double>(idx), 19, 0, 0};
  ASSERT_EQ(KSLPadduserfuncs(slp, 1, 4, ut, uv), 0) << error(slp);
  int t[] = {22, 10, 10, 11, 0};
  double v[] = {0, 0, 1, 1, 0};
  ASSERT_EQ(KSLPchgcoef(slp, 0, 1, nullptr, 1, 5, t, v), 0) << error(slp);
  const std::string before = text_of(slp, 0, 1);
  std::string f = file("names.mps");
  ASSERT_EQ(KSLPwriteprob(slp, f.c_str(), "p"), 0) << error(slp);
  make(&prob2, &slp2);
  ASSERT_EQ(KSLPreadprob(slp2, f.c_str(), ""), 0) << error(slp2);
  EXPECT_EQ(text_of(slp2, 0, 1), before);
  int nt = 0, t2[8];
  double v2[8], factor;
  ASSERT_EQ(KSLPgetcoefformula(slp2, 0, 1, &factor, 1, 8, &nt, t2, v2), 0);
  EXPECT_EQ(std::vector<int>(t2, t2 + nt), std::vector<int>(t, t + 5));
  EXPECT_EQ(std::vector<double>(v2, v2 + nt), std::vector<double>(v, v + 5));
  // Read back into the problem that wrote it, the function keeps its address.
  auto one = [](const double *, void *) { return 1.0; };
  ASSERT_EQ(KSLPchguserfuncaddress(slp, 1, reinterpret_cast<void *>(+one)), 0);
  ASSERT_EQ(KSLPreadprob(slp, f.c_str(), ""), 0) << error(slp);
  double val = 0;
  EXPECT_EQ(KSLPevaluatecoef(slp, 0, 1, &val), 0) << error(slp);
}

TEST_F(SlpFiles, MalformedFilesAreRefusedWithTheirLineAndChangeNothing) {
  build_model(prob, slp, "(x1 - 1)^2");
  std::string f = file("good.mps");
  ASSERT_EQ(KSLPwriteprob(slp, f.c_str(), ""), 0);
  std::ifstream in(f);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  size_t formulas = 0;
  for (size_t k = 0; k < lines.size(); ++k)
    if (lines[k] == "FORMULAS") formulas = k;
  ASSERT_GT(formulas, 0u);
  struct Case {
    std::string replace;  // the first formula line
    const char *message;
    size_t line = 2;  // after the FORMULAS line, counted from 1
  };
  const Case cases[] = {
      {" F cap 1 x1 + nosuch", "unknown column 'nosuch'"},
      {" F nosuch 1 x1", "unknown row 'nosuch'"},
      {" F cap one x1", "expected a factor"},
      {" X cap 1 x1", "expected C or F"},
      {" F cap 1 x1 +", "the formula"},
      {" F cap 1 foo(x1)", "unknown function 'foo'"},
      {" F cap 1 \"x1", "closing"},
      {" C cap x1 1 x2\n F cap 1 x1\n C cap x1 1 x2", "a second formula", 4},
  };
  for (const Case &c : cases) {
    std::string bad = file("bad.mps");
    std::string text;
    for (size_t k = 0; k < lines.size(); ++k) text += (k == formulas + 1 ? c.replace : lines[k]) + "\n";
    write_text(bad, text);
    EXPECT_NE(KSLPreadprob(slp, bad.c_str(), ""), 0) << c.replace;
    std::string e = error(slp);
    EXPECT_NE(e.find(c.message), std::string::npos) << e;
    EXPECT_NE(e.find(":" + std::to_string(formulas + c.line) + ":"), std::string::npos) << e;
  }
  std::string bad = file("ctl.mps");
  std::string text;
  for (const std::string &l : lines) text += l + "\n" + (l == "NLCONTROLS" ? " kslp_nosuch 1\n" : "");
  write_text(bad, text);
  EXPECT_NE(KSLPreadprob(slp, bad.c_str(), ""), 0);
  EXPECT_NE(error(slp).find("unknown control 'kslp_nosuch'"), std::string::npos) << error(slp);
  text.clear();
  for (const std::string &l : lines) text += l + "\n" + (l == "NLCONTROLS" ? " kslp_maxiter -4\n" : "");
  write_text(bad, text);
  EXPECT_NE(KSLPreadprob(slp, bad.c_str(), ""), 0);
  // The problem is as it was: both formulas, the same optimum.
  EXPECT_EQ(coefs(slp), 2);
  EXPECT_NEAR(solve(slp), 0.0, 1e-6);
  // The plain reader refuses the nonlinear sections rather than drop them.
  EXPECT_NE(KRVUreadprob(prob, f.c_str(), ""), 0);
}

TEST_F(SlpFiles, LinearProblemsGivePlainFilesAndTheLpFormatRefusesFormulas) {
  char types[] = {'L'};
  double rhs[] = {4}, obj[] = {1, 1};
  int start[] = {0, 1, 2}, rowind[] = {0, 0};
  double val[] = {1, 1};
  ASSERT_EQ(KRVUloadlp(prob, "lin", 2, 1, types, rhs, nullptr, obj, start, nullptr, rowind, val,
                       nullptr, nullptr),
            0);
  std::string f = file("lin.lp");
  ASSERT_EQ(KSLPwriteprob(slp, f.c_str(), "g"), 0) << error(slp);
  ASSERT_EQ(KRVUreadprob(prob, f.c_str(), ""), 0);  // an ordinary LP file
  double one = 1;
  ASSERT_EQ(KSLPchgccoef(slp, 0, -1, &one, "C1 ^ 2"), 0) << error(slp);
  EXPECT_NE(KSLPwriteprob(slp, f.c_str(), ""), 0);
  EXPECT_NE(error(slp).find("LP format"), std::string::npos) << error(slp);
  EXPECT_NE(KSLPwriteprob(slp, file("bad.mps").c_str(), "q"), 0);
  // A plain file read through the nonlinear reader empties the nonlinear model.
  ASSERT_EQ(KSLPreadprob(slp, f.c_str(), ""), 0) << error(slp);
  EXPECT_EQ(coefs(slp), 0);
}

TEST_F(SlpFiles, CopiesAndSaveFilesKeepTheWholeNonlinearProblem) {
  build_model(prob, slp, "(x1 - 1)^2 + (x2 - 2)^2");
  ASSERT_EQ(KSLPsetintcontrol(slp, KSLP_CTRL_MAXITER, 77), 0);
  const std::string text = text_of(slp, 1, -1);
  make(&prob2, &slp2);
  EXPECT_NE(KSLPcopyprob(slp2, slp, ""), 0);  // the linear part first
  EXPECT_NE(error(slp2).find("KRVUcopyprob"), std::string::npos) << error(slp2);
  ASSERT_EQ(KRVUcopyprob(prob2, prob, ""), 0);
  ASSERT_EQ(KSLPcopyprob(slp2, slp, ""), 0) << error(slp2);
  // The copy is independent of its source.
  ASSERT_EQ(KSLPchgccoef(slp, 1, -1, nullptr, "x1 ^ 4"), 0);
  EXPECT_EQ(text_of(slp2, 1, -1), text);
  EXPECT_NEAR(solve(slp2), 2.0, 1e-6);

  const double optimum = solve(slp2);
  std::string f = file("saved.svf");
  ASSERT_EQ(KSLPsaveas(slp2, f.c_str()), 0) << error(slp2);
  ASSERT_EQ(KSLPchgccoef(slp2, 1, -1, nullptr, "x1"), 0);
  ASSERT_EQ(KSLPrestore(slp2, f.c_str()), 0) << error(slp2);
  EXPECT_EQ(text_of(slp2, 1, -1), text);
  double v = 0;
  KSLPgetdblattrib(slp2, KSLP_ATTR_OBJVAL, &v);
  EXPECT_EQ(v, optimum);  // the solution came back with the model
  std::vector<double> x(3);
  EXPECT_EQ(KSLPgetslpsol(slp2, x.data(), nullptr, nullptr, nullptr), 0) << error(slp2);
  std::string slx = file("sol.slx");
  EXPECT_EQ(KSLPwriteslxsol(slp2, slx.c_str(), ""), 0) << error(slp2);
  std::ifstream s(slx);
  std::stringstream ss;
  ss << s.rdbuf();
  EXPECT_NE(ss.str().find(" C x2 1"), std::string::npos) << ss.str();

  // A damaged save file changes nothing.
  {
    std::fstream d(f, std::ios::in | std::ios::out | std::ios::binary);
    d.seekp(200);
    d.put('\x7f');
  }
  ASSERT_EQ(KSLPchgccoef(slp2, 1, -1, nullptr, "x1"), 0);
  EXPECT_NE(KSLPrestore(slp2, f.c_str()), 0);
  EXPECT_NE(error(slp2).find("damaged"), std::string::npos) << error(slp2);
  EXPECT_EQ(text_of(slp2, 1, -1), "1 * [x1]");
}

}  // namespace
