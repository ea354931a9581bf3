// Our own tools as a newcomer meets them: vdscan and `halvixctl scan` against a real halvix and
// simulator, over real sockets and the real run directory.
#include "HalvixProcess.h"

#include "tests/support/PrivateNetwork.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WaitUntil.h"

#include "net/Address.h"
#include "net/Socket.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace toolstest {

using integration::HalvixProcess;
using namespace std::chrono_literals;

constexpr auto kToolScanDeadline = 240s;

struct ToolRun {
    int code = -1;
    std::string out;
    std::string err;
};

ToolRun run(const std::string& binary, const std::vector<std::string>& arguments, std::chrono::seconds deadline = 60s)
{
    test::ChildProcess child(binary, arguments);
    return {child.wait(deadline), child.output(), child.errors()}; // in order: read once it ended
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
    const ToolRun result{ctl.wait(kToolScanDeadline), ctl.output(), ctl.errors()};
    EXPECT_EQ(halvix.wait(), 0) << halvix.output();
    return result;
}

/// Packets the interface has sent so far; -1 when the counter cannot be read.
long sentPackets(const std::string& interface)
{
    std::ifstream in("/sys/class/net/" + interface + "/statistics/tx_packets");
    long packets = -1;
    in >> packets;
    return in ? packets : -1;
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

    // The report stays exactly the report; the remark goes to standard error only.
    const ToolRun json = halvixctlWithBrick("127.0.68.2", {"scan", "--json"});
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.out, "[]\n");
    EXPECT_NE(json.err.find("halvixctl: " + message + "\n"), std::string::npos) << json.err;

    START_SIM(sim, test::sourcePath("sim/rigs/empty.json"));
    const ToolRun served = run(VDSCAN_BIN, {});
    EXPECT_EQ(served.code, 0) << served.out << served.err;
    EXPECT_EQ(served.err.find("no driver"), std::string::npos) << served.err;
    const ToolRun ctlServed = halvixctlWithBrick("127.0.68.2", {"scan"});
    EXPECT_EQ(ctlServed.code, 0) << ctlServed.err;
    EXPECT_EQ(ctlServed.err.find("no driver"), std::string::npos) << ctlServed.err;
}

