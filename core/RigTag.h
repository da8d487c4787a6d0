#pragma once
// What the transceiver was tuned to when a reading was taken: the frequency in
// hertz and the mode's name ("USB", "CW", ...). hz 0: not known (no rig, or the
// rig not answering), and the mode is empty then.

#include <cstdint>
#include <string>

namespace quellon {

struct RigTag {
    int64_t hz = 0;
    std::string mode;
    bool known() const { return hz > 0; }
};

// Modes as one byte, for stores that keep one per sample: 0 is "no mode",
// Hamlib's names have fixed codes, any other name gets the next free one
// (up to 255; beyond that a name reads back as ""). Safe from any thread.
uint8_t modeCode(const std::string& name);
std::string modeName(uint8_t code);

}  // namespace quellon
