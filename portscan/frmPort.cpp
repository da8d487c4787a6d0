#include "portscan/frmPort.h"  // first: see the note on modGlobal.h in it

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/PortMap.h"
#include "resources/Images.h"
#include "settings/Ini.h"

namespace quellon {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

// Keeps the grid cell when the widget is hidden, so the slots stay in place
// while a scan fills them in.
void keepPlace(QWidget* w) {
    QSizePolicy sp = w->sizePolicy();
    sp.setRetainSizeWhenHidden(true);
    w->setSizePolicy(sp);
}
}  // namespace

frmPort::frmPort(ModGlobal& g, Platform& p, QWidget* parent) : QDialog(parent), g_(g), p_(p) {
    setWindowTitle("COM Port Detect");
    setModal(true);

    Label1 = new QLabel("COM ports to scan: 1 thru ", this);
    txtPortNumber = new QComboBox(this);
    txtPortNumber->setObjectName("txtPortNumber");
    txtPortNumber->setEditable(true);
    txtPortNumber->setInsertPolicy(QComboBox::NoInsert);
    txtPortNumber->setMinimumContentsLength(3);
    cmdStart = new QPushButton("START ", this);
    cmdStart->setObjectName("cmdStart");

    auto* top = new QHBoxLayout;
    top->addWidget(Label1);
    top->addWidget(txtPortNumber);
    top->addStretch(1);
    top->addWidget(cmdStart);

    Frame1 = new QGroupBox("Active COM Ports", this);
    auto* grid = new QGridLayout(Frame1);
    grid->setHorizontalSpacing(12);
    for (int i = 0; i < kPortSlots; ++i) {
        auto* b = new QToolButton(Frame1);
        b->setObjectName(QString("COMicon%1").arg(i));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(32, 32));
        b->setText(QString("COM %1").arg(i + 1));
        {
            // Sized with an icon from the start, so marking a slot does not
            // make the window grow.
            QPixmap blank(32, 32);
            blank.fill(Qt::transparent);
            b->setIcon(QIcon(blank));
        }
        b->setMinimumWidth(72);
        b->setAutoRaise(false);
        keepPlace(b);
        b->hide();
        connect(b, &QToolButton::clicked, this, [this, i] { COMicon_Click(i); });

        auto* t = new QLabel(Frame1);
        t->setObjectName(QString("PortType%1").arg(i));
        t->setAlignment(Qt::AlignHCenter);
        t->setMinimumHeight(t->fontMetrics().height());
        keepPlace(t);
        t->hide();

        auto* d = new QLabel(Frame1);
        d->setObjectName(QString("PortDevice%1").arg(i));
        d->setAlignment(Qt::AlignHCenter);
        QFont f = d->font();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        d->setFont(f);
        d->setMinimumHeight(QFontMetrics(f).height());
        d->setForegroundRole(QPalette::PlaceholderText);
        keepPlace(d);
        d->hide();

        COMicon[static_cast<size_t>(i)] = b;
        PortType[static_cast<size_t>(i)] = t;
        PortDevice[static_cast<size_t>(i)] = d;
        const int row = (i / 4) * 3, col = i % 4;
        grid->addWidget(b, row, col, Qt::AlignHCenter);
        grid->addWidget(t, row + 1, col, Qt::AlignHCenter);
        grid->addWidget(d, row + 2, col, Qt::AlignHCenter);
    }

    Frame2 = new QGroupBox("Detect Progress", this);
    InfoText = new QPlainTextEdit(Frame2);
    InfoText->setObjectName("InfoText");
    InfoText->setReadOnly(true);
    InfoText->setMinimumHeight(150);
    InfoText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // lines wrap
    (new QVBoxLayout(Frame2))->addWidget(InfoText);

    lblSelected = new QLabel(this);
    txtPortSelected = new QLineEdit(this);
    txtPortSelected->setObjectName("txtPortSelected");
    // Chosen by clicking a slot or typed (ports beyond the eight slots too);
    // only digits, as the text goes to the settings file as it stands.
    txtPortSelected->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), txtPortSelected));
    txtPortSelected->setMaximumWidth(50);
    cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdExit = new QPushButton("Cancel", this);
    cmdExit->setObjectName("cmdExit");
    lblHint = new QLabel(this);
    lblHint->setObjectName("lblHint");
    lblHint->setWordWrap(true);
    lblHint->hide();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblSelected);
    bottom->addWidget(txtPortSelected);
    bottom->addStretch(1);
    bottom->addWidget(cmdOK);
    bottom->addWidget(cmdExit);

    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addWidget(Frame1);
    v->addWidget(Frame2, 1);
    v->addWidget(lblHint);
    v->addLayout(bottom);

    connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });

    listPorts = [this] { return numberedPorts(g_.SettingsPath, kPortSlots); };

    // Load
    probe_ = std::make_unique<PortProbe>(g_, p_);
    probe_->onInfo = [this](const std::string& s) { addInfo(s); };
    probe_->onSlotChanged = [this](int i) { showSlot(i); };
    probe_->onScanDone = [this] {
        cmdStart->setEnabled(true);
        cmdExit->setEnabled(true);
        cmdOK->setEnabled(true);
    };

    portAtLoad_ = g_.PortNumber;
    settingsAtLoad_ = g_.PortSettings;
    if (valueOf(g_.PortNumber) == 0) {
        // Built and moved in: assigning the literal trips a false -Wrestrict of GCC 12 at -O2.
        g_.PortNumber = std::string(1, '0');
        lblSelected->setText("Current selected port: NONE");
        txtPortSelected->clear();
    } else {
        lblSelected->setText("Current selected port COM:");
        txtPortSelected->setText(q(g_.PortNumber));
    }
    for (int i = 1; i <= kPortSlots; ++i) txtPortNumber->addItem(QString::number(i));
    txtPortNumber->setCurrentText("8");
    InfoText->clear();
    addInfo("Click START to begin COM Port detect");
}

