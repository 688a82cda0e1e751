// quorvel end to end: the built binary on small media made at test time,
// checked against the module run directly on the same bitmaps and against
// what the ffmpeg tools read back.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "hosting/module.h"
#include "cli/plot.h"
#include "cli/sample.h"
#include "tests/cli/e2e_fixture.h"

namespace fs = std::filesystem;

namespace {

using namespace quorvel_e2e;

// The numbers in a text, in order (ffprobe may add empty fields).
std::vector<std::string> numbers(const std::string &text)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : text + " ") {
        if (isdigit((unsigned char)c) || (c == '.' && !cur.empty())) {
            cur += c;
        } else if (!cur.empty()) {
            out.push_back(cur);
            cur.clear();
        }
    }
    return out;
}

// The numbers that follow each occurrence of `key` in a JSON text.
std::vector<double> jsonValues(const std::string &json, const std::string &key)
{
    std::vector<double> out;
    const std::string needle = "\"" + key + "\": ";
    for (size_t at = json.find(needle); at != std::string::npos; at = json.find(needle, at + 1))
        out.push_back(strtod(json.c_str() + at + needle.size(), nullptr));
    return out;
}

// Gradient, a tone at harmonic 10 with a drifting phase, noise, and a bright
// band that meets the 0..255 limits.
Picture testPicture(int w, int h, unsigned seed, int level = 0)
{
    std::mt19937 rng(seed);
    Picture p{w, h, std::vector<uint8_t>((size_t)w * h * 3)};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) {
                double v = 40 + level + 120.0 * x / w + 30 * c + 25 * cos(2 * M_PI * 10 * x / w + 0.7 * y) +
                           (double)(rng() % 9) - 4;
                if (y % 13 == 5)
                    v += 120;
                p.rgb[(size_t)(y * w + x) * 3 + c] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    return p;
}

DialogAction text(int id, const std::string &t)
{
    return DialogAction{id, false, false, t};
}

DialogAction tick(int id)
{
    return DialogAction{id, true, true, std::string()};
}

struct Combination {
    const char *args;
    std::vector<DialogAction> actions;
};

