// The main job: every frame of INPUT through one module instance into OUTPUT.
//
// Frames go decode -> filter -> encode one at a time through a FrameJob. The
// stages share nothing but the job, so a later version can run decoding and
// encoding on threads of their own with a few jobs in flight, as long as the
// filter stage takes them one at a time and in order.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "cli/commands.h"
#include "cli/media.h"
#include "cli/module_host.h"
#include "cli/progress.h"
#include "engine/dsp.h"

namespace {

volatile sig_atomic_t interruptFlag = 0;

void onSignal(int)
{
    interruptFlag = 1;
}

struct FrameJob {
    HostBitmap src, dst;
    int64_t pts = 0;
};

std::string sizeText(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// What the module made of the settings, for notes and --verbose.
void reviewDialog(LoadedModule &module, FrameJob &job, const Options &o)
{
    DialogState state;
    std::string err;
    if (!module.readDialog(job.src, job.dst, state, err))
        return;
    for (const DialogAction &a : o.dialog) {
        if (a.isCheck)
            continue;
        const std::string now = state.text(a.id);
        int want = 0, got = 0;
        if (a.id == 1001 && parseInt(a.text, want) && parseInt(now, got) && want != got && !o.quiet)
            fprintf(stderr, "quorvel: note: the module's dialog bounds the harmonics number by the width: %d, not %d\n",
                    got, want);
    }
    if (o.verbose) {
        fprintf(stderr, "quorvel: settings:");
        for (const auto &t : state.texts)
            fprintf(stderr, " [%d]=%s", t.first, t.second.c_str());
        for (const auto &c : state.checks)
            fprintf(stderr, " [%d]=%s", c.first, c.second ? "on" : "off");
        fputc('\n', stderr);
    }
}

}  // namespace

bool interruptRequested()
{
    return interruptFlag != 0;
}

void installInterruptHandlers()
{
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void reportError(const std::string &message)
{
    fprintf(stderr, "quorvel: error: %s\n", message.c_str());
}

int runProcess(const Options &o)
{
    const std::string &input = o.paths[0];
    const std::string &output = o.paths[1];
    std::string err;

    // The output is renamed into place at the end: over the input it would
    // replace it, over a directory it would fail only after all the work.
    struct stat inStat, outStat;
    const bool outExists = stat(output.c_str(), &outStat) == 0;
    if (input == output || (outExists && stat(input.c_str(), &inStat) == 0 && inStat.st_dev == outStat.st_dev &&
                            inStat.st_ino == outStat.st_ino)) {
        reportError("'" + output + "' is the input itself; name another OUTPUT");
        return EXIT_USAGE;
    }
    if (outExists && S_ISDIR(outStat.st_mode)) {
        reportError("'" + output + "' is a directory; name a file in it as OUTPUT");
        return EXIT_USAGE;
    }

    // The module's engine reads its cap when it is first used.
    if (!o.cpu.empty())
        setenv("ZELT_CPU", o.cpu.c_str(), 1);

    MediaReader reader;
    if (!reader.open(input, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    const VideoInfo &info = reader.info();

    FrameJob job;
    if (!job.src.allocate(info.width, info.height) || !job.dst.allocate(info.width, info.height)) {
        reportError("not enough memory for " + sizeText(info.width, info.height) + " frames");
        return EXIT_FAILURE_RUN;
    }

    const std::string modulePath = findModule(o.module);
    LoadedModule module;
    if (!module.load(modulePath, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    if (o.verbose) {
        const CpuLevel cap = o.cpu.empty() ? cpuCapFromEnv() : (CpuLevel)cpuLevelFromName(o.cpu.c_str());
        const CpuLevel have = cpuDetect();
        fprintf(stderr, "quorvel: module %s: \"%s\"; instruction set %s\n", modulePath.c_str(), module.filterName(),
                cpuLevelName(cap < have ? cap : have));
        fprintf(stderr, "quorvel: input %s: %s %s, %s, %d/%d fps\n", input.c_str(), info.formatName.c_str(),
                info.codecName.c_str(), sizeText(info.width, info.height).c_str(), info.frameRate.num,
                info.frameRate.den);
    }
    if (!o.dialog.empty()) {
        if (!module.configure(job.src, job.dst, o.dialog, err)) {
            reportError("cannot apply the settings: " + err);
            return EXIT_FAILURE_RUN;
        }
    }
    if (!o.dialog.empty() || o.verbose)
        reviewDialog(module, job, o);

    MediaWriter writer;
    WriterOptions wopts;
    wopts.codec = o.codec;
    wopts.pixFmt = o.pixFmt;
    wopts.quiet = o.quiet;
    if (!writer.open(output, info, reader.audioStreams(), wopts, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    int64_t limit = o.frames;
    if (writer.singleImage()) {
        if (limit > 1) {
            reportError("'" + output + "' holds one picture; name a numbered sequence such as out_%04d.png for " +
                        std::to_string(limit) + " frames");
            return EXIT_USAGE;
        }
        if (limit < 0 && info.frameCount > 1 && !o.quiet)
            fprintf(stderr, "quorvel: note: '%s' holds one picture: writing the first frame only\n", output.c_str());
        limit = 1;
    }
    if (o.verbose)
        fprintf(stderr, "quorvel: output %s: %s\n", output.c_str(), writer.describe().c_str());
    reader.setPacketSink([&writer](const AVPacket *pkt, std::string &e) { return writer.copyPacket(pkt, e); });

    if (!module.start(job.src, job.dst, err)) {
        reportError(err);
        return EXIT_FAILURE_RUN;
    }

    int64_t total = info.frameCount;
    if (limit > 0 && (total < 0 || total > limit))
        total = limit;
    Progress progress(o.quiet, total);
    int64_t done = 0;
    while (limit < 0 || done < limit) {
        if (interruptRequested()) {
            progress.interrupt();
            reportError("interrupted; '" + output + "' not written");
            return EXIT_INTERRUPTED;
        }
        const int got = reader.next(job.src, job.pts, err);
        if (got < 0) {
            progress.interrupt();
            reportError(err);
            return EXIT_FAILURE_RUN;
        }
        if (got == 0)
            break;
        if (!module.run(job.src, job.dst, err)) {
            progress.interrupt();
            reportError(err + " at frame " + std::to_string(done + 1));
            return EXIT_FAILURE_RUN;
        }
        if (!writer.write(job.dst, job.pts, err)) {
            progress.interrupt();
            reportError(err);
            return EXIT_FAILURE_RUN;
        }
        done++;
        progress.frameDone();
    }
    module.end();
    if (done == 0) {
        progress.interrupt();
        reportError("'" + input + "' holds no video frames");
        return EXIT_FAILURE_RUN;
    }
    if (!writer.finish(err)) {
        progress.interrupt();
        reportError(err);
        return EXIT_FAILURE_RUN;
    }
    module.unload();
    char summary[512];
    snprintf(summary, sizeof summary, "%lld frame%s %s in %.1f s (%.1f fps) -> %s", (long long)done,
             done == 1 ? "" : "s", sizeText(info.width, info.height).c_str(), progress.seconds(), progress.fps(),
             output.c_str());
    progress.finish(summary);
    return EXIT_OK;
}
