#!/bin/bash
# Times vdscan (two-call port scans) over a rig with Ethernet devices, through the device
# service's list and through the program's own discovery, in a private network: host adapters
# h1/h2 (198.51.100.1/.2) bridged to a second namespace holding the devices and the simulator.
# Then, when halvix and halvixctl are built, one whole "scanDevices" (port availability probes
# included) with and without the Ethernet devices, timed from the request to the reply.
# Usage (as root): bench/vde_scan_time.sh BUILD_DIR [RIG] [REPEAT]
set -e
if [ "$1" != "--inside" ]; then exec unshare -n "$0" --inside "$@"; fi
shift
B=$(realpath "${1:?build directory}")
RIG=$(realpath "${2:-$(dirname "$0")/../sim/rigs/reference.json}")
REPEAT=${3:-5}
R=$(mktemp -d)
# The reference rig serves its Ethernet devices on loopback; here they sit on the bridge instead.
sed 's/"127\.0\.0\.21"/"198.51.100.21"/; s/"127\.0\.0\.22"/"198.51.100.22"/' "$RIG" > "$R/rig.json"
RIG=$R/rig.json
trap 'kill $SP $HP 2>/dev/null; exec 9>&-; rm -rf "$R"' EXIT
mkfifo "$R/hold"
unshare -n cat "$R/hold" > /dev/null &
HOLD=$!
exec 9>"$R/hold"
while [ "$(readlink /proc/$HOLD/ns/net)" = "$(readlink /proc/self/ns/net)" ]; do :; done
ip link set lo up
ip link add d1 type veth peer name h1; ip link add d2 type veth peer name h2
ip link set d1 netns $HOLD; ip link set d2 netns $HOLD
ip addr add 198.51.100.1/24 dev h1; ip addr add 198.51.100.2/24 dev h2
ip link set h1 up; ip link set h2 up
nsenter -t $HOLD -n sh -ec 'ip link set lo up; ip link add br0 type bridge mcast_snooping 0
  ip link set d1 master br0; ip link set d2 master br0; ip link set d1 up; ip link set d2 up; ip link set br0 up
  ip addr add 198.51.100.21/24 dev br0; ip addr add 198.51.100.22/24 dev br0'
nsenter -t $HOLD -n "$B/sim/vdsim" --rig "$RIG" --run-dir "$R/run" > "$R/sim.log" 2>&1 &
SP=$!
until grep -q ready "$R/sim.log"; do kill -0 $SP; sleep 0.1; done
export VDAPI_RUN_DIR=$R/run
echo "without Ethernet devices:          $("$B/tools/vdscan" --repeat "$REPEAT" 2>/dev/null)"
echo "Ethernet devices via service list: $("$B/tools/vdscan" --vde --repeat "$REPEAT" 2>/dev/null)"
"$B/sim/vdsimctl" --run-dir "$R/run" list version 2 > /dev/null # the list becomes unusable
echo "Ethernet devices via discovery:    $("$B/tools/vdscan" --vde --repeat "$REPEAT" 2>/dev/null)"
[ -x "$B/app/halvix" ] && [ -x "$B/tools/halvixctl" ] || exit 0
"$B/sim/vdsimctl" --run-dir "$R/run" list restore > /dev/null
"$B/app/halvix" --server_address 127.0.0.1 --local_address 127.0.0.1 > "$R/halvix.log" 2>&1 &
HP=$!
# Milliseconds from sending "scanDevices" to the report line, as halvixctl prints them.
report_ms() {
  "$B/tools/halvixctl" --address 127.0.0.1 --timeout 600 scan "$@" --json 2>&1 | {
    while IFS= read -r line; do
      now=$(date +%s%N)
      case "$line" in "waiting for the reply to scanDevices"*) s=$now ;; "["*) e=$now; n=$(grep -o '"isAvailable"' <<< "$line" | wc -l) ;; esac
    done
    echo "$(( (e - s) / 1000000 )) ms, $n entries"
  }
}
# The Ethernet scan stays enabled in halvix once asked for: the runs without it come first.
for i in $(seq "$REPEAT"); do echo "scanDevices without Ethernet devices:        $(report_ms)"; done
for i in $(seq "$REPEAT"); do echo "scanDevices with Ethernet devices (service): $(report_ms --dte)"; done
