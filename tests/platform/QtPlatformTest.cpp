#include <gtest/gtest.h>

#include "TestUtil.h"
#include "platform/MessageBoxSpec.h"
#include "platform/QtPlatform.h"

using namespace quellon;
using test::pumpUntil;
using Icon = MessageBoxSpec::Icon;

TEST(MessageBoxStyle, ButtonsIconsAndDefaults) {
    using namespace mb;
    const struct {
        int style;
        std::vector<int> buttons;
        int defaultButton, escapeButton;  // escape: the way out of each set
        Icon icon;
    } rows[] = {
        {3 + 512, {IdYes, IdNo, IdCancel}, IdCancel, IdCancel, Icon::None},
        {4 + 256 + 32, {IdYes, IdNo}, IdNo, IdNo, Icon::Question},
        {15 + 80, {IdOk}, IdOk, IdOk, Icon::None},  // unknown set, 80 is no icon
        {0 + 512, {IdOk}, IdOk, IdOk, Icon::None},  // no third button
    };
    for (const auto& r : rows) {
        const MessageBoxSpec s = styleToSpec(r.style);
        EXPECT_EQ(s.buttons, r.buttons) << r.style;
        EXPECT_EQ(s.defaultButton, r.defaultButton) << r.style;
        EXPECT_EQ(s.escapeButton, r.escapeButton) << r.style;
        EXPECT_EQ(s.icon, r.icon) << r.style;
    }
}

TEST(QtPlatform, TimerMayBeDestroyedInItsHandlerAndBadPortNumbersFail) {
    QtPlatform p([] { return std::string("/nonexistent/Quellon.ini"); });
    auto t = p.newTimer();
    t->onTimeout = [&] { t.reset(); };  // a window unloading from its own timer
    t->setInterval(1);
    t->start();
    ASSERT_TRUE(pumpUntil([&] { return t == nullptr; }));

    auto port = p.newSerialPort();
    port->setPortNumber(250);  // no machine has that many
    EXPECT_EQ(test::errorOf([&] { port->open(); }), serr::InvalidPortNumber);
}
