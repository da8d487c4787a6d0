#pragma once
// The command exchange with the bridge on one serial port: acknowledged
// commands, the reply reader, opening the configured port and identifying the
// bridge. Each window that talks to the bridge on a port of its own has its own
// BridgeLink on that port.

#include <cstdint>
#include <string>

#include "core/modGlobal.h"
#include "platform/Platform.h"
#include "platform/SerialPort.h"

namespace quellon {

inline constexpr int kAckPauseMs = 100;  // time the bridge is given to acknowledge
inline constexpr int kAckAttempts = 3;
inline constexpr uint32_t kReplyTimeoutMs = 5000;
inline constexpr int kIdentifyTries = 5;
inline constexpr const char* kReplyTimeout = "NAK Timeout";

class BridgeLink {
public:
    BridgeLink(SerialPort& port, Platform& p);

    // Writes cmd up to three times, each followed by a 100 ms pause, and looks
    // for ":ACK" + CR within what one read returns. An empty command is true and
    // writes nothing. Opens the port when it is closed. SerialError reaches the
    // caller.
    bool sendCmd_ACK(const std::string& cmd);

    // Reads one reply line, running pending window events between polls, for at
    // most 5000 ms. The line without its CR, or "NAK Timeout". The characters
    // read so far stay in rxBuffer; bytes behind the CR are the start of the
    // next reply. SerialError (a line that went away) reaches the caller.
    std::string leggiPIC();
    // Drops what is buffered, on the port and behind the last reply.
    void discardInput();
    // Whether anything came behind the last reply (read or still on the port).
    bool unreadInput();
    // Closes the port; nothing read before reaches a later reply.
    void closePort();

    // What was last read during a command exchange.
    std::string rxBuffer;

    SerialPort& port() { return port_; }
    Platform& platform() { return p_; }

private:
    SerialPort& port_;
    Platform& p_;
    std::string pending_;  // read from the port, behind the last reply's CR
};

// Opens the port g.PortNumber with g.PortSettings in text mode. On failure
// StatusMessage is "Com:" + PortNumber + " " + the port's error description and
// the result is false; no exception leaves it.
bool openPortOf(SerialPort& port, ModGlobal& g);

inline constexpr const char* kLinkErrorText = "Link error, SWR BRIDGE non found.";

// Up to five tries of ":16" until a reply starts with ":wexlo". A stream found
// running (bytes on the line that nobody asked for) is stopped with ":10"
// first. The port is closed afterwards in every case. A port error ends the tries: the
// SerialError is passed on with StatusMessage saying what to show (the link
// error after a failed try, the port's own description in the first).
bool IdentifyBridge(BridgeLink& link, ModGlobal& g);

// Integer port number of a PortNumber text: its leading number rounded halves
// to even; 0 (refused by the port) when there is no number or it is out of range.
int portNumberValue(const std::string& text);

}  // namespace quellon
