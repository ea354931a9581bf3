#!/usr/bin/env bash
# test-windows.sh [DIR]: cross-builds the Windows tree (default build/windows) with
# build-windows.sh, then runs its test programs under Wine, one after the other, in a Wine
# prefix inside DIR. One wineserver is kept alive for the whole run and stopped at the end;
# Wine's debugger is disabled, so a crashing test fails instead of waiting for a user. Then
# halvix.exe, vdscan.exe and vdsvc.exe run against the Linux programs
# (scripts/test-windows-programs.sh; the Linux tree is $HALVIX_LINUX_TREE, default build/release).
# The Wine part runs in a private network namespace when it can (root and unshare): loopback
# plus one veth pair for the adapter-list tests and the adapters the WS-Discovery check makes
# there; the machine's network is untouched.
# Exits non-zero when the build or any test program fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build/windows}
linux=${HALVIX_LINUX_TREE:-$root/build/release}
if [ "${HALVIX_WINE_PRIVATE_NETWORK:-}" != 1 ]; then
  "$root/scripts/build-windows.sh" "$dir" || exit 1
  # The Linux programs the Windows ones are checked against (built in the Linux tree when missing).
  if [ ! -x "$linux/tools/halvixctl" ] || [ ! -x "$linux/tools/vdscan" ] || [ ! -x "$linux/sim/vdsim" ] ||
     [ ! -x "$linux/sim/vdsimctl" ]; then
    "$root/scripts/build.sh" "$linux" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" -DHALVIX_UNITY=ON -- \
      halvixctl vdscan vdsim vdsimctl || { echo "test-windows: cannot build the Linux programs in $linux"; exit 1; }
  fi
  if [ "$(id -u)" = 0 ] && unshare -n -m true 2>/dev/null; then
    # Its own sysfs, so that /sys/class/net shows the namespace's adapters to the Linux programs.
    # One veth pair gives the adapter-list tests an adapter with a MAC address to find (without
    # it they have nothing to list and skip).
    HALVIX_WINE_PRIVATE_NETWORK=1 HALVIX_LINUX_TREE="$linux" exec unshare -n -m sh -c \
      'mount -t sysfs sysfs /sys && ip link set lo up &&
       { { ip link add hxw0 type veth peer name hxw1 && ip link set hxw0 up && ip link set hxw1 up &&
           ip addr add 192.0.2.10/24 dev hxw0; } ||
         echo "test-windows: no veth adapter in the private network: the adapter-list tests skip"; } &&
       exec "$0" "$1"' "$0" "$dir"
  fi
  echo "test-windows: no private network namespace here (needs root and unshare): the machine's network is used"
fi
dir=$(cd "$dir" && pwd)

export WINEPREFIX="$dir/wine-prefix"
export WINEARCH=win64
export WINEDEBUG=-all
# winedbg off: a crash ends the program with an error; no Mono or Gecko installer dialogs
# when the prefix is created.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
limit=${HALVIX_WINE_TEST_TIMEOUT:-600}

started=$(date +%s)
echo "test-windows: Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineserver -p || { echo "test-windows: wineserver did not start"; exit 1; }
trap 'wineserver -k 2>/dev/null; wineserver -w 2>/dev/null' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: creating the Wine prefix"
  timeout "$limit" wine wineboot --init >/dev/null 2>&1 || { echo "test-windows: wineboot failed"; exit 1; }
fi

status=0; programs=0; failed=(); cases=0
mapfile -t exes < <(find "$dir/tests" -maxdepth 1 -name '*_tests.exe' | LC_ALL=C sort)
if [ ${#exes[@]} -eq 0 ]; then
  echo "test-windows: no test programs in $dir/tests"
  exit 1
fi
for exe in "${exes[@]}"; do
  name=$(basename "$exe" .exe)
  log="$dir/tests/$name.wine.log"
  echo "test-windows: $name ..."
  t0=$(date +%s)
  (cd "$dir/tests" && timeout "$limit" wine "$exe" --gtest_color=no) >"$log" 2>&1
  rc=$?
  t1=$(date +%s)
  programs=$((programs + 1))
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -n1)
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$log" | tail -n1)
  cases=$((cases + ${passed:-0}))
  # A program that exits 0 without GoogleTest's summary (it crashed in a way Wine hid) fails too.
  if [ $rc -eq 0 ] && [ -n "$passed" ] && ! grep -q '^\[  FAILED  \]' "$log"; then
    echo "test-windows: $name passed: ${passed} tests${skipped:+ ($skipped skipped)} in $((t1 - t0)) s"
  else
    [ $rc -eq 124 ] && echo "test-windows: $name ran out of time ($limit s)"
    echo "test-windows: $name FAILED (exit $rc) in $((t1 - t0)) s; its output:"
    grep -E -A6 'Failure$|^\[  FAILED  \]' "$log" | head -n 60
    echo "  (whole output: $log)"
    failed+=("$name"); status=1
  fi
done
# The programs themselves against the Linux ones.
"$root/scripts/test-windows-programs.sh" "$dir" "$linux" || { failed+=("programs"); status=1; }

echo "test-windows: $programs programs, $cases tests passed, ${#failed[@]} programs failed${failed[*]:+: ${failed[*]}}" \
     "($(( $(date +%s) - started )) s under Wine)"
exit $status
