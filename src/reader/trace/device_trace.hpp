#pragma once
// The device trace of the process: once started, the device bus and the serial ports append one
// JSON line per device operation to a TraceFile (docs/traces.md describes the lines).
//
//   {"dev":"10c4:0210","op":"featureSet","out":"06AA...","result":255,"time":"...Z","type":1}
//
// Request keys: op, out (bytes sent), size (bytes asked for), endpoint, requestType, request,
// value, index, interface, baud, timeoutMs. Answer keys: result, in (bytes received),
// transferred. Every line also has time, type (the reader type, 0 when unknown) and dev.

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <string>

#include "reader/trace/trace_file.hpp"

namespace Orvane {

// A size both files together stay under, twice this.
inline constexpr std::uintmax_t kTraceFileMaxBytes = 64ull * 1024 * 1024;

// Starts tracing into `path` (the process keeps it to the end); false when the file cannot be
// opened. Call before the first device is opened.
bool startDeviceTrace(const std::string& path, std::uintmax_t maxBytes = kTraceFileMaxBytes);
// The running trace, null when there is none.
std::shared_ptr<TraceFile> deviceTrace();

// The start of a line: reader type, device and operation, with the time it happened.
nlohmann::json traceRecord(int readerType, const std::string& device, const char* op);
// Bytes as a trace line holds them: upper-case hex digits.
std::string traceHex(std::span<const std::uint8_t> bytes);

}  // namespace Orvane
