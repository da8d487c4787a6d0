#pragma once
// The command window: sends the bridge's mode and scale commands by hand
// through the session, on the bridge's port, opened for the window when it is
// created and closed with it.

#include <array>
#include <memory>

#include "core/modGlobal.h"

#include <QDialog>

class QPushButton;
class QLabel;

namespace quellon {

class Platform;
class BridgeSession;

class frmCommand : public QDialog {
    Q_OBJECT
public:
    frmCommand(Platform& p, ModGlobal& g, BridgeSession& session, QWidget* parent = nullptr);
    ~frmCommand() override;

    bool portOpen() const;
    // Click handlers of the three button groups, by button index.
    void cmdMode_Click(int index);
    void cmdScaleA_Click(int index);
    void cmdScaleB_Click(int index);
    void cmdExit_Click();
    // Acknowledged send through the session; the click has no further effect
    // when the bridge does not acknowledge or the port cannot be reached.
    void sendCmd_ACK(const std::string& cmd);

protected:
    void done(int r) override;

private:
    void openPort();
    void closePort();

    Platform& p_;
    ModGlobal& g_;
    BridgeSession& session_;
    bool portOpen_ = true;  // until the session says otherwise
    bool closed_ = false;
    // Tells the session's late callbacks whether the window is still there.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::string currentCommand_;

    std::array<QPushButton*, 7> cmdMode{};
    std::array<QPushButton*, 3> cmdScaleA{}, cmdScaleB{};
    QPushButton* cmdExit = nullptr;
    QLabel* lblPort = nullptr;
};

}  // namespace quellon
