#include "reader/trace/trace_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace Orvane {

TraceFile::TraceFile(std::string path, std::uintmax_t maxBytes)
    : path_(std::move(path)), maxBytes_(maxBytes) {
    std::lock_guard lock(mutex_);
    rotate();
}

TraceFile::~TraceFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool TraceFile::open() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

void TraceFile::rotate() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    // A missing file is fine; any other failure leaves the old one to be truncated.
    std::rename(path_.c_str(), (path_ + ".1").c_str());
    openFresh();
}

void TraceFile::openFresh() {
    // Owner only: the lines hold card data.
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    size_ = 0;
}

void TraceFile::append(const nlohmann::json& record) {
    std::string line = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    line += '\n';
    std::lock_guard lock(mutex_);
    if (size_ > 0 && size_ + line.size() > maxBytes_) rotate();
    if (fd_ < 0) return;
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t put = ::write(fd_, line.data() + done, line.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;  // disk full or gone: the device operation goes on without its line
        done += static_cast<std::size_t>(put);
    }
    size_ += done;
}

}  // namespace Orvane
