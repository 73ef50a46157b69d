// The reader entry: its claim on a reader type, and its find task when the session that owns the
// entry is freed by the task's own thread.

#include "commands/entry/rf_reader_one.hpp"

#include "card/cpu/cos7816.hpp"
#include "card/cpu/cos_fm2.hpp"

#include <gtest/gtest.h>

#include <future>

#include "reader/bus/system_device_bus.hpp"
#include "support/fake_channel.hpp"
#include "support/pty_pair.hpp"
#include "support/scripted_searchers.hpp"
#include "support/sim_readers.hpp"

using namespace std::chrono_literals;

namespace {

class ReaderEntry : public testing::Test {
  protected:
    void SetUp() override {
        sim.add(kReaderVaHid);
        Orvane::installDeviceBus(sim.sharedBus());
    }

    SimReaders sim;
    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
};

// Owns a reader entry the way a connection owns its session. Its first send blocks until the test
// has dropped its own share, so the find task's share is the last one when the send returns.
class OwningChannel : public Channel {
  public:
    bool sendText(std::string) override {
        if (!sending_.exchange(true)) firstSend.set_value();
        letGo.wait();
        return true;
    }
    void close() override {}
    bool isConnected() const override { return true; }
    bool currentFrameIsText() const override { return true; }
    bool hasRoomForEvent(std::size_t) const override { return true; }

    std::shared_ptr<RfReaderOne> entry;
    std::promise<void> firstSend;
    std::shared_future<void> letGo;

  private:
    std::atomic<bool> sending_{false};
};

}  // namespace

TEST_F(ReaderEntry, FailedOpenLeavesNoClaimBehind) {
    RfReaderOne first(channel, kReaderVaHid);
    ASSERT_EQ(first.openReader(true), 1);
    sim.entry(kReaderVaHid).device->unplug();
    EXPECT_EQ(first.openReader(true), 0);
    EXPECT_EQ(first.readerType(), kReaderNone);

    sim.entry(kReaderVaHid).device->plug();
    RfReaderOne second(channel, kReaderVaHid);
    ASSERT_EQ(second.openReader(true), 1);
    // Closing the entry whose open failed must not release the claim of the one now holding the type.
    first.closeReader();
    RfReaderOne third(channel, kReaderVaHid);
    EXPECT_EQ(third.openReader(true), -1);
}

// A detecting entry never opens or handshakes a reader another entry drives: it skips that type and
// answers that the reader is in use.
TEST_F(ReaderEntry, DetectionLeavesAHeldReaderAlone) {
    RfReaderOne owner(channel, kReaderVaHid);
    ASSERT_EQ(owner.openReader(true), 1);
    const int framesBefore = sim.reader(kReaderVaHid).state().framesAnswered;

    RfReaderOne detecting(channel, kReaderNone);
    EXPECT_EQ(detecting.openReader(true), -1);
    EXPECT_EQ(detecting.readerType(), kReaderNone);
    EXPECT_EQ(sim.reader(kReaderVaHid).state().framesAnswered, framesBefore);

    owner.closeReader();
    EXPECT_EQ(detecting.openReader(true), 1);
    EXPECT_EQ(detecting.readerType(), kReaderVaHid);
}

// An open that waits on a silent device holds no lock that another entry's open or close needs.
TEST_F(ReaderEntry, ASlowOpenDelaysNoOtherEntry) {
    PtyPair silent;  // a serial reader that never answers
    RfReaderOne slow(channel, kReaderVcSerial);
    ASSERT_TRUE(slow.reader()->setPortName(kReaderVcSerial, silent.slavePath()));
    std::promise<void> started;
    std::thread opening([&] {
        started.set_value();
        EXPECT_EQ(slow.openReader(true), 0);
    });
    started.get_future().wait();
    std::this_thread::sleep_for(50ms);  // inside its first handshake

    RfReaderOne quick(channel, kReaderVaHid);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(quick.openReader(true), 1);
    quick.closeReader();
    // Waiting behind the slow open would take its two 200 ms handshakes.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 250ms);
    opening.join();
}

TEST_F(ReaderEntry, SessionFreedOnItsOwnFinderThread) {
    std::promise<void> release;
    auto owner = std::make_shared<OwningChannel>();
    owner->letGo = release.get_future().share();
    auto entry = std::make_shared<RfReaderOne>(owner, kReaderVaHid);
    ASSERT_EQ(entry->openReader(true), 1);
    auto searcher = std::make_shared<scripted::TypeASearcher>();
    searcher->script.then({scripted::typeACard({1, 2, 3, 4})});
    entry->cardFinder().typeA.searcher = searcher;
    ASSERT_EQ(entry->startFindTask({}), RfReaderOne::FindStart::started);

    const std::weak_ptr<RfReaderOne> watch = entry;
    owner->entry = std::move(entry);
    auto sent = owner->firstSend.get_future();
    ASSERT_EQ(sent.wait_for(5s), std::future_status::ready);
    owner.reset();  // the task, inside its send, now holds the only share of the session
    release.set_value();

    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!watch.expired() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(watch.expired());
    // The entry let go of its reader type on the way.
    RfReaderOne next(channel, kReaderVaHid);
    EXPECT_EQ(next.openReader(true), 1);
}

TEST_F(ReaderEntry, CommandSetsFollowTheirCardObject) {
    RfReaderOne entry(channel, kReaderVaHid);
    const auto typeA = entry.cpuCos(0), typeB = entry.cpuCos(1);
    ASSERT_TRUE(typeA && typeB);
    EXPECT_NE(typeA, typeB);
    EXPECT_EQ(entry.cpuCos(2), nullptr);
    EXPECT_EQ(entry.cpuCos(0), typeA);

    const auto cosA = entry.cos7816(typeA);
    EXPECT_EQ(entry.cos7816(typeA), cosA);  // kept while the card object stays
    const auto cosB = entry.cos7816(typeB);
    EXPECT_NE(cosB, cosA);
    EXPECT_EQ(cosB->card(), typeB);
    EXPECT_EQ(entry.cos7816(typeA)->card(), typeA);  // made again for type A

    const auto fmA = entry.cosFm2(typeA);
    EXPECT_EQ(entry.cosFm2(typeA), fmA);
    EXPECT_EQ(entry.cosFm2(typeB)->card(), typeB);
    EXPECT_EQ(entry.cosFm2(typeA)->card(), typeA);
}
