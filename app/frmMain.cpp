#include "app/frmMain.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "link/FrameDecoder.h"
#include "link/Handshake.h"
#include "resources/Images.h"
#include "settings/Ini.h"
#include "settings/Settings.h"

#include "link/command/frmCommand.h"
#include "portscan/frmPort.h"
#include "setup/frmConfig.h"

namespace quellon {

void setApplicationTitle() {
    QGuiApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("quellon"));
}

namespace {
constexpr int kFrameSize = 20;
}

frmMain::frmMain(Platform& platform, ModGlobal& g, QWidget* parent)
    : QWidget(parent),
      p_(platform),
      g_(g),
      MSComm1_(platform.newSerialPort()),
      link_(*MSComm1_, platform),
      logger_(g, platform),
      Timer1_(platform.newTimer()),
      Timer2_(platform.newTimer()),
      Timer3_(platform.newTimer()) {
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setObjectName("frmMain");

    Picture1_ = new QLabel(this);
    Picture1_->setObjectName("Picture1");
    Picture1_->setAlignment(Qt::AlignCenter);
    lblVersion_ = new QLabel(this);
    lblVersion_->setObjectName("lblVersion");
    lblVersion_->setAlignment(Qt::AlignRight);
    lblConnection_ = new QLabel(this);
    lblConnection_->setObjectName("lblConnection");
    lblConnection_->setFont(QFont("Tahoma", 10));
    lblConnection_->setWordWrap(true);
    lblConnection_->setAlignment(Qt::AlignCenter);
    lblConnection_->setMinimumHeight(40);
    ProgressBar1_ = new QProgressBar(this);
    ProgressBar1_->setObjectName("ProgressBar1");
    ProgressBar1_->setRange(0, 15);
    ProgressBar1_->setValue(0);
    ProgressBar1_->setTextVisible(false);
    cmdRetry_ = new QPushButton("Retry", this);
    cmdRetry_->setObjectName("cmdRetry");
    cmdSetUp_ = new QPushButton("Config", this);
    cmdSetUp_->setObjectName("cmdSetUp");
    cmdExit_ = new QPushButton("Exit", this);
    cmdExit_->setObjectName("cmdExit");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdRetry_);
    buttons->addWidget(cmdSetUp_);
    buttons->addStretch();
    buttons->addWidget(cmdExit_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Picture1_);
    layout->addWidget(lblVersion_);
    layout->addWidget(lblConnection_);
    layout->addWidget(ProgressBar1_);
    layout->addLayout(buttons);
    setFixedSize(420, 300);

    connect(cmdRetry_, &QPushButton::clicked, this, [this] { cmdRetry_Click(); });
    connect(cmdSetUp_, &QPushButton::clicked, this, [this] { cmdSetUp_Click(); });
    connect(cmdExit_, &QPushButton::clicked, this, [this] { cmdExit_Click(); });

    Timer1_->setInterval(1);
    Timer1_->onTimeout = [this] { ConnectSequence(); };
    Timer2_->setInterval(1000);
    Timer2_->onTimeout = [this] { Timer2_Timer(); };

    MSComm1_->setReceiveHandler([this](int ev) { onReceive(ev); });
}

frmMain::~frmMain() {
    MSComm1_->setReceiveHandler({});
    Timer1_->stop();
    Timer2_->stop();
    Timer3_->stop();
}

void frmMain::Form_Load() {
    // Centre on the screen.
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        move(r.x() + r.width() / 2 - width() / 2, r.y() + r.height() / 2 - height() / 2);
    }
    setWindowTitle(QString::fromUtf8(kAppTitle));
    CheckSettingsVersion(g_.SettingsPath);
    g_.GuiMode = ReadIni("Bridge", "GUI", g_.SettingsPath, "0");

    const qreal dpr = devicePixelRatioF();
    Picture1_->setPixmap(logoPixmap(QSize(380, 130), dpr));
    lblVersion_->setText(QString("v%1 by wexlo").arg(kProgramVersion));
    ProgressBar1_->setStyleSheet(
        "QProgressBar { background: rgb(255,255,255); border: 1px solid #888; }"
        "QProgressBar::chunk { background: #2a6fd6; }");

    g_.dataLogActive = false;
    lastChannel_.clear();
    Timer1_->start();
    show();
}

