// Drives the frei0r plug-in as hosts do, and as careless hosts might: instances initialised one by
// one, values no host should send, several instances rendering at once. Run under the sanitizers.
// With --list-params it prints each parameter's name, frei0r type and default, one a line, for the
// Kdenlive check; with --plugin-version the version the plug-in reports.
#include <gtest/gtest.h>

extern "C" {
#include <frei0r.h>
}

#include <dlfcn.h>
#include <malloc.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Plugin {
    void* handle = nullptr;
    int (*init)() = nullptr;
    void (*deinit)() = nullptr;
    void (*pluginInfo)(f0r_plugin_info_t*) = nullptr;
    void (*paramInfo)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*setParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*getParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;

    Plugin() {
        handle = dlopen(CORVELLE_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(stderr, "cannot open the plug-in: %s\n", dlerror());
            std::exit(1);
        }
        Find(init, "f0r_init");
        Find(deinit, "f0r_deinit");
        Find(pluginInfo, "f0r_get_plugin_info");
        Find(paramInfo, "f0r_get_param_info");
        Find(construct, "f0r_construct");
        Find(destruct, "f0r_destruct");
        Find(setParam, "f0r_set_param_value");
        Find(getParam, "f0r_get_param_value");
        Find(update, "f0r_update");
    }
    template <class F>
    void Find(F& function, const char* name) {
        function = reinterpret_cast<F>(dlsym(handle, name));
        if (!function) {
            std::fprintf(stderr, "the plug-in has no %s\n", name);
            std::exit(1);
        }
    }
};

Plugin& ThePlugin() {
    static Plugin plugin;
    return plugin;
}

constexpr int kParams = 14;

/// Frames in buffers only 16-byte aligned, as MLT's are.
struct Frames {
    std::vector<uint32_t> inStore, outStore;
    uint32_t* in;
    uint32_t* out;
    std::size_t pixels;
    Frames(unsigned width, unsigned height) : pixels(std::size_t{width} * height) {
        inStore.resize(pixels + 16);
        outStore.resize(pixels + 16);
        in = Misalign(inStore.data());
        out = Misalign(outStore.data());
        for (std::size_t i = 0; i < pixels; ++i)
            in[i] = static_cast<uint32_t>((i * 2654435761u) ^ (i << 7));
    }
    static uint32_t* Misalign(uint32_t* p) {
        auto address = reinterpret_cast<uintptr_t>(p);
        address = ((address + 63) & ~uintptr_t{63}) + 16;
        return reinterpret_cast<uint32_t*>(address);
    }
    std::vector<uint32_t> Output() const { return {out, out + pixels}; }
    std::vector<uint32_t> Input() const { return {in, in + pixels}; }
};

void SetDouble(f0r_instance_t instance, int index, double value) {
    ThePlugin().setParam(instance, &value, index);
}
void SetString(f0r_instance_t instance, int index, const char* text) {
    f0r_param_string value = const_cast<char*>(text);
    ThePlugin().setParam(instance, &value, index);
}
void SetColor(f0r_instance_t instance, int index, float r, float g, float b) {
    f0r_param_color_t value{r, g, b};
    ThePlugin().setParam(instance, &value, index);
}

/// A visible set of values, as MLT sets them before every frame.
void SetEveryParam(f0r_instance_t instance, double width) {
    SetString(instance, 0, "rectangle");
    SetDouble(instance, 1, 0.4);
    SetDouble(instance, 2, 0.6);
    SetDouble(instance, 3, width);
    SetDouble(instance, 4, 0.5);
    SetDouble(instance, 5, 0.1);
    SetDouble(instance, 6, 0.05);
    SetString(instance, 7, "color");
    SetColor(instance, 8, 0.2f, 0.4f, 0.8f);
    SetDouble(instance, 9, 0.8);
    SetString(instance, 10, "soft-light");
    SetDouble(instance, 11, 0.0);
    SetDouble(instance, 12, 0.0);
    SetString(instance, 13, "gaussian");
}

