#pragma once
// The single instance: the serving process holds an exclusive lock on its pid file for its whole
// life; control invocations read the pid from the file and learn from the lock whether it still runs.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>

class PidFile {
  public:
    // Locks the file (created if missing) and writes this process's pid; nullptr when another
    // process holds the lock or the file cannot be opened.
    static std::unique_ptr<PidFile> acquire(const std::string& path);
    ~PidFile();  // empties the file; the lock goes with the descriptor
    PidFile(const PidFile&) = delete;
    PidFile& operator=(const PidFile&) = delete;

  private:
    explicit PidFile(int fd) : fd_(fd) {}
    int fd_;
};

// Pid of the instance that holds the lock; 0 when none runs.
pid_t runningInstance(const std::string& pidPath);

// Waits until no instance holds the lock; false when `limit` passed first.
bool waitUntilStopped(const std::string& pidPath, std::chrono::milliseconds limit);
