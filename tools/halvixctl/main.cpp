// halvixctl: a console stand-in for the GUI. It listens on ADDRESS:6666, accepts one brick,
// shows its announcement and runs one job (call, watch, quit, scan).
#include "tools/gui/GuiServer.h"
#include "tools/halvixctl/InventoryTable.h"
#include "tools/halvixctl/ServeMode.h"
#include "tools/local/LocalDevices.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using gui::GuiResult;
using gui::GuiServer;
using nlohmann::json;

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

const char* const Usage =
    "usage: halvixctl [--address A] [--timeout S] [--quit] JOB\n"
    "  Listens on A:6666 (default 127.0.0.1), waits for a brick, prints its announcement, runs JOB.\n"
    "JOB:\n"
    "  call METHOD [PARAMS-JSON]    send a request; print the result JSON (an error exits 1)\n"
    "  watch [--count N]            print notifications as they arrive, until interrupted or N\n"
    "  quit                         send \"quit\" and wait for the brick to disconnect\n"
    "  scan [--nic] [--dte] [--json]  enable the chosen scans, call scanDevices, print the report\n"
    "                               as a table of ports (--json: the result array as JSON)\n"
    "  scan [--kind K] [--free] [--why]  the table of the entries of kind K (ASI, SDI, RF, IP,\n"
    "                               4K) and/or those that are free; --why adds a column from this\n"
    "                               machine's own device layer: why a port is not free (held by\n"
    "                               another user, device attach refused, no link...), each\n"
    "                               device's firmware, an adapter's interface index. Only for a\n"
    "                               brick on this machine (same VDAPI_RUN_DIR); for a remote brick\n"
    "                               the column says so. Not with --json, which is the report as is.\n"
    "Or: halvixctl serve [...]      many bricks on a web page (halvixctl serve --help)\n"
    "Options:\n"
    "  --help, --version  this text, or the version; exit code 0 (2 for bad usage, 1 for a failed job)\n"
    "  --timeout S   seconds to wait for the brick and for each reply (default 30); watch waits\n"
    "                without limit between notifications unless --timeout is given\n"
    "  --quit        after the job, send \"quit\" and wait for the brick to disconnect\n";

struct Options {
    std::string address = "127.0.0.1";
    double timeoutSeconds = 30;
    bool timeoutGiven = false;
    bool quitAfter = false;
    std::vector<std::string> job; // job name and its positional arguments
    json params;                  // PARAMS-JSON of call (null when not given)
    std::optional<long> count;
    bool nic = false;
    bool dte = false;
    bool jsonOutput = false;
    bool why = false;
    bool onlyFree = false;
    std::string kind; // only entries of this "type" (empty: all)
};

int usageError(const std::string& message)
{
    std::cerr << "halvixctl: " << message << "\n" << Usage;
    return ExitUsage;
}

/// Parses the command line; returns an exit code when it is unusable.
std::optional<int> parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage;
            return ExitOk;
        } else if (arg == "--version") {
            std::cout << "halvixctl " HALVIX_VERSION "\n";
            return ExitOk;
        } else if (arg == "--address") {
            const auto text = value();
            if (!text || !gui::GuiServer::isDottedQuad(*text))
                return usageError("--address needs an IPv4 address such as 127.0.0.1, not \"" +
                                  text.value_or("") + "\"");
            options.address = *text;
        } else if (arg == "--timeout") {
            const auto text = value();
            char* end = nullptr;
            const double seconds = text ? std::strtod(text->c_str(), &end) : 0;
            if (!text || text->empty() || *end != '\0' || !(seconds > 0) || seconds > 1e6)
                return usageError("--timeout needs a positive number of seconds");
            options.timeoutSeconds = seconds;
            options.timeoutGiven = true;
        } else if (arg == "--count") {
            const auto text = value();
            char* end = nullptr;
            const long count = text ? std::strtol(text->c_str(), &end, 10) : 0;
            if (!text || text->empty() || *end != '\0' || count <= 0)
                return usageError("--count needs a positive whole number");
            options.count = count;
        } else if (arg == "--quit") {
            options.quitAfter = true;
        } else if (arg == "--nic") {
            options.nic = true;
        } else if (arg == "--dte") {
            options.dte = true;
        } else if (arg == "--json") {
            options.jsonOutput = true;
        } else if (arg == "--why") {
            options.why = true;
        } else if (arg == "--free") {
            options.onlyFree = true;
        } else if (arg == "--kind") {
            const auto text = value();
            std::string kind = text.value_or("");
            for (char& c : kind)
                c = char(std::toupper(static_cast<unsigned char>(c)));
            if (kind != "ASI" && kind != "SDI" && kind != "RF" && kind != "IP" && kind != "4K")
                return usageError("--kind needs ASI, SDI, RF, IP or 4K, not \"" + text.value_or("") + "\"");
            options.kind = kind;
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            return usageError("unknown option " + arg);
        } else {
            options.job.push_back(arg);
        }
    }
    if (options.job.empty())
        return usageError("no job given");
    const std::string& job = options.job[0];
    const std::size_t arguments = options.job.size() - 1;
    if (job == "call") {
        if (arguments < 1 || arguments > 2)
            return usageError("call needs METHOD and optionally PARAMS-JSON");
        if (arguments == 2) {
            options.params = json::parse(options.job[2], nullptr, false);
            if (options.params.is_discarded())
                return usageError("PARAMS-JSON is not valid JSON: " + options.job[2]);
        }
    } else if (job == "watch" || job == "quit" || job == "scan") {
        if (arguments != 0)
            return usageError(job + " takes no arguments");
    } else {
        return usageError("unknown job " + job);
    }
    if (options.count && job != "watch")
        return usageError("--count belongs to watch");
    const bool shaped = options.why || options.onlyFree || !options.kind.empty();
    if ((options.nic || options.dte || options.jsonOutput || shaped) && job != "scan")
        return usageError("--nic, --dte, --json, --kind, --free and --why belong to scan");
    if (options.jsonOutput && shaped)
        return usageError("--json prints the report as it came; --kind, --free and --why shape the table");
    return std::nullopt;
}

