// Entry point of halvix: builds the logger, the JSON-RPC client and the application, reads the
// command line, connects to the GUI and runs until the GUI sends "quit".
#include "app/App.h"
#include "app/PortProbe.h"
#include "framework/JsonRpcClient.h"
#include "log/LogMessage.h"
#include "log/SharedLogger.h"

#include <chrono>
#include <exception>
#include <string>
#include <thread>

namespace {

const char* const kSource = "Halvix";

struct CommandLine {
    std::string serverAddress = "127.0.0.1";
    std::string localAddress = "127.0.0.1";
};

void log(kel::SharedLogger& logger, uint32_t level, std::string text)
{
    logger.log(LogMessage(level, std::move(text), kSource));
}

// Every option takes the next argument verbatim; anything else is reported and skipped.
// --app_id and --log_file_path take effect as they are met, so the last occurrence wins.
CommandLine parseArguments(int argc, char** argv, kel::SharedLogger& logger, kel::JsonRpcClient& client)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (hasValue && option == "--server_address") {
            line.serverAddress = argv[++i];
        } else if (hasValue && option == "--local_address") {
            line.localAddress = argv[++i];
        } else if (hasValue && option == "--app_id") {
            client.setAppId(argv[++i]);
        } else if (hasValue && option == "--log_file_path") {
            logger.setLogFilePath(argv[++i]);
        } else {
            log(logger, LogLevel::Warning, "Unknown option: " + option);
        }
    }
    return line;
}

// Runs with the objects built; returns the exit code. Returning destroys the application
// first (the first step of the orderly stop); the caller's objects follow in reverse order.
int run(int argc, char** argv, kel::SharedLogger& logger, kel::JsonRpcClient& client)
{
    Halvix::App app(&logger, &client, Halvix::isPortAvailable);
    client.setApp(&app);
    logger.composite().add(&logger.console());
    logger.setLogFilePath("");

    if (argc < 2) {
        log(logger, LogLevel::Error, "Server address argument is missing");
        log(logger, LogLevel::Info, "Stopping application...");
        logger.stop();
        return 1;
    }
    const CommandLine line = parseArguments(argc, argv, logger, client);
    log(logger, LogLevel::Info, "Running Halvix");
    try {
        client.connect(line.serverAddress, line.localAddress);
    } catch (const std::exception& e) {
        log(logger, LogLevel::Error, std::string("Cannot start the connection to the GUI: ") + e.what());
        logger.stop();
        return 1;
    }
    // The quit flag is polled: "quit" is noticed within about 100 ms.
    while (!app.quitRequested())
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
    log(logger, LogLevel::Info, "Stopping all bricks");
    // The client stops before the logger, so that its last lines (notifications that could
    // not be delivered) are still written. No handler reaches the application any more.
    client.shutdown();
    logger.stop();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    kel::SharedLogger logger("SharedLogger");
    // The application built in run() registers its scan methods in the client.
    kel::JsonRpcClient client(&logger);
    return run(argc, argv, logger, client);
}
