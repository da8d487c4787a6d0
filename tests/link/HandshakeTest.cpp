#include <gtest/gtest.h>

#include <array>

#include "link/Handshake.h"
#include "link/ScaleCodes.h"
#include "platform/testing/FakePlatform.h"
#include "session/BridgeSession.h"

namespace quellon {
namespace {

using Fields = std::array<std::string, 13>;
const Fields kFields = {"00025", "00032", "00128", "00300", "00250", "00750", "00900",
                        "00755", "00905", "00032", "00000", "00512", "00007"};

// ":wexlo", separator, 4-char version, then thirteen 5-char fields after a separator each.
std::string bridgeInfo(const std::string& version, const Fields& fields = kFields) {
    std::string s = ":wexlo/" + version.substr(0, 4);
    for (const auto& f : fields) s += "|" + (f + "     ").substr(0, 5);
    return s;
}

using Params = std::array<double, 12>;
template <class... T>
Params values(T... v) {
    return {static_cast<double>(v)...};
}
Params params(const BridgeParameters& b) {
    return values(b.nFwdMin, b.Delay1, b.Delay2, b.MaxSwrA, b.MaxSwrB, b.ScaleMinA, b.ScaleMaxA,
                  b.ScaleMinB, b.ScaleMaxB, b.ScaleDelay, b.ExpandA, b.ExpandB);
}

struct CheckInfo : ::testing::Test {
    FakePlatform p;
    ModGlobal g;
};

TEST_F(CheckInfo, StoresEveryParameterByPosition) {
    ASSERT_EQ(bridgeInfo("1.10").size(), kBridgeInfoLength);
    // Without the thirteenth value, and without its separator too: still whole.
    for (size_t len : {kBridgeInfoLength, size_t{84}, size_t{83}}) {
        g = ModGlobal{};
        const std::string reply = bridgeInfo("1.10").substr(0, len);
        SCOPED_TRACE(reply);
        EXPECT_TRUE(CheckBridgeInfo(reply, g, p) && g.BridgeFirmwareVersion == "1.10");
        EXPECT_EQ(params(g.params), (Params{25, 32, 128, 300, 250, 75, 90, 75, 90, 32, 0, 512}));
    }
    // Leading numbers, nFwdMin kept fractional, halves to even; scale thresholds travel
    // ten times finer, rounded first and then truncated toward zero.
    const Fields odd = {"  2.5", "12.5a", "  2.5", "  3.5", "xyz",   "01234", "00005",
                        "-0015", "  9.5", "32767", "-2.5",  "00512", "00007"};
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.08", odd), g, p));
    EXPECT_EQ(params(g.params), (Params{2.5, 12.5, 2, 4, 0, 123, 0, -1, 1, 32767, -2, 512}));
    EXPECT_TRUE(p.messageBoxes.empty());
}

TEST_F(CheckInfo, RefusedRepliesStoreNothingAndOnlyOldFirmwareShowsAMessage) {
    g.params.MaxSwrA = 111;
    g.BridgeFirmwareVersion = "old";
    const std::string full = bridgeInfo("1.10");
    std::vector<std::string> replies = {full, "NAK Timeout", ""};
    replies[0][1] = 'W';  // wrong prefix
    // Cut inside ExpandB, the last field the program reads: cannot be read by position.
    for (size_t len : {size_t{50}, size_t{82}}) replies.push_back(full.substr(0, len));
    // A value outside its range refuses the whole reply.
    for (const auto& [index, text] :
         {std::pair<size_t, const char*>{2, "32768"}, {10, "-4e04"}, {0, "9e999"}, {5, "9e+99"}}) {
        Fields f = kFields;
        f[index] = text;
        replies.push_back(bridgeInfo("1.10", f));
    }
    for (const std::string& reply : replies) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(CheckBridgeInfo(reply, g, p));
        EXPECT_EQ(std::tuple(g.params.MaxSwrA, g.BridgeFirmwareVersion), std::tuple(111, "old"));
    }
    EXPECT_TRUE(p.messageBoxes.empty());
    // Firmware 0 (no number, or nothing after the prefix) and 1.07, whole or cut short;
    // a cut reply still stores nothing.
    for (const std::string& reply : {std::string(":wexlo"), bridgeInfo("1.07").substr(0, 30),
                                     bridgeInfo("abcd"), bridgeInfo("1.07")}) {
        p.messageBoxes.clear();
        EXPECT_FALSE(CheckBridgeInfo(reply, g, p)) << reply;
        EXPECT_TRUE(reply.size() >= kBridgeInfoUsedLength || g.BridgeFirmwareVersion == "old");
        ASSERT_EQ(p.messageBoxes.size(), 1u);
        EXPECT_EQ(p.messageBoxes[0].text, "Please upgrade the f/w of the Bridge to v1.08 or later");
        EXPECT_EQ(p.messageBoxes[0].title, "Quellon by WEXLO");
    }
}

TEST(ScaleCodes, EveryTextHasItsCodeAndEveryCodeItsRange) {
    const std::tuple<const char*, const char*, int, int> rows[] = {
        {"0", "50W", 100, 10},   {"1", "100W", 141, 20}, {"2", "200W", 200, 40},
        {"3", "500W", 316, 100}, {"4", "1KW", 447, 200}, {"5", "2KW", 632, 400},
        {"7", "250W", 224, 50}};
    const auto byCode = [](const char* code) {
        const ScaleRow got = getScaleByCode(code);
        return std::tuple(got.text, int(got.voltMult), int(got.pwrMult));
    };
    for (const auto& [code, text, voltMult, pwrMult] : rows) {
        EXPECT_EQ(getScaleCode(text), code) << text;
        EXPECT_EQ(byCode(code), std::tuple(std::string(text), voltMult, pwrMult));
    }
    // The list the user picks from runs from the smallest range to the largest.
    EXPECT_EQ(scaleTexts(),
              (std::vector<std::string>{"50W", "100W", "200W", "250W", "500W", "1KW", "2KW"}));
    // Anything else is compared exactly and falls back to "100W".
    for (const char* text : {"300W", "1kW", "50W ", "", "2KW\r"})
        EXPECT_EQ(getScaleCode(text), "1") << text;
    for (const char* code : {"6", "8", "", "00", " 1"})
        EXPECT_EQ(byCode(code), std::tuple(std::string("100W"), 141, 20)) << code;
}

TEST(ParseScaleCodes, StoresCodesTextsAndSlotsOrRefusesAndChangesNothing) {
    ModGlobal g;
    EXPECT_TRUE(ParseScaleCodes(":5762 and more", g));  // "6" is unknown: "100W"
    const auto state = [&] {
        return g.ScaleCodeA[0] + g.ScaleCodeB[1] + g.ScaleTextA[1] + g.ScaleTextB[0] +
               std::to_string(g.scaleSlots[SlotB2].scalaPwrMult);
    };
    EXPECT_EQ(state(), "52250W100W40");
    for (const char* reply : {"NAK Timeout", ":012", "x0123"}) {
        EXPECT_FALSE(ParseScaleCodes(reply, g)) << reply;
        EXPECT_EQ(state(), "52250W100W40");
    }
}

}  // namespace
}  // namespace quellon
