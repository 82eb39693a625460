// getdirs: the directives come back in five parallel lists, sized by a first
// call to the library.
#include <vector>

#include "binding/wrap.h"
#include "module/module.h"

namespace korvu {
namespace wrap {
namespace custom {

// (mcols, mpri, qbr, dupc, ddpc)
PyObject *getdirs(const Row &row, Ctx &c) {
  int n = 0;
  if (KRVUgetdirs(c.prob, &n, nullptr, nullptr, nullptr, nullptr, nullptr) != 0) return nullptr;
  if (n == 0) Py_RETURN_NONE;
  // Every list is checked before any is filled, so that a refusal leaves
  // all five as they were.
  for (int i = 0; i < 5; ++i)
    if (!given(c, i) || !PyList_Check(c.obj[i])) {
      PyErr_SetString(korvu_InterfaceError, row.missing_);
      return nullptr;
    }
  std::vector<int> cols(n), pri(n);
  std::vector<char> br(n);
  std::vector<double> up(n), down(n);
  if (KRVUgetdirs(c.prob, &n, cols.data(), pri.data(), br.data(), up.data(), down.data()) != 0) return nullptr;
  if (fill_list(c, 0, cols.data(), n, CONV_COL) < 0 || fill_list(c, 1, pri.data(), n, CONV_INT) < 0 ||
      fill_list(c, 2, br.data(), n, CONV_CHAR) < 0 || fill_list(c, 3, up.data(), n, CONV_DOUBLE) < 0 ||
      fill_list(c, 4, down.data(), n, CONV_DOUBLE) < 0)
    return nullptr;
  Py_RETURN_NONE;
}

}  // namespace custom
}  // namespace wrap
}  // namespace korvu
