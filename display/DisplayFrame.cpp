#include "core/ImageIds.h"
#include "core/modGlobal.h"

#include "display/DisplayFrame.h"
#include "display/PaintCoalescer.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWindow>
#include <cmath>

#include "link/Format.h"
#include "platform/Centre.h"
#include "platform/Platform.h"
#include "resources/Images.h"
#include "settings/Ini.h"

namespace quellon {

// ---------------------------------------------------------------- positions

namespace winpos {

double twipsPerPixel() {
    QScreen* s = QGuiApplication::primaryScreen();
    double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    if (!(dpi > 1)) dpi = 96.0;
    return 1440.0 / dpi;
}

int readTwips(const std::string& section, const std::string& key, const std::string& file,
              int def) {
    std::string text = ReadIni(section, key, file, std::to_string(def));
    auto v = roundHalfEven16(leadingNumber(text));
    return v ? *v : def;
}

QRect screenRect() {
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry() : QRect(0, 0, 1024, 768);
}

QSize outerSize(const QWidget& w) {
    // Once the window manager has framed the window its frame is known.
    if (w.frameGeometry().size() != w.geometry().size()) return w.frameGeometry().size();
    // Before that, the frame of a window already on the screen is the best guess:
    // all top-level windows of the program get the same decoration.
    QMargins m;
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other == &w || !other->isVisible() || !other->windowHandle()) continue;
        const QMargins om = other->windowHandle()->frameMargins();
        if (!om.isNull()) {
            m = om;
            break;
        }
    }
    return w.geometry().size().grownBy(m);
}

QPoint centredTwips(const QWidget& w) {
    const double tpp = twipsPerPixel();
    const QRect sr = screenRect();
    const QSize ws = outerSize(w);
    const double x = sr.x() * tpp + centredStart(sr.width() * tpp, ws.width() * tpp);
    const double y = sr.y() * tpp + centredStart(sr.height() * tpp, ws.height() * tpp);
    return QPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
}

bool nearlyOffEveryScreen(const QRect& window) {
    // Less than this many pixels of the window on a screen, across and down,
    // leaves nothing to take hold of.
    constexpr int kGrip = 16;
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect vis = s->geometry().intersected(window);
        if (vis.width() >= std::min(window.width(), kGrip) &&
            vis.height() >= std::min(window.height(), kGrip))
            return false;
    }
    return true;
}

void placeAt(QWidget& w, int xTwips, int yTwips, int offsetTwips) {
    const double tpp = twipsPerPixel();
    QPoint px(static_cast<int>(std::lround(xTwips / tpp)),
              static_cast<int>(std::lround(yTwips / tpp)));
    // A stored place is kept as stored, partly off the screen too. Only a place
    // on a screen that is gone (or a damaged value), where nobody could reach
    // the window, is given up for the default place.
    if (nearlyOffEveryScreen(QRect(px, outerSize(w)))) {
        const QPoint c = centredTwips(w) + QPoint(offsetTwips, offsetTwips);
        px = QPoint(static_cast<int>(std::lround(c.x() / tpp)),
                    static_cast<int>(std::lround(c.y() / tpp)));
    }
    w.move(px);
}

int leftTwips(const QWidget& w) {
    return static_cast<int>(std::lround(w.frameGeometry().x() * twipsPerPixel()));
}
int topTwips(const QWidget& w) {
    return static_cast<int>(std::lround(w.frameGeometry().y() * twipsPerPixel()));
}

}  // namespace winpos

void setTextIfChanged(QLineEdit* box, const QString& text) {
    if (box && box->text() != text) box->setText(text);
}
void setTextIfChanged(QLabel* label, const QString& text) {
    if (label && label->text() != text) label->setText(text);
}
int channelNameWidth() {
    const QRect sr = winpos::screenRect();
    return std::max(120, std::min(360, sr.width() / 3));
}

QString elideChannelName(const QFontMetrics& fm, const QString& name) {
    return fm.elidedText(name, Qt::ElideRight, channelNameWidth());
}

