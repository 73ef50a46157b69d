// Report chunking, reply assembly and the length guards of the three HID transports.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "reader/transport/va_reader_hid.hpp"
#include "reader/transport/vc_reader_ch9326.hpp"
#include "reader/transport/vd_reader_hid.hpp"
#include "support/hex_bytes.hpp"
#include "support/scripted_devices.hpp"

using scripted::Read;

namespace {

Bytes counting(std::size_t n, std::uint8_t first = 1) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + from, bytes.begin() + std::min(bytes.size(), from + count));
}

// A caller's buffer with a guard zone behind maxLen that must stay untouched.
struct GuardedBuffer {
    static constexpr std::uint8_t kGuard = 0xC3;
    explicit GuardedBuffer(std::size_t maxLen, const Bytes& request)
        : bytes(maxLen + 64, kGuard), maxLen(maxLen) {
        std::copy(request.begin(), request.end(), bytes.begin());
    }
    bool guardIntact() const {
        return std::all_of(bytes.begin() + maxLen, bytes.end(), [](std::uint8_t b) { return b == kGuard; });
    }
    Bytes bytes;
    std::size_t maxLen;
};

template <typename Transport>
struct HidFixture {
    HidFixture() : script(bus.addHid(Transport::kVendorId, Transport::kProductId)) {
        transport = std::make_unique<Transport>(bus);
        transport->connectDevice();
    }
    int transceive(Bytes& buffer, int len, int maxLen) {
        return transport->transceive(buffer.data(), len, maxLen);
    }

    scripted::Bus bus;
    std::shared_ptr<scripted::HidScript> script;
    std::unique_ptr<Transport> transport;
};

}  // namespace

// ---- VAReaderHid: 65-byte reports, report ID 0, 64 data bytes -----------------------------------

TEST(VaReaderHid, RequestsGoInSixtyFourByteBlocks) {
    for (const auto& [length, reports] : {std::pair{1, 1}, {64, 1}, {65, 2}, {128, 2}, {129, 3}}) {
        HidFixture<Orvane::VAReaderHid> hid;
        Bytes buffer = counting(260);
        hid.transceive(buffer, length, 260);
        ASSERT_EQ(hid.script->written.size(), static_cast<std::size_t>(reports)) << length;
        for (int i = 0; i < reports; ++i) {
            const Bytes& report = hid.script->written[i];
            ASSERT_EQ(report.size(), 65u);
            EXPECT_EQ(report[0], 0);
            const std::size_t carried = std::min(64, length - 64 * i);
            EXPECT_EQ(slice(report, 1, carried), slice(counting(260), 64 * i, carried)) << length;
        }
    }
}

TEST(VaReaderHid, ReplyIsAssembledToLenPlusFive) {
    HidFixture<Orvane::VAReaderHid> hid;
    Bytes reply = counting(100);
    reply[2] = 95;  // LEN: 100-byte frame
    hid.script->inputReports = {Read(slice(reply, 0, 3)), Read(slice(reply, 3, 64)),
                                Read(slice(reply, 67, 64))};
    Bytes buffer(260);
    buffer[0] = 0x10;
    EXPECT_EQ(hid.transceive(buffer, 1, 260), 100);
    EXPECT_EQ(slice(buffer, 0, 100), reply);
}

TEST(VaReaderHid, PaddedReportIsCutToTheFrame) {
    HidFixture<Orvane::VAReaderHid> hid;
    Bytes report = hexBytes("FE 02 01 10 3C 0F");
    report.resize(64, 0);
    hid.script->inputReports = {Read(report)};
    Bytes buffer(260, 0x10);
    EXPECT_EQ(hid.transceive(buffer, 6, 260), 6);
}

TEST(VaReaderHid, ShortOrSilentRepliesEndTheExchange) {
    HidFixture<Orvane::VAReaderHid> hid;
    Bytes buffer(260, 0x10);
    EXPECT_EQ(hid.transceive(buffer, 6, 260), 0);  // silent
    hid.script->inputReports = {Read(hexBytes("FE 02 05")), Read::error()};
    EXPECT_EQ(hid.transceive(buffer, 6, 260), 3);
}

TEST(VaReaderHid, NeverWritesBeyondMaxLen) {
    HidFixture<Orvane::VAReaderHid> hid;
    // Reports of odd sizes that together overshoot the announced length and the capacity.
    Bytes first = hexBytes("FE 02 FF");
    hid.script->inputReports = {Read(first), Read(counting(65)), Read(counting(65)), Read(counting(65))};
    GuardedBuffer buffer(100, Bytes{0x10});
    EXPECT_LE(hid.transport->transceive(buffer.bytes.data(), 1, 100), 100);
    EXPECT_TRUE(buffer.guardIntact());
}

