#!/usr/bin/env bash
# The main job: build, start the hardware simulator on the reference rig in a private run
# directory, let the console controller listen for Halvix, start Halvix, print the inventory
# Halvix reports ("scanDevices"), then stop everything (Halvix through "quit", the simulator
# through SIGTERM).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build=${HALVIX_BUILD_ROOT:-$root/build}/release
# The test command's options for the same tree, so that the demo and the tests share one build.
"$root/scripts/build.sh" "$build" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" -DHALVIX_UNITY=ON

address=${HALVIX_DEMO_ADDRESS:-127.0.0.1}
run_dir=$(mktemp -d /tmp/halvix-demo.XXXXXX)
export VDAPI_RUN_DIR=$run_dir
sim_pid=""; halvix_pid=""
cleanup() {
  [ -n "$halvix_pid" ] && kill "$halvix_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  rm -rf "$run_dir" "$run_dir.sim.log" "$run_dir.halvix.log"
}
trap cleanup EXIT

echo "demo: starting the hardware simulator (rig sim/rigs/reference.json, run dir $run_dir)"
"$build/sim/vdsim" --rig "$root/sim/rigs/reference.json" --run-dir "$run_dir" >"$run_dir.sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do
  grep -q ready "$run_dir.sim.log" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$run_dir.sim.log"; echo "demo: vdsim failed to start" >&2; exit 1; }
  sleep 0.1
done
grep -q ready "$run_dir.sim.log" || { echo "demo: vdsim did not report ready within 10 s" >&2; exit 1; }

echo "demo: starting halvixctl (listening on $address:6666) and halvix; the scan probes every port"
"$build/tools/halvixctl" --address "$address" --timeout 300 scan --quit &
ctl_pid=$!
"$build/app/halvix" --server_address "$address" --local_address "$address" >"$run_dir.halvix.log" 2>&1 &
halvix_pid=$!
status=0
wait "$ctl_pid" || status=$?
# Without a successful job halvixctl sends no "quit": Halvix is stopped here instead.
[ "$status" -ne 0 ] && kill "$halvix_pid" 2>/dev/null || true
if wait "$halvix_pid" && [ "$status" -eq 0 ]; then
  halvix_pid=""
  echo "demo: halvix quit with exit code 0; its log:"
  cat "$run_dir.halvix.log"
else
  halvix_pid=""
  echo "demo: the scan or halvix failed; halvix's log:" >&2
  cat "$run_dir.halvix.log" >&2
  status=1
fi
rm -f "$run_dir.sim.log" "$run_dir.halvix.log"
exit $status
