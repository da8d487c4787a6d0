#include "portscan/PortProbe.h"

#include "link/Format.h"
#include "link/Protocol.h"
#include "platform/OpenPort.h"

#include <cmath>

namespace quellon {

namespace {

const char* const kSeparator = "---------------------";
// How long a port is given to answer: up to the second tick of a one-second clock.
constexpr int kProbeWaitMs = 2000;

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

PortProbe::PortProbe(ModGlobal& g, Platform& p) : g_(g), p_(p) {}

PortProbe::~PortProbe() {
    if (exchange_) exchange_->cancel();
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
    if (scanning_) return;
    scanning_ = true;
    hideAllSlots();
    if (count > kPortSlots) {
        addInfo("Only COM1 thru COM" + std::to_string(kPortSlots) +
                " can be shown: scanning COM1 thru COM" + std::to_string(kPortSlots));
        count = kPortSlots;
    }
    nextPort_ = 1;
    lastPort_ = count;
    probeNext();
}

void PortProbe::probeNext() {
    if (nextPort_ <= lastPort_) return probePort(nextPort_++, [this] { probeNext(); });
    scanning_ = false;
    addInfo(kSeparator);
    addInfo("COM Port search complete");
    addInfo("Click START to rescan COM Ports");
    if (onScanDone) onScanDone();
}

void PortProbe::probePort(int port, std::function<void()> done) {
    if (port != 1) addInfo(kSeparator);
    addInfo("Checking COM" + std::to_string(port) + "...");
    const std::string n = std::to_string(port);
    auto failed = [this, port, done](int number, const std::string& reason) {
        portFailed(port, number, reason);
        if (done) done();
    };
    try {
        if (!port_) {
            port_ = p_.newSerialPort();
            exchange_ = std::make_unique<CommandExchange>(*port_, p_);
            port_->setBytesHandler([this] { exchange_->onBytes(); });
            port_->setHangupHandler([this] { exchange_->onHangup(); });
        }
        if (const auto failure = openPortAs(*port_, port, g_.PortSettings))
            return failed(failure->number, failure->reason);
    } catch (const SerialError& e) {
        return failed(e.number(), e.description());
    } catch (const std::exception&) {
        return failed(serr::Other, "");
    }
    exchange_->sendForText(protocol::kIdentify, std::string(protocol::kBridgePrefix), kProbeWaitMs,
                           [this, port, n, done, failed](const ExchangeResult& r) {
                               // A port that fails after it opened (line gone while waiting) is a
                               // port error like one that never opened, not an end of the scan.
                               if (r.error)
                                   return failed(r.error->number(), r.error->description());
                               closePort();
                               if (r.ok) {
                                   addInfo("COM" + n + " is SWR Bridge.");
                                   mark(port, porticon::Bridge, "COM " + n, "SWR Bridge", true);
                               } else {
                                   addInfo("Is an installed COM Port");
                                   mark(port, porticon::Serial, "COM" + n, "Serial Port", true);
                               }
                               if (done) done();
                           });
}

void PortProbe::portFailed(int port, int number, const std::string& reason) {
    closePort();
    addInfo(portErrorText(number, port));
    // The log keeps to the error texts; what the user can do about a refused
    // device goes beside the slot.
    if (number == serr::PermissionDenied) setHint(port, reason);
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
