#pragma once
// One WebSocket connection and its session. All socket work runs on the connection's worker
// thread; sendText and close may come from any thread and are posted there. The session's
// commands run on its own serial executor over the server's session pool, so a command waiting
// on a reader holds neither this thread nor the other connections on it.

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <memory>
#include <optional>

#include "protocol/log.hpp"
#include "service/frontend/connection_slot.hpp"
#include "service/frontend/http_handler.hpp"
#include "service/frontend/streams.hpp"
#include "service/session/session_work.hpp"

namespace websocket = boost::beast::websocket;

struct WsLimits {
    static constexpr std::size_t kMaxMessage = 1 << 20;
    // Texts waiting for a peer that does not read, replies and events alike, in number and in bytes.
    // Every reply repeats its request's ack, so without the byte cap a client that sends 1 MiB
    // messages and never reads would make the queue grow by 1 MiB a message.
    static constexpr std::size_t kMaxQueued = 4096;
    static constexpr std::size_t kMaxQueuedBytes = 8 << 20;
    // Droppable events stop well before that, so a flood of them never closes the connection, and
    // large ones (a 64 KiB datagram is 128 KiB of hex) cannot fill memory either.
    static constexpr std::size_t kMaxEventBacklog = kMaxQueued / 2;
    static constexpr std::size_t kMaxEventBacklogBytes = 4 << 20;
    // A read buffer that grew beyond this for one message is given back afterwards, so a
    // connection that once sent a large message does not keep its memory.
    static constexpr std::size_t kKeptReadBuffer = 64 << 10;
    static constexpr std::chrono::seconds kIdle{20};  // ping after half of it, drop after all of it
    // A message must be complete this long after its first byte came, like the HTTP header
    // deadline: a client sending a byte now and then would otherwise hold its place for ever, as
    // every byte counts against the idle time.
    static constexpr std::chrono::seconds kMessage{10};
    static constexpr std::chrono::seconds kHandshake{30};
    static constexpr std::chrono::seconds kWrite{50};
    // Commands a session may have waiting for its executor before its reading pauses.
    static constexpr std::size_t kMaxWaitingCommands = 32;
};

template <class Stream>
class WsConnection : public Channel, public std::enable_shared_from_this<WsConnection<Stream>> {
  public:
    WsConnection(Stream&& stream, ConnectionSlot slot, PeerInfo peer)
        : ws_(std::move(stream)),
          slot_(std::move(slot)),
          peer_(std::move(peer)),
          writeTimer_(ws_.get_executor()),
          messageTimer_(ws_.get_executor()),
          loginTimer_(ws_.get_executor()) {}

    ~WsConnection() override { releaseSession(); }

