#pragma once
// The transceiver, reached through Hamlib on a thread of its own: every Hamlib
// call is made there, so a slow or dead rig never holds up the bridge's
// stream. The thread asks for the frequency and the mode every PollMs and keeps
// the latest answer for tag(); a rig that fails is closed and opened again
// after a back-off that doubles from one second up to thirty.
//
// The client only ever sets the PTT off (requestPttOff), never on.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/RigTag.h"
#include "rig/RigSettings.h"

namespace quellon::rig {

struct RigStatus {
    bool connected = false;
    int model = 0;
    std::string modelName;  // "Hamlib Dummy", ...; empty until the rig was opened
    RigTag tag;             // the latest frequency and mode (hz 0 while not connected)
    std::string error;      // Hamlib's words for the last failure
    int retryInSeconds = 0;
    uint64_t opens = 0;  // successful opens: a reconnect counts one more
};

// The result of a PTT-off request, handed to its callback on the rig's thread.
struct PttResult {
    bool ok = false;        // the rig took the command and reads back PTT off
    std::string error;      // why not
    int64_t elapsedMs = 0;  // from the request to the answer
};

class RigClient {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kFirstBackoffMs = 1000;
    static constexpr int kMaxBackoffMs = 30000;

    explicit RigClient(RigSettings s);
    ~RigClient();
    RigClient(const RigClient&) = delete;
    RigClient& operator=(const RigClient&) = delete;

    void start();
    void stop();

    // The latest frequency and mode; hz 0 when not known. Cheap: taken per frame.
    RigTag tag() const;
    RigStatus status() const;
    // One line for the status areas: "Rig: Hamlib Dummy (1), 14.074000 MHz USB",
    // "Rig: not answering; retrying in 4 s (...)", "Rig: connecting ...".
    std::string statusText() const;

    // Sets the rig's PTT off as soon as the thread is free (ahead of any poll),
    // opening the rig first when it is not connected; done is called on the
    // rig's thread with the outcome.
    void requestPttOff(std::function<void(const PttResult&)> done);

    // The polls answered since the start (benchmarks, tests).
    uint64_t polls() const { return polls_.load(); }

private:
    void run();
    bool open();
    void close();
    bool poll();
    void pttOff();
    void failed(const std::string& what, int code);

    const RigSettings s_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool stopping_ = false;
    std::vector<std::function<void(const PttResult&)>> pttDone_;  // one answer serves all
    Clock::time_point pttAsked_{};
    bool pttPending_ = false;
    RigStatus status_;
    std::thread thread_;
    std::atomic<uint64_t> polls_{0};

    // The rig's thread only.
    void* rig_ = nullptr;  // RIG*: Hamlib's header stays out of this one
    int backoffMs_ = kFirstBackoffMs;
    Clock::time_point nextTry_{};
    Clock::time_point nextPoll_{};
};

// "14.074000 MHz" of a frequency in hertz; "" for 0.
std::string frequencyText(int64_t hz);

}  // namespace quellon::rig
