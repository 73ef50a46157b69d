#pragma once
// The key provider: a client that holds a key itself and performs, on request, each encryption,
// decryption or MAC with it. The service sends {"imp": 0, "ack": n, "type": op, "alg", "param",
// "iv", "data"} on the client's connection and waits up to kProviderWait for the answer
// {"imp": 0, "ack": n, "retval": status word, "data": result hex}.

#include <chrono>

#include "card/cpu/key_data.hpp"
#include "protocol/channel.hpp"

namespace key_provider {

inline constexpr std::chrono::seconds kProviderWait{10};

// The provider callable for keys held by the client on `channel` (held by shared ownership while
// an operation waits). Its results: the answer's status word (SW1 in the low byte) with the data
// replaced; 0xFFFF when the connection is gone or no answer came in time; 0x866A when the answer
// has no integer "retval" or no hex "data", or the wait was released without one.
Orvane::cos_7816::KeyProvider providerFor(ChannelPtr channel);

}  // namespace key_provider
