// kel::App construction.
#include "framework/App.h"

#include <utility>

namespace kel {

App::App(std::string appType, SharedLogger* logger, JsonRpcClient* client)
    : appType_(std::move(appType)), logger_(logger), client_(client)
{
}

} // namespace kel
