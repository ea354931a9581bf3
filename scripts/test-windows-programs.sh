#!/usr/bin/env bash
# test-windows-programs.sh WINDIR LINUXDIR: runs the Windows programs of WINDIR under Wine (inside
# the Wine environment test-windows.sh sets up) against the Linux programs of LINUXDIR:
# - halvix.exe against halvixctl over loopback: without an argument it must end with exit code 1
#   after the two console lines; connected, it must announce itself, answer getSettings with {},
#   send status reports once asked to, and end with exit code 0 on "quit";
# - vdscan.exe --vde against vdsvc.exe (the device service's pipe, mutex and list under Wine) and
#   the Ethernet devices of the Linux vdsim: the same ports as the Linux vdscan --vde lists;
# - vdscan.exe --vde finding those devices by WS-Discovery when the service's list is unusable
#   (in the private network test-windows.sh runs this in).
# Prints one line per check; exits non-zero when any fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
linux=$2
ctl="$linux/tools/halvixctl"
exe="$dir/app/halvix.exe"
address=127.0.66.6 # a loopback address of its own, so no other GUI on 6666 is in the way
limit=60
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0; passed=0
check() { # name, command...: the command's success is the check's
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "test-windows: $name: ok"
  else failed=$((failed + 1)); echo "test-windows: $name: FAILED"; fi
}
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z'

no_argument() {
  timeout "$limit" wine "$exe" >"$work/noarg.out" 2>"$work/noarg.err"
  local rc=$?
  tr -d '\r' <"$work/noarg.out" >"$work/noarg.txt"
  [ $rc -eq 1 ] && [ "$(wc -l <"$work/noarg.txt")" -eq 2 ] &&
    sed -n 1p "$work/noarg.txt" | grep -Eq "^$stamp \| Error \| Halvix \| Server address argument is missing$" &&
    sed -n 2p "$work/noarg.txt" | grep -Eq "^$stamp \| Info \| Halvix \| Stopping application\.\.\.$" ||
    { echo "  exit code $rc, output:"; cat "$work/noarg.txt" "$work/noarg.err"; return 1; }
}
check "halvix.exe: no argument: exit code 1 after the two lines" no_argument

timeout $((limit * 4)) wine "$exe" --server_address "$address" >"$work/halvix.out" 2>&1 &
brick=$!
ctl_run() { # output file, halvixctl job...
  local out=$1; shift
  "$ctl" --address "$address" --timeout "$limit" "$@" >"$out" 2>"$out.err" ||
    { echo "  halvixctl $* failed:"; cat "$out" "$out.err"; return 1; }
}
announce_and_settings() {
  ctl_run "$work/settings" call getSettings &&
    grep -q '"appType":"Halvix"' "$work/settings.err" && grep -q 'halvix.exe"' "$work/settings.err" &&
    [ "$(tail -n1 "$work/settings")" = "{}" ] ||
    { echo "  got:"; cat "$work/settings" "$work/settings.err"; return 1; }
}
check "halvix.exe: announcement and getSettings gives {}" announce_and_settings
status_reports() {
  ctl_run "$work/interval" call setStatusReportInterval '{"intervalInMs":200}' &&
    ctl_run "$work/watch" watch --count 2 &&
    [ "$(grep -c '"method":"newStatusReport"' "$work/watch")" -eq 2 ] ||
    { echo "  got:"; cat "$work/watch"; return 1; }
}
check "halvix.exe: watch shows status reports" status_reports
quit_ends_it() {
  ctl_run "$work/quit" quit || return 1
  wait "$brick"
  local rc=$?
  [ $rc -eq 0 ] || { echo "  halvix.exe ended with exit code $rc:"; tr -d '\r' <"$work/halvix.out"; return 1; }
}
check "halvix.exe: quit ends it with exit code 0" quit_ends_it
kill "$brick" 2>/dev/null

# The Ethernet-attached devices of a rig: served by the Linux vdsim (SOAP, WS-Discovery) and, for
# the Windows side, by vdsvc.exe (pipe, mutex, list); both scans must list the same ports.
rig="$root/tests/integration/rigs/ethernet_only.json"
vde_scan() {
  mkdir -p "$work/run"
  : >"$work/vdsim.out"; : >"$work/vdsvc.out"
  "$linux/sim/vdsim" --rig "$rig" --run-dir "$work/run" >"$work/vdsim.out" 2>&1 &
  local sim=$!
  timeout $((limit * 2)) wine "$dir/sim/vdsvc.exe" --rig "$(winepath -w "$rig" 2>/dev/null)" >"$work/vdsvc.out" 2>&1 &
  local svc=$!
  local ok=1 i
  for i in $(seq 1 $((limit * 10))); do
    grep -q ready "$work/vdsim.out" && grep -q ready "$work/vdsvc.out" && break
    kill -0 $sim 2>/dev/null && kill -0 $svc 2>/dev/null || break
    sleep 0.1
  done
  if grep -q ready "$work/vdsim.out" && grep -q ready "$work/vdsvc.out"; then
    VDAPI_RUN_DIR="$work/run" "$linux/tools/vdscan" --vde >"$work/linux.txt" 2>"$work/linux.err" &&
      timeout "$limit" wine "$dir/tools/vdscan.exe" --vde >"$work/windows.raw" 2>"$work/windows.err" &&
      tr -d '\r' <"$work/windows.raw" >"$work/windows.txt" &&
      [ "$(tail -n1 "$work/windows.txt")" = "6 ports: VDAPI_OK" ] && cmp -s "$work/linux.txt" "$work/windows.txt" && ok=0
    [ $ok -eq 0 ] || { echo "  Linux vdscan --vde:"; cat "$work/linux.txt" "$work/linux.err";
                       echo "  vdscan.exe --vde:"; cat "$work/windows.txt" "$work/windows.err"; }
  else
    echo "  the services did not start:"; cat "$work/vdsim.out" "$work/vdsvc.out"
  fi
  kill $svc $sim 2>/dev/null; wait $svc $sim 2>/dev/null
  return $ok
}
check "vdscan.exe --vde lists the Ethernet devices as vdscan --vde does" vde_scan

