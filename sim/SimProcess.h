#pragma once
// Runs quellon-bridge-sim as a child process for tests: the simulator's slave
// port is published under a link in a private temporary folder, its commands are
// recorded there, and its control lines go to its standard input.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quellon {

struct SimStats {
    uint64_t sent = 0;  // frames written to the port
    uint64_t cmds = 0;  // command lines received
};

class SimProcess {
public:
    // args are the simulator's options; --link and --record are added (in a
    // temporary folder) unless given. Waits up to 5 s for the simulator to be
    // ready and throws std::runtime_error if it is not.
    explicit SimProcess(std::vector<std::string> args);
    ~SimProcess();  // ends the simulator (SIGTERM, then SIGKILL) and removes its files
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& linkPath() const { return linkPath_; }
    const std::string& slavePath() const { return slavePath_; }
    const std::string& recordPath() const { return recordPath_; }
    pid_t pid() const { return pid_; }

    // One control line to the simulator ("fault noack", "rate 200", "hangup", ...).
    bool send(const std::string& line);
    // Asks for the counters and waits for them.
    std::optional<SimStats> readStats(int timeoutMs = 5000);
    // The recorded commands, one per line, as the simulator wrote them so far.
    std::vector<std::string> recordedCommands() const;
    // After a hang-up with --reopen: waits for the next "READY" and takes its slave path.
    bool waitReady(int timeoutMs = 5000);
    // "quit", then the counters the simulator prints on its way out.
    std::optional<SimStats> stop(int timeoutMs = 5000);
    // Whether the simulator process is still alive.
    bool running();

private:
    std::optional<std::string> readLine(int timeoutMs);
    static std::optional<SimStats> parseStats(const std::string& line);
    void reap(int timeoutMs);

    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int stdoutFd_ = -1;
    std::string outBuf_;
    std::string tempDir_;
    std::string linkPath_;
    std::string slavePath_;
    std::string recordPath_;
};

}  // namespace quellon
