// Feeds arbitrary bytes, in arbitrary chunks, through the client's frame extraction and
// dispatch with every built-in method registered. The first input byte chooses the chunking.
#include "framework/App.h"
#include "framework/JsonRpcClient.h"
#include "log/SharedLogger.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

class FuzzApp : public kel::App {
public:
    using kel::App::App;
    bool start() override { return true; }
    void stop() override {}
    bool isRunning() override { return true; }
};

// Methods whose effects reach outside this process (files, CPU affinity). Every payload the
// client dispatches is a run of consecutive input bytes (a dropped chunk or a refused header
// clears the buffer), so a method name in it is in the input as written, unless spelt with
// \u escapes: such inputs are skipped too.
bool mayTouchOutside(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::string_view word : {"setLogFile", "setCpuMask", "\\u"})
        if (bytes.find(word) != std::string_view::npos)
            return true;
    return false;
}

// Chunk sizes from a small generator seeded by the first byte: 1 byte up to a few kB.
std::vector<size_t> chunking(uint8_t seed, size_t total)
{
    std::vector<size_t> sizes;
    uint32_t state = seed | 1u;
    for (size_t done = 0; done < total;) {
        state = state * 1103515245u + 12345u;
        const size_t limit = (state >> 16) % 4 == 0 ? 4096 : 16;
        const size_t n = std::min<size_t>(total - done, 1 + (state >> 8) % limit);
        sizes.push_back(n);
        done += n;
    }
    return sizes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static std::ostream nowhere(nullptr);
    static kel::SharedLogger logger("FuzzLogger", nowhere, true);
    if (mayTouchOutside(data + 1, size - 1))
        return 0;
    const auto sizes = chunking(data[0], size - 1);
    kel::JsonRpcClient client(&logger);
    FuzzApp app("Fuzz", &logger, &client);
    client.setApp(&app);
    const uint8_t* at = data + 1;
    for (size_t n : sizes) {
        client.receiveBytes(at, n);
        at += n;
    }
    client.shutdown();
    return 0;
}
