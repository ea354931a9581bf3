// vdsim as a process: rig errors, orderly stop, and the control socket with its client
// vdsimctl (bad command lines of both are Tools.HelpVersionAndBadUsage's).
#include "tests/support/SimHarness.h"

#include "sim/ControlCommands.h"

#include "devices/pcie/DriverProtocol.h"

#include <sys/stat.h>

#include <filesystem>
#include <utility>
#include <vector>
#include <gtest/gtest.h>

namespace vdsim::test {
namespace {

namespace DP = Vdapi::DriverProtocol;
namespace fs = std::filesystem;
using fs::exists;

const std::string kEmptyRig = ::test::sourcePath("sim/rigs/empty.json");
constexpr auto kMerged = ChildProcess::Streams::Merged;

TEST(SimLifecycle, UnusableRigsAreNamedAndExitOne)
{
    TempDir dir;
    const std::string run = dir.path() + "/run";
    struct Case {
        std::string file, text, message;
    } cases[] = {
        {dir.path() + "/missing.json", "", ": cannot read the rig file: No such file or directory"},
        {dir.path(), "", ": cannot read the rig file: Is a directory"},
        // The parser's byte offset becomes line:column of the file.
        {dir.write("broken.json", "{\"devices\": [\n  {\"type\": 2144,,\n"), "",
         "broken.json:2:17: not valid JSON: syntax error while parsing object key - unexpected ','"},
        {dir.write("cut.json", "{\"devices\": ["), "", "cut.json:1:14: not valid JSON: "},
        // What the rig says wrong is Rig.ErrorsNameTheFileAndThePlace; one such error here.
        {dir.write("unknown.json", R"({"devices": [{"type": 4711, "serial": 1}]})"), "", "unknown device type 4711"},
    };
    for (const auto& c : cases) {
        ChildProcess vdsim({VDSIM_BIN, "--rig", c.file, "--run-dir", run}, kMerged);
        EXPECT_EQ(vdsim.wait(), 1) << vdsim.output();
        EXPECT_NE(vdsim.output().find(c.file), std::string::npos) << vdsim.output();
        EXPECT_NE(vdsim.output().find(c.message), std::string::npos) << vdsim.output();
        EXPECT_FALSE(exists(run));
    }
}

TEST(SimLifecycle, UnderUmaskZeroItKeepsItsFilesToOwnerAndGroupRefusesASecondOneAndSigtermRemovesThem)
{
    // The launcher clears the umask and then runs the vdsim command line it is given.
    SimProcess sim(VdapiTest::ReferenceRig(), {"/bin/sh", "-c", "umask 000; exec \"$0\" \"$@\""});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const std::string run = sim.runDir();
    EXPECT_TRUE(exists(sim.legacyNamePath(2)));
    EXPECT_TRUE(exists(run + "/mutex/VdeSvcListMutex"));
    auto mode = [](const fs::path& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    };
    EXPECT_EQ(mode(run), 0770);
    size_t folders = 0, sockets = 0, files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(run)) {
        const auto type = entry.symlink_status().type();
        const int expected = type == fs::file_type::directory ? 0770 : 0660;
        EXPECT_EQ(mode(entry.path()), expected) << entry.path();
        (type == fs::file_type::directory ? folders : type == fs::file_type::socket ? sockets : files)++;
    }
    // Driver class folders, every driver and control socket, the service pipe, mutex and list files.
    EXPECT_GE(folders, 8u);
    EXPECT_GE(sockets, 10u);
    EXPECT_GE(files, 2u);

    // A second simulator does not take over the live run directory.
    ChildProcess second({VDSIM_BIN, "--rig", kEmptyRig, "--run-dir", run}, kMerged);
    EXPECT_EQ(second.wait(), 1);
    EXPECT_NE(second.output().find("another simulator is serving"), std::string::npos) << second.output();