std::vector<uint32_t> Render(unsigned width, unsigned height, double shapeWidth) {
    Plugin& p = ThePlugin();
    p.init();
    f0r_instance_t instance = p.construct(width, height);
    Frames frames(width, height);
    SetEveryParam(instance, shapeWidth);
    p.update(instance, 0.0, frames.in, frames.out);
    p.destruct(instance);
    p.deinit();
    return frames.Output();
}

TEST(Frei0rPlugin, DescribesAFilterWithFourteenParametersInHostOrder) {
    f0r_plugin_info_t info{};
    ThePlugin().pluginInfo(&info);
    EXPECT_STREQ(info.name, "corvelle");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    ASSERT_EQ(info.num_params, kParams);
    const std::pair<const char*, int> expected[kParams] = {
        {"shape", F0R_PARAM_STRING},   {"origin_x", F0R_PARAM_DOUBLE}, {"origin_y", F0R_PARAM_DOUBLE},
        {"width", F0R_PARAM_DOUBLE},   {"height", F0R_PARAM_DOUBLE},   {"angle", F0R_PARAM_DOUBLE},
        {"feather", F0R_PARAM_DOUBLE}, {"fill", F0R_PARAM_STRING},     {"color", F0R_PARAM_COLOR},
        {"opacity", F0R_PARAM_DOUBLE}, {"blend", F0R_PARAM_STRING},    {"invert", F0R_PARAM_BOOL},
        {"mask_only", F0R_PARAM_BOOL}, {"falloff", F0R_PARAM_STRING}};
    for (int i = 0; i < kParams; ++i) {
        f0r_param_info_t param{};
        ThePlugin().paramInfo(&param, i);
        EXPECT_STREQ(param.name, expected[i].first) << i;
        EXPECT_EQ(param.type, expected[i].second) << i;
    }
}

TEST(Frei0rPlugin, DefaultsAreTheSameFractionsAtEverySize) {
    Plugin& p = ThePlugin();
    p.init();
    for (const auto& [w, h] : {std::pair{640u, 480u}, std::pair{1920u, 1080u}, std::pair{17u, 3u}}) {
        f0r_instance_t instance = p.construct(w, h);
        double values[kParams] = {};
        for (int i : {1, 2, 3, 4, 5, 6, 9, 11, 12})
            p.getParam(instance, &values[i], i);
        EXPECT_EQ(values[1], 0.5);
        EXPECT_EQ(values[2], 0.5);
        EXPECT_EQ(values[3], 300.0 / 1920.0);
        EXPECT_EQ(values[4], 200.0 / 1080.0);
        EXPECT_EQ(values[5], 0.0);
        EXPECT_EQ(values[6], 100.0 / 1920.0);
        EXPECT_EQ(values[9], 0.25);
        f0r_param_string blend = nullptr;
        p.getParam(instance, &blend, 10);
        ASSERT_NE(blend, nullptr);
        EXPECT_STREQ(blend, "multiply");
        p.destruct(instance);
    }
    p.deinit();
}

TEST(Frei0rPlugin, AnInstanceOutlivesAnotherInstancesDeinit) {
    const std::vector<uint32_t> alone = Render(48, 32, 0.5);
    Plugin& p = ThePlugin();
    p.init();
    f0r_instance_t first = p.construct(48, 32);
    p.init();
    f0r_instance_t second = p.construct(48, 32);
    p.destruct(second);
    p.deinit();
    Frames frames(48, 32);
    SetEveryParam(first, 0.5);
    p.update(first, -9e18, frames.in, frames.out);
    EXPECT_EQ(frames.Output(), alone);
    p.destruct(first);
    p.deinit();
    p.deinit();   // one too many: a careless host
}

