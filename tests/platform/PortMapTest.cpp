#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "platform/PortMap.h"

using namespace quellon;
using Paths = std::vector<std::string>;

namespace {

Paths paths(const std::vector<PortInfo>& v) {
    Paths out;
    for (const auto& p : v) out.push_back(p.path);
    return out;
}

const std::vector<PortInfo> kSystem = sortSerialPorts({{"/dev/ttyS0", "built-in"},
                                                       {"/dev/ttyACM0", "CDC"},
                                                       {"/dev/ttyUSB10", "FT232R"},
                                                       {"/dev/ttyUSB2", "CH340"}});

}  // namespace

TEST(PortMap, SortsByKindThenNumber) {
    std::vector<PortInfo> in;
    for (const char* p :
         {"/dev/ttyS10", "/dev/rfcomm0", "/dev/ttyS2", "/dev/ttyACM1", "/dev/ttyUSB10",
          "/dev/ttyAMA0", "/dev/ttyUSB9", "/dev/ttyACM0", "/dev/ttyUSB09"})
        in.push_back({p, ""});
    EXPECT_EQ(paths(sortSerialPorts(in)),
              (Paths{"/dev/ttyUSB9", "/dev/ttyUSB09", "/dev/ttyUSB10", "/dev/ttyACM0",
                     "/dev/ttyACM1", "/dev/ttyS2", "/dev/ttyS10", "/dev/rfcomm0", "/dev/ttyAMA0"}));
    // Whatever this machine has comes back in that order.
    const auto sys = systemSerialPorts();
    EXPECT_EQ(paths(sys), paths(sortSerialPorts(sys)));
}

TEST(PortMap, PinnedKeysWinAndTheOthersKeepTheirSystemNumbers) {
    QTemporaryDir dir;
    const std::string ini = dir.path().toStdString() + "/Quellon.ini";
    std::ofstream(ini) << "[Bridge]\nPort=2\n[ports]\n2 = /dev/serial/by-id/usb-bridge \n"
                          "7=/tmp/ttyQuellon\n3=\n5=/dev/ttyUSB10\n";
    EXPECT_EQ(paths(kSystem),
              (Paths{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0"}));
    const std::pair<int, const char*> rows[] = {
        {1, "/dev/ttyUSB2"},
        {2, "/dev/serial/by-id/usb-bridge"},
        {3, "/dev/ttyACM0"},  // empty: no pin
        {4, "/dev/ttyS0"},
        {6, ""},
        {7, "/tmp/ttyQuellon"},
        {8, ""},
        {0, ""},
        {-1, ""},
    };
    for (const auto& [n, path] : rows) EXPECT_EQ(devicePathForPort(n, ini, kSystem), path) << n;
    EXPECT_EQ(devicePathForPort(1, "/nonexistent/Quellon.ini", kSystem), "/dev/ttyUSB2");
    const auto listed = numberedPorts(ini, 8, kSystem);
    std::vector<std::pair<int, std::string>> got;
    for (const auto& [n, info] : listed) got.emplace_back(n, info.description);
    EXPECT_EQ(got, (std::vector<std::pair<int, std::string>>{{1, "CH340"},
                                                             {2, "set in the settings file"},
                                                             {3, "CDC"},
                                                             {4, "built-in"},
                                                             {5, "FT232R"},  // pinned, yet known
                                                             {7, "set in the settings file"}}));
    EXPECT_TRUE(numberedPorts(ini, 0, kSystem).empty());
}
