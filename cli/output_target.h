// Where an output goes: the checks on the name before any work is done, and
// the temporary file that only reaches the final name once it is complete.
// Choices about existing files (overwrite or not) belong here too.
#pragma once

#include <stdint.h>

#include <string>

// Whether OUTPUT may be written for INPUT at all, before anything is read:
// not the input itself (the rename at the end would replace it) and not a
// directory (the rename would fail only after all the work).
bool checkOutputPath(const std::string &input, const std::string &output, std::string &err);

// Whether a path names a numbered image sequence (a printf-style %d).
bool isSequencePattern(const std::string &path);

// Where an output is written: a temporary name beside the final one, renamed
// into place only when everything has been written. Numbered sequences get a
// temporary pattern and every frame file is renamed.
class OutputTarget {
public:
    explicit OutputTarget(std::string finalPath);
    ~OutputTarget();  // removes what is still temporary

    const std::string &finalPath() const { return final_; }
    const std::string &tempPath() const { return temp_; }
    bool isSequence() const { return sequence_; }
    void setFrameCount(int64_t frames, int startNumber)
    {
        frames_ = frames;
        start_ = startNumber;
    }
    // Creates the temporary file (the first frame's, for a sequence) to find
    // out now, not after the whole video, whether the place is writable.
    bool checkWritable(std::string &err) const;
    bool commit(std::string &err);
    void discard();

private:
    std::string final_, temp_;
    bool sequence_ = false;
    bool done_ = false;
    int64_t frames_ = 0;
    int start_ = 1;
};
