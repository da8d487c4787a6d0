#include "setup/SetupApply.h"

#include <cstdint>
#include <functional>
#include <optional>

#include "link/BridgeLink.h"
#include "link/Format.h"
#include "link/Handshake.h"
#include "link/ScaleCodes.h"
#include "platform/SerialPort.h"
#include "settings/Ini.h"

namespace quellon {

std::string padValue5(int16_t n) {
    std::string s = "00000" + std::to_string(n);
    return s.substr(s.size() - 5);
}

std::string rangeMessage(int min, int max) {
    return "Please enter only integer number > " + std::to_string(min) + " and < " +
           std::to_string(max) + ".";
}

bool checkIntRangeValue(const std::string& text, int min, int max) {
    if (!isNumeric(text)) return false;
    const double v = leadingNumber(text);
    return v >= min && v <= max;
}

const std::vector<FieldCheck>& fieldChecks() {
    static const std::vector<FieldCheck> checks = {
        {"txtIntervalTime", 100, 5000, " DataLog File"},
        {"txtMaxSwrA", 100, 999, "SWR Alert (x100) - Channel A"},
        {"txtMaxSwrB", 100, 999, "SWR Alert (x100) - Channel B"},
        {"txtScaleMaxA", 10, 1000, "Scale Max"},
        {"txtScaleMaxB", 10, 1000, "Scale Max"},
        {"txtScaleMinA", 10, 1000, "Scale Min"},
        {"txtScaleMinB", 10, 1000, "Scale Min"},
        {"txtDelay1", 8, 1024, "Pwr Refreshing Time"},
        {"txtDelay2", 8, 1024, "Peak Pwr Refreshing Time"},
        {"txtnFwdMin", 5, 1023, "Min Pwr Read (sample)"},
    };
    return checks;
}

const FieldCheck* findFieldCheck(const std::string& field) {
    for (const auto& c : fieldChecks())
        if (field == c.field) return &c;
    return nullptr;
}

namespace {

class Uploader {
public:
    Uploader(ApplyResult& r, BridgeLink& link) : r_(r), link_(link) {}

    void send(const std::string& cmd, const std::string& label) {
        bool ok = false;
        try {
            ok = link_.sendCmd_ACK(cmd);
        } catch (const SerialError&) {
            // The port could not be reached (not opened at load, line gone):
            // the command did not get through, which is what the user is told.
            ok = false;
        }
        r_.sent.push_back(cmd);
        if (!ok) r_.notAcknowledged.push_back(label);
    }

