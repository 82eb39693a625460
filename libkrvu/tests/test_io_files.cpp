// Reading and writing problem files through the C API: the shared instances,
// malformed and mutated files, compressed files, flags, and solving what was
// read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

#include "core/prob.h"
#include "krvu.h"
#include "prob_fixture.h"
#include "model/store.h"

namespace {

const std::string kDir = KRVU_INSTANCES_DIR;

bool have_instances() { return access(kDir.c_str(), F_OK) == 0; }

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class IoFiles : public ProbTest {
 protected:
  void SetUp() override {
    ProbTest::SetUp();
    tmp_ = ::testing::TempDir() + "krvu_iof_" + std::to_string(getpid()) + "_";
  }
  std::string error() { return err(); }
  std::string put(const std::string &name, const std::string &text) {
    std::string path = tmp_ + name;
    std::ofstream(path, std::ios::binary) << text;
    files_.push_back(path);
    return path;
  }
  int rows() {
    int n = -1;
    KRVUgetintattrib(p_, KRVU_ATTR_ROWS, &n);
    return n;
  }
  int cols() {
    int n = -1;
    KRVUgetintattrib(p_, KRVU_ATTR_COLS, &n);
    return n;
  }
  double lpobj() {
    double v = NAN;
    KRVUgetdblattrib(p_, KRVU_ATTR_LPOBJVAL, &v);
    return v;
  }
  ~IoFiles() override {
    for (const std::string &f : files_) std::remove(f.c_str());
  }
  KRVUprob &p_ = p;
  std::string tmp_;
  std::vector<std::string> files_;
};

TEST_F(IoFiles, InstancesReadWithTheRightCounts) {
  if (!have_instances()) GTEST_SKIP() << "no instances folder";
  // Counted with a separate script: rows without the objective, nonzeros
  // without objective entries.
  struct Count {
    const char *file;
    int rows, cols;
    long long nz;
  } counts[] = {{"afiro.mps", 27, 32, 83},       {"p0548.mps", 176, 548, 1711},
                {"stair.mps", 356, 467, 3856},   {"25fv47.mps", 821, 1571, 10400},
                {"bell5.mps", 91, 104, 266},     {"semi-integer.mps", 4, 4, 8},
                {"qjh.lp", 1, 3, 2},             {"qcqp.lp", 4, 2, 4}};
  for (const Count &c : counts) {
    SCOPED_TRACE(c.file);
    ASSERT_EQ(KRVUreadprob(p_, (kDir + "/" + c.file).c_str(), ""), 0) << error();
    EXPECT_EQ(rows(), c.rows);
    EXPECT_EQ(cols(), c.cols);
    EXPECT_EQ(krvu::read_model(p_).nelems(), c.nz);
  }
  // Every model file of the folder reads, except the malformed ones.
  const char *all[] = {"25fv47.mps", "adlittle.mps", "afiro.mps", "bell5.mps", "bgetam.mps",
                       "box1.mps", "egout.mps", "flugpl.mps", "forest6.mps", "galenet.mps",
                       "gas11.mps", "lseu.mps", "p0548.mps", "qcqp.lp", "qjh.lp", "qjh.mps",
                       "qjh_qmatrix.mps", "qjh_quadobj.mps", "qpinfeasible.lp", "qptestnw.lp",
                       "qpunbounded.lp", "rgn.mps", "scrs8.mps", "semi-continuous.lp",
                       "semi-continuous.mps", "semi-integer.lp", "semi-integer.mps", "shell.mps",
                       "small_mip.mps", "stair.mps", "standata.mps"};
  for (const char *f : all) EXPECT_EQ(KRVUreadprob(p_, (kDir + "/" + f).c_str(), ""), 0) << error();
}

TEST_F(IoFiles, MalformedFilesFailWithFileAndLineAndLeaveTheProblem) {
  if (!have_instances()) GTEST_SKIP() << "no instances folder";
  ASSERT_EQ(KRVUreadprob(p_, (kDir + "/afiro.mps").c_str(), ""), 0) << error();
  for (const char *f : {"garbage.mps", "garbage.lp"}) {
    std::string path = kDir + "/" + f;
    EXPECT_EQ(KRVUreadprob(p_, path.c_str(), ""), KRVU_ERR_FILE);
    std::string err = error();
    EXPECT_NE(err.find(path + ":2:"), std::string::npos) << err;
    EXPECT_NE(err.find("expected"), std::string::npos) << err;
  }
  // The failed reads left afiro in place.
  EXPECT_EQ(rows(), 27);
  EXPECT_EQ(cols(), 32);
  char name[256];
  KRVUgetprobname(p_, name);
  EXPECT_STREQ(name, "AFIRO");  // the words after the name are commentary
}

TEST_F(IoFiles, ArgumentsAndFlagsAreChecked) {
  std::string mpsfile = put("a.mps", "NAME\nROWS\n N obj\nCOLUMNS\n x obj 1\nENDATA\n");
  EXPECT_EQ(KRVUreadprob(p_, nullptr, ""), KRVU_ERR_ARGUMENT);
  EXPECT_NE(error().find("filename"), std::string::npos);
  EXPECT_EQ(KRVUreadprob(p_, mpsfile.c_str(), "q"), KRVU_ERR_ARGUMENT);
  EXPECT_NE(error().find("'q'"), std::string::npos);
  EXPECT_EQ(KRVUreadprob(p_, mpsfile.c_str(), "lm"), KRVU_ERR_ARGUMENT);
  EXPECT_EQ(KRVUreadprob(nullptr, mpsfile.c_str(), ""), KRVU_ERR_ARGUMENT);
  std::string missing = tmp_ + "does_not_exist.mps";
  EXPECT_EQ(KRVUreadprob(p_, missing.c_str(), ""), KRVU_ERR_FILE);
  EXPECT_NE(error().find(missing), std::string::npos);
  // Forcing the wrong format fails cleanly.
  EXPECT_EQ(KRVUreadprob(p_, mpsfile.c_str(), "l"), KRVU_ERR_FILE);
  EXPECT_NE(error().find("a.mps:1:"), std::string::npos) << error();
  ASSERT_EQ(KRVUreadprob(p_, mpsfile.c_str(), "m"), 0) << error();
  EXPECT_EQ(KRVUwriteprob(p_, (tmp_ + "w.mps").c_str(), "z"), KRVU_ERR_ARGUMENT);
  EXPECT_EQ(KRVUwriteprob(p_, "/nonexistent_dir_krvu/x.mps", ""), KRVU_ERR_FILE);
  EXPECT_NE(error().find("nonexistent_dir_krvu"), std::string::npos) << error();
  EXPECT_EQ(KRVUwriteprob(p_, ::testing::TempDir().c_str(), ""), KRVU_ERR_FILE);  // a folder
  // Devices are written directly.
  EXPECT_EQ(KRVUwriteprob(p_, "/dev/null", "l"), 0) << error();
  // An LP file without extension is recognised by its content.
  std::string lpfile = put("model", "\\ c\nmaximize\n 2 x + y\nst\n x + y <= 1\nend\n");
  ASSERT_EQ(KRVUreadprob(p_, lpfile.c_str(), ""), 0) << error();
  EXPECT_EQ(cols(), 2);
}

TEST_F(IoFiles, CompressedFilesReadAndWrite) {
  std::string text = "NAME gz\nROWS\n N obj\n L c\nCOLUMNS\n x obj 1 c 2\n y c 3\nRHS\n r c 4\nENDATA\n";
  ASSERT_EQ(KRVUreadprob(p_, put("plain.mps", text).c_str(), ""), 0) << error();
  std::string gz = tmp_ + "out.mps.gz";
  files_.push_back(gz);
  if (KRVUwriteprob(p_, gz.c_str(), "") != 0) {
    ASSERT_NE(error().find("zlib"), std::string::npos) << error();
    GTEST_SKIP() << "built without zlib";
  }
  std::string bytes = slurp(gz);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x1f);
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0x8b);
  ASSERT_EQ(KRVUreadprob(p_, gz.c_str(), ""), 0) << error();
  EXPECT_EQ(rows(), 1);
  EXPECT_EQ(cols(), 2);
  EXPECT_EQ(krvu::read_model(p_).rhs[0], 4);
  // The LP format compressed, and a truncated compressed file.
  std::string lpgz = tmp_ + "out.lp.gz";
  files_.push_back(lpgz);
  ASSERT_EQ(KRVUwriteprob(p_, lpgz.c_str(), ""), 0) << error();
  ASSERT_EQ(KRVUreadprob(p_, lpgz.c_str(), ""), 0) << error();
  EXPECT_EQ(cols(), 2);
  std::string cut = put("cut.mps.gz", bytes.substr(0, bytes.size() / 2));
  EXPECT_EQ(KRVUreadprob(p_, cut.c_str(), ""), KRVU_ERR_FILE);
  EXPECT_NE(error().find("cut.mps.gz"), std::string::npos) << error();
}

