#pragma once
// Runs the real service program for end-to-end tests: its own HOME in a temporary folder, a free
// loopback port, and a stand-in xdg-open that records the URLs it is asked to open.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct CommandResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string output;
};

class ServiceHome {
  public:
    ServiceHome();
    ~ServiceHome();
    ServiceHome(const ServiceHome&) = delete;
    ServiceHome& operator=(const ServiceHome&) = delete;

    const std::string& path() const { return home_; }
    std::string dataDir() const { return home_ + "/.tesmar/" + program_; }
    std::string confFile() const { return dataDir() + "/etc/" + program_ + ".conf"; }
    std::string pidFile() const { return dataDir() + "/logs/" + program_ + ".pid"; }
    // Every log file's text, joined.
    std::string logText() const;
    // Writes the configuration file before the service starts.
    void writeConfig(const std::string& text) const;
    // A fresh self-signed certificate and key where the service looks for them (ssl/host.*).
    void writeCertificate(const std::string& commonName) const;
    // URLs the stand-in xdg-open was called with, one a line.
    std::string openedUrls() const;
    // The same once a URL has come (the browser is started in the background), or after 5 s.
    std::string awaitOpenedUrls() const;

    // Programs started from here on see HOME as `value` (RFDOCK_HOME stays this folder).
    void setHomeVariable(std::string value) { homeVariable_ = std::move(value); }

    // Programs started from here on are this built program (rfdock by default) and see these
    // variables too ("NAME=value").
    void setProgram(std::string name) { program_ = std::move(name); }
    void addVariable(std::string assignment) { extraVariables_.push_back(std::move(assignment)); }

    // Programs started from here on get this open-file limit.
    void limitOpenFiles(rlim_t soft, rlim_t hard) { fileLimit_ = rlimit{soft, hard}; }

    // Runs the program to its end (bounded) with this HOME.
    CommandResult run(const std::vector<std::string>& args,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) const;
    // Starts the program in the background; its output goes to a file.
    pid_t spawn(const std::vector<std::string>& args, const std::string& outputFile) const;
    std::vector<std::string> environment() const;

  private:
    std::string home_;
    std::optional<std::string> homeVariable_;
    std::string program_ = "rfdock";
    std::vector<std::string> extraVariables_;
    std::optional<rlimit> fileLimit_;
};

// A loopback port nobody listens on right now.
int freePort();
// Waits until the port accepts connections.
bool waitForPort(int port, std::chrono::milliseconds limit = std::chrono::seconds(10));
// Waits until something answers /ping on the port.
bool waitForPing(int port, std::chrono::milliseconds limit = std::chrono::seconds(10));
// Path of a built program.
std::string programPath(const std::string& name = "rfdock");
std::string readText(const std::string& path);
// The password the service wrote into its configuration on first start.
std::string servicePassword(const ServiceHome& home);
// The login command (code 0) with that password.
std::string loginMessage(const ServiceHome& home);

// The service running in the background; stopped with SIGTERM (then SIGKILL) when destroyed.
class RunningService {
  public:
    // Ready once /ping answers, or, with `tls`, once the port accepts connections.
    RunningService(const ServiceHome& home, int port, std::vector<std::string> extraArgs = {},
                   bool tls = false);
    ~RunningService();
    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }
    int port() const { return port_; }
    std::string output() const { return readText(outputFile_); }
    // SIGTERM and wait; the exit status, or -1.
    int stop();
    // Waits for the process to end by itself; the exit status, or -1 when it did not within `limit`.
    int waitExit(std::chrono::milliseconds limit);

  private:
    const ServiceHome& home_;
    int port_;
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string outputFile_;
};
