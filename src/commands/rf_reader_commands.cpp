// Reader commands 100 to 120: reader slots, reader type and port, open and close, beeper, LEDs,
// version, protocol, the card finder's searchers and the find task.
//
// Every command that runs frames on the reader holds the reader's exchange mutex for its reader
// work: commands that leave a running find task alone (107 to 111, 113 to 115) then never
// interleave frames with a finder pass, and those that stop it keep out card commands still
// running on a worker thread.

#include <new>
#include <optional>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/iso14443b/rf_iso14443b.hpp"
#include "card/iso15693/rf_iso15693.hpp"
#include "commands/entry/rf_reader_one.hpp"
#include "commands/rf_work.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"
#include "protocol/result_codes.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace {

constexpr GCODE kFirstReaderCode = 100;
constexpr GCODE kLastReaderCode = 120;
constexpr GCODE kNotAReaderCode = 118;

int done(json& reply) {
    setResult(reply, 0);
    return hr::kSendNow;
}

int answer(json& reply, unsigned result) {
    setResult(reply, result);
    return hr::kSendNow;
}

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
    entry.stopFindTask();
    auto exchange = entry.lockExchange();
    reply["retval"] = entry.reader()->setType(lowByte(*devType));
    return done(reply);
}

int setPortName(RfReaderOne& entry, const json& request, json& reply) {
    const auto devType = uintField(request, "devType");
    const std::string* addr = stringField(request, "addr");
    if (!devType || !addr) return hr::kMalformed;
    auto exchange = entry.lockExchange();
    reply["retval"] = entry.reader()->setPortName(lowByte(*devType), *addr);
    return done(reply);
}

int setKeepOpen(RfReaderOne& entry, const json& request, json& reply) {
    const auto only = boolField(request, "only");
    if (!only) return hr::kMalformed;
    auto exchange = entry.lockExchange();
    entry.reader()->setKeepOpen(*only);
    return done(reply);
}

int openReader(RfReaderOne& entry, const json& request, json& reply) {
    const auto open = boolField(request, "open");
    if (!open) return hr::kMalformed;
    entry.stopFindTask();
    auto exchange = entry.lockExchange();
    reply["retval"] = entry.openReader(*open);
    return done(reply);
}

int closeReader(RfReaderOne& entry, json& reply) {
    entry.stopFindTask();
    auto exchange = entry.lockExchange();
    entry.closeReader();
    return done(reply);
}

int setLeds(RfReaderOne& entry, const json& request, json& reply) {
    const auto yellow = intField(request, "Y");
    const auto green = intField(request, "G");
    if (!yellow || !green) return hr::kMalformed;
    auto exchange = entry.lockExchange();
    reply["retval"] = entry.reader()->setLeds(lowByte(*yellow), lowByte(*green));
    return done(reply);
}

int readVersion(RfReaderOne& entry, json& reply) {
    std::string text;
    auto exchange = entry.lockExchange();
    reply["retval"] = entry.reader()->readVersion(text);
    reply["ver"] = text;
    return done(reply);
}

int setProtocol(RfReaderOne& entry, const json& request, json& reply) {
    const auto rfType = uintField(request, "rfType");
    const auto force = boolField(request, "forceSwitch");
    if (!rfType || !force) return hr::kMalformed;
    auto exchange = entry.lockExchange();
    reply["retval"] = entry.reader()->setProtocol(lowByte(*rfType), *force);
    return done(reply);
}

int beep(RfReaderOne& entry, const json& request, json& reply) {
    const auto ms = uintField(request, "ms");
    if (!ms) return hr::kMalformed;
    auto exchange = entry.lockExchange();
    reply["retval"] = entry.reader()->beep(lowByte(*ms));
    return done(reply);
}

int resetField(RfReaderOne& entry, json& reply) {
    entry.stopFindTask();
    auto exchange = entry.lockExchange();
    reply["retval"] = entry.reader()->resetField();
    return done(reply);
}

int searchTypeA(RfReaderOne& entry, const json& request, json& reply) {
    const auto enable = boolField(request, "enable");
    const auto limit = limitField(request);
    if (!enable || !limit) return hr::kMalformed;
    auto exchange = entry.lockExchange();
    std::shared_ptr<Orvane::IIso14443AReader> searcher;
    if (*enable) searcher = entry.iso14443A();
    entry.cardFinder().typeA = {std::move(searcher), *limit};
    return done(reply);
}

