#pragma once
// A recording start-up window with a fake clock and a temporary settings file; text readers.

#include "core/modGlobal.h"

#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/DisplayFrame.h"
#include "display/DisplayHost.h"
#include "display/PaintCoalescer.h"
#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"

namespace quellon::testing {

class FakeHost : public DisplayHost {
public:
    FakeHost() { g.SettingsPath = dir.filePath(QStringLiteral("Quellon.ini")).toStdString(); }
    Platform& platform() override { return p; }
    ModGlobal& state() override { return g; }
    void startRxDati() override { calls.push_back("startRxDati"); }
    void stopRxDati() override { calls.push_back("stopRxDati"); }
    void closeBridgePort() override { calls.push_back("closeBridgePort"); }
    void reopenBridgePort() override { calls.push_back("reopenBridgePort"); }
    bool dataLogActive() override { return logging; }
    void setDataLogActive(bool on) override {
        logging = on;
        calls.push_back(on ? "startDataLog" : "stopDataLog");
    }
    StreamState streamState() override { return stream; }
    void hideStartupWindow() override { calls.push_back("hideStartupWindow"); }
    void showStartupWindow() override { calls.push_back("showStartupWindow"); }
    void runCommandWindow(QWidget*) override { modal("runCommandWindow"); }
    void runConfigDialog(QWidget*) override { modal("runConfigDialog"); }
    void endProgram() override { calls.push_back("endProgram"); }
    void showHistory(QWidget*) override { calls.push_back("showHistory"); }
    void showBigView(QWidget*) override { calls.push_back("showBigView"); }
    std::string networkStatus() override { return network; }

    bool called(const std::string& name) const { return std::ranges::count(calls, name) > 0; }
    std::vector<std::string> callsSince(size_t from) const {
        return {calls.begin() + static_cast<long>(from), calls.end()};
    }
    // "Key=value Key2=value2" into one section.
    void set(const std::string& sec, const QString& pairs) {
        for (const QString& kv : pairs.split(u' '))
            set(sec, kv.section(u'=', 0, 0).toStdString(), kv.section(u'=', 1).toStdString());
    }
    void set(const std::string& sec, const std::string& key, const std::string& value) {
        WriteIni(sec, key, value, g.SettingsPath);
    }
    // The stored values of keys named with spaces between, joined with '|'.
    std::string ini(const std::string& sec, const QString& keys) const {
        QStringList out;
        for (const QString& k : keys.split(u' '))
            out << QString::fromStdString(
                IniLookup(sec, k.toStdString(), g.SettingsPath).value_or("<missing>"));
        return out.join(u'|').toStdString();
    }
    // Builds and shows a display window that lives as long as this host, counting its unloads.
    template <class W>
    W& open() {
        auto w = std::make_unique<W>(*this);
        W& shownWindow = *w;
        window = std::move(w);
        shownWindow.onUnloaded = [this] { ++unloads; };
        shownWindow.showDisplay();
        return shownWindow;
    }
    // Hands a reading to the window the way the receive handler does, and
    // paints it: the texts are set right before a paint.
    void frame(DisplayWindow& w, const ChannelReading& r) {
        w.aggiornaDati(r);
        PaintCoalescer::paintAllNow();
    }

    QTemporaryDir dir;
    FakePlatform p;
    ModGlobal g;
    StreamState stream = StreamState::Running;
    bool logging = false;
    std::vector<std::string> calls;
    std::function<void()> duringModal;
    int unloads = 0;
    std::string network;                    // the network status the host reports
    std::unique_ptr<DisplayWindow> window;  // last: goes before the clock and state it uses

private:
    void modal(const char* name) {
        calls.push_back(name);
        if (duringModal) duringModal();
    }
};

// The texts of line edits or labels named with spaces between, joined with '|'.
inline std::string texts(QWidget* root, const QString& names) {
    QStringList out;
    for (const QString& n : names.split(u' ')) {
        if (auto* e = root->findChild<QLineEdit*>(n)) out << e->text();
        else out << root->findChild<QLabel*>(n)->text();
    }
    return out.join(u'|').toStdString();
}

// "#rrggbb" of a line edit's text.
inline std::string textColor(QWidget* root, const char* name) {
    return root->findChild<QLineEdit*>(name)->palette().color(QPalette::Text).name().toStdString();
}

}  // namespace quellon::testing
