#pragma once
// "COM Port Detect": scans COM1.. for the bridge and saves the chosen port.

#include "core/modGlobal.h"

#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/PortMap.h"
#include "portscan/PortProbe.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace quellon {

class frmPort : public QDialog {
    Q_OBJECT
public:
    frmPort(ModGlobal& g, Platform& p, QWidget* parent = nullptr);
    ~frmPort() override;

    // Handlers, public so that callers and tests can drive the window.
    void cmdStart_Click();
    void cmdOK_Click();
    void cmdExit_Click();
    void COMicon_Click(int index);
    void addInfo(const std::string& text);

    PortProbe& probe() { return *probe_; }
    // Where the device paths and descriptions of the numbers come from; read at
    // every START so a plugged-in adapter shows up without reopening the window.
    std::function<std::vector<std::pair<int, PortInfo>>()> listPorts;
    // Where the stable names of USB adapters are looked up (for OK's offer to
    // pin the bridge's adapter to its number).
    std::string byIdDir = kSerialByIdDir;

    // Controls
    QLabel* Label1 = nullptr;
    QComboBox* txtPortNumber = nullptr;
    QPushButton* cmdStart = nullptr;
    QGroupBox* Frame1 = nullptr;
    std::array<QToolButton*, kPortSlots> COMicon{};
    std::array<QLabel*, kPortSlots> PortType{};
    std::array<QLabel*, kPortSlots> PortDevice{};  // device path behind the number
    QGroupBox* Frame2 = nullptr;
    QPlainTextEdit* InfoText = nullptr;
    QLabel* lblSelected = nullptr;
    QLabel* lblHint = nullptr;  // what to do about a port the user may not open
    QLineEdit* txtPortSelected = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdExit = nullptr;

    // Esc and the title bar's close button.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void showSlot(int index);
    void loadPortNotes();
    void offerPin(const std::string& number);

    ModGlobal& g_;
    Platform& p_;
    std::unique_ptr<PortProbe> probe_;
    std::string portAtLoad_, settingsAtLoad_;
    std::array<std::string, kPortSlots> devicePath_{};
};

}  // namespace quellon
