#!/usr/bin/env bash
# Builds the library and the extension with AddressSanitizer and UBSan
# (build/asan) and runs the library's tests and the Python tests under them.
#   bash tools/sanitize.sh            every test
#   bash tools/sanitize.sh --subset   files, algebra, arrays, threads, wrappers, callbacks, directives, cut pool, nonlinear (CI)
# Extra arguments after the options go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
PY=${PYTHON:-python3}
subset=0
if [ "${1:-}" = "--subset" ]; then subset=1; shift; fi

gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
cmake -S . -B build/asan "${gen[@]}" -DKORVU_BUILD_TESTS=ON -DKORVU_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPython_EXECUTABLE="$(command -v "$PY")" >/dev/null
cmake --build build/asan -j"$(nproc)"

# The interpreter itself is not built with the sanitizers: the runtime goes in
# first, and its leak report (Python's own allocations at exit) stays off.
asan=$(g++ -print-file-name=libasan.so)
ubsan=$(g++ -print-file-name=libubsan.so)
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:detect_odr_violation=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
build/asan/libkrvu/krvu_tests --gtest_brief=1

tests=(.)
[ $subset = 1 ] && tests=(problem/test_files.py problem/test_files_memory.py model arrays threads binding module/test_errors.py callbacks search/test_directives.py search/test_cutpool.py nonlinear)
cd tests
LD_PRELOAD="$asan $ubsan" PYTHONPATH=../build/asan/pkg "$PY" -m pytest -q -p no:cacheprovider "${tests[@]}" "$@"
