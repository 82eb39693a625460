#!/usr/bin/env bash
# Installs what the tests need, the package and the test requirements, then
# runs every test: the library's C++ tests and the Python tests against the
# installed package.  Extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
PY=${PYTHON:-python3}

die() { echo "tools/test.sh: $*" >&2; exit 1; }

# --- system packages: a compiler, CMake, zlib and GoogleTest -----------------
# Installs Debian packages as root or through sudo (status 2: neither is possible).
apt_install() {
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq "$@" >/dev/null
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo -n apt-get update -qq && sudo -n DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
  else
    return 2
  fi
}
need=()
command -v g++ >/dev/null 2>&1 || need+=(g++)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
gtest_ok() {
  [ -f /usr/include/gtest/gtest.h ] && { compgen -G '/usr/lib/*/libgtest.a' >/dev/null || [ -f /usr/lib/libgtest.a ]; }
}
gtest_ok || need+=(libgtest-dev)
if [ ${#need[@]} -gt 0 ]; then
  echo "tools/test.sh: installing ${need[*]}"
  apt_install "${need[@]}" || {
    [ $? = 2 ] && die "missing ${need[*]}: install them (Debian/Ubuntu: apt-get install ${need[*]}) and run again"
    die "could not install ${need[*]}"
  }
fi
# Ipopt, for the nonlinear solver's interior-point path; without it the build
# leaves that solver out and its tests skip.
ipopt_ok() { command -v pkg-config >/dev/null 2>&1 && pkg-config --exists ipopt; }
if ! ipopt_ok; then
  echo "tools/test.sh: installing coinor-libipopt-dev pkg-config"
  apt_install coinor-libipopt-dev pkg-config ||
    echo "tools/test.sh: could not install coinor-libipopt-dev; the interior-point solver is left out and its tests skip" >&2
fi
gtest_ok || die "GoogleTest is still missing after installing libgtest-dev"

# --- Python: test requirements, then the package ------------------------------
"$PY" -c 'import sys; sys.exit(sys.version_info < (3, 10))' || die "Python 3.10 or newer is needed ($PY)"
"$PY" -m pip install -q -r requirements-test.txt || die "could not install requirements-test.txt"
# Without build isolation the build folder keeps its cache between runs, so an
# unchanged tree is not compiled again (the build requirements are in
# requirements-test.txt).
"$PY" -m pip install -q --no-build-isolation . || die "could not build and install the package"

# --- the library's C++ tests ---------------------------------------------------
command -v cmake >/dev/null 2>&1 || die "cmake is not on PATH (it comes with requirements-test.txt)"
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
cmake -S . -B build/tests "${gen[@]}" -DKORVU_BUILD_TESTS=ON -DKORVU_BUILD_EXTENSION=OFF \
      -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$(command -v "$PY")" >/dev/null
cmake --build build/tests -j"$(nproc)"
log=build/tests/ctest.log
ctest --test-dir build/tests --output-on-failure -j"$(nproc)" 2>&1 | tee "$log"
skipped=$(grep -c '\*\*\*Skipped\| Skipped ' "$log" || true)
if [ "$skipped" -gt 0 ]; then
  instances=${KORVU_INSTANCES:-$(cd .. && pwd)/shared/instances}
  if [ -d "$instances" ]; then
    echo "ctest: $skipped library tests were skipped (see their output: ctest --test-dir build/tests -V)"
  else
    echo "ctest: $skipped library tests were skipped: they read the public test instances, not found at $instances"
  fi
fi

# --- the Python tests ----------------------------------------------------------
# From tests/, so that the source folder korvu/ (no compiled module) does not
# shadow the installed package.
cd tests
"$PY" -m pytest -q "$@"
