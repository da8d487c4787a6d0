// The command window's buttons against what reaches the session's port.
#include "command/frmCommand.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>

#include "SetupFakes.h"
#include "session/BridgeSession.h"

using namespace quellon;
using namespace quellon::testing_setup;
using Lines = std::vector<std::string>;

class CommandTest : public ::testing::Test {
protected:
    CommandTest() { g.PortNumber = "4"; }
    QPushButton* button(const std::string& name) {
        if (!w) {
            session = std::make_unique<BridgeSession>(platform, g);
            w = std::make_unique<frmCommand>(platform, g, *session);
        }
        return w->findChild<QPushButton*>(QString::fromStdString(name));
    }
    TestPlatform platform;
    ModGlobal g;
    std::unique_ptr<BridgeSession> session;
    std::unique_ptr<frmCommand> w;
};

TEST_F(CommandTest, EveryButtonSendsItsCodeOnce) {
    for (int i = 0; i < 7; ++i) button("cmdMode_" + std::to_string(i))->click();
    for (std::string side : {"A", "B"})
        for (int i = 0; i < 3; ++i) button("cmdScale" + side + "_" + std::to_string(i))->click();
    const Lines sent = {":00\r", ":01\r", ":02\r", ":03\r", ":04\r", ":05\r", ":06\r",
                        ":30\r", ":31\r", ":32\r", ":33\r", ":34\r", ":35\r"};
    platform.runUntil([&] { return session->idle(); }, 5000);
    EXPECT_EQ(platform.port()->written(), sent);
    EXPECT_EQ(platform.port()->portNumber(), 4);
}

TEST_F(CommandTest, PortThatCannotBeOpenedLeavesOnlyExit) {
    platform.openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
    EXPECT_TRUE(button("cmdExit")->isEnabled() && !button("cmdMode_0")->isEnabled());
    EXPECT_NE(w->findChild<QLabel*>("lblPort")->text().indexOf("Com:4 Invalid Port Number"), -1);
    w->cmdMode_Click(1);  // even if reached another way, nothing is thrown
    EXPECT_TRUE(platform.port()->written().empty());
}
