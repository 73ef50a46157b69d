// What a service that every local page and program can reach must not allow, run for real.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "service_process.hpp"

namespace fs = std::filesystem;

namespace {

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

}  // namespace

TEST(PrivateData, ANewDataFolderAndConfigurationAreTheOwnersAlone) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();
    EXPECT_EQ(modeOf(home.dataDir()), 0700u);
    EXPECT_EQ(modeOf(home.confFile()), 0600u);
}

TEST(PrivateData, AnOpenConfigurationIsTightenedAtStartAndSaid) {
    ServiceHome home;
    home.writeConfig("[login]\npass = secret\n");
    ::chmod(home.dataDir().c_str(), 0755);
    ::chmod(home.confFile().c_str(), 0644);
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();
    EXPECT_EQ(modeOf(home.dataDir()), 0700u);
    EXPECT_EQ(modeOf(home.confFile()), 0600u);
    const std::string log = home.logText();
    EXPECT_NE(log.find("configuration " + home.confFile() + " was mode 0644, now 0600"), std::string::npos)
        << log;
}

TEST(PrivateData, TheDataFolderFollowsRfdockHomeNotHome) {
    ServiceHome home;
    const std::string elsewhere = home.path() + "/elsewhere";
    fs::create_directories(elsewhere);
    home.setHomeVariable(elsewhere);
    const CommandResult result = home.run({"-s", "status"});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(fs::exists(home.dataDir())) << "RFDOCK_HOME names the data folder's home";
    EXPECT_FALSE(fs::exists(elsewhere + "/.tesmar")) << "HOME is not looked at";
}
