// The kernel-driver device-interface classes the device layer opens, and their class GUIDs.
#pragma once

namespace Vdapi {

enum class DriverClass : int {
    Pcie = 0,
    LegacyPci = 1,
    Bb2 = 2,
    Usb = 3,
};

/// Most interface indices a class can have (0..kMaxDriverInterfaces-1).
inline constexpr int kMaxDriverInterfaces = 50;

/// Class GUID of a driver class in its registry form, braces included;
/// "" for a value outside the enumeration.
constexpr const char* DriverClassGuid(DriverClass driverClass)
{
    switch (driverClass) {
    case DriverClass::Pcie:
        return "{18ab1e49-c874-4619-b8ac-62232b4ec41b}";
    case DriverClass::LegacyPci:
        return "{9051d683-157f-44b7-9a22-6b013cca676a}";
    case DriverClass::Bb2:
        return "{f9882bf6-b32d-4098-801b-efb0ad1135f9}";
    case DriverClass::Usb:
        return "{96a04ed6-faa1-47fb-a209-e7beec779e28}";
    }
    return "";
}

/// Prefix of the legacy PCI driver's device names; the name of device N is this plus N in
/// decimal ("Vda1xx-0" .. "Vda1xx-49"); Windows opens them as "\\.\Vda1xx-N".
inline constexpr const char* kLegacyDriverNamePrefix = "Vda1xx-";

} // namespace Vdapi