TEST(VaReaderHid, PreconditionsFailBeforeSending) {
    HidFixture<Orvane::VAReaderHid> hid;
    Bytes buffer(260);
    EXPECT_EQ(hid.transceive(buffer, 6, 64), -1);
    EXPECT_EQ(hid.transceive(buffer, 0, 260), -1);
    EXPECT_EQ(hid.transport->transceive(nullptr, 6, 260), -1);
    EXPECT_TRUE(hid.script->written.empty());
}

TEST(VaReaderHid, ShortWriteOrMissingDeviceIsMinusOne) {
    HidFixture<Orvane::VAReaderHid> hid;
    Bytes buffer(260);
    hid.script->writeResult = 64;
    EXPECT_EQ(hid.transceive(buffer, 6, 260), -1);
    hid.transport->close();
    EXPECT_EQ(hid.transceive(buffer, 6, 260), -1);
}

// ---- VCReaderCH9326: 33-byte reports, [ID 0][count][31 data] out, [count][data] in --------------

TEST(VcReaderCh9326, RequestsGoInThirtyOneByteChunks) {
    const std::pair<int, std::vector<int>> cases[] = {
        {31, {31}}, {62, {31, 31}}, {63, {31, 31, 1}}, {8, {8}}};
    for (const auto& [length, counts] : cases) {
        HidFixture<Orvane::VCReaderCH9326> hid;
        Bytes buffer = counting(100);
        hid.transceive(buffer, length, 100);
        ASSERT_EQ(hid.script->written.size(), counts.size()) << length;
        int offset = 0;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const Bytes& report = hid.script->written[i];
            ASSERT_EQ(report.size(), 33u);
            EXPECT_EQ(report[0], 0);
            EXPECT_EQ(report[1], counts[i]);
            EXPECT_EQ(slice(report, 2, counts[i]), slice(counting(100), offset, counts[i]));
            offset += counts[i];
        }
    }
}

TEST(VcReaderCh9326, ConnectSendsTheBridgeSetup) {
    HidFixture<Orvane::VCReaderCH9326> hid;
    ASSERT_EQ(hid.script->featuresSent.size(), 1u);
    EXPECT_EQ(hid.script->featuresSent[0], hexBytes("00 FF C7 83 CC 10"));
    hid.script->featureSendResult = 5;
    EXPECT_FALSE(hid.transport->connectDevice());
}

TEST(VcReaderCh9326, ReplyIsAssembledFromCountedReports) {
    HidFixture<Orvane::VCReaderCH9326> hid;
    const Bytes reply = hexBytes("AA 55 00 00 00 03 16 00 01 25 3F");
    auto report = [](const Bytes& data) {
        Bytes r{static_cast<std::uint8_t>(data.size())};
        r.insert(r.end(), data.begin(), data.end());
        r.resize(32, 0);  // the rest of a report is padding
        return r;
    };
    hid.script->inputReports = {Read(report(slice(reply, 0, 4))), Read(report(slice(reply, 4, 7)))};
    Bytes buffer(100, 0);
    EXPECT_EQ(hid.transceive(buffer, 8, 100), 11);
    EXPECT_EQ(slice(buffer, 0, 11), reply);
}

TEST(VcReaderCh9326, BadCountsEndTheExchange) {
    struct Case {
        const char* name;
        Read report;
        int expected;
    };
    const Case cases[] = {
        {"count0", Read(hexBytes("00 AA 55")), 0},
        {"count32", Read(Bytes(32, 32)), 0},
        {"oneByte", Read(hexBytes("05")), 0},
        // A count beyond what the report carried takes only the bytes that came.
        {"countBeyondReport", Read(hexBytes("1F AA 55 00")), 3},
    };
    for (const auto& c : cases) {
        HidFixture<Orvane::VCReaderCH9326> hid;
        hid.script->inputReports = {c.report};
        Bytes buffer(100, 0);
        EXPECT_EQ(hid.transceive(buffer, 8, 100), c.expected) << c.name;
    }
}

TEST(VcReaderCh9326, LengthBeyondCapacityStopsAfterTheHeader) {
    HidFixture<Orvane::VCReaderCH9326> hid;
    Bytes head = hexBytes("07 AA 55 00 00 FF F0 16");  // LEN 0xFFF0
    hid.script->inputReports = {Read(head), Read(Bytes(32, 31))};
    GuardedBuffer buffer(40, Bytes(8, 0));
    EXPECT_EQ(hid.transport->transceive(buffer.bytes.data(), 8, 40), 7);
    EXPECT_TRUE(buffer.guardIntact());
    EXPECT_EQ(hid.transceive(buffer.bytes, 8, 32), -1);
}

// ---- VDReaderHid: 255-byte feature reports with ID 6 --------------------------------------------

