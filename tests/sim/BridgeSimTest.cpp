// The simulated bridge without a port: commands in, timed output out, on a clock
// the test moves by hand.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FrameOf.h"
#include "sim/BridgeSim.h"

using namespace quellon::sim;

namespace {

std::string joined(const std::vector<Segment>& segs) {
    std::string s;
    for (const auto& g : segs) s += g.bytes;
    return s;
}

// Sends one command at `now` and returns what is due at once.
std::string talk(BridgeSim& sim, const std::string& cmd, Nanos now = 0) {
    sim.receive(cmd, now);
    return joined(sim.poll(now));
}

Options fixedOptions(int rate = 100, unsigned faults = 0) {
    Options o;
    o.rate = rate;
    o.sweep = false;
    o.fixed = {600, 120, 620, 130};
    o.faults = faults;
    return o;
}

std::vector<std::string> frames(BridgeSim& sim, Nanos now, bool room = true) {
    std::vector<std::string> f;
    for (const auto& s : sim.poll(now, room))
        if (s.frame) f.push_back(s.bytes);
    return f;
}

}  // namespace

TEST(BridgeSimCommands, AcknowledgesEveryCommandOfTheTable) {
    BridgeSim sim(Options{});
    const char* cmds[] = {":00",      ":01",      ":02",      ":03",      ":04",      ":05",
                          ":06",      ":30",      ":31",      ":32",      ":33",      ":34",
                          ":35",      ":2000030", ":2100250", ":2200250", ":2300040", ":2400100",
                          ":2500800", ":2600950", ":2700700", ":2801000", ":2900010", ":371234",
                          ":3800512", ":3900512", ":11",      ":10"};
    for (const char* c : cmds) EXPECT_EQ(talk(sim, std::string(c) + "\r"), ":ACK\r") << c;
    EXPECT_EQ(sim.linesReceived(), std::size(cmds));
}

TEST(BridgeSimCommands, IgnoresWhatItCannotRead) {
    BridgeSim sim(Options{});
    for (const char* c : {":12\r", ":40\r", "16\r", ":1\r", ":x6\r", ":21abc\r", ":21123456\r",
                          ":21\r", ":3712\r", ":37123a\r", "\r"})
        EXPECT_EQ(talk(sim, c), "") << c;
    EXPECT_EQ(sim.params().maxSwrA, 300);
    EXPECT_EQ(sim.params().scaleCodes, "1414");
    EXPECT_EQ(sim.takeLines().size(), 10u);  // an empty line is no command
}

TEST(BridgeSimCommands, OverlongLineIsCutAndTheNextCommandStillWorks) {
    BridgeSim sim(Options{});
    sim.receive(std::string(5000, 'x'), 0);
    EXPECT_EQ(talk(sim, "\r:17\r"), ":1414\r");
    const auto lines = sim.takeLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), kMaxLine);
    EXPECT_EQ(lines[1], ":17");
}

TEST(BridgeSimCommands, IdentificationReplyAndSetCommands) {
    BridgeSim sim(Options{});
    EXPECT_EQ(talk(sim, ":16\r"),
              ":wexlo,1.10,00025,00032,00128,00300,00300,00750,00900,00750,"
              "00900,00032,00000,00000,00000\r");
    // Command, 1-based position of its field in the identification reply.
    const std::pair<const char*, std::size_t> rows[] = {
        {":2000030", 13}, {":2300040", 19}, {":2400100", 25}, {":2100250", 31},
        {":2200275", 37}, {":2500800", 43}, {":2600950", 49}, {":2700700", 55},
        {":2810000", 61}, {":2900010", 67}, {":3800512", 73}, {":3900512", 79}};
    for (const auto& [cmd, pos] : rows) {
        ASSERT_EQ(talk(sim, std::string(cmd) + "\r"), ":ACK\r");
        EXPECT_EQ(talk(sim, ":16\r").substr(pos - 1, 5), std::string(cmd).substr(3)) << cmd;
    }
    EXPECT_EQ(talk(sim, ":370347\r"), ":ACK\r");
    EXPECT_EQ(talk(sim, ":17\r"), ":0347\r");
}

TEST(BridgeSimStream, FramesHaveTheirShapeAndAlternate) {
    BridgeSim sim(fixedOptions(100));
    EXPECT_EQ(talk(sim, ":11\r"), ":ACK\r");
    const auto f = frames(sim, 105 * kMs);
    ASSERT_EQ(f.size(), 10u);  // one period after the ACK, then every 10 ms: 10 .. 100 ms
    for (std::size_t i = 0; i < f.size(); ++i)
        EXPECT_EQ(f[i], frameOf(i % 2 ? 'B' : 'A', 600, 120, 620, 130)) << i;
    EXPECT_EQ(talk(sim, ":10\r", 105 * kMs), ":ACK\r");
    EXPECT_TRUE(sim.poll(10 * kSecond).empty());
    EXPECT_EQ(sim.nextDue(), kNever);
}

