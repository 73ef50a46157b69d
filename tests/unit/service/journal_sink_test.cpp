// Under a systemd unit the journal gets every record, one entry each with its priority; a process
// that merely inherited JOURNAL_STREAM writes nothing extra.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <spdlog/details/log_msg.h>

#include "service/process/journal_sink.hpp"

namespace {

// Points standard error at a temporary file for the test's life.
class StderrToFile {
  public:
    StderrToFile() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        file_ = std::tmpfile();
        ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~StderrToFile() {
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        std::fclose(file_);
        ::unsetenv("JOURNAL_STREAM");
    }
    std::string streamId(long inodeOffset = 0) const {
        struct stat st {};
        ::fstat(::fileno(file_), &st);
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + inodeOffset);
    }
    std::string text() const {
        std::fflush(stderr);
        std::string out;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;)
            out.push_back(static_cast<char>(c));
        return out;
    }

  private:
    int saved_ = -1;
    std::FILE* file_ = nullptr;
};

TEST(JournalSink, OnlyTheStreamSystemdNamedIsTheJournal) {
    StderrToFile err;
    EXPECT_FALSE(stderrIsJournal());  // no variable
    const struct {
        std::string value;
        bool journal;
    } cases[] = {{err.streamId(), true}, {err.streamId(1), false}, {"garbage", false}, {"", false}};
    for (const auto& c : cases) {
        ::setenv("JOURNAL_STREAM", c.value.c_str(), 1);
        EXPECT_EQ(stderrIsJournal(), c.journal) << c.value;
    }
}

TEST(JournalSink, EachRecordIsOneLineLedByItsPriority) {
    StderrToFile err;
    auto sink = makeJournalSink();
    const struct {
        spdlog::level::level_enum level;
        const char* text;
    } records[] = {{spdlog::level::warn, "port taken\nretrying"},
                   {spdlog::level::err, "closed"},
                   {spdlog::level::info, "opened"},
                   {spdlog::level::debug, "frame"}};
    for (const auto& r : records)
        sink->log(spdlog::details::log_msg("rfdock", r.level, r.text));
    sink->flush();
    EXPECT_EQ(err.text(), "<4>port taken retrying\n<3>closed\n<6>opened\n<7>frame\n");
}

}  // namespace
