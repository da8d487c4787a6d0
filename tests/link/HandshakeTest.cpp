#include <gtest/gtest.h>

#include <array>

#include "link/Handshake.h"
#include "platform/testing/FakePlatform.h"

namespace quellon {
namespace {

// An identification reply laid out by position: ":wexlo", separator, 4-char
// version, then thirteen 5-char fields, each after one separator.
std::string bridgeInfo(const std::string& version, std::array<std::string, 13> fields) {
    std::string s = ":wexlo/" + version.substr(0, 4);
    for (auto& f : fields) {
        f.resize(5, ' ');
        s += "|" + f;
    }
    return s;
}

std::array<std::string, 13> defaultFields() {
    return {"00025", "00032", "00128", "00300", "00250", "00750", "00900",
            "00755", "00905", "00032", "00000", "00512", "00007"};
}

class CheckInfo : public ::testing::Test {
protected:
    FakePlatform p;
    ModGlobal g;
};

TEST_F(CheckInfo, StoresEveryParameterByPosition) {
    const std::string reply = bridgeInfo("1.10", defaultFields());
    ASSERT_EQ(reply.size(), kBridgeInfoLength);
    EXPECT_TRUE(CheckBridgeInfo(reply, g, p));
    EXPECT_TRUE(p.messageBoxes.empty());
    EXPECT_EQ(g.BridgeFirmwareVersion, "1.10");
    const BridgeParameters& b = g.params;
    EXPECT_DOUBLE_EQ(b.nFwdMin, 25);
    EXPECT_DOUBLE_EQ(b.Delay1, 32);
    EXPECT_EQ(b.Delay2, 128);
    EXPECT_EQ(b.MaxSwrA, 300);
    EXPECT_EQ(b.MaxSwrB, 250);
    EXPECT_EQ(b.ScaleMinA, 75);
    EXPECT_EQ(b.ScaleMaxA, 90);
    EXPECT_EQ(b.ScaleMinB, 75);  // 755 / 10 truncated
    EXPECT_EQ(b.ScaleMaxB, 90);
    EXPECT_EQ(b.ScaleDelay, 32);
    EXPECT_EQ(b.ExpandA, 0);
    EXPECT_EQ(b.ExpandB, 512);
}

TEST_F(CheckInfo, FieldConversions) {
    auto f = defaultFields();
    f[0] = "  2.5";  // nFwdMin stays fractional
    f[1] = "12abc";
    f[2] = "  2.5";  // halves to even
    f[3] = "  3.5";
    f[4] = "xyz";
    f[5] = "01234";  // ScaleMinA 1234 / 10 = 123
    f[6] = "00005";  // 5 / 10 = 0
    f[7] = "-0015";  // toward zero: -1
    f[8] = "  9.5";  // rounds to 10 first: 1
    f[9] = "32767";
    f[10] = "-2.5";
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.08", f), g, p));
    EXPECT_DOUBLE_EQ(g.params.nFwdMin, 2.5);
    EXPECT_DOUBLE_EQ(g.params.Delay1, 12);
    EXPECT_EQ(g.params.Delay2, 2);
    EXPECT_EQ(g.params.MaxSwrA, 4);
    EXPECT_EQ(g.params.MaxSwrB, 0);
    EXPECT_EQ(g.params.ScaleMinA, 123);
    EXPECT_EQ(g.params.ScaleMaxA, 0);
    EXPECT_EQ(g.params.ScaleMinB, -1);
    EXPECT_EQ(g.params.ScaleMaxB, 1);
    EXPECT_EQ(g.params.ScaleDelay, 32767);
    EXPECT_EQ(g.params.ExpandA, -2);

    f = defaultFields();
    f[5] = "99999";  // thresholds may come in up to five digits: 9999
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.10", f), g, p));
    EXPECT_EQ(g.params.ScaleMinA, 9999);
}

TEST_F(CheckInfo, FirmwareRule) {
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.08", defaultFields()), g, p));
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.10", defaultFields()), g, p));
    EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("2.00", defaultFields()), g, p));
    EXPECT_TRUE(p.messageBoxes.empty());

    for (const char* version : {"1.07", "abcd", "    ", "0.99"}) {
        SCOPED_TRACE(version);
        p.messageBoxes.clear();
        g = ModGlobal{};
        EXPECT_FALSE(CheckBridgeInfo(bridgeInfo(version, defaultFields()), g, p));
        ASSERT_EQ(p.messageBoxes.size(), 1u);
        EXPECT_EQ(p.messageBoxes[0].text, "Please upgrade the f/w of the Bridge to v1.08 or later");
        EXPECT_EQ(p.messageBoxes[0].style, 0);
        EXPECT_EQ(p.messageBoxes[0].title, "Quellon by WEXLO");
        // A refused bridge still leaves its values.
        EXPECT_EQ(g.BridgeFirmwareVersion, version);
        EXPECT_EQ(g.params.MaxSwrA, 300);
    }
}

