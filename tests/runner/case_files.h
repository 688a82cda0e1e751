// Case lists and frame files shared by the two case runners: the Win32 one
// that drives a .vdf under Wine (tests/win32/vdf_runner.cpp) and its native
// twin that drives the .so (tests/runner/native_runner.cpp). Both read the
// same list and the same source frames and write their destination frames in
// the same format, so that the two builds can be compared byte for byte.
//
// Frame file: a 16-byte header, then the frames, each h rows of 4 x w bytes
// in memory order (row 0 first: the bottom picture row), no padding:
//     "ZFRM"  uint32 w  uint32 h  uint32 frame count     (little-endian)
//
// Case list: one case per line, `#` starts a comment; a line is the case
// name followed by key=value words (no spaces inside a value):
//     src=FILE      source frames, relative to the list (one run over all)
//     out=FILE      where the destination frames go, relative to the output
//                   directory of the runner
//     pad=BYTES     bytes after each row (pitch = 4 x w + pad); default 0
//     limit=W       source width the dialog sees when it opens (the bound of
//                   the harmonics number on OK); default the frame width
//     fresh=1       unload and load the module before the case: the module
//                   starts from its defaults (and without a DC history)
//     same=CASE     the output must equal that earlier case's, byte for byte
//   dialog, each set as a user would before OK (texts as typed):
//     harmonics= min= main= max= aggression= rejection=   edits
//     display= notch= dc= temporal= full=                 check boxes, 0/1
//   Unnamed edits keep the default text, unnamed boxes stay unticked.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct FrameSet {
    int w = 0, h = 0;
    std::vector<std::vector<uint8_t>> frames;  // h x 4w bytes each
};

bool readFrameSet(const std::string &path, FrameSet *out, std::string *error);
bool writeFrameSet(const std::string &path, const FrameSet &frames, std::string *error);

// What the user enters in the dialog.
struct DialogEntries {
    std::string harmonics = "10";    // 1001
    std::string minHarmonic = "1";   // 1009
    std::string mainHarmonic = "1";  // 1007
    std::string maxHarmonic = "1";   // 1008
    std::string aggression = "1.";   // 1010
    std::string rejection = "20";    // 1011
    bool display = false;            // 1002
    bool notch = false;              // 1005
    bool full = false;               // 1006
    bool dc = false;                 // 1012
    bool temporal = false;           // 1013
};

struct RunCase {
    std::string name;
    std::string source;
    std::string output;
    int pad = 0;
    int limit = -1;
    bool fresh = false;
    std::string same;
    DialogEntries dialog;
};

bool readCaseList(const std::string &path, std::vector<RunCase> *cases, std::string *error);
std::string formatCase(const RunCase &c);

// The directory part of a path ("" or ending in a separator).
std::string directoryOf(const std::string &path);

// Writes the comparison matrix into `dir` (which must exist): source frames
// under frames/, the case lists matrix.txt (one module run) and timing.txt
// (full processing with the timing log).
bool planCases(const std::string &dir, std::string *error);

// Compares the outputs of one list: those of `dirA` against those of `dirB`
// (every case's frames and its line in results.txt), and within each
// directory every case against the case it names with same=. Prints each
// difference with its first differing byte. Returns 0 when all agree, 1 on a
// difference, 77 when a run was skipped (a SKIPPED file in a directory).
int compareOutputs(const std::string &listPath, const std::string &dirA, const std::string &dirB);
