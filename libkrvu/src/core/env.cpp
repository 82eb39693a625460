// The global environment: start count, global message handlers, last errors,
// version and modes.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "core/common.h"
#include "core/messages.h"
#include "core/prob.h"
#include "interfaces/highs_c_api.h"

namespace krvu {
namespace {

// A registration.  Calls in progress hold their own reference, so a handler
// removed meanwhile stays valid until the last of them returns; its release
// function runs then.
struct Handler {
  KRVU_ge_msghandler f;
  void *data;
  int priority;
  void (*release)(void *);
  Handler(KRVU_ge_msghandler f_, void *d, int p, void (*r)(void *)) : f(f_), data(d), priority(p), release(r) {}
  ~Handler() {
    if (release) release(data);
  }
  Handler(const Handler &) = delete;
  Handler &operator=(const Handler &) = delete;
};

std::mutex g_mutex;               // guards everything below
int g_init_count = 0;
std::vector<std::shared_ptr<Handler>> g_handlers;  // decreasing priority, stable
int g_checked_mode = 1;
int g_arch_consistent = 0;

struct LastError {
  int code = 0;
  std::string msg;
};
thread_local LastError t_global_error;

std::vector<std::pair<int, Value>> g_site_defaults;

std::string trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Site-wide control defaults: the file named by KRVU_DEFAULTS holds lines
// "name = value" ('#' starts a comment); every problem created starts with them.
void load_site_defaults() {
  g_site_defaults.clear();
  const char *file = std::getenv("KRVU_DEFAULTS");
  if (!file || !*file) return;
  FILE *f = std::fopen(file, "r");
  if (!f) raise(KRVU_ERR_FILE, "KRVUinit: cannot open the defaults file '%s' (KRVU_DEFAULTS)", file);
  std::vector<std::pair<int, Value>> parsed;
  char buf[4096];
  int line = 0;
  std::string error;
  while (error.empty() && std::fgets(buf, sizeof buf, f)) {
    ++line;
    std::string text = buf;
    size_t hash = text.find('#');
    if (hash != std::string::npos) text.resize(hash);
    text = trim(text);
    if (text.empty()) continue;
    size_t eq = text.find('=');
    int k = eq == std::string::npos ? -1 : param_index_by_name(trim(text.substr(0, eq)).c_str(), kLib, kControl);
    if (k < 0) {
      error = format("%s:%d: expected 'control = value' with a known control name", file, line);
      break;
    }
    const ParamDef &d = param_table()[k];
    std::string v = trim(text.substr(eq + 1));
    Value value;
    char *end = nullptr;
    if (d.type == KRVU_TYPE_STRING) {
      value.s = v;
    } else if (d.type == KRVU_TYPE_DOUBLE) {
      value.d = std::strtod(v.c_str(), &end);
      if (v.empty() || *end || value.d < d.lo || value.d > d.hi)
        error = format("%s:%d: '%s' is not a valid value of %s", file, line, v.c_str(), d.name);
    } else {
      value.i = std::strtoll(v.c_str(), &end, 10);
      if (v.empty() || *end || value.i < d.lo || value.i > d.hi)
        error = format("%s:%d: '%s' is not a valid value of %s", file, line, v.c_str(), d.name);
    }
    parsed.emplace_back(d.id, value);
  }
  std::fclose(f);
  if (!error.empty()) raise(KRVU_ERR_FILE, "KRVUinit: %s", error.c_str());
  g_site_defaults = std::move(parsed);
}

}  // namespace

void apply_site_defaults(KRVUprob prob) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const auto &[id, value] : g_site_defaults) prob->params.v[param_index(id)] = value;
}

std::string vformat(const char *fmt, va_list ap) {
  char buf[512];
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(buf, sizeof buf, fmt, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (n < static_cast<int>(sizeof buf)) return std::string(buf, n);
  std::string s(n + 1, '\0');
  std::vsnprintf(&s[0], s.size(), fmt, ap);
  s.resize(n);
  return s;
}

std::string format(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = vformat(fmt, ap);
  va_end(ap);
  return s;
}

void raise(int code, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = vformat(fmt, ap);
  va_end(ap);
  throw Error(code, s);
}

void set_global_error(int code, const std::string &msg) {
  t_global_error.code = code;
  t_global_error.msg = msg;
}

void clear_prob_error(KRVUprob prob) {
  prob->lasterr_code = 0;
  prob->lasterr.clear();
}

void set_prob_error(KRVUprob prob, int code, const std::string &msg) {
  if (!prob || prob->magic != kMagicProb) return;
  prob->lasterr_code = code;
  prob->lasterr = msg;
}

bool is_initialized() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_init_count > 0;
}

