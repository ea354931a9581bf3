#!/bin/sh
# device-network.sh HOLDER_PID: builds the Ethernet devices' test network between the caller's
# network namespace and the one process HOLDER_PID holds. The caller's side gets two adapters,
# h1 (198.51.100.1) and h2 (198.51.100.2); their veth peers sit on a bridge in the holder's
# namespace, which carries the devices' addresses (.21, .22) and where the simulator runs.
# Multicast snooping is off so WS-Discovery probes reach every port of the bridge.
set -e
holder=$1
ip link set lo up
ip link add d1 type veth peer name h1
ip link add d2 type veth peer name h2
ip link set d1 netns "$holder"
ip link set d2 netns "$holder"
ip addr add 198.51.100.1/24 dev h1
ip addr add 198.51.100.2/24 dev h2
ip link set h1 multicast on up
ip link set h2 multicast on up
nsenter -t "$holder" -n sh -ec '
  ip link set lo up
  ip link add br0 type bridge mcast_snooping 0
  ip link set d1 master br0
  ip link set d2 master br0
  ip link set d1 up
  ip link set d2 up
  ip link set br0 multicast on up
  ip addr add 198.51.100.21/24 dev br0
  ip addr add 198.51.100.22/24 dev br0'