void setElidedText(QLabel* label, const QString& name) {
    if (!label) return;
    // A long description would widen the window past the screen and take its
    // buttons with it: it is cut with an ellipsis and shown whole as a tip.
    const QString shown = elideChannelName(label->fontMetrics(), name);
    setTextIfChanged(label, shown);
    label->setToolTip(shown == name ? QString() : name);
}

void setTextColorIfChanged(QLineEdit* box, QColor c) {
    if (!box) return;
    QPalette pal = box->palette();
    if (pal.color(QPalette::Text) == c) return;
    pal.setColor(QPalette::Text, c);
    box->setPalette(pal);
}

// ---------------------------------------------------------------- channel windows

namespace {

class DragArea : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return;
        QWidget* top = window();
        if (top && top->windowHandle()) top->windowHandle()->startSystemMove();
        e->accept();
    }
};

}  // namespace

ChannelWindow::ChannelWindow(DisplayHost& host, std::string section, char letter)
    : QWidget(nullptr, Qt::Window), host_(host), section_(std::move(section)), letter_(letter) {
    lblChannel = new QLabel(letter == 'A' ? QStringLiteral("ChA") : QStringLiteral("ChB"));
    lblChannel->setObjectName(QStringLiteral("lblChannel"));
    PaintCoalescer::install(this);
}

ChannelWindow::~ChannelWindow() = default;

QWidget* ChannelWindow::makeDragArea(const char* objectName) {
    auto* area = new DragArea(this);
    area->setObjectName(QString::fromLatin1(objectName));
    area->setToolTip(QStringLiteral("Click and Drag"));
    return area;
}

void ChannelWindow::load() {
    adjustSize();
    const std::string& file = host_.state().SettingsPath;
    QPoint c = winpos::centredTwips(*this);
    const int extra = letter_ == 'A' ? 0 : 1000;
    const std::string sx = letter_ == 'A' ? "PosXA" : "PosXB";
    const std::string sy = letter_ == 'A' ? "PosYA" : "PosYB";
    int x = winpos::readTwips(section_, sx, file, c.x() + extra);
    int y = winpos::readTwips(section_, sy, file, c.y() + extra);
    winpos::placeAt(*this, x, y, extra);
    readChannelName();
    if (const std::string suffix = host_.captionSuffix(); !suffix.empty())
        setWindowTitle(windowTitle() + QString::fromStdString(suffix));
    loadExtra();
}

std::string channelDescription(DisplayHost& host, char letter) {
    if (std::string remote = host.channelDescription(letter); !remote.empty()) return remote;
    const std::string& file = host.state().SettingsPath;
    return letter == 'A' ? ReadIni("Bridge", "ChannelA", file, "Channel A")
                         : ReadIni("Bridge", "ChannelB", file, "Channel B");
}

void ChannelWindow::readChannelName() {
    setElidedText(lblChannel, QString::fromStdString(channelDescription(host_, letter_)));
}

void ChannelWindow::unload() {
    const std::string& file = host_.state().SettingsPath;
    WriteIni(section_, letter_ == 'A' ? "PosXA" : "PosXB", std::to_string(winpos::leftTwips(*this)),
             file);
    WriteIni(section_, letter_ == 'A' ? "PosYA" : "PosYB", std::to_string(winpos::topTwips(*this)),
             file);
    unloadExtra();
}

void ChannelWindow::setTopMost(bool onTop) {
    // Changing the flag re-creates the native window, which hides it; the
    // window is shown afterwards in any case, a hidden one too, as the On top
    // box promises to bring both channel windows up.
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop)
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    show();
}

void ChannelWindow::closeEvent(QCloseEvent* e) {
    unload();
    e->accept();
}

// ---------------------------------------------------------------- frame

