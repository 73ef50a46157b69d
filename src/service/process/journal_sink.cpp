#include "service/process/journal_sink.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>

namespace {

// sd-daemon(3) priorities: journald reads them from the front of each line.
int syslogPriority(spdlog::level::level_enum level) {
    switch (level) {
        case spdlog::level::trace:
        case spdlog::level::debug:
            return 7;
        case spdlog::level::info:
            return 6;
        case spdlog::level::warn:
            return 4;
        case spdlog::level::err:
            return 3;
        case spdlog::level::critical:
            return 2;
        default:
            return 6;
    }
}

class JournalSink : public spdlog::sinks::base_sink<std::mutex> {
  public:
    // The journal stamps time, program and pid itself.
    JournalSink() {
        set_formatter_(
            std::make_unique<spdlog::pattern_formatter>("%v", spdlog::pattern_time_type::local, ""));
    }

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        spdlog::memory_buf_t text;
        formatter_->format(msg, text);
        // One record is one journal entry: line breaks inside a record would split it.
        for (char& c : text)
            if (c == '\n' || c == '\r') c = ' ';
        std::fprintf(stderr, "<%d>%.*s\n", syslogPriority(msg.level), static_cast<int>(text.size()),
                     text.data());
    }
    void flush_() override { std::fflush(stderr); }
};

}  // namespace

bool stderrIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream) return false;
    unsigned long long device = 0, inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
    struct stat st {};
    if (::fstat(STDERR_FILENO, &st) != 0) return false;
    return static_cast<unsigned long long>(st.st_dev) == device &&
           static_cast<unsigned long long>(st.st_ino) == inode;
}

std::shared_ptr<spdlog::sinks::sink> makeJournalSink() {
    return std::make_shared<JournalSink>();
}
