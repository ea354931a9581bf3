// SOAP context ownership.
#include "devices/vde/soap/SoapContext.h"

#include <soapH.h>

namespace Vdapi {

SoapContext::SoapContext(int mode, const Namespace* namespaces) : soap_(soap_new1(static_cast<soap_mode>(mode)))
{
    if (soap_) {
        soap_set_namespaces(soap_, namespaces);
        ApplyLimits(soap_);
    }
}

void SoapContext::ApplyLimits(struct soap* context)
{
    context->recv_maxlength = kMaxMessageBytes;
    context->maxlevel = kMaxNesting;
    context->maxoccurs = kMaxRepeats;
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
