// The render path as a host calls it: Host::Render on prebuilt 1920×1080 worlds, per format
// and typical case, on one thread and on all cores, against a plain copy of the same bytes.
#include "cli/EffectOptions.h"
#include "core/EffectImpl.h"
#include "core/Host.h"
#include "core/ModuleLibrary.h"
#include "io/TestPicture.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
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
    const char* name;
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
    EffectOptions luminosity;
    luminosity.blend = "luminosity";
    luminosity.color = PF_Pixel{255, 40, 160, 220};
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
    HostSettings settings;
    settings.app = format.app;
    settings.layerWidth = kWidth;
    settings.layerHeight = kHeight;
    settings.threads = threads;
    Effect effect(Effect::Impl::Create(CORVELLE_MODULE_PATH, settings));
    Host& host = effect.Internals().host;
    ApplyEffectOptions(c.options, effect);
    World input = MakeTestPicture(format.layout, kWidth, kHeight);
    World output(format.layout, kWidth, kHeight);

    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const PF_Err err = host.Render(input, output);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (err != PF_Err_NONE) {
            state.SkipWithError("the render failed");
            break;
        }
        benchmark::DoNotOptimize(output.Row(0));
    }
    const double perFrame =
        seconds / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
    state.counters["ns_per_px"] = perFrame * 1e9 / kPixels;
    state.counters["x_copy"] = perFrame / CopySeconds(input, output);
}

void BM_Copy(benchmark::State& state, Format format) {
    World input = MakeTestPicture(format.layout, kWidth, kHeight);
    World output(format.layout, kWidth, kHeight);
    const std::size_t bytes = input.RowBytes() * static_cast<std::size_t>(kHeight);
    for (auto _ : state) {
        std::memcpy(output.Row(0), input.Row(0), bytes);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
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
            for (unsigned threads : {1u, 0u}) {
                const std::string name = std::string("Render/") + format.name + "/" + c.name +
                                         (threads == 1 ? "/1thread" : "/allcores");
                benchmark::RegisterBenchmark(name.c_str(), BM_Render, format, c, threads)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->ComputeStatistics("best", Best);
            }
        }
    }
    return true;
}();

}   // namespace
}   // namespace corvelle
