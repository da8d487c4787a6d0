#include "app/frmMain.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/Centre.h"
#include "resources/Images.h"
#include "settings/Ini.h"
#include "settings/Settings.h"

#include "command/frmCommand.h"
#include "display/DisplayFrame.h"
#include "portscan/frmPort.h"
#include "setup/frmConfig.h"

namespace quellon {

void setApplicationTitle() {
    QGuiApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("quellon"));
}

frmMain::frmMain(Platform& platform, ModGlobal& g, QWidget* parent)
    : QWidget(parent),
      p_(platform),
      g_(g),
      session_(platform, g),
      Timer1_(platform.newTimer()),
      Timer2_(platform.newTimer()),
      retryTimer_(platform.newTimer()) {
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
    lblRetry_ = new QLabel(this);
    lblRetry_->setObjectName("lblRetry");
    lblRetry_->hide();
    cmdSetUp_ = new QPushButton("Config", this);
    cmdSetUp_->setObjectName("cmdSetUp");
    cmdExit_ = new QPushButton("Exit", this);
    cmdExit_->setObjectName("cmdExit");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdRetry_);
    buttons->addWidget(lblRetry_);
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
    retryTimer_->setInterval(1000);
    retryTimer_->onTimeout = [this] { retryTick(); };
    session_.readings().subscribe(&displayFeed_);
    session_.onStatus = [this](const std::string& text) {
        lblConnection_->setText(QString::fromStdString(text));
    };
    session_.onSilence = [this] { tellSilence(); };
}

void frmMain::tellSilence() {
    if (autoRecovery_) {
        showLostMessage("SWR BRIDGE connection lost. Please verify your connection.",
                        mb::ConnectionLost);
        return;
    }
    if (inWatchdogMessage_) return;
    inWatchdogMessage_ = true;
    p_.messageBox("SWR BRIDGE connection lost. Please verify your connection.", mb::ConnectionLost,
                  kAppTitle);
    inWatchdogMessage_ = false;
}

frmMain::~frmMain() {
    readings().unsubscribe(&displayFeed_);
    session_.onStatus = {};
    session_.onSilence = {};
    Timer1_->stop();
    Timer2_->stop();
    retryTimer_->stop();
}

void frmMain::showReading(const ReadingEvent& e) {
    // A viewer's feed has come: the display opens as after a connect sequence.
    if (waitingForFeed_ && !display_) {
        waitingForFeed_ = false;
        Timer2_->stop();
        remote_->startRxDati();
        openDisplayWindow();
    }
    if (display_) display_->aggiornaDati(e.reading);
    // The stream is back: what the message said no longer holds.
    if (lostMessage_) lostMessage_.reset();
}

void frmMain::Form_Load() {
    centreOnScreen(*this, ScreenArea::Available);
    setWindowTitle(QString::fromUtf8(kAppTitle));
    // A settings file set aside is said once, in a box that waits for nobody:
    // an unattended start goes on connecting.
    if (const std::string note = CheckSettingsVersion(g_.SettingsPath); !note.empty())
        settingsNote_ = p_.showMessage(note, mb::Information, kAppTitle);
    // From here on every part reads and writes the settings in memory. What one
    // handler changes (a window's positions, the setup dialog's fields) is one
    // change set: saved in one write once control is back in the event loop.
    settings_.file = std::make_unique<IniFile>(g_.SettingsPath);
    settings_.file->onChange = [this] {
        QMetaObject::invokeMethod(
            this, [this] { saveSettings(); }, Qt::QueuedConnection);
    };
    HoldIniFile(settings_.file.get());
    g_.GuiMode = displayModeFromText(ReadIni("Bridge", "GUI", g_.SettingsPath, "0"));
    autoRecovery_ = ReadIni("Recovery", "Auto", g_.SettingsPath, "1") != "0";
    session_.setModelessReports(autoRecovery_);
    const std::string node = viewNode.empty() ? readRemoteSettings(g_.SettingsPath).node : viewNode;
    if (!node.empty()) startViewer(node);

    const qreal dpr = devicePixelRatioF();
    Picture1_->setPixmap(logoPixmap(QSize(380, 130), dpr));
    lblVersion_->setText(QString("v%1 by wexlo").arg(kProgramVersion));
    ProgressBar1_->setStyleSheet(
        "QProgressBar { background: rgb(255,255,255); border: 1px solid #888; }"
        "QProgressBar::chunk { background: #2a6fd6; }");

    logger().setDataLogActive(false);
    session_.forgetLastChannel();
    Timer1_->start();
    show();
}

