#include "resources/NeedleGeometry.h"

#include <algorithm>
#include <cmath>

#include "core/Numbers.h"

namespace quellon {

namespace {

// pi / 180 with pi taken as 3.141592654, as the gauge was designed with.
constexpr double kDegToRad = 0.017453292522222223;

int roundEven16(double v) {
    const double r = roundHalfEven(v);
    return static_cast<int>(std::clamp(r, -32768.0, 32767.0));
}

}  // namespace

double needleTheta(int Mtype, double Emin, double Emax, double Mmin, double Mmax, double Value) {
    const double base = (Mtype == 1) ? 0.0 : 270.0;
    const double span = Emax - Emin;
    // Value enters unchanged (not reduced by Emin), as the meters were calibrated.
    double a = (span != 0 && std::isfinite(Value)) ? Mmin + Value * (Mmax - Mmin) / span : Mmin;
    return (base - 6.0 * a) * kDegToRad;
}

NeedleGeometry needleGeometry(double W, double H, int Mtype, double Emin, double Emax, double Mmin,
                              double Mmax, double Handl, double Value) {
    NeedleGeometry g;
    g.pivotX = roundEven16(W / 2);
    double py = (Mtype == 1) ? H / 2 : (Mtype == 2) ? H - 2 : H + 50;
    g.pivotY = roundEven16(py);
    g.r = static_cast<float>((g.pivotX > g.pivotY ? g.pivotY : g.pivotX) - 5);
    g.i = roundEven16(static_cast<double>(g.r) * Handl);
    g.L = static_cast<double>(g.r) - g.i;
    g.theta = needleTheta(Mtype, Emin, Emax, Mmin, Mmax, Value);
    g.tipX = g.pivotX + std::sin(g.theta) * g.L;
    g.tipY = g.pivotY + std::cos(g.theta) * g.L;
    return g;
}

}  // namespace quellon
