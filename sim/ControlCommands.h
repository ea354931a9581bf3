// The simulator's control commands (one text line each on DIR/vdsim.ctl): the table that the
// control socket dispatches by and that both help texts are made from.
#pragma once

#include <span>
#include <string>

namespace vdsim {

struct ControlCommand {
    const char* usage; ///< the command's words and arguments; its first word names the command
    const char* what;  ///< what it does (may hold line breaks)
};

/// Every command, in the order help lists them.
std::span<const ControlCommand> controlCommands();

/// True when `name` is the first word of a command of the table.
bool isControlCommand(const std::string& name);

/// The table as indented columns, one command after the other (vdsimctl --help).
std::string controlHelpText();

/// The table on one line, commands separated by " | " (the answer to "help").
std::string controlHelpLine();

} // namespace vdsim
