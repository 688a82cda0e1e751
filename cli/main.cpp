// quorvel: a command-line host for the filter modules.
#include <stdio.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "cli/commands.h"
#include "cli/output_target.h"
#include "engine/dsp.h"

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "0"
#endif

int main(int argc, char **argv)
{
    av_log_set_level(AV_LOG_ERROR);
    Options o;
    std::string err;
    if (!parseOptions(argc, argv, o, err)) {
        reportError(err);
        return EXIT_USAGE;
    }
    switch (o.command) {
    case CMD_HELP: fputs(usageText(), stdout); return EXIT_OK;
    case CMD_VERSION: {
        const CpuLevel have = cpuDetect();
        const CpuLevel cap = o.cpu.empty() ? cpuCapFromEnv() : (CpuLevel)cpuLevelFromName(o.cpu.c_str());
        printf("quorvel %s\n", QUORVEL_VERSION);
        printf("instruction set: %s (this CPU: %s%s)\n", cpuLevelName(cap < have ? cap : have), cpuLevelName(have),
               cap < have ? ", capped" : "");
        printf("libavformat %s, libavcodec %s\n", AV_STRINGIFY(LIBAVFORMAT_VERSION), AV_STRINGIFY(LIBAVCODEC_VERSION));
        return EXIT_OK;
    }
    default: break;
    }
    setOverwritePolicy(o.overwrite == 'y'   ? OverwritePolicy::ALWAYS
                       : o.overwrite == 'n' ? OverwritePolicy::NEVER
                                            : OverwritePolicy::ASK);
    installInterruptHandlers();
    // FFmpeg's own messages stay down unless asked for; ours say what failed.
    if (o.verbose)
        av_log_set_level(AV_LOG_WARNING);
    switch (o.command) {
    case CMD_ANALYSE: return runAnalyse(o);
    case CMD_SAMPLE: return runSample(o);
    case CMD_COMPARE: return runCompare(o);
    default: return runProcess(o);
    }
}
