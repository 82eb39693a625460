#!/usr/bin/env bash
# Installs the package and the test requirements, then runs every test: the
# library's C++ tests and the Python tests against the installed package.
set -euo pipefail
cd "$(dirname "$0")/.."
PY=${PYTHON:-python3}

"$PY" -m pip install -q -r requirements-test.txt
"$PY" -m pip install -q .

gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
cmake -S . -B build/tests "${gen[@]}" -DKORVU_BUILD_TESTS=ON -DKORVU_BUILD_EXTENSION=OFF \
      -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$(command -v "$PY")" >/dev/null
cmake --build build/tests -j"$(nproc)"
ctest --test-dir build/tests --output-on-failure -j"$(nproc)"

# From tests/, so that the source folder korvu/ (no compiled module) does not
# shadow the installed package.
cd tests
"$PY" -m pytest -q "$@"
