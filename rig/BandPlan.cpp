#include "rig/BandPlan.h"

#include <algorithm>
#include <sstream>

namespace quellon::rig {

BandPlan::BandPlan()
    : bands_{{"160m", 1'800'000, 2'000'000},    {"80m", 3'500'000, 4'000'000},
             {"60m", 5'351'500, 5'366'500},     {"40m", 7'000'000, 7'300'000},
             {"30m", 10'100'000, 10'150'000},   {"20m", 14'000'000, 14'350'000},
             {"17m", 18'068'000, 18'168'000},   {"15m", 21'000'000, 21'450'000},
             {"12m", 24'890'000, 24'990'000},   {"10m", 28'000'000, 29'700'000},
             {"6m", 50'000'000, 54'000'000},    {"2m", 144'000'000, 148'000'000},
             {"70cm", 430'000'000, 440'000'000}} {}

namespace {

std::string trim(const std::string& s) {
    const auto a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// kHz with up to three decimals, as hertz; -1 when it is not such a number.
int64_t khzToHz(const std::string& text) {
    const std::string t = trim(text);
    if (t.empty() || t.size() > 12) return -1;
    int64_t whole = 0, frac = 0;
    int fracDigits = -1;
    for (char c : t) {
        if (c == '.' && fracDigits < 0) {
            fracDigits = 0;
        } else if (c >= '0' && c <= '9') {
            if (fracDigits < 0) {
                whole = whole * 10 + (c - '0');
            } else if (++fracDigits <= 3) {
                frac = frac * 10 + (c - '0');
            } else {
                return -1;
            }
        } else {
            return -1;
        }
    }
    while (fracDigits > 0 && fracDigits < 3) frac *= 10, ++fracDigits;
    return whole * 1000 + frac;
}

}  // namespace

BandPlan BandPlan::parse(const std::string& text, std::string* problem) {
    if (trim(text).empty()) return BandPlan();
    std::vector<Band> bands;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto colon = item.find(':');
        const auto dash = item.find('-', colon == std::string::npos ? 0 : colon);
        Band b;
        if (colon != std::string::npos && dash != std::string::npos) {
            b.name = trim(item.substr(0, colon));
            b.lowHz = khzToHz(item.substr(colon + 1, dash - colon - 1));
            b.highHz = khzToHz(item.substr(dash + 1));
        }
        if (b.name.empty() || b.lowHz <= 0 || b.highHz < b.lowHz) {
            if (problem)
                *problem = "[Rig] Bands: \"" + trim(item) +
                           "\" is not name:lowkHz-highkHz; the IARU band plan is used";
            return BandPlan();
        }
        bands.push_back(std::move(b));
    }
    return BandPlan(std::move(bands));
}

int BandPlan::bandOf(int64_t hz) const {
    if (hz <= 0) return -1;
    for (size_t i = 0; i < bands_.size(); ++i)
        if (bands_[i].contains(hz)) return static_cast<int>(i);
    return -1;
}

std::string BandPlan::nameOf(int64_t hz) const {
    const int i = bandOf(hz);
    return i < 0 ? std::string() : bands_[i].name;
}

}  // namespace quellon::rig
