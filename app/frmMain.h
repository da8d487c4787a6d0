#pragma once
// The start-up window. It owns the bridge's port, the connect sequence, the
// receive handler of the measurement stream, the connection watchdog and the
// CSV logger, and serves the display windows through DisplayHost.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "datalog/DataLogger.h"
#include "display/DisplayHost.h"
#include "link/BridgeLink.h"
#include "link/modGlobal.h"
#include "platform/Platform.h"
#include "session/ReadingBus.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quellon {

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

    // Receive handler bound to the port's notification.
    void onReceive(int event);

    // Public methods other windows call.
    bool sendCmd_ACK(const std::string& cmd) { return link_.sendCmd_ACK(cmd); }
    std::string leggiPIC() { return link_.leggiPIC(); }

    // DisplayHost
    Platform& platform() override { return p_; }
    ModGlobal& state() override { return g_; }
    void startRxDati() override;
    void stopRxDati() override;
    void closeBridgePort() override;
    void reopenBridgePort() override;
    void startDataLog() override;
    void stopDataLog() override;
    void hideStartupWindow() override;
    void showStartupWindow() override;
    void runCommandWindow(QWidget* parent) override;
    void runConfigDialog(QWidget* parent) override;
    void endProgram() override;
    std::string networkStatus() override {
        return networkStatusSource ? networkStatusSource() : std::string();
    }

    // Buttons.
    void cmdRetry_Click();
    void cmdSetUp_Click();
    void cmdExit_Click();

    // For tests and the benchmarks.
    SerialPort& port() { return *MSComm1_; }
    BridgeLink& link() { return link_; }
    DataLogger& logger() { return logger_; }
    // Every accepted frame and link state change, for the features that listen.
    ReadingBus& readings() { return readings_; }
    Timer& timer1() { return *Timer1_; }
    Timer& timer2() { return *Timer2_; }
    Timer& timer3() { return *Timer3_; }
    QLabel* statusLabel() const { return lblConnection_; }
    QProgressBar* progressBar() const { return ProgressBar1_; }
    QPushButton* retryButton() const { return cmdRetry_; }
    QPushButton* setupButton() const { return cmdSetUp_; }
    QPushButton* exitButton() const { return cmdExit_; }
    DisplayWindow* displayWindow() const { return display_.get(); }
    const std::string& lastChannel() const { return lastChannel_; }
    // Counters for the benchmarks: accepted frames, resynchronisations.
    uint64_t framesAccepted() const { return framesAccepted_; }
    uint64_t resyncs() const { return resyncs_; }

    // Replaces the display factory (tests) and the port detection dialog (tests).
    std::function<std::unique_ptr<DisplayWindow>(const std::string&, DisplayHost&)> displayFactory;
    std::function<void(QWidget*)> portDetection;
    // The network publisher's status line for the display windows (set by main).
    std::function<std::string()> networkStatusSource;

private:
    bool OpenBridgePortStep();
    void failureTail();
    void openDisplayWindow();
    void releaseDisplayLater();
    void resync(bool clearLastChannel);

    Platform& p_;
    ModGlobal& g_;
    std::unique_ptr<SerialPort> MSComm1_;
    BridgeLink link_;
    DataLogger logger_;
    ReadingBus readings_;
    std::unique_ptr<Timer> Timer1_, Timer2_, Timer3_;

    QLabel* Picture1_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QLabel* lblConnection_ = nullptr;
    QProgressBar* ProgressBar1_ = nullptr;
    QPushButton* cmdRetry_ = nullptr;
    QPushButton* cmdSetUp_ = nullptr;
    QPushButton* cmdExit_ = nullptr;

    std::unique_ptr<DisplayWindow> display_;
    std::unique_ptr<DisplayWindow> retiredDisplay_;
    std::string lastChannel_;
    bool inReceive_ = false;
    bool inWatchdogMessage_ = false;
    bool connecting_ = false;
    uint64_t framesAccepted_ = 0;
    uint64_t resyncs_ = 0;
};

}  // namespace quellon
