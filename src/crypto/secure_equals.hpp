#pragma once
#include <string_view>

namespace Orvane {

// Equal length and equal bytes, in time that depends on neither the position of the first
// difference nor the length of `secret`'s text beyond its digest: both sides are hashed first.
bool secureEquals(std::string_view given, std::string_view secret);

}  // namespace Orvane
