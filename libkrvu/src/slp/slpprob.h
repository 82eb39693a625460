// The record behind a KSLPprob handle.
#pragma once
#include <string>

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
};