    // One numeric row: sent only when the field's number differs from the
    // program's copy. A text that is not a number, a value outside the field's
    // range (a refused field can still hold one when Apply is pressed) or one
    // that does not fit the five digits of the command is neither sent nor
    // stored: the bridge would otherwise get a value it must not have, and the
    // copy would no longer match it.
    void numericRow(const char* code, const std::string& label, const std::string& text,
                    double copy, int factor, const std::function<void(double, int16_t)>& store,
                    const char* field = nullptr) {
        const double fieldValue = leadingNumber(text);
        if (fieldValue == copy) return;
        if (!isNumeric(text)) {
            r_.notConverted.push_back(label);
            return;
        }
        // Without a range of its own a field takes what the command carries.
        const FieldCheck* check = field ? findFieldCheck(field) : nullptr;
        const int min = check ? check->min : 0;
        const int max = check ? check->max : INT16_MAX / factor;
        const std::optional<int16_t> own = roundHalfEven16(fieldValue);
        const std::optional<int16_t> value = roundHalfEven16(fieldValue * factor);
        if (!(fieldValue >= min && fieldValue <= max) || !own || !value || *value < 0) {
            r_.outOfRange.push_back(label + ": " + text + " (allowed " + std::to_string(min) +
                                    " to " + std::to_string(max) + ")");
            return;
        }
        store(fieldValue, *own);
        send(std::string(":") + code + padValue5(*value) + "\r", label);
    }

private:
    ApplyResult& r_;
    BridgeLink& link_;
};

}  // namespace

ApplyResult applySetup(const SetupValues& v, int guiAtLoad, ModGlobal& g, BridgeLink& link) {
    ApplyResult r;
    BridgeParameters& p = g.params;
    const std::string& ini = g.SettingsPath;

    // 1. User settings, written on every Apply.
    WriteIni("Bridge", "ChannelA", v.descA, ini);
    WriteIni("Bridge", "ChannelB", v.descB, ini);
    WriteIni("Bridge", "DataLog", v.fileName, ini);
    WriteIni("Bridge", "DataRefresh", v.intervalTime, ini);
    WriteIni("Bridge", "DataMode", v.clearMode ? "1" : "0", ini);
    WriteIni("Bridge", "DataPwr", v.pwrZero ? "1" : "0", ini);

    Uploader up(r, link);

    // 2. SWR alerts, refresh periods and minimum reading.
    up.numericRow(
        "21", "SWR Alert (x100) - Channel A", v.maxSwrA, p.MaxSwrA, 1,
        [&](double, int16_t n) { p.MaxSwrA = n; }, "txtMaxSwrA");
    up.numericRow(
        "22", "SWR Alert (x100) - Channel B", v.maxSwrB, p.MaxSwrB, 1,
        [&](double, int16_t n) { p.MaxSwrB = n; }, "txtMaxSwrB");
    up.numericRow(
        "23", "Pwr Refreshing Time", v.delay1, p.Delay1, 1,
        [&](double d, int16_t) { p.Delay1 = d; }, "txtDelay1");
    up.numericRow(
        "24", "Peak Pwr Refreshing Time", v.delay2, p.Delay2, 1,
        [&](double, int16_t n) { p.Delay2 = n; }, "txtDelay2");
    up.numericRow(
        "20", "Min Pwr Read (sample)", v.nFwdMin, p.nFwdMin, 1,
        [&](double d, int16_t) { p.nFwdMin = d; }, "txtnFwdMin");

    // 3. Full-scale choice of the four scales.
    const std::array<std::string*, 4> texts = {&g.ScaleTextA[0], &g.ScaleTextA[1], &g.ScaleTextB[0],
                                               &g.ScaleTextB[1]};
    const std::array<std::string*, 4> codes = {&g.ScaleCodeA[0], &g.ScaleCodeA[1], &g.ScaleCodeB[0],
                                               &g.ScaleCodeB[1]};
    bool scalesChanged = false;
    for (size_t i = 0; i < 4; ++i)
        if (v.scales[i] != *texts[i]) scalesChanged = true;
    if (scalesChanged) {
        std::string all;
        for (size_t i = 0; i < 4; ++i) {
            *texts[i] = v.scales[i];
            *codes[i] = getScaleCode(v.scales[i]);
            all += *codes[i];
        }
        up.send(":37" + all + "\r", "Scale 1 / Scale 2");
        // Normalises the texts to the table and sets the decoder constants.
        ParseScaleCodes(":" + all, g);
    }

    // 4. Scale switching thresholds (sent in tenths) and delay.
    up.numericRow(
        "25", "Scale Min - Channel A", v.scaleMinA, p.ScaleMinA, 10,
        [&](double, int16_t n) { p.ScaleMinA = n; }, "txtScaleMinA");
    up.numericRow(
        "26", "Scale Max - Channel A", v.scaleMaxA, p.ScaleMaxA, 10,
        [&](double, int16_t n) { p.ScaleMaxA = n; }, "txtScaleMaxA");
    up.numericRow(
        "27", "Scale Min - Channel B", v.scaleMinB, p.ScaleMinB, 10,
        [&](double, int16_t n) { p.ScaleMinB = n; }, "txtScaleMinB");
    up.numericRow(
        "28", "Scale Max - Channel B", v.scaleMaxB, p.ScaleMaxB, 10,
        [&](double, int16_t n) { p.ScaleMaxB = n; }, "txtScaleMaxB");
    up.numericRow("29", "Scale Delay", v.scaleDelay, p.ScaleDelay, 1,
                  [&](double, int16_t n) { p.ScaleDelay = n; });

    // 5. Bargraph expansion: only the two clean transitions are sent.
    auto expand = [&](bool checked, int16_t& copy, const char* code, const char* label) {
        if (!checked && copy == 512) {
            copy = 0;
        } else if (checked && copy == 0) {
            copy = 512;
        } else {
            return;
        }
        up.send(std::string(":") + code + padValue5(copy) + "\r", label);
    };
    expand(v.expandA, p.ExpandA, "38", "Expand Bargraph Scale - Channel A");
    expand(v.expandB, p.ExpandB, "39", "Expand Bargraph Scale - Channel B");

    // 6. The display mode is reported, not written: the caller tells the user first.
    for (int i = 0; i <= 4; ++i) {
        if (i != guiAtLoad && v.selectedMode == i) {
            r.modeChanged = true;
            r.newMode = i;
        }
    }
    return r;
}

static std::string listMessage(const std::string& head, const std::vector<std::string>& labels) {
    if (labels.empty()) return {};
    std::string s = head;
    for (const auto& l : labels) s += "\n" + l;
    return s;
}

std::string notAcknowledgedMessage(const ApplyResult& r) {
    return listMessage("The SWR Bridge did not acknowledge these parameters:", r.notAcknowledged);
}

std::string notConvertedMessage(const ApplyResult& r) {
    return listMessage("These values are not valid numbers and were not sent:", r.notConverted);
}

std::string outOfRangeMessage(const ApplyResult& r) {
    return listMessage("These values are out of range and were not sent:", r.outOfRange);
}

}  // namespace quellon
