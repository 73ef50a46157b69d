#pragma once
// printf-style log lines on the default logger. Formatting is type-safe (fmt::sprintf), so a
// mismatched argument cannot read beyond what was passed. Warnings and errors are held back per
// kind (format text) when they come in floods (log_limit.hpp); client text in a line goes through
// cutForLog.

#include <fmt/printf.h>
#include <spdlog/spdlog.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/log_limit.hpp"

// What a client sent goes into a log line at most this long.
inline constexpr std::size_t kLogTextMax = 256;

// Text from a client as a log line shows it: up to `max` bytes (not ending inside a UTF-8
// sequence) and a note of the whole length, so that one request cannot write kilobytes to disk.
inline std::string cutForLog(std::string_view text, std::size_t max = kLogTextMax) {
    if (text.size() <= max) return std::string(text);
    std::size_t keep = max;
    // Continuation bytes are 10xxxxxx; a sequence has at most three of them.
    for (int i = 0; i < 3 && keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80; ++i)
        --keep;
    return std::string(text.substr(0, keep)) + "…(cut, " + std::to_string(text.size()) + " bytes)";
}

template <typename... Args>
void logDebug(const char* format, const Args&... args) {
    if (spdlog::should_log(spdlog::level::debug)) spdlog::debug(fmt::sprintf(format, args...));
}
template <typename... Args>
void logInfo(const char* format, const Args&... args) {
    if (spdlog::should_log(spdlog::level::info)) spdlog::info(fmt::sprintf(format, args...));
}
template <typename... Args>
void logLimited(spdlog::level::level_enum level, const char* format, const Args&... args) {
    if (!spdlog::should_log(level)) return;
    const auto verdict = passLogLine(format);
    if (verdict.suppressed > 0)
        spdlog::log(level, fmt::sprintf("%d similar lines suppressed: \"%s\"", verdict.suppressed, format));
    if (verdict.write) spdlog::log(level, fmt::sprintf(format, args...));
}

template <typename... Args>
void logWarn(const char* format, const Args&... args) {
    logLimited(spdlog::level::warn, format, args...);
}
template <typename... Args>
void logError(const char* format, const Args&... args) {
    logLimited(spdlog::level::err, format, args...);
}
