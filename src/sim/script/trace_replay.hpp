#pragma once
// A reader that plays a recorded trace back. A USB reader answers each operation with the recorded
// answer while the request equals the recorded one (time, timeouts and the writer's reader type
// aside). A serial reader hears bytes: once the bytes of a recorded write have all come, at the rate
// recorded for the line, it sends what the reads after that write got. The first request that
// differs is the divergence: it is logged and shown by GET /sim with the line it differs from, and
// from then on the reader answers nothing.

#include <mutex>
#include <optional>
#include <string>

#include "sim/script/reader_script.hpp"
#include "sim/script/trace_lines.hpp"

namespace rfsim {

class TraceReplay : public ReaderScript {
  public:
    TraceReplay(std::string file, int type, DeviceLines lines);

    std::optional<nlohmann::json> answer(const nlohmann::json& request) override;
    Bytes heard(std::span<const std::uint8_t> bytes, std::uint32_t lineBaud) override;
    nlohmann::json status() const override;

    // The first divergence, null before there is one.
    nlohmann::json divergence() const;

  private:
    // Called with mutex_ held.
    void diverge(std::size_t lineNumber, nlohmann::json expected, nlohmann::json got);
    bool startWrite(Bytes& out, std::span<const std::uint8_t> rest, std::uint32_t lineBaud);
    void passLinesBeforeWrite(Bytes& out);
    void sendReads(Bytes& out);

    const std::string file_;
    const int type_;
    const DeviceLines lines_;
    mutable std::mutex mutex_;
    std::size_t next_ = 0;  // the line the next request is compared with
    nlohmann::json divergence_;
    // A serial line: the write being heard, how much of it came, and the rate last set.
    Bytes expectedWrite_;
    std::size_t heardOfWrite_ = 0;
    std::uint32_t lineBaud_ = 0;
};

}  // namespace rfsim
