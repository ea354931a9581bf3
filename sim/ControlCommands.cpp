// The control command table and the help texts made from it.
#include "sim/ControlCommands.h"

namespace vdsim {

namespace {

constexpr ControlCommand kCommands[] = {
    {"help", "list these commands"},
    {"ping", "answer with the simulator's process id"},
    {"devices", "list cards (serial:family:type:first index) and service devices"},
    {"hold SERIAL PORT [BLOCK]", "claim a port's function blocks as another user; BLOCK is all (default),\n"
                                 "dma, rx, tx, demod, mod or nw; an Ethernet device's port is claimed\n"
                                 "whole, through its service"},
    {"release SERIAL PORT [BLOCK]", "give up such a claim"},
    {"holds SERIAL", "number of blocks of a card (ports of an Ethernet device) held by anyone"},
    {"unplug SERIAL", "remove a card (its driver endpoints disappear and open handles are\n"
                      "closed) or a service-list device"},
    {"plug SERIAL", "restore it"},
    {"linkspeed SERIAL PORT CODE", "set the driver link-speed code of an IP port (6 = link down)"},
    {"fail KIND COUNT ERROR", "the next COUNT requests of KIND fail with ERROR: a Windows error for\n"
                              "driver request codes (KIND e.g. 0xafc86f1a), a result code for service\n"
                              "commands (KIND svc:N), vde:probe|attach|getdescriptor|detach|\n"
                              "getioconfig:SERIAL for Ethernet devices; COUNT 0 clears"},
    {"corrupt KIND COUNT", "the next COUNT replies of KIND have a wrong length"},
    {"delay MS [KIND]", "delay every answer (or those of KIND) by MS; 0 removes"},
    {"service stop|start", "take the device-service pipe away or bring it back"},
    {"service version A.B.C[.D]", "the version the service reports from now on"},
    {"list version N", "publish the shared list with version word N"},
    {"list count N", "publish the shared list with count word N (e.g. 600)"},
    {"list restore", "publish the list as it should be"},
    {"counters [reset]", "requests served per kind, e.g. \"ok 0xafc86ee2=3 svc:0=1\"; reset sets\n"
                         "them to zero (\"open\" counts driver connections, \"batch\" request\n"
                         "batches, each request of one counted too)"},
    {"fastpath on|off", "grant (default) or refuse shared-memory request slots to driver\n"
                        "connections made from now on"},
    {"batches on|off", "answer (default) or refuse request batches as an older driver would"},
    {"fill-open HEX|off", "write the byte HEX (e.g. a5) into every reply byte the records leave\n"
                          "open; off returns to zeros"},
    {"vde probes [reset]", "discovery probes received (count and message ids), or forget them"},
    {"vde bound", "Ethernet devices serving their device calls (count and serials)"},
    {"vde xaddrs SERIAL TEXT|default", "the address text a device announces in discovery answers"},
    {"vde opmode SERIAL N", "publish the device's operating mode N in the shared list"},
};

std::string firstWord(const char* usage)
{
    const std::string text = usage;
    return text.substr(0, text.find(' '));
}

} // namespace

std::span<const ControlCommand> controlCommands() { return kCommands; }

bool isControlCommand(const std::string& name)
{
    for (const ControlCommand& command : kCommands)
        if (firstWord(command.usage) == name)
            return true;
    return false;
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
