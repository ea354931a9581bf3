// Log-line tests: a fixed moment, 2026-12-05T14:07:09.042Z in 100-ns units since 1970, and the
// lines of a log with their time field cut off.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

constexpr std::int64_t december5th2026 = std::int64_t{1796479629} * 10'000'000 + 420'000;

/// The lines of `content` without their time field ("Level | Source | Text").
inline std::vector<std::string> linesWithoutTime(const std::string& content)
{
    std::vector<std::string> lines;
    std::istringstream in(content);
    for (std::string line; std::getline(in, line);) {
        const std::size_t bar = line.find(" | ");
        lines.push_back(bar == std::string::npos ? line : line.substr(bar + 3));
    }
    return lines;
}
