#pragma once
// The big view's read-outs, painted in one piece: for each shown channel its
// description, forward and reflected power to the tenth of a watt, the SWR, a
// forward-power bar with the peak marked, and while the channel is in alarm a
// flashing banner with the SWR against its threshold. The digits are sized
// from the window: in the two-channel layout each is at least a sixth of the
// window's height tall.

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QWidget>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core/ChannelReading.h"

class QPainter;

namespace quellon::alarm {

struct Palette {
    QColor back, text, dim, bar, peak, alarm, alarmText, stale;
};
Palette lightPalette();
Palette darkPalette();

// What one channel shows: a copy of the latest reading's numbers.
struct ChannelShown {
    bool show = true;
    std::string description;
    bool seen = false;                      // a reading came
    int64_t lastMs = 0;                     // steady clock of the latest reading (valid when seen)
    int16_t fwd = 0, ref = 0, fwdPeak = 0;  // tenths of a watt
    double fullScale = 0;                   // tenths of a watt, the bar's end
    SwrKind kind = SwrKind::NoPower;
    double swr = 0;  // +infinity: reflected at or above forward
    bool alarm = false;
    double alarmSwr = 0, threshold = 0;
};

// Power text with every tenth: 1234 -> "123.4", -5 -> "-0.5".
std::string tenthsText(int tenths);
// The SWR read-out: "---" (no forward power), "1.0", "3.4", "∞".
std::string swrReadout(SwrKind kind, double swr);
// A threshold as the user set it (x100): "3.0", "2.5", "2.55".
std::string thresholdText(double threshold);
// The banner: "SWR 3.4 > 3.0".
std::string bannerText(double swr, double threshold);

class BigReadouts : public QWidget {
public:
    explicit BigReadouts(QWidget* parent = nullptr);

    std::array<ChannelShown, 2> channels;
    Palette palette;
    int64_t nowMs = 0;    // steady clock at the paint
    bool flashOn = true;  // the banner's phase
    uint64_t paints = 0;

    // Where the last paint put each number: for each shown channel forward,
    // reflected and SWR. The tests measure the ink inside.
    const std::vector<QRectF>& numberRects() const { return numberRects_; }
    // The texts of the last paint, in the order drawn.
    const std::vector<std::string>& drawnTexts() const { return texts_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void paintChannel(QPainter& p, const ChannelShown& c, const QRectF& r, double capPx);
    QImage glyph(QChar ch, const QFont& f, double sx, QColor color);
    void drawNumber(QPainter& p, const QString& text, const QFont& f, double right, double baseline,
                    double maxW, QColor color);
    std::vector<QRectF> numberRects_;
    using Key = std::tuple<int, int, QRgb, char16_t>;  // pixel size, squeeze %, colour, char
    std::map<Key, QImage> glyphs_;
    std::vector<std::string> texts_;
};

}  // namespace quellon::alarm
