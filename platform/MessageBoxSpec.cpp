#include "platform/MessageBoxSpec.h"

#include "platform/Platform.h"

namespace quellon {

MessageBoxSpec styleToSpec(int style) {
    using namespace mb;
    MessageBoxSpec s;
    switch (style & 0x0F) {
        case OkCancel:
            s.buttons = {IdOk, IdCancel};
            s.escapeButton = IdCancel;
            break;
        case AbortRetryIgnore:
            s.buttons = {IdAbort, IdRetry, IdIgnore};
            s.escapeButton = IdAbort;
            break;
        case YesNoCancel:
            s.buttons = {IdYes, IdNo, IdCancel};
            s.escapeButton = IdCancel;
            break;
        case YesNo:
            s.buttons = {IdYes, IdNo};
            s.escapeButton = IdNo;
            break;
        case RetryCancel:
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