std::vector<Combination> stageCombinations()
{
    const std::vector<DialogAction> band = {tick(1005), text(1009, "9"), text(1008, "12")};
    const std::vector<DialogAction> full = {tick(1006), text(1001, "60")};
    auto join = [](std::vector<std::vector<DialogAction>> parts) {
        std::vector<DialogAction> all;
        for (auto &p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    return {
        {"", {}},
        {"--notch --min-harmonic 9 --max-harmonic 12", band},
        {"--dc-average", {tick(1012)}},
        {"--full --harmonics 60", full},
        {"--notch --min-harmonic 9 --max-harmonic 12 --dc-average", join({band, {tick(1012)}})},
        {"--notch --min-harmonic 9 --max-harmonic 12 --full --harmonics 60", join({band, full})},
        {"--dc-average --temporal --full --harmonics 60", join({{tick(1012), tick(1013)}, full})},
        {"--notch --min-harmonic 9 --max-harmonic 12 --dc-average --full --harmonics 60",
         join({band, {tick(1012)}, full})},
        {"--display-spectrum --harmonics 60", {tick(1002), text(1001, "60")}},
    };
}

TEST_F(QuorvelEndToEnd, PngThroughEveryStageCombinationGivesTheModulesBytes)
{
    // 150 pixels: rows of 600 bytes in a 640-byte pitch.
    const Picture in = testPicture(150, 40, 1);
    writePng("in.png", in);
    for (const char *module : {"zelt_lpf", "zelt"}) {
        for (const Combination &c : stageCombinations()) {
            SCOPED_TRACE(std::string(module) + " " + c.args);
            const Result r = quorvel(std::string("--quiet --module ") + module + " " + c.args + " in.png out.png");
            ASSERT_EQ(r.status, 0) << r.output;
            const Picture got = readRgb("out.png", in.w, in.h);
            const Picture want = direct(module, c.actions, {in})[0];
            ASSERT_EQ(got.rgb.size(), want.rgb.size());
            EXPECT_TRUE(got.rgb == want.rgb);
            unlink(path("out.png").c_str());
        }
    }
}

TEST_F(QuorvelEndToEnd, InstructionSetCapKeepsTheBytes)
{
    const Picture in = testPicture(150, 40, 2);
    writePng("in.png", in);
    const std::string args =
        "-y --quiet --notch --min-harmonic 9 --max-harmonic 12 --dc-average --full --harmonics 60 ";
    ASSERT_EQ(quorvel(args + "in.png ref.png").status, 0);
    const Picture ref = readRgb("ref.png", in.w, in.h);
    for (const char *cpu : {"scalar", "mmx", "sse2", "avx2", "avx512"}) {
        const Result r = quorvel(args + "--cpu " + cpu + " in.png capped.png");
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(readRgb("capped.png", in.w, in.h).rgb == ref.rgb) << cpu;
    }
}

TEST_F(QuorvelEndToEnd, ImageSequenceThroughTemporalDcAverageKeepsFrameOrder)
{
    std::vector<Picture> frames;
    for (int i = 0; i < 4; i++) {
        frames.push_back(testPicture(96, 30, 10 + i, 20 * i));
        char name[32];
        snprintf(name, sizeof name, "in_%03d.png", i + 1);
        writePng(name, frames.back());
    }
    const Result r = quorvel("--quiet --dc-average --temporal in_%03d.png out_%03d.png");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<DialogAction> dc = {tick(1012), tick(1013)};
    const std::vector<Picture> want = direct("zelt_lpf", dc, frames);
    for (int i = 0; i < 4; i++) {
        char name[32];
        snprintf(name, sizeof name, "out_%03d.png", i + 1);
        EXPECT_TRUE(readRgb(name, 96, 30).rgb == want[(size_t)i].rgb) << name;
    }
    EXPECT_FALSE(fs::exists(path("out_005.png")));
    // The history makes order matter: the same frames reversed end differently.
    std::vector<Picture> reversed(frames.rbegin(), frames.rend());
    EXPECT_FALSE(direct("zelt_lpf", dc, reversed)[3].rgb == want[0].rgb);
}

TEST_F(QuorvelEndToEnd, VideoKeepsFrameCountRateTimestampsAndAudio)
{
    struct Case {
        const char *input, *audioCodec, *output;
    };
    for (const Case &c : {Case{"in.mkv", "flac", "out.mkv"}, Case{"in2.mkv", "aac", "out.mp4"},
                          Case{"in3.avi", "pcm_s16le", "out.avi"}}) {
        SCOPED_TRACE(c.output);
        ffmpeg(std::string("-f lavfi -i testsrc2=size=160x90:rate=30000/1001 -f lavfi -i sine=frequency=440:"
                           "sample_rate=48000 -t 1 -c:v ffv1 -pix_fmt bgr0 -c:a ") +
               c.audioCodec + " " + c.input);
        const Result r = quorvel(std::string("--notch --min-harmonic 3 --max-harmonic 5 ") + c.input + " " + c.output);
        ASSERT_EQ(r.status, 0) << r.output;
        const std::string video = " -select_streams v:0 -count_frames -show_entries stream=nb_read_frames,r_frame_rate"
                                  " -of csv=p=0 ";
        EXPECT_EQ(ffprobe(video + c.output), ffprobe(video + c.input));
        EXPECT_NE(ffprobe(video + c.output).find("30000/1001,30"), std::string::npos);
        const std::string times = " -select_streams v:0 -show_entries frame=pts_time -of csv=p=0 ";
        EXPECT_EQ(numbers(ffprobe(times + c.output)), numbers(ffprobe(times + c.input)));
        EXPECT_EQ(numbers(ffprobe(times + c.output)).size(), 30u);
        const std::string audio = " -select_streams a -count_packets -show_entries stream=codec_name,nb_read_packets"
                                  " -of csv=p=0 ";
        EXPECT_EQ(ffprobe(audio + c.output), ffprobe(audio + c.input));
        EXPECT_NE(ffprobe(audio + c.output).find(c.audioCodec), std::string::npos);
    }
    // Lossless by default: a copy through the module decodes to the same pixels.
    ASSERT_EQ(quorvel("--quiet in.mkv copy.mkv").status, 0);
    const std::string frames = " -f rawvideo -pix_fmt rgb24 ";
    ffmpeg("-i in.mkv" + frames + "a.rgb");
    ffmpeg("-i copy.mkv" + frames + "b.rgb");
    EXPECT_TRUE(readFile(path("a.rgb")) == readFile(path("b.rgb")));
    EXPECT_EQ(readFile(path("a.rgb")).size(), (size_t)160 * 90 * 3 * 30);
}

// YUV targets: written in the container's own terms; a second pass keeps
// the YUV samples, and one through RGB comes back to within rounding.
TEST_F(QuorvelEndToEnd, YuvTargetsAreWrittenAndStable)
{
    ffmpeg("-f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 4 -c:v ffv1 -pix_fmt bgr0 in.mkv");
    ASSERT_EQ(quorvel("--quiet in.mkv once.y4m").status, 0);
    ASSERT_EQ(quorvel("--quiet once.y4m twice.y4m").status, 0);
    ASSERT_EQ(quorvel("--quiet --pix-fmt bgr0 once.y4m rgb.mkv").status, 0);
    const std::string once = readFile(path("once.y4m"));
    EXPECT_EQ(once.compare(0, 9, "YUV4MPEG2"), 0);
    EXPECT_NE(once.find(" C444"), std::string::npos);
    EXPECT_NE(quorvel("compare --json once.y4m twice.y4m").output.find("\"psnr\": null"), std::string::npos);
    const Result r = quorvel("compare --json once.y4m rgb.mkv");
    const std::vector<double> psnr = jsonValues(r.output, "psnr");
    ASSERT_EQ(psnr.size(), 1u) << r.output;
    EXPECT_GT(psnr[0], 45.0);
    EXPECT_EQ(jsonValues(r.output, "plane_psnr").size(), 3u) << r.output;
    EXPECT_EQ(numbers(ffprobe("-count_frames -show_entries stream=nb_read_frames -of csv=p=0 once.y4m")),
              std::vector<std::string>{"4"});
}

TEST_F(QuorvelEndToEnd, PicturesComeBackTheSameWayUp)
{
    Picture p{64, 32, std::vector<uint8_t>((size_t)64 * 32 * 3, 10)};
    for (int x = 0; x < 64; x++)
        p.rgb[(size_t)x * 3] = 255;  // top row red
    writePng("top.png", p);
    ASSERT_EQ(quorvel("--quiet top.png out.png").status, 0);
    EXPECT_TRUE(readRgb("out.png", 64, 32).rgb == p.rgb);
    ASSERT_EQ(quorvel("--quiet top.png out.bmp").status, 0);
    EXPECT_TRUE(readRgb("out.bmp", 64, 32).rgb == p.rgb);
}

// The display's scale belongs at the bottom of the picture: its numbers in
// the lowest eight rows and its solid base line 15 rows above the bottom.
TEST_F(QuorvelEndToEnd, SpectrumDisplayScaleSitsAtTheBottom)
{
    const int w = 400, h = 600;
    writePng("in.png", testPicture(w, h, 3));
    for (const char *module : {"zelt_lpf", "zelt"}) {
        SCOPED_TRACE(module);
        const Result r = quorvel(std::string("-y --quiet --module ") + module + " --display-spectrum in.png out.png");
        ASSERT_EQ(r.status, 0) << r.output;
        const Picture got = readRgb("out.png", w, h);
        auto white = [&](int y, int x) {
            const uint8_t *px = &got.rgb[(size_t)(y * w + x) * 3];
            return px[0] == 255 && px[1] == 255 && px[2] == 255;
        };
        auto solidRow = [&](int y) {
            for (int x = 0; x < w; x++)
                if (!white(y, x))
                    return false;
            return true;
        };
        EXPECT_TRUE(solidRow(h - 1 - 15));
        EXPECT_FALSE(solidRow(15));
        // The "0" glyph: its centre column strokes in the bottom rows.
        int glyphPixels = 0;
        for (int y = h - 8; y < h; y++)
            for (int x = 1; x < 7; x++)
                glyphPixels += white(y, x);
        EXPECT_GT(glyphPixels, 8);
    }
}

TEST_F(QuorvelEndToEnd, EveryErrorNamesItsProblemAndLeavesNoOutput)
{
    writePng("in.png", testPicture(32, 16, 4));
    std::ofstream(path("bad.png")) << "not a picture\n";
    std::ofstream(path("fake.so")) << "not a module\n";
    writeDamagedY4m("broken.y4m", "64x48", 5);
    if (HasFatalFailure())
        return;
    // Too wide for the module's tables: a start that fails for want of memory.
    ffmpeg("-f lavfi -i color=c=gray:size=200000x2 -frames:v 1 wide.png");

    struct Case {
        std::string args, output, message;
        int status;
    };
    const Case cases[] = {
        {"missing.png out.png", "out.png", "cannot open input 'missing.png'", 1},
        {"bad.png out.png", "out.png", "bad.png", 1},
        {"--bogus in.png out.png", "out.png", "unknown option '--bogus'", 2},
        {"--harmonics ten in.png out.png", "out.png", "--harmonics: 'ten' is not a whole number", 2},
        {"--min-harmonic 2147483648 in.png out.png", "out.png", "not a whole number in the range", 2},
        {"--curve-aggression 1.5.2 in.png out.png", "out.png", "is not a number", 2},
        {"--module /nonexistent/zelt.so in.png out.png", "out.png", "cannot load module", 1},
        {"--module fake.so in.png out.png", "out.png", "cannot load module 'fake.so'", 1},
        {std::string("--module ") + STUB_REFUSE_MODULE + " in.png out.png", "out.png", "refused registration", 1},
        {std::string("--module ") + STUB_FAIL_START_MODULE + " in.png out.png", "out.png", "cannot start", 1},
        {"wide.png out.png", "out.png", "cannot start on 200000x2 frames", 1},
        {"in.png nodir/out.png", "nodir/out.png", "cannot write 'nodir/out.png'", 1},
        {"in.png out.nosuchformat", "out.nosuchformat", "cannot tell the output format", 1},
        {"--codec nonesuch in.png out.mkv", "out.mkv", "unknown encoder 'nonesuch'", 1},
        {"--pix-fmt nonesuch in.png out.mkv", "out.mkv", "unknown pixel format 'nonesuch'", 1},
        {"broken.y4m out.mkv", "out.mkv", "error in 'broken.y4m'", 1},
        {"--frames 3 broken.y4m out.png", "out.png", "holds one picture", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run("ASAN_OPTIONS=allocator_may_return_null=1 " + q(QUORVEL_BIN) + " " + c.args);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find("quorvel: error: "), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        expectNoOutput(c.output);
    }
    // A failed run leaves an existing output as it was.
    std::ofstream(path("keep.mkv")) << "old";
    EXPECT_EQ(quorvel("-y broken.y4m keep.mkv").status, 1);
    EXPECT_EQ(readFile(path("keep.mkv")), "old");
}

TEST_F(QuorvelEndToEnd, AnalyseFindsTheHarmonicsTheSamplePlanted)
{
    const Result s = quorvel("sample --quiet --frames 3 --clean clean.mkv dirty.mkv");
    ASSERT_EQ(s.status, 0) << s.output;
    const std::string rate = " -select_streams v:0 -count_frames -show_entries stream=nb_read_frames,r_frame_rate,"
                             "width,height -of csv=p=0 dirty.mkv";
    EXPECT_EQ(ffprobe(rate), "720,576,25/1,3\n");

    const Result a = quorvel("analyse --json --frames 3 dirty.mkv");
    ASSERT_EQ(a.status, 0) << a.output;
    const std::vector<double> harmonics = jsonValues(a.output, "harmonic"), rms = jsonValues(a.output, "rms");
    ASSERT_EQ(harmonics.size(), rms.size());
    std::vector<std::pair<int, double>> found;
    for (size_t i = 0; i < harmonics.size(); i++)
        found.emplace_back((int)harmonics[i], rms[i]);
    ASSERT_GE(found.size(), 2u) << a.output;
    // The two strongest are the planted tones, at about their amplitude.
    for (const PlantedTone &tone : sampleTones) {
        bool seen = false;
        for (size_t i = 0; i < 2; i++)
            if (found[i].first == tone.harmonic) {
                seen = true;
                EXPECT_NEAR(found[i].second, tone.amplitude, 0.1 * tone.amplitude);
            }
        EXPECT_TRUE(seen) << tone.harmonic << "\n" << a.output;
    }
    const Result clean = quorvel("analyse --json --frames 3 clean.mkv");
    ASSERT_EQ(clean.status, 0);
    EXPECT_NE(clean.output.find("\"peaks\": []"), std::string::npos) << clean.output;

    // Full processing as suggested scores better against the clean clip.
    EXPECT_NE(a.output.find("\"full\": [\"--full\", \"--harmonics\", \"361\"]"), std::string::npos) << a.output;
    ASSERT_EQ(quorvel("--quiet --full --harmonics 361 dirty.mkv fixed.mkv").status, 0);
    auto psnr = [&](const std::string &file) {
        const Result r = quorvel("compare --json clean.mkv " + file);
        EXPECT_EQ(r.status, 0) << r.output;
        const std::vector<double> v = jsonValues(r.output, "psnr");
        EXPECT_EQ(v.size(), 1u) << r.output;
        return v.empty() ? 0.0 : v[0];
    };
    const double before = psnr("dirty.mkv"), after = psnr("fixed.mkv");
    EXPECT_GT(after, before + 3.0);
    EXPECT_NE(quorvel("compare clean.mkv clean.mkv").output.find("PSNR inf"), std::string::npos);
}

// A tone drifting at 52.37 cycles per row: analyse gives its fraction, says
// it drifts, and suggests the tone remover at that frequency, whose output
// scores better than the notch analyse suggests.
TEST_F(QuorvelEndToEnd, AnalyseMeasuresADriftingToneAndSuggestsRemovingIt)
{
    ASSERT_EQ(
        quorvel("sample --quiet --frames 3 --tone-frequency 52.37 --flicker 0 --clean clean.mkv dirty.mkv").status, 0);
    const Result a = quorvel("analyse --json dirty.mkv");
    ASSERT_EQ(a.status, 0) << a.output;
    const std::vector<double> f = jsonValues(a.output, "frequency");
    ASSERT_FALSE(f.empty()) << a.output;
    EXPECT_NEAR(f[0], 52.37, 0.01) << a.output;
    EXPECT_NE(a.output.find("\"locked\": false"), std::string::npos) << a.output;
    // The options of a suggestion (a JSON list of strings), as a command line.
    auto suggested = [&](const std::string &key) {
        const size_t from = a.output.find("\"" + key + "\": [");
        const size_t to = a.output.find(']', from);
        std::string options;
        bool inside = false;
        for (size_t i = from + key.size() + 4; i < to && to != std::string::npos; i++) {
            if (a.output[i] == '"')
                options += (inside = !inside) ? " " : "";
            else if (inside)
                options += a.output[i];
        }
        return options;
    };
    const std::string tone = suggested("tone"), notch = suggested("notch");
    EXPECT_NE(tone.find("--tone 52.3"), std::string::npos) << a.output;
    ASSERT_EQ(quorvel("--quiet " + tone + " dirty.mkv tone.mkv").status, 0) << tone;
    ASSERT_EQ(quorvel("--quiet " + notch + " dirty.mkv notch.mkv").status, 0) << notch;
    auto psnr = [&](const std::string &file) {
        const std::vector<double> v = jsonValues(quorvel("compare --json clean.mkv " + file).output, "psnr");
        return v.empty() ? 0.0 : v[0];
    };
    EXPECT_GT(psnr("tone.mkv"), psnr("notch.mkv") + 3.0) << tone << " against " << notch;
}

// The plot of the sample with the clean clip drawn over it: a PNG of the
// stated size whose luma panel shows the input's curve standing well above
// the clean one at each planted tone.
TEST_F(QuorvelEndToEnd, AnalysePlotsThePlantedPeaksAboveTheCleanedSpectrum)
{
    ASSERT_EQ(quorvel("sample --quiet --frames 2 --clean clean.mkv dirty.mkv").status, 0);
    const Result a = quorvel("analyse --frames 2 --plot plot.png --against clean.mkv dirty.mkv");
    ASSERT_EQ(a.status, 0) << a.output;
    EXPECT_EQ(ffprobe("-show_entries stream=codec_name,width,height -of csv=p=0 plot.png"),
              "png," + std::to_string(PLOT_WIDTH) + "," + std::to_string(PLOT_HEIGHT) + "\n");
    const Picture p = readRgb("plot.png", PLOT_WIDTH, PLOT_HEIGHT);
    ASSERT_EQ(p.rgb.size(), (size_t)PLOT_WIDTH * PLOT_HEIGHT * 3);
    int top, bottom;
    plotRows(0, top, bottom);
    // The highest row of a colour in a column of the luma panel.
    auto highest = [&](int x, uint32_t colour) {
        for (int y = top; y < bottom; y++) {
            const uint8_t *px = &p.rgb[((size_t)y * PLOT_WIDTH + (size_t)x) * 3];
            if (px[0] == (colour >> 16 & 0xff) && px[1] == (colour >> 8 & 0xff) && px[2] == (colour & 0xff))
                return y;
        }
        return bottom;
    };
    for (const PlantedTone &tone : sampleTones) {
        const int x = plotColumn(tone.harmonic, SAMPLE_WIDTH / 2 + 1);
        EXPECT_LT(highest(x, PLOT_INPUT_RGB) + 20, highest(x, PLOT_CLEANED_RGB)) << tone.harmonic;
    }
}

}  // namespace
