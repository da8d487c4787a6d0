#pragma once
// Geometry of a gauge needle, in the unit of the drawing area's width and
// height (twips in the gauge windows). Shared by the needle drawing and the dial
// faces so that the printed scale and the needle agree.

namespace quellon {

struct NeedleGeometry {
    int pivotX = 0, pivotY = 0;  // whole units, halves rounded to even
    float r = 0;                 // radius
    int i = 0;                   // inner offset (negative lengthens the needle)
    double L = 0;                // needle length r - i
    double theta = 0;            // needle angle in radians; 180 degrees is straight up
    double tipX = 0, tipY = 0;   // tip; y grows downwards
};

// Mtype 1 pivot in the centre, 2 at the bottom edge, 3 fifty units below the area.
// Mmin and Mmax are needle angles in units of 6 degrees at Emin and Emax. An empty
// range (Emax == Emin) leaves the needle at Mmin instead of dividing by zero.
NeedleGeometry needleGeometry(double W, double H, int Mtype, double Emin, double Emax, double Mmin,
                              double Mmax, double Handl, double Value);

// The angle in radians that needleGeometry gives for a value.
double needleTheta(int Mtype, double Emin, double Emax, double Mmin, double Mmax, double Value);

}  // namespace quellon
