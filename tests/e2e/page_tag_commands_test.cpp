// Page tag commands 1100 to 1114 over real WebSocket sessions against a simulated NTAG: every tag
// command on a type-5 (VC serial) reader, plain pages on type-1 (VD) and type-4 (VA) readers.

#include <gtest/gtest.h>

#include <chrono>

#include "sim/card/ntag_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim_service.hpp"
#include "support/hex_bytes.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

const std::string kUid = "04C15A7E2B6180";
constexpr int kCfg0 = 0xE3;  // NTAG216: CFG0, CFG1, PWD, PACK at E3h to E6h

json slot(json fields = json::object()) {
    fields["rfIdx"] = 0;
    return fields;
}

json pages(int page, int num, bool reSelect = true) {
    return slot({{"reSelect", reSelect}, {"page", page}, {"num", num}});
}

json writeOf(int page, int num, const std::string& data) {
    json request = pages(page, num);
    request["data"] = data;
    return request;
}

json config(json changes = json::object()) {
    json cfg = {{"mirrorConf", 0}, {"mirrorByte", 0}, {"strgModOn", 1}, {"mirrorPage", 0}, {"auth0", 255},
                {"safeRead", 0},   {"lock", 0},       {"nfcCntOn", 0},  {"cntPwdOn", 0},   {"authlim", 0}};
    cfg.update(changes);
    return slot({{"page", kCfg0}, {"cfg", cfg}});
}

class PageTagService : public testing::Test {
  protected:
    void start(std::uint8_t type) {
        ASSERT_TRUE(service.ready());
        type_ = type;
        service.readers.add(type);
        ASSERT_TRUE(rfsim::attachField(service.readers.reader(type), field));
        field->place(tag);
        ASSERT_TRUE(client.loggedIn());
        ASSERT_EQ(client.call(100, slot({{"devType", type}}))["err"], 0);
        ASSERT_EQ(client.call(105, slot({{"open", true}}), 30s)["retval"], 1);
    }

    json call(int code, json request = slot()) { return client.call(code, std::move(request)); }
    std::uint64_t readerCommands(std::uint8_t command) {
        const std::vector<std::uint8_t> all = service.readers.reader(type_).state().commands;
        return static_cast<std::uint64_t>(std::count(all.begin(), all.end(), command));
    }

    SimService service;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
    std::shared_ptr<rfsim::NtagCard> tag = rfsim::makeNtag(hexBytes(kUid), rfsim::NtagType::ntag216);
    SimClient client{service};
    std::uint8_t type_ = 0;
};

}  // namespace

TEST_F(PageTagService, PagesAndTheirRangesOnAVcReader) {
    start(kReaderVcSerial);
    EXPECT_EQ(call(1102)["retval"], false);
    EXPECT_EQ(call(1106, pages(4, 1))["retval"], -3);
    const json any = call(1104);
    EXPECT_EQ(any["retval"], true);
    EXPECT_EQ(any["uid"], kUid);
    EXPECT_EQ(any["atqa"], 0x44);
    EXPECT_EQ(any["sak"], 0);
    EXPECT_EQ(call(1103)["retval"], kUid);
    EXPECT_EQ(call(1105)["retval"], "2153851774");  // 7E 2B 61 80, little-endian

    EXPECT_EQ(call(1107, writeOf(4, 6, "00112233445566778899AABBCCDDEEFF0011223344556677"))["retval"], 24);
    EXPECT_EQ(call(1107, writeOf(4, 2, "0011223344"))["retval"], -2);
    for (const int num : {0, 1}) {
        const json one = call(1106, pages(5, num));
        EXPECT_EQ(one["retval"], 4) << num;
        EXPECT_EQ(one["data"], "44556677") << num;
    }
    const std::uint64_t readsBefore = readerCommands(0x4B);
    const json six = call(1106, pages(4, 6));
    EXPECT_EQ(six["retval"], 24);
    EXPECT_EQ(six["data"], "00112233445566778899AABBCCDDEEFF0011223344556677");
    EXPECT_EQ(readerCommands(0x4B) - readsBefore, 2u);  // pages 4 and 8

    json beyond = call(1106, pages(250, 8));
    EXPECT_EQ(beyond["retval"], -1);
    EXPECT_EQ(beyond["data"], "");
    // 248 to 255 pass the range check, but the NTAG216 ends at page E6h: its NAK reads nothing.
    beyond = call(1106, pages(248, 8));
    EXPECT_EQ(beyond["retval"], 0);
    EXPECT_EQ(beyond["data"], "");

    // Fast read asks for 16 pages at most and counts that as done; the range uses all 20.
    const json fast = call(1108, pages(4, 20));
    EXPECT_EQ(fast["retval"], 64);
    EXPECT_EQ(fast["data"].get<std::string>().substr(0, 48), six["data"]);
    EXPECT_EQ(fast["data"].get<std::string>().size(), 128u);
    EXPECT_EQ(call(1108, pages(240, 20))["retval"], -1);
}

