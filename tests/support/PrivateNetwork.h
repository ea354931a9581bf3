// Test support: runs the current test again in a private network namespace (`unshare -n -m`,
// with its own sysfs view so /sys/class/net shows the namespace's adapters), where adapters can
// be made with chosen MACs and addresses without touching the machine's network.
#pragma once

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace Vdapi::TestSupport {

enum class NetnsStep {
    Inside,  ///< this process runs in the private network: go on with the test
    Done,    ///< the test ran in a child process; its outcome is reported already
    Refused, ///< no private network here (reason given): skip
};

/// Runs a shell command quietly; true when it exits 0.
inline bool RunQuiet(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

/// Runs the current test again in a private network namespace, unless already inside one. A run
/// that does not end within `deadline` is killed and fails the test.
inline NetnsStep EnterPrivateNetwork(std::string& reason,
                                     std::chrono::milliseconds deadline = std::chrono::seconds(280))
{
    static const char* const kInsideVariable = "HALVIX_PRIVATE_NETWORK";
    if (const char* inside = std::getenv(kInsideVariable); inside && std::string(inside) == "1") {
        if (::mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0) {
            reason = "cannot mount the private network's sysfs";
            return NetnsStep::Refused;
        }
        return NetnsStep::Inside;
    }
    if (::geteuid() != 0) {
        reason = "needs root for a private network namespace";
        return NetnsStep::Refused;
    }
    if (::access("/usr/sbin/ip", X_OK) != 0 && ::access("/sbin/ip", X_OK) != 0) {
        reason = "needs the ip tool (iproute2)";
        return NetnsStep::Refused;
    }
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    ::setenv(kInsideVariable, "1", 1);
    ::test::ChildProcess child(
        {"/usr/bin/unshare", "-n", "-m", length > 0 ? std::string(self, size_t(length)) : std::string(), filter},
        ::test::ChildProcess::Streams::Merged);
    ::unsetenv(kInsideVariable);
    const int exitCode = child.wait(deadline);
    const std::string output = child.output();
    if (output.find("unshare failed") != std::string::npos || exitCode == 127) {
        reason = "no private network namespace here: " + output;
        return NetnsStep::Refused;
    }
    const bool passed = output.find("[  PASSED  ] 1 test") != std::string::npos;
    if (exitCode == 0 && output.find("[  SKIPPED ]") != std::string::npos && !passed) {
        reason = "skipped inside the private network:\n" + output;
        return NetnsStep::Refused;
    }
    EXPECT_EQ(exitCode, 0) << "the test in its private network failed (or ran out of time):\n" << output;
    if (exitCode == 0 && !passed)
        ADD_FAILURE() << "the test did not run in its private network:\n" << output;
    return NetnsStep::Done;
}

} // namespace Vdapi::TestSupport

/// Puts the rest of the test body into the private network (or skips/finishes the test).
#define IN_PRIVATE_NETWORK()                                                                       \
    do {                                                                                           \
        std::string netnsReason;                                                                   \
        const auto netnsStep = ::Vdapi::TestSupport::EnterPrivateNetwork(netnsReason);             \
        if (netnsStep == ::Vdapi::TestSupport::NetnsStep::Refused)                                 \
            GTEST_SKIP() << netnsReason;                                                           \
        if (netnsStep == ::Vdapi::TestSupport::NetnsStep::Done)                                    \
            return;                                                                                \
    } while (0)
