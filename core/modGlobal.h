#pragma once
// The program's shared state: one instance, modGlobal, written and read by the
// start-up window, the frame decoder, the logger and the display windows, all on
// the user-interface thread.

#include <array>
#include <cstdint>
#include <string>

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

struct ModGlobal {
    std::string SettingsPath;  // full path of Quellon.ini
    std::string ProgramDir;    // directory used for the default log path
    std::string GuiMode = "0";
    std::string PortNumber = "1";
    std::string PortSettings = "115200,N,8,1";
    std::string StatusMessage;
    int16_t streamState = 0;  // 0 stopped, 1 running/consumed, 2 new reading waiting
    bool dataLogActive = false;
    bool logZeroPower = true;

    std::string BridgeFirmwareVersion;
    BridgeParameters params;

    std::array<std::string, 2> ScaleCodeA{}, ScaleCodeB{};
    std::array<std::string, 2> ScaleTextA{}, ScaleTextB{};
    std::array<ScaleSlot, 4> scaleSlots{};  // A1, A2, B1, B2

    ChannelReading reading;
    std::array<int16_t, 9> logData{};
};

// The one instance.
extern ModGlobal modGlobal;

}  // namespace quellon