void frmMain::Form_Activate() { Timer1_->start(); }

bool frmMain::OpenBridgePortStep() { return OpenBridgePort(*MSComm1_, g_); }

void frmMain::ConnectSequence() {
    Timer1_->stop();
    if (connecting_) return;  // an activation during a running sequence changes nothing
    connecting_ = true;
    g_.streamState = 0;
    readings_.publishLinkState(LinkState::Connecting);

    lblConnection_->setText("Connecting the SWR BRIDGE, please wait.");
    cmdSetUp_->hide();
    cmdExit_->setText("Abort");
    cmdRetry_->hide();
    ProgressBar1_->setValue(0);
    ProgressBar1_->show();
    Timer2_->start();

    try {
        if (!OpenBridgePortStep()) {
            lblConnection_->setText(QString::fromStdString(g_.StatusMessage));
            failureTail();
            return;
        }
        if (!IdentifyBridge(link_, g_)) {
            g_.StatusMessage = "SWR BRIDGE not found.";
            lblConnection_->setText(QString::fromStdString(g_.StatusMessage));
            failureTail();
            return;
        }
        g_.StatusMessage = "SWR BRIDGE CONNECTED";
        lblConnection_->setText(QString::fromStdString(g_.StatusMessage));

        try {
            if (!MSComm1_->isOpen()) MSComm1_->open();
            MSComm1_->setInputMode(InputMode::Text);
            MSComm1_->write(":16\r");
            link_.rxBuffer = link_.leggiPIC();
            if (!CheckBridgeInfo(link_.rxBuffer, g_, p_)) {
                g_.StatusMessage = "SWR BRIDGE initialization failled.";
                failureTail();
                return;
            }
            MSComm1_->write(":17\r");
            link_.rxBuffer = link_.leggiPIC();
            ParseScaleCodes(link_.rxBuffer, g_);
        } catch (const SerialError& e) {
            // The line went away after the bridge had answered: say what the
            // port reports instead of leaving "CONNECTED" on a failed screen.
            g_.StatusMessage = "Com:" + g_.PortNumber + " " + e.description();
            failureTail();
            return;
        }
        MSComm1_->close();
        Timer2_->stop();
        startRxDati();
        connecting_ = false;
        readings_.publishLinkState(LinkState::Streaming);
        openDisplayWindow();
    } catch (const std::exception& e) {
        if (g_.StatusMessage.empty()) g_.StatusMessage = e.what();
        failureTail();
    }
}

void frmMain::failureTail() {
    connecting_ = false;
    readings_.publishLinkState(LinkState::Idle);
    Timer2_->stop();
    if (MSComm1_->isOpen()) MSComm1_->close();
    cmdSetUp_->show();
    cmdExit_->setText("Exit");
    cmdRetry_->show();
    ProgressBar1_->hide();
    lblConnection_->setText(QString::fromStdString(g_.StatusMessage));
}

void frmMain::Timer2_Timer() {
    int v = ProgressBar1_->value() + 1;
    if (v == ProgressBar1_->maximum()) v = ProgressBar1_->minimum();
    ProgressBar1_->setValue(v);
}

void frmMain::openDisplayWindow() {
    static const char* modes[] = {"0", "1", "2", "3", "4"};
    bool known = false;
    for (const char* m : modes) known = known || g_.GuiMode == m;
    if (!known) {
        g_.GuiMode = "0";
        WriteIni("Bridge", "GUI", "0", g_.SettingsPath);
    }
    auto factory = displayFactory ? displayFactory : createDisplayWindow;
    display_ = factory(g_.GuiMode, *this);
    if (!display_) return;
    display_->onUnloaded = [this] { releaseDisplayLater(); };
    display_->showDisplay();
}

void frmMain::releaseDisplayLater() {
    // The window calls this from inside its own handler; keep it alive until the
    // event has returned.
    retiredDisplay_ = std::move(display_);
    QTimer::singleShot(0, this, [this] { retiredDisplay_.reset(); });
}

void frmMain::Timer3_Timer() {
    Timer3_->stop();
    readings_.publishLinkState(LinkState::Lost);
    if (inWatchdogMessage_) return;
    inWatchdogMessage_ = true;
    p_.messageBox("SWR BRIDGE connection lost. Please verify your connection.", 46, kAppTitle);
    inWatchdogMessage_ = false;
    Timer3_->stop();
}

