#include <gtest/gtest.h>

#include "platform/SerialPort.h"

using quellon::parseSerialSettings;
using quellon::SerialError;

namespace {

// Returns the error of a rejected text (number 380 is checked here).
std::string rejection(const std::string& text) {
    try {
        parseSerialSettings(text);
    } catch (const SerialError& e) {
        EXPECT_EQ(e.number(), quellon::serr::InvalidPropertyValue) << text;
        return e.description();
    }
    ADD_FAILURE() << "accepted: " << text;
    return {};
}

}  // namespace

TEST(SerialSettings, AcceptsTheUsualForms) {
    auto s = parseSerialSettings("115200,N,8,1");
    EXPECT_EQ(s.baud, 115200);
    EXPECT_EQ(s.parity, 'N');
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, 1);

    s = parseSerialSettings("9600,e,7,2");
    EXPECT_EQ(s.baud, 9600);
    EXPECT_EQ(s.parity, 'E');
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);

    s = parseSerialSettings(" 50 , m , 5 , 1.5 ");
    EXPECT_EQ(s.baud, 50);
    EXPECT_EQ(s.parity, 'M');
    EXPECT_EQ(s.dataBits, 5);
    EXPECT_EQ(s.stopBits, 3);  // one and a half

    EXPECT_EQ(parseSerialSettings("4000000,S,6,1").baud, 4000000);
    EXPECT_EQ(parseSerialSettings("1200,o,8,1").parity, 'O');
}

TEST(SerialSettings, RejectionNamesTheBadPart) {
    EXPECT_EQ(rejection("115200,X,8,1"),
              "Invalid serial settings \"115200,X,8,1\": parity must be N, E, O, M or S");
    EXPECT_NE(rejection("fast,N,8,1").find("baud rate"), std::string::npos);
    EXPECT_NE(rejection("49,N,8,1").find("baud rate"), std::string::npos);
    EXPECT_NE(rejection("4000001,N,8,1").find("baud rate"), std::string::npos);
    EXPECT_NE(rejection("-9600,N,8,1").find("baud rate"), std::string::npos);
    // Far too long to fit an int: rejected, not overflowed.
    EXPECT_NE(rejection("99999999999999999999,N,8,1").find("baud rate"), std::string::npos);
    EXPECT_NE(rejection("9600,NO,8,1").find("parity"), std::string::npos);
    EXPECT_NE(rejection("9600,N,9,1").find("data bits"), std::string::npos);
    EXPECT_NE(rejection("9600,N,4,1").find("data bits"), std::string::npos);
    EXPECT_NE(rejection("9600,N,8,3").find("stop bits"), std::string::npos);
    EXPECT_NE(rejection("9600,N,8,").find("stop bits"), std::string::npos);
}

TEST(SerialSettings, RejectsWrongFieldCount) {
    for (const char* t : {"", "115200", "115200,N,8", "115200,N,8,1,0", ",,,"}) {
        const std::string why = rejection(t);
        EXPECT_NE(why.find("Invalid serial settings"), std::string::npos) << t;
    }
}
