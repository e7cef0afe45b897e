#!/usr/bin/env bash
# Builds dbfext and runs every test. Installs what the build and the tests need
# (with apt-get, as root) when it is missing: the compiler, CMake, GoogleTest;
# Firebird 3 for the test that reads the aligned layout back from a server;
# MinGW-w64 and Wine for the Windows build and its end-to-end tests.
#
# Environment: BUILD_DIR (default build), CMAKE_ARGS (more arguments for
# CMake), DBFEXT_WINDOWS=0 (leave the Windows build out).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
windows=${DBFEXT_WINDOWS:-1}

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
updated=""
install() {
  [ -n "$updated" ] || { $sudo apt-get update -qq && updated=1; }
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@"
}

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ ${#need[@]} -eq 0 ] || install "${need[@]}"
# Without these the tests that need them say they were skipped, except in CI,
# where they must run.
if ! command -v isql-fb >/dev/null; then
  install firebird3.0-server firebird3.0-utils || echo "warning: Firebird 3 could not be installed" >&2
fi
windows_exe=""
if [ "$windows" = 1 ]; then
  if ! command -v x86_64-w64-mingw32-g++ >/dev/null || ! command -v wine >/dev/null; then
    install g++-mingw-w64-x86-64 wine wine64 || echo "warning: MinGW-w64 or Wine could not be installed" >&2
  fi
  if command -v x86_64-w64-mingw32-g++ >/dev/null && command -v wine >/dev/null; then
    cmake -S . -B "$build-windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DDBFEXT_TESTS=OFF >/dev/null
    cmake --build "$build-windows" -j"$(nproc)"
    windows_exe=$PWD/$build-windows/dbfext.exe
  elif [ -n "${CI:-}" ]; then
    echo "error: the Windows build cannot be tested here" >&2
    exit 1
  else
    echo "warning: the Windows build and its tests are skipped" >&2
  fi
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDBFEXT_WINDOWS_EXE="$windows_exe" ${CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
grep -h '^firebird: ' "$build/Testing/Temporary/LastTest.log" || true
