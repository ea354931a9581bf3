// Rig file loading: reads the file and reports where its JSON breaks before the rig is checked.
#include "sim/Rig.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vdsim {

using nlohmann::json;

namespace {

/// "LINE:COLUMN" (both from 1) of the byte the parser stopped at: `byte` counts from 1, as the
/// parser reports it (0 when it stopped before the first byte).
std::string textPosition(const std::string& text, std::size_t byte)
{
    const std::size_t at = std::min(byte == 0 ? 0 : byte - 1, text.size());
    std::size_t line = 1, lineStart = 0;
    for (std::size_t i = 0; i < at; ++i)
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    return std::to_string(line) + ":" + std::to_string(at - lineStart + 1);
}

/// The parser's reason without its exception name and position ("[json.exception...] parse
/// error at line L, column C: REASON").
std::string parseReason(const std::string& what)
{
    const std::size_t column = what.find("column ");
    const std::size_t colon = what.find(": ", column == std::string::npos ? 0 : column);
    return colon == std::string::npos ? what : what.substr(colon + 2);
}

} // namespace

Rig loadRigFile(const std::string& path)
{
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) throw RigError(path + ": cannot read the rig file: " + std::strerror(EISDIR));
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RigError(path + ": cannot read the rig file: " + std::strerror(errno));
    std::stringstream read;
    read << in.rdbuf();
    if (in.bad()) throw RigError(path + ": cannot read the rig file: " + std::strerror(errno));
    const std::string text = read.str();
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::parse_error& e) {
        throw RigError(path + ":" + textPosition(text, e.byte) + ": not valid JSON: " + parseReason(e.what()));
    }
    return parseRig(doc, path);
}

} // namespace vdsim
