#pragma once
// The TLS server context: certificate files, cipher list, session tickets with rotating keys and
// the server-name check against srvHost.

#include <boost/asio/ssl/context.hpp>
#include <memory>
#include <string>

#include "service/config/ini_cfg.hpp"

struct TlsFileDirs {
    std::string programDir;
    std::string runDir;
};

// The first existing of: the name itself, programDir/name, runDir/name; nullopt for an empty name.
std::optional<std::string> findTlsFile(const std::string& name, const TlsFileDirs& dirs);

// nullptr (logged, and tlsEnable switched off in `config`) when a file is missing or the context
// cannot be built. `srvHost` must outlive the context.
std::shared_ptr<boost::asio::ssl::context> createTlsContext(IniCfg& config, const TlsFileDirs& dirs,
                                                            const std::string& srvHost);

// Text of the peer a TLS stream talks to, for the server-name check's log lines; set on every
// connection's SSL object before its handshake. The string must outlive the handshake.
void setTlsPeerText(SSL* ssl, const std::string* peerText);
