// Halvix::JsonRpcClient: empty status and settings.
#include "app/JsonRpcClient.h"

namespace Halvix {

JsonRpcClient::JsonRpcClient(kel::SharedLogger* logger)
    : kel::JsonRpcClient(logger)
{
}

JsonRpcClient::~JsonRpcClient()
{
    shutdown();
}

kel::Json JsonRpcClient::getStatus()
{
    return kel::Json::object();
}

kel::Json JsonRpcClient::getSettings()
{
    return kel::Json::object();
}

} // namespace Halvix
