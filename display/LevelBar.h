#pragma once

#include <QWidget>

namespace quellon {

// A horizontal bar drawn like the platform's progress bar. QProgressBar repaints
// at once on every change of value; this one only schedules a repaint, so a
// bridge sending hundreds of frames a second does not paint hundreds of times.
class LevelBar : public QWidget {
    Q_OBJECT
public:
    explicit LevelBar(QWidget* parent = nullptr);
    void setRange(int minimum, int maximum);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void setValue(int v);  // kept inside the range
    int value() const { return value_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int min_ = 0, max_ = 100, value_ = 0;
};

}  // namespace quellon
