#pragma once
// Texts a reader sends (product and version strings) on their way into JSON replies.

#include <string>
#include <string_view>

namespace Orvane {

// The bytes as UTF-8 text: well-formed sequences are kept, every other byte becomes '?'. A reply
// with malformed UTF-8 could not be rendered, and the client would wait for it in vain.
std::string validUtf8Text(std::string_view bytes);

}  // namespace Orvane
