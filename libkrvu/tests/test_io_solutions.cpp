// Basis, solution and save files: round trips, warm starts, damaged and
// foreign files, and writes that fail without touching existing files.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "analysis_fixture.h"

namespace {

using testing_analysis::AnalysisTest;

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
void spit(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

class SolutionFiles : public AnalysisTest {
 protected:
  std::string tmp(const std::string &name) { return ::testing::TempDir() + "krvu_sol_" + name; }
  KRVUprob fresh() {
    KRVUprob q;
    EXPECT_EQ(KRVUcreateprob(&q), 0);
    KRVUsetintcontrol(q, 8030, 0);
    return q;
  }
  struct Sol {
    std::vector<double> x, slack, dual, dj;
    std::vector<int> rs, cs;
  };
  Sol solution(KRVUprob q) {
    int m = 0, n = 0;
    KRVUgetintattrib(q, KRVU_ATTR_ROWS, &m);
    KRVUgetintattrib(q, KRVU_ATTR_COLS, &n);
    Sol s{std::vector<double>(n), std::vector<double>(m), std::vector<double>(m),
          std::vector<double>(n), std::vector<int>(m), std::vector<int>(n)};
    EXPECT_EQ(KRVUgetlpsol(q, s.x.data(), s.slack.data(), s.dual.data(), s.dj.data()), 0);
    EXPECT_EQ(KRVUgetbasis(q, s.rs.data(), s.cs.data()), 0);
    return s;
  }
};

TEST_F(SolutionFiles, BasisReadBackStartsTheSolveAtTheOptimum) {
  for (const char *name : {"afiro.mps", "25fv47.mps"}) {
    SCOPED_TRACE(name);
    if (!read(name)) GTEST_SKIP() << "instances not available";
    ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
    const double obj = dattr(KRVU_ATTR_LPOBJVAL);
    const std::string path = tmp("basis.bss");
    ASSERT_EQ(KRVUwritebasis(p, path.c_str(), ""), 0) << err();
    const std::string text = slurp(path);
    EXPECT_EQ(text.rfind("NAME", 0), 0u);
    EXPECT_NE(text.find("ENDATA"), std::string::npos);
    KRVUprob q = fresh();
    ASSERT_EQ(KRVUreadprob(q, testing_analysis::instance(name).c_str(), ""), 0);
    ASSERT_EQ(KRVUreadbasis(q, path.c_str(), ""), 0);
    ASSERT_EQ(KRVUlpoptimize(q, ""), 0);
    int iters = -1;
    KRVUgetintattrib(q, 1006, &iters);
    EXPECT_EQ(iters, 0);
    double obj2;
    KRVUgetdblattrib(q, KRVU_ATTR_LPOBJVAL, &obj2);
    EXPECT_NEAR(obj2, obj, 1e-9 * std::fabs(obj));
    EXPECT_EQ(solution(q).cs, solution(p).cs);
    KRVUdestroyprob(q);
    std::remove(path.c_str());
  }
}

TEST_F(SolutionFiles, MalformedBasisFilesNameFileAndLine) {
  // max 3x + 2y  s.t. x + y <= 4, x + 3y <= 7.
  load({{1, 1}, {1, 3}}, "LL", {4, 7}, {3, 2}, {}, {3, KRVU_INFINITY});
  const std::string path = tmp("bad.bss");
  struct Case {
    const char *text, *expect;
  };
  const Case cases[] = {
      {"NAME x\n XU C1 R1\n XU Z R2\nENDATA\n", ":3: unknown column 'Z'"},
      {"NAME x\n XQ C1 R1\nENDATA\n", ":2: unknown basis record 'XQ'"},
      {"NAME x\n XU C1\nENDATA\n", ":2: record XU takes a column and a row"},
      {"NAME x\n XU C1 R1\n", ":2: the file ends without ENDATA"},
      {"NAME x\n XU C1 R1\n XL C1 R2\nENDATA\n", ":3: column 'C1' or row 'R2' is named twice"},
  };
  for (const Case &c : cases) {
    spit(path, c.text);
    EXPECT_NE(KRVUreadbasis(p, path.c_str(), ""), 0) << c.text;
    EXPECT_NE(err().find(path + c.expect), std::string::npos) << err();
  }
  // A complete but wrong-sized basis (one basic too many) is refused too.
  spit(path, "NAME x\n XU C1 R1\nENDATA\n");
  EXPECT_EQ(KRVUreadbasis(p, path.c_str(), ""), 0) << err();
  EXPECT_NE(KRVUreadbasis(p, path.c_str(), "x"), 0);
  EXPECT_NE(err().find("'x'"), std::string::npos) << err();
  std::remove(path.c_str());
}

TEST_F(SolutionFiles, BinarySolutionsComeBackExactly) {
  if (!read("25fv47.mps")) GTEST_SKIP() << "instances not available";
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  const std::string path = tmp("s.sol");
  ASSERT_EQ(KRVUwritebinsol(p, path.c_str(), ""), 0) << err();
  KRVUprob q = fresh();
  ASSERT_EQ(KRVUreadprob(q, testing_analysis::instance("25fv47.mps").c_str(), ""), 0);
  ASSERT_EQ(KRVUreadbinsol(q, path.c_str(), ""), 0);
  Sol a = solution(p), b = solution(q);
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.slack, b.slack);
  EXPECT_EQ(a.dual, b.dual);
  EXPECT_EQ(a.dj, b.dj);
  EXPECT_EQ(a.rs, b.rs);
  double o1, o2;
  KRVUgetdblattrib(p, KRVU_ATTR_LPOBJVAL, &o1);
  KRVUgetdblattrib(q, KRVU_ATTR_LPOBJVAL, &o2);
  EXPECT_EQ(o1, o2);
  // Damaged: one byte changed in the middle.
  std::string bytes = slurp(path);
  std::string bad = bytes;
  bad[bad.size() / 2] ^= 0x40;
  spit(path, bad);
  char msg[512];
  EXPECT_NE(KRVUreadbinsol(q, path.c_str(), ""), 0);
  KRVUgetlasterror(q, msg);
  EXPECT_NE(std::string(msg).find("damaged"), std::string::npos) << msg;
  // Truncated.
  spit(path, bytes.substr(0, 40));
  EXPECT_NE(KRVUreadbinsol(q, path.c_str(), ""), 0);
  // Another problem's size.
  spit(path, bytes);
  KRVUprob small = fresh();
  ASSERT_EQ(KRVUreadprob(small, testing_analysis::instance("afiro.mps").c_str(), ""), 0);
  EXPECT_NE(KRVUreadbinsol(small, path.c_str(), ""), 0);
  KRVUgetlasterror(small, msg);
  EXPECT_NE(std::string(msg).find("the problem has"), std::string::npos) << msg;
  KRVUdestroyprob(small);
  KRVUdestroyprob(q);
  std::remove(path.c_str());
}

TEST_F(SolutionFiles, PrintedAndCsvSolutions) {
  load({{1, 1}, {1, 3}}, "LL", {4, 7}, {3, 2}, {}, {3, KRVU_INFINITY});
  ASSERT_EQ(KRVUchgobjsense(p, -1), 0);
  const char names[] = "cap\0\"odd, name\"";
  ASSERT_EQ(KRVUaddnames(p, 1, names, 0, 1), 0) << err();
  EXPECT_NE(KRVUwritesol(p, tmp("x.csv").c_str(), ""), 0);  // nothing solved yet
  EXPECT_NE(err().find("no solution"), std::string::npos) << err();
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  const std::string prt = tmp("s.prt"), csv = tmp("s.csv");
  ASSERT_EQ(KRVUwriteprtsol(p, prt.c_str(), ""), 0) << err();
  const std::string text = slurp(prt);
  EXPECT_NE(text.find("Status:    optimal"), std::string::npos) << text;
  EXPECT_NE(text.find("Objective: 11"), std::string::npos) << text;
  EXPECT_NE(text.find("cap"), std::string::npos);
  ASSERT_EQ(KRVUwritesol(p, csv.c_str(), ""), 0) << err();
  std::istringstream in(slurp(csv));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "kind,index,name,value,slack,dual,reduced_cost,basis");
  std::getline(in, line);
  EXPECT_EQ(line, "row,0,\"cap\",4,0,2,,UL");
  std::getline(in, line);
  EXPECT_EQ(line, "row,1,\"\"\"odd, name\"\"\",6,1,0,,BS");
  std::getline(in, line);
  EXPECT_EQ(line, "column,0,\"C1\",3,,,1,UL");
  // No integer solution: the 'm' flag fails, and the existing file stays.
  EXPECT_NE(KRVUwritesol(p, csv.c_str(), "m"), 0);
  EXPECT_EQ(slurp(csv).rfind("kind,index", 0), 0u);
  EXPECT_NE(KRVUwriteprtsol(p, "/nonexistent-dir/a.prt", ""), 0);
  EXPECT_NE(err().find("/nonexistent-dir/a.prt"), std::string::npos) << err();
  std::remove(prt.c_str());
  std::remove(csv.c_str());
}

