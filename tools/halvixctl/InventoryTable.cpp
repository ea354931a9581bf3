// Console rendering of the scan report.
#include "tools/halvixctl/InventoryTable.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace halvixctl {

namespace {

using nlohmann::json;

using Row = std::vector<std::string>;

const json* member(const json& entry, const char* key)
{
    if (!entry.is_object())
        return nullptr;
    const auto found = entry.find(key);
    return found == entry.end() ? nullptr : &*found;
}

/// A string as it is, anything else as its JSON text, a missing value as "?".
std::string text(const json& entry, const char* key)
{
    const json* value = member(entry, key);
    if (!value)
        return "?";
    return value->is_string() ? value->get<std::string>() : value->dump();
}

bool isTrue(const json& entry, const char* key)
{
    const json* value = member(entry, key);
    return value && value->is_boolean() && value->get<bool>();
}

std::string direction(const json& entry)
{
    const bool in = isTrue(entry, "input");
    const bool out = isTrue(entry, "output");
    if (in && out)
        return "in/out";
    return in ? "in" : out ? "out" : "-";
}

std::string freeText(const json& entry)
{
    const json* value = member(entry, "isAvailable");
    if (!value || !value->is_boolean())
        return "?";
    return value->get<bool>() ? "yes" : "no";
}

/// A link speed in bits per second (a decimal text or a number) in readable units; "" for 0
/// or anything that is not a plain count.
std::string speedText(const json* value)
{
    uint64_t bps = 0;
    if (value && value->is_number_unsigned()) {
        bps = value->get<uint64_t>();
    } else if (value && value->is_string()) {
        const std::string digits = value->get<std::string>();
        if (digits.empty() || digits.size() > 19 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return digits.empty() ? "" : digits;
        bps = std::strtoull(digits.c_str(), nullptr, 10);
    }
    if (bps == 0)
        return "";
    static const char* const units[] = {"bit/s", "kbit/s", "Mbit/s", "Gbit/s", "Tbit/s"};
    size_t unit = 0;
    uint64_t scaled = bps;
    while (scaled >= 1000 && scaled % 1000 == 0 && unit + 1 < std::size(units)) {
        scaled /= 1000;
        ++unit;
    }
    return std::to_string(scaled) + " " + units[unit];
}

std::string details(const json& entry)
{
    std::vector<std::string> parts;
    const std::string type = text(entry, "type");
    if (type == "IP") {
        parts.push_back("ip " + text(entry, "ipAddress"));
        parts.push_back("mac " + text(entry, "macAddress"));
        const std::string tx = speedText(member(entry, "transmissionSpeed"));
        const std::string rx = speedText(member(entry, "receiveSpeed"));
        if (!tx.empty() || !rx.empty())
            parts.push_back("tx " + (tx.empty() ? "-" : tx) + " rx " + (rx.empty() ? "-" : rx));
        if (isTrue(entry, "redundantTxCapability"))
            parts.push_back("redundant tx");
    }
    if (const json* modulations = member(entry, "modulations")) {
        std::string list;
        if (modulations->is_array()) {
            for (const json& name : *modulations)
                list += (list.empty() ? "" : ",") + (name.is_string() ? name.get<std::string>() : name.dump());
        } else {
            list = modulations->dump();
        }
        parts.push_back(list.empty() ? "no modulations" : list);
    }
    if (isTrue(entry, "apskCapability"))
        parts.push_back("apsk");
    if (isTrue(entry, "matrixCapability"))
        parts.push_back("matrix");
    if (isTrue(entry, "huffmanCapability"))
        parts.push_back("huffman");
    if (member(entry, "numPorts"))
        parts.push_back(text(entry, "numPorts") + " ports");
    std::string joined;
    for (const std::string& part : parts)
        joined += (joined.empty() ? "" : "; ") + part;
    return joined;
}

} // namespace

std::string renderInventory(const json& report, const std::vector<std::string>& extra, const std::string& extraTitle)
{
    if (!report.is_array())
        return report.dump();
    const bool withExtra = !extra.empty() && extra.size() == report.size();
    std::vector<Row> rows = {{"DEVICE", "KIND", "IN/OUT", "FREE", "SERIAL", "DETAILS"}};
    if (withExtra)
        rows[0].push_back(extraTitle);
    size_t freeCount = 0;
    for (size_t i = 0; i < report.size(); ++i) {
        const json& entry = report[i];
        rows.push_back({text(entry, "deviceName"), text(entry, "type"), direction(entry), freeText(entry),
                        text(entry, "serial"), details(entry)});
        if (withExtra)
            rows.back().push_back(extra[i]);
        freeCount += isTrue(entry, "isAvailable");
    }
    const size_t columns = rows[0].size();
    std::vector<size_t> widths(columns, 0);
    for (const Row& row : rows) {
        for (size_t c = 0; c < columns; ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    std::string out;
    for (const Row& row : rows) {
        std::string line;
        for (size_t c = 0; c < columns; ++c) {
            line += row[c];
            if (c + 1 < columns)
                line += std::string(widths[c] - row[c].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    out += std::to_string(report.size()) + (report.size() == 1 ? " entry, " : " entries, ") +
           std::to_string(freeCount) + " free";
    return out;
}

} // namespace halvixctl
