#include "LinkFuzz.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "link/Format.h"
#include "link/FrameDecoder.h"
#include "link/Handshake.h"
#include "link/ScaleCodes.h"
#include "platform/testing/FakePlatform.h"

namespace quellon::fuzz {

namespace {

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

void fuzzFrame(const uint8_t* data, size_t size) {
    if (size < 2) return;
    // Scales and thresholds come from the input too, so every one is exercised.
    ModGlobal g;
    static const char* codes[] = {"0", "1", "2", "3", "4", "5", "7", "6"};
    for (size_t i = 0; i < 4; ++i) {
        const ScaleRow row = getScaleByCode(codes[(data[0] >> (2 * i)) & 7]);
        g.scaleSlots[i] = ScaleSlot{row.voltMult, row.pwrMult};
    }
    g.params.nFwdMin = data[1] & 0x3F;
    g.params.MaxSwrA = static_cast<int16_t>(100 + data[1] * 3);
    g.params.MaxSwrB = static_cast<int16_t>(data[1] * 7);
    std::array<uint8_t, kFrameLength> frame{};
    for (size_t i = 0; i < frame.size() && i + 2 < size; ++i) frame[i] = data[i + 2];
    try {
        decodeFrame(frame.data(), g);
    } catch (const FrameError&) {
        ++stats().frameErrors;
        return;  // the receive handler resynchronises
    }
    ++stats().framesDecoded;
    const ChannelReading& r = g.reading;
    check(r.channel.size() == 1, "channel is one character");
    for (const std::string* t : {&r.pwrDirText, &r.pwrRefText, &r.pwrDirMaxText, &r.pwrRefMaxText,
                                 &r.voltDirText, &r.voltRefText})
        check(isNumeric(*t), "power and voltage texts are numbers");
    check(r.swrText == "---" || r.swrText == "HIG" || isNumeric(r.swrText), "swr text");
    check(r.swrValue >= 0 && r.swrValue <= 6.0f + 65535.0f, "swr value");
    check(r.pwrDir >= 0 && r.pwrRef >= 0, "powers are not negative");
    check(r.scaleMultText.size() > 1 && r.scaleMultText[0] == 'x', "scale label");
    const size_t base = frame[1] == 'A' ? 0 : 4;
    check(g.logData[base] == r.pwrDir && g.logData[base + 3] == r.pwrRefMax, "log data");
    check(g.logData[4 - base] == 0, "other channel's log data untouched");
}

void fuzzInfo(const uint8_t* data, size_t size) {
    static FakePlatform platform;
    platform.messageBoxes.clear();
    // Most inputs pass the prefix test so the field reading is reached.
    const std::string reply = ":wexlo" + std::string(reinterpret_cast<const char*>(data), size);
    ModGlobal g;
    g.params.MaxSwrA = 4321;
    const bool ok = CheckBridgeInfo(reply, g, platform);
    const bool boxed = !platform.messageBoxes.empty();
    if (reply.size() < kBridgeInfoLength)
        check(!ok && g.params.MaxSwrA == 4321 && !boxed, "short reply stores nothing");
    if (ok) check(leadingNumber(g.BridgeFirmwareVersion) * 100 >= 108 && !boxed, "old firmware");
    check(platform.messageBoxes.size() <= 1, "one message at most");
    ++(ok ? stats().infoAccepted : boxed ? stats().infoOldFirmware : stats().infoRefused);
}

void fuzzScales(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    ModGlobal g;
    const bool ok = ParseScaleCodes(reply, g);
    static const std::set<std::string> texts{"50W", "100W", "200W", "250W", "500W", "1KW", "2KW"};
    ++(ok ? stats().scalesAccepted : stats().scalesRefused);
    if (!ok) {
        check(g.ScaleCodeA[0].empty() && g.ScaleTextB[1].empty(), "refused reply changed codes");
        return;
    }
    check(reply.size() >= 5 && reply[0] == ':', "accepted a malformed reply");
    for (const auto* arr : {&g.ScaleTextA, &g.ScaleTextB})
        for (const auto& t : *arr) check(texts.count(t) == 1, "scale text");
    check(getScaleByCode(g.ScaleCodeB[1]).pwrMult == g.scaleSlots[SlotB2].scalaPwrMult,
          "slot constants");
}

}  // namespace

Stats& stats() {
    static Stats s;
    return s;
}

void runOne(const uint8_t* data, size_t size) {
    if (size == 0) return;
    switch (data[0] % 4) {
        case 0:
        case 1: fuzzFrame(data + 1, size - 1); break;
        case 2: fuzzInfo(data + 1, size - 1); break;
        default: fuzzScales(data + 1, size - 1); break;
    }
    // The number helpers see the raw bytes as text as well.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double v = leadingNumber(text);
    if (isNumeric(text)) check(!formatShortest(v).empty() && !format0_0(v).empty(), "formats");
    (void)roundHalfEven16(v);
}

}  // namespace quellon::fuzz
