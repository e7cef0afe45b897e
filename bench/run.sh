#!/usr/bin/env bash
# Times dbfext against a plain copy of the same table (dd bs=1M), run in turn
# several times on seeded tables, and prints the median wall times, the ratio
# and the peak resident memory. pgdbf and ogr2ogr are timed too when installed.
#
# Usage: bench/run.sh [SIZE_MB ...]     (default: 100 1000)
# Each run writes a new output file after a sync, so that no command pays for
# another's dirty pages; the input is read from the page cache.
# Environment: RUNS (default 7), BENCH_DIR (default /tmp/dbfext-bench), SEED (default 1).
# Needs bash, GNU time (/usr/bin/time), dd, cmake and a C++ compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100 1000)
runs=${RUNS:-7}
work=${BENCH_DIR:-/tmp/dbfext-bench}
seed=${SEED:-1}
[ -x /usr/bin/time ] || { echo "GNU time is needed: apt-get install time" >&2; exit 1; }

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target dbfext make_table >/dev/null
mkdir -p "$work"

# run NAME COMMAND...: one timed run; appends "seconds kilobytes" to $work/NAME.
run() {
  local name=$1
  shift
  rm -f "$work"/out.*
  sync
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000000 )) $(cat "$work/rss")" >>"$work/$name"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/ { print $2 }') GiB, $(g++ --version | head -1), $(date -u +%F)"
echo
echo "| table | command | median wall (s) | median / copy | fastest wall (s) | fastest / fastest copy | peak RSS (MiB) |"
echo "|---|---|---|---|---|---|---|"
for mb in "${sizes[@]}"; do
  table="$work/table-$mb.dbf"
  [ -f "$table" ] || ./build/make_table "$table" "$mb" "$seed"
  cat "$table" >/dev/null  # warm the page cache: every command reads it from memory
  rm -f "$work"/{copy,default,aligned,pgdbf,ogr2ogr}
  names=(copy default aligned)
  command -v pgdbf >/dev/null && names+=(pgdbf)
  command -v ogr2ogr >/dev/null && names+=(ogr2ogr)
  for ((i = 0; i < runs; i++)); do
    run copy dd if="$table" of="$work/out.copy" bs=1M
    run default ./build/dbfext "$table" "$work/out.dat" "$work/out.sql"
    run aligned ./build/dbfext --aligned "$table" "$work/out.dat" "$work/out.sql"
  done
  # The reference rows come after, three runs each: they are slower by far.
  for ((i = 0; i < 3; i++)); do
    if command -v pgdbf >/dev/null; then run pgdbf sh -c "pgdbf '$table' > '$work/out.pgsql'"; fi
    if command -v ogr2ogr >/dev/null; then run ogr2ogr ogr2ogr -f CSV "$work/out.csv" "$table"; fi
  done
  copy=$(cut -d' ' -f1 "$work/copy" | median)
  copy_min=$(cut -d' ' -f1 "$work/copy" | sort -n | head -1)
  for name in "${names[@]}"; do
    wall=$(cut -d' ' -f1 "$work/$name" | median)
    wall_min=$(cut -d' ' -f1 "$work/$name" | sort -n | head -1)
    rss=$(cut -d' ' -f2 "$work/$name" | sort -n | tail -1)
    label=$name
    case $name in
      copy) label="dd bs=1M (copy)" ;;
      default) label="dbfext" ;;
      aligned) label="dbfext --aligned" ;;
      pgdbf) label="pgdbf (reference)" ;;
      ogr2ogr) label="ogr2ogr -f CSV (reference)" ;;
    esac
    awk -v t="$mb MB" -v l="$label" -v w="$wall" -v c="$copy" -v m="$wall_min" -v cm="$copy_min" -v r="$rss" \
      'BEGIN { printf "| %s | %s | %.3f | %.2f | %.3f | %.2f | %.1f |\n", t, l, w / 1000, w / c, m / 1000, m / cm, r / 1024 }'
  done
done
rm -f "$work"/out.*
