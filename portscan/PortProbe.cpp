#include "portscan/PortProbe.h"

#include "link/Format.h"
#include "link/Protocol.h"
#include "platform/OpenPort.h"

#include <cmath>

namespace quellon {

namespace {

const char* const kSeparator = "---------------------";
// Replies are short; a port that keeps sending is not allowed to grow the
// buffer without bound. The tail kept is longer than the text searched for.
constexpr size_t kRxLimit = 4096;
constexpr size_t kRxKeep = 256;

}  // namespace

std::string errorTextFor(int number) {
    switch (number) {
        case serr::DeviceControlBlock:
            return "Internal error retrieving device control block for the port";
        case serr::PropertyWriteOnly: return "Property is write-only";
        case serr::InvalidPropertyValue: return "Invalid property value";
        case serr::PortInUseAlt:
        case serr::PortInUse: return "Port In Use";
        case serr::InvalidPortNumber: return "Invalid port number";
        case serr::PortNotOpen: return "Operation valid only when the port is open";
        case serr::PortOpenAlready: return "Operation not valid while the port is opened";
        case serr::PortHardwareError:
        case serr::PortError: return "Port ERROR";
        case serr::PropertyReadOnly: return "Property is read-only";
        default: return "Other error...";
    }
}

double valueOf(const std::string& text) {
    // No hex, "inf", "nan" or exponent: a port number or count is plain digits.
    const double v = scanLeadingNumber(text, kPlainDecimalRules).value;
    return std::isfinite(v) ? v : 0;
}

int PortProbe::countFromText(const std::string& text) {
    double v = std::trunc(valueOf(text));
    if (v < 0) return 0;
    if (v > 1e6) return 1000000;
    return static_cast<int>(v);
}

PortProbe::PortProbe(ModGlobal& g, Platform& p) : g_(g), p_(p) {
    timer1_ = p_.newTimer();
    timer1_->setInterval(1000);
    timer1_->onTimeout = [this] { ++waitTicks_; };
    timer1_->stop();
}

PortProbe::~PortProbe() {
    if (timer1_) timer1_->stop();
    closePort();
}

void PortProbe::closePort() {
    if (port_ && port_->isOpen()) port_->close();
}

void PortProbe::addInfo(const std::string& text) {
    if (onInfo) onInfo(text);
}

void PortProbe::hideAllSlots() {
    for (int i = 0; i < kPortSlots; ++i) {
        slots_[static_cast<size_t>(i)].visible = false;
        slots_[static_cast<size_t>(i)].labelVisible = false;
        slots_[static_cast<size_t>(i)].hint.clear();
        if (onSlotChanged) onSlotChanged(i);
    }
}

void PortProbe::mark(int port, int icon, const std::string& caption, const std::string& label,
                     bool labelShown) {
    if (port < 1 || port > kPortSlots) return;  // no slot for it
    SlotState& s = slots_[static_cast<size_t>(port - 1)];
    s.visible = true;
    s.icon = icon;
    s.caption = caption;
    s.typeLabel = label;
    s.labelVisible = labelShown;
    if (onSlotChanged) onSlotChanged(port - 1);
}

void PortProbe::setHint(int port, const std::string& hint) {
    if (port < 1 || port > kPortSlots) return;
    slots_[static_cast<size_t>(port - 1)].hint = hint;
    if (onSlotChanged) onSlotChanged(port - 1);
}

void PortProbe::scan(int count) {
    scanning_ = true;
    hideAllSlots();
    if (count > kPortSlots) {
        addInfo("Only COM1 thru COM" + std::to_string(kPortSlots) +
                " can be shown: scanning COM1 thru COM" + std::to_string(kPortSlots));
        count = kPortSlots;
    }
    for (int port = 1; port <= count; ++port) probePort(port);
    scanning_ = false;
    addInfo(kSeparator);
    addInfo("COM Port search complete");
    addInfo("Click START to rescan COM Ports");
}

void PortProbe::probePort(int port) {
    timer1_->stop();
    if (port != 1) addInfo(kSeparator);
    addInfo("Checking COM" + std::to_string(port) + "...");
    const std::string n = std::to_string(port);
    try {
        if (!port_) port_ = p_.newSerialPort();
        if (const auto failure = openPortAs(*port_, port, g_.PortSettings)) {
            portFailed(port, failure->number, failure->reason);
            return;
        }
        port_->write(protocol::kIdentify);
        // A port that fails after it opened (line gone while waiting) is a port
        // error like one that never opened, not an end of the scan.
        bool found = waitReply(1, std::string(protocol::kBridgePrefix));
        closePort();
        if (found) {
            addInfo("COM" + n + " is SWR Bridge.");
            mark(port, porticon::Bridge, "COM " + n, "SWR Bridge", true);
        } else {
            addInfo("Is an installed COM Port");
            mark(port, porticon::Serial, "COM" + n, "Serial Port", true);
        }
    } catch (const SerialError& e) {
        portFailed(port, e.number(), e.description());
    } catch (const std::exception&) {
        portFailed(port, serr::Other, "");
    }
}

void PortProbe::portFailed(int port, int number, const std::string& reason) {
    timer1_->stop();
    closePort();
    addInfo(portErrorText(number, port));
    // The log keeps to the error texts; what the user can do about a refused
    // device goes beside the slot.
    if (number == serr::PermissionDenied) setHint(port, reason);
}

bool PortProbe::waitReply(int limit, const std::string& expected) {
    rxBuffer_.clear();
    waitTicks_ = 0;
    timer1_->start();
    // The timer ticks decide; the tick counter is only a backstop so a timer
    // that never fires cannot keep the scan here for good.
    const uint32_t started = p_.tickCount();
    const uint32_t backstop = static_cast<uint32_t>(limit + 2) * 1000u;
    for (;;) {
        p_.processEvents();
        if (port_) {
            // Read even when the port reports closed: a line that went away while
            // waiting throws here and is shown as a port error.
            rxBuffer_ += port_->read();
            if (rxBuffer_.size() > kRxLimit) rxBuffer_.erase(0, rxBuffer_.size() - kRxKeep);
        }
        if (!rxBuffer_.empty() && rxBuffer_.find(expected) != std::string::npos) {
            timer1_->stop();
            waitTicks_ = 0;
            return true;
        }
        if (waitTicks_ > limit || p_.tickCount() - started > backstop) {
            timer1_->stop();
            return false;
        }
        // A short pause keeps the wait from spinning a core at full load; events
        // are still handled every millisecond.
        p_.sleep(1);
    }
}

std::string PortProbe::portErrorText(int number, int port) {
    const std::string text = errorTextFor(number);
    const std::string caption = "COM " + std::to_string(port);
    switch (number) {
        case serr::PortInUseAlt:
        case serr::PortInUse: mark(port, porticon::InUse, caption, text, true); break;
        case serr::DeviceControlBlock: mark(port, porticon::Error, caption, "", false); break;
        case serr::PropertyWriteOnly:
        case serr::InvalidPropertyValue:
        case serr::InvalidPortNumber:
        case serr::PropertyReadOnly: break;  // no such port: the slot stays hidden
        default:  // 8018, 8000, 8015, 8020, permission and unlisted errors
            mark(port, porticon::Error, caption, "Serial Port", true);
            break;
    }
    return text;
}

}  // namespace quellon
