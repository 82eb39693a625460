// The problem record behind a KRVUprob handle.
#pragma once
#include "krvu.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/callbacks.h"
#include "params/table.h"

namespace krvu {
struct ProbData;  // model store and solver state: model/store.h
struct MessageSettings;  // suppressed message codes and log file: core/messages.h
struct UserPool;  // user cuts and stored bounds: mip/search/nodemembers.h
constexpr uint32_t kMagicProb = 0x4b525650;   // "KRVP"
constexpr uint32_t kMagicSlp = 0x4b534c50;    // "KSLP"
constexpr uint32_t kMagicDead = 0xdeadbeef;

}  // namespace krvu

struct krvu_prob_s {
  uint32_t magic = krvu::kMagicProb;
  std::string name;
  int lasterr_code = 0;
  std::string lasterr;
  krvu::ParamValues params;                 // controls and stored attributes
  // Callbacks of each kind (core/callbacks.h), by decreasing priority.
  std::vector<krvu::CbEntry> cbs[krvu::kCbKinds];
  std::atomic<int> stage{krvu::kStageIdle};
  const krvu::NodeContext *node = nullptr;  // set inside the search's callbacks
  std::unique_ptr<krvu::ProbData> data;     // created with the problem
  void *slp = nullptr;                      // the nonlinear problem over this one, if any
  std::unique_ptr<krvu::MessageSettings> messages;  // created on first use
  // A shared pointer, whose deleter is fixed where the pool is made, so that
  // this header need not know the pool.
  std::shared_ptr<krvu::UserPool> userpool;  // created on first use
  // The log file (control logfile), opened on the first line logged to it.
  std::mutex logfile_mutex;
  std::FILE *logfile = nullptr;
  std::string logfile_name;

  krvu_prob_s();
  ~krvu_prob_s();
};

namespace krvu {
// Typed access to this problem's controls and stored attributes by identifier
// (the identifier must be in the table with that type; checked in debug use).
int64_t ctl_int(const krvu_prob_s *p, int id);
double ctl_dbl(const krvu_prob_s *p, int id);
const std::string &ctl_str(const krvu_prob_s *p, int id);
void attr_set_int(krvu_prob_s *p, int id, int64_t v);
void attr_set_dbl(krvu_prob_s *p, int id, double v);
int64_t attr_int(const krvu_prob_s *p, int id);
double attr_dbl(const krvu_prob_s *p, int id);
}  // namespace krvu