TEST(Frei0rPlugin, NullPointersAndBadIndicesAreIgnored) {
    Plugin& p = ThePlugin();
    p.pluginInfo(nullptr);
    p.paramInfo(nullptr, 0);
    f0r_param_info_t info{};
    p.paramInfo(&info, -1);
    p.paramInfo(&info, kParams);
    p.update(nullptr, 0.0, nullptr, nullptr);
    p.setParam(nullptr, nullptr, 0);
    p.getParam(nullptr, nullptr, 0);
    p.destruct(nullptr);
    f0r_instance_t instance = p.construct(16, 16);   // without f0r_init, as no host should
    ASSERT_NE(instance, nullptr);
    double value = 0.5;
    p.setParam(instance, nullptr, 3);
    p.setParam(instance, &value, -1);
    p.setParam(instance, &value, kParams);
    p.getParam(instance, nullptr, 3);
    Frames frames(16, 16);
    p.update(instance, 0.0, nullptr, frames.out);
    p.update(instance, 0.0, frames.in, nullptr);
    p.update(instance, 0.0, frames.in, frames.out);
    p.destruct(instance);
}

TEST(Frei0rPlugin, AnySizeConstructs) {
    Plugin& p = ThePlugin();
    p.init();
    for (const auto& [w, h] : {std::pair{0u, 0u}, std::pair{1u, 1u}, std::pair{1u, 4000u},
                               std::pair{100000u, 100000u}, std::pair{4294967295u, 2u}}) {
        f0r_instance_t instance = p.construct(w, h);
        EXPECT_NE(instance, nullptr) << w << "x" << h;
        if (std::size_t{w} * h <= 4000) {
            Frames frames(w, h);
            SetEveryParam(instance, 0.5);
            p.update(instance, 0.0, frames.in, frames.out);
        }
        p.destruct(instance);
    }
    p.deinit();
}

TEST(Frei0rPlugin, HostileValuesNeverCrashAndMeaninglessOnesKeepThePreviousValue) {
    const std::vector<uint32_t> expected = Render(32, 16, 0.5);
    Plugin& p = ThePlugin();
    p.init();
    f0r_instance_t instance = p.construct(32, 16);
    Frames frames(32, 16);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::string longText(100000, 'x');
    const double hostileNumbers[] = {nan, inf, -inf, 1e308, -1e308, 4.9e-324, -0.0, 1e-300};
    const char* hostileTexts[] = {"", nullptr, "\xff\xfe", longText.c_str(), "99", "0", "-1", "soft light"};
    for (double number : hostileNumbers) {
        for (int i : {1, 2, 3, 4, 5, 6, 9, 11, 12})
            SetDouble(instance, i, number);
        SetColor(instance, 8, static_cast<float>(number), -1.0f, 2.0f);
        p.update(instance, number, frames.in, frames.out);
    }
    for (const char* text : hostileTexts) {
        for (int i : {0, 7, 10, 13})
            SetString(instance, i, text);
        p.update(instance, 0.0, frames.in, frames.out);
    }
    // NaN and texts naming nothing change nothing: the last good values render.
    SetEveryParam(instance, 0.5);
    for (int i : {1, 2, 3, 4, 5, 6, 9, 11, 12})
        SetDouble(instance, i, nan);
    SetColor(instance, 8, std::nanf(""), 0.0f, 0.0f);
    for (const char* text : {"", "nonsense", static_cast<const char*>(nullptr)}) {
        for (int i : {0, 7, 10, 13})
            SetString(instance, i, text);
    }
    p.update(instance, 0.0, frames.in, frames.out);
    EXPECT_EQ(frames.Output(), expected);
    p.destruct(instance);
    p.deinit();
}

TEST(Frei0rPlugin, ConcurrentInstancesRenderAsOneDoes) {
    constexpr unsigned kWidth = 96, kHeight = 48;
    const std::vector<uint32_t> expected[2] = {Render(kWidth, kHeight, 0.3), Render(kWidth, kHeight, 0.7)};
    Plugin& p = ThePlugin();
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            p.init();   // as MLT does, once per filter
            f0r_instance_t instance = p.construct(kWidth, kHeight);
            Frames frames(kWidth, kHeight);
            for (int frame = 0; frame < 6; ++frame) {
                const int which = (frame + t) % 2;
                SetEveryParam(instance, which == 0 ? 0.3 : 0.7);
                p.update(instance, frame / 25.0, frames.in, frames.out);
                mismatches[static_cast<std::size_t>(t)] += frames.Output() != expected[which];
            }
            p.destruct(instance);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(mismatches[static_cast<std::size_t>(t)], 0) << "thread " << t;
        p.deinit();
    }
}

