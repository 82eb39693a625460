// The working arrays of one registration call, kept from call to call.
//
// A model added one object at a time would otherwise allocate and free every
// array of its batch on each call.  A call made while the kept batch is in use
// (user code run by the walk that adds to a problem) gets one of its own, and
// a batch grown large is given back when its call ends.  The interpreter lock
// serialises the calls.  Batch needs reset(first) and large().
#pragma once
#include <memory>

namespace korvu {

template <class Batch>
class BatchLease {
 public:
  explicit BatchLease(int first) {
    if (busy_) {
      own_.reset(new Batch());
      b_ = own_.get();
    } else {
      busy_ = true;
      if (!kept_) kept_ = new Batch();
      b_ = kept_;
    }
    b_->reset(first);
  }
  ~BatchLease() {
    if (own_) return;
    if (kept_->large()) {
      delete kept_;
      kept_ = nullptr;
    }
    busy_ = false;
  }
  BatchLease(const BatchLease &) = delete;
  BatchLease &operator=(const BatchLease &) = delete;
  Batch &operator*() const { return *b_; }

 private:
  Batch *b_;
  std::unique_ptr<Batch> own_;
  static inline bool busy_ = false;
  static inline Batch *kept_ = nullptr;
};

}  // namespace korvu