    void run(HttpRequest request) {
        boost::beast::get_lowest_layer(ws_).expires_never();
        websocket::stream_base::timeout timeout{};
        timeout.handshake_timeout = WsLimits::kHandshake;
        timeout.idle_timeout = WsLimits::kIdle;
        timeout.keep_alive_pings = true;
        ws_.set_option(timeout);
        ws_.read_message_max(WsLimits::kMaxMessage);
        boost::beast::get_lowest_layer(ws_).rate_policy().onBytes([weak = this->weak_from_this()] {
            if (const auto self = weak.lock()) self->startMessageClock();
        });
        // A ping or pong between messages is no message begun; one between the frames of a message
        // does not stop its clock.
        ws_.control_callback([this](websocket::frame_type kind, boost::beast::string_view) {
            if (kind != websocket::frame_type::close && ws_.is_message_done()) stopMessageClock();
        });
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& res) { res.set(http::field::server, "rfdock"); }));
        request_ = std::move(request);
        ws_.async_accept(
            request_, [self = this->shared_from_this()](boost::beast::error_code ec) { self->onAccept(ec); });
    }

    // Channel
    bool sendText(std::string text) override {
        if (!open_) return false;
        const std::size_t bytes = text.size();
        const std::size_t count = backlog_.fetch_add(1) + 1;
        const std::size_t total = backlogBytes_.fetch_add(bytes) + bytes;
        if (count > WsLimits::kMaxQueued || total > WsLimits::kMaxQueuedBytes) {
            backlog_ -= 1;
            backlogBytes_ -= bytes;
            if (open_.exchange(false))
                boost::asio::post(ws_.get_executor(), [self = this->shared_from_this(), count, total] {
                    logError("[%s:%d] websocket peer does not read (%d messages, %d bytes waiting), closing",
                             self->peer_.ip, self->peer_.port, count, total);
                    self->abort();
                });
            return false;
        }
        boost::asio::post(ws_.get_executor(),
                          [self = this->shared_from_this(), text = std::move(text)]() mutable {
                              self->queue(std::move(text));
                          });
        return true;
    }
    void close() override {
        open_ = false;
        boost::asio::post(ws_.get_executor(), [self = this->shared_from_this()] { self->beginClose(); });
    }
    bool isConnected() const override { return open_; }
    bool currentFrameIsText() const override { return gotText_; }
    bool hasRoomForEvent(std::size_t bytes) const override {
        return backlog_ < WsLimits::kMaxEventBacklog &&
               backlogBytes_ + bytes <= WsLimits::kMaxEventBacklogBytes;
    }

  private:
    void onAccept(boost::beast::error_code ec) {
        request_ = {};
        if (ec) return fail(ec, "accept");
        open_ = true;
        ++slot_.front().sessionNum;
        session_ = std::make_shared<SessionWork>(ChannelRef(this->weak_from_this()), slot_.front().config,
                                                 slot_.front().nextLoop,
                                                 peer_.ip + ":" + std::to_string(peer_.port));
        if (auto* pool = slot_.front().sessionPool)
            commands_.emplace(boost::asio::make_strand(pool->get_executor()));
        read();
    }

    void read() {
        ws_.async_read(buffer_, [self = this->shared_from_this()](boost::beast::error_code ec, std::size_t) {
            self->onRead(ec);
        });
    }

    void onRead(boost::beast::error_code ec) {
        stopMessageClock();
        if (ec) {
            fail(ec, "read");
            return onClosed();
        }
        gotText_ = ws_.got_text();
        // A flat buffer holds the message in one piece; nothing reads into it until the next read.
        const std::string_view message(static_cast<const char*>(buffer_.data().data()), buffer_.size());
        const auto session = session_;
        SessionWork::Taken taken = session ? session->take(message) : SessionWork::Taken{};
        buffer_.consume(buffer_.size());
        if (buffer_.capacity() > WsLimits::kKeptReadBuffer) buffer_.shrink_to_fit();
        if (taken.keep && taken.command) taken.keep = admit(session, std::move(*taken.command));
        if (!taken.keep) return refuse();
        // Reading goes on while commands run, so that answers to key requests come through; a
        // client that sends faster than its commands finish waits here.
        if (commandsWaiting_ >= WsLimits::kMaxWaitingCommands)
            readPaused_ = true;
        else if (!closing_)
            read();
    }

    static bool isLogin(const nlohmann::json& command) {
        const auto code = command.find("code");
        return code != command.end() && code->is_number_integer() && *code == 0;
    }

    // A command waits here while a login is in progress: nothing runs after a login before its
    // answer, held back after repeated refusals, has gone out. So a client cannot send its guesses
    // ahead and have them all tried while the first one waits.
    bool admit(const std::shared_ptr<SessionWork>& session, nlohmann::json command) {
        if (!loginGate_) return runCommand(session, std::move(command));
        ++commandsWaiting_;
        gated_.push_back(std::move(command));
        return true;
    }

    // On the session's executor when there is one: false when the command was run here and
    // failed.
    bool runCommand(const std::shared_ptr<SessionWork>& session, nlohmann::json command) {
        if (!commands_) {
            const bool keep = session->run(command);
            session->releaseHeldReply();
            return keep;
        }
        const bool login = isLogin(command);
        if (login) loginGate_ = true;
        ++commandsWaiting_;
        boost::asio::post(*commands_, [self = this->shared_from_this(), session, login,
                                       command = std::move(command)]() mutable {
            const bool keep = session->run(command);
            const auto held = session->heldReplyDelay();
            boost::asio::post(self->ws_.get_executor(),
                              [self, keep, login, held] { self->commandDone(keep, login, held); });
        });
        return true;
    }

    void commandDone(bool keep, bool login, std::chrono::milliseconds held) {
        --commandsWaiting_;
        if (!keep) return refuse();
        if (held.count() > 0) {
            loginTimer_.expires_after(held);
            loginTimer_.async_wait([self = this->shared_from_this()](boost::beast::error_code) {
                if (const auto session = self->session_) session->releaseHeldReply();
                // The reply's send was posted from this thread, and Asio keeps such posts apart until
                // this handler returns: opening the gate here would let the next command's reply,
                // posted from the session's thread, overtake it.
                boost::asio::post(self->ws_.get_executor(), [self] { self->openLoginGate(); });
            });
            return;
        }
        if (login) return openLoginGate();
        resumeReading();
    }

    void openLoginGate() {
        loginGate_ = false;
        const auto session = session_;
        while (session && !gated_.empty() && !loginGate_ && !closing_) {
            nlohmann::json command = std::move(gated_.front());
            gated_.pop_front();
            --commandsWaiting_;
            runCommand(session, std::move(command));
        }
        resumeReading();
    }

    void resumeReading() {
        if (readPaused_ && !closing_ && commandsWaiting_ < WsLimits::kMaxWaitingCommands) {
            readPaused_ = false;
            read();
        }
    }

    void refuse() {
        if (closing_) return;
        logDebug("[%s:%d] websocket message refused, closing", peer_.ip, peer_.port);
        close();
    }

    // Bytes came in while reading: the first ones after a whole message begin the next one.
    void startMessageClock() {
        if (messageClock_ || closing_) return;
        messageClock_ = true;
        messageTimer_.expires_after(WsLimits::kMessage);
        messageTimer_.async_wait([weak = this->weak_from_this()](boost::beast::error_code ec) {
            const auto self = weak.lock();
            // A message completed just as the time ran out has stopped the clock already.
            if (!self || ec || !self->messageClock_ ||
                self->messageTimer_.expiry() > boost::asio::steady_timer::clock_type::now())
                return;
            logWarn("[%s:%d] websocket message not complete within %d s, closing", self->peer_.ip,
                    self->peer_.port, static_cast<int>(WsLimits::kMessage.count()));
            self->abort();
        });
    }

    void stopMessageClock() {
        if (!messageClock_) return;
        messageClock_ = false;
        messageTimer_.cancel();
    }

    void queue(std::string text) {
        if (closing_) return settled(text);
        queue_.push_back(std::move(text));
        if (!writing_) write();
    }

    void write() {
        writing_ = true;
        ws_.text(true);
        writeTimer_.expires_after(WsLimits::kWrite);
        writeTimer_.async_wait([weak = this->weak_from_this()](boost::beast::error_code ec) {
            if (auto self = weak.lock(); self && !ec) self->abort();
        });
        ws_.async_write(boost::asio::buffer(queue_.front()),
                        [self = this->shared_from_this()](boost::beast::error_code ec, std::size_t) {
                            self->onWrite(ec);
                        });
    }

    void onWrite(boost::beast::error_code ec) {
        writeTimer_.cancel();
        writing_ = false;
        if (ec) {
            fail(ec, "write");
            return abort();
        }
        settled(queue_.front());
        queue_.pop_front();
        if (!queue_.empty()) return write();
        if (closing_) closeHandshake();
    }

    void beginClose() {
        if (closing_) return;
        closing_ = true;
        open_ = false;
        if (!writing_) closeHandshake();
    }

    void closeHandshake() {
        ws_.async_close(websocket::close_code::normal,
                        [self = this->shared_from_this()](boost::beast::error_code ec) {
                            if (ec) self->fail(ec, "close");
                            self->onClosed();
                        });
    }

    // Why a connection ends, for looking into one client's trouble.
    void fail(boost::beast::error_code ec, const char* what) const {
        logDebug("[%s:%d] websocket %s: %s", peer_.ip, peer_.port, what, ec.message());
    }

    // Drops the connection at once (peer stuck or gone).
    void abort() {
        closing_ = true;
        boost::beast::error_code ignored;
        boost::beast::get_lowest_layer(ws_).socket().close(ignored);
        onClosed();
    }

    // A text passed to sendText has been written or dropped.
    void settled(const std::string& text) {
        backlog_ -= 1;
        backlogBytes_ -= text.size();
    }

    void onClosed() {
        open_ = false;
        stopMessageClock();
        for (const auto& text : queue_)
            settled(text);
        queue_.clear();
        releaseSession();
    }

    void releaseSession() {
        if (!session_) return;
        --slot_.front().sessionNum;
        session_.reset();
    }

    websocket::stream<Stream> ws_;
    ConnectionSlot slot_;
    PeerInfo peer_;
    HttpRequest request_;
    boost::beast::flat_buffer buffer_;
    boost::asio::steady_timer writeTimer_;
    boost::asio::steady_timer messageTimer_;  // runs from a message's first byte to its end
    boost::asio::steady_timer loginTimer_;    // holds back the answer of a refused login
    std::deque<std::string> queue_;
    std::shared_ptr<SessionWork> session_;
    // The session's commands, one at a time in order; on this connection's thread when unset.
    std::optional<boost::asio::strand<boost::asio::thread_pool::executor_type>> commands_;
    std::size_t commandsWaiting_ = 0;  // handed to commands_ and not done; this thread only
    bool readPaused_ = false;
    bool loginGate_ = false;  // a login runs: later commands wait in gated_
    std::deque<nlohmann::json> gated_;
    std::atomic<bool> open_{false};
    // Texts handed to sendText and not yet written or dropped, and their bytes.
    std::atomic<std::size_t> backlog_{0};
    std::atomic<std::size_t> backlogBytes_{0};
    bool messageClock_ = false;
    bool writing_ = false;
    bool closing_ = false;
    bool gotText_ = true;
};
