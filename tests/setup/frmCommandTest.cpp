// The command window's buttons against what reaches its own port.
#include "link/command/frmCommand.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>

#include "SetupFakes.h"

using namespace quellon;
using namespace quellon::testing_setup;

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.PortNumber = "4";
        g.ScaleTextA = {"100W", "1KW"};
        g.ScaleTextB = {"250W", "2KW"};
    }
    QPushButton* button(frmCommand& w, const char* name) {
        auto* b = w.findChild<QPushButton*>(name);
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    ModGlobal g;
    TestPlatform platform;
};

TEST_F(CommandTest, CaptionsAndGroups) {
    frmCommand w(platform, g);
    EXPECT_EQ(w.windowTitle(), "Send Command ");
    const char* modes[] = {"Auto", "SWR  A", "SWR B", "A+B", "Pwr A", "Pwr B", "Scale"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(button(w, ("cmdMode_" + std::to_string(i)).c_str())->text(), modes[i]);
    EXPECT_EQ(button(w, "cmdScaleA_0")->text(), "Auto");
    EXPECT_EQ(button(w, "cmdScaleA_1")->text(), "100W");
    EXPECT_EQ(button(w, "cmdScaleA_2")->text(), "1KW");
    EXPECT_EQ(button(w, "cmdScaleB_1")->text(), "250W");
    EXPECT_EQ(button(w, "cmdScaleB_2")->text(), "2KW");
    EXPECT_EQ(button(w, "cmdExit")->text(), "Exit");
    EXPECT_TRUE(w.portOpen());
    EXPECT_EQ(platform.port()->portNumber(), 4);
}

TEST_F(CommandTest, SwrAWritesExactlyItsCommand) {
    frmCommand w(platform, g);
    button(w, "cmdMode_1")->click();
    EXPECT_EQ(platform.port()->written(), std::vector<std::string>{":01\r"});
}

TEST_F(CommandTest, EveryButtonSendsItsCode) {
    frmCommand w(platform, g);
    for (int i = 0; i < 7; ++i) button(w, ("cmdMode_" + std::to_string(i)).c_str())->click();
    for (int i = 0; i < 3; ++i) button(w, ("cmdScaleA_" + std::to_string(i)).c_str())->click();
    for (int i = 0; i < 3; ++i) button(w, ("cmdScaleB_" + std::to_string(i)).c_str())->click();
    const std::vector<std::string> want = {":00\r", ":01\r", ":02\r", ":03\r", ":04\r",
                                           ":05\r", ":06\r", ":30\r", ":31\r", ":32\r",
                                           ":33\r", ":34\r", ":35\r"};
    EXPECT_EQ(platform.port()->written(), want);
}

TEST_F(CommandTest, SilentBridgeGetsThreeWritesAHundredMillisecondsApart) {
    platform.reply = silent;
    frmCommand w(platform, g);
    button(w, "cmdScaleB_2")->click();
    EXPECT_EQ(platform.port()->written(), std::vector<std::string>(3, ":35\r"));
    EXPECT_EQ(platform.sleeps, std::vector<int>(3, 100));
    EXPECT_TRUE(platform.messageBoxes.empty());
    EXPECT_TRUE(button(w, "cmdScaleB_2")->isEnabled());
}

TEST_F(CommandTest, ScaleButtonsWithoutScaleReplyStillSend) {
    g.ScaleTextA = {"", ""};
    frmCommand w(platform, g);
    EXPECT_EQ(button(w, "cmdScaleA_1")->text(), "");
    button(w, "cmdScaleA_1")->click();
    button(w, "cmdScaleA_2")->click();
    EXPECT_EQ(platform.port()->written(), (std::vector<std::string>{":31\r", ":32\r"}));
}

TEST_F(CommandTest, ExitClosesThePort) {
    frmCommand w(platform, g);
    button(w, "cmdExit")->click();
    EXPECT_FALSE(platform.port()->isOpen());
    EXPECT_EQ(w.result(), QDialog::Rejected);
}

TEST_F(CommandTest, PortThatCannotBeOpenedLeavesOnlyExit) {
    platform.openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
    frmCommand w(platform, g);
    auto* line = w.findChild<QLabel*>("lblPort");
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->isHidden());
    EXPECT_NE(line->text().indexOf("Com:4 Invalid Port Number"), -1);
    EXPECT_FALSE(button(w, "cmdMode_0")->isEnabled());
    EXPECT_FALSE(button(w, "cmdScaleA_1")->isEnabled());
    EXPECT_TRUE(button(w, "cmdExit")->isEnabled());
    w.cmdMode_Click(1);  // even if reached another way, nothing is thrown
    EXPECT_TRUE(platform.port()->written().empty());
}
