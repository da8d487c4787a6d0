#include <gtest/gtest.h>

#include "TestUtil.h"
#include "platform/SerialPort.h"

using namespace quellon;

TEST(SerialSettings, AcceptsTheUsualFormsAndNamesTheBadPart) {
    const std::pair<const char*, std::tuple<int, char, int, int>> good[] = {
        {" 50 , m , 5 , 1.5 ", {50, 'M', 5, 3}},  // 3: 1.5
        {"4000000,e,8,2", {4000000, 'E', 8, 2}},
        {"9600,O,6,1", {9600, 'O', 6, 1}},
        {"9600,s,7,1", {9600, 'S', 7, 1}},
    };
    for (const auto& [text, want] : good) {
        const SerialSettings s = parseSerialSettings(text);
        EXPECT_EQ(std::tie(s.baud, s.parity, s.dataBits, s.stopBits), want) << text;
    }
    const auto rejection = [](const std::string& text) {
        std::string why;
        EXPECT_EQ(test::errorOf([&] { parseSerialSettings(text); }, &why),
                  serr::InvalidPropertyValue)
            << text;
        return why;
    };
    EXPECT_EQ(rejection("115200,X,8,1"),
              "Invalid serial settings \"115200,X,8,1\": parity must be N, E, O, M or S");
    const std::pair<const char*, const char*> rows[] = {
        {"4000001,N,8,1", "baud rate"},
        {"49,N,8,1", "baud rate"},
        {",N,8,1", "baud rate"},
        {"96x0,N,8,1", "baud rate"},
        {"9600,NE,8,1", "parity"},
        {"9600,N,4,1", "data bits"},
        {"9600,N,80,1", "data bits"},
        {"99999999999999999999,N,8,1", "baud rate"},  // too long for an int: not overflowed
        {"9600,N,9,1", "data bits"},
        {"9600,N,8,", "stop bits"},
        {"115200,N,8", "Invalid serial settings"},
        {"115200,N,8,1,0", "Invalid serial settings"},
    };
    for (const auto& [text, why] : rows)
        EXPECT_NE(rejection(text).find(why), std::string::npos) << text;
}
