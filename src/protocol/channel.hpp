#pragma once
// The connection a session talks on. The WebSocket front end implements it; tests use a fake.

#include <cstddef>
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
    // Whether an unsolicited event of this many bytes may still be queued. False while the client
    // lags so far behind that more events would only pile up in memory; senders of events that can
    // be lost (UDP datagrams) drop them then instead of sending. Safe from any thread.
    virtual bool hasRoomForEvent(std::size_t bytes) const = 0;
};

using ChannelPtr = std::shared_ptr<Channel>;
using ChannelRef = std::weak_ptr<Channel>;
