// Builds the simulator test harness (temp dirs, vdsim process, control commands) into these tests.
#include "tests/sim/SimHarness.cpp"
