// The command window's buttons against what reaches its own port.
#include "link/command/frmCommand.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>

#include "SetupFakes.h"

using namespace quellon;
using namespace quellon::testing_setup;
using Lines = std::vector<std::string>;

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.PortNumber = "4";
        g.ScaleTextA = {"100W", "1KW"};
        g.ScaleTextB = {"250W", "2KW"};
    }
    QPushButton* button(frmCommand& w, const std::string& name) {
        auto* b = w.findChild<QPushButton*>(QString::fromStdString(name));
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    ModGlobal g;
    TestPlatform platform;
};

TEST_F(CommandTest, CaptionsAndEveryButtonsCode) {
    frmCommand w(platform, g);
    EXPECT_EQ(w.windowTitle(), "Send Command ");
    EXPECT_TRUE(w.portOpen());
    EXPECT_EQ(platform.port()->portNumber(), 4);
    EXPECT_EQ(button(w, "cmdExit")->text(), "Exit");
    const std::pair<std::string, QString> want[] = {
        {"cmdMode_0", "Auto"},  {"cmdMode_1", "SWR  A"}, {"cmdMode_2", "SWR B"},
        {"cmdMode_3", "A+B"},   {"cmdMode_4", "Pwr A"},  {"cmdMode_5", "Pwr B"},
        {"cmdMode_6", "Scale"}, {"cmdScaleA_0", "Auto"}, {"cmdScaleA_1", "100W"},
        {"cmdScaleA_2", "1KW"}, {"cmdScaleB_0", "Auto"}, {"cmdScaleB_1", "250W"},
        {"cmdScaleB_2", "2KW"}};
    for (const auto& [name, caption] : want) {
        EXPECT_EQ(button(w, name)->text(), caption) << name;
        button(w, name)->click();
    }
    // One command per click, each exactly once.
    const Lines sent = {":00\r", ":01\r", ":02\r", ":03\r", ":04\r", ":05\r", ":06\r",
                        ":30\r", ":31\r", ":32\r", ":33\r", ":34\r", ":35\r"};
    EXPECT_EQ(platform.port()->written(), sent);
}

TEST_F(CommandTest, SilentBridgeGetsThreeWritesAHundredMillisecondsApart) {
    platform.reply = silent;
    frmCommand w(platform, g);
    button(w, "cmdScaleB_2")->click();
    EXPECT_EQ(platform.port()->written(), Lines(3, ":35\r"));
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
    EXPECT_EQ(platform.port()->written(), (Lines{":31\r", ":32\r"}));
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
