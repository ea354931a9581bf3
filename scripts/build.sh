#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configure (once) and build one build tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
fi
echo "build: $dir"
cmake --build "$dir" -j "$(nproc)"
