// The simulated bridge without a port: commands in, timed output out, on a clock
// the test moves by hand.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/BridgeSim.h"

using namespace quellon::sim;

namespace {

std::string joined(const std::vector<Segment>& segs) {
    std::string s;
    for (const auto& g : segs) s += g.bytes;
    return s;
}

int le16(const std::string& f, std::size_t at) {
    return static_cast<unsigned char>(f[at]) | (static_cast<unsigned char>(f[at + 1]) << 8);
}

// Sends one command at `now` and returns what is due at once.
std::string talk(BridgeSim& sim, const std::string& cmd, Nanos now = 0) {
    sim.receive(cmd, now);
    return joined(sim.poll(now));
}

Options fixedOptions(int rate = 100) {
    Options o;
    o.rate = rate;
    o.sweep = false;
    o.fixed = {600, 120, 620, 130};
    return o;
}

std::vector<Segment> framesOnly(const std::vector<Segment>& segs) {
    std::vector<Segment> f;
    for (const auto& s : segs)
        if (s.frame) f.push_back(s);
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
                          ":21\r", ":3712\r", ":37123a\r", "\r"}) {
        EXPECT_EQ(talk(sim, c), "") << c;
    }
    EXPECT_EQ(sim.params().maxSwrA, 300);
    EXPECT_EQ(sim.params().scaleCodes, "1414");
    // An empty line is no command; the others were received.
    EXPECT_EQ(sim.takeLines().size(), 10u);
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

TEST(BridgeSimCommands, IdentificationReplyLayoutAndDefaults) {
    BridgeSim sim(Options{});
    const std::string r = talk(sim, ":16\r");
    ASSERT_EQ(r.size(), 90u);
    EXPECT_EQ(r.back(), '\r');
    EXPECT_EQ(r.substr(0, 6), ":wexlo");
    EXPECT_EQ(r.substr(7, 4), "1.10");
    const char* expected[] = {"00025", "00032", "00128", "00300", "00300", "00750", "00900",
                              "00750", "00900", "00032", "00000", "00000", "00000"};
    for (std::size_t i = 0; i < 13; ++i)
        EXPECT_EQ(r.substr(12 + 6 * i, 5), expected[i]) << "field " << i;
}

TEST(BridgeSimCommands, SetCommandsShowInTheReplies) {
    BridgeSim sim(Options{});
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
    const auto frames = framesOnly(sim.poll(105 * kMs));
    ASSERT_EQ(frames.size(), 10u);  // one period after the ACK, then every 10 ms: 10 .. 100 ms
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const std::string& f = frames[i].bytes;
        ASSERT_EQ(f.size(), kFrameSize);
        EXPECT_EQ(f[0], ':');
        EXPECT_EQ(f[1], i % 2 == 0 ? 'A' : 'B');
        EXPECT_EQ(le16(f, 2), 600);
        EXPECT_EQ(le16(f, 4), 120);
        EXPECT_EQ(le16(f, 6), 620);
        EXPECT_EQ(le16(f, 8), 130);
        EXPECT_EQ(le16(f, 10), 620 * 620 * 20 / 20736);  // "100W": multiplier 20
        EXPECT_EQ(le16(f, 12), 130 * 130 * 20 / 20736);
        EXPECT_EQ(f.substr(14, 4), std::string(4, '\0'));
        EXPECT_EQ(f[18], 0);
        EXPECT_EQ(f[19], '\r');
    }
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
    const auto frames = framesOnly(sim.poll(25 * kMs));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(le16(frames[0].bytes, 10), 499);
    EXPECT_EQ(le16(frames[0].bytes, 12), 0);
    EXPECT_EQ(le16(frames[1].bytes, 10), 1018 * 1018 * 100 / 20736);
}

