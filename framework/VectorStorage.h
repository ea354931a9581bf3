// kel::VectorStorage: packet storage in a growable byte vector with headroom on first growth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/IPacketStorage.h"

namespace kel {

/// The first growth of a storage that never held capacity reserves 1.5 times the requested
/// size (truncated), so the first few larger frames need no reallocation; later growth is
/// the vector's own geometric growth; shrinking keeps the capacity.
class VectorStorage : public IPacketStorage {
public:
    const std::uint8_t* data() const override;
    std::uint8_t* data() override;
    void assign(const std::uint8_t* bytes, std::size_t count) override;
    std::size_t size() const override;
    void resize(std::size_t count) override;

    /// Bytes reserved.
    std::size_t capacity() const { return bytes_.capacity(); }

private:
    void reserveForFirstGrowth(std::size_t count);

    std::vector<std::uint8_t> bytes_;
};

}  // namespace kel
