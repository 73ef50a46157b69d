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
    // Reads and drops whatever comes for up to `limit`; true as soon as the connection ends (or
    // fails), false when it is still open after that. With 0 it only looks.
    bool closesWithin(std::chrono::milliseconds limit);

  private:
    int fd_ = -1;
};

// A WebSocket connection written byte by byte: the upgrade done over a raw socket, frames sent as
// the bytes a test makes, so that a message can come slowly or in pieces.
class RawWebSocket {
  public:
    explicit RawWebSocket(int port, std::chrono::milliseconds receiveTimeout = std::chrono::seconds(15));
    bool open() const { return open_; }
    RawConnection& socket() { return connection_; }
    // One frame as a client sends it (masked); opcode 1 text, 0 continuation, 9 ping, 10 pong.
    static std::string frame(int opcode, const std::string& payload, bool fin = true);

  private:
    RawConnection connection_;
    bool open_ = false;
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
    // Whether the last receive ended for want of a message rather than by a close or an error.
    bool lastReadTimedOut() const;
    // True when the server closed the connection (close frame or EOF) within the time-out.
    bool closedByServer(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