TEST(Frei0rPlugin, TheTimeAHostPassesNeverChangesTheFrame) {
    const std::vector<uint32_t> atZero = Render(48, 32, 0.5);
    Plugin& p = ThePlugin();
    p.init();
    f0r_instance_t instance = p.construct(48, 32);
    Frames frames(48, 32);
    SetEveryParam(instance, 0.5);
    // Seconds (MLT, GStreamer), milliseconds (ffmpeg), ffmpeg's re-copied frame, past every scale.
    const double times[] = {0.04,
                            1.5,
                            40.0,
                            3.6e6,
                            -9e18,
                            -0.0,
                            2147.483647,
                            2147.4836475,
                            1e300,
                            -1e-9,
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity()};
    for (double time : times) {
        p.update(instance, time, frames.in, frames.out);
        EXPECT_EQ(frames.Output(), atZero) << time;
    }
    p.destruct(instance);
    p.deinit();
}

/// How a host goes through the plug-in between loading and unloading it.
struct LoadCycle {
    const char* host;
    bool init;
    bool deinit;
};

void OneLoadCycle(const LoadCycle& cycle) {
    void* handle = dlopen(CORVELLE_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const auto symbol = [handle](const char* name) { return dlsym(handle, name); };
    const auto init = reinterpret_cast<int (*)()>(symbol("f0r_init"));
    const auto deinit = reinterpret_cast<void (*)()>(symbol("f0r_deinit"));
    const auto info = reinterpret_cast<void (*)(f0r_plugin_info_t*)>(symbol("f0r_get_plugin_info"));
    const auto construct = reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(symbol("f0r_construct"));
    const auto destruct = reinterpret_cast<void (*)(f0r_instance_t)>(symbol("f0r_destruct"));
    const auto setParam =
        reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(symbol("f0r_set_param_value"));
    const auto update =
        reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, uint32_t*)>(symbol("f0r_update"));
    ASSERT_TRUE(init && deinit && info && construct && destruct && setParam && update);
    if (cycle.init)
        init();
    f0r_plugin_info_t described{};
    info(&described);
    f0r_instance_t first = construct(32, 16);
    f0r_instance_t second = construct(32, 16);
    Frames frames(32, 16);
    double width = 0.5;
    f0r_param_string blend = const_cast<char*>("screen");
    setParam(first, &width, 3);
    setParam(second, &blend, 10);
    update(first, 0.04, frames.in, frames.out);
    update(second, 0.04, frames.in, frames.out);
    destruct(first);
    destruct(second);
    if (cycle.deinit)
        deinit();
    dlclose(handle);
    // Unloaded for real, or the cycle would test nothing.
    EXPECT_EQ(dlopen(CORVELLE_FREI0R_PLUGIN, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

// Run alone: nothing else in the process may hold the plug-in open. The leak checker of the
// sanitizer build sees any cycle's leftovers; the release build counts the heap.
TEST(Frei0rPluginUnload, LoadingAndUnloadingWithInstancesLeavesNothingBehind) {
    constexpr int kWarmUp = 10, kCycles = 60;
    const LoadCycle cycles[] = {{"MLT: f0r_init only", true, false},
                                {"ffmpeg: f0r_init and f0r_deinit", true, true},
                                {"no f0r_init at all", false, false}};
    for (const LoadCycle& cycle : cycles) {
        SCOPED_TRACE(cycle.host);
        for (int i = 0; i < kWarmUp; ++i)
            OneLoadCycle(cycle);
        const std::size_t before = mallinfo2().uordblks;
        for (int i = 0; i < kCycles; ++i)
            OneLoadCycle(cycle);
        const std::size_t after = mallinfo2().uordblks;
#ifndef __SANITIZE_ADDRESS__
        // A lost effect is about 9 kB a cycle; allocator slack stays far below 1 kB a cycle.
        EXPECT_LT(after, before + kCycles * 1024) << "heap grew by " << (after - before) << " bytes";
#else
        (void)before;
        (void)after;
#endif
    }
    // libcorvelle's render threads outlive every unload, so the library must stay.
    EXPECT_NE(dlopen(CORVELLE_LIBRARY, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

// Run with CORVELLE_MODULE naming no module.
TEST(Frei0rPluginWithoutModule, ConstructsAndPassesFramesThrough) {
    Plugin& p = ThePlugin();
    p.init();
    f0r_instance_t instance = p.construct(32, 16);
    ASSERT_NE(instance, nullptr);
    Frames frames(32, 16);
    SetEveryParam(instance, 0.5);
    SetString(instance, 10, "nonsense");
    p.update(instance, 0.0, frames.in, frames.out);
    EXPECT_EQ(frames.Output(), frames.Input());
    p.destruct(instance);
    p.deinit();
}

/// Whether string parameter `name` takes each of `texts`: a text it does not take leaves the value.
bool Accepts(const std::string& name, int count, char** texts) {
    Plugin& p = ThePlugin();
    int index = -1;
    for (int i = 0; i < kParams; ++i) {
        f0r_param_info_t info{};
        p.paramInfo(&info, i);
        if (info.type == F0R_PARAM_STRING && name == info.name)
            index = i;
    }
    if (index < 0) {
        std::printf("no string parameter %s\n", name.c_str());
        return false;
    }
    p.init();
    f0r_instance_t instance = p.construct(16, 16);
    bool all = true;
    for (int i = 0; i < count; ++i) {
        SetString(instance, index, "");   // names nothing: the value stays
        SetString(instance, index, texts[i]);
        f0r_param_string got = nullptr;
        p.getParam(instance, &got, index);
        if (!got || std::strcmp(got, texts[i]) != 0) {
            std::printf("%s does not take '%s'\n", name.c_str(), texts[i]);
            all = false;
        }
    }
    p.destruct(instance);
    p.deinit();
    return all;
}

/// One line a parameter: name, frei0r type (double, bool, color, string) and default (%.17g,
/// 0 or 1, #rrggbb as the plug-in rounds channels, the text).
void ListParams() {
    Plugin& p = ThePlugin();
    p.init();
    f0r_instance_t instance = p.construct(640, 480);
    for (int i = 0; i < kParams; ++i) {
        f0r_param_info_t info{};
        p.paramInfo(&info, i);
        std::printf("%s ", info.name);
        if (info.type == F0R_PARAM_STRING) {
            f0r_param_string text = nullptr;
            p.getParam(instance, &text, i);
            std::printf("string %s\n", text ? text : "");
        } else if (info.type == F0R_PARAM_COLOR) {
            f0r_param_color_t color{};
            p.getParam(instance, &color, i);
            const auto byte = [](float c) {
                return static_cast<int>(std::floor(static_cast<double>(c) * 255.0 + 0.5));
            };
            std::printf("color #%02x%02x%02x\n", byte(color.r), byte(color.g), byte(color.b));
        } else {
            double number = 0.0;
            p.getParam(instance, &number, i);
            if (info.type == F0R_PARAM_BOOL)
                std::printf("bool %d\n", number >= 0.5 ? 1 : 0);
            else
                std::printf("double %.17g\n", number);
        }
    }
    p.destruct(instance);
    p.deinit();
}

}   // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--list-params") == 0) {
        ListParams();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--plugin-version") == 0) {
        f0r_plugin_info_t info{};
        ThePlugin().pluginInfo(&info);
        std::printf("%d %d\n", info.major_version, info.minor_version);
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--accepts") == 0)
        return Accepts(argv[2], argc - 3, argv + 3) ? 0 : 1;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
