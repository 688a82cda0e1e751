// quorvel's command line with any argument vector: the input split at its
// zero bytes, at most 64 arguments after the program's name. parseOptions
// opens and writes nothing, so the target runs it as it stands.
//
// Checked: a refusal says why; the same vector parses to the same result
// twice; an accepted one is complete for its command (its number of file
// names, none empty; counts from 1; a known instruction-set name; a module
// name; each dialog control entered once, the last option for it winning).
#include <stdint.h>
#include <stdio.h>

#include <set>
#include <string>
#include <vector>

#include "cli/options.h"
#include "engine/dsp.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

const size_t MAX_ARGS = 64;

[[noreturn]] void fail(const char *what)
{
    fuzz::fail("options_fuzz", what);
}

bool sameOptions(const Options &a, const Options &b)
{
    if (a.dialog.size() != b.dialog.size())
        return false;
    for (size_t i = 0; i < a.dialog.size(); i++) {
        const DialogAction &x = a.dialog[i], &y = b.dialog[i];
        if (x.id != y.id || x.isCheck != y.isCheck || x.checked != y.checked || x.text != y.text)
            return false;
    }
    return a.command == b.command && a.paths == b.paths && a.module == b.module && a.codec == b.codec &&
           a.pixFmt == b.pixFmt && a.frames == b.frames && a.cpu == b.cpu && a.quiet == b.quiet &&
           a.verbose == b.verbose && a.serial == b.serial && a.overwrite == b.overwrite && a.json == b.json &&
           a.peaks == b.peaks && a.clean == b.clean;
}

bool parse(std::vector<std::string> args, Options &o, std::string &err)
{
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return parseOptions((int)args.size(), argv.data(), o, err);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> args{"quorvel"};
    std::string current;
    for (size_t i = 0; i < size && args.size() <= MAX_ARGS; i++) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back((char)data[i]);
        }
    }
    if (!current.empty() && args.size() <= MAX_ARGS)
        args.push_back(current);

    Options first, again;
    std::string err, errAgain;
    const bool ok = parse(args, first, err);
    if (parse(args, again, errAgain) != ok || err != errAgain || !sameOptions(first, again))
        fail("the same arguments parsed differently");
    if (!ok) {
        if (err.empty())
            fail("a refusal without a reason");
        return 0;
    }
    const Options &o = first;
    if (o.command == CMD_HELP || o.command == CMD_VERSION)
        return 0;
    const size_t names = o.command == CMD_PROCESS || o.command == CMD_COMPARE ? 2 : 1;
    if (o.paths.size() != names)
        fail("accepted with the wrong number of file names");
    for (const std::string &p : o.paths)
        if (p.empty())
            fail("accepted an empty file name");
    if ((o.frames != -1 && o.frames < 1) || o.peaks < 1)
        fail("accepted a count below 1");
    if (!o.cpu.empty() && cpuLevelFromName(o.cpu.c_str()) < 0)
        fail("accepted an unknown instruction set");
    if (o.module.empty())
        fail("accepted an empty module name");
    std::set<int> controls;
    for (const DialogAction &a : o.dialog)
        if (!controls.insert(a.id).second)
            fail("a dialog control entered twice");
    if (!o.dialog.empty() && o.command != CMD_PROCESS)
        fail("filter settings accepted outside processing");
    return 0;
}
