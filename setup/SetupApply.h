#pragma once
// The logic behind the setup dialog, kept free of widgets so it can be driven
// from tests: the field range checks, the command value format and the Apply
// sequence that saves the user settings and uploads changed bridge parameters.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/modGlobal.h"

namespace quellon {

// Last five characters of "00000" + decimal n: 250 -> "00250", 10000 -> "10000".
std::string padValue5(int16_t n);

// "Please enter only integer number > min and < max."
std::string rangeMessage(int min, int max);

// True when the text is a number and min <= value <= max (both bounds allowed,
// decimals inside the range allowed).
bool checkIntRangeValue(const std::string& text, int min, int max);

// One range-checked field of the dialog.
struct FieldCheck {
    const char* field;  // object name of the text box
    int min;
    int max;
    const char* title;  // message box title
};
// All range-checked fields, in the dialog's order.
const std::vector<FieldCheck>& fieldChecks();
// nullptr when the field has no range check.
const FieldCheck* findFieldCheck(const std::string& field);

// The dialog's contents as Apply reads them.
struct SetupValues {
    std::string descA, descB;
    std::string fileName;
    std::string intervalTime;
    bool clearMode = false;  // chkMode
    bool pwrZero = false;    // chkPwrZero

    std::string maxSwrA, maxSwrB;
    std::string delay1, delay2, nFwdMin;
    std::array<std::string, 4> scales;  // A scale 1, A scale 2, B scale 1, B scale 2
    std::string scaleMinA, scaleMaxA, scaleMinB, scaleMaxB;
    std::string scaleDelay;
    bool expandA = false, expandB = false;

    int selectedMode = -1;  // index of the selected Option1 button, -1 none
};

struct ApplyResult {
    std::vector<std::string> sent;             // commands in the order written, with the CR
    std::vector<std::string> labels;           // the parameter each of them carries
    std::vector<std::string> notAcknowledged;  // labels of parameters the bridge did not confirm
    std::vector<std::string> notConverted;     // labels of changed fields whose text is no number
    // Changed fields holding a number outside what the field allows (or the
    // command can carry): label, text and the allowed range.
    std::vector<std::string> outOfRange;
    bool modeChanged = false;
    int newMode = -1;
};

// Saves the six user settings keys, then lists (in sent) every changed
// parameter's command in the bridge's order and updates the program's copies.
// Does not touch the display mode key: the caller does that when modeChanged
// is set, after telling the user.
ApplyResult applySetup(const SetupValues& v, int guiAtLoad, ModGlobal& g);

// Sends one acknowledged command; acked hears the outcome later.
using CommandSender =
    std::function<void(const std::string& cmd, std::function<void(bool acked)> acked)>;
// Sends the commands of r one after the other and notes the parameters the
// bridge did not confirm; done gets the completed result after the last
// outcome (at once when there is nothing to send).
void uploadSetup(const ApplyResult& r, const CommandSender& send,
                 std::function<void(const ApplyResult&)> done);

// Text for the message box listing the parameters the bridge did not confirm;
// empty when there is nothing to report.
std::string notAcknowledgedMessage(const ApplyResult& r);
// Text for the message box listing fields that were not sent because they are
// no numbers; empty when none.
std::string notConvertedMessage(const ApplyResult& r);
// The same for numbers out of range; empty when none.
std::string outOfRangeMessage(const ApplyResult& r);

}  // namespace quellon