DisplayFrame::DisplayFrame(DisplayHost& host, Mode mode)
    : QWidget(nullptr), host_(host), g_(host.state()), mode_(std::move(mode)) {
    setObjectName(QString::fromLatin1(mode_.objectName));
    setWindowTitle(QString::fromLatin1(mode_.caption) +
                   QString::fromStdString(host_.captionSuffix()));
    PaintCoalescer::install(this);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    content_ = new QVBoxLayout;
    outer->addLayout(content_);

    auto* row = new QHBoxLayout;
    Image1 = new QLabel;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(28, 28);
    row->addWidget(Image1);
    if (mode_.hasChannelWindows) {
        chkOnTop = new QCheckBox(QStringLiteral("On top"));
        chkOnTop->setObjectName(QStringLiteral("chkOnTop"));
        chkOnTop->setToolTip(QStringLiteral("Always on top"));
        cmdChA = new QPushButton(QStringLiteral("ChA On/Off"));
        cmdChA->setObjectName(QStringLiteral("cmdChA"));
        cmdChB = new QPushButton(QStringLiteral("ChB On/Off"));
        cmdChB->setObjectName(QStringLiteral("cmdChB"));
        row->addWidget(chkOnTop);
        row->addWidget(cmdChA);
        row->addWidget(cmdChB);
        connect(chkOnTop, &QCheckBox::clicked, this, [this] { chkOnTop_Click(); });
        connect(cmdChA, &QPushButton::clicked, this, [this] { cmdChA_Click(); });
        connect(cmdChB, &QPushButton::clicked, this, [this] { cmdChB_Click(); });
    }
    // History and Big view: beside the left-hand controls, so the right-hand
    // buttons keep their places.
    auto* cmdHistory = new QPushButton(QStringLiteral("History"));
    cmdHistory->setObjectName(QStringLiteral("cmdHistory"));
    cmdHistory->setToolTip(QStringLiteral("Power and SWR over time (Ctrl+H)"));
    row->addWidget(cmdHistory);
    connect(cmdHistory, &QPushButton::clicked, this, [this] { host_.showHistory(this); });
    auto* historyKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+H")), this);
    connect(historyKey, &QShortcut::activated, this, [this] { host_.showHistory(this); });
    auto* cmdBigView = new QPushButton(QStringLiteral("Big view"));
    cmdBigView->setObjectName(QStringLiteral("cmdBigView"));
    cmdBigView->setToolTip(QStringLiteral("Large read-outs and the SWR alarm (Ctrl+B)"));
    row->addWidget(cmdBigView);
    connect(cmdBigView, &QPushButton::clicked, this, [this] { host_.showBigView(this); });
    auto* bigViewKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+B")), this);
    connect(bigViewKey, &QShortcut::activated, this, [this] { host_.showBigView(this); });
    row->addStretch(1);
    cmdConfig = new QPushButton(QStringLiteral("Set"));
    cmdConfig->setObjectName(QStringLiteral("cmdConfig"));
    cmdCMD = new QPushButton(QStringLiteral("Cmd"));
    cmdCMD->setObjectName(QStringLiteral("cmdCMD"));
    if (mode_.tooltipsSetCmd) {
        cmdConfig->setToolTip(QStringLiteral("Setup window."));
        cmdCMD->setToolTip(QStringLiteral("Command window"));
    }
    // A bridge watched through the broker is only read: its setup and
    // commands belong to the station it is attached to.
    if (const std::string why = host_.readOnlyReason(); !why.empty()) {
        for (QPushButton* b : {cmdConfig, cmdCMD}) {
            b->setEnabled(false);
            b->setToolTip(QString::fromStdString(why));
        }
    }
    row->addWidget(cmdConfig);
    row->addWidget(cmdCMD);
    if (mode_.hasDataLog) {
        cmdDataLog = new QPushButton(QStringLiteral("Log"));
        cmdDataLog->setObjectName(QStringLiteral("cmdDataLog"));
        if (mode_.tooltipLog)
            cmdDataLog->setToolTip(QStringLiteral("Export data to the log file."));
        row->addWidget(cmdDataLog);
        connect(cmdDataLog, &QPushButton::clicked, this, [this] { cmdDataLog_Click(); });
    }
    cmdExit = new QPushButton(QStringLiteral("Exit"));
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    row->addWidget(cmdExit);
    outer->addLayout(row);
    connect(cmdConfig, &QPushButton::clicked, this, [this] { cmdConfig_Click(); });
    connect(cmdCMD, &QPushButton::clicked, this, [this] { cmdCMD_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });

    // Dark green until the blink timer's first tick.
    setLamp(lamp::GreenDark);

    timer1_ = host_.platform().newTimer();
    timerLed_ = host_.platform().newTimer();
    lost_ =
        std::make_unique<Watchdog>(host_.platform(), *timer1_, 3000, [this] { timer1_Timer(); });
    timerLed_->setInterval(500);
    timerLed_->onTimeout = [this] { timerLed_Timer(); };
}

