#include <gtest/gtest.h>

#include "TestUtil.h"
#include "platform/MessageBoxSpec.h"
#include "platform/QtPlatform.h"

using namespace quellon;
using test::pumpUntil;
using Icon = MessageBoxSpec::Icon;

TEST(MessageBoxStyle, ButtonsIconsAndDefaults) {
    using V = std::vector<int>;
    using namespace mb;
    const struct {
        int style;
        V buttons;
        int defaultButton, escapeButton;  // escape: the way out of each set
        Icon icon;
    } rows[] = {
        {0, {IdOk}, IdOk, IdOk, Icon::None},
        {1 + 64, {IdOk, IdCancel}, IdOk, IdCancel, Icon::Information},
        {2 + 16, {IdAbort, IdRetry, IdIgnore}, IdAbort, IdAbort, Icon::Critical},
        {3 + 512, {IdYes, IdNo, IdCancel}, IdCancel, IdCancel, Icon::None},
        {4 + 32, {IdYes, IdNo}, IdYes, IdNo, Icon::Question},
        {4 + 256, {IdYes, IdNo}, IdNo, IdNo, Icon::None},
        {5 + 48, {IdRetry, IdCancel}, IdRetry, IdCancel, Icon::Warning},
        {6, {IdOk}, IdOk, IdOk, Icon::None},
        {7, {IdOk}, IdOk, IdOk, Icon::None},
        {15 + 80, {IdOk}, IdOk, IdOk, Icon::None},  // 80 is no icon
        {0 + 512, {IdOk}, IdOk, IdOk, Icon::None},  // no third button
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.style);
        const MessageBoxSpec s = styleToSpec(r.style);
        EXPECT_EQ(s.buttons, r.buttons);
        EXPECT_EQ(s.defaultButton, r.defaultButton);
        EXPECT_EQ(s.escapeButton, r.escapeButton);
        EXPECT_EQ(s.icon, r.icon);
    }
}

TEST(QtPlatformTimer, FiresStopsAndSurvivesItsOwnDestruction) {
    QtPlatform p([] { return std::string(); });
    auto t = p.newTimer();
    int ticks = 0;
    t->onTimeout = [&] { ++ticks; };
    t->setInterval(0);  // never fires
    t->start();
    pumpUntil([] { return false; }, 30);
    EXPECT_EQ(ticks, 0);
    t->onTimeout = [&] {
        if (++ticks == 3) t->stop();
    };
    t->setInterval(1);  // active: the new interval starts it
    ASSERT_TRUE(pumpUntil([&] { return ticks >= 3; }));
    pumpUntil([] { return false; }, 30);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(t->isActive());

    t->onTimeout = [&] { t.reset(); };  // a window unloading from its own timer
    t->start();
    ASSERT_TRUE(pumpUntil([&] { return t == nullptr; }));
    pumpUntil([] { return false; }, 20);
}

TEST(QtPlatform, ClockAndPortNumbersThroughTheSettingsFile) {
    bool asked = false;
    QtPlatform p([&] {
        asked = true;
        return std::string("/nonexistent/Quellon.ini");
    });
    const uint32_t a = p.tickCount();
    p.sleep(5);
    EXPECT_GE(static_cast<int32_t>(p.tickCount() - a), 5);
    const LocalTime lt = p.localTime();
    EXPECT_GE(lt.year, 2020);
    EXPECT_TRUE(lt.month >= 1 && lt.month <= 12 && lt.millisecond <= 999);

    auto port = p.newSerialPort();
    port->setPortNumber(250);  // no machine has that many
    EXPECT_EQ(test::errorOf([&] { port->open(); }), serr::InvalidPortNumber);
    EXPECT_TRUE(asked);
}
