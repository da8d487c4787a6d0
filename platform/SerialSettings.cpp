// Parsing of the port settings text "baud,parity,data bits,stop bits".

#include <cctype>
#include <string>
#include <vector>

#include "core/Text.h"
#include "platform/SerialPort.h"

namespace quellon {

namespace {

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

[[noreturn]] void reject(const std::string& text, const std::string& why) {
    throw SerialError(serr::InvalidPropertyValue,
                      "Invalid serial settings \"" + text + "\": " + why);
}

}  // namespace

SerialSettings parseSerialSettings(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.push_back(trim(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (parts.size() != 4)
        reject(text,
               "expected four fields: baud rate, parity, data bits, stop bits (e.g. 115200,N,8,1)");

    SerialSettings s;
    // Digits only, and few enough that the value cannot overflow.
    const std::string& baud = parts[0];
    if (!allDigits(baud) || baud.size() > 7)
        reject(text, "baud rate must be a whole number from 50 to 4000000");
    s.baud = std::stoi(baud);
    if (s.baud < 50 || s.baud > 4000000)
        reject(text, "baud rate must be a whole number from 50 to 4000000");

    const std::string& parity = parts[1];
    const char p = parity.size() == 1
                       ? static_cast<char>(std::toupper(static_cast<unsigned char>(parity[0])))
                       : '?';
    if (p != 'N' && p != 'E' && p != 'O' && p != 'M' && p != 'S')
        reject(text, "parity must be N, E, O, M or S");
    s.parity = p;

    const std::string& data = parts[2];
    if (data.size() != 1 || data[0] < '5' || data[0] > '8')
        reject(text, "data bits must be 5, 6, 7 or 8");
    s.dataBits = data[0] - '0';

    const std::string& stop = parts[3];
    if (stop == "1") s.stopBits = 1;
    else if (stop == "2") s.stopBits = 2;
    else if (stop == "1.5") s.stopBits = 3;
    else reject(text, "stop bits must be 1, 1.5 or 2");
    return s;
}

}  // namespace quellon