TEST_F(SolutionFiles, TextSolutionsStartSolves) {
  if (!read("25fv47.mps")) GTEST_SKIP() << "instances not available";
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  const int cold = attr(1006);
  const std::string path = tmp("s.slx");
  ASSERT_EQ(KRVUwriteslxsol(p, path.c_str(), ""), 0) << err();
  KRVUprob q = fresh();
  ASSERT_EQ(KRVUreadprob(q, testing_analysis::instance("25fv47.mps").c_str(), ""), 0);
  ASSERT_EQ(KRVUreadslxsol(q, path.c_str(), ""), 0);
  std::vector<double> x(cols()), y(cols());
  KRVUgetlpsol(p, x.data(), nullptr, nullptr, nullptr);
  ASSERT_EQ(KRVUgetlpsol(q, y.data(), nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(x, y);  // shortest exact decimals
  ASSERT_EQ(KRVUlpoptimize(q, ""), 0);
  int warm = -1;
  KRVUgetintattrib(q, 1006, &warm);
  EXPECT_LT(warm, cold / 2);
  // Errors name the file and line.
  spit(path, "NAME x\n C nosuch 1\nENDATA\n");
  EXPECT_NE(KRVUreadslxsol(q, path.c_str(), ""), 0);
  char msg[512];
  KRVUgetlasterror(q, msg);
  EXPECT_NE(std::string(msg).find(path + ":2: unknown column 'nosuch'"), std::string::npos) << msg;
  KRVUdestroyprob(q);
  std::remove(path.c_str());
}

TEST_F(SolutionFiles, TextSolutionOfAMipBecomesItsStart) {
  if (!read("p0548.mps")) GTEST_SKIP() << "instances not available";
  ASSERT_EQ(KRVUmipoptimize(p, ""), 0);
  const double best = dattr(KRVU_ATTR_MIPBESTOBJVAL);
  const std::string path = tmp("mip.slx");
  ASSERT_EQ(KRVUwriteslxsol(p, path.c_str(), ""), 0) << err();
  KRVUprob q = fresh();
  ASSERT_EQ(KRVUreadprob(q, testing_analysis::instance("p0548.mps").c_str(), ""), 0);
  ASSERT_EQ(KRVUreadslxsol(q, path.c_str(), ""), 0) << err();
  // With no search at all the start is the answer.
  ASSERT_EQ(KRVUsetintcontrol64(q, 8002, 0), 0);
  ASSERT_EQ(KRVUsetintcontrol(q, 8010, 0), 0);
  ASSERT_EQ(KRVUmipoptimize(q, ""), 0);
  double got = NAN;
  KRVUgetdblattrib(q, KRVU_ATTR_MIPBESTOBJVAL, &got);
  EXPECT_NEAR(got, best, 1e-6 * std::fabs(best));
  KRVUdestroyprob(q);
  std::remove(path.c_str());
}

TEST_F(SolutionFiles, SaveAndRestoreTheWholeProblem) {
  if (!read("afiro.mps")) GTEST_SKIP() << "instances not available";
  ASSERT_EQ(KRVUsetdblcontrol(p, 7001, 1e-8), 0);
  ASSERT_EQ(KRVUsetintcontrol(p, 8011, 2), 0);
  std::vector<int> rexp(rows(), 1), cexp(cols(), -1);
  ASSERT_EQ(KRVUscale(p, rexp.data(), cexp.data()), 0);
  ASSERT_EQ(KRVUlpoptimize(p, ""), 0);
  const std::string path = tmp("whole.svf");
  ASSERT_EQ(KRVUsaveas(p, path.c_str()), 0) << err();
  KRVUprob q = fresh();
  const std::string stem = path.substr(0, path.size() - 4);
  ASSERT_EQ(KRVUrestore(q, stem.c_str(), ""), 0);
  double tol = 0;
  int alg = 0, lpst = 0;
  KRVUgetdblcontrol(q, 7001, &tol);
  KRVUgetintcontrol(q, 8011, &alg);
  KRVUgetintattrib(q, KRVU_ATTR_LPSTATUS, &lpst);
  EXPECT_EQ(tol, 1e-8);
  EXPECT_EQ(alg, 2);
  EXPECT_EQ(lpst, KRVU_LP_OPTIMAL);
  Sol a = solution(p), b = solution(q);
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.rs, b.rs);
  // The same model: written out, both give the same file.
  const std::string m1 = tmp("m1.mps"), m2 = tmp("m2.mps");
  KRVUwriteprob(p, m1.c_str(), "");
  KRVUwriteprob(q, m2.c_str(), "");
  EXPECT_EQ(slurp(m1), slurp(m2));
  // The basis came along: no iterations.
  ASSERT_EQ(KRVUlpoptimize(q, ""), 0);
  int it = -1;
  KRVUgetintattrib(q, 1006, &it);
  EXPECT_EQ(it, 0);
  // Damaged and foreign files are refused and leave the problem alone.
  std::string bytes = slurp(path);
  std::string bad = bytes;
  bad[bad.size() - 30] ^= 1;
  spit(path, bad);
  char msg[512];
  EXPECT_NE(KRVUrestore(q, path.c_str(), ""), 0);
  KRVUgetlasterror(q, msg);
  EXPECT_NE(std::string(msg).find("damaged"), std::string::npos) << msg;
  bad = bytes;
  bad[8] = 7;  // format version 7
  spit(path, bad);
  EXPECT_NE(KRVUrestore(q, path.c_str(), ""), 0);
  KRVUgetlasterror(q, msg);
  EXPECT_NE(std::string(msg).find("save format 7"), std::string::npos) << msg;
  spit(path, "NAME not a save file\n");
  EXPECT_NE(KRVUrestore(q, path.c_str(), ""), 0);
  KRVUgetlasterror(q, msg);
  EXPECT_NE(std::string(msg).find("not a save file"), std::string::npos) << msg;
  int r = 0;
  KRVUgetintattrib(q, KRVU_ATTR_ROWS, &r);
  EXPECT_EQ(r, rows());
  EXPECT_EQ(KRVUgetlpsol(q, b.x.data(), nullptr, nullptr, nullptr), 0);
  // KRVUsave uses the problem's name.
  KRVUsetprobname(q, (::testing::TempDir() + "krvu_named").c_str());
  ASSERT_EQ(KRVUsave(q), 0) << err();
  EXPECT_FALSE(slurp(::testing::TempDir() + "krvu_named.svf").empty());
  std::remove((::testing::TempDir() + "krvu_named.svf").c_str());
  KRVUdestroyprob(q);
  for (const std::string &f : {path, m1, m2}) std::remove(f.c_str());
}

}  // namespace
