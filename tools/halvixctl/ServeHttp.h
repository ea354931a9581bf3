// The HTTP side of `halvixctl serve`: the JSON API over the brick registry and the page.
#pragma once

#include "tools/halvixctl/ServeRegistry.h"

namespace httplib {
class Server;
}

namespace halvixctl::serve {

/// Installs the routes on `server`:
///   GET  /, /serve.js, /serve.css         the page (embedded, see ServeAssets.h)
///   GET  /api/bricks                      every brick, described
///   GET  /api/bricks/ID                   one brick
///   GET  /api/bricks/ID/inventory         its last report as the brick sent it (404 before a scan)
///   POST /api/bricks/ID/scan              body {"nic": bool, "dte": bool} (both optional); the report
///   POST /api/bricks/ID/quit              sends "quit", answers once the brick has left
/// Every error is {"error": text, "status": code}: 400 bad body, 404 unknown brick or path,
/// 405 wrong method, 409 a scan runs already, 503 the brick has gone, 504 no answer in time.
void installApi(httplib::Server& server, BrickRegistry& registry, const Settings& settings);

} // namespace halvixctl::serve
