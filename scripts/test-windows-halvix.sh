#!/usr/bin/env bash
# test-windows-halvix.sh WINDIR HALVIXCTL: runs WINDIR/app/halvix.exe under Wine (inside the Wine
# environment test-windows.sh sets up) against the Linux halvixctl over loopback: without an
# argument it must end with exit code 1 after the two console lines; connected, it must announce
# itself, answer getSettings with {}, send status reports once asked to, and end with exit code 0
# on "quit". Prints one line per check; exits non-zero when any fails.
set -uo pipefail
dir=$1
ctl=$2
exe="$dir/app/halvix.exe"
address=127.0.66.6 # a loopback address of its own, so no other GUI on 6666 is in the way
limit=60
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0; passed=0
check() { # name, command...: the command's success is the check's
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "test-windows: halvix.exe: $name: ok"
  else failed=$((failed + 1)); echo "test-windows: halvix.exe: $name: FAILED"; fi
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
check "no argument: exit code 1 after the two lines" no_argument

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
check "announcement and getSettings gives {}" announce_and_settings
status_reports() {
  ctl_run "$work/interval" call setStatusReportInterval '{"intervalInMs":200}' &&
    ctl_run "$work/watch" watch --count 2 &&
    [ "$(grep -c '"method":"newStatusReport"' "$work/watch")" -eq 2 ] ||
    { echo "  got:"; cat "$work/watch"; return 1; }
}
check "watch shows status reports" status_reports
quit_ends_it() {
  ctl_run "$work/quit" quit || return 1
  wait "$brick"
  local rc=$?
  [ $rc -eq 0 ] || { echo "  halvix.exe ended with exit code $rc:"; tr -d '\r' <"$work/halvix.out"; return 1; }
}
check "quit ends it with exit code 0" quit_ends_it
kill "$brick" 2>/dev/null
echo "test-windows: halvix.exe under Wine against halvixctl: $passed checks passed, $failed failed"
[ $failed -eq 0 ]
