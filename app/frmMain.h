#pragma once
// The start-up window. It owns the session (the bridge's port, the connect
// sequence, the receive path, the connection watchdog and the CSV logger), shows
// what the session reports, and serves the display windows through DisplayHost.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "core/modGlobal.h"
#include "display/DisplayHost.h"
#include "network/RemoteSession.h"
#include "platform/Platform.h"
#include "session/BridgeSession.h"
#include "settings/Ini.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quellon {

// The application's name for the desktop. It is not made the display name:
// X11 window managers would show it after every caption (" — Quellon by
// WEXLO"), and every caption and message box title is meant to read exactly
// as the program sets it.
void setApplicationTitle();

class frmMain : public QWidget, public DisplayHost {
    Q_OBJECT
public:
    frmMain(Platform& platform, ModGlobal& g, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start: centre, settings version check, GuiMode, logo, then the first
    // activation (which runs the connect sequence at the next timer tick).
    void Form_Load();
    // Every activation of the start-up window starts a connect sequence.
    void Form_Activate();

    // Connect sequence (Timer1) and the progress bar (Timer2).
    void ConnectSequence();
    void Timer2_Timer();
    // Connection watchdog.
    void Timer3_Timer();

    // DisplayHost
    Platform& platform() override { return p_; }
    ModGlobal& state() override { return g_; }
    void startRxDati() override;
    void stopRxDati() override;
    void closeBridgePort() override;
    void reopenBridgePort() override;
    bool dataLogActive() override;
    void setDataLogActive(bool on) override;
    StreamState streamState() override {
        return remote_ ? remote_->streamState() : session_.streamState();
    }
    void hideStartupWindow() override;
    void showStartupWindow() override;
    void runCommandWindow(QWidget* parent) override;
    void runConfigDialog(QWidget* parent) override;
    void endProgram() override;
    bool connectionLost(const std::string& text, int style) override;
    void showHistory(QWidget* parent) override;
    void showBigView(QWidget* parent) override;
    // The network publisher's and the rig's status lines, one under the other.
    std::string networkStatus() override;
    std::string captionSuffix() override;
    std::string readOnlyReason() override;
    std::string channelDescription(char letter) override;

    // A viewer ([Remote] Node, or viewNode set before Form_Load): another
    // station's bridge through the broker instead of a port. The start-up
    // window waits for that node's feed and opens the display when it comes;
    // Set and Cmd are off.
    std::string viewNode;
    bool viewing() const { return remote_ != nullptr; }
    RemoteSession* remote() { return remote_.get(); }

    // Unattended recovery ([Recovery] Auto, on unless "0"): the lost-connection
    // messages are modeless, at most one is shown and the program closes it when
    // frames come again; a connect sequence that fails (at the start as after a
    // lost connection) is retried every kRetrySeconds without a click.
    static constexpr int kRetrySeconds = 5;
    bool autoRecovery() const { return autoRecovery_; }
    // Seconds until the next retry by itself; 0 when none is pending.
    int retryCountdown() const { return retryLeft_; }
    QLabel* retryLabel() const { return lblRetry_; }
    Timer& retryTimer() { return *retryTimer_; }

    // Buttons.
    void cmdRetry_Click();
    void cmdSetUp_Click();
    void cmdExit_Click();
    // A stop from the system (see platform/StopSignals.h): the program ends as
    // by the Exit button of the window on screen.
    void exitRequested();

    // The connection to the bridge.
    BridgeSession& session() { return session_; }
    // Every accepted frame and link state change, for the features that listen:
    // the port's, or in a viewer (known after Form_Load) the watched node's.
    ReadingBus& readings() { return remote_ ? remote_->readings() : session_.readings(); }

    // For tests and the benchmarks.
    SerialPort& port() { return session_.port(); }
    DataLogger& logger() { return remote_ ? remote_->logger() : session_.logger(); }
    Timer& timer1() { return *Timer1_; }
    Timer& timer2() { return *Timer2_; }
    Timer& timer3() { return session_.watchdog(); }
    QLabel* statusLabel() const { return lblConnection_; }
    QProgressBar* progressBar() const { return ProgressBar1_; }
    QPushButton* retryButton() const { return cmdRetry_; }
    QPushButton* setupButton() const { return cmdSetUp_; }
    QPushButton* exitButton() const { return cmdExit_; }
    DisplayWindow* displayWindow() const { return display_.get(); }
    const std::string& lastChannel() const { return session_.lastChannel(); }
    // Shows each reading it hears in the open display window. Subscribed to the
    // session's readings at construction; another source of readings (a bridge
    // seen through the broker) drives the displays the same way once this is
    // subscribed to its bus instead.
    ReadingListener& displayFeed() { return displayFeed_; }
    // Counters for the benchmarks: accepted frames, resynchronisations.
    uint64_t framesAccepted() const { return session_.framesAccepted(); }
    uint64_t resyncs() const { return session_.resyncs(); }

    // Replaces the display factory (tests) and the port detection dialog (tests).
    std::function<std::unique_ptr<DisplayWindow>(const std::string&, DisplayHost&)> displayFactory;
    std::function<void(QWidget*)> portDetection;
    // Opens the history window; set by the program's composition root.
    std::function<void(QWidget*)> historyWindow;
    // Opens the big view; set by the program's composition root.
    std::function<void(QWidget*)> bigViewWindow;
    // The network publisher's status line for the display windows (set by main).
    std::function<std::string()> networkStatusSource;
    // The rig's status line (set by main when [Rig] is enabled): shown under the
    // connection text here, renewed twice a second, and in the displays' status.
    void setRigStatusSource(std::function<std::string()> source);
    QLabel* rigLabel() const { return lblRig_; }
    // Writes the settings changed since the last save (the program's end calls it).
    void saveSettings();
    // Settings files written since the start.
    int settingsWrites() const { return settings_.file ? settings_.file->writes() : 0; }

private:
    struct DisplayFeed : ReadingListener {
        explicit DisplayFeed(frmMain& w) : w_(w) {}
        void onReading(const ReadingEvent& e) override { w_.showReading(e); }
        frmMain& w_;
    };
    void showReading(const ReadingEvent& e);
    void startViewer(const std::string& node);
    void waitForFeed();
    void showWaiting();
    void tellSilence();
    void failureTail();
    void openDisplayWindow();
    void releaseDisplayLater();
    void showLostMessage(const std::string& text, int style);
    void startRetryCountdown();
    void stopRetryCountdown();
    void retryTick();

    // The settings file, read once after the start-up check and held for every
    // part of the program. First member, so gone last: what the windows save on
    // their way out is still written.
    struct HeldSettings {
        std::unique_ptr<IniFile> file;
        ~HeldSettings();
    };

    HeldSettings settings_;
    Platform& p_;
    ModGlobal& g_;
    BridgeSession session_;
    std::unique_ptr<RemoteSession> remote_;
    bool waitingForFeed_ = false;
    DisplayFeed displayFeed_{*this};
    std::unique_ptr<Timer> Timer1_, Timer2_;
    std::unique_ptr<Timer> retryTimer_;

    QLabel* Picture1_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QLabel* lblRig_ = nullptr;
    std::function<std::string()> rigStatusSource_;
    QLabel* lblConnection_ = nullptr;
    QProgressBar* ProgressBar1_ = nullptr;
    QPushButton* cmdRetry_ = nullptr;
    QLabel* lblRetry_ = nullptr;
    QPushButton* cmdSetUp_ = nullptr;
    QPushButton* cmdExit_ = nullptr;

    std::unique_ptr<DisplayWindow> display_;
    std::unique_ptr<DisplayWindow> retiredDisplay_;
    bool inWatchdogMessage_ = false;
    bool autoRecovery_ = true;
    int retryLeft_ = 0;
    // The one lost-connection message on screen in unattended recovery.
    std::unique_ptr<ShownMessage> lostMessage_;
    // What the start-up settings check had to say (a damaged file kept aside).
    std::unique_ptr<ShownMessage> settingsNote_;
};

}  // namespace quellon