TEST_F(PageTagService, VersionCounterSignatureAndPasswordOnAVcReader) {
    start(kReaderVcSerial);
    ASSERT_EQ(call(1100, slot({{"uid", kUid}}))["retval"], true);
    const json version = call(1110);
    EXPECT_EQ(version["retval"], true);
    EXPECT_EQ(version["data"], "0004040201001303");
    EXPECT_EQ(version["vendor"], 4);
    EXPECT_EQ(version["size"], 0x13);
    EXPECT_EQ(version["protocol"], 3);
    const json signature = call(1112);
    EXPECT_EQ(signature["retval"], true);
    EXPECT_EQ(signature["data"].get<std::string>().size(), 64u);

    // The counter is off on a delivered tag: READ_CNT is refused.
    json counter = call(1111);
    EXPECT_EQ(counter["retval"], false);
    EXPECT_EQ(counter["cnt"], 0);
    service.readers.reader(type_).withFirmware([](rfsim::Firmware& firmware) {
        firmware.setCommand(0x89, [](const rfsim::Request&) {
            return std::optional<rfsim::Reply>(rfsim::Reply{0, {0x01, 0x02, 0x03}});
        });
    });
    counter = call(1111);
    EXPECT_EQ(counter["retval"], true);
    EXPECT_EQ(counter["cnt"], 197121);

    EXPECT_EQ(call(1109, slot({{"pwd", "FFFFFF"}}))["err"], 105);
    const json auth = call(1109, slot({{"pwd", "FFFFFFFF"}}));
    EXPECT_EQ(auth["retval"], true);
    EXPECT_EQ(auth["pack"], 0);
}

TEST_F(PageTagService, PasswordProtectedTagReadableOnlyAfterAuthentication) {
    start(kReaderVcSerial);
    ASSERT_EQ(call(1104)["retval"], true);
    // CFG0 is written before CFG1: once AUTH0 protects CFG1 the tag refuses it unauthenticated.
    EXPECT_EQ(call(1114, config({{"auth0", 4}, {"safeRead", 1}}))["retval"], false);
    EXPECT_EQ(tag->page(kCfg0)[3], 4);
    EXPECT_EQ(tag->page(kCfg0 + 1)[0], 0);

    ASSERT_EQ(call(1109, slot({{"pwd", "FFFFFFFF"}}))["retval"], true);  // the delivered password
    EXPECT_EQ(call(1107, writeOf(kCfg0 + 2, 2, "12345678ABCD0000"))["retval"], 8);
    EXPECT_EQ(call(1114, config({{"auth0", 4}, {"safeRead", 1}}))["retval"], true);

    // A new selection ends the authentication.
    call(1101);
    ASSERT_EQ(call(1100, slot({{"uid", kUid}}))["retval"], true);
    EXPECT_EQ(call(1106, pages(4, 1))["retval"], 0);
    EXPECT_EQ(call(1106, pages(0, 1))["retval"], 4);
    json auth = call(1109, slot({{"pwd", "00000000"}}));
    EXPECT_EQ(auth["retval"], false);
    EXPECT_EQ(auth["pack"], 65535);
    auth = call(1109, slot({{"pwd", "12345678"}}));
    EXPECT_EQ(auth["retval"], true);
    EXPECT_EQ(auth["pack"], 0xCDAB);  // PACK AB CD, first byte in the low half
    EXPECT_EQ(call(1106, pages(4, 1))["retval"], 4);
    const json cfg = call(1113, slot({{"page", kCfg0}}));
    EXPECT_EQ(cfg["retval"], true);
    EXPECT_EQ(cfg["cfg"]["auth0"], 4);
    EXPECT_EQ(cfg["cfg"]["safeRead"], true);
}

