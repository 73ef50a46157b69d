// Reader commands 100 to 120: reader slots, reader type and port, open and close, beeper, LEDs,
// version, protocol, the card finder's searchers and the find task.
//
// Every command that runs frames on the reader holds the reader's exchange mutex for its reader
// work (see needsOf): commands that leave a running find task alone (107 to 111, 113 to 115) then
// never interleave frames with a finder pass, and those that stop it keep out card commands still
// running on a worker thread. Commands that reset the reader or the field end a card hold.

#include <new>
#include <optional>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/iso14443b/rf_iso14443b.hpp"
#include "card/iso15693/rf_iso15693.hpp"
#include "commands/entry/rf_reader_one.hpp"
#include "commands/rf_work.hpp"
#include "protocol/answer.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"
#include "reader/serial/port_policy.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace {

constexpr GCODE kCreateEntry = 100;

// A searcher's limit: any integer, saturated to the int range (large unsigned ones stay large).
std::optional<int> limitField(const json& request) {
    if (const auto value = uintField(request, "limit")) return clampToInt(*value);
    if (const auto value = intField(request, "limit")) return clampToInt(*value);
    return std::nullopt;
}

// --- commands on an existing entry; -1 for a missing or mistyped parameter

int setType(RfReaderOne& entry, const json& request, json& reply) {
    const auto devType = uintField(request, "devType");
    if (!devType) return hr::kMalformed;
    reply["retval"] = entry.reader()->setType(lowByte(*devType));
    return answer(reply);
}

int setPortName(RfReaderOne& entry, const json& request, json& reply) {
    const auto devType = uintField(request, "devType");
    const std::string* addr = stringField(request, "addr");
    if (!devType || !addr) return hr::kMalformed;
    // Type 7's addr is part of a PC/SC reader's name, not a port.
    if (!addr->empty() && *devType != kReaderPcsc) {
        if (const auto refusal = serial::portRefusal(*addr)) {
            logWarn("serial port %s refused: %s", cutForLog(*addr), *refusal);
            reply["retval"] = false;
            return answer(reply);
        }
    }
    reply["retval"] = entry.reader()->setPortName(lowByte(*devType), *addr);
    return answer(reply);
}

int setKeepOpen(RfReaderOne& entry, const json& request, json& reply) {
    const auto only = boolField(request, "only");
    if (!only) return hr::kMalformed;
    entry.reader()->setKeepOpen(*only);
    return answer(reply);
}

int openReader(RfReaderOne& entry, const json& request, json& reply) {
    const auto open = boolField(request, "open");
    if (!open) return hr::kMalformed;
    reply["retval"] = entry.openReader(*open);
    return answer(reply);
}

int closeReader(RfReaderOne& entry, json& reply) {
    entry.closeReader();
    return answer(reply);
}

int setLeds(RfReaderOne& entry, const json& request, json& reply) {
    const auto yellow = intField(request, "Y");
    const auto green = intField(request, "G");
    if (!yellow || !green) return hr::kMalformed;
    reply["retval"] = entry.reader()->setLeds(lowByte(*yellow), lowByte(*green));
    return answer(reply);
}

int readVersion(RfReaderOne& entry, json& reply) {
    std::string text;
    reply["retval"] = entry.reader()->readVersion(text);
    reply["ver"] = text;
    return answer(reply);
}

int setProtocol(RfReaderOne& entry, const json& request, json& reply) {
    const auto rfType = uintField(request, "rfType");
    const auto force = boolField(request, "forceSwitch");
    if (!rfType || !force) return hr::kMalformed;
    reply["retval"] = entry.reader()->setProtocol(lowByte(*rfType), *force);
    return answer(reply);
}

int beep(RfReaderOne& entry, const json& request, json& reply) {
    const auto ms = uintField(request, "ms");
    if (!ms) return hr::kMalformed;
    reply["retval"] = entry.reader()->beep(lowByte(*ms));
    return answer(reply);
}

int resetField(RfReaderOne& entry, json& reply) {
    reply["retval"] = entry.reader()->resetField();
    return answer(reply);
}

int searchTypeA(RfReaderOne& entry, const json& request, json& reply) {
    const auto enable = boolField(request, "enable");
    const auto limit = limitField(request);
    if (!enable || !limit) return hr::kMalformed;
    std::shared_ptr<Orvane::IIso14443AReader> searcher;
    if (*enable) searcher = entry.typeAReader();
    entry.cardFinder().typeA = {std::move(searcher), *limit};
    return answer(reply);
}

int searchTypeB(RfReaderOne& entry, const json& request, json& reply) {
    const auto enable = boolField(request, "enable");
    const auto limit = limitField(request);
    const auto afi = uintField(request, "afi");
    const auto slots = uintField(request, "slotsNum");
    if (!enable || !limit || !afi || !slots) return hr::kMalformed;
    std::shared_ptr<Orvane::IIso14443BReader> searcher;
    if (*enable) searcher = entry.iso14443B();
    entry.cardFinder().typeB = {std::move(searcher), *limit, lowByte(*afi), lowByte(*slots)};
    return answer(reply);
}

