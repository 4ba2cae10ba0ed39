// Funnel plot of a decoy set: combined score z against RMSD to the input
// loop. A good score shows a funnel: the lowest z among the lowest RMSDs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "evaluate/evaluate.h"
#include "model/atomic_file.h"
#include "model/error.h"

namespace lorvane {

namespace {

constexpr double W = 720, H = 540;
constexpr double ML = 80, MR = 30, MT = 60, MB = 70;  // margins: left, right, top, bottom

std::string xmlEscape(const std::string& s) {
    std::string o;
    for (char c : s) {
        switch (c) {
            case '&': o += "&amp;"; break;
            case '<': o += "&lt;"; break;
            case '>': o += "&gt;"; break;
            case '"': o += "&quot;"; break;
            default: o += c;
        }
    }
    return o;
}

std::string num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", v);
    return b;
}

// Tick step of 1, 2 or 5 times a power of ten giving about five intervals.
double tickStep(double range) {
    if (!(range > 0)) return 1.0;
    const double raw = range / 5.0;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / p;
    return (f < 1.5 ? 1.0 : f < 3.5 ? 2.0 : f < 7.5 ? 5.0 : 10.0) * p;
}

std::string tickLabel(double v, double step) {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", decimals, std::fabs(v) < step * 1e-6 ? 0.0 : v);
    return b;
}

struct Axis {
    double lo, hi, step;
    void fit(double a, double b, bool fromZero) {
        if (fromZero) a = std::min(a, 0.0);
        if (!(b > a)) {
            a -= 0.5;
            b += 0.5;
        }
        step = tickStep(b - a);
        lo = std::floor(a / step) * step;
        hi = std::ceil(b / step) * step;
        if (hi - lo < step) hi = lo + step;
    }
};

}  // namespace

