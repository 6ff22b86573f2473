#!/usr/bin/env bash
# The Windows zip as a user gets it: cpack -G ZIP on the Windows build gives one folder with
# bin/morvane.exe, the static library for MinGW, the header, the CMake package, LICENSE,
# README.md and the documents it links to, and nothing of a Debian layout. The command from the zip bakes the known full set,
# and a CMake project built with MinGW finds the library in the unpacked folder.
# Usage: windows_zip_test.sh BUILD_DIR SOURCE_DIR EMULATOR
set -eu
build=$1 source=$2 emulator=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$scratch/package" >/dev/null
zips=("$scratch"/package/*.zip)
[ ${#zips[@]} = 1 ] && [ -f "${zips[0]}" ] || fail "cpack made no single zip"
zip=${zips[0]}
echo "$(basename "$zip"):"
listing=$(zipinfo -1 "$zip" | grep -v '/$')
echo "$listing"
top=$(basename "$zip" .zip)
for file in bin/morvane.exe lib/libmorvanebake.a include/morvane/BakeEngine.h \
    lib/cmake/Morvane/MorvaneConfig.cmake LICENSE README.md docs/windows.md docs/map-ao.png; do
  grep -qx "$top/$file" <<<"$listing" || fail "the zip has no $file"
done
if grep -Eq "^$top/(usr|share)/|\.gz$|morvane\.1" <<<"$listing"; then
  fail "the zip carries a Debian layout or a man page"
fi

unzip -q "$zip" -d "$scratch/unpacked"
folder=$scratch/unpacked/$top
cmake -DMORVANE="$folder/bin/morvane.exe" -DEMULATOR="$emulator" -DSCRATCH="$scratch/maps" \
  -P "$source/tests/cli/FullSetDigests.cmake" >/dev/null || fail "the zip's morvane.exe --bake-all"

cmake -S "$source/tests/package/consumer" -B "$scratch/consumer" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$source/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DCMAKE_PREFIX_PATH="$folder" -DCMAKE_FIND_ROOT_PATH="$folder" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$emulator" "$scratch/consumer/consumer.exe" | tr -d '\r' | grep -qx "consumer: known pixels match" ||
  fail "a MinGW project could not use the zip's library"
echo "the zip is laid out for Windows, its command and its library work"