void check_prob(KRVUprob prob, const char *func) {
  if (!prob) raise(KRVU_ERR_ARGUMENT, "%s: argument 'prob' must not be null", func);
  if (prob->magic != kMagicProb)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'prob' is not a valid problem handle", func);
}

namespace {
void log_global_code(void *object, int msgtype, int code, const std::string &text) {
  std::vector<std::shared_ptr<Handler>> handlers;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handlers = g_handlers;
  }
  for (const auto &h : handlers) h->f(object, h->data, nullptr, text.c_str(), msgtype, code);
}
}  // namespace

void log_global(void *object, int msgtype, const std::string &text) {
  log_global_code(object, msgtype, 0, text);
}

namespace {
// Appends a line to the problem's log file, whatever reaches the callbacks.  A
// file that cannot be opened is tried again at the next line.
void write_logfile(KRVUprob prob, const std::string &text) {
  const std::string &name = ctl_str(prob, 6000);
  std::lock_guard<std::mutex> lock(prob->logfile_mutex);
  if (name != prob->logfile_name) {
    if (prob->logfile) std::fclose(prob->logfile);
    prob->logfile = nullptr;
    prob->logfile_name.clear();
    if (name.empty()) return;
    prob->logfile = std::fopen(name.c_str(), "a");
    if (!prob->logfile) return;
    prob->logfile_name = name;
  }
  if (!prob->logfile) return;
  std::fwrite(text.data(), 1, text.size(), prob->logfile);
  std::fputc('\n', prob->logfile);
  std::fflush(prob->logfile);
}
}  // namespace

void log_text_code(KRVUprob prob, int msgtype, int code, const std::string &text) {
  if (prob) {
    // A suppressed number reaches nothing, the log file included.
    if (!message_shown(prob, code)) return;
    if (!ctl_str(prob, 6000).empty() || prob->logfile) write_logfile(prob, text);
    if (ctl_int(prob, KRVU_CTRL_OUTPUTLOG) == 0 && msgtype == KRVU_MSG_LOG) return;
    fire<kCb_message>(prob, text.c_str(), static_cast<int>(text.size()), msgtype);
  }
  log_global_code(prob, msgtype, code, text);
}

void log_text(KRVUprob prob, int msgtype, const std::string &text) {
  log_text_code(prob, msgtype, 0, text);
}

void log_code(KRVUprob prob, int msgtype, int code, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = vformat(fmt, ap);
  va_end(ap);
  log_text_code(prob, msgtype, code, s);
}

void log(KRVUprob prob, int msgtype, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = vformat(fmt, ap);
  va_end(ap);
  log_text(prob, msgtype, s);
}

}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUinit(const char *path) {
  return guarded_global("KRVUinit", [&] {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_init_count == 0) load_site_defaults();  // throws: the start fails, count unchanged
    ++g_init_count;
    return 0;
  });
}

int KRVUfree(void) {
  return guarded_global("KRVUfree", [&] {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_init_count == 0)
      raise(KRVU_ERR_NOTINIT, "KRVUfree: the library is not started");
    --g_init_count;
    return 0;
  });
}

int KRVU_ge_addcbmsghandler_owned(KRVU_ge_msghandler f, void *userdata, int priority,
                                  void (*release)(void *userdata)) {
  return guarded_global("KRVU_ge_addcbmsghandler", [&] {
    require_ptr(reinterpret_cast<void *>(f), "KRVU_ge_addcbmsghandler", "f");
    auto h = std::make_shared<Handler>(f, userdata, priority, release);
    std::lock_guard<std::mutex> lock(g_mutex);
    auto pos = std::find_if(g_handlers.begin(), g_handlers.end(),
                            [&](const std::shared_ptr<Handler> &e) { return e->priority < priority; });
    g_handlers.insert(pos, std::move(h));
    return 0;
  });
}

int KRVU_ge_addcbmsghandler(KRVU_ge_msghandler f, void *userdata, int priority) {
  return KRVU_ge_addcbmsghandler_owned(f, userdata, priority, nullptr);
}

