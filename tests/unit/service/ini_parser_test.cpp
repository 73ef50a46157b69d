#include "service/config/ini_parser.hpp"

#include <gtest/gtest.h>

#include "support/temp_dir.hpp"

namespace {

const char* const kHandWritten =
    "# rfdock settings\n"
    "\n"
    "[server]\n"
    "; the port browsers use\n"
    "port = 8080   # not the default\n"
    "custom=kept as is\n"
    "\n"
    "[login]\n"
    "user=alice\n"
    "pass = a#b\n"
    "\n"
    "# trailing remark\n";

}  // namespace

TEST(IniParser, UntouchedFileRoundTripsByteForByte) {
    IniParser ini;
    ini.LoadFromText(kHandWritten);
    EXPECT_EQ(ini.Dump(), kHandWritten);
}

TEST(IniParser, ReadsValuesBesideCommentsAndSections) {
    IniParser ini;
    ini.LoadFromText(kHandWritten);
    EXPECT_EQ(ini.Get<int>("port", "server", 1), 8080);
    EXPECT_EQ(ini.GetValue("custom", "server"), "kept as is");
    EXPECT_EQ(ini.GetValue("pass", "login"), "a#b");  // '#' without a blank before it is data
    EXPECT_EQ(ini.GetValue("user", "server"), "");    // keys belong to their section
}

TEST(IniParser, SettingKeepsCommentsOrderAndUnknownKeys) {
    IniParser ini;
    ini.LoadFromText(kHandWritten);
    ini.Set<int>("port", 9090, "server");
    ini.SetValue("host", "127.0.0.1", "server");
    ini.SetValue("pass", "a#b", "login");  // same value: line left as written
    ini.Set<bool>("fsync", true, "log");
    EXPECT_EQ(ini.Dump(),
              "# rfdock settings\n"
              "\n"
              "[server]\n"
              "; the port browsers use\n"
              "port = 9090   # not the default\n"
              "custom=kept as is\n"
              "host = 127.0.0.1\n"
              "\n"
              "[login]\n"
              "user=alice\n"
              "pass = a#b\n"
              "\n"
              "# trailing remark\n"
              "\n"
              "[log]\n"
              "fsync = true\n");
}

TEST(IniParser, TypedReadsFallBackOnText) {
    IniParser ini;
    ini.LoadFromText("[s]\nn=12x\nm=-7\nbig=99999999999\nb1=Yes\nb2=off\nb3=maybe\nempty=\n");
    EXPECT_EQ(ini.Get<int>("n", "s", 5), 5);
    EXPECT_EQ(ini.Get<int>("m", "s", 5), -7);
    EXPECT_EQ(ini.Get<int>("big", "s", 5), 5);
    EXPECT_EQ(ini.Get<int>("empty", "s", 5), 5);
    EXPECT_EQ(ini.Get<int>("missing", "s", 5), 5);
    EXPECT_TRUE(ini.Get<bool>("b1", "s", false));
    EXPECT_FALSE(ini.Get<bool>("b2", "s", true));
    EXPECT_TRUE(ini.Get<bool>("b3", "s", true));
}

TEST(IniParser, SaveWritesTheLoadedFileAndMissingFileIsEmpty) {
    TempDir dir;
    IniParser ini;
    EXPECT_FALSE(ini.LoadFromFile(dir.file("a.conf")));
    ini.SetValue("k", "v", "sec");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(readFile(dir.file("a.conf")), "[sec]\nk = v\n");

    IniParser again;
    ASSERT_TRUE(again.LoadFromFile(dir.file("a.conf")));
    EXPECT_EQ(again.GetValue("k", "sec"), "v");
}
