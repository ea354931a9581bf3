// Builds the halvix child-process helper of the integration tests into these tests.
#include "tests/integration/HalvixProcess.cpp"