int KRVU_ge_removecbmsghandler(KRVU_ge_msghandler f, void *userdata) {
  // Released outside the lock: a release function may log or add handlers.
  std::vector<std::shared_ptr<Handler>> removed;
  return guarded_global("KRVU_ge_removecbmsghandler", [&] {
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      auto end = std::stable_partition(g_handlers.begin(), g_handlers.end(), [&](const std::shared_ptr<Handler> &h) {
        return !((!f || h->f == f) && (!userdata || h->data == userdata));
      });
      if (end == g_handlers.end())
        raise(KRVU_ERR_ARGUMENT, "KRVU_ge_removecbmsghandler: no such message handler");
      removed.assign(std::make_move_iterator(end), std::make_move_iterator(g_handlers.end()));
      g_handlers.erase(end, g_handlers.end());
    }
    removed.clear();
    return 0;
  });
}

int KRVU_ge_getlasterror(int *code, char *msg, int maxbytes, int *msglength) {
  const LastError &e = t_global_error;
  if (code) *code = e.code;
  if (msglength) *msglength = static_cast<int>(e.msg.size());
  if (msg && maxbytes > 0) {
    size_t n = std::min(e.msg.size(), static_cast<size_t>(maxbytes - 1));
    std::memcpy(msg, e.msg.data(), n);
    msg[n] = '\0';
  }
  return 0;
}

int KRVU_ge_setarchconsistency(int ifarchconsistent) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_arch_consistent = ifarchconsistent ? 1 : 0;
  return 0;
}

int KRVU_ge_getarchconsistency(int *ifarchconsistent) {
  return guarded_global("KRVU_ge_getarchconsistency", [&] {
    require_ptr(ifarchconsistent, "KRVU_ge_getarchconsistency", "ifarchconsistent");
    std::lock_guard<std::mutex> lock(g_mutex);
    *ifarchconsistent = g_arch_consistent;
    return 0;
  });
}

#define KRVU_VERSION_MAJOR 0
#define KRVU_VERSION_MINOR 1
#define KRVU_VERSION_BUILD 0

int KRVUgetversion(char *version) {
  return guarded_global("KRVUgetversion", [&] {
    require_ptr(version, "KRVUgetversion", "version");
    std::snprintf(version, 32, "%d.%d.%d", KRVU_VERSION_MAJOR, KRVU_VERSION_MINOR,
                  KRVU_VERSION_BUILD);
    return 0;
  });
}

int KRVUgetversionnumbers(int *major, int *minor, int *build) {
  if (major) *major = KRVU_VERSION_MAJOR;
  if (minor) *minor = KRVU_VERSION_MINOR;
  if (build) *build = KRVU_VERSION_BUILD;
  return 0;
}

int KRVUgetbanner(char *banner) {
  return guarded_global("KRVUgetbanner", [&] {
    require_ptr(banner, "KRVUgetbanner", "banner");
    std::snprintf(banner, 512, "libkrvu %d.%d.%d, engine HiGHS %s", KRVU_VERSION_MAJOR,
                  KRVU_VERSION_MINOR, KRVU_VERSION_BUILD, Highs_version());
    return 0;
  });
}

int KRVUgetcheckedmode(int *checkedmode) {
  return guarded_global("KRVUgetcheckedmode", [&] {
    require_ptr(checkedmode, "KRVUgetcheckedmode", "checkedmode");
    std::lock_guard<std::mutex> lock(g_mutex);
    *checkedmode = g_checked_mode;
    return 0;
  });
}

int KRVUsetcheckedmode(int checkedmode) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_checked_mode = checkedmode ? 1 : 0;
  return 0;
}

int KRVUgetobjecttypename(const void *object, const char **name) {
  return guarded_global("KRVUgetobjecttypename", [&] {
    require_ptr(object, "KRVUgetobjecttypename", "object");
    require_ptr(name, "KRVUgetobjecttypename", "name");
    uint32_t magic;
    std::memcpy(&magic, object, sizeof magic);
    if (magic == kMagicProb)
      *name = "KRVUprob";
    else if (magic == kMagicSlp)
      *name = "KSLPprob";
    else
      raise(KRVU_ERR_ARGUMENT, "KRVUgetobjecttypename: 'object' is not a library handle");
    return 0;
  });
}

}  // extern "C"
