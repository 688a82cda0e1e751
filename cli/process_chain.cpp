// The modules a run takes each frame through, and the split of interlaced
// frames into their fields.
#include "cli/process_chain.h"

#include <string.h>

namespace {

// Where src holds 0 or 255, dst keeps it unless the module moved the sample
// the other way (byte 3 is not a sample).
void keepClipped(const HostBitmap &src, HostBitmap &dst)
{
    const int n = src.width() * 4;
    for (int y = 0; y < src.height(); y++) {
        const uint8_t *s = src.pictureRow(y);
        uint8_t *d = dst.pictureRow(y);
        for (int j = 0; j < n; j++)
            if ((j & 3) != 3 && ((s[j] == 255 && d[j] < 255) || (s[j] == 0 && d[j] > 0)))
                d[j] = s[j];
    }
}

}  // namespace

bool ModuleChain::open(const std::vector<ChainLink> &links, bool privateCopies, int w, int h, std::string &err)
{
    HostBitmap src, dst;  // the dialog's current frame: only its size counts
    if (!src.allocate(w, h) || !dst.allocate(w, h)) {
        err = "out of memory";
        return false;
    }
    LoadOptions options;
    options.privateState = privateCopies;
    for (const ChainLink &link : links) {
        modules_.push_back(std::make_unique<LoadedModule>());
        keepClipped_.push_back(link.keepClipped);
        LoadedModule &m = *modules_.back();
        if (!m.load(link.path, err, options))
            return false;
        if (!link.actions.empty() && !m.configure(src, dst, link.actions, err)) {
            err = "cannot apply the settings of '" + link.path + "': " + err;
            return false;
        }
    }
    between_.resize(links.empty() ? 0 : links.size() - 1);
    for (HostBitmap &b : between_)
        if (!b.allocate(w, h)) {
            err = "out of memory";
            return false;
        }
    return true;
}

bool ModuleChain::start(HostBitmap &src, HostBitmap &dst, std::string &err)
{
    for (size_t i = 0; i < modules_.size(); i++)
        if (!modules_[i]->start(sourceOf(i, src), destinationOf(i, dst), err))
            return false;
    return true;
}

bool ModuleChain::run(HostBitmap &src, HostBitmap &dst, std::string &err)
{
    for (size_t i = 0; i < modules_.size(); i++) {
        if (!modules_[i]->run(sourceOf(i, src), destinationOf(i, dst), err))
            return false;
        if (keepClipped_[i])
            keepClipped(sourceOf(i, src), destinationOf(i, dst));
    }
    return true;
}

void ModuleChain::end()
{
    for (auto &m : modules_)
        m->end();
}

bool FrameFilter::open(const std::vector<ChainLink> &links, char fields, int w, int h, std::string &err)
{
    fields_ = fields;
    if (!fields)
        return chains_[0].open(links, false, w, h, err);
    if (h < 2) {
        err = "a frame of " + std::to_string(h) + " row has no second field";
        return false;
    }
    // The first field in time takes the modules as loaded; the other one
    // private copies of them.
    const int firstField = fields == 'b' ? 1 : 0;
    for (int k = 0; k < 2; k++) {
        const int f = k == 0 ? firstField : 1 - firstField;
        const int rows = f == 0 ? (h + 1) / 2 : h / 2;
        if (!fieldSrc_[f].allocate(w, rows) || !fieldDst_[f].allocate(w, rows)) {
            err = "out of memory";
            return false;
        }
        if (!chains_[f].open(links, k == 1, w, rows, err))
            return false;
    }
    return true;
}

bool FrameFilter::start(HostBitmap &src, HostBitmap &dst, std::string &err)
{
    if (!fields_)
        return chains_[0].start(src, dst, err);
    return chains_[0].start(fieldSrc_[0], fieldDst_[0], err) && chains_[1].start(fieldSrc_[1], fieldDst_[1], err);
}

bool FrameFilter::run(HostBitmap &src, HostBitmap &dst, std::string &err)
{
    if (!fields_)
        return chains_[0].run(src, dst, err);
    // The fields go in their order in time, though neither chain ever sees
    // the other's rows.
    const int firstField = fields_ == 'b' ? 1 : 0;
    for (int k = 0; k < 2; k++) {
        const int f = k == 0 ? firstField : 1 - firstField;
        split(src, f, fieldSrc_[f]);
        if (!chains_[f].run(fieldSrc_[f], fieldDst_[f], err)) {
            err += std::string(" (") + (f == 0 ? "top" : "bottom") + " field)";
            return false;
        }
        weave(fieldDst_[f], f, dst);
    }
    return true;
}

void FrameFilter::end()
{
    chains_[0].end();
    chains_[1].end();
}

void FrameFilter::split(const HostBitmap &frame, int field, HostBitmap &out) const
{
    const size_t bytes = (size_t)frame.width() * 4;
    for (int y = 0; y < out.height(); y++)
        memcpy(out.pictureRow(y), frame.pictureRow(2 * y + field), bytes);
}

void FrameFilter::weave(const HostBitmap &in, int field, HostBitmap &frame) const
{
    const size_t bytes = (size_t)frame.width() * 4;
    for (int y = 0; y < in.height(); y++)
        memcpy(frame.pictureRow(2 * y + field), in.pictureRow(y), bytes);
}