class Controller {
public:
    explicit Controller(const Options& options) : options_(options), server_(options.address) {}

    int run()
    {
        const GuiResult listening = server_.listen();
        if (!listening)
            return fail(listening.message);
        if (const int code = connect(); code != ExitOk)
            return code;

        int code = ExitFailure;
        const std::string& job = options_.job[0];
        if (job == "call")
            code = runCall();
        else if (job == "watch")
            code = runWatch();
        else if (job == "scan")
            code = runScan();
        if (job == "quit" || (options_.quitAfter && code == ExitOk))
            code = runQuit();
        return code;
    }

private:
    GuiServer::Deadline deadline() const
    {
        return GuiServer::Clock::now() +
               std::chrono::duration_cast<GuiServer::Clock::duration>(std::chrono::duration<double>(options_.timeoutSeconds));
    }

    std::string seconds() const
    {
        char text[32];
        std::snprintf(text, sizeof text, "%g s", options_.timeoutSeconds);
        return text;
    }

    static int fail(const std::string& message)
    {
        std::cerr << "halvixctl: " << message << "\n";
        return ExitFailure;
    }

    /// Turns a failed wait into the message and exit code for "waiting for WHAT".
    int failedWait(const GuiResult& result, const std::string& what) const
    {
        if (result.error == gui::GuiError::Timeout)
            return fail("timed out after " + seconds() + " waiting for " + what);
        return fail(std::string(gui::toString(result.error)) + " while waiting for " + what + ": " + result.message);
    }

    int connect()
    {
        std::cerr << "waiting for a brick to connect on " << options_.address << ":" << server_.port() << "...\n"
                  << "  start one with: halvix --server_address " << options_.address << " --local_address "
                  << options_.address << std::endl;
        // After a while without a brick, the usual causes are named once; the wait goes on.
        const auto until = deadline();
        const auto hintAt = gui::GuiServer::in(std::chrono::seconds(10));
        GuiResult accepted = server_.accept(std::min(until, hintAt));
        if (!accepted && accepted.error == gui::GuiError::Timeout && hintAt < until) {
            std::cerr << "no brick after 10 s; usually halvix was started with another --server_address than "
                      << options_.address << ", a firewall blocks port " << server_.port()
                      << ", or halvix's --local_address is not an address of its machine" << std::endl;
            accepted = server_.accept(until);
        }
        if (!accepted)
            return failedWait(accepted, "a brick to connect");
        brickAddress_ = accepted.value["address"].get<std::string>();
        std::cerr << "brick connected from " << brickAddress_ << ":"
                  << accepted.value["port"] << std::endl;

        std::cerr << "waiting for the brick's newConnection..." << std::endl;
        const GuiResult announced = server_.nextNotification("newConnection", deadline());
        if (!announced)
            return failedWait(announced, "the brick's newConnection");
        const auto params = announced.value.find("params");
        std::cerr << "newConnection: " << (params != announced.value.end() ? params->dump() : "{}") << std::endl;
        return ExitOk;
    }

    /// Sends one request and waits for its result; prints the error and returns nothing on failure.
    std::optional<json> request(const std::string& method, const json& params)
    {
        std::cerr << "waiting for the reply to " << method << "..." << std::endl;
        const GuiResult reply = server_.call(method, params, deadline());
        if (!reply) {
            failedWait(reply, "the reply to " + method);
            return std::nullopt;
        }
        if (const auto error = reply.value.find("error"); error != reply.value.end()) {
            fail(method + " failed: " + error->dump());
            return std::nullopt;
        }
        if (const auto result = reply.value.find("result"); result != reply.value.end())
            return *result;
        fail(method + " reply has neither result nor error: " + reply.value.dump());
        return std::nullopt;
    }