void frmMain::Form_Activate() { Timer1_->start(); }

void frmMain::startViewer(const std::string& node) {
    remote_ = std::make_unique<RemoteSession>(p_, g_, readMqttSettings(g_.SettingsPath), node);
    remote_->logger().setModelessReports(autoRecovery_);
    remote_->onSilence = [this] { tellSilence(); };
    session_.readings().unsubscribe(&displayFeed_);
    remote_->readings().subscribe(&displayFeed_);
    remote_->start();
}

// A viewer's connect sequence: nothing to open, the feed comes when it comes
// (the broker's client reconnects by itself), so the wait has no end but the
// feed or Exit.
void frmMain::waitForFeed() {
    stopRetryCountdown();
    waitingForFeed_ = true;
    showWaiting();
    cmdSetUp_->hide();
    cmdExit_->setText("Exit");
    cmdRetry_->hide();
    ProgressBar1_->setValue(0);
    ProgressBar1_->show();
    Timer2_->start();
}

void frmMain::ConnectSequence() {
    Timer1_->stop();
    if (remote_) {
        waitForFeed();
        return;
    }
    if (!session_.beginConnect()) return;
    stopRetryCountdown();

    lblConnection_->setText("Connecting the SWR BRIDGE, please wait.");
    cmdSetUp_->hide();
    cmdExit_->setText("Abort");
    cmdRetry_->hide();
    ProgressBar1_->setValue(0);
    ProgressBar1_->show();
    Timer2_->start();

    // The exchange goes on from the port's and the timers' events: the window
    // repaints and the progress bar moves meanwhile.
    session_.readBridge([this](bool ok) {
        if (!ok) return failureTail();
        Timer2_->stop();
        session_.startStream();
        // The display opens once the stream's start has been exchanged: its
        // connection check counts from there, as it always did.
        session_.whenIdle([this] { openDisplayWindow(); });
    });
}

// The session has ended a failed sequence (port closed, listeners told): show why.
void frmMain::failureTail() {
    Timer2_->stop();
    cmdSetUp_->show();
    cmdExit_->setText("Exit");
    cmdRetry_->show();
    ProgressBar1_->hide();
    lblConnection_->setText(QString::fromStdString(g_.StatusMessage));
    // Unattended, every failed sequence is tried again, the first one after
    // the start included: the bridge may be plugged in or powered up later.
    if (autoRecovery_) startRetryCountdown();
}

void frmMain::startRetryCountdown() {
    retryLeft_ = kRetrySeconds;
    lblRetry_->setText(QString("Retrying in %1 s").arg(retryLeft_));
    lblRetry_->show();
    retryTimer_->start();
}

void frmMain::stopRetryCountdown() {
    retryTimer_->stop();
    retryLeft_ = 0;
    lblRetry_->hide();
}

void frmMain::retryTick() {
    if (--retryLeft_ > 0) {
        lblRetry_->setText(QString("Retrying in %1 s").arg(retryLeft_));
        return;
    }
    stopRetryCountdown();
    Timer1_->start();
}

void frmMain::showLostMessage(const std::string& text, int style) {
    // The display's and the watchdog's message say the same: one on screen is enough.
    if (lostMessage_ && lostMessage_->isOpen()) return;
    lostMessage_ = p_.showMessage(text, style, kAppTitle);
}

bool frmMain::connectionLost(const std::string& text, int style) {
    if (!autoRecovery_) {
        p_.messageBox(text, style, kAppTitle);
        return true;
    }
    showLostMessage(text, style);
    // A line that has hung up will not bring frames back by itself: connect
    // again now. A silent one gets one more countdown to come back; so does a
    // watched node, unless it said itself that its bridge is away.
    return remote_ ? remote_->nodeDown() : !session_.port().isOpen();
}

std::string frmMain::networkStatus() {
    std::string text = remote_               ? remote_->statusText()
                       : networkStatusSource ? networkStatusSource()
                                             : std::string();
    if (rigStatusSource_) {
        if (!text.empty()) text += "\n";
        text += rigStatusSource_();
    }
    return text;
}

void frmMain::setRigStatusSource(std::function<std::string()> source) {
    rigStatusSource_ = std::move(source);
    if (!lblRig_) {
        lblRig_ = new QLabel(this);
        lblRig_->setObjectName("lblRig");
        lblRig_->setAlignment(Qt::AlignCenter);
        // Under the connection text: the layout's third row.
        static_cast<QVBoxLayout*>(layout())->insertWidget(3, lblRig_);
        auto* t = new QTimer(this);
        connect(t, &QTimer::timeout, this, [this] {
            const QString text = QString::fromStdString(rigStatusSource_());
            if (lblRig_->text() != text) lblRig_->setText(text);
        });
        t->start(500);
    }
    lblRig_->setText(QString::fromStdString(rigStatusSource_()));
}

