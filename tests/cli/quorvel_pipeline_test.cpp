// quorvel's threaded pipeline against its serial run (--serial, the same
// stages on one thread): the same output packet for packet, the same errors,
// and every run over in bounded time, over many short runs where the ends of
// the input, frame limits, failures and interruptions meet frames still in
// flight.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/cli/e2e_fixture.h"

extern char **environ;

namespace {

using namespace quorvel_e2e;

// A run that hangs is killed after this long and fails its test.
const char *const BOUND = "timeout -s KILL 60 ";
const std::chrono::seconds BOUND_TIME(60);
const int KILLED = 128 + SIGKILL;

class QuorvelPipeline : public QuorvelEndToEnd {
protected:
    Result bounded(const std::string &args) const { return run(BOUND + q(QUORVEL_BIN) + " " + args); }

    // Every packet of every stream in file order: stream, times, size,
    // position, flags and a hash of the data.
    std::string packets(const std::string &name) const
    {
        return ffprobe("-show_entries packet=stream_index,pts,dts,duration,size,pos,flags,data_hash "
                       "-show_data_hash md5 -of csv=p=0 " +
                       q(name));
    }

    // The files a run left, by name, with their contents.
    std::vector<std::pair<std::string, std::string>> filesLike(const std::string &prefix) const
    {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto &e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(prefix, 0) == 0)
                out.emplace_back(name, readFile(e.path().string()));
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    void removeLike(const std::string &prefix) const
    {
        for (const auto &f : filesLike(prefix))
            unlink(path(f.first).c_str());
    }

    // Starts quorvel with `args` in the scratch directory, its output to
    // `log`; the caller waits for it.
    pid_t start(const std::vector<std::string> &args, const std::string &log = "spawn.log") const
    {
        std::vector<std::string> all = {QUORVEL_BIN};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, path(log).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, QUORVEL_BIN, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0);
        return rc == 0 ? pid : -1;
    }
    // Its exit status, or KILLED once it has taken longer than `limit`.
    int wait(pid_t pid, std::chrono::milliseconds limit) const
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (std::chrono::steady_clock::now() > until) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return KILLED;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
};

// Sequences shorter than, as long as and longer than the jobs in flight,
// and frame limits, each run many times. The end of the input reaches the
// filter stage while earlier frames are still with the encoder; a pipeline
// whose filter stage looked at a job after passing it on hung in about one
// run in five of these, four at a time, when the decoder had read ahead and
// waited for a job.
// The temporal DC average makes any change in frame order show.
TEST_F(QuorvelPipeline, ShortSequencesEndLikeTheSerialRunEveryTime)
{
    std::vector<std::string> cases;
    for (int n = 1; n <= 6; n++) {
        const std::string name = "s" + std::to_string(n) + "_%03d.png";
        ffmpeg("-f lavfi -i testsrc2=size=96x30:rate=25 -frames:v " + std::to_string(n) + " " + name);
        cases.push_back(name);
    }
    for (const char *limit : {"--frames 1 ", "--frames 3 ", "--frames 5 "})
        cases.push_back(limit + cases.back());
    // Runs four at a time: a loaded machine, where the hang showed.
    const int together = 4, rounds = 8;
    for (int k = 0; k < together; k++)
        fs::create_directory(path("o" + std::to_string(k)));
    for (const std::string &c : cases) {
        SCOPED_TRACE(c);
        const std::string args = "--quiet --dc-average --temporal " + c;
        const Result ref = bounded("--serial " + args + " out_%03d.png");
        ASSERT_EQ(ref.status, 0) << ref.output;
        const auto want = filesLike("out_");
        ASSERT_FALSE(want.empty());
        removeLike("out_");
        for (int round = 0; round < rounds; round++) {
            std::vector<pid_t> runs;
            for (int k = 0; k < together; k++) {
                std::vector<std::string> argv = {"--quiet", "--dc-average", "--temporal"};
                std::istringstream words(c);
                for (std::string w; words >> w;)
                    argv.push_back(w);
                argv.push_back("o" + std::to_string(k) + "/out_%03d.png");
                runs.push_back(start(argv, "o" + std::to_string(k) + ".log"));
            }
            for (int k = 0; k < together; k++) {
                const std::string dir = "o" + std::to_string(k);
                const int status = runs[(size_t)k] > 0 ? wait(runs[(size_t)k], BOUND_TIME) : -1;
                EXPECT_EQ(status, 0) << (status == KILLED ? "hung; " : "") << readFile(path(dir + ".log"));
                std::vector<std::pair<std::string, std::string>> got;
                for (const auto &e : fs::directory_iterator(path(dir))) {
                    got.emplace_back(e.path().filename().string(), readFile(e.path().string()));
                    fs::remove(e.path());
                }
                std::sort(got.begin(), got.end());
                EXPECT_TRUE(got == want) << "round " << round << ", run " << k;
            }
            ASSERT_FALSE(HasFailure());
        }
    }
}

