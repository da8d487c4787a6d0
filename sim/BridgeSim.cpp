#include "sim/BridgeSim.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

namespace quellon::sim {

namespace {

struct FaultName {
    const char* name;
    unsigned bit;
};
constexpr std::array<FaultName, 10> kFaultNames{{
    {"silence", FaultSilence},
    {"noack", FaultNoAck},
    {"lateack", FaultLateAck},
    {"garbage", FaultGarbage},
    {"truncated", FaultTruncated},
    {"nocr", FaultNoCr},
    {"oldfw", FaultOldFw},
    {"shortid", FaultShortId},
    {"slow", FaultSlow},
    {"hangup", FaultHangup},
}};

// Five zero-padded digits; the field cannot carry anything outside 0..99999.
std::string pad5(int v) {
    v = std::clamp(v, 0, 99999);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%05d", v);
    return buf;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A parameter value: one to five decimal digits and nothing else.
bool parseValue(std::string_view text, int& out) {
    if (text.empty() || text.size() > 5) return false;
    int v = 0;
    for (char c : text) {
        if (!isDigit(c)) return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

// 0 -> 1 -> 0 over one period.
double triangle(double x) {
    double f = x - std::floor(x);
    return 1.0 - std::fabs(2.0 * f - 1.0);
}

int clampCount(double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 1023); }

void putLe16(std::string& s, std::size_t at, int v) {
    // The host rejects fields above 32767, so the bridge never sends one.
    v = std::clamp(v, 0, 32767);
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

}  // namespace

unsigned faultByName(std::string_view name) {
    for (const auto& f : kFaultNames)
        if (name == f.name) return f.bit;
    return 0;
}

std::string faultNames() {
    std::string s;
    for (const auto& f : kFaultNames) {
        if (!s.empty()) s += '|';
        s += f.name;
    }
    return s;
}

int powerMultiplier(char code) {
    switch (code) {
        case '0': return 10;
        case '1': return 20;
        case '2': return 40;
        case '3': return 100;
        case '4': return 200;
        case '5': return 400;
        case '7': return 50;
        default: return 20;
    }
}

int peakPower(int count, int multiplier, int nFwdMin) {
    if (count <= nFwdMin) return 0;
    return static_cast<int>(static_cast<int64_t>(count) * count * multiplier / 20736);
}

std::string encodeFrame(char channel, const Counts& c, int pwrDirMax, int pwrRefMax,
                        uint8_t frameScale) {
    std::string f(kFrameSize, '\0');
    f[0] = ':';
    f[1] = channel;
    putLe16(f, 2, c.nDir);
    putLe16(f, 4, c.nRev);
    putLe16(f, 6, c.nDirMax);
    putLe16(f, 8, c.nRevMax);
    putLe16(f, 10, pwrDirMax);
    putLe16(f, 12, pwrRefMax);
    f[18] = static_cast<char>(frameScale);
    f[19] = '\r';
    return f;
}

BridgeSim::BridgeSim(Options options)
    : opt_(std::move(options)),
      faults_(opt_.faults),
      rng_(opt_.seed),
      liveRng_(opt_.seed ^ 0x9e3779b9u) {
    opt_.rate = std::clamp(opt_.rate, 1, opt_.maxRate());
}

void BridgeSim::receive(std::string_view bytes, Nanos now) {
    for (char c : bytes) {
        if (c == '\r') {
            if (!line_.empty()) {
                ++linesReceived_;
                lines_.push_back(line_);
                handleLine(line_, now);
            }
            line_.clear();
            lineOverflow_ = false;
        } else if (line_.size() < kMaxLine) {
            line_ += c;
        } else {
            lineOverflow_ = true;  // the tail of an overlong line is dropped
        }
    }
}

std::vector<std::string> BridgeSim::takeLines() { return std::exchange(lines_, {}); }

void BridgeSim::handleLine(const std::string& line, Nanos now) {
    if (faults_ & FaultSilence) return;
    if (line.size() < 3 || line[0] != ':' || !isDigit(line[1]) || !isDigit(line[2])) return;
    const int code = (line[1] - '0') * 10 + (line[2] - '0');
    const std::string_view value = std::string_view(line).substr(3);

    auto setParam = [&](int& target) {
        int v = 0;
        if (!parseValue(value, v)) return;  // a value the bridge cannot read gets no answer
        target = v;
        reply(":ACK\r", now, true);
    };

    switch (code) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 30:
        case 31:
        case 32:
        case 33:
        case 34:
        case 35: reply(":ACK\r", now, true); break;
        case 10: reply(":ACK\r", now, true, Action::Stop); break;
        case 11: reply(":ACK\r", now, true, Action::Start); break;
        case 16: reply(identificationReply() + "\r", now, false); break;
        case 17: reply(":" + params_.scaleCodes + "\r", now, false); break;
        case 20: setParam(params_.nFwdMin); break;
        case 21: setParam(params_.maxSwrA); break;
        case 22: setParam(params_.maxSwrB); break;
        case 23: setParam(params_.delay1); break;
        case 24: setParam(params_.delay2); break;
        case 25: setParam(params_.scaleMinA); break;
        case 26: setParam(params_.scaleMaxA); break;
        case 27: setParam(params_.scaleMinB); break;
        case 28: setParam(params_.scaleMaxB); break;
        case 29: setParam(params_.scaleDelay); break;
        case 37:
            if (value.size() == 4 && std::all_of(value.begin(), value.end(), isDigit)) {
                params_.scaleCodes = std::string(value);
                reply(":ACK\r", now, true);
            }
            break;
        case 38: setParam(params_.expandA); break;
        case 39: setParam(params_.expandB); break;
        default: break;  // not a command of this bridge: no answer
    }
}

void BridgeSim::reply(std::string bytes, Nanos now, bool isAck, Action action) {
    if (isAck && (faults_ & FaultNoAck)) {
        apply(action, now);
        return;
    }
    Nanos delay = 0;
    if (isAck && (faults_ & FaultLateAck)) delay = kLateAckDelay;
    if (faults_ & FaultSlow) delay = std::max(delay, kSlowDelay);
    Nanos due = now + delay;
    // Replies leave in the order their commands came in.
    if (!pending_.empty()) due = std::max(due, pending_.back().due);
    pending_.push_back({due, std::move(bytes), action});
}

void BridgeSim::apply(Action action, Nanos now) {
    if (action == Action::Start) startStream(now);
    if (action == Action::Stop) streaming_ = false;
}

void BridgeSim::startStream(Nanos now) {
    if (streaming_) return;  // a repeated ":11" keeps the running stream as it is
    streaming_ = true;
    // The first frame follows the acknowledgement by one period.
    streamStart_ = now;
    rateBase_ = now + kSecond / opt_.rate;
    slot_ = rateBaseSlot_ = 0;
    streamFrames_ = 0;
}

Nanos BridgeSim::slotTime(uint64_t slot) const {
    return rateBase_ + static_cast<Nanos>((slot - rateBaseSlot_) * static_cast<uint64_t>(kSecond) /
                                          static_cast<uint64_t>(opt_.rate));
}

void BridgeSim::setRate(int rate, Nanos now) {
    rate = std::clamp(rate, 1, opt_.maxRate());
    if (streaming_) {
        // The next frame keeps its time; the ones after it follow the new period.
        Nanos next = std::max(slotTime(slot_), now);
        rateBase_ = next;
        rateBaseSlot_ = slot_;
    }
    opt_.rate = rate;
}

bool BridgeSim::framesLeft() const {
    return opt_.frameLimit < 0 || produced_ < static_cast<uint64_t>(opt_.frameLimit);
}

Nanos BridgeSim::nextDue() const {
    Nanos due = kNever;
    if (!pending_.empty()) due = pending_.front().due;
    if (streaming_ && framesLeft()) due = std::min(due, slotTime(slot_));
    return due;
}

std::vector<Segment> BridgeSim::poll(Nanos now, bool room) {
    std::vector<Segment> out;
    const bool silent = (faults_ & FaultSilence) != 0;
    // Bounds one call's work after a long stall; the schedule then starts afresh.
    int budget = 1024;
    // The line drops after its last frame: a poll that comes late (a busy
    // machine) must not put out the frames that fell due behind it.
    while (budget-- > 0 && !hangupWanted()) {
        const Nanos replyDue = pending_.empty() ? kNever : pending_.front().due;
        const Nanos frameDue = (streaming_ && framesLeft()) ? slotTime(slot_) : kNever;
        if (replyDue <= now && replyDue <= frameDue) {
            Pending p = std::move(pending_.front());
            pending_.pop_front();
            if (silent) continue;
            out.push_back({std::move(p.bytes), false});
            apply(p.action, p.due);
        } else if (frameDue <= now) {
            if (now - frameDue > kSecond) {
                // Far behind (the process was stopped, or the host stalled the line):
                // skip what was missed rather than sending it in a burst.
                rateBase_ = now;
                rateBaseSlot_ = slot_;
            }
            if (room && !silent) makeFrame(slot_, out);
            ++slot_;
        } else {
            break;
        }
    }
    if (budget < 0 && streaming_) {
        rateBase_ = now;
        rateBaseSlot_ = slot_;
    }
    return out;
}

void BridgeSim::makeFrame(uint64_t slot, std::vector<Segment>& out) {
    const char channel = (slot % 2 == 0) ? 'A' : 'B';
    const double seconds = static_cast<double>(slotTime(slot) - streamStart_) / kSecond;
    const Counts c = opt_.live    ? liveCounts(seconds, channel)
                     : opt_.sweep ? countsAt(seconds, channel)
                                  : opt_.fixed;
    const char code = params_.scaleCodes[channel == 'A' ? 0 : 2];
    const int m = powerMultiplier(code);
    std::string frame = encodeFrame(channel, c, peakPower(c.nDirMax, m, params_.nFwdMin),
                                    peakPower(c.nRevMax, m, params_.nFwdMin), 0);

    if ((faults_ & FaultGarbage) && slot % 50 == 25) {
        std::uniform_int_distribution<int> len(1, 8), byte(0, 255);
        std::string junk(static_cast<std::size_t>(len(rng_)), '\0');
        for (char& b : junk) b = static_cast<char>(byte(rng_));
        out.push_back({std::move(junk), false});
    }
    if ((faults_ & FaultTruncated) && slot % 37 == 36) {
        std::uniform_int_distribution<int> len(4, 15);
        frame.resize(static_cast<std::size_t>(len(rng_)));
    } else if ((faults_ & FaultNoCr) && slot % 29 == 28) {
        frame.resize(kFrameSize - 1);
    }
    out.push_back({std::move(frame), true});
    ++produced_;
    ++streamFrames_;
}

Counts BridgeSim::countsAt(double seconds, char channel) const {
    Counts c;
    double ratio;
    if (channel == 'A') {
        c.nDir = clampCount(1023.0 * triangle(seconds / 10.0));
        ratio = 0.05 + 0.45 * triangle(seconds / 17.0 + 0.25);
    } else {
        c.nDir = clampCount(900.0 * triangle((seconds + 3.0) / 7.0));
        ratio = 0.02 + 0.6 * triangle(seconds / 23.0);
    }
    c.nRev = clampCount(c.nDir * ratio);
    c.nDirMax = std::min(1023, c.nDir + 12);
    c.nRevMax = std::min(1023, c.nRev + 6);
    return c;
}

Counts BridgeSim::liveCounts(double seconds, char channel) {
    const int ch = channel == 'A' ? 0 : 1;
    const Counts base = countsAt(seconds, channel);
    std::uniform_int_distribution<int> noise(-12, 12), peak(1, 16);
    // Forward power stays well above the detector's threshold so that every
    // shown value moves, not only the counts.
    Counts c;
    c.nDir = std::clamp(96 + base.nDir * 880 / 1023 + noise(liveRng_), 64, 1000);
    c.nRev = std::clamp(base.nRev * 880 / 1023 + 8 + noise(liveRng_), 1, c.nDir - 8);
    c.nDirMax = std::min(1023, c.nDir + peak(liveRng_));
    c.nRevMax = std::min(1023, c.nRev + peak(liveRng_));
    if (haveLive_[ch]) {
        // Noise may land on the same value twice; a live count never sits still.
        const Counts& last = lastLive_[ch];
        auto differ = [](int& v, int prev, int hi) {
            if (v == prev) v = v < hi ? v + 1 : v - 1;
        };
        differ(c.nDir, last.nDir, 1000);
        differ(c.nRev, last.nRev, c.nDir - 1);
        differ(c.nDirMax, last.nDirMax, 1023);
        differ(c.nRevMax, last.nRevMax, 1023);
    }
    lastLive_[ch] = c;
    haveLive_[ch] = true;
    return c;
}

bool BridgeSim::hangupWanted() const {
    return (faults_ & FaultHangup) && streaming_ && streamFrames_ >= kHangupAfterFrames;
}

void BridgeSim::lineDropped() {
    streaming_ = false;
    pending_.clear();
    line_.clear();
    lineOverflow_ = false;
}

std::string BridgeSim::identificationReply() const {
    std::string fw = (faults_ & FaultOldFw) ? std::string("1.07") : params_.firmware;
    fw.resize(4, ' ');
    const Params& p = params_;
    std::string s = ":wexlo," + fw;
    for (int v : {p.nFwdMin, p.delay1, p.delay2, p.maxSwrA, p.maxSwrB, p.scaleMinA, p.scaleMaxA,
                  p.scaleMinB, p.scaleMaxB, p.scaleDelay, p.expandA, p.expandB, p.extra})
        s += "," + pad5(v);
    if (faults_ & FaultShortId) s.resize(kShortIdLength);
    return s;
}

std::string printable(std::string_view line) {
    std::string s;
    for (unsigned char c : line) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            s += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            s += buf;
        }
    }
    return s;
}

}  // namespace quellon::sim
