#pragma once
// Real PC/SC parts for end-to-end tests: pcscd started in the foreground (it loads Debian's
// vsmartcard-vpcd driver, whose two virtual readers "Virtual PCD 00 00" and "00 01" wait for a
// virtual card on 127.0.0.1:35963 and :35964), and virtual cards connecting to them: vicc (an
// ISO 7816-4 card, python3-virtualsmartcard) and virtual_tag.py beside this file (a contactless
// reader holding a Mifare Classic 1K or an NTAG215).
//
// pcsc-lite 1.9.9 serves on the fixed socket /run/pcscd/pcscd.comm: a pcscd that already answers
// there is used as it is (and not stopped), provided it has the vpcd readers.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// A program run in the background with its output in a file; stopped (SIGTERM, then SIGKILL)
// when destroyed.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                 const std::string& outputFile);
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    bool running();
    void stop();

  private:
    pid_t pid_ = -1;
};

class PcscStack {
  public:
    static constexpr int kFirstSlotPort = 35963;  // "Virtual PCD 00 00"
    static constexpr const char* kFirstSlot = "Virtual PCD 00 00";

    PcscStack();
    ~PcscStack();

    // Empty when the stack runs; else why these tests cannot run here.
    const std::string& skipReason() const { return skipReason_; }
    // This test started pcscd (and may stop it).
    bool ownsDaemon() const { return daemon_ != nullptr; }
    void stopDaemon();
    // Starts pcscd in the foreground; true once it lists the vpcd readers.
    bool startDaemon();

    // The PC/SC readers pcscd lists now (empty when it does not answer).
    static std::vector<std::string> readers();
    // Waits until `reader` has (or has not) a card.
    static bool waitForCard(const std::string& reader, bool present,
                            std::chrono::milliseconds limit = std::chrono::seconds(10));

    // Virtual cards on the first slot.
    std::unique_ptr<ChildProcess> startVicc();
    std::unique_ptr<ChildProcess> startTag(const std::string& kind, const std::string& uid = "");

    const std::string& folder() const { return folder_; }

  private:
    std::string folder_;  // outputs, and the Crypto link vicc imports
    std::unique_ptr<ChildProcess> daemon_;
    std::string skipReason_;
};

// Skips the test when the PC/SC stack cannot run on this machine.
#define SKIP_WITHOUT_PCSC(stack) \
    if (!(stack).skipReason().empty()) GTEST_SKIP() << (stack).skipReason()
