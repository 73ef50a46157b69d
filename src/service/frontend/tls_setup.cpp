#include "service/frontend/tls_setup.hpp"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <sys/stat.h>

#include <cstring>
#include <optional>

#include "protocol/log.hpp"
#include "service/frontend/ticket_keys.hpp"

namespace {

TicketKeyStore& ticketKeys() {
    static TicketKeyStore store;
    return store;
}

int peerTextIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

const char* peerText(SSL* ssl) {
    const auto* text = static_cast<const std::string*>(SSL_get_ex_data(ssl, peerTextIndex()));
    return text ? text->c_str() : "?";
}

bool setHmacKey(EVP_MAC_CTX* mac, const TicketKeySet& keys) {
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_MAC_PARAM_KEY, const_cast<unsigned char*>(keys.hmacKey.data()),
                                          keys.hmacKey.size()),
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_end(),
    };
    return EVP_MAC_CTX_set_params(mac, params) == 1;
}

int ticketKeyCallback(SSL* ssl, unsigned char* keyName, unsigned char* iv, EVP_CIPHER_CTX* cipher,
                      EVP_MAC_CTX* mac, int encrypt) {
    const std::int64_t now = monotonicSeconds();
    if (encrypt) {
        if (SSL_SESSION* session = SSL_get0_session(ssl)) SSL_SESSION_set_timeout(session, 600);
        const TicketKeySet keys = ticketKeys().current(now);
        std::memcpy(keyName, keys.name.data(), keys.name.size());
        if (RAND_bytes(iv, 16) != 1) return -1;
        if (EVP_EncryptInit_ex(cipher, EVP_aes_256_cbc(), nullptr, keys.aesKey.data(), iv) != 1) return -1;
        return setHmacKey(mac, keys) ? 1 : -1;
    }
    const auto keys = ticketKeys().find(keyName, now);
    if (!keys) return 0;  // unknown ticket: full handshake
    if (EVP_DecryptInit_ex(cipher, EVP_aes_256_cbc(), nullptr, keys->aesKey.data(), iv) != 1) return 0;
    return setHmacKey(mac, *keys) ? 1 : 0;
}

int serverNameCallback(SSL* ssl, int* alert, void* arg) {
    const auto& srvHost = *static_cast<const std::string*>(arg);
    if (srvHost.empty()) return SSL_TLSEXT_ERR_OK;
    const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
    if (name && srvHost == name) return SSL_TLSEXT_ERR_OK;
    if (!name)
        logError("%s tls servername does not exist", peerText(ssl));
    else
        logError("%s forbid tls servername: %s", peerText(ssl), cutForLog(name));
    // No SSL_set_shutdown here: marking the shutdown as sent would suppress the alert itself, and the
    // client would see a bare EOF instead of being told why.
    *alert = SSL_AD_UNRECOGNIZED_NAME;
    return SSL_TLSEXT_ERR_ALERT_FATAL;
}

// The host name of the server_name extension of a ClientHello (RFC 6066 §3); nullopt when there is
// none or it does not parse.
std::optional<std::string> helloServerName(SSL* ssl) {
    const unsigned char* ext = nullptr;
    std::size_t length = 0;
    if (SSL_client_hello_get0_ext(ssl, TLSEXT_TYPE_server_name, &ext, &length) != 1 || length < 2)
        return std::nullopt;
    const std::size_t listLength = static_cast<std::size_t>(ext[0] << 8 | ext[1]);
    if (listLength + 2 != length) return std::nullopt;
    std::size_t at = 2;
    while (at + 3 <= length) {
        const unsigned char type = ext[at];
        const std::size_t nameLength = static_cast<std::size_t>(ext[at + 1] << 8 | ext[at + 2]);
        at += 3;
        if (nameLength > length - at) return std::nullopt;
        if (type == TLSEXT_NAMETYPE_host_name)
            return std::string(reinterpret_cast<const char*>(ext + at), nameLength);
        at += nameLength;
    }
    return std::nullopt;
}

