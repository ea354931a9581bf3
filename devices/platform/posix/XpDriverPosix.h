// Kernel-driver handle on POSIX: a Unix stream socket per device interface, speaking the
// request/reply format of DriverWire.h, with a shared-memory request slot once the driver
// grants one.
#pragma once

#include "devices/platform/IXpDriver.h"
#include "devices/platform/posix/DriverSlot.h"
#include "devices/platform/posix/UniqueFd.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace Vdapi {

/// When a handle asks for the shared-memory slot.
struct FastChannelPolicy {
    /// Socket requests sent on a handle before the slot is asked for; -1: never ask. By
    /// default the socket serves: with independent requests sent as batches, a scan hands
    /// over few enough times that a slot, set up and torn down for each handle, saves little
    /// (reference rig "scanDevices": 80-93 ms on the socket, 73-79 ms with a slot from the
    /// 20th request on).
    int afterRequests = -1;
    uint32_t slotCapacity = DriverWire::kMaxPayload; ///< wanted payload bytes (1..kMaxPayload)
    int spinMicros = 50; ///< how long a request looks for its reply before sleeping on it
    int sliceMs = 10;    ///< sleep slice between checks that the driver is still there

    /// The process default: $VDAPI_DRIVER_FAST "0" keeps the slot off, a number N >= 1 asks
    /// after N-1 socket requests; otherwise the values above.
    static FastChannelPolicy FromEnvironment();
};

/// Hands the answer of a request batch (`length` bytes at `reply`) out to the items.size()
/// requests it answers: each item's output, returned size, error and result. False when it
/// is malformed (count, a header or an announced length that does not fit); the items may
/// then be partly filled.
bool UnpackBatchReply(const uint8_t* reply, size_t length, std::span<DriverRequestItem> items);

/// Requests travel over the socket until the policy asks for a slot and the driver grants
/// one; from then on through the slot, with the same answers. On a slot, an input larger than
/// the slot gives VDAPI_E_BUF_TOO_LARGE (nothing sent) and output room beyond it is not offered.
class XpDriverPosix final : public IXpDriver {
public:
    explicit XpDriverPosix(DriverClass driverClass, FastChannelPolicy policy = FastChannelPolicy::FromEnvironment())
        : driverClass_(driverClass), policy_(policy)
    {
    }
    ~XpDriverPosix() override = default;

    VdResult Open(int index, bool overlapped, bool shared) override;
    VdResult OpenLegacy(int index, bool shared) override;
    VdResult Request(uint32_t code, const void* input, uint32_t inputSize, void* output,
                     uint32_t outputCapacity, uint32_t* returnedSize, uint32_t* windowsError) override;
    /// Hands as many requests over at once as fit one transport request (the slot, or the
    /// largest payload), in as few hand-overs as that allows; one by one with a driver that
    /// refuses batches (remembered for this handle) or for an item that could not travel in one.
    void RequestBatch(std::span<DriverRequestItem> items) override;
    void Close() override
    {
        slot_.Reset();
        socket_.reset();
        requestsSent_ = 0;
    }
    /// True while requests travel through the shared-memory slot (tests, benchmarks).
    bool HasFastChannel() const { return slot_.Valid(); }
    bool IsOpen() const override { return socket_.valid(); }
    VdResult ListInterfaces(uint64_t& presentMask) override;

private:
    VdResult openPath(const std::string& path);
    /// Sends or receives exactly length bytes on the blocking socket; false when the exchange broke.
    bool exchangeAll(bool sending, uint8_t* bytes, size_t length);
    bool sendAll(const void* data, size_t length)
    {
        // send never writes through the pointer; one loop serves both directions.
        return exchangeAll(true, static_cast<uint8_t*>(const_cast<void*>(data)), length);
    }
    bool receiveAll(void* data, size_t length)
    {
        return exchangeAll(false, static_cast<uint8_t*>(data), length);
    }
    /// Ends a broken exchange: the stream cannot be trusted any more, so the handle is closed.
    VdResult brokenExchange(const char* what, uint32_t code);
    /// Asks the driver for a slot. False only when the handle broke on the way (then closed);
    /// a refusal keeps the socket path and answers true.
    bool negotiateSlot();
    /// Sends a request's header and input, in one system call where the socket takes them.
    bool sendRequest(const uint8_t (&header)[DriverWire::kRequestHeaderSize], const void* input,
                     uint32_t inputSize);
    /// One receive of answer bytes from..to (0..7 the header, the rest the output); its count,
    /// 0 when the driver closed, -1 on error.
    ssize_t receiveReply(uint8_t (&header)[DriverWire::kReplyHeaderSize], uint8_t* output, size_t from, size_t to,
                         int flags = 0);
    VdResult socketRequest(uint32_t code, const void* input, uint32_t inputSize, void* output, uint32_t capacity,
                           uint32_t* returnedSize, uint32_t* windowsError);
    VdResult slotRequest(uint32_t code, const void* input, uint32_t inputSize, void* output, uint32_t capacity,
                         uint32_t* returnedSize, uint32_t* windowsError);
    /// False once the driver's end of the socket is gone.
    bool driverStillThere() const;
    /// Packs the leading items of `items` that fit one batch into batchInput_; how many (0 when
    /// the first cannot travel in a batch). outputRoom receives the answer room they need.
    size_t packBatch(std::span<const DriverRequestItem> items, uint32_t& outputRoom);

    DriverClass driverClass_;
    FastChannelPolicy policy_;
    UniqueFd socket_;     ///< blocking stream socket; invalid when not open
    DriverSlot slot_;     ///< valid once the driver granted a slot on this socket
    uint32_t slotSeq_ = 0; ///< sequence number of the last slot request
    int requestsSent_ = 0; ///< socket requests on this handle, for FastChannelPolicy::afterRequests
    bool slotAsked_ = false; ///< the slot was asked for on this handle (granted or not)
    bool batchRefused_ = false; ///< the driver answered a batch as an unknown request
    std::vector<uint8_t> batchInput_, batchOutput_; ///< reused between batches
};

} // namespace Vdapi
