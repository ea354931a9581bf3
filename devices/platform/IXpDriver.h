// Handle on one device interface of a kernel driver, and the requests sent through it.
#pragma once

#include "devices/VdapiResult.h"
#include "devices/DriverClass.h"
#include "devices/platform/IInterface.h"

#include <cstdint>
#include <span>

namespace Vdapi {

/// One request of a batch (IXpDriver::RequestBatch): its buffers in, its answer out.
struct DriverRequestItem {
    uint32_t code = 0;
    const void* input = nullptr;
    uint32_t inputSize = 0;
    void* output = nullptr;
    uint32_t outputCapacity = 0;
    uint32_t returnedSize = 0;  ///< bytes of output written
    uint32_t windowsError = 0;  ///< the driver's raw error number (0 on success)
    VdResult result = VDAPI_OK; ///< what Request would have returned for it alone
};

/// Made by Xp::NewDriver for one driver class. One owner at a time: requests on one handle are
/// strictly one after the other. Whatever the handle acquired inside the driver (exclusive
/// access to function blocks) is released by the driver when the handle is closed.
class IXpDriver : public IInterface {
public:
    /// Opens interface index (0..kMaxDriverInterfaces-1) of the class, closing any previous
    /// handle first. Read/write; shared lets other handles open the same interface at the same
    /// time (on systems where the driver arbitrates per function block it is advisory);
    /// overlapped asks for asynchronous I/O where the system distinguishes it. Does not block
    /// beyond the system call. Returns VDAPI_OK; VDAPI_E_INVALID_ARG for an index out of range;
    /// VDAPI_E_BUF_TOO_SMALL when the interface path reaches 256 characters;
    /// VDAPI_E_NOT_FOUND when the interface does not exist; VDAPI_E_NO_PERMISSION when it
    /// exists but cannot be opened.
    virtual VdResult Open(int index, bool overlapped, bool shared) = 0;

    /// Opens the legacy device name kLegacyDriverNamePrefix + index (legacy PCI class only in
    /// practice), closing any previous handle first. Results as Open.
    virtual VdResult OpenLegacy(int index, bool shared) = 0;

    /// Sends request code with inputSize bytes of input and room for outputCapacity bytes of
    /// output, and waits for the answer without a time limit (it ends early only when the
    /// driver goes away). returnedSize (may be null) receives the bytes of output written;
    /// windowsError (may be null) receives the driver's raw error number (0 on success).
    /// Returns VDAPI_OK; VDAPI_E_DEV_DRIVER when no interface is open; VDAPI_E_INVALID_BUF when
    /// a buffer is null with a non-zero size; VDAPI_E_BUF_TOO_LARGE when the input exceeds the
    /// largest request the driver accepts; the translation of a driver error
    /// (DriverErrorToResult: VDAPI_E_IN_USE, VDAPI_E_OUT_OF_RESOURCES, VDAPI_E_CANCELLED,
    /// VDAPI_E_COMMUNICATION, ...); VDAPI_E_COMMUNICATION when the exchange breaks (the driver
    /// went away, or announced more output than the room given: nothing of it is read, and the
    /// handle is closed because the stream can no longer be trusted).
    virtual VdResult Request(uint32_t code, const void* input, uint32_t inputSize, void* output,
                             uint32_t outputCapacity, uint32_t* returnedSize, uint32_t* windowsError) = 0;

    /// Sends independent requests together: the driver answers each exactly as if it had come
    /// alone, in order, and each item receives what Request would have given it. A handle that
    /// cannot hand them over at once (or a driver that does not take batches) sends them one
    /// after the other, which is what this default does. As one by one, a broken exchange closes
    /// the handle: its item gets VDAPI_E_COMMUNICATION and the items after it VDAPI_E_DEV_DRIVER.
    virtual void RequestBatch(std::span<DriverRequestItem> items)
    {
        for (DriverRequestItem& item : items)
            item.result = Request(item.code, item.input, item.inputSize, item.output, item.outputCapacity,
                                  &item.returnedSize, &item.windowsError);
    }

    /// Closes the handle. Harmless when not open.
    virtual void Close() = 0;

    /// True while an interface is open.
    virtual bool IsOpen() const = 0;

    /// Which interface indices of the class exist now: bit i of presentMask is set for index i
    /// (0..kMaxDriverInterfaces-1). Does not open them. Returns VDAPI_OK (mask 0 when the
    /// driver is not installed); VDAPI_E_INTERNAL when the interfaces cannot be listed.
    virtual VdResult ListInterfaces(uint64_t& presentMask) = 0;
};

/// Result code for a driver's raw error number: 0 gives VDAPI_OK; a customer-defined error
/// (bit 29 set) gives its matching code (0xE000000A: VDAPI_E_IN_USE; a customer error whose
/// low 16 bits are a named error code of this layer: that code); 1450 gives
/// VDAPI_E_OUT_OF_RESOURCES; 995 gives VDAPI_E_CANCELLED; anything else VDAPI_E_COMMUNICATION.
VdResult DriverErrorToResult(uint32_t windowsError);

} // namespace Vdapi
