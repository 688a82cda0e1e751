// Progress on standard error: a live line on a terminal, one summary line
// otherwise, nothing when quiet.
#pragma once

#include <stdint.h>

#include <chrono>
#include <string>

class Progress {
public:
    Progress(bool quiet, int64_t total);
    void frameDone();
    // Ends the live line; prints `summary` when not quiet.
    void finish(const std::string &summary);
    // Clears the live line before another message goes out.
    void interrupt();
    int64_t frames() const { return done_; }
    double seconds() const;
    double fps() const;

private:
    void draw();
    bool quiet_, live_;
    bool drawn_ = false;
    int64_t total_, done_ = 0;
    std::chrono::steady_clock::time_point start_, lastDraw_;
};
