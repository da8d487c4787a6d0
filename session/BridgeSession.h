#pragma once
// The connection to the bridge, without any window: the one serial port (the
// stream's, and every command's, the windows' included), the command exchange
// on it, the connect sequence, the receive path, the connection watchdog and
// the CSV logger. Commands run one after the other in the order asked for;
// nothing here waits on the user-interface thread. Each accepted reading and
// each change of the connection state is published on readings(); the display
// window, the logger and the features listen, and the start-up window shows what
// the session reports.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "core/modGlobal.h"
#include "datalog/DataLogger.h"
#include "datalog/LogPairing.h"
#include "link/BridgeLink.h"
#include "link/CommandExchange.h"
#include "link/FrameSplitter.h"
#include "platform/Platform.h"
#include "platform/Watchdog.h"
#include "session/ReadingBus.h"

namespace quellon {

// Reads Port and Setting of section Bridge from g.SettingsPath into
// g.PortNumber / g.PortSettings and opens that port in text mode. On failure
// StatusMessage is "Com:" + PortNumber + " " + the port's error description and
// the result is false; no exception leaves it.
bool OpenBridgePort(SerialPort& port, ModGlobal& g);

// Checks the identification reply and stores what it carries (see
// readBridgeInfo); a firmware older than 1.08 is told to the user in a message
// box and refused.
bool CheckBridgeInfo(const std::string& reply, BridgeState& g, Platform& p);

class BridgeSession {
public:
    BridgeSession(Platform& p, ModGlobal& g);
    ~BridgeSession();
    BridgeSession(const BridgeSession&) = delete;
    BridgeSession& operator=(const BridgeSession&) = delete;

    // The connect sequence in two halves, so the caller can show its progress
    // between them. beginConnect is false while a sequence already runs (an
    // activation during it changes nothing); otherwise the stream counts as
    // stopped and listeners hear Connecting. readBridge opens the configured
    // port, identifies the bridge and reads its parameters and scales, then
    // calls done; false ends the sequence with StatusMessage saying why and the
    // port closed. startStream after a true readBridge starts the stream.
    bool beginConnect();
    void readBridge(std::function<void(bool ok)> done);
    void startStream();
    bool connecting() const { return connecting_; }
    // The stream was started and acknowledged (or not) and not stopped:
    // arriving bytes are frames.
    bool streaming() const { return streaming_; }

    // Bound to the port: bytes arrived, the line went away.
    void onBytes();
    void onHangup();
    // The connection watchdog ran out.
    void watchdogTimeout();

    // An acknowledged command (the command window's, the setup upload's),
    // after every command asked for before it; done hears whether the bridge
    // acknowledged it. The port is opened for it when closed.
    void sendCommand(const std::string& cmd, std::function<void(bool acked)> done = {});
    // Stream start and stop; nobody checks their outcome.
    void startRxDati();
    void stopRxDati();
    // The port is closed while a window sends its commands, and opened for
    // them, as the bridge has always seen it; each in its turn after the
    // commands before it. openForCommands tells done the port's failure text
    // ("Com:" + number + " " + reason), empty when the port is open.
    void closeBridgePort();
    void reopenBridgePort();
    void openForCommands(std::function<void(const std::string& failure)> done);
    // Runs fn once every command asked for so far has had its exchange.
    void whenIdle(std::function<void()> fn);
    bool idle() const { return !jobRunning_ && jobs_.empty(); }
    // Unattended: the firmware message and the logger's reports are modeless,
    // so nothing waits for a click. The firmware message stays up (one, however
    // many attempts meet the old firmware) until a right bridge answers.
    void setModelessReports(bool on) {
        modelessReports_ = on;
        logger_.setModelessReports(on);
    }
    // Forgets the channel of the last frame (a new start of the program's window).
    void forgetLastChannel() { pairing_.forget(); }
    // Stopped until the stream is started; Stopped again when it is stopped or
    // a connect sequence begins.
    StreamState streamState() const { return streamState_; }
    // What every reading is tagged with: the transceiver's frequency and mode
    // (set by main when a rig is configured). Called once per frame: it must
    // be cheap and never wait for the rig.
    std::function<RigTag()> tagSource;
    // A status text shown while the sequence goes on ("SWR BRIDGE CONNECTED").
    std::function<void(const std::string&)> onStatus;
    // The watchdog ran out: the caller tells the user.
    std::function<void()> onSilence;

    SerialPort& port() { return *port_; }
    CommandExchange& exchange() { return exchange_; }
    DataLogger& logger() { return logger_; }
    ReadingBus& readings() { return readings_; }
    Timer& watchdog() { return *watchdog_; }
    const std::string& lastChannel() const { return pairing_.lastChannel(); }
    const LogPairing& pairing() const { return pairing_; }
    // The stream's latest reading.
    const ChannelReading& reading() const { return reading_; }
    // Counters for the benchmarks: accepted frames, resynchronisations.
    uint64_t framesAccepted() const { return framesAccepted_; }
    uint64_t resyncs() const { return resyncs_; }

private:
    void fail();
    // The end of the connect sequence (ok or not): the queue moves on.
    void connectEnd(bool ok);
    void readParameters();
    // The command queue: a job starts an exchange and calls jobDone() at its end.
    void enqueue(std::function<void()> job);
    void pump();
    void jobDone();
    void resync(bool clearLastChannel);
    void tellFirmwareTooOld();
    // Decodes and hands on one frame; false when its numbers are unusable.
    bool acceptFrame(const uint8_t* frame);

    Platform& p_;
    ModGlobal& g_;
    std::unique_ptr<SerialPort> port_;
    CommandExchange exchange_;
    std::deque<std::function<void()>> jobs_;
    bool jobRunning_ = false;
    bool pumping_ = false;
    std::function<void(bool)> connectDone_;
    DataLogger logger_;
    // The first listener: the log's records pair A with the B after it.
    LogPairing pairing_;
    ReadingBus readings_;
    std::unique_ptr<Timer> watchdog_;
    // The watchdog's timer as the stream's silence check: kicked by every
    // receive notification.
    Watchdog rxWatchdog_;
    StreamState streamState_ = StreamState::Stopped;
    FrameSplitter splitter_;
    // The stream's latest reading: the next frame is decoded over it (a frame
    // without power keeps the full scale of the last one with power).
    ChannelReading reading_;
    bool connecting_ = false;
    bool streaming_ = false;     // the stream was started: arriving bytes are frames
    bool streamWanted_ = false;  // started and not stopped since: its acknowledgement may stream
    bool undecodable_ = false;   // the skip in progress follows an undecodable frame
    bool skipping_ = false;      // waiting for a bad frame's line end since skipSince_
    uint32_t skipSince_ = 0;
    bool modelessReports_ = false;
    std::unique_ptr<ShownMessage> firmwareMessage_;
    uint64_t framesAccepted_ = 0;
    uint64_t resyncs_ = 0;
};

}  // namespace quellon
