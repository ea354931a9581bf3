// The control command table, the help texts and the usage answers made from it.
#include "sim/ControlCommands.h"

#include "sim/ControlDesk.h"

namespace vdsim {

namespace {

constexpr ControlCommand kCommands[] = {
    {"help", "list these commands", &ControlDesk::help},
    {"ping", "answer with the simulator's process id", &ControlDesk::ping},
    {"devices", "list cards (serial:family:type:first index) and service devices", &ControlDesk::devices},
    {"hold SERIAL PORT [BLOCK]", "claim a port's function blocks as another user; BLOCK is all (default),\n"
                                 "dma, rx, tx, demod, mod or nw; an Ethernet device's port is claimed\n"
                                 "whole, through its service",
     &ControlDesk::hold, "hold SERIAL PORT [all|dma|rx|tx|demod|mod|nw]"},
    {"release SERIAL PORT [BLOCK]", "give up such a claim",
     &ControlDesk::release, "release SERIAL PORT [all|dma|rx|tx|demod|mod|nw]"},
    {"holds SERIAL", "number of blocks of a card (ports of an Ethernet device) held by anyone",
     &ControlDesk::holds},
    {"unplug SERIAL", "remove a card (its driver endpoints disappear and open handles are\n"
                      "closed) or a service-list device", &ControlDesk::unplug},
    {"plug SERIAL", "restore it", &ControlDesk::plug},
    {"linkspeed SERIAL PORT CODE", "set the driver link-speed code of an IP port (6 = link down)",
     &ControlDesk::linkSpeed},
    {"fail KIND COUNT ERROR", "the next COUNT requests of KIND fail with ERROR: a Windows error for\n"
                              "driver request codes (KIND e.g. 0xafc86f1a), a result code for service\n"
                              "commands (KIND svc:N), vde:probe|attach|getdescriptor|detach|\n"
                              "getioconfig:SERIAL for Ethernet devices; COUNT 0 clears",
     &ControlDesk::fail, "fail KIND COUNT ERROR (KIND: request code or svc:N)"},
    {"corrupt KIND COUNT", "the next COUNT replies of KIND have a wrong length", &ControlDesk::corrupt},
    {"delay MS [KIND]", "delay every answer (or those of KIND) by MS; 0 removes", &ControlDesk::delay},
    {"service stop|start", "take the device-service pipe away or bring it back",
     &ControlDesk::service, "service stop|start|version A.B.C[.D]"},
    {"service version A.B.C[.D]", "the version the service reports from now on"},
    {"list version N", "publish the shared list with version word N", &ControlDesk::list},
    {"list count N", "publish the shared list with count word N (e.g. 600)"},
    {"list restore", "publish the list as it should be"},
    {"counters [reset]", "requests served per kind, e.g. \"ok 0xafc86ee2=3 svc:0=1\"; reset sets\n"
                         "them to zero (\"open\" counts driver connections, \"batch\" request\n"
                         "batches, each request of one counted too, \"batch-refused\" batches\n"
                         "refused while batches are off)", &ControlDesk::counters},
    {"fastpath on|off", "grant (default) or refuse shared-memory request slots to driver\n"
                        "connections made from now on", &ControlDesk::fastPath},
    {"batches on|off", "answer (default) or refuse request batches as an older driver would",
     &ControlDesk::batches},
    {"fill-open HEX|off", "write the byte HEX (e.g. a5) into every reply byte the records leave\n"
                          "open; off returns to zeros",
     &ControlDesk::fillOpen, "fill-open HEX|off (HEX: one byte, e.g. a5)"},
    {"vde probes [reset]", "discovery probes received (count and message ids), or forget them",
     &ControlDesk::vde},
    {"vde bound", "Ethernet devices serving their device calls (count and serials)"},
    {"vde xaddrs SERIAL TEXT|default", "the address text a device announces in discovery answers"},
    {"vde opmode SERIAL N", "publish the device's operating mode N in the shared list"},
};

/// The usage's word `n` (0 = the command's name); empty when it has fewer.
std::string wordOf(const char* usage, size_t n)
{
    const std::string text = usage;
    size_t at = 0;
    for (; n > 0 && at != std::string::npos; --n) {
        at = text.find(' ', at);
        if (at != std::string::npos) ++at;
    }
    if (at == std::string::npos) return "";
    return text.substr(at, text.find(' ', at) - at);
}

} // namespace

std::span<const ControlCommand> controlCommands() { return kCommands; }

const ControlCommand* findControlCommand(const std::string& name)
{
    for (const ControlCommand& command : kCommands)
        if (command.handler && wordOf(command.usage, 0) == name)
            return &command;
    return nullptr;
}

std::string usageRefusal(const std::string& name)
{
    std::string forms;
    for (const ControlCommand& command : kCommands) {
        if (wordOf(command.usage, 0) != name) continue;
        if (command.refusal) return std::string("error: usage: ") + command.refusal;
        forms += (forms.empty() ? "" : " | ") + std::string(command.usage);
    }
    return "error: usage: " + forms;
}

std::string usageRefusal(const std::string& name, const std::string& form)
{
    for (const ControlCommand& command : kCommands)
        if (wordOf(command.usage, 0) == name && wordOf(command.usage, 1) == form)
            return std::string("error: usage: ") + (command.refusal ? command.refusal : command.usage);
    return usageRefusal(name);
}

std::string controlHelpText()
{
    constexpr size_t kUsageWidth = 32;
    std::string out;
    for (const ControlCommand& command : kCommands) {
        std::string usage = std::string("  ") + command.usage;
        usage += usage.size() < kUsageWidth ? std::string(kUsageWidth - usage.size(), ' ') : "\n" + std::string(kUsageWidth, ' ');
        out += usage;
        for (const char* c = command.what; *c; ++c) {
            out += *c;
            if (*c == '\n')
                out += std::string(kUsageWidth, ' ');
        }
        out += '\n';
    }
    return out;
}

std::string controlHelpLine()
{
    std::string out = "commands:";
    const char* separator = " ";
    for (const ControlCommand& command : kCommands) {
        out += separator;
        out += command.usage;
        separator = " | ";
    }
    return out;
}

} // namespace vdsim
