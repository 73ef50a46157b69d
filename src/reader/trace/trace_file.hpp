#pragma once
// A file of JSON lines that never grows past a size: when the next line would take it over, the
// file becomes `<path>.1` (replacing the one before) and a new file starts. A file already at the
// path when tracing starts is moved aside the same way, so one file never mixes two runs.
//
// Lines come from any thread. A failed write is forgotten: what is traced never depends on it.

#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

namespace Orvane {

class TraceFile {
  public:
    TraceFile(std::string path, std::uintmax_t maxBytes);
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // Appends the record as one line, keys sorted; text that is no UTF-8 is written replaced.
    void append(const nlohmann::json& record);

    const std::string& path() const { return path_; }
    // Whether the file could be opened (the last time it was).
    bool open() const;

  private:
    void rotate();  // called with mutex_ held
    void openFresh();

    const std::string path_;
    const std::uintmax_t maxBytes_;
    mutable std::mutex mutex_;
    int fd_ = -1;
    std::uintmax_t size_ = 0;
};

}  // namespace Orvane
