#!/usr/bin/env bash
# Every file of the full set must be readable by an independent PPM reader (netpbm's pamfile)
# as P6, 256 x 256, maxval 255.
# Usage: ppm_reader_test.sh MORVANE
set -u
morvane=$1
command -v pamfile >/dev/null || { echo "FAIL: pamfile (netpbm) is not installed"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$morvane" --bake-all "$scratch/set" >/dev/null || { echo "FAIL: --bake-all failed"; exit 1; }
status=0
for name in ao normal curvature id; do
  file="$scratch/set_$name.ppm"
  description=$(pamfile "$file" 2>&1)
  echo "$description"
  case "$description" in
    *"PPM raw, 256 by 256  maxval 255"*) ;;
    *) echo "FAIL: $name is not a raw 256 x 256 PPM with maxval 255"; status=1 ;;
  esac
done
exit $status
