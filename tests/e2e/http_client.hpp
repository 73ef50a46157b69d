#pragma once
// Small blocking clients for end-to-end tests: raw HTTP over a loopback socket (so tests can send
// malformed or slow requests too) and a WebSocket client on Beast.

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

struct HttpResult {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

// A loopback TCP connection with a receive time-out.
class RawConnection {
  public:
    explicit RawConnection(int port, std::chrono::milliseconds receiveTimeout = std::chrono::seconds(5));
    ~RawConnection();
    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes);
    // Everything until the peer closes or the time-out passes.
    std::string receiveAll();
    // Whatever the first read returns; empty on close or time-out.
    std::string receiveSome();
    // True when the peer closed the connection without sending anything more.
    bool closedByPeer();

  private:
    int fd_ = -1;
};

// nullopt when the connection closed without a response.
std::optional<HttpResult> parseHttpResponse(const std::string& text);
std::optional<HttpResult> httpRequest(int port, const std::string& method, const std::string& target,
                                      const std::map<std::string, std::string>& headers = {},
                                      std::optional<std::string> host = std::nullopt);

class WsClient {
  public:
    explicit WsClient(int port, const std::string& host = "");
    ~WsClient();
    bool open() const;
    bool sendText(const std::string& text);
    bool sendBinary(const std::string& bytes);
    // The next text message, or nullopt on close or time-out.
    std::optional<std::string> receive(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // True when the server closed the connection (close frame or EOF) within the time-out.
    bool closedByServer(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
