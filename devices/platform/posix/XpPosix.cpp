// The platform facade on POSIX: makes the Posix implementations and holds the shared objects.
#include "devices/platform/Xp.h"

#include "devices/platform/posix/XpDriverPosix.h"
#include "devices/platform/posix/XpLogPosix.h"
#include "devices/platform/posix/XpMutexPosix.h"
#include "devices/platform/posix/XpNamedMutexPosix.h"
#include "devices/platform/posix/XpNetworkPosix.h"
#include "devices/platform/posix/XpPipeConnectionPosix.h"
#include "devices/platform/posix/XpPipeListenerPosix.h"
#include "devices/platform/posix/XpSharedMemPosix.h"

#include <new>

namespace Vdapi {

std::unique_ptr<IXpMutex> Xp::NewMutex()
{
    return std::unique_ptr<IXpMutex>(new (std::nothrow) XpMutexPosix());
}

std::unique_ptr<IXpNamedMutex> Xp::NewNamedMutex()
{
    return std::unique_ptr<IXpNamedMutex>(new (std::nothrow) XpNamedMutexPosix());
}

std::unique_ptr<IXpPipeConnection> Xp::NewPipeConnection()
{
    return std::unique_ptr<IXpPipeConnection>(new (std::nothrow) XpPipeConnectionPosix());
}

std::unique_ptr<IXpPipeListener> Xp::NewPipeListener()
{
    return std::unique_ptr<IXpPipeListener>(new (std::nothrow) XpPipeListenerPosix());
}

std::unique_ptr<IXpSharedMem> Xp::NewSharedMem()
{
    return std::unique_ptr<IXpSharedMem>(new (std::nothrow) XpSharedMemPosix());
}

std::unique_ptr<IXpDriver> Xp::NewDriver(DriverClass driverClass)
{
    return std::unique_ptr<IXpDriver>(new (std::nothrow) XpDriverPosix(driverClass));
}

// The shared objects are never destroyed, so code running during static destruction can still log.
IXpNetwork& Xp::Network()
{
    static XpNetworkPosix* const network = new XpNetworkPosix();
    return *network;
}

IXpLog& Xp::Log()
{
    static XpLogPosix* const log = new XpLogPosix();
    return *log;
}

} // namespace Vdapi
