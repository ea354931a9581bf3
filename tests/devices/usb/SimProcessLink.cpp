// Builds the device-layer simulator process helper into these tests.
#include "tests/devices/core/SimProcess.cpp"
