#pragma once
// A reader played by another process over a Unix socket (external_link.hpp). A USB reader's
// operations go out as they are; a serial reader's bytes go out as {"op": "write", "out": hex,
// "baud": line rate} and the answer's "in" bytes are sent back on the line.

#include <memory>
#include <mutex>
#include <string>

#include "sim/script/external_link.hpp"
#include "sim/script/reader_script.hpp"

namespace rfsim {

class ExternalReader : public ReaderScript {
  public:
    ExternalReader(std::string socketPath, int type) : link_(std::move(socketPath)), type_(type) {}

    std::optional<nlohmann::json> answer(const nlohmann::json& request) override {
        return link_.ask(request);
    }
    Bytes heard(std::span<const std::uint8_t> bytes, std::uint32_t lineBaud) override;
    nlohmann::json status() const override;

    // The serial port the reader is on, for the requests of a serial reader.
    void setPort(std::string port);

  private:
    ExternalLink link_;
    const int type_;
    std::mutex portMutex_;  // the port is named once the line's host thread runs
    std::string port_;
};

}  // namespace rfsim
