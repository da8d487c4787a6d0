#include <gtest/gtest.h>

#include "platform/SerialPort.h"

using namespace quellon;

TEST(SerialSettings, AcceptsTheUsualForms) {
    const struct {
        const char* text;
        int baud;
        char parity;
        int dataBits, stopBits;  // stop bits 3: one and a half
    } rows[] = {
        {"115200,N,8,1", 115200, 'N', 8, 1},   {"9600,e,7,2", 9600, 'E', 7, 2},
        {" 50 , m , 5 , 1.5 ", 50, 'M', 5, 3}, {"4000000,S,6,1", 4000000, 'S', 6, 1},
        {"1200,o,8,1", 1200, 'O', 8, 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        const SerialSettings s = parseSerialSettings(r.text);
        EXPECT_EQ(s.baud, r.baud);
        EXPECT_EQ(s.parity, r.parity);
        EXPECT_EQ(s.dataBits, r.dataBits);
        EXPECT_EQ(s.stopBits, r.stopBits);
    }
}

TEST(SerialSettings, RejectionNamesTheBadPart) {
    const auto rejection = [](const std::string& text) {
        try {
            parseSerialSettings(text);
            ADD_FAILURE() << "accepted";
        } catch (const SerialError& e) {
            EXPECT_EQ(e.number(), serr::InvalidPropertyValue);
            return e.description();
        }
        return std::string();
    };
    EXPECT_EQ(rejection("115200,X,8,1"),
              "Invalid serial settings \"115200,X,8,1\": parity must be N, E, O, M or S");
    const std::pair<const char*, const char*> rows[] = {
        {"fast,N,8,1", "baud rate"},
        {"49,N,8,1", "baud rate"},
        {"4000001,N,8,1", "baud rate"},
        {"-9600,N,8,1", "baud rate"},
        {"99999999999999999999,N,8,1", "baud rate"},  // too long for an int: not overflowed
        {"9600,NO,8,1", "parity"},
        {"9600,N,9,1", "data bits"},
        {"9600,N,4,1", "data bits"},
        {"9600,N,8,3", "stop bits"},
        {"9600,N,8,", "stop bits"},
        // Wrong field counts
        {"", "Invalid serial settings"},
        {"115200", "Invalid serial settings"},
        {"115200,N,8", "Invalid serial settings"},
        {"115200,N,8,1,0", "Invalid serial settings"},
        {",,,", "Invalid serial settings"},
    };
    for (const auto& [text, why] : rows) {
        SCOPED_TRACE(text);
        EXPECT_NE(rejection(text).find(why), std::string::npos);
    }
}
