// The setup dialog driven as a user would: loading, field checks, the buttons
// that fill fields, and Apply through the dialog's own port.
#include "setup/frmConfig.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "SetupFakes.h"
#include "settings/Ini.h"

using namespace quellon;
using namespace quellon::testing_setup;

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.SettingsPath = ini.path;
        g.ProgramDir = "/opt/quellon";
        g.PortNumber = "3";
        g.PortSettings = "115200,N,8,1";
        g.BridgeFirmwareVersion = "2.3";
        // nFwdMin, Delay1, Delay2, MaxSwrA, MaxSwrB, ScaleMin/MaxA, ScaleMin/MaxB, ScaleDelay,
        // ExpandA, ExpandB
        g.params = {12.5, 32, 128, 300, 250, 75, 90, 70, 95, 32, 512, 0};
        g.ScaleCodeA = {"1", "4"};
        g.ScaleCodeB = {"0", "5"};
        g.ScaleTextA = {"100W", "1KW"};
        g.ScaleTextB = {"50W", "2KW"};
    }
    void open() {
        d.reset();  // the old dialog lets go of its port first
        d = std::make_unique<frmConfig>(platform, g);
    }
    void setIni(const char* k, const char* v) { WriteIni("Bridge", k, v, ini.path); }
    std::string key(const char* k) { return ini.key(k); }
    template <class W = QLineEdit>
    W* child(const char* name) {
        W* w = d->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString text(const char* name) { return child(name)->text(); }
    bool hidden(const char* name) { return child<QWidget>(name)->isHidden(); }
    bool checked(const char* name) { return child<QAbstractButton>(name)->isChecked(); }
    // Types a text into a field and moves on to the next control.
    void leave(const char* name, const QString& value) {
        QLineEdit* f = child(name);
        f->setText(value);
        QFocusEvent ev(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(f, &ev);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    const MessageBoxCall& onlyMessage() {
        static const MessageBoxCall none;
        EXPECT_EQ(platform.messageBoxes.size(), 1u);
        return platform.messageBoxes.empty() ? none : platform.messageBoxes[0];
    }

    TempIni ini;
    ModGlobal g;
    TestPlatform platform;
    std::unique_ptr<frmConfig> d;
};

TEST_F(ConfigTest, LoadShowsWhatTheProgramHolds) {
    setIni("ChannelA", "HF");
    setIni("DataRefresh", "0500");
    setIni("DataMode", "1");
    open();
    EXPECT_EQ(d->windowTitle(), "Quellon by WEXLO v1.10 - Setting");
    const std::pair<const char*, const char*> want[] = {
        {"txtDescA", "HF"},     {"txtDescB", "Channel B"}, {"txtIntervalTime", "500"},
        {"txtMaxSwrA", "300"},  {"txtMaxSwrB", "250"},     {"txtDelay1", "32"},
        {"txtnFwdMin", "12.5"}, {"txtScaleMinB", "70"},    {"txtScaleMaxB", "95"}};
    for (const auto& [name, value] : want) EXPECT_EQ(text(name), value) << name;
    EXPECT_TRUE(checked("chkMode"));
    EXPECT_FALSE(checked("chkPwrZero"));
    EXPECT_TRUE(checked("chkExpandA"));
    EXPECT_FALSE(checked("chkExpandB"));
    auto* combo = child<QComboBox>("comboScalaMultB2");
    EXPECT_EQ(combo->currentText(), "2KW");
    ASSERT_EQ(combo->count(), 7);
    EXPECT_EQ(combo->itemText(3), "250W");
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(child<QCheckBox>("chkMode")->toolTip(),
              "Check to clear the file before append data.");
    EXPECT_EQ(child("txtMaxSwrA")->toolTip(),
              "Max SWR level before the alert is generated. Enter the value multiplied by 100 "
              "(2.5:1 = 250).");
    EXPECT_EQ(child("txtScaleDelay")->toolTip(), "Delay before to switch Scale");
    // The dialog's own port is on the stream's COM port.
    ASSERT_EQ(platform.portsCreated, 1);
    EXPECT_TRUE(d->portOpen());
    EXPECT_EQ(platform.port()->portNumber(), 3);
    EXPECT_EQ(platform.port()->settings(), "115200,N,8,1");
    EXPECT_TRUE(hidden("lblPort"));
}

TEST_F(ConfigTest, OpeningWritesTheMissingDefaults) {
    open();
    EXPECT_EQ(key("DataLog"), "/opt/quellon/dataLog.csv");
    EXPECT_EQ(key("DataRefresh"), "1000");
    EXPECT_EQ(key("ChannelB"), "Channel B");
    EXPECT_EQ(key("GUI"), "0");
}

TEST_F(ConfigTest, FrameAndVersionLineFollowTheAdvancedBox) {
    open();
    EXPECT_FALSE(checked("chkAdvanced"));
    EXPECT_TRUE(checked("Option1_0"));
    EXPECT_TRUE(hidden("Option1_3"));
    for (bool adv : {false, true, false}) {
        child<QCheckBox>("chkAdvanced")->setChecked(adv);
        EXPECT_EQ(hidden("frameSetUp"), adv);
        EXPECT_EQ(hidden("frameAdvanced"), !adv);
        EXPECT_EQ(hidden("lblVersion"), !adv);
    }
    EXPECT_EQ(child<QLabel>("lblVersion")->text(), "Win v1.10 -- Pic v2.3");
}

TEST_F(ConfigTest, TestModeOpensOnTheAdvancedFrameAndVoltageSelectsTheHiddenButton) {
    setIni("GUI", "4");
    open();
    EXPECT_TRUE(checked("chkAdvanced"));
    EXPECT_FALSE(hidden("frameAdvanced"));
    EXPECT_TRUE(checked("Option1_4"));
    setIni("GUI", "3");
    open();
    EXPECT_FALSE(checked("chkAdvanced"));
    EXPECT_TRUE(checked("Option1_3"));
    EXPECT_EQ(d->values().selectedMode, 3);
    setIni("GUI", "9");
    open();
    EXPECT_EQ(d->values().selectedMode, -1);
}

TEST_F(ConfigTest, EveryCheckedFieldAcceptsItsBoundsAndRefusesBeyond) {
    struct Want {
        const char* field;
        int min, max;
        const char* title;
    };
    const Want want[] = {
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
    EXPECT_EQ(fieldChecks().size(), std::size(want));
    open();
    for (const Want& c : want) {
        SCOPED_TRACE(c.field);
        platform.messageBoxes.clear();
        leave(c.field, QString::number(c.min));
        leave(c.field, QString::number(c.max));
        EXPECT_TRUE(platform.messageBoxes.empty());
        for (int bad : {c.min - 1, c.max + 1}) {
            platform.messageBoxes.clear();
            leave(c.field, QString::number(bad));
            const MessageBoxCall& m = onlyMessage();
            EXPECT_EQ(m.text, rangeMessage(c.min, c.max)) << bad;
            EXPECT_EQ(m.style, 16);
            EXPECT_EQ(m.title, c.title);
            EXPECT_EQ(child(c.field)->palette().color(QPalette::Base), QColor(255, 0, 0));
        }
    }
}

TEST_F(ConfigTest, RefusedFieldTurnsRedKeepsTheFocusAndRecovers) {
    open();
    d->show();
    QLineEdit* f = child("txtDelay1");
    for (const char* bad : {"7", "1025", "abc", "", "12abc"}) {
        // Leave with a good value first so the focus really is elsewhere.
        f->setText("16");
        child("txtDelay2")->setFocus();
        QCoreApplication::processEvents();
        ASSERT_NE(d->focusWidget(), f);
        platform.messageBoxes.clear();
        leave("txtDelay1", bad);
        EXPECT_EQ(onlyMessage().text, "Please enter only integer number > 8 and < 1024.") << bad;
        EXPECT_EQ(onlyMessage().title, "Pwr Refreshing Time");
        EXPECT_EQ(d->focusWidget(), f) << bad;
    }
    leave("txtDelay1", "16");
    EXPECT_EQ(f->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));

    platform.messageBoxes.clear();
    leave("txtnFwdMin", "12.5");  // decimals inside the range are fine
    leave("txtFileName", "  /tmp/my log.csv  ");
    EXPECT_EQ(text("txtFileName"), "/tmp/my log.csv");
    leave("txtScaleDelay", "xyz");  // neither of these is checked
    leave("txtDescA", "");
    EXPECT_TRUE(platform.messageBoxes.empty());
    d->close();
}

TEST_F(ConfigTest, DefaultFillsTheFourteenControlsOnly) {
    open();
    child("txtDescA")->setText("mine");
    child<QCheckBox>("chkExpandB")->setChecked(true);
    d->cmdDefault_Click();
    const std::pair<const char*, const char*> want[] = {
        {"txtMaxSwrA", "300"},   {"txtMaxSwrB", "300"},  {"txtDelay1", "32"},
        {"txtDelay2", "128"},    {"txtnFwdMin", "25"},   {"txtScaleMinA", "75"},
        {"txtScaleMaxA", "90"},  {"txtScaleMinB", "75"}, {"txtScaleMaxB", "90"},
        {"txtScaleDelay", "32"}, {"txtDescA", "mine"}};
    for (const auto& [name, value] : want) EXPECT_EQ(text(name), value) << name;
    const std::pair<const char*, const char*> combos[] = {{"comboScalaMultA1", "100W"},
                                                          {"comboScalaMultA2", "1KW"},
                                                          {"comboScalaMultB1", "100W"},
                                                          {"comboScalaMultB2", "1KW"}};
    for (const auto& [name, value] : combos)
        EXPECT_EQ(child<QComboBox>(name)->currentText(), value) << name;
    EXPECT_TRUE(checked("chkExpandA"));
    EXPECT_TRUE(checked("chkExpandB"));
    EXPECT_TRUE(platform.port()->written().empty());
}

TEST_F(ConfigTest, PresetsSetRefreshAndMinimumReading) {
    open();
    const char* want[3][4] = {
        {"fast", "16", "256", "100"}, {"medium", "32", "512", "100"}, {"slow", "64", "512", "100"}};
    for (int i = 0; i < 3; ++i) {
        auto* b = child<QPushButton>(("cmdPreset_" + std::to_string(i)).c_str());
        EXPECT_EQ(b->text(), want[i][0]);
        b->click();
        EXPECT_EQ(text("txtDelay1"), want[i][1]);
        EXPECT_EQ(text("txtDelay2"), want[i][2]);
        EXPECT_EQ(text("txtnFwdMin"), want[i][3]);
    }
}

TEST_F(ConfigTest, ApplyWithNothingChangedSavesClosesAndSendsNothing) {
    open();
    child("txtDescB")->setText("VHF");
    d->cmdApply_Click();
    EXPECT_TRUE(platform.port()->written().empty());
    EXPECT_EQ(key("ChannelB"), "VHF");
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_FALSE(platform.port()->isOpen());
    EXPECT_TRUE(platform.messageBoxes.empty());
    EXPECT_FALSE(platform.endedCode);
}

TEST_F(ConfigTest, ApplyAfterDefaultSendsTheChangedRows) {
    open();
    d->cmdDefault_Click();
    d->cmdApply_Click();
    const std::vector<std::string> want = {":2200300\r", ":2000025\r", ":371414\r", ":2700750\r",
                                           ":2800900\r"};
    EXPECT_EQ(platform.port()->written(), want);
    EXPECT_EQ(g.ScaleTextB[1], "1KW");
    EXPECT_EQ(g.params.ScaleMinB, 75);
}

TEST_F(ConfigTest, ModeChangeSendsFirstThenWritesTellsAndEnds) {
    open();
    child("txtMaxSwrA")->setText("250");
    child<QAbstractButton>("Option1_1")->setChecked(true);
    EXPECT_THROW(d->cmdApply_Click(), ProgramEnded);
    EXPECT_EQ(key("GUI"), "1");
    const Journal want = {"write :2100250\r",
                          "message Program will Exit, please Restart the program.", "end"};
    EXPECT_EQ(platform.journal, want);
    EXPECT_EQ(onlyMessage().style, 0);
    EXPECT_EQ(onlyMessage().title, "Quellon by WEXLO");
    EXPECT_EQ(platform.endedCode, 0);
    EXPECT_FALSE(platform.port()->isOpen());
}

TEST_F(ConfigTest, UnacknowledgedParametersAreNamedAfterAllRowsWentOut) {
    open();
    platform.reply = silent;
    child("txtMaxSwrB")->setText("200");
    child("txtScaleMaxA")->setText("100");
    child<QAbstractButton>("Option1_2")->setChecked(true);
    EXPECT_THROW(d->cmdApply_Click(), ProgramEnded);
    EXPECT_EQ(platform.port()->written().size(), 6u);
    ASSERT_EQ(platform.messageBoxes.size(), 2u);
    const MessageBoxCall& m = platform.messageBoxes[0];
    EXPECT_EQ(m.style, 48);
    EXPECT_NE(m.text.find("SWR Alert (x100) - Channel B"), std::string::npos);
    EXPECT_NE(m.text.find("Scale Max - Channel A"), std::string::npos);
    EXPECT_EQ(platform.journal[6], "message " + m.text);
    // The mode change still ends the program.
    EXPECT_EQ(platform.messageBoxes[1].text, "Program will Exit, please Restart the program.");
    EXPECT_EQ(platform.endedCode, 0);
}

TEST_F(ConfigTest, PortThatCannotBeOpenedIsShownAndApplyStillSaves) {
    platform.openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
    open();
    EXPECT_FALSE(hidden("lblPort"));
    EXPECT_EQ(child<QLabel>("lblPort")->text(),
              "Com:3 Invalid Port Number: parameters cannot be sent");
    child("txtDescA")->setText("still saved");
    child("txtMaxSwrA")->setText("250");
    d->cmdApply_Click();
    EXPECT_EQ(key("ChannelA"), "still saved");
    EXPECT_NE(onlyMessage().text.find("SWR Alert (x100) - Channel A"), std::string::npos);
    EXPECT_EQ(d->result(), QDialog::Accepted);
}

TEST_F(ConfigTest, CancelClosesThePortAndSavesNothing) {
    open();
    child("txtDescA")->setText("discarded");
    child<QPushButton>("cmdCancel")->click();
    EXPECT_EQ(d->result(), QDialog::Rejected);
    EXPECT_FALSE(platform.port()->isOpen());
    EXPECT_EQ(key("ChannelA"), "Channel A");
}
