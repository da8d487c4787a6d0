#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "platform/MessageBoxSpec.h"
#include "platform/QtPlatform.h"

using namespace quellon;
using Icon = MessageBoxSpec::Icon;

TEST(MessageBoxStyle, ButtonsFromTheLowBits) {
    using V = std::vector<int>;
    EXPECT_EQ(styleToSpec(0).buttons, V{mb::IdOk});
    EXPECT_EQ(styleToSpec(1).buttons, (V{mb::IdOk, mb::IdCancel}));
    EXPECT_EQ(styleToSpec(2).buttons, (V{mb::IdAbort, mb::IdRetry, mb::IdIgnore}));
    EXPECT_EQ(styleToSpec(3).buttons, (V{mb::IdYes, mb::IdNo, mb::IdCancel}));
    EXPECT_EQ(styleToSpec(4).buttons, (V{mb::IdYes, mb::IdNo}));
    EXPECT_EQ(styleToSpec(5).buttons, (V{mb::IdRetry, mb::IdCancel}));
    for (int other : {6, 7, 15}) EXPECT_EQ(styleToSpec(other).buttons, V{mb::IdOk}) << other;
    // Closing without a choice answers like the way out of each set.
    EXPECT_EQ(styleToSpec(0).escapeButton, mb::IdOk);
    EXPECT_EQ(styleToSpec(4).escapeButton, mb::IdNo);
    EXPECT_EQ(styleToSpec(5).escapeButton, mb::IdCancel);
    EXPECT_EQ(styleToSpec(3).escapeButton, mb::IdCancel);
}

TEST(MessageBoxStyle, IconsAndDefaultButton) {
    EXPECT_EQ(styleToSpec(0).icon, Icon::None);
    EXPECT_EQ(styleToSpec(16).icon, Icon::Critical);
    EXPECT_EQ(styleToSpec(32 + 4).icon, Icon::Question);
    EXPECT_EQ(styleToSpec(48).icon, Icon::Warning);
    EXPECT_EQ(styleToSpec(64 + 1).icon, Icon::Information);
    EXPECT_EQ(styleToSpec(80).icon, Icon::None);        // not a valid icon value
    EXPECT_EQ(styleToSpec(5 + 48).buttons.size(), 2u);  // icon bits leave the buttons alone

    EXPECT_EQ(styleToSpec(4).defaultButton, mb::IdYes);
    EXPECT_EQ(styleToSpec(4 + 256).defaultButton, mb::IdNo);
    EXPECT_EQ(styleToSpec(3 + 512).defaultButton, mb::IdCancel);
    EXPECT_EQ(styleToSpec(0 + 512).defaultButton, mb::IdOk);  // no third button
}

namespace {
bool pumpUntil(const std::function<bool()>& pred, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return pred();
}
}  // namespace

TEST(QtPlatformTimer, FiresStopsAndSurvivesItsOwnDestruction) {
    QtPlatform p([] { return std::string(); });
    auto t = p.newTimer();
    int ticks = 0;
    t->onTimeout = [&] {
        if (++ticks == 3) t->stop();
    };
    t->setInterval(1);
    t->start();
    EXPECT_TRUE(t->isActive());
    ASSERT_TRUE(pumpUntil([&] { return ticks >= 3; }));
    pumpUntil([] { return false; }, 30);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(t->isActive());

    t->onTimeout = [&] { t.reset(); };  // a window unloading from its own timer
    t->start();
    ASSERT_TRUE(pumpUntil([&] { return t == nullptr; }));
    pumpUntil([] { return false; }, 20);
}

TEST(QtPlatformTimer, ZeroIntervalNeverFires) {
    QtPlatform p([] { return std::string(); });
    auto t = p.newTimer();
    int ticks = 0;
    t->onTimeout = [&] { ++ticks; };
    t->setInterval(0);
    t->start();
    pumpUntil([] { return false; }, 30);
    EXPECT_EQ(ticks, 0);
    t->setInterval(1);  // active: the new interval starts it
    ASSERT_TRUE(pumpUntil([&] { return ticks > 0; }));
}

TEST(QtPlatformClock, TickCountAndLocalTime) {
    QtPlatform p([] { return std::string(); });
    const uint32_t a = p.tickCount();
    p.sleep(5);
    const uint32_t b = p.tickCount();
    EXPECT_GE(static_cast<int32_t>(b - a), 5);
    const LocalTime lt = p.localTime();
    EXPECT_GE(lt.year, 2020);
    EXPECT_GE(lt.month, 1);
    EXPECT_LE(lt.month, 12);
    EXPECT_LE(lt.millisecond, 999);
}

TEST(QtPlatformPorts, PortNumbersGoThroughTheSettingsFile) {
    std::string asked;
    QtPlatform p([&] {
        asked = "yes";
        return std::string("/nonexistent/Quellon.ini");
    });
    auto port = p.newSerialPort();
    port->setPortNumber(250);  // no machine has that many
    try {
        port->open();
        FAIL();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.number(), serr::InvalidPortNumber);
    }
    EXPECT_EQ(asked, "yes");
}
