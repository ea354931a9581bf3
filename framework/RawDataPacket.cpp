// Packets forwarding to their owned storage.
#include "framework/RawDataPacket.h"

#include <stdexcept>
#include <utility>

#include "framework/VectorStorage.h"

namespace kel {

RawDataPacket::RawDataPacket(std::unique_ptr<IPacketStorage> storage) : storage_(std::move(storage))
{
    if (!storage_)
        throw std::logic_error("Building data packet with empty storage");
}

std::unique_ptr<RawDataPacket> makeVectorPacket()
{
    return std::make_unique<RawDataPacket>(std::make_unique<VectorStorage>());
}

}  // namespace kel