TEST(BridgeSimStream, LongRunRateIsExactWhateverThePollTimes) {
    for (int rate : {1, 7, 100, 333, kMaxRate}) {
        BridgeSim sim(fixedOptions(rate));
        talk(sim, ":11\r", 0);
        uint64_t frames = 0;
        // Irregular, sometimes late polls, as a loaded machine would make them.
        Nanos t = 0;
        unsigned step = 1;
        while (t < 20 * kSecond) {
            step = (step * 1103515245u + 12345u) % 7919u;
            t = std::min<Nanos>(t + static_cast<Nanos>(step) * 2000, 20 * kSecond);
            frames += framesOnly(sim.poll(t)).size();
        }
        // Frames at k / rate for k = 1 .. 20 * rate.
        EXPECT_EQ(frames, static_cast<uint64_t>(20 * rate)) << rate;
        EXPECT_EQ(sim.framesProduced(), frames);
    }
}

TEST(BridgeSimStream, RateChangeAndStallKeepTheSchedule) {
    BridgeSim sim(fixedOptions(100));
    talk(sim, ":11\r", 0);
    EXPECT_EQ(framesOnly(sim.poll(995 * kMs)).size(), 99u);
    sim.setRate(500, 995 * kMs);  // next slot stays at 1000 ms, then every 2 ms
    EXPECT_EQ(framesOnly(sim.poll(1999 * kMs)).size(), 500u);
    // A host that does not read: due frames are skipped, not queued up.
    EXPECT_TRUE(framesOnly(sim.poll(2099 * kMs, false)).empty());
    EXPECT_EQ(framesOnly(sim.poll(2199 * kMs)).size(), 50u);
    // After a long stop the stream goes on from now instead of bursting.
    EXPECT_LE(framesOnly(sim.poll(60 * kSecond)).size(), 1u);
    EXPECT_EQ(framesOnly(sim.poll(60 * kSecond + 9 * kMs)).size(), 4u);
    sim.setRate(100000, 0);
    EXPECT_EQ(sim.rate(), kMaxRate);
}

TEST(BridgeSimStream, FrameLimitEndsTheStreamForGood) {
    Options o = fixedOptions(100);
    o.frameLimit = 7;
    BridgeSim sim(o);
    talk(sim, ":11\r", 0);
    std::size_t frames = 0;
    for (Nanos t = 0; t <= 5 * kSecond; t += 50 * kMs) frames += framesOnly(sim.poll(t)).size();
    EXPECT_EQ(frames, 7u);
    talk(sim, ":10\r", 5 * kSecond);
    EXPECT_EQ(talk(sim, ":11\r", 6 * kSecond), ":ACK\r");
    EXPECT_TRUE(framesOnly(sim.poll(9 * kSecond)).empty());
    EXPECT_EQ(sim.nextDue(), kNever);
}

TEST(BridgeSimStream, SweepStaysInRangeAndChannelsDiffer) {
    BridgeSim sim(Options{});
    bool differ = false, swrHigh = false, swrLow = false;
    int maxDir = 0;
    for (double t = 0; t < 60; t += 0.05) {
        const Counts a = sim.countsAt(t, 'A'), b = sim.countsAt(t, 'B');
        for (const Counts& c : {a, b}) {
            ASSERT_GE(c.nDir, 0);
            ASSERT_LE(c.nDirMax, 1023);
            ASSERT_LE(c.nRev, c.nDir);
            ASSERT_GE(c.nDirMax, c.nDir);
            ASSERT_GE(c.nRevMax, c.nRev);
            if (c.nDir > 200) {
                const double swr = double(c.nDirMax + c.nRevMax) / (c.nDirMax - c.nRevMax);
                swrHigh |= swr > 3.0;
                swrLow |= swr < 1.5;
            }
        }
        differ |= a.nDir != b.nDir;
        maxDir = std::max(maxDir, a.nDir);
    }
    EXPECT_TRUE(differ);
    EXPECT_TRUE(swrHigh);
    EXPECT_TRUE(swrLow);
    EXPECT_GE(maxDir, 1015);
}

TEST(BridgeSimFaults, NoAckObeysSilently) {
    Options o = fixedOptions();
    o.faults = FaultNoAck;
    BridgeSim sim(o);
    EXPECT_EQ(talk(sim, ":2100250\r"), "");
    EXPECT_EQ(sim.params().maxSwrA, 250);
    EXPECT_EQ(talk(sim, ":16\r").substr(30, 5), "00250");  // replies still come
    sim.receive(":11\r", 0);
    EXPECT_TRUE(sim.poll(0).empty());
    const auto out = sim.poll(10 * kMs);
    ASSERT_EQ(out.size(), 1u);  // the first frame, no acknowledgement before it
    EXPECT_TRUE(out[0].frame);
    EXPECT_TRUE(sim.streaming());
}

