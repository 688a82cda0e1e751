// quorvel running more than one module instance: the tone remover before the
// transform module, and interlaced frames with a chain per field. Each is
// checked against the same work done by hand with plain single-module runs.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "tests/cli/e2e_fixture.h"

namespace {

using namespace quorvel_e2e;

std::string numbered(const char *pattern, int i)
{
    char name[64];
    snprintf(name, sizeof name, pattern, i);
    return name;
}

class QuorvelChain : public QuorvelEndToEnd {
protected:
    // The Y plane's PSNR of `file` against `reference`, from compare --json.
    double lumaPsnr(const std::string &reference, const std::string &file) const
    {
        const Result r = quorvel("compare --json " + reference + " " + file);
        EXPECT_EQ(r.status, 0) << r.output;
        const std::string key = "\"plane\": \"Y\", \"plane_mse\": ";
        const size_t at = r.output.find(key);
        EXPECT_NE(at, std::string::npos) << r.output;
        if (at == std::string::npos)
            return 0;
        const size_t psnr = r.output.find("\"plane_psnr\": ", at);
        return strtod(r.output.c_str() + psnr + 14, nullptr);
    }
    std::vector<Picture> readSequence(const char *pattern, int frames, int w, int h) const
    {
        std::vector<Picture> out;
        for (int i = 1; i <= frames; i++)
            out.push_back(readRgb(numbered(pattern, i), w, h));
        return out;
    }
};

TEST_F(QuorvelChain, ToneRemoverCleansADriftingToneOnTheSourceSamples)
{
    // A tone between harmonics, drifting from row to row and frame to frame;
    // a YUV clip, so the change reaches the output through the correction.
    ASSERT_EQ(quorvel("sample --quiet --frames 3 --pix-fmt yuv420p --tone-frequency 52.37 --tone-amplitude 7 "
                      "--clean clean.mkv dirty.mkv")
                  .status,
              0);
    const Result r = quorvel("--quiet --tone auto dirty.mkv cleaned.mkv");
    ASSERT_EQ(r.status, 0) << r.output;
    const double before = lumaPsnr("clean.mkv", "dirty.mkv"), after = lumaPsnr("clean.mkv", "cleaned.mkv");
    EXPECT_GT(after, before + 6.0) << before << " -> " << after;
}

TEST_F(QuorvelChain, ChainEqualsTheTwoModulesOneAfterTheOther)
{
    // Three frames, so the tone estimate's smoothing and the temporal DC
    // history of the second module both carry over from frame to frame.
    ASSERT_EQ(quorvel("sample --quiet --frames 3 --tone-frequency 52.37 --tone-frequency 113.6 in_%02d.png").status,
              0);
    const std::string tone = "--tone auto --tone-count 2 ";
    const std::string transform = "--notch --min-harmonic 112 --max-harmonic 113 --dc-average --temporal ";
    Result r = quorvel("--quiet " + tone + "in_%02d.png mid_%02d.png");
    ASSERT_EQ(r.status, 0) << r.output;
    r = quorvel("--quiet " + transform + "mid_%02d.png hand_%02d.png");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Picture> hand = readSequence("hand_%02d.png", 3, 720, 576),
                               in = readSequence("in_%02d.png", 3, 720, 576);
    for (const char *run : {"", "--serial "}) {
        SCOPED_TRACE(run);
        r = quorvel(std::string("-y --quiet ") + run + tone + transform + "in_%02d.png chain_%02d.png");
        ASSERT_EQ(r.status, 0) << r.output;
        const std::vector<Picture> chain = readSequence("chain_%02d.png", 3, 720, 576);
        for (size_t i = 0; i < 3; i++) {
            EXPECT_TRUE(chain[i].rgb == hand[i].rgb) << "frame " << i;
            EXPECT_FALSE(chain[i].rgb == in[i].rgb) << "frame " << i;
        }
    }
}

}  // namespace
