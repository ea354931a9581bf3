// Process-wide platform facade: makes the platform objects the device layer uses and holds the
// two that exist once per process, the network and the log.
#pragma once

#include "devices/DriverClass.h"
#include "devices/platform/IXpDriver.h"
#include "devices/platform/IXpLog.h"
#include "devices/platform/IXpMutex.h"
#include "devices/platform/IXpNamedMutex.h"
#include "devices/platform/IXpNetwork.h"
#include "devices/platform/IXpPipeConnection.h"
#include "devices/platform/IXpPipeListener.h"
#include "devices/platform/IXpSharedMem.h"

#include <memory>

namespace Vdapi {

/// Every New… factory returns a new caller-owned object, or null when it cannot be allocated.
/// The factories are named New… rather than Create… so they never collide with system macros.
/// All operations are safe from any thread; the shared objects live until the process ends.
class Xp {
public:
    static std::unique_ptr<IXpMutex> NewMutex();
    static std::unique_ptr<IXpNamedMutex> NewNamedMutex();
    static std::unique_ptr<IXpPipeConnection> NewPipeConnection();
    static std::unique_ptr<IXpPipeListener> NewPipeListener();
    static std::unique_ptr<IXpSharedMem> NewSharedMem();
    static std::unique_ptr<IXpDriver> NewDriver(DriverClass driverClass);

    /// The process-wide network object.
    static IXpNetwork& Network();
    /// The process-wide log.
    static IXpLog& Log();

    Xp() = delete;
};

} // namespace Vdapi

/// Writes a line to the device layer's log with the caller's file and line.
#define VDAPI_LOG(level, ...)                                                                                \
    ::Vdapi::Xp::Log().Write(::Vdapi::XpLogLevel::level, __FILE__, __LINE__, __VA_ARGS__)
