#include "pcsc_stack.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "reader/pcsc/pcsc_api.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* kVpcdDriver = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";
constexpr const char* kViccPath = "/usr/lib/python3/site-packages/virtualsmartcard";
constexpr const char* kCryptodome = "/usr/lib/python3/dist-packages/Cryptodome";

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin:/usr/sbin:/sbin";
    dirs += ":/usr/sbin:/sbin";
    std::size_t at = 0;
    while (at <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        if (::access((dirs.substr(at, end - at) + "/" + program).c_str(), X_OK) == 0) return true;
        at = end + 1;
    }
    return false;
}

bool daemonAnswers() {
    Orvane::pcsc::PcscApi& api = Orvane::pcsc::systemPcscApi();
    Orvane::pcsc::Context context = 0;
    if (api.establishContext(context) != Orvane::pcsc::kSuccess) return false;
    api.releaseContext(context);
    return true;
}

bool waitUntil(auto condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                           const std::string& outputFile) {
    pid_ = ::fork();
    if (pid_ != 0) return;
    ::setpgid(0, 0);
    const int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(in, STDIN_FILENO);
    for (const std::string& entry : extraEnv)
        ::putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == 0) return true;
    pid_ = -1;
    return false;
}

void ChildProcess::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(50ms);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

PcscStack::PcscStack() {
    char tmpl[] = "/tmp/rfdock-pcsc-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) {
        skipReason_ = "no temporary folder";
        return;
    }
    folder_ = tmpl;
    for (const char* program : {"pcscd", "python3", "vicc"})
        if (!onPath(program))
            skipReason_ = std::string(program) + " is not installed (scripts/setup.sh installs it)";
    if (!fs::exists(kVpcdDriver))
        skipReason_ = "vsmartcard-vpcd is not installed (scripts/setup.sh installs it)";
    if (!skipReason_.empty()) return;
    if (daemonAnswers()) {
        // Another pcscd serves the fixed socket: use it when it has vpcd's readers.
        const auto names = readers();
        if (std::ranges::find(names, kFirstSlot) == names.end())
            skipReason_ =
                "another pcscd answers on /run/pcscd/pcscd.comm without vpcd's readers; stop it to "
                "run these tests";
        return;
    }
    if (::geteuid() != 0 && ::access("/run/pcscd", W_OK) != 0) {
        skipReason_ = "pcscd needs /run/pcscd: run as root";
        return;
    }
    if (!startDaemon()) skipReason_ = "pcscd started but listed no vpcd reader";
}

bool PcscStack::startDaemon() {
    daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{"pcscd", "--foreground"},
                                             std::vector<std::string>{}, folder_ + "/pcscd.log");
    return waitUntil(
        [] {
            const auto names = readers();
            return std::ranges::find(names, kFirstSlot) != names.end();
        },
        10s);
}

PcscStack::~PcscStack() {
    stopDaemon();
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

void PcscStack::stopDaemon() {
    if (!daemon_) return;
    daemon_->stop();
    daemon_.reset();
    // A daemon that had to be killed leaves its socket behind; the next one would find it stale.
    std::error_code ignored;
    if (!daemonAnswers()) fs::remove("/run/pcscd/pcscd.comm", ignored);
}

std::vector<std::string> PcscStack::readers() {
    Orvane::pcsc::PcscApi& api = Orvane::pcsc::systemPcscApi();
    Orvane::pcsc::Context context = 0;
    std::vector<std::string> names;
    if (api.establishContext(context) != Orvane::pcsc::kSuccess) return names;
    api.listReaders(context, names);
    api.releaseContext(context);
    return names;
}

bool PcscStack::waitForCard(const std::string& reader, bool present, std::chrono::milliseconds limit) {
    return waitUntil(
        [&] {
            Orvane::pcsc::PcscApi& api = Orvane::pcsc::systemPcscApi();
            Orvane::pcsc::Context context = 0;
            if (api.establishContext(context) != Orvane::pcsc::kSuccess) return false;
            Orvane::pcsc::ReaderState state{reader, Orvane::pcsc::state::kUnaware, 0};
            const bool answered =
                api.getStatusChange(context, 0, std::span(&state, 1)) == Orvane::pcsc::kSuccess;
            api.releaseContext(context);
            return answered && ((state.event & Orvane::pcsc::state::kPresent) != 0) == present;
        },
        limit);
}

std::unique_ptr<ChildProcess> PcscStack::startVicc() {
    // Debian's vicc imports Crypto; python3-pycryptodome installs it as Cryptodome.
    std::error_code ignored;
    fs::create_directory_symlink(kCryptodome, folder_ + "/Crypto", ignored);
    auto card = std::make_unique<ChildProcess>(
        std::vector<std::string>{"vicc", "--type", "iso7816", "--hostname", "127.0.0.1", "--port",
                                 std::to_string(kFirstSlotPort)},
        std::vector<std::string>{"PYTHONPATH=" + folder_ + ":" + kViccPath}, folder_ + "/vicc.log");
    waitForCard(kFirstSlot, true);
    return card;
}

std::unique_ptr<ChildProcess> PcscStack::startTag(const std::string& kind, const std::string& uid) {
    std::vector<std::string> args{"python3", std::string(RFDOCK_PCSC_TEST_DIR) + "/virtual_tag.py",
                                  "--kind",  kind,
                                  "--port",  std::to_string(kFirstSlotPort)};
    if (!uid.empty()) args.insert(args.end(), {"--uid", uid});
    auto card =
        std::make_unique<ChildProcess>(args, std::vector<std::string>{}, folder_ + "/" + kind + ".log");
    waitForCard(kFirstSlot, true);
    return card;
}
