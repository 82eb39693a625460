// Internal helpers shared by every component of the library: error reporting,
// the exception barrier of the C API, and logging.
#pragma once
#include "krvu.h"

#include <cstdarg>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace krvu {

// Thrown inside the library to fail the current API call with a code and text;
// the barrier turns it into a return code and a last-error text.
struct Error : std::runtime_error {
  int code;
  Error(int c, const std::string &msg) : std::runtime_error(msg), code(c) {}
};

std::string vformat(const char *fmt, va_list ap);
std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void raise(int code, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// A scratch problem a function works on without touching the caller's,
// destroyed when the function leaves (by return or by a raised error).
struct WorkProb {
  KRVUprob q = nullptr;
  explicit WorkProb(const char *func) {
    if (KRVUcreateprob(&q)) raise(KRVU_ERR_INTERNAL, "%s: cannot create a work problem", func);
  }
  ~WorkProb() {
    if (q) KRVUdestroyprob(q);
  }
  WorkProb(const WorkProb &) = delete;
  WorkProb &operator=(const WorkProb &) = delete;
};

// Last errors.  The global environment keeps one per thread.
void set_global_error(int code, const std::string &msg);
void set_prob_error(KRVUprob prob, int code, const std::string &msg);

bool is_initialized();
// Sets the site-wide control defaults read at start on a new problem.
void apply_site_defaults(KRVUprob prob);

// Validates a problem handle given to an API function; throws Error otherwise.
void check_prob(KRVUprob prob, const char *func);

void clear_prob_error(KRVUprob prob);
// Records the API function running on this thread, for texts of checks deep
// in the library (core/callbacks.h).
void set_current_api(const char *func);

// The barrier every API function taking a problem runs its body in: C++
// exceptions become a non-zero return and the problem's last error, which
// each call clears when it starts, so that the text always belongs to the
// call that failed.
// Reads of controls and attributes keep the text (guarded_read), so that a
// caller may look at a status before it reads why a call failed.
template <bool kClear = true, class F>
int guarded(KRVUprob prob, const char *func, F &&body) noexcept {
  try {
    check_prob(prob, func);
    set_current_api(func);
    if (kClear) clear_prob_error(prob);
    return body();
  } catch (const Error &e) {
    set_prob_error(prob, e.code, e.what());
    set_global_error(e.code, e.what());
    return e.code;
  } catch (const std::bad_alloc &) {
    std::string msg = std::string(func) + ": out of memory";
    set_prob_error(prob, KRVU_ERR_NOMEMORY, msg);
    set_global_error(KRVU_ERR_NOMEMORY, msg);
    return KRVU_ERR_NOMEMORY;
  } catch (const std::exception &e) {
    std::string msg = std::string(func) + ": internal error: " + e.what();
    set_prob_error(prob, KRVU_ERR_INTERNAL, msg);
    set_global_error(KRVU_ERR_INTERNAL, msg);
    return KRVU_ERR_INTERNAL;
  } catch (...) {
    std::string msg = std::string(func) + ": internal error";
    set_prob_error(prob, KRVU_ERR_INTERNAL, msg);
    set_global_error(KRVU_ERR_INTERNAL, msg);
    return KRVU_ERR_INTERNAL;
  }
}

template <class F>
int guarded_read(KRVUprob prob, const char *func, F &&body) noexcept {
  return guarded<false>(prob, func, std::forward<F>(body));
}

// The same barrier for functions of the global environment.
template <class F>
int guarded_global(const char *func, F &&body) noexcept {
  try {
    return body();
  } catch (const Error &e) {
    set_global_error(e.code, e.what());
    return e.code;
  } catch (const std::bad_alloc &) {
    set_global_error(KRVU_ERR_NOMEMORY, std::string(func) + ": out of memory");
    return KRVU_ERR_NOMEMORY;
  } catch (const std::exception &e) {
    set_global_error(KRVU_ERR_INTERNAL, std::string(func) + ": internal error: " + e.what());
    return KRVU_ERR_INTERNAL;
  } catch (...) {
    set_global_error(KRVU_ERR_INTERNAL, std::string(func) + ": internal error");
    return KRVU_ERR_INTERNAL;
  }
}

// Argument checks that throw Error with the function and argument named.
inline void require_ptr(const void *p, const char *func, const char *arg) {
  if (!p) raise(KRVU_ERR_ARGUMENT, "%s: argument '%s' must not be null", func, arg);
}
inline void require_index(long long i, long long n, const char *func, const char *arg) {
  if (i < 0 || i >= n)
    raise(KRVU_ERR_ARGUMENT, "%s: index %lld in '%s' is out of range [0, %lld)", func, i, arg, n);
}

// Log a line to the problem's message callbacks and the global handlers.
// prob may be null (a message of the environment).
void log(KRVUprob prob, int msgtype, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
void log_text(KRVUprob prob, int msgtype, const std::string &text);
// The same for a numbered message (code > 0, KRVU_MSGCODE_*), which a
// problem can suppress with KRVUsetmessagestatus.
void log_code(KRVUprob prob, int msgtype, int code, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
void log_text_code(KRVUprob prob, int msgtype, int code, const std::string &text);
// Sends a message of any library object (problem or nonlinear problem) to the
// global handlers only.
void log_global(void *object, int msgtype, const std::string &text);

}  // namespace krvu
