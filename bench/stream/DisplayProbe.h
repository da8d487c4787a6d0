#pragma once
// A display window that wraps the real one of a mode and counts what the
// benchmarks need: how often a window was opened, the A/B pairs seen while
// logging was on, and which window is to show each frame (for the time from a
// frame's read to its window's next paint).

#include <QLineEdit>
#include <memory>
#include <string>

#include "app/frmMain.h"
#include "bench/stream/BenchRig.h"
#include "bench/stream/PaintMonitor.h"
#include "display/DisplayFrame.h"
#include "display/DisplayHost.h"

namespace quellon::bench {

struct ProbeCounters {
    long long opened = 0;       // display windows created
    long long frames = 0;       // aggiornaDati calls
    long long pairsLogged = 0;  // B after A while logging was on
    long long framesA = 0;      // channel A frames seen
    // Mode 4: the A-frame interval the window shows, read after each of its
    // renewals (every sixth A frame), summed so a run can take their mean.
    long long intervalShown = 0;
    double intervalSumMs = 0;
    double intervalMinMs = 1e9;
    double intervalMaxMs = 0;
    PaintMonitor* monitor = nullptr;
};

class DisplayProbe : public DisplayWindow {
public:
    DisplayProbe(std::unique_ptr<DisplayWindow> inner, frmMain& w, ProbeCounters& c)
        : inner_(std::move(inner)), w_(w), c_(c), lastResyncs_(w.resyncs()) {}

    void aggiornaDati(const ChannelReading& r) override {
        ++c_.frames;
        // A resynchronisation forgets the previous channel, as the receive handler does.
        if (w_.resyncs() != lastResyncs_) {
            prev_.clear();
            lastResyncs_ = w_.resyncs();
        }
        if (r.channel == "B" && prev_ == "A" && w_.dataLogActive() && w_.logger().isOpen())
            ++c_.pairsLogged;
        prev_ = r.channel;
        // Called from the receive handler right after the frame was read and decoded.
        if (c_.monitor)
            c_.monitor->frameFor(showingWindow(r),
                                 PaintMonitor::key(r.channel.empty() ? '?' : r.channel[0], r.nDir,
                                                   r.nRev, r.nDirMax, r.nRevMax));
        inner_->aggiornaDati(r);
        if (r.channel == "A") {
            ++c_.framesA;
            sampleInterval();
        }
    }
    void showDisplay() override {
        inner_->onUnloaded = [this] {
            if (onUnloaded) onUnloaded();
        };
        inner_->showDisplay();
    }
    QWidget* widget() override { return inner_->widget(); }

private:
    // Modes 0 and 1 show a channel's values in its own window.
    QWidget* showingWindow(const ChannelReading& r) {
        QWidget* w = inner_->widget();
        if (auto* frame = dynamic_cast<DisplayFrame*>(w)) {
            const char letter = r.channel == "B" ? 'B' : 'A';
            if (QWidget* ch = frame->channelWindow(letter)) return ch;
        }
        return w;
    }

    void sampleInterval() {
        if (!timeBox_) {
            if (triedBox_ || !inner_->widget()) return;
            triedBox_ = true;
            timeBox_ = inner_->widget()->findChild<QLineEdit*>(QStringLiteral("txtTimeFwdA"));
            if (!timeBox_) return;
        }
        // The window's first A frame only starts the timing; from then on the
        // sixth A frame of each round shows a new average.
        ++aFrames_;
        if (aFrames_ < 7 || (aFrames_ - 1) % 6 != 0) return;
        bool ok = false;
        const double ms = timeBox_->text().toDouble(&ok);
        if (!ok) return;
        ++c_.intervalShown;
        c_.intervalSumMs += ms;
        if (ms < c_.intervalMinMs) c_.intervalMinMs = ms;
        if (ms > c_.intervalMaxMs) c_.intervalMaxMs = ms;
    }

    std::unique_ptr<DisplayWindow> inner_;
    frmMain& w_;
    ProbeCounters& c_;
    std::string prev_;
    uint64_t lastResyncs_;
    QLineEdit* timeBox_ = nullptr;
    bool triedBox_ = false;
    long long aFrames_ = 0;
};

inline void installProbe(frmMain& w, ProbeCounters& c) {
    w.displayFactory = [&w, &c](const std::string& mode,
                                DisplayHost& host) -> std::unique_ptr<DisplayWindow> {
        auto real = createDisplayWindow(mode, host);
        if (!real) return nullptr;
        ++c.opened;
        return std::make_unique<DisplayProbe>(std::move(real), w, c);
    };
}

}  // namespace quellon::bench
