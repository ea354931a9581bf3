// Routes of the HTTP side of `halvixctl serve`.
#include "tools/halvixctl/ServeHttp.h"

#include "tools/halvixctl/ServeAssets.h"

#include <httplib.h>

#include <cerrno>
#include <cstdlib>

namespace halvixctl::serve {

namespace {

using nlohmann::json;

constexpr const char* kJson = "application/json";

void answer(httplib::Response& response, const Reply& reply)
{
    response.status = reply.status;
    response.set_content(reply.body, kJson);
    response.set_header("Cache-Control", "no-store");
}

/// The brick named by the first path group, or an answer of 404.
std::shared_ptr<BrickSession> brickOf(const httplib::Request& request, httplib::Response& response,
                                      const BrickRegistry& registry)
{
    const std::string text = request.matches[1];
    errno = 0;
    char* end = nullptr;
    const long id = std::strtol(text.c_str(), &end, 10);
    std::shared_ptr<BrickSession> session;
    if (errno == 0 && *end == '\0' && id > 0 && id <= 1000000000)
        session = registry.find(int(id));
    if (!session)
        answer(response, Reply::error(404, "no brick with id " + text));
    return session;
}

/// The options of a scan from the request body, or the reason they are unusable.
std::optional<ScanOptions> scanOptions(const std::string& body, std::string& why)
{
    ScanOptions options;
    if (body.find_first_not_of(" \t\r\n") == std::string::npos)
        return options;
    const json parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded()) {
        why = "the body is not JSON";
        return std::nullopt;
    }
    if (!parsed.is_object()) {
        why = "the body must be a JSON object such as {\"nic\": true, \"dte\": false}";
        return std::nullopt;
    }
    for (const auto& [key, value] : parsed.items()) {
        if (key != "nic" && key != "dte") {
            why = "unknown scan option \"" + key + "\" (known: nic, dte)";
            return std::nullopt;
        }
        if (!value.is_boolean()) {
            why = "scan option \"" + key + "\" must be true or false";
            return std::nullopt;
        }
        (key == "nic" ? options.nic : options.dte) = value.get<bool>();
    }
    return options;
}

/// Waits for a job of a brick; the worker always settles it, the margin only guards against a
/// worker that is itself stuck.
Reply await(std::future<Reply> future, std::chrono::milliseconds limit)
{
    if (future.wait_for(limit + std::chrono::seconds(30)) != std::future_status::ready)
        return Reply::error(504, "no answer in time");
    return future.get();
}

} // namespace

void installApi(httplib::Server& server, BrickRegistry& registry, const Settings& settings)
{
    for (const Asset& asset : assets()) {
        server.Get(asset.path, [&asset](const httplib::Request&, httplib::Response& response) {
            response.set_content(asset.content, asset.type);
        });
    }
    server.Get("/api/bricks", [&registry](const httplib::Request&, httplib::Response& response) {
        answer(response, Reply{200, registry.list().dump()});
    });
    server.Get(R"(/api/bricks/([^/]+))", [&registry](const httplib::Request& request, httplib::Response& response) {
        if (const auto brick = brickOf(request, response, registry))
            answer(response, Reply{200, brick->describe().dump()});
    });
    server.Get(R"(/api/bricks/([^/]+)/inventory)",
               [&registry](const httplib::Request& request, httplib::Response& response) {
                   const auto brick = brickOf(request, response, registry);
                   if (!brick)
                       return;
                   const auto report = brick->inventory();
                   if (report)
                       answer(response, Reply{200, *report});
                   else
                       answer(response, Reply::error(404, "brick " + std::to_string(brick->id()) +
                                                              " has not been scanned yet"));
               });
    server.Post(R"(/api/bricks/([^/]+)/scan)",
                [&registry, settings](const httplib::Request& request, httplib::Response& response) {
                    const auto brick = brickOf(request, response, registry);
                    if (!brick)
                        return;
                    std::string why;
                    const auto options = scanOptions(request.body, why);
                    if (!options)
                        return answer(response, Reply::error(400, why));
                    answer(response, await(brick->scan(*options), settings.scanTimeout + 2 * settings.callTimeout));
                });
    server.Post(R"(/api/bricks/([^/]+)/quit)",
                [&registry, settings](const httplib::Request& request, httplib::Response& response) {
                    if (const auto brick = brickOf(request, response, registry))
                        answer(response, await(brick->quit(), settings.scanTimeout + settings.callTimeout));
                });
    // The same paths with the other method.
    const auto wrongMethod = [](const char* allowed) {
        return [allowed](const httplib::Request& request, httplib::Response& response) {
            response.set_header("Allow", allowed);
            answer(response, Reply::error(405, request.method + " is not allowed on " + request.path + " (use " +
                                                   allowed + ")"));
        };
    };
    server.Get(R"(/api/bricks/[^/]+/(scan|quit))", wrongMethod("POST"));
    server.Post(R"(/api/bricks(/[^/]+(/inventory)?)?)", wrongMethod("GET"));
    server.set_error_handler([](const httplib::Request& request, httplib::Response& response) {
        if (!response.body.empty())
            return;
        const std::string message = response.status == 404 ? "no such path: " + request.method + " " + request.path
                                                             : "the request was refused (HTTP " +
                                                                   std::to_string(response.status) + ")";
        answer(response, Reply::error(response.status, message));
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
        std::string what = "unknown error";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        answer(response, Reply::error(500, "internal error: " + what));
    });
}

} // namespace halvixctl::serve
