#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then uses it as other projects would: a CMake
# project with find_package(Morvane), a plain C++17 compiler through pkg-config, and a shared
# plugin that links the static library.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/morvane share/man/man1/morvane.1.gz include/morvane/BakeEngine.h; do
  [ -f "$prefix/$file" ] || fail "$file was not installed"
done
"$prefix/bin/morvane" --help | grep -q -- "--bake-all" || fail "installed morvane"
targets=$(find "$prefix" -name MorvaneTargets.cmake)
grep -q "cxx_std_17" "$targets" || fail "the exported target does not ask for C++17 alone"

cmake -S "$source/tests/package/consumer" -B "$scratch/consumer" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer"

# Plain compilers: the .pc file, with the public header compiled as C++17.
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name morvane.pc)")
# shellcheck disable=SC2046
g++ -std=c++17 -Wall -Wextra -Wpedantic -Werror -o "$scratch/pkg-consumer" \
  "$source/tests/package/consumer/main.cpp" $(pkg-config --cflags --libs morvane) ||
  fail "a C++17 consumer could not build through pkg-config"
"$scratch/pkg-consumer"

# shellcheck disable=SC2046
g++ -std=c++17 -shared -fPIC -o "$scratch/plugin.so" "$source/tests/package/plugin/plugin.cpp" \
  $(pkg-config --cflags --libs morvane) || fail "a shared plugin could not link the static library"
python3 -c "import ctypes, sys; sys.exit(ctypes.CDLL(sys.argv[1]).morvane_plugin_check() != 1)" \
  "$scratch/plugin.so" || fail "the plugin baked wrong pixels"
echo "installed tree used through CMake, pkg-config and a shared plugin"
