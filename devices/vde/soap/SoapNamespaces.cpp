// The namespace tables of the device contexts; the discovery table is also the process-wide
// default the SOAP runtime starts every context with.
#include "devices/vde/soap/SoapNamespaces.h"

#include <stdsoap2.h>

namespace Vdapi::VdeSoap {

const Namespace kDeviceCallNamespaces[] = {
    {"SOAP-ENV", "http://www.w3.org/2003/05/soap-envelope", nullptr, nullptr},
    {"SOAP-ENC", "http://www.w3.org/2003/05/soap-encoding", nullptr, nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"Vdapi", kVdapiNamespace, nullptr, nullptr},
    {"VdDev", kVdDevNamespace, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

} // namespace Vdapi::VdeSoap

// Every SOAP context starts with this table, the discovery one, until it is given another.
SOAP_NMAC struct Namespace namespaces[] = {
    {"SOAP-ENV", "http://www.w3.org/2003/05/soap-envelope", nullptr, nullptr},
    {"SOAP-ENC", "http://www.w3.org/2003/05/soap-encoding", nullptr, nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"wsa", "http://schemas.xmlsoap.org/ws/2004/08/addressing", nullptr, nullptr},
    {"wsd", "http://schemas.xmlsoap.org/ws/2005/04/discovery", nullptr, nullptr},
    {"Vdapi", Vdapi::VdeSoap::kVdapiNamespace, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

const Namespace* const Vdapi::VdeSoap::kDiscoveryNamespaces = namespaces;