// Many tiny frames with audio between them: the same packets at the same
// places, with and without a limit that stops in the middle of the audio.
TEST_F(QuorvelPipeline, VideoWithAudioIsWrittenLikeTheSerialRun)
{
    ffmpeg("-f lavfi -i testsrc2=size=32x18:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 3 "
           "-c:v ffv1 -pix_fmt bgr0 -c:a flac in.mkv");
    ffmpeg("-f lavfi -i testsrc2=size=32x18:rate=25 -f lavfi -i sine=frequency=440:sample_rate=8000 -t 3 "
           "-c:v ffv1 -pix_fmt bgr0 -c:a pcm_s16le in.avi");
    for (const char *io : {"in.mkv out.mkv", "in.avi out.avi", "in.mkv out.nut"}) {
        const std::string out = std::string(io).substr(7);
        for (const char *limit : {"", "--frames 7 "}) {
            SCOPED_TRACE(std::string(limit) + io);
            const std::string args = std::string("-y --quiet --notch --min-harmonic 3 --max-harmonic 5 ") + limit + io;
            const Result ref = bounded("--serial " + args);
            ASSERT_EQ(ref.status, 0) << ref.output;
            const std::string want = packets(out);
            ASSERT_NE(want.find("\n1,"), std::string::npos) << "no audio: " << want;
            for (int i = 0; i < 4; i++) {
                const Result r = bounded(args);
                ASSERT_EQ(r.status, 0) << (r.status == KILLED ? "hung; " : "") << r.output;
                EXPECT_EQ(packets(out), want) << "run " << i;
            }
        }
    }
}

// A failure in the middle of a run ends it with the error a single thread
// would have met first, and leaves nothing behind, whatever the decoder
// has read ahead by then.
TEST_F(QuorvelPipeline, FailuresInTheMiddleEndTheRunInFrameOrder)
{
    ffmpeg("-f lavfi -i testsrc2=size=32x18:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 2 "
           "-c:v ffv1 -pix_fmt bgr0 -c:a flac in.mkv");
    ffmpeg("-f lavfi -i testsrc2=size=32x18:rate=25 -frames:v 30 seq_%03d.png");
    writeDamagedY4m("broken.y4m", "32x18", 6);
    if (HasFatalFailure())
        return;

    const std::string failRun = std::string("--module ") + STUB_FAIL_RUN_MODULE + " ";
    struct Case {
        std::string args, output, message;
    };
    const Case cases[] = {
        // The module fails on the second frame.
        {failRun + "in.mkv out.mkv", "out.mkv", "the module failed on a frame (status 1) at frame 2"},
        {failRun + "seq_%03d.png out_%03d.png", "out_001.png", "at frame 2"},
        // ... before the decoder's error on the third, which it may meet first.
        {failRun + "broken.y4m out.mkv", "out.mkv", "at frame 2"},
        // The decoder's error on the third frame, with the module still going.
        {"broken.y4m out.mkv", "out.mkv", "error in 'broken.y4m'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        const Result ref = bounded("--quiet --serial " + c.args);
        EXPECT_EQ(ref.status, 1) << ref.output;
        EXPECT_NE(ref.output.find(c.message), std::string::npos) << ref.output;
        for (int i = 0; i < 10; i++) {
            const Result r = bounded("--quiet " + c.args);
            ASSERT_EQ(r.status, 1) << (r.status == KILLED ? "hung; " : "") << r.output;
            EXPECT_EQ(r.output, ref.output);
            expectNoOutput(c.output);
        }
    }

    // The encoder's writes fail part-way (a file size limit; the signal that
    // would end the process is ignored, so the write reports the error).
    const std::string limited = "ulimit -f 40; trap '' XFSZ; " + std::string(BOUND) + q(QUORVEL_BIN) + " --quiet ";
    const Result ref = run(limited + "--serial in.mkv big.avi");
    EXPECT_NE(ref.output.find("cannot write 'big.avi': File too large"), std::string::npos) << ref.output;
    for (int i = 0; i < 5; i++) {
        const Result r = run(limited + "in.mkv big.avi");
        ASSERT_EQ(r.status, 1) << (r.status == KILLED ? "hung; " : "") << r.output;
        EXPECT_EQ(r.output, ref.output);
        expectNoOutput("big.avi");
    }
}

// SIGINT at different points of a run: the run stops within a few frames,
// reports the interruption and leaves no output.
TEST_F(QuorvelPipeline, InterruptionInTheMiddleLeavesNoOutput)
{
    ffmpeg("-f lavfi -i testsrc2=size=32x18:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 8 "
           "-c:v ffv1 -pix_fmt bgr0 -c:a flac in.mkv");
    ffmpeg("-f lavfi -i testsrc2=size=32x18:rate=25 -frames:v 200 seq_%03d.png");
    // 200 frames at 20 ms each in the slow module: four seconds a run.
    for (const char *io : {"in.mkv out.mkv", "seq_%03d.png out_%03d.png"}) {
        for (int delayMs : {0, 30, 150, 400, 900}) {
            SCOPED_TRACE(std::string(io) + " after " + std::to_string(delayMs) + " ms");
            const std::string s = io;
            const size_t space = s.find(' ');
            const pid_t pid = start({"--quiet", "--module", STUB_SLOW_MODULE, s.substr(0, space), s.substr(space + 1)});
            ASSERT_GT(pid, 0);
            // Once the run writes (the handler is in place by then).
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (filesLike(".quorvel-").empty() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            kill(pid, SIGINT);
            const int status = wait(pid, std::chrono::seconds(10));
            const std::string log = readFile(path("spawn.log"));
            ASSERT_EQ(status, 130) << (status == KILLED ? "hung; " : "") << log;
            EXPECT_NE(log.find("interrupted; '" + s.substr(space + 1) + "' not written"), std::string::npos) << log;
            unlink(path("spawn.log").c_str());
            expectNoOutput("out.mkv");
            EXPECT_TRUE(filesLike("out_").empty());
        }
    }
}

}  // namespace
