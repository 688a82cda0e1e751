// The plugin called as a frei0r host calls it: a time that goes backwards is
// a seek, after which the temporal DC average starts afresh, progressive or
// field by field.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdint.h>

#include <random>
#include <vector>

extern "C" {
#include <frei0r.h>
}

namespace {

struct Plugin {
    void *h = dlopen(FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    template <typename F>
    F get(const char *name)
    {
        return h ? (F)dlsym(h, name) : nullptr;
    }
    ~Plugin()
    {
        if (h)
            dlclose(h);
    }
};

using Frame = std::vector<uint32_t>;

// Outputs of one instance over `frames` at `times`.
std::vector<Frame> run(Plugin &p, const char *settings, int w, int h, const std::vector<Frame> &frames,
                       const std::vector<double> &times)
{
    auto construct = p.get<f0r_instance_t (*)(unsigned, unsigned)>("f0r_construct");
    auto setParam = p.get<void (*)(f0r_instance_t, f0r_param_t, int)>("f0r_set_param_value");
    auto update = p.get<void (*)(f0r_instance_t, double, const uint32_t *, uint32_t *)>("f0r_update");
    auto destruct = p.get<void (*)(f0r_instance_t)>("f0r_destruct");
    std::vector<Frame> out;
    f0r_instance_t inst = construct ? construct((unsigned)w, (unsigned)h) : nullptr;
    if (!inst || !setParam || !update || !destruct)
        return out;
    setParam(inst, (f0r_param_t)&settings, 0);
    for (size_t i = 0; i < frames.size(); i++) {
        out.emplace_back(frames[i].size());
        update(inst, times[i], frames[i].data(), out.back().data());
    }
    destruct(inst);
    return out;
}

TEST(Frei0rPlugin, TimeGoingBackRestartsTheTemporalHistory)
{
    Plugin p;
    ASSERT_NE(p.h, nullptr) << dlerror();
    auto init = p.get<int (*)()>("f0r_init");
    ASSERT_TRUE(init && init());
    const int w = 64, h = 16;
    std::mt19937 rng(7);
    Frame a(w * h), b(w * h);
    for (size_t i = 0; i < a.size(); i++) {
        a[i] = rng();
        b[i] = a[i] ^ 0x00402010u;  // other row levels, alpha alike
    }
    const std::vector<Frame> in = {a, b, a};
    for (const char *settings : {"dc temporal", "dc temporal fields=bff"}) {
        SCOPED_TRACE(settings);
        const std::vector<Frame> played = run(p, settings, w, h, in, {0.0, 0.04, 0.08});
        const std::vector<Frame> sought = run(p, settings, w, h, in, {0.0, 0.04, 0.0});
        ASSERT_EQ(played.size(), 3u);
        ASSERT_EQ(sought.size(), 3u);
        EXPECT_NE(played[2], played[0]) << "the previous frame does not change this one: the test shows nothing";
        EXPECT_EQ(sought[2], sought[0]);
        EXPECT_EQ(sought[1], played[1]);
    }
}

}  // namespace
