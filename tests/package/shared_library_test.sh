#!/usr/bin/env bash
# Builds Morvane with a shared engine library, installs it into a scratch prefix and checks that
# the library is versioned and exports only the public operations, and that the installed
# command finds it on its own and bakes the four known maps.
# Usage: shared_library_test.sh SOURCE_DIR
set -eu
source=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake -S "$source" -B "$scratch/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$scratch/build" --parallel "$(nproc)" >/dev/null
cmake --install "$scratch/build" --prefix "$scratch/prefix" >/dev/null

library=$(find "$scratch/prefix" -name 'libmorvanebake.so.1.*' -type f)
[ -n "$library" ] || fail "no versioned libmorvanebake.so.1.x installed"
readelf -d "$library" | grep -q 'SONAME.*\[libmorvanebake.so.1\]' || fail "soname is not libmorvanebake.so.1"
# Inline statics of the standard library's templates are unique symbols that stay exported.
others=$(nm -D --defined-only "$library" | awk '$2 != "u" {print $3}' | c++filt |
  grep -v '^Morvane::BakeEngine::' || true)
[ -z "$others" ] || fail "exports more than the public operations: $others"

env -u LD_LIBRARY_PATH cmake -DMORVANE="$scratch/prefix/bin/morvane" -DSCRATCH="$scratch/maps" \
  -P "$source/tests/cli/FullSetDigests.cmake" || fail "the installed shared-library morvane"
cmake -S "$source/tests/package/consumer" -B "$scratch/consumer" \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
env -u LD_LIBRARY_PATH "$scratch/consumer/consumer"
echo "shared library $(basename "$library") installed, found and used"