int searchTypeB(RfReaderOne& entry, const json& request, json& reply) {
    const auto enable = boolField(request, "enable");
    const auto limit = limitField(request);
    const auto afi = uintField(request, "afi");
    const auto slots = uintField(request, "slotsNum");
    if (!enable || !limit || !afi || !slots) return hr::kMalformed;
    auto exchange = entry.lockExchange();
    std::shared_ptr<Orvane::IIso14443BReader> searcher;
    if (*enable) searcher = entry.iso14443B();
    entry.cardFinder().typeB = {std::move(searcher), *limit, lowByte(*afi), lowByte(*slots)};
    return done(reply);
}

int searchIso15693(RfReaderOne& entry, const json& request, json& reply) {
    const auto enable = boolField(request, "enable");
    const auto limit = limitField(request);
    const auto afi = uintField(request, "afi");
    const auto nb16Slots = boolField(request, "nb16Slots");
    if (!enable || !limit || !afi || !nb16Slots) return hr::kMalformed;
    auto exchange = entry.lockExchange();
    std::shared_ptr<Orvane::IIso15693Reader> searcher;
    if (*enable) searcher = entry.iso15693();
    entry.cardFinder().iso15693 = {std::move(searcher), *limit, lowByte(*afi), *nb16Slots};
    return done(reply);
}

int findOnce(RfReaderOne& entry, json& reply) {
    entry.stopFindTask();
    std::vector<CardId> cards;
    auto exchange = entry.lockExchange();
    entry.findAll(cards);
    reply["retval"] = cardListJson(cards);
    return done(reply);
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
            return answer(reply, 106);
        case RfReaderOne::FindStart::noResources:
            return answer(reply, 108);
        case RfReaderOne::FindStart::started:
            break;
    }
    if (*evt) return done(reply);
    return hr::kNothingNow;
}

enum class Slot { ok, malformed, outOfRange };

Slot slotOf(const json& request, std::size_t& slot) {
    if (!request.is_object()) return Slot::malformed;
    const auto index = uintField(request, "rfIdx");
    if (!index) return Slot::malformed;
    if (*index >= RfWork::kReaderSlots) return Slot::outOfRange;
    slot = static_cast<std::size_t>(*index);
    return Slot::ok;
}

}  // namespace

std::shared_ptr<RfReaderOne> RfWork::entryFor(const json& request, json& reply, int& result) {
    std::size_t slot = 0;
    switch (slotOf(request, slot)) {
        case Slot::malformed:
            result = hr::kMalformed;
            return nullptr;
        case Slot::outOfRange:
            result = answer(reply, 109);
            return nullptr;
        case Slot::ok:
            break;
    }
    if (!readers_[slot]) result = answer(reply, 102);
    return readers_[slot];
}

int RfWork::workRfReader(GCODE code, const json& request, json& reply) {
    try {
        std::size_t slot = 0;
        switch (slotOf(request, slot)) {
            case Slot::malformed:
                return hr::kMalformed;
            case Slot::outOfRange:
                return answer(reply, 109);
            case Slot::ok:
                break;
        }
        // A share of the entry for the whole command: a GCODE 100 replacing it cannot free it here.
        const std::shared_ptr<RfReaderOne> entry = readers_[slot];
        if (!entry && code != kFirstReaderCode) return answer(reply, 102);
        if (code < kFirstReaderCode || code > kLastReaderCode || code == kNotAReaderCode) {
            logWarn("RfReader gcode %d fail", code);
            return answer(reply, 103);
        }
        return readerCommand(code, slot, entry, request, reply);
    } catch (const std::bad_alloc&) {
        return answer(reply, 108);
    }
}

int RfWork::createEntry(std::size_t slot, const json& request, json& reply) {
    const auto devType = uintField(request, "devType");
    if (!devType) return hr::kMalformed;
    auto entry = std::make_shared<RfReaderOne>(channel_, lowByte(*devType));
    // The previous entry goes after the swap, stopping its task and closing its reader.
    readers_[slot].swap(entry);
    return done(reply);
}

int RfWork::readerCommand(GCODE code, std::size_t slot, const std::shared_ptr<RfReaderOne>& entry,
                          const json& request, json& reply) {
    if (code == kFirstReaderCode) return createEntry(slot, request, reply);
    RfReaderOne& one = *entry;
    switch (code) {
        case 101: {
            auto exchange = one.lockExchange();
            reply["retval"] = one.reader()->type();
            return done(reply);
        }
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
        case 109: {
            auto exchange = one.lockExchange();
            reply["retval"] = one.reader()->rfMode();
            return done(reply);
        }
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
        case 119:
            one.stopFindTask();
            return done(reply);
        default:  // 120
            one.clearWaitAck();
            return done(reply);
    }
}
