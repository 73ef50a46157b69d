#pragma once
// Captures what the code under test logs on the default logger, for the life of the object.

#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>
#include "protocol/log_limit.hpp"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

class LogCapture {
  public:
    LogCapture()
        : previous_(spdlog::default_logger()),
          sink_(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(256)) {
        sink_->set_pattern("%l %v");
        auto logger = std::make_shared<spdlog::logger>("capture", sink_);
        logger->set_level(spdlog::level::trace);
        spdlog::set_default_logger(logger);
        forgetLogLimits();  // lines held back for earlier tests must not hide this one's
    }
    ~LogCapture() { spdlog::set_default_logger(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Lines as "<level> <text>", e.g. "error loop findId rfLock fail".
    std::vector<std::string> lines() const { return sink_->last_formatted(); }
    bool contains(const std::string& line) const {
        const auto all = lines();
        return std::ranges::any_of(all,
                                   [&](const std::string& l) { return l.find(line) != std::string::npos; });
    }

  private:
    std::shared_ptr<spdlog::logger> previous_;
    std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> sink_;
};
