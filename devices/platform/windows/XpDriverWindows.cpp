// Kernel-driver handle on Windows. Everything here is a system call; the names, limits and the
// error translation it relies on are portable code tested on every platform.
#include "devices/platform/windows/XpDriverWindows.h"

#include "base/UniqueResource.h"
#include "devices/platform/CatchAllocation.h"
#include "devices/platform/DriverPath.h"
#include "devices/platform/Xp.h"

#include <setupapi.h>

#include <cstring>
#include <memory>
#include <new>

namespace Vdapi {

namespace {

struct DeviceInfoListTraits {
    using Handle = HDEVINFO;
    static HDEVINFO none() { return INVALID_HANDLE_VALUE; }
    static bool valid(HDEVINFO set) { return set != nullptr && set != INVALID_HANDLE_VALUE; }
    static void close(HDEVINFO set) { ::SetupDiDestroyDeviceInfoList(set); }
};
/// A SetupAPI device-information set, destroyed whatever happens.
using DeviceInfoList = base::UniqueResource<DeviceInfoListTraits>;

bool classGuid(DriverClass driverClass, GUID& guid)
{
    ClassGuidFields fields;
    if (!ParseClassGuid(DriverClassGuid(driverClass), fields))
        return false;
    guid.Data1 = fields.data1;
    guid.Data2 = fields.data2;
    guid.Data3 = fields.data3;
    std::memcpy(guid.Data4, fields.data4, sizeof(guid.Data4));
    return true;
}

/// The present interfaces of the class; null when SetupAPI cannot list them.
DeviceInfoList presentInterfaces(const GUID& guid)
{
    return DeviceInfoList(::SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
}

} // namespace

VdResult XpDriverWindows::interfacePath(int index, std::string& path) const
{
    GUID guid{};
    if (!classGuid(driverClass_, guid))
        return VDAPI_E_INVALID_ARG;
    const DeviceInfoList set = presentInterfaces(guid);
    if (!set)
        return VDAPI_E_NOT_FOUND;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (!::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &guid, static_cast<DWORD>(index), &data))
        return VDAPI_E_NOT_FOUND;
    DWORD required = 0;
    ::SetupDiGetDeviceInterfaceDetailA(set.get(), &data, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) || required > 64 * 1024)
        return VDAPI_E_NOT_FOUND;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[required]);
    if (!buffer)
        return VDAPI_E_OUT_OF_MEM;
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!::SetupDiGetDeviceInterfaceDetailA(set.get(), &data, detail, required, nullptr, nullptr))
        return VDAPI_E_NOT_FOUND;
    const size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    path.assign(detail->DevicePath, ::strnlen(detail->DevicePath, room));
    return VDAPI_OK;
}

VdResult XpDriverWindows::openPath(const std::string& path, bool overlapped, bool shared)
{
    if (VdResult r = CheckDriverPathLength(path.size()); !isSuccess(r))
        return r;
    device_.reset(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0, nullptr, OPEN_EXISTING,
                                overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr));
    if (device_) {
        overlapped_ = overlapped;
        return VDAPI_OK;
    }
    const DWORD err = ::GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
        return VDAPI_E_NOT_FOUND;
    VDAPI_LOG(Warning, "CreateFileA(%s) failed: Windows error %lu", path.c_str(), err);
    return VDAPI_E_NO_PERMISSION;
}

VdResult XpDriverWindows::Open(int index, bool overlapped, bool shared)
{
    return CatchAllocation([&]() -> VdResult {
        Close();
        if (index < 0 || index >= kMaxDriverInterfaces)
            return VDAPI_E_INVALID_ARG;
        std::string path;
        if (VdResult r = interfacePath(index, path); !isSuccess(r))
            return r;
        return openPath(path, overlapped, shared);
    });
}

VdResult XpDriverWindows::OpenLegacy(int index, bool shared)
{
    return CatchAllocation([&]() -> VdResult {
        Close();
        if (index < 0 || index >= kMaxDriverInterfaces)
            return VDAPI_E_INVALID_ARG;
        return openPath("\\\\.\\" + LegacyDriverName(index), false, shared);
    });
}

VdResult XpDriverWindows::Request(uint32_t code, const void* input, uint32_t inputSize, void* output,
                                  uint32_t outputCapacity, uint32_t* returnedSize, uint32_t* windowsError)
{
    if (returnedSize != nullptr)
        *returnedSize = 0;
    if (windowsError != nullptr)
        *windowsError = 0;
    if (!device_)
        return VDAPI_E_DEV_DRIVER;
    if ((input == nullptr && inputSize > 0) || (output == nullptr && outputCapacity > 0))
        return VDAPI_E_INVALID_BUF;
    DWORD returned = 0;
    BOOL ok = FALSE;
    if (overlapped_) {
        if (!completion_)
            completion_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (!completion_)
            return VDAPI_E_OUT_OF_RESOURCES;
        OVERLAPPED overlapped{};
        overlapped.hEvent = completion_.get();
        ok = ::DeviceIoControl(device_.get(), code, const_cast<void*>(input), inputSize, output, outputCapacity,
                               &returned, &overlapped);
        // The drivers answer every request; the wait has no time limit.
        if (!ok && ::GetLastError() == ERROR_IO_PENDING)
            ok = ::GetOverlappedResult(device_.get(), &overlapped, &returned, TRUE);
    }
    else {
        ok = ::DeviceIoControl(device_.get(), code, const_cast<void*>(input), inputSize, output, outputCapacity,
                               &returned, nullptr);
    }
    const DWORD err = ok ? 0 : ::GetLastError();
    if (returnedSize != nullptr)
        *returnedSize = returned > outputCapacity ? outputCapacity : returned;
    if (windowsError != nullptr)
        *windowsError = err;
    return DriverErrorToResult(err);
}

VdResult XpDriverWindows::ListInterfaces(uint64_t& presentMask)
{
    presentMask = 0;
    GUID guid{};
    if (!classGuid(driverClass_, guid))
        return VDAPI_E_INVALID_ARG;
    const DeviceInfoList set = presentInterfaces(guid);
    if (!set) {
        // No interface of the class at all is the usual answer when the driver is not installed.
        const DWORD err = ::GetLastError();
        return err == ERROR_INVALID_DATA || err == ERROR_FILE_NOT_FOUND ? VDAPI_OK : VDAPI_E_INTERNAL;
    }
    for (int index = 0; index < kMaxDriverInterfaces; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof(data);
        if (!::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &guid, static_cast<DWORD>(index), &data))
            break; // ERROR_NO_MORE_ITEMS: the indices are dense
        presentMask |= uint64_t(1) << index;
    }
    return VDAPI_OK;
}

} // namespace Vdapi
