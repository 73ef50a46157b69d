#pragma once
// printf-style log lines on the default logger. Formatting is type-safe (fmt::sprintf), so a
// mismatched argument cannot read beyond what was passed.

#include <fmt/printf.h>
#include <spdlog/spdlog.h>

template <typename... Args>
void logDebug(const char* format, const Args&... args) {
    if (spdlog::should_log(spdlog::level::debug)) spdlog::debug(fmt::sprintf(format, args...));
}
template <typename... Args>
void logInfo(const char* format, const Args&... args) {
    if (spdlog::should_log(spdlog::level::info)) spdlog::info(fmt::sprintf(format, args...));
}
template <typename... Args>
void logWarn(const char* format, const Args&... args) {
    if (spdlog::should_log(spdlog::level::warn)) spdlog::warn(fmt::sprintf(format, args...));
}
template <typename... Args>
void logError(const char* format, const Args&... args) {
    if (spdlog::should_log(spdlog::level::err)) spdlog::error(fmt::sprintf(format, args...));
}
