#pragma once
// One HTTP connection, plain or TLS: reads requests (the Host check runs as soon as the headers
// are in), answers them through handleHttpRequest, and hands the stream to a WsConnection when a
// request asks for a WebSocket upgrade.

#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <memory>
#include <optional>
#include <type_traits>

#include "protocol/log.hpp"
#include "service/frontend/connection_slot.hpp"
#include "service/frontend/http_handler.hpp"
#include "service/frontend/streams.hpp"
#include "service/frontend/tls_setup.hpp"
#include "service/frontend/ws_connection.hpp"

struct HttpLimits {
    static constexpr std::chrono::seconds kHeader{10};  // a client that dribbles its headers is dropped
    static constexpr std::chrono::seconds kBody{30};
    static constexpr std::chrono::seconds kHandshake{10};  // TLS
    static constexpr std::chrono::seconds kWrite{50};
    static constexpr std::uint32_t kHeaderBytes = 16 * 1024;
    static constexpr std::uint64_t kBodyBytes = 64 * 1024;
};

template <class Stream>
class HttpConnection : public std::enable_shared_from_this<HttpConnection<Stream>> {
    static constexpr bool kTls = std::is_same_v<Stream, TlsStream>;

  public:
    template <class... StreamArgs>
    HttpConnection(ConnectionSlot slot, PeerInfo peer, StreamArgs&&... args)
        : stream_(std::forward<StreamArgs>(args)...), slot_(std::move(slot)), peer_(std::move(peer)) {
        peerText_ = peer_.ip + ":" + std::to_string(peer_.port);
    }

    void run() {
        if constexpr (kTls) {
            setTlsPeerText(stream_.native_handle(), &peerText_);
            boost::beast::get_lowest_layer(stream_).expires_after(HttpLimits::kHandshake);
            stream_.async_handshake(boost::asio::ssl::stream_base::server,
                                    [self = this->shared_from_this()](boost::beast::error_code ec) {
                                        if (ec) return self->fail(ec, "tls handshake");
                                        self->readHeader();
                                    });
        } else {
            readHeader();
        }
    }

  private:
    void readHeader() {
        parser_.emplace();
        parser_->header_limit(HttpLimits::kHeaderBytes);
        parser_->body_limit(HttpLimits::kBodyBytes);
        boost::beast::get_lowest_layer(stream_).expires_after(HttpLimits::kHeader);
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = this->shared_from_this()](boost::beast::error_code ec, std::size_t) {
                                    self->onHeader(ec);
                                });
    }

    void onHeader(boost::beast::error_code ec) {
        if (ec) return fail(ec, "read header");  // closed, timed out or malformed: nothing to answer
        if (!hostAllowed(slot_.front(), parser_->get(), peer_)) return shutdown();
        boost::beast::get_lowest_layer(stream_).expires_after(HttpLimits::kBody);
        http::async_read(stream_, buffer_, *parser_,
                         [self = this->shared_from_this()](boost::beast::error_code ec, std::size_t) {
                             self->onRequest(ec);
                         });
    }

    void onRequest(boost::beast::error_code ec) {
        if (ec) return fail(ec, "read body");
        HttpRequest request = parser_->release();
        parser_.reset();
        if (websocket::is_upgrade(request)) {
            if (auto refused = refuseOrigin(slot_.front(), request, peer_)) return send(std::move(*refused));
            if constexpr (kTls) setTlsPeerText(stream_.native_handle(), nullptr);  // peerText_ goes with us
            std::make_shared<WsConnection<Stream>>(std::move(stream_), std::move(slot_), std::move(peer_))
                ->run(std::move(request));
            return;
        }
        HttpReply reply = handleHttpRequest(slot_.front(), request, peer_);
        if (reply.refuse) return shutdown();
        std::visit([this](auto& res) { send(std::move(res)); }, reply.response);
    }

    template <class Response>
    void send(Response&& response) {
        auto res = std::make_shared<std::decay_t<Response>>(std::move(response));
        boost::beast::get_lowest_layer(stream_).expires_after(HttpLimits::kWrite);
        http::async_write(stream_, *res,
                          [self = this->shared_from_this(), res](boost::beast::error_code ec, std::size_t) {
                              if (ec) return self->fail(ec, "write");
                              if (res->need_eof()) return self->shutdown();
                              self->readHeader();
                          });
    }

    // Why a connection ended, for looking into one client's trouble; then it ends.
    void fail(boost::beast::error_code ec, const char* what) {
        logDebug("[%s] http %s: %s", peerText_, what, ec.message());
        shutdown();
    }

    void shutdown() {
        if constexpr (kTls) {
            boost::beast::get_lowest_layer(stream_).expires_after(HttpLimits::kHandshake);
            stream_.async_shutdown([self = this->shared_from_this()](boost::beast::error_code) {});
        } else {
            boost::beast::error_code ignored;
            stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
            stream_.close();
        }
    }

    Stream stream_;
    ConnectionSlot slot_;
    PeerInfo peer_;
    std::string peerText_;
    boost::beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};
