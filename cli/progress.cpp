// Progress on standard error.
#include "cli/progress.h"

#include <stdio.h>
#include <unistd.h>

Progress::Progress(bool quiet, int64_t total)
    : quiet_(quiet), live_(!quiet && isatty(2)), total_(total), start_(std::chrono::steady_clock::now())
{
    lastDraw_ = start_;
}

double Progress::seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

double Progress::fps() const
{
    const double s = seconds();
    return s > 0 ? (double)done_ / s : 0.0;
}

void Progress::draw()
{
    const double rate = fps();
    char line[160];
    if (total_ > 0) {
        const int64_t left = total_ > done_ ? total_ - done_ : 0;
        const int eta = rate > 0 ? (int)((double)left / rate + 0.5) : 0;
        snprintf(line, sizeof line, "\rquorvel: frame %lld of %lld  %.1f fps  %d:%02d left   ", (long long)done_,
                 (long long)total_, rate, eta / 60, eta % 60);
    } else {
        snprintf(line, sizeof line, "\rquorvel: frame %lld  %.1f fps   ", (long long)done_, rate);
    }
    fputs(line, stderr);
    fflush(stderr);
    drawn_ = true;
}

void Progress::frameDone()
{
    done_++;
    if (!live_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ >= std::chrono::milliseconds(200) || done_ == 1) {
        lastDraw_ = now;
        draw();
    }
}

void Progress::interrupt()
{
    if (drawn_) {
        fputs("\r\033[K", stderr);
        drawn_ = false;
    }
}

void Progress::finish(const std::string &summary)
{
    interrupt();
    if (!quiet_ && !summary.empty())
        fprintf(stderr, "quorvel: %s\n", summary.c_str());
}
