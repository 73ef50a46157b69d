// The serial side of a replay: the line delivers a write in pieces of any size, so bytes are
// matched one by one against the recorded write, and the recorded reads go out once it is whole.

#include "crypto/hex.hpp"
#include "sim/script/trace_replay.hpp"

namespace rfsim {
namespace {

using nlohmann::json;

bool isOp(const TraceLine& line, const char* op) {
    return line.value["op"] == op;
}

Bytes bytesOf(const TraceLine& line, const char* key) {
    const json& v = line.value;
    if (!v.contains(key) || !v[key].is_string()) return {};
    return Orvane::hexDecode(v[key].get<std::string>(), 1 << 20).value_or(Bytes{});
}

std::uint32_t baudOf(const TraceLine& line) {
    const json& v = line.value;
    if (!v.contains("baud") || !v["baud"].is_number_integer()) return 0;
    const auto baud = v["baud"].get<long long>();
    return baud > 0 && baud <= 4'000'000 ? static_cast<std::uint32_t>(baud) : 0;
}

// A write as the divergence shows it; the rate when it is known.
json writeOf(std::span<const std::uint8_t> bytes, std::uint32_t baud) {
    json write = {{"op", "write"}, {"out", Orvane::hexEncode(bytes)}};
    if (baud != 0) write["baud"] = baud;
    return write;
}

}  // namespace

Bytes TraceReplay::heard(std::span<const std::uint8_t> bytes, std::uint32_t lineBaud) {
    std::lock_guard lock(mutex_);
    Bytes out;
    for (std::size_t i = 0; i < bytes.size() && divergence_.is_null(); ++i) {
        if (heardOfWrite_ == 0 && !startWrite(out, bytes.subspan(i), lineBaud)) break;
        if (bytes[i] != expectedWrite_[heardOfWrite_]) {
            Bytes got(expectedWrite_.begin(),
                      expectedWrite_.begin() + static_cast<std::ptrdiff_t>(heardOfWrite_));
            got.insert(got.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end());
            diverge(lines_.lines[next_].number, writeOf(expectedWrite_, lineBaud_), writeOf(got, lineBaud));
            break;
        }
        if (++heardOfWrite_ < expectedWrite_.size()) continue;
        heardOfWrite_ = 0;
        ++next_;
        sendReads(out);
    }
    return out;
}

// Moves to the next recorded write; false (and the divergence) when the line differs from it.
bool TraceReplay::startWrite(Bytes& out, std::span<const std::uint8_t> rest, std::uint32_t lineBaud) {
    passLinesBeforeWrite(out);
    if (next_ >= lines_.lines.size()) {
        diverge(0, "the end of the trace", writeOf(rest, lineBaud));
        return false;
    }
    expectedWrite_ = bytesOf(lines_.lines[next_], "out");
    // A write sent at another rate reaches a real reader as noise.
    if (lineBaud_ != 0 && lineBaud != lineBaud_) {
        diverge(lines_.lines[next_].number, writeOf(expectedWrite_, lineBaud_), writeOf(rest, lineBaud));
        return false;
    }
    return true;
}

// Opens, closes and rate changes set the rate the next write is expected at; bytes a read got
// before any write came unasked, and go out as they come.
void TraceReplay::passLinesBeforeWrite(Bytes& out) {
    for (; next_ < lines_.lines.size(); ++next_) {
        const TraceLine& line = lines_.lines[next_];
        if (isOp(line, "write") && !bytesOf(line, "out").empty()) return;
        if (isOp(line, "baud") || isOp(line, "open")) {
            if (const std::uint32_t baud = baudOf(line)) lineBaud_ = baud;
        }
        if (isOp(line, "read")) {
            const Bytes in = bytesOf(line, "in");
            out.insert(out.end(), in.begin(), in.end());
        }
    }
}

// What the reads right after a write got: the reader's answer to it.
void TraceReplay::sendReads(Bytes& out) {
    for (; next_ < lines_.lines.size() && isOp(lines_.lines[next_], "read"); ++next_) {
        const Bytes in = bytesOf(lines_.lines[next_], "in");
        out.insert(out.end(), in.begin(), in.end());
    }
}

}  // namespace rfsim