TEST(BridgeSimStream, PeakPowersFollowScaleCodesAndMinimumInput) {
    EXPECT_EQ(peakPower(1018, 10, 25), 499);
    EXPECT_EQ(peakPower(1018, 20, 25), 999);
    EXPECT_EQ(peakPower(1023, 400, 25), 20187);
    EXPECT_EQ(peakPower(25, 20, 25), 0);  // at the minimum: no power, as the host computes it
    EXPECT_EQ(powerMultiplier('7'), 50);
    EXPECT_EQ(powerMultiplier('6'), 20);

    Options o = fixedOptions();
    o.fixed = {1018, 20, 1018, 20};
    BridgeSim sim(o);
    talk(sim, ":370030\r");  // A scale 1 "50W", B scale 1 "500W"
    talk(sim, ":11\r");
    const auto f = frames(sim, 25 * kMs);
    ASSERT_EQ(f.size(), 2u);
    auto le16 = [](const std::string& s, int at) {
        return static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8);
    };
    EXPECT_EQ(le16(f[0], 10), 499);
    EXPECT_EQ(le16(f[0], 12), 0);
    EXPECT_EQ(le16(f[1], 10), 1018 * 1018 * 100 / 20736);
}

TEST(BridgeSimStream, LongRunRateIsExactWhateverThePollTimes) {
    for (int rate : {1, 7, 100, 333, kMaxRate}) {
        BridgeSim sim(fixedOptions(rate));
        talk(sim, ":11\r", 0);
        uint64_t n = 0;
        // Irregular, sometimes late polls, as a loaded machine would make them.
        Nanos t = 0;
        unsigned step = 1;
        while (t < 20 * kSecond) {
            step = (step * 1103515245u + 12345u) % 7919u;
            t = std::min<Nanos>(t + static_cast<Nanos>(step) * 2000, 20 * kSecond);
            n += frames(sim, t).size();
        }
        EXPECT_EQ(n, static_cast<uint64_t>(20 * rate)) << rate;  // at k / rate, k = 1 .. 20 * rate
        EXPECT_EQ(sim.framesProduced(), n);
    }
}

TEST(BridgeSimStream, RateChangeAndStallKeepTheSchedule) {
    BridgeSim sim(fixedOptions(100));
    talk(sim, ":11\r", 0);
    EXPECT_EQ(frames(sim, 995 * kMs).size(), 99u);
    sim.setRate(500, 995 * kMs);  // next slot stays at 1000 ms, then every 2 ms
    EXPECT_EQ(frames(sim, 1999 * kMs).size(), 500u);
    // A host that does not read: due frames are skipped, not queued up.
    EXPECT_TRUE(frames(sim, 2099 * kMs, false).empty());
    EXPECT_EQ(frames(sim, 2199 * kMs).size(), 50u);
    // After a long stop the stream goes on from now instead of bursting.
    EXPECT_LE(frames(sim, 60 * kSecond).size(), 1u);
    EXPECT_EQ(frames(sim, 60 * kSecond + 9 * kMs).size(), 4u);
    sim.setRate(100000, 0);
    EXPECT_EQ(sim.rate(), kMaxRate);
}

TEST(BridgeSimStream, FrameLimitEndsTheStreamForGood) {
    Options o = fixedOptions(100);
    o.frameLimit = 7;
    BridgeSim sim(o);
    talk(sim, ":11\r", 0);
    std::size_t n = 0;
    for (Nanos t = 0; t <= 5 * kSecond; t += 50 * kMs) n += frames(sim, t).size();
    EXPECT_EQ(n, 7u);
    talk(sim, ":10\r", 5 * kSecond);
    EXPECT_EQ(talk(sim, ":11\r", 6 * kSecond), ":ACK\r");
    EXPECT_TRUE(frames(sim, 9 * kSecond).empty());
    EXPECT_EQ(sim.nextDue(), kNever);
}

TEST(BridgeSimStream, SweepStaysInRangeAndChannelsDiffer) {
    BridgeSim sim(Options{});
    bool differ = false, swrHigh = false, swrLow = false;
    int maxDir = 0;
    for (double t = 0; t < 60; t += 0.05) {
        const Counts a = sim.countsAt(t, 'A'), b = sim.countsAt(t, 'B');
        for (const Counts& c : {a, b}) {
            ASSERT_TRUE(c.nDir >= 0 && c.nRev <= c.nDir && c.nDir <= c.nDirMax &&
                        c.nDirMax <= 1023 && c.nRev <= c.nRevMax)
                << t << ": " << c.nDir << " " << c.nRev << " " << c.nDirMax << " " << c.nRevMax;
            const double swr = double(c.nDirMax + c.nRevMax) / (c.nDirMax - c.nRevMax);
            swrHigh |= c.nDir > 200 && swr > 3.0;
            swrLow |= c.nDir > 200 && swr < 1.5;
        }
        differ |= a.nDir != b.nDir;
        maxDir = std::max(maxDir, a.nDir);
    }
    EXPECT_TRUE(differ && swrHigh && swrLow);
    EXPECT_GE(maxDir, 1015);  // channel A comes near full scale
}

