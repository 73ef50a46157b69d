#include "sim/script/external_link.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rfsim {
namespace {

// The longest answer line taken: far more than the largest reply of any reader in hex.
constexpr std::size_t kMaxAnswer = 1u << 20;

}  // namespace

ExternalLink::ExternalLink(std::string socketPath, std::chrono::milliseconds answerLimit)
    : path_(std::move(socketPath)), answerLimit_(answerLimit) {}

ExternalLink::~ExternalLink() {
    if (fd_ >= 0) ::close(fd_);
}

bool ExternalLink::connected() const {
    std::lock_guard lock(statusMutex_);
    return connected_;
}

std::string ExternalLink::lastError() const {
    std::lock_guard lock(statusMutex_);
    return error_;
}

void ExternalLink::setStatus(bool connected, std::string error) {
    std::lock_guard lock(statusMutex_);
    connected_ = connected;
    error_ = std::move(error);
}

std::optional<nlohmann::json> ExternalLink::ask(const nlohmann::json& request) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0 && !connect()) return std::nullopt;
    if (!sendLine(request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n"))
        return std::nullopt;
    const std::optional<std::string> line = readLine();
    if (!line) return std::nullopt;
    nlohmann::json answer = nlohmann::json::parse(*line, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
        drop("the answer is not a JSON object");
        return std::nullopt;
    }
    setStatus(true, {});
    return answer;
}

bool ExternalLink::connect() {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.empty() || path_.size() >= sizeof address.sun_path) {
        setStatus(false, "the socket path is empty or too long");
        return false;
    }
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        drop(std::string("cannot connect: ") + std::strerror(errno));
        return false;
    }
    received_.clear();
    setStatus(true, {});
    return true;
}

bool ExternalLink::sendLine(const std::string& line) {
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t put = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            drop(std::string("cannot send: ") + std::strerror(errno));
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::optional<std::string> ExternalLink::readLine() {
    const auto deadline = std::chrono::steady_clock::now() + answerLimit_;
    for (;;) {
        if (const std::size_t end = received_.find('\n'); end != std::string::npos) {
            std::string line = received_.substr(0, end);
            received_.erase(0, end + 1);
            return line;
        }
        if (received_.size() > kMaxAnswer) {
            drop("an answer line longer than 1 MiB");
            return std::nullopt;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd poller{fd_, POLLIN, 0};
        const int ready = left.count() <= 0 ? 0 : ::poll(&poller, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;  // a signal: wait again, never block in recv
        if (ready == 0) {
            drop("no answer within " + std::to_string(answerLimit_.count()) + " ms");
            return std::nullopt;
        }
        char chunk[4096];
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            drop("the other process closed the connection");
            return std::nullopt;
        }
        received_.append(chunk, static_cast<std::size_t>(got));
    }
}

void ExternalLink::drop(std::string why) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    received_.clear();
    setStatus(false, std::move(why));
}

}  // namespace rfsim
