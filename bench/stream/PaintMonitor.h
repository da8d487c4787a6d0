#pragma once
// Watches the paint events of every top-level window of the application (the
// display window, its channel windows, the start-up window), counting the paint
// bursts of each (one window painting any number of its widgets in one pass of
// the event loop) and timing how long a frame waits until the window that shows
// it is up to date on the screen: from the program's read of it and, given the
// simulator's log of when each frame went onto the line, from there.
// A window is up to date when it paints, or when its paint filter let a paint
// request through and the texts and needles set right before it changed
// nothing on the screen (the last frame of a batch can show what the one
// before showed): then the frames end their wait when the event loop is done.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "display/PaintCoalescer.h"

namespace quellon::bench {

class PaintMonitor : public QObject {
public:
    struct Window {
        std::string name;
        long long bursts = 0;
        long long paints = 0;
        unsigned long long lastPass = 0;
        std::vector<std::pair<uint64_t, int64_t>> waiting;  // frames not painted yet: key, read ns
        std::vector<std::pair<uint64_t, int64_t>> syncing;  // of those, brought up to date
    };

    // A frame's identity in the simulator's log: its channel and four counts.
    static uint64_t key(char channel, int nDir, int nRev, int nDirMax, int nRevMax) {
        const auto u = [](int v) { return static_cast<uint64_t>(static_cast<uint16_t>(v)); };
        return (u(nDir) << 48 | u(nRev) << 32 | u(nDirMax) << 16 | u(nRevMax)) ^
               (channel == 'A' ? 0 : 0x8000800080008000ULL);
    }

    PaintMonitor() {
        qApp->installEventFilter(this);
        if (auto* d = QAbstractEventDispatcher::instance()) {
            connect(d, &QAbstractEventDispatcher::awake, this, [this] { ++pass_; });
            connect(d, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
                for (auto& [w, e] : windows_)
                    if (!e.syncing.empty()) shown(e.syncing, monoNs());
            });
        }
    }
    ~PaintMonitor() override { qApp->removeEventFilter(this); }

    // A frame was read that `window` will show.
    void frameFor(QWidget* window, uint64_t frameKey) {
        if (!window) return;
        entry(window).waiting.emplace_back(frameKey, monoNs());
    }

    // Starts the measurement afresh (counts and latencies), with room for
    // `frames` samples allocated and touched now.
    void reset(std::size_t frames = 0) {
        for (auto& [w, e] : windows_) {
            e.bursts = e.paints = 0;
            e.waiting.clear();
            e.syncing.clear();
        }
        latencyMs_.assign(frames, 0.0f);
        latencyMs_.clear();
        shown_.assign(frames, Shown{});
        shown_.clear();
    }

    const std::map<const QWidget*, Window>& windows() const { return windows_; }

    // The q-quantile (0..1) of the frame-to-paint latencies in ms; -1 without samples.
    double latencyQuantile(double q) const { return quantile(latencyMs_, q); }

    static double quantile(std::vector<float> v, double q) {
        if (v.empty()) return -1;
        const auto k = static_cast<std::size_t>(std::min<double>(
            static_cast<double>(v.size() - 1), std::ceil(q * static_cast<double>(v.size())) - 1));
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
        return v[k];
    }
    std::size_t latencySamples() const { return latencyMs_.size(); }

    // From the line to the screen: each painted frame's paint time less the time
    // the simulator's log (--sent-log: "ns hexbytes" per frame) says its last
    // byte was written, the latest such write of the same frame before it was
    // read. Only frames read before untilNs count (the log holds what was sent
    // up to then). The quantiles q of those in ms, and how many were matched.
    std::vector<double> lineToPaint(const std::string& sentLog, const std::vector<double>& q,
                                    int64_t untilNs, std::size_t& matched) const {
        std::unordered_map<uint64_t, std::vector<int64_t>> sent;
        if (FILE* f = std::fopen(sentLog.c_str(), "r")) {
            long long ns = 0;
            char hex[64];
            while (std::fscanf(f, "%lld %63s", &ns, hex) == 2) {
                unsigned b[20] = {};
                for (int i = 0; i < 20 && hex[2 * i]; ++i) std::sscanf(hex + 2 * i, "%2x", &b[i]);
                const auto field = [&](int at) { return static_cast<int>(b[at] | b[at + 1] << 8); };
                sent[key(static_cast<char>(b[1]), field(2), field(4), field(6), field(8))]
                    .push_back(ns);
            }
            std::fclose(f);
        }
        std::vector<float> ms;
        for (const Shown& s : shown_) {
            if (s.readNs > untilNs) continue;
            const auto it = sent.find(s.key);
            if (it == sent.end()) continue;
            const auto after = std::upper_bound(it->second.begin(), it->second.end(), s.readNs);
            if (after == it->second.begin()) continue;
            ms.push_back(static_cast<float>((s.paintNs - *std::prev(after)) / 1e6));
        }
        matched = ms.size();
        std::vector<double> out;
        for (double x : q) out.push_back(quantile(ms, x));
        return out;
    }
    // Frames whose window has not painted since they were read.
    std::size_t unpainted() const {
        std::size_t n = 0;
        for (const auto& [w, e] : windows_) n += e.waiting.size() + e.syncing.size();
        return n;
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::UpdateRequest && o->isWidgetType()) {
            QWidget* top = static_cast<QWidget*>(o);
            const PaintCoalescer* c = top->isWindow() ? PaintCoalescer::of(top) : nullptr;
            // A request the filter lets through brings the window up to date.
            if (c && !c->holdsPaint()) {
                Window& w = entry(top);
                w.syncing.insert(w.syncing.end(), w.waiting.begin(), w.waiting.end());
                w.waiting.clear();
            }
        }
        if (e->type() == QEvent::Paint && o->isWidgetType()) {
            QWidget* top = static_cast<QWidget*>(o)->window();
            Window& w = entry(top);
            ++w.paints;
            if (w.lastPass != pass_ || pass_ == 0) {
                w.lastPass = pass_;
                ++w.bursts;
            }
            const int64_t now = monoNs();
            shown(w.syncing, now);
            shown(w.waiting, now);
        }
        return QObject::eventFilter(o, e);
    }

private:
    void shown(std::vector<std::pair<uint64_t, int64_t>>& frames, int64_t now) {
        for (const auto& [k, t] : frames) {
            latencyMs_.push_back(static_cast<float>((now - t) / 1e6));
            shown_.push_back({k, t, now});
        }
        frames.clear();
    }
    Window& entry(QWidget* top) {
        auto it = windows_.find(top);
        if (it != windows_.end()) return it->second;
        Window w;
        w.name = top->objectName().toStdString();
        if (w.name.empty()) w.name = top->metaObject()->className();
        std::replace(w.name.begin(), w.name.end(), ' ', '_');
        return windows_.emplace(top, std::move(w)).first->second;
    }

public:
    // The simulator's clock too.
    static int64_t monoNs() {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }

private:
    struct Shown {
        uint64_t key;
        int64_t readNs, paintNs;
    };
    std::vector<Shown> shown_;
    unsigned long long pass_ = 0;
    std::map<const QWidget*, Window> windows_;
    std::vector<float> latencyMs_;
};

}  // namespace quellon::bench
