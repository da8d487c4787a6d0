#pragma once
// Program image numbers shared by the windows that choose an image and the
// code that draws it.

namespace quellon {

// Indicator lamps.
namespace lamp {
constexpr int GreenLit = 101;
constexpr int GreenDark = 102;
constexpr int RedLit = 105;
constexpr int RedDark = 106;
constexpr int YellowLit = 107;
constexpr int YellowDark = 108;
}  // namespace lamp

// Port detection slot icons.
namespace porticon {
constexpr int Serial = 101;
constexpr int InUse = 103;
constexpr int Error = 104;
constexpr int Bridge = 105;
}  // namespace porticon

}  // namespace quellon