TEST(VdReaderHid, RequestsGoInFeatureReportsOfTwoFiftyFour) {
    for (const auto& [length, reports] : {std::pair{13, 1}, {254, 1}, {255, 2}, {509, 3}}) {
        HidFixture<Orvane::VDReaderHid> hid;
        Bytes buffer = counting(600);
        hid.transceive(buffer, length, 600);
        ASSERT_EQ(hid.script->featuresSent.size(), static_cast<std::size_t>(reports)) << length;
        for (int i = 0; i < reports; ++i) {
            const Bytes& report = hid.script->featuresSent[i];
            ASSERT_EQ(report.size(), 255u);
            EXPECT_EQ(report[0], 6);
            const std::size_t carried = std::min(254, length - 254 * i);
            EXPECT_EQ(slice(report, 1, carried), slice(counting(600), 254 * i, carried));
        }
    }
}

TEST(VdReaderHid, MaxLenBelowAReportIsRefusedUnsent) {
    HidFixture<Orvane::VDReaderHid> hid;
    Bytes buffer(300);
    EXPECT_EQ(hid.transceive(buffer, 13, 254), -1);
    EXPECT_TRUE(hid.script->featuresSent.empty());
}

TEST(VdReaderHid, PollsThroughErrorsUntilTheReplyIsReady) {
    HidFixture<Orvane::VDReaderHid> hid;
    const Bytes reply = hexBytes("55 00 00 03 01 02 03 02 33");
    Bytes report{6};
    report.insert(report.end(), reply.begin(), reply.end());
    hid.script->featureReports = {Read::error(), Read::error(), Read(report)};
    Bytes buffer(300);
    EXPECT_EQ(hid.transceive(buffer, 13, 300), 9);
    EXPECT_EQ(slice(buffer, 0, 9), reply);
    EXPECT_EQ(hid.script->featureGets, 3);
}

TEST(VdReaderHid, SilentReaderEndsThePollAfterTwoHundredMs) {
    HidFixture<Orvane::VDReaderHid> hid;
    Bytes buffer(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hid.transceive(buffer, 13, 300), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(200));
    EXPECT_LT(waited, std::chrono::milliseconds(400));
}

TEST(VdReaderHid, EmptyReportOrHugeLengthEndsTheExchange) {
    HidFixture<Orvane::VDReaderHid> hid;
    hid.script->featureReports = {Read(hexBytes("06 55 00"), 1)};
    Bytes buffer(300);
    EXPECT_EQ(hid.transceive(buffer, 13, 300), 0);

    hid.script->featureReports = {Read(hexBytes("06 55 00 FF FF")), Read(Bytes(255, 6))};
    GuardedBuffer guarded(255, Bytes(13, 0));
    EXPECT_EQ(hid.transport->transceive(guarded.bytes.data(), 13, 255), 4);
    EXPECT_TRUE(guarded.guardIntact());
}

TEST(VdReaderHid, ReplyCutShortEndsAfterThePollWindow) {
    HidFixture<Orvane::VDReaderHid> hid;
    hid.script->featureReports = {Read(hexBytes("06 55 00 00 10 01 02"))};  // 6 of 22 bytes, then nothing
    Bytes buffer(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hid.transceive(buffer, 13, 300), 6);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

// ---- Both input-report transports: a reply that came too late -----------------------------------

template <typename Transport>
void aLateReplyIsNotTakenForTheNextOne(const Bytes& stale, const Bytes& fresh, int requestLen,
                                       const Bytes& reply) {
    HidFixture<Transport> hid;
    hid.script->staleReports = {Read(stale), Read(stale)};  // the rest of an exchange given up on
    hid.script->inputReports = {Read(fresh)};
    Bytes buffer(260, 0x10);
    EXPECT_EQ(hid.transceive(buffer, requestLen, 260), static_cast<int>(reply.size()));
    EXPECT_TRUE(hid.script->staleReports.empty());
    EXPECT_EQ(slice(buffer, 0, reply.size()), reply);
}

TEST(HidTransports, AReplyThatCameTooLateIsNotTakenForTheNextOne) {
    Bytes vaStale = hexBytes("FE 02 03 10 51 58 BA 0C"), vaFresh = hexBytes("FE 02 03 10 77 66 55 0C");
    vaStale.resize(64, 0);
    vaFresh.resize(64, 0);
    aLateReplyIsNotTakenForTheNextOne<Orvane::VAReaderHid>(vaStale, vaFresh, 6, slice(vaFresh, 0, 8));

    Bytes vcStale = hexBytes("0B AA 55 00 00 00 03 16 00 01 25 3F");
    Bytes vcFresh = hexBytes("0B AA 55 00 00 00 03 16 00 02 25 3C");
    vcStale.resize(32, 0);
    vcFresh.resize(32, 0);
    aLateReplyIsNotTakenForTheNextOne<Orvane::VCReaderCH9326>(vcStale, vcFresh, 8, slice(vcFresh, 1, 11));
}
