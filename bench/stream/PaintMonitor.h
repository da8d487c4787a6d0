#pragma once
// Watches the paint events of every top-level window of the application (the
// display window, its channel windows, the start-up window), counting the paint
// bursts of each (one window painting any number of its widgets in one pass of
// the event loop) and timing how long a frame waits until the window that shows
// it paints next.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace quellon::bench {

class PaintMonitor : public QObject {
public:
    struct Window {
        std::string name;
        long long bursts = 0;
        long long paints = 0;
        unsigned long long lastPass = 0;
        std::vector<qint64> waiting;  // read times (ns) of frames not painted yet
    };

    PaintMonitor() {
        clock_.start();
        qApp->installEventFilter(this);
        if (auto* d = QAbstractEventDispatcher::instance())
            connect(d, &QAbstractEventDispatcher::awake, this, [this] { ++pass_; });
    }
    ~PaintMonitor() override { qApp->removeEventFilter(this); }

    // A frame was read that `window` will show.
    void frameFor(QWidget* window) {
        if (!window) return;
        entry(window).waiting.push_back(clock_.nsecsElapsed());
    }

    // Starts the measurement afresh (counts and latencies).
    void reset() {
        for (auto& [w, e] : windows_) {
            e.bursts = e.paints = 0;
            e.waiting.clear();
        }
        latencyMs_.clear();
    }

    const std::map<const QWidget*, Window>& windows() const { return windows_; }

    // The q-quantile (0..1) of the frame-to-paint latencies in ms; -1 without samples.
    double latencyQuantile(double q) const {
        if (latencyMs_.empty()) return -1;
        std::vector<float> v = latencyMs_;
        const auto k = static_cast<std::size_t>(std::min<double>(
            static_cast<double>(v.size() - 1), std::ceil(q * static_cast<double>(v.size())) - 1));
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
        return v[k];
    }
    std::size_t latencySamples() const { return latencyMs_.size(); }
    // Frames whose window has not painted since they were read.
    std::size_t unpainted() const {
        std::size_t n = 0;
        for (const auto& [w, e] : windows_) n += e.waiting.size();
        return n;
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && o->isWidgetType()) {
            QWidget* top = static_cast<QWidget*>(o)->window();
            Window& w = entry(top);
            ++w.paints;
            if (w.lastPass != pass_ || pass_ == 0) {
                w.lastPass = pass_;
                ++w.bursts;
            }
            if (!w.waiting.empty()) {
                const qint64 now = clock_.nsecsElapsed();
                for (qint64 t : w.waiting)
                    latencyMs_.push_back(static_cast<float>((now - t) / 1e6));
                w.waiting.clear();
            }
        }
        return QObject::eventFilter(o, e);
    }

private:
    Window& entry(QWidget* top) {
        auto it = windows_.find(top);
        if (it != windows_.end()) return it->second;
        Window w;
        w.name = top->objectName().toStdString();
        if (w.name.empty()) w.name = top->metaObject()->className();
        std::replace(w.name.begin(), w.name.end(), ' ', '_');
        return windows_.emplace(top, std::move(w)).first->second;
    }

    QElapsedTimer clock_;
    unsigned long long pass_ = 0;
    std::map<const QWidget*, Window> windows_;
    std::vector<float> latencyMs_;
};

}  // namespace quellon::bench
