// The main job: every frame of INPUT through the modules into OUTPUT.
//
// The run opens the input, loads and configures the modules (the tone
// remover first when it has settings, then the transform module; with
// --fields a chain of them per field, cli/process_chain.h), opens the output
// and hands the three to the pipeline (cli/pipeline.h), whose filter step
// runs the chain. When the output keeps a YUV or deep RGB source's format,
// the chain's change (its last output minus the frame handed to its first
// module) is added to the source's own samples (cli/correction.h) instead of
// its bytes being converted back.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "cli/commands.h"
#include "cli/correction.h"
#include "cli/correction_dsp.h"
#include "hosting/module.h"
#include "cli/output_target.h"
#include "cli/pipeline.h"
#include "cli/process_chain.h"
#include "cli/progress.h"
#include "cli/reader.h"
#include "cli/writer.h"
#include "engine/dsp.h"
#include "host/resource.h"

namespace {

std::string sizeText(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// The modules, their instruction set and the input, for --verbose.
void describeRun(const std::vector<ChainLink> &links, ModuleChain &chain, const std::string &input,
                 const VideoInfo &info, const Options &o)
{
    const CpuLevel cap = o.cpu.empty() ? cpuCapFromEnv() : (CpuLevel)cpuLevelFromName(o.cpu.c_str());
    const CpuLevel have = cpuDetect();
    for (size_t i = 0; i < links.size(); i++)
        fprintf(stderr, "quorvel: module %s: \"%s\"; instruction set %s\n", links[i].path.c_str(),
                chain.module(i).filterName(), cpuLevelName(cap < have ? cap : have));
    if (links.size() > 1) {
        fprintf(stderr, "quorvel: chain:");
        for (size_t i = 0; i < links.size(); i++)
            fprintf(stderr, "%s\"%s\"", i ? " -> " : " ", chain.module(i).filterName());
        fputc('\n', stderr);
    }
    if (o.fields)
        fprintf(stderr, "quorvel: fields: %s first, each through instances of its own, woven back\n",
                o.fields == 't' ? "top" : "bottom");
    fprintf(stderr, "quorvel: input %s: %s %s, %s, %d/%d fps\n", input.c_str(), info.formatName.c_str(),
            info.codecName.c_str(), sizeText(info.width, info.height).c_str(), info.frameRate.num, info.frameRate.den);
}

// What a module made of its settings, for notes and --verbose.
void reviewDialog(LoadedModule &module, FrameJob &job, const std::vector<DialogAction> &actions, const Options &o)
{
    DialogState state;
    std::string err;
    if (!module.readDialog(job.src, job.dst, state, err))
        return;
    for (const DialogAction &a : actions) {
        if (a.isCheck)
            continue;
        const std::string now = state.text(a.id);
        int want = 0, got = 0;
        if (a.id == IDC_HARMONICS && parseInt(a.text, want) && parseInt(now, got) && want != got && !o.quiet)
            fprintf(stderr, "quorvel: note: the module's dialog bounds the harmonics number by the width: %d, not %d\n",
                    got, want);
    }
    if (o.verbose) {
        fprintf(stderr, "quorvel: settings of \"%s\":", module.filterName());
        for (const auto &t : state.texts)
            fprintf(stderr, " [%d]=%s", t.first, t.second.c_str());
        for (const auto &c : state.checks)
            fprintf(stderr, " [%d]=%s", c.first, c.second ? "on" : "off");
        fputc('\n', stderr);
    }
}

// The number of frames to write (-1: all): --frames, or one for an output
// that holds a single picture. False (reported) when --frames asks for more
// than such an output holds.
bool frameLimit(const Options &o, const MediaWriter &writer, const VideoInfo &info, int64_t &limit)
{
    const std::string &output = o.paths[1];
    limit = o.frames;
    if (!writer.singleImage())
        return true;
    if (limit > 1) {
        reportError(quoted(output) + " holds one picture; name a numbered sequence such as out_%04d.png for " +
                    std::to_string(limit) + " frames");
        return false;
    }
    if (limit < 0 && info.frameCount > 1 && !o.quiet)
        fprintf(stderr, "quorvel: note: '%s' holds one picture: writing the first frame only\n", output.c_str());
    limit = 1;
    return true;
}

// Whether a module replaces the picture with its spectrum: such output is
// no change to a source and goes out as RGB.
bool displaysSpectrum(ModuleChain &chain, FrameJob &job)
{
    for (size_t i = 0; i < chain.size(); i++) {
        DialogState state;
        std::string err;
        if (chain.module(i).readDialog(job.src, job.dst, state, err) && state.checked(IDC_DISPLAY_SPECTRUM) == 1)
            return true;
    }
    return false;
}

// The tone remover first when it has settings, then the module named (or
// the default one) when it has settings or nothing else runs. On RGB
// sources the tone remover leaves samples the source clipped at their limit.
std::vector<ChainLink> chainOf(const Options &o, AVPixelFormat source)
{
    std::vector<ChainLink> links;
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(source);
    if (!o.toneDialog.empty())
        links.push_back({findModule("zelt_tone"), o.toneDialog, d && (d->flags & AV_PIX_FMT_FLAG_RGB)});
    if (!o.dialog.empty() || o.toneDialog.empty())
        links.push_back({findModule(o.module), o.dialog, false});
    return links;
}

const char *matrixName(AVColorSpace space)
{
    switch (space) {
    case AVCOL_SPC_BT709: return "BT.709";
    case AVCOL_SPC_FCC: return "FCC";
    case AVCOL_SPC_SMPTE240M: return "SMPTE 240M";
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return "BT.2020";
    default: return "BT.601";
    }
}

// Which way the pixels go, for --verbose.
std::string pathText(const VideoInfo &info, bool onSource)
{
    if (!onSource)
        return "RGB round trip";
    std::string text = std::string("correction on the source's ") + av_get_pix_fmt_name(info.pixFmt) + " samples";
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(info.pixFmt);
    if (d && !(d->flags & AV_PIX_FMT_FLAG_RGB)) {
        const ColourMatrix m = colourMatrixFor(info.colorSpace, info.colorRange, info.pixFmt, info.height, 8);
        text += std::string(" (") + matrixName(m.space) + ", " + (m.fullRange ? "full" : "limited") + " range)";
    }
    return text;
}

// The chain's run; on the correction path its change is added to the
// source frame. The frame is copied first: the notch changes its source in
// place, and the change is taken against what the first module was given.
class FilterRun {
public:
    FilterRun(FrameFilter &filter, bool onSource) : filter_(filter), onSource_(onSource) {}

    bool prepare(int w, int h) { return !onSource_ || before_.allocate(w, h); }

    bool operator()(FrameJob &job, std::string &err)
    {
        if (!onSource_)
            return filter_.run(job.src, job.dst, err);
        memcpy(before_.data(), job.src.data(), job.src.size());
        if (!filter_.run(job.src, job.dst, err))
            return false;
        if (av_frame_make_writable(job.source) < 0) {
            err = "out of memory";
            return false;
        }
        return corrector_.apply(job.source, xrgbView(before_), xrgbView(job.dst), err);
    }

private:
    FrameFilter &filter_;
    const bool onSource_;
    HostBitmap before_;
    FrameCorrector corrector_;
};

}  // namespace

int runProcess(const Options &o)
{
    const std::string &input = o.paths[0];
    const std::string &output = o.paths[1];
    std::string err;

    if (!checkOutputPath(input, output, err)) {
        reportError(err);
        return EXIT_USAGE;
    }

    // The module's engine reads its cap when it is first used.
    if (!o.cpu.empty())
        setenv("ZELT_CPU", o.cpu.c_str(), 1);
    // The correction's table takes the same cap; filled here, before the
    // pipeline's threads first use it.
    dspSetCpuCap(cpuCapFromEnv());
    correctionDsp();

    MediaReader reader;
    if (!reader.open(input, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    const VideoInfo &info = reader.info();

    FrameJobs jobs;
    if (!allocateJobs(o.serial ? 1 : JOBS_IN_FLIGHT, info.width, info.height, jobs)) {
        reportError("not enough memory for " + sizeText(info.width, info.height) + " frames");
        return EXIT_FAILURE_RUN;
    }
    FrameJob &job = *jobs[0];

    const std::vector<ChainLink> links = chainOf(o, info.pixFmt);
    setHostProgramName("quorvel");
    FrameFilter frameFilter;
    if (!frameFilter.open(links, o.fields, info.width, info.height, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    ModuleChain &chain = frameFilter.first();
    if (o.verbose)
        describeRun(links, chain, input, info, o);
    for (size_t i = 0; i < links.size(); i++)
        if (!links[i].actions.empty() || o.verbose)
            reviewDialog(chain.module(i), job, links[i].actions, o);

    MediaWriter writer;
    WriterOptions wopts;
    wopts.codec = o.codec;
    wopts.pixFmt = o.pixFmt;
    wopts.quiet = o.quiet;
    if (isCorrectableFormat(info.pixFmt) && !displaysSpectrum(chain, job))
        wopts.sourceFormat = info.pixFmt;
    if (!writer.open(output, info, reader.audioStreams(), wopts, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    int64_t limit = -1;
    if (!frameLimit(o, writer, info, limit))
        return EXIT_USAGE;
    if (o.verbose)
        fprintf(stderr, "quorvel: output %s: %s; %s\n", output.c_str(), writer.describe().c_str(),
                pathText(info, writer.takesSource()).c_str());
    FilterRun filterRun(frameFilter, writer.takesSource());
    if (!filterRun.prepare(info.width, info.height)) {
        reportError("not enough memory for " + sizeText(info.width, info.height) + " frames");
        return EXIT_FAILURE_RUN;
    }

    if (!frameFilter.start(job.src, job.dst, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }

    int64_t total = info.frameCount;
    if (limit > 0 && (total < 0 || total > limit))
        total = limit;
    Progress progress(o.quiet, total);
    const FilterStep filter = [&filterRun](FrameJob &j, std::string &e) { return filterRun(j, e); };
    const PipelineResult result =
        runPipeline(reader, filter, writer, progress, limit, jobs, o.serial, writer.takesSource());
    if (result.outcome == FrameJob::INTERRUPTED) {
        progress.interrupt();
        reportError("interrupted; " + quoted(output) + " not written");
        return EXIT_INTERRUPTED;
    }
    if (result.outcome == FrameJob::FAILED) {
        progress.interrupt();
        reportError(result.message);
        return EXIT_FAILURE_RUN;
    }
    const int64_t done = result.framesFiltered;
    frameFilter.end();
    if (done == 0) {
        progress.interrupt();
        reportError(quoted(input) + " holds no video frames");
        return EXIT_FAILURE_RUN;
    }
    if (!writer.finish(err)) {
        progress.interrupt();
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    frameFilter.unload();
    char summary[512];
    snprintf(summary, sizeof summary, "%lld frame%s %s in %.1f s (%.1f fps) -> %s", (long long)done,
             done == 1 ? "" : "s", sizeText(info.width, info.height).c_str(), progress.seconds(), progress.fps(),
             output.c_str());
    progress.finish(summary);
    return EXIT_OK;
}
