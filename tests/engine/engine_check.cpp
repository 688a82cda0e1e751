// Self-checking run of the engine cases without a test framework, for the
// 32-bit Windows build under Wine (and natively alike): the worked examples at
// every dispatch level the CPU offers and every variant against the
// reference. Last line: "N passed, N failed"; exit status 1 on any failure.
#include <stdio.h>

#include "engine/dsp.h"
#include "tests/engine/engine_cases.h"

using namespace enginecases;

namespace {

int passed = 0, failed = 0, printed = 0;

template <typename Body>
void run(const std::string &name, Body body)
{
    Check check([&](const std::string &message) {
        if (printed++ < 100)
            printf("FAIL %s: %s\n", name.c_str(), message.c_str());
    });
    body(check);
    printf("%-48s %6d checks, %d failed\n", name.c_str(), check.passed() + check.failed(), check.failed());
    fflush(stdout);
    passed += check.passed();
    failed += check.failed();
}

template <typename Fn, typename CrossCheck>
void crossCheckAll(const std::vector<Variant<Fn>> &variants, CrossCheck crossCheck)
{
    for (const auto &v : variants)
        if (v.level > CPU_SCALAR)
            run(std::string(v.name) + " vs reference", [&](Check &c) { crossCheck(c, v.fn, Sweep::Quick); });
}

}  // namespace

int main()
{
    printf("CPU level: %s\n", cpuLevelName(cpuDetect()));
    run("tables: worked examples", tableExamples);
    run("tables: build failure and free", tableLifecycle);
    for (int l = CPU_SCALAR; l <= cpuDetect(); l++) {
        EngineDsp dsp;
        engineDspInit(&dsp, (CpuLevel)l);
        const std::string level = cpuLevelName((CpuLevel)l);
        run(level + ": planar examples", [&](Check &c) { planarExamples(c, dsp); });
        run(level + ": analysis examples", [&](Check &c) { analysisExamples(c, dsp); });
        run(level + ": synthesis examples", [&](Check &c) { synthesisExamples(c, dsp); });
        run(level + ": correlation examples", [&](Check &c) { correlationExamples(c, dsp); });
    }
    crossCheckAll(unpackVariants(), crossCheckUnpack);
    crossCheckAll(packVariants(), crossCheckPack);
    crossCheckAll(analyseVariants(), crossCheckAnalyse);
    crossCheckAll(synthesiseVariants(), crossCheckSynthesise);
    crossCheckAll(correlateVariants(), crossCheckCorrelate);
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
