// Apart from ParserFuzz.cpp: the link's headers and the network's share names.
#include <array>
#include <string>

#include "ParserFuzz.h"
#include "link/Format.h"
#include "link/FrameDecoder.h"
#include "link/Handshake.h"
#include "link/ScaleCodes.h"
#include "platform/testing/FakePlatform.h"
#include "session/BridgeSession.h"

namespace quellon::fuzz {

bool runOne(const uint8_t* data, size_t size) {
    if (size < 3) return false;
    const std::string text(reinterpret_cast<const char*>(data), size);
    ModGlobal g;
    ChannelReading reading;
    g.params.MaxSwrA = static_cast<int16_t>(100 + data[2] * 3);
    if (data[0] % 4 < 2) {
        // Scale and thresholds come from the input too, so every one is exercised.
        const ScaleRow row = getScaleByCode(std::string(1, static_cast<char>('0' + data[1] % 8)));
        g.scaleSlots.fill(ScaleSlot{row.voltMult, row.pwrMult});
        g.params.nFwdMin = data[2] & 0x3F;
        std::array<uint8_t, kFrameLength> frame{};
        for (size_t i = 0; i < frame.size() && i + 3 < size; ++i) frame[i] = data[i + 3];
        try {
            decodeInto(frame.data(), inputsOf(g), reading);
        } catch (const FrameError&) {
            return false;  // the receive handler resynchronises
        }
        const ChannelReading& r = reading.withTexts();
        for (const std::string* t : {&r.pwrDirText, &r.pwrRefMaxText, &r.voltDirText})
            check(isNumeric(*t), "power and voltage texts are numbers");
        check(r.swrText == "---" || r.swrText == "HIG" || isNumeric(r.swrText), "swr text");
        check(r.pwrDir >= 0 && r.pwrRef >= 0, "powers are not negative");
        return true;
    }
    if (data[0] % 4 == 3) {
        const bool ok = ParseScaleCodes(text.substr(1), g);
        check(ok ? size >= 6 && text[1] == ':' : g.ScaleCodeA[0].empty(), "scale reply");
        return ok;
    }
    static FakePlatform platform;
    platform.messageBoxes.clear();
    const int16_t before = g.params.MaxSwrA;
    // Most inputs pass the prefix test so the field reading is reached.
    const std::string reply = ":wexlo" + text.substr(1);
    const bool ok = CheckBridgeInfo(reply, g, platform);
    if (reply.size() < kBridgeInfoUsedLength)
        check(!ok && g.params.MaxSwrA == before, "short reply");  // refused, nothing stored
    check(platform.messageBoxes.size() <= 1, "one message at most");
    return ok;
}

}  // namespace quellon::fuzz
