#pragma once
// A type A reader with one scripted CPU card: every raw exchange is logged byte for byte and answered
// from a queue (nullopt = the exchange fails; an empty queue fails too).

#include <deque>
#include <optional>

#include "card/iso14443a/iiso14443a_reader.hpp"
#include "crypto/buffer.hpp"
#include "support/crypto_support.hpp"

class FakeTypeAReader : public Orvane::IIso14443AReader {
  public:
    // What activation answers.
    bool selectSucceeds = true;
    Bytes ats = hexBytes("10 78 80 90 02 20 90 00 00 00 00 00 11 22 33 44");
    Orvane::TypeACardInfo anyCard{{0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}, 7, 0x0044, 0x20};

    // What the card object did.
    std::vector<Bytes> sent;
    Bytes selectedUid;
    int selectCalls = 0;
    int deselects = 0;

    std::deque<std::optional<Bytes>> replies;
    void reply(const std::string& hex) { replies.emplace_back(hexBytes(hex)); }
    void fail() { replies.emplace_back(std::nullopt); }

    int findCards(std::vector<Orvane::TypeACardInfo>&, int) override { return 0; }
    bool selectUid(const std::uint8_t* uid, int uidLen, bool activate, Orvane::IBuffer* atsOut) override {
        ++selectCalls;
        selectedUid.assign(uid, uid + uidLen);
        return answerSelect(activate, atsOut);
    }
    bool selectAny(Orvane::TypeACardInfo& info, bool activate, Orvane::IBuffer* atsOut) override {
        ++selectCalls;
        if (selectSucceeds) info = anyCard;
        return answerSelect(activate, atsOut);
    }
    bool rawExchange(const std::uint8_t* request, int len, Orvane::IBuffer& response) override {
        sent.emplace_back(request, request + len);
        if (replies.empty()) return false;
        const auto next = replies.front();
        replies.pop_front();
        if (!next) return false;
        return response.assign(next->data(), static_cast<std::uint32_t>(next->size()));
    }
    bool deselect() override {
        ++deselects;
        return true;
    }

  private:
    bool answerSelect(bool activate, Orvane::IBuffer* atsOut) {
        if (!selectSucceeds || !activate) return false;
        if (atsOut != nullptr) atsOut->assign(ats.data(), static_cast<std::uint32_t>(ats.size()));
        return true;
    }
};
