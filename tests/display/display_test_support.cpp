#include "tests/display/display_test_support.h"

#include <stdio.h>

namespace display_test {

bool writePpm(const TestFrame &f, const char *path)
{
    FILE *out = fopen(path, "wb");
    if (!out)
        return false;
    fprintf(out, "P6\n%d %d\n255\n", f.w(), f.h());
    std::vector<uint8_t> line(3 * (size_t)f.w());
    for (int y = f.h() - 1; y >= 0; y--) {
        for (int x = 0; x < f.w(); x++) {
            const uint32_t px = f.at(x, y);
            line[3 * x] = (uint8_t)(px >> 16);
            line[3 * x + 1] = (uint8_t)(px >> 8);
            line[3 * x + 2] = (uint8_t)px;
        }
        fwrite(line.data(), 1, line.size(), out);
    }
    return fclose(out) == 0;
}

}  // namespace display_test
