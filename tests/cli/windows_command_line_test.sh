#!/usr/bin/env bash
# The Windows command line under Wine, as a user types it: names in any script reach the
# program whole and come back in the result line as UTF-8, a link is followed and stays a link,
# NUL swallows the map, a missing folder is reported as missing, and a console shows the
# characters of the result line.
# Usage: windows_command_line_test.sh EMULATOR MORVANE_EXE KNOWN_DIGESTS_CMAKE
set -u
emulator=$1 morvane=$(realpath "$2") digests=$(realpath "$3")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
status=0
fail() { echo "FAIL: $*"; status=1; }
digest_of() { sed -n "s/^set(MORVANE_DIGEST_$1 \"\\(.*\\)\")$/\\1/p" "$digests"; }
# Runs morvane; its standard output, standard error and status land in out, err and code.
run() { "$emulator" "$morvane" "$@" >out 2>err; code=$?; }
expect() {  # expect FILE TEXT: the file holds exactly TEXT, line ends as Windows writes them
  local wanted
  wanted=$(printf '%s\r\n' "$2")
  [ "$(cat "$1")" = "$wanted" ] || fail "$1 is '$(cat "$1")', expected '$2'"
}
check_map() {  # check_map FILE KIND
  local actual
  actual=$(sha256sum "$1" 2>/dev/null | cut -d' ' -f1)
  [ "$actual" = "$(digest_of "$2")" ] || fail "$1 is not the $2 map (${actual:-missing})"
}

for name in Текстура.ppm 法線.ppm 😀.ppm; do
  run --bake-ao "$name"
  [ "$code" = 0 ] || fail "--bake-ao $name exited $code: $(cat err)"
  expect out "SUCCESS: Baked AO map to $name"
  check_map "$name" ao
done

mkdir карты
run --bake-all карты/набор
expect out "SUCCESS: Baked complete 4-channel PBR texture set to карты/набор_*.ppm"
for kind in ao normal curvature id; do
  check_map "карты/набор_$kind.ppm" "$kind"
done

run --bake-ao нет/карта.ppm
[ "$code" = 2 ] || fail "a missing folder exited $code"
expect err "morvane: cannot write 'нет/карта.ppm': No such file or directory"

echo old >real.ppm
ln -s real.ppm link.ppm
run --bake-normal link.ppm
[ "$code" = 0 ] || fail "--bake-normal link.ppm exited $code: $(cat err)"
[ -L link.ppm ] || fail "link.ppm is no longer a link"
check_map real.ppm normal

before=$(ls -A)
run --bake-curv NUL
[ "$code" = 0 ] || fail "--bake-curv NUL exited $code: $(cat err)"
expect out "SUCCESS: Baked curvature map to NUL"
[ "$(ls -A)" = "$before" ] || fail "writing NUL left $(ls -A)"

# In a console the line shows as its characters: under a pseudo-terminal Wine gives the
# program a console, which shows what reaches it as UTF-8 on the terminal.
if command -v script >/dev/null; then
  LANG=C.UTF-8 script -qec "$(printf '%q ' "$emulator" "$morvane" --bake-ao консоль.ppm)" \
    /dev/null >console
  shown=$(sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' console | tr -d '\r')
  [ "$shown" = "SUCCESS: Baked AO map to консоль.ppm" ] || fail "the console showed '$shown'"
else
  echo "SKIPPED: the console case needs script (util-linux) for a pseudo-terminal"
fi

[ "$status" = 0 ] && echo "all cases passed"
exit $status
