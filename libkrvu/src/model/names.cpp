// Names of rows, columns and sets.
#include <cstdlib>

#include "lp/solver_state.h"
#include "model/args.h"
#include "model/store.h"

namespace krvu {
namespace {

std::vector<std::string> &names_of(ModelData &m, int type) {
  return type == 1 ? m.rownames : type == 2 ? m.colnames : m.setnames;
}

void require_type(int type, const char *func) {
  if (type < 1 || type > 3)
    raise(KRVU_ERR_ARGUMENT, "%s: argument 'type' = %d must be 1 (rows), 2 (columns) or 3 (sets)",
          func, type);
}

std::string name_at(const ModelData &m, int type, int i) {
  return type == 1 ? row_name(m, i) : type == 2 ? col_name(m, i) : set_name(m, i);
}

void add_names(krvu_prob_s *prob, int type, const char *names, int first, int last,
               const char *func) {
  require_type(type, func);
  ProbData &d = *prob->data;
  std::vector<std::string> &v = names_of(d.m, type);
  require_range(first, last, static_cast<int>(v.size()), func,
                type == 1 ? "the rows" : type == 2 ? "the columns" : "the sets");
  require_ptr(names, func, "names");
  const char *p = names;
  for (int i = first; i <= last; ++i) {
    std::string s(p);
    p += s.size() + 1;
    v[i] = std::move(s);
  }
  d.names_valid[type - 1] = false;
}

}  // namespace
}  // namespace krvu

using namespace krvu;

extern "C" {

int KRVUaddnames(KRVUprob prob, int type, const char names[], int first, int last) {
  return guarded(prob, "KRVUaddnames", [&] {
    add_names(prob, type, names, first, last, "KRVUaddnames");
    return 0;
  });
}

int KRVUaddsetnames(KRVUprob prob, const char names[], int first, int last) {
  return guarded(prob, "KRVUaddsetnames", [&] {
    add_names(prob, 3, names, first, last, "KRVUaddsetnames");
    return 0;
  });
}

int KRVUgetnamelist(KRVUprob prob, int type, char names[], int maxbytes, int *nbytes, int first,
                    int last) {
  const char *F = "KRVUgetnamelist";
  return guarded(prob, F, [&] {
    require_type(type, F);
    const ModelData &m = prob->data->m;
    int n = type == 1 ? m.nrows() : type == 2 ? m.ncols() : m.nsets();
    require_range(first, last, n, F,
                  type == 1 ? "the rows" : type == 2 ? "the columns" : "the sets");
    int64_t need = 0;
    for (int i = first; i <= last; ++i) need += name_at(m, type, i).size() + 1;
    if (need > INT32_MAX) raise(KRVU_ERR_ARGUMENT, "%s: the names need more than 2^31 bytes", F);
    if (nbytes) *nbytes = static_cast<int>(need);
    if (!names) {
      require_ptr(nbytes, F, "nbytes");
      return 0;
    }
    if (maxbytes < need)
      raise(KRVU_ERR_ARGUMENT, "%s: argument 'maxbytes' = %d is less than the %lld bytes needed",
            F, maxbytes, static_cast<long long>(need));
    char *p = names;
    for (int i = first; i <= last; ++i) {
      std::string s = name_at(m, type, i);
      std::memcpy(p, s.c_str(), s.size() + 1);
      p += s.size() + 1;
    }
    return 0;
  });
}

int KRVUgetnames(KRVUprob prob, int type, char names[], int first, int last) {
  const char *F = "KRVUgetnames";
  return guarded(prob, F, [&] {
    require_ptr(names, F, "names");
    int need = 0;
    if (KRVUgetnamelist(prob, type, nullptr, 0, &need, first, last))
      raise(prob->lasterr_code, "%s", prob->lasterr.c_str());
    if (KRVUgetnamelist(prob, type, names, need, &need, first, last))
      raise(prob->lasterr_code, "%s", prob->lasterr.c_str());
    return 0;
  });
}

int KRVUgetindex(KRVUprob prob, int type, const char *name, int *index) {
  const char *F = "KRVUgetindex";
  return guarded(prob, F, [&] {
    require_type(type, F);
    require_ptr(name, F, "name");
    require_ptr(index, F, "index");
    ProbData &d = *prob->data;
    const std::vector<std::string> &v = names_of(d.m, type);
    auto &idx = d.name_index[type - 1];
    if (!d.names_valid[type - 1]) {
      idx.clear();
      for (int i = static_cast<int>(v.size()) - 1; i >= 0; --i)
        if (!v[i].empty()) idx[v[i]] = i;  // the first of repeated names wins
      d.names_valid[type - 1] = true;
    }
    *index = -1;
    auto it = idx.find(name);
    if (it != idx.end()) {
      *index = it->second;
      return 0;
    }
    // Default names ("R12") of unnamed entries.
    const char prefix = type == 1 ? 'R' : type == 2 ? 'C' : 'S';
    if (name[0] == prefix && name[1] >= '1' && name[1] <= '9') {
      char *end = nullptr;
      long k = std::strtol(name + 1, &end, 10);
      if (*end == '\0' && k >= 1 && k <= static_cast<long>(v.size()) && v[k - 1].empty())
        *index = static_cast<int>(k - 1);
    }
    return 0;
  });
}

}  // extern "C"

extern "C" {

int KRVUcopyprob(KRVUprob dest, KRVUprob src, const char *probname) {
  const char *F = "KRVUcopyprob";
  return guarded(dest, F, [&] {
    check_prob(src, F);
    if (dest == src) raise(KRVU_ERR_ARGUMENT, "%s: 'dest' and 'src' are the same problem", F);
    ModelData copy = read_model(src);
    copy.probname = probname ? probname : src->name;
    replace_model(dest, std::move(copy), F);
    return 0;
  });
}

}  // extern "C"
