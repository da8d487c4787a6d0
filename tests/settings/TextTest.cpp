#include <gtest/gtest.h>

#include "core/Text.h"

using namespace quellon;

TEST(Trim, BlanksGoFromBothEndsOnly) {
    const struct {
        std::string_view in, out;
    } rows[] = {
        {"", ""},
        {" \t\r\n\v\f", ""},
        {"  /dev/ttyUSB0\r\n", "/dev/ttyUSB0"},
        {"115200", "115200"},
        {" a b ", "a b"},  // inner blanks stay
        {"\tkey", "key"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(trimView(r.in), r.out) << '"' << r.in << '"';
        EXPECT_EQ(trim(r.in), std::string(r.out));
    }
    EXPECT_EQ(trimView(" key\n ", " \t"), "key\n");  // a caller's own set of blanks
}
