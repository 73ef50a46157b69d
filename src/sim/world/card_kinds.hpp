#pragma once
// The cards a simulator user can place on a reader, by kind name: what the scenario file and the
// /sim routes accept.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/card/type_a_card.hpp"

namespace rfsim {

struct CardKind {
    const char* name;
    const char* description;
    std::size_t uidLength;
};

const std::vector<CardKind>& cardKinds();

struct MadeCard {
    std::shared_ptr<TypeACard> card;  // null on error
    std::string error;                // why, for a 400 reply
};

// A card of `kind` with the UID given as hex text, or a fresh UID when `uidHex` is empty.
MadeCard makeCard(std::string_view kind, std::string_view uidHex);

// The kind name of a card made here.
std::string kindOf(const TypeACard& card);

}  // namespace rfsim
