#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ (clang, -fsanitize=fuzzer,address,undefined)
# and runs them.
#
#   tools/fuzz.sh --smoke [--seconds S] [--jobs J] [TARGET ...]
#       every target S seconds (default 8) on its seeds, J at a time
#       (default: one per core); fails on a crash, a leak or a time-out
#   tools/fuzz.sh --minutes N [--jobs J] [TARGET ...]
#       every target (or the ones named) N minutes, J at a time (default: all
#       at once, sharing the cores), going on after a crash; prints a table
#       of runs and crashes per target and keeps the findings
#
# Options: --build-dir DIR (default build-fuzz), --no-build.
# Corpora grow in DIR/fuzz/corpus/<target>; crashes, leaks and time-outs are
# written to DIR/fuzz/artifacts/<target>/. A reproducer is run again with
# DIR/fuzz/fuzz_<target> FILE; once mended it is kept in fuzz/seeds/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
# The comment block above.
usage() { sed -n '2,/^[^#]/p' "$0" | sed '$d'; }

mode=""
seconds=8
minutes=0
jobs=""
build=build-fuzz
do_build=1
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --smoke) mode=smoke ;;
    --seconds) seconds=$2; shift ;;
    --minutes) mode=long; minutes=$2; shift ;;
    --jobs) jobs=$2; shift ;;
    --build-dir) build=$2; shift ;;
    --no-build) do_build=0 ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1") ;;
  esac
  shift
done
[ -n "$mode" ] || { usage; exit 2; }
build=$(realpath -m "$build")

if [ $do_build = 1 ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_FUZZ=ON \
    -DORVEL_BUILD_TESTS=OFF -DORVEL_WERROR="${ORVEL_WERROR:-OFF}" >/dev/null
  cmake --build "$build" -j"$(nproc)"
fi
fz=$build/fuzz
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$fz"/fuzz_*; do [ -x "$f" ] && targets+=("${f##*/fuzz_}"); done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no fuzz targets in $fz" >&2; exit 1; }
if [ -z "$jobs" ]; then
  if [ $mode = smoke ]; then jobs=$(nproc); else jobs=${#targets[@]}; fi
fi

export ORVEL_FUZZ_DATA=$fz/data
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
logs=$fz/logs
mkdir -p "$logs"

# run TARGET SECONDS CORPUS [libFuzzer flags]: seeds made at build time and
# the committed ones (reproducers of mended faults) are read as well.
run() {
  local t=$1 secs=$2 corpus=$3
  shift 3
  local dirs=("$corpus" "$fz/data/seeds/$t")
  [ -d "$src/fuzz/seeds/$t" ] && dirs+=("$src/fuzz/seeds/$t")
  mkdir -p "$corpus" "$fz/artifacts/$t"
  "$fz/fuzz_$t" -max_total_time="$secs" -timeout=30 -rss_limit_mb=2560 -detect_leaks=1 \
    -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$fz/artifacts/$t/" "$@" \
    "${dirs[@]}" >"$logs/$t.log" 2>&1
}

# At most $jobs runs at a time; each one's status goes to $logs/<target>.rc.
throttle() {
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
}

if [ $mode = smoke ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  for t in "${targets[@]}"; do
    throttle
    (set +e; run "$t" "$seconds" "$tmp/$t"; echo $? >"$logs/$t.rc") &
  done
  wait
  failed=0
  for t in "${targets[@]}"; do
    rc=$(cat "$logs/$t.rc" 2>/dev/null || echo 1)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$t.log" | tail -1)
    if [ "$rc" = 0 ]; then
      printf 'fuzz smoke %-10s ok (%s runs)\n' "$t" "${runs:-?}"
    else
      printf 'fuzz smoke %-10s FAILED (log %s)\n' "$t" "$logs/$t.log"
      grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)' "$logs/$t.log" || true
      failed=1
    fi
  done
  exit $failed
fi

# Long runs: fork mode goes on after a crash, a leak, a time-out or an
# out-of-memory and counts them; its status lines carry the run count.
secs=$((minutes * 60))
for t in "${targets[@]}"; do
  throttle
  (set +e; run "$t" "$secs" "$fz/corpus/$t" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 \
     -ignore_ooms=1; echo $? >"$logs/$t.rc") &
done
wait
printf '%-10s %12s %9s %8s %9s %6s\n' target runs runs/s crashes timeouts ooms
status=0
for t in "${targets[@]}"; do
  # "#1234: cov: ... exec/s: ... oom/timeout/crash: 0/0/0 time: ..."
  last=$(grep -E '^#[0-9]+: cov:' "$logs/$t.log" | tail -1)
  runs=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$last")
  took=$(sed -nE 's/.* time: ([0-9]+)s.*/\1/p' <<<"$last")
  counts=$(sed -E 's|.*oom/timeout/crash: ([0-9]+)/([0-9]+)/([0-9]+).*|\1 \2 \3|' <<<"$last")
  read -r ooms timeouts crashes <<<"${counts:-? ? ?}"
  [ -n "$runs" ] || runs=0
  [ -n "$took" ] && [ "$took" -gt 0 ] || took=$((secs > 0 ? secs : 1))
  printf '%-10s %12s %9s %8s %9s %6s\n' "$t" "$runs" $((runs / took)) \
    "${crashes:-?}" "${timeouts:-?}" "${ooms:-?}"
  if [ "${crashes:-1}${timeouts:-1}${ooms:-1}" != 000 ]; then status=1; fi
done
echo "findings: $fz/artifacts/<target>/, logs: $logs/"
exit $status