void writeFunnelPlot(const std::string& path, const std::string& title, const DecoyEvaluation& e) {
    std::vector<int> shown;
    double xmax = 0, ymin = 0, ymax = 0;
    for (size_t k = 0; k < e.rmsd.size() && k < e.z.size(); ++k) {
        if (!std::isfinite(e.rmsd[k]) || !std::isfinite(e.z[k])) continue;
        if (shown.empty()) ymin = ymax = e.z[k];
        shown.push_back(static_cast<int>(k));
        xmax = std::max(xmax, e.rmsd[k]);
        ymin = std::min(ymin, e.z[k]);
        ymax = std::max(ymax, e.z[k]);
    }
    // A little room so that no point sits on the frame.
    const double padY = 0.03 * (ymax - ymin);
    Axis ax, ay;
    ax.fit(0.0, xmax * 1.03, true);
    ay.fit(ymin - padY, ymax + padY, false);
    const double pw = W - ML - MR, ph = H - MT - MB;
    auto X = [&](double v) { return ML + (v - ax.lo) / (ax.hi - ax.lo) * pw; };
    auto Y = [&](double v) { return MT + ph - (v - ay.lo) / (ay.hi - ay.lo) * ph; };

    std::ostringstream o;
    o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << W << "\" height=\"" << H << "\" viewBox=\"0 0 " << W << " " << H
      << "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
      << "<text x=\"" << W / 2 << "\" y=\"32\" font-size=\"18\" text-anchor=\"middle\">Funnel plot: " << xmlEscape(title) << " ("
      << shown.size() << " decoys)</text>\n";
    // Grid and ticks.
    o << "<g stroke=\"#dddddd\" stroke-width=\"1\">\n";
    for (double v = ax.lo; v <= ax.hi + ax.step * 1e-6; v += ax.step)
        o << "<line x1=\"" << num(X(v)) << "\" y1=\"" << MT << "\" x2=\"" << num(X(v)) << "\" y2=\"" << MT + ph << "\"/>\n";
    for (double v = ay.lo; v <= ay.hi + ay.step * 1e-6; v += ay.step)
        o << "<line x1=\"" << ML << "\" y1=\"" << num(Y(v)) << "\" x2=\"" << ML + pw << "\" y2=\"" << num(Y(v)) << "\"/>\n";
    o << "</g>\n<g stroke=\"black\" stroke-width=\"1\" font-size=\"12\">\n";
    o << "<rect x=\"" << ML << "\" y=\"" << MT << "\" width=\"" << pw << "\" height=\"" << ph << "\" fill=\"none\"/>\n";
    for (double v = ax.lo; v <= ax.hi + ax.step * 1e-6; v += ax.step) {
        o << "<line x1=\"" << num(X(v)) << "\" y1=\"" << MT + ph << "\" x2=\"" << num(X(v)) << "\" y2=\"" << MT + ph + 6 << "\"/>\n";
        o << "<text x=\"" << num(X(v)) << "\" y=\"" << MT + ph + 20 << "\" text-anchor=\"middle\" stroke=\"none\">" << tickLabel(v, ax.step)
          << "</text>\n";
    }
    for (double v = ay.lo; v <= ay.hi + ay.step * 1e-6; v += ay.step) {
        o << "<line x1=\"" << ML - 6 << "\" y1=\"" << num(Y(v)) << "\" x2=\"" << ML << "\" y2=\"" << num(Y(v)) << "\"/>\n";
        o << "<text x=\"" << ML - 9 << "\" y=\"" << num(Y(v) + 4) << "\" text-anchor=\"end\" stroke=\"none\">" << tickLabel(v, ay.step)
          << "</text>\n";
    }
    o << "</g>\n";
    o << "<text x=\"" << ML + pw / 2 << "\" y=\"" << H - 22 << "\" font-size=\"14\" text-anchor=\"middle\">"
      << "RMSD to the input loop (\u00c5)</text>\n";
    o << "<text x=\"22\" y=\"" << MT + ph / 2 << "\" font-size=\"14\" text-anchor=\"middle\" transform=\"rotate(-90 22 " << MT + ph / 2
      << ")\">combined score z (sum of normalised scores)</text>\n";
    // Decoys.
    o << "<g fill=\"#3b6ea5\" fill-opacity=\"0.45\" stroke=\"none\">\n";
    for (int k : shown) o << "<circle cx=\"" << num(X(e.rmsd[k])) << "\" cy=\"" << num(Y(e.z[k])) << "\" r=\"3\"/>\n";
    o << "</g>\n";
    // Marked decoys and legend.
    auto finite = [&](int k) { return k >= 0 && k < static_cast<int>(e.rmsd.size()) && k < static_cast<int>(e.z.size()) &&
                                      std::isfinite(e.rmsd[k]) && std::isfinite(e.z[k]); };
    if (finite(e.lowestRmsd)) {
        const double x = X(e.rmsd[e.lowestRmsd]), y = Y(e.z[e.lowestRmsd]);
        o << "<rect x=\"" << num(x - 6) << "\" y=\"" << num(y - 6) << "\" width=\"12\" height=\"12\" fill=\"none\" stroke=\"#1a9850\" "
          << "stroke-width=\"2.5\"/>\n";
    }
    if (finite(e.lowestZ)) {
        const double x = X(e.rmsd[e.lowestZ]), y = Y(e.z[e.lowestZ]);
        o << "<circle cx=\"" << num(x) << "\" cy=\"" << num(y) << "\" r=\"7\" fill=\"none\" stroke=\"#d73027\" stroke-width=\"2.5\"/>\n";
    }
    const double lx = ML + pw - 230, ly = MT + 12;
    o << "<g font-size=\"12\">\n<rect x=\"" << lx << "\" y=\"" << ly << "\" width=\"220\" height=\"48\" fill=\"white\" "
      << "fill-opacity=\"0.85\" stroke=\"#999999\"/>\n";
    o << "<circle cx=\"" << lx + 14 << "\" cy=\"" << ly + 15 << "\" r=\"6\" fill=\"none\" stroke=\"#d73027\" stroke-width=\"2.5\"/>\n";
    o << "<text x=\"" << lx + 28 << "\" y=\"" << ly + 19 << "\">lowest z";
    if (finite(e.lowestZ)) o << " (RMSD " << num(e.rmsd[e.lowestZ]) << " \u00c5)";
    o << "</text>\n";
    o << "<rect x=\"" << lx + 8 << "\" y=\"" << ly + 29 << "\" width=\"12\" height=\"12\" fill=\"none\" stroke=\"#1a9850\" "
      << "stroke-width=\"2.5\"/>\n";
    o << "<text x=\"" << lx + 28 << "\" y=\"" << ly + 40 << "\">lowest RMSD";
    if (finite(e.lowestRmsd)) o << " (" << num(e.rmsd[e.lowestRmsd]) << " \u00c5)";
    o << "</text>\n</g>\n</svg>\n";

    makeParentDirectories(path);
    AtomicFile f(path);
    f.stream() << o.str();
    f.commit();
}

}  // namespace lorvane
