#include "filter/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace lorvane {

std::string clockTime(double seconds) {
    const long s = std::lround(std::max(seconds, 0.0));
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

std::string Progress::line(int done, int total, int liveSeeds, double elapsed) {
    std::string text = "Step " + std::to_string(done) + "/" + std::to_string(total) + "  " + std::to_string(liveSeeds) +
                       " seeds  elapsed " + clockTime(elapsed);
    if (done < total && done > 0) text += "  left ~" + clockTime(elapsed / done * (total - done));
    return text;
}

bool Progress::stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

Progress::Progress(std::ostream& out, bool on, bool inPlace) : out_(out), on_(on), inPlace_(on && inPlace) {}

Progress::~Progress() { finish(); }

void Progress::step(int done, int total, int liveSeeds, double elapsed) {
    if (!on_) return;
    const std::string text = line(done, total, liveSeeds, elapsed);
    if (!inPlace_) {
        out_ << text << std::endl;
        return;
    }
    // Blanks over what is left of a longer earlier line.
    out_ << '\r' << text << std::string(shown_ > text.size() ? shown_ - text.size() : 0, ' ') << std::flush;
    shown_ = text.size();
}

void Progress::note(const std::string& text) {
    finish();
    out_ << text << std::endl;
}

void Progress::finish() {
    if (shown_ == 0) return;
    out_ << std::endl;
    shown_ = 0;
}

}  // namespace lorvane