TEST_F(CheckInfo, WrongPrefixIsRefusedSilently) {
    std::string reply = bridgeInfo("1.10", defaultFields());
    reply[1] = 'W';
    EXPECT_FALSE(CheckBridgeInfo(reply, g, p));
    EXPECT_FALSE(CheckBridgeInfo("NAK Timeout", g, p));
    EXPECT_FALSE(CheckBridgeInfo("", g, p));
    EXPECT_FALSE(CheckBridgeInfo(":wexl", g, p));
    EXPECT_TRUE(p.messageBoxes.empty());
    EXPECT_EQ(g.BridgeFirmwareVersion, "");
}

TEST_F(CheckInfo, ShortReplyStoresNothing) {
    g.params.MaxSwrA = 111;
    g.BridgeFirmwareVersion = "old";
    const std::string full = bridgeInfo("1.10", defaultFields());
    for (size_t len : {size_t{6}, size_t{11}, size_t{50}, kBridgeInfoLength - 1}) {
        SCOPED_TRACE(len);
        EXPECT_FALSE(CheckBridgeInfo(full.substr(0, len), g, p));
    }
    EXPECT_TRUE(p.messageBoxes.empty());
    EXPECT_EQ(g.params.MaxSwrA, 111);
    EXPECT_EQ(g.BridgeFirmwareVersion, "old");
    // Anything after the thirteenth field is ignored.
    EXPECT_TRUE(CheckBridgeInfo(full + "|00001|junk", g, p));
}

TEST_F(CheckInfo, ValueOutsideItsRangeStoresNothing) {
    g.params.MaxSwrA = 111;
    const std::pair<size_t, const char*> cases[] = {
        {3, "40000"}, {2, "32768"}, {10, "-4e04"}, {0, "9e999"},
        {1, "9e999"}, {5, "9e+99"}, {12, "99999"},
    };
    for (const auto& [index, text] : cases) {
        auto f = defaultFields();
        f[index] = text;
        SCOPED_TRACE(text);
        if (index == 12) {
            // The thirteenth value is not used, so it cannot be out of range.
            EXPECT_TRUE(CheckBridgeInfo(bridgeInfo("1.10", f), g, p));
            g.params.MaxSwrA = 111;
            continue;
        }
        EXPECT_FALSE(CheckBridgeInfo(bridgeInfo("1.10", f), g, p));
        EXPECT_EQ(g.params.MaxSwrA, 111);
    }
    EXPECT_TRUE(p.messageBoxes.empty());
}

TEST(ParseScaleCodes, StoresCodesTextsAndSlots) {
    ModGlobal g;
    EXPECT_TRUE(ParseScaleCodes(":1034", g));
    EXPECT_EQ(g.ScaleCodeA, (std::array<std::string, 2>{"1", "0"}));
    EXPECT_EQ(g.ScaleCodeB, (std::array<std::string, 2>{"3", "4"}));
    EXPECT_EQ(g.ScaleTextA, (std::array<std::string, 2>{"100W", "50W"}));
    EXPECT_EQ(g.ScaleTextB, (std::array<std::string, 2>{"500W", "1KW"}));
    EXPECT_EQ(g.scaleSlots[SlotA1].scalaPwrMult, 20);
    EXPECT_EQ(g.scaleSlots[SlotA2].scalaPwrMult, 10);
    EXPECT_EQ(g.scaleSlots[SlotA2].scalaVoltMult, 100);
    EXPECT_EQ(g.scaleSlots[SlotB1].scalaVoltMult, 316);
    EXPECT_EQ(g.scaleSlots[SlotB2].scalaPwrMult, 200);

    EXPECT_TRUE(ParseScaleCodes(":5762 and more", g));
    EXPECT_EQ(g.ScaleCodeB, (std::array<std::string, 2>{"6", "2"}));
    EXPECT_EQ(g.ScaleTextA, (std::array<std::string, 2>{"2KW", "250W"}));
    EXPECT_EQ(g.ScaleTextB, (std::array<std::string, 2>{"100W", "200W"}));  // "6" is unknown
    EXPECT_EQ(g.scaleSlots[SlotB1].scalaPwrMult, 20);
}

TEST(ParseScaleCodes, RefusedRepliesChangeNothing) {
    ModGlobal g;
    ASSERT_TRUE(ParseScaleCodes(":0123", g));
    const ModGlobal before = g;
    for (const char* reply : {"NAK Timeout", "", ":", ":012", "01234", "x0123"}) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(ParseScaleCodes(reply, g));
        EXPECT_EQ(g.ScaleCodeA, before.ScaleCodeA);
        EXPECT_EQ(g.ScaleCodeB, before.ScaleCodeB);
        EXPECT_EQ(g.ScaleTextB, before.ScaleTextB);
        EXPECT_EQ(g.scaleSlots[SlotB2].scalaPwrMult, before.scaleSlots[SlotB2].scalaPwrMult);
    }
}

}  // namespace
}  // namespace quellon
