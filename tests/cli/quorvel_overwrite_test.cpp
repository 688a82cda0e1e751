// An existing OUTPUT is overwritten with -y only: -n keeps it, and without
// either quorvel refuses when there is no terminal to ask on.
#include <gtest/gtest.h>

#include <string>

#include "tests/cli/e2e_fixture.h"

namespace {

using namespace quorvel_e2e;

TEST_F(QuorvelEndToEnd, ExistingOutputIsOverwrittenOnlyWithYes)
{
    ffmpeg("-f lavfi -i testsrc2=size=48x16 -frames:v 1 in.png");
    const std::string kept = "not a picture";
    std::ofstream(path("out.png"), std::ios::binary) << kept;

    Result r = quorvel("--quiet --notch in.png out.png");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("-y"), std::string::npos) << r.output;
    EXPECT_EQ(readFile(path("out.png")), kept);

    r = quorvel("--quiet -n --notch in.png out.png");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("not overwritten"), std::string::npos) << r.output;
    EXPECT_EQ(readFile(path("out.png")), kept);

    r = quorvel("--quiet -y --notch in.png out.png");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(readFile(path("out.png")).compare(1, 3, "PNG"), 0);

    EXPECT_NE(quorvel("-y -n in.png other.png").status, 0);
}

}  // namespace