    // The first one still serves: a delayed answer holds up only its own connection, and neither
    // it nor open handles hold the stop up.
    DriverConnection open(sim.pciePath(0));
    ASSERT_EQ(sim.control("delay 600000 0xafc86ee2"), "ok delay 600000 ms for 0xafc86ee2");
    ASSERT_TRUE(open.send(DP::kGetVersion, plainHeader(), 16));
    ASSERT_TRUE(sim.waitForControl("counters", "ok 0xafc86ee2=1 open=1"));
    DriverConnection other(sim.pciePath(0));
    EXPECT_EQ(other.request(DP::kGetDeviceInfo, plainHeader(), 104).output.size(), 104u);
    EXPECT_EQ(sim.control("ping").rfind("ok vdsim ", 0), 0u);
    EXPECT_EQ(sim.terminate(), 0) << sim.output();
    EXPECT_NE(sim.output().find("stopped by signal"), std::string::npos);
    EXPECT_FALSE(exists(run)) << "the run directory was created by vdsim and is removed again";
}

using SimControl = ReferenceSim;

TEST_F(SimControl, UnplugAndPlugAgainPerCard)
{
    // What an unplug does to open handles and the interface is
    // EachTransport.FailuresClaimsAndAVanishedCardReachTheCaller; that a card plugged in again
    // serves its ports, PortProbe.FreeHeldLinklessAndMissingPortsOfTheReferenceRig.
    ASSERT_EQ(sim_.control("unplug 2179000202"), "ok unplugged");
    EXPECT_TRUE(DriverConnection(sim_.pciePath(2)).connected()) << "other cards stay";
    EXPECT_EQ(sim_.control("unplug 2179000202"), "ok already unplugged");
    EXPECT_EQ(sim_.control("plug 2179000202"), "ok plugged");
    // Unplugging a legacy card removes its interfaces and its legacy names.
    ASSERT_EQ(sim_.control("unplug 124001111"), "ok unplugged");
    EXPECT_FALSE(DriverConnection(sim_.legacyNamePath(2)).connected());
    EXPECT_FALSE(DriverConnection(sim_.legacyPath(1)).connected());
    EXPECT_TRUE(DriverConnection(sim_.legacyPath(0)).connected());
}

TEST_F(SimControl, BadCommandsAreRefusedWithAReason)
{
    EXPECT_EQ(sim_.control("frobnicate"), "error: unknown command \"frobnicate\" (try help)");
    // Every command of the help table is served (alone, most answer their usage).
    for (const ControlCommand& command : controlCommands()) {
        const std::string name = std::string(command.usage).substr(0, std::string(command.usage).find(' '));
        const std::string answer = sim_.control(name);
        EXPECT_EQ(answer.find("unknown command"), std::string::npos) << name << ": " << answer;
        EXPECT_EQ(answer.find("not served"), std::string::npos) << name << ": " << answer;
    }
    EXPECT_EQ(sim_.control(""), "error: empty command");
    EXPECT_EQ(sim_.control("hold 1 1"), "error: no card or Ethernet device with serial 1");
    EXPECT_EQ(sim_.control("linkspeed 2144000101 1 3"), "error: port 1 is not an IP port");
    // A malformed command is answered with its usage: the one form it got wrong, or all of them.
    for (const auto& [line, usage] : std::vector<std::pair<const char*, const char*>>{
             {"hold x", "hold SERIAL PORT [all|dma|rx|tx|demod|mod|nw]"},
             {"release 1", "release SERIAL PORT [all|dma|rx|tx|demod|mod|nw]"},
             {"fail svc:x 1 2", "fail KIND COUNT ERROR (KIND: request code or svc:N)"},
             {"unplug", "unplug SERIAL"},
             {"service version 5.1", "service version A.B.C[.D]"},
             {"service pause", "service stop|start|version A.B.C[.D]"},
             {"list count many", "list version N | list count N | list restore"},
             {"fill-open a", "fill-open HEX|off (HEX: one byte, e.g. a5)"},
             {"counters all", "counters [reset]"},
             {"vde opmode 5", "vde opmode SERIAL N"},
             {"vde xaddrs many x", "vde xaddrs SERIAL TEXT|default"},
             {"vde", "vde probes [reset] | vde bound | vde xaddrs SERIAL TEXT|default | vde opmode SERIAL N"}})
        EXPECT_EQ(sim_.control(line), std::string("error: usage: ") + usage) << line;
    EXPECT_EQ(sim_.control("unplug 99"), "error: no device with serial 99");
    // A line past the limit is cut off before its end is read; the socket keeps serving new
    // connections.
    EXPECT_EQ(sim_.control(std::string(10000, 'x')), "error: line too long");
    EXPECT_EQ(sim_.control("list restore"), "ok list published");
}

TEST_F(SimControl, VdsimctlExitStatusFollowsTheAnswer)
{
    ChildProcess ok(VDSIMCTL_BIN, {"--run-dir", sim_.runDir(), "hold", "2144000101", "1"}, kMerged);
    EXPECT_EQ(ok.wait(), 0);
    EXPECT_EQ(ok.output(), "ok held 3 blocks\n");
    ChildProcess err(VDSIMCTL_BIN, {"--run-dir", sim_.runDir(), "hold", "2144000101", "9"}, kMerged);
    EXPECT_EQ(err.wait(), 1);
    EXPECT_EQ(err.output(), "error: card 2144000101 has 4 ports\n");
    TempDir nowhere;
    ChildProcess none(VDSIMCTL_BIN, {"--run-dir", nowhere.path(), "ping"}, kMerged);
    EXPECT_EQ(none.wait(), 3);
    EXPECT_NE(none.output().find("cannot reach the simulator"), std::string::npos);
    // help needs no simulator and lists itself and the Ethernet-device commands too.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, std::vector<std::string>{"help"},
                                                 std::vector<std::string>{"--run-dir", nowhere.path(), "help"}}) {
        ChildProcess help(VDSIMCTL_BIN, args, kMerged);
        EXPECT_EQ(help.wait(), 0) << help.output();
        for (const char* usage : {"\n  help ", "\n  fail KIND COUNT ERROR ", "\n  vde probes [reset] ", "\n  vde opmode SERIAL N "})
            EXPECT_NE(help.output().find(usage), std::string::npos) << usage << " missing:\n" << help.output();
    }
    EXPECT_EQ(sim_.control("help").rfind("ok commands: help | ping | ", 0), 0u);
    EXPECT_NE(sim_.control("help").find(" | vde xaddrs SERIAL TEXT|default | "), std::string::npos);
}

} // namespace
} // namespace vdsim::test
