// The render path as a library caller sees it: Effect::Render over caller buffers of 1920×1080, per format
// and typical case, on one and two threads, against a plain copy of the same bytes; a raw stream
// with one frame or two in flight; and the parts alone: the mask per pixel, per row and as a
// plane, and the host's own loop.
#include "KT_Corvelle_Mask.h"
#include "KT_Corvelle_MaskPlane.h"
#include "cli/options/EffectOptions.h"
#include "core/Host.h"
#include "core/ModuleLibrary.h"
#include "testing/Testing.h"
#include "suites/PixelIteration.h"

#include <corvelle/streams.h>

#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace corvelle {
namespace {

constexpr A_long kWidth = 1920;
constexpr A_long kHeight = 1080;
constexpr double kPixels = static_cast<double>(kWidth) * static_cast<double>(kHeight);

struct Format {
    const char* name;
    PixelLayout layout;
    HostApp app;
};

const Format kFormats[] = {
    {"argb8", PixelLayout::Argb8, HostApp::AfterEffects},
    {"argb16", PixelLayout::Argb16, HostApp::AfterEffects},
    {"bgra8", PixelLayout::Bgra8, HostApp::Premiere},
    {"bgrafloat", PixelLayout::BgraFloat, HostApp::Premiere},
};

struct Case {
    std::string name;
    EffectOptions options;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    cases.push_back({"defaults", EffectOptions{}});
    // An ellipse almost as large as the frame whose inner ellipse is 20 pixels wide: nearly
    // every pixel inside lies in the feather band.
    EffectOptions band;
    band.width = 1900.0;
    band.height = 1060.0;
    band.feather = 940.0;
    band.falloff = "gaussian";
    band.opacity = 100 << 16;
    cases.push_back({"band_gaussian", band});
    // The peer comparison's frame: a full-frame feathered vignette, one case per falloff.
    for (const char* falloff : {"linear", "quadratic", "cubic", "gamma-2.2", "gaussian", "exponential"}) {
        EffectOptions vignette;
        vignette.width = 1920.0;
        vignette.height = 1080.0;
        vignette.feather = 500.0;
        vignette.blend = "normal";
        vignette.opacity = 100 << 16;
        vignette.falloff = falloff;
        cases.push_back({(std::string("vignette_") + falloff).c_str(), vignette});
    }
    EffectOptions rotated = band;
    rotated.angle = 20 << 16;
    cases.push_back({"band_gaussian_rotated", rotated});
    EffectOptions luminosity;
    luminosity.blend = "luminosity";
    luminosity.color = Color8{40, 160, 220, 255};
    cases.push_back({"luminosity", luminosity});
    EffectOptions rectangle;
    rectangle.shape = "rectangle";
    cases.push_back({"rectangle", rectangle});
    EffectOptions clear;
    clear.opacity = 0;
    cases.push_back({"opacity0", clear});
    return cases;
}

/// Seconds one memcpy of `bytes` takes, the best of several runs on warm memory.
double CopySeconds(const World& from, World& to) {
    const std::size_t bytes = from.RowBytes() * static_cast<std::size_t>(from.Height());
    double best = 1e9;
    for (int run = 0; run < 20; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(to.Row(0), from.Row(0), bytes);
        benchmark::ClobberMemory();
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void BM_Render(benchmark::State& state, Format format, Case c, unsigned threads) {
    LoadOptions load;
    load.modulePath = CORVELLE_MODULE_PATH;
    load.host = format.app == HostApp::Premiere ? HostKind::Editor : HostKind::Compositor;
    load.layerWidth = kWidth;
    load.layerHeight = kHeight;
    Effect effect(load);
    RenderSettings settings = effect.GetRenderSettings();
    settings.threads = threads;
    effect.SetRenderSettings(settings);
    ApplyEffectOptions(c.options, effect);
    World input = TestPictureWorld(format.layout, kWidth, kHeight);
    World output(format.layout, kWidth, kHeight);
    const ConstImageView in{input.Row(0), kWidth, kHeight, static_cast<std::ptrdiff_t>(input.RowBytes()),
                            format.layout};
    const ImageView out{output.Row(0), kWidth, kHeight, static_cast<std::ptrdiff_t>(output.RowBytes()),
                        format.layout};

    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        try {
            effect.Render(in, out);
        } catch (const Error&) {
            state.SkipWithError("the render failed");
            break;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(output.Row(0));
    }
    const double perFrame =
        seconds / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
    state.counters["ns_per_px"] = perFrame * 1e9 / kPixels;
    state.counters["x_copy"] = perFrame / CopySeconds(input, output);
}

void BM_Copy(benchmark::State& state, Format format) {
    World input = TestPictureWorld(format.layout, kWidth, kHeight);
    World output(format.layout, kWidth, kHeight);
    const std::size_t bytes = input.RowBytes() * static_cast<std::size_t>(kHeight);
    for (auto _ : state) {
        std::memcpy(output.Row(0), input.Row(0), bytes);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

/// Seconds a plain copy of one 8-bit 1920x1080 frame takes, the yardstick of the cases below.
double FrameCopySeconds() {
    const World from = TestPictureWorld(PixelLayout::Argb8, kWidth, kHeight);
    World to(PixelLayout::Argb8, kWidth, kHeight);
    return CopySeconds(from, to);
}

/// The record of the peer comparison's vignette with this falloff, as a render fills it.
CorvelleInfo VignetteRecord(A_long falloff) {
    CorvelleInfo info{};
    const float hw = 960.0f, hh = 540.0f, f = 500.0f;
    const float fv = f / (hw / hh);
    const float iw = hw - f, ih = hh - fv;
    info.matrix[0][0] = 1.0f;
    info.matrix[0][2] = -960.0f;
    info.matrix[1][1] = 1.0f;
    info.matrix[1][2] = -540.0f;
    info.halfWidth = hw;
    info.halfHeight = hh;
    info.innerHalfWidth = iw;
    info.innerHalfHeight = ih;
    info.feather = f;
    info.isEllipse = 1;
    info.halfWidthSq = hw * hw;
    info.halfHeightSq = hh * hh;
    info.scaleU = 1.0f / info.halfWidthSq;
    info.scaleV = 1.0f / info.halfHeightSq;
    info.outerAB = hw * hh;
    info.innerAB = iw * ih;
    info.innerHalfWidthSq = iw * iw;
    info.innerHalfHeightSq = ih * ih;
    info.invInnerHalfWidthSq = 1.0f / info.innerHalfWidthSq;
    info.invInnerHalfHeightSq = 1.0f / info.innerHalfHeightSq;
    info.falloff = falloff;
    info.opacity = 1.0f;
    return info;
}

enum class MaskRoute { PerPixel, RowScalar, RowPacked, Plane };

/// The whole frame's masks one way or another, without any blending: ns a pixel and the ratio
/// to a plain frame copy. Rows go through the full (rotated) path's u and v arrays.
void BM_Mask(benchmark::State& state, A_long falloff, MaskRoute route) {
    if (route == MaskRoute::RowPacked && !corvelle_mask::HasAvx2()) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    const CorvelleInfo info = VignetteRecord(falloff);
    std::vector<float> u(kWidth), v(kWidth), out(kWidth);
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (route == MaskRoute::Plane) {
            corvelle_mask::MaskPlane plane;
            plane.Build(info, kWidth, kHeight);
            benchmark::DoNotOptimize(plane.At(0, 0));
        } else {
            for (A_long y = 0; y < kHeight; ++y) {
                if (route == MaskRoute::PerPixel) {
                    for (A_long x = 0; x < kWidth; ++x) {
                        out[static_cast<std::size_t>(x)] = corvelle_mask::MaskAt(&info, x, y);
                    }
                } else {
                    for (A_long x = 0; x < kWidth; ++x) {
                        u[static_cast<std::size_t>(x)] = static_cast<float>(x) - 960.0f;
                        v[static_cast<std::size_t>(x)] = static_cast<float>(y) - 540.0f;
                    }
                    if (route == MaskRoute::RowPacked) {
                        corvelle_mask::EllipseMaskSpanAvx2(&info, u.data(), v.data(), u.size(), out.data());
                    } else {
                        corvelle_mask::EllipseMaskSpanScalar(&info, u.data(), v.data(), u.size(), out.data());
                    }
                }
                benchmark::DoNotOptimize(out.data());
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double perFrame =
        seconds / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
    state.counters["ns_per_px"] = perFrame * 1e9 / kPixels;
    state.counters["x_copy"] = perFrame / FrameCopySeconds();
}

/// A raw stream of `frames` built-in pictures in memory, opened by path as the command opens its input.
class MemoryStream {
public:
    MemoryStream(PixelFormat format, int frames) : m_fd(memfd_create("corvelle-bench-stream", 0)) {
        const Picture picture = MakeTestPicture(format, kWidth, kHeight);
        for (int frame = 0; frame < frames && m_fd >= 0; ++frame) {
            if (write(m_fd, picture.bytes.data(), picture.bytes.size()) !=
                static_cast<ssize_t>(picture.bytes.size())) {
                close(m_fd);
                m_fd = -1;
            }
        }
    }
    ~MemoryStream() {
        if (m_fd >= 0)
            close(m_fd);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    bool Ok() const { return m_fd >= 0; }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(m_fd); }

private:
    int m_fd;
};

/// A stream's frames through RenderFramesInOrder as the command renders them: each lane an
/// effect of its own on `threads` threads, the output thrown away. ms a frame, and its ratio to a
/// plain frame copy.
void BM_Stream(benchmark::State& state, Case c, unsigned threads, std::size_t laneCount) {
    constexpr int kFrames = 8;
    MemoryStream stream(PixelFormat::Argb8, kFrames);
    if (!stream.Ok()) {
        state.SkipWithError("no memory file for the stream");
        return;
    }
    LoadOptions load;
    load.modulePath = CORVELLE_MODULE_PATH;
    load.layerWidth = kWidth;
    load.layerHeight = kHeight;
    load.render.threads = threads;
    std::vector<std::unique_ptr<Effect>> effects;
    std::vector<Picture> outputs;
    std::vector<LaneRender> lanes;
    for (std::size_t lane = 0; lane < laneCount; ++lane) {
        effects.push_back(std::make_unique<Effect>(load));
        ApplyEffectOptions(c.options, *effects.back());
        outputs.push_back(MakePicture(PixelFormat::Argb8, kWidth, kHeight));
    }
    for (std::size_t lane = 0; lane < laneCount; ++lane) {
        lanes.push_back([&, lane](long, const ConstImageView& layer) {
            effects[lane]->Render(layer, outputs[lane].View());
            return static_cast<const Picture&>(outputs[lane]).View();
        });
    }
    double seconds = 0.0;
    for (auto _ : state) {
        RawFrameReader reader(stream.Path());
        const auto start = std::chrono::steady_clock::now();
        RenderFramesInOrder(reader, PixelFormat::Argb8, kWidth, kHeight, lanes,
                            [](long, const ConstImageView& frame) { benchmark::DoNotOptimize(frame.data); });
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double perFrame =
        seconds / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1)) / kFrames;
    state.SetItemsProcessed(state.iterations() * kFrames * static_cast<int64_t>(kPixels));
    state.counters["ms_per_frame"] = perFrame * 1e3;
    state.counters["x_copy"] = perFrame / FrameCopySeconds();
}

PF_Err PassThrough(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
    *out = *in;
    return PF_Err_NONE;
}

/// The host's own cost a pixel: its band loop around a pixel function that only copies.
void BM_IterateOwnCost(benchmark::State& state) {
    World input = TestPictureWorld(PixelLayout::Argb8, kWidth, kHeight);
    World output(PixelLayout::Argb8, kWidth, kHeight);
    const PF_LRect area{0, 0, kWidth, kHeight};
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(
            IterateBand<PF_Pixel>(input.Def(), area, 0, kHeight, nullptr, PassThrough, *output.Def()));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::ClobberMemory();
    }
    const double perFrame =
        seconds / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
    state.counters["ns_per_px"] = perFrame * 1e9 / kPixels;
    state.counters["x_copy"] = perFrame / CopySeconds(input, output);
}

/// Best of the repetitions: on a shared machine the fastest trial is the least disturbed one.
double Best(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

/// Registers every format × case × thread count; wall time, since rows run on host threads.
const bool kRegistered = [] {
    for (const Format& format : kFormats) {
        benchmark::RegisterBenchmark((std::string("Copy/") + format.name).c_str(), BM_Copy, format)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->ComputeStatistics("best", Best);
        for (const Case& c : Cases()) {
            for (unsigned threads : {1u, 2u}) {
                const std::string name = std::string("Render/") + format.name + "/" + c.name +
                                         (threads == 1 ? "/1thread" : "/2threads");
                benchmark::RegisterBenchmark(name.c_str(), BM_Render, format, c, threads)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->ComputeStatistics("best", Best);
            }
        }
    }
    const std::pair<const char*, A_long> falloffs[] = {{"linear", 1}, {"quadratic", 2}, {"cubic", 3},
                                                       {"gamma", 4},  {"gaussian", 5},  {"exponential", 6}};
    const std::pair<const char*, MaskRoute> routes[] = {{"pixel", MaskRoute::PerPixel},
                                                        {"row_scalar", MaskRoute::RowScalar},
                                                        {"row_avx2", MaskRoute::RowPacked},
                                                        {"plane", MaskRoute::Plane}};
    for (const auto& falloff : falloffs) {
        for (const auto& route : routes) {
            const std::string name = std::string("Mask/vignette_") + falloff.first + "/" + route.first;
            benchmark::RegisterBenchmark(name.c_str(), BM_Mask, falloff.second, route.second)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->ComputeStatistics("best", Best);
        }
    }
    // A stream on one thread, on two sharing each frame's rows, two frames at once sharing the
    // pool, and two frames at once on one thread each.
    const std::tuple<const char*, unsigned, std::size_t> streams[] = {
        {"1thread", 1, 1}, {"2threads", 2, 1}, {"2threads_2frames", 2, 2}, {"2frames_1thread_each", 1, 2}};
    for (const Case& c : Cases()) {
        if (c.name != "defaults" && c.name != "vignette_gaussian" && c.name != "band_gaussian")
            continue;
        for (const auto& [label, threads, laneCount] : streams) {
            const std::string name = std::string("Stream/argb8/") + c.name + "/" + label;
            benchmark::RegisterBenchmark(name.c_str(), BM_Stream, c, threads, laneCount)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->ComputeStatistics("best", Best);
        }
    }
    benchmark::RegisterBenchmark("Iterate/own_cost/1thread", BM_IterateOwnCost)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->ComputeStatistics("best", Best);
    return true;
}();

}   // namespace
}   // namespace corvelle
