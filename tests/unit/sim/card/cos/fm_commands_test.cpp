// The simulated card's FM-style personalisation, APDU by APDU: erasing, creating files within the
// DF's room, writing keys, and the rights and levels that the written keys reach.

#include "cos_test_support.hpp"

using namespace cos_test;

namespace {

const std::string kKey16 = "404142434445464748494A4B4C4D4E4F";

}  // namespace

TEST_F(CosTest, PersonalisationSteps) {
    const Step steps[] = {
        {"800E000000", "9000", "erase the MF"},
        {"00A4040C08F05246444F434B01", "6A82", "the default DF is gone"},
        {"80E010020B380040F0F095FFFF414243", "9000", "DF 1002 'ABC', 64 bytes of room, now current"},
        {"80E0001607280020F0F1FFFF", "9000", "binary EF 0016 of 32 bytes, written from level 1"},
        {"80E0001607280010F0F0FFFF", "6A89", "the identifier is taken"},
        {"80E0001707280030F0F0FFFF", "6A84", "48 bytes do not fit the 32 left"},
        {"80E00018072A0210F0F0FFFF", "9000", "2 records of 16 bytes fill the room"},
        {"80E0001907280000F0F0FFFF", "6A80", "an empty binary file"},
        {"80E00002072F0208F000FF20", "6A80", "a purse with SFI 32"},
        {"00D696000201 02", "6982", "level 0 may not write"},
        {"80D4010115 39F0F00133" + kKey16, "9000", "external key 1 reaching level 1"},
        {"80D4010008 3AF0F00233 123456", "9000", "PIN 0 reaching level 2, 3 tries"},
        {"80D4010006 99F0F00033 11", "6A80", "an unknown key type"},
        {"80D4010009 39F0F00133 1122334455", "6700", "a DES key of 5 bytes"},
        {"0020000003 111111", "63C2", "a wrong PIN"},
        {"0020000003 123456", "9000", "the PIN"},
        {"00D696000201 02", "9000", "level 2 writes"},
        {"00B0960002", "01029000", "and reads back"},
        {"00E200C010 000102030405060708090A0B0C0D0E0F", "9000", "a record appended"},
        {"80D43A0508 3AF0F00233 654321", "6A88", "no PIN 5 to replace"},
        {"80D43901 15 39F0F00133" + kKey16, "9000", "key 1 replaced by its type"},
        {"80E0200108380000F0EF00FFFF", "9000", "a DF that may never be erased"},
        {"800E000000", "6982", "its erase right refuses"},
    };
    run(steps);
}

TEST_F(CosTest, PersonalisedRightsAndMacKeys) {
    // A DF whose binary file is written with a MAC under secure-messaging key 1 (B11 = 1 ^ FF).
    const Step steps[] = {
        {"800E000000", "9000"},
        {"80E0100208380100F0F095FFFF", "9000"},
        {"80D4010015 36F0F00033 606162636465666768696A6B6C6D6E6F", "9000", "secure-messaging key 0"},
        {"80D4010115 36F0F00033 707172737475767778797A7B7C7D7E7F", "9000", "secure-messaging key 1"},
        {"80E0001607A80010F0F0FFFE", "9000", "binary EF 0016 written with a MAC under key 1"},
        {"00D696000101", "6982", "a plain write is refused"},
    };
    run(steps);
    const Bytes key1 = hexBytes("707172737475767778797A7B7C7D7E7F");
    const Bytes key0 = hexBytes("606162636465666768696A6B6C6D6E6F");
    for (const auto& [key, expected] : {std::pair{key0, "6988"}, std::pair{key1, "9000"}}) {
        const Bytes iv = challenge();
        const Bytes head = hexBytes("04D6960005 01");
        const Bytes apdu = cat({head, mac4(key, iv, head)});
        EXPECT_EQ(hex(send(apdu)), expected);
    }
}
