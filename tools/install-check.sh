#!/usr/bin/env bash
# Installs the library into an empty scratch prefix, removes the build tree,
# and runs the installed stand-in host: it must load the installed library
# (through its SONAME link) and start with the sample configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake -S . -B "$scratch/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_BUILD_TESTS=OFF \
  -DORVEL_WERROR="${ORVEL_WERROR:-OFF}" >/dev/null
cmake --build "$scratch/build" -j"$(nproc)" --target orvel-ssf-server ssfhost
cmake --install "$scratch/build" --prefix "$prefix"
rm -rf "$scratch/build"

libdir=$(dirname "$(find "$prefix" -name 'liborvel-ssf-server.so' -print -quit)")
soname=$(objdump -p "$libdir/liborvel-ssf-server.so" | awk '$1 == "SONAME" { print $2 }')
echo "installed: $(cd "$prefix" && find . -type f -o -type l | sort | tr '\n' ' ')"
[ "$soname" = liborvel-ssf-server.so.1 ] || { echo "unexpected SONAME '$soname'" >&2; exit 1; }
[ -L "$libdir/$soname" ] && [ -L "$libdir/liborvel-ssf-server.so" ]
[ -f "$prefix/include/orvel_ssf.h" ] && [ -f "$prefix/include/orvel_export.h" ]

cfg=$scratch/cfg
mkdir "$cfg"
cp "$prefix/share/doc/orvel_ssf_server/orvel-ssf-server.cfg.sample" "$cfg/orvel-ssf-server.cfg"
printf '[common]\nlog_dir = %s\n' "$cfg" >>"$cfg/orvel-ssf-server.cfg"
env -u ORVEL_LIBRARY DIR_LIBRARY="$cfg" "$prefix/bin/ssfhost" version --out "$scratch/version.txt"
grep -q "config file '$cfg/orvel-ssf-server.cfg' found\|config_file = '$cfg/orvel-ssf-server.cfg'" \
  "$cfg/orvel-ssf-server.log"
echo "installed ssfhost ran against the installed library: $(head -c 60 "$scratch/version.txt")"
