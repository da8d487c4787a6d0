#include <gtest/gtest.h>

#include <array>

#include "link/Handshake.h"
#include "link/ScaleCodes.h"
#include "platform/testing/FakePlatform.h"

namespace quellon {
namespace {

using Fields = std::array<std::string, 13>;
const Fields kFields = {"00025", "00032", "00128", "00300", "00250", "00750", "00900",
                        "00755", "00905", "00032", "00000", "00512", "00007"};

// ":wexlo", separator, 4-char version, then thirteen 5-char fields after a separator each.
std::string bridgeInfo(const std::string& version, Fields fields = kFields) {
    std::string s = ":wexlo/" + version.substr(0, 4);
    for (auto& f : fields) {
        f.resize(5, ' ');
        s += "|" + f;
    }
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

class CheckInfo : public ::testing::Test {
protected:
    FakePlatform p;
    ModGlobal g;
};

TEST_F(CheckInfo, StoresEveryParameterByPosition) {
    ASSERT_EQ(bridgeInfo("1.10").size(), kBridgeInfoLength);
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.10"), g, p));
    EXPECT_TRUE(p.messageBoxes.empty());
    EXPECT_EQ(g.BridgeFirmwareVersion, "1.10");
    // Scale thresholds travel ten times finer: 755 / 10 is 75.
    EXPECT_EQ(params(g.params), (Params{25, 32, 128, 300, 250, 75, 90, 75, 90, 32, 0, 512}));

    // Leading numbers, nFwdMin kept fractional, halves to even, thresholds rounded
    // first and then truncated toward zero.
    const Fields odd = {"  2.5", "12.5a", "  2.5", "  3.5", "xyz",   "01234", "00005",
                        "-0015", "  9.5", "32767", "-2.5",  "00512", "00007"};
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.08", odd), g, p));
    EXPECT_EQ(params(g.params), (Params{2.5, 12.5, 2, 4, 0, 123, 0, -1, 1, 32767, -2, 512}));
    Fields big = kFields;
    big[5] = "99999";  // thresholds may come in up to five digits
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.10", big), g, p));
    EXPECT_EQ(g.params.ScaleMinA, 9999);
}

TEST_F(CheckInfo, FirmwareRule) {
    for (const char* version : {"1.08", "1.10", "2.00"})
        EXPECT_TRUE(CheckBridgeInfo(bridgeInfo(version), g, p)) << version;
    EXPECT_TRUE(p.messageBoxes.empty());

    for (const char* version : {"1.07", "abcd", "    ", "0.99"}) {
        SCOPED_TRACE(version);
        p.messageBoxes.clear();
        g = ModGlobal{};
        EXPECT_FALSE(CheckBridgeInfo(bridgeInfo(version), g, p));
        ASSERT_EQ(p.messageBoxes.size(), 1u);
        EXPECT_EQ(p.messageBoxes[0].text, "Please upgrade the f/w of the Bridge to v1.08 or later");
        EXPECT_EQ(p.messageBoxes[0].style, 0);
        EXPECT_EQ(p.messageBoxes[0].title, "Quellon by WEXLO");
        // A refused bridge still leaves its values.
        EXPECT_EQ(g.BridgeFirmwareVersion, version);
        EXPECT_EQ(g.params.MaxSwrA, 300);
    }
}

TEST_F(CheckInfo, RefusedRepliesStoreNothingAndShowNothing) {
    g.params.MaxSwrA = 111;
    g.BridgeFirmwareVersion = "old";
    const std::string full = bridgeInfo("1.10");
    std::vector<std::string> replies = {full, "NAK Timeout", "", ":wexl"};
    replies[0][1] = 'W';  // wrong prefix
    for (size_t len : {size_t{6}, size_t{11}, size_t{50}, kBridgeInfoLength - 1})
        replies.push_back(full.substr(0, len));  // cut off: cannot be read by position
    // A value outside its range refuses the whole reply.
    const std::pair<size_t, const char*> outOfRange[] = {{3, "40000"}, {2, "32768"}, {10, "-4e04"},
                                                         {0, "9e999"}, {1, "9e999"}, {5, "9e+99"},
                                                         {11, "40000"}};
    for (const auto& [index, text] : outOfRange) {
        Fields f = kFields;
        f[index] = text;
        replies.push_back(bridgeInfo("1.10", f));
    }
    for (const std::string& reply : replies) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(CheckBridgeInfo(reply, g, p));
        EXPECT_EQ(g.params.MaxSwrA, 111);
        EXPECT_EQ(g.BridgeFirmwareVersion, "old");
    }
    EXPECT_TRUE(p.messageBoxes.empty());
    // The thirteenth value is not used, so it cannot be out of range; anything
    // after it is ignored.
    Fields last = kFields;
    last[12] = "99999";
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.10", last), g, p));
    EXPECT_TRUE(CheckBridgeInfo(full + "|00001|junk", g, p));
}

// Codes, texts and the four slots' volt/power multipliers in one line.
std::string scaleState(const ModGlobal& g) {
    std::string s;
    for (auto* a : {&g.ScaleCodeA, &g.ScaleCodeB, &g.ScaleTextA, &g.ScaleTextB})
        for (const std::string& t : *a) s += t + " ";
    for (const ScaleSlot& slot : g.scaleSlots)
        s += std::to_string(slot.scalaVoltMult) + "/" + std::to_string(slot.scalaPwrMult) + " ";
    return s;
}

TEST(ParseScaleCodes, StoresCodesTextsAndSlotsOrRefusesAndChangesNothing) {
    ModGlobal g;
    EXPECT_TRUE(ParseScaleCodes(":1034", g));
    EXPECT_EQ(scaleState(g), "1 0 3 4 100W 50W 500W 1KW 141/20 100/10 316/100 447/200 ");
    EXPECT_TRUE(ParseScaleCodes(":5762 and more", g));  // "6" is unknown: "100W"
    EXPECT_EQ(scaleState(g), "5 7 6 2 2KW 250W 100W 200W 632/400 224/50 141/20 200/40 ");
    for (const char* reply : {"NAK Timeout", "", ":", ":012", "01234", "x0123"}) {
        EXPECT_FALSE(ParseScaleCodes(reply, g)) << reply;
        EXPECT_EQ(scaleState(g), "5 7 6 2 2KW 250W 100W 200W 632/400 224/50 141/20 200/40 ");
    }
}

}  // namespace
}  // namespace quellon
