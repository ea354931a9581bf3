// Feeds arbitrary bytes, in arbitrary chunks, through the client's frame extraction and
// dispatch with every built-in method registered. The first input byte chooses the chunking.
#include "framework/App.h"
#include "framework/FrameReader.h"
#include "framework/JsonRpcClient.h"
#include "log/SharedLogger.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

class FuzzApp : public kel::App {
public:
    using kel::App::App;
    bool start() override { return true; }
    void stop() override {}
    bool isRunning() override { return true; }
};

// Methods whose effects reach outside this process (files, CPU affinity) or end the run.
bool touchesOutside(const kel::Json& value)
{
    std::vector<const kel::Json*> stack{&value};
    while (!stack.empty()) {
        const kel::Json* v = stack.back();
        stack.pop_back();
        if (v->is_string()) {
            const auto& s = v->get_ref<const std::string&>();
            if (s == "setLogFile" || s == "setCpuMask" || s == "quit")
                return true;
        } else if (v->is_structured()) {
            for (const auto& child : *v)
                stack.push_back(&child);
        }
    }
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

// Cuts the payloads exactly as the client does (pieces that fit, a dropped chunk and a refused
// header clear the buffer) so the harness can look at what the client will dispatch.
bool anyPayloadTouchesOutside(const uint8_t* data, const std::vector<size_t>& sizes)
{
    kel::FrameReader reader;
    for (size_t chunk : sizes) {
        while (chunk > 0) {
            const size_t piece = reader.pieceOf(chunk);
            if (piece == 0 || !reader.append(data, piece)) {
                reader.clear();
                data += chunk;
                break;
            }
            data += piece;
            chunk -= piece;
            for (auto status = reader.next(); status != kel::FrameReader::Status::NeedMore; status = reader.next()) {
                if (status == kel::FrameReader::Status::BadHeader) {
                    reader.clear();
                    break;
                }
                const auto payload = reader.payload();
                const kel::Json parsed = kel::Json::parse(payload.begin(), payload.end(), nullptr, false);
                if (!parsed.is_discarded() && touchesOutside(parsed))
                    return true;
            }
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static std::ostream nowhere(nullptr);
    static kel::SharedLogger logger("FuzzLogger", nowhere, true);
    const auto sizes = chunking(data[0], size - 1);
    if (anyPayloadTouchesOutside(data + 1, sizes))
        return 0;
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
