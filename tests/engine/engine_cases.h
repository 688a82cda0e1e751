// Engine test cases shared by the GoogleTest suite and the self-checking
// executable that runs under Wine (GoogleTest is not built for MinGW). Cases
// report through a Check; nothing here depends on a test framework.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/dsp.h"

namespace enginecases {

// Collects results; every failure goes to `onFailure` with a readable text.
class Check {
public:
    explicit Check(std::function<void(const std::string &)> onFailure) : onFailure_(std::move(onFailure)) {}
    // True when equal; otherwise reports "what: expected E, got A".
    bool eq(long long expected, long long actual, const std::string &what);
    bool that(bool ok, const std::string &what);
    int passed() const { return passed_; }
    int failed() const { return failed_; }

private:
    std::function<void(const std::string &)> onFailure_;
    int passed_ = 0;
    int failed_ = 0;
};

// One implementation of a kernel and the level it needs.
template <typename Fn>
struct Variant {
    const char *name;
    Fn fn;
    CpuLevel level;
};

// Every variant built into this binary whose level the CPU supports, the
// scalar reference first.
std::vector<Variant<unpack_row_fn>> unpackVariants();
std::vector<Variant<pack_row_fn>> packVariants();
std::vector<Variant<analyse_row_fn>> analyseVariants();
std::vector<Variant<synthesise_row_fn>> synthesiseVariants();
std::vector<Variant<correlate_row_fn>> correlateVariants();

// Sweep sizes: Full for the native suite, Quick for the emulated one.
enum class Sweep { Quick, Full };

// Worked examples and edge cases, against one dispatch table.
void tableExamples(Check &check);
void tableLifecycle(Check &check);
void planarExamples(Check &check, const EngineDsp &dsp);
void analysisExamples(Check &check, const EngineDsp &dsp);
void synthesisExamples(Check &check, const EngineDsp &dsp);
void correlationExamples(Check &check, const EngineDsp &dsp);

// Randomised comparisons of one variant with the reference over widths,
// counts and contents, with guard zones around every output and inputs
// ending at an inaccessible page.
void crossCheckUnpack(Check &check, unpack_row_fn fn, Sweep sweep);
void crossCheckPack(Check &check, pack_row_fn fn, Sweep sweep);
void crossCheckAnalyse(Check &check, analyse_row_fn fn, Sweep sweep);
void crossCheckSynthesise(Check &check, synthesise_row_fn fn, Sweep sweep);
void crossCheckCorrelate(Check &check, correlate_row_fn fn, Sweep sweep);

}  // namespace enginecases
