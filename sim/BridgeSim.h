#pragma once
// The device side of the SWR bridge, without any I/O: bytes from the host go in,
// timed output segments come out. Time is handed in by the caller (nanoseconds of
// a monotonic clock), so the pacing and the fault delays can be tested without
// waiting for them.

#include <cstdint>
#include <deque>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace quellon::sim {

using Nanos = int64_t;
constexpr Nanos kMs = 1'000'000;
constexpr Nanos kSecond = 1'000'000'000;
constexpr Nanos kNever = std::numeric_limits<Nanos>::max();

// Highest frame rate a 115200 8N1 line can carry: 11520 bytes/s / 20 bytes.
constexpr int kMaxRate = 576;
constexpr std::size_t kFrameSize = 20;
// Longest command line kept; the rest of an overlong line is dropped.
constexpr std::size_t kMaxLine = 256;

enum Fault : unsigned {
    FaultSilence = 1u << 0,    // answers nothing, sends nothing
    FaultNoAck = 1u << 1,      // obeys, but never sends ":ACK"
    FaultLateAck = 1u << 2,    // ":ACK" only after 250 ms
    FaultGarbage = 1u << 3,    // random bytes between frames now and then
    FaultTruncated = 1u << 4,  // some frames cut short
    FaultNoCr = 1u << 5,       // some frames without their final CR
    FaultOldFw = 1u << 6,      // reports firmware 1.07
    FaultShortId = 1u << 7,    // identification reply cut to 40 characters
    FaultSlow = 1u << 8,       // every reply 3 s late
    FaultHangup = 1u << 9,     // the line goes away mid-stream
};

// Fault bit of a name ("noack", ...); 0 for an unknown name.
unsigned faultByName(std::string_view name);
// Names of all faults, for the help text.
std::string faultNames();

constexpr Nanos kLateAckDelay = 250 * kMs;
constexpr Nanos kSlowDelay = 3 * kSecond;
constexpr std::size_t kShortIdLength = 40;
// With FaultHangup, the line drops after this many frames of a stream.
constexpr uint64_t kHangupAfterFrames = 50;

struct Counts {
    int nDir = 600, nRev = 120, nDirMax = 620, nRevMax = 130;
};

struct Options {
    int rate = 100;     // frames per second, 1..maxRate()
    bool sweep = true;  // false: the fixed counts below on both channels
    Counts fixed;
    int64_t frameLimit = -1;  // stop streaming for good after this many frames; -1 no limit
    unsigned faults = 0;
    uint32_t seed = 1;
    // Counts that change on every frame, as a live signal's do: the sweep spread
    // over the upper part of the range with noise on top. Overrides sweep and fixed.
    bool live = false;
    // Up to four times what the line carries: a pseudo terminal has no baud
    // rate, so the program's reading can be put under stress beyond any bridge.
    bool overspeed = false;
    int maxRate() const { return overspeed ? 4 * kMaxRate : kMaxRate; }
};

// What the bridge holds, in the units it receives them (ScaleMin/Max in tenths).
struct Params {
    int nFwdMin = 25, delay1 = 32, delay2 = 128;
    int maxSwrA = 300, maxSwrB = 300;
    int scaleMinA = 750, scaleMaxA = 900, scaleMinB = 750, scaleMaxB = 900;
    int scaleDelay = 32;
    int expandA = 0, expandB = 0;
    int extra = 0;                    // the thirteenth value of the identification reply
    std::string scaleCodes = "1414";  // A scale 1, A scale 2, B scale 1, B scale 2
    std::string firmware = "1.10";
};

struct Segment {
    std::string bytes;
    bool frame = false;  // a measurement frame (complete or damaged by a fault)
};

// Power multiplier of a scale code (full-scale watts / 5); unknown codes are "100W".
int powerMultiplier(char code);
// Peak power in tenths of a watt as the host computes it from a count.
int peakPower(int count, int multiplier, int nFwdMin);
// One 20-byte frame.
std::string encodeFrame(char channel, const Counts& c, int pwrDirMax, int pwrRefMax,
                        uint8_t frameScale);
// A received line for the record file: bytes outside printable ASCII (and the
// backslash) as \xNN, so that every line stays one line.
std::string printable(std::string_view line);

class BridgeSim {
public:
    explicit BridgeSim(Options options);

    // Bytes from the host. Complete lines (CR stripped) are handled and kept for
    // takeLines(); replies are queued with their due time.
    void receive(std::string_view bytes, Nanos now);
    std::vector<std::string> takeLines();

    // Everything due by `now`, in order. With room false the frames that fall due
    // are skipped (the host is not reading); replies are still produced.
    std::vector<Segment> poll(Nanos now, bool room = true);
    // When poll() next has something to do (kNever when idle).
    Nanos nextDue() const;

    // The line should drop now (FaultHangup mid-stream).
    bool hangupWanted() const;
    // After the line was dropped: stream stopped, queued replies forgotten.
    void lineDropped();

    void setFaults(unsigned faults) { faults_ = faults; }
    // From now on every frame carries these counts (the fixed pattern).
    void setFixedCounts(const Counts& c) {
        opt_.fixed = c;
        opt_.sweep = opt_.live = false;
    }
    unsigned faults() const { return faults_; }
    void setRate(int rate, Nanos now);
    int maxRate() const { return opt_.maxRate(); }
    int rate() const { return opt_.rate; }

    bool streaming() const { return streaming_; }
    const Params& params() const { return params_; }
    uint64_t framesProduced() const { return produced_; }
    uint64_t linesReceived() const { return linesReceived_; }

    std::string identificationReply() const;  // without the CR
    // Counts a channel reports `seconds` after its stream started.
    Counts countsAt(double seconds, char channel) const;
    // Next counts of the live pattern: every field differs from the channel's last frame.
    Counts liveCounts(double seconds, char channel);

private:
    enum class Action { None, Start, Stop };
    struct Pending {
        Nanos due;
        std::string bytes;
        Action action;
    };

    void handleLine(const std::string& line, Nanos now);
    void reply(std::string bytes, Nanos now, bool isAck, Action action = Action::None);
    void apply(Action action, Nanos now);
    void startStream(Nanos now);
    Nanos slotTime(uint64_t slot) const;
    bool framesLeft() const;
    void makeFrame(uint64_t slot, std::vector<Segment>& out);

    Options opt_;
    Params params_;
    unsigned faults_;
    std::mt19937 rng_;
    // Apart from rng_, so that the faults' random bytes stay the same with either pattern.
    std::mt19937 liveRng_;
    Counts lastLive_[2];
    bool haveLive_[2] = {false, false};

    std::string line_;
    bool lineOverflow_ = false;
    std::vector<std::string> lines_;
    uint64_t linesReceived_ = 0;

    std::deque<Pending> pending_;

    bool streaming_ = false;
    Nanos streamStart_ = 0;
    Nanos rateBase_ = 0;  // time of slot rateBaseSlot_ at the current rate
    uint64_t rateBaseSlot_ = 0;
    uint64_t slot_ = 0;  // next slot of the current stream
    uint64_t streamFrames_ = 0;
    uint64_t produced_ = 0;
};

}  // namespace quellon::sim
