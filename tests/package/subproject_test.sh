#!/usr/bin/env bash
# Morvane as a guest in another project's build, taken in with add_subdirectory and with
# FetchContent from this checkout: the host builds only the library of Morvane, its install
# tree and its package hold only its own files, and its own target keeps its own standard.
# Usage: subproject_test.sh SOURCE_DIR
set -eu
source=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL ($how): $*"; exit 1; }

for how in add_subdirectory FetchContent; do
  build=$scratch/$how
  cmake -S "$source/tests/package/host" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DHOST_TAKES_MORVANE="$how" -DMORVANE_SOURCE="$source" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
  cmake --build "$build" --parallel "$(nproc)" >/dev/null
  "$build/host" >/dev/null || fail "the host's program baked wrong pixels"

  # Only the library of Morvane is built.
  [ -n "$(find "$build" -name 'libmorvanebake.*')" ] || fail "no Morvane library"
  for unwanted in morvane morvane.1.gz changelog.gz 'libmorvane_gui*' 'libmorvane_app*'; do
    [ -z "$(find "$build" -name "$unwanted" -type f)" ] || fail "Morvane also built $unwanted"
  done
  grep -q "CPACK_DEBIAN" "$build/CPackConfig.cmake" && fail "Morvane's packaging in the host's"
  grep -qE "^CMAKE_INSTALL_(BIN|LIB|INCLUDE|DATA|MAN)DIR" "$build/CMakeCache.txt" && fail "Morvane set the host's install folders"

  # The host's target keeps C++17; Morvane's own sources are C++20.
  host_command=$(grep -B1 '"file": ".*consumer/main.cpp"' "$build/compile_commands.json")
  [[ $host_command == *-std=c++17* ]] || fail "the host's target lost its standard"
  grep -q -- '-std=c++20.*AmbientOcclusion.cpp' "$build/compile_commands.json" ||
    fail "Morvane's sources are not built as C++20"

  # Its install tree and its package hold only its own files.
  cmake --install "$build" --prefix "$scratch/prefix-$how" >/dev/null
  installed=$(cd "$scratch/prefix-$how" && find . -type f | sort | tr '\n' ' ')
  [ "$installed" = "./bin/host " ] || fail "installed: $installed"
  (cd "$build" && cpack >/dev/null) || fail "cpack"
  packaged=$(tar -tzf "$build/host.tar.gz" | grep -v '/$' | sort | tr '\n' ' ')
  [ "$packaged" = "host/bin/host " ] || fail "packaged: $packaged"
  echo "$how: only the library built, only the host's files installed and packaged"
done
