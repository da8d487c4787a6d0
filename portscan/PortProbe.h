#pragma once
// COM port detection: probes ports one after the other with the identification
// command and sorts them into bridge, plain serial port, port in use and port
// error. Plain C++ on Platform so that the scan runs in tests on a fake clock;
// the window frmPort only shows what the probe reports.

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/ImageIds.h"
#include "core/modGlobal.h"
#include "link/CommandExchange.h"
#include "platform/Platform.h"

namespace quellon {

inline constexpr int kPortSlots = 8;

struct SlotState {
    bool visible = false;   // button shown
    int icon = 0;           // porticon number
    std::string caption;    // button caption
    std::string typeLabel;  // text under the button
    bool labelVisible = false;
    std::string hint;  // what the user can do about the port (dialout group), or empty
};

// Text of a serial service error number, as shown in the log.
std::string errorTextFor(int number);

// Leading number of a text the way the BASIC Val() reads it ("8", " 3x" -> 3, "" -> 0).
double valueOf(const std::string& text);

class PortProbe {
public:
    PortProbe(ModGlobal& g, Platform& p);
    ~PortProbe();
    PortProbe(const PortProbe&) = delete;
    PortProbe& operator=(const PortProbe&) = delete;

    // Log line sink (addInfo) and slot change notification.
    std::function<void(const std::string&)> onInfo;
    std::function<void(int index)> onSlotChanged;
    // Optional note per port number, such as "/dev/ttyUSB0, FT232R USB UART",
    // kept for the window, which shows the device beside the slot.
    std::map<int, std::string> portNotes;

    // Full scan of ports 1..count as the START button runs it: hides all slots,
    // probes, then writes the three closing lines and calls onScanDone. A count
    // above the slots is limited to them (with a log line saying so); zero or
    // less probes nothing. The probes go on from the event loop: scan returns
    // at once, and scanning() is true until the end.
    void scan(int count);
    std::function<void()> onScanDone;
    // Convenience for the START button: count from the combo box text.
    void scanText(const std::string& countText) { scan(countFromText(countText)); }
    static int countFromText(const std::string& text);

    // One port: opened, ":16" written and ":wexlo" waited for (up to two
    // seconds), closed; done is called once the port is sorted.
    void probePort(int port, std::function<void()> done = {});
    // Text for an error number; marks the port's slot for the numbers that have a mark.
    std::string portErrorText(int number, int port);

    void hideAllSlots();
    const SlotState& slot(int index) const { return slots_.at(static_cast<size_t>(index)); }
    bool scanning() const { return scanning_; }
    SerialPort* port() { return port_.get(); }
    void closePort();

private:
    void addInfo(const std::string& text);
    // A port that failed: closed, its error in the log and on its slot.
    void portFailed(int port, int number, const std::string& reason);
    void probeNext();
    void setHint(int port, const std::string& hint);
    void mark(int port, int icon, const std::string& caption, const std::string& label,
              bool labelShown);

    ModGlobal& g_;
    Platform& p_;
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<CommandExchange> exchange_;  // on port_
    std::array<SlotState, kPortSlots> slots_{};
    bool scanning_ = false;
    int nextPort_ = 0, lastPort_ = 0;
};

}  // namespace quellon