// The server-name check on the ClientHello itself. The servername callback alone is not enough: on
// a TLS 1.2 resumption OpenSSL reports the name stored in the session, not the one this client sent.
int clientHelloCallback(SSL* ssl, int* alert, void* arg) {
    const auto& srvHost = *static_cast<const std::string*>(arg);
    if (srvHost.empty()) return SSL_CLIENT_HELLO_SUCCESS;
    const auto name = helloServerName(ssl);
    if (name && *name == srvHost) return SSL_CLIENT_HELLO_SUCCESS;
    if (!name)
        logError("%s tls servername does not exist", peerText(ssl));
    else
        logError("%s forbid tls servername: %s", peerText(ssl), cutForLog(*name));
    *alert = SSL_AD_UNRECOGNIZED_NAME;
    return SSL_CLIENT_HELLO_ERROR;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void configureSessions(SSL_CTX* ctx, int maxConnect, const std::string& srvHost) {
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    unsigned char sidContext[32];
    if (RAND_bytes(sidContext, sizeof sidContext) == 1)
        SSL_CTX_set_session_id_context(ctx, sidContext, sizeof sidContext);
    SSL_CTX_sess_set_cache_size(ctx, std::max(300, maxConnect / 2));
    SSL_CTX_set_timeout(ctx, 7200);
    SSL_CTX_set_num_tickets(ctx, 3);
    SSL_CTX_set_tlsext_ticket_key_evp_cb(ctx, ticketKeyCallback);
    SSL_CTX_set_verify_depth(ctx, 5);
    SSL_CTX_set_options(ctx, SSL_OP_ALL | SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_ENABLE_KTLS);
    SSL_CTX_set_client_hello_cb(ctx, clientHelloCallback, const_cast<std::string*>(&srvHost));
    SSL_CTX_set_tlsext_servername_callback(ctx, serverNameCallback);
    SSL_CTX_set_tlsext_servername_arg(ctx, const_cast<std::string*>(&srvHost));
}

}  // namespace

std::optional<std::string> findTlsFile(const std::string& name, const TlsFileDirs& dirs) {
    if (name.empty()) return std::nullopt;
    for (const std::string& candidate : {name, dirs.programDir + "/" + name, dirs.runDir + "/" + name})
        if (fileExists(candidate)) return candidate;
    return std::nullopt;
}

void setTlsPeerText(SSL* ssl, const std::string* text) {
    SSL_set_ex_data(ssl, peerTextIndex(), const_cast<std::string*>(text));
}

std::shared_ptr<boost::asio::ssl::context> createTlsContext(IniCfg& config, const TlsFileDirs& dirs,
                                                            const std::string& srvHost) {
    namespace ssl = boost::asio::ssl;
    const auto fail = [&config]() -> std::shared_ptr<ssl::context> {
        config.set(cfg::tlsEnable, false);
        return nullptr;
    };
    const auto crt = findTlsFile(config.get(cfg::crtFile), dirs);
    if (!crt) {
        logError("TLS crtFile %s error", config.get(cfg::crtFile));
        return fail();
    }
    const auto key = findTlsFile(config.get(cfg::keyFile), dirs);
    if (!key) {
        logError("TLS keyFile %s error", config.get(cfg::keyFile));
        return fail();
    }
    const auto ca = findTlsFile(config.get(cfg::caFile), dirs);

    auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
    boost::system::error_code ec;
    context->use_certificate_chain_file(*crt, ec);
    if (!ec) context->use_private_key_file(*key, ssl::context::pem, ec);
    if (!ec && ca) context->load_verify_file(*ca, ec);
    if (!ec) context->set_verify_mode(ssl::verify_none, ec);
    if (ec || SSL_CTX_check_private_key(context->native_handle()) != 1) {
        logError("TLS newSslCtx error");
        return fail();
    }
    SSL_CTX* ctx = context->native_handle();
    const std::string ciphers = config.get(cfg::sslCipherSuite);
    // This call takes the TLS 1.2 names of the list and skips the TLS 1.3 ones, whose suites OpenSSL
    // enables by default anyway.
    if (!ciphers.empty()) SSL_CTX_set_cipher_list(ctx, ciphers.c_str());
    configureSessions(ctx, config.get(cfg::maxConnect), srvHost);
    return context;
}
