// Our own tools as a newcomer meets them: vdscan and `halvixctl scan` against a real halvix and
// simulator, over real sockets and the real run directory.
#include "HalvixProcess.h"

#include "tests/devices/core/SimProcess.h"
#include "tests/log/TempDir.h"
#include "tests/tools/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace toolstest {

using integration::HalvixProcess;
using namespace std::chrono_literals;

constexpr auto kToolScanDeadline = 240s;

std::string sourceFile(const std::string& relative) { return std::string(HALVIX_SOURCE_DIR) + "/" + relative; }

struct ToolRun {
    int code = -1;
    std::string out;
    std::string err;
};

ToolRun run(const std::string& binary, const std::vector<std::string>& arguments, std::chrono::seconds deadline = 60s)
{
    test::ChildProcess child(binary, arguments);
    ToolRun result;
    result.code = child.wait(deadline);
    result.out = child.output();
    result.err = child.errors();
    return result;
}

/// `halvixctl --address A ARGS...` with a real halvix dialling A from A; halvixctl's output and
/// exit code once it ended (halvix is asked to quit through --quit).
ToolRun halvixctlWithBrick(const std::string& address, const std::vector<std::string>& arguments)
{
    std::vector<std::string> all{"--address", address, "--timeout", "240"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    all.push_back("--quit");
    test::ChildProcess ctl(HALVIXCTL_BIN, all);
    EXPECT_TRUE(ctl.waitForStderr("waiting for a brick to connect on " + address)) << ctl.errors();
    HalvixProcess halvix({"--server_address", address, "--local_address", address});
    ToolRun result;
    result.code = ctl.wait(kToolScanDeadline);
    result.out = ctl.output();
    result.err = ctl.errors();
    EXPECT_EQ(halvix.waitExit(), std::optional<int>(0)) << halvix.output();
    return result;
}

} // namespace toolstest

using namespace toolstest;

// A run directory without drivers or service is named as the cause instead of an inventory
// that is silently empty; a simulator serving an empty rig is a real, empty answer.
TEST(Tools, EmptyRunDirectory)
{
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    ::setenv("VDAPI_RUN_DIR", dir.path().c_str(), 1);
    const std::string message =
        "no driver or device service found below " + dir.path() + ": is vdsim running, or VDAPI_RUN_DIR set?";

    const ToolRun scan = run(VDSCAN_BIN, {});
    EXPECT_EQ(scan.code, 3) << scan.out << scan.err;
    EXPECT_NE(scan.err.find("vdscan: " + message + "\n"), std::string::npos) << scan.err;
    EXPECT_NE(scan.out.find("0 ports: VDAPI_OK"), std::string::npos) << scan.out;
    // The machine's adapters are no device service: with them alone the run directory is still empty.
    const ToolRun withAdapters = run(VDSCAN_BIN, {"--nic"});
    EXPECT_EQ(withAdapters.code, 3) << withAdapters.out << withAdapters.err;

    const ToolRun ctl = halvixctlWithBrick("127.0.68.2", {"scan"});
    EXPECT_EQ(ctl.code, 0) << ctl.err;
    EXPECT_NE(ctl.out.find("0 entries, 0 free"), std::string::npos) << ctl.out;
    EXPECT_NE(ctl.err.find("halvixctl: " + message + "\n"), std::string::npos) << ctl.err;
    // The report stays exactly the report; the remark goes to standard error only.
    const ToolRun json = halvixctlWithBrick("127.0.68.2", {"scan", "--json"});
    EXPECT_EQ(json.out, "[]\n");
    EXPECT_NE(json.err.find(message), std::string::npos) << json.err;

    START_SIM(sim, sourceFile("sim/rigs/empty.json"));
    const ToolRun served = run(VDSCAN_BIN, {});
    EXPECT_EQ(served.code, 0) << served.out << served.err;
    EXPECT_EQ(served.err.find("no driver"), std::string::npos) << served.err;
    const ToolRun ctlServed = halvixctlWithBrick("127.0.68.2", {"scan"});
    EXPECT_EQ(ctlServed.code, 0) << ctlServed.err;
    EXPECT_EQ(ctlServed.err.find("no driver"), std::string::npos) << ctlServed.err;
}
