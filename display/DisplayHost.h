#pragma once
// What a display window needs from the start-up window, which owns the bridge's
// port, the stream and the logger; and what the start-up window needs from a
// display window.

#include <functional>
#include <memory>
#include <string>

#include "core/modGlobal.h"

class QWidget;

namespace quellon {

class Platform;

class DisplayHost {
public:
    virtual ~DisplayHost() = default;
    virtual Platform& platform() = 0;
    virtual ModGlobal& state() = 0;

    virtual void startRxDati() = 0;
    virtual void stopRxDati() = 0;
    virtual void closeBridgePort() = 0;
    virtual void reopenBridgePort() = 0;
    // The logging switch (the Log button): on opens the log now when the
    // stream runs, off closes it.
    virtual bool dataLogActive() = 0;
    virtual void setDataLogActive(bool on) = 0;
    // Whether the stream runs, as the session says.
    virtual StreamState streamState() = 0;

    // The start-up window; a display window hides it on load and shows it again
    // when it unloads (which starts a new connect sequence).
    virtual void hideStartupWindow() = 0;
    virtual void showStartupWindow() = 0;

    // Modal windows that use the bridge's port themselves; the caller has stopped
    // the stream and closed the port before, and reopens it afterwards.
    virtual void runCommandWindow(QWidget* parent) = 0;
    virtual void runConfigDialog(QWidget* parent) = 0;

    // The display window's connection-lost countdown ran out: tell the user.
    // True: the window unloads now (the default waits for the message to be
    // answered). False: the message stays up without waiting and the window
    // keeps listening for one more countdown before it unloads.
    virtual bool connectionLost(const std::string& text, int style);

    // End the program at once: nothing else is saved or unloaded.
    virtual void endProgram() = 0;

    // Opens the (modeless, single) history window, or brings it to the front.
    virtual void showHistory(QWidget* parent) { (void)parent; }
    // Opens the (modeless, single) big view, or brings it to the front.
    virtual void showBigView(QWidget* parent) { (void)parent; }
    // One line on the network publishing ("MQTT: connected to ..."), shown as
    // the display windows' tool tip; empty when nothing is published.
    virtual std::string networkStatus() { return {}; }

    // Watching another station's bridge: what follows every caption (" — shack"),
    // why Set and Cmd are off (empty: they work), and the channel descriptions
    // of that bridge (empty: the settings file's).
    virtual std::string captionSuffix() { return {}; }
    virtual std::string readOnlyReason() { return {}; }
    virtual std::string channelDescription(char letter) {
        (void)letter;
        return {};
    }
};

// One display main window (modes 0..4).
class DisplayWindow {
public:
    virtual ~DisplayWindow() = default;
    // Called once per accepted frame with its reading.
    virtual void aggiornaDati(const ChannelReading& r) = 0;
    // Loads (positions, channel windows, timers, hides the start-up window) and shows.
    virtual void showDisplay() = 0;
    // Called by the window itself after it has unloaded (lost connection or closed
    // by the user) so the owner can release it later (never delete it from inside
    // its own handlers: use deleteLater semantics).
    std::function<void()> onUnloaded;
    virtual QWidget* widget() = 0;
};

// Creates the display window of a display mode "0".."4"; nullptr for anything else.
std::unique_ptr<DisplayWindow> createDisplayWindow(const std::string& guiMode, DisplayHost& host);

}  // namespace quellon