DisplayFrame::~DisplayFrame() {
    if (timer1_) timer1_->stop();
    if (timerLed_) timerLed_->stop();
}

void DisplayFrame::setChannelWindows(ChannelWindow* a, ChannelWindow* b) {
    ownA_.reset(a);
    ownB_.reset(b);
    chA_ = a;
    chB_ = b;
}

void DisplayFrame::setLamp(int id) {
    if (id == lampId_) return;
    lampId_ = id;
    const auto key = std::make_pair(id, devicePixelRatioF());
    auto it = lampCache_.find(key);
    if (it == lampCache_.end()) it = lampCache_.emplace(key, lampPixmap(id, key.second)).first;
    Image1->setPixmap(it->second);
}

void DisplayFrame::showDisplay() {
    if (loaded_) {
        show();
        return;
    }
    loaded_ = true;
    const std::string& file = g_.SettingsPath;
    adjustSize();
    QPoint c = winpos::centredTwips(*this);
    int x = winpos::readTwips(mode_.section, "PosX", file, c.x());
    int y = winpos::readTwips(mode_.section, "PosY", file, c.y());
    winpos::placeAt(*this, x, y);

    if (mode_.hasChannelWindows && chA_ && chB_) {
        chB_->load();
        chB_->show();
        chA_->load();
        chA_->show();
        std::string onTop = ReadIni(mode_.section, "OnTop", file, "0");
        chkOnTop->setChecked(leadingNumber(onTop) == 1);
        chkOnTop_Click();
        chA_->setVisible(ReadIni(mode_.section, "VisibleA", file, "1") != "0");
        chB_->setVisible(ReadIni(mode_.section, "VisibleB", file, "1") != "0");
        loadMode();
    } else {
        readChannelNames();
        loadMode();
    }
    host_.hideStartupWindow();
    lost_->start();
    timerLed_->setInterval(500);
    timerLed_->start();
    loadModeLate();
    show();
}

void DisplayFrame::aggiornaDati(const ChannelReading& r) {
    if (unloaded_) return;
    updateStep(r);
    // Paints held back since the last one are due now, if their interval is over.
    PaintCoalescer::replayDue();
    lost_->kick();
    if (lostReported_) {
        // The stream came back while the window waited: it goes on as before.
        lostReported_ = false;
        if (!timerLed_->isActive()) timerLed_->start();
    }
}

void DisplayFrame::readChannelNames() {
    if (chA_) chA_->readChannelName();
    if (chB_) chB_->readChannelName();
}

void DisplayFrame::SaveWindowSettings() {
    const std::string& file = g_.SettingsPath;
    const int x = winpos::leftTwips(*this), y = winpos::topTwips(*this);
    if (!mode_.hasChannelWindows) {
        WriteIni(mode_.section, "PosX", std::to_string(x), file);
        WriteIni(mode_.section, "PosY", std::to_string(y), file);
        return;
    }
    // The bargraph window keeps the stored place when it sits at or beyond the
    // screen's left or top edge.
    const bool onlyPositive = mode_.section == "PwrSwr";
    if (!onlyPositive || x > 0) WriteIni(mode_.section, "PosX", std::to_string(x), file);
    if (!onlyPositive || y > 0) WriteIni(mode_.section, "PosY", std::to_string(y), file);
    for (ChannelWindow* w : {chA_, chB_}) {
        if (!w) continue;
        const bool a = w->letter() == 'A';
        w->unload();  // position and the window's own keys
        WriteIni(mode_.section, a ? "VisibleA" : "VisibleB", w->isVisible() ? "1" : "0", file);
    }
    WriteIni(mode_.section, "OnTop", chkOnTop && chkOnTop->isChecked() ? "1" : "0", file);
}