# WS-Discovery under Wine: the devices of a rig sit in a namespace of their own behind two veth
# pairs (adapters h1 and h2 here, bridged there, as the Linux Ethernet-device tests build them);
# vdsvc.exe publishes its list with a version the client does not know, so vdscan.exe finds the
# devices by probing on each adapter, then attaches them over SOAP. The simulator must have
# received its probes, and the ports must be those the Linux vdscan lists from the service (in
# the order the devices answered, which the network decides: compared sorted).
discovery_rig="$root/tests/devices/vde/rigs/ethernet.json"
vde_discovery() {
  local holder ok=1 i ours
  unshare -n sleep 600 &
  holder=$!
  ours=$(readlink /proc/self/ns/net)
  for i in $(seq 1 100); do
    [ "$(readlink /proc/$holder/ns/net 2>/dev/null)" != "$ours" ] && break
    sleep 0.05
  done
  if ! sh "$root/tests/support/device-network.sh" $holder >"$work/net.out" 2>&1; then
    echo "  the devices' network could not be built:"; cat "$work/net.out"
    kill $holder; wait $holder 2>/dev/null; return 1
  fi
  mkdir -p "$work/drun"
  : >"$work/dsim.out"; : >"$work/dsvc.out"
  nsenter -t $holder -n "$linux/sim/vdsim" --rig "$discovery_rig" --run-dir "$work/drun" >"$work/dsim.out" 2>&1 &
  local sim=$!
  timeout $((limit * 2)) wine "$dir/sim/vdsvc.exe" --rig "$(winepath -w "$discovery_rig" 2>/dev/null)" \
    --list-version 2 >"$work/dsvc.out" 2>&1 &
  local svc=$!
  for i in $(seq 1 $((limit * 10))); do
    grep -q ready "$work/dsim.out" && grep -q ready "$work/dsvc.out" && break
    kill -0 $sim 2>/dev/null && kill -0 $svc 2>/dev/null || break
    sleep 0.1
  done
  local simctl=("$linux/sim/vdsimctl" --run-dir "$work/drun")
  if grep -q ready "$work/dsim.out" && grep -q ready "$work/dsvc.out"; then
    VDAPI_RUN_DIR="$work/drun" "$linux/tools/vdscan" --vde >"$work/dlinux.txt" 2>"$work/dlinux.err" &&
      "${simctl[@]}" vde probes reset >/dev/null &&
      timeout "$limit" wine "$dir/tools/vdscan.exe" --vde >"$work/dwindows.raw" 2>"$work/dwindows.err" &&
      tr -d '\r' <"$work/dwindows.raw" >"$work/dwindows.txt" &&
      "${simctl[@]}" vde probes >"$work/probes" &&
      grep -q 'unknown layout version' "$work/dwindows.err" &&
      grep -Eq '^ok [1-9]' "$work/probes" &&
      [ "$(tail -n1 "$work/dwindows.txt")" = "6 ports: VDAPI_OK" ] &&
      cmp -s <(sort "$work/dlinux.txt") <(sort "$work/dwindows.txt") && ok=0
    [ $ok -eq 0 ] || { echo "  Linux vdscan --vde:"; cat "$work/dlinux.txt" "$work/dlinux.err";
                       echo "  vdscan.exe --vde:"; cat "$work/dwindows.txt" "$work/dwindows.err";
                       echo "  probes received:"; cat "$work/probes" 2>/dev/null; }
  else
    echo "  the services did not start:"; cat "$work/dsim.out" "$work/dsvc.out"
  fi
  kill $svc $sim 2>/dev/null; wait $svc $sim 2>/dev/null
  kill $holder 2>/dev/null; wait $holder 2>/dev/null
  return $ok
}
if [ "${HALVIX_WINE_PRIVATE_NETWORK:-}" = 1 ]; then
  check "vdscan.exe --vde finds the Ethernet devices by WS-Discovery when the service's list is unusable" vde_discovery
else
  echo "test-windows: WS-Discovery under Wine: skipped (needs the private network namespace)"
fi
echo "test-windows: Windows programs under Wine against the Linux ones: $passed checks passed, $failed failed"
[ $failed -eq 0 ]
