// A HiGHS instance owned by one problem, driven through the engine's C API.
#pragma once

namespace krvu {

class HighsSession {
 public:
  HighsSession();
  ~HighsSession();
  HighsSession(const HighsSession &) = delete;
  HighsSession &operator=(const HighsSession &) = delete;
  void *get() const { return h_; }

 private:
  void *h_;
};

}  // namespace krvu
