// Shared-memory section on Windows: OpenFileMappingA on "Global\NAME", then MapViewOfFile.
#include "devices/platform/windows/XpSharedMemWindows.h"

#include "devices/platform/Xp.h"
#include "devices/platform/windows/ObjectName.h"

#include <cstring>

namespace Vdapi {

namespace {

/// Sections are published by another process (the device service) in the global namespace,
/// which every session sees.
constexpr char kGlobalPrefix[] = "Global\\";

} // namespace

VdResult XpSharedMemWindows::Open(const char* name, size_t size, void*& address, bool readOnly)
{
    address = nullptr;
    Close();
    if (VdResult r = CheckObjectName(name, kXpMaxSharedMemName); !isSuccess(r))
        return r;
    char path[sizeof(kGlobalPrefix) + kXpMaxSharedMemName];
    std::memcpy(path, kGlobalPrefix, sizeof(kGlobalPrefix) - 1);
    std::memcpy(path + sizeof(kGlobalPrefix) - 1, name, std::strlen(name) + 1);
    UniqueHandle section(::OpenFileMappingA(readOnly ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS, FALSE, path));
    if (!section) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return VDAPI_E_NOT_FOUND;
        if (err == ERROR_FILENAME_EXCED_RANGE)
            return VDAPI_E_BUF_TOO_SMALL;
        VDAPI_LOG(Warning, "OpenFileMappingA(%s) failed: Windows error %lu", path, static_cast<unsigned long>(err));
        return VDAPI_E_NO_PERMISSION;
    }
    // A view larger than the section is refused by the system, never mapped past its end.
    void* mapped = ::MapViewOfFile(section.get(), readOnly ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (mapped == nullptr) {
        VDAPI_LOG(Warning, "MapViewOfFile(%s, %llu bytes) failed: Windows error %lu", path,
                  static_cast<unsigned long long>(size),
                  static_cast<unsigned long>(::GetLastError()));
        return VDAPI_E_INTERNAL;
    }
    size_t mappedSize = size;
    if (mappedSize == 0) {
        // The whole section: its size as the system rounded it (whole pages).
        MEMORY_BASIC_INFORMATION info{};
        mappedSize = ::VirtualQuery(mapped, &info, sizeof(info)) == sizeof(info) ? info.RegionSize : 0;
    }
    view_ = UniqueView(mapped, mappedSize);
    section_ = std::move(section);
    address = mapped;
    return VDAPI_OK;
}

} // namespace Vdapi
