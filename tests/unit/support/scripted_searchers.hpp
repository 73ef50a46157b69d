#pragma once
// Card searchers that answer each finder pass from a script, for card finder and find task tests.
// Every search is one pass; when the script is used up, every further pass gets the `then` answer.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "card/iso14443a/iiso14443a_reader.hpp"
#include "card/iso14443b/iiso14443b_reader.hpp"
#include "card/iso15693/iiso15693_reader.hpp"

namespace scripted {

template <typename Record>
class PassScript {
  public:
    struct Answer {
        std::vector<Record> records;
        int result = kCount;  // kCount: the number of records
    };
    static constexpr int kCount = -100;

    void add(std::vector<Record> records, int result = kCount) {
        std::lock_guard lock(mutex_);
        script_.push_back({std::move(records), result});
    }
    void then(std::vector<Record> records, int result = kCount) {
        std::lock_guard lock(mutex_);
        then_ = {std::move(records), result};
    }
    // Each search takes this long, as a reader exchange would.
    void setDelay(std::chrono::microseconds delay) { delay_ = delay; }

    int serve(std::vector<Record>& out, int limit) {
        if (delay_.count() > 0) std::this_thread::sleep_for(delay_);
        std::lock_guard lock(mutex_);
        Answer answer = then_;
        if (!script_.empty()) {
            answer = std::move(script_.front());
            script_.pop_front();
        }
        lastLimit_ = limit;
        out.insert(out.end(), answer.records.begin(), answer.records.end());
        ++passes_;
        changed_.notify_all();
        return answer.result == kCount ? static_cast<int>(answer.records.size()) : answer.result;
    }

    int passes() const {
        std::lock_guard lock(mutex_);
        return passes_;
    }
    int lastLimit() const {
        std::lock_guard lock(mutex_);
        return lastLimit_;
    }
    bool scriptUsed() const {
        std::lock_guard lock(mutex_);
        return script_.empty();
    }
    // True once at least `count` passes ran within the wait.
    bool waitForPasses(int count, std::chrono::milliseconds wait = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, wait, [&] { return passes_ >= count; });
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Answer> script_;
    Answer then_;
    int passes_ = 0;
    int lastLimit_ = 0;
    std::chrono::microseconds delay_{0};
};

class TypeASearcher : public Orvane::IIso14443AReader {
  public:
    int findCards(std::vector<Orvane::TypeACardInfo>& cards, int limit) override {
        return script.serve(cards, limit);
    }
    bool selectUid(const std::uint8_t*, int, bool, Orvane::IBuffer*) override { return false; }
    bool selectAny(Orvane::TypeACardInfo&, bool, Orvane::IBuffer*) override { return false; }
    bool rawExchange(const std::uint8_t*, int, Orvane::IBuffer&) override { return false; }
    bool deselect() override { return false; }

    PassScript<Orvane::TypeACardInfo> script;
};

class TypeBSearcher : public Orvane::IIso14443BReader {
  public:
    int findCards(std::vector<Orvane::TypeBCardInfo>& cards, int limit, std::uint8_t afi,
                  std::uint8_t slots) override {
        lastAfi = afi;
        lastSlots = slots;
        return script.serve(cards, limit);
    }
    bool deselect(int) override { return false; }

    PassScript<Orvane::TypeBCardInfo> script;
    std::uint8_t lastAfi = 0, lastSlots = 0;
};

class VicinitySearcher : public Orvane::IIso15693Reader {
  public:
    int inventory(std::vector<Orvane::Iso15693Card>& cards, int limit, std::uint8_t afi,
                  bool nb16Slots) override {
        lastAfi = afi;
        lastNb16Slots = nb16Slots;
        return script.serve(cards, limit);
    }
    bool setMode(std::uint8_t, const Uid&, bool, bool) override { return false; }
    std::uint8_t stayQuiet(const Uid&) override { return kNo; }
    std::uint8_t readSingleBlock(bool, std::uint8_t, Orvane::IBuffer&) override { return kNo; }
    std::uint8_t writeSingleBlock(std::uint8_t, const std::uint8_t*, std::uint8_t) override { return kNo; }
    std::uint8_t lockBlock(std::uint8_t) override { return kNo; }
    std::uint8_t readMultipleBlocks(bool, std::uint8_t, std::uint8_t, Orvane::IBuffer&) override {
        return kNo;
    }
    std::uint8_t writeMultipleBlocks(std::uint8_t, std::uint8_t, const std::uint8_t*,
                                     std::uint32_t) override {
        return kNo;
    }
    std::uint8_t select(const Uid&) override { return kNo; }
    std::uint8_t resetToReady() override { return kNo; }
    std::uint8_t writeAfi(std::uint8_t) override { return kNo; }
    std::uint8_t lockAfi() override { return kNo; }
    std::uint8_t writeDsfid(std::uint8_t) override { return kNo; }
    std::uint8_t lockDsfid() override { return kNo; }
    std::uint8_t getSystemInfo(Orvane::Iso15693SystemInfo&) override { return kNo; }
    std::uint8_t getMultipleBlockSecurity(std::uint8_t, std::uint8_t, Orvane::IBuffer&) override {
        return kNo;
    }

    PassScript<Orvane::Iso15693Card> script;
    std::uint8_t lastAfi = 0;
    bool lastNb16Slots = false;

  private:
    static constexpr std::uint8_t kNo = Orvane::iso15693_status::kNotSupported;
};

inline Orvane::TypeACardInfo typeACard(std::vector<std::uint8_t> uid, std::uint16_t atqa = 0x0004,
                                       std::uint8_t sak = 0x08) {
    Orvane::TypeACardInfo card;
    std::copy_n(uid.begin(), std::min(uid.size(), card.uid.size()), card.uid.begin());
    card.uidLen = static_cast<int>(uid.size());
    card.atqa = atqa;
    card.sak = sak;
    return card;
}

}  // namespace scripted
