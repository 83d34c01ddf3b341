#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and builds and runs a small
# host against it, through the CMake package and through pkg-config.
set -euo pipefail
build_dir=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null
export PKG_CONFIG_PATH="$scratch/prefix/lib/pkgconfig"
cmake -S "$source_dir/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/consumer" >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; exit 1; }
# The first state after seed 12345 is 207482415: u = 0.0966165215.
expected="0.0966165215 207482415"
for host in consumer_stats consumer_threaded consumer_pkgconfig; do
  got=$("$scratch/consumer/$host")
  if [ "$got" != "$expected" ]; then
    echo "$host printed '$got', expected '$expected'"
    exit 1
  fi
  echo "$host: $got"
done
