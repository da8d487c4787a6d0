#include "setup/frmConfig.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "link/Format.h"
#include "link/ScaleCodes.h"
#include "platform/Centre.h"
#include "platform/OpenPort.h"
#include "platform/Platform.h"
#include "platform/SerialPort.h"
#include "session/BridgeSession.h"
#include "settings/Ini.h"

namespace quellon {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& t) { return t.toStdString(); }

QLabel* newLabel(const char* name, const char* text, QWidget* parent) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setObjectName(name);
    return l;
}

}  // namespace

frmConfig::frmConfig(Platform& p, ModGlobal& g, BridgeSession& session, QWidget* parent)
    : QDialog(parent), p_(p), g_(g), session_(session) {
    buildUi();
    load();
}

frmConfig::~frmConfig() {
    *alive_ = false;
    closePort();
}

QLineEdit* frmConfig::newField(const char* name, int width) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setFixedWidth(width);
    if (findFieldCheck(name) || std::string(name) == "txtFileName") e->installEventFilter(this);
    return e;
}

void frmConfig::buildUi() {
    setObjectName("frmConfig");
    setModal(true);

    auto* root = new QGridLayout(this);

    // Channel names; the column heads also stand above the advanced grid's columns.
    constexpr int kLabelWidth = 170, kFieldWidth = 90;
    auto* names = new QGridLayout;
    auto* Label1 = newLabel("Label1", "Channel A", this);
    auto* Label2 = newLabel("Label2", "Channel B", this);
    auto* Label3 = newLabel("Label3", "Channel Name", this);
    Label3->setFixedWidth(kLabelWidth);
    txtDescA = newField("txtDescA", kFieldWidth);
    txtDescB = newField("txtDescB", kFieldWidth);
    names->addWidget(Label1, 0, 1);
    names->addWidget(Label2, 0, 2);
    names->addWidget(Label3, 1, 0);
    names->addWidget(txtDescA, 1, 1);
    names->addWidget(txtDescB, 1, 2);
    names->setColumnStretch(3, 1);
    names->setContentsMargins(2, 0, 2, 0);

    // "Set Up" frame.
    frameSetUp = new QGroupBox("Set Up", this);
    frameSetUp->setObjectName("frameSetUp");
    {
        auto* l = new QGridLayout(frameSetUp);
        l->addWidget(newLabel("Label8", " DataLog File", frameSetUp), 0, 0);
        txtFileName = newField("txtFileName", 260);
        txtFileName->setParent(frameSetUp);
        l->addWidget(txtFileName, 0, 1);
        chkMode = new QCheckBox("Clear Data file", frameSetUp);
        chkMode->setObjectName("chkMode");
        l->addWidget(chkMode, 1, 1);
        chkPwrZero = new QCheckBox("No Zero Pwr", frameSetUp);
        chkPwrZero->setObjectName("chkPwrZero");
        l->addWidget(chkPwrZero, 2, 1);
        auto* Label9 = newLabel("Label9", "Read time", frameSetUp);
        Label9->setVisible(false);
        l->addWidget(Label9, 3, 0);
        txtIntervalTime = newField("txtIntervalTime", kFieldWidth);
        txtIntervalTime->setParent(frameSetUp);
        l->addWidget(txtIntervalTime, 3, 1);
        l->setColumnStretch(2, 1);
        l->setRowStretch(4, 1);
    }

    // "Advanced Set Up" frame: label column, channel A column, channel B column.
    frameAdvanced = new QGroupBox("Advanced Set Up", this);
    frameAdvanced->setObjectName("frameAdvanced");
    {
        auto* l = new QGridLayout(frameAdvanced);
        int row = 0;
        auto label = [&](const char* name, const char* text) {
            auto* lb = newLabel(name, text, frameAdvanced);
            lb->setFixedWidth(kLabelWidth - 10);
            l->addWidget(lb, row, 0);
        };
        auto pair = [&](QWidget* a, QWidget* b) {
            a->setParent(frameAdvanced);
            b->setParent(frameAdvanced);
            l->addWidget(a, row, 1);
            l->addWidget(b, row, 2);
            ++row;
        };
        auto combo = [&](const char* name) {
            auto* c = new QComboBox(frameAdvanced);
            c->setObjectName(name);
            c->setEditable(true);
            c->setInsertPolicy(QComboBox::NoInsert);
            c->setFixedWidth(kFieldWidth);
            return c;
        };
        label("Label4", "SWR Alert (x100)");
        txtMaxSwrA = newField("txtMaxSwrA", kFieldWidth);
        txtMaxSwrB = newField("txtMaxSwrB", kFieldWidth);
        pair(txtMaxSwrA, txtMaxSwrB);
        label("Label13", "Scale 1");
        comboScalaMultA1 = combo("comboScalaMultA1");
        comboScalaMultB1 = combo("comboScalaMultB1");
        pair(comboScalaMultA1, comboScalaMultB1);
        label("Label12", "Scale 2");
        comboScalaMultA2 = combo("comboScalaMultA2");
        comboScalaMultB2 = combo("comboScalaMultB2");
        pair(comboScalaMultA2, comboScalaMultB2);
        label("Label10", "Scale Max");
        txtScaleMaxA = newField("txtScaleMaxA", kFieldWidth);
        txtScaleMaxB = newField("txtScaleMaxB", kFieldWidth);
        pair(txtScaleMaxA, txtScaleMaxB);
        label("Label11", "Scale Min");
        txtScaleMinA = newField("txtScaleMinA", kFieldWidth);
        txtScaleMinB = newField("txtScaleMinB", kFieldWidth);
        pair(txtScaleMinA, txtScaleMinB);
        label("Label15", "Expand Bargraph Scale");
        chkExpandA = new QCheckBox(frameAdvanced);
        chkExpandA->setObjectName("chkExpandA");
        chkExpandB = new QCheckBox(frameAdvanced);
        chkExpandB->setObjectName("chkExpandB");
        pair(chkExpandA, chkExpandB);

        const char* presetCaptions[] = {"fast", "medium", "slow"};
        for (int i = 0; i < 3; ++i) {
            cmdPreset[i] = new QPushButton(presetCaptions[i], frameAdvanced);
            cmdPreset[i]->setObjectName(QString("cmdPreset_%1").arg(i));
            cmdPreset[i]->setFixedWidth(kFieldWidth);
            connect(cmdPreset[i], &QPushButton::clicked, this, [this, i] { cmdPreset_Click(i); });
        }
        cmdDefault = new QPushButton("Default", frameAdvanced);
        cmdDefault->setObjectName("cmdDefault");
        cmdDefault->setFixedWidth(kFieldWidth);
        connect(cmdDefault, &QPushButton::clicked, this, [this] { cmdDefault_Click(); });

        label("Label14", "Scale Delay");
        txtScaleDelay = newField("txtScaleDelay", kFieldWidth);
        pair(txtScaleDelay, cmdPreset[0]);
        label("Label5", "Pwr Refreshing Time");
        txtDelay1 = newField("txtDelay1", kFieldWidth);
        pair(txtDelay1, cmdPreset[1]);
        label("Label6", "Peak Pwr Refreshing Time");
        txtDelay2 = newField("txtDelay2", kFieldWidth);
        pair(txtDelay2, cmdPreset[2]);
        label("Label7", "Min Pwr Read (sample)");
        txtnFwdMin = newField("txtnFwdMin", kFieldWidth);
        pair(txtnFwdMin, cmdDefault);
        l->setColumnStretch(3, 1);
    }
    // Both frames take the same place; keeping the hidden one's size avoids the
    // dialog jumping when the Advanced box is switched.
    for (QGroupBox* f : {frameSetUp, frameAdvanced}) {
        QSizePolicy sp = f->sizePolicy();
        sp.setRetainSizeWhenHidden(true);
        f->setSizePolicy(sp);
    }
    frameAdvanced->setVisible(false);

    // Display mode.
    frameInterface = new QGroupBox("Interface", this);
    frameInterface->setObjectName("frameInterface");
    {
        auto* l = new QVBoxLayout(frameInterface);
        auto* group = new QButtonGroup(this);
        const char* captions[] = {"Digital Meter", "Analog Meter", "Compact", "Voltage", "Test"};
        for (int i = 0; i < 5; ++i) {
            Option1[i] = new QRadioButton(captions[i], frameInterface);
            Option1[i]->setObjectName(QString("Option1_%1").arg(i));
            group->addButton(Option1[i], i);
            l->addWidget(Option1[i]);
        }
        // Mode 3 is not offered here; a bridge set to it keeps it until changed.
        Option1[3]->setVisible(false);
        l->addStretch(1);
    }
    chkAdvanced = new QCheckBox("Advanced", this);
    chkAdvanced->setObjectName("chkAdvanced");
    connect(chkAdvanced, &QCheckBox::toggled, this, [this] { chkAdvanced_Click(); });

    lblVersion = newLabel("lblVersion", "", this);
    lblVersion->setVisible(false);
    lblPort = newLabel("lblPort", "", this);
    lblPort->setStyleSheet("color: rgb(255,0,0);");
    lblPort->setWordWrap(true);
    lblPort->setVisible(false);

    cmdApply = new QPushButton("Apply", this);
    cmdApply->setObjectName("cmdApply");
    cmdApply->setAutoDefault(false);
    connect(cmdApply, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setAutoDefault(false);
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    for (QPushButton* b : {cmdPreset[0], cmdPreset[1], cmdPreset[2], cmdDefault})
        b->setAutoDefault(false);

    auto* left = new QVBoxLayout;
    left->addLayout(names);
    auto* frames = new QGridLayout;
    frames->addWidget(frameSetUp, 0, 0);
    frames->addWidget(frameAdvanced, 0, 0);
    left->addLayout(frames, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(frameInterface);
    right->addWidget(chkAdvanced);
    right->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblVersion);
    bottom->addStretch(1);
    bottom->addWidget(cmdApply);
    bottom->addWidget(cmdCancel);

    root->addLayout(left, 0, 0);
    root->addLayout(right, 0, 1);
    root->addWidget(lblPort, 1, 0, 1, 2);
    root->addLayout(bottom, 2, 0, 1, 2);
}

void frmConfig::load() {
    setWindowTitle(q(std::string(kAppTitle) + " v" + kProgramVersion + " - Setting"));
    const std::string& ini = g_.SettingsPath;
    const BridgeParameters& bp = g_.params;
    auto num16 = [](int16_t n) { return QString::number(n); };

    txtDescA->setText(q(ReadIni("Bridge", "ChannelA", ini, "Channel A")));
    txtDescB->setText(q(ReadIni("Bridge", "ChannelB", ini, "Channel B")));
    txtMaxSwrA->setText(num16(bp.MaxSwrA));
    txtMaxSwrB->setText(num16(bp.MaxSwrB));
    txtFileName->setText(q(ReadIni("Bridge", "DataLog", ini, g_.ProgramDir + "/dataLog.csv")));
    chkMode->setChecked(leadingNumber(ReadIni("Bridge", "DataMode", ini, "0")) != 0);
    chkMode->setToolTip("Check to clear the file before append data.");
    {
        const std::string interval = ReadIni("Bridge", "DataRefresh", ini, "1000");
        // A value that is no 16-bit number is shown as it stands; leaving the
        // field then reports it instead of the dialog failing to open.
        const auto n = roundHalfEven16(leadingNumber(interval));
        txtIntervalTime->setText(n ? num16(*n) : q(interval));
    }
    chkPwrZero->setChecked(leadingNumber(ReadIni("Bridge", "DataPwr", ini, "0")) != 0);
    chkPwrZero->setToolTip("Check to collect data only if power is >0.");
    lblVersion->setText(
        q(std::string("Win v") + kProgramVersion + " -- Pic v" + g_.BridgeFirmwareVersion));

    const std::array<QComboBox*, 4> combos = {comboScalaMultA1, comboScalaMultA2, comboScalaMultB1,
                                              comboScalaMultB2};
    const std::array<std::string, 4> texts = {g_.ScaleTextA[0], g_.ScaleTextA[1], g_.ScaleTextB[0],
                                              g_.ScaleTextB[1]};
    const std::vector<std::string> scales = scaleTexts();
    for (size_t i = 0; i < 4; ++i) {
        for (const std::string& e : scales) combos[i]->addItem(q(e));
        combos[i]->setCurrentText(q(texts[i]));
    }

    chkExpandA->setChecked(bp.ExpandA == 512);
    chkExpandB->setChecked(bp.ExpandB == 512);
    const QString expandTip = "If input power is < 25% of full scale, expand bargraph.";
    chkExpandA->setToolTip(expandTip);
    chkExpandB->setToolTip(expandTip);
    txtDelay1->setToolTip(
        "Instantaneous input power refreshing period. (Average 8=75mS, 16=100mS, ..., 32=160mS)");
    txtDelay2->setToolTip(
        "Peak input power refreshing period. (Average 128=0.5 Sec, 256=1 Sec, ...)");
    const QString swrTip = QString("Max SWR level before the alert is generated.") +
                           " Enter the value multiplied by 100 " + "(2.5:1 = 250).";
    txtMaxSwrA->setToolTip(swrTip);
    txtMaxSwrB->setToolTip(swrTip);
    txtScaleMaxA->setToolTip("If the input power > this value, Scale 2 is selected.");
    txtScaleMaxB->setToolTip("If the input power > this value, Scale 2 is selected.");
    txtScaleMinA->setToolTip("If the input power < this value, Scale 1 is selected.");
    txtScaleMinB->setToolTip("If the input power < this value, Scale 1 is selected.");
    txtScaleDelay->setToolTip("Delay before to switch Scale");
    txtnFwdMin->setToolTip(
        "Minimun input power detected. (VRms samples number, Vref=2.5V, 1 sample=2.44mV).");

    {
        const auto gui = roundHalfEven16(leadingNumber(ReadIni("Bridge", "GUI", ini, "0")));
        guiAtLoad_ = gui ? *gui : -1;
        // A mode outside 0..4 selects no button; Apply then keeps the mode as it is.
        if (guiAtLoad_ >= 0 && guiAtLoad_ <= 4)
            Option1[static_cast<size_t>(guiAtLoad_)]->setChecked(true);
    }
    if (guiAtLoad_ == 4) chkAdvanced->setChecked(true);

    txtDelay1->setText(q(formatShortest(bp.Delay1)));
    txtDelay2->setText(num16(bp.Delay2));
    txtnFwdMin->setText(q(formatShortest(bp.nFwdMin)));
    txtScaleMinA->setText(num16(bp.ScaleMinA));
    txtScaleMaxA->setText(num16(bp.ScaleMaxA));
    txtScaleMinB->setText(num16(bp.ScaleMinB));
    txtScaleMaxB->setText(num16(bp.ScaleMaxB));
    txtScaleDelay->setText(num16(bp.ScaleDelay));

    openPort();

    adjustSize();
    centreOnScreen(*this, ScreenArea::Whole);
}

void frmConfig::openPort() {
    lblPort->setVisible(false);
    // The port opens in its turn, after the stream's stop has been exchanged.
    session_.openForCommands([this, alive = alive_](const std::string& failure) {
        if (!*alive || failure.empty()) return;
        // The dialog still edits and saves the settings; the bridge cannot be
        // reached, which the user should know before pressing Apply.
        portOpen_ = false;
        lblPort->setText(q(failure + ": parameters cannot be sent"));
        lblPort->setVisible(true);
    });
}

void frmConfig::closePort() {
    if (closed_) return;
    closed_ = true;
    session_.closeBridgePort();
}

bool frmConfig::portOpen() const { return portOpen_ && !closed_; }

SetupValues frmConfig::values() const {
    SetupValues v;
    v.descA = s(txtDescA->text());
    v.descB = s(txtDescB->text());
    v.fileName = s(txtFileName->text());
    v.intervalTime = s(txtIntervalTime->text());
    v.clearMode = chkMode->isChecked();
    v.pwrZero = chkPwrZero->isChecked();
    v.maxSwrA = s(txtMaxSwrA->text());
    v.maxSwrB = s(txtMaxSwrB->text());
    v.delay1 = s(txtDelay1->text());
    v.delay2 = s(txtDelay2->text());
    v.nFwdMin = s(txtnFwdMin->text());
    v.scales = {s(comboScalaMultA1->currentText()), s(comboScalaMultA2->currentText()),
                s(comboScalaMultB1->currentText()), s(comboScalaMultB2->currentText())};
    v.scaleMinA = s(txtScaleMinA->text());
    v.scaleMaxA = s(txtScaleMaxA->text());
    v.scaleMinB = s(txtScaleMinB->text());
    v.scaleMaxB = s(txtScaleMaxB->text());
    v.scaleDelay = s(txtScaleDelay->text());
    v.expandA = chkExpandA->isChecked();
    v.expandB = chkExpandB->isChecked();
    for (int i = 0; i < 5; ++i)
        if (Option1[static_cast<size_t>(i)]->isChecked()) v.selectedMode = i;
    return v;
}

void frmConfig::chkAdvanced_Click() {
    const bool adv = chkAdvanced->isChecked();
    frameSetUp->setVisible(!adv);
    frameAdvanced->setVisible(adv);
    lblVersion->setVisible(adv);
}

void frmConfig::cmdDefault_Click() {
    txtMaxSwrA->setText("300");
    txtMaxSwrB->setText("300");
    txtDelay1->setText("32");
    txtDelay2->setText("128");
    txtnFwdMin->setText("25");
    txtScaleMinA->setText("75");
    txtScaleMaxA->setText("90");
    txtScaleMinB->setText("75");
    txtScaleMaxB->setText("90");
    txtScaleDelay->setText("32");
    comboScalaMultA1->setCurrentText("100W");
    comboScalaMultA2->setCurrentText("1KW");
    comboScalaMultB1->setCurrentText("100W");
    comboScalaMultB2->setCurrentText("1KW");
}

void frmConfig::cmdPreset_Click(int index) {
    static const char* const presets[3][3] = {
        {"16", "256", "100"}, {"32", "512", "100"}, {"64", "512", "100"}};
    if (index < 0 || index > 2) return;
    txtDelay1->setText(presets[index][0]);
    txtDelay2->setText(presets[index][1]);
    txtnFwdMin->setText(presets[index][2]);
}

void frmConfig::cmdCancel_Click() { reject(); }

void frmConfig::cmdApply_Click() {
    if (applying_) return;  // the first press's upload is still under way
    lastApply_ = applySetup(values(), guiAtLoad_, g_);
    applying_ = true;
    // Each command takes 100 ms or more: the dialog keeps repainting
    // meanwhile and goes on once the bridge has had its say on every one.
    uploadSetup(
        lastApply_,
        [this](const std::string& cmd, std::function<void(bool)> acked) {
            session_.sendCommand(cmd, std::move(acked));
        },
        [this, alive = alive_](const ApplyResult& r) {
            if (*alive) applied(r);
        });
}

void frmConfig::applied(const ApplyResult& r) {
    applying_ = false;
    lastApply_ = r;

    const std::string notSent = notConvertedMessage(lastApply_);
    if (!notSent.empty()) p_.messageBox(notSent, mb::Exclamation, kAppTitle);
    const std::string outside = outOfRangeMessage(lastApply_);
    if (!outside.empty()) p_.messageBox(outside, mb::Exclamation, kAppTitle);
    const std::string notAck = notAcknowledgedMessage(lastApply_);
    if (!notAck.empty()) p_.messageBox(notAck, mb::Exclamation, kAppTitle);

    if (lastApply_.modeChanged) {
        WriteIni("Bridge", "GUI", std::to_string(lastApply_.newMode), g_.SettingsPath);
        p_.messageBox("Program will Exit, please Restart the program.", mb::OkOnly, kAppTitle);
        closePort();
        p_.endProgram(0);
        return;
    }
    accept();
}

bool frmConfig::fieldLostFocus(QLineEdit* field) {
    const std::string name = s(field->objectName());
    if (name == "txtFileName") {
        field->setText(field->text().trimmed());
        return true;
    }
    const FieldCheck* c = findFieldCheck(name);
    if (!c) return true;
    QPalette pal = field->palette();
    if (checkIntRangeValue(s(field->text()), c->min, c->max)) {
        pal.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
        field->setPalette(pal);
        return true;
    }
    checking_ = true;
    p_.messageBox(rangeMessage(c->min, c->max), mb::Critical, c->title);
    checking_ = false;
    pal.setColor(QPalette::Base, QColor(255, 0, 0));
    field->setPalette(pal);
    // Deferred: the focus change that triggered the check is still under way.
    QTimer::singleShot(0, field, [field] { field->setFocus(Qt::OtherFocusReason); });
    return false;
}

bool frmConfig::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !checking_) {
        auto* field = qobject_cast<QLineEdit*>(watched);
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching to another window or opening a context menu is no leaving
        // of the field. Going to any control of the dialog is, Cancel included:
        // a press on Cancel released elsewhere keeps the dialog open, and an
        // unchecked value must not wait there for Apply.
        const bool leaving =
            reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
        if (field && leaving) fieldLostFocus(field);
    }
    return QDialog::eventFilter(watched, event);
}

void frmConfig::done(int r) {
    closePort();
    QDialog::done(r);
}

}  // namespace quellon
