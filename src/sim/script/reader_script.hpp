#pragma once
// A reader played by a script instead of firmware: a recorded trace, or another process. Requests
// and answers are the JSON objects of a device trace line (docs/traces.md): the request part (op,
// out, size, endpoint, ...) goes in, the answer part (result, in, transferred) comes out.
//
// USB readers are asked one device operation at a time; serial readers are asked with the bytes
// heard on their line and answer with the bytes to send back. Calls may come from several threads.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>

#include "sim/firmware/firmware.hpp"

namespace rfsim {

class ReaderScript {
  public:
    virtual ~ReaderScript() = default;
    // The answer to one operation of a USB device; nullopt when the device answers nothing.
    virtual std::optional<nlohmann::json> answer(const nlohmann::json& request) = 0;
    // The bytes a serial reader sends back for `bytes` heard at `lineBaud`.
    virtual Bytes heard(std::span<const std::uint8_t> bytes, std::uint32_t lineBaud) = 0;
    // What GET /sim shows of the script: {"replay": {...}} or {"external": {...}}.
    virtual nlohmann::json status() const = 0;
};

// The keys of a trace line that make up a request; the rest is the answer, or says when and by
// whom (time, type, dev).
inline constexpr const char* kRequestKeys[] = {"op",       "link",     "out",         "size",
                                               "reportId", "endpoint", "requestType", "request",
                                               "value",    "index",    "interface",   "baud"};
inline constexpr const char* kAnswerKeys[] = {"result", "in", "transferred"};

// The request or answer part of a line: the keys of `keys` that it has.
template <std::size_t N>
nlohmann::json partOf(const nlohmann::json& line, const char* const (&keys)[N]) {
    nlohmann::json part = nlohmann::json::object();
    for (const char* key : keys)
        if (line.contains(key)) part[key] = line[key];
    return part;
}

}  // namespace rfsim
