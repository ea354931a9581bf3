// Owner of one SOAP toolkit context: created with a mode, freed with everything it allocated.
#pragma once

struct soap;
struct Namespace;

namespace Vdapi {

class SoapContext {
public:
    /// mode: the toolkit's I/O and content flags (0 for HTTP defaults). Get() is null when the
    /// context could not be allocated.
    explicit SoapContext(int mode, const Namespace* namespaces);
    ~SoapContext();
    SoapContext(const SoapContext&) = delete;
    SoapContext& operator=(const SoapContext&) = delete;

    struct soap* Get() const { return soap_; }
    /// Frees what the last exchange deserialised; the context stays configured.
    void FreeMessages();

private:
    struct soap* soap_ = nullptr;
};

} // namespace Vdapi
