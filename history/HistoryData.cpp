#include "history/HistoryData.h"

#include <algorithm>

namespace quellon::history {

float swrFromPowers(double fwdW, double refW) {
    if (!(fwdW > 0)) return std::nanf("");
    if (!(refW > 0)) return 1.0f;
    if (refW >= fwdW) return kSwrNoMatch;
    const double rho = std::sqrt(refW / fwdW);
    return static_cast<float>((1.0 + rho) / (1.0 - rho));
}

Columns::Columns(int64_t t0, int64_t t1, int width)
    : t0_(t0), t1_(std::max(t1, t0 + 1)), width_(std::max(width, 1)) {
    for (auto& c : cols_) c.assign(static_cast<size_t>(width_), Agg{});
}

int64_t Columns::columnStart(int c) const {
    // Smallest t with (t - t0) * width / span >= c: ceil(c * span / width).
    const int64_t span = t1_ - t0_;
    return t0_ + (static_cast<int64_t>(c) * span + width_ - 1) / width_;
}

Agg Columns::total(int ch) const {
    Agg a;
    for (const Agg& c : cols_[ch]) a.add(c);
    return a;
}

}  // namespace quellon::history
