// Halvix::App construction.
#include "app/App.h"

#include "app/JsonRpcClient.h"

namespace Halvix {

App::App(kel::SharedLogger* logger, JsonRpcClient* client)
    : kel::App("Halvix", logger, client)
{
}

} // namespace Halvix