void frmMain::resync(bool clearLastChannel) {
    ++resyncs_;
    try {
        link_.leggiPIC();
        startRxDati();
    } catch (const std::exception&) {
        // A port that fails here is reported by the watchdogs.
    }
    if (clearLastChannel) lastChannel_.clear();
}

void frmMain::onReceive(int event) {
    if (event == SerialPort::EvHangup) {
        // Cable pulled or the device vanished: stop listening; the watchdogs
        // report the silence.
        MSComm1_->close();
        readings_.publishLinkState(LinkState::Lost);
        return;
    }
    if (event != SerialPort::EvReceive) return;
    // The recovery path pumps events while it reads; a notification arriving
    // then is left for the port to repeat once this one has finished.
    if (inReceive_) return;
    inReceive_ = true;
    bool badFrame = false;
    bool failed = false;
    try {
        rxWatchdog_.kick();
        MSComm1_->setInputMode(InputMode::Binary);
        const std::string data = MSComm1_->read();
        if (data.size() < static_cast<size_t>(kFrameSize)) {
            failed = true;
        } else if (data[19] == '\r' && data[0] == ':') {
            decodeFrame(reinterpret_cast<const uint8_t*>(data.data()), g_);
            ++framesAccepted_;
            if (g_.reading.channel == "B" && lastChannel_ == "A" && g_.dataLogActive)
                logger_.writeLogRecord();
            lastChannel_ = g_.reading.channel;
            g_.streamState = 2;
            if (display_) display_->aggiornaDati();
            readings_.publishLinkState(LinkState::Streaming);
            readings_.publishReading(ReadingEvent{g_.reading, g_, p_.epochMs()});
        } else {
            badFrame = true;
        }
    } catch (const std::exception&) {
        failed = true;
    }
    if (badFrame) resync(true);
    else if (failed) resync(false);
    inReceive_ = false;
}

void frmMain::startRxDati() {
    g_.streamState = 1;
    try {
        link_.sendCmd_ACK(":11\r");
        MSComm1_->setInputMode(InputMode::Binary);
        MSComm1_->setReceiveThreshold(kFrameSize);
        MSComm1_->setInputLength(kFrameSize);
    } catch (const std::exception&) {
        // Nobody checks the stream start; a stream that never comes is reported
        // by the display window's connection check.
    }
    Timer3_->stop();
    // Logging that was on when the stream stopped goes on into the same file.
    if (g_.dataLogActive && !logger_.isOpen()) logger_.startDataLog();
}

void frmMain::stopRxDati() {
    Timer3_->stop();
    g_.streamState = 0;
    try {
        link_.sendCmd_ACK(":10\r");
    } catch (const std::exception&) {
    }
    logger_.stopDataLog();
}

void frmMain::closeBridgePort() { MSComm1_->close(); }

void frmMain::reopenBridgePort() {
    try {
        if (!MSComm1_->isOpen()) MSComm1_->open();
    } catch (const std::exception&) {
        // startRxDati tries again; a port that stays away ends in the lost-connection path.
    }
}

void frmMain::startDataLog() { logger_.startDataLog(); }
void frmMain::stopDataLog() { logger_.stopDataLog(); }

void frmMain::hideStartupWindow() { hide(); }

void frmMain::showStartupWindow() {
    show();
    raise();
    Form_Activate();
}

void frmMain::runCommandWindow(QWidget* parent) {
    frmCommand dlg(p_, g_, parent);
    dlg.exec();
}

void frmMain::runConfigDialog(QWidget* parent) {
    frmConfig dlg(p_, g_, parent);
    dlg.exec();
}

void frmMain::endProgram() { p_.endProgram(0); }

void frmMain::showHistory(QWidget* parent) {
    if (historyWindow) historyWindow(parent);
}

void frmMain::cmdRetry_Click() { Timer1_->start(); }

void frmMain::cmdSetUp_Click() {
    if (portDetection) {
        portDetection(this);
    } else {
        frmPort dlg(g_, p_, this);
        dlg.exec();
    }
    Form_Activate();
}

void frmMain::cmdExit_Click() { p_.endProgram(0); }

}  // namespace quellon
