#include <gtest/gtest.h>

#include "TestUtil.h"
#include "platform/SerialPort.h"

using namespace quellon;

TEST(SerialSettings, AcceptsTheUsualFormsAndNamesTheBadPart) {
    const SerialSettings s = parseSerialSettings(" 50 , m , 5 , 1.5 ");
    EXPECT_EQ(std::tie(s.baud, s.parity, s.dataBits, s.stopBits),
              std::make_tuple(50, 'M', 5, 3));  // 3: 1.5
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
        {"99999999999999999999,N,8,1", "baud rate"},  // too long for an int: not overflowed
        {"9600,N,9,1", "data bits"},
        {"9600,N,8,", "stop bits"},
        {"115200,N,8", "Invalid serial settings"},
        {"115200,N,8,1,0", "Invalid serial settings"},
    };
    for (const auto& [text, why] : rows)
        EXPECT_NE(rejection(text).find(why), std::string::npos) << text;
}
