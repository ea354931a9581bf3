// The device-layer tests' simulator runner, built into the integration tests as well.
#include "tests/devices/core/SimProcess.cpp"
