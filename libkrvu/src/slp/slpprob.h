// The record behind a KSLPprob handle.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "core/prob.h"
#include "kslp.h"

struct kslp_prob_s {
  uint32_t magic = krvu::kMagicSlp;
  KRVUprob prob = nullptr;  // the linear part; not owned
  int lasterr_code = 0;
  std::string lasterr;
  krvu::ParamValues params;
  KSLP_cbmessage msgcb = nullptr;
  void *msgdata = nullptr;
  KRVUprob current = nullptr;  // problem under evaluation in a user function

  struct Coef {
    int row, col;
    double factor;
    std::vector<int> types;
    std::vector<double> values;
  };
  std::vector<Coef> coefs;        // formula coefficients, in the order added
  std::map<int, int> rowstatus;   // row -> status bits
  std::map<int, int> detrow;      // column -> the row that determines it
};