// The demo's path (the reference rig, halvixctl scan --dte, halvix on 127.0.0.1) lists the
// Ethernet devices and sends nothing off the machine; --nic then adds the adapters. In a private
// network whose only way out is one end of a veth pair carrying the default route, every packet
// to an address that is not loopback (a dial, its address resolution, a discovery probe) is
// counted on that adapter; its peer has no address and answers nothing.
TEST(Tools, DemoNetwork)
{
    IN_PRIVATE_NETWORK();
    using Vdapi::TestSupport::RunQuiet;
    ASSERT_TRUE(RunQuiet("ip link set lo up") && RunQuiet("ip link add wan0 address 02:00:5E:10:00:01 type veth peer name wan1 address 02:00:5E:10:00:02") &&
                RunQuiet("ip link set wan0 addrgenmode none") && RunQuiet("ip link set wan1 addrgenmode none") &&
                RunQuiet("ip addr add 198.51.100.1/24 dev wan0") && RunQuiet("ip link set wan1 up") &&
                RunQuiet("ip link set wan0 up") && RunQuiet("ip route add default dev wan0") &&
                // The probe's address is resolved in advance: otherwise its address resolution
                // goes on asking, one packet a second, while the demo runs.
                RunQuiet("ip neigh replace 203.0.113.9 lladdr 02:00:00:00:00:09 dev wan0 nud permanent"))
        << "cannot make the dummy way out";

    // The counter sees a dial: a connection attempt to an outside address is counted.
    const long quiet = sentPackets("wan0");
    ASSERT_GE(quiet, 0);
    ip::TcpSocket probe; // its SYN goes out; nothing answers it
    EXPECT_NE(probe.connect(ip::resolve("203.0.113.9"), 8000, 1000), ip::SocketStatus::Done);
    EXPECT_TRUE(waitUntil([&] { return sentPackets("wan0") > quiet; })) << "a dial to 203.0.113.9 was not counted on wan0";
    probe.close(); // no retries during the demo

    START_SIM(sim, test::sourcePath("sim/rigs/reference.json"));
    const long before = sentPackets("wan0");
    const ToolRun demo = halvixctlWithBrick("127.0.0.1", {"scan", "--dte"});
    EXPECT_EQ(demo.code, 0) << demo.err;
    for (const char* device : {"VDE-3137:1", "VDE-3124:1"})
        EXPECT_NE(demo.out.find(device), std::string::npos) << device << " is missing:\n" << demo.out;
    EXPECT_EQ(sentPackets("wan0"), before) << "the demo sent packets to an address that is not loopback";
    EXPECT_EQ(demo.out.find("\n198.51.100.1 "), std::string::npos) << "an adapter entry without --nic:\n" << demo.out;

    // The NIC scan switched on over the wire adds one entry per adapter and none for the
    // pseudo-adapter. What an adapter's state and speed make of its entry is DeviceReportTest;
    // how the platform reads them, LinkStateTest.
    const ToolRun nic = halvixctlWithBrick("127.0.0.1", {"scan", "--nic", "--json"});
    const nlohmann::json report = nlohmann::json::parse(nic.out, nullptr, false);
    ASSERT_TRUE(nic.code == 0 && report.is_array()) << nic.err << nic.out;
    std::vector<nlohmann::json> ip;
    for (const nlohmann::json& entry : report)
        if (entry.value("category", "") == "NIC")
            ip.push_back(entry);
    ASSERT_EQ(ip.size(), 2u) << nic.out;
    const std::string speed = std::to_string(10000ull * 1000000ull); // a veth link reports 10000 Mbit/s
    // In interface order: wan1 (the peer, made first) has no address.
    EXPECT_TRUE(ip[0]["deviceName"] == "0.0.0.0" && ip[0]["macAddress"] == "02-00-5E-10-00-02") << ip[0].dump();
    EXPECT_TRUE(ip[1]["deviceName"] == "198.51.100.1" && ip[1]["ipAddress"] == "198.51.100.1") << ip[1].dump();
    EXPECT_EQ(ip[1]["macAddress"], "02-00-5E-10-00-01");
    EXPECT_TRUE(ip[1]["type"] == "IP" && ip[1]["typeNumber"] == 840 && ip[1]["isAvailable"] == true) << ip[1].dump();
    EXPECT_TRUE(ip[1]["transmissionSpeed"] == speed && ip[1]["receiveSpeed"] == speed) << ip[1].dump();

    // The adapter rows of --why name the interface, and the any-local entry is no adapter that
    // could be gone or down.
    const ToolRun adapters = run(VDSCAN_BIN, {"--nic", "--why"});
    EXPECT_EQ(adapters.code, 0) << adapters.err;
    EXPECT_NE(adapters.out.find("[interface wan0, mac "), std::string::npos) << adapters.out;
    EXPECT_NE(adapters.out.find("[any local adapter (Any local NIC)]\n"), std::string::npos) << adapters.out;
}

