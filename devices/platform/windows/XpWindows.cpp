// The platform facade on Windows: makes the Windows implementations and holds the shared objects.
// The pipe, network and driver objects are not written yet: their factories are left out, so a
// program that needs them fails to link instead of getting an object that does nothing.
#include "devices/platform/Xp.h"

#include "devices/platform/windows/XpLogWindows.h"
#include "devices/platform/windows/XpMutexWindows.h"
#include "devices/platform/windows/XpNamedMutexWindows.h"
#include "devices/platform/windows/XpSharedMemWindows.h"

#include <new>

namespace Vdapi {

std::unique_ptr<IXpMutex> Xp::NewMutex()
{
    return std::unique_ptr<IXpMutex>(new (std::nothrow) XpMutexWindows());
}

std::unique_ptr<IXpNamedMutex> Xp::NewNamedMutex()
{
    return std::unique_ptr<IXpNamedMutex>(new (std::nothrow) XpNamedMutexWindows());
}

std::unique_ptr<IXpSharedMem> Xp::NewSharedMem()
{
    return std::unique_ptr<IXpSharedMem>(new (std::nothrow) XpSharedMemWindows());
}

// Never destroyed, so code running during static destruction can still log.
IXpLog& Xp::Log()
{
    static XpLogWindows* const log = new XpLogWindows();
    return *log;
}

} // namespace Vdapi
