#pragma once
// The 20 bytes the bridge sends for fixed counts on the "100W" scale (power =
// count^2 * 20 / 20736), built by hand from the frame layout.

#include <string>

inline std::string frameOf(char channel, int dir, int rev, int dirMax, int revMax) {
    std::string f(20, '\0');
    f[0] = ':';
    f[1] = channel;
    const int fields[] = {
        dir, rev, dirMax, revMax, dirMax * dirMax * 20 / 20736, revMax * revMax * 20 / 20736};
    for (int i = 0; i < 6; ++i) {
        f[2 + 2 * i] = static_cast<char>(fields[i] & 0xFF);
        f[3 + 2 * i] = static_cast<char>(fields[i] >> 8);
    }
    f[19] = '\r';
    return f;
}
