#pragma once
// What the program knows about its files, its connection and the bridge: one
// instance, modGlobal, on the user-interface thread. The readings themselves
// are not here: each source publishes them as values (session/ReadingBus.h),
// and the logging switch is the logger's.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ChannelReading.h"
#include "core/Version.h"

namespace quellon {

inline constexpr const char* kAppTitle = "Quellon by WEXLO";

struct BridgeParameters {
    double nFwdMin = 0;   // counts at or below give no power
    double Delay1 = 0;    // instantaneous refresh period
    int16_t Delay2 = 0;   // peak refresh period
    int16_t MaxSwrA = 0;  // SWR alert x100
    int16_t MaxSwrB = 0;
    int16_t ScaleMinA = 0;  // scale-switch thresholds (already divided by 10)
    int16_t ScaleMaxA = 0;
    int16_t ScaleMinB = 0;
    int16_t ScaleMaxB = 0;
    int16_t ScaleDelay = 0;
    int16_t ExpandA = 0;  // 0 or 512
    int16_t ExpandB = 0;
};

// Decoder constants of one scale slot. They start on the "100W" row so that a
// bridge whose scale reply was never accepted still decodes on a sane range
// (and the gauge range is never empty).
struct ScaleSlot {
    int16_t scalaVoltMult = 141;
    int16_t scalaPwrMult = 20;
};

enum SlotIndex { SlotA1 = 0, SlotA2 = 1, SlotB1 = 2, SlotB2 = 3 };
using ScaleSlots = std::array<ScaleSlot, 4>;  // A1, A2, B1, B2

// Where the program keeps its files.
struct Paths {
    std::string SettingsPath;  // full path of Quellon.ini
    std::string ProgramDir;    // directory used for the default log path
};

// The measurement stream, as the session runs it.
enum class StreamState : int16_t {
    Stopped = 0,  // no stream
    Running = 1,  // started (whether frames come is the watchdogs' business)
};

// The display window chosen by the GUI key. The key holds the number as text;
// Unknown stands for any other text until the connect sequence repairs it.
enum class DisplayMode : int8_t {
    Bargraphs = 0,
    Gauges = 1,
    WattMeter = 2,
    Voltages = 3,
    Timing = 4,
    Unknown = -1,
};
DisplayMode displayModeFromText(std::string_view text);
// "0".."4"; Unknown gives "".
const char* displayModeText(DisplayMode mode);

// What the connection is doing now.
struct SessionState {
    DisplayMode GuiMode = DisplayMode::Bargraphs;
    std::string PortNumber = "1";
    std::string PortSettings = "115200,N,8,1";
    std::string StatusMessage;
};

// What the bridge said about itself: firmware, parameters and scales.
struct BridgeState {
    std::string BridgeFirmwareVersion;
    BridgeParameters params;

    std::array<std::string, 2> ScaleCodeA{}, ScaleCodeB{};
    std::array<std::string, 2> ScaleTextA{}, ScaleTextB{};
    ScaleSlots scaleSlots{};
};

// Composed of its parts so that a function can take only the part it needs
// (const Paths&, const BridgeState&, ...) while the fields keep their names.
struct ModGlobal : Paths, SessionState, BridgeState {};

// The one instance.
extern ModGlobal modGlobal;

}  // namespace quellon
