// Public benchmark models with known optima, read from files and solved.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include <cmath>
#include <fstream>
#include <string>

#include "krvu.h"

namespace {

std::string instance(const std::string &name) {
  return std::string(KRVU_INSTANCES_DIR) + "/" + name;
}

bool have(const std::string &name) { return std::ifstream(instance(name)).good(); }

struct Known {
  const char *file;
  bool mip;
  int status;  // KRVU_LP_* or KRVU_MIP_*
  double obj;
};

class Instances : public ::testing::TestWithParam<Known> {};

TEST_P(Instances, SolvesToTheKnownResult) {
  const Known k = GetParam();
  if (!have(k.file)) GTEST_SKIP() << "instances not available";
  ASSERT_EQ(KRVUinit(nullptr), 0);
  KRVUprob p = nullptr;
  ASSERT_EQ(KRVUcreateprob(&p), 0);
  KRVUsetintcontrol(p, 8030, 0);
  char err[512] = "";
  ASSERT_EQ(KRVUreadprob(p, instance(k.file).c_str(), ""), 0) << (KRVUgetlasterror(p, err), err);
  int rc = k.mip ? KRVUmipoptimize(p, "") : KRVUlpoptimize(p, "");
  KRVUgetlasterror(p, err);
  ASSERT_EQ(rc, 0) << err;
  int status = -1;
  KRVUgetintattrib(p, k.mip ? KRVU_ATTR_MIPSTATUS : KRVU_ATTR_LPSTATUS, &status);
  EXPECT_EQ(status, k.status) << k.file;
  if (!std::isnan(k.obj)) {
    double obj = 0;
    KRVUgetdblattrib(p, k.mip ? KRVU_ATTR_MIPBESTOBJVAL : KRVU_ATTR_LPOBJVAL, &obj);
    // The reference values carry 8 to 11 significant digits.
    EXPECT_NEAR(obj, k.obj, 1e-7 * std::max(1.0, std::fabs(k.obj)) + (k.mip ? 1e-4 : 0))
        << k.file;
  }
  KRVUdestroyprob(p);
  KRVUfree();
}

INSTANTIATE_TEST_SUITE_P(
    Public, Instances,
    ::testing::Values(Known{"afiro.mps", false, KRVU_LP_OPTIMAL, -4.6475314286e+02},
                      Known{"adlittle.mps", false, KRVU_LP_OPTIMAL, 2.2549496316e+05},
                      Known{"25fv47.mps", false, KRVU_LP_OPTIMAL, 5.5018458883e+03},
                      Known{"scrs8.mps", false, KRVU_LP_OPTIMAL, 9.0429695380e+02},
                      Known{"stair.mps", false, KRVU_LP_OPTIMAL, -2.5126695119e+02},
                      Known{"box1.mps", false, KRVU_LP_INFEAS, NAN},
                      Known{"forest6.mps", false, KRVU_LP_INFEAS, NAN},
                      Known{"gas11.mps", false, KRVU_LP_UNBOUNDED, NAN},
                      Known{"flugpl.mps", true, KRVU_MIP_OPTIMAL, 1201500},
                      Known{"lseu.mps", true, KRVU_MIP_OPTIMAL, 1120},
                      Known{"egout.mps", true, KRVU_MIP_OPTIMAL, 568.1007},
                      Known{"rgn.mps", true, KRVU_MIP_OPTIMAL, 82.2},
                      Known{"p0548.mps", true, KRVU_MIP_OPTIMAL, 8691},
                      Known{"qjh.mps", false, KRVU_LP_OPTIMAL, -5.25},
                      Known{"qjh_quadobj.mps", false, KRVU_LP_OPTIMAL, -5.25},
                      Known{"qjh_qmatrix.mps", false, KRVU_LP_OPTIMAL, -5.25}),
    // Readable test names: the file name without its extension.
    [](const ::testing::TestParamInfo<Known> &info) {
      std::string name = info.param.file;
      name = name.substr(0, name.find('.'));
      for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return "m" + name;
    });

}  // namespace
