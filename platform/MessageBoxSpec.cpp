#include "platform/MessageBoxSpec.h"

#include "platform/Platform.h"

namespace quellon {

MessageBoxSpec styleToSpec(int style) {
    using namespace mb;
    MessageBoxSpec s;
    switch (style & 0x0F) {
        case 1:
            s.buttons = {IdOk, IdCancel};
            s.escapeButton = IdCancel;
            break;
        case 2:
            s.buttons = {IdAbort, IdRetry, IdIgnore};
            s.escapeButton = IdAbort;
            break;
        case 3:
            s.buttons = {IdYes, IdNo, IdCancel};
            s.escapeButton = IdCancel;
            break;
        case 4:
            s.buttons = {IdYes, IdNo};
            s.escapeButton = IdNo;
            break;
        case 5:
            s.buttons = {IdRetry, IdCancel};
            s.escapeButton = IdCancel;
            break;
        default:
            s.buttons = {IdOk};
            s.escapeButton = IdOk;
            break;
    }
    switch (style & 0x70) {
        case Critical: s.icon = MessageBoxSpec::Icon::Critical; break;
        case Question: s.icon = MessageBoxSpec::Icon::Question; break;
        case Exclamation: s.icon = MessageBoxSpec::Icon::Warning; break;
        case Information: s.icon = MessageBoxSpec::Icon::Information; break;
        default: break;
    }
    size_t def = 0;
    if ((style & 0x300) == 0x100) def = 1;
    if ((style & 0x300) == 0x200) def = 2;
    if (def >= s.buttons.size()) def = 0;
    s.defaultButton = s.buttons[def];
    return s;
}

}  // namespace quellon
