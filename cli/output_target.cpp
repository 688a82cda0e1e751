// Where an output goes.
#include "cli/output_target.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "cli/media.h"

namespace {

void splitPath(const std::string &path, std::string &dir, std::string &base)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        dir.clear();
        base = path;
    } else {
        dir = path.substr(0, slash + 1);
        base = path.substr(slash + 1);
    }
}

std::string frameFileName(const std::string &pattern, int64_t number)
{
    char buf[4096];
    if (av_get_frame_filename2(buf, sizeof buf, pattern.c_str(), (int)number, AV_FRAME_FILENAME_FLAGS_MULTIPLE) < 0)
        return std::string();
    return buf;
}

}  // namespace

bool checkOutputPath(const std::string &input, const std::string &output, std::string &err)
{
    struct stat inStat, outStat;
    const bool outExists = stat(output.c_str(), &outStat) == 0;
    if (input == output || (outExists && stat(input.c_str(), &inStat) == 0 && inStat.st_dev == outStat.st_dev &&
                            inStat.st_ino == outStat.st_ino)) {
        err = quoted(output) + " is the input itself; name another OUTPUT";
        return false;
    }
    if (outExists && S_ISDIR(outStat.st_mode)) {
        err = quoted(output) + " is a directory; name a file in it as OUTPUT";
        return false;
    }
    return true;
}

bool isSequencePattern(const std::string &path)
{
    std::string dir, base;
    splitPath(path, dir, base);
    char buf[4096];
    return av_get_frame_filename2(buf, sizeof buf, base.c_str(), 1, 0) >= 0;
}

OutputTarget::OutputTarget(std::string finalPath) : final_(std::move(finalPath))
{
    std::string dir, base;
    splitPath(final_, dir, base);
    sequence_ = isSequencePattern(final_);
    // A hidden name in the same directory, so that the rename stays on one
    // file system; the extension stays for the muxers that look at it.
    temp_ = dir + ".quorvel-" + std::to_string((long)getpid()) + "-" + base;
}

OutputTarget::~OutputTarget()
{
    discard();
}

bool OutputTarget::checkWritable(std::string &err) const
{
    const std::string probe = sequence_ ? frameFileName(temp_, 1) : temp_;
    FILE *f = fopen(probe.c_str(), "wb");
    if (!f) {
        err = "cannot write " + quoted(final_) + ": " + strerror(errno);
        return false;
    }
    fclose(f);
    if (sequence_)
        unlink(probe.c_str());
    return true;
}

bool OutputTarget::commit(std::string &err)
{
    if (done_)
        return true;
    if (!sequence_) {
        if (rename(temp_.c_str(), final_.c_str()) != 0) {
            err = "cannot move the finished output to " + quoted(final_) + ": " + strerror(errno);
            discard();
            return false;
        }
    } else {
        for (int64_t i = 0; i < frames_; i++) {
            const std::string from = frameFileName(temp_, start_ + i);
            const std::string to = frameFileName(final_, start_ + i);
            if (from.empty() || to.empty() || rename(from.c_str(), to.c_str()) != 0) {
                err = "cannot move the finished frame to " + quoted(to) + ": " + strerror(errno);
                // Frames already renamed stay; the rest go.
                for (int64_t k = i; k < frames_; k++)
                    unlink(frameFileName(temp_, start_ + k).c_str());
                done_ = true;
                return false;
            }
        }
    }
    done_ = true;
    return true;
}

void OutputTarget::discard()
{
    if (done_)
        return;
    done_ = true;
    if (!sequence_) {
        unlink(temp_.c_str());
        return;
    }
    // One beyond the count: a frame may have been opened when writing stopped.
    for (int64_t i = 0; i <= frames_; i++)
        unlink(frameFileName(temp_, start_ + i).c_str());
}
