#pragma once
// What the scripted bridge of the window tests sends, byte for byte.

#include <array>
#include <string>

namespace quellon::test {

// ":wexlo", the firmware version, then 13 five-digit parameter fields, with its CR.
inline std::string idReply(const std::string& fw = "1.10") {
    return ":wexlo," + fw +
           ",00025,00032,00128,00300,00250,00750,00900,00700,00950,00032,00000,00512,00000\r";
}

// A 20-byte data frame: ':', channel, six little-endian fields, four spare bytes, scale, CR.
inline std::string frame(char ch, std::array<int, 6> fields = {100, 0, 100, 0, 0, 0},
                         int scale = 0) {
    std::string f = {':', ch};
    for (int v : fields) f += {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    f.append(4, '\0');
    return f + static_cast<char>(scale) + '\r';
}

}  // namespace quellon::test
