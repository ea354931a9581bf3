// The simulator process of tests and benchmarks.
#include "tests/support/SimProcess.h"

#include "devices/DriverClass.h"
#include "devices/platform/DriverPath.h"
#include "sim/SocketIo.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace test {

namespace {

std::string classPath(const std::string& runDir, Vdapi::DriverClass driverClass, int index)
{
    return runDir + "/drivers/" + Vdapi::DriverClassGuid(driverClass) + "/" + std::to_string(index);
}

} // namespace

std::string sourcePath(const std::string& path)
{
    return !path.empty() && path[0] == '/' ? path : std::string(HALVIX_SOURCE_DIR) + "/" + path;
}

SimProcess::SimProcess(const std::string& rigPath, const std::vector<std::string>& launcher)
    : runDir_(dir_.path() + "/run")
{
    std::vector<std::string> argv = launcher;
    for (const std::string& word : {std::string(VDSIM_BIN), std::string("--rig"), rigPath, std::string("--run-dir"), runDir_})
        argv.push_back(word);
    process_ = std::make_unique<ChildProcess>(argv, ChildProcess::Streams::Merged);
    ready_ = process_->waitForOutput("ready", std::chrono::seconds(20));
}

SimProcess::~SimProcess()
{
    if (!stopped_) terminate();
}

std::string SimProcess::error() const
{
    return ready_ ? "" : "vdsim did not report ready; output: " + output();
}

void SimProcess::exportRunDir() const
{
    ::setenv("VDAPI_RUN_DIR", runDir_.c_str(), 1);
}

std::string SimProcess::output() const { return process_->output(); }

int SimProcess::terminate()
{
    if (stopped_) return -1;
    stopped_ = true;
    const int code = process_->terminate(std::chrono::seconds(20));
    // A sanitizer build of vdsim reports its findings on stderr; they fail the test.
    const std::string out = process_->output();
    if (out.find("Sanitizer") != std::string::npos || out.find("runtime error:") != std::string::npos)
        ADD_FAILURE() << "vdsim reported:\n" << out;
    return code;
}

std::string SimProcess::control(const std::string& line) const
{
    vdsim::UniqueFd fd = vdsim::connectUnix(runDir_ + "/vdsim.ctl");
    if (!fd) return "";
    const std::string message = line + "\n";
    if (!vdsim::writeFull(fd.get(), message.data(), message.size(), -1)) return "";
    std::string reply;
    char c;
    while (vdsim::readFull(fd.get(), &c, 1, -1, 10000)) {
        if (c == '\n') return reply;
        reply.push_back(c);
    }
    return "";
}

bool SimProcess::command(const std::string& line) const
{
    return control(line).rfind("ok", 0) == 0;
}

bool SimProcess::waitForControl(const std::string& line, const std::string& expected, int deadlineMs) const
{
    return waitUntil([&] { return control(line) == expected; }, std::chrono::milliseconds(deadlineMs));
}

std::string SimProcess::pciePath(int i) const { return classPath(runDir_, Vdapi::DriverClass::Pcie, i); }
std::string SimProcess::legacyPath(int i) const { return classPath(runDir_, Vdapi::DriverClass::LegacyPci, i); }
std::string SimProcess::legacyNamePath(int i) const { return runDir_ + "/drivers/" + Vdapi::LegacyDriverName(i); }
std::string SimProcess::pipePath() const { return runDir_ + "/pipe/VdeRecvPipe"; }

} // namespace test
