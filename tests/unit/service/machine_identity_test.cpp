#include "service/identity/machine_identity.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.hpp"

namespace {

const HardwareAddress kEth0 = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};

// A machine with only eth0: its /sys address, an empty address file for ens3, and processor lines
// of both an x86 and an ARM kind.
class IdentityFixture : public testing::Test {
  protected:
    IdentityFixture() {
        put("etc/machine-id", "0123456789abcdef0123456789abcdef\n");
        put("sys/class/net/eth0/address", "52:54:00:12:34:56\n");
        put("sys/class/net/ens3/address", "\n");
        put("proc/cpuinfo",
            "processor\t: 0\n"
            "vendor_id\t: GenuineIntel\n"
            "model name\t: Intel(R) Xeon(R) Processor\n"
            "serial\t\t: \n"
            "\n"
            "processor\t: 1\n"
            "model name\t: Intel(R) Xeon(R) Processor\n"
            "processor:2\n"
            "Serial\t\t: 00000000abcdef01\n"
            "Processor\t: ARMv7 Processor rev 4 (v7l)\n"
            "Hardware\t: BCM2835\n");
        sources.root = dir.path();
        sources.hardwareAddress = [](const std::string& name) -> std::optional<HardwareAddress> {
            if (name == "eth0") return kEth0;
            return std::nullopt;
        };
    }

    void put(const std::string& relative, const std::string& text) {
        const std::filesystem::path path = std::filesystem::path(dir.path()) / relative;
        std::filesystem::create_directories(path.parent_path());
        writeFile(path.string(), text);
    }

    void expectReply(const char* sha256, const char* md5) {
        nlohmann::json reply = nlohmann::json::object();
        fillMachineIdentity(reply, sources);
        EXPECT_EQ(reply["sha256"], sha256);
        EXPECT_EQ(reply["md5"], md5);
    }

    TempDir dir;
    IdentitySources sources;
};

std::string lowerHex(std::span<const std::uint8_t> bytes) {
    static const char* const digits = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

}  // namespace

TEST_F(IdentityFixture, TextFollowsTheSourcesInOrder) {
    EXPECT_EQ(machineIdentityText(sources),
              "0123456789abcdef0123456789abcdef"
              "52:54:00:12:34:56|"  // /sys, eth0
              "|"                   // /sys, ens3: an empty first line
              "0|Intel(R) Xeon(R) Processor|1|Intel(R) Xeon(R) Processor|00000000abcdef01|"
              "ARMv7 Processor rev 4 (v7l)|"
              "52:54:00:12:34:56|"  // kernel, eth0
              "0");
}

// The expected values come from `openssl dgst -sha256` over the text above and `openssl dgst -md5`
// over the 32 digest bytes.
TEST_F(IdentityFixture, DigestAndReply) {
    std::array<std::uint8_t, 32> digest{};
    machineDigest(digest, sources);
    EXPECT_EQ(lowerHex(digest), "6d0c5627685bbdc15b758b380f29dc68008ff7d06b9654c99f9e60a7f911378a");
    expectReply("6d0c5627685bbdc15b758b380f29dc68008ff7d06b9654c99f9e60a7f911378a",
                "b30920d6ffa75e9552e643fe0c40ce76");
}

TEST_F(IdentityFixture, NothingReadableLeavesTheZero) {
    sources.root = dir.file("absent");
    sources.hardwareAddress = [](const std::string&) { return std::optional<HardwareAddress>(); };
    EXPECT_EQ(machineIdentityText(sources), "0");
    expectReply("5feceb66ffc86f38d952786c6d696c79c2dbc239dd4e91b46729d73a27fb57e9",
                "3292e05ad49f3241fd7baa45bfb7f500");
}

TEST_F(IdentityFixture, EmptyMachineIdFileAddsNothing) {
    put("etc/machine-id", "");
    EXPECT_EQ(machineIdentityText(sources).rfind("52:54:00:12:34:56|", 0), 0u);
}

TEST(KernelHardwareAddress, UnknownOrOverlongNamesGiveNothing) {
    EXPECT_FALSE(kernelHardwareAddress("rfdock-none0").has_value());
    EXPECT_FALSE(kernelHardwareAddress(std::string(64, 'x')).has_value());
}

TEST(MachineIdentity, StableOnAnUnchangedSystem) {
    nlohmann::json first = nlohmann::json::object();
    nlohmann::json second = nlohmann::json::object();
    fillMachineIdentity(first);
    fillMachineIdentity(second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first["sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(first["md5"].get<std::string>().size(), 32u);
}
