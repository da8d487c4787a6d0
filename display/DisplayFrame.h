#pragma once
// The frame every display main window shares: position in the settings file,
// the receive lamp, the connection-lost countdown, the Set/Cmd/Log/Exit buttons
// and, in the bargraph and gauge modes, the two channel windows with their
// On top / ChA / ChB controls.

#include <QPixmap>
#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "display/DisplayHost.h"
#include "platform/Watchdog.h"

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace quellon {

class Timer;

// Settings helpers shared by the main and the channel windows.
namespace winpos {
// Twips per logical pixel of the primary screen (15 at 96 dpi).
double twipsPerPixel();
// Reads a stored coordinate as a 16-bit whole number; unusable text gives def.
int readTwips(const std::string& section, const std::string& key, const std::string& file, int def);
QRect screenRect();
// Size of the window with its frame (title bar, borders), estimated from the
// program's other windows before the window manager has framed it.
QSize outerSize(const QWidget& w);
// Default top-left corner in twips: the window, frame included, centred on the
// primary screen.
QPoint centredTwips(const QWidget& w);
// True when less than a grip's worth of the rectangle (pixels) lies on any screen.
bool nearlyOffEveryScreen(const QRect& window);
// Moves a top-level window to a position in twips as stored. Only when that
// would leave it (nearly) entirely off every screen it goes to the default
// place instead: centred, plus offsetTwips right and down.
void placeAt(QWidget& w, int xTwips, int yTwips, int offsetTwips = 0);
int leftTwips(const QWidget& w);
int topTwips(const QWidget& w);
}  // namespace winpos

// Sets a text only when it differs, so frequent updates do not cause work.
void setTextIfChanged(QLineEdit* box, const QString& text);
void setTextIfChanged(QLabel* label, const QString& text);
void setTextColorIfChanged(QLineEdit* box, QColor c);
// Channel descriptions: at most channelNameWidth() pixels, cut with an
// ellipsis; a cut label carries the whole text as its tool tip.
int channelNameWidth();
QString elideChannelName(const QFontMetrics& fm, const QString& name);
void setElidedText(QLabel* label, const QString& name);
// A channel's description: the watched bridge's, else the settings file's.
std::string channelDescription(DisplayHost& host, char letter);

// A channel window (modes 0 and 1): a channel label and a picture area that
// drags the window.
class ChannelWindow : public QWidget {
    Q_OBJECT
public:
    ChannelWindow(DisplayHost& host, std::string section, char letter);
    ~ChannelWindow() override;

    // Position and channel description from the settings; then the window's own part.
    void load();
    // Writes the position (and the window's own keys).
    void unload();
    void setTopMost(bool onTop);
    void readChannelName();

    char letter() const { return letter_; }
    QLabel* lblChannel = nullptr;

protected:
    virtual void loadExtra() {}
    virtual void unloadExtra() {}
    void closeEvent(QCloseEvent* e) override;
    // Picture area: a left press starts a system move of the window.
    QWidget* makeDragArea(const char* objectName);

    DisplayHost& host_;
    std::string section_;
    char letter_;
};

class DisplayFrame : public QWidget, public DisplayWindow {
    Q_OBJECT
public:
    struct Mode {
        const char* objectName;
        const char* caption;
        std::string section;
        bool hasDataLog;
        bool hasChannelWindows;
        bool yellowWhenLogging;
        bool tooltipsSetCmd;  // gauge mode carries tool tips on Set and Cmd
        bool tooltipLog;
    };

    DisplayFrame(DisplayHost& host, Mode mode);
    ~DisplayFrame() override;

    // DisplayWindow
    void aggiornaDati(const ChannelReading& r) final;
    void showDisplay() final;
    QWidget* widget() override { return this; }

    // Handlers, public so that tests and the program can drive them.
    void cmdExit_Click();
    void cmdCMD_Click();
    void cmdConfig_Click();
    void cmdDataLog_Click();
    void cmdChA_Click();
    void cmdChB_Click();
    void chkOnTop_Click();
    void timerLed_Timer();
    void timer1_Timer();
    // Unload: stop the stream, save, close the channel windows, show the start-up window.
    void unloadDisplay();

    int lampId() const { return lampId_; }
    bool isUnloaded() const { return unloaded_; }
    Timer& timer1() { return *timer1_; }
    Timer& timerLed() { return *timerLed_; }
    ChannelWindow* channelWindow(char letter) const { return letter == 'A' ? chA_ : chB_; }

protected:
    // The mode's part of the window, built once.
    QVBoxLayout* content() const { return content_; }
    // Mode 0 and 1: the channel windows, owned by the frame.
    void setChannelWindows(ChannelWindow* a, ChannelWindow* b);
    // The per-frame update of the mode.
    virtual void updateStep(const ChannelReading& r) = 0;
    // Load steps particular to a mode: after the channel part, and after the timers.
    virtual void loadMode() {}
    virtual void loadModeLate() {}
    // Channel descriptions into the mode's labels.
    virtual void readChannelNames();
    // Saving: modes 0 and 1 use SaveWindowSettings, the others their position.
    virtual void SaveWindowSettings();
    virtual void saveOnExit();
    void closeEvent(QCloseEvent* e) override;

    DisplayHost& host_;
    ModGlobal& g_;
    Mode mode_;

private:
    void setLamp(int id);
    void unloadChannelWindows();
    void showNetworkStatus();

    QVBoxLayout* content_ = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton *cmdConfig = nullptr, *cmdCMD = nullptr, *cmdDataLog = nullptr, *cmdExit = nullptr;
    QPushButton *cmdChA = nullptr, *cmdChB = nullptr;
    QCheckBox* chkOnTop = nullptr;
    std::unique_ptr<Timer> timer1_, timerLed_;
    // timer1 as the connection-lost countdown, kicked by every frame.
    std::unique_ptr<Watchdog> lost_;
    ChannelWindow *chA_ = nullptr, *chB_ = nullptr;
    std::unique_ptr<ChannelWindow> ownA_, ownB_;
    bool ledPhase_ = false;
    int lampId_ = 0;
    // The lamp blinks twice a second for hours: each picture is drawn once.
    std::map<std::pair<int, qreal>, QPixmap> lampCache_;
    bool loaded_ = false, unloaded_ = false, exiting_ = false;
    // The connection-lost message has been given and the window still waits.
    bool lostReported_ = false;
    std::string networkStatus_;
};

}  // namespace quellon
