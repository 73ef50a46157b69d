#pragma once
// Result codes of the session protocol and their message texts. Clients show these texts to users,
// so they are sent exactly as written in result_codes.cpp.

#include <nlohmann/json.hpp>

// The `err` of a reply.
enum class Result : unsigned {
    kDone = 0,
    kNotLoggedIn = 100,        // a command other than login before a successful login
    kLoginRefused = 101,       // wrong user name or password
    kNoReader = 102,           // the reader slot named by rfIdx is empty
    kUnknownCode = 103,        // a code no handler serves
    kBadKey = 104,             // a key text that is not valid
    kBadData = 105,            // a hex or structured parameter that does not decode
    kReaderNotOpen = 106,      // a card search without an opened reader
    kNoEncryptedSector = 107,  // has a text, never produced
    kOutOfMemory = 108,        // no memory for an entry, a task or a buffer
    kBadIndex = 109,           // rfIdx or udpIdx of 6 or more
    kBadAddress = 110,         // an address that does not parse
    kUdpNotStarted = 111,      // the UDP endpoint is not started
    kBadParameter = 112,       // a parameter out of range, a failed calculation
    kWrongCpuProtocol = 113,   // the reader's protocol does not fit the CPU-card command
    kInternalError = 114,      // work that cannot be started
};

// Text of a result code; codes without a text of their own get "未定义错误".
const char* resultText(unsigned code);
inline const char* resultText(Result code) {
    return resultText(static_cast<unsigned>(code));
}

// Writes `err` and `msg` of a reply together.
void setResult(nlohmann::json& reply, Result code);
