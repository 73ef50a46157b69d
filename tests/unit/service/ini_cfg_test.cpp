#include "service/config/ini_cfg.hpp"

#include <gtest/gtest.h>

#include "support/temp_dir.hpp"

TEST(DefaultPassword, IsSixLetters) {
    const std::string pass = defaultPassword();
    ASSERT_EQ(pass.size(), 6u);
    for (char c : pass)
        EXPECT_TRUE(c >= 'a' && c <= 'z') << pass;
}

TEST(NormaliseConfiguration, FirstStartWritesEveryKeyInOrder) {
    TempDir dir;
    const std::string path = dir.file("etc/rfdock.conf");  // the directory does not exist yet
    IniCfg config(path);
    normaliseConfiguration(config);
    EXPECT_EQ(readFile(path),
              "[server]\n"
              "srvHost = \n"
              "host = 127.0.0.1\n"
              "port = 3080\n"
              "workerNum = 4\n"
              "maxConnect = 400\n"
              "sslCipherSuite = TLS_CHACHA20_POLY1305_SHA256:TLS_AES_256_GCM_SHA384:TLS_AES_128_GCM_SHA256:"
              "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-ECDSA-AES128-GCM-SHA256:"
              "ECDHE-RSA-CHACHA20-POLY1305:ECDHE-RSA-AES256-GCM-SHA384:ECDHE-RSA-AES128-GCM-SHA256\n"
              "crtFile = ssl/host.crt\n"
              "keyFile = ssl/host.key\n"
              "caFile = ssl/cacert.pem\n"
              "tlsEnable = false\n"
              "cors = true\n"
              "origins = \n"
              "\n"
              "[login]\n"
              "user = public\n"
              "pass = " +
                  defaultPassword() +
                  "\n"
                  "\n"
                  "[log]\n"
                  "accessLog = false\n"
                  "level = WARN\n"
                  "fsync = false\n"
                  "stdout = false\n"
                  "remainDays = 3\n");
}

TEST(NormaliseConfiguration, KeepsStoredValuesAndFillsEmptyStrings) {
    TempDir dir;
    const std::string path = dir.file("rfdock.conf");
    writeFile(path,
              "[login]\n"
              "# who may log in\n"
              "pass =\n"
              "user = bob\n"
              "[server]\n"
              "srvHost = my.host\n"
              "host =\n"
              "workerNum = 0\n"
              "extra = 1\n");
    IniCfg config(path);
    normaliseConfiguration(config);

    IniCfg reread(path);
    EXPECT_EQ(reread.GetValue("pass", "login"), defaultPassword());
    EXPECT_EQ(reread.GetValue("user", "login"), "bob");
    EXPECT_EQ(reread.GetValue("srvHost", "server"), "my.host");
    EXPECT_EQ(reread.GetValue("host", "server"), "127.0.0.1");
    EXPECT_EQ(reread.GetValue("workerNum", "server"), "0");
    EXPECT_EQ(reread.GetValue("extra", "server"), "1");
    EXPECT_EQ(reread.GetValue("remainDays", "log"), "3");
    const std::string text = readFile(path);
    EXPECT_EQ(text.rfind("[login]\n# who may log in\n", 0), 0u) << text;
}
