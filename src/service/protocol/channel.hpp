#pragma once
// The connection a session talks on. The WebSocket front end implements it; tests use a fake.

#include <memory>
#include <string>

class Channel {
  public:
    virtual ~Channel() = default;

    // Queues one final text frame. Safe from any thread; false once the connection is closing or closed.
    virtual bool sendText(std::string text) = 0;
    // Closes the connection after frames already queued have gone out. Safe from any thread.
    virtual void close() = 0;
    // False once the connection is closing or closed.
    virtual bool isConnected() const = 0;
    // Whether the message being handled arrived as a text frame (not binary).
    virtual bool currentFrameIsText() const = 0;
};

using ChannelPtr = std::shared_ptr<Channel>;
using ChannelRef = std::weak_ptr<Channel>;
