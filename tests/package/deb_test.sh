#!/usr/bin/env bash
# Builds the Debian packages with CPack and checks them with lintian (no error, no warning),
# unpacks them into a scratch root, runs the unpacked morvane --bake-all there and checks the
# four maps against their digests. Then a separate project builds against the unpacked
# development package.
# Usage: deb_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/packages" >/dev/null) ||
  fail "cpack could not build the packages"
bin_package=$(ls "$scratch"/packages/morvane_*.deb)
dev_package=$(ls "$scratch"/packages/morvane-dev_*.deb)
dpkg-deb -f "$bin_package" Recommends | grep -q libsdl2 || fail "SDL2 is not recommended"
dpkg-deb -f "$bin_package" Depends | grep -q -i sdl && fail "SDL2 must not be required"
dpkg-deb -c "$bin_package" | grep -q "usr/share/man/man1/morvane.1.gz" || fail "no man page"
dpkg-deb -c "$bin_package" | grep -q "usr/share/doc/morvane/writing.md" || fail "no writing.md"
dpkg-deb -c "$dev_package" | grep -q "usr/include/morvane/BakeEngine.h" || fail "no header"
dpkg-deb -c "$dev_package" | grep -q "usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/libmorvanebake.a" ||
  fail "the library is not in the multiarch folder"
lintian --allow-root --fail-on error,warning "$bin_package" "$dev_package" ||
  fail "lintian reports errors or warnings"

mkdir "$scratch/root"
dpkg-deb -x "$bin_package" "$scratch/root"
dpkg-deb -x "$dev_package" "$scratch/root"
cmake -DMORVANE="$scratch/root/usr/bin/morvane" -DSCRATCH="$scratch/maps" \
  -P "$source/tests/cli/FullSetDigests.cmake" || fail "the installed morvane --bake-all"

cmake -S "$source/tests/package/consumer" -B "$scratch/consumer" \
  -DCMAKE_PREFIX_PATH="$scratch/root/usr" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer"
echo "packages: $(basename "$bin_package") $(basename "$dev_package")"
