// The end-to-end fixture: a scratch directory as the working directory, the
// built quorvel and the ffmpeg tools run through the shell, and the module
// run directly in this process on the same bitmaps for comparison.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hosting/module.h"

namespace quorvel_e2e {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string output;  // standard output and error together
};

inline std::string q(const std::string &s)
{
    return "'" + s + "'";
}

inline std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// A picture as rgb24 bytes, top row first.
struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
};

class QuorvelEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/quorvel-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        oldCwd_ = fs::current_path();
        // The timed module writes its log into the working directory.
        fs::current_path(dir_);
    }
    void TearDown() override
    {
        fs::current_path(oldCwd_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    Result run(const std::string &cmd) const
    {
        const std::string log = path(".log");
        const int rc = system(("cd " + q(dir_) + " && " + cmd + " > " + q(log) + " 2>&1 < /dev/null").c_str());
        Result r{WIFEXITED(rc) ? WEXITSTATUS(rc) : 255, readFile(log)};
        unlink(log.c_str());
        return r;
    }
    Result quorvel(const std::string &args) const { return run(q(QUORVEL_BIN) + " " + args); }
    void ffmpeg(const std::string &args) const
    {
        const Result r = run(q(FFMPEG_BIN) + " -nostdin -v error -y " + args);
        ASSERT_EQ(r.status, 0) << r.output;
    }
    // A y4m clip of `frames` frames whose third frame header is damaged, as
    // NAME; `size` is ffmpeg's WxH.
    void writeDamagedY4m(const std::string &name, const std::string &size, int frames) const
    {
        ffmpeg("-f lavfi -i testsrc2=size=" + size + ":rate=25 -frames:v " + std::to_string(frames) +
               " -pix_fmt yuv444p clip.y4m");
        std::string clip = readFile(path("clip.y4m"));
        size_t at = 0;
        for (int i = 0; i < 3; i++)
            at = clip.find("FRAME", at + 1);
        ASSERT_NE(at, std::string::npos);
        clip.replace(at, 5, "XXXXX");
        std::ofstream(path(name), std::ios::binary) << clip;
    }
    std::string ffprobe(const std::string &args) const
    {
        const Result r = run(q(FFPROBE_BIN) + " -v error " + args);
        EXPECT_EQ(r.status, 0) << r.output;
        return r.output;
    }

    void writePng(const std::string &name, const Picture &p) const
    {
        std::ofstream(path("raw.rgb"), std::ios::binary)
            .write((const char *)p.rgb.data(), (std::streamsize)p.rgb.size());
        ffmpeg("-f rawvideo -pix_fmt rgb24 -s " + std::to_string(p.w) + "x" + std::to_string(p.h) + " -i raw.rgb " +
               q(name));
        unlink(path("raw.rgb").c_str());
    }
    Picture readRgb(const std::string &name, int w, int h) const
    {
        Picture p{w, h, {}};
        const std::string out = path("read.rgb");
        run(q(FFMPEG_BIN) + " -nostdin -v error -y -i " + q(name) + " -f rawvideo -pix_fmt rgb24 " + q(out));
        const std::string bytes = readFile(out);
        unlink(out.c_str());
        p.rgb.assign(bytes.begin(), bytes.end());
        return p;
    }

    // What the module makes of these frames, run in this process through the
    // same host interface, one instance, frames in order.
    std::vector<Picture> direct(const std::string &module, const std::vector<DialogAction> &actions,
                                const std::vector<Picture> &frames) const
    {
        std::vector<Picture> out;
        const int w = frames[0].w, h = frames[0].h;
        // A private copy of the module file: a fresh instance of its
        // process-wide state, as each quorvel process has.
        const std::string copy = path("module-" + std::to_string(++loads_) + ".so");
        fs::copy_file(findModule(module), copy);
        LoadedModule m;
        std::string err;
        EXPECT_TRUE(m.load(copy, err)) << err;
        HostBitmap src, dst;
        EXPECT_TRUE(src.allocate(w, h) && dst.allocate(w, h));
        if (!actions.empty()) {
            EXPECT_TRUE(m.configure(src, dst, actions, err)) << err;
        }
        EXPECT_TRUE(m.start(src, dst, err)) << err;
        for (const Picture &f : frames) {
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    uint8_t *px = src.pictureRow(y) + 4 * x;
                    const uint8_t *rgb = &f.rgb[(size_t)(y * w + x) * 3];
                    px[0] = rgb[2];
                    px[1] = rgb[1];
                    px[2] = rgb[0];
                    px[3] = 0;
                }
            EXPECT_TRUE(m.run(src, dst, err)) << err;
            Picture p{w, h, std::vector<uint8_t>((size_t)w * h * 3)};
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    const uint8_t *px = dst.pictureRow(y) + 4 * x;
                    uint8_t *rgb = &p.rgb[(size_t)(y * w + x) * 3];
                    rgb[0] = px[2];
                    rgb[1] = px[1];
                    rgb[2] = px[0];
                }
            out.push_back(std::move(p));
        }
        m.end();
        return out;
    }

    // Nothing under the output's name, and no temporary left beside it.
    void expectNoOutput(const std::string &name) const
    {
        EXPECT_FALSE(fs::exists(path(name))) << name;
        for (const auto &e : fs::directory_iterator(dir_))
            EXPECT_EQ(e.path().filename().string().rfind(".quorvel-", 0), std::string::npos) << e.path();
    }

    std::string dir_;
    fs::path oldCwd_;
    mutable int loads_ = 0;
};

}  // namespace quorvel_e2e
