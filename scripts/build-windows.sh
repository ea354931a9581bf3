#!/usr/bin/env bash
# build-windows.sh [DIR] [-- targets...]: cross-builds the Windows tree (default build/windows)
# with MinGW-w64. Installs the cross compiler and Wine when missing, fetches Debian's gSOAP
# source package into DIR/deps (its runtime is built by our CMake for Windows) and builds
# GoogleTest from Debian's packaged sources. Without targets it builds halvix.exe and the
# Windows test programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build/windows}
[ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift
targets=("$@")
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

packages=(g++-mingw-w64-x86-64-posix wine64 googletest dpkg-dev cmake ninja-build
          nlohmann-json3-dev gsoap)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "build-windows: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# gSOAP's runtime sources: Debian's source package, unpacked once inside the build tree.
mkdir -p "$dir/deps"
dir=$(cd "$dir" && pwd)
gsoap_src=$(find "$dir/deps" -maxdepth 2 -path '*/gsoap-*/gsoap' -type d 2>/dev/null | head -n1 || true)
if [ -z "$gsoap_src" ] || [ ! -f "$gsoap_src/stdsoap2.cpp" ]; then
  srclist=/etc/apt/sources.list.d/halvix-deb-src.sources
  if [ ! -f "$srclist" ]; then
    # The same mirror and suites as the machine's first Debian source, for source packages.
    stanza=$(awk 'BEGIN{RS=""} /Types:.*deb/ && /debian/ {print; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    uris=$(sed -n 's/^URIs: *//p' <<<"$stanza")
    suites=$(sed -n 's/^Suites: *//p' <<<"$stanza")
    keyring=$(sed -n 's/^Signed-By: *//p' <<<"$stanza")
    : "${uris:=http://deb.debian.org/debian}" "${suites:=bookworm}"
    : "${keyring:=/usr/share/keyrings/debian-archive-keyring.gpg}"
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
      "$uris" "$suites" "$keyring" | $SUDO tee "$srclist" >/dev/null
    $SUDO apt-get update -qq
  fi
  echo "build-windows: fetching the gsoap source package into $dir/deps"
  (cd "$dir/deps" && apt-get source -qq gsoap >/dev/null 2>"$dir/deps/apt-source.log")
  gsoap_src=$(find "$dir/deps" -maxdepth 2 -path '*/gsoap-*/gsoap' -type d | head -n1)
fi

# The Linux test tree's optimisation (-O2; GCC 12 at -O3 warns falsely inside std::string).
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DHALVIX_BENCH=OFF -DHALVIX_UNITY=ON \
  -DHALVIX_GSOAP_SOURCE_DIR="$gsoap_src" -DHALVIX_GTEST_SOURCE_DIR=/usr/src/googletest >/dev/null
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(ninja -C "$dir" -t targets all 2>/dev/null | grep -v '^cmake_' | sed -n 's/^\([a-z_]*_tests\|halvix\|vdscan\|vdsvc\): phony$/\1/p'))
fi
echo "build-windows: $dir ${targets[*]}"
cmake --build "$dir" -j 2 --target "${targets[@]}"
