// The simulator's control commands (one text line each on DIR/vdsim.ctl): the table that the
// control socket dispatches by, that both help texts are made from and that gives the usage a
// malformed command is answered with.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace vdsim {

class ControlDesk;
using ControlWords = std::vector<std::string>;

struct ControlCommand {
    const char* usage; ///< the command's words and arguments; its first word names the command
    const char* what;  ///< what it does (may hold line breaks)
    /// Serves the command; set on the first row of a command, null on the rows that describe
    /// more of its forms.
    std::string (ControlDesk::*handler)(const ControlWords&) = nullptr;
    /// The usage a malformed command is answered with, when it says more than `usage`.
    const char* refusal = nullptr;
};

/// Every command, in the order help lists them.
std::span<const ControlCommand> controlCommands();

/// The row that serves the command named `name`; null when there is none.
const ControlCommand* findControlCommand(const std::string& name);

/// "error: usage: ..." for a malformed command `name`: the first row's refusal when it has one,
/// else every form of the command, separated by " | ".
std::string usageRefusal(const std::string& name);
/// The same for the form of `name` whose second word is `form`.
std::string usageRefusal(const std::string& name, const std::string& form);

/// The table as indented columns, one command after the other (vdsimctl --help).
std::string controlHelpText();

/// The table on one line, commands separated by " | " (the answer to "help").
std::string controlHelpLine();

} // namespace vdsim
