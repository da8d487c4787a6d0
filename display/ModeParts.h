#pragma once
// What the display modes share: the read-out boxes, the SWR text and the
// read-outs that wait for the window's next paint.

#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <string>

#include "core/ChannelReading.h"
#include "display/PaintCoalescer.h"

class QLineEdit;
class QWidget;

namespace quellon {

inline QString qs(const std::string& s) { return QString::fromStdString(s); }

// A read-only, right-aligned read-out box named as the window's other code and
// the tests look for it.
QLineEdit* makeBox(const QString& name, const QString& designText, int minWidth = 70);

// A widget name of a channel: base plus the channel's letter.
QString withLetter(const char* base, char letter);

// Puts an SWR text into a box: one decimal for a number plus ":1"; "HIG" in red,
// "---" in black as they are.
void showSwrText(QLineEdit* box, const std::string& swrText);

// The channel windows' dark banner: light text on night blue.
void useBannerColours(QWidget* area);

// The read-outs of one window. Frames come far faster than a window paints,
// and making a text and setting it into a box (which lays the text out again)
// costs more than the rest of a frame. So the latest reading of each channel is
// kept, and its texts are made and set right before the window's next paint,
// which a reading asks for. The boxes show the latest frame whenever the
// window is painted, and a batch of frames sets each text once.
class DeferredReadouts {
public:
    using Show = std::function<void(int channel, const ChannelReading& r)>;
    // channel 0 is A, 1 is B.
    DeferredReadouts(QWidget* window, Show show);
    void post(int channel, const ChannelReading& r);
    void flush();

private:
    QWidget* window_;
    // The window's paint filter, looked up once: it lives as long as the window.
    QPointer<PaintCoalescer> coalescer_;
    Show show_;
    std::array<ChannelReading, 2> pending_{};
    std::array<bool, 2> dirty_{};
};

}  // namespace quellon
