// The record behind a KRVUbranchobject handle.
#pragma once
#include "krvu.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krvu {
constexpr uint32_t kMagicBo = 0x4b52424f;  // "KRBO"

struct BoBranch {
  std::vector<char> bndtype;
  std::vector<int> bndcol;
  std::vector<double> bndval;
  std::vector<char> rowtype;
  std::vector<double> rhs;
  std::vector<int> start{0};
  std::vector<int> colind;
  std::vector<double> rowcoef;
  std::vector<int64_t> cuts;  // ids of user cuts of the problem's pool
};
}  // namespace krvu

struct krvu_bo_s {
  uint32_t magic = krvu::kMagicBo;
  KRVUprob prob = nullptr;
  int isoriginal = 1;
  int priority = 0;
  int preferred = -1;
  int id = 0;
  std::vector<krvu::BoBranch> branches;
  int lasterr_code = 0;
  std::string lasterr;
};

namespace krvu {
// Why the search cannot take the object at the current node (empty: it can).
std::string bo_unusable(const krvu_bo_s *bo);
}  // namespace krvu
