// Plays inputs through the fuzz target without the fuzzing engine: every file
// named on the command line, and every file in every directory named, in
// name order. The regular build runs the seed corpus this way, with the
// sanitizers when the build has them.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool readFile(const std::string &path, std::vector<uint8_t> &out)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    uint8_t buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + got);
    const bool ok = !ferror(f);
    fclose(f);
    return ok;
}

void collect(const std::string &path, std::vector<std::string> &files)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        files.push_back(path);  // reported as unreadable below
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        files.push_back(path);
        return;
    }
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (const dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(path + "/" + e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    files.insert(files.end(), names.begin(), names.end());
}

}  // namespace

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++)
        collect(argv[i], files);
    if (files.empty()) {
        fprintf(stderr, "usage: %s INPUT|DIRECTORY...\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> data;
    for (const std::string &f : files) {
        if (!readFile(f, data)) {
            fprintf(stderr, "cannot read %s\n", f.c_str());
            return 1;
        }
        const auto t0 = std::chrono::steady_clock::now();
        LLVMFuzzerTestOneInput(data.data(), data.size());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        printf("%s (%u bytes): %.3f s\n", f.c_str(), (unsigned)data.size(), took.count());
        fflush(stdout);
    }
    printf("%u inputs played\n", (unsigned)files.size());
    return 0;
}
