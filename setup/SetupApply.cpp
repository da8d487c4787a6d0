#include "setup/SetupApply.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "link/Format.h"
#include "link/Handshake.h"
#include "link/Protocol.h"
#include "link/ScaleCodes.h"
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
    explicit Uploader(ApplyResult& r) : r_(r) {}

    void send(const std::string& cmd, const std::string& label) {
        r_.sent.push_back(cmd);
        r_.labels.push_back(label);
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
        send(protocol::parameterCommand(code, padValue5(*value)), label);
    }

private:
    ApplyResult& r_;
};

}  // namespace

ApplyResult applySetup(const SetupValues& v, int guiAtLoad, ModGlobal& g) {
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

    Uploader up(r);

    // 2. SWR alerts, refresh periods and minimum reading.
    up.numericRow(
        protocol::param::kMaxSwrA, "SWR Alert (x100) - Channel A", v.maxSwrA, p.MaxSwrA, 1,
        [&](double, int16_t n) { p.MaxSwrA = n; }, "txtMaxSwrA");
    up.numericRow(
        protocol::param::kMaxSwrB, "SWR Alert (x100) - Channel B", v.maxSwrB, p.MaxSwrB, 1,
        [&](double, int16_t n) { p.MaxSwrB = n; }, "txtMaxSwrB");
    up.numericRow(
        protocol::param::kDelay1, "Pwr Refreshing Time", v.delay1, p.Delay1, 1,
        [&](double d, int16_t) { p.Delay1 = d; }, "txtDelay1");
    up.numericRow(
        protocol::param::kDelay2, "Peak Pwr Refreshing Time", v.delay2, p.Delay2, 1,
        [&](double, int16_t n) { p.Delay2 = n; }, "txtDelay2");
    up.numericRow(
        protocol::param::kMinPower, "Min Pwr Read (sample)", v.nFwdMin, p.nFwdMin, 1,
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
        up.send(protocol::parameterCommand(protocol::param::kScales, all), "Scale 1 / Scale 2");
        // Normalises the texts to the table and sets the decoder constants.
        ParseScaleCodes(":" + all, g);
    }

    // 4. Scale switching thresholds (sent in tenths) and delay.
    up.numericRow(
        protocol::param::kScaleMinA, "Scale Min - Channel A", v.scaleMinA, p.ScaleMinA, 10,
        [&](double, int16_t n) { p.ScaleMinA = n; }, "txtScaleMinA");
    up.numericRow(
        protocol::param::kScaleMaxA, "Scale Max - Channel A", v.scaleMaxA, p.ScaleMaxA, 10,
        [&](double, int16_t n) { p.ScaleMaxA = n; }, "txtScaleMaxA");
    up.numericRow(
        protocol::param::kScaleMinB, "Scale Min - Channel B", v.scaleMinB, p.ScaleMinB, 10,
        [&](double, int16_t n) { p.ScaleMinB = n; }, "txtScaleMinB");
    up.numericRow(
        protocol::param::kScaleMaxB, "Scale Max - Channel B", v.scaleMaxB, p.ScaleMaxB, 10,
        [&](double, int16_t n) { p.ScaleMaxB = n; }, "txtScaleMaxB");
    up.numericRow(protocol::param::kScaleDelay, "Scale Delay", v.scaleDelay, p.ScaleDelay, 1,
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
        up.send(protocol::parameterCommand(code, padValue5(copy)), label);
    };
    expand(v.expandA, p.ExpandA, protocol::param::kExpandA, "Expand Bargraph Scale - Channel A");
    expand(v.expandB, p.ExpandB, protocol::param::kExpandB, "Expand Bargraph Scale - Channel B");

    // 6. The display mode is reported, not written: the caller tells the user first.
    for (int i = 0; i <= 4; ++i) {
        if (i != guiAtLoad && v.selectedMode == i) {
            r.modeChanged = true;
            r.newMode = i;
        }
    }
    return r;
}

void uploadSetup(const ApplyResult& r, const CommandSender& send,
                 std::function<void(const ApplyResult&)> done) {
    if (r.sent.empty()) return done(r);
    // The outcomes come in the order sent; the last one completes the result.
    auto result = std::make_shared<ApplyResult>(r);
    auto left = std::make_shared<size_t>(r.sent.size());
    auto finish = std::make_shared<std::function<void(const ApplyResult&)>>(std::move(done));
    for (size_t i = 0; i < r.sent.size(); ++i) {
        send(r.sent[i], [result, left, finish, i](bool acked) {
            // A port that could not be reached counts as not acknowledged:
            // the command did not get through, which is what the user is told.
            if (!acked) result->notAcknowledged.push_back(result->labels[i]);
            if (--*left == 0 && *finish) (*finish)(*result);
        });
    }
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
