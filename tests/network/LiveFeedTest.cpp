// The viewers' feed: what the publisher writes reads back to the same numbers
// and so to the same texts; whatever else arrives is refused with a reason.

#include <gtest/gtest.h>

#include "link/FrameDecoder.h"
#include "network/LiveFeed.h"
#include "tests/BridgeBytes.h"

using namespace quellon;

namespace {

std::string texts(const LiveChannel& c) {
    const ChannelReading& r = c.reading.withTexts();
    return r.channel + " " + r.pwrDirText + " " + r.pwrRefText + " " + r.pwrDirMaxText + " " +
           r.pwrRefMaxText + " " + r.swrText + " " + r.voltDirText + " " + r.voltRefText + " " +
           r.scaleMultText + " " + std::to_string(r.nDir) + " " + std::to_string(r.fullScalePower) +
           " " + std::to_string(c.count) + " " + std::to_string(c.epochMs) + " " + c.scaleCode +
           " " + c.scaleText + (c.alarm ? " alarm" : "");
}

LiveMessage sample() {
    BridgeParameters params;
    params.nFwdMin = 20;
    params.MaxSwrA = 300;
    params.MaxSwrB = 150;
    ScaleSlots slots{};
    slots[SlotB1] = {71, 10};  // the "50W" scale: one decimal
    const DecoderInputs in{params, slots};
    LiveMessage m;
    // Count, time, reading, scale code and text, alarm; B's count is the largest exact JSON number.
    m.ch[0] = {7, 1709647629250, {}, "A1", "100W", false};
    m.ch[0].reading =
        decodeReading(test::bytes(test::frame('A', {720, 144, 732, 150, 516, 21})), in);
    m.ch[1] = {9007199254740991, 1709647629251, {}, "B1", "50W", true};
    m.ch[1].reading =
        decodeReading(test::bytes(test::frame('B', {900, 500, 910, 520, 377, 123})), in);
    return m;
}

}  // namespace

TEST(LiveFeed, ReadsBackToTheSameNumbersAndTexts) {
    const LiveMessage sent = sample();
    ASSERT_EQ(sent.ch[1].reading.swrTextNow(), "HIG");
    LiveMessage got;
    ASSERT_EQ(parseLive(livePayload(sent), got), "");
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(texts(got.ch[i]), texts(sent.ch[i]));
    // A channel not read yet is left out, and the other still reads.
    LiveMessage onlyA = sent;
    onlyA.ch[1] = LiveChannel{};
    EXPECT_EQ(livePayload(onlyA).find("\"b\""), std::string::npos);
    ASSERT_EQ(parseLive(livePayload(onlyA), got), "");
    EXPECT_EQ(got.ch[1].count, 0u);

    BridgeInfo bridge;
    bridge.firmware = "1.08";
    bridge.params.nFwdMin = 20.5;
    bridge.params.ExpandB = 512;
    bridge.scaleTextB = {"50W", "500W"};
    bridge.descriptionA = "Dipole \"40m\" Süd";
    BridgeInfo back;
    ASSERT_EQ(parseBridge(bridgePayload(bridge), back), "");
    EXPECT_TRUE(sameBridgeInfo(back, bridge));
}

// Foreign, broken and hostile messages: refused whole, the reason names the field.
TEST(LiveFeed, BadMessagesAreRefusedWithAReason) {
    const std::string good = livePayload(sample());
    auto with = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        const auto at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return s.replace(at, from.size(), to);
    };
    const std::pair<std::string, const char*> cases[] = {
        {"", "not JSON"},
        {"[1,2]", "not a JSON object"},
        {"{}", "no channel"},
        {"{\"a\":3}", "not an object: a"},
        {std::string(kMaxLiveBytes + 1, ' '), "too long"},
        {with("\"n_dir\":", "\"n_dirx\":"), "missing a.n_dir"},
        {with("\"n_dir\":", "\"n_dir\":-"), "out of range: a.n_dir"},
        {with("\"n_dir\":", "\"n_dir\":1e9,\"x\":"), "out of range: a.n_dir"},
        {with("\"n_dir\":", "\"n_dir\":0.5,\"x\":"), "not a whole number: a.n_dir"},
        {with("\"n_dir\":", "\"n_dir\":\"7\",\"x\":"), "not a number: a.n_dir"},
        {with("\"swr_kind\":", "\"swr_kind\":4,\"x\":"), "out of range: a.swr_kind"},
        {with("\"count\":", "\"count\":0,\"x\":"), "out of range: a.count"},
        {with("\"alarm\":", "\"alarm\":1,\"x\":"), "not true or false: a.alarm"},
        {with("\"100W\"", "\"" + std::string(40, 'W') + "\""), "too long: a.scale_text"},
        {with("\"100W\"", "\"1\\u0000W\""), "control character in a.scale_text"},
    };
    for (const auto& [bytes, why] : cases) {
        LiveMessage out = sample();
        EXPECT_EQ(parseLive(bytes, out), why) << bytes.substr(0, 80);
        EXPECT_EQ(out.ch[0].count, 7u) << "left as it was";
    }
    BridgeInfo out;
    EXPECT_EQ(parseBridge("{\"firmware\":\"1.08\"}", out), "missing scale_codes_a");
    EXPECT_EQ(parseBridge(std::string(kMaxBridgeBytes + 1, ' '), out), "too long");
}
