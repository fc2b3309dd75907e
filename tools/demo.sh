#!/usr/bin/env bash
# The library's main job through the stand-in host: the version banner and
# the properties the provider announces.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build build-demo -j"$(nproc)" --target orvel-ssf-server ssfhost
./build-demo/tools/ssfhost version
./build-demo/tools/ssfhost properties || echo "ssfhost: some properties could not be read (return codes above)"
