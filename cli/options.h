// The command line of quorvel.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "cli/sample.h"
#include "hosting/dialog.h"

enum Command { CMD_PROCESS, CMD_ANALYSE, CMD_SAMPLE, CMD_COMPARE, CMD_HELP, CMD_VERSION };

struct Options {
    Command command = CMD_PROCESS;
    std::vector<std::string> paths;  // positional arguments
    // processing
    std::string module = "zelt_lpf";
    std::vector<DialogAction> dialog;  // settings, in the order given
    // zelt_tone's dialog; when not empty the tone module runs first, then
    // `module` when it has settings of its own
    std::vector<DialogAction> toneDialog;
    char fields = 0;  // 't' or 'b': the first field in time; 0: progressive
    std::string codec, pixFmt;
    int64_t frames = -1;  // -1: all
    std::string cpu;      // instruction-set cap; empty: none
    bool quiet = false;
    bool verbose = false;
    bool serial = false;  // no decoding and encoding threads
    char overwrite = 0;   // 'y' (-y), 'n' (-n), or 0: ask on a terminal
    // analyse, compare
    bool json = false;
    int peaks = 8;
    std::string plot, against;  // analyse: a PNG of the spectra; a cleaned file drawn over
    // sample
    std::string clean;
    SampleInterference sample;
};

// Parse argv[1..]. False with a message in `err` for anything unknown or
// malformed; nothing is opened or written here.
bool parseOptions(int argc, char **argv, Options &opts, std::string &err);

// Strict whole numbers and reals: the entire text, within the int range.
bool parseInt(const std::string &text, int &value);
bool parseReal(const std::string &text, double &value);

const char *usageText();