int searchIso15693(RfReaderOne& entry, const json& request, json& reply) {
    const auto enable = boolField(request, "enable");
    const auto limit = limitField(request);
    const auto afi = uintField(request, "afi");
    const auto nb16Slots = boolField(request, "nb16Slots");
    if (!enable || !limit || !afi || !nb16Slots) return hr::kMalformed;
    std::shared_ptr<Orvane::IIso15693Reader> searcher;
    if (*enable) searcher = entry.iso15693();
    entry.cardFinder().iso15693 = {std::move(searcher), *limit, lowByte(*afi), *nb16Slots};
    return answer(reply);
}

int findOnce(RfReaderOne& entry, json& reply) {
    std::vector<CardId> cards;
    entry.findAll(cards);
    reply["retval"] = cardListJson(cards);
    return answer(reply);
}

int startFinding(RfReaderOne& entry, const json& request, json& reply) {
    const auto ms = uintField(request, "ms");
    const auto evt = boolField(request, "evt");
    if (!ms || !evt) return hr::kMalformed;
    // In acknowledgement mode the task's one message answers this request under its ack; a request
    // without a string ack could never be answered, so it is refused as malformed.
    const std::string* ack = stringField(request, "ack");
    if (!*evt && !ack) return hr::kMalformed;

    FindIdTask task;
    task.intervalMs = clampToInt(*ms);
    task.pause = boolField(request, "pause").value_or(false);
    task.fixIdle = boolField(request, "fixIdle").value_or(false);
    if (!*evt) task.ack = *ack;

    switch (entry.startFindTask(std::move(task))) {
        case RfReaderOne::FindStart::notOpened:
            return answer(reply, Result::kReaderNotOpen);
        case RfReaderOne::FindStart::noResources:
            return answer(reply, Result::kOutOfMemory);
        case RfReaderOne::FindStart::started:
            break;
    }
    if (*evt) return answer(reply);
    return hr::kNothingNow;
}

// What each command needs of its entry; nullopt for a code that is not a reader command.
std::optional<EntryNeeds> needsOf(GCODE code) {
    constexpr EntryNeeds onReader{
        .stopsFinder = false, .exchange = true, .card = EntryNeeds::Card::untouched};
    // Reader and field reset, a search of its own: the find task stops, a held card is gone.
    constexpr EntryNeeds resetting{.stopsFinder = true, .exchange = true, .card = EntryNeeds::Card::reset};
    switch (code) {
        case 101:
        case 103:
        case 104:
        case 107:
        case 108:
        case 109:
        case 110:
        case 111:
        case 113:
        case 114:
        case 115:
            return onReader;
        case 102:
        case 105:
        case 106:
        case 112:
        case 116:
            return resetting;
        case 117:  // starting a task stops the running one itself
        case 120:
            return EntryNeeds{};
        case 119:
            return EntryNeeds{.stopsFinder = true};
        default:
            return std::nullopt;
    }
}

int readerCommand(GCODE code, RfReaderOne& one, const json& request, json& reply) {
    switch (code) {
        case 101:
            reply["retval"] = one.reader()->type();
            return answer(reply);
        case 102:
            return setType(one, request, reply);
        case 103:
            return setPortName(one, request, reply);
        case 104:
            return setKeepOpen(one, request, reply);
        case 105:
            return openReader(one, request, reply);
        case 106:
            return closeReader(one, reply);
        case 107:
            return setLeds(one, request, reply);
        case 108:
            return readVersion(one, reply);
        case 109:
            reply["retval"] = one.reader()->rfMode();
            return answer(reply);
        case 110:
            return setProtocol(one, request, reply);
        case 111:
            return beep(one, request, reply);
        case 112:
            return resetField(one, reply);
        case 113:
            return searchTypeA(one, request, reply);
        case 114:
            return searchTypeB(one, request, reply);
        case 115:
            return searchIso15693(one, request, reply);
        case 116:
            return findOnce(one, reply);
        case 117:
            return startFinding(one, request, reply);
        case 119:  // the prologue stopped the task
            return answer(reply);
        default:  // 120
            one.clearWaitAck();
            return answer(reply);
    }
}

}  // namespace

int RfWork::workRfReader(GCODE code, const json& request, json& reply) {
    if (code == kCreateEntry) return createEntry(request, reply);
    const std::optional<EntryNeeds> needs = needsOf(code);
    return onEntry(request, reply, needs.value_or(EntryNeeds{}), [&](EntryCommand& command) {
        if (!needs) {
            logWarn("RfReader gcode %d fail", code);
            return answer(reply, Result::kUnknownCode);
        }
        return readerCommand(code, command.entry(), request, reply);
    });
}

int RfWork::createEntry(const json& request, json& reply) {
    try {
        int result = handler_result::kMalformed;
        const auto slot = slotFor(request, reply, result);
        if (!slot) return result;
        const auto devType = uintField(request, "devType");
        if (!devType) return hr::kMalformed;
        auto entry = std::make_shared<RfReaderOne>(channel_, lowByte(*devType));
        // The previous entry goes after the swap, stopping its task and closing its reader.
        readers_[*slot].swap(entry);
        return answer(reply);
    } catch (const std::bad_alloc&) {
        return answer(reply, Result::kOutOfMemory);
    }
}