TEST(BridgeSimFaults, NoAckObeysSilently) {
    BridgeSim sim(fixedOptions(100, FaultNoAck));
    EXPECT_EQ(talk(sim, ":2100250\r"), "");
    EXPECT_EQ(talk(sim, ":16\r").substr(30, 5), "00250");  // obeyed; replies still come
    EXPECT_EQ(talk(sim, ":11\r"), "");
    const auto out = sim.poll(10 * kMs);
    ASSERT_EQ(out.size(), 1u);  // the first frame, no acknowledgement before it
    EXPECT_TRUE(out[0].frame);
}

TEST(BridgeSimFaults, LateAckAndSlowRepliesKeepTheirOrder) {
    BridgeSim sim(fixedOptions(100, FaultLateAck));
    sim.receive(":11\r:17\r", 0);
    EXPECT_TRUE(sim.poll(249 * kMs).empty());
    EXPECT_FALSE(sim.streaming());  // the stream starts once acknowledged
    EXPECT_EQ(sim.nextDue(), kLateAckDelay);
    const auto out = sim.poll(kLateAckDelay);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes, ":ACK\r");
    EXPECT_EQ(out[1].bytes, ":1414\r");  // queued behind the late ACK
    EXPECT_EQ(frames(sim, kLateAckDelay + 10 * kMs).size(), 1u);

    BridgeSim slow(fixedOptions(100, FaultSlow));
    slow.receive(":16\r", kSecond);
    EXPECT_TRUE(slow.poll(kSecond + kSlowDelay - 1).empty());
    EXPECT_EQ(joined(slow.poll(kSecond + kSlowDelay)).substr(0, 6), ":wexlo");
}

TEST(BridgeSimFaults, SilenceAnswersNothingAndSendsNothing) {
    BridgeSim sim(fixedOptions());
    talk(sim, ":11\r", 0);
    sim.setFaults(FaultSilence);
    EXPECT_TRUE(sim.poll(kSecond).empty());
    EXPECT_EQ(talk(sim, ":16\r", kSecond), "");
    EXPECT_EQ(sim.linesReceived(), 2u);  // still heard and recorded
    sim.setFaults(0);
    EXPECT_EQ(talk(sim, ":17\r", kSecond), ":1414\r");
}

TEST(BridgeSimFaults, DamagedFramesAndGarbage) {
    BridgeSim sim(fixedOptions(kMaxRate, FaultTruncated | FaultNoCr | FaultGarbage));
    talk(sim, ":11\r", 0);
    int shortFrames = 0, noCr = 0, junk = 0, good = 0;
    for (const auto& s : sim.poll(kSecond)) {  // slots 0 .. 575
        const std::size_t n = s.bytes.size();
        if (!s.frame) {
            ++junk;
            EXPECT_TRUE(n >= 1 && n <= 8) << n;
        } else if (n == kFrameSize) {
            ++good;
        } else if (n == kFrameSize - 1) {
            ++noCr;
            EXPECT_EQ(s.bytes[0], ':');
        } else {
            ++shortFrames;
            EXPECT_GE(n, 4u);
        }
    }
    EXPECT_EQ(shortFrames, 15);  // slots 36, 73, ..., 554
    EXPECT_GT(noCr, 10);
    EXPECT_EQ(junk, 12);  // slots 25, 75, ..., 575
    EXPECT_EQ(good + noCr + shortFrames, 576);
    EXPECT_EQ(sim.framesProduced(), 576u);
}

TEST(BridgeSimFaults, HangupComesMidStream) {
    BridgeSim sim(fixedOptions(100, FaultHangup));
    talk(sim, ":11\r", 0);
    sim.poll(490 * kMs);
    EXPECT_FALSE(sim.hangupWanted());
    sim.poll(500 * kMs);
    EXPECT_TRUE(sim.hangupWanted());
    sim.lineDropped();
    EXPECT_FALSE(sim.streaming() || sim.hangupWanted());
}

TEST(BridgeSimRecord, LinesStayPrintable) {
    EXPECT_EQ(printable(":2100250"), ":2100250");
    EXPECT_EQ(printable(std::string("\n:1\x01\xff\\", 6)), "\\x0A:1\\x01\\xFF\\x5C");
}