void frmMain::Timer2_Timer() {
    int v = ProgressBar1_->value() + 1;
    if (v == ProgressBar1_->maximum()) v = ProgressBar1_->minimum();
    ProgressBar1_->setValue(v);
    if (waitingForFeed_) showWaiting();
}

// What the viewer waits for, and under it how the broker answers (a bad
// setting, a broker that is down), renewed with the progress bar.
void frmMain::showWaiting() {
    const QString text =
        QString::fromStdString(remote_->waitingText() + "\n" + remote_->statusText());
    if (lblConnection_->text() != text) lblConnection_->setText(text);
}

void frmMain::openDisplayWindow() {
    if (g_.GuiMode == DisplayMode::Unknown) {
        g_.GuiMode = DisplayMode::Bargraphs;
        WriteIni("Bridge", "GUI", "0", g_.SettingsPath);
    }
    auto factory = displayFactory ? displayFactory : createDisplayWindow;
    display_ = factory(displayModeText(g_.GuiMode), *this);
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

void frmMain::Timer3_Timer() { session_.watchdogTimeout(); }

// A viewer has no port: the stream's start and stop only open and close the
// log, as they do for the port's stream.
void frmMain::startRxDati() { remote_ ? remote_->startRxDati() : session_.startRxDati(); }
void frmMain::stopRxDati() { remote_ ? remote_->stopRxDati() : session_.stopRxDati(); }
void frmMain::closeBridgePort() {
    if (!remote_) session_.closeBridgePort();
}
void frmMain::reopenBridgePort() {
    if (!remote_) session_.reopenBridgePort();
}
bool frmMain::dataLogActive() { return logger().dataLogActive(); }
void frmMain::setDataLogActive(bool on) {
    logger().setDataLogActive(on);
    if (on) logger().startDataLog();
    else logger().stopDataLog();
}

std::string frmMain::captionSuffix() { return remote_ ? " \u2014 " + remote_->node() : ""; }

std::string frmMain::readOnlyReason() {
    return remote_ ? "Read-only: watching " + remote_->node() + " through the broker" : "";
}

std::string frmMain::channelDescription(char letter) {
    return remote_ ? remote_->description(letter) : "";
}

void frmMain::hideStartupWindow() { hide(); }

void frmMain::showStartupWindow() {
    show();
    raise();
    // The lost-connection message went up while the display window was still
    // there; showing this window again would bury it.
    if (lostMessage_ && lostMessage_->isOpen()) lostMessage_->raise();
    Form_Activate();
}

void frmMain::runCommandWindow(QWidget* parent) {
    if (remote_) return;
    frmCommand dlg(p_, g_, session_, parent);
    dlg.exec();
}

void frmMain::runConfigDialog(QWidget* parent) {
    if (remote_) return;
    frmConfig dlg(p_, g_, session_, parent);
    dlg.exec();
}

void frmMain::saveSettings() {
    if (settings_.file) settings_.file->save();
}

frmMain::HeldSettings::~HeldSettings() {
    if (file) file->save();
}

void frmMain::endProgram() {
    auto end = [this] {
        saveSettings();
        p_.endProgram(0);
    };
    // The stream's stop and the port's close are still to be exchanged: the
    // bridge must not be left streaming by a program that is gone.
    if (session_.idle()) return end();
    session_.whenIdle(end);
}

void frmMain::showHistory(QWidget* parent) {
    if (historyWindow) historyWindow(parent);
}

void frmMain::showBigView(QWidget* parent) {
    if (bigViewWindow) bigViewWindow(parent);
}

void frmMain::cmdRetry_Click() {
    stopRetryCountdown();
    Timer1_->start();
}

void frmMain::cmdSetUp_Click() {
    stopRetryCountdown();
    if (portDetection) {
        portDetection(this);
    } else {
        frmPort dlg(g_, p_, this);
        dlg.exec();
    }
    Form_Activate();
}

void frmMain::cmdExit_Click() { endProgram(); }

void frmMain::exitRequested() {
    // The display's Exit stops the stream and closes the port before the end,
    // so the bridge is not left streaming and its window positions are kept.
    auto* d = display_ ? dynamic_cast<DisplayFrame*>(display_->widget()) : nullptr;
    if (d && d->isVisible()) d->cmdExit_Click();
    else cmdExit_Click();
}

}  // namespace quellon
