// kel::RawDataPacket: a packet that forwards to the one storage it owns.
#pragma once

#include <memory>

#include "framework/IPacket.h"
#include "framework/IPacketStorage.h"

namespace kel {

class RawDataPacket : public IPacket {
public:
    /// Takes ownership of `storage`. Throws std::logic_error("Building data packet with
    /// empty storage") when it is null.
    explicit RawDataPacket(std::unique_ptr<IPacketStorage> storage);

    const std::uint8_t* data() const override { return storage_->data(); }
    std::uint8_t* data() override { return storage_->data(); }
    void assign(const std::uint8_t* bytes, std::size_t count) override { storage_->assign(bytes, count); }
    std::size_t size() const override { return storage_->size(); }
    void resize(std::size_t count) override { storage_->resize(count); }

    /// The owned storage (never null).
    IPacketStorage& storage() { return *storage_; }
    const IPacketStorage& storage() const { return *storage_; }

private:
    std::unique_ptr<IPacketStorage> storage_;  // never null
};

/// A RawDataPacket over a fresh, empty VectorStorage.
std::unique_ptr<RawDataPacket> makeVectorPacket();

}  // namespace kel
