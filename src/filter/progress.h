#pragma once
// Progress of a sampling run on standard error: growth step k of n, the live
// seeds, the elapsed time and an estimate of the time left. On a terminal
// the line is rewritten in place; otherwise (a log file, a pipe) every step
// gets a line of its own, so that a log shows the course of the run.
#include <cstddef>
#include <iosfwd>
#include <string>

namespace lorvane {

class Progress {
public:
    // off: prints nothing but notes. inPlace: one line rewritten in place.
    Progress(std::ostream& out, bool on, bool inPlace);
    // The in-place line is ended when the run stops, normally or by an
    // error, so that whatever follows starts a line of its own.
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // After growth step `done` (counted from 1) of `total`, with `liveSeeds`
    // seeds alive and `elapsed` seconds since the run started.
    void step(int done, int total, int liveSeeds, double elapsed);
    // A line of its own, printed even when progress is off.
    void note(const std::string& text);
    // Ends the in-place line (nothing otherwise).
    void finish();

    // The text of one step: the time left assumes the remaining steps take
    // as long on average as the ones done.
    static std::string line(int done, int total, int liveSeeds, double elapsed);
    // Whether standard error is a terminal.
    static bool stderrIsTerminal();

private:
    std::ostream& out_;
    bool on_, inPlace_;
    size_t shown_ = 0;  // characters of the in-place line now on screen (0: none)
};

// Seconds as m:ss, or h:mm:ss from an hour on.
std::string clockTime(double seconds);

}  // namespace lorvane
