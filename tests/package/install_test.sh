#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then configures, builds and runs a separate
# project that finds the engine with find_package(Morvane) and links morvane::bake.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
for file in bin/morvane share/man/man1/morvane.1 include/morvane/BakeEngine.h; do
  [ -f "$scratch/prefix/$file" ] || { echo "FAIL: $file was not installed"; exit 1; }
done

cmake -S "$source/tests/package/consumer" -B "$scratch/consumer" \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer"
"$scratch/prefix/bin/morvane" --help | grep -q -- "--bake-all" || { echo "FAIL: installed morvane"; exit 1; }
echo "installed tree found and linked by a separate project"
