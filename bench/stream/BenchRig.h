#pragma once
// Shared wiring of the in-process benchmarks: a settings folder pinned to the
// simulator, a platform that answers message boxes at once, and the process
// figures (CPU time, resident memory).

#include <sys/resource.h>
#include <sys/time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/frmMain.h"
#include "bench/Process.h"
#include "core/modGlobal.h"
#include "platform/QtPlatform.h"
#include "settings/Ini.h"

namespace quellon::bench {

// QtPlatform with one change for unattended runs: a modal message box is
// counted and answered with OK at once (a modal box would stop the run; a
// modeless one is shown for real and never answered).
class RigPlatform : public Platform {
public:
    explicit RigPlatform(std::function<std::string()> settingsPath)
        : inner_(std::move(settingsPath)) {}

    uint32_t tickCount() override { return inner_.tickCount(); }
    int messageBox(const std::string& text, int style, const std::string&) override {
        ++messages;
        countLogReport(text);
        lastMessage = text;
        if (verbose) std::fprintf(stderr, "[message %d] %s\n", style, text.c_str());
        return mb::IdOk;
    }
    // Modeless boxes are really shown and left for the program to close.
    std::unique_ptr<ShownMessage> showMessage(const std::string& text, int style,
                                              const std::string& title) override {
        ++shownMessages;
        countLogReport(text);
        lastMessage = text;
        if (verbose) std::fprintf(stderr, "[shown %d] %s\n", style, text.c_str());
        return inner_.showMessage(text, style, title);
    }
    void countLogReport(const std::string& text) {
        if (text.find("Data logging is switched off") != std::string::npos) ++logReports;
    }
    void beep() override {}
    LocalTime localTime() override { return inner_.localTime(); }
    std::unique_ptr<SerialPort> newSerialPort() override { return inner_.newSerialPort(); }
    std::unique_ptr<Timer> newTimer() override { return inner_.newTimer(); }
    void endProgram(int code = 0) override {
        // Nothing in a benchmark should end the program from inside; make it visible.
        std::fprintf(stderr, "endProgram(%d) called\n", code);
        std::fflush(nullptr);
        std::_Exit(code == 0 ? 3 : code);
    }

    long long messages = 0;
    long long shownMessages = 0;
    long long logReports = 0;  // boxes reporting that logging failed
    std::string lastMessage;
    bool verbose = false;

private:
    QtPlatform inner_;
};

// A private folder with Quellon.ini; removed with the object.
class RigFolder {
public:
    RigFolder() {
        char tmpl[] = "/tmp/quellon-bench-XXXXXX";
        const char* d = mkdtemp(tmpl);
        if (d) dir_ = d;
    }
    ~RigFolder() {
        if (!dir_.empty() && !keep) {
            const std::string cmd = "rm -rf '" + dir_ + "'";
            if (std::system(cmd.c_str()) != 0)
                std::fprintf(stderr, "could not remove %s\n", dir_.c_str());
        }
    }
    RigFolder(const RigFolder&) = delete;
    RigFolder& operator=(const RigFolder&) = delete;

    bool ok() const { return !dir_.empty(); }
    const std::string& dir() const { return dir_; }
    std::string settings() const { return dir_ + "/Quellon.ini"; }
    std::string logPath() const { return dir_ + "/dataLog.csv"; }

    void write(int mode, const std::string& link) const {
        const std::string s = settings();
        WriteIni("Bridge", "Version", kProgramVersion, s);
        WriteIni("Bridge", "GUI", std::to_string(mode), s);
        WriteIni("Bridge", "Port", "1", s);
        WriteIni("Ports", "1", link, s);
    }
    bool keep = false;

private:
    std::string dir_;
};

// Times the process went to sleep waiting (for the line, mostly): a steadier
// measure of wake-ups per frame than CPU time on a shared machine.
inline long long voluntarySwitches() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_nvcsw;
}

// Runs the event loop for ms milliseconds (real time), as app.exec() would:
// processEvents() with a time limit returns as soon as nothing is pending, so
// a loop around it spins and would bill its own polling to the program.
inline void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until cond() holds (checked every 10 ms) or ms have passed; returns cond().
inline bool runUntil(const std::function<bool()>& cond, int ms) {
    if (cond()) return true;
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer t;
    t.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (cond() || t.elapsed() >= ms) loop.quit();
    });
    poll.start(10);
    loop.exec();
    return cond();
}

inline bool connected(const frmMain& w) {
    return w.displayWindow() != nullptr && w.statusLabel()->text() == "SWR BRIDGE CONNECTED";
}

// Whether a CSV line has the ten fields of a record (quoted date and time, eight numbers).
inline bool recordLineOk(const std::string& raw) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    int fields = 1;
    for (char c : line) fields += c == ',';
    if (fields != 10) return false;
    if (line.size() < 2 || line[0] != '"') return false;
    // the eight values after the two quoted fields are integers
    size_t pos = 0;
    for (int i = 0; i < 2; ++i) pos = line.find(',', pos) + 1;
    for (int i = 0; i < 8; ++i) {
        size_t end = line.find(',', pos);
        if (end == std::string::npos) end = line.size();
        if (end == pos) return false;
        for (size_t k = pos; k < end; ++k) {
            const char c = line[k];
            if (!((c >= '0' && c <= '9') || (c == '-' && k == pos))) return false;
        }
        pos = end + 1;
    }
    return true;
}

struct LogCheck {
    long long records = 0;
    long long headers = 0;
    long long badLines = 0;
    bool crlf = true;
};

inline LogCheck checkLog(const std::string& path) {
    LogCheck c;
    std::ifstream f(path, std::ios::binary);
    std::string line;
    const std::string header = DataLogger::headerLine();
    while (std::getline(f, line)) {
        if (line.empty() || line.back() != '\r') c.crlf = false;
        std::string l = line;
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l == header) ++c.headers;
        else if (recordLineOk(l)) ++c.records;
        else ++c.badLines;
    }
    return c;
}

}  // namespace quellon::bench
