// Log message texts, level names and the shared line format.
#include "log/LogMessage.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

namespace {
std::atomic<std::int32_t> currentLanguage{0};
constexpr std::int64_t unitsPerSecond = 10'000'000;  // 100-ns units
constexpr std::int64_t unitsPerMillisecond = 10'000;
}  // namespace

const char* logLevelName(std::uint32_t level)
{
    switch (level) {
    case LogLevel::Error: return "Error";
    case LogLevel::Warning: return "Warning";
    case LogLevel::Info: return "Info";
    case LogLevel::Verbose: return "Verbose";
    default: return "";
    }
}

std::int32_t currentLogLanguage()
{
    return currentLanguage.load(std::memory_order_relaxed);
}

void setCurrentLogLanguage(std::int32_t language)
{
    currentLanguage.store(language, std::memory_order_relaxed);
}

std::int64_t logTimeNow()
{
    using Units = std::chrono::duration<std::int64_t, std::ratio<1, unitsPerSecond>>;
    return std::chrono::duration_cast<Units>(std::chrono::system_clock::now().time_since_epoch()).count();
}

LogMessage::LogMessage(std::uint32_t level, std::string text, std::string source)
    : LogMessage(level, std::move(text), std::move(source), logTimeNow())
{
}

LogMessage::LogMessage(std::uint32_t level, std::string text, std::string source, std::int64_t time)
    : level(level), texts{{0, std::move(text)}}, source(std::move(source)), time(time)
{
}

LogMessage::LogMessage(std::uint32_t level, Texts texts, std::vector<std::string> arguments, std::string source,
                       std::int64_t time, std::int32_t defaultLanguage)
    : level(level),
      defaultLanguage(defaultLanguage),
      texts(std::move(texts)),
      arguments(std::move(arguments)),
      source(std::move(source)),
      time(time)
{
}

std::string LogMessage::text(std::int32_t language) const
{
    auto it = texts.find(language);
    if (it == texts.end())
        it = texts.find(defaultLanguage);
    if (it == texts.end())
        return {};
    std::string result = it->second;
    // Arguments are substituted one after the other, each over the whole current text.
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string placeholder = "%{" + std::to_string(i) + "}";
        for (std::size_t at = result.find(placeholder); at != std::string::npos;
             at = result.find(placeholder, at + arguments[i].size()))
            result.replace(at, placeholder.size(), arguments[i]);
    }
    return result;
}

std::string LogMessage::text() const
{
    return text(currentLogLanguage());
}

std::string formatLogTime(std::int64_t time)
{
    const std::int64_t seconds = time / unitsPerSecond;  // rounds toward zero
    const std::int64_t milliseconds = (time % unitsPerSecond) / unitsPerMillisecond;
    // Civil UTC date from the proleptic Gregorian calendar, without the C library's time zone
    // calls (which differ between systems); every 64-bit time lies within the calendar's years.
    using namespace std::chrono;
    const sys_seconds moment{std::chrono::seconds(seconds)};
    const sys_days day = floor<days>(moment);
    const year_month_day date{day};
    const hh_mm_ss<std::chrono::seconds> clock{moment - day};
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                                     static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                                     static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                                     static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()),
                                     static_cast<int>(milliseconds < 0 ? -milliseconds : milliseconds));
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof buffer)
        return "?";
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string formatLogLine(const LogMessage& message)
{
    std::string line = formatLogTime(message.time);
    line += " | ";
    line += logLevelName(message.level);
    line += " | ";
    line += message.source;
    line += " | ";
    line += message.text();
    return line;
}
