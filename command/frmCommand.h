#pragma once
// The command window: sends the bridge's mode and scale commands by hand on a
// serial port of its own, opened when the window is created and closed with it.

#include <array>
#include <memory>

#include "core/modGlobal.h"

#include <QDialog>

class QPushButton;
class QLabel;

namespace quellon {

class Platform;
class SerialPort;
class BridgeLink;

class frmCommand : public QDialog {
    Q_OBJECT
public:
    frmCommand(Platform& p, ModGlobal& g, QWidget* parent = nullptr);
    ~frmCommand() override;

    bool portOpen() const;
    // Click handlers of the three button groups, by button index.
    void cmdMode_Click(int index);
    void cmdScaleA_Click(int index);
    void cmdScaleB_Click(int index);
    void cmdExit_Click();
    // Acknowledged send on this window's port; false when not acknowledged or
    // the port cannot be reached.
    bool sendCmd_ACK(const std::string& cmd);

protected:
    void done(int r) override;

private:
    void openPort();
    void closePort();

    Platform& p_;
    ModGlobal& g_;
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<BridgeLink> link_;
    std::string currentCommand_;

    std::array<QPushButton*, 7> cmdMode{};
    std::array<QPushButton*, 3> cmdScaleA{}, cmdScaleB{};
    QPushButton* cmdExit = nullptr;
    QLabel* lblPort = nullptr;
};

}  // namespace quellon
