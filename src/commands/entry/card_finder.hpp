#pragma once
// The card finder of a reader entry: up to three searchers (ISO 14443-A, ISO 14443-B, ISO 15693),
// each with its search parameters, run one after another by findAll. Whoever runs findAll or changes
// the searchers holds the reader's exchange mutex: the finder thread runs passes concurrently with
// the session's commands.

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "card/iso14443a/iiso14443a_reader.hpp"
#include "card/iso14443b/iiso14443b_reader.hpp"
#include "card/iso15693/iiso15693_reader.hpp"

// One found card. cardKind is the protocol mode bit of the searcher that found it (rf_mode); only
// the record of that kind is meaningful.
struct CardId {
    std::uint8_t cardKind = 0;
    Orvane::TypeACardInfo typeA;
    Orvane::TypeBCardInfo typeB;
    Orvane::Iso15693Card vicinity;

    static CardId ofTypeA(const Orvane::TypeACardInfo& card);
    static CardId ofTypeB(const Orvane::TypeBCardInfo& card);
    static CardId ofIso15693(const Orvane::Iso15693Card& card);

    // Same kind and same identity: type A by UID (length and bytes), type B by PUPI, ISO 15693 by UID.
    bool operator==(const CardId& other) const;
};

class CardFinder {
  public:
    struct TypeA {
        std::shared_ptr<Orvane::IIso14443AReader> searcher;  // null: not searched
        int limit = 0;
    };
    struct TypeB {
        std::shared_ptr<Orvane::IIso14443BReader> searcher;
        int limit = 0;
        std::uint8_t afi = 0;
        std::uint8_t slots = 0;
    };
    struct Vicinity {
        std::shared_ptr<Orvane::IIso15693Reader> searcher;
        int limit = 0;
        int afi = 0;  // sent as a byte
        bool nb16Slots = false;
    };

    TypeA typeA;
    TypeB typeB;
    Vicinity iso15693;

    // Runs the enabled searchers in the order A, B, ISO 15693 and appends one record per card
    // found; returns the number appended. A searcher that fails adds nothing.
    int findAll(std::vector<CardId>& cards) const;
};

// The `retval` array clients get for a list of cards, in list order; records of an unknown kind
// are left out.
nlohmann::json cardListJson(const std::vector<CardId>& cards);
