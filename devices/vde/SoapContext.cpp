// SOAP context ownership.
#include "devices/vde/SoapContext.h"

#include <soapH.h>

namespace Vdapi {

SoapContext::SoapContext(int mode, const Namespace* namespaces) : soap_(soap_new1(static_cast<soap_mode>(mode)))
{
    if (soap_)
        soap_set_namespaces(soap_, namespaces);
}

SoapContext::~SoapContext()
{
    if (!soap_)
        return;
    soap_destroy(soap_);
    soap_end(soap_);
    soap_free(soap_);
}

void SoapContext::FreeMessages()
{
    if (!soap_)
        return;
    soap_destroy(soap_);
    soap_end(soap_);
}

} // namespace Vdapi
