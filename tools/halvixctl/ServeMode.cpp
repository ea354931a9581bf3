// The serve mode: command line, the brick listener, the HTTP server and an orderly stop.
#include "tools/halvixctl/ServeMode.h"

#include "tools/gui/GuiServer.h"
#include "tools/halvixctl/ServeHttp.h"
#include "tools/halvixctl/ServeRegistry.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

namespace halvixctl::serve {

namespace {

using namespace std::chrono_literals;

const char* const Usage =
    "usage: halvixctl serve [--address A] [--http H:P] [--every S] | --help | --version\n"
    "  Accepts every brick that connects to A:6666 (default 127.0.0.1) and shows them on a web page\n"
    "  with a JSON API at http://H:P/ (default 127.0.0.1:8080). Runs until SIGINT or SIGTERM.\n"
    "Options:\n"
    "  --address A   IPv4 address to listen on for bricks\n"
    "  --http H:P    IPv4 address and port of the page and the API\n"
    "  --every S     scan each brick every S seconds through its own scheduler\n"
    "API: GET /api/bricks, GET /api/bricks/ID, GET /api/bricks/ID/inventory,\n"
    "     POST /api/bricks/ID/scan {\"nic\":bool,\"dte\":bool}, POST /api/bricks/ID/quit\n";

/// Bricks accepted are looked for this often, and ended sessions joined.
constexpr auto kAcceptStep = 200ms;
/// Threads answering HTTP requests; a scan request holds one for the whole scan.
constexpr size_t kHttpThreads = 24;

struct Options {
    std::string address = "127.0.0.1";
    std::string httpHost = "127.0.0.1";
    int httpPort = 8080;
    Settings settings;
};

int usageError(const std::string& message)
{
    std::cerr << "halvixctl serve: " << message << "\n" << Usage;
    return 2;
}

std::optional<int> parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::string value = i + 1 < argc ? argv[i + 1] : "";
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage;
            return 0;
        } else if (arg == "--version") {
            std::cout << "halvixctl " HALVIX_VERSION "\n";
            return 0;
        } else if (arg == "--address") {
            if (!hasValue || !gui::GuiServer::isDottedQuad(value))
                return usageError("--address needs an IPv4 address such as 127.0.0.1, not \"" + value + "\"");
            options.address = value;
            ++i;
        } else if (arg == "--http") {
            const size_t colon = value.rfind(':');
            const std::string host = colon == std::string::npos ? "" : value.substr(0, colon);
            const std::string port = colon == std::string::npos ? "" : value.substr(colon + 1);
            char* end = nullptr;
            const long number = port.empty() ? 0 : std::strtol(port.c_str(), &end, 10);
            if (!hasValue || !gui::GuiServer::isDottedQuad(host) || port.empty() || port.size() > 5 || *end != '\0' || number < 1 ||
                number > 65535)
                return usageError("--http needs IPv4-ADDRESS:PORT such as 127.0.0.1:8080, not \"" + value + "\"");
            options.httpHost = host;
            options.httpPort = int(number);
            ++i;
        } else if (arg == "--every") {
            char* end = nullptr;
            const double seconds = hasValue ? std::strtod(value.c_str(), &end) : 0;
            if (!hasValue || value.empty() || *end != '\0' || !(seconds >= 0.001) || seconds > 1e6)
                return usageError("--every needs a positive number of seconds, not \"" + value + "\"");
            options.settings.every = std::chrono::milliseconds(std::llround(seconds * 1000));
            ++i;
        } else {
            return usageError("unknown argument " + arg);
        }
    }
    return std::nullopt;
}

} // namespace

int run(int argc, char** argv)
{
    Options options;
    if (const auto code = parse(argc, argv, options))
        return *code;

    // Every thread started below inherits this mask; one of them waits for the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    gui::GuiServer listener(options.address);
    if (const gui::GuiResult listening = listener.listen(); !listening) {
        std::cerr << "halvixctl serve: " << listening.message << "\n";
        return 1;
    }
    BrickRegistry registry(options.settings);
    httplib::Server http;
    http.new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
    http.set_keep_alive_timeout(2);
    // The library's default adds SO_REUSEPORT, which would let a second server share the port.
    http.set_socket_options([](int socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http.set_payload_max_length(64 * 1024);
    installApi(http, registry, options.settings);
    const std::string url = "http://" + options.httpHost + ":" + std::to_string(options.httpPort) + "/";
    if (!http.bind_to_port(options.httpHost, options.httpPort)) {
        std::cerr << "halvixctl serve: cannot serve HTTP on " << options.httpHost << ":" << options.httpPort
                  << " (address in use or not on this machine)\n";
        return 1;
    }

    std::atomic<bool> stop{false};
    std::thread acceptor([&] {
        while (!stop) {
            auto connection = std::make_unique<gui::BrickConnection>();
            const gui::GuiResult accepted = listener.acceptInto(*connection, gui::BrickConnection::in(kAcceptStep));
            if (accepted.ok()) {
                registry.add(std::move(connection), accepted.value["address"].get<std::string>() + ":" +
                                                        std::to_string(accepted.value["port"].get<int>()));
            } else if (accepted.error != gui::GuiError::Timeout) {
                logLine("accepting a brick failed: " + accepted.message);
                std::this_thread::sleep_for(kAcceptStep); // not to spin on a broken listener
            }
            registry.reap();
        }
    });
    std::thread signals([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (!stop)
            logLine(std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
        stop = true;
        http.stop();
    });

    logLine("listening for bricks on " + options.address + ":" + std::to_string(listener.port()));
    logLine("serving the page and the API on " + url);
    const bool served = http.listen_after_bind();
    if (!stop) {
        // The server ended by itself: release the signal thread.
        stop = true;
        pthread_kill(signals.native_handle(), SIGTERM);
    }
    signals.join();
    acceptor.join();
    registry.stopAll();
    logLine("stopped");
    return served ? 0 : 1;
}

} // namespace halvixctl::serve
