#include "command/frmCommand.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/Protocol.h"
#include "platform/Centre.h"
#include "platform/Platform.h"
#include "session/BridgeSession.h"

namespace quellon {

frmCommand::frmCommand(Platform& p, ModGlobal& g, BridgeSession& session, QWidget* parent)
    : QDialog(parent), p_(p), g_(g), session_(session) {
    setObjectName("frmCommand");
    setModal(true);
    setWindowTitle("Send Command ");
    QFont f("Tahoma");
    f.setPointSize(font().pointSize());
    setFont(f);

    auto makeButton = [this](QWidget* parentWidget, const QString& name, const QString& caption) {
        auto* b = new QPushButton(caption, parentWidget);
        b->setObjectName(name);
        b->setAutoDefault(false);
        b->setMinimumWidth(70);
        return b;
    };

    auto* modeBox = new QGroupBox("Mode", this);
    modeBox->setObjectName("frameMode");
    {
        auto* l = new QGridLayout(modeBox);
        const char* captions[] = {"Auto", "SWR  A", "SWR B", "A+B", "Pwr A", "Pwr B", "Scale"};
        for (int i = 0; i < 7; ++i) {
            cmdMode[i] = makeButton(modeBox, QString("cmdMode_%1").arg(i), captions[i]);
            connect(cmdMode[i], &QPushButton::clicked, this, [this, i] { cmdMode_Click(i); });
            l->addWidget(cmdMode[i], i / 4, i % 4);
        }
    }
    auto scaleBox = [&](const char* title, const char* frameName, const char* prefix,
                        std::array<QPushButton*, 3>& buttons,
                        const std::array<std::string, 2>& texts, void (frmCommand::*handler)(int)) {
        auto* box = new QGroupBox(title, this);
        box->setObjectName(frameName);
        auto* l = new QHBoxLayout(box);
        for (int i = 0; i < 3; ++i) {
            const QString caption = i == 0
                                        ? QString("Auto")
                                        : QString::fromStdString(texts[static_cast<size_t>(i - 1)]);
            buttons[static_cast<size_t>(i)] =
                makeButton(box, QString("%1_%2").arg(prefix).arg(i), caption);
            connect(buttons[static_cast<size_t>(i)], &QPushButton::clicked, this,
                    [this, handler, i] { (this->*handler)(i); });
            l->addWidget(buttons[static_cast<size_t>(i)]);
        }
        return box;
    };
    auto* scaleA = scaleBox("Scale A", "frameScaleA", "cmdScaleA", cmdScaleA, g_.ScaleTextA,
                            &frmCommand::cmdScaleA_Click);
    auto* scaleB = scaleBox("Scale B", "frameScaleB", "cmdScaleB", cmdScaleB, g_.ScaleTextB,
                            &frmCommand::cmdScaleB_Click);

    lblPort = new QLabel(this);
    lblPort->setObjectName("lblPort");
    lblPort->setStyleSheet("color: rgb(255,0,0);");
    lblPort->setWordWrap(true);
    lblPort->setVisible(false);

    cmdExit = makeButton(this, "cmdExit", "Exit");
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });

    auto* root = new QVBoxLayout(this);
    root->addWidget(modeBox);
    auto* scales = new QHBoxLayout;
    scales->addWidget(scaleA);
    scales->addWidget(scaleB);
    root->addLayout(scales);
    root->addWidget(lblPort);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdExit);
    root->addLayout(bottom);

    openPort();

    adjustSize();
    centreOnScreen(*this, ScreenArea::Whole);
}

frmCommand::~frmCommand() {
    *alive_ = false;
    closePort();
}

void frmCommand::openPort() {
    // The port opens in its turn, after the stream's stop has been exchanged.
    session_.openForCommands([this, alive = alive_](const std::string& failure) {
        if (!*alive || failure.empty()) return;
        // Without a port every click would fail; say why and offer only Exit.
        portOpen_ = false;
        lblPort->setText(QString::fromStdString(failure + ": commands cannot be sent"));
        lblPort->setVisible(true);
        for (auto* b : cmdMode) b->setEnabled(false);
        for (auto* b : cmdScaleA) b->setEnabled(false);
        for (auto* b : cmdScaleB) b->setEnabled(false);
    });
}

void frmCommand::closePort() {
    if (closed_) return;
    closed_ = true;
    session_.closeBridgePort();
}

bool frmCommand::portOpen() const { return portOpen_ && !closed_; }

void frmCommand::sendCmd_ACK(const std::string& cmd) {
    if (!portOpen()) return;
    session_.sendCommand(cmd);
}

void frmCommand::cmdMode_Click(int index) {
    if (index < 0 || index > 6) return;
    currentCommand_ = protocol::modeCommand(index);
    sendCmd_ACK(currentCommand_);
}

void frmCommand::cmdScaleA_Click(int index) {
    if (index < 0 || index > 2) return;
    currentCommand_ = protocol::scaleCommand(index);
    sendCmd_ACK(currentCommand_);
}

void frmCommand::cmdScaleB_Click(int index) {
    if (index < 0 || index > 2) return;
    currentCommand_ = protocol::scaleCommand(index + 3);
    sendCmd_ACK(currentCommand_);
}

void frmCommand::cmdExit_Click() { reject(); }

void frmCommand::done(int r) {
    closePort();
    QDialog::done(r);
}

}  // namespace quellon
