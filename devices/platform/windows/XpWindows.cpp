// The platform facade on Windows: makes the Windows implementations and holds the shared objects.
#include "devices/platform/Xp.h"

#include "devices/platform/windows/XpDriverWindows.h"
#include "devices/platform/windows/XpLogWindows.h"
#include "devices/platform/windows/XpMutexWindows.h"
#include "devices/platform/windows/XpNamedMutexWindows.h"
#include "devices/platform/windows/XpNetworkWindows.h"
#include "devices/platform/windows/XpPipeConnectionWindows.h"
#include "devices/platform/windows/XpPipeListenerWindows.h"
#include "devices/platform/windows/XpSharedMemWindows.h"

#include <new>

namespace Vdapi {

std::unique_ptr<IXpDriver> Xp::NewDriver(DriverClass driverClass)
{
    return std::unique_ptr<IXpDriver>(new (std::nothrow) XpDriverWindows(driverClass));
}

std::unique_ptr<IXpMutex> Xp::NewMutex()
{
    return std::unique_ptr<IXpMutex>(new (std::nothrow) XpMutexWindows());
}

std::unique_ptr<IXpNamedMutex> Xp::NewNamedMutex()
{
    return std::unique_ptr<IXpNamedMutex>(new (std::nothrow) XpNamedMutexWindows());
}

std::unique_ptr<IXpPipeConnection> Xp::NewPipeConnection()
{
    return std::unique_ptr<IXpPipeConnection>(new (std::nothrow) XpPipeConnectionWindows());
}

std::unique_ptr<IXpPipeListener> Xp::NewPipeListener()
{
    return std::unique_ptr<IXpPipeListener>(new (std::nothrow) XpPipeListenerWindows());
}

std::unique_ptr<IXpSharedMem> Xp::NewSharedMem()
{
    return std::unique_ptr<IXpSharedMem>(new (std::nothrow) XpSharedMemWindows());
}

// Never destroyed, like the log.
IXpNetwork& Xp::Network()
{
    static XpNetworkWindows* const network = new XpNetworkWindows();
    return *network;
}

// Never destroyed, so code running during static destruction can still log.
IXpLog& Xp::Log()
{
    static XpLogWindows* const log = new XpLogWindows();
    return *log;
}

} // namespace Vdapi