TEST_F(IoFiles, EdgeInputsGiveClearErrors) {
  struct Case {
    std::string name, text, what;
  } cases[] = {
      {"empty.mps", "", "found nothing"},
      {"empty.lp", "", "empty"},
      {"comments.mps", "* nothing\n* here\n", "expected an MPS problem"},
      {"nocolumns.mps", "NAME\nROWS\n N obj\nRHS\n r c 1\nENDATA\n", "unknown row 'c'"},
      {"norows.mps", "NAME\nCOLUMNS\n x obj 1\nENDATA\n", "unknown row 'obj'"},
      {"dupcol.lp", "min\n x\nst\n c: x <= 1\n c: x <= 2\nend\n", "duplicate"},
      {"binary.mps", "NAME\n\x01\x02\xff\n", "section"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = put(c.name, c.text);
    EXPECT_EQ(KRVUreadprob(p_, path.c_str(), ""), KRVU_ERR_FILE);
    EXPECT_NE(error().find(c.what), std::string::npos) << error();
    EXPECT_NE(error().find(c.name), std::string::npos) << error();
  }
  // Huge bounds are infinite, tiny coefficients stay.
  std::string ok = put("huge.lp", "min\n 1e-320 x\nst\n c: x >= -1e999\nbounds\n x <= 1e400\nend\n");
  ASSERT_EQ(KRVUreadprob(p_, ok.c_str(), ""), 0) << error();
  const krvu::ModelData &m = krvu::read_model(p_);
  EXPECT_EQ(m.ub[0], KRVU_INFINITY);
  EXPECT_EQ(m.rowtype[0], 'N');
  EXPECT_GT(m.obj[0], 0);
}

// Mutations of real files either read or fail with a message naming the file;
// none may crash.
TEST_F(IoFiles, MutatedInstancesNeverCrash) {
  if (!have_instances()) GTEST_SKIP() << "no instances folder";
  std::mt19937 rng(12345);
  const char *pieces[] = {" ", "\n", "1e999", "-", ":", "[", "]", "'MARKER'", "RANGES\n",
                          "BOUNDS\n UP BND x 1\n", " S1 SOS s\n", "->", "x = 1 ->", "nan", "0x1p+3",
                          "\t", "*", "\\", "QCMATRIX c\n", "ENDATA\n", "End\n"};
  int failures = 0, reads = 0;
  for (const char *f : {"afiro.mps", "qjh.lp", "semi-continuous.mps", "qcqp.lp", "qjh_qmatrix.mps"}) {
    const std::string base = slurp(kDir + "/" + f);
    const std::string ext = std::string(f).substr(std::string(f).rfind('.'));
    for (int it = 0; it < 150; ++it) {
      std::string s = base;
      int nmut = 1 + static_cast<int>(rng() % 4);
      for (int k = 0; k < nmut && !s.empty(); ++k) {
        size_t at = rng() % s.size();
        switch (rng() % 5) {
          case 0: s.resize(at); break;                                     // truncate
          case 1: s[at] = static_cast<char>(rng() % 256); break;          // flip a byte
          case 2: s.insert(at, pieces[rng() % (sizeof pieces / sizeof *pieces)]); break;
          case 3: s.erase(at, rng() % 40); break;                          // cut a piece
          case 4: s.insert(at, std::string(rng() % 5000, 'a' + rng() % 26)); break;
        }
      }
      std::string path = put("fuzz" + ext, s);
      int rc = KRVUreadprob(p_, path.c_str(), "");
      if (rc == 0) {
        ++reads;
        // What was read can be written and read again.
        std::string out = tmp_ + "fuzz_out.mps";
        files_.push_back(out);
        // A name read from a fixed-format file may hold a space, which free MPS
        // cannot: such names are written under default names here.
        ASSERT_EQ(KRVUwriteprob(p_, out.c_str(), "xn"), 0) << error();
        ASSERT_EQ(KRVUreadprob(p_, out.c_str(), ""), 0) << error() << "\n" << s;
      } else {
        ++failures;
        ASSERT_EQ(rc, KRVU_ERR_FILE) << error();
        ASSERT_NE(error().find("fuzz" + ext + ":"), std::string::npos) << error();
      }
    }
  }
  EXPECT_GT(failures, 0);
  EXPECT_GT(reads, 0);
}

TEST_F(IoFiles, SolvedInstancesGiveTheKnownOptima) {
  if (!have_instances()) GTEST_SKIP() << "no instances folder";
  struct Known {
    const char *file;
    double opt;
  } lps[] = {{"afiro.mps", -4.6475314286e+02}, {"qjh.mps", -5.25}, {"qjh_quadobj.mps", -5.25},
             {"qjh_qmatrix.mps", -5.25}, {"qjh.lp", -5.25}, {"adlittle.mps", 2.2549496316e+05}};
  for (const Known &k : lps) {
    SCOPED_TRACE(k.file);
    ASSERT_EQ(KRVUreadprob(p_, (kDir + "/" + k.file).c_str(), ""), 0) << error();
    // Also through our own LP and MPS files.
    for (const char *again : {"", "again.lp", "again.mps"}) {
      if (*again) {
        std::string path = tmp_ + again;
        files_.push_back(path);
        ASSERT_EQ(KRVUwriteprob(p_, path.c_str(), ""), 0) << error();
        ASSERT_EQ(KRVUreadprob(p_, path.c_str(), ""), 0) << error();
      }
      ASSERT_EQ(KRVUlpoptimize(p_, ""), 0) << error();
      EXPECT_NEAR(lpobj(), k.opt, 1e-8 * std::fabs(k.opt));
    }
  }
  // The same semi-integer model in both formats has the same optimum.
  double best[2];
  int i = 0;
  for (const char *f : {"semi-integer.mps", "semi-integer.lp"}) {
    ASSERT_EQ(KRVUreadprob(p_, (kDir + "/" + f).c_str(), ""), 0) << error();
    ASSERT_EQ(KRVUmipoptimize(p_, ""), 0) << error();
    KRVUgetdblattrib(p_, KRVU_ATTR_MIPBESTOBJVAL, &best[i++]);
  }
  EXPECT_NEAR(best[0], best[1], 1e-9);
  // small_mip relies on integer columns without bounds being binary.
  for (Known k : {Known{"flugpl.mps", 1201500}, Known{"small_mip.mps", 3.2368421}}) {
    SCOPED_TRACE(k.file);
    ASSERT_EQ(KRVUreadprob(p_, (kDir + "/" + k.file).c_str(), ""), 0) << error();
    ASSERT_EQ(KRVUmipoptimize(p_, ""), 0) << error();
    double v = 0;
    KRVUgetdblattrib(p_, KRVU_ATTR_MIPBESTOBJVAL, &v);
    EXPECT_NEAR(v, k.opt, 1e-6 * std::fabs(k.opt));
  }
}

// The objective constant: a right-hand side v on the objective row adds -v.
TEST_F(IoFiles, ObjectiveRowRightHandSideIsTheNegatedConstant) {
  std::string f = put("const.mps",
                      "NAME\nROWS\n N obj\n G c\nCOLUMNS\n x obj 2 c 1\nRHS\n"
                      " rhs c 3 obj -10\nENDATA\n");
  ASSERT_EQ(KRVUreadprob(p_, f.c_str(), ""), 0) << error();
  ASSERT_EQ(KRVUlpoptimize(p_, ""), 0) << error();
  EXPECT_DOUBLE_EQ(lpobj(), 2 * 3 + 10);
  // The LP format writes it as a constant term and reads it back.
  std::string lpf = tmp_ + "const.lp";
  files_.push_back(lpf);
  ASSERT_EQ(KRVUwriteprob(p_, lpf.c_str(), ""), 0) << error();
  EXPECT_NE(slurp(lpf).find("+ 10"), std::string::npos) << slurp(lpf);
  ASSERT_EQ(KRVUreadprob(p_, lpf.c_str(), ""), 0) << error();
  ASSERT_EQ(KRVUlpoptimize(p_, ""), 0) << error();
  EXPECT_DOUBLE_EQ(lpobj(), 16);
}

}  // namespace
