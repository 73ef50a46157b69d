#include "service_process.hpp"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "http_client.hpp"

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string programPath(const std::string& name) {
    return std::string(RFDOCK_BIN_DIR) + "/" + name;
}

ServiceHome::ServiceHome() {
    std::string pattern = (fs::temp_directory_path() / "rfdock-e2e-XXXXXX").string();
    home_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    fs::create_directories(home_ + "/bin");
    const std::string fake = home_ + "/bin/xdg-open";
    // It talks on both outputs, as a real one may; the URL is recorded last, so once it is there
    // the talk has been written.
    std::ofstream(fake) << "#!/bin/sh\necho \"xdg-open says: opening $1\"\n"
                           "echo \"xdg-open complains: no browser for $1\" >&2\n"
                           "echo \"$1\" >> \"$HOME/opened-urls\"\n";
    fs::permissions(fake, fs::perms::owner_all);
}

ServiceHome::~ServiceHome() {
    std::error_code ec;
    fs::remove_all(home_, ec);
}

std::string ServiceHome::logText() const {
    std::string text;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dataDir() + "/logs", ec))
        if (entry.path().extension() == ".log") text += readText(entry.path().string());
    return text;
}

void ServiceHome::writeConfig(const std::string& text) const {
    fs::create_directories(dataDir() + "/etc");
    std::ofstream(confFile()) << text;
}

void ServiceHome::writeCertificate(const std::string& commonName) const {
    const std::string ssl = dataDir() + "/ssl";
    fs::create_directories(ssl);
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + commonName +
                                " -keyout " + ssl + "/host.key -out " + ssl + "/host.crt >/dev/null 2>&1";
    [[maybe_unused]] const int status = std::system(command.c_str());
}

std::string ServiceHome::openedUrls() const {
    return readText(home_ + "/opened-urls");
}

std::string ServiceHome::awaitOpenedUrls() const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string urls = openedUrls();
    while ((urls.empty() || urls.back() != '\n') && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        urls = openedUrls();
    }
    return urls;
}

std::vector<std::string> ServiceHome::environment() const {
    const char* path = std::getenv("PATH");
    std::vector<std::string> env = {"HOME=" + homeVariable_.value_or(home_), "RFDOCK_HOME=" + home_,
                                    "PATH=" + home_ + "/bin:" + (path ? path : "/usr/bin:/bin"),
                                    "LANG=C.UTF-8"};
    env.insert(env.end(), extraVariables_.begin(), extraVariables_.end());
    return env;
}

pid_t ServiceHome::spawn(const std::vector<std::string>& args, const std::string& outputFile) const {
    std::vector<std::string> env = environment();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(in, STDIN_FILENO);
    if (fileLimit_) ::setrlimit(RLIMIT_NOFILE, &*fileLimit_);
    std::vector<char*> argv;
    const std::string program = programPath(program_);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
}

namespace {

int waitWithLimit(pid_t pid, std::chrono::milliseconds limit, bool killWhenLate = true) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            if (!killWhenLate) return -2;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

CommandResult ServiceHome::run(const std::vector<std::string>& args, std::chrono::milliseconds limit) const {
    const std::string outputFile = home_ + "/command-output";
    const pid_t pid = spawn(args, outputFile);
    CommandResult result;
    result.status = waitWithLimit(pid, limit);
    result.output = readText(outputFile);
    return result;
}

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool waitForPing(int port, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto res = httpRequest(port, "GET", "/ping");
        if (res && res->body == "pong") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool waitForPort(int port, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (RawConnection(port).connected()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

RunningService::RunningService(const ServiceHome& home, int port, std::vector<std::string> extraArgs,
                               bool tls)
    : home_(home), port_(port), outputFile_(home.path() + "/service-output-" + std::to_string(port)) {
    std::vector<std::string> args = {"-p", std::to_string(port)};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = home_.spawn(args, outputFile_);
    ready_ = tls ? waitForPort(port) : waitForPing(port);
}

RunningService::~RunningService() {
    stop();
}

int RunningService::stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    const int status = waitWithLimit(pid_, std::chrono::seconds(10));
    pid_ = -1;
    return status;
}

int RunningService::waitExit(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    const int status = waitWithLimit(pid_, limit, false);
    if (status != -2) pid_ = -1;
    return status == -2 ? -1 : status;
}

std::string servicePassword(const ServiceHome& home) {
    const std::string conf = readText(home.confFile());
    const auto at = conf.find("\npass = ") + 8;
    return conf.substr(at, conf.find('\n', at) - at);
}

std::string loginMessage(const ServiceHome& home) {
    return nlohmann::json{{"ack", "login"}, {"code", 0}, {"user", "public"}, {"pass", servicePassword(home)}}
        .dump();
}
