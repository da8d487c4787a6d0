// The setup dialog driven as a user would: loading, field checks, the buttons
// that fill fields, and Apply through the dialog's own port.
#include "setup/frmConfig.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <filesystem>

#include "SetupFakes.h"
#include "settings/Ini.h"

using namespace quellon;
using namespace quellon::testing_setup;

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        ini = std::filesystem::temp_directory_path() /
              ("quellon_cfg_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini");
        std::filesystem::remove(ini);
        g.SettingsPath = ini.string();
        g.ProgramDir = "/opt/quellon";
        g.PortNumber = "3";
        g.PortSettings = "115200,N,8,1";
        g.BridgeFirmwareVersion = "2.3";
        BridgeParameters& p = g.params;
        p.MaxSwrA = 300;
        p.MaxSwrB = 250;
        p.Delay1 = 32;
        p.Delay2 = 128;
        p.nFwdMin = 12.5;
        p.ScaleMinA = 75;
        p.ScaleMaxA = 90;
        p.ScaleMinB = 70;
        p.ScaleMaxB = 95;
        p.ScaleDelay = 32;
        p.ExpandA = 512;
        p.ExpandB = 0;
        g.ScaleCodeA = {"1", "4"};
        g.ScaleCodeB = {"0", "5"};
        g.ScaleTextA = {"100W", "1KW"};
        g.ScaleTextB = {"50W", "2KW"};
    }
    void TearDown() override { std::filesystem::remove(ini); }

    std::unique_ptr<frmConfig> open() { return std::make_unique<frmConfig>(platform, g); }
    void setIni(const char* k, const char* v) { WriteIni("Bridge", k, v, ini.string()); }
    std::string key(const char* k) {
        return IniLookup("Bridge", k, ini.string()).value_or("<missing>");
    }

    template <class W>
    static W* child(QWidget& d, const char* name) {
        W* w = d.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static QString text(QWidget& d, const char* name) { return child<QLineEdit>(d, name)->text(); }

    // Types a text into a field and moves on to the next control.
    static void leave(QWidget& d, const char* name, const QString& value) {
        QLineEdit* f = child<QLineEdit>(d, name);
        f->setText(value);
        QFocusEvent ev(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(f, &ev);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    std::filesystem::path ini;
    ModGlobal g;
    TestPlatform platform;
};

TEST_F(ConfigTest, LoadShowsWhatTheProgramHolds) {
    setIni("ChannelA", "HF");
    setIni("DataRefresh", "0500");
    setIni("DataMode", "1");
    auto d = open();
    EXPECT_EQ(d->windowTitle(), "Quellon by WEXLO v1.10 - Setting");
    EXPECT_EQ(text(*d, "txtDescA"), "HF");
    EXPECT_EQ(text(*d, "txtDescB"), "Channel B");
    EXPECT_EQ(text(*d, "txtIntervalTime"), "500");
    EXPECT_TRUE(child<QCheckBox>(*d, "chkMode")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(*d, "chkPwrZero")->isChecked());
    EXPECT_EQ(text(*d, "txtMaxSwrA"), "300");
    EXPECT_EQ(text(*d, "txtMaxSwrB"), "250");
    EXPECT_EQ(text(*d, "txtDelay1"), "32");
    EXPECT_EQ(text(*d, "txtnFwdMin"), "12.5");
    EXPECT_EQ(text(*d, "txtScaleMinB"), "70");
    EXPECT_EQ(text(*d, "txtScaleMaxB"), "95");
    EXPECT_TRUE(child<QCheckBox>(*d, "chkExpandA")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(*d, "chkExpandB")->isChecked());
    auto* combo = child<QComboBox>(*d, "comboScalaMultB2");
    EXPECT_EQ(combo->currentText(), "2KW");
    ASSERT_EQ(combo->count(), 7);
    EXPECT_EQ(combo->itemText(3), "250W");
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(child<QCheckBox>(*d, "chkMode")->toolTip(),
              "Check to clear the file before append data.");
    EXPECT_EQ(child<QLineEdit>(*d, "txtMaxSwrA")->toolTip(),
              "Max SWR level before the alert is generated. Enter the value multiplied by 100 "
              "(2.5:1 = 250).");
    EXPECT_EQ(child<QLineEdit>(*d, "txtScaleDelay")->toolTip(), "Delay before to switch Scale");
    // The dialog's own port is on the stream's COM port.
    ASSERT_EQ(platform.portsCreated, 1);
    EXPECT_TRUE(d->portOpen());
    EXPECT_EQ(platform.port()->portNumber(), 3);
    EXPECT_EQ(platform.port()->settings(), "115200,N,8,1");
    EXPECT_TRUE(child<QLabel>(*d, "lblPort")->isHidden());
}

TEST_F(ConfigTest, OpeningWritesTheMissingDefaults) {
    auto d = open();
    EXPECT_EQ(key("DataLog"), "/opt/quellon/dataLog.csv");
    EXPECT_EQ(key("DataRefresh"), "1000");
    EXPECT_EQ(key("ChannelB"), "Channel B");
    EXPECT_EQ(key("GUI"), "0");
}

TEST_F(ConfigTest, FrameAndVersionLineFollowTheAdvancedBox) {
    auto d = open();
    auto* adv = child<QCheckBox>(*d, "chkAdvanced");
    EXPECT_FALSE(adv->isChecked());
    EXPECT_FALSE(child<QGroupBox>(*d, "frameSetUp")->isHidden());
    EXPECT_TRUE(child<QGroupBox>(*d, "frameAdvanced")->isHidden());
    EXPECT_TRUE(child<QLabel>(*d, "lblVersion")->isHidden());
    EXPECT_TRUE(child<QRadioButton>(*d, "Option1_0")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(*d, "Option1_3")->isHidden());

    adv->setChecked(true);
    EXPECT_TRUE(child<QGroupBox>(*d, "frameSetUp")->isHidden());
    EXPECT_FALSE(child<QGroupBox>(*d, "frameAdvanced")->isHidden());
    EXPECT_FALSE(child<QLabel>(*d, "lblVersion")->isHidden());
    EXPECT_EQ(child<QLabel>(*d, "lblVersion")->text(), "Win v1.10 -- Pic v2.3");
    adv->setChecked(false);
    EXPECT_FALSE(child<QGroupBox>(*d, "frameSetUp")->isHidden());
    EXPECT_TRUE(child<QLabel>(*d, "lblVersion")->isHidden());
}

TEST_F(ConfigTest, TestModeOpensOnTheAdvancedFrameAndVoltageSelectsTheHiddenButton) {
    setIni("GUI", "4");
    {
        auto d = open();
        EXPECT_TRUE(child<QCheckBox>(*d, "chkAdvanced")->isChecked());
        EXPECT_FALSE(child<QGroupBox>(*d, "frameAdvanced")->isHidden());
        EXPECT_TRUE(child<QRadioButton>(*d, "Option1_4")->isChecked());
    }
    setIni("GUI", "3");
    {
        auto d = open();
        EXPECT_FALSE(child<QCheckBox>(*d, "chkAdvanced")->isChecked());
        EXPECT_TRUE(child<QRadioButton>(*d, "Option1_3")->isChecked());
        EXPECT_EQ(d->values().selectedMode, 3);
    }
    setIni("GUI", "9");
    {
        auto d = open();
        EXPECT_EQ(d->values().selectedMode, -1);
    }
}

TEST_F(ConfigTest, EveryCheckedFieldAcceptsItsBoundsAndRefusesBeyond) {
    auto d = open();
    for (const FieldCheck& c : fieldChecks()) {
        platform.messageBoxes.clear();
        leave(*d, c.field, QString::number(c.min));
        leave(*d, c.field, QString::number(c.max));
        EXPECT_TRUE(platform.messageBoxes.empty()) << c.field;
        for (int bad : {c.min - 1, c.max + 1}) {
            platform.messageBoxes.clear();
            leave(*d, c.field, QString::number(bad));
            ASSERT_EQ(platform.messageBoxes.size(), 1u) << c.field << " " << bad;
            EXPECT_EQ(platform.messageBoxes[0].text, rangeMessage(c.min, c.max));
            EXPECT_EQ(platform.messageBoxes[0].style, 16);
            EXPECT_EQ(platform.messageBoxes[0].title, c.title);
            EXPECT_EQ(child<QLineEdit>(*d, c.field)->palette().color(QPalette::Base),
                      QColor(255, 0, 0));
        }
    }
}

TEST_F(ConfigTest, RefusedFieldTurnsRedKeepsTheFocusAndRecovers) {
    auto d = open();
    d->show();
    QLineEdit* f = child<QLineEdit>(*d, "txtDelay1");
    for (const char* bad : {"7", "1025", "abc", ""}) {
        // Leave with a good value first so the focus really is elsewhere.
        f->setText("16");
        child<QLineEdit>(*d, "txtDelay2")->setFocus();
        QCoreApplication::processEvents();
        ASSERT_NE(d->focusWidget(), f);
        platform.messageBoxes.clear();
        leave(*d, "txtDelay1", bad);
        ASSERT_EQ(platform.messageBoxes.size(), 1u) << bad;
        EXPECT_EQ(platform.messageBoxes[0].text,
                  "Please enter only integer number > 8 and < 1024.");
        EXPECT_EQ(platform.messageBoxes[0].title, "Pwr Refreshing Time");
        EXPECT_EQ(d->focusWidget(), f) << bad;
    }
    leave(*d, "txtDelay1", "16");
    EXPECT_EQ(f->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));

    platform.messageBoxes.clear();
    leave(*d, "txtnFwdMin", "12.5");
    EXPECT_TRUE(platform.messageBoxes.empty());
    d->close();
}

TEST_F(ConfigTest, FileNameIsTrimmedAndUncheckedFieldsSayNothing) {
    auto d = open();
    leave(*d, "txtFileName", "  /tmp/my log.csv  ");
    EXPECT_EQ(text(*d, "txtFileName"), "/tmp/my log.csv");
    leave(*d, "txtScaleDelay", "xyz");
    leave(*d, "txtDescA", "");
    EXPECT_TRUE(platform.messageBoxes.empty());
}

TEST_F(ConfigTest, DefaultFillsTheFourteenControlsOnly) {
    auto d = open();
    child<QLineEdit>(*d, "txtDescA")->setText("mine");
    child<QCheckBox>(*d, "chkExpandB")->setChecked(true);
    d->cmdDefault_Click();
    const std::pair<const char*, const char*> want[] = {
        {"txtMaxSwrA", "300"},  {"txtMaxSwrB", "300"},  {"txtDelay1", "32"},
        {"txtDelay2", "128"},   {"txtnFwdMin", "25"},   {"txtScaleMinA", "75"},
        {"txtScaleMaxA", "90"}, {"txtScaleMinB", "75"}, {"txtScaleMaxB", "90"},
        {"txtScaleDelay", "32"}};
    for (const auto& [name, value] : want) EXPECT_EQ(text(*d, name), value) << name;
    EXPECT_EQ(child<QComboBox>(*d, "comboScalaMultA1")->currentText(), "100W");
    EXPECT_EQ(child<QComboBox>(*d, "comboScalaMultA2")->currentText(), "1KW");
    EXPECT_EQ(child<QComboBox>(*d, "comboScalaMultB1")->currentText(), "100W");
    EXPECT_EQ(child<QComboBox>(*d, "comboScalaMultB2")->currentText(), "1KW");
    EXPECT_TRUE(child<QCheckBox>(*d, "chkExpandA")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(*d, "chkExpandB")->isChecked());
    EXPECT_EQ(text(*d, "txtDescA"), "mine");
    EXPECT_TRUE(platform.port()->written().empty());
}

TEST_F(ConfigTest, PresetsSetRefreshAndMinimumReading) {
    auto d = open();
    const char* want[3][3] = {{"16", "256", "100"}, {"32", "512", "100"}, {"64", "512", "100"}};
    const char* captions[] = {"fast", "medium", "slow"};
    for (int i = 0; i < 3; ++i) {
        auto* b = child<QPushButton>(*d, ("cmdPreset_" + std::to_string(i)).c_str());
        EXPECT_EQ(b->text(), captions[i]);
        b->click();
        EXPECT_EQ(text(*d, "txtDelay1"), want[i][0]);
        EXPECT_EQ(text(*d, "txtDelay2"), want[i][1]);
        EXPECT_EQ(text(*d, "txtnFwdMin"), want[i][2]);
    }
}

TEST_F(ConfigTest, ApplyWithNothingChangedSavesClosesAndSendsNothing) {
    auto d = open();
    FakeSerialPort* port = platform.port();
    child<QLineEdit>(*d, "txtDescB")->setText("VHF");
    d->cmdApply_Click();
    EXPECT_TRUE(port->written().empty());
    EXPECT_EQ(key("ChannelB"), "VHF");
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_FALSE(port->isOpen());
    EXPECT_TRUE(platform.messageBoxes.empty());
    EXPECT_FALSE(platform.endedCode);
}

TEST_F(ConfigTest, ApplyAfterDefaultSendsTheChangedRows) {
    auto d = open();
    FakeSerialPort* port = platform.port();
    d->cmdDefault_Click();
    d->cmdApply_Click();
    const std::vector<std::string> want = {":2200300\r", ":2000025\r", ":371414\r", ":2700750\r",
                                           ":2800900\r"};
    EXPECT_EQ(port->written(), want);
    EXPECT_EQ(g.ScaleTextB[1], "1KW");
    EXPECT_EQ(g.params.ScaleMinB, 75);
}

TEST_F(ConfigTest, ModeChangeSendsFirstThenWritesTellsAndEnds) {
    auto d = open();
    FakeSerialPort* port = platform.port();
    child<QLineEdit>(*d, "txtMaxSwrA")->setText("250");
    child<QRadioButton>(*d, "Option1_1")->setChecked(true);
    EXPECT_THROW(d->cmdApply_Click(), ProgramEnded);
    EXPECT_EQ(key("GUI"), "1");
    const Journal want = {"write :2100250\r",
                          "message Program will Exit, please Restart the program.", "end"};
    EXPECT_EQ(platform.journal, want);
    ASSERT_EQ(platform.messageBoxes.size(), 1u);
    EXPECT_EQ(platform.messageBoxes[0].style, 0);
    EXPECT_EQ(platform.messageBoxes[0].title, "Quellon by WEXLO");
    EXPECT_EQ(platform.endedCode, 0);
    EXPECT_FALSE(port->isOpen());
}

TEST_F(ConfigTest, UnacknowledgedParametersAreNamedAfterAllRowsWentOut) {
    auto d = open();
    FakeSerialPort* port = platform.port();
    platform.reply = silent;
    child<QLineEdit>(*d, "txtMaxSwrB")->setText("200");
    child<QLineEdit>(*d, "txtScaleMaxA")->setText("100");
    child<QRadioButton>(*d, "Option1_2")->setChecked(true);
    EXPECT_THROW(d->cmdApply_Click(), ProgramEnded);
    EXPECT_EQ(port->written().size(), 6u);
    ASSERT_EQ(platform.messageBoxes.size(), 2u);
    EXPECT_EQ(platform.messageBoxes[0].style, 48);
    EXPECT_NE(platform.messageBoxes[0].text.find("SWR Alert (x100) - Channel B"),
              std::string::npos);
    EXPECT_NE(platform.messageBoxes[0].text.find("Scale Max - Channel A"), std::string::npos);
    EXPECT_EQ(platform.journal[6], "message " + platform.messageBoxes[0].text);
    // The mode change still ends the program.
    EXPECT_EQ(platform.messageBoxes[1].text, "Program will Exit, please Restart the program.");
    EXPECT_EQ(platform.endedCode, 0);
}

TEST_F(ConfigTest, PortThatCannotBeOpenedIsShownAndApplyStillSaves) {
    platform.openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
    auto d = open();
    auto* line = child<QLabel>(*d, "lblPort");
    EXPECT_FALSE(line->isHidden());
    EXPECT_EQ(line->text(), "Com:3 Invalid Port Number: parameters cannot be sent");
    child<QLineEdit>(*d, "txtDescA")->setText("still saved");
    child<QLineEdit>(*d, "txtMaxSwrA")->setText("250");
    d->cmdApply_Click();
    EXPECT_EQ(key("ChannelA"), "still saved");
    ASSERT_EQ(platform.messageBoxes.size(), 1u);
    EXPECT_NE(platform.messageBoxes[0].text.find("SWR Alert (x100) - Channel A"),
              std::string::npos);
    EXPECT_EQ(d->result(), QDialog::Accepted);
}

TEST_F(ConfigTest, CancelClosesThePortAndSavesNothing) {
    auto d = open();
    child<QLineEdit>(*d, "txtDescA")->setText("discarded");
    child<QPushButton>(*d, "cmdCancel")->click();
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_FALSE(platform.port()->isOpen());
    EXPECT_EQ(key("ChannelA"), "Channel A");
}
