#include "core/RigTag.h"

#include <mutex>
#include <vector>

namespace quellon {

namespace {

// Hamlib's mode names first: their codes stay the same from run to run.
const char* const kKnown[] = {
    "",       "AM",  "CW",     "USB",    "LSB",   "RTTY",    "FM",      "WFM",   "CWR",
    "RTTYR",  "AMS", "PKTLSB", "PKTUSB", "PKTFM", "ECSSUSB", "ECSSLSB", "FAX",   "SAM",
    "SAL",    "SAH", "DSB",    "FMN",    "PKTAM", "P25",     "D-STAR",  "DPMR",  "NXDNVN",
    "NXDN-N", "DCR", "AMN",    "PSK",    "PSKR",  "DD",      "C4FM",    "PKTFMN"};
constexpr size_t kKnownCount = sizeof kKnown / sizeof kKnown[0];

std::mutex extraMutex;
std::vector<std::string>& extra() {
    static std::vector<std::string> names;
    return names;
}

}  // namespace

uint8_t modeCode(const std::string& name) {
    for (size_t i = 0; i < kKnownCount; ++i)
        if (name == kKnown[i]) return static_cast<uint8_t>(i);
    std::lock_guard lock(extraMutex);
    auto& names = extra();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<uint8_t>(kKnownCount + i);
    if (kKnownCount + names.size() > 255) return 0;
    names.push_back(name);
    return static_cast<uint8_t>(kKnownCount + names.size() - 1);
}

std::string modeName(uint8_t code) {
    if (code < kKnownCount) return kKnown[code];
    std::lock_guard lock(extraMutex);
    const auto& names = extra();
    const size_t i = code - kKnownCount;
    return i < names.size() ? names[i] : std::string();
}

}  // namespace quellon
