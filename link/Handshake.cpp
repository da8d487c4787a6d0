#include "link/Handshake.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <optional>

#include "core/Numbers.h"
#include "link/Format.h"
#include "link/Protocol.h"
#include "link/ScaleCodes.h"

namespace quellon {

namespace {

constexpr size_t kFieldWidth = 5;

// Value field starting at a 1-based position.
double fieldValue(const std::string& reply, size_t pos) {
    return leadingNumber(std::string_view(reply).substr(pos - 1, kFieldWidth));
}

std::optional<double> finiteField(const std::string& reply, size_t pos) {
    const double v = fieldValue(reply, pos);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int16_t> int16Field(const std::string& reply, size_t pos) {
    return roundHalfEven16(fieldValue(reply, pos));
}

// Scale-switch thresholds travel ten times finer than they are kept: round to
// a whole number first (halves to even), then drop the last digit toward zero.
std::optional<int16_t> tenthField(const std::string& reply, size_t pos) {
    const double v = fieldValue(reply, pos);
    if (!std::isfinite(v) || std::fabs(v) > 1e9) return std::nullopt;
    const auto whole = static_cast<int64_t>(roundHalfEven(v));
    const int64_t tenth = whole / 10;  // truncates toward zero
    if (tenth < INT16_MIN || tenth > INT16_MAX) return std::nullopt;
    return static_cast<int16_t>(tenth);
}

bool tooOld(const std::string& firmware) { return leadingNumber(firmware) * 100 < 108; }

}  // namespace

BridgeInfo readBridgeInfo(const std::string& reply, BridgeState& g) {
    if (!protocol::isBridgeReply(reply)) return BridgeInfo::Refused;
    // A cut-off line cannot be read by position: its values would be whatever
    // happens to stand there. Refuse it before anything is stored. Its firmware
    // field still counts: a bridge that says no more than ":wexlo" (version 0)
    // or names an old version is told to be upgraded, as a whole reply would be.
    if (reply.size() < kBridgeInfoUsedLength) {
        const std::string firmware = reply.size() > 7 ? reply.substr(7, 4) : std::string();
        return tooOld(firmware) ? BridgeInfo::FirmwareTooOld : BridgeInfo::Refused;
    }

    // Convert every field first and store only when all of them fit, so a
    // refused reply never leaves half of its values behind.
    const std::string firmware = reply.substr(7, 4);
    const auto nFwdMin = finiteField(reply, 13);
    const auto delay1 = finiteField(reply, 19);
    const auto delay2 = int16Field(reply, 25);
    const auto maxSwrA = int16Field(reply, 31);
    const auto maxSwrB = int16Field(reply, 37);
    const auto scaleMinA = tenthField(reply, 43);
    const auto scaleMaxA = tenthField(reply, 49);
    const auto scaleMinB = tenthField(reply, 55);
    const auto scaleMaxB = tenthField(reply, 61);
    const auto scaleDelay = int16Field(reply, 67);
    const auto expandA = int16Field(reply, 73);
    const auto expandB = int16Field(reply, 79);
    if (!nFwdMin || !delay1 || !delay2 || !maxSwrA || !maxSwrB || !scaleMinA || !scaleMaxA ||
        !scaleMinB || !scaleMaxB || !scaleDelay || !expandA || !expandB)
        return BridgeInfo::Refused;

    g.BridgeFirmwareVersion = firmware;
    BridgeParameters& bp = g.params;
    bp.nFwdMin = *nFwdMin;
    bp.Delay1 = *delay1;
    bp.Delay2 = *delay2;
    bp.MaxSwrA = *maxSwrA;
    bp.MaxSwrB = *maxSwrB;
    bp.ScaleMinA = *scaleMinA;
    bp.ScaleMaxA = *scaleMaxA;
    bp.ScaleMinB = *scaleMinB;
    bp.ScaleMaxB = *scaleMaxB;
    bp.ScaleDelay = *scaleDelay;
    bp.ExpandA = *expandA;
    bp.ExpandB = *expandB;

    return tooOld(g.BridgeFirmwareVersion) ? BridgeInfo::FirmwareTooOld : BridgeInfo::Accepted;
}

bool ParseScaleCodes(const std::string& reply, BridgeState& g) {
    try {
        if (reply.size() < 5 || reply[0] != ':') return false;
        std::array<std::string, 4> codes;
        std::array<ScaleRow, 4> rows;
        for (size_t i = 0; i < 4; ++i) {
            codes[i] = reply.substr(1 + i, 1);
            rows[i] = getScaleByCode(codes[i]);
        }
        g.ScaleCodeA = {codes[0], codes[1]};
        g.ScaleCodeB = {codes[2], codes[3]};
        g.ScaleTextA = {rows[0].text, rows[1].text};
        g.ScaleTextB = {rows[2].text, rows[3].text};
        for (size_t i = 0; i < 4; ++i)
            g.scaleSlots[i] = ScaleSlot{rows[i].voltMult, rows[i].pwrMult};
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace quellon
