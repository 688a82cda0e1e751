// The part of a case runner that does not depend on the platform: it plays
// the editor towards one module over a case list (configure through the
// dialog, start, one run per frame, end) and writes the destination frames
// and one line of statuses per case. The platform part (CaseHost) loads the
// module through the hosting library in the platform's way, and drives its
// dialog.
#pragma once

#include <stdint.h>

#include <string>

#include "abi/vdfilter.h"
#include "hosting/module.h"
#include "tests/runner/case_files.h"

class CaseHost {
public:
    virtual ~CaseHost() = default;
    // Loads the module and registers its filter, from the module's defaults
    // (a case that asks for a fresh module closes and opens it again); false
    // and a message on failure.
    virtual bool open(std::string *error) = 0;
    // Gives the filter back and unmaps the module.
    virtual void close() = 0;
    // The registered module, whose callbacks the runner calls.
    virtual LoadedModule &module() = 0;
    // configProc with the dialog played by a user who first reads what the
    // dialog shows (into `shown`, see showDialogText), then enters `entries`
    // and presses OK; returns configProc's status. What the user could not do
    // goes into `problem`.
    virtual int configure(FilterActivation *fa, const DialogEntries &entries, std::string *shown,
                          std::string *problem) = 0;
};

// The controls a user reads and sets, in this order.
extern const int kDialogEdits[6];  // 1001, 1009, 1007, 1008, 1010, 1011
extern const int kDialogBoxes[5];  // 1002, 1005, 1006, 1012, 1013
enum { kDialogEstimate = 1003 };   // read-only
// The texts of `entries` in the order of kDialogEdits, and its boxes.
void dialogTexts(const DialogEntries &entries, const std::string *texts[6], bool boxes[5]);
// What the dialog showed, as one word for the results: the edit texts of
// kDialogEdits and the estimate separated by '|', then the boxes as 0/1.
std::string showDialogText(const std::string edits[6], const std::string &estimate, const int boxes[5]);

// Runs every case of `listPath` (source paths relative to the list) and
// writes outputs and results.txt into `outDir`. Returns 0, or 1 when the list
// cannot be read or a case could not be run as asked.
int runCases(CaseHost &host, const std::string &listPath, const std::string &outDir);

// Creates a directory (its parent must exist); true when it exists afterwards.
bool makeDirectory(const std::string &path);

// The command line common to both runners:
//   plan DIR                        write the matrix into DIR
//   run MODULE LIST OUTDIR          run a list through MODULE
//   compare LIST DIR_A [DIR_B]      compare outputs (see compareOutputs)
// `makeHost` builds the platform's host for a module path.
int caseRunnerMain(int argc, char **argv, CaseHost *(*makeHost)(const char *module));
