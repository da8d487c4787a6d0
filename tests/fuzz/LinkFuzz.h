#pragma once
// One fuzz input against the parsers of what the bridge sends (frame decoder,
// identification reply, scale reply): the first byte picks the entry point. A
// broken invariant aborts, so libFuzzer and the smoke test both notice it.

#include <cstddef>
#include <cstdint>

namespace quellon::fuzz {

void runOne(const uint8_t* data, size_t size);

// How far the inputs got, so a generator that misses the deep paths shows up.
struct Stats {
    long framesDecoded = 0, frameErrors = 0;
    long infoAccepted = 0, infoOldFirmware = 0, infoRefused = 0;
    long scalesAccepted = 0, scalesRefused = 0;
};
Stats& stats();

}  // namespace quellon::fuzz
