// One log entry, its levels, and the line format shared by the console and file loggers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

/// The log levels. Any other value is accepted and written with an empty level name.
namespace LogLevel {
inline constexpr std::uint32_t Error = 0;
inline constexpr std::uint32_t Warning = 1;
inline constexpr std::uint32_t Info = 2;
inline constexpr std::uint32_t Verbose = 3;
}  // namespace LogLevel

/// Name of a level: "Error", "Warning", "Info", "Verbose", or "" for any other value.
const char* logLevelName(std::uint32_t level);

/// The process-wide language whose texts are written; 0 unless changed.
std::int32_t currentLogLanguage();
void setCurrentLogLanguage(std::int32_t language);

/// Now, in 100-nanosecond units since 1970-01-01 00:00 UTC (the unit of LogMessage::time).
std::int64_t logTimeNow();

struct LogMessage {
    using Texts = std::map<std::int32_t, std::string>;

    /// Level 0, no text, no source, time 0.
    LogMessage() = default;

    /// One text in language 0, no arguments, time taken now from the system clock.
    LogMessage(std::uint32_t level, std::string text, std::string source);

    /// As above with an explicit time (100-ns units since 1970).
    LogMessage(std::uint32_t level, std::string text, std::string source, std::int64_t time);

    /// Full form: texts per language, placeholder arguments, default language.
    LogMessage(std::uint32_t level, Texts texts, std::vector<std::string> arguments, std::string source,
               std::int64_t time, std::int32_t defaultLanguage = 0);

    /// Text for `language` (falling back to the default language, then to ""), with every
    /// "%{i}" replaced by arguments[i]; placeholders without an argument stay as written.
    std::string text(std::int32_t language) const;

    /// Text in the current language (see currentLogLanguage).
    std::string text() const;

    std::uint32_t level = LogLevel::Error;
    std::int32_t defaultLanguage = 0;
    Texts texts;
    std::vector<std::string> arguments;
    std::string source;
    std::int64_t time = 0;  // 100-ns units since 1970-01-01 00:00 UTC
};

/// UTC time text "YYYY-MM-DDThh:mm:ss.mmmZ" (year not padded) of a LogMessage time.
/// Times before 1970 are rounded toward zero like the later ones; a time the calendar
/// cannot express gives "?".
std::string formatLogTime(std::int64_t time);

/// "time | level name | source | text", UTF-8, without a newline.
std::string formatLogLine(const LogMessage& message);
