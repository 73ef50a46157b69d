// Where the service keeps its data: the password database's home of the effective user, or
// RFDOCK_HOME; never HOME, which `sudo` keeps from the calling user.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "service/process/process_context.hpp"

namespace {

// Sets an environment variable for one test and puts back what was there.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedVariable() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(HomeDirectory, ComesFromThePasswordDatabaseWhateverHomeSays) {
    const passwd* entry = ::getpwuid(::geteuid());
    ASSERT_NE(entry, nullptr);
    ScopedVariable home("HOME", "/somewhere/else");
    ScopedVariable rfdockHome("RFDOCK_HOME", nullptr);
    EXPECT_EQ(homeDirectory().value_or(""), entry->pw_dir);
}

TEST(HomeDirectory, RfdockHomeNamesItWhenAbsolute) {
    ScopedVariable rfdockHome("RFDOCK_HOME", "/srv/rfdock");
    EXPECT_EQ(homeDirectory().value_or(""), "/srv/rfdock");
    ScopedVariable relative("RFDOCK_HOME", "relative/path");
    const passwd* entry = ::getpwuid(::geteuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(homeDirectory().value_or(""), entry->pw_dir);
}
