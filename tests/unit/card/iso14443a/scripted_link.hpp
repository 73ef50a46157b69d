#pragma once
// A family interface wired straight to a simulated reader firmware, no transport in between, with
// a script of card answers: each command answers from its queue of replies (status 0x01 once the
// queue is empty, as a reader without a card would) and every request is logged as hex text,
// "CMD PARAMS DATA" for the VD family and "CMD DATA" for the others.

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "crypto/hex.hpp"
#include "reader/frame/iva_reader.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/frame/ivd_reader.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"
#include "support/hex_bytes.hpp"

// One reply: status and data as hex text ("" = no data).
struct Answer {
    std::uint8_t status = 0;
    std::string data;
};
inline Answer ok(const std::string& data = "") {
    return {0, data};
}

template <typename Interface, typename Firmware>
class ScriptedLink : public Interface {
  public:
    // Every command goes through the script, the firmware's own reader commands too.
    ScriptedLink() {
        for (int c = 0; c < 256; ++c) {
            const auto command = static_cast<std::uint8_t>(c);
            firmware_.setCommand(command,
                                 [this, command](const rfsim::Request& r) { return next(command, r); });
        }
    }

    // Queues replies for a command (after any still queued).
    void script(std::uint8_t command, std::vector<Answer> answers) {
        auto& queue = queues_[command];
        queue.insert(queue.end(), answers.begin(), answers.end());
    }

    std::vector<std::string> sent;

    int transceive(std::uint8_t* buf, int len, int maxLen) override {
        const Bytes reply = firmware_.answer(std::span(buf, static_cast<std::size_t>(len)));
        const auto n = std::min<std::size_t>(reply.size(), static_cast<std::size_t>(maxLen));
        std::copy_n(reply.begin(), n, buf);
        return static_cast<int>(n);
    }

  private:
    std::optional<rfsim::Reply> next(std::uint8_t command, const rfsim::Request& r) {
        std::string line = Orvane::hexEncode(std::span(&command, 1));
        if (!r.params.empty()) line += " " + Orvane::hexEncode(r.params);
        if (!r.data.empty()) line += " " + Orvane::hexEncode(r.data);
        sent.push_back(line);
        auto& queue = queues_[command];
        if (queue.empty()) return rfsim::Reply{0x01, {}};
        const Answer answer = queue.front();
        queue.pop_front();
        return rfsim::Reply{answer.status, hexBytes(answer.data)};
    }

    Firmware firmware_;
    std::map<std::uint8_t, std::deque<Answer>> queues_;
};

using ScriptedVd = ScriptedLink<Orvane::IVDReader, rfsim::VdFirmware>;
using ScriptedVa = ScriptedLink<Orvane::IVAReader, rfsim::VaFirmware>;
using ScriptedVc = ScriptedLink<Orvane::IVCTsmReader, rfsim::VcFirmware>;
