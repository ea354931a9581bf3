#!/usr/bin/env bash
# build.sh DIR [cmake options...] [-- targets...]: configure (once) and build one build tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
opts=(); targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
  opts+=("$1"); shift
done
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "${opts[@]}" >/dev/null
fi
# Targets a tree does not define (a test folder without sources yet) are skipped.
if [ ${#targets[@]} -gt 0 ]; then
  known=$(ninja -C "$dir" -t targets all 2>/dev/null | cut -d: -f1)
  kept=()
  for t in "${targets[@]}"; do grep -qx "$t" <<<"$known" && kept+=("$t"); done
  targets=("${kept[@]}")
fi
echo "build: $dir ${targets[*]:-(all)}"
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
else
  cmake --build "$dir" -j "$(nproc)"
fi
