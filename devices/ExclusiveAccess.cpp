// Exclusive-access requests on function blocks, block collections and legacy ports.
#include "devices/ExclusiveAccess.h"

namespace Vdapi {

namespace DP = DriverProtocol;

VdResult ExclusiveRequestResult(VdResult requestResult, uint32_t windowsError, int32_t command)
{
    if (isSuccess(requestResult) || requestResult == VDAPI_E_COMMUNICATION)
        return requestResult;
    if (windowsError == DP::kErrHeldByOtherUser)
        return command == kExclRelease ? VDAPI_E_COMMUNICATION : VDAPI_E_IN_USE;
    return requestResult;
}

VdResult FunctionBlock::Exclusive(int32_t command)
{
    if (command < kExclAcquire || command > kExclPassThrough)
        return VDAPI_E_NOT_SUPPORTED;
    if (!m_driver || !m_driver->IsOpen())
        return VDAPI_E_DEV_DRIVER;
    DP::FunctionBlockHeader header{m_id.id1, m_id.id2, command - 1};
    uint8_t bytes[DP::FunctionBlockHeader::kSize];
    header.encode(bytes);
    uint32_t windowsError = 0;
    const VdResult rc =
        m_driver->Request(DP::kExclusiveAccess, bytes, sizeof bytes, nullptr, 0, nullptr, &windowsError);
    return ExclusiveRequestResult(rc, windowsError, command);
}

FunctionBlockCollection::FunctionBlockCollection(IXpDriver* driver, const std::vector<DP::BlockId>& ids)
{
    m_blocks.reserve(ids.size());
    for (const DP::BlockId& id : ids)
        m_blocks.emplace_back(driver, id);
}

VdResult FunctionBlockCollection::Exclusive(int32_t command)
{
    if (command < kExclAcquire || command > kExclPassThrough)
        return VDAPI_E_INVALID_ARG;
    VdResult kept = VDAPI_OK;
    size_t failedAt = m_blocks.size();
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const VdResult rc = m_blocks[i].Exclusive(command);
        if (rc == VDAPI_OK || rc == VDAPI_E_NOT_SUPPORTED || kept != VDAPI_OK)
            continue;
        kept = rc;
        failedAt = i;
        if (command != kExclRelease)
            break;
    }
    if (command == kExclAcquire && kept != VDAPI_OK)
        for (size_t i = 0; i < failedAt; ++i)
            m_blocks[i].Exclusive(kExclRelease); // undo, so that an acquire claims all or nothing
    return kept;
}

VdResult LegacyPortAccess::Exclusive(int32_t command)
{
    if (command < kExclAcquire || command > kExclProbe)
        return VDAPI_E_NOT_SUPPORTED;
    if (!m_driver || !m_driver->IsOpen())
        return VDAPI_E_DEV_DRIVER;
    DP::LegacyExclusiveRequest request{m_port, command};
    uint8_t bytes[DP::LegacyExclusiveRequest::kSize];
    request.encode(bytes);
    uint32_t windowsError = 0;
    const VdResult rc =
        m_driver->Request(DP::kLegacyExclusiveAccess, bytes, sizeof bytes, nullptr, 0, nullptr, &windowsError);
    return ExclusiveRequestResult(rc, windowsError, command);
}

} // namespace Vdapi
