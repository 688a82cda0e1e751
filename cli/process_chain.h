// The modules a run takes each frame through, and the split of interlaced
// frames into their fields.
//
// A chain holds one instance of each of its modules: the first module's
// output is the second one's source, and so on. Each module is a library of
// its own, so different modules share nothing; a second chain of the same
// modules in this process (the other field) takes private copies of them
// (LoadOptions::privateState), since each module keeps its settings and
// history process-wide.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hosting/bitmap.h"
#include "hosting/dialog.h"
#include "hosting/module.h"

struct ChainLink {
    std::string path;                   // the module file
    std::vector<DialogAction> actions;  // entered in its dialog; none: its defaults
    // Samples the source holds at 0 or 255 keep that value where the module
    // would move them inwards. For RGB sources, which clip the interference
    // with the picture: a saturated sample was at its limit before it came.
    bool keepClipped = false;
};

class ModuleChain {
public:
    // Loads and configures every link for frames of w x h; `privateCopies`
    // beside another chain of the same modules. Frames of w x h only.
    bool open(const std::vector<ChainLink> &links, bool privateCopies, int w, int h, std::string &err);
    bool start(HostBitmap &src, HostBitmap &dst, std::string &err);
    // src through every module into dst. The first module may change src
    // (the notch tapers its source in place).
    bool run(HostBitmap &src, HostBitmap &dst, std::string &err);
    void end();
    // Ends a run under way and deinits every module.
    void unload() { modules_.clear(); }

    size_t size() const { return modules_.size(); }
    LoadedModule &module(size_t i) { return *modules_[i]; }

private:
    // The source and destination of link i.
    HostBitmap &sourceOf(size_t i, HostBitmap &src) { return i == 0 ? src : between_[i - 1]; }
    HostBitmap &destinationOf(size_t i, HostBitmap &dst) { return i + 1 == modules_.size() ? dst : between_[i]; }

    std::vector<std::unique_ptr<LoadedModule>> modules_;
    std::vector<bool> keepClipped_;
    std::vector<HostBitmap> between_;  // link i's output, link i + 1's source
};

// Frames through one chain, or, interlaced, each field through a chain of
// its own and woven back.
class FrameFilter {
public:
    // `fields`: 't' or 'b' for the field first in time, 0 for progressive.
    bool open(const std::vector<ChainLink> &links, char fields, int w, int h, std::string &err);
    bool start(HostBitmap &src, HostBitmap &dst, std::string &err);
    bool run(HostBitmap &src, HostBitmap &dst, std::string &err);
    void end();
    void unload()
    {
        chains_[0].unload();
        chains_[1].unload();
    }

    // The chain of the progressive frames or of the top field.
    ModuleChain &first() { return chains_[0]; }

private:
    void split(const HostBitmap &frame, int field, HostBitmap &out) const;
    void weave(const HostBitmap &in, int field, HostBitmap &frame) const;

    char fields_ = 0;
    ModuleChain chains_[2];
    // Per field, its source and destination rows (field 0: the frame's even
    // picture rows, the top field; 1: the odd rows).
    HostBitmap fieldSrc_[2], fieldDst_[2];
};
