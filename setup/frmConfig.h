#pragma once
// The modal setup dialog: user settings (channel names, CSV log, display mode)
// and the bridge's measuring parameters, uploaded by Apply through the session
// on the bridge's port, opened for the dialog while it is up.

#include <array>
#include <memory>
#include <string>

#include "core/modGlobal.h"

#include <QDialog>
#include "setup/SetupApply.h"

class QLineEdit;
class QComboBox;
class QCheckBox;
class QRadioButton;
class QPushButton;
class QLabel;
class QGroupBox;

namespace quellon {

class Platform;
class BridgeSession;

class frmConfig : public QDialog {
    Q_OBJECT
public:
    frmConfig(Platform& p, ModGlobal& g, BridgeSession& session, QWidget* parent = nullptr);
    ~frmConfig() override;

    int guiAtLoad() const { return guiAtLoad_; }
    bool portOpen() const;
    // The dialog's contents as Apply reads them.
    SetupValues values() const;
    // Whether an Apply's upload is still under way.
    bool applying() const { return applying_; }
    // Result of the last Apply (empty before the first one), complete once
    // its upload is over.
    const ApplyResult& lastApply() const { return lastApply_; }

    // Handlers, public so a caller or a test can drive them like a click.
    void chkAdvanced_Click();
    void cmdDefault_Click();
    void cmdPreset_Click(int index);
    void cmdApply_Click();
    void cmdCancel_Click();
    // Check run when a field loses the focus; false when the field was refused.
    bool fieldLostFocus(QLineEdit* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int r) override;

private:
    void buildUi();
    void load();
    void openPort();
    void closePort();
    void applied(const ApplyResult& r);
    QLineEdit* newField(const char* name, int width = 80);

    Platform& p_;
    ModGlobal& g_;
    BridgeSession& session_;
    bool portOpen_ = true;  // until the session says otherwise
    bool closed_ = false;
    bool applying_ = false;
    // Tells the session's late callbacks whether the dialog is still there.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    int guiAtLoad_ = 0;
    bool checking_ = false;
    ApplyResult lastApply_;

    QLineEdit *txtDescA = nullptr, *txtDescB = nullptr, *txtFileName = nullptr,
              *txtIntervalTime = nullptr;
    QCheckBox *chkMode = nullptr, *chkPwrZero = nullptr;
    QLineEdit *txtMaxSwrA = nullptr, *txtMaxSwrB = nullptr, *txtScaleMaxA = nullptr,
              *txtScaleMaxB = nullptr, *txtScaleMinA = nullptr, *txtScaleMinB = nullptr,
              *txtScaleDelay = nullptr, *txtDelay1 = nullptr, *txtDelay2 = nullptr,
              *txtnFwdMin = nullptr;
    QComboBox *comboScalaMultA1 = nullptr, *comboScalaMultA2 = nullptr, *comboScalaMultB1 = nullptr,
              *comboScalaMultB2 = nullptr;
    QCheckBox *chkExpandA = nullptr, *chkExpandB = nullptr, *chkAdvanced = nullptr;
    std::array<QRadioButton*, 5> Option1{};
    std::array<QPushButton*, 3> cmdPreset{};
    QPushButton *cmdDefault = nullptr, *cmdApply = nullptr, *cmdCancel = nullptr;
    QGroupBox *frameSetUp = nullptr, *frameAdvanced = nullptr, *frameInterface = nullptr;
    QLabel *lblVersion = nullptr, *lblPort = nullptr;
};

}  // namespace quellon
