#pragma once
// Keys as requests carry them, turned into the key record the card objects use.
//
// A key object is {"alg": n, "param": "...", "provider": bool?}: alg 1 = PIN digits, 2 = a DES
// family key in hex, any other = the text itself. With "provider" true the key never reaches the
// service: every operation with it is asked of the client (see provider_exchange.hpp). Secure
// messaging comes as "safe": {"enc": bool, "mac": bool, "key": key object}.

#include <nlohmann/json.hpp>

#include "card/cpu/key_data.hpp"
#include "protocol/channel.hpp"

namespace key_provider {

// Fills `key` from a key object. -1: "param" is not a string or "alg" not a non-negative integer
// (not handled); 1: the value does not fit, with result 105 (hex or digits) or 112 (text over 16
// bytes) set in `reply`; 0: filled. `channel` serves the provider when the object asks for one.
int KeyDataFill(nlohmann::json& reply, const nlohmann::json& keyObject, Orvane::cos_7816::_KeyData& key,
                const ChannelPtr& channel);

// Fills `key` from the request's "safe": without it the key is cleared and 0 returned; a "safe"
// without bool "enc", bool "mac" and object "key" is -1; else KeyDataFill's result.
int fillSecureMessaging(nlohmann::json& reply, const nlohmann::json& request, Orvane::cos_7816::_KeyData& key,
                        const ChannelPtr& channel);

// Which places of a request may name a provider key.
struct KeyPlaces {
    bool key = false;     // "key"
    bool safe = false;    // "safe" -> "key"
    bool keyTac = false;  // "keyTac"
};

// True when one of the places asked for holds an object whose "provider" is true.
bool needsProvider(const nlohmann::json& request, KeyPlaces places);

}  // namespace key_provider
