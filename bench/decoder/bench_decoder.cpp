// Frames decoded per second on one core: the decoder's share of the receive
// handler's work. Prints "decoder: N frames/s".

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "link/FrameDecoder.h"
#include "link/Handshake.h"

using namespace quellon;

int main() {
    ModGlobal g;
    g.params.nFwdMin = 25;
    g.params.MaxSwrA = 300;
    g.params.MaxSwrB = 250;
    ParseScaleCodes(":0145", g);

    // A mix like a live stream: both channels, both scales, counts across the range.
    std::vector<std::array<uint8_t, kFrameLength>> frames;
    for (int i = 0; i < 256; ++i) {
        std::array<uint8_t, kFrameLength> f{};
        f[0] = ':';
        f[1] = i % 2 ? 'B' : 'A';
        const int counts[] = {(i * 37) % 1024, (i * 11) % 300,  (i * 41) % 1024,
                              (i * 13) % 400,  (i * 97) % 9999, (i * 7) % 500};
        for (int k = 0; k < 6; ++k) {
            f[2 + 2 * k] = static_cast<uint8_t>(counts[k] & 0xFF);
            f[3 + 2 * k] = static_cast<uint8_t>(counts[k] >> 8);
        }
        f[18] = static_cast<uint8_t>(i % 4);
        f[19] = '\r';
        frames.push_back(f);
    }

    using clock = std::chrono::steady_clock;
    long decoded = 0;
    size_t textBytes = 0;
    const auto start = clock::now();
    auto now = start;
    do {
        for (int rep = 0; rep < 4096; ++rep) {
            decodeFrame(frames[static_cast<size_t>(decoded) % frames.size()].data(), g);
            textBytes += g.reading.swrText.size();
            ++decoded;
        }
        now = clock::now();
    } while (now - start < std::chrono::seconds(1));
    const double seconds = std::chrono::duration<double>(now - start).count();
    std::printf("decoder: %.0f frames/s\n", decoded / seconds);
    return textBytes == 0 ? 1 : 0;  // keeps the work observable
}
