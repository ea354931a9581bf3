#!/usr/bin/env bash
# test-windows-programs.sh WINDIR LINUXDIR: runs the Windows programs of WINDIR under Wine (inside
# the Wine environment test-windows.sh sets up) against the Linux programs of LINUXDIR:
# - halvix.exe against halvixctl over loopback: without an argument it must end with exit code 1
#   after the two console lines; connected, it must announce itself, answer getSettings with {},
#   send status reports once asked to, and end with exit code 0 on "quit";
# - vdscan.exe --vde against vdsvc.exe (the device service's pipe, mutex and list under Wine) and
#   the Ethernet devices of the Linux vdsim: the same ports as the Linux vdscan --vde lists.
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
echo "test-windows: Windows programs under Wine against the Linux ones: $passed checks passed, $failed failed"
[ $failed -eq 0 ]
