#pragma once
// The ISO 14443-A link of a reader: which family's commands carry the type A steps.

#include <optional>
#include <variant>

#include "card/iso14443a/typea_va.hpp"
#include "card/iso14443a/typea_vc.hpp"
#include "card/iso14443a/typea_vd.hpp"

class RfReader;

namespace typea {

using Link = std::variant<VaTypeA, VcTypeA, VdTypeA>;

// The link of the reader's current type; nullopt for a type without one (not set, unknown).
std::optional<Link> linkOf(RfReader& reader);

}  // namespace typea
