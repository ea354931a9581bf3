#!/usr/bin/env bash
# build.sh DIR [cmake options...] [-- targets...]: configure and build one build tree. The options
# a tree was configured with (sorted) are kept in DIR/.halvix-options; a tree asked for with other options
# is configured afresh, so two commands never share a tree built with different options.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
opts=(); targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
  opts+=("$1"); shift
done
stamp="$dir/.halvix-options"
wanted=$(printf '%s\n' "${opts[@]}" | LC_ALL=C sort)
if [ ! -f "$dir/build.ninja" ] || [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$wanted" ]; then
  fresh=()
  if [ -f "$dir/CMakeCache.txt" ]; then
    echo "build: $dir was configured with other options; configuring it afresh"
    fresh=(--fresh)
  fi
  rm -f "$stamp"
  cmake "${fresh[@]}" -S "$root" -B "$dir" -G Ninja "${opts[@]}" >/dev/null
  printf '%s\n' "$wanted" >"$stamp"
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
