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
    // Also a weak one low down, told, where the picture's own detail at its
    // frequency is strong and only the averaging along the drift tells them
    // apart.
    const struct {
        const char *plant, *run;
    } cases[] = {{"--tone-frequency 52.37 --tone-amplitude 7", "--tone auto"},
                 {"--tone-frequency 12.6 --tone-amplitude 3 --flicker 0", "--tone 12.6"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.plant);
        ASSERT_EQ(quorvel(std::string("sample --quiet --frames 3 --pix-fmt yuv420p ") + c.plant +
                          " --clean clean.mkv dirty.mkv")
                      .status,
                  0);
        const Result r = quorvel(std::string("--quiet ") + c.run + " dirty.mkv cleaned.mkv");
        ASSERT_EQ(r.status, 0) << r.output;
        const double before = lumaPsnr("clean.mkv", "dirty.mkv"), after = lumaPsnr("clean.mkv", "cleaned.mkv");
        EXPECT_GT(after, before + 6.0) << before << " -> " << after;
        for (const char *file : {"clean.mkv", "dirty.mkv", "cleaned.mkv"})
            remove(file);
    }
}

TEST_F(QuorvelChain, ToneRemoverLeavesWhatAnRgbSourceClippedAtItsLimit)
{
    // A white box and a black one on the sample scene; the tone planted in R,
    // G and B clips in both.
    ASSERT_EQ(quorvel("sample --quiet --frames 1 --clean clean_%02d.png junk_%02d.png").status, 0);
    ffmpeg("-i clean_01.png -vf drawbox=x=100:y=80:w=200:h=300:color=white:t=fill,"
           "drawbox=x=400:y=80:w=200:h=300:color=black:t=fill,format=rgb24 box.png");
    const std::string e = "clip(floor(SRC(X,Y)+6*cos(2*PI*(52.37*X/W+0.37*Y))+0.5),0,255)";
    std::string vf = "format=gbrp,geq=r='" + e + "':g='" + e + "':b='" + e + "',format=rgb24";
    for (const char *c : {"r", "g", "b"})
        vf.replace(vf.find("SRC"), 3, c);
    ffmpeg("-i box.png -vf \"" + vf + "\" dirty.png");
    const Result r = quorvel("--quiet --tone 52.37 dirty.png out.png");
    ASSERT_EQ(r.status, 0) << r.output;
    const Picture dirty = readRgb("dirty.png", 720, 576), out = readRgb("out.png", 720, 576);
    size_t clipped = 0;
    for (size_t i = 0; i < dirty.rgb.size(); i++)
        if (dirty.rgb[i] == 0 || dirty.rgb[i] == 255) {
            clipped++;
            ASSERT_EQ(out.rgb[i], dirty.rgb[i]) << "sample " << i;
        }
    EXPECT_GT(clipped, (size_t)60000);
    auto psnr = [&](const char *file) {
        const Result c = quorvel(std::string("compare --json box.png ") + file);
        const size_t at = c.output.find("\"psnr\": ");
        return at == std::string::npos ? 0.0 : strtod(c.output.c_str() + at + 8, nullptr);
    };
    const double before = psnr("dirty.png"), after = psnr("out.png");
    EXPECT_GT(after, before + 12.0) << before << " -> " << after;
}

TEST_F(QuorvelChain, ChainEqualsTheTwoModulesOneAfterTheOther)
{
    // Three frames, so the tone estimate's smoothing and the temporal DC
    // history of the second module both carry over from frame to frame.
    ASSERT_EQ(quorvel("sample --quiet --frames 3 --tone-frequency 52.37 --tone-frequency 113.6 in_%02d.png").status, 0);
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

TEST_F(QuorvelChain, FieldsEqualTheSeparatedFieldsFilteredByHand)
{
    // An odd height, so the top field has a row more than the bottom one;
    // the temporal DC history must stay within each field's own instances.
    ASSERT_EQ(quorvel("sample --quiet --frames 3 --tone-frequency 30.4 s_%02d.png").status, 0);
    ffmpeg("-i s_%02d.png -vf crop=200:61:100:200 in_%02d.png");
    const int w = 200, h = 61, frames = 3;
    const std::string settings = "--tone auto --dc-average --temporal ";
    const std::vector<Picture> in = readSequence("in_%02d.png", frames, w, h);
    for (int i = 0; i < frames; i++)
        for (int field = 0; field < 2; field++) {
            Picture p{w, (h + 1 - field) / 2, {}};
            for (int y = field; y < h; y += 2)
                p.rgb.insert(p.rgb.end(), in[(size_t)i].rgb.begin() + (size_t)y * w * 3,
                             in[(size_t)i].rgb.begin() + (size_t)(y + 1) * w * 3);
            writePng(numbered(field ? "bottom_%02d.png" : "top_%02d.png", i + 1), p);
        }
    for (const char *field : {"top", "bottom"}) {
        const Result r = quorvel("--quiet " + settings + field + "_%02d.png " + field + "_out_%02d.png");
        ASSERT_EQ(r.status, 0) << r.output;
    }
    const std::vector<Picture> top = readSequence("top_out_%02d.png", frames, w, (h + 1) / 2),
                               bottom = readSequence("bottom_out_%02d.png", frames, w, h / 2);
    Result r = quorvel("--quiet " + settings + "in_%02d.png progressive_%02d.png");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<Picture> progressive = readSequence("progressive_%02d.png", frames, w, h);
    for (const char *order : {"tff", "bff"}) {
        SCOPED_TRACE(order);
        r = quorvel(std::string("-y --quiet --fields ") + order + " " + settings + "in_%02d.png out_%02d.png");
        ASSERT_EQ(r.status, 0) << r.output;
        const std::vector<Picture> out = readSequence("out_%02d.png", frames, w, h);
        for (size_t i = 0; i < (size_t)frames; i++) {
            std::vector<uint8_t> woven;
            for (int y = 0; y < h; y++) {
                const Picture &f = y % 2 ? bottom[i] : top[i];
                const auto row = f.rgb.begin() + (size_t)(y / 2) * w * 3;
                woven.insert(woven.end(), row, row + w * 3);
            }
            EXPECT_TRUE(out[i].rgb == woven) << "frame " << i;
            EXPECT_FALSE(out[i].rgb == progressive[i].rgb) << "frame " << i;
        }
    }
}

}  // namespace
