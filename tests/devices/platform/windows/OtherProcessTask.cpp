// The helper case of OtherProcess: run only in the child this test program starts, it makes the
// object it was asked for, signals that it exists and ends when told, taking its handles along.
#include "PlatformTestObjects.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace Vdapi {
namespace {

TEST(ChildTask, Run)
{
    const char* task = std::getenv(PlatformTest::kTaskVar);
    const char* name = std::getenv(PlatformTest::kNameVar);
    if (task == nullptr || name == nullptr)
        GTEST_SKIP() << "helper of the two-process cases";
    UniqueHandle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(name) + "_ready").c_str()));
    UniqueHandle go(::OpenEventA(SYNCHRONIZE, FALSE, (std::string(name) + "_go").c_str()));
    ASSERT_TRUE(ready && go);
    UniqueHandle object;
    if (std::strcmp(task, "hold-mutex") == 0) {
        // Created owned; the process ends without releasing it, which abandons it.
        object.reset(::CreateMutexA(nullptr, TRUE, name));
    }
    else if (std::strcmp(task, "publish-section") == 0) {
        object.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          DWORD(PlatformTest::kPublishedSize),
                                          (std::string("Global\\") + name).c_str()));
        if (object) {
            void* view = ::MapViewOfFile(object.get(), FILE_MAP_WRITE, 0, 0, 0);
            ASSERT_NE(nullptr, view);
            std::memcpy(view, PlatformTest::kPublished, sizeof PlatformTest::kPublished);
            ::UnmapViewOfFile(view);
        }
    }
    ASSERT_TRUE(object) << task;
    ::SetEvent(ready.get());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(go.get(), PlatformTest::kChildDeadlineMs));
    // Ends here: the handles go with the process, an owned mutex is abandoned.
    ::ExitProcess(0);
}

} // namespace
} // namespace Vdapi
