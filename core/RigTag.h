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

}  // namespace quellon
