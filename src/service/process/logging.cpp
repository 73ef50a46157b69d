#include "service/process/logging.hpp"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>
#include <mutex>

#include "service/process/journal_sink.hpp"

namespace {

// Records below ERROR to standard output, the rest to standard error.
class ConsoleSplitSink : public spdlog::sinks::base_sink<std::mutex> {
  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        spdlog::memory_buf_t text;
        formatter_->format(msg, text);
        std::FILE* out = msg.level >= spdlog::level::err ? stderr : stdout;
        std::fwrite(text.data(), 1, text.size(), out);
        std::fflush(out);
    }
    void flush_() override {
        std::fflush(stdout);
        std::fflush(stderr);
    }
};

// Flushes every record to the disk: fsync on a descriptor of the current day's file reaches the
// same inode as the sink's own stream.
class FsyncFileSink : public spdlog::sinks::base_sink<std::mutex> {
  public:
    explicit FsyncFileSink(std::shared_ptr<spdlog::sinks::daily_file_sink_mt> file)
        : file_(std::move(file)) {}
    ~FsyncFileSink() override {
        if (fd_ >= 0) ::close(fd_);
    }

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        file_->log(msg);
        file_->flush();
        const std::string name = file_->filename();
        if (name != openName_) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
            openName_ = name;
        }
        if (fd_ >= 0) ::fsync(fd_);
    }
    void flush_() override { file_->flush(); }
    void set_pattern_(const std::string& pattern) override { file_->set_pattern(pattern); }
    void set_formatter_(std::unique_ptr<spdlog::formatter> formatter) override {
        file_->set_formatter(std::move(formatter));
    }

  private:
    std::shared_ptr<spdlog::sinks::daily_file_sink_mt> file_;
    std::string openName_;
    int fd_ = -1;
};

// The file sink setupLogging installed, for currentLogFile.
std::weak_ptr<spdlog::sinks::daily_file_sink_mt> logFileSink;

}  // namespace

spdlog::level::level_enum logLevelFromText(const std::string& text) {
    static const std::pair<const char*, spdlog::level::level_enum> kLevels[] = {
        {"VERBOSE", spdlog::level::trace}, {"DEBUG", spdlog::level::debug},
        {"INFO", spdlog::level::info},     {"WARN", spdlog::level::warn},
        {"ERROR", spdlog::level::err},     {"FATAL", spdlog::level::critical},
        {"SILENT", spdlog::level::off},
    };
    for (const auto& [name, level] : kLevels)
        if (strcasecmp(text.c_str(), name) == 0) return level;
    return spdlog::level::warn;
}

void setupLogging(const IniCfg& config, const ProcessContext& ctx) {
    const int remainDays = std::max(0, config.get(cfg::remainDays));
    std::vector<spdlog::sink_ptr> sinks;
    try {
        auto file = std::make_shared<spdlog::sinks::daily_file_sink_mt>(ctx.logFile, 0, 0, false,
                                                                        static_cast<uint16_t>(remainDays));
        logFileSink = file;
        if (config.get(cfg::logFsync))
            sinks.push_back(std::make_shared<FsyncFileSink>(file));
        else
            sinks.push_back(file);
    } catch (const spdlog::spdlog_ex& e) {
        std::printf("Cannot open the log file %s: %s\n", ctx.logFile.c_str(), e.what());
    }
    if (config.get(cfg::logStdout))
        sinks.push_back(std::make_shared<ConsoleSplitSink>());
    else if (stderrIsJournal())
        sinks.push_back(makeJournalSink());  // run as a systemd unit: the journal gets the records too
    auto logger = std::make_shared<spdlog::logger>(ctx.programName, sinks.begin(), sinks.end());
    logger->set_level(logLevelFromText(config.get(cfg::level)));
    logger->flush_on(spdlog::level::warn);
    spdlog::set_default_logger(logger);
    spdlog::flush_every(std::chrono::seconds(3));
}

std::string currentLogFile() {
    const auto file = logFileSink.lock();
    return file ? file->filename() : std::string();
}
