#!/usr/bin/env bash
# Builds dbfext and runs every test. Installs what the build and the tests need
# (with apt-get, as root) when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release ${CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