    int runCall()
    {
        const auto result = request(options_.job[1], options_.params);
        if (!result)
            return ExitFailure;
        std::cout << result->dump() << std::endl;
        return ExitOk;
    }

    int runWatch()
    {
        std::cerr << "watching notifications..." << std::endl;
        long printed = 0;
        const auto forever = GuiServer::Clock::time_point::max();
        while (!options_.count || printed < *options_.count) {
            const GuiResult message = server_.nextMatching(
                [](const json& value) { return value.is_object() && !value.contains("id"); },
                options_.timeoutGiven ? deadline() : forever);
            if (!message)
                return failedWait(message, "a notification");
            std::cout << message.value.dump() << std::endl;
            ++printed;
        }
        return ExitOk;
    }

    int runScan()
    {
        if (options_.nic && !enable("enableNicDeviceScan", "nicDeviceScanEnabled"))
            return ExitFailure;
        if (options_.dte && !enable("enableDteDeviceScan", "dteDeviceScanEnabled"))
            return ExitFailure;
        const auto report = request("scanDevices", json::object());
        if (!report)
            return ExitFailure;
        if (!report->is_array())
            return fail("scanDevices did not return an array: " + report->dump());
        if (options_.jsonOutput)
            std::cout << report->dump() << std::endl;
        else
            printTable(*report);
        // The report alone cannot tell "no hardware" from "nothing to ask": when the brick runs
        // on this machine, its device layer reads the same run directory as ours.
        if (onlyAdapters(*report) && local::isLocalAddress(brickAddress_) && !local::hasDriverOrService())
            std::cerr << "halvixctl: " << local::nothingToScanMessage() << std::endl;
        return ExitOk;
    }

    /// The table of the entries the filters keep, with the local device layer's column for --why.
    void printTable(const json& report) const
    {
        json kept = json::array();
        for (const json& entry : report) {
            if (!options_.kind.empty() && !(entry.is_object() && entry.value("type", json()) == options_.kind))
                continue;
            if (options_.onlyFree && !(entry.is_object() && entry.value("isAvailable", json()) == json(true)))
                continue;
            kept.push_back(entry);
        }
        std::vector<std::string> why;
        if (options_.why)
            why = localWhy(kept);
        std::cout << halvixctl::renderInventory(kept, why, "WHY (this machine's device layer)") << std::endl;
        if (kept.size() != report.size())
            std::cout << "(filtered: " << kept.size() << " of " << report.size() << " entries shown)" << std::endl;
    }

    /// Per entry, what this machine's device layer tells of its port: the reason a port that is
    /// not free cannot be taken, and its device's firmware (an adapter: its interface).
    std::vector<std::string> localWhy(const json& entries) const
    {
        if (!local::isLocalAddress(brickAddress_))
            return std::vector<std::string>(entries.size(), "brick on another machine: not known here");
        std::vector<Vdapi::HwFunctionDescriptor> ports;
        local::scanPorts(ports, true, true, 0);
        std::vector<std::string> texts;
        for (const json& entry : entries) {
            const Vdapi::HwFunctionDescriptor* port = nullptr;
            const json serial = entry.is_object() ? entry.value("serial", json()) : json();
            const json number = entry.is_object() ? entry.value("port", json()) : json();
            for (const Vdapi::HwFunctionDescriptor& candidate : ports)
                if (serial == json(std::to_string(candidate.device.serial)) && number == json(candidate.port))
                    port = &candidate;
            if (!port) {
                texts.push_back("not found here");
                continue;
            }
            std::string text = local::deviceFacts(*port);
            if (entry.value("isAvailable", json()) != json(true)) {
                const std::string reason = local::whyNotFree(*port);
                text = (reason.empty() ? "free now" : reason) + "; " + text;
            }
            texts.push_back(text);
        }
        return texts;
    }

    static bool onlyAdapters(const json& report)
    {
        for (const json& entry : report)
            if (!entry.is_object() || entry.value("category", json()) != "NIC")
                return false;
        return true;
    }

    bool enable(const std::string& method, const std::string& flag)
    {
        const auto result = request(method, json{{flag, true}});
        if (!result)
            return false;
        if (*result != json(true)) {
            fail(method + " answered " + result->dump() + " instead of true");
            return false;
        }
        return true;
    }

    int runQuit()
    {
        const GuiResult sent = server_.sendNotification("quit");
        if (!sent)
            return fail("cannot send quit: " + sent.message);
        std::cerr << "waiting for the brick to disconnect..." << std::endl;
        const GuiResult gone = server_.waitDisconnected(deadline());
        if (!gone)
            return failedWait(gone, "the brick to disconnect");
        std::cerr << "the brick disconnected" << std::endl;
        return ExitOk;
    }

    const Options& options_;
    GuiServer server_;
    std::string brickAddress_;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "serve")
        return halvixctl::serve::run(argc - 1, argv + 1);
    Options options;
    if (const auto code = parse(argc, argv, options))
        return *code;
    return Controller(options).run();
}
