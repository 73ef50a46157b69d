#pragma once
// The simulator's end of a Unix stream socket to another process that plays a reader: one JSON
// line out, one JSON line back, per operation. The link connects when first used and again after
// the other process went away; an answer that does not come within the time limit drops the
// connection, since a late one would be taken for the next request's.

#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace rfsim {

class ExternalLink {
  public:
    explicit ExternalLink(std::string socketPath,
                          std::chrono::milliseconds answerLimit = std::chrono::seconds(2));
    ~ExternalLink();
    ExternalLink(const ExternalLink&) = delete;
    ExternalLink& operator=(const ExternalLink&) = delete;

    // The answer to `request`; nullopt when the process cannot be reached, does not answer in
    // time, or answers with something that is not a JSON object.
    std::optional<nlohmann::json> ask(const nlohmann::json& request);

    const std::string& socketPath() const { return path_; }
    bool connected() const;
    // What went wrong last, empty while all is well.
    std::string lastError() const;

  private:
    // Called with mutex_ held.
    bool connect();
    bool sendLine(const std::string& line);
    std::optional<std::string> readLine();
    void drop(std::string why);
    void setStatus(bool connected, std::string error);

    const std::string path_;
    const std::chrono::milliseconds answerLimit_;
    std::mutex mutex_;  // one request at a time, held until its answer
    int fd_ = -1;
    std::string received_;  // bytes after the last answer line
    // Read by GET /sim, which must not wait out a request in flight.
    mutable std::mutex statusMutex_;
    bool connected_ = false;
    std::string error_;
};

}  // namespace rfsim
