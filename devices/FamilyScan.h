// The contract between ScanDevices and each family's enumerator.
#pragma once

#include "devices/Device.h"
#include "devices/DeviceDescriptor.h"
#include "devices/IDevice.h"
#include "devices/Scan.h"
#include "devices/ScanSession.h"
#include "devices/VdapiResult.h"

#include <memory>
#include <vector>

namespace Vdapi {

/// Arguments and results of one family's enumeration.
struct FamilyScan {
    // In.
    ScanMode mode = ScanMode::All;
    int32_t listFlag = 0;
    int32_t capacity = 0;                  ///< room at cursor (descriptors written only when > 0)
    DeviceDescriptor* cursor = nullptr;    ///< where the next descriptor goes, or null
    std::shared_ptr<IDevice>* foundDevice = nullptr;
    std::unique_ptr<IDevice2>* foundBb2Device = nullptr;
    int32_t pciBus = 0;
    int32_t pciSlot = 0;
    int32_t typeNumber = 0;
    int32_t typeIndex = 0;
    int64_t serial = 0;
    const uint8_t* address = nullptr;
    bool skipDriverCheck = false;
    bool vdeFlag = false;
    // Out.
    int32_t count = 0;                     ///< devices initialised (matched) by this family
    int32_t typePassed = 0;                ///< ByType: devices of the wanted type passed
    std::vector<DeviceDescriptor> bb2List; ///< Bb2 family: its descriptors, instead of cursor
    ScanSession* session = nullptr;        ///< the scan session open on this thread, set by Begin

    bool Targeted() const { return mode != ScanMode::All; }
    bool WritesDescriptors() const { return capacity > 0 && cursor != nullptr; }

    /// Matches a device's identity against the mode's key; in ByType counts the devices of
    /// the wanted type it passes.
    bool Matches(const DeviceDescriptor& identity, bool slotMatchable = true)
    {
        switch (mode) {
        case ScanMode::All: return true;
        case ScanMode::BySerial: return identity.serial == serial;
        case ScanMode::BySlot: return slotMatchable && identity.pciBus == pciBus && identity.pciSlot == pciSlot;
        case ScanMode::ByType:
            if (identity.typeNumber != typeNumber)
                return false;
            return typePassed++ == typeIndex;
        case ScanMode::ByAddress: return false;
        }
        return false;
    }

    /// Takes a matched device: initialises it (unless `initResult` already failed), writes its
    /// descriptor at the cursor while room remains, counts it, and in a targeted mode hands it
    /// to foundDevice. Returns true when the enumeration ends here, with `result` its answer.
    bool Adopt(const std::shared_ptr<Device>& device, VdResult initResult, const char* family, VdResult& result);

    /// Starts a family's enumeration: zeroes its count and passed-devices count. False when the
    /// scan's mode is `refused`, the one mode the family cannot serve (it then answers
    /// VDAPI_E_NO_SUCH_DEVICE at once).
    bool Begin(ScanMode refused)
    {
        count = 0;
        typePassed = 0;
        session = ScanSession::Current();
        return mode != refused;
    }

    /// A search by serial in an open scan session passes over interface `index` of `family`
    /// when the session's listings of the family found another device there (or none).
    bool Skips(ScanFamily family, int index) const
    {
        return mode == ScanMode::BySerial && session != nullptr && !session->MayHold(family, index, serial);
    }
    /// A listing tells the open scan session where it found `serialFound`.
    void NoteFound(ScanFamily family, int index, int64_t serialFound) const
    {
        if (mode == ScanMode::All && session != nullptr)
            session->NoteListed(family, index, serialFound);
    }
    /// A listing has looked at every interface of `family`.
    void NoteListed(ScanFamily family) const
    {
        if (mode == ScanMode::All && session != nullptr)
            session->NoteFamilyListed(family);
    }

    /// Result of a family that found no driver at all.
    VdResult NoDriver() const { return Targeted() ? VDAPI_E_NO_SUCH_DEVICE : VDAPI_E_NO_DEVICE; }
    /// Result of a finished family enumeration in mode All, or targeted with no match.
    VdResult Finish() const
    {
        if (Targeted())
            return count > 0 ? VDAPI_OK : VDAPI_E_NO_SUCH_DEVICE;
        if (count == 0)
            return VDAPI_E_NO_DEVICE;
        return count > capacity ? VDAPI_E_BUF_TOO_SMALL : VDAPI_OK;
    }
};

// One enumerator per family, called by ScanDevices in this order.
VdResult EnumerateLegacyPci(FamilyScan& scan);
VdResult ScanVduDevices(FamilyScan& scan);
VdResult EnumeratePcie(FamilyScan& scan);
VdResult EnumerateBb2(FamilyScan& scan);
VdResult ScanNicDevices(FamilyScan& scan);
VdResult ScanVdeDevices(FamilyScan& scan);

} // namespace Vdapi