TEST_F(PageTagService, ConfigurationRoundTripAndAMissingMember) {
    start(kReaderVcSerial);
    ASSERT_EQ(call(1104)["retval"], true);
    json cfg = call(1113, slot({{"page", kCfg0}}));
    EXPECT_EQ(cfg["retval"], true);
    EXPECT_EQ(cfg["cfg"], json({{"mirrorConf", 0},
                                {"mirrorByte", 0},
                                {"strgModOn", true},
                                {"mirrorPage", 0},
                                {"auth0", 255},
                                {"safeRead", false},
                                {"lock", false},
                                {"nfcCntOn", false},
                                {"cntPwdOn", false},
                                {"authlim", 0}}));

    const json changes = {{"mirrorConf", 6}, {"mirrorByte", 2}, {"strgModOn", 0}, {"mirrorPage", 0x10},
                          {"nfcCntOn", 1},   {"cntPwdOn", 3},   {"authlim", 9}};
    EXPECT_EQ(call(1114, config(changes))["retval"], true);
    EXPECT_EQ(tag->page(kCfg0), (rfsim::NtagCard::Page{0xA0, 0x00, 0x10, 0xFF}));
    EXPECT_EQ(tag->page(kCfg0 + 1), (rfsim::NtagCard::Page{0x19, 0x00, 0x00, 0x00}));  // authlim 9 -> 1
    cfg = call(1113, slot({{"page", kCfg0}}));
    EXPECT_EQ(cfg["cfg"], json({{"mirrorConf", 2},
                                {"mirrorByte", 2},
                                {"strgModOn", false},
                                {"mirrorPage", 16},
                                {"auth0", 255},
                                {"safeRead", false},
                                {"lock", false},
                                {"nfcCntOn", true},
                                {"cntPwdOn", true},
                                {"authlim", 1}}));

    json noLock = config();
    noLock["cfg"].erase("lock");
    client.send(1114, noLock);
    EXPECT_TRUE(client.ws().closedByServer());
}

// VD readers resolve the cascade and carry the page reads and writes; they have no tag commands.
TEST_F(PageTagService, PlainPagesOnAVdReader) {
    start(kReaderVdHid);
    ASSERT_EQ(call(1100, slot({{"uid", kUid}}))["retval"], true);
    EXPECT_EQ(call(1107, writeOf(16, 2, "CAFEBABE01020304"))["retval"], 8);
    const json read = call(1106, pages(16, 2));
    EXPECT_EQ(read["retval"], 8);
    EXPECT_EQ(read["data"], "CAFEBABE01020304");
    EXPECT_EQ(call(1108, pages(16, 2))["retval"], -2);
    const json cfg = call(1113, slot({{"page", kCfg0}}));
    EXPECT_EQ(cfg["retval"], false);
    for (const auto& [name, value] : cfg["cfg"].items())
        EXPECT_TRUE(value == 0 || value == false) << name;
    EXPECT_EQ(call(1110)["retval"], false);
}

// VA readers select level 1 of a UID only; an NTAG's UID has two levels, so the tag never becomes
// ACTIVE there: the "selected" UID is the level 1 bytes with the cascade tag, SAK 04.
TEST_F(PageTagService, VaReadersCannotReachANtag) {
    start(kReaderVaHid);
    const json any = call(1104);
    EXPECT_EQ(any["retval"], true);
    EXPECT_EQ(any["uid"], "8804C15A");
    EXPECT_EQ(any["sak"], 4);
    EXPECT_EQ(call(1106, pages(4, 1))["retval"], 0);
    const json auth = call(1109, slot({{"pwd", "FFFFFFFF"}}));
    EXPECT_EQ(auth["retval"], false);
    EXPECT_EQ(auth["pack"], 65535);
    const json cfg = call(1113, slot({{"page", kCfg0}}));
    EXPECT_EQ(cfg["retval"], false);
    EXPECT_EQ(cfg["cfg"]["auth0"], 0);
}

TEST_F(PageTagService, SlotsAndUnknownCodes) {
    start(kReaderVdHid);
    EXPECT_EQ(call(1106, json({{"rfIdx", 6}}))["err"], 109);
    EXPECT_EQ(call(1106, json({{"rfIdx", 2}}))["err"], 102);
    EXPECT_EQ(call(1115)["err"], 103);
    EXPECT_EQ(call(1100, slot({{"uid", "0102030405060708090A0B"}}))["err"], 105);
    client.send(1107, pages(4, 1));  // no data
    EXPECT_TRUE(client.ws().closedByServer());
}
