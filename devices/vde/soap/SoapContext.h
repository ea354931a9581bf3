// Owner of one SOAP toolkit context: created with a mode, freed with everything it allocated.
#pragma once

struct soap;
struct Namespace;

namespace Vdapi {

class SoapContext {
public:
    // Limits on what a device may send, applied to every context: message size, XML nesting
    // depth and the number of elements of one repeated field.
    static constexpr unsigned long long kMaxMessageBytes = 1u << 20;
    static constexpr unsigned kMaxNesting = 64;
    static constexpr unsigned kMaxRepeats = 4096;


    /// mode: the toolkit's I/O and content flags (0 for HTTP defaults). Get() is null when the
    /// context could not be allocated. The limits above are set.
    explicit SoapContext(int mode, const Namespace* namespaces);
    ~SoapContext();
    SoapContext(const SoapContext&) = delete;
    SoapContext& operator=(const SoapContext&) = delete;

    struct soap* Get() const { return soap_; }
    /// Frees what the last exchange deserialised; the context stays configured.
    void FreeMessages();
    /// Sets the limits above on any context (the simulator's too).
    static void ApplyLimits(struct soap* context);

private:
    struct soap* soap_ = nullptr;
};

} // namespace Vdapi