// Every tool of ours: --help on standard output with exit code 0, --version with the one
// version of the tree, a bad option and each tool's other bad command lines refused with its
// usage on standard error, nothing on standard output, and exit code 2.
TEST(Tools, HelpVersionAndBadUsage)
{
    struct Tool {
        std::string binary;
        std::vector<std::string> prefix; // words before the option (a halvixctl mode)
        std::string name;
        std::vector<std::vector<std::string>> bad; // refused command lines besides --bogus, after the prefix
    };
    const std::string emptyRig = test::sourcePath("sim/rigs/empty.json");
    const Tool tools[] = {
        {HALVIXCTL_BIN, {}, "halvixctl",
         {{}, {"frobnicate"}, {"call"}, {"call", "getSettings", "{not json"}, {"call", "a", "{}", "extra"},
          {"--timeout", "soon", "watch"}, {"--timeout", "-1", "watch"}, {"--count", "2", "scan"},
          {"--nic", "watch"}, {"scan", "--why", "--json"}, {"--address"},
          // Never widened to every interface: text that is not a dotted quad is refused (which
          // texts are is GuiServerTest's table).
          {"--address", "localhost", "quit"}}},
        {HALVIXCTL_BIN, {"serve"}, "halvixctl serve",
         {{"--address", "localhost"}, {"--address"}, {"--http", "127.0.0.1"}, {"--http", "127.0.0.1:0"},
          {"--http", "127.0.0.1:65536"}, {"--http", "localhost:8080"}, {"--http", ":8080"},
          {"--http", "127.0.0.1:80x"}, {"--every", "0"}, {"--every", "soon"}}},
        {VDSCAN_BIN, {}, "vdscan", {}},
        {VDSIM_BIN, {}, "vdsim", {{}, {"--rig", emptyRig}, {"--rig"}}},
        {VDSIMCTL_BIN, {}, "vdsimctl", {{"ping"}, {"--run-dir", "/nowhere", "--timeout", "soon", "ping"}}}};
    std::string version;
    for (const Tool& tool : tools) {
        auto with = [&](const std::string& option) {
            std::vector<std::string> arguments = tool.prefix;
            arguments.push_back(option);
            return run(tool.binary, arguments);
        };
        const ToolRun help = with("--help");
        EXPECT_EQ(help.code, 0) << tool.name << help.err;
        EXPECT_EQ(help.out.rfind("usage: " + tool.name + " ", 0), 0u) << tool.name << ":\n" << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << tool.name << ":\n" << help.out;

        const ToolRun shown = with("--version");
        EXPECT_EQ(shown.code, 0) << tool.name << shown.err;
        const std::string executable = tool.name.substr(0, tool.name.find(' '));
        ASSERT_EQ(shown.out.rfind(executable + " ", 0), 0u) << shown.out;
        const std::string number = shown.out.substr(executable.size() + 1);
        if (version.empty())
            version = number;
        EXPECT_EQ(number, version) << tool.name << " reports another version";

        std::vector<std::vector<std::string>> refused = tool.bad;
        refused.push_back({"--bogus"});
        for (std::vector<std::string> arguments : refused) {
            arguments.insert(arguments.begin(), tool.prefix.begin(), tool.prefix.end());
            const ToolRun bad = run(tool.binary, arguments);
            const std::string line = tool.name + " " + testing::PrintToString(arguments);
            EXPECT_EQ(bad.code, 2) << line << bad.out << bad.err;
            EXPECT_NE(bad.err.find("usage: " + tool.name), std::string::npos) << line << ":\n" << bad.err;
            EXPECT_EQ(bad.out, "") << line;
        }
    }
    EXPECT_EQ(version.find_first_not_of("0123456789."), version.size() - 1) << version;
    EXPECT_EQ(version.back(), '\n');
}

// --why adds this machine's device layer's reasons and facts beside the report (the filters and
// the FREE column are HalvixctlTest's; a held port being busy, PortProbe's).
TEST(Tools, ScanWhy)
{
    START_SIM(sim, test::sourcePath("sim/rigs/reference.json"));
    ASSERT_TRUE(sim.command("hold 2144000101 1"));
    auto row = [](const std::string& table, const std::string& device) {
        const size_t at = table.find("\n" + device + " ");
        return at == std::string::npos ? std::string() : table.substr(at + 1, table.find('\n', at + 1) - at - 1);
    };
    const ToolRun why = halvixctlWithBrick("127.0.68.3", {"scan", "--why"});
    ASSERT_EQ(why.code, 0) << why.err;
    EXPECT_NE(why.out.find("WHY (this machine's device layer)"), std::string::npos) << why.out;
    EXPECT_NE(row(why.out, "VDA-2144:1").find("held by another user; firmware 7"), std::string::npos) << why.out;
    EXPECT_NE(row(why.out, "VDA-2162:1").find("no link; firmware 5"), std::string::npos) << why.out;
    EXPECT_NE(row(why.out, "VDA-2182:1").find("firmware 2 (tainted)"), std::string::npos) << why.out;
    // A free port carries its device's facts only.
    EXPECT_EQ(row(why.out, "VDA-2144:2").substr(row(why.out, "VDA-2144:2").rfind("  ") + 2), "firmware 7") << why.out;
}
