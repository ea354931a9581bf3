// ScanSession: what one scan request may ask the drivers only once. The scan entry points open
// a session for the length of one request (both calls of a two-call listing, every port probe,
// the "4K" pass); while it is open, the device layer on the threads that use it keeps
//  - the property answers a device's drivers gave, keyed by the device's identity (family,
//    serial, type, firmware version and variant, hardware revision, as read from its
//    information record) and by the whole query: a later attach of the same device reads them
//    from here. Only answers and "not found" are kept, never another failure;
//  - where the session's device listings found each serial, per family and interface index, so
//    that a search by serial opens only the interfaces that held it.
// Exclusive access, link speeds, I/O configuration, driver versions and the device information
// records are always asked afresh. Nothing outlives the session: the next scan starts empty.
// VDAPI_SCAN_CACHE=off in the environment, or SetDefaultEnabled(false), opens every session
// disabled: the scan then asks everything afresh, as for comparison.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/DriverRequests.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <utility>

namespace Vdapi {

struct DeviceDescriptor;

/// The driver families whose listings a session remembers.
enum class ScanFamily : int { LegacyPci, Usb, Pcie, Bb2 };

class ScanSession {
public:
    /// Opens a session and uses it on the calling thread until destroyed; a disabled one keeps
    /// nothing and hides any session the thread used before.
    explicit ScanSession(bool enabled = DefaultEnabled());
    ~ScanSession();
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    /// The enabled session in use on the calling thread, or null.
    static ScanSession* Current();
    /// True when a session, enabled or not, is in use on the calling thread.
    static bool InUse();
    /// The process setting: false when VDAPI_SCAN_CACHE is "off" or "0", unless changed by
    /// SetDefaultEnabled.
    static bool DefaultEnabled();
    static void SetDefaultEnabled(bool enabled);

    /// Lets another thread (a worker of the same scan) use `session` while the object lives.
    class Use {
    public:
        explicit Use(ScanSession& session);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        ScanSession* m_previous;
    };

    bool Enabled() const { return m_enabled; }

    /// A kept answer for `query` of the device `identity`: true with value and result.
    bool FindProperty(const DeviceDescriptor& identity, const DriverProtocol::PropertyQuery& query, uint64_t& value,
                      VdResult& result) const;
    /// Keeps an answer; failures other than VDAPI_E_NOT_FOUND are dropped.
    void KeepProperty(const DeviceDescriptor& identity, const DriverProtocol::PropertyQuery& query, uint64_t value,
                      VdResult result);

    /// A listing (mode All) of `family` reached its devices: searches by serial may now skip
    /// interfaces that held none of the wanted serial.
    void NoteFamilyListed(ScanFamily family);
    /// The listing found `serial` at interface `index` of `family`.
    void NoteListed(ScanFamily family, int index, int64_t serial);
    /// True when a search of `family` for `serial` must open interface `index`: the family was
    /// not listed in this session, or its listing found the serial there.
    bool MayHold(ScanFamily family, int index, int64_t serial) const;

    /// What the session has saved so far (for tests and benchmarks).
    struct Counts {
        long propertyHits = 0;
        long propertyKept = 0;
        long interfacesSkipped = 0;
    };
    Counts Statistics() const;

private:
    using IdentityKey = std::tuple<int32_t, int64_t, int32_t, int32_t, int32_t, int32_t>;
    using QueryKey = std::tuple<std::string, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t>;
    using PropertyKey = std::pair<IdentityKey, QueryKey>;
    static PropertyKey KeyOf(const DeviceDescriptor& identity, const DriverProtocol::PropertyQuery& query);

    const bool m_enabled;
    ScanSession* m_previous; // the session this thread used before this one opened
    mutable std::mutex m_mutex;
    std::map<PropertyKey, std::pair<uint64_t, VdResult>> m_properties; // guarded by m_mutex
    std::set<ScanFamily> m_listedFamilies;                             // guarded by m_mutex
    std::set<std::tuple<ScanFamily, int, int64_t>> m_listed;           // guarded by m_mutex
    mutable Counts m_counts;                                           // guarded by m_mutex
};

} // namespace Vdapi
