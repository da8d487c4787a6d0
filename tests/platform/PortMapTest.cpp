#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "platform/PortMap.h"

using namespace quellon;
using Paths = std::vector<std::string>;

static Paths paths(const std::vector<PortInfo>& v) {
    Paths out;
    for (const auto& p : v) out.push_back(p.path);
    return out;
}

TEST(PortMap, SortsByKindThenNumberAndPinnedKeysWin) {
    const auto sys = sortSerialPorts({{"/dev/ttyS10", "S10"},
                                      {"/dev/ttyACM0", "CDC"},
                                      {"/dev/ttyUSB10", "FT232R"},
                                      {"/dev/ttyS2", "S2"},
                                      {"/dev/ttyUSB9", "CH340"}});
    EXPECT_EQ(paths(sys), (Paths{"/dev/ttyUSB9", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS2",
                                 "/dev/ttyS10"}));

    QTemporaryDir dir;
    const std::string ini = dir.path().toStdString() + "/Quellon.ini";
    std::ofstream(ini) << "[ports]\n2 = /dev/serial/by-id/usb-bridge \n7=/tmp/ttyQuellon\n3=\n";
    const std::pair<int, const char*> rows[] = {
        {1, "/dev/ttyUSB9"},
        {2, "/dev/serial/by-id/usb-bridge"},
        {3, "/dev/ttyACM0"},  // empty: no pin
        {7, "/tmp/ttyQuellon"},
        {8, ""},
        {0, ""},
    };
    for (const auto& [n, path] : rows) EXPECT_EQ(devicePathForPort(n, ini, sys), path) << n;
    std::vector<std::pair<int, std::string>> got;
    for (const auto& [n, info] : numberedPorts(ini, 8, sys)) got.emplace_back(n, info.description);
    // Neither pinned path exists.
    EXPECT_EQ(
        got, (std::vector<std::pair<int, std::string>>{{1, "CH340"},
                                                       {2, "missing (set in the settings file)"},
                                                       {3, "CDC"},
                                                       {4, "S2"},
                                                       {5, "S10"},
                                                       {7, "missing (set in the settings file)"}}));

    // A pinned port the system lists (by its own path or through a link) keeps its description.
    const std::string tty = dir.path().toStdString() + "/tty";
    std::ofstream{tty};
    std::filesystem::create_symlink(tty, tty + "-link");
    std::ofstream(ini) << "[ports]\n1=" << tty << "-link\n2=" << tty << "\n";
    got.clear();
    for (const auto& [n, info] : numberedPorts(ini, 2, {{tty, "FT232R"}}))
        got.emplace_back(n, info.description);
    EXPECT_EQ(got, (std::vector<std::pair<int, std::string>>{{1, "FT232R"}, {2, "FT232R"}}));
}