TEST(BridgeSimFaults, LateAckAndSlowRepliesKeepTheirOrder) {
    Options o = fixedOptions();
    o.faults = FaultLateAck;
    BridgeSim sim(o);
    sim.receive(":11\r:17\r", 0);
    EXPECT_TRUE(sim.poll(249 * kMs).empty());
    EXPECT_FALSE(sim.streaming());  // the stream starts once acknowledged
    EXPECT_EQ(sim.nextDue(), kLateAckDelay);
    const auto out = sim.poll(kLateAckDelay);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes, ":ACK\r");
    EXPECT_EQ(out[1].bytes, ":1414\r");  // queued behind the late ACK
    EXPECT_TRUE(sim.streaming());
    EXPECT_EQ(framesOnly(sim.poll(kLateAckDelay + 10 * kMs)).size(), 1u);

    o.faults = FaultSlow;
    BridgeSim slow(o);
    slow.receive(":16\r", kSecond);
    EXPECT_TRUE(slow.poll(kSecond + kSlowDelay - 1).empty());
    EXPECT_EQ(joined(slow.poll(kSecond + kSlowDelay)).substr(0, 6), ":wexlo");
}

TEST(BridgeSimFaults, SilenceAnswersNothingAndSendsNothing) {
    Options o = fixedOptions();
    BridgeSim sim(o);
    talk(sim, ":11\r", 0);
    sim.setFaults(FaultSilence);
    EXPECT_TRUE(sim.poll(kSecond).empty());
    EXPECT_EQ(talk(sim, ":16\r", kSecond), "");
    EXPECT_EQ(sim.linesReceived(), 2u);  // still heard and recorded
    sim.setFaults(0);
    EXPECT_EQ(talk(sim, ":17\r", kSecond), ":1414\r");
}

TEST(BridgeSimFaults, DamagedFramesAndGarbage) {
    Options o = fixedOptions(kMaxRate);
    o.faults = FaultTruncated | FaultNoCr | FaultGarbage;
    BridgeSim sim(o);
    talk(sim, ":11\r", 0);
    const auto out = sim.poll(kSecond);  // slots 0 .. 575
    int shortFrames = 0, noCr = 0, junk = 0, good = 0;
    for (const auto& s : out) {
        if (!s.frame) {
            ++junk;
            EXPECT_GE(s.bytes.size(), 1u);
            EXPECT_LE(s.bytes.size(), 8u);
        } else if (s.bytes.size() == kFrameSize) {
            ++good;
        } else if (s.bytes.size() == kFrameSize - 1) {
            ++noCr;
            EXPECT_EQ(s.bytes[0], ':');
        } else {
            ++shortFrames;
            EXPECT_GE(s.bytes.size(), 4u);
        }
    }
    EXPECT_EQ(shortFrames, 15);  // slots 36, 73, ..., 554
    EXPECT_GT(noCr, 10);
    EXPECT_EQ(junk, 12);  // slots 25, 75, ..., 575
    EXPECT_EQ(good + noCr + shortFrames, 576);
    EXPECT_EQ(sim.framesProduced(), 576u);
}

TEST(BridgeSimFaults, HangupComesMidStream) {
    Options o = fixedOptions(100);
    o.faults = FaultHangup;
    BridgeSim sim(o);
    talk(sim, ":11\r", 0);
    sim.poll(490 * kMs);
    EXPECT_FALSE(sim.hangupWanted());
    sim.poll(500 * kMs);
    EXPECT_TRUE(sim.hangupWanted());
    sim.lineDropped();
    EXPECT_FALSE(sim.streaming());
    EXPECT_FALSE(sim.hangupWanted());
}

TEST(BridgeSimRecord, LinesStayPrintable) {
    EXPECT_EQ(printable(":2100250"), ":2100250");
    EXPECT_EQ(printable(std::string("\n:1\x01\xff\\", 6)), "\\x0A:1\\x01\\xFF\\x5C");
}
