#include <gtest/gtest.h>

#include "core/Text.h"

using namespace quellon;

TEST(Trim, BlanksGoFromBothEndsOnly) {
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"", ""},
        {" \t\r\n\v\f", ""},
        {"  /dev/ttyUSB0\r\n", "/dev/ttyUSB0"},
        {"115200", "115200"},
        {" a b ", "a b"},  // inner blanks stay
        {"\tkey", "key"},
    };
    for (const auto& [in, out] : rows) {
        EXPECT_EQ(trimView(in), out) << '"' << in << '"';
        EXPECT_EQ(trim(in), std::string(out));
    }
    EXPECT_EQ(trimView(" key\n ", " \t"), "key\n");  // a caller's own set of blanks
}
