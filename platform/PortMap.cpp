#include "platform/PortMap.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "core/Text.h"
#include "settings/Ini.h"

namespace quellon {

namespace {

int kindOf(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name.rfind("ttyUSB", 0) == 0) return 0;
    if (name.rfind("ttyACM", 0) == 0) return 1;
    if (name.rfind("ttyS", 0) == 0) return 2;
    return 3;
}

// Natural order: runs of digits compare by value, everything else by character.
bool naturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) ++je;
            // Compare values without converting (runs may be long): strip leading zeros.
            size_t is = i, js = j;
            while (is + 1 < ie && a[is] == '0') ++is;
            while (js + 1 < je && b[js] == '0') ++js;
            const size_t la = ie - is, lb = je - js;
            if (la != lb) return la < lb;
            const int c = a.compare(is, la, b, js, lb);
            if (c != 0) return c < 0;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return (a.size() - i) < (b.size() - j);
}

std::string pinnedPath(int n, const std::string& settingsPath) {
    if (settingsPath.empty()) return {};
    const auto v = IniLookup("Ports", std::to_string(n), settingsPath);
    return v ? trim(*v) : std::string();
}

}  // namespace

std::vector<PortInfo> sortSerialPorts(std::vector<PortInfo> ports) {
    std::stable_sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
        const int ka = kindOf(a.path), kb = kindOf(b.path);
        if (ka != kb) return ka < kb;
        return naturalLess(a.path, b.path);
    });
    return ports;
}

std::vector<PortInfo> systemSerialPorts() {
    std::vector<PortInfo> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortInfo p;
        p.path = info.systemLocation().toStdString();
        std::string d = info.description().toStdString();
        const std::string m = info.manufacturer().toStdString();
        if (!m.empty() && d.find(m) == std::string::npos) d = d.empty() ? m : d + " (" + m + ")";
        p.description = d;
        if (!p.path.empty()) out.push_back(std::move(p));
    }
    return sortSerialPorts(std::move(out));
}

std::string devicePathForPort(int n, const std::string& settingsPath,
                              const std::vector<PortInfo>& system) {
    if (n < 1) return {};
    std::string pinned = pinnedPath(n, settingsPath);
    if (!pinned.empty()) return pinned;
    if (static_cast<size_t>(n) <= system.size()) return system[static_cast<size_t>(n) - 1].path;
    return {};
}

std::string devicePathForPort(int n, const std::string& settingsPath) {
    if (n < 1) return {};
    std::string pinned = pinnedPath(n, settingsPath);
    if (!pinned.empty()) return pinned;
    return devicePathForPort(n, std::string(), systemSerialPorts());
}

std::vector<std::pair<int, PortInfo>> numberedPorts(const std::string& settingsPath, int maxN,
                                                    const std::vector<PortInfo>& system) {
    std::vector<std::pair<int, PortInfo>> out;
    for (int n = 1; n <= maxN; ++n) {
        const std::string pinned = pinnedPath(n, settingsPath);
        if (!pinned.empty()) {
            namespace fs = std::filesystem;
            std::error_code ec;
            const fs::path real = fs::canonical(pinned, ec);
            PortInfo p{pinned,
                       ec ? "missing (set in the settings file)" : "set in the settings file"};
            for (const PortInfo& s : system) {
                std::error_code ec2;
                const bool same = s.path == pinned || (!ec && fs::canonical(s.path, ec2) == real);
                if (same && !s.description.empty()) p.description = s.description;
            }
            out.emplace_back(n, std::move(p));
        } else if (static_cast<size_t>(n) <= system.size()) {
            out.emplace_back(n, system[static_cast<size_t>(n) - 1]);
        }
    }
    return out;
}

std::vector<std::pair<int, PortInfo>> numberedPorts(const std::string& settingsPath, int maxN) {
    return numberedPorts(settingsPath, maxN, systemSerialPorts());
}

std::string stableDevicePath(const std::string& path, const std::string& byIdDir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    if (ec) return {};
    std::vector<std::string> names;
    for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (fs::canonical(it->path(), ec2) == real && !ec2) names.push_back(it->path().string());
    }
    if (names.empty()) return {};
    // One adapter may have several names (one per interface): take the same one every time.
    return *std::min_element(names.begin(), names.end());
}

std::string pinSuggestion(int n, const std::string& path, const std::string& settingsPath,
                          const std::string& byIdDir) {
    if (n < 1 || path.empty()) return {};
    const std::string stable = stableDevicePath(path, byIdDir);
    if (stable.empty() || pinnedPath(n, settingsPath) == stable) return {};
    return stable;
}

}  // namespace quellon
