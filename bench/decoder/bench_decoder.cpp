// Frames decoded per second of CPU time on one core: the decoder's share of the receive
// handler's work. Prints "decoder: N frames/s" for the numbers alone (what the
// receive handler does per frame) and "decoder+texts: N frames/s" when every
// frame's texts are made too (what a window paint or a publisher asks for, a
// few dozen times a second).

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench/Process.h"
#include "link/FrameDecoder.h"
#include "link/Handshake.h"

using namespace quellon;

int main() {
    BridgeState g;
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

    // The thread's CPU time, not the wall clock: the machine is shared, and a
    // figure per core must not count the time others ran.
    using bench::threadCpuSeconds;
    long sink = 0;
    const DecoderInputs in = inputsOf(g);
    ChannelReading reading;
    auto rate = [&](bool texts) {
        long decoded = 0;
        const double start = threadCpuSeconds();
        double now = start;
        do {
            for (int rep = 0; rep < 4096; ++rep) {
                decodeInto(frames[static_cast<size_t>(decoded) % frames.size()].data(), in,
                           reading);
                if (texts) sink += static_cast<long>(reading.withTexts().swrText.size());
                else sink += reading.swrTenths + reading.voltDirTenths;
                ++decoded;
            }
            now = threadCpuSeconds();
        } while (now - start < 1.0);
        return static_cast<double>(decoded) / (now - start);
    };
    const double numbers = rate(false);
    const double withTexts = rate(true);
    std::printf("decoder: %.0f frames/s\n", numbers);
    std::printf("decoder+texts: %.0f frames/s\n", withTexts);
    return sink == 0 ? 1 : 0;  // keeps the work observable
}
