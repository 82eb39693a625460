#include "lp/highs_session.h"

#include <new>

#include "interfaces/highs_c_api.h"

namespace krvu {

HighsSession::HighsSession() : h_(Highs_create()) {
  if (!h_) throw std::bad_alloc();
}
HighsSession::~HighsSession() { Highs_destroy(h_); }

}  // namespace krvu
