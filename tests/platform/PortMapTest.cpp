#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "platform/PortMap.h"

using namespace quellon;

namespace {

std::vector<std::string> paths(const std::vector<PortInfo>& v) {
    std::vector<std::string> out;
    for (const auto& p : v) out.push_back(p.path);
    return out;
}

struct IniFile {
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/Quellon.ini";
    explicit IniFile(const std::string& text) { std::ofstream(path) << text; }
};

const std::vector<PortInfo> kSystem = sortSerialPorts({
    {"/dev/ttyS0", "built-in"},
    {"/dev/ttyACM0", "CDC"},
    {"/dev/ttyUSB10", "FT232R"},
    {"/dev/ttyUSB2", "CH340"},
});

}  // namespace

TEST(PortMap, SortsByKindThenNumber) {
    const auto sorted = sortSerialPorts({
        {"/dev/ttyS10", ""},
        {"/dev/rfcomm0", ""},
        {"/dev/ttyS2", ""},
        {"/dev/ttyACM1", ""},
        {"/dev/ttyUSB10", ""},
        {"/dev/ttyAMA0", ""},
        {"/dev/ttyUSB9", ""},
        {"/dev/ttyACM0", ""},
        {"/dev/ttyUSB09", ""},
    });
    EXPECT_EQ(paths(sorted),
              (std::vector<std::string>{"/dev/ttyUSB9", "/dev/ttyUSB09", "/dev/ttyUSB10",
                                        "/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyS2", "/dev/ttyS10",
                                        "/dev/rfcomm0", "/dev/ttyAMA0"}));
}

TEST(PortMap, NumbersFollowTheSystemOrder) {
    EXPECT_EQ(paths(kSystem), (std::vector<std::string>{"/dev/ttyUSB2", "/dev/ttyUSB10",
                                                        "/dev/ttyACM0", "/dev/ttyS0"}));
    EXPECT_EQ(devicePathForPort(1, "", kSystem), "/dev/ttyUSB2");
    EXPECT_EQ(devicePathForPort(4, "", kSystem), "/dev/ttyS0");
    EXPECT_EQ(devicePathForPort(5, "", kSystem), "");
    EXPECT_EQ(devicePathForPort(0, "", kSystem), "");
    EXPECT_EQ(devicePathForPort(-1, "", kSystem), "");
    EXPECT_EQ(devicePathForPort(1, "/nonexistent/dir/Quellon.ini", kSystem), "/dev/ttyUSB2");
}

TEST(PortMap, PinnedKeyWins) {
    IniFile ini(
        "[Bridge]\nPort=2\n[ports]\n2 = /dev/serial/by-id/usb-bridge \n7=/tmp/ttyQuellon\n3=\n");
    EXPECT_EQ(devicePathForPort(2, ini.path, kSystem), "/dev/serial/by-id/usb-bridge");
    EXPECT_EQ(devicePathForPort(7, ini.path, kSystem), "/tmp/ttyQuellon");
    // Others keep their system numbers; an empty key is not a pin.
    EXPECT_EQ(devicePathForPort(1, ini.path, kSystem), "/dev/ttyUSB2");
    EXPECT_EQ(devicePathForPort(3, ini.path, kSystem), "/dev/ttyACM0");
    EXPECT_EQ(devicePathForPort(6, ini.path, kSystem), "");

    const auto listed = numberedPorts(ini.path, 8, kSystem);
    std::vector<int> numbers;
    for (const auto& [n, info] : listed) numbers.push_back(n);
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 7}));
    EXPECT_EQ(listed[1].second.path, "/dev/serial/by-id/usb-bridge");
    EXPECT_EQ(listed[1].second.description, "set in the settings file");
    EXPECT_EQ(listed[0].second.description, "CH340");
    EXPECT_TRUE(numberedPorts(ini.path, 0, kSystem).empty());
}

TEST(PortMap, PinnedDeviceKeepsItsSystemDescription) {
    IniFile ini("[Ports]\n1=/dev/ttyACM0\n");
    const auto listed = numberedPorts(ini.path, 1, kSystem);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].second.description, "CDC");
}

TEST(PortMap, SystemListIsSortedAndReadable) {
    // Whatever this machine has: the list comes back in our order.
    const auto sys = systemSerialPorts();
    EXPECT_EQ(paths(sys), paths(sortSerialPorts(sys)));
}
