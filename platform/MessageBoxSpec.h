#pragma once
// What a message box style number asks for, independent of the toolkit.

#include <vector>

namespace quellon {

struct MessageBoxSpec {
    enum class Icon { None, Critical, Question, Warning, Information };
    Icon icon = Icon::None;
    std::vector<int> buttons;  // mb::Id* in display order
    int defaultButton = 0;     // mb::Id* of the button that has the focus
    int escapeButton = 0;      // mb::Id* returned when the box is closed without a choice
};

// Low four bits: buttons (0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore, 3 Yes/No/Cancel,
// 4 Yes/No, 5 Retry/Cancel, anything else OK). 16/32/48/64: icon. 256/512: the
// second/third button is the default (first otherwise, or when there is none).
MessageBoxSpec styleToSpec(int style);

}  // namespace quellon
