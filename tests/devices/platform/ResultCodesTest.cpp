// Result codes: values and names of the codes the device layer produces, unnamed gaps, and the
// codes system-call failures become.
#include "TestRunDir.h"

#include "devices/VdapiResult.h"
#include "devices/platform/Xp.h"
#include "devices/platform/posix/RunDir.h"
#include "devices/platform/posix/XpNamedMutexPosix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace Vdapi {
namespace {

struct Expected {
    VdResult code;
    const char* name;
};

// Values as the layer's users know them; the header derives them from consecutive runs.
constexpr Expected kKnownCodes[] = {
    {0, "VDAPI_OK"},
    {1, "VDAPI_OK_FAILSAFE"},
    {2, "VDAPI_OK_PENDING"},
    {3, "VDAPI_OK_PARTIAL_DEV"},
    {4, "VDAPI_OK_TAINTED_FW"},
    {5, "VDAPI_OK_OBSOLETE_FW"},
    {4096, "VDAPI_E_ATTACHED"},
    {4097, "VDAPI_E_BUF_TOO_SMALL"},
    {4098, "VDAPI_E_DEV_DRIVER"},
    {4104, "VDAPI_E_IN_USE"},
    {4105, "VDAPI_E_INVALID_BUF"},
    {4107, "VDAPI_E_INVALID_FLAGS"},
    {4112, "VDAPI_E_NO_DEVICE"},
    {4114, "VDAPI_E_NO_SUCH_DEVICE"},
    {4116, "VDAPI_E_NO_VD_OUTPUT"},
    {4117, "VDAPI_E_NOT_ATTACHED"},
    {4118, "VDAPI_E_NOT_FOUND"},
    {4119, "VDAPI_E_NOT_SUPPORTED"},
    {4120, "VDAPI_E_DEVICE"},
    {4124, "VDAPI_E_NO_VD_INPUT"},
    {4125, "VDAPI_E_DRIVER_INCOMP"},
    {4126, "VDAPI_E_INTERNAL"},
    {4136, "VDAPI_E_INVALID_TSTYPE"},
    {4140, "VDAPI_E_INVALID_ARG"},
    {4143, "VDAPI_E_NO_SUCH_PORT"},
    {4157, "VDAPI_E_TIMEOUT"},
    {4166, "VDAPI_E_COMMUNICATION"},
    {4225, "VDAPI_E_NO_PERMISSION"},
    {4226, "VDAPI_E_CANCELLED"},
    {4227, "VDAPI_E_OUT_OF_RESOURCES"},
    {4250, "VDAPI_E_NOT_IMPLEMENTED"},
    {4257, "VDAPI_E_EXCL_MANDATORY"},
    {4359, "VDAPI_E_TAINTED_FW"},
    {4360, "VDAPI_E_OBSOLETE_FW"},
    // First and last of each run, around the restarts.
    {4315, "VDAPI_E_INVALID_ENC_TYPE"},
    {4317, "VDAPI_E_NO_ENCODER"},
    {4340, "VDAPI_E_INVALID_FECTYPE"},
    {4342, "VDAPI_E_INVALID_VERSION"},
    {4378, "VDAPI_E_ALREADY_EXCL_ACCESS"},
    {4380, "VDAPI_E_CPU_NO_AVX2"},
    {4381, "VDAPI_E_INVALID_MIMO"},
};

TEST(ResultCodes, KnownCodesHaveTheirValuesAndNames)
{
    for (const Expected& e : kKnownCodes)
        EXPECT_STREQ(e.name, ResultName(e.code)) << e.code;
    // The constants, made from the same list as the names, for codes the table above leaves out.
    EXPECT_EQ(4127u, VDAPI_E_OUT_OF_MEM);
    EXPECT_EQ(4141u, VDAPI_E_NW_DRIVER);
    EXPECT_EQ(4212u, VDAPI_E_CONNECT_TO_SERVICE);
    EXPECT_EQ(4223u, VDAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(4224u, VDAPI_E_NOT_LOCKED);
    EXPECT_EQ(4255u, VDAPI_E_BUF_TOO_LARGE);
    EXPECT_EQ(4302u, VDAPI_E_CID_INVALID_ID);
}

TEST(ResultCodes, GapsAreUnknownEveryNameIsUniqueAndSuccessEndsAt4096)
{
    const std::string unknown = "??? UNKNOWN VDAPI_RESULT ???";
    EXPECT_EQ(unknown, ResultName(0xFFFFFFFFu));
    std::set<std::string> names;
    int named = 0;
    for (VdResult code = 0; code < 5000; ++code) {
        if (!IsNamedResult(code)) {
            EXPECT_EQ(unknown, ResultName(code)) << code;
            continue;
        }
        ++named;
        const std::string name = ResultName(code);
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(isSuccess(code), name.rfind("VDAPI_OK", 0) == 0) << name;
    }
    // 6 success codes, VDAPI_E_ATTACHED and the 281 names that follow it.
    EXPECT_EQ(288, named);
    EXPECT_TRUE(isSuccess(4095)); // unnamed, so the loop above does not ask
}

// A process out of descriptors (EMFILE) gets the code the errno maps to from every call that
// opens one, not a fixed code of the call, and the log names the raw errno of each.
TEST(ErrnoResults, ExhaustedDescriptorsGiveOutOfResourcesAndLogTheRawErrno)
{
    TestSupport::TempRunDir runDir;
    // Objects that exist, so that each call gets as far as opening its descriptor.
    const std::string interface = RunDir::driverInterface(DriverClassGuid(DriverClass::Pcie), 0);
    std::filesystem::create_directories(std::filesystem::path(interface).parent_path());
    std::ofstream(interface) << "";
    ASSERT_EQ(VDAPI_OK, XpNamedMutexPosix::Create("Exhausted"));
    const std::string logPath = runDir.file("child.log");
    int fds[2];
    ASSERT_EQ(0, ::pipe2(fds, O_CLOEXEC));

    constexpr int kCalls = 5;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        const int logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (logFd < 0 || ::dup2(logFd, STDERR_FILENO) < 0)
            ::_exit(2);
        auto driver = Xp::NewDriver(DriverClass::Pcie);
        auto connected = Xp::NewPipeConnection();
        auto fresh = Xp::NewPipeConnection();
        XpNamedMutexPosix mutex;
        if (!driver || !connected || !fresh || connected->Init() != VDAPI_OK)
            ::_exit(3);
        // Each call once before the limit: the sanitizers' check of an object's dynamic type
        // needs two free descriptors of its own the first time it meets a type.
        VdResult codes[kCalls] = {};
        auto callEach = [&](IXpPipeConnection& toInit) {
            uint64_t mask = 0;
            codes[0] = driver->Open(0, false, true);
            codes[1] = driver->ListInterfaces(mask);
            codes[2] = connected->Connect("Service");
            codes[3] = toInit.Init(); // an Init closes the descriptor it had first
            codes[4] = mutex.Open("Exhausted");
        };
        callEach(*connected);
        const rlimit limit{32, 32};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            ::_exit(4);
        while (::dup(STDERR_FILENO) >= 0) {
        }
        if (errno != EMFILE)
            ::_exit(5);
        callEach(*fresh);
        ::_exit(::write(fds[1], codes, sizeof(codes)) == ssize_t(sizeof(codes)) ? 0 : 6);
    }
    ::close(fds[1]);
    VdResult codes[kCalls] = {};
    const ssize_t got = ::read(fds[0], codes, sizeof(codes));
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    const std::string text = TempDir::read(logPath);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status << "\n" << text;
    ASSERT_EQ(ssize_t(sizeof(codes)), got);
    const char* calls[kCalls] = {"driver Open", "ListInterfaces", "pipe Connect", "pipe Init", "named mutex Open"};
    for (int i = 0; i < kCalls; ++i)
        EXPECT_STREQ("VDAPI_E_OUT_OF_RESOURCES", ResultName(codes[i])) << calls[i];

    for (const char* operation : {"socket", "list driver interfaces", "eventfd", "open named mutex"}) {
        const std::string line = std::string(operation) + " failed: errno " + std::to_string(EMFILE) + " (";
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\n" << text;
    }
    size_t lines = 0;
    for (size_t at = 0; (at = text.find("-> VDAPI_E_OUT_OF_RESOURCES", at)) != std::string::npos; ++at)
        ++lines;
    EXPECT_EQ(size_t(kCalls), lines) << text;
}

} // namespace
} // namespace Vdapi
