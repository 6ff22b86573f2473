#!/usr/bin/env bash
# Builds the Debian packages with CPack, unpacks them into a scratch root, runs the unpacked
# morvane --bake-all there and checks the four maps against their digests. Then a separate
# project builds against the unpacked development package.
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
dpkg-deb -c "$bin_package" | grep -q "usr/share/man/man1/morvane.1" || fail "no man page"
dpkg-deb -c "$dev_package" | grep -q "usr/include/morvane/BakeEngine.h" || fail "no header"

mkdir "$scratch/root"
dpkg-deb -x "$bin_package" "$scratch/root"
dpkg-deb -x "$dev_package" "$scratch/root"
mkdir "$scratch/maps"
"$scratch/root/usr/bin/morvane" --bake-all "$scratch/maps/set"
(cd "$scratch/maps" && sha256sum -c - <<'DIGESTS') || fail "digests differ"
0116794231e85574a77e8fbe565c710a9d0d5a4a484d342342d03e1c703d41f7  set_ao.ppm
79e55f5308a27d9c766749cef81ab42c6205dc779421ad3a70d621e074ac8519  set_normal.ppm
555ba42c6e9161d2d16304f32a01495bf3d7c3bca0e7921f9b545c8a0ce753e2  set_curvature.ppm
834b58f3f083478f48a18e2412f59d9a2cb0c5e1cabc1917d58360412ab6e73f  set_id.ppm
DIGESTS

cmake -S "$source/tests/package/consumer" -B "$scratch/consumer" \
  -DCMAKE_PREFIX_PATH="$scratch/root/usr" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer"
echo "packages: $(basename "$bin_package") $(basename "$dev_package")"
