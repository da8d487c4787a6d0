#pragma once
// One fuzz input against the parsers of what the bridge sends: the frame
// decoder, the identification reply and the scale reply. The first byte picks
// the entry point; the rest is the input. Any broken invariant aborts, so
// libFuzzer and the smoke test both notice it.

#include <cstddef>
#include <cstdint>

namespace quellon::fuzz {

void runOne(const uint8_t* data, size_t size);

// How far the inputs got, so a generator that never reaches the deep paths
// shows up.
struct Stats {
    long framesDecoded = 0, frameErrors = 0;
    long infoAccepted = 0, infoOldFirmware = 0, infoRefused = 0;
    long scalesAccepted = 0, scalesRefused = 0;
};
Stats& stats();

}  // namespace quellon::fuzz