frmPort::~frmPort() = default;

void frmPort::addInfo(const std::string& text) {
    InfoText->moveCursor(QTextCursor::End);
    InfoText->insertPlainText(q(text) + "\n");
    InfoText->moveCursor(QTextCursor::End);
    InfoText->ensureCursorVisible();
}

void frmPort::showSlot(int i) {
    const SlotState& s = probe_->slot(i);
    auto* b = COMicon[static_cast<size_t>(i)];
    auto* t = PortType[static_cast<size_t>(i)];
    auto* d = PortDevice[static_cast<size_t>(i)];
    if (s.visible) {
        b->setIcon(portIcon(s.icon));
        b->setText(q(s.caption));
    }
    b->setVisible(s.visible);
    t->setText(q(s.typeLabel));
    t->setVisible(s.visible && s.labelVisible);
    t->setToolTip(q(s.hint));
    if (!s.hint.empty()) {
        lblHint->setText(q(s.hint));
        lblHint->show();
    }
    const std::string& path = devicePath_[static_cast<size_t>(i)];
    d->setText(q(path));
    d->setVisible(s.visible && !path.empty());
}

void frmPort::loadPortNotes() {
    probe_->portNotes.clear();
    devicePath_ = {};
    if (!listPorts) return;
    for (const auto& [n, info] : listPorts()) {
        std::string note = info.path;
        if (!info.description.empty()) note += ", " + info.description;
        probe_->portNotes[n] = note;
        if (n >= 1 && n <= kPortSlots) {
            devicePath_[static_cast<size_t>(n - 1)] = info.path;
            COMicon[static_cast<size_t>(n - 1)]->setToolTip(q(note));
        }
    }
}

void frmPort::cmdStart_Click() {
    cmdStart->setEnabled(false);
    cmdExit->setEnabled(false);
    cmdOK->setEnabled(false);
    InfoText->clear();
    lblHint->clear();
    lblHint->hide();
    loadPortNotes();
    // The buttons come back when the last port is sorted; the window keeps
    // repainting meanwhile.
    probe_->scanText(txtPortNumber->currentText().toStdString());
}

void frmPort::COMicon_Click(int index) {
    txtPortSelected->setText(QString::number(index + 1));
    lblSelected->setText("Current selected port COM:");
}

void frmPort::cmdOK_Click() {
    if (probe_->scanning()) return;
    if (valueOf(txtPortSelected->text().toStdString()) < 1) txtPortSelected->setText("1");
    const std::string text = txtPortSelected->text().toStdString();
    if (text != portAtLoad_ || g_.PortSettings != settingsAtLoad_) {
        WriteIni("Bridge", "Port", text, g_.SettingsPath);
        WriteIni("Bridge", "Setting", g_.PortSettings, g_.SettingsPath);
    }
    offerPin(text);
    probe_->closePort();
    accept();
}

void frmPort::offerPin(const std::string& number) {
    // A USB adapter gets the next free ttyUSB name when plugged in again, so the
    // number found now would soon name another device (or none). Its stable
    // name keeps the number with the adapter.
    const int n = static_cast<int>(valueOf(number));
    if (n < 1 || n > kPortSlots) return;
    const size_t i = static_cast<size_t>(n - 1);
    const SlotState& s = probe_->slot(static_cast<int>(i));
    if (!s.visible || s.icon != porticon::Bridge) return;
    const std::string stable = pinSuggestion(n, devicePath_[i], g_.SettingsPath, byIdDir);
    if (stable.empty()) return;
    const std::string text = "Pin COM" + number + " to " + stable +
                             "?\r\nThe bridge then keeps this number when its USB adapter is "
                             "plugged in again.";
    if (p_.messageBox(text, mb::Question + mb::YesNo, kAppTitle) == mb::IdYes)
        WriteIni("Ports", std::to_string(n), stable, g_.SettingsPath);
}

void frmPort::cmdExit_Click() {
    if (probe_->scanning()) return;
    probe_->closePort();
    QDialog::reject();
}

// Esc and the title bar's close button must not unload the window in the middle
// of a scan: the scan still uses the window.
void frmPort::reject() {
    if (probe_->scanning()) return;
    cmdExit_Click();
}

void frmPort::closeEvent(QCloseEvent* e) {
    if (probe_->scanning()) {
        e->ignore();
        return;
    }
    probe_->closePort();
    QDialog::closeEvent(e);
}

}  // namespace quellon
