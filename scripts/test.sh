#!/usr/bin/env bash
# Runs every test: the layers' include check (scripts/check-layers.sh), the threaded suites
# under ThreadSanitizer, the whole suite under AddressSanitizer+UndefinedBehaviorSanitizer, the
# whole suite in a normal build (its CTest summary), then the Windows tree under Wine
# (scripts/test-windows.sh, its summary line last).
# Exits non-zero when any run failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" || exit 1
out=${HALVIX_BUILD_ROOT:-$root/build}
jobs=$(nproc)
status=0
"$root/scripts/check-layers.sh" || status=1

run() { # name, ctest args...
  local dir=$1; shift
  echo "== tests: $dir =="
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300 "$@") || status=1
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

# Sanitizer trees: line tables only, to keep the build short. Every tree
# compiles in unity batches (HALVIX_UNITY), which cuts the compile time of a clean checkout.
# ThreadSanitizer keeps -O1, without which its runs slow down several times; the address tree
# compiles without optimisation, which halves its build and costs its runs little.
san_opts=(-DCMAKE_BUILD_TYPE=Debug -DHALVIX_BENCH=OFF -DHALVIX_UNITY=ON)
"$root/scripts/build.sh" "$out/tsan" -DHALVIX_SANITIZE=thread "${san_opts[@]}" "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" \
  -- base_tests log_tests net_tests framework_tests integration_tests vde_tests || exit 1
run "$out/tsan" -L threaded
"$root/scripts/build.sh" "$out/asan" -DHALVIX_SANITIZE=address "${san_opts[@]}" "-DCMAKE_CXX_FLAGS_DEBUG=-O0 -g1" || exit 1
run "$out/asan"
# The normal tree: the usual optimisation without debug information, which the tests do not need.
"$root/scripts/build.sh" "$out/release" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" -DHALVIX_UNITY=ON || exit 1
run "$out/release"
# The Windows tree, cross-built and run under Wine (about 4 minutes from clean here).
echo "== tests: Windows build under Wine =="
HALVIX_LINUX_TREE="$out/release" "$root/scripts/test-windows.sh" "$out/windows" || status=1
exit $status
