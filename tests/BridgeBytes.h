#pragma once
// What the bridge sends, built from its layout for the tests: data frames and the
// identification reply.

#include <array>
#include <cstdint>
#include <string>

namespace quellon::test {

// A 20-byte data frame: ':', the channel, six little-endian fields (nDir, nRev, nDirMax,
// nRevMax, pwrDirMax, pwrRefMax), four spare bytes, the scale code, CR.
inline std::string frame(char ch, std::array<int, 6> fields = {100, 0, 100, 0, 0, 0},
                         int scale = 0) {
    std::string f = {':', ch};
    for (int v : fields) f += {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    f.append(4, '\0');
    return f + static_cast<char>(scale) + '\r';
}

// ":wexlo", the firmware version, then 13 five-digit parameter fields, with its CR.
inline std::string idReply(const std::string& fw = "1.10") {
    return ":wexlo," + fw +
           ",00025,00032,00128,00300,00250,00750,00900,00700,00950,00032,00000,00512,00000\r";
}

// The bytes of a frame as the decoder takes them.
inline const uint8_t* bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

}  // namespace quellon::test
