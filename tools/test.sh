#!/usr/bin/env bash
# Builds the library and its tests twice, plainly and with
# -fsanitize=address,undefined, and runs every test in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
werror=${ORVEL_WERROR:-OFF}
for variant in plain asan; do
  dir=build-test-$variant
  sanitize=OFF
  [ $variant = asan ] && sanitize=ON
  cmake -S . -B $dir -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_SANITIZE=$sanitize \
    -DORVEL_WERROR=$werror -DORVEL_BUILD_TESTS=ON >/dev/null
  cmake --build $dir -j"$jobs"
  echo "== running tests ($variant build)"
  (cd $dir && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
     UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     ctest --output-on-failure -j"$jobs" --timeout 600)
done
