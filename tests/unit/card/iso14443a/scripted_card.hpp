#pragma once
// Card answers scripted into a virtual reader's firmware: each scripted command answers from its
// queue (or always the same), logs its request data, and refuses with status 0x01 once the queue
// is empty. Commands not scripted keep the firmware's own behaviour.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scripted_link.hpp"
#include "sim/firmware/virtual_reader.hpp"

class ScriptedCard {
  public:
    explicit ScriptedCard(rfsim::VirtualReader& reader) : reader_(reader) {}

    void script(std::uint8_t command, std::vector<Answer> answers) {
        install(command, std::move(answers), false);
    }
    void always(std::uint8_t command, Answer answer) { install(command, {std::move(answer)}, true); }

    // Requests of scripted commands as "CMD DATA" (VD: "CMD PARAMS DATA").
    std::vector<std::string> sent() const {
        std::lock_guard lock(log_->mutex);
        return log_->lines;
    }
    void clearSent() {
        std::lock_guard lock(log_->mutex);
        log_->lines.clear();
    }
    // Command codes of every frame the reader accepted since mark().
    // The reader keeps only its recent commands: counted by their running total, not by position.
    std::vector<std::uint8_t> commandsSinceMark() const {
        const auto all = reader_.state().commands;
        const std::uint64_t since = all.total() - mark_;
        const std::size_t kept = std::min<std::uint64_t>(since, all.size());
        return std::vector<std::uint8_t>(all.end() - static_cast<std::ptrdiff_t>(kept), all.end());
    }
    void mark() { mark_ = reader_.state().commands.total(); }

  private:
    struct Log {
        std::mutex mutex;
        std::vector<std::string> lines;
    };

    void install(std::uint8_t command, std::vector<Answer> answers, bool repeat) {
        auto queue = std::make_shared<std::deque<Answer>>(answers.begin(), answers.end());
        reader_.withFirmware([&](rfsim::Firmware& firmware) {
            firmware.setCommand(command, [log = log_, queue, repeat, command](const rfsim::Request& r) {
                std::string line = Orvane::hexEncode(std::span(&command, 1));
                if (!r.params.empty()) line += " " + Orvane::hexEncode(r.params);
                if (!r.data.empty()) line += " " + Orvane::hexEncode(r.data);
                {
                    std::lock_guard lock(log->mutex);
                    log->lines.push_back(line);
                }
                if (queue->empty()) return std::optional<rfsim::Reply>(rfsim::Reply{0x01, {}});
                const Answer answer = queue->front();
                if (!repeat) queue->pop_front();
                return std::optional<rfsim::Reply>(rfsim::Reply{answer.status, hexBytes(answer.data)});
            });
        });
    }

    rfsim::VirtualReader& reader_;
    std::shared_ptr<Log> log_ = std::make_shared<Log>();
    std::uint64_t mark_ = 0;
};
