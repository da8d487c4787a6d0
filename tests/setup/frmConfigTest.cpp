// The setup dialog driven as a user would: field checks, and Apply through the
// session's port.
#include "setup/frmConfig.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>

#include "SetupFakes.h"
#include "session/BridgeSession.h"

using namespace quellon;
using namespace quellon::testing_setup;

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.SettingsPath = ini.path;
        g.PortNumber = "3";
        g.params = {12.5, 32, 128, 300, 250, 75, 90, 70, 95, 32, 512, 0};
        g.ScaleCodeA = {"1", "4"};
        g.ScaleCodeB = {"0", "5"};
        g.ScaleTextA = {"100W", "1KW"};
        g.ScaleTextB = {"50W", "2KW"};
        session = std::make_unique<BridgeSession>(platform, g);
        d = std::make_unique<frmConfig>(platform, g, *session);
    }
    void apply() {
        d->cmdApply_Click();
        platform.runUntil([&] { return !d->applying(); }, 5000);
    }
    QLineEdit* field(const char* name) { return d->findChild<QLineEdit*>(name); }
    void select(const char* name) { d->findChild<QAbstractButton*>(name)->setChecked(true); }
    // Types a text into a field and moves on to the next control.
    void leave(const char* name, const QString& value) {
        field(name)->setText(value);
        QFocusEvent ev(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(field(name), &ev);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    TempIni ini;
    ModGlobal g;
    TestPlatform platform;
    std::unique_ptr<BridgeSession> session;
    std::unique_ptr<frmConfig> d;
};

TEST_F(ConfigTest, ScaleListsOfferEveryRangeAndShowTheCurrentOne) {
    const std::pair<const char*, const char*> combos[] = {{"comboScalaMultA1", "100W"},
                                                          {"comboScalaMultA2", "1KW"},
                                                          {"comboScalaMultB1", "50W"},
                                                          {"comboScalaMultB2", "2KW"}};
    for (const auto& [name, current] : combos) {  // the ranges' order: ScaleCodes' test
        auto* c = d->findChild<QComboBox*>(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(std::tuple(c->count(), c->currentText()), std::tuple(7, current)) << name;
    }
}

TEST_F(ConfigTest, CheckedFieldsAcceptTheirBoundsAndRefuseBeyond) {
    const std::tuple<const char*, int, int, const char*> want[] = {
        {"txtIntervalTime", 100, 5000, " DataLog File"},
        {"txtMaxSwrA", 100, 999, "SWR Alert (x100) - Channel A"},
        {"txtMaxSwrB", 100, 999, "SWR Alert (x100) - Channel B"},
        {"txtScaleMaxA", 10, 1000, "Scale Max"},
        {"txtScaleMaxB", 10, 1000, "Scale Max"},
        {"txtScaleMinA", 10, 1000, "Scale Min"},
        {"txtScaleMinB", 10, 1000, "Scale Min"},
        {"txtDelay1", 8, 1024, "Pwr Refreshing Time"},
        {"txtDelay2", 8, 1024, "Peak Pwr Refreshing Time"},
        {"txtnFwdMin", 5, 1023, "Min Pwr Read (sample)"},
    };
    for (const auto& [name, min, max, title] : want) {
        SCOPED_TRACE(name);
        platform.messageBoxes.clear();
        for (const QString& good :
             {QString::number(min), QString::number(max), QString::number(min) + ".5"})
            leave(name, good);
        EXPECT_TRUE(platform.messageBoxes.empty());
        for (int bad : {max + 1, min - 1}) leave(name, QString::number(bad));
        ASSERT_EQ(platform.messageBoxes.size(), 2u);
        for (const auto& box : platform.messageBoxes) {
            EXPECT_EQ(box.text, "Please enter only integer number > " + std::to_string(min) +
                                    " and < " + std::to_string(max) + ".");
            EXPECT_EQ(std::tuple(box.style, box.title), std::tuple(16, title));
        }
    }
}

TEST_F(ConfigTest, RefusedFieldTurnsRedKeepsTheFocusAndRecovers) {
    d->show();
    QLineEdit* f = field("txtDelay1");
    for (const char* bad : {"7", "abc", "", "12abc"}) {
        f->setText("16");  // leave with a good value first so the focus really is elsewhere
        field("txtDelay2")->setFocus();
        QCoreApplication::processEvents();
        ASSERT_NE(d->focusWidget(), f);
        platform.messageBoxes.clear();
        leave("txtDelay1", bad);
        EXPECT_EQ(platform.messageBoxes.size(), 1u) << bad;  // its text: the bounds' test
        EXPECT_EQ(d->focusWidget(), f) << bad;
        EXPECT_EQ(f->palette().color(QPalette::Base), QColor(255, 0, 0));
    }
    leave("txtDelay1", "16");
    EXPECT_EQ(f->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    d->close();
}

TEST_F(ConfigTest, LeavingAFieldForCancelChecksItToo) {
    d->show();
    d->activateWindow();
    QLineEdit* f = field("txtIntervalTime");  // on the frame shown at first
    f->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(d->focusWidget(), f);
    f->setText("50");
    // A press on Cancel moves the focus there, released elsewhere it clicks nothing.
    d->findChild<QAbstractButton*>("cmdCancel")->setFocus(Qt::MouseFocusReason);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    ASSERT_EQ(platform.messageBoxes.size(), 1u);
    EXPECT_EQ(platform.messageBoxes[0].title, " DataLog File");
    EXPECT_EQ(f->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_EQ(d->focusWidget(), f);
    d->close();
}

TEST_F(ConfigTest, ApplyAfterDefaultSendsTheChangedRows) {
    d->cmdDefault_Click();
    apply();
    const std::vector<std::string> want = {":2200300\r", ":2000025\r", ":371414\r", ":2700750\r",
                                           ":2800900\r"};
    EXPECT_EQ(platform.port()->written(), want);
    EXPECT_TRUE(d->result() == QDialog::Accepted && !platform.port()->isOpen());
}

TEST_F(ConfigTest, ModeChangeSendsFirstThenWritesTellsAndEnds) {
    field("txtMaxSwrA")->setText("250");
    select("Option1_1");
    platform.whileMessageBoxShown = [&](const MessageBoxCall& m) {
        EXPECT_EQ(m.text, "Program will Exit, please Restart the program.");
        EXPECT_EQ(platform.port()->written(), std::vector<std::string>{":2100250\r"});
        EXPECT_EQ(ini.key("GUI"), "1");
    };
    EXPECT_THROW(apply(), ProgramEnded);
    EXPECT_EQ(std::tuple(platform.messageBoxes.size(), platform.endedCode), std::tuple(1u, 0));
}

TEST_F(ConfigTest, PortThatCannotBeOpenedIsShownAndApplyStillSaves) {
    d.reset();  // the old dialog lets go of the port first
    platform.port()->openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
    d = std::make_unique<frmConfig>(platform, g, *session);
    auto* line = d->findChild<QLabel*>("lblPort");
    EXPECT_FALSE(line->isHidden());
    EXPECT_EQ(line->text(), "Com:3 Invalid Port Number: parameters cannot be sent");
    field("txtDescA")->setText("still saved");
    field("txtMaxSwrA")->setText("250");
    EXPECT_NO_THROW(apply());
    EXPECT_EQ(ini.key("ChannelA"), "still saved");
    EXPECT_EQ(platform.messageBoxes.size(), 1u);  // the row not acknowledged
    EXPECT_EQ(d->result(), QDialog::Accepted);
}