void DisplayFrame::saveOnExit() { SaveWindowSettings(); }

void DisplayFrame::unloadChannelWindows() {
    for (ChannelWindow* w : {chA_, chB_}) {
        if (!w) continue;
        w->unload();
        w->hide();
    }
}

void DisplayFrame::unloadDisplay() {
    if (unloaded_ || exiting_) return;
    unloaded_ = true;
    timer1_->stop();
    timerLed_->stop();
    host_.stopRxDati();
    SaveWindowSettings();
    if (mode_.hasChannelWindows) unloadChannelWindows();
    hide();
    host_.showStartupWindow();
    if (onUnloaded) onUnloaded();
}

void DisplayFrame::closeEvent(QCloseEvent* e) {
    unloadDisplay();
    e->accept();
}

void DisplayFrame::cmdExit_Click() {
    if (unloaded_ || exiting_) return;
    exiting_ = true;
    host_.stopRxDati();
    host_.closeBridgePort();
    saveOnExit();
    timer1_->stop();
    timerLed_->stop();
    host_.endProgram();
}

void DisplayFrame::cmdCMD_Click() {
    if (unloaded_ || exiting_ || !cmdCMD->isEnabled()) return;
    timer1_->stop();
    host_.stopRxDati();
    host_.closeBridgePort();
    host_.runCommandWindow(this);
    if (unloaded_ || exiting_) return;
    host_.reopenBridgePort();
    host_.startRxDati();
    lost_->start();
}

void DisplayFrame::cmdConfig_Click() {
    if (unloaded_ || exiting_ || !cmdCMD->isEnabled()) return;
    timer1_->stop();
    host_.stopRxDati();
    host_.closeBridgePort();
    host_.runConfigDialog(this);
    if (unloaded_ || exiting_) return;
    host_.reopenBridgePort();
    host_.startRxDati();
    readChannelNames();
    lost_->start();
}

void DisplayFrame::cmdDataLog_Click() { host_.setDataLogActive(!host_.dataLogActive()); }

void DisplayFrame::cmdChA_Click() {
    if (chA_) chA_->setVisible(!chA_->isVisible());
}
void DisplayFrame::cmdChB_Click() {
    if (chB_) chB_->setVisible(!chB_->isVisible());
}

void DisplayFrame::chkOnTop_Click() {
    if (!chkOnTop) return;
    const bool on = chkOnTop->isChecked();
    if (chA_) chA_->setTopMost(on);
    if (chB_) chB_->setTopMost(on);
}

void DisplayFrame::showNetworkStatus() {
    std::string text = host_.networkStatus();
    if (text == networkStatus_) return;
    networkStatus_ = std::move(text);
    const QString tip = QString::fromStdString(networkStatus_);
    setToolTip(tip);
    for (ChannelWindow* w : {chA_, chB_})
        if (w) w->setToolTip(tip);
}

void DisplayFrame::timerLed_Timer() {
    showNetworkStatus();
    const bool yellow = mode_.yellowWhenLogging && host_.dataLogActive();
    if (host_.streamState() == StreamState::Stopped) {
        ledPhase_ = false;
        setLamp(yellow ? lamp::YellowDark : lamp::GreenDark);
    } else if (ledPhase_) {
        ledPhase_ = false;
        setLamp(yellow ? lamp::YellowLit : lamp::GreenLit);
    } else {
        ledPhase_ = true;
        setLamp(yellow ? lamp::YellowDark : lamp::GreenDark);
    }
}

void DisplayFrame::timer1_Timer() {
    if (unloaded_ || exiting_) return;
    timer1_->stop();
    timerLed_->stop();
    setLamp(lamp::GreenDark);
    if (!lostReported_) {
        lostReported_ = true;
        if (!host_.connectionLost("SWR CONNECTION LOST. Please verify your connection.",
                                  mb::ConnectionLost)) {
            if (unloaded_ || exiting_) return;
            lost_->start();
            return;
        }
    }
    unloadDisplay();
}

bool DisplayHost::connectionLost(const std::string& text, int style) {
    platform().messageBox(text, style, kAppTitle);
    return true;
}

}  // namespace quellon
