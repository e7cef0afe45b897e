#!/usr/bin/env bash
# Fuzzes the table conversion with libFuzzer for SECONDS (default 600), starting
# from the committed corpus. New inputs go to build-fuzz/corpus; a crash leaves
# its input in build-fuzz/ and fails the run. Needs clang (installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
if ! command -v clang++ >/dev/null || [ ! -d /usr/lib/llvm-14/lib/clang ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang libclang-rt-dev
fi
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDBFEXT_FUZZ=ON -DDBFEXT_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"
mkdir -p build-fuzz/corpus
cd build-fuzz
./fuzz/table_fuzz -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 corpus ../fuzz/corpus 2>&1 | grep -E '^(stat::|#[0-9]+ +DONE|==|SUMMARY)' || true
# libFuzzer's exit status is lost in the pipe: a finding leaves a crash-, leak-,
# timeout- or oom- file behind.
if ls crash-* leak-* timeout-* oom-* >/dev/null 2>&1; then
  echo "fuzzing found failures:" >&2
  ls crash-* leak-* timeout-* oom-* >&2
  exit 1
fi
